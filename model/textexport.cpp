#include "textexport.h"

#include "rondeldoc.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <numeric>
#include <optional>
#include <vector>

namespace {

enum ELine : int {
    kCrash = 0,
    kRide,
    kHiHat,
    kSnare,
    kTom1,
    kTom6 = kTom1 + 5,
    kBass,
    kPercussion,
    // Lines of their own for notes that fall on a column their usual line already holds.
    kFoot,
    kCrash2,
    kChina,
    kSplash,
    kComment,
    kCount,
    kLineCount
};
constexpr int kInstrumentLines = kSplash + 1; // the lines that take a fill

constexpr std::array<const char*, kLineCount> kLabels = {
    "Cr ", "Rd ", "HH ", "S  ", "T1 ", "T2 ", "T3 ", "T4 ", "T5 ", "T6 ", "B  ", "P  ",
    "HF ", "C2 ", "CH ", "SP ", "   ", "   "};

// The line of its own that takes a key when its usual line is taken at that column.
int SecondLineOf(int key)
{
    switch (key) {
    case 44: return kFoot;
    case 57: return kCrash2;
    case 52: return kChina;
    case 55: return kSplash;
    default: return -1;
    }
}

// The staff is closed before a measure that would take it to this many columns.
constexpr int kMaxColumns = 100;
constexpr int kLabelColumns = 3; // a line's label, "HH ", before its first bar line
constexpr int kMaxCommentChars = 32;

struct SGlyph
{
    int line = -1; // -1: the key writes nothing
    char letter = 0;
    bool dynamics = false;
};

SGlyph GlyphOf(int key)
{
    switch (key) {
    case 35:
    case 36: return {kBass, 'x', true};
    case 44: return {kBass, 'f', false};
    case 38: return {kSnare, 'x', true};
    case 40: return {kSnare, 'e', true};
    case 37: return {kSnare, 's', false};
    case 56: return {kSnare, 'c', false};
    case 42: return {kHiHat, 'x', true};
    case 46: return {kHiHat, 'O', true};
    case 49: return {kCrash, 'c', true};
    case 52: return {kCrash, 't', true};
    case 55: return {kCrash, 's', true};
    case 57: return {kCrash, '2', true};
    case 51: return {kRide, 'x', true};
    case 53: return {kRide, 'b', true};
    case 59: return {kRide, '2', true};
    case 50: return {kTom1, 'x', true};
    case 48: return {kTom1 + 1, 'x', true};
    case 47: return {kTom1 + 2, 'x', true};
    case 45: return {kTom1 + 3, 'x', true};
    case 43: return {kTom1 + 4, 'x', true};
    case 41: return {kTom6, 'x', true};
    default: break;
    }
    static constexpr std::pair<int, char> kPercussionLetters[] = {
        {81, 'R'}, {80, 'r'}, {79, 'U'}, {78, 'u'}, {77, 'w'}, {76, 'W'}, {75, 'l'}, {74, 'G'}, {73, 'g'},
        {72, 'E'}, {71, 'e'}, {70, 'M'}, {69, 's'}, {68, 'a'}, {67, 'A'}, {66, 't'}, {65, 'T'}, {58, 'V'},
        {54, 'm'}, {39, 'H'}, {64, 'c'}, {63, 'C'}, {62, 'O'}, {61, 'b'}, {60, 'B'}};
    for (const auto& [k, letter] : kPercussionLetters)
        if (k == key)
            return {kPercussion, letter, false};
    return {};
}

// The digit written for beat `number` (1-based): its last digit.
char BeatDigit(int64_t number) { return char('0' + number % 10); }

// The count-line character of the column at 32nd tick t of a measure.
char CountChar(int64_t t)
{
    if (t % 8 == 0)
        return BeatDigit(t / 8 + 1);
    if (t % 4 == 0)
        return '+';
    if (t % 8 == 2)
        return 'e';
    if (t % 8 == 6)
        return 'a';
    return ' ';
}

int64_t TickOf(int64_t pos) { return pos * 8 / 96; }

// How a count line is read back decides what a measure may be written as. The reader takes
// a measure's length from its beats: counted in quarters ("1 e + a", "1 t+t"), it gives the
// signature of that length with the smallest denominator; counted in eighths ("1+",
// "1 t l"), a quarter denominator becomes eighths. A last beat written short ("4 e +")
// shortens the measure when it is at most three quarters of a beat and written like the
// beats before it.
constexpr int kQuarter = 96;
constexpr int kEighth = 48;
// Beat numbers are single digits: after 9 comes 0 for ten, 1 for eleven, as the reader counts on
// from ten when a number is smaller than the one before ("9+0+1+2+", a 12/8 bar in eighths).
constexpr int kMaxCountBeats = 12;

struct STimeSig
{
    int64_t num = 4;
    int64_t den = 4;
    bool operator==(const STimeSig&) const = default;
};

STimeSig SigOfTicks(int64_t ticks)
{
    for (int64_t d : {4, 8, 16, 32})
        if (ticks % (32 / d) == 0)
            return {ticks / (32 / d), d};
    return {ticks, 32};
}

// The signature a count of `beat`-long beats gives a measure of `ticks`.
STimeSig CountedSig(int64_t ticks, int beat)
{
    STimeSig s = SigOfTicks(ticks);
    if (beat == kEighth && s.den == 4)
        s = {s.num * 2, 8};
    return s;
}

// The count-line character of the column at offset o (position units) into a beat.
enum class EBeatStyle { Sixteenths, Triplets, Eighths, EighthTriplets };

char BeatChar(EBeatStyle style, int o, int number)
{
    if (o == 0)
        return BeatDigit(number);
    switch (style) {
    case EBeatStyle::Sixteenths: return o == 24 ? 'e' : o == 48 ? '+' : o == 72 ? 'a' : ' ';
    case EBeatStyle::Triplets: return o == 32 || o == 64 ? 't' : o == 48 ? '+' : ' ';
    case EBeatStyle::Eighths: return o == 24 ? '+' : ' ';
    case EBeatStyle::EighthTriplets: return o == 16 ? 't' : o == 32 ? 'l' : ' ';
    }
    return ' ';
}

// The style and column width (position units) of a beat whose notes lie on multiples of
// `grid`: 32nd columns counted "1 e + a" where they do, else the triplet grid the notes
// need: "1 t+t " over a quarter of sixteenth-note sextuplets ('+' read where it stands,
// the triplet marks between the columns in proportion, and a line not all of 't' is no
// line of note lengths), "1tl" over an eighth of 16th-note triplets.
std::pair<EBeatStyle, int> BeatLayout(int beat, int grid)
{
    if (beat == kQuarter) {
        if (grid % 12 == 0)
            return {EBeatStyle::Sixteenths, 12};
        if (grid >= 8 && 32 % grid == 0)
            return {EBeatStyle::Triplets, std::gcd(grid, 16)};
        return {EBeatStyle::Sixteenths, std::gcd(grid, 24)};
    }
    if (grid % 24 == 0)
        return {EBeatStyle::Eighths, 24};
    return {EBeatStyle::EighthTriplets, std::gcd(grid, 16)};
}

struct SColumn
{
    int64_t pos;
    char count;
};

// The columns of `beats` beats of `beat` position units, the last `last` long, over notes
// at `positions`: all in `style` on `width` columns when a style is given, else each beat on
// the grid of its own notes. Empty when a beat would take more than `maxBeatColumns`, or
// when beats of their own widths would read as a short last beat.
std::vector<SColumn> BeatColumns(int beat, int64_t beats, int64_t last, const std::vector<int64_t>& positions,
                                 std::optional<EBeatStyle> style, int width, int maxBeatColumns)
{
    std::vector<SColumn> columns;
    std::vector<int> widths; // columns of each beat
    size_t n = 0;
    for (int64_t b = 0; b < beats; ++b) {
        const int64_t start = b * beat;
        const int64_t length = b + 1 == beats ? last : beat;
        int64_t grid = beat;
        for (; n < positions.size() && positions[n] < start + length; ++n)
            grid = std::gcd(grid, positions[n] - start);
        const auto [beatStyle, beatWidth] = style ? std::pair{*style, width} : BeatLayout(beat, int(grid));
        if (beat / beatWidth > maxBeatColumns || length % beatWidth != 0)
            return {};
        for (int64_t o = 0; o < length; o += beatWidth)
            columns.push_back({start + o, BeatChar(beatStyle, int(o), int(b + 1))});
        widths.push_back(int(length / beatWidth));
    }
    if (!style && beats >= 2) {
        const int lastWidth = widths.back();
        const int before = widths[widths.size() - 2];
        const size_t lastStart = columns.size() - size_t(lastWidth);
        const size_t beforeStart = lastStart - size_t(before);
        bool same = true;
        for (int o = 1; o < lastWidth && same; ++o) {
            const char c = columns[lastStart + size_t(o)].count;
            same = c == ' ' || (o < before && c == columns[beforeStart + size_t(o)].count);
        }
        if (same && lastWidth * 4 <= widths[0] * 3 && before == widths[0])
            return {};
    }
    return columns;
}

// A count line is known for one by its syllables (not its beat numbers): more than one
// column in four, less four. Plain measures have three in eight, which leaves room for
// sparser ones on the same line; `slack` is that room (four times the syllables less the
// columns) on the line a measure joins.
bool IsSyllable(char c) { return c != ' ' && c != '|' && (c < '0' || c > '9'); }

bool PassesForCount(const QByteArray& countLine)
{
    const auto syllables = std::count_if(countLine.begin(), countLine.end(), IsSyllable);
    return syllables > std::max<qsizetype>(countLine.size() / 4 - 4, 3);
}

int64_t CountSlack(const QByteArray& countLine)
{
    const auto syllables = std::count_if(countLine.begin(), countLine.end(), IsSyllable);
    // The bar line before the measure and the one closing the line, and the "less four".
    return 4 * int64_t(syllables) - countLine.size() - 2 + 12;
}

// The columns of a measure of `units` position units whose notes stand at `positions`
// (sorted, distinct), at most `maxBeatColumns` a beat, no sparser than `slack` allows (or,
// without it, with a syllable at least every eighth column), on grids that the count line pins
// down, so that every note is read back where it is and the measure with its signature.
// Empty when no such count exists.
//
// A note on the bar line that ends the measure (as a tab's last column can leave it) gets
// one more beat number of a single column: a beat written that short adds less than a 32nd
// note to the measure's length, which the reader drops.
std::vector<SColumn> CountedColumns(int64_t units, STimeSig sig, const std::vector<int64_t>& positions, int maxBeatColumns,
                                    std::optional<int64_t> slack)
{
    const bool onEnd = !positions.empty() && positions.back() == units;
    if (units <= 0 || units % 12 != 0 || (!positions.empty() && positions.back() > units))
        return {};
    const int64_t ticks = units / 12;
    for (const int beat : {kQuarter, kEighth}) {
        if (CountedSig(ticks, beat) != sig)
            continue;
        const int64_t beats = (units + beat - 1) / beat;
        const int64_t last = units - (beats - 1) * beat; // the last beat's length
        if (beats + (onEnd ? 1 : 0) > kMaxCountBeats || (beats == 1 && last != beat && !onEnd)
            || (last < beat && (onEnd || last * 4 > beat * 3)))
            continue;
        int64_t whole = std::gcd(int64_t(beat), last);
        for (int64_t p : positions)
            whole = std::gcd(whole, p);
        auto [wholeStyle, wholeWidth] = BeatLayout(beat, int(whole));
        // Up to four eighths written "1tl2tl" would read as one trip-let a quarter: they are
        // spaced out ("1 t l 2 t l"), which reads as eighths. Four of them a blank apart read
        // as the shuffle count of a 4/4 bar: their first beat takes twice the columns.
        if (beat == kEighth && beats <= 4 && wholeStyle == EBeatStyle::EighthTriplets && wholeWidth == 16)
            wholeWidth = 8;
        const bool spreadOut = beat == kEighth && beats == 4 && last == beat && !onEnd && wholeStyle == EBeatStyle::EighthTriplets
            && wholeWidth == 8;
        if (onEnd) {
            // At least nine columns a quarter, five an eighth.
            if (wholeStyle == EBeatStyle::Eighths)
                wholeStyle = EBeatStyle::EighthTriplets;
            wholeWidth = std::gcd(wholeWidth, wholeStyle == EBeatStyle::Sixteenths ? 6 : 8);
        }
        // One grid for the whole measure where its beats are no wider than plain ones, else
        // whichever of that and a grid a beat takes fewer columns; always one grid when a beat
        // is written short (it is read against the first).
        std::vector<SColumn> best;
        for (const bool uniform : {true, false}) {
            if (!uniform && (onEnd || last < beat || spreadOut))
                break;
            std::vector<SColumn> columns = BeatColumns(beat, beats, last, positions, uniform ? wholeStyle : std::optional<EBeatStyle>(),
                                                       wholeWidth, maxBeatColumns);
            if (columns.empty())
                continue;
            if (spreadOut && uniform) {
                std::vector<SColumn> first = BeatColumns(beat, 1, beat, positions, wholeStyle, wholeWidth / 2, maxBeatColumns);
                columns.erase(columns.begin(), columns.begin() + beat / wholeWidth);
                columns.insert(columns.begin(), first.begin(), first.end());
            }
            const int64_t syllables = std::count_if(columns.begin(), columns.end(), [](const SColumn& c) { return IsSyllable(c.count); });
            const int64_t width = int64_t(columns.size());
            if (slack ? 4 * syllables - width - (onEnd ? 1 : 0) < -*slack : 8 * syllables < width)
                continue;
            if (onEnd)
                columns.push_back({units, BeatDigit(int(beats + 1))});
            if (uniform && beat / wholeWidth <= 8)
                return columns;
            if (best.empty() || columns.size() < best.size())
                best = std::move(columns);
        }
        if (!best.empty())
            return best;
    }
    return {};
}

// Whether the 32nd-note columns and triplet runs of the plain layout read back to this
// measure: its length from "1 e + a" beats, every note on its column. (Its signature may
// come back spelt in quarters: a 6/8 measure of 32nd notes as 3/4.)
bool PlainLayoutReadsBack(int64_t units, const std::vector<const CEvent*>& notes)
{
    const int64_t ticks = units / 12;
    if (units % 12 != 0 || ticks < 8 || ticks > kMaxCountBeats * 8 || ticks % 8 == 7)
        return false;
    if (!notes.empty() && int64_t(notes.back()->GetPosition()) >= units)
        return false; // notes on or past the closing bar line would lengthen the measure
    const int64_t beats = (ticks + 7) / 8;
    const int64_t lastJudged = beats >= 2 ? beats - 1 : 1; // the beat whose count sets the unit
    // The new positions in order, each with whether a triplet run starts there.
    std::vector<std::pair<int64_t, bool>> steps;
    for (const CEvent* ev : notes) {
        const int64_t p = ev->GetPosition();
        if (steps.empty() || steps.back().first != p)
            steps.push_back({p, false});
        steps.back().second = steps.back().second || ev->IsTriplet();
    }
    for (size_t k = 0; k < steps.size(); ++k) {
        const int64_t p = steps[k].first;
        if (p % 12 != 0)
            return false;
        if (!steps[k].second || k + 1 >= steps.size())
            continue;
        // A run: the next two positions take one column each, the third the column after.
        if (k + 2 >= steps.size())
            return false;
        const int64_t s = steps[k + 1].first - p;
        if ((s != 16 && s != 32 && s != 64) || steps[k + 2].first - steps[k + 1].first != s)
            return false;
        const bool onBeat = p % kQuarter == 0;
        if (onBeat && s == 16 && p / kQuarter + 1 == lastJudged)
            return false;
        if (k + 3 < steps.size()) {
            const int64_t p3 = steps[k + 3].first;
            const int64_t nextBeat = (p + 2 * s) / kQuarter * kQuarter + kQuarter;
            if (p3 % 24 != 0 || p3 < p + 3 * s || p3 > nextBeat)
                return false;
            if (onBeat && s == 16 && p3 == p + kQuarter)
                return false; // three syllables between two beats read as thirds of the beat
            if (!onBeat && (p % 24 != 0 || p3 != p + 3 * s))
                return false;
        } else if (!onBeat) {
            return false;
        }
        k += 2;
    }
    return true;
}

class CTextTabWriter
{
public:
    // With `denseCounts`, every count line is kept dense enough to be known for one on its
    // own; else a few may not be, which the reader forgives while most lines are.
    CTextTabWriter(const CRondelDoc& doc, bool denseCounts) : m_doc(doc), m_denseCounts(denseCounts)
    {
        for (const auto& ev : doc.Events())
            m_events.push_back(&ev);
    }

    QByteArray Write()
    {
        WriteHeader();
        ResetBlock();
        // Above any position, so that nothing is padded before the first bar line.
        m_pos = int64_t(1) << 40;
        size_t i = 0;
        while (i < m_events.size()) {
            const CEvent& ev = *m_events[i];
            if (ev.IsRest()) {
                ++i;
            } else if (ev.IsMeasure()) {
                if (!BarStep(i))
                    return Finish();
            } else {
                const bool placed = NoteStep(ev);
                ++i;
                if (placed && ev.IsTriplet())
                    i = TripletRun(i);
            }
        }
        // A song without its closing bar line still gets its last staff.
        WriteBlock();
        return Finish();
    }

private:
    void Put(const QByteArray& text) { m_out += text; }
    void Put(const char* text) { m_out += text; }

    void WriteHeader()
    {
        static constexpr std::pair<int, const char*> kHeaderLines[] = {
            {Header::Song, "Song:"},           {Header::Band, "Band:"},         {Header::Album, "Album:"},
            {Header::TrackNo, "Track No:"},    {Header::Year, "Year:"},         {Header::Duration, "Duration:"},
            {Header::Copyright, "Copyright:"}, {Header::LyricsBy, "Lyrics by:"}, {Header::Drummer, "Drummer:"},
            {Header::Tabber, "Drum Tab by:"}};
        for (const auto& [index, label] : kHeaderLines) {
            const QString& text = m_doc.m_header[size_t(index)];
            if (!text.isEmpty())
                Put(QByteArray(label) + '\t' + text.toLatin1() + '\n');
        }
        Put(QByteArray("\nCreated using Kadenzo, tab player/converter, drum notation editor. Free download at ")
            + kKadenzoWebAddress + "\n\n");
    }

    void ResetBlock()
    {
        for (int l = 0; l < kLineCount; ++l)
            m_lines[size_t(l)] = kLabels[size_t(l)];
        m_used.fill(false);
        for (auto& keys : m_keyAt)
            keys.clear();
        m_commentUsed = false;
        m_col = kLabelColumns;
    }

    void AppendColumn(char fill, char count)
    {
        QByteArray& comment = m_lines[kComment];
        if (m_col >= comment.size())
            comment += ' ';
        for (int l = 0; l < kInstrumentLines; ++l)
            m_lines[size_t(l)] += fill;
        m_lines[kCount] += count;
        ++m_col;
    }

    void Place(const CEvent& ev)
    {
        const SGlyph g = GlyphOf(int(ev.GetEventType()));
        if (g.line < 0)
            return;
        char letter = g.letter;
        if (g.dynamics) {
            if (ev.IsAccent())
                letter = char(std::toupper(static_cast<unsigned char>(letter)));
            else if (ev.IsFlamOrPM())
                letter = g.line == kBass ? 'F' : 'f'; // 'f' on the bass line is the hi-hat foot
            else if (ev.IsGhost())
                letter = 'g';
        }
        const int key = int(ev.GetEventType());
        // A grabbed crash or ride: '#' on its own line (the other cymbals' letters name them).
        if (ev.IsChoked() && (key == 49 || key == 51))
            letter = '#';
        int lineNo = g.line;
        const int at = m_col - 1;
        // One letter a column: when another key already stands there, whichever of the two
        // has a line of its own moves to it.
        std::vector<uint8_t>& keys = m_keyAt[size_t(lineNo)];
        if (int(keys.size()) <= at)
            keys.resize(size_t(at) + 1, 0);
        const int there = keys[size_t(at)];
        if (there && there != key) {
            if (SecondLineOf(key) >= 0) {
                lineNo = SecondLineOf(key);
                letter = g.dynamics && ev.IsAccent() ? 'X' : g.dynamics && ev.IsGhost() && !ev.IsFlamOrPM() ? 'g' : 'x';
            } else if (const int moved = SecondLineOf(there); moved >= 0) {
                const char old = m_lines[size_t(g.line)][at];
                m_lines[size_t(moved)][at] = there != 44 && (old == 'g' || std::isupper(static_cast<unsigned char>(old))) ? (old == 'g' ? 'g' : 'X') : 'x';
                m_used[size_t(moved)] = true;
            }
        }
        if (lineNo == g.line)
            keys[size_t(at)] = uint8_t(key);
        QByteArray& line = m_lines[size_t(lineNo)];
        if (at < line.size())
            line[at] = letter;
        m_used[size_t(lineNo)] = true;
        if (g.line == kPercussion)
            m_percussionUsed = true;
        m_measureWritten = true;
        m_anyNoteWritten = true;
    }

    // Pads up to the note and places it; false when its position is never met exactly.
    bool NoteStep(const CEvent& ev)
    {
        const int64_t p = ev.GetPosition();
        while (m_pos < p) {
            m_pos += 12;
            AppendColumn('-', CountChar(TickOf(m_pos)));
        }
        if (p != m_pos)
            return false;
        Place(ev);
        return true;
    }

    // After a triplet note: the next two new positions take one column each, marked t and
    // l/t/q on the count line; the third new position ends the run and is handled as an
    // ordinary note. Returns the index of the event to go on with.
    size_t TripletRun(size_t i)
    {
        int k = 0;
        while (i < m_events.size()) {
            const CEvent& ev = *m_events[i];
            if (ev.IsMeasure())
                break;
            if (ev.IsRest()) {
                ++i;
                continue;
            }
            const int64_t p = ev.GetPosition();
            if (p == m_pos) {
                Place(ev);
                ++i;
                continue;
            }
            if (++k <= 2) {
                char count = 't';
                if (k == 2)
                    count = p - m_pos == 16 ? 'l' : p - m_pos == 32 ? 't' : p - m_pos == 64 ? 'q' : ' ';
                AppendColumn('-', count);
                m_pos = p;
                Place(ev);
                ++i;
                continue;
            }
            AppendColumn('-', CountChar(TickOf(p)));
            m_pos = p;
            break;
        }
        return i;
    }

    // The measure-repeat sign: the count on the hi-hat line, dots and slashes on the snare.
    void AppendRepeatSign(const CEvent& ev)
    {
        AppendColumn('|', ' ');
        m_measureWritten = true;
        const int n = int(ev.GetRepeatPrevNMeasures());
        const int count = int(ev.GetRepeatPrevCount());
        bool digitWritten = false;
        for (int c = 0; c < n + 4; ++c) {
            if (m_col >= m_lines[kComment].size())
                m_lines[kComment] += ' ';
            char hiHat = ' ';
            char snare = ' ';
            if (c == 1 || c == n + 2) {
                snare = '.';
            } else if (c != 0 && c != n + 3) {
                snare = '/';
                if (!digitWritten && count > 1)
                    hiHat = char('0' + count);
                digitWritten = true;
            }
            for (int l = 0; l < kInstrumentLines; ++l)
                m_lines[size_t(l)] += l == kHiHat ? hiHat : l == kSnare ? snare : ' ';
            m_lines[kCount] += ' ';
            ++m_col;
        }
    }

    // The bar line before m_events[i]. Advances i; false when the song has ended.
    bool BarStep(size_t& i)
    {
        if (m_measure) {
            const int64_t ticks = m_measure->GetMeasureTicks();
            if (TickOf(m_pos) < ticks) {
                while (m_pos < (ticks - 1) * 12) {
                    m_pos += 12;
                    AppendColumn('-', CountChar(TickOf(m_pos)));
                }
            }
        }
        const int64_t nextTicks = m_events[i]->GetMeasureTicks();
        if (m_events[i]->IsRepeatPrev()) {
            AppendRepeatSign(*m_events[i]);
            // The repeat measure holds nothing to write; the next bar line takes its place.
            ++i;
            while (i < m_events.size() && !m_events[i]->IsMeasure())
                ++i;
            if (i == m_events.size()) {
                WriteBlock();
                return false;
            }
        }
        const CEvent& ev = *m_events[i];
        m_measure = &ev;
        const bool last = i + 1 == m_events.size();
        // Read back, an empty measure at the end of a staff closes the song: an empty last
        // measure of a song with notes is followed by the closing bar's own, so that it stays.
        const bool closing = last && !m_measureWritten && m_anyNoteWritten;
        std::vector<SColumn> counted = last && !closing ? std::vector<SColumn>() : CountedLayout(i);
        const int64_t width = counted.empty() ? int64_t(nextTicks) : int64_t(counted.size());
        // A tempo change starts a staff of its own: its line stands above the staff, and read
        // back it holds from the staff's first measure on.
        const bool tempoChange = ev.GetTempo() != 0 && m_col > kLabelColumns && !last;
        if (m_col + width >= kMaxColumns || (last && !closing) || tempoChange) {
            WriteBlock();
            if (last && !closing)
                return false;
            ResetBlock();
            counted = CountedLayout(i); // on a new count line
        }
        m_measureWritten = false;
        AppendColumn('|', ' ');
        if (const uint32_t tempo = ev.GetTempo())
            Put(QByteArray("tempo=") + QByteArray::number(tempo) + "bpm\n\n");
        if (ev.HasText()) {
            m_lines[kComment] += ev.GetText().left(kMaxCommentChars).toLatin1();
            m_commentUsed = true;
        }
        m_pos = -12;
        ++i;
        if (!counted.empty()) {
            i = WriteCounted(i, counted);
            m_pos = int64_t(ev.GetMeasureTicks()) * 12;
        } else if (closing) {
            while (m_pos < (int64_t(nextTicks) - 1) * 12) {
                m_pos += 12;
                AppendColumn('-', CountChar(TickOf(m_pos)));
            }
        }
        if (closing) {
            WriteBlock();
            return false;
        }
        return true;
    }

    // The notes of the measure opened by m_events[i], in position order.
    std::vector<const CEvent*> MeasureNotes(size_t i) const
    {
        std::vector<const CEvent*> notes;
        for (size_t j = i + 1; j < m_events.size() && !m_events[j]->IsMeasure(); ++j)
            if (!m_events[j]->IsRest())
                notes.push_back(m_events[j]);
        std::stable_sort(notes.begin(), notes.end(),
                         [](const CEvent* a, const CEvent* b) { return a->GetPosition() < b->GetPosition(); });
        return notes;
    }

    // The columns of the measure opened by m_events[i] when the plain 32nd-note layout would
    // not read back to it; empty for the plain layout.
    //
    // Positions that no such count carries (left between the columns of a grid by a tab read
    // in proportion between its count syllables) are written in the column of the same 32nd
    // note on a grid of 24 or 8 columns a quarter note (m_snap 4 or 12), as long as no two
    // hits of one instrument fall into one column.
    std::vector<SColumn> CountedLayout(size_t i)
    {
        m_snap = 1;
        const CEvent& bar = *m_events[i];
        if (!bar.IsBar())
            return {};
        const int64_t units = int64_t(bar.GetMeasureTicks()) * 12;
        // Most measures are told plain at a glance: notes in order on 32nd columns, no
        // triplets, none on the closing bar line.
        bool plain = PlainLayoutReadsBack(units, {});
        int64_t before = 0;
        for (size_t j = i + 1; plain && j < m_events.size() && !m_events[j]->IsMeasure(); ++j) {
            const CEvent& ev = *m_events[j];
            const int64_t p = ev.GetPosition();
            plain = ev.IsRest() || (p % 12 == 0 && p >= before && p < units && !ev.IsTriplet());
            before = ev.IsRest() ? before : p;
        }
        if (plain)
            return {};
        const std::vector<const CEvent*> notes = MeasureNotes(i);
        if (PlainLayoutReadsBack(units, notes))
            return {};
        const STimeSig sig{bar.GetTimeSigNumerator(), bar.GetTimeSigDenominator()};
        for (const int64_t snap : {1, 4, 12}) {
            std::vector<int64_t> positions;
            bool merged = false; // two hits of one instrument in one column would be one
            for (size_t k = 0; k < notes.size(); ++k) {
                const int64_t p = notes[k]->GetPosition() / snap * snap;
                for (size_t j = k; j-- > 0 && int64_t(notes[j]->GetPosition()) / snap * snap == p && !merged;)
                    merged = notes[j]->GetEventType() == notes[k]->GetEventType() && notes[j]->GetPosition() != notes[k]->GetPosition();
                if (positions.empty() || positions.back() != p)
                    positions.push_back(p);
            }
            if (merged)
                break;
            std::vector<SColumn> columns = CountedColumns(units, sig, positions, 48,
                                                          m_denseCounts ? std::optional(CountSlack(m_lines[kCount])) : std::nullopt);
            if (!columns.empty()) {
                m_snap = snap;
                return columns;
            }
        }
        return {};
    }

    // Writes the measure whose first event after its bar is m_events[i] on `columns`; returns
    // the index of the next measure's event.
    size_t WriteCounted(size_t i, const std::vector<SColumn>& columns)
    {
        const std::vector<const CEvent*> notes = MeasureNotes(i - 1);
        size_t n = 0;
        for (const SColumn& c : columns) {
            AppendColumn('-', c.count);
            for (; n < notes.size() && int64_t(notes[n]->GetPosition()) / m_snap * m_snap <= c.pos; ++n)
                Place(*notes[n]);
        }
        while (i < m_events.size() && !m_events[i]->IsMeasure())
            ++i;
        return i;
    }

    void WriteBlock()
    {
        if (m_commentUsed)
            Put(m_lines[kComment] + '\n');
        for (int l = 0; l < kInstrumentLines; ++l) {
            const bool always = l == kHiHat || l == kSnare || l == kBass;
            if (always || m_used[size_t(l)])
                Put(m_lines[size_t(l)] + "|\n");
        }
        Put(m_lines[kCount] + "|\n\n");
        ++m_blocks;
        if (!PassesForCount(m_lines[kCount] + '|'))
            ++m_sparseBlocks;
    }

public:
    // Blocks written, and those whose count line does not pass for one on its own.
    int Blocks() const { return m_blocks; }
    int SparseBlocks() const { return m_sparseBlocks; }

private:

    QByteArray Finish()
    {
        Put("\n\nKey:\n");
        Put("\tnotes: x=normal, X=accent, f=flam, g=ghost, d=double stroke\n");
        Put("\tcymbals: c=crash, s=splash, t=trash/china, 2=2nd crash, O=open High hat\n");
        Put("\tsnares: x=normal, s=side stick, c=cow bell, e=electric snare\n");
        Put("\tbass: x=normal, f=high hat foot\n");
        if (m_percussionUsed)
            Put("\tpercussion: R=open triangle, r=mute triangle, U=open cuica, u=mute cuica, w=low wood block, "
                "W=high wood block\n"
                "\t\tl=claves, G=long guiro, g=short guiro,  E=long whistle, e=short whistle, M=maracas, s=cabasa\n"
                "\t\ta=low agogo, A=high agogo, t=low timbale, T=high timbale, V=vibraslap, m=tambourine, H=hand "
                "clap\n"
                "\t\tc=low conga, C=open high conga, O=mute high conga, b=low bongo, B=high bongo\n\n");
        Put("\ttq = quarter note triplet\n");
        Put("\ttt = 8th note triplet\n");
        Put("\ttl = 16th note triplet\n\n");
        Put("\t|  3   |\n");
        Put("\t| .//. | means repeat the previous 2 measures, 3 more times (i.e. play a total of 4 times)\n");
        // The file is a text file in the DOS sense: every line ends with CR LF.
        m_out.replace("\n", "\r\n");
        return m_out;
    }

    const CRondelDoc& m_doc;
    const bool m_denseCounts;
    int m_blocks = 0;
    int m_sparseBlocks = 0;
    std::vector<const CEvent*> m_events;
    QByteArray m_out;
    std::array<QByteArray, kLineCount> m_lines;
    std::array<bool, kLineCount> m_used{};
    std::array<std::vector<uint8_t>, kLineCount> m_keyAt; // the key written at each column of this block
    bool m_commentUsed = false;
    bool m_measureWritten = false; // a note or a measure-repeat sign since the last bar line
    bool m_anyNoteWritten = false;
    int64_t m_snap = 1;            // the grid the notes of a counted measure are written on
    bool m_percussionUsed = false; // for the legend: lasts the whole file
    int m_col = kLabelColumns;
    int64_t m_pos = 0;                // position units within the measure being written
    const CEvent* m_measure = nullptr; // opener of the measure being written
};

} // namespace

QByteArray MakeTextTab(const CRondelDoc& doc)
{
    CTextTabWriter writer(doc, false);
    QByteArray tab = writer.Write();
    // A tab read back takes its count lines for counts when most of them pass for one.
    if (writer.SparseBlocks() * 4 >= writer.Blocks() && writer.SparseBlocks() > 0)
        tab = CTextTabWriter(doc, true).Write();
    return tab;
}

bool ExportTextTab(const CRondelDoc& doc, const QString& path, QString* error)
{
    return WriteFileAtomically(path, MakeTextTab(doc), error);
}
