// The vertex layout of skinned meshes, shared by the skinned vertex shaders and the model writer.
// Stream 0 (the mesh's vertex buffer 0): the first weights - 1 blend weights (FLOAT1-FLOAT3 in
// v0, none for one weight; the last weight is 1 minus their sum), the diffuse and specular
// colours (v1, v2) and one texture coordinate pair (v3). Each blend stream (vertex buffers 1..,
// v4-v8, and v9-v13 for the tweened "st" shaders) holds five FLOAT3 registers:
//   v4 position in bind space, v5 normal, v6 the palette offsets of bones 0-2, v7.x that of
//   bone 3 (y and z unused), v8 tangent (for the bump shaders).
// A palette offset is 3 x the palette slot: the bone's matrix sits in c[24 + offset] as three
// registers (the transposed 4x3 bind-to-view matrix).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

constexpr std::uint32_t SKIN_FIRST_BLEND_REGISTER = 4; // v4; the second blend stream starts at v9
constexpr std::uint32_t SKIN_BLEND_REGISTERS = 5;      // FLOAT3 each
constexpr std::uint32_t SKIN_BLEND_STRIDE = SKIN_BLEND_REGISTERS * 12;
constexpr std::uint32_t SKIN_PALETTE_BASE = 24;      // c24: the first bone's three registers
constexpr std::uint32_t SKIN_REGISTERS_PER_BONE = 3; // palette offset = 3 x slot

// Registers of a blend stream, from its first one.
enum SkinBlendRegister : std::uint32_t {
    SKIN_POSITION = 0,
    SKIN_NORMAL = 1,
    SKIN_OFFSETS = 2,     // palette offsets of bones 0-2
    SKIN_LAST_OFFSET = 3, // x: palette offset of bone 3
    SKIN_TANGENT = 4,
};

struct SkinBlendVertex {
    std::array<float, 3> position{};
    std::array<float, 3> normal{0, 0, 1};
    std::array<std::uint32_t, 4> palette_slots{}; // bones 0-3
    std::array<float, 3> tangent{1, 0, 0};
};

struct SkinBaseVertex {
    std::array<float, 3> weights{}; // the first weights - 1 are stored
    std::uint32_t diffuse = 0xFFFFFFFF;
    std::uint32_t specular = 0;
    std::array<float, 2> uv{};
};

// Stream 0's stride for a bone count per vertex (1-4).
constexpr std::uint32_t skin_base_stride(std::uint32_t weights)
{
    return 4 * (weights - 1) + 16;
}

// Appends one vertex of stream 0 (weights - 1 weights) or of a blend stream.
void skin_put_base_vertex(std::vector<std::uint8_t>& out, const SkinBaseVertex& vertex,
                          std::uint32_t weights);
void skin_put_blend_vertex(std::vector<std::uint8_t>& out, const SkinBlendVertex& vertex);
