// The HUD on the tick's device: gauges as the game starts them, the HUD fully faded in, and the
// builders' quads read back as rectangles on the screen and in the status image's texels.
#pragma once

#include "tick_fixture.h"

#include "game/g_hud.h"
#include "game/g_settings.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

// One built quad: its screen rectangle, its texture rectangle (in texels of a 256-texel image),
// and its colour.
struct HudQuad {
    float x, y, width, height;
    float u, v, u_width, v_height;
    D3DCOLOR color;
};

inline HudQuad hud_quad(std::size_t index)
{
    const ScreenVertex* q = &hud_vertices()[4 * index];
    return {q[0].x,
            q[0].y,
            q[3].x - q[0].x,
            q[3].y - q[0].y,
            q[0].u * 256.0f,
            q[0].v * 256.0f,
            (q[3].u - q[0].u) * 256.0f,
            (q[3].v - q[0].v) * 256.0f,
            q[0].color};
}

inline std::vector<HudQuad> hud_quads()
{
    std::vector<HudQuad> quads;
    for (std::size_t i = 0; i < hud_quad_count(); ++i)
        quads.push_back(hud_quad(i));
    return quads;
}

class HudTest : public TickTest {
protected:
    void SetUp() override
    {
        TickTest::SetUp();
        reset_hud();
        g_hud_alpha = 1.0f;
        g_hud_color = 0xFFFFFFFF;
    }
    void TearDown() override
    {
        reset_hud();
        TickTest::TearDown();
    }
    static void reset_hud()
    {
        hud_gauges_init();
        hud_clear_quads();
        g_show_fps = 0;
    }

    // Draws happen inside the frame's scene, as the renderer calls the layers.
    static void begin_scene() { ASSERT_EQ(g_d3d_device->BeginScene(), D3D_OK); }

    // Builds with `builder` alone and returns its quads.
    template <typename Builder> static std::vector<HudQuad> build(Builder builder)
    {
        hud_clear_quads();
        builder();
        return hud_quads();
    }
};
