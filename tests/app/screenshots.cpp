// Takes the README's screenshots: run under Xvfb,
//   xvfb-run -a -s "-screen 0 1400x900x24" build/tests/app/app_screenshots docs [song] [audio] [tab with issues]
// It opens the song (default: the bundled example), plays it for two seconds with the wave
// view on when an audio file is given, shows the issues of the last tab, and writes
// main-window grabs into the folder.
#include "application.h"
#include "importsheet.h"
#include "mainframe.h"
#include "panes.h"
#include "report.h"
#include "rondeldoc.h"
#include "rondelview.h"
#include "scopebar.h"
#include "tempodialogs.h"

#include <QApplication>
#include <QDockWidget>
#include <QListWidget>
#include <QElapsedTimer>
#include <QScreen>

#include <cstdio>

namespace {
void Wait(int msecs)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < msecs)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
}
bool Save(QWidget& w, const QString& path)
{
    // The whole screen, as a user would see it (Xvfb has no other windows).
    QPixmap shot = QApplication::primaryScreen()->grabWindow(0);
    if (shot.isNull() || shot.size().isEmpty())
        shot = w.grab();
    const bool ok = shot.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillon"));
    QApplication::setApplicationName(QStringLiteral("KadenzoScreenshots"));
    RegisterAppFormats();
    const QStringList args = app.arguments();
    const QString out = args.value(1, QStringLiteral("docs"));
    const QString song = args.value(2, QStringLiteral(KADENZO_SOURCE_DIR "/res/examples/rock_beat.txt"));
    const QString audio = args.value(3);
    const QString issueSong = args.value(4, song);
    CStderrReport report;
    SetUserReport(&report);

    CMainFrame frame;
    frame.setGeometry(QApplication::primaryScreen()->availableGeometry());
    frame.show();
    if (!frame.OpenFile(song))
        return 1;
    Wait(500);
    Save(frame, out + QStringLiteral("/kadenzo-tab.png"));

    if (!audio.isEmpty()) {
        frame.ActiveDocument()->m_audioFile = audio;
        frame.OnToggleWaveView();
        frame.findChild<QDockWidget*>(QStringLiteral("IndexBar"))->raise();
        frame.OnPlay();
        Wait(2500);
        Save(frame, out + QStringLiteral("/kadenzo-wave.png"));
        frame.OnStop();
    }

    if (issueSong != song && !frame.OpenFile(issueSong))
        return 1;
    frame.findChild<QDockWidget*>(QStringLiteral("IssueBar"))->raise();
    if (QListWidgetItem* chosen = frame.IssuePane()->item(std::min(2, frame.IssuePane()->count() - 1))) {
        frame.IssuePane()->setCurrentItem(chosen);
        emit frame.IssuePane()->itemClicked(chosen);
    }
    Wait(300);
    Save(frame, out + QStringLiteral("/kadenzo-issues.png"));

    // The user guide's pictures of the tools: each window by itself.
    auto saveWindow = [&out](QWidget& w, const char* name) {
        w.show();
        Wait(300);
        const QString path = out + QStringLiteral("/") + QLatin1String(name);
        std::printf("%s %s\n", w.grab().save(path) ? "wrote" : "could not write", qPrintable(path));
        w.hide();
    };
    if (!frame.OpenFile(song))
        return 1;
    frame.OnImportSheet();
    if (CImportSheet* sheet = frame.ImportSheet())
        saveWindow(*sheet, "guide-import-sheet.png");
    CBpmCounter counter(&frame);
    counter.StartCounting();
    for (int i = 0; i < 8; ++i)
        counter.Tap(1000 + 500 * i);
    saveWindow(counter, "guide-bpm-counter.png");
    counter.reject();
    CAutoTempoDialog autoTempo(SAutoTempo(), [] { return 120; }, &frame);
    saveWindow(autoTempo, "guide-auto-tempo.png");
    SetUserReport(nullptr);
    return 0;
}
