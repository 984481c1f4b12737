#include "state_test_device.h"

#include "core/errors.h"
#include "core/vfs.h"
#include "lib/archive_writer.h"
#include "lib/demo_shaders.h"
#include "lib/demo_writer.h"
#include "lib/vso_writer.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <set>
#include <string>
#include <vector>

namespace {

// Every row's file (rows 1 and 72 share one), each the demo set's program.
std::vector<ArchiveSource> shader_files()
{
    return demo_shader_files(shader_file_names());
}

ArchiveSource* find_file(std::vector<ArchiveSource>& files, const std::string& name)
{
    for (ArchiveSource& file : files)
        if (file.path == "data\\vs_dx8\\" + name + ".vso") return &file;
    return nullptr;
}

int slot_of(const std::string& name)
{
    for (int slot = 1; slot <= SHADER_COUNT; ++slot)
        if (name == shader_name(slot)) return slot;
    ADD_FAILURE() << "no shader " << name;
    return 1;
}

std::vector<DWORD> declaration_tokens(int slot)
{
    std::vector<DWORD> tokens;
    for (const DWORD* t = shader_declaration(slot);; ++t) {
        tokens.push_back(*t);
        if (*t == D3DVSD_END()) return tokens;
    }
}

// A device, and the shader files in an archive opened as the game opens it.
class ShaderTest : public StateDeviceTest {
protected:
    void TearDown() override
    {
        StateDeviceTest::TearDown();
        vfs_close_all();
    }

    void mount(const std::vector<ArchiveSource>& files)
    {
        ASSERT_TRUE(archive_write_set(m_folder.path(), files, {}));
        vfs::Startup((m_folder.windows() + "\\").c_str());
        ASSERT_EQ(vfs_mount_overlay(FALSE), S_OK);
    }

    void load_all()
    {
        mount(shader_files());
        shader_load_all();
    }

    // The text of the error shader_load_all throws, or "" when it loads.
    static std::string load_error()
    {
        try {
            shader_load_all();
        } catch (const RuntimeError& error) {
            return error.text;
        }
        return "";
    }

    const float* constant(DWORD reg) const { return state().vs_constants[reg]; }

    void expect_constant(DWORD reg, float x, float y, float z, float w, float tolerance = 1e-5f) const
    {
        const float* c = constant(reg);
        EXPECT_NEAR(c[0], x, tolerance) << "c" << reg << ".x";
        EXPECT_NEAR(c[1], y, tolerance) << "c" << reg << ".y";
        EXPECT_NEAR(c[2], z, tolerance) << "c" << reg << ".z";
        EXPECT_NEAR(c[3], w, tolerance) << "c" << reg << ".w";
    }

    // Four registers holding the matrix transposed: register i is column i.
    void expect_transposed(DWORD reg, const D3DXMATRIX& m) const
    {
        for (DWORD i = 0; i < 4; ++i)
            expect_constant(reg + i, m.m[0][i], m.m[1][i], m.m[2][i], m.m[3][i], 1e-4f);
    }

    TempFolder m_folder;
};

} // namespace

TEST(ShaderTable, NamesFollowTheRowOrder)
{
    const std::pair<int, const char*> rows[] = {
        {0, "b__d"},
        {1, "b_ndt1"},
        {2, "b_dst1"},
        {3, "b_dst1_cover"},
        {4, "b_dst1_cover_l1"},
        {8, "b_dst1_l1"},
        {15, "b_dst1_s4"},
        {16, "b_dt1"},
        {17, "b_dt1_l1"},
        {24, "b_dt1_s4"},
        {25, "b_ndst1"},
        {39, "b_ndst1_sphere"},
        {44, "b_ndst1_water"},
        {53, "b_ndst1_water_sphere"},
        {57, "b_ndst1_water_sphere_l4"},
        {58, "b_ndst1_wind"},
        {71, "b_ndst1_wind_s4"},
        {72, "b_ndt1"},
        {85, "b_ndt1_s4"},
        {86, "b_ndt1_sphere"},
        {91, "b_ndt1_sphere_stealth"},
        {96, "b_ndt1_stealth"},
        {100, "b_ndt1_stealth_l4"},
        {101, "s__base_1w"},
        {104, "s__base_4w"},
        {105, "s_base_1w"},
        {113, "s_base_l2_1w"},
        {148, "s_stealth_l1_4w"},
        {152, "s_stealth_l2_4w"},
        {153, "sb_base_1w"},
        {160, "sb_sphere_4w"},
        {161, "st__base_1w"},
        {212, "st_stealth_l2_4w"},
        {213, "stb_base_1w"},
        {220, "stb_sphere_4w"},
    };
    for (auto [row, name] : rows)
        EXPECT_STREQ(shader_name(row + 1), name) << "row " << row;

    std::set<std::string> names;
    for (int slot = 1; slot <= SHADER_COUNT; ++slot)
        names.insert(shader_name(slot));
    EXPECT_EQ(names.size(), 220u);
    EXPECT_STREQ(shader_name(SHADER_SLOT_B_DST1_LIT + 2), "b_dst1_l2");
    EXPECT_STREQ(shader_name(SHADER_SLOT_B_DT1_SHADOW + 1), "b_dt1_s1");
    EXPECT_STREQ(shader_name(SHADER_SLOT_ST_BASE + 3), "st__base_3w");
}

TEST(ShaderTable, DeclarationsMatchTheirRows)
{
    const DWORD F1 = D3DVSDT_FLOAT1, F2 = D3DVSDT_FLOAT2, F3 = D3DVSDT_FLOAT3, C = D3DVSDT_D3DCOLOR;
    auto s = [](DWORD n) { return D3DVSD_STREAM(n); };
    auto r = [](DWORD reg, DWORD type) { return D3DVSD_REG(reg, type); };
    const DWORD END = D3DVSD_END();
    const std::vector<DWORD> skin_tail = {r(1, C),  r(2, C),  r(3, F2), s(1),    r(4, F3),
                                          r(5, F3), r(6, F3), r(7, F3), r(8, F3)};
    auto skinned = [&](std::vector<DWORD> head, bool third_stream) {
        std::vector<DWORD> tokens = {s(0)};
        tokens.insert(tokens.end(), head.begin(), head.end());
        tokens.insert(tokens.end(), skin_tail.begin(), skin_tail.end());
        if (third_stream)
            tokens.insert(tokens.end(), {s(2), r(9, F3), r(10, F3), r(11, F3), r(12, F3), r(13, F3)});
        tokens.push_back(END);
        return tokens;
    };
    const std::vector<std::pair<int, std::vector<DWORD>>> rows = {
        {0, {s(0), r(0, F3), r(1, C), END}},
        {16, {s(0), r(0, F3), r(1, C), r(2, F2), END}},
        {24, {s(0), r(0, F3), r(1, C), r(2, F2), END}},
        {1, {s(0), r(0, F3), r(1, F3), r(2, C), r(3, F2), END}},
        {90, {s(0), r(0, F3), r(1, F3), r(2, C), r(3, F2), END}},
        {9, {s(0), r(0, F3), r(1, C), r(2, C), r(3, F2), END}},
        {40, {s(0), r(0, F3), r(1, F3), r(2, C), r(3, C), r(4, F2), END}},
        {60, {s(0), r(0, F3), r(1, F3), r(2, C), r(3, C), r(4, F2), s(1), r(5, F1), r(6, F1), END}},
        {101, skinned({}, false)},         // s__base_1w
        {102, skinned({r(0, F1)}, false)}, // s__base_2w
        {155, skinned({r(0, F2)}, false)}, // sb_base_3w
        {104, skinned({r(0, F3)}, false)}, // s__base_4w
        {161, skinned({}, true)},          // st__base_1w
        {218, skinned({r(0, F1)}, true)},  // stb_sphere_2w
    };
    for (const auto& [row, expected] : rows)
        EXPECT_EQ(declaration_tokens(row + 1), expected) << shader_name(row + 1);
}

TEST_F(ShaderTest, LoadsEveryRowWithItsDeclarationAndClearsTheConstants)
{
    const float junk[4] = {1, 2, 3, 4};
    device().SetVertexShaderConstant(40, junk, 1);
    load_all();
    std::set<DWORD> handles;
    for (int slot = 1; slot <= SHADER_COUNT; ++slot) {
        SCOPED_TRACE(shader_name(slot));
        DWORD handle = shader_handle(slot);
        ASSERT_NE(handle, 0u);
        handles.insert(handle);
        const D3DVertexShader* shader = d3d8_vertex_shader(device(), handle);
        ASSERT_NE(shader, nullptr);
        EXPECT_EQ(shader->declaration, declaration_tokens(slot));
        EXPECT_EQ(shader->function, demo_shader_program(shader_name(slot)));
        EXPECT_EQ(shader->usage, 0u);
    }
    EXPECT_EQ(handles.size(), std::size_t(SHADER_COUNT)); // rows 1 and 72: one file, two handles
    EXPECT_EQ(d3d8_vertex_shader_count(device()), std::size_t(SHADER_COUNT));
    for (DWORD reg = 0; reg < VSC_REGISTER_COUNT; ++reg)
        expect_constant(reg, 0, 0, 0, 0, 0);

    shader_release_all();
    EXPECT_EQ(d3d8_vertex_shader_count(device()), 0u);
    EXPECT_EQ(shader_handle(SHADER_SLOT_B_DST1), 0u);
}

TEST_F(ShaderTest, SoftwareVertexProcessingMakesSoftwareShaders)
{
    create_device(D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    load_all();
    for (int slot = 1; slot <= SHADER_COUNT; ++slot)
        EXPECT_EQ(d3d8_vertex_shader(device(), shader_handle(slot))->usage, D3DUSAGE_SOFTWAREPROCESSING)
            << slot;
}

TEST_F(ShaderTest, AMissingFileNamesItsPathAndLine774)
{
    std::vector<ArchiveSource> files = shader_files();
    std::erase_if(files,
                  [](const ArchiveSource& file) { return file.path == "data\\vs_dx8\\stb_sphere_4w.vso"; });
    mount(files);
    std::string text = load_error();
    EXPECT_NE(text.find("Couldn't open file."), std::string::npos) << text;
    EXPECT_NE(text.find("data\\vs_dx8\\stb_sphere_4w.vso"), std::string::npos) << text;
    EXPECT_NE(text.find("d3d_shader(774)"), std::string::npos) << text;
}

TEST_F(ShaderTest, ARejectedFileNamesItsPathAndLine789)
{
    std::vector<ArchiveSource> files = shader_files();
    find_file(files, "b_dt1_l3")->bytes = vso_bytes(vso_program(
        {vso_instruction(VSO_OP_MOV, {vso_dst(VsoRegister::RasterOut, 0), vso_src(VsoRegister::Input, 0)})},
        0xFFFE0300));
    // Without its end token the program is bounded by the file, never read past it.
    std::vector<std::uint32_t> endless = vso_minimal_program();
    endless.pop_back();
    find_file(files, "s_base_2w")->bytes = vso_bytes(endless);
    for (const char* name : {"b_dt1_l3", "s_base_2w"}) {
        SCOPED_TRACE(name);
        mount(files);
        std::string text = load_error();
        EXPECT_NE(text.find(std::string("data\\vs_dx8\\") + name + ".vso"), std::string::npos) << text;
        EXPECT_NE(text.find("d3d_shader(789)"), std::string::npos) << text;
        shader_release_all();
        vfs_close_all();
        find_file(files, name)->bytes = vso_bytes(vso_minimal_program());
    }
}

TEST_F(ShaderTest, TrailingBytesPastTheLastWordAreIgnored)
{
    std::vector<ArchiveSource> files = shader_files();
    ArchiveSource* file = find_file(files, "b__d");
    file->bytes.push_back(0xAB);
    file->bytes.push_back(0xCD);
    mount(files);
    EXPECT_EQ(load_error(), "");
    EXPECT_EQ(d3d8_vertex_shader(device(), shader_handle(1))->function, demo_shader_program("b__d"));
}

TEST_F(ShaderTest, FrameConstantsPackTheActivePointLightsInSlotOrder)
{
    load_all();
    CameraState& cam = g_camera_state;
    D3DXMatrixTranslation(&cam.view, 0, 0, 10);
    cam.proj_t = D3DXMATRIX(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    g_fog_vs_constants[0] = -0.5f;
    g_fog_vs_constants[1] = 1.5f;
    g_scene_lighting.ambient = D3DXVECTOR4(0.5f, 1.2f, -0.1f, 1.0f);
    PointLight* lights = g_frame_effects.point_lights;
    lights[0] = {{10, 20}, {1, 2, 3}, D3DXVECTOR4(1, 0.5f, 0.25f, 1)};
    lights[3] = {{30, 40}, {4, 5, 6}, D3DXVECTOR4(0.1f, 0.2f, 0.3f, 0.4f)};

    renderer_set_frame_constants();
    expect_constant(VSC_COMMON, 0, 0.5f, 1, 2);
    expect_constant(VSC_FOG, -0.5f, 1.5f, 0.004f, 765.01f);
    expect_constant(VSC_PROJECTION + 1, 5, 6, 7, 8);
    expect_constant(VSC_AMBIENT, 0.5f, 1.2f, -0.1f, 1.0f);
    EXPECT_EQ(g_ambient_packed, 0x0080FF00u);
    expect_constant(VSC_LIGHT_COLORS, 0.45098039f, 0.47058824f, 0.49019608f, 1.0f);
    expect_constant(VSC_LIGHT_COLORS + 1, 0.29411766f, 0.33725491f, 0.3137255f, 1.0f);
    EXPECT_EQ(g_active_point_lights, 2);
    expect_constant(VSC_LIGHT_PARAMS, 10, 30, 0, 0);
    expect_constant(VSC_LIGHT_PARAMS + 1, 20, 40, 0, 0);
    expect_constant(VSC_POINT_LIGHTS, 1, 2, 13, 1);
    expect_constant(VSC_POINT_LIGHTS + 1, 1, 0.5f, 0.25f, 1);
    expect_constant(VSC_POINT_LIGHTS + 2, 4, 5, 16, 1);
    expect_constant(VSC_POINT_LIGHTS + 3, 0.1f, 0.2f, 0.3f, 0.4f);
    expect_constant(VSC_POINT_LIGHTS + 4, 0, 0, 0, 0);

    renderer_select_vertex_shader(1);
    EXPECT_EQ(state().vertex_shader, shader_handle(SHADER_SLOT_B_DST1_LIT + 2)); // b_dst1_l2

    lights[0] = lights[3] = {};
    lights[2] = {{0, 5}, {0, 0, 0}, D3DXVECTOR4()}; // one parameter is enough
    renderer_set_frame_constants();
    EXPECT_EQ(g_active_point_lights, 1);
    expect_constant(VSC_LIGHT_PARAMS + 1, 5, 0, 0, 0);
}

TEST_F(ShaderTest, QuadShaderFollowsTheLightingMode)
{
    load_all();
    IDirect3DTexture8* cover = nullptr;
    ASSERT_EQ(device().CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cover), D3D_OK);
    g_frame_effects.cover_texture = cover;
    g_frame_effects.cover_scroll[0] = 0.25f;
    g_frame_effects.cover_scroll[1] = 0.75f;
    g_frame_effects.cover_w = 0.4f;
    g_frame_effects.cover_quad_bits = MAT_ADDRESS1_MIRROR;
    struct Case {
        bool shadow;
        float cover;
        int lights;
        std::uint32_t word;
        const char* shader;
        std::uint32_t result;
    };
    const std::uint32_t covered = 0xC1045; // combine bits 0 and 2, stage-1 addressing, and others
    const Case cases[] = {
        {false, 0, 0, 1, "b_dst1", 1},
        {false, 0, 3, 1, "b_dst1_l3", 1},
        {true, 0, 0, 1, "b_dst1", 1},
        {true, 0, 4, 1, "b_dst1_s4", 1},
        {true, 2, 1, 1, "b_dst1_s1", 1}, // shadow lighting wins over the cover
        {false, 0, 3, 0x81, "b_dst1", 0x81},
        {true, 0, 2, 0x81, "b_dst1", 0x81},
        {false, 2, 2, 0x81 | covered, "b_dst1", 0x81 | covered},
        {false, 2, 0, covered, "b_dst1_cover", 0x1040 | MAT_ADDRESS1_MIRROR | 2},
        {false, 2, 4, covered, "b_dst1_cover_l4", 0x1040 | MAT_ADDRESS1_MIRROR | 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.shader << " word " << std::hex << c.word);
        g_frame_effects.shadow_lighting = c.shadow;
        g_frame_effects.cover_mode = c.cover;
        g_active_point_lights = c.lights;
        d3d_set_texture_cached(1, nullptr);
        const float zero[4] = {};
        device().SetVertexShaderConstant(VSC_COVER, zero, 1);
        EXPECT_EQ(renderer_select_vertex_shader(c.word), c.result);
        EXPECT_EQ(state().vertex_shader, shader_handle(slot_of(c.shader)));
        bool covering = std::string(c.shader).starts_with("b_dst1_cover");
        EXPECT_EQ(state().textures[1], covering ? cover : nullptr);
        if (covering)
            expect_constant(VSC_COVER, 0.25f, 0.75f, 2, 0.4f);
        else
            expect_constant(VSC_COVER, 0, 0, 0, 0);
    }
    d3d_set_texture_cached(1, nullptr);
    cover->Release();
}

TEST_F(ShaderTest, BatchShaderFollowsTheLightingMode)
{
    load_all();
    struct Case {
        bool lit, shadow;
        int lights;
        int slot;
    };
    const Case cases[] = {
        {true, false, 0, SHADER_SLOT_B_DT1},           {true, false, 2, SHADER_SLOT_B_DT1 + 2},
        {true, true, 2, SHADER_SLOT_B_DT1_SHADOW + 2}, {true, true, 0, SHADER_SLOT_B_DT1},
        {false, true, 3, SHADER_SLOT_B_DT1},           {false, false, 4, SHADER_SLOT_B_DT1},
    };
    for (const Case& c : cases) {
        g_frame_effects.shadow_lighting = c.shadow;
        g_active_point_lights = c.lights;
        renderer_select_batch_shader(c.lit);
        EXPECT_EQ(state().vertex_shader, shader_handle(c.slot)) << shader_name(c.slot);
    }
    EXPECT_STREQ(shader_name(SHADER_SLOT_B_DT1_SHADOW + 2), "b_dt1_s2");
}

TEST_F(ShaderTest, WorldConstantsAreTransposedProducts)
{
    CameraState& cam = g_camera_state;
    D3DXMatrixTranslation(&cam.view, 0, 0, 10);
    cam.view_proj = D3DXMATRIX(2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0);
    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, 1, 2, 3);
    renderer_set_world_constants(world);
    expect_transposed(VSC_WORLD_VIEW_PROJ, world * cam.view_proj);
    expect_transposed(VSC_WORLD_VIEW, world * cam.view);
    expect_constant(VSC_WORLD, 0, 0, 0, 0, 0); // not in cover mode

    g_frame_effects.cover_mode = 1.0f;
    renderer_set_world_constants(world);
    expect_transposed(VSC_WORLD, world);
}

TEST_F(ShaderTest, LightConstantsAreInObjectSpace)
{
    D3DXMATRIX scale, turn, move;
    D3DXMatrixScaling(&scale, 2, 2, 2);
    D3DXMatrixRotationY(&turn, std::numbers::pi_v<float> / 2);
    D3DXMatrixTranslation(&move, 5, 0, 0);
    g_scene_lighting.light_direction = D3DXVECTOR4(1, 0, 0, 0);
    renderer_set_light_constants(scale * turn * move);
    expect_constant(VSC_LIGHT_DIRECTION, 0, 0, 1, 1);
    expect_constant(VSC_UP, 0, 1, 0, 0.1f);

    g_scene_lighting = g_scene_lighting_defaults;
    const float marker[4] = {7, 7, 7, 7};
    device().SetVertexShaderConstant(VSC_UP, marker, 1);
    renderer_set_light_constants_identity();
    const D3DXVECTOR4& d = g_scene_lighting.light_direction;
    float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
    expect_constant(VSC_LIGHT_DIRECTION, d.x / length, d.y / length, d.z / length, 1);
    expect_constant(VSC_UP, 7, 7, 7, 7);
}

TEST_F(ShaderTest, GlowColourScalesWithTheIntensity)
{
    struct Case {
        float intensity, v;
    };
    for (const Case& c : {Case{0.5f, 0.5f}, Case{2.0f, 1.35f}, Case{0.0f, 0.0f}}) {
        SCOPED_TRACE(c.intensity);
        renderer_set_vs_constant23(c.intensity);
        expect_constant(VSC_GLOW, 0.20980392f * c.v, 0.10784314f * c.v, 0.037254903f * c.v, 0.5f * c.v);
    }
}
