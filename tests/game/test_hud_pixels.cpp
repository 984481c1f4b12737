#include "hud_fixture.h"

#include "game/g_game_flags.h"
#include "game/g_image_table.h"
#include "gl_device_fixture.h"
#include "lib/hud_image_writer.h"
#include "object/obj_manager.h"
#include "scenegraph/texture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr UINT k_width = 640;
constexpr UINT k_height = 480;
constexpr DWORD k_black = 0xFF000000;

int channel(DWORD argb, int shift)
{
    return static_cast<int>(argb >> shift & 0xFF);
}

// The real tick and queue on a device that draws (OpenGL), with the HUD's images as the tools
// write them.
class HudPixels : public HudTest {
protected:
    void SetUp() override
    {
        HudTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(start_gl(k_width, k_height));
        if (IsSkipped()) return;
        g_d3d_device->EndScene(); // the tick begins the frame's scene itself
        load_image(IMAGE_TABLE_HUD_STATUS, hud_status_image());
        load_image(IMAGE_TABLE_HUD_ENEMY, hud_enemy_gauge_image());
    }
    void TearDown() override
    {
        for (int entry : {IMAGE_TABLE_HUD_STATUS, IMAGE_TABLE_HUD_ENEMY}) {
            if (g_texture_handles[entry]) g_texture_handles[entry]->Release();
            g_texture_handles[entry] = nullptr;
        }
        HudTest::TearDown();
    }

    static void load_image(int entry, const DdsPixels& pixels)
    {
        DdsImage image;
        ASSERT_EQ(dds_parse(image, dds_build(DdsFormat::A4R4G4B4, std::span(&pixels, 1))), S_OK);
        ASSERT_EQ(dds_create_texture(image, &g_texture_handles[entry], nullptr, true, D3DPOOL_MANAGED,
                                     D3DFMT_A4R4G4B4),
                  S_OK);
        dds_free(image);
    }

    // One frame as the main loop runs it: its first step, then the queue drawn.
    std::vector<DWORD> draw_frame()
    {
        g_d3d_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, k_black, 1.0f, 0);
        step(1, true);
        g_d3d_device->BeginScene();
        renderer_draw_frame();
        obj_sweep_dead();
        g_d3d_device->EndScene();
        return back_buffer_pixels(*g_d3d_device, k_width, k_height);
    }
};

} // namespace

// With the player's and the enemy's gauges set, each bar and trail of the HUD inks the frame
// where the HUD places it, in its image's colour; the rest of the bar's row stays dark.
TEST_F(HudPixels, TheGaugesInkTheFrameWhereThePartsStand)
{
    PlayState& ps = g_play_state;
    ps.game_flags[GF_HUD_SHOWN] = 1;
    ps.boost_gauge = 15000.0f;
    hud_gauge_set(1, HUD_GAUGE_HP, 80.0f, 100.0f);
    hud_gauge_set(1, HUD_GAUGE_HP, 50.0f, 100.0f); // the bar to x 111.5, the trail on to 159.5
    hud_gauge_set(2, HUD_GAUGE_ENEMY, 100.0f, 100.0f);
    hud_gauge_set(2, HUD_GAUGE_ENEMY, 50.0f, 100.0f); // the bar from x 511.5, the trail from 460.5
    const std::vector<DWORD> pixels = draw_frame();

    const struct {
        const char* what;
        float x, y;
        int shift; // the channel that must lead
    } inked[] = {
        {"hit points", 60.0f, 459.5f, 8},
        {"their trail", 140.0f, 459.5f, 16},
        {"the boost", 20.0f, 470.0f, 0},
        {"the enemy's bar", 580.0f, 464.5f, 16},
    };
    for (const auto& c : inked) {
        SCOPED_TRACE(c.what);
        const DWORD pixel = frame_pixel(pixels, k_width, k_height, c.x, c.y);
        for (int other : {0, 8, 16}) {
            if (other == c.shift) continue;
            EXPECT_GT(channel(pixel, c.shift), channel(pixel, other)) << std::hex << pixel;
        }
        EXPECT_GT(channel(pixel, c.shift), 0x40) << std::hex << pixel;
    }
    const DWORD beyond = frame_pixel(pixels, k_width, k_height, 300.0f, 459.5f);
    EXPECT_EQ(beyond & 0xFFFFFF, 0u) << std::hex << beyond;
}
