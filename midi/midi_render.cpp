// The bar step shared by all passes: repeat groups, alternate endings, measure repeats, and
// the notes of one bar.

#include "midi.h"

#include "report.h"
#include "velocity.h"

#include <algorithm>
#include <unordered_map>

namespace {
std::atomic<int> g_playState{0};
bool g_infiniteLoopReported = false; // the timing pass says it once per program run

// Marks bars the timing pass has not reached yet; bar 1 of a song legitimately starts at 0 ms.
constexpr uint32_t kNotTimed = 0xFFFFFFFFu;
// Bits 15-24 of a REPEAT_PREV_MEASURES word: its measure and repeat counts.
constexpr uint32_t kRepeatPrevCounts = EventBits::RepeatNHigh | EventBits::RepeatNLowMask | EventBits::RepeatCountMask;
constexpr int kPalmMuteProgram = 28; // Electric guitar (muted)
constexpr int kRestNote = 49;
constexpr int kRestVelocity = 1;
constexpr int kMaxFlamGap = 96;

// Internal-problem lines, as the program has always reported them.
constexpr int kLineMarkerBeforeBar = 1409;
constexpr int kLineStreamGrowth = 1210;
constexpr int kLineBadDelta = 1271;

// Run-time words are 32 bits; the top value marks "not timed".
uint32_t RunTimeWord(int64_t v) { return uint32_t(std::clamp<int64_t>(v, 0, int64_t(kNotTimed) - 1)); }

int ClampVelocity(int v) { return std::clamp(v, 0, 127); }
bool IsGuitarOrBass(int trackType) { return (trackType >= 20 && trackType <= 22) || trackType == 30 || trackType == 31; }
int StoredTempo(const CEvent& bar) { return int((bar.m_word1 & EventBits::TempoMask) >> EventBits::TempoShift); }
int StoredPatch(const CEvent& bar) { return int((bar.m_word1 & EventBits::PatchMask) >> EventBits::PatchShift); }
}

CMidi::CMidi(CRondelDoc& doc) : m_doc(doc)
{
    m_trackType = int(doc.m_trackType);
    m_channel = IsGuitarOrBass(m_trackType) ? 0 : 9;
    m_startNode = m_nextNode = m_prevMeasuresNode = m_groupStart = m_jump = None();
}

CMidi::~CMidi() = default;

int CMidi::GetPlayState() { return g_playState.load(); }
void CMidi::SetPlayState(int state) { g_playState.store(state); }

int CMidi::BarMsecs(int ticks, int tempo)
{
    if (tempo <= 0)
        return 0;
    return int((ticks * 1000 * 60.0) / (tempo * 96));
}

int CMidi::BarTicks(const CEvent& bar)
{
    return int(bar.GetMeasureTicks()) * 12;
}

void CMidi::BeginPass(int mode)
{
    m_mode = mode;
    m_trackType = int(m_doc.m_trackType);
    m_channel = IsGuitarOrBass(m_trackType) ? 0 : 9;
    m_barNumber = 1;
    m_prevMeasuresNode = None();
    m_prevMeasuresTimes = 0;
    m_prevMeasuresPass = 0;
    m_prevMeasuresBars = 0;
    m_groupStart = None();
    m_groupPass = 0;
    m_inAlternate = 0;
    m_msecs = int64_t(m_doc.m_audioSync) * 10;
    m_ticks = 0;
    m_timeDebt = 0;
    m_haveJump = false;
    m_jump = None();
    m_pendingClicks.clear();
    m_noteCursor = m_writeCursor = m_clickBase = 0;
    if (mode == RENDER_PLAY && m_capacity < kStreamBufferBytes)
        m_capacity = kStreamBufferBytes;
}

void CMidi::ResetRepeatState()
{
    m_prevMeasuresNode = None();
    m_prevMeasuresTimes = 0;
    m_prevMeasuresPass = 0;
    m_prevMeasuresBars = 0;
    m_groupStart = None();
    m_groupPass = 0;
    m_inAlternate = 0;
}

EventPos CMidi::NextMeasure(EventPos from)
{
    const EventPos none = None();
    if (from == none)
        return none;
    for (EventPos it = std::next(from); it != none; ++it)
        if (it->IsMeasure())
            return it;
    return none;
}

void CMidi::ApplyTempoAndPatch(const CEvent& bar, bool& explicitTempo)
{
    if (bar.GetTempo() != 0) {
        m_tempo = int(bar.GetTempo());
        explicitTempo = true;
    }
    if (bar.GetPatch() != 0)
        m_patch = int(bar.GetPatch());
}

int CMidi::TempoForTime() const
{
    if (m_tempo > 0)
        return m_tempo;
    return m_doc.m_songTempo > 0 ? int(m_doc.m_songTempo) : 120;
}

void CMidi::StartRepeatGroup(EventPos bar)
{
    m_inAlternate = 0;
    if (m_groupStart != bar) {
        m_groupStart = bar;
        m_groupPass = 1; // the group will be played once more
    }
}

void CMidi::FillTiming(CEvent& bar)
{
    if (bar.GetRunTime2() == kNotTimed)
        bar.SetRunTime2(RunTimeWord(m_msecs));
    if (!(bar.m_word1 & EventBits::TempoPresent))
        bar.m_word1 = (bar.m_word1 & ~EventBits::TempoMask) | ((uint32_t(m_tempo) << EventBits::TempoShift) & EventBits::TempoMask);
    if (!(bar.m_word1 & EventBits::PatchPresent))
        bar.m_word1 = (bar.m_word1 & ~EventBits::PatchMask) | ((uint32_t(m_patch) << EventBits::PatchShift) & EventBits::PatchMask);
}

EventPos CMidi::RenderBar(EventPos node, int& total)
{
    const EventPos none = None();
    m_haveJump = false;
    m_jump = none;
    int bytes = 0;

    switch (m_mode) {
    case RENDER_PLAY:
        m_writePos = 0; // the stream buffer holds one bar at a time
        m_streamBuffer.Clear();
        bytes += EmitMasterVolume();
        break;
    case RENDER_FILE:
        m_eventCount += 5; // counted as the counting pass does
        // The closing bar renders nothing, not even its time signature.
        if (node != none && node->IsTimeSigShown() && std::next(node) != none)
            bytes += EmitTimeSig(0, int(node->GetTimeSigNumerator()), int(node->GetTimeSigDenominator()));
        break;
    case RENDER_COUNT:
        m_eventCount += 5;
        break;
    default:
        break;
    }

    // Loop wrap (playback only: a file or a timing pass always ends).
    if (m_mode == RENDER_PLAY && m_loop && (node == none || (m_playRange.m_type == 2 && m_playRange.m_endBarPos && node == *m_playRange.m_endBarPos))) {
        node = m_startNode;
        ResetRepeatState();
    }
    // Only measures are handed in; anything else starts at the measure that follows it.
    if (node != none && !node->IsMeasure())
        node = NextMeasure(node);
    if (node == none) {
        total += bytes;
        return none;
    }

    EventPos bar = node;
    if (bar->IsRepeatPrev()) {
        // The marker's measure starts when its first repeat does.
        if (m_mode == RENDER_TIMING && bar->GetRunTime2() == kNotTimed)
            bar->SetRunTime2(RunTimeWord(m_msecs));
        bar = ExpandRepeatPrevMeasures(bar);
        if (bar == none) {
            total += bytes;
            return none;
        }
        ++m_barNumber;
    }
    bool explicitTempo = false;
    ApplyTempoAndPatch(*bar, explicitTempo);

    // The closing bar: nothing to play, no time added.
    if (std::next(bar) == none) {
        if (m_mode == RENDER_TIMING)
            FillTiming(*bar);
        total += bytes;
        return none;
    }

    CEvent& b = *bar;
    if (b.IsBar()) {
        if (b.IsRepeatGroupStart()) {
            StartRepeatGroup(bar);
        } else if (!b.IsRepeatGroupEnd() && b.GetRepeatGroupAltEnd() != 0) {
            m_inAlternate = 1;
            const EventPos chosen = NextAlternateEnding(bar);
            if (chosen == none) {
                total += bytes;
                return none;
            }
            if (chosen != bar) {
                bar = chosen;
                // A bar reached this way is what it is: a group start starts its group, and
                // the closing bar ends the song.
                if (bar->IsRepeatGroupStart())
                    StartRepeatGroup(bar);
                ApplyTempoAndPatch(*bar, explicitTempo);
                if (std::next(bar) == none) {
                    if (m_mode == RENDER_TIMING)
                        FillTiming(*bar);
                    total += bytes;
                    return none;
                }
            }
        } else if (b.IsRepeatGroupEnd() && m_inAlternate) {
            UserReport().Warning(QStringLiteral("The repeat group end at bar %1 will cause an infinite loop. It has been removed automatically")
                                     .arg(m_barNumber));
            b.m_word2 &= ~EventBits::RepeatGroupEnd;
            m_inAlternate = 0;
        } else if (b.IsRepeatGroupEnd()) {
            if (m_groupPass >= 1) {
                --m_groupPass;
                if (m_groupStart != none) {
                    m_jump = m_groupStart;
                    m_haveJump = true;
                }
            } else {
                m_groupStart = none;
            }
        }
    }

    CEvent& chosen = *bar;
    const int barTicks = BarTicks(chosen);
    chosen.SetRunTime1(RunTimeWord(m_ticks));
    if (m_pPlayOrder)
        m_pPlayOrder->push_back(&chosen);
    if (m_mode != RENDER_TIMING)
        ScheduleBarClicks(chosen, barTicks);

    switch (m_mode) {
    case RENDER_PLAY:
        m_streamBuffer.m_tempo = StoredTempo(chosen);
        m_streamBuffer.m_bar = &chosen;
        m_streamBuffer.m_startTicks = RunTimeWord(m_ticks);
        bytes += RenderBarNotesStream(std::next(bar), barTicks, StoredPatch(chosen));
        break;
    case RENDER_FILE:
        if (explicitTempo)
            bytes += EmitTempo(0, m_tempo);
        bytes += RenderBarNotesFile(std::next(bar), barTicks, StoredPatch(chosen));
        break;
    case RENDER_TIMING:
        FillTiming(chosen);
        break;
    case RENDER_COUNT:
        bytes += RenderBarNotesFile(std::next(bar), barTicks, 0);
        break;
    default:
        break;
    }
    // Clicks the bar's own events did not reach (a bar that ends early, or nothing at all).
    if (!m_pendingClicks.empty())
        bytes += EmitClicksUpTo(m_clickBase + m_ticks + barTicks);

    m_ticks += barTicks;
    m_msecs += BarMsecs(barTicks, TempoForTime());
    total += bytes;

    const EventPos next = NextMeasure(bar);
    if (next == none)
        return none;
    // Playback renders one bar ahead: the bar after it may be the one sounding now (a loop of
    // two bars), whose start must stay as it is until it is rendered again.
    if (m_mode != RENDER_PLAY)
        next->SetRunTime1(RunTimeWord(m_ticks));
    ++m_barNumber;

    // Playback stops at the end marker or the end of a range; files hold the whole song.
    if (m_mode == RENDER_PLAY) {
        if (m_playEndMarker && *m_playEndMarker == next)
            return none;
        if (m_playRange.m_type == 2 && m_playRange.m_endEventPos && m_playRange.m_endBarPos
            && next == *m_playRange.m_endBarPos)
            return none;
    }
    return m_haveJump ? m_jump : next;
}

EventPos CMidi::NextAlternateEnding(EventPos bar)
{
    const EventPos none = None();
    EventPos current = bar;
    for (;;) {
        const int ending = int(current->GetRepeatGroupAltEnd());
        if (ending == m_groupPass) {
            const EventPos next = NextMeasure(current);
            if (next == none)
                return none;
            const CEvent& n = *next;
            if (n.IsBar() && !n.IsRepeatGroupStart() && int(n.GetRepeatGroupAltEnd()) > ending) {
                ++m_groupPass;
                if (m_groupStart != none) {
                    m_jump = m_groupStart;
                    m_haveJump = true;
                }
            }
            return current;
        }
        if (ending > m_groupPass) {
            m_groupPass = ending;
            // Endings without a group start have nothing to go back to: they play in turn.
            return m_groupStart != none ? m_groupStart : current;
        }
        // An ending of an earlier pass (or a bar inside a multi-bar ending): skip it.
        EventPos skip = std::next(current);
        while (skip != none && !skip->IsBar())
            ++skip;
        if (skip == none) {
            m_groupPass = 0;
            return current == bar ? none : current;
        }
        if (skip->IsRepeatGroupStart()) {
            m_groupPass = 0;
            return skip;
        }
        current = skip;
    }
}

EventPos CMidi::ExpandRepeatPrevMeasures(EventPos marker)
{
    const EventPos none = None();
    CEvent& m = *marker;
    const int n = int(m.GetRepeatPrevNMeasures());
    const int times = int(m.GetRepeatPrevCount());

    if (m_prevMeasuresTimes == 0) {
        // A marker that repeats nothing (counts of 0, or nothing before it) is passed over.
        if (n == 0 || times == 0)
            return FinishRepeatPrevMeasures(marker);
        int counted = 0;
        bool shortened = false;
        EventPos found = none;
        EventPos p = marker;
        while (p != Events().begin() && counted < n) {
            --p;
            if (p->IsBar()) {
                ++counted;
                found = p;
            } else if (p->IsRepeatPrev()) {
                if (counted == 0) {
                    UserReport().InternalProblem(ReportSource::Midi, kLineMarkerBeforeBar);
                    return none;
                }
                if (!shortened) {
                    shortened = true;
                    UserReport().Warning(QStringLiteral("Cannot  repeat a measure inside another repeat measure. Repeat measure at bar %1 has been automatically shortened")
                                             .arg(m_barNumber));
                    m.m_word2 &= ~(EventBits::RepeatNHigh | EventBits::RepeatNLowMask);
                    m.m_word2 |= (uint32_t(counted & 7) << EventBits::RepeatNShift);
                    if (counted > 7)
                        m.m_word2 |= EventBits::RepeatNHigh;
                }
            }
        }
        if (found == none)
            return FinishRepeatPrevMeasures(marker);
        m_prevMeasuresNode = found;
        m_prevMeasuresTimes = times;
        m_prevMeasuresPass = 0;
        m_prevMeasuresBars = counted;
        m_barNumber -= counted + 1;
        return m_prevMeasuresNode;
    }

    ++m_prevMeasuresPass;
    if (m_prevMeasuresPass != m_prevMeasuresTimes) {
        m_barNumber -= m_prevMeasuresBars + 1;
        return m_prevMeasuresNode;
    }
    m_prevMeasuresTimes = 0;
    return FinishRepeatPrevMeasures(marker);
}

EventPos CMidi::FinishRepeatPrevMeasures(EventPos marker)
{
    const EventPos next = NextMeasure(marker);
    if (next == None())
        return next;
    CEvent& e = *next;
    if (e.IsRepeatPrev()) {
        UserReport().Warning(QStringLiteral("Cannot  repeat a measure inside another repeat measure. Repeat measure at bar %1 has been automatically removed")
                                 .arg(m_barNumber + 1));
        // Becomes a plain 4/4 bar; its counts would read as repeat and ending marks.
        e.m_word1 = (e.m_word1 & ~EventBits::TypeMask) | EventType::Bar;
        e.m_word2 = (e.m_word2 & ~(EventBits::TimeSigMask | kRepeatPrevCounts)) | TimeSigWord(4, 4);
    }
    return next;
}

// ----- notes ------------------------------------------------------------------------------

int CMidi::GetDrumVelocity(const CEvent& note) const
{
    const auto& group = DrumVolumes().m_velocity[size_t(DrumGroupOf(int(note.GetEventType())))];
    if (note.IsAccent())
        return ClampVelocity(group[DrumVelocity::Accent]);
    if (note.IsGhost())
        return ClampVelocity(group[DrumVelocity::Ghost]);
    return ClampVelocity(group[DrumVelocity::Normal]);
}

int CMidi::NoteVelocity(const CEvent& note, int patch) const
{
    if (m_trackType == int(TrackType::Drums))
        return GetDrumVelocity(note);
    const int index = patch - SGuitarVolumes::kFirstProgram;
    const auto& record = (index >= 0 && index < SGuitarVolumes::kRecordCount) ? GuitarVolumes().m_record[size_t(index)]
                                                                               : kFallbackGuitarVelocities;
    if (note.IsAccent())
        return ClampVelocity(record[GuitarVelocity::Accent]);
    if (note.IsGhost())
        return ClampVelocity(record[GuitarVelocity::Ghost]);
    return ClampVelocity(record[GuitarVelocity::Normal]);
}

int CMidi::RenderBarNotesStream(EventPos first, int barTicks, int patch)
{
    return RenderBarNotes(first, barTicks, patch);
}

int CMidi::RenderBarNotesFile(EventPos first, int barTicks, int patch)
{
    return RenderBarNotes(first, barTicks, patch);
}

int CMidi::RenderBarNotes(EventPos first, int barTicks, int patch)
{
    const EventPos none = None();
    const int gap = std::clamp(DrumVolumes().m_flamGap, 0, kMaxFlamGap);
    const int preVolume = DrumVolumes().m_flamPreVolume;
    const bool drums = m_trackType == int(TrackType::Drums);
    const int noteOn = 0x90 | m_channel;
    const int programChange = 0xC0 | m_channel;
    const bool stopAtRangeEnd = m_mode == RENDER_PLAY && m_playRange.m_type == 2 && m_playRange.m_endEventPos;

    int bytes = 0;
    bool isFirst = true;
    bool rendered = false;
    int lastPos = 0;
    int program = 0;
    for (EventPos it = first; it != none && !it->IsMeasure(); ++it) {
        const CEvent& ev = *it;
        const int pos = int(ev.GetPosition());
        if ((ev.IsNote() || ev.IsRest()) && pos <= barTicks) {
            const bool rest = ev.IsRest();
            const int note = rest ? kRestNote : int(ev.GetEventType());
            const int velocity = rest ? kRestVelocity : NoteVelocity(ev, patch);
            const bool flamOrPM = !rest && ev.IsFlamOrPM();
            const int grace = ClampVelocity(velocity * preVolume / 100);
            if (isFirst || pos - lastPos >= 1) {
                // Time to this event: from the bar start, or releases of the sounding chord.
                int lead = gap + pos;
                if (!isFirst) {
                    bytes += ReleaseSoundingNotes(pos - lastPos - gap);
                    lead = gap;
                }
                if (rest) {
                    bytes += EmitShort(lead, noteOn, 0, 0);
                } else if (!flamOrPM) {
                    if (!drums && (isFirst || program != patch)) {
                        bytes += EmitProgram(0, programChange, patch);
                        program = patch;
                    }
                    bytes += EmitShort(lead, noteOn, note, velocity);
                } else if (!drums) { // palm mute
                    if (isFirst || program != kPalmMuteProgram) {
                        bytes += EmitProgram(0, programChange, kPalmMuteProgram);
                        program = kPalmMuteProgram;
                    }
                    bytes += EmitShort(lead, noteOn, note, velocity);
                } else { // flam: the grace note on the grid, the main note a gap later
                    bytes += EmitShort(lead - gap, noteOn, note, grace);
                    bytes += EmitShort(gap, noteOn, note, velocity);
                }
                isFirst = false;
            } else {
                bytes += EmitShort(0, noteOn, note, velocity); // same tick: part of the chord
            }
            m_sounding[note] = true;
            lastPos = pos;
            rendered = true;
        }
        if (stopAtRangeEnd && it == *m_playRange.m_endEventPos)
            break;
    }
    if (!rendered)
        bytes += EmitShort(barTicks, noteOn, 0, 0);
    else
        bytes += ReleaseSoundingNotes(barTicks - lastPos - gap);
    return bytes;
}

int CMidi::ReleaseSoundingNotes(int delta)
{
    int bytes = 0;
    bool first = true;
    for (int note = 2; note < 100; ++note) {
        if (!m_sounding[note])
            continue;
        bytes += EmitShort(first ? delta : 0, 0x90 | m_channel, note, 0);
        first = false;
        m_sounding[note] = false;
    }
    if (first)
        m_timeDebt -= delta; // nothing sounded: the next event carries the time
    return bytes;
}

// ----- passes -----------------------------------------------------------------------------

bool CMidi::RunPass(int& total)
{
    EventPos node = Events().begin();
    if ((m_mode == RENDER_FILE || m_mode == RENDER_COUNT) && ClickOptions().m_countIn && node != None())
        total += RenderCountIn(node);
    int bars = 0;
    while (node != None()) {
        if (++bars >= kMaxPassBars)
            return false;
        node = RenderBar(node, total);
    }
    return true;
}

void CMidi::ComputeBarTimes()
{
    if (GetPlayState() != 0)
        return;
    CEventList& events = Events();
    BeginPass(RENDER_TIMING);
    if (events.empty())
        return;
    m_tempo = int(events.front().GetTempo());
    m_patch = int(events.front().GetPatch());
    for (auto& ev : events)
        if (ev.IsMeasure())
            ev.SetRunTime2(kNotTimed);

    int total = 0;
    const bool finished = RunPass(total);

    int measuresBefore = 0;
    bool foundUnreached = false;
    for (auto& ev : events) {
        if (!ev.IsMeasure())
            continue;
        if (ev.GetRunTime2() == kNotTimed) {
            foundUnreached = true;
            ev.SetRunTime2(0);
        }
        if (!foundUnreached)
            ++measuresBefore;
    }
    if (!finished && !g_infiniteLoopReported) {
        g_infiniteLoopReported = true;
        UserReport().Error(QStringLiteral("There is an infinite loop around bar %1. Please correct it to continue").arg(measuresBefore));
    }
}

int CMidi::CountMidiEvents()
{
    if (GetPlayState() != 0)
        return m_eventCount;
    m_eventCount = 0;
    BeginPass(RENDER_COUNT);
    int total = 0;
    RunPass(total);
    return m_eventCount;
}

std::vector<int> CMidi::PlayOrder()
{
    std::vector<const CEvent*> played;
    const int savedCount = m_eventCount;
    m_pPlayOrder = &played;
    BeginPass(RENDER_COUNT);
    int total = 0;
    RunPass(total);
    m_pPlayOrder = nullptr;
    m_eventCount = savedCount;

    std::unordered_map<const CEvent*, int> ordinal;
    int n = 0;
    for (const auto& ev : Events())
        if (ev.IsMeasure())
            ordinal[&ev] = ++n;
    std::vector<int> order;
    order.reserve(played.size());
    for (const CEvent* e : played)
        order.push_back(ordinal[e]);
    return order;
}

// ----- practice click -----------------------------------------------------------------------

void CMidi::ScheduleBarClicks(const CEvent& bar, int barTicks)
{
    if (!ClickOptions().m_click)
        return;
    const std::vector<Click::SClickEvent> clicks = Click::BarClicks(m_clickBase + m_ticks, int(bar.GetTimeSigNumerator()),
                                                                    int(bar.GetTimeSigDenominator()), barTicks);
    m_pendingClicks.insert(m_pendingClicks.end(), clicks.begin(), clicks.end());
}

int CMidi::EmitClicksUpTo(int64_t upTo)
{
    int bytes = 0;
    size_t done = 0;
    for (; done < m_pendingClicks.size() && m_pendingClicks[done].m_tick <= upTo; ++done) {
        const Click::SClickEvent& c = m_pendingClicks[done];
        const int64_t delta = std::max<int64_t>(0, c.m_tick - m_writeCursor);
        m_writeCursor = std::max(m_writeCursor, c.m_tick);
        bytes += WriteTimed(int(delta), 0x90 | Click::kChannel, c.m_note, c.m_velocity, 3);
    }
    m_pendingClicks.erase(m_pendingClicks.begin(), m_pendingClicks.begin() + std::ptrdiff_t(done));
    return bytes;
}

int CMidi::RenderCountIn(EventPos node)
{
    if (node != None() && !node->IsMeasure())
        node = NextMeasure(node);
    // In the meter of the first bar played (a measure repeat at the head repeats nothing: 4/4).
    int numerator = 4, denominator = 4, ticks = 384;
    if (node != None() && node->IsBar() && BarTicks(*node) > 0) {
        numerator = int(node->GetTimeSigNumerator());
        denominator = int(node->GetTimeSigDenominator());
        ticks = BarTicks(*node);
    }
    int bytes = 0;
    switch (m_mode) {
    case RENDER_PLAY:
        m_writePos = 0;
        m_streamBuffer.Clear();
        bytes += EmitMasterVolume();
        m_streamBuffer.m_tempo = node != None() ? StoredTempo(*node) : 0;
        break;
    case RENDER_FILE:
        m_eventCount += 5;
        bytes += EmitTimeSig(0, numerator, denominator);
        break;
    case RENDER_COUNT:
        m_eventCount += 5;
        break;
    default:
        return 0;
    }
    const int64_t start = m_writeCursor;
    for (const Click::SClickEvent& c : Click::BarClicks(start, numerator, denominator, ticks))
        m_pendingClicks.push_back(c);
    bytes += EmitClicksUpTo(start + ticks);
    // The song starts where the bar ends: a silent event holds the place.
    bytes += WriteTimed(int(start + ticks - m_writeCursor), 0x90 | Click::kChannel, 0, 0, 3);
    m_noteCursor = m_writeCursor = start + ticks;
    m_clickBase = start + ticks - m_ticks;
    return bytes;
}

// ----- emitters ---------------------------------------------------------------------------

int CMidi::EmitShort(int delta, int status, int data1, int data2)
{
    return EmitTimed(delta, status, data1, data2, 3);
}

int CMidi::EmitProgram(int delta, int status, int program)
{
    return EmitTimed(delta, status, program, 0, 2);
}

int CMidi::EmitTimed(int delta, int status, int data1, int data2, int length)
{
    // Notes closer together than the flam gap (or a note on the bar line) would need a
    // negative delta: such an event goes at delta 0 and the following events give the ticks
    // back, so every later event still sounds at its own time and bars keep their length.
    delta -= m_timeDebt;
    m_timeDebt = 0;
    if (delta < 0) {
        m_timeDebt = -delta;
        delta = 0;
    }
    // Clicks due before this event go first; the event keeps its own time.
    const int64_t at = m_noteCursor + delta;
    int bytes = 0;
    if (!m_pendingClicks.empty())
        bytes += EmitClicksUpTo(at);
    m_noteCursor = at;
    const int64_t written = std::max<int64_t>(0, at - m_writeCursor);
    m_writeCursor = std::max(m_writeCursor, at);
    return bytes + WriteTimed(int(written), status, data1, data2, length);
}

int CMidi::WriteTimed(int delta, int status, int data1, int data2, int length)
{
    int bytes = 0;
    if (m_mode == RENDER_FILE || m_mode == RENDER_COUNT) {
        // Written deltas stay below the file limit: a longer silence (a long empty bar) is
        // carried by note 0 at velocity 0, the same silent event that fills an empty bar.
        while (delta >= kFileLimitTicks) {
            bytes += WriteShortBytes(kFileLimitTicks - 1, 0x90 | m_channel, 0, 0, 3);
            delta -= kFileLimitTicks - 1;
        }
    }
    return bytes + WriteShortBytes(delta, status, data1, data2, length);
}

int CMidi::WriteShortBytes(int delta, int status, int data1, int data2, int length)
{
    switch (m_mode) {
    case RENDER_COUNT:
        ++m_eventCount;
        return 0;
    case RENDER_PLAY: {
        GrowStreamBuffer(12);
        SStreamEvent e;
        e.m_delta = uint32_t(std::max(delta, 0));
        e.m_length = uint8_t(length);
        e.m_bytes[0] = uint8_t(status);
        e.m_bytes[1] = uint8_t(data1 & 0x7F);
        e.m_bytes[2] = length > 2 ? uint8_t(data2 & 0x7F) : 0;
        m_streamBuffer.m_events.push_back(e);
        m_writePos += 12;
        return 12;
    }
    case RENDER_FILE: {
        ++m_eventCount;
        if (delta < 0 || delta >= kFileLimitTicks) {
            UserReport().InternalProblem(ReportSource::Midi, kLineBadDelta);
            return 0;
        }
        int bytes = AppendVarLen(uint32_t(delta));
        const uint8_t msg[3] = {uint8_t(status), uint8_t(data1 & 0x7F), uint8_t(data2 & 0x7F)};
        return bytes + AppendBytes(msg, length);
    }
    default:
        return 0;
    }
}

int CMidi::EmitMasterVolume()
{
    GrowStreamBuffer(20);
    SStreamEvent e;
    e.m_long = true;
    e.m_length = 8;
    e.m_bytes = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x7F, 0x7F, 0xF7};
    m_streamBuffer.m_events.push_back(e);
    m_writePos += 20;
    return 20;
}

void CMidi::GrowStreamBuffer(int bytes)
{
    while (m_writePos + bytes >= m_capacity) {
        UserReport().InternalProblem(ReportSource::Midi, kLineStreamGrowth);
        m_capacity += 1024;
    }
}

int CMidi::AppendBytes(const uint8_t* bytes, int count)
{
    // The file buffer doubles when full; the writer checks its size against the event count
    // once the track is done.
    if (m_writePos + count >= m_capacity) {
        m_capacity = std::max(m_capacity * 2, m_writePos + count + 1024);
        m_buffer.resize(size_t(m_capacity));
    }
    std::copy(bytes, bytes + count, m_buffer.begin() + m_writePos);
    m_writePos += count;
    return count;
}

int CMidi::AppendVarLen(uint32_t value)
{
    value &= 0x0FFFFFFF; // four bytes at most
    uint8_t groups[4];
    int n = 0;
    do {
        groups[n++] = uint8_t(value & 0x7F);
        value >>= 7;
    } while (value && n < 4);
    uint8_t out[4];
    for (int i = 0; i < n; ++i)
        out[i] = uint8_t(groups[n - 1 - i] | (i < n - 1 ? 0x80 : 0));
    return AppendBytes(out, n);
}

CMidi& MidiOf(CRondelDoc& doc)
{
    if (auto* midi = dynamic_cast<CMidi*>(doc.m_pMidi.get()))
        return *midi;
    doc.m_pMidi = std::make_unique<CMidi>(doc);
    return static_cast<CMidi&>(*doc.m_pMidi);
}
