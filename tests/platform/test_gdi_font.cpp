#include "platform/gdi_font.h"
#include "platform/impl/gdi_font_seams.h"
#include "platform/impl/win_handles.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

FIXED fixed(double value)
{
    auto raw = static_cast<std::int32_t>(value * 65536);
    return {static_cast<WORD>(raw & 0xFFFF), static_cast<short>(raw >> 16)};
}

MAT2 matrix(double m11, double m12, double m21, double m22)
{
    return {fixed(m11), fixed(m12), fixed(m21), fixed(m22)};
}

const MAT2 k_identity = matrix(1, 0, 0, 1);

HFONT make_font(int height, const char* face = "MS PGothic", int weight = FW_NORMAL)
{
    return CreateFontA(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_TT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, VARIABLE_PITCH | FF_MODERN, face);
}

// A memory context with a font of its own, both freed at the end.
class FontContext {
public:
    explicit FontContext(HFONT font) : m_dc(CreateCompatibleDC(nullptr)), m_font(font)
    {
        EXPECT_NE(m_dc, nullptr);
        EXPECT_NE(m_font, nullptr);
        SelectObject(m_dc, m_font);
    }
    ~FontContext()
    {
        DeleteDC(m_dc);
        DeleteObject(m_font);
    }
    FontContext(const FontContext&) = delete;
    FontContext& operator=(const FontContext&) = delete;

    HDC dc() const { return m_dc; }
    HFONT font() const { return m_font; }

    // The gray-4 bitmap of the code, rows of `pitch` bytes; empty on failure.
    std::vector<BYTE> bitmap(UINT code, const MAT2& m, GLYPHMETRICS& metrics,
                             UINT format = GGO_GRAY4_BITMAP) const
    {
        DWORD size = GetGlyphOutlineA(m_dc, code, format, &metrics, 0, nullptr, &m);
        if (size == GDI_ERROR) return {};
        std::vector<BYTE> bits(size, 0xEE);
        if (size && GetGlyphOutlineA(m_dc, code, format, &metrics, size, bits.data(), &m) != size) return {};
        return bits;
    }

private:
    HDC m_dc;
    HFONT m_font;
};

class SyntheticFontTest : public ::testing::Test {
protected:
    void SetUp() override { seam_font_use_synthetic(true); }
    void TearDown() override
    {
        seam_font_use_synthetic(false);
        seam_font_fail_bitmap(0);
    }
};

std::string read_bytes(const std::filesystem::path& path)
{
    return read_host_file(path);
}

void replace_all(std::string& data, const std::string& from, const std::string& to)
{
    for (std::size_t at = data.find(from); at != std::string::npos; at = data.find(from, at + to.size()))
        data.replace(at, from.size(), to);
}

std::string utf16be(const std::string& ascii)
{
    std::string out;
    for (char c : ascii) {
        out += '\0';
        out += c;
    }
    return out;
}

} // namespace

// ---- The synthetic font -------------------------------------------------------------------------

TEST_F(SyntheticFontTest, MetricsFollowTheCellHeight)
{
    FontContext context(make_font(20));
    TEXTMETRICA metrics{};
    ASSERT_TRUE(GetTextMetricsA(context.dc(), &metrics));
    EXPECT_EQ(metrics.tmHeight, 20);
    EXPECT_EQ(metrics.tmAscent, 15);
    EXPECT_EQ(metrics.tmDescent, 5);
    EXPECT_EQ(metrics.tmCharSet, SHIFTJIS_CHARSET);

    FontContext by_em(make_font(-16));
    ASSERT_TRUE(GetTextMetricsA(by_em.dc(), &metrics));
    EXPECT_EQ(metrics.tmHeight, 16);
}

TEST_F(SyntheticFontTest, GrayBitmapHasSeventeenLevelsInRowsPaddedToFourBytes)
{
    FontContext context(make_font(20));
    GLYPHMETRICS metrics{};
    // A double-byte glyph: 18 x 18 pixels, rows of 20 bytes.
    EXPECT_EQ(GetGlyphOutlineA(context.dc(), 0x889F, GGO_GRAY4_BITMAP, &metrics, 0, nullptr, &k_identity),
              360u);
    std::vector<BYTE> bits = context.bitmap(0x889F, k_identity, metrics);
    ASSERT_EQ(bits.size(), 360u);
    EXPECT_EQ(metrics.gmBlackBoxX, 18u);
    EXPECT_EQ(metrics.gmBlackBoxY, 18u);
    EXPECT_EQ(metrics.gmptGlyphOrigin.x, 1);
    EXPECT_EQ(metrics.gmptGlyphOrigin.y, 14);
    EXPECT_EQ(metrics.gmCellIncX, 20);
    EXPECT_EQ(metrics.gmCellIncY, 0);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(bits[y * 20 + x], x < 18 ? 16 : 0) << x << "," << y;

    // Half-covered pixels at a scale of 1.5 land on the middle level.
    bits = context.bitmap('A', matrix(1.5, 0, 0, 1.5), metrics);
    ASSERT_EQ(metrics.gmBlackBoxX, 13u); // 1.5 .. 13.5
    ASSERT_EQ(metrics.gmBlackBoxY, 23u); // 0 .. 22.5
    EXPECT_EQ(metrics.gmCellIncX, 15);
    EXPECT_EQ(bits[0], 4);       // top-left: half in both directions -> a quarter
    EXPECT_EQ(bits[16 + 1], 16); // second row, second column
    EXPECT_EQ(bits[16 * 5 + 0], 8);
    EXPECT_EQ(bits[16 * 5 + 12], 8);
}

TEST_F(SyntheticFontTest, OtherGrayFormatsScaleTheLevels)
{
    FontContext context(make_font(20));
    GLYPHMETRICS metrics{};
    EXPECT_EQ(context.bitmap('A', k_identity, metrics, GGO_GRAY2_BITMAP)[0], 4);
    EXPECT_EQ(context.bitmap('A', k_identity, metrics, GGO_GRAY8_BITMAP)[0], 64);
}

TEST_F(SyntheticFontTest, MatrixRotatesAndScalesTheGlyphAndItsAdvance)
{
    FontContext context(make_font(20));
    GLYPHMETRICS metrics{};
    context.bitmap('A', matrix(2, 0, 0, 2), metrics);
    EXPECT_EQ(metrics.gmBlackBoxX, 16u);
    EXPECT_EQ(metrics.gmBlackBoxY, 30u);
    EXPECT_EQ(metrics.gmptGlyphOrigin.x, 2);
    EXPECT_EQ(metrics.gmptGlyphOrigin.y, 30);
    EXPECT_EQ(metrics.gmCellIncX, 20);

    // A quarter turn: x' = -y, y' = x. The 8 x 15 box lies on its side and the pen goes up.
    context.bitmap('A', matrix(0, 1, -1, 0), metrics);
    EXPECT_EQ(metrics.gmBlackBoxX, 15u);
    EXPECT_EQ(metrics.gmBlackBoxY, 8u);
    EXPECT_EQ(metrics.gmptGlyphOrigin.x, -15);
    EXPECT_EQ(metrics.gmptGlyphOrigin.y, 9);
    EXPECT_EQ(metrics.gmCellIncX, 0);
    EXPECT_EQ(metrics.gmCellIncY, 10);
}

TEST_F(SyntheticFontTest, BlankGlyphHasNoBitmapButAdvances)
{
    FontContext context(make_font(20));
    GLYPHMETRICS metrics{};
    BYTE buffer[16] = {};
    for (UINT code : {0x20u, 0x8140u}) {
        EXPECT_EQ(GetGlyphOutlineA(context.dc(), code, GGO_GRAY4_BITMAP, &metrics, sizeof buffer, buffer,
                                   &k_identity),
                  0u);
        EXPECT_EQ(metrics.gmBlackBoxX, 1u);
        EXPECT_EQ(metrics.gmBlackBoxY, 1u);
        EXPECT_EQ(metrics.gmCellIncX, code == 0x20 ? 5 : 20);
    }
    EXPECT_EQ(GetGlyphOutlineA(context.dc(), 0x20, GGO_METRICS, &metrics, 0, nullptr, &k_identity), 1u);
}

TEST_F(SyntheticFontTest, RefusesWhatThePlatformRefuses)
{
    FontContext context(make_font(20));
    GLYPHMETRICS metrics{};
    BYTE small[100];
    const MAT2 huge = matrix(600, 0, 0, 1);
    struct Case {
        const char* what;
        HDC dc;
        UINT format;
        GLYPHMETRICS* metrics;
        DWORD size;
        const MAT2* matrix;
    } cases[] = {
        {"buffer smaller than the bitmap", context.dc(), GGO_GRAY4_BITMAP, &metrics, sizeof small,
         &k_identity},
        {"no matrix", context.dc(), GGO_GRAY4_BITMAP, &metrics, 0, nullptr},
        {"no metrics", context.dc(), GGO_METRICS, nullptr, 0, &k_identity},
        {"a one-bit bitmap", context.dc(), 1, &metrics, 0, &k_identity},
        {"a bitmap 4800 pixels wide", context.dc(), GGO_GRAY4_BITMAP, &metrics, 0, &huge},
        {"a context nobody made", reinterpret_cast<HDC>(std::uintptr_t{0x1234}), GGO_METRICS, &metrics, 0,
         &k_identity},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetGlyphOutlineA(c.dc, 'A', c.format, c.metrics, c.size, small, c.matrix), GDI_ERROR)
            << c.what;

    seam_font_fail_bitmap('B');
    EXPECT_EQ(GetGlyphOutlineA(context.dc(), 'B', GGO_GRAY4_BITMAP, &metrics, 0, nullptr, &k_identity), 120u);
    EXPECT_EQ(GetGlyphOutlineA(context.dc(), 'B', GGO_GRAY4_BITMAP, &metrics, 120, small, &k_identity),
              GDI_ERROR);
}

// ---- Contexts and font handles -------------------------------------------------------------------

TEST_F(SyntheticFontTest, SelectingAndDeletingFollowThePlatform)
{
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    HFONT small = make_font(10);
    HFONT large = make_font(30);
    HFONT system = SelectObject(dc, small);
    EXPECT_NE(system, nullptr);
    EXPECT_EQ(SelectObject(dc, large), small);

    // A deleted font stays usable where it is selected, but its handle is gone.
    EXPECT_TRUE(DeleteObject(large));
    TEXTMETRICA metrics{};
    ASSERT_TRUE(GetTextMetricsA(dc, &metrics));
    EXPECT_EQ(metrics.tmHeight, 30);
    EXPECT_EQ(SelectObject(dc, large), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(DeleteObject(large));

    EXPECT_EQ(SelectObject(dc, system), large); // the stock font goes back in
    EXPECT_TRUE(DeleteObject(system));          // and survives deletion, as stock objects do
    EXPECT_TRUE(DeleteObject(small));
    EXPECT_TRUE(DeleteDC(dc));
    EXPECT_FALSE(DeleteDC(dc));
    EXPECT_FALSE(GetTextMetricsA(dc, &metrics));
    EXPECT_EQ(CreateCompatibleDC(dc), nullptr);
}

// ---- Real fonts --------------------------------------------------------------------------------

TEST(GdiFont, MissingFaceFallsBackToAJapaneseFontThatDrawsBothScripts)
{
    FontContext context(make_font(20, "MS PGothic"));
    TEXTMETRICA metrics{};
    ASSERT_TRUE(GetTextMetricsA(context.dc(), &metrics));
    EXPECT_EQ(metrics.tmHeight, 20);
    EXPECT_GT(metrics.tmAscent, metrics.tmDescent);

    // Hiragana A (0x82A0), Hiragana I (0x82A2), full-width A (0x8260) and Latin A.
    GLYPHMETRICS glyph{};
    std::vector<BYTE> a = context.bitmap(0x82A0, k_identity, glyph);
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(std::any_of(a.begin(), a.end(), [](BYTE level) { return level == 16; }));
    EXPECT_LE(glyph.gmBlackBoxY, 20u);
    std::vector<BYTE> i = context.bitmap(0x82A2, k_identity, glyph);
    EXPECT_NE(a, i);

    GLYPHMETRICS latin{}, wide{};
    EXPECT_FALSE(context.bitmap('A', k_identity, latin).empty());
    EXPECT_FALSE(context.bitmap(0x8260, k_identity, wide).empty());
    EXPECT_GT(wide.gmCellIncX, latin.gmCellIncX);
    EXPECT_GE(wide.gmCellIncX, 15);

    GLYPHMETRICS space{};
    EXPECT_EQ(GetGlyphOutlineA(context.dc(), 0x8140, GGO_GRAY4_BITMAP, &space, 0, nullptr, &k_identity), 0u);
    EXPECT_EQ(space.gmCellIncX, wide.gmCellIncX);
}

TEST(GdiFont, BoldWeightWidensTheStrokes)
{
    FontContext regular(make_font(20, "MS PGothic", FW_NORMAL));
    FontContext bold(make_font(20, "MS PGothic", FW_BOLD));
    GLYPHMETRICS metrics{};
    auto ink = [&](const FontContext& context) {
        std::vector<BYTE> bits = context.bitmap('l', k_identity, metrics);
        int sum = 0;
        for (BYTE level : bits)
            sum += level;
        return sum;
    };
    EXPECT_GT(ink(bold), ink(regular));
}

TEST(GdiFont, FontResourceMakesItsFaceResolvableAndMayExistAlready)
{
    std::string fallback_file, fallback_family;
    {
        FontContext probe(make_font(20, "MS PGothic"));
        ASSERT_TRUE(seam_font_describe(probe.font(), fallback_file, fallback_family));
    }
    ASSERT_GE(fallback_family.size(), 4u);
    // A copy of the installed font under a family name of its own.
    std::string family = "Kro" + std::string(fallback_family.size() - 3, 'q');
    std::string data = read_bytes(fallback_file);
    replace_all(data, fallback_family, family);
    replace_all(data, utf16be(fallback_family), utf16be(family));

    TempFolder folder;
    WorkingDirectoryGuard guard;
    std::filesystem::current_path(folder.path());
    std::filesystem::create_directory(folder.path() / "Release");
    write_host_file(folder.path() / "Release" / "im02.dt", data);
    write_host_file(folder.path() / "Release" / "notes.dt", "not a font");

    std::string file;
    {
        FontContext before(make_font(20, family.c_str()));
        ASSERT_TRUE(seam_font_describe(before.font(), file, fallback_family));
        EXPECT_EQ(file, fallback_file) << "the family is not known yet";
    }

    ASSERT_TRUE(CreateScalableFontResourceA(0, "Release\\im02.fot", "im02.dt", "Release\\"));
    EXPECT_TRUE(std::filesystem::exists(folder.path() / "Release" / "im02.fot"));
    EXPECT_FALSE(CreateScalableFontResourceA(0, "Release\\im02.fot", "im02.dt", "Release\\"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_EQ(AddFontResourceA("release\\IM02.FOT"), 1);
    EXPECT_EQ(AddFontResourceA("Release\\im02.fot"), 1);

    FontContext after(make_font(20, family.c_str()));
    std::string found_family;
    ASSERT_TRUE(seam_font_describe(after.font(), file, found_family));
    EXPECT_EQ(std::filesystem::path(file), std::filesystem::canonical(folder.path() / "Release" / "im02.dt"));
    EXPECT_EQ(found_family, family);

    EXPECT_FALSE(CreateScalableFontResourceA(0, "Release\\none.fot", "none.dt", "Release\\"));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(CreateScalableFontResourceA(0, "Release\\notes.fot", "Release\\notes.dt", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "Release" / "notes.fot"));
    EXPECT_EQ(AddFontResourceA("Release\\notes.dt"), 0);
    EXPECT_EQ(AddFontResourceA("Release\\missing.fot"), 0);
}
