#pragma once
// Helpers for the MIDI tests: a song builder and an independent reader of written MIDI files
// (Python's mido, which refuses damaged files).

#include "midi.h"
#include "report.h"
#include "rondeldoc.h"
#include "testutil.h"

#include <QProcess>
#include <QStringList>

#include <vector>

// Builds a song measure by measure: Bar(...).Note(...).Note(...).Bar(...)...Close().
class CSong
{
public:
    CSong& Bar(uint32_t num = 4, uint32_t den = 4, uint32_t word2Flags = 0, uint32_t word1Flags = 0)
    {
        AppendEvent(m_doc.Events(), EventType::Bar | word1Flags, TimeSigWord(num, den) | word2Flags);
        return *this;
    }
    CSong& Note(uint32_t key, uint32_t pos, uint32_t flags = 0, uint32_t string = 0)
    {
        AppendEvent(m_doc.Events(), key | flags, pos | (string << EventBits::StringShift));
        return *this;
    }
    CSong& Rest(uint32_t pos) { return Note(EventType::Rest, pos); }
    CSong& RepeatPrev(uint32_t n, uint32_t count)
    {
        AppendEvent(m_doc.Events(), EventType::RepeatPrevMeasures, RepeatPrevWord(n, count));
        return *this;
    }
    CSong& Close() { return Bar(); }

    CMidi& Midi() { return MidiOf(m_doc); }
    CEventList& Events() { return m_doc.Events(); }
    // The n-th measure (1-based).
    CEvent& Measure(int n)
    {
        for (auto& ev : m_doc.Events())
            if (ev.IsMeasure() && --n == 0)
                return ev;
        throw std::out_of_range("no such measure");
    }
    EventPos MeasurePos(int n)
    {
        for (auto it = m_doc.Events().begin(); it != m_doc.Events().end(); ++it)
            if (it->IsMeasure() && --n == 0)
                return it;
        return m_doc.Events().end();
    }

    CRondelDoc m_doc;
};

inline constexpr uint32_t kStart = EventBits::RepeatGroupStart;
inline constexpr uint32_t kEnd = EventBits::RepeatGroupEnd;
inline constexpr uint32_t AltEnd(uint32_t n) { return n << EventBits::AltEndShift; }

// One event as mido reads it; times in ticks.
struct SMidoEvent
{
    QString kind; // on, off, prog, cc, ts, tempo, text
    int time = 0;  // absolute
    int delta = 0;
    int channel = -1;
    int a = 0;     // note, program, controller, numerator, tempo
    int b = 0;     // velocity, value, denominator
};

struct SMidoFile
{
    bool ok = false;
    QString error;
    int ticksPerBeat = 0;
    int tracks = 0;
    std::vector<SMidoEvent> events;

    std::vector<SMidoEvent> Of(const QString& kind) const
    {
        std::vector<SMidoEvent> out;
        for (const SMidoEvent& e : events)
            if (e.kind == kind)
                out.push_back(e);
        return out;
    }
    // Note-ons that sound (velocity > 0).
    std::vector<SMidoEvent> Struck() const
    {
        std::vector<SMidoEvent> out;
        for (const SMidoEvent& e : events)
            if (e.kind == QLatin1String("on") && e.b > 0)
                out.push_back(e);
        return out;
    }
};

// Reads a MIDI file with /usr/bin/python3 and mido.
inline SMidoFile ReadWithMido(const QString& path)
{
    static const char* script = R"PY(
import sys, mido
m = mido.MidiFile(sys.argv[1])
print('file', m.ticks_per_beat, len(m.tracks))
for tr in m.tracks:
    t = 0
    for e in tr:
        t += e.time
        if e.type == 'note_on': print('on', t, e.time, e.channel, e.note, e.velocity)
        elif e.type == 'note_off': print('off', t, e.time, e.channel, e.note, e.velocity)
        elif e.type == 'program_change': print('prog', t, e.time, e.channel, e.program, 0)
        elif e.type == 'control_change': print('cc', t, e.time, e.channel, e.control, e.value)
        elif e.type == 'time_signature': print('ts', t, e.time, -1, e.numerator, e.denominator)
        elif e.type == 'set_tempo': print('tempo', t, e.time, -1, e.tempo, 0)
        elif e.type in ('text', 'copyright', 'track_name'): print('text', t, e.time, -1, 0, 0)
)PY";
    SMidoFile out;
    QProcess p;
    p.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), path});
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        out.error = QString::fromLocal8Bit(p.readAllStandardError());
        return out;
    }
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> f = line.trimmed().split(' ');
        if (f.size() == 3 && f[0] == "file") {
            out.ticksPerBeat = f[1].toInt();
            out.tracks = f[2].toInt();
        } else if (f.size() == 6) {
            out.events.push_back({QString::fromLatin1(f[0]), f[1].toInt(), f[2].toInt(), f[3].toInt(), f[4].toInt(), f[5].toInt()});
        }
    }
    out.ok = true;
    return out;
}
