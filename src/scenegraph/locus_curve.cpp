#include "scenegraph/locus_curve.h"

#include "core/bytes.h"
#include "core/errors.h"
#include "core/vfs.h"
#include "lowlv/d3d/d3d_state.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

namespace {

constexpr std::uint64_t FRAME_HEAD_SIZE = 8;
constexpr std::uint64_t POINT_SIZE = 12;
constexpr std::uint64_t STRIP_INDEX_SIZE = 6; // per triangle, stored after the frames and not used

// The frame a time falls in and the weight of the following frame (0 where there is none).
struct FrameTime {
    std::uint32_t frame;
    float frac;
};

FrameTime frame_time(const TrailCurve& curve, float t)
{
    std::uint32_t last = curve.header.frame_count - 1;
    if (!(t > 0)) return {0, 0};
    float whole = std::floor(t);
    if (whole >= static_cast<float>(last)) return {last, 0};
    return {static_cast<std::uint32_t>(whole), t - whole};
}

float lerp(float a, float b, float frac)
{
    return a + (b - a) * frac;
}

Vec3 point_at(const TrailCurve& curve, const FrameTime& time, std::uint32_t point)
{
    const std::size_t points = curve.header.point_count;
    const Vec3& a = curve.points[time.frame * points + point];
    if (time.frac == 0) return a;
    const Vec3& b = curve.points[(time.frame + 1) * points + point];
    return {lerp(a.x, b.x, time.frac), lerp(a.y, b.y, time.frac), lerp(a.z, b.z, time.frac)};
}

float fade_at(const TrailCurve& curve, const FrameTime& time)
{
    float fade = curve.frames[time.frame].fade;
    return time.frac == 0 ? fade : lerp(fade, curve.frames[time.frame + 1].fade, time.frac);
}

Vec3 blade_scaled(const Vec3& p, float s)
{
    return {p.x * s, p.y * (s + 1) * 0.5f, p.z * s};
}

std::uint32_t fade_color(float fade)
{
    std::uint32_t alpha = fade > 0 ? static_cast<std::uint32_t>(std::min(255.0f, std::floor(fade * 256))) : 0;
    return alpha << 24 | 0xFFFFFF;
}

HRESULT check_counts(const TrailHeader& header)
{
    std::uint32_t capacity = g_renderer_vb_layouts[RVB_WORLD_QUAD].capacity;
    if (header.point_count < 2 || header.point_count > capacity) return ERR_UNSUPPORTED_FORMAT;
    if (header.triangle_count > header.point_count - 2) return ERR_UNSUPPORTED_FORMAT;
    return S_OK;
}

std::uint64_t block_size(const TrailHeader& header)
{
    std::uint64_t points = header.point_count;
    return header.frame_count * (FRAME_HEAD_SIZE + POINT_SIZE * points) +
           header.segment_count * sizeof(TrailSegment) + header.triangle_count * STRIP_INDEX_SIZE +
           points * sizeof(TrailVertex);
}

void parse_block(TrailCurve& curve, ByteReader& reader)
{
    const TrailHeader& header = curve.header;
    curve.vertices.resize(header.point_count);
    reader.Read(curve.vertices.data(), curve.vertices.size() * sizeof(TrailVertex));
    curve.segments.resize(header.segment_count);
    reader.Read(curve.segments.data(), curve.segments.size() * sizeof(TrailSegment));
    curve.frames.resize(header.frame_count);
    curve.points.resize(static_cast<std::size_t>(header.frame_count) * header.point_count);
    for (std::uint32_t f = 0; f < header.frame_count; ++f) {
        reader.Read(curve.frames[f]);
        reader.Read(curve.points.data() + static_cast<std::size_t>(f) * header.point_count,
                    header.point_count * sizeof(Vec3));
    }
}

bool segments_within(const TrailCurve& curve)
{
    return std::all_of(curve.segments.begin(), curve.segments.end(), [&](const TrailSegment& segment) {
        return segment.first_frame <= segment.end_frame && segment.end_frame <= curve.header.frame_count;
    });
}

HRESULT read_curve(TrailCurve& curve, std::span<const std::uint8_t> file)
{
    ByteReader reader(file);
    if (!reader.Read(curve.header)) return ERR_READ_FILE;
    HRESULT result = check_counts(curve.header);
    if (FAILED(result)) return result;
    if (block_size(curve.header) > reader.Remaining()) return ERR_READ_FILE;
    parse_block(curve, reader);
    return segments_within(curve) ? S_OK : ERR_UNSUPPORTED_FORMAT;
}

} // namespace

HRESULT renderer_trail_load(TrailCurve& curve, const char* path)
{
    curve = TrailCurve{};
    std::vector<std::uint8_t> bytes;
    HRESULT result = vfs_read_entry(path, bytes);
    if (SUCCEEDED(result)) result = read_curve(curve, bytes);
    if (FAILED(result)) curve = TrailCurve{};
    return result;
}

void renderer_trail_sample(Vec3& out, const TrailCurve& curve, float t, float s)
{
    if (curve.frames.empty()) {
        out = {0, 0, 0};
        return;
    }
    out = blade_scaled(point_at(curve, frame_time(curve, t), 0), s);
}

void renderer_trail_draw(float t, IDirect3DBaseTexture8* texture, float fade, float s, TrailCurve& curve)
{
    const std::uint32_t triangles = curve.header.triangle_count;
    if (curve.frames.empty() || triangles == 0) return;
    const FrameTime time = frame_time(curve, t);

    fade *= fade_at(curve, time);
    if (fade != curve.written_fade) {
        std::uint32_t color = fade_color(fade);
        for (TrailVertex& vertex : curve.vertices)
            vertex.color = color;
        curve.written_fade = fade;
    }
    for (std::uint32_t j = 0; j < curve.vertices.size(); ++j) {
        TrailVertex& vertex = curve.vertices[j];
        Vec3 p = point_at(curve, time, j);
        if (vertex.unscaled == 0) p = blade_scaled(p, s);
        vertex.x = p.x;
        vertex.y = p.y;
        vertex.z = p.z;
    }

    if (g_current_material != TRAIL_MATERIAL) renderer_set_material_state(TRAIL_MATERIAL);
    d3d_set_texture_cached(0, texture);
    DynamicBuffer& buffer = renderer_use_vb_shader28();
    UINT first = 0;
    if (!renderer_vb_upload(static_cast<UINT>(curve.vertices.size()), buffer, curve.vertices.data(), first))
        return;
    d3d_draw_primitive(D3DPT_TRIANGLESTRIP, first, triangles);
}
