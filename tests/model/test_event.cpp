// CEvent: construction rules, packed fields, texts in the archive, display and staff tables.

#include "archive.h"
#include "event.h"
#include "report.h"

#include <gtest/gtest.h>

namespace {

QByteArray Store(const CEvent& ev)
{
    QByteArray bytes;
    CArchive ar(&bytes);
    const_cast<CEvent&>(ev).Serialize(ar);
    return bytes;
}

std::unique_ptr<CEvent> Load(const QByteArray& bytes, CArchive* arOut = nullptr)
{
    CArchive ar(bytes);
    auto ev = std::make_unique<CEvent>();
    ev->Serialize(ar);
    if (arOut) {
        arOut->m_textsOnNewPageBars = ar.m_textsOnNewPageBars;
        arOut->m_textsOnOtherBars = ar.m_textsOnOtherBars;
    }
    EXPECT_TRUE(ar.AtEnd());
    return ev;
}

TEST(Event, BarWithZeroTimeSignatureBecomesFourFour)
{
    CEvent bar(EventType::Bar, 0);
    EXPECT_EQ(bar.GetTimeSigNumerator(), 4u);
    EXPECT_EQ(bar.GetTimeSigDenominator(), 4u);

    // Only the time signature is mended; the repeat bits stay.
    CEvent half(EventType::Bar, 3 | EventBits::RepeatGroupStart);
    EXPECT_EQ(half.m_word2, TimeSigWord(4, 4) | EventBits::RepeatGroupStart);

    // Notes are never touched.
    CEvent note(38, 0);
    EXPECT_EQ(note.m_word2, 0u);
}

TEST(Event, EmptyTextSavesAsEightBytesAndLoadsNull)
{
    const QString empty;
    CEvent bar(EventType::Bar, TimeSigWord(4, 4), 0, &empty);
    ASSERT_TRUE(bar.GetTextOrNull());
    EXPECT_FALSE(bar.HasText());
    const QByteArray bytes = Store(bar);
    ASSERT_EQ(bytes.size(), 8);
    EXPECT_EQ(uint8_t(bytes[3]) & 0x40, 0);
    auto loaded = Load(bytes);
    EXPECT_EQ(loaded->GetTextOrNull(), nullptr);
}

TEST(Event, LongCommentIsCutToHundredCharactersOnSave)
{
    CEvent bar(EventType::Bar, TimeSigWord(4, 4), 0, QString(150, QLatin1Char('c')));
    const QByteArray bytes = Store(bar);
    ASSERT_EQ(bytes.size(), 8 + 1 + 100);
    EXPECT_EQ(uint8_t(bytes[8]), 100);
    EXPECT_NE(uint8_t(bytes[3]) & 0x40, 0);
    // In memory the text stays whole until saved.
    EXPECT_EQ(bar.GetText().size(), 150);

    CArchive counters(QByteArray{});
    auto loaded = Load(bytes, &counters);
    EXPECT_EQ(loaded->GetText(), QString(100, QLatin1Char('c')));
    EXPECT_EQ(loaded->m_word1 & EventBits::TextFollows, 0u);
    EXPECT_EQ(counters.m_textsOnOtherBars, 1);
    EXPECT_EQ(counters.m_textsOnNewPageBars, 0);
}

TEST(Event, EmptyStoredTextIsNotCountedAsText)
{
    // Only a damaged or foreign file holds one: the bit is set but the string is empty.
    const QByteArray bytes = QByteArray::fromHex("64000040" "04010000" "00");
    CArchive counters(QByteArray{});
    auto loaded = Load(bytes, &counters);
    EXPECT_FALSE(loaded->HasText());
    EXPECT_EQ(loaded->m_word1 & EventBits::TextFollows, 0u);
    EXPECT_EQ(counters.m_textsOnOtherBars, 0);
    EXPECT_EQ(counters.m_textsOnNewPageBars, 0);
}

TEST(Event, TextBitOnNoteIsKeptAndReadsNoString)
{
    CEvent note(38 | EventBits::TextFollows, 48);
    const QByteArray bytes = Store(note);
    ASSERT_EQ(bytes.size(), 8);
    EXPECT_NE(uint8_t(bytes[3]) & 0x40, 0);
    auto loaded = Load(bytes);
    EXPECT_EQ(loaded->m_word1, 38 | EventBits::TextFollows);
    EXPECT_EQ(loaded->GetTextOrNull(), nullptr);
}

TEST(Event, NotesAndRepeatsNeverWriteText)
{
    CEvent note(38, 48, 0, QStringLiteral("lyric"));
    EXPECT_EQ(Store(note).size(), 8);
    CEvent rep(EventType::RepeatPrevMeasures, RepeatPrevWord(2, 1), 0, QStringLiteral("x"));
    EXPECT_EQ(Store(rep).size(), 8);
}

TEST(Event, CopyKeepsBarTextOnlyAndCutsIt)
{
    CEvent bar(EventType::Bar | TempoBits(90), TimeSigWord(3, 4), 77, QString(120, QLatin1Char('t')));
    bar.SetLayoutPos(5);
    bar.SetRunTime2(9);
    CEvent copy(bar);
    EXPECT_EQ(copy.m_word1, bar.m_word1);
    EXPECT_EQ(copy.m_word2, bar.m_word2);
    EXPECT_EQ(copy.GetImportRef(), 77u);
    EXPECT_EQ(copy.GetText().size(), 100);
    EXPECT_EQ(copy.GetLayoutPos(), 0u);
    EXPECT_EQ(copy.GetRunTime2(), 0u);

    CEvent note(38, 0, 0, QStringLiteral("x"));
    EXPECT_EQ(CEvent(note).GetTextOrNull(), nullptr);
    const QString empty;
    CEvent emptyBar(EventType::Bar, TimeSigWord(4, 4), 0, &empty);
    EXPECT_EQ(CEvent(emptyBar).GetTextOrNull(), nullptr);
}

TEST(Event, PackedFields)
{
    CEvent rep(EventType::RepeatPrevMeasures, (1u << 15) | (3u << 16) | (5u << 19) | TimeSigWord(4, 4));
    EXPECT_EQ(rep.GetRepeatPrevNMeasures(), 11u);
    EXPECT_EQ(rep.GetRepeatPrevCount(), 5u);
    EXPECT_TRUE(rep.IsRepeatPrev());
    EXPECT_EQ(CEvent(EventType::RepeatPrevMeasures, RepeatPrevWord(11, 5)).m_word2, rep.m_word2);

    CEvent tripletNote(42 | EventBits::Triplet, 16);
    EXPECT_EQ(tripletNote.GetTick(), 1u);
    EXPECT_TRUE(tripletNote.IsTriplet());

    CEvent bar(EventType::Bar | TempoBits(200) | PatchBits(33),
               TimeSigWord(7, 8) | EventBits::RepeatGroupEnd | (3u << EventBits::AltEndShift));
    EXPECT_EQ(bar.GetTempo(), 200u);
    EXPECT_EQ(bar.GetPatch(), 33u);
    EXPECT_EQ(bar.GetTimeSigNumerator(), 7u);
    EXPECT_EQ(bar.GetTimeSigDenominator(), 8u);
    EXPECT_TRUE(bar.IsRepeatGroupEnd());
    EXPECT_FALSE(bar.IsRepeatGroupStart());
    EXPECT_EQ(bar.GetRepeatGroupAltEnd(), 3u);
    EXPECT_EQ(bar.GetMeasureTicks(), 28u);
    EXPECT_EQ(bar.GetMeasurePositions(), 336u);

    // Tempo and patch read 0 without their present bits.
    CEvent plain(EventType::Bar | (120u << EventBits::TempoShift), TimeSigWord(4, 4));
    EXPECT_EQ(plain.GetTempo(), 0u);
    EXPECT_EQ(plain.GetPatch(), 0u);

    CEvent guitar(64, 96 | (2u << EventBits::StringShift));
    EXPECT_EQ(guitar.GetString(), 2u);
    EXPECT_EQ(guitar.GetPosition(), 96u);
}

TEST(Event, ToggleDynamicIsExclusive)
{
    CEvent note(38 | EventBits::Ghost, 0);
    note.ToggleDynamic(EventBits::Accent);
    EXPECT_TRUE(note.IsAccent());
    EXPECT_FALSE(note.IsGhost());
    note.ToggleDynamic(EventBits::Accent);
    EXPECT_EQ(note.m_word1, 38u);
    note.ToggleDynamic(EventBits::FlamOrPM);
    EXPECT_EQ(note.m_word1, 38u | EventBits::FlamOrPM);
}

TEST(Event, SetTextDropsEmptyText)
{
    CEvent bar(EventType::Bar, TimeSigWord(4, 4));
    bar.SetText(QStringLiteral("Verse"));
    EXPECT_EQ(bar.GetText(), QStringLiteral("Verse"));
    bar.SetText(QString());
    EXPECT_EQ(bar.GetTextOrNull(), nullptr);
}

struct SWidthCase
{
    uint32_t word1, word2;
    int width;
};

class DisplayWidth : public testing::TestWithParam<SWidthCase>
{
};

TEST_P(DisplayWidth, Pixels)
{
    const SWidthCase& c = GetParam();
    EXPECT_EQ(CEvent(c.word1, c.word2).GetDisplayWidth(), c.width);
}

INSTANTIATE_TEST_SUITE_P(Event, DisplayWidth,
    testing::Values(SWidthCase{EventType::Bar, TimeSigWord(6, 8), 212},
                    SWidthCase{EventType::Bar, TimeSigWord(4, 4), 276},
                    SWidthCase{EventType::Bar, TimeSigWord(4, 4) | EventBits::TimeSigShown, 298},
                    SWidthCase{EventType::Bar, TimeSigWord(7, 16), 132},
                    SWidthCase{EventType::Bar, TimeSigWord(9, 32), 92},
                    SWidthCase{EventType::Bar, TimeSigWord(3, 2), 404},
                    SWidthCase{EventType::Bar, TimeSigWord(1, 1), 276},
                    SWidthCase{EventType::RepeatPrevMeasures, RepeatPrevWord(1, 1), 67},
                    SWidthCase{EventType::RepeatPrevMeasures, RepeatPrevWord(9, 1), 102}));

TEST(Event, StaffStepsOfGuitarAndBass)
{
    EXPECT_EQ(CEvent(65, 0).GetStaffStep(30, false), 0);
    EXPECT_EQ(CEvent(35, 0).GetStaffStep(30, false), 18);
    EXPECT_EQ(CEvent(99, 0).GetStaffStep(31, false), -20);
    EXPECT_EQ(CEvent(77, 0).GetStaffStep(30, true), 0); // an octave down: 77 sits where 65 does
    EXPECT_EQ(CEvent(45, 0).GetStaffStep(20, false), 0);
    EXPECT_EQ(CEvent(23, 0).GetStaffStep(21, false), 13);
    EXPECT_EQ(CEvent(87, 0).GetStaffStep(22, false), -25);
    // Sharps share the natural below, flats the natural above.
    EXPECT_EQ(CEvent(66, 0).GetStaffStep(30, false), 0);
    EXPECT_EQ(CEvent(66, 0).GetAccidental(30), 1);
    EXPECT_EQ(CEvent(63, 0).GetStaffStep(30, false), 1);
    EXPECT_EQ(CEvent(63, 0).GetAccidental(30), -1);
    EXPECT_EQ(CEvent(70, 0).GetAccidental(20), -1);
    EXPECT_EQ(CEvent(64, 0).GetAccidental(30), 0);
}

TEST(Event, StaffStepOutsideTableReportsInternalProblem)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    EXPECT_EQ(CEvent(34, 0).GetStaffStep(30, false), -22);
    EXPECT_EQ(CEvent(88, 0).GetStaffStep(20, false), -22);
    ASSERT_EQ(report.m_messages.size(), 2);
    EXPECT_TRUE(report.m_messages[0].startsWith(QStringLiteral("Kadenzo has encountered an internal problem at event:")));
}

TEST(Event, GroupsAndTails)
{
    EXPECT_TRUE(CEvent(42, 0).IsCymbal());
    EXPECT_TRUE(CEvent(56, 0).IsSnare());
    EXPECT_TRUE(CEvent(41, 0).IsTom());
    EXPECT_TRUE(CEvent(44, 0).IsBassDrum());
    EXPECT_TRUE(CEvent(39, 0).IsPercussion());
    EXPECT_TRUE(CEvent(62, 0).IsBongoOrConga());
    EXPECT_FALSE(CEvent(34, 0).IsCymbal());

    // US/UK layout: bass drum stems down, snare up; an override wins.
    EXPECT_FALSE(CEvent(36, 0).GetTailDirection(10));
    EXPECT_TRUE(CEvent(38, 0).GetTailDirection(10));
    EXPECT_TRUE(CEvent(36 | EventBits::TailOverride | EventBits::TailDirection, 0).GetTailDirection(10));
    EXPECT_FALSE(CEvent(38 | EventBits::TailOverride, 0).GetTailDirection(10));
    EXPECT_TRUE(CEvent(36, 0).GetTailDirection(30));
}

} // namespace

#include "songrules.h"

namespace {
TEST(SongRules, TimeSignatureShownOnFirstBarAndOnChanges)
{
    CEventList events;
    AppendEvent(events, EventType::Bar, TimeSigWord(4, 4) | EventBits::TimeSigShown);
    AppendEvent(events, 38, 0);
    AppendEvent(events, EventType::Bar, TimeSigWord(4, 4) | EventBits::TimeSigShown);
    AppendEvent(events, EventType::Bar, TimeSigWord(3, 4));
    AppendEvent(events, EventType::RepeatPrevMeasures, RepeatPrevWord(1, 1, 3, 4));
    AppendEvent(events, EventType::Bar, TimeSigWord(3, 4));
    AppendEvent(events, EventType::Bar, TimeSigWord(4, 4));
    MarkShownTimeSignatures(events);
    std::vector<bool> shown;
    for (const auto& ev : events)
        if (ev.IsBar())
            shown.push_back(ev.IsTimeSigShown());
    EXPECT_EQ(shown, (std::vector<bool>{true, false, true, false, true}));
}
}
