#pragma once
// Places in the song as the selection names them (bar number and 32nd tick) and the list
// positions they stand for. The view's selection fills these; copy, paste and delete use them.

#include "event.h"

#include <climits>
#include <optional>

// A tick value meaning "the bar line itself" (the bar's opening event).
inline constexpr int kTickBarLine = -1;
// A tick value meaning "after the bar's last tick".
inline constexpr int kTickBarEnd = INT_MAX;

// A stretch of the song from (m_barDn, m_tickDn) to (m_barUp, m_tickUp), bars counted from 1
// over BAR and REPEAT_PREV_MEASURES events. The ends may come in either order.
struct SSongRange
{
    int m_barDn = 0;
    int m_tickDn = 0;
    int m_barUp = 0;
    int m_tickUp = 0;
};

// The events a range covers: m_first to m_last inclusive. m_endBar is the measure opener after
// m_last (end() when there is none); a walk over the range stops there at the latest.
struct SEventSpan
{
    EventPos m_startBar; // the measure in which the range starts
    EventPos m_first;
    EventPos m_last;
    EventPos m_endBar;
    int m_count = 0;     // events in the span
    int m_barDn = 0;     // where the span really starts and ends after snapping to events
    int m_tickDn = 0;
    int m_barUp = 0;
    int m_tickUp = 0;
};

// An insertion point: new notes go after m_after, which lies in the measure opened by m_bar
// (m_after is m_bar itself when nothing precedes the tick).
struct SInsertPoint
{
    EventPos m_bar;
    EventPos m_after;
    int m_bar1 = 0; // 1-based bar number
    int m_tick = 0;
};

// The events a range covers, as the selection resolves a drag: ticks snap to the first event
// at or after the start tick and the last event at or before the end tick. nullopt when no
// bar number is valid or no event lies in the range.
std::optional<SEventSpan> ResolveSongRange(CEventList& events, const SSongRange& range);
// The cursor at (bar, tick); tick -1 counts as 0. nullopt when the bar does not exist.
std::optional<SInsertPoint> FindInsertPoint(CEventList& events, int bar, int tick);

// The measure opener with this 1-based bar number, or end().
EventPos FindBar(CEventList& events, int bar);
// The 1-based ordinal of a BAR (type 100 only) in the list; 0 when `bar` is not one of them.
int BarOrdinal(const CEventList& events, const CEvent* bar);
// The BAR with this ordinal (type 100 only), or nullptr.
CEvent* BarAtOrdinal(CEventList& events, int ordinal);
// Puts the notes and rests of the measure opened by `bar` back into position order (stable, so
// chords keep their order).
void SortMeasure(CEventList& events, EventPos bar);
