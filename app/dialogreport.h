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
    void Notify(const QString& text, EReportKind kind) override;
    bool Question(const QString& text) override;
    void SetParent(QWidget* parent) { m_parent = parent; }

    // The icon a message of this gravity is shown with.
    static QMessageBox::Icon IconFor(EReportKind kind);

private:
    QWidget* m_parent;
};
