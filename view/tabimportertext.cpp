#include "tabimportertext.h"

#include "tabimporter.h"

namespace {
// Lines above and below the staff lines that belong to the block (comments, count lines).
constexpr int kMaxAround = 2;

bool IsAnnotation(int32_t type)
{
    return type == LineType::PreComment || type == LineType::PostComment || type == LineType::TimeLine;
}
}

bool CTabImporterText::HasText() const
{
    return !m_importer.m_lines.empty();
}

std::vector<SImportTextLine> CTabImporterText::LinesForBlock(uint32_t importRef, uint32_t nextBlockRef) const
{
    const std::vector<CImportLine>& lines = m_importer.m_lines;
    const int count = int(lines.size());
    const int first = int(importRef >> 10);
    std::vector<SImportTextLine> out;
    if (first < 0 || first >= count)
        return out;
    const int next = nextBlockRef ? int(nextBlockRef >> 10) : count;

    int from = first;
    for (int i = first - 1; i >= 0 && first - i <= kMaxAround && IsAnnotation(lines[size_t(i)].m_type); --i)
        from = i;
    int to = first;
    while (to + 1 < count && to + 1 < next && lines[size_t(to + 1)].m_type == LineType::StaffLine
           && to + 1 - first < ImportLimits::kMaxBlockLines)
        ++to;
    for (int i = 0; i < kMaxAround && to + 1 < count && to + 1 < next; ++i) {
        const int32_t type = lines[size_t(to + 1)].m_type;
        // A comment above the next block belongs to that block.
        if (type != LineType::PostComment && type != LineType::TimeLine)
            break;
        ++to;
    }
    for (int i = from; i <= to; ++i) {
        const CImportLine& line = lines[size_t(i)];
        out.push_back({line.m_lineNo, ImportedText(line.m_text)});
    }
    return out;
}

std::unique_ptr<CImportTextSource> CTabImporterText::ForDocument(const CRondelDoc& doc)
{
    const auto* importer = dynamic_cast<const CTabImporter*>(doc.m_pImport.get());
    if (!importer)
        return nullptr;
    return std::make_unique<CTabImporterText>(*importer);
}
