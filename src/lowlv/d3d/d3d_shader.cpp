#include "lowlv/d3d/d3d_shader.h"

#include "core/bytes.h"
#include "core/errors.h"
#include "core/vfs.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_state.h"
#include "lowlv/d3d/renderer_frame.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

int g_active_point_lights = 0;
std::uint32_t g_ambient_packed = 0;

namespace {

enum DeclKind {
    DECL_D,
    DECL_DT1,
    DECL_NDT1,
    DECL_DST1,
    DECL_NDST1,
    DECL_NDST1_WIND,
    DECL_SKIN2,                  // + weights - 1: five FLOAT3 registers in stream 1
    DECL_SKIN3 = DECL_SKIN2 + 4, // + weights - 1: five more in stream 2
    DECL_COUNT = DECL_SKIN3 + 4
};

using Declaration = std::vector<DWORD>;

Declaration rigid_declaration(std::initializer_list<DWORD> stream0, bool wind)
{
    Declaration tokens{D3DVSD_STREAM(0)};
    DWORD reg = 0;
    for (DWORD type : stream0)
        tokens.push_back(D3DVSD_REG(reg++, type));
    if (wind) {
        tokens.push_back(D3DVSD_STREAM(1));
        tokens.push_back(D3DVSD_REG(5, D3DVSDT_FLOAT1));
        tokens.push_back(D3DVSD_REG(6, D3DVSDT_FLOAT1));
    }
    tokens.push_back(D3DVSD_END());
    return tokens;
}

// Blend weights in v0 (none for one weight), colours and texture coordinates in v1-v3, then
// five FLOAT3 registers per extra stream.
Declaration skinned_declaration(int weights, int streams)
{
    static constexpr DWORD weight_types[] = {D3DVSDT_FLOAT1, D3DVSDT_FLOAT2, D3DVSDT_FLOAT3};
    Declaration tokens{D3DVSD_STREAM(0)};
    if (weights > 1) tokens.push_back(D3DVSD_REG(0, weight_types[weights - 2]));
    tokens.push_back(D3DVSD_REG(1, D3DVSDT_D3DCOLOR));
    tokens.push_back(D3DVSD_REG(2, D3DVSDT_D3DCOLOR));
    tokens.push_back(D3DVSD_REG(3, D3DVSDT_FLOAT2));
    DWORD reg = 4;
    for (int stream = 1; stream < streams; ++stream) {
        tokens.push_back(D3DVSD_STREAM(stream));
        for (int i = 0; i < 5; ++i)
            tokens.push_back(D3DVSD_REG(reg++, D3DVSDT_FLOAT3));
    }
    tokens.push_back(D3DVSD_END());
    return tokens;
}

std::array<Declaration, DECL_COUNT> build_declarations()
{
    constexpr DWORD F2 = D3DVSDT_FLOAT2, F3 = D3DVSDT_FLOAT3, C = D3DVSDT_D3DCOLOR;
    std::array<Declaration, DECL_COUNT> table;
    table[DECL_D] = rigid_declaration({F3, C}, false);
    table[DECL_DT1] = rigid_declaration({F3, C, F2}, false);
    table[DECL_NDT1] = rigid_declaration({F3, F3, C, F2}, false);
    table[DECL_DST1] = rigid_declaration({F3, C, C, F2}, false);
    table[DECL_NDST1] = rigid_declaration({F3, F3, C, C, F2}, false);
    table[DECL_NDST1_WIND] = rigid_declaration({F3, F3, C, C, F2}, true);
    for (int w = 1; w <= 4; ++w) {
        table[DECL_SKIN2 + w - 1] = skinned_declaration(w, 2);
        table[DECL_SKIN3 + w - 1] = skinned_declaration(w, 3);
    }
    return table;
}

// A family of rows: the prefix followed by each suffix, where a '*' in a suffix stands for the
// four rows 1-4 (point lights, or blend weights for the skinned families).
struct ShaderFamily {
    const char* prefix;
    std::span<const char* const> suffixes;
    int decl; // DeclKind; the skinned kinds add the weight count - 1
};

constexpr const char* SINGLE[] = {""};
constexpr const char* LIT_SHADOW[] = {"", "_l*", "_s*"};
constexpr const char* STANDARD[] = {"", "_cover", "_cover_l*", "_l*", "_s*"};
constexpr const char* NDST1[] = {"",          "_cover",    "_cover_l*",     "_l*",
                                 "_s*",       "_sphere",   "_sphere_l*",    "_water",
                                 "_water_l*", "_water_s*", "_water_sphere", "_water_sphere_l*"};
constexpr const char* NDT1[] = {
    "",           "_cover",          "_cover_l*",          "_l*",      "_s*",        "_sphere",
    "_sphere_l*", "_sphere_stealth", "_sphere_stealth_l*", "_stealth", "_stealth_l*"};
constexpr const char* SKINNED[] = {
    "__base_*w",     "_base_*w",       "_base_l1_*w",        "_base_l2_*w",           "_sphere_*w",
    "_sphere_l1_*w", "_sphere_l2_*w",  "_sphere_stealth_*w", "_sphere_stealth_l1_*w", "_sphere_stealth_l2_*w",
    "_stealth_*w",   "_stealth_l1_*w", "_stealth_l2_*w"};
constexpr const char* SKINNED_BASIC[] = {"_base_*w", "_sphere_*w"};

constexpr ShaderFamily FAMILIES[] = {
    {"b__d", SINGLE, DECL_D},        {"b_ndt1", SINGLE, DECL_NDT1},
    {"b_dst1", STANDARD, DECL_DST1}, {"b_dt1", LIT_SHADOW, DECL_DT1},
    {"b_ndst1", NDST1, DECL_NDST1},  {"b_ndst1_wind", STANDARD, DECL_NDST1_WIND},
    {"b_ndt1", NDT1, DECL_NDT1}, // its first row repeats row 1's file
    {"s", SKINNED, DECL_SKIN2},      {"sb", SKINNED_BASIC, DECL_SKIN2},
    {"st", SKINNED, DECL_SKIN3},     {"stb", SKINNED_BASIC, DECL_SKIN3},
};

struct ShaderRow {
    std::string name;
    const Declaration* declaration;
};

struct ShaderTable {
    std::array<Declaration, DECL_COUNT> declarations = build_declarations();
    std::vector<ShaderRow> rows;

    ShaderTable()
    {
        for (const ShaderFamily& family : FAMILIES)
            for (const char* suffix : family.suffixes)
                add_rows(family, suffix);
    }

    void add_rows(const ShaderFamily& family, const std::string& suffix)
    {
        std::size_t star = suffix.find('*');
        if (star == std::string::npos) {
            rows.push_back({family.prefix + suffix, &declarations[family.decl]});
            return;
        }
        bool skinned = family.decl >= DECL_SKIN2;
        for (int n = 1; n <= 4; ++n) {
            std::string name = family.prefix + suffix;
            name[std::string(family.prefix).size() + star] = static_cast<char>('0' + n);
            rows.push_back({name, &declarations[family.decl + (skinned ? n - 1 : 0)]});
        }
    }
};

const ShaderTable& shader_table()
{
    static const ShaderTable table;
    return table;
}

// The code of each row, its file's size rounded down to whole words.
std::array<std::vector<DWORD>, SHADER_COUNT> g_shader_code;
std::array<DWORD, SHADER_COUNT> g_shader_handles{};

const ShaderRow& row_of(int slot)
{
    return shader_table().rows.at(static_cast<std::size_t>(slot - 1));
}

std::vector<DWORD> read_shader_code(const char* path)
{
    std::vector<std::uint8_t> bytes;
    HRESULT result = vfs_read_entry(path, bytes);
    if (FAILED(result)) err_raise_code(result, path, "d3d_shader", SHADER_LINE_MISSING);
    // An empty file still gives one word, a version token the device rejects.
    std::vector<DWORD> code(std::max<std::size_t>(bytes.size() / 4, 1), 0);
    ByteReader(bytes).Read(code.data(), bytes.size() / 4 * sizeof(DWORD));
    return code;
}

void load_row(std::size_t row)
{
    char path[MAX_PATH];
    std::snprintf(path, sizeof path, "data\\vs_dx8\\%s.vso", shader_table().rows[row].name.c_str());
    g_shader_code[row] = read_shader_code(path);
    DWORD usage = g_vs_software ? D3DUSAGE_SOFTWAREPROCESSING : 0;
    // The code is bounded by its file, so a file without an end token is rejected, not overrun.
    const std::vector<DWORD>& code = g_shader_code[row];
    HRESULT result =
        g_d3d_device->CreateVertexShader(shader_table().rows[row].declaration->data(), code.data(),
                                         &g_shader_handles[row], usage, code.size() * sizeof(DWORD));
    if (FAILED(result)) {
        g_shader_handles[row] = 0;
        err_raise_code(result, path, "d3d_shader", SHADER_LINE_REJECTED);
    }
}

void set_constant(DWORD reg, const void* data, DWORD count = 1)
{
    g_d3d_device->SetVertexShaderConstant(reg, data, count);
}

void set_matrix_constant(DWORD reg, const D3DXMATRIX& transposed)
{
    set_constant(reg, &transposed, 4);
}

std::uint32_t pack_channel(float c)
{
    if (c <= 0.0f) return 0;
    if (c >= 1.0f) return 255;
    return static_cast<std::uint32_t>(std::floor(c * 256.0f));
}

// Active lights are packed in slot order: lane k of c8/c9 and registers c10+2k, c11+2k.
void set_point_light_constants()
{
    float params[2][4] = {};
    D3DXVECTOR4 lights[RENDERER_POINT_LIGHTS * 2];
    int count = 0;
    for (const PointLight& light : g_frame_effects.point_lights) {
        if (light.params[0] == 0.0f && light.params[1] == 0.0f) continue;
        params[0][count] = light.params[0];
        params[1][count] = light.params[1];
        D3DXVECTOR3 view_position;
        D3DXVec3TransformCoord(&view_position, &light.position, &g_camera_state.view);
        lights[2 * count] = D3DXVECTOR4(view_position.x, view_position.y, view_position.z, 1.0f);
        lights[2 * count + 1] = light.color;
        ++count;
    }
    g_active_point_lights = count;
    if (count == 0) return;
    set_constant(VSC_LIGHT_PARAMS, params, 2);
    set_constant(VSC_POINT_LIGHTS, lights, static_cast<DWORD>(2 * count));
}

// Transformed by the inverse world into object space and normalised; w is kept.
D3DXVECTOR4 to_object_space(const D3DXVECTOR4& v, const D3DXMATRIX& inverse_world, float w)
{
    D3DXVECTOR3 in(v.x, v.y, v.z), out;
    D3DXVec3TransformNormal(&out, &in, &inverse_world);
    D3DXVec3Normalize(&out, &out);
    return D3DXVECTOR4(out.x, out.y, out.z, w);
}

void select_slot(int slot)
{
    d3d_set_vertex_shader_cached(shader_handle(slot));
}

// The cover texture goes to stage 1 with its constant; the word becomes combine mode 2 with
// the cover's stage-1 addressing.
std::uint32_t apply_cover(std::uint32_t word)
{
    const FrameEffects& fx = g_frame_effects;
    d3d_set_texture_cached(1, fx.cover_texture);
    const float cover[4] = {fx.cover_scroll[0], fx.cover_scroll[1], fx.cover_mode, fx.cover_w};
    set_constant(VSC_COVER, cover);
    constexpr std::uint32_t replaced = 0x1 | 0x4 | MAT_ADDRESS1_MIRROR | MAT_ADDRESS1_CLAMP;
    return (word & ~replaced) | fx.cover_quad_bits | 2;
}

} // namespace

const char* shader_name(int slot)
{
    return row_of(slot).name.c_str();
}

std::vector<std::string> shader_file_names()
{
    std::vector<std::string> names;
    for (int slot = 1; slot <= SHADER_COUNT; ++slot)
        if (std::find(names.begin(), names.end(), shader_name(slot)) == names.end())
            names.push_back(shader_name(slot));
    return names;
}

const DWORD* shader_declaration(int slot)
{
    return row_of(slot).declaration->data();
}

DWORD shader_handle(int slot)
{
    return g_shader_handles.at(static_cast<std::size_t>(slot - 1));
}

void shader_load_all()
{
    for (std::size_t row = 0; row < shader_table().rows.size(); ++row)
        load_row(row);
    static const float zeros[VSC_REGISTER_COUNT][4] = {};
    set_constant(0, zeros, VSC_REGISTER_COUNT);
}

void shader_release_all()
{
    for (std::size_t row = 0; row < SHADER_COUNT; ++row) {
        if (g_shader_handles[row] != 0 && g_d3d_device)
            g_d3d_device->DeleteVertexShader(g_shader_handles[row]);
        g_shader_handles[row] = 0;
        g_shader_code[row] = {};
    }
}

void renderer_set_frame_constants()
{
    set_matrix_constant(VSC_PROJECTION, g_camera_state.proj_t);
    const float fog[4] = {g_fog_vs_constants[0], g_fog_vs_constants[1], 0.004f, 765.01f};
    set_constant(VSC_FOG, fog);
    const float common[4] = {0.0f, 0.5f, 1.0f, 2.0f};
    set_constant(VSC_COMMON, common);

    const D3DXVECTOR4& ambient = g_scene_lighting.ambient;
    g_ambient_packed = pack_channel(ambient.x) << 16 | pack_channel(ambient.y) << 8 | pack_channel(ambient.z);

    set_constant(VSC_LIGHT_COLORS, g_scene_lighting.light_colors, 2);
    set_constant(VSC_AMBIENT, &ambient);
    set_point_light_constants();
}

void renderer_set_world_constants(const D3DXMATRIX& world)
{
    D3DXMATRIX product, transposed;
    D3DXMatrixMultiply(&product, &world, &g_camera_state.view_proj);
    set_matrix_constant(VSC_WORLD_VIEW_PROJ, *D3DXMatrixTranspose(&transposed, &product));
    D3DXMatrixMultiply(&product, &world, &g_camera_state.view);
    set_matrix_constant(VSC_WORLD_VIEW, *D3DXMatrixTranspose(&transposed, &product));
    if (g_frame_effects.cover_mode != 0.0f)
        set_matrix_constant(VSC_WORLD, *D3DXMatrixTranspose(&transposed, &world));
}

void renderer_set_light_constants(const D3DXMATRIX& world)
{
    D3DXMATRIX inverse;
    D3DXMatrixInverse(&inverse, nullptr, &world);
    D3DXVECTOR4 direction = to_object_space(g_scene_lighting.light_direction, inverse, 1.0f);
    set_constant(VSC_LIGHT_DIRECTION, &direction);
    D3DXVECTOR4 up = to_object_space(g_scene_lighting.up, inverse, g_scene_lighting.up.w);
    set_constant(VSC_UP, &up);
}

void renderer_set_light_constants_identity()
{
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    D3DXVECTOR4 direction = to_object_space(g_scene_lighting.light_direction, identity, 1.0f);
    set_constant(VSC_LIGHT_DIRECTION, &direction);
}

void renderer_set_vs_constant23(float intensity)
{
    float v = intensity > 1.0f ? intensity - 0.65f : intensity;
    const float glow[4] = {0.20980392f * v, 0.10784314f * v, 0.037254903f * v, 0.5f * v};
    set_constant(VSC_GLOW, glow);
}

std::uint32_t renderer_select_vertex_shader(std::uint32_t word)
{
    int n = g_active_point_lights;
    if (word & MAT_ADDITIVE) {
        select_slot(SHADER_SLOT_B_DST1);
    } else if (g_frame_effects.shadow_lighting) {
        select_slot(n == 0 ? SHADER_SLOT_B_DST1 : SHADER_SLOT_B_DST1_SHADOW + n);
    } else if (g_frame_effects.cover_mode != 0.0f) {
        select_slot(SHADER_SLOT_B_DST1_COVER + n);
        word = apply_cover(word);
    } else {
        select_slot(n == 0 ? SHADER_SLOT_B_DST1 : SHADER_SLOT_B_DST1_LIT + n);
    }
    return word;
}

void renderer_select_batch_shader(bool lit)
{
    int n = lit ? g_active_point_lights : 0;
    if (n == 0)
        select_slot(SHADER_SLOT_B_DT1);
    else
        select_slot((g_frame_effects.shadow_lighting ? SHADER_SLOT_B_DT1_SHADOW : SHADER_SLOT_B_DT1) + n);
}
