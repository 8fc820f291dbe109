// Editing in the real main window, offscreen, continued: clicks while the player runs, repeat
// counts after deletes and splits, jogging at the cursor, guitar and bass entry, the instrument
// toolbar, and a walk from an opened tab to a saved song.
#include "editingtest.h"

#include "bardialog.h"

#include "midi.h"
#include "player.h"

#include <QMdiSubWindow>
#include <QSpinBox>
#include <QToolBar>
#include <QToolButton>

namespace {

using namespace EditingTest;

class EditEntry : public Editing
{
};

TEST_F(EditEntry, AClickWhilePlayingMovesPlaybackAndEditsNothing)
{
    auto f = Open(L("B 36@0 B 38@0 B 42@0 B 49@0 B 46@0 B"));
    CRondelDoc& doc = *f->ActiveDocument();
    CRondelView& view = View(*f);
    const QStringList song = Describe(doc);
    f->OnPlay();
    ASSERT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);
    Advance(*f, 500);
    EXPECT_EQ(view.PlayMeasure(), 1);
    // A click on the staff of bar 5 while bar 1 sounds: bar 2 is queued already, then bar 5.
    Click(*f, DrumPoint(*f, 5, 8, 38));
    EXPECT_EQ(Describe(doc), song);
    EXPECT_EQ(view.Edit().SelType(), CEditController::SelCursor);
    EXPECT_EQ(view.CursorBar(), 5);
    Advance(*f, 2000);
    EXPECT_EQ(view.PlayMeasure(), 2);
    Advance(*f, 2000);
    EXPECT_EQ(view.PlayMeasure(), 5);
    EXPECT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);

    // Backwards from the count row, also while paused; bar 5 is the last, so nothing else is
    // queued and bar 3 follows it instead of the end of the song.
    f->OnMeasurePlay();
    ASSERT_EQ(f->ActivePlayer()->State(), PlayerState::Paused);
    Click(*f, CountPoint(*f, 3, 4));
    EXPECT_EQ(view.CursorBar(), 3);
    EXPECT_EQ(view.CursorTick(), 4);
    f->OnMeasurePlay();
    ASSERT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);
    Advance(*f, 2000);
    EXPECT_EQ(view.PlayMeasure(), 3);
    Advance(*f, 2000);
    EXPECT_EQ(view.PlayMeasure(), 4);
    EXPECT_EQ(Describe(doc), song);
    EXPECT_FALSE(doc.IsModified());
    f->OnStop();
    // Stopped, the same click edits again.
    Click(*f, DrumPoint(*f, 5, 8, 38));
    EXPECT_NE(Describe(doc), song);
}

TEST_F(EditEntry, DeletesAndSplitsKeepMeasureRepeatsOnTheirMusic)
{
    // "R3x1" at bar 5 repeats bars 2 to 4.
    auto f = Open(L("B 36@0 B 38@0 B 42@0 42@96 B 46@0 R3x1 B 49@0 B"));
    CRondelDoc& doc = *f->ActiveDocument();
    // Del over a measure's time-signature box inside the group.
    Hover(*f, BoxPoint(*f, 3));
    EXPECT_EQ(View(*f).Hover().bar, 3);
    EXPECT_TRUE(View(*f).Hover().onBarBox);
    Key(*f, Qt::Key_Delete);
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 46@0 R2x1 B 49@0 B"));
    f->OnUndo();
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 42@0 42@96 B 46@0 R3x1 B 49@0 B"));

    // A range from inside bar 1 over bar 2: bar 1 keeps its line, bar 2 leaves the group.
    Drag(*f, CountPoint(*f, 1, 0), CountPoint(*f, 2, 20));
    ASSERT_EQ(View(*f).Edit().SelType(), CEditController::SelRange);
    f->OnDelete();
    EXPECT_EQ(Describe(doc), L("B B 42@0 42@96 B 46@0 R2x1 B 49@0 B"));
    EXPECT_EQ(View(*f).Edit().SelType(), CEditController::SelCursor);
    f->OnUndo();

    // Bars 1 to 4 leave nothing to repeat: the user is told, the measures go anyway.
    Drag(*f, CountPoint(*f, 1, -1), CountPoint(*f, 4, 20));
    f->OnDelete();
    EXPECT_EQ(Describe(doc), L("R3x1 B 49@0 B"));
    ASSERT_FALSE(m_report.m_messages.isEmpty());
    EXPECT_EQ(m_report.m_messages.back(), QString::fromLatin1(EditText::kRepeatAdjustFailed));
    f->OnUndo();
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 42@0 42@96 B 46@0 R3x1 B 49@0 B"));

    // Splitting bar 3 at tick 8 (6/8 after the cursor): the group grows by the new measure.
    Click(*f, CountPoint(*f, 3, 8));
    Hover(*f, QPoint(5, View(*f).viewport()->height() - 5));
    ASSERT_EQ(View(*f).Hover().bar, 0);
    Key(*f, Qt::Key_6);
    Key(*f, Qt::Key_8);
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 42@0 B6/8 42@0 B 46@0 R4x1 B 49@0 B"));
    f->OnUndo();
    // A cursor before the first note of the measure puts an empty measure after it.
    Click(*f, CountPoint(*f, 4, 0));
    Hover(*f, QPoint(5, View(*f).viewport()->height() - 5));
    Key(*f, Qt::Key_3);
    Key(*f, Qt::Key_4);
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 42@0 42@96 B 46@0 B3/4 R4x1 B 49@0 B"));
    f->OnUndo();
    // In the repeat measure itself: a new measure after it, the repeat is not touched.
    Click(*f, CountPoint(*f, 5, 0));
    Hover(*f, QPoint(5, View(*f).viewport()->height() - 5));
    Key(*f, Qt::Key_2);
    Key(*f, Qt::Key_4);
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 42@0 42@96 B 46@0 R3x1 B2/4 B 49@0 B"));
    f->OnUndo();

    // Keys at the mouse leave a repeat measure alone.
    Hover(*f, DrumPoint(*f, 5, 4, 36));
    EXPECT_EQ(View(*f).Hover().bar, 5);
    EXPECT_EQ(View(*f).Hover().tick, 4);
    Key(*f, Qt::Key_K);
    EXPECT_EQ(Describe(doc), L("B 36@0 B 38@0 B 42@0 42@96 B 46@0 R3x1 B 49@0 B"));
    EXPECT_EQ(m_report.m_messages.back(), QString::fromLatin1(kNoNotesInRepeat));
}

TEST_F(EditEntry, ArrowsJogTheNotesAtTheCursor)
{
    auto f = Open(L("B 36@0 38@48 42@48 36@96 B 38@0 B"));
    CRondelDoc& doc = *f->ActiveDocument();
    CRondelView& view = View(*f);
    const QPoint away(5, view.viewport()->height() - 5);
    Click(*f, CountPoint(*f, 1, 4));
    Hover(*f, away);
    // The chord at the cursor moves, the cursor with it; a held key is one undo step.
    const int steps = doc.UndoHistory().UndoSteps();
    Key(*f, Qt::Key_Right);
    Key(*f, Qt::Key_Right, {}, true);
    EXPECT_EQ(Describe(doc), L("B 36@0 38@72 42@72 36@96 B 38@0 B"));
    EXPECT_EQ(view.CursorTick(), 6);
    EXPECT_EQ(doc.UndoHistory().UndoSteps(), steps + 1);
    EXPECT_EQ(f->StatusText().left(23), QStringLiteral("Cursor: measure 1 6/32n"));
    Key(*f, Qt::Key_Left);
    EXPECT_EQ(Describe(doc), L("B 36@0 38@60 42@60 36@96 B 38@0 B"));
    EXPECT_EQ(view.CursorTick(), 5);
    // Ctrl moves the cursor alone; on an empty tick the arrows do as well.
    Key(*f, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(view.CursorTick(), 6);
    Key(*f, Qt::Key_Right);
    EXPECT_EQ(view.CursorTick(), 7);
    EXPECT_EQ(Describe(doc), L("B 36@0 38@60 42@60 36@96 B 38@0 B"));
    // Shift takes everything from the cursor to the end of the measure along.
    view.Edit().SetCursor(1, 5);
    Key(*f, Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(Describe(doc), L("B 36@0 38@72 42@72 36@108 B 38@0 B"));
    EXPECT_EQ(view.Edit().SelType(), CEditController::SelRange);
    f->OnUndo();
    f->OnUndo();
    f->OnUndo();
    EXPECT_EQ(Describe(doc), L("B 36@0 38@48 42@48 36@96 B 38@0 B"));

    // At the first tick of the song nothing goes left; at a measure's last tick the notes go
    // over the bar line and the cursor follows.
    view.Edit().SetCursor(1, 0);
    Key(*f, Qt::Key_Left);
    EXPECT_EQ(Describe(doc), L("B 36@0 38@48 42@48 36@96 B 38@0 B"));
    EXPECT_EQ(view.CursorBar(), 1);
    EXPECT_EQ(view.CursorTick(), 0);
    view.Edit().SetCursor(2, 0);
    Key(*f, Qt::Key_Left);
    EXPECT_EQ(Describe(doc), L("B 36@0 38@48 42@48 36@96 38@372 B B"));
    EXPECT_EQ(view.CursorBar(), 1);
    EXPECT_EQ(view.CursorTick(), 31);
    Key(*f, Qt::Key_Right);
    Key(*f, Qt::Key_Right);
    EXPECT_EQ(Describe(doc), L("B 36@0 38@48 42@48 36@96 B 38@12 B"));
    EXPECT_EQ(view.CursorBar(), 2);
    EXPECT_EQ(view.CursorTick(), 1);
    // Past the last measure the song gets a new closing bar line.
    view.Edit().SetCursor(2, 1);
    for (int i = 0; i < 31; ++i)
        Key(*f, Qt::Key_Right, {}, i > 0);
    EXPECT_EQ(Describe(doc), L("B 36@0 38@48 42@48 36@96 B B 38@0 B"));
    EXPECT_EQ(view.CursorBar(), 3);
    EXPECT_EQ(view.CursorTick(), 0);
}

TEST_F(EditEntry, TheInstrumentToolBarSetsDefaultsAndReplacesSelectedDrums)
{
    auto f = Open(L("B 36@0 38@0 42@0 42@24 42@48 B B"));
    CRondelDoc& doc = *f->ActiveDocument();
    auto tool = [&f](const QString& name) {
        QAction* a = f->findChild<QAction*>(name);
        EXPECT_NE(a, nullptr) << name.toStdString();
        f->UpdateEditActions();
        return a;
    };
    ASSERT_NE(f->findChild<QToolBar*>(QStringLiteral("InstrumentToolBar")), nullptr);
    EXPECT_EQ(tool(QStringLiteral("ToolInstrument36"))->toolTip(),
              QStringLiteral("Bass drum 1 - Set as foot default or set selected foot instruments as"));
    EXPECT_EQ(tool(QStringLiteral("ToolInstrument38"))->toolTip(),
              QStringLiteral("Snare Drum - Set as snare default or set selected snares as"));
    // The defaults in force are checked.
    for (int key : {36, 38, 42, 47})
        EXPECT_TRUE(tool(QStringLiteral("ToolInstrument%1").arg(key))->isChecked()) << key;
    EXPECT_FALSE(tool(QStringLiteral("ToolInstrument46"))->isChecked());

    // Without a range a button makes its drum the group's default for clicks.
    tool(QStringLiteral("ToolInstrument46"))->trigger();
    EXPECT_TRUE(tool(QStringLiteral("ToolInstrument46"))->isChecked());
    EXPECT_FALSE(tool(QStringLiteral("ToolInstrument42"))->isChecked());
    Click(*f, DrumPoint(*f, 2, 0, 42));
    EXPECT_EQ(Describe(doc), L("B 36@0 38@0 42@0 42@24 42@48 B 46@0 B"));
    // With a range it replaces the drums of its group there, and only those.
    Click(*f, CountPoint(*f, 1, -1));
    tool(QStringLiteral("ToolInstrument37"))->trigger();
    EXPECT_EQ(Describe(doc), L("B 36@0 37@0 42@0 42@24 42@48 B 46@0 B"));
    EXPECT_TRUE(tool(QStringLiteral("ToolInstrument38"))->isChecked()) << "the default stays";
    // Three 16ths in a range can become a triplet.
    EXPECT_FALSE(tool(QStringLiteral("ToolTriplet"))->isEnabled());
    Drag(*f, CountPoint(*f, 1, 0), CountPoint(*f, 1, 4));
    EXPECT_TRUE(tool(QStringLiteral("ToolTriplet"))->isEnabled());
    EXPECT_TRUE(tool(QStringLiteral("ToolTripletJog"))->isEnabled());
    Drag(*f, CountPoint(*f, 1, 0), CountPoint(*f, 1, 2));
    EXPECT_FALSE(tool(QStringLiteral("ToolTriplet"))->isEnabled()) << "two places are no triplet";
    Key(*f, Qt::Key_Escape);

    // Accent waits for the next click, then goes off.
    tool(QStringLiteral("ToolAccent"))->trigger();
    EXPECT_TRUE(tool(QStringLiteral("ToolAccent"))->isChecked());
    Click(*f, DrumPoint(*f, 2, 8, 38));
    EXPECT_FALSE(tool(QStringLiteral("ToolAccent"))->isChecked());
    const CEvent* added = nullptr;
    for (const auto& e : doc.Events())
        if (e.GetEventType() == 38 && e.GetPosition() == 96)
            added = &e;
    ASSERT_NE(added, nullptr);
    EXPECT_TRUE(added->IsAccent());
    EXPECT_TRUE(tool(QStringLiteral("ToolFlam"))->isEnabled());
    EXPECT_FALSE(tool(QStringLiteral("ToolPalmMute"))->isEnabled());

    // Guitar and bass: no drums, palm mute instead of flam.
    doc.m_trackType = TrackType::Guitar6;
    doc.UpdateAllViews();
    EXPECT_FALSE(tool(QStringLiteral("ToolInstrument38"))->isEnabled());
    EXPECT_FALSE(tool(QStringLiteral("ToolFlam"))->isEnabled());
    EXPECT_TRUE(tool(QStringLiteral("ToolPalmMute"))->isEnabled());
}

class PitchedEntry : public EditEntry
{
protected:
    void TearDown() override
    {
        CRondelView::SetFretChooser({});
        EditEntry::TearDown();
    }
    std::unique_ptr<CMainFrame> OpenAs(uint32_t trackType, const QStringList& items)
    {
        auto f = Open(items);
        f->ActiveDocument()->m_trackType = trackType;
        f->ActiveDocument()->UpdateAllViews();
        return f;
    }
    // The point of a tab string row at a bar and tick.
    QPoint StringPoint(CMainFrame& f, int bar, int tick, int string)
    {
        const SBarGeometry g = Geometry(f, bar);
        return QPoint(TickX(f, bar, tick), g.staffTop + g.T + 12 * string);
    }
    // The staff point whose natural pitch is `pitch`, or a null point.
    QPoint PitchPoint(CMainFrame& f, int bar, int tick, int pitch)
    {
        const CTrack* track = CTrack::Of(*f.ActiveDocument());
        const SBarGeometry g = Geometry(f, bar);
        for (int y = g.staffTop - 44; y <= g.staffTop + 68; ++y) {
            int alternative = 0;
            if (track->GetPitchAtY(bar, f.ActiveDocument()->m_trackType, y, &alternative) == pitch)
                return QPoint(TickX(f, bar, tick), y);
        }
        return QPoint();
    }
    // The lowest natural pitch the staff offers.
    int LowestStaffPitch(CMainFrame& f, int bar)
    {
        const CTrack* track = CTrack::Of(*f.ActiveDocument());
        const SBarGeometry g = Geometry(f, bar);
        int lowest = 1000;
        for (int y = g.staffTop - 44; y <= g.staffTop + 68; ++y) {
            int alternative = 0;
            const int pitch = track->GetPitchAtY(bar, f.ActiveDocument()->m_trackType, y, &alternative);
            if (pitch > 0)
                lowest = std::min(lowest, pitch);
        }
        return lowest;
    }
    static QString Notes(const CRondelDoc& doc)
    {
        QStringList out;
        for (const auto& e : doc.Events())
            if (e.IsNote())
                out << QStringLiteral("%1s%2@%3").arg(e.GetEventType()).arg(e.GetString()).arg(e.GetPosition());
        return out.join(QLatin1Char(' '));
    }
};

TEST_F(PitchedEntry, TabClicksAskForTheFretAndStaffClicksFindTheString)
{
    auto f = OpenAs(TrackType::Guitar6, L("B B B"));
    CRondelDoc& doc = *f->ActiveDocument();
    int asked = 0;
    int answer = 3;
    CRondelView::SetFretChooser([&] {
        ++asked;
        return answer;
    });
    // Fret 3 on the G string (open 55, third row) at tick 4.
    Click(*f, StringPoint(*f, 1, 4, 2));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(Notes(doc), QStringLiteral("58s2@48"));
    // Cancel changes nothing; a click on the note takes it away without asking.
    answer = -1;
    Click(*f, StringPoint(*f, 1, 8, 0));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(Notes(doc), QStringLiteral("58s2@48"));
    Click(*f, StringPoint(*f, 1, 4, 2));
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(Notes(doc), QString());
    f->OnUndo();
    EXPECT_EQ(Notes(doc), QStringLiteral("58s2@48"));

    // The staff: E4 goes to the high E string, G3 (55) to the G string.
    const QPoint e4 = PitchPoint(*f, 2, 0, 64);
    ASSERT_FALSE(e4.isNull());
    Click(*f, e4);
    const QPoint g3 = PitchPoint(*f, 2, 8, 55);
    ASSERT_FALSE(g3.isNull());
    Click(*f, g3);
    EXPECT_EQ(Notes(doc), QStringLiteral("58s2@48 64s0@0 55s2@96"));
    EXPECT_EQ(asked, 2);
    // Up and Down on a hovered note step its pitch; a string goes no lower than open.
    Hover(*f, StringPoint(*f, 2, 8, 2));
    ASSERT_NE(View(*f).Hover().note, nullptr);
    Key(*f, Qt::Key_Up);
    EXPECT_EQ(Notes(doc), QStringLiteral("58s2@48 64s0@0 56s2@96"));
    Key(*f, Qt::Key_Down);
    Key(*f, Qt::Key_Down);
    EXPECT_EQ(Notes(doc), QStringLiteral("58s2@48 64s0@0 55s2@96"));
}

TEST_F(PitchedEntry, NotesTooLowForTheTuningAreRefused)
{
    auto f = OpenAs(TrackType::Bass4, L("B B"));
    CRondelDoc& doc = *f->ActiveDocument();
    const int lowest = LowestStaffPitch(*f, 1);
    if (lowest >= 28)
        GTEST_SKIP() << "the bass staff reaches no lower than the open E string";
    Click(*f, PitchPoint(*f, 1, 0, lowest));
    EXPECT_EQ(Notes(doc), QString());
    ASSERT_FALSE(m_report.m_messages.isEmpty());
    EXPECT_EQ(m_report.m_messages.back(), QString::fromLatin1(EditText::kNoteTooLow));
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(PitchedEntry, DigitsOverAStringTypeFrets)
{
    auto f = OpenAs(TrackType::Guitar6, L("B B"));
    CRondelDoc& doc = *f->ActiveDocument();
    // 1 then 2 over the same place: fret 12 on the A string (open 45).
    Hover(*f, StringPoint(*f, 1, 4, 4));
    Key(*f, Qt::Key_1);
    EXPECT_EQ(Notes(doc), QStringLiteral("46s4@48"));
    Key(*f, Qt::Key_2);
    EXPECT_EQ(Notes(doc), QStringLiteral("57s4@48"));
    // 1 then 1: fret 11; a move of the mouse in between starts a new number.
    Hover(*f, StringPoint(*f, 1, 8, 0));
    Key(*f, Qt::Key_1);
    Key(*f, Qt::Key_1);
    EXPECT_EQ(Notes(doc), QStringLiteral("57s4@48 75s0@96"));
    Hover(*f, StringPoint(*f, 1, 8, 0) + QPoint(0, 3));
    Key(*f, Qt::Key_5);
    EXPECT_EQ(Notes(doc), QStringLiteral("57s4@48 69s0@96"));
    // Drum letters mean nothing on a guitar.
    Key(*f, Qt::Key_K);
    EXPECT_EQ(Notes(doc), QStringLiteral("57s4@48 69s0@96"));
}

// A session as a new user has it, from a real tab to a saved song: select, cut, paste, undo
// and redo, a longer bar, notes in and out by click and key, markers and a loop between them,
// save, reopen.
TEST_F(EditEntry, WalkThroughAFixtureTabToTheSavedSong)
{
    auto f = std::make_unique<CMainFrame>();
    f->resize(1000, 700);
    f->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
    f->SetSaveQuestion([](const QString&) { return int(QMessageBox::Discard); });
    ASSERT_TRUE(f->OpenFile(QStringLiteral(KADENZO_FIXTURES_DIR "/tabs/simple_beat.txt")));
    CRondelDoc& doc = *f->ActiveDocument();
    CRondelView& view = View(*f);
    auto measures = [&doc] {
        return int(std::count_if(doc.Events().begin(), doc.Events().end(), [](const auto& e) { return e.IsMeasure(); }));
    };
    ASSERT_EQ(measures(), 3) << "two measures and the closing bar line";
    auto words = [](const CRondelDoc& d) {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (const auto& e : d.Events())
            out.emplace_back(e.m_word1, e.m_word2);
        return out;
    };

    // Both bars copied to the end: four bars, the last two like the first two.
    Drag(*f, CountPoint(*f, 1, -1), CountPoint(*f, 2, 31));
    ASSERT_EQ(view.Edit().SelType(), CEditController::SelRange);
    f->OnCopy();
    view.Edit().SetCursor(3, 0);
    f->OnPaste();
    ASSERT_EQ(measures(), 5);
    const QStringList fourBars = Describe(doc);
    const int half = int(fourBars.indexOf(QStringLiteral("B"), 1));
    const int third = int(fourBars.indexOf(QStringLiteral("B"), half + 1));
    EXPECT_EQ(fourBars.mid(third, third), fourBars.mid(0, third));

    // Bar 2 cut, undone, redone and pasted back where it was: the same four bars.
    Click(*f, CountPoint(*f, 2, -1));
    ASSERT_EQ(view.Edit().SelType(), CEditController::SelRange);
    f->OnCut();
    EXPECT_EQ(measures(), 4);
    f->OnUndo();
    EXPECT_EQ(Describe(doc), fourBars);
    f->OnRedo();
    EXPECT_EQ(measures(), 4);
    Click(*f, CountPoint(*f, 2, 0));
    f->OnPaste();
    EXPECT_EQ(Describe(doc), fourBars);

    // Bar 3 becomes 5/4 through its dialog.
    f->SetBarDialogHook([](CBarDialog& dlg) {
        dlg.m_numerator->setValue(5);
        dlg.m_denominator->setValue(4);
        dlg.accept();
    });
    Click(*f, BoxPoint(*f, 3));
    const CEvent* bar3 = CTrack::Of(doc)->FindBar(3);
    ASSERT_NE(bar3, nullptr);
    EXPECT_EQ(bar3->GetTimeSigNumerator(), 5u);

    // A snare in by click at the first 32nd, the bass drum there out by K, one in by K.
    auto has = [&doc](int bar, int key, int tick) {
        int b = 0;
        for (const auto& e : doc.Events()) {
            if (e.IsMeasure())
                ++b;
            else if (b == bar && int(e.GetEventType()) == key && int(e.GetTick()) == tick)
                return true;
        }
        return false;
    };
    ASSERT_FALSE(has(1, 38, 0));
    Click(*f, DrumPoint(*f, 1, 0, 38));
    EXPECT_TRUE(has(1, 38, 0));
    ASSERT_TRUE(has(1, 36, 0));
    Hover(*f, DrumPoint(*f, 1, 0, 36));
    Key(*f, Qt::Key_K);
    EXPECT_FALSE(has(1, 36, 0));
    Hover(*f, DrumPoint(*f, 1, 2, 36));
    Key(*f, Qt::Key_K);
    EXPECT_TRUE(has(1, 36, 2));

    // Markers on bars 2 and 4: the loop plays bars 2 and 3 over and over (100 BPM: a 4/4 bar
    // lasts 2.4 s, the 5/4 bar 3 s).
    Hover(*f, BoxPoint(*f, 2));
    Key(*f, Qt::Key_BracketLeft);
    Hover(*f, BoxPoint(*f, 4));
    Key(*f, Qt::Key_BracketRight);
    ASSERT_NE(doc.m_pStartMarker, nullptr);
    ASSERT_NE(doc.m_pEndMarker, nullptr);
    Key(*f, Qt::Key_Escape);
    const auto beforePlay = words(doc);
    f->OnLoop();
    ASSERT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);
    Advance(*f, 500);
    EXPECT_EQ(view.PlayMeasure(), 2);
    Advance(*f, 2400);
    EXPECT_EQ(view.PlayMeasure(), 3);
    Advance(*f, 3000);
    EXPECT_EQ(view.PlayMeasure(), 2);
    Advance(*f, 2400);
    EXPECT_EQ(view.PlayMeasure(), 3);
    EXPECT_EQ(f->ActivePlayer()->State(), PlayerState::Playing);
    f->OnStop();
    EXPECT_EQ(words(doc), beforePlay) << "playing changes nothing";

    // Saved and opened again: the song on screen.
    const QString path = m_dir.filePath(QStringLiteral("simple.kdz"));
    ASSERT_TRUE(f->SaveDocumentAs(doc, path));
    EXPECT_FALSE(f->MdiArea()->activeSubWindow()->isWindowModified());
    CRondelDoc saved;
    ASSERT_TRUE(saved.OnOpenDocument(path));
    EXPECT_EQ(words(saved), words(doc));
    EXPECT_TRUE(std::find(saved.m_header.begin(), saved.m_header.end(), QStringLiteral("Simple Beat")) != saved.m_header.end());
    EXPECT_EQ(saved.m_header, doc.m_header);
    EXPECT_EQ(saved.m_songTempo, doc.m_songTempo);
    EXPECT_EQ(Describe(saved), Describe(doc));
}

} // namespace
