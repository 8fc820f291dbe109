// Loading recordings: WAV rules, resampling, MP3 decoding against lame, the overview.

#include "audioload.h"
#include "audiooverlay.h"
#include "report.h"
#include "rondeldoc.h"
#include "synthengine.h"
#include "wavewriter.h"

#include "testutil.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmath>

#include <sys/stat.h>

namespace {
// A test recording: tone bursts at irregular times over quiet noise, so that alignment has
// one clear answer.
std::vector<int16_t> TestSignal(int rate, int channels, double seconds)
{
    const int64_t frames = int64_t(rate * seconds);
    std::vector<int16_t> out(size_t(frames * channels));
    uint32_t lcg = 12345;   // burst times and pitches
    uint32_t noise = 999;   // per sample
    double nextBurst = 0.05;
    double burstStart = -1;
    double freq = 440;
    for (int64_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        if (t >= nextBurst) {
            burstStart = t;
            lcg = lcg * 1664525u + 1013904223u;
            freq = 220 + (lcg >> 20) % 1500;
            nextBurst = t + 0.15 + double((lcg >> 8) % 1000) / 1500.0;
        }
        noise = noise * 1664525u + 1013904223u;
        double s = (double(int32_t(noise) >> 16) / 32768.0) * 300;
        if (burstStart >= 0)
            s += 14000 * std::exp(-(t - burstStart) / 0.04) * std::sin(2 * M_PI * freq * (t - burstStart));
        for (int c = 0; c < channels; ++c)
            out[size_t(i * channels + c)] = int16_t(std::clamp(c ? s * 0.8 : s, -32768.0, 32767.0));
    }
    return out;
}

bool WriteWave(const QString& path, int rate, int channels, const std::vector<int16_t>& interleaved)
{
    CWaveWriter w(path, rate, channels);
    return w.Open(nullptr) && w.Write(interleaved.data(), int64_t(interleaved.size()) / channels) && w.Commit(nullptr);
}

// The lag (in samples of b against a) with the highest normalised correlation.
int BestLag(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int maxLag)
{
    double best = -1e300;
    int bestLag = 0;
    const int64_t n = int64_t(std::min(a.size(), b.size())) - maxLag;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double sum = 0;
        for (int64_t i = maxLag; i < n; i += 3)
            sum += double(a[size_t(i)]) * b[size_t(i + lag)];
        if (sum > best) {
            best = sum;
            bestLag = lag;
        }
    }
    return bestLag;
}

struct CLoadFixture : ::testing::Test
{
    QTemporaryDir dir;
    CRecordingReport report;
    CScopedUserReport scoped{&report};
    QString Path(const char* name) { return dir.filePath(QString::fromLatin1(name)); }
};
}

TEST_F(CLoadFixture, TenSecondsOfCdAudioLoadsAsElevenSeconds)
{
    ASSERT_TRUE(WriteWave(Path("cd.wav"), 44100, 2, TestSignal(44100, 2, 10.0)));
    CRondelDoc doc;
    doc.m_audioFile = Path("cd.WAV"); // the extension test ignores case
    QFile::rename(Path("cd.wav"), doc.m_audioFile);
    CSynthEngine engine(CSynthEngine::Mode::Offline);
    CAudioOverlay overlay(&engine);
    overlay.AttachDocument(&doc);
    ASSERT_TRUE(overlay.LoadAudio());
    EXPECT_EQ(overlay.m_sampleCount, 242550);
    EXPECT_EQ(overlay.m_durationMsecs, 11000);
    EXPECT_EQ(overlay.m_overviewLength, 32000);
    EXPECT_TRUE(report.m_messages.isEmpty());
    // One second of lead-in silence, then (L1 + R1 + L2 + R2) >> 2.
    const auto source = TestSignal(44100, 2, 10.0);
    EXPECT_EQ(overlay.m_samples[22049], 0);
    for (int i : {0, 1, 777, 100000}) {
        const int expected = (source[size_t(4 * i)] + source[size_t(4 * i + 1)] + source[size_t(4 * i + 2)] + source[size_t(4 * i + 3)]) >> 2;
        EXPECT_EQ(overlay.m_samples[size_t(22050 + i)], expected) << i;
    }
}

TEST_F(CLoadFixture, MonoPairsAreAveraged)
{
    std::vector<int16_t> mono{100, 301, -7, -8, 5};
    ASSERT_TRUE(WriteWave(Path("m.wav"), 44100, 1, mono));
    const auto s = ReadWaveFile(Path("m.wav"));
    ASSERT_EQ(s.size(), 22050u + 2);
    EXPECT_EQ(s[22050], 200);
    EXPECT_EQ(s[22051], -8); // (-15) >> 1, an arithmetic shift
}

TEST_F(CLoadFixture, OtherRatesAreResampledAndKeepTheirDuration)
{
    for (int rate : {48000, 32000, 22050, 96000}) {
        const QString path = Path("r.wav");
        ASSERT_TRUE(WriteWave(path, rate, 2, TestSignal(rate, 2, 10.0)));
        const auto s = ReadWaveFile(path);
        EXPECT_NEAR(double(s.size()), 242550.0, 2.0) << rate;
        EXPECT_NEAR(int(s.size() / 22.05), 11000, 1) << rate;
    }
}

TEST_F(CLoadFixture, ResampledAudioStaysInPlace)
{
    ASSERT_TRUE(WriteWave(Path("a.wav"), 44100, 1, TestSignal(44100, 1, 3.0)));
    ASSERT_TRUE(WriteWave(Path("b.wav"), 48000, 1, TestSignal(48000, 1, 3.0)));
    const auto a = ReadWaveFile(Path("a.wav"));
    const auto b = ReadWaveFile(Path("b.wav"));
    EXPECT_EQ(BestLag(a, b, 200), 0);
}

struct SBadFile
{
    const char* name;
    QByteArray bytes;
};

class CUnreadableAudio : public ::testing::TestWithParam<SBadFile>
{
};

TEST_P(CUnreadableAudio, FailsWithTheMessageAndLoadsNothing)
{
    QTemporaryDir dir;
    CRecordingReport report;
    CScopedUserReport scoped(&report);
    const QString path = dir.filePath(QString::fromLatin1(GetParam().name));
    ASSERT_TRUE(WriteAll(path, GetParam().bytes));
    CRondelDoc doc;
    doc.m_audioFile = path;
    CSynthEngine engine(CSynthEngine::Mode::Offline);
    CAudioOverlay overlay(&engine);
    overlay.AttachDocument(&doc);
    EXPECT_FALSE(overlay.LoadAudio());
    EXPECT_FALSE(overlay.IsLoaded());
    EXPECT_EQ(overlay.m_sampleCount, 0);
    ASSERT_FALSE(report.m_messages.isEmpty());
    EXPECT_EQ(report.m_messages.last(), QStringLiteral("Audio file read failed"));
}

namespace {
QByteArray EightBitWave()
{
    QByteArray b("RIFF");
    b += U32(36 + 8) + "WAVEfmt " + U32(16) + U16(1) + U16(1) + U32(44100) + U32(44100) + U16(1) + U16(8) + "data" + U32(8);
    b += QByteArray(8, char(0x80));
    return b;
}
}

INSTANTIATE_TEST_SUITE_P(Audio, CUnreadableAudio,
                         ::testing::Values(SBadFile{"eight_bit.wav", EightBitWave()}, SBadFile{"junk.wav", QByteArray("not a wave file at all")},
                                           SBadFile{"empty.mp3", QByteArray()}, SBadFile{"junk.mp3", QByteArray(5000, 'x')},
                                           SBadFile{"song.ogg", QByteArray("OggS")}),
                         [](const auto& info) {
                             std::string s = info.param.name;
                             std::replace(s.begin(), s.end(), '.', '_');
                             return s;
                         });

TEST_F(CLoadFixture, MissingWaveSaysItCannotOpenIt)
{
    EXPECT_TRUE(ReadWaveFile(Path("none.wav")).empty());
    ASSERT_EQ(report.m_messages.size(), 1);
    EXPECT_EQ(report.m_messages[0], QStringLiteral("Error opening the .WAV file!\n"));
}

TEST_F(CLoadFixture, NoDocumentOrNoPathLoadsNothingSilently)
{
    CSynthEngine engine(CSynthEngine::Mode::Offline);
    CAudioOverlay overlay(&engine);
    EXPECT_FALSE(overlay.LoadAudio());
    CRondelDoc doc;
    overlay.AttachDocument(&doc);
    EXPECT_FALSE(overlay.LoadAudio());
    EXPECT_TRUE(report.m_messages.isEmpty());
}

TEST_F(CLoadFixture, LameMp3MatchesItsWave)
{
    if (QStandardPaths::findExecutable(QStringLiteral("lame")).isEmpty())
        GTEST_SKIP() << "lame is not installed";
    const auto signal = TestSignal(44100, 2, 6.0);
    ASSERT_TRUE(WriteWave(Path("s.wav"), 44100, 2, signal));
    for (const QStringList& mode : {QStringList{QStringLiteral("-b"), QStringLiteral("128")}, QStringList{QStringLiteral("-V"), QStringLiteral("2")}}) {
        QProcess lame;
        lame.start(QStringLiteral("lame"), QStringList{QStringLiteral("--quiet")} + mode + QStringList{Path("s.wav"), Path("s.mp3")});
        ASSERT_TRUE(lame.waitForFinished(60000));
        ASSERT_EQ(lame.exitCode(), 0);

        auto wave = ReadWaveFile(Path("s.wav"));
        wave.erase(wave.begin(), wave.begin() + kWaveLeadInSamples);
        SMp3Info info;
        const auto mp3 = DecodeMp3File(Path("s.mp3"), &info);
        EXPECT_TRUE(info.m_infoFrame);
        EXPECT_GT(info.m_encoderDelay, 0);
        EXPECT_EQ(info.m_sampleRate, 44100);
        EXPECT_LE(std::abs(int64_t(mp3.size()) - int64_t(wave.size())), 576) << "within one MP3 frame";
        const int lag = BestLag(wave, mp3, 2000);
        EXPECT_LE(std::abs(lag), 22) << "aligned within 1 ms; lag " << lag << " samples";
    }
}

TEST(CMp3Decoder, DamagedAndTruncatedInputKeepsWhatDecoded)
{
    std::vector<uint8_t> noise(20000);
    uint32_t x = 1;
    for (auto& b : noise)
        b = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
    EXPECT_NO_FATAL_FAILURE(DecodeMp3Bytes(noise.data(), noise.size()));
    EXPECT_TRUE(DecodeMp3Bytes(nullptr, 0).empty());
}

TEST(CDither, QuantisesFullScaleAndFollowsItsGenerator)
{
    EXPECT_EQ(DitherRandom(0), 1013904223u);
    EXPECT_EQ(DitherRandom(1), 1664525u + 1013904223u);
    SDither d;
    // Silence stays within one step of zero; full scale clips to the 16-bit range.
    for (int i = 0; i < 100; ++i)
        EXPECT_LE(std::abs(DitherLinear(16, 0, d)), 2);
    SDither e;
    EXPECT_EQ(DitherLinear(16, 0x7FFFFFFF / 2, e), 32767);
    SDither f;
    EXPECT_NEAR(DitherLinear(16, -0x10000000, f), -32768, 1);
    SDither g;
    EXPECT_NEAR(DitherLinear(16, 0x08000000, g), 16384, 1); // half scale
    // A damaged frame can decode to samples at the int32 limits: they clip, with no overflow
    // in the error terms (UBSan checks the arithmetic in the sanitizer build).
    SDither h;
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(DitherLinear(16, INT32_MAX - 10, h), 32767);
        EXPECT_EQ(DitherLinear(16, INT32_MIN + 10, h), -32768);
    }
}

struct SOverviewCase
{
    const char* name;
    int count;
    int16_t value;
    int expectedLength;
    int expectedFirst;
    int expectedLast;
};

class COverview : public ::testing::TestWithParam<SOverviewCase>
{
};

TEST_P(COverview, FollowsTheEnvelope)
{
    const auto& c = GetParam();
    std::vector<int16_t> s(size_t(c.count), c.value);
    const auto o = BuildOverview(s.data(), c.count);
    ASSERT_EQ(int(o.size()), c.expectedLength);
    EXPECT_EQ(o.front(), c.expectedFirst);
    EXPECT_EQ(o.back(), c.expectedLast);
}

INSTANTIATE_TEST_SUITE_P(Audio, COverview,
                         ::testing::Values(SOverviewCase{"short_one_per_sample", 1000, -32768, 1000, 127, 127},
                                           SOverviewCase{"short_quiet", 31999, 300, 31999, 1, 1},
                                           // step 10: entry 0 reads 10 samples of 25600: e = 25600 (1 - 0.95^10)
                                           SOverviewCase{"long_ramps_up", 320000, 25600, 32000, 40, 99},
                                           SOverviewCase{"long_silence", 64000, 0, 32000, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(COverviewRule, NeverReadsPastTheEnd)
{
    // The window is offset by 2646 samples: the last entries run off the end and keep the
    // envelope they had.
    std::vector<int16_t> s(32000, 0);
    s.back() = 32767;
    const auto o = BuildOverview(s.data(), int64_t(s.size()));
    ASSERT_EQ(o.size(), 32000u);
    EXPECT_EQ(o[32000 - 2647], 6); // 0.05 * 32767 / 256
    EXPECT_EQ(o.back(), 6);
}

TEST(CFader, SplitsMidiAndWave)
{
    EXPECT_EQ(MidiVolumeForFader(0), 100);
    EXPECT_EQ(WaveVolumeForFader(0), 0);
    EXPECT_EQ(MidiVolumeForFader(100), 0);
    EXPECT_EQ(WaveVolumeForFader(100), 30000);
    EXPECT_EQ(WaveVolumeForFader(50), 15000);
}

// ---------------------------------------------------------------------------------------
// What the readers refuse: paths that are not regular files, data a header only promises,
// more audio than a song can use, bytes that are not MP3 audio.

namespace {
QByteArray WaveHeader(uint32_t rate, uint16_t channels, uint32_t dataBytes)
{
    QByteArray b("RIFF");
    b += U32(36 + dataBytes) + "WAVEfmt " + U32(16) + U16(1) + U16(channels) + U32(rate) + U32(rate * channels * 2) +
         U16(uint16_t(channels * 2)) + U16(16) + "data" + U32(dataBytes);
    return b;
}

// Loads through the overlay as the desktop does; returns the messages it gave.
QStringList LoadThroughOverlay(const QString& path, bool* loaded)
{
    CRecordingReport report;
    CScopedUserReport scoped(&report);
    CRondelDoc doc;
    doc.m_audioFile = path;
    CSynthEngine engine(CSynthEngine::Mode::Offline);
    CAudioOverlay overlay(&engine);
    overlay.AttachDocument(&doc);
    *loaded = overlay.LoadAudio();
    EXPECT_EQ(*loaded, overlay.IsLoaded());
    return report.m_messages;
}
}

TEST_F(CLoadFixture, PathsThatAreNotRegularFilesAreRefusedWithoutReading)
{
    // A pipe nobody writes to would block the open; a device would be read until memory runs out.
    const QString fifo = Path("pipe.wav");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString fifoMp3 = Path("pipe.mp3");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifoMp3).constData(), 0600), 0);
    const QString device = Path("zero.mp3");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), device));
    const QString deviceWav = Path("urandom.wav");
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/urandom"), deviceWav));
    for (const QString& path : {fifo, fifoMp3, device, deviceWav}) {
        bool loaded = true;
        const QStringList messages = LoadThroughOverlay(path, &loaded);
        EXPECT_FALSE(loaded) << path.toStdString();
        ASSERT_EQ(messages.size(), 2) << path.toStdString();
        EXPECT_EQ(messages[0], QStringLiteral("\"%1\" is not a regular file (a device or a pipe): it cannot be read as audio.").arg(path));
        EXPECT_EQ(messages[1], QStringLiteral("Audio file read failed"));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.mp3")));
    bool loaded = true;
    const QStringList messages = LoadThroughOverlay(Path("folder.mp3"), &loaded);
    EXPECT_FALSE(loaded);
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_EQ(messages[0], QStringLiteral("\"%1\" is a folder, not an audio file.").arg(Path("folder.mp3")));
    // A link to a regular file is read as the file.
    ASSERT_TRUE(WriteWave(Path("real.wav"), 44100, 1, std::vector<int16_t>(100, 7)));
    ASSERT_TRUE(QFile::link(Path("real.wav"), Path("link.wav")));
    EXPECT_EQ(ReadWaveFile(Path("link.wav")).size(), size_t(kWaveLeadInSamples + 50));
}

TEST_F(CLoadFixture, AWaveWithoutTheDataItsHeaderPromisesIsRefused)
{
    struct SCase
    {
        const char* name;
        QByteArray bytes;
        const char* message; // empty: loads
    };
    const QByteArray second(44100 * 2, '\x10');
    const SCase cases[] = {
        // Ten hours promised, nothing there.
        {"promise.wav", WaveHeader(44100, 1, 36000u * 44100 * 2), "\"%1\" ends before the audio its header promises (0 of 3175200000 bytes)."},
        // One second promised, half of it there (a cut download).
        {"cut.wav", WaveHeader(44100, 1, 44100 * 2) + second.left(44100), "\"%1\" ends before the audio its header promises (44100 of 88200 bytes)."},
        {"empty.wav", WaveHeader(44100, 1, 0), "\"%1\" holds no audio."},
        // A streaming writer that could not fill the size in: what is there is the audio.
        {"stream.wav", WaveHeader(44100, 1, 0xFFFFFFFFu) + second, ""},
        {"whole.wav", WaveHeader(44100, 1, 44100 * 2) + second, ""},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Path(c.name);
        ASSERT_TRUE(WriteAll(path, c.bytes));
        bool loaded = false;
        const QStringList messages = LoadThroughOverlay(path, &loaded);
        if (*c.message) {
            EXPECT_FALSE(loaded);
            ASSERT_EQ(messages.size(), 2);
            EXPECT_EQ(messages[0], QString::fromLatin1(c.message).arg(path));
            EXPECT_EQ(messages[1], QStringLiteral("Audio file read failed"));
        } else {
            EXPECT_TRUE(loaded);
            EXPECT_TRUE(messages.isEmpty()) << messages.join(QLatin1Char('|')).toStdString();
            EXPECT_EQ(ReadWaveFile(path).size(), size_t(kWaveLeadInSamples + 22050));
        }
    }
}

TEST_F(CLoadFixture, ASampleRateTooLowToPlayAlongWithIsRefused)
{
    // 295 bytes at 1 Hz: two minutes of "audio" that took seconds to stretch to 22 050 Hz.
    const QString fuzzed = FixturesDir() + QStringLiteral("/fuzz/fuzz_wav/one-hertz-rate.wav");
    bool loaded = true;
    QStringList messages = LoadThroughOverlay(fuzzed, &loaded);
    EXPECT_FALSE(loaded);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0], QStringLiteral("\"%1\" is recorded at 1 Hz; recordings of 4000 Hz or more can be played along with.")
                               .arg(fuzzed));
    // The lowest rate taken loads and keeps its duration; one below it does not.
    const QByteArray second(kMinWaveRate * 2, '\x10');
    ASSERT_TRUE(WriteAll(Path("low.wav"), WaveHeader(kMinWaveRate, 1, uint32_t(second.size())) + second));
    EXPECT_NEAR(double(ReadWaveFile(Path("low.wav")).size()), double(kWaveLeadInSamples + kOverlayRate), 2.0);
    const QByteArray under(kMinWaveRate * 2 - 2, '\x10');
    ASSERT_TRUE(WriteAll(Path("under.wav"), WaveHeader(kMinWaveRate - 1, 1, uint32_t(under.size())) + under));
    messages = LoadThroughOverlay(Path("under.wav"), &loaded);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(messages.size(), 2);
}

TEST_F(CLoadFixture, AudioLongerThanASongCanUseIsRefusedBeforeItIsRead)
{
    // Sparse files: the size is there without the bytes being written.
    const uint32_t tooLong = uint32_t(kMaxAudioSeconds + 1) * 8000 * 2;
    const QString wav = Path("long.wav");
    ASSERT_TRUE(WriteAll(wav, WaveHeader(8000, 1, tooLong)));
    ASSERT_TRUE(QFile(wav).resize(44 + tooLong));
    const QString mp3 = Path("long.mp3");
    ASSERT_TRUE(WriteAll(mp3, QByteArray("ID3")));
    ASSERT_TRUE(QFile(mp3).resize(qint64(80000) * kMaxAudioSeconds + 1));
    for (const QString& path : {wav, mp3}) {
        bool loaded = true;
        const QStringList messages = LoadThroughOverlay(path, &loaded);
        EXPECT_FALSE(loaded);
        ASSERT_EQ(messages.size(), 2) << path.toStdString();
        EXPECT_EQ(messages[0], QStringLiteral("\"%1\" is longer than 60 minutes: more audio than a song can use.").arg(path));
    }
}

TEST_F(CLoadFixture, RandomBytesAreNotMp3Audio)
{
    std::vector<uint8_t> noise(4 << 20);
    uint32_t x = 7;
    for (auto& b : noise)
        b = uint8_t((x = x * 1664525u + 1013904223u) >> 24);
    SMp3Info info;
    EXPECT_TRUE(DecodeMp3Bytes(noise.data(), noise.size(), &info).empty());
    EXPECT_LT(info.m_longestFrameRun, kMinMp3FrameRun);
    ASSERT_TRUE(WriteAll(Path("noise.mp3"), QByteArray(reinterpret_cast<const char*>(noise.data()), qsizetype(noise.size()))));
    bool loaded = true;
    const QStringList messages = LoadThroughOverlay(Path("noise.mp3"), &loaded);
    EXPECT_FALSE(loaded);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0], QStringLiteral("\"%1\" holds no MP3 audio: no valid frames follow one another.").arg(Path("noise.mp3")));
}

TEST_F(CLoadFixture, ATruncatedMp3KeepsWhatItHolds)
{
    if (QStandardPaths::findExecutable(QStringLiteral("lame")).isEmpty())
        GTEST_SKIP() << "lame is not installed";
    ASSERT_TRUE(WriteWave(Path("t.wav"), 44100, 2, TestSignal(44100, 2, 4.0)));
    QProcess lame;
    lame.start(QStringLiteral("lame"), {QStringLiteral("--quiet"), QStringLiteral("-b"), QStringLiteral("128"), Path("t.wav"), Path("t.mp3")});
    ASSERT_TRUE(lame.waitForFinished(60000));
    ASSERT_EQ(lame.exitCode(), 0);
    const QByteArray whole = ReadAll(Path("t.mp3"));
    ASSERT_TRUE(WriteAll(Path("half.mp3"), whole.left(whole.size() / 2)));
    SMp3Info info;
    const auto half = DecodeMp3File(Path("half.mp3"), &info);
    EXPECT_GT(info.m_longestFrameRun, 50);
    EXPECT_NEAR(double(half.size()), 22050.0 * 2, 22050.0 * 0.2);
    EXPECT_TRUE(report.m_messages.isEmpty());
}
