// The desktop program's finishing touches: the practice click's switches and a count-in that
// keeps the status on the song, message boxes with the icon their message deserves, a Goto
// Bar dialog wide enough for its title, and tooltips for names the Files pane cuts short.
#include "dialogreport.h"
#include "dialogs.h"
#include "mainframe.h"
#include "mainwindowtest.h"
#include "midi_click.h"
#include "panes.h"
#include "rondeldoc.h"
#include "transportbar.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QHelpEvent>
#include <QMessageBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>

#include <functional>

#include <gtest/gtest.h>

namespace {

class AppDetails : public CMainWindowTest
{
protected:
    void TearDown() override
    {
        ClickOptions() = SClickOptions{};
        CMainWindowTest::TearDown();
    }
};

// What a message box showed, read while it was open and then closed.
struct SShownBox
{
    int count = 0;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString text;
};

void CloseBoxesWhenShown(SShownBox* shown)
{
    QTimer::singleShot(10, qApp, [shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++shown->count;
            shown->icon = box->icon();
            shown->text = box->text();
            box->accept();
        }
        if (shown->count < 5)
            CloseBoxesWhenShown(shown);
    });
}

} // namespace

TEST_F(AppDetails, TheClickSwitchesStayInStepAndAreKept)
{
    {
        auto f = Frame();
        auto* click = f->findChild<QAction*>(QStringLiteral("PracticeClickAction"));
        auto* countIn = f->findChild<QAction*>(QStringLiteral("CountInAction"));
        ASSERT_TRUE(click && countIn);
        EXPECT_FALSE(click->isChecked()) << "off by default";
        EXPECT_FALSE(countIn->isChecked());
        EXPECT_FALSE(f->Transport()->m_click->isChecked());
        EXPECT_FALSE(f->Transport()->m_click->text().isEmpty()) << "a caption beside the icon";

        f->Transport()->m_click->click();
        EXPECT_TRUE(click->isChecked());
        EXPECT_TRUE(ClickOptions().m_click);
        click->trigger();
        EXPECT_FALSE(f->Transport()->m_click->isChecked());
        EXPECT_FALSE(ClickOptions().m_click);
        click->trigger();
        countIn->trigger();
        EXPECT_TRUE(ClickOptions().m_countIn);
        EXPECT_EQ(SettingsStore::Read(QStringLiteral("click")), QStringLiteral("1"));
        EXPECT_EQ(SettingsStore::Read(QStringLiteral("count_in")), QStringLiteral("1"));
    }
    ClickOptions() = SClickOptions{};
    auto f = Frame(); // the next start remembers
    EXPECT_TRUE(f->findChild<QAction*>(QStringLiteral("PracticeClickAction"))->isChecked());
    EXPECT_TRUE(f->findChild<QAction*>(QStringLiteral("CountInAction"))->isChecked());
    EXPECT_TRUE(f->Transport()->m_click->isChecked());
    EXPECT_EQ(ClickOptions(), (SClickOptions{true, true}));
}

TEST_F(AppDetails, DuringTheCountInTheStatusWaitsAtTheFirstBar)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(WriteHatSong(m_dir.filePath(QStringLiteral("song.kdz")), 4)));
    f->findChild<QAction*>(QStringLiteral("CountInAction"))->trigger();
    f->OnPlay();
    Advance(*f, 1000);
    EXPECT_EQ(f->statusBar()->currentMessage(), QStringLiteral("PLAYING: 00:0.0 measure 1"));
    Advance(*f, 1500); // half a second into the song
    EXPECT_EQ(f->statusBar()->currentMessage(), QStringLiteral("PLAYING: 00:0.5 measure 1"));
    Advance(*f, 2000);
    EXPECT_EQ(f->statusBar()->currentMessage(), QStringLiteral("PLAYING: 00:2.5 measure 2"));
    f->OnStop();
}

TEST_F(AppDetails, MessagesShowTheIconTheyDeserve)
{
    auto f = Frame();
    f->NewDocument();
    CDialogReport dialogs(f.get());
    CScopedUserReport scoped(&dialogs);

    // A text file without a tab in it fails to import: one critical box naming the file.
    const QString text = m_dir.filePath(QStringLiteral("letter.txt"));
    QFile t(text);
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write("Dear friend,\nno drums in here.\n");
    t.close();
    SShownBox shown;
    CloseBoxesWhenShown(&shown);
    EXPECT_FALSE(f->OpenFile(text));
    QTest::qWait(100);
    EXPECT_EQ(shown.count, 1);
    EXPECT_EQ(shown.icon, QMessageBox::Critical) << shown.text.toStdString();
    EXPECT_TRUE(shown.text.contains(QStringLiteral("letter.txt"))) << shown.text.toStdString();

    // A folder is an error too; a repair made while playing is a warning; news is information.
    shown = SShownBox{};
    CloseBoxesWhenShown(&shown);
    EXPECT_FALSE(f->OpenFile(m_dir.path()));
    QTest::qWait(100);
    EXPECT_EQ(shown.icon, QMessageBox::Critical);

    // The gravity the code gives a message picks the icon; an internal problem is an error.
    const std::vector<std::pair<std::function<void()>, QMessageBox::Icon>> said = {
        {[] { UserReport().Message(QStringLiteral("5 of 5 songs match")); }, QMessageBox::Information},
        {[] { UserReport().Warning(QStringLiteral("Please stop the player before changing the song")); }, QMessageBox::Warning},
        {[] { UserReport().Error(QStringLiteral("Audio file read failed")); }, QMessageBox::Critical},
        {[] { KADENZO_INTERNAL_PROBLEM(ReportSource::Midi); }, QMessageBox::Critical},
    };
    for (const auto& [say, icon] : said) {
        shown = SShownBox{};
        CloseBoxesWhenShown(&shown);
        say();
        EXPECT_EQ(shown.count, 1);
        EXPECT_EQ(shown.icon, icon) << shown.text.toStdString();
    }
}

TEST_F(AppDetails, TheGotoBarDialogHasRoomForItsTitle)
{
    const QFont saved = QApplication::font();
    for (int points : {9, 16}) {
        QFont font = saved;
        font.setPointSize(points);
        QApplication::setFont(font);
        CGotoBarDialog dialog;
        const int title = QFontMetrics(QApplication::font()).horizontalAdvance(dialog.windowTitle());
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Goto Bar Number"));
        EXPECT_GE(dialog.sizeHint().width(), title + 96) << points << " pt";
        EXPECT_GE(dialog.minimumSizeHint().width(), title + 96) << points << " pt";
        dialog.show();
        EXPECT_GE(dialog.width(), title + 96);
    }
    QApplication::setFont(saved);
}

TEST_F(AppDetails, TheFilesPaneTellsTheNamesItCutsShort)
{
    const QString longName = QStringLiteral("a rather long name for a drum tab of a song with a long title.txt");
    for (const QString& name : {longName, QStringLiteral("x.txt")}) {
        QFile file(m_dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("HH|x-x-|\n");
    }
    CFileView view;
    view.SetFolder(m_dir.path());
    view.resize(160, 300);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    const auto itemNamed = [&view](const QString& name) -> QTreeWidgetItem* {
        const auto found = view.findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.front();
    };
    QTreeWidgetItem* cut = itemNamed(longName);
    QTreeWidgetItem* whole = itemNamed(QStringLiteral("x.txt"));
    ASSERT_TRUE(cut && whole);
    const QPoint cutAt = view.visualItemRect(cut).center();
    EXPECT_EQ(view.CutNameAt(cutAt), longName);
    EXPECT_TRUE(view.CutNameAt(view.visualItemRect(whole).center()).isEmpty());

    // The tooltip event shows it.
    QHelpEvent help(QEvent::ToolTip, cutAt, view.viewport()->mapToGlobal(cutAt));
    QApplication::sendEvent(view.viewport(), &help);
    EXPECT_EQ(QToolTip::text(), longName);
    QToolTip::hideText();

    // Wide enough, nothing is cut.
    view.resize(1200, 300);
    QCoreApplication::processEvents();
    EXPECT_TRUE(view.CutNameAt(view.visualItemRect(cut).center()).isEmpty());
}
