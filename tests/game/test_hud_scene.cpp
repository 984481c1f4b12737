#include "scene_fixture.h"

#include "game/g_game_flags.h"
#include "game/g_hud.h"
#include "game/g_play_status.h"
#include "game/g_scene.h"
#include "lib/script_assembler.h"
#include "object/actor/player_hud.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int32_t k_hidden_hud_scene = 11; // its start script clears the HUD flag
constexpr std::uint32_t k_enemy = 0x05000001;

// The scene road with the HUD's gauges as the game starts them.
class HudSceneSteps : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        SceneSet set = scene_test_set();
        set.scenes.push_back({.path = "s_11\\s_1101\\",
                              .start_script = scene_test_script("call FUNCID_FLAG_SETINT flag:151 0\n")});
        mount(set);
        play_state_init();
        hud_gauges_init();
    }
    void TearDown() override
    {
        hud_gauges_init();
        SceneTest::TearDown();
    }
};

} // namespace

// A scene change drops every gauge's owner: the player's gauges go to the new player at once,
// and the enemy's next binding jumps even for the enemy it showed before.
TEST_F(HudSceneSteps, ATransitionReleasesTheFourGauges)
{
    hud_gauge_set(k_enemy, HUD_GAUGE_ENEMY, 100.0f, 100.0f);
    hud_gauge_set(k_enemy, 2, 1.0f, 1.0f);
    enter(SCENE_TEST_ROOM);
    EXPECT_EQ(g_hud_gauges[2].owner, 0u);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_ENEMY].owner, 0u);
    hud_gauge_set(k_enemy, HUD_GAUGE_ENEMY, 40.0f, 100.0f);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_ENEMY].shown, 40.0f);
}

// A start script that clears the HUD flag hides the HUD at once; one that leaves it lets the HUD
// fade in from where it was.
TEST_F(HudSceneSteps, AStartScriptThatClearsTheHudFlagHidesItAtOnce)
{
    g_hud_alpha = 0.5f;
    g_hud_color = 0x80FFFFFF;
    enter(k_hidden_hud_scene);
    EXPECT_EQ(g_hud_alpha, 0.0f);
    EXPECT_EQ(g_hud_color, 0xFFFFFFu);

    g_hud_alpha = 0.5f;
    enter(SCENE_TEST_ROOM);
    EXPECT_EQ(g_play_state.game_flags[GF_HUD_SHOWN], 1);
    EXPECT_EQ(g_hud_alpha, 0.5f);
    step(1, true);
    EXPECT_FLOAT_EQ(g_hud_alpha, 0.6f);
}

// A player that stands when the start script has run gets gauges 0 and 1 bound with the shown
// values on its current ones.
TEST_F(HudSceneSteps, APlayerMadeByTheScriptGetsItsGaugesBoundAtOnce)
{
    scene_create_player(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 0.0f);
    ASSERT_NE(g_player, nullptr);
    hud_gauge_set(g_player->object_id, HUD_GAUGE_HP, 1.0f, 5.0f);
    g_hud_gauges[HUD_GAUGE_MP].owner = 0;
    g_play_state.scene_id = SCENE_TEST_ROOM;
    ASSERT_EQ(scene_enter(), 0);
    const StatusBlock& status = g_player->status;
    for (int gauge : {HUD_GAUGE_HP, HUD_GAUGE_MP}) {
        SCOPED_TRACE(gauge);
        const HudGauge& g = g_hud_gauges[gauge];
        const float value = gauge == HUD_GAUGE_HP ? status.hp : status.mp;
        EXPECT_EQ(g.owner, g_player->object_id);
        EXPECT_EQ(g.target, value);
        EXPECT_EQ(g.shown, value);
        EXPECT_EQ(g.max, gauge == HUD_GAUGE_HP ? status.max_hp : status.max_mp);
    }
}

TEST_F(HudSceneSteps, TheCreatedPlayerOwnsBothGauges)
{
    scene_create_player(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 0.0f);
    ASSERT_NE(g_player, nullptr);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_HP].owner, g_player->object_id);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_HP].target, g_play_state.status.hp);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_MP].owner, g_player->object_id);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_MP].max, g_play_state.status.max_mp);
}

// A status recompute that reaches the player refreshes its gauges, here with a new maximum.
TEST_F(HudSceneSteps, AStatusRecomputeRefreshesTheGauges)
{
    scene_create_player(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 0.0f);
    ASSERT_NE(g_player, nullptr);
    PlayState& ps = g_play_state;
    ps.status.max_hp += 50.0f;
    ps.recompute_bits |= PLAY_RECOMPUTE_TO_PLAYER;
    play_update_status();
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_HP].max, ps.status.max_hp);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_HP].pixels_per_unit, 160.0f / ps.status.max_hp);
}
