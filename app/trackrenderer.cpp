#include "trackrenderer.h"

#include "track.h"

#include <QPainter>

#include <climits>

QSize CTrackRenderer::Layout(CRondelDoc& doc, int width)
{
    m_width = std::max(width, 300);
    CTrack* track = CTrack::Of(doc);
    if (!track)
        return QSize(m_width, 400);
    SDrawTarget target;
    target.width = m_width;
    QSize size;
    track->Draw(target, &size);
    // Room below the last system for the cursor and the count row.
    return QSize(std::max(m_width, size.width() + 20), size.height() + 60);
}

void CTrackRenderer::Draw(QPainter& p, CRondelDoc& doc, const QRect& clip)
{
    CTrack* track = CTrack::Of(doc);
    if (!track)
        return;
    SDrawTarget target;
    target.painter = &p;
    target.width = m_width;
    target.visible = clip;
    track->Draw(target);
}

int CTrackRenderer::Lead(const CEvent& bar) const
{
    // The time-signature box is wider where a signature is shown.
    return (bar.m_word2 & EventBits::TimeSigShown) && bar.IsBar() ? 32 : 10;
}

int CTrackRenderer::StaffBottom(const CEvent& bar) const
{
    return CTrack::GeometryOf(bar).S;
}

SViewHit CTrackRenderer::HitTest(CRondelDoc& doc, const QPoint& pt)
{
    SViewHit hit;
    CTrack* track = CTrack::Of(doc);
    if (!track)
        return hit;
    if (pt.y() < track->m_headerHeight) {
        hit.zone = SViewHit::Header;
        return hit;
    }
    int bar = 0, tick = 0;
    if (!track->HitTestBarTick(pt.x(), pt.y(), &bar, &tick) || tick == INT_MAX)
        return hit;
    const CEvent* ev = track->FindBar(bar);
    if (!ev)
        return hit;
    const SBarGeometry g = CTrack::GeometryOf(*ev);
    const int lead = Lead(*ev);
    const bool inCount = pt.y() >= g.staffTop + g.B + 8 && pt.y() <= g.staffTop + g.S;
    hit.barNo = bar;
    hit.tick = tick;
    if (tick < 0) {
        hit.zone = inCount ? SViewHit::LeadCount : SViewHit::Lead;
        hit.cell = QRect(g.x, g.staffTop, lead, 32);
        return hit;
    }
    const int cellX = g.x + lead + 8 * tick;
    if (inCount) {
        hit.zone = SViewHit::Count;
        hit.cell = QRect(cellX, g.staffTop + g.B + 8, 8, g.S - g.B - 8);
    } else {
        hit.zone = SViewHit::Note;
        hit.cell = QRect(cellX, g.staffTop - 68, 8, 68 + g.S);
    }
    return hit;
}
