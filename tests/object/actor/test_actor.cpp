#include "object/object_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

namespace {

using Actor = ObjectTest;

} // namespace

// The globals must not keep pointing into a freed slot, whether a sweep or a world clear
// deletes their actor; the deletion of any other actor leaves them be.
TEST_F(Actor, DeletingItsActorClearsThePlayerOrTheCameraFocus)
{
    const struct {
        const char* name;
        bool focus_is_player;
        bool clear_world;
    } cases[] = {
        {"the player followed by the camera, swept", true, false},
        {"the player followed by the camera, in a world clear", true, true},
        {"another focus, swept", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GoActor* bystander = spawn(g_pool_actor);
        GoActor* player = spawn(g_pool_actor);
        GoActor* focus = c.focus_is_player ? player : spawn(g_pool_actor);
        g_player = player;
        g_camera_focus = focus;
        kill(*bystander);
        obj_sweep_dead();
        EXPECT_EQ(g_player, player);
        EXPECT_EQ(g_camera_focus, focus);

        kill(*focus);
        c.clear_world ? obj_destroy_all() : obj_sweep_dead();
        EXPECT_EQ(g_player, c.focus_is_player ? nullptr : player);
        EXPECT_EQ(g_camera_focus, nullptr);
        obj_destroy_all();
        EXPECT_EQ(g_player, nullptr);
    }
}

// Attacks are numbered from the actors' counter, so an attack between two actors shows in
// their ids.
TEST_F(Actor, ActorsShareTheirIdCounterWithTheAttacks)
{
    const std::uint32_t first = spawn(g_pool_actor)->object_id;
    const std::uint32_t attack = go_next_object_id(GO_CLASS_ACTOR);
    const std::uint32_t second = spawn(g_pool_actor)->object_id;
    EXPECT_EQ(attack, first + 1);
    EXPECT_EQ(second, first + 2);
    EXPECT_EQ(attack >> 24, GO_CLASS_ACTOR);
}

// Each companion entry lets go of its own actor only, whether a sweep or a world clear deletes it.
TEST_F(Actor, DeletingACompanionClearsItsEntryOnly)
{
    for (bool clear_world : {false, true}) {
        SCOPED_TRACE(clear_world ? "world clear" : "sweep");
        GoActor* allies[ACTOR_ALLY_COUNT];
        for (GoActor*& ally : allies)
            ally = spawn(g_pool_actor);
        std::copy(std::begin(allies), std::end(allies), std::begin(g_ally_actors));
        g_player = allies[1];

        kill(*allies[1]);
        clear_world ? obj_destroy_all() : obj_sweep_dead();
        const GoActor* left = clear_world ? nullptr : allies[0];
        EXPECT_EQ(g_ally_actors[0], left);
        EXPECT_EQ(g_ally_actors[1], nullptr);
        EXPECT_EQ(g_ally_actors[2], clear_world ? nullptr : allies[2]);
        EXPECT_EQ(g_player, nullptr);
        obj_destroy_all();
        EXPECT_EQ(g_ally_actors[0], nullptr);
        EXPECT_EQ(g_ally_actors[2], nullptr);
    }
}
