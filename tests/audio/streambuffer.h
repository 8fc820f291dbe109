#pragma once
// Builds stream buffers (the stream event layout) for tests and benchmarks.

#include "midistream.h"

#include <cstdint>
#include <cstring>
#include <vector>

class CStreamBufferBuilder
{
public:
    CStreamBufferBuilder& Short(uint32_t delta, uint8_t status, uint8_t d1, uint8_t d2)
    {
        Word(delta);
        Word(0);
        Word(StreamEvent::ShortWord(status, d1, d2));
        return *this;
    }
    CStreamBufferBuilder& Tempo(uint32_t delta, uint32_t usPerQuarter)
    {
        Word(delta);
        Word(0);
        Word(StreamEvent::TempoWord(usPerQuarter));
        return *this;
    }
    CStreamBufferBuilder& MasterVolume()
    {
        Word(0);
        Word(0);
        Word(0x80000008u);
        static const uint8_t kBytes[8] = {0xF0, 0x7F, 0x7F, 0x04, 0x01, 0x7F, 0x7F, 0xF7};
        m_bytes.insert(m_bytes.end(), kBytes, kBytes + 8);
        return *this;
    }
    SMidiHeader Header(uintptr_t user = 0) const
    {
        SMidiHeader h;
        h.m_pData = m_bytes.data();
        h.m_bufferLength = uint32_t(m_bytes.size());
        h.m_bytesRecorded = uint32_t(m_bytes.size());
        h.m_user = user;
        return h;
    }
    std::vector<uint8_t> m_bytes;

private:
    void Word(uint32_t w)
    {
        for (int i = 0; i < 4; ++i)
            m_bytes.push_back(uint8_t(w >> (8 * i)));
    }
};

// One 4/4 bar (384 ticks) with `notes` evenly spaced note-ons of `key` on channel 10, each
// released at the next one; the last release falls on the bar line.
inline CStreamBufferBuilder QuarterNoteBar(uint8_t key = 42, int notes = 4)
{
    CStreamBufferBuilder b;
    b.MasterVolume();
    const uint32_t step = 384 / uint32_t(notes);
    for (int i = 0; i < notes; ++i) {
        b.Short(0, 0x99, key, 100);
        b.Short(step, 0x99, key, 0);
    }
    return b;
}
