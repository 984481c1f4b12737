#include "object_classes.h"

#include "gfx/g_ripple.h"

#include <gtest/gtest.h>

namespace {

// The records' pools: the water ripples and the two sides' attack records.
struct RecordRow {
    MemPoolDesc* pool;
    std::int32_t capacity;
};
const RecordRow k_record_rows[] = {
    {&g_pool_ripple, 256},
    {&g_pool_attack_player, 32},
    {&g_pool_attack_enemy, 256},
};

using ObjectPools = ObjectTest;

} // namespace

TEST_F(ObjectPools, AreMadeInTheTablesOrderWithTheirCapacitiesAndAlignments)
{
    const std::span<const ObjPoolRow> rows = obj_pool_rows();
    const std::vector<ObjClassRow>& classes = obj_classes();
    ASSERT_EQ(rows.size(), classes.size() + std::size(k_record_rows));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const bool object_row = i < classes.size();
        SCOPED_TRACE(object_row ? classes[i].name : "records");
        const MemPoolDesc* pool = object_row ? classes[i].pool : k_record_rows[i - classes.size()].pool;
        const std::int32_t capacity =
            object_row ? classes[i].capacity : k_record_rows[i - classes.size()].capacity;
        EXPECT_EQ(rows[i].pool, pool);
        EXPECT_EQ(rows[i].class_code, object_row ? classes[i].class_code : 0);
        EXPECT_EQ(pool->capacity, capacity);
        EXPECT_EQ(pool->alignment, object_row ? 16u : 8u);
        EXPECT_EQ(pool->flags, 0u); // a full pool yields nothing, it never throws
        EXPECT_NE(pool->slots, nullptr);
        EXPECT_EQ(pool->count, 0);
    }
    EXPECT_EQ(g_pools_ready, 1);
}

TEST_F(ObjectPools, AreDestroyedActorsFirstAndTheAttackRecordsLast)
{
    const MemPoolDesc* const expected[] = {
        &g_pool_actor,        &g_pool_skybox,      &g_pool_boss1,   &g_pool_boss2,     &g_pool_boss3,
        &g_pool_boss4,        &g_pool_boss5,       &g_pool_boss7,   &g_pool_boss8,     &g_pool_effect,
        &g_pool_emotion,      &g_pool_locus_sword, &g_pool_mesh,    &g_pool_particle,  &g_pool_popup,
        &g_pool_script,       &g_pool_xx,          &g_pool_wnddemo, &g_pool_wnddialog, &g_pool_wndmain2,
        &g_pool_wndshop2,     &g_pool_wndtext,     &g_pool_wndzzz,  &g_pool_ripple,    &g_pool_attack_player,
        &g_pool_attack_enemy,
    };
    const std::span<MemPoolDesc* const> order = obj_pool_destroy_order();
    EXPECT_TRUE(std::equal(order.begin(), order.end(), std::begin(expected), std::end(expected)));

    obj_destroy_pools();
    for (const ObjPoolRow& row : obj_pool_rows())
        EXPECT_EQ(row.pool->slots, nullptr);
    EXPECT_EQ(g_pools_ready, 0);
}

// The class code is the run-time type test, and the top byte of every id; the rest of the id
// counts the class's objects.
TEST_F(ObjectPools, EveryObjectCarriesItsClassCodeAndAnIdOfItsClass)
{
    for (const ObjClassRow& row : obj_classes()) {
        SCOPED_TRACE(row.name);
        GoBase* first = row.spawn();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(first->GetClassCode(), row.class_code);
        EXPECT_EQ(first->object_id >> 24, row.class_code);
        EXPECT_EQ(first->flags, GO_FLAG_NEW);
        EXPECT_EQ(first->ref_count, 0u);
        EXPECT_TRUE(D3DXMatrixIsIdentity(&first->world));
        EXPECT_TRUE(D3DXMatrixIsIdentity(&first->rotation));
        EXPECT_EQ(first->status.hp, 1.0f);
        EXPECT_EQ(first->status.status_element, STATUS_ELEMENT_NONE);
        if (row.capacity > 1) {
            GoBase* second = row.spawn();
            ASSERT_NE(second, nullptr);
            EXPECT_EQ(second->object_id, first->object_id + 1);
        }
    }
}

// However many objects ask for a slot, a full pool hands out none and nothing fails.
TEST_F(ObjectPools, AFullPoolYieldsNoObject)
{
    for (const ObjClassRow& row : obj_classes()) {
        SCOPED_TRACE(row.name);
        for (std::int32_t i = 0; i < row.capacity; ++i)
            ASSERT_NE(row.spawn(), nullptr) << i;
        EXPECT_EQ(row.spawn(), nullptr);
        EXPECT_EQ(row.pool->count, row.capacity);
    }
}
