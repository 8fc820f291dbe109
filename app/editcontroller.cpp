#include "editcontroller.h"

#include "catalogue.h"
#include "clipboard.h"
#include "drumlayout.h"
#include "report.h"
#include "rondeldoc.h"
#include "track.h"

#include <algorithm>
#include <vector>

namespace {
bool IsNoteOrRest(const CEvent& ev) { return ev.IsNote() || ev.IsRest(); }

void SetPosition(CEvent& ev, int64_t pos)
{
    ev.m_word2 = (ev.m_word2 & ~EventBits::PositionMask) | uint32_t(std::clamp<int64_t>(pos, 0, EventBits::PositionMask));
}

bool InGroup(const CEvent& note, int group)
{
    switch (group) {
    case MenuGroup::Cymbal: return note.IsCymbal();
    case MenuGroup::Snare: return note.IsSnare();
    case MenuGroup::Tom: return note.IsTom();
    case MenuGroup::Foot: return note.IsBassDrum();
    case MenuGroup::Percussion: return note.IsPercussion() || note.IsBongoOrConga();
    case MenuGroup::Conga: return note.IsBongoOrConga();
    default: return false;
    }
}
}

CEditController::CEditController(CRondelDoc& doc) : m_doc(doc) {}

bool CEditController::PlayerActive() const
{
    const int state = m_playerState ? m_playerState() : 0;
    return state == 1 || state == 2;
}

bool CEditController::CanEdit() const
{
    if (!PlayerActive())
        return true;
    UserReport().Warning(QString::fromLatin1(EditText::kNotWhilePlaying));
    return false;
}

// ----- helpers -------------------------------------------------------------------------------

EventPos CEditController::MeasureEnd(EventPos bar) const
{
    CEventList& events = m_doc.Events();
    auto it = std::next(bar);
    while (it != events.end() && !it->IsMeasure())
        ++it;
    return it;
}

EventPos CEditController::FindEvent(const CEvent* ev) const
{
    CEventList& events = m_doc.Events();
    if (!ev)
        return events.end();
    return std::find_if(events.begin(), events.end(), [ev](const auto& e) { return &e == ev; });
}

EventPos CEditController::BarOf(EventPos it) const
{
    CEventList& events = m_doc.Events();
    while (it != events.begin() && !it->IsMeasure())
        --it;
    return it->IsMeasure() ? it : events.end();
}

int CEditController::BarNumberOfPos(EventPos bar) const
{
    int n = 0;
    for (auto it = m_doc.Events().begin(); it != m_doc.Events().end(); ++it) {
        if (it->IsMeasure())
            ++n;
        if (it == bar)
            return n;
    }
    return 0;
}

int CEditController::MeasureCount() const
{
    int n = 0;
    for (const auto& e : m_doc.Events())
        if (e.IsMeasure())
            ++n;
    return n;
}

void CEditController::KeepClosingBar()
{
    CEventList& events = m_doc.Events();
    if (!events.empty() && events.back().IsBar() && events.size() > 1)
        return;
    uint32_t sig = TimeSigWord(4, 4);
    for (auto it = events.rbegin(); it != events.rend(); ++it)
        if (it->IsMeasure()) {
            sig = it->m_word2 & EventBits::TimeSigMask;
            break;
        }
    AppendEvent(events, EventType::Bar, sig);
}

bool CEditController::Commit()
{
    KeepClosingBar();
    const bool changed = m_doc.CommitEdit();
    Reresolve();
    return changed;
}

// ----- selection -----------------------------------------------------------------------------

void CEditController::ClearSelection()
{
    m_selType = SelNone;
    m_range = {};
}

void CEditController::SetCursor(int bar, int tick)
{
    const int count = MeasureCount();
    if (count < 1) {
        ClearSelection();
        return;
    }
    bar = std::clamp(bar, 1, count);
    const EventPos pos = FindBar(m_doc.Events(), bar);
    const int ticks = std::max(int(pos->GetMeasureTicks()), 1);
    tick = std::clamp(tick, 0, ticks - 1);
    m_range = {bar, tick, bar, tick};
    m_selType = SelCursor;
}

bool CEditController::SelectRange(int barDn, int tickDn, int barUp, int tickUp, bool quiet)
{
    const auto span = ResolveSongRange(m_doc.Events(), {barDn, tickDn, barUp, tickUp});
    if (!span) {
        if (!quiet && barDn >= 1 && barUp >= 1)
            UserReport().Warning(QString::fromLatin1(EditText::kEmptySelection));
        ClearSelection();
        return false;
    }
    // A range to the end of a bar stays one after an edit moved notes within the bar.
    if (barUp < barDn || (barUp == barDn && tickUp < tickDn)) {
        std::swap(barDn, barUp);
        std::swap(tickDn, tickUp);
    }
    const bool toBarEnd = tickUp == kTickBarEnd && barUp == span->m_barUp;
    m_range = {span->m_barDn, span->m_tickDn, span->m_barUp, toBarEnd ? kTickBarEnd : span->m_tickUp};
    m_selType = SelRange;
    return true;
}

bool CEditController::SelectBar(int bar)
{
    return SelectRange(bar, kTickBarLine, bar, kTickBarEnd);
}

bool CEditController::SelectToEnd(int bar, int tick)
{
    return SelectRange(bar, tick, MeasureCount(), kTickBarEnd);
}

std::optional<SEventSpan> CEditController::Span() const
{
    if (m_selType != SelRange)
        return std::nullopt;
    return ResolveSongRange(m_doc.Events(), m_range);
}

std::optional<SInsertPoint> CEditController::InsertPoint() const
{
    if (m_selType == SelNone)
        return std::nullopt;
    return FindInsertPoint(m_doc.Events(), m_range.m_barDn, std::max(m_range.m_tickDn, 0));
}

void CEditController::Reresolve()
{
    if (m_selType == SelRange) {
        const SSongRange r = m_range;
        if (!SelectRange(r.m_barDn, r.m_tickDn, r.m_barUp, r.m_tickUp, true))
            ClearSelection();
    } else if (m_selType == SelCursor) {
        SetCursor(m_range.m_barDn, m_range.m_tickDn);
    }
}

int CEditController::TripletState() const
{
    const auto span = Span();
    if (!span || span->m_count < 3)
        return 0;
    std::vector<const CEvent*> selected;
    for (auto it = span->m_first;; ++it) {
        // Only notes and rests of one measure can form a triplet.
        if (!IsNoteOrRest(*it))
            return 0;
        selected.push_back(&*it);
        if (it == span->m_last)
            break;
    }
    if (std::all_of(selected.begin(), selected.end(), [](const CEvent* e) { return e->IsTriplet(); }))
        return 1;
    std::vector<int> positions;
    for (const CEvent* e : selected) {
        const int p = int(e->GetPosition());
        if (positions.empty() || p > positions.back())
            positions.push_back(p);
    }
    if (positions.size() != 3)
        return 0;
    const int gap1 = (positions[1] - positions[0]) * 8 / 96;
    const int gap2 = (positions[2] - positions[1]) * 8 / 96;
    if (gap1 != gap2)
        return 0;
    for (int allowed : {1, 2, 4, 8, 16, 31})
        if (gap1 == allowed)
            return 2;
    return 0;
}

// ----- notes ---------------------------------------------------------------------------------

int CEditController::DefaultOf(int group) const
{
    switch (group) {
    case MenuGroup::Cymbal: return m_defaults.cymbal;
    case MenuGroup::Snare: return m_defaults.snare;
    case MenuGroup::Tom: return m_defaults.tom;
    case MenuGroup::Foot: return m_defaults.foot;
    case MenuGroup::Percussion: return m_defaults.percussion;
    case MenuGroup::Conga: return m_defaults.conga;
    default: return 0;
    }
}

int CEditController::ClickedDrumKey(const CTrack& track, int bar, int y) const
{
    const CEvent* ev = track.FindBar(bar);
    if (!ev)
        return 0;
    const SBarGeometry g = CTrack::GeometryOf(*ev);
    const int top = g.staffTop;
    const std::array<int, 6> defaults{m_defaults.cymbal, m_defaults.snare, m_defaults.foot,
                                      m_defaults.tom, m_defaults.percussion, m_defaults.conga};
    // The tab rows: the row's key that is a group default, else its first key.
    if (track.m_lastRows.tab && y >= top + g.T - 6 && y <= top + g.B + 4) {
        const int k = y < top + g.T + 6 ? 0 : 1 + (y - top - g.T - 6) / 12;
        int shown = 0;
        for (int row = 0; row < TabLines::kCount; ++row) {
            if (!TabLines::IsShown(row) || shown++ != k)
                continue;
            const auto& pairs = TabLines::Pairs(row);
            if (pairs.empty())
                return 0;
            for (const TabLines::SPair& pair : pairs)
                if (std::find(defaults.begin(), defaults.end(), pair.key) != defaults.end())
                    return pair.key;
            return pairs.front().key;
        }
        return 0;
    }
    if (!track.m_lastRows.standard)
        return 0;
    // The staff: the position under y in the drum layout in force (heads sit at top + 40 -
    // 4 * position), over the whole range of positions the layout uses.
    int lowest = 1000, highest = -1000;
    for (int key = DrumLayout::kFirstKey; key <= DrumLayout::kLastKey; ++key) {
        lowest = std::min(lowest, DrumLayout::Position(key));
        highest = std::max(highest, DrumLayout::Position(key));
    }
    if (y < top + 40 - 4 * highest - 3 || y > top + 40 - 4 * lowest + 3)
        return 0;
    const int position = (top + 40 - y + 2 + 400) / 4 - 100;
    std::vector<int> candidates;
    for (int key = DrumLayout::kFirstKey; key <= DrumLayout::kLastKey; ++key)
        if (DrumLayout::Position(key) == position)
            candidates.push_back(key);
    if (candidates.empty())
        return 0;
    for (int key : defaults)
        if (std::find(candidates.begin(), candidates.end(), key) != candidates.end())
            return key;
    // The kit's everyday drums before the rarer ones sharing their place.
    for (int key : {36, 38, 42, 49, 51, 50, 48, 47, 45, 43, 41, 44, 46, 57, 55, 52, 53, 59, 37, 40})
        if (std::find(candidates.begin(), candidates.end(), key) != candidates.end())
            return key;
    return candidates.front();
}

bool CEditController::ToggleDrum(int bar, int tick, int key, CEvent** added)
{
    if (added)
        *added = nullptr;
    if (!CanEdit())
        return false;
    CEventList& events = m_doc.Events();
    const EventPos barPos = FindBar(events, bar);
    if (barPos == events.end() || key < int(EventType::FirstNote) || key > int(EventType::LastNote))
        return false;
    if (barPos->IsRepeatPrev()) {
        UserReport().Warning(QString::fromLatin1(kNoNotesInRepeat));
        return false;
    }
    if (tick < 0 || tick >= int(barPos->GetMeasureTicks()))
        return false;
    const EventPos end = MeasureEnd(barPos);
    for (auto it = std::next(barPos); it != end; ++it)
        if (int(it->GetTick()) == tick && int(it->GetEventType()) == key) {
            events.erase(it);
            return Commit();
        }
    CEvent* raw = InsertNote(barPos, tick, uint32_t(key), 0);
    if (added)
        *added = raw;
    return Commit();
}

CEvent* CEditController::InsertNote(EventPos barPos, int tick, uint32_t key, uint32_t word2Bits)
{
    CEventList& events = m_doc.Events();
    const EventPos end = MeasureEnd(barPos);
    int64_t pos = int64_t(tick) * 12;
    uint32_t word1 = key | m_pendingMark;
    m_pendingMark = 0;
    // Next to a triplet the new note joins it.
    for (auto it = std::next(barPos); it != end; ++it)
        if (it->IsTriplet() && int64_t(it->GetPosition()) >= pos && int64_t(it->GetPosition()) <= pos + 8) {
            pos = it->GetPosition();
            word1 |= EventBits::Triplet;
            break;
        }
    EventPos after = barPos;
    for (auto it = std::next(barPos); it != end; ++it)
        if (int64_t(it->GetPosition()) <= pos)
            after = it;
    auto note = std::make_unique<CEvent>(word1, uint32_t(pos) | word2Bits);
    CEvent* raw = note.get();
    events.insert(std::next(after), std::move(note));
    return raw;
}

bool CEditController::CanAddNotesTo(int bar) const
{
    CEventList& events = m_doc.Events();
    const EventPos barPos = FindBar(events, bar);
    if (barPos == events.end())
        return false;
    if (barPos->IsRepeatPrev()) {
        UserReport().Warning(QString::fromLatin1(kNoNotesInRepeat));
        return false;
    }
    return CanEdit();
}

const CEvent* CEditController::NoteAt(int bar, int tick, int key, int string) const
{
    CEventList& events = m_doc.Events();
    const EventPos barPos = FindBar(events, bar);
    if (barPos == events.end())
        return nullptr;
    for (auto it = std::next(barPos); it != events.end() && !it->IsMeasure(); ++it) {
        const CEvent& e = *it;
        if (!e.IsNote() || int(e.GetTick()) != tick)
            continue;
        if (string >= 0 ? int(e.GetString()) == string : int(e.GetEventType()) == key)
            return &e;
    }
    return nullptr;
}

int CEditController::StringForPitch(int pitch) const
{
    const std::vector<int> strings = CTrack::OpenStrings(m_doc.m_trackType);
    for (size_t i = 0; i < strings.size(); ++i)
        if (strings[i] <= pitch)
            return int(i);
    return -1;
}

bool CEditController::AddPitchedNote(int bar, int tick, int pitch, int string)
{
    const std::vector<int> strings = CTrack::OpenStrings(m_doc.m_trackType);
    if (strings.empty() || !CanAddNotesTo(bar))
        return false;
    if (string < 0)
        string = StringForPitch(pitch);
    if (string < 0 || string >= int(strings.size())) {
        UserReport().Warning(QString::fromLatin1(EditText::kNoteTooLow));
        return false;
    }
    if (pitch < strings[size_t(string)] || pitch > int(EventType::LastNote))
        return false;
    CEventList& events = m_doc.Events();
    const EventPos barPos = FindBar(events, bar);
    if (tick < 0 || tick >= int(barPos->GetMeasureTicks()))
        return false;
    // One note per string and tick: a new fret replaces the old one.
    if (const CEvent* old = NoteAt(bar, tick, 0, string))
        events.erase(FindEvent(old));
    InsertNote(barPos, tick, uint32_t(pitch), uint32_t(string) << EventBits::StringShift);
    return Commit();
}

bool CEditController::DeleteNote(const CEvent* note)
{
    if (!CanEdit())
        return false;
    const EventPos it = FindEvent(note);
    if (it == m_doc.Events().end() || !IsNoteOrRest(*it))
        return false;
    m_doc.Events().erase(it);
    return Commit();
}

bool CEditController::StepNoteKey(const CEvent* note, int delta)
{
    if (!CanEdit())
        return false;
    const EventPos it = FindEvent(note);
    if (it == m_doc.Events().end() || !it->IsNote())
        return false;
    const int key = int(it->GetEventType());
    const bool drums = m_doc.m_trackType == TrackType::Drums;
    const int low = drums ? 35 : 2;
    const int high = drums ? 81 : 99;
    const int next = key + delta;
    if (next < low || next > high)
        return false;
    // A string sounds nothing below its open pitch.
    if (!drums) {
        const std::vector<int> strings = CTrack::OpenStrings(m_doc.m_trackType);
        const size_t string = it->GetString();
        if (string < strings.size() && next < strings[string])
            return false;
    }
    it->m_word1 = (it->m_word1 & ~EventBits::TypeMask) | uint32_t(next);
    return Commit();
}

bool CEditController::JogNote(const CEvent* note, int delta, int* movedToBar)
{
    if (!CanEdit())
        return false;
    CEventList& events = m_doc.Events();
    const EventPos it = FindEvent(note);
    if (it == events.end() || !IsNoteOrRest(*it))
        return false;
    const EventPos bar = BarOf(it);
    if (bar == events.end())
        return false;
    const int64_t pos = int64_t(it->GetPosition()) + delta * 12;
    const int64_t length = int64_t(bar->GetMeasurePositions());
    EventPos target = bar;
    if (pos < 0) {
        if (bar == events.begin())
            return false; // nothing before the first measure
        target = BarOf(std::prev(bar));
        if (target == events.end())
            return false;
        if (target->IsRepeatPrev()) {
            UserReport().Warning(QString::fromLatin1(kNoNotesInRepeat));
            return false;
        }
        SetPosition(*it, int64_t(target->GetMeasureTicks()) * 12 - 12);
    } else if (pos >= length) {
        target = MeasureEnd(bar);
        if (target == events.end())
            return false;
        if (target->IsRepeatPrev()) {
            UserReport().Warning(QString::fromLatin1(kNoNotesInRepeat));
            return false;
        }
        SetPosition(*it, 0);
    } else {
        SetPosition(*it, pos);
    }
    if (target != bar) {
        // Moves the node itself: the event stays the same object.
        const EventPos end = MeasureEnd(target);
        events.splice(end, events, it);
    }
    SortMeasure(events, target);
    if (movedToBar)
        *movedToBar = BarNumberOfPos(target);
    return Commit();
}

int CEditController::MoveNotes(std::vector<const CEvent*> notes, int delta)
{
    // The note nearest the way it goes moves first, so that notes keep their order.
    if (delta > 0)
        std::reverse(notes.begin(), notes.end());
    CEventList& events = m_doc.Events();
    int moved = 0;
    for (const CEvent* n : notes) {
        const EventPos it = FindEvent(n);
        if (it == events.end())
            continue;
        const EventPos bar = BarOf(it);
        const int64_t pos = int64_t(it->GetPosition()) + delta * 12;
        const int64_t length = int64_t(bar->GetMeasurePositions());
        EventPos target = bar;
        if (pos < 0) {
            target = bar == events.begin() ? events.end() : BarOf(std::prev(bar));
            if (target == events.end() || target->IsRepeatPrev())
                continue;
            SetPosition(*it, int64_t(target->GetMeasureTicks()) * 12 - 12);
        } else if (pos >= length) {
            target = MeasureEnd(bar);
            if (target == events.end() || target->IsRepeatPrev())
                continue;
            SetPosition(*it, 0);
        } else {
            SetPosition(*it, pos);
        }
        if (target != bar)
            events.splice(MeasureEnd(target), events, it);
        SortMeasure(events, target);
        ++moved;
    }
    return moved;
}

bool CEditController::JogCursor(int delta, bool toBarEnd)
{
    if (m_selType != SelCursor)
        return false;
    const int bar = m_range.m_barDn;
    const int tick = std::max(m_range.m_tickDn, 0);
    if (toBarEnd) {
        // From the cursor to the end of its measure, as a range.
        if (!CanEdit() || !SelectRange(bar, tick, bar, kTickBarEnd, true)) {
            SetCursor(bar, tick);
            return false;
        }
        return JogRange(delta);
    }
    CEventList& events = m_doc.Events();
    const EventPos b = FindBar(events, bar);
    std::vector<const CEvent*> notes;
    if (b != events.end())
        for (auto it = std::next(b); it != events.end() && !it->IsMeasure(); ++it)
            if (IsNoteOrRest(*it) && int(it->GetTick()) == tick)
                notes.push_back(&*it);
    // Nothing at the cursor: only the cursor moves.
    if (notes.empty()) {
        MoveCursor(delta);
        return false;
    }
    if (!CanEdit() || (delta < 0 && bar <= 1 && tick == 0))
        return false;
    if (MoveNotes(notes, delta) == 0)
        return false;
    const bool changed = Commit();
    MoveCursor(delta);
    return changed;
}

bool CEditController::JogRange(int delta)
{
    if (!CanEdit())
        return false;
    const auto span = Span();
    if (!span)
        return false;
    // Nothing moves left of the song's first tick.
    if (delta < 0 && m_range.m_barDn <= 1 && m_range.m_tickDn <= 0)
        return false;
    std::vector<const CEvent*> notes;
    for (auto it = span->m_first;; ++it) {
        if (IsNoteOrRest(*it))
            notes.push_back(&*it);
        if (it == span->m_last)
            break;
    }
    if (notes.empty())
        return false;
    MoveNotes(notes, delta);
    CEventList& events = m_doc.Events();
    // The range moves with its notes.
    auto shift = [&](int& bar, int& tick) {
        if (tick == kTickBarLine || tick == kTickBarEnd)
            return;
        const EventPos b = FindBar(events, bar);
        const int ticks = b == events.end() ? 32 : int(b->GetMeasureTicks());
        tick += delta;
        if (tick < 0 && bar > 1) {
            --bar;
            const EventPos p = FindBar(events, bar);
            tick = p == events.end() ? 0 : int(p->GetMeasureTicks()) - 1;
        } else if (tick >= ticks) {
            ++bar;
            tick = 0;
        }
        tick = std::max(tick, 0);
    };
    shift(m_range.m_barDn, m_range.m_tickDn);
    shift(m_range.m_barUp, m_range.m_tickUp);
    return Commit();
}

void CEditController::MoveCursor(int delta)
{
    if (m_selType == SelNone)
        return;
    int bar = m_range.m_barDn;
    int tick = std::max(m_range.m_tickDn, 0) + delta;
    const EventPos b = FindBar(m_doc.Events(), bar);
    if (b == m_doc.Events().end())
        return;
    if (tick < 0) {
        if (bar <= 1)
            tick = 0;
        else {
            --bar;
            tick = int((*FindBar(m_doc.Events(), bar)).GetMeasureTicks()) - 1;
        }
    } else if (tick >= int(b->GetMeasureTicks())) {
        if (bar < MeasureCount()) {
            ++bar;
            tick = 0;
        } else {
            tick = int(b->GetMeasureTicks()) - 1;
        }
    }
    SetCursor(bar, tick);
}

bool CEditController::InsertRestAtCursor()
{
    if (m_selType != SelCursor || !CanEdit())
        return false;
    const auto at = InsertPoint();
    if (!at)
        return false;
    if (at->m_bar->IsRepeatPrev()) {
        UserReport().Warning(QString::fromLatin1(kNoNotesInRepeat));
        return false;
    }
    m_doc.Events().insert(std::next(at->m_after), std::make_unique<CEvent>(EventType::Rest, uint32_t(at->m_tick * 12)));
    return Commit();
}

bool CEditController::ToggleMark(uint32_t mask, const CEvent* note)
{
    if (const auto span = Span()) {
        if (!CanEdit())
            return false;
        std::vector<CEvent*> notes;
        for (auto it = span->m_first;; ++it) {
            if (it->IsNote())
                notes.push_back(&*it);
            if (it == span->m_last)
                break;
        }
        if (notes.empty())
            return false;
        const bool allSet = std::all_of(notes.begin(), notes.end(), [mask](const CEvent* e) { return (e->m_word1 & mask) != 0; });
        for (CEvent* e : notes) {
            e->m_word1 &= ~EventBits::Dynamics;
            if (!allSet)
                e->m_word1 |= mask;
        }
        return Commit();
    }
    if (note) {
        if (!CanEdit())
            return false;
        const EventPos it = FindEvent(note);
        if (it == m_doc.Events().end() || !it->IsNote())
            return false;
        it->ToggleDynamic(mask);
        return Commit();
    }
    m_pendingMark = m_pendingMark == mask ? 0 : mask;
    return false;
}

bool CEditController::TripletizeRange(bool jog)
{
    const int state = TripletState();
    if (state == 0 || !CanEdit())
        return false;
    const auto span = Span();
    CEventList& events = m_doc.Events();
    const EventPos bar = BarOf(span->m_first);
    const int64_t length = int64_t(bar->GetMeasurePositions());
    const int64_t base = span->m_first->GetPosition();
    auto moved = [&](int64_t pos) { return state == 2 ? base + (pos - base) * 2 / 3 : base + (pos - base) * 3 / 2; };
    const int64_t lastOld = span->m_last->GetPosition();
    const int64_t d = lastOld - moved(lastOld);
    const int64_t shift = -(d * 3 / 2);
    const EventPos end = MeasureEnd(bar);
    // Nothing may leave the measure.
    for (auto it = span->m_first;; ++it) {
        if (moved(it->GetPosition()) >= length) {
            UserReport().Warning(QString::fromLatin1(EditText::kNotesPastBarEnd));
            return false;
        }
        if (it == span->m_last)
            break;
    }
    if (jog)
        for (auto it = std::next(span->m_last); it != end; ++it) {
            const int64_t p = int64_t(it->GetPosition()) + shift;
            if (p < 0 || p >= length) {
                UserReport().Warning(QString::fromLatin1(EditText::kNotesPastBarEnd));
                return false;
            }
        }
    for (auto it = span->m_first;; ++it) {
        CEvent& e = *it;
        SetPosition(e, moved(e.GetPosition()));
        if (state == 2)
            e.m_word1 |= EventBits::Triplet;
        else
            e.m_word1 &= ~EventBits::Triplet;
        if (it == span->m_last)
            break;
    }
    if (jog)
        for (auto it = std::next(span->m_last); it != end; ++it)
            SetPosition(*it, int64_t(it->GetPosition()) + shift);
    SortMeasure(events, bar);
    const int barNo = m_range.m_barDn;
    const int tickUp = int(moved(lastOld) * 8 / 96);
    m_range.m_tickUp = tickUp;
    m_range.m_barUp = barNo;
    return Commit();
}

bool CEditController::SetNoteLengths(int ticks)
{
    const auto span = Span();
    if (!span || !CanEdit())
        return false;
    CEventList& events = m_doc.Events();
    // The new tick of every selected note or rest, measure by measure.
    std::vector<std::pair<CEvent*, int>> moves;
    EventPos bar = BarOf(span->m_first);
    int t = -1;
    int prevOld = -1;
    for (auto it = span->m_first;; ++it) {
        CEvent& e = *it;
        if (e.IsMeasure()) {
            bar = it;
            t = -1;
        } else if (IsNoteOrRest(e)) {
            const int old = int(e.GetTick());
            if (t < 0)
                t = old;
            else if (old != prevOld)
                t += ticks;
            prevOld = old;
            if (t >= int(bar->GetMeasureTicks())) {
                UserReport().Warning(QString::fromLatin1(EditText::kNotesPastBarEnd));
                return false;
            }
            moves.emplace_back(&e, t);
        }
        if (it == span->m_last)
            break;
    }
    for (auto& [e, tick] : moves)
        SetPosition(*e, int64_t(tick) * 12);
    for (auto it = events.begin(); it != events.end(); ++it)
        if (it->IsMeasure())
            SortMeasure(events, it);
    return Commit();
}

bool CEditController::SetInstrument(int group, int key)
{
    if (const auto span = Span()) {
        // Guitar and bass pitches are not drums, whatever their number.
        if (m_doc.m_trackType != TrackType::Drums || !CanEdit())
            return false;
        for (auto it = span->m_first;; ++it) {
            CEvent& e = *it;
            if (e.IsNote() && InGroup(e, group))
                e.m_word1 = (e.m_word1 & ~EventBits::TypeMask) | uint32_t(key);
            if (it == span->m_last)
                break;
        }
        return Commit();
    }
    switch (group) {
    case MenuGroup::Cymbal: m_defaults.cymbal = key; break;
    case MenuGroup::Snare: m_defaults.snare = key; break;
    case MenuGroup::Tom: m_defaults.tom = key; break;
    case MenuGroup::Foot: m_defaults.foot = key; break;
    case MenuGroup::Percussion: m_defaults.percussion = key; break;
    case MenuGroup::Conga: m_defaults.conga = key; break;
    default: break;
    }
    return false;
}

// ----- measures ------------------------------------------------------------------------------

bool CEditController::DeleteBar(int bar)
{
    if (!CanEdit())
        return false;
    CEventList& events = m_doc.Events();
    const EventPos pos = FindBar(events, bar);
    // The closing bar line stays: the song always ends with one.
    if (pos == events.end() || std::next(pos) == events.end())
        return false;
    SEventSpan span;
    span.m_startBar = span.m_first = pos;
    span.m_endBar = MeasureEnd(pos);
    span.m_last = std::prev(span.m_endBar);
    span.m_barDn = span.m_barUp = bar;
    span.m_tickDn = kTickBarLine;
    const int removed = RemoveEvents(m_doc, span);
    // A measure repeat whose group held the bar repeats one measure fewer.
    if (removed > 0 && !AdjustMeasureRepeat(events, bar, -removed))
        UserReport().Warning(QString::fromLatin1(EditText::kRepeatAdjustFailed));
    Commit();
    return true;
}

bool CEditController::SetTimeSignature(int bar, int numerator, int denominator)
{
    if (!CanEdit())
        return false;
    CEventList& events = m_doc.Events();
    const EventPos pos = FindBar(events, bar);
    if (pos == events.end() || numerator < 1 || numerator > 63 || denominator < 1 || denominator > 255)
        return false;
    const int ticks = numerator * 32 / denominator;
    for (auto it = std::next(pos); it != MeasureEnd(pos); ++it)
        if (int(it->GetTick()) >= ticks) {
            UserReport().Warning(QString::fromLatin1(EditText::kNotesPastBarEnd));
            return false;
        }
    pos->m_word2 = (pos->m_word2 & ~EventBits::TimeSigMask) | TimeSigWord(uint32_t(numerator), uint32_t(denominator));
    return Commit();
}

bool CEditController::SplitAtCursor(int numerator, int denominator)
{
    if (m_selType != SelCursor || !CanEdit())
        return false;
    const auto at = InsertPoint();
    if (!at)
        return false;
    CEventList& events = m_doc.Events();
    const uint32_t sig = TimeSigWord(uint32_t(numerator), uint32_t(denominator));
    if (at->m_after != at->m_bar) {
        // The new bar line goes at the cursor: the notes after it move into the new measure.
        const EventPos end = MeasureEnd(at->m_bar);
        const int64_t shift = int64_t(at->m_tick) * 12;
        for (auto it = std::next(at->m_after); it != end; ++it)
            SetPosition(*it, int64_t(it->GetPosition()) - shift);
        events.insert(std::next(at->m_after), std::make_unique<CEvent>(EventType::Bar, sig));
    } else {
        events.insert(MeasureEnd(at->m_bar), std::make_unique<CEvent>(EventType::Bar, sig));
    }
    // A measure repeat whose group held the split measure repeats both of its parts. Past
    // the longest group a repeat can name, it is left as it is.
    AdjustMeasureRepeat(events, at->m_bar1 + 2, 1);
    return Commit();
}

bool CEditController::ToggleStartMarker(int bar)
{
    return ToggleMarker(bar, m_doc.m_pStartMarker);
}

bool CEditController::ToggleEndMarker(int bar)
{
    return ToggleMarker(bar, m_doc.m_pEndMarker);
}

bool CEditController::ToggleMarker(int bar, CEvent*& marker)
{
    CEventList& events = m_doc.Events();
    const EventPos pos = FindBar(events, bar);
    if (pos == events.end() || !pos->IsBar())
        return false;
    if (std::next(pos) == events.end()) {
        UserReport().Warning(QString::fromLatin1(EditText::kNoMarkerOnClosingBar));
        return false;
    }
    marker = marker == &*pos ? nullptr : &*pos;
    m_doc.MarkersChanged();
    m_doc.NotifyViews();
    return true;
}

void CEditController::ClearMarkers()
{
    m_doc.m_pStartMarker = nullptr;
    m_doc.m_pEndMarker = nullptr;
    m_doc.MarkersChanged();
    m_doc.NotifyViews();
}

// ----- Edit menu -----------------------------------------------------------------------------

bool CEditController::DeleteSelection()
{
    const auto span = Span();
    if (!span || !CanEdit())
        return false;
    const int bar = span->m_barDn;
    const int tick = std::max(span->m_tickDn, 0);
    // The first measure after the removed ones: the start measure goes when its bar line does.
    const int after = span->m_first == span->m_startBar ? bar : bar + 1;
    const int removed = RemoveEvents(m_doc, *span);
    if (removed > 0 && !AdjustMeasureRepeat(m_doc.Events(), after, -removed))
        UserReport().Warning(QString::fromLatin1(EditText::kRepeatAdjustFailed));
    SetCursor(bar, tick);
    Commit();
    return true;
}

QByteArray CEditController::CopySelection() const
{
    const auto span = Span();
    return span ? CopyEvents(*span) : QByteArray();
}

bool CEditController::Paste(const QByteArray& bytes)
{
    if (!CanEdit())
        return false;
    const auto at = InsertPoint();
    if (!at)
        return false;
    QString error;
    if (!PasteEvents(m_doc, bytes, at, &error)) {
        if (!error.isEmpty())
            UserReport().Warning(error);
        return false;
    }
    Reresolve();
    return true;
}
