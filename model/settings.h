#pragma once
// Persistent settings: text values under organisation "Quillon", application "Kadenzo"
// (comma-separated decimals or hexadecimal digit strings, as each owner defines).
// A missing value reads as an empty string, which every owner treats as "keep the defaults".

#include <QString>

namespace SettingsStore {
QString Read(const QString& name);
void Write(const QString& name, const QString& value);
// Redirects the store to an INI file (tests, `kadenzo-cli --settings FILE`); empty restores
// the user's normal settings.
void UseFile(const QString& iniPath);
// The value of one hexadecimal digit (either case), or -1; several values are hex strings.
int HexDigitValue(QChar c);
}
