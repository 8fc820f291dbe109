#pragma once
// What the transport needs from a document's player: start once, looped or one bar, pause,
// resume, stop, tempo, and the play position in ticks (96 to a quarter) that the 50 ms poll
// reads. The document's MIDI player is adapted to this (CMidiPlayer); tests may install
// others through CMainFrame::SetPlayerFactory.

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
    // Ticks since playback started, on the axis of the bars' GetRunTime1() in the play pass;
    // negative when polling should stop.
    virtual int GetPlayPosition() = 0;
    // What the next Play covers besides its start bar: a range selection (type 2, bar and
    // tick numbers as the selection keeps them) plays only that range; type 0 the rest of the
    // song. The document's playback markers are read by the player itself.
    virtual void SetPlaySpan(int type, int barDn, int tickDn, int barUp, int tickUp)
    {
        (void)type, (void)barDn, (void)tickDn, (void)barUp, (void)tickUp;
    }
    // While playing or paused: playback goes on at measure startBar (0-based) once the bars
    // already handed to the output have sounded. False when the player cannot move.
    virtual bool ContinueAt(int startBar)
    {
        (void)startBar;
        return false;
    }
    // MIDI volume in percent (the Midi <-> Wave fader).
    virtual void SetVolume(int percent) { (void)percent; }
    // True when the player itself tells the transport of its state and starts, pauses and
    // stops the audio overlay (through the player host); otherwise the main window does.
    virtual bool TellsTransport() const { return false; }
};
