#pragma once
// The stream back end whose clock moves only when told: tests step it frame by frame and
// the offline renderer drives it as fast as it can render. Done notifications are delivered
// at the end of each Advance call, on the calling thread.

#include "midistream.h"

#include <functional>
#include <vector>

class CManualClockStream : public CMidiStream
{
public:
    // framesPerSecond: the unit of Advance (1000 makes a frame one millisecond).
    explicit CManualClockStream(double framesPerSecond = 1000.0);

    struct SPlayed
    {
        int64_t m_frame = 0; // absolute frame since the stream was made
        int64_t m_tick = 0;  // stream tick the message was due at
        std::vector<uint8_t> m_bytes;
    };

    // Moves the clock on; returns the messages that fell due (also kept in Played() when
    // recording is on, and passed to the sink when one is set).
    void Advance(uint32_t frames);
    // Advances until the stream holds no buffer (or maxFrames passed); returns frames moved.
    int64_t RunUntilIdle(int64_t maxFrames, uint32_t step = 1);

    bool Stop() override;

    // Called for every message with its absolute frame; the offline renderer plays it.
    void SetSink(std::function<void(int64_t frame, const uint8_t* bytes, int size)> sink) { m_sink = std::move(sink); }
    void SetRecording(bool on) { m_recording = on; }
    const std::vector<SPlayed>& Played() const { return m_played; }
    void ClearPlayed() { m_played.clear(); }
    int64_t Now() const { return m_now; }
    uint32_t Volume() const { return m_volume; }
    void SetVolume(uint32_t leftRight) override { m_volume = leftRight; }

private:
    void Deliver(const STimedMessage* messages, int count, int64_t base);

    int64_t m_now = 0;
    bool m_recording = true;
    uint32_t m_volume = 0xFFFFFFFF;
    std::vector<SPlayed> m_played;
    std::vector<STimedMessage> m_scratch;
    std::function<void(int64_t, const uint8_t*, int)> m_sink;
};
