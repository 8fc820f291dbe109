#pragma once
// Connects the desktop program's hooks to the import, MIDI and audio layers (called once at
// start by RegisterAppFormats).
void AttachAppToLayers();
