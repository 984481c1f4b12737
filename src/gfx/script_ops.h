// The variable and accumulator functions 150-217, which mean the same in both script languages.
// Each interpreter hands them its accumulator, its variables, where its errors come from and
// what id 182 means to it.
#pragma once

#include <cstdint>
#include <span>

using ScriptWord = std::uint32_t;

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
