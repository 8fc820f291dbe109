#pragma once
// CMidi turns the document's one track into timed MIDI events, bar by bar, with repeat groups,
// alternate endings and measure repeats expanded. The same bar step serves four passes so that
// playback, file export and the bar times shown everywhere agree on what is played and when.
// Ticks: 96 to a quarter note, the same units as note positions.
//
// Files: midi_render.cpp (passes, repeats, notes), midifile_write.cpp (Standard MIDI File),
// midifile.h / midifile_read.cpp (import), velocity.h (velocity tables). The player (stream,
// Play, Stop, PauseResume) builds on this state in its own files.

#include "event.h"
#include "midi_click.h"
#include "rondeldoc.h"

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CMidiStream;

enum ERenderMode : int {
    RENDER_PLAY = 0,   // stream events for one bar into m_streamBuffer
    RENDER_FILE = 1,   // Standard MIDI File track bytes into m_buffer
    RENDER_TIMING = 2, // bar start times only; fills inherited tempo and patch into the bars
    RENDER_COUNT = 3,  // counts what RENDER_FILE would write
};

// One event of a rendered bar as a MIDI stream takes it.
struct SStreamEvent
{
    uint32_t m_delta = 0;  // ticks after the previous event of the stream
    bool m_long = false;   // a system-exclusive message; m_bytes holds all of it
    uint8_t m_length = 0;  // bytes used in m_bytes: 2 or 3 for a short message
    std::array<uint8_t, 8> m_bytes{};

    // The short-message word of a stream event: data2 << 16 | data1 << 8 | status.
    uint32_t ShortWord() const { return uint32_t(m_bytes[2]) << 16 | uint32_t(m_bytes[1]) << 8 | m_bytes[0]; }
};

// The stream buffer: one rendered bar at a time (RENDER_PLAY). The player hands m_events to
// the stream and sets the stream tempo from m_tempo unless the user typed a play tempo.
struct CStreamBuffer
{
    std::vector<SStreamEvent> m_events;
    int m_tempo = 0;                 // the rendered bar's stored tempo (BPM), 0 when none
    const CEvent* m_bar = nullptr;   // the bar that was rendered
    uint32_t m_startTicks = 0;       // its start in ticks in this pass (GetRunTime1())

    void Clear()
    {
        m_events.clear();
        m_tempo = 0;
        m_bar = nullptr;
        m_startTicks = 0;
    }
    // The events in the stream buffer layout: three little-endian words per event (delta,
    // stream id 0, event word); the master volume as a long event with its 8 bytes.
    std::vector<uint8_t> StreamBytes() const
    {
        std::vector<uint8_t> out;
        out.reserve(m_events.size() * 12 + 8);
        const auto word = [&out](uint32_t w) {
            for (int i = 0; i < 4; ++i)
                out.push_back(uint8_t(w >> (8 * i)));
        };
        for (const SStreamEvent& e : m_events) {
            word(e.m_delta);
            word(0);
            if (e.m_long) {
                word(0x80000000u | e.m_length);
                out.insert(out.end(), e.m_bytes.begin(), e.m_bytes.begin() + e.m_length);
                while (out.size() % 4)
                    out.push_back(0);
            } else {
                word(e.ShortWord());
            }
        }
        return out;
    }
    uint32_t TotalTicks() const
    {
        uint32_t t = 0;
        for (const SStreamEvent& e : m_events)
            t += e.m_delta;
        return t;
    }
};

// What playback takes from the document's selection when it starts; nullopt = not set.
// Only RENDER_PLAY passes stop at the range (and at m_playEndMarker) or loop: files and bar
// times always cover the whole song.
struct SPlayRange
{
    int m_type = 0; // 0 none, 1 cursor, 2 range
    std::optional<EventPos> m_startBarPos;
    std::optional<EventPos> m_endEventPos; // range: the last event to play
    std::optional<EventPos> m_endBarPos;   // the measure after it
};

class CMidi : public CDocPart
{
public:
    // Renders doc's track; the channel follows doc.m_trackType (drums on MIDI channel 10).
    explicit CMidi(CRondelDoc& doc);
    ~CMidi() override;
    // The song was reloaded (undo, redo): every list position the player holds is gone, so a
    // running player stops.
    void OnEventsReloaded() override;
    CMidi(const CMidi&) = delete;
    CMidi& operator=(const CMidi&) = delete;

    // ----- passes ---------------------------------------------------------------------------
    void BeginPass(int mode);
    // Renders the measure at node (a BAR or REPEAT_PREV_MEASURES event, or end() to wrap a
    // loop) and adds the bytes written or counted to total. Returns the next measure to render,
    // or end() when rendering stops.
    EventPos RenderBar(EventPos node, int& total);
    // The timing pass: every bar's GetRunTime1()/GetRunTime2() and its inherited tempo and patch.
    // Does nothing unless the player is stopped. A pass that never ends (kMaxPassBars) is
    // reported once per program run.
    void ComputeBarTimes();
    // Events RENDER_FILE would write (5 per bar plus one per short event); while the player
    // is not stopped, the result of the last counting pass (writing a file counts as one).
    int CountMidiEvents();

    // ----- Standard MIDI File ---------------------------------------------------------------
    // Writes the song through a temporary file and a rename. False when the file cannot be
    // written or the song never ends (the file would be cut short after kMaxPassBars bars):
    // *error says why, nothing is written, and the writer shows no message for that.
    bool WriteMidiFile(const QString& path, QString* error = nullptr);
    // The whole file in memory (the same bytes WriteMidiFile writes). *complete is false when
    // the pass stopped at kMaxPassBars bars.
    QByteArray MidiFileBytes(bool* complete = nullptr);
    // Fills m_buffer from offset 0 in one pass, counting the events on the way, and patches
    // the track length. False when the pass stopped at kMaxPassBars bars (the track is then
    // cut short).
    bool WriteTrack();

    // ----- notes ----------------------------------------------------------------------------
    int GetDrumVelocity(const CEvent& note) const;
    // Note-on velocity 0 for every sounding note (2-99 ascending); the first carries delta.
    int ReleaseSoundingNotes(int delta);

    // ----- helpers for the other parts --------------------------------------------------------
    // Milliseconds of a bar of `ticks` at `tempo` BPM, truncated.
    static int BarMsecs(int ticks, int tempo);
    // Ticks of a measure from its time signature: ((num * 32) / den) * 12; 0 for a zero
    // denominator.
    static int BarTicks(const CEvent& bar);
    // 1-based list ordinals of the measures in the order they are played (a counting pass).
    std::vector<int> PlayOrder();

    // The program-wide player state: 0 stopped, 1 playing, 2 paused, -5..-2 finishing.
    static int GetPlayState();
    static void SetPlayState(int state);

    CEventList& Events() { return m_doc.Events(); }
    EventPos None() { return m_doc.Events().end(); }

    // ----- player (midi_play.cpp) -------------------------------------------------------------
    // Starts playback on device position p (0 the embedded synthesizer, 1.. ALSA ports) from
    // startNode, else the play start marker, else the range's first bar, else the head. False,
    // with the state still 0, when the stream cannot be opened or fed.
    bool Play(int devicePosition, const SPlayRange& range, bool loop, bool oneBar, std::optional<EventPos> startNode = std::nullopt);
    // The same on a stream made by the caller (offline rendering).
    bool PlayOn(std::unique_ptr<CMidiStream> stream, const SPlayRange& range, bool loop, bool oneBar, std::optional<EventPos> startNode);
    void Stop();
    void PauseResume();
    void SetVolume(int percent);
    // Sets the stream tempo at once (BPM).
    void SetTempo(int bpm);
    // Ticks since the first bar played started, running on across bars and loops (0 during
    // a count-in); 0 when stopped, -1 when the stream cannot tell.
    int64_t GetPlayPosition();
    // Ticks of the count-in that began the current playback (0 without one).
    int64_t CountInTicks() const { return m_countInTicks; }
    // The view's 50 ms poll: delivers finished buffers (rendering the next bar), counts the
    // finishing states down and closes the stream four polls after the last buffer. Returns
    // the position, or -1 when polling should stop.
    int64_t PollPlayer();
    // While playing or paused: the bar after the one in the stream's look-ahead is `bar` (a
    // measure of this song); the repeat state starts afresh there.
    void ContinueAt(EventPos bar);
    // Renders the look-ahead bar again (after an edit or a tempo change), if it has not begun.
    void RefreshLookAhead();
    static CMidiStream* PlayerStream();
    // The BPM counter's stop request: the player stops at its next buffer and polling pauses.
    static void SetStopRequest(bool on);
    static bool StopRequested();

    // A pass that renders this many bars is taken to loop forever and is stopped.
    static constexpr int kMaxPassBars = 10002;
    static constexpr int kFileLimitTicks = 1536; // longest delta of a written short event
    static constexpr int kStreamBufferBytes = 2000;

    CRondelDoc& m_doc;

    // ----- render state -----------------------------------------------------------------------
    int m_mode = RENDER_TIMING;
    int m_trackType = 10;
    int m_channel = 9;
    uint8_t m_loop = 0;
    uint8_t m_oneBar = 0;

    // RENDER_FILE / RENDER_COUNT: the file bytes. RENDER_PLAY: m_writePos and m_capacity count
    // the bytes the stream form takes (12 per short event, 20 for the master volume).
    std::vector<uint8_t> m_buffer;
    int m_writePos = 0;
    int m_capacity = 0;
    CStreamBuffer m_streamBuffer;

    int m_barNumber = 1; // running bar number, for messages
    int64_t m_msecs = 0; // running time, from the audio sync point
    int64_t m_ticks = 0; // running time in ticks
    EventPos m_startNode; // first bar of playback; loops return here
    EventPos m_nextNode;  // next bar to render

    // Repeat state, zeroed at the start of a pass. Nodes equal to None() are unset.
    EventPos m_prevMeasuresNode;
    int m_prevMeasuresTimes = 0;
    int m_prevMeasuresPass = 0;
    int m_prevMeasuresBars = 0; // bars the active marker walked back
    EventPos m_groupStart;
    int m_groupPass = 0;
    uint8_t m_inAlternate = 0;

    SPlayRange m_playRange;
    std::optional<EventPos> m_playStartMarker; // the view's play start marker, if set
    std::optional<EventPos> m_playEndMarker; // the view's play end marker, if set
    int m_buffersDone = 0; // buffers the stream finished since Play

    int m_tempo = 0; // BPM in force
    int m_patch = 0; // program in force
    int m_eventCount = 0;

private:
    // The measure a REPEAT_PREV_MEASURES marker stands for now, or None() to stop.
    EventPos ExpandRepeatPrevMeasures(EventPos marker);
    // The bar to render for an alternate-ending bar, or None() to stop.
    EventPos NextAlternateEnding(EventPos bar);
    void ApplyTempoAndPatch(const CEvent& bar, bool& explicitTempo);
    // The practice click (midi_click.h): one bar of count-in clicks in the meter of the bar
    // at node, closed by a silent event at its end; returns the bytes written or counted.
    int RenderCountIn(EventPos node);
    // Queues the clicks of the bar starting now, when the click is on.
    void ScheduleBarClicks(const CEvent& bar, int barTicks);
    // Writes every queued click due at or before tick `upTo` of the rendered stream.
    int EmitClicksUpTo(int64_t upTo);
    // A short event at `delta` after the last written one, with fillers for long silences
    // in a file.
    int WriteTimed(int delta, int status, int data1, int data2, int length);
    EventPos NextMeasure(EventPos from);
    // A loop starts over: repeat groups, alternate endings and measure repeats begin afresh.
    void ResetRepeatState();

    int RenderBarNotesStream(EventPos first, int barTicks, int patch);
    int RenderBarNotesFile(EventPos first, int barTicks, int patch);
    int RenderBarNotes(EventPos first, int barTicks, int patch);
    int NoteVelocity(const CEvent& note, int patch) const;
    EventPos FinishRepeatPrevMeasures(EventPos marker);
    void StartRepeatGroup(EventPos bar);
    void FillTiming(CEvent& bar);
    int TempoForTime() const;
    // Runs RenderBar from the head of the list until it stops (at most kMaxPassBars bars);
    // false when the bar limit stopped it.
    bool RunPass(int& total);

    // Emitters. Each returns the bytes appended (or counted).
    int EmitShort(int delta, int status, int data1, int data2);
    int EmitProgram(int delta, int status, int program);
    int EmitTempo(int delta, int bpm);
    int EmitTimeSig(int delta, int numerator, int denominator);
    int EmitText(int delta, int type, const QByteArray& text);
    int EmitMasterVolume();
    // Short events go through here: a delta made negative by notes closer than the flam gap
    // is carried as debt into the next events; longer ones than the file allows get fillers.
    int EmitTimed(int delta, int status, int data1, int data2, int length);
    int WriteShortBytes(int delta, int status, int data1, int data2, int length);
    int AppendBytes(const uint8_t* bytes, int count);
    int AppendVarLen(uint32_t value);
    void GrowStreamBuffer(int bytes);

    bool m_sounding[100] = {};   // note numbers with a note-on not yet released
    // The click merges into the bar's own events by time: m_noteCursor is where the song's
    // last event fell, m_writeCursor where the last written one (song or click) fell, both in
    // ticks of the rendered stream; m_clickBase is the tick the first bar starts at (the
    // count-in's length). Without clicks the two cursors stay equal.
    std::vector<Click::SClickEvent> m_pendingClicks;
    int64_t m_noteCursor = 0;
    int64_t m_writeCursor = 0;
    int64_t m_clickBase = 0;
    int64_t m_countInTicks = 0;  // the count-in of the current playback
    int m_timeDebt = 0;          // ticks emitted ahead of the grid (see EmitTimed)
    EventPos m_jump;             // jump recorded by the repeat logic for after this bar
    bool m_haveJump = false;
    int m_passBars = 0;          // bars rendered in this pass
    std::vector<const CEvent*>* m_pPlayOrder = nullptr;

    // Player (midi_play.cpp).
    struct SRenderSnapshot;
    SRenderSnapshot SaveRenderState() const;
    void RestoreRenderState(const SRenderSnapshot& snapshot);
    std::vector<uint8_t> StreamBytes(int* tempoBpm) const;
    bool QueueRenderedBar();
    bool RenderAhead();
    void OnBufferDone();
    void ClosePlayer();
    std::optional<EventPos> m_continueNode; // ContinueAt's bar, taken by the next look-ahead
    std::shared_ptr<SRenderSnapshot> m_lookAheadBefore; // render state before the look-ahead bar
    std::shared_ptr<SRenderSnapshot> m_lookAheadAfter;  // and after it
    // Closes the stream when the CMidi that plays it goes away (declared last: destroyed first).
    struct CPlayerGuard
    {
        CMidi* m_owner;
        ~CPlayerGuard();
    } m_playerGuard{this};
};

// The document's CMidi, made when missing (documents made before the midi layer registered).
CMidi& MidiOf(CRondelDoc& doc);
