// kadenzo-cli render: a song taller than one image as numbered PNG pages.

#include "testutil.h"

#include <QDir>
#include <QFileInfo>
#include <QSize>

namespace {

// Width and height from a PNG's header chunk.
QSize PngSize(const QByteArray& png)
{
    if (png.size() < 24 || !png.startsWith("\x89PNG\r\n\x1a\n") || png.mid(12, 4) != "IHDR")
        return {};
    const auto be32 = [&](int at) {
        return int(uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 | uint32_t(uint8_t(png[at + 2])) << 8 |
                   uint8_t(png[at + 3]));
    };
    return {be32(16), be32(20)};
}

class CliRender : public testing::Test
{
protected:
    void SetUp() override
    {
        // 500 bars in blocks of four: every block starts a system of its own.
        QByteArray tab = "Long song\n\n";
        for (int block = 0; block < 125; ++block) {
            QByteArray hh = "HH|", sd = "SD|", bd = "BD|";
            for (int bar = 0; bar < 4; ++bar) {
                hh += "x-x-x-x-x-x-x-x-|";
                sd += "----o-------o---|";
                bd += "o-------o-o-----|";
            }
            tab += hh + "\n" + sd + "\n" + bd + "\n\n";
        }
        ASSERT_TRUE(WriteAll(Path(QStringLiteral("long.txt")), tab));
    }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    SRunResult Run(const QStringList& args) const { return RunCli(args, m_dir.filePath(QStringLiteral("settings.ini"))); }
    QTemporaryDir m_dir;
};

TEST_F(CliRender, ASongTallerThanOneImageIsWrittenAsNumberedPages)
{
    const SRunResult r = Run({QStringLiteral("render"), Path(QStringLiteral("long.txt")), Path(QStringLiteral("out.png"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("out.png"))));
    int pages = 0;
    int height = 0;
    while (QFileInfo::exists(Path(QStringLiteral("out-%1.png").arg(pages + 1)))) {
        const QSize size = PngSize(ReadAll(Path(QStringLiteral("out-%1.png").arg(++pages))));
        EXPECT_EQ(size.width(), 1200) << pages;
        EXPECT_GT(size.height(), 0) << pages;
        EXPECT_LE(size.height(), 32000) << pages;
        height += size.height();
    }
    EXPECT_GE(pages, 2);
    EXPECT_GT(height, 32000) << "together the pages hold the whole song";
    EXPECT_TRUE(r.err.contains(QStringLiteral("%1 pages").arg(pages).toUtf8())) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains(Path(QStringLiteral("out-%1.png").arg(pages)).toUtf8())) << r.err.toStdString();

    // One page on its own is the same picture.
    const SRunResult one = Run({QStringLiteral("render"), Path(QStringLiteral("long.txt")), Path(QStringLiteral("two.png")),
                                QStringLiteral("--page"), QStringLiteral("2")});
    ASSERT_EQ(one.exitCode, 0) << one.err.toStdString();
    EXPECT_EQ(ReadAll(Path(QStringLiteral("two.png"))), ReadAll(Path(QStringLiteral("out-2.png"))));

    const SRunResult beyond = Run({QStringLiteral("render"), Path(QStringLiteral("long.txt")), Path(QStringLiteral("x.png")),
                                   QStringLiteral("--page"), QString::number(pages + 1)});
    EXPECT_EQ(beyond.exitCode, 1);
    EXPECT_TRUE(beyond.err.contains(QStringLiteral("%1 pages").arg(pages).toUtf8())) << beyond.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("x.png"))));
}

TEST_F(CliRender, ASongThatFitsIsOneImageAsBefore)
{
    QByteArray tab = "Short\n\nHH|x-x-x-x-x-x-x-x-|\nBD|o-------o-------|\n";
    ASSERT_TRUE(WriteAll(Path(QStringLiteral("short.txt")), tab));
    const SRunResult r = Run({QStringLiteral("render"), Path(QStringLiteral("short.txt")), Path(QStringLiteral("s.png"))});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(PngSize(ReadAll(Path(QStringLiteral("s.png")))).width(), 1200);
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("s-1.png"))));
    EXPECT_EQ(Run({QStringLiteral("render"), Path(QStringLiteral("short.txt")), Path(QStringLiteral("p.png")), QStringLiteral("--page"),
                   QStringLiteral("1")}).exitCode, 0);
    EXPECT_EQ(ReadAll(Path(QStringLiteral("p.png"))), ReadAll(Path(QStringLiteral("s.png"))));
}

} // namespace
