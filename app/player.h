#pragma once
// What the transport needs from a document's player: start once, looped or one bar, pause,
// resume, stop, tempo, and the play position in ticks (96 to a quarter) that the 50 ms poll
// reads. The document's MIDI player is adapted to this; CClockPlayer stands in where no MIDI
// player is attached, walking the bars on the play clock without sound.

#include <cstdint>
#include <vector>

class CRondelDoc;

namespace PlayerState {
inline constexpr int Stopped = 0;
inline constexpr int Playing = 1;
inline constexpr int Paused = 2;
}

class CPlayer
{
public:
    virtual ~CPlayer() = default;
    virtual int State() const = 0;
    // startBar: 0-based measure to start from. False when nothing could start.
    virtual bool Play(bool loop, bool oneBar, int startBar) = 0;
    virtual void Stop() = 0;
    virtual void PauseResume() = 0;
    // 0 = the song's own tempi.
    virtual void SetTempo(int bpm) = 0;
    // Ticks since the song's start (the bars' m_runTime1 axis); negative when playback ended.
    virtual int GetPlayPosition() = 0;
    // MIDI volume in percent (the Midi <-> Wave fader).
    virtual void SetVolume(int percent) { (void)percent; }
    // True when the player itself tells the transport of its state and starts, pauses and
    // stops the audio overlay (through the player host); otherwise the main window does.
    virtual bool TellsTransport() const { return false; }
};

// Linear playback (repeats are not expanded) on PlayClock. Play fills every measure's
// m_runTime1 (position units) and m_runTime2 (ms from the audio sync point).
class CClockPlayer : public CPlayer
{
public:
    explicit CClockPlayer(CRondelDoc& doc) : m_doc(doc) {}
    int State() const override { return m_state; }
    bool Play(bool loop, bool oneBar, int startBar) override;
    void Stop() override;
    void PauseResume() override;
    void SetTempo(int bpm) override;
    int GetPlayPosition() override;

    // Fills the measures' start ticks and times; returns each measure's start in ms (the
    // closing bar last). Also used to locate times when no timing pass is registered.
    static std::vector<int> FillBarTimes(CRondelDoc& doc);

private:
    // Song milliseconds played since the start bar, at the chosen tempo.
    double PlayedMsecs() const;

    CRondelDoc& m_doc;
    int m_state = PlayerState::Stopped;
    bool m_loop = false;
    int64_t m_startClock = 0;
    int64_t m_pausedAt = 0;
    double m_carriedMsecs = 0; // song time played before the last tempo change or pause
    int m_tempo = 0;
    // Per measure: start tick, start ms (song time, from the sync point), tempo.
    std::vector<int> m_barTicks;
    std::vector<int> m_barMsecs;
    int m_firstBar = 0;
    int m_lastBar = 0; // exclusive
};
