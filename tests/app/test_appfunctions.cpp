// The desktop program's widget-free arithmetic and texts.
#include "appfunctions.h"

#include <gtest/gtest.h>

struct SGotoTimeCase
{
    const char* text;
    bool ok;
    int msecs;
};

class GotoTimeParse : public ::testing::TestWithParam<SGotoTimeCase> {};

TEST_P(GotoTimeParse, ReadsSecondsOrMinutesAndSeconds)
{
    const SGotoTimeCase& c = GetParam();
    int ms = -12345;
    EXPECT_EQ(ParseGotoTime(QString::fromLatin1(c.text), &ms), c.ok) << c.text;
    if (c.ok)
        EXPECT_EQ(ms, c.msecs) << c.text;
    else
        EXPECT_EQ(ms, -12345) << "a refused text must not change the result";
}

INSTANTIATE_TEST_SUITE_P(Texts, GotoTimeParse, ::testing::Values(
    SGotoTimeCase{"1:30.5", true, 90500},
    SGotoTimeCase{"90.5", true, 90500},
    SGotoTimeCase{"0", true, 0},
    SGotoTimeCase{"2:00", true, 120000},
    SGotoTimeCase{" 45 ", true, 45000},
    SGotoTimeCase{"abc", false, 0},
    SGotoTimeCase{"", false, 0},
    SGotoTimeCase{"1:", false, 0},
    SGotoTimeCase{"x:30", false, 0},
    SGotoTimeCase{":30", false, 0},
    SGotoTimeCase{"99999999999", false, 0},
    SGotoTimeCase{"1e400", false, 0}));

TEST(StatusTexts, MatchTheStatusBarFormats)
{
    EXPECT_EQ(CursorStatusText(3, 8, 5500), QStringLiteral("Cursor: measure 3 8/32nd @ time 00:5.5 "));
    EXPECT_EQ(CursorStatusText(40, 0, 125300), QStringLiteral("Cursor: measure 40 0/32nd @ time 02:5.3 "));
    EXPECT_EQ(PlayingStatusText(61500, 12), QStringLiteral("PLAYING: 01:1.5 measure 12"));
    EXPECT_EQ(PlayingStatusText(2000, 2, 3500), QStringLiteral("PLAYING: 00:2.0 measure 2. WAVE 00:3.5 "));
    EXPECT_EQ(MouseOverText(3, -1), QStringLiteral("MOUSE OVER: measure 3, 32nd note position -1"));
    EXPECT_EQ(ScopeGridLabel(0), QStringLiteral("0:00.0"));
    EXPECT_EQ(ScopeGridLabel(83450), QStringLiteral("1:23.4"));
}

TEST(CursorMsecs, AddsTheTimeIntoTheBarToItsStart)
{
    // 16 32nds at 120 BPM: two beats = 1000 ms.
    EXPECT_EQ(CursorMsecs(16, 120, 1500), 2500);
    EXPECT_EQ(CursorMsecs(0, 90, 700), 700);
    EXPECT_EQ(CursorMsecs(8, 0, 0), 500) << "a bar without tempo counts at 120";
}

TEST(BeatMarks, TempoBetweenTwoMarks)
{
    EXPECT_EQ(BpmBetweenMarks(1000, 1500), 120);
    EXPECT_EQ(BpmBetweenMarks(0, 600), 100);
    EXPECT_EQ(BpmBetweenMarks(700, 700), 0);
    EXPECT_EQ(BpmBetweenMarks(900, 700), 0);
}

TEST(BeatMarks, FindTheLoudestPointInEachHalf)
{
    // 1000 entries over 10 s: 10 ms an entry. Hits at entries 300 and 350 = 3000 and 3500 ms.
    std::vector<int8_t> overview(1000, 2);
    overview[300] = 100;
    overview[350] = 90;
    const SBeatMarks m = FindBeatMarks(overview, 10000, 2800, 3700);
    EXPECT_EQ(m.mark1Msecs, 3000);
    EXPECT_EQ(m.mark2Msecs, 3500);
    EXPECT_EQ(BpmBetweenMarks(m.mark1Msecs, m.mark2Msecs), 120);
    // Dragged right to left gives the same marks.
    const SBeatMarks r = FindBeatMarks(overview, 10000, 3700, 2800);
    EXPECT_EQ(r.mark1Msecs, 3000);
    EXPECT_EQ(r.mark2Msecs, 3500);
    // Shorter than 20 entries: no marks.
    const SBeatMarks s = FindBeatMarks(overview, 10000, 3000, 3190);
    EXPECT_EQ(s.mark1Msecs, 0);
    EXPECT_EQ(s.mark2Msecs, 0);
    // Silence keeps index 0 on both sides; an empty overview never reads.
    std::vector<int8_t> silent(1000, 0);
    EXPECT_EQ(FindBeatMarks(silent, 10000, 1000, 5000).mark2Msecs, 0);
    EXPECT_EQ(FindBeatMarks({}, 10000, 1000, 5000).mark1Msecs, 0);
}

TEST(ScopeWindow, PagesWithTheCursor)
{
    const SScopeWindow whole = ComputeScopeWindow(240000, 1, 0);
    EXPECT_EQ(whole.startMsecs, 0);
    EXPECT_EQ(whole.endMsecs, 240000);
    // Zoom 41, cursor at 60 s of 4 minutes: about 5.85 s starting at about 59.41 s.
    const SScopeWindow z = ComputeScopeWindow(240000, 41, 60000);
    EXPECT_NEAR(z.startMsecs, 59415, 2);
    EXPECT_NEAR(z.endMsecs - z.startMsecs, 5853, 2);
    // Near the start the window stays at 0.
    EXPECT_EQ(ComputeScopeWindow(240000, 41, 3000).startMsecs, 0);
    EXPECT_EQ(ScopeTimeToX(z, 1170, z.startMsecs), 0);
    EXPECT_EQ(ScopeXToTime(whole, 1200, 600), 120000);
    EXPECT_EQ(ScopeTimeToX(whole, 1200, 60000), 300);
}

TEST(ScopeWindow, ZoomStepsStayOddAndInRange)
{
    EXPECT_EQ(ZoomIn(1), 3);
    EXPECT_EQ(ZoomIn(41), 41);
    EXPECT_EQ(ZoomIn(40), 41);
    EXPECT_EQ(ZoomOut(3), 1);
    EXPECT_EQ(ZoomOut(1), 1);
}

TEST(Layout, RoundTripsAndRefusesDamagedValues)
{
    const QRect r(30, 40, 1000, 700);
    EXPECT_EQ(LayoutValue(r), QStringLiteral("1000,700,30,40"));
    QRect back;
    ASSERT_TRUE(ParseLayoutValue(LayoutValue(r), &back));
    EXPECT_EQ(back, r);
    for (const char* bad : {"", "1000,700,30", "a,b,c,d", "10,10,0,0", "99999,700,0,0"})
        EXPECT_FALSE(ParseLayoutValue(QString::fromLatin1(bad), &back)) << bad;
}

TEST(RecentFiles, KeepsFourNewestFirstWithoutDuplicates)
{
    QStringList l;
    for (const char* p : {"/a.kdz", "/b.kdz", "/c.txt", "/d.mid", "/e.kdz"})
        l = AddRecentFile(l, QString::fromLatin1(p));
    EXPECT_EQ(l, (QStringList{"/e.kdz", "/d.mid", "/c.txt", "/b.kdz"}));
    l = AddRecentFile(l, QStringLiteral("/c.txt"));
    EXPECT_EQ(l, (QStringList{"/c.txt", "/e.kdz", "/d.mid", "/b.kdz"}));
}

TEST(GotoTime, FindsBarAndTick)
{
    // Three 4/4 bars of 2000 ms from 1000 ms, then the closing bar at 7000 ms.
    const std::vector<int> starts{1000, 3000, 5000, 7000};
    const std::vector<int> ticks{32, 32, 32, 32};
    SBarTarget t;
    ASSERT_TRUE(GotoTimeTarget(starts, ticks, 4000, &t));
    EXPECT_EQ(t.barIndex, 1);
    EXPECT_EQ(t.tick, 16);
    ASSERT_TRUE(GotoTimeTarget(starts, ticks, 3000, &t));
    EXPECT_EQ(t.barIndex, 0) << "a bar starting exactly at the time is not before it";
    EXPECT_EQ(t.tick, 31);
    EXPECT_FALSE(GotoTimeTarget(starts, ticks, 1000, &t)) << "not after the first bar: nothing";
    EXPECT_FALSE(GotoTimeTarget(starts, ticks, 0, &t));
    ASSERT_TRUE(GotoTimeTarget(starts, ticks, 90500, &t));
    EXPECT_EQ(t.barIndex, 2) << "past the end: last measure";
    EXPECT_EQ(t.tick, 0);
    EXPECT_FALSE(GotoTimeTarget({}, {}, 5000, &t));
}
