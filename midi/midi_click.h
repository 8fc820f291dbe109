#pragma once
// The practice click: a metronome on the beats of every bar's own time signature, and an
// optional count-in of one bar before the song. Both are off unless the user switches them
// on; with both off every pass renders exactly what it rendered before the click existed.
// The click sounds on the percussion channel (MIDI channel 10) whatever the track is.

#include <cstdint>
#include <vector>

struct SClickOptions
{
    bool m_click = false;   // a click on every beat of every bar
    bool m_countIn = false; // one bar of clicks before the first bar played
    bool operator==(const SClickOptions&) const = default;
};

// The program-wide options the passes read (like the velocity tables).
SClickOptions& ClickOptions();
// Settings keys "click" and "count_in" ("1" on, anything else off).
void LoadClickOptions();
void SaveClickOptions();

namespace Click {
inline constexpr int kChannel = 9;        // MIDI channel 10
inline constexpr int kAccentNote = 76;    // Hi Wood Block: the first beat of a bar
inline constexpr int kBeatNote = 77;      // Low Wood Block: the other beats
inline constexpr int kAccentVelocity = 110;
inline constexpr int kBeatVelocity = 80;
inline constexpr int kMaxLength = 24;     // ticks a click is held at most

// Tick offsets of the beats in a bar of `numerator`/`denominator` lasting `barTicks`:
// simple meters beat their denominator (4/4 quarters, 2/2 halves); 6/8, 9/8, 12/8 (and the
// same in 16ths) beat dotted values; other eighth or 16th meters group their units in twos
// with one three at the end (7/8 = 2+2+3, 5/8 = 2+3); 3/8 beats its eighths.
std::vector<int> BeatOffsets(int numerator, int denominator, int barTicks);

// One click message at an absolute tick of the rendered stream.
struct SClickEvent
{
    int64_t m_tick = 0;
    uint8_t m_note = 0;
    uint8_t m_velocity = 0; // 0: the release
};
// The clicks of one bar starting at `barStart`, onsets and releases in time order.
std::vector<SClickEvent> BarClicks(int64_t barStart, int numerator, int denominator, int barTicks);
}
