#include "app/app_icon.h"

#include "app/app_window.h"

#include <cmath>

namespace {

// A silver blade crossing a dark-red disc, drawn at any size so both icon sizes stay sharp.
IconImage draw_icon(int size)
{
    IconImage image{size, size, std::vector<std::uint32_t>(static_cast<std::size_t>(size) * size, 0)};
    const float centre = (size - 1) * 0.5f;
    const float radius = size * 0.47f;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            float dx = x - centre, dy = y - centre;
            if (std::sqrt(dx * dx + dy * dy) > radius) continue;
            float from_blade = std::fabs(dx + dy) / std::sqrt(2.0f); // distance from the diagonal
            bool blade = from_blade < size * 0.07f && dx - dy < radius * 1.2f;
            image.argb[static_cast<std::size_t>(y) * size + x] = blade ? 0xFFD8DCE4 : 0xFF6A1020;
        }
    }
    return image;
}

} // namespace

void app_register_resources()
{
    resource_add_icon(APP_ICON_RESOURCE, {draw_icon(32), draw_icon(16)});
}
