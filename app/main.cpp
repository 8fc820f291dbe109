// kadenzo: the desktop program.

#include "audioformats.h"
#include "dialogreport.h"
#include "importformats.h"
#include "mainframe.h"
#include "midiformats.h"
#include "viewformats.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillon"));
    QApplication::setApplicationName(QStringLiteral("Kadenzo"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Drum tab player, converter and notation editor"));
    parser.addHelpOption();
    QCommandLineOption quitAfterLoad(QStringLiteral("quit-after-load"),
                                     QStringLiteral("Open the files, show the window once, then exit (for tests)."));
    parser.addOption(quitAfterLoad);
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Files to open."), QStringLiteral("[files...]"));
    parser.process(app);

    RegisterImportFormats();
    RegisterMidiFormats();
    RegisterAudioFormats();
    RegisterViewFormats();

    CMainFrame frame;
    CDialogReport report(&frame);
    SetUserReport(&report);
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty())
        frame.NewDocument();
    for (const QString& f : files)
        frame.OpenFile(f);
    frame.show();
    if (parser.isSet(quitAfterLoad))
        QTimer::singleShot(0, &app, &QApplication::quit);
    const int rc = app.exec();
    SetUserReport(nullptr);
    return rc;
}
