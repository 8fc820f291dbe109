#pragma once
// The imported text of a text-tab import, read from the importer the document keeps: each
// block shows its comment and count lines, its staff lines and the lines under them.

#include "importtext.h"

#include <memory>

class CTabImporter;
class CRondelDoc;

class CTabImporterText : public CImportTextSource
{
public:
    explicit CTabImporterText(const CTabImporter& importer) : m_importer(importer) {}

    bool HasText() const override;
    std::vector<SImportTextLine> LinesForBlock(uint32_t importRef, uint32_t nextBlockRef) const override;

    // The text of the document's importer, or null when the document was not imported.
    static std::unique_ptr<CImportTextSource> ForDocument(const CRondelDoc& doc);

private:
    const CTabImporter& m_importer;
};
