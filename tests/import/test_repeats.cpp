// Repeats and endings: measure repeats, repeat groups from bar lines and from annotations,
// counts after a staff and over a group, alternate endings.

#include "importtestutil.h"
#include "textexport.h"

#include <gtest/gtest.h>

namespace {
const std::string kHH = "x-x-x-x-x-x-x-x-";
const std::string kBD = "o-------o-------";

struct SRepeatCase
{
    const char* name;
    std::string tab;
    std::string bars;
};

class Repeats : public ::testing::TestWithParam<SRepeatCase>
{
};

TEST_P(Repeats, BecomeMeasureFields)
{
    auto r = RunImport(GetParam().tab);
    ASSERT_GE(r->blocks, 1);
    EXPECT_EQ(BarsText(r->doc.Events()), GetParam().bars);
}

INSTANTIATE_TEST_SUITE_P(
    Tabs, Repeats,
    ::testing::Values(
        SRepeatCase{"OneMeasure", "HH|" + kHH + "|  ./.  |" + kHH + "|\nBD|" + kBD + "|       |" + kBD + "|\n",
                    "|4/4 %1*1 |4/4"},
        SRepeatCase{"TwoMeasures", "HH|" + kHH + "|" + kHH + "|  .//.  |\nBD|" + kBD + "|" + kBD + "|         |\n",
                    "|4/4 |4/4 %2*1"},
        SRepeatCase{"TwoInARow", "HH|" + kHH + "| ./. | ./. |\nBD|" + kBD + "|     |     |\n", "|4/4 %1*2"},
        SRepeatCase{"PercentBar", "HH|" + kHH + "|-------%--------|\nBD|" + kBD + "|----------------|\n",
                    "|4/4 %1*1"},
        // A '%' on every line of a wide blank bar, twice in a row, then a written bar.
        SRepeatCase{"PercentOnEveryLine",
                    "HH|" + kHH + "|       %        |       %        |" + kHH + "|\nSD|----o-------o---|       %        |"
                        "       %        |----o---oooooooo|\nBD|" + kBD + "|       %        |       %        |" + kBD + "|\n",
                    "|4/4 %1*2 |4/4"},
        SRepeatCase{"DoubleBarsWithDots", "HH||:" + kHH + "|" + kHH + ":||\nBD||:" + kBD + "|" + kBD + ":||\n",
                    "|4/4+s |4/4+e"},
        SRepeatCase{"MultiplierAfterStaff", "HH|" + kHH + "|" + kHH + "| x4\nBD|" + kBD + "|" + kBD + "|\n",
                    "|4/4 |4/4 %2*3"},
        SRepeatCase{"MultiplierFirstAfterStaff", "HH|" + kHH + "|" + kHH + "|  4x\nBD|" + kBD + "|" + kBD + "|\n",
                    "|4/4 |4/4 %2*3"},
        SRepeatCase{"BracketOverTwoBars",
                    "  |-------x3-----------------------|\nHH|" + kHH + "|" + kHH + "|" + kHH + "|\nBD|" + kBD + "|" + kBD
                        + "|" + kBD + "|\n",
                    "|4/4 |4/4 %2*2 |4/4"},
        SRepeatCase{"RepeatWordInBracket",
                    "  |----REPEAT-7X" + std::string(20, '-') + "|\nHH|" + kHH + "|" + kHH + "|\nBD|" + kBD + "|" + kBD + "|\n",
                    "|4/4 |4/4 %2*6"},
        SRepeatCase{"PlayTimesOverTheStaff",
                    "   play 4 times\nHH|" + kHH + "|" + kHH + "|\nBD|" + kBD + "|" + kBD + "|\n", "|4/4 |4/4 %2*3"},
        SRepeatCase{"CountOnTheClosingBarOfAGroup",
                    std::string(22, ' ') + "repeat 3 times\nHH||:" + kHH + "|" + kHH + ":||\nBD||:" + kBD + "|" + kBD + ":||\n",
                    "|4/4 |4/4 %2*2"},
        SRepeatCase{"Endings",
                    std::string(22, ' ') + "1." + std::string(17, ' ') + "2.\nHH||:" + kHH + "|" + kHH + ":||" + kHH
                        + "||\nBD||:" + kBD + "|" + kBD + ":||" + kBD + "||\n",
                    "|4/4+s |4/4+a1 |4/4+a2"},
        SRepeatCase{"CountAfterTheRepeatSign", "HH||:" + kHH + "|" + kHH + ":||\nBD||:" + kBD + "|" + kBD + ":|| x3\n",
                    "|4/4 |4/4 %2*2"},
        SRepeatCase{"TwiceAfterTheRepeatSign", "HH||:" + kHH + "|" + kHH + ":|| 2x\r\nBD||:" + kBD + "|" + kBD + ":||\r\n",
                    "|4/4 |4/4 %2*1"},
        SRepeatCase{"CountAfterAGroupLateInTheStaff",
                    "HH|" + kHH + "||:" + kHH + "|" + kHH + ":|| x3\nBD|" + kBD + "||:" + kBD + "|" + kBD + ":||\n",
                    "|4/4 |4/4 |4/4 %2*2"},
        SRepeatCase{"EndingsOverTheRepeatSign",
                    std::string(21, ' ') + "1st time" + std::string(10, ' ') + "2nd time\nHH||:" + kHH + "|" + kHH + ":||"
                        + kHH + "||\nBD||:" + kBD + "|" + kBD + ":||" + kBD + "||\n",
                    "|4/4+s |4/4+a1 |4/4+a2"},
        SRepeatCase{"RestBar", "HH|" + kHH + "|  rest  |\nBD|" + kBD + "|        |\n", "|4/4 |4/4"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Repeats, RestBarHoldsOneRest)
{
    auto r = RunImport("HH|" + kHH + "|  rest  |\nBD|" + kBD + "|        |\n");
    const std::string s = SongText(r->doc.Events());
    EXPECT_EQ(s.substr(s.size() - 8), "|4/4 r@0");
}

TEST(Repeats, EndingsOutOfSequence)
{
    auto r = RunImport(std::string(22, ' ') + "1." + std::string(17, ' ') + "3.\nHH||:" + kHH + "|" + kHH + ":||" + kHH
                       + "||\nBD||:" + kBD + "|" + kBD + ":||" + kBD + "||\n");
    EXPECT_TRUE(r->HasIssue(ImportIssue::EndingOutOfSequence));
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4+s |4/4+a1 |4/4+a3");
}

TEST(Repeats, EndingOnTheFirstStaffIsIgnored)
{
    auto r = RunImport("   1.\nHH|" + kHH + "|\nBD|" + kBD + "|\n");
    EXPECT_TRUE(r->HasIssue(ImportIssue::EndingOnFirstMeasure));
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4");
}

TEST(Repeats, EndingWithoutGroupStartOpensOneAtTheStaffStart)
{
    auto r = RunImport(std::string(20, ' ') + "1." + std::string(15, ' ') + "2.\nHH|" + kHH + "|" + kHH + "|" + kHH
                       + "|\nBD|" + kBD + "|" + kBD + "|" + kBD + "|\n");
    EXPECT_TRUE(r->HasIssue(ImportIssue::EndingWithoutGroup));
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4+s |4/4+a1 |4/4+a2");
}

TEST(Repeats, EndingOnTheFirstBarOfALaterStaffStartsAtThePreviousStaff)
{
    auto r = RunImport("HH|" + kHH + "|\nBD|" + kBD + "|\n\n   2.\nHH|" + kHH + "|\nBD|" + kBD + "|\n");
    EXPECT_TRUE(r->HasIssue(ImportIssue::EndingWithoutGroup));
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4+s |4/4+a2");
}

TEST(Repeats, RepeatEndOutsideAGroup)
{
    auto r = RunImport("HH|" + kHH + ":||" + kHH + "|\nBD|" + kBD + ":||" + kBD + "|\n");
    EXPECT_TRUE(r->HasIssue(ImportIssue::RepeatEndOutsideGroup));
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
}

TEST(Repeats, MeasureRepeatCannotStartAnEnding)
{
    auto r = RunImport(std::string(22, ' ') + "1.\nHH||:" + kHH + "|  ./.  |\nBD||:" + kBD + "|       |\n");
    EXPECT_TRUE(r->HasIssue(ImportIssue::RepeatPrevAsEnding));
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4+s |4/4+a1");
}

TEST(Repeats, MissingDoubleBarOnOneLineIsReported)
{
    auto r = RunImport("HH||:" + kHH + ":||\nBD| :" + kBD + ":||\n");
    EXPECT_TRUE(r->HasIssue(ImportIssue::MisalignedDoubleBar));
}

TEST(Repeats, AnnotationLineBecomesAComment)
{
    auto r = RunImport("   x4\nHH|" + kHH + "|\nBD|" + kBD + "|\n");
    EXPECT_EQ(r->TypeOf(1), LineType::PreComment);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 %1*3");
}
} // namespace

// A count on a line of its own beside a staff plays the whole staff that often, wherever the
// words stand over it and with or without a blank line between; a count line under one staff
// and right over the next belongs to the one above.
TEST(StaffCount, ALineOfItsOwnPlaysTheWholeStaff)
{
    const std::string staff = "HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|o-------o-o-----|\n";
    const std::string next = "\nHH|x---x---x---x---|\n";
    for (const char* line : {"x3\n", "(x3)\n", "Verse (x3)\n", "Verse (repeat 3 times)\n", "x3\n\n", "play 3 times\n\n"}) {
        auto r = RunImport(std::string(line) + staff + next);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4 %2*2 |4/4") << line;
    }
    for (const char* line : {"Play 3 times\n", "\n(x3)\n"}) {
        auto r = RunImport(staff + line);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4 %2*2") << line;
    }
    // Between two staves with blank lines on both sides, a count heads the staff below it.
    auto between = RunImport(staff + "\n(x3)\n" + next);
    EXPECT_EQ(BarsText(between->doc.Events()), "|4/4 |4/4 |4/4 %1*2");
    // Words without a count, and a count glued into a word, repeat nothing.
    for (const char* line : {"Verse\n", "Verse 2\n", "play softer\n", "Box3 groove\n"}) {
        auto r = RunImport(std::string(line) + staff);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4") << line;
    }
}

TEST(StaffCount, ACountLineBetweenTheStaffAndItsCount)
{
    const std::string staff = "HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|o-------o-o-----|\n";
    const std::string count = "  |1 + 2 + 3 + 4 + |1 + 2 + 3 + 4 + |\n";
    const std::string next = "\nHH|x---x---x---x---|\n";
    for (const std::string& tab : {"INTRO x2\n" + count + staff + next, staff + count + "(play 2x)\n" + next,
                                   staff + count + "\nx2\n", Crlf("INTRO x2\n" + count + staff + next)}) {
        SCOPED_TRACE(tab);
        auto r = RunImport(tab);
        EXPECT_EQ(BarsText(r->doc.Events()).substr(0, 14), "|4/4 |4/4 %2*1");
    }
}

TEST(StaffCount, RepeatWithoutACountPlaysTheStaffOnceMore)
{
    const std::string staff = "H |x-x-x-x-x-x-x-x-|\nS |----o-------o---|\nB |o-------o-o-----|\n";
    for (const std::string& tab : {"Chorus\n" + staff + "\n(repeat chorus)\n", "Chorus\n" + staff + "repeat\n",
                                   "Chorus:\n" + staff + "\nRepeat this.\n", Crlf("Chorus\n" + staff + "\n(repeat chorus)\n")}) {
        SCOPED_TRACE(tab);
        auto r = RunImport(tab);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 %1*1");
    }
    // "repeat the intro" under the chorus names another staff: nothing is repeated here.
    auto other = RunImport("Chorus\n" + staff + "\nrepeat intro\n");
    EXPECT_EQ(BarsText(other->doc.Events()), "|4/4");
}

TEST(StaffCount, ACountInASentenceOverTheStaff)
{
    const std::string staff = "H|x-x-x-x-x-x-x-x-|\nS|----o-------o---|\nB|o-----o---o-----|\n";
    for (const char* line : {"Groove for the main riff - play this 8 times then go to bridge\n\n",
                             "Main riff: repeat it 8x before the bridge comes in, watch the singer\n"}) {
        SCOPED_TRACE(line);
        auto r = RunImport(line + staff);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 %1*7");
    }
    // A long sentence with a number that counts nothing repeats nothing.
    auto none = RunImport("Groove for the main riff, learned it in 3 days from the record\n\n" + staff);
    EXPECT_EQ(BarsText(none->doc.Events()), "|4/4");
    // One "x2" standing as a word in a tabber's note.
    for (const std::string& tab : {"then the bell part x2, he leans on the bell here\n" + staff,
                                   Crlf("Bell part (x2) -- he really leans on the bell in this one\n" + staff)}) {
        auto r = RunImport(tab);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 %1*1") << tab;
    }
    // Over the staff, past a line of accents or of signatures.
    for (const char* marks : {"            >       >\n", "     4/4             4/4\n"}) {
        const std::string tab = std::string("GROOVE (x2)\n") + marks + staff;
        for (const std::string& text : {tab, Crlf(tab)}) {
            auto r = RunImport(text);
            EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 %1*1") << marks;
        }
    }
    // Under the staff, past the lyric sung over it.
    const std::string lyric = "VERSE\n    I walked along the river line\n" + staff + "    and never once looked back\nrepeat 3 times\n\nCHORUS\n"
                              "CR|x---------------|\n";
    for (const std::string& text : {lyric, Crlf(lyric)}) {
        auto r = RunImport(text);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 %1*2 |4/4");
    }
    // Under the staff, past a legend for its letters.
    const std::string legend = staff + "\nR = rimclick (cross stick)\nplay 8x then into the chorus\n";
    for (const std::string& tab : {legend, Crlf(legend)}) {
        auto r = RunImport(tab);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 %1*7");
    }
    // ... but not when another staff follows it.
    auto next = RunImport(staff + "\nR = rimclick\nplay 8x\n" + staff);
    EXPECT_EQ(BarsText(next->doc.Events()).substr(0, 9), "|4/4 |4/4");
}

// The count is played, not shown: the rest of the line is the bar's text, so that a tab
// written back out and read again plays the staff as often as before.
TEST(StaffCount, TheCountIsLeftOutOfTheBarText)
{
    const std::string staff = "HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|o-------o-o-----|\n";
    const std::string next = "\nHH|x---x---x---x---|\n";
    struct SCase
    {
        const char* line;
        const char* text;
    };
    for (const SCase c : {SCase{"Verse (x3)", "Verse"}, SCase{"Verse (repeat 3 times)", "Verse"},
                          SCase{"Intro (drums tacet) x3", "Intro (drums tacet)"}, SCase{"Chorus 3x:", "Chorus"},
                          SCase{"Verse 2 - play 3 times", "Verse 2"}, SCase{"x3", ""}, SCase{"(x3)", ""},
                          SCase{"play 3 times", ""}}) {
        for (const std::string& tab : {std::string(c.line) + "\n" + staff + next, Crlf(std::string(c.line) + "\n" + staff + next)}) {
            auto r = RunImport(tab);
            ASSERT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4 %2*2 |4/4") << c.line;
            EXPECT_EQ(r->doc.Events().front().GetText().toStdString(), c.text) << c.line;

            // Written out and read again: the same bars, without a complaint.
            ASSERT_TRUE(r->doc.FinishOpen(nullptr));
            auto back = RunImport(QByteArray(MakeTextTab(r->doc)).replace("\r\n", "\n").toStdString());
            EXPECT_EQ(BarsText(back->doc.Events()), "|4/4 |4/4 %2*2 |4/4") << c.line;
            EXPECT_TRUE(back->report.m_messages.isEmpty()) << c.line << ": " << back->report.m_messages.join(' ').toStdString();
        }
    }
}
