#include "gfx/script_ops.h"

#include "core/errors.h"
#include "game/g_rules.h"

#include <iterator>

namespace {

constexpr std::int32_t ID_FLAG_EQINT = 150;
constexpr std::int32_t ID_FLAG_EQFLAG = 151;
constexpr std::int32_t ID_FLAG_CMPINT = 152;
constexpr std::int32_t ID_FLAG_CMPFLAG = 153;
constexpr std::int32_t ID_FLAG_CMPREG = 154;
constexpr std::int32_t ID_FLAG_ASSIGN_FIRST = 155;
constexpr std::int32_t ID_FLAG_ASSIGN_LAST = 181;
constexpr std::int32_t ID_REG_TAFIRST = 182;
constexpr std::int32_t ID_REG_HASITEM = 183;
constexpr std::int32_t ID_REG_EQFLAG = 184;
constexpr std::int32_t ID_REG_EQFLAG2 = 185;
constexpr std::int32_t ID_REG_CMPINT = 186;
constexpr std::int32_t ID_REG_CMPFLAG = 187;
constexpr std::int32_t ID_REG_SETINT = 188;
constexpr std::int32_t ID_REG_ADDINT = 190;
constexpr std::int32_t ID_REG_ASSIGN_LAST = 213;
constexpr std::int32_t ID_REG_ANDFLAGS = 214;
constexpr std::int32_t ID_REG_ORFLAGS = 215;
constexpr std::int32_t ID_REG_BOTHEQ = 216;
constexpr std::int32_t ID_REG_EITHEREQ = 217;

// The index of REG_SETINT's row in the assigning forms: the REG forms have no SETREG row.
constexpr std::int32_t ASSIGN_ROW_AFTER_SETREG = 3;
// The division errors of the REG forms follow the four of the variable forms.
constexpr int DIVISION_ERRORS_REG = 4;

const char* const k_division_messages[SCRIPT_DIVISION_ERRORS] = {
    "FUNCID_FLAG_DIVINT: divide by 0",  "FUNCID_FLAG_DIVFLAG: divide by 0", "FUNCID_FLAG_MODINT: divide by 0",
    "FUNCID_FLAG_MODFLAG: divide by 0", "FUNCID_REG_DIVINT: divide by 0",   "FUNCID_REG_DIVFLAG: divide by 0",
    "FUNCID_REG_MODINT: divide by 0",   "FUNCID_REG_MODFLAG: divide by 0",
};

enum class Operation : std::uint8_t {
    Set,
    Add,
    Sub,
    Mul,
    Div,
    Mod,
    And,
    Or,
    Xor,
    Clear,
    Not,
    Neg,
    Square,
    Shift
};

// Where the right-hand value of an assigning form comes from, counted from its first operand
// word: the variable forms' a1, the REG forms' a0.
enum class Operand : std::uint8_t {
    None,
    Int,        // the word itself
    Var,        // the variable it names
    Reg,        // the accumulator
    ShiftedVar, // shift(the variable it names, the next word)
};

struct AssignForm {
    Operation operation;
    Operand operand;
};

// Ids 155-181 in order; ids 188-213 are the same rows without the SETREG row (157).
constexpr AssignForm k_assign_forms[] = {
    {Operation::Set, Operand::Int},       {Operation::Set, Operand::Var},
    {Operation::Set, Operand::Reg},       {Operation::Add, Operand::Int},
    {Operation::Add, Operand::Var},       {Operation::Sub, Operand::Int},
    {Operation::Sub, Operand::Var},       {Operation::Mul, Operand::Int},
    {Operation::Mul, Operand::Var},       {Operation::Div, Operand::Int},
    {Operation::Div, Operand::Var},       {Operation::Mod, Operand::Int},
    {Operation::Mod, Operand::Var},       {Operation::And, Operand::Int},
    {Operation::And, Operand::Var},       {Operation::Or, Operand::Int},
    {Operation::Or, Operand::Var},        {Operation::Xor, Operand::Int},
    {Operation::Xor, Operand::Var},       {Operation::And, Operand::ShiftedVar},
    {Operation::Or, Operand::ShiftedVar}, {Operation::Xor, Operand::ShiftedVar},
    {Operation::Clear, Operand::None},    {Operation::Not, Operand::None},
    {Operation::Neg, Operand::None},      {Operation::Square, Operand::None},
    {Operation::Shift, Operand::Int},
};
static_assert(std::size(k_assign_forms) == ID_FLAG_ASSIGN_LAST - ID_FLAG_ASSIGN_FIRST + 1);
static_assert(std::size(k_assign_forms) - 1 == ID_REG_ASSIGN_LAST - ID_REG_SETINT + 1);

struct OpsCall {
    std::span<const ScriptWord> args;
    ScriptOpsContext& context;

    std::int32_t arg(std::size_t i) const { return i < args.size() ? static_cast<std::int32_t>(args[i]) : 0; }
    std::int32_t& var(std::size_t i) const { return *context.variable(arg(i), context.user); }
};

std::int32_t operand_value(Operand operand, const OpsCall& call, std::size_t first)
{
    switch (operand) {
    case Operand::Int:
        return call.arg(first);
    case Operand::Var:
        return call.var(first);
    case Operand::Reg:
        return call.context.reg;
    case Operand::ShiftedVar:
        return script_shift(call.var(first), call.arg(first + 1));
    case Operand::None:
        break;
    }
    return 0;
}

// Division by a constant is unsigned, by a variable signed; the signed quotient of INT_MIN by -1
// wraps to INT_MIN and its remainder is 0 instead of trapping.
std::int32_t divide(Operation operation, std::int32_t left, std::int32_t right, bool is_signed)
{
    const bool mod = operation == Operation::Mod;
    if (!is_signed) {
        auto l = static_cast<std::uint32_t>(left), r = static_cast<std::uint32_t>(right);
        return static_cast<std::int32_t>(mod ? l % r : l / r);
    }
    if (right == -1) return mod ? 0 : script_sub(0, left);
    return mod ? left % right : left / right;
}

std::int32_t apply(Operation operation, std::int32_t left, std::int32_t right)
{
    switch (operation) {
    case Operation::Set:
        return right;
    case Operation::Add:
        return script_add(left, right);
    case Operation::Sub:
        return script_sub(left, right);
    case Operation::Mul:
        return script_mul(left, right);
    case Operation::And:
        return left & right;
    case Operation::Or:
        return left | right;
    case Operation::Xor:
        return left ^ right;
    case Operation::Clear:
        return 0;
    case Operation::Not:
        return ~left;
    case Operation::Neg:
        return script_sub(0, left);
    case Operation::Square:
        return script_mul(left, left);
    case Operation::Shift:
        return script_shift(left, right);
    case Operation::Div:
    case Operation::Mod:
        break;
    }
    return left;
}

// `first` is the form's first operand word, `errors` its family's first division error.
void assign(const AssignForm& form, std::int32_t& target, const OpsCall& call, std::size_t first, int errors)
{
    const std::int32_t right = operand_value(form.operand, call, first);
    if (form.operation != Operation::Div && form.operation != Operation::Mod) {
        target = apply(form.operation, target, right);
        return;
    }
    if (right == 0) {
        const int error =
            errors + (form.operation == Operation::Mod ? 2 : 0) + (form.operand == Operand::Var ? 1 : 0);
        err_raise_code(E_FAIL, k_division_messages[error], call.context.source,
                       call.context.division_lines[error]);
    }
    target = divide(form.operation, target, right, form.operand == Operand::Var);
}

std::int32_t flag(bool value)
{
    return value ? 1 : 0;
}

// The forms that only read: comparisons and the tests that set REG.
void test(std::int32_t id, const OpsCall& call)
{
    std::int32_t& reg = call.context.reg;
    switch (id) {
    case ID_FLAG_EQINT:
        reg = flag(call.var(0) == call.arg(1));
        break;
    case ID_FLAG_EQFLAG:
        reg = flag(call.var(0) == call.var(1));
        break;
    case ID_FLAG_CMPINT:
        reg = script_compare_op(call.var(0), call.arg(1), call.arg(2));
        break;
    case ID_FLAG_CMPFLAG:
        reg = script_compare_op(call.var(0), call.arg(1), call.var(2));
        break;
    case ID_FLAG_CMPREG:
        reg = script_compare_op(call.var(0), call.arg(1), reg);
        break;
    case ID_REG_HASITEM:
        reg = flag(game_has_item(call.arg(0)));
        break;
    case ID_REG_EQFLAG:
    case ID_REG_EQFLAG2:
        reg = flag(reg == call.var(0));
        break;
    case ID_REG_CMPINT:
        reg = script_compare_op(reg, call.arg(0), call.arg(1));
        break;
    case ID_REG_CMPFLAG:
        reg = script_compare_op(reg, call.arg(0), call.var(1));
        break;
    case ID_REG_ANDFLAGS:
        reg = call.var(0) & call.var(1);
        break;
    case ID_REG_ORFLAGS:
        reg = call.var(0) | call.var(1);
        break;
    case ID_REG_BOTHEQ:
        reg = flag(call.var(0) == call.arg(1) && call.var(2) == call.arg(3));
        break;
    case ID_REG_EITHEREQ:
        reg = flag(call.var(0) == call.arg(1) || call.var(2) == call.arg(3));
        break;
    default:
        break;
    }
}

bool jump_taken(std::uint32_t opcode, std::int32_t reg)
{
    switch (opcode) {
    case SCRIPT_OP_JUMP:
    case SCRIPT_OP_JUMP2:
        return true;
    case SCRIPT_OP_JLT:
        return reg < 0;
    case SCRIPT_OP_JEQ:
        return reg == 0;
    case SCRIPT_OP_JLE:
        return reg <= 0;
    case SCRIPT_OP_JGT:
        return reg > 0;
    case SCRIPT_OP_JNE:
        return reg != 0;
    case SCRIPT_OP_JGE:
        return reg >= 0;
    default:
        return false; // SCRIPT_OP_SKIP
    }
}

} // namespace

bool script_ops_run(std::int32_t id, std::span<const ScriptWord> args, ScriptOpsContext& context)
{
    if (id < SCRIPT_OPS_FIRST || id > SCRIPT_OPS_LAST) return false;
    const OpsCall call{args, context};
    if (id >= ID_FLAG_ASSIGN_FIRST && id <= ID_FLAG_ASSIGN_LAST) {
        assign(k_assign_forms[id - ID_FLAG_ASSIGN_FIRST], call.var(0), call, 1, 0);
    } else if (id >= ID_REG_SETINT && id <= ID_REG_ASSIGN_LAST) {
        const std::int32_t row =
            id < ID_REG_ADDINT ? id - ID_REG_SETINT : id - ID_REG_ADDINT + ASSIGN_ROW_AFTER_SETREG;
        assign(k_assign_forms[row], context.reg, call, 0, DIVISION_ERRORS_REG);
    } else if (id == ID_REG_TAFIRST) {
        if (context.id_182) context.id_182(args, context.user);
    } else {
        test(id, call);
    }
    return true;
}

bool script_ops_sets_reg_only(std::int32_t id)
{
    return (id >= ID_FLAG_EQINT && id <= ID_FLAG_CMPREG) || (id >= ID_REG_HASITEM && id <= SCRIPT_OPS_LAST);
}

std::int32_t script_compare_op(std::int32_t left, std::uint32_t op, std::int32_t right)
{
    switch (op) {
    case 0:
        return 0;
    case 1:
        return flag(left < right);
    case 2:
        return flag(left == right);
    case 3:
        return flag(left <= right);
    case 4:
        return flag(left > right);
    case 5:
        return flag(left != right);
    case 6:
        return flag(left >= right);
    default:
        return 1;
    }
}

std::int32_t script_shift(std::int32_t value, std::int32_t count)
{
    const auto bits = static_cast<std::uint32_t>(value);
    const auto n = static_cast<std::uint32_t>(count);
    return static_cast<std::int32_t>(count >= 0 ? bits << (n & 31) : bits >> ((0u - n) & 31));
}

void script_run_plain_opcode(std::uint32_t opcode, std::span<const ScriptWord> code, std::uint32_t& pc,
                             std::int32_t& reg)
{
    if (opcode == SCRIPT_OP_NOP) return;
    if (opcode == SCRIPT_OP_CLEAR || opcode == SCRIPT_OP_CLEAR2) {
        reg = 0;
        return;
    }
    const std::uint32_t operand = pc < code.size() ? code[pc] : 0;
    if (opcode <= SCRIPT_OP_JUMP2) {
        pc = jump_taken(opcode, reg) ? operand : pc + 1;
        return;
    }
    ++pc;
    const auto value = static_cast<std::uint32_t>(reg);
    switch (opcode) {
    case SCRIPT_OP_SETINT:
        reg = static_cast<std::int32_t>(operand);
        break;
    case SCRIPT_OP_ADDINT:
        reg = static_cast<std::int32_t>(value + operand);
        break;
    case SCRIPT_OP_SUBINT:
        reg = static_cast<std::int32_t>(value - operand);
        break;
    case SCRIPT_OP_ANDINT:
        reg = static_cast<std::int32_t>(value & operand);
        break;
    case SCRIPT_OP_ORINT:
        reg = static_cast<std::int32_t>(value | operand);
        break;
    default: // SCRIPT_OP_XORINT
        reg = static_cast<std::int32_t>(value ^ operand);
        break;
    }
}
