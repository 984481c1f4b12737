#include "lib/demo_trails.h"

#include "lib/dds_writer.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <string>

namespace {

constexpr std::uint32_t k_frames_first = 16; // curve 0; each later curve has 4 more
constexpr std::uint32_t k_frames_step = 4;
constexpr std::uint32_t k_points = 8;

// A band across the strip, bright along its middle and fading to its edges, tinted per image.
DdsPixels band_image(std::uint32_t rgb)
{
    return dds_pattern(64, 16, [rgb](std::uint32_t, std::uint32_t y) -> std::uint32_t {
        const float edge = std::fabs(static_cast<float>(y) - 7.5f) / 8.0f;
        return edge < 0.8f ? 0xFF000000 | rgb : 0;
    });
}

// A round spot with a hard rim, as the 1-bit alpha of the trail images keeps it.
DdsPixels spot_image(std::uint32_t rgb)
{
    return dds_pattern(16, 16, [rgb](std::uint32_t x, std::uint32_t y) -> std::uint32_t {
        const float r = std::hypot(static_cast<float>(x) - 7.5f, static_cast<float>(y) - 7.5f);
        return r < 7.0f ? 0xFF000000 | rgb : 0;
    });
}

ArchiveSource image_file(const char* name, const DdsPixels& pixels)
{
    return {std::string("data\\image\\") + name, dds_build(DdsFormat::A1R5G5B5, std::span(&pixels, 1))};
}

} // namespace

Sl2Image demo_trail_curve(int n)
{
    const std::uint32_t frames = k_frames_first + k_frames_step * static_cast<std::uint32_t>(n);
    Sl2Image image = sl2_swing(frames, k_points);
    const std::uint32_t length = frames / DEMO_TRAIL_SEGMENTS;
    image.segments.clear();
    for (std::uint32_t s = 0; s < DEMO_TRAIL_SEGMENTS; ++s)
        image.segments.push_back({s * length, std::min(frames, (s + 1) * length + 1), 1.0f});
    return image;
}

std::vector<ArchiveSource> demo_trail_files()
{
    std::vector<ArchiveSource> files;
    for (int n = 0; n < DEMO_TRAIL_CURVES; ++n)
        files.push_back({"data\\effect\\sword" + std::to_string(n) + ".sl2", sl2_bytes(demo_trail_curve(n))});
    files.push_back(image_file("locus0.dds", band_image(0xC0E0FF)));
    files.push_back(image_file("locus1.dds", band_image(0xFF8060)));
    files.push_back(image_file("locus_sp0.dds", band_image(0xFFE070)));
    files.push_back(image_file("hmlzr1.dds", spot_image(0xFF60FF)));
    files.push_back(image_file("sparkle.dds", spot_image(0xFFFFC0)));
    return files;
}
