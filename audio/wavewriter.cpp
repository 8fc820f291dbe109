#include "wavewriter.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace {
void Put16(QByteArray& b, uint16_t v)
{
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}
void Put32(QByteArray& b, uint32_t v)
{
    Put16(b, uint16_t(v));
    Put16(b, uint16_t(v >> 16));
}
}

CWaveWriter::CWaveWriter(const QString& path, int sampleRate, int channels) : m_file(path), m_sampleRate(sampleRate), m_channels(channels) {}

QByteArray CWaveWriter::Header(int sampleRate, int channels, int64_t frames)
{
    const uint32_t dataBytes = uint32_t(std::min<int64_t>(frames * channels * 2, 0xFFFFFFFFLL - 36));
    QByteArray b;
    b.append("RIFF", 4);
    Put32(b, 36 + dataBytes);
    b.append("WAVE", 4);
    b.append("fmt ", 4);
    Put32(b, 16);
    Put16(b, 1); // PCM
    Put16(b, uint16_t(channels));
    Put32(b, uint32_t(sampleRate));
    Put32(b, uint32_t(sampleRate * channels * 2));
    Put16(b, uint16_t(channels * 2));
    Put16(b, 16);
    b.append("data", 4);
    Put32(b, dataBytes);
    return b;
}

bool CWaveWriter::Open(QString* error)
{
    if (!m_file.Open(error))
        return false;
    m_ok = m_file.write(Header(m_sampleRate, m_channels, 0)) == 44;
    return m_ok;
}

bool CWaveWriter::Write(const int16_t* samples, int64_t frames)
{
    if (!m_ok)
        return false;
    const qint64 bytes = frames * m_channels * 2;
    if (m_frames * m_channels * 2 + bytes > 0xFFFFFFFFLL - 36)
        return m_ok = false; // past what a RIFF file can hold
    if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        m_ok = m_file.write(reinterpret_cast<const char*>(samples), bytes) == bytes;
    } else {
        QByteArray le(int(bytes), Qt::Uninitialized);
        for (int64_t i = 0; i < frames * m_channels; ++i)
            qToLittleEndian<int16_t>(samples[i], le.data() + 2 * i);
        m_ok = m_file.write(le) == bytes;
    }
    if (m_ok)
        m_frames += frames;
    return m_ok;
}

bool CWaveWriter::Commit(QString* error)
{
    if (m_ok && m_file.seek(0))
        m_ok = m_file.write(Header(m_sampleRate, m_channels, m_frames)) == 44;
    else
        m_ok = false;
    if (!m_ok && !m_file.Failed()) {
        m_file.Cancel();
        if (error)
            *error = CannotWriteText(m_file.FileName(), QStringLiteral("the song is too long for a WAVE file"));
        return false;
    }
    return m_file.Commit(error);
}

void CWaveWriter::Cancel()
{
    m_file.Cancel();
}

void FloatToInt16(const float* left, const float* right, int frames, int16_t* out)
{
    for (int i = 0; i < frames; ++i) {
        out[2 * i] = int16_t(std::clamp(std::lround(left[i] * 32767.0f), -32768L, 32767L));
        out[2 * i + 1] = int16_t(std::clamp(std::lround(right[i] * 32767.0f), -32768L, 32767L));
    }
}
