// Reading the file into lines, and the shared text helpers every pass uses.

#include "importtestutil.h"

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
    const CImportLine line(c.raw, 7);
    EXPECT_EQ(line.m_text, c.text);
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

TEST(LineArrays, KeepTheirElementsThroughResizesAndMovesInTheArena)
{
    // Counts and elements share one block of the arena; arrays of different element sizes
    // side by side must not overwrite each other.
    std::pmr::monotonic_buffer_resource arena;
    CLineArray<uint8_t> flags(&arena);
    CLineArray<int> columns(&arena);
    EXPECT_TRUE(flags.empty());
    EXPECT_EQ(flags.size(), 0u);
    EXPECT_EQ(flags.begin(), flags.end());
    flags.assign(3, 7);
    const std::vector<int> wide = {5, 100000, -2, 1 << 30, 70000};
    columns.assign(wide.begin(), wide.end());
    flags.resize(6);
    EXPECT_EQ(std::vector<uint8_t>(flags.begin(), flags.end()), (std::vector<uint8_t>{7, 7, 7, 0, 0, 0}));
    EXPECT_EQ(std::vector<int>(columns.begin(), columns.end()), wide);
    columns.resize(2);
    EXPECT_EQ(columns.size(), 2u);
    EXPECT_EQ(columns.back(), 100000);
    flags[5] = 9;
    CLineArray<uint8_t> moved(std::move(flags));
    EXPECT_TRUE(flags.empty());
    EXPECT_EQ(moved.size(), 6u);
    EXPECT_EQ(moved.back(), 9);
    flags = std::move(moved);
    EXPECT_EQ(flags.size(), 6u);
    flags.resize(0);
    EXPECT_TRUE(flags.empty());
    // 70 000 bars on one line: a count that needs more than 16 bits.
    columns.assign(size_t(70000), 3);
    EXPECT_EQ(columns.size(), 70000u);
    EXPECT_EQ(columns[69999], 3);
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
