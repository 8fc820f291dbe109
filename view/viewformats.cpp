#include "viewformats.h"

#include "displayconfig.h"
#include "drumlayout.h"
#include "rondeldoc.h"
#include "tabimportertext.h"
#include "track.h"

void RegisterViewFormats()
{
    DrumLayout::LoadFromSettings();
    DisplayConfig().LoadFromSettings();
    CTrack::SetImportTextProvider(&CTabImporterText::ForDocument);
    // Every new or opened document gets a fresh track over its events.
    CRondelDoc::AddPartFactory([](CRondelDoc& doc) { doc.m_pTrack = std::make_unique<CTrack>(doc); });
}
