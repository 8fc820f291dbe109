#pragma once
// The drum instrument catalogue: General MIDI percussion keys 35-81 with Kadenzo's names,
// groups and Instrument-menu commands, and the tab-line table that decides on which line of
// a drum tab each instrument is shown and with which letter.

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

enum class EDrumGroup : int {
    Cymbal = 0,
    Snare = 1,
    Tom = 2,
    BassDrum = 3,
    Percussion = 4,
    BongoConga = 5,
};

struct SInstrument
{
    int key;
    const char* name;  // as in the name table, blanks included
    EDrumGroup group;
    int commandId;     // Instrument-menu command
    const char* caption;
};

namespace Catalogue {
inline constexpr int kFirstKey = 35;
inline constexpr int kLastKey = 81;
inline constexpr int kInstrumentCount = kLastKey - kFirstKey + 1;

// In name-table order: key 81 down to 35.
const std::array<SInstrument, kInstrumentCount>& Instruments();
// nullptr outside 35-81.
const SInstrument* Find(int key);
bool IsInGroup(int key, EDrumGroup group);

// The pop-up menus of the Instrument menu, in menu order, with their group codes.
struct SMenuGroup
{
    const char* caption;
    EDrumGroup group;
};
const std::array<SMenuGroup, 6>& MenuGroups();
// Command id -> instrument, nullptr when the id is not an Instrument-menu command.
const SInstrument* FindByCommand(int commandId);
}

// The name, or "*** Unknown ***".
QString GetInstrumentName(int key);
// The key whose name equals `name` exactly (case and blanks count), or 0.
int FindInstrumentByName(const QString& name);

// ----- Tab lines ---------------------------------------------------------------------------

struct STabLine
{
    bool shownAtStart;
    int staffSlot;         // half line-spaces below the top staff line
    const char* shortName; // at most 7 characters
    const char* longName;  // at most 31 characters
    const char* pairs;     // key/letter pairs as "key letter" items, see TabLinePairs()
};

namespace TabLines {
inline constexpr int kCount = 15;
const std::array<STabLine, kCount>& Table();
// The (key, letter) pairs of a row, in table order.
struct SPair
{
    int key;
    char letter;
};
const std::vector<SPair>& Pairs(int row);

// The process-wide shown flags.
bool IsShown(int row);
void SetShown(int row, bool shown);
void ResetShown();
}

// The three switches of the Tab Staff Format dialog.
void ApplyTabStaffFormat(bool cymbalsOwnLines, bool tomsOwnLines, bool showPercussion);
int CountShownTabLines();
// The first shown row after `row` (-1 starts from the top); 0 and an internal problem report
// past the last shown row.
int NextShownTabLine(int row);
// How many shown rows come before `row`; 0 and an internal problem report past the table.
int ShownIndexOfTabLine(int row);
// The 1-based number of the first shown row holding `key`, with its letter. A hidden row that
// holds it is switched on first when no shown row does. No row: letter '?', result 0.
int FindTabLine(int key, char* letter);
