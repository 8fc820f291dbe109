#pragma once
// Registers what the audio layer adds to documents (the player back ends).
void RegisterAudioFormats();
