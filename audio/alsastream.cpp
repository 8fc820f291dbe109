#include "alsastream.h"

#include <QLoggingCategory>

#include <alsa/asoundlib.h>
#include <rtmidi/RtMidi.h>

#include <cmath>
#include <vector>

Q_LOGGING_CATEGORY(lcAlsa, "kadenzo.alsa", QtWarningMsg)

namespace {
class CRtMidiPort : public CMidiPortOut
{
public:
    explicit CRtMidiPort(std::unique_ptr<RtMidiOut> out) : m_out(std::move(out)) {}
    void Send(const uint8_t* bytes, int size) override
    {
        try {
            m_out->sendMessage(bytes, size_t(size));
        } catch (const RtMidiError& e) {
            qCDebug(lcAlsa, "send failed: %s", e.what());
        }
    }

private:
    std::unique_ptr<RtMidiOut> m_out;
};

void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// RtMidi reports a missing sequencer on stderr before it throws: look first, quietly.
bool SequencerExists()
{
    snd_lib_error_set_handler(SilentAlsaError);
    snd_seq_t* seq = nullptr;
    if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0)
        return false;
    snd_seq_close(seq);
    return true;
}

std::unique_ptr<RtMidiOut> MakeOut()
{
    static const bool exists = SequencerExists();
    if (!exists)
        return nullptr;
    try {
        auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, "Kadenzo");
        out->setErrorCallback([](RtMidiError::Type, const std::string& text, void*) { qCDebug(lcAlsa, "%s", text.c_str()); });
        return out;
    } catch (const RtMidiError& e) {
        qCDebug(lcAlsa, "no ALSA sequencer: %s", e.what());
        return nullptr;
    }
}

constexpr double kMicroseconds = 1e6;
}

CAlsaStream::CAlsaStream(std::unique_ptr<CMidiPortOut> port) : CMidiStream(kMicroseconds), m_port(std::move(port))
{
    m_thread = std::thread([this] { Run(); });
}

CAlsaStream::~CAlsaStream()
{
    m_quit.store(true);
    m_thread.join();
}

QStringList CAlsaStream::PortNames()
{
    QStringList names;
    auto out = MakeOut();
    if (!out)
        return names;
    try {
        const unsigned count = out->getPortCount();
        for (unsigned i = 0; i < count; ++i)
            names << QString::fromStdString(out->getPortName(i));
    } catch (const RtMidiError& e) {
        qCDebug(lcAlsa, "%s", e.what());
    }
    return names;
}

std::unique_ptr<CAlsaStream> CAlsaStream::OpenPort(int index, QString* error)
{
    auto out = MakeOut();
    if (!out) {
        if (error)
            *error = QStringLiteral("The ALSA sequencer is not available");
        return nullptr;
    }
    try {
        if (index < 0 || unsigned(index) >= out->getPortCount()) {
            if (error)
                *error = QStringLiteral("There is no MIDI output port %1").arg(index);
            return nullptr;
        }
        out->openPort(unsigned(index), "Kadenzo out");
        if (!out->isPortOpen()) {
            if (error)
                *error = QStringLiteral("The MIDI output port could not be opened");
            return nullptr;
        }
    } catch (const RtMidiError& e) {
        if (error)
            *error = QString::fromStdString(e.getMessage());
        return nullptr;
    }
    return std::make_unique<CAlsaStream>(std::make_unique<CRtMidiPort>(std::move(out)));
}

bool CAlsaStream::Stop()
{
    m_core->RequestStop();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (m_core->StopPending() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void CAlsaStream::Run()
{
    using Clock = std::chrono::steady_clock;
    std::vector<STimedMessage> messages(256);
    const Clock::time_point origin = Clock::now();
    int64_t consumed = 0; // microseconds of stream clock handed to the core
    while (!m_quit.load()) {
        // Sleep until the next message is due, but wake at least every millisecond to see
        // new buffers, pause and stop.
        const double until = m_core->FramesUntilNextEvent();
        const double wait = std::min(until, 1000.0);
        if (wait > 0)
            std::this_thread::sleep_until(origin + std::chrono::microseconds(consumed + int64_t(std::ceil(wait))));
        const int64_t now = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - origin).count();
        while (consumed < now) {
            int count = 0;
            const uint32_t step = uint32_t(std::min<int64_t>(now - consumed, 1 << 20));
            const uint32_t used = m_core->Advance(step, messages.data(), int(messages.size()), &count);
            const int scale = m_velocityScale.load();
            for (int i = 0; i < count; ++i) {
                STimedMessage& m = messages[size_t(i)];
                if ((m.m_bytes[0] & 0xF0) == 0x90 && m.m_size == 3 && m.m_bytes[2] && scale != 0xFFFF) {
                    if (scale == 0)
                        continue; // silent: the note is not struck at all
                    m.m_bytes[2] = uint8_t(std::max(1, m.m_bytes[2] * scale / 0xFFFF));
                }
                m_port->Send(m.m_bytes, m.m_size);
            }
            consumed += used;
        }
    }
}
