// Saving and loading a large song.

#include "clipboard.h"
#include "rondeldoc.h"
#include "textexport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

void FillSong(CRondelDoc& doc, int bars)
{
    doc.OnNewDocument();
    doc.Events().clear();
    for (int b = 0; b < bars; ++b) {
        AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
        for (int pos = 0; pos < 384; pos += 48) {
            AppendEvent(doc.Events(), 42, uint32_t(pos));
            if (pos % 96 == 0)
                AppendEvent(doc.Events(), pos % 192 ? 38 : 36, uint32_t(pos));
        }
    }
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
}

void BM_SaveKdz(benchmark::State& state)
{
    CRondelDoc doc;
    FillSong(doc, int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(doc.SaveBytes());
    state.counters["bars"] = double(state.range(0));
}
BENCHMARK(BM_SaveKdz)->Arg(2000);

void BM_LoadKdz(benchmark::State& state)
{
    CRondelDoc doc;
    FillSong(doc, int(state.range(0)));
    const QByteArray bytes = doc.SaveBytes();
    for (auto _ : state) {
        CRondelDoc back;
        benchmark::DoNotOptimize(back.LoadBytes(bytes, nullptr));
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes.size());
}
BENCHMARK(BM_LoadKdz)->Arg(2000);

// One edit's undo check point, timing pass left out: the snapshot of the whole song.
void BM_CommitEdit(benchmark::State& state)
{
    CRondelDoc doc;
    FillSong(doc, int(state.range(0)));
    for (auto _ : state)
        doc.CommitEdit();
    state.counters["bars"] = double(state.range(0));
}
BENCHMARK(BM_CommitEdit)->Arg(2000);

void BM_Undo(benchmark::State& state)
{
    CRondelDoc doc;
    FillSong(doc, int(state.range(0)));
    doc.CommitEdit();
    doc.CommitEdit();
    for (auto _ : state) {
        doc.Undo();
        doc.Redo();
    }
    state.counters["bars"] = double(state.range(0));
}
BENCHMARK(BM_Undo)->Arg(2000);

void BM_ExportTextTab(benchmark::State& state)
{
    CRondelDoc doc;
    FillSong(doc, int(state.range(0)));
    doc.Events().front().m_word1 |= TempoBits(120);
    for (auto _ : state)
        benchmark::DoNotOptimize(MakeTextTab(doc));
    state.counters["bars"] = double(state.range(0));
}
BENCHMARK(BM_ExportTextTab)->Arg(2000);

void BM_PasteMeasures(benchmark::State& state)
{
    CRondelDoc source;
    FillSong(source, int(state.range(0)));
    const auto span = ResolveSongRange(source.Events(), {1, kTickBarLine, int(state.range(0)), kTickBarEnd});
    const QByteArray bytes = CopyEvents(*span);
    for (auto _ : state) {
        state.PauseTiming();
        CRondelDoc doc;
        doc.OnNewDocument();
        state.ResumeTiming();
        PasteEvents(doc, bytes, FindInsertPoint(doc.Events(), 1, 0));
    }
    state.counters["bars"] = double(state.range(0));
}
BENCHMARK(BM_PasteMeasures)->Arg(500);

// Walking the song list forward and back, counting measures, with the events as a song made
// in one go has them (one after another in memory), and after every other event was moved
// elsewhere (arg 1) or the whole list was shuffled (arg 2), as long editing leaves it.
void BM_WalkEvents(benchmark::State& state)
{
    CRondelDoc doc;
    FillSong(doc, 2000);
    CEventList& events = doc.Events();
    if (state.range(0) > 0) {
        std::vector<EventPos> order;
        for (auto it = events.begin(); it != events.end(); ++it)
            order.push_back(it);
        if (state.range(0) == 1) {
            for (size_t i = 1; i < order.size(); i += 2)
                events.splice(events.end(), events, order[i]);
        } else {
            std::mt19937 random(7);
            std::shuffle(order.begin(), order.end(), random);
            for (const EventPos& it : order)
                events.splice(events.end(), events, it);
        }
    }
    for (auto _ : state) {
        int measures = 0;
        for (const CEvent& e : events)
            measures += e.IsMeasure();
        for (auto it = events.rbegin(); it != events.rend(); ++it)
            measures += it->IsMeasure();
        benchmark::DoNotOptimize(measures);
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(events.size()) * 2);
}
BENCHMARK(BM_WalkEvents)->Arg(0)->Arg(1)->Arg(2);

// Songs made again on the slots of songs just freed, as importing a folder of tabs does:
// 46 lists of 576 notes. "per_event" is the time of one AppendEvent.
void BM_RemakeSongs(benchmark::State& state)
{
    std::vector<CEventList> lists(46);
    for (auto _ : state) {
        for (CEventList& list : lists)
            for (uint32_t i = 0; i < 576; ++i)
                AppendEvent(list, 42, i);
        state.PauseTiming();
        for (CEventList& list : lists)
            list.clear();
        state.ResumeTiming();
    }
    state.counters["per_event"] = benchmark::Counter(46.0 * 576, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RemakeSongs);

} // namespace
