#include "soundfont.h"

#include "settings.h"

#include <QDir>
#include <QFileInfo>

namespace {
bool IsSoundFontFile(const QString& path)
{
    const QFileInfo info(path);
    const QString suffix = info.suffix().toLower();
    return info.isFile() && info.isReadable() && (suffix == QLatin1String("sf2") || suffix == QLatin1String("sf3"));
}

// A General MIDI bank first (its name says GM), then the largest: small banks are test and
// fallback sets.
QString PickFrom(const QString& dir)
{
    QFileInfoList files = QDir(dir).entryInfoList({QStringLiteral("*.sf2"), QStringLiteral("*.sf3"), QStringLiteral("*.SF2"), QStringLiteral("*.SF3")},
                                                  QDir::Files | QDir::Readable, QDir::Name);
    if (files.isEmpty())
        return {};
    std::stable_sort(files.begin(), files.end(), [](const QFileInfo& a, const QFileInfo& b) {
        const bool gmA = a.fileName().contains(QLatin1String("GM"), Qt::CaseInsensitive);
        const bool gmB = b.fileName().contains(QLatin1String("GM"), Qt::CaseInsensitive);
        if (gmA != gmB)
            return gmA;
        return a.size() > b.size();
    });
    return files.first().absoluteFilePath();
}
}

namespace SoundFonts {

QString FindIn(const QString& setting, const QString& userDir, const QStringList& defaultLinks, const QStringList& scanDirs)
{
    if (!setting.isEmpty() && IsSoundFontFile(setting))
        return QFileInfo(setting).absoluteFilePath();
    if (!userDir.isEmpty()) {
        const QString found = PickFrom(userDir);
        if (!found.isEmpty())
            return found;
    }
    for (const QString& link : defaultLinks)
        if (IsSoundFontFile(link))
            return link;
    for (const QString& dir : scanDirs) {
        const QString found = PickFrom(dir);
        if (!found.isEmpty())
            return found;
    }
    return {};
}

QString Find()
{
    return FindIn(SettingsStore::Read(QStringLiteral("soundfont")), QDir::homePath() + QStringLiteral("/.local/share/soundfonts"),
                  {QStringLiteral("/usr/share/sounds/sf2/default-GM.sf2"), QStringLiteral("/usr/share/sounds/sf3/default-GM.sf3")},
                  {QStringLiteral("/usr/share/sounds/sf2"), QStringLiteral("/usr/share/sounds/sf3"), QStringLiteral("/usr/share/soundfonts")});
}

}
