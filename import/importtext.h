#pragma once
// Byte-level text helpers of the importer (ASCII rules, independent of the C locale).

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace ImportText {
constexpr bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool IsDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAlnum(char c) { return IsLetter(c) || IsDigit(c); }
constexpr bool IsBlank(char c) { return c == ' ' || c == '\t'; }
constexpr bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
// Repeat dots beside a double bar (||: and :||).
constexpr bool IsDotChar(char c) { return c == '.' || c == ':' || c == 'o' || c == '*'; }
constexpr char ToLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }
constexpr char ToUpper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

// The letters of a text as a set (bit n: 'a' + n in either case), as CImportLine keeps them
// for each line.
constexpr uint32_t LettersOf(std::string_view text)
{
    uint32_t bits = 0;
    for (char c : text)
        if (IsLetter(c))
            bits |= 1u << (ToLower(c) - 'a');
    return bits;
}
// The same for a word, worked out when compiling.
consteval uint32_t WordLetters(std::string_view word) { return LettersOf(word); }

// How often c occurs in text.
inline size_t CountByte(std::string_view text, char c)
{
    size_t n = 0;
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end && (p = static_cast<const char*>(std::memchr(p, c, size_t(end - p))))) {
        ++n;
        ++p;
    }
    return n;
}

// Index of the first c in text at or after from, or -1.
inline int FindByte(std::string_view text, int from, char c)
{
    if (from >= int(text.size()))
        return -1;
    const void* at = std::memchr(text.data() + from, c, text.size() - size_t(from));
    return at ? int(static_cast<const char*>(at) - text.data()) : -1;
}

// Eight bytes at a time, as one 64-bit word (bytes in memory order from the low end).
inline constexpr uint64_t kByteOnes = 0x0101010101010101ull;
inline constexpr uint64_t kByteHighs = 0x8080808080808080ull;
inline constexpr uint64_t kByteLows = 0x7F7F7F7F7F7F7F7Full;

// The high bit of each zero byte of x (exact: no carries run between the bytes).
constexpr uint64_t ZeroBytes(uint64_t x)
{
    return ~(((x & kByteLows) + kByteLows) | x | kByteLows);
}

// How many bytes of x have their high bit set, for x holding nothing else.
constexpr int HighByteCount(uint64_t x)
{
    return int(((x >> 7) * kByteOnes) >> 56);
}

// The bytes of text[from, end) other than ' ' and '_', up to the first separator byte (none
// when separator is 0); *stop receives the separator's column, or end.
inline int CountNonBlank(const unsigned char* text, int from, int end, char separator, int* stop)
{
    int n = 0;
    int c = from;
    const uint64_t separators = kByteOnes * uint8_t(separator);
    for (; c + 8 <= end; c += 8) {
        uint64_t w;
        std::memcpy(&w, text + c, 8);
        const uint64_t counted = ~(ZeroBytes(w ^ (kByteOnes * ' ')) | ZeroBytes(w ^ (kByteOnes * '_'))) & kByteHighs;
        if (const uint64_t sep = separator ? ZeroBytes(w ^ separators) : 0) {
            const int at = std::countr_zero(sep) / 8;
            *stop = c + at;
            return n + HighByteCount(counted & ((uint64_t(1) << (8 * at)) - 1));
        }
        n += HighByteCount(counted);
    }
    for (; c < end; ++c) {
        const char ch = char(text[c]);
        if (separator && ch == separator)
            break;
        n += ch != ' ' && ch != '_';
    }
    *stop = c;
    return n;
}

// The first column in [from, end) whose byte the table does not mark 1 (table entries are
// 0, 1 or 2), or end. Four columns at a time: in a staff line nearly every byte is passed.
inline int SkipMarked(const unsigned char* text, int from, int end, const uint8_t* table)
{
    int c = from;
    for (; c + 4 <= end; c += 4)
        if ((table[text[c]] & table[text[c + 1]] & table[text[c + 2]] & table[text[c + 3]]) != 1)
            break;
    while (c < end && table[text[c]] == 1)
        ++c;
    return c;
}

inline std::string_view Trim(std::string_view s)
{
    size_t b = 0;
    while (b < s.size() && IsSpace(s[b]))
        ++b;
    size_t e = s.size();
    while (e > b && IsSpace(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

inline bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (ToLower(a[i]) != ToLower(b[i]))
            return false;
    return true;
}

// A staff line without a label, bars of ticks alone ("  |----------------|"): the bars of a
// part where the drums rest.
inline bool IsBareRestLine(std::string_view t, int from, char barChar, char tickChar)
{
    if (!barChar || from < 0 || size_t(from) >= t.size() || t[size_t(from)] != barChar)
        return false;
    int bars = 0;
    int ticks = 0;
    for (size_t c = size_t(from); c < t.size(); ++c) {
        const char ch = t[c];
        if (ch == barChar)
            ++bars;
        else if (ch == tickChar)
            ++ticks;
        else if (!IsBlank(ch))
            return false;
    }
    return bars >= 2 && ticks >= 4 * (bars - 1);
}

// The file's bytes with en dashes read as '-', em dashes as "--" and non-breaking spaces as ' ', in
// UTF-8 or Windows-1252 (whichever the file is); the bytes themselves when it holds neither.
// storage keeps the mapped copy.
std::string_view MapTypographicBytes(std::string_view bytes, std::string* storage);

// Position of word in text as a whole word (not preceded or followed by a letter), ignoring
// case; -1 when absent.
int FindWord(std::string_view text, std::string_view word, size_t from = 0);

// The first decimal number at or after `from` (at most 9 digits); -1 when none. *at receives
// the column of its first digit.
int FirstNumber(std::string_view text, size_t from = 0, int* at = nullptr);
}
