#include "renderer_fixture.h"

#include "core/errors.h"
#include "scenegraph/renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr DWORD SCREEN_FVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;

bool registers_hold(const D3DDeviceState& state, DWORD reg, const D3DXMATRIX& transposed)
{
    return std::memcmp(state.vs_constants[reg], &transposed, sizeof transposed) == 0;
}

// The vertices a draw took from its screen-vertex stream.
std::vector<ScreenVertex> screen_vertices(const D3D8DrawRecord& draw, UINT count)
{
    UINT first = draw.call.indexed ? draw.state.base_vertex + draw.call.min_index : draw.call.start;
    std::vector<ScreenVertex> vertices(count);
    std::memcpy(vertices.data(),
                d3d8_buffer_data(*draw.state.streams[0].buffer) + first * sizeof(ScreenVertex),
                count * sizeof(ScreenVertex));
    return vertices;
}

// ---- Start-up, targets and device objects -----------------------------------------------------
TEST_F(RendererTest, ScreenTargetsAreThePowersOfTwoAboveTheBackBuffer)
{
    struct Case {
        UINT width, height;
        UINT texture_width, texture_height;
    };
    const Case cases[] = {{640, 480, 1024, 512}, {800, 600, 1024, 1024}, {1024, 768, 1024, 1024}};
    for (const Case& c : cases) {
        start(c.width, c.height);
        const RendererSurfaces& s = g_renderer_surfaces;
        D3DSURFACE_DESC desc;
        s.screen_texture->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, c.texture_width);
        EXPECT_EQ(desc.Height, c.texture_height);
        EXPECT_EQ(desc.Format, D3DFMT_X8R8G8B8);
        EXPECT_EQ(desc.Usage, D3DUSAGE_RENDERTARGET);
        EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
        EXPECT_EQ(s.screen_texture->GetLevelCount(), 1u);
        s.prepass_texture->GetLevelDesc(0, &desc);
        EXPECT_EQ(desc.Width, c.texture_width / 2);
        EXPECT_EQ(desc.Height, c.texture_height / 2);
        EXPECT_EQ(d3d8_surface_desc(*s.screen_depth).Width, c.texture_width);
        EXPECT_EQ(d3d8_surface_desc(*s.screen_depth).Format, D3DFMT_D16);
        EXPECT_EQ(d3d8_surface_desc(*s.prepass_depth).Height, c.texture_height / 2);

        const ScreenVertex& far = g_screen_quads[SCREEN_QUAD_COPY][3];
        EXPECT_FLOAT_EQ(far.x, static_cast<float>(c.width) - 0.5f);
        EXPECT_FLOAT_EQ(far.y, static_cast<float>(c.height) - 0.5f);
        EXPECT_FLOAT_EQ(far.u, static_cast<float>(c.width) / static_cast<float>(c.texture_width));
        EXPECT_FLOAT_EQ(far.v, static_cast<float>(c.height) / static_cast<float>(c.texture_height));
        EXPECT_FLOAT_EQ(g_frame_effects.zoom_centre.x, static_cast<float>(c.width) / 2.0f - 0.5f);
    }
}

TEST_F(RendererTest, InitializeSetsUpTheBatchesAndTheGrid)
{
    const std::uint32_t triangles[TRI_BATCH_COUNT] = {1024, 1365, 2730, 1365, 1365, 682,
                                                      682,  682,  682,  1365, 1365};
    const MaterialFlags materials[TRI_BATCH_COUNT] = {0, 0, 0, 0, 0x20449, 0, 0, 0, 0, 0x80, 0x20449};
    for (int i = 0; i < TRI_BATCH_COUNT; ++i) {
        EXPECT_EQ(g_tri_batches[i].capacity, triangles[i]) << "batch " << i;
        EXPECT_EQ(g_tri_batches[i].material, materials[i]) << "batch " << i;
    }

    // 640x480 in a 1024x512 texture: columns of (639.5 x 0.33334), rows of (479.5 x 0.2).
    const float l = 639.5f * 0.33334f, r = 479.5f * 0.2f;
    const float du = 0.33334f * 640.0f / 1024.0f, dv = 0.2f * 480.0f / 512.0f;
    struct Point {
        int index;
        float x, y, u, v;
    };
    const Point points[] = {
        {0, -0.5f, -0.5f, 0.0f, 0.0f},      {1, l, -0.5f, du, 0.0f},
        {11, l, 5 * r, du, 5 * dv},         {12, l, 5 * r - 0.01f, du, 5 * dv},
        {13, 2 * l, 5 * r, 2 * du, 5 * dv}, {23, 2 * l, 0.0f, 2 * du, 0.0f},
        {24, 2 * l, 0.01f, 2 * du, 0.0f},   {35, 3 * l, 5 * r, 3 * du, 5 * dv},
    };
    for (const Point& p : points) {
        const ScreenVertex& v = g_grid_distortion.vertices[p.index];
        EXPECT_NEAR(v.x, p.x, 1e-3f) << "vertex " << p.index;
        EXPECT_NEAR(v.y, p.y, 1e-3f) << "vertex " << p.index;
        EXPECT_NEAR(v.u, p.u, 1e-5f) << "vertex " << p.index;
        EXPECT_NEAR(v.v, p.v, 1e-5f) << "vertex " << p.index;
        EXPECT_EQ(v.color, 0xFFFFFFFFu);
    }
    EXPECT_EQ(std::memcmp(g_grid_distortion.rest, g_grid_distortion.vertices, sizeof g_grid_distortion.rest),
              0);
    EXPECT_EQ(g_grid_distortion.phases[0][3], 360);
    EXPECT_EQ(g_grid_distortion.phases[0][14], 240);
    EXPECT_EQ(g_grid_distortion.phases[0][27], 360);
    EXPECT_EQ(g_grid_distortion.phases[1][0], 360);
    EXPECT_EQ(g_grid_distortion.phases[1][17], 360);
    EXPECT_EQ(g_grid_distortion.phases[1][35], 60);
}

TEST_F(RendererTest, InitStepStartsTheRowsThenTheCameraDefaults)
{
    renderer_shutdown();
    g_camera_state = {};
    EngineParams params{};
    params.render_queue_rows = RQ_GAME_ROWS;
    SysInitContext context{params, SUBSYS_RENDERER, 0};
    ASSERT_EQ(renderer_init_step(context), S_OK);
    EXPECT_EQ(g_rq_rows[11].capacity, 245760u);
    EXPECT_EQ(g_rq_rows[11].sort_mode, 1u);
    EXPECT_FLOAT_EQ(g_camera_state.fov_y, 0.62831855f);
    EXPECT_EQ(g_camera_state.viewport.Width, 640u);

    params.render_queue_rows = nullptr;
    EXPECT_EQ(renderer_init_step(context), E_INVALIDARG);
}

TEST_F(RendererTest, DeviceObjectFailuresNameTheirStepAndLeakNothing)
{
    struct Case {
        D3D8Call call;
        int skip;
        const char* text;
    };
    const Case cases[] = {
        {D3D8Call::CreateVertexBuffer, 0, "Failed to create vertex buffer.\r\nVRAM may be insufficient."},
        {D3D8Call::CreateVertexBuffer, 7, "Failed to create vertex buffer."},
        {D3D8Call::CreateIndexBuffer, 0, "Failed to create index buffer.\r\nVRAM may be insufficient."},
        {D3D8Call::CreateIndexBuffer, 3, "Failed to create index buffer."},
        {D3D8Call::Lock, 1, "Failed to create index buffer."},
        {D3D8Call::CreateDepthStencilSurface, 1,
         "Failed to create Z buffer rendering target.\r\nVRAM may be insufficient."},
        {D3D8Call::CreateTexture, 1, "Failed to create render target texture.\r\nVRAM may be insufficient."},
    };
    for (const Case& c : cases) {
        renderer_release_device_objects();
        ASSERT_EQ(d3d8_default_pool_holds(*g_d3d_device), 0u);
        d3d8_seam_fail(c.call, D3DERR_OUTOFVIDEOMEMORY, c.skip);
        std::string text;
        try {
            renderer_create_device_objects();
        } catch (const RuntimeError& error) {
            text = error.text;
        }
        EXPECT_NE(text.find(c.text), std::string::npos) << text;
        EXPECT_NE(text.find("D3DERR_OUTOFVIDEOMEMORY"), std::string::npos) << text;
        EXPECT_NE(text.find("renderer(661)"), std::string::npos) << text;
        renderer_release_device_objects();
        EXPECT_EQ(d3d8_default_pool_holds(*g_d3d_device), 0u) << c.text;
    }
}

TEST_F(RendererTest, ReleasedDeviceObjectsLetTheDeviceReset)
{
    EXPECT_GT(d3d8_default_pool_holds(*g_d3d_device), 0u);
    g_d3d_device->EndScene();
    renderer_release_device_objects();
    EXPECT_EQ(d3d8_default_pool_holds(*g_d3d_device), 0u);
    D3DPRESENT_PARAMETERS params = g_device_settings.present;
    ASSERT_EQ(g_d3d_device->Reset(&params), D3D_OK);
    renderer_default_states();
    renderer_create_device_objects();
    EXPECT_NE(g_renderer_surfaces.screen_texture, nullptr);
    EXPECT_EQ(g_d3d_device->BeginScene(), D3D_OK);
}

// ---- The frame -----------------------------------------------------------------------------------
TEST_F(RendererTest, FrameStateResetEmptiesTheFrame)
{
    FrameEffects& fx = g_frame_effects;
    fx.prepass_request = true;
    fx.cover_mode = 2.0f;
    fx.shadow_lighting = true;
    fx.cover_quad_bits = 0x40000;
    fx.point_lights[3].params[0] = 30.0f;
    fx.point_lights[3].params[1] = 2.0f;
    fx.point_lights[3].position = D3DXVECTOR3(1.0f, 2.0f, 3.0f);
    g_tri_batches[2].count = 7;
    g_rq_serial = 900;
    g_render_target = RT_SCREEN_TEXTURE;
    ASSERT_NE(rq_alloc(13, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK), nullptr);

    renderer_reset_frame_state();
    EXPECT_TRUE(fx.prepass_active);
    EXPECT_EQ(fx.cover_mode, 0.0f);
    EXPECT_FALSE(fx.shadow_lighting);
    EXPECT_EQ(fx.cover_quad_bits, 0u);
    EXPECT_EQ(fx.cover_model_bits, 0x50000000u);
    EXPECT_EQ(fx.point_lights[3].params[0], 0.0f);
    EXPECT_EQ(fx.point_lights[3].params[1], 0.0f);
    EXPECT_EQ(g_tri_batches[2].count, 0u);
    EXPECT_EQ(g_rq_serial, 273u);
    EXPECT_EQ(g_render_target, RT_BACK_BUFFER);
    EXPECT_EQ(g_rq_rows[13].used, 0u);
}

TEST_F(RendererTest, BeginFrameSelectsTheFrameTargetAndClearsItUnlessTheDeviceIsLost)
{
    start(800, 600);
    g_frame_effects.screen_texture_mode = true;
    std::uint64_t clears = d3d8_call_counts(*g_d3d_device).clears;
    renderer_begin_frame(D3DCLEAR_ZBUFFER);
    EXPECT_EQ(g_render_target, RT_SCREEN_TEXTURE);
    EXPECT_EQ(state().render_target, g_renderer_surfaces.screen_surface);
    EXPECT_EQ(state().depth_stencil, g_renderer_surfaces.screen_depth);
    EXPECT_EQ(state().viewport.Width, 800u);
    EXPECT_EQ(state().viewport.Height, 600u);
    EXPECT_EQ(d3d8_call_counts(*g_d3d_device).clears, clears + 1);

    g_frame_effects.screen_texture_mode = false;
    d3d8_seam_script_cooperative({D3DERR_DEVICELOST});
    renderer_begin_frame(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    EXPECT_EQ(state().render_target, g_renderer_surfaces.back_buffer);
    EXPECT_EQ(d3d8_call_counts(*g_d3d_device).clears, clears + 1);
}

TEST_F(RendererTest, TwoDScalingStretchesTheVirtualScreenOnlyWhenTheBackBufferDiffers)
{
    D3DXVECTOR2 point(10.0f, 10.0f);
    renderer_scale_point_2d(point);
    EXPECT_EQ(point.x, 10.0f);
    EXPECT_EQ(point.y, 10.0f);
    EXPECT_FALSE(g_screen_scale.stretched);

    start(800, 600);
    EXPECT_TRUE(g_screen_scale.stretched);
    EXPECT_FLOAT_EQ(g_screen_scale.inv_sx, 0.8f);
    renderer_scale_point_2d(point);
    EXPECT_FLOAT_EQ(point.x, 12.5f); // floor(10.5 x 1.25) - 0.5
    EXPECT_FLOAT_EQ(point.y, 12.5f);

    ScreenVertex quad[2] = {{8.0f, 4.0f, 0.5f, 1.0f, 0, 0.25f, 0.5f},
                            {640.0f, 480.0f, 0.0f, 1.0f, 0, 1.0f, 1.0f}};
    renderer_scale_2d(quad, sizeof(ScreenVertex), 2);
    EXPECT_FLOAT_EQ(quad[0].x, 10.0f);
    EXPECT_FLOAT_EQ(quad[0].y, 5.0f);
    EXPECT_FLOAT_EQ(quad[0].z, 0.5f);
    EXPECT_FLOAT_EQ(quad[0].u, 0.25f);
    EXPECT_FLOAT_EQ(quad[1].x, 800.0f);
    EXPECT_FLOAT_EQ(quad[1].y, 600.0f);
    EXPECT_EQ(g_screen_size.half_width, 400);
}

TEST(RendererAlpha, TextureFactorTakesTheAlphaByteOverWhite)
{
    const std::pair<float, DWORD> cases[] = {{0.5f, 0x80FFFFFF}, {0.25f, 0x40FFFFFF}, {0.999f, 0xFFFFFFFF},
                                             {1.0f, 0xFFFFFFFF}, {3.0f, 0xFFFFFFFF},  {0.001f, 0x00FFFFFF},
                                             {-0.5f, 0x00FFFFFF}};
    for (const auto& [alpha, factor] : cases)
        EXPECT_EQ(renderer_alpha_factor(alpha), factor) << alpha;
}

// ---- Triangle batches ---------------------------------------------------------------------------
void fill_batch(int batch, std::uint32_t triangles, IDirect3DTexture8* texture = nullptr)
{
    for (std::uint32_t i = 0; i < 3 * triangles; ++i)
        g_tri_batches[batch].vertices[i] = {static_cast<float>(i), 0.0f, 1.0f, 0xFFFFFFFF, 0.0f, 0.0f};
    g_tri_batches[batch].count = triangles;
    g_tri_batches[batch].texture = texture;
}

// The game's hooks, replaced by a log of when each ran: the number of draws made before it.
std::vector<std::pair<char, std::size_t>> g_hook_log;
void log_before_batches()
{
    g_hook_log.emplace_back('<', d3d8_seam_draws().size());
}
void log_after_batches()
{
    g_hook_log.emplace_back('>', d3d8_seam_draws().size());
}

TEST_F(RendererTest, TriangleBatchesDrawBetweenTheGamesTwoHooks)
{
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    g_frame_effects.point_lights[0].params[0] = 10.0f;
    g_frame_effects.point_lights[0].params[1] = 20.0f;
    renderer_set_frame_constants();
    ASSERT_EQ(g_active_point_lights, 1);
    fill_batch(0, 2, texture);
    fill_batch(9, 1);
    g_hook_log.clear();
    g_renderer_before_batches = log_before_batches;
    g_renderer_after_batches = log_after_batches;
    renderer_draw_frame();
    g_renderer_before_batches = g_renderer_after_batches = nullptr;

    ASSERT_EQ(draws().size(), 2u);
    const std::vector<std::pair<char, std::size_t>> order = {{'<', 0}, {'>', 2}};
    EXPECT_EQ(g_hook_log, order) << "the hooks wrap the batches and run once each";
    const D3D8DrawRecord& lit = draws()[0];
    EXPECT_EQ(lit.call.type, D3DPT_TRIANGLELIST);
    EXPECT_FALSE(lit.call.indexed);
    EXPECT_EQ(lit.call.start, 0u);
    EXPECT_EQ(lit.call.primitive_count, 2u);
    EXPECT_EQ(lit.state.vertex_shader, shader_handle(SHADER_SLOT_B_DT1 + 1));
    EXPECT_EQ(lit.state.streams[0].buffer, g_renderer_vbs[RVB_BATCH].vertices);
    EXPECT_EQ(lit.state.streams[0].stride, 24u);
    EXPECT_EQ(lit.state.textures[0], texture);

    const D3D8DrawRecord& additive = draws()[1];
    EXPECT_EQ(additive.call.start, 6u);
    EXPECT_EQ(additive.call.primitive_count, 1u);
    EXPECT_EQ(additive.state.vertex_shader, shader_handle(SHADER_SLOT_B_DT1)) << "batch 9 is unlit";
    EXPECT_EQ(additive.state.render[D3DRS_DESTBLEND], D3DBLEND_ONE);
    EXPECT_EQ(additive.state.textures[0], nullptr);
    texture->Release();
}

TEST_F(RendererTest, ShadowLightingUsesTheShadowBatchShader)
{
    g_frame_effects.point_lights[2].params[0] = 5.0f;
    g_frame_effects.point_lights[3].params[1] = 5.0f;
    renderer_set_frame_constants();
    g_frame_effects.shadow_lighting = true;
    fill_batch(3, 1);
    renderer_draw_frame();
    ASSERT_EQ(draws().size(), 1u);
    EXPECT_EQ(draws()[0].state.vertex_shader, shader_handle(SHADER_SLOT_B_DT1_SHADOW + 2));
}

TEST_F(RendererTest, ABatchThatWouldOverflowTheBufferRestartsItWithDiscard)
{
    fill_batch(0, 10);
    fill_batch(1, 10);
    fill_batch(2, 2720); // 60 + 8160 vertices reach the 8192 of the buffer
    renderer_draw_frame();
    ASSERT_EQ(draws().size(), 3u);
    EXPECT_EQ(draws()[0].call.start, 0u);
    EXPECT_EQ(draws()[1].call.start, 30u);
    EXPECT_EQ(draws()[2].call.start, 0u);
    EXPECT_EQ(draws()[2].call.primitive_count, 2720u);
    EXPECT_EQ(d3d8_lock_record(*g_renderer_vbs[RVB_BATCH].vertices).flags, D3DLOCK_DISCARD);
    EXPECT_EQ(g_renderer_vbs[RVB_BATCH].position, 8160u);
}

TEST_F(RendererTest, IdentityWorldConstantsTakeTheGivenProjectionAndTheWorldOnlyInCoverMode)
{
    D3DXMATRIX identity, marker, view_proj, proj;
    D3DXMatrixIdentity(&identity);
    for (auto& row : marker.m)
        std::fill(std::begin(row), std::end(row), 0.75f);
    D3DXMatrixScaling(&view_proj, 2.0f, 3.0f, 4.0f);
    D3DXMatrixTranslation(&proj, 5.0f, 6.0f, 7.0f);
    for (bool cover : {false, true}) {
        g_frame_effects.cover_mode = cover ? 1.0f : 0.0f;
        g_d3d_device->SetVertexShaderConstant(VSC_WORLD, &marker, 4);
        renderer_set_identity_world_constants(view_proj, proj);
        EXPECT_TRUE(registers_hold(state(), VSC_PROJECTION, proj));
        EXPECT_TRUE(registers_hold(state(), VSC_WORLD_VIEW_PROJ, view_proj));
        EXPECT_TRUE(registers_hold(state(), VSC_WORLD_VIEW, g_camera_state.view_t));
        EXPECT_TRUE(registers_hold(state(), VSC_WORLD, cover ? identity : marker));
    }
}

// ---- Full-screen passes ---------------------------------------------------------------------------
TEST_F(RendererTest, AFrameDrawnIntoTheScreenTextureIsCopiedToTheBackBuffer)
{
    start(800, 600);
    g_frame_effects.screen_texture_mode = true;
    renderer_begin_frame(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    renderer_draw_frame();

    ASSERT_EQ(draws().size(), 1u);
    const D3D8DrawRecord& copy = draws()[0];
    EXPECT_EQ(copy.call.type, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(copy.call.primitive_count, 2u);
    EXPECT_EQ(copy.state.render_target, g_renderer_surfaces.back_buffer);
    EXPECT_EQ(copy.state.depth_stencil, g_renderer_surfaces.depth_buffer);
    EXPECT_EQ(copy.state.textures[0], g_renderer_surfaces.screen_texture);
    EXPECT_EQ(copy.state.vertex_shader, SCREEN_FVF);
    EXPECT_EQ(copy.state.streams[0].stride, 28u);
    EXPECT_EQ(copy.state.render[D3DRS_TEXTUREFACTOR], 0xFFFFFFFFu);
    EXPECT_EQ(copy.state.render[D3DRS_ALPHABLENDENABLE], FALSE);
    std::vector<ScreenVertex> quad = screen_vertices(copy, 4);
    EXPECT_FLOAT_EQ(quad[3].x, 799.5f);
    EXPECT_FLOAT_EQ(quad[3].y, 599.5f);
    EXPECT_FLOAT_EQ(quad[3].u, 800.0f / 1024.0f);
    EXPECT_FLOAT_EQ(quad[3].v, 600.0f / 1024.0f);
    EXPECT_FALSE(g_frame_effects.screen_texture_mode) << "the game asks again for the next frame";
    EXPECT_EQ(g_render_target, RT_BACK_BUFFER);
}

TEST_F(RendererTest, AfterimageBlendsTheScreenTextureWithItsAlpha)
{
    for (float alpha : {0.5f, 1.0f}) {
        d3d8_seam_log_draws(true);
        g_frame_effects.afterimage_alpha = alpha;
        renderer_draw_frame();
        ASSERT_EQ(draws().size(), 1u);
        const D3D8DrawRecord& draw = draws()[0];
        EXPECT_EQ(draw.call.type, D3DPT_TRIANGLESTRIP);
        EXPECT_EQ(draw.state.render[D3DRS_TEXTUREFACTOR], alpha == 0.5f ? 0x80FFFFFFu : 0xFFFFFFFFu);
        EXPECT_EQ(draw.state.render[D3DRS_ALPHABLENDENABLE], TRUE);
        EXPECT_EQ(draw.state.stage[0][D3DTSS_ALPHAARG2], D3DTA_TFACTOR);
        EXPECT_EQ(draw.state.textures[0], g_renderer_surfaces.screen_texture);
    }
}

TEST_F(RendererTest, ZoomLayersFanOutFromTheCentreWithinTheFanList)
{
    struct Case {
        std::uint32_t layers;
        UINT triangles; // 0: nothing drawn
    };
    const Case cases[] = {{4, 16}, {1, 4}, {0, 0}, {8, 20}};
    const D3DXVECTOR2 centre = g_frame_effects.zoom_centre;
    for (const Case& c : cases) {
        d3d8_seam_log_draws(true);
        g_frame_effects.zoom_alpha = 0.5f;
        g_frame_effects.zoom_layers = c.layers;
        g_frame_effects.zoom_step = 0.02f;
        renderer_draw_frame();
        if (c.triangles == 0) {
            EXPECT_TRUE(draws().empty()) << "no layers draw nothing whatever the alpha";
            continue;
        }
        ASSERT_EQ(draws().size(), 1u) << c.layers << " layers";
        const D3D8DrawRecord& fan = draws()[0];
        EXPECT_EQ(fan.call.type, D3DPT_TRIANGLEFAN);
        EXPECT_TRUE(fan.call.indexed);
        EXPECT_EQ(fan.call.primitive_count, c.triangles);
        EXPECT_EQ(fan.call.vertex_count, c.triangles + 1);
        EXPECT_EQ(fan.state.indices, g_renderer_ibs[RIB_ZOOM_FAN].indices);
        EXPECT_EQ(fan.state.render[D3DRS_TEXTUREFACTOR], 0x80FFFFFFu);
        EXPECT_EQ(fan.state.render[D3DRS_ALPHATESTENABLE], TRUE);
        std::vector<ScreenVertex> v = screen_vertices(fan, c.triangles + 1);
        EXPECT_EQ(v[0].color, 0x0FFFFFFFu);
        EXPECT_FLOAT_EQ(v[0].x, centre.x);
        EXPECT_FLOAT_EQ(v[0].u, centre.x / 1024.0f);
        EXPECT_FLOAT_EQ(v[0].v, centre.y / 512.0f);
        const ScreenVertex& corner = g_screen_quads[SCREEN_QUAD_ZOOM][3];
        EXPECT_FLOAT_EQ(v[4].x, centre.x + (corner.x - centre.x) * 1.02f);
        EXPECT_FLOAT_EQ(v[4].y, centre.y + (corner.y - centre.y) * 1.02f);
        EXPECT_FLOAT_EQ(v[4].u, corner.u);
        const ScreenVertex& last = v[c.triangles];
        float scale = 1.0f + static_cast<float>(c.triangles / 4) * 0.02f;
        EXPECT_FLOAT_EQ(last.x, centre.x + (corner.x - centre.x) * scale);
    }
}

TEST_F(RendererTest, TheGridDrawsAStripOf34AndReportsItUnlessItsLockFails)
{
    g_frame_effects.grid_enable = true;
    g_frame_effects.grid_alpha = 0.25f;
    d3d8_seam_fail(D3D8Call::Lock, D3DERR_INVALIDCALL);
    renderer_draw_frame();
    EXPECT_TRUE(draws().empty());
    EXPECT_FALSE(g_frame_effects.grid_drawn);

    renderer_draw_frame();
    ASSERT_EQ(draws().size(), 1u);
    EXPECT_EQ(draws()[0].call.type, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(draws()[0].call.primitive_count, 34u);
    EXPECT_EQ(draws()[0].state.render[D3DRS_TEXTUREFACTOR], 0x40FFFFFFu);
    EXPECT_TRUE(g_frame_effects.grid_drawn);
    std::vector<ScreenVertex> v = screen_vertices(draws()[0], GRID_VERTEX_COUNT);
    EXPECT_EQ(std::memcmp(v.data(), g_grid_distortion.vertices, sizeof g_grid_distortion.vertices), 0);

    g_frame_effects.grid_enable = false;
    d3d8_seam_log_draws(true);
    renderer_draw_frame();
    EXPECT_TRUE(draws().empty()) << "the fire blur is off";
}

TEST_F(RendererTest, ScreenPassesRunWithoutMultisamplingAndPutTheFiltersBack)
{
    d3d_set_render_state_cached(D3DRS_MULTISAMPLEANTIALIAS, TRUE);
    d3d_set_stage_state_cached(0, D3DTSS_MINFILTER, D3DTEXF_ANISOTROPIC);
    d3d_set_stage_state_cached(0, D3DTSS_MAGFILTER, D3DTEXF_ANISOTROPIC);
    d3d_set_stage_state_cached(0, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
    g_frame_effects.afterimage_alpha = 0.5f;
    renderer_draw_frame();

    ASSERT_EQ(draws().size(), 1u);
    const D3DDeviceState& during = draws()[0].state;
    EXPECT_EQ(during.render[D3DRS_MULTISAMPLEANTIALIAS], FALSE);
    EXPECT_EQ(during.stage[0][D3DTSS_MINFILTER], D3DTEXF_LINEAR);
    EXPECT_EQ(during.stage[0][D3DTSS_MAGFILTER], D3DTEXF_LINEAR);
    EXPECT_EQ(during.stage[0][D3DTSS_MIPFILTER], D3DTEXF_POINT);
    EXPECT_EQ(during.textures[1], nullptr);
    EXPECT_EQ(state().render[D3DRS_MULTISAMPLEANTIALIAS], TRUE);
    EXPECT_EQ(state().stage[0][D3DTSS_MINFILTER], D3DTEXF_ANISOTROPIC);
    EXPECT_EQ(state().stage[0][D3DTSS_MAGFILTER], D3DTEXF_ANISOTROPIC);
    EXPECT_EQ(state().stage[0][D3DTSS_MIPFILTER], D3DTEXF_LINEAR);
}

TEST(RendererColor, ArgbBecomesRgbaFloats)
{
    float rgba[4];
    renderer_color_from_argb(0x80FF4000u, rgba);
    EXPECT_FLOAT_EQ(rgba[0], 1.0f);
    EXPECT_FLOAT_EQ(rgba[1], 64.0f / 255.0f);
    EXPECT_FLOAT_EQ(rgba[2], 0.0f);
    EXPECT_FLOAT_EQ(rgba[3], 128.0f / 255.0f);
}

} // namespace
