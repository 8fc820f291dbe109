#include "wavexport.h"

#include "safefile.h"

#include "midi.h"
#include "midistream.h"
#include "report.h"
#include "rondeldoc.h"
#include "settings.h"
#include "synthengine.h"
#include "wavewriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <cmath>

namespace {
// The song at its own tempi: the play-tempo box of the desktop program does not apply.
class CExportHost : public CPlayerHost
{
};

constexpr int kRate = 44100;
constexpr int kChunk = 1024;
constexpr double kTailSeconds = 2.0;

float PeakOf(const float* left, const float* right, int frames)
{
    float peak = 0;
    for (int i = 0; i < frames; ++i)
        peak = std::max(peak, std::max(std::fabs(left[i]), std::fabs(right[i])));
    return peak;
}

// Float stereo to interleaved 16-bit: scaled, clipped, rounded half away from zero.
void ToInt16(const float* left, const float* right, int frames, float gain, int16_t* out)
{
    const float scale = 32767.0f * gain;
    const auto one = [scale](float x) {
        const float v = std::clamp(x * scale, -32768.0f, 32767.0f);
        return int16_t(v + (v >= 0 ? 0.5f : -0.5f));
    };
    for (int i = 0; i < frames; ++i) {
        out[2 * i] = one(left[i]);
        out[2 * i + 1] = one(right[i]);
    }
}

// Interleaved float frames in a temporary file (removed when the spool goes). Written and
// read through the descriptor, so that a failed write is seen at once, with its reason.
class CFloatSpool
{
public:
    bool Open()
    {
        if (!m_file.open())
            return Fail(m_file.errorString());
        return true;
    }
    bool Write(const float* left, const float* right, int frames)
    {
        m_buffer.resize(size_t(frames) * 2);
        for (int i = 0; i < frames; ++i) {
            m_buffer[size_t(2 * i)] = left[i];
            m_buffer[size_t(2 * i + 1)] = right[i];
        }
        const char* data = reinterpret_cast<const char*>(m_buffer.data());
        size_t left_ = m_buffer.size() * sizeof(float);
        while (left_ > 0) {
            const ssize_t n = ::pwrite(m_file.handle(), data, left_, m_writeAt);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return Fail(QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO)));
            data += n;
            left_ -= size_t(n);
            m_writeAt += n;
        }
        m_frames += frames;
        return true;
    }
    bool Rewind()
    {
        m_readAt = 0;
        return true;
    }
    bool Read(float* left, float* right, int frames)
    {
        m_buffer.resize(size_t(frames) * 2);
        char* data = reinterpret_cast<char*>(m_buffer.data());
        size_t want = m_buffer.size() * sizeof(float);
        while (want > 0) {
            const ssize_t n = ::pread(m_file.handle(), data, want, m_readAt);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return Fail(QString::fromLocal8Bit(std::strerror(n < 0 ? errno : EIO)));
            data += n;
            want -= size_t(n);
            m_readAt += n;
        }
        for (int i = 0; i < frames; ++i) {
            left[i] = m_buffer[size_t(2 * i)];
            right[i] = m_buffer[size_t(2 * i + 1)];
        }
        return true;
    }
    int64_t Frames() const { return m_frames; }
    // Why the spool failed (empty while it works).
    const QString& Reason() const { return m_reason; }

private:
    bool Fail(const QString& reason)
    {
        if (m_reason.isEmpty())
            m_reason = reason.isEmpty() ? QStringLiteral("cannot write the temporary file") : reason;
        return false;
    }

    QTemporaryFile m_file;
    std::vector<float> m_buffer;
    off_t m_writeAt = 0;
    off_t m_readAt = 0;
    int64_t m_frames = 0;
    QString m_reason;
};

int64_t PlayedTicks(CMidi& midi)
{
    // The measures in the order they are played, repeats included.
    std::vector<const CEvent*> measures;
    for (const auto& ev : midi.Events())
        if (ev.IsMeasure())
            measures.push_back(&ev);
    int64_t ticks = 0;
    for (int ordinal : midi.PlayOrder())
        if (ordinal >= 1 && size_t(ordinal) <= measures.size())
            ticks += CMidi::BarTicks(*measures[size_t(ordinal - 1)]);
    return ticks;
}
}

SWaveOptions SWaveOptions::FromSettings()
{
    SWaveOptions options;
    options.m_precise = SettingsStore::Read(QStringLiteral("wave_precise")).trimmed() == QLatin1String("1");
    options.m_normalise = SettingsStore::Read(QStringLiteral("wave_normalise")).trimmed() != QLatin1String("0");
    return options;
}

bool ExportWave(CRondelDoc& doc, const QString& path, const std::function<bool(int)>& progress, QString* error, const QString& soundFont)
{
    return ExportWave(doc, path, progress, error, SWaveOptions::FromSettings(), soundFont);
}

bool ExportWave(CRondelDoc& doc, const QString& path, const std::function<bool(int)>& progress, QString* error, const SWaveOptions& options,
                const QString& soundFont)
{
    CMidi& midi = MidiOf(doc);
    midi.Stop();
    if (CMidi::GetPlayState() != 0) {
        if (error)
            *error = QStringLiteral("Another song is playing");
        return false;
    }
    if (doc.Events().empty()) {
        if (error)
            *error = QStringLiteral("The song is empty");
        return false;
    }
    midi.ComputeBarTimes();
    const int64_t totalTicks = std::max<int64_t>(1, PlayedTicks(midi));

    CSynthEngine engine(CSynthEngine::Mode::Offline, kRate, options.m_precise ? 2 : 1);
    if (!engine.Open(error, soundFont))
        return false;
    CWaveWriter writer(path, kRate, 2);
    if (!writer.Open(error))
        return false;
    // The normalised export keeps the first pass as floats until its peak is known.
    CFloatSpool spool;
    if (options.m_normalise && !spool.Open()) {
        writer.Cancel();
        if (error)
            *error = QStringLiteral("cannot write a temporary file for %1").arg(path);
        return false;
    }

    CPlayerHost* previousHost = &PlayerHost::Get();
    CExportHost host;
    PlayerHost::Set(&host);
    struct SRestore
    {
        CPlayerHost* m_host;
        ~SRestore() { PlayerHost::Set(m_host); }
    } restore{previousHost};

    if (!midi.PlayOn(std::make_unique<CSynthStream>(engine), SPlayRange{}, false, false, doc.Events().begin())) {
        writer.Cancel();
        if (error)
            *error = QStringLiteral("The song could not be rendered");
        return false;
    }
    // The first pass takes this share of the progress when a second one follows.
    const int firstShare = options.m_normalise ? 95 : 100;
    std::vector<float> left(kChunk), right(kChunk);
    std::vector<int16_t> pcm(kChunk * 2);
    float peak = 0;
    int64_t tail = int64_t(kTailSeconds * kRate);
    // The synthesizer's fixed delay is cut from the start, so notes sound at their own times.
    int skip = engine.LatencyFrames();
    int64_t sinceProgress = 0;
    int lastPercent = -1;
    bool ok = true;
    bool cancelled = false;
    const auto report = [&](int percent) {
        if (progress && percent != lastPercent && !progress(lastPercent = percent)) {
            cancelled = true;
            if (error)
                *error = QStringLiteral("Export Wave cancelled");
        }
        return !cancelled;
    };
    while (ok) {
        engine.Render(left.data(), right.data(), kChunk);
        const int from = std::min(skip, kChunk);
        skip -= from;
        const int frames = kChunk - from;
        if (options.m_normalise) {
            peak = std::max(peak, PeakOf(left.data() + from, right.data() + from, frames));
            ok = spool.Write(left.data() + from, right.data() + from, frames);
        } else {
            ToInt16(left.data() + from, right.data() + from, frames, 1.0f, pcm.data());
            ok = writer.Write(pcm.data(), frames);
        }
        if (CMidiStream* stream = CMidi::PlayerStream())
            stream->DispatchDone();
        const int state = CMidi::GetPlayState();
        const int64_t position = midi.GetPlayPosition();
        // A song that loops forever is cut where its counted length ends.
        if (state < 0 || state == 0 || position > totalTicks + 4 * 384)
            tail -= kChunk;
        if (tail <= 0)
            break;
        if (progress && (sinceProgress += kChunk) >= kRate / 2) {
            sinceProgress = 0;
            ok = ok && report(int(std::min<int64_t>(100, position * 100 / totalTicks) * firstShare / 100));
        }
    }
    // Close the stream: stop it if it still plays, or count the finishing states down.
    midi.Stop();
    while (CMidi::GetPlayState() != 0 && midi.PollPlayer() >= 0) {
    }
    if (ok && options.m_normalise) {
        // Second pass: the spooled floats at the gain that puts the peak at -1 dBFS (silence
        // stays as it is).
        const float gain = peak > 0 ? float(std::pow(10.0, kWavePeakDbfs / 20.0) / double(peak)) : 1.0f;
        const int64_t total = spool.Frames();
        ok = spool.Rewind();
        int64_t done = 0;
        while (ok && done < total) {
            const int frames = int(std::min<int64_t>(kChunk, total - done));
            ok = spool.Read(left.data(), right.data(), frames);
            if (ok) {
                ToInt16(left.data(), right.data(), frames, gain, pcm.data());
                ok = writer.Write(pcm.data(), frames);
            }
            done += frames;
            if (ok && progress && done % (kChunk * 64) == 0)
                ok = report(firstShare + int(done * (99 - firstShare) / std::max<int64_t>(1, total)));
        }
    }
    if (!ok) {
        // Never commit here: the file is incomplete. Say why the writing stopped.
        if (error && error->isEmpty()) {
            if (!spool.Reason().isEmpty())
                *error = CannotWriteText(path, spool.Reason());
            else
                *error = writer.ErrorText();
        }
        writer.Cancel();
        return false;
    }
    if (!writer.Commit(error))
        return false;
    if (progress)
        progress(100);
    return true;
}

namespace SynthFont {

QString ConfiguredProgram()
{
    return SettingsStore::Read(QStringLiteral("synthfont"));
}

bool RewriteIni(const QString& iniPath, const QString& midiPath)
{
    QFile in(iniPath);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    const QByteArray original = in.readAll();
    in.close();
    const QString midi = QFileInfo(midiPath).absoluteFilePath();
    const QString folder = QFileInfo(midi).absolutePath();
    QByteArray out;
    QList<QByteArray> lines = original.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith("Last="))
            line = "Last=" + QFile::encodeName(QDir::toNativeSeparators(midi));
        else if (line.startsWith("Explorer="))
            line = "Explorer=" + QFile::encodeName(QDir::toNativeSeparators(folder));
        out += line + '\n';
    }
    return WriteFileAtomically(iniPath, out, nullptr);
}

bool HandOff(CRondelDoc& doc, const QString& program, const QString& midiPath, QString* error)
{
    MidiOf(doc).Stop();
    if (!MidiOf(doc).WriteMidiFile(midiPath, error))
        return false;
    UserReport().Message(QStringLiteral("Kadenzo will now start SynthFont to convert\n") + midiPath +
                         QStringLiteral(" to .wav\nIn SynthFont, use the \"...To File\" command to creat the wave file\nYou can also use any other midi synthesizer, but SynthFont works well and is free!!!"));
    const QString ini = QFileInfo(program).absolutePath() + QStringLiteral("/SynthFont.ini");
    if (!RewriteIni(ini, midiPath))
        KADENZO_INTERNAL_PROBLEM(ReportSource::Rondel);
    if (!QProcess::startDetached(program, {})) {
        UserReport().Error(QStringLiteral("Failed to open SynthFont.exe"));
        if (error)
            *error = QStringLiteral("Failed to open SynthFont.exe");
        return false;
    }
    return true;
}

}
