#pragma once
// Reading a recording for the audio overlay: 16-bit mono samples at 22 050 per second.
// 44 100 Hz input is halved by averaging sample pairs; any other rate is resampled.

#include <QString>

#include <cstdint>
#include <vector>

inline constexpr int kOverlayRate = 22050;
// One second of silence put before a WAV recording.
inline constexpr int kWaveLeadInSamples = 22050;
inline constexpr int kOverviewEntries = 32000;
// The longest recording taken: far more than a song can use, and a bound on the memory a
// file can make the program take.
inline constexpr int kMaxAudioSeconds = 60 * 60;
// The lowest WAV sample rate taken. Below it a few bytes of samples stand for minutes of
// audio, and stretching them to the overlay's rate costs far more than the file is worth.
inline constexpr int kMinWaveRate = 4000;
// MP3 audio counts only where this many valid frames follow one another: random bytes hold
// an odd frame header here and there, but not a chain of them.
inline constexpr int kMinMp3FrameRun = 3;

// Both readers take only regular files (a folder, a device or a pipe is refused with a
// message, as is audio longer than kMaxAudioSeconds), and report why they refuse a file
// through UserReport() before returning an empty vector; the caller then says "Audio file
// read failed".

// The samples of a 16-bit RIFF WAVE file (one second of silence first), or an empty vector.
// A file that cannot be opened gives "Error opening the .WAV file!\n"; one whose data end
// before its header says, that holds no audio at all, or whose sample rate is below
// kMinWaveRate is refused.
std::vector<int16_t> ReadWaveFile(const QString& path);

// What an MP3 file's LAME/Xing information frame declared.
struct SMp3Info
{
    int m_sampleRate = 0;
    int m_channels = 0;
    bool m_infoFrame = false;   // a Xing/Info frame was found (and not played)
    int64_t m_frames = 0;       // audio frames it declares (0: unknown)
    int m_encoderDelay = 0;     // samples at the start that the encoder added
    int m_encoderPadding = 0;   // samples at the end that the encoder added
    int m_longestFrameRun = 0;  // most valid frames found one right after another
    bool m_tooLong = false;     // more than kMaxAudioSeconds of audio
};

// The decoded samples of an MP3 file (no lead-in), or an empty vector. Decoding errors keep
// what was decoded before them. Bytes without kMinMp3FrameRun frames in a row are refused.
std::vector<int16_t> DecodeMp3File(const QString& path, SMp3Info* info = nullptr);

// The same from bytes in memory (fuzzing, tests), without messages: *info says why.
std::vector<int16_t> DecodeMp3Bytes(const uint8_t* data, size_t size, SMp3Info* info = nullptr);

// By the last four characters of the path (case ignored): ".wav" or ".mp3"; anything else
// reads nothing. Empty on failure.
std::vector<int16_t> ReadAudioFile(const QString& path);

// Resamples mono 16-bit audio from `rate` to 22 050 Hz.
std::vector<int16_t> ResampleTo22050(const std::vector<int16_t>& mono, double rate);

// The drawing overview: 32 000 envelope entries for audio of at least 32 000 samples, else
// one entry per sample (|sample| / 256, at most 127).
std::vector<int8_t> BuildOverview(const int16_t* samples, int64_t count);

// The dithering quantiser of the MP3 output: 28-bit fixed point to `bits`, with triangular
// dither, error feedback and the generator x * 1664525 + 1013904223.
struct SDither
{
    int32_t m_error[3] = {0, 0, 0};
    uint32_t m_random = 0;
};
int32_t DitherLinear(unsigned bits, int32_t sample, SDither& dither);
uint32_t DitherRandom(uint32_t state);
