// The timing pass and the MIDI file writer on a 2000-bar song with repeat groups, alternate
// endings and measure repeats. "per_bar" is the time for one measure of the song list.

#include "midi.h"
#include "report.h"
#include "rondeldoc.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kBars = 2000;

// Blocks of 8 measures: a repeated 2-bar group, a group with two endings, a plain bar and a
// measure repeat of it. Every bar holds a rock beat in 8ths with a 16th fill on the snare.
void BuildSong(CRondelDoc& doc)
{
    CEventList& events = doc.Events();
    const auto beat = [&](uint32_t word1, uint32_t word2) {
        AppendEvent(events, EventType::Bar | word1, TimeSigWord(4, 4) | word2);
        for (uint32_t pos = 0; pos < 384; pos += 48) {
            AppendEvent(events, 42, pos);
            if (pos % 192 == 0)
                AppendEvent(events, 36, pos);
            if (pos % 192 == 96)
                AppendEvent(events, 38, pos);
        }
        AppendEvent(events, 38 | EventBits::Ghost, 312);
        AppendEvent(events, 38 | EventBits::FlamOrPM, 336);
    };
    for (int block = 0; block < kBars / 8; ++block) {
        beat(block == 0 ? TempoBits(120) : 0, EventBits::RepeatGroupStart);
        beat(0, EventBits::RepeatGroupEnd);
        beat(0, EventBits::RepeatGroupStart);
        beat(0, 0);
        beat(0, 1u << EventBits::AltEndShift);
        beat(0, 2u << EventBits::AltEndShift);
        beat(0, 0);
        AppendEvent(events, EventType::RepeatPrevMeasures, RepeatPrevWord(1, 1));
    }
    AppendEvent(events, EventType::Bar, TimeSigWord(4, 4));
}

void PerBar(benchmark::State& state)
{
    state.counters["per_bar"] = benchmark::Counter(double(kBars), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_TimingPass(benchmark::State& state)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CRondelDoc doc;
    BuildSong(doc);
    CMidi midi(doc);
    for (auto _ : state)
        midi.ComputeBarTimes();
    PerBar(state);
}
BENCHMARK(BM_TimingPass)->Unit(benchmark::kMicrosecond);

void BM_WriteMidiFile(benchmark::State& state)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CRondelDoc doc;
    BuildSong(doc);
    CMidi midi(doc);
    size_t bytes = 0;
    for (auto _ : state) {
        const QByteArray file = midi.MidiFileBytes();
        bytes = size_t(file.size());
        benchmark::DoNotOptimize(file.constData());
    }
    PerBar(state);
    state.counters["file_bytes"] = double(bytes);
}
BENCHMARK(BM_WriteMidiFile)->Unit(benchmark::kMicrosecond);

void BM_RenderPlayBar(benchmark::State& state)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    CRondelDoc doc;
    BuildSong(doc);
    CMidi midi(doc);
    midi.BeginPass(RENDER_PLAY);
    EventPos node = doc.Events().begin();
    int total = 0;
    for (auto _ : state) {
        node = midi.RenderBar(node, total);
        if (node == doc.Events().end()) {
            midi.BeginPass(RENDER_PLAY);
            node = doc.Events().begin();
        }
    }
}
BENCHMARK(BM_RenderPlayBar);

} // namespace
