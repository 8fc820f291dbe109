// Header lines and the song tempo.

#include "importtestutil.h"
#include "testutil.h"

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

TEST(Header, TitleLine)
{
    for (const char* line : {"Title: Broken Porch Light\r\n", "TITLE - Broken Porch Light\n", "Song title: Broken Porch Light\n"}) {
        auto r = RunImport(std::string(line) + "Artist: The Lantern Kids\n\n" + kStaff);
        EXPECT_EQ(r->imp.m_header[Header::Song], QStringLiteral("Broken Porch Light")) << line;
        EXPECT_EQ(r->imp.m_header[Header::Band], QStringLiteral("The Lantern Kids")) << line;
    }
    // "Tabbed by ear" names no tabber.
    for (const char* line : {"(tabbed by ear, might not be 100%)\n", "Tabbed by: ear\n"}) {
        auto r = RunImport(std::string(line) + "\n" + kStaff);
        EXPECT_TRUE(r->imp.m_header[Header::Tabber].isEmpty()) << line;
    }
    auto named = RunImport(std::string("Tabbed by Earl Jones\n\n") + kStaff);
    EXPECT_EQ(named->imp.m_header[Header::Tabber], QStringLiteral("Earl Jones"));
    // A word that merely holds "title" names nothing.
    auto sub = RunImport(std::string("Subtitles: none\n\n") + kStaff);
    EXPECT_TRUE(sub->imp.m_header[Header::Song].isEmpty());
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

namespace {
TEST(Comments, RemarkOverTheThirdBarBecomesItsText)
{
    const std::string hh = "x-x-x-x-x-x-x-x-", bd = "o-------o-------";
    auto r = RunImport(std::string(37, ' ') + "Chorus\nHH|" + hh + "|" + hh + "|" + hh + "|\nBD|" + bd + "|" + bd + "|"
                       + bd + "|\n");
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->TypeOf(1), LineType::PreComment);
    EXPECT_EQ(BarsText(r->doc.Events()), "|4/4 |4/4 |4/4");
    std::vector<QString> texts;
    for (const auto& ev : r->doc.Events())
        if (ev.IsBar())
            texts.push_back(ev.GetText());
    EXPECT_EQ(texts, (std::vector<QString>{QString(), QString(), QStringLiteral("Chorus")}));
}

// Runs a test in a folder holding a SONGLIST.txt, as the importer reads it from the current
// folder.
class SongList : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = QDir::currentPath();
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(WriteAll(m_dir.filePath(QStringLiteral("SONGLIST.txt")),
                             "YEAR: 1980\nAC-DC / Back in Black\n1. 4:15 Hells Bells\n2. 3:30 Shoot to Thrill\n"
                             "Loose line\n3. 2:00 Oops Tune\n"));
        QDir::setCurrent(m_dir.path());
    }
    void TearDown() override { QDir::setCurrent(m_previous); }
    QTemporaryDir m_dir;
    QString m_previous;
};

TEST_F(SongList, CompletesTheHeaderFromAKnownTitle)
{
    auto r = RunImport(std::string("Hells Bells\n\n") + kStaff);
    EXPECT_EQ(r->imp.m_header[Header::Song], QStringLiteral("Hells Bells"));
    EXPECT_EQ(r->imp.m_header[Header::Band], QStringLiteral("AC-DC"));
    EXPECT_EQ(r->imp.m_header[Header::Album], QStringLiteral("Back in Black"));
    EXPECT_EQ(r->imp.m_header[Header::Year], QStringLiteral("1980"));
    EXPECT_EQ(r->imp.m_header[Header::TrackNo], QStringLiteral("1"));
    EXPECT_EQ(r->imp.m_header[Header::Duration], QStringLiteral("4:15"));
    EXPECT_EQ(r->TypeOf(1), LineType::Header);
}

// Blank and header lines above the title are passed over; a title below the first staff is
// not looked up.
TEST_F(SongList, OnlyUnknownLinesAboveTheFirstStaffAreLookedUp)
{
    auto above = RunImport(std::string("\nTempo: 120\nShoot to Thrill\n\n") + kStaff);
    EXPECT_EQ(above->imp.m_header[Header::Song], QStringLiteral("Shoot to Thrill"));
    EXPECT_EQ(above->imp.m_header[Header::TrackNo], QStringLiteral("2"));
    auto below = RunImport(std::string(kStaff) + "\nShoot to Thrill\n");
    EXPECT_TRUE(below->imp.m_header[Header::Song].isEmpty());
    EXPECT_TRUE(below->imp.m_header[Header::TrackNo].isEmpty());
}

TEST_F(SongList, BadBandLineIsNamed)
{
    auto r = RunImport(std::string("Oops Tune\n\n") + kStaff);
    EXPECT_TRUE(r->report.m_messages.contains(QStringLiteral("baddly formed band/album at line 5")));
    EXPECT_TRUE(r->imp.m_header[Header::Song].isEmpty());
}
} // namespace

namespace {
TEST(Comments, RemarkRightAfterAStaffBelongsToTheNextOne)
{
    auto r = RunImport(std::string(kStaff) + "Chorus\n" + kStaff);
    ASSERT_EQ(r->blocks, 2);
    EXPECT_EQ(r->TypeOf(3), LineType::PreComment);
    std::vector<QString> texts;
    for (const auto& ev : r->doc.Events())
        if (ev.IsBar())
            texts.push_back(ev.GetText());
    EXPECT_EQ(texts, (std::vector<QString>{QString(), QStringLiteral("Chorus")}));
}
} // namespace

namespace {
TEST(Header, KeywordsInCapitals)
{
    auto r = RunImport(std::string("SONG: Paranoid\nBAND: Black Sabbath\nTEMPO: 164\n\n") + kStaff);
    ASSERT_EQ(r->blocks, 1);
    EXPECT_EQ(r->imp.m_header[Header::Song], QStringLiteral("Paranoid"));
    EXPECT_EQ(r->imp.m_header[Header::Band], QStringLiteral("Black Sabbath"));
    EXPECT_EQ(r->imp.m_tempo, 164);
    for (int line = 1; line <= 3; ++line)
        EXPECT_EQ(r->TypeOf(line), LineType::Header) << line;
}

TEST(Header, TempoLineBetweenStavesIsAHeaderLine)
{
    auto r = RunImport(std::string(kStaff) + "\nTEMPO 140\n\n" + kStaff);
    EXPECT_EQ(r->blocks, 2);
    EXPECT_EQ(r->TypeOf(4), LineType::Header);
    // Words with none of a tempo keyword's letters stay what they are.
    auto text = RunImport(std::string(kStaff) + "\nbuild up\n\n" + kStaff);
    EXPECT_NE(text->TypeOf(4), LineType::Header);
}
} // namespace
