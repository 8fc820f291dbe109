// Reading Standard MIDI Files: bars, snapping, triplets, key mapping and damaged files.

#include "midifile.h"
#include "midiformats.h"
#include "miditest.h"

#include <QDir>

namespace {

QByteArray VarLen(uint32_t v)
{
    QByteArray out(1, char(v & 0x7F));
    while (v >>= 7)
        out.prepend(char(0x80 | (v & 0x7F)));
    return out;
}
QByteArray Be16(int v) { return QByteArray(1, char(v >> 8)) + QByteArray(1, char(v & 0xFF)); }
QByteArray Be32(uint32_t v) { return Be16(int(v >> 16)) + Be16(int(v & 0xFFFF)); }
QByteArray Header(int format, int tracks, int division) { return "MThd" + Be32(6) + Be16(format) + Be16(tracks) + Be16(division); }
QByteArray Track(const QByteArray& events) { return "MTrk" + Be32(uint32_t(events.size())) + events; }
QByteArray Raw(uint32_t delta, std::initializer_list<int> bytes)
{
    QByteArray b = VarLen(delta);
    for (int v : bytes)
        b.append(char(v));
    return b;
}
QByteArray On(uint32_t delta, int key, int velocity = 100, int channel = 9) { return Raw(delta, {0x90 | channel, key, velocity}); }
QByteArray Off(uint32_t delta, int key, int channel = 9) { return Raw(delta, {0x80 | channel, key, 64}); }
QByteArray Tempo(uint32_t delta, int usecs) { return Raw(delta, {0xFF, 0x51, 0x03, usecs >> 16, (usecs >> 8) & 0xFF, usecs & 0xFF}); }
QByteArray TimeSig(uint32_t delta, int num, int power) { return Raw(delta, {0xFF, 0x58, 0x04, num, power, 24, 8}); }
QByteArray Lyric(uint32_t delta, const QByteArray& text) { return Raw(delta, {0xFF, 0x05, int(text.size())}) + text; }
QByteArray EndOfTrack() { return Raw(0, {0xFF, 0x2F, 0x00}); }

struct SRead
{
    CEventList events;
    QStringList messages;
    QList<EReportKind> kinds;

    std::vector<const CEvent*> Bars() const
    {
        std::vector<const CEvent*> out;
        for (const auto& e : events)
            if (e.IsMeasure())
                out.push_back(&e);
        return out;
    }
    // "bar:key@pos" for every note, with a t for triplets.
    QStringList Notes() const
    {
        QStringList out;
        int bar = 0;
        for (const auto& e : events) {
            if (e.IsMeasure())
                ++bar;
            else
                out << QStringLiteral("%1:%2@%3%4").arg(bar).arg(e.GetEventType()).arg(e.GetPosition()).arg(e.IsTriplet() ? "t" : "");
        }
        return out;
    }
};

SRead Read(const QByteArray& bytes, bool snap32 = true, bool triplets = true)
{
    SRead r;
    CRecordingReport report;
    CScopedUserReport scope(&report);
    ReadMidiBytes(bytes, r.events, snap32, triplets);
    r.messages = report.m_messages;
    r.kinds = report.m_kinds;
    return r;
}

QByteArray DrumFile(const QByteArray& events, int division = 96) { return Header(0, 1, division) + Track(events + EndOfTrack()); }

TEST(MidiRead, EachTrackStartsFromOneTwentyAndFourFour)
{
    const QByteArray tempoTrack = Track(Tempo(0, 1000000) + TimeSig(0, 3, 2) + EndOfTrack());
    const QByteArray drums = Track(On(0, 36) + On(96, 38) + EndOfTrack());
    const SRead r = Read(Header(1, 2, 96) + tempoTrack + drums);
    EXPECT_TRUE(r.messages.isEmpty());
    const auto bars = r.Bars();
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_EQ(bars[0]->GetTempo(), 120u);
    EXPECT_EQ(bars[0]->GetTimeSigNumerator(), 4u);
    EXPECT_EQ(bars[0]->GetTimeSigDenominator(), 4u);
    EXPECT_EQ(r.Notes(), (QStringList{"1:36@0", "1:38@96"}));
}

TEST(MidiRead, TwoDrumTracksGiveTwoRunsOfBars)
{
    const QByteArray a = Track(On(0, 36) + On(384, 38) + EndOfTrack());
    const QByteArray b = Track(Tempo(0, 600000) + On(10, 42) + EndOfTrack());
    const SRead r = Read(Header(1, 2, 96) + a + b);
    const auto bars = r.Bars();
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_EQ(bars[2]->GetTempo(), 100u);
    EXPECT_EQ(r.Notes(), (QStringList{"1:36@0", "2:38@0", "3:42@0"}));
}

TEST(MidiRead, NotesSnapToTheGridAndNearTheBarLineToTheNextBar)
{
    const QByteArray events = On(0, 36) + On(30, 38) + On(10, 42) + On(336, 49); // 0, 30, 40, 376
    EXPECT_EQ(Read(DrumFile(events)).Notes(), (QStringList{"1:36@0", "1:38@36", "1:42@48", "2:49@0"}));
    EXPECT_EQ(Read(DrumFile(events), false).Notes(), (QStringList{"1:36@0", "1:38@24", "1:42@48", "2:49@0"}));
}

TEST(MidiRead, TripletEighthsStayInPlaceAndAreMarkedInThrees)
{
    QByteArray events = On(0, 42);
    for (int i = 0; i < 6; ++i)
        events += On(32, 42);
    events += On(96, 38);
    EXPECT_EQ(Read(DrumFile(events)).Notes(),
              (QStringList{"1:42@0t", "1:42@32t", "1:42@64t", "1:42@96t", "1:42@128t", "1:42@160t", "1:42@192", "1:38@288"}));
    EXPECT_EQ(Read(DrumFile(events), true, false).Notes(),
              (QStringList{"1:42@0", "1:42@36", "1:42@72", "1:42@96", "1:42@132", "1:42@168", "1:42@192", "1:38@288"}));
}

TEST(MidiRead, AChordOnATripletStaysWhole)
{
    const QByteArray events = On(0, 42) + On(32, 42) + On(0, 36) + On(32, 42) + On(32, 38);
    EXPECT_EQ(Read(DrumFile(events)).Notes(), (QStringList{"1:42@0t", "1:42@32t", "1:36@32t", "1:42@64t", "1:38@96"}));
}

TEST(MidiRead, ScaledTimesDoNotDriftOverManyEvents)
{
    QByteArray events = On(0, 36);
    for (int i = 0; i < 40; ++i)
        events += Off(4, 36); // 0.8 of our ticks each: together 32
    events += On(0, 38);
    EXPECT_EQ(Read(DrumFile(events, 480), true, false).Notes(), (QStringList{"1:36@0", "1:38@36"}));
    EXPECT_EQ(Read(DrumFile(On(0, 36) + On(480, 38) + On(1200, 42), 480)).Notes(), (QStringList{"1:36@0", "1:38@96", "1:42@336"}));
}

TEST(MidiRead, BarsCarryTimeSignatureAndTempoChanges)
{
    const QByteArray events = TimeSig(0, 6, 3) + Tempo(0, 750000) + On(0, 36) + On(288, 36) + Tempo(0, 750000) + On(288, 36)
                              + Tempo(0, 500000) + On(288, 36) + TimeSig(0, 0, 2) + TimeSig(0, 5, 7) + On(288, 36);
    const SRead r = Read(DrumFile(events));
    const auto bars = r.Bars();
    ASSERT_EQ(bars.size(), 5u);
    EXPECT_EQ(bars[0]->GetTempo(), 80u);
    EXPECT_EQ(bars[0]->GetTimeSigDenominator(), 8u);
    EXPECT_EQ(bars[0]->GetTimeSigNumerator(), 6u);
    EXPECT_EQ(bars[1]->GetTempo(), 0u); // unchanged
    EXPECT_EQ(bars[2]->GetTempo(), 0u);
    EXPECT_EQ(bars[3]->GetTempo(), 120u);
    EXPECT_EQ(bars[4]->GetTimeSigNumerator(), 6u); // 0/4 and 5/128 cannot be bars: ignored
}

TEST(MidiRead, TempoExtremesStayInTheTempoField)
{
    EXPECT_EQ(Read(DrumFile(Tempo(0, 100000) + On(0, 36))).Bars()[0]->GetTempo(), 255u);
    EXPECT_EQ(Read(DrumFile(Tempo(0, 0) + On(0, 36))).Bars()[0]->GetTempo(), 120u);
}

TEST(MidiRead, LyricsJoinTheTextOfTheLastBar)
{
    const SRead r = Read(DrumFile(Lyric(0, "la") + On(0, 36) + Lyric(0, "la") + Lyric(0, "lo")));
    EXPECT_EQ(r.Bars()[0]->GetText(), QStringLiteral("lalo"));
}

TEST(MidiRead, OtherChannelsAndMessagesAreSkipped)
{
    const QByteArray events = On(0, 60, 100, 0) + Raw(0, {0xC9, 5}) + Raw(0, {0xB9, 7, 100}) + Raw(0, {0xF0, 2, 1, 0xF7}) + On(0, 36)
                              + Raw(24, {38, 90}) /* running status */ + Raw(0, {0xE9, 0, 64}) + On(24, 42);
    EXPECT_EQ(Read(DrumFile(events)).Notes(), (QStringList{"1:36@0", "1:38@24", "1:42@48"}));
}

TEST(MidiRead, KeysOutsideTheKitAreMappedOrDropped)
{
    const QByteArray events = On(0, 22) + On(24, 26) + On(24, 27) + On(0, 82) + On(24, 22) + On(24, 58);
    const SRead r = Read(DrumFile(events));
    EXPECT_EQ(r.Notes(), (QStringList{"1:42@0", "1:46@24", "1:42@72", "1:58@96"}));
    ASSERT_EQ(r.messages.size(), 1);
    EXPECT_EQ(r.messages[0], QStringLiteral("Some drum keys of this MIDI file are not in the drum kit: key 22 was read as 42 (2 notes); "
                                            "key 26 was read as 46 (1 note); key 27 was dropped (1 note); key 82 was dropped (1 note)"));
}

struct SDamaged
{
    const char* name;
    QByteArray bytes;
    const char* message; // nullptr: none
    int notes;
};

TEST(MidiRead, DamagedFilesStopCleanly)
{
    const QByteArray good = On(0, 36) + On(96, 38);
    const QByteArray full = DrumFile(good);
    const char* notValid = "This file is not a valid Midi file";
    const char* givingUp = "Error in Midi file. Giving up";
    const std::vector<SDamaged> cases = {
        {"empty", QByteArray(), notValid, 0},
        {"not a MIDI file", "RIFF\0\0\0\0WAVE", notValid, 0},
        {"header cut", full.left(10), notValid, 0},
        {"cut inside the track", full.left(full.size() - 3), notValid, 2},
        {"chunk length past the end", Header(0, 1, 96) + "MTrk" + Be32(100000) + good, notValid, 2},
        {"endless quantity", Header(0, 1, 96) + Track(good + QByteArray(6, char(0xFF))), givingUp, 2},
        {"endless meta length", Header(0, 1, 96) + Track(good + Raw(0, {0xFF, 0x01}) + QByteArray(5, char(0x81))), givingUp, 2},
        {"data without status", Header(0, 1, 96) + Track(Raw(0, {0x24, 0x40}) + good), givingUp, 0},
        {"unknown system status", Header(0, 1, 96) + Track(good + Raw(0, {0xF2, 1, 2})), givingUp, 2},
        {"SMPTE time", Header(0, 1, 0xE728) + Track(good), notValid, 0},
        {"no division", Header(0, 1, 0) + Track(good), notValid, 0},
        {"huge meta length", Header(0, 1, 96) + Track(good + Raw(0, {0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F})), notValid, 2},
        {"foreign chunk", Header(0, 1, 96) + "XFIH" + Be32(3) + "abc" + Track(good), nullptr, 2},
        {"garbage after the track", full + QByteArray("\x01\x02\x03\x04\x00\x00\x00\x00", 8), notValid, 2},
        {"huge delta", Header(0, 1, 1) + Track(On(0, 36) + On(0x0FFFFFFF, 38)), givingUp, 1},
    };
    for (const SDamaged& c : cases) {
        const SRead r = Read(c.bytes);
        if (c.message) {
            EXPECT_EQ(r.messages, QStringList{QString::fromLatin1(c.message)}) << c.name;
            EXPECT_EQ(r.kinds, QList<EReportKind>{EReportKind::Error}) << c.name;
        } else {
            EXPECT_TRUE(r.messages.isEmpty()) << c.name;
        }
        EXPECT_EQ(r.Notes().size(), c.notes) << c.name;
    }
}

TEST(MidiRead, MarkTripletsTakesTheThreeLatestPositionsWithTheirChords)
{
    CEventList list;
    AppendEvent(list, EventType::Bar, TimeSigWord(4, 4));
    for (const auto& [key, pos] : std::vector<std::pair<uint32_t, uint32_t>>{{36, 0}, {42, 0}, {42, 32}, {36, 64}, {42, 64}, {38, 96}})
        AppendEvent(list, key, pos);
    MarkTriplets(list, 128);
    QStringList marked;
    for (const auto& e : list)
        if (e.IsTriplet())
            marked << QStringLiteral("%1@%2").arg(e.GetEventType()).arg(e.GetPosition());
    EXPECT_EQ(marked, (QStringList{"42@32", "36@64", "42@64", "38@96"}));
}

class MidiReadFiles : public ::testing::TestWithParam<ESongSource>
{
};

TEST_P(MidiReadFiles, EveryFileReads)
{
    SKIP_WITHOUT_SOURCE(GetParam());
    const QString folder = SongSourceDir(GetParam()) + QStringLiteral("/midi/");
    const QStringList files = QDir(folder).entryList({QStringLiteral("*.mid")}, QDir::Files);
    ASSERT_GE(files.size(), GetParam() == ESongSource::Corpus ? 20 : 6);
    for (const QString& name : files) {
        for (bool snap32 : {true, false}) {
            const SRead r = Read(ReadAll(folder + name), snap32);
            EXPECT_FALSE(r.Bars().empty()) << name.toStdString();
            for (const QString& m : r.messages)
                EXPECT_TRUE(m.startsWith(QStringLiteral("Some drum keys"))) << name.toStdString() << ": " << m.toStdString();
            for (const auto& e : r.events) {
                if (e.IsNote()) {
                    EXPECT_TRUE(e.GetEventType() >= 35 && e.GetEventType() <= 81) << name.toStdString();
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Midi, MidiReadFiles, ::testing::Values(ESongSource::Fixtures, ESongSource::Corpus), SongSourceName);

TEST(MidiRead, OpeningAMidFileMakesADocument)
{
    RegisterMidiFormats();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("beat.mid"));
    ASSERT_TRUE(WriteAll(path, DrumFile(Tempo(0, 600000) + On(0, 36) + On(30, 38) + On(354, 42))));
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CRondelDoc doc;
    QString error;
    ASSERT_TRUE(doc.OnOpenDocument(path, &error)) << error.toStdString();
    ASSERT_NE(dynamic_cast<CMidi*>(doc.m_pMidi.get()), nullptr);
    const CEvent& first = doc.Events().front();
    EXPECT_EQ(first.GetTempo(), 100u);
    EXPECT_TRUE(doc.Events().back().IsBar());
    // The timing pass has run: bar 2 starts 2400 ms in.
    int bars = 0;
    for (const auto& e : doc.Events()) {
        if (e.IsMeasure() && ++bars == 2) {
            EXPECT_EQ(e.GetRunTime2(), 2400u);
        }
    }

    MidiImportOptions().m_snapTo32nd = false;
    CRondelDoc sixteenths;
    ASSERT_TRUE(sixteenths.OnOpenDocument(path, &error));
    MidiImportOptions() = SMidiImportOptions();
    EXPECT_EQ(std::next(sixteenths.Events().begin(), 2)->GetPosition(), 24u);

    // A file without drum notes is an empty song: the open fails.
    const QString empty = dir.filePath(QStringLiteral("piano.mid"));
    ASSERT_TRUE(WriteAll(empty, DrumFile(On(0, 60, 100, 0))));
    CRondelDoc none;
    EXPECT_FALSE(none.OnOpenDocument(empty, &error));
    EXPECT_FALSE(ReadMidiFile(dir.filePath(QStringLiteral("missing.mid")), none.Events(), true, true));
}

} // namespace
