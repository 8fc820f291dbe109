#include "eventextras.h"

#include <mutex>
#include <new>

namespace EventExtras {

constinit std::atomic<SRecord*> g_blocks[kMaxBlocks]{};

namespace {

// Free records form a list through their m_layoutPos word.
struct SShared
{
    std::mutex mutex;
    uint32_t freeHead = 0;
    uint64_t next = 1; // handle 0 means "no record"
    size_t live = 0;
};

// Never destroyed: events may be freed after static destruction began.
SShared& Shared()
{
    static SShared* const shared = new SShared;
    return *shared;
}

} // namespace

uint32_t Acquire()
{
    SShared& shared = Shared();
    const std::lock_guard lock(shared.mutex);
    if (const uint32_t handle = shared.freeHead) {
        SRecord& r = At(handle);
        shared.freeHead = r.m_layoutPos;
        r.m_layoutPos = 0;
        ++shared.live;
        return handle;
    }
    if (shared.next >= uint64_t(kMaxBlocks) << kBlockBits)
        throw std::bad_alloc();
    const auto handle = uint32_t(shared.next);
    std::atomic<SRecord*>& block = g_blocks[handle >> kBlockBits];
    if (!block.load(std::memory_order_relaxed))
        block.store(new SRecord[size_t(kBlockMask) + 1], std::memory_order_release);
    ++shared.next;
    ++shared.live;
    return handle;
}

void Release(uint32_t handle) noexcept
{
    SRecord& r = At(handle);
    r.m_pText.reset();
    r.m_layoutSize = r.m_runTime1 = r.m_runTime2 = r.m_importRef = 0;
    SShared& shared = Shared();
    const std::lock_guard lock(shared.mutex);
    r.m_layoutPos = shared.freeHead;
    shared.freeHead = handle;
    --shared.live;
}

size_t LiveCount()
{
    SShared& shared = Shared();
    const std::lock_guard lock(shared.mutex);
    return shared.live;
}

} // namespace EventExtras
