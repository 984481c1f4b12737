#include "doubles/boss_doubles.h"
#include "doubles/script_harness.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/obj_pools.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr const char* k_boss1_arena = "s_20\\s_2099\\";
constexpr const char* k_last_arena = "s_62\\s_6298\\";
constexpr std::int32_t k_boss7_defeated = 234;
constexpr std::uint8_t k_boss_classes[] = {GO_CLASS_BOSS1, GO_CLASS_BOSS2, GO_CLASS_BOSS3, GO_CLASS_BOSS4,
                                           GO_CLASS_BOSS5, GO_CLASS_BOSS7, GO_CLASS_BOSS8};

std::string boss_call(const std::string& words)
{
    return script_call(149, words);
}

// A call word of the boss command with the count given, whatever words follow it.
std::string boss_call_counted(std::uint32_t count, const std::string& words)
{
    return "word " + std::to_string(0x02095000u | count) + " " + words + "\n";
}

std::vector<std::uint8_t> classes_with_a_boss()
{
    std::vector<std::uint8_t> classes;
    for (std::uint8_t code : k_boss_classes)
        if (boss_of_class(code)) classes.push_back(code);
    return classes;
}

void expect_position(const GoBoss& boss, float x, float y, float z)
{
    const D3DXVECTOR3 at = matrix_position(boss.world);
    EXPECT_EQ(at.x, x);
    EXPECT_EQ(at.y, y);
    EXPECT_EQ(at.z, z);
}

void expect_vector(const D3DVECTOR& actual, const D3DVECTOR& expected, const char* field)
{
    EXPECT_FLOAT_EQ(actual.x, expected.x) << field;
    EXPECT_FLOAT_EQ(actual.y, expected.y) << field;
    EXPECT_FLOAT_EQ(actual.z, expected.z) << field;
}

void expect_block(const BossControl& actual, const BossControl& expected)
{
    EXPECT_EQ(actual.mode, expected.mode);
    EXPECT_EQ(actual.anim, expected.anim);
    EXPECT_EQ(actual.anim_blend, expected.anim_blend);
    EXPECT_EQ(actual.anim_first, expected.anim_first);
    EXPECT_EQ(actual.anim_last, expected.anim_last);
    EXPECT_FLOAT_EQ(actual.alpha_rate, expected.alpha_rate);
    EXPECT_FLOAT_EQ(actual.alpha_target, expected.alpha_target);
    expect_vector(actual.move_target, expected.move_target, "move_target");
    expect_vector(actual.move_velocity, expected.move_velocity, "move_velocity");
    EXPECT_FLOAT_EQ(actual.move_stop_radius, expected.move_stop_radius);
    EXPECT_FLOAT_EQ(actual.yaw_target, expected.yaw_target);
    EXPECT_FLOAT_EQ(actual.turn_speed, expected.turn_speed);
    EXPECT_FLOAT_EQ(actual.value_f, expected.value_f);
    EXPECT_EQ(actual.value_i, expected.value_i);
}

// The harness over a scene list whose current scene is an arena, the arena table's rows making
// the logging bosses.
class BossRowsTest : public ScriptHarnessTest {
protected:
    void SetUp() override
    {
        ScriptHarnessTest::SetUp();
        m_rows = boss_logging_rows();
        boss_install_arena_rows(m_rows);
        g_boss_log.clear();
    }
    void TearDown() override
    {
        boss_install_arena_rows(boss_arena_rows());
        ScriptHarnessTest::TearDown();
        g_boss_log.clear();
    }

    void enter(const char* folder)
    {
        const SceneListRecord records[] = {{.path = "s_00\\s_0000\\"}, {.path = folder}};
        set_scenes(records, 1);
    }

    std::vector<BossArenaRow> m_rows;
};

// ---- Without a boss ---------------------------------------------------------------------------------
TEST_F(BossRowsTest, WithoutABossBothWaitsPassAndEveryCommandDoesNothing)
{
    std::string commands;
    for (const char* words :
         {"1", "2 1", "3 7 1", "4 0.5 1.0", "5 1.0 3.0 0.0 4.0 0.5", "6 90.0 0.1", "7 3", "8", "9 2.5"})
        commands += boss_call(words);
    const std::string waits = script_call(108) + script_call(109);
    struct Case {
        const char* name;
        bool game_rows;
        std::string body;
    };
    const Case cases[] = {
        {"the game's rows make no boss", true, boss_call("0 1.0 2.0 3.0") + commands + waits},
        {"commands before a creation find none", false, commands + waits},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boss_install_arena_rows(c.game_rows ? boss_arena_rows() : std::span<const BossArenaRow>(m_rows));
        enter(k_boss1_arena);
        const ScriptState state = run_script(c.body);
        EXPECT_TRUE(state.ended) << "neither wait held the script";
        EXPECT_TRUE(classes_with_a_boss().empty());
        EXPECT_TRUE(g_boss_log.empty());
    }
}

// ---- Creation ---------------------------------------------------------------------------------------
TEST_F(BossRowsTest, CreationRunsInitOnceAndASecondCreationOnlyMoves)
{
    enter(k_boss1_arena);
    run_script(boss_call("0 1.0 2.0 3.0") + boss_call("7 42"));
    GoBoss* boss = boss_of_class(GO_CLASS_BOSS1);
    ASSERT_NE(boss, nullptr);
    expect_position(*boss, 1.0f, 2.0f, 3.0f);
    const std::uint32_t id = boss->object_id;

    run_script(boss_call("0 -4.0 0.5 6.0"));
    ASSERT_EQ(boss_of_class(GO_CLASS_BOSS1), boss);
    EXPECT_EQ(boss->object_id, id);
    expect_position(*boss, -4.0f, 0.5f, 6.0f);
    EXPECT_EQ(boss->control.value_i, 42) << "Init did not run again";
    EXPECT_EQ(boss_log_of(GO_CLASS_BOSS1, BossEvent::init).size(), 1u);
    EXPECT_EQ(classes_with_a_boss(), std::vector<std::uint8_t>{GO_CLASS_BOSS1});
}

// Each arena's class is made by command 0 and gets the other commands on its first block; the
// folder compares without regard to case.
TEST_F(BossRowsTest, TheArenaOfTheCurrentSceneChoosesTheClass)
{
    struct Case {
        const char* folder;
        std::int32_t boss7_defeated;
        std::uint8_t expected; // 0: none
    };
    const Case cases[] = {
        {"s_20\\s_2099\\", 0, GO_CLASS_BOSS1},
        {"s_36\\s_3699\\", 0, GO_CLASS_BOSS2},
        {"s_25\\s_2599\\", 0, GO_CLASS_BOSS3},
        {"s_45\\s_4599\\", 0, GO_CLASS_BOSS4},
        {"s_55\\s_5699\\", 0, GO_CLASS_BOSS5},
        {"s_61\\s_6199\\", 0, GO_CLASS_BOSS5},
        {"s_62\\s_6299\\", 0, GO_CLASS_BOSS7},
        {"s_62\\s_6298\\", 0, GO_CLASS_BOSS7},
        {"s_62\\s_6298\\", 1, GO_CLASS_BOSS8},
        {"S_20\\S_2099\\", 0, GO_CLASS_BOSS1},
        {"s_20\\s_2098\\", 0, 0},
        {"s_62\\s_6299\\", 1, GO_CLASS_BOSS7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.folder) + " with the flag " + std::to_string(c.boss7_defeated));
        obj_destroy_all();
        enter(c.folder);
        g_play_state.game_flags[k_boss7_defeated] = c.boss7_defeated;
        run_script(boss_call("0 1.0 2.0 3.0") + boss_call("7 5"));
        const std::vector<std::uint8_t> expected =
            c.expected ? std::vector<std::uint8_t>{c.expected} : std::vector<std::uint8_t>{};
        ASSERT_EQ(classes_with_a_boss(), expected);
        if (!c.expected) continue;
        EXPECT_EQ(boss_of_class(c.expected)->control.value_i, 5);
        expect_position(*boss_of_class(c.expected), 1.0f, 2.0f, 3.0f);
    }
}

TEST_F(BossRowsTest, OnceGoBoss7IsDefeatedTheLastArenaCommandsGoBoss8WhileTheWaitsWatchGoBoss7)
{
    enter(k_last_arena);
    run_script(boss_call("0 1.0 0.0 1.0"));
    GoBoss* boss7 = boss_of_class(GO_CLASS_BOSS7);
    ASSERT_NE(boss7, nullptr);

    g_play_state.game_flags[k_boss7_defeated] = 1;
    run_script(boss_call("0 5.0 0.0 5.0") + boss_call("7 9") + boss_call("1"));
    GoBoss* boss8 = boss_of_class(GO_CLASS_BOSS8);
    ASSERT_NE(boss8, nullptr);
    EXPECT_EQ(boss8->control.value_i, 9);
    EXPECT_NE(boss8->flags & GO_FLAG_DEAD, 0);
    EXPECT_EQ(boss7->control.value_i, 0);
    EXPECT_EQ(boss7->flags & GO_FLAG_DEAD, 0) << "the script cannot reach GoBoss7 any more";
    expect_position(*boss7, 1.0f, 0.0f, 1.0f);

    boss7->control.move_stop_radius = 1.0f;
    EXPECT_TRUE(run_script(script_call(109), 3).waits);
    boss7->control.move_stop_radius = 0.0f;
    boss8->control.move_stop_radius = 1.0f;
    EXPECT_TRUE(run_script(script_call(109)).ended);
}

// ---- Codes 1-9 --------------------------------------------------------------------------------------
struct ControlCase {
    const char* name;
    std::string words;
    std::function<void(BossControl&)> expected; // applied to the block the boss had
};

void PrintTo(const ControlCase& c, std::ostream* out)
{
    *out << c.name;
}

class BossControlTest : public BossRowsTest, public ::testing::WithParamInterface<ControlCase> {};

// The boss stands at (1, 0, 1) with an active hit shape; its update logs the block it finds.
TEST_P(BossControlTest, CommandWritesTheBlockTheBossReads)
{
    const ControlCase& c = GetParam();
    enter(k_boss1_arena);
    GoBoss* boss = boss_make_logging(GO_CLASS_BOSS1);
    ASSERT_NE(boss, nullptr);
    matrix_set_position(boss->world, {1.0f, 0.0f, 1.0f});
    boss->hit_shape.class_bits = HIT_OBJECT | HIT_ACTIVE;
    BossControl expected{};
    c.expected(expected);

    EXPECT_TRUE(run_script(boss_call(c.words)).ended);
    expect_block(boss->control, expected);
    const std::vector<BossLogEntry> seen = boss_log_of(GO_CLASS_BOSS1, BossEvent::control);
    const BossControl untouched{};
    if (std::memcmp(&expected, &untouched, sizeof expected) == 0) {
        EXPECT_TRUE(seen.empty()) << "nothing written, nothing for the boss to find";
        return;
    }
    ASSERT_EQ(seen.size(), 1u) << "the boss's update found the block changed";
    expect_block(seen.back().control, expected);
}

const ControlCase k_control_cases[] = {
    {"script mode", "2 3", [](BossControl& b) { b.mode = 3; }},
    {"animation with three words", "3 7 1",
     [](BossControl& b) {
         b.anim = 7;
         b.anim_blend = 1;
         b.anim_last = -1;
     }},
    {"animation with four words", "3 7 0 5",
     [](BossControl& b) {
         b.anim = 7;
         b.anim_first = 5;
         b.anim_last = -1;
     }},
    {"animation with five words", "3 7 1 10 20",
     [](BossControl& b) {
         b.anim = 7;
         b.anim_blend = 1;
         b.anim_first = 10;
         b.anim_last = 20;
     }},
    {"alpha", "4 0.5 0.25",
     [](BossControl& b) {
         b.alpha_rate = 0.5f;
         b.alpha_target = 0.25f;
     }},
    {"move: the velocity points from the boss to the target", "5 2.0 4.0 0.0 5.0 0.5",
     [](BossControl& b) {
         b.move_target = {4.0f, 0.0f, 5.0f};
         b.move_velocity = {1.2f, 0.0f, 1.6f};
         b.move_stop_radius = 0.5f;
     }},
    {"move onto the boss's own position", "5 2.0 1.0 0.0 1.0 0.5",
     [](BossControl& b) {
         b.move_target = {1.0f, 0.0f, 1.0f};
         b.move_stop_radius = 0.5f;
     }},
    {"turn 270 degrees: -90 less a half turn", "6 270.0 0.1",
     [](BossControl& b) {
         b.yaw_target = -4.712389f;
         b.turn_speed = 0.1f;
     }},
    {"turn -270 degrees: not folded", "6 -270.0 0.1",
     [](BossControl& b) {
         b.yaw_target = -7.853982f;
         b.turn_speed = 0.1f;
     }},
    {"integer value", "7 -12", [](BossControl& b) { b.value_i = -12; }},
    {"code 8 does nothing", "8 5", [](BossControl&) {}},
    {"float value", "9 2.5", [](BossControl& b) { b.value_f = 2.5f; }},
    {"code 10 is ignored", "10 5", [](BossControl&) {}},
    {"code 125 of another class is ignored", "125", [](BossControl&) {}},
    {"a negative code is ignored", "-1 5", [](BossControl&) {}},
};

INSTANTIATE_TEST_SUITE_P(Codes, BossControlTest, ::testing::ValuesIn(k_control_cases));

TEST_F(BossRowsTest, KillMarksTheBossDeadAndOutOfTheHitTests)
{
    enter(k_boss1_arena);
    GoBoss* boss = boss_make_logging(GO_CLASS_BOSS1);
    ASSERT_NE(boss, nullptr);
    boss->hit_shape.class_bits = HIT_OBJECT | HIT_ACTIVE;
    run_script(boss_call("1"));
    EXPECT_NE(boss->flags & GO_FLAG_DEAD, 0);
    EXPECT_EQ(boss->hit_shape.class_bits, HIT_OBJECT);
    EXPECT_EQ(boss_of_class(GO_CLASS_BOSS1), boss) << "the sweep deletes it, not the command";
}

// ---- Argument counts --------------------------------------------------------------------------------
// The count of the call word rules: words it does not reach are 0 even when the code holds them,
// and words it reaches past the end of the code are 0 too.
TEST_F(BossRowsTest, WordsTheCallDoesNotHoldReadAsZero)
{
    struct Case {
        const char* name;
        std::string body;
        bool created;
        D3DXVECTOR3 position;
        std::function<void(BossControl&)> expected;
    };
    const Case cases[] = {
        {"a count of 0 is ignored", boss_call_counted(0, "0"), false, {}, nullptr},
        {"count 1: creation at the origin", boss_call_counted(1, "0"), true, {0.0f, 0.0f, 0.0f}, nullptr},
        {"count 4 with two words left in the code",
         boss_call_counted(4, "0 1.5"),
         true,
         {1.5f, 0.0f, 0.0f},
         nullptr},
        {"count 2 leaves the next instruction unread",
         boss_call_counted(2, "0 1.5") + "SCRIPT_OP_YIELD\n",
         true,
         {1.5f, 0.0f, 0.0f},
         nullptr},
        {"animation: count 5 with three words left in the code",
         boss_call("0 1.0 2.0 3.0") + boss_call_counted(5, "3 7 1"),
         true,
         {1.0f, 2.0f, 3.0f},
         [](BossControl& b) {
             b.anim = 7;
             b.anim_blend = 1;
         }},
        {"move with four words: z and the stop radius are 0",
         boss_call("0 0.0 0.0 0.0") + boss_call("5 2.0 3.0 4.0"),
         true,
         {0.0f, 0.0f, 0.0f},
         [](BossControl& b) {
             b.move_target = {3.0f, 4.0f, 0.0f};
             b.move_velocity = {1.2f, 1.6f, 0.0f};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        obj_destroy_all();
        enter(k_boss1_arena);
        run_script(c.body, 2);
        GoBoss* boss = boss_of_class(GO_CLASS_BOSS1);
        ASSERT_EQ(boss != nullptr, c.created);
        if (!boss) continue;
        expect_position(*boss, c.position.x, c.position.y, c.position.z);
        BossControl expected{};
        if (c.expected) c.expected(expected);
        expect_block(boss->control, expected);
    }
}

// ---- The waits --------------------------------------------------------------------------------------
TEST_F(BossRowsTest, AnimationWaitNeedsTheAskedRangeAndItsEnd)
{
    struct Case {
        const char* name;
        std::uint32_t range;
        std::uint32_t state;
        bool waits;
    };
    const Case cases[] = {
        {"another range, long ended", 4, MODEL_STATE_ENDED, true},
        {"another range, blending and ended", 4, MODEL_STATE_ENDED | MODEL_STATE_BLENDING, true},
        {"the asked range, still playing", 3, 0, true},
        {"the asked range, blending in", 3, MODEL_STATE_BLENDING, true},
        {"the asked range, ended", 3, MODEL_STATE_ENDED, false},
    };
    GoBoss* boss = boss_make_logging(GO_CLASS_BOSS4);
    ASSERT_NE(boss, nullptr);
    boss->control.anim = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        boss->anim_instance.range = c.range;
        boss->anim_instance.state = c.state;
        const ScriptState state = run_script(script_call(108), 30);
        EXPECT_EQ(state.waits, c.waits);
        EXPECT_EQ(state.ended, !c.waits);
        if (c.waits) {
            EXPECT_EQ(state.pc, 0u) << "the wait stands on its call word";
        }
    }
}

TEST_F(BossRowsTest, AWaitingScriptGoesOnOnceTheBossGetsThere)
{
    GoBoss* boss = boss_make_logging(GO_CLASS_BOSS2);
    ASSERT_NE(boss, nullptr);
    boss->control.anim = 6;
    boss->anim_instance.range = 5;
    boss->anim_instance.state = MODEL_STATE_ENDED;
    boss->control.move_stop_radius = 0.25f;
    load_script(script_call(108) + script_call(109));
    EXPECT_TRUE(run_ticks(3).waits);
    boss->anim_instance.range = 6;
    const ScriptState on_move = run_ticks(3);
    EXPECT_TRUE(on_move.waits);
    EXPECT_EQ(on_move.pc, 1u) << "past the animation wait, standing on the move wait";
    boss->control.move_stop_radius = 0.0f;
    EXPECT_TRUE(run_ticks(1).ended);
}

TEST_F(BossRowsTest, MoveWaitPassesOnlyAtAStopRadiusOfExactlyZero)
{
    struct Case {
        float radius;
        bool waits;
    };
    const Case cases[] = {{0.0f, false}, {-0.0f, false}, {1e-7f, true}, {-1e-7f, true}, {2.0f, true}};
    GoBoss* boss = boss_make_logging(GO_CLASS_BOSS5);
    ASSERT_NE(boss, nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.radius);
        boss->control.move_stop_radius = c.radius;
        const ScriptState state = run_script(script_call(109), 5);
        EXPECT_EQ(state.waits, c.waits);
        EXPECT_EQ(state.ended, !c.waits);
    }
}

// The first live boss in the class order 1, 2, 3, 4, 5, 7, 8, dead or not.
TEST_F(BossRowsTest, TheWaitsWatchTheFirstBossInClassOrder)
{
    struct Case {
        std::vector<std::uint8_t> present;
        std::uint8_t watched;
        bool watched_dead;
    };
    const Case cases[] = {
        {{GO_CLASS_BOSS8, GO_CLASS_BOSS7}, GO_CLASS_BOSS7, false},
        {{GO_CLASS_BOSS5, GO_CLASS_BOSS3}, GO_CLASS_BOSS3, false},
        {{GO_CLASS_BOSS2, GO_CLASS_BOSS1, GO_CLASS_BOSS4}, GO_CLASS_BOSS1, false},
        {{GO_CLASS_BOSS8}, GO_CLASS_BOSS8, false},
        {{GO_CLASS_BOSS4, GO_CLASS_BOSS2}, GO_CLASS_BOSS2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.watched));
        obj_destroy_all();
        for (std::uint8_t code : c.present) {
            GoBoss* boss = boss_make_logging(code);
            ASSERT_NE(boss, nullptr);
            boss->control.move_stop_radius = code == c.watched ? 1.0f : 0.0f;
            if (code == c.watched && c.watched_dead) go_kill(*boss);
        }
        ASSERT_NE(boss_waited_on(), nullptr);
        EXPECT_EQ(boss_waited_on()->class_code, c.watched);
        EXPECT_TRUE(run_script(script_call(109), 3).waits);
    }
}

} // namespace
