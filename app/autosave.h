#pragma once
// The desktop side of autosave: the timer over the main window's open songs (every "autosave
// minutes", default 2), the recovery question at start, and the clean close that removes the
// copies.

#include "autosaver.h"

#include <vector>

class CMainFrame;
class CRondelDoc;

class CAppAutosave
{
public:
    explicit CAppAutosave(CMainFrame& frame);
    // The clean close: this run's copies are removed.
    ~CAppAutosave();
    CAppAutosave(const CAppAutosave&) = delete;
    CAppAutosave& operator=(const CAppAutosave&) = delete;

    // When an earlier run left copies, asks whether to recover them: yes opens each as a
    // changed song under its own name, no throws them away. Returns the number opened.
    int OfferRecovery();
    CAutosaver& Saver() { return m_saver; }

    // The songs of the main window's document windows.
    static std::vector<CRondelDoc*> OpenDocuments(const CMainFrame& frame);

private:
    CMainFrame& m_frame;
    CAutosaver m_saver;
};
