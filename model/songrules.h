#pragma once
// Rules over the whole event list that several layers share.

#include "event.h"

// Sets bit 14 (time signature shown) on the first BAR and on every BAR whose time signature
// differs from the previous measure's, and clears it on the others. Drawing does this as it
// goes; a MIDI file written without a window needs it done first.
void MarkShownTimeSignatures(CEventList& events);
