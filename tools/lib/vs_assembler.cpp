#include "lib/vs_assembler.h"

#include "lib/vso_writer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <stdexcept>

namespace {

struct OpcodeInfo {
    const char* name;
    std::uint32_t code;
    int sources;
};

constexpr OpcodeInfo k_opcodes[] = {
    {"nop", 0, -1},  {"mov", 1, 1},   {"add", 2, 2},   {"sub", 3, 2},   {"mad", 4, 3},   {"mul", 5, 2},
    {"rcp", 6, 1},   {"rsq", 7, 1},   {"dp3", 8, 2},   {"dp4", 9, 2},   {"min", 10, 2},  {"max", 11, 2},
    {"slt", 12, 2},  {"sge", 13, 2},  {"exp", 14, 1},  {"log", 15, 1},  {"lit", 16, 1},  {"dst", 17, 2},
    {"frc", 19, 1},  {"m4x4", 20, 2}, {"m4x3", 21, 2}, {"m3x4", 22, 2}, {"m3x3", 23, 2}, {"m3x2", 24, 2},
    {"expp", 78, 1}, {"logp", 79, 1},
};

// Register files with a numbered name prefix, and their counts.
struct RegisterName {
    const char* prefix;
    VsoRegister file;
    std::uint32_t base;
    std::uint32_t count;
};

constexpr RegisterName k_registers[] = {
    {"opos", VsoRegister::RasterOut, 0, 1}, {"ofog", VsoRegister::RasterOut, 1, 1},
    {"opts", VsoRegister::RasterOut, 2, 1}, {"od", VsoRegister::ColorOut, 0, 2},
    {"ot", VsoRegister::TexCoordOut, 0, 8}, {"a", VsoRegister::Address, 0, 1},
    {"r", VsoRegister::Temp, 0, 12},        {"v", VsoRegister::Input, 0, 16},
    {"c", VsoRegister::Const, 0, 96},
};

struct Operand {
    VsoRegister file = VsoRegister::Temp;
    std::uint32_t number = 0;
    bool negate = false;
    bool relative = false;
    std::string suffix; // the text after the '.', lower case
};

class SyntaxError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

std::string_view trim(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

std::uint32_t parse_number(std::string_view text, const std::string& operand)
{
    text = trim(text);
    std::uint32_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        throw SyntaxError("bad register number in \"" + operand + "\"");
    return value;
}

// "c[a0.x + n]", "c[n + a0.x]", "c[a0.x]" or "c[n]".
void parse_constant_index(std::string_view inside, Operand& operand, const std::string& text)
{
    std::string index = lower(inside);
    index.erase(std::remove_if(index.begin(), index.end(), [](unsigned char c) { return std::isspace(c); }),
                index.end());
    std::size_t address = index.find("a0.x");
    if (address == std::string::npos) {
        operand.number = parse_number(index, text);
        return;
    }
    operand.relative = true;
    index.erase(address, 4);
    if (index.empty()) return;
    if (index.front() == '+')
        index.erase(0, 1);
    else if (index.back() == '+')
        index.pop_back();
    else
        throw SyntaxError("bad relative address in \"" + text + "\"");
    operand.number = parse_number(index, text);
}

Operand parse_operand(std::string_view raw)
{
    std::string text(trim(raw));
    Operand operand;
    std::string_view rest = text;
    if (!rest.empty() && rest.front() == '-') {
        operand.negate = true;
        rest = trim(rest.substr(1));
    }
    std::size_t bracket = rest.find('[');
    std::string_view name = rest.substr(0, std::min(rest.find_first_of("[."), rest.size()));
    std::string lname = lower(name);
    if (bracket != std::string_view::npos) {
        std::size_t close = rest.find(']', bracket);
        if (lname != "c" || close == std::string_view::npos)
            throw SyntaxError("bad register \"" + text + "\"");
        operand.file = VsoRegister::Const;
        parse_constant_index(rest.substr(bracket + 1, close - bracket - 1), operand, text);
        rest = rest.substr(close + 1);
    } else {
        const RegisterName* found = nullptr;
        for (const RegisterName& reg : k_registers)
            if (lname.starts_with(reg.prefix)) {
                found = &reg;
                break;
            }
        if (!found) throw SyntaxError("unknown register \"" + text + "\"");
        std::string_view digits = std::string_view(lname).substr(std::string_view(found->prefix).size());
        std::uint32_t index = found->count == 1 && found->file != VsoRegister::Address && digits.empty()
                                  ? 0
                                  : parse_number(digits, text);
        operand.file = found->file;
        operand.number = found->base + index;
        if (index >= found->count) throw SyntaxError("register out of range \"" + text + "\"");
        rest = rest.substr(name.size());
    }
    if (operand.file == VsoRegister::Const && operand.number >= 96)
        throw SyntaxError("register out of range \"" + text + "\"");
    if (!rest.empty()) {
        if (rest.front() != '.' || rest.size() < 2) throw SyntaxError("bad suffix in \"" + text + "\"");
        operand.suffix = lower(rest.substr(1));
    }
    return operand;
}

int lane_of(char c)
{
    static constexpr std::string_view k_lanes = "xyzw", k_colors = "rgba";
    std::size_t lane = k_lanes.find(c);
    return lane != std::string_view::npos ? int(lane) : int(k_colors.find(c));
}

std::uint32_t write_mask(const Operand& operand, const std::string& text)
{
    if (operand.suffix.empty()) return VSO_MASK_XYZW;
    std::uint32_t mask = 0;
    int last = -1;
    for (char c : operand.suffix) {
        int lane = lane_of(c);
        if (lane < 0 || lane <= last) throw SyntaxError("bad write mask in \"" + text + "\"");
        mask |= 1u << lane;
        last = lane;
    }
    return mask;
}

std::uint32_t swizzle(const Operand& operand, const std::string& text)
{
    if (operand.suffix.empty()) return VSO_SWIZZLE_XYZW;
    if (operand.suffix.size() > 4) throw SyntaxError("bad swizzle in \"" + text + "\"");
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        int lane = lane_of(operand.suffix[std::min(i, operand.suffix.size() - 1)]);
        if (lane < 0) throw SyntaxError("bad swizzle in \"" + text + "\"");
        bits |= std::uint32_t(lane) << (2 * i);
    }
    return bits;
}

std::uint32_t destination(std::string_view raw)
{
    std::string text(trim(raw));
    Operand operand = parse_operand(text);
    if (operand.negate || operand.relative) throw SyntaxError("bad destination \"" + text + "\"");
    if (operand.file == VsoRegister::Input || operand.file == VsoRegister::Const)
        throw SyntaxError("read-only destination \"" + text + "\"");
    return vso_dst(operand.file, operand.number, write_mask(operand, text));
}

std::uint32_t source(std::string_view raw)
{
    std::string text(trim(raw));
    Operand operand = parse_operand(text);
    if (operand.file != VsoRegister::Temp && operand.file != VsoRegister::Input &&
        operand.file != VsoRegister::Const)
        throw SyntaxError("not a source register \"" + text + "\"");
    return vso_src(operand.file, operand.number, swizzle(operand, text), operand.negate, operand.relative);
}

// Operands split at the commas outside brackets.
std::vector<std::string_view> split_operands(std::string_view text)
{
    std::vector<std::string_view> parts;
    int depth = 0;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '[') ++depth;
        if (text[i] == ']') --depth;
        if (text[i] == ',' && depth == 0) {
            parts.push_back(trim(text.substr(start, i - start)));
            start = i + 1;
        }
    }
    if (!trim(text).empty()) parts.push_back(trim(text.substr(start)));
    return parts;
}

void assemble_instruction(std::string_view statement, std::vector<std::uint32_t>& tokens)
{
    std::size_t space = statement.find_first_of(" \t");
    std::string mnemonic = lower(statement.substr(0, space));
    std::string_view rest = space == std::string_view::npos ? std::string_view() : statement.substr(space);
    auto op = std::find_if(std::begin(k_opcodes), std::end(k_opcodes),
                           [&](const OpcodeInfo& info) { return mnemonic == info.name; });
    if (op == std::end(k_opcodes)) throw SyntaxError("unknown instruction \"" + mnemonic + "\"");
    std::vector<std::string_view> operands = split_operands(rest);
    std::size_t expected = op->sources < 0 ? 0 : std::size_t(op->sources) + 1;
    if (operands.size() != expected)
        throw SyntaxError("\"" + mnemonic + "\" takes " + std::to_string(expected) + " operands");
    tokens.push_back(op->code);
    if (expected == 0) return;
    std::uint32_t dst = destination(operands[0]);
    if ((dst >> 28 & 7) == std::uint32_t(VsoRegister::Address) && op->code != VSO_OP_MOV)
        throw SyntaxError("only mov writes a0");
    tokens.push_back(dst);
    for (std::size_t i = 1; i < operands.size(); ++i)
        tokens.push_back(source(operands[i]));
}

std::string_view strip_comment(std::string_view line)
{
    std::size_t end = std::min(line.find(';'), line.find("//"));
    return trim(line.substr(0, std::min(end, line.size())));
}

} // namespace

VsAssembly vsasm_assemble(std::string_view text)
{
    VsAssembly result;
    std::vector<std::uint32_t> tokens;
    int line_number = 0;
    try {
        while (!text.empty() || line_number == 0) {
            ++line_number;
            std::size_t newline = text.find('\n');
            std::string_view statement = strip_comment(text.substr(0, newline));
            text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
            if (statement.empty()) continue;
            std::string word = lower(statement);
            if (tokens.empty()) {
                if (word != "vs.1.1" && word != "vs.1.0") throw SyntaxError("expected vs.1.0 or vs.1.1");
                tokens.push_back(word == "vs.1.1" ? VSO_VERSION_11 : VSO_VERSION_11 - 1);
                continue;
            }
            assemble_instruction(statement, tokens);
        }
        if (tokens.empty()) throw SyntaxError("no version statement");
    } catch (const SyntaxError& error) {
        result.error = "line " + std::to_string(line_number) + ": " + error.what();
        return result;
    }
    tokens.push_back(VSO_END);
    result.tokens = std::move(tokens);
    return result;
}

std::vector<std::uint32_t> vsasm_assemble_or_throw(std::string_view text)
{
    VsAssembly assembly = vsasm_assemble(text);
    if (!assembly.ok()) throw std::logic_error(assembly.error + "\n" + std::string(text));
    return std::move(assembly.tokens);
}
