// Header lines and the song tempo.

#include "importtestutil.h"

#include <gtest/gtest.h>

namespace {
const char* kStaff = "HH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n";

TEST(Header, TitleBandAlbumAndTempo)
{
    auto r = RunImport(std::string("Song: Back in Black\nBand - AC/DC\nAlbum: Back in Black\nTempo: 94 bpm\n\n") + kStaff);
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->imp.m_header[Header::Song], QStringLiteral("Back in Black"));
    EXPECT_EQ(r->imp.m_header[Header::Band], QStringLiteral("AC/DC"));
    EXPECT_EQ(r->imp.m_header[Header::Album], QStringLiteral("Back in Black"));
    EXPECT_EQ(r->imp.m_tempo, 94);
    for (int line = 1; line <= 4; ++line)
        EXPECT_EQ(r->TypeOf(line), LineType::Header) << line;
}

struct STempoCase
{
    const char* line;
    int tempo;
};

class Tempo : public ::testing::TestWithParam<STempoCase>
{
};

TEST_P(Tempo, OnlyPlausibleValues)
{
    auto r = RunImport(std::string(GetParam().line) + "\n\n" + kStaff);
    EXPECT_EQ(r->imp.m_tempo, GetParam().tempo);
}

INSTANTIATE_TEST_SUITE_P(Header, Tempo,
                         ::testing::Values(STempoCase{"120 bpm", 120}, STempoCase{"300 bpm", 0},
                                           STempoCase{"Tempo: 50", 0}, STempoCase{"Tempo: 51", 51},
                                           STempoCase{"q=249", 249}, STempoCase{"tempo: fast", 0}));

TEST(Header, OneLineFillsSeveralFields)
{
    auto r = RunImport(std::string("song Roundabout album Fragile\n\n") + kStaff);
    EXPECT_EQ(r->imp.m_header[Header::Song], QStringLiteral("Roundabout album Fragile"));
    EXPECT_EQ(r->imp.m_header[Header::Album], QStringLiteral("Fragile"));
}

TEST(Header, BandThatWritesLongBarsTurnsSplittingOff)
{
    auto r = RunImport(std::string("Band: Tool\n\n") + kStaff);
    EXPECT_FALSE(r->imp.m_splitLongMeasures);
}
} // namespace
