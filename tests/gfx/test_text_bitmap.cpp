#include "gfx/text_bitmap.h"

#include "game/g_image_table.h"
#include "gfx/text_bitmap_widths.h"
#include "scenegraph/renderer_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr D3DCOLOR k_white = 0xFFFFFFFF;
constexpr D3DCOLOR k_red = 0xFFFF0000;
constexpr float k_x = 100.0f, k_y = 50.0f;
constexpr float k_pen_x = k_x - 0.5f, k_pen_y = k_y - 0.5f; // where every text's pen starts
constexpr int k_middle_line = 17;
constexpr int k_middle_glyph_height = 16;

// A glyph's quad as laid out: its edges, the glyph it shows and its colour.
struct Quad {
    float x0, y0, x1, y1;
    int glyph;
    D3DCOLOR colour;
};

// Glyph indices of the middle font: character - 33.
constexpr int g_of(char c)
{
    return c - 33;
}

float middle_width(char c)
{
    return FONT_MIDDLE_WIDTHS[g_of(c)];
}

// A quad of the middle font at scale 1 on the first line, from pen x.
Quad at(float pen_x, char c, D3DCOLOR colour = k_white, float line = 0.0f)
{
    const float y0 = k_pen_y + line * k_middle_line;
    return {pen_x, y0, pen_x + middle_width(c), y0 + k_middle_glyph_height, g_of(c), colour};
}

// The pen after a glyph of the middle font: neighbours overlap by two units.
float after(float pen_x, char c)
{
    return pen_x + middle_width(c) - 2.0f;
}

// The quads back from six vertices each; the glyph is found by its texture rectangle.
template <typename Vertex>
std::vector<Quad> quads_of(const Vertex* v, std::uint32_t triangles, const BitmapFont& font)
{
    std::vector<Quad> quads;
    for (std::uint32_t i = 0; i < triangles / 2; ++i, v += 6) {
        int glyph = -1;
        for (int g = 0; g < BITMAP_FONT_GLYPHS; ++g)
            if (font.glyphs[g].u0 == v[0].u && font.glyphs[g].v0 == v[0].v && font.glyphs[g].u1 == v[5].u &&
                font.glyphs[g].v1 == v[5].v)
                glyph = g;
        if constexpr (std::is_same_v<Vertex, ScreenVertex>)
            quads.push_back({v[0].x, v[0].y, v[5].x, v[5].y, glyph, v[0].color});
        else
            quads.push_back({v[0].x, v[0].y, v[5].x, v[5].y, glyph, v[0].diffuse});
    }
    return quads;
}

void expect_quads(const std::vector<Quad>& actual, const std::vector<Quad>& expected)
{
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "glyph " << i);
        EXPECT_FLOAT_EQ(actual[i].x0, expected[i].x0);
        EXPECT_FLOAT_EQ(actual[i].y0, expected[i].y0);
        EXPECT_FLOAT_EQ(actual[i].x1, expected[i].x1);
        EXPECT_FLOAT_EQ(actual[i].y1, expected[i].y1);
        EXPECT_EQ(actual[i].glyph, expected[i].glyph);
        EXPECT_EQ(actual[i].colour, expected[i].colour) << std::hex << actual[i].colour;
    }
}

std::vector<ScreenVertex> layout(const std::string& text, D3DXVECTOR2* size = nullptr, float scale = 1.0f,
                                 bool stretch = false, std::uint32_t* triangles = nullptr)
{
    std::vector<ScreenVertex> vertices(6 * text.size() + 6);
    const std::uint32_t count = text_layout_quads(vertices.data(), text.c_str(), k_x, k_y, k_white,
                                                  g_font_middle, size, stretch, scale);
    vertices.resize(3 * count);
    if (triangles) *triangles = count;
    return vertices;
}

// The fonts built from their tables on a state-only 640x480 device, with textures as images 4-6.
class TextBitmapTest : public RendererTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        make_fonts();
    }
    void TearDown() override
    {
        release_fonts();
        RendererTest::TearDown();
    }

    // The textures belong to the device: a test that starts another one remakes them.
    void restart(UINT width, UINT height)
    {
        release_fonts();
        start(width, height);
        make_fonts();
    }

    void make_fonts()
    {
        for (int i = 0; i < 3; ++i) {
            ASSERT_EQ(
                g_d3d_device->CreateTexture(1, 1, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, &m_textures[i]),
                D3D_OK);
            g_texture_handles[k_first_image + i] = m_textures[i];
        }
        text_build_small_font();
        text_build_large_font();
    }

    void release_fonts()
    {
        for (int i = 0; i < 3; ++i) {
            g_texture_handles[k_first_image + i] = nullptr;
            if (m_textures[i]) m_textures[i]->Release();
            m_textures[i] = nullptr;
        }
        g_font_middle = {};
        g_font_large = {};
    }

    static UINT text_buffer_locks()
    {
        return d3d8_lock_record(*g_renderer_vbs[RVB_SCREEN_TEX].vertices).count;
    }

    static constexpr int k_first_image = 4; // the tiny, middle and large fonts' images
    IDirect3DTexture8* m_textures[3] = {};
};

} // namespace

// One table of texts and the quads they lay out in the middle font at (100, 50), white.
TEST_F(TextBitmapTest, LaysTextsOutWithEscapesBlanksAndLines)
{
    const float p1 = after(k_pen_x, '1');
    const struct {
        const char* name;
        std::string text;
        std::vector<Quad> quads;
    } cases[] = {
        {"digits, then red",
         "12#$FFFF0000!",
         {at(k_pen_x, '1'), at(p1, '2'), at(after(p1, '2'), '!', k_red)}},
        {"back to the call's colour",
         "#$FFFF0000!#$-!",
         {at(k_pen_x, '!', k_red), at(after(k_pen_x, '!'), '!')}},
        {"lower-case digits", "#$ffff0000!", {at(k_pen_x, '!', k_red)}},
        {"above 131 draws '*'", "\x84\xFF", {at(k_pen_x, '*'), at(after(k_pen_x, '*'), '*')}},
        {"two digits, then an ordinary 'x'", "#$12x", {at(k_pen_x, 'x', 0x12)}},
        {"no digit keeps the colour", "#$x", {at(k_pen_x, 'x')}},
        {"seven digits", "#$1234567!", {at(k_pen_x, '!', 0x1234567)}},
        {"kerning left", "1#<32", {at(k_pen_x, '1'), at(p1 - 3.0f, '2')}},
        {"kerning right", "1#>A2", {at(k_pen_x, '1'), at(p1 + 10.0f, '2')}},
        {"kerning without a digit", "1#<x", {at(k_pen_x, '1'), at(p1, 'x')}},
        {"two '#' draw one", "##", {at(k_pen_x, '#')}},
        {"'#' before another character is dropped", "#a", {at(k_pen_x, 'a')}},
        {"'#' at the end", "1#", {at(k_pen_x, '1')}},
        {"'#$' at the end", "1#$", {at(k_pen_x, '1')}},
        {"'#<' at the end", "1#<", {at(k_pen_x, '1')}},
        {"'#>' at the end", "1#>", {at(k_pen_x, '1')}},
        {"colour digits at the end", "1#$FF", {at(k_pen_x, '1')}},
        {"a line feed after '#$' is kept", "#$\n1", {at(k_pen_x, '1', k_white, 1.0f)}},
        {"blank and tab are half a cell",
         "1 2\t3",
         {at(k_pen_x, '1'), at(p1 + 8.0f, '2'), at(p1 + 16.0f + 9.0f, '3')}},
        {"line feed", "1\n2", {at(k_pen_x, '1'), at(k_pen_x, '2', k_white, 1.0f)}},
        {"other controls are skipped",
         "1\x01\x1F"
         "2",
         {at(k_pen_x, '1'), at(p1, '2')}},
        {"the empty text", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::uint32_t triangles = 0;
        const std::vector<ScreenVertex> vertices = layout(c.text, nullptr, 1.0f, false, &triangles);
        EXPECT_EQ(triangles, 2 * c.quads.size());
        expect_quads(quads_of(vertices.data(), triangles, g_font_middle), c.quads);
        for (const ScreenVertex& v : vertices) {
            EXPECT_EQ(v.z, 0.0f);
            EXPECT_EQ(v.rhw, 1.0f);
        }
    }
}

// The size is the widest line and one line height per line; the measure walks the same way at
// scale 1, and an empty text is 0 x 0 both ways.
TEST_F(TextBitmapTest, SizeIsTheWidestLineAndTheLines)
{
    const struct {
        std::string text;
        float width, height;
    } cases[] = {
        {"12", 18.0f, 17.0f}, {"1\n12\n", 18.0f, 51.0f}, {"12\n1", 18.0f, 34.0f},
        {"1 ", 17.0f, 17.0f}, {"1#<5", 4.0f, 17.0f},     {"", 0.0f, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        D3DXVECTOR2 size{-1.0f, -1.0f};
        layout(c.text, &size);
        EXPECT_FLOAT_EQ(size.x, c.width);
        EXPECT_FLOAT_EQ(size.y, c.height);
        float width = -1.0f, height = -1.0f;
        text_measure_large(c.text.c_str(), width, height, g_font_middle);
        EXPECT_FLOAT_EQ(width, c.width);
        EXPECT_FLOAT_EQ(height, c.height);
    }
    float width = -1.0f, height = -1.0f;
    text_measure_large("10", width, height, g_font_large);
    EXPECT_FLOAT_EQ(width, (15.0f - 2.0f) + (10.0f - 2.0f));
    EXPECT_FLOAT_EQ(height, 24.0f);
}

// Scale 2 doubles the quads and the advance but not the kerning; the world form lays out the
// same quads with z 0.
TEST_F(TextBitmapTest, ScaleDoublesQuadsAndAdvancesButNotKerning)
{
    std::uint32_t triangles = 0;
    D3DXVECTOR2 size{};
    const std::vector<ScreenVertex> vertices = layout("12#<1!", &size, 2.0f, false, &triangles);
    const float p1 = k_pen_x + 2.0f * (11.0f - 2.0f);
    const float p2 = p1 + 2.0f * (11.0f - 2.0f) - 1.0f;
    expect_quads(quads_of(vertices.data(), triangles, g_font_middle),
                 {{k_pen_x, k_pen_y, k_pen_x + 22.0f, k_pen_y + 32.0f, g_of('1'), k_white},
                  {p1, k_pen_y, p1 + 22.0f, k_pen_y + 32.0f, g_of('2'), k_white},
                  {p2, k_pen_y, p2 + 14.0f, k_pen_y + 32.0f, g_of('!'), k_white}});
    EXPECT_FLOAT_EQ(size.y, 34.0f);

    std::vector<BatchVertex> world(6 * 6);
    const std::uint32_t world_triangles =
        text_layout_quads(world.data(), "12#<1!", k_x, k_y, k_white, g_font_middle, nullptr, false, 2.0f);
    ASSERT_EQ(world_triangles, triangles);
    expect_quads(quads_of(world.data(), world_triangles, g_font_middle),
                 quads_of(vertices.data(), triangles, g_font_middle));
    for (std::size_t i = 0; i < vertices.size(); ++i) {
        EXPECT_EQ(world[i].z, 0.0f);
        EXPECT_EQ(world[i].u, vertices[i].u);
        EXPECT_EQ(world[i].v, vertices[i].v);
    }
}

// The quoted widths and the glyph rectangles of both fonts: the middle font's cell is the glyph
// + 1 from one texel into the cell, the large font's is the glyph itself.
TEST_F(TextBitmapTest, GlyphRectanglesFollowTheWidthTables)
{
    const int middle_first[] = {7, 11, 12, 11, 15, 16, 6, 8, 8, 10};
    const int large_first[] = {9, 9, 15, 15, 20, 18, 6, 12, 12, 12};
    const int large_digits[] = {15, 10, 13, 14, 14, 14, 14, 14, 14, 13};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(g_font_middle.glyphs[i].advance, middle_first[i]) << i;
        EXPECT_EQ(g_font_large.glyphs[i].advance, large_first[i]) << i;
        EXPECT_EQ(g_font_middle.glyphs[g_of('0') + i].advance, 11.0f) << i;
        EXPECT_EQ(g_font_large.glyphs[g_of('0') + i].advance, large_digits[i]) << i;
    }
    const struct {
        const BitmapFont& font;
        char c;
        BitmapGlyph glyph;
    } cases[] = {
        {g_font_middle, '!', {7, 17 / 256.0f, 0.0f, 24 / 256.0f, 16 / 128.0f}},
        {g_font_middle, '0', {11, 1 / 256.0f, 17 / 128.0f, 12 / 256.0f, 33 / 128.0f}},
        {g_font_middle,
         '/',
         {middle_width('/'), 241 / 256.0f, 0.0f, (241 + middle_width('/')) / 256.0f, 16 / 128.0f}},
        {g_font_large, '!', {9, 0.0f, 0.0f, 9 / 512.0f, 23 / 128.0f}},
        {g_font_large, '0', {15, 360 / 512.0f, 0.0f, 375 / 512.0f, 23 / 128.0f}},
        {g_font_large, '9', {13, 72 / 512.0f, 24 / 128.0f, 85 / 512.0f, 47 / 128.0f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.c);
        const BitmapGlyph& glyph = c.font.glyphs[g_of(c.c)];
        EXPECT_FLOAT_EQ(glyph.advance, c.glyph.advance);
        EXPECT_FLOAT_EQ(glyph.u0, c.glyph.u0);
        EXPECT_FLOAT_EQ(glyph.v0, c.glyph.v0);
        EXPECT_FLOAT_EQ(glyph.u1, c.glyph.u1);
        EXPECT_FLOAT_EQ(glyph.v1, c.glyph.v1);
    }
    EXPECT_EQ(g_font_middle.line_height, 17.0f);
    EXPECT_EQ(g_font_middle.cell_width, 16.0f);
    EXPECT_EQ(g_font_large.line_height, 24.0f);
    EXPECT_EQ(g_font_large.cell_width, 24.0f);
    EXPECT_EQ(g_font_middle.texture, g_texture_handles[5]);
    EXPECT_EQ(g_font_large.texture, g_texture_handles[6]);
}

// On a 1280 x 960 back buffer the quads' edges double when asked, and stay in virtual units
// when not.
TEST_F(TextBitmapTest, StretchesToTheBackBufferWhenAsked)
{
    restart(1280, 960);
    const std::vector<ScreenVertex> plain = layout("1");
    std::uint32_t triangles = 0;
    const std::vector<ScreenVertex> stretched = layout("1", nullptr, 1.0f, true, &triangles);
    expect_quads(quads_of(plain.data(), 2, g_font_middle), {at(k_pen_x, '1')});
    expect_quads(
        quads_of(stretched.data(), triangles, g_font_middle),
        {{2 * k_pen_x, 2 * k_pen_y, 2 * (k_pen_x + 11.0f), 2 * (k_pen_y + 16.0f), g_of('1'), k_white}});

    text_draw_large(k_x, k_y, k_white, g_font_middle, 1.0f, "1");
    ASSERT_EQ(draws().size(), 1u);
    expect_quads(quads_of(drawn_screen_vertices(draws()[0], 6).data(), 2, g_font_middle),
                 quads_of(stretched.data(), 2, g_font_middle));
}

// A draw sets material 65 and the font's texture, uploads to the screen textured buffer and
// draws one triangle list of the laid-out quads.
TEST_F(TextBitmapTest, DrawsAllGlyphsInOneUploadAndOneDraw)
{
    const UINT locks = text_buffer_locks();
    text_draw_large(k_x, k_y, 0x80FFFFFF, g_font_large, 1.0f, "Lv 12#$FFFF0000!");
    ASSERT_EQ(draws().size(), 1u);
    EXPECT_EQ(text_buffer_locks(), locks + 1);
    const D3D8DrawRecord& draw = draws()[0];
    EXPECT_EQ(draw.call.type, D3DPT_TRIANGLELIST);
    EXPECT_FALSE(draw.call.indexed);
    EXPECT_EQ(draw.call.primitive_count, 10u);
    EXPECT_EQ(g_current_material, 65u);
    EXPECT_EQ(draw.state.textures[0], g_texture_handles[6]);
    EXPECT_EQ(draw.state.vertex_shader, static_cast<DWORD>(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1));
    EXPECT_EQ(draw.state.streams[0].buffer, g_renderer_vbs[RVB_SCREEN_TEX].vertices);
    std::vector<ScreenVertex> expected(6 * 16);
    ASSERT_EQ(text_layout_quads(expected.data(), "Lv 12#$FFFF0000!", k_x, k_y, 0x80FFFFFF, g_font_large,
                                nullptr, true, 1.0f),
              10u);
    const std::vector<ScreenVertex> drawn = drawn_screen_vertices(draw, 30);
    EXPECT_EQ(std::memcmp(drawn.data(), expected.data(), sizeof(ScreenVertex) * 30), 0);

    text_draw_large(k_x, k_y, k_white, g_font_large, 1.0f, "");
    EXPECT_EQ(draws().size(), 1u) << "an empty text draws nothing";
}

// 200 glyphs go out 85 at a time, the most the shared buffer takes: three uploads and three draws,
// all laid out in the module's scratch vertices, and the last glyph where one long layout puts it.
TEST_F(TextBitmapTest, ALongTextIsDrawnWholeInTheFewestUploads)
{
    const std::string text(200, '1');
    const UINT locks = text_buffer_locks();
    text_draw_large(0.0f, 0.0f, k_white, g_font_middle, 1.0f, text.c_str());
    ASSERT_EQ(draws().size(), 3u);
    EXPECT_EQ(text_buffer_locks(), locks + 3);
    EXPECT_EQ(draws()[0].call.primitive_count, 170u);
    EXPECT_EQ(draws()[1].call.primitive_count, 170u);
    EXPECT_EQ(draws()[2].call.primitive_count, 60u);

    std::vector<ScreenVertex> whole(6 * text.size());
    ASSERT_EQ(text_layout_quads(whole.data(), text.c_str(), 0.0f, 0.0f, k_white, g_font_middle, nullptr, true,
                                1.0f),
              400u);
    const std::vector<ScreenVertex> last = drawn_screen_vertices(draws()[2], 180);
    EXPECT_EQ(std::memcmp(last.data(), &whole[6 * 170], sizeof(ScreenVertex) * 180), 0);
    EXPECT_EQ(std::memcmp(last.data(), g_text_scratch, sizeof(ScreenVertex) * 180), 0)
        << "the glyphs were laid out in the scratch vertices";

    const ScreenVertex* scratch = g_text_scratch;
    text_draw_small("12", 0.0f, 0.0f, k_white);
    ASSERT_EQ(draws().size(), 4u);
    EXPECT_EQ(g_text_scratch, scratch);
    EXPECT_EQ(std::memcmp(drawn_screen_vertices(draws()[3], 12).data(), scratch, sizeof(ScreenVertex) * 12),
              0)
        << "the tiny font reuses the same scratch";
}

// The tiny font: 0x9F selects the alternate set for the high bytes and 0x9E the normal one again,
// each call starting normal; quads are one unit wider than the width and 12 high; the pen
// advances by the width.
TEST_F(TextBitmapTest, TinyFontSwitchesSetsAndOverlapsByOne)
{
    const auto tiny_quad = [](float pen_x, int glyph, float line = 0.0f) {
        const float w = FONT_TINY_WIDTHS[glyph];
        const float y0 = k_pen_y + 12.0f * line;
        return Quad{pen_x, y0, pen_x + w + 1.0f, y0 + 12.0f, glyph, k_red};
    };
    const int a = 'A' - 32, b = 'B' - 32, kana = 0xB1 + 64;
    const struct {
        std::string text;
        std::vector<Quad> quads;
    } cases[] = {
        {"\x9F\xA0", {tiny_quad(k_pen_x, 128)}},
        {"\xA0", {tiny_quad(k_pen_x, 224)}},
        {"\x9F\xA0\x9E\xA0", {tiny_quad(k_pen_x, 128), tiny_quad(k_pen_x + FONT_TINY_WIDTHS[128], 224)}},
        {"AB", {tiny_quad(k_pen_x, a), tiny_quad(k_pen_x + FONT_TINY_WIDTHS[a], b)}},
        {"A B\nA\t\x01\xB1",
         {tiny_quad(k_pen_x, a), tiny_quad(k_pen_x + FONT_TINY_WIDTHS[a] + 5.0f, b),
          tiny_quad(k_pen_x, a, 1.0f), tiny_quad(k_pen_x + FONT_TINY_WIDTHS[a] + 5.0f, kana, 1.0f)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << &c - cases);
        d3d8_seam_log_draws(true);
        text_draw_small(c.text.c_str(), k_x, k_y, k_red);
        ASSERT_EQ(draws().size(), 1u);
        const D3D8DrawRecord& draw = draws()[0];
        EXPECT_EQ(draw.state.textures[0], g_texture_handles[4]);
        EXPECT_EQ(draw.call.primitive_count, 2 * c.quads.size());
        const std::vector<ScreenVertex> vertices = drawn_screen_vertices(draw, 6 * c.quads.size());
        std::vector<Quad> quads;
        for (std::size_t i = 0; i < c.quads.size(); ++i) {
            const ScreenVertex* v = &vertices[6 * i];
            const int glyph = c.quads[i].glyph;
            EXPECT_FLOAT_EQ(v[0].u, glyph % 16 * 8 / 128.0f);
            EXPECT_FLOAT_EQ(v[0].v, glyph / 16 * 12 / 256.0f);
            EXPECT_FLOAT_EQ(v[5].u, (glyph % 16 * 8 + FONT_TINY_WIDTHS[glyph] + 1) / 128.0f);
            EXPECT_FLOAT_EQ(v[5].v, (glyph / 16 * 12 + 12) / 256.0f);
            quads.push_back({v[0].x, v[0].y, v[5].x, v[5].y, glyph, v[0].color});
        }
        expect_quads(quads, c.quads);
    }
    d3d8_seam_log_draws(true);
    text_draw_small("", k_x, k_y, k_red);
    EXPECT_TRUE(draws().empty());
}

TEST_F(TextBitmapTest, TinyMeasureIsTheWidestLineAndTwelvePerLine)
{
    const float a = FONT_TINY_WIDTHS['A' - 32];
    const struct {
        std::string text;
        float width, height;
    } cases[] = {
        {"", 0.0f, 0.0f},
        {"A", a, 12.0f},
        {"A A\nA", 2 * a + 5.0f, 24.0f},
        {"A\nA A\n", 2 * a + 5.0f, 36.0f},
        {"\x9F\xA0\x9E", FONT_TINY_WIDTHS[128], 12.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        float width = -1.0f, height = -1.0f;
        text_measure_small(c.text.c_str(), width, height);
        EXPECT_FLOAT_EQ(width, c.width);
        EXPECT_FLOAT_EQ(height, c.height);
    }
}

// The parser alone: what it consumes and where it leaves the cursor.
TEST(TextParseEscape, ConsumesEscapesAndNeverReadsPastTheEnd)
{
    const struct {
        const char* text;
        bool consumed;
        std::ptrdiff_t cursor_moved;
        D3DCOLOR colour;
        float pen_x;
    } cases[] = {
        {"a", false, 0, 1, 0.0f},    {"#$FF00FF00x", true, 10, 0xFF00FF00, 0.0f},
        {"#$-x", true, 3, 7, 0.0f},  {"#$F", false, 3, 0xF, 0.0f},
        {"#$", false, 2, 1, 0.0f},   {"#$\n", false, 2, 1, 0.0f},
        {"#<f", true, 3, 1, -15.0f}, {"#>9", true, 3, 1, 9.0f},
        {"#<", false, 2, 1, 0.0f},   {"#", false, 1, 1, 0.0f},
        {"##", false, 1, 1, 0.0f},   {"#$FF00FF00FF", true, 10, 0xFF00FF00, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const char* cursor = c.text;
        D3DCOLOR colour = 1;
        float pen_x = 0.0f;
        EXPECT_EQ(text_parse_escape(cursor, colour, pen_x, 7), c.consumed);
        EXPECT_EQ(cursor - c.text, c.cursor_moved);
        EXPECT_EQ(colour, c.colour);
        EXPECT_EQ(pen_x, c.pen_x);
    }
}
