// The achievements and records as the running game has them: "Showoff"'s one-second window
// closed by the main loop's frames, and the time-attack records read at start-up. The game's
// store lives in the test user's own data home, a temporary folder.
#include "game/g_achievements.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_ta.h"
#include "lib/ta_writer.h"
#include "platform/steam_api.h"

#include "app_fixture.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::int32_t showoff_stat()
{
    std::int32_t value = -1;
    EXPECT_TRUE(SteamUserStats()->GetStat("Showoff Stat", &value));
    return value;
}

bool showoff_unlocked()
{
    bool achieved = true;
    EXPECT_TRUE(SteamUserStats()->GetAchievement(achv_name(ACHV_SHOWOFF), &achieved));
    return achieved;
}

} // namespace

// Four defeats and then more than a second of play: the main loop closes the window and the
// fifth defeat starts a new count. Five defeats within 59 ticks (983 ms) unlock "Showoff".
TEST_F(FramePass, ShowoffNeedsFiveDefeatsWithinOneSecondOfPlay)
{
    ASSERT_NE(SteamUserStats(), nullptr);
    std::int32_t* flags = g_play_state.game_flags;
    flags[GF_PLAY_FRAMES] = 600;
    for (int defeat = 0; defeat < 4; ++defeat) {
        achv_count_showoff();
        run_frame(k_tick);
    }
    EXPECT_EQ(flags[GF_SHOWOFF_COUNT], 4);
    EXPECT_EQ(flags[GF_SHOWOFF_START], 10000);
    for (int frame = 4; frame < 60; ++frame)
        run_frame(k_tick);
    EXPECT_EQ(flags[GF_SHOWOFF_COUNT], 4) << "1000 ms after the start the window is open";
    run_frame(k_tick);
    EXPECT_EQ(flags[GF_SHOWOFF_COUNT], 0);
    achv_count_showoff();
    EXPECT_EQ(flags[GF_SHOWOFF_COUNT], 1);
    EXPECT_EQ(showoff_stat(), 4);
    EXPECT_FALSE(showoff_unlocked());

    for (int ticks_before : {15, 15, 15, 14}) {
        for (int frame = 0; frame < ticks_before; ++frame)
            run_frame(k_tick);
        achv_count_showoff();
    }
    EXPECT_EQ(flags[GF_SHOWOFF_COUNT], 5);
    EXPECT_EQ(showoff_stat(), 5);
    EXPECT_TRUE(showoff_unlocked());
}

// Start-up reads both record files: ones written by the tools are in force after it, and a
// damaged one leaves the defaults.
TEST(RecordsAtStart, GameInitReadsBothRecordFiles)
{
    std::vector<std::uint8_t> times = record_time_table();
    record_put_time(times, ta_index(1, 0), 612345, 0);
    std::array<std::uint32_t, 12> story_words{};
    story_words[4] = 7200000;
    const struct {
        const char* name;
        bool damaged;
    } cases[] = {{"as written", false}, {"damaged", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartedGame game(game_ini_with_sound(false, false));
        std::vector<std::uint8_t> record = record_file_bytes(times, 0x1234567);
        if (c.damaged) record.at(RECORD_HEADER_SIZE + 5) ^= 0x40;
        GameInstall::write_text(game.user().user_folder() / "record.ta",
                                std::string(record.begin(), record.end()));
        const std::vector<std::uint8_t> story = record_file_bytes(record_story_table(story_words), 0x7654321);
        GameInstall::write_text(game.user().user_folder() / "record.ta2",
                                std::string(story.begin(), story.end()));
        std::memset(&g_ta_records, 0x5A, sizeof g_ta_records);
        std::memset(&g_ta_story_times, 0x5A, sizeof g_ta_story_times);

        ASSERT_EQ(game.start(), S_OK) << g_error_text;
        EXPECT_EQ(g_ta_records.entries[ta_index(1, 0)].best_ms, c.damaged ? 0u : 612345u);
        EXPECT_EQ(g_ta_records.entries[ta_index(2, 3)].best_ms, 0u);
        EXPECT_EQ(g_ta_records.entries[ta_index(2, 3)].reserved_word, -1);
        EXPECT_EQ(g_ta_story_times.entries[2].best_ms, 7200000u);
    }
}
