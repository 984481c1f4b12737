#include "lib/script_assembler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

std::vector<std::uint32_t> file_words(const std::vector<std::uint8_t>& bytes)
{
    std::vector<std::uint32_t> words(bytes.size() / 4);
    EXPECT_EQ(bytes.size() % 4, 0u);
    std::memcpy(words.data(), bytes.data(), words.size() * 4);
    return words;
}

// Three actions: one with labels, an empty one, and one with every kind of argument word, a bad
// opcode and a call whose count runs past the code.
const char* const k_text = R"(; a set for archive 13
images 13
action 2 5
loop:
    call FUNCID_SET_ANIM 1, 0
    call FUNCID_WAIT 4
    SCRIPT_OP_JNE @done
    SCRIPT_OP_JUMP @loop
done: SCRIPT_OP_YIELD
action 7
action 3
    SCRIPT_OP_JUMP @end
    call 155 flag:120 -1         ; FUNCID_FLAG_SETINT by number
    call FUNCID_MOVE_SCALE 1.5
    call FUNCID_FLAG_ADDINT local:3 -2
    call FUNCID_REG_TAFIRST
    op 20
    word 0x02002005 7
    call 4095 @end
end:
)";

const std::vector<std::uint32_t> k_expected = {
    // header: a word, header size 16 with a zero half word, 3 actions, archive 13
    0, 0x00000010, 3, 13,
    // actions: id, priority, byte offset, words, fifth word
    2, 5, 0, 10, 0,  //
    7, 0, 40, 0, 0,  //
    3, 0, 40, 16, 0, //
    // action 2
    0x02004002, 1, 0, // call 4 with 2 words
    0x02002001, 4,    // call 2 with 1 word
    0x09000000, 9,    // JNE to "done"
    0x03000000, 0,    // JUMP to "loop"
    0x01000000,       // done: YIELD
    // action 3
    0x03000000, 16,              // JUMP to "end", the action's length
    0x0209B002, 120, 0xFFFFFFFF, // call 155 with 2 words
    0x02011001, 0x3FC00000,      // call 17 with 1.5f
    0x0209E002, 515, 0xFFFFFFFE, // call 158 with local 3
    0x020B6000,                  // call 182 without words
    0x14000000,                  // opcode 20
    0x02002005, 7,               // a call of 5 words with one left
    0x02FFF001, 16,              // call 4095 with the label "end"
};

TEST(ScriptAssembler, TextFormWritesTheHandComputedWords)
{
    ScriptAssembly assembly = sasm_assemble(k_text);
    ASSERT_TRUE(assembly.ok()) << assembly.error;
    EXPECT_EQ(file_words(assembly.set.bytes()), k_expected);
}

TEST(ScriptAssembler, CppFormWritesTheSameFile)
{
    ScriptSetBuilder set(13);
    set.action(2, 5)
        .label("loop")
        .call("FUNCID_SET_ANIM", {1, 0})
        .call("FUNCID_WAIT", {4})
        .op(9, sasm_label("done"))
        .op(3, sasm_label("loop"))
        .label("done")
        .op(1);
    set.action(7);
    ScriptActionBuilder& action = set.action(3);
    action.op(3, sasm_label("end"))
        .call(155, {sasm_flag(120), -1})
        .call("FUNCID_MOVE_SCALE", {sasm_float(1.5f)})
        .call("FUNCID_FLAG_ADDINT", {sasm_local(3), -2})
        .call("FUNCID_REG_TAFIRST")
        .op(20)
        .word(sasm_call_word(2, 5))
        .word(7)
        .call(4095, {sasm_label("end")})
        .label("end");
    EXPECT_EQ(file_words(set.bytes()), k_expected);
}

// Event scripts: each action's distinct texts, numbered by first use, follow its code as an offset
// table and the terminated texts, padded to whole words; the record's fifth word counts them.
const char* const k_event_text = R"(action 0 1
    call FUNCID_WAIT_SCRIPT_END "s\a b;c"     ; blanks, a backslash and a ';' stay in the text
    call FUNCID_SCRIPT_START "go", 2, "s\a b;c"
    call FUNCID_WAIT_SCRIPT_END -1             ; the null operand
action 3
    SCRIPT_OP_YIELD
)";

const std::vector<std::uint32_t> k_event_expected = {
    0,          0x00000010, 2,  0,    // header
    0,          1,          0,  8, 2, // action 0: two texts
    3,          0,          52, 1, 0, // action 3 starts after action 0's string area
    0x02069001, 0,                    // WAIT_SCRIPT_END text 0
    0x02037003, 1,          2,  0,    // SCRIPT_START text 1, 2, text 0
    0x02069001, 0xFFFFFFFF,           // WAIT_SCRIPT_END -1
    0,          8,                    // offsets from the end of the table
    0x20615C73, 0x00633B62,           // "s\a b;c" and its terminator
    0x00006F67,                       // "go", its terminator and a byte of padding
    0x01000000,                       // action 3
};

TEST(ScriptAssembler, EventScriptTextsFollowTheirActionsCode)
{
    ScriptAssembly assembly = sasm_assemble(k_event_text);
    ASSERT_TRUE(assembly.ok()) << assembly.error;
    EXPECT_EQ(file_words(assembly.set.bytes()), k_event_expected);

    ScriptSetBuilder set;
    set.action(0, 1)
        .call("FUNCID_WAIT_SCRIPT_END", {sasm_text("s\\a b;c")})
        .call("FUNCID_SCRIPT_START", {sasm_text("go"), 2, sasm_text("s\\a b;c")})
        .call("FUNCID_WAIT_SCRIPT_END", {-1});
    set.action(3).op(1);
    EXPECT_EQ(file_words(set.bytes()), k_event_expected);
    EXPECT_EQ(set.actions[0].strings(), (std::vector<std::string>{"s\\a b;c", "go"}));
}

// Broken tables for the loader's tests: a count and raw words of the writer's choosing.
TEST(ScriptAssembler, RawStringCountsAndWords)
{
    const std::vector<std::uint32_t> expected = {
        0,          0x00000010, 1, 0,    //
        0,          0,          0, 2, 2, // two entries claimed
        0x02069001, 3,                   // a raw index past them
        0,          0x41414141,          // one offset, then "AAAA" without a terminator
    };
    ScriptAssembly assembly =
        sasm_assemble("action 0\n call 105 3\n string_count 2\n string_words 0 0x41414141");
    ASSERT_TRUE(assembly.ok()) << assembly.error;
    EXPECT_EQ(file_words(assembly.set.bytes()), expected);

    ScriptSetBuilder set;
    set.action(0).call(105, {3}).string_count(2).string_word(0).string_word(0x41414141);
    EXPECT_EQ(file_words(set.bytes()), expected);
}

TEST(ScriptAssembler, TextErrorsNameTheirLine)
{
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"action 1\ncall FUNCID_NOTHING", "line 2: unknown function \"FUNCID_NOTHING\""},
        {"action 1\ncall 4096", "line 2: function 4096 above 4095"},
        {"action 1\n\nSCRIPT_OP_JUMP @nowhere\naction 2\nnowhere:", "line 3: unknown label \"nowhere\""},
        {"action 1\na:\na: SCRIPT_OP_NOP", "line 3: label \"a\" defined twice"},
        {"action 1\nSCRIPT_OP_SETINT", "line 2: wrong number of operands"},
        {"action 1\nSCRIPT_OP_YIELD 1", "line 2: wrong number of operands"},
        {"action 1\ncall 2 flag:512", "line 2: game flag 512 outside 0-511"},
        {"action 1\ncall 2 local:16", "line 2: local 16 outside 0-15"},
        {"call FUNCID_WAIT 1", "line 1: a call outside an action"},
        {"action 1\nword 0x100000000", "line 2: bad argument \"0x100000000\""},
        {"action 1\nword -2147483649", "line 2: bad argument \"-2147483649\""},
        {"action 1\ncall 2 one", "line 2: bad argument \"one\""},
        {"images 1\nimages 2", "line 2: a second images statement"},
        {"action", "line 1: wrong number of operands"},
        {"jump 3", "line 1: unknown statement \"jump\""},
        {"action 1\ncall 105 \"open", "line 2: unterminated text"},
        {"string_count 1", "line 1: a string count outside an action"},
        {"action 1\nstring_words", "line 2: string_words without a value"},
        {"action 1\nstring_count 1 2", "line 2: wrong number of operands"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ScriptAssembly assembly = sasm_assemble(c.text);
        EXPECT_EQ(assembly.error, c.error);
    }
}

TEST(ScriptAssembler, CppFormRefusesWhatItCannotWrite)
{
    ScriptActionBuilder action(0, 0);
    EXPECT_THROW(action.call("FUNCID_NOTHING"), std::invalid_argument);
    EXPECT_THROW(action.call(4096), std::invalid_argument);
    EXPECT_THROW(sasm_flag(-1), std::invalid_argument);
    EXPECT_THROW(sasm_local(16), std::invalid_argument);
    action.label("here");
    EXPECT_THROW(action.label("here"), std::invalid_argument);
    action.op(3, sasm_label("there"));
    EXPECT_THROW(action.words(), std::invalid_argument);
}

// The names of both languages, each with one id; 185 is the second id of FUNCID_REG_EQFLAG.
TEST(ScriptAssembler, FunctionNamesOfBothLanguages)
{
    std::set<std::string> names;
    std::set<std::uint32_t> ids;
    for (const SasmFunctionName& row : sasm_function_names()) {
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        EXPECT_TRUE(ids.insert(row.id).second) << row.name;
        EXPECT_LT(row.id, 300u) << row.name;
    }
    struct Known {
        const char* name;
        std::uint32_t id;
    };
    const Known known[] = {
        {"FUNCID_EVENT", 0},          {"FUNCID_COLOR_B", 1},
        {"FUNCID_SHOT", 37},          {"FUNCID_RING_SET", 38},
        {"FUNCID_REG_AIBYTE", 50},    {"FUNCID_YIELD", 95},
        {"FUNCID_BOSS", 149},         {"FUNCID_FLAG_EQINT", 150},
        {"FUNCID_FLAG_SHIFT", 181},   {"FUNCID_REG_TAFIRST", 182},
        {"FUNCID_REG_HASITEM", 183},  {"FUNCID_REG_EQFLAG", 184},
        {"FUNCID_REG_EITHEREQ", 217}, {"FUNCID_DIALOG_SELECT_LAST", 218},
        {"FUNCID_ITEM_DROP2", 299},
    };
    for (const Known& k : known)
        EXPECT_EQ(sasm_function_id(k.name), k.id) << k.name;
    // The no-operation ids of the event scripts have no name.
    for (std::uint32_t id : {59u, 140u, 185u, 259u, 273u, 277u, 278u})
        EXPECT_EQ(ids.count(id), 0u) << id;
    EXPECT_EQ(sasm_opcode_id("SCRIPT_OP_XORINT"), 19u);
    EXPECT_FALSE(sasm_opcode_id("SCRIPT_OP_DIVINT"));
}

} // namespace
