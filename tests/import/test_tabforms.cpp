// Forms of staff lines seen in posted tabs: a signature written inside a bar before its notes,
// lines wrapped by mail programs, staves without labels among labelled ones, and a shuffle
// counted in eighth-note triplets.

#include "importtestutil.h"

#include <gtest/gtest.h>

namespace {

// A 3/4 bar of eighths on the hat, snare on 2 and 3, kick on 1: hits as the song gives them.
constexpr const char* kWaltz = "|3/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 38@192 42@240";

TEST(TabForms, SignatureBeforeTheNotesOfABar)
{
    struct SCase
    {
        const char* name;
        std::string tab;
    };
    const SCase cases[] = {
        {"glued", "H |3/4 x-x-x-x-x-x-|\nS |    ----o---o---|\nB |    o-----------|\n"},
        {"spaced", "H | 3/4 x-x-x-x-x-x-|\nS |     ----o---o---|\nB |     o-----------|\n"},
        {"two blanks, lower case", "h |3/4  x-x-x-x-x-x-|\ns |     ----o---o---|\nb |     o-----------|\n"},
        {"colons", "HH:|3/4 x-x-x-x-x-x-|\nSD:|    ----o---o---|\nBD:|    o-----------|\n"},
        {"signature on every line", "H |3/4 x-x-x-x-x-x-|\nS |3/4 ----o---o---|\nB |3/4 o-----------|\n"},
    };
    for (const SCase& c : cases) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (crlf ? " CR LF" : ""));
            auto r = RunImport(crlf ? Crlf(c.tab) : c.tab);
            EXPECT_EQ(r->blocks, 1);
            EXPECT_EQ(SongText(r->doc.Events()), kWaltz);
        }
    }
}

TEST(TabForms, SignatureInsideASecondBarChangesTheMeterThere)
{
    auto r = RunImport("HH|x-x-x-x-x-x-x-x-|3/4 x-x-x-x-x-x-|\n"
                       "SD|----o-------o---|    ----o---o---|\n"
                       "BD|o-------o-------|    o-----------|\n");
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |3/4");
    const std::string song = SongText(r->doc.Events());
    EXPECT_EQ(song.substr(song.find("|3/4")), kWaltz);
}

TEST(TabForms, SignatureStackedAtTheStartOfABar)
{
    // The two halves of the signature stand on two lines, in the bar's first columns; the
    // other lines leave them blank or draw ticks there.
    struct SCase
    {
        const char* name;
        std::string tab;
    };
    const SCase cases[] = {
        {"on the hat and kick", "H |x-x-x-x-x-x-x-x-| 3  x-x-x-x-x-x-|\n"
                                "S |----o-------o---|    ----o---o---|\n"
                                "B |o-------o-------| 4  o-----------|\n"},
        {"ticks on the snare", "H |x-x-x-x-x-x-x-x-| 3  x-x-x-x-x-x-|\n"
                               "S |----o-------o---|--- ----o---o---|\n"
                               "B |o-------o-------| 4  o-----------|\n"},
        {"on the inner lines", "C |x---------------|    ------------|\n"
                               "H |--x-x-x-x-x-x-x-| 3  x-x-x-x-x-x-|\n"
                               "S |----o-------o---|    ----o---o---|\n"
                               "B |o-------o-------| 4  o-----------|\n"
                               "F |----------------|    ------------|\n"},
        {"one blank", "H |x-x-x-x-x-x-x-x-|3 x-x-x-x-x-x-|\n"
                      "S |----o-------o---|  ----o---o---|\n"
                      "B |o-------o-------|4 o-----------|\n"},
    };
    for (const SCase& c : cases) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (crlf ? " CR LF" : ""));
            auto r = RunImport(crlf ? Crlf(c.tab) : c.tab);
            EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |3/4");
            const std::string song = SongText(r->doc.Events());
            EXPECT_EQ(song.substr(song.find("|3/4")), kWaltz);
            EXPECT_TRUE(r->report.m_messages.empty());
        }
    }
}

TEST(TabForms, CountSpreadWiderThanItsBar)
{
    // "1 e + a 2 e + a 3 e + a 4 e + a" a blank between syllables over bars of sixteen
    // columns: the count of one bar, not of two bars of 2/4.
    const std::string staff = "HH|x-x-x-x-x-x-x-o-|x-x-x-x-x-x-x-o-|\n"
                              "SD|--g-O--g-g--O--g|--g-O--g-g--O-gg|\n"
                              "BD|o--o-----o-o----|o--o-----o-o--o-|\n";
    const std::string forms[] = {
        "   1 e + a 2 e + a 3 e + a 4 e + a\n" + staff,
        "  1 e + a 2 e + a 3 e + a 4 e + a\n" + staff,
        staff + "   1 e + a 2 e + a 3 e + a 4 e + a\n",
        staff + "  |1 e + a 2 e + a 3 e + a 4 e + a|\n", // bar lines at its ends only
        staff + "   1 + 2 + 3 + 4 + 1 + 2 + 3 + 4 +\n", // eight syllables over sixteen columns
    };
    for (const std::string& tab : forms) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(tab + (crlf ? " CR LF" : ""));
            auto r = RunImport(crlf ? Crlf(tab) : tab);
            EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
            const std::string song = SongText(r->doc.Events());
            EXPECT_EQ(song.substr(0, 51), "|4/4 42@0 36@0 42@48 38@48g 36@72 42@96 38@96! 42@1");
            EXPECT_NE(song.find("46@336 38@336g 36@336 38@360g"), std::string::npos) << song;
        }
    }
    // A shuffle counted "1 T a" over twelve-column bars: 12/8 in eighths, and the bar after
    // the counted one, of the same width, is read the same way.
    auto shuffle = RunImport("   1 T a 2 T a 3 T a 4 T a\n"
                             "R |x-xx-xx-xx-x|x-xx-xx-xx-x|\n"
                             "S |---o-----o--|---o-----ffo|\n"
                             "B |o-----o-o---|o-----o-----|\n");
    EXPECT_EQ(BarsText(shuffle->doc.Events()), "|12/8 |12/8");
    const std::string song = SongText(shuffle->doc.Events());
    EXPECT_EQ(song.substr(0, song.find("|12/8", 1)), "|12/8 51@0 36@0 51@96 51@144 38@144 51@240 51@288 36@288 51@384 36@384 "
                                                      "51@432 38@432 51@528 ");
}

TEST(TabForms, ACountOverTheFirstBarHoldsForTheBarsAfterIt)
{
    // Triplets counted under the first bar only: the second bar, as wide, is read on the
    // same grid, not as 16th notes.
    auto r = RunImport("H |x--x--x--x--|x--x--x--x--|\n"
                       "S |---o-----o--|---o-----o--|\n"
                       "B |o-----o-----|o-----o-----|\n"
                       "  |1tl2tl3tl4tl|\n");
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
    const std::string song = SongText(r->doc.Events());
    const size_t second = song.find("|4/4", 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(song.substr(0, second - 1), song.substr(second));
}

TEST(TabForms, SignatureOnOneLineOnlyPushingItsBarLinesRight)
{
    // The signature takes columns on its line alone; the other lines' bars are as wide as
    // the notes.
    const std::string tabs[] = {
        "H |3/4 x-x-x-x-x-x-|\nS |----o---o---|\nB |o-----------|\n",
        "hh: | 3/4  x-x-x-x-x-x-|\nsd: |----o---o---|\nbd: |o-----------|\n",
        "H|3/4 x-x-x-x-x-x-|\nS|----o---o---|\nB|o-----------|\n",
    };
    for (const std::string& tab : tabs) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(tab + (crlf ? " CR LF" : ""));
            auto r = RunImport(crlf ? Crlf(tab) : tab);
            EXPECT_EQ(SongText(r->doc.Events()), kWaltz);
        }
    }
    auto later = RunImport("H |x-x-x-x-x-x-x-x-|3/4 x-x-x-x-x-x-|x-x-x-x-x-x-|\n"
                           "S |----o-------o---|----o---o---|----o---o---|\n"
                           "B |o-------o-------|o-----------|o-----------|\n");
    EXPECT_EQ(BarsText(later->doc.Events()), "|4/4 |3/4 |3/4");
    const std::string song = SongText(later->doc.Events());
    EXPECT_EQ(song.substr(song.rfind("|3/4")), kWaltz);
    auto twice = RunImport("H |3/4 x-x-x-x-x-x-|3/4 x-x-x-x-x-x-|\nS |----o---o---|----o---o---|\n"
                           "B |o-----------|o-----------|\n");
    EXPECT_EQ(SongText(twice->doc.Events()), std::string(kWaltz) + " " + kWaltz);
}

TEST(TabForms, SignatureOverNotesOfOtherLinesKeepsTheBar)
{
    // The snare has a hit under the signature: the bar is read whole, the digits are no notes
    // of the snare, and no note is lost.
    auto r = RunImport("H |3/4 x-x-x-x-x-x-|\nS |--o-----o---o---|\nB |o---------------|\n");
    const std::string song = SongText(r->doc.Events());
    EXPECT_NE(song.find("38@48"), std::string::npos) << song;
    EXPECT_NE(song.find("36@0"), std::string::npos) << song;
}

// Two bars of a beat: hat eighths, snare on 2 and 4, kick on 1 and 3.
constexpr const char* kBeatBar = "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336";

std::string Bars(int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += std::string(i ? " " : "") + kBeatBar;
    return out;
}

TEST(TabForms, WrappedLinesAreJoined)
{
    struct SCase
    {
        const char* name;
        std::string tab;
        int bars;
    };
    const SCase cases[] = {
        {"after a bar line",
         "H |x-x-x-x-x-x-x-x-|=\nx-x-x-x-x-x-x-x-|\nS |----o-------o---|=\n----o-------o---|\n"
         "B |o-------o-------|=\no-------o-------|\n",
         2},
        {"inside a bar, backslash",
         "H |x-x-x-x-x-x-x-x-|x-x-x-x-\\\nx-x-x-x-|\nS |----o-------o---|----o---\\\n----o---|\n"
         "B |o-------o-------|o-------\\\no-------|\n",
         2},
        {"three pieces, blanks after the mark",
         "HH|x-x-x-x-x-x-x-x-|x-x- =  \nx-x-x-x-x-x-|=\nx-x-x-x-x-x-x-x-|\n"
         "SD|----o-------o---|---- =  \no-------o---|=\n----o-------o---|\n"
         "BD|o-------o-------|o--- =  \n----o-------|=\no-------o-------|\n",
         3},
    };
    for (const SCase& c : cases) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (crlf ? " CR LF" : ""));
            auto r = RunImport("Groove\n\n" + (crlf ? Crlf(c.tab) : c.tab));
            EXPECT_EQ(r->blocks, 1);
            EXPECT_EQ(SongText(r->doc.Events()), Bars(c.bars));
        }
    }
}

TEST(TabForms, BracketEndingInABackslashKeepsTheStaffBelow)
{
    auto r = RunImport("  |  /---- x2 ----\\\nH |x-x-x-x-x-x-x-x-|\nS |----o-------o---|\nB |o-------o-------|\n\n"
                       "H |x-x-x-x-x-x-x-x-|\nS |----o-------o---|\nB |o-------o-------|\n");
    EXPECT_EQ(r->imp.m_lines[0].m_text, "  |  /---- x2 ----\\");
    EXPECT_EQ(r->imp.m_lines[1].m_text, "H |x-x-x-x-x-x-x-x-|");
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 %1*1 |4/4");
}

TEST(TabForms, EqualsSignsOfHeaderLinesJoinNothing)
{
    auto r = RunImport("Tempo =\n100\n=====\n\nH |x-x-x-x-x-x-x-x-|\nS |----o-------o---|\nB |o-------o-------|\n");
    EXPECT_EQ(SongText(r->doc.Events()), Bars(1));
    EXPECT_EQ(r->imp.m_lines[0].m_text, "Tempo =");
    EXPECT_EQ(r->imp.m_lines[2].m_text, "=====");
}

TEST(TabForms, BarsWithoutLabelsAreRests)
{
    const std::string beat = "H |x-x-x-x-x-x-x-x-|\nS |----o-------o---|\nB |o-------o-------|\n";
    struct SCase
    {
        const char* name;
        std::string tab;
        const char* bars;
    };
    const SCase cases[] = {
        {"one line", beat + "\n|----------------|\n\n" + beat, "|4/4 |4/4 |4/4"},
        {"indented, two bars on two lines",
         beat + "\n    |----------------|----------------|\n    |----------------|----------------|\n\n" + beat,
         "|4/4 |4/4 |4/4 |4/4"},
        {"a count line under it", "  |----------------|\n  |1 + 2 + 3 + 4 + |\n\n" + beat + "  |1 + 2 + 3 + 4 + |\n",
         "|4/4 |4/4"},
        {"three four", beat + "\n  |------------|\n\n" + beat, "|4/4 |3/4 |4/4"},
    };
    for (const SCase& c : cases) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (crlf ? " CR LF" : ""));
            auto r = RunImport(crlf ? Crlf(c.tab) : c.tab);
            EXPECT_EQ(BarsText(r->doc.Events()), c.bars);
            // The rest bars hold no notes; the beats keep theirs.
            const std::string song = SongText(r->doc.Events());
            EXPECT_EQ(std::count(song.begin(), song.end(), '@'), 12 * (c.name[0] == 'a' ? 1 : 2)) << song;
        }
    }
}

TEST(TabForms, TacetIntroPlaysItsCount)
{
    auto r = RunImport("Intro (drums tacet) x2\n  |----------------|\n  |1 + 2 + 3 + 4 + |\n\n"
                       "H |x-x-x-x-x-x-x-x-|\nS |----o-------o---|\nB |o-------o-------|\n  |1 + 2 + 3 + 4 + |\n");
    const std::string song = SongText(r->doc.Events());
    // The empty bar, once more, then the beat.
    EXPECT_EQ(song.substr(0, song.find(" 42@")), "|4/4\"Intro (drums tacet)\" %1*1 |4/4");
}

TEST(TabForms, UnlabelledLinesWithTextStayText)
{
    // A bracket with words and a line of ticks that runs into text are no rest bars.
    auto r = RunImport("  |--- fill ---|\n\nH |x-x-x-x-x-x-x-x-|\nB |o-------o-------|\n\n ----------| end\n");
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4");
}

TEST(TabForms, CountOfThreeSyllablesPerBeat)
{
    // A shuffle counted "1&a2&a3&a4&a" is 4/4 in triplets, the hits a triplet eighth (32)
    // apart; under a stated 12/8 the same count is four beats of three eighths (48 apart).
    const std::string staff = "R |x-xx-xx-xx-x|\nS |---o-----o--|\nB |o-----o-----|\n";
    const char* triplets = "|4/4 51@0t 36@0t 51@64t 51@96t 38@96t 51@160t 51@192t 36@192t 51@256t 51@288t 38@288t 51@352t";
    const char* twelve = "|12/8 51@0 36@0 51@96 51@144 38@144 51@240 51@288 36@288 51@384 51@432 38@432 51@528";
    struct SCase
    {
        const char* name;
        std::string tab;
        const char* song;
        const char* bars;
    };
    const SCase cases[] = {
        {"below, &", staff + "  |1&a2&a3&a4&a|\n", triplets, "|4/4 |4/4"},
        {"below, +", staff + "  |1+a2+a3+a4+a|\n", triplets, "|4/4 |4/4"},
        {"above", "  |1&a2&a3&a4&a|\n" + staff, triplets, "|4/4 |4/4"},
        {"Time: 12/8", "Time: 12/8\n\n" + staff + "  |1&a2&a3&a4&a|\n", twelve, "|12/8 |12/8"},
        {"title", "Slow blues in 12/8\n\n  |1+a2+a3+a4+a|\n" + staff, twelve, "|12/8 |12/8"},
    };
    for (const SCase& c : cases) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (crlf ? " CR LF" : ""));
            const std::string tab = c.tab + "\n" + c.tab.substr(c.tab.find("\n\n") == std::string::npos ? 0 : c.tab.find("\n\n") + 2);
            auto r = RunImport(crlf ? Crlf(tab) : tab);
            const std::string song = SongText(r->doc.Events());
            EXPECT_EQ(song.substr(0, song.find(" |")), c.song);
            EXPECT_EQ(BarsText(r->doc.Events()), c.bars);
        }
    }
}

TEST(TabForms, SixteenthCountWithoutItsEStaysSimple)
{
    // "1 +a" leaves the e's column blank: sixteenths of a quarter beat, not three eighths.
    auto r = RunImport("H |x-x-x-x-|\nB |o--o-o--|\n  |1 +a2e+ |\n\nH |x-x-x-x-|\nB |o--o-o--|\n  |1 +a2e+ |\n");
    EXPECT_EQ(BarsText(r->doc.Events()), "|2/4 |2/4");
    EXPECT_EQ(SongText(r->doc.Events()).substr(0, 37), "|2/4 42@0 36@0 42@48 36@72 42@96 36@1");
}

} // namespace

namespace {

// Counts written with beat numbers alone decide the meter of bars whose width alone would
// read otherwise: twelve columns are 3/4 without a count.
TEST(TabForms, BeatNumbersAloneCountTheBar)
{
    // Six eighths: 6/8, also in the second bar, which has no count of its own.
    auto six = RunImport("   1 2 3 4 5 6\n"
                         "H |x-x-x-x-x-x-|x-x-x-x-x-x-|\n"
                         "B |o---------o-|o-----------|\n");
    EXPECT_EQ(BarsText(six->doc.Events()), "|6/8 |6/8");
    EXPECT_EQ(SongText(six->doc.Events()), "|6/8 42@0 36@0 42@48 42@96 42@144 42@192 42@240 36@240 |6/8 42@0 36@0 42@48 42@96 42@144 42@192 42@240");

    // Four beats of three columns: a 4/4 bar in eighth-note triplets.
    auto four = RunImport(Crlf("    1  2  3  4\nHH |x-xx-xx-xx-x|\nBD |o-----o-----|\n"));
    EXPECT_EQ(BarsText(four->doc.Events()), "|4/4");
    EXPECT_EQ(SongText(four->doc.Events()), "|4/4 42@0t 36@0t 42@64t 42@96t 42@160t 42@192t 36@192t 42@256t 42@288t 42@352t");

    // Bar numbers over a staff count bars, not beats: the bars keep their width's meter.
    auto numbered = RunImport("   1           2           3\n"
                              "H |x-x-x-x-x-x-|x-x-x-x-x-x-|x-x-x-x-x-x-|\n"
                              "B |o-----------|o-----------|o-----------|\n");
    EXPECT_EQ(BarsText(numbered->doc.Events()), "|3/4 |3/4 |3/4");
}

TEST(TabForms, ACountSetAColumnRightOfItsBarStillCountsFromTheBarLine)
{
    // The second bar's count starts one column late; the bar is still a whole 4/4.
    auto r = RunImport("    1 + 2 + 3 + 4 +   1 + 2 + 3 + 4 +\n"
                       "HH |x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n"
                       "BD |o-------o-o-----|o-------o-------|\n");
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
    const std::string song = SongText(r->doc.Events());
    EXPECT_EQ(song.substr(song.rfind("|4/4")), "|4/4 42@0 36@0 42@48 42@96 42@144 42@192 36@192 42@240 42@288 42@336");
}

} // namespace
