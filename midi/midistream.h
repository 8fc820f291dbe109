#pragma once
// The MIDI stream: buffers of timed events in ticks (96 to a quarter note by default), a tempo
// in microseconds per quarter note, pause / restart / stop, a position in ticks that runs on
// across buffers, and a done notification per buffer.
//
// Buffers use the stream event layout: per short event three 32-bit words (delta ticks,
// stream id, event word = data2 << 16 | data1 << 8 | status); a long event (top bit of the
// event word set, low 24 bits = byte count) is followed by its bytes padded to whole words;
// event type 1 (bits 24-30) is a tempo change in microseconds per quarter (low 24 bits);
// type 2 is a no-op.
//
// Threads: Out, Restart, Pause, Stop, SetTempo, SetVolume, Position and DispatchDone are called
// from the user interface thread. The back end consumes the events on its own clock (an audio
// callback, a timer thread, or a manual Advance call) without locks or allocation, and
// publishes finished buffers through a lock-free queue that DispatchDone drains.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// Event word helpers for the stream buffer layout.
namespace StreamEvent {
inline constexpr uint32_t LongFlag = 0x80000000u;
inline constexpr uint32_t TypeShift = 24;
inline constexpr uint32_t TypeShort = 0;
inline constexpr uint32_t TypeTempo = 1;
inline constexpr uint32_t TypeNop = 2;
constexpr uint32_t ShortWord(uint32_t status, uint32_t data1, uint32_t data2)
{
    return (data2 & 0xFF) << 16 | (data1 & 0xFF) << 8 | (status & 0xFF);
}
constexpr uint32_t TempoWord(uint32_t usPerQuarter)
{
    return TypeTempo << TypeShift | (usPerQuarter & 0xFFFFFF);
}
}

// One buffer handed to the stream. The stream copies the events when it is queued, so the
// caller may reuse its bytes at once; m_user comes back with the done notification.
struct SMidiHeader
{
    const uint8_t* m_pData = nullptr;
    uint32_t m_bufferLength = 0;
    uint32_t m_bytesRecorded = 0;
    uintptr_t m_user = 0;
    uint32_t m_flags = 0;
};

// A message due at a frame of the consumer's clock (a sample of the audio callback, a
// microsecond of a timer thread, a step of a manual clock).
struct STimedMessage
{
    uint32_t m_frame = 0; // offset inside the current Advance call
    int64_t m_tick = 0;   // absolute stream tick the message was due at
    uint8_t m_size = 0;
    uint8_t m_bytes[31] = {};
};

// The lock-free heart shared by every back end: a queue of copied buffers, the tempo, the
// pause and stop requests, the position. One producer (the user interface thread) and one
// consumer (whoever calls Advance).
class CStreamCore
{
public:
    explicit CStreamCore(double framesPerSecond);
    ~CStreamCore();
    CStreamCore(const CStreamCore&) = delete;
    CStreamCore& operator=(const CStreamCore&) = delete;

    // --- producer side
    void SetTimeDivision(uint32_t ticksPerQuarter) { m_timeDivision.store(ticksPerQuarter); }
    uint32_t GetTimeDivision() const { return m_timeDivision.load(); }
    // Takes effect at once, also inside the block being rendered next.
    void SetTempo(uint32_t usPerQuarter) { m_tempo.store(usPerQuarter ? usPerQuarter : 500000); }
    uint32_t GetTempo() const { return m_tempo.load(); }
    // Copies the events; false when the bytes are malformed or the queue is full.
    bool Out(const SMidiHeader& header);
    // Replaces the newest queued buffer if the consumer has not begun it yet; its done
    // notification is dropped. False when it already began (nothing changes then).
    bool ReplaceLast(const SMidiHeader& header);
    // Buffers queued and not yet reported done.
    int Pending() const;
    void Restart() { m_paused.store(false); }
    void Pause() { m_paused.store(true); }
    bool IsPaused() const { return m_paused.load(); }
    // Asks the consumer to drop every buffer (each is still reported done), silence all notes
    // and go back to position 0, paused. Takes effect at the consumer's next Advance; call
    // ConsumerStop directly when no consumer runs.
    void RequestStop() { m_stopRequest.store(true); }
    bool StopPending() const { return m_stopRequest.load(); }
    // Ticks played since the stream started, across buffers.
    int64_t PositionTicks() const { return m_positionTicks.load(); }
    // Calls done(user) for every buffer the consumer finished, in order. Returns the count.
    int DispatchDone(const std::function<void(uintptr_t user)>& done);

    // --- consumer side (never locks, never allocates)
    // Advances the clock by up to `frames`, writing the messages that fall due (with their
    // frame offsets) to out. Returns the frames consumed: less than asked only when out
    // filled up, in which case the caller calls again for the rest.
    uint32_t Advance(uint32_t frames, STimedMessage* out, int maxOut, int* outCount);
    // Frames until the next event is due: 0 when a queued buffer waits for Advance to take it,
    // a large number when none is queued or the stream is paused.
    double FramesUntilNextEvent() const;
    double FramesPerSecond() const { return m_framesPerSecond; }
    // Drops every buffer as done, silences (all notes off written to out if given), resets.
    int ConsumerStop(STimedMessage* out, int maxOut);

private:
    struct SEvent
    {
        uint32_t m_tick; // from the start of its buffer
        uint8_t m_kind;  // 0 message, 1 tempo, 2 nothing
        uint8_t m_size;
        uint8_t m_bytes[30];
        uint32_t m_tempo;
    };
    struct SSlot
    {
        std::vector<SEvent> m_events;
        uint32_t m_lengthTicks = 0;
        uintptr_t m_user = 0;
    };
    static constexpr int kSlots = 8;
    static constexpr int kFifo = 16; // power of two, > kSlots

    bool Parse(const SMidiHeader& header, SSlot& slot) const;
    int TakeFreeSlot();
    bool StartNextSlot();
    void FinishSlot();

    const double m_framesPerSecond;
    std::atomic<uint32_t> m_timeDivision{96};
    std::atomic<uint32_t> m_tempo{500000};
    std::atomic<bool> m_paused{true};
    std::atomic<bool> m_stopRequest{false};
    std::atomic<int64_t> m_positionTicks{0};

    SSlot m_slots[kSlots];
    std::atomic<bool> m_slotBusy[kSlots] = {}; // owned by the producer until DispatchDone frees it
    // producer -> consumer: queued slot indices; an entry becomes -1 when the consumer takes it
    std::atomic<int> m_queue[kFifo];
    std::atomic<uint32_t> m_queueHead{0}; // consumer
    std::atomic<uint32_t> m_queueTail{0}; // producer
    // consumer -> producer: finished slot indices (negative: replaced, no notification)
    std::atomic<int> m_done[kFifo];
    std::atomic<uint32_t> m_doneHead{0}; // producer
    std::atomic<uint32_t> m_doneTail{0}; // consumer
    std::atomic<int> m_pendingCount{0};

    // consumer state
    int m_current = -1;
    size_t m_nextEvent = 0;
    double m_bufferStartTick = 0; // absolute tick where the current buffer began
    double m_tickPos = 0;         // absolute ticks, fractional
};

// The stream object every player talks to. Back ends: the embedded synthesizer, ALSA ports,
// the manual clock.
class CMidiStream
{
public:
    virtual ~CMidiStream() = default;

    virtual bool SetTimeDivision(uint32_t ticksPerQuarter);
    virtual bool SetTempo(uint32_t usPerQuarter);
    virtual uint32_t GetTempo() const;
    virtual bool Out(const SMidiHeader& header);
    virtual bool ReplaceLast(const SMidiHeader& header);
    virtual bool Restart();
    virtual bool Pause();
    // Silences every note, returns every queued buffer as done, position back to 0, paused.
    virtual bool Stop();
    // Ticks since the stream started; false when the stream cannot tell (closed device).
    virtual bool Position(int64_t* ticks) const;
    // Output volume, left in the low and right in the high 16 bits (0xFFFF is full).
    virtual void SetVolume(uint32_t leftRight) { (void)leftRight; }
    // Loads what the listed programs need before they are played (the consumer must not
    // load anything while it runs).
    virtual void PreparePrograms(const std::vector<int>& programs) { (void)programs; }
    // A text for the user when the stream plays without sound (no audio device); empty
    // otherwise.
    virtual const char* SilentReason() const { return ""; }

    // Delivers the done notifications of finished buffers through the handler (on the
    // calling thread). Returns how many were delivered.
    int DispatchDone();
    void SetDoneHandler(std::function<void(uintptr_t user)> handler) { m_doneHandler = std::move(handler); }
    int Pending() const { return m_core->Pending(); }

    CStreamCore& Core() { return *m_core; }

protected:
    explicit CMidiStream(double framesPerSecond);

    std::unique_ptr<CStreamCore> m_core;
    std::function<void(uintptr_t)> m_doneHandler;
};

// How a player gets its stream: upper layers install an opener for device positions (0 is
// the embedded synthesizer, 1.. ALSA ports). Without one, Open returns nothing.
namespace MidiStreams {
using Opener = std::function<std::unique_ptr<CMidiStream>(int devicePosition)>;
void SetOpener(Opener opener);
std::unique_ptr<CMidiStream> Open(int devicePosition);
}

// What the player tells the transport (the main frame's play controls) and asks it. The
// desktop program installs its own; kadenzo-cli installs one for `play`.
class CPlayerHost
{
public:
    virtual ~CPlayerHost() = default;
    // The current-play-tempo box (BPM); 0 lets every bar's own tempo apply.
    virtual int CurrentPlayTempo() const { return 0; }
    // The default-tempo box shows the tempo of the bar being played.
    virtual void ShowDefaultTempo(int bpm) { (void)bpm; }
    // The MIDI-to-wave fader, 0 (all MIDI) to 100 (all recording).
    virtual int FaderPos() const { return 0; }
    // Transport images: 0 idle, 1 playing, 2 paused; loop says which button plays.
    virtual void ShowPlayState(int state, bool loop) { (void)state, (void)loop; }
    // The audio overlay: 1 start at msecs, 2 stop, 3 pause, 4 resume.
    virtual void NotifyOverlay(int code, int msecs) { (void)code, (void)msecs; }
    virtual void RedrawViews() {}
    // Said once per run when playback has no sound (no audio device).
    virtual void ShowSilentNotice(const char* text) { (void)text; }
};

namespace PlayerHost {
// Installs the host (not owned); nullptr restores the silent default.
void Set(CPlayerHost* host);
CPlayerHost& Get();
}
