#include "drumlayout.h"

#include "settings.h"

#include <algorithm>

namespace DrumLayout {
namespace {
constexpr uint8_t D = kTailDown;
// Keys 35 to 81.
constexpr Table kUsUk = {
    2 | D, 2 | D, 7, 7, 7, 7, 3, 10, 4, 2 | D, 5, 10, 6, 8, 10, 9, 10, 10, 10, 7, 10, 7, 10, 10,
    10, 6, 5, 9, 9, 8, 9, 8, 6, 5, 7, 7, 7, 7, 7, 7, 7, 6, 5, 7, 7, 7, 7,
};
constexpr Table kFrance = {
    1 | D, 1 | D, 6, 6, 6, 6, 3, 11, 4, 0, 5, 11, 7, 9, 13, 10, 12, 13, 12, 7, 13, 7, 13, 10,
    12, 6, 5, 9, 9, 8, 9, 8, 6, 5, 7, 7, 7, 7, 7, 7, 7, 6, 5, 7, 7, 7, 7,
};
Table g_current = kUsUk;
const QString kPostailKey = QStringLiteral("postail");

}

const Table& UsUkStandard() { return kUsUk; }
const Table& FranceStandard() { return kFrance; }
const Table& Current() { return g_current; }
void SetCurrent(const Table& table) { g_current = table; }

uint8_t Byte(int key)
{
    return key >= kFirstKey && key <= kLastKey ? g_current[size_t(key - kFirstKey)] : 0;
}

void SetByte(int key, uint8_t value)
{
    if (key >= kFirstKey && key <= kLastKey)
        g_current[size_t(key - kFirstKey)] = value;
}

int Position(int key) { return Byte(key) & 0x7F; }
bool TailDown(int key) { return Byte(key) & kTailDown; }

QString ToPostail(const Table& table)
{
    QString s;
    for (int key = kLastKey; key >= kFirstKey; --key)
        s += QStringLiteral("%1").arg(table[size_t(key - kFirstKey)], 2, 16, QLatin1Char('0'));
    return s;
}

void ApplyPostail(Table& table, const QString& value)
{
    // Like sscanf("%x") on two characters: one leading hex digit is enough for a pair.
    int key = kLastKey;
    for (qsizetype i = 0; key >= kFirstKey && i < value.size(); i += 2, --key) {
        const int hi = SettingsStore::HexDigitValue(value[i]);
        if (hi < 0)
            break;
        const int lo = i + 1 < value.size() ? SettingsStore::HexDigitValue(value[i + 1]) : -1;
        const int byte = lo < 0 ? hi : hi * 16 + lo;
        // Positions run 0-15 (the dialog's range); a larger stored one would put the note
        // head far above the staff.
        table[size_t(key - kFirstKey)] = uint8_t((byte & kTailDown) | std::min(byte & 0x7F, 15));
    }
}

void LoadFromSettings()
{
    g_current = kUsUk;
    const QString stored = SettingsStore::Read(kPostailKey);
    if (!stored.isEmpty())
        ApplyPostail(g_current, stored);
}

void SaveToSettings()
{
    SettingsStore::Write(kPostailKey, ToPostail(g_current));
}
}
