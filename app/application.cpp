#include "application.h"

#include "appwiring.h"
#include "autosave.h"
#include "audioformats.h"
#include "dialogreport.h"
#include "importformats.h"
#include "mainframe.h"
#include "midiformats.h"
#include "viewformats.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

void RegisterAppFormats()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    RegisterImportFormats();
    RegisterMidiFormats();
    RegisterAudioFormats();
    RegisterViewFormats();
    AttachAppToLayers();
}

int KadenzoMain(int argc, char** argv)
{
    // Qt refuses to start without a private runtime folder; a bare CI shell may have none.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QString dir = QDir::tempPath() + QStringLiteral("/kadenzo-runtime-%1").arg(QString::number(getuid()));
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", dir.toLocal8Bit());
    }
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillon"));
    QApplication::setApplicationName(QStringLiteral("Kadenzo"));
    QApplication::setApplicationVersion(QStringLiteral(KADENZO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("kadenzo"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Drum tab player, converter and notation editor"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption quitAfterLoad(QStringLiteral("quit-after-load"),
                                     QStringLiteral("Open the files, show the window once, then exit (for tests)."));
    parser.addOption(quitAfterLoad);
    QCommandLineOption play(QStringLiteral("play"), QStringLiteral("Start playing the song once it is open."));
    parser.addOption(play);
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Files to open."), QStringLiteral("[files...]"));
    parser.process(app);

    RegisterAppFormats();

    CMainFrame frame;
    // A check run has nobody to click a message box away: messages go to stderr then.
    CDialogReport dialogs(&frame);
    CStderrReport printed;
    SetUserReport(parser.isSet(quitAfterLoad) ? static_cast<CUserReport*>(&printed) : &dialogs);
    // Nor the MIDI import options: a check run takes the defaults.
    frame.SetAskMidiOptions(!parser.isSet(quitAfterLoad));
    if (parser.isSet(quitAfterLoad)) // a batch check: nothing to save, nobody to ask
        frame.SetSaveQuestion([](const QString&) { return int(QMessageBox::Discard); });
    const QStringList files = parser.positionalArguments();
    int opened = 0;
    for (const QString& f : files) {
        if (frame.OpenFile(f))
            ++opened;
        else if (parser.isSet(quitAfterLoad))
            fprintf(stderr, "kadenzo: could not open %s\n", qPrintable(f));
    }
    if (opened == 0)
        frame.NewDocument();
    frame.show();
    if (parser.isSet(play) && opened > 0)
        QTimer::singleShot(0, &frame, &CMainFrame::OnPlay);
    if (parser.isSet(quitAfterLoad))
        QTimer::singleShot(0, &app, &QApplication::quit);
    // A check run neither autosaves nor asks about an earlier run's songs.
    std::unique_ptr<CAppAutosave> autosave;
    if (!parser.isSet(quitAfterLoad)) {
        autosave = std::make_unique<CAppAutosave>(frame);
        QTimer::singleShot(0, &frame, [&autosave] { autosave->OfferRecovery(); });
    }
    const int rc = app.exec();
    autosave.reset(); // a clean close: the autosaved copies go
    SetUserReport(nullptr);
    // A check run fails when none of the files it was given opened.
    if (parser.isSet(quitAfterLoad) && !files.isEmpty() && opened == 0)
        return rc ? rc : 1;
    return rc;
}
