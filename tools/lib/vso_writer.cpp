#include "lib/vso_writer.h"

#include <fstream>

namespace {

constexpr std::uint32_t k_param = 0x80000000;
constexpr std::uint32_t k_regtype_shift = 28;
constexpr std::uint32_t k_relative = 1u << 13;
constexpr std::uint32_t k_negate = 1u << 24;
constexpr std::uint32_t k_comment = 0xFFFE;

} // namespace

std::uint32_t vso_dst(VsoRegister file, std::uint32_t number, std::uint32_t mask)
{
    return k_param | static_cast<std::uint32_t>(file) << k_regtype_shift | (mask & 0xF) << 16 | number;
}

std::uint32_t vso_src(VsoRegister file, std::uint32_t number, std::uint32_t swizzle, bool negate,
                      bool relative)
{
    return k_param | static_cast<std::uint32_t>(file) << k_regtype_shift | (swizzle & 0xFF) << 16 |
           (negate ? k_negate : 0) | (relative ? k_relative : 0) | number;
}

std::vector<std::uint32_t> vso_instruction(std::uint32_t opcode, std::initializer_list<std::uint32_t> params)
{
    std::vector<std::uint32_t> tokens{opcode};
    tokens.insert(tokens.end(), params);
    return tokens;
}

std::vector<std::uint32_t> vso_comment(std::uint32_t dwords)
{
    std::vector<std::uint32_t> tokens{k_comment | dwords << 16};
    tokens.resize(1 + dwords, 0);
    return tokens;
}

std::vector<std::uint32_t> vso_program(std::initializer_list<std::vector<std::uint32_t>> instructions,
                                       std::uint32_t version)
{
    std::vector<std::uint32_t> tokens{version};
    for (const std::vector<std::uint32_t>& instruction : instructions)
        tokens.insert(tokens.end(), instruction.begin(), instruction.end());
    tokens.push_back(VSO_END);
    return tokens;
}

std::vector<std::uint32_t> vso_minimal_program()
{
    return vso_program({
        vso_instruction(VSO_OP_M4X4, {vso_dst(VsoRegister::RasterOut, 0), vso_src(VsoRegister::Input, 0),
                                      vso_src(VsoRegister::Const, 24)}),
        vso_instruction(VSO_OP_MOV, {vso_dst(VsoRegister::ColorOut, 0), vso_src(VsoRegister::Const, 0)}),
    });
}

std::vector<std::uint8_t> vso_bytes(std::span<const std::uint32_t> tokens)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(tokens.size() * 4);
    for (std::uint32_t token : tokens)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<std::uint8_t>(token >> shift));
    return bytes;
}

bool vso_write_file(const std::filesystem::path& path, std::span<const std::uint32_t> tokens)
{
    std::vector<std::uint8_t> bytes = vso_bytes(tokens);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}
