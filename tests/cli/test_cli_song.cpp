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

TEST_F(Cli, DumpOfATabListsEveryLineInQtsIndentedForm)
{
    // The tab's lines are written one at a time; the text must still be what Qt prints for the
    // whole tree. A title that looks like the dump's own inner workings stays a title.
    QByteArray tab = "Song: \x01streamed array 0\nTempo: 100\n\n";
    for (int block = 0; block < 30; ++block)
        tab += "HH|x-x-x-x-x-x-x-x-|\nSD|----o-------o---|\nBD|o-------o-------|\n\n";
    ASSERT_TRUE(WriteAll(Path(QStringLiteral("song.txt")), tab));
    const SRunResult r = RunCli({QStringLiteral("dump"), Path(QStringLiteral("song.txt"))}, Settings());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonDocument parsed = QJsonDocument::fromJson(r.out);
    ASSERT_TRUE(parsed.isObject()) << r.out.left(400).toStdString();
    EXPECT_TRUE(r.out == parsed.toJson(QJsonDocument::Indented));
    const QJsonObject import = parsed.object()[QStringLiteral("import")].toObject();
    const QJsonArray lines = import[QStringLiteral("lines")].toArray();
    const QList<QByteArray> written = tab.split('\n');
    ASSERT_EQ(lines.size(), written.size()); // with the importer's closing empty line
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QJsonObject line = lines[i].toObject();
        EXPECT_EQ(line[QStringLiteral("no")].toInt(), i + 1);
        EXPECT_EQ(line[QStringLiteral("text")].toString(), QString::fromLatin1(written[i])) << "line " << i + 1;
    }
    EXPECT_EQ(import[QStringLiteral("header")].toObject()[QStringLiteral("song")].toString(), QStringLiteral("\x01streamed array 0"));
    EXPECT_EQ(parsed.object()[QStringLiteral("events")].toArray().size(), 30 * (1 + 8 + 2 + 2) + 1); // bar, notes, closing bar
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
