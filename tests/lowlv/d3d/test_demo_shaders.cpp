#include "state_test_device.h"

#include "gl_device_fixture.h"

#include "core/errors.h"
#include "core/vfs.h"
#include "lib/archive_writer.h"
#include "lib/demo_shaders.h"
#include "lib/demo_writer.h"
#include "lib/skin_layout.h"
#include "lib/vso_writer.h"
#include "platform/impl/win_window_sdl.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

TEST(DemoShaders, EveryTableNameHasItsOwnProgramInTheDemoSet)
{
    std::vector<std::string> names = shader_file_names();
    std::vector<ArchiveSource> files = demo_shader_files(names);
    ASSERT_EQ(files.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(files[i].path, "data\\vs_dx8\\" + names[i] + ".vso");
        EXPECT_EQ(files[i].bytes, vso_bytes(demo_shader_program(names[i])));
    }
    // The variants change the program: lights, weights and streams are not one shared file.
    EXPECT_NE(demo_shader_text("b_dst1"), demo_shader_text("b_dst1_l1"));
    EXPECT_NE(demo_shader_text("s_base_1w"), demo_shader_text("s_base_2w"));
    EXPECT_NE(demo_shader_text("s_base_2w"), demo_shader_text("st_base_2w"));
    EXPECT_NE(demo_shader_text("s__base_2w"), demo_shader_text("s_base_2w"));
}

TEST(DemoShaders, ProgramsFollowTheRegisterContract)
{
    // Rigid geometry through c24-c27, skinned through the palette from c24 and the projection.
    EXPECT_NE(demo_shader_text("b__d").find("m4x4 r9, r0, c24"), std::string::npos);
    std::string skinned = demo_shader_text("s_base_3w");
    EXPECT_NE(skinned.find("m4x3 r8.xyz, v4, c[a0.x + 24]"), std::string::npos) << skinned;
    EXPECT_NE(skinned.find("mov a0.x, v6.z"), std::string::npos) << skinned;
    EXPECT_NE(skinned.find("m4x4 r9, r1, c4"), std::string::npos) << skinned;
    EXPECT_NE(demo_shader_text("s_base_4w").find("mov a0.x, v7.x"), std::string::npos);
    EXPECT_NE(demo_shader_text("st_base_1w").find("v9"), std::string::npos);
    EXPECT_NE(demo_shader_text("b_dst1_l4").find("c17"), std::string::npos);
    EXPECT_NE(demo_shader_text("b_ndst1_wind").find("c32"), std::string::npos);
    EXPECT_NE(demo_shader_text("b_dst1_cover").find("c36"), std::string::npos);
}

TEST(DemoShaders, NamesOutsideTheSchemeAreRefused)
{
    for (const char* name : {"", "x_dst1", "b", "b_dst2", "b_dst1_l5", "b_dst1_glow", "s_base", "s_base_5w",
                             "b_dst1_wind", "b_dst1_2w"})
        EXPECT_THROW(demo_shader_text(name), std::invalid_argument) << name;
}

// A device on the OpenGL backend with a lockable back buffer, and the demo set in an archive
// opened as the game opens it.
class DemoShaderGlTest : public StateDeviceTest {
protected:
    void SetUp() override
    {
        if (!gl_test_video()) GTEST_SKIP() << "no OpenGL video driver";
        StateDeviceTest::SetUp();
        ASSERT_NE(d3d8_device_backend(device()), nullptr);
    }

    void TearDown() override
    {
        StateDeviceTest::TearDown();
        vfs_close_all();
    }

    void load_demo_set()
    {
        ASSERT_TRUE(archive_write_set(m_folder.path(), demo_shader_files(shader_file_names()), {}));
        vfs::Startup((m_folder.windows() + "\\").c_str());
        ASSERT_EQ(vfs_mount_overlay(FALSE), S_OK);
        shader_load_all();
    }

    // Replaces the device by one whose back buffer can be read, loads the set for it and sets
    // the output to the vertex colour, untouched by textures, fog and depth.
    void load_demo_set_for_pixels()
    {
        g_d3d_device->Release();
        D3DPRESENT_PARAMETERS params = g_device_settings.present;
        params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        ASSERT_EQ(g_d3d->CreateDevice(0, D3DDEVTYPE_HAL, params.hDeviceWindow,
                                      D3DCREATE_HARDWARE_VERTEXPROCESSING, &params, &g_d3d_device),
                  D3D_OK);
        m_width = params.BackBufferWidth;
        m_height = params.BackBufferHeight;
        load_demo_set();
        device().SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device().SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        device().SetRenderState(D3DRS_LIGHTING, FALSE);
        device().SetRenderState(D3DRS_FOGENABLE, FALSE);
        device().SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device().SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
        device().SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device().SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
        const float common[4] = {0, 0.5f, 1, 2};
        device().SetVertexShaderConstant(VSC_COMMON, common, 1);
    }

    IDirect3DVertexBuffer8* vertex_buffer(const std::vector<std::uint8_t>& bytes)
    {
        return gl_test_vertex_buffer(device(), bytes.data(), UINT(bytes.size()));
    }

    void draw(D3DPRIMITIVETYPE type, UINT primitives)
    {
        ASSERT_EQ(device().Clear(0, nullptr, D3DCLEAR_TARGET, k_clear, 1.0f, 0), D3D_OK);
        ASSERT_EQ(device().BeginScene(), D3D_OK);
        ASSERT_EQ(device().DrawPrimitive(type, 0, primitives), D3D_OK);
        ASSERT_EQ(device().EndScene(), D3D_OK);
    }

    // The back buffer as 0x00RRGGBB rows.
    std::vector<DWORD> pixels()
    {
        std::vector<DWORD> out = back_buffer_pixels(device(), m_width, m_height);
        for (DWORD& pixel : out)
            pixel &= 0xFFFFFF;
        return out;
    }

    static constexpr DWORD k_clear = 0xFF123456;
    UINT m_width = 0, m_height = 0;
    TempFolder m_folder;
};

TEST_F(DemoShaderGlTest, TheWholeSetLoadsAndTranslates)
{
    ASSERT_NO_THROW(load_demo_set());
    for (int slot = 1; slot <= SHADER_COUNT; ++slot) {
        SCOPED_TRACE(shader_name(slot));
        const D3DVertexShader* shader = d3d8_vertex_shader(device(), shader_handle(slot));
        ASSERT_NE(shader, nullptr);
        EXPECT_EQ(shader->function, demo_shader_program(shader_name(slot)));
    }
}

// Vertex data for a declaration: per stream, three vertices of a triangle that covers the screen
// under identity transforms, with unit normals and tangents, white colours, zero weights,
// texture coordinates and palette offsets (every bone is palette slot 0).
std::vector<std::vector<std::uint8_t>> streams_for(const D3DVertexShader& shader, bool skinned)
{
    static constexpr DWORD k_bytes[] = {4, 8, 12, 16, 4, 4, 4, 8};
    static constexpr float k_corners[3][3] = {{-1, -1, 0.5f}, {3, -1, 0.5f}, {-1, 3, 0.5f}};
    std::vector<DWORD> strides;
    for (const D3DVertexElement& e : shader.elements) {
        if (strides.size() <= e.stream) strides.resize(e.stream + 1, 0);
        strides[e.stream] = std::max(strides[e.stream], e.offset + k_bytes[e.type]);
    }
    std::vector<std::vector<std::uint8_t>> streams;
    for (DWORD stride : strides)
        streams.emplace_back(3 * stride, 0);
    for (int v = 0; v < 3; ++v)
        for (const D3DVertexElement& e : shader.elements) {
            std::uint8_t* at = streams[e.stream].data() + v * strides[e.stream] + e.offset;
            DWORD reg = e.vertex_register;
            bool position = skinned ? reg == 4 || reg == 9 : reg == 0;
            bool direction = e.type == D3DVSDT_FLOAT3 && !position &&
                             (skinned ? reg == 5 || reg == 8 || reg == 10 || reg == 13 : true);
            const float unit[3] = {0, 0, 1};
            if (position) std::memcpy(at, k_corners[v], 12);
            if (direction) std::memcpy(at, unit, 12);
            if (e.type == D3DVSDT_D3DCOLOR) std::memset(at, 0xFF, 4);
        }
    return streams;
}

TEST_F(DemoShaderGlTest, EveryProgramOfTheSetDraws)
{
    load_demo_set_for_pixels();
    const float identity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    for (DWORD reg : {VSC_PROJECTION, VSC_WORLD_VIEW_PROJ, VSC_WORLD_VIEW, VSC_WORLD})
        device().SetVertexShaderConstant(reg, identity, 4);
    for (int slot = 1; slot <= SHADER_COUNT; ++slot) {
        SCOPED_TRACE(shader_name(slot));
        const D3DVertexShader* shader = d3d8_vertex_shader(device(), shader_handle(slot));
        ASSERT_NE(shader, nullptr);
        std::vector<IDirect3DVertexBuffer8*> buffers;
        std::vector<std::vector<std::uint8_t>> streams = streams_for(*shader, slot > SHADER_SLOT_S_BASE);
        for (std::size_t s = 0; s < streams.size(); ++s) {
            buffers.push_back(vertex_buffer(streams[s]));
            device().SetStreamSource(UINT(s), buffers.back(), UINT(streams[s].size() / 3));
        }
        device().SetVertexShader(shader_handle(slot));
        draw(D3DPT_TRIANGLELIST, 1);
        // A program that failed to translate or link would leave the clear colour.
        EXPECT_NE(pixels()[m_height / 2 * m_width + m_width / 2], k_clear & 0xFFFFFF);
        for (std::size_t s = 0; s < buffers.size(); ++s) {
            device().SetStreamSource(UINT(s), nullptr, 0);
            buffers[s]->Release();
        }
    }
}

// Column-vector 3x4 rows of a bone matrix, as the palette holds them.
using BoneRows = std::array<std::array<float, 4>, 3>;

std::array<float, 3> bone_apply(const BoneRows& rows, const std::array<float, 3>& p)
{
    std::array<float, 3> out{};
    for (int i = 0; i < 3; ++i)
        out[i] = rows[i][0] * p[0] + rows[i][1] * p[1] + rows[i][2] * p[2] + rows[i][3];
    return out;
}

TEST_F(DemoShaderGlTest, SkinnedProgramBlendsTheBonesAsTheCpuDoes)
{
    load_demo_set_for_pixels();
    const UINT width = m_width, height = m_height;

    // Bone 0 scales by 0.5, bone 1 moves by (0.25, 0.25) on top; the projection is identity.
    const BoneRows bones[2] = {{{{0.5f, 0, 0, 0}, {0, 0.5f, 0, 0}, {0, 0, 1, 0}}},
                               {{{0.5f, 0, 0, 0.25f}, {0, 0.5f, 0, 0.25f}, {0, 0, 1, 0}}}};
    const float identity[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    device().SetVertexShaderConstant(VSC_PROJECTION, identity, 4);
    for (int bone = 0; bone < 2; ++bone)
        device().SetVertexShaderConstant(SKIN_PALETTE_BASE + SKIN_REGISTERS_PER_BONE * bone,
                                         bones[bone].data(), 3);

    // A quad whose top edge follows bone 1 and whose bottom edge is shared half and half.
    const std::array<float, 3> corners[4] = {{-1, 1, 0.5f}, {1, 1, 0.5f}, {-1, -1, 0.5f}, {1, -1, 0.5f}};
    const float first_weights[4] = {0, 0, 0.5f, 0.5f};
    std::vector<std::uint8_t> base, blend;
    std::array<float, 2> screen[4];
    for (int i = 0; i < 4; ++i) {
        skin_put_base_vertex(base, {{first_weights[i], 0, 0}, 0xFF20C040, 0, {0, 0}}, 2);
        skin_put_blend_vertex(blend, {corners[i], {0, 0, 1}, {0, 1, 0, 0}, {1, 0, 0}});
        std::array<float, 3> a = bone_apply(bones[0], corners[i]), b = bone_apply(bones[1], corners[i]);
        float w = first_weights[i];
        screen[i] = {((a[0] * w + b[0] * (1 - w)) + 1) / 2 * width,
                     (1 - (a[1] * w + b[1] * (1 - w))) / 2 * height};
    }
    IDirect3DVertexBuffer8* buffers[2] = {vertex_buffer(base), vertex_buffer(blend)};
    device().SetStreamSource(0, buffers[0], skin_base_stride(2));
    device().SetStreamSource(1, buffers[1], SKIN_BLEND_STRIDE);
    device().SetVertexShader(shader_handle(SHADER_SLOT_S_BASE + 2)); // s__base_2w: the vertex colour
    draw(D3DPT_TRIANGLESTRIP, 2);
    std::vector<DWORD> image = pixels();
    // The CPU's quad (a trapezoid: left-top, right-top, right-bottom, left-bottom), pixels more
    // than a pixel and a half from its edges.
    const int order[4] = {0, 1, 3, 2};
    auto edge_distance = [&](float x, float y) {
        float inside = 1e9f;
        for (int e = 0; e < 4; ++e) {
            const auto& p = screen[order[e]];
            const auto& q = screen[order[(e + 1) % 4]];
            float dx = q[0] - p[0], dy = q[1] - p[1];
            float side = ((y - p[1]) * dx - (x - p[0]) * dy) / std::hypot(dx, dy);
            inside = std::min(inside, side);
        }
        return inside; // positive inside for this clockwise-on-screen order
    };
    int checked_inside = 0, checked_outside = 0;
    for (UINT y = 0; y < height; y += 7)
        for (UINT x = 0; x < width; x += 7) {
            float distance = edge_distance(float(x), float(y));
            if (std::abs(distance) < 1.5f) continue;
            DWORD expected = distance > 0 ? 0x20C040u : k_clear & 0xFFFFFF;
            (distance > 0 ? checked_inside : checked_outside)++;
            ASSERT_EQ(image[y * width + x], expected) << x << "," << y;
        }
    EXPECT_GT(checked_inside, 100);
    EXPECT_GT(checked_outside, 100);
    device().SetStreamSource(0, nullptr, 0);
    device().SetStreamSource(1, nullptr, 0);
    for (IDirect3DVertexBuffer8* buffer : buffers)
        buffer->Release();
}

} // namespace
