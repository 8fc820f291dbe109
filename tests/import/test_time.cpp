// Time lines: the census that finds them, count and meter lines, and the Time key rules.

#include "importtestutil.h"

#include <gtest/gtest.h>

namespace {
const char* kBeat = "HH|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\nBD|o-------o-o-----|\n";

TEST(TimeLines, CountAboveTheStaff)
{
    const std::string count = "  |1 e & a 2 e & a 3 e & a 4 e & a |\n";
    std::string tab;
    for (int i = 0; i < 3; ++i)
        tab += "  |1e+a2e+a3e+a4e+a|\n" + std::string(kBeat) + "\n";
    auto r = RunImport(tab);
    ASSERT_EQ(r->blocks, 3);
    EXPECT_EQ(r->imp.m_timeMode, 2);
    EXPECT_TRUE(r->imp.m_timeAbove);
    EXPECT_TRUE(r->imp.m_timeOutside);
    EXPECT_EQ(r->TypeOf(1), LineType::TimeLine);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4 |4/4");
    EXPECT_EQ(SongText(r->doc.Events()).substr(0, 36), "|4/4 42@0 36@0 42@48 42@96 38@96 42@");
}

TEST(TimeLines, CountBelowTheStaff)
{
    std::string tab;
    for (int i = 0; i < 2; ++i)
        tab += std::string(kBeat) + "  |1 + 2 + 3 + 4 + |\n\n";
    auto r = RunImport(tab);
    ASSERT_EQ(r->blocks, 2);
    EXPECT_EQ(r->imp.m_timeMode, 2);
    EXPECT_FALSE(r->imp.m_timeAbove);
    EXPECT_EQ(r->TypeOf(4), LineType::TimeLine);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
}

TEST(TimeLines, SixteenthsBetweenCountSyllablesKeepTheirPlace)
{
    // "1 + 2 + 3 + 4 +" over 16 columns: the hits under the blanks after the digits are the
    // "e" of each beat, not a second hit on the digit.
    auto r = RunImport("HH|oooooooooooooooo|\n  |1 + 2 + 3 + 4 + |\n\nHH|oooooooooooooooo|\n  |1 + 2 + 3 + 4 + |\n");
    ASSERT_EQ(r->blocks, 2);
    ASSERT_EQ(r->imp.m_timeMode, 2);
    std::string first = SongText(r->doc.Events()).substr(0, 60);
    EXPECT_EQ(first, "|4/4 46@0 46@24 46@48 46@72 46@96 46@120 46@144 46@168 46@19");
}

TEST(TimeLines, CountInEighthBeatsGivesEighthDenominator)
{
    auto r = RunImport("HH|x-x-x-x-x-x-x-x-x-x-x-x-|\n  |1+2+3+4+5+6+7+8+9+0+1+2+|\n\n"
                       "HH|x-x-x-x-x-x-x-x-x-x-x-x-|\n  |1+2+3+4+5+6+7+8+9+0+1+2+|\n");
    ASSERT_EQ(r->imp.m_timeMode, 2);
    EXPECT_EQ(BarsText(r->doc.Events()), "|12/8 |12/8");
}

TEST(TimeLines, CountTripletsInSixEight)
{
    auto r = RunImport("R |x--x--x--x--x--x--|\nB |o--------o--------|\n  (1tl2tl3tl4tl5tl6tl|\n\n"
                       "R |x--x--x--x--x--x--|\nB |o--------o--------|\n  (1tl2tl3tl4tl5tl6tl|\n");
    ASSERT_EQ(r->imp.m_timeMode, 2);
    EXPECT_EQ(BarsText(r->doc.Events()), "|6/8 |6/8");
    EXPECT_EQ(SongText(r->doc.Events()).substr(0, 32), "|6/8 51@0t 36@0t 51@48t 51@96t 5");
}

TEST(TimeLines, SixteenthTripletsOnBothHalvesOfABeat)
{
    // "3tl+tl": a triplet on each eighth of beat 3, so six columns to the beat; "4tl+ " a
    // triplet on the first eighth and a plain eighth after it. The bar stays 4/4.
    const char* tab = "C |x---x--------------|\n"
                      "T |--------------ooo--|\n"
                      "SD|----o---oooooo-----|\n"
                      "FT|-----------------o-|\n"
                      "B |o--o---o-----------|\n"
                      "  (1 + 2 + 3tl+tl4tl+ )\n";
    for (bool crlf : {false, true}) {
        SCOPED_TRACE(crlf ? "CR LF" : "LF");
        auto r = RunImport(crlf ? Crlf(tab) : std::string(tab));
        ASSERT_EQ(r->imp.m_timeMode, 2);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4");
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 49@0 36@0 36@72 49@96 38@96 36@168 38@192t 38@208t 38@224t 38@240t "
                                             "38@256t 38@272t 50@288t 50@304t 50@320t 41@336");
    }
    // Without the "+", a triplet count fills an eighth: "1 t l 2 t l" is 2/8 ...
    auto eighths = RunImport("SD|oooooooooooo|\n  |1 t l 2 t l |\n\nSD|oooooooooooo|\n  |1 t l 2 t l |\n");
    EXPECT_EQ(BarsText(eighths->doc.Events()), "|2/8 |2/8");
    // ... and so are six beats written "1tl2tl..." (6/8), but up to four of them are one
    // trip-let each: eighth-note triplets of quarter beats.
    auto six = RunImport("SD|oooooooooooooooooo|\n  |1tl2tl3tl4tl5tl6tl|\n\nSD|oooooooooooooooooo|\n  |1tl2tl3tl4tl5tl6tl|\n");
    EXPECT_EQ(BarsText(six->doc.Events()), "|6/8 |6/8");
    auto four = RunImport("SD|oooooooooooo|\n  |1tl2tl3tl4tl|\n\nSD|oooooooooooo|\n  |1tl2tl3tl4tl|\n");
    EXPECT_EQ(BarsText(four->doc.Events()), "|4/4 |4/4");
    const std::string song = SongText(four->doc.Events());
    EXPECT_EQ(song.substr(0, song.find('|', 1)), "|4/4 38@0t 38@32t 38@64t 38@96t 38@128t 38@160t 38@192t 38@224t 38@256t 38@288t "
                                                 "38@320t 38@352t ");
}

TEST(TimeLines, ThreeSyllablesSpreadOverABeat)
{
    // "1 + a" a blank apart over six columns a beat: each beat in three, the columns
    // sixteenth-note triplets.
    const std::string shuffle = "   |1 + a 2 + a 3 + a 4 + a |\n"
                                "HH |x---x-x---x-x---x-x---x-|\n"
                                "SD |------o-----------o-----|\n"
                                "BD |o-----------o---o-------|\n";
    for (bool crlf : {false, true}) {
        auto r = RunImport(crlf ? Crlf(shuffle) : shuffle);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4");
        EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0t 36@0t 42@64t 42@96t 38@96t 42@160t 42@192t 36@192t 42@256t 36@256t "
                                             "42@288t 38@288t 42@352t");
    }
    // Under a stated signature in eighths the same count is of dotted quarters: 6/8.
    const std::string sixEight = "Time: 6/8\n\n"
                                 "   1 & a 2 & a   1 & a 2 & a\n"
                                 "H |x-x-x-x-x-x-|x-x-x-x-x-x-|\n"
                                 "S |------o-----|------o---o-|\n"
                                 "B |o---------o-|o-----------|\n";
    for (bool crlf : {false, true}) {
        auto r = RunImport(crlf ? Crlf(sixEight) : sixEight);
        EXPECT_EQ(BarsText(r->doc.Events()), "|6/8 |6/8");
        EXPECT_EQ(SongText(r->doc.Events()), "|6/8 42@0 36@0 42@48 42@96 42@144 38@144 42@192 42@240 36@240 "
                                             "|6/8 42@0 36@0 42@48 42@96 42@144 38@144 42@192 42@240 38@240");
    }
}

TEST(TimeLines, AndsBetweenBeatNumbersAreACountNotEndings)
{
    // "1&2&3&4&5&6&" under each bar: a count of 6/8 in sixteenths, played once.
    const std::string tab = "HH |x-x-x-x-x-x-|x-x-x-x-x-x-|\nSD |------o-----|------o-oooo|\nBD |o-------o---|o-----------|\n"
                            "   |1&2&3&4&5&6&|1&2&3&4&5&6&|\n";
    for (bool crlf : {false, true}) {
        auto r = RunImport(crlf ? Crlf(tab) : tab);
        EXPECT_EQ(BarsText(r->doc.Events()), "|6/8 |6/8");
        EXPECT_EQ(r->imp.m_lines[3].m_type, LineType::TimeLine);
    }
}

TEST(TimeLines, AStatedSignatureSetsTheGridOfItsColumns)
{
    // "(5/4)" over bars of ten columns: a column for each eighth, with a count of quarters
    // and their "and" or without one.
    const std::string staff = "Rd |xxxxxxxxxx|xx-xx-xx-x|\nSd |--o---o---|--o--o--oo|\nBd |o---o-o-o-|o--o--o---|\n";
    const std::string title = "Five Four Thing (5/4)\n\n";
    for (const std::string& tab : {title + staff + "    1&2&3&4&5& 1&2&3&4&5&\n", title + staff}) {
        SCOPED_TRACE(tab);
        auto r = RunImport(tab);
        EXPECT_EQ(BarsText(r->doc.Events()), "|5/4 |5/4");
        const std::string song = SongText(r->doc.Events());
        EXPECT_EQ(song.substr(0, song.find('|', 1)), "|5/4 51@0 36@0 51@48 51@96 38@96 51@144 51@192 36@192 51@240 51@288 "
                                                     "38@288 36@288 51@336 51@384 36@384 51@432 ");
    }
    // Without the stated signature ten columns of "1&2&3&4&5&" stay 5/8 in sixteenths.
    auto plain = RunImport(staff + "    1&2&3&4&5& 1&2&3&4&5&\n");
    EXPECT_EQ(BarsText(plain->doc.Events()), "|5/8 |5/8");
}

TEST(TimeLines, BeatNumbersWithTripletSyllablesAreACountNotLengths)
{
    // "1 t t 2 t t 3 t t 4 t t": the digits count up, so they are beats, not the whole, half
    // and quarter notes of a line of lengths.
    const std::string tab = "     1 t t 2 t t 3 t t 4 t t\n"
                            "HH  |x---x-x---x-x---x-x---x-|\n"
                            "SN  |--g-----g---O-g-----g---|\n"
                            "BD  |o---------o-----o-------|\n";
    for (bool crlf : {false, true}) {
        auto r = RunImport(crlf ? Crlf(tab) : tab);
        EXPECT_EQ(r->imp.m_timeMode, 2);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4");
        const std::string song = SongText(r->doc.Events());
        EXPECT_EQ(song.substr(0, 40), "|4/4 42@0t 36@0t 38@32gt 42@64t 42@96t 3");
    }
}

TEST(TimeLines, ACountUnderOneStaffHoldsForTheUncountedStavesAfterIt)
{
    // Beats three columns apart under the verse: 4/4 in eighth-note triplets, and so for the
    // chorus of the same width, which has no count.
    const std::string tab = "VERSE\n"
                            "HH  |x-xx-xx-xx-x|\n"
                            "BD  |------o-----|\n"
                            "    |1  2  3  4  |\n"
                            "\n"
                            "CHORUS\n"
                            "HH  |x-xx-xx-xx-x|x-xx-xx-x---|\n"
                            "Sn  |------o-----|---------ooo|\n"
                            "BD  |------o-----|o-----o-----|\n";
    for (bool crlf : {false, true}) {
        auto r = RunImport(crlf ? Crlf(tab) : tab);
        EXPECT_EQ(r->imp.m_timeMode, 2);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4 |4/4");
        const std::string song = SongText(r->doc.Events());
        EXPECT_EQ(song.substr(song.rfind("|4/4")), "|4/4 42@0t 36@0t 42@64t 42@96t 42@160t 42@192t 36@192t 42@256t 38@288t 38@320t 38@352t");
    }
}

TEST(TimeLines, APickupBarIsAsShortAsItsCount)
{
    const std::string tab = "     4e+a 1e+a2e+a3e+a4e+a\n"
                            "CC  |----|x---------------|\n"
                            "HH  |----|----x-x-x-x-x-x-|\n"
                            "SN  |oooo|----o-------o---|\n"
                            "BD  |----|o-------o-o-----|\n";
    for (bool crlf : {false, true}) {
        auto r = RunImport(crlf ? Crlf(tab) : tab);
        EXPECT_EQ(BarsText(r->doc.Events()), "|1/4 |4/4");
        const std::string song = SongText(r->doc.Events());
        EXPECT_EQ(song.substr(0, song.find("|4/4")), "|1/4 38@0 38@24 38@48 38@72 ");
    }
    // Counted from a later beat further on in the song, a bar is as short as its count too:
    // after a whole 4/4 bar, the half bar counted "3e+a4e+a" is 2/4 with its notes from 0, not
    // a 4/4 bar of two silent beats and then the notes.
    auto later = RunImport("H |x-x-x-x-x-x-x-x-|x-x-x-x-|\nS |----o-------o---|o-------|\n  |1e+a2e+a3e+a4e+a|3e+a4e+a|\n");
    EXPECT_EQ(BarsText(later->doc.Events()), "|4/4 |2/4");
    const std::string song = SongText(later->doc.Events());
    EXPECT_EQ(song.substr(song.find("|2/4")), "|2/4 42@0 38@0 42@48 42@96 42@144");
}

TEST(TimeLines, ShuffleCountedOneTripLetABlankApart)
{
    // "1 t l" with a blank between the syllables, four beats over 24 columns: a 4/4 bar in
    // eighth-note triplets, two columns to each of them (16 positions a column).
    const std::string ride = "|x---x-x---x-x---x-x---x-|";
    const std::string snare = "|------o-----------o---o-|";
    const std::string kick = "|o-----------o-----------|";
    const std::string count = "|1 t l 2 t l 3 t l 4 t l |";
    const std::string bar = "|4/4 51@0t 36@0t 51@64t 51@96t 38@96t 51@160t 51@192t 36@192t 51@256t 51@288t 38@288t 51@352t 38@352t";
    struct SCase
    {
        const char* name;
        std::string tab;
        const char* bars;
    };
    const SCase cases[] = {
        {"count below", "Ride |" + ride.substr(1) + "\nSnare" + snare + "\nKick " + kick + "\n     " + count + "\n", "|4/4"},
        {"count above, colons", "     " + count + "\nR:   " + ride + "\nS:   " + snare + "\nB:   " + kick + "\n", "|4/4"},
        {"two bars, count without bar lines",
         "    1 t l 2 t l 3 t l 4 t l  1 t l 2 t l 3 t l 4 t l\nRd " + ride + ride.substr(1) + "\nSn " + snare + snare.substr(1)
             + "\nBd " + kick + kick.substr(1) + "\n",
         "|4/4 |4/4"},
    };
    for (const SCase& c : cases) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (crlf ? " CR LF" : ""));
            auto r = RunImport(crlf ? Crlf(c.tab) : c.tab);
            EXPECT_EQ(r->imp.m_timeMode, 2);
            EXPECT_EQ(BarsText(r->doc.Events()), c.bars);
            const std::string song = SongText(r->doc.Events());
            EXPECT_EQ(song.substr(0, song.find(" |", 1)), bar);
        }
    }
    // Three beats so spaced, or beats that do not count 1 to 4, are no 4/4 shuffle count.
    auto three = RunImport("SD|oooooooooooooooooo|\n  |1 t l 2 t l 3 t l |\n");
    EXPECT_EQ(BarsText(three->doc.Events()), "|3/8");
    auto skipped = RunImport("SD|oooooooooooooooooooooooo|\n  |1 t l 2 t l 3 t l 5 t l |\n");
    EXPECT_NE(BarsText(skipped->doc.Events()), "|4/4");
}

TEST(TimeLines, BeatsCountedOneTripTripWithoutBlanks)
{
    // "1tt" is a beat in three like "1tl": three columns a beat, eighth-note triplets.
    const std::string waltz = "|3/4 51@0t 36@0t 51@96t 44@96t 51@160t 51@192t";
    struct SCase
    {
        const char* name;
        std::string tab;
    };
    const SCase cases[] = {
        {"above, no bar lines", "     1tt2tt3tt 1tt2tt3tt\nRide|x--x-xx--|x--x-xx--|\nBd  |o--------|o--------|\nHf  |---x-----|---x-----|\n"},
        {"below, upper case", "R |x--x-xx--|x--x-xx--|\nB |o--------|o--------|\nHF|---x-----|---x-----|\n  |1TT2TT3TT|1TT2TT3TT|\n"},
    };
    for (const SCase& c : cases) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (crlf ? " CR LF" : ""));
            auto r = RunImport(crlf ? Crlf(c.tab) : c.tab);
            EXPECT_EQ(r->imp.m_timeMode, 2);
            EXPECT_EQ(BarsText(r->doc.Events()), "|3/4 |3/4");
            const std::string song = SongText(r->doc.Events());
            EXPECT_EQ(song.substr(0, song.find(" |", 1)), waltz);
        }
    }
    auto four = RunImport("H |x--x-xx--x-x|\nS |---o-----o--|\nB |o-----o-----|\n  |1tt2tt3tt4tt|\n");
    EXPECT_EQ(SongText(four->doc.Events()), "|4/4 42@0t 36@0t 42@96t 38@96t 42@160t 42@192t 36@192t 42@288t 38@288t 42@352t");
}

TEST(TimeLines, SextupletsCountedTaTaAndTaTa)
{
    // "1tt+tt" (one-ta-ta-and-ta-ta): six to the beat, as "1tl+tl".
    const std::string fill = "|4/4 38@0t 38@16t 38@32t 38@48t 38@64t 38@80t 50@96t 50@112t 50@128t 48@144t 48@160t 48@176t "
                             "49@192t 36@192t 38@256t";
    struct SCase
    {
        const char* name;
        std::string tab;
    };
    const SCase cases[] = {
        {"below", "SN|oooooo----------o-------|\nHT|------ooo---------------|\nMT|---------ooo------------|\n"
                  "CR|------------x-----------|\nBD|------------o-----------|\n  |1tt+tt2tt+tt3tt+tt4tt+tt|\n"},
        {"above, with '&'", "  |1tt&tt2tt&tt3tt&tt4tt&tt|\nSN|oooooo----------o-------|\nHT|------ooo---------------|\n"
                            "MT|---------ooo------------|\nCR|------------x-----------|\nBD|------------o-----------|\n"},
    };
    for (const SCase& c : cases) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (crlf ? " CR LF" : ""));
            auto r = RunImport(crlf ? Crlf(c.tab) : c.tab);
            EXPECT_EQ(r->imp.m_timeMode, 2);
            EXPECT_EQ(SongText(r->doc.Events()), fill);
        }
    }
    // Beside plain beats of the same bar: the sextuplet beats take six columns, the others two.
    auto mixed = RunImport("S |oooooo------------|\nB |------------o-o---|\n  |1tt+tt2tt+tt3 + 4 + |\n");
    EXPECT_EQ(SongText(mixed->doc.Events()), "|4/4 38@0t 38@16t 38@32t 38@48t 38@64t 38@80t 36@192 36@240");
}

TEST(TimeLines, BarLinesEveryTwoBeatsKeepTheBarWhole)
{
    // A bar line after each second beat, the count going on from 3 after it: two 4/4 bars.
    const std::string hat = "|x-x-x-x-|x-x-x-x-|x-x-x-x-|x-x-xx-x|";
    const std::string snare = "|----o---|----o---|----o---|----o--o|";
    const std::string kick = "|o-----o-|--o-----|o-----o-|-o------|";
    const std::string song = "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 36@144 42@192 42@240 36@240 42@288 38@288 42@336 "
                             "|4/4 42@0 36@0 42@48 42@96 38@96 42@144 36@144 42@192 36@216 42@240 42@288 38@288 42@312 42@360 38@360";
    struct SCase
    {
        const char* name;
        std::string tab;
    };
    const SCase cases[] = {
        {"count below, blanks at the bar lines", "H " + hat + "\nS " + snare + "\nK " + kick + "\n   1e+a2e+a 3e+a4e+a 1e+a2e+a 3e+a4e+a\n"},
        {"count below, bar lines", "H " + hat + "\nS " + snare + "\nK " + kick + "\n  |1e+a2e+a|3e+a4e+a|1e+a2e+a|3e+a4e+a|\n"},
        {"count above, colons", "    1e+a2e+a 3e+a4e+a 1e+a2e+a 3e+a4e+a\nHH:" + hat + "\nSD:" + snare + "\nBD:" + kick + "\n"},
    };
    for (const SCase& c : cases) {
        for (bool crlf : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (crlf ? " CR LF" : ""));
            auto r = RunImport(crlf ? Crlf(c.tab) : c.tab);
            EXPECT_EQ(r->imp.m_timeMode, 2);
            EXPECT_EQ(SongText(r->doc.Events()), song);
        }
    }
    // "x2" after the staff plays the one bar twice, not the bars written.
    auto twice = RunImport("H |x-x-x-x-|x-x-x-x-|  x2\nK |o-------|o-------|\n   1e+a2e+a 3e+a4e+a\n");
    EXPECT_EQ(SongText(twice->doc.Events()), "|4/4 42@0 36@0 42@48 42@96 42@144 42@192 36@192 42@240 42@288 42@336 %1*1");
}

TEST(TimeLines, HalfBarsStayHalfBarsWhereBarsAreCountedAsWritten)
{
    // With repeat signs or a stated 2/4 the bars stay as written: 2/4 each, their notes from 0.
    const std::string half = "42@0 36@0 42@48 42@96 38@96 42@144 36@144 |2/4";
    auto repeated = RunImport("H |:x-x-x-x-|x-x-x-x-:|\nS |:----o---|----o---:|\nK |:o-----o-|--o-----:|\n    1e+a2e+a 3e+a4e+a\n");
    EXPECT_EQ(SongText(repeated->doc.Events()), "|2/4+s " + half + "+e 42@0 42@48 36@48 42@96 38@96 42@144");
    auto stated = RunImport("Time: 2/4\n\nH |x-x-x-x-|x-x-x-x-|\nS |----o---|----o---|\nK |o-----o-|--o-----|\n   1e+a2e+a 3e+a4e+a\n");
    EXPECT_EQ(SongText(stated->doc.Events()), "|2/4 " + half + " 42@0 42@48 36@48 42@96 38@96 42@144");
}

TEST(TimeLines, MeterLine)
{
    std::string tab;
    for (int i = 0; i < 2; ++i)
        tab += "  |q   q   q   q   |\nSD|o---o---o---o---|\nBD|o-------o-------|\n\n";
    auto r = RunImport(tab);
    ASSERT_EQ(r->imp.m_timeMode, 1);
    EXPECT_TRUE(r->imp.m_timeAbove);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
    EXPECT_EQ(SongText(r->doc.Events()).substr(0, 41), "|4/4 38@0 36@0 38@96 38@192 36@192 38@288");
}

TEST(TimeLines, MeterTripletsAddUpToTheirShare)
{
    std::string tab;
    for (int i = 0; i < 2; ++i)
        tab += "  |q^  q^  q^  h       |\nSD|o---o---o---o-------|\n\n";
    auto r = RunImport(tab);
    ASSERT_EQ(r->imp.m_timeMode, 1);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
    EXPECT_EQ(SongText(r->doc.Events()).substr(0, 33), "|4/4 38@0t 38@64t 38@128t 38@192 ");
}

TEST(TimeLines, NoTimeLinesMeansLinear)
{
    auto r = RunImport(std::string("Verse\n") + kBeat + "\n" + kBeat);
    EXPECT_EQ(r->imp.m_timeMode, 0);
    EXPECT_EQ(r->TypeOf(1), LineType::PreComment);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
}

TEST(TimeLines, BlockWithoutItsCountLineFallsBackAndIsReported)
{
    std::string tab;
    for (int i = 0; i < 3; ++i)
        tab += std::string(kBeat) + "  |1 + 2 + 3 + 4 + |\n\n";
    tab += std::string(kBeat);
    auto r = RunImport(tab);
    ASSERT_EQ(r->imp.m_timeMode, 2);
    EXPECT_TRUE(r->HasIssue(ImportIssue::BadTimeLine));
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4 |4/4 |4/4");
}

TEST(TimeKeyDialog, OnlyMeterOrCountMayTurnLinear)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CTabImporter imp;
    imp.m_timeMode = 2;
    CTabImporter::STimeOptions toMeter;
    toMeter.timeMode = 1;
    EXPECT_FALSE(imp.ApplyTimeOptions(toMeter));
    EXPECT_EQ(imp.m_timeMode, 2);
    EXPECT_EQ(report.m_messages.value(0), QStringLiteral("Cannot change time mode"));
    CTabImporter::STimeOptions toLinear;
    toLinear.ticksPerChar = 1;
    EXPECT_TRUE(imp.ApplyTimeOptions(toLinear));
    EXPECT_EQ(imp.m_timeMode, 0);
    EXPECT_EQ(imp.m_ticksPerChar, 1);
    EXPECT_EQ(report.m_messages.value(1), QStringLiteral("Changing time mode to linear. Please carefully check results."));
    CTabImporter::STimeOptions fromLinear;
    fromLinear.timeMode = 2;
    EXPECT_FALSE(imp.ApplyTimeOptions(fromLinear));
    EXPECT_EQ(imp.m_timeMode, 0);
}

TEST(TimeKeyDialog, LinearReimportIgnoresTheCountLines)
{
    std::string tab;
    for (int i = 0; i < 2; ++i)
        tab += std::string(kBeat) + "  |1 + 2 + 3 + 4 + |\n\n";
    CTabImporter::STimeOptions linear;
    auto r = RunImport(tab, &linear);
    EXPECT_EQ(r->imp.m_timeMode, 0);
    EXPECT_EQ(r->TypeOf(4), LineType::PostComment);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
}
} // namespace
