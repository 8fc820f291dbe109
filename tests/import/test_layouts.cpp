// Layouts of real tabs the staff passes read once they are put into the staff form: rests
// written as dots, and the kit roles a drummer reads from the notes themselves (a hi-hat line
// that can only be the foot, a cymbal line that keeps time).

#include "importtestutil.h"

#include <gtest/gtest.h>

namespace {

TEST(Layouts, DotsAreRestsInStaffLines)
{
    // Labels of different lengths, dots for rests, no blank before the bars.
    const std::string tab = "ride |x.x.x.x.x.x.x.x.|\n"
                            "snare |....o.......o...|\n"
                            "kick |o.......o.o.....|\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        ASSERT_EQ(r->blocks, 1);
        EXPECT_EQ(SongText(r->doc.Events()),
                  "|4/4 51@0 36@0 51@48 51@96 38@96 51@144 51@192 36@192 51@240 36@240 51@288 38@288 51@336");
    }
    // Dotted eighths in an indented, colon-labelled staff of two bars: eight columns with the
    // backbeat on the third and seventh are a 4/4 bar of eighths.
    auto two = RunImport("   HH: |x.x.x.x.|x.x.x.x.|\n   SD: |..o...o.|..o...o.|\n   BD: |o...o...|o.o.o...|\n");
    EXPECT_EQ(BarsText(two->doc.Events()), "|4/4 |4/4");
    EXPECT_EQ(SongText(two->doc.Events()).substr(0, 43), "|4/4 42@0 36@0 42@96 38@96 42@192 36@192 42");
}

TEST(Layouts, DotsElsewhereStayText)
{
    // One dotted line alone, a sentence with dots and a measure-repeat sign keep their meaning.
    auto r = RunImport("Verse... then the chorus |....|\n"
                       "HH|x-x-x-x-x-x-x-x-|./.              |\n"
                       "BD|o-------o-------|./.              |\n");
    EXPECT_EQ(r->imp.m_lines[0].m_text, "Verse... then the chorus |....|");
    EXPECT_EQ(r->imp.m_lines[1].m_text.substr(20, 3), "./.");
}

TEST(Layouts, AHiHatLinePlayedWithCymbalAndSnareIsTheFoot)
{
    // The right hand rides the cymbal, the left plays the snare on 2 and 4: the hi-hat line
    // under them can only be the foot, and the cymbal that keeps time is the ride.
    const std::string tab = "cymbal   |x.x.x.x.x.x.x.x.|\n"
                            "snare    |....x.......x...|\n"
                            "hi-hat   |....x.......x...|\n"
                            "bassdrum |x.......x.......|\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 51@0 36@0 51@48 51@96 38@96 44@96 51@144 51@192 36@192 51@240 "
                                             "51@288 38@288 44@288 51@336");
    }
}

TEST(Layouts, AHiHatLineTheHandsCanPlayStaysTheHiHat)
{
    // Hat with the snare but no cymbal: the hands play both.
    auto hands = RunImport("H |x-x-x-x-x-x-x-x-|\nS |----x-------x---|\nB |x-------x-------|\n");
    EXPECT_EQ(SongText(hands->doc.Events()).substr(0, 21), "|4/4 42@0 36@0 42@48 ");
    // A crash on one and hats on every eighth: the hat is played by hand where the crash is not.
    auto crash = RunImport("C |x---------------|\nH |x-x-x-x-x-x-x-x-|\nS |----x-------x---|\n");
    EXPECT_EQ(SongText(crash->doc.Events()).substr(0, 30), "|4/4 49@0 42@0 42@48 42@96 38@");
    // A generic cymbal keeping time with no foot under it stays a crash.
    auto crashRide = RunImport("Cymbal |x-------x-------x-------x-------|\nSnare  |----------------o---------------|\n");
    EXPECT_EQ(SongText(crashRide->doc.Events()).substr(0, 14), "|4/4 49@0 49@9");
    // A generic cymbal played once is a crash, not a ride.
    auto once = RunImport("cymbal |x...............|\nsnare  |....x.......x...|\nkick   |x.......x.......|\n");
    EXPECT_EQ(SongText(once->doc.Events()).substr(0, 14), "|4/4 49@0 36@0");
}

TEST(Layouts, ADoubleSpacedStaffIsOneStaff)
{
    // Pages copied from the web put a blank line after every line; the count line too.
    const std::string tab = "C |--------|--------|\n\nH |x-x-x-x-|x-x-x-x-|\n\nS |----o---|----o---|\n\n"
                            "B |o-------|o-o-----|\n\n  |1 2 3 4 |1 2 3 4 |\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(r->blocks, 1);
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0 36@0 42@96 42@192 38@192 42@288 "
                                             "|4/4 42@0 36@0 42@96 36@96 42@192 38@192 42@288");
    }
}

TEST(Layouts, BeatNumbersAColumnApartAreQuarters)
{
    // Three and four beat numbers under columns of eighths: 3/4 and 4/4, not 3/8 and 4/8.
    auto waltz = RunImport("H |x-x-x-|x-x-x-|\nS |--o-o-|--o-o-|\nB |o-----|o-----|\n  |1 2 3 |1 2 3 |\n");
    EXPECT_EQ(SongText(waltz->doc.Events()),
              "|3/4 42@0 36@0 42@96 38@96 42@192 38@192 |3/4 42@0 36@0 42@96 38@96 42@192 38@192");
    // Six numbers stay eighths: 6/8.
    auto six = RunImport("H |x-x-x-x-x-x-|\nB |o-----o-----|\n   1 2 3 4 5 6\n");
    EXPECT_EQ(BarsText(six->doc.Events()), "|6/8");
}

TEST(Layouts, SingleSpacedStavesAreNotJoined)
{
    // Two staves a blank line apart stay two staves of one bar each; the blank lines between
    // the staff lines of a double-spaced tab are only dropped where no staff lines touch.
    auto r = RunImport("H |x-x-x-x-x-x-x-x-|\nB |o-------o-------|\n\nH |x-x-x-x-x-x-x-x-|\nB |o---o---o---o---|\n");
    EXPECT_EQ(r->blocks, 2);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
    // Single-line exercises a blank line apart are exercises, not one staff.
    auto exercises = RunImport("S |o-o-o-o-o-o-o-o-|\n\nS |oo-oo-oo-oo-oo--|\n\nS |o--o--o--o--o-o-|\n");
    EXPECT_EQ(exercises->blocks, 3);
    EXPECT_EQ(BarsText(exercises->doc.Events()), "|4/4 |4/4 |4/4");
}

TEST(Layouts, RailsBetweenStaffLinesAndGhostsInParens)
{
    // Lines of a bar line alone drawn between the staff lines, a staff with no opening bar
    // line, a ghost written "(x)", marks over the hats and a count of slashes.
    const std::string tab = "        >       >\n"
                            "hh -x---x---x---x---|\n"
                            "                    |\n"
                            "sn --------(x)------|\n"
                            "                    |\n"
                            "bd ---------x-------|\n"
                            "\n"
                            "    /   /   /   /\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(r->blocks, 1);
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0 42@96! 42@192 38@192g 36@192 42@288!");
    }
    // Ghosts in parentheses next to other strokes keep their columns.
    const std::string beside = "HH |x-x-x-x-x-x-x-x-|\nSD |-(o)o---(o)-o---|\nBD |o-------o-o-----|\n";
    for (const std::string& text : {beside, Crlf(beside)}) {
        auto r = RunImport(text);
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0 36@0 42@48 38@48g 42@96 38@96 42@144 42@192 36@192 38@216g "
                                             "42@240 36@240 42@288 38@288 42@336");
    }
    // Two and three ghosts side by side.
    const std::string pair = "H  |x-x-x-x-x-x-x-x-|\nS  |----o-(o)(o)o---|\nB  |o-o-------o--o--|\n";
    for (const std::string& text : {pair, Crlf(pair)}) {
        auto r = RunImport(text);
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0 36@0 42@48 36@48 42@96 38@96 42@144 38@168g 42@192 42@240 38@240g 36@240 "
                                             "42@288 38@288 36@312 42@336");
    }
    auto three = RunImport("S |(o)(o)(x)-------|\nB |o---------------|\n");
    EXPECT_EQ(SongText(three->doc.Events()), "|4/4 36@0 38@24g 38@96g 38@168g");
    // Parentheses that are no ghost note stay as written.
    auto words = RunImport("HH|x-x-x-x-x-x-x-x-| (twice)\nBD|o-------o-------|\n");
    EXPECT_EQ(words->imp.m_lines[0].m_text, "HH|x-x-x-x-x-x-x-x-| (twice)");
}

TEST(Layouts, CellGridsAreEighthsAndTheirCountMarksTheBars)
{
    // A bar line between every two cells, rails between the lines, an underline, a count of
    // eighths that starts again at 1 for the second bar.
    const std::string tab = "Hh|x|x|x|x|x|x|x|x|x|x|x|x|x|x|x|x|\n"
                            "  | | | | | | | | | | | | | | | | |\n"
                            "Sd| | |x| | | |x| | | |x| | | |x| |\n"
                            "  | | | | | | | | | | | | | | | | |\n"
                            "Bd|x| | | | |x| | |x| | |x|x| | | |\n"
                            "  |_|_|_|_|_|_|_|_|_|_|_|_|_|_|_|_|\n"
                            "   1 + 2 + 3 + 4 + 1 + 2 + 3 + 4 +\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(r->blocks, 1);
        EXPECT_EQ(SongText(r->doc.Events()),
                  "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 42@240 36@240 42@288 38@288 42@336 "
                  "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 36@144 42@192 36@192 42@240 42@288 38@288 42@336");
    }
    // Colons and lower-case labels, CR LF, cells of o.
    auto colons = RunImport(Crlf("hh:|x|x|x|x|x|x|x|x|\nsn:| | |o| | | |o| |\nbd:|o| | | |o| | | |\n"));
    EXPECT_EQ(SongText(colons->doc.Events()), "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336");
    // Without a count the cells are one bar.
    auto plain = RunImport("HH|x|x|x|x|x|x|x|x|\nSN| | |o| | | |o| |\nBD|o| | | |o| | | |\n");
    EXPECT_EQ(SongText(plain->doc.Events()), "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336");
}

TEST(Layouts, StavesWithoutBarLinesAreOneBarEach)
{
    // Labels and runs of notes and ticks, no bar line; a count over them, a legend under them.
    const std::string tab = "    1   2   3   4\n"
                            "T   -X-------------X\n"
                            "S   ----F-X-xXx-XXX-\n"
                            "FT  X-X-------------\n"
                            "B   X--X--X----X----\n"
                            "HH  X---X---X---X---\n"
                            "\n"
                            "T  - Tom\n"
                            "HH - Hi-Hat w/foot\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(r->blocks, 1);
        const std::string song = SongText(r->doc.Events());
        EXPECT_EQ(song.substr(0, 31), "|4/4 41@0 36@0 44@0 50@24 41@48");
        EXPECT_NE(song.find("38@96f"), std::string::npos) << song;
        EXPECT_NE(song.find("44@288"), std::string::npos) << song;
    }
    // A count that starts again at 1 over a staff without bar lines starts a bar there.
    auto counted = RunImport("   1 + 2 + 3 + 4 + 1 + 2 + 3 + 4 +\n"
                             "H  x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-\n"
                             "B  x-------x-------x---x---x-------\n");
    EXPECT_EQ(BarsText(counted->doc.Events()), "|4/4 |4/4");
    EXPECT_EQ(SongText(counted->doc.Events()).substr(SongText(counted->doc.Events()).rfind("|4/4")),
              "|4/4 42@0 36@0 42@48 42@96 36@96 42@144 42@192 36@192 42@240 42@288 42@336");
    // Labels spelled out, of two words or with a hyphen, the first line starting the staff.
    for (const std::string words : {"Ride    x-x-x-x-x-x-x-x-\nSnare   ----o-------o---\nKick    o-------o-------\n",
                                    "Hi-Hat     x-x-x-x-x-x-x-x-\nSnare      ----o-------o---\nBass Drum  o-------o-------\n"}) {
        auto r = RunImport(words);
        const std::string hand = words[0] == 'R' ? "51" : "42";
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 " + hand + "@0 36@0 " + hand + "@48 " + hand + "@96 38@96 " + hand + "@144 "
                                                 + hand + "@192 36@192 " + hand + "@240 " + hand + "@288 38@288 " + hand + "@336")
            << words;
    }
    // Words a blank apart before a run are a sentence, not a label.
    auto sentence = RunImport("I play it x-x-x-x-x-x-x-x-\nSnare   ----o-------o---\nKick    o-------o-------\n");
    EXPECT_EQ(sentence->imp.m_lines[0].m_text, "I play it x-x-x-x-x-x-x-x-");
    // Colons after the labels, lower case, CR LF.
    auto colons = RunImport(Crlf("hh: x-x-x-x-x-x-x-x-\nsn: ----o-------o---\nbd: o-------o-o-----\n"));
    EXPECT_EQ(SongText(colons->doc.Events()),
              "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 36@240 42@288 38@288 42@336");
    // Sixty-four columns of sixteenths are four bars.
    auto four = RunImport("HH x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-\n"
                          "BD x-------x-------x-------x-------x-------x-------x-------x-------\n");
    EXPECT_EQ(BarsText(four->doc.Events()), "|4/4 |4/4 |4/4 |4/4");
    // Prose lines and a single run of ticks stay text.
    auto prose = RunImport("Intro ----------------\nVerse: x-x-x-x- then\nH |x-x-x-x-x-x-x-x-|\nB |o-------o-------|\n");
    EXPECT_EQ(prose->imp.m_lines[0].m_text, "Intro ----------------");
}

TEST(Layouts, ACountPushedLeftOfItsBarLeavesTheBarToItsWidth)
{
    // The count lost its first blanks: its "1" stands under the label. Thirty-two columns
    // are a 4/4 bar of thirty-seconds, as the tab's author counts it.
    const std::string tab = "HH: |xxxxxxxx------------x-x---xxxxxx|\n"
                            "Sn: |--------OOgOgOgOgooo----OO------|\n"
                            "B: |o-----o-------------o-o-------o-|\n"
                            "1 e + a 2 e + a 3 e + a 4 e + a\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4");
        EXPECT_EQ(SongText(r->doc.Events()).substr(0, 38), "|4/4 42@0 36@0 42@12 42@24 42@36 42@48");
    }
    // A count under its bar still counts it.
    auto aligned = RunImport("HH: |x-x-x-x-x-x-x-x-|\nB:  |o-------o-------|\n     1 + 2 + 3 + 4 +\n");
    EXPECT_EQ(BarsText(aligned->doc.Events()), "|4/4");
}

TEST(Layouts, RackTomAndANegatedLegend)
{
    // RT is the rack tom over the floor tom; "accent (not rimshot)" is an accent, not a rim.
    auto r = RunImport("O = accent (not rimshot)\n"
                       "RT: |--------o-o-o---|\n"
                       "Sn: |O-------------O-|\n"
                       "FT: |--------------o-|\n");
    EXPECT_EQ(SongText(r->doc.Events()), "|4/4 38@0! 50@192 50@240 50@288 38@336! 41@336");
}

TEST(Layouts, StepGridsAreSixteenths)
{
    // "Kick:  X . . ." a step a blank apart, dots for rests, a step count over them.
    const std::string tab = "Step:  1 . . . 2 . . . 3 . . . 4 . . .\n"
                            "Kick:  X . . . . . . . X . . . . . . .\n"
                            "Snare: . . . . X . . . . . . . X . . .\n"
                            "Hat:   X . X . X . X . X . X . X . X .\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(SongText(r->doc.Events()),
                  "|4/4 36@0 42@0 42@48 38@96 42@96 42@144 36@192 42@192 42@240 38@288 42@288 42@336");
    }
    // Two such lines are not yet a grid; a sentence with dots is no grid.
    auto two = RunImport("Kick: X . . . X . . .\nNote: a . b . c . d .\n");
    EXPECT_EQ(two->imp.m_lines[0].m_text, "Kick: X . . . X . . .");
}

TEST(Layouts, SlotGridsNameTheirSoundInEachCell)
{
    // A drum machine's grid typed out: eight eighth-note slots a bar, each cell "--" or the
    // sound's name, a count over slot numbers.
    const std::string tab = "|  1  +  2  +  3  +  4  +  1  +  2  +  3  +  4  + |\n"
                            "| 01 02 03 04 05 06 07 08 09 10 11 12 13 14 15 16 |\n"
                            "| kk -- -- kk -- -- kk -- kk -- -- kk -- -- kk -- |\n"
                            "| -- -- -- -- sn -- -- -- -- -- -- -- sn -- -- sn |\n"
                            "| oh -- oh -- oh -- oh -- oh -- oh -- oh -- oh -- |\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(r->blocks, 1);
        EXPECT_EQ(SongText(r->doc.Events()),
                  "|4/4 36@0 46@0 46@96 36@144 38@192 46@192 36@288 46@288 "
                  "|4/4 36@0 46@0 46@96 36@144 38@192 46@192 36@288 46@288 38@336");
    }
    // Cells that name two sounds on one row are no slot grid.
    auto mixed = RunImport("| bd -- sn -- bd -- sn -- |\n| hh -- hh -- hh -- hh -- |\n| bd -- sn -- bd -- sn -- |\n");
    EXPECT_EQ(mixed->imp.m_lines[0].m_text, "| bd -- sn -- bd -- sn -- |");
}

} // namespace

namespace {

TEST(Layouts, MarksRightAboveTheHatOpenAndCloseIt)
{
    // 'o' over a stroke opens the hat and '+' closes it, as in notation; '>' still accents.
    const std::string notation = "   o       +   >\n"
                                 "H |x-x-x-x-x-x-x-x-|\n"
                                 "S |----o-------o---|\n"
                                 "B |o-------o-------|\n";
    for (const std::string& text : {notation, Crlf(notation)}) {
        auto r = RunImport(text);
        ASSERT_EQ(r->blocks, 1);
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 46@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 "
                                             "42@288! 38@288! 42@336");
    }
    // A line of '+' and lone dashes only: '+' is where the foot lets the hat open, the dash
    // where it closes again; the open stroke may ring into the next bar.
    const std::string plusMinus = "        >       +     -   >\n"
                                  "hh -x---x---x---x---|-x---x---x---x---|\n"
                                  "bd ---------x-------|---------x-------|\n";
    for (const std::string& text : {plusMinus, Crlf(plusMinus)}) {
        auto r = RunImport(text);
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0 42@96! 42@192 36@192 46@288 |4/4 42@0 42@96! 42@192 36@192 42@288");
    }
    // The same line over a staff that starts with its snare changes only the hat line's strokes.
    auto snareFirst = RunImport("     +   -\nS |--o---o---o---o-|\nH |x-x-x-x-x-x-x-x-|\n");
    EXPECT_EQ(SongText(snareFirst->doc.Events()), "|4/4 42@0 38@48 46@48 42@96 38@144 42@144 42@192 38@240 42@240 42@288 "
                                                   "38@336 42@336");
}

TEST(Layouts, MarksThatAreNotHatMarksChangeNothing)
{
    const std::string notes = " 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336";
    const std::string staff = "H |x-x-x-x-x-x-x-x-|\nS |----o-------o---|\nB |o-------o-------|\n";
    // A remark, a count, marks glued together and marks with a blank line between them and
    // the staff are no hat marks; a remark right above the staff stays the bar's text.
    const std::pair<const char*, const char*> cases[] = {
        {"   o pen the hat\n", "|4/4\"o pen the hat\""},
        {"   1 + 2 + 3 + 4 +\n", "|4/4"},
        {"   o+      +\n", "|4/4\"o+      +\""},
        {"   o       +\n\n", "|4/4"},
    };
    for (const auto& [above, bar] : cases) {
        auto r = RunImport(above + staff);
        EXPECT_EQ(SongText(r->doc.Events()), bar + notes) << above;
    }
    // Plus signs alone are closed marks over strokes that are closed already.
    auto closed = RunImport("   +   +   +   +\n" + staff);
    EXPECT_EQ(SongText(closed->doc.Events()), "|4/4" + notes);
}

TEST(Layouts, WordsOverAStaffAreNoLengths)
{
    // The letters of a time key (w h q e s t) inside words are text, not note lengths: the bar
    // keeps its width and its notes, and the words show over it.
    const std::string staff = "H |x-x-x-x-x-x-x-x-|\nS |----o-------o---|\nB |o-------o-------|\n";
    const std::string notes = " 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336";
    for (const char* words : {"open the hat", "the end", "watch the hats", "hush"}) {
        for (const std::string& text : {"   " + std::string(words) + "\n" + staff, Crlf("   " + std::string(words) + "\n" + staff)}) {
            auto r = RunImport(text);
            EXPECT_EQ(SongText(r->doc.Events()), "|4/4\"" + std::string(words) + "\"" + notes) << words;
        }
    }
}

TEST(Layouts, ColumnsABlankApartAreOneColumnEach)
{
    const std::string groove = "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336";
    // Sixteenths written "x - x - " with the count over them, and the same with dots and a
    // blank after each bar line.
    const std::string ticks = "   |1 e & a 2 e & a 3 e & a 4 e & a |\n"
                              "HH |x - x - x - x - x - x - x - x - |\n"
                              "SN |- - - - o - - - - - - - o - - - |\n"
                              "BD |o - - - - - - - o - - - - - - - |\n";
    const std::string dots = "HH | x . x . x . x . x . x . x . x . |\n"
                             "SN | . . . . o . . . . . . . o . . . |\n"
                             "BD | o . . . . . . . o . . . . . . . |\n";
    for (const std::string& text : {ticks, Crlf(ticks), dots, Crlf(dots)}) {
        auto r = RunImport(text);
        EXPECT_EQ(r->blocks, 1);
        EXPECT_EQ(SongText(r->doc.Events()), groove) << text;
    }
    // Eighths a blank apart in two bars, a colon after the labels, the count under them
    // without bar lines of its own, and a repeat after a double bar line.
    auto eighths = RunImport("HH: | x x x x x x x x | x x x x x x x x ||\n"
                             "SD: | - - o - - - o - | - - o - - - o o || x2\n"
                             "BD: | o - - - o - - - | o - - o o - - - ||\n"
                             "      1 + 2 + 3 + 4 +   1 + 2 + 3 + 4 +\n");
    EXPECT_EQ(SongText(eighths->doc.Events()), groove + " |4/4 42@0 36@0 42@48 42@96 38@96 42@144 36@144 42@192 36@192 42@240 "
                                                       "42@288 38@288 42@336 38@336 %2*1");
    EXPECT_EQ(BarsText(eighths->doc.Events()), "|4/4 |4/4 %2*1");
}

TEST(Layouts, SpacedStaffCountedInBeatNumbersAlone)
{
    // "1 2 3 4 5 6" over six cells a blank apart: six eighths, as over "x-x-x-x-x-x-".
    const std::string tab = "HH |x x x x x x |\nSD |- - - o - - |\nBD |o - - - - - |\n    1 2 3 4 5 6\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(BarsText(r->doc.Events()), "|6/8");
        EXPECT_EQ(SongText(r->doc.Events()), "|6/8 42@0 36@0 42@48 42@96 42@144 38@144 42@192 42@240");
    }
}

TEST(Layouts, SpacedStavesWithTheirCountBetweenThem)
{
    // The count under the first staff stands right over the second: the staves' cells take
    // two columns each, and the count, written once for both, keeps its spacing.
    const std::string staff = "HH |x - x - x - x - x - x - x - x - |\nBD |o - - - - - - - o - - - - - - - |\n";
    const std::string count = "   |1 e & a 2 e & a 3 e & a 4 e & a |\n";
    auto r = RunImport(staff + count + staff);
    EXPECT_EQ(r->imp.m_lines[0].m_text, "HH |x---x---x---x---x---x---x---x---|");
    EXPECT_EQ(r->imp.m_lines[2].m_text, "   |1 e & a 2 e & a 3 e & a 4 e & a |");
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
    const std::string song = SongText(r->doc.Events());
    EXPECT_EQ(song.substr(song.rfind(" 42@0 ")), " 42@0 36@0 42@48 42@96 42@144 42@192 36@192 42@240 42@288 42@336");
}

TEST(Layouts, ColumnsABlankApartNeedAStaff)
{
    // One spaced line alone, words a blank apart, and a line whose blanks do not alternate
    // keep their meaning.
    auto one = RunImport("HH |x - x - x - x - |\nBD |o-------o-------|\n");
    EXPECT_EQ(one->imp.m_lines[0].m_text, "HH |x - x - x - x - |");
    auto words = RunImport("Notes | a b c d e f g h |\nMore  | a b c d e f g h |\nHH|x-x-x-x-|\nBD|o---o---|\n");
    EXPECT_EQ(words->imp.m_lines[0].m_text, "Notes | a b c d e f g h |");
    auto uneven = RunImport("HH |x - x -  x - x - |\nBD |o - - -  o - - - |\n");
    EXPECT_EQ(uneven->imp.m_lines[0].m_text, "HH |x - x -  x - x - |");
}

TEST(Layouts, AnAndAfterEachOfFourBeatsCountsEighths)
{
    // "1+2+3+4+" under eight columns: four quarter beats, each column an eighth. Counts of
    // more beats still count eighth-note beats (12/8).
    for (const char* count : {"  |1+2+3+4+|\n", "  |1&2&3&4&|\n"}) {
        auto r = RunImport(std::string("HH|xxxxxxxx|\nSD|--o---o-|\nBD|o---o---|\n") + count);
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 "
                                             "38@288 42@336") << count;
    }
}

TEST(Layouts, BarNumbersOverAStaffAreNoText)
{
    const std::string staff = "HH |x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n"
                              "BD |o-------o-------|o-------o-------|o-------o-------|\n";
    for (const char* numbers : {"     1               2               3\n", "    17              18              19\n"}) {
        auto r = RunImport(numbers + staff);
        EXPECT_EQ(SongText(r->doc.Events()).substr(0, 10), "|4/4 42@0 ") << numbers;
    }
    // Numbers that do not count up by one, or with words, stay the bar's text.
    auto words = RunImport("     Verse 2\n" + staff);
    EXPECT_EQ(SongText(words->doc.Events()).substr(0, 19), "|4/4\"Verse 2\" 42@0 ");
    auto other = RunImport("     1               3\n" + staff);
    const std::string kept = "|4/4\"1               3\" 42@0 ";
    EXPECT_EQ(SongText(other->doc.Events()).substr(0, kept.size()), kept);
}

TEST(Layouts, BlanksAsRestsInStaffLines)
{
    const std::string groove = "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336";
    // Every line with blanks for rests, and blank-rest lines under a line of ticks.
    const std::string blanks = "hh  |x x x x x x x x |\nsn  |    o       o   |\nbd  |o       o       |\n";
    const std::string mixed = "HH |x-x-x-x-x-x-x-x-|\nSN |    o       o   |\nBD |o       o       |\n";
    for (const std::string& text : {blanks, Crlf(blanks), mixed, Crlf(mixed)}) {
        auto r = RunImport(text);
        EXPECT_EQ(r->blocks, 1);
        EXPECT_EQ(SongText(r->doc.Events()), groove) << text;
    }
    // Bars that do not line up, and letters that are no notes, stay as they are.
    auto apart = RunImport("HH |x-x-x-x-x-x-x-x-|\nSN |    o       o    |\n");
    EXPECT_EQ(apart->imp.m_lines[1].m_text, "SN |    o       o    |");
    auto words = RunImport("Key |  a  e  h  |\nHH  |x-x-x-x-x-|\n");
    EXPECT_EQ(words->imp.m_lines[0].m_text, "Key |  a  e  h  |");
}

TEST(Layouts, EightColumnBarsOfEighths)
{
    const std::string eighths = "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 36@288 42@336";
    // Said in words, or shown by the backbeat on the third and seventh column.
    for (const char* head : {"Simple 8th note beats, one character = one 8th note\n\n", "each - is an 8th note\n\n", ""}) {
        const std::string tab = std::string(head) + "Hi-Hat: |xxxxxxxx|\nSnare:  |--o---o-|\nKick:   |o---o-o-|\n";
        for (const std::string& text : {tab, Crlf(tab)}) {
            auto r = RunImport(text);
            EXPECT_EQ(SongText(r->doc.Events()), eighths) << head;
        }
    }
    // Said halfway: the bars after the words only.
    auto later = RunImport("HH|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\n\neach char = 8th note now\n"
                           "HH|xxxxxxxx|\nSD|--o---o-|\n");
    EXPECT_EQ(BarsText(later->doc.Events()), "|4/4 |4/4");
    // Eight columns of sixteenths stay 2/4: the snare on the beats, or bars of sixteen beside them.
    auto half = RunImport("HH|x-x-x-x-|\nSD|----o---|\nBD|o-------|\n");
    EXPECT_EQ(BarsText(half->doc.Events()), "|2/4");
    auto mixed = RunImport("HH|x-x-x-x-x-x-x-x-|x-x-x-x-|\nSD|----o-------o---|--o---o-|\n");
    EXPECT_EQ(BarsText(mixed->doc.Events()), "|4/4 |2/4");
}

TEST(Layouts, AOneLetterLabelOverStrokesOnEveryColumn)
{
    // "H|xxxxxxxx|" has no tick to tell it from text; lined up with the staff under it, it is
    // the staff's first line.
    for (const std::string& text : {std::string("H|xxxxxxxx|\nS|--o---o-|\nB|o---o---|\n"),
                                    Crlf("H|xxxxxxxx|\nS|--o---o-|\nB|o---o---|\n")}) {
        auto r = RunImport(text);
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336");
    }
    // Alone, or over lines that do not line up, it stays text.
    auto alone = RunImport("A|bcdefghi|\n\nHH|x-x-x-x-|\nBD|o---o---|\n");
    EXPECT_NE(alone->imp.m_lines[0].m_type, LineType::StaffLine);
}

TEST(Layouts, ASignatureStatedAboveTheStavesNamesTheirBars)
{
    // Twelve sixteenths under "Time: 6/8" are a 6/8 bar, not 3/4; the notes stay where they are.
    for (const char* stated : {"Time: 6/8\n", "(6/8)\n", "Time signature 6/8\n\n"}) {
        auto r = RunImport(std::string(stated) + "HH|x-x-x-x-x-x-|\nSD|------o-----|\nBD|o-----------|\n");
        const std::string song = SongText(r->doc.Events());
        EXPECT_EQ(song.substr(song.find(" 42@0")), " 42@0 36@0 42@48 42@96 42@144 38@144 42@192 42@240") << stated;
        EXPECT_EQ(BarsText(r->doc.Events()), "|6/8") << stated;
    }
    // A shuffle of one column an eighth under "(12/8)": the columns spread over the 12/8 bar.
    auto shuffle = RunImport(Crlf("Shuffle (12/8)\nHH|x-xx-xx-xx-x|\nSD|---o-----o--|\nBD|o-----o-----|\n"));
    const std::string song = SongText(shuffle->doc.Events());
    EXPECT_EQ(song.substr(song.find(" 42@0")), " 42@0 36@0 42@96 42@144 38@144 42@240 42@288 36@288 42@384 42@432 38@432 42@528");
    EXPECT_EQ(BarsText(shuffle->doc.Events()), "|12/8");
    // The statement holds on for later staves; bars of another length keep their own.
    auto later = RunImport("Time: 6/8\nHH|x-x-x-x-x-x-|\nBD|o-----------|\n\nHH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n\n"
                           "HH|x-x-x-x-x-x-|\nBD|o-----o-----|\n");
    EXPECT_EQ(BarsText(later->doc.Events()), "|6/8 |4/4 |6/8");
    // A count in sixteenths under the statement places the notes; the statement names the bar.
    auto counted = RunImport(Crlf("Time: 6/8\n\n    1 e + a 2 e + a 3 e + a\nHH |x-x-x-x-x-x-x-x-x-x-x-x-|\n"
                                  "BD |o-----------o-----------|\n"));
    EXPECT_EQ(BarsText(counted->doc.Events()), "|6/8");
    EXPECT_EQ(SongText(counted->doc.Events()).substr(0, 30), "|6/8 42@0 36@0 42@24 42@48 42@");
}

TEST(Layouts, LabelsWrittenAfterTheBars)
{
    const std::string forms[] = {
        "|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-| HH\n|----o-------o---|----o-------o---| SN\n|o-------o-------|o-------o-o-----| BD\n",
        "  |x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|  Hat\n  |----o-------o---|----o-------o---|  S\n  |o-------o-------|o-------o-o-----|  Kick\n",
        "|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-| hi-hat\n|----o-------o---|----o-------o---| snare\n|o-------o-------|o-------o-o-----| bass\n",
        // With a count under the bars: it moves with them.
        "|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-| HH\n|----o-------o---|----o-------o---| SN\n|o-------o-------|o-------o-o-----| BD\n"
        " 1 + 2 + 3 + 4 +  1 + 2 + 3 + 4 +\n",
        // A remark after a label ("<- fill") is no part of it.
        "|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-| HH\n|----o-------o---|----o-------o---| SD  <- fill\n|o-------o-------|o-------o-o-----| BD\n",
    };
    for (const std::string& tab : forms) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(tab + (crlf ? " CR LF" : ""));
            auto r = RunImport(crlf ? Crlf(tab) : tab);
            EXPECT_EQ(r->blocks, 1);
            EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
            EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336 "
                                                 "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 36@240 42@288 38@288 42@336");
            EXPECT_TRUE(r->report.m_messages.empty());
        }
    }
    // A count or a remark after the bars is no label.
    auto count = RunImport("HH|x-x-x-x-x-x-x-x-| x4\nBD|o-------o-------|\n");
    EXPECT_EQ(count->imp.m_lines[0].m_text, "HH|x-x-x-x-x-x-x-x-| x4");
}

TEST(Layouts, QuotedAndNumberedLines)
{
    const std::string groove = "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 36@240 42@288 38@288 46@336";
    const std::string forms[] = {
        // Quoted in a forum post.
        "Quote from: someone\n> it's basically this:\n>\n> HH|x-x-x-x-x-x-x-o-|\n> SD|----o-------o---|\n"
        "> BD|o-------o-o-----|\n>\n> play it loose\n\nthanks!\n",
        ">HH|x-x-x-x-x-x-x-o-|\n>SD|----o-------o---|\n>BD|o-------o-o-----|\n",
        // Pasted with line numbers.
        "1.  Groove from my notes\n2.\n3.  HH|x-x-x-x-x-x-x-o-|\n4.  SD|----o-------o---|\n5.  BD|o-------o-o-----|\n",
        "9  : HH|x-x-x-x-x-x-x-o-|\n10 : SD|----o-------o---|\n11 : BD|o-------o-o-----|\n",
    };
    for (const std::string& tab : forms) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(tab + (crlf ? " CR LF" : ""));
            auto r = RunImport(crlf ? Crlf(tab) : tab);
            EXPECT_EQ(r->blocks, 1);
            EXPECT_EQ(SongText(r->doc.Events()), groove);
        }
    }
    // An ending line over a staff is no numbered line.
    auto endings = RunImport("  1.              2.\nH |x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\nB |o-------o-------|o-------o-------|\n");
    EXPECT_EQ(endings->imp.m_lines[0].m_text, "  1.              2.");
}

TEST(Layouts, AColonAfterTheLabelOpensTheFirstBar)
{
    const std::string tab = "HH:x-x-x-x-x-x-x-|x-x-x-x-x-x-x-|\nSD:----o-------o-|----o-----o-o-|\nBD:o-------o-----|o-o-----o-----|\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(BarsText(r->doc.Events()), "|7/8 |7/8");
        const std::string song = SongText(r->doc.Events());
        EXPECT_EQ(song.substr(0, song.find('|', 1)), "|7/8 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 ");
    }
    // "HH: x-x-": a blank or two after the colon, one bar closed by its bar line only.
    for (const char* sep : {": ", ":  "}) {
        const std::string one = std::string("here's the groove:\n\nHH") + sep + "x-x-x-x-x-x-x-x-|\nSD" + sep + "----o-------o---|\nBD" + sep
                                + "o-----o-o-------|\n\nhope that helps\n";
        for (const std::string& text : {one, Crlf(one)}) {
            auto r = RunImport(text);
            EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 36@144 42@192 36@192 42@240 42@288 38@288 42@336") << sep;
        }
    }
}

TEST(Layouts, StavesWithNoBlankLineBetweenStaySeparate)
{
    const std::string one = "HH |x-x-x-x-x-x-x-x-|\nSD |----o-------o---|\nBD |o-------o-------|\n";
    const std::string two = "HH |x-x-x-x-x-x-x-x-|\nSD |----o---o-o-o-o-|\nBD |o-------o-------|\n";
    for (const std::string& text : {one + two, Crlf(one + two + one)}) {
        auto r = RunImport(text);
        EXPECT_EQ(r->blocks, text.size() > 200 ? 3 : 2);
        const std::string song = SongText(r->doc.Events());
        EXPECT_NE(song.find("|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 38@192 36@192 42@240 38@240 42@288 38@288 "
                            "42@336 38@336"),
                  std::string::npos)
            << song;
    }
    // A staff that writes each line twice, or labels that come back out of order, is one staff.
    auto twice = RunImport("C |X-------|\nH |--x-x-x-|\nC |X-------|\nH |--x-x-x-|\nB |o---o---|\n");
    EXPECT_EQ(twice->blocks, 1);
    EXPECT_EQ(SongText(twice->doc.Events()), "|2/4 49@0 36@0 42@48 42@96 36@96 42@144");

    // The next staff without the crash line of the first: a staff of its own all the same.
    const std::string crash = "CC|X---------------|\n" + one;
    for (const std::string& text : {crash + two, Crlf(crash + two), crash + two + crash + two}) {
        auto r = RunImport(text);
        EXPECT_EQ(r->blocks, text.size() > 300 ? 4 : 2);
        EXPECT_EQ(BarsText(r->doc.Events()), text.size() > 300 ? "|4/4 |4/4 |4/4 |4/4" : "|4/4 |4/4");
        const std::string song = SongText(r->doc.Events());
        EXPECT_EQ(song.substr(0, 18), "|4/4 49@0 42@0 36@") << song;
        EXPECT_NE(song.find("|4/4 42@0 36@0 42@48 42@96 38@96 42@144 42@192 38@192 36@192"), std::string::npos) << song;
    }
}

} // namespace
