// Notation speed: a repaint of the visible part of a long song, drawing a whole song, and the
// layout pass alone.

#include "catalogue.h"
#include "rondeldoc.h"
#include "track.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <memory>

namespace {
void EnsureApp()
{
    static std::unique_ptr<QGuiApplication> app = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "bench_view";
        static char* argv[] = {name, nullptr};
        return std::make_unique<QGuiApplication>(argc, argv);
    }();
}

// A song of `bars` measures mixing rock eighths, 16th fills, triplets and flams.
std::unique_ptr<CRondelDoc> MakeSong(int bars)
{
    auto doc = std::make_unique<CRondelDoc>();
    CEventList& ev = doc->Events();
    for (int b = 0; b < bars; ++b) {
        AppendEvent(ev, EventType::Bar | (b == 0 ? TempoBits(120) : 0), TimeSigWord(4, 4));
        switch (b % 4) {
        case 3:
            for (int t = 0; t < 16; t += 2)
                AppendEvent(ev, 38 | (t == 0 ? EventBits::FlamOrPM : 0), uint32_t(t) * 12);
            for (int i = 0; i < 6; ++i)
                AppendEvent(ev, uint32_t(i < 3 ? 48 : 45) | EventBits::Triplet, 192 + 16 * uint32_t(i));
            AppendEvent(ev, 49, 288);
            AppendEvent(ev, 36, 288);
            break;
        default:
            for (int t = 0; t < 32; t += 4) {
                AppendEvent(ev, 42 | (t % 8 == 0 ? EventBits::Accent : 0), uint32_t(t) * 12);
                if (t == 0 || t == 20)
                    AppendEvent(ev, 36, uint32_t(t) * 12);
                if (t == 8 || t == 24)
                    AppendEvent(ev, 38, uint32_t(t) * 12);
            }
        }
    }
    AppendEvent(ev, EventType::Bar, TimeSigWord(4, 4));
    doc->m_pTrack = std::make_unique<CTrack>(*doc);
    return doc;
}

// Layout plus drawing of the part of a 500-bar song a 1200 x 900 window shows.
void BM_RepaintVisible500(benchmark::State& state)
{
    EnsureApp();
    auto doc = MakeSong(500);
    CTrack& track = *CTrack::Of(*doc);
    QImage image(1200, 900, QImage::Format_ARGB32_Premultiplied);
    SDrawTarget target;
    target.width = 1200;
    QSize size;
    track.Draw(target, &size);
    const int top = size.height() / 2;
    target.visible = QRect(0, top, 1200, 900);
    for (auto _ : state) {
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.translate(0, -top);
        target.painter = &painter;
        benchmark::DoNotOptimize(track.Draw(target, &size));
    }
}
BENCHMARK(BM_RepaintVisible500)->Unit(benchmark::kMillisecond);

// Layout plus drawing of every system of a 500-bar song.
void BM_DrawAll500(benchmark::State& state)
{
    EnsureApp();
    auto doc = MakeSong(500);
    CTrack& track = *CTrack::Of(*doc);
    QImage image(1200, 900, QImage::Format_ARGB32_Premultiplied);
    SDrawTarget target;
    target.width = 1200;
    for (auto _ : state) {
        QPainter painter(&image);
        target.painter = &painter;
        benchmark::DoNotOptimize(track.Draw(target));
    }
}
BENCHMARK(BM_DrawAll500)->Unit(benchmark::kMillisecond);

// The layout pass alone.
void BM_Layout(benchmark::State& state)
{
    EnsureApp();
    auto doc = MakeSong(int(state.range(0)));
    CTrack& track = *CTrack::Of(*doc);
    SDrawTarget target;
    target.width = 1200;
    for (auto _ : state)
        benchmark::DoNotOptimize(track.Draw(target));
}
BENCHMARK(BM_Layout)->Arg(500)->Arg(5000)->Unit(benchmark::kMillisecond);
} // namespace
