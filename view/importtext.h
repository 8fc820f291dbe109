#pragma once
// The imported text the notation shows under the systems: for each block of the import (the
// measures after a BAR with the imported-line-start bit), the text lines it came from.
// The track reads them through this small interface so that it does not depend on how the
// importer keeps its lines.

#include <QString>

#include <cstdint>
#include <vector>

struct SImportTextLine
{
    int lineNo = 0;    // 1-based line number in the imported file
    QString text;
    int markFrom = -1; // a column range marked by the import panes, drawn in red; -1 = none
    int markTo = -1;
};

class CImportTextSource
{
public:
    virtual ~CImportTextSource() = default;
    virtual bool HasText() const = 0;
    // The lines of the block whose first measure carries `importRef`
    // ((line index << 10) | column); `nextBlockRef` is the next block's reference, 0 for the
    // last block.
    virtual std::vector<SImportTextLine> LinesForBlock(uint32_t importRef, uint32_t nextBlockRef) const = 0;
    // The column of the block's first tick character, for shifting the lines under the
    // bar's first tick; -1 keeps them at the left margin.
    virtual int AlignColumn(uint32_t importRef) const
    {
        (void)importRef;
        return -1;
    }
};

// Plain text lines (index 0 = line 1). A block runs from its own line to the line before the
// next block's, at most kMaxBlockLines lines, without trailing blank lines.
class CPlainImportText : public CImportTextSource
{
public:
    static constexpr int kMaxBlockLines = 24;

    explicit CPlainImportText(std::vector<QString> lines = {}) : m_lines(std::move(lines)) {}

    bool HasText() const override { return !m_lines.empty(); }
    std::vector<SImportTextLine> LinesForBlock(uint32_t importRef, uint32_t nextBlockRef) const override;

    std::vector<QString> m_lines;
};
