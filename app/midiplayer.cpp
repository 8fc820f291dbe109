#include "midiplayer.h"

#include "midi.h"
#include "rondeldoc.h"

CMidiPlayer::CMidiPlayer(CRondelDoc& doc, std::function<int()> devicePosition)
    : m_doc(doc), m_devicePosition(std::move(devicePosition))
{
}

int CMidiPlayer::State() const
{
    // 0, 1, 2, or negative while finishing (the stream still sounds its last bar).
    return CMidi::GetPlayState();
}

bool CMidiPlayer::Play(bool loop, bool oneBar, int startBar)
{
    CMidi& midi = MidiOf(m_doc);
    std::optional<EventPos> start;
    int n = 0;
    for (auto it = m_doc.Events().begin(); it != m_doc.Events().end(); ++it)
        if ((*it)->IsMeasure() && n++ == startBar) {
            start = it;
            break;
        }
    return midi.Play(m_devicePosition ? m_devicePosition() : 0, SPlayRange{}, loop, oneBar, start);
}

void CMidiPlayer::Stop()
{
    if (CMidi::GetPlayState() != PlayerState::Stopped)
        MidiOf(m_doc).Stop();
}

void CMidiPlayer::PauseResume()
{
    MidiOf(m_doc).PauseResume();
}

void CMidiPlayer::SetTempo(int bpm)
{
    if (CMidi::GetPlayState() != PlayerState::Stopped)
        MidiOf(m_doc).SetTempo(bpm);
}

int CMidiPlayer::GetPlayPosition()
{
    const int64_t pos = MidiOf(m_doc).PollPlayer();
    return pos < 0 ? -1 : int(std::min<int64_t>(pos, INT32_MAX));
}

void CMidiPlayer::SetVolume(int percent)
{
    MidiOf(m_doc).SetVolume(percent);
}
