#pragma once
// Reading Standard MIDI Files into a song: the drum part (MIDI channel 10) becomes BAR events
// with time signature and tempo and Note events on the 96-ticks-per-quarter grid, snapped to
// 32nd (or 16th) notes, with triplets found from the note spacing.

#include "event.h"

#include <QByteArray>
#include <QString>

struct SMidiImportOptions
{
    bool m_snapTo32nd = true;     // false: 16th notes
    bool m_detectTriplets = true;
};
// The options the next ".mid" open uses (the options dialog and `kadenzo-cli --snap16` set
// them).
SMidiImportOptions& MidiImportOptions();

// Appends the file's drum notes to events. False when the file cannot be opened; damaged
// files report through the user-report interface and keep what was read before the damage.
bool ReadMidiFile(const QString& path, CEventList& events, bool snapTo32nd, bool detectTriplets);
// The same over bytes in memory.
void ReadMidiBytes(const QByteArray& bytes, CEventList& events, bool snapTo32nd, bool detectTriplets);
// Marks as triplets the notes at the three latest distinct positions before `position`,
// walking back from the tail of the list to the last measure.
void MarkTriplets(CEventList& events, int position);
