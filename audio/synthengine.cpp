#include "synthengine.h"

#include "soundfont.h"

#include <QLoggingCategory>

#include <alsa/asoundlib.h>
#include <fluidsynth.h>

#include <chrono>
#include <cmath>
#include <cstring>

Q_LOGGING_CATEGORY(lcSynth, "kadenzo.synth", QtWarningMsg)

namespace {
constexpr size_t kPendingCapacity = 4096;
constexpr int kMessagesPerAdvance = 512;
constexpr double kOverlayRate = 22050.0;

void FluidLog(int level, const char* message, void*)
{
    // FluidSynth reports every failed driver probe as an error; they are expected on machines
    // without sound and only interesting when debugging.
    qCDebug(lcSynth, "fluidsynth(%d): %s", level, message);
}

void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

void RouteFluidLog()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // alsa-lib prints every failed device probe to stderr on machines without a sound card.
    snd_lib_error_set_handler(SilentAlsaError);
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
        fluid_set_log_function(level, FluidLog, nullptr);
}
}

CSynthEngine::CSynthEngine(Mode mode, double sampleRate, int oversample)
    : m_mode(mode), m_sampleRate(sampleRate), m_oversample(oversample == 1 ? 1 : kOversample), m_pending(kPendingCapacity), m_messages(kMessagesPerAdvance),
      m_synthLeft(size_t(kMaxChunk * kOversample)), m_synthRight(size_t(kMaxChunk * kOversample)),
      m_historyLeft(size_t(kFirTaps - 1 + kMaxChunk * kOversample)), m_historyRight(size_t(kFirTaps - 1 + kMaxChunk * kOversample)),
      m_fir(size_t(kFirTaps))
{
    // Half-band low-pass (cut-off at a quarter of the synthesizer's rate), Blackman window.
    const int mid = (kFirTaps - 1) / 2;
    double sum = 0;
    for (int n = 0; n < kFirTaps; ++n) {
        const int k = n - mid;
        const double sinc = k == 0 ? 0.5 : std::sin(M_PI * k / 2.0) / (M_PI * k);
        const double window = 0.42 - 0.5 * std::cos(2 * M_PI * n / (kFirTaps - 1)) + 0.08 * std::cos(4 * M_PI * n / (kFirTaps - 1));
        m_fir[size_t(n)] = float(sinc * window);
        sum += sinc * window;
    }
    for (float& c : m_fir)
        c = float(c / sum);
}

CSynthEngine::~CSynthEngine()
{
    m_quit.store(true);
    if (m_driver)
        delete_fluid_audio_driver(m_driver);
    if (m_silentClock.joinable())
        m_silentClock.join();
    if (m_synth)
        delete_fluid_synth(m_synth);
    if (m_settings)
        delete_fluid_settings(m_settings);
    if (m_driverSettings)
        delete_fluid_settings(m_driverSettings);
}

CSynthEngine& CSynthEngine::Shared()
{
    static CSynthEngine engine(Mode::RealTime);
    if (!engine.IsOpen()) {
        QString error;
        engine.Open(&error);
    }
    return engine;
}

bool CSynthEngine::Open(QString* error, const QString& soundFont)
{
    if (m_open)
        return true;
    RouteFluidLog();
    m_settings = new_fluid_settings();
    if (!m_settings) {
        if (error)
            *error = QStringLiteral("The synthesizer could not be started");
        return false;
    }
    fluid_settings_setnum(m_settings, "synth.sample-rate", m_sampleRate * m_oversample);
    // Only the callback thread calls the synthesizer while it runs, so its own locks are not
    // needed; presets are loaded when a program is first selected, which keeps start-up fast.
    fluid_settings_setint(m_settings, "synth.threadsafe-api", 0);
    fluid_settings_setint(m_settings, "synth.dynamic-sample-loading", 1);
    fluid_settings_setnum(m_settings, "synth.gain", 0.4);

    m_soundFontPath = soundFont.isEmpty() ? SoundFonts::Find() : soundFont;
    if (!m_soundFontPath.isEmpty()) {
        m_synth = new_fluid_synth(m_settings);
        if (m_synth) {
            m_soundFontId = fluid_synth_sfload(m_synth, m_soundFontPath.toLocal8Bit().constData(), 1);
            if (m_soundFontId == FLUID_FAILED) {
                delete_fluid_synth(m_synth);
                m_synth = nullptr;
            }
        }
    }
    if (!m_synth && m_mode == Mode::Offline) {
        if (error)
            *error = m_soundFontPath.isEmpty() ? QStringLiteral("No General MIDI SoundFont was found")
                                               : QStringLiteral("The SoundFont %1 could not be loaded").arg(m_soundFontPath);
        delete_fluid_settings(m_settings);
        m_settings = nullptr;
        return false;
    }

    if (m_mode == Mode::RealTime) {
        if (m_synth) {
            // The device runs at the output rate; the synthesizer at twice that.
            m_driverSettings = new_fluid_settings();
            fluid_settings_setnum(m_driverSettings, "synth.sample-rate", m_sampleRate);
            fluid_settings_setint(m_driverSettings, "audio.period-size", 256);
            fluid_settings_setint(m_driverSettings, "audio.periods", 4);
            for (const char* name : {"pipewire", "pulseaudio", "alsa"}) {
                if (!m_driverSettings || fluid_settings_setstr(m_driverSettings, "audio.driver", name) != FLUID_OK)
                    continue;
                m_driver = new_fluid_audio_driver2(m_driverSettings, &CSynthEngine::AudioCallback, this);
                if (m_driver) {
                    m_driverName = QString::fromLatin1(name);
                    break;
                }
            }
        }
        m_hasSound = m_driver != nullptr;
        if (!m_hasSound)
            m_silentClock = std::thread([this] { RunSilentClock(); });
    } else {
        m_hasSound = true;
    }
    m_open = true;
    return true;
}

int CSynthEngine::AudioCallback(void* data, int len, int, float*[], int nout, float* out[])
{
    if (nout < 2)
        return FLUID_FAILED;
    static_cast<CSynthEngine*>(data)->Render(out[0], out[1], len);
    return FLUID_OK;
}

void CSynthEngine::RunSilentClock()
{
    // Keeps the stream moving in real time when no audio device plays it; the synthesizer
    // itself is not run.
    std::vector<float> left(1024), right(1024);
    const auto start = std::chrono::steady_clock::now();
    int64_t done = 0;
    while (!m_quit.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const int64_t target = int64_t(seconds * m_sampleRate);
        while (done < target && !m_quit.load()) {
            const int n = int(std::min<int64_t>(1024, target - done));
            Render(left.data(), right.data(), n);
            done += n;
        }
    }
}

void CSynthEngine::Attach(CStreamCore* core)
{
    CStreamCore* old = m_core.exchange(core);
    if (old && old != core)
        WaitCallbackIdle(); // the old stream may be destroyed as soon as this returns
}

void CSynthEngine::Detach()
{
    m_core.store(nullptr);
    WaitCallbackIdle();
}

void CSynthEngine::Detach(CStreamCore* core)
{
    CStreamCore* expected = core;
    m_core.compare_exchange_strong(expected, nullptr);
    // Also when another stream replaced it meanwhile: that Attach has waited, and waiting
    // again costs at most one callback.
    WaitCallbackIdle();
}

void CSynthEngine::WaitCallbackIdle()
{
    // Whatever was unpublished before this call can only be held by a Render call that was
    // running when it began (an odd count). Once the count moves on, that call has returned
    // and every later one reads the new values. No time limit: carrying on while the callback
    // might still hold the old object would free memory under it.
    const uint64_t seen = m_callbackCount.load();
    if (!(seen & 1))
        return;
    const auto slow = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    bool warned = false;
    while (m_callbackCount.load() == seen) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (!warned && std::chrono::steady_clock::now() > slow) {
            warned = true;
            qCWarning(lcSynth, "the audio callback has not returned for 2 s; still waiting for it");
        }
    }
}

void CSynthEngine::SetOverlaySamples(const int16_t* samples, int64_t count)
{
    m_overlaySamples.store(nullptr);
    m_overlayPlaying.store(false);
    WaitCallbackIdle();
    m_overlayCount.store(samples ? count : 0);
    m_overlaySamples.store(samples);
}

void CSynthEngine::StartOverlay(int64_t startSample)
{
    m_overlayStopRequest.store(false);
    m_overlayPaused.store(false);
    m_overlayPlayed.store(0);
    m_overlayStartRequest.store(std::max<int64_t>(0, startSample));
}

void CSynthEngine::StopOverlay()
{
    m_overlayStartRequest.store(-1);
    m_overlayStopRequest.store(true);
    m_overlayPlaying.store(false);
}

void CSynthEngine::PreparePrograms(const std::vector<int>& programs)
{
    if (!m_synth)
        return;
    m_exclusive.store(true);
    WaitCallbackIdle();
    // Spare channels hold the presets so their samples stay loaded; channel 9 is the drum kit.
    static constexpr int kSpare[] = {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15};
    size_t next = 0;
    for (int program : programs) {
        if (program < 0 || program > 127 || next >= std::size(kSpare))
            continue;
        fluid_synth_program_select(m_synth, kSpare[next++], m_soundFontId, 0, program);
    }
    m_exclusive.store(false);
}

void CSynthEngine::Apply(const uint8_t* b, int size)
{
    if (size < 1)
        return;
    const int channel = b[0] & 0x0F;
    const int d1 = size > 1 ? b[1] : 0;
    const int d2 = size > 2 ? b[2] : 0;
    switch (b[0] & 0xF0) {
    case 0x80:
        fluid_synth_noteoff(m_synth, channel, d1);
        break;
    case 0x90:
        if (d2)
            fluid_synth_noteon(m_synth, channel, d1, d2);
        else
            fluid_synth_noteoff(m_synth, channel, d1);
        break;
    case 0xA0:
        fluid_synth_key_pressure(m_synth, channel, d1, d2);
        break;
    case 0xB0:
        fluid_synth_cc(m_synth, channel, d1, d2);
        break;
    case 0xC0:
        fluid_synth_program_change(m_synth, channel, d1);
        break;
    case 0xD0:
        fluid_synth_channel_pressure(m_synth, channel, d1);
        break;
    case 0xE0:
        fluid_synth_pitch_bend(m_synth, channel, d2 << 7 | d1);
        break;
    case 0xF0:
        // Universal real-time master volume: F0 7F <device> 04 01 <lsb> <msb> F7.
        if (size == 8 && b[0] == 0xF0 && b[1] == 0x7F && b[3] == 0x04 && b[4] == 0x01)
            m_masterVolume = float((b[6] & 0x7F) << 7 | (b[5] & 0x7F)) / 16383.0f;
        break;
    }
}

void CSynthEngine::Render(float* left, float* right, int frames)
{
    m_callbackCount.fetch_add(1); // odd: the shared pointers below may be in use
    if (m_exclusive.load() || frames <= 0) {
        std::memset(left, 0, sizeof(float) * size_t(std::max(frames, 0)));
        std::memset(right, 0, sizeof(float) * size_t(std::max(frames, 0)));
        m_callbackCount.fetch_add(1);
        return;
    }
    for (int done = 0; done < frames; done += kMaxChunk)
        RenderChunk(left + done, right + done, std::min(kMaxChunk, frames - done));
    m_framesRendered.store(m_rendered);
    m_callbackCount.fetch_add(1);
}

void CSynthEngine::RenderChunk(float* left, float* right, int frames)
{
    CStreamCore* core = m_core.load();
    bool corePaused = false;
    if (core) {
        uint32_t done = 0;
        while (done < uint32_t(frames)) {
            int count = 0;
            const uint32_t used = core->Advance(uint32_t(frames) - done, m_messages.data(), int(m_messages.size()), &count);
            for (int i = 0; i < count && m_pendingCount < m_pending.size(); ++i) {
                const STimedMessage& m = m_messages[size_t(i)];
                SPending& p = m_pending[(m_pendingHead + m_pendingCount++) % m_pending.size()];
                p.m_frame = (m_rendered + done + m.m_frame) * m_oversample + kBlock;
                p.m_size = m.m_size;
                std::memcpy(p.m_bytes, m.m_bytes, m.m_size);
            }
            done += used;
        }
        corePaused = core->IsPaused();
    }

    const bool synthOn = m_synth && m_hasSound.load(std::memory_order_relaxed);
    const int synthFrames = frames * m_oversample;
    // At the output rate the synthesizer writes straight into the caller's buffers.
    float* synthLeft = m_oversample == 1 ? left : m_synthLeft.data();
    float* synthRight = m_oversample == 1 ? right : m_synthRight.data();
    int pos = 0;
    while (pos < synthFrames) {
        const int64_t at = m_synthRendered + pos;
        if (at % kBlock == 0) {
            // Every event whose nearest block boundary is this one starts with this block.
            while (m_pendingCount > 0) {
                const SPending& p = m_pending[m_pendingHead];
                if ((p.m_frame + kBlock / 2) / kBlock * kBlock > at)
                    break;
                if (synthOn)
                    Apply(p.m_bytes, p.m_size);
                m_pendingHead = (m_pendingHead + 1) % m_pending.size();
                --m_pendingCount;
            }
        }
        const int segment = int(std::min<int64_t>(synthFrames - pos, kBlock - at % kBlock));
        if (synthOn)
            fluid_synth_write_float(m_synth, segment, synthLeft, pos, 1, synthRight, pos, 1);
        pos += segment;
    }
    m_synthRendered += synthFrames;
    m_rendered += frames;

    if (synthOn) {
        if (m_oversample != 1) {
            Decimate(left, m_historyLeft, m_synthLeft.data(), frames);
            Decimate(right, m_historyRight, m_synthRight.data(), frames);
        }
        const float gain = m_midiGain.load() * m_masterVolume;
        if (gain != 1.0f) {
            for (int i = 0; i < frames; ++i) {
                left[i] *= gain;
                right[i] *= gain;
            }
        }
    } else {
        std::memset(left, 0, sizeof(float) * size_t(frames));
        std::memset(right, 0, sizeof(float) * size_t(frames));
    }
    MixOverlay(left, right, frames, corePaused);
}

void CSynthEngine::Decimate(float* out, std::vector<float>& history, const float* in, int outFrames)
{
    // history holds the last taps - 1 input samples, then this chunk's input.
    const size_t keep = kFirTaps - 1;
    const size_t inFrames = size_t(outFrames) * kOversample;
    std::memcpy(history.data() + keep, in, sizeof(float) * inFrames);
    // A half-band filter is symmetric and every second tap beside the centre is zero: only
    // the even taps count, each pair of mirrored inputs sharing one multiplication.
    constexpr int mid = (kFirTaps - 1) / 2;
    static_assert(mid % 2 == 1, "the even taps are the non-zero ones");
    const float* h = m_fir.data();
    for (int i = 0; i < outFrames; ++i) {
        const float* x = history.data() + size_t(i) * kOversample + 1;
        float acc = h[mid] * x[mid];
        for (int k = 0; k < mid; k += 2)
            acc += h[k] * (x[k] + x[kFirTaps - 1 - k]);
        out[i] = acc;
    }
    std::memmove(history.data(), history.data() + inFrames, sizeof(float) * keep);
}

void CSynthEngine::MixOverlay(float* left, float* right, int frames, bool corePaused)
{
    if (m_overlayStopRequest.exchange(false))
        m_overlayPlaying.store(false);
    const int16_t* samples = m_overlaySamples.load();
    if (!samples)
        return;
    const int64_t count = m_overlayCount.load();
    const int64_t start = m_overlayStartRequest.load();
    if (start >= 0 && !corePaused) {
        m_overlayStartRequest.store(-1);
        m_overlayStart = std::min(start, count);
        m_overlayPos = double(m_overlayStart);
        m_overlayDelay = LatencyFrames();
        m_overlayPlaying.store(true);
    }
    // A linked stream's pause holds the overlay in the same callback, so pausing never
    // shifts the two against each other.
    if (!m_overlayPlaying.load() || m_overlayPaused.load() || corePaused)
        return;
    const float gain = m_overlayGain.load() / 32768.0f;
    const double step = kOverlayRate / m_sampleRate;
    for (int i = 0; i < frames; ++i) {
        if (m_overlayDelay > 0) {
            --m_overlayDelay;
            continue;
        }
        const int64_t index = int64_t(m_overlayPos);
        if (index + 1 >= count) {
            m_overlayPlaying.store(false);
            m_overlayPos = double(count);
            break;
        }
        const double frac = m_overlayPos - double(index);
        const float s = float(samples[index] + (samples[index + 1] - samples[index]) * frac) * gain;
        left[i] += s;
        right[i] += s;
        m_overlayPos += step;
    }
    m_overlayPlayed.store(int64_t(m_overlayPos) - m_overlayStart);
}

// ---------------------------------------------------------------------------------------

CSynthStream::CSynthStream(CSynthEngine& engine) : CMidiStream(engine.SampleRate()), m_engine(engine)
{
    m_engine.Attach(m_core.get());
}

CSynthStream::~CSynthStream()
{
    m_engine.Detach(m_core.get());
}

bool CSynthStream::Stop()
{
    m_core->RequestStop();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (m_core->StopPending() && m_engine.Attached() == m_core.get() && m_engine.IsRealTime() &&
           std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (m_core->StopPending()) {
        // Nobody consumes the stream (an offline engine between renders): stop it here.
        const bool attached = m_engine.Attached() == m_core.get();
        if (attached)
            m_engine.Detach();
        m_core->ConsumerStop(nullptr, 0);
        if (attached)
            m_engine.Attach(m_core.get());
    }
    return true;
}

void CSynthStream::SetVolume(uint32_t leftRight)
{
    m_engine.SetMidiGain(float(leftRight & 0xFFFF) / 65535.0f);
}

void CSynthStream::PreparePrograms(const std::vector<int>& programs)
{
    m_engine.PreparePrograms(programs);
}

const char* CSynthStream::SilentReason() const
{
    return m_engine.HasSound() ? "" : kNoAudioDeviceText;
}
