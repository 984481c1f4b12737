#include "object_classes.h"

#include "gfx/g_ripple.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using ObjectManager = ObjectTest;

std::vector<std::uint32_t> ids_of(const std::vector<GoBase*>& objects)
{
    std::vector<std::uint32_t> ids;
    for (const GoBase* object : objects)
        ids.push_back(object->object_id);
    return ids;
}

std::vector<ObjLogEntry> deletions_of(const std::vector<GoBase*>& objects)
{
    std::vector<ObjLogEntry> log;
    for (const GoBase* object : objects)
        log.push_back({ObjEvent::deleted, object->class_code, object->object_id});
    return log;
}

} // namespace

// Each deletion moves the later actors down; the sweep looks at the moved one next, so a run of
// dead actors goes at once.
TEST_F(ObjectManager, SweepDeletesAdjacentDeadActorsAndKeepsTheLiveOnesInOrder)
{
    std::vector<GoBase*> actors;
    for (int i = 0; i < 7; ++i)
        actors.push_back(spawn(g_pool_actor));
    for (int dead : {1, 2, 3, 6})
        kill(*actors[dead]);
    const std::vector<ObjLogEntry> expected = deletions_of({actors[1], actors[2], actors[3], actors[6]});
    const std::vector<std::uint32_t> live = ids_of({actors[0], actors[4], actors[5]});

    obj_sweep_dead();
    EXPECT_EQ(g_obj_log, expected);
    EXPECT_EQ(ids_of(pool_objects(g_pool_actor)), live);
    EXPECT_EQ(g_pool_actor.count, 3);
}

// A holder keeps a dead object in its pool; a world clear deletes it all the same.
TEST_F(ObjectManager, AReferencedDeadObjectWaitsForItsLastHolder)
{
    const struct {
        const char* name;
        GoBase* (*spawn)();
    } cases[] = {
        {"actor", []() -> GoBase* { return spawn(g_pool_actor); }},
        {"single boss", []() -> GoBase* { return spawn(g_pool_boss5); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_obj_log.clear();
        GoBase* held = c.spawn();
        const std::vector<ObjLogEntry> deleted = deletions_of({held});
        kill(*held);
        held->ref_count = 1;
        obj_sweep_dead();
        obj_sweep_dead();
        EXPECT_TRUE(g_obj_log.empty());
        held->ref_count = 0;
        obj_sweep_dead();
        EXPECT_EQ(g_obj_log, deleted);
    }

    GoBase* held = spawn(g_pool_actor);
    held->ref_count = 1;
    GoBase* live = spawn(g_pool_mesh);
    const std::vector<ObjLogEntry> deleted = deletions_of({held, live});
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(g_pool_ripple.Alloc(), nullptr);
    g_obj_log.clear();
    obj_destroy_all();
    EXPECT_EQ(g_obj_log, deleted);
    EXPECT_EQ(g_pool_actor.count, 0);
    EXPECT_EQ(g_pool_mesh.count, 0);
    EXPECT_EQ(g_pool_ripple.count, 0);
}

// Scripts and windows go before the actors they refer to, effects before their particles,
// meshes and effects before the bosses; the sweep and the world clear walk alike.
TEST_F(ObjectManager, DestructorsRunInTheWalkingOrder)
{
    const std::uint8_t walk[] = {
        GO_CLASS_SCRIPT,   GO_CLASS_WNDZZZ,  GO_CLASS_WNDDIALOG, GO_CLASS_WNDTEXT,     GO_CLASS_WNDMAIN2,
        GO_CLASS_WNDSHOP2, GO_CLASS_WNDDEMO, GO_CLASS_ACTOR,     GO_CLASS_LOCUS_SWORD, GO_CLASS_POPUP,
        GO_CLASS_EMOTION,  GO_CLASS_EFFECT,  GO_CLASS_PARTICLE,  GO_CLASS_XX,          GO_CLASS_MESH,
        GO_CLASS_SKYBOX,   GO_CLASS_BOSS1,   GO_CLASS_BOSS2,     GO_CLASS_BOSS3,       GO_CLASS_BOSS4,
        GO_CLASS_BOSS5,    GO_CLASS_BOSS7,   GO_CLASS_BOSS8,
    };
    for (bool sweep : {true, false}) {
        SCOPED_TRACE(sweep ? "sweep" : "world clear");
        g_obj_log.clear();
        // Made in the opposite order, so the creation order cannot pass for the walking order.
        const std::vector<ObjClassRow>& classes = obj_classes();
        std::for_each(classes.rbegin(), classes.rend(), [sweep](const ObjClassRow& row) {
            GoBase* object = row.spawn();
            if (sweep) kill(*object);
        });
        sweep ? obj_sweep_dead() : obj_destroy_all();
        std::vector<std::uint8_t> codes;
        for (const ObjLogEntry& entry : g_obj_log)
            codes.push_back(entry.class_code);
        EXPECT_TRUE(std::equal(codes.begin(), codes.end(), std::begin(walk), std::end(walk)));
    }
}

TEST_F(ObjectManager, AHandleToADeletedObjectReadsAsGoneAlsoAfterItsSlotIsReused)
{
    GoActor* actor = spawn(g_pool_actor);
    const ObjHandle<GoActor> handle(actor);
    kill(*actor);
    EXPECT_EQ(handle.get(), actor); // dead, but not yet deleted
    obj_sweep_dead();
    EXPECT_EQ(handle.get(), nullptr);

    GoActor* successor = spawn(g_pool_actor);
    ASSERT_EQ(successor, actor); // the freed slot is the next one handed out
    EXPECT_EQ(handle.get(), nullptr);
    EXPECT_FALSE(handle);
    EXPECT_EQ(ObjHandle<GoActor>(successor).get(), successor);
    EXPECT_EQ(ObjHandle<GoActor>().get(), nullptr);
}
