// Tap tempo and the auto-tempo ramp.

#include "tempotools.h"

#include <gtest/gtest.h>

TEST(CTapTempo, SteadyTapsReadFromTheSecondTap)
{
    CTapTempo taps;
    EXPECT_EQ(taps.Tap(1000), 0);
    for (int i = 1; i <= 20; ++i)
        EXPECT_EQ(taps.Tap(1000 + 500 * i), 120) << i;
}

TEST(CTapTempo, APauseKeepsTheReadingAndAdaptsFastAgain)
{
    CTapTempo taps;
    int64_t t = 0;
    for (int i = 0; i < 15; ++i)
        taps.Tap(t += 500);
    EXPECT_GE(taps.Count(), 10);
    EXPECT_EQ(taps.Tap(t += 3000), 120) << "the pause does not change the reading";
    EXPECT_EQ(taps.Count(), 5);
    // The next taps at 400 ms move the average with weight 0.2: 480, 464, 451.2 ...
    taps.Tap(t += 400);
    EXPECT_DOUBLE_EQ(taps.AverageMsecs(), 480.0);
    taps.Tap(t += 400);
    EXPECT_DOUBLE_EQ(taps.AverageMsecs(), 464.0);
}

TEST(CTapTempo, IntervalsOutsideTheRangeAreIgnored)
{
    CTapTempo taps;
    taps.Tap(0);
    EXPECT_EQ(taps.Tap(271), 0) << "too fast";
    EXPECT_EQ(taps.Tap(271 + 1201), 0) << "too slow";
    EXPECT_EQ(taps.Tap(271 + 1201 + 1200), 50);
    EXPECT_EQ(taps.Tap(271 + 1201 + 1200 + 272), 59); // 1200 * 0.8 + 272 * 0.2 = 1014.4 ms
}

struct SRampCase
{
    int start, end, hold, ramp;
    int64_t elapsed;
    int expected;
};

class CAutoTempo : public ::testing::TestWithParam<SRampCase>
{
};

TEST_P(CAutoTempo, FollowsTheRamp)
{
    const auto& c = GetParam();
    SAutoTempo s;
    s.m_startBpm = c.start;
    s.m_endBpm = c.end;
    s.m_holdSecs = c.hold;
    s.m_rampSecs = c.ramp;
    EXPECT_EQ(AutoTempoAt(s, c.elapsed), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Defaults, CAutoTempo,
                         ::testing::Values(SRampCase{60, 120, 40, 120, 0, 0}, SRampCase{60, 120, 40, 120, 39, 0},
                                           SRampCase{60, 120, 40, 120, 40, 60}, SRampCase{60, 120, 40, 120, 100, 90},
                                           SRampCase{60, 120, 40, 120, 101, 90}, SRampCase{60, 120, 40, 120, 160, 120},
                                           SRampCase{60, 120, 40, 120, 161, 0}, SRampCase{60, 120, 40, 120, 5000, 0},
                                           // slowing down truncates toward zero as well
                                           SRampCase{120, 60, 0, 120, 1, 120}, SRampCase{120, 60, 0, 120, 3, 119},
                                           // preset 5: no hold
                                           SRampCase{60, 120, 0, 60, 0, 60}, SRampCase{60, 120, 0, 60, 30, 90},
                                           // a ramp of 0 s steps to the ending tempo when the hold ends
                                           SRampCase{60, 120, 10, 0, 9, 0}, SRampCase{60, 120, 10, 0, 10, 120},
                                           SRampCase{60, 120, 10, 0, 11, 120}, SRampCase{60, 120, 10, 0, 12, 0}));

TEST(CAutoTempoPresets, MatchTheDialog)
{
    SAutoTempo s;
    ASSERT_TRUE(AutoTempoPreset(1, &s));
    EXPECT_EQ(s.m_startBpm, 50);
    EXPECT_EQ(s.m_endBpm, 100);
    EXPECT_EQ(s.m_holdSecs, 60);
    EXPECT_EQ(s.m_rampSecs, 300);
    ASSERT_TRUE(AutoTempoPreset(5, &s));
    EXPECT_EQ(s.m_holdSecs, 0);
    EXPECT_EQ(s.m_rampSecs, 60);
    ASSERT_TRUE(AutoTempoPreset(3, &s));
    EXPECT_EQ(s.m_holdSecs, 20);
    EXPECT_EQ(s.m_rampSecs, 180);
    EXPECT_FALSE(AutoTempoPreset(6, &s));
}
