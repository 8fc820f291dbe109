// kadenzo-cli: new, dump, convert, and its failures.

#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

class Cli : public testing::Test
{
protected:
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QString Settings() const { return m_dir.filePath(QStringLiteral("settings.ini")); }
    QTemporaryDir m_dir;
};

TEST_F(Cli, NewWritesTheNewSongFile)
{
    const SRunResult r = RunCli({QStringLiteral("new"), Path(QStringLiteral("a.kdz"))}, Settings());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QByteArray bytes = ReadAll(Path(QStringLiteral("a.kdz")));
    ASSERT_EQ(bytes.size(), 8 + 15 + 4 + 1 + 2 + 2 + 2 + 12 + 8 + 10 + 4);
    EXPECT_EQ(bytes.left(8), U32(500) + U32(2000));
}

TEST_F(Cli, DumpDescribesTheSong)
{
    ASSERT_EQ(RunCli({QStringLiteral("new"), Path(QStringLiteral("a.kdz"))}, Settings()).exitCode, 0);
    const SRunResult r = RunCli({QStringLiteral("dump"), Path(QStringLiteral("a.kdz"))}, Settings());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    EXPECT_EQ(o[QStringLiteral("trackType")].toInt(), 10);
    EXPECT_EQ(o[QStringLiteral("songTempo")].toInt(), 120);
    EXPECT_EQ(o[QStringLiteral("header")].toArray().size(), 15);
    EXPECT_EQ(o[QStringLiteral("sizeDoc")].toArray()[1].toInt(), 2000);
    const QJsonArray events = o[QStringLiteral("events")].toArray();
    ASSERT_EQ(events.size(), 2);
    const QJsonObject first = events[0].toObject();
    EXPECT_EQ(first[QStringLiteral("type")].toInt(), 100);
    EXPECT_EQ(first[QStringLiteral("bar")].toInt(), 1);
    EXPECT_EQ(first[QStringLiteral("tempo")].toInt(), 120);
    EXPECT_EQ(first[QStringLiteral("num")].toInt(), 4);
    EXPECT_EQ(first[QStringLiteral("word2")].toInteger(), 260);
    EXPECT_TRUE(first[QStringLiteral("text")].isNull());
    EXPECT_EQ(events[1].toObject()[QStringLiteral("bar")].toInt(), 2);
    EXPECT_TRUE(o[QStringLiteral("messages")].isArray());
}

TEST_F(Cli, ConvertKdzToKdzKeepsTheBytes)
{
    ASSERT_EQ(RunCli({QStringLiteral("new"), Path(QStringLiteral("a.kdz"))}, Settings()).exitCode, 0);
    const SRunResult r = RunCli({QStringLiteral("convert"), Path(QStringLiteral("a.kdz")), Path(QStringLiteral("b.KDZ"))}, Settings());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(ReadAll(Path(QStringLiteral("a.kdz"))), ReadAll(Path(QStringLiteral("b.KDZ"))));
}

TEST_F(Cli, DamagedInputFailsWithoutWritingOutput)
{
    ASSERT_EQ(RunCli({QStringLiteral("new"), Path(QStringLiteral("a.kdz"))}, Settings()).exitCode, 0);
    const QByteArray bytes = ReadAll(Path(QStringLiteral("a.kdz")));
    ASSERT_TRUE(WriteAll(Path(QStringLiteral("cut.kdz")), bytes.left(bytes.size() - 5)));
    const SRunResult r = RunCli({QStringLiteral("convert"), Path(QStringLiteral("cut.kdz")), Path(QStringLiteral("out.kdz"))}, Settings());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("damaged")) << r.err.toStdString();
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("out.kdz"))));
}

TEST_F(Cli, UsageErrorsExitTwo)
{
    EXPECT_EQ(RunCli({QStringLiteral("frobnicate")}, Settings()).exitCode, 2);
    EXPECT_EQ(RunCli({QStringLiteral("dump")}, Settings()).exitCode, 2);
    EXPECT_EQ(RunCli({QStringLiteral("convert"), QStringLiteral("a.kdz")}, Settings()).exitCode, 2);
    EXPECT_EQ(RunCli({QStringLiteral("dump"), Path(QStringLiteral("missing.kdz"))}, Settings()).exitCode, 1);
}

} // namespace
