#pragma once
// Registers ".mid" opening and saving and the timing pass with the document.
void RegisterMidiFormats();
