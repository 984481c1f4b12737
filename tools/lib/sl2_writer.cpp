#include "lib/sl2_writer.h"

#include "lib/archive_writer.h"
#include "lib/le_bytes.h"

#include <cmath>
#include <stdexcept>

namespace {

constexpr float HILT_RADIUS = 0.5f;
constexpr float TIP_RADIUS = 1.5f;
constexpr float SWING_STEP = 0.2f; // radians per frame
constexpr float TRAIL_LAG = 0.1f;  // radians between the pairs along the arc

std::uint32_t triangle_count(const Sl2Image& image)
{
    if (image.triangle_count >= 0) return static_cast<std::uint32_t>(image.triangle_count);
    return image.vertices.size() >= 2 ? static_cast<std::uint32_t>(image.vertices.size() - 2) : 0;
}

} // namespace

Sl2Image sl2_swing(std::uint32_t frames, std::uint32_t points)
{
    Sl2Image image;
    std::uint32_t pairs = (points + 1) / 2;
    for (std::uint32_t j = 0; j < points; ++j) {
        Sl2Vertex vertex;
        vertex.u = pairs > 1 ? static_cast<float>(j / 2) / static_cast<float>(pairs - 1) : 0;
        vertex.v = static_cast<float>(j % 2);
        image.vertices.push_back(vertex);
    }
    for (std::uint32_t f = 0; f < frames; ++f) {
        float fade_start = static_cast<float>(frames) * 0.75f;
        float fade =
            f < fade_start ? 1.0f : 1.0f - (static_cast<float>(f) - fade_start) / (frames - fade_start);
        Sl2Frame frame{1.0f, fade, {}};
        for (std::uint32_t j = 0; j < points; ++j) {
            float angle = static_cast<float>(f) * SWING_STEP - static_cast<float>(j / 2) * TRAIL_LAG;
            float radius = j % 2 ? TIP_RADIUS : HILT_RADIUS;
            frame.points.push_back({radius * std::cos(angle), 1.0f, radius * std::sin(angle)});
        }
        image.frames.push_back(frame);
    }
    image.segments.push_back({0, frames, 1.0f});
    return image;
}

std::vector<std::uint8_t> sl2_bytes(const Sl2Image& image)
{
    std::vector<std::uint8_t> out;
    std::uint32_t triangles = triangle_count(image);
    le_put_u32(out, 0);
    le_put_u32(out, static_cast<std::uint32_t>(image.frames.size()));
    le_put_u32(out, static_cast<std::uint32_t>(image.vertices.size()));
    le_put_u32(out, triangles);
    le_put_f32(out, image.scale);
    le_put_u32(out, 0);
    le_put_u32(out, static_cast<std::uint32_t>(image.segments.size()));
    for (const Sl2Vertex& vertex : image.vertices) {
        for (float value : {vertex.x, vertex.y, vertex.z})
            le_put_f32(out, value);
        le_put_u32(out, vertex.color);
        for (float value : {vertex.u, vertex.v, vertex.unscaled})
            le_put_f32(out, value);
    }
    for (const Sl2Segment& segment : image.segments) {
        le_put_u32(out, segment.first_frame);
        le_put_u32(out, segment.end_frame);
        le_put_f32(out, segment.scale);
        le_put_u32(out, 0);
    }
    for (const Sl2Frame& frame : image.frames) {
        if (frame.points.size() != image.vertices.size())
            throw std::invalid_argument("sl2: a frame's point count differs from the vertex count");
        le_put_f32(out, frame.speed);
        le_put_f32(out, frame.fade);
        for (const Sl2Point& p : frame.points)
            for (float value : {p.x, p.y, p.z})
                le_put_f32(out, value);
    }
    le_put_zeros(out, 6 * static_cast<std::size_t>(triangles));
    return out;
}

bool sl2_write_file(const std::filesystem::path& path, const Sl2Image& image)
{
    return tools_write_file(path, sl2_bytes(image));
}
