// Whole-song output: PNG, PDF pages and the command line.

#include "testutil.h"
#include "trackrender.h"
#include "viewtest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using Render = ViewTest;

TEST_F(Render, PdfHasThePagesOfThePrintLayout)
{
    CSongBuilder song = Song();
    for (int i = 0; i < 40; ++i)
        song.RockBar();
    song.Close();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("song.pdf"));
    QString error;
    int pages = 0;
    ASSERT_TRUE(WriteSongPdf(m_doc, path, &error, QStringLiteral("a4"), &pages)) << error.toStdString();
    EXPECT_EQ(pages, 2);
    const QByteArray pdf = ReadAll(path);
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_EQ(pdf.count("/Type /Page\n") + pdf.count("/Type /Page\r") + pdf.count("/Type /Page "), 2);
}

TEST_F(Render, PngIsAsTallAsTheLayout)
{
    Song().RockBar().RockBar().Close();
    QSize size;
    Layout(800, EDisplayMode::Edit, &size);
    QString error;
    const QImage image = RenderSongImage(m_doc, 800, std::nullopt, &error);
    EXPECT_EQ(image.width(), 800);
    EXPECT_EQ(image.height(), size.height());
}

TEST_F(Render, AFailedWriteLeavesNoFile)
{
    Song().RockBar().Close();
    QString error;
    EXPECT_FALSE(WriteSongPng(m_doc, QStringLiteral("/nonexistent-dir/x.png"), 800, std::nullopt, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(QStringLiteral("/nonexistent-dir/x.png")));
}

class RenderCli : public ViewTest
{
protected:
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QString Settings() const { return m_dir.filePath(QStringLiteral("settings.ini")); }
    QString SongFile()
    {
        CSongBuilder song = Song();
        for (int i = 0; i < 9; ++i)
            song.RockBar();
        song.RepeatPrev(9, 1).Close();
        const QString path = Path(QStringLiteral("song.kdz"));
        QString error;
        EXPECT_TRUE(m_doc.OnSaveDocument(path, &error)) << error.toStdString();
        return path;
    }
    QTemporaryDir m_dir;
};

TEST_F(RenderCli, LayoutPrintsOneEntryPerMeasure)
{
    const QString song = SongFile();
    const SRunResult r = RunCli({QStringLiteral("layout"), song, QStringLiteral("--width"), QStringLiteral("700")}, Settings());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QJsonArray bars = QJsonDocument::fromJson(r.out).array();
    ASSERT_EQ(bars.size(), 11);
    const QJsonObject first = bars[0].toObject();
    EXPECT_EQ(first[QStringLiteral("bar")].toInt(), 1);
    EXPECT_EQ(first[QStringLiteral("x")].toInt(), 80);
    EXPECT_EQ(first[QStringLiteral("width")].toInt(), 298);
    EXPECT_EQ(first[QStringLiteral("T")].toInt(), 98);
    EXPECT_TRUE(first[QStringLiteral("systemStart")].toBool());
    EXPECT_TRUE(first[QStringLiteral("pageStart")].toBool());
    EXPECT_EQ(bars[9].toObject()[QStringLiteral("width")].toInt(), 102);
    EXPECT_EQ(bars[9].toObject()[QStringLiteral("type")].toInt(), 101);
    // 700 units: two bars a line.
    EXPECT_TRUE(bars[2].toObject()[QStringLiteral("systemStart")].toBool());
    EXPECT_FALSE(bars[1].toObject()[QStringLiteral("systemStart")].toBool());

    const SRunResult print = RunCli({QStringLiteral("layout"), song, QStringLiteral("--mode"), QStringLiteral("print")}, Settings());
    ASSERT_EQ(print.exitCode, 0) << print.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(print.out).array()[0].toObject()[QStringLiteral("x")].toInt(), 40);
}

TEST_F(RenderCli, RenderWritesPngAndPdf)
{
    const QString song = SongFile();
    const QString png = Path(QStringLiteral("out.png"));
    SRunResult r = RunCli({QStringLiteral("render"), song, png, QStringLiteral("--width"), QStringLiteral("900")}, Settings());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QImage image(png);
    EXPECT_EQ(image.width(), 900);
    EXPECT_GT(image.height(), 300);
    const QString pdf = Path(QStringLiteral("out.pdf"));
    r = RunCli({QStringLiteral("render"), song, pdf}, Settings());
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(ReadAll(pdf).startsWith("%PDF"));
    EXPECT_TRUE(r.err.contains("1 page"));
    r = RunCli({QStringLiteral("convert"), song, Path(QStringLiteral("c.png"))}, Settings());
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(QImage(Path(QStringLiteral("c.png"))).isNull());
}

TEST_F(RenderCli, BadOptionsAreUsageErrors)
{
    const QString song = SongFile();
    EXPECT_EQ(RunCli({QStringLiteral("layout"), song, QStringLiteral("--mode"), QStringLiteral("fancy")}, Settings()).exitCode, 2);
    EXPECT_EQ(RunCli({QStringLiteral("layout"), song, QStringLiteral("--width"), QStringLiteral("x")}, Settings()).exitCode, 2);
    EXPECT_EQ(RunCli({QStringLiteral("render"), song, Path(QStringLiteral("a.gif"))}, Settings()).exitCode, 2);
    EXPECT_EQ(RunCli({QStringLiteral("render"), Path(QStringLiteral("missing.kdz")), Path(QStringLiteral("a.png"))}, Settings()).exitCode, 1);
    EXPECT_FALSE(QFile::exists(Path(QStringLiteral("a.png"))));
}

} // namespace
