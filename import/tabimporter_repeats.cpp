// Repeats and endings: annotation lines over and under a staff, repeat groups carried from
// staff to staff, and alternate endings.

#include "tabimporter.h"

#include "importtext.h"
#include "report.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

using namespace ImportText;

namespace {
bool StartsWithNoCase(std::string_view word, std::string_view keyword)
{
    return word.size() >= keyword.size() && EqualsNoCase(word.substr(0, keyword.size()), keyword);
}

bool MayHoldAnnotation(const CImportLine& l)
{
    return l.m_type == LineType::Unknown || l.m_type == LineType::PreComment || l.m_type == LineType::PostComment;
}

// The characters that draw a bracket over bars: <----> (----) /----\ ====.
bool IsBracketChar(char c)
{
    return c == '<' || c == '(' || c == '/' || c == '\\' || c == '-' || c == '=' || c == '_';
}

// The first character of the line that is not blank.
char FirstBracketOrOther(std::string_view text)
{
    for (char c : text)
        if (!IsBlank(c))
            return c;
    return 0;
}

bool IsMeasureKind(uint8_t flags)
{
    const int kind = flags & BarFlag::KindMask;
    return kind == BarFlag::KindWritten || kind == BarFlag::KindRest || kind == BarFlag::KindRepeat;
}
}

namespace {
// The further numbers of an ending mark after its first ("1.3.", "1,3", "1-3", "1.2.3."), as a
// mask of bit n - 1 for ending n; from is just past the first number's digits.
unsigned MoreEndings(std::string_view segment, size_t from, int first)
{
    unsigned mask = 0;
    int last = first;
    size_t i = from;
    while (i + 1 < segment.size()) {
        const char sep = segment[i];
        if (sep != '.' && sep != ',' && sep != '-' && sep != '&')
            break;
        // "1, 3" and "1 & 3" may hold a blank; "1.3." and "1-3" are written close.
        size_t d = i + 1;
        if ((sep == ',' || sep == '&') && d < segment.size() && segment[d] == ' ')
            ++d;
        if (d >= segment.size() || !IsDigit(segment[d]))
            break;
        int n = 0;
        while (d < segment.size() && IsDigit(segment[d]) && n < 100)
            n = n * 10 + (segment[d++] - '0');
        if (n <= last || n > 8)
            break;
        for (int k = sep == '-' ? last + 1 : n; k <= n; ++k)
            mask |= 1u << (k - 1);
        last = n;
        i = d;
    }
    return mask;
}
} // namespace

bool CTabImporter::ReadRepeatWords(std::string_view segment, int* repeatCount, int* ending, unsigned* moreEndings)
{
    *repeatCount = -1;
    *ending = 0;
    if (moreEndings)
        *moreEndings = 0;
    // The first word, after a leading run such as "2nd".
    size_t i = 0;
    while (i < segment.size() && !IsAlnum(segment[i]))
        ++i;
    if (i < segment.size() && IsDigit(segment[i]))
        while (i < segment.size() && IsAlnum(segment[i]))
            ++i;
    while (i < segment.size() && !IsLetter(segment[i]))
        ++i;
    size_t e = i;
    while (e < segment.size() && IsLetter(segment[e]))
        ++e;
    const std::string_view word = segment.substr(i, e - i);
    // Without a digit there is no count, ending or multiplier: only "repeat" is left.
    if (std::none_of(segment.begin(), segment.end(), [](char c) { return IsDigit(c); })) {
        if (!StartsWithNoCase(word, "repeat"))
            return false;
        *repeatCount = 0;
        return true;
    }
    int at = -1;
    const int number = FirstNumber(segment, 0, &at);

    if (StartsWithNoCase(word, "ending") || StartsWithNoCase(word, "end")) {
        *ending = number > 0 ? std::min(number, ImportLimits::kMaxEnding) : 0;
        return *ending > 0;
    }
    if (StartsWithNoCase(word, "repeat")) {
        // "repeat x3", "repeat 3 times": three plays in all; "repeat x1" is played once, so
        // it repeats nothing. "repeat" alone opens a group.
        if (number == 1)
            return false;
        *repeatCount = number > 1 ? number - 1 : 0;
        return true;
    }
    if ((StartsWithNoCase(word, "times") || StartsWithNoCase(word, "play")) && number > 1) {
        *repeatCount = number - 1; // play 3 times: twice more
        return true;
    }
    if (const int n = FindMultiplier(segment); n >= 0) {
        if (n <= 1)
            return false; // played once: nothing repeats
        *repeatCount = n - 1;
        return true;
    }
    // 1., 2nd, 3rd, 4th: an ending number near the start of the segment.
    if (number > 0 && at < 5) {
        size_t after = size_t(at);
        while (after < segment.size() && IsDigit(segment[after]))
            ++after;
        const char c = after < segment.size() ? ToLower(segment[after]) : 0;
        // Only a separator of more numbers, a dot or an ordinal's suffix can follow an
        // ending's number; a count's "1 e + a" stops here.
        if (c != '.' && c != ',' && c != '-' && c != '&' && c != 's' && c != 'n' && c != 'r' && c != 't')
            return false;
        // An ordinal stands alone: "2nd" or "2nd ending", never "8thtrip".
        auto ordinal = [&](const char* suffix) {
            const size_t n = std::strlen(suffix);
            if (after + n > segment.size() || !EqualsNoCase(segment.substr(after, n), suffix))
                return false;
            return after + n == segment.size() || !IsAlnum(segment[after + n]);
        };
        // ... and is followed by nothing but "ending", "time" or more numbers ("1st Verse" is
        // a section name).
        auto aloneAfter = [&](size_t from) {
            while (from < segment.size() && !IsAlnum(segment[from]))
                ++from;
            if (from == segment.size() || IsDigit(segment[from]))
                return true;
            const std::string_view next = segment.substr(from);
            return StartsWithNoCase(next, "end") || StartsWithNoCase(next, "time");
        };
        const size_t suffixEnd = after + (c == '.' ? 1 : 2);
        // Several endings on one bar: "1,3" and "1-3" as well as "1.3.".
        unsigned more = number <= 8 ? MoreEndings(segment, after, number) : 0;
        // "1&2&3&4&" is a count: an "and" after each number, or more than three of them.
        if (more && c == '&') {
            const std::string_view rest = Trim(segment.substr(after));
            if (rest.back() == '&' || std::popcount(more) > 2)
                more = 0;
        }
        if (more && (c == ',' || c == '-' || c == '&')) {
            *ending = number;
            if (moreEndings)
                *moreEndings = more;
            return true;
        }
        // "1.30" is a number, not endings 1 and 30.
        const bool decimal = c == '.' && after + 1 < segment.size() && IsDigit(segment[after + 1]) && !more;
        if (((c == '.' && !decimal && (after + 1 == segment.size() || !IsLetter(segment[after + 1])))
             || (number == 1 && ordinal("st"))
             || (number == 2 && ordinal("nd")) || (number == 3 && ordinal("rd")) || (number > 3 && ordinal("th")))
            && aloneAfter(suffixEnd)) {
            *ending = std::min(number, ImportLimits::kMaxEnding);
            if (moreEndings && c == '.')
                *moreEndings = more;
            return true;
        }
    }
    return false;
}

bool CTabImporter::ParseRepeatAnnotation(const CImportLine& annotation, int first, int bar, int* repeatCount,
                                         int* ending, int* groupStart, int* groupBars, unsigned* moreEndings)
{
    const CImportLine& f = m_lines[size_t(first)];
    int open = f.BarOpen()[size_t(bar)];
    const int end = f.BarEnd()[size_t(bar)];
    // A mark may start on the bar line before the bar (see below), and end the line there.
    if (annotation.Length() < (bar > 0 ? f.BarEnd()[size_t(bar) - 1] : open) + 2)
        return false;
    // A mark that starts on the bar line or the repeat sign before the bar ("1st ending" one
    // column early, "2nd time" over ":||") is the bar's own.
    if (bar > 0) {
        for (int c = f.BarEnd()[size_t(bar) - 1]; c < open; ++c) {
            if (IsDigit(annotation.At(c)) && annotation.At(c - 1) == ' ') {
                open = c;
                break;
            }
        }
    } else if (IsDigit(annotation.At(0)) && open <= ImportLimits::kMaxLabelChars + 2) {
        // "1st time:" over a staff of its own, from the line's start above the labels.
        open = 0;
    }
    // (Without such a mark the line must reach into the bar itself.)
    if (annotation.Length() < open + 2)
        return false;
    const std::string_view text = annotation.m_text;
    int segEnd = std::min(end, annotation.Length());
    *groupStart = bar;
    *groupBars = 0; // no bracket: the annotation speaks for its bar
    std::string_view seg = text.substr(size_t(open), size_t(segEnd - open));
    if (std::any_of(seg.begin(), seg.end(), [](char c) { return IsBracketChar(c); })) {
        // A bracket: it runs to its closing mark, and the staff separators it covers give the
        // bars it spans.
        const std::string_view window = text.substr(0, size_t(std::min(annotation.Length(), open + ImportLimits::kMaxBracketColumns)));
        // The bracket's own text starts at its first mark, which may stand right of the bar's start.
        int from = open;
        while (from < segEnd && text[size_t(from)] == ' ')
            ++from;
        size_t close = window.find_first_of(">)|", size_t(std::max(from, end - 4)));
        if (close == std::string_view::npos) {
            close = window.find_first_of("|/\\)>", size_t(from) + 1);
            const size_t spaces = window.find("  ", size_t(from) + 1);
            if (spaces < close)
                close = spaces;
        }
        segEnd = close == std::string_view::npos ? annotation.Length() : int(close);
        seg = text.substr(size_t(open), size_t(std::max(segEnd - open, 0)));
        int bars = 0;
        for (int k = bar; k < f.m_barCount && f.BarEnd()[size_t(k)] <= segEnd + 1; ++k)
            ++bars;
        // Words in parentheses that close well inside the next bar ("(repeat 4 times)" written
        // across a bar line) speak for that bar too. A drawn bracket is read by its ends.
        if (text[size_t(from)] == '(' && segEnd < annotation.Length() && text[size_t(segEnd)] == ')'
            && bar + bars < f.m_barCount && segEnd > f.BarOpen()[size_t(bar + bars)] + 2
            && std::none_of(text.begin() + from, text.begin() + segEnd, [](char c) { return c == '-' || c == '_' || c == '='; }))
            ++bars;
        *groupBars = std::max(bars, 1);
    }
    return ReadRepeatWords(seg, repeatCount, ending, moreEndings);
}

namespace {
size_t FindNoCase(std::string_view text, const char* word, size_t from)
{
    const size_t n = std::strlen(word);
    for (size_t i = from; i + n <= text.size(); ++i)
        if (EqualsNoCase(text.substr(i, n), word))
            return i;
    return std::string_view::npos;
}

// "repeat", "(repeat)", "repeat this", "repeat chorus": a line that asks for the staff once
// more without a count. The word after "repeat", in lower case ("" when none).
bool IsBareRepeat(std::string_view t, std::string* what)
{
    std::vector<std::string> words;
    std::string w;
    for (char c : t) {
        if (IsLetter(c)) {
            w.push_back(ToLower(c));
        } else if (c == ' ' || c == '(' || c == ')' || c == '.' || c == '!' || c == '\t') {
            if (!w.empty())
                words.push_back(std::move(w));
            w.clear();
        } else {
            return false;
        }
    }
    if (!w.empty())
        words.push_back(std::move(w));
    if (words.empty() || words.size() > 2 || words[0] != "repeat")
        return false;
    *what = words.size() == 2 ? words[1] : std::string();
    return true;
}

} // namespace

// A short line that says how often the staff next to it plays, wherever it stands over it:
// "x3", "(x3)", "Verse (x3)", "repeat 3 times", "(play 4 times)". The repeat count, or -1.
namespace {
// "play this 8 times", "repeat it 4x", "play 3 times" anywhere in a sentence: the number of
// plays, or -1.
// The runs of letters and digits of a text, in order.
std::vector<std::string_view> AlnumWords(std::string_view t)
{
    std::vector<std::string_view> words;
    for (size_t k = 0; k < t.size();) {
        while (k < t.size() && !IsAlnum(t[k]))
            ++k;
        size_t e = k;
        while (e < t.size() && IsAlnum(t[e]))
            ++e;
        if (e > k)
            words.push_back(t.substr(k, e - k));
        k = e;
    }
    return words;
}

int PlaysInSentence(std::string_view t)
{
    const std::vector<std::string_view> words = AlnumWords(t);
    for (size_t w = 0; w + 2 < words.size(); ++w) {
        if (!EqualsNoCase(words[w], "play") && !EqualsNoCase(words[w], "repeat"))
            continue;
        size_t at = w + 1;
        if (EqualsNoCase(words[at], "this") || EqualsNoCase(words[at], "it") || EqualsNoCase(words[at], "that"))
            ++at;
        if (at + 1 > words.size())
            continue;
        std::string_view number = words[at];
        bool timesWord = at + 1 < words.size() && EqualsNoCase(words[at + 1], "times");
        if (number.size() > 1 && ToLower(number.back()) == 'x') {
            number.remove_suffix(1);
            timesWord = true;
        }
        if (!timesWord || number.empty() || number.size() > 2 || !std::all_of(number.begin(), number.end(), [](char c) { return IsDigit(c); }))
            continue;
        const int n = number.size() == 1 ? number[0] - '0' : (number[0] - '0') * 10 + (number[1] - '0');
        return n >= 2 ? n : -1;
    }
    return -1;
}
} // namespace

int CTabImporter::StaffCountOf(const CImportLine& l)
{
    const std::string_view t = l.m_text;
    if (l.Length() > 40 && l.m_hasDigit && t.find('|') == std::string_view::npos
        && (FindNoCase(t, "play", 0) != std::string_view::npos || FindNoCase(t, "repeat", 0) != std::string_view::npos))
        if (const int n = PlaysInSentence(t); n > 0)
            return n - 1;
    // "then the bell part x2, he leans on the bell here": one "x2" standing as a word.
    if (l.Length() > 40 && l.m_hasDigit && t.find('|') == std::string_view::npos) {
        int found = -1;
        int counts = 0;
        for (const std::string_view w : AlnumWords(t)) {
            const size_t k = size_t(w.data() - t.data());
            if (w.size() >= 2 && w.size() <= 3 && ToLower(w[0]) == 'x' && IsDigit(w[1]) && (w.size() == 2 || IsDigit(w[2]))
                && (k == 0 || t[k - 1] == ' ' || t[k - 1] == '(')) {
                const int n = w.size() == 2 ? w[1] - '0' : (w[1] - '0') * 10 + (w[2] - '0');
                found = found < 0 && n >= 2 ? n : 0;
                ++counts;
            }
        }
        if (found > 0 && counts == 1)
            return found - 1;
    }
    // Not a bracket drawn over bars ("|--- x3 ---|", "____3x____", "<== x2 ==>").
    if (l.Length() - std::max(FirstNonBlank(t, 0), 0) > 40 || t.find('|') != std::string_view::npos || t.find("--") != std::string_view::npos
        || t.find("__") != std::string_view::npos || t.find("==") != std::string_view::npos
        || t.find('<') != std::string_view::npos || t.find('>') != std::string_view::npos)
        return -1;
    if (const int n = FindMultiplier(t); n >= 0)
        return n > 1 ? n - 1 : -1;
    for (const char* word : {"repeat", "play", "times"}) {
        // A line as it was read holds every letter of a word in it (the letters of an
        // edited line are not kept up to date).
        if (!l.m_text.IsCopy() && !l.MayHold(LettersOf(word)))
            continue;
        size_t at = 0;
        const size_t len = std::strlen(word);
        while ((at = FindNoCase(t, word, at)) != std::string_view::npos) {
            const bool starts = at == 0 || !IsLetter(t[at - 1]);
            if (starts) {
                // "3 times": the number may stand before the word.
                size_t from = at;
                if (std::strcmp(word, "times") == 0) {
                    while (from > 0 && (t[from - 1] == ' ' || IsDigit(t[from - 1])))
                        --from;
                }
                int repeatCount = -1, ending = 0;
                if (ReadRepeatWords(t.substr(from), &repeatCount, &ending) && repeatCount > 0)
                    return repeatCount;
            }
            at += len;
        }
    }
    return -1;
}

// The words of a staff count line other than the count: "Verse (x3)" is "Verse", "Intro
// (drums tacet) x2" is "Intro (drums tacet)", "play 3 times" is nothing. Kept as bar text, the
// count would be read again from an exported tab and play the staff once more each time.
std::string CTabImporter::WithoutStaffCount(std::string_view text)
{
    auto isCount = [](std::string_view w) { return FindMultiplier(w) >= 0 && Trim(w).size() == w.size(); };
    auto isNumber = [](std::string_view w) {
        return !w.empty() && std::all_of(w.begin(), w.end(), [](char c) { return IsDigit(c); });
    };
    auto isCountWord = [](std::string_view w) {
        return EqualsNoCase(w, "repeat") || EqualsNoCase(w, "play") || EqualsNoCase(w, "times") || EqualsNoCase(w, "x");
    };
    // Words, with a bracketed group as one word.
    std::vector<std::string_view> words;
    for (size_t i = 0; i < text.size();) {
        if (IsBlank(text[i])) {
            ++i;
            continue;
        }
        size_t e = i;
        if (text[i] == '(') {
            const size_t close = text.find(')', i);
            e = close == std::string_view::npos ? text.size() : close + 1;
        } else {
            while (e < text.size() && !IsBlank(text[e]) && text[e] != '(')
                ++e;
        }
        words.push_back(text.substr(i, e - i));
        i = e;
    }
    std::vector<bool> drop(words.size(), false);
    for (size_t k = 0; k < words.size(); ++k) {
        std::string_view w = words[k];
        if (w.size() >= 2 && w.front() == '(') {
            const std::string_view inner = w.substr(1, w.size() - (w.back() == ')' ? 2 : 1));
            drop[k] = FindMultiplier(inner) >= 0 || WithoutStaffCount(inner).size() < Trim(inner).size();
            continue;
        }
        while (!w.empty() && (w.back() == ':' || w.back() == ',' || w.back() == '.'))
            w.remove_suffix(1);
        if (isCount(w) || isCountWord(w)) {
            drop[k] = true;
            // "repeat 3", "play 3", "3 times"
            if (k + 1 < words.size() && isNumber(words[k + 1]) && !EqualsNoCase(w, "times"))
                drop[k + 1] = true;
            if (k > 0 && isNumber(words[k - 1]) && EqualsNoCase(w, "times"))
                drop[k - 1] = true;
        }
    }
    std::string out;
    for (size_t k = 0; k < words.size(); ++k) {
        if (drop[k])
            continue;
        if (!out.empty())
            out += ' ';
        out.append(words[k]);
    }
    while (!out.empty() && (out.back() == ':' || out.back() == '-' || out.back() == ','))
        out.pop_back();
    while (!out.empty() && IsBlank(out.back()))
        out.pop_back();
    return out;
}

void CTabImporter::ApplyRepeatMarks(int first, int count)
{
    CImportLine& f = m_lines[size_t(first)];
    const int bars = f.m_barCount;
    if (bars == 0)
        return; // no bar for a mark to stand over
    // A bracket over the staff may stand one blank line above it.
    int above = first - 1;
    if (above >= 1 && m_lines[size_t(above)].m_type == LineType::Blank && MayHoldAnnotation(m_lines[size_t(above) - 1])
        && IsBracketChar(FirstBracketOrOther(m_lines[size_t(above) - 1].m_text)))
        --above;
    const int below = first + count;
    const bool aboveOk = above >= 0 && MayHoldAnnotation(m_lines[size_t(above)]);
    const bool belowOk = below < int(m_lines.size()) && MayHoldAnnotation(m_lines[size_t(below)]);
    // Ending marks on a line that also stands right above the next staff belong to that staff.
    const bool belowEndingsOk = below + 1 >= int(m_lines.size()) || m_lines[size_t(below) + 1].m_type == LineType::Blank;
    bool aboveUsed = false;
    bool belowUsed = false;
    int aboveCovered = -1; // last bar a bracket of that line already spoke for
    int belowCovered = -1;
    int bracketEnd = -1;
    int bracketCount = -1;
    bool closeAtStaffEnd = false;

    auto openGroup = [&](int line, int bar) {
        m_lines[size_t(line)].BarFlags()[size_t(bar)] |= BarFlag::GroupStart;
        m_inRepeatGroup = true;
        m_groupStartLine = line;
        m_groupStartBar = bar;
        m_groupBarCount = 0;
        m_lastEnding = 0;
        m_endingsAhead = 0;
        m_pendingGroupCount = -1;
    };
    auto closeGroup = [&](int bar, int repeatCount) {
        uint8_t& flags = f.BarFlags()[size_t(bar)];
        // A group of one bar ("||:x-x-:||") plays it twice: the song's repeat group needs a
        // start and an end on two bars, so it becomes a measure repeat.
        if (repeatCount < 0 && m_groupStartLine == first && m_groupStartBar == bar) {
            repeatCount = 1;
            // A count after the staff's closing sign (":|| x4") says how often in all.
            for (int i = first; i < first + count && bar + 1 == f.m_barCount; ++i)
                if (const int trailing = TrailingRepeatCount(m_lines[size_t(i)]); trailing > 0) {
                    repeatCount = trailing;
                    break;
                }
        }
        if (repeatCount < 0) {
            flags |= BarFlag::GroupEnd;
        } else {
            // A counted group plays as a measure repeat after its last bar.
            f.BarAux()[size_t(bar)] = uint8_t(std::clamp(repeatCount, 1, ImportLimits::kMaxRepeatCount));
            f.BarAux2()[size_t(bar)] = uint8_t(std::clamp(m_groupBarCount, 1, ImportLimits::kMaxRepeatMeasures));
            if (m_groupStartLine >= 0) {
                CImportLine& start = m_lines[size_t(m_groupStartLine)];
                if (m_groupStartBar < start.m_barCount)
                    start.BarFlags()[size_t(m_groupStartBar)] &= uint8_t(~BarFlag::GroupStart);
            }
        }
        m_inRepeatGroup = false;
        m_pendingGroupCount = -1;
        m_groupStartLine = -1;
        m_groupStartBar = -1;
    };

    // A count on a line of its own next to the staff, right above or below it or one blank line
    // away (when no other staff stands on its far side), plays the whole staff that often.
    int staffCount = -1;
    int staffCountLine = -1;
    auto freeLine = [&](int i) { return i >= 0 && i < int(m_lines.size()) && MayHoldAnnotation(m_lines[size_t(i)]); };
    auto blankOrNone = [&](int i) {
        return i < 0 || i >= int(m_lines.size()) || m_lines[size_t(i)].m_type == LineType::Blank;
    };
    auto notStaff = [&](int i) {
        return i < 0 || i >= int(m_lines.size()) || m_lines[size_t(i)].m_type != LineType::StaffLine;
    };
    // Past the staff's count line too ("INTRO x2", the count, the staff).
    auto countLine = [&](int i) { return freeLine(i) && IsCountLine(m_lines[size_t(i)], false); };
    const bool countBelow = countLine(first + count);
    const int afterCount = countBelow ? first + count + 1 : -1;
    // A legend between the staff and its count ("R = rimclick", then "play 8x").
    auto legendLine = [&](int i) {
        if (!freeLine(i))
            return false;
        const std::string_view t = m_lines[size_t(i)].m_text;
        return t.find('=') != std::string_view::npos && (!m_barChar || t.find(m_barChar) == std::string_view::npos);
    };
    const int afterLegend = blankOrNone(first + count) && legendLine(first + count + 1) ? first + count + 2 : -1;
    // Past accents or signatures written over the staff ("   >   >", "    7/8     4/4").
    auto markLine = [&](int i) {
        if (!freeLine(i))
            return false;
        bool any = false;
        for (char c : std::string_view(m_lines[size_t(i)].m_text)) {
            if (IsBlank(c))
                continue;
            if (!IsDigit(c) && c != '/' && c != '>' && c != '<' && c != '^' && c != '*' && c != '\'' && c != '`')
                return false;
            any = true;
        }
        return any;
    };
    const int pastMarks = markLine(first - 1) && first >= 2 ? first - 2 : -1;
    // Past a line of words right under the staff (the lyric sung over it).
    const int pastLyric = freeLine(first + count) && !countBelow && !legendLine(first + count)
            && FirstNonBlank(m_lines[size_t(first + count)].m_text, 0) >= 0 && StaffCountOf(m_lines[size_t(first + count)]) < 0
        ? first + count + 1
        : -1;
    const int candidates[] = {first - 1, first + count,
                              blankOrNone(first - 1) && first >= 1 ? first - 2 : -1,
                              blankOrNone(first + count) ? first + count + 1 : -1,
                              countLine(first - 1) ? first - 2 : -1,
                              afterCount,
                              afterCount >= 0 && blankOrNone(afterCount) ? afterCount + 1 : -1,
                              afterLegend,
                              pastMarks,
                              pastLyric};
    for (int c = 0; c < 10 && staffCount < 0; ++c) {
        const int i = candidates[c];
        const bool below = c == 3 || c == 6 || c == 7 || c == 9;
        if (!freeLine(i) || ((c == 2 || c == 8) && !notStaff(i - 1)) || (below && !notStaff(i + 1)) || (c >= 4 && countLine(i)))
            continue;
        // "Chorus again x2" under the verse asks for the chorus, not for this staff.
        int plays = 0;
        if (i > first && !SectionCall(i, &plays).empty())
            continue;
        // One blank line below: only when no staff follows it.
        if (below && (!blankOrNone(i + 1)
                       || (i + 2 < int(m_lines.size()) && m_lines[size_t(i) + 2].m_text.find(m_barChar) != std::string::npos)))
            continue;
        // Right beside the staff, only a line that starts left of its first bar or right of
        // its last: one over the bars speaks for the bars it stands over.
        const int lineStart = FirstNonBlank(m_lines[size_t(i)].m_text, 0);
        if ((c == 0 || c == 1) && lineStart >= f.BarOpen()[0] && lineStart <= f.BarEnd()[size_t(bars) - 1])
            continue;
        staffCount = StaffCountOf(m_lines[size_t(i)]);
        staffCountLine = i;
        // "(repeat)" or "repeat chorus" under a staff headed "Chorus": once more.
        std::string what;
        if (staffCount < 0 && i > first && IsBareRepeat(m_lines[size_t(i)].m_text, &what)) {
            bool same = what.empty() || what == "this" || what == "that" || what == "it" || what == "above" || what == "once";
            const int title = first - 1;
            if (!same && title >= 0 && m_lines[size_t(title)].m_type != LineType::StaffLine) {
                const std::string_view tt = Trim(m_lines[size_t(title)].m_text);
                same = tt.size() >= what.size() && EqualsNoCase(tt.substr(0, what.size()), what)
                    && (tt.size() == what.size() || !IsLetter(tt[what.size()]));
            }
            if (same)
                staffCount = 1;
        }
    }

    const bool aboveAnnotates = aboveOk && !(staffCount > 0 && staffCountLine == above);
    const bool belowAnnotates = belowOk && !(staffCount > 0 && staffCountLine == below);

    // "CHORUS (2x)" over a staff whose last bars carry "1st time", "2nd time": the endings
    // say how the group repeats; the count in the title over the first bar adds nothing.
    bool aboveHasEndings = false;
    // What the line above says over each bar, kept for the pass over the bars below (the
    // line and the bars stay as they are until then).
    struct SAboveMark
    {
        bool read;
        int count, ending, start, spanned;
        unsigned more;
    };
    constexpr int kKeptMarks = 32;
    std::array<SAboveMark, kKeptMarks> aboveMarks;
    int aboveRead = 0; // bars 1 to aboveRead are kept
    for (int k = 1; aboveAnnotates && m_lines[size_t(above)].m_hasDigit && k < bars && !aboveHasEndings; ++k) {
        int count = -1, ending = 0, start = k, spanned = 1;
        unsigned more = 0;
        const bool read = ParseRepeatAnnotation(m_lines[size_t(above)], first, k, &count, &ending, &start, &spanned, &more);
        aboveHasEndings = read && ending > 0;
        if (k < kKeptMarks) {
            aboveMarks[size_t(k)] = {read, count, ending, start, spanned, more};
            aboveRead = k;
        }
    }
    auto readAbove = [&](int k, int* count, int* ending, int* start, int* spanned, unsigned* more) {
        if (k < 1 || k > aboveRead)
            return ParseRepeatAnnotation(m_lines[size_t(above)], first, k, count, ending, start, spanned, more);
        const SAboveMark& m = aboveMarks[size_t(k)];
        *count = m.count;
        *ending = m.ending;
        *start = m.start;
        *spanned = m.spanned;
        *more = m.more;
        return m.read;
    };

    int lastMeasureBar = -1;
    for (int k = 0; k < bars; ++k) {
        uint8_t& flags = f.BarFlags()[size_t(k)];
        if (m_groupMarks[size_t(k)] & kStartSign)
            openGroup(first, k);

        // The annotation over (or else under) this bar.
        int repeatCount = -1, ending = 0, groupStart = k, groupBars = 1;
        unsigned moreEndings = 0;
        bool found = false;
        if (aboveAnnotates && k > aboveCovered && readAbove(k, &repeatCount, &ending, &groupStart, &groupBars, &moreEndings)) {
            found = aboveUsed = true;
            aboveCovered = k + std::max(groupBars, 1) - 1;
            if (k == 0 && aboveHasEndings && ending == 0 && repeatCount > 0)
                found = false;
        } else if (belowAnnotates && k > belowCovered
                   && ParseRepeatAnnotation(m_lines[size_t(below)], first, k, &repeatCount, &ending, &groupStart,
                                            &groupBars, &moreEndings)) {
            if (ending > 0 && !belowEndingsOk) {
                repeatCount = -1;
                ending = 0;
            } else {
                found = belowUsed = true;
                belowCovered = k + std::max(groupBars, 1) - 1;
            }
        }

        if (!found && k == 0 && staffCount > 0 && (!m_inRepeatGroup || m_lastEnding > 0)) {
            // The count line speaks for the whole staff (it was not read over a bar). A group
            // before it whose endings were all written is over.
            m_inRepeatGroup = false;
            found = true;
            repeatCount = staffCount;
            groupBars = 0;
            m_lines[size_t(staffCountLine)].m_type = staffCountLine < first ? LineType::PreComment : LineType::PostComment;
            m_lines[size_t(staffCountLine)].m_staffCount = true;
        } else if (!found && k == 0 && staffCount > 0 && m_inRepeatGroup && m_groupStartLine == first && m_groupStartBar == 0
                   && m_pendingGroupCount < 0) {
            // "Verse x4" over a staff that opens with a repeat sign: the count is the group's.
            m_pendingGroupCount = staffCount;
            m_lines[size_t(staffCountLine)].m_type = staffCountLine < first ? LineType::PreComment : LineType::PostComment;
            m_lines[size_t(staffCountLine)].m_staffCount = true;
        }

        if (found && ending > 0) {
            if ((flags & BarFlag::KindMask) == BarFlag::KindRepeat) {
                AddIssue(ImportIssue::RepeatPrevAsEnding, first, f.BarOpen()[size_t(k)], 0);
                flags = uint8_t((flags & ~BarFlag::KindMask) | BarFlag::KindRest);
                f.BarAux()[size_t(k)] = 0;
                f.BarAux2()[size_t(k)] = 0;
            }
            bool ignore = false;
            // A first ending after the last group's endings starts a new group.
            if (m_inRepeatGroup && m_lastEnding > 0 && ending == 1)
                m_inRepeatGroup = false;
            if (!m_inRepeatGroup) {
                if (k > 0) {
                    openGroup(first, 0);
                    for (int j = 0; j < k; ++j)
                        m_groupBarCount += IsMeasureKind(f.BarFlags()[size_t(j)]);
                    AddIssue(ImportIssue::EndingWithoutGroup, first, f.BarOpen()[size_t(k)], 0);
                } else if (m_previousStaff >= 0 && m_lines[size_t(m_previousStaff)].m_barCount > 0) {
                    const CImportLine& prev = m_lines[size_t(m_previousStaff)];
                    openGroup(m_previousStaff, 0);
                    for (int j = 0; j < prev.m_barCount; ++j)
                        m_groupBarCount += IsMeasureKind(prev.BarFlags()[size_t(j)]);
                    AddIssue(ImportIssue::EndingWithoutGroup, first, f.BarOpen()[size_t(k)], 0);
                } else {
                    AddIssue(ImportIssue::EndingOnFirstMeasure, first, f.BarOpen()[size_t(k)], 0);
                    ignore = true;
                }
            }
            if (!ignore) {
                if (ending > m_lastEnding) {
                    flags |= BarFlag::GroupEnd;
                    f.BarAux()[size_t(k)] = uint8_t(ending);
                    if (ending > m_lastEnding + 1)
                        AddIssue(ImportIssue::EndingOutOfSequence, first, f.BarOpen()[size_t(k)], 0);
                } else {
                    AddIssue(ImportIssue::EndingOutOfSequence, first, f.BarOpen()[size_t(k)], 0);
                }
                m_lastEnding = ending;
                if (moreEndings && ending > 0 && ending <= 8) {
                    moreEndings &= ~((2u << (ending - 1)) - 1); // only numbers after the first
                    m_moreEndings.push_back({first, k, moreEndings});
                    m_endingsAhead |= moreEndings;
                }
                // "1-3" is in sequence with a "4." after it; "1.3." and "2." with a "4.".
                while (m_lastEnding < 8 && (m_endingsAhead >> m_lastEnding) & 1u)
                    ++m_lastEnding;
            }
        } else if (found && repeatCount >= 0) {
            if (!m_inRepeatGroup)
                openGroup(first, k);
            if (groupBars >= 1) {
                // A bracket over these bars: they repeat as a group.
                bracketEnd = k + groupBars - 1;
                bracketCount = repeatCount;
            } else if (repeatCount > 0) {
                // A count over a bar: for the open group, or from here to the end of the staff
                // when no closing bar line comes first.
                m_pendingGroupCount = repeatCount;
                closeAtStaffEnd = true;
            }
            // "repeat" alone opens a group; its closing bar line says where it ends.
        }

        if (IsMeasureKind(flags) && m_inRepeatGroup)
            ++m_groupBarCount;
        if (IsMeasureKind(flags))
            lastMeasureBar = k;

        if (k == bracketEnd && m_inRepeatGroup) {
            closeGroup(k, bracketCount);
            bracketEnd = -1;
            closeAtStaffEnd = false;
        } else if (flags & BarFlag::ClosesDouble) {
            if (m_inRepeatGroup && m_lastEnding == 0) {
                closeGroup(k, m_pendingGroupCount);
                closeAtStaffEnd = false;
            } else if ((flags & BarFlag::RepeatEndSign) && !m_inRepeatGroup) {
                const int close = f.BarEnd()[size_t(k)];
                AddIssue(ImportIssue::RepeatEndOutsideGroup, first, close, close + 3);
            }
        }
    }
    if (closeAtStaffEnd && m_inRepeatGroup && lastMeasureBar >= 0)
        closeGroup(lastMeasureBar, m_pendingGroupCount);

    // A second bracket over the first ("|---- x2 ----|" over "|- x2 -|"): the outer one
    // repeats its bars as a group around the inner repeat.
    if (aboveUsed && above >= 1 && !m_inRepeatGroup && MayHoldAnnotation(m_lines[size_t(above) - 1]))
        ApplyOuterBracket(first, above - 1);

    if (aboveUsed) {
        m_lines[size_t(above)].m_type = LineType::PreComment;
        m_lines[size_t(above)].m_repeatAnnotation = true;
    } else if (belowUsed) {
        m_lines[size_t(below)].m_type = LineType::PostComment;
        m_lines[size_t(below)].m_repeatAnnotation = true;
    }
}

void CTabImporter::ApplyOuterBracket(int first, int outer)
{
    CImportLine& f = m_lines[size_t(first)];
    CImportLine& o = m_lines[size_t(outer)];
    for (int k = 0; k < f.m_barCount; ++k) {
        int repeatCount = -1, ending = 0, groupStart = k, groupBars = 0;
        if (!ParseRepeatAnnotation(o, first, k, &repeatCount, &ending, &groupStart, &groupBars))
            continue;
        if (repeatCount < 1 || groupBars < 2 || k + groupBars > f.m_barCount)
            return;
        const int last = k + groupBars - 1;
        // The song holds one group mark and one count per bar: an outer group whose ends
        // already carry marks of the inner one is left to the inner one.
        constexpr uint8_t kMarks = BarFlag::GroupStart | BarFlag::GroupEnd;
        if ((f.BarFlags()[size_t(k)] & kMarks) || (f.BarFlags()[size_t(last)] & kMarks) || f.BarAux()[size_t(last)]
            || f.BarAux2()[size_t(last)])
            return;
        f.BarFlags()[size_t(k)] |= BarFlag::GroupStart;
        f.BarFlags()[size_t(last)] |= BarFlag::GroupEnd;
        o.m_type = LineType::PreComment;
        o.m_repeatAnnotation = true;
        return;
    }
}

unsigned CTabImporter::MoreEndingsOf(int line, int bar) const
{
    for (const SMoreEndings& m : m_moreEndings)
        if (m.line == line && m.bar == bar)
            return m.numbers;
    return 0;
}

void CTabImporter::KeepEndingCopies(const CEventList& events, const CEvent* bar, unsigned numbers)
{
    auto it = events.end();
    while (it != events.begin() && &*std::prev(it) != bar)
        --it;
    if (it == events.begin())
        return;
    --it;
    for (int n = 1; n <= 8; ++n) {
        if (!((numbers >> (n - 1)) & 1u))
            continue;
        SEndingCopy copy;
        copy.ending = n;
        for (auto e = it; e != events.end(); ++e)
            copy.words.emplace_back(e->m_word1, e->m_word2);
        m_endingCopies.push_back(std::move(copy));
    }
}

int CTabImporter::EmitEndingCopies(CEventList& events, int beforeEnding)
{
    if (m_endingCopies.empty())
        return 0;
    std::stable_sort(m_endingCopies.begin(), m_endingCopies.end(),
                     [](const SEndingCopy& a, const SEndingCopy& b) { return a.ending < b.ending; });
    int emitted = 0;
    size_t used = 0;
    for (; used < m_endingCopies.size(); ++used) {
        const SEndingCopy& copy = m_endingCopies[used];
        if (beforeEnding > 0 && copy.ending >= beforeEnding)
            break;
        for (size_t i = 0; i < copy.words.size(); ++i) {
            uint32_t word2 = copy.words[i].second;
            if (i == 0)
                word2 = (word2 & ~(EventBits::AltEndMask | EventBits::RepeatGroupStart | EventBits::RepeatGroupEnd))
                    | (uint32_t(copy.ending) << EventBits::AltEndShift);
            AppendEvent(events, copy.words[i].first, word2);
        }
        ++m_barTotal;
        ++emitted;
    }
    m_endingCopies.erase(m_endingCopies.begin(), m_endingCopies.begin() + long(used));
    return emitted;
}
