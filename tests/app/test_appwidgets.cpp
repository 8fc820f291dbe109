// The desktop program's windows, offscreen: opening, scrolling, playing on the manual clock,
// the jump dialogs, the waveform and its beat marks, drops, panes and saved layout.
#include "appfunctions.h"
#include "manualclock.h"
#include "midi.h"
#include "mididevices.h"
#include "midistream.h"
#include "application.h"
#include "appwiring.h"
#include "dialogs.h"
#include "mainframe.h"
#include "mainwindowtest.h"
#include "panes.h"
#include "player.h"
#include "playclock.h"
#include "report.h"
#include "rondeldoc.h"
#include "rondelview.h"
#include "scopebar.h"
#include "settings.h"
#include "transportbar.h"
#include "viewrenderer.h"

#include <QCheckBox>
#include <QDockWidget>
#include <QMdiSubWindow>
#include <QSpinBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPrinter>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeWidget>
#include <QUrl>

#include "testutil.h"

#include <gtest/gtest.h>

// Readable failure output for Qt strings.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace {
// A drum song of `bars` 4/4 bars at `tempo`, hi-hat eighths and a snare on 2 and 4.
void WriteSong(const QString& path, int bars, int tempo = 120, const QString& comment = QString())
{
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.DeleteContents();
    for (int b = 0; b < bars; ++b) {
        CEvent* bar = AppendEvent(doc.Events(), EventType::Bar | (b == 0 ? TempoBits(uint32_t(tempo)) : 0), TimeSigWord(4, 4));
        if (b == 1 && !comment.isEmpty())
            bar->SetText(comment);
        // Notes in position order, as every measure keeps them.
        for (uint32_t pos = 0; pos < 384; pos += 48) {
            AppendEvent(doc.Events(), 42, pos);
            if (pos == 96 || pos == 288)
                AppendEvent(doc.Events(), 38, pos);
        }
    }
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
    QString error;
    ASSERT_TRUE(doc.OnSaveDocument(path, &error)) << error.toStdString();
}

class AppWindow : public CMainWindowTest
{
protected:
    QString Song(int bars, const QString& name = QStringLiteral("song.kdz"), const QString& comment = QString())
    {
        const QString path = m_dir.filePath(name);
        WriteSong(path, bars, 120, comment);
        return path;
    }
    std::unique_ptr<CMainFrame> Frame()
    {
        auto f = CMainWindowTest::Frame();
        // Closing windows here never waits for the "save changes?" question.
        f->SetSaveQuestion([](const QString&) { return int(QMessageBox::Discard); });
        return f;
    }
};
}

TEST_F(AppWindow, OpensAFileAsAChildWindowTitledByItsName)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(8)));
    ASSERT_NE(f->ActiveDocument(), nullptr);
    EXPECT_EQ(f->MdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(f->MdiArea()->activeSubWindow()->windowTitle(), QStringLiteral("song.kdz[*]"));
    EXPECT_EQ(f->RecentFiles().size(), 1);
    f->NewDocument();
    EXPECT_EQ(f->MdiArea()->activeSubWindow()->windowTitle(), QStringLiteral("Song1[*]"));
    // A file that is not there: the open fails, the user is told, nothing else changes.
    EXPECT_FALSE(f->OpenFile(m_dir.filePath(QStringLiteral("missing.kdz"))));
    EXPECT_FALSE(m_report.m_messages.isEmpty());
    EXPECT_EQ(f->MdiArea()->subWindowList().size(), 2);
}

TEST_F(AppWindow, DamagedFileIsRefusedWithAMessage)
{
    const QString path = m_dir.filePath(QStringLiteral("bad.kdz"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xF4\x01\x00\x00\xD0\x07", 6);
    file.close();
    auto f = Frame();
    EXPECT_FALSE(f->OpenFile(path));
    EXPECT_EQ(f->MdiArea()->subWindowList().size(), 0);
    EXPECT_EQ(m_report.m_messages.size(), 1);
}

TEST_F(AppWindow, ViewScrollsOverTheSizeTheLayoutReports)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(300)));
    CRondelView* view = f->ActiveView();
    QTest::qWait(20);
    const QSize size = view->LayoutSize();
    EXPECT_GT(size.height(), 2000) << "300 bars need many systems";
    EXPECT_EQ(view->verticalScrollBar()->maximum(), size.height() - view->viewport()->height());
    view->SetSupersize(true);
    EXPECT_EQ(view->verticalScrollBar()->maximum(), view->LayoutSize().height() * 2 - view->viewport()->height());
    // Goto Bar: bar 200's staff top - 100 at the top; past the end: the last bar.
    view->SetSupersize(false);
    view->GotoBar(200);
    int n = 0;
    int staffTop = 0;
    for (const auto& e : view->Doc().Events())
        if (e.IsMeasure() && ++n == 200)
            staffTop = LayoutStaffTop(e.GetLayoutPos());
    EXPECT_EQ(view->ScrollY(), staffTop - 100);
    view->GotoBar(5000);
    EXPECT_EQ(view->ScrollY(), std::min(view->verticalScrollBar()->maximum(), [&] {
        int k = 0, top = 0;
        for (const auto& e : view->Doc().Events())
            if (e.IsMeasure() && ++k == 300)
                top = LayoutStaffTop(e.GetLayoutPos());
        return top - 100;
    }()));
}

TEST_F(AppWindow, PlayAndStopMoveThePlayCursorAndTheStatusText)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(4)));
    f->OnPlay();
    ASSERT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);
    EXPECT_EQ(f->Transport()->m_play->property("look").toString(), QStringLiteral("playing"));
    EXPECT_TRUE(f->ActiveView()->IsPolling());
    Advance(*f, 500);
    EXPECT_EQ(f->ActiveView()->PlayMeasure(), 1);
    EXPECT_EQ(f->StatusText(), QStringLiteral("PLAYING: 00:0.5 measure 1"));
    const QRect first = f->ActiveView()->PlayCursorRect();
    EXPECT_FALSE(first.isEmpty());
    // 4/4 at 120: 2 s a bar.
    Advance(*f, 2000);
    EXPECT_EQ(f->ActiveView()->PlayMeasure(), 2);
    EXPECT_EQ(f->StatusText(), QStringLiteral("PLAYING: 00:2.5 measure 2"));
    EXPECT_NE(f->ActiveView()->PlayCursorRect(), first);
    // Any start button pauses while playing; the clock then does not move the song.
    f->OnMeasurePlay();
    EXPECT_EQ(f->ActivePlayer()->State(), PlayerState::Paused);
    EXPECT_EQ(f->Transport()->m_play->property("look").toString(), QStringLiteral("paused"));
    Advance(*f, 3000);
    f->OnPlay();
    Advance(*f, 0);
    EXPECT_EQ(f->StatusText(), QStringLiteral("PLAYING: 00:2.5 measure 2"));
    f->OnStop();
    EXPECT_EQ(f->ActivePlayer()->State(), PlayerState::Stopped);
    EXPECT_FALSE(f->ActiveView()->IsPolling());
    EXPECT_TRUE(f->ActiveView()->PlayCursorRect().isEmpty());
    EXPECT_EQ(f->StatusText(), QStringLiteral("Cursor: measure 1 0/32nd @ time 00:0.0 "));
    EXPECT_EQ(f->Transport()->m_play->property("look").toString(), QStringLiteral("idle"));
}

TEST_F(AppWindow, PlaybackEndsAfterTheLastBarAndLoopReturnsToTheStart)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(3)));
    f->OnPlay();
    Advance(*f, 6300); // the last bar ends at 6 s; the stream closes four polls later
    EXPECT_EQ(f->ActivePlayer()->State(), PlayerState::Stopped);
    EXPECT_FALSE(f->ActiveView()->IsPolling());

    f->OnLoop();
    EXPECT_EQ(f->Transport()->m_loop->property("look").toString(), QStringLiteral("playing"));
    Advance(*f, 4100);
    EXPECT_EQ(f->ActiveView()->PlayMeasure(), 3);
    Advance(*f, 2000); // 6.1 s into a 6 s loop
    EXPECT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);
    EXPECT_EQ(f->ActiveView()->PlayMeasure(), 1);
    EXPECT_EQ(f->StatusText(), QStringLiteral("PLAYING: 00:0.1 measure 1"));
    f->OnStop();
}

TEST_F(AppWindow, PlayCursorScrollsToASystemBelowTheVisiblePart)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(200)));
    CRondelView* view = f->ActiveView();
    f->OnPlay();
    Advance(*f, 100 * 2000 + 100); // into bar 101
    EXPECT_EQ(view->PlayMeasure(), 101);
    int n = 0, top = 0;
    for (const auto& e : view->Doc().Events())
        if (e.IsMeasure() && ++n == 101)
            top = LayoutStaffTop(e.GetLayoutPos());
    EXPECT_EQ(view->ScrollY(), std::min(top - 93, view->verticalScrollBar()->maximum()));
    f->OnStop();
}

TEST_F(AppWindow, GotoTimeDialogReadsTimesAndRefusesBadText)
{
    CGotoTimeDialog dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Goto Time"));
    dlg.show();
    dlg.Edit()->setText(QStringLiteral("abc"));
    dlg.accept();
    EXPECT_TRUE(dlg.isVisible()) << "the dialog stays open";
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(m_report.m_messages.size(), 1);
    EXPECT_EQ(m_report.m_messages[0], QStringLiteral("Bad time format, please use SS or MM:SS"));
    dlg.Edit()->setText(QStringLiteral("1:30.5"));
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.TimeMsecs(), 90500);
}

TEST_F(AppWindow, GotoTimeSetsTheInsertPointInTheBarOfThatTime)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(60)));
    // 90.5 s at 2 s a bar: bar 46, a quarter of the way in = 32nd 8.
    ASSERT_TRUE(f->LocateTime(90500));
    EXPECT_EQ(f->ActiveView()->CursorBar(), 46);
    EXPECT_EQ(f->ActiveView()->CursorTick(), 8);
    EXPECT_EQ(f->StatusText(), QStringLiteral("Cursor: measure 46 8/32nd @ time 01:30.5 "));
    EXPECT_FALSE(f->LocateTime(0)) << "0 does nothing";
    EXPECT_EQ(f->ActiveView()->CursorBar(), 46);
    ASSERT_TRUE(f->LocateTime(10 * 60000));
    EXPECT_EQ(f->ActiveView()->CursorBar(), 60) << "past the end: the last bar";
    EXPECT_EQ(f->ActiveView()->CursorTick(), 0);
}

TEST_F(AppWindow, GotoBarDialogRangeIsOneToAThousand)
{
    CGotoBarDialog dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Goto Bar Number"));
    dlg.Edit()->setValue(5000);
    EXPECT_EQ(dlg.BarNumber(), 1000);
    dlg.Edit()->setValue(0);
    EXPECT_EQ(dlg.BarNumber(), 1);
}

namespace {
// 60 s of quiet audio with hits every 500 ms from 1 s on: entries of 60000 / 6000 = 10 ms.
CScopeBar::SAudio BeatAudio()
{
    CScopeBar::SAudio a;
    a.sampleCount = 60 * 22050;
    a.overview.assign(6000, 3);
    for (int ms = 1000; ms < 60000; ms += 500)
        a.overview[size_t(ms / 10)] = 100;
    return a;
}
bool HasColour(const QImage& img, const QRect& area, QRgb colour)
{
    for (int y = std::max(area.top(), 0); y <= std::min(area.bottom(), img.height() - 1); ++y)
        for (int x = std::max(area.left(), 0); x <= std::min(area.right(), img.width() - 1); ++x)
            if ((img.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF))
                return true;
    return false;
}

// Pixels of about the given hue (degrees), saturated and bright. Antialiased text keeps the
// hue of its pen over a dark background whatever the machine's fonts make of its edges,
// where an exact colour may not appear at all.
int CountHue(const QImage& img, const QRect& area, int hue)
{
    int count = 0;
    for (int y = std::max(area.top(), 0); y <= std::min(area.bottom(), img.height() - 1); ++y)
        for (int x = std::max(area.left(), 0); x <= std::min(area.right(), img.width() - 1); ++x) {
            const QColor c = QColor::fromRgb(img.pixel(x, y));
            const int h = c.hsvHue();
            if (h >= 0 && std::abs(h - hue) <= 12 && c.hsvSaturation() >= 40 && c.value() >= 100)
                ++count;
        }
    return count;
}
}

TEST_F(AppWindow, WaveformWindowPagesWithTheCursorAndZooms)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    CScopeBar bar;
    bar.resize(1200, 120);
    bar.AttachDocument(&doc);
    bar.SetAudio(BeatAudio());
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    QImage img = bar.grab().toImage();
    EXPECT_EQ(bar.m_scopeDisplayStartMsecs, 0);
    EXPECT_EQ(bar.m_scopeDisplayEndMsecs, 60000);
    EXPECT_EQ(img.pixel(3, 100) & 0xFFFFFF, 0x0A0A0Au) << "background";
    EXPECT_TRUE(HasColour(img, QRect(0, 0, 1200, 120), qRgb(0xA5, 0xDE, 0x94))) << "waveform pen";
    EXPECT_TRUE(HasColour(img, QRect(100, 0, 2, 120), qRgb(0xC8, 0xC8, 0xC8))) << "grid line at 1/12";

    for (int i = 0; i < 30; ++i)
        bar.ZoomIn();
    EXPECT_EQ(bar.Zoom(), 41);
    EXPECT_EQ(doc.m_waveZoom, 41) << "the zoom belongs to the document";
    // Playing: the window turns its page so that the cursor sits a tenth from the left.
    bar.SetPosition(30000);
    bar.StartPlayback();
    m_clock += 250;
    EXPECT_EQ(bar.DrawScopeCursorAtCurrentPlayTime(), 30250);
    bar.grab();
    const int span = bar.m_scopeDisplayEndMsecs - bar.m_scopeDisplayStartMsecs;
    EXPECT_NEAR(span, 60000 / 41, 2);
    EXPECT_NEAR(bar.m_scopeDisplayStartMsecs, 30250 - span / 10, 2);
    bar.PausePlayback();
    m_clock += 5000;
    EXPECT_EQ(bar.GetAudioPositionMsecs(), 30250);
    bar.ResumePlayback();
    m_clock += 100;
    EXPECT_EQ(bar.GetAudioPositionMsecs(), 30350);
    m_clock += 60000;
    EXPECT_EQ(bar.DrawScopeCursorAtCurrentPlayTime(), 0) << "past the end";
    bar.StopPlayback();
    bar.ZoomMin();
    EXPECT_EQ(bar.Zoom(), 1);
}

TEST_F(AppWindow, DragBetweenTwoBeatsShowsBpm120AndAClickLocates)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    CScopeBar bar;
    bar.resize(1200, 120);
    bar.AttachDocument(&doc);
    bar.SetAudio(BeatAudio());
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    bar.grab();
    // Zoom 1 over 60 s: 20 px a second. Drag from 1.8 s to 2.7 s: hits at 2.0 and 2.5 s.
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(36, 60));
    QTest::mouseMove(&bar, QPoint(45, 60));
    QMouseEvent move(QEvent::MouseMove, QPointF(54, 60), bar.mapToGlobal(QPointF(54, 60)), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&bar, &move);
    EXPECT_EQ(bar.m_beatMark1Msecs, 2000);
    EXPECT_EQ(bar.m_beatMark2Msecs, 2500);
    EXPECT_FALSE(bar.m_dragRect.isEmpty());
    const QImage img = bar.grab().toImage();
    // The label "Bpm 120" in yellow (0x64FFFF) at the first mark's x, 20 px down: a few glyphs'
    // worth of yellow there, and none above or below it.
    EXPECT_GE(CountHue(img, QRect(38, 18, 70, 20), 60), 6);
    EXPECT_EQ(CountHue(img, QRect(0, 0, 1200, 18), 60), 0);
    EXPECT_EQ(CountHue(img, QRect(0, 40, 1200, 80), 60), 0);
    EXPECT_TRUE(HasColour(img, QRect(39, 0, 3, 120), qRgb(0xFF, 0x00, 0xFF))) << "beat mark";
    QSignalSpy located(&bar, &CScopeBar::LocateTime);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(54, 60));
    EXPECT_TRUE(bar.m_dragRect.isEmpty()) << "a drag ends without locating";
    EXPECT_EQ(located.count(), 0);
    QTest::mouseClick(&bar, Qt::LeftButton, {}, QPoint(600, 60));
    ASSERT_EQ(located.count(), 1);
    EXPECT_EQ(located.at(0).at(0).toInt(), 30000);
    // A short drag (under 20 entries) draws no label.
    QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(100, 60));
    QMouseEvent shortMove(QEvent::MouseMove, QPointF(103, 60), bar.mapToGlobal(QPointF(103, 60)), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&bar, &shortMove);
    EXPECT_EQ(bar.m_beatMark1Msecs, 0);
    EXPECT_EQ(CountHue(bar.grab().toImage(), QRect(95, 18, 60, 22), 60), 0);
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(103, 60));
}

TEST_F(AppWindow, WaveViewFollowsPlaybackInTheStatusText)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(20)));
    CScopeBar::SetLoader([](const QString&, CScopeBar::SAudio* a, QString*) {
        *a = BeatAudio();
        return true;
    });
    f->ActiveDocument()->m_audioFile = QStringLiteral("beat.wav");
    f->OnSyncChange(150); // the song starts 1.5 s into the recording
    f->OnToggleWaveView();
    EXPECT_TRUE(f->WaveViewOn());
    EXPECT_TRUE(f->ScopeDock()->isVisible());
    f->OnPlay();
    EXPECT_EQ(f->ScopeBar()->m_playStartSample, 33075);
    Advance(*f, 1000);
    EXPECT_EQ(f->StatusText(), QStringLiteral("PLAYING: 00:2.5 measure 1. WAVE 00:2.5 "));
    f->OnStop();
    f->OnToggleWaveView();
    EXPECT_FALSE(f->WaveViewOn());
    EXPECT_FALSE(f->ScopeBar()->HasAudio());
    CScopeBar::SetLoader(nullptr);
    // Without a loader the audio cannot be read: the user is told.
    f->OnToggleWaveView();
    EXPECT_TRUE(m_report.m_messages.contains(QStringLiteral("Audio file read failed")));
}

namespace {
void Drop(QWidget* target, const QString& path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
}
}

TEST_F(AppWindow, DroppedFilesOpenThroughTheSamePath)
{
    auto f = Frame();
    Drop(f.get(), Song(4, QStringLiteral("dropped.kdz")));
    ASSERT_EQ(f->MdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(f->MdiArea()->activeSubWindow()->windowTitle(), QStringLiteral("dropped.kdz[*]"));
    if (!DocFormats::FindOpen(QStringLiteral(".txt")))
        GTEST_SKIP() << "no text tab reader registered in this build";
    Drop(f.get(), QStringLiteral(KADENZO_SOURCE_DIR "/res/examples/rock_beat.txt"));
    ASSERT_EQ(f->MdiArea()->subWindowList().size(), 2);
    EXPECT_EQ(f->MdiArea()->activeSubWindow()->windowTitle(), QStringLiteral("rock_beat.txt[*]"));
    EXPECT_GT(f->ActiveDocument()->Events().size(), 10u);
}

TEST_F(AppWindow, RecentFilesKeepFourAndLayoutComesBack)
{
    {
        auto f = Frame();
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(f->OpenFile(Song(2, QStringLiteral("s%1.kdz").arg(i))));
        EXPECT_EQ(f->RecentFiles().size(), 4);
        EXPECT_TRUE(f->RecentFiles().first().endsWith(QStringLiteral("s4.kdz")));
        f->resize(900, 640);
        f->close();
    }
    EXPECT_TRUE(SettingsStore::Read(QStringLiteral("layout")).startsWith(QStringLiteral("900,640,")));
    CMainFrame g; // the saved size, not the tests' usual one
    EXPECT_EQ(g.size(), QSize(900, 640));
    EXPECT_EQ(g.RecentFiles().size(), 4);
    SettingsStore::Write(QStringLiteral("layout"), QStringLiteral("3,4"));
    CMainFrame damaged;
    EXPECT_EQ(damaged.size(), QSize(1200, 800)) << "a damaged value keeps the defaults";
}

TEST_F(AppWindow, IssuePaneListsIssuesAndShowsTheirPlace)
{
    // Line 30 (index 29) lies in the staff group that starts at index 28; the issue's column
    // is on that line's third bar.
    SetImportReportSource([](const CRondelDoc&) {
        SImportReport r;
        for (int line = 1; line <= 40; ++line)
            r.lines.push_back({line, QStringLiteral("STAFF LINE  "), QStringLiteral("HH|x-x-x-x-|")});
        SImportIssueRow issue;
        issue.line = 30;
        issue.column = 40;
        issue.message = QStringLiteral("Unknown instrument label");
        issue.groupLineIndex = 28;
        issue.barInLine = 2;
        r.issues.push_back(issue);
        return r;
    });
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(80)));
    // Bars 1, 5, 9, ... open imported lines 0, 4, 8, ...: bar 29 opens index 28.
    int n = 0;
    for (auto& e : f->ActiveDocument()->Events()) {
        if (!e.IsMeasure() || (n++ % 4) != 0)
            continue;
        e.m_word1 |= EventBits::ImportedLineStart;
        e.SetImportRef(uint32_t(n - 1) << 10);
    }
    f->IssuePane()->SetDocument(f->ActiveDocument());
    f->IndexPane()->SetDocument(f->ActiveDocument());
    ASSERT_EQ(f->IssuePane()->count(), 1);
    EXPECT_EQ(f->IssuePane()->item(0)->text(), QStringLiteral(" 30: Unknown instrument label"));
    EXPECT_EQ(f->IndexPane()->item(0)->text(), QStringLiteral("STAFF LINE      1:   HH|x-x-x-x-|"));
    const QRect r = f->IssuePane()->visualItemRect(f->IssuePane()->item(0));
    QTest::mouseClick(f->IssuePane()->viewport(), Qt::LeftButton, {}, r.center());
    EXPECT_EQ(f->IndexPane()->currentRow(), 29) << "the imported line is shown";
    n = 0;
    int top = 0;
    for (const auto& e : f->ActiveDocument()->Events())
        if (e.IsMeasure() && ++n == 31)
            top = LayoutStaffTop(e.GetLayoutPos());
    EXPECT_EQ(f->ActiveView()->ScrollY(), std::min(top - 100, f->ActiveView()->verticalScrollBar()->maximum()))
        << "bar 29 + 2 is shown";
    EXPECT_EQ(f->StatusText(), QStringLiteral("Import issue at line 30, column 41"));
}

TEST_F(AppWindow, ImportedTabFillsTheIndexAndIssuePanes)
{
    SKIP_WITHOUT_CORPUS();
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(CorpusDir() + QStringLiteral("/tabs/eecs-stan15g14__drum_-_so_cold_by_breaking_benjamin.txt")));
    EXPECT_GT(f->IndexPane()->count(), 60);
    EXPECT_TRUE(f->IndexPane()->item(0)->text().startsWith(QStringLiteral("STAFF LINE      1:   ")));
    ASSERT_GT(f->IssuePane()->count(), 2);
    EXPECT_TRUE(f->IssuePane()->item(0)->text().startsWith(QStringLiteral("  8: ")));
    const int before = f->ActiveView()->ScrollY();
    const SImportIssueRow late = f->IssuePane()->Issues().back();
    emit f->IssuePane()->itemClicked(f->IssuePane()->item(f->IssuePane()->count() - 1));
    EXPECT_EQ(f->IndexPane()->item(f->IndexPane()->currentRow())->data(Qt::UserRole).toInt(), late.line);
    EXPECT_GT(f->ActiveView()->ScrollY(), before) << "a late issue scrolls down to its bar";
}

TEST_F(AppWindow, ALongImportedTabFillsTheIndexAndIssuePanes)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(FixturesDir() + QStringLiteral("/tabs/long_with_issues.txt")));
    EXPECT_GT(f->IndexPane()->count(), 60);
    EXPECT_EQ(f->IndexPane()->item(0)->text(), QStringLiteral("HEADER          1:   Song: Long Road With Bumps"));
    // One for each of the three lines with a bar a tick or two long (evened out as read).
    ASSERT_EQ(f->IssuePane()->count(), 3);
    EXPECT_EQ(f->IssuePane()->item(0)->text(), QStringLiteral(" 13: Inconsistent number of ticks on this line"));
    const int before = f->ActiveView()->ScrollY();
    const SImportIssueRow late = f->IssuePane()->Issues().back();
    emit f->IssuePane()->itemClicked(f->IssuePane()->item(f->IssuePane()->count() - 1));
    EXPECT_EQ(f->IndexPane()->item(f->IndexPane()->currentRow())->data(Qt::UserRole).toInt(), late.line);
    EXPECT_GT(f->ActiveView()->ScrollY(), before) << "a late issue scrolls down to its bar";
}

TEST_F(AppWindow, CommentPaneListsBarTexts)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(6, QStringLiteral("c.kdz"), QStringLiteral("Chorus, play it twice"))));
    ASSERT_EQ(f->CommentPane()->count(), 1);
    EXPECT_EQ(f->CommentPane()->item(0)->text(), QStringLiteral("Chorus, play it twice"));
}

TEST_F(AppWindow, FilesPaneRebuildsOnlyWhenTheNamesChange)
{
    CFileView view;
    const QString folder = m_dir.filePath(QStringLiteral("Tabs"));
    QDir().mkpath(folder + QStringLiteral("/rock"));
    WriteSong(folder + QStringLiteral("/one.kdz"), 1);
    QFile(folder + QStringLiteral("/rock/ab.txt")).open(QIODevice::WriteOnly);
    view.SetFolder(folder);
    ASSERT_EQ(view.topLevelItemCount(), 2);
    EXPECT_EQ(view.topLevelItem(0)->text(0), QStringLiteral("Kadenzo Files"));
    EXPECT_EQ(view.topLevelItem(1)->text(0), QStringLiteral("Tab Files"));
    QTreeWidgetItem* tabs = view.topLevelItem(1);
    ASSERT_EQ(tabs->childCount(), 1);
    EXPECT_EQ(tabs->child(0)->text(0), QStringLiteral("rock"));
    EXPECT_EQ(tabs->child(0)->child(0)->text(0), QStringLiteral("ab.txt"));
    EXPECT_EQ(view.topLevelItem(0)->child(1)->text(0), QStringLiteral("one.kdz"));
    EXPECT_FALSE(view.Refresh());
    QFile(folder + QStringLiteral("/new.txt")).open(QIODevice::WriteOnly);
    EXPECT_TRUE(view.Refresh());
    QFile::rename(folder + QStringLiteral("/rock/ab.txt"), folder + QStringLiteral("/rock/ba.txt"));
    EXPECT_TRUE(view.Refresh()) << "a rename to a name of the same character sum is a change too";
    EXPECT_EQ(view.topLevelItem(1)->child(0)->child(0)->text(0), QStringLiteral("ba.txt"));
    EXPECT_FALSE(view.Refresh());
    // A link back to a parent folder is not walked.
    QFile::link(folder, folder + QStringLiteral("/rock/loop"));
    EXPECT_FALSE(view.Refresh());
    EXPECT_EQ(view.topLevelItem(1)->child(0)->childCount(), 1);
    QSignalSpy open(&view, &CFileView::OpenPath);
    QTreeWidgetItem* item = view.topLevelItem(0)->child(1);
    emit view.itemDoubleClicked(item, 0);
    ASSERT_EQ(open.count(), 1);
    EXPECT_TRUE(open.at(0).at(0).toString().endsWith(QStringLiteral("/one.kdz")));
    // A chosen folder is kept for the next start.
    view.ChooseFolder(folder + QStringLiteral("/rock"));
    EXPECT_EQ(CFileView::ChosenFolder(), folder + QStringLiteral("/rock"));
    EXPECT_EQ(view.topLevelItem(1)->childCount(), 1);
}

TEST_F(AppWindow, HeaderAndMidiOptionDialogs)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.m_header[Header::Song] = QStringLiteral("Tune");
    doc.m_header[Header::Copyright] = QStringLiteral("(c) someone");
    doc.m_audioFile = QStringLiteral("/a.mp3");
    CHeaderDialog dlg(doc);
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Header"));
    EXPECT_EQ(dlg.Field(Header::Song)->text(), QStringLiteral("Tune"));
    dlg.Field(Header::Drummer)->setText(QStringLiteral("Ringo"));
    EXPECT_FALSE(dlg.ApplyTo(doc)) << "same audio file";
    EXPECT_EQ(doc.m_header[Header::Drummer], QStringLiteral("Ringo"));
    EXPECT_EQ(doc.m_header[Header::Copyright], QStringLiteral("(c) someone"));
    dlg.AudioEdit()->setText(QStringLiteral("/b.wav"));
    EXPECT_TRUE(dlg.ApplyTo(doc));
    EXPECT_EQ(doc.m_audioFile, QStringLiteral("/b.wav"));

    CMidiImportDialog midi;
    EXPECT_EQ(midi.windowTitle(), QStringLiteral("Midi Import Options"));
    EXPECT_EQ(midi.m_snap, 1);
    EXPECT_EQ(midi.m_detectTriplets, 1);
    auto* box = midi.findChild<QCheckBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Auto detect triplets"));
    box->setChecked(false);
    midi.accept();
    EXPECT_EQ(midi.m_detectTriplets, 0);
}

TEST_F(AppWindow, FileMenuCarriesTheDocumentCommands)
{
    auto f = Frame();
    QMenu* file = f->menuBar()->findChildren<QMenu*>().value(0);
    ASSERT_NE(file, nullptr);
    QStringList texts;
    for (QAction* a : file->actions())
        texts << a->text();
    for (const char* t : {"Import Tab...", "Import Midi File...", "Export Midi File...", "Export Tab File...",
                          "Export Wave  File (write to CD)...", "&Open...", "&Save", "Save &As..."})
        EXPECT_TRUE(texts.contains(QString::fromLatin1(t))) << t;
}

TEST_F(AppWindow, SaveRefusesUnknownFormats)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(2)));
    EXPECT_FALSE(f->SaveDocumentAs(*f->ActiveDocument(), m_dir.filePath(QStringLiteral("x.doc"))));
    EXPECT_EQ(m_report.m_messages.value(0), QStringLiteral("Save aborted, unknown save format. Please choose .kdz, .mid or .txt"));
    const QString out = m_dir.filePath(QStringLiteral("again.kdz"));
    EXPECT_TRUE(f->SaveDocumentAs(*f->ActiveDocument(), out));
    EXPECT_TRUE(QFileInfo::exists(out));
    EXPECT_EQ(f->MdiArea()->activeSubWindow()->windowTitle(), QStringLiteral("again.kdz[*]"));
    // ".mid" and ".txt" write through the MIDI writer and the text tab exporter; the
    // document keeps its ".kdz" name.
    ASSERT_TRUE(f->SaveDocumentAs(*f->ActiveDocument(), m_dir.filePath(QStringLiteral("again.mid"))));
    EXPECT_TRUE(ReadAll(m_dir.filePath(QStringLiteral("again.mid"))).startsWith("MThd"));
    ASSERT_TRUE(f->SaveDocumentAs(*f->ActiveDocument(), m_dir.filePath(QStringLiteral("again.txt"))));
    EXPECT_TRUE(ReadAll(m_dir.filePath(QStringLiteral("again.txt"))).contains("|"));
    EXPECT_EQ(f->MdiArea()->activeSubWindow()->windowTitle(), QStringLiteral("again.kdz[*]"));
}

TEST_F(AppWindow, ProgramStartsAndQuitsAfterLoading)
{
    const QString song = Song(4);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), m_dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("config")));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KADENZO_APP), {QStringLiteral("--quit-after-load"), song});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    p.start(QStringLiteral(KADENZO_APP), {QStringLiteral("--quit-after-load"), m_dir.filePath(QStringLiteral("none.kdz"))});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_NE(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardError().contains("none.kdz"));
    // A MIDI file opens without waiting for its options dialog; the example tab opens too.
    p.start(QStringLiteral(KADENZO_APP), {QStringLiteral("--quit-after-load"), FixturesDir() + QStringLiteral("/midi/rock_120.mid"),
                                         QStringLiteral(KADENZO_SOURCE_DIR "/res/examples/rock_beat.txt")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

TEST_F(AppWindow, MeasurePlayPlaysOneBarAndThePlayTempoBoxSetsTheSpeed)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(4)));
    f->OnMeasurePlay();
    EXPECT_EQ(f->Transport()->m_mplay->property("look").toString(), QStringLiteral("playing"));
    Advance(*f, 1900);
    EXPECT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);
    Advance(*f, 400); // the bar ends at 2 s; the stream closes four polls later
    EXPECT_EQ(f->ActivePlayer()->State(), PlayerState::Stopped) << "one bar only";
    EXPECT_EQ(f->Transport()->m_mplay->property("look").toString(), QStringLiteral("idle"));
    // 240 BPM in the play tempo box: a 4/4 bar lasts one second.
    f->Transport()->SetCurrentTempo(240);
    f->OnPlay();
    Advance(*f, 1500);
    EXPECT_EQ(f->ActiveView()->PlayMeasure(), 2);
    f->OnStop();
    f->OnDefaultTempo();
    EXPECT_EQ(f->Transport()->CurrentTempo(), 0);
}

TEST_F(AppWindow, MouseOverTheTimeSignatureBoxNamesTheMeasure)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(8)));
    CRondelView* view = f->ActiveView();
    int n = 0;
    QPoint lead;
    for (const auto& e : view->Doc().Events())
        if (e.IsMeasure() && ++n == 3)
            lead = QPoint(LayoutBarX(e.GetLayoutPos()) + 4, LayoutStaffTop(e.GetLayoutPos()) + 10);
    view->GotoBar(3); // bring it into the window
    QTest::mouseMove(view->viewport(), lead - QPoint(view->horizontalScrollBar()->value(), view->verticalScrollBar()->value()));
    EXPECT_EQ(f->StatusText(), QStringLiteral("MOUSE OVER: measure 3, 32nd note position -1"));
    EXPECT_FALSE(view->HoverCells()[0].isEmpty()) << "the time-signature box";
    EXPECT_TRUE(view->HoverCells()[2].isEmpty());
    // Over the snare line of the fifth 32nd: the staff band, a tab row and the count cell.
    const CEvent* bar3 = nullptr;
    n = 0;
    for (const auto& e : view->Doc().Events())
        if (e.IsMeasure() && ++n == 3)
            bar3 = &e;
    const int cellX = LayoutBarX(bar3->GetLayoutPos()) + view->Renderer().Lead(*bar3) + 8 * 4;
    const QPoint note(cellX + 3, LayoutStaffTop(bar3->GetLayoutPos()) + 13);
    QTest::mouseMove(view->viewport(), note - QPoint(view->horizontalScrollBar()->value(), view->verticalScrollBar()->value()));
    EXPECT_EQ(f->StatusText(), QStringLiteral("MOUSE OVER: measure 3, 32nd note position 4"));
    for (const QRect& cell : view->HoverCells()) {
        EXPECT_FALSE(cell.isEmpty());
        EXPECT_EQ(cell.left(), cellX);
        EXPECT_EQ(cell.width(), 8);
    }
    EXPECT_TRUE(view->HoverCells()[0].contains(note)) << "the staff band under the pointer";
}

TEST_F(AppWindow, MidiDeviceMenuListsTheEmbeddedSynthesizerFirst)
{
    CMainFrame::SetMidiDeviceList(
        [] { return QStringList{QStringLiteral("Synth"), QStringLiteral("USB Drums"), QStringLiteral("Port 2")}; });
    SettingsStore::Write(QStringLiteral("midi_device"), QStringLiteral("Port 2"));
    {
        CMainFrame f;
        QMenu* menu = f.findChild<QMenu*>(QStringLiteral("MidiDeviceMenu"));
        ASSERT_NE(menu, nullptr);
        emit menu->aboutToShow();
        const QList<QAction*> items = menu->actions();
        ASSERT_EQ(items.size(), 3);
        EXPECT_EQ(items[0]->text(), QStringLiteral("&Synth"));
        EXPECT_TRUE(items[2]->isChecked()) << "the saved name is found again";
        items[1]->trigger();
        EXPECT_EQ(SettingsStore::Read(QStringLiteral("midi_device")), QStringLiteral("USB Drums"));
    }
    SettingsStore::Write(QStringLiteral("midi_device"), QStringLiteral("Gone"));
    CMainFrame g;
    QMenu* menu = g.findChild<QMenu*>(QStringLiteral("MidiDeviceMenu"));
    emit menu->aboutToShow();
    EXPECT_TRUE(menu->actions()[0]->isChecked()) << "a device that is gone selects the first entry";
    RegisterAppFormats(); // puts the real list back (idempotent)
    AttachAppToLayers();
}

TEST_F(AppWindow, ZoneTooltipsNameWhatAClickDoes)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(8)));
    CRondelView* view = f->ActiveView();
    const CEvent* bar3 = nullptr;
    int n = 0;
    for (const auto& e : view->Doc().Events())
        if (e.IsMeasure() && ++n == 3)
            bar3 = &e;
    ASSERT_NE(bar3, nullptr);
    const int x = LayoutBarX(bar3->GetLayoutPos());
    const int top = LayoutStaffTop(bar3->GetLayoutPos());
    const int lead = view->Renderer().Lead(*bar3);
    auto tipAt = [&](QPoint layoutPt) {
        QToolTip::hideText();
        const QPoint p = layoutPt - QPoint(view->horizontalScrollBar()->value(), view->verticalScrollBar()->value());
        QHelpEvent e(QEvent::ToolTip, p, view->viewport()->mapToGlobal(p));
        QApplication::sendEvent(view->viewport(), &e);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    EXPECT_EQ(tipAt({x + 2, top + 8}), QStringLiteral("Time Signature Box: Left click to launch configuration dialog"));
    EXPECT_EQ(tipAt({x + lead + 20, top + 10}),
              QStringLiteral("Note Area: Left click to add/remove note or keyboard shortcut (F1 for help)"));
    EXPECT_EQ(tipAt({x + lead + 20, top + view->Renderer().StaffBottom(*bar3) - 2}),
              QStringLiteral("Count Bar: Left click sets insert point. Drag, dbl-click or ctrl-click selects"));
    view->ScrollToY(0);
    EXPECT_EQ(tipAt({30, 5}), QStringLiteral("Header area: Left click to launch header dialog"));
    QToolTip::hideText();
}


TEST_F(AppWindow, PrintsTheSongPageByPage)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(120)));
    const QSize before = f->ActiveView()->LayoutSize();
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = m_dir.filePath(QStringLiteral("song.pdf"));
    printer.setOutputFileName(pdf);
    f->PrintTo(&printer);
    const QByteArray bytes = ReadAll(pdf);
    ASSERT_TRUE(bytes.startsWith("%PDF"));
    EXPECT_GT(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r") + bytes.count("/Type/Page") + bytes.count("/Type /Page "), 1)
        << "120 bars need more than one page";
    EXPECT_TRUE(m_report.m_messages.isEmpty());
    EXPECT_EQ(f->ActiveView()->LayoutSize(), before) << "the window's layout comes back";
}

TEST_F(AppWindow, ClosingAPlayingSongStopsItAndLeavesThePanesEmpty)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(QStringLiteral(KADENZO_SOURCE_DIR "/res/examples/rock_beat.txt")));
    f->OnLoop();
    Advance(*f, 700);
    ASSERT_EQ(CMidi::GetPlayState(), PlayerState::Playing);
    EXPECT_GT(f->IndexPane()->count(), 5);
    f->MdiArea()->closeActiveSubWindow();
    QApplication::processEvents();
    EXPECT_EQ(f->MdiArea()->subWindowList().size(), 0);
    EXPECT_EQ(CMidi::GetPlayState(), PlayerState::Stopped);
    EXPECT_EQ(f->ActiveDocument(), nullptr);
    EXPECT_EQ(f->IndexPane()->count(), 0);
    EXPECT_EQ(f->Transport()->m_loop->property("look").toString(), QStringLiteral("idle"));
    // The transport does nothing without a document.
    f->OnPlay();
    f->OnStop();
    EXPECT_FALSE(f->LocateTime(5000));
}

TEST_F(AppWindow, KeysAndZoomButtonsReachTheTransport)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(4)));
    f->activateWindow();
    f->ActiveView()->setFocus();
    QTest::keyClick(f->ActiveView(), Qt::Key_L);
    EXPECT_EQ(CMidi::GetPlayState(), PlayerState::Playing) << "L loops";
    QTest::keyClick(f->ActiveView(), Qt::Key_P);
    EXPECT_EQ(CMidi::GetPlayState(), PlayerState::Paused) << "P pauses a playing song";
    f->OnStop();
    // PLUS and MINUS step the zoom; a double click goes to the end of the range.
    QTest::mouseClick(f->Transport()->m_plus, Qt::LeftButton);
    EXPECT_EQ(f->ActiveDocument()->m_waveZoom, 3);
    QTest::mouseDClick(f->Transport()->m_plus, Qt::LeftButton);
    EXPECT_EQ(f->ActiveDocument()->m_waveZoom, 41);
    QTest::mouseClick(f->Transport()->m_minus, Qt::LeftButton);
    EXPECT_EQ(f->ActiveDocument()->m_waveZoom, 39);
    QTest::mouseDClick(f->Transport()->m_minus, Qt::LeftButton);
    EXPECT_EQ(f->ActiveDocument()->m_waveZoom, 1);
}

namespace {
// A mono 16-bit 22 050 Hz WAV of `seconds` with a click every half second.
void WriteClickWave(const QString& path, int seconds)
{
    const int rate = 22050;
    QByteArray data;
    for (int i = 0; i < rate * seconds; ++i) {
        const int into = i % (rate / 2);
        const int16_t v = into < 200 ? int16_t(20000 - into * 100) : 0;
        data.append(char(v & 0xFF));
        data.append(char((v >> 8) & 0xFF));
    }
    QByteArray wav = "RIFF" + U32(uint32_t(36 + data.size())) + "WAVEfmt " + U32(16) + U16(1) + U16(1) + U32(rate)
        + U32(rate * 2) + U16(2) + U16(16) + "data" + U32(uint32_t(data.size())) + data;
    ASSERT_TRUE(WriteAll(path, wav));
}
}

TEST_F(AppWindow, ImportAudioFileAttachesTheRecordingThroughTheHeaderDialog)
{
    auto f = Frame();
    ASSERT_TRUE(f->OpenFile(Song(4)));
    const QString wav = m_dir.filePath(QStringLiteral("take.wav"));
    WriteClickWave(wav, 6);
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<CHeaderDialog*>(QApplication::activeModalWidget());
        if (!dlg)
            return;
        seen = true;
        dlg->AudioEdit()->setText(wav);
        dlg->accept();
    });
    // "Import Audio File..." opens the header dialog; OK with a new path loads the recording.
    for (QAction* a : f->menuBar()->actions()[0]->menu()->actions())
        if (a->text() == QStringLiteral("Import Audio File...")) {
            a->trigger();
            break;
        }
    ASSERT_TRUE(seen);
    EXPECT_EQ(f->ActiveDocument()->m_audioFile, wav);
    EXPECT_TRUE(f->WaveViewOn());
    ASSERT_TRUE(f->ScopeBar()->HasAudio());
    // One second of silence is put before a WAV recording: 7 s in all.
    EXPECT_EQ(f->ScopeBar()->DurationMsecs(), 7000);
    EXPECT_TRUE(f->ScopeDock()->isVisible());
}
