#include "object/object_fixture.h"

#include <gtest/gtest.h>

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
