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

}
