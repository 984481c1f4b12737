#include "game/g_achievements.h"

#include "achv_fixture.h"
#include "core/sys.h"
#include "core/vfs.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "lib/archive_writer.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"
#include "object/go_script.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "thrown_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using ::testing::StartsWith;

constexpr const char* k_path = "data\\map\\test.xso";

std::int32_t& flag(int index)
{
    return g_play_state.game_flags[index];
}

// Event scripts run by the program's interpreter with its command table, from an archive of
// their own, on the achievements' store.
class AchievementRows : public AchievementStore {
protected:
    void SetUp() override
    {
        AchievementStore::SetUp();
        ASSERT_EQ(obj_create_pools(), S_OK);
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        script_install_commands();
    }
    void TearDown() override
    {
        obj_destroy_all();
        obj_destroy_pools();
        vfs_close_all();
        g_work_block = m_saved_block;
        AchievementStore::TearDown();
    }

    // Action 0 of `body`, started as a scene starts its scripts: loaded and run at once.
    void Run(const std::string& body)
    {
        vfs_close_all();
        const ArchiveSource file{std::string(k_path) + ".z",
                                 packed_build(sasm_assemble_or_throw("action 0\n" + body))};
        ASSERT_TRUE(archive_write_set(m_data.path(), {&file, 1}, {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
        GoScript* script = obj_create<GoScript>(g_pool_script);
        ASSERT_NE(script, nullptr);
        script->Load(k_path, "test", {});
        script->Run();
    }
    void RunEvent(const std::string& name) { Run("call FUNCID_EVENT \"" + name + "\"\n"); }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    TempFolder m_data;
};

const std::string k_kid_tracking = "That's the Last Time, Kid Tracking";

} // namespace

// Each named event acts as its row says; names are matched whole and case-sensitively.
TEST_F(AchievementRows, NamedEventsUnlockTheirAchievements)
{
    const struct {
        const char* name;
        std::vector<int> unlocked;
    } cases[] = {
        {"LiskQuest", {23}},
        {"GubblerQuest", {24}},
        {"JadeRing", {25}},
        {"BeatCastovin", {29}},
        {"BeatBlackGubbler", {30}},
        {"GameEnd", {}},
        {"ResetBossDeaths", {}},
        {"jadering", {}},
        {"JadeRing2", {}},
        {"Jade", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Preset({});
        RunEvent(c.name);
        if (c.unlocked.empty()) {
            EXPECT_TRUE(seam_stats_call_log().empty());
        }
        EXPECT_EQ(UnlockedList(), c.unlocked);
    }
    Preset({});
    Run("call FUNCID_EVENT -1\n");
    EXPECT_TRUE(seam_stats_call_log().empty());
}

// The difficulty's bit number: Very Easy before Easy before Inferno, then the level.
TEST_F(AchievementRows, EscortEventsTrackTheDifficultysBit)
{
    const struct {
        const char* name;
        std::vector<std::pair<int, std::int32_t>> flags;
        std::int32_t bit;
    } cases[] = {
        {"Nightmare", {{GF_DIFFICULTY, 2}}, 1 << 4},
        {"Normal", {{GF_DIFFICULTY, 0}}, 1 << 2},
        {"Hard", {{GF_DIFFICULTY, 1}}, 1 << 3},
        {"Very Easy", {{GF_EASY, 1}, {GF_VERY_EASY, 1}}, 1 << 0},
        {"Easy", {{GF_EASY, 1}}, 1 << 1},
        {"Inferno", {{GF_INFERNO, 1}, {GF_DIFFICULTY, 2}}, 1 << 5},
        {"Very Easy over Inferno", {{GF_VERY_EASY, 1}, {GF_INFERNO, 1}}, 1 << 0},
        {"an unknown level", {{GF_DIFFICULTY, 3}}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Preset({});
        g_play_state = {};
        for (const auto& [index, value] : c.flags)
            flag(index) = value;
        RunEvent("EscortTorin");
        EXPECT_EQ(Stat(k_kid_tracking), c.bit);
        EXPECT_EQ(Stat("Forever Alone Tracking"), 0);
    }

    Preset({{{"Forever Alone Tracking", 0x3D}}, {}});
    g_play_state = {};
    flag(GF_EASY) = 1;
    RunEvent("EscortMirel");
    EXPECT_EQ(Stat("Forever Alone Tracking"), 0x3F);
    EXPECT_EQ(UnlockedList(), std::vector<int>{ACHV_FOREVER_ALONE});
}

// "Like a Boss" needs the boss fight since the reset to leave no hurt recorded.
TEST_F(AchievementRows, MorthaneHurtIsResetThenChecked)
{
    const struct {
        const char* name;
        std::int32_t hurt_before;
        const char* body;
        std::int32_t hurt_after;
        bool unlocked;
    } cases[] = {
        {"check after the reset", 7,
         "call FUNCID_EVENT \"ResetMorthaneHurt\"\ncall FUNCID_EVENT \"CheckMorthaneHurt\"\n", 0, true},
        {"check with hurt recorded", 3, "call FUNCID_EVENT \"CheckMorthaneHurt\"\n", 3, false},
        {"reset alone", 5, "call FUNCID_EVENT \"ResetMorthaneHurt\"\n", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Preset({});
        flag(GF_DAMAGE_TAKEN) = c.hurt_before;
        Run(c.body);
        EXPECT_EQ(flag(GF_DAMAGE_TAKEN), c.hurt_after);
        EXPECT_EQ(Unlocked(ACHV_LIKE_A_BOSS), c.unlocked);
    }
}

TEST_F(AchievementRows, JewelCheckCountsTheJewels)
{
    Preset({});
    flag(GF_MAGIC_LEVEL_0) = flag(GF_MAGIC_LEVEL_1) = flag(GF_MAGIC_LEVEL_2) = 3;
    RunEvent("JewelCheck");
    EXPECT_EQ(Stat("Bedazzled Stat"), 9);
    EXPECT_TRUE(Unlocked(ACHV_BEDAZZLED));
}

// A topic made known raises the collections at once; the last people topic unlocks theirs.
TEST_F(AchievementRows, TopicKnownRaisesTheCollections)
{
    Preset({});
    Run("call FUNCID_TOPIC_KNOWN 63\ncall FUNCID_TOPIC_KNOWN 171\ncall FUNCID_TOPIC_KNOWN 0\n");
    EXPECT_EQ(g_play_state.topics[63].known, 1);
    EXPECT_EQ(g_play_state.topics[171].known, 1);
    EXPECT_EQ(g_play_state.topics[0].known, 1);
    EXPECT_EQ(Stat("Beast Master Stat"), 2);
    EXPECT_EQ(Stat("Social Butterfly Stat"), 0);

    Preset({});
    know_topics(std::span(ACHV_PEOPLE_TOPICS).first(31)); // all but 91
    Run("call FUNCID_TOPIC_KNOWN 91\n");
    EXPECT_EQ(Stat("Social Butterfly Stat"), 32);
    EXPECT_EQ(UnlockedList(), std::vector<int>{ACHV_SOCIAL_BUTTERFLY});
    EXPECT_EQ(Stat("Overachiever Stat"), 1);
}

// The play state holds topics 0-176: any other number is fatal, naming the script, and marks nothing.
TEST_F(AchievementRows, ATopicNumberOutside0To176IsFatal)
{
    for (std::int32_t n : {177, -1, 1000}) {
        SCOPED_TRACE(n);
        g_play_state = {};
        EXPECT_THAT(thrown_text([&] { Run("call FUNCID_TOPIC_KNOWN " + std::to_string(n) + "\n"); }),
                    StartsWith("E_FAIL(80004005h)\r\n->Topic number out of range: " + std::to_string(n) +
                               " (script test)\ng_achievements("));
        EXPECT_EQ(Stat("Beast Master Stat"), 0);
    }
    Run("call FUNCID_TOPIC_KNOWN 176\n");
    EXPECT_EQ(g_play_state.topics[176].known, 1);
}
