// Clipboard data from anywhere pasted into a song, and text export of any loadable song: no
// crash, the song keeps its shape, and one undo step restores it.

#include "clipboard.h"
#include "report.h"
#include "rondeldoc.h"
#include "textexport.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CRecordingReport report;
    static CScopedUserReport scope(&report);
    report.m_messages.clear();
    if (size < 2)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));

    CRondelDoc doc;
    doc.OnNewDocument();
    AppendEvent(doc.Events(), 38, 96); // a note in the closing bar, then a new closing bar
    AppendEvent(doc.Events(), EventType::Bar, TimeSigWord(3, 4));
    doc.CommitEdit();
    const QByteArray before = doc.SaveBytes();
    if (PasteEvents(doc, bytes, FindInsertPoint(doc.Events(), 1 + data[0] % 3, data[1] % 40))) {
        if (!doc.Events().back().IsBar() || !doc.Events().front().IsMeasure())
            __builtin_trap();
        MakeTextTab(doc);
        if (!doc.Undo() || doc.SaveBytes() != before)
            __builtin_trap();
    } else if (doc.SaveBytes() != before) {
        __builtin_trap();
    }

    CRondelDoc loaded;
    if (loaded.LoadBytes(bytes, nullptr))
        MakeTextTab(loaded);
    return 0;
}
