#include "undohistory.h"

CUndoHistory::CUndoHistory(SaveFn save, LoadFn load) : m_save(std::move(save)), m_load(std::move(load)) {}

void CUndoHistory::CheckPoint()
{
    if (m_suspendCount > 0)
        return;
    AddUndo(m_save());
    m_redoList.clear();
}

void CUndoHistory::AddUndo(QByteArray snapshot)
{
    if (int(m_undoList.size()) > m_maxLevels)
        m_undoList.pop_back();
    m_undoList.push_front(std::move(snapshot));
    ++m_generation;
}

bool CUndoHistory::Undo()
{
    if (!CanUndo())
        return false;
    m_redoList.push_front(std::move(m_undoList.front()));
    m_undoList.pop_front();
    m_load(m_undoList.front());
    return true;
}

bool CUndoHistory::Redo()
{
    if (!CanRedo())
        return false;
    QByteArray snapshot = std::move(m_redoList.front());
    m_redoList.pop_front();
    AddUndo(snapshot);
    m_load(m_undoList.front());
    return true;
}

void CUndoHistory::Clear()
{
    m_undoList.clear();
    m_redoList.clear();
}
