#pragma once
// The ground of the editing tests: songs written from a compact notation, a main window that
// opens them, and the points on the staff, the count row and the time-signature box to click.
#include "clipboard.h"
#include "drumlayout.h"
#include "editcontroller.h"
#include "mainframe.h"
#include "mainwindowtest.h"
#include "rondeldoc.h"
#include "rondelview.h"
#include "songnotation.h"
#include "track.h"
#include "viewrenderer.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QMdiArea>
#include <QMessageBox>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Failures show songs and messages as text.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace EditingTest {

inline QStringList Describe(const CRondelDoc& doc)
{
    return DescribeSong(doc.Events());
}

// Writes a song from the notation of songnotation.h; the first bar gets tempo 120.
inline void WriteSong(const QString& path, const QStringList& items)
{
    CRondelDoc doc;
    doc.OnNewDocument();
    doc.DeleteContents();
    AppendSongItems(doc.Events(), items, TempoBits(120));
    QString error;
    ASSERT_TRUE(doc.OnSaveDocument(path, &error)) << error.toStdString();
}

class Editing : public CMainWindowTest
{
protected:
    void SetUp() override
    {
        CMainWindowTest::SetUp();
        DrumLayout::SetCurrent(DrumLayout::UsUkStandard());
    }
    void TearDown() override
    {
        DrumLayout::SetCurrent(DrumLayout::UsUkStandard());
        CMainWindowTest::TearDown();
    }
    // Opens a song written from the notation above in a new main window.
    std::unique_ptr<CMainFrame> Open(const QStringList& items, const QString& name = QStringLiteral("edit.kdz"))
    {
        const QString path = m_dir.filePath(name);
        WriteSong(path, items);
        auto f = std::make_unique<CMainFrame>();
        f->resize(1000, 700);
        f->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(f.get()));
        EXPECT_TRUE(f->OpenFile(path));
        // Every song opened counts as changed; these tests start from a saved one.
        f->ActiveDocument()->SetModifiedFlag(false);
        f->UpdateDocumentTitle(*f->ActiveDocument());
        f->SetSaveQuestion([](const QString&) { return int(QMessageBox::Discard); });
        return f;
    }
    CRondelView& View(CMainFrame& f) { return *f.ActiveView(); }
    SBarGeometry Geometry(CMainFrame& f, int bar)
    {
        const CEvent* ev = CTrack::Of(*f.ActiveDocument())->FindBar(bar);
        EXPECT_NE(ev, nullptr);
        return ev ? CTrack::GeometryOf(*ev) : SBarGeometry{};
    }
    int TickX(CMainFrame& f, int bar, int tick)
    {
        const CEvent* ev = CTrack::Of(*f.ActiveDocument())->FindBar(bar);
        return Geometry(f, bar).x + View(f).Renderer().Lead(*ev) + tick * 8 + 4;
    }
    // The point of a drum on the staff at a bar and tick (layout = viewport: no scrolling).
    QPoint DrumPoint(CMainFrame& f, int bar, int tick, int key)
    {
        return QPoint(TickX(f, bar, tick), Geometry(f, bar).staffTop + 40 - 4 * DrumLayout::Position(key));
    }
    QPoint CountPoint(CMainFrame& f, int bar, int tick)
    {
        const SBarGeometry g = Geometry(f, bar);
        return QPoint(tick < 0 ? g.x + 3 : TickX(f, bar, tick), g.staffTop + (g.B + 8 + g.S) / 2);
    }
    QPoint BoxPoint(CMainFrame& f, int bar)
    {
        const SBarGeometry g = Geometry(f, bar);
        return QPoint(g.x + 4, g.staffTop + 12);
    }
    // Layout units to the viewport (the view may have scrolled to follow the player).
    // Mouse moves reach the view only inside it: with `intoSight` the view scrolls there first.
    QPoint Screen(CMainFrame& f, const QPoint& p, bool intoSight = false)
    {
        CRondelView& view = View(f);
        const int y = p.y() - view.verticalScrollBar()->value();
        if (intoSight && (y < 10 || y > view.viewport()->height() - 10))
            view.ScrollToY(p.y() - view.viewport()->height() / 2);
        return p - QPoint(View(f).horizontalScrollBar()->value(), View(f).verticalScrollBar()->value());
    }
    void Click(CMainFrame& f, const QPoint& layout, Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseClick(View(f).viewport(), Qt::LeftButton, mods, Screen(f, layout));
    }
    void Hover(CMainFrame& f, const QPoint& layout)
    {
        const QPoint p = Screen(f, layout, true);
        // Two moves: the view ignores moves of a single unit. Sent straight to the view, so
        // that no tooltip or other window under the pointer takes them.
        QWidget* vp = View(f).viewport();
        for (const QPoint& at : {p + QPoint(0, 5), p}) {
            QMouseEvent move(QEvent::MouseMove, QPointF(at), QPointF(vp->mapToGlobal(at)), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(vp, &move);
        }
    }
    void Key(CMainFrame& f, Qt::Key key, Qt::KeyboardModifiers mods = {}, bool autoRepeat = false)
    {
        QKeyEvent press(QEvent::KeyPress, key, mods, QString(), autoRepeat);
        QApplication::sendEvent(&View(f), &press);
    }
    void Drag(CMainFrame& f, const QPoint& layoutFrom, const QPoint& layoutTo)
    {
        const QPoint from = Screen(f, layoutFrom);
        const QPoint to = Screen(f, layoutTo);
        QWidget* vp = View(f).viewport();
        QTest::mousePress(vp, Qt::LeftButton, {}, from);
        QTest::mouseMove(vp, (from + to) / 2);
        QTest::mouseMove(vp, to);
        QTest::mouseRelease(vp, Qt::LeftButton, {}, to);
    }
    bool Enabled(CMainFrame& f, const char* name)
    {
        f.UpdateEditActions();
        QAction* a = f.EditAction(QString::fromLatin1(name));
        return a && a->isEnabled();
    }
};

} // namespace EditingTest
