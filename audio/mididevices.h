#pragma once
// The MIDI device list: position 0 is the embedded synthesizer, positions 1.. the ALSA
// output ports in the sequencer's order. The "midi_device" setting keeps the chosen name.

#include <QString>
#include <QStringList>

namespace MidiDevices {
inline constexpr const char* kEmbeddedName = "Embedded synthesizer (FluidSynth)";
// Every position's name.
QStringList List();
// The position named by the "midi_device" setting among `names` (as List returns them);
// 0 when the setting is missing or names no device.
int PositionFromSetting(const QStringList& names);
// Chooses position p: stores its name as "midi_device" when p names a device; returns
// false (and stores nothing) when p lies past the list.
bool Choose(int position, const QStringList& names);
// A device given as a position number or a name (exact, then case-insensitive prefix);
// -1 when nothing matches.
int Resolve(const QString& text, const QStringList& names);
// Makes MidiStreams::Open work for these positions.
void InstallStreamOpener();
}
