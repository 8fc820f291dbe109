// The main window as a desktop program: one owner per key sequence, the Open dialog's
// filters, the blank start-up song giving way to the first file, the Window menu's songs, a
// MIDI export that would be cut short.
#include "appwiring.h"
#include "mainframe.h"
#include "mainwindowtest.h"
#include "midistream.h"
#include "mididevices.h"
#include "manualclock.h"
#include "playclock.h"
#include "report.h"
#include "rondeldoc.h"
#include "rondelview.h"
#include "settings.h"
#include "transportbar.h"
#include "viewrenderer.h"
#include "midi.h"
#include "player.h"

#include <QAction>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QDockWidget>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QScrollBar>
#include <QWheelEvent>
#include <QApplication>
#include <QLineEdit>
#include <QMenuBar>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
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

class MainWindow : public CMainWindowTest
{
protected:
    QString Song(const QString& name)
    {
        const QString path = m_dir.filePath(name);
        WriteSong(path);
        return path;
    }
    static QMenu* TopMenu(CMainFrame& f, const QString& title)
    {
        for (QAction* a : f.menuBar()->actions())
            if (a->text() == title)
                return a->menu();
        return nullptr;
    }
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
    EXPECT_EQ(f->MdiArea()->activeSubWindow()->windowTitle().remove(QStringLiteral("[*]")), QStringLiteral("first.kdz"));
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

TEST_F(MainWindow, AFolderIsRefusedWithAMessageNamingIt)
{
    auto f = Frame();
    f->NewDocument();
    EXPECT_FALSE(f->OpenFile(m_dir.path()));
    ASSERT_EQ(m_report.m_messages.size(), 1);
    EXPECT_TRUE(m_report.m_messages.front().contains(m_dir.path()));
    EXPECT_TRUE(m_report.m_messages.front().contains(QStringLiteral("folder")));
    EXPECT_EQ(f->MdiArea()->subWindowList().size(), 1);
}

TEST_F(MainWindow, TheIndexPaneComesBackWhenAPlayingSongCloses)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(QStringLiteral("one.kdz"))));
    QDockWidget* index = f->findChild<QDockWidget*>(QStringLiteral("IndexBar"));
    ASSERT_NE(index, nullptr);
    index->show();
    QCoreApplication::processEvents();
    ASSERT_TRUE(index->isVisible());
    f->OnPlay();
    Advance(*f, 200);
    EXPECT_FALSE(index->isVisible()) << "PLAY keeps the Index pane out of the way";
    f->MdiArea()->closeActiveSubWindow();
    QCoreApplication::processEvents();
    EXPECT_TRUE(index->isVisible());
    EXPECT_TRUE(index->toggleViewAction()->isChecked());
}

TEST_F(MainWindow, AFileThatFailsToOpenGivesOneMessageNamingIt)
{
    auto f = Frame();
    f->NewDocument();
    f->SetAskMidiOptions(false);
    // A MIDI file cut short after its header, and a text without any tab in it.
    const QString midi = m_dir.filePath(QStringLiteral("broken.mid"));
    QFile m(midi);
    ASSERT_TRUE(m.open(QIODevice::WriteOnly));
    static const char kBroken[] = "MThd\0\0\0\x06\0\x01\0\x01\0\x60MTrk\0\0\x10\0\0\xff";
    m.write(kBroken, sizeof(kBroken) - 1);
    m.close();
    const QString text = m_dir.filePath(QStringLiteral("letter.txt"));
    QFile t(text);
    ASSERT_TRUE(t.open(QIODevice::WriteOnly));
    t.write("Dear friend,\nno drums in here.\n");
    t.close();
    for (const QString& path : {midi, text}) {
        m_report.m_messages.clear();
        EXPECT_FALSE(f->OpenFile(path));
        ASSERT_EQ(m_report.m_messages.size(), 1) << m_report.m_messages.join(QStringLiteral(" | ")).toStdString();
        EXPECT_TRUE(m_report.m_messages.front().contains(QFileInfo(path).fileName()))
            << m_report.m_messages.front().toStdString();
    }
    EXPECT_EQ(f->MdiArea()->subWindowList().size(), 1);
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
    EXPECT_EQ(f->MdiArea()->activeSubWindow()->windowTitle().remove(QStringLiteral("[*]")), QStringLiteral("one.kdz"));
}

TEST_F(MainWindow, PlayTempoBoxNeverOffersATempoTooSlowToPlay)
{
    auto f = Frame();
    QSpinBox* box = f->Transport()->m_currentTempo;
    ASSERT_EQ(box->value(), 0); // the song's own tempi
    box->stepUp();
    EXPECT_EQ(box->value(), CTransportBar::kMinPlayTempo);
    box->stepUp();
    EXPECT_EQ(box->value(), CTransportBar::kMinPlayTempo + 1);
    box->stepDown();
    box->stepDown();
    EXPECT_EQ(box->value(), 0) << "below the floor is the song's tempo again";
    // Typed tempi below the floor become the floor; longer numbers still pass through.
    QLineEdit* edit = box->findChild<QLineEdit*>();
    ASSERT_NE(edit, nullptr);
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("12"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(box->value(), CTransportBar::kMinPlayTempo);
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("125"));
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(box->value(), 125);

    // The fields carry their names beside them.
    QStringList captions;
    for (QLabel* l : f->Transport()->findChildren<QLabel*>())
        captions << l->text();
    for (const char* name : {"Song tempo", "Play tempo", "Sync (1/100 s)"})
        EXPECT_TRUE(captions.contains(QString::fromLatin1(name))) << name;
    EXPECT_EQ(f->Transport()->m_defaultTempo->placeholderText(), QStringLiteral("Song tempo"));
}

TEST_F(MainWindow, TheTransportWrapsInANarrowWindow)
{
    auto f = Frame();
    f->resize(520, 600);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_LE(f->width(), 560) << "the transport must not hold the window wide";
    CTransportBar* t = f->Transport();
    // Every control still shows, inside the transport.
    for (QWidget* w : {static_cast<QWidget*>(t->m_play), static_cast<QWidget*>(t->m_stop),
                       static_cast<QWidget*>(t->m_currentTempo), static_cast<QWidget*>(t->m_sync)}) {
        EXPECT_TRUE(t->rect().contains(w->geometry())) << w->objectName().toStdString();
    }
    EXPECT_GT(t->m_sync->geometry().top(), t->m_play->geometry().bottom()) << "on a further row";
}

TEST_F(MainWindow, ZoomKeepsTheMusicUnderTheMouseInPlace)
{
    auto f = Frame();
    const QString path = m_dir.filePath(QStringLiteral("long.kdz"));
    WriteHatSong(path, 24);
    ASSERT_TRUE(f->OpenFile(path));
    CRondelView* view = f->ActiveView();
    // A point on the staff of bar 6, where the pointer rests.
    auto barAt = [&](int n) -> const CEvent* {
        int i = 0;
        for (const auto& e : view->Doc().Events())
            if (e.IsMeasure() && ++i == n)
                return &e;
        return nullptr;
    };
    view->GotoBar(6);
    auto onScreen = [&]() {
        const CEvent* bar = barAt(6);
        const QPointF layout(LayoutBarX(bar->GetLayoutPos()) + 60, LayoutStaffTop(bar->GetLayoutPos()) + 12);
        return QPointF(layout.x() * view->Scale() - view->horizontalScrollBar()->value(),
                       layout.y() * view->Scale() - view->verticalScrollBar()->value());
    };
    const QPointF mouse = onScreen();
    ASSERT_TRUE(view->viewport()->rect().contains(mouse.toPoint()));
    QWheelEvent wheel(mouse, view->viewport()->mapToGlobal(mouse), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    EXPECT_GT(view->Zoom(), 1.0);
    EXPECT_EQ(f->ZoomBox()->value(), int(std::lround(view->Zoom() * 100)));
    EXPECT_NEAR(onScreen().x(), mouse.x(), 1.5);
    EXPECT_NEAR(onScreen().y(), mouse.y(), 1.5);
    // Out again, past the start: the lines hold more bars.
    QWheelEvent back(mouse, view->viewport()->mapToGlobal(mouse), QPoint(), QPoint(0, -120), Qt::NoButton,
                     Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &back);
    QApplication::sendEvent(view->viewport(), &back);
    EXPECT_LT(view->Zoom(), 1.0);
    // Across, the view cannot scroll past its left edge: the bar then stands at the margin.
    QScrollBar* across = view->horizontalScrollBar();
    if (across->value() > across->minimum() && across->value() < across->maximum())
        EXPECT_NEAR(onScreen().x(), mouse.x(), 1.5);
    else
        EXPECT_LT(onScreen().x(), mouse.x());
    EXPECT_NEAR(onScreen().y(), mouse.y(), 1.5);

    // The box and the keys; the range is 50 to 400 %.
    f->ZoomBox()->setValue(400);
    EXPECT_DOUBLE_EQ(view->Zoom(), 4.0);
    QTest::keyClick(view, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(view->Zoom(), 4.0);
    QTest::keyClick(view, Qt::Key_0, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(view->Zoom(), 1.0);
    EXPECT_EQ(f->ZoomBox()->value(), 100);
    QTest::keyClick(view, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_LT(view->Zoom(), 1.0);
    view->SetZoom(0.1);
    EXPECT_DOUBLE_EQ(view->Zoom(), 0.5);
    // Supersize doubles whatever the zoom is.
    view->SetZoom(1.5);
    view->SetSupersize(true);
    EXPECT_DOUBLE_EQ(view->Scale(), 3.0);
}

TEST_F(MainWindow, StatusBarTellsPlayingPausedAndStoppedAndFollowsTheActiveSong)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(QStringLiteral("one.kdz"))));
    f->OnPlay();
    Advance(*f, 500);
    EXPECT_TRUE(f->StatusText().startsWith(QStringLiteral("PLAYING: "))) << f->StatusText().toStdString();
    f->OnPlay(); // pause
    ASSERT_EQ(f->ActivePlayer()->State(), PlayerState::Paused);
    EXPECT_TRUE(f->StatusText().startsWith(QStringLiteral("PAUSED: "))) << f->StatusText().toStdString();
    f->OnStop();
    EXPECT_TRUE(f->StatusText().startsWith(QStringLiteral("Cursor: measure 1 "))) << f->StatusText().toStdString();

    // One measure plays to its end: buttons and status leave playing at once.
    f->OnMeasurePlay();
    ASSERT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);
    Advance(*f, 4000);
    EXPECT_EQ(f->ActivePlayer()->State(), PlayerState::Stopped);
    EXPECT_EQ(f->Transport()->m_mplay->property("look").toString(), QStringLiteral("idle"));
    EXPECT_FALSE(f->StatusText().startsWith(QStringLiteral("PLAYING"))) << f->StatusText().toStdString();

    // A second song shows its own cursor; going back shows the first one's.
    f->ActiveView()->GotoBar(2);
    f->CursorStatus(2, 40); // past the bar's last 32nd: the last one
    EXPECT_TRUE(f->StatusText().startsWith(QStringLiteral("Cursor: measure 2 31/32nd"))) << f->StatusText().toStdString();
    ASSERT_TRUE(f->OpenFile(Song(QStringLiteral("two.kdz"))));
    EXPECT_TRUE(f->StatusText().startsWith(QStringLiteral("Cursor: measure 1 0/32nd"))) << f->StatusText().toStdString();
}

} // namespace

namespace {
// Chooses "Export Midi File..." from the File menu and answers its file dialog with path.
// False when no file dialog came up.
bool ExportMidiThroughTheMenu(CMainFrame& f, const QString& path)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        seen = true;
        dlg->setOption(QFileDialog::DontConfirmOverwrite);
        dlg->selectFile(path);
        static_cast<QDialog*>(dlg)->accept(); // QFileDialog's own accept(), as OK would
    });
    for (QAction* a : f.menuBar()->actions()[0]->menu()->actions())
        if (a->text() == QStringLiteral("Export Midi File...")) {
            a->trigger();
            break;
        }
    return seen;
}

QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteEmptyBars(const QString& path, int bars)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.DeleteContents();
    AppendEvent(doc.Events(), EventType::Bar | TempoBits(240), TimeSigWord(4, 4));
    AppendEvent(doc.Events(), 36, 0);
    for (int b = 0; b < bars; ++b)
        AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
    QString error;
    ASSERT_TRUE(doc.OnSaveDocument(path, &error)) << error.toStdString();
}
}

TEST_F(MainWindow, ExportingASongThatNeverEndsWarnsAndKeepsTheOldMidiFile)
{
    const QString endless = m_dir.filePath(QStringLiteral("endless.kdz"));
    WriteEmptyBars(endless, CMidi::kMaxPassBars + 5);
    const QString out = m_dir.filePath(QStringLiteral("out.mid"));
    {
        QFile old(out);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly) && old.write("old") == 3);
    }
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(endless));
    m_report.m_messages.clear(); // opening it already says where the loop is
    ASSERT_TRUE(ExportMidiThroughTheMenu(*f, out));
    ASSERT_EQ(m_report.m_messages.size(), 1) << m_report.m_messages.join(QLatin1Char('|')).toStdString();
    const QString warning = m_report.m_messages.front();
    EXPECT_TRUE(warning.contains(QStringLiteral("the song plays more than 10002 bars"))) << warning.toStdString();
    EXPECT_TRUE(warning.contains(out)) << warning.toStdString();
    EXPECT_EQ(ReadFile(out), QByteArray("old"));
    EXPECT_FALSE(f->ActiveDocument()->IsModified());

    // A song that ends in time replaces the file, with nothing to say.
    m_report.m_messages.clear();
    const QString fits = m_dir.filePath(QStringLiteral("fits.kdz"));
    WriteEmptyBars(fits, CMidi::kMaxPassBars - 3);
    ASSERT_TRUE(f->OpenFile(fits));
    ASSERT_TRUE(ExportMidiThroughTheMenu(*f, out));
    EXPECT_TRUE(m_report.m_messages.isEmpty()) << m_report.m_messages.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(ReadFile(out).startsWith("MThd"));
}
