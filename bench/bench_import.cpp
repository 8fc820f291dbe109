// Importing text tabs: the whole corpus of real tabs, and one synthetic tab of a few MB.
// Reported: bytes per second, and the median time of one corpus file.

#include "report.h"
#include "rondeldoc.h"
#include "tabimporter.h"

#include <QDir>
#include <QFile>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace {
std::vector<std::string> CorpusTabs()
{
    std::vector<std::string> tabs;
    const QDir dir(QStringLiteral(KADENZO_CORPUS_DIR "/tabs"));
    for (const QString& name : dir.entryList({QStringLiteral("*.txt"), QStringLiteral("*.tab")}, QDir::Files)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray b = f.readAll();
            tabs.emplace_back(b.constData(), size_t(b.size()));
        }
    }
    return tabs;
}

// A song of many staves as tabbers write them: header, count lines, remarks, a key, repeats.
std::string SyntheticTab(size_t minBytes)
{
    std::string tab = "Song: Synthetic\nBand: Benchmark\nTempo: 120 bpm\n\n";
    static const char* const staves[] = {
        "   1 e + a 2 e + a 3 e + a 4 e + a  1 e + a 2 e + a 3 e + a 4 e + a\n"
        "C |X---------------|----------------|\n"
        "HH|--x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n"
        "SD|----o-------o---|----o-------o-oo|\n"
        "BD|o-------o-o-----|o-------o-o-----|\n\n",
        "Verse                                x4\n"
        "HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|x-x-x-x-X-x-x-x-|\n"
        "SD|----o-------o---|----o-------o---|----o-------o---|----o--g----o---|\n"
        "T1|----------------|----------------|----------------|-----------oo---|\n"
        "FT|----------------|----------------|----------------|-------------oo-|\n"
        "BD|o-------o-o-----|o-------o-o-----|o-------o-o-----|o-------o-o-----|\n\n",
        "Ride|x--x--x--x--x--x--x--x--x--x--x--x--|  ./.  |\n"
        "SD  |------o-----------o-----------o-----|       |\n"
        "BD  |o-----------o-----------o-----------|       |\n\n",
    };
    size_t i = 0;
    while (tab.size() < minBytes)
        tab += staves[i++ % 3];
    return tab;
}

// The document is handed back so that destroying the song is not timed as importing it.
int ImportOnce(const std::string& text, std::vector<std::unique_ptr<CRondelDoc>>& keep)
{
    keep.push_back(std::make_unique<CRondelDoc>());
    CTabImporter imp;
    imp.ReadTabBytes(text);
    return imp.ImportTab(*keep.back());
}

void BM_ImportCorpus(benchmark::State& state)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    const std::vector<std::string> tabs = CorpusTabs();
    size_t bytes = 0;
    for (const std::string& t : tabs)
        bytes += t.size();
    std::vector<double> perFile;
    std::vector<std::unique_ptr<CRondelDoc>> docs;
    for (auto _ : state) {
        for (const std::string& t : tabs) {
            const auto start = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(ImportOnce(t, docs));
            perFile.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        }
        state.PauseTiming();
        docs.clear();
        state.ResumeTiming();
    }
    std::nth_element(perFile.begin(), perFile.begin() + long(perFile.size() / 2), perFile.end());
    state.counters["files"] = double(tabs.size());
    state.counters["median_us_per_file"] = perFile.empty() ? 0 : perFile[perFile.size() / 2];
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}
BENCHMARK(BM_ImportCorpus)->Unit(benchmark::kMillisecond);

void BM_ImportSynthetic(benchmark::State& state)
{
    CRecordingReport report;
    CScopedUserReport scope(&report);
    const std::string tab = SyntheticTab(size_t(state.range(0)) << 20);
    std::vector<std::unique_ptr<CRondelDoc>> docs;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ImportOnce(tab, docs));
        state.PauseTiming();
        docs.clear();
        state.ResumeTiming();
    }
    state.counters["MB"] = double(tab.size()) / (1 << 20);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(tab.size()));
}
BENCHMARK(BM_ImportSynthetic)->Arg(4)->Unit(benchmark::kMillisecond);
} // namespace
