// How the lines of real-world tabs are read: prose that holds bar characters, time signatures
// written in the staff, endings and words over bars, repeat counts and indented staves.

#include "importtestutil.h"
#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {
const std::string kHH = "x-x-x-x-x-x-x-x-";
const std::string kBD = "o-------o-------";

std::string Bars(const SImported& r)
{
    return BarsText(r.doc.Events());
}

struct SStructCase
{
    const char* name;
    std::string tab;
    std::string bars;
};

class Structure : public ::testing::TestWithParam<SStructCase>
{
};

// Each tab is read with LF and with CR LF line ends to the same bars.
TEST_P(Structure, GivesTheWrittenBars)
{
    for (const std::string& tab : {GetParam().tab, Crlf(GetParam().tab)}) {
        auto r = RunImport(tab);
        ASSERT_GE(r->blocks, 1) << r->imp.m_fatalMessage.toStdString();
        EXPECT_EQ(Bars(*r), GetParam().bars);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tabs, Structure,
    ::testing::Values(
        // Header lines that hold a few bar characters are text.
        SStructCase{"LegendInTheHeader",
                    "Song: Demo  Tempo: 100  Legend: |-x-|: closed hat |-o-|: open hat\n\nH |x-x-x-x-x-x-o---|\nB |"
                        + kBD + "|\n",
                    "|4/4"},
        SStructCase{"ProseBetweenBarCharacters",
                    "Notes |x| means hit the hat | o | means kick it hard\n\nHH|" + kHH + "|\nBD|" + kBD + "|\n", "|4/4"},
        // Signatures stacked in the staff between bars.
        SStructCase{"StackedSignature",
                    "H |x-x-x-x-x-x-x-x-| 2 |x-x-x-x-|\nS |----o-------o---|---|----o---|\nB |o-------o-------| 4 |o-------|\n",
                    "|4/4 |2/4"},
        SStructCase{"StackedSignatureNoSpaces",
                    "H |x-x-x-x-x-x-x-x-|3|x-x-x-x-x-x-|\nS |----o-------o---|-|----o-------|\nB |o-------o-------|4|o-----------|\n",
                    "|4/4 |3/4"},
        SStructCase{"SignatureLeftOfTheLabels",
                    "H |" + kHH + "|\nS |----o-------o---|\nB |" + kBD
                        + "|\n\n 2 H |x-x-x-x-|\n---S |----o---|\n 4 B |o-------|\n",
                    "|4/4 |2/4"},
        // Words glued to a number are remarks, not endings.
        SStructCase{"WordIsNoEnding",
                    std::string(22, ' ') + "8thtrip\nH |" + kHH + "|" + kHH + "|\nB |" + kBD + "|o---o---o---o---|\n",
                    "|4/4 |4/4"},
        // A later group's endings start afresh.
        SStructCase{"LaterGroupStartsAfresh",
                    "H |x-x-x-x-x-x-x-x-|\n  |1.              |2.              |\nH |x---x---x---x---|xxxxxxxxxxxxxxxx|\n\n"
                    "H |o-o-o-o-o-o-o-o-|\n  |1.              |2.              |\nH |x-x-x-x-x-x-x-x-|xxxxxxxxxxxxxxxx|\n",
                    "|4/4+s |4/4+a1 |4/4+a2 |4/4+s |4/4+a1 |4/4+a2"},
        // Counts are plays in all.
        SStructCase{"TimesAfterTheStaff", "HH|" + kHH + "|" + kHH + "| x3\nBD|" + kBD + "|" + kBD + "|\n",
                    "|4/4 |4/4 %2*2"},
        SStructCase{"RepeatTimesAbove", "   repeat 3 times\nHH|" + kHH + "|" + kHH + "|\nBD|" + kBD + "|" + kBD + "|\n",
                    "|4/4 |4/4 %2*2"},
        SStructCase{"RepeatXInBracket",
                    "  |---repeat x3---|\nHH|" + kHH + "|" + kHH + "|\nBD|" + kBD + "|" + kBD + "|\n",
                    "|4/4 %1*2 |4/4"},
        SStructCase{"BracketOneBlankLineAbove",
                    "          ____3x____\n\nHH|" + kHH + "|" + kHH + "|\nBD|" + kBD + "|" + kBD + "|\n",
                    "|4/4 %1*2 |4/4"},
        SStructCase{"BracketWithoutWord",
                    "  |-------x2-------|\nHH|" + kHH + "|" + kHH + "|\nBD|" + kBD + "|" + kBD + "|\n",
                    "|4/4 %1*1 |4/4"},
        // Indented staves, by spaces or TABs.
        SStructCase{"IndentedBySpaces", "        H|" + kHH + "|\n        B|" + kBD + "|\n", "|4/4"},
        SStructCase{"IndentedByTabs", "\t\tHH|" + kHH + "|" + kHH + "|\n\t\tBD|" + kBD + "|" + kBD + "|\n", "|4/4 |4/4"},
        SStructCase{"IndentedWithCommentAbove",
                    "            Verse\n            HH|" + kHH + "|\n            BD|" + kBD + "|\n", "|4/4"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Structure, HeaderWithBarCharactersKeepsItsTempo)
{
    auto r = RunImport("Song: Demo  Tempo: 100  Legend: |-x-|: closed hat |-o-|: open hat\n\nH |x-x-x-x-x-x-o---|\nB |"
                       + kBD + "|\n");
    EXPECT_EQ(r->TypeOf(1), LineType::Header);
    EXPECT_EQ(r->imp.m_tempo, 100);
    // The open hat at the seventh eighth, the kicks on 1 and 3.
    EXPECT_EQ(SongText(r->doc.Events()), "|4/4 42@0 36@0 42@48 42@96 42@144 42@192 36@192 42@240 46@288");
}

TEST(Structure, WordsOverBarsAreRemarks)
{
    auto r = RunImport(std::string(22, ' ') + "8thtrip\nH |" + kHH + "|" + kHH + "|\nB |" + kBD + "|" + kBD + "|\n");
    EXPECT_FALSE(r->HasIssue(61482));
    EXPECT_EQ(SongText(r->doc.Events()).substr(0, 5), "|4/4 ");
    EXPECT_NE(SongText(r->doc.Events()).find("|4/4\"8thtrip\""), std::string::npos);
    auto indented = RunImport("            Verse\n            HH|" + kHH + "|\n            BD|" + kBD + "|\n");
    EXPECT_EQ(SongText(indented->doc.Events()).substr(0, 11), "|4/4\"Verse\"");
}

TEST(Structure, SectionNamesAreNoEndings)
{
    for (const char* words : {"1st Bridge", "2nd Chorus"}) {
        auto r = RunImport("HH|" + kHH + "|\n\n  " + words + "\nHH|" + kHH + "|" + kHH + "|\n");
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4 |4/4") << words;
    }
    // Ending marks do stand alone, or with "ending".
    auto endings = RunImport("HH|" + kHH + "|\n\n   1st ending       2nd ending\nHH|" + kHH + "|" + kHH + "|\n");
    EXPECT_EQ(BarsText(endings->doc.Events()), "|4/4+s |4/4+a1 |4/4+a2");
}

TEST(Structure, StackedSignatureLeavesTheNotesAlone)
{
    auto r = RunImport(" 2 H |x-x-x-x-|\n---S |----o---|\n 4 B |o-------|\n");
    ASSERT_EQ(r->blocks, 1);
    // Hi-hat, snare and kick, not percussion read from labels with a digit in front.
    EXPECT_EQ(SongText(r->doc.Events()), "|2/4 42@0 36@0 42@48 42@96 38@96 42@144");
}

TEST(Structure, IndentedStaffIsNoWarning)
{
    auto r = RunImport("        HH|" + kHH + "|\n        SD|----o-------o---|\n        BD|" + kBD + "|\n");
    EXPECT_FALSE(r->report.m_messages.contains(QStringLiteral("WARNING: This tab does not look like a drum tab")));
    EXPECT_EQ(r->imp.m_barTotal, 1);
}

// The play order as the song plays it, through the command-line dump.
std::vector<int> PlayOrderOf(const QByteArray& tab)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tab.txt"));
    if (!WriteAll(path, tab))
        return {};
    const SRunResult r = RunCli({QStringLiteral("dump"), path});
    std::vector<int> order;
    const QJsonArray a =
        QJsonDocument::fromJson(r.out).object()[QStringLiteral("midi")].toObject()[QStringLiteral("playOrder")].toArray();
    for (const auto& v : a)
        order.push_back(v.toInt());
    return order;
}

TEST(Structure, EndingsOfTwoGroupsPlayEveryBar)
{
    const QByteArray tab = "H |x-x-x-x-x-x-x-x-|\n"
                           "  |1.              |2.              |\n"
                           "H |x---x---x---x---|xxxxxxxxxxxxxxxx|\n"
                           "\n"
                           "H |o-o-o-o-o-o-o-o-|\n"
                           "  |1.              |2.              |\n"
                           "H |x-x-x-x-x-x-x-x-|xxxxxxxxxxxxxxxx|\n";
    EXPECT_EQ(PlayOrderOf(tab), (std::vector<int>{1, 2, 1, 3, 4, 5, 4, 6}));
}

TEST(Structure, RepeatSignsOnSingleBarLines)
{
    // "|:" and ":|" on plain bar lines: the colons are the signs, not a column of hits.
    const QByteArray staves[] = {
        "Hh|:x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-:|x-x-x-x-x-x-x-x-|\n"
        "Sn|:----o-------o---|----o-------o-o-:|----o---o-o-o-o-|\n"
        "Bd|:o-------o-------|o-------o-------:|o-------o-------|\n",
        "Hh |:x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-:|x-x-x-x-x-x-x-x-|\r\n"
        "Sn |:----o-------o---|----o-------o-o-:|----o---o-o-o-o-|\r\n"
        "Bd |:o-------o-------|o-------o-------:|o-------o-------|\r\n",
    };
    for (const QByteArray& staff : staves) {
        SCOPED_TRACE(staff.toStdString());
        EXPECT_EQ(PlayOrderOf(staff), (std::vector<int>{1, 2, 1, 2, 3}));
        auto r = RunImport(staff.toStdString());
        const std::string song = SongText(r->doc.Events());
        EXPECT_EQ(song.substr(0, song.find('|', 1)), "|4/4+s 42@0 36@0 42@48 42@96 38@96 42@144 42@192 36@192 42@240 42@288 38@288 42@336 ");
        EXPECT_TRUE(r->report.m_messages.empty());
        // With endings over the last two bars.
        EXPECT_EQ(PlayOrderOf("                     1.                2.\n" + staff), (std::vector<int>{1, 2, 1, 3}));
    }
}

TEST(Structure, ARepeatGroupOfOneBar)
{
    const std::string bar = "Rd||:x-x-x-x-x-x-x-x-:||\nSD||:----o-------o---:||\nBD||:o-o-o-o-o-o-o-o-:||\n";
    const std::string intro = "Rd|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\n\n";
    EXPECT_EQ(PlayOrderOf(QByteArray::fromStdString(bar)), (std::vector<int>{1, 1}));
    EXPECT_EQ(PlayOrderOf(QByteArray::fromStdString(intro + bar)), (std::vector<int>{1, 2, 2}));
    // A count over the staff, or after its closing sign, is how often the bar plays in all.
    for (const char* over : {"[Verse] x4\n", "Verse (x4)\n", "play 4 times\n"}) {
        SCOPED_TRACE(over);
        EXPECT_EQ(PlayOrderOf(QByteArray::fromStdString(intro + over + bar)), (std::vector<int>{1, 2, 2, 2, 2}));
    }
    const std::string counted = "Rd||:x-x-x-x-x-x-x-x-:|| x3\nSD||:----o-------o---:||\nBD||:o-o-o-o-o-o-o-o-:||\n";
    EXPECT_EQ(PlayOrderOf(QByteArray::fromStdString(intro + counted)), (std::vector<int>{1, 2, 2, 2}));
    EXPECT_EQ(PlayOrderOf(QByteArray::fromStdString(Crlf(intro + counted))), (std::vector<int>{1, 2, 2, 2}));
}

TEST(Structure, ACountInTheTitleOfAStaffWithEndings)
{
    // "CHORUS (2x)" and "1st time", "2nd time" over the last two bars: the endings say how
    // the staff repeats.
    const QByteArray tab = "CHORUS (2x)" + QByteArray(28, ' ') + "1st time" + QByteArray(9, ' ') + "2nd time\n"
                           "HH  |x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n"
                           "BD  |o-------o-------|o-------o-------|o-------o-o-----|o---o---o---o---|\n";
    EXPECT_EQ(PlayOrderOf(tab), (std::vector<int>{1, 2, 3, 1, 2, 4}));
}

TEST(Structure, ASectionAskedForAgainIsPlayedAgain)
{
    const std::string tab = "Intro\nHH|x-x-x-x-x-x-x-x-|\n\n"
                            "Verse (x2)\nHH|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\nBD|o-------o-o-----|\n\n"
                            "Chorus\nRD|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\nBD|o---o---o---o---|\n\n"
                            "Verse 2 - same as verse\n\n(repeat the chorus)\n\n"
                            "Outro\nCC|x---------------|\nBD|o---------------|\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        // Measures: intro, verse and its repeat, chorus, the verse again with its repeat,
        // the chorus again, outro.
        EXPECT_EQ(PlayOrderOf(QByteArray::fromStdString(text)), (std::vector<int>{1, 2, 2, 4, 5, 5, 7, 8}));
        auto r = RunImport(text);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4 %1*1 |4/4 |4/4 %1*1 |4/4 |4/4");
        // The written bars' notes, without their texts.
        const std::string song = SongText(r->doc.Events()) + " ";
        std::vector<std::string> bars;
        for (size_t at = song.find('|'); at != std::string::npos; at = song.find('|', at + 1)) {
            const size_t notes = song.find(' ', at);
            bars.push_back(song.substr(notes, song.find('|', at + 1) - notes));
        }
        ASSERT_EQ(bars.size(), 6u) << song;
        EXPECT_EQ(bars[1], bars[3]) << song; // the verse, again (with its repeat)
        EXPECT_EQ(bars[2], bars[4]) << song; // the chorus, again
        // The copies stand at no line of the tab.
        int lineStarts = 0;
        for (const CEvent& ev : r->doc.Events())
            lineStarts += ev.IsMeasure() && (ev.m_word1 & EventBits::ImportedLineStart);
        EXPECT_EQ(lineStarts, 4); // intro, verse, chorus, outro
    }
    // A section no staff before it has is asked for in vain.
    auto none = RunImport("Verse\nHH|x-x-x-x-x-x-x-x-|\n\nsame as bridge\n");
    EXPECT_EQ(BarsText(none->doc.Events()), "|4/4");
}

TEST(Structure, AnUnclosedLastBarAFewTicksShort)
{
    const std::string tab = "HH |x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x\nSD |----o-------o---|----o-------o--\nBD |o-------o-------|o-------o-----\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
    }
    // Much shorter, it is a bar of its own length.
    auto short3 = RunImport("HH |x-x-x-x-x-x-x-x-|x-x-x-x-x-x-\nBD |o-------o-------|o-------o---\n");
    EXPECT_EQ(BarsText(short3->doc.Events()), "|4/4 |3/4");
}

TEST(Structure, EndingsWrittenAsStavesOfTheirOwn)
{
    // "1st time:" and "2nd time:" heading a staff each, after the part they end.
    for (const char* head : {"1st time:", "1st time", "1st ending"}) {
        const std::string tab = std::string("Chorus (play twice, 1st time / 2nd time endings)\n\n"
                                            "H |x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\nB |o-------o-------|o-------o-o-----|\n\n")
                                + head + "\nH |x-x-x-x-x-x-x-x-|\nB |o-------o-------|\n\n2nd time:\nC |x---------------|\nB |o---------------|\n";
        for (const std::string& text : {tab, Crlf(tab)})
            EXPECT_EQ(PlayOrderOf(QByteArray::fromStdString(text)), (std::vector<int>{1, 2, 3, 1, 2, 4})) << head;
    }
}

TEST(Structure, ACountOverTheStaffAfterAGroupWithEndings)
{
    const std::string tab = "Verse\n" + std::string(21, ' ') + "1.               2.\n"
                            "Hh |:x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-:|x-x-x-x-x-x-x-x-|\n"
                            "Bd |:o-------o-o-----|o-------o-------:|o-------o-------|\n\n"
                            "Chorus  x2\nCr |x---------------|----------------|\nBd |o-------o-------|o-------o-o-----|\n\n"
                            "End\nCr |x---------------|\n";
    // Measures: the verse's three bars, the chorus's two and their repeat (6), the end.
    for (const std::string& text : {tab, Crlf(tab)})
        EXPECT_EQ(PlayOrderOf(QByteArray::fromStdString(text)), (std::vector<int>{1, 2, 1, 3, 4, 5, 4, 5, 7}));
}

TEST(Structure, ASectionNamedWithACountAndNoStaffIsPlayedThatOften)
{
    const std::string head = "Verse\nHH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n\n"
                             "Chorus\nCR|x---------------|\nBD|o---o---o---o---|\n\n"
                             "Verse 2\nHH|x-x-x-x-x-x-x-x-|\nBD|o-------o-o-----|\n\n";
    const std::string end = "\nEnd\nCR|x---------------|\nBD|o---------------|\n";
    // Verse, chorus, verse 2, the chorus twice more, the end.
    for (const char* call : {"Chorus again x2 (same as above)\n", "CHORUS x2\n", "chorus (2x)\n"}) {
        for (const std::string& text : {head + call + end, Crlf(head + call + end)}) {
            SCOPED_TRACE(call);
            EXPECT_EQ(PlayOrderOf(QByteArray::fromStdString(text)), (std::vector<int>{1, 2, 3, 4, 5, 6}));
            auto r = RunImport(text);
            EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4 |4/4 |4/4 |4/4 |4/4");
            // Bars 4 and 5 are the chorus: its notes, without its text.
            const std::string song = SongText(r->doc.Events()) + " ";
            std::vector<std::string> bars;
            for (size_t at = song.find('|'); at != std::string::npos; at = song.find('|', at + 1)) {
                const size_t notes = song.find(" 4", at);
                bars.push_back(song.substr(notes, song.find('|', at + 1) - notes));
            }
            ASSERT_EQ(bars.size(), 6u) << song;
            EXPECT_EQ(bars[3], bars[1]) << song;
            EXPECT_EQ(bars[4], bars[1]) << song;
            EXPECT_NE(bars[2], bars[1]) << song;
        }
    }
    // Under the chorus itself the count plays that staff: no copy.
    auto own = RunImport("Verse\nHH|x-x-x-x-x-x-x-x-|\n\nChorus\nCR|x---------------|\n\nChorus x2\n");
    EXPECT_EQ(BarsText(own->doc.Events()), "|4/4 |4/4 %1*1");
    // A title with a count over a staff is that staff's.
    auto title = RunImport("Chorus\nCR|x---------------|\n\nVerse\nHH|x-x-x-x-x-x-x-x-|\n\nChorus x2\nCR|x-------x-------|\n");
    EXPECT_EQ(BarsText(title->doc.Events()), "|4/4 |4/4 |4/4 %1*1");
}

TEST(Structure, RemarkOverABarPlaysOnce)
{
    const QByteArray tab = "                      8thtrip\n"
                           "H |x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n"
                           "B |o-------o-------|o---o---o---o---|\n";
    EXPECT_EQ(PlayOrderOf(tab), (std::vector<int>{1, 2}));
}

TEST(Structure, ACountUnderTheStaffPlaysItWhereverItStands)
{
    const QByteArray staff = "HH |x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n"
                             "SN |----o-------o---|----o-------o---|\n"
                             "BD |o-------o-------|o-------o-------|\n";
    const std::vector<int> fourTimes{1, 2, 1, 2, 1, 2, 1, 2};
    // Left of the bars, right of them, and in parentheses across the bar line: the whole staff.
    for (const char* count : {"(repeat 4 times)\n", "                                      (repeat 4 times)\n",
                              "              (repeat 4 times)\n", "             repeat 4 times\r\n"})
        EXPECT_EQ(PlayOrderOf(staff + count), fourTimes) << count;
    // A count that stands inside one bar still speaks from that bar on.
    EXPECT_EQ(PlayOrderOf(staff + "                        x3\n"), (std::vector<int>{1, 2, 2, 2}));
}
} // namespace

namespace {
// The notes of one instrument, as positions.
std::vector<uint32_t> PositionsOf(const CEventList& events, int key)
{
    std::vector<uint32_t> out;
    for (const auto& ev : events)
        if (ev.IsNote() && int(ev.GetEventType()) == key)
            out.push_back(ev.GetPosition());
    return out;
}

TEST(Structure, ThreeSyllableBeatsOfACountLineAreTriplets)
{
    for (const std::string count : {"  |1e+a2e+a3te4te|", "  |1e&a2e&a3+a4te|", "  |1e+a2e+a3tl4tl|", "  |1e+a2e+a3TL4TL|"}) {
        auto r = RunImport("H |x---x---x-x-x-|\nS |----o---ooo-oo|\nB |o-------o--o--|\n" + count + "\n");
        ASSERT_EQ(r->blocks, 1) << count;
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4") << count;
        EXPECT_EQ(PositionsOf(r->doc.Events(), 38), (std::vector<uint32_t>{96, 192, 224, 256, 320, 352})) << count;
        EXPECT_EQ(PositionsOf(r->doc.Events(), 36), (std::vector<uint32_t>{0, 192, 288})) << count;
    }
    // Four syllables stay sixteenths.
    auto plain = RunImport("H |x-x-x-x-x-x-x-x-|\nS |----o-------o-o-|\n  |1e+a2e+a3e+a4e+a|\n");
    EXPECT_EQ(PositionsOf(plain->doc.Events(), 38), (std::vector<uint32_t>{96, 288, 336}));
}
} // namespace

namespace {
TEST(Structure, NestedBracketsKeepBothLevels)
{
    const std::string tab = " |------------repeat x2------------|\n |---repeat x2----|\nh|" + kHH + "|x---x---x---x---|\nb|"
        + kBD + "|o---o---o---o---|\n";
    for (const std::string& text : {tab, Crlf(tab)}) {
        auto r = RunImport(text);
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4+s %1*1 |4/4+e");
        // Neither bracket is a remark on a bar.
        EXPECT_EQ(SongText(r->doc.Events()).find('"'), std::string::npos);
    }
    // Bar 1, its repeat, bar 2; then all of it again.
    EXPECT_EQ(PlayOrderOf(QByteArray::fromStdString(tab)), (std::vector<int>{1, 1, 3, 1, 1, 3}));
}
} // namespace

namespace {
TEST(Structure, CountLineWithALastBeatCutShort)
{
    // 17 and 15 sixteenths, each written as two columns a sixteenth, with the count to match.
    auto r = RunImport("HH |-xxxxxxxxxxxxxxxxxxxxxxxxxxx------|x-----x-----x-----x-----x-----|\n"
                       "B  |x---x---x---x---x---x---x--------x|x-----------------x---x-------|\n"
                       "    1 e + a 2 e + a 3 e + a 4 e + a 5  1 e + a 2 e + a 3 e + a 4 e + |\n");
    EXPECT_EQ(BarsText(r->doc.Events()), "|17/16 |15/16");
    EXPECT_EQ(PositionsOf(r->doc.Events(), 36), (std::vector<uint32_t>{0, 48, 96, 144, 192, 240, 288, 396, 0, 216, 264}));
    // A last beat counted in eighths where the others are in sixteenths is a whole beat.
    auto squeezed = RunImport("C |-------------------------X--|\nB |o------------------------o--|\n"
                              "  |1 e + a 2 e + a 3 e + a 4 + |\n");
    EXPECT_EQ(BarsText(squeezed->doc.Events()), "|4/4");
    EXPECT_EQ(PositionsOf(squeezed->doc.Events(), 36), (std::vector<uint32_t>{0, 312}));
}
} // namespace

namespace {
TEST(Structure, FreeSpacingIsReadOnTheGridOfItsHits)
{
    const std::string tab = "H |x----x----x----x----x----x----x----x----|\n"
                            "S |----------o-------------------o---------|\n"
                            "B |o----o---------o---------o--------------|\n";
    auto r = RunImport(tab);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4");
    EXPECT_EQ(PositionsOf(r->doc.Events(), 42), (std::vector<uint32_t>{0, 48, 96, 144, 192, 240, 288, 336}));
    EXPECT_EQ(PositionsOf(r->doc.Events(), 38), (std::vector<uint32_t>{96, 288}));
    EXPECT_EQ(PositionsOf(r->doc.Events(), 36), (std::vector<uint32_t>{0, 48, 144, 240}));
    // Quarter notes three columns apart.
    auto quarters = RunImport("H |x--x--x--x--|x--x--x--x--|\nB |o-----o-----|o-----o-----|\n");
    EXPECT_EQ(BarsText(quarters->doc.Events()), "|3/4 |3/4"); // twelve sixteenths are a usual bar
    // A long bar whose hits share no grid is still split into common measures.
    auto uneven = RunImport("H |x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-x-|\nB |o-------o-------o-------o-------o-------|\n");
    EXPECT_EQ(BarsText(uneven->doc.Events()), "|4/4 |4/4 |2/4");
}

TEST(Structure, OncePlaysOnce)
{
    for (const char* mark : {"repeat x1", "x1", "play 1 time"}) {
        auto r = RunImport(std::string("  |-- ") + mark + " --------|\nHH|" + kHH + "|" + kHH + "|\nBD|" + kBD + "|" + kBD + "|\n");
        EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4") << mark;
    }
}
} // namespace

namespace {
TEST(Structure, RemarksBetweenAStaffAndItsCountLineBelow)
{
    const std::string tab = "HH|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\n  c>>>>>>>>>>>>>>>\n  |1 + 2 + 3 + 4 + |\n\n"
                            "HH|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\n  |1 + 2 + 3 + 4 + |\n ----------|\n"
                            "  |1 + 2 + 3 + 4 + |\n";
    auto r = RunImport(tab);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4");
    EXPECT_TRUE(r->report.m_messages.filter(QStringLiteral("internal problem")).isEmpty()) << r->report.m_messages.join(QLatin1Char('\n')).toStdString();
}
} // namespace

namespace {
TEST(Structure, LastHitAfterTheLastBarLineRingsABar)
{
    // With an arrow or without, counted or not: the hit on the one of a bar of the meter before.
    const std::string tails[][2] = {{"x-->", "o-->"}, {"x--", "o--"}, {"x-", "o"}};
    for (const auto& tail : tails) {
        for (const std::string& count : {std::string(), std::string("  |1 + 2 + 3 + 4 + |1 +\n")}) {
            const std::string tab = "H |x-x-x-x-x-x-x-x-|" + tail[0] + "\nB |o-------o-------|" + tail[1] + "\n" + count;
            for (const std::string& text : {tab, Crlf(tab)}) {
                auto r = RunImport(text);
                EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4") << text;
                // The crash of the last bar and its kick on the beat; the arrow is no note.
                const std::string song = SongText(r->doc.Events());
                EXPECT_EQ(song.substr(song.rfind('|')), "|4/4 42@0 36@0") << text;
            }
        }
    }
    auto waltz = RunImport("C |------------|X--\nS |---o--o--o--|o--\nB |o-----------|o--\n");
    EXPECT_EQ(BarsText(waltz->doc.Events()), "|3/4 |3/4");
    // Two columns of ticks after the last bar line stay text, and so do two hits.
    auto text = RunImport("H |x-x-x-x-x-x-x-x-| -- end\nB |o-------o-------|\n");
    EXPECT_EQ(BarsText(text->doc.Events()), "|4/4");
    auto two = RunImport("H |x-x-x-x-x-x-x-x-|x-x\nB |o-------o-------|o--\n");
    EXPECT_EQ(BarsText(two->doc.Events()), "|4/4");
}
} // namespace

namespace {
TEST(Structure, ASectionAskedForInCapitalsIsPlayedAgain)
{
    const std::string tab = "Verse\nHH|x-x-x-x-x-x-x-x-|\nBD|o-------o-o-----|\n\n"
                            "Chorus\nRD|x-x-x-x-x-x-x-x-|\nBD|o---o---o---o---|\n\n"
                            "SAME AS VERSE\n\n";
    // The verse, the chorus, and the verse's copy.
    EXPECT_EQ(PlayOrderOf(QByteArray::fromStdString(tab)), (std::vector<int>{1, 2, 3}));
    // The copy's notes are the verse's (its bar has no title).
    auto r = RunImport(tab);
    const std::string song = SongText(r->doc.Events()) + " ";
    const size_t chorus = song.find('|', 1);
    const size_t copy = song.find('|', chorus + 1);
    ASSERT_NE(copy, std::string::npos) << song;
    const size_t verseNotes = song.find(' ');
    const size_t copyNotes = song.find(' ', copy);
    EXPECT_EQ(song.substr(verseNotes, chorus - verseNotes), song.substr(copyNotes)) << song;
}
} // namespace
