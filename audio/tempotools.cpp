#include "tempotools.h"

int CTapTempo::Tap(int64_t msecs)
{
    if (!m_havePrevious) {
        m_previous = msecs;
        m_havePrevious = true;
    }
    const int64_t interval = msecs - m_previous;
    if (interval > kMaxInterval || interval < kMinInterval) {
        // The first tap, a pause or a double hit: the next taps adapt quickly again.
        m_count = 5;
    } else {
        if (m_average == 0)
            m_average = double(interval);
        else if (m_count < 10)
            m_average = m_average * 0.8 + double(interval) * 0.2;
        else
            m_average = m_average * 0.985 + double(interval) * 0.015;
        ++m_count;
    }
    m_previous = msecs;
    return Bpm();
}

int CTapTempo::Bpm() const
{
    return m_average != 0 ? int(60000 / m_average) : 0;
}

int AutoTempoAt(const SAutoTempo& s, int64_t elapsed)
{
    if (elapsed < s.m_holdSecs)
        return 0;
    if (s.m_rampSecs <= 0)
        return elapsed <= s.m_holdSecs + 1 ? s.m_endBpm : 0;
    if (elapsed > s.m_holdSecs + s.m_rampSecs)
        return 0;
    return s.m_startBpm + int(int64_t(s.m_endBpm - s.m_startBpm) * (elapsed - s.m_holdSecs) / s.m_rampSecs);
}

bool AutoTempoPreset(int preset, SAutoTempo* s)
{
    struct SRow { int start, end, holdSlider, rampSlider; };
    static constexpr SRow kPresets[] = {{50, 100, 0, 0}, {50, 100, 20, 60}, {60, 120, 40, 120}, {60, 120, 50, 180}, {60, 120, 60, 240}};
    if (preset < 1 || preset > 5)
        return false;
    const SRow& row = kPresets[preset - 1];
    s->m_startBpm = row.start;
    s->m_endBpm = row.end;
    s->m_holdSecs = 60 - row.holdSlider;
    s->m_rampSecs = 300 - row.rampSlider;
    return true;
}
