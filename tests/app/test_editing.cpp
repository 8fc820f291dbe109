// Editing in the real main window, offscreen: clicks on the staff, selections, the Edit menu and
// the clipboard, keys at the mouse, markers, play ranges, and the "save changes?" question.
#include "bardialog.h"
#include "clipboard.h"
#include "drumlayout.h"
#include "editcontroller.h"
#include "mainframe.h"
#include "mainwindowtest.h"
#include "manualclock.h"
#include "midi.h"
#include "mididevices.h"
#include "midistream.h"
#include "appwiring.h"
#include "player.h"
#include "playclock.h"
#include "report.h"
#include "rondeldoc.h"
#include "rondelview.h"
#include "settings.h"
#include "track.h"
#include "viewrenderer.h"

#include <QAction>
#include <QCheckBox>
#include <QSpinBox>
#include <QApplication>
#include <QClipboard>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include "testutil.h"

#include <gtest/gtest.h>

#include "editingtest.h"

namespace {

using namespace EditingTest;


TEST_F(Editing, ClicksAddAndRemoveTheDrumOfTheLayoutInForce)
{
    auto f = Open(L("B 42@0 B B"));
    CRondelDoc& doc = *f->ActiveDocument();
    Click(*f, DrumPoint(*f, 1, 4, 38));
    EXPECT_EQ(Describe(doc), L("B 42@0 38@48 B B"));
    EXPECT_TRUE(doc.IsModified());
    EXPECT_TRUE(f->MdiArea()->activeSubWindow()->isWindowModified());
    Click(*f, DrumPoint(*f, 1, 4, 38));
    EXPECT_EQ(Describe(doc), L("B 42@0 B B"));
    // The top step gives the cymbal default, the bottom one the foot default.
    Click(*f, DrumPoint(*f, 2, 0, 42));
    Click(*f, DrumPoint(*f, 2, 8, 36));
    EXPECT_EQ(Describe(doc), L("B 42@0 B 42@0 36@96 B"));
    f->OnUndo();
    EXPECT_EQ(Describe(doc), L("B 42@0 B 42@0 B"));
    f->OnRedo();
    EXPECT_EQ(Describe(doc), L("B 42@0 B 42@0 36@96 B"));

    // The French layout puts the snare lower, the crash above the staff and the hi-hat foot
    // below it: clicks follow the layout in force.
    DrumLayout::SetCurrent(DrumLayout::FranceStandard());
    doc.UpdateAllViews();
    Click(*f, DrumPoint(*f, 1, 16, 49));
    Click(*f, DrumPoint(*f, 1, 20, 44));
    Click(*f, DrumPoint(*f, 1, 24, 38));
    EXPECT_EQ(Describe(doc), L("B 42@0 49@192 44@240 38@288 B 42@0 36@96 B"));
}

TEST_F(Editing, MeasureRepeatsAndTheRunningPlayerRefuseEdits)
{
    auto f = Open(L("B 36@0 R1x1 B 36@0 B"));
    CRondelDoc& doc = *f->ActiveDocument();
    Click(*f, DrumPoint(*f, 2, 4, 38));
    EXPECT_EQ(Describe(doc), L("B 36@0 R1x1 B 36@0 B"));
    ASSERT_EQ(m_report.m_messages.size(), 1);
    EXPECT_EQ(m_report.m_messages.back(), QString::fromLatin1(kNoNotesInRepeat));

    // While playing or paused the song stays as it is; undo stops the player first.
    Click(*f, DrumPoint(*f, 1, 8, 38));
    f->OnPlay();
    ASSERT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);
    Advance(*f, 300);
    Click(*f, DrumPoint(*f, 1, 4, 38)); // moves playback, adds nothing
    EXPECT_EQ(Describe(doc), L("B 36@0 38@96 R1x1 B 36@0 B"));
    Hover(*f, DrumPoint(*f, 1, 8, 38));
    Key(*f, Qt::Key_Delete);
    EXPECT_EQ(m_report.m_messages.back(), QString::fromLatin1(EditText::kNotWhilePlaying));
    EXPECT_EQ(Describe(doc), L("B 36@0 38@96 R1x1 B 36@0 B"));
    f->OnMeasurePlay(); // pause
    ASSERT_EQ(f->ActivePlayer()->State(), PlayerState::Paused);
    Hover(*f, BoxPoint(*f, 3));
    Key(*f, Qt::Key_Delete);
    EXPECT_EQ(Describe(doc), L("B 36@0 38@96 R1x1 B 36@0 B"));
    f->OnPlay();
    f->OnUndo();
    EXPECT_EQ(f->ActivePlayer()->State(), PlayerState::Stopped);
    EXPECT_EQ(Describe(doc), L("B 36@0 R1x1 B 36@0 B"));
    Advance(*f, 3000); // polling after the reload must not touch the old song
    f->OnPlay();
    Advance(*f, 500);
    EXPECT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);
    f->OnStop();
}

TEST_F(Editing, SelectionCursorAndStatusText)
{
    auto f = Open(L("B 42@0 42@48 42@96 B 38@0 B"));
    CRondelView& view = View(*f);
    Click(*f, CountPoint(*f, 2, 8));
    EXPECT_EQ(view.Edit().SelType(), CEditController::SelCursor);
    EXPECT_EQ(view.CursorBar(), 2);
    EXPECT_EQ(view.CursorTick(), 8);
    EXPECT_EQ(f->StatusText(), QStringLiteral("Cursor: measure 2 8/32nd @ time 00:2.5 "));
    // The cursor stays inside the song.
    Click(*f, CountPoint(*f, 1, 0));
    Key(*f, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(view.CursorBar(), 1);
    EXPECT_EQ(view.CursorTick(), 0);
    EXPECT_EQ(f->StatusText(), QStringLiteral("Cursor: measure 1 0/32nd @ time 00:0.0 "));
    Key(*f, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(view.CursorTick(), 1);

    // A drag inside bar 1 from tick 3 to tick 9 takes the notes at 4 and 8.
    Drag(*f, CountPoint(*f, 1, 3), CountPoint(*f, 1, 9));
    ASSERT_EQ(view.Edit().SelType(), CEditController::SelRange);
    EXPECT_EQ(view.Edit().Range().m_tickDn, 4);
    EXPECT_EQ(view.Edit().Range().m_tickUp, 8);
    EXPECT_FALSE(view.SelectionRects().empty());
    // A drag over nothing is refused with the message.
    Drag(*f, CountPoint(*f, 1, 13), CountPoint(*f, 1, 20));
    EXPECT_EQ(view.Edit().SelType(), CEditController::SelNone);
    EXPECT_EQ(m_report.m_messages.back(), QString::fromLatin1(EditText::kEmptySelection));
    // The measure-select area takes the whole bar; Ctrl-click to the end; Esc clears.
    Click(*f, CountPoint(*f, 2, -1));
    ASSERT_EQ(view.Edit().SelType(), CEditController::SelRange);
    EXPECT_EQ(view.Edit().Range().m_barDn, 2);
    EXPECT_EQ(view.Edit().Range().m_barUp, 2);
    Click(*f, CountPoint(*f, 1, 6), Qt::ControlModifier);
    EXPECT_EQ(view.Edit().Range().m_barDn, 1);
    EXPECT_EQ(view.Edit().Range().m_tickDn, 8);
    EXPECT_EQ(view.Edit().Range().m_barUp, 3);
    Key(*f, Qt::Key_Escape);
    EXPECT_EQ(view.Edit().SelType(), CEditController::SelNone);
    EXPECT_TRUE(view.SelectionRects().empty());
}

TEST_F(Editing, EditMenuCopiesPastesCutsAndUndoes)
{
    auto f = Open(L("B 36@0 B 38@0 B 42@0 B"));
    CRondelDoc& doc = *f->ActiveDocument();
    EXPECT_FALSE(Enabled(*f, "EditUndo"));
    EXPECT_FALSE(Enabled(*f, "EditCopy"));
    EXPECT_FALSE(Enabled(*f, "EditCut"));
    // Bars 1 and 2, copied to the end of the song.
    Drag(*f, CountPoint(*f, 1, -1), CountPoint(*f, 2, 20));
    ASSERT_TRUE(Enabled(*f, "EditCopy"));
    EXPECT_TRUE(Enabled(*f, "EditCut"));
    f->OnCopy();
    ASSERT_TRUE(QApplication::clipboard()->mimeData()->hasFormat(QString::fromLatin1(kKadenzoMimeType)));
    Click(*f, CountPoint(*f, 3, 0));
    EXPECT_TRUE(Enabled(*f, "EditPaste"));
    f->OnPaste();
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 36@0 B 38@0 B 42@0 B"));
    EXPECT_TRUE(Enabled(*f, "EditUndo"));
    // Cut takes bar 3 away and Delete (the menu's, the same path as the key) bar 1.
    Click(*f, CountPoint(*f, 3, -1));
    f->OnCut();
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 38@0 B 42@0 B"));
    Click(*f, CountPoint(*f, 1, -1));
    f->OnDelete();
    EXPECT_EQ(Describe(doc), L("B 38@0 B 38@0 B 42@0 B"));
    EXPECT_EQ(doc.Events().front().GetTempo(), 120u) << "the song keeps its tempo";
    f->OnUndo();
    f->OnUndo();
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 36@0 B 38@0 B 42@0 B"));
    EXPECT_TRUE(Enabled(*f, "EditRedo"));
    f->OnRedo();
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 38@0 B 42@0 B"));
}

TEST_F(Editing, KeysActAtTheMouseAndHeldKeysActOnce)
{
    auto f = Open(L("B 42@0 42@48 38@96 B B"));
    CRondelDoc& doc = *f->ActiveDocument();
    // K twice at the same place: in, then out again. A held K adds it once.
    Hover(*f, DrumPoint(*f, 2, 8, 36));
    Key(*f, Qt::Key_K);
    EXPECT_EQ(Describe(doc), L("B 42@0 42@48 38@96 B 36@96 B"));
    Key(*f, Qt::Key_K, {}, true);
    EXPECT_EQ(Describe(doc), L("B 42@0 42@48 38@96 B 36@96 B"));
    Key(*f, Qt::Key_K);
    EXPECT_EQ(Describe(doc), L("B 42@0 42@48 38@96 B B"));

    // Del on a hovered hi-hat removes it; a second Del there finds nothing left to remove.
    Hover(*f, DrumPoint(*f, 1, 4, 42));
    ASSERT_NE(View(*f).Hover().note, nullptr);
    Key(*f, Qt::Key_Delete);
    EXPECT_EQ(Describe(doc), L("B 42@0 38@96 B B"));
    EXPECT_EQ(View(*f).Hover().note, nullptr);
    Key(*f, Qt::Key_Delete);
    EXPECT_EQ(Describe(doc), L("B 42@0 38@96 B B"));

    // Accent on the hovered snare, then ghost replaces it; Up raises the key by one.
    Hover(*f, DrumPoint(*f, 1, 8, 38));
    Key(*f, Qt::Key_A);
    EXPECT_TRUE(std::next(doc.Events().begin(), 2)->IsAccent());
    Key(*f, Qt::Key_G);
    EXPECT_TRUE(std::next(doc.Events().begin(), 2)->IsGhost());
    EXPECT_FALSE(std::next(doc.Events().begin(), 2)->IsAccent());

    // Right jogs the hovered snare one tick; holding it is one undo step.
    const int steps = doc.UndoHistory().UndoSteps();
    Key(*f, Qt::Key_Right);
    Key(*f, Qt::Key_Right, {}, true);
    Key(*f, Qt::Key_Right, {}, true);
    EXPECT_EQ(Describe(doc), L("B 42@0 38@132 B B"));
    EXPECT_EQ(doc.UndoHistory().UndoSteps(), steps + 1);
    f->OnUndo();
    EXPECT_EQ(Describe(doc), L("B 42@0 38@96 B B"));

    // Time signature digits over the box; a shorter bar that would lose notes is refused.
    Hover(*f, BoxPoint(*f, 2));
    Key(*f, Qt::Key_3);
    Key(*f, Qt::Key_4);
    EXPECT_EQ(Describe(doc), L("B 42@0 38@96 B3/4 B"));
    Hover(*f, BoxPoint(*f, 1));
    Key(*f, Qt::Key_2);
    Key(*f, Qt::Key_8);
    EXPECT_EQ(Describe(doc), L("B 42@0 38@96 B3/4 B"));
    EXPECT_EQ(m_report.m_messages.back(), QString::fromLatin1(EditText::kNotesPastBarEnd));
}

TEST_F(Editing, MarkersAndPlayRanges)
{
    auto f = Open(L("B 36@0 B 38@0 B 42@0 B"));
    CRondelDoc& doc = *f->ActiveDocument();
    Hover(*f, BoxPoint(*f, 2));
    Key(*f, Qt::Key_BracketLeft);
    EXPECT_EQ(doc.m_pStartMarker, &*std::next(doc.Events().begin(), 2));
    Key(*f, Qt::Key_BracketLeft);
    EXPECT_EQ(doc.m_pStartMarker, nullptr);
    Key(*f, Qt::Key_BracketRight);
    EXPECT_NE(doc.m_pEndMarker, nullptr);
    // Esc leaves the markers alone; Home clears them.
    Key(*f, Qt::Key_Escape);
    EXPECT_NE(doc.m_pEndMarker, nullptr);
    Key(*f, Qt::Key_Home);
    EXPECT_EQ(doc.m_pEndMarker, nullptr);
    // The closing bar line cannot carry a marker (it would loop over nothing).
    EXPECT_FALSE(View(*f).Edit().ToggleStartMarker(4));
    EXPECT_EQ(doc.m_pStartMarker, nullptr);
    ASSERT_FALSE(m_report.m_messages.isEmpty());
    EXPECT_EQ(m_report.m_messages.back(), QString::fromLatin1(EditText::kNoMarkerOnClosingBar));

    // LOOP over bars 2 and 3 plays them again and again.
    Drag(*f, CountPoint(*f, 2, -1), CountPoint(*f, 3, 20));
    ASSERT_EQ(View(*f).Edit().SelType(), CEditController::SelRange);
    f->OnLoop();
    ASSERT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);
    Advance(*f, 500);
    EXPECT_EQ(View(*f).PlayMeasure(), 2);
    Advance(*f, 2000);
    EXPECT_EQ(View(*f).PlayMeasure(), 3);
    Advance(*f, 2000);
    EXPECT_EQ(View(*f).PlayMeasure(), 2);
    EXPECT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);
    f->OnStop();
}

TEST_F(Editing, ChangedSongsAskBeforeClosingAndShowTheMark)
{
    auto f = Open(L("B 36@0 B"));
    CRondelDoc& doc = *f->ActiveDocument();
    QMdiSubWindow* sub = f->MdiArea()->activeSubWindow();
    EXPECT_FALSE(sub->isWindowModified());
    EXPECT_EQ(sub->windowTitle(), QStringLiteral("edit.kdz[*]"));
    Click(*f, DrumPoint(*f, 1, 8, 38));
    EXPECT_TRUE(sub->isWindowModified());

    QStringList asked;
    f->SetSaveQuestion([&](const QString& title) {
        asked << title;
        return int(QMessageBox::Cancel);
    });
    EXPECT_FALSE(sub->close());
    EXPECT_EQ(asked, QStringList{QStringLiteral("edit.kdz")});
    EXPECT_FALSE(f->close()) << "Cancel keeps the program running";
    EXPECT_EQ(f->MdiArea()->subWindowList().size(), 1);

    // Save writes the song and closes.
    f->SetSaveQuestion([](const QString&) { return int(QMessageBox::Save); });
    EXPECT_TRUE(sub->close());
    QApplication::processEvents();
    CRondelDoc saved;
    ASSERT_TRUE(saved.OnOpenDocument(m_dir.filePath(QStringLiteral("edit.kdz"))));
    EXPECT_EQ(Describe(saved), L("B 36@0 38@96 B"));
    (void)doc;
}

TEST_F(Editing, SpecialAndInstrumentMenusActOnTheRange)
{
    auto f = Open(L("B 42@0 42@24 42@48 42@72 B 38@0 B"));
    CRondelDoc& doc = *f->ActiveDocument();
    CRondelView& view = View(*f);
    // Three 16ths become a triplet; the note after them moves up to its place.
    Drag(*f, CountPoint(*f, 1, 0), CountPoint(*f, 1, 4));
    EXPECT_EQ(view.Edit().TripletState(), 2);
    f->EditAction(QStringLiteral("SpecialTripletJog"))->trigger();
    EXPECT_EQ(Describe(doc), L("B 42@0 42@16 42@32 42@48 B 38@0 B"));
    EXPECT_TRUE(std::next(doc.Events().begin(), 2)->IsTriplet());
    // A range over a bar line is no triplet, and the menu then changes nothing.
    Drag(*f, CountPoint(*f, 1, 2), CountPoint(*f, 2, 0));
    EXPECT_EQ(view.Edit().TripletState(), 0);
    f->EditAction(QStringLiteral("SpecialTriplet"))->trigger();
    EXPECT_EQ(Describe(doc), L("B 42@0 42@16 42@32 42@48 B 38@0 B"));
    f->OnUndo();
    EXPECT_EQ(Describe(doc), L("B 42@0 42@24 42@48 42@72 B 38@0 B"));

    // Note lengths re-space the range; lengths that would push notes out are refused.
    Click(*f, CountPoint(*f, 1, -1));
    f->EditAction(QStringLiteral("SpecialLength8"))->trigger();
    EXPECT_EQ(Describe(doc), L("B 42@0 42@96 42@192 42@288 B 38@0 B"));
    f->EditAction(QStringLiteral("SpecialLength16"))->trigger();
    EXPECT_EQ(Describe(doc), L("B 42@0 42@96 42@192 42@288 B 38@0 B"));
    ASSERT_FALSE(m_report.m_messages.isEmpty());
    EXPECT_EQ(m_report.m_messages.back(), QString::fromLatin1(EditText::kNotesPastBarEnd));
    // An instrument command replaces its group's drums in the range.
    f->EditAction(QStringLiteral("Instrument46"))->trigger();
    EXPECT_EQ(Describe(doc), L("B 46@0 46@96 46@192 46@288 B 38@0 B"));
    // Without a range it sets the default; Space puts a rest at the cursor.
    Key(*f, Qt::Key_Escape);
    f->EditAction(QStringLiteral("Instrument40"))->trigger();
    EXPECT_EQ(view.Edit().DefaultOf(MenuGroup::Snare), 40);
    Click(*f, CountPoint(*f, 2, 4));
    Key(*f, Qt::Key_Space);
    EXPECT_EQ(Describe(doc), L("B 46@0 46@96 46@192 46@288 B 38@0 1@48 B"));
}

// What a new user does first: open a tab, add a snare, take a hi-hat out, copy two bars to
// the end, undo twice, loop the selection, save, and open the saved song again.
TEST_F(Editing, WalkThroughFromATabToASavedSong)
{
    auto f = std::make_unique<CMainFrame>();
    f->resize(1000, 700);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    f->SetSaveQuestion([](const QString&) { return int(QMessageBox::Discard); });
    ASSERT_TRUE(f->OpenFile(QStringLiteral(KADENZO_SOURCE_DIR "/res/examples/rock_beat.txt")));
    CRondelDoc& doc = *f->ActiveDocument();
    auto count = [&doc](int key, int bar) {
        int n = 0, b = 0;
        for (const auto& e : doc.Events()) {
            if (e.IsMeasure())
                ++b;
            else if (b == bar && int(e.GetEventType()) == key)
                ++n;
        }
        return n;
    };
    auto measures = [&doc] {
        return int(std::count_if(doc.Events().begin(), doc.Events().end(), [](const auto& e) { return e.IsMeasure(); }));
    };
    const int snares = count(38, 1);
    Click(*f, DrumPoint(*f, 1, 1, 38));
    ASSERT_EQ(count(38, 1), snares + 1);
    const int hats = count(42, 1);
    ASSERT_GT(hats, 0);
    int hatTick = -1;
    for (auto it = std::next(doc.Events().begin()); it != doc.Events().end() && !it->IsMeasure(); ++it)
        if (it->GetEventType() == 42) {
            hatTick = int(it->GetTick());
            break;
        }
    Hover(*f, DrumPoint(*f, 1, hatTick, 42));
    Key(*f, Qt::Key_Delete);
    ASSERT_EQ(count(42, 1), hats - 1);

    const int before = measures();
    Drag(*f, CountPoint(*f, 1, -1), CountPoint(*f, 2, 31));
    ASSERT_EQ(View(*f).Edit().SelType(), CEditController::SelRange);
    f->OnCopy();
    View(*f).Edit().SetCursor(before, 0); // the closing bar line: paste at the end
    f->OnPaste();
    EXPECT_EQ(measures(), before + 2);
    EXPECT_EQ(count(42, before), hats - 1) << "the copied first bar is at the end";
    f->OnUndo();
    f->OnUndo();
    EXPECT_EQ(measures(), before);
    EXPECT_EQ(count(42, 1), hats);
    EXPECT_EQ(count(38, 1), snares + 1);

    Drag(*f, CountPoint(*f, 1, -1), CountPoint(*f, 2, 31));
    f->OnLoop();
    Advance(*f, 500);
    EXPECT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);
    EXPECT_EQ(View(*f).PlayMeasure(), 1);
    f->OnStop();

    const QString path = m_dir.filePath(QStringLiteral("walk.kdz"));
    ASSERT_TRUE(f->SaveDocumentAs(doc, path));
    EXPECT_FALSE(f->MdiArea()->activeSubWindow()->isWindowModified());
    CRondelDoc saved;
    ASSERT_TRUE(saved.OnOpenDocument(path));
    EXPECT_EQ(Describe(saved), Describe(doc));
}

TEST_F(Editing, TheTimeSignatureBoxOpensTheBarDialog)
{
    auto f = Open(L("B 36@0 B 38@0 38@288 B"));
    CRondelDoc& doc = *f->ActiveDocument();
    std::function<void(CBarDialog&)> fill;
    int opened = 0;
    f->SetBarDialogHook([&](CBarDialog& dlg) {
        ++opened;
        fill(dlg);
    });
    // 3/4 would leave the note at tick 24 outside: refused, then 2/2 (the same length) taken.
    fill = [](CBarDialog& dlg) {
        dlg.m_numerator->setValue(3);
        dlg.accept();
        EXPECT_EQ(dlg.result(), 0);
        dlg.m_numerator->setValue(2);
        dlg.m_denominator->setValue(2);
        dlg.accept();
    };
    Click(*f, BoxPoint(*f, 2));
    EXPECT_EQ(opened, 1);
    EXPECT_EQ(Describe(doc), L("B 36@0 B2/2 38@0 38@288 B"));
    // Bar 1 cannot repeat what is before it; tempo 0 there keeps the song's tempo.
    fill = [](CBarDialog& dlg) {
        dlg.m_repeatPreceding->setChecked(true);
        dlg.accept();
        dlg.m_repeatPreceding->setChecked(false);
        dlg.m_tempo->setValue(0);
        dlg.accept();
    };
    Click(*f, BoxPoint(*f, 1));
    EXPECT_EQ(m_report.m_messages.back(), QString::fromLatin1(BarDialogText::kFirstBarCannotRepeat));
    EXPECT_EQ(doc.Events().front().GetTempo(), 120u);
    // A measure with notes becomes a repeat only when the user agrees to lose them.
    fill = [](CBarDialog& dlg) {
        dlg.m_repeatPreceding->setChecked(true);
        dlg.accept();
    };
    m_report.m_answer = false;
    Click(*f, BoxPoint(*f, 2));
    EXPECT_EQ(Describe(doc), L("B 36@0 B2/2 38@0 38@288 B"));
    m_report.m_answer = true;
    Click(*f, BoxPoint(*f, 2));
    EXPECT_EQ(Describe(doc), L("B 36@0 R1x1 B"));
    f->OnUndo();
    EXPECT_EQ(Describe(doc), L("B 36@0 B2/2 38@0 38@288 B"));
    // Not while the player holds the song.
    f->OnPlay();
    Click(*f, BoxPoint(*f, 2));
    EXPECT_EQ(opened, 4);
    f->OnStop();
}

} // namespace
