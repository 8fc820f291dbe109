#pragma once
// The audio overlay of a document: its recording loaded into memory (mono, 22 050 per
// second), the drawing overview, and playback mixed into the embedded synthesizer's audio
// callback so that recording and MIDI share one clock. The waveform bar draws from it.

#include "audioload.h"

#include <cstdint>
#include <vector>

class CRondelDoc;
class CSynthEngine;

class CAudioOverlay
{
public:
    // engine: where the overlay plays; nullptr uses the shared real-time engine when needed.
    explicit CAudioOverlay(CSynthEngine* engine = nullptr);
    ~CAudioOverlay();
    CAudioOverlay(const CAudioOverlay&) = delete;
    CAudioOverlay& operator=(const CAudioOverlay&) = delete;

    // Closes any loaded audio and clears the state for the new document.
    void AttachDocument(CRondelDoc* doc);
    // Loads the document's audio file (".wav" or ".mp3", case ignored). False, after the
    // message "Audio file read failed", when nothing could be read; false without a message
    // when there is no document or no audio path.
    bool LoadAudio();
    void CloseAudio();
    bool IsLoaded() const { return !m_samples.empty(); }

    // Where playback starts (ms of the recording); also moves the drawn cursor.
    void SetPosition(int msecs);
    void StartPlayback();
    void StopPlayback();
    void PausePlayback();
    void ResumePlayback();
    // fader 0-100: full fader is 30000 of 65535.
    void SetWaveVolume(int fader);
    // Time of the recording being heard.
    int GetAudioPositionMsecs() const;
    bool IsPlaying() const;

    CRondelDoc* m_pDoc = nullptr;
    std::vector<int16_t> m_samples;
    int m_sampleCount = 0;
    int m_durationMsecs = 0;
    std::vector<int8_t> m_overview;
    int m_overviewLength = 0;
    int m_playStartSample = 0;
    int m_cursorMsecs = 0;

private:
    CSynthEngine& Engine();
    CSynthEngine* m_engine;
    bool m_handedToEngine = false;
};

// The transport's overlay codes (NotifyOverlay).
namespace OverlayCode {
inline constexpr int Start = 1;
inline constexpr int Stop = 2;
inline constexpr int Pause = 3;
inline constexpr int Resume = 4;
}

// The MIDI-to-wave fader (0-100): the MIDI volume in percent, and the overlay's volume word.
inline int MidiVolumeForFader(int fader) { return 100 - fader; }
inline int WaveVolumeForFader(int fader) { return fader * 30000 / 100; }
