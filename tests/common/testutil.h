#pragma once
// Small helpers shared by the test executables.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>
#include <string>

// Real tabs and MIDI files written by other people live outside the repository. The folder is
// read at run time from KADENZO_CORPUS_DIR, else the one configured at build time
// (../shared/corpus beside the source tree); suites over it skip when it is absent.
inline QString CorpusDir()
{
    const QString fromEnv = qEnvironmentVariable("KADENZO_CORPUS_DIR");
    return fromEnv.isEmpty() ? QStringLiteral(KADENZO_CORPUS_DIR) : fromEnv;
}
inline bool HaveCorpus()
{
    const QDir dir(CorpusDir());
    return dir.exists(QStringLiteral("tabs")) || dir.exists(QStringLiteral("midi"));
}
inline std::string CorpusMissingReason()
{
    return "the outside corpus is not at " + CorpusDir().toStdString() + " (set KADENZO_CORPUS_DIR to its folder)";
}
// In a test body: skips the test, with the reason, when the outside corpus is absent.
#define SKIP_WITHOUT_CORPUS()                                                                                           \
    do {                                                                                                               \
        if (!HaveCorpus())                                                                                             \
            GTEST_SKIP() << CorpusMissingReason();                                                                     \
    } while (false)

// The project's own small tabs, MIDI files and other inputs (tests/fixtures).
inline QString FixturesDir() { return QStringLiteral(KADENZO_FIXTURES_DIR); }

// Suites that run over a whole folder of songs run once over the project's own fixtures and
// once over the outside corpus (skipped when absent).
enum class ESongSource { Fixtures, Corpus };
inline QString SongSourceDir(ESongSource source)
{
    return source == ESongSource::Corpus ? CorpusDir() : FixturesDir();
}
// Readable test names in CTest's list instead of the enum's bytes.
inline void PrintTo(ESongSource source, std::ostream* os)
{
    *os << (source == ESongSource::Corpus ? "the outside corpus" : "the project's fixtures");
}
inline std::string SongSourceName(const ::testing::TestParamInfo<ESongSource>& info)
{
    return info.param == ESongSource::Corpus ? "Corpus" : "Fixtures";
}
#define SKIP_WITHOUT_SOURCE(source)                                                                                     \
    do {                                                                                                               \
        if ((source) == ESongSource::Corpus)                                                                           \
            SKIP_WITHOUT_CORPUS();                                                                                     \
    } while (false)

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
