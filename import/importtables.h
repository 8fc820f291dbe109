#pragma once
// The importer's fixed data: limits, line type names, issue texts, the default time key and
// the keyword tables of instrument recognition and the header pass. Everything the importer
// takes as given lives here, so that changing a rule's data never means hunting through code.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ImportLimits {
// A section named again ("Chorus again x2") is looked for this many lines back at most.
inline constexpr int kMaxSectionLookBack = 400;
// A section asked for again ("same as verse") is copied: its events at most, and all the
// copies of a tab together at most this many measures.
inline constexpr int kMaxSectionEvents = 20000;
inline constexpr int kMaxCopiedMeasures = 2000;
// A staff group of this many lines aborts the import (real tabs never come close).
inline constexpr int kMaxGroupLines = 16;
// Label records: 32 slots, the last always empty, so 31 distinct labels.
inline constexpr int kLabelSlots = 32;
inline constexpr int kMaxLabels = kLabelSlots - 1;
inline constexpr int kMaxLabelChars = 19;
// Distinct note characters on one label.
inline constexpr int kMaxNoteChars = 50;
inline constexpr int kMaxDescriptionChars = 19;
// Labels named by one note key header.
inline constexpr int kMaxKeyHeaderLabels = 8;
// Staff lines in one block of the assembler.
inline constexpr int kMaxBlockLines = 15;
// Text after the last bar of a staff kept for repeat counts.
inline constexpr int kMaxTrailingText = 100;
// The header pass reads lines 1 to this.
inline constexpr int kHeaderLines = 49;
// Bar columns of the import reference are kept modulo this.
inline constexpr uint32_t kImportRefColumnMask = 0x3FF;
inline constexpr int kImportRefLineShift = 10;
// Fields of REPEAT_PREV_MEASURES events.
inline constexpr int kMaxRepeatMeasures = 15;
inline constexpr int kMaxRepeatCount = 63;
// Largest numerator a BAR can carry.
inline constexpr int kMaxNumerator = 63;
// Alternate ending numbers fit four bits.
inline constexpr int kMaxEnding = 15;
// A staff line whose first separator stands this far or less from the group's first line
// is read with its columns shifted into line; farther off it is read as written.
inline constexpr int kMaxColumnShift = 8;
// A time line candidate needs at least this many time symbols ("Verse" is no meter line).
inline constexpr int kMinTimeSymbols = 4;
// A bar of ticks left open at the line end needs this many ticks to count as a bar.
inline constexpr int kMinOpenBarTicks = 4;
// Bounds that keep absurd input linear in time and inside the event fields: the text a key
// description or a repeat bracket is searched in, the beats of a count line, the length a
// meter line may add up to.
inline constexpr int kMaxDescriptionScan = 64;
inline constexpr int kMaxBracketColumns = 1024;
inline constexpr int kMaxCountBeats = 1000;
inline constexpr int kMaxTimeLinePositions = 1 << 20;
}

// Line types; the names are shown by the import views and the dump.
namespace LineType {
enum : int32_t {
    Unknown = 0,
    Blank = 1,
    Header = 2,
    MiscComment = 3,
    NoteKey = 4,
    TimeKey = 5,
    TimeLine = 6,
    StaffLine = 7,
    PreComment = 8,
    PostComment = 9,
};
inline constexpr int kCount = 10;
const char* Name(int32_t type);
}

// Message ids of recorded import issues and fatal messages, with their texts.
namespace ImportIssue {
enum : int32_t {
    BadBarSeparators = 61447,
    TooFewTicks = 61448,
    RepeatEndOutsideGroup = 61451,
    InconsistentTicks = 61452,
    TooManyNotes = 61453,
    BadTimeLine = 61454,
    MisalignedDoubleBar = 61455,
    MisalignedBarSeparator = 61456,
    TimeSigMismatch = 61461,
    CannotChangeTimeMode = 61466,
    TimeModeToLinear = 61467,
    UnexpectedTriplet = 61478,
    BogusFirstTickNote = 61479,
    MeasureTooLong = 61480,
    RepeatPrevAsEnding = 61481,
    EndingOutOfSequence = 61482,
    EndingOnFirstMeasure = 61483,
    EndingWithoutGroup = 61485,
    TooManyBars = 61492,
    NotePosition = 61493,
    UncertainLabel = 61494,
};
// The text of a message id; an empty string for an unknown id.
const char* Text(int32_t id);
}

namespace ImportText {
inline constexpr const char* kGroupsTooLong = "Unrecogized tab format (staff groups are too long). Import aborted";
inline constexpr const char* kNotDrumTab = "WARNING: This tab does not look like a drum tab";
inline constexpr const char* kStringStavesLeftOut = "WARNING: The guitar and bass staves of this tab were left out";
inline constexpr const char* kBadSongList = "baddly formed band/album at line %1";
inline constexpr const char* kSongListFile = "SONGLIST.txt";
}

struct STimeKeyEntry
{
    int32_t value;  // position units (96 = a quarter note)
    char symbol;
    char name[23];
};
inline constexpr int kTimeKeyEntries = 12;
const std::array<STimeKeyEntry, kTimeKeyEntries>& DefaultTimeKey();

// Up to five keywords; empty slots are null.
struct SKeywords
{
    const char* k[5];
};

// Instrument recognition (label families and description rows).
namespace InstrumentTables {
enum EFamily { Cymbal, Snare, Tom, Bass, Percussion, Fixed };
struct SLabelRow
{
    SKeywords words;
    EFamily family;
    int instrument; // for Fixed rows
    bool dynamicRule; // tom number rows: kind unchanged, dynamic rule applied
};
struct SDescriptionRow
{
    SKeywords words;
    int instrument;
    int kind;     // 1 or 2
    int dynamic;  // 0, or an accent/ghost/flam value the row sets
};
struct SCharInstrument
{
    char c;
    int instrument;
};
const SLabelRow* LabelRows(int* count);
const SDescriptionRow* CymbalRows(int* count);
const SDescriptionRow* SnareRows(int* count);
const SDescriptionRow* TomRows(int* count);
const SDescriptionRow* PercussionRows(int* count);
const SCharInstrument* CymbalChars(int* count);
const SCharInstrument* PercussionChars(int* count);
inline constexpr int kPercussionDefault = 66;
inline constexpr int kUnknownLabelInstrument = 58;

// Labels as drummers write them, compared whole after LabelKey() (lower case, without
// '.', '-', '_' and blanks). A cymbal alias names the cymbal its line plays; the note
// characters then only vary it (open hi-hat, ride bell, foot).
enum EAlias { AliasCymbal, AliasTom, AliasSnare, AliasBass, AliasFixed };
struct SLabelAlias
{
    const char* key;
    EAlias kind;
    int instrument; // the cymbal, the tom or the fixed instrument
};
const SLabelAlias* LabelAliases(int* count);
// The label as the alias table spells it, and its alias (nullptr: none).
std::string LabelKey(std::string_view label);
const SLabelAlias* FindAlias(std::string_view label);
// The tom keys, high to low.
inline constexpr int kTomKeys[6] = {50, 48, 47, 45, 43, 41};
bool IsTomKey(int key);

// What a legend or note key text says: an instrument it names outright, or a change it
// makes to the instrument of the line (open, foot, flam ...). Words are found anywhere in
// the text, ignoring case; the first row that matches wins within each kind.
enum EMeaning {
    MeaningInstrument,  // the instrument, whatever the line
    MeaningHiHat,       // on a hi-hat or cymbal line: this hi-hat sound
    MeaningSnare,       // on a snare line
    MeaningBass,        // on a bass drum line
    MeaningRide,        // on a ride line
    MeaningDynamic,     // a dynamic (Dynamic::*) on any line
    MeaningSame,        // the line's own instrument (a choked cymbal, a plain hit)
};
struct SMeaningRow
{
    const char* word; // found as a whole word; ' ' in it also matches '-' or nothing
    EMeaning kind;
    int value;        // instrument or dynamic
};
const SMeaningRow* MeaningRows(int* count);
}

namespace Dynamic {
inline constexpr int Normal = 0;
inline constexpr int Accent = 2;
inline constexpr int Ghost = 4;
inline constexpr int Flam = 8;
// Not a dynamic of the Change Instrument dialog: the note is played twice, the second
// stroke half a column later (as the letter 'd' does).
inline constexpr int DoubleStroke = 0x40;
// Goes with the others: a cymbal grabbed after the stroke ('#').
inline constexpr int Choke = 0x10;
}

// The cymbals a hand can grab: crashes, rides, the china and the splash.
constexpr bool IsChokeable(int key)
{
    return key == 49 || key == 57 || key == 51 || key == 53 || key == 59 || key == 52 || key == 55;
}

// The header pass: keyword sets in the order they are tried, with the header field each
// fills (-1 for the tempo set).
namespace HeaderTables {
struct SHeaderRow
{
    SKeywords words;
    int field;
};
inline constexpr int kTempoField = -1;
const SHeaderRow* Rows(int* count);
// Band names whose tabs write long bars on purpose: measure splitting is turned off.
const SKeywords& NoSplitBands();
inline constexpr int kMinTempo = 51;
inline constexpr int kMaxTempo = 249;
}
