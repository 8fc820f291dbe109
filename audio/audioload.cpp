#include "audioload.h"

#include "report.h"

#include <QFile>
#include <QLoggingCategory>

#include <mad.h>
#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

Q_LOGGING_CATEGORY(lcAudioLoad, "kadenzo.audio", QtWarningMsg)

namespace {
// Samples beyond this do not fit the overlay's int counts (about 27 hours).
constexpr int64_t kMaxSamples = std::numeric_limits<int32_t>::max() / 2;

// Halves 44 100 Hz audio by averaging pairs of frames (of interleaved channels).
class CPairAverager
{
public:
    explicit CPairAverager(int channels) : m_channels(channels) {}
    // frame: one sample per channel.
    void Push(const int32_t* frame, std::vector<int16_t>& out)
    {
        int32_t mono;
        if (m_channels == 2) {
            mono = frame[0] + frame[1];
        } else if (m_channels == 1) {
            mono = frame[0];
        } else {
            int64_t sum = 0;
            for (int c = 0; c < m_channels; ++c)
                sum += frame[c];
            mono = int32_t(sum / m_channels);
        }
        if (!m_havePrevious) {
            m_previous = mono;
            m_havePrevious = true;
            return;
        }
        m_havePrevious = false;
        // Stereo: (L1 + R1 + L2 + R2) >> 2; mono: (s1 + s2) >> 1 (arithmetic shifts).
        out.push_back(int16_t(m_channels == 2 ? (m_previous + mono) >> 2 : (m_previous + mono) >> 1));
    }

private:
    int m_channels;
    bool m_havePrevious = false;
    int32_t m_previous = 0;
};

int32_t MonoOf(const int32_t* frame, int channels)
{
    if (channels == 2)
        return (frame[0] + frame[1]) >> 1;
    int64_t sum = 0;
    for (int c = 0; c < channels; ++c)
        sum += frame[c];
    return int32_t(sum / std::max(channels, 1));
}
}

std::vector<int16_t> ResampleTo22050(const std::vector<int16_t>& mono, double rate)
{
    std::vector<int16_t> out;
    if (mono.empty() || rate <= 0)
        return out;
    const double ratio = kOverlayRate / rate;
    out.resize(size_t(std::ceil(double(mono.size()) * ratio)) + 16);
    size_t done = 0;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_error_t error = soxr_oneshot(rate, kOverlayRate, 1, mono.data(), mono.size(), nullptr, out.data(), out.size(), &done,
                                            &io, &quality, nullptr);
    if (error) {
        qCDebug(lcAudioLoad, "resampling failed: %s", error);
        return {};
    }
    out.resize(done);
    return out;
}

std::vector<int16_t> ReadWaveFile(const QString& path)
{
    {
        QFile probe(path);
        if (!probe.open(QIODevice::ReadOnly)) {
            UserReport().Message(QStringLiteral("Error opening the .WAV file!\n"));
            return {};
        }
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file) {
        qCDebug(lcAudioLoad, "ERROR: This file doesn't contain a WAVE!\n");
        return {};
    }
    const int major = info.format & SF_FORMAT_TYPEMASK;
    const int minor = info.format & SF_FORMAT_SUBMASK;
    if ((major != SF_FORMAT_WAV && major != SF_FORMAT_WAVEX) || minor != SF_FORMAT_PCM_16 || info.channels < 1 ||
        info.samplerate <= 0 || info.frames < 0 || info.frames / 2 > kMaxSamples) {
        qCDebug(lcAudioLoad, "not a 16-bit RIFF WAVE file");
        sf_close(file);
        return {};
    }

    const int channels = info.channels;
    const bool exact = info.samplerate == 44100;
    std::vector<int16_t> out;
    std::vector<int16_t> native; // mono at the file's own rate, for resampling
    out.reserve(size_t(kWaveLeadInSamples + (exact ? info.frames / 2 : 0)));
    out.assign(kWaveLeadInSamples, 0);
    if (!exact)
        native.reserve(size_t(info.frames));

    CPairAverager averager(channels);
    constexpr sf_count_t kChunk = 16384;
    std::vector<int16_t> buffer(size_t(kChunk * channels));
    std::vector<int32_t> frame(static_cast<size_t>(channels));
    for (;;) {
        const sf_count_t got = sf_readf_short(file, buffer.data(), kChunk);
        if (got <= 0)
            break;
        for (sf_count_t i = 0; i < got; ++i) {
            for (int c = 0; c < channels; ++c)
                frame[size_t(c)] = buffer[size_t(i * channels + c)];
            if (exact)
                averager.Push(frame.data(), out);
            else
                native.push_back(int16_t(MonoOf(frame.data(), channels)));
        }
    }
    sf_close(file);

    if (!exact) {
        const std::vector<int16_t> resampled = ResampleTo22050(native, info.samplerate);
        out.insert(out.end(), resampled.begin(), resampled.end());
    }
    return out;
}

// ---------------------------------------------------------------------------------------
// MP3

uint32_t DitherRandom(uint32_t state)
{
    return state * 1664525u + 1013904223u;
}

int32_t DitherLinear(unsigned bits, int32_t sampleIn, SDither& dither)
{
    constexpr int64_t kMin = -MAD_F_ONE;
    constexpr int64_t kMax = MAD_F_ONE - 1;
    // 64-bit sums: a damaged frame can decode to samples near the int32 limits, where the
    // error and dither terms would overflow.
    int64_t sample = int64_t(sampleIn) + dither.m_error[0] - dither.m_error[1] + dither.m_error[2];
    dither.m_error[2] = dither.m_error[1];
    dither.m_error[1] = dither.m_error[0] / 2;

    const unsigned scalebits = MAD_F_FRACBITS + 1 - bits;
    int64_t output = sample + (int64_t(1) << (scalebits - 1)); // round
    const int64_t mask = (int64_t(1) << scalebits) - 1;

    // Triangular dither: the difference of two successive uniform values.
    const uint32_t random = DitherRandom(dither.m_random);
    output += int64_t(random & uint32_t(mask)) - int64_t(dither.m_random & uint32_t(mask));
    dither.m_random = random;

    if (output > kMax) {
        output = kMax;
        if (sample > kMax)
            sample = kMax;
    } else if (output < kMin) {
        output = kMin;
        if (sample < kMin)
            sample = kMin;
    }
    output &= ~mask;
    dither.m_error[0] = int32_t(sample - output);
    return int32_t(output >> scalebits);
}

namespace {
// Decoders start their output 529 samples after the encoder's first sample.
constexpr int kDecoderDelay = 529;

uint32_t ReadBig32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Looks for a Xing/Info tag (and LAME's extension) in the frame at `frame` (size bytes
// left in the buffer). True when the frame is an information frame.
bool ParseInfoFrame(const uint8_t* frame, size_t size, const mad_header& header, SMp3Info& info)
{
    const bool mpeg1 = !(header.flags & MAD_FLAG_LSF_EXT) && !(header.flags & MAD_FLAG_MPEG_2_5_EXT);
    const bool mono = header.mode == MAD_MODE_SINGLE_CHANNEL;
    size_t offset = 4 + (mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17));
    if (header.flags & MAD_FLAG_PROTECTION)
        offset += 2;
    if (size < offset + 8)
        return false;
    const uint8_t* tag = frame + offset;
    if (std::memcmp(tag, "Xing", 4) != 0 && std::memcmp(tag, "Info", 4) != 0)
        return false;
    info.m_infoFrame = true;
    const uint32_t flags = ReadBig32(tag + 4);
    size_t at = offset + 8;
    if (flags & 1) {
        if (size < at + 4)
            return true;
        info.m_frames = ReadBig32(frame + at);
        at += 4;
    }
    if (flags & 2)
        at += 4;
    if (flags & 4)
        at += 100;
    if (flags & 8)
        at += 4;
    // LAME tag: 9 bytes of version, then revision, lowpass, replay gain (8), flags, bitrate,
    // and 24 bits of encoder delay (12) and padding (12).
    if (size >= at + 24 && std::memcmp(frame + at, "LAME", 4) == 0) {
        const uint8_t* d = frame + at + 21;
        info.m_encoderDelay = int(d[0]) << 4 | int(d[1]) >> 4;
        info.m_encoderPadding = (int(d[1]) & 0x0F) << 8 | int(d[2]);
    }
    return true;
}

size_t Id3v2Size(const uint8_t* data, size_t size)
{
    if (size < 10 || std::memcmp(data, "ID3", 3) != 0)
        return 0;
    const size_t body = size_t(data[6] & 0x7F) << 21 | size_t(data[7] & 0x7F) << 14 | size_t(data[8] & 0x7F) << 7 | size_t(data[9] & 0x7F);
    const size_t total = 10 + body + ((data[5] & 0x10) ? 10 : 0);
    return std::min(total, size);
}
}

std::vector<int16_t> DecodeMp3Bytes(const uint8_t* data, size_t size, SMp3Info* infoOut)
{
    SMp3Info info;
    std::vector<int16_t> out;
    std::vector<int16_t> native;
    if (!data || size == 0) {
        if (infoOut)
            *infoOut = info;
        return out;
    }
    // libmad reads a few bytes past the last frame: give it zeroed guard bytes.
    const size_t skip = Id3v2Size(data, size);
    std::vector<uint8_t> buffer(data + skip, data + size);
    buffer.resize(buffer.size() + MAD_BUFFER_GUARD, 0);

    mad_stream stream;
    mad_frame frame;
    mad_synth synth;
    mad_stream_init(&stream);
    mad_frame_init(&frame);
    mad_synth_init(&synth);
    mad_stream_buffer(&stream, buffer.data(), buffer.size());

    SDither dither[2];
    CPairAverager averager(2);
    CPairAverager averagerMono(1);
    bool first = true;
    int64_t toSkip = 0;      // full-rate frames still to drop at the start
    int64_t toKeep = -1;     // full-rate frames still to keep (-1: all)
    int32_t pcmFrame[2];
    while (true) {
        if (mad_frame_decode(&frame, &stream) == -1) {
            if (stream.error == MAD_ERROR_BUFLEN)
                break;
            if (MAD_RECOVERABLE(stream.error))
                continue;
            qCDebug(lcAudioLoad, "mp3 decoding stopped: %s", mad_stream_errorstr(&stream));
            break;
        }
        if (first) {
            first = false;
            info.m_sampleRate = int(frame.header.samplerate);
            info.m_channels = MAD_NCHANNELS(&frame.header);
            const size_t left = size_t(buffer.data() + buffer.size() - stream.this_frame);
            if (ParseInfoFrame(stream.this_frame, left, frame.header, info)) {
                // The information frame is silence by design; the real audio starts after
                // the encoder's delay and the decoder's own.
                toSkip = info.m_encoderDelay + (info.m_encoderDelay || info.m_encoderPadding ? kDecoderDelay : 0);
                if (info.m_frames > 0 && (info.m_encoderDelay || info.m_encoderPadding)) {
                    const int64_t perFrame = int64_t(32 * MAD_NSBSAMPLES(&frame.header));
                    toKeep = std::max<int64_t>(0, info.m_frames * perFrame - info.m_encoderDelay - info.m_encoderPadding);
                }
                // The output block estimate: the frames declared, within what the file can hold.
                const int64_t declared = info.m_frames * 1152 / 2;
                const int64_t bound = int64_t(size) * 48; // no frame carries more than ~48 samples a byte
                out.reserve(size_t(std::clamp<int64_t>(std::min(declared, bound), 0, 1 << 26)));
                continue;
            }
            // Without one: the file size at the first frame's bit rate, at half the sample rate.
            if (frame.header.bitrate > 0) {
                const double estimate = (double(size) * info.m_sampleRate * 2 / (frame.header.bitrate / 8.0) + 1000) / 2 / 2;
                out.reserve(size_t(std::clamp<double>(estimate, 0, double(1 << 26))));
            }
        }
        if (int(frame.header.samplerate) != info.m_sampleRate)
            continue; // a stray frame of another format
        mad_synth_frame(&synth, &frame);
        const mad_pcm& pcm = synth.pcm;
        const int channels = std::min<int>(pcm.channels, 2);
        for (unsigned i = 0; i < pcm.length; ++i) {
            for (int c = 0; c < channels; ++c)
                pcmFrame[c] = DitherLinear(16, pcm.samples[c][i], dither[c]);
            if (toSkip > 0) {
                --toSkip;
                continue;
            }
            if (toKeep == 0)
                break;
            if (toKeep > 0)
                --toKeep;
            if (int64_t(out.size()) >= kMaxSamples || int64_t(native.size()) >= kMaxSamples)
                break;
            if (info.m_sampleRate == 44100)
                (channels == 2 ? averager : averagerMono).Push(pcmFrame, out);
            else
                native.push_back(int16_t(MonoOf(pcmFrame, channels)));
        }
    }
    mad_synth_finish(&synth);
    mad_frame_finish(&frame);
    mad_stream_finish(&stream);

    if (info.m_sampleRate != 44100 && !native.empty())
        out = ResampleTo22050(native, info.m_sampleRate);
    if (infoOut)
        *infoOut = info;
    return out;
}

std::vector<int16_t> DecodeMp3File(const QString& path, SMp3Info* info)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return DecodeMp3Bytes(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), info);
}

std::vector<int16_t> ReadAudioFile(const QString& path)
{
    const QString ext = path.right(4).toLower();
    if (ext == QLatin1String(".wav"))
        return ReadWaveFile(path);
    if (ext == QLatin1String(".mp3"))
        return DecodeMp3File(path);
    return {};
}

// ---------------------------------------------------------------------------------------

std::vector<int8_t> BuildOverview(const int16_t* samples, int64_t count)
{
    std::vector<int8_t> overview;
    if (!samples || count <= 0)
        return overview;
    if (count < kOverviewEntries) {
        overview.resize(size_t(count));
        for (int64_t i = 0; i < count; ++i)
            overview[size_t(i)] = int8_t(std::min(127, std::abs(int(samples[i])) / 256));
        return overview;
    }
    overview.resize(kOverviewEntries);
    const int64_t step = count / kOverviewEntries;
    double e = 0;
    for (int64_t i = 0; i < kOverviewEntries; ++i) {
        const int64_t from = i * step + 2646;
        const int64_t to = std::min(count, (i + 1) * step + 2646);
        for (int64_t s = from; s < to; ++s)
            e = e * 0.95 + 0.05 * std::abs(int(samples[s]));
        overview[size_t(i)] = int8_t(std::min(127.0, e / 256));
    }
    return overview;
}
