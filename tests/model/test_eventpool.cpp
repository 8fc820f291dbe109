// Events and song-list nodes come from per-thread pools. These tests check that memory is
// reused rather than growing, within a thread and across threads, and that events keep their
// contents while lists are built, moved and destroyed on different threads.

#include "event.h"
#include "eventpool.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>
#include <vector>

namespace {

void Fill(CEventList& list, int count, uint32_t seed)
{
    for (int i = 0; i < count; ++i)
        AppendEvent(list, EventType::FirstNote + uint32_t(i % 90), seed + uint32_t(i), uint32_t(i));
}

bool Intact(const CEventList& list, uint32_t seed)
{
    uint32_t i = 0;
    for (const auto& e : list) {
        if (e->m_word1 != EventType::FirstNote + i % 90 || e->m_word2 != seed + i || e->m_importRef != i)
            return false;
        ++i;
    }
    return true;
}

class EventPoolTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!KADENZO_EVENT_POOL)
            GTEST_SKIP() << "sanitizer build: events use the general heap";
    }
};

TEST_F(EventPoolTest, FreedEventsAreReusedOnTheSameThread)
{
    std::set<const CEvent*> first;
    {
        CEventList list;
        Fill(list, 5000, 0);
        for (const auto& e : list)
            first.insert(e.get());
    }
    const size_t reserved = EventPool::ReservedBytes();
    CEventList again;
    Fill(again, 5000, 7);
    int reused = 0;
    for (const auto& e : again)
        reused += first.count(e.get()) ? 1 : 0;
    EXPECT_EQ(reused, 5000);
    EXPECT_EQ(EventPool::ReservedBytes(), reserved);
    EXPECT_TRUE(Intact(again, 7));
}

TEST_F(EventPoolTest, AnEndedThreadHandsItsChunksToTheNext)
{
    // Warm up: the first thread takes slabs.
    std::thread([] {
        CEventList list;
        Fill(list, 200000, 1);
    }).join();
    const size_t reserved = EventPool::ReservedBytes();
    for (int round = 0; round < 5; ++round) {
        bool ok = false;
        std::thread([&ok, round] {
            CEventList list;
            Fill(list, 200000, uint32_t(round));
            ok = Intact(list, uint32_t(round));
        }).join();
        EXPECT_TRUE(ok);
    }
    // Each new thread found the chunks the previous ones gave back.
    EXPECT_EQ(EventPool::ReservedBytes(), reserved);
}

TEST_F(EventPoolTest, EventsMadeOnOneThreadAreFreedOnAnother)
{
    CEventList fromWorker;
    std::thread([&fromWorker] { Fill(fromWorker, 100000, 3); }).join();
    ASSERT_EQ(fromWorker.size(), 100000u);
    EXPECT_TRUE(Intact(fromWorker, 3));
    fromWorker.clear(); // the chunks join this thread's free list

    const size_t reserved = EventPool::ReservedBytes();
    CEventList here;
    Fill(here, 100000, 4);
    EXPECT_TRUE(Intact(here, 4));
    EXPECT_EQ(EventPool::ReservedBytes(), reserved);
}

TEST(EventPool, ListsOnManyThreadsAtOnceKeepTheirContents)
{
    // Four threads build songs, trade halves through a shared list and free them; every
    // event must still hold what it was made with.
    constexpr int kThreads = 4;
    std::vector<CEventList> lists(kThreads);
    std::vector<std::thread> threads;
    std::vector<int> ok(kThreads, 0);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            bool good = true;
            for (int round = 0; round < 20; ++round) {
                CEventList song;
                Fill(song, 3000 + 100 * t, uint32_t(t * 1000 + round));
                good = good && Intact(song, uint32_t(t * 1000 + round));
                CEventList copy;
                for (const auto& e : song)
                    copy.push_back(std::make_unique<CEvent>(*e));
                song.clear();
                good = good && Intact(copy, uint32_t(t * 1000 + round));
                lists[size_t(t)].splice(lists[size_t(t)].end(), copy);
            }
            ok[size_t(t)] = good;
        });
    }
    for (std::thread& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_TRUE(ok[size_t(t)]) << "thread " << t;
        EXPECT_EQ(lists[size_t(t)].size(), size_t(20 * (3000 + 100 * t)));
    }
    lists.clear(); // events of ended threads are freed here
}

} // namespace
