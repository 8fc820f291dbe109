#include "dialogreport.h"

namespace {
bool ContainsAny(const QString& text, std::initializer_list<const char*> phrases)
{
    for (const char* p : phrases)
        if (text.contains(QLatin1String(p), Qt::CaseInsensitive))
            return true;
    return false;
}
}

QMessageBox::Icon CDialogReport::IconFor(const QString& text)
{
    // What went wrong and stopped something.
    if (ContainsAny(text, {"failed", "could not", "cannot open", "cannot read", "cannot write", "cannot be read",
                           "cannot be written", "not a valid", "giving up", "error", "internal problem",
                           "does not exist", "is a folder", "holds no", "ends before", "no such file",
                           "not be opened", "nothing could", "unknown file", "permission denied"}))
        return QMessageBox::Critical;
    // What the user should know: the song was repaired, an edit refused, the input is doubtful.
    if (ContainsAny(text, {"warning", "automatically", "infinite loop", "cannot", "please", "sorry", "not fit",
                           "not in the drum kit", "longer than", "not implemented", "bad", "missing",
                           "unexpected", "too many", "out of sequence", "ignored", "not recognised", "do not match",
                           "does not look", "inconsistent", "misaligned"}))
        return QMessageBox::Warning;
    return QMessageBox::Information;
}

void CDialogReport::Message(const QString& text)
{
    QMessageBox box(IconFor(text), QStringLiteral("Kadenzo"), text, QMessageBox::Ok, m_parent);
    box.exec();
}

bool CDialogReport::Question(const QString& text)
{
    return QMessageBox::question(m_parent, QStringLiteral("Kadenzo"), text, QMessageBox::Yes | QMessageBox::No)
        == QMessageBox::Yes;
}
