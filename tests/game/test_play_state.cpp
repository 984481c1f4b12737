#include "game/g_game.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "game/g_settings.h"
#include "game/g_tick.h"

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

// A new game on a small level curve, with the title's choices a test sets.
class NewGame : public PlayStateTest {
protected:
    void SetUp() override
    {
        PlayStateTest::SetUp();
        g_gameinfo = {};
        g_gameinfo.start_level = 1;
        g_gameinfo.player_hp = {60.0f, 999.0f};
        g_gameinfo.player_attack = {8.0f, 300.0f};
        g_gameinfo.player_defence = {4.0f, 250.0f};
        g_gameinfo.player_exp_step = {10.0f, 5000.0f};
        g_title_scene = 1;
        set_choices(0, 0, 0, 0, 0, 0);
    }
    void TearDown() override
    {
        set_choices(0, 0, 0, 0, 0, 0);
        g_gameinfo = {};
        g_title_scene = 0;
        PlayStateTest::TearDown();
    }
    static void set_choices(std::uint8_t difficulty, std::uint8_t clears, std::uint8_t easy, std::uint8_t very_easy,
                            std::uint8_t inferno, std::uint8_t time_attack)
    {
        g_title_game_difficulty = difficulty;
        g_game_clear_flag = clears;
        g_title_easy = easy;
        g_title_very_easy = very_easy;
        g_title_inferno = inferno;
        g_time_attack_mode = time_attack;
        g_title_time_attack_index = 0;
    }
};

TEST_F(NewGame, StartsNormalWithTheStoryUnsetAndTheHeroHealed)
{
    fill_pattern(5);
    g_no_fall = 2;
    g_hud_alpha = 1.0f;
    g_timeattack_stage_ticks = g_timeattack_total_ticks = 99;
    play_state_init();
    const std::int32_t* flags = g_play_state.game_flags;
    EXPECT_EQ(flags[GF_DIFFICULTY], 0);
    EXPECT_EQ(flags[GF_CLEAR_COUNT], 0);
    for (int entry = 0; entry < 90; ++entry) {
        const bool held = entry == 0 || entry == 6 || entry == 12 || entry == 77;
        EXPECT_EQ(flags[entry], held ? 1 : -1) << entry;
    }
    EXPECT_EQ(flags[GF_RING_SLOTS], 1);
    EXPECT_EQ(flags[GF_ITEM_SLOTS], 1);
    EXPECT_EQ(flags[GF_WEAPON], 0);
    EXPECT_EQ(flags[GF_ARMOUR], 12);
    EXPECT_EQ(flags[GF_SHIELD], 6);
    EXPECT_EQ(flags[GF_WEAPON_LEVEL], 3);
    EXPECT_EQ(flags[GF_EASY] | flags[GF_VERY_EASY] | flags[GF_INFERNO] | flags[GF_TIME_ATTACK], 0);
    EXPECT_EQ(g_play_state.new_game, 1);
    EXPECT_EQ(g_play_state.status.level, 1);
    EXPECT_EQ(g_play_state.status.max_hp, 60.0f);
    EXPECT_EQ(g_play_state.status.hp, g_play_state.status.max_hp);
    EXPECT_EQ(g_play_state.status.mp, g_play_state.status.max_mp);
    EXPECT_EQ(g_play_state.status.status_element, STATUS_ELEMENT_NONE);
    for (std::int32_t slot : g_play_state.ring_slots)
        EXPECT_EQ(slot, PLAY_SLOT_EMPTY);
    for (std::int32_t slot : g_play_state.item_list)
        EXPECT_EQ(slot, PLAY_SLOT_EMPTY);
    EXPECT_EQ(g_play_state.selected_magic, PLAY_NO_MAGIC);
    EXPECT_EQ(g_play_state.gallery[0] + g_play_state.gallery[1] + g_play_state.gallery[2], 3);
    EXPECT_EQ(g_play_state.gallery[3], 0);
    EXPECT_EQ(g_no_fall, 0);
    EXPECT_EQ(g_hud_alpha, 0.0f);
    EXPECT_EQ(g_timeattack_stage_ticks + g_timeattack_total_ticks, 0);
    EXPECT_EQ(g_play_state.arrival.tag[0], '\0');
}

TEST_F(NewGame, TakesTheTitlesChoices)
{
    set_choices(2, 3, 1, 1, 1, 0);
    play_state_init();
    const std::int32_t* flags = g_play_state.game_flags;
    EXPECT_EQ(flags[GF_DIFFICULTY], 2);
    EXPECT_EQ(flags[GF_CLEAR_COUNT], 3);
    EXPECT_EQ(flags[GF_EASY], 1);
    EXPECT_EQ(flags[GF_VERY_EASY], 1);
    EXPECT_EQ(flags[GF_INFERNO], 1);

    const struct {
        std::uint8_t index;
        std::int32_t stage;
    } stages[] = {{0, 1}, {1, 1}, {4, 4}};
    for (const auto& s : stages) {
        set_choices(0, 0, 0, 0, 0, 1);
        g_title_time_attack_index = s.index;
        play_state_init();
        EXPECT_EQ(g_play_state.game_flags[GF_TIME_ATTACK], 1);
        EXPECT_EQ(g_play_state.game_flags[GF_TA_STAGE], s.stage);
        EXPECT_STREQ(g_play_state.arrival.tag, "timeattack_init");
    }
}

TEST_F(NewGame, TheRetrySnapshotIsTheNewGameAskingForTheTitle)
{
    play_state_init();
    PlayState expected;
    std::memcpy(&expected, &g_play_state, sizeof expected);
    expected.requested_scene_id = g_title_scene;
    EXPECT_EQ(g_play_state.requested_scene_id, 0) << "the live record asks for nothing";

    play_restore_retry_snapshot();
    EXPECT_EQ(std::memcmp(&g_play_state, &expected, sizeof expected), 0);
}

TEST_F(NewGame, StartsAtTheGameDatasLevel)
{
    g_gameinfo.start_level = 3;
    play_state_init();
    EXPECT_EQ(g_play_state.status.level, 3);
    EXPECT_FLOAT_EQ(g_play_state.status.exp, 10.0f + (10.0f + 4990.0f / 59.0f));
    EXPECT_EQ(g_play_state.status.hp, g_play_state.status.max_hp);
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
