#include "object/go_script_cmd_flow.h"

#include "doubles/script_harness.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_settings.h"
#include "game/g_sound.h"
#include "game/sound_fixture.h"
#include "lib/wav_writer.h"
#include "lowlv/audio/audio_fixture.h"
#include "lowlv/input/input_device.h"
#include "object/actor/go_actor.h"
#include "platform/impl/test_seams.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

// Effects of the world's effect table: a plain one, and one the cases may mark 3-D.
constexpr std::int32_t k_plain_effect = ACTOR_TEST_OTHER_EFFECT;
constexpr std::int32_t k_spatial_effect = 72;
constexpr const char* k_effect_wavs[] = {"data\\wave\\effect\\other.wav", "data\\wave\\effect\\e72.wav"};
constexpr std::int32_t k_actor_key = 300;
constexpr std::int32_t k_flag = 300; // a game flag with no fixed meaning
constexpr const char* k_groups_word = "GROUPS";

class FlowRowsTest;

// One script run over a prepared world. `body` is action 0 in the assembler's text form, with
// GROUPS standing for the audio manager's group count; pc is compared only for a wait.
struct FlowCase {
    const char* name;
    std::function<void(FlowRowsTest&)> setup;
    std::string body;
    int ticks;
    ScriptState expected;
    std::function<void()> check;
};

void PrintTo(const FlowCase& c, std::ostream* out)
{
    *out << c.name;
}

std::int32_t& flag(std::int32_t index)
{
    return g_play_state.game_flags[index];
}

std::vector<std::uint8_t> short_tone()
{
    const WavFormat mono{1, 22050, 16};
    return wav_build_pcm(mono, wav_tone(mono, 220, 440.0));
}

// The world with the sound tables on the audio manager's loopback device (its thread stopped, so
// every command posted stays in the table for the checks),
// music on, and the timer's counter in the test's hand (milliseconds).
class FlowRowsTest : public ScriptHarnessTest, public ::testing::WithParamInterface<FlowCase> {
public:
    void SetUp() override
    {
        ScriptHarnessTest::SetUp();
        if (HasFatalFailure()) return;
        for (const char* path : k_effect_wavs)
            add_file({path, short_tone()});
        mount();
        sound_effects_start(m_saved_play_effect);
        m_saved_play_bgm = g_play_bgm;
        g_play_bgm = 1;
        m_saved_force = g_input_last_force;
        seam_set_counter([this] { return m_clock_ms; }, 1000);
    }
    void TearDown() override
    {
        seam_set_counter(nullptr, 0);
        g_input_last_force = m_saved_force;
        g_play_bgm = m_saved_play_bgm;
        sound_effects_stop(m_saved_play_effect);
        ScriptHarnessTest::TearDown();
    }

    void set_scenes(std::initializer_list<const char*> paths, std::int32_t current)
    {
        std::vector<SceneListRecord> records;
        for (const char* path : paths)
            records.push_back({.path = path});
        ScriptHarnessTest::set_scenes(records, current);
    }
    void set_scene_text(const char* info_text)
    {
        const SceneListRecord records[] = {{.path = "s_00\\s_0000\\"},
                                           {.path = "s_10\\s_1010\\", .info_text = info_text}};
        ScriptHarnessTest::set_scenes(records, 1);
    }
    using ScriptHarnessTest::add_actor;

    std::int64_t m_clock_ms = 0;

private:
    std::uint8_t m_saved_play_effect = 0;
    std::uint8_t m_saved_play_bgm = 0;
    std::int32_t m_saved_force = 0;
};

std::string replace_groups(std::string body)
{
    const std::size_t at = body.find(k_groups_word);
    if (at != std::string::npos)
        body.replace(at, std::strlen(k_groups_word), std::to_string(audio_group_count()));
    return body;
}

TEST_P(FlowRowsTest, RowOverItsWorld)
{
    const FlowCase& c = GetParam();
    if (c.setup) c.setup(*this);
    const ScriptState state = run_script(replace_groups(c.body), c.ticks);
    EXPECT_EQ(state.ended, c.expected.ended);
    EXPECT_EQ(state.waits, c.expected.waits);
    EXPECT_EQ(state.reg, c.expected.reg);
    if (c.expected.waits) {
        EXPECT_EQ(state.pc, c.expected.pc) << "a wait stands on its call word";
    }
    if (c.check) c.check();
}

// ---- Cases ----------------------------------------------------------------------------------------
constexpr ScriptState k_ended{.ended = true};
constexpr ScriptState k_reg_1{.reg = 1, .ended = true};
// The wait is the script's first word, after `lead` words.
constexpr ScriptState waits_at(std::uint32_t lead)
{
    return {.pc = lead, .waits = true};
}

// A script word that stores REG into flag `k_flag + i`.
std::string keep_reg(int i)
{
    return "call FUNCID_FLAG_SETREG flag:" + std::to_string(k_flag + i) + "\n";
}

std::string calls_keeping_reg(const std::string& call, int count, int first)
{
    std::string body;
    for (int i = 0; i < count; ++i)
        body += call + keep_reg(first + i);
    return body;
}

std::vector<std::int32_t> flags(int first, int count)
{
    return {&flag(k_flag + first), &flag(k_flag + first) + count};
}

void no_posts()
{
    EXPECT_TRUE(posted_commands().empty());
}

void effects_off(FlowRowsTest&)
{
    g_play_effect = 0;
}

void mark_spatial(FlowRowsTest&)
{
    g_sound_table[k_spatial_effect].buffer_flags = SOUND_BUFFER_3D;
}

void actor_at_key(FlowRowsTest& test)
{
    test.add_actor({.key = k_actor_key, .position = {4.0f, 1.0f, -2.0f}});
}

void expect_single(std::uint32_t type, std::int32_t target, std::int32_t param1, std::int32_t param2)
{
    const std::vector<AudioCommand> commands = posted_commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].type, type);
    EXPECT_EQ(commands[0].target, static_cast<std::uint32_t>(target));
    EXPECT_EQ(commands[0].param1, param1);
    EXPECT_EQ(commands[0].param2, param2);
}

void expect_play_at(std::int32_t target, float x, float y, float z)
{
    const std::vector<AudioCommand> commands = posted_commands();
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_EQ(commands[0].type, AUDIO_CMD_PLAY_AT);
    EXPECT_EQ(commands[0].target, static_cast<std::uint32_t>(target));
    EXPECT_EQ(commands[0].position[0], x);
    EXPECT_EQ(commands[0].position[1], y);
    EXPECT_EQ(commands[0].position[2], z);
}

const char* const k_return_first = "s_10\\s_1000\\";
const char* const k_return_last = "s_45\\s_4505\\";

void return_scenes(FlowRowsTest& test, std::int32_t index)
{
    test.set_scenes({"s_00\\s_0000\\", k_return_first, k_return_last}, 0);
    flag(GF_WARP_POINT) = index;
}

const FlowCase k_cases[] = {
    // Waits: a waiting row stands on its call word and runs again on the next tick.
    {"Wait104PassesWithEffectsOff",
     [](FlowRowsTest& t) {
         sound_play(k_plain_effect, 1024);
         effects_off(t);
     },
     "call 104 " + std::to_string(k_plain_effect) + " 0\n", 2, k_ended, nullptr},
    {"Wait104WaitsWhileTheGroupPlays", [](FlowRowsTest&) { sound_play(k_plain_effect, 1024); },
     "SCRIPT_OP_NOP\ncall 104 " + std::to_string(k_plain_effect) + " 0\n", 3, waits_at(1), nullptr},
    {"Wait104PassesForAQuietGroup", nullptr, "call 104 " + std::to_string(k_plain_effect) + " 0\n", 1,
     k_ended, nullptr},
    {"Wait104PassesForAGroupPastTheCount", nullptr, "call 104 GROUPS 0\n", 1, k_ended, nullptr},
    {"Wait260BeforeTheClock", [](FlowRowsTest& t) { t.m_clock_ms = 5999; }, "call 260 6000\n", 2, waits_at(0),
     nullptr},
    {"Wait260AtTheClock", [](FlowRowsTest& t) { t.m_clock_ms = 6000; }, "call 260 6000\n", 1, k_ended,
     nullptr},
    {"Wait260ComparesUnsigned", [](FlowRowsTest& t) { t.m_clock_ms = 0x7FFFFFFF; }, "call 260 -1\n", 1,
     waits_at(0), nullptr},

    // Tests.
    {"Chance249ZeroNeverAndHundredAlwaysAndMinusOneAlways", nullptr,
     calls_keeping_reg("call 249 0\n", 40, 0) + calls_keeping_reg("call 249 100\n", 40, 40) +
         calls_keeping_reg("call 249 -1\n", 40, 80),
     1, k_reg_1,
     [] {
         EXPECT_EQ(flags(0, 40), std::vector<std::int32_t>(40, 0));
         EXPECT_EQ(flags(40, 80), std::vector<std::int32_t>(80, 1));
     }},
    {"PrevScene226",
     [](FlowRowsTest& t) {
         t.set_scenes({"s_00\\s_0000\\", "s_10\\s_1010\\", "s_10\\s_1011\\"}, 2);
         g_play_state.previous_scene_id = 1;
     },
     "call 226 \"S_10/s_1010\"\n" + keep_reg(0) + "call 226 -1\n" + keep_reg(1) +
         "call 226 \"s_10\\s_1011\"\n" + keep_reg(2) + "call 226 \"s_10\\s_1099\"\n" + keep_reg(3),
     1, k_ended,
     [] {
         EXPECT_EQ(flags(0, 4), (std::vector<std::int32_t>{1, 0, 0, 0}));
     }},
    {"SceneText245Set", [](FlowRowsTest& t) { t.set_scene_text("a place"); }, "call 245\n", 1, k_reg_1,
     nullptr},
    {"SceneText245Empty", [](FlowRowsTest& t) { t.set_scene_text(""); }, "SCRIPT_OP_SETINT 1\ncall 245\n", 1,
     k_ended, nullptr},
    {"DifficultyLimit271", [](FlowRowsTest&) {},
     [] {
         std::string body;
         int slot = 0;
         for (int difficulty : {0, 1, 2, 7, -1})
             for (int value : {9, 8}) {
                 body += "call FUNCID_FLAG_SETINT flag:" + std::to_string(GF_DIFFICULTY) + " " +
                         std::to_string(difficulty) + "\n";
                 body += "call FUNCID_FLAG_SETINT flag:400 " + std::to_string(value) + "\n";
                 body += "call 271 flag:400\n" + keep_reg(slot++);
             }
         return body;
     }(),
     1, k_ended,
     [] {
         EXPECT_EQ(flags(0, 10), (std::vector<std::int32_t>{1, 0, 1, 0, 1, 0, 1, 0, 1, 0}));
     }},

    // Scenes and the world.
    {"ReturnTable246First", [](FlowRowsTest& t) { return_scenes(t, 0); }, "call 246\n", 1, k_ended,
     [] { EXPECT_EQ(g_play_state.requested_scene_id, 1); }},
    {"ReturnTable246Last", [](FlowRowsTest& t) { return_scenes(t, 20); }, "call 246\n", 1, k_ended,
     [] { EXPECT_EQ(g_play_state.requested_scene_id, 2); }},
    {"ReturnTable246PastTheTable", [](FlowRowsTest& t) { return_scenes(t, 21); }, "call 246\n", 1, k_ended,
     [] { EXPECT_EQ(g_play_state.requested_scene_id, 0); }},
    {"ReturnTable246BelowTheTable", [](FlowRowsTest& t) { return_scenes(t, -1); }, "call 246\n", 1, k_ended,
     [] { EXPECT_EQ(g_play_state.requested_scene_id, 0); }},
    {"ReturnTable246NotInTheList", [](FlowRowsTest& t) { return_scenes(t, 1); }, "call 246\n", 1, k_ended,
     [] { EXPECT_EQ(g_play_state.requested_scene_id, 0); }},
    {"EnemiesStop279",
     [](FlowRowsTest& t) {
         t.add_actor({.key = k_actor_key, .cast = 14, .spawn_type = ACTOR_SPAWN_ENEMY});
         t.add_actor({.key = k_actor_key + 1, .cast = 90, .spawn_type = ACTOR_SPAWN_FRIEND});
     },
     "call 279\n", 1, k_ended,
     [] {
         EXPECT_EQ(scene_find_actor(k_actor_key)->status.hp, 0.0f);
         EXPECT_GE(scene_find_actor(k_actor_key + 1)->status.hp, 1.0f);
     }},
    {"PadForce266", nullptr, "call 266 4\n", 1, k_ended, [] { EXPECT_EQ(g_input_last_force, 4); }},

    // Sound and music, read from the audio command table.
    {"Sound62", nullptr, "call 62 5 700\n", 1, k_ended, [] { expect_single(AUDIO_CMD_PLAY, 5, 0, 700); }},
    {"Sound62EffectsOff", effects_off, "call 62 5 700\n", 1, k_ended, no_posts},
    {"Sound63", nullptr, "call 63 5 1.5 -2.0 3.25\n", 1, k_ended,
     [] { expect_play_at(5, 1.5f, -2.0f, 3.25f); }},
    {"Sound64SpatialAtTheActor",
     [](FlowRowsTest& t) {
         mark_spatial(t);
         actor_at_key(t);
     },
     "call 64 72 300\n", 1, k_ended,
     [] {
         const D3DXVECTOR3 at = actor_position(*scene_find_actor(k_actor_key));
         expect_play_at(k_spatial_effect, at.x, at.y, at.z);
     }},
    {"Sound64PlainAtFullVolume", actor_at_key, "call 64 5 300\n", 1, k_ended,
     [] { expect_single(AUDIO_CMD_PLAY, 5, 0, 1024); }},
    {"Sound64KeyWithoutAnActor", actor_at_key, "call 64 5 301\n", 1, k_ended, no_posts},
    {"GroupFade65", nullptr, "call 65 5 300\n", 1, k_ended,
     [] { expect_single(AUDIO_CMD_GROUP_FADE_OUT, 5, 300, 0); }},
    {"GroupFade65EffectsOff", effects_off, "call 65 5 300\n", 1, k_ended, no_posts},
    {"MusicFade66", nullptr, "call 66 512 400\n", 1, k_ended,
     [] {
         const std::vector<AudioCommand> commands = posted_commands();
         ASSERT_EQ(commands.size(), 1u);
         EXPECT_EQ(commands[0].type, AUDIO_CMD_STREAM_FADE);
         EXPECT_EQ(commands[0].param1, 512);
         EXPECT_EQ(commands[0].param2, 400);
     }},
    {"MusicFade66MusicOff", [](FlowRowsTest&) { g_play_bgm = 0; }, "call 66 512 400\n", 1, k_ended, no_posts},
    {"GroupFadeTo67", nullptr, "call 67 5 300 200\n", 1, k_ended,
     [] { expect_single(AUDIO_CMD_GROUP_FADE_TO, 5, 300, 200); }},
    {"GroupFadeTo67EffectsOff", effects_off, "call 67 5 300 200\n", 1, k_ended, no_posts},
    {"SnapshotStore252", [](FlowRowsTest&) { flag(k_flag) = 7; }, "call 252\n", 1, k_ended,
     [] {
         flag(k_flag) = 0;
         play_restore_retry_snapshot();
         EXPECT_EQ(flag(k_flag), 7) << "the snapshot holds the play state as the row found it";
     }},
    {"Reload263", nullptr, "call 263 5\n", 1, k_ended,
     [] {
         EXPECT_TRUE(g_sound_table[5].flags & SOUND_GROUP_LOADED);
         no_posts();
     }},
    {"Reload263EffectsOff", effects_off, "call 263 5\n", 1, k_ended,
     [] { EXPECT_FALSE(g_sound_table[5].flags & SOUND_GROUP_LOADED); }},
};

INSTANTIATE_TEST_SUITE_P(Rows, FlowRowsTest, ::testing::ValuesIn(k_cases),
                         [](const ::testing::TestParamInfo<FlowCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
