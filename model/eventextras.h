#pragma once
// Side records of measure openers: their layout and timing words and their text.
//
// A song is mostly notes, and a note needs none of these, so they are kept out of CEvent: an
// event that needs them holds a 32-bit handle to a record here. Records live in blocks that
// are never moved or freed, so a handle stays valid until it is released, and reading one
// takes no lock. Taking and releasing handles is safe from any thread.

#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace EventExtras {

struct SRecord
{
    uint32_t m_layoutPos = 0;
    uint32_t m_layoutSize = 0;
    uint32_t m_runTime1 = 0;
    uint32_t m_runTime2 = 0;
    uint32_t m_importRef = 0; // the event's, once it has a record
    std::unique_ptr<QString> m_pText;
};

inline constexpr int kBlockBits = 13;
inline constexpr uint32_t kBlockMask = (1u << kBlockBits) - 1;
inline constexpr size_t kMaxBlocks = size_t(1) << (31 - kBlockBits);

// Untouched entries cost no memory: the table is zero-filled and only the pages of blocks in
// use are ever written.
extern std::atomic<SRecord*> g_blocks[kMaxBlocks];

inline SRecord& At(uint32_t handle)
{
    return g_blocks[handle >> kBlockBits].load(std::memory_order_acquire)[handle & kBlockMask];
}

// A cleared record's handle (never 0, below 2^31: events keep a tag bit beside it). Throws
// std::bad_alloc when memory or handles run out.
uint32_t Acquire();
// Clears the record and makes its handle free for reuse.
void Release(uint32_t handle) noexcept;
// Records taken and not released, over all threads.
size_t LiveCount();

} // namespace EventExtras
