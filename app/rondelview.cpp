#include "rondelview.h"

#include "appfunctions.h"
#include "player.h"
#include "rondeldoc.h"
#include "scopebar.h"
#include "track.h"
#include "trackrenderer.h"
#include "viewrenderer.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

namespace {
// The notation track draws every document (it draws nothing where none is attached).
std::unique_ptr<CViewRenderer> MakeRenderer(CRondelDoc&)
{
    return std::make_unique<CTrackRenderer>();
}
// Walks the measures: the n-th (1-based) and its list position.
CEvent* MeasureAt(CRondelDoc& doc, int barNo)
{
    int n = 0;
    for (auto& e : doc.Events())
        if (e->IsMeasure() && ++n == barNo)
            return e.get();
    return nullptr;
}
int MeasureCount(const CRondelDoc& doc)
{
    int n = 0;
    for (const auto& e : doc.Events())
        if (e->IsMeasure())
            ++n;
    return n;
}
}

CRondelView::CRondelView(CRondelDoc& doc, QWidget* parent)
    : QAbstractScrollArea(parent), m_doc(doc), m_renderer(MakeRenderer(doc))
{
    viewport()->setMouseTracking(true);
    viewport()->setAutoFillBackground(true);
    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Window, Qt::white);
    viewport()->setPalette(pal);
    setFocusPolicy(Qt::StrongFocus);
    m_timer.setInterval(50);
    connect(&m_timer, &QTimer::timeout, this, &CRondelView::OnPlayTimer);
    m_listener = m_doc.AddListener([this](CRondelDoc&) {
        Relayout();
        viewport()->update();
    });
    m_sinceStart.start();
    Relayout();
}

CRondelView::~CRondelView()
{
    m_doc.RemoveListener(m_listener);
}

void CRondelView::Relayout()
{
    const int width = std::max(int(viewport()->width() / Scale()), int(m_doc.m_sizeDoc[0]));
    m_layoutSize = m_renderer->Layout(m_doc, width);
    m_hoverCells = {};
    UpdateScrollBars();
}

void CRondelView::SetSupersize(bool on)
{
    m_supersize = on;
    Relayout();
    viewport()->update();
}

void CRondelView::UpdateScrollBars()
{
    const QSize total(int(m_layoutSize.width() * Scale()), int(m_layoutSize.height() * Scale()));
    const QSize page = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, total.width() - page.width()));
    horizontalScrollBar()->setPageStep(page.width());
    horizontalScrollBar()->setSingleStep(20);
    verticalScrollBar()->setRange(0, std::max(0, total.height() - page.height()));
    verticalScrollBar()->setPageStep(page.height());
    verticalScrollBar()->setSingleStep(20);
}

QPoint CRondelView::ToLayout(const QPoint& p) const
{
    return QPoint(int((p.x() + horizontalScrollBar()->value()) / Scale()),
                  int((p.y() + verticalScrollBar()->value()) / Scale()));
}

QRect CRondelView::ToViewport(const QRect& r) const
{
    const double s = Scale();
    return QRect(int(r.x() * s) - horizontalScrollBar()->value(), int(r.y() * s) - verticalScrollBar()->value(),
                 int(r.width() * s), int(r.height() * s));
}

int CRondelView::ScrollY() const
{
    return int(verticalScrollBar()->value() / Scale());
}

void CRondelView::ScrollToY(int layoutY)
{
    verticalScrollBar()->setValue(int(std::max(layoutY, 0) * Scale()));
}

void CRondelView::paintEvent(QPaintEvent* e)
{
    QPainter p(viewport());
    p.fillRect(e->rect(), Qt::white);
    p.translate(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
    p.scale(Scale(), Scale());
    const QRect clip(ToLayout(e->rect().topLeft()), ToLayout(e->rect().bottomRight()));
    p.setRenderHint(QPainter::Antialiasing);
    m_renderer->Draw(p, m_doc, clip);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (m_cursorBar > 0)
        if (CEvent* bar = MeasureAt(m_doc, m_cursorBar)) {
            const int x = LayoutBarX(bar->m_layoutPos) + m_renderer->Lead(*bar) + m_cursorTick * 8;
            const int top = LayoutStaffTop(bar->m_layoutPos);
            p.fillRect(QRect(x, top - 20, 2, 20 + m_renderer->StaffBottom(*bar)), QColor(0, 90, 255));
        }
    // Highlights are translucent fills: the notes under them stay readable.
    for (const QRect& cell : m_hoverCells)
        if (!cell.isEmpty())
            p.fillRect(cell, QColor(0, 120, 255, 50));
    if (!m_playCursor.isEmpty())
        p.fillRect(m_playCursor, QColor(255, 80, 0, 110));
}

void CRondelView::resizeEvent(QResizeEvent* e)
{
    QAbstractScrollArea::resizeEvent(e);
    Relayout();
}

void CRondelView::scrollContentsBy(int, int)
{
    m_hoverCells = {};
    viewport()->update();
}

void CRondelView::mouseMoveEvent(QMouseEvent* e)
{
    const QPoint pos = e->position().toPoint();
    if ((pos - m_lastMouse).manhattanLength() <= 1)
        return;
    m_lastMouse = pos;
    const SViewHit hit = m_renderer->HitTest(m_doc, ToLayout(pos));
    // Each rectangle is redrawn only when it changed: the old place and the new one.
    for (size_t i = 0; i < m_hoverCells.size(); ++i)
        if (hit.cells[i] != m_hoverCells[i]) {
            viewport()->update(ToViewport(m_hoverCells[i]).adjusted(-1, -1, 1, 1));
            viewport()->update(ToViewport(hit.cells[i]).adjusted(-1, -1, 1, 1));
            m_hoverCells[i] = hit.cells[i];
        }
    if (hit.zone == SViewHit::Header)
        viewport()->setCursor(Qt::PointingHandCursor);
    else if (hit.zone == SViewHit::Lead || hit.zone == SViewHit::LeadCount)
        viewport()->setCursor(Qt::UpArrowCursor);
    else
        viewport()->setCursor(Qt::ArrowCursor);
    if (hit.barNo > 0)
        emit StatusText(MouseOverText(hit.barNo, hit.tick));
}

void CRondelView::mousePressEvent(QMouseEvent* e)
{
    setFocus();
    if (e->button() != Qt::LeftButton)
        return;
    const SViewHit hit = m_renderer->HitTest(m_doc, ToLayout(e->position().toPoint()));
    if (hit.zone == SViewHit::Header) {
        emit HeaderClicked();
        return;
    }
    if (hit.barNo > 0 && hit.tick >= 0) {
        m_cursorBar = hit.barNo;
        m_cursorTick = hit.tick;
        viewport()->update();
        emit CursorMoved(m_cursorBar, m_cursorTick);
    }
}

bool CRondelView::viewportEvent(QEvent* e)
{
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        const SViewHit hit = m_renderer->HitTest(m_doc, ToLayout(help->pos()));
        QString text;
        switch (hit.zone) {
        case SViewHit::Header: text = QStringLiteral("Header area: Left click to launch header dialog"); break;
        case SViewHit::Lead: text = QStringLiteral("Time Signature Box: Left click to launch configuration dialog"); break;
        case SViewHit::Count: text = QStringLiteral("Count Bar: Left click sets insert point. Drag, dbl-click or ctrl-click selects"); break;
        case SViewHit::LeadCount: text = QStringLiteral("Measure select area: Left click to select. 1-9 key to change time signature"); break;
        case SViewHit::Note:
            // A hint for new users only: it would get in the way after the first minute.
            if (m_sinceStart.elapsed() < 60000)
                text = QStringLiteral("Note Area: Left click to add/remove note or keyboard shortcut (F1 for help)");
            break;
        case SViewHit::None: break;
        }
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(e);
}

void CRondelView::StartPlayback(CPlayer* player, int startBar, CScopeBar* scope)
{
    m_player = player;
    m_scope = scope;
    m_playStartBar = startBar;
    m_playCursor = QRect();
    m_playMeasure = 0;
    // The notation may show other rows while playing: lay it out for that.
    Relayout();
    viewport()->update();
    m_timer.start();
}

void CRondelView::StopPlaybackPoll()
{
    m_timer.stop();
    m_player = nullptr;
    if (!m_playCursor.isEmpty())
        viewport()->update(ToViewport(m_playCursor).adjusted(-1, -1, 1, 1));
    m_playCursor = QRect();
    Relayout();
    viewport()->update();
}

void CRondelView::OnPlayTimer()
{
    if (!m_player)
        return;
    const int position = m_player->GetPlayPosition();
    if (position < 0) {
        m_player->Stop();
        StopPlaybackPoll();
        emit PlaybackEnded();
        return;
    }
    if (m_player->State() == PlayerState::Playing)
        UpdatePlayCursor(position);
    emit PlayPolled();
}

void CRondelView::UpdatePlayCursor(int position)
{
    // Walk from the start bar while bars start at or before the position.
    CEvent* current = nullptr;
    int measure = 0;
    int n = 0;
    auto& events = m_doc.Events();
    for (auto it = events.begin(); it != events.end(); ++it) {
        CEvent& e = **it;
        if (!e.IsMeasure())
            continue;
        ++n;
        if (n - 1 < m_playStartBar)
            continue;
        if (std::next(it) == events.end() || int(e.m_runTime1) > position)
            break;
        current = &e;
        measure = n;
    }
    if (!current)
        return;
    m_playMeasure = measure;
    const int top = LayoutStaffTop(current->m_layoutPos);
    const int x = LayoutBarX(current->m_layoutPos) + m_renderer->Lead(*current) + (position - int(current->m_runTime1)) * 64 / 96;
    const QRect rect(QPoint(x, top - 68), QPoint(x + 8, top + m_renderer->StaffBottom(*current)));
    if (rect != m_playCursor) {
        if (!m_playCursor.isEmpty())
            viewport()->update(ToViewport(m_playCursor).adjusted(-1, -1, 1, 1));
        const int visibleTop = ScrollY();
        const int visibleBottom = visibleTop + int(viewport()->height() / Scale());
        if (top - 4 < visibleBottom - 60 && top - 68 > visibleTop + 20) {
            m_playCursor = rect;
            viewport()->update(ToViewport(rect).adjusted(-1, -1, 1, 1));
        } else {
            // Layout units: in Supersize the scroll offset doubles with everything else.
            ScrollToY(top - 93);
            m_playCursor = rect;
            viewport()->update();
        }
    }
    // Song time: the bar's start plus the time into it at the bar's tempo.
    int tempo = 0;
    for (auto& e : events) {
        if (e->IsMeasure() && e->GetTempo())
            tempo = int(e->GetTempo());
        if (e.get() == current)
            break;
    }
    if (tempo <= 0)
        tempo = m_doc.m_songTempo ? m_doc.m_songTempo : 120;
    const int songMsecs = int(current->m_runTime2) + int((position - int(current->m_runTime1)) * 60000.0 / (tempo * 96));
    const bool wave = m_scope && m_scope->IsPlaying();
    const int waveMsecs = wave ? m_scope->DrawScopeCursorAtCurrentPlayTime() : -1;
    emit StatusText(PlayingStatusText(songMsecs, measure, waveMsecs));
}

void CRondelView::GotoBar(int barNo)
{
    const int count = MeasureCount(m_doc) - 1; // without the closing bar
    if (count < 1)
        return;
    barNo = std::clamp(barNo, 1, count);
    if (CEvent* bar = MeasureAt(m_doc, barNo))
        ScrollToY(LayoutStaffTop(bar->m_layoutPos) - 100);
}

void CRondelView::ShowBar(int barNo)
{
    GotoBar(barNo);
    if (CEvent* bar = MeasureAt(m_doc, barNo))
        horizontalScrollBar()->setValue(int(std::max(LayoutBarX(bar->m_layoutPos) - 100, 0) * Scale()));
}

bool CRondelView::GotoTime(int msecs)
{
    std::vector<int> starts;
    std::vector<int> ticks;
    for (const auto& e : m_doc.Events())
        if (e->IsMeasure()) {
            starts.push_back(int(e->m_runTime2));
            ticks.push_back(int(e->GetMeasureTicks()));
        }
    SBarTarget target;
    if (!GotoTimeTarget(starts, ticks, msecs, &target))
        return false;
    m_cursorBar = target.barIndex + 1;
    m_cursorTick = target.tick;
    if (CEvent* bar = MeasureAt(m_doc, m_cursorBar))
        ScrollToY(LayoutStaffTop(bar->m_layoutPos) - 100);
    viewport()->update();
    emit CursorMoved(m_cursorBar, m_cursorTick);
    return true;
}
