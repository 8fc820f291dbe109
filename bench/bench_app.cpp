// Start-up to the first painted main window, and the time to open a 300-bar tab and paint it.
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bench/bench_app
#include "application.h"
#include "mainframe.h"
#include "rondeldoc.h"
#include "rondelview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMdiArea>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {
QApplication& App()
{
    static int argc = 1;
    static char name[] = "bench_app";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
    static bool registered = [] {
        RegisterAppFormats();
        return true;
    }();
    (void)registered;
    return app;
}

// Counts paint events that reach a widget.
class CPaintWatch : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++m_paints;
        return false;
    }
    int m_paints = 0;
};

void WaitForPaint(CPaintWatch& watch)
{
    QElapsedTimer t;
    t.start();
    while (watch.m_paints == 0 && t.elapsed() < 10000)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
}

// A 300-bar song: a text tab when a tab reader is registered, else a ".kdz".
QString Write300Bars(const QTemporaryDir& dir)
{
    if (DocFormats::FindOpen(QStringLiteral(".txt"))) {
        const QString path = dir.filePath(QStringLiteral("long.txt"));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("Long song\nTempo: 120\n\n");
        for (int block = 0; block < 75; ++block) {
            QByteArray hh = "HH|", sd = "SD|", bd = "BD|";
            for (int bar = 0; bar < 4; ++bar) {
                hh += "x-x-x-x-x-x-x-x-|";
                sd += "----o-------o---|";
                bd += "o-------o-o-----|";
            }
            f.write(hh + "\n" + sd + "\n" + bd + "\n\n");
        }
        return path;
    }
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.DeleteContents();
    for (int b = 0; b < 300; ++b) {
        AppendEvent(doc.Events(), EventType::Bar | (b == 0 ? TempoBits(120) : 0), TimeSigWord(4, 4));
        for (uint32_t pos = 0; pos < 384; pos += 48)
            AppendEvent(doc.Events(), 42, pos);
        AppendEvent(doc.Events(), 38, 96);
        AppendEvent(doc.Events(), 36, 0);
    }
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
    const QString path = dir.filePath(QStringLiteral("long.kdz"));
    doc.OnSaveDocument(path, nullptr);
    return path;
}
}

static void BM_StartupToFirstPaint(benchmark::State& state)
{
    App();
    for (auto _ : state) {
        CMainFrame frame;
        frame.NewDocument();
        CPaintWatch watch;
        frame.ActiveView()->viewport()->installEventFilter(&watch);
        frame.show();
        WaitForPaint(watch);
        if (watch.m_paints == 0)
            state.SkipWithError("the window never painted");
    }
}
BENCHMARK(BM_StartupToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(10);

static void BM_Open300BarTab(benchmark::State& state)
{
    App();
    QTemporaryDir dir;
    const QString path = Write300Bars(dir);
    CMainFrame frame;
    frame.show();
    QApplication::processEvents();
    state.SetLabel(path.endsWith(QLatin1String(".txt")) ? "text tab" : "kdz");
    for (auto _ : state) {
        if (!frame.OpenFile(path)) {
            state.SkipWithError("the song did not open");
            break;
        }
        CPaintWatch watch;
        frame.ActiveView()->viewport()->installEventFilter(&watch);
        WaitForPaint(watch);
        state.PauseTiming();
        frame.ActiveView()->viewport()->removeEventFilter(&watch);
        frame.MdiArea()->closeAllSubWindows();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_Open300BarTab)->Unit(benchmark::kMillisecond)->Iterations(10);

namespace {
// A text tab of about `bytes` bytes: blocks of four bars with a count line, each block's
// bars a little different so that the importer sees a real song.
QString WriteTabOfSize(const QTemporaryDir& dir, qint64 bytes)
{
    const QString path = dir.filePath(QStringLiteral("big-%1.txt").arg(bytes));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("Big song\nTempo: 120\n\n");
    static const char* const kSnare[] = {"----o-------o---|", "----o-------o-o-|", "----o---g---o---|", "----o-------oooo|"};
    int block = 0;
    while (f.size() < bytes) {
        QByteArray hh = "HH|", sd = "SD|", bd = "BD|";
        for (int bar = 0; bar < 4; ++bar) {
            hh += "x-x-x-x-x-x-x-x-|";
            sd += kSnare[(block + bar) % 4];
            bd += "o-------o-o-----|";
        }
        f.write("   1 + 2 + 3 + 4 + 1 + 2 + 3 + 4 + 1 + 2 + 3 + 4 + 1 + 2 + 3 + 4 +\n" + hh + "\n" + sd + "\n" + bd + "\n\n");
        ++block;
    }
    return path;
}

// Milliseconds from the open command to the first paint of the song's view.
double OpenAndPaint(CMainFrame& frame, const QString& path)
{
    QElapsedTimer t;
    t.start();
    if (!frame.OpenFile(path))
        return -1;
    CPaintWatch watch;
    frame.ActiveView()->viewport()->installEventFilter(&watch);
    WaitForPaint(watch);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    frame.ActiveView()->viewport()->removeEventFilter(&watch);
    frame.MdiArea()->closeAllSubWindows();
    QApplication::processEvents();
    return watch.m_paints ? ms : -1;
}
}

// Opening a big tab should cost in proportion to its size: the 8 MB tab against the 1 MB one
// in the same run (goal: at most 10 times).
static void BM_OpenBigTabScaling(benchmark::State& state)
{
    App();
    QTemporaryDir dir;
    const QString small = WriteTabOfSize(dir, 1 << 20);
    const QString big = WriteTabOfSize(dir, 8 << 20);
    CMainFrame frame;
    frame.show();
    QApplication::processEvents();
    double smallMs = 0, bigMs = 0;
    for (auto _ : state) {
        const double s = OpenAndPaint(frame, small);
        const double b = OpenAndPaint(frame, big);
        if (s < 0 || b < 0) {
            state.SkipWithError("the song did not open");
            return;
        }
        smallMs += s;
        bigMs += b;
    }
    const double n = double(state.iterations());
    state.counters["ms_1MB"] = smallMs / n;
    state.counters["ms_8MB"] = bigMs / n;
    state.counters["ratio_8MB_to_1MB"] = bigMs / smallMs;
}
BENCHMARK(BM_OpenBigTabScaling)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
