// The variable and accumulator functions 150-217, which mean the same in both script languages.
// Each interpreter hands them its accumulator, its variables, where its errors come from and
// what id 182 means to it.
#pragma once

#include <cstdint>
#include <span>

using ScriptWord = std::uint32_t;

// The opcodes of both languages; event scripts leave 13 undefined.
enum ScriptOpcode : std::uint32_t {
    SCRIPT_OP_NOP = 0,
    SCRIPT_OP_YIELD = 1,
    SCRIPT_OP_CALL = 2,
    SCRIPT_OP_JUMP = 3,
    SCRIPT_OP_SKIP = 4,
    SCRIPT_OP_JLT = 5,
    SCRIPT_OP_JEQ = 6,
    SCRIPT_OP_JLE = 7,
    SCRIPT_OP_JGT = 8,
    SCRIPT_OP_JNE = 9,
    SCRIPT_OP_JGE = 10,
    SCRIPT_OP_JUMP2 = 11,
    SCRIPT_OP_CLEAR = 12,
    SCRIPT_OP_CLEAR2 = 13,
    SCRIPT_OP_SETINT = 14,
    SCRIPT_OP_ADDINT = 15,
    SCRIPT_OP_SUBINT = 16,
    SCRIPT_OP_ANDINT = 17,
    SCRIPT_OP_ORINT = 18,
    SCRIPT_OP_XORINT = 19,
    SCRIPT_OP_COUNT = 20,
};

constexpr std::uint32_t script_word_opcode(ScriptWord word)
{
    return word >> 24;
}
constexpr std::int32_t script_word_function(ScriptWord word)
{
    return static_cast<std::int32_t>((word >> 12) & 0xFFF);
}
constexpr std::uint32_t script_word_argc(ScriptWord word)
{
    return word & 0xFFF;
}

constexpr std::int32_t SCRIPT_OPS_FIRST = 150;
constexpr std::int32_t SCRIPT_OPS_LAST = 217;
constexpr int SCRIPT_DIVISION_ERRORS = 8;

// An interpreter's side of the shared functions.
struct ScriptOpsContext {
    std::int32_t& reg;
    // The address of the variable a ScriptVarIndex names; throws for an index outside 0-527.
    std::int32_t* (*variable)(std::int32_t index, void* user);
    void* user;
    // Errors: source and lines of FLAG_DIVINT, FLAG_DIVFLAG, FLAG_MODINT, FLAG_MODFLAG,
    // REG_DIVINT, REG_DIVFLAG, REG_MODINT, REG_MODFLAG in this order.
    const char* source;
    const unsigned (&division_lines)[SCRIPT_DIVISION_ERRORS];
    // Id 182; null: nothing.
    void (*id_182)(std::span<const ScriptWord> args, void* user);
};

// Runs a function id 150-217 with its argument words (missing words read as 0); false, nothing
// done, for any other id.
bool script_ops_run(std::int32_t id, std::span<const ScriptWord> args, ScriptOpsContext& context);
// True for the ids that only read variables and set the accumulator: 150-154 and 183-217.
bool script_ops_sets_reg_only(std::int32_t id);

// compare(left, operator, right), signed: 0 false, 1 <, 2 ==, 3 <=, 4 >, 5 !=, 6 >=, above true.
std::int32_t script_compare_op(std::int32_t left, std::uint32_t op, std::int32_t right);
// n >= 0 shifts left, n < 0 right by -n filling with zeros; the count is taken modulo 32.
std::int32_t script_shift(std::int32_t value, std::int32_t count);

// Script arithmetic wraps at 32 bits; the opcodes and the functions of both interpreters use these.
constexpr std::int32_t script_add(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
constexpr std::int32_t script_sub(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
constexpr std::int32_t script_mul(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

// Opcodes 0 and 3-19, which only move the counter (standing after the instruction word) and
// change the accumulator; an operand past the code reads as 0. Both interpreters run them here.
void script_run_plain_opcode(std::uint32_t opcode, std::span<const ScriptWord> code, std::uint32_t& pc,
                             std::int32_t& reg);
