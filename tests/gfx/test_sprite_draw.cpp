#include "gfx/sprite.h"

#include "game/g_settings.h"
#include "game/game_font_fixture.h"
#include "platform/impl/gdi_font_seams.h"
#include "scenegraph/renderer_fixture.h"
#include "thrown_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD k_sprite_fvf = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;

// The renderer of a chosen back-buffer size with the game font made on the synthetic font, a
// texture for the quads, and the menu text surface released after each test.
class SpriteDrawTest : public RendererTest {
protected:
    void SetUp() override
    {
        seam_font_use_synthetic(true);
        RendererTest::SetUp();
        make_texture();
        game_font_start();
    }

    void TearDown() override
    {
        sprite_font_dc_release(g_menu_text_surface);
        game_font_stop();
        release_texture();
        RendererTest::TearDown();
        seam_font_use_synthetic(false);
        g_high_reso_text = 0;
    }

    void restart(UINT width, UINT height)
    {
        sprite_font_dc_release(g_menu_text_surface);
        glyph_cache_shutdown();
        release_texture();
        start(width, height);
        make_texture();
        ASSERT_EQ(glyph_cache_start(width, height), S_OK);
    }

    void make_texture()
    {
        ASSERT_EQ(g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_texture),
                  D3D_OK);
    }
    void release_texture()
    {
        if (m_texture) m_texture->Release();
        m_texture = nullptr;
    }

    // The four vertices of the only draw, which must be a sprite quad.
    static std::vector<SpriteVertex> only_quad()
    {
        EXPECT_EQ(draws().size(), 1u);
        if (draws().size() != 1) return std::vector<SpriteVertex>(4);
        const D3D8DrawRecord& draw = draws()[0];
        EXPECT_EQ(draw.call.type, D3DPT_TRIANGLESTRIP);
        EXPECT_EQ(draw.call.primitive_count, 2u);
        EXPECT_EQ(draw.state.vertex_shader, k_sprite_fvf);
        EXPECT_EQ(draw.state.streams[0].stride, sizeof(SpriteVertex));
        std::vector<SpriteVertex> vertices(4);
        std::memcpy(vertices.data(),
                    d3d8_buffer_data(*draw.state.streams[0].buffer) + draw.call.start * sizeof(SpriteVertex),
                    sizeof(SpriteVertex) * vertices.size());
        return vertices;
    }

    IDirect3DTexture8* m_texture = nullptr;
};

// The A4R4G4B4 pixels of the menu text surface that hold ink.
std::vector<std::uint16_t> text_ink()
{
    const TextSurface& surface = g_menu_text_surface;
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(surface.texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::vector<std::uint16_t> ink;
    for (int y = 0; y < surface.height; ++y)
        for (int x = 0; x < surface.width; ++x) {
            std::uint16_t pixel;
            std::memcpy(&pixel, static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch + x * 2, 2);
            if (pixel) ink.push_back(pixel);
        }
    surface.texture->UnlockRect(0);
    return ink;
}

// The bounds of six vertices of a text_draw quad, all of one colour.
struct QuadBounds {
    float left, top, right, bottom;
    D3DCOLOR color;
};
QuadBounds bounds_of(const ScreenVertex* v)
{
    QuadBounds b{v[0].x, v[0].y, v[0].x, v[0].y, v[0].color};
    for (int i = 1; i < 6; ++i) {
        b.left = std::min(b.left, v[i].x);
        b.top = std::min(b.top, v[i].y);
        b.right = std::max(b.right, v[i].x);
        b.bottom = std::max(b.bottom, v[i].y);
        EXPECT_EQ(v[i].color, b.color);
    }
    return b;
}

} // namespace

// Top-left, bottom-left, top-right, bottom-right on pixel centres, each with its corner of the
// texture rectangle, the colour and the added colour; the back buffer scales the places only.
TEST_F(SpriteDrawTest, QuadIsAStripOfFourCornersScaledToTheBackBuffer)
{
    for (UINT scale : {1u, 2u}) {
        SCOPED_TRACE(testing::Message() << "scale " << scale);
        if (scale == 2) restart(1280, 960);
        SpriteRect rect;
        sprite_rect_init(rect);
        sprite_rect_set(rect, 100.0f, 50.0f, 64.0f, 32.0f);
        rect.u0 = 0.25f;
        rect.v0 = 0.5f;
        rect.u1 = 0.75f;
        rect.v1 = 1.0f;
        rect.color = 0x80FF8040;
        rect.second_color = 0x00202020;
        rect.texture = m_texture;
        rect.material = 0x24041;
        d3d8_seam_log_draws(true);
        sprite_rect_draw(rect);

        const std::vector<SpriteVertex> v = only_quad();
        const auto s = static_cast<float>(scale);
        const struct {
            float x, y, u, v;
        } corners[] = {
            {99.5f, 49.5f, 0.25f, 0.5f},
            {99.5f, 81.5f, 0.25f, 1.0f},
            {163.5f, 49.5f, 0.75f, 0.5f},
            {163.5f, 81.5f, 0.75f, 1.0f},
        };
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(testing::Message() << "vertex " << i);
            EXPECT_FLOAT_EQ(v[i].x, corners[i].x * s);
            EXPECT_FLOAT_EQ(v[i].y, corners[i].y * s);
            EXPECT_EQ(v[i].z, 0.0f);
            EXPECT_EQ(v[i].rhw, 1.0f);
            EXPECT_EQ(v[i].diffuse, 0x80FF8040u);
            EXPECT_EQ(v[i].specular, 0x00202020u);
            EXPECT_EQ(v[i].u, corners[i].u);
            EXPECT_EQ(v[i].v, corners[i].v);
        }
        EXPECT_EQ(draws()[0].state.textures[0], m_texture);
        EXPECT_EQ(g_current_material, 0x24041u);
    }
}

TEST_F(SpriteDrawTest, FreshRectDrawsOutsideTheVirtualScreen)
{
    SpriteRect rect;
    sprite_rect_init(rect);
    sprite_rect_draw(rect);
    for (const SpriteVertex& v : only_quad()) {
        EXPECT_GE(v.x, 1279.5f);
        EXPECT_GE(v.y, 959.5f);
    }
    EXPECT_EQ(draws()[0].state.textures[0], nullptr) << "untextured";
    EXPECT_EQ(g_current_material, 1u);
}

// A second rect of the same material and texture reaches the device with its vertices and its
// draw alone.
TEST_F(SpriteDrawTest, UnchangedMaterialAndTextureAreNotSetAgain)
{
    SpriteRect rect;
    sprite_rect_init(rect);
    rect.texture = m_texture;
    rect.material = 0x24041;
    sprite_rect_draw(rect);
    const D3DCallCounts before = d3d8_call_counts(*g_d3d_device);
    sprite_rect_set(rect, 10.0f, 10.0f, 20.0f, 20.0f);
    sprite_rect_draw(rect);
    const D3DCallCounts& after = d3d8_call_counts(*g_d3d_device);
    EXPECT_EQ(after.render_states, before.render_states);
    EXPECT_EQ(after.stage_states, before.stage_states);
    EXPECT_EQ(after.textures, before.textures);
    EXPECT_EQ(after.draws, before.draws + 1);
}

// A text rect renders its request into the menu text surface and draws that at its place with
// the shadow: the text in the rect's colour, the shadow black under the same alpha. No quad is
// drawn.
TEST_F(SpriteDrawTest, TextModeDrawsTheTextSurfaceInTheRectColourWithItsShadow)
{
    sprite_create_font_buffer();
    SpriteRect rect;
    sprite_rect_init(rect);
    sprite_rect_set(rect, 100.0f, 200.0f, 300.0f, 40.0f);
    rect.color = 0xC0FFFF00;
    rect.texture = m_texture;
    text_window_start(rect, 0xFF00FF00, "AB");

    EXPECT_EQ(rect.text_mode, 1);
    EXPECT_STREQ(rect.text.text, "AB");
    EXPECT_EQ(rect.text.color, 0xFF00FF00u);
    EXPECT_EQ(rect.text.line_spacing, 4);
    ASSERT_EQ(rect.text.font_count, 2);
    EXPECT_EQ(rect.text.fonts[0], g_game_font);
    EXPECT_EQ(rect.text.fonts[1], g_game_font);
    EXPECT_EQ(rect.text.visible, 0x7FFF0000);
    EXPECT_EQ(rect.text.clear, 1);

    sprite_rect_draw(rect);
    ASSERT_EQ(draws().size(), 1u);
    const D3D8DrawRecord& draw = draws()[0];
    EXPECT_EQ(draw.call.type, D3DPT_TRIANGLELIST);
    EXPECT_EQ(draw.state.textures[0], g_menu_text_surface.texture);
    const std::vector<ScreenVertex> v = drawn_screen_vertices(draw, 12);
    const QuadBounds shadow = bounds_of(&v[0]);
    const QuadBounds text = bounds_of(&v[6]);
    EXPECT_EQ(text.color, 0xC0FFFF00u);
    EXPECT_EQ(shadow.color, 0xC0000000u);
    // Handed (99.5, 199.5), size (300, 40) and offset (1, 1), text_draw puts the text one unit
    // down and the shadow one unit left and below that.
    EXPECT_FLOAT_EQ(text.left, 99.5f);
    EXPECT_FLOAT_EQ(text.top, 200.5f);
    EXPECT_FLOAT_EQ(text.right, 399.5f);
    EXPECT_FLOAT_EQ(text.bottom, 240.5f);
    EXPECT_FLOAT_EQ(shadow.left, 98.5f);
    EXPECT_FLOAT_EQ(shadow.top, 201.5f);

    EXPECT_EQ(rect.text.counted, 1) << "rendered to the end";
    const std::vector<std::uint16_t> ink = text_ink();
    ASSERT_FALSE(ink.empty());
    for (std::uint16_t pixel : ink)
        ASSERT_EQ(pixel & 0x0FFF, 0x00F0) << "the text's own colour";
}

// 384 x 90 units: at 640x480 a 512 x 128 texture; with "HighResoText" at 1280x960 the size is
// doubled first.
TEST_F(SpriteDrawTest, FontBufferIs384By90ScaledWithHighResoText)
{
    const struct {
        UINT width, height;
        std::uint8_t high_reso;
        std::int32_t texture_width, texture_height;
    } cases[] = {
        {640, 480, 0, 512, 128},
        {1280, 960, 0, 512, 128},
        {1280, 960, 1, 1024, 256},
        {640, 480, 1, 512, 128},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.width << "x" << c.height << " HighResoText " << int(c.high_reso));
        restart(c.width, c.height);
        g_high_reso_text = c.high_reso;
        sprite_create_font_buffer();
        ASSERT_NE(g_menu_text_surface.texture, nullptr);
        EXPECT_EQ(g_menu_text_surface.width, c.texture_width);
        EXPECT_EQ(g_menu_text_surface.height, c.texture_height);
        EXPECT_EQ(g_menu_text_surface.scaled, c.high_reso);
        EXPECT_EQ(g_menu_text_surface.default_font, g_game_font);
    }
    // Made again, the old surface is given back first: the fixture's end counts what the
    // device still holds.
    sprite_create_font_buffer();
    sprite_font_dc_release(g_menu_text_surface);
    EXPECT_EQ(g_menu_text_surface.texture, nullptr);
    EXPECT_EQ(g_menu_text_surface.dc, nullptr);
}

TEST_F(SpriteDrawTest, FontBufferFailureThrowsTheCodeWithItsText)
{
    d3d8_seam_fail(D3D8Call::CreateTexture, E_OUTOFMEMORY);
    char expected[ERR_DETAIL_SIZE];
    err_hresult_text(E_OUTOFMEMORY, "Font buffer generation failed.", expected, sizeof expected);
    const std::string text = thrown_text(sprite_create_font_buffer);
    EXPECT_EQ(text.rfind(std::string(expected) + "\nsprite.cpp(", 0), 0u) << text;
    EXPECT_EQ(g_menu_text_surface.texture, nullptr);
}
