#include "player.h"

#include "playclock.h"
#include "rondeldoc.h"

#include <algorithm>
#include <cmath>

std::vector<int> CClockPlayer::FillBarTimes(CRondelDoc& doc)
{
    std::vector<int> starts;
    double msecs = doc.m_audioSync * 10.0;
    uint32_t ticks = 0;
    int tempo = doc.m_songTempo ? doc.m_songTempo : 120;
    for (auto& e : doc.Events()) {
        if (!e->IsMeasure())
            continue;
        if (e->GetTempo())
            tempo = int(e->GetTempo());
        e->m_runTime1 = ticks;
        e->m_runTime2 = uint32_t(msecs);
        starts.push_back(int(msecs));
        const uint32_t positions = e->GetMeasurePositions();
        ticks += positions;
        msecs += positions * 60000.0 / (tempo * 96.0);
    }
    return starts;
}

bool CClockPlayer::Play(bool loop, bool oneBar, int startBar)
{
    if (m_state != PlayerState::Stopped)
        return false;
    const std::vector<int> starts = FillBarTimes(m_doc);
    if (starts.size() < 2)
        return false;
    m_barTicks.clear();
    m_barMsecs = starts;
    for (const auto& e : m_doc.Events())
        if (e->IsMeasure())
            m_barTicks.push_back(int(e->m_runTime1));
    const int measures = int(starts.size()) - 1; // the closing bar only ends the song
    m_firstBar = std::clamp(startBar, 0, measures - 1);
    m_lastBar = oneBar ? m_firstBar + 1 : measures;
    m_loop = loop;
    m_carriedMsecs = 0;
    m_startClock = PlayClock::NowMsecs();
    m_state = PlayerState::Playing;
    return true;
}

void CClockPlayer::Stop()
{
    m_state = PlayerState::Stopped;
}

void CClockPlayer::PauseResume()
{
    if (m_state == PlayerState::Playing) {
        m_carriedMsecs = PlayedMsecs();
        m_state = PlayerState::Paused;
    } else if (m_state == PlayerState::Paused) {
        m_startClock = PlayClock::NowMsecs();
        m_state = PlayerState::Playing;
    }
}

void CClockPlayer::SetTempo(int bpm)
{
    if (m_state == PlayerState::Playing) {
        m_carriedMsecs = PlayedMsecs();
        m_startClock = PlayClock::NowMsecs();
    }
    m_tempo = std::max(bpm, 0);
}

double CClockPlayer::PlayedMsecs() const
{
    if (m_state != PlayerState::Playing)
        return m_carriedMsecs;
    double elapsed = double(PlayClock::NowMsecs() - m_startClock);
    if (m_tempo > 0) {
        // A forced tempo scales the song's own first-bar tempo.
        int songTempo = m_doc.m_songTempo ? m_doc.m_songTempo : 120;
        for (const auto& e : m_doc.Events())
            if (e->IsMeasure()) {
                if (e->GetTempo())
                    songTempo = int(e->GetTempo());
                break;
            }
        elapsed = elapsed * m_tempo / songTempo;
    }
    return m_carriedMsecs + elapsed;
}

int CClockPlayer::GetPlayPosition()
{
    if (m_state == PlayerState::Stopped)
        return -1;
    const double from = m_barMsecs[m_firstBar];
    const double to = m_barMsecs[m_lastBar];
    const double length = to - from;
    if (length <= 0)
        return -1;
    double t = PlayedMsecs();
    if (t >= length) {
        if (!m_loop) {
            m_state = PlayerState::Stopped;
            return -1;
        }
        t = std::fmod(t, length);
    }
    const double songMsecs = from + t;
    int bar = m_firstBar;
    while (bar + 1 < m_lastBar && m_barMsecs[bar + 1] <= songMsecs)
        ++bar;
    const double barLen = m_barMsecs[bar + 1] - m_barMsecs[bar];
    const double barTicks = m_barTicks[bar + 1] - m_barTicks[bar];
    const double into = barLen > 0 ? (songMsecs - m_barMsecs[bar]) / barLen * barTicks : 0;
    return m_barTicks[bar] + int(into);
}
