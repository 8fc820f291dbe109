// Line classification: the character census, the staff line test, the staff group passes,
// the tab type decision and the comment pass.

#include "tabimporter.h"

#include "importtext.h"
#include "report.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <numeric>

using namespace ImportText;

namespace {
struct SCharCensus
{
    int spaces = 0;
    int dashes = 0;
    int colons = 0;
    int capitalI = 0;
    int capitalO = 0;
    int capitalX = 0;
    int smallO = 0;
    int smallX = 0;
    int pipes = 0;

    void Count(std::string_view text, size_t from)
    {
        // One table add per byte: the nine counts are packed seven bits each, and summed
        // out every 127 bytes before a field could overflow.
        static const auto kPacked = [] {
            std::array<uint64_t, 256> t{};
            const char* counted = " -:IOXox|";
            for (int i = 0; counted[i]; ++i)
                t[uint8_t(counted[i])] = uint64_t(1) << (7 * i);
            return t;
        }();
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        size_t i = from;
        while (i < text.size()) {
            const size_t stop = std::min(text.size(), i + 127);
            uint64_t a0 = 0, a1 = 0;
            for (; i + 2 <= stop; i += 2) {
                a0 += kPacked[p[i]];
                a1 += kPacked[p[i + 1]];
            }
            if (i < stop)
                a0 += kPacked[p[i++]];
            const uint64_t a = a0 + a1;
            auto field = [a](int k) { return int((a >> (7 * k)) & 127); };
            spaces += field(0);
            dashes += field(1);
            colons += field(2);
            capitalI += field(3);
            capitalO += field(4);
            capitalX += field(5);
            smallO += field(6);
            smallX += field(7);
            pipes += field(8);
        }
    }
    // One byte, as Count counts it (for the line's first two columns).
    void CountByte(char c)
    {
        switch (c) {
        case ' ': ++spaces; break;
        case '-': ++dashes; break;
        case ':': ++colons; break;
        case 'I': ++capitalI; break;
        case 'O': ++capitalO; break;
        case 'X': ++capitalX; break;
        case 'o': ++smallO; break;
        case 'x': ++smallX; break;
        case '|': ++pipes; break;
        default: break;
        }
    }
    void Add(const SCharCensus& o)
    {
        spaces += o.spaces;
        dashes += o.dashes;
        colons += o.colons;
        capitalI += o.capitalI;
        capitalO += o.capitalO;
        capitalX += o.capitalX;
        smallO += o.smallO;
        smallX += o.smallX;
        pipes += o.pipes;
    }
};

bool IsPalmMuteLine(const CImportLine& line)
{
    return (line.MayHold(WordLetters("pm")) && (FindWord(line.m_text, "pm") >= 0 || FindWord(line.m_text, "p.m.") >= 0))
        || (line.MayHold(WordLetters("mute")) && FindWord(line.m_text, "mute") >= 0);
}

struct SLineWord
{
    std::string_view word;
    uint32_t letters;
};

consteval SLineWord LineWord(std::string_view word)
{
    return {word, WordLetters(word)};
}

// The first of the words standing in the line, as FindKeyword finds it, skipping words the
// line cannot hold.
template <size_t N>
int FindLineKeyword(const CImportLine& line, const SLineWord (&words)[N])
{
    for (const SLineWord& w : words)
        if (line.MayHold(w.letters))
            if (const int at = FindWord(line.m_text, w.word); at >= 0)
                return at;
    return -1;
}

constexpr SLineWord kCountWord[] = {LineWord("count")};
constexpr SLineWord kHiHatWord[] = {LineWord("hi-hat")};
constexpr SLineWord kRepeatWords[] = {LineWord("repeat"), LineWord("ending"), LineWord("end"), LineWord("play"),
                                      LineWord("times")};
constexpr SLineWord kRepeatMarkWords[] = {LineWord("repeat"), LineWord("ending"), LineWord("end")};

int FirstNonBlankIn(std::string_view t, int from)
{
    for (size_t i = size_t(from); i < t.size(); ++i)
        if (!IsBlank(t[i]))
            return int(i);
    return -1;
}

// Longest label of a staff indented by more than a few columns.
constexpr int kMaxIndentedLabel = 12;

// Prose that happens to hold a few separators ("Legend: |-x-|: closed hat |-o-|: open hat"):
// between its first and last separator stand more letters of words than ticks, or the text
// before the first separator reads "Key: value" more than once.
bool LooksLikeProse(std::string_view t, int from, char barChar, char tickChar)
{
    if (!barChar)
        return false;
    const size_t first = t.find(barChar, size_t(from));
    if (first == std::string_view::npos)
        return false;
    int colonWords = 0;
    for (size_t i = size_t(from) + 1; i < first; ++i)
        if (t[i] == ':' && IsLetter(t[i - 1]) && FirstNonBlankIn(t.substr(0, first), int(i) + 1) >= 0)
            ++colonWords;
    if (colonWords >= 2)
        return true;
    const size_t last = t.rfind(barChar);
    int ticks = 0;
    int wordLetters = 0;
    for (size_t i = first + 1; i < last;) {
        if (!IsLetter(t[i])) {
            ticks += t[i] == tickChar;
            ++i;
            continue;
        }
        // A word has a vowel other than 'o'; runs of note letters ("xxxx", "dddd", "oog")
        // have none.
        size_t e = i;
        bool vowel = false;
        while (e < last && IsLetter(t[e])) {
            const char c = ToLower(t[e]);
            vowel = vowel || c == 'a' || c == 'e' || c == 'i' || c == 'u' || c == 'y';
            ++e;
        }
        if (e - i >= 3 && vowel)
            wordLetters += int(e - i);
        i = e;
    }
    return wordLetters > ticks;
}

}

int CTabImporter::RunCharacterCensus()
{
    SCharCensus total;
    int dashedLines = 0;
    int tickedLines = 0;
    int dashAt0 = 0;
    int dashAt1 = 0;
    // Colons as bar lines stand among ticks; those of "Title:" or "Tempo:" lines do not count.
    int colonsOnTicked = 0;
    // Each line's counts of the separator candidates from column 2, until one is chosen.
    struct SSeparators
    {
        int pipes, eyes, colons;
    };
    std::vector<SSeparators> separatorsFrom2(m_lines.size());
    for (size_t i = 0; i < m_lines.size(); ++i) {
        CImportLine& line = m_lines[i];
        // The staff line test counts from column 2; the census from column 0.
        SCharCensus tail;
        tail.Count(line.m_text, 2);
        separatorsFrom2[i] = {tail.pipes, tail.capitalI, tail.colons};
        line.m_dashesFrom2 = tail.dashes;
        line.m_spacesFrom2 = tail.spaces;
        SCharCensus c = tail;
        for (size_t k = 0; k < 2 && k < line.m_text.size(); ++k)
            c.CountByte(line.m_text[k]);
        total.Add(c);
        if (c.dashes > 0)
            ++dashedLines;
        // A dash or two (a title, marks over a staff) do not make a staff line.
        if (c.dashes > 2) {
            ++tickedLines;
            colonsOnTicked += c.colons;
        }
        if (line.At(0) == '-')
            ++dashAt0;
        if (line.At(1) == '-')
            ++dashAt1;
    }

    const int pipes = total.pipes, eyes = total.capitalI, colons = colonsOnTicked;
    if (pipes > eyes && pipes > colons) {
        m_barChar = pipes >= tickedLines ? '|' : 0;
    } else if (eyes > pipes && eyes > colons) {
        if (eyes < dashedLines)
            return ImportIssue::BadBarSeparators;
        m_barChar = 'I';
    } else {
        m_barChar = colons > dashedLines ? ':' : 0;
    }

    m_upperCaseAccents = total.capitalX <= 3 * total.smallX && total.capitalO <= total.smallO;

    for (size_t i = 0; i < m_lines.size(); ++i) {
        const SSeparators& n = separatorsFrom2[i];
        m_lines[i].m_separatorsFrom2 = m_barChar == '|' ? n.pipes : m_barChar == 'I' ? n.eyes : m_barChar == ':' ? n.colons : 0;
    }

    // Four ticks a line on average; a dash in a label ("Hi-Hat") or in prose ("each - is an
    // 8th") makes no line of ticks.
    if (total.dashes < 4 * dashedLines && (tickedLines == 0 || total.dashes < 4 * tickedLines))
        return ImportIssue::TooFewTicks;
    m_tickChar = '-';
    m_dashAtColumn0 = dashAt0 > dashedLines / 2;
    m_dashAtColumn1 = dashAt1 > dashedLines / 2;
    return 0;
}

bool CTabImporter::IsStaffLine(int index, int tabType, int barCount, int dashCount, int spaceCount)
{
    const CImportLine& line = m_lines[size_t(index)];
    const std::string_view t = line.m_text;
    const int len = line.Length();
    if (len < 8)
        return false;
    const int p = FirstNonBlank(t, 0);
    if (p < 0)
        return false;
    if (p > 5) {
        // An indented staff: the label (short) runs straight into the first separator.
        const size_t sep = m_barChar ? t.find(m_barChar, size_t(p)) : std::string_view::npos;
        if (sep == std::string_view::npos || int(sep) - p > kMaxIndentedLabel)
            return false;
        spaceCount = std::max(0, spaceCount - (p - 2));
    }
    const char c0 = t[size_t(p)];
    const char c1 = line.At(p + 1);
    if (tabType == int(TrackType::Drums) && IsBareRestLine(t, p, m_barChar, m_tickChar))
        return true;
    if (tabType == int(TrackType::Drums) && !(IsAlnum(c0) || c0 == '-'))
        return false;
    // The tests from here on read the line alone until one looks at a neighbour: a verdict
    // reached so in the first scan holds in the second.
    const bool keeps = (tabType == 0 || tabType == int(TrackType::Drums)) && size_t(index) < m_staffVerdicts.size();
    if (keeps && m_staffVerdicts[size_t(index)] >= 0)
        return m_staffVerdicts[size_t(index)] != 0;
    m_verdictState = keeps ? 1 : 2;
    if (FindLineKeyword(line, kCountWord) >= 0)
        return false;
    // Staff lines are mostly ticks; only a line with few of them is read for prose.
    if (line.m_letters && 3 * line.m_dashesFrom2 < len && LooksLikeProse(t, p, m_barChar, m_tickChar))
        return false;
    if (FindLineKeyword(line, kHiHatWord) >= 0)
        --dashCount;
    if (3 * spaceCount > len && barCount < spaceCount / 5) {
        // Blanks around a measure-repeat sign ("|   %   |", "|  ./.  |") fill a bar, not prose.
        int signBlanks = 0;
        size_t from = m_barChar ? t.find(m_barChar) : std::string_view::npos;
        while (from != std::string_view::npos) {
            const size_t to = t.find(m_barChar, from + 1);
            if (to == std::string_view::npos)
                break;
            const std::string_view bar = t.substr(from + 1, to - from - 1);
            const std::string_view sign = Trim(bar);
            if (!sign.empty() && sign.size() <= 3 && sign.find_first_not_of("%./") == std::string_view::npos)
                signBlanks += int(bar.size() - sign.size());
            from = to;
        }
        spaceCount -= signBlanks;
        if (3 * spaceCount > len && barCount < spaceCount / 5)
            return false;
    }
    if (tabType >= int(TrackType::Bass4) && tabType <= int(TrackType::Guitar7)) {
        if (IsPalmMuteLine(line))
            return false;
        const char lower = ToLower(c0);
        if (lower >= 'a' && lower <= 'g'
            && (c1 == 'b' || c1 == '#' || c1 == m_barChar || c1 == m_tickChar || c1 == ' '))
            return true;
    }

    auto alignmentCheck = [&]() {
        m_verdictState = 2;
        auto compare = [&](const CImportLine& other) {
            const size_t s = m_barChar ? other.m_text.rfind(m_barChar) : std::string::npos;
            if (s == std::string::npos || s == 0)
                return true;
            if (len < int(s))
                return false;
            for (size_t col = 0; col < s; ++col)
                if (other.m_text[col] == m_barChar && line.At(int(col)) != m_barChar)
                    return false;
            return true;
        };
        if (index == 0)
            return true;
        const CImportLine& prev = m_lines[size_t(index) - 1];
        if (prev.m_type == LineType::StaffLine)
            return compare(prev);
        if (size_t(index) + 1 >= m_lines.size())
            return true;
        const CImportLine& next = m_lines[size_t(index) + 1];
        if (next.m_type != LineType::Unknown)
            return true;
        return compare(next);
    };

    if (barCount >= 1 && dashCount >= 1) {
        if (IsCountLine(line, true))
            return false;
        const int at = FindLineKeyword(line, kRepeatWords);
        if (at < 0)
            return (!line.m_hasDigit || !line.MayHold(WordLetters("x")) || FindMultiplier(t) < 0) ? true
                                                                                                  : alignmentCheck();
        const size_t last = t.rfind(m_barChar);
        return last != std::string::npos && int(last) <= at;
    }
    if (m_barChar == '|' && barCount == 1 && dashCount == 0 && p == 0 && c1 == m_barChar && IsAlnum(c0)) {
        m_verdictState = 2;
        // A one-letter label and a stroke on every column ("H|xxxxxxxx|"): a staff line when
        // its bar lines stand with its neighbour's.
        const size_t last = t.rfind(m_barChar);
        bool strokes = last > 2;
        for (size_t i = 2; i < last && strokes; ++i)
            strokes = IsAlnum(t[i]) || t[i] == '*' || t[i] == '#' || t[i] == '@';
        if (strokes && index > 0 && m_lines[size_t(index) - 1].m_type != LineType::StaffLine && size_t(index) + 1 < m_lines.size()
            && m_lines[size_t(index) + 1].m_text.find(m_tickChar) == std::string::npos)
            strokes = false; // nothing to line up with
        if (strokes)
            return alignmentCheck();
    }
    if (m_barChar != '|' || barCount < 2) {
        const size_t open = t.find('(', 1);
        const size_t close = t.find(')', 1);
        if (open != std::string::npos && close != std::string::npos && dashCount >= 10)
            return true;
        // The loose test: a long run of ticks, unless the next line looks like a staff that
        // this one does not line up with.
        if (dashCount < 11)
            return false;
        if (size_t(index) + 1 < m_lines.size()) {
            m_verdictState = 2;
            const CImportLine& next = m_lines[size_t(index) + 1];
            if (next.m_type == LineType::Unknown) {
                int marks = 0;
                for (char c : next.m_text)
                    if (c == '-' || c == 'X' || c == 'x' || c == 'O' || c == 'o' || IsDigit(c))
                        ++marks;
                const int diff = len - next.Length();
                if (diff > -5 && diff < 5 && next.Length() >= 10 && marks > 10)
                    return true;
                if (m_barChar && next.m_text.find(m_barChar, 1) != std::string::npos)
                    return false;
            }
        }
        return true;
    }
    if (FindLineKeyword(line, kRepeatMarkWords) >= 0)
        return false;
    if (IsCountLine(line, true) || IsMeterLine(line, true))
        return false;
    return alignmentCheck();
}

void CTabImporter::ScoreLabel(const CImportLine& line)
{
    // A label, a bar line and a few columns: a one-bar groove of six columns is as plainly
    // drums as a long one.
    if (line.Length() < 6)
        return;
    // Staves may be indented by any amount; the label is the first word either way.
    const int p = FirstNonBlank(line.m_text, 0);
    if (p < 0)
        return;
    const char c = ToUpper(line.m_text[size_t(p)]);
    const char next = line.At(p + 1);
    if (c >= 'A' && c <= 'G') {
        const bool alone = next == ' ' || next == '-' || next == '|' || next == ':' || next == 'I' || next == '['
            || next == ']';
        // B, C, F and G alone are as often bass drum, crash, floor tom and china as strings:
        // the strokes decide (x and o are drums, fret numbers are strings).
        if (alone && (c == 'B' || c == 'C' || c == 'F' || c == 'G')) {
            // A line as it was read has its digits and letters on record (before the label
            // only blanks, the label no digit nor stroke): no need to look.
            if (!line.m_text.IsCopy()) {
                if (!line.m_hasDigit && (line.MayHold(WordLetters("x")) || line.MayHold(WordLetters("o"))))
                    ++m_drumScore;
                return;
            }
            // By byte: 1 a digit, 2 a stroke (x or o, either case).
            static constexpr std::array<uint8_t, 256> kStrokeOrDigit = [] {
                std::array<uint8_t, 256> t{};
                for (int d = '0'; d <= '9'; ++d)
                    t[size_t(d)] = 1;
                for (const char s : {'x', 'X', 'o', 'O'})
                    t[uint8_t(s)] = 2;
                return t;
            }();
            uint8_t strokes = 0;
            // Eight columns at a time while they last: a digit anywhere ends the search.
            const auto* text = reinterpret_cast<const unsigned char*>(line.m_text.data());
            int from = p + 1;
            for (; from + 8 <= line.Length(); from += 8) {
                uint64_t w;
                std::memcpy(&w, text + from, 8);
                const uint64_t low = w & kByteLows;
                const uint64_t digits = (kByteOnes * (127 + '9' + 1) - low) & ~w & (low + kByteOnes * (127 - '0' + 1)) & kByteHighs;
                if (digits)
                    return;
                const uint64_t folded = w | (kByteOnes * 0x20); // 'X' and 'O' as 'x' and 'o'
                if (ZeroBytes(folded ^ (kByteOnes * 'x')) | ZeroBytes(folded ^ (kByteOnes * 'o')))
                    strokes = 2;
            }
            for (int i = from; i < line.Length(); ++i) {
                const uint8_t k = kStrokeOrDigit[uint8_t(line.m_text[size_t(i)])];
                if (k & 1)
                    return;
                strokes |= k;
            }
            if (strokes)
                ++m_drumScore;
            return;
        }
        if (alone || next == 'b' || next == '#')
            ++m_guitarScore;
        else if (c == 'B' || c == 'C' || c == 'F')
            ++m_drumScore;
    } else if (c == 'H' || c == 'P' || c == 'R' || c == 'S' || c == 'T') {
        ++m_drumScore;
    }
}

std::string_view CTabImporter::StaffLabel(const CImportLine& line) const
{
    const std::string_view t = line.m_text;
    size_t bar = std::string_view::npos;
    if (m_barChar) {
        // Labels are short: the first columns are looked at in place, the rest by find.
        const size_t head = std::min<size_t>(t.size(), 16);
        size_t k = 0;
        while (k < head && t[k] != m_barChar)
            ++k;
        bar = k < head ? k : t.find(m_barChar, head);
    }
    std::string_view s = Trim(t.substr(0, bar == std::string_view::npos ? 0 : bar));
    if (!s.empty() && s.back() == ':')
        s.remove_suffix(1);
    return s;
}

bool CTabImporter::SameLabel(const CImportLine& a, const CImportLine& b) const
{
    const std::string_view x = StaffLabel(a);
    return !x.empty() && x == StaffLabel(b);
}

bool CTabImporter::RepeatsGroupLabels(int index)
{
    const int period = m_groupLineCount;
    // Staves run on without blank lines: the run was found periodic when its first staff
    // ended, and holds for the staves after it.
    if (index < m_periodicUntil && period == m_periodicPeriod)
        return true;
    int end = index;
    while (end < int(m_lines.size()) && m_barChar && m_lines[size_t(end)].m_text.find(m_barChar) != std::string::npos
           && FirstNonBlank(m_lines[size_t(end)].m_text, 0) >= 0)
        ++end;
    if ((end - m_groupFirstLine) % period != 0)
        return false;
    for (int l = index; l < end; ++l)
        if (!SameLabel(m_lines[size_t(m_groupFirstLine + (l - m_groupFirstLine) % period)], m_lines[size_t(l)]))
            return false;
    m_periodicUntil = end;
    m_periodicPeriod = period;
    return true;
}

bool CTabImporter::BreaksRunOrder(int index) const
{
    // In a run of staves with no blank line between, a label that comes before the last
    // line's in the first staff's order ("CC" after "BD") opens the next staff.
    if (m_runRefFirst < 0)
        return false;
    auto position = [&](int line) {
        const std::string_view label = LabelOfLine(line);
        for (size_t g = 0; g < m_runRefLabels.size() && !label.empty(); ++g)
            if (m_runRefLabels[g] == label)
                return int(g);
        return -1;
    };
    const int p = position(index);
    const int q = position(index - 1);
    return p >= 0 && q >= 0 && p <= q;
}

bool CTabImporter::StartsPartialStaff(int index) const
{
    // The next staff with fewer lines than this one (a crash line only in the first: "CC H S
    // K" then "H S K"): from this line to the end of the run, staves of two lines at least,
    // each naming the group's labels in the group's order. A line written twice in a row
    // ("HH HH SD SD") stays in its staff.
    const int n = int(m_groupLabels.size());
    auto position = [&](int line) {
        const std::string_view label = LabelOfLine(line);
        for (int g = 0; g < n && !label.empty(); ++g)
            if (m_groupLabels[size_t(g)] == label)
                return g;
        return -1;
    };
    const int start = position(index);
    if (start < 0 || start >= n - 1)
        return false;
    // The staff so far names each line once.
    for (int g = 1; g < n; ++g)
        for (int h = 0; h < g; ++h)
            if (m_groupLabels[size_t(g)] == m_groupLabels[size_t(h)])
                return false;
    int end = index;
    while (end < int(m_lines.size()) && end - index < ImportLimits::kMaxGroupLines && m_barChar
           && m_lines[size_t(end)].m_text.find(m_barChar) != std::string::npos && FirstNonBlank(m_lines[size_t(end)].m_text, 0) >= 0)
        ++end;
    int last = -1;
    int lines = 0;
    for (int l = index; l < end; ++l) {
        const int p = position(l);
        if (p < 0)
            return false;
        if (p <= last) {
            if (lines < 2)
                return false;
            lines = 0;
        }
        last = p;
        ++lines;
    }
    return lines >= 2;
}

namespace {
bool IsStringName(std::string_view label);
}

bool CTabImporter::ChangesToOrFromStrings(int index) const
{
    // A guitar or bass staff ("e B G D A E", "G D A E") written right above or below a drum
    // staff, with no blank line between: two staves.
    auto strings = [](std::string_view label) { return IsStringName(label); };
    const int n = int(m_groupLabels.size());
    if (n == 0)
        return false;
    const bool fromStrings = strings(m_groupLabels[0]);
    if (fromStrings && (n < 4 || n > 7 || !std::all_of(m_groupLabels.begin(), m_groupLabels.end(), strings)))
        return false; // no string staff so far, nor drums alone
    if (!fromStrings) {
        // Drums to drums, most lines: a string's name begins with a to g.
        const std::string_view t = m_lines[size_t(index)].m_text;
        const int p = FirstNonBlank(t, 0);
        const char c0 = p >= 0 ? ToLower(t[size_t(p)]) : 0;
        if (c0 < 'a' || c0 > 'g')
            return false;
    }
    const std::string_view label = LabelOfLine(index);
    if (!fromStrings && !strings(label))
        return false;
    int stringLines = 0;
    bool a = false, eOrD = false;
    for (const std::string_view g : m_groupLabels) {
        if (!strings(g))
            break;
        ++stringLines;
        a = a || ToLower(g[0]) == 'a';
        eOrD = eOrD || ToLower(g[0]) == 'e' || ToLower(g[0]) == 'd';
    }
    if (stringLines == n && n >= 4 && n <= 7 && a && eOrD)
        return !strings(label);
    if (stringLines > 0 || !strings(label))
        return false;
    // Drum lines so far, and from here four string lines at least.
    int run = 1;
    for (int l = index + 1; l < int(m_lines.size()) && run < 4; ++l, ++run) {
        const std::string_view t = m_lines[size_t(l)].m_text;
        const int p = FirstNonBlank(t, 0);
        if (p < 0 || ToLower(t[size_t(p)]) < 'a' || ToLower(t[size_t(p)]) > 'g')
            break;
        if (!strings(StaffLabel(m_lines[size_t(l)])) || (m_barChar && t.find(m_barChar) == std::string::npos))
            break;
    }
    return run >= 4;
}

int CTabImporter::ScanStaffGroups(int index, int tabType)
{
    CImportLine& line = m_lines[size_t(index)];
    auto accepts = [&]() {
        m_verdictState = 0;
        const bool staff = IsStaffLine(index, tabType, line.m_separatorsFrom2, line.m_dashesFrom2, line.m_spacesFrom2);
        if (m_verdictState == 1)
            m_staffVerdicts[size_t(index)] = int8_t(staff);
        return staff;
    };
    if (m_groupState == 0) {
        if (line.m_type != LineType::Unknown || !accepts())
            return 0;
        line.m_type = LineType::StaffLine;
        m_groupState = 1;
        m_groupFirstLine = index;
        m_groupLineCount = 1;
        m_groupLabels.assign(1, StaffLabel(line));
        if (tabType == 0)
            ScoreLabel(line);
        return 0;
    }
    if (line.m_type != LineType::Blank && accepts()) {
        // The line's label, and the group's first line's as it was taken when the group opened.
        const std::string_view label = StaffLabel(line);
        const bool sameLabel = !m_groupLabels[0].empty() && m_groupLabels[0] == label;
        // The group's labels again, in the same order, for as long as the staff lines go on
        // ("HH SD BD HH SD BD"): the next staff, written with no blank line between. The group
        // ends, and the line is read again to open the next one.
        m_scanLabelLine = index;
        m_scanLabel = label;
        const bool nextStaff = m_groupLineCount >= 2
            && (BreaksRunOrder(index) || ChangesToOrFromStrings(index)
                || (sameLabel ? RepeatsGroupLabels(index) : StartsPartialStaff(index)));
        m_scanLabelLine = -1;
        if (nextStaff) {
            // The first staff of the run sets the order of the labels for the staves after it.
            if (m_runRefFirst < 0) {
                m_runRefFirst = m_groupFirstLine;
                m_runRefCount = m_groupLineCount;
                m_runRefLabels = m_groupLabels;
            }
            m_groupState = 0;
            if (tabType != 0)
                AnalyseStaffGroup(m_groupFirstLine, m_groupLineCount);
            m_rescanLine = true;
            return 1;
        }
        line.m_type = LineType::StaffLine;
        m_groupLabels.push_back(label);
        if (++m_groupLineCount >= ImportLimits::kMaxGroupLines)
            return 2;
        if (tabType == 0)
            ScoreLabel(line);
        return 0;
    }
    m_groupState = 0;
    m_runRefFirst = -1;
    m_runRefCount = 0;
    if (tabType != 0)
        AnalyseStaffGroup(m_groupFirstLine, m_groupLineCount);
    return 1;
}

bool CTabImporter::PreScanStaffGroups()
{
    m_groupState = 0;
    m_groupCount = 0;
    m_drumScore = 0;
    m_guitarScore = 0;
    std::fill(std::begin(m_groupsBySize), std::end(m_groupsBySize), 0);
    m_rescanLine = false;
    m_periodicUntil = -1;
    m_runRefFirst = -1;
    m_runRefCount = 0;
    m_staffVerdicts.assign(m_lines.size(), -1);
    for (int i = 0; i < int(m_lines.size()); ++i) {
        const int r = ScanStaffGroups(i, 0);
        // The pre-scan only counts: its marks are undone at once.
        if (m_lines[size_t(i)].m_type == LineType::StaffLine)
            m_lines[size_t(i)].m_type = LineType::Unknown;
        if (r == 2)
            return false;
        if (r == 1) {
            int size = m_groupLineCount;
            if (i > 0 && IsPalmMuteLine(m_lines[size_t(i) - 1]))
                --size;
            if (size >= 4 && size <= 7)
                ++m_groupsBySize[size];
            ++m_groupCount;
        }
        if (m_rescanLine) {
            m_rescanLine = false;
            --i;
        }
    }
    return true;
}

void CTabImporter::DecideTabType()
{
    const int g = m_groupCount;
    int type = 0;
    // Drum labels on at least as many lines as there are staves: a short tab of hi-hat lines
    // alone is as much a drum tab as one with a full kit.
    if (m_drumScore > 0 && m_drumScore > m_guitarScore / 2 && m_drumScore >= g)
        type = TrackType::Drums;
    else if (m_groupsBySize[7] > g / 20 + 1)
        type = TrackType::Guitar7;
    else if (m_groupsBySize[6] > g / 20 + 1)
        type = TrackType::Guitar6;
    else if (m_groupsBySize[5] > g / 20 + 1)
        type = TrackType::Bass5;
    else if (m_groupsBySize[4] > g / 20 + 1)
        type = TrackType::Bass4;
    // Told once the staves of other instruments are known (SetAsideStringStaves).
    m_notDrumTab = type != TrackType::Drums;
    // Every import is a drum import; the warning is all the user gets.
    m_tabType = TrackType::Drums;
}

bool CTabImporter::MarkStaffGroups()
{
    m_groupState = 0;
    m_barsOf16 = m_barsOf32 = m_bogusBars = 0;
    m_timeSigInBars = m_timeSigOwnBars = 0;
    m_groupStartLine = m_groupStartBar = -1;
    m_inRepeatGroup = false;
    m_groupBarCount = 0;
    m_lastEnding = 0;
    m_previousStaff = -1;
    m_pendingGroupCount = -1;
    m_moreEndings.clear();
    m_takenSigs.clear();
    m_endingsAhead = 0;
    m_rescanLine = false;
    m_periodicUntil = -1;
    m_runRefFirst = -1;
    m_runRefCount = 0;
    for (int i = 0; i < int(m_lines.size()); ++i) {
        if (ScanStaffGroups(i, m_tabType) == 2)
            return false;
        if (m_rescanLine) {
            m_rescanLine = false;
            --i;
        }
    }
    return true;
}

namespace {
// A string's name as a tab labels it: a note letter, perhaps sharp or flat ("e", "B", "F#").
bool IsStringName(std::string_view label)
{
    if (label.empty() || label.size() > 2 || ToLower(label[0]) < 'a' || ToLower(label[0]) > 'g')
        return false;
    return label.size() == 1 || label[1] == '#' || label[1] == 'b';
}
} // namespace

void CTabImporter::SetAsideStringStaves()
{
    // Staves of four to seven lines, each labelled with a string's name and among them A and E
    // or D (guitar "e B G D A E", bass "G D A E"), in a tab that has drum staves as well: the
    // guitar and bass parts of a band's tab. They are left as text.
    // The pre-scan counted the staves of four to seven lines: most tabs have none.
    if (std::accumulate(std::begin(m_groupsBySize) + 4, std::begin(m_groupsBySize) + 8, 0) == 0) {
        if (m_notDrumTab)
            UserReport().Warning(QString::fromLatin1(ImportText::kNotDrumTab));
        return;
    }
    std::vector<std::pair<int, int>> groups;
    for (int i = 0; i < int(m_lines.size()); ++i) {
        if (m_lines[size_t(i)].m_groupFirst != i || m_lines[size_t(i)].m_type != LineType::StaffLine)
            continue;
        int last = i;
        while (last + 1 < int(m_lines.size()) && m_lines[size_t(last) + 1].m_groupFirst == i)
            ++last;
        groups.emplace_back(i, last);
    }
    auto isStrings = [&](int first, int last) {
        const int n = last - first + 1;
        if (n < 4 || n > 7)
            return false;
        bool a = false, eOrD = false;
        for (int l = first; l <= last; ++l) {
            const std::string_view label = StaffLabel(m_lines[size_t(l)]);
            if (!IsStringName(label))
                return false;
            a = a || ToLower(label[0]) == 'a';
            eOrD = eOrD || ToLower(label[0]) == 'e' || ToLower(label[0]) == 'd';
        }
        return a && eOrD;
    };
    std::vector<std::pair<int, int>> strings;
    for (const auto& [first, last] : groups)
        if (isStrings(first, last))
            strings.emplace_back(first, last);
    if (!strings.empty() && strings.size() < groups.size()) {
        for (const auto& [first, last] : strings) {
            for (int l = first; l <= last; ++l) {
                m_lines[size_t(l)].m_type = LineType::MiscComment;
                m_lines[size_t(l)].m_groupFirst = -1;
                m_lines[size_t(l)].m_stringLine = true;
            }
        }
        m_groupCount -= int(strings.size());
        UserReport().Warning(QString::fromLatin1(ImportText::kStringStavesLeftOut));
    } else if (m_notDrumTab) {
        UserReport().Warning(QString::fromLatin1(ImportText::kNotDrumTab));
    }
}

void CTabImporter::CommentPass()
{
    auto isFree = [](const CImportLine& l) {
        return (l.m_type == LineType::Unknown || l.m_type == LineType::MiscComment) && !l.m_stringLine;
    };
    m_groupState = 0;
    const int last = int(m_lines.size()) - 1; // the sentinel is not a comment
    for (int i = 0; i < last; ++i) {
        CImportLine& line = m_lines[size_t(i)];
        if (m_groupState == 0) {
            const bool starts = line.m_type == LineType::StaffLine
                || (m_timeMode != 0 && m_timeAbove && line.m_type == LineType::TimeLine);
            if (i == 0 || !starts)
                continue;
            CImportLine& prev = m_lines[size_t(i) - 1];
            if (isFree(prev))
                prev.m_type = LineType::PreComment;
            else if (prev.m_type == LineType::Blank && line.m_lineNo >= 4 && isFree(m_lines[size_t(i) - 2]))
                m_lines[size_t(i) - 2].m_type = LineType::PreComment;
            m_groupState = 1;
            continue;
        }
        if (line.m_type == LineType::StaffLine || (m_timeMode != 0 && !m_timeAbove && line.m_type == LineType::TimeLine))
            continue;
        m_groupState = 0;
        if (isFree(line)) {
            const int32_t next = m_lines[size_t(i) + 1].m_type;
            line.m_type = (next == LineType::TimeLine || next == LineType::StaffLine) ? LineType::PreComment
                                                                                     : LineType::PostComment;
        }
    }
}
