#include "game/g_game_flags.h"
#include "game/g_play_state.h"

#include "lowlv/d3d/renderer_frame.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

class PlayStateTest : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }

    static void clear()
    {
        std::memset(&g_play_state, 0, sizeof g_play_state);
        std::memset(g_retry_snapshot, 0, sizeof g_retry_snapshot);
    }

    // Every byte differs from its neighbours, so a shifted or partial copy shows.
    static void fill_pattern(std::uint8_t seed)
    {
        auto* bytes = reinterpret_cast<std::uint8_t*>(&g_play_state);
        for (std::size_t i = 0; i < PLAY_STATE_SIZE; ++i)
            bytes[i] = static_cast<std::uint8_t>(i * 7 + seed);
    }
};

TEST_F(PlayStateTest, RetrySnapshotGivesBackTheStoredRecordByteForByte)
{
    fill_pattern(3);
    g_play_state.game_flags[GF_RETRY_COUNT] = 12;
    g_play_state.status.hp = 37.5f;
    PlayState stored;
    std::memcpy(&stored, &g_play_state, sizeof stored);

    play_store_retry_snapshot();
    fill_pattern(91);
    play_restore_retry_snapshot();

    EXPECT_EQ(std::memcmp(&g_play_state, &stored, PLAY_STATE_SIZE), 0);
    EXPECT_EQ(play_state_get().game_flags[GF_RETRY_COUNT], 12);
    EXPECT_EQ(play_state_get().status.hp, 37.5f);
}

TEST_F(PlayStateTest, RetrySnapshotIsScrambledInMemory)
{
    fill_pattern(3);
    play_store_retry_snapshot();

    std::size_t plain = 0;
    const auto* record = reinterpret_cast<const std::uint8_t*>(&g_play_state);
    for (std::size_t i = 0; i < PLAY_STATE_SIZE; ++i)
        if (g_retry_snapshot[i] == record[i]) ++plain;
    // A keystream leaves about one byte in 256 as it was.
    EXPECT_LT(plain, PLAY_STATE_SIZE / 64);
}

TEST(PlayStateLight, StartsFromTheRendererDefaults)
{
    const SceneLighting& light = play_scene_lighting();
    EXPECT_EQ(std::memcmp(&light, &g_scene_lighting_defaults, sizeof light), 0);
    EXPECT_NE(g_scene_lighting_defaults.light_direction.y, 0.0f); // the defaults are not zero
}

TEST(GameFlags, NamedEntriesSitAtTheirNumbers)
{
    struct Case {
        int name;
        int entry;
    };
    const Case cases[] = {
        {GF_ITEM_COUNT, 0},
        {GF_EXITS_OFF, 95},
        {GF_SEALED_FOES_OPEN, 96},
        {GF_AI_FROZEN, 97},
        {GF_LIVE_ENEMIES, 98},
        {GF_CLEAR_COUNT, 102},
        {GF_WARP_POINT, 103},
        {GF_BOOST_RUNNING, 107},
        {GF_EASY, 109},
        {GF_DIFFICULTY, 110},
        {GF_EQUIP_SET, 116},
        {GF_WEAPON, 117},
        {GF_ARMOUR, 118},
        {GF_SHIELD, 119},
        {GF_RING_SLOTS, 120},
        {GF_ITEM_SLOTS, 121},
        {GF_BATTLE, 122},
        {GF_ENTRY_VALUE, 126},
        {GF_DUSCA, 128},
        {GF_DOUBLE_JUMP, 129},
        {GF_WEAPON_LEVEL, 130},
        {GF_DASH, 147},
        {GF_MAGIC_LEVEL_0, 148},
        {GF_MAGIC_LEVEL_1, 149},
        {GF_MAGIC_LEVEL_2, 150},
        {GF_HUD_SHOWN, 151},
        {GF_EVENT_RUNNING, 152},
        {GF_ACTOR_SOUND_PULL, 158},
        {GF_TIME_ATTACK, 159},
        {GF_TA_CLOCK_STARTED, 160},
        {GF_TA_STAGE, 161},
        {GF_RETRY_COUNT, 162},
        {GF_CLEAR_BONUS_USED, 165},
        {GF_PLAY_FRAMES, 166},
        {GF_HITS_LANDED, 167},
        {GF_INFERNO, 168},
        {GF_QUICK_SAVE_OK, 169},
        {GF_VERY_EASY, 170},
        {GF_SHOWOFF_COUNT, 464},
        {GF_BOSS_DEATHS, 465},
        {GF_DAMAGE_TAKEN, 466},
        {GF_SHOWOFF_START, 467},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.name, c.entry) << "entry " << c.entry;
    EXPECT_EQ(GF_ITEM_COUNT_END, 90);
    // The damage counter is also read as the record's word at 6848.
    EXPECT_EQ(offsetof(PlayState, game_flags) + GF_DAMAGE_TAKEN * sizeof(std::int32_t), 6848u);
}

} // namespace
