// The ".kdz" loader over arbitrary bytes: it must refuse or load, never crash or over-read.

#include "report.h"
#include "rondeldoc.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CRecordingReport report;
    static CScopedUserReport scope(&report);
    report.m_messages.clear();
    CRondelDoc doc;
    QString error;
    if (doc.LoadBytes(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), &error)) {
        // What loads must save and load again to the same bytes.
        const QByteArray again = doc.SaveBytes();
        CRondelDoc back;
        if (!back.LoadBytes(again, &error) || back.SaveBytes() != again)
            __builtin_trap();
    }
    return 0;
}
