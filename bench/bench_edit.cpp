// One click edit on a 2000-bar song: from the mouse press to the repainted view (the note goes
// in on the first click and out on the next, so every iteration is the same work).
// Run offscreen: QT_QPA_PLATFORM=offscreen build/bench/bench_edit
#include "application.h"
#include "drumlayout.h"
#include "mainframe.h"
#include "rondeldoc.h"
#include "rondelview.h"
#include "track.h"
#include "viewrenderer.h"

#include <QApplication>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {
QApplication& App()
{
    static int argc = 1;
    static char name[] = "bench_edit";
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

QString Write2000Bars(const QTemporaryDir& dir)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.DeleteContents();
    for (int b = 0; b < 2000; ++b) {
        AppendEvent(doc.Events(), EventType::Bar | (b == 0 ? TempoBits(120) : 0), TimeSigWord(4, 4));
        for (uint32_t pos = 0; pos < 384; pos += 48) {
            AppendEvent(doc.Events(), 42, pos);
            if (pos == 96 || pos == 288)
                AppendEvent(doc.Events(), 38, pos);
        }
    }
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
    const QString path = dir.filePath(QStringLiteral("long.kdz"));
    doc.OnSaveDocument(path);
    return path;
}

void BM_ClickEditOn2000Bars(benchmark::State& state)
{
    App();
    QTemporaryDir dir;
    CMainFrame frame;
    frame.SetSaveQuestion([](const QString&) { return int(QMessageBox::Discard); });
    frame.resize(1000, 700);
    frame.show();
    if (!frame.OpenFile(Write2000Bars(dir))) {
        state.SkipWithError("the song did not open");
        return;
    }
    QApplication::processEvents();
    CRondelView* view = frame.ActiveView();
    const CEvent* bar = CTrack::Of(view->Doc())->FindBar(1);
    const SBarGeometry g = CTrack::GeometryOf(*bar);
    // The bass drum at tick 4 of bar 1: an empty place.
    const QPointF at(g.x + view->Renderer().Lead(*bar) + 4 * 8 + 4, g.staffTop + 40 - 4 * DrumLayout::Position(36));
    for (auto _ : state) {
        QMouseEvent press(QEvent::MouseButtonPress, at, view->viewport()->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(view->viewport(), &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, view->viewport()->mapToGlobal(at), Qt::LeftButton, Qt::NoButton, {});
        QApplication::sendEvent(view->viewport(), &release);
        view->viewport()->repaint();
    }
    state.counters["events"] = double(view->Doc().Events().size());
}
BENCHMARK(BM_ClickEditOn2000Bars)->Unit(benchmark::kMillisecond);
}
