#include "trackrenderer.h"

#include "catalogue.h"
#include "drumlayout.h"
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
    target.tabFormat = m_format;
    QSize size;
    track->Draw(target, &size);
    m_rows.Capture();
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
    target.tabFormat = m_format;
    track->Draw(target);
    m_rows.Capture();
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
    // Another view may have drawn since: read this view's rows.
    m_rows.Install();
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
        // The time-signature box and the lead part of the tab rows.
        hit.cells[0] = QRect(g.x, g.staffTop, lead, 32);
        hit.cells[1] = QRect(g.x, g.staffTop + g.T, lead, g.B - g.T);
        return hit;
    }
    const int cellX = g.x + lead + 8 * tick;
    const int top = g.staffTop;
    hit.zone = inCount ? SViewHit::Count : SViewHit::Note;
    const QRect countCell(cellX, top + g.B + 8, 8, g.S - g.B - 8);
    const bool onStaff = track->m_lastRows.standard && pt.y() >= top - 4 && pt.y() <= top + 32;
    const bool onTab = track->m_lastRows.tab && pt.y() >= top + g.T - 6 && pt.y() <= top + g.B + 4;
    if (inCount || (!onStaff && !onTab)) {
        // Outside both notations: the whole column.
        hit.cells[0] = inCount ? countCell : QRect(cellX, top - 68, 8, 68 + g.S);
        return hit;
    }
    // The shown tab rows, top to bottom, and the staff step each key sits on.
    std::vector<int> shownRows;
    for (int row = 0; row < TabLines::kCount; ++row)
        if (TabLines::IsShown(row))
            shownRows.push_back(row);
    auto stepOf = [](int key) { return 10 - DrumLayout::Position(key); };
    auto stepBand = [&](int step) { return QRect(cellX, top + 4 * step - 3, 8, 8); };
    auto rowBand = [&](int k) { return QRect(cellX, top + g.T + 12 * k - 6, 8, 14); };
    if (onStaff) {
        const int step = pt.y() < top + 2 ? 0 : 1 + (pt.y() - top - 2) / 4;
        hit.cells[0] = stepBand(step);
        // The tab rows holding the drums of that step (the first of them is marked).
        for (size_t k = 0; k < shownRows.size() && hit.cells[1].isEmpty(); ++k)
            for (const TabLines::SPair& pair : TabLines::Pairs(shownRows[k]))
                if (stepOf(pair.key) == step) {
                    hit.cells[1] = rowBand(int(k));
                    break;
                }
    } else {
        const int k = pt.y() < top + g.T + 6 ? 0 : 1 + (pt.y() - top - g.T - 6) / 12;
        hit.cells[1] = rowBand(k);
        if (k < int(shownRows.size()) && !TabLines::Pairs(shownRows[size_t(k)]).empty())
            hit.cells[0] = QRect(cellX, top + 4 * stepOf(TabLines::Pairs(shownRows[size_t(k)]).front().key) - 4, 8, 8);
    }
    hit.cells[2] = countCell;
    return hit;
}
