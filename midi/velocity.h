#pragma once
// The program-wide velocity configuration the renderer reads: drum velocities per drum group
// with the flam gap and pre-volume ("drum_vol"), and guitar/bass velocities per General MIDI
// program 24-39 ("gtr_vol"). The dialogs that edit them only call the functions below.

#include <QString>

#include <array>
#include <cstdint>

namespace DrumGroup {
// In the order the "drum_vol" value stores them.
enum : int {
    Snare = 0,
    Ride,
    RideBell,
    Other,
    OpenHiHat,
    PedalHiHat,
    ClosedHiHat,
    Crash,
    China,
    Cowbell,
    BassDrum,
    Splash,
    SideStick,
    Toms,
    Count
};
}

// Velocity slots of a drum group (note: a guitar record orders them normal, accent, ghost).
namespace DrumVelocity {
enum : int { Normal = 0, Ghost = 1, Accent = 2 };
}
namespace GuitarVelocity {
enum : int { Normal = 0, Accent = 1, Ghost = 2, Hammer = 3, PullOff = 4 };
}

struct SDrumVolumes
{
    int m_flamGap = 6;        // ticks between a flam's grace note and its main note
    int m_flamPreVolume = 50; // grace-note velocity, percent of the main note's
    std::array<std::array<int, 3>, DrumGroup::Count> m_velocity; // [group][normal, ghost, accent]

    SDrumVolumes();
    static constexpr int kValueCount = 2 + 3 * DrumGroup::Count; // 44
    // The "drum_vol" text: 44 decimals joined by ",".
    QString ToText() const;
    // Fills the fields the text holds, in order; stops at the first field that is not a
    // number. Returns the number of fields taken.
    int FromText(const QString& text);
    bool operator==(const SDrumVolumes&) const = default;
};

struct SGuitarVolumes
{
    static constexpr int kFirstProgram = 24;
    static constexpr int kRecordCount = 16; // programs 24-39
    std::array<std::array<int8_t, 5>, kRecordCount> m_record; // normal, accent, ghost, hammer, pull off

    SGuitarVolumes();
    // The "gtr_vol" text: 16 records of five bytes as "%02x", 160 characters.
    QString ToText() const;
    // Fills the bytes the text holds, record after record; stops at the first pair that is
    // not hexadecimal. Returns the number of bytes taken.
    int FromText(const QString& text);
    bool operator==(const SGuitarVolumes&) const = default;
};

// The tables in force.
SDrumVolumes& DrumVolumes();
SGuitarVolumes& GuitarVolumes();

// From the settings store: "drum_vol", else "inst_cfg"; a missing value changes nothing.
void LoadDrumVolumes();
void SaveDrumVolumes();
void LoadGuitarVolumes();
void SaveGuitarVolumes();

// The group of a General MIDI drum key; every key not listed is "other".
int DrumGroupOf(int key);

// Velocities a guitar or bass bar uses for programs outside 24-39: the table's defaults.
inline constexpr std::array<int8_t, 5> kFallbackGuitarVelocities = {70, 100, 50, 70, 70};

// Slider positions (0-100) to values and back. The inverted sliders give their smallest
// value at position 100.
namespace VolumeSlider {
int FlamGapFromSlider(int s);      // 1-10 ticks
int FlamPreVolumeFromSlider(int s); // 10-90 %
int NormalFromSlider(int s);       // 40-100
int GhostFromSlider(int s);        // 20-80
int AccentFromSlider(int s);       // 80-120
int SliderFromFlamGap(int v);
int SliderFromFlamPreVolume(int v);
int SliderFromNormal(int v);
int SliderFromGhost(int v);
int SliderFromAccent(int v);
}
