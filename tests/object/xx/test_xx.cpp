#include "object/object_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace {

using MultiPurpose = ObjectTest;

} // namespace

// The multi-purpose object is made and updated as it is; the update of a subtype without an
// entry in the subtype table (here the unset subtype 0) does nothing.
TEST_F(MultiPurpose, IsMadeAsItIsAndItsUpdateLeavesItAlone)
{
    GoXx* object = obj_create<GoXx>(g_pool_xx);
    ASSERT_NE(object, nullptr);
    goxx_set_subtype(*object, GOXX_SHOT);
    object->Update();
    EXPECT_EQ(object->flags, GO_FLAG_NEW);
    EXPECT_EQ(object->role, GOXX_SHOT);
    EXPECT_TRUE(D3DXMatrixIsIdentity(&object->world));
}

// The counts follow the objects through their deletion, so a world clear leaves them as they
// were before the objects were made.
TEST_F(MultiPurpose, LiveCountsPerSubtypeReturnAfterAWorldClear)
{
    std::array<std::int32_t, GOXX_SUBTYPE_COUNT> before;
    std::copy(std::begin(g_goxx_live_count), std::end(g_goxx_live_count), before.begin());
    const GoXxSubtype subtypes[] = {GOXX_PICTURE_OVERLAY, GOXX_SCRIPT_EFFECT, GOXX_SCRIPT_EFFECT,
                                    GOXX_EVENT_TASK};
    for (GoXxSubtype subtype : subtypes)
        goxx_set_subtype(*spawn(g_pool_xx), subtype);
    EXPECT_EQ(g_goxx_live_count[GOXX_SCRIPT_EFFECT], before[GOXX_SCRIPT_EFFECT] + 2);
    EXPECT_EQ(g_goxx_live_count[GOXX_PICTURE_OVERLAY], before[GOXX_PICTURE_OVERLAY] + 1);

    kill(*static_cast<GoXx*>(g_pool_xx.active[1]));
    obj_sweep_dead();
    EXPECT_EQ(g_goxx_live_count[GOXX_SCRIPT_EFFECT], before[GOXX_SCRIPT_EFFECT] + 1);

    obj_destroy_all();
    EXPECT_TRUE(std::equal(before.begin(), before.end(), std::begin(g_goxx_live_count)));
}

// A slot handed out again holds nothing of the record of the object that had it before.
TEST_F(MultiPurpose, TheSubtypeAreaStartsZeroedInAReusedSlot)
{
    struct Record {
        std::uint32_t words[64];
    };
    static_assert(sizeof(Record) == GOXX_AREA_SIZE);
    GoXx* first = spawn(g_pool_xx);
    goxx_set_subtype(*first, GOXX_ITEM_DROP);
    std::fill(std::begin(first->area<Record>().words), std::end(first->area<Record>().words), 0xA5A5A5A5u);
    kill(*first);
    obj_sweep_dead();

    GoXx* second = spawn(g_pool_xx);
    ASSERT_EQ(static_cast<GoBase*>(second), static_cast<GoBase*>(first));
    const Record& record = second->area<Record>();
    EXPECT_TRUE(std::all_of(std::begin(record.words), std::end(record.words),
                            [](std::uint32_t w) { return w == 0; }));
}
