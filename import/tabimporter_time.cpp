// Time lines: meter and count line checks, the time census and the bar lengths and note
// positions read from a time line.

#include "tabimporter.h"

#include "importtext.h"
#include "report.h"

using namespace ImportText;

int CTabImporter::MeterTokenValue(const CImportLine& line, int column, bool* triplet) const
{
    *triplet = false;
    const char c = line.At(column);
    int value = 0;
    for (int i = 1; i < kTimeKeyEntries; ++i) {
        if (m_timeKey[size_t(i)].symbol == c) {
            value = m_timeKey[size_t(i)].value;
            break;
        }
    }
    if (!value)
        return 0;
    const char next = line.At(column + 1);
    if (next == m_timeKey[0].symbol) {
        *triplet = true;
        return value * 2 / 3;
    }
    if (next == '.')
        return value * 3 / 2;
    return value;
}

void CTabImporter::CheckMeterLine(const CImportLine& line, bool fromStaffTest, int* good, int* bad) const
{
    *good = 0;
    *bad = 0;
    const std::string& t = line.m_text;
    for (int i = 0; i < int(t.size()); ++i) {
        const char c = t[size_t(i)];
        if (c == ' ' || c == '\t' || c == m_barChar)
            continue;
        if (fromStaffTest && (c == 't' || c == 'T')) {
            ++*bad;
            continue;
        }
        bool triplet = false;
        if (c == m_timeKey[0].symbol || MeterTokenValue(line, i, &triplet) > 0) {
            ++*good;
        } else if (c == '.' && i > 0 && MeterTokenValue(line, i - 1, &triplet) > 0) {
            ++*good; // the dot of a dotted length
        } else {
            ++*bad;
        }
    }
}

void CTabImporter::CheckCountLine(const CImportLine& line, bool apply, bool fromStaffTest, int* good, int* bad) const
{
    *good = 0;
    *bad = 0;
    for (char c : line.m_text) {
        if (c == ' ' || c == m_barChar)
            continue;
        c = ToLower(c);
        if (IsDigit(c)) {
            if (apply)
                ++*good;
            continue;
        }
        if (c == 't' && fromStaffTest) {
            ++*bad;
            continue;
        }
        switch (c) {
        case 'e':
        case '+':
        case '&':
        case 'a':
        case 'u':
        case 't':
        case 'l':
        case 'q': ++*good; break;
        default: ++*bad; break;
        }
    }
    if (FindWord(line.m_text, "count") >= 0)
        *bad -= 5;
}

bool CTabImporter::IsMeterLine(const CImportLine& line, bool fromStaffTest) const
{
    int good = 0, bad = 0;
    CheckMeterLine(line, fromStaffTest, &good, &bad);
    return good > 4 && good > 4 * bad;
}

bool CTabImporter::IsCountLine(const CImportLine& line, bool fromStaffTest) const
{
    int good = 0, bad = 0;
    CheckCountLine(line, false, fromStaffTest, &good, &bad);
    return good > 4 && good > 4 * bad;
}

void CTabImporter::CensusTimeLines()
{
    m_timeMode = 0;
    m_timeAbove = false;
    m_timeOutside = false;
}

int CTabImporter::MeterBarTicks(int bar)
{
    return CountBarTicks(bar, nullptr);
}

int CTabImporter::CountLineBarTicks(int bar, int* num, int* den)
{
    const int ticks = CountBarTicks(bar, nullptr);
    TimeSigFromTicks(ticks, num, den);
    return ticks;
}

int CTabImporter::CountPosition(int bar, int column, bool* triplet)
{
    (void)bar;
    (void)column;
    *triplet = false;
    return 0;
}
