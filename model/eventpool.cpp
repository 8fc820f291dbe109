#include "eventpool.h"

#include <deque>
#include <mutex>
#include <new>
#include <utility>

#include <sys/mman.h>
#include <unistd.h>

#if !KADENZO_EVENT_POOL
#include <sanitizer/asan_interface.h>
#endif

namespace EventPool {

char* g_region = nullptr;

namespace {

struct SShared
{
    std::mutex mutex;
    uint32_t free = 0; // free slots handed back by ended threads
    size_t maxSlots = 0; // slots the region has room for
    size_t nextRun = 0;  // first slot of the next run to back
    size_t reserved = 0;
    // Checked builds: freed slots, oldest first, and the run being carved.
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

// Reserves the region: the whole of it when the system grants it, else the most it grants.
void Reserve(SShared& shared)
{
    for (size_t slots = kMaxSlots; slots >= kRunSlots * 16; slots /= 2) {
        void* p = ::mmap(nullptr, slots * kStride, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (p != MAP_FAILED) {
            g_region = static_cast<char*>(p);
            shared.maxSlots = slots;
            shared.nextRun = 1; // slot 0 stands for "none"
            return;
        }
    }
    throw std::bad_alloc();
}

// Backs the next run of slots with memory and returns its bounds. Call with the lock held.
std::pair<char*, char*> NewRun(SShared& shared)
{
    if (!g_region)
        Reserve(shared);
    const size_t first = shared.nextRun;
    const size_t end = (first / kRunSlots + 1) * kRunSlots; // the first run is one slot short
    if (end > shared.maxSlots)
        throw std::bad_alloc();
    char* begin = g_region + first * kStride;
    char* stop = g_region + end * kStride;
    const auto page = uintptr_t(::sysconf(_SC_PAGESIZE));
    const auto from = reinterpret_cast<uintptr_t>(begin) / page * page;
    if (::mprotect(reinterpret_cast<void*>(from), size_t(reinterpret_cast<uintptr_t>(stop) - from), PROT_READ | PROT_WRITE) != 0)
        throw std::bad_alloc();
    shared.nextRun = end;
    shared.reserved += size_t(stop - begin);
    return {begin, stop};
}

// Hands a thread's free slots, and what is left of the run it was carving, to the shared
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
    const auto [begin, end] = NewRun(shared);
    cache.carve = begin + kStride;
    cache.carveEnd = end;
    return begin;
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
            const auto [begin, end] = NewRun(shared);
            ASAN_POISON_MEMORY_REGION(begin, size_t(end - begin));
            shared.carve = begin;
            shared.carveEnd = end;
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
