#include "mididevices.h"

#include "alsastream.h"
#include "midistream.h"
#include "settings.h"
#include "synthengine.h"

namespace MidiDevices {

QStringList List()
{
    QStringList names{QString::fromLatin1(kEmbeddedName)};
    names << CAlsaStream::PortNames();
    return names;
}

int PositionFromSetting(const QStringList& names)
{
    const QString wanted = SettingsStore::Read(QStringLiteral("midi_device"));
    if (wanted.isEmpty())
        return 0;
    const int index = int(names.indexOf(wanted));
    return index < 0 ? 0 : index;
}

bool Choose(int position, const QStringList& names)
{
    if (position < 0 || position >= names.size())
        return false;
    SettingsStore::Write(QStringLiteral("midi_device"), names[position]);
    return true;
}

int Resolve(const QString& text, const QStringList& names)
{
    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    if (isNumber)
        return number >= 0 && number < names.size() ? number : -1;
    if (const int exact = int(names.indexOf(text)); exact >= 0)
        return exact;
    for (int i = 0; i < names.size(); ++i)
        if (names[i].startsWith(text, Qt::CaseInsensitive))
            return i;
    return -1;
}

void InstallStreamOpener()
{
    MidiStreams::SetOpener([](int position) -> std::unique_ptr<CMidiStream> {
        if (position <= 0)
            return std::make_unique<CSynthStream>(CSynthEngine::Shared());
        QString error;
        return CAlsaStream::OpenPort(position - 1, &error);
    });
}

}
