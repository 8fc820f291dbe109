#pragma once
// The embedded synthesizer: FluidSynth with a General MIDI SoundFont, driven from one audio
// callback that also mixes the audio overlay, so MIDI and recording share one clock.
//
// The callback owns nothing but what it is handed: the attached stream core (events in
// ticks), the overlay samples and gains. It never locks or allocates; the user interface
// thread hands things over through atomics and, before it frees or replaces anything the
// callback may hold, waits until the callback has provably let go of it: each Render call
// counts up once on entry and once on exit, and the waiter watches that count move on.
// Render has one caller at a time (the device's thread, the silent clock or an offline owner).

#include "midistream.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_audio_driver_t;

class CSynthEngine
{
public:
    enum class Mode { RealTime, Offline };
    // oversample is 1 or 2 (see kOversample); offline renders may run at the output rate.
    CSynthEngine(Mode mode, double sampleRate = 44100.0, int oversample = kOversample);
    ~CSynthEngine();
    CSynthEngine(const CSynthEngine&) = delete;
    CSynthEngine& operator=(const CSynthEngine&) = delete;

    // Loads the SoundFont (empty path: found automatically) and, in real time, opens an
    // audio device: PipeWire, PulseAudio, then ALSA. Without any device the engine runs
    // silently on a real-time clock (HasSound() is false) and Open still succeeds. False,
    // with *error, only when the synthesizer cannot be made or (offline) no SoundFont loads.
    bool Open(QString* error, const QString& soundFont = QString());
    bool IsOpen() const { return m_open; }
    bool IsRealTime() const { return m_mode == Mode::RealTime; }
    bool HasSound() const { return m_hasSound.load(); }
    QString SoundFontPath() const { return m_soundFontPath; }
    QString DriverName() const { return m_driverName; }
    double SampleRate() const { return m_sampleRate; }

    // The program-wide real-time engine, opened on first use.
    static CSynthEngine& Shared();

    // The audio callback's body: renders frames of stereo audio (overwrites the buffers).
    // Offline owners call it directly.
    void Render(float* left, float* right, int frames);

    // One stream at a time plays through the engine. Attach replaces the attached stream and
    // returns once the callback has let go of the old one; Detach(core) lets go of core if it
    // is attached and returns once the callback no longer uses it.
    void Attach(CStreamCore* core);
    void Detach();
    void Detach(CStreamCore* core);
    CStreamCore* Attached() const { return m_core.load(); }

    // Output gains (1.0 is full).
    void SetMidiGain(float gain) { m_midiGain.store(gain); }
    void SetOverlayGain(float gain) { m_overlayGain.store(gain); }

    // The overlay: mono 16-bit samples at 22 050 per second. The samples must stay valid
    // until SetOverlaySamples(nullptr, 0) returns.
    void SetOverlaySamples(const int16_t* samples, int64_t count);
    // Starts at a sample; when a stream is attached and paused, the overlay waits for it, so
    // both begin in the same callback.
    void StartOverlay(int64_t startSample);
    void StopOverlay();
    void PauseOverlay(bool paused) { m_overlayPaused.store(paused); }
    bool OverlayPlaying() const { return m_overlayPlaying.load(); }
    // Overlay samples played since the last start.
    int64_t OverlaySamplesPlayed() const { return m_overlayPlayed.load(); }

    // Loads (on this thread) the presets of the given General MIDI programs so that program
    // changes in the callback find their samples in memory.
    void PreparePrograms(const std::vector<int>& programs);

    // Frames rendered since the engine was opened.
    int64_t FramesRendered() const { return m_framesRendered.load(); }

    // FluidSynth starts notes only on its 64-frame block boundaries. The synthesizer runs at
    // twice the output rate, so the nearest boundary is within 0.36 ms of an event's exact
    // sample; a half-band filter brings it back to the output rate. Events are applied after
    // a fixed delay of one block; the overlay is delayed by the same total.
    static constexpr int kOversample = 2;
    static constexpr int kBlock = 64;
    static constexpr int kFirTaps = 63;
    // Output frames from an event's due time to its sound (block delay + filter delay).
    static constexpr int kLatencyFrames = (kBlock + (kFirTaps - 1) / 2 + 1) / kOversample;
    // Largest Render call handled in one piece (longer calls are split).
    static constexpr int kMaxChunk = 4096;
    // At the output rate (oversample 1) the nearest block boundary is within 0.73 ms of an
    // event, the same timing as FluidSynth's own file renderer, at half the cost.
    int Oversample() const { return m_oversample; }
    // Output frames from an event's due time to its sound at this engine's oversampling.
    int LatencyFrames() const { return m_oversample == 1 ? kBlock : kLatencyFrames; }

private:
    static int AudioCallback(void* data, int len, int nfx, float* fx[], int nout, float* out[]);
    void Apply(const uint8_t* bytes, int size);
    void WaitCallbackIdle();
    void RunSilentClock();
    void MixOverlay(float* left, float* right, int frames, bool corePaused);

    const Mode m_mode;
    const double m_sampleRate;
    const int m_oversample;
    bool m_open = false;
    std::atomic<bool> m_hasSound{false}; // the device's callback reads it as soon as it starts
    QString m_soundFontPath;
    QString m_driverName;
    int m_soundFontId = -1;

    void RenderChunk(float* left, float* right, int frames);
    void Decimate(float* out, std::vector<float>& history, const float* in, int outFrames);

    struct _fluid_hashtable_t* m_settings = nullptr;
    struct _fluid_hashtable_t* m_driverSettings = nullptr;
    struct _fluid_synth_t* m_synth = nullptr;
    struct _fluid_audio_driver_t* m_driver = nullptr;
    std::thread m_silentClock;
    std::atomic<bool> m_quit{false};

    std::atomic<CStreamCore*> m_core{nullptr};
    std::atomic<uint64_t> m_callbackCount{0}; // odd while Render runs
    std::atomic<bool> m_exclusive{false};
    std::atomic<float> m_midiGain{1.0f};
    std::atomic<float> m_overlayGain{0.0f};
    std::atomic<int64_t> m_framesRendered{0};

    // callback-owned
    struct SPending
    {
        int64_t m_frame;
        uint8_t m_size;
        uint8_t m_bytes[31];
    };
    std::vector<SPending> m_pending; // ring, fixed capacity
    size_t m_pendingHead = 0;
    size_t m_pendingCount = 0;
    std::vector<STimedMessage> m_messages;
    float m_masterVolume = 1.0f;
    int64_t m_rendered = 0;      // output frames
    int64_t m_synthRendered = 0; // synthesizer frames
    std::vector<float> m_synthLeft, m_synthRight;     // one chunk at the synthesizer's rate
    std::vector<float> m_historyLeft, m_historyRight; // filter input: last taps - 1 + chunk
    std::vector<float> m_fir;

    // overlay
    std::atomic<const int16_t*> m_overlaySamples{nullptr};
    std::atomic<int64_t> m_overlayCount{0};
    std::atomic<int64_t> m_overlayStartRequest{-1};
    std::atomic<bool> m_overlayStopRequest{false};
    std::atomic<bool> m_overlayPlaying{false};
    std::atomic<bool> m_overlayPaused{false};
    std::atomic<int64_t> m_overlayPlayed{0};
    double m_overlayPos = 0; // callback-owned, in overlay samples
    int64_t m_overlayStart = 0;
    int m_overlayDelay = 0;
};

// The stream back end over a synth engine (the shared real-time one or an offline one).
class CSynthStream : public CMidiStream
{
public:
    explicit CSynthStream(CSynthEngine& engine);
    ~CSynthStream() override;
    bool Stop() override;
    void SetVolume(uint32_t leftRight) override;
    void PreparePrograms(const std::vector<int>& programs) override;
    const char* SilentReason() const override;

private:
    CSynthEngine& m_engine;
};

// The text shown once when playback has no audio device.
inline constexpr const char* kNoAudioDeviceText = "No audio device: playing without sound";
