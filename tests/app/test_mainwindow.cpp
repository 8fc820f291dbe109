// The main window as a desktop program: one owner per key sequence, the Open dialog's
// filters, the blank start-up song giving way to the first file, the Window menu's songs.
#include "appwiring.h"
#include "mainframe.h"
#include "midistream.h"
#include "mididevices.h"
#include "manualclock.h"
#include "playclock.h"
#include "report.h"
#include "rondeldoc.h"
#include "settings.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <map>

namespace {

void WriteSong(const QString& path)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.DeleteContents();
    AppendEvent(doc.Events(), EventType::Bar | TempoBits(120), TimeSigWord(4, 4));
    AppendEvent(doc.Events(), 42, 0);
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
    QString error;
    ASSERT_TRUE(doc.OnSaveDocument(path, &error)) << error.toStdString();
}

class MainWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SettingsStore::UseFile(m_dir.filePath(QStringLiteral("settings.ini")));
        PlayClock::UseManual(&m_clock);
        MidiStreams::SetOpener([](int) -> std::unique_ptr<CMidiStream> {
            auto stream = std::make_unique<CManualClockStream>(1000.0);
            stream->SetRecording(false);
            return stream;
        });
    }
    void TearDown() override
    {
        MidiDevices::InstallStreamOpener();
        PlayClock::UseManual(nullptr);
        SettingsStore::UseFile(QString());
        AttachAppToLayers();
    }
    QString Song(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        WriteSong(path);
        return path;
    }
    std::unique_ptr<CMainFrame> Frame()
    {
        auto f = std::make_unique<CMainFrame>();
        f->resize(1000, 700);
        f->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        return f;
    }
    static QMenu* TopMenu(CMainFrame& f, const QString& title)
    {
        for (QAction* a : f.menuBar()->actions())
            if (a->text() == title)
                return a->menu();
        return nullptr;
    }

    QTemporaryDir m_dir;
    int64_t m_clock = 1000;
    CRecordingReport m_report;
    CScopedUserReport m_scoped{&m_report};
};

TEST_F(MainWindow, NoTwoActionsShareAKeySequence)
{
    auto f = Frame();
    f->NewDocument();
    ASSERT_TRUE(f->OpenFile(Song(QStringLiteral("a.kdz"))));
    ASSERT_TRUE(f->OpenFile(Song(QStringLiteral("b.kdz"))));
    ASSERT_EQ(f->MdiArea()->subWindowList().size(), 2);
    // Every action of the window, its menus and its song windows' own menus.
    std::map<QString, QString> owner;
    QString exportWave;
    QString close;
    for (QAction* a : f->findChildren<QAction*>()) {
        for (const QKeySequence& key : a->shortcuts()) {
            const QString k = key.toString(QKeySequence::PortableText);
            const auto [it, fresh] = owner.emplace(k, a->text());
            EXPECT_TRUE(fresh) << k.toStdString() << " belongs to \"" << it->second.toStdString() << "\" and \""
                               << a->text().toStdString() << "\"";
            if (a->text().startsWith(QStringLiteral("Export Wave")))
                exportWave = k;
            if (a->text() == QStringLiteral("&Close"))
                close = k;
        }
    }
    EXPECT_EQ(exportWave, QStringLiteral("Ctrl+W"));
    EXPECT_EQ(close, QStringLiteral("Ctrl+F4"));
    // The key closes the active song.
    QTest::keyClick(f->MdiArea()->activeSubWindow()->widget(), Qt::Key_F4, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(f->MdiArea()->subWindowList().size(), 1);
}

TEST_F(MainWindow, OpenDialogShowsEveryKindFirst)
{
    const QStringList filters = CMainFrame::OpenFilter().split(QStringLiteral(";;"));
    ASSERT_GE(filters.size(), 2);
    EXPECT_EQ(filters.front(), QStringLiteral("All Kadenzo files (*.kdz *.txt *.tab *.mid)"));
    EXPECT_TRUE(filters.contains(QStringLiteral("Kadenzo Files (*.kdz)")));
}

TEST_F(MainWindow, TheUntouchedBlankSongGivesWayToTheFirstFile)
{
    auto f = Frame();
    f->NewDocument();
    ASSERT_TRUE(f->OpenFile(Song(QStringLiteral("first.kdz"))));
    ASSERT_EQ(f->MdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(f->MdiArea()->activeSubWindow()->windowTitle(), QStringLiteral("first.kdz"));
    EXPECT_EQ(f->ActiveDocument()->m_title, QStringLiteral("first.kdz"));
    // A second file opens beside the first.
    ASSERT_TRUE(f->OpenFile(Song(QStringLiteral("second.kdz"))));
    EXPECT_EQ(f->MdiArea()->subWindowList().size(), 2);

    // A blank song the user has written in stays.
    auto g = Frame();
    g->NewDocument();
    AppendEvent(g->ActiveDocument()->Events(), 38, 0);
    g->ActiveDocument()->SetModifiedFlag();
    ASSERT_TRUE(g->OpenFile(Song(QStringLiteral("third.kdz"))));
    EXPECT_EQ(g->MdiArea()->subWindowList().size(), 2);
    // A failed open leaves the blank song alone.
    auto h = Frame();
    h->NewDocument();
    EXPECT_FALSE(h->OpenFile(m_dir.filePath(QStringLiteral("missing.kdz"))));
    EXPECT_EQ(h->MdiArea()->subWindowList().size(), 1);
}

TEST_F(MainWindow, WindowMenuListsTheOpenSongs)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(QStringLiteral("one.kdz"))));
    ASSERT_TRUE(f->OpenFile(Song(QStringLiteral("two.kdz"))));
    QMenu* window = TopMenu(*f, QStringLiteral("&Window"));
    ASSERT_NE(window, nullptr);
    f->ListSongsInWindowMenu(window);
    f->ListSongsInWindowMenu(window); // built again, not twice
    QStringList songs;
    QAction* first = nullptr;
    for (QAction* a : window->actions())
        if (a->property("songEntry").toBool() && !a->isSeparator()) {
            songs << a->text();
            if (!first)
                first = a;
        }
    EXPECT_EQ(songs, QStringList({QStringLiteral("&1 one.kdz"), QStringLiteral("&2 two.kdz")}));
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(first->isChecked());
    first->trigger();
    EXPECT_EQ(f->MdiArea()->activeSubWindow()->windowTitle(), QStringLiteral("one.kdz"));
}

} // namespace
