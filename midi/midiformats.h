#pragma once
// Registers with the document: the CMidi part every document gets, the timing pass, ".mid"
// opening (with the process-wide MIDI import options) and ".mid" saving; loads the velocity
// settings. Call once at start, after the settings store is chosen.
void RegisterMidiFormats();
