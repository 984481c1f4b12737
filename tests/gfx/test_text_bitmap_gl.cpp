#include "gfx/text_bitmap.h"
#include "gfx/text_bitmap_widths.h"

#include "game/g_image_table.h"
#include "gl_device_fixture.h"
#include "lib/font_image_writer.h"
#include "platform/d3dx8_tex.h"
#include "scenegraph/renderer_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace {

constexpr UINT k_width = 640, k_height = 480;
constexpr int k_first_image = 4; // the tiny, middle and large fonts' images
constexpr DWORD k_red = 0xFFFF0000, k_green = 0xFF00FF00, k_blue = 0xFF0000FF;

// The renderer on a 640 x 480 device with the OpenGL backend and the three fonts' block-mode
// images as images 4-6, loaded from their files: every glyph's quad samples opaque white only.
class TextBitmapPixelTest : public RendererTest {
protected:
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(start_gl(k_width, k_height));
        if (IsSkipped()) return;
        const FontImage fonts[] = {FontImage::Tiny, FontImage::Middle, FontImage::Large};
        for (int i = 0; i < 3; ++i) {
            const std::vector<std::uint8_t> file = font_image_build(fonts[i], FontImageMode::Blocks);
            ASSERT_EQ(D3DXCreateTextureFromFileInMemoryEx(g_d3d_device, file.data(),
                                                          static_cast<UINT>(file.size()), 0, 0, 1, 0,
                                                          D3DFMT_UNKNOWN, D3DPOOL_MANAGED, D3DX_DEFAULT,
                                                          D3DX_DEFAULT, 0, nullptr, nullptr, &m_textures[i]),
                      D3D_OK);
            g_texture_handles[k_first_image + i] = m_textures[i];
        }
        text_build_small_font();
        text_build_large_font();
    }
    void TearDown() override
    {
        for (int i = 0; i < 3; ++i) {
            g_texture_handles[k_first_image + i] = nullptr;
            if (m_textures[i]) m_textures[i]->Release();
        }
        g_font_middle = {};
        g_font_large = {};
        RendererTest::TearDown();
    }

    static DWORD at(const std::vector<DWORD>& pixels, float x, float y)
    {
        const auto px = static_cast<UINT>(std::floor(x)), py = static_cast<UINT>(std::floor(y));
        EXPECT_LT(px, k_width);
        EXPECT_LT(py, k_height);
        return pixels[std::min(py, k_height - 1) * k_width + std::min(px, k_width - 1)] | 0xFF000000;
    }

    // Every glyph's quad shows the text's colour at its centre.
    static void expect_ink(const std::vector<DWORD>& pixels, const std::vector<ScreenVertex>& vertices,
                           std::uint32_t triangles, DWORD colour)
    {
        for (std::uint32_t glyph = 0; glyph < triangles / 2; ++glyph) {
            const ScreenVertex& tl = vertices[6 * glyph];
            const ScreenVertex& br = vertices[6 * glyph + 5];
            EXPECT_TRUE(near_color(at(pixels, (tl.x + br.x) / 2.0f, (tl.y + br.y) / 2.0f), colour, 8))
                << "glyph " << glyph;
        }
    }

    IDirect3DTexture8* m_textures[3] = {};
};

} // namespace

// A middle-font line in red, a large-font line in green at scale 2 and a tiny-font line in blue:
// each glyph's ink lies in its quad, the blanks and the frame around stay black.
TEST_F(TextBitmapPixelTest, EachGlyphLeavesItsInkInItsQuad)
{
    const std::string middle = "Score 1234";
    const std::string large = "Lv#>499";
    renderer_reset_frame_state();
    renderer_begin_frame(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    text_draw_large(40.0f, 40.0f, k_red, g_font_middle, 1.0f, middle.c_str());
    text_draw_large(40.0f, 100.0f, k_green, g_font_large, 2.0f, large.c_str());
    text_draw_small("HP 99\n\x9E\xB1", 40.0f, 200.0f, k_blue);
    const std::vector<DWORD> pixels = back_buffer_pixels(*g_d3d_device, k_width, k_height);

    std::vector<ScreenVertex> vertices(6 * middle.size());
    std::uint32_t triangles = text_layout_quads(vertices.data(), middle.c_str(), 40.0f, 40.0f, k_red,
                                                g_font_middle, nullptr, true, 1.0f);
    ASSERT_EQ(triangles, 18u);
    expect_ink(pixels, vertices, triangles, k_red);
    // The blank between "Score" and "1234" lies 3 units past the 'e' quad's end.
    EXPECT_EQ(at(pixels, vertices[6 * 4 + 5].x + 3.0f, 48.0f), 0xFF000000u);

    triangles = text_layout_quads(vertices.data(), large.c_str(), 40.0f, 100.0f, k_green, g_font_large,
                                  nullptr, true, 2.0f);
    ASSERT_EQ(triangles, 8u);
    expect_ink(pixels, vertices, triangles, k_green);

    // The tiny font: 'H' at the pen, the half-width katakana on the second line.
    const float h_width = FONT_TINY_WIDTHS['H' - 32];
    EXPECT_TRUE(near_color(at(pixels, 39.5f + (h_width + 1.0f) / 2.0f, 205.5f), k_blue, 8));
    EXPECT_TRUE(
        near_color(at(pixels, 39.5f + (FONT_TINY_WIDTHS[0xB1 + 64] + 1.0f) / 2.0f, 217.5f), k_blue, 8));

    EXPECT_EQ(at(pixels, 320.0f, 400.0f), 0xFF000000u);
    EXPECT_EQ(at(pixels, 45.0f, 30.0f), 0xFF000000u) << "above the first line";
}
