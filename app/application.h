#pragma once
// Start-up of the desktop program: settings names, formats, the main window, the command line.

// Runs Kadenzo; `kadenzo` is this and nothing else. Files named on the command line open
// through the same path as File Open; --quit-after-load shows the window once and exits.
int KadenzoMain(int argc, char** argv);

// Registers the layers' file formats and attaches the desktop program's hooks to them (once).
void RegisterAppFormats();
