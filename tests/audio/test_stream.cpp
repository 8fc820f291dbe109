// The stream contract on the manual clock: timing in ticks and tempo, buffers and their done
// notifications, pause, stop, replacement of the look-ahead buffer, malformed buffers.

#include "manualclock.h"
#include "streambuffer.h"

#include <gtest/gtest.h>

namespace {
std::vector<int64_t> NoteOnFrames(const CManualClockStream& s)
{
    std::vector<int64_t> frames;
    for (const auto& p : s.Played())
        if (p.m_bytes.size() == 3 && (p.m_bytes[0] & 0xF0) == 0x90 && p.m_bytes[2] > 0)
            frames.push_back(p.m_frame);
    return frames;
}

struct CStreamFixture : ::testing::Test
{
    CManualClockStream stream{1000.0}; // one frame = 1 ms
    std::vector<uintptr_t> done;
    void SetUp() override
    {
        stream.SetTimeDivision(96);
        stream.SetTempo(500000); // 120 BPM
        stream.SetDoneHandler([this](uintptr_t user) { done.push_back(user); });
    }
};
}

TEST_F(CStreamFixture, EventsFallAtTheirTickTimes)
{
    const auto bar = QuarterNoteBar();
    ASSERT_TRUE(stream.Out(bar.Header(7)));
    stream.Restart();
    stream.Advance(2500);
    EXPECT_EQ(NoteOnFrames(stream), (std::vector<int64_t>{0, 500, 1000, 1500}));
    EXPECT_EQ(done, std::vector<uintptr_t>{7});
    int64_t pos = -1;
    ASSERT_TRUE(stream.Position(&pos));
    EXPECT_EQ(pos, 384) << "the clock waits at the end of the last buffer";
}

TEST_F(CStreamFixture, PositionRunsOnAcrossBuffersWithoutAGap)
{
    const auto bar = QuarterNoteBar();
    ASSERT_TRUE(stream.Out(bar.Header(1)));
    ASSERT_TRUE(stream.Out(bar.Header(2)));
    stream.Restart();
    for (int i = 0; i < 41; ++i) // the last release falls on frame 4000
        stream.Advance(100);
    EXPECT_EQ(NoteOnFrames(stream), (std::vector<int64_t>{0, 500, 1000, 1500, 2000, 2500, 3000, 3500}));
    std::vector<int64_t> ticks;
    for (const auto& p : stream.Played())
        if (p.m_bytes[0] == 0x99 && p.m_bytes[2])
            ticks.push_back(p.m_tick);
    EXPECT_EQ(ticks, (std::vector<int64_t>{0, 96, 192, 288, 384, 480, 576, 672}));
    EXPECT_EQ(done, (std::vector<uintptr_t>{1, 2}));
}

TEST_F(CStreamFixture, OpensPausedAndPauseHoldsTheClock)
{
    const auto bar = QuarterNoteBar();
    ASSERT_TRUE(stream.Out(bar.Header()));
    stream.Advance(1000);
    EXPECT_TRUE(NoteOnFrames(stream).empty()) << "a stream starts paused";
    stream.Restart();
    stream.Advance(700); // notes at 1000, 1500
    stream.Pause();
    int64_t pos = 0;
    stream.Position(&pos);
    EXPECT_EQ(pos, 134); // 700 ms at 120 BPM
    stream.Advance(5000);
    int64_t held = 0;
    stream.Position(&held);
    EXPECT_EQ(held, pos);
    stream.Restart();
    stream.Advance(400);
    EXPECT_EQ(NoteOnFrames(stream), (std::vector<int64_t>{1000, 1500, 7000}));
}

TEST_F(CStreamFixture, TempoChangeAppliesAtOnce)
{
    const auto bar = QuarterNoteBar();
    ASSERT_TRUE(stream.Out(bar.Header()));
    stream.Restart();
    stream.Advance(250);       // 48 ticks at 120 BPM
    stream.SetTempo(1000000);  // 60 BPM: the remaining 48 ticks of the beat take 500 ms
    stream.Advance(2000);
    const auto frames = NoteOnFrames(stream);
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[1], 750);
    EXPECT_EQ(frames[2], 1750);
}

TEST_F(CStreamFixture, TempoEventInABufferAppliesWhenReached)
{
    CStreamBufferBuilder b;
    b.Short(0, 0x99, 42, 100).Tempo(96, 250000).Short(0, 0x99, 42, 100).Short(96, 0x99, 42, 100);
    ASSERT_TRUE(stream.Out(b.Header()));
    stream.Restart();
    stream.Advance(2000);
    EXPECT_EQ(NoteOnFrames(stream), (std::vector<int64_t>{0, 500, 750}));
    EXPECT_EQ(stream.GetTempo(), 250000u);
}

TEST_F(CStreamFixture, StopReturnsEveryBufferSilencesAndRewinds)
{
    const auto bar = QuarterNoteBar();
    ASSERT_TRUE(stream.Out(bar.Header(1)));
    ASSERT_TRUE(stream.Out(bar.Header(2)));
    ASSERT_TRUE(stream.Out(bar.Header(3)));
    stream.Restart();
    stream.Advance(600);
    stream.ClearPlayed();
    ASSERT_TRUE(stream.Stop());
    EXPECT_EQ(done, (std::vector<uintptr_t>{1, 2, 3}));
    EXPECT_EQ(stream.Pending(), 0);
    int64_t pos = -1;
    stream.Position(&pos);
    EXPECT_EQ(pos, 0);
    int allNotesOff = 0;
    for (const auto& p : stream.Played())
        allNotesOff += p.m_bytes.size() == 3 && (p.m_bytes[0] & 0xF0) == 0xB0 && p.m_bytes[1] == 123;
    EXPECT_EQ(allNotesOff, 16);
    stream.Advance(1000);
    EXPECT_TRUE(NoteOnFrames(stream).empty()) << "stopped streams are paused";
}

TEST_F(CStreamFixture, ReplaceLastSwapsTheLookAheadBufferUntilItBegins)
{
    const auto first = QuarterNoteBar(42);
    const auto second = QuarterNoteBar(38);
    const auto replacement = QuarterNoteBar(49, 1);
    ASSERT_TRUE(stream.Out(first.Header(1)));
    ASSERT_TRUE(stream.Out(second.Header(2)));
    stream.Restart();
    stream.Advance(1000);
    ASSERT_TRUE(stream.ReplaceLast(replacement.Header(3)));
    stream.Advance(1500); // into the replacement
    EXPECT_FALSE(stream.ReplaceLast(second.Header(4))) << "it has begun";
    stream.Advance(3000);
    EXPECT_EQ(done, (std::vector<uintptr_t>{1, 3}));
    std::vector<int> keys;
    for (const auto& p : stream.Played())
        if (p.m_bytes[0] == 0x99 && p.m_bytes[2])
            keys.push_back(p.m_bytes[1]);
    EXPECT_EQ(keys, (std::vector<int>{42, 42, 42, 42, 49}));
}

TEST_F(CStreamFixture, MasterVolumeLongEventIsDeliveredWhole)
{
    CStreamBufferBuilder b;
    b.MasterVolume().Short(10, 0x99, 36, 90);
    ASSERT_TRUE(stream.Out(b.Header()));
    stream.Restart();
    stream.Advance(100);
    ASSERT_EQ(stream.Played().size(), 2u);
    EXPECT_EQ(stream.Played()[0].m_bytes, (std::vector<uint8_t>{0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x7F, 0x7F, 0xF7}));
}

struct SBadBuffer
{
    const char* name;
    std::vector<uint8_t> bytes;
};

class CMalformedBuffer : public ::testing::TestWithParam<SBadBuffer>
{
};

TEST_P(CMalformedBuffer, IsRefusedAndChangesNothing)
{
    CManualClockStream stream;
    SMidiHeader h;
    h.m_pData = GetParam().bytes.data();
    h.m_bufferLength = h.m_bytesRecorded = uint32_t(GetParam().bytes.size());
    EXPECT_FALSE(stream.Out(h));
    EXPECT_EQ(stream.Pending(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, CMalformedBuffer,
    ::testing::Values(SBadBuffer{"not_whole_words", {0, 0, 0, 0, 0, 0, 0, 0, 0x99, 42, 100}},
                      SBadBuffer{"short_event_cut", {0, 0, 0, 0, 0, 0, 0, 0}},
                      SBadBuffer{"status_without_top_bit", {0, 0, 0, 0, 0, 0, 0, 0, 0x19, 42, 100, 0}},
                      SBadBuffer{"long_event_past_the_end", {0, 0, 0, 0, 0, 0, 0, 0, 16, 0, 0, 0x80, 0xF0, 0x7F, 0x7F, 0x04}},
                      SBadBuffer{"huge_delta", {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0x99, 42, 100, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CStreamQueue, RefusesBuffersBeyondItsSlots)
{
    CManualClockStream stream;
    const auto bar = QuarterNoteBar();
    int accepted = 0;
    for (int i = 0; i < 20; ++i)
        accepted += stream.Out(bar.Header());
    EXPECT_EQ(accepted, 8);
    EXPECT_EQ(stream.Pending(), 8);
}
