// Staff decoding: bar analysis of each staff group, block assembly and the conversion of a
// block into BAR, note, rest and REPEAT_PREV_MEASURES events.

#include "tabimporter.h"

#include "importtext.h"
#include "report.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

using namespace ImportText;

namespace {
// How often c occurs in text, eight bytes at a time (a staff line holds many bar lines: one
// look per byte beats a search per bar line).
size_t CountByteWide(std::string_view text, char c)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    const uint64_t pattern = kByteOnes * uint8_t(c);
    size_t count = 0;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        count += size_t(HighByteCount(ZeroBytes(w ^ pattern)));
    }
    for (; i < n; ++i)
        count += p[i] == uint8_t(c);
    return count;
}

// Block assembler state: a remark under the staff, its time line next.
constexpr int kStateBeforeTimeBelow = 7;

// Bars a staff's scratch lists hold before they grow.
constexpr size_t kScratchBars = 64;

// Widest bar read as a signature whose halves stand on two lines.
constexpr int kMaxStackedSigColumns = 6;

int Log2(int v)
{
    int n = 0;
    while (v > 1) {
        v >>= 1;
        ++n;
    }
    return n;
}

// "3/4", "6/8", "4": numerator bits 0-4, log2 of the denominator bits 5-7; 0 if not one.
uint8_t TimeSigValue(int num, int den)
{
    if (num < 1 || num > 31 || den < 1 || den > 32 || (den & (den - 1)) != 0)
        return 0;
    return uint8_t(num | (Log2(den) << 5));
}

// The whole text is a time signature.
uint8_t ParseTimeSigText(std::string_view text)
{
    text = Trim(text);
    size_t i = 0;
    int num = 0;
    while (i < text.size() && IsDigit(text[i]) && i < 2)
        num = num * 10 + (text[i++] - '0');
    if (i == 0)
        return 0;
    int den = 4;
    if (i < text.size() && text[i] == '/') {
        ++i;
        den = 0;
        size_t d = 0;
        while (i < text.size() && IsDigit(text[i]) && d < 2) {
            den = den * 10 + (text[i++] - '0');
            ++d;
        }
        if (d == 0)
            return 0;
    }
    if (i != text.size())
        return 0;
    return TimeSigValue(num, den);
}

// A signature "N/D" that opens a bar's text ("3/4 x-x-", " 3/4 x-x-"): the column of the first
// note after it (a blank must part them), or -1. *sig receives the signature.
int LeadingTimeSig(std::string_view text, int from, int end, char separator, uint8_t* sig)
{
    end = std::min(end, int(text.size()));
    int c = from;
    while (c < end && IsBlank(text[size_t(c)]))
        ++c;
    const int start = c;
    while (c < end && (IsDigit(text[size_t(c)]) || text[size_t(c)] == '/'))
        ++c;
    if (c == start || c >= end || !IsBlank(text[size_t(c)]))
        return -1;
    const std::string_view word = text.substr(size_t(start), size_t(c - start));
    if (word.find('/') == std::string_view::npos)
        return -1;
    *sig = ParseTimeSigText(word);
    if (!*sig)
        return -1;
    while (c < end && IsBlank(text[size_t(c)]))
        ++c;
    return c < end && text[size_t(c)] != separator ? c : -1;
}


}

// A time signature "N/D" anywhere in the text.
uint8_t FindTimeSigInText(std::string_view text)
{
    for (size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] != '/' || !IsDigit(text[i - 1]) || !IsDigit(text[i + 1]))
            continue;
        size_t b = i - 1;
        if (b > 0 && IsDigit(text[b - 1]))
            --b;
        size_t e = i + 2;
        if (e < text.size() && IsDigit(text[e]))
            ++e;
        if ((b > 0 && IsAlnum(text[b - 1])) || (e < text.size() && IsAlnum(text[e])))
            continue;
        if (const uint8_t sig = ParseTimeSigText(text.substr(b, e - b)))
            return sig;
    }
    return 0;
}

void CTabImporter::FindLabelEnd(int first, int count)
{
    CImportLine& f = m_lines[size_t(first)];
    auto labelStartOf = [](const CImportLine& l) {
        // A time signature written in front of the label ("4/4 HH|x-x-") moves the label
        // behind it.
        const int p = FirstNonBlank(l.m_text, 0);
        if (p < 0)
            return 0;
        // The two halves of a signature stacked in front of the labels (" 3 HH|", "---SD|",
        // " 4 BD|"): a number alone, or the line's ticks, before a label.
        const std::string_view t = l.m_text;
        size_t q = size_t(p);
        if (IsDigit(t[q])) {
            while (q < t.size() && IsDigit(t[q]))
                ++q;
            if (q - size_t(p) <= 2 && q < t.size() && t[q] == ' ') {
                const int label = FirstNonBlank(t, int(q));
                if (label >= 0 && IsLetter(t[size_t(label)]))
                    return label;
            }
        } else if (t[q] == '-') {
            while (q < t.size() && t[q] == '-')
                ++q;
            if (q < t.size() && IsLetter(t[q]) && q - size_t(p) <= 4)
                return int(q);
        }
        // A signature starts with a digit (after any blanks it trims): most labels do not,
        // and need no search for the blank after them.
        if (!IsDigit(t[size_t(p)]) && !IsSpace(t[size_t(p)]))
            return 0;
        const size_t space = l.m_text.find(' ', size_t(p));
        if (space == std::string::npos)
            return 0;
        if (ParseTimeSigText(std::string_view(l.m_text).substr(size_t(p), space - size_t(p))) == 0
            || l.m_text.find('/', size_t(p)) >= space)
            return 0;
        return int(space);
    };
    auto firstSeparator = [this](const CImportLine& l) {
        if (!m_barChar)
            return -1;
        const size_t at = l.m_text.find(m_barChar, size_t(l.m_labelStart));
        return at == std::string::npos ? -1 : int(at);
    };
    for (int i = first; i < first + count; ++i) {
        CImportLine& l = m_lines[size_t(i)];
        l.m_labelStart = labelStartOf(l);
        l.m_columnShift = 0;
        l.m_groupFirst = first;
    }

    int col = firstSeparator(f);
    if (col < 0) {
        const size_t paren = f.m_text.find_first_of("()", size_t(f.m_labelStart));
        col = paren == std::string::npos ? f.Length() : int(paren);
    }
    for (int i = first + 1; i < first + count; ++i) {
        CImportLine& l = m_lines[size_t(i)];
        const int own = firstSeparator(l);
        if (own == col)
            continue;
        if (own >= 0) {
            AddIssue(ImportIssue::MisalignedBarSeparator, i, own, 0);
            if (std::abs(own - col) <= ImportLimits::kMaxColumnShift)
                l.m_columnShift = own - col;
        } else {
            AddIssue(ImportIssue::MisalignedBarSeparator, i, std::min(col, l.Length()), l.Length());
        }
    }

    // Labels written straight against the ticks: the label ends at the space before the
    // leftmost dash.
    int dashes = 0;
    int leftmost = INT_MAX;
    int leftLine = -1;
    for (int i = first; i < first + count; ++i) {
        const CImportLine& l = m_lines[size_t(i)];
        const int hiHat = l.MayHold(WordLetters("hi-hat")) ? FindWord(l.m_text, "hi-hat") : -1;
        const int end = std::min(col + l.m_columnShift, l.Length());
        for (int c = l.m_labelStart; c < end; ++c) {
            if (l.m_text[size_t(c)] != '-' || (hiHat >= 0 && c == hiHat + 2))
                continue;
            ++dashes;
            if (c - l.m_columnShift < leftmost) {
                leftmost = c - l.m_columnShift;
                leftLine = i;
            }
        }
    }
    if (dashes > count && leftLine >= 0) {
        const CImportLine& l = m_lines[size_t(leftLine)];
        int s = leftmost + l.m_columnShift - 1;
        while (s >= l.m_labelStart && l.m_text[size_t(s)] != ' ')
            --s;
        col = std::max(s >= l.m_labelStart ? s - l.m_columnShift : leftmost, 0);
        // The separators no longer tell where the labels end: the columns are read as written.
        for (int i = first; i < first + count; ++i)
            m_lines[size_t(i)].m_columnShift = 0;
    }
    for (int i = first; i < first + count; ++i)
        m_lines[size_t(i)].m_firstBarColumn = col;
}

void CTabImporter::FindBars(int first, int count)
{
    CImportLine& f = m_lines[size_t(first)];
    const int col = f.m_firstBarColumn;
    auto at = [this](int line, int groupColumn) {
        return m_lines[size_t(line)].At(groupColumn + m_lines[size_t(line)].m_columnShift);
    };
    // The line with the most separators governs the bars, so a short first line (a crash
    // line that stops early) does not cut the staff.
    int ref = first;
    int best = -1;
    for (int i = first; i < first + count && m_barChar; ++i) {
        const CImportLine& l = m_lines[size_t(i)];
        const int from = std::max(0, col + l.m_columnShift);
        const int n = from < l.Length() ? int(CountByteWide(std::string_view(l.m_text).substr(size_t(from)), m_barChar)) : 0;
        if (n > best) {
            best = n;
            ref = i;
        }
    }
    const CImportLine& r = m_lines[size_t(ref)];
    const int refEnd = r.Length() - r.m_columnShift;

    std::vector<SBoundary>& bounds = m_scratchBounds;
    bounds.clear();
    // Room for a staff of many bars at once: the lists live as long as the import, and grow
    // in one step rather than in many small ones.
    if (bounds.capacity() < kScratchBars) {
        bounds.reserve(kScratchBars);
        m_scratchOpens.reserve(kScratchBars);
        m_scratchEnds.reserve(kScratchBars);
        m_groupMarks.reserve(kScratchBars);
        m_scratchClosesDouble.reserve(kScratchBars);
    }
    if (m_barChar && at(ref, col) == m_barChar) {
        int right = col;
        while (at(ref, right + 1) == m_barChar)
            ++right;
        bounds.push_back({col, right});
    } else {
        const char c = f.At(col);
        const int open = (c == m_tickChar) ? col : col + 1;
        bounds.push_back({col, open - 1});
    }
    for (int c = bounds.back().right + 1; c < refEnd && m_barChar; ++c) {
        const int found = FindByte(r.m_text, std::max(c + r.m_columnShift, 0), m_barChar);
        if (found < 0)
            break;
        const int left = c = found - r.m_columnShift;
        while (at(ref, c + 1) == m_barChar)
            ++c;
        bounds.push_back({left, c});
    }

    std::vector<int>& opens = m_scratchOpens;
    std::vector<int>& ends = m_scratchEnds;
    opens.clear();
    ends.clear();
    m_groupMarks.clear();
    std::vector<uint8_t>& closesDouble = m_scratchClosesDouble;
    closesDouble.clear();
    for (size_t i = 0; i + 1 < bounds.size(); ++i) {
        opens.push_back(bounds[i].right + 1);
        ends.push_back(bounds[i + 1].left);
        m_groupMarks.push_back(bounds[i].right > bounds[i].left ? kOpensDouble : 0);
        closesDouble.push_back(bounds[i + 1].right > bounds[i + 1].left);
    }
    // An unclosed last bar: ticks that run on to the line end after the last separator.
    const int tail = bounds.back().right + 1;
    if (tail < refEnd && at(ref, tail) != ' ') {
        int ticks = 0;
        int c = tail;
        while (c < refEnd && at(ref, c) != ' ')
            ticks += at(ref, c++) == m_tickChar;
        // A last hit left to ring ("|x-->", "|X--"): a hit on some lines, ticks after it, a
        // bar of its own.
        const bool ringing = at(ref, c - 1) == '>' && ticks >= 1 && at(ref, tail) != m_tickChar;
        bool lastHit = !ringing && ticks >= 1 && ticks < ImportLimits::kMinOpenBarTicks;
        bool hit = false;
        for (int i = first; i < first + count && lastHit; ++i) {
            const char h = at(i, tail);
            if (h == ' ' || h == 0)
                continue;
            hit = hit || h != m_tickChar;
            int e = tail + 1;
            for (; at(i, e) != ' ' && at(i, e) != 0 && lastHit; ++e)
                lastHit = at(i, e) == m_tickChar;
            lastHit = lastHit && e - tail <= ImportLimits::kMinOpenBarTicks;
        }
        lastHit = lastHit && hit;
        f.m_lastHitBar = ringing || lastHit;
        if (ticks >= ImportLimits::kMinOpenBarTicks || ringing || lastHit) {
            int end = c;
            for (int i = first; i < first + count; ++i) {
                int e = tail;
                while (at(i, e) != ' ')
                    ++e;
                end = std::max(end, e);
                // The arrow is how long the hit rings, not a note.
                CImportLine& l = m_lines[size_t(i)];
                for (int a = e - 1 + l.m_columnShift; ringing && a > tail + l.m_columnShift && l.At(a) == '>'; --a)
                    l.m_text.Edit(&m_arena)[size_t(a)] = m_tickChar;
            }
            // A last bar whose lines stop a tick or two short of the bar before it, with no
            // bar line to close it: as long as that one, its rest left unwritten.
            if (!ringing && !lastHit && !opens.empty()) {
                const int before = ends.back() - opens.back();
                const int width = end - tail;
                if (width < before && before - width <= 2 && width >= 8)
                    end = tail + before;
            }
            opens.push_back(tail);
            ends.push_back(end);
            m_groupMarks.push_back(bounds.back().right > bounds.back().left ? kOpensDouble : 0);
            closesDouble.push_back(false);
        }
    }

    const int bars = int(opens.size());
    // A line whose last bar is left open while the others close it is closed for them.
    const bool lastClosed = bars > 0 && bounds.size() >= size_t(bars) + 1;
    for (int i = first; i < first + count; ++i) {
        CImportLine& l = m_lines[size_t(i)];
        if (lastClosed && m_barChar) {
            const int close = ends.back() + l.m_columnShift;
            if (l.Length() <= close && l.Length() > opens.back() + l.m_columnShift && l.m_text.back() != m_barChar) {
                l.m_text.Append(size_t(close - l.Length()), m_tickChar, &m_arena);
                l.m_text.Append(1, m_barChar, &m_arena);
            }
        }
        l.SetBars(bars, i == first, &m_arena);
        for (int k = 0; k < bars; ++k)
            l.BarEnd()[size_t(k)] = ends[size_t(k)] + l.m_columnShift;
    }
    std::copy(opens.begin(), opens.end(), f.BarOpen().begin());
    std::copy(ends.begin(), ends.end(), f.BarEnd().begin());
    for (int k = 0; k < bars; ++k)
        if (closesDouble[size_t(k)])
            f.BarFlags()[size_t(k)] |= BarFlag::ClosesDouble;
}

void CTabImporter::FindRepeatDots(int first, int count)
{
    CImportLine& f = m_lines[size_t(first)];
    auto at = [this](int line, int groupColumn) {
        const CImportLine& l = m_lines[size_t(line)];
        return l.At(groupColumn + l.m_columnShift);
    };
    // Repeat dots: ':' or '.' on some line, or 'o' on two lines with nothing but dots in the
    // column; a '.' that belongs to a ./. mark is no dot.
    auto isDotColumn = [&](int column, int slashSide) {
        int strong = 0;
        int os = 0;
        bool onlyDots = true;
        for (int i = first; i < first + count; ++i) {
            const char c = at(i, column);
            if (c == ' ' || c == m_barChar)
                continue;
            if ((c == '.' || c == ':') && at(i, column + slashSide) != '/')
                ++strong;
            else if (c == 'o' || c == '*')
                ++os;
            else
                onlyDots = false;
        }
        return strong > 0 || (os >= 2 && onlyDots);
    };
    auto lacksDoubleBar = [&](int bar, int left, int right) {
        for (int i = first + 1; i < first + count; ++i) {
            const CImportLine& l = m_lines[size_t(i)];
            if (l.Length() <= right + l.m_columnShift)
                continue;
            for (int c = left; c <= right; ++c) {
                if (at(i, c) != m_barChar) {
                    AddIssue(ImportIssue::MisalignedDoubleBar, i, f.BarOpen()[size_t(bar)] + l.m_columnShift, 0);
                    break;
                }
            }
        }
    };
    // Repeat signs on a single bar line ("|:x-x-", "x-x-:|"): a colon in that column on every
    // line of the staff.
    auto isColonColumn = [&](int column) {
        int colons = 0;
        for (int i = first; i < first + count; ++i) {
            const char c = at(i, column);
            if (c == ':')
                ++colons;
            else if (c != ' ' && c != 0)
                return false;
        }
        return colons >= std::min(count, 2);
    };
    for (int k = 0; k < f.m_barCount; ++k) {
        int& open = f.BarOpen()[size_t(k)];
        int& end = f.BarEnd()[size_t(k)];
        bool singleStart = false;
        if (!(m_groupMarks[size_t(k)] & kOpensDouble) && open < end - 1 && isColonColumn(open)) {
            m_groupMarks[size_t(k)] |= kOpensDouble | kStartSign;
            ++open;
            singleStart = true;
        }
        if (!(f.BarFlags()[size_t(k)] & BarFlag::ClosesDouble) && end - 1 > open && isColonColumn(end - 1)) {
            f.BarFlags()[size_t(k)] |= BarFlag::ClosesDouble | BarFlag::RepeatEndSign;
            --end;
            continue;
        }
        if ((m_groupMarks[size_t(k)] & kOpensDouble) && !singleStart) {
            if (k == 0 || !(f.BarFlags()[size_t(k) - 1] & BarFlag::ClosesDouble))
                lacksDoubleBar(k, open - 2, open - 1);
            if (open < end - 1 && isDotColumn(open, 1)) {
                m_groupMarks[size_t(k)] |= kStartSign;
                ++open;
            }
        }
        if (f.BarFlags()[size_t(k)] & BarFlag::ClosesDouble) {
            lacksDoubleBar(k, end, end + 1);
            if (end - 1 > open && isDotColumn(end - 1, -1)) {
                f.BarFlags()[size_t(k)] |= BarFlag::RepeatEndSign;
                --end;
            }
        }
    }
    // Separators of the other lines that do not line up with the governing ones.
    for (int k = 0; k < f.m_barCount; ++k) {
        const int close = f.BarFlags()[size_t(k)] & BarFlag::RepeatEndSign ? f.BarEnd()[size_t(k)] + 1 : f.BarEnd()[size_t(k)];
        for (int i = first + 1; i < first + count; ++i) {
            const CImportLine& l = m_lines[size_t(i)];
            if (l.Length() <= close + l.m_columnShift || at(i, close) == m_barChar)
                continue;
            if (k + 1 == f.m_barCount && f.At(close) != m_barChar)
                continue; // an unclosed last bar
            AddIssue(ImportIssue::MisalignedBarSeparator, i, f.BarOpen()[size_t(k)] + l.m_columnShift, 0);
        }
    }
}

uint8_t CTabImporter::StackedTimeSig(int first, int count, int open, int end) const
{
    int numbers[2] = {0, 0};
    int found = 0;
    for (int i = first; i < first + count; ++i) {
        const CImportLine& l = m_lines[size_t(i)];
        int value = 0;
        int digits = 0;
        for (int c = open; c < end; ++c) {
            const char ch = l.At(c + l.m_columnShift);
            if (IsDigit(ch)) {
                if (digits && !IsDigit(l.At(c + l.m_columnShift - 1)))
                    return 0; // two numbers on one line
                value = value * 10 + (ch - '0');
                ++digits;
            } else if (ch != ' ' && ch != m_tickChar) {
                return 0;
            }
        }
        if (!digits)
            continue;
        if (digits > 2 || found == 2)
            return 0;
        numbers[found++] = value;
    }
    return found == 2 ? TimeSigValue(numbers[0], numbers[1]) : 0;
}

uint8_t CTabImporter::SkipLeadingTimeSig(int first, int count, int bar)
{
    CImportLine& f = m_lines[size_t(first)];
    const int open = f.BarOpen()[size_t(bar)];
    const int end = f.BarEnd()[size_t(bar)];
    uint8_t sig = 0;
    int after = -1;
    for (int i = first; i < first + count; ++i) {
        const CImportLine& l = m_lines[size_t(i)];
        if (!l.MayHoldTimeSig())
            continue;
        uint8_t lineSig = 0;
        const int at = LeadingTimeSig(l.m_text, open + l.m_columnShift, end + l.m_columnShift, m_barChar, &lineSig);
        if (at < 0)
            continue;
        if ((sig && sig != lineSig) || (after >= 0 && after != at - l.m_columnShift))
            return 0;
        sig = lineSig;
        after = at - l.m_columnShift;
    }
    if (!sig)
        return StackedLeadingTimeSig(first, count, bar);
    // The other lines leave the signature's columns blank, so their notes start where the
    // signed line's do; a line with ticks or notes there keeps the bar as written.
    for (int i = first; i < first + count; ++i) {
        const CImportLine& l = m_lines[size_t(i)];
        for (int c = open; c < after; ++c) {
            const char ch = l.At(c + l.m_columnShift);
            if (!IsBlank(ch) && !IsDigit(ch) && ch != '/')
                return 0;
        }
    }
    f.BarOpen()[size_t(bar)] = after;
    return sig;
}

uint8_t CTabImporter::StackedLeadingTimeSig(int first, int count, int bar)
{
    // The halves of a signature stacked at the start of a bar, before its notes ("| 5  -oo-",
    // "|--- -o--", "| 4  ----"): a number on each of two lines, the other lines blank or
    // ticks there, then a column blank on every line.
    CImportLine& f = m_lines[size_t(first)];
    const int open = f.BarOpen()[size_t(bar)];
    const int end = f.BarEnd()[size_t(bar)];
    int withDigits = 0;
    for (int i = first; i < first + count && withDigits < 2; ++i)
        withDigits += m_lines[size_t(i)].m_hasDigit;
    if (withDigits < 2)
        return 0;
    int digitLines = 0;
    for (int i = first; i < first + count; ++i) {
        const CImportLine& l = m_lines[size_t(i)];
        bool digit = false;
        for (int c = open; c < open + 4 && l.m_hasDigit && !digit; ++c)
            digit = IsDigit(l.At(c + l.m_columnShift));
        digitLines += digit;
    }
    if (digitLines < 2)
        return 0;
    for (int sep = open + 1; sep <= open + 4 && sep + 1 < end; ++sep) {
        bool blank = true;
        for (int i = first; i < first + count && blank; ++i) {
            const CImportLine& l = m_lines[size_t(i)];
            blank = l.At(sep + l.m_columnShift) == ' ';
        }
        if (!blank)
            continue;
        const uint8_t sig = StackedTimeSig(first, count, open, sep);
        if (!sig)
            continue;
        int after = sep + 1;
        for (bool blanks = true; blanks && after + 1 < end; after += blanks) {
            for (int i = first; i < first + count && blanks; ++i) {
                const CImportLine& l = m_lines[size_t(i)];
                blanks = l.At(after + l.m_columnShift) == ' ';
            }
        }
        f.BarOpen()[size_t(bar)] = after;
        return sig;
    }
    return 0;
}

void CTabImporter::ClassifyBars(int first, int count)
{
    CImportLine& f = m_lines[size_t(first)];
    // A signature needs digits: a staff without any has none to skip in any bar.
    bool anyDigit = false;
    for (int i = first; i < first + count && !anyDigit; ++i)
        anyDigit = m_lines[size_t(i)].m_hasDigit;
    for (int k = 0; k < f.m_barCount; ++k) {
        const int end = f.BarEnd()[size_t(k)];
        const uint8_t leadingSig = anyDigit ? SkipLeadingTimeSig(first, count, k) : 0;
        const int open = f.BarOpen()[size_t(k)];
        bool anyTick = false;
        int others = 0;
        char lastOther = 0;
        int nonSpace = 0;
        int noteLike = 0;
        int linesWithContent = 0;
        int percentLines = 0;
        bool firstColumnUsed = false;
        uint8_t inBarSig = leadingSig;
        for (const STakenSig& t : m_takenSigs)
            if (t.line >= first && t.line < first + count && t.column == open + m_lines[size_t(t.line)].m_columnShift)
                inBarSig = t.sig;
        int overallText = 0;
        int measures = 1;
        int number = 0;
        std::string_view firstText;
        for (int i = first; i < first + count; ++i) {
            CImportLine& l = m_lines[size_t(i)];
            const int lo = std::clamp(open + l.m_columnShift, 0, l.Length());
            const int hi = std::max(lo, std::min(end + l.m_columnShift, l.Length()));
            const std::string_view seg = std::string_view(l.m_text).substr(size_t(lo), size_t(hi - lo));
            // The bar's text on this line starts at its first non-blank column (the
            // column notes are read from).
            int firstNonSpace = -1;
            for (size_t c = 0; c < seg.size(); ++c) {
                if (seg[c] != ' ') {
                    firstNonSpace = lo + int(c);
                    break;
                }
            }
            // What the bar holds: blanks, ticks, note letters and anything else. The
            // counts are summed by table, so a long bar costs one add per column.
            int lineNonSpace = 0;
            int lineTicks = 0;
            int lineNoteLike = 0;
            if (firstNonSpace >= 0)
                CountSegment(seg.substr(size_t(firstNonSpace - lo)), &lineNonSpace, &lineTicks, &lineNoteLike);
            const bool hasTick = lineTicks > 0;
            // Neither blank nor tick: notes, a '%' measure repeat, text. Which character
            // came last matters only when the whole bar holds just one of them, so it is
            // looked up only on lines that have some.
            if (lineNonSpace > lineTicks) {
                others += lineNonSpace - lineTicks;
                if (lineNonSpace - lineTicks == 1) // a line with more makes the bar's count two or more
                    lastOther = LastOther(seg);
            }
            l.BarColumn()[size_t(k)] = firstNonSpace >= 0 ? firstNonSpace : lo;
            nonSpace += lineNonSpace;
            noteLike += lineNoteLike;
            if (lineNonSpace > 0)
                ++linesWithContent;
            // "%" on every line of the staff: one measure repeat.
            if (lineNonSpace == 1 && Trim(seg) == "%")
                ++percentLines;
            const char firstChar = l.At(open + l.m_columnShift);
            if (firstChar != ' ' && firstChar != m_barChar)
                firstColumnUsed = true;
            anyTick = anyTick || hasTick;
            uint8_t kind = BarFlag::KindText;
            if (hasTick) {
                kind = BarFlag::KindWritten;
                if (!inBarSig && l.MayHoldTimeSig()) // most staff lines have none
                    inBarSig = FindTimeSigInText(seg);
            } else if (const std::string_view text = Trim(seg); !text.empty()) {
                int n = 1;
                const int t = BarTextKind(text, &n);
                if (t == 2 || t == 3) {
                    kind = uint8_t(t);
                    if (!overallText) {
                        overallText = t;
                        measures = n;
                    }
                } else if (t < 0 && !number) {
                    number = -t;
                }
                if (kind == BarFlag::KindText && lineNoteLike * 8 > lineNonSpace * 7)
                    kind = BarFlag::KindWritten;
                if (firstText.empty())
                    firstText = text;
            }
            if (i != first)
                l.BarFlags()[size_t(k)] = kind;
            else
                f.BarFlags()[size_t(k)] = uint8_t((f.BarFlags()[size_t(k)] & ~BarFlag::KindMask) | kind);
        }

        uint8_t kind = BarFlag::KindText;
        uint8_t aux = 0;
        uint8_t aux2 = 0;
        if ((others == 1 && lastOther == '%') || (!anyTick && percentLines > 0 && percentLines == linesWithContent)) {
            kind = BarFlag::KindRepeat;
            aux = 1;
            aux2 = 1;
        } else if (anyTick) {
            kind = BarFlag::KindWritten;
        } else if (overallText == 2) {
            kind = BarFlag::KindRest;
        } else if (overallText == 3) {
            kind = BarFlag::KindRepeat;
            aux = uint8_t(std::min(number > 0 ? number : 1, ImportLimits::kMaxRepeatCount));
            aux2 = uint8_t(measures);
        } else if (nonSpace > 0 && noteLike * 8 > nonSpace * 7) {
            kind = BarFlag::KindWritten;
        }
        // A signature written between bars with its halves on two lines ("| 3 |", "|---|",
        // "| 4 |"): digits and ticks only, in a narrow bar.
        uint8_t stackedSig = 0;
        if (anyTick && others >= 2 && others <= 4 && end - open <= kMaxStackedSigColumns)
            stackedSig = StackedTimeSig(first, count, open, end);
        if (stackedSig)
            kind = BarFlag::KindText;
        f.BarFlags()[size_t(k)] = uint8_t((f.BarFlags()[size_t(k)] & ~BarFlag::KindMask) | kind);
        f.BarAux()[size_t(k)] = aux;
        f.BarAux2()[size_t(k)] = aux2;

        if (stackedSig) {
            f.BarTimeSig()[size_t(k)] = stackedSig;
            ++m_timeSigOwnBars;
        } else if (kind == BarFlag::KindText) {
            f.BarTimeSig()[size_t(k)] = ParseTimeSigText(firstText);
            if (f.BarTimeSig()[size_t(k)])
                ++m_timeSigOwnBars;
        } else if (kind == BarFlag::KindWritten) {
            f.BarTimeSig()[size_t(k)] = inBarSig;
            if (inBarSig)
                ++m_timeSigInBars;
            // Tick length census: the average width of the bar over the lines that use it.
            const int width = linesWithContent ? nonSpace / linesWithContent : 0;
            if (width == 16 || width == 17)
                ++m_barsOf16;
            else if (width == 32 || width == 33)
                ++m_barsOf32;
            if ((width == 17 || width == 33) && firstColumnUsed)
                ++m_bogusBars;
        }
    }
}

void CTabImporter::TakeOutBarSignatures(int first, int count)
{
    // A signature written after a bar line on one line only ("H |3/4 x-x-x-x-x-x-|" over
    // "S |----o---o---|"): that line's bar lines stand right of the others' by the width of
    // the signature. Taken out of the line, the bars line up again; the bar keeps the
    // signature.
    if (!m_barChar || count < 2)
        return;
    auto lastSeparator = [this](const CImportLine& l) {
        const size_t at = l.m_text.rfind(m_barChar);
        return at == std::string::npos ? -1 : int(at);
    };
    for (int i = first; i < first + count; ++i) {
        CImportLine& l = m_lines[size_t(i)];
        if (!l.MayHoldTimeSig())
            continue;
        struct STaken
        {
            int column; // the bar line the signature follows
            int width;
            uint8_t sig;
        };
        STaken taken[4];
        int found = 0;
        int width = 0;
        for (int c = FindByte(l.m_text, 0, m_barChar); c >= 0 && found < 4; c = FindByte(l.m_text, c + 1, m_barChar)) {
            uint8_t sig = 0;
            const int notes = LeadingTimeSig(l.m_text, c + 1, l.Length(), m_barChar, &sig);
            if (notes < 0)
                continue;
            taken[found++] = {c, notes - c - 1, sig};
            width += notes - c - 1;
        }
        if (!found)
            continue;
        // Every other line ends its bars that much further left.
        const int last = lastSeparator(l);
        bool others = false;
        bool fits = true;
        for (int j = first; j < first + count && fits; ++j) {
            if (j == i)
                continue;
            others = true;
            fits = lastSeparator(m_lines[size_t(j)]) == last - width;
        }
        if (!others || !fits)
            continue;
        for (int t = found - 1; t >= 0; --t) {
            l.m_text.Erase(size_t(taken[t].column + 1), size_t(taken[t].width), &m_arena);
            m_takenSigs.push_back({i, taken[t].column + 1 - (width - taken[t].width), taken[t].sig});
            width -= taken[t].width;
        }
    }
}

void CTabImporter::AnalyseStaffGroup(int first, int count)
{
    TakeOutBarSignatures(first, count);
    FindLabelEnd(first, count);
    FindBars(first, count);
    FindRepeatDots(first, count);
    ClassifyBars(first, count);
    ApplyRepeatMarks(first, count);
    m_previousStaff = first;
}

void CTabImporter::DecideTickLength()
{
    m_ticksPerChar = m_barsOf16 >= m_barsOf32 ? 2 : 1;
    m_bogusFirstTick = m_ticksPerChar == 2 ? m_bogusBars > m_barsOf16 / 2 : m_bogusBars > m_barsOf32 / 2;
}

void CTabImporter::ReadEmbeddedTimeSigs()
{
    m_timeSigInMeasures = m_timeSigInBars > 4;
    m_timeSigOwnMeasures = false;
    if (m_timeSigOwnBars > 4 && m_timeSigOwnBars > m_timeSigInBars) {
        m_timeSigOwnMeasures = true;
        m_timeSigInMeasures = false;
    }
    // Signatures inside written bars count only when the tab writes them that way; text bars
    // keep theirs, which set the running time signature.
    if (m_timeSigInMeasures)
        return;
    for (CImportLine& l : m_lines) {
        if (l.m_groupFirst < 0 || &l != &m_lines[size_t(l.m_groupFirst)])
            continue;
        for (int k = 0; k < l.m_barCount; ++k)
            if ((l.BarFlags()[size_t(k)] & BarFlag::KindMask) == BarFlag::KindWritten)
                l.BarTimeSig()[size_t(k)] = 0;
    }
}

bool CTabImporter::AssembleBlock(int index)
{
    const int32_t type = m_lines[size_t(index)].m_type;
    m_refeed = false;
    auto start = [&]() {
        m_groupFirstLine = index;
        m_blockLines.assign(1, index);
        m_groupState = 1;
    };
    auto complete = [&](bool mayOpenNext) {
        m_groupState = 0;
        m_refeed = mayOpenNext;
        return true;
    };
    switch (m_groupState) {
    case 0:
        m_blockLines.clear();
        m_blockPreComment = m_blockPostComment = m_blockTimeLine = -1;
        if (type == LineType::TimeLine && m_timeAbove) {
            m_blockTimeLine = index;
            m_groupState = 5;
        } else if (type == LineType::PreComment) {
            m_blockPreComment = index;
            m_groupState = 4;
        } else if (type == LineType::StaffLine) {
            start();
        }
        return false;
    case 4:
    case 5:
        if (type == LineType::Blank)
            return false;
        if (type == LineType::TimeLine) {
            if (m_timeAbove) {
                m_blockTimeLine = index;
                m_groupState = 5;
            } else {
                // A count line under a remark, with no staff above it (a torn staff in the
                // tab): nothing to time, and nothing wrong with the importer.
                m_groupState = 0;
            }
        } else if (type == LineType::PreComment) {
            m_blockPreComment = index;
        } else if (type == LineType::StaffLine) {
            start();
        } else {
            m_groupState = 0;
        }
        return false;
    case 1:
        // A staff line of another group (the next staff, no blank line between) ends the block
        // and opens the next.
        if (type == LineType::StaffLine && m_lines[size_t(index)].m_groupFirst != m_lines[size_t(m_blockLines[0])].m_groupFirst)
            return complete(true);
        if (type == LineType::StaffLine) {
            if (int(m_blockLines.size()) >= ImportLimits::kMaxBlockLines) {
                KADENZO_INTERNAL_PROBLEM(ReportSource::Import);
                return complete(false);
            }
            m_blockLines.push_back(index);
            return false;
        }
        if (type == LineType::TimeLine && !m_timeAbove) {
            m_blockTimeLine = index;
            m_groupState = 6;
            return false;
        }
        // A remark between the staff and its count line below ("c>>>>" accent marks): the
        // block keeps its count line.
        if ((type == LineType::PreComment || type == LineType::PostComment) && m_timeMode != 0 && !m_timeAbove
            && size_t(index) + 1 < m_lines.size() && m_lines[size_t(index) + 1].m_type == LineType::TimeLine) {
            m_blockPostComment = index;
            m_groupState = kStateBeforeTimeBelow;
            return false;
        }
        if (type == LineType::PostComment) {
            m_blockPostComment = index;
            return complete(false);
        }
        // A line that completes this block may open the next (its comment or time line).
        return complete(type == LineType::PreComment || type == LineType::TimeLine);
    case 6:
        if (type == LineType::PostComment) {
            m_blockPostComment = index;
            return complete(false);
        }
        return complete(type == LineType::PreComment || type == LineType::TimeLine || type == LineType::StaffLine);
    case kStateBeforeTimeBelow:
        m_blockTimeLine = index; // the line after the remark is a time line
        m_groupState = 6;
        return false;
    default:
        m_groupState = 0;
        return false;
    }
}

int CTabImporter::CountBarTicks(int bar, std::string* trailing)
{
    (void)trailing;
    const CImportLine& f = m_lines[size_t(m_lines[size_t(m_blockLines[0])].m_groupFirst)];
    const int open = f.BarOpen()[size_t(bar)];
    const int end = f.BarEnd()[size_t(bar)];
    const bool endDots = f.BarFlags()[size_t(bar)] & BarFlag::RepeatEndSign;
    const bool unclosed = bar + 1 == f.m_barCount && f.At(end) != m_barChar;
    std::vector<int>& counts = m_tickCounts;
    counts.assign(m_blockView.size(), 0);
    for (size_t i = 0; i < m_blockView.size(); ++i) {
        const SBlockLine& b = m_blockView[i];
        const int lo = std::max(open + b.shift, 0);
        // Up to this line's next separator, or its end (an unclosed bar: the bar's end).
        const int limit = unclosed ? std::min(b.length, end + b.shift) : b.length;
        const auto* text = reinterpret_cast<const unsigned char*>(b.text);
        int c = limit;
        int n = CountNonBlank(text, lo, limit, m_barChar, &c);
        // Dots before a closing double bar are no ticks.
        const int dotColumn = end + b.shift;
        if (endDots && dotColumn >= lo && dotColumn < c && text[dotColumn] != ' ' && text[dotColumn] != '_')
            --n;
        counts[i] = n;
    }
    // The most frequent count wins (the smaller on a tie); lines blank in the bar do not vote.
    int winner = 0;
    int winnerVotes = 0;
    // Mostly every line counts the same: that count wins, and no line is out of step.
    int only = 0;
    bool same = true;
    for (const int n : counts) {
        same = same && (n == 0 || only == 0 || n == only);
        only = n ? n : only;
    }
    if (same)
        winner = only;
    for (size_t i = 0; !same && i < counts.size(); ++i) {
        if (counts[i] == 0)
            continue;
        const int votes = int(std::count(counts.begin(), counts.end(), counts[i]));
        if (votes > winnerVotes || (votes == winnerVotes && counts[i] < winner)) {
            winner = counts[i];
            winnerVotes = votes;
        }
    }
    for (size_t i = 0; !same && i < counts.size(); ++i) {
        if (counts[i] != 0 && counts[i] != winner) {
            const CImportLine& l = m_lines[size_t(m_blockLines[i])];
            AddIssue(ImportIssue::InconsistentTicks, m_blockLines[i], open + l.m_columnShift, 0);
        }
    }
    // An unclosed last bar whose lines stop short is as wide as FindBars made it.
    if (unclosed && winner > 0 && winner < end - open)
        winner = end - open;
    return winner * m_ticksPerChar;
}

void CTabImporter::EmitMeasureRef(CEvent* ev, int column)
{
    if (m_measureRefDone)
        return;
    m_measureRefDone = true;
    ev->m_word1 |= EventBits::ImportedLineStart;
    ev->SetImportRef((uint32_t(m_blockLines[0]) << ImportLimits::kImportRefLineShift)
        | (uint32_t(column) & ImportLimits::kImportRefColumnMask));
}

void CTabImporter::FlushPendingRepeat(CEventList& events, int column)
{
    if (m_pendingRepeatCount <= 0)
        return;
    const int n = std::clamp(m_pendingRepeatMeasures, 1, ImportLimits::kMaxRepeatMeasures);
    const int count = std::min(m_pendingRepeatCount, ImportLimits::kMaxRepeatCount);
    CEvent* ev = AppendEvent(events, EventType::RepeatPrevMeasures,
                             RepeatPrevWord(uint32_t(n), uint32_t(count), uint32_t(m_timeSigNum), uint32_t(m_timeSigDen)));
    EmitMeasureRef(ev, column);
    m_pendingRepeatCount = 0;
    m_pendingRepeatMeasures = 0;
}
