// The song list links its events through the events themselves. These tests check what the
// editor, undo and the clipboard rely on: positions and addresses survive inserts, erases,
// splices and sorting; an event handed out of a list and back keeps its address; lists built
// and freed on different threads stay intact; and an event's import reference survives its
// side record coming and going.

#include "event.h"
#include "eventextras.h"
#include "eventpool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <thread>
#include <vector>

namespace {

std::vector<uint32_t> Positions(const CEventList& list)
{
    std::vector<uint32_t> out;
    for (const CEvent& e : list)
        out.push_back(e.GetPosition());
    return out;
}

std::vector<uint32_t> Backwards(const CEventList& list)
{
    std::vector<uint32_t> out;
    for (auto it = list.rbegin(); it != list.rend(); ++it)
        out.push_back(it->GetPosition());
    return out;
}

// A list of notes at positions first, first + 1, ... and its events' addresses.
std::vector<CEvent*> Fill(CEventList& list, uint32_t first, uint32_t count)
{
    std::vector<CEvent*> made;
    for (uint32_t i = 0; i < count; ++i)
        made.push_back(AppendEvent(list, 42, first + i));
    return made;
}

std::vector<uint32_t> Range(uint32_t first, uint32_t count)
{
    std::vector<uint32_t> out(count);
    for (uint32_t i = 0; i < count; ++i)
        out[i] = first + i;
    return out;
}

TEST(EventList, AnEventTakesTwentyBytes)
{
    EXPECT_EQ(sizeof(CEvent), 20u);
}

TEST(EventList, InsertAndEraseLeaveOtherPositionsAndAddressesAlone)
{
    CEventList list;
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.begin(), list.end());
    const std::vector<CEvent*> made = Fill(list, 0, 10);
    std::vector<EventPos> at;
    for (auto it = list.begin(); it != list.end(); ++it)
        at.push_back(it);
    for (size_t i = 0; i < made.size(); ++i)
        EXPECT_EQ(&*at[i], made[i]);

    // Insert before the first, in the middle and at the end; erase the second and the last.
    list.insert(list.begin(), std::make_unique<CEvent>(42, 100));
    const EventPos mid = list.insert(at[5], std::make_unique<CEvent>(42, 105));
    list.emplace(list.end(), 42u, 110u);
    EXPECT_EQ(std::next(mid), at[5]);
    EXPECT_EQ(list.erase(at[1]), at[2]);
    list.erase(at[9]);
    EXPECT_EQ(list.size(), 11u);
    EXPECT_EQ(Positions(list), (std::vector<uint32_t>{100, 0, 2, 3, 4, 105, 5, 6, 7, 8, 110}));
    EXPECT_EQ(Backwards(list), (std::vector<uint32_t>{110, 8, 7, 6, 5, 105, 4, 3, 2, 0, 100}));
    for (size_t i : {0, 2, 3, 4, 5, 6, 7, 8}) {
        EXPECT_EQ(&*at[i], made[i]);
        EXPECT_EQ(at[i]->GetPosition(), uint32_t(i));
    }
    EXPECT_EQ(std::prev(at[2])->GetPosition(), 0u);
    EXPECT_EQ(std::next(at[8])->GetPosition(), 110u);

    // Ranges, ends and the first and last events.
    EXPECT_EQ(list.erase(std::next(at[2]), at[6]), at[6]);
    EXPECT_EQ(Positions(list), (std::vector<uint32_t>{100, 0, 2, 6, 7, 8, 110}));
    EXPECT_EQ(list.front().GetPosition(), 100u);
    EXPECT_EQ(list.back().GetPosition(), 110u);
    EXPECT_EQ(std::prev(list.end())->GetPosition(), 110u);
    list.pop_front();
    list.pop_back();
    list.push_front(std::make_unique<CEvent>(42, 99));
    list.push_back(std::make_unique<CEvent>(42, 111));
    list.push_back(nullptr); // nothing to insert
    EXPECT_EQ(Positions(list), (std::vector<uint32_t>{99, 0, 2, 6, 7, 8, 111}));
    EXPECT_EQ(Backwards(list), (std::vector<uint32_t>{111, 8, 7, 6, 2, 0, 99}));
    CEventList::const_iterator c = at[6];
    EXPECT_EQ(c, at[6]);
    EXPECT_EQ(c->GetPosition(), 6u);
    EXPECT_EQ(std::distance(list.cbegin(), list.cend()), 7);

    list.clear();
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(list.size(), 0u);
    EXPECT_EQ(list.rbegin(), list.rend());
    Fill(list, 7, 2);
    EXPECT_EQ(Positions(list), (std::vector<uint32_t>{7, 8}));
}

TEST(EventList, AnExtractedEventKeepsItsAddressOutsideAndBackInAList)
{
    CEventList song;
    const std::vector<CEvent*> made = Fill(song, 0, 6);
    made[3]->SetText(QStringLiteral("kept"));
    // Undo keeps what it removed; the clipboard holds events in a vector.
    std::unique_ptr<CEvent> removed = song.extract(std::next(song.begin(), 3));
    EXPECT_EQ(removed.get(), made[3]);
    EXPECT_EQ(song.size(), 5u);
    EXPECT_EQ(Positions(song), (std::vector<uint32_t>{0, 1, 2, 4, 5}));
    std::vector<std::unique_ptr<CEvent>> held;
    held.push_back(std::move(removed));
    held.push_back(song.extract(song.begin()));
    held.push_back(song.extract(std::prev(song.end())));
    EXPECT_EQ(Positions(song), (std::vector<uint32_t>{1, 2, 4}));

    const EventPos back = song.insert(std::next(song.begin(), 2), std::move(held[0]));
    EXPECT_EQ(&*back, made[3]);
    EXPECT_EQ(back->GetText(), QStringLiteral("kept"));
    CEventList other;
    other.push_back(std::move(held[2]));
    other.push_front(std::move(held[1]));
    EXPECT_EQ(&other.front(), made[0]);
    EXPECT_EQ(&other.back(), made[5]);
    EXPECT_EQ(Positions(song), (std::vector<uint32_t>{1, 2, 3, 4}));
    EXPECT_EQ(Backwards(other), (std::vector<uint32_t>{5, 0}));
}

TEST(EventList, SpliceMovesEventsNotTheirAddresses)
{
    CEventList a;
    CEventList b;
    const std::vector<CEvent*> inA = Fill(a, 0, 5);
    const std::vector<CEvent*> inB = Fill(b, 10, 5);
    const EventPos a2 = std::next(a.begin(), 2);
    const EventPos b1 = std::next(b.begin());
    const EventPos b3 = std::next(b.begin(), 3);

    // One event, then a range, then a whole list.
    a.splice(a2, b, b1);
    EXPECT_EQ(Positions(a), (std::vector<uint32_t>{0, 1, 11, 2, 3, 4}));
    EXPECT_EQ(Positions(b), (std::vector<uint32_t>{10, 12, 13, 14}));
    EXPECT_EQ(&*b1, inB[1]);
    EXPECT_EQ(std::next(b1), a2);
    a.splice(a.begin(), b, b3, b.end());
    EXPECT_EQ(Positions(a), (std::vector<uint32_t>{13, 14, 0, 1, 11, 2, 3, 4}));
    EXPECT_EQ(Positions(b), (std::vector<uint32_t>{10, 12}));
    EXPECT_EQ(a.size(), 8u);
    EXPECT_EQ(b.size(), 2u);
    EXPECT_EQ(Backwards(b), (std::vector<uint32_t>{12, 10}));
    a.splice(a.end(), b);
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(b.begin(), b.end());
    EXPECT_EQ(Positions(a), (std::vector<uint32_t>{13, 14, 0, 1, 11, 2, 3, 4, 10, 12}));
    EXPECT_EQ(Backwards(a), (std::vector<uint32_t>{12, 10, 4, 3, 2, 11, 1, 0, 14, 13}));
    EXPECT_EQ(a.size(), 10u);

    // Within one list: a run to the front, one event to the end, one onto itself.
    a.splice(a.begin(), a, std::next(a.begin(), 2), std::next(a.begin(), 4));
    EXPECT_EQ(Positions(a), (std::vector<uint32_t>{0, 1, 13, 14, 11, 2, 3, 4, 10, 12}));
    a.splice(a.end(), a, a.begin());
    a.splice(std::next(a.begin()), a, a.begin());
    EXPECT_EQ(Positions(a), (std::vector<uint32_t>{1, 13, 14, 11, 2, 3, 4, 10, 12, 0}));
    EXPECT_EQ(Backwards(a), (std::vector<uint32_t>{0, 12, 10, 4, 3, 2, 11, 14, 13, 1}));
    EXPECT_EQ(a.size(), 10u);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(inA[size_t(i)]->GetPosition(), uint32_t(i));
    // Splicing into a temporary and back, as sorting a measure's notes does.
    CEventList run;
    run.splice(run.begin(), a, std::next(a.begin()), std::next(a.begin(), 4));
    EXPECT_EQ(Positions(run), (std::vector<uint32_t>{13, 14, 11}));
    run.sort([](const CEvent& x, const CEvent& y) { return x.GetPosition() < y.GetPosition(); });
    EXPECT_EQ(Positions(run), (std::vector<uint32_t>{11, 13, 14}));
    EXPECT_EQ(&run.front(), inB[1]);
    a.splice(std::next(a.begin()), std::move(run));
    EXPECT_EQ(Positions(a), (std::vector<uint32_t>{1, 11, 13, 14, 2, 3, 4, 10, 12, 0}));
}

TEST(EventList, SortKeepsEqualEventsInOrderAndAtTheirAddresses)
{
    CEventList list;
    std::vector<CEvent*> made;
    for (uint32_t i = 0; i < 200; ++i)
        made.push_back(AppendEvent(list, 42, (i * 37) % 10, i));
    list.sort([](const CEvent& x, const CEvent& y) { return x.GetPosition() < y.GetPosition(); });
    ASSERT_EQ(list.size(), 200u);
    const CEvent* prev = nullptr;
    for (const CEvent& e : list) {
        EXPECT_EQ(made[e.GetImportRef()], &e);
        if (prev) {
            EXPECT_TRUE(prev->GetPosition() < e.GetPosition()
                || (prev->GetPosition() == e.GetPosition() && prev->GetImportRef() < e.GetImportRef()));
        }
        prev = &e;
    }
    std::vector<uint32_t> back = Backwards(list);
    std::reverse(back.begin(), back.end());
    EXPECT_EQ(back, Positions(list));
}

// Walks take a shortcut when the next event sits in the slot after this one; they must give
// the list's own order wherever its events lie: in runs made one after another, in runs
// reversed by splicing, beside events of another list and after a clear reused the slots.
TEST(EventList, WalksFollowTheLinksWhereverTheEventsLie)
{
    CEventList list;
    CEventList other;
    for (int round = 0; round < 2; ++round) {
        Fill(list, 0, 40);
        Fill(other, 1000, 10);
        Fill(list, 40, 20);
        // Reverse the middle run: each event's neighbour in memory is now its predecessor.
        for (int i = 1; i < 20; ++i)
            list.splice(std::next(list.begin(), 10), list, std::next(list.begin(), 10 + i));
        // Events of the other list between ours, and one of ours moved to its end.
        list.splice(std::next(list.begin(), 45), other, std::next(other.begin(), 3), std::next(other.begin(), 6));
        list.splice(list.end(), list, std::next(list.begin(), 5));

        std::vector<uint32_t> expected = Range(0, 60);
        std::reverse(expected.begin() + 10, expected.begin() + 30);
        expected.insert(expected.begin() + 45, {1003, 1004, 1005});
        expected.erase(expected.begin() + 5);
        expected.push_back(5);
        EXPECT_EQ(Positions(list), expected);
        std::vector<uint32_t> back = Backwards(list);
        std::reverse(back.begin(), back.end());
        EXPECT_EQ(back, expected);
        EXPECT_EQ(std::prev(list.end())->GetPosition(), 5u);
        EXPECT_EQ(std::distance(list.begin(), list.end()), std::ptrdiff_t(expected.size()));
        EXPECT_EQ(Positions(other), (std::vector<uint32_t>{1000, 1001, 1002, 1006, 1007, 1008, 1009}));
        // The second round runs on the slots this one frees.
        list.clear();
        other.clear();
    }
}

TEST(EventList, AMovedListTakesItsEvents)
{
    CEventList a;
    const std::vector<CEvent*> made = Fill(a, 0, 4);
    CEventList b(std::move(a));
    EXPECT_TRUE(a.empty()); // NOLINT(bugprone-use-after-move): a moved-from list is empty
    EXPECT_EQ(&b.front(), made[0]);
    CEventList c;
    Fill(c, 50, 3);
    c = std::move(b);
    EXPECT_EQ(Positions(c), Range(0, 4));
    EXPECT_EQ(Backwards(c), (std::vector<uint32_t>{3, 2, 1, 0}));
    a.swap(c);
    EXPECT_EQ(a.size(), 4u);
    EXPECT_TRUE(c.empty());
    Fill(c, 9, 1);
    EXPECT_EQ(Positions(c), Range(9, 1));
}

TEST(EventList, MillionsOfEventsMadeAndFreedAcrossThreads)
{
    // Four workers each make a song of a million events; the songs are checked, spliced
    // together and freed on this thread, then made again from the freed slots.
    constexpr int kThreads = 4;
    constexpr uint32_t kEach = 1000000;
    const size_t reservedBefore = EventPool::ReservedBytes();
    std::vector<CEventList> songs(kThreads);
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([&songs, t] { Fill(songs[size_t(t)], uint32_t(t) * kEach, kEach); });
    for (std::thread& w : workers)
        w.join();
    CEventList all;
    for (CEventList& song : songs)
        all.splice(all.end(), song);
    ASSERT_EQ(all.size(), size_t(kThreads) * kEach);
    uint32_t expected = 0;
    bool inOrder = true;
    for (const CEvent& e : all)
        inOrder = inOrder && e.m_word2 == expected++;
    EXPECT_TRUE(inOrder);
    expected = kThreads * kEach;
    for (auto it = all.rbegin(); it != all.rend() && inOrder; ++it)
        inOrder = it->m_word2 == --expected;
    EXPECT_TRUE(inOrder);
    if (KADENZO_EVENT_POOL) {
        // No nodes: the pool grew by little more than 20 bytes an event.
        const double perEvent = double(EventPool::ReservedBytes() - reservedBefore) / double(all.size());
        EXPECT_LE(perEvent, 21.0);
    }

    // Freed here, made again on a worker from the freed slots, freed there.
    all.clear();
    const size_t reserved = EventPool::ReservedBytes();
    CEventList again;
    Fill(again, 0, kEach);
    std::thread([moved = std::move(again)]() mutable { moved.clear(); }).join();
    if (KADENZO_EVENT_POOL) {
        EXPECT_EQ(EventPool::ReservedBytes(), reserved);
    }
}

TEST(EventList, AppendingManyAtOnceMakesWhatAppendingOneByOneMakes)
{
    // Notes with small and large references (the large one takes a side record), a rest and
    // a measure, after an event already in the list.
    const uint32_t small = (17u << 10) | 3u;
    const uint32_t large = (0x3FFFFFu << 10) | 0x3FFu;
    const std::vector<SEventWords> words = {
        {42, 0, small},
        {38, 0, 0},
        {46, 96, large},
        {EventType::Rest, 192, 0},
        {EventType::Bar, TimeSigWord(3, 4), small},
        {36, 0, small + 1},
    };
    const size_t records = EventExtras::LiveCount();
    {
        CEventList one;
        CEventList many;
        AppendEvent(one, 49, 0);
        AppendEvent(many, 49, 0);
        for (const SEventWords& w : words)
            AppendEvent(one, w.word1, w.word2, w.importRef);
        AppendEvents(many, words);
        AppendEvents(many, {});
        ASSERT_EQ(many.size(), words.size() + 1);
        auto a = one.begin();
        for (const CEvent& e : many) {
            EXPECT_EQ(e.m_word1, a->m_word1);
            EXPECT_EQ(e.m_word2, a->m_word2);
            EXPECT_EQ(e.GetImportRef(), a->GetImportRef());
            EXPECT_EQ(e.IsMeasure(), a->IsMeasure());
            ++a;
        }
        EXPECT_EQ(Backwards(many), Backwards(one));
        EXPECT_EQ(std::next(many.begin(), 3)->GetImportRef(), large);
        // Appending one by one goes on at the end of what was appended at once.
        AppendEvent(many, 51, 384);
        EXPECT_EQ(many.back().GetPosition(), 384u);
        EXPECT_EQ(std::prev(many.end(), 2)->m_word1, 36u);
    }
    EXPECT_EQ(EventExtras::LiveCount(), records);
}

TEST(EventList, TheImportReferenceSurvivesTheSideRecord)
{
    // Small references sit in the event; one whose line leaves no room for the tag bit, and
    // that of a measure that took a side record, live in the record.
    const uint32_t small = (1234u << 10) | 56u;
    const uint32_t large = (0x3FFFFFu << 10) | 0x3FFu; // the largest line and column
    const size_t before = EventExtras::LiveCount();
    {
        CEvent note(42, 0, small);
        EXPECT_EQ(note.GetImportRef(), small);
        EXPECT_EQ(EventExtras::LiveCount(), before);
        CEvent far(42, 0, large);
        EXPECT_EQ(far.GetImportRef(), large);
        EXPECT_EQ(far.GetRunTime1(), 0u);
        EXPECT_EQ(far.GetTextOrNull(), nullptr);
        CEvent farCopy(far);
        EXPECT_EQ(farCopy.GetImportRef(), large);
        farCopy.SetImportRef(small);
        EXPECT_EQ(farCopy.GetImportRef(), small);

        CEvent bar(EventType::Bar, TimeSigWord(4, 4), small);
        bar.SetLayoutPos(7);
        bar.SetText(QStringLiteral("intro"));
        EXPECT_EQ(bar.GetImportRef(), small);
        EXPECT_EQ(bar.GetLayoutPos(), 7u);
        bar.SetImportRef(large);
        EXPECT_EQ(bar.GetImportRef(), large);
        EXPECT_EQ(bar.GetText(), QStringLiteral("intro"));
        bar.SetImportRef(0);
        EXPECT_EQ(bar.GetImportRef(), 0u);
        EXPECT_EQ(bar.GetLayoutPos(), 7u);

        // A record that served a measure starts the next one without its reference.
        CEventList song;
        AppendEvent(song, EventType::Bar, TimeSigWord(4, 4), large);
        song.clear();
        CEvent next(EventType::Bar, TimeSigWord(4, 4));
        next.SetRunTime2(5);
        EXPECT_EQ(next.GetImportRef(), 0u);
    }
    EXPECT_EQ(EventExtras::LiveCount(), before);
}

} // namespace
