// Writer of sword-trail curves (".sl2"): a 28-byte header (a word, frame count F, point count
// P, triangle count T, scale, a word, segment count S), then the P 28-byte strip vertices
// (x, y, z, colour, u, v, and a float that is 0 for vertices scaled with the blade), the S
// 16-byte segments (first frame, end frame, scale, a word), the F frames (speed, fade, P points
// of x, y, z) and T x 6 bytes of strip indices.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

constexpr std::uint32_t SL2_HEADER_SIZE = 28;
constexpr std::uint32_t SL2_VERTEX_SIZE = 28;
constexpr std::uint32_t SL2_SEGMENT_SIZE = 16;
// Header offsets of the counts, for fixtures that damage them.
constexpr std::size_t SL2_OFFSET_FRAMES = 0x04;
constexpr std::size_t SL2_OFFSET_POINTS = 0x08;
constexpr std::size_t SL2_OFFSET_TRIANGLES = 0x0C;
constexpr std::size_t SL2_OFFSET_SEGMENTS = 0x18;

struct Sl2Point {
    float x, y, z;
};

struct Sl2Vertex {
    float x = 0, y = 0, z = 0;
    std::uint32_t color = 0xFFFFFFFF;
    float u = 0, v = 0;
    float unscaled = 0;
};

struct Sl2Segment {
    std::uint32_t first_frame;
    std::uint32_t end_frame;
    float scale;
};

struct Sl2Frame {
    float speed;
    float fade;
    std::vector<Sl2Point> points; // one per vertex
};

struct Sl2Image {
    float scale = 1.0f;
    int triangle_count = -1; // -1: a strip over every vertex (P - 2)
    std::vector<Sl2Vertex> vertices;
    std::vector<Sl2Segment> segments;
    std::vector<Sl2Frame> frames;
};

// A blade of `points` vertices (hilt and tip in turn, along the arc behind the blade) swung
// about the vertical axis over `frames` frames at speed 1, fading out over the last quarter;
// one segment over all frames. Vertex 0 is the blade point.
Sl2Image sl2_swing(std::uint32_t frames, std::uint32_t points);

// Throws std::invalid_argument when a frame's point count differs from the vertex count.
std::vector<std::uint8_t> sl2_bytes(const Sl2Image& image);
bool sl2_write_file(const std::filesystem::path& path, const Sl2Image& image);
