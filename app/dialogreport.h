#pragma once
// Shows core messages and questions as message boxes.

#include "report.h"

#include <QMessageBox>

class QWidget;

class CDialogReport : public CUserReport
{
public:
    explicit CDialogReport(QWidget* parent = nullptr) : m_parent(parent) {}
    void Message(const QString& text) override;
    bool Question(const QString& text) override;
    void SetParent(QWidget* parent) { m_parent = parent; }

    // The icon a message is shown with, read from what it says: a failure (nothing was
    // done, a file could not be read or written, an internal problem) is critical; a
    // refused edit, a repair made on the way or a doubtful input is a warning; anything
    // else is information. Several messages in one take the gravest.
    static QMessageBox::Icon IconFor(const QString& text);

private:
    QWidget* m_parent;
};
