#include "manualclock.h"

CManualClockStream::CManualClockStream(double framesPerSecond) : CMidiStream(framesPerSecond), m_scratch(256) {}

void CManualClockStream::Deliver(const STimedMessage* messages, int count, int64_t base)
{
    for (int i = 0; i < count; ++i) {
        const STimedMessage& m = messages[i];
        if (m_sink)
            m_sink(base + m.m_frame, m.m_bytes, m.m_size);
        if (m_recording)
            m_played.push_back({base + m.m_frame, m.m_tick, std::vector<uint8_t>(m.m_bytes, m.m_bytes + m.m_size)});
    }
}

void CManualClockStream::Advance(uint32_t frames)
{
    uint32_t left = frames;
    while (left > 0) {
        int count = 0;
        const uint32_t used = m_core->Advance(left, m_scratch.data(), int(m_scratch.size()), &count);
        Deliver(m_scratch.data(), count, m_now);
        m_now += used;
        left -= used;
    }
    DispatchDone();
}

int64_t CManualClockStream::RunUntilIdle(int64_t maxFrames, uint32_t step)
{
    int64_t moved = 0;
    while (Pending() > 0 && moved < maxFrames) {
        Advance(step);
        moved += step;
    }
    return moved;
}

bool CManualClockStream::Stop()
{
    const int count = m_core->ConsumerStop(m_scratch.data(), int(m_scratch.size()));
    Deliver(m_scratch.data(), count, m_now);
    DispatchDone();
    return true;
}
