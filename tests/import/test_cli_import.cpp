// kadenzo-cli with text tabs: dump shows the import, convert writes the song, a fatal import
// fails without writing anything.

#include "testutil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {
const QByteArray kTab = "Song: Test Beat\nTempo: 100\n\n"
                        "HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n"
                        "SD|----o-------o---|----o-------o---|\n"
                        "BD|o-------o-------|o-------o-o-----|\n";

TEST(CliImport, DumpShowsTheImport)
{
    QTemporaryDir dir;
    const QString tab = dir.filePath(QStringLiteral("beat.txt"));
    ASSERT_TRUE(WriteAll(tab, kTab));
    const SRunResult r = RunCli({QStringLiteral("dump"), tab});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QJsonObject o = QJsonDocument::fromJson(r.out).object();
    const QJsonObject imp = o[QStringLiteral("import")].toObject();
    EXPECT_EQ(imp[QStringLiteral("barChar")].toString(), QStringLiteral("|"));
    EXPECT_EQ(imp[QStringLiteral("tickChar")].toString(), QStringLiteral("-"));
    EXPECT_EQ(imp[QStringLiteral("tabType")].toInt(), 10);
    EXPECT_EQ(imp[QStringLiteral("ticksPerChar")].toInt(), 2);
    EXPECT_EQ(imp[QStringLiteral("timeMode")].toInt(), 0);
    EXPECT_EQ(imp[QStringLiteral("blockCount")].toInt(), 1);
    EXPECT_EQ(imp[QStringLiteral("barTotal")].toInt(), 2);
    for (const char* key : {"timeAbove", "timeOutside", "upperCaseAccents", "bogusFirstTick", "splitLongMeasures",
                            "roundToCommon", "timeSigInMeasures", "timeSigOwnMeasures"})
        EXPECT_TRUE(imp[QLatin1String(key)].isBool()) << key;
    const QJsonArray lines = imp[QStringLiteral("lines")].toArray();
    ASSERT_EQ(lines.size(), 7); // six lines and the sentinel
    EXPECT_EQ(lines[0].toObject()[QStringLiteral("type")].toString(), QStringLiteral("HEADER"));
    EXPECT_EQ(lines[2].toObject()[QStringLiteral("type")].toString(), QStringLiteral("BLANK"));
    EXPECT_EQ(lines[3].toObject()[QStringLiteral("type")].toString(), QStringLiteral("STAFF LINE"));
    EXPECT_EQ(lines[3].toObject()[QStringLiteral("no")].toInt(), 4);
    const QJsonArray labels = imp[QStringLiteral("labels")].toArray();
    ASSERT_EQ(labels.size(), 3);
    const QJsonObject hh = labels[0].toObject();
    EXPECT_EQ(hh[QStringLiteral("label")].toString(), QStringLiteral("HH"));
    const QJsonObject x = hh[QStringLiteral("entries")].toArray()[0].toObject();
    EXPECT_EQ(x[QStringLiteral("char")].toString(), QStringLiteral("x"));
    EXPECT_EQ(x[QStringLiteral("instrument")].toInt(), 42);
    EXPECT_EQ(x[QStringLiteral("kind")].toInt(), 2);
    EXPECT_TRUE(imp[QStringLiteral("issues")].isArray());
    // The document: header, tempo and scroll size from the import.
    EXPECT_EQ(o[QStringLiteral("header")].toArray()[0].toString(), QStringLiteral("Test Beat"));
    EXPECT_EQ(o[QStringLiteral("songTempo")].toInt(), 100);
    EXPECT_EQ(o[QStringLiteral("sizeDoc")].toArray()[1].toInt(), 400);
    // The first bar carries the song tempo after the open's fix-ups; a closing bar ends it.
    const QJsonArray events = o[QStringLiteral("events")].toArray();
    EXPECT_EQ(events[0].toObject()[QStringLiteral("tempo")].toInt(), 100);
    EXPECT_EQ(events.last().toObject()[QStringLiteral("type")].toInt(), 100);
}

TEST(CliImport, ConvertWritesASong)
{
    QTemporaryDir dir;
    const QString tab = dir.filePath(QStringLiteral("beat.tab"));
    const QString kdz = dir.filePath(QStringLiteral("beat.kdz"));
    ASSERT_TRUE(WriteAll(tab, kTab));
    const SRunResult r = RunCli({QStringLiteral("convert"), tab, kdz});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_GT(ReadAll(kdz).size(), 100);
}

TEST(CliImport, FatalImportFailsWithoutOutput)
{
    QTemporaryDir dir;
    const QString tab = dir.filePath(QStringLiteral("words.txt"));
    const QString kdz = dir.filePath(QStringLiteral("words.kdz"));
    ASSERT_TRUE(WriteAll(tab, "This is a letter, not a tab.\nRegards\n"));
    const SRunResult r = RunCli({QStringLiteral("convert"), tab, kdz});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(QFile::exists(kdz));
    EXPECT_TRUE(r.err.contains("Import failed: Cannot find valid bar separators, expecting '|' or 'I'"));
}
} // namespace
