#include "lib/demo_images.h"

#include "lib/dds_writer.h"
#include "lib/emotion_image_writer.h"
#include "lib/font_image_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace {

// 0xAARRGGBB from components in 0..1.
std::uint32_t argb(float a, float r, float g, float b)
{
    const auto byte = [](float v) {
        return static_cast<std::uint32_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f);
    };
    return byte(a) << 24 | byte(r) << 16 | byte(g) << 8 | byte(b);
}

float mix(float from, float to, float t)
{
    return from + (to - from) * t;
}

// A dusk sky over a ridge with the moon above it, in the top-left 640 x 480; black beyond.
DdsPixels title_picture()
{
    return dds_pattern(1024, 512, [](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        if (x >= DEMO_TITLE_PICTURE_WIDTH || y >= DEMO_TITLE_PICTURE_HEIGHT) return 0xFF000000;
        const float fx = static_cast<float>(x);
        const float fy = static_cast<float>(y);
        const float ridge = 330.0f + 40.0f * std::sin(fx / 60.0f) + 18.0f * std::sin(fx / 23.0f);
        if (fy > ridge) return argb(1, 0.05f, 0.10f + 0.1f * (fy - ridge) / 150.0f, 0.08f);
        const float dx = fx - 460.0f, dy = fy - 140.0f;
        if (dx * dx + dy * dy < 45.0f * 45.0f) return argb(1, 0.95f, 0.93f, 0.80f);
        const float t = fy / 380.0f;
        return argb(1, mix(0.05f, 0.95f, t * t), mix(0.05f, 0.55f, t * t), mix(0.25f, 0.35f, t));
    });
}

// The 3 x 3 skin: corner cells of 32 x 48 (top) and 32 x 16 (bottom) around cells the dialog
// stretches, so the panel's rim and rounded corners lie wholly in the outer cells.
DdsPixels dialog_skin()
{
    constexpr float left = 8, top = 8, right = 248, bottom = 120, radius = 8, rim = 2;
    return dds_pattern(256, 128, [=](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        const float px = static_cast<float>(x) + 0.5f, py = static_cast<float>(y) + 0.5f;
        const float cx = std::clamp(px, left + radius, right - radius);
        const float cy = std::clamp(py, top + radius, bottom - radius);
        const float inside = radius - std::hypot(px - cx, py - cy); // distance inside the edge
        if (inside < 0) return 0;
        return inside < rim ? 0xFFC0C8E0 : 0xC0182848;
    });
}

// A bar bright in the middle and dark toward its rounded ends; the cursor's blend adds it.
DdsPixels cursor_bar()
{
    return dds_pattern(128, 32, [](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        const float dx = std::fabs(static_cast<float>(x) - 63.5f) / 64.0f;
        const float dy = std::fabs(static_cast<float>(y) - 15.5f) / 16.0f;
        if (dx * dx * dx * dx + dy * dy > 1.0f) return 0;
        const float light = 1.0f - dx * dx;
        return argb(1, light, 0.8f * light, 0.3f * light);
    });
}

// Rows of a 5 x 7 glyph, the leftmost column in bit 4.
using Glyph = std::array<std::uint8_t, 7>;

Glyph glyph_of(char c)
{
    switch (c) {
    case 'G':
        return {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F};
    case 'A':
        return {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11};
    case 'M':
        return {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11};
    case 'E':
        return {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F};
    case 'O':
        return {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E};
    case 'V':
        return {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04};
    case 'R':
        return {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11};
    default:
        return {};
    }
}

// Whether the text, each glyph cell `scale` pixels and glyphs 6 cells apart, covers the point.
bool text_covers(std::string_view text, int scale, int x, int y)
{
    const int column = x / scale, row = y / scale;
    if (x < 0 || y < 0 || row >= 7 || column / 6 >= static_cast<int>(text.size()) || column % 6 == 5)
        return false;
    return (glyph_of(text[static_cast<std::size_t>(column / 6)])[static_cast<std::size_t>(row)] >>
                (4 - column % 6) &
            1) != 0;
}

// "GAME OVER" in red, darker toward its foot, with a black shadow, on a clear ground.
DdsPixels gameover_picture()
{
    constexpr std::string_view text = "GAME OVER";
    constexpr int scale = 8;
    constexpr int left = (512 - (static_cast<int>(text.size()) * 6 - 1) * scale) / 2;
    constexpr int top = (128 - 7 * scale) / 2;
    constexpr int shadow = 3;
    return dds_pattern(512, 128, [=](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        const int tx = static_cast<int>(x) - left, ty = static_cast<int>(y) - top;
        if (text_covers(text, scale, tx, ty))
            return argb(1, mix(0.95f, 0.55f, static_cast<float>(ty) / (7 * scale)), 0.1f, 0.1f);
        return text_covers(text, scale, tx - shadow, ty - shadow) ? 0xFF000000 : 0;
    });
}

// Ripples draw rings from v 0 to 0.5 and wakes from 0.5 to 1, each over the whole width; white,
// their fading is the vertex colour's.
DdsPixels ripple_picture()
{
    return dds_pattern(64, 64, [](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        const float dx = (static_cast<float>(x) - 31.5f) / 32.0f;
        if (y < 32) {
            const float r = std::hypot(dx, (static_cast<float>(y) - 15.5f) / 16.0f);
            return r > 0.75f && r < 0.95f ? 0xFFFFFFFF : 0;
        }
        const float along = static_cast<float>(y - 32) / 32.0f;
        return std::fabs(std::fabs(dx) - along) < 0.1f ? 0xFFFFFFFF : 0;
    });
}

ArchiveSource image_file(const char* name, DdsFormat format, const DdsPixels& pixels)
{
    return {std::string("data\\image\\") + name, dds_build(format, std::span(&pixels, 1))};
}

} // namespace

std::vector<ArchiveSource> demo_window_images()
{
    return {
        image_file("title_000.dds", DdsFormat::R5G6B5, title_picture()),
        image_file("dialog0.dds", DdsFormat::A4R4G4B4, dialog_skin()),
        image_file("menucursor.dds", DdsFormat::A1R5G5B5, cursor_bar()),
        image_file("gameover.dds", DdsFormat::A1R5G5B5, gameover_picture()),
        // The bitmap fonts and the emotion icons, images 4, 5, 6 and 13 of the game's table.
        {"data\\image\\f_mini.dds", font_image_build(FontImage::Tiny, FontImageMode::Glyphs)},
        {"data\\image\\f_middle.dds", font_image_build(FontImage::Middle, FontImageMode::Glyphs)},
        {"data\\image\\f_geo20.dds", font_image_build(FontImage::Large, FontImageMode::Glyphs)},
        {"data\\image\\emotion.dds", emotion_image_build()},
    };
}

ArchiveSource demo_ripple_image()
{
    return image_file("ripple.dds", DdsFormat::A1R5G5B5, ripple_picture());
}
