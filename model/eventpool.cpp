#include "eventpool.h"

#include <deque>
#include <mutex>
#include <new>

#if !KADENZO_EVENT_POOL
#include <sanitizer/asan_interface.h>
#endif

namespace EventPool {

constinit std::atomic<char*> g_slabs[kMaxSlabs]{};

namespace {

struct SShared
{
    std::mutex mutex;
    uint32_t free = 0; // free slots handed back by ended threads
    size_t slabCount = 0;
    size_t reserved = 0;
    // Checked builds: freed slots, oldest first, and the slab being carved.
    std::deque<uint32_t> resting;
    char* carve = nullptr;
    char* carveEnd = nullptr;
};

// Never destroyed: threads may end, and events may be freed, after static destruction began.
SShared& Shared()
{
    static SShared* const shared = new SShared;
    return *shared;
}

// A new slab, registered in the table; its carving starts after the header slot. Call with
// the lock held.
char* NewSlab(SShared& shared)
{
    if (shared.slabCount + 1 >= kMaxSlabs)
        throw std::bad_alloc();
    auto* slab = static_cast<char*>(::operator new(kSlabBytes, std::align_val_t(kSlabBytes)));
    const size_t index = ++shared.slabCount;
    const auto first = uint32_t(index << kSlotBits);
    std::memcpy(slab, &first, sizeof first);
    g_slabs[index].store(slab, std::memory_order_release);
    shared.reserved += kSlabBytes;
    return slab;
}

char* SlabEnd(char* slab)
{
    return slab + kSlabBytes / kStride * kStride;
}

// Hands a thread's free slots, and what is left of the slab it was carving, to the shared
// list when the thread ends.
class CExitHook
{
public:
    void Watch(SThreadCache* cache) { m_cache = cache; }

    ~CExitHook()
    {
        SThreadCache* c = m_cache;
        if (!c)
            return;
        SShared& shared = Shared();
        const std::lock_guard lock(shared.mutex);
        for (char* p = c->carve; p != c->carveEnd; p += kStride) {
            std::memcpy(p, &c->free, sizeof c->free);
            c->free = SlotOf(p);
        }
        if (c->free) {
            uint32_t tail = c->free;
            for (;;) {
                uint32_t next;
                std::memcpy(&next, SlotAddress(tail), sizeof next);
                if (!next)
                    break;
                tail = next;
            }
            std::memcpy(SlotAddress(tail), &shared.free, sizeof shared.free);
            shared.free = c->free;
        }
        *c = SThreadCache{};
        c->exitHooked = true;
    }

private:
    SThreadCache* m_cache = nullptr;
};

thread_local CExitHook t_exitHook;

} // namespace

void* Refill(SThreadCache& cache)
{
    if (!cache.exitHooked) {
        t_exitHook.Watch(&cache);
        cache.exitHooked = true;
    }
    SShared& shared = Shared();
    const std::lock_guard lock(shared.mutex);
    if (const uint32_t chain = shared.free) {
        shared.free = 0;
        void* p = SlotAddress(chain);
        std::memcpy(&cache.free, p, sizeof cache.free);
        return p;
    }
    char* slab = NewSlab(shared);
    cache.carve = slab + 2 * kStride;
    cache.carveEnd = SlabEnd(slab);
    return slab + kStride;
}

#if KADENZO_EVENT_POOL

void* AllocateChecked()
{
    return Allocate();
}

void FreeChecked(void* p) noexcept
{
    Free(p);
}

#else

namespace {
// Freed slots wait this long before they are handed out again, so that a use after free
// finds them poisoned.
constexpr size_t kRestingSlots = size_t(1) << 18;
} // namespace

void* AllocateChecked()
{
    SShared& shared = Shared();
    const std::lock_guard lock(shared.mutex);
    void* p = nullptr;
    if (shared.resting.size() > kRestingSlots) {
        p = SlotAddress(shared.resting.front());
        shared.resting.pop_front();
    } else {
        if (shared.carve == shared.carveEnd) {
            char* slab = NewSlab(shared);
            ASAN_POISON_MEMORY_REGION(slab + kStride, kSlabBytes - kStride);
            shared.carve = slab + kStride;
            shared.carveEnd = SlabEnd(slab);
        }
        p = shared.carve;
        shared.carve += kStride;
    }
    ASAN_UNPOISON_MEMORY_REGION(p, kEventBytes);
    return p;
}

void FreeChecked(void* p) noexcept
{
    SShared& shared = Shared();
    const std::lock_guard lock(shared.mutex);
    ASAN_POISON_MEMORY_REGION(p, kEventBytes);
    try {
        shared.resting.push_back(SlotOf(p));
    } catch (...) {
        // No room to queue it: the slot is simply not reused.
    }
}

#endif

size_t ReservedBytes()
{
    SShared& shared = Shared();
    const std::lock_guard lock(shared.mutex);
    return shared.reserved;
}

} // namespace EventPool
