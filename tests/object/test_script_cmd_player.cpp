#include "doubles/script_harness.h"

#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_play_status.h"
#include "game/rules_fixture.h"
#include "gfx/go_effect.h"
#include "object/actor/go_actor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

namespace {

// The player rows run through the real interpreter over the rules' world: a player of 100 hit
// points whose status recompute keeps its values.
class ScriptCmdPlayer : public RulesTest {
protected:
    ScriptState run(const std::string& body)
    {
        add_file(harness_script_file(body));
        mount();
        GoScript* script = obj_create<GoScript>(g_pool_script);
        EXPECT_NE(script, nullptr);
        script->Load(HARNESS_SCRIPT_PATH, HARNESS_SCRIPT_NAME, {});
        step();
        return {.reg = script->accumulator, .pc = script->pc, .ended = script_ended(*script)};
    }
};

TEST_F(ScriptCmdPlayer, HealAtFullHitPointsChangesNothingElse)
{
    GoActor& player = add_player(100.0f);
    player.defeat_counter = 7;
    player.alpha = 0.5f;
    g_play_state.recompute_bits = 0;
    const StatusBlock before = g_play_state.status;
    EXPECT_TRUE(run(script_call(232)).ended);
    EXPECT_EQ(std::memcmp(&before, &g_play_state.status, sizeof before), 0);
    EXPECT_EQ(g_play_state.recompute_bits, 0u);
    EXPECT_EQ(player.defeat_counter, 7) << "no respawn reset";
    EXPECT_EQ(player.alpha, 0.5f);
}

// A heal that changed the hit points stands the player up again where it is.
TEST_F(ScriptCmdPlayer, HealOfAFallenPlayerRevivesItInPlace)
{
    GoActor& player = add_player(0.0f, 900.0f);
    player.defeat_counter = 40;
    player.hit_shape.class_bits &= ~HIT_ACTIVE;
    player.alpha = 0.0f;
    const D3DXVECTOR3 where(3.0f, 2.0f, 1.0f);
    matrix_set_position(player.world, where);
    EXPECT_TRUE(run(script_call(232)).ended);
    EXPECT_EQ(g_play_state.status.hp, 900.0f);
    EXPECT_EQ(player.status.hp, 900.0f);
    EXPECT_EQ(player.defeat_counter, 0);
    EXPECT_TRUE(player.hit_shape.class_bits & HIT_ACTIVE);
    EXPECT_EQ(player.alpha, 1.0f);
    EXPECT_EQ(matrix_position(player.world), where);
}

TEST_F(ScriptCmdPlayer, HealWithoutAPlayerHealsThePlayState)
{
    set_player_hp(0.0f, 999.0f);
    EXPECT_TRUE(run(script_call(232)).ended);
    EXPECT_EQ(g_play_state.status.hp, 999.0f);
}

// On attaches the auras of the set ailment and power-up bits; off stops them.
TEST_F(ScriptCmdPlayer, AurasOnAndOff)
{
    const GoActor& player = add_player(50.0f);
    g_play_state.ailment_bits = 0x01;
    g_play_state.powerup_bits = 0x08;
    run(script_call(233, "1"));
    GoEffect* ailment = player.ailment_auras[0].get();
    GoEffect* powerup = player.powerup_auras[1].get();
    ASSERT_NE(ailment, nullptr);
    ASSERT_NE(powerup, nullptr);
    EXPECT_EQ(ailment->parent_matrix, &player.world);
    run(script_call(233, "0"));
    EXPECT_FALSE(player.ailment_auras[0]);
    EXPECT_FALSE(player.powerup_auras[1]);
    EXPECT_EQ(ailment->stop_request, 1);
    EXPECT_EQ(powerup->stop_request, 1);
}

// The level row fills the hit points and copies the status into the player; the level is
// clamped to 1-60. The experience steps keep the levels from rising on their own.
TEST_F(ScriptCmdPlayer, LevelIsClampedAndFillsTheHitPoints)
{
    g_gameinfo.player_exp_step = {10.0f, 100.0f};
    const struct {
        const char* words;
        std::int32_t level;
    } cases[] = {{"12", 12}, {"0", 1}, {"61", 60}, {"-5", 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        obj_destroy_all();
        GoActor& player = add_player(20.0f);
        EXPECT_TRUE(run(script_call(240, c.words)).ended);
        EXPECT_EQ(g_play_state.status.level, c.level);
        EXPECT_EQ(g_play_state.status.hp, g_play_state.status.max_hp);
        EXPECT_EQ(std::memcmp(&player.status, &g_play_state.status, sizeof player.status), 0);
    }
}

TEST_F(ScriptCmdPlayer, LevelWithoutAPlayerSetsThePlayState)
{
    g_gameinfo.player_exp_step = {10.0f, 100.0f};
    set_player_hp(20.0f);
    EXPECT_TRUE(run(script_call(240, "3")).ended);
    EXPECT_EQ(g_play_state.status.level, 3);
    EXPECT_EQ(g_play_state.status.hp, g_play_state.status.max_hp);
}

// The equipment level is written and the status recomputed into the player; an item outside the
// equipment writes nothing, neither in the list nor beside it.
TEST_F(ScriptCmdPlayer, EquipmentLevels)
{
    GoActor& player = add_player(50.0f);
    player.status.atk = -1.0f;
    EXPECT_TRUE(run(script_call(241, "17 3")).ended);
    EXPECT_EQ(g_play_state.equip_levels[17], 3);
    EXPECT_TRUE(g_play_state.recompute_bits & 0x10);
    EXPECT_EQ(std::memcmp(&player.status, &g_play_state.status, sizeof player.status), 0);

    for (const char* words : {"18 4", "-1 4"}) {
        SCOPED_TRACE(words);
        const PlayState before = g_play_state;
        player.status.atk = -1.0f;
        run(script_call(241, words));
        EXPECT_EQ(std::memcmp(before.equip_levels, g_play_state.equip_levels, sizeof before.equip_levels), 0);
        EXPECT_EQ(std::memcmp(&before.status, &g_play_state.status, sizeof before.status), 0);
        EXPECT_EQ(player.status.atk, -1.0f);
    }
}

TEST_F(ScriptCmdPlayer, GoldAddsUpToTheCap)
{
    GoActor& player = add_player(50.0f);
    g_play_state.status.gold = 999000;
    run(script_call(242, "5000"));
    EXPECT_EQ(g_play_state.status.gold, 999999);
    EXPECT_EQ(player.status.gold, 999999);
    run(script_call(242, "-2000000"));
    EXPECT_EQ(g_play_state.status.gold, 0);
}

TEST_F(ScriptCmdPlayer, RingSlotsOnlyInRange)
{
    const struct {
        const char* words;
        std::int32_t slots[PLAY_RING_SLOTS];
    } cases[] = {
        {"0 18", {18, -1, -1}}, {"2 23", {-1, -1, 23}}, {"3 20", {-1, -1, -1}}, {"-1 20", {-1, -1, -1}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.words);
        for (std::int32_t& slot : g_play_state.ring_slots)
            slot = -1;
        const std::int32_t after = g_play_state.equip_levels[0];
        run(script_call(243, c.words));
        for (int i = 0; i < PLAY_RING_SLOTS; ++i)
            EXPECT_EQ(g_play_state.ring_slots[i], c.slots[i]);
        EXPECT_EQ(g_play_state.equip_levels[0], after);
    }
}

} // namespace
