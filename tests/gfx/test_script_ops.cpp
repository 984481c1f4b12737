#include "core/errors.h"
#include "game/g_play_state.h"
#include "game/g_rules.h"
#include "gfx/script_ops.h"
#include "gfx/script_ops_cases.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace {

constexpr std::int32_t VAR_COUNT = 528;

// The smallest interpreter side: 528 variables, REG, and a log of id 182's calls.
class SmallContext {
public:
    explicit SmallContext(const char* source = "small_script",
                          const unsigned (&lines)[SCRIPT_DIVISION_ERRORS] = k_go_script_division_lines)
        : context{reg, variable, this, source, lines, nullptr}
    {
    }

    static std::int32_t* variable(std::int32_t index, void* user)
    {
        if (index < 0 || index >= VAR_COUNT) throw std::out_of_range("variable index");
        return &static_cast<SmallContext*>(user)->vars[index];
    }

    bool run(std::int32_t id, const std::vector<std::int32_t>& args)
    {
        const std::vector<ScriptWord> words(args.begin(), args.end());
        return script_ops_run(id, words, context);
    }

    void set(const std::vector<ScriptVarValue>& values)
    {
        for (const ScriptVarValue& value : values)
            vars[value.index] = value.value;
    }

    std::int32_t reg = 0;
    std::int32_t vars[VAR_COUNT] = {};
    ScriptOpsContext context;
};

TEST(ScriptOps, SharedCasesSetRegAndVariables)
{
    for (const ScriptOpsCase& c : script_ops_cases()) {
        SCOPED_TRACE(c.name);
        SmallContext script;
        script.set(c.vars);
        script.reg = c.reg;
        ASSERT_TRUE(script.run(c.id, c.args));
        EXPECT_EQ(script.reg, c.expected_reg);
        for (const ScriptVarValue& expected : c.expected_vars)
            EXPECT_EQ(script.vars[expected.index], expected.value) << "variable " << expected.index;
    }
}

// The message names the form; the source and line are the interpreter's, whichever it is.
TEST(ScriptOps, DivisionByZeroRaisesTheInterpretersSourceAndLine)
{
    struct Interpreter {
        const char* source;
        const unsigned (&lines)[SCRIPT_DIVISION_ERRORS];
    };
    const Interpreter interpreters[] = {{"ani_script", k_ani_step_division_lines},
                                        {"go_script", k_go_script_division_lines}};
    for (const Interpreter& interpreter : interpreters)
        for (const ScriptDivisionCase& c : script_division_cases()) {
            SCOPED_TRACE(testing::Message() << interpreter.source << " id " << c.id);
            SmallContext script(interpreter.source, interpreter.lines);
            script.set(c.vars);
            script.reg = 7;
            try {
                script.run(c.id, c.args);
                ADD_FAILURE() << "no error";
            } catch (const RuntimeError& error) {
                EXPECT_EQ(std::string(error.text), script_division_error_text(c.error, interpreter.source,
                                                                              interpreter.lines[c.error]));
            }
            EXPECT_EQ(script.reg, 7);
        }
}

TEST(ScriptOps, IdsOutsideTheSharedRangeDoNothing)
{
    for (std::int32_t id : {-1, 0, 1, 149, 218, 4095}) {
        SCOPED_TRACE(id);
        SmallContext script;
        script.reg = 5;
        script.vars[0] = 6;
        EXPECT_FALSE(script.run(id, {0, 1, 2}));
        EXPECT_EQ(script.reg, 5);
        EXPECT_EQ(script.vars[0], 6);
    }
}

// Only the event scripts give id 182 a meaning; it gets the call's words.
TEST(ScriptOps, Id182RunsTheInterpretersMeaningOrNothing)
{
    SmallContext silent;
    silent.reg = 5;
    EXPECT_TRUE(silent.run(182, {1, 2}));
    EXPECT_EQ(silent.reg, 5);

    SmallContext script;
    script.context.id_182 = [](std::span<const ScriptWord> args, void* user) {
        auto& self = *static_cast<SmallContext*>(user);
        self.reg = static_cast<std::int32_t>(args.size() * 100 + args[1]);
    };
    EXPECT_TRUE(script.run(182, {1, 2}));
    EXPECT_EQ(script.reg, 202);
}

// A bad variable index is the interpreter's error, raised before anything changes.
TEST(ScriptOps, VariableIndicesReachTheInterpreterUnchanged)
{
    for (std::int32_t index : {-1, VAR_COUNT}) {
        SmallContext script;
        script.reg = 3;
        EXPECT_THROW(script.run(189, {index}), std::out_of_range);
        EXPECT_THROW(script.run(155, {index, 9}), std::out_of_range);
        EXPECT_EQ(script.reg, 3);
    }
}

TEST(ScriptOps, EvalDurationRunsTheComparisonsAndTheRegForms)
{
    for (std::int32_t id = 140; id <= 230; ++id) {
        const bool reads_only = (id >= 150 && id <= 154) || (id >= 183 && id <= 217);
        EXPECT_EQ(script_ops_sets_reg_only(id), reads_only) << id;
    }
}

TEST(ScriptShift, CountsModulo32AndFillsWithZeros)
{
    struct Case {
        std::int32_t value, count, expected;
    };
    const Case cases[] = {
        {1, -1, 0},       {-1, -28, 15},     {1, 33, 2},        {1, 32, 1},          {1, -32, 1},
        {1, 31, INT_MIN}, {INT_MIN, -31, 1}, {-1, INT_MIN, -1}, {0x1234, 0, 0x1234}, {-1, -33, INT_MAX},
    };
    for (const Case& c : cases)
        EXPECT_EQ(script_shift(c.value, c.count), c.expected) << c.value << " by " << c.count;
}

// Id 183 asks game_has_item about the play state.
class ScriptHasItem : public testing::Test {
protected:
    void SetUp() override { g_play_state = {}; }
    void TearDown() override { g_play_state = {}; }
};

struct HasItemCase {
    const char* name;
    std::int32_t id;
    std::int32_t expected;
    std::int32_t weapon = -1, armour = -1, shield = -1; // GameFlags 117, 118, 119
    std::int32_t rings_in_use = 0;
    std::int32_t rings[PLAY_RING_SLOTS] = {-1, -1, -1};
    std::int32_t items_in_use = 0;
    std::int32_t items[PLAY_ITEM_SLOTS] = {-1, -1, -1};
    std::int32_t stock = 0; // GameFlags entry of the id itself
};

TEST_F(ScriptHasItem, ByKindFromTheSlotsInUseAndTheWornPieces)
{
    const HasItemCase cases[] = {
        {.name = "-1 while entry 117 holds -1", .id = -1, .expected = 0},
        {.name = "ring in slot 2 of 2", .id = 19, .expected = 1, .rings_in_use = 2, .rings = {18, 19, -1}},
        {.name = "ring in slot 2 of 1", .id = 19, .expected = 0, .rings_in_use = 1, .rings = {18, 19, -1}},
        {.name = "9 ring slots in use", .id = 23, .expected = 1, .rings_in_use = 9, .rings = {-1, -1, 23}},
        {.name = "-1 ring slots in use", .id = 18, .expected = 0, .rings_in_use = -1, .rings = {18, -1, -1}},
        {.name = "ring in the item list", .id = 20, .expected = 0, .items_in_use = 3, .items = {20, 20, 20}},
        {.name = "item in entry 1 of 1", .id = 30, .expected = 1, .items_in_use = 1, .items = {30, -1, -1}},
        {.name = "item in entry 2 of 1", .id = 30, .expected = 0, .items_in_use = 1, .items = {24, 30, -1}},
        {.name = "item held by count only", .id = 63, .expected = 0, .items_in_use = 3, .stock = 5},
        {.name = "item 63 in entry 3", .id = 63, .expected = 1, .items_in_use = 3, .items = {-1, -1, 63}},
        {.name = "weapon worn", .id = 3, .expected = 1, .weapon = 3},
        {.name = "weapon not worn", .id = 2, .expected = 0, .weapon = 3, .stock = 1},
        {.name = "items 6-11 in entry 119", .id = 8, .expected = 1, .shield = 8},
        {.name = "items 6-11 not in entry 118", .id = 8, .expected = 0, .armour = 8},
        {.name = "items 12-17 in entry 118", .id = 14, .expected = 1, .armour = 14},
        {.name = "items 12-17 not in entry 119", .id = 14, .expected = 0, .shield = 14},
        {.name = "64 is no item", .id = 64, .expected = 0, .items_in_use = 3, .items = {64, 64, 64}},
    };
    for (const HasItemCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_play_state = {};
        std::int32_t* flags = g_play_state.game_flags;
        flags[GF_WEAPON] = c.weapon;
        flags[GF_ARMOUR] = c.armour;
        flags[GF_SHIELD] = c.shield;
        flags[GF_RING_SLOTS] = c.rings_in_use;
        flags[GF_ITEM_SLOTS] = c.items_in_use;
        std::copy(std::begin(c.rings), std::end(c.rings), g_play_state.ring_slots);
        std::copy(std::begin(c.items), std::end(c.items), g_play_state.item_list);
        if (c.id >= 0 && c.id < GF_ITEM_COUNT_END) flags[GF_ITEM_COUNT + c.id] = c.stock;

        EXPECT_EQ(game_has_item(c.id), c.expected != 0);
        SmallContext script;
        script.reg = 7;
        script.run(183, {c.id});
        EXPECT_EQ(script.reg, c.expected);
    }
}

} // namespace
