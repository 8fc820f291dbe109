#pragma once
// The practice click's switches: Play > Practice Click and Play > Count-in, and the
// transport's CLICK button, kept in step with each other and with the settings.

#include <functional>

class CRondelDoc;
class CTransportBar;
class QMenu;

// Reads the stored choices, adds the two actions to `play` and wires the CLICK button.
// A change during playback sounds from the next bar that has not begun (activeDoc: the song
// whose player may be running).
void AddPracticeClickActions(QMenu* play, CTransportBar* transport, std::function<CRondelDoc*()> activeDoc);
