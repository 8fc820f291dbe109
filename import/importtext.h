#pragma once
// Byte-level text helpers of the importer (ASCII rules, independent of the C locale).

#include <cstdint>
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

// The letters of a word as a set (bit n: 'a' + n in either case), as CImportLine keeps them
// for each line; worked out when compiling.
consteval uint32_t WordLetters(std::string_view word)
{
    uint32_t bits = 0;
    for (char c : word)
        if (IsLetter(c))
            bits |= 1u << (ToLower(c) - 'a');
    return bits;
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

// Position of word in text as a whole word (not preceded or followed by a letter), ignoring
// case; -1 when absent.
int FindWord(std::string_view text, std::string_view word, size_t from = 0);

// The first decimal number at or after `from` (at most 9 digits); -1 when none. *at receives
// the column of its first digit.
int FirstNumber(std::string_view text, size_t from = 0, int* at = nullptr);
}
