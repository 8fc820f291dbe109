// Whole-song output: PNG, PDF pages and the command line.

#include "report.h"
#include "testutil.h"
#include "trackrender.h"
#include "viewtest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>

#include <random>

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
    int laidOut = 0;
    const auto entries = LayoutSong(m_doc, 0, EDisplayMode::Print, &laidOut);
    EXPECT_EQ(laidOut, pages);
    EXPECT_EQ(entries.back().page, pages);
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

namespace {

// Songs of random words: every kind of event, odd time signatures, notes anywhere, all three
// modes and all track types; the pass must neither crash nor leave a note outside its bar.
TEST_F(Render, RandomSongsDrawWithoutFault)
{
    std::mt19937 rng(12345);
    auto pick = [&](uint32_t n) { return uint32_t(rng() % n); };
    CRecordingReport report;
    CScopedUserReport scoped(&report);
    const uint32_t types[] = {TrackType::Drums, TrackType::Bass4, TrackType::Bass6, TrackType::Guitar6, TrackType::Guitar7};
    QImage image(600, 400, QImage::Format_RGB32);
    for (int round = 0; round < 150; ++round) {
        CEventList& events = m_doc.Events();
        events.clear();
        m_doc.m_trackType = types[round % 5];
        m_doc.m_bThreePartCounting = round % 2;
        const int measures = 1 + int(pick(12));
        for (int i = 0; i < int(pick(3)); ++i) // strays before the first bar
            AppendEvent(events, 2 + pick(98), pick(40));
        for (int m = 0; m < measures; ++m) {
            const uint32_t word2 = pick(8) == 0 ? uint32_t(rng()) : TimeSigWord(1 + pick(12), 1u << pick(6)) | (rng() & 0x3FF0000);
            const uint32_t word1 = (rng() & 0x3FFFFF00) & ~EventBits::TextFollows;
            AppendEvent(events, (pick(6) == 0 ? EventType::RepeatPrevMeasures : EventType::Bar) | word1, word2);
            uint32_t pos = 0;
            const int notes = int(pick(40));
            for (int n = 0; n < notes; ++n) {
                pos += pick(4) == 0 ? 0 : pick(60);
                const uint32_t type = pick(10) == 0 ? EventType::Rest : 2 + pick(98);
                AppendEvent(events, type | (rng() & 0x3F00), pos | (rng() & EventBits::StringMask));
            }
        }
        AppendEvent(events, EventType::Bar, TimeSigWord(4, 4));
        for (EDisplayMode mode : {EDisplayMode::Edit, EDisplayMode::Playback, EDisplayMode::Print}) {
            QPainter painter(&image);
            SDrawTarget target;
            target.painter = &painter;
            target.width = 300 + int(pick(3000));
            target.mode = mode;
            target.printing = mode == EDisplayMode::Print && pick(2);
            target.page = 1 + int(pick(2));
            target.tabFormat = {bool(pick(2)), bool(pick(2)), bool(pick(2))};
            Track().Draw(target);
        }
        uint32_t length = 0;
        for (const auto& ev : m_doc.Events()) {
            if (ev.IsMeasure())
                length = ev.GetMeasurePositions();
            else
                ASSERT_LE(ev.GetPosition(), length);
        }
        int bar = 0;
        int tick = 0;
        std::vector<int> keys;
        int alternative = 0;
        for (int k = 0; k < 20; ++k) {
            const int x = int(pick(3000));
            const int y = int(pick(4000));
            Track().HitTestBarTick(x, y, &bar, &tick);
            Track().GetDrumKeysAtY(1 + int(pick(uint32_t(measures + 1))), y, &keys);
            Track().GetPitchAtY(1 + int(pick(uint32_t(measures + 1))), m_doc.m_trackType, y, &alternative);
        }
    }
}

} // namespace
