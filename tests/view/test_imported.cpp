// Imported tabs in the notation: the text under each block and whole corpus files.

#include "report.h"
#include "tabimporter.h"
#include "tabimportertext.h"
#include "testutil.h"
#include "trackrender.h"
#include "viewtest.h"

#include <QDir>

namespace {

class Imported : public ViewTest
{
protected:
    // Imports tab text into the test document the way opening a ".txt" file does.
    void Import(const char* text)
    {
        auto importer = std::make_unique<CTabImporter>();
        importer->ReadTabBytes(text);
        ASSERT_GE(importer->ImportTab(m_doc), 0) << importer->m_fatalMessage.toStdString();
        m_doc.m_bImported = 1;
        m_doc.m_pImport = std::move(importer);
        m_doc.FinishOpen(nullptr);
        m_doc.m_pTrack = std::make_unique<CTrack>(m_doc);
        CTrack::SetImportTextProvider(&CTabImporterText::ForDocument);
    }
    void TearDown() override
    {
        CTrack::SetImportTextProvider({});
        ViewTest::TearDown();
    }
};

TEST_F(Imported, EachBlockShowsItsLinesUnderItsFirstSystem)
{
    Import("Title line\n"
           "\n"
           "   first comment\n"
           "HH|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n"
           "SD|----o-------o---|----o-------o---|\n"
           "BD|o-------o-------|o-------o-------|\n"
           "\n"
           "HH|x-x-x-x-x-x-x-x-|\n"
           "BD|o-------o-------|\n");
    std::vector<SGlyph> glyphs;
    Track().m_glyphLog = &glyphs;
    QString error;
    RenderSongImage(m_doc, 1200, std::nullopt, &error);
    Track().m_glyphLog = nullptr;
    std::vector<std::pair<int, int>> lines; // (bar, line number)
    for (const SGlyph& g : glyphs)
        if (g.kind == EGlyph::ImportLine)
            lines.emplace_back(g.bar, g.value);
    // Block 1: its comment line and its three staff lines, under bar 1; block 2 under bar 3.
    const std::vector<std::pair<int, int>> expected = {{1, 3}, {1, 4}, {1, 5}, {1, 6}, {3, 8}, {3, 9}};
    EXPECT_EQ(lines, expected);
    EXPECT_TRUE(Bar(3).systemStart);
}

TEST_F(Imported, EveryBlockOfALongTabShowsItsOwnLines)
{
    // Blocks of one, two and three staff lines, some with a comment, each with bars on
    // several systems: the lines under a block are its own, up to the next block.
    QByteArray text = "Long song\n\n";
    std::vector<std::pair<int, int>> expected; // (bar, line number)
    int line = 3;
    int bar = 1;
    for (int block = 0; block < 12; ++block) {
        const int firstBar = bar;
        if (block % 3 == 1) {
            text += "   verse " + QByteArray::number(block) + "\n";
            expected.emplace_back(firstBar, line++);
        }
        const int staves = 1 + block % 3;
        const char* const labels[] = {"HH", "SD", "BD"};
        for (int s = 0; s < staves; ++s) {
            text += QByteArray(labels[s]) + "|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|x-x-x-x-x-x-x-x-|\n";
            expected.emplace_back(firstBar, line++);
        }
        text += "\n";
        ++line;
        bar += 3;
    }
    Import(text.constData());
    std::vector<SGlyph> glyphs;
    Track().m_glyphLog = &glyphs;
    QString error;
    RenderSongImage(m_doc, 400, std::nullopt, &error);
    Track().m_glyphLog = nullptr;
    std::vector<std::pair<int, int>> lines;
    for (const SGlyph& g : glyphs)
        if (g.kind == EGlyph::ImportLine)
            lines.emplace_back(g.bar, g.value);
    EXPECT_EQ(lines, expected);
}

TEST_F(Imported, WithoutTheImporterNoRoomIsReserved)
{
    Import("HH|x-x-x-x-x-x-x-x-|\n"
           "BD|o-------o-------|\n");
    QSize withText;
    Layout(1200, EDisplayMode::Edit, &withText);
    m_doc.m_pImport.reset();
    QSize without;
    Layout(1200, EDisplayMode::Edit, &without);
    EXPECT_EQ(withText.height() - without.height(), 10 + 2 * 13);
}

// Every real tab (the project's own, and the outside corpus when present) lays out, draws and
// prints without trouble.
class ImportedTabs : public Imported, public ::testing::WithParamInterface<ESongSource>
{
};

TEST_P(ImportedTabs, Render)
{
    SKIP_WITHOUT_SOURCE(GetParam());
    const QDir dir(SongSourceDir(GetParam()) + QStringLiteral("/tabs"));
    const QStringList files = dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
    ASSERT_FALSE(files.isEmpty());
    int rendered = 0;
    for (const QString& name : files) {
        auto importer = std::make_unique<CTabImporter>();
        ASSERT_TRUE(importer->ReadTabFile(dir.filePath(name)));
        CRecordingReport report;
        CScopedUserReport scoped(&report);
        CRondelDoc doc;
        if (importer->ImportTab(doc) < 0)
            continue;
        doc.m_bImported = 1;
        doc.m_pImport = std::move(importer);
        if (!doc.FinishOpen(nullptr))
            continue;
        doc.m_pTrack = std::make_unique<CTrack>(doc);
        CTrack::SetImportTextProvider(&CTabImporterText::ForDocument);
        QString error;
        const QImage image = RenderSongImage(doc, 1200, std::nullopt, &error);
        EXPECT_TRUE(!image.isNull() || !error.isEmpty()) << name.toStdString();
        QSize size;
        SDrawTarget print;
        print.printing = true;
        print.page = SDrawTarget::kCountPages;
        EXPECT_GE(CTrack::Of(doc)->Draw(print, &size), 1) << name.toStdString();
        // Every measure got a place on a line.
        for (const auto& ev : doc.Events()) {
            if (ev.IsMeasure()) {
                EXPECT_GT(CTrack::GeometryOf(ev).x, 0) << name.toStdString();
            }
        }
        ++rendered;
    }
    if (GetParam() == ESongSource::Corpus)
        EXPECT_GT(rendered, 40);
    else
        EXPECT_EQ(rendered, int(files.size()));
}

INSTANTIATE_TEST_SUITE_P(Tabs, ImportedTabs, ::testing::Values(ESongSource::Fixtures, ESongSource::Corpus), SongSourceName);

} // namespace
