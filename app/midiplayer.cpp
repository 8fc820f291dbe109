#include "midiplayer.h"

#include "midi.h"
#include "rondeldoc.h"
#include "songrange.h"

CMidiPlayer::CMidiPlayer(CRondelDoc& doc, std::function<int()> devicePosition)
    : m_doc(doc), m_devicePosition(std::move(devicePosition))
{
}

int CMidiPlayer::State() const
{
    // 0, 1, 2, or negative while finishing (the stream still sounds its last bar).
    return CMidi::GetPlayState();
}

void CMidiPlayer::SetPlaySpan(int type, int barDn, int tickDn, int barUp, int tickUp)
{
    m_spanType = type;
    m_span[0] = barDn;
    m_span[1] = tickDn;
    m_span[2] = barUp;
    m_span[3] = tickUp;
}

bool CMidiPlayer::Play(bool loop, bool oneBar, int startBar)
{
    CMidi& midi = MidiOf(m_doc);
    CEventList& events = m_doc.Events();
    std::optional<EventPos> start;
    int n = 0;
    for (auto it = events.begin(); it != events.end(); ++it)
        if (it->IsMeasure() && n++ == startBar) {
            start = it;
            break;
        }
    // The markers as list positions; a marker on the closing bar would play nothing.
    auto find = [&events](const CEvent* ev) -> std::optional<EventPos> {
        if (!ev)
            return std::nullopt;
        for (auto it = events.begin(); it != events.end(); ++it)
            if (&*it == ev && std::next(it) != events.end())
                return it;
        return std::nullopt;
    };
    midi.m_playStartMarker = find(m_doc.m_pStartMarker);
    midi.m_playEndMarker = find(m_doc.m_pEndMarker);
    SPlayRange range;
    if (m_spanType == 2) {
        if (const auto span = ResolveSongRange(events, {m_span[0], m_span[1], m_span[2], m_span[3]})) {
            range.m_type = 2;
            range.m_startBarPos = span->m_startBar;
            range.m_endEventPos = span->m_last;
            range.m_endBarPos = span->m_endBar;
            // The range end closes the loop where a later end marker would not be reached.
            midi.m_playEndMarker.reset();
            midi.m_playStartMarker.reset();
        }
    }
    m_spanType = 0;
    return midi.Play(m_devicePosition ? m_devicePosition() : 0, range, loop, oneBar, start);
}

bool CMidiPlayer::ContinueAt(int startBar)
{
    const int state = CMidi::GetPlayState();
    if (state != PlayerState::Playing && state != PlayerState::Paused)
        return false;
    CEventList& events = m_doc.Events();
    const EventPos bar = FindBar(events, startBar + 1);
    // The closing bar line plays nothing.
    if (bar == events.end() || std::next(bar) == events.end())
        return false;
    // The bars queued already still sound; then this one.
    MidiOf(m_doc).ContinueAt(bar);
    return true;
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
