#include "textexport.h"

#include "rondeldoc.h"

#include <array>
#include <cctype>
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

// The count-line character of the column at 32nd tick t of a measure.
char CountChar(int64_t t)
{
    if (t % 8 == 0)
        return char('1' + t / 8);
    if (t % 4 == 0)
        return '+';
    if (t % 8 == 2)
        return 'e';
    if (t % 8 == 6)
        return 'a';
    return ' ';
}

int64_t TickOf(int64_t pos) { return pos * 8 / 96; }

class CTextTabWriter
{
public:
    explicit CTextTabWriter(const CRondelDoc& doc) : m_doc(doc)
    {
        for (const auto& ev : doc.Events())
            m_events.push_back(ev.get());
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
        m_col = 3;
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
        if (m_col + nextTicks >= kMaxColumns || last) {
            WriteBlock();
            if (last)
                return false;
            ResetBlock();
        }
        AppendColumn('|', ' ');
        if (const uint32_t tempo = ev.GetTempo())
            Put(QByteArray("tempo=") + QByteArray::number(tempo) + "bpm\n\n");
        if (ev.HasText()) {
            m_lines[kComment] += ev.GetText().left(kMaxCommentChars).toLatin1();
            m_commentUsed = true;
        }
        m_pos = -12;
        ++i;
        return true;
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
    }

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
    std::vector<const CEvent*> m_events;
    QByteArray m_out;
    std::array<QByteArray, kLineCount> m_lines;
    std::array<bool, kLineCount> m_used{};
    std::array<std::vector<uint8_t>, kLineCount> m_keyAt; // the key written at each column of this block
    bool m_commentUsed = false;
    bool m_percussionUsed = false; // for the legend: lasts the whole file
    int m_col = 3;
    int64_t m_pos = 0;                // position units within the measure being written
    const CEvent* m_measure = nullptr; // opener of the measure being written
};

} // namespace

QByteArray MakeTextTab(const CRondelDoc& doc)
{
    return CTextTabWriter(doc).Write();
}

bool ExportTextTab(const CRondelDoc& doc, const QString& path, QString* error)
{
    return WriteFileAtomically(path, MakeTextTab(doc), error);
}
