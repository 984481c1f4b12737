#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_play_status.h"
#include "game/g_scn_data.h"
#include "gfx/g_gfx.h"
#include "gfx/go_popup.h"
#include "lib/script_assembler.h"
#include "object/object_fixture.h"

#include "core/errors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

using ::testing::StartsWith;

// The experience steps are 100, 110, 120, ...: the first n of them sum to 100n + 5n(n - 1).
constexpr float k_first_step = 100.0f;
constexpr float k_last_step = 690.0f;

float exp_sum(int steps)
{
    return 100.0f * steps + 5.0f * steps * (steps - 1);
}

constexpr int k_enemy_rows = 70;

class PlayStatusTest : public ObjectTest {
protected:
    void SetUp() override
    {
        ObjectTest::SetUp();
        reset_globals();
        g_gameinfo.player_exp_step = {k_first_step, k_last_step};
        g_gameinfo.player_hp = {50.7f, 640.7f};
        g_gameinfo.player_attack = {5.5f, 300.5f};
        g_gameinfo.player_defence = {3.0f, 200.0f};
        g_gameinfo.fourth_factor = 2.0f;
        g_gameinfo.fourth_addend = 1.0f;
        g_gameinfo.enemy_hp = {100.0f, 1000.0f};
        g_gameinfo.enemy_attack = {20.0f, 200.0f};
        g_gameinfo.enemy_defence = {10.0f, 100.0f};
        g_gameinfo.enemy_exp = {5.0f, 500.0f};
        g_enemyinfo.assign(k_enemy_rows, plain_row());
        int* flags = g_play_state.game_flags;
        flags[GF_WEAPON] = flags[GF_ARMOUR] = flags[GF_SHIELD] = -1;
    }
    void TearDown() override
    {
        reset_globals();
        ObjectTest::TearDown();
    }

    static void reset_globals()
    {
        g_play_state = {};
        g_enemyinfo.clear();
        g_invinfo = {};
        g_gameinfo = {};
        g_player = nullptr;
    }

    // Every scale at 50 weighs its curve by 1.
    static EnemyInfo plain_row()
    {
        EnemyInfo row{};
        row.hp_scale = row.attack_scale = row.defence_scale = row.gold_scale = row.exp_scale = 50.0f;
        row.default_level = 60;
        row.fourth_per_level = 2.0f;
        row.fourth_base = 3.0f;
        row.resistances[0] = 0.1f;
        row.resistances[1] = 0.2f;
        row.resistances[2] = 0.3f;
        row.resistances[3] = 0.4f;
        row.status_byte = 9;
        return row;
    }

    static GoActor& make_actor(std::int32_t cast)
    {
        GoActor* actor = spawn(g_pool_actor);
        actor->cast = cast;
        return *actor;
    }

    // A living player at `level` with `exp` experience, asked to check for level-ups.
    static void gain_exp(std::int32_t level, float exp)
    {
        PlayState& ps = g_play_state;
        play_compute_exp_totals(level);
        ps.status.hp = 1.0f;
        ps.status.exp = exp;
        ps.recompute_bits |= PLAY_RECOMPUTE_LEVEL_UP;
        play_update_status();
    }

    static int* flags() { return g_play_state.game_flags; }
    static StatusBlock& status() { return g_play_state.status; }
};

TEST_F(PlayStatusTest, SetLevelStartsAtItsThreshold)
{
    struct Case {
        std::int32_t asked;
        bool alive;
        std::int32_t level;
        float exp;
        float next;
        float start;
    };
    // A dead player keeps the totals as the level was set; a living one has them replaced by the
    // level-up check, which counts one step further.
    const Case cases[] = {
        {1, false, 1, 0.0f, 0.0f, 0.0f},
        {2, false, 2, exp_sum(1), exp_sum(1), 0.0f},
        {3, false, 3, exp_sum(2), exp_sum(2), exp_sum(1)},
        {60, false, 60, exp_sum(59), 0.0f, 0.0f},
        {0, false, 1, 0.0f, 0.0f, 0.0f},
        {-7, false, 1, 0.0f, 0.0f, 0.0f},
        {61, false, 60, exp_sum(59), 0.0f, 0.0f},
        {1, true, 1, 0.0f, exp_sum(1), 0.0f},
        {3, true, 3, exp_sum(2), exp_sum(3), exp_sum(2)},
        {60, true, 60, exp_sum(59), 0.0f, 0.0f},
        {61, true, 60, exp_sum(59), 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.asked << (c.alive ? " alive" : " dead"));
        status() = {};
        status().hp = c.alive ? 1.0f : 0.0f;
        play_compute_exp_totals(c.asked);
        EXPECT_EQ(status().level, c.level);
        EXPECT_EQ(status().exp, c.exp);
        EXPECT_EQ(g_play_state.next_level_exp, c.next);
        EXPECT_EQ(g_play_state.level_start_exp, c.start);
    }
}

TEST_F(PlayStatusTest, ExperienceRaisesTheLevel)
{
    struct Case {
        std::int32_t level;
        float exp;
        std::int32_t reached;
        float next;
        float start;
    };
    const Case cases[] = {
        {1, exp_sum(1) - 1.0f, 1, exp_sum(1), 0.0f},
        {1, exp_sum(1), 2, exp_sum(2), exp_sum(1)},
        {1, exp_sum(3), 4, exp_sum(4), exp_sum(3)},
        {1, exp_sum(4) - 0.5f, 4, exp_sum(4), exp_sum(3)},
        {59, exp_sum(59), 60, 0.0f, 0.0f},
        {40, 1.0e9f, 60, 0.0f, 0.0f},
        {60, 1.0e9f, 60, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << " exp " << c.exp);
        gain_exp(c.level, c.exp);
        EXPECT_EQ(status().level, c.reached);
        EXPECT_EQ(g_play_state.next_level_exp, c.next);
        EXPECT_EQ(g_play_state.level_start_exp, c.start);
        EXPECT_EQ(g_play_state.recompute_bits & PLAY_RECOMPUTE_LEVEL_UP, 0u);
    }
}

TEST_F(PlayStatusTest, LevelUpsRaiseTheBaseValuesAndRefillHitPoints)
{
    gain_exp(1, exp_sum(3));

    EXPECT_EQ(status().level, 4);
    // The growth of the maximum alone would leave 1 + 30 of 80 hit points.
    EXPECT_EQ(status().max_hp, 80.0f);
    EXPECT_EQ(status().hp, status().max_hp);
}

// Every level gained starts effect 99 on the player, following its position (follow mode 2, no
// offset), in row 9 while the player is in water; without a player or with the particle pool full
// none starts and the levels are gained all the same.
TEST_F(PlayStatusTest, EachLevelGainedStartsTheLevelUpEffectOnThePlayer)
{
    const struct {
        const char* what;
        bool player;
        std::uint8_t submerged;
        bool particles_full;
        std::int32_t effects;
        std::uint8_t row;
    } cases[] = {
        {"on land", true, 0, false, 3, EFFECT_ROW},
        {"in water", true, 1, false, 3, EFFECT_ROW_IN_WATER},
        {"particle pool full", true, 0, true, 0, 0},
        {"no player", false, 0, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        GoActor* player = nullptr;
        if (c.player) {
            player = &make_actor(ACTOR_CAST_HERO);
            player->submerged = c.submerged;
            player->world._41 = 7.0f;
        }
        g_player = player;
        if (c.particles_full) {
            while (obj_create<GoParticle>(g_pool_particle)) {
            }
        }
        gain_exp(1, exp_sum(3));
        EXPECT_EQ(status().level, 4);
        ASSERT_EQ(g_pool_effect.count, c.effects);
        for (std::int32_t i = 0; i < c.effects; ++i) {
            const auto& effect = *static_cast<GoEffect*>(g_pool_effect.active[i]);
            EXPECT_EQ(effect.effect_id, 99);
            EXPECT_EQ(effect.parent_matrix, &player->world);
            EXPECT_EQ(effect.follow, EFFECT_FOLLOW_PARENT_POSITION);
            EXPECT_EQ(effect.render_row, c.row);
        }
        g_player = nullptr;
        obj_destroy_all();
    }
}

// Every level gained shows "Level Up" over the player, half a unit above its position, in green
// and without a target; with the popup pool full none shows and the effects still start.
TEST_F(PlayStatusTest, EachLevelGainedShowsALevelUpPopupOverThePlayer)
{
    for (const bool popups_full : {false, true}) {
        SCOPED_TRACE(popups_full ? "popup pool full" : "popups free");
        GoActor& player = make_actor(ACTOR_CAST_HERO);
        D3DXMatrixTranslation(&player.world, 3.0f, 2.0f, -4.0f);
        g_player = &player;
        std::int32_t filler = 0;
        if (popups_full) {
            while (obj_create<GoPopup>(g_pool_popup))
                ++filler;
        }
        gain_exp(1, exp_sum(3));
        EXPECT_EQ(status().level, 4);
        EXPECT_EQ(g_pool_effect.count, 3);
        ASSERT_EQ(g_pool_popup.count, popups_full ? filler : 3);
        for (std::int32_t i = 0; i < 3 && !popups_full; ++i) {
            const auto& popup = *static_cast<GoPopup*>(g_pool_popup.active[i]);
            EXPECT_STREQ(popup.text, "Level Up");
            EXPECT_EQ(popup.colour, 0xFF00u);
            EXPECT_EQ(popup.target.get(), nullptr);
            EXPECT_EQ(popup.world._41, 3.0f);
            EXPECT_EQ(popup.world._42, 2.5f);
            EXPECT_EQ(popup.world._43, -4.0f);
        }
        g_player = nullptr;
        obj_destroy_all();
    }
}

TEST_F(PlayStatusTest, WithoutALevelUpHitPointsOnlyGrowWithTheBase)
{
    play_compute_exp_totals(1);
    status().hp = 10.0f;
    status().exp = exp_sum(1) - 1.0f;
    g_play_state.recompute_bits |= PLAY_RECOMPUTE_LEVEL_UP | PLAY_RECOMPUTE_BASE;
    play_update_status();

    EXPECT_EQ(status().level, 1);
    EXPECT_EQ(status().hp, 10.0f);

    play_compute_exp_totals(60);
    EXPECT_EQ(status().hp, 10.0f + (640.0f - 50.0f));
}

TEST_F(PlayStatusTest, DeadPlayerLevelsUpOnlyWhenAskedAgainWhileAlive)
{
    play_compute_exp_totals(1);
    status().hp = 0.5f;
    status().exp = exp_sum(2);
    g_play_state.recompute_bits |= PLAY_RECOMPUTE_LEVEL_UP;
    play_update_status();
    EXPECT_EQ(status().level, 1);
    EXPECT_EQ(g_play_state.recompute_bits & PLAY_RECOMPUTE_LEVEL_UP, 0u);

    status().hp = 5.0f;
    play_update_status();
    EXPECT_EQ(status().level, 1);

    g_play_state.recompute_bits |= PLAY_RECOMPUTE_LEVEL_UP;
    play_update_status();
    EXPECT_EQ(status().level, 3);
    EXPECT_EQ(status().hp, status().max_hp);
}

TEST_F(PlayStatusTest, BaseValuesFollowTheLevelCurves)
{
    struct Case {
        std::int32_t level;
        float max_hp;
        float atk;
        float def;
    };
    // The curves' fractions are dropped before the bonuses are added.
    const Case cases[] = {
        {1, 50.0f + 20.0f, 5.0f + 4.0f, 3.0f + 6.0f},
        {60, 640.0f + 20.0f, 300.0f + 4.0f, 200.0f + 6.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level);
        g_play_state = {};
        flags()[GF_WEAPON] = flags()[GF_ARMOUR] = flags()[GF_SHIELD] = -1;
        g_play_state.max_hp_bonus = 20.0f;
        g_play_state.atk_bonus = 4.0f;
        g_play_state.def_bonus = 6.0f;
        g_play_state.fourth_factor = 1.5f;
        status().mp = 5000.0f;
        play_compute_exp_totals(c.level);

        const PlayState& ps = g_play_state;
        EXPECT_EQ(ps.base_max_hp, c.max_hp);
        EXPECT_EQ(ps.base_max_mp, 3000.0f);
        EXPECT_EQ(ps.base_atk, c.atk);
        EXPECT_EQ(ps.base_def, c.def);
        EXPECT_EQ(ps.base_fourth, 1.5f * 2.0f + 1.0f);
        EXPECT_EQ(status().max_hp, c.max_hp);
        EXPECT_EQ(status().max_mp, 3000.0f);
        EXPECT_EQ(status().mp, 3000.0f);
        EXPECT_EQ(status().atk, c.atk);
        EXPECT_EQ(status().def, c.def);
        EXPECT_EQ(status().luck, 4.0f);
        EXPECT_EQ(ps.equip_bonus.unit, 1.0f);
    }
}

class EquipBonusTest : public PlayStatusTest {
protected:
    void SetUp() override
    {
        PlayStatusTest::SetUp();
        g_invinfo[2].power = 7;  // a weapon
        g_invinfo[12].power = 5; // armour
        g_invinfo[6].power = 3;  // a shield
        m_levels[2] = 2;
        m_levels[12] = 1;
        m_levels[6] = 4;
        reset_status();
    }

    void reset_status()
    {
        m_status = {};
        m_status.max_hp = 500.0f;
        m_status.max_mp = 3000.0f;
        m_status.atk = 10.0f;
        m_status.def = 10.0f;
        m_status.luck = 1.0f;
    }

    void apply() { play_equip_bonus(m_levels, m_bonus, m_status); }

    std::int32_t m_levels[PLAY_EQUIP_LEVELS] = {};
    StatusBlock m_status{};
    EquipBonus m_bonus{};
};

TEST_F(EquipBonusTest, WornItemsAddTheirLevelsAndPower)
{
    struct Case {
        std::int32_t weapon;
        std::int32_t armour;
        std::int32_t shield;
        float atk_bonus;
        float def_bonus;
    };
    const Case cases[] = {
        {-1, -1, -1, 0.0f, 0.0f},
        {2, -1, -1, 2 * 2 + 7, 0.0f},
        {2, 12, -1, 2 * 2 + 7, 1 + 5},
        {2, 12, 6, 2 * 2 + 7, (1 + 5) + (4 + 3)},
        {-1, 12, 6, 0.0f, (1 + 5) + (4 + 3)},
        // Scripts may write any id; one outside the equipment adds nothing.
        {40, 18, -5, 0.0f, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.weapon << ' ' << c.armour << ' ' << c.shield);
        reset_status();
        flags()[GF_WEAPON] = c.weapon;
        flags()[GF_ARMOUR] = c.armour;
        flags()[GF_SHIELD] = c.shield;
        m_bonus.third_bonus = 99.0f; // the bonus record starts afresh
        apply();
        EXPECT_EQ(m_bonus.atk_bonus, c.atk_bonus);
        EXPECT_EQ(m_bonus.def_bonus, c.def_bonus);
        EXPECT_EQ(m_bonus.third_bonus, 0.0f);
        EXPECT_EQ(m_status.atk, 10.0f + c.atk_bonus);
        EXPECT_EQ(m_status.def, 10.0f + c.def_bonus);
        EXPECT_EQ(m_status.luck, 1.0f);
        EXPECT_EQ(m_bonus.unit, 1.0f);
        EXPECT_EQ(m_bonus.gold_rate, 1.0f);
        EXPECT_EQ(m_bonus.exp_rate, 1.0f);
        EXPECT_EQ(m_bonus.third_rate, 1.0f);
        EXPECT_EQ(m_bonus.charge_rate, 1.0f);
    }
}

TEST_F(EquipBonusTest, RingsCountOnlyInTheSlotsInUse)
{
    struct Case {
        std::int32_t slots[PLAY_RING_SLOTS];
        std::int32_t in_use;
        std::uint32_t bits;
    };
    const Case cases[] = {
        {{19, 22, 18}, 0, 0},
        {{19, 22, 18}, 1, 0x2000},
        {{19, 22, 18}, 2, 0x2000 | 0x8000},
        {{19, 22, 18}, 3, 0x2000 | 0x8000 | 0x100},
        {{20, 21, 23}, 3, 0x4000 | 0x400 | 0x1000},
        {{-1, 17, 24}, 3, 0},
        // More slots than there are count as all three; fewer than none as none.
        {{19, 22, 18}, 7, 0x2000 | 0x8000 | 0x100},
        {{19, 22, 18}, -2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.slots[0] << ' ' << c.slots[1] << ' ' << c.slots[2] << " in use " << c.in_use);
        std::memcpy(g_play_state.ring_slots, c.slots, sizeof c.slots);
        flags()[GF_RING_SLOTS] = c.in_use;
        apply();
        EXPECT_EQ(m_bonus.accessory_bits, c.bits);
    }
}

TEST_F(EquipBonusTest, MaximaAreCut)
{
    struct Case {
        float max_hp;
        float max_mp;
        float kept_hp;
        float kept_mp;
    };
    const Case cases[] = {
        {800.0f, 2000.0f, 800.0f, 2000.0f},
        {999.0f, 3000.0f, 999.0f, 3000.0f},
        {1200.0f, 5000.0f, 999.0f, 3000.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.max_hp << ' ' << c.max_mp);
        m_status.max_hp = c.max_hp;
        m_status.max_mp = c.max_mp;
        apply();
        EXPECT_EQ(m_status.max_hp, c.kept_hp);
        EXPECT_EQ(m_status.max_mp, c.kept_mp);
    }
}

TEST_F(EquipBonusTest, RecomputeKeepsHitPointsWithinTheCutMaximum)
{
    g_play_state.max_hp_bonus = 1000.0f;
    status().hp = 1.0f;
    play_compute_exp_totals(30);
    status().hp = 1500.0f;
    g_play_state.recompute_bits |= PLAY_RECOMPUTE_EQUIP;
    play_update_status();

    EXPECT_EQ(status().max_hp, 999.0f);
    EXPECT_EQ(status().hp, 999.0f);
}

TEST_F(EquipBonusTest, PreviewUsesOtherLevelsAndLeavesThePlayStateAlone)
{
    flags()[GF_WEAPON] = 2;
    g_play_state.equip_levels[2] = 0;
    play_compute_exp_totals(60);
    PlayState before;
    std::memcpy(&before, &g_play_state, sizeof before);

    StatusBlock preview{};
    EquipBonus bonus{};
    play_equip_stats(preview, m_levels, bonus);

    EXPECT_EQ(bonus.atk_bonus, 2 * 2 + 7);
    EXPECT_EQ(preview.atk, g_play_state.base_atk + 2 * 2 + 7);
    EXPECT_EQ(preview.max_hp, g_play_state.base_max_hp);
    EXPECT_EQ(preview.hp, status().hp);
    EXPECT_EQ(preview.level, 60);
    EXPECT_EQ(std::memcmp(&before, &g_play_state, sizeof before), 0);
}

class LevelStatsTest : public PlayStatusTest {
protected:
    StatusBlock apply(std::int32_t type, std::int32_t level)
    {
        GoActor& actor = make_actor(20);
        play_apply_level_stats(type, actor, level);
        return actor.status;
    }

    // An enemy starts with full hit points.
    static void expect_combat_values(const StatusBlock& s, float max_hp, float atk, float def)
    {
        EXPECT_EQ(s.max_hp, max_hp);
        EXPECT_EQ(s.hp, max_hp);
        EXPECT_EQ(s.atk, atk);
        EXPECT_EQ(s.def, def);
    }
};

TEST_F(LevelStatsTest, ScalesWeighTheLevelCurves)
{
    struct Case {
        float hp_scale;
        float attack_scale;
        float defence_scale;
        float exp_scale;
        std::int32_t level;
        std::int32_t stored_level;
        float max_hp;
        float atk;
        float def;
        float exp;
    };
    const Case cases[] = {
        {50, 50, 50, 50, 1, 1, 100, 20, 10, 5},
        {50, 50, 50, 50, 60, 60, 1000, 200, 100, 500},
        {70, 90, 30, 70, 60, 60, 2000, 800, 50, 1000},
        {60, 50, 50, 50, 1, 1, 141, 20, 10, 5}, // 2^0.5 x 100, its fraction dropped
        {50, 50, 50, 50, 0, 60, 1000, 200, 100, 500},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "scales " << c.hp_scale << ' ' << c.attack_scale << " level " << c.level);
        EnemyInfo& row = g_enemyinfo[10];
        row.hp_scale = c.hp_scale;
        row.attack_scale = c.attack_scale;
        row.defence_scale = c.defence_scale;
        row.exp_scale = c.exp_scale;
        const StatusBlock s = apply(10, c.level);
        EXPECT_EQ(s.level, c.stored_level);
        expect_combat_values(s, c.max_hp, c.atk, c.def);
        EXPECT_EQ(s.exp, c.exp);
        EXPECT_EQ(s.luck, c.stored_level * 2.0f + 3.0f);
        EXPECT_EQ(s.resist[0], 0.1f);
        EXPECT_EQ(s.resist[3], 0.4f);
        EXPECT_EQ(s.table_byte, 9);
    }
}

TEST_F(LevelStatsTest, GoldGrowsByPowersOfFiveThenLinearly)
{
    struct Case {
        std::int32_t level;
        float gold_scale;
        std::int32_t gold;
    };
    const Case cases[] = {
        {1, 50, 4},    {14, 50, 4},   {15, 50, 20},  {30, 50, 100},
        {31, 50, 110}, {60, 50, 400}, {30, 70, 200}, {31, 30, 55},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << " scale " << c.gold_scale);
        g_enemyinfo[10].gold_scale = c.gold_scale;
        EXPECT_EQ(apply(10, c.level).gold, c.gold);
    }
}

TEST_F(LevelStatsTest, HighTypesShareTheRowsAfterTheFirstTwo)
{
    g_enemyinfo[2].hp_scale = 70.0f;
    g_enemyinfo[3].attack_scale = 70.0f;

    EXPECT_EQ(apply(84, 60).max_hp, 2000.0f);
    EXPECT_EQ(apply(85, 60).atk, 400.0f);
}

TEST_F(LevelStatsTest, TypesOutsideTheTableAreRefused)
{
    char expected[RUNTIME_ERROR_SIZE];
    err_hresult_text(ERR_OVERFLOW, SCN_ENEMYINFO_PATH, expected, sizeof expected);
    for (const std::int32_t type : {k_enemy_rows, k_enemy_rows + 82, -1}) {
        SCOPED_TRACE(testing::Message() << "type " << type);
        GoActor& actor = make_actor(20);
        actor.status.max_hp = 12.0f;
        std::string text = "no error";
        try {
            play_apply_level_stats(type, actor, 60);
        } catch (const RuntimeError& error) {
            text = error.text;
        }
        EXPECT_THAT(text, StartsWith(std::string(expected) + "\n"));
        EXPECT_EQ(actor.status.max_hp, 12.0f);
    }
}

TEST_F(LevelStatsTest, FixedValuesAreLeftAlone)
{
    GoActor& actor = make_actor(20);
    actor.extra_flags = ACTOR_EXTRA_FIXED_VALUES;
    actor.status.max_hp = 12.0f;
    actor.status.level = 3;

    play_apply_level_stats(10, actor, 60);
    play_apply_level_stats(k_enemy_rows, actor, 60); // not even looked up

    EXPECT_EQ(actor.status.max_hp, 12.0f);
    EXPECT_EQ(actor.status.level, 3);
}

TEST_F(LevelStatsTest, TunedTypesHaveFixedAdjustments)
{
    struct Case {
        std::int32_t type;
        std::int32_t arena;
        float max_hp;
        float atk;
        float def;
    };
    const Case cases[] = {
        {56, 0, 1000, 200, 100}, {57, 0, 1000, 200, 97},  {58, 0, 1000, 200, 97},  {59, 0, 1000, 200, 97},
        {60, 0, 1000, 200, 100}, {64, 0, 1000, 199, 100}, {65, 0, 3300, 200, 95},  {66, 0, 700, 203, 104},
        {66, 1, 700, 203, 104},  {66, 2, 3500, 200, 95},  {67, 0, 1000, 200, 100}, {68, 0, 4000, 198, 95},
        {69, 0, 1000, 200, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " arena " << c.arena);
        flags()[GF_ARENA_SETUP] = c.arena;
        expect_combat_values(apply(c.type, 60), c.max_hp, c.atk, c.def);
    }
}

TEST_F(LevelStatsTest, HarderModesRaiseHitPoints)
{
    struct Case {
        std::int32_t difficulty;
        std::int32_t battle;
        std::int32_t type;
        float max_hp;
        float atk;
        float def;
    };
    const Case cases[] = {
        {0, 1, 48, 1000, 200, 100}, {1, 0, 10, 1250, 200, 100}, {2, 0, 10, 1500, 200, 100},
        {1, 0, 48, 1250, 200, 100}, {1, 1, 48, 1250, 205, 105}, {2, 1, 48, 1500, 205, 105},
        {1, 1, 47, 1250, 200, 100}, {1, 0, 65, 4125, 200, 95},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "difficulty " << c.difficulty << " battle " << c.battle << " type " << c.type);
        flags()[GF_DIFFICULTY] = c.difficulty;
        flags()[GF_BATTLE] = c.battle;
        expect_combat_values(apply(c.type, 60), c.max_hp, c.atk, c.def);
    }
}

TEST_F(LevelStatsTest, EasyWeakensEnemiesAndTunedTypesMoreWithRetries)
{
    struct Case {
        std::int32_t type;
        std::int32_t arena;
        std::int32_t retries;
        std::int32_t time_attack;
        float atk;
        float def;
        float first_resist;
    };
    const Case cases[] = {
        {10, 0, 0, 0, 190, 90, 0.1f},   {10, 0, 50, 0, 190, 90, 0.1f},    {60, 0, 0, 0, 200, 100, 0.1f},
        {61, 0, 0, 0, 200, 87, -0.5f},  {62, 0, 0, 0, 200, 87.5f, -0.5f}, {63, 0, 0, 0, 200, 87.5f, -0.5f},
        {64, 0, 0, 0, 199, 91, 0.1f},   {66, 0, 0, 0, 203, 104, 0.1f},    {66, 1, 0, 0, 198, 99, 0.1f},
        {66, 2, 0, 0, 195, 90, 0.1f},   {60, 0, 19, 0, 200, 100, 0.1f},   {60, 0, 20, 0, 195, 95, 0.1f},
        {60, 0, 49, 0, 195, 95, 0.1f},  {60, 0, 50, 0, 190, 90, 0.1f},    {60, 0, 50, 1, 200, 100, 0.1f},
        {61, 0, 20, 0, 195, 82, -0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type << " arena " << c.arena << " retries "
                                        << c.retries << " time attack " << c.time_attack);
        flags()[GF_EASY] = 1;
        flags()[GF_ARENA_SETUP] = c.arena;
        flags()[GF_RETRY_COUNT] = c.retries;
        flags()[GF_TIME_ATTACK] = c.time_attack;
        const StatusBlock s = apply(c.type, 60);
        EXPECT_EQ(s.atk, c.atk);
        EXPECT_EQ(s.def, c.def);
        EXPECT_EQ(s.resist[0], c.first_resist);
    }
}

TEST_F(LevelStatsTest, VeryEasyCutsHitPointsLast)
{
    struct Case {
        std::int32_t difficulty;
        std::int32_t type;
        float max_hp;
    };
    const Case cases[] = {{0, 10, 750}, {1, 10, 937.5f}, {0, 68, 3000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "difficulty " << c.difficulty << " type " << c.type);
        flags()[GF_VERY_EASY] = 1;
        flags()[GF_DIFFICULTY] = c.difficulty;
        const StatusBlock s = apply(c.type, 60);
        EXPECT_EQ(s.max_hp, c.max_hp);
        EXPECT_EQ(s.hp, c.max_hp);
    }
}

TEST(TintChannel, WeakensTheChosenElementOrClearsAll)
{
    struct Case {
        int channel;
        std::uint8_t element;
        float resist[4];
    };
    const Case cases[] = {
        {-1, STATUS_ELEMENT_NONE, {0, 0, 0, 0}},
        {0, 0, {-0.05f, 1, 1, 1}},
        {2, 2, {1, 1, -0.05f, 1}},
        {3, 3, {1, 1, 1, -0.05f}},
        {4, STATUS_ELEMENT_NONE, {0, 0, 0, 0}},
        {-2, STATUS_ELEMENT_NONE, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "channel " << c.channel);
        StatusBlock record{};
        std::fill(std::begin(record.resist), std::end(record.resist), 7.0f);
        record.status_element = 42;
        gfx_set_tint_channel(record, c.channel);
        EXPECT_EQ(record.status_element, c.element);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(record.resist[i], c.resist[i]) << "element " << i;
    }
}

TEST_F(PlayStatusTest, AddingHitPointsClampsAndMirrorsIntoThePlayer)
{
    struct Case {
        float hp;
        float delta;
        float result;
        bool changed;
        std::int32_t damage_taken;
    };
    const Case cases[] = {
        {100, 5, 100, false, 0}, {50, 10, 60, true, 0}, {50, 9999, 100, true, 0}, {50, -10, 40, true, 1},
        {5, -10, 0, true, 1},    {0, -10, 0, false, 1}, {0, 0, 0, false, 0},
    };
    GoActor& player = make_actor(ACTOR_CAST_HERO);
    g_player = &player;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "hp " << c.hp << " delta " << c.delta);
        flags()[GF_DAMAGE_TAKEN] = 0;
        status().max_hp = 100.0f;
        status().hp = c.hp;
        player.status.hp = 777.0f;
        EXPECT_EQ(player_add_hp(c.delta), c.changed);
        EXPECT_EQ(status().hp, c.result);
        EXPECT_EQ(player.status.hp, c.changed ? c.result : 777.0f);
        EXPECT_EQ(flags()[GF_DAMAGE_TAKEN], c.damage_taken);
    }
}

TEST_F(PlayStatusTest, AddingHitPointsWorksWithoutAPlayer)
{
    status().max_hp = 100.0f;
    status().hp = 50.0f;

    EXPECT_TRUE(player_add_hp(-20.0f));
    EXPECT_EQ(status().hp, 30.0f);
    EXPECT_EQ(flags()[GF_DAMAGE_TAKEN], 1);
}

TEST_F(PlayStatusTest, StatusReachesOnlyAHeroPlayer)
{
    struct Case {
        bool player;
        std::int32_t cast;
        bool copied;
    };
    const Case cases[] = {{true, ACTOR_CAST_HERO, true}, {true, 5, false}, {false, ACTOR_CAST_HERO, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.player ? "player" : "no player") << " cast " << c.cast);
        GoActor& actor = make_actor(c.cast);
        g_player = c.player ? &actor : nullptr;
        actor.status = {};
        gain_exp(1, exp_sum(2));

        const bool equal = std::memcmp(&actor.status, &status(), sizeof actor.status) == 0;
        EXPECT_EQ(equal, c.copied);
        EXPECT_EQ((g_play_state.recompute_bits & PLAY_RECOMPUTE_TO_PLAYER) == 0, c.copied);
        if (c.copied) {
            EXPECT_EQ(actor.status.level, 3);
            EXPECT_EQ(actor.status.hp, actor.status.max_hp);
        }
    }
}

// A script set of the assembler's making, addressed in place as the loader addresses its file.
class AssembledScriptSet {
public:
    explicit AssembledScriptSet(const ScriptSetBuilder& builder) : m_bytes(builder.bytes())
    {
        set.header = reinterpret_cast<const AniScriptHeader*>(m_bytes.data());
        set.actions = reinterpret_cast<const AniAction*>(m_bytes.data() + sizeof(AniScriptHeader));
        const std::size_t code_start = sizeof(AniScriptHeader) + set.header->action_count * sizeof(AniAction);
        set.code = reinterpret_cast<const std::uint32_t*>(m_bytes.data() + code_start);
        set.code_words = static_cast<std::uint32_t>((m_bytes.size() - code_start) / sizeof(std::uint32_t));
    }

    AniScriptSet set;

private:
    std::vector<std::uint8_t> m_bytes;
};

// Stand (action 0) and the defeat (action 5), which outranks it.
ScriptSetBuilder stand_and_defeat()
{
    ScriptSetBuilder builder;
    builder.action(0, 0).call("FUNCID_WAIT", {10});
    builder.action(ANI_ACTION_DEFEAT, 10).call("FUNCID_WAIT", {60});
    return builder;
}

TEST_F(PlayStatusTest, LevelUpHealWaitsWhileThePlayerIsDefeated)
{
    AssembledScriptSet script_set(stand_and_defeat());
    struct Case {
        const char* what;
        bool player;
        std::int32_t action;
        bool healed;
    };
    const Case cases[] = {
        {"a standing player", true, 0, true},
        {"a player in its defeat action", true, ANI_ACTION_DEFEAT, false},
        {"no player", false, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GoActor& player = make_actor(ACTOR_CAST_HERO);
        player.script.set = &script_set.set;
        player.script.current_action = c.action;
        g_player = c.player ? &player : nullptr;
        gain_exp(1, exp_sum(3));

        EXPECT_EQ(status().level, 4);
        // The growth of the maximum alone leaves 1 + 30 of 80 hit points.
        EXPECT_EQ(status().hp, c.healed ? 80.0f : 31.0f);
        EXPECT_EQ(player.script.current_action, c.action);
    }
}

// Only living, unexempt enemies other than the player fall, and one already falling is not
// started again.
TEST_F(PlayStatusTest, StoppingEnemiesDefeatsTheLivingOnes)
{
    AssembledScriptSet script_set(stand_and_defeat());
    struct Case {
        const char* what;
        bool player;
        std::uint32_t class_bits;
        std::uint8_t status_bits;
        float hp;
        std::int32_t action;
        bool stopped;
        bool started;
    };
    const Case cases[] = {
        {"an enemy", false, 0x88, 0, 20.0f, 0, true, true},
        {"an enemy at exactly 1 hit point", false, 0x88, 0x7F, 1.0f, 0, true, true},
        {"an enemy already in its defeat action", false, 0x88, 0, 20.0f, ANI_ACTION_DEFEAT, true, false},
        {"an unhittable enemy", false, 0x08, 0, 20.0f, 0, true, true},
        {"the player, even with the enemy bit", true, 0x88, 0, 20.0f, 0, false, false},
        {"an exempt enemy", false, 0x88, ACTOR_STATUS_EXEMPT, 20.0f, 0, false, false},
        {"an enemy below 1 hit point", false, 0x88, 0, 0.99f, 0, false, false},
        {"a neutral actor", false, 0x84, 0, 20.0f, 0, false, false},
        {"a companion", false, 0x81, 0, 20.0f, 0, false, false},
    };
    std::vector<GoActor*> actors;
    for (const Case& c : cases) {
        GoActor& actor = make_actor(20);
        actor.hit_shape.class_bits = c.class_bits;
        actor.status_bits = c.status_bits;
        actor.status.hp = c.hp;
        actor.script.set = &script_set.set;
        actor.script.current_action = c.action;
        actor.script.previous_action = 77;
        actor.script.pc = 3;
        if (c.player) g_player = &actor;
        actors.push_back(&actor);
    }
    play_stop_enemies();

    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.what);
        const AniScript& script = actors[i]->script;
        EXPECT_EQ(actors[i]->status.hp, c.stopped ? 0.0f : c.hp);
        EXPECT_EQ(script.current_action, c.started ? ANI_ACTION_DEFEAT : c.action);
        EXPECT_EQ(script.previous_action, c.started ? c.action : 77);
        EXPECT_EQ(script.pc, c.started ? 0u : 3u);
    }
}

} // namespace
