#include "object/actor/actor_setup_fixture.h"

#include "game/g_game_flags.h"
#include "game/g_hud.h"
#include "game/g_play_status.h"
#include "game/g_tick.h"
#include "gfx/go_effect.h"
#include "gfx/go_particle.h"
#include "object/actor/player_hud.h"

#include <gtest/gtest.h>

#include <array>
#include <utility>

namespace {

constexpr std::int32_t k_arrival_sound = 18;
constexpr std::int32_t k_heal_sound = 102;
constexpr int k_cooldown = 15;
constexpr float k_max_hp = 100.0f;

// A save point at the origin and the player standing on it (its position 1 above the point), with
// a play state whose status recompute keeps a maximum of 100 hit points.
class SavePointTest : public ActorSetupTest {
protected:
    void SetUp() override
    {
        ActorSetupTest::SetUp();
        m_saved = {g_whole_tick, g_draw_frame, g_paused};
        set_step(1, 0);
        g_gameinfo = {};
        PlayState& ps = g_play_state;
        ps.status.level = PLAY_LEVEL_MAX; // no level-ups
        ps.max_hp_bonus = ps.base_max_hp = ps.status.max_hp = k_max_hp;
        ps.status.hp = 40.0f;
        GoActor& player = set_up(ACTOR_CAST_HERO, ACTOR_SPAWN_FRIEND, ACTOR_KEY_PLAYER);
        g_player = &player;
        player.status = ps.status;
        stand_at(0.0f, 1.0f, 0.0f);
        GoXx* object = obj_create<GoXx>(g_pool_xx);
        ASSERT_NE(object, nullptr);
        goxx_init_save_point(*object, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        m_point = object;
        clear_sounds();
    }
    void TearDown() override
    {
        g_whole_tick = m_saved[0];
        g_draw_frame = m_saved[1];
        g_paused = m_saved[2];
        g_gameinfo = {};
        ActorSetupTest::TearDown();
    }

    static void set_step(std::uint8_t whole_tick, std::uint8_t paused)
    {
        g_whole_tick = whole_tick;
        g_paused = paused;
    }

    static void stand_at(float x, float y, float z)
    {
        g_player->world._41 = x;
        g_player->world._42 = y;
        g_player->world._43 = z;
    }

    void tick(int count = 1)
    {
        for (int i = 0; i < count; ++i)
            m_point->Update();
    }

    // Whether the effect was played since the last look: without an audio device its play fails,
    // which marks it; the mark is taken off again.
    static bool played(std::int32_t id)
    {
        const bool tried = effect_tried(id);
        g_sound_table[id].flags &= ~SOUND_GROUP_FAILED;
        return tried;
    }
    static void clear_sounds()
    {
        played(k_arrival_sound);
        played(k_heal_sound);
    }

    static void hurt(float hp) { g_play_state.status.hp = g_player->status.hp = hp; }
    static bool on_point() { return g_play_state.game_flags[GF_ON_SAVE_POINT] != 0; }

    GoXx* m_point = nullptr;

private:
    std::array<std::uint8_t, 3> m_saved{};
};

} // namespace

TEST_F(SavePointTest, TheMakerCountsThePointAtItsPosition)
{
    GoXx* object = obj_create<GoXx>(g_pool_xx);
    ASSERT_NE(object, nullptr);
    const std::int32_t before = g_goxx_live_count[GOXX_SAVE_POINT];
    goxx_init_save_point(*object, D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(object->role, GOXX_SAVE_POINT);
    EXPECT_EQ(g_goxx_live_count[GOXX_SAVE_POINT], before + 1);
    EXPECT_EQ(D3DXVECTOR3(object->world._41, object->world._42, object->world._43),
              D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(object->area<SavePoint>().cooldown, 0u);
}

// Arriving sounds once and heals at once; standing still then heals after every 15 ticks of
// cooldown, with the heal sound and the status recomputed into the player each time it heals.
TEST_F(SavePointTest, StandingStillHealsAfterEveryCooldown)
{
    tick();
    EXPECT_TRUE(on_point());
    EXPECT_TRUE(played(k_arrival_sound));
    EXPECT_TRUE(played(k_heal_sound));
    EXPECT_EQ(g_play_state.status.hp, k_max_hp);
    EXPECT_EQ(g_player->status.hp, k_max_hp);
    // All the recompute bits were set and the steps run, down to the copy into the player.
    EXPECT_EQ(g_play_state.recompute_bits & PLAY_RECOMPUTE_NEW_GAME, PLAY_RECOMPUTE_NEW_GAME);
    EXPECT_NE(g_play_state.status.max_mp, 0.0f);
    EXPECT_EQ(g_player->status.max_mp, g_play_state.status.max_mp);
    EXPECT_EQ(m_point->area<SavePoint>().cooldown, static_cast<std::uint32_t>(k_cooldown));

    for (int heal = 0; heal < 3; ++heal) {
        hurt(30.0f);
        tick(k_cooldown);
        EXPECT_EQ(g_play_state.status.hp, 30.0f) << "healed during the cooldown";
        EXPECT_FALSE(played(k_heal_sound));
        tick();
        EXPECT_EQ(g_play_state.status.hp, k_max_hp);
        EXPECT_EQ(g_player->status.hp, k_max_hp);
        EXPECT_TRUE(played(k_heal_sound));
        EXPECT_FALSE(played(k_arrival_sound)) << "the arrival sounded again";
    }

    // At full hit points the heal changes nothing: no sound and no recompute.
    g_play_state.recompute_bits = 0;
    tick(k_cooldown + 1);
    EXPECT_FALSE(played(k_heal_sound));
    EXPECT_EQ(g_play_state.recompute_bits, 0u);
    EXPECT_EQ(m_point->area<SavePoint>().cooldown, static_cast<std::uint32_t>(k_cooldown));
}

// The heal's new hit points reach the HUD: gauge 0 glides from the hurt value toward them.
TEST_F(SavePointTest, AHealMovesTheHitPointGaugeTowardTheNewValue)
{
    tick();
    hurt(30.0f);
    player_sync_hud_gauges();
    tick(k_cooldown + 1);
    const HudGauge& gauge = g_hud_gauges[HUD_GAUGE_HP];
    EXPECT_EQ(gauge.owner, g_player->object_id);
    EXPECT_EQ(gauge.target, k_max_hp);
    EXPECT_EQ(gauge.shown, 30.0f);
    hud_gauge_update(HUD_GAUGE_HP);
    EXPECT_GT(gauge.shown, 30.0f);
    hud_gauges_init();
}

// A heal that changes the hit points starts effect 100 on the player, following its position, in
// row 9 while it is submerged; a heal at full hit points, or with the particle pool full, starts
// none.
TEST_F(SavePointTest, AHealThatChangesTheHitPointsStartsItsEffectOnThePlayer)
{
    const auto heal_effect = [](std::int32_t index) -> const GoEffect& {
        return *static_cast<GoEffect*>(g_pool_effect.active[index]);
    };
    tick();
    ASSERT_EQ(g_pool_effect.count, 1);
    EXPECT_EQ(heal_effect(0).effect_id, 100);
    EXPECT_EQ(heal_effect(0).parent_matrix, &g_player->world);
    EXPECT_EQ(heal_effect(0).follow, EFFECT_FOLLOW_PARENT_POSITION);
    EXPECT_EQ(heal_effect(0).render_row, EFFECT_ROW);

    tick(k_cooldown + 1);
    EXPECT_EQ(g_pool_effect.count, 1) << "a heal at full hit points";

    hurt(30.0f);
    g_player->submerged = 1;
    tick(k_cooldown + 1);
    ASSERT_EQ(g_pool_effect.count, 2);
    EXPECT_EQ(heal_effect(1).render_row, EFFECT_ROW_IN_WATER);

    while (obj_create<GoParticle>(g_pool_particle)) {
    }
    hurt(30.0f);
    tick(k_cooldown + 1);
    EXPECT_EQ(g_play_state.status.hp, k_max_hp);
    EXPECT_EQ(g_pool_effect.count, 2);
}

// Only whole ticks of a running game count.
TEST_F(SavePointTest, PausedOrPartTicksDoNothing)
{
    for (auto [whole, paused] : {std::pair{0, 0}, std::pair{1, 1}, std::pair{0, 1}}) {
        set_step(static_cast<std::uint8_t>(whole), static_cast<std::uint8_t>(paused));
        tick();
        EXPECT_FALSE(on_point());
        EXPECT_EQ(g_play_state.status.hp, 40.0f);
    }
    set_step(1, 0);
    tick();
    EXPECT_EQ(g_play_state.status.hp, k_max_hp);
    set_step(1, 1);
    tick();
    EXPECT_EQ(m_point->area<SavePoint>().cooldown, static_cast<std::uint32_t>(k_cooldown));
}

// The point reaches 1.4 units out, horizontally. Stepping off that way clears the visit, so
// coming back sounds the arrival again; stepping off upward or downward keeps it.
TEST_F(SavePointTest, SteppingOffSidewaysEndsTheVisitButUpOrDownDoesNot)
{
    tick();
    ASSERT_TRUE(played(k_arrival_sound));

    struct Case {
        const char* what;
        float x, y, z;
        bool heals;
        bool visit_kept;
    };
    const Case cases[] = {
        {"within reach", 1.0f, 1.0f, 0.95f, true, true},
        {"just beyond reach", 1.0f, 1.0f, 0.99f, false, false},
        {"beyond reach", 0.0f, 1.0f, -2.0f, false, false},
        {"0.5 higher", 0.0f, 1.5f, 0.0f, true, true},
        {"0.5 lower", 0.0f, 0.5f, 0.0f, true, true},
        {"too high", 0.0f, 1.6f, 0.0f, false, true},
        {"too low", 0.0f, 0.4f, 0.0f, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        hurt(30.0f);
        stand_at(c.x, c.y, c.z);
        tick(k_cooldown + 1);
        EXPECT_EQ(g_play_state.status.hp == k_max_hp, c.heals);
        EXPECT_EQ(on_point(), c.visit_kept);
        EXPECT_FALSE(played(k_arrival_sound));

        hurt(30.0f);
        stand_at(0.0f, 1.0f, 0.0f);
        tick(c.heals ? k_cooldown + 1 : 1);
        EXPECT_EQ(g_play_state.status.hp, k_max_hp);
        EXPECT_EQ(played(k_arrival_sound), !c.visit_kept) << "the arrival on coming back";
        EXPECT_TRUE(on_point());
    }
}

// A defeated player (below 1 hit point) is not healed, but the living companions are refilled;
// a defeated companion stays down. The arrival still sounds.
TEST_F(SavePointTest, ADefeatedPlayerIsNotHealedButLivingCompanionsAre)
{
    GoActor& living = set_up(87, ACTOR_SPAWN_FRIEND);
    GoActor& defeated = set_up(86, ACTOR_SPAWN_FRIEND);
    ASSERT_EQ(g_ally_actors[0], &living);
    ASSERT_EQ(g_ally_actors[1], &defeated);
    living.status.max_hp = 80.0f;
    living.status.hp = 1.0f;
    defeated.status.max_hp = 80.0f;
    defeated.status.hp = 0.5f;
    hurt(0.5f);

    tick();
    EXPECT_TRUE(played(k_arrival_sound));
    EXPECT_EQ(g_play_state.status.hp, 0.5f);
    EXPECT_FALSE(played(k_heal_sound));
    EXPECT_EQ(living.status.hp, 80.0f);
    EXPECT_EQ(defeated.status.hp, 0.5f);

    // A player at exactly 1 hit point is alive.
    hurt(1.0f);
    tick(k_cooldown + 1);
    EXPECT_EQ(g_play_state.status.hp, k_max_hp);
}

// Without a player the point does nothing; the cooldown still runs down.
TEST_F(SavePointTest, WithoutAPlayerNothingHappens)
{
    g_player = nullptr;
    tick(3);
    EXPECT_FALSE(on_point());
    EXPECT_FALSE(played(k_arrival_sound));
    EXPECT_EQ(m_point->area<SavePoint>().cooldown, 0u);
}
