#pragma once
// The tap-tempo counter and the auto-tempo ramp, without their dialogs.

#include <cstdint>

// Reads a tempo from key taps: a moving average of the intervals between taps.
class CTapTempo
{
public:
    // A tap at time t (ms). Returns the reading in BPM, 0 while there is none.
    int Tap(int64_t msecs);
    int Bpm() const;
    double AverageMsecs() const { return m_average; }
    int Count() const { return m_count; }

    static constexpr int kMinInterval = 272;  // 220 BPM
    static constexpr int kMaxInterval = 1200; // 50 BPM

private:
    int m_count = 0;
    int64_t m_previous = 0;
    bool m_havePrevious = false;
    double m_average = 0;
};

// Practice ramp: hold a starting tempo, then move linearly to an ending tempo.
struct SAutoTempo
{
    int m_startBpm = 60;
    int m_endBpm = 120;
    int m_holdSecs = 40;
    int m_rampSecs = 120;
    bool m_on = false;
};

// The tempo to set `elapsedSecs` whole seconds after playback started, or 0 when nothing
// changes (before the hold has passed, after the ramp). A ramp of 0 seconds steps to the
// ending tempo when the hold ends and keeps it for that second.
int AutoTempoAt(const SAutoTempo& settings, int64_t elapsedSecs);

// The five presets of the Auto tempo dialog (1-5); false for other numbers.
bool AutoTempoPreset(int preset, SAutoTempo* settings);
