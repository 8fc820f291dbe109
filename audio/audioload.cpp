#include "audioload.h"

#include "report.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

#include <mad.h>
#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Opens `path` for reading when it names a regular file (links followed). A folder, device
// or pipe is refused with a message: reading one would block or never end. -1 without a
// message when the file cannot be opened at all (each caller has its own words for that).
int OpenRegularFile(const QString& path, int64_t* size)
{
    // Without O_NONBLOCK, opening a pipe nobody writes to would wait forever.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const bool folder = S_ISDIR(st.st_mode);
        ::close(fd);
        UserReport().Error(folder ? QStringLiteral("\"%1\" is a folder, not an audio file.").arg(path)
                                    : QStringLiteral("\"%1\" is not a regular file (a device or a pipe): it cannot be read as audio.").arg(path));
        return -2;
    }
    // Back to blocking reads (no effect on regular files, but plain to read).
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    *size = int64_t(st.st_size);
    return fd;
}

void ReportTooLong(const QString& path)
{
    UserReport().Error(QStringLiteral("\"%1\" is longer than %2 minutes: more audio than a song can use.").arg(path).arg(kMaxAudioSeconds / 60));
}

uint32_t ReadLittle32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The byte count the "data" chunk of a RIFF WAVE file declares, and how many bytes follow its
// header in the file; false when the chunk is not found in the first chunks (libsndfile then
// decides alone).
bool FindWaveData(int fd, int64_t fileSize, uint32_t* declared, int64_t* available)
{
    uint8_t head[12];
    if (::pread(fd, head, sizeof head, 0) != ssize_t(sizeof head) || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
        return false;
    int64_t at = 12;
    for (int chunks = 0; chunks < 64 && at + 8 <= fileSize; ++chunks) {
        uint8_t chunk[8];
        if (::pread(fd, chunk, sizeof chunk, off_t(at)) != ssize_t(sizeof chunk))
            return false;
        const uint32_t size = ReadLittle32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            *declared = size;
            *available = fileSize - (at + 8);
            return true;
        }
        at += 8 + int64_t(size) + (size & 1);
    }
    return false;
}

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
    int64_t fileSize = 0;
    const int fd = OpenRegularFile(path, &fileSize);
    if (fd == -1)
        UserReport().Error(QStringLiteral("Error opening the .WAV file!\n"));
    if (fd < 0)
        return {};
    // A header may promise more than the file holds (a cut download, a recorder that never
    // finished): libsndfile would quietly read what is there. 0 and 0xFFFFFFFF are what
    // streaming writers leave when they cannot go back to fill the size in.
    uint32_t declared = 0;
    int64_t available = 0;
    if (FindWaveData(fd, fileSize, &declared, &available) && declared != 0 && declared != 0xFFFFFFFFu &&
        int64_t(declared) > available) {
        ::close(fd);
        UserReport().Error(QStringLiteral("\"%1\" ends before the audio its header promises (%2 of %3 bytes).")
                                 .arg(path)
                                 .arg(std::max<int64_t>(available, 0))
                                 .arg(declared));
        return {};
    }
    SF_INFO info{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (!file) {
        qCDebug(lcAudioLoad, "ERROR: This file doesn't contain a WAVE!\n");
        return {};
    }
    if (info.samplerate > 0 && info.frames > int64_t(info.samplerate) * kMaxAudioSeconds) {
        sf_close(file);
        ReportTooLong(path);
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
    if (info.samplerate < kMinWaveRate) {
        sf_close(file);
        UserReport().Error(QStringLiteral("\"%1\" is recorded at %2 Hz; recordings of %3 Hz or more can be played along with.")
                                 .arg(path)
                                 .arg(info.samplerate)
                                 .arg(kMinWaveRate));
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
    sf_count_t framesRead = 0;
    for (;;) {
        const sf_count_t got = sf_readf_short(file, buffer.data(), kChunk);
        if (got <= 0)
            break;
        framesRead += got;
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
    if (framesRead == 0) {
        UserReport().Error(QStringLiteral("\"%1\" holds no audio.").arg(path));
        return {};
    }
    if (framesRead < info.frames) {
        UserReport().Error(QStringLiteral("\"%1\" ends before the audio its header promises (%2 of %3 frames).").arg(path).arg(framesRead).arg(info.frames));
        return {};
    }

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
    int64_t decodedFrames = 0; // at the file's own rate
    const unsigned char* expectedNext = nullptr; // where a frame that follows the last one starts
    int run = 0;
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
        run = stream.this_frame == expectedNext ? run + 1 : 1;
        expectedNext = stream.next_frame;
        info.m_longestFrameRun = std::max(info.m_longestFrameRun, run);
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
        decodedFrames += int64_t(32 * MAD_NSBSAMPLES(&frame.header));
        if (decodedFrames > int64_t(std::max(info.m_sampleRate, 1)) * kMaxAudioSeconds) {
            info.m_tooLong = true;
            break;
        }
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
    if (info.m_tooLong || info.m_longestFrameRun < kMinMp3FrameRun) {
        if (infoOut)
            *infoOut = info;
        return {};
    }

    if (info.m_sampleRate != 44100 && !native.empty())
        out = ResampleTo22050(native, info.m_sampleRate);
    if (infoOut)
        *infoOut = info;
    return out;
}

std::vector<int16_t> DecodeMp3File(const QString& path, SMp3Info* infoOut)
{
    SMp3Info info;
    if (infoOut)
        *infoOut = info;
    int64_t size = 0;
    const int fd = OpenRegularFile(path, &size);
    if (fd < 0)
        return {};
    // No MP3 frame carries more than 640 kbit/s (free format at its fastest).
    if (size > int64_t(80000) * kMaxAudioSeconds) {
        ::close(fd);
        ReportTooLong(path);
        return {};
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += size_t(n);
    }
    ::close(fd);
    bytes.resize(got); // a file that shrank while being read keeps what was there
    std::vector<int16_t> samples = DecodeMp3Bytes(bytes.data(), bytes.size(), &info);
    if (infoOut)
        *infoOut = info;
    if (info.m_tooLong)
        ReportTooLong(path);
    else if (samples.empty() && !bytes.empty() && info.m_longestFrameRun < kMinMp3FrameRun)
        UserReport().Error(QStringLiteral("\"%1\" holds no MP3 audio: no valid frames follow one another.").arg(path));
    return samples;
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
