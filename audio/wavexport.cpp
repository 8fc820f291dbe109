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

namespace {
// The song at its own tempi: the play-tempo box of the desktop program does not apply.
class CExportHost : public CPlayerHost
{
};

constexpr int kChunk = 1024;
constexpr double kTailSeconds = 2.0;

int64_t PlayedTicks(CMidi& midi)
{
    // The measures in the order they are played, repeats included.
    std::vector<const CEvent*> measures;
    for (const auto& ev : midi.Events())
        if (ev->IsMeasure())
            measures.push_back(ev.get());
    int64_t ticks = 0;
    for (int ordinal : midi.PlayOrder())
        if (ordinal >= 1 && size_t(ordinal) <= measures.size())
            ticks += CMidi::BarTicks(*measures[size_t(ordinal - 1)]);
    return ticks;
}
}

bool ExportWave(CRondelDoc& doc, const QString& path, const std::function<bool(int)>& progress, QString* error, const QString& soundFont)
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

    CSynthEngine engine(CSynthEngine::Mode::Offline, 44100.0);
    if (!engine.Open(error, soundFont))
        return false;
    CWaveWriter writer(path, 44100, 2);
    if (!writer.Open(error))
        return false;

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
    std::vector<float> left(kChunk), right(kChunk);
    std::vector<int16_t> pcm(kChunk * 2);
    int64_t tail = int64_t(kTailSeconds * 44100);
    int64_t sinceProgress = 0;
    int lastPercent = -1;
    bool ok = true;
    while (ok) {
        engine.Render(left.data(), right.data(), kChunk);
        FloatToInt16(left.data(), right.data(), kChunk, pcm.data());
        ok = writer.Write(pcm.data(), kChunk);
        if (CMidiStream* stream = CMidi::PlayerStream())
            stream->DispatchDone();
        const int state = CMidi::GetPlayState();
        const int64_t position = midi.GetPlayPosition();
        // A song that loops forever is cut where its counted length ends.
        if (state < 0 || state == 0 || position > totalTicks + 4 * 384)
            tail -= kChunk;
        if (tail <= 0)
            break;
        if (progress && (sinceProgress += kChunk) >= 22050) {
            sinceProgress = 0;
            const int percent = int(std::min<int64_t>(100, position * 100 / totalTicks));
            if (percent != lastPercent && !progress(lastPercent = percent)) {
                ok = false;
                if (error)
                    *error = QStringLiteral("Export Wave cancelled");
            }
        }
    }
    // Close the stream: stop it if it still plays, or count the finishing states down.
    midi.Stop();
    while (CMidi::GetPlayState() != 0 && midi.PollPlayer() >= 0) {
    }
    if (!ok) {
        if (error && error->isEmpty())
            writer.Commit(error); // refuses, and says why the writing stopped
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
        UserReport().Message(QStringLiteral("Failed to open SynthFont.exe"));
        if (error)
            *error = QStringLiteral("Failed to open SynthFont.exe");
        return false;
    }
    return true;
}

}
