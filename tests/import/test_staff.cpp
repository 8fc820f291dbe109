// Staff decoding in Linear time: bar lengths, note positions, triplets, double strokes,
// accents, long staves and the bar issues.

#include "importtestutil.h"

#include <gtest/gtest.h>

namespace {
struct SBarCase
{
    const char* name;
    std::string tab;
    std::string bars;
};

class BarLengths : public ::testing::TestWithParam<SBarCase>
{
};

TEST_P(BarLengths, FollowTheColumns)
{
    auto r = RunImport(GetParam().tab);
    ASSERT_GE(r->blocks, 1);
    EXPECT_EQ(BarsText(r->doc.Events()), GetParam().bars);
}

// A second staff with plain 16-column bars keeps the tick length at a 16th per column.
const std::string kRef = "\nHH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|o-------o-------|\n";

INSTANTIATE_TEST_SUITE_P(
    Staff, BarLengths,
    ::testing::Values(SBarCase{"Sixteen", "HH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n", "|4/4"},
                      SBarCase{"Twelve", "HH|x-x-x-x-x-x-|\nBD|o-------o---|\n" + kRef, "|3/4 |4/4 |4/4"},
                      SBarCase{"Fifteen", "HH|x-x-x-x-x-x-x-x|\nBD|o-------o------|\n" + kRef, "|15/16 |4/4 |4/4"},
                      SBarCase{"Fourteen", "HH|x-x-x-x-x-x-x-|\nBD|o-------o-----|\n" + kRef, "|7/8 |4/4 |4/4"},
                      SBarCase{"TextBarSetsNoMeasure", "HH| 3/4 |x-x-x-x-x-x-|\nBD|     |o-------o---|\n" + kRef,
                               "|3/4 |4/4 |4/4"},
                      SBarCase{"Split", "HH|x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-|\nBD|o-------o-------o-------o-------o-------|\n",
                               "|4/4 |4/4 |2/4"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Staff, NotesAtTheirColumns)
{
    auto r = RunImport("HH|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\nBD|o-------o-o-----|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(SongText(r->doc.Events()),
              "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 36@240 42@288 38@288 42@336");
    EXPECT_EQ(r->imp.m_barTotal, 1);
    EXPECT_EQ(r->imp.m_blockCount, 1);
}

TEST(Staff, ThirtySecondColumns)
{
    std::string bar32 = "|x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-|";
    auto r = RunImport("HH" + bar32 + "\nBD|o---------------o---------------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->imp.m_ticksPerChar, 1);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4");
    EXPECT_EQ(r->doc.Events().back().GetPosition(), 360u);
}

TEST(Staff, MostFrequentTickCountWinsAndTheOddLineIsReported)
{
    auto r = RunImport("HH|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\nBD|o-------o-------o|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4");
    int inconsistent = 0;
    for (const CImportIssue& issue : r->imp.m_issues) {
        if (issue.m_id == ImportIssue::InconsistentTicks) {
            ++inconsistent;
            EXPECT_EQ(issue.m_line, 2);
        } else {
            EXPECT_EQ(issue.m_id, ImportIssue::MisalignedBarSeparator); // its '|' stands one further
        }
    }
    EXPECT_EQ(inconsistent, 1);
}

TEST(Staff, BogusFirstTickIsDroppedUnlessItHoldsANote)
{
    // Every bar has 17 columns, so the census takes the first as bogus.
    auto r = RunImport("HH|-x-x-x-x-x-x-x-x-|xx-x-x-x-x-x-x-x-|\nBD|-o-------o-------|-o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_TRUE(r->imp.m_bogusFirstTick);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |17/16");
    EXPECT_TRUE(r->HasIssue(ImportIssue::BogusFirstTickNote));
    // In the first bar the note after the dropped column is on the beat.
    EXPECT_EQ(SongText(r->doc.Events()).substr(0, 17), "|4/4 42@0 36@0 42");
}

TEST(Staff, SplitLongBarRecordsIssue)
{
    auto r = RunImport("HH|x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-|\nBD|o-------o-------o-------o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_TRUE(r->HasIssue(ImportIssue::MeasureTooLong));
    // The notes after the first 4/4 restart at position 0.
    const std::string song = SongText(r->doc.Events());
    EXPECT_NE(song.find("|4/4 42@0 36@0 42@48"), std::string::npos);
    EXPECT_NE(song.find("|2/4 42@0 36@0 42@48 42@96 42@144"), std::string::npos);
}

TEST(Staff, OptionsFromTheTimeKeyDialogApplyOnReimport)
{
    CTabImporter::STimeOptions options;
    options.roundToCommon = true;
    options.splitLongMeasures = false;
    auto round = RunImport("HH|x-x-x-x-x-x-x-x|\nBD|o-------o------|\n", &options);
    EXPECT_EQ(BarsText(round->doc.Events()), "|4/4");
    auto noSplit = RunImport("HH|x-x-x-x-x-x-x-x-x-x-|\nBD|o-------o-------o---|\n", &options);
    EXPECT_EQ(BarsText(noSplit->doc.Events()), "|5/4");
}

TEST(Staff, DoubleStrokeGivesTwoNotesHalfAColumnApart)
{
    auto r = RunImport("SD|d-------o-------|\nBD|o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(SongText(r->doc.Events()), "|4/4 38@0 36@0 38@12 38@192 36@192");
}

TEST(Staff, OneInstrumentOnTwoLinesGivesEachHitOnce)
{
    // The second snare line stands two columns right of the others; in the second bar its
    // hit on the 1 repeats the first line's double stroke, whose second hit goes in before
    // the bass drum's. The staff after it, of other columns, reads its own.
    auto r = RunImport("HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n"
                       "SD|----o-------o---|d-------o-------|\n"
                       "  SD|----o---o---o---|o---------------|\n"
                       "BD|o-------o-------|o-------o-------|\n"
                       "\n"
                       "HH|x---x---x---x---|\n"
                       "BD|--o---o---o---o-|\n");
    ASSERT_EQ(r->blocks, 2);
    EXPECT_EQ(SongText(r->doc.Events()),
              "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 38@192 36@192 42@240 42@288 38@288 42@336"
              " |4/4 42@0 38@0 36@0 38@12 42@48 42@96 42@144 42@192 38@192 36@192 42@240 42@288 42@336"
              " |4/4 42@0 36@48 42@96 36@144 42@192 36@240 42@288 36@336");
}

TEST(Staff, TripletsFromTMarks)
{
    // t-t-t: spacing 2, each column inside advances 16 units, hits 32 apart.
    auto spaced = RunImport("HH|t-t-t-x-x-x-x-x-x-|\nBD|o-------o-------o-|\n"
                            "\nHH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n");
    ASSERT_EQ(spaced->blocks, 2);
    const std::string s = SongText(spaced->doc.Events());
    EXPECT_EQ(s.substr(0, 40), "|4/4 52@0t 36@0t 52@32t 52@64t 42@96 42@");
    // ttt in adjacent columns: 16 apart.
    auto tight = RunImport("HH|tttx-x-x-x-x-x-x-|\nBD|o-------o-------|\n");
    EXPECT_EQ(SongText(tight->doc.Events()).substr(0, 28), "|4/4 52@0t 36@0t 52@16t 52@3");
}

TEST(Staff, AccentMarkInTheCommentAbove)
{
    auto r = RunImport("   >       >\nHH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->TypeOf(1), LineType::PreComment);
    const std::string s = SongText(r->doc.Events());
    EXPECT_EQ(s.substr(0, 20), "|4/4 42@0! 36@0! 42@");
    EXPECT_NE(s.find("42@192! 36@192!"), std::string::npos);
}

TEST(Staff, EveryBarOfALongStaffIsConverted)
{
    std::string hh = "HH", bd = "BD";
    for (int i = 0; i < 80; ++i) {
        hh += "|x-x-x-x-x-x-x-x-";
        bd += "|o-------o-------";
    }
    auto r = RunImport(hh + "|\n" + bd + "|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->imp.m_barTotal, 80);
    EXPECT_FALSE(r->HasIssue(ImportIssue::TooManyBars));
    // Every bar's notes are there; column references wrap at 1024 but the notes do not.
    int notes = 0;
    for (const auto& ev : r->doc.Events())
        notes += ev.IsNote();
    EXPECT_EQ(notes, 80 * 10);
}

TEST(Staff, MisalignedSeparatorIsReportedAndTheLineReadInPlace)
{
    auto r = RunImport("HH |x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_TRUE(r->HasIssue(ImportIssue::MisalignedBarSeparator));
    EXPECT_EQ(SongText(r->doc.Events()).substr(0, 20), "|4/4 42@0 36@0 42@48");
}

TEST(Staff, UnclosedLastBarOfOneLineIsClosed)
{
    auto r = RunImport("HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|o-------o\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
    EXPECT_FALSE(r->HasIssue(ImportIssue::InconsistentTicks));
}

TEST(Staff, ImportReferenceOnTheFirstMeasureOfEachBlock)
{
    auto r = RunImport("HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|o-------o-------|\n"
                       "\nHH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n");
    ASSERT_EQ(r->blocks, 2);
    std::vector<const CEvent*> bars;
    for (const auto& ev : r->doc.Events())
        if (ev.IsBar())
            bars.push_back(&ev);
    ASSERT_EQ(bars.size(), 3u);
    EXPECT_TRUE(bars[0]->m_word1 & EventBits::ImportedLineStart);
    EXPECT_EQ(bars[0]->GetImportRef(), (0u << 10) | 3u);
    EXPECT_FALSE(bars[1]->m_word1 & EventBits::ImportedLineStart);
    EXPECT_EQ(bars[1]->GetImportRef(), 0u);
    EXPECT_TRUE(bars[2]->m_word1 & EventBits::ImportedLineStart);
    EXPECT_EQ(bars[2]->GetImportRef(), (3u << 10) | 3u);
    // Notes point at their staff line and column.
    auto it = r->doc.Events().begin();
    ++it;
    EXPECT_EQ(it->GetImportRef(), (0u << 10) | 3u);
}

TEST(Staff, StaffWithoutBarsGoesBackToUnknown)
{
    auto r = RunImport("HH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n\nAB|ab cd ef gh     |\nCD|ij kl mn op qr   |\n");
    ASSERT_EQ(r->blocks, 2); // a block counts once its conversion starts
    EXPECT_EQ(r->imp.m_barTotal, 1);
    EXPECT_NE(r->TypeOf(4), LineType::StaffLine);
}
} // namespace

namespace {
TEST(Staff, IssueOnAShortFirstLineStaysAnEmptySpan)
{
    auto r = RunImport("C |x---------------|\nHH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-|\n"
                       "BD|o-------o-------|o-------o-------o-------o-------o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4 |4/4 |2/4");
    ASSERT_TRUE(r->HasIssue(ImportIssue::MeasureTooLong));
    for (const CImportIssue& issue : r->imp.m_issues)
        EXPECT_LE(issue.m_start, issue.m_end);
}
} // namespace

namespace {
// The label of a 1-based staff line, as its label record keeps it ("" without one).
std::string LabelOfLine(const SImported& r, int lineNo)
{
    const int slot = r.imp.m_lines[size_t(lineNo - 1)].m_labelIndex;
    return slot < 0 ? std::string() : std::string(r.imp.m_labels[size_t(slot)].label);
}

TEST(Staff, SignatureInFrontOfTheLabelIsNoPartOfIt)
{
    auto r = RunImport("3/4 HH|x-x-x-x-x-x-|\n    SD|----o-------|\n    BD|o-------o---|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(LabelOfLine(*r, 1), "HH");
    EXPECT_EQ(LabelOfLine(*r, 2), "SD");
    EXPECT_EQ(BarsText(r->doc.Events()), "|3/4");
    // Labels of two words, or starting with a digit, keep all of it.
    auto words = RunImport("Hi Hat|x-x-x-x-x-x-x-x-|\nSnare |----o-------o---|\n");
    ASSERT_EQ(words->blocks, 1);
    EXPECT_EQ(LabelOfLine(*words, 1), "Hi Hat");
    auto toms = RunImport("HH|x-x-x-x-x-x-x-x-|\n1T|------------oo--|\n2T|--------------oo|\n");
    ASSERT_EQ(toms->blocks, 1);
    EXPECT_EQ(LabelOfLine(*toms, 2), "1T");
}

TEST(Staff, TheLineWithMostBarLinesGovernsTheBars)
{
    // Bar lines past the first eight columns and in the last few, on a line longer than the
    // first: every bar of the staff is read.
    auto r = RunImport("C |x---------------|\n"
                       "HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|x-x-|\n"
                       "BD|o-------o-------|o-------o-------|o-------o-------|o-------o-------|o---|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4 |4/4 |4/4 |1/4");
}
} // namespace
