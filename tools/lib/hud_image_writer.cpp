#include "lib/hud_image_writer.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace {

struct Box {
    std::uint32_t x, y, width, height;
    bool contains(std::uint32_t px, std::uint32_t py) const
    {
        return px >= x && px < x + width && py >= y && py < y + height;
    }
    bool rim(std::uint32_t px, std::uint32_t py) const
    {
        return px == x || py == y || px + 1 == x + width || py + 1 == y + height;
    }
};

// Digits 0-9 in a 3 x 5 grid, the top row in the low three bits.
constexpr std::array<std::uint16_t, 10> k_digits = {0x7B6F, 0x749A, 0x73E7, 0x79E7, 0x49ED,
                                                    0x79CF, 0x7BCF, 0x4927, 0x7BEF, 0x79EF};

bool digit_covers(int d, std::uint32_t cx, std::uint32_t cy)
{
    // Drawn from (2, 1) of the 8 x 8 cell, two texels a grid step across, one down.
    if (cx < 2 || cy < 1) return false;
    const std::uint32_t col = (cx - 2) / 2, row = cy - 1;
    if (col >= 3 || row >= 5) return false;
    return (k_digits[static_cast<std::size_t>(d)] >> (row * 3 + col) & 1) != 0;
}

constexpr std::uint32_t k_panel = 0xC0101828;
constexpr std::uint32_t k_rim = 0xFFC0C8E0;
constexpr std::uint32_t k_magic_colours[3] = {0xFFE04020, 0xFF20C080, 0xFFC0C020};

std::uint32_t status_texel(std::uint32_t x, std::uint32_t y)
{
    // The frame pieces behind the bars and the boost gauge.
    for (const Box& b : {Box{0, 120, 60, 57}, Box{0, 176, 144, 17}})
        if (b.contains(x, y)) return b.rim(x, y) ? k_rim : k_panel;
    if (y < 4 && x < 160) return 0xFF30E040;           // hit points
    if (y >= 4 && y < 8 && x < 160) return 0xFFF03020; // their damage trail
    if (y == 12 && x < 196) return 0xFFF0E060;         // experience
    if (y >= 16 && y < 24 && x < 176) {                // gold and item-count digits
        const std::uint32_t first = x < 96 ? 0 : 96;
        if (x >= 80 && x < 96) return 0;
        return digit_covers(static_cast<int>((x - first) / 8), (x - first) % 8, y - 16) ? 0xFFFFFFFF : 0;
    }
    if (y >= 24 && y < 36 && x < 160) return k_magic_colours[(y - 24) / 4];              // magic bars
    if (y >= 36 && y < 48 && x < 160) return k_magic_colours[(y - 36) / 4] | 0xFF808080; // their trails
    if (y >= 48 && y < 120 && x < 72) { // bracelet icons: plain, ready, charged
        const std::uint32_t kind = (y - 48) / 24, state = x / 24;
        const Box cell{state * 24, 48 + kind * 24, 24, 24};
        if (cell.rim(x, y)) return k_rim;
        return state == 0 ? (k_magic_colours[kind] & 0xFF7F7F7F)
                          : k_magic_colours[kind] | (state == 2 ? 0xFF404040 : 0);
    }
    if (Box{60, 124, 48, 52}.contains(x, y)) return 0xFF40A0F0; // the boost gauge
    if (y >= 196 && y < 228 && x < 104) {                       // the four timers
        constexpr std::uint32_t timers[4] = {0xFFFF6060, 0xFF6060FF, 0xFFFFFF60, 0xFFF19040};
        return timers[(y - 196) / 8];
    }
    if (Box{208, 0, 12, 8}.contains(x, y)) return 0xFFE0C000; // the gold mark
    if (Box{220, 0, 12, 8}.contains(x, y)) return 0xFF40A0F0; // the item-count mark
    const Box slot{232, 0, 24, 24};
    if (slot.contains(x, y)) return slot.rim(x, y) ? k_rim : 0x60000000;
    return 0;
}

// 256 x 64: the bar in rows 4-7 and the trail in rows 8-11 from the left; the frame from row 16
// on, which the gauge stretches over its 48 screen rows at 4/3 texels a row, so the bar's screen
// rows 13-16 meet texel rows 33-38. The last row stays clear for the clamped rows below it.
std::uint32_t enemy_gauge_texel(std::uint32_t x, std::uint32_t y)
{
    if (y >= 4 && y < 8 && x < 204) return 0xFFE03030;
    if (y >= 8 && y < 12 && x < 204) return 0xFFF0E0A0;
    const Box frame{22, 29, 212, 14};
    if (frame.contains(x, y)) return frame.rim(x, y) ? k_rim : k_panel;
    return 0;
}

ArchiveSource image_file(const char* name, const DdsPixels& pixels)
{
    return {std::string("data\\image\\") + name, dds_build(DdsFormat::A4R4G4B4, std::span(&pixels, 1))};
}

} // namespace

DdsPixels hud_status_image()
{
    return dds_pattern(256, 256, status_texel);
}

DdsPixels hud_enemy_gauge_image()
{
    return dds_pattern(256, 64, enemy_gauge_texel);
}

std::vector<ArchiveSource> hud_image_files()
{
    return {image_file("status_new.dds", hud_status_image()), image_file("hp2.dds", hud_enemy_gauge_image())};
}
