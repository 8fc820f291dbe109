// play, devices, audio, and the .wav target of convert.

#include "commands.h"

#include "audioload.h"
#include "audiooverlay.h"
#include "midi.h"
#include "mididevices.h"
#include "midistream.h"
#include "report.h"
#include "rondeldoc.h"
#include "soundfont.h"
#include "wavexport.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {
std::atomic<bool> g_interrupted{false};

constexpr int kMinPlayTempo = 1;
constexpr int kMaxPlayTempo = 500;
constexpr int kMaxSync = 65535; // the song stores it in 16 bits

void OnInterrupt(int)
{
    g_interrupted.store(true);
}

// The transport of the command line: a fixed play tempo, the fader, the overlay.
class CCliPlayerHost : public CPlayerHost
{
public:
    int CurrentPlayTempo() const override { return m_playTempo; }
    int FaderPos() const override { return m_fader; }
    void NotifyOverlay(int code, int msecs) override
    {
        if (!m_overlay)
            return;
        switch (code) {
        case OverlayCode::Start:
            m_overlay->SetPosition(msecs);
            m_overlay->SetWaveVolume(m_fader);
            m_overlay->StartPlayback();
            break;
        case OverlayCode::Stop:
            m_overlay->StopPlayback();
            break;
        case OverlayCode::Pause:
            m_overlay->PausePlayback();
            break;
        case OverlayCode::Resume:
            m_overlay->ResumePlayback();
            break;
        }
    }
    void ShowSilentNotice(const char* text) override { std::fprintf(stderr, "%s\n", text); }

    int m_playTempo = 0;
    int m_fader = 0;
    CAudioOverlay* m_overlay = nullptr;
};

QString Clock(int msecs)
{
    const int minutes = msecs / 60000;
    return QString::asprintf("%02d:%.1f", minutes, msecs / 1000.0 - minutes * 60);
}

// The bar being played and the song time at the position (the play cursor's walk).
QString PlayingStatus(CMidi& midi, EventPos start, int64_t position, const CAudioOverlay* overlay)
{
    const EventPos none = midi.None();
    EventPos current = none;
    int measure = 0;
    int counted = 0;
    for (EventPos it = start; it != none; ++it) {
        if (!it->IsMeasure())
            continue;
        ++counted;
        if (int64_t(it->GetRunTime1()) > position && current != none)
            break;
        current = it;
        measure = counted;
    }
    int msecs = 0;
    if (current != none) {
        const int tempo = std::max(1, int((current->m_word1 & EventBits::TempoMask) >> EventBits::TempoShift));
        msecs = int(current->GetRunTime2()) + int((position - int64_t(current->GetRunTime1())) * 60000 / (tempo * 96));
    }
    QString text = QStringLiteral("PLAYING: %1 measure %2").arg(Clock(msecs)).arg(measure);
    if (overlay && overlay->IsPlaying())
        text += QStringLiteral(". WAVE %1 ").arg(Clock(overlay->GetAudioPositionMsecs()));
    return text;
}

int CmdPlay(const QStringList& args)
{
    QString file, deviceText, audioFile;
    int tempo = 0, sync = -1;
    bool loop = false, oneBar = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        const bool hasValue = i + 1 < args.size();
        bool ok = true;
        if (a == QLatin1String("--loop"))
            loop = true;
        else if (a == QLatin1String("--one-bar"))
            oneBar = true;
        else if (a == QLatin1String("--tempo") && hasValue)
            tempo = args[++i].toInt(&ok);
        else if (a == QLatin1String("--device") && hasValue)
            deviceText = args[++i];
        else if (a == QLatin1String("--audio") && hasValue)
            audioFile = args[++i];
        else if (a == QLatin1String("--sync") && hasValue)
            sync = args[++i].toInt(&ok);
        else if (!a.startsWith(QLatin1String("--")) && file.isEmpty())
            file = a;
        else
            return UsageError(QStringLiteral("usage: kadenzo-cli play FILE [--loop] [--one-bar] [--tempo BPM] [--device N|NAME] [--audio FILE --sync N]"));
        if (a == QLatin1String("--tempo") && (!ok || tempo < kMinPlayTempo || tempo > kMaxPlayTempo))
            return UsageError(QStringLiteral("--tempo must be a number from %1 to %2 (beats per minute); leave it out to play the song's own tempi")
                                  .arg(kMinPlayTempo)
                                  .arg(kMaxPlayTempo));
        if (a == QLatin1String("--sync") && (!ok || sync < 0 || sync > kMaxSync))
            return UsageError(QStringLiteral("--sync must be a number from 0 to %1 (hundredths of a second)").arg(kMaxSync));
    }
    if (file.isEmpty())
        return UsageError(QStringLiteral("usage: kadenzo-cli play FILE [--loop] [--tempo BPM] [--device N|NAME] [--audio FILE --sync N]"));

    if (!audioFile.isEmpty())
        if (const QString problem = InputProblem(audioFile); !problem.isEmpty())
            return FailFile(audioFile, problem);
    CRondelDoc doc;
    if (!OpenInput(doc, file))
        return 1;
    const QStringList devices = MidiDevices::List();
    int device = MidiDevices::PositionFromSetting(devices);
    if (!deviceText.isEmpty()) {
        device = MidiDevices::Resolve(deviceText, devices);
        if (device < 0)
            return Fail(QStringLiteral("no MIDI device %1 (see kadenzo-cli devices)").arg(deviceText));
    }

    CCliPlayerHost host;
    host.m_playTempo = tempo;
    std::unique_ptr<CAudioOverlay> overlay;
    if (!audioFile.isEmpty()) {
        doc.m_audioFile = QFileInfo(audioFile).absoluteFilePath();
        if (sync >= 0)
            doc.m_audioSync = uint16_t(sync);
        overlay = std::make_unique<CAudioOverlay>();
        overlay->AttachDocument(&doc);
        if (!overlay->LoadAudio())
            return 1;
        host.m_overlay = overlay.get();
        host.m_fader = 50;
    } else if (sync >= 0) {
        doc.m_audioSync = uint16_t(sync);
    }
    CRondelDoc::RunTimingPass(doc);
    PlayerHost::Set(&host);
    struct SResetHost
    {
        ~SResetHost() { PlayerHost::Set(nullptr); }
    } resetHost;

    CMidi& midi = MidiOf(doc);
    if (!midi.Play(device, SPlayRange{}, loop, oneBar))
        return Fail(QStringLiteral("cannot play on %1").arg(devices.value(device)));
    std::fprintf(stderr, "Playing %s on %s%s\n", QFileInfo(file).fileName().toLocal8Bit().constData(),
                 devices.value(device).toLocal8Bit().constData(), loop ? " in a loop (Ctrl+C stops)" : "");

    g_interrupted.store(false);
    auto previous = std::signal(SIGINT, OnInterrupt);
    const bool tty = isatty(fileno(stdout));
    const EventPos start = midi.m_startNode;
    QString lastStatus;
    while (true) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (g_interrupted.load()) {
            midi.Stop();
            std::printf("%sStopped\n", tty ? "\n" : "");
            break;
        }
        const int64_t position = midi.PollPlayer();
        if (position < 0)
            break;
        if (CMidi::GetPlayState() != 1)
            continue;
        const QString status = PlayingStatus(midi, start, position, overlay.get());
        if (tty) {
            std::printf("\r%s   ", status.toLocal8Bit().constData());
            std::fflush(stdout);
        } else if (status.section(QLatin1Char(' '), 2, 3) != lastStatus.section(QLatin1Char(' '), 2, 3)) {
            std::printf("%s\n", status.toLocal8Bit().constData());
            std::fflush(stdout);
        }
        lastStatus = status;
    }
    std::signal(SIGINT, previous);
    if (tty && !g_interrupted.load())
        std::printf("\n");
    return 0;
}

int CmdDevices(const QStringList& args)
{
    const QStringList names = MidiDevices::List();
    if (args.size() == 2 && args[0] == QLatin1String("--choose")) {
        const int position = MidiDevices::Resolve(args[1], names);
        if (position < 0 || !MidiDevices::Choose(position, names))
            return Fail(QStringLiteral("no MIDI device %1").arg(args[1]));
        return 0;
    }
    if (!args.isEmpty())
        return UsageError(QStringLiteral("usage: kadenzo-cli devices [--choose N|NAME]"));
    const int chosen = MidiDevices::PositionFromSetting(names);
    for (int i = 0; i < names.size(); ++i) {
        QString line = QStringLiteral("%1 %2 %3").arg(i == chosen ? QStringLiteral("*") : QStringLiteral(" ")).arg(i).arg(names[i]);
        if (i == 0) {
            const QString font = SoundFonts::Find();
            line += font.isEmpty() ? QStringLiteral(" (no SoundFont found)") : QStringLiteral(" (SoundFont %1)").arg(font);
        }
        std::printf("%s\n", line.toLocal8Bit().constData());
    }
    if (names.size() == 1)
        std::printf("  (no ALSA MIDI output ports)\n");
    return 0;
}

int CmdAudio(const QStringList& args)
{
    if (args.size() != 1)
        return UsageError(QStringLiteral("usage: kadenzo-cli audio FILE.wav|FILE.mp3"));
    // A FIFO or a device would be read until memory runs out.
    if (const QString problem = InputProblem(args[0]); !problem.isEmpty())
        return FailFile(args[0], problem);
    SMp3Info info;
    const bool mp3 = args[0].right(4).toLower() == QLatin1String(".mp3");
    std::vector<int16_t> samples = mp3 ? DecodeMp3File(args[0], &info) : ReadAudioFile(args[0]);
    if (samples.empty()) {
        UserReport().Error(QStringLiteral("Audio file read failed"));
        return 1;
    }
    const std::vector<int8_t> overview = BuildOverview(samples.data(), int64_t(samples.size()));
    QJsonObject o;
    o[QStringLiteral("file")] = args[0];
    o[QStringLiteral("sampleRate")] = kOverlayRate;
    o[QStringLiteral("samples")] = qint64(samples.size());
    o[QStringLiteral("durationMsecs")] = qint64(int64_t(samples.size()) * 100 / 2205);
    o[QStringLiteral("overviewLength")] = qint64(overview.size());
    if (mp3) {
        o[QStringLiteral("mp3SampleRate")] = info.m_sampleRate;
        o[QStringLiteral("mp3InfoFrame")] = info.m_infoFrame;
        o[QStringLiteral("mp3EncoderDelay")] = info.m_encoderDelay;
        o[QStringLiteral("mp3EncoderPadding")] = info.m_encoderPadding;
    }
    std::fputs(QJsonDocument(o).toJson(QJsonDocument::Indented).constData(), stdout);
    return 0;
}

bool ConvertToWave(CRondelDoc& doc, const QString& out, QString* error)
{
    const bool tty = isatty(fileno(stderr));
    return ExportWave(
        doc, out,
        [tty](int percent) {
            if (tty) {
                std::fprintf(stderr, "\rExport Wave %3d%%", percent);
                if (percent == 100)
                    std::fprintf(stderr, "\n");
            }
            return true;
        },
        error);
}

CCommandRegistrar s_play{"play", "play FILE [--loop] [--one-bar] [--tempo BPM] [--device N|NAME] [--audio FILE --sync N]\n"
                                 "      play through the embedded synthesizer or a MIDI port; Ctrl+C stops\n"
                                 "      reads: song files, and .wav or .mp3 for --audio\n"
                                 "      --loop            play the song (or the bar with --one-bar) over and over\n"
                                 "      --one-bar         play the first bar only\n"
                                 "      --tempo BPM       play at this tempo, 1 to 500 (default: the song's own tempi)\n"
                                 "      --device N|NAME   the MIDI device by number or name (see devices)\n"
                                 "      --audio FILE      play a recording along with the song\n"
                                 "      --sync N          start the recording N hundredths of a second in, 0 to 65535",
                         CmdPlay};
CCommandRegistrar s_devices{"devices", "devices [--choose N|NAME]\n"
                                       "      list the MIDI devices, or choose the one play uses (kept in the settings)",
                            CmdDevices};
CCommandRegistrar s_audio{"audio", "audio FILE\n"
                                   "      load a recording and print its length as JSON\n"
                                   "      reads: .wav .mp3; writes nothing",
                          CmdAudio};
CCommandRegistrar s_wave{[] { AddConvertTarget(QStringLiteral(".wav"), ConvertToWave); }};
} // namespace
