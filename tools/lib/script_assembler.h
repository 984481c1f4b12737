// Assembler of compiled script sets (".aso") and event scripts (".xso"): a 16-byte header (a
// word, the header size 16, a half word, the action count, the image archive number), one
// 20-byte record per action (id, priority, code offset in bytes from the code start, length in
// words, the count of its string table), then every action's code of 32-bit script words in
// action order, each followed by its string area.
//
// A script word is an opcode in bits 24-31; a call (opcode 2) carries the function id in bits
// 12-23 and the count of argument words that follow it in bits 0-11. Opcodes 3-11 and 14-19 take
// one operand word. Jump targets are labels, resolved to word indices within their action.
// String operands are texts, each distinct text of an action numbered in order of first use; the
// action's string area holds one 32-bit offset per text (from the end of the offsets), then the
// NUL-terminated texts, padded to whole words. Actions without texts have an empty area.
//
// Two forms build the same file. The C++ form (ScriptSetBuilder) is for tests. The text form
// (sasm_assemble, the mkscript CLI) has one statement a line; ';' starts a comment, commas
// separate like blanks:
//   images 13               the header's image archive number (0 when absent)
//   action 2 5              starts action 2 with priority 5 (the priority may be left out: 0)
//   loop:                   a label naming the index of the next word; a statement may follow
//   SCRIPT_OP_SETINT 7      an opcode by name with exactly its operands
//   op 20                   an opcode by number, followed by any operand words given
//   call FUNCID_WAIT 4      a call by FUNCID_ name or by number with its argument words
//   word 0x02002005 1       raw words, for fixtures the assembler would refuse to write
//   string_count 9          the action's table count as given, whatever texts it has
//   string_words 0 0x41     raw words appended to the action's string area
// Argument and operand words: integers (decimal or 0x hex, negative allowed), floats (with a
// '.' or an exponent, stored as their bit pattern), variables ("flag:120" a game flag 0-511,
// "local:3" the local variable 515), labels ("@loop") and string operands ("a text", any
// characters but the quote itself and the line end, backslashes and ';' included). The null
// string operand is the integer -1; a raw string index is an integer.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

constexpr std::uint32_t SASM_HEADER_SIZE = 16;
constexpr std::uint32_t SASM_ACTION_SIZE = 20;
constexpr std::uint32_t SASM_OPCODE_CALL = 2;
constexpr std::uint32_t SASM_FIELD_MAX = 0xFFF; // the largest function id and argument count
constexpr std::int32_t SASM_GAME_FLAG_COUNT = 512;
constexpr std::int32_t SASM_LOCAL_FIRST = 512; // the variable index of local 0
constexpr std::int32_t SASM_LOCAL_COUNT = 16;

struct SasmFunctionName {
    const char* name;
    std::uint32_t id;
};

// Every FUNCID_ name of both script languages with its id; id 185 has no name of its own (it
// is FUNCID_REG_EQFLAG's second id).
std::span<const SasmFunctionName> sasm_function_names();
std::optional<std::uint32_t> sasm_function_id(std::string_view name);
// The SCRIPT_OP_ names.
std::optional<std::uint32_t> sasm_opcode_id(std::string_view name);

constexpr std::uint32_t sasm_op_word(std::uint32_t opcode)
{
    return opcode << 24;
}
constexpr std::uint32_t sasm_call_word(std::uint32_t id, std::uint32_t argc)
{
    return sasm_op_word(SASM_OPCODE_CALL) | (id & SASM_FIELD_MAX) << 12 | (argc & SASM_FIELD_MAX);
}

// One argument or operand word: a value, or a label resolved when the action's words are made.
class SasmArg {
public:
    SasmArg(std::int32_t value) : word_(static_cast<std::uint32_t>(value)) {}
    SasmArg(std::uint32_t value) : word_(value) {}

    friend SasmArg sasm_label(std::string name);
    friend SasmArg sasm_text(std::string text);
    bool is_label() const { return kind_ == Kind::label; }
    bool is_text() const { return kind_ == Kind::text; }
    // The label's name or the string operand's text.
    const std::string& name() const { return name_; }
    std::uint32_t word() const { return word_; }

private:
    enum class Kind : std::uint8_t { value, label, text };
    std::uint32_t word_ = 0;
    Kind kind_ = Kind::value;
    std::string name_;
};

SasmArg sasm_float(float value);
// Game flag 0-511 and local 0-15 as variable indices; throws std::invalid_argument outside them.
SasmArg sasm_flag(std::int32_t index);
SasmArg sasm_local(std::int32_t number);
SasmArg sasm_label(std::string name);
// A string operand: the index of the text in its action's string table.
SasmArg sasm_text(std::string text);

// The code of one action. The builders throw std::invalid_argument for a function name or
// number they do not know, a second label of one name or more than 4095 arguments.
class ScriptActionBuilder {
public:
    ScriptActionBuilder(std::int32_t id, std::uint32_t priority) : id(id), priority(priority) {}

    ScriptActionBuilder& op(std::uint32_t opcode);
    ScriptActionBuilder& op(std::uint32_t opcode, const SasmArg& operand);
    ScriptActionBuilder& call(std::uint32_t function, std::span<const SasmArg> args);
    ScriptActionBuilder& call(std::uint32_t function, std::initializer_list<SasmArg> args = {});
    ScriptActionBuilder& call(std::string_view function, std::initializer_list<SasmArg> args = {});
    ScriptActionBuilder& label(std::string name);
    ScriptActionBuilder& word(const SasmArg& raw);
    // For broken fixtures: the record's table count as given, and raw words after the texts.
    ScriptActionBuilder& string_count(std::uint32_t count);
    ScriptActionBuilder& string_word(std::uint32_t raw);

    bool has_label(std::string_view name) const;
    // The code with labels and texts resolved; throws std::invalid_argument for a label never
    // defined.
    std::vector<std::uint32_t> words() const;
    // The distinct texts of the string operands, by index.
    std::vector<std::string> strings() const;
    // The count written in the action record.
    std::uint32_t table_count() const;
    // The bytes that follow the code: offsets, texts, padding, raw words.
    std::vector<std::uint8_t> string_area() const;

    std::int32_t id;
    std::uint32_t priority;

private:
    std::vector<SasmArg> code_;
    std::vector<std::pair<std::string, std::uint32_t>> labels_;
    std::optional<std::uint32_t> string_count_;
    std::vector<std::uint32_t> string_words_;
};

class ScriptSetBuilder {
public:
    explicit ScriptSetBuilder(std::int32_t image_archive = 0) : image_archive(image_archive) {}

    // The returned builder stays valid while more actions are added.
    ScriptActionBuilder& action(std::int32_t id, std::uint32_t priority = 0);
    // The unpacked file image.
    std::vector<std::uint8_t> bytes() const;

    std::int32_t image_archive;
    std::deque<ScriptActionBuilder> actions;
};

struct ScriptAssembly {
    ScriptSetBuilder set;
    std::string error; // "line N: ..." on error
    bool ok() const { return error.empty(); }
};

ScriptAssembly sasm_assemble(std::string_view text);
// The file image of text that must assemble; throws std::logic_error with the error otherwise.
std::vector<std::uint8_t> sasm_assemble_or_throw(std::string_view text);
