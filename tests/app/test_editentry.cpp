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

} // namespace
