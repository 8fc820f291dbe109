// Block conversion: each bar of an assembled staff block becomes a BAR (or a
// REPEAT_PREV_MEASURES event) followed by its notes and rests.

#include "tabimporter.h"

#include "importtext.h"
#include "report.h"

#include <QStringDecoder>

#include <algorithm>
#include <numeric>
#include <array>
#include <bit>
#include <cstring>

using namespace ImportText;

namespace {
constexpr int kPositionsPer44 = 384;

// Numbers counting up by one, two at least, and nothing else: "1       2       3".
bool IsBarNumberLine(std::string_view t)
{
    int numbers = 0;
    int last = 0;
    for (size_t i = 0; i < t.size();) {
        if (IsBlank(t[i])) {
            ++i;
            continue;
        }
        if (!IsDigit(t[i]))
            return false;
        int n = 0;
        for (; i < t.size() && IsDigit(t[i]) && n < 100000; ++i)
            n = n * 10 + (t[i] - '0');
        if (numbers > 0 && n != last + 1)
            return false;
        last = n;
        ++numbers;
    }
    return numbers >= 2;
}
constexpr uint32_t kKeyClosedHiHat = 42;
constexpr uint32_t kKeyOpenHiHat = 46;

constexpr uint32_t DynamicBits(int dynamic)
{
    const uint32_t choke = (dynamic & Dynamic::Choke) ? EventBits::Choked : 0;
    switch (dynamic & ~Dynamic::Choke) {
    case Dynamic::Accent: return EventBits::Accent | choke;
    case Dynamic::Ghost: return EventBits::Ghost | choke;
    case Dynamic::Flam: return EventBits::FlamOrPM | choke;
    default: return choke;
    }
}

// DynamicBits of the high byte of a note table entry (its double stroke aside), by table.
constexpr std::array<uint32_t, 256> kDynamicBits = [] {
    std::array<uint32_t, 256> bits{};
    for (int i = 0; i < 256; ++i)
        bits[size_t(i)] = DynamicBits(i & ~Dynamic::DoubleStroke);
    return bits;
}();

uint32_t BarWord(int num, int den, uint8_t flags, uint8_t aux)
{
    uint32_t w = TimeSigWord(uint32_t(num), uint32_t(den));
    if (flags & BarFlag::GroupStart)
        w |= EventBits::RepeatGroupStart;
    if (flags & BarFlag::GroupEnd) {
        if (aux)
            w |= (uint32_t(std::min<int>(aux, ImportLimits::kMaxEnding)) << EventBits::AltEndShift) & EventBits::AltEndMask;
        else
            w |= EventBits::RepeatGroupEnd;
    }
    return w;
}
}

// Tab text is mostly ASCII; UTF-8 is kept as such and anything else read as Latin-1.
QString ImportedText(std::string_view text)
{
    // Plain ASCII reads the same either way: no decoder to set up.
    if (!text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return uint8_t(c) < 0x80; }))
        return QString::fromLatin1(text.data(), qsizetype(text.size()));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(QByteArrayView(text.data(), qsizetype(text.size())));
    if (utf8.hasError())
        return QString::fromLatin1(text.data(), qsizetype(text.size()));
    return s;
}

int CTabImporter::CountTripletSpacing(int column, int end) const
{
    // On the post comment: a count digit or '+' followed by "tl"/"tt" (spacing 1) or by the
    // same two and four columns on (spacing 2).
    if (m_blockPostComment >= 0) {
        const CImportLine& post = m_lines[size_t(m_blockPostComment)];
        const char c = post.At(column);
        auto isT = [](char ch) { return ch == 't' || ch == 'T'; };
        auto isTl = [](char ch) { return ch == 't' || ch == 'T' || ch == 'l' || ch == 'L'; };
        if (IsDigit(c) || c == '+') {
            if (isT(post.At(column + 1)) && isTl(post.At(column + 2)))
                return 1;
            if (isT(post.At(column + 2)) && isTl(post.At(column + 4)))
                return 2;
        }
    }
    // On a staff line: t, then the next two marks right of it (ignoring ticks and blanks)
    // are 't' again, evenly spaced.
    for (int line : m_blockLines) {
        const CImportLine& l = m_lines[size_t(line)];
        const char c = l.At(column + l.m_columnShift);
        if (c != 't' && c != 'T')
            continue;
        int found[2] = {-1, -1};
        int n = 0;
        for (int col = column + 1; col < end && n < 2; ++col) {
            bool any = false;
            bool allT = true;
            for (int other : m_blockLines) {
                const CImportLine& o = m_lines[size_t(other)];
                const char ch = o.At(col + o.m_columnShift);
                if (ch == ' ' || ch == '_' || ch == m_tickChar)
                    continue;
                any = true;
                allT = allT && (ch == 't' || ch == 'T');
            }
            if (!any)
                continue;
            if (!allT)
                break;
            found[n++] = col;
        }
        if (n == 2 && found[1] - column == 2 * (found[0] - column))
            return found[0] - column;
    }
    return 0;
}

int CTabImporter::HatMarksOf(int line)
{
    if (line == m_hatMarksLine)
        return m_hatMarks;
    m_hatMarksLine = line;
    m_hatMarks = HatMarks::None;
    // Only right above the staff, and only marks standing alone over a column.
    if (m_blockLines.empty() || line != m_blockLines[0] - 1)
        return m_hatMarks;
    const CImportLine& l = m_lines[size_t(line)];
    bool o = false, plus = false, loneTick = false;
    for (int col = 0; col < l.Length(); ++col) {
        const char c = l.At(col);
        if (c == ' ' || c == '>' || c == m_barChar)
            continue;
        const bool alone = l.At(col - 1) == ' ' && l.At(col + 1) == ' ';
        if (c == 'o' || c == 'O')
            o = true;
        else if (c == '+')
            plus = true;
        else if (c != m_tickChar)
            return m_hatMarks;
        if (!alone && c != m_tickChar)
            return m_hatMarks;
        loneTick = loneTick || (c == m_tickChar && alone);
    }
    // 'o' opens and '+' closes, as in notation. A line of '+' and lone ticks only, with no
    // 'o', opens the hat at '+' and closes it at the tick.
    if (o)
        m_hatMarks = HatMarks::OOpens;
    else if (plus)
        m_hatMarks = loneTick ? HatMarks::PlusOpens : HatMarks::OOpens;
    return m_hatMarks;
}

void CTabImporter::WalkColumns(CEventList& events, int bar, int firstColumn, int ticks, bool split, CEvent* barEvent)
{
    const CImportLine& f = m_lines[size_t(m_lines[size_t(m_blockLines[0])].m_groupFirst)];
    const int end = f.BarEnd()[size_t(bar)];
    const int step = m_ticksPerChar * 12;
    const CImportLine* pre = m_blockPreComment >= 0 ? &m_lines[size_t(m_blockPreComment)] : nullptr;
    const int hatMarks = pre ? HatMarksOf(m_blockPreComment) : HatMarks::None;
    // The line above marks accents with '>' only where it holds nothing else over this bar:
    // a remark such as "cresc >>>>" is text. Right above the staff it may also open and
    // close the hi-hat.
    for (int col = firstColumn; pre && col < end; ++col) {
        const char c = pre->At(col);
        if (c != ' ' && c != '>' && c != m_barChar && c != m_tickChar
            && (hatMarks == HatMarks::None || (c != '+' && c != 'o' && c != 'O')))
            pre = nullptr;
    }
    int p = 0;
    int q = 0;
    int tripletLeft = 0;
    bool anyTriplet = false;
    int consumedTicks = 0;
    CEvent* current = barEvent;
    // The measure's notes, appended in position order when the measure is complete (the
    // second hit of a double stroke can lie beyond the next column's notes).
    std::vector<SEventWords>& notes = m_barNoteWords; // word2 is the position
    notes.clear();
    // Whether a note went in before one of an earlier position, and the last position.
    bool unsorted = false;
    uint32_t lastPos = 0;
    auto flushNotes = [&]() {
        // Nearly sorted already (mostly sorted: only the second hit of a double stroke goes in
        // out of order): an insertion sort keeps equal positions in column order.
        SEventWords* const a = notes.data();
        const size_t count = notes.size();
        const bool sorted = !unsorted;
        unsorted = false;
        lastPos = 0;
        if (count == 0)
            return;
        for (size_t i = 1; !sorted && i < count; ++i) {
            const SEventWords n = a[i];
            size_t j = i;
            for (; j > 0 && a[j - 1].word2 > n.word2; --j)
                a[j] = a[j - 1];
            a[j] = n;
        }
        // A staff that writes one instrument on two lines gives each hit once: a note is
        // dropped when one kept before it at its position (those from `run` on) has the same
        // word.
        size_t kept = 1;
        size_t run = 0;
        uint32_t runPos = a[0].word2;
        for (size_t i = 1; i < count; ++i) {
            const SEventWords n = a[i];
            bool twice = false;
            if (n.word2 != runPos) {
                runPos = n.word2;
                run = kept;
            } else {
                for (size_t j = run; j < kept; ++j)
                    twice |= a[j].word1 == n.word1;
            }
            if (kept != i)
                a[kept] = n;
            kept += !twice;
        }
        AppendEvents(events, std::span<const SEventWords>(a, kept));
        notes.clear();
    };
    // The characters that may be notes, from one pass along each line, by column, top first.
    FindBarCharacters(firstColumn, end);
    const bool plain = m_anchors.empty() && !m_blockMayHoldTriplets; // no triplets, no time line
    // The column loop's tables, read through locals: the notes it appends cannot move them.
    const uint8_t* const columnUsed = m_walkColumnUsed.data() + (firstColumn - m_walkFrom);
    const uint16_t* const columnLines = m_walkLines.data() + (firstColumn - m_walkFrom);
    const SBlockLine* const view = m_blockView.data();
    const bool anchored = !m_anchors.empty();
    // Anchors in column order let the walk find each column's from the last one's.
    size_t anchorCursor = 0;
    size_t* const anchorHint = std::is_sorted(m_anchors.begin(), m_anchors.end(),
                                              [](const SAnchor& a, const SAnchor& b) { return a.column < b.column; })
        ? &anchorCursor
        : nullptr;
    const bool legendNamesD = m_legendNamesD;
    const int doubleStrokeGap = m_ticksPerChar * 6;
    for (int col = firstColumn; col < end; ++col) {
        const size_t k = size_t(col - firstColumn);
        if (!columnUsed[k])
            continue;
        if (plain && !split && !columnLines[k]) {
            p += step; // ticks only: the column just takes its time
            continue;
        }
        // Under a time line a column of ticks only places nothing: its position is not needed.
        if (!split && anchored && !columnLines[k])
            continue;
        if (split && p >= kPositionsPer44) {
            flushNotes();
            consumedTicks += 32;
            p = 0;
            q = 0;
            const int remaining = ticks - consumedTicks;
            int num = 4, den = 4;
            if (remaining <= 32) {
                TimeSigFromTicks(remaining, &num, &den);
                split = false;
            }
            current = AppendEvent(events, EventType::Bar, TimeSigWord(uint32_t(num), uint32_t(den)));
            m_timeSigNum = num;
            m_timeSigDen = den;
            ++m_barTotal;
        }
        bool anchorTriplet = false;
        if (anchored) {
            p = AnchorPosition(col, &anchorTriplet, anchorHint);
        } else {
            if (tripletLeft == 0 && m_blockMayHoldTriplets) {
                const int spacing = CountTripletSpacing(col, end);
                if (spacing > 0) {
                    tripletLeft = 3 * spacing;
                    anyTriplet = true;
                }
            }
        }
        const bool inTriplet = tripletLeft > 0 || anchorTriplet;
        const uint32_t tripletBit = inTriplet ? EventBits::Triplet : 0;
        int pos = p;
        bool produced = false;
        bool tMark = false;
        for (uint32_t m = columnLines[k]; m; m &= m - 1) {
            const SBlockLine& b = view[size_t(std::countr_zero(m))];
            const int lc = col + b.shift;
            const char ch = b.text[lc];
            const uint16_t kind = m_charKind[uint8_t(ch)];
            if (kind & kKindTee)
                tMark = true;
            const uint16_t v = b.notes[uint8_t(ch)];
            if (!v)
                continue;
            const int line = b.line;
            uint32_t w1 = (v & 0xFFu) | kDynamicBits[v >> 8] | tripletBit;
            if (pre) {
                const char mark = pre->At(col);
                if (mark == '>')
                    w1 = (w1 & ~EventBits::Dynamics) | EventBits::Accent;
                else if (hatMarks != HatMarks::None && ((w1 & 0xFF) == kKeyClosedHiHat || (w1 & 0xFF) == kKeyOpenHiHat)) {
                    const bool open = hatMarks == HatMarks::PlusOpens ? mark == '+' : mark == 'o' || mark == 'O';
                    const bool closed = hatMarks == HatMarks::PlusOpens ? mark == m_tickChar : mark == '+';
                    if (open || closed)
                        w1 = (w1 & ~0xFFu) | (open ? kKeyOpenHiHat : kKeyClosedHiHat);
                }
            }
            int at = pos;
            if (at < q) {
                at = q;
                AddIssue(ImportIssue::NotePosition, line, lc, lc + 1);
            }
            q = at;
            const uint32_t ref = (uint32_t(line) << ImportLimits::kImportRefLineShift)
                | (uint32_t(lc) & ImportLimits::kImportRefColumnMask);
            notes.push_back({w1, uint32_t(at), ref});
            unsorted |= uint32_t(at) < lastPos;
            lastPos = uint32_t(at);
            produced = true;
            // A double stroke ('d', unless a legend says what it is): the second hit half a
            // column later.
            if ((ch == 'd' && !legendNamesD) || ((v >> 8) & Dynamic::DoubleStroke)) {
                notes.push_back({w1, uint32_t(at + doubleStrokeGap), ref});
                unsorted = true; // a later column's hits may come before it
            }
        }
        if (inTriplet && tMark && !produced) {
            notes.push_back({EventType::Rest | EventBits::Triplet, uint32_t(pos), 0});
            unsorted |= uint32_t(pos) < lastPos;
            lastPos = uint32_t(pos);
        }
        if (anchored)
            continue;
        p += inTriplet ? step * 2 / 3 : step;
        if (tripletLeft > 0)
            --tripletLeft;
    }
    flushNotes();
    // A triplet bar whose columns fill less than its signature: the signature of what was used.
    if (anyTriplet && current) {
        const int used = p * 8 / 96;
        if (used > 0 && used < int(current->GetMeasureTicks())) {
            int num = 4, den = 4;
            TimeSigFromTicks(used, &num, &den);
            current->m_word2 = (current->m_word2 & ~EventBits::TimeSigMask) | TimeSigWord(uint32_t(num), uint32_t(den));
        }
    }
}

int CTabImporter::FreeSpacingSteps(int firstColumn, int end, int ticks) const
{
    // Only a bar of no usual length: longer than 6/4, or an odd number of sixteenths.
    if (ticks <= 48 && ticks % 4 == 0)
        return 0;
    const int width = end - firstColumn;
    int grid = width;
    int hitColumns = 0;
    for (int col = firstColumn; col < end; ++col) {
        bool hit = false;
        for (int line : m_blockLines) {
            const CImportLine& l = m_lines[size_t(line)];
            const char ch = l.At(col + l.m_columnShift);
            if (ch != m_tickChar && ch != ' ' && ch != '_' && ch != m_barChar) {
                hit = true;
                break;
            }
        }
        if (!hit)
            continue;
        ++hitColumns;
        grid = std::gcd(grid, col - firstColumn);
        if (grid < 3)
            return 0;
    }
    if (hitColumns < 3 || width % grid != 0)
        return 0;
    const int steps = width / grid;
    return steps == 4 || steps == 8 || steps == 16 ? steps : 0;
}

CEvent* CTabImporter::ConvertWrittenBar(CEventList& events, int bar)
{
    const CImportLine& f = m_lines[size_t(m_lines[size_t(m_blockLines[0])].m_groupFirst)];
    const uint8_t flags = f.BarFlags()[size_t(bar)];
    const int open = f.BarOpen()[size_t(bar)];
    const int end = f.BarEnd()[size_t(bar)];
    int firstColumn = open;
    int ticks = 0;
    bool split = false;
    int num = 4, den = 4;

    const bool timeLine = m_timeMode != 0 && m_blockTimeLine >= 0;
    m_anchors.clear();
    m_anchorOpen = open;
    m_anchorClose = end;
    if (timeLine && m_timeMode == 1) {
        ticks = MeterBarTicks(bar);
        TimeSigFromTicks(ticks, &num, &den);
    } else if (timeLine && m_timeMode == 2) {
        ticks = CountLineBarTicks(bar, &num, &den);
    } else if (m_timeMode == 2) {
        // A staff with no count, its bars as wide as the last counted one: read the same way.
        ReuseCountedGrid(open, end, &ticks, &num, &den);
    }
    // A time line that gives no length, or one no signature can hold, is read as Linear.
    if (ticks <= 0 || num > ImportLimits::kMaxNumerator) {
        ticks = 0;
        num = den = 4;
        m_anchors.clear();
    }
    if (ticks == 0) {
        m_anchors.clear();
        ticks = CountBarTicks(bar, nullptr);
        if (m_bogusFirstTick) {
            int c0 = open;
            auto columnBlank = [&](int col) {
                for (int line : m_blockLines) {
                    const CImportLine& l = m_lines[size_t(line)];
                    const char ch = l.At(col + l.m_columnShift);
                    if (ch != ' ' && ch != '_')
                        return false;
                }
                return true;
            };
            while (c0 < end && columnBlank(c0))
                ++c0;
            int noteLine = -1;
            for (int line : m_blockLines) {
                const CImportLine& l = m_lines[size_t(line)];
                const char ch = l.At(c0 + l.m_columnShift);
                if (ch != m_tickChar && ch != ' ' && ch != '_') {
                    noteLine = line;
                    break;
                }
            }
            if (noteLine >= 0) {
                AddIssue(ImportIssue::BogusFirstTickNote, noteLine, c0 + m_lines[size_t(noteLine)].m_columnShift, 0);
            } else if (c0 < end) {
                ticks -= m_ticksPerChar;
                firstColumn = c0 + 1;
            }
        }
        if (ticks == 30 && m_roundToCommon)
            ticks = 32;
        if (const int steps = FreeSpacingSteps(firstColumn, end, ticks)) {
            // Hits evenly spaced on a grid of their own: a 4/4 bar of quarters, eighths or
            // sixteenths, whatever the columns between them.
            ticks = 32;
            m_anchors.push_back({firstColumn, 0, false});
            m_anchorOpen = firstColumn;
            m_anchorClose = firstColumn + (end - firstColumn) / steps * steps;
            m_anchorEnd = kPositionsPer44;
        }
        if (m_anchors.empty() && end - firstColumn == 8 && ticks == 16 && m_blockLines[0] >= m_eighthGridFrom) {
            // Eight columns of eighths: a 4/4 bar.
            ticks = 32;
            m_anchors.push_back({firstColumn, 0, false});
            m_anchorOpen = firstColumn;
            m_anchorClose = end;
            m_anchorEnd = kPositionsPer44;
        }
        if (ticks >= 64 && m_splitLongMeasures && m_anchors.empty()) {
            AddIssue(ImportIssue::MeasureTooLong, m_blockLines[0], open, 0);
            split = true;
        } else {
            TimeSigFromTicks(ticks, &num, &den);
            // A bar too long for any signature the song can hold is split rather than
            // written with a corrupted numerator.
            if (num > ImportLimits::kMaxNumerator) {
                AddIssue(ImportIssue::MeasureTooLong, m_blockLines[0], open, 0);
                split = true;
            }
        }
        if (split) {
            num = 4;
            den = 4;
        }
    }

    if (const uint8_t sig = f.BarTimeSig()[size_t(bar)]; sig && (m_timeSigInMeasures || m_timeSigOwnMeasures) && !split) {
        const int sigTicks = (sig & 0x1F) * 32 / (1 << (sig >> 5));
        if (sigTicks < ticks)
            AddIssue(ImportIssue::TooManyNotes, m_blockLines[0], open, 0);
        else if (sigTicks != ticks)
            AddIssue(ImportIssue::TimeSigMismatch, m_blockLines[0], open, 0);
    }

    if (m_statedSig && !split && !f.BarTimeSig()[size_t(bar)]) {
        // The stated signature writes bars of its length (6/8, not the 3/4 of twelve
        // sixteenths, counted or not); a bar of one column for each of its beats
        // ("x-xx-xx-xx-x" under 12/8) spreads its columns over it.
        const int sNum = m_statedSig & 0x1F;
        const int sDen = 1 << (m_statedSig >> 5);
        const int sTicks = sNum * 32 / sDen;
        if (sTicks == ticks) {
            num = sNum;
            den = sDen;
        } else if (!timeLine && m_anchors.empty() && sTicks <= 64 && ((end - firstColumn) * 4 == sTicks || (end - firstColumn) * 8 == sTicks)) {
            // A column for each eighth or each quarter of it ("(5/4)" over ten columns).
            num = sNum;
            den = sDen;
            ticks = sTicks;
            m_anchors.push_back({firstColumn, 0, false});
            m_anchorOpen = firstColumn;
            m_anchorClose = end;
            m_anchorEnd = sTicks * 12;
        }
    }

    // A last hit after the staff's last bar line ("|X--", "|x-->") rings through a bar of
    // the meter before it.
    if (f.m_lastHitBar && bar + 1 == f.m_barCount && !split && m_timeSigNum * 32 / m_timeSigDen > ticks) {
        num = m_timeSigNum;
        den = m_timeSigDen;
        ticks = num * 32 / den;
    }

    // A bar line in the middle of a counted bar ("|1e+a2e+a|3e+a4e+a|", a line every two
    // beats for easier reading): the count goes on across it, and so does the bar.
    const bool counted = timeLine && m_timeMode == 2;
    if (CEvent* whole = counted && !split ? CountedBarGoingOn(events, bar, ticks) : nullptr) {
        // The bar's start is where the count goes on from, not 0: an anchor of its own, so
        // that notes before the first syllable move with the rest.
        if (m_anchors.empty() || m_anchors.front().column > m_anchorOpen)
            m_anchors.insert(m_anchors.begin(), {m_anchorOpen, 0, false});
        for (SAnchor& a : m_anchors)
            a.pos += m_countGoesOn;
        m_anchorEnd += m_countGoesOn;
        whole->m_word2 = (whole->m_word2 & ~EventBits::TimeSigMask) | TimeSigWord(uint32_t(m_countFullNum), uint32_t(m_countFullDen));
        m_timeSigNum = m_countFullNum;
        m_timeSigDen = m_countFullDen;
        WalkColumns(events, bar, firstColumn, int(whole->GetMeasureTicks()), false, whole);
        return whole;
    }

    CEvent* barEvent = AppendEvent(events, EventType::Bar, BarWord(num, den, flags, f.BarAux()[size_t(bar)]));
    EmitMeasureRef(barEvent, open);
    m_timeSigNum = num;
    m_timeSigDen = den;
    ++m_barTotal;
    m_countedFromOne = counted && m_countFromOne && !split ? barEvent : nullptr;
    WalkColumns(events, bar, firstColumn, ticks, split, barEvent);
    return barEvent;
}

int CTabImporter::TrailingRepeatCount(const CImportLine& line) const
{
    if (line.m_barCount == 0)
        return -1;
    int from = line.BarEnd().back();
    while (from < line.Length() && (line.At(from) == m_barChar || IsDotChar(line.At(from))))
        ++from;
    if (from >= line.Length())
        return -1;
    const std::string_view rest = std::string_view(line.m_text).substr(size_t(from));
    const int n = FindMultiplier(rest);
    if (n >= 0)
        return n - 1;
    // "repeat 3 times" after the staff reads like an annotation over it.
    int count = -1;
    int ending = 0;
    if (ReadRepeatWords(rest, &count, &ending) && count > 0)
        return count;
    return -1;
}

bool CTabImporter::ConvertBlock(CEventList& events)
{
    if (m_blockLines.empty())
        return true;
    ++m_blockCount;
    m_measureRefDone = false;
    const int groupFirst = m_lines[size_t(m_blockLines[0])].m_groupFirst;
    if (groupFirst < 0) {
        KADENZO_INTERNAL_PROBLEM(ReportSource::Import);
        return false;
    }
    CImportLine& f = m_lines[size_t(groupFirst)];
    const int bars = f.m_barCount;
    if (m_timeMode == 2 && m_blockTimeLine < 0) {
        bool written = false;
        for (int k = 0; k < bars; ++k)
            written = written || (f.BarFlags()[size_t(k)] & BarFlag::KindMask) == BarFlag::KindWritten;
        if (written)
            AddIssue(ImportIssue::BadTimeLine, m_blockLines[0], 0, m_lines[size_t(m_blockLines[0])].Length());
    }

    // "same as verse" or "(repeat chorus)" between the staff before and this one.
    const int titleFirst = std::min(m_blockLines.front(), m_blockPreComment >= 0 ? m_blockPreComment : INT32_MAX);
    EmitSectionCopies(events, m_lastBlockEnd + 1, titleFirst);
    const CEvent* before = events.empty() ? nullptr : &events.back();

    // Triplet marks need a 't' on a staff line or a count digit in the post comment.
    m_blockMayHoldTriplets = m_blockPostComment >= 0 && m_lines[size_t(m_blockPostComment)].m_hasDigit;
    for (int line : m_blockLines) {
        const CImportLine& l = m_lines[size_t(line)];
        if (m_blockMayHoldTriplets || !l.MayHold(WordLetters("t")))
            continue;
        const size_t from = size_t(std::clamp(l.m_firstBarColumn + l.m_columnShift, 0, l.Length()));
        m_blockMayHoldTriplets = std::any_of(l.m_text.begin() + long(from), l.m_text.end(),
                                             [](char c) { return c == 't' || c == 'T'; });
    }
    static const std::array<uint16_t, 256> kNoNotes{};
    m_blockView.clear();
    m_walkFrom = INT_MAX; // the block's columns are still to be read
    m_walkTo = INT_MIN;
    for (int line : m_blockLines) {
        const CImportLine& l = m_lines[size_t(line)];
        const uint16_t* notes = l.m_labelIndex >= 0 && l.m_labelIndex < int(m_noteTable.size())
            ? m_noteTable[size_t(l.m_labelIndex)].data()
            : kNoNotes.data();
        m_blockView.push_back({l.m_text.data(), l.Length(), l.m_columnShift, line, notes});
    }
    std::vector<CEvent*>& barEvents = m_barEvents;
    barEvents.assign(size_t(bars), nullptr);
    bool converted = false;
    bool repeated = false;
    int emitted = 0;
    int pendingColumn = 0;
    auto flush = [&]() {
        if (m_pendingRepeatCount > 0) {
            FlushPendingRepeat(events, pendingColumn);
            ++emitted;
        }
    };
    auto addPending = [&](int count, int measures, int column) {
        if (m_pendingRepeatCount > 0 && m_pendingRepeatMeasures != measures)
            flush();
        if (m_pendingRepeatCount == 0)
            pendingColumn = column;
        m_pendingRepeatCount += count;
        m_pendingRepeatMeasures = measures;
        repeated = true;
    };
    // A signature the tab states above this staff ("Time: 6/8", "(12/8)"), on a line of its own
    // since the staff before, holds for the bars from here on.
    for (int l = m_lastBlockEnd + 1; l < m_blockLines.front(); ++l) {
        const CImportLine& line = m_lines[size_t(l)];
        if (line.m_type != LineType::StaffLine && line.m_type != LineType::TimeLine && line.m_hasDigit)
            if (const uint8_t sig = FindTimeSigInText(line.m_text)) {
                // One signature: a line naming several ("goes 4/4, 3/4, 2/4") states none.
                const std::string_view t = line.m_text;
                int slashes = 0;
                for (size_t k = 1; k + 1 < t.size(); ++k)
                    slashes += t[k] == '/' && IsDigit(t[k - 1]) && IsDigit(t[k + 1]);
                if (slashes == 1)
                    m_statedSig = sig;
            }
    }
    for (int k = 0; k < bars; ++k) {
        const uint8_t flags = f.BarFlags()[size_t(k)];
        const int open = f.BarOpen()[size_t(k)];
        const uint8_t aux = f.BarAux()[size_t(k)];
        const uint8_t aux2 = f.BarAux2()[size_t(k)];
        // Copies of a bar with several endings go before the first later ending of a higher
        // number, or before the first bar that is no ending.
        if (!m_endingCopies.empty() && (flags & BarFlag::KindMask) != BarFlag::KindText) {
            const int ending = (flags & BarFlag::GroupEnd) && aux > 0 ? aux : 0;
            const bool due = ending == 0
                || std::any_of(m_endingCopies.begin(), m_endingCopies.end(),
                               [&](const SEndingCopy& c) { return c.ending < ending; });
            if (due) {
                flush();
                emitted += EmitEndingCopies(events, ending);
            }
        }
        switch (flags & BarFlag::KindMask) {
        case BarFlag::KindText:
            if (const uint8_t sig = f.BarTimeSig()[size_t(k)]) {
                m_timeSigNum = sig & 0x1F;
                m_timeSigDen = 1 << (sig >> 5);
            }
            break;
        case BarFlag::KindRepeat:
            addPending(aux ? aux : 1, std::max<int>(aux2, 1), open);
            converted = true;
            break;
        case BarFlag::KindRest: {
            flush();
            CEvent* ev = AppendEvent(events, EventType::Bar, BarWord(4, 4, flags, aux));
            EmitMeasureRef(ev, open);
            AppendEvent(events, EventType::Rest, 0);
            barEvents[size_t(k)] = ev;
            m_timeSigNum = 4;
            m_timeSigDen = 4;
            ++m_barTotal;
            ++emitted;
            converted = true;
            break;
        }
        default:
            flush();
            barEvents[size_t(k)] = ConvertWrittenBar(events, k);
            ++emitted;
            if (k > 0 && barEvents[size_t(k)] == barEvents[size_t(k) - 1])
                --emitted; // the bar before went on across a bar line in its middle
            converted = true;
            break;
        }
        if (barEvents[size_t(k)] && (flags & BarFlag::GroupEnd) && aux > 0)
            if (const unsigned more = MoreEndingsOf(groupFirst, k))
                KeepEndingCopies(events, barEvents[size_t(k)], more);
        // A repeat count on the bar that closes a group: the group is played that many more
        // times, as a measure repeat after it.
        const int kind = flags & BarFlag::KindMask;
        if (kind != BarFlag::KindRepeat && kind != BarFlag::KindText && !(flags & BarFlag::GroupEnd) && aux > 0)
            addPending(aux, std::max<int>(aux2, 1), open);
    }
    if (bars > 0)
        flush();

    if (converted && !repeated) {
        for (int line : m_blockLines) {
            int count = TrailingRepeatCount(m_lines[size_t(line)]);
            int measures = emitted;
            // After a repeat sign that closes a group begun on this staff (":|| x3") the count
            // is how often the group plays in all: the group becomes plain bars played that
            // often (a measure repeat after a repeat group would play the group twice each time).
            int last = bars - 1;
            while (last >= 0 && (f.BarFlags()[size_t(last)] & BarFlag::KindMask) == BarFlag::KindText)
                --last;
            if (count > 0 && last >= 0 && (f.BarFlags()[size_t(last)] & BarFlag::RepeatEndSign)
                && (f.BarFlags()[size_t(last)] & BarFlag::GroupEnd) && f.BarAux()[size_t(last)] == 0) {
                int start = last;
                while (start >= 0 && !(f.BarFlags()[size_t(start)] & BarFlag::GroupStart))
                    --start;
                if (start >= 0 && barEvents[size_t(start)] && barEvents[size_t(last)]) {
                    measures = 0;
                    for (int k = start; k <= last; ++k)
                        measures += (f.BarFlags()[size_t(k)] & BarFlag::KindMask) != BarFlag::KindText;
                    barEvents[size_t(start)]->m_word2 &= ~EventBits::RepeatGroupStart;
                    barEvents[size_t(last)]->m_word2 &= ~EventBits::RepeatGroupEnd;
                }
            }
            if (count > 0) {
                m_pendingRepeatCount = count;
                m_pendingRepeatMeasures = measures;
                FlushPendingRepeat(events, f.BarEnd().empty() ? 0 : f.BarEnd().back());
                break;
            }
        }
    }
    // A tempo line between the staff before and this one changes the tempo at its first bar.
    const int blockFirst = std::min(m_blockLines.front(), m_blockPreComment >= 0 ? m_blockPreComment : INT32_MAX);
    if (m_lastBlockEnd >= 0 && m_firstStaffLine >= 0) {
        int tempo = 0;
        for (int l = m_lastBlockEnd + 1; l < blockFirst; ++l)
            if (m_lines[size_t(l)].m_type == LineType::Header)
                if (const int t = TempoLineValue(m_lines[size_t(l)]); t > 0)
                    tempo = t;
        const auto bar = std::find_if(barEvents.begin(), barEvents.end(), [](const CEvent* e) { return e != nullptr; });
        if (tempo > 0 && bar != barEvents.end())
            (*bar)->m_word1 = ((*bar)->m_word1 & ~EventBits::TempoMask) | TempoBits(uint32_t(tempo));
    }
    if (converted)
        RecordSection(events, before, m_blockLines.front());
    m_lastBlockEnd = std::max({m_blockLines.back(), m_blockPostComment, m_blockTimeLine});
    if (!converted) {
        for (int line : m_blockLines)
            m_lines[size_t(line)].m_type = LineType::Unknown;
    }
    AttachComment(f, barEvents);
    return true;
}

void CTabImporter::AttachComment(const CImportLine& f, const std::vector<CEvent*>& barEvents)
{
    // Repeat marks already became measure fields; written again as bar text they would
    // come back as a second repeat when the song is exported and read again.
    auto usable = [this](int line) {
        return line >= 0 && !m_lines[size_t(line)].m_repeatAnnotation
            && FirstNonBlank(m_lines[size_t(line)].m_text, 0) >= 0;
    };
    const int commentLine = usable(m_blockPreComment) ? m_blockPreComment
        : usable(m_blockPostComment)                  ? m_blockPostComment
                                                      : -1;
    if (commentLine < 0)
        return;
    const CImportLine& comment = m_lines[size_t(commentLine)];
    const int c = FirstNonBlank(comment.m_text, 0);
    // A line of accent marks or brackets says nothing to show over the bar.
    if (c < 0 || std::none_of(comment.m_text.begin(), comment.m_text.end(), [](char ch) { return IsAlnum(ch); }))
        return;
    // Nor does a line that opens and closes the hi-hat, nor one of bar numbers.
    if (commentLine == m_blockPreComment && HatMarksOf(commentLine) != HatMarks::None)
        return;
    if (IsBarNumberLine(comment.m_text))
        return;
    std::string_view text = std::string_view(comment.m_text).substr(size_t(c));
    std::string words;
    if (comment.m_staffCount) {
        words = WithoutStaffCount(text);
        if (words.empty())
            return;
        text = words;
    }
    for (int k = 0; k < f.m_barCount; ++k) {
        if (f.BarEnd()[size_t(k)] <= c || !barEvents[size_t(k)])
            continue;
        barEvents[size_t(k)]->SetText(ImportedText(text));
        return;
    }
}

void CTabImporter::FindBarCharacters(int firstColumn, int end)
{
    // One pass along each line reads the columns of all the block's bars, the first time a
    // bar asks: the bars after it find theirs already read.
    if (firstColumn >= m_walkFrom && std::max(end, firstColumn) <= m_walkTo)
        return;
    const CImportLine& f = m_lines[size_t(m_lines[size_t(m_blockLines[0])].m_groupFirst)];
    end = std::max(end, firstColumn);
    for (const int open : f.BarOpen())
        firstColumn = std::min(firstColumn, open);
    for (const int close : f.BarEnd())
        end = std::max(end, close);
    m_walkFrom = firstColumn;
    m_walkTo = end;
    // Ticks and blanks are never notes; a column is used when some line has more than a
    // blank in it.
    static_assert(ImportLimits::kMaxBlockLines <= 16, "a bit for each line of a block");
    const SBlockLine* const view = m_blockView.data();
    const size_t viewLines = m_blockView.size();
    const int width = end - firstColumn;
    std::vector<uint8_t>& columnUsed = m_walkColumnUsed;
    columnUsed.assign(size_t(width) + 8, 0); // room for the last eight-column store
    m_walkLines.assign(size_t(width), 0);
    uint16_t* const lines = m_walkLines.data();
    constexpr uint16_t kBlank = kKindSpace | kKindUnderscore;
    const uint64_t spaces = kByteOnes * uint8_t(' ');
    const uint64_t underscores = kByteOnes * uint8_t('_');
    const uint64_t ticks8 = kByteOnes * uint8_t(m_tickChar);
    for (size_t i = 0; i < viewLines; ++i) {
        const SBlockLine& b = view[i];
        const uint16_t bit = uint16_t(1u << i);
        // Columns beyond the line's text read as blanks.
        const int lo = std::max(firstColumn + b.shift, 0);
        const int hi = std::min(end + b.shift, b.length);
        const auto* text = reinterpret_cast<const unsigned char*>(b.text);
        uint8_t* used = columnUsed.data();
        const int toColumn = b.shift + firstColumn; // line column - toColumn = walk column
        int c = lo;
        // Eight columns at a time: most are ticks.
        for (; c + 8 <= hi; c += 8) {
            uint64_t w;
            std::memcpy(&w, text + c, 8);
            const uint64_t blank = ZeroBytes(w ^ spaces) | ZeroBytes(w ^ underscores);
            const uint64_t notes8 = ~(blank | ZeroBytes(w ^ ticks8)) & kByteHighs;
            uint64_t u;
            std::memcpy(&u, used + (c - toColumn), 8);
            u |= (~blank & kByteHighs) >> 7;
            std::memcpy(used + (c - toColumn), &u, 8);
            if (notes8) {
                // The eight flags to eight 16-bit lanes, this line's bit in each lane with a note.
                const uint64_t flags = notes8 >> 7;
                uint64_t lo = flags & 0xFFFFFFFFu;
                uint64_t hi = flags >> 32;
                lo = (lo | (lo << 16)) & 0x0000FFFF0000FFFFull;
                hi = (hi | (hi << 16)) & 0x0000FFFF0000FFFFull;
                lo = (lo | (lo << 8)) & 0x00FF00FF00FF00FFull;
                hi = (hi | (hi << 8)) & 0x00FF00FF00FF00FFull;
                uint16_t* const to = lines + (c - toColumn);
                uint64_t l0, l1;
                std::memcpy(&l0, to, 8);
                std::memcpy(&l1, to + 4, 8);
                l0 |= lo * bit;
                l1 |= hi * bit;
                std::memcpy(to, &l0, 8);
                std::memcpy(to + 4, &l1, 8);
            }
        }
        for (; c < hi; ++c) {
            const uint16_t kind = m_charKind[text[c]];
            if (kind & kBlank)
                continue;
            used[c - toColumn] = 1;
            if (!(kind & kKindTick))
                lines[c - toColumn] |= bit;
        }
    }
}

namespace {
// The first word of a title, in lower case ("Chorus (x2)" -> "chorus").
std::string SectionName(std::string_view t)
{
    std::string name;
    size_t k = 0;
    while (k < t.size() && !IsLetter(t[k]))
        ++k;
    while (k < t.size() && IsLetter(t[k]))
        name.push_back(ToLower(t[k++]));
    return name;
}

// Whether phrase (lower case) stands in text, ignoring case.
bool HoldsNoCase(std::string_view text, std::string_view phrase)
{
    for (size_t i = 0; i + phrase.size() <= text.size(); ++i) {
        size_t k = 0;
        while (k < phrase.size() && ToLower(text[i + k]) == phrase[k])
            ++k;
        if (k == phrase.size())
            return true;
    }
    return false;
}

// The section a line asks for again: "Verse 2 - same as verse", "(repeat chorus)", "repeat
// the chorus". Empty when it asks for none.
std::string SectionAskedFor(std::string_view t)
{
    // Most lines ask for nothing: looked for before the line is copied in lower case.
    if (!HoldsNoCase(t, "same as ") && !HoldsNoCase(t, "repeat "))
        return {};
    std::string lower;
    for (char c : t)
        lower.push_back(ToLower(c));
    size_t at = lower.find("same as ");
    size_t from = std::string::npos;
    if (at != std::string::npos) {
        from = at + 8;
    } else {
        at = lower.find("repeat ");
        if (at == std::string::npos || (at > 0 && IsLetter(lower[at - 1])))
            return {};
        // Only "repeat" and its section: "repeat chorus", "(repeat the chorus)".
        for (size_t k = 0; k < at; ++k)
            if (lower[k] != ' ' && lower[k] != '(' && lower[k] != '[')
                return {};
        from = at + 7;
    }
    std::string_view rest = std::string_view(lower).substr(from);
    while (!rest.empty() && rest.front() == ' ')
        rest.remove_prefix(1);
    if (rest.substr(0, 4) == "the ")
        rest.remove_prefix(4);
    std::string name = SectionName(rest);
    if (name == "this" || name == "that" || name == "it" || name == "above" || name == "once")
        return {};
    return name;
}
} // namespace

bool CTabImporter::AsksForSections() const
{
    static const uint32_t same = WordLetters("same");
    static const uint32_t repeat = WordLetters("repeat");
    for (int l = 0; l < int(m_lines.size()); ++l) {
        const CImportLine& line = m_lines[size_t(l)];
        if (line.Length() > 60 || line.Length() < 4 || line.m_type == LineType::StaffLine)
            continue;
        if ((line.MayHold(same) || line.MayHold(repeat)) && line.Length() >= 8 && !SectionAskedFor(line.m_text).empty())
            return true;
        int plays = 0;
        if (!SectionCall(l, &plays).empty())
            return true;
    }
    return false;
}

void CTabImporter::DecideEighthGrid()
{
    m_eighthGridFrom = INT_MAX;
    if (m_ticksPerChar != 2)
        return;
    // Said in words: "one character = one 8th note", "each - is an 8th".
    static const uint32_t eighth = WordLetters("th");
    for (int l = 0; l < int(m_lines.size()); ++l) {
        const CImportLine& line = m_lines[size_t(l)];
        if (line.m_type == LineType::StaffLine || line.Length() > 120 || !line.MayHold(eighth))
            continue;
        const std::string_view t = line.m_text;
        if (!HoldsNoCase(t, "8th") && !HoldsNoCase(t, "eighth"))
            continue;
        const bool per = HoldsNoCase(t, "char") || HoldsNoCase(t, "column") || HoldsNoCase(t, "dash") || HoldsNoCase(t, "each")
            || HoldsNoCase(t, " - ") || HoldsNoCase(t, "space");
        if (per) {
            m_eighthGridFrom = l;
            return;
        }
    }
    // A backbeat on the third and seventh of eight columns, in a tab with no wider bars.
    int on = 0;
    int off = 0;
    for (const CImportLine& line : m_lines) {
        if (line.m_type != LineType::StaffLine || line.m_labelIndex < 0 || line.m_groupFirst < 0)
            continue;
        const CImportLine& f = m_lines[size_t(line.m_groupFirst)];
        const bool snare = [&] {
            const InstrumentTables::SLabelAlias* alias = InstrumentTables::FindAlias(m_labels[size_t(line.m_labelIndex)].label);
            return alias && alias->kind == InstrumentTables::AliasSnare;
        }();
        for (int k = 0; k < f.m_barCount && k < int(f.BarOpen().size()); ++k) {
            const int open = f.BarOpen()[size_t(k)];
            const int width = f.BarEnd()[size_t(k)] - open;
            if (width >= 12)
                return; // bars of sixteenths
            if (width != 8 || !snare)
                continue;
            for (int c = 0; c < 8; ++c) {
                const char ch = line.At(open + line.m_columnShift + c);
                if (ch == m_tickChar || ch == ' ' || ch == m_barChar)
                    continue;
                ++(c == 2 || c == 6 ? on : off);
            }
        }
    }
    if (on >= 2 && on >= 2 * off)
        m_eighthGridFrom = 0;
}

std::string CTabImporter::SectionCall(int l, int* plays) const
{
    const CImportLine& line = m_lines[size_t(l)];
    const std::string_view t = line.m_text;
    if (line.Length() > 60 || line.m_type == LineType::StaffLine || line.m_type == LineType::TimeLine
        || (m_barChar && t.find(m_barChar) != std::string_view::npos))
        return {};
    static const uint32_t againLetters = WordLetters("again");
    static const uint32_t aboveLetters = WordLetters("above");
    static const uint32_t beforeLetters = WordLetters("before");
    // A section's name first ("Chorus x2"): a count line or a bracket is none.
    const int first = FirstNonBlank(t, 0);
    if (first < 0 || !IsLetter(t[size_t(first)]))
        return {};
    // No staff (or its count) under it: then it is the staff's title. (While the staves are
    // still being found, a line with bar lines under it is taken for one.)
    for (int k = l + 1; k < int(m_lines.size()); ++k) {
        const CImportLine& next = m_lines[size_t(k)];
        if (next.m_type == LineType::Blank)
            continue;
        if (next.m_type == LineType::StaffLine || next.m_type == LineType::TimeLine
            || (m_barChar && std::string_view(next.m_text).find(m_barChar) != std::string_view::npos))
            return {};
        break;
    }
    const int n = line.m_hasDigit ? FindMultiplier(t) : -1;
    if (n < 2 && !line.MayHold(againLetters) && !line.MayHold(aboveLetters) && !line.MayHold(beforeLetters))
        return {};
    const bool again = HoldsNoCase(t, " again") || HoldsNoCase(t, "as above") || HoldsNoCase(t, "as before");
    if (!again && n < 2)
        return {};
    const std::string name = SectionName(t);
    if (name.size() < 3 || name == "same" || name == "repeat" || name == "play" || name == "then" || name == "this")
        return {};
    // The titles of the staves above, back from the nearest (a song's worth of lines).
    bool nearest = true;
    bool earlier = false;
    for (int k = l - 1; k >= 0 && k >= l - ImportLimits::kMaxSectionLookBack && !earlier; --k) {
        const CImportLine& title = m_lines[size_t(k)];
        if (title.m_type == LineType::Blank || title.m_type == LineType::StaffLine || title.m_type == LineType::TimeLine)
            continue;
        int s = k + 1;
        while (s < l && m_lines[size_t(s)].m_type == LineType::TimeLine)
            ++s;
        if (s >= l || m_lines[size_t(s)].m_type != LineType::StaffLine)
            continue;
        const bool same = SectionName(title.m_text) == name;
        if (nearest && same)
            return {}; // the count of the staff right above
        nearest = false;
        earlier = same;
    }
    if (!earlier)
        return {};
    *plays = std::max(n, 1);
    return name;
}

void CTabImporter::RecordSection(const CEventList& events, const CEvent* before, int blockFirst)
{
    if (!m_asksForSections)
        return;
    std::string name;
    for (int l = blockFirst - 1; l > m_lastBlockEnd && l >= 0; --l) {
        const CImportLine& line = m_lines[size_t(l)];
        if (line.m_type == LineType::Blank || line.m_type == LineType::TimeLine)
            continue;
        if (line.m_type == LineType::StaffLine)
            break;
        name = SectionName(line.m_text);
        break;
    }
    if (name.empty())
        return;
    // The block's events, back from the end of the song to the one before them.
    std::vector<std::pair<uint32_t, uint32_t>> words;
    for (auto it = events.end(); it != events.begin();) {
        --it;
        if (&*it == before || words.size() > size_t(ImportLimits::kMaxSectionEvents))
            break;
        words.emplace_back(it->m_word1, it->m_word2);
    }
    if (words.empty() || words.size() > size_t(ImportLimits::kMaxSectionEvents))
        return;
    std::reverse(words.begin(), words.end());
    // The latest staff under a name is the one asked for.
    const auto same = std::find_if(m_sections.begin(), m_sections.end(), [&](const SSection& s) { return s.name == name; });
    if (same != m_sections.end())
        same->words = std::move(words);
    else
        m_sections.push_back({std::move(name), std::move(words)});
}

void CTabImporter::EmitSectionCopies(CEventList& events, int from, int to)
{
    for (int l = std::max(from, 0); l < to && l < int(m_lines.size()); ++l) {
        CImportLine& line = m_lines[size_t(l)];
        if (line.m_type == LineType::StaffLine || line.m_type == LineType::TimeLine || line.m_staffCount || line.Length() > 60)
            continue;
        int plays = 1;
        std::string name = SectionAskedFor(line.m_text);
        if (name.empty())
            name = SectionCall(l, &plays);
        if (name.empty())
            continue;
        const auto section = std::find_if(m_sections.begin(), m_sections.end(), [&](const SSection& s) { return s.name == name; });
        if (section == m_sections.end())
            continue;
        for (int play = 0; play < plays; ++play) {
            for (const auto& [w1, w2] : section->words) {
                const uint32_t type = w1 & EventBits::TypeMask;
                const bool measure = type == EventType::Bar || type == EventType::RepeatPrevMeasures;
                if (measure && m_copiedMeasures >= ImportLimits::kMaxCopiedMeasures)
                    return;
                // A copy stands at no line of the tab: it starts no imported staff line.
                AppendEvent(events, measure ? w1 & ~EventBits::ImportedLineStart : w1, w2);
                if (measure) {
                    ++m_barTotal;
                    ++m_copiedMeasures;
                }
            }
        }
    }
}
