#pragma once
// The editing side of a notation view: the document's selection (empty, a cursor or a range,
// kept as bar and tick numbers and resolved against the song whenever it is used), the
// per-view defaults and one-shot marks, and every command that changes the song from the
// mouse, the keyboard or the Edit, Instrument and Special menus. No widgets: the view turns
// mouse and key events into these calls, and messages go through UserReport().
//
// Every change ends in CRondelDoc::CommitEdit (fix-ups first, so that undo and redo see them).
// While the player plays or is paused, commands that change the song are refused: the player
// renders from list positions that an edit could take away.

#include "songrange.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <functional>
#include <optional>
#include <vector>

class CEvent;
class CRondelDoc;
class CTrack;

namespace EditText {
inline constexpr const char* kEmptySelection =
    "Sorry, you cannot make an empty selection. If you want to select this bar (measure), please click below it's time signature";
inline constexpr const char* kNotWhilePlaying = "Please stop the player before changing the song";
inline constexpr const char* kNoJogMeasure = "Jogging Measure start is not implemented yet";
inline constexpr const char* kNotesPastBarEnd =
    "The notes would not fit into their measure. Nothing was changed";
inline constexpr const char* kNoMarkerOnClosingBar =
    "The closing bar line of the song cannot carry a playback marker";
inline constexpr const char* kNoteTooLow = "This note is too low for current guitar tab. Please set another tab tuning";
inline constexpr const char* kChooseFret = "Choose a fret number";
inline constexpr const char* kRepeatAdjustFailed =
    "Cannot modify repeat control because deleted section is longer than repeat group measure count. Please check the repeat control manually.";
}

// The instrument group codes of the Instrument menu.
namespace MenuGroup {
inline constexpr int Cymbal = 0;
inline constexpr int Snare = 1;
inline constexpr int Tom = 2;
inline constexpr int Foot = 3;
inline constexpr int Percussion = 4;
inline constexpr int Conga = 5;
}

class CEditController
{
public:
    explicit CEditController(CRondelDoc& doc);

    CRondelDoc& Doc() const { return m_doc; }
    // Tells whether the document's player plays or is paused (0 stopped, 1 playing, 2 paused).
    std::function<int()> m_playerState;
    bool PlayerActive() const;
    // Song-changing commands call this first: false (with a message) while the player runs.
    bool CanEdit() const;

    // ----- selection ------------------------------------------------------------------------
    enum ESelType { SelNone = 0, SelCursor = 1, SelRange = 2 };
    int SelType() const { return m_selType; }
    // The stored ends; for a range they are ordered and snapped to the selected events.
    SSongRange Range() const { return m_range; }
    int CursorBar() const { return m_selType == SelNone ? 0 : m_range.m_barDn; }
    int CursorTick() const { return m_selType == SelNone ? 0 : std::max(m_range.m_tickDn, 0); }
    void ClearSelection();
    // The cursor, clamped into the song: bar 1 to the closing bar, tick 0 to the bar's last.
    void SetCursor(int bar, int tick);
    // Resolves a range; an empty one shows the "empty selection" message and clears.
    bool SelectRange(int barDn, int tickDn, int barUp, int tickUp, bool quiet = false);
    bool SelectBar(int bar);
    bool SelectToEnd(int bar, int tick);
    // The current range resolved against the song as it is now; nullopt when not a range.
    std::optional<SEventSpan> Span() const;
    // Where Paste inserts: the cursor, or the start of the range.
    std::optional<SInsertPoint> InsertPoint() const;
    // After the song changed: the range is resolved again from its numbers (or cleared).
    void Reresolve();
    // 0 cannot, 1 can un-triplet, 2 can triplet-ize the current range.
    int TripletState() const;

    // ----- notes ----------------------------------------------------------------------------
    struct SDefaults
    {
        int foot = 36, snare = 38, cymbal = 42, tom = 47, percussion = 54, conga = 64;
    };
    SDefaults m_defaults;
    // One-shot mark for the next note added by click or key: 0 or an EventBits dynamic bit.
    uint32_t m_pendingMark = 0;
    // The drum a click at layout y in a bar adds on a drum track (standard staff or tab
    // rows), from the drum layout in force and the group defaults; 0 when none.
    int ClickedDrumKey(const CTrack& track, int bar, int y) const;
    // The note of `key` at the tick goes if it is there and comes otherwise. Returns the new
    // note (nullptr when one was removed or nothing changed).
    bool ToggleDrum(int bar, int tick, int key, CEvent** added = nullptr);
    bool DeleteNote(const CEvent* note);
    // Guitar and bass. The note at a tick of a bar: on `string` when it is 0 or more, else of
    // pitch `key`; nullptr when none.
    const CEvent* NoteAt(int bar, int tick, int key, int string) const;
    // The string a staff note goes to: the first from the top whose open pitch is not above
    // the pitch; -1 when the note is too low for every string.
    int StringForPitch(int pitch) const;
    // Adds a note of `pitch` on `string` (-1: the string the pitch takes, or the "too low"
    // message), replacing what that string held at the tick.
    bool AddPitchedNote(int bar, int tick, int pitch, int string);
    // False, with the reason told, when notes cannot go into the bar now (a measure repeat,
    // the player running).
    bool CanAddNotesTo(int bar) const;
    // Up or down one key on a drum track, one semitone on guitar and bass.
    bool StepNoteKey(const CEvent* note, int delta);
    // One tick left (-1) or right (+1); across a bar edge into the neighbouring measure.
    // *movedTo gets the note's new bar.
    bool JogNote(const CEvent* note, int delta, int* movedToBar = nullptr);
    // Every selected note and rest one tick left or right; the range moves with them.
    bool JogRange(int delta);
    // The notes at the cursor tick move one tick and the cursor with them (only the cursor
    // when none is there); with toBarEnd the cursor's measure from the cursor on is selected
    // and jogged as a range.
    bool JogCursor(int delta, bool toBarEnd);
    // The cursor alone moves one tick, across bar edges, never out of the song.
    void MoveCursor(int delta);
    bool InsertRestAtCursor();
    // Accent, ghost, flam or palm mute: on the range (a mixed selection gets the mark on all,
    // then loses it on all), else on `note`, else the one-shot mode.
    bool ToggleMark(uint32_t mask, const CEvent* note);
    bool TripletizeRange(bool jog);
    // Re-spaces the selected notes `ticks` apart; refused when a note would leave its bar.
    bool SetNoteLengths(int ticks);
    // The Instrument menu: replace in the range (drum tracks only) or set the group default.
    bool SetInstrument(int group, int key);
    int DefaultOf(int group) const;

    // ----- measures -------------------------------------------------------------------------
    bool DeleteBar(int bar);
    bool SetTimeSignature(int bar, int numerator, int denominator);
    // Splits the cursor's measure at the cursor with a new bar line of that signature.
    bool SplitAtCursor(int numerator, int denominator);
    bool ToggleStartMarker(int bar);
    bool ToggleEndMarker(int bar);
    void ClearMarkers();

    // ----- Edit menu ------------------------------------------------------------------------
    bool DeleteSelection();
    QByteArray CopySelection() const;
    bool Paste(const QByteArray& bytes);

private:
    // Sets the marker on the bar, or takes it off when it is there; never on the closing bar.
    bool ToggleMarker(int bar, CEvent*& marker);
    EventPos MeasureEnd(EventPos bar) const;
    // Puts a new note of `key` at the tick of the measure (with the pending mark, joining a
    // triplet right after it); no commit.
    CEvent* InsertNote(EventPos barPos, int tick, uint32_t key, uint32_t word2Bits);
    EventPos FindEvent(const CEvent* ev) const;
    EventPos BarOf(EventPos it) const;
    int BarNumberOfPos(EventPos bar) const;
    int MeasureCount() const;
    // Moves each note or rest one tick, into the neighbouring measure across a bar edge (not
    // into a measure repeat, not before the song), re-sorting the measures; no commit.
    // Returns how many moved.
    int MoveNotes(std::vector<const CEvent*> notes, int delta);
    // Makes sure the song ends with a BAR (copying the signature of the last measure).
    void KeepClosingBar();
    bool Commit();

    CRondelDoc& m_doc;
    int m_selType = SelNone;
    SSongRange m_range;
};
