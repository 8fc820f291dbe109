// Bytes that word processors put into tabs: dashes where ticks were typed, and non-breaking
// spaces where a blank was. A word processor makes an em dash of "--" and an en dash of a
// lone '-', so an em dash is read as two ticks, an en dash as one, a no-break space as ' '.

#include "importtext.h"

namespace {
bool HasHighByte(std::string_view bytes)
{
    size_t i = 0;
    for (; i + 32 <= bytes.size(); i += 32) {
        uint64_t w[4];
        std::memcpy(w, bytes.data() + i, 32);
        if ((w[0] | w[1] | w[2] | w[3]) & ImportText::kByteHighs)
            return true;
    }
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, bytes.data() + i, 8);
        if (w & ImportText::kByteHighs)
            return true;
    }
    for (; i < bytes.size(); ++i)
        if (uint8_t(bytes[i]) >= 0x80)
            return true;
    return false;
}

// Length of the UTF-8 sequence at i, or 0 when it is not one.
size_t Utf8Length(std::string_view b, size_t i)
{
    const uint8_t c = uint8_t(b[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || (n == 2 && c < 0xC2) || i + n > b.size())
        return 0;
    for (size_t k = 1; k < n; ++k)
        if ((uint8_t(b[i + k]) & 0xC0) != 0x80)
            return 0;
    return n;
}

bool IsUtf8(std::string_view b)
{
    for (size_t i = 0; i < b.size();) {
        const size_t n = Utf8Length(b, i);
        if (!n)
            return false;
        i += n;
    }
    return true;
}
}

std::string_view ImportText::MapTypographicBytes(std::string_view bytes, std::string* storage)
{
    if (!HasHighByte(bytes))
        return bytes;
    storage->clear();
    storage->reserve(bytes.size());
    if (IsUtf8(bytes)) {
        // U+2010-2015 hyphens and dashes (U+2014 and U+2015 the long ones), U+2212 minus,
        // U+00A0 no-break space.
        for (size_t i = 0; i < bytes.size();) {
            const uint8_t c = uint8_t(bytes[i]);
            if (c == 0xE2 && i + 2 < bytes.size()) {
                const uint8_t c1 = uint8_t(bytes[i + 1]);
                const uint8_t c2 = uint8_t(bytes[i + 2]);
                if ((c1 == 0x80 && c2 >= 0x90 && c2 <= 0x95) || (c1 == 0x88 && c2 == 0x92)) {
                    storage->append(c1 == 0x80 && c2 >= 0x94 ? 2 : 1, '-');
                    i += 3;
                    continue;
                }
            }
            if (c == 0xC2 && i + 1 < bytes.size() && uint8_t(bytes[i + 1]) == 0xA0) {
                storage->push_back(' ');
                i += 2;
                continue;
            }
            storage->push_back(char(c));
            ++i;
        }
    } else {
        // Windows-1252: 0x96 en dash, 0x97 em dash, 0xA0 no-break space.
        for (char ch : bytes) {
            const uint8_t c = uint8_t(ch);
            if (c == 0x97)
                storage->append(2, '-');
            else
                storage->push_back(c == 0x96 ? '-' : c == 0xA0 ? ' ' : ch);
        }
    }
    return *storage;
}
