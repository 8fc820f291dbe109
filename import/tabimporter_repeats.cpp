// Repeats and endings: annotation lines over and under a staff, repeat groups carried from
// staff to staff, and alternate endings.

#include "tabimporter.h"

#include "importtext.h"
#include "report.h"

using namespace ImportText;

bool CTabImporter::ReadRepeatWords(std::string_view segment, int* repeatCount, int* ending)
{
    (void)segment;
    (void)repeatCount;
    (void)ending;
    return false;
}

bool CTabImporter::ParseRepeatAnnotation(const CImportLine& annotation, int first, int bar, int* repeatCount,
                                         int* ending, int* groupStart, int* groupBars)
{
    (void)annotation;
    (void)first;
    (void)bar;
    (void)repeatCount;
    (void)ending;
    (void)groupStart;
    (void)groupBars;
    return false;
}

void CTabImporter::ApplyRepeatMarks(int first, int count)
{
    (void)count;
    CImportLine& f = m_lines[size_t(first)];
    for (int k = 0; k < f.m_barCount; ++k) {
        uint8_t& flags = f.m_barFlags[size_t(k)];
        if (m_groupMarks[size_t(k)] & kStartSign) {
            flags |= BarFlag::GroupStart;
            m_inRepeatGroup = true;
            m_groupStartLine = first;
            m_groupStartBar = k;
            m_groupBarCount = 1;
            m_lastEnding = 0;
        } else if (m_inRepeatGroup) {
            ++m_groupBarCount;
        }
        if (flags & BarFlag::ClosesDouble) {
            if (m_inRepeatGroup && m_lastEnding == 0) {
                flags |= BarFlag::GroupEnd;
                m_inRepeatGroup = false;
            } else if ((flags & BarFlag::RepeatEndSign) && !m_inRepeatGroup) {
                AddIssue(ImportIssue::RepeatEndOutsideGroup, first, f.m_barEnd[size_t(k)] - 2, f.m_barEnd[size_t(k)] + 1);
            }
        }
    }
}
