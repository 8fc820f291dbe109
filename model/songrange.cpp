#include "songrange.h"

#include <algorithm>

std::optional<SEventSpan> ResolveSongRange(CEventList& events, const SSongRange& range)
{
    SSongRange r = range;
    if (r.m_barDn < 1 || r.m_barUp < 1)
        return std::nullopt;
    if (r.m_barUp < r.m_barDn || (r.m_barUp == r.m_barDn && r.m_tickUp < r.m_tickDn)) {
        std::swap(r.m_barDn, r.m_barUp);
        std::swap(r.m_tickDn, r.m_tickUp);
    }

    SEventSpan s;
    s.m_startBar = s.m_first = s.m_last = s.m_endBar = events.end();
    bool haveStart = false;
    bool haveFirst = false;
    int barDn = r.m_barDn;
    int tickDn = r.m_tickDn;
    int lastBar = 0;
    int lastTick = 0;
    auto count = [&](int bar, int tick) {
        ++s.m_count;
        lastBar = bar;
        lastTick = tick;
    };

    int bar = 0;
    EventPos prev = events.end();
    for (auto it = events.begin(); it != events.end(); prev = it, ++it) {
        const CEvent& ev = *it;
        if (ev.IsMeasure()) {
            ++bar;
            if (bar < barDn)
                continue;
            if (!haveStart) {
                haveStart = true;
                s.m_startBar = it;
                if (tickDn == kTickBarLine) {
                    s.m_first = it;
                    haveFirst = true;
                    count(bar, kTickBarLine);
                }
                continue;
            }
            if (bar > r.m_barUp)
                break;
            if (!haveFirst) {
                // Nothing selected in the start bar: the range starts at the next one.
                s.m_startBar = it;
                barDn = bar;
                tickDn = 0;
                continue;
            }
            count(bar, kTickBarLine);
            if (bar == r.m_barUp && r.m_tickUp == kTickBarLine) {
                prev = it;
                break;
            }
            continue;
        }
        if (!haveStart)
            continue;
        const int tick = int(ev.GetTick());
        if (!haveFirst) {
            if (tick >= tickDn) {
                s.m_first = it;
                haveFirst = true;
                tickDn = tick;
                count(bar, tick);
            }
            continue;
        }
        if (bar == r.m_barUp && tick > r.m_tickUp)
            break;
        count(bar, tick);
    }
    if (!haveFirst || prev == events.end())
        return std::nullopt;
    s.m_last = prev;
    s.m_endBar = std::next(s.m_last);
    while (s.m_endBar != events.end() && !s.m_endBar->IsMeasure())
        ++s.m_endBar;
    s.m_barDn = barDn;
    s.m_tickDn = tickDn;
    s.m_barUp = lastBar;
    s.m_tickUp = lastTick;
    return s;
}

std::optional<SInsertPoint> FindInsertPoint(CEventList& events, int bar, int tick)
{
    EventPos barPos = FindBar(events, bar);
    if (barPos == events.end())
        return std::nullopt;
    // Positions are tick * 12: keep the tick inside the measure so that nothing overflows.
    const int ticks = int(barPos->GetMeasureTicks());
    tick = std::clamp(tick, 0, std::max(ticks, 0));
    SInsertPoint p;
    p.m_bar = barPos;
    p.m_after = barPos;
    p.m_bar1 = bar;
    p.m_tick = tick;
    for (auto it = std::next(barPos); it != events.end() && !it->IsMeasure(); ++it) {
        if (int(it->GetTick()) >= tick)
            break;
        p.m_after = it;
    }
    return p;
}

EventPos FindBar(CEventList& events, int bar)
{
    if (bar < 1)
        return events.end();
    int n = 0;
    for (auto it = events.begin(); it != events.end(); ++it)
        if (it->IsMeasure() && ++n == bar)
            return it;
    return events.end();
}

int BarOrdinal(const CEventList& events, const CEvent* bar)
{
    if (!bar)
        return 0;
    int n = 0;
    for (const auto& ev : events) {
        if (ev.IsBar())
            ++n;
        if (&ev == bar)
            return ev.IsBar() ? n : 0;
    }
    return 0;
}

CEvent* BarAtOrdinal(CEventList& events, int ordinal)
{
    if (ordinal < 1)
        return nullptr;
    int n = 0;
    for (auto& ev : events)
        if (ev.IsBar() && ++n == ordinal)
            return &ev;
    return nullptr;
}

void SortMeasure(CEventList& events, EventPos bar)
{
    if (bar == events.end())
        return;
    auto begin = std::next(bar);
    auto end = begin;
    while (end != events.end() && !end->IsMeasure())
        ++end;
    CEventList measure;
    measure.splice(measure.end(), events, begin, end);
    measure.sort([](const auto& a, const auto& b) { return a.GetPosition() < b.GetPosition(); });
    events.splice(end, measure);
}
