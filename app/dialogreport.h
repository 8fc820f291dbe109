#pragma once
// Shows core messages and questions as message boxes.

#include "report.h"

class QWidget;

class CDialogReport : public CUserReport
{
public:
    explicit CDialogReport(QWidget* parent = nullptr) : m_parent(parent) {}
    void Message(const QString& text) override;
    bool Question(const QString& text) override;
    void SetParent(QWidget* parent) { m_parent = parent; }

private:
    QWidget* m_parent;
};
