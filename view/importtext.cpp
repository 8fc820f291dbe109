#include "importtext.h"

#include <algorithm>

std::vector<SImportTextLine> CPlainImportText::LinesForBlock(uint32_t importRef, uint32_t nextBlockRef) const
{
    const int first = int(importRef >> 10);
    int end = first + kMaxBlockLines;
    const int next = int(nextBlockRef >> 10);
    if (nextBlockRef != 0 && next > first)
        end = std::min(end, next);
    end = std::min(end, int(m_lines.size()));
    while (end > first && m_lines[size_t(end - 1)].trimmed().isEmpty())
        --end;
    std::vector<SImportTextLine> lines;
    for (int i = first; i < end; ++i)
        lines.push_back({i + 1, m_lines[size_t(i)]});
    return lines;
}
