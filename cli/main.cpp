// kadenzo-cli: Kadenzo's core without a display.

#include "commands.h"

#include "importformats.h"
#include "midiformats.h"
#include "report.h"
#include "rondeldoc.h"
#include "settings.h"
#ifdef KADENZO_CLI_FULL
#include "audioformats.h"
#include "viewformats.h"

#include <QGuiApplication>
#endif

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <memory>

namespace {
// Prints each text at once and keeps it for the JSON outputs.
class CCliReport : public CUserReport
{
public:
    void Message(const QString& text) override
    {
        m_messages << text;
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
    bool Question(const QString& text) override
    {
        m_messages << text;
        std::fprintf(stderr, "%s [no]\n", text.toLocal8Bit().constData());
        return false;
    }
    QStringList m_messages;
};

CCliReport g_report;

void RegisterFormats()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    RegisterImportFormats();
    RegisterMidiFormats();
#ifdef KADENZO_CLI_FULL
    RegisterAudioFormats();
    RegisterViewFormats();
#endif
    RunCommandSetupHooks();
}

// The command line as started, for handing it over unchanged.
std::vector<char*> g_arguments;

void PrintHelp()
{
    RegisterFormats();
    std::printf("Usage: kadenzo-cli [--settings FILE.ini] COMMAND ARGS...\n"
                "       kadenzo-cli --help | --version\n\n"
                "  --settings FILE.ini   keep the settings in this file instead of the user's\n\n"
                "Commands:\n");
    for (const SCommand& c : Commands())
        std::printf("  %s\n", c.usage);
    std::printf("\nSong files (FILE, IN): %s, of up to %lld MB.\n"
                "Exit codes: 0 done, 1 failed (the reason is on stderr), 2 wrong arguments.\n",
                qPrintable(ReadableFormats()), static_cast<long long>(DocFormats::kMaxSongFileBytes >> 20));
}
}

QStringList CollectedMessages()
{
    return g_report.m_messages;
}

int UsageError(const QString& text)
{
    std::fprintf(stderr, "kadenzo-cli: %s\n", text.toLocal8Bit().constData());
    return 2;
}

#ifdef KADENZO_CLI_FULL
bool CanHandOver()
{
    return false;
}

int HandOver()
{
    return Fail(QStringLiteral("internal error: a command was handed over to the program that runs it"));
}
#else
bool CanHandOver()
{
    return true;
}

// kadenzo-cli-full sits beside kadenzo-cli in the build, in libexec/kadenzo once installed.
int HandOver()
{
    const QString here = QCoreApplication::applicationDirPath();
    QString full;
    for (const QString& dir : {here + QStringLiteral("/" KADENZO_CLI_FULL_DIR), here}) {
        full = dir + QStringLiteral("/kadenzo-cli-full");
        if (::access(QFile::encodeName(full).constData(), X_OK) == 0)
            break;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const QByteArray path = QFile::encodeName(QDir::cleanPath(full));
    std::vector<char*> argv = g_arguments;
    argv.push_back(nullptr);
    ::execv(path.constData(), argv.data());
    return Fail(QStringLiteral("cannot start %1, which draws, prints and plays: %2")
                    .arg(QString::fromLocal8Bit(path), QString::fromLocal8Bit(std::strerror(errno))));
}
#endif

int Fail(const QString& text)
{
    if (!text.isEmpty())
        std::fprintf(stderr, "kadenzo-cli: %s\n", text.toLocal8Bit().constData());
    return 1;
}

#ifdef KADENZO_CLI_FULL
namespace {
// Commands that never draw start without the GUI application object (its platform plugin
// and font configuration cost more than converting a tab): dump, new, and convert to
// anything but PNG or PDF.
bool NeedsDrawing(int argc, char** argv)
{
    int first = 1;
    while (first < argc && std::strncmp(argv[first], "--", 2) == 0)
        first += std::strcmp(argv[first], "--settings") == 0 ? 2 : 1;
    if (first >= argc)
        return true;
    const char* command = argv[first];
    if (std::strcmp(command, "dump") == 0 || std::strcmp(command, "new") == 0)
        return false;
    if (std::strcmp(command, "convert") != 0)
        return true;
    for (int i = first + 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]).toLower();
        if (a.endsWith(QLatin1String(".png")) || a.endsWith(QLatin1String(".pdf")) || a == QLatin1String("png") ||
            a == QLatin1String("pdf"))
            return true;
    }
    return false;
}
}
#endif

int main(int argc, char** argv)
{
    g_arguments.assign(argv, argv + argc);
    std::unique_ptr<QCoreApplication> application;
#ifdef KADENZO_CLI_FULL
    if (NeedsDrawing(argc, argv)) {
        // A GUI application object is needed for fonts when rendering PNG or PDF; the offscreen
        // platform keeps it usable without a display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            // Without it Qt warns on every run; a private folder of our own is what it wants.
            const QByteArray dir = QDir::tempPath().toLocal8Bit() + "/kadenzo-runtime-" + QByteArray::number(getuid());
            if (::mkdir(dir.constData(), 0700) == 0 || errno == EEXIST)
                qputenv("XDG_RUNTIME_DIR", dir);
        }
        application = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
#else
    application = std::make_unique<QCoreApplication>(argc, argv);
#endif
    QCoreApplication& app = *application;
    QCoreApplication::setOrganizationName(QStringLiteral("Quillon"));
    QCoreApplication::setApplicationName(QStringLiteral("Kadenzo"));
    SetUserReport(&g_report);

    QStringList args = app.arguments().mid(1);
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString opt = args.takeFirst();
        if (opt == QLatin1String("--help")) {
            if (CanHandOver())
                return HandOver(); // the help lists every command
            PrintHelp();
            return 0;
        }
        if (opt == QLatin1String("--version")) {
            std::printf("kadenzo-cli %s\n", KADENZO_VERSION);
            return 0;
        }
        if (opt == QLatin1String("--settings") && !args.isEmpty()) {
            SettingsStore::UseFile(args.takeFirst());
            continue;
        }
        return UsageError(QStringLiteral("unknown option %1 (see kadenzo-cli --help)").arg(opt));
    }
    if (args.isEmpty()) {
        if (CanHandOver())
            return HandOver();
        PrintHelp();
        return 2;
    }

    RegisterFormats();
    const QString name = args.takeFirst();
    for (const SCommand& c : Commands())
        if (name == QLatin1String(c.name))
            return c.run(args);
    if (CanHandOver())
        return HandOver();
    return UsageError(QStringLiteral("unknown command %1 (see kadenzo-cli --help)").arg(name));
}
