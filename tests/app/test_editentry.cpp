// Editing in the real main window, offscreen, continued: clicks while the player runs, repeat
// counts after deletes and splits, jogging at the cursor, guitar and bass entry, the instrument
// toolbar, and a walk from an opened tab to a saved song.
#include "editingtest.h"

#include "midi.h"
#include "player.h"

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
        if (e->GetEventType() == 38 && e->GetPosition() == 96)
            added = e.get();
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
            if (e->IsNote())
                out << QStringLiteral("%1s%2@%3").arg(e->GetEventType()).arg(e->GetString()).arg(e->GetPosition());
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

} // namespace
