// kadenzo-cli and the user's files: a full disk keeps the old file for every output format,
// convert never writes over its input, and every failure names the file and the reason.

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class CliFiles : public testing::Test
{
protected:
    void SetUp() override
    {
        // A tab long enough that every output form is well past the size limit below.
        QByteArray tab = "Song: Safe Save\n\n";
        for (int block = 0; block < 60; ++block)
            tab += "HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n"
                   "SD|----o-------o---|----o-------o---|\n"
                   "BD|o-------o-------|o-------o-------|\n\n";
        ASSERT_TRUE(WriteAll(Path(QStringLiteral("song.txt")), tab));
        ASSERT_EQ(Run({QStringLiteral("convert"), Path(QStringLiteral("song.txt")), Path(QStringLiteral("song.kdz"))}).exitCode, 0);
    }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    SRunResult Run(const QStringList& args) const { return RunCli(args, Path(QStringLiteral("settings.ini"))); }
    QTemporaryDir m_dir;
};

// kadenzo-cli run with its files limited to maxBytes, as on a nearly full disk.
SRunResult RunCliWithFileSizeLimit(const QStringList& args, long maxBytes)
{
    QProcess p;
    p.setChildProcessModifier([maxBytes] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{rlim_t(maxBytes), rlim_t(maxBytes)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    p.start(QStringLiteral(KADENZO_CLI), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(), p.readAllStandardError()};
}

TEST_F(CliFiles, AFullDiskFailsForEveryFormatAndKeepsTheOldFile)
{
    for (const char* ext : {"kdz", "txt", "mid", "pdf", "png", "wav"}) {
        SCOPED_TRACE(ext);
        const QString out = Path(QStringLiteral("out.") + QLatin1String(ext));
        const QByteArray old = "an older file that must survive";
        ASSERT_TRUE(WriteAll(out, old));
        const SRunResult r = RunCliWithFileSizeLimit(
            {QStringLiteral("--settings"), Path(QStringLiteral("settings.ini")), QStringLiteral("convert"), Path(QStringLiteral("song.kdz")), out},
            4096);
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        EXPECT_EQ(ReadAll(out), old);
        // Without a SoundFont the wave export stops before writing anything.
        if (QLatin1String(ext) != QLatin1String("wav") || !r.err.contains("SoundFont")) {
            EXPECT_TRUE(r.err.contains(QStringLiteral("kadenzo-cli: %1: cannot write: File too large").arg(out).toUtf8()))
                << r.err.toStdString();
        }
    }
    EXPECT_EQ(QDir(m_dir.path()).entryList({QStringLiteral("*out*")}, QDir::Files | QDir::Hidden).size(), 6);
}

TEST_F(CliFiles, ConvertNeverWritesOverItsInput)
{
    const QString tab = Path(QStringLiteral("song.txt"));
    const QByteArray original = ReadAll(tab);
    ASSERT_TRUE(QFile::link(tab, Path(QStringLiteral("link.txt"))));
    ASSERT_EQ(::link(QFile::encodeName(tab).constData(), QFile::encodeName(Path(QStringLiteral("hard.txt"))).constData()), 0);
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("sub")));
    const QString dotted = Path(QStringLiteral("sub/../song.txt"));
    for (const auto& [in, out] : {std::pair{tab, tab}, {tab, dotted}, {Path(QStringLiteral("link.txt")), tab},
                                  {tab, Path(QStringLiteral("hard.txt"))}}) {
        SCOPED_TRACE(qPrintable(in + QStringLiteral(" -> ") + out));
        const SRunResult r = Run({QStringLiteral("convert"), in, out});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, QStringLiteral("kadenzo-cli: %1: is the input file; write the converted song to another file\n").arg(out).toUtf8());
        EXPECT_EQ(ReadAll(tab), original);
    }
    const QString mid = Path(QStringLiteral("song.mid"));
    ASSERT_EQ(Run({QStringLiteral("convert"), tab, mid}).exitCode, 0);
    const QByteArray midBytes = ReadAll(mid);
    EXPECT_EQ(Run({QStringLiteral("convert"), mid, mid}).exitCode, 1);
    EXPECT_EQ(ReadAll(mid), midBytes);
    // A copy is another file.
    ASSERT_TRUE(QFile::copy(tab, Path(QStringLiteral("copy.txt"))));
    EXPECT_EQ(Run({QStringLiteral("convert"), Path(QStringLiteral("copy.txt")), tab}).exitCode, 0);
}

TEST_F(CliFiles, EveryFailureNamesTheFileAndTheReason)
{
    const QString song = Path(QStringLiteral("song.kdz"));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir(QStringLiteral("folder.txt")));
    const QString folder = Path(QStringLiteral("folder.txt"));
    const QString missing = Path(QStringLiteral("missing.txt"));
    const QString notes = Path(QStringLiteral("notes.ini"));
    ASSERT_TRUE(WriteAll(notes, "[General]\n"));
    const QString fifo = Path(QStringLiteral("take.wav"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    struct SCase
    {
        QStringList args;
        int exitCode;
        QString err;
    } cases[] = {
        {{QStringLiteral("dump"), missing}, 1, missing + QStringLiteral(": no such file")},
        {{QStringLiteral("dump"), folder}, 1, folder + QStringLiteral(": is a folder, not a file")},
        {{QStringLiteral("convert"), folder, Path(QStringLiteral("x.kdz"))}, 1, folder + QStringLiteral(": is a folder, not a file")},
        {{QStringLiteral("convert"), song, Path(QStringLiteral("sub"))}, 2,
         Path(QStringLiteral("sub")) + QStringLiteral(": the output needs a file extension; kadenzo-cli writes .kdz, .mid, .pdf, .png, .txt, .wav")},
        {{QStringLiteral("convert"), song, Path(QStringLiteral("x.doc"))}, 2,
         Path(QStringLiteral("x.doc")) + QStringLiteral(": cannot convert to .doc files; kadenzo-cli writes .kdz, .mid, .pdf, .png, .txt, .wav")},
        {{QStringLiteral("convert"), song, folder}, 1, folder + QStringLiteral(": is a folder; name the file to write")},
        {{QStringLiteral("convert"), song, Path(QStringLiteral("no/such/x.mid"))}, 1,
         Path(QStringLiteral("no/such/x.mid")) + QStringLiteral(": cannot write: No such file or directory")},
        {{QStringLiteral("dump"), notes}, 1,
         notes + QStringLiteral(": not a song file; kadenzo-cli reads .kdz, .mid, .tab, .txt")},
        {{QStringLiteral("render"), song, folder + QStringLiteral("/../song.kdz")}, 2,
         folder + QStringLiteral("/../song.kdz: render writes .png or .pdf files")},
        {{QStringLiteral("play"), song, QStringLiteral("--tempo"), QStringLiteral("0")}, 2,
         QStringLiteral("--tempo must be a number from 1 to 500 (beats per minute); leave it out to play the song's own tempi")},
        {{QStringLiteral("play"), song, QStringLiteral("--tempo"), QStringLiteral("fast")}, 2,
         QStringLiteral("--tempo must be a number from 1 to 500 (beats per minute); leave it out to play the song's own tempi")},
        {{QStringLiteral("play"), song, QStringLiteral("--sync"), QStringLiteral("70000")}, 2,
         QStringLiteral("--sync must be a number from 0 to 65535 (hundredths of a second)")},
        {{QStringLiteral("compare-all"), song}, 1, song + QStringLiteral(": is a file, not a folder")},
        {{QStringLiteral("audio"), fifo}, 1, fifo + QStringLiteral(": is not a regular file")},
        {{QStringLiteral("audio"), QStringLiteral("/dev/zero")}, 1, QStringLiteral("/dev/zero: is not a regular file")},
        {{QStringLiteral("play"), song, QStringLiteral("--audio"), folder}, 1, folder + QStringLiteral(": is a folder, not a file")},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(qPrintable(c.args.join(QLatin1Char(' '))));
        const SRunResult r = Run(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode);
        EXPECT_EQ(r.err, (QStringLiteral("kadenzo-cli: ") + c.err + QLatin1Char('\n')).toUtf8());
    }
}

TEST_F(CliFiles, HelpListsOptionsAndFormatsAndVersionPrintsTheVersion)
{
    const SRunResult version = Run({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("kadenzo-cli ")) << version.out.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^kadenzo-cli \\d+\\.\\d+")).match(QString::fromUtf8(version.out)).hasMatch());

    const SRunResult help = Run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* text : {"--tempo BPM", "1 to 500", "--snap16", "--no-triplets", "--width N", "--paper", "--sync N",
                             "writes: .kdz .mid .txt .wav .png .pdf", "reads: .wav .mp3", "Song files (FILE, IN): .kdz, .mid, .tab, .txt",
                             "--version"})
        EXPECT_TRUE(help.out.contains(text)) << text;
    const SRunResult unknown = Run({QStringLiteral("--frobnicate")});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err, QByteArray("kadenzo-cli: unknown option --frobnicate (see kadenzo-cli --help)\n"));
}

} // namespace
