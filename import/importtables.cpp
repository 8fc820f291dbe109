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
        {UncertainLabel, "Instrument label not recognised for certain; its notes are played as"},
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

const SLabelAlias kAliases[] = {
    // Hi-hats, the foot and the cymbals.
    {"oh", AliasCymbal, 46}, {"openhat", AliasCymbal, 46}, {"openhh", AliasCymbal, 46},
    {"h", AliasCymbal, 42}, {"hh", AliasCymbal, 42}, {"hihat", AliasCymbal, 42}, {"hat", AliasCymbal, 42},
    {"hhc", AliasCymbal, 42}, {"hc", AliasCymbal, 42}, {"ch", AliasCymbal, 52},
    {"hf", AliasCymbal, 44}, {"fh", AliasCymbal, 44}, {"hhf", AliasCymbal, 44}, {"hp", AliasCymbal, 44}, {"hhp", AliasCymbal, 44},
    {"hfoot", AliasCymbal, 44}, {"foot", AliasCymbal, 44}, {"pedal", AliasCymbal, 44}, {"ped", AliasCymbal, 44},
    {"c", AliasCymbal, 49}, {"cc", AliasCymbal, 49}, {"c1", AliasCymbal, 49}, {"cc1", AliasCymbal, 49},
    {"cr", AliasCymbal, 49}, {"cr1", AliasCymbal, 49}, {"crash", AliasCymbal, 49}, {"crash1", AliasCymbal, 49},
    {"cy", AliasCymbal, 49}, {"cym", AliasCymbal, 49}, {"crashcymbal", AliasCymbal, 49},
    {"chinacymbal", AliasCymbal, 52}, {"splashcymbal", AliasCymbal, 55}, {"hihatfoot", AliasCymbal, 44},
    {"hihatpedal", AliasCymbal, 44}, {"hhpedal", AliasCymbal, 44}, {"hhfoot", AliasCymbal, 44},
    {"hatfoot", AliasCymbal, 44}, {"hatpedal", AliasCymbal, 44}, {"hatped", AliasCymbal, 44}, {"hhped", AliasCymbal, 44},
    {"hihatped", AliasCymbal, 44}, {"hatft", AliasCymbal, 44}, {"hhft", AliasCymbal, 44}, {"hihatft", AliasCymbal, 44},
    {"hft", AliasCymbal, 44}, {"hatf", AliasCymbal, 44}, {"hihatf", AliasCymbal, 44},
    {"c2", AliasCymbal, 57}, {"cc2", AliasCymbal, 57}, {"cr2", AliasCymbal, 57}, {"crash2", AliasCymbal, 57},
    {"r", AliasCymbal, 51}, {"rd", AliasCymbal, 51}, {"ride", AliasCymbal, 51}, {"rc", AliasCymbal, 51},
    {"ridecymbal", AliasCymbal, 51},
    {"rb", AliasCymbal, 53}, {"bell", AliasCymbal, 53}, {"ridebell", AliasCymbal, 53}, {"bl", AliasCymbal, 53},
    {"g", AliasCymbal, 52}, {"china", AliasCymbal, 52}, {"chn", AliasCymbal, 52}, {"chin", AliasCymbal, 52},
    {"chinese", AliasCymbal, 52}, {"cn", AliasCymbal, 52}, {"trash", AliasCymbal, 52},
    {"spl", AliasCymbal, 55}, {"splash", AliasCymbal, 55}, {"sp", AliasCymbal, 55}, {"spc", AliasCymbal, 55},
    // Toms, high to low; sT is the small tom.
    {"ht", AliasTom, 50}, {"t1", AliasTom, 50}, {"1t", AliasTom, 50}, {"tom1", AliasTom, 50},
    // The rack tom over a floor tom: the high tom.
    {"rt", AliasTom, 50}, {"rack", AliasTom, 50}, {"racktom", AliasTom, 50},
    {"hitom", AliasTom, 50}, {"hightom", AliasTom, 50}, {"htom", AliasTom, 50}, {"smalltom", AliasTom, 50},
    {"mt", AliasTom, 48}, {"t2", AliasTom, 48}, {"2t", AliasTom, 48}, {"tom2", AliasTom, 48},
    {"mid", AliasTom, 48}, {"midtom", AliasTom, 48}, {"mtom", AliasTom, 48}, {"middletom", AliasTom, 48},
    {"lt", AliasTom, 47}, {"t3", AliasTom, 47}, {"3t", AliasTom, 47}, {"tom3", AliasTom, 47},
    {"lotom", AliasTom, 47}, {"lowtom", AliasTom, 47}, {"ltom", AliasTom, 47},
    {"t4", AliasTom, 45}, {"4t", AliasTom, 45}, {"tom4", AliasTom, 45},
    {"t5", AliasTom, 43}, {"5t", AliasTom, 43}, {"tom5", AliasTom, 43},
    {"t6", AliasTom, 41}, {"6t", AliasTom, 41}, {"tom6", AliasTom, 41},
    // Floor toms and plain T: the tom rules of the label's letters and numbers decide.
    {"ft", AliasTom, 0}, {"fl", AliasTom, 0}, {"floor", AliasTom, 0}, {"floortom", AliasTom, 0},
    {"ftom", AliasTom, 0}, {"f1", AliasTom, 0}, {"f2", AliasTom, 0}, {"ft1", AliasTom, 0}, {"ft2", AliasTom, 0},
    {"t", AliasTom, 0}, {"tom", AliasTom, 0}, {"toms", AliasTom, 0},
    // Snare and bass drum as usually written.
    {"s", AliasSnare, 38}, {"sd", AliasSnare, 38}, {"sn", AliasSnare, 38}, {"snr", AliasSnare, 38},
    {"snare", AliasSnare, 38}, {"snaredrum", AliasSnare, 38},
    {"b", AliasBass, 36}, {"bd", AliasBass, 36}, {"k", AliasBass, 36}, {"kd", AliasBass, 36},
    {"kick", AliasBass, 36}, {"bass", AliasBass, 36}, {"bassdrum", AliasBass, 36}, {"kickdrum", AliasBass, 36},
    // The feet of a double bass drum (a left foot beside a kick line is the hat's: see RecognizeAll).
    {"rf", AliasBass, 36}, {"lf", AliasBass, 36}, {"rightfoot", AliasBass, 36}, {"leftfoot", AliasBass, 36},
    // Percussion.
    {"cb", AliasFixed, 56}, {"cow", AliasFixed, 56}, {"cowb", AliasFixed, 56}, {"cowbell", AliasFixed, 56},
    {"tamb", AliasFixed, 54}, {"tambourine", AliasFixed, 54}, {"clap", AliasFixed, 39}, {"cl", AliasFixed, 75},
    {"wb", AliasFixed, 76}, {"woodblock", AliasFixed, 76}, {"shaker", AliasFixed, 70}, {"tri", AliasFixed, 81},
    // The rim of the snare: side stick.
    {"rim", AliasFixed, 37}, {"rimshot", AliasFixed, 37}, {"rimclick", AliasFixed, 37}, {"sidestick", AliasFixed, 37},
    {"crossstick", AliasFixed, 37}, {"xstick", AliasFixed, 37},
};

// Within one kind the first row that matches wins, so longer phrases come first.
const SMeaningRow kMeanings[] = {
    {"cross stick", MeaningInstrument, 37}, {"crossstick", MeaningInstrument, 37}, {"x stick", MeaningInstrument, 37},
    {"side stick", MeaningInstrument, 37}, {"sidestick", MeaningInstrument, 37}, {"rim click", MeaningInstrument, 37},
    {"rimshot", MeaningInstrument, 37}, {"rim shot", MeaningInstrument, 37}, {"rim", MeaningInstrument, 37},
    {"cow bell", MeaningInstrument, 56}, {"cowbell", MeaningInstrument, 56},
    {"china", MeaningInstrument, 52}, {"chinese", MeaningInstrument, 52}, {"trash", MeaningInstrument, 52},
    {"foot splash", MeaningInstrument, 46}, {"splash", MeaningInstrument, 55},
    {"ride bell", MeaningInstrument, 53}, {"bell", MeaningRide, 53},
    {"2nd crash", MeaningInstrument, 57}, {"second crash", MeaningInstrument, 57}, {"crash 2", MeaningInstrument, 57},
    {"crash", MeaningInstrument, 49}, {"ride", MeaningInstrument, 51},
    {"tambourine", MeaningInstrument, 54}, {"tamborine", MeaningInstrument, 54},
    {"wood block", MeaningInstrument, 76}, {"woodblock", MeaningInstrument, 76},
    {"hand clap", MeaningInstrument, 39}, {"clap", MeaningInstrument, 39},
    {"electronic snare", MeaningInstrument, 40}, {"electric snare", MeaningInstrument, 40},
    {"triangle", MeaningInstrument, 81}, {"shaker", MeaningInstrument, 70}, {"maracas", MeaningInstrument, 70},
    {"floor tom", MeaningInstrument, 41}, {"high tom", MeaningInstrument, 50}, {"mid tom", MeaningInstrument, 48},
    {"low tom", MeaningInstrument, 47},
    {"kick", MeaningInstrument, 36}, {"bass drum", MeaningInstrument, 36}, {"right foot", MeaningInstrument, 36},
    {"half open", MeaningHiHat, 46}, {"open", MeaningHiHat, 46}, {"closed", MeaningHiHat, 42},
    {"pedal", MeaningHiHat, 44}, {"foot", MeaningHiHat, 44},
    {"stick", MeaningSnare, 37},
    {"hi hat", MeaningBass, 44}, {"hihat", MeaningBass, 44}, {"pedal", MeaningBass, 44}, {"foot", MeaningBass, 44},
    {"unaccented", MeaningDynamic, Dynamic::Normal}, {"flam", MeaningDynamic, Dynamic::Flam},
    // A drag or ruff has two grace notes; the song holds one, the flam's: its nearest sound.
    {"drag", MeaningDynamic, Dynamic::Flam}, {"ruff", MeaningDynamic, Dynamic::Flam},
    {"ghost", MeaningDynamic, Dynamic::Ghost}, {"accent", MeaningDynamic, Dynamic::Accent},
    {"accented", MeaningDynamic, Dynamic::Accent},
    {"double", MeaningDynamic, Dynamic::DoubleStroke}, {"diddle", MeaningDynamic, Dynamic::DoubleStroke},
    {"choke", MeaningSame, Dynamic::Choke}, {"choked", MeaningSame, Dynamic::Choke}, {"grab", MeaningSame, Dynamic::Choke},
    {"stop", MeaningSame, Dynamic::Choke},
};
}

const SLabelAlias* LabelAliases(int* count)
{
    *count = int(std::size(kAliases));
    return kAliases;
}

bool IsTomKey(int key)
{
    for (int k : kTomKeys)
        if (k == key)
            return true;
    return false;
}

const SMeaningRow* MeaningRows(int* count)
{
    *count = int(std::size(kMeanings));
    return kMeanings;
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
    {{{"song title", "song", "title"}}, 0},
    {{{"band name", "band", "artist"}}, 1},
    {{{"album"}}, 2},
    {{{"copyright"}}, 6},
    {{{"music"}}, 7},
    {{{"lyrics"}}, 8},
    {{{"drummer"}}, 9},
    {{{"tabbed", "author", "transcribed"}}, 10},
    {{{"bpm", "tempo", "minute", "q=", "q ="}}, kTempoField},
    // A quarter note sign (UTF-8) before the tempo.
    {{{"\xE2\x99\xA9"}}, kTempoField},
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
