#include "game/rules_fixture.h"

#include "core/errors.h"
#include "game/g_game_flags.h"
#include "game/g_rules.h"
#include "gfx/go_effect.h"
#include "gfx/go_popup.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/go_script.h"
#include "object/obj_pools.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t k_recovery_item = 30;
constexpr const char* k_quilmar_path = "data\\map\\s_00\\s_0000\\s_quilmar.xso";

std::vector<GoEffect*> effects_of(std::int32_t id)
{
    std::vector<GoEffect*> found;
    for (std::int32_t i = 0; i < g_pool_effect.count; ++i) {
        auto* effect = static_cast<GoEffect*>(g_pool_effect.active[i]);
        if (effect->effect_id == id) found.push_back(effect);
    }
    return found;
}

GoPopup* only_popup()
{
    return g_pool_popup.count == 1 ? static_cast<GoPopup*>(g_pool_popup.active[0]) : nullptr;
}

class RulesItems : public RulesTest {
protected:
    void SetUp() override
    {
        RulesTest::SetUp();
        g_invinfo[k_recovery_item].value = 30;
    }
    // The popup of the one use, its text and colour, 0.5 above the player.
    static void expect_popup(const char* text, const GoActor& player)
    {
        const GoPopup* popup = only_popup();
        ASSERT_NE(popup, nullptr);
        EXPECT_STREQ(popup->text, text);
        EXPECT_EQ(popup->colour, 0xFF00u);
        D3DXVECTOR3 above = matrix_position(player.world);
        above.y += 0.5f;
        EXPECT_EQ(matrix_position(popup->world), above);
    }
};

// A recovery heals what the player lacks and shows it; at full hit points, and while falling, it
// shows 0. Each plays the recovery sound.
TEST_F(RulesItems, RecoveryItemsShowWhatTheyHealed)
{
    const struct {
        const char* name;
        float hp;
        bool falling;
        const char* shown;
        float hp_after;
    } cases[] = {
        {"at half", 50.0f, false, "30", 80.0f},
        {"near the top", 90.0f, false, "30", 100.0f},
        {"at full", 100.0f, false, "0", 100.0f},
        {"falling", 50.0f, true, "0", 50.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GoActor& player = add_player(c.hp);
        player.script.current_action = c.falling ? ANI_ACTION_DEFEAT : 0;
        const std::size_t sounds = sounds_played().size();
        game_use_item(k_recovery_item);
        expect_popup(c.shown, player);
        EXPECT_EQ(g_play_state.status.hp, c.hp_after);
        EXPECT_EQ(player.status.hp, c.hp_after);
        EXPECT_EQ(sounds_since(sounds), std::vector<std::int32_t>{102});
        obj_destroy_all();
    }
}

// The aura follows the player's position: 357 for the mirror, 356 for the freeze, 100 a unit
// lower for every other item.
TEST_F(RulesItems, TheAuraFollowsThePlayer)
{
    const struct {
        std::int32_t item;
        std::int32_t aura;
        float drop;
    } cases[] = {{60, 357, 0.0f}, {61, 356, 0.0f}, {k_recovery_item, 100, -1.0f}, {45, 100, -1.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item);
        const GoActor& player = add_player(50.0f);
        game_use_item(c.item);
        const std::vector<GoEffect*> auras = effects_of(c.aura);
        ASSERT_EQ(auras.size(), 1u);
        EXPECT_EQ(auras[0]->parent_matrix, &player.world);
        EXPECT_EQ(auras[0]->follow, EFFECT_FOLLOW_PARENT_POSITION);
        EXPECT_EQ(matrix_position(auras[0]->rotation), D3DXVECTOR3(0.0f, c.drop, 0.0f));
        D3DXVECTOR3 at = matrix_position(player.world);
        at.y += c.drop;
        EXPECT_EQ(matrix_position(auras[0]->world), at);
        obj_destroy_all();
    }
}

TEST_F(RulesItems, TheDashStartsTheStoryScriptOnlyWhereItsSceneIsListed)
{
    const GoActor& player = add_player(50.0f);
    add_file({std::string(k_quilmar_path) + ".z",
              packed_build(sasm_assemble_or_throw("action 0\ncall FUNCID_WAIT_TICKS 100\n"))});
    const SceneListRecord without[] = {{.path = "s_10\\s_1000\\"}};
    set_scenes(without, 0);
    game_use_item(46);
    EXPECT_EQ(g_play_state.game_flags[GF_DASH], 1);
    EXPECT_EQ(script_find_running(k_quilmar_path), nullptr);
    expect_popup("dash enable", player);

    obj_destroy_all();
    const GoActor& again = add_player(50.0f);
    g_play_state.game_flags[GF_DASH] = 0;
    const SceneListRecord with[] = {{.path = "s_10\\s_1000\\"}, {.path = "S_00\\S_0000\\"}};
    set_scenes(with, 0);
    const std::size_t sounds = sounds_played().size();
    game_use_item(46);
    EXPECT_EQ(g_play_state.game_flags[GF_DASH], 1);
    const GoScript* started = script_find_running(k_quilmar_path);
    ASSERT_NE(started, nullptr);
    EXPECT_STREQ(started->name, "data\\map\\S_00\\S_0000\\s_quilmar.xso");
    EXPECT_EQ(sounds_since(sounds), std::vector<std::int32_t>{104});
    expect_popup("dash enable", again);
}

TEST_F(RulesItems, TheMirrorGivesThreeCharges)
{
    const GoActor& player = add_player(50.0f);
    const std::size_t sounds = sounds_played().size();
    game_use_item(60);
    EXPECT_EQ(g_play_state.mirror_charges, 3);
    EXPECT_EQ(sounds_since(sounds), std::vector<std::int32_t>{104});
    expect_popup("", player);
}

// The freeze holds every targetable standing enemy in its surprise: the mark goes on once, the
// reaction for 297 ticks, a sound at each.
TEST_F(RulesItems, TheFreezeHoldsEveryTargetableStandingEnemy)
{
    add_player(50.0f);
    GoActor& free_enemy = add_enemy({3.0f, 0.0f, 1.0f}, 50.0f, 300);
    GoActor& held = add_enemy({-3.0f, 0.0f, 1.0f}, 50.0f, 301);
    held.ai.surprise_mark = 1;
    GoActor& untargetable = add_enemy({0.0f, 0.0f, 5.0f}, 50.0f, 302);
    untargetable.cast_flags |= ACTOR_CAST_UNTARGETABLE;
    GoActor& fallen = add_enemy({0.0f, 0.0f, -5.0f}, 0.5f, 303);
    GoActor& neighbour = add_acting(304, 100, ACTOR_SPAWN_NEUTRAL, {5.0f, 0.0f, 5.0f});
    neighbour.status.hp = 50.0f;

    const std::size_t sounds = sounds_played().size();
    game_use_item(61);
    for (const GoActor* frozen : {&free_enemy, &held}) {
        EXPECT_EQ(frozen->ai.state, ACTOR_AI_SURPRISED);
        EXPECT_EQ(frozen->ai.command_timer, 297);
        EXPECT_EQ(frozen->ai.surprised, 1);
        EXPECT_EQ(frozen->ai.surprise_mark, 1);
        EXPECT_EQ(frozen->script.current_action, 315);
    }
    for (const GoActor* left : {&untargetable, &fallen, &neighbour}) {
        EXPECT_EQ(left->ai.state, 0);
        EXPECT_EQ(left->ai.surprised, 0);
        EXPECT_NE(left->script.current_action, 315);
    }
    const std::vector<GoEffect*> bursts = effects_of(0);
    ASSERT_EQ(bursts.size(), 2u);
    EXPECT_EQ(matrix_position(bursts[0]->world), matrix_position(free_enemy.world));
    EXPECT_EQ(matrix_position(bursts[1]->world), matrix_position(held.world));
    const std::vector<GoEffect*> marks = effects_of(37);
    ASSERT_EQ(marks.size(), 1u) << "the held enemy has its mark already";
    EXPECT_EQ(marks[0]->parent_matrix, &free_enemy.world);
    EXPECT_EQ(sounds_since(sounds), (std::vector<std::int32_t>{110, 110, 104}));
}

// The gain goes into the items' share of the maximum; the recompute raises maximum and current
// hit points alike.
TEST_F(RulesItems, MaxHpUpByDifficulty)
{
    const struct {
        const char* name;
        std::int32_t easy;
        std::int32_t difficulty;
        float gain;
    } cases[] = {
        {"Easy", 1, 0, 10.0f}, {"Easy over Hard", 1, 1, 10.0f}, {"Normal", 0, 0, 3.0f},
        {"Hard", 0, 1, 2.0f},  {"Nightmare", 0, 2, 1.0f},       {"no such difficulty", 0, 7, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const GoActor& player = add_player(50.0f);
        g_play_state.game_flags[GF_EASY] = c.easy;
        g_play_state.game_flags[GF_DIFFICULTY] = c.difficulty;
        game_use_item(63);
        EXPECT_EQ(g_play_state.status.max_hp, 100.0f + c.gain);
        EXPECT_EQ(g_play_state.status.hp, 50.0f + c.gain);
        EXPECT_EQ(player.status.max_hp, 100.0f + c.gain);
        expect_popup("MAXHP UP", player);
        obj_destroy_all();
    }
}

TEST_F(RulesItems, OtherItemsAreStillBeingMade)
{
    for (const std::int32_t id : {0, 23, 45, 62, 64, 300, -1}) {
        SCOPED_TRACE(id);
        const GoActor& player = add_player(50.0f);
        const std::size_t sounds = sounds_played().size();
        game_use_item(id);
        expect_popup("now making", player);
        EXPECT_TRUE(sounds_since(sounds).empty());
        obj_destroy_all();
    }
}

// With no room for a popup the item works all the same.
TEST_F(RulesItems, AFullPopupPoolShowsNothingButTheItemWorks)
{
    add_player(50.0f);
    const std::int32_t capacity = g_pool_popup.capacity;
    g_pool_popup.capacity = 0;
    game_use_item(60);
    g_pool_popup.capacity = capacity;
    EXPECT_EQ(g_pool_popup.count, 0);
    EXPECT_EQ(g_play_state.mirror_charges, 3);
}

// Without a player: no aura and the popup stays unplaced and empty, but the item works and the
// status is recomputed.
TEST_F(RulesItems, WithoutAPlayerOnlyTheItemAndTheStatusRun)
{
    set_player_hp(50.0f);
    g_play_state.max_hp_bonus = 120.0f;
    const std::size_t sounds = sounds_played().size();
    game_use_item(60);
    EXPECT_EQ(g_play_state.mirror_charges, 3);
    EXPECT_EQ(g_play_state.status.max_hp, 120.0f) << "the status was recomputed";
    EXPECT_EQ(g_pool_effect.count, 0);
    const GoPopup* popup = only_popup();
    ASSERT_NE(popup, nullptr);
    EXPECT_STREQ(popup->text, "");
    EXPECT_EQ(matrix_position(popup->world), D3DXVECTOR3());
    EXPECT_EQ(sounds_since(sounds), std::vector<std::int32_t>{104});
    // The recompute raised the hit points with the maximum, to 70; the recovery adds its 30.
    game_use_item(k_recovery_item);
    EXPECT_EQ(g_play_state.status.hp, 100.0f);
}

} // namespace
