#include "audiooverlay.h"

#include "report.h"
#include "rondeldoc.h"
#include "synthengine.h"

CAudioOverlay::CAudioOverlay(CSynthEngine* engine) : m_engine(engine) {}

CAudioOverlay::~CAudioOverlay()
{
    CloseAudio();
}

CSynthEngine& CAudioOverlay::Engine()
{
    return m_engine ? *m_engine : CSynthEngine::Shared();
}

void CAudioOverlay::AttachDocument(CRondelDoc* doc)
{
    CloseAudio();
    m_pDoc = doc;
}

void CAudioOverlay::CloseAudio()
{
    if (m_handedToEngine) {
        Engine().StopOverlay();
        Engine().SetOverlaySamples(nullptr, 0); // waits until the callback lets go
        m_handedToEngine = false;
    }
    m_samples = {};
    m_overview = {};
    m_sampleCount = 0;
    m_durationMsecs = 0;
    m_overviewLength = 0;
    m_playStartSample = 0;
    m_cursorMsecs = 0;
}

bool CAudioOverlay::LoadAudio()
{
    if (!m_pDoc || m_pDoc->m_audioFile.isEmpty())
        return false;
    CloseAudio();
    std::vector<int16_t> samples = ReadAudioFile(m_pDoc->m_audioFile);
    if (samples.empty()) {
        UserReport().Error(QStringLiteral("Audio file read failed"));
        return false;
    }
    m_samples = std::move(samples);
    m_sampleCount = int(m_samples.size());
    m_durationMsecs = int(m_sampleCount / 22.05);
    m_overview = BuildOverview(m_samples.data(), m_sampleCount);
    m_overviewLength = int(m_overview.size());
    // Opening the output never fails loudly: without a device the overlay plays silently.
    Engine().SetOverlaySamples(m_samples.data(), m_sampleCount);
    m_handedToEngine = true;
    SetPosition(0);
    return true;
}

void CAudioOverlay::SetPosition(int msecs)
{
    m_playStartSample = std::clamp(int(msecs * 22.05), 0, m_sampleCount);
    m_cursorMsecs = msecs;
}

void CAudioOverlay::StartPlayback()
{
    if (!m_handedToEngine)
        return;
    Engine().StartOverlay(m_playStartSample);
}

void CAudioOverlay::StopPlayback()
{
    if (m_handedToEngine)
        Engine().StopOverlay();
}

void CAudioOverlay::PausePlayback()
{
    if (m_handedToEngine)
        Engine().PauseOverlay(true);
}

void CAudioOverlay::ResumePlayback()
{
    if (m_handedToEngine)
        Engine().PauseOverlay(false);
}

void CAudioOverlay::SetWaveVolume(int fader)
{
    const int v = WaveVolumeForFader(std::clamp(fader, 0, 100));
    Engine().SetOverlayGain(float(v) / 65535.0f);
}

int CAudioOverlay::GetAudioPositionMsecs() const
{
    if (!m_handedToEngine)
        return int(m_playStartSample / 22.05);
    const int64_t played = const_cast<CAudioOverlay*>(this)->Engine().OverlaySamplesPlayed();
    return int(played / 22.05) + int(m_playStartSample / 22.05);
}

bool CAudioOverlay::IsPlaying() const
{
    return m_handedToEngine && const_cast<CAudioOverlay*>(this)->Engine().OverlayPlaying();
}
