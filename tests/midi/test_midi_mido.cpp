// Written MIDI files read back by an independent, strict parser (Python's mido): the play
// order of repeats, flams, empty bars, and corpus files imported and written again.

#include "midifile.h"
#include "midiformats.h"
#include "miditest.h"

#include <QDir>

#include <algorithm>
#include <cmath>

namespace {

// Every bar carries one note whose key is 40 + its bar number.
void Numbered(CSong& s, int bar, uint32_t word2Flags = 0)
{
    s.Bar(4, 4, word2Flags, bar == 1 ? TempoBits(120) : 0).Note(uint32_t(40 + bar), 0);
}

SMidoFile WriteAndRead(CSong& s, const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("song.mid"));
    EXPECT_TRUE(s.Midi().WriteMidiFile(path));
    SMidoFile m = ReadWithMido(path);
    EXPECT_TRUE(m.ok) << m.error.toStdString();
    return m;
}

std::vector<int> BarsPlayed(const SMidoFile& m)
{
    std::vector<int> bars;
    for (const SMidoEvent& e : m.Struck())
        bars.push_back(e.a - 40);
    return bars;
}

struct SMidoOrder
{
    const char* name;
    std::vector<std::pair<int, uint32_t>> bars; // bar number, flags; 0 = a measure repeat of 2, once
    std::vector<int> order;
};

TEST(MidoOrder, RepeatsPlayInOrderInTheWrittenFile)
{
    const std::vector<SMidoOrder> cases = {
        {"two endings: P Q R P Q S T", {{1, kStart}, {2, 0}, {3, AltEnd(1)}, {4, AltEnd(2)}, {5, 0}}, {1, 2, 3, 1, 2, 4, 5}},
        {"three endings: P Q R P Q S P Q U", {{1, kStart}, {2, 0}, {3, AltEnd(1)}, {4, AltEnd(2)}, {5, AltEnd(3)}}, {1, 2, 3, 1, 2, 4, 1, 2, 5}},
        {"simple group: A B A B", {{1, kStart}, {2, kEnd}}, {1, 2, 1, 2}},
        {"measure repeat of 2: X Y X Y", {{1, 0}, {2, 0}, {0, 0}}, {1, 2, 1, 2}},
    };
    for (const SMidoOrder& c : cases) {
        CSong s;
        for (const auto& [bar, flags] : c.bars) {
            if (bar == 0)
                s.RepeatPrev(2, 1);
            else
                Numbered(s, bar, flags);
        }
        s.Close();
        QTemporaryDir dir;
        const SMidoFile m = WriteAndRead(s, dir);
        EXPECT_EQ(BarsPlayed(m), c.order) << c.name;
        // Bars follow each other without gaps: 384 ticks apart, each note a flam gap late.
        const auto struck = m.Struck();
        for (size_t i = 0; i < struck.size(); ++i)
            EXPECT_EQ(struck[i].time, int(i) * 384 + 6) << c.name;
    }
}

TEST(MidoNotes, AFlamGraceNoteComesFirstAtHalfVolume)
{
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120)).Note(38, 0, EventBits::FlamOrPM).Close();
    QTemporaryDir dir;
    const SMidoFile m = WriteAndRead(s, dir);
    const auto struck = m.Struck();
    ASSERT_EQ(struck.size(), 2u);
    EXPECT_EQ(struck[0].delta, 0);
    EXPECT_EQ(struck[0].time, 0);
    EXPECT_EQ(struck[0].a, 38);
    EXPECT_EQ(struck[0].b, 35);
    EXPECT_EQ(struck[1].delta, 6);
    EXPECT_EQ(struck[1].a, 38);
    EXPECT_EQ(struck[1].b, 70);
    EXPECT_EQ(struck[1].channel, 9);
}

TEST(MidoNotes, ABarWithoutNotesIsOneSilentNoteAtItsLength)
{
    CSong s;
    s.Bar(4, 4, 0, TempoBits(120)).Bar(3, 4).Close();
    QTemporaryDir dir;
    const SMidoFile m = WriteAndRead(s, dir);
    const auto ons = m.Of(QStringLiteral("on"));
    ASSERT_EQ(ons.size(), 2u);
    for (const SMidoEvent& e : ons) {
        EXPECT_EQ(e.a, 0);
        EXPECT_EQ(e.b, 0);
    }
    EXPECT_EQ(ons[0].delta, 384);
    EXPECT_EQ(ons[1].delta, 288);
    EXPECT_TRUE(m.Of(QStringLiteral("off")).empty()); // releases are note-ons at velocity 0
}

// The notes a corpus file should import as: channel 10, known or mapped keys, snapped to the
// 32nd grid from the first drum event on.
std::multiset<std::pair<int, int>> ExpectedNotes(const SMidoFile& original)
{
    std::multiset<std::pair<int, int>> notes;
    const double scale = 96.0 / original.ticksPerBeat;
    bool started = false;
    int64_t t0 = 0;
    for (const SMidoEvent& e : original.events) {
        if ((e.kind != QLatin1String("on") && e.kind != QLatin1String("off")) || e.channel != 9)
            continue;
        const int64_t t = int64_t(std::trunc(e.time * scale));
        if (!started) {
            started = true;
            t0 = t;
        }
        if (e.kind != QLatin1String("on") || e.b == 0)
            continue;
        const int key = e.a == 22 ? 42 : e.a == 26 ? 46 : e.a;
        if (key < 35 || key > 81)
            continue;
        notes.insert({int(((t - t0 + 10) / 12) * 12), key});
    }
    return notes;
}

class MidoCorpus : public ::testing::TestWithParam<ESongSource>
{
};

TEST_P(MidoCorpus, FilesImportAndWriteBackOnTheGrid)
{
    SKIP_WITHOUT_SOURCE(GetParam());
    RegisterMidiFormats();
    MidiImportOptions().m_detectTriplets = false;
    const QString folder = SongSourceDir(GetParam()) + QStringLiteral("/midi/");
    const QStringList files = QDir(folder).entryList({QStringLiteral("*.mid")}, QDir::Files);
    ASSERT_GE(files.size(), GetParam() == ESongSource::Corpus ? 20 : 6);
    QTemporaryDir dir;
    for (const QString& name : files) {
        const QString source = folder + name;
        const SMidoFile original = ReadWithMido(source);
        ASSERT_TRUE(original.ok) << name.toStdString();

        CRecordingReport report;
        CScopedUserReport scope(&report);
        CRondelDoc doc;
        QString error;
        ASSERT_TRUE(doc.OnOpenDocument(source, &error)) << name.toStdString() << error.toStdString();
        const QString written = dir.filePath(name);
        ASSERT_TRUE(doc.OnSaveDocument(written, &error)) << error.toStdString();
        const SMidoFile back = ReadWithMido(written);
        ASSERT_TRUE(back.ok) << name.toStdString() << back.error.toStdString();

        std::multiset<std::pair<int, int>> notes;
        for (const SMidoEvent& e : back.Struck())
            notes.insert({e.time - 6, e.a});
        EXPECT_FALSE(notes.empty()) << name.toStdString();
        EXPECT_EQ(notes, ExpectedNotes(original)) << name.toStdString();
    }
    MidiImportOptions() = SMidiImportOptions();
}

INSTANTIATE_TEST_SUITE_P(Midi, MidoCorpus, ::testing::Values(ESongSource::Fixtures, ESongSource::Corpus), SongSourceName);

} // namespace
