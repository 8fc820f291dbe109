// Text tabs written by Kadenzo and read back by its importer, on the real tabs of the corpus,
// and the test-mode compare on them.

#include "importformats.h"
#include "midi.h"
#include "report.h"
#include "rondeldoc.h"
#include "songcompare.h"
#include "testutil.h"
#include "textexport.h"

#include <QDir>

#include <cstdio>

namespace {

bool HaveTextImporter()
{
    static const bool registered = [] {
        RegisterImportFormats();
        return true;
    }();
    (void)registered;
    return DocFormats::FindOpen(QStringLiteral(".txt")) != nullptr;
}

QStringList TabsIn(const QString& folder)
{
    const QDir dir(folder + QStringLiteral("/tabs"));
    QStringList paths;
    for (const QString& name : dir.entryList({QStringLiteral("*.txt"), QStringLiteral("*.tab")}, QDir::Files, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

// What the written tab can carry: bars, time signatures, measure repeats and the notes with
// their instrument, tick and marks. Repeat groups and rests are not written.
SCompareOptions RoundTripOptions()
{
    SCompareOptions o;
    o.m_rests = false;
    o.m_repeatFields = false;
    o.m_triplets = false;
    return o;
}

class RoundTripTabs : public ::testing::TestWithParam<ESongSource>
{
};

TEST_P(RoundTripTabs, KeepBarsTimeSignaturesAndNotes)
{
    SKIP_WITHOUT_SOURCE(GetParam());
    const QStringList tabs = TabsIn(SongSourceDir(GetParam()));
    if (!HaveTextImporter())
        GTEST_SKIP() << "no text tab importer is registered yet";
    CRecordingReport report;
    CScopedUserReport scope(&report);
    QTemporaryDir dir;
    int imported = 0, same = 0, reimportFailed = 0;
    QStringList differences;
    for (const QString& path : tabs) {
        const QString name = QFileInfo(path).fileName();
        CRondelDoc original;
        if (!original.OnOpenDocument(path))
            continue;
        ++imported;
        const QString written = dir.filePath(QFileInfo(path).completeBaseName() + QStringLiteral(".txt"));
        ASSERT_TRUE(ExportTextTab(original, written)) << name.toStdString();
        CRondelDoc back;
        QString error;
        if (!back.OnOpenDocument(written, &error)) {
            ++reimportFailed;
            differences << QStringLiteral("%1: the written tab does not import (%2)").arg(name, error);
            continue;
        }
        const SSongDifference d = CompareSongs(back.Events(), original.Events(), RoundTripOptions());
        if (!d.m_differ)
            ++same;
        else
            differences << QStringLiteral("%1: %2").arg(name, d.Message());
    }
    std::printf("round trip: %d of %d tabs import; %d come back with the same bars, time signatures and notes\n",
                imported, int(tabs.size()), same);
    for (const QString& line : differences)
        std::printf("  %s\n", qPrintable(line));
    RecordProperty("imported", imported);
    RecordProperty("same", same);
    EXPECT_GT(imported, 0);
    EXPECT_EQ(reimportFailed, 0);
    // Reading a tab never ends in an internal problem, written by us or not.
    for (const QString& m : report.m_messages)
        EXPECT_FALSE(m.contains(QStringLiteral("internal problem"))) << m.toStdString();
    // Measured: all 46 corpus tabs come back the same. Of the project's own 9 tabs 8 come
    // back the same: the 12/8 bars of the shuffle are written on 32nd-note columns counted
    // in quarters, so they come back as 6/4, the same length with every note in place.
    EXPECT_GE(same, GetParam() == ESongSource::Corpus ? 46 : 8);
}

// A tab whose endings carry several numbers plays each pass as its text says.
TEST(TabEndings, SeveralNumbersOnOneBarPlayInTheirPasses)
{
    if (!HaveTextImporter())
        GTEST_SKIP() << "no text tab importer is registered yet";
    CRecordingReport report;
    CScopedUserReport scope(&report);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("endings.txt"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("H |x-x-x-x-x-x-x-x-|\n"
               "  |1.3.            |2.              |4.              |\n"
               "H |x---x---x---x---|xxxxxxxxxxxxxxxx|o-o-o-o-o-o-o-o-|\n"
               "\n"
               "H |o-o-o-o-o-o-o-o-|\n"
               "  |1.              |2.              |\n"
               "H |x-x-x-x-x-x-x-x-|xxxxxxxxxxxxxxxx|\n");
    file.close();
    CRondelDoc doc;
    ASSERT_TRUE(doc.OnOpenDocument(path));
    // Written bars 1 2 1 3 1 2 1 4 5 6 5 7; the song holds bar 2 again as ending 3 (its bar 4).
    EXPECT_EQ(MidiOf(doc).PlayOrder(), (std::vector<int>{1, 2, 1, 3, 1, 4, 1, 5, 6, 7, 6, 8}));
}

INSTANTIATE_TEST_SUITE_P(Tabs, RoundTripTabs, ::testing::Values(ESongSource::Fixtures, ESongSource::Corpus), SongSourceName);

TEST(RoundTrip, CompareCommandOnARealTab)
{
    if (!HaveTextImporter())
        GTEST_SKIP() << "no text tab importer is registered yet";
    QTemporaryDir dir;
    QString tab;
    for (const QString& path : TabsIn(FixturesDir())) {
        CRecordingReport report;
        CScopedUserReport scope(&report);
        CRondelDoc doc;
        if (doc.OnOpenDocument(path) && doc.Events().size() > 10) {
            tab = path;
            break;
        }
    }
    ASSERT_FALSE(tab.isEmpty());
    const QString txt = dir.filePath(QStringLiteral("tune.txt"));
    const QString kdz = dir.filePath(QStringLiteral("tune.kdz"));
    ASSERT_TRUE(QFile::copy(tab, txt));
    const QString settings = dir.filePath(QStringLiteral("settings.ini"));
    ASSERT_EQ(RunCli({QStringLiteral("convert"), txt, kdz}, settings).exitCode, 0);
    SRunResult r = RunCli({QStringLiteral("compare"), txt}, settings);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();

    // Change one note of the song file: the compare names it.
    CRondelDoc song;
    ASSERT_TRUE(song.OnOpenDocument(kdz));
    for (auto& ev : song.Events())
        if (ev.IsNote() && !(ev.m_word1 & EventBits::Dynamics)) {
            ev.ToggleDynamic(EventBits::Ghost);
            break;
        }
    ASSERT_TRUE(song.OnSaveDocument(kdz));
    r = RunCli({QStringLiteral("compare"), txt}, settings);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("NOTE match failed type(IsGhost) at bar(")) << r.err.toStdString();

    r = RunCli({QStringLiteral("compare-all"), dir.path()}, settings);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains("differ   tune: NOTE match failed")) << r.out.toStdString();
}

} // namespace
