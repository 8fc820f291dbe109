// The MIDI file reader over arbitrary bytes: it must read or refuse, never crash or over-read.
// Whatever it reads must render, and the file written from it must read back cleanly.

#include "midi.h"
#include "midifile.h"
#include "report.h"
#include "rondeldoc.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CRecordingReport report;
    static CScopedUserReport scope(&report);
    report.m_messages.clear();
    const bool snap32 = size > 0 && (data[0] & 1);
    CRondelDoc doc;
    ReadMidiBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), doc.Events(), snap32, true);
    if (doc.Events().empty())
        return 0;
    for (const auto& ev : doc.Events()) {
        // Everything the reader makes is a bar or a drum note inside its bar.
        if (!ev.IsBar() && !(ev.IsNote() && ev.GetEventType() >= 35 && ev.GetEventType() <= 81))
            __builtin_trap();
    }
    if (!doc.Events().back().IsBar())
        AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(4, 4));
    CMidi& midi = MidiOf(doc);
    midi.ComputeBarTimes();
    const QByteArray file = midi.MidiFileBytes();
    report.m_messages.clear();
    CEventList back;
    ReadMidiBytes(file, back, true, false);
    // A song of more than its closing bar writes bars that read back.
    if (!report.m_messages.isEmpty() || (doc.Events().size() > 1) != !back.empty())
        __builtin_trap();
    return 0;
}
