#include "commands.h"

#include "rondeldoc.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <sys/stat.h>

namespace {
std::vector<SCommand>& Registry()
{
    static std::vector<SCommand> commands;
    return commands;
}

std::vector<std::function<void()>>& SetupHooks()
{
    static std::vector<std::function<void()>> hooks;
    return hooks;
}
}

CCommandRegistrar::CCommandRegistrar(const char* name, const char* usage, std::function<int(const QStringList&)> run)
{
    Registry().push_back({name, usage, std::move(run)});
}

CCommandRegistrar::CCommandRegistrar(std::function<void()> setupHook)
{
    SetupHooks().push_back(std::move(setupHook));
}

const std::vector<SCommand>& Commands()
{
    std::vector<SCommand>& commands = Registry();
    std::sort(commands.begin(), commands.end(),
              [](const SCommand& a, const SCommand& b) { return std::strcmp(a.name, b.name) < 0; });
    return commands;
}

void RunCommandSetupHooks()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    for (const auto& hook : SetupHooks())
        hook();
}

QString FileMessage(const QString& path, const QString& reasonOrError)
{
    QString reason = reasonOrError;
    const QString quoted = QLatin1Char('"') + path + QLatin1Char('"');
    // The core names the file in its own sentence; here the file comes first.
    static const struct
    {
        const char* before;
        const char* after;
        const char* prefix;
    } kForms[] = {
        {"Cannot write ", ": ", "cannot write: "},
        {"Cannot open ", ": ", "cannot open: "},
        {"Cannot read ", ". ", ""},
        {"Cannot open ", "", "cannot open"},
        {"", " holds no song.", "holds no song"},
    };
    for (const auto& form : kForms) {
        const QString head = QLatin1String(form.before) + quoted + QLatin1String(form.after);
        if (*form.after && reason.startsWith(head)) {
            reason = QLatin1String(form.prefix) + reason.mid(head.size());
            break;
        }
        if (!*form.after && reason == head) {
            reason = QLatin1String(form.prefix);
            break;
        }
    }
    if (!reason.isEmpty() && reason.front().isUpper() && !reason.startsWith(QLatin1String("MIDI")))
        reason[0] = reason[0].toLower();
    if (reason.endsWith(QLatin1Char('.')))
        reason.chop(1);
    return QStringLiteral("%1: %2").arg(path, reason);
}

int FailFile(const QString& path, const QString& reasonOrError)
{
    return Fail(FileMessage(path, reasonOrError));
}

QString InputProblem(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return info.isSymLink() ? QStringLiteral("is a link to a file that does not exist") : QStringLiteral("no such file");
    if (info.isDir())
        return QStringLiteral("is a folder, not a file");
    if (!info.isFile())
        return QStringLiteral("is not a regular file");
    if (!info.isReadable())
        return QStringLiteral("cannot open: Permission denied");
    return {};
}

bool IsSameFile(const QString& a, const QString& b)
{
    const QString ca = QFileInfo(a).canonicalFilePath();
    if (!ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath())
        return true;
    struct stat sa, sb;
    return ::stat(QFile::encodeName(a).constData(), &sa) == 0 && ::stat(QFile::encodeName(b).constData(), &sb) == 0 &&
           sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

QString ReadableFormats()
{
    QStringList exts = DocFormats::OpenExtensions();
    exts << QStringLiteral(".kdz");
    exts.sort();
    exts.removeDuplicates();
    return exts.join(QStringLiteral(", "));
}

QString WritableFormats()
{
    return ConvertTargetExtensions().join(QStringLiteral(", "));
}
