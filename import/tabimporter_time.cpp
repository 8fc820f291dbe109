// Time lines: meter and count line checks, the time census and the bar lengths and note
// positions read from a time line.
//
// A meter line writes each note's length with a symbol of the time key over the staff:
//     q   e e q   s s s s        (quarter, two eighths, quarter, four sixteenths)
// A symbol followed by the triplet symbol is two thirds as long, one followed by '.' half
// as long again. A count line counts the beats and their parts:
//     1 e + a 2 e + a            (sixteenths)     1 + 2 +     (eighths)
//     1 t l 2 t l                (sixteenth triplets)
// Either way a note's position comes from the symbol or syllable in its column (an
// anchor); a note between two anchors is placed in proportion. The time census decides
// whether the tab has time lines at all, of which kind, and on which side of the staves.
// A tab without them is read as Linear: every column of a bar is worth the same ticks.

#include "tabimporter.h"

#include "importtext.h"
#include "report.h"

#include <algorithm>
#include <cstring>

using namespace ImportText;

int CTabImporter::AnchorPosition(int column, bool* triplet, size_t* cursor) const
{
    *triplet = false;
    // The last anchor at or before the column, and the next one. A walk along the bar asks
    // for columns from left to right: the next anchor is then found from where the last
    // question left it.
    auto next = m_anchors.begin();
    if (cursor) {
        size_t n = *cursor;
        while (n < m_anchors.size() && m_anchors[n].column <= column)
            ++n;
        *cursor = n;
        next += long(n);
    } else {
        next = std::upper_bound(m_anchors.begin(), m_anchors.end(), column,
                                [](int col, const SAnchor& a) { return col < a.column; });
    }
    if (next != m_anchors.begin() && std::prev(next)->column == column) {
        *triplet = std::prev(next)->triplet;
        return std::prev(next)->pos;
    }
    // Between two syllables the position is interpolated, so a note under the blank after
    // "1" in "1 + 2 +" falls between the two.
    const int fromCol = next == m_anchors.begin() ? m_anchorOpen : std::prev(next)->column;
    const int fromPos = next == m_anchors.begin() ? 0 : std::prev(next)->pos;
    const int toCol = next == m_anchors.end() ? m_anchorClose : next->column;
    const int toPos = next == m_anchors.end() ? m_anchorEnd : next->pos;
    if (next != m_anchors.begin() && std::prev(next)->triplet)
        *triplet = true;
    if (toCol <= fromCol)
        return fromPos;
    const int64_t product = int64_t(toPos - fromPos) * (column - fromCol);
    // The same quotient from a 32-bit division when the product fits (it nearly always does).
    if (product >= INT32_MIN && product <= INT32_MAX)
        return fromPos + int(product) / (toCol - fromCol);
    return fromPos + int(product / (toCol - fromCol));
}

void CTabImporter::CheckMeterLine(const CImportLine& line, bool fromStaffTest, int* good, int* bad, bool wordsAreText) const
{
    int goods = 0;
    int bads = 0;
    const std::string_view t = line.m_text;
    const char triplet = m_timeKey[0].symbol;
    bool isTriplet = false;
    // A symbol of the time key: only bytes with a value can be one.
    auto isSymbol = [&](int i) { return m_meterValue[uint8_t(t[size_t(i)])] && MeterTokenValue(line, i, &isTriplet) > 0; };
    // With wordsAreText, a word that holds a letter no symbol uses is a word ("the end", "open
    // the hat"): none of its letters is a length.
    int wordEnd = wordsAreText ? -1 : int(t.size());
    bool inWord = false;
    for (int i = 0; i < int(t.size()); ++i) {
        const char c = t[size_t(i)];
        const uint16_t kind = m_charKind[uint8_t(c)];
        if (kind & (kKindSpace | kKindTab | kKindBar))
            continue;
        if (i >= wordEnd) {
            wordEnd = i;
            inWord = false;
            while (wordEnd < int(t.size()) && IsLetter(t[size_t(wordEnd)])) {
                const char w = t[size_t(wordEnd)];
                inWord = inWord || (!m_meterValue[uint8_t(w)] && w != triplet);
                ++wordEnd;
            }
        }
        if (inWord && i < wordEnd) {
            ++bads;
            continue;
        }
        if (fromStaffTest && (kind & kKindTee))
            ++bads;
        else if (c == triplet || isSymbol(i))
            ++goods;
        else if (c == '.' && i > 0 && isSymbol(i - 1))
            ++goods; // the dot of a dotted length
        else
            ++bads;
    }
    *good = goods;
    *bad = bads;
}

void CTabImporter::CheckCountLine(const CImportLine& line, bool apply, bool fromStaffTest, int* good, int* bad) const
{
    // Counted by the byte's part in a count line: ignored, digit, 't', syllable, other.
    int n[5] = {};
    for (char c : line.m_text)
        ++n[m_countClass[uint8_t(c)]];
    *good = n[kCountSyllable] + (apply ? n[kCountDigit] : 0) + (fromStaffTest ? 0 : n[kCountTee]);
    *bad = n[kCountOther] + (fromStaffTest ? n[kCountTee] : 0);
    if (line.MayHold(WordLetters("count")) && FindWord(line.m_text, "count") >= 0)
        *bad -= 5;
}

bool CTabImporter::IsMeterLine(const CImportLine& line, bool fromStaffTest) const
{
    int good = 0, bad = 0;
    CheckMeterLine(line, fromStaffTest, &good, &bad);
    return good > 4 && good > 4 * bad;
}

bool CTabImporter::IsCountLine(const CImportLine& line, bool fromStaffTest) const
{
    // Most lines tested are staff lines, full of ticks: a quick look settles them.
    if (size_t(line.m_dashesFrom2) * 4 > line.m_text.size() + 20)
        return false;
    int good = 0, bad = 0;
    CheckCountLine(line, false, fromStaffTest, &good, &bad);
    return good > 4 && good > 4 * bad;
}

namespace {
// A count written with beat numbers alone ("1 2 3 4 5 6", "1  2  3  4  1  2  3  4"): single
// digits one column or more apart, counting up from 1 and starting again at 1, no more than
// six columns from one to the next (bar numbers stand a bar apart). Returns the number of
// beats, 0 when the line is anything else.
int PlainBeatCount(std::string_view text)
{
    int beats = 0;
    int last = 0;
    int lastColumn = -1;
    for (int i = 0; i < int(text.size()); ++i) {
        const char c = text[size_t(i)];
        if (c == ' ' || c == '\t' || c == '|')
            continue;
        if (c < '1' || c > '9')
            return 0;
        if (i + 1 < int(text.size()) && text[size_t(i) + 1] >= '0' && text[size_t(i) + 1] <= '9')
            return 0;
        const int n = c - '0';
        if (n != last + 1 && n != 1)
            return 0;
        if (lastColumn >= 0 && (i - lastColumn < 2 || i - lastColumn > 6))
            return 0;
        ++beats;
        last = n;
        lastColumn = i;
    }
    return beats >= 3 ? beats : 0;
}

bool MayBeTimeLine(const CImportLine& l)
{
    return l.m_type == LineType::Unknown || l.m_type == LineType::PreComment || l.m_type == LineType::PostComment;
}

// Offset of a count syllable within its beat, by beat unit (16th, quarter, eighth, dotted
// quarter); 0 where the unit does not allow the syllable.
int SyllableOffset(char syllable, int unit)
{
    static const int amp[4] = {24, 48, 24, 96};
    static const int e[4] = {0, 24, 0, 0};
    static const int a[4] = {0, 72, 96, 48};
    switch (syllable) {
    case '&':
    case '+': return amp[unit];
    case 'e': return e[unit];
    case 'a':
    case 'u': return a[unit];
    default: return -1;
    }
}

const int kBeatValue[4] = {24, 96, 48, 144};
}

void CTabImporter::CensusTimeLines()
{
    m_timeMode = 0;
    m_timeAbove = false;
    m_timeOutside = false;
    m_countedFromOne = nullptr;
    // Repeats count bars as written: a tab with any keeps each of them a bar of its own.
    m_tabRepeatMarks = false;
    for (const CImportLine& l : m_lines) {
        if (m_tabRepeatMarks)
            break;
        if (l.m_groupFirst < 0 || &l != &m_lines[size_t(l.m_groupFirst)])
            continue;
        for (int k = 0; k < l.m_barCount && !m_tabRepeatMarks; ++k) {
            const uint8_t flags = l.BarFlags()[size_t(k)];
            m_tabRepeatMarks = (flags & (BarFlag::GroupStart | BarFlag::GroupEnd | BarFlag::RepeatEndSign))
                || (flags & BarFlag::KindMask) == BarFlag::KindRepeat || l.BarAux()[size_t(k)] || l.BarAux2()[size_t(k)];
        }
    }
    int meter[2] = {0, 0}; // above, below
    int count[2] = {0, 0};
    int outside = 0;
    int onStaff = 0;
    int failures = 0;

    auto test = [&](const CImportLine& l, int side) {
        // A line that is half ticks is neither (its '-' count as bad either way).
        if (2 * l.m_dashesFrom2 >= l.Length())
            return false;
        int m1 = 0, b1 = 0, m2 = 0, b2 = 0;
        CheckMeterLine(l, false, &m1, &b1);
        CheckCountLine(l, false, false, &m2, &b2);
        if (m2 == 0 && b2 == 0)
            m2 = PlainBeatCount(l.m_text);
        // Digits standing alone that count up ("1 t t 2 t t 3 t t"): beat numbers, whatever
        // else the line holds, not the note lengths 1, 2 and 4 of a meter line.
        if (m1 >= m2 && m2 > 0) {
            const std::string_view lt = l.m_text;
            auto apart = [&](size_t k) { return k >= lt.size() || lt[k] == ' ' || lt[k] == m_barChar; };
            // Or each followed by its two triplet syllables ("1tt2tt3tt", one trip trip).
            auto tripletAfter = [&](size_t k) {
                return k + 2 < lt.size() && ToLower(lt[k + 1]) == 't' && (ToLower(lt[k + 2]) == 't' || ToLower(lt[k + 2]) == 'l')
                    && (k + 3 == lt.size() || !IsLetter(lt[k + 3]));
            };
            int last = 0, run = 0;
            for (size_t k = 0; k < lt.size() && run < 3; ++k) {
                if (!IsDigit(lt[k]))
                    continue;
                const bool alone = (k == 0 || apart(k - 1)) && apart(k + 1);
                const bool compact = tripletAfter(k) && (k == 0 || apart(k - 1) || ToLower(lt[k - 1]) == 't' || ToLower(lt[k - 1]) == 'l');
                if (!IsDigit(lt[k]) || !(alone || compact))
                    continue;
                const int d = lt[k] - '0';
                run = d == last + 1 ? run + 1 : d == 1 ? 1 : 0;
                last = d;
            }
            if (run >= 3)
                m1 = m2 - 1;
        }
        // A short word over a staff ("Verse") is no time line: at least four symbols.
        const int limit = std::max(l.Length() / 4 - 4, ImportLimits::kMinTimeSymbols - 1);
        if (m1 >= m2) {
            if (m1 > b1 && m1 > limit)
                CheckMeterLine(l, false, &m1, &b1, true); // lengths, not the letters of words
            if (m1 > b1 && m1 > limit) {
                ++meter[side];
                return true;
            }
        } else if (m2 > b2 && m2 > limit && !(l.MayHoldTimeSig() && FindTimeSigInText(l.m_text))) {
            // ("4/4   3/4" over the bars is signatures, not a count.)
            ++count[side];
            return true;
        }
        return false;
    };
    std::vector<std::pair<int, int>> groups; // first and last staff line
    for (int i = 0; i < int(m_lines.size()); ++i) {
        if (m_lines[size_t(i)].m_groupFirst != i)
            continue;
        int last = i;
        while (last + 1 < int(m_lines.size()) && m_lines[size_t(last) + 1].m_groupFirst == i)
            ++last;
        groups.emplace_back(i, last);
    }
    for (const auto& [first, last] : groups) {
        for (int side = 0; side < 2; ++side) {
            const int candidate = side == 0 ? first - 1 : last + 1;
            const int staff = side == 0 ? first : last;
            if (candidate >= 0 && candidate < int(m_lines.size()) && MayBeTimeLine(m_lines[size_t(candidate)])
                && test(m_lines[size_t(candidate)], side))
                ++outside;
            else if (test(m_lines[size_t(staff)], side))
                ++onStaff;
            else
                ++failures;
        }
    }

    const int m = std::max(meter[0], meter[1]);
    const int k = std::max(count[0], count[1]);
    if (m <= k) {
        // Counts under some staves only (the verse counted, the chorus not): the counted ones
        // use theirs, as long as they are a quarter of the sides that could hold one.
        if (k > failures / 2 || (k >= 1 && 4 * k >= k + failures)) {
            m_timeMode = 2;
            m_timeAbove = count[0] > count[1];
        }
    } else if (m > failures / 4) {
        m_timeMode = 1;
        m_timeAbove = meter[0] > meter[1];
    }
    m_timeOutside = outside > onStaff;
    if (m_timeMode == 0)
        return;

    // Mark the time lines on the side found, trying a line further out when the next one
    // does not qualify.
    auto qualifies = [&](const CImportLine& l) {
        int good = 0, bad = 0;
        if (m_timeMode == 1)
            CheckMeterLine(l, false, &good, &bad, true);
        else
            CheckCountLine(l, true, false, &good, &bad);
        return good > 0 && good >= bad;
    };
    for (const auto& [first, last] : groups) {
        const int tries[2] = {m_timeAbove ? first - 1 : last + 1, m_timeAbove ? first - 2 : last + 2};
        bool found = false;
        for (int t : tries) {
            if (t < 0 || t >= int(m_lines.size()))
                continue;
            CImportLine& l = m_lines[size_t(t)];
            if (l.m_type == LineType::TimeLine) {
                found = true; // shared with the neighbouring staff
                break;
            }
            if (!MayBeTimeLine(l) || !qualifies(l))
                continue;
            l.m_type = LineType::TimeLine;
            found = true;
            break;
        }
        if (!found) {
            const int staff = m_timeAbove ? first : last;
            AddIssue(ImportIssue::BadTimeLine, staff, 0, m_lines[size_t(staff)].Length());
        }
    }
}

void CTabImporter::ReadMeterAnchors(int bar)
{
    const CImportLine& f = m_lines[size_t(m_lines[size_t(m_blockLines[0])].m_groupFirst)];
    const CImportLine& t = m_lines[size_t(m_blockTimeLine)];
    const int open = f.BarOpen()[size_t(bar)];
    const int end = f.BarEnd()[size_t(bar)];
    m_anchors.clear();
    int sum = 0;
    int marked = 0; // triplet-marked symbols in a row
    for (int c = open; c < end; ++c) {
        bool triplet = false;
        int v = MeterTokenValue(t, c, &triplet);
        if (v <= 0)
            continue;
        if (triplet) {
            ++marked;
        } else if (marked == 2) {
            // The third part of a triplet whose first two were marked.
            v = v * 2 / 3;
            triplet = true;
            marked = 0;
        } else {
            if (marked == 1)
                AddIssue(ImportIssue::UnexpectedTriplet, m_blockTimeLine, c, c + 1);
            marked = 0;
        }
        if (marked == 3)
            marked = 0;
        m_anchors.push_back({c, sum, triplet});
        sum = std::min(sum + v, ImportLimits::kMaxTimeLinePositions);
        const char next = t.At(c + 1);
        if (next == m_timeKey[0].symbol || next == '.')
            ++c;
    }
    m_anchorEnd = sum;
}

int CTabImporter::MeterBarTicks(int bar)
{
    ReadMeterAnchors(bar);
    return m_anchorEnd * 8 / 96;
}

int CTabImporter::CountLineBarTicks(int bar, int* num, int* den)
{
    CImportLine& f = m_lines[size_t(m_lines[size_t(m_blockLines[0])].m_groupFirst)];
    const CImportLine& t = m_lines[size_t(m_blockTimeLine)];
    // The count line's bytes through a local view (' ' beyond them), kept at hand while the
    // anchors grow.
    const std::string_view countText = t.m_text;
    auto at = [countText](int column) { return size_t(column) < countText.size() ? countText[size_t(column)] : ' '; };
    const int open = f.BarOpen()[size_t(bar)];
    const int end = f.BarEnd()[size_t(bar)];
    m_anchors.clear();
    m_countGoesOn = 0;
    m_countFromOne = false;

    // Beats: digit runs with their beat numbers. A single digit smaller than the one before
    // counts on from ten ("8 9 0 1 2"), so does a written "10".
    using SBeat = SCountBeat;
    std::vector<SBeat>& beats = m_countBeats;
    beats.clear();
    int offset = 0;
    for (int c = open; c < end; ++c) {
        const char ch = ToLower(at(c));
        if (IsDigit(ch)) {
            int n = 0;
            int d = c;
            while (d < end && IsDigit(at(d)) && d - c < 3)
                n = n * 10 + (at(d++) - '0');
            if (d - c == 1) {
                while (!beats.empty() && n + offset <= beats.back().number && offset < ImportLimits::kMaxCountBeats)
                    offset += 10;
                n += offset;
            }
            beats.push_back({c, n});
            int tc = d;
            while (tc < end && at(tc) == ' ')
                ++tc;
            if (ToLower(at(tc)) == 't') {
                int nc = tc + 1;
                while (nc < end && at(nc) == ' ')
                    ++nc;
                const char kind = ToLower(at(nc));
                if (nc < end && (kind == 'l' || kind == 't' || kind == 'q'))
                    beats.back().triplet = kind;
            }
            c = d - 1;
            continue;
        }
        if (beats.empty())
            continue;
        SBeat& b = beats.back();
        if (ch == '&' || ch == '+')
            b.amp = true;
        else if (ch == 'e')
            b.e = true;
        else if ((ch == 'a' || ch == 'u') && !b.amp)
            b.aAlone = true;
        else if (ch == 'a' || ch == 'u')
            b.ampThenA = true;
        else if (ch == ' ' || ch == '-')
            ++b.gaps;
    }
    // A count pushed left of its bar ("1 e + a 2 e + a" under "HH: |xxxxxxxx---", its first
    // blanks lost): its "1" stands before the bar line and the bar seems to start on 2. It
    // cannot place the notes; the bar is read by its width.
    if (!beats.empty() && beats.front().number > 1) {
        for (int c = std::max(0, open - 6); c < open; ++c)
            if (at(c) == '1' && !IsDigit(at(c + 1)) && !IsDigit(at(c - 1)))
                beats.clear();
    }
    if (beats.empty()) {
        if (int ticks = 0; ReuseCountedGrid(open, end, &ticks, num, den))
            return ticks;
        const int ticks = CountBarTicks(bar, nullptr);
        if (ticks == m_countedTicks) {
            *num = m_countedNum;
            *den = m_countedDen;
        } else {
            TimeSigFromTicks(ticks, num, den);
        }
        return ticks;
    }

    int unit = BeatUnit::Sixteenth;
    auto judge = [&unit](const SBeat& b) {
        // A triplet count fills its beat with three parts: 16th triplets ("1 t l") an
        // eighth, eighth and quarter triplets a quarter.
        // "3tl+tl" holds two of them, one on each eighth: the beat is a quarter.
        // Beats of sixteenths before it ("1e+a2e+a3tl4tl") keep the beat a quarter.
        if (b.triplet)
            unit = b.triplet == 'l' && !b.amp && unit != BeatUnit::Quarter ? BeatUnit::Eighth : BeatUnit::Quarter;
        else if (b.e)
            unit = BeatUnit::Quarter;
        else if (b.aAlone || (b.ampThenA && b.gaps == 0)) {
            // Beats of three eighths ("1 a &", "1&a2&a3&a4&a"): a compound meter, 12/8 for
            // four of them.
            if (unit != BeatUnit::Quarter)
                unit = BeatUnit::DottedQuarter;
        } else if (b.amp) {
            if (unit != BeatUnit::Quarter && unit != BeatUnit::DottedQuarter)
                unit = b.gaps == 0 ? BeatUnit::Eighth : BeatUnit::Quarter;
        } else if (unit == BeatUnit::Sixteenth) {
            unit = b.gaps == 0 ? BeatUnit::Sixteenth : b.gaps == 1 ? BeatUnit::Eighth : BeatUnit::Quarter;
        }
    };
    // Each beat is judged when the next digit ends it; the last only when it is the only one.
    for (size_t i = 0; i + 1 < beats.size(); ++i)
        judge(beats[i]);
    if (beats.size() == 1)
        judge(beats[0]);
    // Up to four beats each written "1tl" with nothing between ("|1tl2tl3tl4tl|", one trip-let):
    // triplets of quarter beats, as drummers count them (six such beats are eighths of
    // sixteenth-note triplets, 6/8).
    bool beatTriplets = false;
    if (unit == BeatUnit::Eighth && beats.size() >= 2 && beats.size() <= 4 && beats.back().number <= 4) {
        beatTriplets = true;
        for (size_t bi = 0; bi < beats.size() && beatTriplets; ++bi) {
            const SBeat& b = beats[bi];
            const int span = (bi + 1 < beats.size() ? beats[bi + 1].column : end) - b.column;
            beatTriplets = b.triplet == 'l' && !b.amp && !b.e && b.gaps == 0 && (span == 3 || bi + 1 == beats.size());
        }
        if (beatTriplets)
            unit = BeatUnit::Quarter;
    }
    // Four beats "1 t l 2 t l 3 t l 4 t l" a blank between syllables filling a bar of 24
    // columns: the shuffle count of a 4/4 bar on a grid of sixteenth-note triplets, two
    // columns to each trip-let. (Two such beats, or columns further apart, stay eighths.)
    if (unit == BeatUnit::Eighth && beats.size() == 4 && !beatTriplets) {
        bool spread = beats.front().column - open <= 1;
        for (size_t bi = 0; bi < beats.size() && spread; ++bi) {
            const SBeat& b = beats[bi];
            const int c = b.column;
            const int span = (bi + 1 < beats.size() ? beats[bi + 1].column : end) - c;
            spread = b.number == int(bi) + 1 && b.triplet == 'l' && !b.amp && !b.e && !b.aAlone
                && (span == 6 || (bi + 1 == beats.size() && span == 5)) && at(c + 1) == ' ' && ToLower(at(c + 2)) == 't'
                && at(c + 3) == ' ' && ToLower(at(c + 4)) == 'l';
        }
        if (spread) {
            beatTriplets = true;
            unit = BeatUnit::Quarter;
        }
    }
    // Beat numbers a column apart, alone or with their "and", up to four ("|1 2 3 4 |" or
    // "|1+2+3+4+|" under "|x-x-x-x-|"): the beats are quarters and the columns eighths, as
    // drummers write 2/4, 3/4 and 4/4; six and more such beats are eighths (6/8).
    if (unit == BeatUnit::Eighth && beats.size() >= 2 && beats.back().number <= 4) {
        bool plain = true;
        for (const SBeat& b : beats)
            plain = plain && !b.e && !b.aAlone && !b.ampThenA && !b.triplet && b.gaps <= 1;
        if (plain)
            unit = BeatUnit::Quarter;
    }
    // Beats of eighths or quarters ("1&2&3&4&5&"): the signature the tab states decides
    // ("(5/4)" over ten columns: quarters in eighth columns).
    if (m_statedSig && unit == BeatUnit::Eighth) {
        const int statedTicks = (m_statedSig & 0x1F) * 32 / (1 << (m_statedSig >> 5));
        int beatsWritten = 0;
        for (const SBeat& b : beats)
            beatsWritten = std::max(beatsWritten, b.number);
        if (beatsWritten * kBeatValue[BeatUnit::Eighth] * 8 / 96 != statedTicks && beatsWritten * kBeatValue[BeatUnit::Quarter] * 8 / 96 == statedTicks) {
            bool plain = true;
            for (const SBeat& b : beats)
                plain = plain && !b.e && !b.aAlone && !b.ampThenA && !b.triplet && b.gaps == 0;
            if (plain)
                unit = BeatUnit::Quarter;
        }
    }
    auto isSyllable = [this](char x) { return x != ' ' && x != '-' && x != m_barChar && !IsDigit(x); };
    // Three syllables evenly spread over each beat ("1 + a 2 + a"): the width of a third of
    // the beat in columns, or 0.
    auto evenThirds = [&](size_t bi) {
        const int c = beats[bi].column;
        int span = (bi + 1 < beats.size() ? beats[bi + 1].column : end) - c;
        // The last beat of a count set a column or two right of the bar line is cut short
        // by it: it spans what the beats before it span.
        if (bi + 1 == beats.size() && bi > 0) {
            const int before = c - beats[bi - 1].column;
            if (span < before && span >= before - 2)
                span = before;
        }
        if (span <= 3 || span % 3 != 0 || span > 12)
            return 0;
        const int k = span / 3;
        if (!isSyllable(at(c + k)) || !isSyllable(at(c + 2 * k)))
            return 0;
        for (int o = 1; o < span; ++o)
            if (o != k && o != 2 * k && at(c + o) != ' ' && at(c + o) != '-')
                return 0;
        return k;
    };
    // Counted so under a signature in eighths the tab states ("Time: 6/8"): beats of three
    // eighths, not quarters in triplets.
    bool compoundThirds = false;
    if (unit == BeatUnit::Quarter && (m_statedSig >> 5) == 3) {
        compoundThirds = true;
        for (size_t bi = 0; bi < beats.size() && compoundThirds; ++bi)
            compoundThirds = evenThirds(bi) > 0;
        if (compoundThirds)
            unit = BeatUnit::DottedQuarter;
    }
    // "1&a2&a3&a4&a" with no compound signature stated is the swing or shuffle count: triplets
    // over quarter beats, not 12/8 (a tab in 12/8 says so: "Slow blues in 12/8").
    bool compactThirds = false;
    if (unit == BeatUnit::DottedQuarter && (m_statedSig >> 5) != 3 && beats.size() >= 2) {
        compactThirds = true;
        for (size_t bi = 0; bi < beats.size() && compactThirds; ++bi) {
            const SBeat& b = beats[bi];
            const int span = (bi + 1 < beats.size() ? beats[bi + 1].column : end) - b.column;
            compactThirds = b.ampThenA && b.gaps == 0 && !b.e && !b.aAlone && !b.triplet && span == 3;
        }
        if (compactThirds)
            unit = BeatUnit::Quarter;
    }
    f.BarFlags()[size_t(bar)] = uint8_t((f.BarFlags()[size_t(bar)] & ~BarFlag::BeatMask) | (unit << BarFlag::BeatShift));
    if (unit == BeatUnit::DottedQuarter)
        m_threePartCounting = true;

    const int beat = kBeatValue[unit];
    int lastBeat = 0;
    for (const SBeat& b : beats)
        lastBeat = std::max(lastBeat, b.number);
    lastBeat = std::min(lastBeat, ImportLimits::kMaxCountBeats);
    int length = std::max(1, lastBeat) * beat;
    // A last beat cut short ("... 4 e + a 5 |" in a bar of 17 sixteenths): where the beats
    // before it are evenly spaced and at most three quarters of its columns are written, the
    // bar ends with the columns written.
    if (beats.size() >= 2 && beats.back().number == lastBeat) {
        const int beatColumns = beats[1].column - beats[0].column;
        // A count written a column or two right of the bar line ("|x-x-" under " 1 + ")
        // ends as far right of it: its last beat is not cut short by that.
        const int lead = beats[0].column - open;
        const int left = end - beats.back().column + (lead > 0 && lead < beatColumns ? lead : 0);
        const int lastColumn = beats.back().column;
        const int before = beats[beats.size() - 2].column;
        // Cut short, not squeezed: its syllables stand where they stand in the beat before
        // ("4 e +" after "3 e + a", but not "4 +").
        bool sameSyllables = true;
        for (int o = 1; o < left && sameSyllables; ++o) {
            const char c = at(lastColumn + o);
            sameSyllables = c == ' ' || c == '-' || ToLower(c) == ToLower(at(before + o));
        }
        if (beatColumns >= 2 && left * 4 <= beatColumns * 3 && lastColumn - before == beatColumns && sameSyllables)
            length = (lastBeat - 1) * beat + left * beat / beatColumns;
    }
    // A pickup: the song's first bar counted from a later beat ("4e+a" before the band comes
    // in on the 1) is as short as the beats it counts, not a whole bar of rests before them.
    // So is a later bar counted from a later beat at its bar line ("|1e+a2e+a|3e+a4e+a|", a
    // line every two beats): its notes stand where the count puts them. Such a count goes on
    // from the bar before, which may take it in (ConvertWrittenBar).
    int pickup = 0;
    const bool counted = beats.front().column - open <= 1;
    if (beats.front().number > 1 && counted && lastBeat > beats.front().number - 1)
        pickup = (beats.front().number - 1) * beat;
    auto signature = [unit](int barTicks, int* n, int* d) {
        TimeSigFromTicks(barTicks, n, d);
        if (unit == BeatUnit::Sixteenth && (*d == 8 || *d == 4)) {
            *n *= 16 / *d;
            *d = 16;
        } else if ((unit == BeatUnit::Eighth || unit == BeatUnit::DottedQuarter) && *d == 4) {
            *n *= 2;
            *d = 8;
        }
    };
    if (pickup > 0 && m_barTotal > 0 && length % 12 == 0) {
        m_countGoesOn = pickup;
        signature(length / 12, &m_countFullNum, &m_countFullDen);
    }
    m_countFromOne = beats.front().number == 1 && counted && length == lastBeat * beat;
    length -= pickup;
    const int ticks = std::max(1, length * 8 / 96);
    signature(ticks, num, den);
    m_countedTicks = ticks;
    m_countedNum = *num;
    m_countedDen = *den;

    // The second half of a sextuplet beat at column c: '+' (or '&'), 't' and the triplet's
    // letter ("+tl", "+tt").
    auto sextupletHalf = [&](int c, char kind) {
        return c + 2 < end && (at(c) == '+' || at(c) == '&') && ToLower(at(c + 1)) == 't' && ToLower(at(c + 2)) == kind;
    };

    // Positions of the digits and syllables.
    size_t bi = 0;
    size_t tripletMiddle = SIZE_MAX; // the beat whose 'T' was read
    for (int c = open; c < end; ++c) {
        while (bi + 1 < beats.size() && beats[bi + 1].column <= c)
            ++bi;
        const SBeat& b = beats[bi];
        if (c < b.column)
            continue;
        const int start = (std::max(1, b.number) - 1) * beat;
        const char ch = ToLower(at(c));
        if (c == b.column) {
            m_anchors.push_back({c, start, false});
            // Three syllables where the other beats have four ("1e+a 2e+a 3te 4+a"): a
            // triplet over the beat.
            const int span = (bi + 1 < beats.size() ? beats[bi + 1].column : end) - c;
            // Three syllables evenly spread over the beat with blanks between ("1 + a 2 + a",
            // "1  +  a"): a triplet over the beat too, or three eighths in a compound meter.
            if (compactThirds) {
                m_anchors.back().triplet = true;
                m_anchors.push_back({c + 1, start + beat / 3, true});
                m_anchors.push_back({c + 2, start + 2 * beat / 3, true});
                c += 2;
                continue;
            }
            if (unit == BeatUnit::Quarter || compoundThirds) {
                if (const int k = evenThirds(bi)) {
                    m_anchors.back().triplet = !compoundThirds;
                    m_anchors.push_back({c + k, start + beat / 3, !compoundThirds});
                    m_anchors.push_back({c + 2 * k, start + 2 * beat / 3, !compoundThirds});
                    c += 2 * k;
                    continue;
                }
            }
            if (unit == BeatUnit::Quarter && span == 3) {
                const char s1 = at(c + 1);
                const char s2 = at(c + 2);
                // Beat numbers alone three columns apart ("1  2  3  4") split their beats in three too.
                const bool bare = s1 == ' ' && s2 == ' ' && !b.amp && !b.e && !b.aAlone;
                if ((isSyllable(s1) && isSyllable(s2)) || bare) {
                    m_anchors.back().triplet = true;
                    m_anchors.push_back({c + 1, start + beat / 3, true});
                    m_anchors.push_back({c + 2, start + 2 * beat / 3, true});
                    c += 2;
                    continue;
                }
            }
            // A digit followed by 't' opens a count triplet; the letter after the 't' tells
            // its size: l 16th, t eighth, q quarter triplets.
            int tc = c + 1;
            while (tc < end && IsDigit(at(tc)))
                ++tc;
            while (tc < end && at(tc) == ' ')
                ++tc;
            if (tc < end && ToLower(at(tc)) == 't') {
                int nc = tc + 1;
                while (nc < end && at(nc) == ' ')
                    ++nc;
                const char kind = ToLower(at(nc));
                int second = kind == 'l' ? (beatTriplets ? 32 : 16) : kind == 't' ? 32 : kind == 'q' ? 64 : 0;
                // "1tt+tt" ("one-ta-ta-and-ta-ta"): six to the beat, the first three on its
                // first eighth, as "3tl+tl".
                if (kind == 't' && unit == BeatUnit::Quarter && sextupletHalf(nc + 1, 't'))
                    second = 16;
                if (second && nc < end) {
                    m_anchors.back().triplet = true;
                    m_anchors.push_back({tc, start + second, true});
                    m_anchors.push_back({nc, start + 2 * second, true});
                    c = nc;
                }
            }
            continue;
        }
        if (IsDigit(ch))
            continue;
        // The second triplet of a quarter counted "3tl+tl" or "3tt+tt": the '+' and the two
        // after it.
        if ((ch == '+' || ch == '&') && unit == BeatUnit::Quarter && (b.triplet == 'l' || b.triplet == 't')) {
            const int tc = c + 1;
            const int nc = tc + 1;
            if (nc < end && sextupletHalf(c, b.triplet)) {
                m_anchors.push_back({c, start + 48, true});
                m_anchors.push_back({tc, start + 64, true});
                m_anchors.push_back({nc, start + 80, true});
                c = nc;
                continue;
            }
        }
        // A syllable the beat unit has no place for ("e" when counting sixteenths) marks nothing.
        int off = SyllableOffset(ch, unit);
        // "1&a" in three eighths: the '&' is the second of them, the 'a' the third.
        if (unit == BeatUnit::DottedQuarter && b.ampThenA && b.gaps == 0 && off > 0)
            off = ch == '&' || ch == '+' ? 48 : 96;
        // "1 T a" ("one trip-a"): the 'T' is the second eighth, the 'a' after it the third.
        if (unit == BeatUnit::DottedQuarter && ch == 't') {
            off = 48;
            tripletMiddle = bi;
        } else if (unit == BeatUnit::DottedQuarter && (ch == 'a' || ch == 'u') && tripletMiddle == bi) {
            off = 96;
        }
        if (off > 0)
            m_anchors.push_back({c, start + off, false});
    }
    // A count set a column or two right of the bar line, over a bar whose first columns hold
    // hits: the whole count stands that far right of its notes.
    if (beats.size() >= 2) {
        const int lead = beats[0].column - open;
        const int beatColumns = beats[1].column - beats[0].column;
        bool hitBefore = false;
        for (int line : m_blockLines) {
            const CImportLine& l = m_lines[size_t(line)];
            for (int c = open; c < open + lead && !hitBefore; ++c) {
                const char ch = l.At(c + l.m_columnShift);
                hitBefore = ch != m_tickChar && ch != ' ' && ch != '_' && ch != m_barChar;
            }
        }
        if (lead > 0 && lead < beatColumns && hitBefore)
            for (SAnchor& a : m_anchors)
                a.column -= lead;
    }
    if (pickup > 0)
        for (SAnchor& a : m_anchors)
            a.pos = std::max(0, a.pos - pickup);
    // Positions only grow along the line; a syllable that would go back is read as a
    // continuation of the one before.
    size_t kept = 0;
    for (size_t i = 0; i < m_anchors.size(); ++i)
        if (kept == 0 || m_anchors[i].pos > m_anchors[kept - 1].pos) {
            if (kept != i)
                m_anchors[kept] = m_anchors[i];
            ++kept;
        }
    m_anchors.resize(kept);
    m_anchorEnd = ticks * 12;
    m_countedColumns = end - open;
    m_countedAnchors.clear();
    for (const SAnchor& a : m_anchors)
        m_countedAnchors.push_back({a.column - open, a.pos, a.triplet});
    return ticks;
}

bool CTabImporter::ReuseCountedGrid(int open, int end, int* ticks, int* num, int* den)
{
    // A bar with no count under it, as wide as the last bar a count measured: read on that
    // bar's grid and with its signature.
    if (m_countedColumns != end - open || m_countedAnchors.empty())
        return false;
    for (const SAnchor& a : m_countedAnchors)
        m_anchors.push_back({a.column + open, a.pos, a.triplet});
    m_anchorEnd = m_countedTicks * 12;
    *ticks = m_countedTicks;
    *num = m_countedNum;
    *den = m_countedDen;
    return true;
}

CEvent* CTabImporter::CountedBarGoingOn(const CEventList& events, int bar, int ticks) const
{
    // Only where nothing counts bars as written: no repeat marks anywhere, no signature in
    // the staff, no hit after the last bar line, a plain bar line between the two.
    if (m_countGoesOn <= 0 || !m_countedFromOne || m_tabRepeatMarks || bar == 0 || m_anchors.empty()
        || m_barEvents.size() <= size_t(bar) || m_barEvents[size_t(bar) - 1] != m_countedFromOne)
        return nullptr;
    const CImportLine& f = m_lines[size_t(m_lines[size_t(m_blockLines[0])].m_groupFirst)];
    const uint8_t before = f.BarFlags()[size_t(bar) - 1];
    const uint8_t flags = f.BarFlags()[size_t(bar)];
    const uint8_t kinds = BarFlag::KindMask | BarFlag::GroupStart | BarFlag::GroupEnd | BarFlag::ClosesDouble | BarFlag::RepeatEndSign;
    if ((before & kinds) != BarFlag::KindWritten || (flags & kinds) != BarFlag::KindWritten
        || (before & BarFlag::BeatMask) != (flags & BarFlag::BeatMask) || f.BarTimeSig()[size_t(bar) - 1] || f.BarTimeSig()[size_t(bar)]
        || (f.m_lastHitBar && bar + 1 == f.m_barCount))
        return nullptr;
    // The bar before ends where this count takes up, and is the song's last measure.
    if (int(m_countedFromOne->GetMeasureTicks()) * 12 != m_countGoesOn)
        return nullptr;
    for (auto it = events.end(); it != events.begin();) {
        --it;
        if (it->IsMeasure()) {
            if (&*it != m_countedFromOne)
                return nullptr;
            break;
        }
    }
    // A signature the tab states names the bars as written.
    const int fullTicks = m_countFullNum * 32 / m_countFullDen;
    if (m_statedSig && (m_statedSig & 0x1F) * 32 / (1 << (m_statedSig >> 5)) != fullTicks)
        return nullptr;
    if (fullTicks != int(m_countedFromOne->GetMeasureTicks()) + ticks || m_countFullNum > ImportLimits::kMaxNumerator)
        return nullptr;
    return m_countedFromOne;
}
