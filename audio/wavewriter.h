#pragma once
// Writes 16-bit PCM RIFF WAVE files as they are rendered, through a temporary file that
// replaces the target only when everything was written.

#include "safefile.h"

#include <QString>

#include <cstdint>

class CWaveWriter
{
public:
    CWaveWriter(const QString& path, int sampleRate, int channels);
    bool Open(QString* error);
    // Interleaved frames.
    bool Write(const int16_t* samples, int64_t frames);
    // Patches the sizes and renames the file into place.
    bool Commit(QString* error);
    // Throws the temporary file away (also done by the destructor when not committed).
    void Cancel();
    int64_t FramesWritten() const { return m_frames; }
    // "Cannot write "PATH": REASON" once a write has failed.
    QString ErrorText() const { return m_file.ErrorText(); }

    // The 44-byte header for `frames` frames.
    static QByteArray Header(int sampleRate, int channels, int64_t frames);

private:
    CSafeFile m_file;
    int m_sampleRate;
    int m_channels;
    int64_t m_frames = 0;
    bool m_ok = true;
};

// Float stereo to 16-bit with clipping.
void FloatToInt16(const float* left, const float* right, int frames, int16_t* interleaved);
