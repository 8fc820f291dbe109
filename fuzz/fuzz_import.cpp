// The text tab importer over arbitrary bytes: it must import or refuse, never crash, hang or
// read out of bounds, and what it imports must be a well-formed song.

#include "report.h"
#include "rondeldoc.h"
#include "tabimporter.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CRecordingReport report;
    static CScopedUserReport scope(&report);
    report.m_messages.clear();
    CRondelDoc doc;
    CTabImporter imp;
    imp.ReadTabBytes(std::string_view(reinterpret_cast<const char*>(data), size));
    const int blocks = imp.ImportTab(doc);
    if (blocks < 0 && !doc.Events().empty())
        __builtin_trap();
    const CEvent* measure = nullptr;
    uint32_t last = 0;
    for (const auto& ev : doc.Events()) {
        if (ev.IsMeasure()) {
            const uint32_t num = ev.GetTimeSigNumerator(), den = ev.GetTimeSigDenominator();
            if (num < 1 || den < 1 || (den & (den - 1)) != 0)
                __builtin_trap();
            measure = &ev;
            last = 0;
            continue;
        }
        // Notes follow their measure in ascending position; a measure repeat has none.
        if (!measure || measure->IsRepeatPrev() || ev.GetPosition() < last || (!ev.IsNote() && !ev.IsRest()))
            __builtin_trap();
        last = ev.GetPosition();
    }
    for (const CImportIssue& issue : imp.m_issues)
        if (issue.m_line < 0 || issue.m_line >= int(imp.m_lines.size()) || issue.m_start > issue.m_end)
            __builtin_trap();
    return 0;
}
