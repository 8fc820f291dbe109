#include "importformats.h"

#include "tabimporter.h"

#include "rondeldoc.h"

#include <memory>

namespace {
// Imports a text tab into a fresh document; the document keeps the importer for the import
// panes. A fatal import fails the open with its message (already shown through UserReport).
bool OpenTextTab(CRondelDoc& doc, const QString& path, QString* error)
{
    auto importer = std::make_unique<CTabImporter>();
    if (!importer->ReadTabFile(path)) {
        if (error)
            error->clear(); // an unreadable tab fails silently, as the open dialog would
        return false;
    }
    const int blocks = importer->ImportTab(doc);
    if (blocks < 0) {
        if (error)
            *error = importer->m_fatalMessage;
        return false;
    }
    for (int i = 0; i < Header::Count; ++i)
        if (!importer->m_header[size_t(i)].isEmpty())
            doc.m_header[size_t(i)] = importer->m_header[size_t(i)];
    if (importer->m_tempo > 0)
        doc.m_songTempo = uint16_t(importer->m_tempo);
    if (importer->m_threePartCounting)
        doc.m_bThreePartCounting = 1;
    doc.m_trackType = uint32_t(importer->m_tabType);
    doc.m_sizeDoc[0] = 500;
    doc.m_sizeDoc[1] = 400u * uint32_t(blocks);
    doc.m_bImported = 1;
    doc.m_importPath = path;
    doc.m_pImport = std::move(importer);
    return true;
}
}

void RegisterImportFormats()
{
    DocFormats::RegisterOpen(QStringLiteral(".txt"), OpenTextTab);
    DocFormats::RegisterOpen(QStringLiteral(".tab"), OpenTextTab);
}
