#include "dialogreport.h"

QMessageBox::Icon CDialogReport::IconFor(EReportKind kind)
{
    switch (kind) {
    case EReportKind::Error: return QMessageBox::Critical;
    case EReportKind::Warning: return QMessageBox::Warning;
    case EReportKind::Information: break;
    }
    return QMessageBox::Information;
}

void CDialogReport::Message(const QString& text)
{
    Notify(text, EReportKind::Information);
}

void CDialogReport::Notify(const QString& text, EReportKind kind)
{
    QMessageBox box(IconFor(kind), QStringLiteral("Kadenzo"), text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool CDialogReport::Question(const QString& text)
{
    return QMessageBox::question(m_parent, QStringLiteral("Kadenzo"), text, QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}
