#include "object/go_script.h"

#include "core/bytes.h"
#include "core/errors.h"
#include "core/sys.h"
#include "core/vfs.h"
#include "game/g_fade.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "game/g_settings.h"
#include "game/g_tick.h"
#include "gfx/ani_script.h"
#include "gfx/effect_fixture.h"
#include "gfx/script_ops_cases.h"
#include "lib/archive_writer.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"
#include "object/object_fixture.h"
#include "temp_folder.h"
#include "thrown_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <string>
#include <vector>

namespace {

using ::testing::StartsWith;

constexpr const char* k_path = "data\\map\\test.xso";
constexpr const char* k_name = "test";
constexpr const char* k_e_fail = "E_FAIL(80004005h)";
constexpr const char* k_broken = "Broken data.(80ff0006h)";
constexpr const char* k_not_found = "Symbol not found.(80ff0008h)";
constexpr std::int32_t k_flag = 300; // a game flag with no fixed meaning

ArchiveSource script_file(const std::string& path, std::span<const std::uint8_t> bytes)
{
    return {path + ".z", packed_build(bytes)};
}

ArchiveSource script_file(const std::string& path, const std::string& text)
{
    return script_file(path, sasm_assemble_or_throw(text));
}

std::string fatal_text(const char* code, const std::string& detail, unsigned line)
{
    return std::string(code) + "\r\n->" + detail + "\ngo_script(" + std::to_string(line) + ")\n";
}

// What the recording command of id 38 saw: its argument words and the text of each read as a
// string operand ("null" for -1).
std::vector<std::vector<std::int32_t>> g_recorded_args;
std::vector<std::string> g_recorded_texts;

ScriptFlow record_args(ScriptCall& call)
{
    g_recorded_args.emplace_back(call.args.begin(), call.args.end());
    return SCRIPT_NEXT;
}

ScriptFlow record_texts(ScriptCall& call)
{
    for (std::size_t i = 0; i < call.args.size(); ++i) {
        const char* text = call.text(i);
        g_recorded_texts.push_back(text ? text : "null");
    }
    return SCRIPT_NEXT;
}

constexpr ScriptCommandRow k_recording_rows[] = {{38, &record_args}, {39, &record_texts}};

void install_recording()
{
    const std::span<const ScriptCommandRow> modules[] = {script_flow_commands(), k_recording_rows};
    script_install_command_rows(modules);
}

std::int32_t& flag(std::int32_t index)
{
    return g_play_state.game_flags[index];
}

// The pools, the work block lent to the loader, an archive of the test's scripts, the world
// running whole ticks and the program's command table.
class GoScriptTest : public ObjectTest {
protected:
    void SetUp() override
    {
        ObjectTest::SetUp();
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        m_saved_index = g_title_time_attack_index;
        reset_world();
        script_install_commands();
    }
    void TearDown() override
    {
        ObjectTest::TearDown();
        vfs_close_all();
        g_work_block = m_saved_block;
        g_title_time_attack_index = m_saved_index;
        reset_world();
        g_whole_tick = 0;
        g_recorded_args.clear();
        g_recorded_texts.clear();
    }

    static void reset_world()
    {
        g_play_state = {};
        std::fill(std::begin(g_event_lock_count), std::end(g_event_lock_count), 0);
        g_player = nullptr;
        g_paused = 0;
        g_whole_tick = 1;
        g_scene_change_busy = 0;
        g_fade = {};
    }

    void mount(const std::vector<ArchiveSource>& files)
    {
        vfs_close_all();
        ASSERT_TRUE(archive_write_set(m_data.path(), files, {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
    }

    static GoScript* create()
    {
        GoScript* script = obj_create<GoScript>(g_pool_script);
        EXPECT_NE(script, nullptr);
        return script;
    }

    // As a script is started: loaded, then run at once.
    static GoScript* start(const char* path = k_path, const char* name = k_name,
                           std::span<const std::int32_t> args = {})
    {
        GoScript* script = create();
        script->Load(path, name, args);
        script->Run();
        return script;
    }

    GoScript* start_text(const std::string& text, std::span<const std::int32_t> args = {})
    {
        mount({script_file(k_path, text)});
        return start(k_path, k_name, args);
    }

    // The text of the fatal error that starting the script raises.
    std::string start_error(const std::string& text)
    {
        mount({script_file(k_path, text)});
        return thrown_text([] { start(); });
    }

    static bool ended(const GoScript& script) { return (script.flags & GO_FLAG_DEAD) != 0; }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    std::uint8_t m_saved_index = 0;
    TempFolder m_data;
};

// ---- Loading ------------------------------------------------------------------------------------------

TEST_F(GoScriptTest, StartArgumentsAreVariables512On)
{
    std::string text = "action 0\n";
    for (int i = 0; i < SCRIPT_LOCALS; ++i)
        text += " call FUNCID_FLAG_SETFLAG flag:" + std::to_string(k_flag + i) +
                " local:" + std::to_string(i) + "\n";
    std::fill(&flag(k_flag), &flag(k_flag) + SCRIPT_LOCALS, 99);
    const std::int32_t args[] = {7, -8, 9};
    start_text(text, args);
    const std::vector<std::int32_t> seen(&flag(k_flag), &flag(k_flag) + SCRIPT_LOCALS);
    EXPECT_EQ(seen, (std::vector<std::int32_t>{7, -8, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(GoScriptTest, SixteenArgumentsLoadAndSeventeenAreFatal)
{
    mount({script_file(k_path, "action 0\n")});
    const std::vector<std::int32_t> sixteen(16, 5);
    GoScript* script = create();
    script->Load(k_path, k_name, sixteen);
    EXPECT_EQ(script->locals[15], 5);

    const std::vector<std::int32_t> seventeen(17, 5);
    EXPECT_EQ(thrown_text([&] { create()->Load(k_path, k_name, seventeen); }),
              fatal_text(k_e_fail, k_path, 80));
}

TEST_F(GoScriptTest, NamesOf80BytesOrMoreAreFatal)
{
    mount({script_file(k_path, "action 0\n")});
    const std::string longest(79, 'n');
    GoScript* script = create();
    script->Load(k_path, longest.c_str(), {});
    EXPECT_EQ(std::string(script->name), longest);

    const std::string too_long(80, 'n');
    EXPECT_THAT(thrown_text([&] { create()->Load(k_path, too_long.c_str(), {}); }),
                StartsWith(std::string(k_e_fail) + "\r\n->Script name of 80 bytes or more: " + too_long +
                           "\ngo_script("));
}

// Every refusal names the path at line 76, with the loader's code.
TEST_F(GoScriptTest, MissingAndBrokenFilesAreFatalWithThePath)
{
    const char* const open_failed = "Couldn't open file.(80ff0009h)";
    auto header_size = [](std::uint16_t size) {
        std::vector<std::uint8_t> bytes = sasm_assemble_or_throw("action 0\n");
        bytes_put_u16(bytes, 4, size);
        return bytes;
    };
    auto cut_word = [](std::vector<std::uint8_t> bytes) {
        bytes.resize(bytes.size() - 4);
        return bytes;
    };
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes; // empty: no file
        const char* code;
    } cases[] = {
        {"a missing file", {}, open_failed},
        {"another header size", header_size(20), "Unmatched version.(80ff0003h)"},
        {"code past the end", cut_word(sasm_assemble_or_throw("action 0\n SCRIPT_OP_NOP\n")), k_broken},
        {"a table count past the end", sasm_assemble_or_throw("action 0\n string_count 100\n"), k_broken},
        {"an offset past the end", sasm_assemble_or_throw("action 0\n string_count 1\n string_words 4\n"),
         k_broken},
        {"a text without its terminator",
         sasm_assemble_or_throw("action 0\n string_count 1\n string_words 0 0x41414141\n"), k_broken},
        {"a broken table in another action",
         sasm_assemble_or_throw("action 0\n call 105 \"a\"\naction 3\n string_count 2\n string_words 0\n"),
         k_broken},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mount(c.bytes.empty() ? std::vector<ArchiveSource>{}
                              : std::vector<ArchiveSource>{script_file(k_path, c.bytes)});
        EXPECT_EQ(thrown_text([] { create()->Load(k_path, k_name, {}); }), fatal_text(c.code, k_path, 76));
    }
}

TEST_F(GoScriptTest, StringOperandsAreTheTextsOfAction0)
{
    install_recording();
    start_text("action 3\n call 39 \"elsewhere\"\n"
               "action 0\n call 39 \"first\" -1 \"second\" \"first\" \"\"\n");
    EXPECT_EQ(g_recorded_texts, (std::vector<std::string>{"first", "null", "second", "first", ""}));
}

// ---- Running ------------------------------------------------------------------------------------------

TEST_F(GoScriptTest, EmptyAction0EndsOnTheFirstRun)
{
    mount({script_file(k_path, "action 0\n")});
    GoScript* script = create();
    script->Load(k_path, k_name, {});
    script->hit_shape.class_bits = HIT_NEUTRAL | HIT_ACTIVE;
    script->Run();
    EXPECT_TRUE(ended(*script));
    EXPECT_EQ(script->hit_shape.class_bits, HIT_NEUTRAL);
}

TEST_F(GoScriptTest, FilesWithoutAction0RunNothingAndStayAlive)
{
    for (const char* text : {"", "action 3\n SCRIPT_OP_SETINT 5\n op 1\n"}) {
        SCOPED_TRACE(text);
        GoScript* script = start_text(text);
        script->Update();
        script->Update();
        EXPECT_FALSE(ended(*script));
        EXPECT_EQ(script->pc, 0u);
        EXPECT_EQ(script->accumulator, 0);
    }
}

TEST_F(GoScriptTest, ScriptOfOnlyOpcode0EndsAtItsCodeEnd)
{
    GoScript* script = start_text("action 0\n SCRIPT_OP_NOP\n SCRIPT_OP_NOP\n SCRIPT_OP_NOP\n");
    EXPECT_TRUE(ended(*script));
    EXPECT_EQ(script->pc, 3u);
}

TEST_F(GoScriptTest, OpcodesMoveTheCounterAndTheAccumulator)
{
    const struct {
        const char* name;
        const char* code;
        std::int32_t reg;
    } cases[] = {
        {"0 does nothing", "SCRIPT_OP_SETINT 4\n SCRIPT_OP_NOP\n", 4},
        {"1 ends the script", "SCRIPT_OP_SETINT 4\n op 1\n SCRIPT_OP_SETINT 7\n", 4},
        {"3 jumps", "SCRIPT_OP_JUMP @t\n SCRIPT_OP_SETINT 7\nt: SCRIPT_OP_ADDINT 2\n", 2},
        {"11 jumps", "SCRIPT_OP_JUMP2 @t\n SCRIPT_OP_SETINT 7\nt: SCRIPT_OP_ADDINT 2\n", 2},
        {"a jump past the code ends it", "SCRIPT_OP_SETINT 4\n SCRIPT_OP_JUMP 1000\n SCRIPT_OP_SETINT 7\n",
         4},
        // The skipped word would end the script.
        {"4 skips exactly one word", "SCRIPT_OP_SETINT 1\n SCRIPT_OP_SKIP 0x01000000\n SCRIPT_OP_ADDINT 2\n",
         3},
        {"5 with REG -1 jumps",
         "SCRIPT_OP_SETINT -1\n SCRIPT_OP_JLT @t\n SCRIPT_OP_SETINT 7\nt: SCRIPT_OP_ADDINT 2\n", 1},
        // Run as a word, the target would add the next word.
        {"5 with REG 0 steps past its target",
         "SCRIPT_OP_SETINT 0\n SCRIPT_OP_JLT 0x0F000005\n SCRIPT_OP_ADDINT 2\n", 2},
        {"12 clears", "SCRIPT_OP_SETINT 4\n SCRIPT_OP_CLEAR\n", 0},
        {"14 sets", "SCRIPT_OP_SETINT -9\n", -9},
        {"15 adds with wrap-around", "SCRIPT_OP_SETINT 0x7FFFFFFF\n SCRIPT_OP_ADDINT 1\n", INT_MIN},
        {"16 subtracts with wrap-around", "SCRIPT_OP_SETINT 0x80000000\n SCRIPT_OP_SUBINT 1\n", INT_MAX},
        {"17 ands", "SCRIPT_OP_SETINT 0xF0F0\n SCRIPT_OP_ANDINT 0xFF00\n", 0xF000},
        {"18 ors", "SCRIPT_OP_SETINT 0xF0F0\n SCRIPT_OP_ORINT 0xFF00\n", 0xFFF0},
        {"19 xors", "SCRIPT_OP_SETINT 0xF0F0\n SCRIPT_OP_XORINT 0xFF00\n", 0x0FF0},
        {"an operand past the code reads 0", "SCRIPT_OP_SETINT 4\n word 0x0E000000\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        GoScript* script = start_text(std::string("action 0\n ") + c.code);
        EXPECT_EQ(script->accumulator, c.reg);
        EXPECT_TRUE(ended(*script));
    }
}

// Opcodes 5-10 against REG -1, 0 and 1: a taken jump skips the 100.
TEST_F(GoScriptTest, ConditionalJumpsTestTheAccumulator)
{
    const struct {
        std::uint32_t opcode;
        bool taken[3];
    } cases[] = {
        {5, {true, false, false}}, {6, {false, true, false}}, {7, {true, true, false}},
        {8, {false, false, true}}, {9, {true, false, true}},  {10, {false, true, true}},
    };
    for (const auto& c : cases)
        for (std::int32_t reg = -1; reg <= 1; ++reg) {
            SCOPED_TRACE(testing::Message() << "opcode " << c.opcode << ", REG " << reg);
            GoScript* script = start_text("action 0\n SCRIPT_OP_SETINT " + std::to_string(reg) + "\n op " +
                                          std::to_string(c.opcode) +
                                          " @t\n SCRIPT_OP_ADDINT 100\nt: SCRIPT_OP_ADDINT 1000\n");
            EXPECT_EQ(script->accumulator, reg + (c.taken[reg + 1] ? 1000 : 1100));
        }
}

TEST_F(GoScriptTest, WaitTicksResumesAfterNMinusOneWholeTicks)
{
    const struct {
        std::int32_t n;
        int runs; // whole ticks after the starting one
    } cases[] = {{-5, 1}, {0, 1}, {1, 1}, {2, 1}, {3, 2}, {10, 9}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.n);
        flag(k_flag) = 0;
        GoScript* script =
            start_text("action 0\n call FUNCID_FLAG_ADDINT flag:300 1\n call FUNCID_WAIT_TICKS " +
                       std::to_string(c.n) + "\n call FUNCID_FLAG_ADDINT flag:300 1\n call FUNCID_YIELD\n");
        EXPECT_EQ(flag(k_flag), 1);
        int runs = 0;
        while (flag(k_flag) == 1 && runs < 20) {
            script->Update();
            ++runs;
        }
        EXPECT_EQ(runs, c.runs);
    }
}

TEST_F(GoScriptTest, YieldGivesControlBackUntilTheNextRun)
{
    GoScript* script = start_text("action 0\n call FUNCID_FLAG_ADDINT flag:300 1\n call FUNCID_YIELD\n"
                                  " call FUNCID_FLAG_ADDINT flag:300 1\n");
    EXPECT_EQ(flag(k_flag), 1);
    EXPECT_FALSE(ended(*script));
    script->Update();
    EXPECT_EQ(flag(k_flag), 2);
    EXPECT_TRUE(ended(*script));
}

// A waiting command tests again on every run from its own call word; once true, the same run
// goes on.
TEST_F(GoScriptTest, WaitingCommandsHoldOnTheirCallWord)
{
    const char* const text =
        "action 0\n SCRIPT_OP_NOP\n call FUNCID_WAIT_FLAG flag:200 3\n call FUNCID_FLAG_SETINT flag:300 1\n";
    flag(200) = 3;
    GoScript* script = start_text(text);
    EXPECT_EQ(flag(k_flag), 1) << "already true: on in the same run";
    EXPECT_TRUE(ended(*script));

    flag(200) = 0;
    flag(k_flag) = 0;
    script = start(k_path, "again");
    EXPECT_EQ(script->pc, 1u);
    script->Update();
    EXPECT_EQ(script->pc, 1u);
    EXPECT_EQ(flag(k_flag), 0);
    flag(200) = 3;
    script->Update();
    EXPECT_EQ(flag(k_flag), 1);
}

TEST_F(GoScriptTest, WaitFlagReadsLocalsToo)
{
    const std::int32_t args[] = {0, 0, 3};
    GoScript* script =
        start_text("action 0\n call FUNCID_WAIT_FLAG local:2 3\n call FUNCID_FLAG_SETINT flag:300 1\n", args);
    EXPECT_TRUE(ended(*script));
    EXPECT_EQ(flag(k_flag), 1);
}

TEST_F(GoScriptTest, WaitFadeHoldsUntilTheFadeArrives)
{
    g_fade.value = 0.5f;
    g_fade.target = 1.0f;
    GoScript* script = start_text("action 0\n call FUNCID_WAIT_FADE\n call FUNCID_FLAG_SETINT flag:300 1\n");
    script->Update();
    EXPECT_EQ(flag(k_flag), 0);
    g_fade.value = 1.0f;
    script->Update();
    EXPECT_EQ(flag(k_flag), 1);
}

// Neither runs nor waits count while the world is paused, between whole ticks or during a scene
// change.
TEST_F(GoScriptTest, PausesAndSceneChangesStopRunsAndWaits)
{
    g_scene_change_busy = 1;
    GoScript* script =
        start_text("action 0\n call FUNCID_WAIT_TICKS 2\n call FUNCID_FLAG_SETINT flag:300 1\n");
    EXPECT_EQ(script->pc, 0u) << "the first run waits for the scene change too";
    g_scene_change_busy = 0;
    script->Run();
    ASSERT_EQ(script->wait, 1);

    const std::function<void()> stops[] = {
        [] { g_paused = 1; },
        [] { g_whole_tick = 0; },
        [] { g_scene_change_busy = 1; },
    };
    for (const auto& stop : stops) {
        stop();
        script->Update();
        script->Update();
        EXPECT_EQ(script->wait, 1);
        EXPECT_EQ(flag(k_flag), 0);
        reset_world();
    }
    script->Update();
    EXPECT_EQ(flag(k_flag), 1);
}

TEST_F(GoScriptTest, UndefinedOpcodesAndIdsAreFatalWithTheScriptsName)
{
    const struct {
        const char* code;
        const char* result;
        std::uint32_t number;
        unsigned line;
    } cases[] = {
        {"op 13", k_e_fail, 13, 1870},        {"op 20", k_e_fail, 20, 1870},
        {"op 255", k_e_fail, 255, 1870},      {"call 1", k_not_found, 1, 1758},
        {"call 37", k_not_found, 37, 1758},   {"call 50", k_not_found, 50, 1758},
        {"call 300", k_not_found, 300, 1758}, {"call 4095 1 2", k_not_found, 4095, 1758},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(
            start_error(std::string("action 0\n SCRIPT_OP_NOP\n ") + c.code + "\n"),
            fatal_text(c.result, "Undefined instruction [" + std::to_string(c.number) + "]test", c.line));
    }
}

// An id is defined by the rows the program links; the fade's rows define 70.
TEST_F(GoScriptTest, IdsWithoutALinkedRowAreUndefined)
{
    const std::span<const ScriptCommandRow> flow_only[] = {script_flow_commands()};
    script_install_command_rows(flow_only);
    EXPECT_EQ(start_error("action 0\n call FUNCID_FADE_SET 0.5\n"),
              fatal_text(k_not_found, "Undefined instruction [70]test", 1758));

    script_install_commands();
    start_text("action 0\n call FUNCID_FADE_SET 0.5\n");
    EXPECT_EQ(g_fade.value, 0.5f);
}

TEST_F(GoScriptTest, RowsForIdsThatAreAlwaysUndefinedAreFatal)
{
    for (std::int32_t id : {-1, 1, 37, 50, 300}) {
        SCOPED_TRACE(id);
        const ScriptCommandRow row[] = {{id, &record_args}};
        const std::span<const ScriptCommandRow> modules[] = {row};
        EXPECT_THAT(thrown_text([&] { script_install_command_rows(modules); }),
                    StartsWith(std::string(k_e_fail) + "\r\n->Script command id " + std::to_string(id) +
                               " cannot be defined\n"));
    }
}

// ---- Faults of the data, mended ---------------------------------------------------------------------

// The call runs with the words that are there, the missing ones reading 0; the next fetch ends.
TEST_F(GoScriptTest, ACountPastTheCodeRunsTheCommandAndEndsTheScript)
{
    install_recording();
    GoScript* script = start_text("action 0\n word " + std::to_string(sasm_call_word(38, 5)) + " 6 7\n");
    ASSERT_EQ(g_recorded_args.size(), 1u);
    EXPECT_EQ(g_recorded_args[0], (std::vector<std::int32_t>{6, 7}));
    EXPECT_TRUE(ended(*script));

    GoScript* setter = start_text("action 0\n word " + std::to_string(sasm_call_word(155, 2)) + " 300\n");
    EXPECT_EQ(flag(k_flag), 0) << "the missing value word set 0";
    EXPECT_TRUE(ended(*setter));
}

TEST_F(GoScriptTest, StringIndicesOutsideTheTableAreFatal)
{
    install_recording();
    for (const char* index : {"1", "-2", "2147483647"}) {
        SCOPED_TRACE(index);
        EXPECT_THAT(start_error(std::string("action 0\n call 39 \"only\" ") + index + "\n"),
                    StartsWith(std::string(k_broken) + "\r\n->String operand past the table: " + index +
                               " (script test)\ngo_script("));
    }
    EXPECT_THAT(start_error("action 0\n call 39 0\n"), StartsWith(std::string(k_broken)));
}

TEST_F(GoScriptTest, ARunawayLoopIsFatal)
{
    EXPECT_THAT(start_error("action 0\nloop: SCRIPT_OP_ADDINT 1\n SCRIPT_OP_JUMP @loop\n"),
                StartsWith(std::string(k_e_fail) +
                           "\r\n->Words run without giving control back: 1000000 (script test)\ngo_script("));
}

TEST_F(GoScriptTest, VariablesOutside0To527AreFatal)
{
    GoScript* script = start_text("action 0\n call FUNCID_FLAG_SETINT 527 4\n call FUNCID_FLAG_SETINT 0 5\n");
    EXPECT_EQ(script->locals[15], 4);
    EXPECT_EQ(flag(0), 5);
    for (const char* index : {"528", "-1"}) {
        SCOPED_TRACE(index);
        EXPECT_THAT(start_error(std::string("action 0\n call FUNCID_FLAG_SETINT ") + index + " 1\n"),
                    StartsWith(std::string(k_e_fail) + "\r\n->Variable index out of range: " + index +
                               " (script test)\ngo_script("));
    }
}

TEST_F(GoScriptTest, EventLockModesOutside0To2AreFatal)
{
    for (const char* mode : {"3", "-1"}) {
        SCOPED_TRACE(mode);
        EXPECT_THAT(start_error(std::string("action 0\n call FUNCID_EVENT_BEGIN ") + mode + "\n"),
                    StartsWith(std::string(k_e_fail) + "\r\n->Event lock mode " + mode +
                               " (script test)\ngo_script("));
        EXPECT_EQ(std::vector<std::int32_t>(std::begin(g_event_lock_count), std::end(g_event_lock_count)),
                  (std::vector<std::int32_t>{0, 0, 0}));
    }
}

// ---- The shared functions ------------------------------------------------------------------------------

void set_var(GoScript& script, const ScriptVarValue& value)
{
    *script_var_address(script, value.index) = value.value;
}

std::vector<std::uint8_t> call_file(std::int32_t reg, std::int32_t id, const std::vector<std::int32_t>& args)
{
    ScriptSetBuilder set;
    const std::vector<SasmArg> words(args.begin(), args.end());
    set.action(0).op(SCRIPT_OP_SETINT, reg).call(static_cast<std::uint32_t>(id), words);
    return set.bytes();
}

std::string case_path(std::size_t number)
{
    return "data\\map\\case" + std::to_string(number) + ".xso";
}

TEST_F(GoScriptTest, SharedFunctionsRunWithTheEventScriptsVariables)
{
    const std::vector<ScriptOpsCase>& cases = script_ops_cases();
    std::vector<ArchiveSource> files;
    for (std::size_t i = 0; i < cases.size(); ++i)
        files.push_back(script_file(case_path(i), call_file(cases[i].reg, cases[i].id, cases[i].args)));
    mount(files);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const ScriptOpsCase& c = cases[i];
        SCOPED_TRACE(c.name);
        g_play_state = {};
        GoScript* script = create();
        script->Load(case_path(i).c_str(), k_name, {});
        for (const ScriptVarValue& value : c.vars)
            set_var(*script, value);
        script->Run();
        EXPECT_EQ(script->accumulator, c.expected_reg);
        for (const ScriptVarValue& expected : c.expected_vars)
            EXPECT_EQ(*script_var_address(*script, expected.index), expected.value)
                << "variable " << expected.index;
        EXPECT_TRUE(ended(*script));
    }
}

TEST_F(GoScriptTest, DivisionsByZeroRaiseTheEventScriptsLines)
{
    const std::vector<ScriptDivisionCase>& cases = script_division_cases();
    std::vector<ArchiveSource> files;
    for (std::size_t i = 0; i < cases.size(); ++i)
        files.push_back(script_file(case_path(i), call_file(7, cases[i].id, cases[i].args)));
    mount(files);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const ScriptDivisionCase& c = cases[i];
        SCOPED_TRACE(c.id);
        GoScript* script = create();
        script->Load(case_path(i).c_str(), k_name, {});
        for (const ScriptVarValue& value : c.vars)
            set_var(*script, value);
        EXPECT_EQ(thrown_text([&] { script->Run(); }),
                  script_division_error_text(c.error, "go_script", k_go_script_division_lines[c.error]));
        EXPECT_EQ(script->accumulator, 7);
    }
}

// FUNCID_REG_TAFIRST: the title's time-attack choice is the first stage.
TEST_F(GoScriptTest, Id182TellsWhetherTheTitlesTimeAttackIndexIs0)
{
    mount({script_file(k_path, "action 0\n SCRIPT_OP_SETINT 7\n call FUNCID_REG_TAFIRST\n")});
    const struct {
        std::uint8_t index;
        std::int32_t reg;
    } cases[] = {{0, 1}, {1, 0}, {5, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.index));
        g_title_time_attack_index = c.index;
        EXPECT_EQ(start()->accumulator, c.reg);
    }
}

// ---- Event locks ---------------------------------------------------------------------------------------

std::vector<std::int32_t> lock_counts()
{
    return {std::begin(g_event_lock_count), std::end(g_event_lock_count)};
}

// The player, moving and turning, with both magic-charge values set.
class GoScriptLocks : public GoScriptTest {
protected:
    void SetUp() override
    {
        GoScriptTest::SetUp();
        m_player = spawn(g_pool_actor);
        ASSERT_NE(m_player, nullptr);
        g_player = m_player;
        move_player();
    }

    void move_player()
    {
        m_player->rotation._41 = 1.0f;
        m_player->rotation._42 = 2.0f;
        m_player->rotation._43 = 3.0f;
        m_player->push_velocity = D3DXVECTOR3(4.0f, 5.0f, 6.0f);
        m_player->facing = 1.5f;
        m_player->target_facing = 0.25f;
        g_play_state.magic_charge = 2.5f;
        g_play_state.charge_level = 2;
    }

    bool player_stopped() const
    {
        return m_player->rotation._41 == 0.0f && m_player->rotation._42 == 0.0f &&
               m_player->rotation._43 == 0.0f && m_player->push_velocity == D3DXVECTOR3(0.0f, 0.0f, 0.0f) &&
               m_player->target_facing == 1.5f;
    }
    bool player_moving() const
    {
        return m_player->rotation._41 == 1.0f && m_player->push_velocity.x == 4.0f &&
               m_player->target_facing == 0.25f;
    }

    GoActor* m_player = nullptr;
};

TEST_F(GoScriptLocks, TwoMode0LocksStopThePlayerOnceAndHoldTheEventUntilBothEnd)
{
    GoScript* first = create();
    GoScript* second = create();
    first->BeginEvent(0);
    EXPECT_EQ(lock_counts(), (std::vector<std::int32_t>{1, 0, 0}));
    EXPECT_TRUE(player_stopped());
    EXPECT_EQ(g_play_state.magic_charge, 0.0f);
    EXPECT_EQ(g_play_state.charge_level, 0);
    EXPECT_EQ(flag(GF_EVENT_RUNNING), 1);

    move_player();
    second->BeginEvent(0);
    EXPECT_EQ(lock_counts(), (std::vector<std::int32_t>{2, 0, 0}));
    EXPECT_TRUE(player_moving()) << "only the first lock stops the player";
    EXPECT_EQ(g_play_state.magic_charge, 0.0f) << "every lock clears the charge";

    first->EndEvent();
    EXPECT_EQ(first->event_lock, EVENT_LOCK_NONE);
    EXPECT_EQ(flag(GF_EVENT_RUNNING), 1);
    second->EndEvent();
    EXPECT_EQ(lock_counts(), (std::vector<std::int32_t>{0, 0, 0}));
    EXPECT_EQ(flag(GF_EVENT_RUNNING), 0);
}

TEST_F(GoScriptLocks, ANewModeReplacesTheHeldOne)
{
    g_event_lock_count[EVENT_LOCK_EVENT_NO_AI] = 3; // other scripts' locks
    GoScript* script = create();
    script->BeginEvent(1);
    EXPECT_EQ(lock_counts(), (std::vector<std::int32_t>{0, 4, 0}));
    script->BeginEvent(0);
    EXPECT_EQ(lock_counts(), (std::vector<std::int32_t>{1, 3, 0}));
    EXPECT_EQ(script->event_lock, EVENT_LOCK_EVENT);
}

TEST_F(GoScriptLocks, Mode2IsCountedWithoutAnEvent)
{
    GoScript* script = create();
    script->BeginEvent(2);
    EXPECT_EQ(lock_counts(), (std::vector<std::int32_t>{0, 0, 1}));
    EXPECT_EQ(flag(GF_EVENT_RUNNING), 0);
    EXPECT_TRUE(player_stopped());
}

// The drops count pending drops in the mode-2 counter, so it may be 0 when the lock ends.
TEST_F(GoScriptLocks, AReleaseAt0Stays0AndStillClearsTheSoundPull)
{
    GoScript* script = create();
    script->BeginEvent(2);
    g_event_lock_count[EVENT_LOCK_COUNTED] = 0;
    flag(GF_ACTOR_SOUND_PULL) = 5;
    script->EndEvent();
    EXPECT_EQ(lock_counts(), (std::vector<std::int32_t>{0, 0, 0}));
    EXPECT_EQ(flag(GF_ACTOR_SOUND_PULL), 0);
    EXPECT_EQ(script->event_lock, EVENT_LOCK_NONE);

    flag(GF_ACTOR_SOUND_PULL) = 5;
    script->EndEvent();
    EXPECT_EQ(flag(GF_ACTOR_SOUND_PULL), 5) << "no lock held, nothing released";
}

TEST_F(GoScriptLocks, WithoutAPlayerOnlyTheCountersChange)
{
    g_player = nullptr;
    GoScript* script = create();
    script->BeginEvent(0);
    EXPECT_EQ(lock_counts(), (std::vector<std::int32_t>{1, 0, 0}));
    EXPECT_EQ(flag(GF_EVENT_RUNNING), 1);
    EXPECT_TRUE(player_moving());
    EXPECT_EQ(g_play_state.magic_charge, 2.5f);
    EXPECT_EQ(g_play_state.charge_level, 2);
    script->EndEvent();
    EXPECT_EQ(flag(GF_EVENT_RUNNING), 0);
}

// Every lock stops the auras of the set bits and empties their slots; slots of clear bits and
// filled slots at the release stay as they are.
TEST_F(GoScriptLocks, EveryLockDetachesTheAurasOfTheSetBits)
{
    g_play_state.ailment_bits = 0x01 | 0x20;
    g_play_state.powerup_bits = 0x08;
    auto aura = [] { return spawn(g_pool_effect); };
    GoEffect* poison = aura();
    GoEffect* slow = aura(); // bit 0x08 is clear
    GoEffect* curse = aura();
    GoEffect* defence = aura();
    GoEffect* magic = aura(); // bit 0x10 is clear
    m_player->ailment_auras[0] = ObjHandle<GoEffect>(poison);
    m_player->ailment_auras[1] = ObjHandle<GoEffect>(slow);
    m_player->ailment_auras[3] = ObjHandle<GoEffect>(curse);
    m_player->powerup_auras[1] = ObjHandle<GoEffect>(defence);
    m_player->powerup_auras[2] = ObjHandle<GoEffect>(magic);

    GoScript* first = create();
    first->BeginEvent(0);
    for (GoEffect* stopped : {poison, curse, defence})
        EXPECT_EQ(stopped->stop_request, 1);
    for (GoEffect* kept : {slow, magic})
        EXPECT_EQ(kept->stop_request, 0);
    EXPECT_FALSE(m_player->ailment_auras[0]);
    EXPECT_FALSE(m_player->ailment_auras[3]);
    EXPECT_FALSE(m_player->powerup_auras[1]);
    EXPECT_EQ(m_player->ailment_auras[1].get(), slow);
    EXPECT_EQ(m_player->powerup_auras[2].get(), magic);

    // A second lock detaches again; an aura already swept only leaves its slot.
    GoEffect* again = aura();
    GoEffect* swept = aura();
    m_player->ailment_auras[0] = ObjHandle<GoEffect>(again);
    m_player->ailment_auras[3] = ObjHandle<GoEffect>(swept);
    kill(*swept);
    obj_sweep_dead();
    GoScript* second = create();
    second->BeginEvent(0);
    EXPECT_EQ(again->stop_request, 1);
    EXPECT_FALSE(m_player->ailment_auras[0]);
    EXPECT_FALSE(m_player->ailment_auras[3]);

    GoEffect* kept = aura();
    m_player->ailment_auras[0] = ObjHandle<GoEffect>(kept);
    first->EndEvent();
    second->EndEvent();
    EXPECT_EQ(m_player->ailment_auras[0].get(), kept);
    EXPECT_EQ(kept->stop_request, 0);
}

// The auras' effects are listed; the game has loaded its effect list before any scene.
class GoScriptAuras : public GoScriptLocks {
protected:
    void SetUp() override
    {
        GoScriptLocks::SetUp();
        g_effect_list.assign(EFFECT_ID_COUNT, {});
    }
    void TearDown() override
    {
        GoScriptLocks::TearDown();
        eft_free_list();
    }

    // Whole ticks of the effects and then their particles, as the tick's object step runs them.
    static void run_effects(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            for (const MemPoolDesc* pool : {static_cast<const MemPoolDesc*>(&g_pool_effect),
                                            static_cast<const MemPoolDesc*>(&g_pool_particle)}) {
                for (GoBase* object : pool_objects(*pool)) {
                    object->flags &= ~GO_FLAG_NEW;
                    if (object->flags == 0) object->Update();
                }
            }
            obj_sweep_dead();
        }
    }

    static EftFile lasting_aura(std::uint8_t collision)
    {
        EftEmitter emitter;
        emitter.state.life = 100;
        emitter.def.collision = collision;
        return eft_fixture_single(emitter);
    }
};

// Scene entry's attach starts one aura for each set bit whose slot is empty, following the hero's
// position, in row 9 while it is submerged; power-up 0x01 has none, and a second attach adds none.
TEST_F(GoScriptAuras, AttachStartsTheMissingAurasOfTheSetBits)
{
    g_play_state.ailment_bits = 0x01 | 0x10 | 0x20;
    g_play_state.powerup_bits = 0x01 | 0x08 | 0x20;
    m_player->submerged = 1;
    GoEffect* held = spawn(g_pool_effect);
    m_player->ailment_auras[3] = ObjHandle<GoEffect>(held);
    for (int round = 1; round <= 2; ++round) {
        player_ailment_auras_attach();
        player_powerup_auras_attach();
        EXPECT_EQ(g_pool_effect.count, 5) << "attach " << round;
    }
    const struct {
        const ObjHandle<GoEffect>& slot;
        std::int32_t effect;
    } started[] = {{m_player->ailment_auras[0], 137},
                   {m_player->ailment_auras[2], 138},
                   {m_player->powerup_auras[1], 265},
                   {m_player->powerup_auras[3], 267}};
    for (const auto& s : started) {
        SCOPED_TRACE(s.effect);
        const GoEffect* aura = s.slot.get();
        ASSERT_NE(aura, nullptr);
        EXPECT_EQ(aura->effect_id, s.effect);
        EXPECT_EQ(aura->parent_matrix, &m_player->world);
        EXPECT_EQ(aura->follow, EFFECT_FOLLOW_PARENT_POSITION);
        EXPECT_EQ(aura->render_row, EFFECT_ROW_IN_WATER);
    }
    EXPECT_EQ(m_player->ailment_auras[3].get(), held);
    EXPECT_FALSE(m_player->ailment_auras[1]); // its bit is clear
    EXPECT_FALSE(m_player->powerup_auras[0]);
    EXPECT_FALSE(m_player->powerup_auras[2]);
}

// A lock detaches the auras: the slots empty and the effects are asked to stop, so the particles
// that fade on a stop fade and the others live on.
TEST_F(GoScriptAuras, DetachedAurasStopAndTheirFadeOnStopParticlesFade)
{
    eft_fixture_put(137, lasting_aura(EFFECT_FADE_ON_STOP));
    eft_fixture_put(265, lasting_aura(0));
    g_play_state.ailment_bits = 0x01;
    g_play_state.powerup_bits = 0x08;
    player_ailment_auras_attach();
    player_powerup_auras_attach();
    GoEffect* poison = m_player->ailment_auras[0].get();
    GoEffect* defence = m_player->powerup_auras[1].get();
    ASSERT_NE(poison, nullptr);
    ASSERT_NE(defence, nullptr);
    EXPECT_EQ(poison->render_row, EFFECT_ROW);
    run_effects(2);
    ASSERT_EQ(poison->live_particles, 1);
    ASSERT_EQ(defence->live_particles, 1);

    create()->BeginEvent(0);
    EXPECT_FALSE(m_player->ailment_auras[0]);
    EXPECT_FALSE(m_player->powerup_auras[1]);
    EXPECT_EQ(poison->stop_request, 1);
    EXPECT_EQ(defence->stop_request, 1);
    run_effects(2);
    const GoParticle* fading = go_particle_find_by_emitter(*poison);
    const GoParticle* living = go_particle_find_by_emitter(*defence);
    ASSERT_NE(fading, nullptr);
    ASSERT_NE(living, nullptr);
    EXPECT_GT(fading->state.fade_amount, 0);
    EXPECT_EQ(living->state.fade_amount, 0);
}

TEST_F(GoScriptLocks, CommandsTakeAndReleaseLocksAndTheEndReleasesTheHeldOne)
{
    GoScript* script = start_text("action 0\n call FUNCID_EVENT_BEGIN 1\n call FUNCID_YIELD\n"
                                  " call FUNCID_EVENT_END\n call FUNCID_EVENT_BEGIN 0\n");
    EXPECT_EQ(lock_counts(), (std::vector<std::int32_t>{0, 1, 0}));
    EXPECT_EQ(script->event_lock, EVENT_LOCK_EVENT_NO_AI);
    flag(GF_ACTOR_SOUND_PULL) = 3;
    script->Update();
    EXPECT_TRUE(ended(*script));
    EXPECT_EQ(lock_counts(), (std::vector<std::int32_t>{0, 0, 0}));
    EXPECT_EQ(flag(GF_ACTOR_SOUND_PULL), 0);
    EXPECT_EQ(flag(GF_EVENT_RUNNING), 0);
}

TEST_F(GoScriptLocks, DeletingAScriptReleasesItsLock)
{
    GoScript* script = create();
    script->BeginEvent(0);
    kill(*script);
    obj_sweep_dead();
    EXPECT_EQ(lock_counts(), (std::vector<std::int32_t>{0, 0, 0}));
    EXPECT_EQ(flag(GF_EVENT_RUNNING), 0);
}

// ---- Other scripts and windows --------------------------------------------------------------------------

// A script that ended counts as gone before the sweep; names compare without case.
TEST_F(GoScriptTest, WaitScriptEndIgnoresEndedScripts)
{
    mount({script_file("data\\map\\other.xso", "action 0\n call FUNCID_YIELD\n"),
           script_file(
               "data\\map\\waiter.xso",
               "action 0\n call FUNCID_WAIT_SCRIPT_END \"OTHER\"\n call FUNCID_FLAG_SETINT flag:300 1\n"),
           script_file("data\\map\\nobody.xso",
                       "action 0\n call FUNCID_WAIT_SCRIPT_END -1\n call FUNCID_FLAG_SETINT flag:301 1\n")});
    GoScript* other = start("data\\map\\other.xso", "Other");
    GoScript* waiter = start("data\\map\\waiter.xso", "waiter");
    EXPECT_EQ(script_find_running("oThEr"), other);
    waiter->Update();
    EXPECT_EQ(flag(k_flag), 0);

    other->Update();
    ASSERT_TRUE(ended(*other));
    EXPECT_EQ(script_find_running("other"), nullptr);
    waiter->Update();
    EXPECT_EQ(flag(k_flag), 1);

    start("data\\map\\nobody.xso", "nobody");
    EXPECT_EQ(flag(301), 1);
}

TEST_F(GoScriptTest, ASweptWindowIsForgotten)
{
    GoScript* script = create();
    GoWndDialog* dialog = spawn(g_pool_wnddialog);
    script->awaited_window = ObjHandle<GoBase>(dialog);
    kill(*dialog);
    EXPECT_EQ(script->AwaitedWindow(), dialog) << "dead but not yet swept";

    obj_sweep_dead();
    GoWndDialog* successor = spawn(g_pool_wnddialog); // in the freed slot
    script->ReleaseWindow();
    EXPECT_EQ(successor->close_request, 0);
    EXPECT_EQ(script->AwaitedWindow(), nullptr);
}

// A dialog never activated would stay forever; the message window stays for the next script.
TEST_F(GoScriptTest, AnEndingScriptReleasesTheDialogItAwaits)
{
    mount({script_file(k_path, "action 0\n call FUNCID_YIELD\n")});
    GoScript* with_dialog = start();
    GoWndDialog* dialog = spawn(g_pool_wnddialog);
    with_dialog->awaited_window = ObjHandle<GoBase>(dialog);
    with_dialog->Update();
    EXPECT_EQ(dialog->close_request, 1);
    EXPECT_EQ(with_dialog->AwaitedWindow(), nullptr);

    GoScript* with_text = start(k_path, "text");
    GoWndText* text = spawn(g_pool_wndtext);
    with_text->awaited_window = ObjHandle<GoBase>(text);
    with_text->Update();
    EXPECT_TRUE(ended(*with_text));
    EXPECT_EQ(text->close_request, 0);

    with_text->ReleaseWindow();
    EXPECT_EQ(text->close_request, 1);
    EXPECT_EQ(with_text->AwaitedWindow(), nullptr);
}

} // namespace
