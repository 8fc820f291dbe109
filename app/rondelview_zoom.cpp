// Zooming the notation view: steps, Ctrl+wheel, and keeping the music under the mouse in
// place while the lines break anew.
#include "rondelview.h"

#include "rondeldoc.h"
#include "viewrenderer.h"

#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>

namespace {
constexpr std::array<double, 14> kSteps = {0.5, 0.67, 0.75, 0.8, 0.9, 1.0, 1.1, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0, 4.0};

// A place in the music that survives new line breaks: a measure and an offset from its
// left edge and staff top, in layout units.
struct SMusicPoint
{
    const CEvent* measure = nullptr;
    QPoint offset;
};

SMusicPoint MusicPointAt(CRondelDoc& doc, QPoint layout)
{
    // The measure whose column holds x, on the nearest system whose staff top is not below
    // the point by more than the room above a staff.
    SMusicPoint best;
    int bestDistance = INT_MAX;
    for (const auto& e : doc.Events()) {
        if (!e.IsMeasure())
            continue;
        const int x = LayoutBarX(e.GetLayoutPos());
        const int top = LayoutStaffTop(e.GetLayoutPos());
        if (layout.x() < x || layout.x() >= x + int(e.GetDisplayWidth()))
            continue;
        const int distance = std::abs(layout.y() - top);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = {&e, QPoint(layout.x() - x, layout.y() - top)};
        }
    }
    return best;
}
}

void CRondelView::SetZoom(double zoom, QPoint anchor)
{
    zoom = std::clamp(zoom, kMinZoom, kMaxZoom);
    if (std::abs(zoom - m_zoom) < 1e-9)
        return;
    if (anchor.x() < 0 || anchor.y() < 0)
        anchor = viewport()->rect().center();
    const QPointF before((anchor.x() + horizontalScrollBar()->value()) / Scale(),
                         (anchor.y() + verticalScrollBar()->value()) / Scale());
    const SMusicPoint music = MusicPointAt(m_doc, before.toPoint());
    m_zoom = zoom;
    Relayout();
    QPointF after = before;
    if (music.measure)
        after = QPointF(LayoutBarX(music.measure->GetLayoutPos()) + music.offset.x(),
                        LayoutStaffTop(music.measure->GetLayoutPos()) + music.offset.y());
    horizontalScrollBar()->setValue(int(std::lround(after.x() * Scale() - anchor.x())));
    verticalScrollBar()->setValue(int(std::lround(after.y() * Scale() - anchor.y())));
    viewport()->update();
    emit ZoomChanged(m_zoom);
}

void CRondelView::ZoomIn(QPoint anchor)
{
    const auto next = std::upper_bound(kSteps.begin(), kSteps.end(), m_zoom + 1e-6);
    if (next != kSteps.end())
        SetZoom(*next, anchor);
}

void CRondelView::ZoomOut(QPoint anchor)
{
    const auto next = std::lower_bound(kSteps.begin(), kSteps.end(), m_zoom - 1e-6);
    if (next != kSteps.begin())
        SetZoom(*std::prev(next), anchor);
}

void CRondelView::wheelEvent(QWheelEvent* e)
{
    if (!(e->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(e);
        return;
    }
    const QPoint at = e->position().toPoint(); // the viewport passes its own events on
    if (e->angleDelta().y() > 0)
        ZoomIn(at);
    else if (e->angleDelta().y() < 0)
        ZoomOut(at);
    e->accept();
}
