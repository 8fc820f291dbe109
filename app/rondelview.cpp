#include "rondelview.h"

#include "appfunctions.h"
#include "player.h"
#include "rondeldoc.h"
#include "scopebar.h"
#include "track.h"
#include "trackrenderer.h"
#include "viewrenderer.h"

#include "catalogue.h"
#include "clipboard.h"
#include "report.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
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
        if (e.IsMeasure() && ++n == barNo)
            return &e;
    return nullptr;
}
int MeasureCount(const CRondelDoc& doc)
{
    int n = 0;
    for (const auto& e : doc.Events())
        if (e.IsMeasure())
            ++n;
    return n;
}
}

CRondelView::CRondelView(CRondelDoc& doc, QWidget* parent)
    : QAbstractScrollArea(parent), m_doc(doc), m_renderer(MakeRenderer(doc)), m_edit(doc)
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
        // Whatever the mouse was over may be gone: look again at the new layout.
        m_edit.Reresolve();
        ResetHover();
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
    // The selection: screen only (printing draws the track without the view).
    const std::vector<QRect> selection = SelectionRects();
    if (m_edit.SelType() == CEditController::SelCursor) {
        for (const QRect& r : selection)
            p.fillRect(r, QColor(200, 0, 100));
    } else {
        for (const QRect& r : selection)
            p.fillRect(r, QColor(200, 0, 100, 60));
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
    m_pendingTens = 0; // a two-digit fret is typed without moving the mouse
    const QPoint layoutPos = ToLayout(pos);
    if (m_pressed && !m_dragging
        && (std::abs(layoutPos.x() - m_pressPos.x()) > 2 || std::abs(layoutPos.y() - m_pressPos.y()) > 2))
        m_dragging = true;
    if (m_dragging) {
        CTrack* track = CTrack::Of(m_doc);
        int barDn = 0, tickDn = 0, barUp = 0, tickUp = 0;
        if (track && track->HitTestBarTick(m_pressPos.x(), m_pressPos.y(), &barDn, &tickDn)
            && track->HitTestBarTick(layoutPos.x(), layoutPos.y(), &barUp, &tickUp)) {
            m_edit.SelectRange(barDn, tickDn, barUp, tickUp, true);
            viewport()->update();
        }
    }
    UpdateHover(layoutPos);
    SViewHit hit = m_renderer->HitTest(m_doc, layoutPos);
    // On a drum staff the tab row marked is the one of the drum a click there would add.
    if (hit.zone == SViewHit::Note && m_doc.m_trackType == TrackType::Drums && hit.barNo > 0 && hit.tick >= 0)
        if (CTrack* track = CTrack::Of(m_doc); track && track->m_lastRows.tab)
            if (const CEvent* bar = track->FindBar(hit.barNo)) {
                const SBarGeometry g = CTrack::GeometryOf(*bar);
                const bool onTab = layoutPos.y() >= g.staffTop + g.T - 6 && layoutPos.y() <= g.staffTop + g.B + 4;
                const int key = m_edit.ClickedDrumKey(*track, hit.barNo, layoutPos.y());
                if (!onTab && key) {
                    hit.cells[1] = QRect();
                    int shown = 0;
                    for (int row = 0; row < TabLines::kCount; ++row) {
                        if (!TabLines::IsShown(row))
                            continue;
                        const auto& pairs = TabLines::Pairs(row);
                        if (std::any_of(pairs.begin(), pairs.end(), [key](const TabLines::SPair& pr) { return pr.key == key; })) {
                            const int cellX = g.x + m_renderer->Lead(*bar) + 8 * hit.tick;
                            hit.cells[1] = QRect(cellX, g.staffTop + g.T + 12 * shown - 6, 8, 14);
                            break;
                        }
                        ++shown;
                    }
                }
            }
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

void CRondelView::UpdateHover(const QPoint& layoutPos)
{
    m_hover = SHover{};
    const SViewHit hit = m_renderer->HitTest(m_doc, layoutPos);
    if (hit.barNo <= 0)
        return;
    m_hover.bar = hit.barNo;
    m_hover.tick = hit.tick;
    m_hover.y = layoutPos.y();
    m_hover.onBarBox = hit.zone == SViewHit::Lead || hit.zone == SViewHit::LeadCount;
    if (hit.zone != SViewHit::Note || hit.tick < 0)
        return;
    CTrack* track = CTrack::Of(m_doc);
    if (!track)
        return;
    // The note under the mouse: the drum a click would add or remove, else any drum of that
    // place; on guitar and bass the pitch under the mouse.
    std::vector<int> keys;
    if (m_doc.m_trackType == TrackType::Drums) {
        if (const int key = m_edit.ClickedDrumKey(*track, hit.barNo, layoutPos.y()))
            keys.push_back(key);
        std::vector<int> more;
        track->GetDrumKeysAtY(hit.barNo, layoutPos.y(), &more);
        keys.insert(keys.end(), more.begin(), more.end());
    } else {
        int alternative = 0;
        const int pitch = track->GetPitchAtY(hit.barNo, m_doc.m_trackType, layoutPos.y(), &alternative);
        if (pitch > 0) {
            keys = {pitch, alternative};
        } else if (pitch < 0) {
            // A string row of the tab: the note on that string.
            m_hover.string = -pitch - 1;
            m_hover.note = m_edit.NoteAt(hit.barNo, hit.tick, 0, m_hover.string);
            return;
        }
    }
    const EventPos bar = FindBar(m_doc.Events(), hit.barNo);
    if (bar == m_doc.Events().end())
        return;
    for (int key : keys)
        for (auto it = std::next(bar); it != m_doc.Events().end() && !it->IsMeasure(); ++it)
            if (int(it->GetTick()) == hit.tick && int(it->GetEventType()) == key) {
                m_hover.note = &*it;
                return;
            }
}

void CRondelView::ResetHover()
{
    m_hover = SHover{};
    if (m_lastMouse.x() >= 0 && m_lastMouse.y() >= 0)
        UpdateHover(ToLayout(m_lastMouse));
}

void CRondelView::mousePressEvent(QMouseEvent* e)
{
    setFocus();
    if (e->button() != Qt::LeftButton)
        return;
    const QPoint layoutPos = ToLayout(e->position().toPoint());
    const SViewHit hit = m_renderer->HitTest(m_doc, layoutPos);
    if (hit.zone == SViewHit::Header) {
        emit HeaderClicked();
        return;
    }
    m_pressed = true;
    m_dragging = false;
    m_pressPos = layoutPos;
    m_lastMouse = e->position().toPoint();
}

void CRondelView::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !m_pressed)
        return;
    m_pressed = false;
    const QPoint layoutPos = ToLayout(e->position().toPoint());
    const bool drag = m_dragging
        || std::abs(layoutPos.x() - m_pressPos.x()) > 2 || std::abs(layoutPos.y() - m_pressPos.y()) > 2;
    m_dragging = false;
    if (!drag) {
        OnClick(layoutPos, e->modifiers());
        return;
    }
    CTrack* track = CTrack::Of(m_doc);
    int barDn = 0, tickDn = 0, barUp = 0, tickUp = 0;
    if (track && track->HitTestBarTick(m_pressPos.x(), m_pressPos.y(), &barDn, &tickDn)
        && track->HitTestBarTick(layoutPos.x(), layoutPos.y(), &barUp, &tickUp)) {
        if (m_edit.SelectRange(barDn, tickDn, barUp, tickUp))
            AnnounceCursor();
    } else {
        m_edit.ClearSelection();
    }
    viewport()->update();
    emit SelectionChanged();
}

void CRondelView::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    m_pressed = false;
    const QPoint layoutPos = ToLayout(e->position().toPoint());
    const SViewHit hit = m_renderer->HitTest(m_doc, layoutPos);
    if (hit.zone == SViewHit::Count) {
        // From the clicked tick to the end of its bar.
        if (m_edit.SelectRange(hit.barNo, hit.tick, hit.barNo, kTickBarEnd))
            AnnounceCursor();
        viewport()->update();
        emit SelectionChanged();
        return;
    }
    if (hit.zone != SViewHit::Header)
        OnClick(layoutPos, e->modifiers());
}

void CRondelView::OnClick(const QPoint& layoutPos, Qt::KeyboardModifiers mods)
{
    const SViewHit hit = m_renderer->HitTest(m_doc, layoutPos);
    // While the player plays or is paused a click on the music edits nothing: the cursor goes
    // there and playback goes on from that bar.
    if (m_edit.PlayerActive() && hit.barNo > 0 && (hit.zone == SViewHit::Count || hit.zone == SViewHit::Note)
        && !(mods & Qt::ControlModifier)) {
        ContinuePlaybackAt(hit.barNo, hit.tick);
        AfterEdit();
        return;
    }
    switch (hit.zone) {
    case SViewHit::Lead:
        emit BarBoxClicked(hit.barNo);
        break;
    case SViewHit::LeadCount:
        if (m_edit.SelectBar(hit.barNo))
            AnnounceCursor();
        break;
    case SViewHit::Count:
        if (mods & Qt::ControlModifier) {
            if (m_edit.SelectToEnd(hit.barNo, hit.tick))
                AnnounceCursor();
        } else {
            m_edit.SetCursor(hit.barNo, hit.tick);
            AnnounceCursor();
        }
        break;
    case SViewHit::Note:
        if (m_doc.m_trackType == TrackType::Drums && hit.tick >= 0) {
            if (CTrack* track = CTrack::Of(m_doc))
                if (const int key = m_edit.ClickedDrumKey(*track, hit.barNo, layoutPos.y()))
                    m_edit.ToggleDrum(hit.barNo, hit.tick, key);
        } else if (hit.tick >= 0) {
            OnPitchedClick(hit.barNo, hit.tick, layoutPos.y());
        }
        break;
    default:
        break;
    }
    AfterEdit();
}

void CRondelView::ContinuePlaybackAt(int barNo, int tick)
{
    m_edit.SetCursor(barNo, std::max(tick, 0));
    AnnounceCursor();
    if (!m_player || !m_player->ContinueAt(barNo - 1))
        return;
    // The play cursor follows the player wherever it goes now.
    m_playStartBar = std::min(m_playStartBar, barNo - 1);
    if (m_playEndBar > 0 && barNo > m_playEndBar)
        m_playEndBar = 0;
}

namespace {
CRondelView::FretChooserFn& FretChooser()
{
    static CRondelView::FretChooserFn chooser;
    return chooser;
}

// "Choose a fret number": one button per fret, 0 to 24, and Cancel.
int AskFret(QWidget* parent)
{
    QDialog dlg(parent);
    dlg.setWindowTitle(QStringLiteral("Kadenzo"));
    auto* layout = new QVBoxLayout(&dlg);
    layout->addWidget(new QLabel(QString::fromLatin1(EditText::kChooseFret), &dlg));
    auto* grid = new QGridLayout;
    for (int fret = 0; fret <= 24; ++fret) {
        auto* button = new QPushButton(QString::number(fret), &dlg);
        button->setObjectName(QStringLiteral("Fret%1").arg(fret));
        QObject::connect(button, &QPushButton::clicked, &dlg, [&dlg, fret] { dlg.done(fret + 1); });
        grid->addWidget(button, fret / 5, fret % 5);
    }
    layout->addLayout(grid);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), &dlg);
    QObject::connect(cancel, &QPushButton::clicked, &dlg, &QDialog::reject);
    layout->addWidget(cancel);
    return dlg.exec() - 1;
}
}

void CRondelView::SetFretChooser(FretChooserFn fn)
{
    FretChooser() = std::move(fn);
}

void CRondelView::OnPitchedClick(int barNo, int tick, int y)
{
    CTrack* track = CTrack::Of(m_doc);
    if (!track)
        return;
    int alternative = 0;
    const int pitch = track->GetPitchAtY(barNo, m_doc.m_trackType, y, &alternative);
    if (pitch == 0)
        return;
    if (pitch < 0) {
        // A string row of the tab: the note there goes, else the fret is asked for.
        const int string = -pitch - 1;
        if (const CEvent* note = m_edit.NoteAt(barNo, tick, 0, string)) {
            m_edit.DeleteNote(note);
            return;
        }
        if (!m_edit.CanAddNotesTo(barNo))
            return;
        const int fret = FretChooser() ? FretChooser()() : AskFret(this);
        if (fret < 0)
            return;
        const std::vector<int> strings = CTrack::OpenStrings(m_doc.m_trackType);
        m_edit.AddPitchedNote(barNo, tick, strings[size_t(string)] + fret, string);
        return;
    }
    if (const CEvent* note = m_edit.NoteAt(barNo, tick, pitch, -1)) {
        m_edit.DeleteNote(note);
        return;
    }
    m_edit.AddPitchedNote(barNo, tick, pitch, -1);
}

void CRondelView::OnFretDigit(int digit)
{
    const std::vector<int> strings = CTrack::OpenStrings(m_doc.m_trackType);
    const int string = m_hover.note ? int(m_hover.note->GetString()) : m_hover.string;
    if (string < 0 || string >= int(strings.size()))
        return;
    int fret = digit;
    if (m_hover.note && m_pendingTens) {
        fret = 10 * m_pendingTens + digit;
        m_pendingTens = 0;
    } else if (digit == 1 || digit == 2) {
        m_pendingTens = digit;
    } else {
        m_pendingTens = 0;
    }
    const int tick = m_hover.note ? int(m_hover.note->GetTick()) : m_hover.tick;
    m_edit.AddPitchedNote(m_hover.bar, tick, strings[size_t(string)] + fret, string);
}

void CRondelView::AfterEdit()
{
    ResetHover();
    viewport()->update();
    emit SelectionChanged();
}

void CRondelView::AnnounceCursor()
{
    if (m_edit.SelType() != CEditController::SelNone)
        emit CursorMoved(m_edit.CursorBar(), m_edit.CursorTick());
}

int CRondelView::PlayStartBar() const
{
    if (m_doc.m_pStartMarker) {
        int n = 0;
        for (const auto& e : m_doc.Events()) {
            if (e.IsMeasure())
                ++n;
            if (&e == m_doc.m_pStartMarker)
                return n;
        }
    }
    return m_edit.CursorBar();
}

std::vector<QRect> CRondelView::SelectionRects() const
{
    std::vector<QRect> rects;
    const CTrack* track = CTrack::Of(m_doc);
    if (!track || m_edit.SelType() == CEditController::SelNone)
        return rects;
    const SSongRange r = m_edit.Range();
    auto xOf = [&](const CEvent& bar, int tick, bool end) {
        const SBarGeometry g = CTrack::GeometryOf(bar);
        if (tick == kTickBarLine)
            return end ? g.x + g.width : g.x;
        if (tick == kTickBarEnd)
            return g.x + g.width;
        return g.x + m_renderer->Lead(bar) + (tick + (end ? 1 : 0)) * 8;
    };
    if (m_edit.SelType() == CEditController::SelCursor) {
        const CEvent* bar = track->FindBar(r.m_barDn);
        if (!bar)
            return rects;
        const SBarGeometry g = CTrack::GeometryOf(*bar);
        rects.emplace_back(QPoint(xOf(*bar, std::max(r.m_tickDn, 0), false) - 2, g.staffTop - 68), QSize(2, 68 + g.S));
        return rects;
    }
    // A range: one rectangle per system it crosses.
    for (int n = r.m_barDn; n <= r.m_barUp; ++n) {
        const CEvent* bar = track->FindBar(n);
        if (!bar)
            break;
        const SBarGeometry g = CTrack::GeometryOf(*bar);
        const int left = n == r.m_barDn ? xOf(*bar, r.m_tickDn, false) : g.x;
        const int right = n == r.m_barUp ? xOf(*bar, r.m_tickUp, true) : g.x + g.width;
        const QRect part(QPoint(left, g.staffTop - 68), QPoint(right - 1, g.staffTop + g.S - 1));
        if (!rects.empty() && rects.back().top() == part.top() && rects.back().right() + 1 >= part.left())
            rects.back().setRight(part.right());
        else
            rects.push_back(part);
    }
    return rects;
}

void CRondelView::SelectionChangedNotify()
{
    viewport()->update();
    emit SelectionChanged();
}

bool CRondelView::DrumKeyFor(int qtKey, int* drum) const
{
    static const std::pair<int, int> table[] = {
        {Qt::Key_1, 50}, {Qt::Key_2, 48}, {Qt::Key_3, 47}, {Qt::Key_4, 45}, {Qt::Key_5, 43}, {Qt::Key_6, 41},
        {Qt::Key_B, 53}, {Qt::Key_C, 49}, {Qt::Key_D, 37}, {Qt::Key_H, 42}, {Qt::Key_J, 44}, {Qt::Key_K, 36},
        {Qt::Key_O, 46}, {Qt::Key_R, 51}, {Qt::Key_S, 38}, {Qt::Key_T, 52}, {Qt::Key_V, 57}, {Qt::Key_W, 56},
        {Qt::Key_Y, 55},
    };
    for (const auto& [k, d] : table)
        if (k == qtKey) {
            *drum = d;
            return true;
        }
    return false;
}

void CRondelView::OnDeleteKey()
{
    // One key, one path: the range, else the hovered measure, else the hovered note.
    if (m_edit.SelType() == CEditController::SelRange)
        m_edit.DeleteSelection();
    else if (m_hover.bar > 0 && m_hover.onBarBox)
        m_edit.DeleteBar(m_hover.bar);
    else if (m_hover.note)
        m_edit.DeleteNote(m_hover.note);
    AfterEdit();
}

void CRondelView::keyPressEvent(QKeyEvent* e)
{
    const int key = e->key();
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool range = m_edit.SelType() == CEditController::SelRange;
    const bool drums = m_doc.m_trackType == TrackType::Drums;
    const int stepsBefore = m_doc.UndoHistory().Generation();
    bool handled = true;
    switch (key) {
    case Qt::Key_Escape:
        m_edit.ClearSelection();
        break;
    case Qt::Key_Home:
        m_edit.SetCursor(1, 0);
        verticalScrollBar()->setValue(0);
        horizontalScrollBar()->setValue(0);
        m_edit.ClearMarkers();
        AnnounceCursor();
        break;
    case Qt::Key_Space:
        m_edit.InsertRestAtCursor();
        break;
    case Qt::Key_Delete:
        if (!e->isAutoRepeat())
            OnDeleteKey();
        return;
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int delta = key == Qt::Key_Left ? -1 : 1;
        if (range) {
            m_edit.JogRange(delta);
        } else if (m_edit.SelType() == CEditController::SelCursor) {
            // The cursor comes before the mouse: its notes move with it, or with Ctrl only it.
            if (ctrl)
                m_edit.MoveCursor(delta);
            else
                m_edit.JogCursor(delta, shift);
            AnnounceCursor();
        } else if (m_hover.note) {
            if (shift) {
                if (m_edit.SelectRange(m_hover.bar, m_hover.tick, m_hover.bar, kTickBarEnd, true))
                    m_edit.JogRange(delta);
            } else {
                const QPoint before = m_lastMouse;
                int toBar = 0;
                const int fromBar = m_hover.bar;
                if (m_edit.JogNote(m_hover.note, delta, &toBar)) {
                    // The pointer follows the note inside its bar.
                    if (toBar == fromBar)
                        m_lastMouse = before + QPoint(int(8 * delta * Scale()), 0);
                    else if (const CTrack* track = CTrack::Of(m_doc))
                        if (const CEvent* bar = track->FindBar(toBar)) {
                            const SBarGeometry g = CTrack::GeometryOf(*bar);
                            const int tick = delta > 0 ? 0 : int(bar->GetMeasureTicks()) - 1;
                            const QPoint layout(g.x + m_renderer->Lead(*bar) + tick * 8 + 4, ToLayout(before).y());
                            m_lastMouse = ToViewport(QRect(layout, QSize(1, 1))).topLeft();
                        }
                    if (viewport()->underMouse())
                        QCursor::setPos(viewport()->mapToGlobal(m_lastMouse));
                }
            }
        } else if (m_hover.bar > 0 && m_hover.onBarBox) {
            UserReport().Warning(QString::fromLatin1(EditText::kNoJogMeasure));
        }
        break;
    }
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (!range && m_hover.note) {
            if (ctrl) {
                if (m_edit.CanEdit())
                    for (auto& ev : m_doc.Events())
                        if (&ev == m_hover.note) {
                            ev.m_word1 |= EventBits::TailOverride;
                            if (key == Qt::Key_Up)
                                ev.m_word1 |= EventBits::TailDirection;
                            else
                                ev.m_word1 &= ~EventBits::TailDirection;
                            m_doc.CommitEdit();
                            break;
                        }
            } else {
                m_edit.StepNoteKey(m_hover.note, key == Qt::Key_Up ? 1 : -1);
            }
        } else if (m_hover.onBarBox) {
            QApplication::beep();
        } else {
            handled = false;
        }
        break;
    case Qt::Key_A:
    case Qt::Key_G:
    case Qt::Key_F:
    case Qt::Key_M: {
        if (e->isAutoRepeat())
            break;
        const uint32_t mask = key == Qt::Key_A ? EventBits::Accent : key == Qt::Key_G ? EventBits::Ghost : EventBits::FlamOrPM;
        if (range || m_hover.note)
            m_edit.ToggleMark(mask, m_hover.note);
        break;
    }
    case Qt::Key_Q:
        if (m_hover.bar > 0)
            emit PlayBarRequested(m_hover.bar);
        break;
    case Qt::Key_BracketLeft:
        if (m_hover.bar > 0)
            m_edit.ToggleStartMarker(m_hover.bar);
        else if (range)
            m_edit.ToggleStartMarker(m_edit.Range().m_barDn);
        break;
    case Qt::Key_BracketRight:
        if (m_hover.bar > 0)
            m_edit.ToggleEndMarker(m_hover.bar);
        else if (range)
            m_edit.ToggleEndMarker(m_edit.Range().m_barDn);
        break;
    default:
        handled = false;
        break;
    }
    if (!handled && key == Qt::Key_S && m_edit.PlayerActive()) {
        emit StopRequested();
        handled = true;
    }
    if (!handled && key >= Qt::Key_0 && key <= Qt::Key_9 && !e->isAutoRepeat()) {
        handled = true;
        const int digit = key - Qt::Key_0;
        if (range && digit == 3 && m_edit.TripletState() != 0) {
            m_edit.TripletizeRange(false);
        } else if (!range && m_hover.bar > 0 && m_hover.onBarBox) {
            // Two keys over the time-signature box: numerator, then 2, 4 or 8.
            if (!m_pendingDigit) {
                if (digit >= 2)
                    m_pendingDigit = digit;
                else
                    QApplication::beep();
            } else {
                if (digit == 2 || digit == 4 || digit == 8)
                    m_edit.SetTimeSignature(m_hover.bar, m_pendingDigit, digit);
                else
                    QApplication::beep();
                m_pendingDigit = 0;
            }
        } else if (!range && m_hover.bar == 0 && m_edit.SelType() == CEditController::SelCursor) {
            if (!m_pendingDigit) {
                if (digit >= 2)
                    m_pendingDigit = digit;
                else
                    QApplication::beep();
            } else {
                if (digit == 2 || digit == 4 || digit == 8)
                    m_edit.SplitAtCursor(m_pendingDigit, digit);
                else
                    QApplication::beep();
                m_pendingDigit = 0;
            }
        } else if (!range && drums && m_hover.bar > 0 && m_hover.tick >= 0) {
            int drum = 0;
            if (DrumKeyFor(key, &drum))
                m_edit.ToggleDrum(m_hover.bar, m_hover.tick, drum);
        } else if (!range && !drums && m_hover.bar > 0 && m_hover.tick >= 0 && (m_hover.note || m_hover.string >= 0)) {
            OnFretDigit(digit);
        }
    }
    if (!handled && drums && m_hover.bar > 0 && m_hover.tick >= 0) {
        int drum = 0;
        if (DrumKeyFor(key, &drum) && key >= Qt::Key_A && key <= Qt::Key_Z) {
            handled = true;
            // A held key adds the note once, it does not flicker it on and off.
            if (!e->isAutoRepeat())
                m_edit.ToggleDrum(m_hover.bar, m_hover.tick, drum);
        }
    }
    if (!handled) {
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    // A held arrow key is one step of the undo history, however often it repeated.
    if (e->isAutoRepeat() && (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down)
        && m_doc.UndoHistory().Generation() != stepsBefore)
        m_doc.UndoHistory().DropPrevious();
    AfterEdit();
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
    // A range plays to its last bar; the end marker stops before its bar.
    m_playEndBar = 0;
    if (m_edit.SelType() == CEditController::SelRange) {
        m_playEndBar = m_edit.Range().m_barUp;
    } else if (m_doc.m_pEndMarker) {
        int n = 0;
        for (const auto& e : m_doc.Events()) {
            if (e.IsMeasure())
                ++n;
            if (&e == m_doc.m_pEndMarker) {
                m_playEndBar = n - 1;
                break;
            }
        }
    }
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
    // The bar that started last at or before the position, among the bars this playback
    // covers. A loop renders its first bar again ahead of time, so later bars may hold
    // earlier start ticks than a bar before them: no early stop.
    CEvent* current = nullptr;
    int measure = 0;
    int n = 0;
    auto& events = m_doc.Events();
    for (auto it = events.begin(); it != events.end(); ++it) {
        CEvent& e = *it;
        if (!e.IsMeasure())
            continue;
        ++n;
        if (n - 1 < m_playStartBar)
            continue;
        if (std::next(it) == events.end() || (m_playEndBar > 0 && n > m_playEndBar))
            break;
        if (int(e.GetRunTime1()) > position)
            continue;
        if (!current || e.GetRunTime1() > current->GetRunTime1()) {
            current = &e;
            measure = n;
        }
    }
    if (!current)
        return;
    m_playMeasure = measure;
    const int top = LayoutStaffTop(current->GetLayoutPos());
    const int x = LayoutBarX(current->GetLayoutPos()) + m_renderer->Lead(*current) + (position - int(current->GetRunTime1())) * 64 / 96;
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
        if (e.IsMeasure() && e.GetTempo())
            tempo = int(e.GetTempo());
        if (&e == current)
            break;
    }
    if (tempo <= 0)
        tempo = m_doc.m_songTempo ? m_doc.m_songTempo : 120;
    const int songMsecs = int(current->GetRunTime2()) + int((position - int(current->GetRunTime1())) * 60000.0 / (tempo * 96));
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
        ScrollToY(LayoutStaffTop(bar->GetLayoutPos()) - 100);
}

void CRondelView::ShowBar(int barNo)
{
    GotoBar(barNo);
    if (CEvent* bar = MeasureAt(m_doc, barNo))
        horizontalScrollBar()->setValue(int(std::max(LayoutBarX(bar->GetLayoutPos()) - 100, 0) * Scale()));
}

bool CRondelView::GotoTime(int msecs)
{
    std::vector<int> starts;
    std::vector<int> ticks;
    for (const auto& e : m_doc.Events())
        if (e.IsMeasure()) {
            starts.push_back(int(e.GetRunTime2()));
            ticks.push_back(int(e.GetMeasureTicks()));
        }
    SBarTarget target;
    if (!GotoTimeTarget(starts, ticks, msecs, &target))
        return false;
    m_edit.SetCursor(target.barIndex + 1, target.tick);
    if (CEvent* bar = MeasureAt(m_doc, m_edit.CursorBar()))
        ScrollToY(LayoutStaffTop(bar->GetLayoutPos()) - 100);
    viewport()->update();
    emit CursorMoved(m_edit.CursorBar(), m_edit.CursorTick());
    emit SelectionChanged();
    return true;
}
