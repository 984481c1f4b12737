#include "tick_fixture.h"

#include "game/g_image_table.h"
#include "game/g_overlay.h"
#include "game/g_screen_fx.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// The one layer queued in row 13, or null when the row holds none or more.
const RqCallbackItem* only_layer()
{
    const RenderQueueRow& row = g_rq_rows[13];
    if (row.used != RQ_SIZE_CALLBACK) return nullptr;
    return reinterpret_cast<const RqCallbackItem*>(row.buffer.get());
}

// A screen matrix that puts world (x, y, z) at pixel (10 x + 100, 10 y + 50).
D3DXMATRIX simple_screen()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    m._11 = m._22 = 10.0f;
    m._41 = 100.0f;
    m._42 = 50.0f;
    return m;
}

// The darkness overlay on the tick's device, inside a scene, with an overlay image of its own.
class DarknessOverlay : public TickTest {
protected:
    void SetUp() override
    {
        TickTest::SetUp();
        // The overlay draws inside a scene, as the renderer calls it.
        ASSERT_EQ(g_d3d_device->BeginScene(), D3D_OK);
        make_image();
    }

    void TearDown() override
    {
        release_image();
        TickTest::TearDown();
    }

    // A new device of this size, inside a scene, with a new image.
    void restart(UINT width, UINT height)
    {
        release_image();
        start(width, height);
        make_image();
    }

    void make_image()
    {
        ASSERT_EQ(g_d3d_device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_image),
                  D3D_OK);
        g_texture_handles[IMAGE_TABLE_LIGHT0] = m_image;
    }

    void release_image()
    {
        g_texture_handles[IMAGE_TABLE_LIGHT0] = nullptr;
        if (m_image) m_image->Release();
        m_image = nullptr;
    }

    // Draws the overlay and returns its one strip's four vertices.
    std::vector<ScreenVertex> draw_overlay()
    {
        const std::size_t before = d3d8_seam_draws().size();
        game_draw_screen_effect_cb(nullptr, nullptr);
        const std::vector<D3D8DrawRecord>& draws = d3d8_seam_draws();
        EXPECT_EQ(draws.size(), before + 1);
        if (draws.size() != before + 1) return {};
        const D3D8DrawRecord& draw = draws.back();
        EXPECT_EQ(draw.call.type, D3DPT_TRIANGLESTRIP);
        EXPECT_EQ(draw.call.primitive_count, 2u);
        EXPECT_EQ(draw.state.textures[0], m_image);
        return drawn_screen_vertices(draw, 4);
    }

    IDirect3DTexture8* m_image = nullptr;
};

} // namespace

// The overlay covers the whole back buffer in white. Its light is centred on the player's head
// (its position raised by its foot offset) as it lies on the 640x480 screen, the texture
// running from 1 at the left and top edge; without a player on the middle.
TEST_F(DarknessOverlay, CoversTheBackBufferCentredOnThePlayersHead)
{
    const struct {
        const char* name;
        UINT width, height;
        bool player;
        float u, v; // the centre
    } cases[] = {
        {"640 x 480", 640, 480, true, 1.0f - 140.0f / 640.0f, 1.0f - 85.0f / 480.0f},
        {"1280 x 960", 1280, 960, true, 1.0f - 70.0f / 640.0f, 1.0f - 42.5f / 480.0f},
        {"no player", 1280, 960, false, 0.5f, 0.5f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        restart(c.width, c.height);
        g_camera_state.screen = simple_screen();
        g_device_settings.settings.point_light_vs = 1;
        g_play_state.lamp_phase = 0.0f; // no pulse: the size is 0.8
        GoActor* player = spawn(g_pool_actor);
        D3DXMatrixTranslation(&player->world, 4.0f, 2.0f, 7.0f);
        player->foot_offset = 1.5f; // the head at pixel (140, 85)
        g_player = c.player ? player : nullptr;

        const std::vector<ScreenVertex> quad = draw_overlay();
        ASSERT_EQ(quad.size(), 4u);
        const float right = static_cast<float>(c.width) - 0.5f, bottom = static_cast<float>(c.height) - 0.5f;
        const float x[4] = {-0.5f, right, -0.5f, right}, y[4] = {-0.5f, -0.5f, bottom, bottom};
        const float du = 0.8f * 0.6667f, dv = 0.8f * 0.5f;
        const float u[4] = {c.u - du, c.u + du, c.u - du, c.u + du};
        const float v[4] = {c.v - dv, c.v - dv, c.v + dv, c.v + dv};
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(quad[i].x, x[i]);
            EXPECT_EQ(quad[i].y, y[i]);
            EXPECT_EQ(quad[i].z, 0.0f);
            EXPECT_EQ(quad[i].rhw, 1.0f);
            EXPECT_EQ(quad[i].color, 0xFFFFFFFFu);
            EXPECT_NEAR(quad[i].u, u[i], 1e-5f);
            EXPECT_NEAR(quad[i].v, v[i], 1e-5f);
        }
        obj_destroy_all();
        g_player = nullptr;
    }
}

// The light is 0.8 wide where the point-light shader lights the scene, else 0.7 around a worn
// lamp and 1.15 without; it pulses with the lamp's phase by 0.0175.
TEST_F(DarknessOverlay, SizeFollowsTheShaderAndTheLamp)
{
    const struct {
        const char* name;
        std::uint8_t shader;
        bool worn;
        float size;
    } cases[] = {
        {"shader", 1, false, 0.8f},
        {"shader, lamp worn", 1, true, 0.8f},
        {"lamp worn", 0, true, 0.7f},
        {"no lamp", 0, false, 1.15f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_device_settings.settings.point_light_vs = c.shader;
        g_play_state.equip_bonus.accessory_bits = c.worn ? 0x100 : 0;
        g_play_state.lamp_phase = 0.9f;
        const std::vector<ScreenVertex> quad = draw_overlay();
        ASSERT_EQ(quad.size(), 4u);
        const float size = c.size + std::sin(0.9f) * 0.0175f;
        EXPECT_NEAR(quad[1].u - quad[0].u, 2.0f * size * 0.6667f, 1e-5f);
        EXPECT_NEAR(quad[2].v - quad[0].v, 2.0f * size * 0.5f, 1e-5f);
        EXPECT_NEAR(quad[0].u + quad[1].u, 1.0f, 1e-5f) << "centred without a player";
    }
}

// The overlay draws blended, clamped and alpha-tested against 1; the reference its material
// chose is back afterwards, so the material word still says what the device holds.
TEST_F(DarknessOverlay, AlphaReferenceIsOneForTheOverlayOnly)
{
    renderer_set_material_state(0x41 | (2u << MAT_ALPHA_REF_SHIFT));
    draw_overlay();
    const D3DDeviceState& drawn = d3d8_seam_draws().back().state;
    EXPECT_EQ(drawn.render[D3DRS_ALPHAREF], 1u);
    EXPECT_EQ(drawn.render[D3DRS_ALPHABLENDENABLE], static_cast<DWORD>(TRUE));
    EXPECT_EQ(drawn.stage[0][D3DTSS_ADDRESSU], static_cast<DWORD>(D3DTADDRESS_CLAMP));
    EXPECT_EQ(g_current_material, 0x20041u);
    EXPECT_EQ(state().render[D3DRS_ALPHAREF], 8u) << "the material's own reference";
}

// The lamp step queues the darkness as row 13's layer 0x0E000000 unless the shader's lamp light
// replaces it: a player wearing the lamp on hardware with the point-light shader.
TEST_F(DarknessOverlay, TheLampStepQueuesTheDarknessUnlessTheLampLightsTheScene)
{
    GoActor* player = spawn(g_pool_actor);
    const struct {
        const char* name;
        std::uint8_t shader;
        bool player;
        bool worn;
        bool queued;
    } cases[] = {
        {"no shader", 0, true, true, true},          {"no shader, no player", 0, false, false, true},
        {"shader, no player", 1, false, true, true}, {"shader, no lamp", 1, true, false, true},
        {"shader, lamp worn", 1, true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rq_clear_rows();
        g_device_settings.settings.point_light_vs = c.shader;
        g_player = c.player ? player : nullptr;
        g_play_state.equip_bonus.accessory_bits = c.worn ? 0x100 : 0;
        game_step_lamp();
        const RqCallbackItem* layer = only_layer();
        EXPECT_EQ(layer != nullptr, c.queued);
        EXPECT_EQ(g_rq_rows[13].used, c.queued ? RQ_SIZE_CALLBACK : 0u);
        if (!layer) continue;
        EXPECT_EQ(layer->header.key0, RQ_LAYER_DARKNESS);
        EXPECT_EQ(layer->callback, &game_draw_screen_effect_cb);
    }
}

// In a dark scene the tick queues the darkness on the draw step only, once a frame.
TEST_F(DarknessOverlay, TheTickQueuesTheDarknessOnceAFrame)
{
    g_d3d_device->EndScene(); // the tick begins its own
    g_play_state.dark_scene = 1;
    step(1);
    ASSERT_NE(only_layer(), nullptr);
    step(2);
    step(3, false, 0.5f);
    EXPECT_NE(only_layer(), nullptr) << "still the one layer of the frame";
}
