// Reading the file into lines, and the shared text helpers every pass uses.

#include "importtestutil.h"
#include "importtext.h"

#include <gtest/gtest.h>

namespace {
struct SLineCase
{
    const char* raw;
    const char* text;
    int type;
};

class LineNormalisation : public ::testing::TestWithParam<SLineCase>
{
};

TEST_P(LineNormalisation, TrimsExpandsAndDeletes)
{
    const SLineCase& c = GetParam();
    std::pmr::monotonic_buffer_resource arena;
    const CImportLine line(c.raw, 7, &arena);
    EXPECT_EQ(std::string_view(line.m_text), c.text);
    EXPECT_EQ(line.m_type, c.type);
    EXPECT_EQ(line.m_lineNo, 7);
}

INSTANTIATE_TEST_SUITE_P(Lines, LineNormalisation,
                         ::testing::Values(SLineCase{"HH|x-x-|  \r", "HH|x-x-|", LineType::Unknown},
                                           SLineCase{"\t\t", "", LineType::Blank},
                                           SLineCase{"&nbbsp", "", LineType::Blank},
                                           SLineCase{"abc\tx", "abc     x", LineType::Unknown},
                                           SLineCase{"abcdefgh\tx", "abcdefgh        x", LineType::Unknown},
                                           SLineCase{"a&nbbspb&nbbsp", "ab&nbbsp", LineType::Unknown},
                                           SLineCase{"   ", "", LineType::Blank}));

TEST(LineText, EditsCopyAViewedTextAndLeaveTheViewedBytesAlone)
{
    std::pmr::monotonic_buffer_resource arena;
    const std::string kept = "HH|x-x-|";
    CLineText t = CLineText::View(kept);
    EXPECT_FALSE(t.IsCopy());
    EXPECT_EQ(t.data(), kept.data());
    t.Edit(&arena)[3] = 'o';
    EXPECT_TRUE(t.IsCopy());
    EXPECT_EQ(std::string_view(t), "HH|o-x-|");
    EXPECT_EQ(kept, "HH|x-x-|");
    t.Append(3, '-', &arena);
    t.Append(1, '|', &arena);
    EXPECT_EQ(std::string_view(t), "HH|o-x-|---|");
    t.Erase(2, 1, &arena);
    EXPECT_EQ(std::string_view(t), "HHo-x-|---|");
    t.Erase(8, 100, &arena); // clipped at the end
    EXPECT_EQ(std::string_view(t), "HHo-x-|-");
    // Replacing with a longer and a shorter text, and assigning a part of the text itself.
    t.Replace(2, 1, "ff", &arena);
    EXPECT_EQ(std::string_view(t), "HHff-x-|-");
    t.Replace(2, 2, "g", &arena);
    EXPECT_EQ(std::string_view(t), "HHg-x-|-");
    t.Assign(t.substr(2, 4), &arena);
    EXPECT_EQ(std::string_view(t), "g-x-");
    // Edits beyond the end touch nothing outside the text.
    t.Erase(9, 2, &arena);
    t.Replace(7, 3, "ab", &arena);
    EXPECT_EQ(std::string_view(t), "g-x-ab");
    t.clear();
    EXPECT_TRUE(t.empty());

    // Edits of a view that needs no copy make none.
    CLineText u = CLineText::View(kept);
    u.Erase(3, 0, &arena);
    u.Replace(3, 0, "", &arena);
    EXPECT_FALSE(u.IsCopy());
    u.Replace(3, 1, "X", &arena); // same length: written in place, in a copy
    EXPECT_TRUE(u.IsCopy());
    EXPECT_EQ(std::string_view(u), "HH|X-x-|");
    EXPECT_EQ(kept, "HH|x-x-|");
}

TEST(LineMarks, KnownWhileALineIsAsReadOpenOnceItChanges)
{
    std::pmr::monotonic_buffer_resource arena;
    const std::string kept = "HH|x-x-|x-x-|";
    CImportLine line(kept, 1, &arena, true);
    ASSERT_FALSE(line.m_text.IsCopy());
    EXPECT_TRUE(line.MayHoldMark(LineMark::Bar));
    EXPECT_TRUE(line.MayHoldMark(LineMark::Dash | LineMark::Colon));
    EXPECT_FALSE(line.MayHoldMark(LineMark::Colon | LineMark::Dot | LineMark::Paren | LineMark::Slash));
    EXPECT_TRUE(line.SurelyHoldsMark(LineMark::Bar));
    EXPECT_TRUE(line.SurelyHoldsMark(LineMark::Dash));
    EXPECT_FALSE(line.SurelyHoldsMark(LineMark::Paren));
    EXPECT_TRUE(line.MayHold(ImportText::WordLetters("hx")));
    EXPECT_FALSE(line.MayHold(ImportText::WordLetters("o")));

    // An edit may bring in any mark and take any away: nothing is known of the line then.
    char* text = line.m_text.Edit(&arena);
    text[3] = '(';
    text[5] = ':';
    text[2] = 'o';
    EXPECT_TRUE(line.MayHoldMark(LineMark::Colon));
    EXPECT_TRUE(line.MayHoldMark(LineMark::Paren));
    EXPECT_FALSE(line.SurelyHoldsMark(LineMark::Bar | LineMark::Dash));
    EXPECT_EQ(kept, "HH|x-x-|x-x-|");

    // Lines copied as they are read (TABs expanded) are looked at in full from the start.
    const CImportLine tabbed("HH\t|x-x-|", 2, &arena);
    EXPECT_TRUE(tabbed.MayHoldMark(LineMark::Dot));
    EXPECT_FALSE(tabbed.SurelyHoldsMark(LineMark::Bar));

    // A viewed line emptied holds nothing, whatever it was read with.
    CImportLine cleared(kept, 3, &arena, true);
    cleared.m_text.clear();
    EXPECT_FALSE(cleared.SurelyHoldsMark(LineMark::Bar | LineMark::Dash));
}

TEST(LineMarks, LinesWithAndWithoutTheMarksOfAPass)
{
    // Rests written as dots, ghost notes in parentheses: the passes that look for those marks
    // rewrite the lines that hold them and leave the others alone.
    const std::string marked = "HH|x.x.x.x.|x.x.x.x.|\n"
                               "SD|....o...|....o...|\n"
                               "BD|o.......|o...o...|\n"
                               "\n"
                               "HH|x-x-x-x-|x-x-x-x-|\n"
                               "SD|--(o)o--|----o---|\n"
                               "BD|o-------|o---o---|\n";
    const std::string plain = "HH|x-x-x-x-|x-x-x-x-|\n"
                              "SD|----o---|----o---|\n"
                              "BD|o-------|o---o---|\n"
                              "\n"
                              "HH|x-x-x-x-|x-x-x-x-|\n"
                              "SD|---g-o--|----o---|\n"
                              "BD|o-------|o---o---|\n";
    const auto r = RunImport(marked);
    const std::vector<CImportLine>& lines = r->imp.m_lines;
    ASSERT_GE(lines.size(), 7u);
    EXPECT_EQ(std::string_view(lines[1].m_text), "SD|----o---|----o---|");
    EXPECT_EQ(std::string_view(lines[5].m_text), "SD|---g-o--|----o---|");
    EXPECT_EQ(std::string_view(lines[6].m_text), "BD|o-------|o---o---|");
    EXPECT_FALSE(lines[6].m_text.IsCopy()); // nothing to rewrite
    EXPECT_EQ(SongText(r->doc.Events()), SongText(RunImport(plain)->doc.Events()));
}

TEST(LineBars, OneBlockOfZeroedArraysThatDoNotOverlap)
{
    std::pmr::monotonic_buffer_resource arena;
    CImportLine first("SD|o-o-|", 1, &arena);
    CImportLine other("BD|o---|", 2, &arena);
    EXPECT_TRUE(first.BarFlags().empty());
    EXPECT_TRUE(first.BarOpen().empty());
    // 70 000 bars on one line: a count that needs more than 16 bits.
    const int bars = 70000;
    first.SetBars(bars, true, &arena);
    other.SetBars(bars, false, &arena);
    EXPECT_EQ(first.m_barCount, bars);
    EXPECT_EQ(first.BarOpen().size(), size_t(bars));
    EXPECT_TRUE(other.BarOpen().empty());
    for (CImportLine* l : {&first, &other}) {
        EXPECT_EQ(l->BarColumn().size(), size_t(bars));
        EXPECT_EQ(l->BarTimeSig().size(), size_t(bars));
        for (size_t k = 0; k < size_t(bars); k += 997) {
            EXPECT_EQ(l->BarFlags()[k] | l->BarAux()[k] | l->BarAux2()[k] | l->BarTimeSig()[k], 0);
            EXPECT_EQ(l->BarColumn()[k] | l->BarEnd()[k], 0);
        }
    }
    // Each array filled with its own value, the others' last elements written after: nothing
    // runs into its neighbour.
    for (CImportLine* l : {&first, &other}) {
        std::fill(l->BarColumn().begin(), l->BarColumn().end(), 1 << 20);
        std::fill(l->BarEnd().begin(), l->BarEnd().end(), 100000);
        std::fill(l->BarOpen().begin(), l->BarOpen().end(), -7);
        std::fill(l->BarFlags().begin(), l->BarFlags().end(), 1);
        std::fill(l->BarAux().begin(), l->BarAux().end(), 2);
        std::fill(l->BarAux2().begin(), l->BarAux2().end(), 3);
        std::fill(l->BarTimeSig().begin(), l->BarTimeSig().end(), 4);
    }
    const CImportLine& f = first;
    for (size_t k : {size_t(0), size_t(bars / 2), size_t(bars - 1)}) {
        EXPECT_EQ(f.BarColumn()[k], 1 << 20);
        EXPECT_EQ(f.BarEnd()[k], 100000);
        EXPECT_EQ(f.BarOpen()[k], -7);
        EXPECT_EQ(f.BarFlags()[k], 1);
        EXPECT_EQ(f.BarAux()[k], 2);
        EXPECT_EQ(f.BarAux2()[k], 3);
        EXPECT_EQ(f.BarTimeSig()[k], 4);
        EXPECT_EQ(other.BarEnd()[k], 100000);
        EXPECT_EQ(other.BarFlags()[k], 1);
        EXPECT_EQ(other.BarTimeSig()[k], 4);
    }
    // New bars start from zero; no bars, no block.
    first.SetBars(3, false, &arena);
    EXPECT_EQ(first.BarEnd()[2], 0);
    EXPECT_TRUE(first.BarOpen().empty());
    first.SetBars(0, true, &arena);
    EXPECT_TRUE(first.BarFlags().empty());
    EXPECT_TRUE(first.BarOpen().empty());
}

// True when the line's text lies in the kept bytes, not in a copy of its own.
bool ViewsKeptBytes(const CTabImporter& imp, const CImportLine& line)
{
    const char* begin = imp.m_sourceBytes.data();
    return !line.m_text.IsCopy() && line.m_text.data() >= begin
        && line.m_text.data() + line.m_text.size() <= begin + imp.m_sourceBytes.size();
}

TEST(LineStorage, PlainLinesViewTheKeptBytesAndNormalisedOnesAreCopies)
{
    // TABs and "&nbbsp" in some lines, plain lines around them, both line ends: the same song
    // as the tab written out plainly.
    const std::string plain = "Song: Plain\n"
                              "\n"
                              "HH|x-x-x-x-|x-x-x-x-|\n"
                              "SD|----o---|----o---|\n"
                              "BD|o-------|o---o---|\n";
    const std::string mixed = "Song: Plain  \n"
                              "\t\n"
                              "HH|x-x-x-x-|x-x-x-x-|\t\n"
                              "SD|----o-&nbbsp--|----o---|\n"
                              "BD|o-------|o---o---|   \n";
    const std::string expected = SongText(RunImport(plain)->doc.Events());
    ASSERT_NE(expected, "");
    for (const std::string& text : {mixed, Crlf(mixed)}) {
        const auto r = RunImport(text);
        EXPECT_EQ(SongText(r->doc.Events()), expected);
        const std::vector<CImportLine>& lines = r->imp.m_lines;
        ASSERT_GE(lines.size(), 5u);
        EXPECT_EQ(std::string_view(lines[0].m_text), "Song: Plain");
        EXPECT_TRUE(ViewsKeptBytes(r->imp, lines[0]));
        EXPECT_TRUE(lines[1].m_text.empty());
        EXPECT_EQ(std::string_view(lines[2].m_text), "HH|x-x-x-x-|x-x-x-x-|");
        EXPECT_TRUE(ViewsKeptBytes(r->imp, lines[2])); // a trailing TAB is only trimmed
        EXPECT_EQ(std::string_view(lines[3].m_text), "SD|----o---|----o---|");
        EXPECT_TRUE(lines[3].m_text.IsCopy());
        EXPECT_TRUE(ViewsKeptBytes(r->imp, lines[4]));
        EXPECT_EQ(r->imp.m_sourceBytes, text); // the kept bytes stay as read
    }
}

TEST(LineStorage, ConvertingTheKeptTextAgainGivesTheSameSong)
{
    // Typographic dashes are mapped (the lines view the mapped bytes), a wrapped line is
    // joined (a copy), a TAB expanded.
    const std::string tab = "Song: Again\n"
                            "HH|x-x-x-x-|x-x-x-x-|x-x-x-x-|=\n"
                            "x-x-x-x-|\n"
                            "SD|----o---|----o---|----o---|----o---|\n"
                            "BD|o\xe2\x80\x94---o-|o-------|o---o---|o-------|\t\n"
                            "\n"
                            "HH|x-x-x-x-|\n"
                            "SD|(x)-o---|\n";
    CTabImporter imp;
    CRondelDoc doc;
    CRecordingReport report;
    CScopedUserReport scope(&report);
    imp.ReadTabBytes(tab);
    ASSERT_GT(imp.ImportTab(doc), 0);
    const std::string first = SongText(doc.Events());
    EXPECT_EQ(imp.m_sourceBytes, tab);
    // Again from the kept bytes themselves, on the same importer, twice.
    for (int round = 0; round < 2; ++round) {
        imp.ReadTabBytes(imp.m_sourceBytes);
        EXPECT_EQ(imp.m_sourceBytes, tab);
        CRondelDoc again;
        ASSERT_GT(imp.ImportTab(again), 0);
        EXPECT_EQ(SongText(again.Events()), first);
    }
    // And from a line's own text (here a view of the mapped bytes), which goes with the
    // lines it is read over.
    ASSERT_EQ(std::string_view(imp.m_lines[1].m_text), "HH|x-x-x-x-|x-x-x-x-|x-x-x-x-|x-x-x-x-|");
    imp.ReadTabBytes(imp.m_lines[3].m_text);
    EXPECT_EQ(imp.m_sourceBytes, "BD|o-----o-|o-------|o---o---|o-------|");
    ASSERT_EQ(imp.m_lines.size(), 2u);
    EXPECT_EQ(std::string_view(imp.m_lines[0].m_text), imp.m_sourceBytes);
}

TEST(LineStorage, AStaffOfThousandsOfBarsOnOneLine)
{
    const int bars = 5000;
    std::string hh = "HH|", sd = "SD|";
    for (int i = 0; i < bars; ++i) {
        hh += "x-x-x-x-|";
        sd += i % 2 ? "o-------|" : "----o---|";
    }
    const auto r = RunImport(hh + "\n" + sd + "\n");
    ASSERT_EQ(r->blocks, 1);
    const CImportLine& f = r->imp.m_lines[0];
    ASSERT_EQ(f.m_barCount, bars);
    EXPECT_EQ(f.BarOpen()[bars - 1], 3 + 9 * (bars - 1));
    EXPECT_EQ(f.BarEnd()[bars - 1], 3 + 9 * bars - 1);
    EXPECT_EQ(r->imp.m_lines[1].BarEnd()[bars - 1], 3 + 9 * bars - 1);
    EXPECT_TRUE(r->imp.m_lines[1].BarOpen().empty());
    const std::string bt = BarsText(r->doc.Events());
    EXPECT_EQ(size_t(std::count(bt.begin(), bt.end(), '|')), size_t(bars));
}

TEST(LineStorage, AFileOfVeryManyLines)
{
    // 20 000 blocks of a count and three staff lines: 100 000 lines.
    std::string tab;
    const int blocks = 20000;
    for (int b = 0; b < blocks; ++b)
        tab += "   1 + 2 + 3 + 4 +\nHH|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\nBD|o-------o-" + std::string(b % 2 ? "o" : "-")
            + "-----|\n\n";
    const auto r = RunImport(tab);
    EXPECT_EQ(r->blocks, blocks);
    ASSERT_EQ(r->imp.m_lines.size(), size_t(5 * blocks) + 1);
    const CImportLine& last = r->imp.m_lines[size_t(5 * blocks - 2)];
    EXPECT_EQ(last.m_lineNo, 5 * blocks - 1);
    EXPECT_EQ(std::string_view(last.m_text), "BD|o-------o-o-----|");
    EXPECT_TRUE(ViewsKeptBytes(r->imp, last));
    const std::string bt = BarsText(r->doc.Events());
    EXPECT_EQ(size_t(std::count(bt.begin(), bt.end(), '|')), size_t(blocks));
}

struct SReadCase
{
    const char* bytes;
    std::vector<std::string> lines; // without the sentinel
};

class ReadLines : public ::testing::TestWithParam<SReadCase>
{
};

TEST_P(ReadLines, SplitsAtLineEndsAndAddsTheSentinel)
{
    const SReadCase& c = GetParam();
    CTabImporter imp;
    imp.ReadTabBytes(c.bytes);
    ASSERT_EQ(imp.m_lines.size(), c.lines.size() + 1);
    for (size_t i = 0; i < c.lines.size(); ++i) {
        EXPECT_EQ(std::string_view(imp.m_lines[i].m_text), c.lines[i]);
        EXPECT_EQ(imp.m_lines[i].m_lineNo, int(i) + 1);
    }
    EXPECT_EQ(imp.m_lines.back().m_type, LineType::Blank);
    EXPECT_EQ(imp.m_lines.back().m_lineNo, int(c.lines.size()) + 1);
}

INSTANTIATE_TEST_SUITE_P(Lines, ReadLines,
                         ::testing::Values(SReadCase{"a\nb", {"a", "b"}}, SReadCase{"a\nb\n", {"a", "b"}},
                                           SReadCase{"a\r\nb\r\n", {"a", "b"}}, SReadCase{"a\rb", {"a", "b"}},
                                           SReadCase{"\n\n", {"", ""}}, SReadCase{"", {}}));

TEST(ReadLines, KeepsAVeryLongLineWhole)
{
    std::string staff = "HH";
    for (int i = 0; i < 100; ++i)
        staff += "|x-x-x-x-x-x-x-x-";
    staff += "|";
    CTabImporter imp;
    imp.ReadTabBytes(staff + "\n");
    ASSERT_EQ(imp.m_lines.size(), 2u);
    EXPECT_EQ(std::string_view(imp.m_lines[0].m_text), staff);
}

struct SKeywordCase
{
    const char* text;
    const char* k1;
    const char* k2;
    int pos;
    const char* rest;
};

class Keywords : public ::testing::TestWithParam<SKeywordCase>
{
};

TEST_P(Keywords, FindsWholeWordsIgnoringCase)
{
    const SKeywordCase& c = GetParam();
    std::string rest = "unchanged";
    EXPECT_EQ(CTabImporter::FindKeyword(c.text, &rest, c.k1, c.k2), c.pos);
    if (c.pos >= 0) {
        EXPECT_EQ(rest, c.rest);
    }
}

INSTANTIATE_TEST_SUITE_P(Text, Keywords,
                         ::testing::Values(SKeywordCase{"Song: Hello World  ", "song", nullptr, 0, "Hello World"},
                                           SKeywordCase{"Songs I like", "song", nullptr, -1, ""},
                                           SKeywordCase{"xsong", "song", nullptr, -1, ""},
                                           SKeywordCase{"Band - = Foo", "band", nullptr, 0, "Foo"},
                                           SKeywordCase{"my band name: Foo", "band name", "band", 3, "Foo"},
                                           // k1 is searched over the whole line before k2
                                           SKeywordCase{"artist X band Y", "band", "artist", 9, "Y"},
                                           SKeywordCase{"tempo", "tempo", nullptr, 0, ""},
                                           SKeywordCase{"q=120", "q=", nullptr, 0, "120"}));

struct SMultiplierCase
{
    const char* text;
    int n;
};

class Multipliers : public ::testing::TestWithParam<SMultiplierCase>
{
};

TEST_P(Multipliers, AcceptBothOrders)
{
    EXPECT_EQ(CTabImporter::FindMultiplier(GetParam().text), GetParam().n) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Text, Multipliers,
                         ::testing::Values(SMultiplierCase{"x4", 4}, SMultiplierCase{"4x", 4}, SMultiplierCase{"4 x", 4},
                                           SMultiplierCase{"X4", 4}, SMultiplierCase{"play 12X", 12},
                                           SMultiplierCase{"|------x7------|", 7}, SMultiplierCase{"box4", -1},
                                           SMultiplierCase{"4xylophone", -1}, SMultiplierCase{"x-x-x-", -1},
                                           SMultiplierCase{"", -1}, SMultiplierCase{"repeat 3 times", -1}));

struct SBarTextCase
{
    const char* text;
    int kind;
    int measures;
};

class BarTexts : public ::testing::TestWithParam<SBarTextCase>
{
};

TEST_P(BarTexts, Classify)
{
    int measures = 0;
    EXPECT_EQ(CTabImporter::BarTextKind(GetParam().text, &measures), GetParam().kind);
    if (GetParam().kind == 3) {
        EXPECT_EQ(measures, GetParam().measures);
    }
}

INSTANTIATE_TEST_SUITE_P(Text, BarTexts,
                         ::testing::Values(SBarTextCase{" ./. ", 3, 1}, SBarTextCase{".//.", 3, 2},
                                           SBarTextCase{".///.", 3, 3}, SBarTextCase{".////.", 3, 4},
                                           SBarTextCase{"  rest ", 2, 0}, SBarTextCase{"Silence", 2, 0},
                                           SBarTextCase{"3/4", -3, 0}, SBarTextCase{"12 bars", -12, 0},
                                           SBarTextCase{"", 0, 0}, SBarTextCase{"fill", 0, 0}));

struct STicksCase
{
    int ticks;
    int num;
    int den;
};

class TicksToSignature : public ::testing::TestWithParam<STicksCase>
{
};

TEST_P(TicksToSignature, TakesTheFirstDenominatorThatFits)
{
    int num = 0, den = 0;
    CTabImporter::TimeSigFromTicks(GetParam().ticks, &num, &den);
    EXPECT_EQ(num, GetParam().num);
    EXPECT_EQ(den, GetParam().den);
}

INSTANTIATE_TEST_SUITE_P(Text, TicksToSignature,
                         ::testing::Values(STicksCase{32, 4, 4}, STicksCase{24, 3, 4}, STicksCase{28, 7, 8},
                                           STicksCase{30, 15, 16}, STicksCase{12, 3, 8}, STicksCase{14, 7, 16},
                                           STicksCase{33, 33, 32}, STicksCase{0, 4, 4}));
} // namespace

namespace {
// Counts far into a long text, and long texts with none.
INSTANTIATE_TEST_SUITE_P(LongText, Multipliers,
                         ::testing::Values(SMultiplierCase{"Intro riff, the whole thing twice more x12", 12},
                                           SMultiplierCase{"last time only, then the ending 3X", 3},
                                           SMultiplierCase{"1 e + a 2 e + a 3 e + a 4 e + a", -1},
                                           SMultiplierCase{"Play the verse groove again and again", -1}));
} // namespace
