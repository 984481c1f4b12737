// Fixed-capacity pools: equal slots in one aligned block, created once and never grown.
// Alloc takes the next slot from a stack in constant time; the live objects stay in an active
// list in creation order (the list the game tick walks); Free searches and shifts that list.
// Pools only hand out memory: constructing and destroying the objects is the caller's business.
#pragma once

#include "platform/win_types.h"

#include <cstddef>
#include <cstdint>

constexpr std::uint32_t MEMPOOL_THROW_WHEN_FULL = 0x1;

// The descriptor, one static instance per pooled type. The caller sets capacity, flags and
// alignment before Create; the rest belongs to the pool.
struct MemPoolDesc {
    std::uint8_t* first = nullptr; // slot 0
    void** slots = nullptr;        // entries from `count` on are free; the next Alloc takes entry `count`
    void** active = nullptr;       // live objects 0..count-1; entries -1 and `capacity` are always null
    std::int32_t count = 0;
    std::int32_t capacity = 0;
    std::uint32_t flags = 0;
    std::uint32_t alignment = 16;
    void* block = nullptr; // the aligned allocation, kept for freeing

    MemPoolDesc() = default;
    MemPoolDesc(const MemPoolDesc&) = delete;
    MemPoolDesc& operator=(const MemPoolDesc&) = delete;
    // The clean-up at process exit; finds nothing to free after an explicit Destroy.
    ~MemPoolDesc();
};

// The generic form, for pools whose object size is known only at run time.
// S_OK, E_OUTOFMEMORY when any allocation failed (nothing is kept), E_INVALIDARG for a negative
// capacity or an alignment that is not a power of two. Slot 0 starts at a random multiple (0-7)
// of the slot stride inside the block, drawn from rand().
HRESULT mempool_create(MemPoolDesc& pool, std::size_t object_size);
// Frees everything and clears the pointers; calling it again does nothing.
void mempool_destroy(MemPoolDesc& pool);
// Raw memory for one object; null when full (or not created), unless the pool throws when full.
void* mempool_alloc(MemPoolDesc& pool);
// Gives a live object's slot back; the slot is the next one handed out. Null, and a pointer
// this pool does not hold as a live object, are ignored.
void mempool_free(MemPoolDesc& pool, void* object);

template <typename T> class MemPool : public MemPoolDesc {
public:
    HRESULT Create() { return mempool_create(*this, sizeof(T)); }
    void Destroy() { mempool_destroy(*this); }
    void* Alloc() { return mempool_alloc(*this); }
    void Free(T* object) { mempool_free(*this, object); }
};
