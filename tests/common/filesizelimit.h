#pragma once
// Runs a save as if the disk were nearly full, without root: in a forked child whose files
// may not grow past a limit (RLIMIT_FSIZE, with SIGXFSZ ignored, so writes past it fail with
// EFBIG exactly where a full disk fails with ENOSPC).

#include <QByteArray>
#include <QString>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

struct SLimitedSave
{
    bool finished = false; // the child ran the save and reported back
    bool ok = false;       // what the save returned
    QString error;
};

inline SLimitedSave SaveWithFileSizeLimit(long maxBytes, const std::function<bool(QString* error)>& save)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid < 0)
        return {};
    if (pid == 0) {
        ::close(fds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(maxBytes), rlim_t(maxBytes)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        QString error;
        const bool ok = save(&error);
        const QByteArray report = QByteArray(ok ? "1" : "0") + error.toUtf8();
        [[maybe_unused]] const ssize_t n = ::write(fds[1], report.constData(), size_t(report.size()));
        ::_exit(0);
    }
    ::close(fds[1]);
    QByteArray report;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    SLimitedSave result;
    result.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0 && !report.isEmpty();
    result.ok = report.startsWith('1');
    result.error = QString::fromUtf8(report.mid(1));
    return result;
}
