#pragma once
// Undo and redo by whole-document snapshots: each snapshot is the document's ".kdz" bytes, so
// undoing restores the header and the song settings as well as the events.

#include <QByteArray>

#include <deque>
#include <functional>

class CUndoHistory
{
public:
    // save returns the document as ".kdz" bytes; load puts such bytes back into it.
    using SaveFn = std::function<QByteArray()>;
    using LoadFn = std::function<void(const QByteArray&)>;
    CUndoHistory(SaveFn save, LoadFn load);

    static constexpr int m_maxLevels = 10; // steps back; the list also holds the current state

    // Records the current state (unless suspended) and forgets everything that was undone.
    // Marking the document modified is the caller's job.
    void CheckPoint();
    void AddUndo(QByteArray snapshot);
    bool CanUndo() const { return m_undoList.size() > 1; }
    bool CanRedo() const { return !m_redoList.empty(); }
    // Each loads the state it moves to; false when there was nothing to do.
    bool Undo();
    bool Redo();
    // Forgets every snapshot (a new song or another file in this document).
    void Clear();

    void SuspendCheckPoints() { ++m_suspendCount; }
    void ResumeCheckPoints()
    {
        if (m_suspendCount > 0)
            --m_suspendCount;
    }
    bool IsSuspended() const { return m_suspendCount > 0; }

    // The snapshot of the current state, or nullptr before the first check point.
    const QByteArray* Current() const { return m_undoList.empty() ? nullptr : &m_undoList.front(); }

    // Merges the last two steps: the state before the current one is forgotten (a held key
    // repeating one edit is one step).
    void DropPrevious()
    {
        if (m_undoList.size() >= 3)
            m_undoList.erase(m_undoList.begin() + 1);
    }
    // Replaces the current state's snapshot (the same song with other side data).
    void ReplaceCurrent(QByteArray snapshot)
    {
        if (!m_undoList.empty())
            m_undoList.front() = std::move(snapshot);
    }

    // Counts the snapshots ever added: tells whether an edit took a step, also when the
    // oldest one fell off the end.
    int Generation() const { return m_generation; }

    int UndoSteps() const { return m_undoList.empty() ? 0 : int(m_undoList.size()) - 1; }
    int RedoSteps() const { return int(m_redoList.size()); }

private:
    SaveFn m_save;
    LoadFn m_load;
    std::deque<QByteArray> m_undoList; // newest first; the front is the current state
    std::deque<QByteArray> m_redoList; // most recently undone first
    int m_suspendCount = 0;
    int m_generation = 0;
};
