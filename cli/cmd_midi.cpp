// MIDI options of `convert` (--snap16, --no-triplets) and the "midi" section of `dump`:
// the order the bars are played in, the MIDI event count and the song's length.

#include "commands.h"

#include "midi.h"
#include "midifile.h"
#include "rondeldoc.h"

#include <QJsonArray>

namespace {
void TakeMidiImportOptions(QStringList& options)
{
    SMidiImportOptions& midi = MidiImportOptions();
    for (auto it = options.begin(); it != options.end();) {
        if (*it == QLatin1String("--snap16"))
            midi.m_snapTo32nd = false;
        else if (*it == QLatin1String("--no-triplets"))
            midi.m_detectTriplets = false;
        else {
            ++it;
            continue;
        }
        it = options.erase(it);
    }
}

void DumpMidi(CRondelDoc& doc, QJsonObject& o)
{
    CMidi& midi = MidiOf(doc);
    QJsonArray order;
    for (int bar : midi.PlayOrder())
        order.append(bar);
    QJsonObject m;
    m[QStringLiteral("playOrder")] = order;
    m[QStringLiteral("eventCount")] = midi.CountMidiEvents();
    // After a pass, the closing bar carries the song's end.
    if (!doc.Events().empty() && doc.Events().back().IsMeasure()) {
        m[QStringLiteral("endTicks")] = qint64(doc.Events().back().GetRunTime1());
        m[QStringLiteral("endMsecs")] = qint64(doc.Events().back().GetRunTime2());
    }
    o[QStringLiteral("midi")] = m;
}

CCommandRegistrar s_midiSetup{[] {
    AddConvertOptions(TakeMidiImportOptions);
    AddDumpSection(DumpMidi);
}};
} // namespace
