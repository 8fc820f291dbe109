// The WAV reader over arbitrary bytes (through a file, as it reads them): it must read or
// refuse, never crash.

#include "audioload.h"
#include "report.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static CRecordingReport report;
    static CScopedUserReport scope(&report);
    static const QString path = QDir::tempPath() + QStringLiteral("/kadenzo_fuzz_wav_%1.wav").arg(getpid());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    report.m_messages.clear();
    const std::vector<int16_t> samples = ReadWaveFile(path);
    BuildOverview(samples.data(), int64_t(samples.size()));
    return 0;
}
