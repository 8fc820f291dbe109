#pragma once
// The drum layout: for every drum key 35-81 one byte, bits 0-6 the staff position p (note
// head centred at staff top + 40 - 4 * p; 10 = top line, 2 = bottom line), bit 7 set = stem
// down. Process-wide; starts as "US/UK Standard" and is overwritten by the "postail" setting.

#include <QString>

#include <array>
#include <cstdint>

namespace DrumLayout {
inline constexpr int kFirstKey = 35;
inline constexpr int kLastKey = 81;
inline constexpr int kKeyCount = kLastKey - kFirstKey + 1;
inline constexpr uint8_t kTailDown = 0x80;

using Table = std::array<uint8_t, kKeyCount>;
const Table& UsUkStandard();
const Table& FranceStandard();

// The byte of a key; 0 for keys outside 35-81.
uint8_t Byte(int key);
void SetByte(int key, uint8_t value);
int Position(int key);
bool TailDown(int key);
const Table& Current();
void SetCurrent(const Table& table);

// "postail": two lowercase hex digits per key, 81 down to 35.
QString ToPostail(const Table& table);
// Reads pairs in that order and stops at the first pair that does not parse.
void ApplyPostail(Table& table, const QString& value);
// Resets to "US/UK Standard" and applies the stored "postail" value, if any.
void LoadFromSettings();
void SaveToSettings();
}
