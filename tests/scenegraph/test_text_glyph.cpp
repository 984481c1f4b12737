#include "scenegraph/text_glyph.h"

#include "platform/impl/d3d8_seams.h"
#include "platform/impl/gdi_font_seams.h"
#include "renderer_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

constexpr std::uint16_t k_white = 0xFFFF;
constexpr std::int32_t k_everything = 0x7FFF0000;

HFONT make_font(int height, const char* face = "MS PGothic")
{
    return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_TT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, VARIABLE_PITCH | FF_MODERN, face);
}

MAT2 scale_matrix(std::int32_t sx, std::int32_t sy)
{
    MAT2 m{};
    m.eM11.value = static_cast<short>(sx);
    m.eM22.value = static_cast<short>(sy);
    return m;
}

// The renderer on a device of a chosen back-buffer size with the glyph cache started for it,
// and text surfaces with fonts of the synthetic font (cell height 20: ascent 15, single-byte
// glyphs 8 x 15 at x + 1 advancing 10, double-byte 18 x 18 advancing 20).
class TextGlyphTest : public RendererTest {
protected:
    void SetUp() override
    {
        seam_font_use_synthetic(true);
        m_font = make_font(20);
        RendererTest::SetUp();
        ASSERT_EQ(glyph_cache_start(640, 480), S_OK);
    }

    void TearDown() override
    {
        release_surfaces();
        glyph_cache_shutdown();
        RendererTest::TearDown();
        DeleteObject(m_font);
        seam_font_use_synthetic(false);
        seam_font_fail_bitmap(0);
    }

    // A new device and glyph cache at this back-buffer size; the surfaces so far are released.
    void restart(UINT width, UINT height)
    {
        release_surfaces();
        start(width, height);
        ASSERT_EQ(glyph_cache_start(width, height), S_OK);
    }

    void release_surfaces()
    {
        for (TextSurface& surface : m_surfaces)
            text_release_surface(surface);
    }

    TextSurface& surface(std::int32_t width = 128, std::int32_t height = 64, bool scaled = false,
                         HFONT font = nullptr)
    {
        m_surfaces.emplace_back();
        EXPECT_EQ(text_create_surface(scaled, width, m_surfaces.back(), font ? font : m_font, height), S_OK);
        return m_surfaces.back();
    }

    static TextRequest request(const char* text, std::uint32_t color = 0xFFFFFFFF,
                               std::int32_t visible = k_everything)
    {
        TextRequest r;
        r.text = text;
        r.color = color;
        r.visible = visible;
        r.clear = 1;
        return r;
    }

    static std::uint16_t pixel(TextSurface& surface, int x, int y)
    {
        D3DLOCKED_RECT locked{};
        EXPECT_EQ(surface.texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
        std::uint16_t value;
        std::memcpy(&value, static_cast<const std::uint8_t*>(locked.pBits) + y * locked.Pitch + x * 2, 2);
        surface.texture->UnlockRect(0);
        return value;
    }

    // The first column from `from` on in which row `y` has ink, or -1.
    static int first_ink(TextSurface& surface, int y, int from = 0)
    {
        for (int x = from; x < surface.width; ++x)
            if (pixel(surface, x, y)) return x;
        return -1;
    }

    // The first row from `from` on in which column `x` has ink, or -1.
    static int first_ink_row(TextSurface& surface, int x, int from = 0)
    {
        for (int y = from; y < surface.height; ++y)
            if (pixel(surface, x, y)) return y;
        return -1;
    }

    HFONT m_font = nullptr;
    std::deque<TextSurface> m_surfaces;
};

} // namespace

// ---- Surfaces ---------------------------------------------------------------------------------

TEST_F(TextGlyphTest, SurfaceSizesArePowersOfTwoScaledFromTheVirtualScreen)
{
    TextSurface& plain = surface(512, 30);
    EXPECT_EQ(plain.width, 512);
    EXPECT_EQ(plain.height, 32);
    EXPECT_EQ(plain.bounds.right, 512);
    EXPECT_EQ(plain.bounds.bottom, 32);
    D3DSURFACE_DESC desc{};
    plain.texture->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Format, D3DFMT_A4R4G4B4);
    EXPECT_EQ(desc.Pool, D3DPOOL_MANAGED);
    EXPECT_EQ(plain.texture->GetLevelCount(), 1u);

    restart(1280, 960);
    TextSurface& scaled = surface(512, 30, true);
    EXPECT_EQ(scaled.width, 1024);
    EXPECT_EQ(scaled.height, 64);
    EXPECT_EQ(scaled.scaled, 1);

    d3d8_seam_fail(D3D8Call::CreateTexture, D3DERR_OUTOFVIDEOMEMORY);
    TextSurface failed;
    EXPECT_EQ(text_create_surface(false, 64, failed, m_font, 16), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(failed.texture, nullptr);
}

// ---- The reveal -------------------------------------------------------------------------------

TEST_F(TextGlyphTest, RevealDrawsWholeGlyphsAndFadesTheNextIn)
{
    TextSurface& s = surface();
    TextRequest r = request("ABCDE", 0xFFFFFFFF, 0x28000);
    text_render(s, r);
    EXPECT_EQ(pixel(s, 1, 0), k_white);
    EXPECT_EQ(pixel(s, 11, 14), k_white);
    EXPECT_EQ(pixel(s, 21, 7), 0x7FFF); // alpha 15 x 0.5
    EXPECT_EQ(pixel(s, 31, 7), 0);
    EXPECT_EQ(pixel(s, 41, 7), 0);
    EXPECT_EQ(s.last_full_glyph, 1);
    EXPECT_EQ(r.counted, 0);
    EXPECT_EQ(r.width, 30);
}

TEST_F(TextGlyphTest, DoneFlagWhenEveryCountedGlyphShowsOrTheRevealStopsOnTheLastCharacter)
{
    struct Case {
        const char* text;
        std::int32_t visible;
        int done;
    } cases[] = {
        {"ABC", 0x30000, 1},          // every glyph fully drawn
        {"ABC", 0x20000, 0},          // the third only at the reveal's edge
        {"ABC", 0x2C000, 0},          // the third still fading in
        {"ABCD", 0x28000, 1},         // stopped on the last character
        {"ABCDE", 0x28000, 0},        // stopped before its end
        {"", 0, 1},                   // nothing to show
        {"A<ruby:0,0>b", 0x10000, 1}, // ruby does not count
    };
    TextSurface& s = surface();
    for (const Case& c : cases) {
        TextRequest r = request(c.text, 0xFFFFFFFF, c.visible);
        text_render(s, r);
        EXPECT_EQ(r.counted, c.done) << c.text << " " << std::hex << c.visible;
        EXPECT_EQ(s.done, c.done) << c.text;
    }
    TextRequest kept = request("ABCDE", 0xFFFFFFFF, 0x10000);
    kept.counted = 1;
    text_render(s, kept);
    EXPECT_EQ(kept.counted, 1) << "the render never clears the flag";
}

// ---- Markup -----------------------------------------------------------------------------------

TEST_F(TextGlyphTest, ColourTagsSetTheColourAndABareTagReturnsToTheDefault)
{
    TextSurface& s = surface();
    TextRequest r = request("<color:0xFFFF0000>A<color>B", 0xFF00FF00);
    text_render(s, r);
    EXPECT_EQ(pixel(s, 1, 0), 0xFF00);
    EXPECT_EQ(pixel(s, 11, 0), 0xF0F0);
}

TEST_F(TextGlyphTest, ScaleTagTakesWholeFactorsOrFixedPoint)
{
    TextSurface& s = surface();
    TextRequest doubled = request("<scale:2>AB");
    doubled.y_offset = 20;
    text_render(s, doubled);
    // 16 x 30 at x 2, its top at ascent 15 + 20 - 30.
    EXPECT_EQ(first_ink(s, 5), 2);
    EXPECT_EQ(first_ink_row(s, 2), 5);
    EXPECT_EQ(pixel(s, 17, 34), k_white);
    EXPECT_EQ(pixel(s, 18, 20), 0);
    EXPECT_EQ(first_ink(s, 20, 18), 22); // B after an advance of 20
    EXPECT_EQ(doubled.width, 40);

    TextRequest half_again = request("<scale:98304>AB");
    half_again.y_offset = 10;
    text_render(s, half_again);
    // x from 1.5 to 13.5: the edge columns half covered.
    EXPECT_EQ(pixel(s, 1, 12), 0x7FFF);
    EXPECT_EQ(pixel(s, 2, 12), k_white);
    EXPECT_EQ(pixel(s, 13, 12), 0x7FFF);
    EXPECT_EQ(pixel(s, 14, 12), 0);
    EXPECT_EQ(half_again.width, 30);
}

TEST_F(TextGlyphTest, RubyIsHalfScaleUncountedAboveTheLastGlyphAndThePenReturns)
{
    TextSurface& s = surface();
    const char* text = "\n\nAB<ruby:0,-20>xy<endruby>C";
    TextRequest measured = request(text);
    text_measure(s, measured);
    EXPECT_EQ(measured.counted, 0x30000);

    TextRequest r = request(text);
    text_render(s, r);
    // B's left edge is 11 and its line top 40 - 20; the ruby pen starts at (11, 20 - 19).
    // The half-scale glyph spans x 0.5 .. 4.5 and 7.5 rows above its baseline at 15 + 1.
    EXPECT_EQ(first_ink(s, 10), 11);
    EXPECT_EQ(pixel(s, 11, 10), 0x7FFF);
    EXPECT_EQ(pixel(s, 12, 10), k_white);
    EXPECT_EQ(first_ink_row(s, 12), 8);
    EXPECT_EQ(first_ink(s, 10, 16), 16); // the second ruby glyph, 5 further on
    EXPECT_EQ(first_ink(s, 40), 1);
    EXPECT_EQ(first_ink(s, 40, 20), 21) << "C where the ruby began";
}

TEST_F(TextGlyphTest, RubyBeforeAnyGlyphHangsFromTheOrigin)
{
    // No glyph yet: the last glyph counts as one at (0, 0), wherever the pen is. The ruby pen
    // starts at (20, 9 + 1); its half-scale glyph spans x 20.5 .. 24.5 and rows 17.5 .. 25.
    struct Case {
        const char* text;
        int a_column; // where A, after the ruby, starts
        int a_top;
    } cases[] = {
        {"<ruby:20,9>x<endruby>A", 1, 0},
        {"\n<x:40><ruby:20,9>x<endruby>A", 41, 20},
    };
    TextSurface& s = surface();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TextRequest measured = request(c.text);
        text_measure(s, measured);
        EXPECT_EQ(measured.counted, 0x10000);

        TextRequest r = request(c.text);
        text_render(s, r);
        EXPECT_EQ(first_ink(s, 20), 20);
        EXPECT_EQ(pixel(s, 20, 20), 0x7FFF);
        EXPECT_EQ(pixel(s, 21, 20), k_white);
        EXPECT_EQ(pixel(s, 24, 20), 0x7FFF);
        EXPECT_EQ(pixel(s, 25, 20), 0);
        EXPECT_EQ(first_ink_row(s, 22), 17);
        EXPECT_EQ(first_ink(s, c.a_top + 12), c.a_column) << "A where the ruby began";
    }
}

TEST_F(TextGlyphTest, BlanksAdvanceByTheSpaceAndIndentTenAtALineStart)
{
    struct Case {
        const char* text;
        int row;
        int ink;
    } cases[] = {
        {" A", 0, 11},
        {"\tA", 0, 11},
        {"\n A", 20, 11},
        {"A B", 0, 16},
        {"\x81\x40"
         "A",
         0, 21},
    };
    TextSurface& s = surface();
    for (const Case& c : cases) {
        TextRequest r = request(c.text);
        text_render(s, r);
        EXPECT_EQ(first_ink(s, c.row, 9), c.ink) << c.text;
    }
}

TEST_F(TextGlyphTest, LessThanWithoutATagIsACharacter)
{
    TextSurface& s = surface();
    TextRequest unclosed = request("<A");
    text_render(s, unclosed);
    EXPECT_EQ(first_ink(s, 0), 1);
    EXPECT_EQ(first_ink(s, 0, 9), 11);

    TextRequest doubled = request("<<x:5>A");
    text_render(s, doubled);
    EXPECT_EQ(first_ink(s, 0), 1);
    EXPECT_EQ(first_ink(s, 0, 9), 16) << "the second '<' opens a tag";
}

TEST_F(TextGlyphTest, TagsMoveThePenAndDrawCodes)
{
    struct Case {
        const char* text;
        int ink; // first ink in row 7 from column 0
        std::int32_t width;
        std::int32_t counted;
    } cases[] = {
        {"<x:5>A", 6, 15, 0x10000},
        {"<X : 0x5>A", 6, 15, 0x10000},
        {"<stpos>AB<ldpos>", 1, 20, 0x20000},
        {"<y:20>A", -1, 10, 0x10000},
        {"<code:0x41>", 1, 10, 0x10000},
        {"<code:0>A", 1, 10, 0x10000},
        {"<code:0x10000>A", 1, 10, 0x10000},
        {"<bogus:3>A", 1, 10, 0x10000},
        {"<x:1;2>A", 1, 10, 0x10000},
        {"<nocount>A<count>B", 1, 20, 0x10000},
        {"<rot:90>AB", -1, 0, 0x20000},
        {"<scale:255>\x88\x9F", -1, 0, 0}, // 4590 pixels high: too large to render
        {"<x:0x7FFFFFFF><x:0x7FFFFFFF>A", -1, 0x40000000, 0x10000},
    };
    TextSurface& s = surface();
    for (const Case& c : cases) {
        TextRequest measured = request(c.text);
        text_measure(s, measured);
        EXPECT_EQ(measured.width, c.width) << c.text;
        EXPECT_EQ(measured.counted, c.counted) << c.text;
        TextRequest r = request(c.text);
        text_render(s, r);
        EXPECT_EQ(first_ink(s, 7), c.ink) << c.text;
    }
}

TEST_F(TextGlyphTest, FontTagTakesOnlyIndicesInsideTheTable)
{
    HFONT large = make_font(40);
    TextSurface& s = surface();
    struct Case {
        const char* text;
        std::int32_t height;
    } cases[] = {
        {"<font:0>A", 40},
        {"<font:1>A", 20},
        {"<font:-1>A", 20},
        {"A", 20},
    };
    for (const Case& c : cases) {
        TextRequest r = request(c.text);
        r.fonts = &large;
        r.font_count = 1;
        text_measure(s, r);
        EXPECT_EQ(r.height, c.height) << c.text;
    }
    TextRequest r = request("<font:0>A");
    r.fonts = &large;
    r.font_count = 1;
    text_render(s, r);
    EXPECT_EQ(first_ink_row(s, 2), 0);
    EXPECT_EQ(pixel(s, 2, 29), k_white); // 30 rows high in the larger font
    DeleteObject(large);
}

TEST_F(TextGlyphTest, LeadByteBeforeTheTerminatorEndsTheText)
{
    std::vector<char> text = {'A', '\x82', '\0'}; // nothing readable after the terminator
    TextSurface& s = surface();
    TextRequest r = request(text.data());
    text_measure(s, r);
    EXPECT_EQ(r.width, 10);
    EXPECT_EQ(r.counted, 0x10000);
}

TEST_F(TextGlyphTest, ExtentsCoverEveryLineAndScaleToTheVirtualScreen)
{
    TextSurface& plain = surface();
    TextRequest r = request("AB\nA");
    r.line_spacing = 4;
    text_measure(plain, r);
    EXPECT_EQ(r.width, 20);
    EXPECT_EQ(r.height, 44);
    EXPECT_EQ(r.virtual_width, 20);
    EXPECT_EQ(r.counted, 0x30000);

    restart(1280, 960);
    TextSurface& scaled = surface(256, 64, true);
    TextRequest s = request("<x:5>AB\nA");
    s.line_spacing = 4;
    text_measure(scaled, s);
    EXPECT_EQ(s.width, 30);  // 10 pixels of <x:5>, then two glyphs
    EXPECT_EQ(s.height, 48); // two lines of 20 and 8 pixels of spacing
    EXPECT_EQ(s.virtual_width, 15);
    EXPECT_EQ(s.virtual_height, 24);
}

TEST_F(TextGlyphTest, GlyphTheFontCannotRenderDrawsNothingAndKeepsThePen)
{
    seam_font_fail_bitmap('B');
    TextSurface& s = surface();
    TextRequest r = request("ABC");
    text_render(s, r);
    EXPECT_EQ(first_ink(s, 7, 9), 11) << "C right after A";
    EXPECT_EQ(r.width, 20);
    EXPECT_EQ(glyph_cache_too_large(), -1);
}

// ---- The glyph cache -------------------------------------------------------------------------

TEST_F(TextGlyphTest, CellsFollowTheBackBufferAndLargerGlyphsGoUncached)
{
    EXPECT_EQ(glyph_cache_cell_width(), 21);
    EXPECT_EQ(glyph_cache_cell_height(), 21);
    restart(1280, 960);
    EXPECT_EQ(glyph_cache_cell_width(), 42);
    EXPECT_EQ(glyph_cache_cell_height(), 42);

    // The synthetic double-byte glyph of a 9-pixel font is 7 x 7; stretched to 84 x 21 it
    // needs exactly 1,764 bytes, to 77 x 21 (rows of 80) 1,680.
    HFONT small = make_font(9);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, small);
    EXPECT_EQ(glyph_cache_get(scale_matrix(12, 3), dc, small, 0x889F), nullptr);
    EXPECT_EQ(glyph_cache_too_large(), 1764);
    EXPECT_EQ(glyph_cache_used(), 0);
    const GlyphRecord* fits = glyph_cache_get(scale_matrix(11, 3), dc, small, 0x889F);
    ASSERT_NE(fits, nullptr);
    EXPECT_EQ(fits->size, 1680u);
    EXPECT_EQ(glyph_cache_used(), 1);
    DeleteDC(dc);
    DeleteObject(small);

    // Drawn all the same, through the temporary buffer: 54 x 54 at scale 3.
    TextSurface& s = surface(128, 128);
    TextRequest r = request("<scale:3>\x88\x9F");
    r.y_offset = 40;
    text_render(s, r);
    EXPECT_EQ(glyph_cache_used(), 1);
    EXPECT_EQ(glyph_cache_too_large(), 56 * 54);
    EXPECT_EQ(first_ink(s, 40), 3);
    EXPECT_EQ(pixel(s, 56, 40), k_white);
}

TEST_F(TextGlyphTest, TheTwoHundredFiftySeventhGlyphTakesTheLeastRecentlyUsedCell)
{
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, m_font);
    const MAT2 identity = scale_matrix(1, 1);
    const std::uint8_t* first_cell = nullptr;
    const std::uint8_t* second_cell = nullptr;
    for (std::uint32_t i = 0; i < GLYPH_CACHE_RECORDS; ++i) {
        const GlyphRecord* record = glyph_cache_get(identity, dc, m_font, 0x8900 + i);
        ASSERT_NE(record, nullptr) << i;
        if (i == 0) first_cell = record->cell;
        if (i == 1) second_cell = record->cell;
    }
    EXPECT_EQ(glyph_cache_get(identity, dc, m_font, 0x8900)->cell, first_cell) << "a hit";

    const GlyphRecord* newest = glyph_cache_get(identity, dc, m_font, 0x8A00);
    ASSERT_NE(newest, nullptr);
    EXPECT_EQ(newest->cell, second_cell);
    EXPECT_EQ(glyph_cache_used(), GLYPH_CACHE_RECORDS);
    for (std::int32_t i = 0; i < glyph_cache_used(); ++i) {
        EXPECT_NE(glyph_cache_record(i).code, 0x8901) << "the oldest glyph is gone";
        if (i > 0) {
            EXPECT_LE(glyph_cache_record(i - 1).hash, glyph_cache_record(i).hash);
        }
    }

    // A glyph that cannot be rendered frees the record it took, and the rest stay found.
    seam_font_fail_bitmap(0x8B00);
    EXPECT_EQ(glyph_cache_get(identity, dc, m_font, 0x8B00), nullptr);
    EXPECT_EQ(glyph_cache_too_large(), -1);
    EXPECT_EQ(glyph_cache_used(), GLYPH_CACHE_RECORDS - 1);
    for (std::uint32_t code : {0x8900u, 0x8903u, 0x89FFu, 0x8A00u})
        EXPECT_NE(glyph_cache_get(identity, dc, m_font, code), nullptr) << std::hex << code;
    EXPECT_EQ(glyph_cache_used(), GLYPH_CACHE_RECORDS - 1) << "all of them hits";
    DeleteDC(dc);
}

TEST_F(TextGlyphTest, AgesStopAtTheirLimitAndFontsKeepTheirOwnGlyphs)
{
    HFONT large = make_font(24);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, m_font);
    const MAT2 identity = scale_matrix(1, 1);
    glyph_cache_get(identity, dc, m_font, 'A');
    for (int i = 0; i < 70000; ++i)
        glyph_cache_get(identity, dc, m_font, 'B');
    for (std::int32_t i = 0; i < glyph_cache_used(); ++i)
        if (glyph_cache_record(i).code == 'A') {
            EXPECT_EQ(glyph_cache_record(i).age, 0xFFFF);
        }

    SelectObject(dc, large);
    const GlyphRecord* other = glyph_cache_get(identity, dc, large, 'A');
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->metrics.gmBlackBoxY, 18u);
    EXPECT_EQ(glyph_cache_used(), 3);
    DeleteDC(dc);
    DeleteObject(large);
}

// ---- Pieces -----------------------------------------------------------------------------------

TEST(TextGlyph, BlitMapsGrayLevelsToAlphaAndClips)
{
    std::uint8_t levels[20] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 16, 16, 16};
    Image8 glyph;
    glyph.pixels = levels;
    glyph.pitch = 20;
    glyph.width = 17;
    glyph.height = 1;
    std::uint16_t row[17];
    Image16 image;
    image.pixels = reinterpret_cast<std::uint8_t*>(row);
    image.pitch = sizeof row;
    image.width = 17;
    image.height = 1;

    std::fill(std::begin(row), std::end(row), 0x1234);
    glyph_blit4(image, glyph, 0xFABC, 0, 0);
    EXPECT_EQ(row[0], 0x1234);
    EXPECT_EQ(row[1], 0x1234);
    for (int w = 2; w <= 16; ++w)
        EXPECT_EQ(row[w], (w - 1) << 12 | 0xABC) << w;

    std::fill(std::begin(row), std::end(row), 0);
    glyph_blit4(image, glyph, 0x7ABC, -2, 0);
    EXPECT_EQ(row[0], 1 * 7 / 15 << 12 | 0xABC); // level 2
    EXPECT_EQ(row[7], 8 * 7 / 15 << 12 | 0xABC); // level 9
    EXPECT_EQ(row[14], 0x7ABC);
    EXPECT_EQ(row[15], 0) << "past the glyph";

    glyph_blit4(image, glyph, 0xFFFF, 0, 1); // below the image
    EXPECT_EQ(row[15], 0);
}

TEST(TextGlyph, MatrixHashAndScaleFollowTheirFormulas)
{
    MAT2 m{};
    text_make_matrix(0, 0x20000, m);
    EXPECT_EQ(m.eM11.value, 2);
    EXPECT_EQ(m.eM22.value, 2);
    EXPECT_EQ(m.eM12.value, 0);
    text_make_matrix(90, 0x10000, m);
    EXPECT_EQ(m.eM11.value, 0);
    EXPECT_EQ(m.eM11.fract, 0);
    EXPECT_EQ(m.eM12.value, -1);
    EXPECT_EQ(m.eM21.value, 1);
    EXPECT_EQ(m.eM22.value, 0);

    EXPECT_EQ(glyph_hash(scale_matrix(1, 1), 0x41), 0x41u << 15);
    MAT2 one_and_half = scale_matrix(1, 1);
    one_and_half.eM11.fract = one_and_half.eM22.fract = 0x8000;
    EXPECT_EQ(glyph_hash(one_and_half, 0x41), 0x240000u);

    struct Case {
        std::int32_t value;
        std::int32_t scale;
    } cases[] = {{0, 0x10000}, {-5, 0x10000}, {2, 0x20000}, {255, 0xFF0000}, {256, 256}, {98304, 98304}};
    for (const Case& c : cases)
        EXPECT_EQ(text_parse_scale(c.value), c.scale) << c.value;
}

TEST(TextGlyph, TagsAreNamedByPrefixAndCarryUpToTwoNumbers)
{
    struct Case {
        const char* tag;
        int id;
        int count;
        std::int32_t first;
        std::int32_t second;
    } cases[] = {
        {"x:5", TEXT_TAG_X, 1, 5, 0},
        {"Y:-3", TEXT_TAG_Y, 1, -3, 0},
        {"Color:0xFFFF0000", TEXT_TAG_COLOR, 1, static_cast<std::int32_t>(0xFFFF0000), 0},
        {"color", TEXT_TAG_COLOR, 0, 0, 0},
        {" scale : 1.5", TEXT_TAG_SCALE, 1, 98304, 0},
        {"ruby:0,-20", TEXT_TAG_RUBY, 2, 0, -20},
        {"endruby", TEXT_TAG_ENDRUBY, 0, 0, 0},
        {"nocount", TEXT_TAG_NOCOUNT, 0, 0, 0},
        {"code:0b101", TEXT_TAG_CODE, 1, 5, 0},
        {"rot:45", TEXT_TAG_ROT, 1, 45, 0},
        {"bogus", TEXT_TAG_NONE, 0, 0, 0},
        {"x:1;2", TEXT_TAG_NONE, -1, 0, 0},
    };
    for (const Case& c : cases) {
        std::int32_t numbers[2];
        int count = 0;
        EXPECT_EQ(text_parse_tag(c.tag, numbers, count), c.id) << c.tag;
        if (c.id == TEXT_TAG_NONE) continue;
        EXPECT_EQ(count, c.count) << c.tag;
        EXPECT_EQ(numbers[0], c.first) << c.tag;
        EXPECT_EQ(numbers[1], c.second) << c.tag;
    }
}

// ---- With a real font ----------------------------------------------------------------------------

TEST_F(TextGlyphTest, RealFontDrawsJapaneseAndLatinTextWhereItsGlyphsAre)
{
    seam_font_use_synthetic(false);
    HFONT font = make_font(20);
    TextSurface& s = surface(256, 32, false, font);
    // Hiragana a, i, u, then "Kro".
    TextRequest r = request("\x82\xA0\x82\xA2\x82\xA4Kro");
    text_render(s, r);

    auto ink_in_columns = [&](int from, int to) {
        int ink = 0;
        for (int y = 0; y < s.height; ++y)
            for (int x = std::max(from, 0); x < std::min(to, s.width); ++x)
                if (pixel(s, x, y) >> 12) ++ink;
        return ink;
    };
    const MAT2 identity = scale_matrix(1, 1);
    int pen = 0;
    for (UINT code : {0x82A0u, 0x82A2u, 0x82A4u, UINT{'K'}, UINT{'r'}, UINT{'o'}}) {
        GLYPHMETRICS metrics{};
        ASSERT_NE(GetGlyphOutlineA(s.dc, code, GGO_METRICS, &metrics, 0, nullptr, &identity), GDI_ERROR);
        int left = pen + metrics.gmptGlyphOrigin.x;
        EXPECT_GT(ink_in_columns(left, left + static_cast<int>(metrics.gmBlackBoxX)), 0) << std::hex << code;
        pen += metrics.gmCellIncX;
    }
    EXPECT_EQ(r.width, pen);
    EXPECT_EQ(ink_in_columns(pen + 2, s.width), 0);
    text_release_surface(s);
    DeleteObject(font);
}

// ---- Drawing the surface --------------------------------------------------------------------------

namespace {

// The twelve vertices of the last draw, which must be text_draw's of the surface.
std::vector<ScreenVertex> text_draw_vertices(const TextSurface& surface)
{
    const std::vector<D3D8DrawRecord>& draws = d3d8_seam_draws();
    EXPECT_FALSE(draws.empty());
    if (draws.empty()) return {};
    const D3D8DrawRecord& draw = draws.back();
    EXPECT_EQ(draw.call.type, D3DPT_TRIANGLELIST);
    EXPECT_EQ(draw.call.primitive_count, 4u);
    EXPECT_EQ(draw.state.textures[0], surface.texture);
    return drawn_screen_vertices(draw, 12);
}

void expect_quad(const ScreenVertex* v, float left, float top, float right, float bottom, D3DCOLOR color,
                 float u, float vmax)
{
    float min_x = v[0].x, max_x = v[0].x, min_y = v[0].y, max_y = v[0].y, max_u = 0, max_v = 0;
    for (int i = 0; i < 6; ++i) {
        min_x = std::min(min_x, v[i].x);
        max_x = std::max(max_x, v[i].x);
        min_y = std::min(min_y, v[i].y);
        max_y = std::max(max_y, v[i].y);
        max_u = std::max(max_u, v[i].u);
        max_v = std::max(max_v, v[i].v);
        EXPECT_EQ(v[i].color, color);
        EXPECT_EQ(v[i].z, 0.0f);
        EXPECT_EQ(v[i].rhw, 1.0f);
    }
    EXPECT_FLOAT_EQ(min_x, left);
    EXPECT_FLOAT_EQ(min_y, top);
    EXPECT_FLOAT_EQ(max_x, right);
    EXPECT_FLOAT_EQ(max_y, bottom);
    EXPECT_FLOAT_EQ(max_u, u);
    EXPECT_FLOAT_EQ(max_v, vmax);
}

} // namespace

TEST_F(TextGlyphTest, DrawPlacesTheQuadAndItsShadowAtTheVirtualPositionAt640x480)
{
    TextSurface& s = surface(512, 30);
    text_draw(D3DXVECTOR2(99.5f, 49.5f), D3DXVECTOR2(300.0f, 20.0f), D3DXVECTOR2(1.0f, 1.0f), s, 0x80000000,
              0xFFFFFFFF);
    std::vector<ScreenVertex> v = text_draw_vertices(s);
    ASSERT_EQ(v.size(), 12u);
    expect_quad(&v[0], 98.5f, 51.5f, 398.5f, 71.5f, 0x80000000, 300.0f / 512, 20.0f / 32);
    expect_quad(&v[6], 99.5f, 50.5f, 399.5f, 70.5f, 0xFFFFFFFF, 300.0f / 512, 20.0f / 32);
    EXPECT_EQ(g_current_material, 0x4041u);
}

TEST_F(TextGlyphTest, DrawAt1280x960StretchesAPlainSurfaceAndPlacesAScaledOneAtScale)
{
    restart(1280, 960);
    TextSurface& plain = surface(512, 30);
    text_draw(D3DXVECTOR2(99.5f, 49.5f), D3DXVECTOR2(600.0f, 40.0f), D3DXVECTOR2(1.0f, 1.0f), plain,
              0x80000000, 0xFFFFFFFF);
    std::vector<ScreenVertex> v = text_draw_vertices(plain);
    ASSERT_EQ(v.size(), 12u);
    // The size is cut to the 512 x 32 texture, then everything doubles.
    expect_quad(&v[0], 197.0f, 103.0f, 1221.0f, 167.0f, 0x80000000, 1.0f, 1.0f);
    expect_quad(&v[6], 199.0f, 101.0f, 1223.0f, 165.0f, 0xFFFFFFFF, 1.0f, 1.0f);

    TextSurface& scaled = surface(512, 30, true); // 1024 x 64
    text_draw(D3DXVECTOR2(99.5f, 49.5f), D3DXVECTOR2(1024.0f, 60.0f), D3DXVECTOR2(1.0f, 1.0f), scaled,
              0x80000000, 0xFFFFFFFF);
    v = text_draw_vertices(scaled);
    ASSERT_EQ(v.size(), 12u);
    // (99.5, 50.5) scaled: floor(100 x 2) - 0.5, floor(51 x 2) - 0.5; the size is in pixels.
    expect_quad(&v[0], 198.5f, 102.5f, 1222.5f, 162.5f, 0x80000000, 1.0f, 60.0f / 64);
    expect_quad(&v[6], 199.5f, 101.5f, 1223.5f, 161.5f, 0xFFFFFFFF, 1.0f, 60.0f / 64);
}
