#pragma once
// Finding a General MIDI SoundFont for the embedded synthesizer.

#include <QString>
#include <QStringList>

namespace SoundFonts {
// The places looked at, in order: the "soundfont" setting (a file), the user's
// ~/.local/share/soundfonts folder, the system's default-GM.sf2 and default-GM.sf3 links,
// then any .sf2 or .sf3 in /usr/share/sounds/sf2, /usr/share/sounds/sf3 and
// /usr/share/soundfonts. Empty when none exists.
QString Find();
// The same search over explicit places (tests): the setting's value, the user's folder, the
// default links and the folders to scan.
QString FindIn(const QString& setting, const QString& userDir, const QStringList& defaultLinks,
               const QStringList& scanDirs);
}
