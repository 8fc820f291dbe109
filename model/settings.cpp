#include "settings.h"

#include <QSettings>

#include <memory>

namespace {
QString g_iniPath;

std::unique_ptr<QSettings> Open()
{
    if (!g_iniPath.isEmpty())
        return std::make_unique<QSettings>(g_iniPath, QSettings::IniFormat);
    return std::make_unique<QSettings>(QStringLiteral("Quillon"), QStringLiteral("Kadenzo"));
}
}

namespace SettingsStore {

QString Read(const QString& name)
{
    return Open()->value(name).toString();
}

void Write(const QString& name, const QString& value)
{
    Open()->setValue(name, value);
}

void UseFile(const QString& iniPath)
{
    g_iniPath = iniPath;
}

int HexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

}
