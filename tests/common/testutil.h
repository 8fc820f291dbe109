#pragma once
// Small helpers shared by the test executables.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

inline QString CorpusDir() { return QStringLiteral(KADENZO_CORPUS_DIR); }
inline QString FixturesDir() { return QStringLiteral(KADENZO_FIXTURES_DIR); }

inline QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

inline bool WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Little-endian byte builders for expected file contents.
inline QByteArray U16(uint16_t v)
{
    QByteArray b;
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
    return b;
}
inline QByteArray U32(uint32_t v) { return U16(uint16_t(v)) + U16(uint16_t(v >> 16)); }

struct SRunResult
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs kadenzo-cli with the given arguments and a private settings file.
inline SRunResult RunCli(const QStringList& args, const QString& settingsFile = QString())
{
    QProcess p;
    QStringList all;
    if (!settingsFile.isEmpty())
        all << QStringLiteral("--settings") << settingsFile;
    all << args;
    p.start(QStringLiteral(KADENZO_CLI), all);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
            p.readAllStandardError()};
}
