// kadenzo-cli with MIDI files: convert both ways, the import options, the bar times in dump.

#include "miditest.h"
#include "testutil.h"

#include <QDir>
#include <QProcess>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

class CliMidi : public testing::Test
{
protected:
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    SRunResult Run(const QStringList& args) const { return RunCli(args, m_dir.filePath(QStringLiteral("settings.ini"))); }
    QJsonObject Dump(const QString& file) const
    {
        const SRunResult r = Run({QStringLiteral("dump"), file});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        return QJsonDocument::fromJson(r.out).object();
    }
    QTemporaryDir m_dir;
};

TEST_F(CliMidi, ConvertsASongToMidiAndBack)
{
    ASSERT_EQ(Run({QStringLiteral("new"), Path(QStringLiteral("a.kdz"))}).exitCode, 0);
    SRunResult r = Run({QStringLiteral("convert"), Path(QStringLiteral("a.kdz")), Path(QStringLiteral("a.mid"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray mid = ReadAll(Path(QStringLiteral("a.mid")));
    ASSERT_GT(mid.size(), 22);
    EXPECT_EQ(mid.left(4), QByteArray("MThd"));

    const QString other = FixturesDir() + QStringLiteral("/midi/two_bar_repetition.mid");
    r = Run({QStringLiteral("convert"), other, Path(QStringLiteral("b.kdz"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject o = Dump(Path(QStringLiteral("b.kdz")));
    EXPECT_GT(o[QStringLiteral("events")].toArray().size(), 10);
}

TEST_F(CliMidi, ImportOptionsReachTheReader)
{
    // Swung eighths (off-beats two thirds into the beat) and 32nd-note drags.
    const QString shuffle = FixturesDir() + QStringLiteral("/midi/blues_shuffle_112.mid");
    const auto positions = [&](const QStringList& options) {
        const QString out = Path(QStringLiteral("o%1.kdz").arg(options.join(QString())));
        const SRunResult r = Run(QStringList{QStringLiteral("convert"), shuffle, out} + options);
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        std::vector<int> pos;
        int triplets = 0;
        for (const QJsonValue& v : Dump(out)[QStringLiteral("events")].toArray()) {
            const QJsonObject e = v.toObject();
            if (e[QStringLiteral("type")].toInt() < 100) {
                pos.push_back(e[QStringLiteral("pos")].toInt());
                triplets += e[QStringLiteral("triplet")].toBool();
            }
        }
        return std::make_pair(pos, triplets);
    };
    const auto sixteenths = positions({QStringLiteral("--snap16"), QStringLiteral("--no-triplets")});
    ASSERT_FALSE(sixteenths.first.empty());
    for (int p : sixteenths.first)
        EXPECT_EQ(p % 24, 0);
    EXPECT_EQ(sixteenths.second, 0);
    const auto straight = positions({QStringLiteral("--no-triplets")});
    for (int p : straight.first)
        EXPECT_EQ(p % 12, 0);
    EXPECT_TRUE(std::any_of(straight.first.begin(), straight.first.end(), [](int p) { return p % 24 != 0; }));

    const SRunResult bad = Run({QStringLiteral("convert"), shuffle, Path(QStringLiteral("x.kdz")), QStringLiteral("--snap8")});
    EXPECT_EQ(bad.exitCode, 2);
}

TEST_F(CliMidi, DumpCarriesBarTimesAndThePlayOrder)
{
    const QJsonObject o = Dump(FixturesDir() + QStringLiteral("/midi/rock_120.mid"));
    const QJsonArray events = o[QStringLiteral("events")].toArray();
    std::vector<qint64> times;
    for (const QJsonValue& v : events) {
        const QJsonObject e = v.toObject();
        if (e[QStringLiteral("type")].toInt() >= 100) {
            EXPECT_TRUE(e.contains(QStringLiteral("runTime1")));
            times.push_back(e[QStringLiteral("runTime2")].toInteger());
        }
    }
    ASSERT_GE(times.size(), 2u);
    EXPECT_EQ(times[0], 0);
    EXPECT_EQ(times[1], 2000); // 4/4 at 120
    const QJsonObject midi = o[QStringLiteral("midi")].toObject();
    EXPECT_EQ(midi[QStringLiteral("playOrder")].toArray().size(), qsizetype(times.size() - 1));
    EXPECT_GT(midi[QStringLiteral("eventCount")].toInt(), 0);
}

TEST_F(CliMidi, ADamagedMidiFileFailsWithItsMessage)
{
    ASSERT_TRUE(WriteAll(Path(QStringLiteral("bad.mid")), QByteArray("MThd\0\0\0\6\0\0\0\1\0\x60MTrk\0\0\0\x10\0\x99\x24", 25)));
    const SRunResult r = Run({QStringLiteral("convert"), Path(QStringLiteral("bad.mid")), Path(QStringLiteral("bad.kdz"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("This file is not a valid Midi file")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("bad.kdz"))));
}

class CliMidiFiles : public CliMidi, public ::testing::WithParamInterface<ESongSource>
{
protected:
    int Minimum() const { return GetParam() == ESongSource::Corpus ? 40 : 8; }
};

TEST_P(CliMidiFiles, EveryTabBecomesAValidMidiFile)
{
    SKIP_WITHOUT_SOURCE(GetParam());
    const QString tabs = SongSourceDir(GetParam()) + QStringLiteral("/tabs");
    const QStringList files = QDir(tabs).entryList({QStringLiteral("*.txt")}, QDir::Files);
    ASSERT_GE(files.size(), Minimum());
    QStringList written;
    for (const QString& name : files) {
        const QString out = Path(name + QStringLiteral(".mid"));
        const SRunResult r = Run({QStringLiteral("convert"), tabs + QLatin1Char('/') + name, out});
        if (r.exitCode == 0)
            written << out;
        else
            EXPECT_FALSE(QFile::exists(out)) << name.toStdString();
    }
    ASSERT_GE(written.size(), Minimum());
    // One strict reading of them all.
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"),
            QStringList{QStringLiteral("-c"),
                        QStringLiteral("import sys, mido\n"
                                       "for f in sys.argv[1:]:\n"
                                       "    m = mido.MidiFile(f)\n"
                                       "    print(sum(1 for e in m.tracks[0] if e.type == 'note_on' and e.velocity > 0))\n")}
                + written);
    ASSERT_TRUE(p.waitForFinished(120000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    const QList<QByteArray> counts = p.readAllStandardOutput().trimmed().split('\n');
    ASSERT_EQ(counts.size(), written.size());
    int withNotes = 0;
    for (const QByteArray& c : counts)
        withNotes += c.toInt() > 0;
    EXPECT_GE(withNotes, Minimum());
}

TEST_P(CliMidiFiles, ATabPlaysWhereAnotherConverterPutItsNotes)
{
    // The same beat as a tab and as a MIDI file made from it by another program (the
    // fixture's by tests/fixtures/midi/make_midi_fixtures.py).
    SKIP_WITHOUT_SOURCE(GetParam());
    const QString dir = SongSourceDir(GetParam());
    const QString name = GetParam() == ESongSource::Corpus ? QStringLiteral("tabtomidi__simple_4_4_beat") : QStringLiteral("simple_beat");
    const QString out = Path(QStringLiteral("beat.mid"));
    const SRunResult r = Run({QStringLiteral("convert"), dir + QStringLiteral("/tabs/") + name + QStringLiteral(".txt"), out});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const SMidoFile ours = ReadWithMido(out);
    const SMidoFile theirs = ReadWithMido(dir + QStringLiteral("/midi/") + name + QStringLiteral(".mid"));
    ASSERT_TRUE(ours.ok && theirs.ok);
    std::multiset<int> ourTimes, theirTimes;
    for (const SMidoEvent& e : ours.Struck())
        ourTimes.insert(e.time - 6);
    for (const SMidoEvent& e : theirs.Struck())
        theirTimes.insert(e.time * 96 / theirs.ticksPerBeat);
    EXPECT_EQ(ourTimes, theirTimes);
    ASSERT_FALSE(ours.Of(QStringLiteral("tempo")).empty());
    EXPECT_EQ(ours.Of(QStringLiteral("tempo"))[0].a, 600000); // "100 BPM"
}

INSTANTIATE_TEST_SUITE_P(Songs, CliMidiFiles, ::testing::Values(ESongSource::Fixtures, ESongSource::Corpus), SongSourceName);

} // namespace
