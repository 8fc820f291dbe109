#include "viewformats.h"

#include "displayconfig.h"
#include "drumlayout.h"
#include "midi.h"
#include "rondeldoc.h"
#include "tabimportertext.h"
#include "track.h"

void RegisterViewFormats()
{
    DrumLayout::LoadFromSettings();
    DisplayConfig().LoadFromSettings();
    CTrack::SetImportTextProvider(&CTabImporterText::ForDocument);
    // Playback rows while the (single) player plays, is paused or is finishing.
    CTrack::SetPlayerQuery([](const CRondelDoc&) {
        const int state = CMidi::GetPlayState();
        return state != 0 && state != -5;
    });
    // Every new or opened document gets a fresh track over its events.
    CRondelDoc::AddPartFactory([](CRondelDoc& doc) { doc.m_pTrack = std::make_unique<CTrack>(doc); });
}
