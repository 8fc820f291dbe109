#include "dialogreport.h"

#include <QMessageBox>

void CDialogReport::Message(const QString& text)
{
    QMessageBox::information(m_parent, QStringLiteral("Kadenzo"), text);
}

bool CDialogReport::Question(const QString& text)
{
    return QMessageBox::question(m_parent, QStringLiteral("Kadenzo"), text, QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}
