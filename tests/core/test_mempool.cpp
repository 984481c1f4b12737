#include "core/mempool.h"

#include "core/errors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

struct alignas(16) Thing {
    std::uint8_t bytes[48];
};

// 20 bytes: its slots are rounded up to 32 for an alignment of 16.
struct Odd {
    std::uint8_t bytes[20];
};

template <typename T> std::vector<void*> live(const MemPool<T>& pool)
{
    return std::vector<void*>(pool.active, pool.active + pool.count);
}

template <typename T>
void create(MemPool<T>& pool, int capacity, std::uint32_t flags = 0, std::uint32_t alignment = 16)
{
    pool.capacity = capacity;
    pool.flags = flags;
    pool.alignment = alignment;
    ASSERT_EQ(pool.Create(), S_OK);
}

} // namespace

TEST(MemPool, CapacityOneHandsOutTheSameSlotAgainAfterFree)
{
    MemPool<Thing> pool;
    create(pool, 1);
    void* first = pool.Alloc();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(pool.Alloc(), nullptr);
    pool.Free(static_cast<Thing*>(first));
    EXPECT_EQ(pool.count, 0);
    EXPECT_EQ(pool.Alloc(), first);
}

TEST(MemPool, KeepsTheActiveListInCreationOrder)
{
    MemPool<Thing> pool;
    create(pool, 8);
    std::vector<Thing*> things;
    for (int i = 0; i < 5; ++i)
        things.push_back(static_cast<Thing*>(pool.Alloc()));
    EXPECT_EQ(pool.active[-1], nullptr);

    pool.Free(things[4]); // the newest: nothing moves
    EXPECT_EQ(live(pool), (std::vector<void*>{things[0], things[1], things[2], things[3]}));
    pool.Free(things[0]); // the oldest: the rest shift down
    EXPECT_EQ(live(pool), (std::vector<void*>{things[1], things[2], things[3]}));
    pool.Free(things[2]);
    EXPECT_EQ(live(pool), (std::vector<void*>{things[1], things[3]}));
    EXPECT_EQ(pool.active[pool.count], nullptr);
    EXPECT_EQ(pool.active[pool.capacity], nullptr);
    EXPECT_EQ(pool.active[-1], nullptr);

    // Freed slots come back last in, first out.
    EXPECT_EQ(pool.Alloc(), things[2]);
    EXPECT_EQ(pool.Alloc(), things[0]);
    EXPECT_EQ(pool.Alloc(), things[4]);
}

TEST(MemPool, RefusesToFreeWhatItDoesNotHold)
{
    MemPool<Thing> pool;
    create(pool, 4);
    Thing outsider;
    pool.Free(&outsider); // nothing live at all
    EXPECT_EQ(pool.count, 0);

    Thing* a = static_cast<Thing*>(pool.Alloc());
    Thing* b = static_cast<Thing*>(pool.Alloc());
    pool.Free(a);
    pool.Free(a); // twice
    pool.Free(&outsider);
    pool.Free(nullptr);
    EXPECT_EQ(live(pool), std::vector<void*>{b});

    // Every slot handed out from here on is distinct from the live one and from each other.
    std::set<void*> handed{b};
    while (void* slot = pool.Alloc())
        EXPECT_TRUE(handed.insert(slot).second);
    EXPECT_EQ(handed.size(), 4u);
}

TEST(MemPool, ThrowsWhenFullOnlyWhenAsked)
{
    MemPool<Thing> quiet;
    create(quiet, 2);
    quiet.Alloc();
    quiet.Alloc();
    EXPECT_EQ(quiet.Alloc(), nullptr);

    MemPool<Thing> loud;
    create(loud, 3, MEMPOOL_THROW_WHEN_FULL);
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(loud.Alloc(), nullptr);
    try {
        loud.Alloc();
        FAIL() << "no error when full";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(std::string(error.text).rfind("E_OUTOFMEMORY(8007000eh)\r\n->capa:3\nmempool(", 0), 0u)
            << error.text;
    }
}

TEST(MemPool, StartsTheFirstSlotAtARandomWholeStride)
{
    std::set<std::ptrdiff_t> starts;
    for (unsigned seed = 1; seed <= 40; ++seed) {
        std::srand(seed);
        const std::ptrdiff_t expected = ((std::rand() >> 12) & 7) * 32;
        std::srand(seed);
        MemPool<Odd> pool;
        create(pool, 3);
        const std::ptrdiff_t start = pool.first - static_cast<std::uint8_t*>(pool.block);
        EXPECT_EQ(start, expected) << seed;
        starts.insert(start);
        for (int i = 0; i < 3; ++i) {
            auto address = reinterpret_cast<std::uintptr_t>(pool.Alloc());
            EXPECT_EQ(address % 16, 0u);
            EXPECT_EQ(address - reinterpret_cast<std::uintptr_t>(pool.first), i * 32u);
        }
    }
    EXPECT_GT(starts.size(), 1u);
}

TEST(MemPool, DestroyIsIdempotentAndAnEmptyPoolGivesNothing)
{
    MemPool<Thing> never_created;
    EXPECT_EQ(never_created.alignment, 16u);
    EXPECT_EQ(never_created.Alloc(), nullptr);
    never_created.Destroy();

    MemPool<Thing> pool;
    create(pool, 2);
    pool.Alloc();
    pool.Destroy();
    EXPECT_EQ(pool.block, nullptr);
    EXPECT_EQ(pool.slots, nullptr);
    EXPECT_EQ(pool.active, nullptr);
    EXPECT_EQ(pool.Alloc(), nullptr);
    pool.Destroy();
}

TEST(MemPool, TheGenericFormTakesTheSizeAtRunTime)
{
    MemPoolDesc pool;
    pool.capacity = 4;
    pool.alignment = 8;
    ASSERT_EQ(mempool_create(pool, 36), S_OK);
    auto* a = static_cast<std::uint8_t*>(mempool_alloc(pool));
    auto* b = static_cast<std::uint8_t*>(mempool_alloc(pool));
    EXPECT_EQ(b - a, 40);
    mempool_free(pool, a);
    EXPECT_EQ(mempool_alloc(pool), a);
}

TEST(MemPool, RejectsAnAlignmentThatIsNoPowerOfTwo)
{
    MemPoolDesc pool;
    pool.capacity = 4;
    pool.alignment = 12;
    EXPECT_EQ(mempool_create(pool, 16), E_INVALIDARG);
    EXPECT_EQ(mempool_alloc(pool), nullptr);
}
