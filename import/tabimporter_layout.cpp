// Layouts of real tabs that the staff passes would not read as staves, put into the staff
// form once the lines are read, and the kit roles a drummer reads from the notes themselves.

#include "tabimporter.h"

#include "importtext.h"

#include <algorithm>
#include <cstring>

using namespace ImportText;

namespace {

// The label before a line's first separator: a short run of text holding a letter.
bool HasShortLabel(std::string_view t, size_t separator)
{
    if (separator == 0 || separator > size_t(ImportLimits::kMaxLabelChars) + 8)
        return false;
    bool letter = false;
    for (size_t i = 0; i < separator; ++i)
        letter = letter || IsLetter(t[i]);
    return letter;
}

// A staff line whose rests are dots ("snare |....x.......x...|"): between its first and last
// separator only dots, note characters and separators, dots at least four and two in five.
bool UsesRestDots(std::string_view t)
{
    if (t.find('.') == std::string_view::npos)
        return false;
    const size_t first = t.find('|');
    const size_t last = t.rfind('|');
    if (first == std::string_view::npos || last <= first + 4 || !HasShortLabel(t, first))
        return false;
    int dots = 0;
    int others = 0;
    for (size_t i = first + 1; i < last; ++i) {
        const char c = t[i];
        if (c == '.')
            ++dots;
        else if (c == '-' || IsBlank(c))
            return false; // ticks or blanks: a line of another kind
        else if (c != '|')
            ++others;
    }
    return dots >= 4 && 2 * (dots + others) <= 5 * dots;
}

// A line that may be a line of a staff: a label first, a separator and a run of ticks.
bool LooksLikeStaffLine(std::string_view t)
{
    size_t p = 0;
    while (p < t.size() && IsBlank(t[p]))
        ++p;
    if (p >= t.size() || !IsAlnum(t[p]) || t.find('|', p) == std::string_view::npos)
        return false;
    int dashes = 0;
    for (size_t i = p; i < t.size() && dashes < 4; ++i)
        dashes += t[i] == '-';
    return dashes >= 4;
}

// A line drawn between the lines of a staff: blanks, separators and underscores only, with a
// separator ("    |", "  | | | |", "  |_|_|_|").
bool IsRailLine(std::string_view t)
{
    bool separator = false;
    for (char c : t) {
        if (c == '|')
            separator = true;
        else if (!IsBlank(c) && c != '_')
            return false;
    }
    return separator;
}

// A note in parentheses, "(x)" between ticks or separators: one ghosted stroke.
bool IsGhostInParens(std::string_view t, size_t open)
{
    auto shape = [t](size_t p) {
        if (p + 2 >= t.size() || t[p] != '(' || t[p + 2] != ')')
            return false;
        const char c = t[p + 1];
        return c == 'x' || c == 'X' || c == 'o' || c == 'O';
    };
    if (!shape(open))
        return false;
    // Between ticks, bar lines or other notes ("-(o)o---", "o(o)|"), or beside another
    // ghost ("-(o)(o)o").
    auto fits = [](char n) { return n == '-' || n == '|' || n == 'x' || n == 'X' || n == 'o' || n == 'O'; };
    const char before = open > 0 ? t[open - 1] : ' ';
    const char after = open + 3 < t.size() ? t[open + 3] : '|';
    return (fits(before) || (before == ')' && open >= 3 && shape(open - 3))) && (fits(after) || (after == '(' && shape(open + 3)));
}

// Allowed in the notes of a staff written without bar lines: ticks and note characters.
bool IsBarlessNote(char c)
{
    return c == '-' || IsAlnum(c) || c == '#' || c == '@' || c == '*';
}

// A staff line with no bar line ("HH  X---X---X---X---"): a short label (a colon may follow
// it), blanks, then one run
// of ticks and notes to the end of the line, a fifth of it ticks at least. Sets the run's
// first column.
bool IsBarlessStaffLine(std::string_view t, int* runStart)
{
    if (t.find('|') != std::string_view::npos)
        return false;
    // The run is the line's last word; the label before it a word or two ("Bass Drum",
    // "Hi-Hat", "HH:").
    const size_t lastBlank = t.find_last_of(" \t");
    if (lastBlank == std::string_view::npos)
        return false;
    const size_t p = lastBlank + 1;
    const size_t label = size_t(std::max(CTabImporter::FirstNonBlank(t, 0), 0));
    size_t labelEnd = lastBlank;
    while (labelEnd > label && IsBlank(t[labelEnd - 1]))
        --labelEnd;
    if (labelEnd <= label || labelEnd - label > size_t(ImportLimits::kMaxLabelChars) || !IsLetter(t[label]))
        return false;
    int words = 1;
    for (size_t i = label; i < labelEnd; ++i) {
        const char c = t[i];
        if (IsBlank(c)) {
            if (IsBlank(t[i - 1]))
                return false; // words apart: text
            ++words;
        } else if (!IsAlnum(c) && c != '-' && c != '.' && !(c == ':' && i + 1 == labelEnd)) {
            return false;
        }
    }
    // Two words need room before the run, as a label column has.
    if (words > 2 || (words == 2 && p - labelEnd < 2))
        return false;
    if (t.size() - p < 8)
        return false;
    int ticks = 0;
    for (size_t i = p; i < t.size(); ++i) {
        if (!IsBarlessNote(t[i]))
            return false;
        ticks += t[i] == '-';
    }
    if (5 * ticks < int(t.size() - p))
        return false;
    *runStart = int(p);
    return true;
}

// A staff drawn as cells, a bar line between every two ("Hh|x| |x| |"): the first separator's
// column and the number of cells, or false.
bool IsCellLine(std::string_view t, int* separator, int* cells)
{
    const size_t s = t.find('|');
    if (s == std::string_view::npos || s + 2 >= t.size() || t[s + 2] != '|' || (t.size() - s - 1) % 2 != 0
        || !HasShortLabel(t, s))
        return false;
    const int n = int(t.size() - s - 1) / 2;
    if (n < 4)
        return false;
    bool note = false;
    for (int k = 0; k < n; ++k) {
        const char c = t[s + 1 + size_t(2 * k)];
        if (c == '|' || t[s + 2 + size_t(2 * k)] != '|')
            return false;
        note = note || !IsBlank(c);
    }
    *separator = int(s);
    *cells = n;
    return note;
}

// A step grid line ("Kick:  X . . . X . . .", "Step:  1 . . . 2 . . ."): a word and a colon,
// blanks, then single characters a blank apart, dots for rests. Sets the first step's column
// and the number of steps.
bool IsStepLine(std::string_view t, int* first, int* steps)
{
    size_t p = 0;
    while (p < t.size() && IsLetter(t[p]))
        ++p;
    if (p == 0 || p > size_t(ImportLimits::kMaxLabelChars) || p >= t.size() || t[p] != ':')
        return false;
    ++p;
    while (p < t.size() && IsBlank(t[p]))
        ++p;
    if (p >= t.size() || (t.size() - p) % 2 != 1)
        return false;
    int dots = 0;
    for (size_t i = p; i < t.size(); i += 2) {
        const char c = t[i];
        if (!IsAlnum(c) && c != '.')
            return false;
        if (i + 1 < t.size() && t[i + 1] != ' ')
            return false;
        dots += c == '.';
    }
    const int n = int(t.size() - p + 1) / 2;
    if (n < 8 || 2 * dots < n)
        return false;
    *first = int(p);
    *steps = n;
    return true;
}

// A slot grid line ("| bd -- bd -- -- -- |"): between two bar lines, cells of two characters
// a blank apart. Sets the cells' text (each two characters, or one for a count).
bool IsSlotLine(std::string_view t, std::vector<std::string_view>* cells)
{
    if (t.size() < 10 || t.front() != '|' || t.back() != '|')
        return false;
    cells->clear();
    // Cells of two: "| c1 c2 ... |", each starting at 2 + 3k. A count of one character a
    // cell stands at 3 + 3k ("|  1  +  2  + |").
    if ((t.size() - 3) % 3 != 0)
        return false;
    for (size_t at = 1; at + 3 < t.size(); at += 3) {
        if (t[at] != ' ')
            return false;
        const std::string_view cell = t.substr(at + 1, 2);
        if (cell.find('|') != std::string_view::npos)
            return false;
        cells->push_back(cell);
    }
    return cells->size() >= 8 && t[t.size() - 2] == ' ';
}

// A line written with a blank between every two columns ("HH |x - x - x - x - |", and the
// count "   |1 e & a 2 e & a |"): a short label or none, then bars whose characters all stand
// on one parity of columns from the bar line, four at least a bar, the other columns blank.
// A staff line fills every such column; a count may leave some blank. Sets the first
// separator's column, and for each column from it whether it holds a character kept.
bool IsSpacedLine(std::string_view t, bool staffLine, size_t* separator, std::vector<char>* keep)
{
    const size_t first = t.find('|');
    if (first == std::string_view::npos || first + 8 > t.size())
        return false;
    // Most lines are plain staff lines: no blank in their first two columns.
    if (!IsBlank(t[first + 1]) && !IsBlank(t[first + 2]))
        return false;
    if (staffLine ? !HasShortLabel(t, first) : CTabImporter::FirstNonBlank(t, 0) != int(first))
        return false;
    keep->assign(t.size() - first, 0);
    int bars = 0;
    size_t open = first + 1;
    for (;;) {
        while (open < t.size() && t[open] == '|')
            ++open; // a double bar line
        const size_t end = t.find('|', open);
        if (end == std::string_view::npos)
            break;
        // The bar's first character decides which columns are cells.
        size_t start = open;
        while (start < end && IsBlank(t[start]))
            ++start;
        if (start > open + 1 || end - open < 7)
            return false;
        int cells = 0;
        for (size_t i = open; i < end; ++i) {
            const bool cell = i >= start && (i - start) % 2 == 0;
            const char c = t[i];
            if ((!cell && !IsBlank(c)) || (cell && staffLine && IsBlank(c)))
                return false;
            (*keep)[i - first] = cell;
            cells += cell;
        }
        if (cells < 4)
            return false;
        ++bars;
        open = end + 1;
    }
    // Bar lines and whatever follows the last one stay as they are (2).
    for (size_t i = first; i < t.size(); ++i)
        if (t[i] == '|' || i >= open)
            (*keep)[i - first] = 2;
    *separator = first;
    return bars > 0;
}

// A staff line whose rests are blanks ("sn  |    o       o   |"): a short label, then bars of
// blanks and note characters only, a note at least. Sets the columns of its separators.
bool HasBlankRests(std::string_view t, std::vector<int>* separators)
{
    const size_t first = t.find('|');
    const size_t last = t.rfind('|');
    if (first == std::string_view::npos || last < first + 4 || !HasShortLabel(t, first))
        return false;
    separators->clear();
    int notes = 0;
    for (size_t i = first; i <= last; ++i) {
        const char c = t[i];
        if (c == '|')
            separators->push_back(int(i));
        else if (std::strchr("xXoOgGfFdDrRbBcCsS#@*", c) && c)
            ++notes;
        else if (!IsBlank(c))
            return false;
    }
    return notes > 0;
}

// A count written with a blank after every syllable and no bar lines ("1 e + a 2 e + a"):
// the column of each syllable, or false. Only digits and count syllables.
bool IsSpreadCount(std::string_view t, std::vector<int>* columns)
{
    columns->clear();
    size_t k = 0;
    while (k < t.size() && IsBlank(t[k]))
        ++k;
    // Bar lines at its two ends only ("|1 e + a 2 e + a|").
    size_t end = t.size();
    if (k < t.size() && t[k] == '|') {
        ++k;
        while (end > k && IsBlank(t[end - 1]))
            --end;
        if (end > k && t[end - 1] == '|')
            --end;
    }
    if (k >= end || t[k] != '1')
        return false;
    for (; k < end; ++k) {
        const char c = t[k];
        if (IsBlank(c))
            continue;
        // The syllables by byte (a table: the search for one per column showed).
        static constexpr auto kSyllable = [] {
            std::array<bool, 256> t{};
            for (const char s : std::string_view("eE+&aAtTlLiIpP"))
                t[uint8_t(s)] = true;
            t[0] = true; // as the string search had it: it matched the terminator
            return t;
        }();
        if (!IsDigit(c) && !kSyllable[uint8_t(c)])
            return false;
        // One blank after each syllable, two at most at the end of a bar's count.
        if (!columns->empty() && k - size_t(columns->back()) != 2 && k - size_t(columns->back()) != 3)
            return false;
        columns->push_back(int(k));
    }
    return columns->size() >= 6;
}

// A staff line with its label written after the bars ("|x-x-x-x-| HH"): the column where
// the label starts, or 0. The line opens with a bar line and holds ticks.
size_t TrailingLabelAt(std::string_view t)
{
    size_t first = 0;
    while (first < t.size() && IsBlank(t[first]))
        ++first;
    if (first >= t.size() || t[first] != '|')
        return 0;
    size_t end = t.size();
    // A remark after the label ("| SD  <- fill") stays a remark.
    if (const size_t arrow = t.find(" <-", first); arrow != std::string_view::npos)
        end = arrow;
    while (end > first && IsBlank(t[end - 1]))
        --end;
    size_t word = end;
    while (word > first && (IsAlnum(t[word - 1]) || t[word - 1] == '-'))
        --word;
    while (word < end && t[word] == '-')
        ++word; // "hi-hat", not the bar's ticks
    if (word == end || end - word > 8 || !IsLetter(t[word]) || word <= first + 1)
        return 0;
    // A count ("x4"), not a label.
    if (ToLower(t[word]) == 'x' && end - word > 1 && IsDigit(t[word + 1]))
        return 0;
    size_t bar = word;
    while (bar > first && IsBlank(t[bar - 1]))
        --bar;
    if (bar == word || t[bar - 1] != '|')
        return 0;
    int ticks = 0;
    for (size_t i = first; i < bar && ticks < 4; ++i)
        ticks += t[i] == '-';
    return ticks >= 4 ? word : 0;
}

// A label as a word: its letters in lower case ("Cymbal:" -> "cymbal").
std::string LabelWord(const char* label)
{
    std::string word;
    for (const char* c = label; *c; ++c)
        if (IsLetter(*c))
            word.push_back(ToLower(*c));
    return word;
}

}

void CTabImporter::NormaliseLayout()
{
    StripQuotesAndLineNumbers();
    ColonsAfterLabelsToBarLines();
    EvenOutShortBars();
    LabelsAfterBarsToFront();
    LabelsFromOrder();
    SpacedColumnsToTicks();
    SpreadCountsToColumns();
    RestDotsToTicks();
    BlankRestsToTicks();
    SlotGridsToTicks();
    StepGridsToTicks();
    CellGridsToTicks();
    BarlessStavesToBars();
    DropStaffSpacers();
    GhostsInParens();
}

void CTabImporter::SpacedColumnsToTicks()
{
    const size_t n = m_lines.size() - 1;
    std::vector<char> keep;
    size_t i = 0;
    size_t done = 0; // lines before it were rewritten already (a count under the staff before)
    while (i < n) {
        size_t sep = 0;
        if (!m_lines[i].MayHoldMark(LineMark::Bar) || !IsSpacedLine(m_lines[i].m_text, true, &sep, &keep)) {
            ++i;
            continue;
        }
        // The staff: two spaced lines at least, their bar lines in the same columns, and a
        // count right above or below it.
        std::vector<std::pair<size_t, std::vector<char>>> lines{{i, keep}};
        size_t j = i + 1;
        size_t s = 0;
        for (; j < n && IsSpacedLine(m_lines[j].m_text, true, &s, &keep) && s == sep; ++j)
            lines.emplace_back(j, keep);
        // Rests written as ticks or dots somewhere: letters a blank apart are words.
        const bool rests = std::any_of(lines.begin(), lines.end(), [&](const auto& l) {
            const std::string_view t = m_lines[l.first].m_text;
            return t.find('-', sep) != t.npos || t.find('.', sep) != t.npos;
        });
        if (lines.size() < 2 || !rests) {
            i = j;
            continue;
        }
        // A count with bar lines of its own, or one whose syllables all stand over cells.
        const std::vector<char> staffCells = lines.front().second;
        const std::string_view top = m_lines[i].m_text;
        auto overCells = [&](std::string_view t) {
            int syllables = 0;
            for (size_t k = 0; k < t.size(); ++k) {
                if (IsBlank(t[k]))
                    continue;
                if (k <= sep || k - sep >= staffCells.size() || !staffCells[k - sep] || top[k] == '|')
                    return false;
                ++syllables;
            }
            return syllables >= 4;
        };
        for (size_t c : {i - 1, j}) {
            if (c >= n || c < done)
                continue;
            if (IsSpacedLine(m_lines[c].m_text, false, &s, &keep) && s == sep)
                lines.emplace_back(c, keep);
            else if (overCells(m_lines[c].m_text))
                lines.emplace_back(c, staffCells);
        }
        // Each cell becomes two columns, the cell and a tick (a blank on the count), so the
        // count keeps its spacing: "1 2 3 4 5 6" over six cells is six eighths, as it is
        // over "x-x-x-x-x-x-".
        for (auto& [index, cells] : lines) {
            CLineText& t = m_lines[index].m_text;
            const bool staff = index >= i && index < j;
            const char rest = !staff ? ' ' : t.find('.', sep) != std::string_view::npos ? '.' : '-';
            std::string out(t.substr(0, sep));
            for (size_t k = sep; k < t.size(); ++k) {
                const char cell = k - sep >= cells.size() ? 2 : cells[k - sep];
                if (cell)
                    out.push_back(t[k]);
                if (cell == 1)
                    out.push_back(rest);
            }
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            t.Assign(out, &m_arena);
        }
        i = j + 1;
        done = i;
    }
}

void CTabImporter::EvenOutShortBars()
{
    // A staff line whose bar is a tick or two short or long ("o-------o------|" under sixteen
    // columns), so that its later bar lines stand left or right of the others': the bar gets
    // ticks before its closing bar line, or loses the ticks it has too many there. Lines of a
    // staff, one after the other, with as many bar lines, their first in the same column.
    m_evenedBars.clear();
    const size_t n = m_lines.size() - 1;
    auto separators = [](std::string_view t, std::vector<int>* at) {
        at->clear();
        for (const char* p = static_cast<const char*>(std::memchr(t.data(), '|', t.size())); p;
             p = static_cast<const char*>(std::memchr(p + 1, '|', size_t(t.data() + t.size() - p - 1))))
            at->push_back(int(p - t.data()));
    };
    std::vector<std::vector<int>> bars;
    std::vector<int> mine;
    size_t i = 0;
    while (i < n) {
        if (!m_lines[i].MayHoldMark(LineMark::Bar) || !LooksLikeStaffLine(m_lines[i].m_text)) {
            ++i;
            continue;
        }
        separators(m_lines[i].m_text, &mine);
        size_t j = i + 1;
        std::vector<int>& other = m_scratchSeparators;
        bool uneven = false;
        while (j < n && m_lines[j].MayHoldMark(LineMark::Bar) && LooksLikeStaffLine(m_lines[j].m_text)) {
            // Most lines have their bar lines where the first has them: a look at those
            // columns tells, without a pass over the line.
            const std::string_view t = m_lines[j].m_text;
            if (t.size() == m_lines[i].m_text.size() && !mine.empty()
                && std::all_of(mine.begin(), mine.end(), [&](int c) { return t[size_t(c)] == '|'; })) {
                ++j;
                continue;
            }
            separators(t, &other);
            if (other.empty() || mine.empty() || other.size() != mine.size() || other.front() != mine.front())
                break;
            uneven = true;
            ++j;
        }
        if (uneven && j - i >= 3 && mine.size() >= 2) {
            // Every line with as many bar lines (a line that has them where the first has
            // them may have more).
            bool clear = true;
            bars.clear();
            for (size_t l = i; l < j && clear; ++l) {
                separators(m_lines[l].m_text, &other);
                bars.push_back(other);
                clear = other.size() == mine.size();
            }
            // The width of each bar on most lines.
            std::vector<int> common(mine.size());
            for (size_t s = 1; s < mine.size() && clear; ++s) {
                std::vector<int> widths;
                for (const auto& b : bars)
                    widths.push_back(b[s] - b[s - 1]);
                std::sort(widths.begin(), widths.end());
                common[s] = widths[widths.size() / 2];
                clear = std::count(widths.begin(), widths.end(), common[s]) * 2 > int(widths.size());
            }
            for (size_t l = i; l < j && clear; ++l) {
                const std::vector<int>& b = bars[l - i];
                std::string text(m_lines[l].m_text);
                int shift = 0; // columns added so far
                bool ok = true;
                bool changed = false;
                for (size_t s = 1; s < b.size() && ok; ++s) {
                    const int at = b[s] + shift;
                    const int want = common[s] - (b[s] - b[s - 1]);
                    changed = changed || want != 0;
                    if (want == 0)
                        continue;
                    m_evenedBars.push_back({int(l), b[s - 1] + 1});
                    if (want > 0 && want <= 2) {
                        text.insert(size_t(at), size_t(want), '-');
                    } else if (want < 0 && want >= -2 && at + want > 0
                               && std::all_of(text.begin() + at + want, text.begin() + at, [](char c) { return c == '-'; })) {
                        text.erase(size_t(at + want), size_t(-want));
                    } else {
                        ok = false;
                    }
                    shift += want;
                }
                if (ok && changed)
                    m_lines[l].m_text.Assign(text, &m_arena);
                else
                    while (!m_evenedBars.empty() && m_evenedBars.back().first == int(l))
                        m_evenedBars.pop_back();
            }
        }
        i = j;
    }
}

void CTabImporter::ColonsAfterLabelsToBarLines()
{
    // "HH:x-x-x-x-|x-x-x-x-|": the colon after the label opens the first bar. On two lines in a
    // row at least, it becomes the bar line it stands for (same column: nothing moves).
    auto colonAt = [this](std::string_view t) -> size_t {
        size_t k = 0;
        while (k < t.size() && IsBlank(t[k]))
            ++k;
        const size_t label = k;
        while (k < t.size() && k - label < 8 && (IsAlnum(t[k]) || t[k] == ' ' || t[k] == '-' || t[k] == '.'))
            ++k;
        if (k == label || k + 1 >= t.size() || t[k] != ':' || !IsLetter(t[label]))
            return 0;
        // "HH: x-x-x-x-|": blanks between the colon and the notes, no bar line before them.
        size_t p = k + 1;
        while (p < t.size() && t[p] == ' ' && p - k <= 4)
            ++p;
        const char next = p < t.size() ? t[p] : 0;
        if (next != '-' && !IsAlnum(next))
            return 0; // "HH:|x-x-" is read as it stands
        return t.find('|', k) != std::string_view::npos && std::count(t.begin() + long(k), t.end(), '-') >= 4 ? k : 0;
    };
    const size_t n = m_lines.size() - 1;
    size_t i = 0;
    while (i < n) {
        size_t j = i;
        while (j < n && m_lines[j].MayHoldMark(LineMark::Colon) && colonAt(m_lines[j].m_text))
            ++j;
        if (j - i >= 2) {
            for (size_t l = i; l < j; ++l) {
                const size_t k = colonAt(m_lines[l].m_text);
                char* text = m_lines[l].m_text.Edit(&m_arena);
                // The bar line goes right before the notes: the colon's column, or the last
                // blank after it (the colon becomes a blank).
                size_t p = k + 1;
                while (text[p] == ' ')
                    ++p;
                text[k] = p > k + 1 ? ' ' : '|';
                text[p - 1] = '|';
            }
        }
        i = j + 1;
    }
}

void CTabImporter::StripQuotesAndLineNumbers()
{
    // A tab quoted in a forum post ("> HH|x-x-"), or pasted with line numbers ("3.  Cr|x-"):
    // a run of lines with the same kind of prefix, one of them a staff line once the prefix
    // is gone. The prefix goes, the same number of columns on every line of the run.
    const size_t n = m_lines.size() - 1;
    auto prefix = [](std::string_view t, bool numbers) -> size_t {
        size_t k = 0;
        if (numbers) {
            while (k < t.size() && k < 4 && IsDigit(t[k]))
                ++k;
            if (k == 0)
                return std::string_view::npos;
            while (k < t.size() && k < 6 && t[k] == ' ')
                ++k;
            if (k >= t.size() || (t[k] != '.' && t[k] != ':' && t[k] != ')'))
                return std::string_view::npos;
            ++k;
        } else {
            if (t.empty() || t[0] != '>')
                return std::string_view::npos;
            k = 1;
        }
        return k;
    };
    for (const bool numbers : {false, true}) {
        size_t i = 0;
        while (i < n) {
            if (prefix(m_lines[i].m_text, numbers) == std::string_view::npos) {
                ++i;
                continue;
            }
            size_t j = i;
            bool staff = false;
            size_t width = SIZE_MAX; // the blanks after the prefix that every line has
            while (j < n) {
                const std::string_view t = m_lines[j].m_text;
                const size_t k = prefix(t, numbers);
                if (k == std::string_view::npos)
                    break;
                size_t b = k;
                while (b < t.size() && IsBlank(t[b]))
                    ++b;
                if (b < t.size())
                    width = std::min(width, b);
                staff = staff || LooksLikeStaffLine(t.substr(k));
                ++j;
            }
            if (staff && j - i >= 2 && width != SIZE_MAX) {
                for (size_t l = i; l < j; ++l) {
                    CLineText& t = m_lines[l].m_text;
                    const size_t cut = std::min(width, t.size());
                    const std::string out(t.substr(cut));
                    t.Assign(out, &m_arena);
                }
            }
            i = j;
        }
    }
}

void CTabImporter::ShiftNeighbours(size_t first, size_t end, size_t columns, bool stopAtStaff)
{
    // The lines right above and below (up to a blank line) move right by as many columns.
    const std::string pad(columns, ' ');
    auto shift = [&](size_t l) {
        std::string out = pad;
        out.append(m_lines[l].m_text);
        m_lines[l].m_text.Assign(out, &m_arena);
    };
    for (size_t l = first; l-- > 0 && FirstNonBlank(m_lines[l].m_text, 0) >= 0 && !(stopAtStaff && LooksLikeStaffLine(m_lines[l].m_text));)
        shift(l);
    for (size_t l = end; l + 1 < m_lines.size() && FirstNonBlank(m_lines[l].m_text, 0) >= 0; ++l)
        shift(l);
}

void CTabImporter::LabelsAfterBarsToFront()
{
    // Two lines at least, one after the other, each its own label: the labels go in front,
    // and the lines next to them (a count, endings) move right with the bars.
    const size_t n = m_lines.size() - 1;
    size_t i = 0;
    while (i < n) {
        if (!TrailingLabelAt(m_lines[i].m_text)) {
            ++i;
            continue;
        }
        // The label, without a remark after it.
        auto labelOf = [](std::string_view t) {
            const std::string_view label = Trim(t.substr(TrailingLabelAt(t)));
            return label.substr(0, std::min(label.size(), label.find_first_of(" \t")));
        };
        size_t j = i;
        size_t width = 0;
        while (j < n && TrailingLabelAt(m_lines[j].m_text)) {
            width = std::max(width, labelOf(m_lines[j].m_text).size());
            ++j;
        }
        bool distinct = j - i >= 2;
        for (size_t a = i; a < j && distinct; ++a)
            for (size_t b = a + 1; b < j && distinct; ++b)
                distinct = labelOf(m_lines[a].m_text) != labelOf(m_lines[b].m_text);
        if (!distinct) {
            i = j;
            continue;
        }
        for (size_t l = i; l < j; ++l) {
            CLineText& t = m_lines[l].m_text;
            const size_t at = TrailingLabelAt(t);
            std::string_view label = Trim(t.substr(at));
            std::string_view remark;
            if (const size_t blank = label.find_first_of(" \t"); blank != std::string_view::npos) {
                remark = Trim(label.substr(blank));
                label = label.substr(0, blank);
            }
            std::string out = std::string(label) + std::string(width + 1 - label.size(), ' ');
            std::string_view notes = t.substr(0, at);
            while (!notes.empty() && IsBlank(notes.back()))
                notes.remove_suffix(1);
            out.append(notes);
            if (!remark.empty())
                out.append(" ").append(remark);
            t.Assign(out, &m_arena);
        }
        ShiftNeighbours(i, j, width + 1, false);
        i = j;
    }
}

void CTabImporter::LabelsFromOrder()
{
    m_orderGuessedLabels.clear();
    const size_t n = m_lines.size() - 1;
    // "|x---x---|x---x---|": a bar line first, two at least, ticks.
    auto bare = [](std::string_view t) {
        const int p = FirstNonBlank(t, 0);
        if (p < 0 || t[size_t(p)] != '|')
            return false;
        int bars = 0;
        int dashes = 0;
        for (size_t i = size_t(p); i < t.size(); ++i) {
            bars += t[i] == '|';
            dashes += t[i] == '-';
            if (IsLetter(t[i]) && i + 1 < t.size() && IsLetter(t[i + 1]))
                return false; // words
        }
        return bars >= 2 && dashes >= 4;
    };
    for (size_t i = 0; i < n; ++i)
        if (LooksLikeStaffLine(m_lines[i].m_text))
            return; // the tab labels its lines
    size_t i = 0;
    while (i < n) {
        if (!bare(m_lines[i].m_text)) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < n && bare(m_lines[j].m_text))
            ++j;
        const size_t count = j - i;
        // A note above naming the lines in order ("lines are, top to bottom: ride, snare, kick").
        std::vector<std::string> names;
        for (size_t l = i; l-- > 0 && i - l <= 4 && names.size() != count;) {
            const std::string_view t = m_lines[l].m_text;
            names.clear();
            for (size_t k = 0; k < t.size();) {
                while (k < t.size() && !IsLetter(t[k]))
                    ++k;
                size_t e = k;
                while (e < t.size() && (IsLetter(t[e]) || (t[e] == '-' && e + 1 < t.size() && IsLetter(t[e + 1]))))
                    ++e;
                const std::string_view word = t.substr(k, e - k);
                const bool upper = word.size() == 2 && !(word[0] >= 'a' && word[0] <= 'z') && !(word[1] >= 'a' && word[1] <= 'z');
                if ((word.size() >= 3 || upper) && word.size() <= 8 && InstrumentTables::FindAlias(word))
                    names.emplace_back(word);
                k = e;
            }
        }
        const bool named = names.size() == count;
        if (!named) {
            names.clear();
            if (count == 2)
                names = {"HH", "BD"};
            else if (count == 3)
                names = {"HH", "SD", "BD"};
        }
        if (names.size() != count) {
            i = j;
            continue;
        }
        size_t width = 0;
        for (const std::string& name : names)
            width = std::max(width, name.size());
        for (size_t l = i; l < j; ++l) {
            const std::string& name = names[l - i];
            if (!named)
                m_orderGuessedLabels.push_back(name);
            std::string out = name + std::string(width + 1 - name.size(), ' ');
            out.append(m_lines[l].m_text);
            m_lines[l].m_text.Assign(out, &m_arena);
            m_lines[l].m_letters |= LettersOf(name); // keyword tests skip lines by their letters
        }
        // A count or endings next to the staff move right with it.
        // Not past a staff labelled here before.
        ShiftNeighbours(i, j, width + 1, true);
        i = j;
    }
}

void CTabImporter::SpreadCountsToColumns()
{
    // A count over a staff with one column a syllable, its syllables written a blank apart
    // ("1 e + a 2 e + a 3 e + a 4 e + a" over "HH|x-x-x-x-x-x-x-x-|"): the count of one bar
    // spread over two. Where a bar has as many columns as a round of the count has syllables
    // (from one "1" to the next), the syllables are set over its columns.
    const size_t n = m_lines.size() - 1;
    std::vector<int> columns;
    std::vector<int> separators;
    for (size_t i = 0; i < n; ++i) {
        const std::string_view t = m_lines[i].m_text;
        if (!IsSpreadCount(t, &columns))
            continue;
        // The staff line next to it, above or below.
        size_t staff = n;
        for (size_t c : {i + 1, i - 1})
            if (c < n && LooksLikeStaffLine(m_lines[c].m_text)) {
                staff = c;
                break;
            }
        if (staff == n)
            continue;
        const std::string_view st = m_lines[staff].m_text;
        separators.clear();
        for (size_t k = st.find('|'); k < st.size(); ++k)
            if (st[k] == '|' && (separators.empty() || int(k) > separators.back() + 1))
                separators.push_back(int(k));
        if (separators.size() < 2)
            continue;
        // The rounds of the count, each from a "1".
        std::string out(size_t(std::max(columns.front(), separators.front() + 1)), ' ');
        out.resize(size_t(separators.front() + 1), ' ');
        size_t bar = 0;
        size_t from = 0;
        bool fits = true;
        while (from < columns.size() && fits) {
            size_t to = from + 1;
            while (to < columns.size() && t[size_t(columns[to])] != '1')
                ++to;
            const int width = bar + 1 < separators.size() ? separators[bar + 1] - separators[bar] - 1 : 0;
            // Spread: its round is wider than the bar it counts.
            fits = width == int(to - from) && columns[to - 1] - columns[from] + 1 > width
                && std::abs(columns[from] - (separators[bar] + 1)) <= 3 + int(bar) * width;
            if (!fits)
                break;
            out.resize(size_t(separators[bar] + 1), ' ');
            for (size_t k = from; k < to; ++k)
                out.push_back(t[size_t(columns[k])]);
            from = to;
            ++bar;
        }
        if (bar == 0 || from < columns.size())
            continue;
        m_lines[i].m_text.Assign(out, &m_arena);
    }
}

void CTabImporter::BlankRestsToTicks()
{
    // Lines of a staff, one after the other, their bar lines in the same columns: those that
    // write rests as blanks get ticks there. Two lines at least, with no tick among the
    // blank-rest lines (a tick would make them staff lines of their own kind).
    const size_t n = m_lines.size() - 1;
    std::vector<int> separators;
    std::vector<int> other;
    size_t i = 0;
    while (i < n) {
        const std::string_view t = m_lines[i].m_text;
        const bool blanks = !m_lines[i].SurelyHoldsMark(LineMark::Dash) && m_lines[i].MayHoldMark(LineMark::Bar)
            && t.find('-') == t.npos && HasBlankRests(t, &separators);
        if (!blanks) {
            ++i;
            continue;
        }
        // Widen to the neighbours: blank-rest lines and ordinary staff lines with the same bars.
        auto sameBars = [&](size_t l, bool* blankLine) {
            const std::string_view lt = m_lines[l].m_text;
            *blankLine = lt.find('-') == lt.npos && HasBlankRests(lt, &other);
            if (!*blankLine) {
                if (!LooksLikeStaffLine(lt))
                    return false;
                other.clear();
                for (size_t k = lt.find('|'); k < lt.size(); ++k)
                    if (lt[k] == '|')
                        other.push_back(int(k));
            }
            return other == separators;
        };
        size_t from = i;
        bool blankLine = false;
        while (from > 0 && sameBars(from - 1, &blankLine) && !blankLine)
            --from;
        size_t to = i + 1;
        std::vector<size_t> rewrite{i};
        while (to < n && sameBars(to, &blankLine)) {
            if (blankLine)
                rewrite.push_back(to);
            ++to;
        }
        if (to - from >= 2) {
            for (size_t l : rewrite) {
                CLineText& lt = m_lines[l].m_text;
                for (size_t k = size_t(separators.front()); k < size_t(separators.back()); ++k)
                    if (IsBlank(lt[k]))
                        lt.Edit(&m_arena)[k] = '-';
            }
        }
        i = to;
    }
}

void CTabImporter::SlotGridsToTicks()
{
    const size_t n = m_lines.size() - 1;
    std::vector<std::string_view> cells;
    size_t i = 0;
    while (i < n) {
        if (!IsSlotLine(m_lines[i].m_text, &cells)) {
            ++i;
            continue;
        }
        const size_t cellCount = cells.size();
        size_t j = i + 1;
        std::vector<std::string_view> other;
        while (j < n && IsSlotLine(m_lines[j].m_text, &other) && other.size() == cellCount)
            ++j;
        // What each line is: a count (one character a cell, under the cells' second), cell
        // numbers, or an instrument row whose cells name it ("bd") or are empty ("--").
        struct SRow
        {
            size_t line;
            std::string name;
        };
        std::vector<SRow> rows;
        size_t count = n;
        size_t numbers = n;
        bool grid = j - i >= 3;
        for (size_t l = i; l < j && grid; ++l) {
            IsSlotLine(m_lines[l].m_text, &other);
            bool digits = true, oneChar = true;
            std::string name;
            bool named = true;
            for (std::string_view c : other) {
                digits = digits && IsDigit(c[0]) && IsDigit(c[1]);
                oneChar = oneChar && c[0] == ' ';
                if (c == "--")
                    continue;
                if (!IsLetter(c[0]) || (!IsLetter(c[1]) && !IsDigit(c[1])) || (!name.empty() && name != c))
                    named = false;
                name.assign(c);
            }
            if (oneChar && count == n)
                count = l;
            else if (digits && numbers == n)
                numbers = l;
            else if (named && !name.empty())
                rows.push_back({l, name});
            else
                grid = false;
        }
        if (!grid || rows.size() < 2) {
            i = j;
            continue;
        }
        // Bars start where the count starts again at 1.
        std::vector<char> barBefore(cellCount + 1);
        if (count < n)
            for (size_t k = 1; k < cellCount; ++k)
                barBefore[k] = m_lines[count].At(int(3 + 3 * k)) == '1';
        const size_t width = std::max_element(rows.begin(), rows.end(), [](const SRow& a, const SRow& b) {
                                 return a.name.size() < b.name.size();
                             })->name.size();
        // A slot becomes two columns, a note and a tick, under "1 + 2 + ..." a column each.
        for (const SRow& row : rows) {
            CImportLine& line = m_lines[row.line];
            std::string out(row.name.data(), row.name.size());
            out.append(width - row.name.size() + 1, ' ');
            out.push_back('|');
            for (size_t k = 0; k < cellCount; ++k) {
                out.append(line.m_text.substr(2 + 3 * k, 2) == "--" ? "--" : "x-");
                if (barBefore[k + 1] || k + 1 == cellCount)
                    out.push_back('|');
            }
            line.m_text.Assign(out, &m_arena);
            line.m_letters |= 1u << ('x' - 'a');
        }
        // The count moves next to the staff, over the cell numbers that stood there.
        if (count < n) {
            std::string out(width + 2, ' ');
            for (size_t k = 0; k < cellCount; ++k) {
                out.push_back(m_lines[count].At(int(3 + 3 * k)));
                out.push_back(' ');
                if (barBefore[k + 1])
                    out.push_back(' ');
            }
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            const size_t to = numbers < n ? numbers : count;
            if (to != count) {
                m_lines[count].m_text.clear();
                m_lines[count].m_type = LineType::Blank;
            }
            m_lines[to].m_text.Assign(out, &m_arena);
        } else if (numbers < n) {
            m_lines[numbers].m_text.clear();
            m_lines[numbers].m_type = LineType::Blank;
        }
        i = j;
    }
}

void CTabImporter::StepGridsToTicks()
{
    const size_t n = m_lines.size() - 1;
    size_t i = 0;
    while (i < n) {
        int first = 0;
        int steps = 0;
        if (!IsStepLine(m_lines[i].m_text, &first, &steps)) {
            ++i;
            continue;
        }
        size_t j = i + 1;
        int f = 0, k = 0;
        while (j < n && IsStepLine(m_lines[j].m_text, &f, &k) && f == first && k == steps)
            ++j;
        // Three lines at least (a count and two instruments, or three instruments).
        if (j - i >= 3) {
            for (size_t l = i; l < j; ++l) {
                CLineText& t = m_lines[l].m_text;
                const bool count = IsDigit(t[size_t(first)]);
                // One column a step; the count keeps its numbers and loses its dots, the
                // staff lines get bar lines around their notes.
                std::string out;
                if (count)
                    out.assign(size_t(first), ' '); // "Step:" names the count, no instrument
                else
                    out.assign(t.substr(0, size_t(first) - 1)).push_back('|');
                for (int st = 0; st < steps; ++st) {
                    const char c = t[size_t(first + 2 * st)];
                    out.push_back(c == '.' ? (count ? ' ' : '-') : c);
                }
                if (!count)
                    out.push_back('|');
                while (!out.empty() && out.back() == ' ')
                    out.pop_back();
                t.Assign(out, &m_arena);
            }
        }
        i = j;
    }
}

void CTabImporter::BarlessStavesToBars()
{
    // Two lines at least, one after the other, their runs in the same columns.
    const size_t n = m_lines.size() - 1;
    size_t i = 0;
    while (i < n) {
        int start = 0;
        if (m_lines[i].SurelyHoldsMark(LineMark::Bar) || !IsBarlessStaffLine(m_lines[i].m_text, &start)) {
            ++i;
            continue;
        }
        const size_t end = size_t(m_lines[i].Length());
        size_t j = i + 1;
        int other = 0;
        while (j < n && IsBarlessStaffLine(m_lines[j].m_text, &other) && other == start
               && size_t(m_lines[j].Length()) == end)
            ++j;
        if (j - i >= 2) {
            // A count over or under the staff that starts again at 1 starts a bar there.
            auto isCount = [&](size_t l) {
                const CImportLine& c = m_lines[l];
                if (c.At(start) != '1')
                    return false;
                int digits = 0;
                for (char ch : c.m_text) {
                    if (IsDigit(ch))
                        ++digits;
                    else if (!IsBlank(ch) && ch != '+' && ch != '&' && ch != 'e' && ch != 'a')
                        return false;
                }
                return digits >= 2;
            };
            const size_t count = i > 0 && isCount(i - 1) ? i - 1 : j < n && isCount(j) ? j : n;
            std::vector<int> restarts;
            if (count < n) {
                const CImportLine& c = m_lines[count];
                for (int col = start + 1; col < int(end); ++col)
                    if (c.At(col) == '1' && !IsDigit(c.At(col - 1)) && !IsDigit(c.At(col + 1)))
                        restarts.push_back(col);
            }
            // A bar line before the notes, in the blank that stands there, one where each bar
            // starts again (the count gets a blank there), and one after.
            auto rewrite = [&](CLineText& t, bool staffLine) {
                std::string out(t.substr(0, size_t(start)));
                if (staffLine)
                    out.back() = '|';
                size_t next = 0;
                for (int col = start; col < int(t.size()); ++col) {
                    if (next < restarts.size() && col == restarts[next]) {
                        out.push_back(staffLine ? '|' : ' ');
                        ++next;
                    }
                    out.push_back(t[size_t(col)]);
                }
                if (staffLine)
                    out.push_back('|');
                t.Assign(out, &m_arena);
            };
            for (size_t k = i; k < j; ++k)
                rewrite(m_lines[k].m_text, true);
            if (count < n && !restarts.empty())
                rewrite(m_lines[count].m_text, false);
        }
        i = j;
    }
}

void CTabImporter::CellGridsToTicks()
{
    const size_t n = m_lines.size() - 1;
    size_t i = 0;
    while (i < n) {
        int sep = 0;
        int cells = 0;
        if (!m_lines[i].MayHoldMark(LineMark::Bar) || !IsCellLine(m_lines[i].m_text, &sep, &cells)) {
            ++i;
            continue;
        }
        // The staff: cell lines of the same cells, rails between them.
        std::vector<size_t> staff{i};
        size_t j = i + 1;
        for (; j < n; ++j) {
            int s = 0, c = 0;
            if (IsCellLine(m_lines[j].m_text, &s, &c) && s == sep && c == cells)
                staff.push_back(j);
            else if (!IsRailLine(m_lines[j].m_text))
                break;
        }
        if (staff.size() < 2) {
            i = j;
            continue;
        }
        // The count under the cells starts a bar at each "1" after the first.
        std::vector<char> barBefore(size_t(cells) + 1);
        const bool counted = j < n && FirstNonBlank(m_lines[j].m_text, 0) > sep
            && IsDigit(m_lines[j].At(FirstNonBlank(m_lines[j].m_text, 0)));
        if (counted) {
            const CImportLine& count = m_lines[j];
            for (int k = 1; k < cells; ++k)
                barBefore[size_t(k)] = count.At(sep + 1 + 2 * k) == '1' && !IsDigit(count.At(sep + 2 + 2 * k));
        }
        // Each cell becomes a note and a tick; a bar line stands after the last cell of a bar.
        auto rewrite = [&](CImportLine& line, bool staffLine) {
            std::string out(line.m_text.substr(0, size_t(sep) + 1));
            out.resize(size_t(sep) + 1, ' ');
            for (int k = 0; k < cells; ++k) {
                char c = line.At(sep + 1 + 2 * k);
                if (staffLine && IsBlank(c))
                    c = '-';
                out.push_back(c);
                out.push_back(staffLine ? '-' : line.At(sep + 2 + 2 * k));
                if (barBefore[size_t(k) + 1] || k + 1 == cells)
                    out.push_back(staffLine ? '|' : ' ');
            }
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            line.m_text.Assign(out, &m_arena);
        };
        for (size_t k : staff)
            rewrite(m_lines[k], true);
        if (counted)
            rewrite(m_lines[j], false);
        i = j;
    }
}

void CTabImporter::DropStaffSpacers()
{
    // The sentinel stays last; lines keep their numbers for the panes.
    const size_t n = m_lines.size() - 1;
    // Most tabs have neither rails nor double spacing: two staff lines that touch settle the
    // spacing, and the staves are looked at no further.
    bool rails = false;
    for (size_t i = 0; i < n && !rails; ++i)
        rails = IsRailLine(m_lines[i].m_text);
    bool touching = false;
    bool previous = false;
    for (size_t i = 0; i < n && !touching; ++i) {
        const bool current = LooksLikeStaffLine(m_lines[i].m_text);
        touching = previous && current;
        previous = current;
    }
    if (touching && !rails)
        return;
    std::vector<char> staff(n);
    for (size_t i = 0; i < n; ++i)
        staff[i] = LooksLikeStaffLine(m_lines[i].m_text);
    // A double-spaced tab (each line followed by a blank one, as pages copied from the web
    // come): no two staff lines touch, and some stand a blank line apart.
    int spaced = 0;
    for (size_t i = 0; i + 2 < n; ++i)
        if (staff[i] && m_lines[i + 1].m_type == LineType::Blank && staff[i + 2])
            ++spaced;
    const bool doubleSpaced = !touching && spaced >= 2;
    auto opensTimeLine = [](std::string_view t) {
        size_t p = 0;
        while (p < t.size() && IsBlank(t[p]))
            ++p;
        return p < t.size() && (t[p] == '|' || IsDigit(t[p]));
    };
    // The label of a staff line: its first word.
    auto labelOf = [this](size_t l) {
        const std::string_view t = m_lines[l].m_text;
        size_t b = 0;
        while (b < t.size() && IsBlank(t[b]))
            ++b;
        size_t e = b;
        while (e < t.size() && IsAlnum(t[e]))
            ++e;
        return t.substr(b, e - b);
    };
    std::vector<char> drop(n);
    bool any = false;
    // The labels of the staff being joined: a label met again starts another staff (single
    // exercises a blank line apart stay apart).
    std::vector<std::string_view> labels;
    for (size_t i = 1; i + 1 < n; ++i) {
        if (!staff[i - 1])
            continue;
        if (i < 2 || !drop[i - 2] || !staff[i - 1])
            labels.clear();
        labels.push_back(labelOf(i - 1));
        const std::string_view next = m_lines[i + 1].m_text;
        const bool nextOwnLabel =
            staff[i + 1] && std::find(labels.begin(), labels.end(), labelOf(i + 1)) == labels.end();
        // Rails between two lines of a staff, or under its last line over the count.
        if (IsRailLine(m_lines[i].m_text) && (staff[i + 1] || opensTimeLine(next)))
            drop[i] = true;
        // The blank line of a double-spaced staff, before its next line or its count.
        if (doubleSpaced && m_lines[i].m_type == LineType::Blank && (nextOwnLabel || opensTimeLine(next)))
            drop[i] = true;
        any = any || drop[i];
    }
    if (!any)
        return;
    size_t kept = 0;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        if (i < n && drop[i])
            continue;
        if (kept != i)
            m_lines[kept] = std::move(m_lines[i]);
        ++kept;
    }
    m_lines.erase(m_lines.begin() + std::ptrdiff_t(kept), m_lines.end());
}

void CTabImporter::GhostsInParens()
{
    for (CImportLine& line : m_lines) {
        CLineText& t = line.m_text;
        if (!line.MayHoldMark(LineMark::Paren) || t.find('(') == std::string::npos || !LooksLikeStaffLine(t))
            continue;
        for (size_t at = t.find('('); at != std::string::npos; at = t.find('(', at + 1)) {
            if (!IsGhostInParens(t, at))
                continue;
            char* edit = t.Edit(&m_arena);
            edit[at] = '-';
            edit[at + 1] = 'g';
            edit[at + 2] = '-';
            line.m_letters |= 1u << ('g' - 'a');
        }
    }
}

void CTabImporter::RestDotsToTicks()
{
    // Two such lines at least: one alone is as likely a line of text.
    std::vector<size_t> dotted;
    for (size_t i = 0; i < m_lines.size(); ++i)
        if (m_lines[i].MayHoldMark(LineMark::Dot) && UsesRestDots(m_lines[i].m_text))
            dotted.push_back(i);
    if (dotted.size() < 2)
        return;
    for (size_t i : dotted) {
        CLineText& t = m_lines[i].m_text;
        const size_t first = t.find('|');
        const size_t last = t.rfind('|');
        char* edit = t.Edit(&m_arena);
        std::replace(edit + first, edit + last, '.', '-');
    }
}

void CTabImporter::AssignKitRoles()
{
    // Candidates first: most tabs have none, and then the staves are not read.
    auto guessedOnly = [this](int label, int key) {
        const CLabelRecord& rec = m_labels[size_t(label)];
        const int n = rec.EntryCount();
        if (n == 0)
            return false;
        for (int e = 0; e < n; ++e)
            if (rec.entries[size_t(e)].kind != 2 || rec.entries[size_t(e)].instrument != key)
                return false;
        return true;
    };
    auto isCymbal = [](int k) { return k == 49 || k == 51 || k == 52 || k == 53 || k == 55 || k == 57; };
    auto isSnare = [](int k) { return k == 38 || k == 37 || k == 40; };
    // 1 a hat that may be the foot, 2 a generic cymbal that may be the ride.
    std::array<uint8_t, ImportLimits::kLabelSlots> candidate{};
    bool anyCymbal = false;
    for (int l = 0; l < m_labelCount; ++l) {
        const CLabelRecord& rec = m_labels[size_t(l)];
        const int key = rec.EntryCount() ? int(rec.entries[0].instrument) : 0;
        anyCymbal = anyCymbal || isCymbal(key);
        if (key == 42 && guessedOnly(l, 42))
            candidate[size_t(l)] = 1;
        const std::string word = LabelWord(rec.label);
        if (key == 49 && guessedOnly(l, 49) && (word == "cymbal" || word == "cymbals" || word == "cym"))
            candidate[size_t(l)] = 2;
    }
    bool any = false;
    for (int l = 0; l < m_labelCount; ++l)
        any = any || candidate[size_t(l)] == 2 || (candidate[size_t(l)] == 1 && anyCymbal);
    if (!any)
        return;
    // The note characters of each label, for the column loops.
    std::vector<std::array<uint8_t, 256>> notes(static_cast<size_t>(m_labelCount));
    for (int l = 0; l < m_labelCount; ++l) {
        const CLabelRecord& rec = m_labels[size_t(l)];
        for (int e = 0; e < rec.EntryCount(); ++e)
            notes[size_t(l)][uint8_t(rec.entries[size_t(e)].noteChar)] = rec.entries[size_t(e)].instrument;
        notes[size_t(l)][uint8_t(' ')] = notes[size_t(l)][uint8_t(m_tickChar)] = 0;
        if (m_barChar)
            notes[size_t(l)][uint8_t(m_barChar)] = 0;
    }
    // A label's verdict holds only when every staff that plays it agrees: 1 yes, -1 no.
    std::array<int, ImportLimits::kLabelSlots> verdict{};
    auto vote = [&verdict](int label, bool yes) {
        int& v = verdict[size_t(label)];
        v = (v == -1 || !yes) ? -1 : 1;
    };
    // The staff lines of one group; their bars stand in the same columns, each line shifted by
    // its m_columnShift (labels of different lengths shift the lines, not the bars).
    std::vector<size_t> group;
    auto judgeGroup = [&]() {
        // The hats first: a cymbal keeps time as the ride where the foot plays the hat.
        bool footHat = false;
        for (int pass = 1; pass <= 2; ++pass) {
            for (size_t gi : group) {
                const CImportLine& line = m_lines[gi];
                const int label = line.m_labelIndex;
                if (label < 0 || candidate[size_t(label)] != pass || verdict[size_t(label)] == -1)
                    continue;
                const auto& own = notes[size_t(label)];
                const int from = line.m_firstBarColumn + line.m_columnShift;
                if (candidate[size_t(label)] == 2) {
                    // Keeping time: four hits or more, evenly spaced (bar lines left out).
                    int hits = 0, step = 0, last = -1, tick = 0;
                    bool steady = true;
                    for (int c = from; c < line.Length() && steady; ++c) {
                        const char ch = line.m_text[size_t(c)];
                        if (ch == m_barChar)
                            continue;
                        if (own[uint8_t(ch)]) {
                            if (last >= 0)
                                steady = step == 0 || tick - last == step;
                            if (last >= 0 && step == 0)
                                step = tick - last;
                            last = tick;
                            ++hits;
                        }
                        ++tick;
                    }
                    vote(label, steady && hits >= 4 && footHat);
                    continue;
                }
                // Every hat stroke falls with a stroke of a cymbal, and one at least with a snare
                // stroke too: three hands at once, so the foot plays the hat.
                bool withCymbal = true;
                bool threeHands = false;
                bool strokes = false;
                for (int c = from; c < line.Length() && withCymbal; ++c) {
                    if (!own[uint8_t(line.m_text[size_t(c)])])
                        continue;
                    strokes = true;
                    bool cymbal = false;
                    bool snare = false;
                    for (size_t oi : group) {
                        const CImportLine& o = m_lines[oi];
                        if (oi == gi || o.m_labelIndex < 0)
                            continue;
                        const char at = o.At(o.m_firstBarColumn + o.m_columnShift + c - from);
                        const int k = notes[size_t(o.m_labelIndex)][uint8_t(at)];
                        cymbal = cymbal || isCymbal(k);
                        snare = snare || isSnare(k);
                    }
                    withCymbal = cymbal;
                    threeHands = threeHands || (cymbal && snare);
                }
                const bool foot = strokes && withCymbal && threeHands;
                vote(label, foot);
                footHat = footHat || foot;
            }
        }
        group.clear();
    };
    int first = -2;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const CImportLine& line = m_lines[i];
        if (line.m_type != LineType::StaffLine)
            continue;
        if (line.m_groupFirst != first) {
            judgeGroup();
            first = line.m_groupFirst;
        }
        group.push_back(i);
    }
    judgeGroup();
    for (int l = 0; l < m_labelCount; ++l) {
        if (verdict[size_t(l)] != 1)
            continue;
        CLabelRecord& rec = m_labels[size_t(l)];
        for (int e = 0; e < rec.EntryCount(); ++e)
            rec.entries[size_t(e)].instrument = candidate[size_t(l)] == 1 ? 44 : 51;
    }
}
