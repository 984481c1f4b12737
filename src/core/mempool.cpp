#include "core/mempool.h"

#include "core/errors.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

MemPoolDesc::~MemPoolDesc()
{
    mempool_destroy(*this);
}

HRESULT mempool_create(MemPoolDesc& pool, std::size_t object_size)
{
    mempool_destroy(pool);
    const std::size_t alignment = pool.alignment;
    if (pool.capacity < 0 || alignment == 0 || (alignment & (alignment - 1)) != 0) return E_INVALIDARG;
    const std::size_t capacity = static_cast<std::size_t>(pool.capacity);
    // Rounded up, since object sizes on this platform need not be multiples of the alignment; the
    // random start is a whole number of strides so every slot stays aligned.
    const std::size_t stride = (object_size + alignment - 1) & ~(alignment - 1);
    const std::size_t offset = static_cast<std::size_t>((std::rand() >> 12) & 7) * stride;

    void** slots = new (std::nothrow) void*[capacity];
    void** active = new (std::nothrow) void*[capacity + 2];
    const std::size_t block_size = offset + stride * capacity;
    void* block = nullptr;
    if (posix_memalign(&block, alignment < sizeof(void*) ? sizeof(void*) : alignment,
                       block_size ? block_size : alignment) != 0)
        block = nullptr;
    if (!slots || !active || !block) {
        delete[] slots;
        delete[] active;
        std::free(block);
        return E_OUTOFMEMORY;
    }

    pool.block = block;
    pool.first = static_cast<std::uint8_t*>(block) + offset;
    pool.slots = slots;
    pool.active = active + 1;
    for (std::size_t i = 0; i < capacity; ++i) {
        pool.slots[i] = pool.first + i * stride;
        pool.active[i] = nullptr;
    }
    pool.active[-1] = nullptr;
    pool.active[capacity] = nullptr;
    pool.count = 0;
    return S_OK;
}

void mempool_destroy(MemPoolDesc& pool)
{
    delete[] pool.slots;
    if (pool.active) delete[](pool.active - 1);
    std::free(pool.block);
    pool.slots = nullptr;
    pool.active = nullptr;
    pool.block = nullptr;
    pool.first = nullptr;
    pool.count = 0;
}

void* mempool_alloc(MemPoolDesc& pool)
{
    if (!pool.slots) return nullptr;
    if (pool.count >= pool.capacity) {
        if (pool.flags & MEMPOOL_THROW_WHEN_FULL) {
            char detail[32];
            std::snprintf(detail, sizeof detail, "capa:%d", pool.capacity);
            err_raise_code(E_OUTOFMEMORY, detail, "mempool", __LINE__);
        }
        return nullptr;
    }
    void* object = pool.slots[pool.count];
    pool.active[pool.count] = object;
    ++pool.count;
    return object;
}

void mempool_free(MemPoolDesc& pool, void* object)
{
    if (!object || !pool.active) return;
    // The whole live list is searched: an object that is not in it (freed twice, or from
    // another pool) must not push a live object's slot onto the free stack.
    std::int32_t i = 0;
    while (i < pool.count && pool.active[i] != object)
        ++i;
    if (i == pool.count) return;
    std::memmove(&pool.active[i], &pool.active[i + 1], sizeof(void*) * (pool.count - 1 - i));
    --pool.count;
    pool.active[pool.count] = nullptr;
    pool.slots[pool.count] = object;
}
