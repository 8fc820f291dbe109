#include "eventpool.h"

#include <array>
#include <mutex>
#include <vector>

namespace EventPool {
namespace {

struct SShared
{
    std::mutex mutex;
    std::array<SFreeChunk*, kMaxPools> free{};
    std::vector<void*> slabs;
    size_t reserved = 0;
};

// Never destroyed: threads may end, and events may be freed, after static destruction began.
SShared& Shared()
{
    static SShared* const shared = new SShared;
    return *shared;
}

// Hands a thread's free chunks, and what is left of the slab it was carving, to the shared
// lists when the thread ends.
class CExitHook
{
public:
    void Watch(SThreadCache* cache, size_t chunkSize, int index)
    {
        m_caches[size_t(index)] = cache;
        m_sizes[size_t(index)] = chunkSize;
    }

    ~CExitHook()
    {
        SShared& shared = Shared();
        const std::lock_guard lock(shared.mutex);
        for (size_t i = 0; i < m_caches.size(); ++i) {
            SThreadCache* c = m_caches[i];
            if (!c)
                continue;
            for (char* p = c->carve; p != c->carveEnd; p += m_sizes[i]) {
                SFreeChunk* chunk = reinterpret_cast<SFreeChunk*>(p);
                chunk->next = c->free;
                c->free = chunk;
            }
            if (c->free) {
                SFreeChunk* tail = c->free;
                while (tail->next)
                    tail = tail->next;
                tail->next = shared.free[i];
                shared.free[i] = c->free;
            }
            *c = SThreadCache{};
            c->exitHooked = true;
        }
    }

private:
    std::array<SThreadCache*, kMaxPools> m_caches{};
    std::array<size_t, kMaxPools> m_sizes{};
};

thread_local CExitHook t_exitHook;

} // namespace

void* Refill(SThreadCache& cache, size_t chunkSize, int index)
{
    if (!cache.exitHooked) {
        t_exitHook.Watch(&cache, chunkSize, index);
        cache.exitHooked = true;
    }
    SShared& shared = Shared();
    char* slab = nullptr;
    {
        const std::lock_guard lock(shared.mutex);
        if (SFreeChunk* chain = shared.free[size_t(index)]) {
            shared.free[size_t(index)] = nullptr;
            cache.free = chain->next;
            return chain;
        }
        shared.slabs.reserve(shared.slabs.size() + 1); // may throw; nothing taken yet
        slab = static_cast<char*>(::operator new(kSlabBytes));
        shared.slabs.push_back(slab);
        shared.reserved += kSlabBytes;
    }
    cache.carve = slab + chunkSize;
    cache.carveEnd = slab + kSlabBytes / chunkSize * chunkSize;
    return slab;
}

size_t ReservedBytes()
{
    SShared& shared = Shared();
    const std::lock_guard lock(shared.mutex);
    return shared.reserved;
}

} // namespace EventPool
