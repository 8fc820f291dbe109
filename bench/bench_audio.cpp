// MP3 decoding (x real time) beside a bare libmad loop over the same file; Export Wave
// (x real time) through the General MIDI SoundFont, and against `fluidsynth -F`; the ALSA back end's timer thread against
// ideal times (median and 99th percentile of the error).

#include "alsastream.h"
#include "audioload.h"
#include "midi.h"
#include "midiformats.h"
#include "rondeldoc.h"
#include "streambuffer.h"
#include "wavewriter.h"
#include "wavexport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <mad.h>
#include <rtmidi/RtMidi.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

namespace {
constexpr double kMp3Seconds = 60.0;

// A minute of music-like test audio encoded by lame, made once.
const QString& Mp3File()
{
    static QTemporaryDir dir;
    static QString path;
    if (!path.isEmpty())
        return path;
    const QString wav = dir.filePath(QStringLiteral("bench.wav"));
    const int rate = 44100;
    const int64_t frames = int64_t(rate * kMp3Seconds);
    std::vector<int16_t> pcm(size_t(frames * 2));
    uint32_t x = 1;
    for (int64_t i = 0; i < frames; ++i) {
        x = x * 1664525u + 1013904223u;
        const double t = double(i) / rate;
        const double s = 8000 * std::sin(2 * M_PI * 220 * t) * std::exp(-std::fmod(t, 0.5) * 8) + double(int32_t(x) >> 20);
        pcm[size_t(2 * i)] = pcm[size_t(2 * i + 1)] = int16_t(s);
    }
    CWaveWriter w(wav, rate, 2);
    w.Open(nullptr);
    w.Write(pcm.data(), frames);
    w.Commit(nullptr);
    const QString mp3 = dir.filePath(QStringLiteral("bench.mp3"));
    QProcess::execute(QStringLiteral("lame"), {QStringLiteral("--quiet"), QStringLiteral("-b"), QStringLiteral("192"), wav, mp3});
    path = mp3;
    return path;
}

void BM_DecodeMp3File(benchmark::State& state)
{
    const QString& mp3 = Mp3File();
    if (!QFile::exists(mp3)) {
        state.SkipWithError("lame is not installed");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(DecodeMp3File(mp3));
    state.counters["x_realtime"] = benchmark::Counter(kMp3Seconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeMp3File)->Unit(benchmark::kMillisecond)->UseRealTime();

// libmad alone: decode and synthesise every frame, nothing else.
void BM_BareLibmad(benchmark::State& state)
{
    const QString& mp3 = Mp3File();
    QFile f(mp3);
    if (!f.open(QIODevice::ReadOnly)) {
        state.SkipWithError("lame is not installed");
        return;
    }
    QByteArray bytes = f.readAll();
    bytes.append(QByteArray(MAD_BUFFER_GUARD, 0));
    for (auto _ : state) {
        mad_stream stream;
        mad_frame frame;
        mad_synth synth;
        mad_stream_init(&stream);
        mad_frame_init(&frame);
        mad_synth_init(&synth);
        mad_stream_buffer(&stream, reinterpret_cast<const unsigned char*>(bytes.constData()), size_t(bytes.size()));
        int64_t samples = 0;
        for (;;) {
            if (mad_frame_decode(&frame, &stream) == -1) {
                if (MAD_RECOVERABLE(stream.error))
                    continue;
                break;
            }
            mad_synth_frame(&synth, &frame);
            samples += synth.pcm.length;
        }
        benchmark::DoNotOptimize(samples);
        mad_synth_finish(&synth);
        mad_frame_finish(&frame);
        mad_stream_finish(&stream);
    }
    state.counters["x_realtime"] = benchmark::Counter(kMp3Seconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_BareLibmad)->Unit(benchmark::kMillisecond)->UseRealTime();

// A rock beat: eighth-note hi-hats, snare on 2 and 4, bass drum on 1 and 3, at 120 BPM.
void RockSong(CRondelDoc& doc, int bars)
{
    doc.Events().clear();
    for (int b = 0; b < bars; ++b) {
        AppendEvent(doc.Events(), EventType::Bar | (b == 0 ? TempoBits(120) : 0), TimeSigWord(4, 4));
        for (int pos = 0; pos < 384; pos += 48) {
            AppendEvent(doc.Events(), 42, uint32_t(pos));
            if (pos % 96 == 0)
                AppendEvent(doc.Events(), pos % 192 ? 38 : 36, uint32_t(pos));
        }
    }
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
}

// Export Wave of a 64-second rock beat; argument 1 is the precise (oversampled) mode.
void BM_ExportWave(benchmark::State& state)
{
    RegisterMidiFormats();
    const QString font = QStringLiteral("/usr/share/sounds/sf2/FluidR3_GM.sf2");
    if (!QFile::exists(font)) {
        state.SkipWithError("fluid-soundfont-gm is not installed");
        return;
    }
    CRondelDoc doc;
    doc.OnNewDocument();
    const int bars = 32; // 64 s at 120 BPM
    RockSong(doc, bars);
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("song.wav"));
    SWaveOptions options;
    options.m_precise = state.range(0) != 0;
    for (auto _ : state) {
        QString error;
        if (!ExportWave(doc, out, nullptr, &error, options, font)) {
            state.SkipWithError(error.toStdString().c_str());
            return;
        }
    }
    const double seconds = double(QFileInfo(out).size() - 44) / (44100.0 * 4);
    state.counters["audio_s"] = seconds;
    state.counters["x_realtime"] = benchmark::Counter(seconds * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ExportWave)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Export Wave against `fluidsynth -F` (FluidSynth's own file renderer, a separate process) on
// the same song written as a MIDI file and the same SoundFont, alternated within each
// iteration. speed_vs_fluidsynth above 1 means Export Wave is faster.
void BM_ExportWaveVsFluidsynth(benchmark::State& state)
{
    RegisterMidiFormats();
    const QString font = QStringLiteral("/usr/share/sounds/sf2/FluidR3_GM.sf2");
    const QString fluidsynth = QStandardPaths::findExecutable(QStringLiteral("fluidsynth"));
    if (!QFile::exists(font) || fluidsynth.isEmpty()) {
        state.SkipWithError("fluid-soundfont-gm or fluidsynth is not installed");
        return;
    }
    CRondelDoc doc;
    doc.OnNewDocument();
    RockSong(doc, 128); // 256 s at 120 BPM
    QTemporaryDir dir;
    const QString mid = dir.filePath(QStringLiteral("song.mid"));
    const QString ours = dir.filePath(QStringLiteral("ours.wav"));
    const QString theirs = dir.filePath(QStringLiteral("theirs.wav"));
    if (!MidiOf(doc).WriteMidiFile(mid, nullptr)) {
        state.SkipWithError("the MIDI file could not be written");
        return;
    }
    double oursSeconds = 0, theirsSeconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        QString error;
        if (!ExportWave(doc, ours, nullptr, &error, SWaveOptions{}, font)) {
            state.SkipWithError(error.toStdString().c_str());
            return;
        }
        oursSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        start = std::chrono::steady_clock::now();
        QProcess p;
        p.start(fluidsynth, {QStringLiteral("-ni"), QStringLiteral("-q"), QStringLiteral("-r"), QStringLiteral("44100"),
                             QStringLiteral("-F"), theirs, font, mid});
        if (!p.waitForFinished(600000) || p.exitCode() != 0) {
            state.SkipWithError("fluidsynth -F failed");
            return;
        }
        theirsSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double n = double(state.iterations());
    state.counters["ours_s"] = oursSeconds / n;
    state.counters["fluidsynth_s"] = theirsSeconds / n;
    state.counters["speed_vs_fluidsynth"] = theirsSeconds / oursSeconds;
}
BENCHMARK(BM_ExportWaveVsFluidsynth)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

class CTimedPort : public CMidiPortOut
{
public:
    void Send(const uint8_t* bytes, int size) override
    {
        if (m_inner)
            m_inner->sendMessage(bytes, size_t(size));
        if (size == 3 && (bytes[0] & 0xF0) == 0x90 && bytes[2]) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_times.push_back(std::chrono::steady_clock::now());
        }
    }
    std::unique_ptr<RtMidiOut> m_inner;
    std::mutex m_mutex;
    std::vector<std::chrono::steady_clock::time_point> m_times;
};

// The ALSA back end's timer thread: 16th notes at 240 BPM (62.5 ms apart) for 8 bars. The
// messages go to an RtMidi virtual ALSA port when the sequencer exists, else to the recorder
// alone; either way the send time is what is measured.
void BM_AlsaStreamTiming(benchmark::State& state)
{
    std::vector<double> errorsMs;
    bool virtualPort = false;
    for (auto _ : state) {
        auto port = std::make_unique<CTimedPort>();
        try {
            port->m_inner = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, "Kadenzo bench");
            port->m_inner->openVirtualPort("Kadenzo bench");
            virtualPort = true;
        } catch (const RtMidiError&) {
            port->m_inner.reset();
        }
        CTimedPort* timed = port.get();
        CAlsaStream stream(std::move(port));
        stream.SetTempo(250000);
        const auto bar = QuarterNoteBar(42, 16);
        for (int i = 0; i < 8; ++i)
            stream.Out(bar.Header());
        stream.Restart();
        while (stream.Pending() > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            stream.DispatchDone();
        }
        std::lock_guard<std::mutex> lock(timed->m_mutex);
        for (size_t k = 1; k < timed->m_times.size(); ++k) {
            const double actual = std::chrono::duration<double, std::milli>(timed->m_times[k] - timed->m_times[0]).count();
            errorsMs.push_back(std::fabs(actual - 62.5 * double(k)));
        }
    }
    std::sort(errorsMs.begin(), errorsMs.end());
    if (!errorsMs.empty()) {
        state.counters["median_error_ms"] = errorsMs[errorsMs.size() / 2];
        state.counters["p99_error_ms"] = errorsMs[std::min(errorsMs.size() - 1, size_t(double(errorsMs.size()) * 0.99))];
        state.counters["events"] = double(errorsMs.size());
    }
    state.counters["alsa_virtual_port"] = virtualPort ? 1 : 0;
}
BENCHMARK(BM_AlsaStreamTiming)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
}
