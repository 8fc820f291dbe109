#pragma once
// The pool the song's events come from, and the 32-bit slot numbers events link each other by.
//
// An imported song holds hundreds of thousands of small events, made in one burst and freed
// together. The general heap spends more time on them than the importer spends reading the
// tab, and an 8-byte pointer per link would cost more than the event's own words, so events
// live in slabs of their own and name each other by slot number. A thread takes slots from its
// own free list or from the slab it is carving, without a lock. Slots freed on a thread go to
// that thread's list; when a thread ends, its free slots go to a shared list that the next
// thread to run dry takes from. Slabs are kept for the life of the process and reused, so an
// event never moves while it lives.
//
// Slabs are aligned to their size and begin with a header holding the slot number of their
// first slot, so the slot of an address is a mask, a read and a division by a constant; the
// address of a slot is a read of a fixed table of slabs (written once per slab, under the
// pool's lock, and read without one). Slot 0 is never handed out and stands for "none"; its
// address is the null pointer.
//
// Builds with AddressSanitizer keep the slabs but poison every slot that is not in use and a
// gap after each event, and let freed slots rest in a long queue before they are handed out
// again, so that use-after-free and overflows on events are still caught.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

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

// Size of one event; event.h checks that it matches.
inline constexpr size_t kEventBytes = 20;
// Distance between slots: the event itself, or in checked builds the event, rounded up to the
// sanitizer's 8-byte granule, and a poisoned gap.
inline constexpr size_t kStride = KADENZO_EVENT_POOL ? kEventBytes : (kEventBytes + 7) / 8 * 8 + 8;

inline constexpr size_t kSlabBytes = 64 * 1024;
// A slot number is the slab's number above kSlotBits bits of slot within the slab.
inline constexpr int kSlotBits = 12;
inline constexpr uint32_t kSlotMask = (1u << kSlotBits) - 1;
inline constexpr size_t kMaxSlabs = size_t(1) << (32 - kSlotBits);
static_assert(kSlabBytes / kStride <= kSlotMask + 1);
static_assert(kStride >= sizeof(uint32_t) && kStride % alignof(uint32_t) == 0);

// Untouched entries cost no memory: the table is zero-filled and only written for slabs in
// use. Entry 0 stays null.
extern std::atomic<char*> g_slabs[kMaxSlabs];

inline void* SlotAddress(uint32_t slot)
{
    // Slot 0 gives the null pointer: entry 0 is null and its offset is 0.
    return g_slabs[slot >> kSlotBits].load(std::memory_order_acquire) + size_t(slot & kSlotMask) * kStride;
}

// The slot of a live event's address.
inline uint32_t SlotOf(const void* p)
{
    const auto address = reinterpret_cast<uintptr_t>(p);
    const uintptr_t base = address & ~uintptr_t(kSlabBytes - 1);
    uint32_t first;
    std::memcpy(&first, reinterpret_cast<const void*>(base), sizeof first);
    return first + uint32_t((address - base) / kStride);
}

// What one thread holds of the pool. Trivially destructible and constant-initialised, so that
// reaching it costs no more than a plain thread-local read.
struct SThreadCache
{
    uint32_t free = 0; // first slot of the free list; each free slot holds the next
    char* carve = nullptr;
    char* carveEnd = nullptr;
    // The thread hands its slots back when it ends; slots freed after that stay on its list
    // until the process exits.
    bool exitHooked = false;
};

inline constinit thread_local SThreadCache t_cache{};

// The slow paths.
void* Refill(SThreadCache& cache);
void* AllocateChecked();
void FreeChecked(void* p) noexcept;

// Room for one event. Throws std::bad_alloc when memory or slot numbers run out.
inline void* Allocate()
{
    if constexpr (!KADENZO_EVENT_POOL)
        return AllocateChecked();
    SThreadCache& c = t_cache;
    if (const uint32_t slot = c.free) {
        void* p = SlotAddress(slot);
        std::memcpy(&c.free, p, sizeof c.free);
        return p;
    }
    if (c.carve != c.carveEnd) {
        void* p = c.carve;
        c.carve += kStride;
        return p;
    }
    return Refill(c);
}

inline void Free(void* p) noexcept
{
    if constexpr (!KADENZO_EVENT_POOL) {
        FreeChecked(p);
        return;
    }
    SThreadCache& c = t_cache;
    const uint32_t slot = SlotOf(p);
    std::memcpy(p, &c.free, sizeof c.free);
    c.free = slot;
}

// Bytes taken from the general heap for slabs so far, over all threads.
size_t ReservedBytes();

} // namespace EventPool
