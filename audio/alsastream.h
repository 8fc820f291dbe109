#pragma once
// The stream back end for external MIDI ports (hardware, other synthesizers) through RtMidi
// over the ALSA sequencer. A timer thread with the steady clock sends each message when it
// falls due; the stream's clock counts microseconds.

#include "midistream.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

// Where the timed messages go (an RtMidi port, or a recorder in tests and benchmarks).
class CMidiPortOut
{
public:
    virtual ~CMidiPortOut() = default;
    virtual void Send(const uint8_t* bytes, int size) = 0;
};

class CAlsaStream : public CMidiStream
{
public:
    explicit CAlsaStream(std::unique_ptr<CMidiPortOut> port);
    ~CAlsaStream() override;

    // Opens ALSA output port `index` (as listed by PortNames); nullptr and *error on failure.
    static std::unique_ptr<CAlsaStream> OpenPort(int index, QString* error);
    // The ALSA sequencer's output ports; empty when there is no sequencer.
    static QStringList PortNames();

    bool Stop() override;
    // External devices have no volume control of their own: note-on velocities are scaled.
    void SetVolume(uint32_t leftRight) override { m_velocityScale.store(int(leftRight & 0xFFFF)); }

private:
    void Run();

    std::unique_ptr<CMidiPortOut> m_port;
    std::atomic<bool> m_quit{false};
    std::atomic<int> m_velocityScale{0xFFFF};
    std::thread m_thread;
};
