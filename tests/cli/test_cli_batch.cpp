// kadenzo-cli convert --to: many files and folders in one call, on worker processes; and the
// dump of big songs, written as it goes.

#include "testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QByteArray kRockTab = "Rock\n\n"
                            "HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n"
                            "SD|----o-------o---|----o-------o---|\n"
                            "BD|o-------o-o-----|o-------o-o-----|\n";
const QByteArray kShuffleTab = "Shuffle\n\n"
                               "HH|x-xx-xx-xx-xx-xx-x|\n"
                               "SD|---o-----o-----o--|\n"
                               "BD|o-----o-----o-----|\n";
// Text with no staff in it: the importer refuses it.
const QByteArray kDamaged = "This is not a tab at all.\nJust some words\n";

class CliBatch : public testing::Test
{
protected:
    void SetUp() override
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("in/more"));
        ASSERT_TRUE(WriteAll(In(QStringLiteral("rock.txt")), kRockTab));
        ASSERT_TRUE(WriteAll(In(QStringLiteral("more/shuffle.txt")), kShuffleTab));
        ASSERT_TRUE(WriteAll(In(QStringLiteral("damaged.txt")), kDamaged));
        ASSERT_TRUE(WriteAll(In(QStringLiteral("notes.pdf")), "not a song")); // not an input
    }
    QString In(const QString& name) const { return m_dir.filePath(QStringLiteral("in/") + name); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    SRunResult Run(const QStringList& args) const { return RunCli(args, m_dir.filePath(QStringLiteral("settings.ini"))); }
    QTemporaryDir m_dir;
};

QJsonObject Entry(const QJsonArray& files, const QString& endsWith)
{
    for (const QJsonValue& v : files)
        if (v.toObject()[QStringLiteral("input")].toString().endsWith(endsWith))
            return v.toObject();
    return {};
}

TEST_F(CliBatch, AFolderWithADamagedTabConvertsTheRestAndSaysWhichFailed)
{
    const SRunResult r = Run({QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("mid"), QStringLiteral("--out-dir"),
                              Path(QStringLiteral("out")), QStringLiteral("--report"), Path(QStringLiteral("report.json")),
                              m_dir.filePath(QStringLiteral("in"))});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(ReadAll(Path(QStringLiteral("out/rock.mid"))).left(4), QByteArray("MThd"));
    EXPECT_EQ(ReadAll(Path(QStringLiteral("out/more/shuffle.mid"))).left(4), QByteArray("MThd")) << "sub-folders are kept";
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("out/damaged.mid"))));
    EXPECT_TRUE(r.err.contains(("kadenzo-cli: " + In(QStringLiteral("damaged.txt")) + ": ").toUtf8())) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("2 of 3 files converted")) << r.err.toStdString();

    const QJsonObject report = QJsonDocument::fromJson(ReadAll(Path(QStringLiteral("report.json")))).object();
    const QJsonArray files = report[QStringLiteral("files")].toArray();
    ASSERT_EQ(files.size(), 3);
    EXPECT_EQ(report[QStringLiteral("converted")].toInt(), 2);
    EXPECT_EQ(report[QStringLiteral("failed")].toInt(), 1);
    const QJsonObject rock = Entry(files, QStringLiteral("rock.txt"));
    EXPECT_EQ(rock[QStringLiteral("status")].toString(), QStringLiteral("converted"));
    EXPECT_EQ(rock[QStringLiteral("bars")].toInt(), 2);
    EXPECT_EQ(rock[QStringLiteral("issues")].toInt(), 0);
    const QJsonObject damaged = Entry(files, QStringLiteral("damaged.txt"));
    EXPECT_EQ(damaged[QStringLiteral("status")].toString(), QStringLiteral("failed"));
    EXPECT_FALSE(damaged[QStringLiteral("message")].toString().isEmpty());
    EXPECT_TRUE(r.err.contains(damaged[QStringLiteral("message")].toString().toUtf8()));
}

TEST_F(CliBatch, EveryWorkerCountWritesTheSameFilesAsOneByOne)
{
    ASSERT_EQ(Run({QStringLiteral("convert"), In(QStringLiteral("rock.txt")), Path(QStringLiteral("single.mid"))}).exitCode, 0);
    for (const QString& jobs : {QStringLiteral("1"), QStringLiteral("3")}) {
        const QString out = Path(QStringLiteral("out-") + jobs);
        const SRunResult r = Run({QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("mid"), QStringLiteral("-j"), jobs,
                                  QStringLiteral("--out-dir"), out, In(QStringLiteral("rock.txt")), In(QStringLiteral("more/shuffle.txt"))});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(ReadAll(out + QStringLiteral("/rock.mid")), ReadAll(Path(QStringLiteral("single.mid")))) << jobs.toStdString();
        EXPECT_EQ(ReadAll(out + QStringLiteral("/shuffle.mid")).left(4), QByteArray("MThd"));
    }
}

TEST_F(CliBatch, WithoutAnOutputFolderTheFilesGoBesideTheirInputsButNeverOverThem)
{
    ASSERT_EQ(Run({QStringLiteral("convert"), In(QStringLiteral("rock.txt")), In(QStringLiteral("rock.kdz"))}).exitCode, 0);
    const QByteArray kdz = ReadAll(In(QStringLiteral("rock.kdz")));
    // rock.txt and rock.kdz would both become rock.txt / rock.kdz: one is the input itself.
    const SRunResult r = Run({QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("kdz"), In(QStringLiteral("rock.txt")),
                              In(QStringLiteral("rock.kdz")), In(QStringLiteral("more/shuffle.txt"))});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("the output would replace the input")) << r.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(In(QStringLiteral("more/shuffle.kdz"))));
    EXPECT_EQ(ReadAll(In(QStringLiteral("rock.kdz"))).size(), kdz.size());
}

TEST_F(CliBatch, BadOptionsAreUsageErrors)
{
    EXPECT_EQ(Run({QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("mp3"), In(QStringLiteral("rock.txt"))}).exitCode, 2);
    EXPECT_EQ(Run({QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("mid"), QStringLiteral("-j"), QStringLiteral("0"),
                   In(QStringLiteral("rock.txt"))}).exitCode, 2);
    EXPECT_EQ(Run({QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("mid")}).exitCode, 2);
    const SRunResult missing = Run({QStringLiteral("convert"), QStringLiteral("--to"), QStringLiteral("mid"), Path(QStringLiteral("nowhere"))});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(missing.err.contains("nowhere")) << missing.err.toStdString();
}

// The dump is written event by event; it is still exactly the indented JSON of its content.
TEST(CliDump, TheStreamedDumpIsTheIndentedJsonOfWhatItHolds)
{
    QTemporaryDir dir;
    const QString tab = dir.filePath(QStringLiteral("rock.txt"));
    ASSERT_TRUE(WriteAll(tab, kRockTab));
    const QString kdz = dir.filePath(QStringLiteral("new.kdz"));
    ASSERT_EQ(RunCli({QStringLiteral("new"), kdz}).exitCode, 0);
    for (const QString& file : {tab, kdz, CorpusDir() + QStringLiteral("/midi/tabtomidi__two_bar_repetition.mid")}) {
        if (!QFileInfo::exists(file))
            continue;
        const SRunResult r = RunCli({QStringLiteral("dump"), file}, dir.filePath(QStringLiteral("settings.ini")));
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(r.out, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << file.toStdString() << ": " << error.errorString().toStdString();
        EXPECT_EQ(r.out, doc.toJson(QJsonDocument::Indented)) << file.toStdString();
        EXPECT_GT(doc.object()[QStringLiteral("events")].toArray().size(), 1) << file.toStdString();
    }
}

} // namespace
