// Line classification: the separator census, the fatal messages, the staff line test, the
// staff groups and the tab type.

#include "importtestutil.h"

#include <gtest/gtest.h>

namespace {
std::string Staff(const std::string& label, int lines = 1, char bar = '|')
{
    std::string s;
    for (int i = 0; i < lines; ++i)
        s += label + bar + "x-x-x-x-x-x-x-x-" + bar + "x-x-x-x-x-x-x-x-" + bar + "\n";
    return s;
}

TEST(Census, PipeIsTheUsualSeparator)
{
    auto r = RunImport("HH|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\nBD|o-------o-------|\n");
    EXPECT_EQ(r->blocks, 1);
    EXPECT_EQ(r->imp.m_barChar, '|');
    EXPECT_EQ(r->imp.m_tickChar, '-');
    EXPECT_EQ(r->imp.m_ticksPerChar, 2);
    EXPECT_EQ(r->doc.m_trackType, 0u + TrackType::Drums); // a fresh doc; the opener sets it
}

TEST(Census, CapitalIAsSeparator)
{
    auto r = RunImport("HHIx-x-x-x-x-x-x-x-Ix-x-x-x-x-x-x-x-I\nSDI----o-------o---I----o-------o---I\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->imp.m_barChar, 'I');
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
}

struct SFatalCase
{
    const char* name;
    const char* text;
    const char* message;
};

class FatalImports : public ::testing::TestWithParam<SFatalCase>
{
};

TEST_P(FatalImports, FailWithTheirMessageAndNoEvents)
{
    auto r = RunImport(GetParam().text);
    EXPECT_EQ(r->blocks, -1);
    EXPECT_EQ(r->imp.m_fatalMessage, QString::fromLatin1(GetParam().message));
    EXPECT_TRUE(r->report.m_messages.contains(QString::fromLatin1(GetParam().message)));
    EXPECT_TRUE(r->doc.Events().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Census, FatalImports,
    ::testing::Values(
        SFatalCase{"NoStaff", "Just some words\nand more words\n",
                   "Import failed: Cannot find valid bar separators, expecting '|' or 'I'"},
        SFatalCase{"FewTicks", "a-b c-d\ne-f\ng-h|i|j|\n", "Cannot find enough tick '-' marks "},
        SFatalCase{"RareI", "I I I\nx-x-x-x-x\nx-x-x-x-x\nx-x-x-x-x\nx-x-x-x-x\n",
                   "Import failed: Cannot find valid bar separators, expecting '|' or 'I'"},
        SFatalCase{"Empty", "", "Import failed: Cannot find valid bar separators, expecting '|' or 'I'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StaffGroups, SixteenLinesAbortFifteenPass)
{
    std::string fifteen;
    for (int i = 0; i < 15; ++i)
        fifteen += Staff("T" + std::to_string(i % 10));
    auto ok = RunImport(fifteen);
    EXPECT_EQ(ok->blocks, 1);
    auto bad = RunImport(fifteen + Staff("XX"));
    EXPECT_EQ(bad->blocks, -1);
    EXPECT_EQ(bad->imp.m_fatalMessage,
              QStringLiteral("Unrecogized tab format (staff groups are too long). Import aborted"));
}

struct SStaffCase
{
    const char* name;
    const char* line;
    bool staff;
};

class StaffLineTest : public ::testing::TestWithParam<SStaffCase>
{
};

// The line stands between two plain staff lines, so the group pass judges it in context.
TEST_P(StaffLineTest, Decides)
{
    const std::string tab = std::string("HH|x-x-x-x-x-x-x-x-|\n") + GetParam().line + "\nBD|o-------o-------|\n";
    auto r = RunImport(tab);
    ASSERT_GE(r->blocks, 0);
    EXPECT_EQ(r->TypeOf(2) == LineType::StaffLine, GetParam().staff) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    Census, StaffLineTest,
    ::testing::Values(SStaffCase{"Plain", "SD|----o-------o---|", true},
                      SStaffCase{"HiHatWord", "hi-hat|x-x-x-x-x-|", true},
                      SStaffCase{"CountWord", "count|x-x-x-x-x-x-x-x-|", false},
                      SStaffCase{"Short", "S|x-x|", false},
                      SStaffCase{"IndentedLabel", "       SD|----o---|", true},
                      SStaffCase{"IndentedProse", "        some text | more -- words | and more", false},
                      SStaffCase{"LegendInAHeader", "Legend: |-x-|: closed hat |-o-|: open hat", false},
                      SStaffCase{"KeyValuePairs", "Song: Demo  Tempo: 100 |x-x-x-x-|", false},
                      SStaffCase{"RestBarBesideNotes", "SD|----o---|  rest  |", true},
                      SStaffCase{"DoubleStrokeRuns", "SD|--dddd--dddd--dddd--f--|--ddoodddddddd---------|", true},
                      SStaffCase{"NoteRunsWithoutTicks", "SD|xxxxoooooooo|gggg|", true},
                      SStaffCase{"RepeatAfterLastBar", "SD|----o-------o---| repeat x4", true},
                      SStaffCase{"RepeatBeforeLastBar", "SD|--- repeat ---|----|", false},
                      SStaffCase{"CountLine", "  |1 e + a 2 e + a |", false},
                      SStaffCase{"StartsWithPunctuation", "*SD|----o-------o---|", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StaffGroups, BlankLinesSeparateGroupsAndCommentsAreFound)
{
    const std::string tab = "Verse\n" + Staff("HH") + Staff("BD") + "\n" + Staff("HH") + Staff("BD") + "play softer\n";
    auto r = RunImport(tab);
    EXPECT_EQ(r->blocks, 2);
    EXPECT_EQ(r->TypeOf(1), LineType::PreComment);
    EXPECT_EQ(r->TypeOf(2), LineType::StaffLine);
    EXPECT_EQ(r->TypeOf(4), LineType::Blank);
    EXPECT_EQ(r->TypeOf(7), LineType::PostComment);
}

TEST(StaffGroups, ALineJoinsTheStaffAboveItInTheSecondScan)
{
    // Lines of one-letter labels and strokes on every column: the second line stands with
    // the first only once the first is known as a staff line (which the first scan, counting
    // staves, does not keep). Run twice over, the verdict on it must not be the first scan's.
    const std::string tab = "H|xxxxxxxx|\nS|oooooooo|\n\nH|xxxxxxxx|\nS|oooooooo|\n";
    auto r = RunImport(tab);
    EXPECT_EQ(r->TypeOf(1), LineType::StaffLine);
    EXPECT_EQ(r->TypeOf(2), LineType::StaffLine);
    EXPECT_NE(SongText(r->doc.Events()).find(" 38@0"), std::string::npos);
}

TEST(TabType, GuitarTabWarnsAndImportsAsDrums)
{
    std::string tab;
    for (int g = 0; g < 3; ++g) {
        for (const char* s : {"e", "B", "G", "D", "A", "E"})
            tab += std::string(s) + "|-----3-----------|-----5-----------|\n";
        tab += "\n";
    }
    auto r = RunImport(tab);
    EXPECT_GE(r->blocks, 1);
    EXPECT_TRUE(r->report.m_messages.contains(QStringLiteral("WARNING: This tab does not look like a drum tab")));
    EXPECT_EQ(r->imp.m_tabType, int(TrackType::Drums));
}

TEST(TabType, GuitarAndBassStavesOfABandTabAreLeftOut)
{
    const QString leftOut = QStringLiteral("WARNING: The guitar and bass staves of this tab were left out");
    const QString notDrums = QStringLiteral("WARNING: This tab does not look like a drum tab");
    const std::string guitar = "e|-----------------|\nB|-----------------|\nG|-----7-----7-----|\n"
                               "D|---7---7-7---7---|\nA|-5---------------|\nE|-----------------|\n";
    const std::string bass = "G: |-----------------|\nD: |-----------------|\nA: |-----------------|\nE: |-0-0-0-0-3-3-3-3-|\n";
    const std::string drums = "HH|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\nBD|o-------o-------|\n";
    const std::string tab = "Guitar:\n" + guitar + "\nDrums:\n" + drums + "\nBass:\n" + bass;
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(r->blocks, 1);
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4\"Drums:\" 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 "
                                             "42@288 38@288 42@336");
        EXPECT_TRUE(r->report.m_messages.contains(leftOut));
        EXPECT_FALSE(r->report.m_messages.contains(notDrums));
    }
    // A tab of strings alone is read as before, with its warning; a drum staff whose labels
    // are letters that also name strings is a drum staff.
    auto strings = RunImport(guitar + "\n" + bass);
    EXPECT_TRUE(strings->report.m_messages.contains(notDrums));
    EXPECT_FALSE(strings->report.m_messages.contains(leftOut));
    EXPECT_EQ(strings->blocks, 2);
    auto letters = RunImport("C |x---------------|\nH |--x-x-x-x-x-x-x-|\nS |----o-------o---|\nB |o-------o-------|\n\n" + guitar);
    EXPECT_EQ(letters->blocks, 1);
    EXPECT_EQ(SongText(letters->doc.Events()).substr(0, 19), "|4/4 49@0 36@0 42@4");
}

TEST(TabType, AStringStaffRightNextToTheDrumsIsLeftOut)
{
    const std::string guitar = "e|-----3-----3---|\nB|---3---3-----3-|\nG|-0-------0-----|\nD|---------------|\n"
                               "A|---------------|\nE|-3-------------|\n";
    const std::string bass = "G|----------------|\nD|----------------|\nA|--------------5-|\nE|3-------3-------|\n";
    const std::string drums = "HH|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\nBD|o-------o-------|\n";
    const std::string groove = "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336";
    // Above the drums, and below them, with no blank line between.
    for (const std::string& tab : {guitar + drums, bass + drums, drums + bass}) {
        for (const std::string& text : {tab, Crlf(tab)}) {
            auto r = RunImport(text);
            EXPECT_EQ(r->blocks, 1) << text;
            EXPECT_EQ(SongText(r->doc.Events()), groove) << text;
        }
    }
}

TEST(TabType, DrumLabelsGiveNoWarning)
{
    auto r = RunImport(Staff("HH") + Staff("SD") + Staff("BD"));
    EXPECT_FALSE(r->report.m_messages.contains(QStringLiteral("WARNING: This tab does not look like a drum tab")));
}

TEST(Census, CapitalsMeanAccentsOnlyWhenTheyAreRare)
{
    auto few = RunImport("HH|x-x-X-x-x-x-x-x-|\nBD|o-------o-------|\n");
    EXPECT_TRUE(few->imp.m_upperCaseAccents);
    auto many = RunImport("HH|X-X-X-X-X-X-X-X-|\nBD|o-------o-------|\n");
    EXPECT_FALSE(many->imp.m_upperCaseAccents);
}
} // namespace

// Short tabs that are plainly drums, with one or two lines a staff and labels that are also
// string names (B, C, G), give no warning; tables and chord charts with bar lines still do.
TEST(TabType, ShortDrumTabsGiveNoWarningButOtherTextsDo)
{
    const QString warning = QStringLiteral("WARNING: This tab does not look like a drum tab");
    const char* drums[] = {
        "H |x-x-x-x-x-x-x-x-|\n"
        "  |1.3.            |2.              |4.              |\n"
        "H |x---x---x---x---|xxxxxxxxxxxxxxxx|o-o-o-o-o-o-o-o-|\n"
        "\n"
        "H |o-o-o-o-o-o-o-o-|\n"
        "  |1.              |2.              |\n"
        "H |x-x-x-x-x-x-x-x-|xxxxxxxxxxxxxxxx|\n",
        " |------------repeat x2------------|\n"
        " |---repeat x2----|\n"
        "h|x-x-x-x-x-x-x-x-|x---x---x---x---|\n"
        "b|o-------o-------|o---o---o---o---|\n",
        "G = china\r\nG |X---------------|\r\nC |--------#-------|\r\nHH|----s-------s---|\r\nB |o-------o-------|\r\n",
        "C: |x---------------|\nB: |o-------o-------|\n",
        // Short bars, with and without a blank after the label.
        "H|x-x-x-|\nB|o-----|\n",
        "HH|x-x-x-x-|\nSD|----o---|\nBD|o-------|\n",
        "H |x-x-x-|\r\nS |--o---|\r\nB |o-----|\r\n",
    };
    for (const char* tab : drums) {
        auto r = RunImport(tab);
        EXPECT_GE(r->blocks, 1) << tab;
        EXPECT_FALSE(r->report.m_messages.contains(warning)) << tab;
    }
    const char* others[] = {
        "Name     | Size  | Date       | Owner |\n"
        "---------|-------|------------|-------|\n"
        "report   | 12 kB | 2020-01-01 | ann   |\n"
        "notes    | 3 kB  | 2020-02-01 | bob   |\n",
        "e|-------0-------0-|-------0---------|\n"
        "B|-----1-------1---|-----1-------1---|\n"
        "G|---2-------2-----|---2-------2-----|\n",
        // Short guitar bars still read as strings.
        "e|--0----|\nB|-1------|\nG|2-------|\nD|--------|\nA|--------|\nE|--------|\n\n"
        "e|--0----|\nB|-1------|\nG|2-------|\nD|--------|\nA|--------|\nE|--------|\n",
    };
    for (const char* text : others) {
        auto r = RunImport(text);
        EXPECT_TRUE(r->report.m_messages.contains(warning)) << text;
    }
}

TEST(TabType, OneLetterLabelsReadAlikeInLinesKeptAndCopied)
{
    // A TAB makes a line a copy of its own: the strokes or fret numbers after a one-letter
    // label are then looked for in the copy, and tell the same.
    const QString warning = QStringLiteral("WARNING: This tab does not look like a drum tab");
    for (const char* gap : {" ", "\t"}) {
        auto line = [gap](const char* label, const char* bars) { return std::string(label) + gap + bars + "\n"; };
        auto drums = RunImport(line("C", "|x---------------|") + line("B", "|o-------o-------|"));
        EXPECT_GE(drums->blocks, 1) << gap;
        EXPECT_FALSE(drums->report.m_messages.contains(warning)) << gap;
        auto strings = RunImport(line("e", "|-------0-------0-|") + line("B", "|-----1-------1---|")
                                 + line("G", "|---2-------2-----|"));
        EXPECT_TRUE(strings->report.m_messages.contains(warning)) << gap;
    }
}

TEST(Census, ColonsOfHeaderLinesAreNoBarLines)
{
    // As many "Field:" lines as the staff has bar lines: the colons stand in no staff.
    const std::string tab = "Title: Some Song\nArtist: Some Band\nTabbed by: me\nTempo: approx 118 bpm\n\n"
                            "H |x-x-x-x-x-x-o-x-|\nB |o-------o-------|\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(r->imp.m_barChar, '|');
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0 36@0 42@48 42@96 42@144 42@192 36@192 42@240 46@288 42@336");
    }
    // Colons between bars are read as bar lines still.
    auto colons = RunImport("HH:x-x-x-x-x-x-x-x-:x-x-x-x-x-x-x-x-:\nBD:o-------o-------:o-------o-------:\n");
    EXPECT_EQ(colons->imp.m_barChar, ':');
    EXPECT_EQ(BarsText(colons->doc.Events()), "|4/4 |4/4");
}
