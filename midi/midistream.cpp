#include "midistream.h"

#include <cmath>
#include <cstring>

namespace {
uint32_t ReadWord(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Bytes of a channel or system message by its status byte.
int MessageSize(uint8_t status)
{
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
        return 2;
    case 0xF0:
        return 1;
    default:
        return 3;
    }
}

constexpr double kNever = 1e18;
}

CStreamCore::CStreamCore(double framesPerSecond) : m_framesPerSecond(framesPerSecond)
{
    for (auto& q : m_queue)
        q.store(-1);
    for (auto& d : m_done)
        d.store(-1);
    for (auto& s : m_slots)
        s.m_events.reserve(512);
}

CStreamCore::~CStreamCore() = default;

bool CStreamCore::Parse(const SMidiHeader& header, SSlot& slot) const
{
    slot.m_events.clear();
    slot.m_lengthTicks = 0;
    slot.m_user = header.m_user;
    if (!header.m_pData && header.m_bytesRecorded)
        return false;
    const uint32_t size = header.m_bytesRecorded;
    if (size > header.m_bufferLength || size % 4)
        return false;
    uint32_t tick = 0;
    uint32_t at = 0;
    while (at < size) {
        if (size - at < 12)
            return false;
        const uint8_t* p = header.m_pData + at;
        const uint32_t delta = ReadWord(p);
        const uint32_t word = ReadWord(p + 8);
        at += 12;
        if (delta > 0x0FFFFFFF || tick + delta < tick)
            return false;
        tick += delta;
        SEvent ev{};
        ev.m_tick = tick;
        if (word & StreamEvent::LongFlag) {
            const uint32_t bytes = word & 0xFFFFFF;
            const uint32_t padded = (bytes + 3) & ~3u;
            if (padded > size - at)
                return false;
            if (bytes <= sizeof(ev.m_bytes)) {
                ev.m_kind = 0;
                ev.m_size = uint8_t(bytes);
                std::memcpy(ev.m_bytes, header.m_pData + at, bytes);
            } else {
                ev.m_kind = 2; // too long for a real-time message: keeps its time only
            }
            at += padded;
        } else {
            const uint32_t type = (word >> StreamEvent::TypeShift) & 0x7F;
            if (type == StreamEvent::TypeShort) {
                const uint8_t status = uint8_t(word & 0xFF);
                if (!(status & 0x80))
                    return false;
                ev.m_kind = 0;
                ev.m_size = uint8_t(MessageSize(status));
                ev.m_bytes[0] = status;
                ev.m_bytes[1] = uint8_t(word >> 8) & 0x7F;
                ev.m_bytes[2] = uint8_t(word >> 16) & 0x7F;
            } else if (type == StreamEvent::TypeTempo) {
                ev.m_kind = 1;
                ev.m_tempo = word & 0xFFFFFF;
                if (!ev.m_tempo)
                    ev.m_kind = 2;
            } else {
                ev.m_kind = 2;
            }
        }
        slot.m_events.push_back(ev);
    }
    slot.m_lengthTicks = tick;
    return true;
}

int CStreamCore::TakeFreeSlot()
{
    for (int i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (m_slotBusy[i].compare_exchange_strong(expected, true))
            return i;
    }
    return -1;
}

bool CStreamCore::Out(const SMidiHeader& header)
{
    const uint32_t tail = m_queueTail.load(std::memory_order_relaxed);
    if (tail - m_queueHead.load(std::memory_order_acquire) >= uint32_t(kFifo))
        return false;
    const int slot = TakeFreeSlot();
    if (slot < 0)
        return false;
    if (!Parse(header, m_slots[slot])) {
        m_slotBusy[slot].store(false);
        return false;
    }
    m_pendingCount.fetch_add(1);
    m_queue[tail % kFifo].store(slot, std::memory_order_release);
    m_queueTail.store(tail + 1, std::memory_order_release);
    return true;
}

bool CStreamCore::ReplaceLast(const SMidiHeader& header)
{
    const uint32_t tail = m_queueTail.load(std::memory_order_relaxed);
    if (tail == m_queueHead.load(std::memory_order_acquire))
        return false;
    std::atomic<int>& entry = m_queue[(tail - 1) % kFifo];
    int old = entry.load(std::memory_order_acquire);
    if (old < 0)
        return false;
    const int slot = TakeFreeSlot();
    if (slot < 0)
        return false;
    if (!Parse(header, m_slots[slot])) {
        m_slotBusy[slot].store(false);
        return false;
    }
    if (!entry.compare_exchange_strong(old, slot, std::memory_order_acq_rel)) {
        m_slotBusy[slot].store(false); // the consumer began the old buffer meanwhile
        return false;
    }
    m_slotBusy[old].store(false);
    return true;
}

int CStreamCore::Pending() const
{
    return m_pendingCount.load();
}

int CStreamCore::DispatchDone(const std::function<void(uintptr_t)>& done)
{
    int count = 0;
    for (;;) {
        const uint32_t head = m_doneHead.load(std::memory_order_relaxed);
        if (head == m_doneTail.load(std::memory_order_acquire))
            break;
        const int slot = m_done[head % kFifo].load(std::memory_order_acquire);
        m_doneHead.store(head + 1, std::memory_order_release);
        if (slot < 0)
            continue;
        const uintptr_t user = m_slots[slot].m_user;
        m_slotBusy[slot].store(false);
        m_pendingCount.fetch_sub(1);
        ++count;
        if (done)
            done(user);
    }
    return count;
}

bool CStreamCore::StartNextSlot()
{
    const uint32_t head = m_queueHead.load(std::memory_order_relaxed);
    if (head == m_queueTail.load(std::memory_order_acquire))
        return false;
    const int slot = m_queue[head % kFifo].exchange(-1, std::memory_order_acq_rel);
    m_queueHead.store(head + 1, std::memory_order_release);
    if (slot < 0)
        return false;
    m_current = slot;
    m_nextEvent = 0;
    m_bufferStartTick = m_tickPos;
    return true;
}

void CStreamCore::FinishSlot()
{
    // The next buffer starts where this one's last event fell: no gap across buffers.
    m_tickPos = m_bufferStartTick + m_slots[m_current].m_lengthTicks;
    const uint32_t tail = m_doneTail.load(std::memory_order_relaxed);
    m_done[tail % kFifo].store(m_current, std::memory_order_release);
    m_doneTail.store(tail + 1, std::memory_order_release);
    m_current = -1;
}

uint32_t CStreamCore::Advance(uint32_t frames, STimedMessage* out, int maxOut, int* outCount)
{
    *outCount = 0;
    if (m_stopRequest.load(std::memory_order_acquire)) {
        *outCount = ConsumerStop(out, maxOut);
        return frames;
    }
    if (m_paused.load(std::memory_order_acquire) || frames == 0)
        return frames;

    double ticksPerFrame = double(m_timeDivision.load()) * 1e6 / (double(m_tempo.load()) * m_framesPerSecond);
    double cursor = 0; // frames into this call
    bool running = true;
    while (true) {
        if (m_current < 0 && !StartNextSlot()) {
            running = false; // starved or finished: the clock waits for the next buffer
            break;
        }
        const SSlot& slot = m_slots[m_current];
        if (m_nextEvent >= slot.m_events.size()) {
            FinishSlot();
            continue;
        }
        const SEvent& ev = slot.m_events[m_nextEvent];
        const double due = m_bufferStartTick + ev.m_tick;
        // A small tolerance keeps events that are due exactly on a frame from slipping to the
        // one before through rounding.
        const double at = cursor + std::max(0.0, due - m_tickPos) / ticksPerFrame + 1e-6;
        if (at >= double(frames))
            break;
        if (ev.m_kind == 0) {
            if (*outCount >= maxOut) {
                const uint32_t consumed = uint32_t(at);
                m_tickPos += (double(consumed) - cursor) * ticksPerFrame;
                m_positionTicks.store(int64_t(std::floor(m_tickPos + 1e-9)), std::memory_order_release);
                return consumed;
            }
            STimedMessage& m = out[(*outCount)++];
            m.m_frame = std::min(uint32_t(at), frames - 1);
            m.m_tick = int64_t(std::floor(due + 1e-9));
            m.m_size = ev.m_size;
            std::memcpy(m.m_bytes, ev.m_bytes, ev.m_size);
        } else if (ev.m_kind == 1) {
            m_tempo.store(ev.m_tempo);
        }
        m_tickPos = std::max(m_tickPos, due);
        cursor = at;
        if (ev.m_kind == 1)
            ticksPerFrame = double(m_timeDivision.load()) * 1e6 / (double(m_tempo.load()) * m_framesPerSecond);
        ++m_nextEvent;
    }
    if (running)
        m_tickPos += (double(frames) - cursor) * ticksPerFrame;
    m_positionTicks.store(int64_t(std::floor(m_tickPos + 1e-9)), std::memory_order_release);
    return frames;
}

double CStreamCore::FramesUntilNextEvent() const
{
    if (m_paused.load() || m_stopRequest.load())
        return m_stopRequest.load() ? 0 : kNever;
    const double ticksPerFrame = double(m_timeDivision.load()) * 1e6 / (double(m_tempo.load()) * m_framesPerSecond);
    if (m_current >= 0) {
        const SSlot& slot = m_slots[m_current];
        if (m_nextEvent >= slot.m_events.size())
            return 0;
        return std::max(0.0, m_bufferStartTick + slot.m_events[m_nextEvent].m_tick - m_tickPos) / ticksPerFrame;
    }
    // A queued buffer still belongs to the producer, which may replace it and refill its slot
    // at any moment: the consumer does not look inside before Advance has taken it.
    const uint32_t head = m_queueHead.load(std::memory_order_relaxed);
    return head == m_queueTail.load(std::memory_order_acquire) ? kNever : 0;
}

int CStreamCore::ConsumerStop(STimedMessage* out, int maxOut)
{
    if (m_current >= 0)
        FinishSlot();
    while (StartNextSlot())
        FinishSlot();
    m_tickPos = 0;
    m_bufferStartTick = 0;
    m_positionTicks.store(0);
    m_paused.store(true);
    int count = 0;
    // All sound off and all notes off on every channel.
    for (int ch = 0; ch < 16 && out && count + 2 <= maxOut; ++ch) {
        for (uint8_t controller : {uint8_t(120), uint8_t(123)}) {
            STimedMessage& m = out[count++];
            m.m_frame = 0;
            m.m_tick = 0;
            m.m_size = 3;
            m.m_bytes[0] = uint8_t(0xB0 | ch);
            m.m_bytes[1] = controller;
            m.m_bytes[2] = 0;
        }
    }
    m_stopRequest.store(false, std::memory_order_release);
    return count;
}

// ---------------------------------------------------------------------------------------

CMidiStream::CMidiStream(double framesPerSecond) : m_core(std::make_unique<CStreamCore>(framesPerSecond)) {}

bool CMidiStream::SetTimeDivision(uint32_t ticksPerQuarter)
{
    if (!ticksPerQuarter || ticksPerQuarter > 0x7FFF)
        return false;
    m_core->SetTimeDivision(ticksPerQuarter);
    return true;
}

bool CMidiStream::SetTempo(uint32_t usPerQuarter)
{
    if (!usPerQuarter || usPerQuarter > 0xFFFFFF)
        return false;
    m_core->SetTempo(usPerQuarter);
    return true;
}

uint32_t CMidiStream::GetTempo() const
{
    return m_core->GetTempo();
}

bool CMidiStream::Out(const SMidiHeader& header)
{
    return m_core->Out(header);
}

bool CMidiStream::ReplaceLast(const SMidiHeader& header)
{
    return m_core->ReplaceLast(header);
}

bool CMidiStream::Restart()
{
    m_core->Restart();
    return true;
}

bool CMidiStream::Pause()
{
    m_core->Pause();
    return true;
}

bool CMidiStream::Stop()
{
    m_core->RequestStop();
    return true;
}

bool CMidiStream::Position(int64_t* ticks) const
{
    *ticks = m_core->PositionTicks();
    return true;
}

int CMidiStream::DispatchDone()
{
    return m_core->DispatchDone(m_doneHandler);
}

namespace MidiStreams {
namespace {
Opener& TheOpener()
{
    static Opener opener;
    return opener;
}
}

void SetOpener(Opener opener)
{
    TheOpener() = std::move(opener);
}

std::unique_ptr<CMidiStream> Open(int devicePosition)
{
    return TheOpener() ? TheOpener()(devicePosition) : nullptr;
}
}

namespace PlayerHost {
namespace {
CPlayerHost g_default;
CPlayerHost* g_host = &g_default;
}

void Set(CPlayerHost* host)
{
    g_host = host ? host : &g_default;
}

CPlayerHost& Get()
{
    return *g_host;
}
}
