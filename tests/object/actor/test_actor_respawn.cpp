#include "object/actor/actor_setup_fixture.h"

#include "core/maths.h"
#include "game/g_game_flags.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

constexpr std::int32_t k_plain_cast = 100;

class ActorRespawn : public ActorSetupTest {
protected:
    // A player of 200 hit points, fallen: defeated, unhittable, faded and flashing, moving, away
    // from its home point and turned away from its home facing.
    GoActor& fallen_player()
    {
        GoActor& actor = set_up(ACTOR_CAST_HERO, ACTOR_SPAWN_FRIEND, ACTOR_KEY_PLAYER);
        actor_set_position({2.0f, 1.0f, -3.0f}, actor, 0.75f);
        g_player = &actor;
        g_play_state.status.max_hp = 200.0f;
        g_play_state.status.hp = actor.status.hp = 0.0f;
        fall(actor);
        return actor;
    }
    static void fall(GoActor& actor)
    {
        actor.hit_shape.class_bits &= ~HIT_ACTIVE;
        actor.defeat_counter = 60;
        actor.alpha = 0.25f;
        actor.alpha_target = 0.0f;
        actor.alpha_rate = -0.01f;
        actor.colour = 0x40102030;
        actor.added_colour = 0x00FF0000;
        actor.flash = 0.5f;
        for (QuadVertex& vertex : actor.sprite_quads[0])
            vertex.diffuse = 0x40000000;
        actor.sprite_quads[1][0].diffuse = 0x12345678;
        actor.facing = actor.attack_facing = 2.0f;
        matrix_set_position(actor.world, {9.0f, 4.0f, 9.0f});
        actor.hit_shape.centre = D3DXVECTOR3(9.0f, 4.0f, 9.0f);
        actor.camera_height = actor.camera_height_goal = 7.0f;
        actor.move_speed_x = actor.move_speed_z = actor.vertical_speed = 0.3f;
        actor.push_velocity = actor.bump_velocity = D3DXVECTOR3(0.1f, 0.2f, 0.3f);
        actor.hover_height = 0.25f;
    }
    static void expect_drawing_reset(const GoActor& actor)
    {
        EXPECT_EQ(actor.alpha, 1.0f);
        EXPECT_EQ(actor.alpha_target, 1.0f);
        EXPECT_EQ(actor.alpha_rate, 0.0f);
        EXPECT_EQ(actor.colour, 0xFFFFFFFFu);
        EXPECT_EQ(actor.added_colour, 0u);
        EXPECT_EQ(actor.flash, 0.0f);
        for (const QuadVertex& vertex : actor.sprite_quads[0])
            EXPECT_EQ(vertex.diffuse, 0xFFFFFFFFu);
        EXPECT_EQ(actor.sprite_quads[1][0].diffuse, 0x12345678u) << "only the main quad";
    }
};

// In place: alive, healed and drawn again, but still where it fell and as it moved.
TEST_F(ActorRespawn, WithoutReturnHomeTheHeroStandsUpWhereItFell)
{
    GoActor& player = fallen_player();
    actor_respawn_reset(player, false);
    EXPECT_TRUE(player.hit_shape.class_bits & HIT_ACTIVE);
    EXPECT_EQ(player.defeat_counter, 0);
    EXPECT_EQ(g_play_state.status.hp, 200.0f);
    EXPECT_EQ(player.status.hp, 200.0f);
    expect_drawing_reset(player);
    EXPECT_EQ(matrix_position(player.world), D3DXVECTOR3(9.0f, 4.0f, 9.0f));
    EXPECT_EQ(player.facing, 2.0f);
    EXPECT_EQ(player.vertical_speed, 0.3f);
    EXPECT_EQ(player.push_velocity, D3DXVECTOR3(0.1f, 0.2f, 0.3f));
}

TEST_F(ActorRespawn, WithReturnHomeItStandsAtHomeAtRestFacingHome)
{
    GoActor& player = fallen_player();
    const D3DXVECTOR3 home = player.home_point;
    actor_respawn_reset(player, true);
    EXPECT_EQ(matrix_position(player.world), home);
    EXPECT_EQ(player.hit_shape.centre, home);
    EXPECT_EQ(player.facing, 0.75f);
    EXPECT_EQ(player.attack_facing, 0.75f);
    EXPECT_EQ(player.camera_height, home.y);
    EXPECT_EQ(player.camera_height_goal, home.y);
    EXPECT_FLOAT_EQ(player.ground_height, home.y - (0.25f + player.foot_offset));
    EXPECT_EQ(player.move_speed_x, 0.0f);
    EXPECT_EQ(player.move_speed_z, 0.0f);
    EXPECT_EQ(player.vertical_speed, 0.0f);
    EXPECT_EQ(player.push_velocity, D3DXVECTOR3());
    EXPECT_EQ(player.bump_velocity, D3DXVECTOR3());
    const int step = math_heading_index(4.712389f - 0.75f);
    EXPECT_EQ(player.rotation._11, g_cos_table_256[step & 255]);
    EXPECT_EQ(player.rotation._31, g_cos_table_256[(step - 64) & 255]);
    EXPECT_EQ(g_play_state.status.hp, 200.0f);
    expect_drawing_reset(player);
}

// Only the hero is healed: another actor, and the hero's cast when it is not the player.
TEST_F(ActorRespawn, OnlyThePlayersHeroIsHealed)
{
    GoActor& enemy = set_up(k_plain_cast, ACTOR_SPAWN_ENEMY);
    g_play_state.status.max_hp = 200.0f;
    g_play_state.status.hp = 10.0f;
    enemy.status.hp = 0.0f;
    fall(enemy);
    actor_respawn_reset(enemy, false);
    EXPECT_TRUE(enemy.hit_shape.class_bits & HIT_ACTIVE);
    EXPECT_EQ(enemy.defeat_counter, 0);
    EXPECT_EQ(enemy.status.hp, 0.0f);
    expect_drawing_reset(enemy);

    GoActor& hero_not_player = set_up(ACTOR_CAST_HERO, ACTOR_SPAWN_FRIEND, ACTOR_KEY_PLAYER);
    actor_respawn_reset(hero_not_player, false);
    EXPECT_EQ(g_play_state.status.hp, 10.0f);
}

// The yaw matrix reads the 256-step table at (3 pi / 2 - angle) steps, truncated toward zero; the
// translation row, which carries the velocity, and the rest of the matrix stay.
TEST_F(ActorRespawn, YawMatrixFollowsTheCosineTable)
{
    GoActor& actor = set_up(k_plain_cast, ACTOR_SPAWN_NEUTRAL);
    for (const float angle : {0.0f, 1.0f, -2.5f, 4.712389f, 10.0f}) {
        SCOPED_TRACE(angle);
        actor.rotation._41 = 0.5f;
        actor.rotation._14 = 0.25f;
        actor_set_yaw_matrix(actor, angle);
        const int step = math_heading_index(4.712389f - angle);
        const float c = g_cos_table_256[step & 255];
        const float s = g_cos_table_256[(step - 64) & 255];
        const D3DXMATRIX& m = actor.rotation;
        EXPECT_EQ(m._11, c);
        EXPECT_EQ(m._12, 0.0f);
        EXPECT_EQ(m._13, -s);
        EXPECT_EQ(m._21, 0.0f);
        EXPECT_EQ(m._22, 1.0f);
        EXPECT_EQ(m._23, 0.0f);
        EXPECT_EQ(m._31, s);
        EXPECT_EQ(m._32, 0.0f);
        EXPECT_EQ(m._33, c);
        EXPECT_EQ(m._41, 0.5f);
        EXPECT_EQ(m._14, 0.25f);
    }
    // Angle 1 is step 151 of the table: 3.712389 x 40.743664 = 151.26.
    actor_set_yaw_matrix(actor, 1.0f);
    EXPECT_EQ(actor.rotation._11, g_cos_table_256[151]);
    EXPECT_EQ(actor.rotation._31, g_cos_table_256[87]);
}

// ---- The player's counters --------------------------------------------------------------------------

TEST_F(ActorRespawn, GoldAndDuscaClampAndReportOnlyAChange)
{
    constexpr std::int32_t k_max = std::numeric_limits<std::int32_t>::max();
    constexpr std::int32_t k_min = std::numeric_limits<std::int32_t>::min();
    const struct {
        const char* name;
        std::int32_t before;
        std::int32_t delta;
        std::int32_t after;
        bool changed;
    } gold[] =
        {
            {"adds", 100, 50, 150, true},
            {"stops at the top", 999990, 20, 999999, true},
            {"at the top stays", 999999, 1, 999999, false},
            {"stops at 0", 30, -50, 0, true},
            {"at 0 stays", 0, -1, 0, false},
            {"a huge delta does not wrap", 999000, k_max, 999999, true},
            {"a huge loss does not wrap", 5, k_min, 0, true},
            {"0 changes nothing", 77, 0, 77, false},
        },
      dusca[] = {
          {"adds", 10, 5, 15, true},
          {"stops at the top", 9990, 20, 9999, true},
          {"at the top stays", 9999, 1, 9999, false},
          {"stops at 0", 3, -4, 0, true},
          {"at 0 stays", 0, -1, 0, false},
          {"a huge delta does not wrap", 9000, k_max, 9999, true},
      };
    GoActor& player = set_up(ACTOR_CAST_HERO, ACTOR_SPAWN_FRIEND, ACTOR_KEY_PLAYER);
    g_player = &player;
    for (const auto& c : gold) {
        SCOPED_TRACE(c.name);
        g_play_state.status.gold = c.before;
        player.status.gold = -1;
        EXPECT_EQ(player_add_gold(c.delta), c.changed);
        EXPECT_EQ(g_play_state.status.gold, c.after);
        EXPECT_EQ(player.status.gold, c.changed ? c.after : -1) << "mirrored only when changed";
    }
    for (const auto& c : dusca) {
        SCOPED_TRACE(c.name);
        g_play_state.game_flags[GF_DUSCA] = c.before;
        EXPECT_EQ(player_add_dusca(c.delta), c.changed);
        EXPECT_EQ(g_play_state.game_flags[GF_DUSCA], c.after);
    }
}

TEST_F(ActorRespawn, GoldWithoutAPlayerIsKeptInThePlayState)
{
    g_play_state.status.gold = 10;
    EXPECT_TRUE(player_add_gold(5));
    EXPECT_EQ(g_play_state.status.gold, 15);
}

} // namespace
