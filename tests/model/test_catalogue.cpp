// The instrument catalogue and the tab-line table.

#include "catalogue.h"
#include "report.h"

#include <gtest/gtest.h>

#include <set>

namespace {

class TabLineState : public testing::Test
{
protected:
    void SetUp() override { TabLines::ResetShown(); }
    void TearDown() override { TabLines::ResetShown(); }
};

TEST(Catalogue, Names)
{
    EXPECT_EQ(GetInstrumentName(34), QStringLiteral("*** Unknown ***"));
    EXPECT_EQ(GetInstrumentName(82), QStringLiteral("*** Unknown ***"));
    EXPECT_EQ(GetInstrumentName(42), QStringLiteral("Closed High-hat"));
    EXPECT_EQ(FindInstrumentByName(QStringLiteral("hand clap")), 0);
    EXPECT_EQ(FindInstrumentByName(QStringLiteral("Hand Clap")), 0);
    EXPECT_EQ(FindInstrumentByName(QStringLiteral("Hand Clap ")), 39);
    EXPECT_EQ(FindInstrumentByName(QStringLiteral("Acoustic Bass Drum")), 35);
}

TEST(Catalogue, TableIsDescendingAndGroupsPartitionIt)
{
    const auto& all = Catalogue::Instruments();
    std::set<int> commands;
    for (size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(all[i].key, 81 - int(i));
        EXPECT_LE(std::strlen(all[i].name), 20u);
        commands.insert(all[i].commandId);
        EXPECT_EQ(Catalogue::FindByCommand(all[i].commandId), &all[i]);
    }
    EXPECT_EQ(commands.size(), all.size());
    int counts[6] = {};
    for (const auto& in : all)
        ++counts[int(in.group)];
    EXPECT_EQ(counts[int(EDrumGroup::Cymbal)], 9);
    EXPECT_EQ(counts[int(EDrumGroup::Snare)], 6);
    EXPECT_EQ(counts[int(EDrumGroup::Tom)], 6);
    EXPECT_EQ(counts[int(EDrumGroup::BassDrum)], 3);
    EXPECT_EQ(counts[int(EDrumGroup::Percussion)], 18);
    EXPECT_EQ(counts[int(EDrumGroup::BongoConga)], 5);
    EXPECT_EQ(Catalogue::FindByCommand(32924)->key, 38);
    EXPECT_EQ(Catalogue::FindByCommand(1), nullptr);
}

TEST_F(TabLineState, StartingRows)
{
    EXPECT_EQ(CountShownTabLines(), 6);
    EXPECT_EQ(NextShownTabLine(-1), 3);
    EXPECT_EQ(NextShownTabLine(6), 13);
    EXPECT_EQ(ShownIndexOfTabLine(13), 4);
    EXPECT_EQ(TabLines::Pairs(0).size(), 20u);
    EXPECT_EQ(TabLines::Pairs(6)[5].key, 41);
    EXPECT_EQ(TabLines::Pairs(6)[5].letter, '6');
}

TEST_F(TabLineState, AllOffShowsCymbalsTomsSnareBass)
{
    ApplyTabStaffFormat(false, false, false);
    EXPECT_EQ(CountShownTabLines(), 4);
    std::vector<int> rows;
    for (int r = NextShownTabLine(-1); r != 14; r = NextShownTabLine(r))
        rows.push_back(r);
    rows.push_back(14);
    EXPECT_EQ(rows, (std::vector<int>{2, 6, 13, 14}));
    char letter = 0;
    EXPECT_EQ(FindTabLine(49, &letter), 3);
    EXPECT_EQ(letter, 'C');
    EXPECT_EQ(FindTabLine(46, &letter), 3);
    EXPECT_EQ(letter, 'O');
}

TEST_F(TabLineState, CymbalsOnOwnLines)
{
    ApplyTabStaffFormat(true, false, true);
    char letter = 0;
    EXPECT_EQ(FindTabLine(42, &letter), 6); // HighHat, 1-based
    EXPECT_EQ(letter, 'x');
    EXPECT_EQ(FindTabLine(50, &letter), 7); // the shared Toms row
    EXPECT_EQ(letter, '1');
}

TEST_F(TabLineState, HiddenRowIsSwitchedOnAndUnknownKeyIsQuestionMark)
{
    ApplyTabStaffFormat(true, false, false);
    EXPECT_FALSE(TabLines::IsShown(1));
    char letter = 0;
    EXPECT_EQ(FindTabLine(60, &letter), 2);
    EXPECT_EQ(letter, 'B');
    EXPECT_TRUE(TabLines::IsShown(1));
    EXPECT_EQ(FindTabLine(34, &letter), 0);
    EXPECT_EQ(letter, '?');
}

TEST_F(TabLineState, OutOfRangeQueriesReportInternalProblem)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    EXPECT_EQ(NextShownTabLine(14), 0);
    EXPECT_EQ(ShownIndexOfTabLine(15), 0);
    ASSERT_EQ(report.m_messages.size(), 2);
    EXPECT_TRUE(report.m_messages[0].contains(QStringLiteral("internal problem at misc:")));
}

} // namespace
