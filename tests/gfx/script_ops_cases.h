// The shared functions 150-217 as tables of cases that every interpreter running them goes
// through: the module's own test with a small context, the animation interpreter and the event
// interpreter, each by its own means. A runner sets the variables and REG (an interpreter sets
// REG with SCRIPT_OP_SETINT before the call), calls the id with the argument words, then checks
// REG and the listed variables. Ids 182 and 183 are not in the tables: 182 means something
// else to each interpreter, and 183 reads the play state.
#pragma once

#include "gfx/script_ops.h"

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

// Two game flags far from the entries with fixed meanings, and local 12, which lies outside the
// per-action state of an animation script and so survives the start of an action.
constexpr std::int32_t SCRIPT_CASE_A = 300;
constexpr std::int32_t SCRIPT_CASE_B = 301;
constexpr std::int32_t SCRIPT_CASE_C = 302;
constexpr std::int32_t SCRIPT_CASE_LOCAL = 524;

struct ScriptVarValue {
    std::int32_t index;
    std::int32_t value;
};

struct ScriptOpsCase {
    const char* name;
    std::int32_t id;
    std::vector<std::int32_t> args; // the argument words as written
    std::int32_t reg;
    std::vector<ScriptVarValue> vars;
    std::int32_t expected_reg;
    std::vector<ScriptVarValue> expected_vars;
};

inline const std::vector<ScriptOpsCase>& script_ops_cases()
{
    constexpr std::int32_t A = SCRIPT_CASE_A, B = SCRIPT_CASE_B, C = SCRIPT_CASE_C;
    static const std::vector<ScriptOpsCase> cases = {
        // Comparisons leave 1 or 0 in REG and change no variable.
        {"FLAG_EQINT equal", 150, {A, 7}, 5, {{A, 7}}, 1, {{A, 7}}},
        {"FLAG_EQINT different", 150, {A, 8}, 5, {{A, 7}}, 0, {{A, 7}}},
        {"FLAG_EQFLAG", 151, {A, B}, 0, {{A, -5}, {B, -5}}, 1, {{A, -5}, {B, -5}}},
        {"FLAG_CMPINT is signed", 152, {A, 1, 0}, 0, {{A, -1}}, 1, {}},
        {"FLAG_CMPINT operator 0 is false", 152, {A, 0, 0}, 1, {{A, -1}}, 0, {}},
        {"FLAG_CMPINT operator 7 is true", 152, {A, 7, 0}, 0, {{A, -1}}, 1, {}},
        {"FLAG_CMPINT operator 9 is true", 152, {A, 9, 100}, 0, {{A, 1}}, 1, {}},
        {"FLAG_CMPINT operator -1 is a large unsigned one", 152, {A, -1, 100}, 0, {{A, 1}}, 1, {}},
        {"FLAG_CMPFLAG greater", 153, {A, 4, C}, 0, {{A, 3}, {C, 2}}, 1, {{C, 2}}},
        {"FLAG_CMPFLAG less-or-equal false", 153, {A, 3, C}, 1, {{A, 3}, {C, 2}}, 0, {}},
        {"FLAG_CMPREG at least", 154, {A, 6}, 5, {{A, 5}}, 1, {}},
        {"FLAG_CMPREG not equal", 154, {A, 5}, 5, {{A, 5}}, 0, {}},
        {"REG_EQFLAG", 184, {A}, 4, {{A, 4}}, 1, {}},
        {"REG_EQFLAG's second id", 185, {A}, 4, {{A, 5}}, 0, {}},
        {"REG_CMPINT", 186, {3, -2}, -2, {}, 1, {}},
        {"REG_CMPINT operator 2", 186, {2, 9}, 8, {}, 0, {}},
        {"REG_CMPFLAG", 187, {1, B}, -2, {{B, -1}}, 1, {}},
        {"REG_ANDFLAGS", 214, {A, B}, 0, {{A, 0xC}, {B, 0xA}}, 0x8, {{A, 0xC}}},
        {"REG_ORFLAGS", 215, {A, B}, 0, {{A, 0xC}, {B, 0xA}}, 0xE, {{A, 0xC}}},
        {"REG_BOTHEQ both", 216, {A, 1, C, 2}, 9, {{A, 1}, {C, 2}}, 1, {}},
        {"REG_BOTHEQ one", 216, {A, 1, C, 3}, 9, {{A, 1}, {C, 2}}, 0, {}},
        {"REG_EITHEREQ one", 217, {A, 1, C, 3}, 9, {{A, 1}, {C, 2}}, 1, {}},
        {"REG_EITHEREQ none", 217, {A, 0, C, 3}, 9, {{A, 1}, {C, 2}}, 0, {}},

        // Variable forms change var a only; REG stays.
        {"FLAG_SETINT", 155, {A, -42}, 3, {{A, 5}}, 3, {{A, -42}}},
        {"FLAG_SETINT without its value word sets 0", 155, {A}, 3, {{A, 5}}, 3, {{A, 0}}},
        {"FLAG_SETFLAG", 156, {A, B}, 3, {{B, 9}}, 3, {{A, 9}, {B, 9}}},
        {"FLAG_SETREG", 157, {A}, 123, {}, 123, {{A, 123}}},
        {"FLAG_ADDINT wraps", 158, {A, 1}, 0, {{A, INT_MAX}}, 0, {{A, INT_MIN}}},
        {"FLAG_ADDINT on a local",
         158,
         {SCRIPT_CASE_LOCAL, 5},
         0,
         {{SCRIPT_CASE_LOCAL, 2}},
         0,
         {{SCRIPT_CASE_LOCAL, 7}}},
        {"FLAG_ADDFLAG", 159, {A, B}, 0, {{A, 5}, {B, -7}}, 0, {{A, -2}, {B, -7}}},
        {"FLAG_SUBINT wraps", 160, {A, 1}, 0, {{A, INT_MIN}}, 0, {{A, INT_MAX}}},
        {"FLAG_SUBFLAG", 161, {A, B}, 0, {{A, 5}, {B, 7}}, 0, {{A, -2}, {B, 7}}},
        {"FLAG_MULINT wraps", 162, {A, 0x10000}, 0, {{A, 0x10000}}, 0, {{A, 0}}},
        {"FLAG_MULFLAG", 163, {A, B}, 0, {{A, -3}, {B, 7}}, 0, {{A, -21}}},
        {"FLAG_DIVINT is unsigned", 164, {A, 2}, 0, {{A, -7}}, 0, {{A, 2147483644}}},
        {"FLAG_DIVFLAG is signed", 165, {A, B}, 0, {{A, -7}, {B, 2}}, 0, {{A, -3}, {B, 2}}},
        {"FLAG_DIVFLAG INT_MIN by -1", 165, {A, B}, 0, {{A, INT_MIN}, {B, -1}}, 0, {{A, INT_MIN}}},
        {"FLAG_MODINT is unsigned", 166, {A, 10}, 0, {{A, -7}}, 0, {{A, 9}}},
        {"FLAG_MODFLAG is signed", 167, {A, B}, 0, {{A, -7}, {B, 10}}, 0, {{A, -7}}},
        {"FLAG_MODFLAG INT_MIN by -1", 167, {A, B}, 0, {{A, INT_MIN}, {B, -1}}, 0, {{A, 0}}},
        {"FLAG_ANDINT", 168, {A, 0xFF00}, 0, {{A, 0xF0F0}}, 0, {{A, 0xF000}}},
        {"FLAG_ANDFLAG", 169, {A, B}, 0, {{A, 0xF0F0}, {B, 0x0FF0}}, 0, {{A, 0x00F0}}},
        {"FLAG_ORINT", 170, {A, 0xFF00}, 0, {{A, 0xF0F0}}, 0, {{A, 0xFFF0}}},
        {"FLAG_ORFLAG", 171, {A, B}, 0, {{A, 0xF0F0}, {B, 0x0FF0}}, 0, {{A, 0xFFF0}}},
        {"FLAG_XORINT", 172, {A, 0xFF00}, 0, {{A, 0xF0F0}}, 0, {{A, 0x0FF0}}},
        {"FLAG_XORFLAG", 173, {A, B}, 0, {{A, 0xF0F0}, {B, 0x0FF0}}, 0, {{A, 0xFF00}}},
        {"FLAG_ANDSHIFT left", 174, {A, B, 4}, 0, {{A, 0xFF}, {B, 1}}, 0, {{A, 0x10}, {B, 1}}},
        {"FLAG_ORSHIFT right fills zeros", 175, {A, B, -28}, 0, {{A, 0x100}, {B, -1}}, 0, {{A, 0x10F}}},
        {"FLAG_XORSHIFT count modulo 32", 176, {A, B, 33}, 0, {{A, 3}, {B, 1}}, 0, {{A, 1}}},
        {"FLAG_CLEAR", 177, {A}, 0, {{A, 5}}, 0, {{A, 0}}},
        {"FLAG_NOT", 178, {A}, 0, {{A, 0}}, 0, {{A, -1}}},
        {"FLAG_NEG", 179, {A}, 0, {{A, 5}}, 0, {{A, -5}}},
        {"FLAG_NEG of INT_MIN wraps", 179, {A}, 0, {{A, INT_MIN}}, 0, {{A, INT_MIN}}},
        {"FLAG_SQUARE", 180, {A}, 0, {{A, -3}}, 0, {{A, 9}}},
        {"FLAG_SQUARE wraps", 180, {A}, 0, {{A, 46341}}, 0, {{A, -2147479015}}},
        {"FLAG_SHIFT right by 1", 181, {A, -1}, 0, {{A, 1}}, 0, {{A, 0}}},
        {"FLAG_SHIFT right by 28", 181, {A, -28}, 0, {{A, -1}}, 0, {{A, 15}}},
        {"FLAG_SHIFT left by 33", 181, {A, 33}, 0, {{A, 1}}, 0, {{A, 2}}},
        {"FLAG_SHIFT into the sign bit", 181, {A, 31}, 0, {{A, 1}}, 0, {{A, INT_MIN}}},
        {"FLAG_SHIFT out of the sign bit", 181, {A, -31}, 0, {{A, INT_MIN}}, 0, {{A, 1}}},

        // REG forms change REG only.
        {"REG_SETINT", 188, {77}, 3, {}, 77, {}},
        {"REG_SETINT without its word sets 0", 188, {}, 3, {}, 0, {}},
        {"REG_SETFLAG", 189, {A}, 3, {{A, -9}}, -9, {{A, -9}}},
        {"REG_ADDINT wraps", 190, {1}, INT_MAX, {}, INT_MIN, {}},
        {"REG_ADDFLAG", 191, {A}, 5, {{A, -7}}, -2, {{A, -7}}},
        {"REG_SUBINT wraps", 192, {1}, INT_MIN, {}, INT_MAX, {}},
        {"REG_SUBFLAG", 193, {A}, 5, {{A, 7}}, -2, {}},
        {"REG_MULINT wraps", 194, {0x10000}, -0x10000, {}, 0, {}},
        {"REG_MULFLAG", 195, {A}, -3, {{A, 7}}, -21, {}},
        {"REG_DIVINT is unsigned", 196, {2}, -7, {}, 2147483644, {}},
        {"REG_DIVFLAG is signed", 197, {A}, -7, {{A, 2}}, -3, {{A, 2}}},
        {"REG_DIVFLAG INT_MIN by -1", 197, {A}, INT_MIN, {{A, -1}}, INT_MIN, {}},
        {"REG_MODINT is unsigned", 198, {10}, -7, {}, 9, {}},
        {"REG_MODFLAG is signed", 199, {A}, -7, {{A, 10}}, -7, {}},
        {"REG_MODFLAG INT_MIN by -1", 199, {A}, INT_MIN, {{A, -1}}, 0, {}},
        {"REG_ANDINT", 200, {0xFF00}, 0xF0F0, {}, 0xF000, {}},
        {"REG_ANDFLAG", 201, {A}, 0xF0F0, {{A, 0x0FF0}}, 0x00F0, {}},
        {"REG_ORINT", 202, {0xFF00}, 0xF0F0, {}, 0xFFF0, {}},
        {"REG_ORFLAG", 203, {A}, 0xF0F0, {{A, 0x0FF0}}, 0xFFF0, {}},
        {"REG_XORINT", 204, {0xFF00}, 0xF0F0, {}, 0x0FF0, {}},
        {"REG_XORFLAG", 205, {A}, 0xF0F0, {{A, 0x0FF0}}, 0xFF00, {}},
        {"REG_ANDSHIFT", 206, {A, 4}, 0xFF, {{A, 1}}, 0x10, {{A, 1}}},
        {"REG_ORSHIFT", 207, {A, -28}, 0x100, {{A, -1}}, 0x10F, {{A, -1}}},
        {"REG_XORSHIFT", 208, {A, 33}, 3, {{A, 1}}, 1, {{A, 1}}},
        {"REG_CLEAR", 209, {}, 5, {}, 0, {}},
        {"REG_NOT", 210, {}, 0, {}, -1, {}},
        {"REG_NEG of INT_MIN wraps", 211, {}, INT_MIN, {}, INT_MIN, {}},
        {"REG_NEG", 211, {}, -5, {}, 5, {}},
        {"REG_SQUARE wraps", 212, {}, 46341, {}, -2147479015, {}},
        {"REG_SHIFT left by 33", 213, {33}, 1, {}, 2, {}},
        {"REG_SHIFT right by 28", 213, {-28}, -1, {}, 15, {}},
    };
    return cases;
}

// A division by zero: the call with its variables, and the index of its error among the eight
// (FLAG_DIVINT, FLAG_DIVFLAG, FLAG_MODINT, FLAG_MODFLAG, REG_DIVINT, REG_DIVFLAG, REG_MODINT,
// REG_MODFLAG), which picks the message and the interpreter's line.
struct ScriptDivisionCase {
    std::int32_t id;
    std::vector<std::int32_t> args;
    std::vector<ScriptVarValue> vars;
    int error;
};

inline const std::vector<ScriptDivisionCase>& script_division_cases()
{
    constexpr std::int32_t A = SCRIPT_CASE_A, B = SCRIPT_CASE_B;
    static const std::vector<ScriptDivisionCase> cases = {
        {164, {A, 0}, {{A, 7}}, 0},
        {164, {A}, {{A, 7}}, 0}, // a missing divisor reads as 0
        {165, {A, B}, {{A, 7}, {B, 0}}, 1},
        {166, {A, 0}, {{A, 7}}, 2},
        {167, {A, B}, {{A, 7}, {B, 0}}, 3},
        {196, {0}, {}, 4},
        {197, {A}, {{A, 0}}, 5},
        {198, {0}, {}, 6},
        {199, {A}, {{A, 0}}, 7},
    };
    return cases;
}

inline const char* const k_script_division_messages[SCRIPT_DIVISION_ERRORS] = {
    "FUNCID_FLAG_DIVINT: divide by 0",  "FUNCID_FLAG_DIVFLAG: divide by 0", "FUNCID_FLAG_MODINT: divide by 0",
    "FUNCID_FLAG_MODFLAG: divide by 0", "FUNCID_REG_DIVINT: divide by 0",   "FUNCID_REG_DIVFLAG: divide by 0",
    "FUNCID_REG_MODINT: divide by 0",   "FUNCID_REG_MODFLAG: divide by 0",
};

// Where each interpreter raises the eight errors.
inline constexpr unsigned k_ani_step_division_lines[SCRIPT_DIVISION_ERRORS] = {1019, 1028, 1037, 1046,
                                                                               1171, 1180, 1189, 1198};
// EvalDuration runs only the REG forms; its first four lines are never used.
inline constexpr unsigned k_ani_eval_division_lines[SCRIPT_DIVISION_ERRORS] = {0,   0,   0,   0,
                                                                               499, 508, 517, 526};
inline constexpr unsigned k_go_script_division_lines[SCRIPT_DIVISION_ERRORS] = {746, 755, 764, 773,
                                                                                898, 907, 916, 925};

// The RuntimeError text of a division error raised from the source's line.
inline std::string script_division_error_text(int error, const char* source, unsigned line)
{
    return std::string("E_FAIL(80004005h)\r\n->") + k_script_division_messages[error] + "\n" + source + "(" +
           std::to_string(line) + ")\n";
}
