#include "lib/emotion_image_writer.h"

namespace {

constexpr std::uint32_t k_level_step = 0x11;
constexpr unsigned k_levels = 16;

bool in_mark(unsigned offset)
{
    return offset >= EMOTION_MARK_MARGIN && offset < EMOTION_CELL_SIZE - EMOTION_MARK_MARGIN;
}

} // namespace

std::uint32_t emotion_cell_color(unsigned cell)
{
    const std::uint32_t red = cell % k_levels * k_level_step;
    const std::uint32_t green = (k_levels - 1 - cell % k_levels) * k_level_step;
    return 0xFF0000FFu | red << 16 | green << 8;
}

unsigned emotion_cell_of(std::uint32_t argb)
{
    return (argb >> 16 & 0xFF) / k_level_step;
}

DdsPixels emotion_image_pixels()
{
    return dds_pattern(EMOTION_COLUMNS * EMOTION_CELL_SIZE, EMOTION_ROWS * EMOTION_CELL_SIZE,
                       [](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
                           if (!in_mark(x % EMOTION_CELL_SIZE) || !in_mark(y % EMOTION_CELL_SIZE)) return 0;
                           return emotion_cell_color(y / EMOTION_CELL_SIZE * EMOTION_COLUMNS +
                                                     x / EMOTION_CELL_SIZE);
                       });
}

std::vector<std::uint8_t> emotion_image_build()
{
    const DdsPixels pixels = emotion_image_pixels();
    return dds_build(DdsFormat::A4R4G4B4, std::span(&pixels, 1));
}
