#include "scenegraph/render_target.h"

#include "d3d8_machines.h"
#include "lib/qmo_writer.h"
#include "lowlv/d3d/d3d_core.h"
#include "renderer_fixture.h"
#include "scenegraph/model.h"
#include "scenegraph/renderer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A device on a machine whose hardware renders into textures of the given formats only.
class RenderTargetTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        stop();
        g_render_texture_options = {};
    }

    void start(std::vector<D3DFORMAT> target_formats)
    {
        stop();
        D3D8AdapterProfile adapter = standard_adapter();
        adapter.hal->render_target_formats = std::move(target_formats);
        d3d8_seam_set_machine(machine_of({adapter}));
        g_d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(g_d3d, nullptr);
        D3DPRESENT_PARAMETERS params{};
        params.BackBufferWidth = 640;
        params.BackBufferHeight = 480;
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.Windowed = TRUE;
        ASSERT_EQ(g_d3d->CreateDevice(0, D3DDEVTYPE_HAL, fake_window(), D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                      &params, &g_d3d_device),
                  D3D_OK);
        g_device_settings = {};
        g_device_settings.present = params;
        g_device_settings.settings.device_type = 0;
        g_tri_batches[4].material = TRI_BATCH_DECAL_MATERIAL;
        g_tri_batches[10].material = TRI_BATCH_DECAL_MATERIAL | MAT_ALPHA_TEST;
        g_render_texture_options = {true, false};
    }

    void stop()
    {
        renderer_release_render_texture(m_target);
        if (g_d3d_device) {
            EXPECT_EQ(g_d3d_device->Release(), 0u) << "a render texture outlived its release";
        }
        if (g_d3d) g_d3d->Release();
        g_d3d_device = nullptr;
        g_d3d = nullptr;
        g_device_settings = {};
        d3d8_seam_reset();
    }

    HRESULT create(UINT size = 256)
    {
        return renderer_create_render_texture(m_target, size, size, 20.0f, 10.0f, 1.0f, 100.0f);
    }

    RenderTexture m_target{};
};

} // namespace

TEST_F(RenderTargetTest, FormatIsTheFirstRenderableOfThePreferredOnes)
{
    struct Case {
        std::vector<D3DFORMAT> renderable;
        D3DFORMAT format;
        bool transparent;
    };
    const std::vector<Case> cases = {
        {{D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_A1R5G5B5, D3DFMT_X8R8G8B8}, D3DFMT_A1R5G5B5, true},
        {{D3DFMT_A8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X8R8G8B8}, D3DFMT_R5G6B5, true},
        {{D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8}, D3DFMT_A8R8G8B8, true},
        {{D3DFMT_X8R8G8B8}, D3DFMT_X8R8G8B8, false},
    };
    for (const Case& c : cases) {
        start(c.renderable);
        ASSERT_EQ(create(), D3D_OK);
        EXPECT_EQ(m_target.format, c.format);
        EXPECT_EQ(m_target.transparent_clear, c.transparent);
        // The decal batches test alpha exactly when the shadows have transparent texels.
        EXPECT_EQ((g_tri_batches[4].material & MAT_ALPHA_TEST) != 0, c.transparent);
        EXPECT_EQ((g_tri_batches[10].material & MAT_ALPHA_TEST) != 0, c.transparent);

        ASSERT_EQ(renderer_set_render_texture(m_target), D3D_OK);
        EXPECT_EQ(d3d8_device_state(*g_d3d_device).render_target, m_target.surface);
        EXPECT_EQ(d3d8_device_state(*g_d3d_device).depth_stencil, nullptr);
        IDirect3DSurface8* back = nullptr;
        g_d3d_device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
        g_d3d_device->SetRenderTarget(back, nullptr);
        back->Release();
    }
}

TEST_F(RenderTargetTest, SizeProjectionAndTheShadowOptions)
{
    start({D3DFMT_A1R5G5B5});
    ASSERT_EQ(create(256), D3D_OK);
    D3DSURFACE_DESC desc{};
    m_target.texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 256u);
    EXPECT_EQ(desc.Usage, DWORD{D3DUSAGE_RENDERTARGET});
    EXPECT_EQ(desc.Pool, D3DPOOL_DEFAULT);
    D3DXMATRIX ortho;
    D3DXMatrixOrthoLH(&ortho, 20.0f, 10.0f, 1.0f, 100.0f);
    EXPECT_EQ(m_target.projection, ortho);
    renderer_release_render_texture(m_target);
    EXPECT_EQ(m_target.texture, nullptr);
    EXPECT_EQ(m_target.surface, nullptr);
    renderer_release_render_texture(m_target); // twice is harmless

    g_render_texture_options.low_reso_shadow = true;
    ASSERT_EQ(create(256), D3D_OK);
    m_target.texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Width, 128u);
    EXPECT_EQ(desc.Height, 128u);
    renderer_release_render_texture(m_target);

    g_render_texture_options.render_shadow = false;
    EXPECT_EQ(create(), E_FAIL);
    EXPECT_EQ(m_target.texture, nullptr);
    EXPECT_EQ(renderer_set_render_texture(m_target), E_FAIL);
}

TEST_F(RenderTargetTest, ClearsToTransparentOrOpaqueBlack)
{
    for (auto [formats, colour] : {std::pair{std::vector<D3DFORMAT>{D3DFMT_A8R8G8B8}, 0x00000000u},
                                   {std::vector<D3DFORMAT>{D3DFMT_X8R8G8B8}, 0xFF000000u}}) {
        start(formats);
        ASSERT_EQ(create(16), D3D_OK);
        std::memset(d3d8_surface_bits(*m_target.surface), 0x55, 4);
        ASSERT_EQ(renderer_set_render_texture(m_target), D3D_OK);
        std::uint32_t pixel;
        std::memcpy(&pixel, d3d8_surface_bits(*m_target.surface), 4);
        EXPECT_EQ(pixel, colour);
        IDirect3DSurface8* back = nullptr;
        g_d3d_device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
        g_d3d_device->SetRenderTarget(back, nullptr);
        back->Release();
    }
}

// ---- Drawing a model from below --------------------------------------------------------------------

using RenderTargetDrawTest = RendererTest;

TEST_F(RenderTargetDrawTest, DrawsTheModelFromBelowAndPutsTheCameraBack)
{
    Model model;
    ASSERT_EQ(model_parse(model, qmo_bytes(qmo_box()), 0, 0), S_OK);
    ModelInstance instance;
    model_instance_init(instance, model, 0);
    D3DXMATRIX world;
    D3DXMatrixTranslation(&world, 3, 2, 1);
    model_instance_update(instance, world, world);
    const D3DXMATRIX view = g_camera_state.view;
    const D3DXMATRIX proj_t = g_camera_state.proj_t;
    D3DXMATRIX ortho;
    D3DXMatrixOrthoLH(&ortho, 20, 20, 1, 100);

    renderer_draw_model_with_view(D3DXVECTOR3(3, 2, 1), ortho, instance, 10.0f);
    ASSERT_EQ(draws().size(), 1u);
    const D3D8DrawRecord& draw = draws()[0];
    // Plain shading (draw flag 2), and the projection the caller gave.
    EXPECT_EQ(draw.state.vertex_shader, shader_handle(SHADER_SLOT_B_NDT1));
    D3DXMATRIX ortho_t;
    D3DXMatrixTranspose(&ortho_t, &ortho);
    EXPECT_EQ(std::memcmp(draw.state.vs_constants[VSC_PROJECTION], &ortho_t, sizeof ortho_t), 0);
    // The box's centre, 10 below the eye looking up: in the middle of the view at depth 10.
    D3DXMATRIX below;
    const D3DXVECTOR3 eye(3, -8, 1), at(3, 2, 1), up(0, 0, -1);
    D3DXMatrixLookAtLH(&below, &eye, &at, &up);
    D3DXMATRIX wvp = world * world * below * ortho;
    D3DXMatrixTranspose(&wvp, &wvp);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(draw.state.vs_constants[VSC_WORLD_VIEW_PROJ + r][c], wvp.m[r][c], 1e-4f);

    EXPECT_EQ(g_camera_state.view, view);
    EXPECT_EQ(std::memcmp(state().vs_constants[VSC_PROJECTION], &proj_t, sizeof proj_t), 0);
    model_instance_free(instance);
    model_free(model);
}
