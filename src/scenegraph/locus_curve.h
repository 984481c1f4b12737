// Sword-trail curves (".sl2", plain archive entries): for every frame of a prerecorded swing, a
// strip of points along the blade's path and a fade. Sampling gives the blade point between
// frames; drawing interpolates the strip and sends it through the shared 28-byte dynamic buffer.
#pragma once

#include "core/maths.h"
#include "platform/d3d8.h"

#include <cstdint>
#include <vector>

constexpr std::uint32_t TRAIL_MATERIAL = 0x246C1;

struct TrailHeader {
    std::uint32_t unread0;
    std::uint32_t frame_count;
    std::uint32_t point_count;
    std::uint32_t triangle_count; // of the strip
    float scale;                  // of the trail object
    std::uint32_t unread14;
    std::uint32_t segment_count;
};
static_assert(sizeof(TrailHeader) == 28);

// A strip vertex as stored; uploaded as it stands for the 28-byte vertex declaration. The
// position and colour are rewritten by every draw.
struct TrailVertex {
    float x, y, z;
    std::uint32_t color;
    float u, v;
    float unscaled; // 0: scaled with the blade
};
static_assert(sizeof(TrailVertex) == 28);

// The frames first .. end - 1 of one swing.
struct TrailSegment {
    std::uint32_t first_frame;
    std::uint32_t end_frame;
    float scale;
    std::uint32_t unread;
};
static_assert(sizeof(TrailSegment) == 16);

struct TrailFrame {
    float speed; // frames advanced per tick
    float fade;
};

struct TrailCurve {
    TrailHeader header{};
    std::vector<TrailVertex> vertices; // the strip template, point_count entries
    std::vector<TrailSegment> segments;
    std::vector<TrailFrame> frames;
    std::vector<Vec3> points;   // frame_count x point_count, frame by frame
    float written_fade = -1.0f; // the fade in the template's colours; -1 forces the next write
};

// ERR_OPEN_FILE when the entry is missing; ERR_READ_FILE when it is shorter than its counts
// say; ERR_UNSUPPORTED_FORMAT for fewer than 2 points, more than the dynamic buffer holds, more
// triangles than the points make (P - 2), or a segment reaching past the last frame. A failed
// load leaves the curve empty.
HRESULT renderer_trail_load(TrailCurve& curve, const char* path);

// The first point at frame time t (frames clamped into the curve, the following frame used only
// where it exists), scaled by (s, (s + 1) / 2, s). (0, 0, 0) for a curve without frames.
void renderer_trail_sample(Vec3& out, const TrailCurve& curve, float t, float s);

// Draws the strip at frame time t with the world constants the caller has set: the fade is the
// frame's times the given one, vertices marked as scaled take (s, (s + 1) / 2, s).
void renderer_trail_draw(float t, IDirect3DBaseTexture8* texture, float fade, float s, TrailCurve& curve);
