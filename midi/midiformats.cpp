#include "midiformats.h"

#include "midi.h"
#include "midifile.h"
#include "rondeldoc.h"
#include "velocity.h"

namespace {
bool OpenMidi(CRondelDoc& doc, const QString& path, QString* error)
{
    const SMidiImportOptions& options = MidiImportOptions();
    if (!ReadMidiFile(path, doc.Events(), options.m_snapTo32nd, options.m_detectTriplets)) {
        if (error)
            *error = QStringLiteral("Cannot open \"%1\"").arg(path);
        return false;
    }
    // A damaged file has said so already; the open goes on with what was read, and a file
    // without drum notes fails as an empty song.
    return true;
}

bool SaveMidi(CRondelDoc& doc, const QString& path, QString* error)
{
    return MidiOf(doc).WriteMidiFile(path, error);
}
}

void RegisterMidiFormats()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    LoadDrumVolumes();
    LoadGuitarVolumes();
    CRondelDoc::AddPartFactory([](CRondelDoc& doc) { doc.m_pMidi = std::make_unique<CMidi>(doc); });
    CRondelDoc::SetTimingPass([](CRondelDoc& doc) { MidiOf(doc).ComputeBarTimes(); });
    DocFormats::RegisterOpen(QStringLiteral(".mid"), OpenMidi);
    DocFormats::RegisterSave(QStringLiteral(".mid"), SaveMidi);
}
