// Events come from per-thread pools. These tests check that memory is
// reused rather than growing, within a thread and across threads, and that events keep their
// contents while lists are built, moved and destroyed on different threads; measures keep
// their layout and timing words and texts in side records of their own.

#include "event.h"
#include "eventextras.h"
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
        if (e.m_word1 != EventType::FirstNote + i % 90 || e.m_word2 != seed + i || e.GetImportRef() != i)
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
            first.insert(&e);
    }
    const size_t reserved = EventPool::ReservedBytes();
    CEventList again;
    Fill(again, 5000, 7);
    int reused = 0;
    for (const auto& e : again)
        reused += first.count(&e) ? 1 : 0;
    EXPECT_EQ(reused, 5000);
    EXPECT_EQ(EventPool::ReservedBytes(), reserved);
    EXPECT_TRUE(Intact(again, 7));
}

TEST_F(EventPoolTest, AnEndedThreadHandsItsChunksToTheNext)
{
    // Warm up: the first thread takes runs of slots.
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
                    copy.push_back(std::make_unique<CEvent>(e));
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

TEST(EventExtras, OnlyMeasuresThatAreLaidOutOrTimedOrHaveTextTakeARecord)
{
    const size_t before = EventExtras::LiveCount();
    {
        CEventList song;
        for (int bar = 0; bar < 500; ++bar) {
            CEvent* measure = AppendEvent(song, EventType::Bar, TimeSigWord(4, 4));
            for (int n = 0; n < 8; ++n) {
                CEvent* note = AppendEvent(song, 42, uint32_t(n * 48));
                // What the passes write into every event they visit: zero words make no record.
                note->SetRunTime1(0);
                note->SetLayoutPos(0);
                note->SetText(QString());
            }
            if (bar % 2)
                measure->SetRunTime2(uint32_t(bar) * 2000 + 1);
            if (bar % 5 == 0)
                measure->SetText(QStringLiteral("bar %1").arg(bar));
        }
        EXPECT_EQ(EventExtras::LiveCount() - before, 250u + 50u);
        int bar = 0;
        for (const auto& e : song) {
            if (!e.IsBar()) {
                EXPECT_EQ(e.GetRunTime1() | e.GetRunTime2() | e.GetLayoutPos() | e.GetLayoutSize(), 0u);
                EXPECT_EQ(e.GetTextOrNull(), nullptr);
                continue;
            }
            EXPECT_EQ(e.GetRunTime2(), bar % 2 ? uint32_t(bar) * 2000 + 1 : 0u) << "bar " << bar;
            EXPECT_EQ(e.GetText(), bar % 5 == 0 ? QStringLiteral("bar %1").arg(bar) : QString()) << "bar " << bar;
            ++bar;
        }
    }
    EXPECT_EQ(EventExtras::LiveCount(), before) << "freed events give their records back";
}

TEST(EventExtras, ACopyAndAReusedRecordStartClean)
{
    auto bar = std::make_unique<CEvent>(EventType::Bar, TimeSigWord(3, 4), 0, QStringLiteral("verse"));
    bar->SetLayoutPos(11);
    bar->SetLayoutSize(12);
    bar->SetRunTime1(13);
    bar->SetRunTime2(14);
    CEvent copy(*bar);
    copy.SetText(QStringLiteral("chorus"));
    copy.SetRunTime1(99);
    EXPECT_EQ(bar->GetText(), QStringLiteral("verse"));
    EXPECT_EQ(bar->GetRunTime1(), 13u);
    EXPECT_EQ(copy.GetLayoutPos(), 0u);
    bar.reset();
    // The record the bar gave back serves the next measure, with nothing left in it.
    CEvent next(EventType::Bar, TimeSigWord(4, 4));
    next.SetRunTime2(1);
    EXPECT_EQ(next.GetLayoutPos() | next.GetLayoutSize() | next.GetRunTime1(), 0u);
    EXPECT_EQ(next.GetTextOrNull(), nullptr);
    EXPECT_EQ(copy.GetText(), QStringLiteral("chorus"));
    EXPECT_EQ(copy.GetRunTime1(), 99u);
}

TEST(EventExtras, MeasuresMadeAndFreedOnManyThreadsKeepTheirOwnWords)
{
    constexpr int kThreads = 4;
    std::vector<std::thread> threads;
    std::vector<int> ok(kThreads, 0);
    std::vector<CEventList> kept(kThreads);
    const size_t before = EventExtras::LiveCount();
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            bool good = true;
            for (int round = 0; round < 10; ++round) {
                CEventList song;
                for (int i = 0; i < 2000; ++i) {
                    CEvent* e = AppendEvent(song, EventType::Bar, TimeSigWord(4, 4));
                    e->SetRunTime1(uint32_t(t * 100000 + i + 1));
                    e->SetLayoutSize(uint32_t(round));
                }
                uint32_t i = 0;
                for (const auto& e : song)
                    good = good && e.GetRunTime1() == uint32_t(t * 100000) + ++i && e.GetLayoutSize() == uint32_t(round);
                if (round == 9)
                    kept[size_t(t)].splice(kept[size_t(t)].end(), song);
            }
            ok[size_t(t)] = good;
        });
    }
    for (std::thread& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_TRUE(ok[size_t(t)]) << "thread " << t;
        uint32_t i = 0;
        for (const auto& e : kept[size_t(t)])
            ASSERT_EQ(e.GetRunTime1(), uint32_t(t * 100000) + ++i);
    }
    EXPECT_EQ(EventExtras::LiveCount() - before, size_t(kThreads) * 2000);
    kept.clear();
    EXPECT_EQ(EventExtras::LiveCount(), before);
}

} // namespace
