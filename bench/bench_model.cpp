// Saving and loading a large song.

#include "rondeldoc.h"

#include <benchmark/benchmark.h>

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

} // namespace
