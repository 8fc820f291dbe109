#pragma once
// The pool the song's events come from, and the 32-bit slot numbers events link each other by.
//
// An imported song holds hundreds of thousands of small events, made in one burst and freed
// together. The general heap spends more time on them than the importer spends reading the
// tab, and an 8-byte pointer per link would cost more than the event's own words, so events
// live in a region of their own and name each other by slot number. A thread takes slots from
// its own free list or from the run of slots it is carving, without a lock. Slots freed on a
// thread go to that thread's list; when a thread ends, its free slots go to a shared list that
// the next thread to run dry takes from. Memory taken for slots is kept for the life of the
// process and reused, so an event never moves while it lives.
//
// The region is one range of address space, reserved whole when the first event is made and
// backed with memory a run of slots at a time, so the address of a slot is the region's start
// plus the slot's number, in 4-byte words: walking a list costs little more than following a
// pointer. Slot 0 is never handed out and stands for "none"; its address is the null pointer.
//
// Builds with AddressSanitizer poison every slot that is not in use and a gap after each
// event, and let freed slots rest in a long queue before they are handed out again, so that
// use-after-free and overflows on events are still caught.

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

// Slots are backed with memory this many at a time; a run is a whole number of pages.
inline constexpr uint32_t kRunSlots = 4096;
// Room reserved for slots: 2^28 events (5 GB of address space at 20 bytes an event, of which
// only the runs in use are ever backed). Less when the system grants less.
inline constexpr size_t kMaxSlots = size_t(1) << 28;

// Start of the region; set once, under the pool's lock, before the first slot is handed out.
extern char* g_region;

// A slot's number is its offset from the region's start in 4-byte words: the address of a
// slot is then one multiply-add away, with nothing to look up.
inline constexpr size_t kSlotUnit = 4;
static_assert(kStride % kSlotUnit == 0 && kMaxSlots * kStride / kSlotUnit <= UINT32_MAX);

inline void* SlotAddress(uint32_t slot)
{
    return slot ? g_region + size_t(slot) * kSlotUnit : nullptr;
}

// The address of a slot known not to be 0: the multiply-add alone, which the compiler folds
// into the load that reads the event.
inline void* LiveSlotAddress(uint32_t slot)
{
    return g_region + size_t(slot) * kSlotUnit;
}

// Slot numbers from one slot to the next in the region.
inline constexpr uint32_t kSlotStep = uint32_t(kStride / kSlotUnit);

// The slot a link leads to, from slot `from` whose link word holds `link`. Events made one
// after another mostly sit in consecutive slots, and then the answer is `from + step`, known
// before the link is read. Handing that on through a branch instead of the loaded word lets
// the processor run ahead along a list while the loads are still on their way, rather than
// wait for each one: a walk then costs the work per event, not the memory's latency per
// event. The empty asm hides that the two are equal, so the compiler keeps the branch.
inline uint32_t Follow(uint32_t from, uint32_t link, uint32_t step)
{
    uint32_t guess = from + step;
    if (link == guess) [[likely]] {
        asm("" : "+r"(guess));
        return guess;
    }
    return link;
}

// The slot of a live event's address.
inline uint32_t SlotOf(const void* p)
{
    return uint32_t(size_t(static_cast<const char*>(p) - g_region) / kSlotUnit);
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

// Bytes of the region backed with memory so far, over all threads.
size_t ReservedBytes();

} // namespace EventPool
