// kadenzo-cli's two programs: the quick one runs the song-file commands on its own and hands
// drawing, printing and sound to kadenzo-cli-full, beside it in the build and in
// libexec/kadenzo once installed, with the command line unchanged.

#include "testutil.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QByteArray kTab = "Rock\n\n"
                        "HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n"
                        "SD|----o-------o---|----o-------o---|\n"
                        "BD|o-------o-o-----|o-------o-o-----|\n";

class CliPrograms : public testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(WriteAll(Path(QStringLiteral("rock.txt")), kTab)); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    // A copy of a built program at dir/name (folders made as needed).
    bool CopyProgram(const QString& from, const QString& to) const
    {
        QDir().mkpath(QFileInfo(to).path());
        return QFile::copy(from, to) && QFile::setPermissions(to, QFile::permissions(from));
    }
    SRunResult RunProgram(const QString& program, const QStringList& args) const
    {
        QProcess p;
        p.start(program, QStringList{QStringLiteral("--settings"), Path(QStringLiteral("settings.ini"))} + args);
        p.waitForFinished(120000);
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }
    static QString FullProgram() { return QFileInfo(QStringLiteral(KADENZO_CLI)).dir().filePath(QStringLiteral("kadenzo-cli-full")); }
    QTemporaryDir m_dir;
};

TEST_F(CliPrograms, SongFileCommandsNeedNothingButTheQuickProgram)
{
    const QString alone = Path(QStringLiteral("alone/kadenzo-cli"));
    ASSERT_TRUE(CopyProgram(QStringLiteral(KADENZO_CLI), alone));
    const QString tab = Path(QStringLiteral("rock.txt"));
    for (const char* ext : {"mid", "kdz", "txt"}) {
        SCOPED_TRACE(ext);
        const QString mine = Path(QStringLiteral("alone.") + QLatin1String(ext));
        const QString full = Path(QStringLiteral("full.") + QLatin1String(ext));
        ASSERT_EQ(RunProgram(alone, {QStringLiteral("convert"), tab, mine}).exitCode, 0);
        ASSERT_EQ(RunProgram(FullProgram(), {QStringLiteral("convert"), tab, full}).exitCode, 0);
        EXPECT_EQ(ReadAll(mine), ReadAll(full)); // the same file, byte for byte
    }
    const SRunResult dump = RunProgram(alone, {QStringLiteral("dump"), tab});
    ASSERT_EQ(dump.exitCode, 0);
    EXPECT_EQ(dump.out, RunProgram(FullProgram(), {QStringLiteral("dump"), tab}).out);
    EXPECT_EQ(RunProgram(alone, {QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("mid"), QStringLiteral("--out-dir"),
                                 Path(QStringLiteral("batch")), tab})
                  .exitCode,
              0);
    EXPECT_TRUE(QFileInfo::exists(Path(QStringLiteral("batch/rock.mid"))));

    // Without the full program, drawing and sound fail with a reason and write nothing.
    for (const QStringList& args : {QStringList{QStringLiteral("render"), tab, Path(QStringLiteral("out.png"))},
                                    QStringList{QStringLiteral("convert"), tab, Path(QStringLiteral("out.wav"))},
                                    QStringList{QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("pdf"), tab}}) {
        SCOPED_TRACE(args.join(QLatin1Char(' ')).toStdString());
        const SRunResult r = RunProgram(alone, args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_TRUE(r.err.contains("kadenzo-cli-full")) << r.err.constData();
    }
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("out.png"))));
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("out.wav"))));
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("rock.pdf"))));
}

TEST_F(CliPrograms, TheInstalledLayoutFindsTheFullProgram)
{
    const QString bin = Path(QStringLiteral("usr/bin/kadenzo-cli"));
    ASSERT_TRUE(CopyProgram(QStringLiteral(KADENZO_CLI), bin));
    ASSERT_TRUE(CopyProgram(FullProgram(), Path(QStringLiteral("usr/libexec/kadenzo/kadenzo-cli-full"))));
    const SRunResult r = RunProgram(bin, {QStringLiteral("render"), Path(QStringLiteral("rock.txt")), Path(QStringLiteral("rock.png"))});
    EXPECT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_TRUE(ReadAll(Path(QStringLiteral("rock.png"))).startsWith("\x89PNG"));
}

TEST_F(CliPrograms, HandedOverCommandLinesKeepTheirOptionsAndExitCodes)
{
    // --settings reaches the full program: the device chosen lands in this settings file.
    const SRunResult choose = RunCli({QStringLiteral("devices"), QStringLiteral("--choose"), QStringLiteral("0")},
                                     Path(QStringLiteral("settings.ini")));
    EXPECT_EQ(choose.exitCode, 0) << choose.err.constData();
    EXPECT_TRUE(QFileInfo::exists(Path(QStringLiteral("settings.ini"))));

    const SRunResult missing = RunCli({QStringLiteral("render"), Path(QStringLiteral("none.txt")), Path(QStringLiteral("none.png"))});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("none.txt: no such file")) << missing.err.constData();
    EXPECT_EQ(RunCli({QStringLiteral("render"), Path(QStringLiteral("rock.txt"))}).exitCode, 2);
    EXPECT_EQ(RunCli({QStringLiteral("no-such-command")}).exitCode, 2);

    // The help lists the commands of both programs.
    const SRunResult help = RunCli({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command : {"  dump FILE", "  convert IN OUT", "  render FILE", "  play FILE", "  audio FILE"})
        EXPECT_TRUE(help.out.contains(command)) << command;
}

} // namespace
