// Saving and loading a large song.

#include "clipboard.h"
#include "rondeldoc.h"
#include "textexport.h"

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

} // namespace
