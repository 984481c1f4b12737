#include "game/g_scn_data.h"

#include "core/archive_fixture.h"
#include "core/sys.h"
#include "game/g_play_state.h"
#include "game/g_status_block.h"
#include "lib/packed_writer.h"
#include "lib/table_writer.h"
#include "thrown_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr float k_nan = std::numeric_limits<float>::quiet_NaN();
constexpr std::int32_t k_int_max = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t k_int_min = std::numeric_limits<std::int32_t>::min();

// Types 0-6 share their combat values so the difficulty's changes show alone; 7 and the rest
// try the experience curve and the gold.
const EexRecord k_plain = {100.0f, 20.0f, 10.0f, 3.0f, 55.9f, 50.0f, 1};
const std::vector<EexRecord> k_rows = {
    k_plain,
    k_plain,
    k_plain,
    k_plain,
    k_plain,
    k_plain,
    k_plain,
    {200.0f, 30.0f, 12.0f, 4.0f, 70.0f, 70.0f, 60}, // 7: scale 70, the last level
    {1.0f, 1.0f, 1.0f, 0.0f, 3.0e9f, 40.0f, 30},    // 8: scale 40, halfway
    {1.0f, 1.0f, 1.0f, 0.0f, -3.0e9f, 50.0f, 1},    // 9
    {1.0f, 1.0f, 1.0f, 0.0f, k_nan, 50.0f, 1},      // 10
    {1.0f, 1.0f, 1.0f, 0.0f, -7.9f, 50.0f, 1},      // 11
};
const int k_type_count = static_cast<int>(k_rows.size());

// The game tables loaded from files the table writer made: no casts, enemies or items, the
// enemies' experience reward running from 100 at level 1 to 1280 at the last level, and the eex
// rows above.
class EexParams : public ArchiveTest {
protected:
    void SetUp() override
    {
        m_saved_block = g_work_block;
        m_block.assign(1 << 16, 0);
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        GameRecord game;
        game.enemy_exp = {100.0f, 1280.0f};
        const std::vector<ArchiveSource> files = {
            {SCN_CASTINFO_PATH, packed_build(cast_table_build({}))},
            {SCN_ENEMYINFO_PATH, packed_build(enemy_table_build({}))},
            {SCN_INVINFO_PATH, packed_build(item_table_build({}))},
            {SCN_GAMEINFO_PATH, packed_build(game_table_build(game))},
            {SCN_EEX_PATH, packed_build(eex_table_build(k_rows))},
        };
        mount(files, {});
        scn_data_load_tables();
        g_play_state = {};
    }
    void TearDown() override
    {
        g_play_state = {};
        scn_data_free();
        ArchiveTest::TearDown();
        g_work_block = m_saved_block;
    }

    static void set_difficulty(std::int32_t difficulty, bool very_easy)
    {
        g_play_state.game_flags[GF_DIFFICULTY] = difficulty;
        g_play_state.game_flags[GF_VERY_EASY] = very_easy;
    }

    // A block whose every written field shows when it was left alone.
    static StatusBlock params_of(int type)
    {
        StatusBlock status{};
        status.max_hp = status.hp = status.atk = status.def = status.luck = status.exp = -99.0f;
        status.gold = status.level = -99;
        status.max_mp = 7.0f;
        scn_data_eex_params(status, type);
        return status;
    }

    std::vector<std::uint8_t> m_block;
    WorkBlock m_saved_block{};
};

} // namespace

// Normal difficulty takes the record as it is: hit points full, gold truncated, the experience
// reward of the record's level weighed by 2^((scale - 50) / 20) and floored; nothing else changes.
TEST_F(EexParams, TheRecordGivesTheBaseValuesExperienceAndGold)
{
    const struct {
        int type;
        float max_hp, atk, def, luck, exp;
        std::int32_t gold, level;
    } cases[] = {
        {0, 100.0f, 20.0f, 10.0f, 3.0f, 100.0f, 55, 1},     // level 1, scale 50: the curve's start
        {7, 200.0f, 30.0f, 12.0f, 4.0f, 2560.0f, 70, 60},   // level 60, scale 70: twice its end
        {8, 1.0f, 1.0f, 1.0f, 0.0f, 480.0f, k_int_max, 30}, // 680 / sqrt(2) = 480.8; gold stops at the top
        {9, 1.0f, 1.0f, 1.0f, 0.0f, 100.0f, k_int_min, 1},  // ... and at the bottom
        {10, 1.0f, 1.0f, 1.0f, 0.0f, 100.0f, 0, 1},         // NaN gold is none
        {11, 1.0f, 1.0f, 1.0f, 0.0f, 100.0f, -7, 1},        // truncated toward zero
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        const StatusBlock status = params_of(c.type);
        EXPECT_EQ(status.max_hp, c.max_hp);
        EXPECT_EQ(status.hp, c.max_hp);
        EXPECT_EQ(status.atk, c.atk);
        EXPECT_EQ(status.def, c.def);
        EXPECT_EQ(status.luck, c.luck);
        EXPECT_EQ(status.exp, c.exp);
        EXPECT_EQ(status.gold, c.gold);
        EXPECT_EQ(status.level, c.level);
        EXPECT_EQ(status.max_mp, 7.0f) << "not a field of the record";
    }
}

// Hard and Nightmare raise the hit points of every type and the combat values of types 0, 4 and
// 6; Very Easy then takes a quarter of the hit points away. Hit points start full.
TEST_F(EexParams, DifficultyAndVeryEasyChangeHitPointsAndCombatValuesByType)
{
    const struct {
        int type;
        std::int32_t difficulty;
        bool very_easy;
        float max_hp, atk, def;
    } cases[] = {
        {0, 0, false, 100.0f, 20.0f, 10.0f}, {4, 0, false, 100.0f, 20.0f, 10.0f},
        {0, 1, false, 150.0f, 25.0f, 10.0f}, {0, 2, false, 200.0f, 25.0f, 10.0f},
        {4, 1, false, 125.0f, 23.0f, 9.0f},  {4, 2, false, 150.0f, 23.0f, 9.0f},
        {6, 1, false, 125.0f, 25.0f, 10.0f}, {6, 2, false, 150.0f, 25.0f, 10.0f},
        {5, 1, false, 125.0f, 20.0f, 10.0f}, {5, 2, false, 150.0f, 20.0f, 10.0f},
        {1, 1, false, 125.0f, 20.0f, 10.0f}, {3, 0, true, 75.0f, 20.0f, 10.0f},
        {0, 2, true, 150.0f, 25.0f, 10.0f},  {4, 1, true, 93.75f, 23.0f, 9.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "type " << c.type << " difficulty " << c.difficulty << " very easy " << c.very_easy);
        set_difficulty(c.difficulty, c.very_easy);
        const StatusBlock status = params_of(c.type);
        EXPECT_EQ(status.max_hp, c.max_hp);
        EXPECT_EQ(status.hp, c.max_hp);
        EXPECT_EQ(status.atk, c.atk);
        EXPECT_EQ(status.def, c.def);
        EXPECT_EQ(status.exp, 100.0f) << "the reward does not change";
    }
}

// A type outside the loaded rows is a fatal overflow naming the eex table, and the block is left
// as it was.
TEST_F(EexParams, ATypeOutsideTheRowsThrowsNamingTheTable)
{
    for (int type : {k_type_count, k_type_count + 1, -1, std::numeric_limits<int>::min()}) {
        SCOPED_TRACE(type);
        StatusBlock status{};
        status.max_hp = 42.0f;
        EXPECT_THAT(thrown_text([&] { scn_data_eex_params(status, type); }),
                    ::testing::StartsWith("Overflow.(80ff0004h)\r\n->data\\misc\\eex.dat.z\n"));
        EXPECT_EQ(status.max_hp, 42.0f);
    }
    StatusBlock last{};
    scn_data_eex_params(last, k_type_count - 1);
    EXPECT_EQ(last.level, 1);
}
