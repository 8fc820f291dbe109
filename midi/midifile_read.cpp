// Reading Standard MIDI Files: the channel-10 notes of every track, bar by bar.

#include "midifile.h"

#include "report.h"

#include <QFile>
#include <QMap>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace {
const char* const kNotValid = "This file is not a valid Midi file";
const char* const kGivingUp = "Error in Midi file. Giving up";

// More bars than this come only from damaged files (a 4/4 song at 60 BPM would last 111 hours).
constexpr int kMaxBars = 100000;
// Keeps the running position far from overflow whatever the deltas say.
constexpr int64_t kMaxPosition = int64_t(1) << 48;

struct SEndOfData {}; // a read past the end of the file
struct SGiveUp {};    // data the reader cannot make sense of

struct SSnap
{
    int grid;
    int window;
};

class CMidiReader
{
public:
    CMidiReader(const QByteArray& bytes, CEventList& events, bool snapTo32nd, bool detectTriplets)
        : m_data(reinterpret_cast<const uint8_t*>(bytes.constData())),
          m_size(size_t(bytes.size())),
          m_events(events),
          m_snap(snapTo32nd ? SSnap{12, 10} : SSnap{24, 8}),
          m_detectTriplets(detectTriplets)
    {
    }

    void Read()
    {
        try {
            if (!ReadTag("MThd")) {
                UserReport().Error(QString::fromLatin1(kNotValid));
                return;
            }
            const uint32_t headerLength = U32();
            U16(); // format
            U16(); // track count: tracks are read until the file ends
            const uint16_t division = U16();
            if (division == 0 || (division & 0x8000)) {
                // No ticks per quarter note (or SMPTE time): nothing to place notes with.
                UserReport().Error(QString::fromLatin1(kNotValid));
                return;
            }
            m_scale = 96.0 / division;
            if (headerLength > 6)
                Skip(headerLength - 6);
            while (m_pos < m_size && ReadTrack()) {
            }
        } catch (const SEndOfData&) {
            UserReport().Error(QString::fromLatin1(kNotValid));
        } catch (const SGiveUp&) {
            UserReport().Error(QString::fromLatin1(kGivingUp));
        }
        ReportKeys();
    }

private:
    uint8_t Byte()
    {
        if (m_pos >= m_size)
            throw SEndOfData{};
        --m_chunkLeft;
        return m_data[m_pos++];
    }
    uint16_t U16()
    {
        const uint16_t hi = Byte();
        return uint16_t(hi << 8 | Byte());
    }
    uint32_t U32()
    {
        const uint32_t hi = U16();
        return hi << 16 | U16();
    }
    // A variable-length quantity: four bytes at most.
    uint32_t VarLen()
    {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            const uint8_t b = Byte();
            value = value << 7 | (b & 0x7F);
            if (!(b & 0x80))
                return value;
        }
        throw SGiveUp{};
    }
    void Skip(uint64_t count)
    {
        if (count > m_size - m_pos)
            throw SEndOfData{};
        m_pos += size_t(count);
        m_chunkLeft -= int64_t(count);
    }
    QByteArray Take(uint32_t count)
    {
        if (count > m_size - m_pos)
            throw SEndOfData{};
        QByteArray out(reinterpret_cast<const char*>(m_data + m_pos), qsizetype(count));
        m_pos += count;
        m_chunkLeft -= int64_t(count);
        return out;
    }
    bool ReadTag(const char* tag)
    {
        for (int i = 0; i < 4; ++i)
            if (Byte() != uint8_t(tag[i]))
                return false;
        return true;
    }

    void ResetTrackState()
    {
        m_tempo = 500000;
        m_numerator = 4;
        m_power = 2;
        m_barLength = 384;
        m_lastTempoBpm = -1;
        m_lastBar = nullptr;
        m_running = 0;
        m_barPos = 0;
        m_lastNotePos = 0;
        m_lastStoredPos = 0;
        m_tripletState = 0;
        m_fileTicks = 0;
        m_scaledTicks = 0;
    }

    bool ReadTrack()
    {
        uint8_t tag[4];
        for (uint8_t& b : tag)
            b = Byte();
        const uint32_t length = U32();
        if (std::equal(tag, tag + 4, "MTrk") == false) {
            // Chunks of other kinds are allowed in a MIDI file and carry nothing for us.
            const bool isChunkType = std::all_of(tag, tag + 4, [](uint8_t c) { return c >= 0x20 && c < 0x7F; });
            if (!isChunkType) {
                UserReport().Error(QString::fromLatin1(kNotValid));
                return false;
            }
            Skip(length);
            return true;
        }
        ResetTrackState();
        m_chunkLeft = int64_t(length);
        while (m_chunkLeft > 0) {
            // Scaled from the track's absolute time, so that truncation does not add up over
            // thousands of events (a human performance at 480 ticks drifts by bars otherwise).
            m_fileTicks += VarLen();
            const int64_t scaled = int64_t(std::trunc(double(m_fileTicks) * m_scale));
            m_barPos = std::min(m_barPos + (scaled - m_scaledTicks), kMaxPosition);
            m_scaledTicks = scaled;
            uint8_t status = Byte();
            int data1 = -1;
            if (status & 0x80) {
                m_running = status;
            } else {
                if (!m_running || m_running >= 0xF0)
                    throw SGiveUp{};
                data1 = status;
                status = m_running;
            }
            if (status >= 0xF0) {
                if (status == 0xF0 || status == 0xF7)
                    Skip(VarLen());
                else if (status == 0xFF)
                    ReadMeta();
                else
                    throw SGiveUp{};
                continue;
            }
            const int kind = status >> 4;
            if (data1 < 0)
                data1 = Byte();
            const int data2 = (kind == 0xC || kind == 0xD) ? 0 : Byte();
            if ((status & 0x0F) == 9 && (kind == 0x8 || kind == 0x9))
                NoteEvent(data1, kind == 0x8 ? 0 : data2);
        }
        if (m_tripletState == 2)
            MarkTriplets(m_events, int(m_barPos));
        return true;
    }

    void ReadMeta()
    {
        const uint8_t type = Byte();
        const QByteArray data = Take(VarLen());
        const auto byte = [&data](int i) { return uint8_t(data[i]); };
        switch (type) {
        case 0x51:
            if (data.size() >= 3) {
                const int tempo = byte(0) << 16 | byte(1) << 8 | byte(2);
                if (tempo > 0)
                    m_tempo = tempo;
            }
            break;
        case 0x58:
            // Time signatures a bar cannot carry (numerator 1-63, denominator up to 32) are
            // passed over; the bar length is the one the BAR event will have.
            if (data.size() >= 4 && byte(0) >= 1 && byte(0) <= 63 && byte(1) <= 5) {
                m_numerator = byte(0);
                m_power = byte(1);
                m_barLength = (m_numerator * 32 / (1 << m_power)) * 12;
            }
            break;
        case 0x05:
            if (m_lastBar && !data.isEmpty()) {
                const QString lyric = QString::fromLatin1(data);
                m_lastBar->SetText(m_lastBar->HasText() ? m_lastBar->GetText() + lyric : lyric);
            }
            break;
        default: // key signature, texts, end of track and the rest: nothing to keep
            break;
        }
    }

    int Bpm() const { return std::clamp(60000000 / m_tempo, 1, 255); }

    void AppendBar(bool withTempo)
    {
        if (++m_barCount > kMaxBars)
            throw SGiveUp{};
        const int bpm = Bpm();
        uint32_t word1 = EventType::Bar;
        if (withTempo) {
            word1 |= TempoBits(uint32_t(bpm));
            m_lastTempoBpm = bpm;
        }
        m_lastBar = AppendEvent(m_events, word1, TimeSigWord(uint32_t(m_numerator), 1u << m_power));
    }

    void NoteEvent(int key, int velocity)
    {
        if (!m_lastBar) {
            // The song begins at the first drum note of the track.
            AppendBar(true);
            m_barPos = 0;
        } else {
            while (m_barPos >= m_barLength - m_snap.window) {
                if (m_tripletState == 2)
                    MarkTriplets(m_events, int(m_barPos));
                m_tripletState = 0;
                AppendBar(Bpm() != m_lastTempoBpm);
                m_barPos -= m_barLength;
            }
        }
        if (velocity < 1)
            return;

        // Keys the drum kit does not know would play silent and have no staff place. The
        // electronic kits' hi-hat edge keys are the hi-hat; anything else is dropped.
        const int originalKey = key;
        if (key == 22)
            key = 42;
        else if (key == 26)
            key = 46;
        if (key != originalKey) {
            ++m_mapped[originalKey];
        } else if (key < 35 || key > 81) {
            ++m_dropped[key];
            return;
        }

        const int64_t d = m_barPos - m_lastNotePos;
        int64_t pos;
        if (m_detectTriplets && (d == 64 || d == 32 || d == 16)) {
            // Triplet spacing: the note keeps its exact place.
            if (m_tripletState == 2) {
                MarkTriplets(m_events, int(m_barPos));
                m_tripletState = 0;
            } else {
                ++m_tripletState;
            }
            pos = m_barPos;
        } else if (d != 0) {
            if (m_tripletState == 2)
                MarkTriplets(m_events, int(m_barPos));
            m_tripletState = 0;
            pos = ((m_barPos + m_snap.window) / m_snap.grid) * m_snap.grid;
        } else {
            // Same time as the last note: the same place, so a chord on a triplet stays whole.
            pos = m_lastStoredPos;
        }
        pos = std::clamp<int64_t>(pos, 0, std::max(m_barLength - 1, 0));
        AppendEvent(m_events, uint32_t(key), uint32_t(pos) & EventBits::PositionMask);
        m_lastNotePos = m_barPos;
        m_lastStoredPos = pos;
    }

    static QString Notes(int n) { return n == 1 ? QStringLiteral("1 note") : QStringLiteral("%1 notes").arg(n); }

    void ReportKeys()
    {
        if (m_mapped.isEmpty() && m_dropped.isEmpty())
            return;
        QStringList parts;
        for (auto it = m_mapped.cbegin(); it != m_mapped.cend(); ++it)
            parts << QStringLiteral("key %1 was read as %2 (%3)").arg(it.key()).arg(it.key() == 22 ? 42 : 46).arg(Notes(it.value()));
        for (auto it = m_dropped.cbegin(); it != m_dropped.cend(); ++it)
            parts << QStringLiteral("key %1 was dropped (%2)").arg(it.key()).arg(Notes(it.value()));
        UserReport().Warning(QStringLiteral("Some drum keys of this MIDI file are not in the drum kit: %1").arg(parts.join(QStringLiteral("; "))));
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    int64_t m_chunkLeft = 0;
    CEventList& m_events;
    SSnap m_snap;
    bool m_detectTriplets;
    double m_scale = 1.0;
    int m_barCount = 0;

    // Per track.
    int m_tempo = 500000; // microseconds per quarter note
    int m_numerator = 4;
    int m_power = 2;
    int m_barLength = 384;
    int m_lastTempoBpm = -1;
    CEvent* m_lastBar = nullptr;
    uint8_t m_running = 0;
    int64_t m_barPos = 0;
    int64_t m_lastNotePos = 0;
    int64_t m_lastStoredPos = 0;
    int m_tripletState = 0;
    uint64_t m_fileTicks = 0;  // the track's time in the file's ticks
    int64_t m_scaledTicks = 0; // the same in ours

    QMap<int, int> m_mapped;
    QMap<int, int> m_dropped;
};
}

SMidiImportOptions& MidiImportOptions()
{
    static SMidiImportOptions options;
    return options;
}

void ReadMidiBytes(const QByteArray& bytes, CEventList& events, bool snapTo32nd, bool detectTriplets)
{
    CMidiReader(bytes, events, snapTo32nd, detectTriplets).Read();
}

bool ReadMidiFile(const QString& path, CEventList& events, bool snapTo32nd, bool detectTriplets)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    ReadMidiBytes(file.readAll(), events, snapTo32nd, detectTriplets);
    return true;
}

void MarkTriplets(CEventList& events, int position)
{
    int newPositions = 0;
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
        CEvent& ev = *it;
        if (ev.IsMeasure())
            break;
        if (!ev.IsNote())
            continue;
        const int pos = int(ev.GetPosition());
        if (pos < position && ++newPositions > 3)
            break;
        ev.m_word1 |= EventBits::Triplet;
        position = pos;
    }
}
