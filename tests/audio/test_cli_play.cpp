// kadenzo-cli: play (one bar, silently here), devices, audio, convert to .wav.

#include "wavewriter.h"

#include "testutil.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {
QString Example()
{
    return QStringLiteral(KADENZO_SOURCE_DIR "/res/examples/rock_beat.txt");
}
}

TEST(CCliPlay, PlaysOneBarAndPrintsTheStatus)
{
    QTemporaryDir dir;
    const SRunResult r = RunCli({QStringLiteral("play"), Example(), QStringLiteral("--one-bar"), QStringLiteral("--tempo"), QStringLiteral("300")},
                                dir.filePath(QStringLiteral("k.ini")));
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(r.out.contains("PLAYING: 00:")) << r.out.constData();
    EXPECT_TRUE(r.out.contains("measure 1"));
    EXPECT_FALSE(r.out.contains("measure 2")) << "one bar only";
}

TEST(CCliPlay, RefusesUnknownDevicesAndBadOptions)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("k.ini"));
    EXPECT_EQ(RunCli({QStringLiteral("play"), Example(), QStringLiteral("--device"), QStringLiteral("9")}, ini).exitCode, 1);
    EXPECT_EQ(RunCli({QStringLiteral("play"), Example(), QStringLiteral("--tempo"), QStringLiteral("fast")}, ini).exitCode, 2);
    EXPECT_EQ(RunCli({QStringLiteral("play")}, ini).exitCode, 2);
}

TEST(CCliPlay, DevicesListTheEmbeddedSynthesizerFirstAndRememberTheChoice)
{
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("k.ini"));
    const SRunResult r = RunCli({QStringLiteral("devices")}, ini);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.startsWith("* 0 Embedded synthesizer")) << r.out.constData();
    EXPECT_EQ(RunCli({QStringLiteral("devices"), QStringLiteral("--choose"), QStringLiteral("0")}, ini).exitCode, 0);
    EXPECT_TRUE(ReadAll(ini).contains("midi_device=Embedded synthesizer (FluidSynth)"));
}

TEST(CCliPlay, ConvertToWaveThenLoadItAsAudio)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath(QStringLiteral("rock.wav"));
    const QString ini = dir.filePath(QStringLiteral("k.ini"));
    SRunResult r = RunCli({QStringLiteral("convert"), Example(), wav}, ini);
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QByteArray bytes = ReadAll(wav);
    ASSERT_GT(bytes.size(), 44);
    EXPECT_EQ(bytes.left(44), CWaveWriter::Header(44100, 2, (bytes.size() - 44) / 4));

    r = RunCli({QStringLiteral("audio"), wav}, ini);
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    const qint64 frames = (bytes.size() - 44) / 4;
    EXPECT_EQ(o.value(QStringLiteral("samples")).toInteger(), 22050 + frames / 2);
    EXPECT_EQ(o.value(QStringLiteral("durationMsecs")).toInteger(), qint64((22050 + frames / 2) / 22.05));
    EXPECT_EQ(o.value(QStringLiteral("overviewLength")).toInteger(), 32000);

    const QString bad = dir.filePath(QStringLiteral("bad.wav"));
    ASSERT_TRUE(WriteAll(bad, "RIFF....WAVEjunk"));
    r = RunCli({QStringLiteral("audio"), bad}, ini);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("Audio file read failed"));
}
