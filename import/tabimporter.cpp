// The importer's pipeline, the line record, reading the file and the shared text helpers.

#include "tabimporter.h"

#include "importtext.h"
#include "report.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <cstring>

using namespace ImportText;

int ImportText::FindWord(std::string_view text, std::string_view word, size_t from)
{
    if (word.empty() || text.size() < word.size() || from > text.size() - word.size())
        return -1;
    // Hot: every staff line test looks for several words. Letters compare with their case bit
    // folded in, so the scan is one OR and one compare per byte.
    const char first = ToLower(word[0]);
    const bool letter = IsLetter(first);
    const char* p = text.data();
    const size_t last = text.size() - word.size();
    for (size_t i = from; i <= last; ++i) {
        const char c = p[i];
        if (letter ? char(c | 0x20) != first : c != first)
            continue;
        size_t j = 1;
        while (j < word.size() && ToLower(p[i + j]) == ToLower(word[j]))
            ++j;
        if (j < word.size())
            continue;
        if (i > 0 && IsLetter(p[i - 1]))
            continue;
        if (i + j < text.size() && IsLetter(p[i + j]))
            continue;
        return int(i);
    }
    return -1;
}

int ImportText::FirstNumber(std::string_view text, size_t from, int* at)
{
    for (size_t i = from; i < text.size(); ++i) {
        if (!IsDigit(text[i]))
            continue;
        if (at)
            *at = int(i);
        int n = 0;
        for (int k = 0; i < text.size() && IsDigit(text[i]) && k < 9; ++i, ++k)
            n = n * 10 + (text[i] - '0');
        return n;
    }
    return -1;
}

namespace {
// One lookup per byte gives the line's letters (bits 0-25), whether it holds a digit, a
// TAB or an '&' (the start of "&nbbsp"), and its LineMark bytes (from bit 32 up).
constexpr uint32_t kDigitBit = 1u << 26;
constexpr uint32_t kTabBit = 1u << 27;
constexpr uint32_t kAmpBit = 1u << 28;
constexpr uint32_t kLetterMask = (1u << 26) - 1;
constexpr int kMarkShift = 32;

const std::array<uint64_t, 256>& ByteClasses()
{
    static const std::array<uint64_t, 256> table = [] {
        std::array<uint64_t, 256> t{};
        for (int c = 0; c < 256; ++c) {
            const char ch = char(c);
            if (IsLetter(ch))
                t[size_t(c)] = 1u << (ToLower(ch) - 'a');
            else if (IsDigit(ch))
                t[size_t(c)] = kDigitBit;
        }
        t['\t'] = kTabBit;
        t['&'] = kAmpBit;
        t['|'] = uint64_t(LineMark::Bar) << kMarkShift;
        t[':'] = uint64_t(LineMark::Colon) << kMarkShift;
        t['.'] = uint64_t(LineMark::Dot) << kMarkShift;
        t['('] = uint64_t(LineMark::Paren) << kMarkShift;
        t['-'] = uint64_t(LineMark::Dash) << kMarkShift;
        t['/'] = uint64_t(LineMark::Slash) << kMarkShift;
        return t;
    }();
    return table;
}

uint64_t ClassesOf(std::string_view text)
{
    const std::array<uint64_t, 256>& table = ByteClasses();
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    uint64_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        a0 |= table[p[i]];
        a1 |= table[p[i + 1]];
        a2 |= table[p[i + 2]];
        a3 |= table[p[i + 3]];
    }
    for (; i < n; ++i)
        a0 |= table[p[i]];
    return a0 | a1 | a2 | a3;
}
}

CImportLine::CImportLine(std::string_view raw, int lineNo, std::pmr::memory_resource* arena, bool rawIsKept)
    : m_lineNo(lineNo)
{
    size_t end = raw.size();
    while (end > 0 && IsSpace(raw[end - 1]))
        --end;
    raw = raw.substr(0, end);
    uint64_t classes = ClassesOf(raw);
    if (classes & kTabBit) {
        std::string expanded;
        expanded.reserve(raw.size() + 16);
        for (char c : raw) {
            if (c == '\t')
                expanded.append(8 - expanded.size() % 8, ' ');
            else
                expanded.push_back(c);
        }
        m_text.Assign(expanded, arena);
    } else if (rawIsKept) {
        m_text = CLineText::View(raw);
    } else {
        m_text.Assign(raw, arena);
    }
    if (classes & kAmpBit) {
        const size_t nbsp = m_text.find("&nbbsp");
        if (nbsp != std::string::npos) {
            m_text.Erase(nbsp, 6, arena);
            classes = ClassesOf(m_text); // its letters may not occur elsewhere
        }
    }
    m_type = m_text.empty() ? LineType::Blank : LineType::Unknown;
    m_letters = uint32_t(classes) & kLetterMask;
    m_marks = uint8_t(classes >> kMarkShift);
    m_hasDigit = (classes & kDigitBit) != 0;
}

void CImportLine::SetBars(int count, bool withOpen, std::pmr::memory_resource* arena)
{
    m_barCount = std::max(count, 0);
    m_hasBarOpen = withOpen;
    m_bars = nullptr;
    if (!m_barCount)
        return;
    const size_t bytes = (withOpen ? 3 : 2) * Bars() * sizeof(int) + 4 * Bars();
    m_bars = static_cast<int*>(arena->allocate(bytes, alignof(int)));
    std::memset(m_bars, 0, bytes);
}

int CLabelRecord::EntryCount() const
{
    int n = 0;
    while (n < ImportLimits::kMaxNoteChars && entries[size_t(n)].noteChar != 0)
        ++n;
    return n;
}

CTabImporter::CTabImporter() : m_timeKey(DefaultTimeKey())
{
    m_labels.reserve(ImportLimits::kLabelSlots);
}

bool CTabImporter::ReadTabFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    m_path = path;
    ReadTabBytes(std::string_view(bytes.constData(), size_t(bytes.size())));
    return true;
}

namespace {
// A line that goes on in the next one: a line with a bar separator whose last non-blank byte
// is a single '=' or '\\' (a mail program's soft wrap). *keep receives the length of the
// part before the mark.
bool WrappedLineLength(std::string_view line, size_t* keep)
{
    size_t end = line.size();
    while (end > 0 && IsSpace(line[end - 1]))
        --end;
    if (end < 2)
        return false;
    const char mark = line[end - 1];
    if ((mark != '=' && mark != '\\') || line[end - 2] == mark)
        return false;
    if (line.find('|') == std::string_view::npos)
        return false;
    *keep = end - 1;
    return true;
}

// The line opens a staff of its own: a label of up to eight letters, digits and blanks,
// then a bar line ("SD|", "Hi Hat |"). A wrapped line never goes on in such a line; a
// bracket drawn over a staff ("/--- x3 ---\\") ends in the mark too.
bool OpensStaff(std::string_view line)
{
    size_t c = 0;
    while (c < line.size() && IsBlank(line[c]))
        ++c;
    bool letter = false;
    for (size_t n = 0; c < line.size() && n < 8; ++c, ++n) {
        const char ch = line[c];
        if (ch == '|')
            return letter;
        if (!IsAlnum(ch) && ch != ' ' && ch != ':' && ch != '.')
            return false;
        letter = letter || IsLetter(ch);
    }
    return false;
}
}

void CTabImporter::ReadTabBytes(std::string_view bytes)
{
    // The bytes are kept first: they may be the kept bytes themselves (converting the kept
    // text again) or a line's text, which goes with the lines.
    m_sourceBytes.assign(bytes);
    m_lines.clear();
    m_labels.clear();
    m_labelCount = 0;
    m_arena.release();
    std::string().swap(m_mappedBytes);
    bytes = MapTypographicBytes(m_sourceBytes, &m_mappedBytes);
    if (bytes.data() != m_mappedBytes.data())
        std::string().swap(m_mappedBytes);
    m_lines.reserve(CountByte(bytes, '\n') + 2);
    // Lines end with LF, CR LF or a lone CR. A long physical line stays one line: real tabs
    // write a whole song as one staff of a thousand columns.
    size_t start = 0;
    int lineNo = 1;
    // Most tabs end lines with LF alone: then memchr finds each end.
    const bool anyCr = bytes.find('\r') != std::string_view::npos;
    auto nextLine = [&](std::string_view* line) {
        size_t end = start;
        if (!anyCr) {
            const void* lf = std::memchr(bytes.data() + start, '\n', bytes.size() - start);
            end = lf ? size_t(static_cast<const char*>(lf) - bytes.data()) : bytes.size();
        } else {
            while (end < bytes.size() && bytes[end] != '\n' && bytes[end] != '\r')
                ++end;
        }
        *line = bytes.substr(start, end - start);
        if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n')
            ++end;
        start = end + 1;
    };
    std::string joined;
    while (start < bytes.size()) {
        std::string_view line;
        nextLine(&line);
        const int firstNo = lineNo++;
        // A staff line that a mail program wrapped ends in '=' or '\' and goes on in the next
        // line: the two are one line.
        size_t keep = 0;
        if (!WrappedLineLength(line, &keep) || start >= bytes.size()) {
            m_lines.emplace_back(line, firstNo, &m_arena, true);
            continue;
        }
        joined.assign(line.substr(0, keep));
        std::string_view mark = line.substr(keep); // put back when nothing follows after all
        while (start < bytes.size()) {
            const size_t before = start;
            std::string_view more;
            nextLine(&more);
            if (OpensStaff(more)) {
                start = before; // read again as a line of its own
                joined.append(mark);
                break;
            }
            ++lineNo;
            if (WrappedLineLength(more, &keep) && start < bytes.size()) {
                joined.append(more.substr(0, keep));
                mark = more.substr(keep);
                continue;
            }
            joined.append(more);
            break;
        }
        m_lines.emplace_back(joined, firstNo, &m_arena);
    }
    m_lines.emplace_back(std::string_view(), lineNo, &m_arena); // the sentinel
    NormaliseLayout();
}

void CTabImporter::CharKindsOf(int c, int tick, int bar, bool separator, SCharTables* tables)
{
    const char ch = char(c);
    uint16_t k = 0;
    if (ch == ' ')
        k |= kKindSpace;
    if (ch == '_')
        k |= kKindUnderscore;
    if (c == tick)
        k |= kKindTick;
    if (c == bar)
        k |= kKindBar;
    if (c == bar && separator)
        k |= kKindSeparator;
    if (ch == 't' || ch == 'T')
        k |= kKindTee;
    if (IsDigit(ch))
        k |= kKindDigit;
    switch (ToLower(ch)) {
    case 'e':
    case '+':
    case '&':
    case 'a':
    case 'u':
    case 't':
    case 'l':
    case 'q': k |= kKindSyllable; break;
    default: break;
    }
    if (ch == 'x' || ch == 'o' || ch == 'X' || ch == 'O' || (ch >= '1' && ch <= '6'))
        k |= kKindNoteLike;
    if (ch == '\t')
        k |= kKindTab;
    tables->kind[size_t(c)] = k;
    uint64_t counts = 0;
    if (ch != ' ') {
        counts = 1;
        if (c == tick)
            counts |= uint64_t(1) << kSegmentTickShift;
        if (k & kKindNoteLike)
            counts |= uint64_t(1) << kSegmentNoteShift;
    }
    tables->count[size_t(c)] = counts;
    tables->countClass[size_t(c)] = (k & (kKindSpace | kKindBar)) ? kCountIgnored
        : (k & kKindDigit)                                 ? kCountDigit
        : (k & kKindTee)                                   ? kCountTee
        : (k & kKindSyllable)                              ? kCountSyllable
                                                           : kCountOther;
}

void CTabImporter::SetCharKinds()
{
    // The tables without a tick or separator character are the same for every tab: they are
    // worked out once and copied, and only the entries of those two characters redone.
    static const SCharTables plain = [] {
        SCharTables t;
        for (int c = 0; c < 256; ++c)
            CharKindsOf(c, -1, -1, false, &t);
        return t;
    }();
    SCharTables tables = plain;
    const int tick = uint8_t(m_tickChar);
    const int bar = uint8_t(m_barChar);
    CharKindsOf(tick, tick, bar, m_barChar != 0, &tables);
    CharKindsOf(bar, tick, bar, m_barChar != 0, &tables);
    m_charKind = tables.kind;
    m_segmentCount = tables.count;
    m_countClass = tables.countClass;
}

void CTabImporter::CountSegment(std::string_view text, int* nonSpace, int* ticks, int* noteLike) const
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    size_t n = text.size();
    *nonSpace = *ticks = *noteLike = 0;
    while (n > 0) {
        // The packed fields hold 2^21 - 1: a very long line is summed in pieces.
        const size_t piece = std::min<size_t>(n, size_t(1) << 20);
        uint64_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
        size_t i = 0;
        for (; i + 4 <= piece; i += 4) {
            a0 += m_segmentCount[p[i]];
            a1 += m_segmentCount[p[i + 1]];
            a2 += m_segmentCount[p[i + 2]];
            a3 += m_segmentCount[p[i + 3]];
        }
        for (; i < piece; ++i)
            a0 += m_segmentCount[p[i]];
        const uint64_t sum = a0 + a1 + a2 + a3;
        *nonSpace += int(sum & kSegmentField);
        *ticks += int((sum >> kSegmentTickShift) & kSegmentField);
        *noteLike += int((sum >> kSegmentNoteShift) & kSegmentField);
        p += piece;
        n -= piece;
    }
}

char CTabImporter::LastOther(std::string_view text) const
{
    for (size_t c = text.size(); c-- > 0;)
        if (text[c] != ' ' && text[c] != m_tickChar)
            return text[c];
    return 0;
}

void CTabImporter::AddIssue(int32_t id, int line, int start, int end)
{
    if (line < 0 || line >= int(m_lines.size()))
        return;
    start = std::max(start, 0);
    if (end == 0) {
        const std::string_view text = m_lines[size_t(line)].m_text;
        const size_t from = size_t(start) + 1;
        const size_t bar = (m_barChar && from < text.size()) ? text.find(m_barChar, from) : std::string::npos;
        end = bar == std::string::npos ? int(text.size()) : int(bar);
    }
    // A column past the end of a short line still names a place: an empty span there.
    m_issues.push_back({id, line, start, std::max(start, end)});
}

int CTabImporter::FindKeyword(std::string_view text, std::string* rest, const char* k1, const char* k2, const char* k3,
                              const char* k4, const char* k5)
{
    const char* keys[5] = {k1, k2, k3, k4, k5};
    for (const char* key : keys) {
        if (!key)
            continue;
        const std::string_view word(key);
        const int at = FindWord(text, word);
        if (at < 0)
            continue;
        if (rest) {
            std::string_view r = text.substr(size_t(at) + word.size());
            size_t b = 0;
            while (b < r.size() && (r[b] == ' ' || r[b] == '-' || r[b] == ':' || r[b] == '=' || r[b] == '\t'))
                ++b;
            r = r.substr(b);
            size_t e = r.size();
            while (e > 0 && IsSpace(r[e - 1]))
                --e;
            rest->assign(r.substr(0, e));
        }
        return at;
    }
    return -1;
}

int CTabImporter::FindKeyword(std::string_view text, std::string* rest, const SKeywords& words)
{
    return FindKeyword(text, rest, words.k[0], words.k[1], words.k[2], words.k[3], words.k[4]);
}

int CTabImporter::FirstNonBlank(std::string_view text, int from)
{
    for (size_t i = size_t(std::max(from, 0)); i < text.size(); ++i)
        if (!IsBlank(text[i]))
            return int(i);
    return -1;
}

namespace {
// Whether text holds an 'x' or an 'X', eight bytes at a time.
bool HoldsX(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        if (ZeroBytes((w | kByteOnes * 0x20) ^ (kByteOnes * uint8_t('x'))))
            return true;
    }
    for (; i < n; ++i)
        if ((p[i] | 0x20) == 'x')
            return true;
    return false;
}
} // namespace

int CTabImporter::FindMultiplier(std::string_view text)
{
    // Either form needs an 'x'; most texts (counts, labels, bars) have none.
    if (!HoldsX(text))
        return -1;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (IsDigit(c) && (i == 0 || !IsAlnum(text[i - 1]))) {
            // 4x, 4 x, 12X
            size_t j = i;
            int n = 0;
            while (j < text.size() && IsDigit(text[j])) {
                if (n < 100000)
                    n = n * 10 + (text[j] - '0');
                ++j;
            }
            size_t x = j;
            if (x < text.size() && text[x] == ' ')
                ++x;
            if (x < text.size() && (text[x] == 'x' || text[x] == 'X') && (x + 1 >= text.size() || !IsLetter(text[x + 1])))
                return n;
            i = j - 1;
        } else if ((c == 'x' || c == 'X') && (i == 0 || !IsAlnum(text[i - 1])) && i + 1 < text.size()
                   && IsDigit(text[i + 1])) {
            // x4, X4
            size_t j = i + 1;
            int n = 0;
            while (j < text.size() && IsDigit(text[j])) {
                if (n < 100000)
                    n = n * 10 + (text[j] - '0');
                ++j;
            }
            if (j >= text.size() || !IsLetter(text[j]))
                return n;
        }
    }
    return -1;
}

int CTabImporter::BarTextKind(std::string_view text, int* measures)
{
    text = Trim(text);
    if (text.empty())
        return 0;
    if (FindWord(text, "rest") >= 0 || FindWord(text, "silence") >= 0)
        return 2;
    static const char* const marks[] = {"./.", ".//.", ".///.", ".////."};
    for (int n = 0; n < 4; ++n) {
        if (text == marks[n]) {
            if (measures)
                *measures = n + 1;
            return 3;
        }
    }
    if (IsDigit(text[0])) {
        int n = text[0] - '0';
        if (text.size() > 1 && IsDigit(text[1]))
            n = n * 10 + (text[1] - '0');
        return -n;
    }
    return 0;
}

void CTabImporter::TimeSigFromTicks(int ticks, int* num, int* den)
{
    if (ticks <= 0) {
        *num = 4;
        *den = 4;
        return;
    }
    for (int d : {4, 8, 16, 32}) {
        if (ticks % (32 / d) == 0) {
            *num = ticks / (32 / d);
            *den = d;
            return;
        }
    }
    *num = ticks;
    *den = 32;
}

bool CTabImporter::ApplyTimeOptions(const STimeOptions& options)
{
    bool accepted = true;
    if (options.timeMode != m_timeMode) {
        if (options.timeMode == 0 && (m_timeMode == 1 || m_timeMode == 2)) {
            UserReport().Warning(QString::fromLatin1(ImportIssue::Text(ImportIssue::TimeModeToLinear)));
            m_timeMode = 0;
        } else {
            UserReport().Warning(QString::fromLatin1(ImportIssue::Text(ImportIssue::CannotChangeTimeMode)));
            accepted = false;
        }
    }
    if (m_timeMode == 0) {
        m_userTimeOptions = true;
        m_ticksPerChar = options.ticksPerChar == 1 ? 1 : 2;
        m_bogusFirstTick = options.bogusFirstTick;
        m_splitLongMeasures = options.splitLongMeasures;
        m_roundToCommon = options.roundToCommon;
    }
    return accepted;
}

void CTabImporter::ApplyUserMappings()
{
    for (const SUserMapping& m : m_userMappings) {
        for (int l = 0; l < m_labelCount; ++l) {
            CLabelRecord& rec = m_labels[size_t(l)];
            if (m.label != rec.label)
                continue;
            for (int e = 0; e < rec.EntryCount(); ++e) {
                CNoteKeyEntry& entry = rec.entries[size_t(e)];
                if (entry.noteChar != m.noteChar)
                    continue;
                entry.instrument = m.instrument;
                entry.dynamic = m.dynamic;
                entry.kind = 1; // no longer a guess
            }
        }
    }
}

int CTabImporter::ImportTab(CRondelDoc& doc)
{
    m_issues.clear();
    m_fatalMessage.clear();
    // Bars a tick or two short or long on one line of a staff were evened out as the lines
    // were read: the line is shown as inconsistent there.
    for (const auto& [line, column] : m_evenedBars)
        AddIssue(ImportIssue::InconsistentTicks, line, column, 0);
    m_timeKey = DefaultTimeKey();
    std::fill(std::begin(m_meterValue), std::end(m_meterValue), 0);
    for (int i = kTimeKeyEntries - 1; i >= 1; --i) // the first entry of a symbol wins
        m_meterValue[uint8_t(m_timeKey[size_t(i)].symbol)] = m_timeKey[size_t(i)].value;
    m_blockCount = 0;
    m_countedTicks = 0;
    m_sections.clear();
    m_copiedMeasures = 0;
    m_countedColumns = 0;
    m_countedAnchors.clear();
    m_barTotal = 0;
    m_hatMarksLine = -1;
    m_lastBlockEnd = -1;
    m_statedSig = 0;
    auto fail = [this](const QString& text) {
        m_fatalMessage = text;
        UserReport().Error(text);
        return -1;
    };

    if (const int fatal = RunCharacterCensus())
        return fail(QString::fromLatin1(ImportIssue::Text(fatal)));
    SetCharKinds();
    if (!PreScanStaffGroups())
        return fail(QString::fromLatin1(ImportText::kGroupsTooLong));
    if (m_groupCount == 0)
        return fail(QString::fromLatin1(ImportIssue::Text(ImportIssue::BadBarSeparators)));
    DecideTabType();
    if (!MarkStaffGroups())
        return fail(QString::fromLatin1(ImportText::kGroupsTooLong));
    SetAsideStringStaves();
    if (!m_userTimeOptions)
        DecideTickLength();
    ReadEmbeddedTimeSigs();

    MarkTempoLines();
    if (m_userTimeOptions)
        m_timeMode = 0; // the user chose Linear: count lines are read as comments
    else
        CensusTimeLines();

    ReadLegends();
    for (int i = 0; i < int(m_lines.size()); ++i)
        BuildLabelRecords(i);
    m_keyState = 0;
    for (int i = 0; i < int(m_lines.size()); ++i)
        ParseNoteKey(i);
    RecognizeAll();
    ApplyLegends();
    SpreadToms();
    AssignKitRoles();
    ReportGuessedLabels();
    ApplyUserMappings();

    for (int i = 0; i < ImportLimits::kHeaderLines && i < int(m_lines.size()); ++i)
        ParseHeaderLine(i);
    LookupSongList();

    CommentPass();

    // Every note character of every label, looked up once: the listed characters are entered
    // last to first, so that the first entry of a character wins as in LookupNote.
    m_noteTable.assign(size_t(m_labelCount), {});
    for (int l = 0; l < m_labelCount; ++l) {
        const CLabelRecord& rec = m_labels[size_t(l)];
        for (int e = rec.EntryCount() - 1; e >= 0; --e) {
            const CNoteKeyEntry& entry = rec.entries[size_t(e)];
            m_noteTable[size_t(l)][uint8_t(entry.noteChar)] = uint16_t((entry.dynamic << 8) | entry.instrument);
        }
    }

    m_asksForSections = AsksForSections();
    DecideEighthGrid();
    m_timeSigNum = 4;
    m_timeSigDen = 4;
    m_pendingRepeatCount = 0;
    m_pendingRepeatMeasures = 0;
    m_groupState = 0;
    m_endingCopies.clear();
    CEventList& events = doc.Events();
    for (int i = 0; i < int(m_lines.size()); ++i) {
        if (AssembleBlock(i)) {
            ConvertBlock(events);
            if (m_refeed) // the line that ended the block may open the next one
                AssembleBlock(i);
        }
    }
    EmitEndingCopies(events, 0);
    EmitSectionCopies(events, m_lastBlockEnd + 1, int(m_lines.size()));
    RestoreLegendSymbols();
    return m_blockCount;
}
