#include "importtables.h"

#include <iterator>

const char* LineType::Name(int32_t type)
{
    static const char* const names[kCount] = {
        "UNKNOWN", "BLANK", "HEADER", "MISC COMMENT", "NOTE KEY",
        "TIME KEY", "TIME LINE", "STAFF LINE", "PRE COMMENT", "POST COMMENT",
    };
    return type >= 0 && type < kCount ? names[type] : "UNKNOWN";
}

const char* ImportIssue::Text(int32_t id)
{
    struct SText
    {
        int32_t id;
        const char* text;
    };
    static const SText texts[] = {
        {BadBarSeparators, "Import failed: Cannot find valid bar separators, expecting '|' or 'I'"},
        {TooFewTicks, "Cannot find enough tick '-' marks "},
        {RepeatEndOutsideGroup, "Found repeat group end outside of a repeat group"},
        {InconsistentTicks, "Inconsistent number of ticks on this line"},
        {TooManyNotes, "Too many notes in bar (check time signature)"},
        {BadTimeLine, "Missing or baddly formed time bar line"},
        {MisalignedDoubleBar, "Missing or misaligned double bar. Double bar is assumed"},
        {MisalignedBarSeparator, "Missing or misaligned bar seperator."},
        {TimeSigMismatch, "Time signature and tick counts do not match. Tick count used."},
        {CannotChangeTimeMode, "Cannot change time mode"},
        {TimeModeToLinear, "Changing time mode to linear. Please carefully check results."},
        {UnexpectedTriplet, "Unexpected triplet character"},
        {BogusFirstTickNote, "Unexpected note in 1st tick position. Please check tab and re-import with \"Bogus 1st tick\" flag unchecked if necessary."},
        {MeasureTooLong, "Measure too long. Splitting into several common time measures"},
        {RepeatPrevAsEnding, "Repeat previous cannot be used as the start of an alternate ending. It was replaced with an empty measure."},
        {EndingOutOfSequence, "Alternate end number is out of sequence"},
        {EndingOnFirstMeasure, "Possible alternate end ignored because it is 1st measure in staff"},
        {EndingWithoutGroup, "Alternate ending is missing a group start. One was added at the 1st measure in this staff line."},
        {TooManyBars, "Too many bars on staff. Only the first 16 will be processed."},
        {NotePosition, "Error calculating position of this note"},
    };
    for (const SText& t : texts)
        if (t.id == id)
            return t.text;
    return "";
}

const std::array<STimeKeyEntry, kTimeKeyEntries>& DefaultTimeKey()
{
    static const std::array<STimeKeyEntry, kTimeKeyEntries> table = {{
        {0, '^', "triplet"},
        {384, 'w', "whole"},
        {192, 'h', "half"},
        {96, 'q', "quarter"},
        {48, 'e', "eighth"},
        {24, 's', "sixteenth"},
        {12, 't', "thirty second"},
        {576, 'W', "dotted whole"},
        {288, 'H', "dotted half"},
        {144, 'Q', "dotted quarter"},
        {72, 'E', "dotted eighth"},
        {36, 'S', "dotted sixteenth"},
    }};
    return table;
}

namespace InstrumentTables {
namespace {
constexpr int kLeave = -1; // the row keeps the dynamic found so far

const SLabelRow kLabelRows[] = {
    {{{"cymbal", "hi hat", "hihat"}}, Cymbal, 0, false},
    {{{"snare"}}, Snare, 0, false},
    {{{"tom", "toms", "floor"}}, Tom, 0, false},
    {{{"tom1", "high tom", "6", "8"}}, Fixed, 50, true},
    {{{"tom2", "high mid tom", "9", "10"}}, Fixed, 48, true},
    {{{"tom3", "low mid tom", "11", "12"}}, Fixed, 47, true},
    {{{"tom4", "high floor tom", "13", "14"}}, Fixed, 45, true},
    {{{"tom5", "mid floor tom", "15", "16"}}, Fixed, 43, true},
    {{{"tom6", "low floor tom", "17", "18"}}, Fixed, 41, true},
    {{{"bass", "bass1", "bass2", "kick"}}, Bass, 0, false},
    {{{"percusion", "perc", "perc."}}, Percussion, 0, false},
    {{{"tamborine", "tambourine", "tamb", "tam"}}, Fixed, 54, false},
    {{{"wood block", "wood", "wb"}}, Fixed, 77, false},
    {{{"cow bell", "cb"}}, Fixed, 56, false},
    {{{"triangle", "tri"}}, Fixed, 81, false},
};

// Ride row: 53 instead of 51 when a word also matches "bell" (handled by the recogniser).
const SDescriptionRow kCymbalRows[] = {
    {{{"crash", "cr"}}, 49, 1, kLeave},
    {{{"ride", "bell"}}, 51, 1, kLeave},
    {{{"half", "open", "hh"}}, 46, 2, kLeave},
    {{{"open"}}, 46, 1, kLeave},
    {{{"closed"}}, 42, 1, kLeave},
    {{{"pedal", "foot"}}, 44, 1, kLeave},
    {{{"chinese", "china", "trash", "stax", "ch"}}, 52, 1, kLeave},
    {{{"splash", "sp"}}, 55, 1, kLeave},
    {{{nullptr}}, 42, 2, kLeave},
};

const SDescriptionRow kSnareRows[] = {
    {{{"stick", "sticks", "rim", "rimshot"}}, 37, 1, kLeave},
    {{{"ghost"}}, 38, 1, Dynamic::Ghost},
    {{{"flam"}}, 38, 1, Dynamic::Flam},
    {{{"unaccented"}}, 38, 1, Dynamic::Normal},
    {{{"accented"}}, 38, 1, Dynamic::Accent},
    {{{"cow"}}, 56, 1, kLeave},
    {{{"clap"}}, 39, 1, kLeave},
    {{{nullptr}}, 38, 2, kLeave},
};

const SDescriptionRow kTomRows[] = {
    {{{"tom1", "high", "6", "8"}}, 50, 1, kLeave},
    {{{"tom2", "high mid", "9", "10"}}, 48, 1, kLeave},
    {{{"tom3", "low mid", "11", "12"}}, 47, 1, kLeave},
    {{{"tom4", "high floor", "13", "14", "t"}}, 45, 1, kLeave},
    {{{"tom5", "mid floor", "15", "16"}}, 43, 1, kLeave},
    {{{"tom6", "low floor", "17", "18", "f"}}, 41, 1, kLeave},
    {{{"mid", "middle"}}, 47, 1, kLeave},
    {{{"low", "bottom"}}, 41, 1, kLeave},
    {{{nullptr}}, 43, 2, kLeave},
};

const SDescriptionRow kPercussionRows[] = {
    {{{"high timbale"}}, 65, 1, kLeave},
    {{{"timbale", "low timbale"}}, 66, 1, kLeave},
    {{{"tamborine", "tambourine", "tamb", "tam"}}, 54, 1, kLeave},
    {{{"wood block", "wood", "wb"}}, 77, 1, kLeave},
    {{{"cow bell", "cb"}}, 56, 1, kLeave},
    {{{"triangle"}}, 81, 1, kLeave},
    {{{nullptr}}, kPercussionDefault, 2, kLeave},
};

// Compared ignoring case.
const SCharInstrument kCymbalChars[] = {
    {'#', 46}, {'o', 46}, {'b', 53}, {'c', 49}, {'f', 44},
    {'p', 44}, {'h', 42}, {'r', 51}, {'s', 55}, {'t', 52},
};

// Compared case-sensitively.
const SCharInstrument kPercussionChars[] = {
    {'A', 67}, {'a', 68}, {'B', 60}, {'b', 61}, {'C', 63}, {'c', 64},
    {'E', 72}, {'e', 71}, {'G', 74}, {'g', 73}, {'H', 39}, {'l', 75},
    {'M', 70}, {'m', 54}, {'O', 62}, {'r', 80}, {'R', 81}, {'s', 69},
    {'T', 65}, {'t', 66}, {'U', 79}, {'u', 78}, {'V', 58}, {'w', 77},
    {'W', 76},
};
}

const SLabelRow* LabelRows(int* count)
{
    *count = int(std::size(kLabelRows));
    return kLabelRows;
}
const SDescriptionRow* CymbalRows(int* count)
{
    *count = int(std::size(kCymbalRows));
    return kCymbalRows;
}
const SDescriptionRow* SnareRows(int* count)
{
    *count = int(std::size(kSnareRows));
    return kSnareRows;
}
const SDescriptionRow* TomRows(int* count)
{
    *count = int(std::size(kTomRows));
    return kTomRows;
}
const SDescriptionRow* PercussionRows(int* count)
{
    *count = int(std::size(kPercussionRows));
    return kPercussionRows;
}
const SCharInstrument* CymbalChars(int* count)
{
    *count = int(std::size(kCymbalChars));
    return kCymbalChars;
}
const SCharInstrument* PercussionChars(int* count)
{
    *count = int(std::size(kPercussionChars));
    return kPercussionChars;
}
}

namespace HeaderTables {
namespace {
const SHeaderRow kRows[] = {
    {{{"song title", "song"}}, 0},
    {{{"band name", "band", "artist"}}, 1},
    {{{"album"}}, 2},
    {{{"copyright"}}, 6},
    {{{"music"}}, 7},
    {{{"lyrics"}}, 8},
    {{{"drummer"}}, 9},
    {{{"tabbed", "author", "transcribed"}}, 10},
    {{{"bpm", "tempo", "minute", "q=", "q ="}}, kTempoField},
};
// Both write long, through-composed bars that read better unsplit.
const SKeywords kNoSplitBands = {{"meshuggah", "tool"}};
}

const SHeaderRow* Rows(int* count)
{
    *count = int(std::size(kRows));
    return kRows;
}
const SKeywords& NoSplitBands()
{
    return kNoSplitBands;
}
}
