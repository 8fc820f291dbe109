// The MP3 decoder over arbitrary bytes: it must decode or give up, never crash or over-read,
// and never ask for absurd memory because of what an information frame claims.

#include "audioload.h"
#include "report.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CRecordingReport report;
    static CScopedUserReport scope(&report);
    SMp3Info info;
    const std::vector<int16_t> samples = DecodeMp3Bytes(data, size, &info);
    // No MP3 frame carries more than 1152 samples from its 24-odd bytes.
    if (samples.size() > size * 48 + 4096)
        __builtin_trap();
    BuildOverview(samples.data(), int64_t(samples.size()));
    return 0;
}
