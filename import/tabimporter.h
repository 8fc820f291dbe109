#pragma once
// The text tab importer: reads a plain-text drum tab, classifies its lines by a series of
// passes over the whole file, recognises labels, note letters, time lines, header fields,
// comments and repeat marks, and converts each staff block into song events.
//
// Usage: CTabImporter imp; imp.ReadTabFile(path) (or ReadTabBytes); imp.ImportTab(doc) returns
// the number of staff blocks converted, or -1 after a fatal problem (m_fatalMessage says which;
// it has also gone to UserReport()). The document keeps the importer for the import panes.
// Text is handled as bytes: a tab is ASCII art and its columns are byte columns.

#include "importtables.h"
#include "rondeldoc.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <array>
#include <climits>
#include <iterator>
#include <memory_resource>
#include <span>
#include <type_traits>
#include <utility>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// m_barFlags bits.
namespace BarFlag {
inline constexpr uint8_t KindMask = 0x03;
inline constexpr uint8_t KindText = 0;    // no ticks: a time signature or other text
inline constexpr uint8_t KindWritten = 1; // notes and ticks
inline constexpr uint8_t KindRest = 2;
inline constexpr uint8_t KindRepeat = 3;  // a measure-repeat bar (./.)
inline constexpr uint8_t GroupStart = 0x04;
inline constexpr uint8_t GroupEnd = 0x08; // or, with BarAux() != 0, alternate ending BarAux()
inline constexpr int BeatShift = 4;       // count line beat unit, see BeatUnit
inline constexpr uint8_t BeatMask = 0x30;
inline constexpr uint8_t ClosesDouble = 0x40;
inline constexpr uint8_t RepeatEndSign = 0x80; // dots before a closing double bar
}

// Beat units of a count line (m_barFlags bits 4-5).
namespace BeatUnit {
inline constexpr int Sixteenth = 0;
inline constexpr int Quarter = 1;
inline constexpr int Eighth = 2;
inline constexpr int DottedQuarter = 3;
}

// Text of the tab as the user sees it: UTF-8 when it is valid UTF-8, else Latin-1.
QString ImportedText(std::string_view text);

// The text of an import line: a view of the bytes the importer keeps (most lines are read
// as written), or, once it differs from them, a copy in the importer's arena. 16 bytes, which
// counts over the hundreds of thousands of lines of a big tab. Reads like a string_view; the
// edits take the arena, since the line does not hold it.
class CLineText
{
public:
    CLineText() = default;
    // Views text, which must outlive the line unchanged.
    static CLineText View(std::string_view text)
    {
        CLineText t;
        t.m_data = const_cast<char*>(text.data());
        t.m_size = Count(text.size());
        return t;
    }

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const char* data() const { return m_data; }
    char operator[](size_t i) const { return m_data[i]; }
    char back() const { return m_data[m_size - 1]; }
    const char* begin() const { return m_data; }
    const char* end() const { return m_data + m_size; }
    operator std::string_view() const { return {m_data, m_size}; }
    std::string_view substr(size_t pos, size_t n = std::string_view::npos) const { return View().substr(pos, n); }
    size_t find(std::string_view s, size_t from = 0) const { return View().find(s, from); }
    size_t find(char c, size_t from = 0) const { return View().find(c, from); }
    size_t rfind(char c, size_t from = std::string_view::npos) const { return View().rfind(c, from); }
    size_t find_first_of(std::string_view s, size_t from = 0) const { return View().find_first_of(s, from); }
    friend bool operator==(const CLineText& a, std::string_view b) { return a.View() == b; }
    // True while the text is a copy of its own in the arena.
    bool IsCopy() const { return m_capacity != 0; }

    // The text, writable (copied into the arena first while it views the kept bytes).
    char* Edit(std::pmr::memory_resource* arena)
    {
        if (!IsCopy() && m_size)
            Reallocate(m_size, arena);
        return m_data;
    }
    // text may be (a part of) the line's own text.
    void Assign(std::string_view text, std::pmr::memory_resource* arena)
    {
        if (text.empty()) {
            clear();
            return;
        }
        char* data = Allocate(text.size(), arena);
        std::memcpy(data, text.data(), text.size());
        m_data = data;
        m_size = Count(text.size());
        m_capacity = m_size;
    }
    void Append(size_t n, char c, std::pmr::memory_resource* arena)
    {
        if (!n)
            return;
        if (!IsCopy() || m_size + n > m_capacity)
            Reallocate(m_size + n, arena);
        std::memset(m_data + m_size, c, n);
        m_size += Count(n);
    }
    // pos beyond the end is taken as the end, n beyond it as the rest (as the edits of a
    // line shortened by an earlier pass ask).
    void Erase(size_t pos, size_t n, std::pmr::memory_resource* arena)
    {
        pos = std::min(pos, size());
        n = std::min(n, size() - pos);
        if (!n)
            return;
        Edit(arena);
        std::memmove(m_data + pos, m_data + pos + n, m_size - pos - n);
        m_size -= Count(n);
    }
    // Puts with over the n characters at pos.
    void Replace(size_t pos, size_t n, std::string_view with, std::pmr::memory_resource* arena)
    {
        pos = std::min(pos, size());
        n = std::min(n, size() - pos);
        if (n == with.size()) {
            if (n)
                std::memcpy(Edit(arena) + pos, with.data(), n);
            return;
        }
        std::string text(View().substr(0, pos));
        text.append(with);
        text.append(View().substr(pos + n));
        Assign(text, arena);
    }
    void clear() { m_size = 0; }

private:
    using Count = uint32_t;
    std::string_view View() const { return {m_data, m_size}; }
    static char* Allocate(size_t n, std::pmr::memory_resource* arena)
    {
        return static_cast<char*>(arena->allocate(n, 1));
    }
    // A copy of the text with room for n characters (the arena frees the old one with the lines).
    void Reallocate(size_t n, std::pmr::memory_resource* arena)
    {
        char* data = Allocate(n, arena);
        if (m_size)
            std::memcpy(data, m_data, m_size);
        m_data = data;
        m_capacity = Count(n);
    }
    char* m_data = nullptr;
    Count m_size = 0;
    Count m_capacity = 0; // 0: a view of the kept bytes
};

// A time signature "N/D" anywhere in the text, as numerator bits 0-4 and log2(denominator) bits
// 5-7; 0 when there is none.
uint8_t FindTimeSigInText(std::string_view text);

namespace HatMarks {
enum : int { None = 0, OOpens = 1, PlusOpens = 2 };
}

// Bytes passes look for in a line, kept per line as read (CImportLine::m_marks): a pass
// passes over a line read without its mark.
namespace LineMark {
enum : uint8_t { Bar = 1, Colon = 2, Dot = 4, Paren = 8, Dash = 16, Slash = 32 };
}

class CImportLine
{
public:
    // Normalises the raw line: trailing blanks (and the line end) removed, TABs expanded to
    // stops of 8, the first "&nbbsp" deleted. A line that needs no more than the trim views
    // raw when rawIsKept (raw then outlives the line unchanged); any other is copied into
    // arena, which also holds the per-bar arrays and frees them in one piece.
    CImportLine(std::string_view raw, int lineNo, std::pmr::memory_resource* arena, bool rawIsKept = false);

    // The per-bar arrays (see below), all of them zero, in one block of the arena; the
    // old ones are dropped. withOpen: the line is its group's first and has BarOpen() too.
    void SetBars(int count, bool withOpen, std::pmr::memory_resource* arena);

    int m_barCount = 0;
    int m_labelStart = 0;
    int m_firstBarColumn = 0;
    // Counted by the character census from column 2, for the staff line test.
    int m_separatorsFrom2 = 0;
    int m_dashesFrom2 = 0;
    int m_spacesFrom2 = 0;
    // Index of the first line of this line's staff group (-1 outside groups).
    int m_groupFirst = -1;
    int m_lineNo = 0;
    uint32_t m_letters : 26 = 0; // bit n: the letter 'a' + n occurs (either case)
    // The LineMark bytes ('|', ':', '.', '(', '-', '/') the text held as it was read.
    uint32_t m_marks : 6 = 0;
    // How far this line's separators stand right of the group's first line (at most
    // ImportLimits::kMaxColumnShift either way).
    int8_t m_columnShift = 0;
    int8_t m_type = LineType::Unknown;
    int8_t m_labelIndex = -1; // a label slot (below ImportLimits::kLabelSlots)
    // The line holds repeat or ending marks; the song carries them, so it is no bar text.
    bool m_repeatAnnotation : 1 = false;
    // The line's count ("Verse (x3)") plays its whole staff; only its other words are bar text.
    bool m_staffCount : 1 = false;
    bool m_hasDigit : 1 = false;
    // The staff (its first line) ends with a last hit after its last bar line ("|X--").
    bool m_lastHitBar : 1 = false;
    // A guitar or bass line set aside: no remark for a staff next to it.
    bool m_stringLine : 1 = false;

private:
    bool m_hasBarOpen : 1 = false;

public:
    CLineText m_text;

private:
    int* m_bars = nullptr; // the per-bar block, see Bytes()

public:
    // Per bar, m_barCount of each. Columns are kept whole (staves of a thousand columns
    // exist), so they are ints.
    std::span<int> BarColumn() { return {Ints(), Bars()}; }
    std::span<const int> BarColumn() const { return {Ints(), Bars()}; }
    // On a group's first line only (empty on the others): the bar's content columns
    // [BarOpen, BarEnd) on the line that governs the bars (repeat dots excluded); BarEnd is
    // the closing separator.
    std::span<int> BarOpen() { return {Ints() + 2 * Bars(), m_hasBarOpen ? Bars() : 0}; }
    std::span<const int> BarOpen() const { return {Ints() + 2 * Bars(), m_hasBarOpen ? Bars() : 0}; }
    std::span<int> BarEnd() { return {Ints() + Bars(), Bars()}; }
    std::span<const int> BarEnd() const { return {Ints() + Bars(), Bars()}; }
    std::span<uint8_t> BarFlags() { return {Bytes(), Bars()}; }
    std::span<const uint8_t> BarFlags() const { return {Bytes(), Bars()}; }
    std::span<uint8_t> BarAux() { return {Bytes() + Bars(), Bars()}; }
    std::span<const uint8_t> BarAux() const { return {Bytes() + Bars(), Bars()}; }
    std::span<uint8_t> BarAux2() { return {Bytes() + 2 * Bars(), Bars()}; }
    std::span<const uint8_t> BarAux2() const { return {Bytes() + 2 * Bars(), Bars()}; }
    // Numerator bits 0-4, log2(denominator) bits 5-7.
    std::span<uint8_t> BarTimeSig() { return {Bytes() + 3 * Bars(), Bars()}; }
    std::span<const uint8_t> BarTimeSig() const { return {Bytes() + 3 * Bars(), Bars()}; }

    int Length() const { return int(m_text.size()); }
    // False when the line cannot hold a word of these letters (ImportText::WordLetters): one
    // of them never occurs in the line. Lets the staff line test skip most keyword searches.
    bool MayHold(uint32_t letters) const { return (m_letters & letters) == letters; }
    // False when the line, unchanged since it was read, holds none of these LineMark bytes.
    // A line changed since (its text is a copy of its own) may hold any.
    bool MayHoldMark(uint8_t marks) const { return (m_marks & marks) || m_text.IsCopy(); }
    // True when the line, unchanged since it was read, holds one of them; false says nothing.
    bool SurelyHoldsMark(uint8_t marks) const { return (m_marks & marks) && !m_text.IsCopy() && !m_text.empty(); }
    // False when the line cannot hold a written signature "N/D": it has no digit, or no '/'.
    bool MayHoldTimeSig() const { return m_hasDigit && MayHoldMark(LineMark::Slash); }
    // The character at a column, or ' ' beyond the end.
    char At(int column) const { return column >= 0 && column < Length() ? m_text[size_t(column)] : ' '; }

private:
    // The block: columns, ends (and opens), then flags, aux, aux2 and signatures.
    size_t Bars() const { return size_t(m_barCount); }
    int* Ints() const { return m_bars; }
    uint8_t* Bytes() const { return reinterpret_cast<uint8_t*>(m_bars + (m_hasBarOpen ? 3 : 2) * Bars()); }
};
static_assert(std::is_trivially_copyable_v<CImportLine>);
// Big tabs have hundreds of thousands of lines: keep the line small.
static_assert(sizeof(CImportLine) <= 64);
static_assert(ImportLimits::kMaxColumnShift <= 127 && ImportLimits::kLabelSlots <= 127);

struct CImportIssue
{
    int32_t m_id = 0;
    int m_line = 0; // index into the importer's lines
    int m_start = 0;
    int m_end = 0;
    int m_instrument = 0; // the instrument chosen for a label not recognised for certain
};

// The text an import issue shows: its message, and the instrument chosen where it names one.
QString ImportIssueText(const CImportIssue& issue);

struct CNoteKeyEntry
{
    uint8_t kind = 0; // 0 undecided, 1 from a note key keyword, 2 by the fallback rules
    uint8_t instrument = 0;
    uint8_t dynamic = 0; // Dynamic::*
    char noteChar = 0;
    char description[ImportLimits::kMaxDescriptionChars + 1] = {};
};

struct CLabelRecord
{
    char label[ImportLimits::kMaxLabelChars + 1] = {};
    std::array<CNoteKeyEntry, ImportLimits::kMaxNoteChars> entries;
    int EntryCount() const;
};

class CTabImporter : public CDocPart
{
public:
    CTabImporter();

    // Reads the file into lines; false when it cannot be opened.
    bool ReadTabFile(const QString& path);
    void ReadTabBytes(std::string_view bytes);
    // Runs the import passes and appends the song to doc's event list. Returns the number of
    // staff blocks converted, or -1 when the import failed (m_fatalMessage).
    int ImportTab(CRondelDoc& doc);

    void AddIssue(int32_t id, int line, int start, int end);

    // Position of the first of the keywords (tried in order) that stands in text as a whole
    // word, ignoring case, or -1. rest receives the text after it, trimmed of leading
    // " -:=" and trailing blanks.
    static int FindKeyword(std::string_view text, std::string* rest, const char* k1, const char* k2 = nullptr,
                           const char* k3 = nullptr, const char* k4 = nullptr, const char* k5 = nullptr);
    static int FindKeyword(std::string_view text, std::string* rest, const SKeywords& words);
    static int FirstNonBlank(std::string_view text, int from);
    // Digits followed by 'x' (directly or after one space) or 'x' followed by digits, either
    // case: the number, else -1.
    static int FindMultiplier(std::string_view text);
    // 0 plain, 2 rest bar, 3 measure repeat (measures in *n), -n a number.
    static int BarTextKind(std::string_view text, int* measures);
    static void TimeSigFromTicks(int ticks, int* num, int* den);

    // Word matcher of instrument recognition.
    static bool MatchWord(std::string_view word, const char* keyword);
    static bool MatchAny(const std::string* words, int n, const SKeywords& keywords);

    // Dynamic in the high byte, instrument in the low byte; 0 when the label has no entry.
    uint16_t LookupNote(int labelIndex, char c) const;
    // True when the fallback rules decided.
    bool RecognizeInstrument(CLabelRecord& record, int entry);

    // The Time key dialog's rules: mode changes are allowed only from Meter or Count to Linear
    // (message 61467); any other change of mode shows 61466 and keeps the mode. The options
    // are stored either way. Returns false when the mode change was refused.
    struct STimeOptions
    {
        int timeMode = 0;
        int ticksPerChar = 2;
        bool bogusFirstTick = false;
        bool splitLongMeasures = true;
        bool roundToCommon = false;
    };
    // A later ImportTab keeps options set here instead of deciding them from the tab.
    bool ApplyTimeOptions(const STimeOptions& options);
    bool HasUserTimeOptions() const { return m_userTimeOptions; }

    // Instruments the user chose for a label's note character (Change Instrument). ImportTab
    // puts them over what it recognised, so that converting the kept text again keeps them.
    struct SUserMapping
    {
        std::string label;
        char noteChar = 0;
        uint8_t instrument = 0;
        uint8_t dynamic = 0;
    };
    std::vector<SUserMapping> m_userMappings;
    // The bytes ReadTabBytes was given, kept so that the song can be converted again. The
    // lines' text views them: only ReadTabBytes changes them, after it has dropped the lines.
    std::string m_sourceBytes;

    // Holds the lines' text and bar arrays; declared before them so it outlives them.
    std::pmr::monotonic_buffer_resource m_arena;
    // The lines, with the sentinel empty line last.
    std::vector<CImportLine> m_lines;
    std::vector<CImportIssue> m_issues;
    QString m_fatalMessage;
    QString m_path;

    std::array<STimeKeyEntry, kTimeKeyEntries> m_timeKey;
    char m_barChar = 0;
    char m_tickChar = '-';
    int m_tabType = 0;
    int m_timeMode = 0;
    bool m_timeAbove = false;
    bool m_timeOutside = false;
    bool m_upperCaseAccents = true;
    bool m_cymbalOIsHit = false; // the tab writes its cymbals with 'o' and its drums with 'x'
    bool m_dashAtColumn0 = false;
    bool m_dashAtColumn1 = false;
    int m_ticksPerChar = 1;
    bool m_timeSigInMeasures = false;
    bool m_timeSigOwnMeasures = false;
    bool m_bogusFirstTick = false;
    bool m_splitLongMeasures = true;
    bool m_roundToCommon = false;
    int m_groupState = 0;
    int m_groupFirstLine = 0; // line index
    int m_groupLineCount = 0;
    // The labels found, m_labelCount of them (room for ImportLimits::kLabelSlots is kept, so
    // a record never moves; only the records in use are ever cleared).
    std::vector<CLabelRecord> m_labels;
    int m_labelCount = 0;
    int m_barTotal = 0;
    int m_blockCount = 0;

    // Header fields found (also written to the document).
    std::array<QString, Header::Count> m_header;
    int m_tempo = 0;
    // A count line in dotted-quarter beats: the document's "3 part counting" flag.
    bool m_threePartCounting = false;
    // The last bar a count line measured: a bar of the same length with no count under it
    // (the count written over the first bar only) keeps its signature.
    int m_countedTicks = 0;
    int m_countedNum = 4;
    int m_countedDen = 4;

private:
    // The kept bytes with the typographic dashes and blanks mapped, when there were any (the
    // lines then view these).
    std::string m_mappedBytes;
    // Layouts of real tabs put into the staff form the passes read (see
    // tabimporter_layout.cpp); run once the lines are read.
    void NormaliseLayout();
    void RestDotsToTicks();
    // Slot grids of a drum machine's kind ("| bd -- bd -- |", each cell naming its sound):
    // a row a staff line labelled with the sound, a slot a note and a tick.
    void StripQuotesAndLineNumbers();
    void ColonsAfterLabelsToBarLines();
    void EvenOutShortBars();
    void LabelsAfterBarsToFront();
    // Staves with no label on any line: labels from a note naming the lines top to bottom,
    // else hi-hat, snare and bass drum (listed as guesses).
    void LabelsFromOrder();
    // Puts `columns` blanks before the lines right above first and below end - 1, up to a
    // blank line (or, above, a staff line): a count or endings next to a staff whose labels
    // were put in front.
    void ShiftNeighbours(size_t first, size_t end, size_t columns, bool stopAtStaff);
    void SpacedColumnsToTicks();
    void SpreadCountsToColumns();
    void BlankRestsToTicks();
    void SlotGridsToTicks();
    // Step grids ("Kick:  X . . . X . . .") a step a column, in bar lines.
    void StepGridsToTicks();
    // Staves drawn as cells with a bar line between every two: each cell a note and a tick,
    // the bars where the count under them starts again at 1.
    void CellGridsToTicks();
    // Staves written with no bar line at all: one before the notes and one after.
    void BarlessStavesToBars();
    // Blank lines of a double-spaced staff and rails drawn between staff lines go.
    void DropStaffSpacers();
    // "(x)" on a staff line: one ghost stroke, written "-g-".
    void GhostsInParens();
    // Three hands at once: a drummer reads the hi-hat line as the foot, and a generic cymbal
    // that keeps time over it as the ride (labels recognised by the fallback rules only).
    void AssignKitRoles();

    // Pipeline steps (split by pass over tabimporter_*.cpp).
    int RunCharacterCensus();
    bool PreScanStaffGroups();
    void DecideTabType();
    void SetAsideStringStaves();
    // A staff line's label: the text before its first bar line, trimmed, without a colon.
    std::string_view StaffLabel(const CImportLine& line) const;
    // The two staff lines have the same label.
    bool SameLabel(const CImportLine& a, const CImportLine& b) const;
    bool StartsPartialStaff(int index) const;
    bool BreaksRunOrder(int index) const;
    bool ChangesToOrFromStrings(int index) const;
    // From `index` on, the staff lines repeat the open group's labels in order, to their end.
    bool RepeatsGroupLabels(int index);
    // The tempo a line of its own gives ("Tempo: 124", "124 bpm"), or 0.
    static int TempoLineValue(const CImportLine& line);
    bool MarkStaffGroups();
    int ScanStaffGroups(int line, int tabType);
    bool IsStaffLine(int line, int tabType, int barCount, int dashCount, int spaceCount);
    void ScoreLabel(const CImportLine& line);
    void CommentPass();

    void AnalyseStaffGroup(int first, int count);
    void FindLabelEnd(int first, int count);
    void FindBars(int first, int count);
    void ClassifyBars(int first, int count);
    // A signature at the start of a bar, before its notes ("|3/4 x-x-"), on lines whose
    // others leave its columns blank: the bar's first column moves to the notes after it.
    // Returns the signature, or 0.
    uint8_t SkipLeadingTimeSig(int first, int count, int bar);
    uint8_t StackedLeadingTimeSig(int first, int count, int bar);
    // Signatures written after a bar line on one line of a staff, whose bar lines stand right
    // of the others' by their width: taken out of the line's text, kept in m_takenSigs.
    void TakeOutBarSignatures(int first, int count);
    struct STakenSig
    {
        int line;
        int column; // of the bar's first column in the line, once taken out
        uint8_t sig;
    };
    std::vector<STakenSig> m_takenSigs;
    // A time signature whose numerator and denominator stand on two lines of the bar
    // columns [open, end), with only ticks and blanks besides; 0 if none.
    uint8_t StackedTimeSig(int first, int count, int open, int end) const;
    // Non-blank, tick and note-like characters of a run of text.
    void CountSegment(std::string_view text, int* nonSpace, int* ticks, int* noteLike) const;
    // The last character of the text that is neither blank nor a tick (0 if none).
    char LastOther(std::string_view text) const;
    void FindRepeatDots(int first, int count);
    void ApplyRepeatMarks(int first, int count);
    // A repeat bracket on the line `outer`, over the bracket line right above the staff.
    void ApplyOuterBracket(int first, int outer);
    void CensusTickLength(int first, int count);
    void DecideTickLength();
    void ReadEmbeddedTimeSigs();

    void BuildLabelRecords(int line);
    void ParseNoteKey(int line);
    bool IsKeyHeader(const CImportLine& line, std::vector<int>* labels);
    int ReadKeyEntries(const CImportLine& line);
    void RecognizeAll();
    // Legends ("c = cross-stick", "ff: flat flam"): read before the label records, so that a
    // symbol of several letters becomes one note character; applied after recognition.
    void ReadLegends();
    void ApplyLegends();
    // The lines show the symbols as written again once the song is built.
    void RestoreLegendSymbols();
    // Tom lines of a staff fall from high to low; a bare T takes the next free tom.
    void SpreadToms();
    void ReportGuessedLabels();
    // Lines that name the tempo are header lines, never count lines.
    void MarkTempoLines();
    void ApplyUserMappings();

    void CensusTimeLines();
    void CheckMeterLine(const CImportLine& line, bool fromStaffTest, int* good, int* bad, bool wordsAreText = false) const;
    void CheckCountLine(const CImportLine& line, bool apply, bool fromStaffTest, int* good, int* bad) const;
    int MeterTokenValue(const CImportLine& line, int column, bool* triplet) const
    {
        *triplet = false;
        const int value = m_meterValue[uint8_t(line.At(column))];
        if (!value)
            return 0;
        const char next = line.At(column + 1);
        if (next == m_timeKey[0].symbol) {
            *triplet = true;
            return value * 2 / 3;
        }
        if (next == '.')
            return value * 3 / 2;
        return value;
    }
    bool IsMeterLine(const CImportLine& line, bool fromStaffTest) const;
    bool IsCountLine(const CImportLine& line, bool fromStaffTest) const;

    void ParseHeaderLine(int line);
    void LookupSongList();

    bool AssembleBlock(int line);
    bool ConvertBlock(CEventList& events);
    int CountBarTicks(int bar, std::string* trailing);
    int MeterBarTicks(int bar);
    int CountLineBarTicks(int bar, int* num, int* den);
    bool ReuseCountedGrid(int open, int end, int* ticks, int* num, int* den);
    // Positions read from a time line: anchors at the columns of its symbols or syllables.
    struct SAnchor
    {
        int column;
        int pos;
        bool triplet;
    };
    void ReadMeterAnchors(int bar);
    // The position of a column from the anchors (*triplet: it lies in a triplet). For columns
    // asked for from left to right, *cursor (0 before the first column) keeps the place of
    // the next anchor between the calls; without a cursor the anchor is searched for.
    int AnchorPosition(int column, bool* triplet, size_t* cursor) const;
    CEvent* ConvertWrittenBar(CEventList& events, int bar);
    // Steps of a 4/4 bar (4, 8 or 16) when a bar of no usual length has its hits evenly
    // spaced on a grid of several columns; 0 otherwise.
    int FreeSpacingSteps(int firstColumn, int end, int ticks) const;
    void WalkColumns(CEventList& events, int bar, int firstColumn, int ticks, bool split, CEvent* barEvent);
    // How the line right above a staff marks its hi-hat strokes (HatMarks::*), read once a line.
    int HatMarksOf(int line);
    // Fills m_walkColumnUsed and m_walkLines for the block's columns, [firstColumn, end)
    // among them (read once a block).
    void FindBarCharacters(int firstColumn, int end);
    int CountTripletSpacing(int column, int end) const;
    int TrailingRepeatCount(const CImportLine& line) const;
    void FlushPendingRepeat(CEventList& events, int column);
    void EmitMeasureRef(CEvent* ev, int column);
    void AttachComment(const CImportLine& groupFirst, const std::vector<CEvent*>& barEvents);
    bool ParseRepeatAnnotation(const CImportLine& annotation, int first, int bar, int* repeatCount, int* ending,
                               int* groupStart, int* groupBars, unsigned* moreEndings = nullptr);
    // Bars marked with several endings ("1.3.") play as themselves for the first number and as
    // copies, placed in ending order, for the others.
    unsigned MoreEndingsOf(int line, int bar) const;
    void KeepEndingCopies(const CEventList& events, const CEvent* bar, unsigned numbers);
    int EmitEndingCopies(CEventList& events, int beforeEnding);
    // Reads "repeat 3", "play 4 times", "x4", "2nd ending" from an annotation segment.
    static bool ReadRepeatWords(std::string_view segment, int* repeatCount, int* ending, unsigned* moreEndings = nullptr);
    static int StaffCountOf(const CImportLine& line);
    static std::string WithoutStaffCount(std::string_view text);
    int LineShiftAt(int line) const { return m_lines[size_t(line)].m_columnShift; }

    bool m_userTimeOptions = false;
    // What each byte is to the per-character loops; set by SetCharKinds once the census has
    // chosen the separator and tick characters.
    enum : uint16_t {
        kKindSpace = 1 << 0,      // ' '
        kKindUnderscore = 1 << 1, // '_'
        kKindTick = 1 << 2,       // m_tickChar
        kKindBar = 1 << 3,        // m_barChar (NUL too when there is none)
        kKindSeparator = 1 << 4,  // m_barChar when there is one
        kKindTee = 1 << 5,        // 't' 'T'
        kKindDigit = 1 << 6,
        kKindSyllable = 1 << 7,   // e + & a u t l q, either case
        kKindNoteLike = 1 << 8,   // x o X O 1-6
        kKindTab = 1 << 9,
    };
    std::array<uint16_t, 256> m_charKind{};
    // Bar classification counts by byte, packed so that a run of text is summed with one add
    // per byte: non-blank (bits 0-20), tick (bits 21-41), note-like (bits 42-62).
    static constexpr int kSegmentTickShift = 21;
    static constexpr int kSegmentNoteShift = 42;
    static constexpr uint64_t kSegmentField = (uint64_t(1) << 21) - 1;
    std::array<uint64_t, 256> m_segmentCount{};
    // A byte's part in a count line.
    enum : uint8_t { kCountIgnored, kCountDigit, kCountTee, kCountSyllable, kCountOther };
    std::array<uint8_t, 256> m_countClass{};
    void SetCharKinds();
    struct SCharTables
    {
        std::array<uint16_t, 256> kind;
        std::array<uint64_t, 256> count;
        std::array<uint8_t, 256> countClass;
    };
    // The table entries of byte c, for these tick and separator bytes (-1: none).
    static void CharKindsOf(int c, int tick, int bar, bool separator, SCharTables* tables);
    // Census results.
    int m_groupCount = 0;
    bool m_notDrumTab = false;
    bool m_rescanLine = false; // ScanStaffGroups ended a group at a line that opens the next
    int m_periodicUntil = -1; // staff lines before it repeat their labels every m_periodicPeriod
    int m_periodicPeriod = 0;
    int m_runRefFirst = -1; // the first staff of a run of staves with no blank line between
    int m_runRefCount = 0;
    std::vector<std::string_view> m_runRefLabels; // its labels
    std::vector<std::string_view> m_groupLabels;  // the labels of the staff being scanned
    // What the staff line test made of each line by the line alone (-1: not known yet, else
    // the verdict), kept from the first scan for the second; and whether the test in progress
    // reached its verdict so (1) or looked at the neighbours (2), 0 before it gets there.
    std::vector<int8_t> m_staffVerdicts;
    int8_t m_verdictState = 0;
    // The label of the line being scanned, taken once for the tests that ask for it (-1: none).
    int m_scanLabelLine = -1;
    std::string_view m_scanLabel;
    std::string_view LabelOfLine(int index) const
    {
        return index == m_scanLabelLine ? m_scanLabel : StaffLabel(m_lines[size_t(index)]);
    }
    bool m_legendNamesD = false; // a legend gives 'd' a meaning: no built-in double stroke
    std::vector<std::pair<int, int>> m_evenedBars; // line and column of bars given or cut ticks
    std::vector<int> m_scratchSeparators;
    // The staves converted so far under a title ("Verse", "Chorus"), with their events' words:
    // a later "same as verse" or "(repeat chorus)" plays them again.
    struct SSection
    {
        std::string name;
        std::vector<std::pair<uint32_t, uint32_t>> words;
    };
    std::vector<SSection> m_sections;
    int m_copiedMeasures = 0;
    bool m_asksForSections = false; // some line asks for a section again
    // Bars of eight columns from this line on are 4/4 in eighths ("one character = one 8th
    // note", or a backbeat on their third and seventh columns); INT_MAX: none.
    int m_eighthGridFrom = INT_MAX;
    void DecideEighthGrid();
    // "Chorus again x2 (same as above)", "Chorus x2" on a line of its own with no staff under
    // it, naming an earlier section that is not the staff right above: the section's name
    // (empty: none) and how often it plays.
    std::string SectionCall(int line, int* plays) const;
    bool AsksForSections() const;
    void EmitSectionCopies(CEventList& events, int from, int to);
    void RecordSection(const CEventList& events, const CEvent* before, int blockFirst);
    int m_firstStaffLine = -1;
    int m_lastBlockEnd = -1; // the last line of the block converted last
    uint8_t m_statedSig = 0; // the last signature the tab stated outside its staves ("Time: 6/8")
    int m_groupsBySize[8] = {};
    int m_drumScore = 0;
    int m_guitarScore = 0;
    int m_barsOf16 = 0;
    int m_barsOf32 = 0;
    int m_bogusBars = 0;
    int m_timeSigInBars = 0;
    int m_timeSigOwnBars = 0;

    // Note key state.
    int m_keyState = 0;
    std::vector<int> m_keyLabels;
    int m_keyLine = -1;
    bool m_keyHadEntries = false;
    std::string m_keyWord;              // scratch of the key header test
    std::vector<int> m_keyHeaderLabels; // scratch of the key header test
    int m_accentedCrashes = 0;
    int m_plainCrashes = 0;

    // Labels the importer could not place for certain (by label slot).
    std::array<bool, ImportLimits::kLabelSlots> m_labelGuessed{};
    std::vector<std::string> m_orderGuessedLabels; // labels LabelsFromOrder made up
    // One legend entry: the symbol as written, what it stands for, its line, and the note
    // character a symbol of several letters was replaced with in the staff lines.
    struct SLegendEntry
    {
        std::string symbol;
        std::string meaning;
        int line;
        char noteChar;
        int parts = -1; // the kit parts (bits of KitPart) a "snares:" or "cymbals:" line names
    };
    std::vector<SLegendEntry> m_legend;
    struct SLegendEdit
    {
        int line;
        int column;
        int entry; // index into m_legend
    };
    std::vector<SLegendEdit> m_legendEdits;

    // Block of the assembler (line indices, -1 for none).
    std::vector<int> m_blockLines;
    int m_blockPreComment = -1;
    int m_blockPostComment = -1;
    int m_blockTimeLine = -1;

    // Running song state.
    int m_timeSigNum = 4;
    int m_timeSigDen = 4;
    int m_pendingRepeatCount = 0;
    int m_pendingRepeatMeasures = 0;
    bool m_measureRefDone = false;
    std::vector<SAnchor> m_anchors;
    int m_meterValue[256] = {}; // the time key by symbol (position units), for fast lookup
    // Scratch reused from bar to bar: the measure's notes as WalkColumns appends them, all
    // in one go.
    std::vector<SEventWords> m_barNoteWords;
    int m_hatMarksLine = -1;
    int m_hatMarks = 0;
    // LookupNote as a table per label, filled before the conversion.
    std::vector<std::array<uint16_t, 256>> m_noteTable;
    bool m_blockMayHoldTriplets = false;
    std::vector<int> m_tickCounts;
    // The block's lines as the column loops read them (set by ConvertBlock).
    struct SBlockLine
    {
        const char* text;
        int length;
        int shift;            // m_columnShift
        int line;             // index into m_lines
        const uint16_t* notes; // the label's m_noteTable row (all zero without a label)
    };
    std::vector<SBlockLine> m_blockView;
    std::vector<uint8_t> m_walkColumnUsed;
    // The block's columns from m_walkFrom to m_walkTo, read once for all its bars: for each,
    // the block lines (a bit each, top first) whose character there may be a note. The
    // matching m_walkColumnUsed entries say whether the column holds more than blanks.
    std::vector<uint16_t> m_walkLines;
    int m_walkFrom = 0;
    int m_walkTo = 0;
    int m_anchorOpen = 0;  // bar columns [open, close) and its length in position units
    int m_anchorClose = 0;
    int m_anchorEnd = 0;
    // The columns of the last bar a count line measured: a bar of as many columns with no count under it places its notes the same
    // way (a triplet count over the first bar holds for the bars after it).
    int m_countedColumns = 0;
    std::vector<SAnchor> m_countedAnchors;
    // Scratch of CountLineBarTicks, reused from bar to bar: the beats of the bar's count.
    struct SCountBeat
    {
        int column;
        int number;
        bool amp = false, e = false, aAlone = false;
        bool ampThenA = false; // "1&a": a beat of three eighths (with no gaps)
        int gaps = 0;
        char triplet = 0; // 'l', 't' or 'q' of a count triplet "1 t l"
    };
    std::vector<SCountBeat> m_countBeats;
    // A bar whose count starts on a later beat right at its bar line ("|3e+a4e+a|"): the
    // beats before it in position units (its anchors start from 0 after them), and the
    // signature of the bar with them. 0 when the count starts on the 1.
    int m_countGoesOn = 0;
    int m_countFullNum = 4;
    int m_countFullDen = 4;
    // The count of the bar just measured starts on the 1 at its bar line and ends on a whole
    // beat; the last such bar written, which a bar whose count goes on from it continues.
    bool m_countFromOne = false;
    CEvent* m_countedFromOne = nullptr;
    // Some staff holds repeat signs, endings or repeat counts: bars are kept as written.
    bool m_tabRepeatMarks = false;
    // The bar event that the written bar continues across a bar line in the middle of it
    // (see m_countGoesOn), or null.
    CEvent* CountedBarGoingOn(const CEventList& events, int bar, int ticks) const;

    // Repeat group state, carried from staff to staff.
    int m_groupStartLine = -1;
    int m_groupStartBar = -1;
    bool m_inRepeatGroup = false;
    int m_groupBarCount = 0;
    int m_lastEnding = 0;
    int m_previousStaff = -1;
    int m_pendingGroupCount = -1; // a repeat count annotated inside the open group
    struct SMoreEndings
    {
        int line;
        int bar;
        unsigned numbers; // bit n - 1 for ending n
    };
    std::vector<SMoreEndings> m_moreEndings;
    unsigned m_endingsAhead = 0; // numbers of the open group's endings already given by such bars
    struct SEndingCopy
    {
        int ending;
        std::vector<std::pair<uint32_t, uint32_t>> words; // the bar and its notes
    };
    std::vector<SEndingCopy> m_endingCopies; // waiting for their place among the endings

    // Marks of the group being analysed, per bar.
    enum : uint8_t { kOpensDouble = 1, kStartSign = 2 };
    std::vector<uint8_t> m_groupMarks;
    // Scratch of FindBars and ConvertBlock, reused from staff to staff.
    struct SBoundary
    {
        int left;
        int right;
    };
    std::vector<SBoundary> m_scratchBounds;
    std::vector<int> m_scratchOpens;
    std::vector<int> m_scratchEnds;
    std::vector<uint8_t> m_scratchClosesDouble;
    std::vector<CEvent*> m_barEvents;
    // The assembler completed a block on a line that may open the next one.
    bool m_refeed = false;
};
