// Writer of vertex-shader objects (".vso"): the compiled vs.1.1 program as it is handed to the
// device, little-endian 32-bit tokens: the version token 0xFFFE0101, the instructions (an
// opcode token followed by its destination and source parameter tokens), and the end token
// 0x0000FFFF. Instruction and register helpers let tests build programs token by token,
// including broken ones.
#pragma once

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <span>
#include <vector>

constexpr std::uint32_t VSO_VERSION_11 = 0xFFFE0101;
constexpr std::uint32_t VSO_END = 0x0000FFFF;

// Opcodes used by the helpers' callers.
constexpr std::uint32_t VSO_OP_MOV = 1;
constexpr std::uint32_t VSO_OP_ADD = 2;
constexpr std::uint32_t VSO_OP_MAD = 4;
constexpr std::uint32_t VSO_OP_MUL = 5;
constexpr std::uint32_t VSO_OP_DP4 = 9;
constexpr std::uint32_t VSO_OP_M4X4 = 20;

// Register files.
enum class VsoRegister : std::uint32_t {
    Temp = 0,
    Input = 1,
    Const = 2,
    Address = 3,
    RasterOut = 4, // 0 position, 1 fog, 2 point size
    ColorOut = 5,
    TexCoordOut = 6,
};

constexpr std::uint32_t VSO_SWIZZLE_XYZW = 0xE4;
constexpr std::uint32_t VSO_MASK_XYZW = 0xF;

// A destination parameter: register, number and write mask (bit 0 x .. bit 3 w).
std::uint32_t vso_dst(VsoRegister file, std::uint32_t number, std::uint32_t mask = VSO_MASK_XYZW);
// A source parameter: register, number, swizzle (two bits per lane, x first), negation, and
// relative addressing through a0.x (constants only).
std::uint32_t vso_src(VsoRegister file, std::uint32_t number, std::uint32_t swizzle = VSO_SWIZZLE_XYZW,
                      bool negate = false, bool relative = false);
// An instruction: the opcode token, then the parameters.
std::vector<std::uint32_t> vso_instruction(std::uint32_t opcode, std::initializer_list<std::uint32_t> params);
// A comment block of `dwords` payload words (the text is zero words).
std::vector<std::uint32_t> vso_comment(std::uint32_t dwords);

// A whole program: the version token, the instructions back to back, the end token.
std::vector<std::uint32_t> vso_program(std::initializer_list<std::vector<std::uint32_t>> instructions,
                                       std::uint32_t version = VSO_VERSION_11);
// The smallest useful program: position = world x view x projection (c24-c27) applied to v0,
// colour = c0. It reads only v0, which every rigid declaration provides.
std::vector<std::uint32_t> vso_minimal_program();

// The file's bytes: the tokens little-endian.
std::vector<std::uint8_t> vso_bytes(std::span<const std::uint32_t> tokens);
bool vso_write_file(const std::filesystem::path& path, std::span<const std::uint32_t> tokens);
