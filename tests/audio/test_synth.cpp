// The embedded synthesizer: SoundFont discovery, sample-accurate offline rendering, the
// overlay mixed into the same callback, the WAV writer, the ALSA back end's timer thread.

#include "alsastream.h"
#include "soundfont.h"
#include "streambuffer.h"
#include "synthengine.h"
#include "wavewriter.h"

#include "testutil.h"

#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

namespace {
const QString kSmallFont = QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2");

QString TestFont()
{
    return QFileInfo::exists(kSmallFont) ? kSmallFont : SoundFonts::Find();
}

// Renders until the stream is idle plus a tail; returns the left channel.
std::vector<float> RenderAll(CSynthEngine& engine, CMidiStream& stream, double tailSeconds)
{
    std::vector<float> left, l(512), r(512);
    int64_t tail = int64_t(tailSeconds * engine.SampleRate());
    while (stream.Pending() > 0 || tail > 0) {
        engine.Render(l.data(), r.data(), 512);
        stream.DispatchDone();
        left.insert(left.end(), l.begin(), l.end());
        if (stream.Pending() == 0)
            tail -= 512;
    }
    return left;
}

// Onsets: where the signal first rises above the threshold after 100 ms below it.
std::vector<double> Onsets(const std::vector<float>& x, double rate, float threshold)
{
    std::vector<double> onsets;
    int64_t quiet = int64_t(rate * 0.1);
    const int64_t needQuiet = int64_t(rate * 0.1);
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::fabs(x[i]) > threshold) {
            if (quiet >= needQuiet)
                onsets.push_back(double(i) / rate);
            quiet = 0;
        } else {
            ++quiet;
        }
    }
    return onsets;
}
}

TEST(CSoundFonts, SearchOrder)
{
    QTemporaryDir dir;
    const QString user = dir.filePath(QStringLiteral("user"));
    const QString sys = dir.filePath(QStringLiteral("sys"));
    QDir().mkpath(user);
    QDir().mkpath(sys);
    const QString link = dir.filePath(QStringLiteral("default-GM.sf2"));
    ASSERT_TRUE(WriteAll(link, "x"));
    ASSERT_TRUE(WriteAll(sys + QStringLiteral("/small.sf2"), "x"));
    ASSERT_TRUE(WriteAll(sys + QStringLiteral("/Big_GM.sf3"), "xx"));
    ASSERT_TRUE(WriteAll(sys + QStringLiteral("/notes.txt"), "x"));
    const QString setting = dir.filePath(QStringLiteral("mine.sf2"));
    ASSERT_TRUE(WriteAll(setting, "x"));

    EXPECT_EQ(SoundFonts::FindIn(setting, user, {link}, {sys}), setting);
    EXPECT_EQ(SoundFonts::FindIn(dir.filePath(QStringLiteral("gone.sf2")), user, {link}, {sys}), link);
    ASSERT_TRUE(WriteAll(user + QStringLiteral("/user.sf2"), "x"));
    EXPECT_EQ(SoundFonts::FindIn(QString(), user, {link}, {sys}), user + QStringLiteral("/user.sf2"));
    EXPECT_EQ(SoundFonts::FindIn(QString(), QString(), {}, {sys}), sys + QStringLiteral("/Big_GM.sf3")) << "a GM bank first";
    EXPECT_EQ(SoundFonts::FindIn(QString(), QString(), {}, {dir.filePath(QStringLiteral("none"))}), QString());
}

TEST(CSynthEngine, OfflineOnsetsFallOnTheBeatToTheMillisecond)
{
    const QString font = TestFont();
    if (font.isEmpty())
        GTEST_SKIP() << "no SoundFont installed";
    CSynthEngine engine(CSynthEngine::Mode::Offline);
    QString error;
    ASSERT_TRUE(engine.Open(&error, font)) << error.toStdString();
    CSynthStream stream(engine);
    stream.SetTimeDivision(96);
    stream.SetTempo(500000);
    const auto bar = QuarterNoteBar(76); // high wood block: one sharp attack
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(stream.Out(bar.Header()));
    // Start at an odd frame so that beats do not sit on block boundaries by luck.
    std::vector<float> l(37), r(37);
    engine.Render(l.data(), r.data(), 37);
    stream.Restart();
    const auto left = RenderAll(engine, stream, 1.0);
    const auto onsets = Onsets(left, 44100, 0.01f);
    ASSERT_EQ(onsets.size(), 12u);
    // Fit the grid's offset (the attack of the sample and the engine's fixed delay of one
    // block), then every onset must sit within 1 ms of its step.
    double offset = 0;
    for (size_t i = 0; i < onsets.size(); ++i)
        offset += onsets[i] - 0.5 * double(i);
    offset /= double(onsets.size());
    for (size_t i = 0; i < onsets.size(); ++i)
        EXPECT_NEAR(onsets[i], offset + 0.5 * double(i), 0.001) << i;
    EXPECT_NEAR(offset, (37.0 + CSynthEngine::kLatencyFrames) / 44100.0, 0.001);
}

TEST(CSynthEngine, OverlayIsMixedAtItsGainAndWaitsForThePausedStream)
{
    CSynthEngine engine(CSynthEngine::Mode::Offline);
    QString error;
    const QString font = TestFont();
    if (font.isEmpty())
        GTEST_SKIP() << "no SoundFont installed";
    ASSERT_TRUE(engine.Open(&error, font));
    std::vector<int16_t> samples(22050, 16384);
    engine.SetOverlaySamples(samples.data(), int64_t(samples.size()));
    engine.SetOverlayGain(0.5f);
    engine.SetMidiGain(0.0f);
    CSynthStream stream(engine);
    engine.StartOverlay(11025);
    std::vector<float> l(256), r(256);
    engine.Render(l.data(), r.data(), 256);
    EXPECT_FALSE(engine.OverlayPlaying()) << "waits for the stream to start";
    stream.Restart();
    engine.Render(l.data(), r.data(), 256);
    EXPECT_TRUE(engine.OverlayPlaying());
    const int delay = CSynthEngine::kLatencyFrames;
    EXPECT_FLOAT_EQ(l[delay - 1], 0.0f) << "delayed like the MIDI events";
    EXPECT_NEAR(l[delay], 0.25f, 1e-6);
    EXPECT_EQ(engine.OverlaySamplesPlayed(), (256 - delay) / 2);
    stream.Pause();
    engine.Render(l.data(), r.data(), 256);
    EXPECT_EQ(engine.OverlaySamplesPlayed(), (256 - delay) / 2) << "a paused stream holds the overlay too";
    stream.Restart();
    for (int i = 0; i < 200; ++i)
        engine.Render(l.data(), r.data(), 256);
    EXPECT_FALSE(engine.OverlayPlaying()) << "stops at the end of the recording";
    engine.SetOverlaySamples(nullptr, 0);
}

TEST(CSynthEngine, RealTimeEngineWithoutADeviceRunsSilently)
{
    CSynthEngine engine(CSynthEngine::Mode::RealTime);
    QString error;
    ASSERT_TRUE(engine.Open(&error, TestFont()));
    if (engine.HasSound())
        GTEST_SKIP() << "this machine has an audio device (" << engine.DriverName().toStdString() << ")";
    CSynthStream stream(engine);
    EXPECT_STREQ(stream.SilentReason(), kNoAudioDeviceText);
    stream.SetTempo(500000 / 8); // 960 BPM: one bar in 250 ms
    const auto bar = QuarterNoteBar();
    ASSERT_TRUE(stream.Out(bar.Header(5)));
    int doneCount = 0;
    stream.SetDoneHandler([&](uintptr_t) { ++doneCount; });
    stream.Restart();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (doneCount == 0 && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        stream.DispatchDone();
    }
    EXPECT_EQ(doneCount, 1);
    int64_t pos = 0;
    stream.Position(&pos);
    EXPECT_EQ(pos, 384);
    EXPECT_TRUE(stream.Stop());
}

TEST(CSynthEngine, StreamsReplacedOrClosedWhileTheClockRunsAreNotUsedAfterwards)
{
    // A newer stream replaces an older one that is then destroyed, as when the player reopens
    // its stream: the callback must have let go of the old one first. The sanitizer builds
    // (ASan, TSan) turn a slip here into a failure; the normal build checks the hand-over.
    CSynthEngine engine(CSynthEngine::Mode::RealTime);
    QString error;
    ASSERT_TRUE(engine.Open(&error, TestFont()));
    const auto bar = QuarterNoteBar();
    for (int i = 0; i < 40; ++i) {
        auto older = std::make_unique<CSynthStream>(engine);
        ASSERT_TRUE(older->Out(bar.Header(1)));
        older->Restart();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        auto newer = std::make_unique<CSynthStream>(engine);
        EXPECT_EQ(engine.Attached(), &newer->Core());
        older.reset(); // must not detach the newer stream
        EXPECT_EQ(engine.Attached(), &newer->Core());
        ASSERT_TRUE(newer->Out(bar.Header(2)));
        newer->Restart();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        newer.reset();
        EXPECT_EQ(engine.Attached(), nullptr);
    }
}

namespace {
class CRecordingPort : public CMidiPortOut
{
public:
    void Send(const uint8_t* bytes, int size) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sent.push_back({std::chrono::steady_clock::now(), std::vector<uint8_t>(bytes, bytes + size)});
    }
    struct SSent
    {
        std::chrono::steady_clock::time_point m_at;
        std::vector<uint8_t> m_bytes;
    };
    std::mutex m_mutex;
    std::vector<SSent> m_sent;
};
}

TEST(CAlsaStream, TimerThreadSendsOnTime)
{
    auto port = std::make_unique<CRecordingPort>();
    CRecordingPort* sent = port.get();
    CAlsaStream stream(std::move(port));
    stream.SetTempo(500000 / 4); // 480 BPM: a beat every 125 ms
    const auto bar = QuarterNoteBar();
    ASSERT_TRUE(stream.Out(bar.Header()));
    int done = 0;
    stream.SetDoneHandler([&](uintptr_t) { ++done; });
    const auto start = std::chrono::steady_clock::now();
    stream.Restart();
    while (done == 0 && std::chrono::steady_clock::now() < start + std::chrono::seconds(5)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        stream.DispatchDone();
    }
    ASSERT_EQ(done, 1);
    std::lock_guard<std::mutex> lock(sent->m_mutex);
    std::vector<double> onsMs;
    for (const auto& s : sent->m_sent)
        if (s.m_bytes.size() == 3 && s.m_bytes[0] == 0x99 && s.m_bytes[2])
            onsMs.push_back(std::chrono::duration<double, std::milli>(s.m_at - start).count());
    ASSERT_EQ(onsMs.size(), 4u);
    for (size_t i = 1; i < onsMs.size(); ++i)
        EXPECT_NEAR(onsMs[i] - onsMs[0], 125.0 * double(i), 15.0) << "generous: the machine is shared (bench_audio measures)";
}

TEST(CAlsaStream, VolumeScalesVelocities)
{
    auto port = std::make_unique<CRecordingPort>();
    CRecordingPort* sent = port.get();
    CAlsaStream stream(std::move(port));
    stream.SetVolume(0x7FFF | 0x7FFF << 16);
    CStreamBufferBuilder b;
    b.Short(0, 0x99, 38, 100);
    ASSERT_TRUE(stream.Out(b.Header()));
    stream.Restart();
    for (int i = 0; i < 200 && stream.DispatchDone() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::lock_guard<std::mutex> lock(sent->m_mutex);
    ASSERT_EQ(sent->m_sent.size(), 1u);
    EXPECT_EQ(sent->m_sent[0].m_bytes[2], 49);
}

TEST(CWaveWriter, HeaderBytes)
{
    const QByteArray h = CWaveWriter::Header(44100, 2, 1000);
    const QByteArray expected = QByteArray("RIFF") + U32(36 + 4000) + "WAVE" + "fmt " + U32(16) + U16(1) + U16(2) + U32(44100) +
                                U32(176400) + U16(4) + U16(16) + "data" + U32(4000);
    EXPECT_EQ(h, expected);
}

TEST(CWaveWriter, CancelLeavesNoFileAndCommitReplaces)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.wav"));
    ASSERT_TRUE(WriteAll(path, "old"));
    {
        CWaveWriter w(path, 44100, 2);
        ASSERT_TRUE(w.Open(nullptr));
        const int16_t frames[4] = {1, 2, 3, 4};
        ASSERT_TRUE(w.Write(frames, 2));
        w.Cancel();
    }
    EXPECT_EQ(ReadAll(path), QByteArray("old"));
    CWaveWriter w(path, 44100, 2);
    ASSERT_TRUE(w.Open(nullptr));
    const int16_t frames[4] = {1, 2, 3, -4};
    ASSERT_TRUE(w.Write(frames, 2));
    ASSERT_TRUE(w.Commit(nullptr));
    const QByteArray bytes = ReadAll(path);
    ASSERT_EQ(bytes.size(), 44 + 8);
    EXPECT_EQ(bytes.left(44), CWaveWriter::Header(44100, 2, 2));
    EXPECT_EQ(bytes.mid(44), U16(1) + U16(2) + U16(3) + U16(uint16_t(-4)));
}
