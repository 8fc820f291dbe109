#pragma once
// Fixed-size pools for the song's events and the nodes of the song list.
//
// An imported song holds hundreds of thousands of small events, made in one burst and freed
// together. The general heap spends more time on them than the importer spends reading the
// tab, so each size gets its own pool: a thread takes chunks from its own free list or from
// the slab it is carving, without a lock. Chunks freed on a thread go to that thread's list;
// when a thread ends, its free chunks go to a shared list that the next thread to run dry
// takes from. Slabs are kept for the life of the process and reused.
//
// Builds with AddressSanitizer use the general heap, so that use-after-free and overflows on
// events are still caught.

#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

#if defined(__SANITIZE_ADDRESS__)
#define KADENZO_EVENT_POOL 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KADENZO_EVENT_POOL 0
#endif
#endif
#ifndef KADENZO_EVENT_POOL
#define KADENZO_EVENT_POOL 1
#endif

namespace EventPool {

struct SFreeChunk
{
    SFreeChunk* next;
};

// What one thread holds of one pool. Trivially destructible and constant-initialised, so
// that reaching it costs no more than a plain thread-local read.
struct SThreadCache
{
    SFreeChunk* free = nullptr;
    char* carve = nullptr;
    char* carveEnd = nullptr;
    // The thread hands its chunks back when it ends; chunks freed after that stay on its
    // list until the process exits.
    bool exitHooked = false;
};

// The slow paths, shared by every chunk size.
void* Refill(SThreadCache& cache, size_t chunkSize, int poolIndex);
// Bytes taken from the general heap for slabs so far, over all threads and sizes.
size_t ReservedBytes();

inline constexpr size_t kSlabBytes = 64 * 1024;

constexpr size_t ChunkSizeFor(size_t bytes)
{
    return (bytes + alignof(SFreeChunk) - 1) / alignof(SFreeChunk) * alignof(SFreeChunk);
}

// Pool index is the chunk size in words, minus one; room for chunks up to 64 bytes.
inline constexpr int kMaxPools = 8;

template <size_t ChunkSize>
class CFixedPool
{
    static_assert(ChunkSize % alignof(SFreeChunk) == 0 && ChunkSize >= sizeof(SFreeChunk));
    static_assert(ChunkSize / alignof(SFreeChunk) <= size_t(kMaxPools));
    static constexpr int kIndex = int(ChunkSize / alignof(SFreeChunk)) - 1;

public:
    static void* Allocate()
    {
        SThreadCache& c = t_cache;
        if (SFreeChunk* chunk = c.free) {
            c.free = chunk->next;
            return chunk;
        }
        if (c.carve != c.carveEnd) {
            void* p = c.carve;
            c.carve += ChunkSize;
            return p;
        }
        return Refill(c, ChunkSize, kIndex);
    }

    static void Free(void* p) noexcept
    {
        SThreadCache& c = t_cache;
        SFreeChunk* chunk = static_cast<SFreeChunk*>(p);
        chunk->next = c.free;
        c.free = chunk;
    }

private:
    static inline constinit thread_local SThreadCache t_cache{};
};

// Allocator for node-based containers of events: single nodes come from the pool, anything
// else from the general heap. Stateless, so lists can splice into each other freely.
template <class T>
class CNodeAllocator
{
public:
    using value_type = T;
    using is_always_equal = std::true_type;

    CNodeAllocator() noexcept = default;
    template <class U>
    CNodeAllocator(const CNodeAllocator<U>&) noexcept
    {
    }

    T* allocate(size_t n)
    {
        if constexpr (kPooled) {
            if (n == 1)
                return static_cast<T*>(CFixedPool<ChunkSizeFor(sizeof(T))>::Allocate());
        }
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }

    void deallocate(T* p, [[maybe_unused]] size_t n) noexcept
    {
        if constexpr (kPooled) {
            if (n == 1) {
                CFixedPool<ChunkSizeFor(sizeof(T))>::Free(p);
                return;
            }
        }
        ::operator delete(p);
    }

    template <class U>
    friend bool operator==(const CNodeAllocator&, const CNodeAllocator<U>&) noexcept
    {
        return true;
    }

private:
    static constexpr bool kPooled = KADENZO_EVENT_POOL && alignof(T) <= alignof(SFreeChunk)
        && ChunkSizeFor(sizeof(T)) / alignof(SFreeChunk) <= size_t(kMaxPools);
};

} // namespace EventPool
