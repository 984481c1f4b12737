#include "lib/qco_writer.h"

#include "lib/archive_writer.h"
#include "lib/le_bytes.h"

#include <algorithm>
#include <cmath>

namespace {

QcoVec operator+(QcoVec a, QcoVec b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
QcoVec operator-(QcoVec a, QcoVec b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
QcoVec operator*(QcoVec a, float s)
{
    return {a.x * s, a.y * s, a.z * s};
}
QcoVec cross(QcoVec a, QcoVec b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float dot(QcoVec a, QcoVec b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

void put_vec(std::vector<std::uint8_t>& out, QcoVec v)
{
    le_put_f32(out, v.x);
    le_put_f32(out, v.y);
    le_put_f32(out, v.z);
}

void put_triangle(std::vector<std::uint8_t>& out, const QcoTriangle& triangle)
{
    QcoVec cross_product = cross(triangle.a - triangle.b, triangle.b - triangle.c);
    float length = std::sqrt(dot(cross_product, cross_product));
    QcoVec normal = length > 0 ? cross_product * (1.0f / length) : QcoVec{0, 1, 0};
    put_vec(out, triangle.a);
    put_vec(out, triangle.b);
    put_vec(out, triangle.c);
    put_vec(out, normal);
    le_put_f32(out, -dot(normal, triangle.c));
    le_put_f32(out, length);
    put_vec(out, (triangle.a + triangle.b + triangle.c) * (1.0f / 3.0f));
    out.insert(out.end(), triangle.attributes.begin(), triangle.attributes.end());
}

void put_node(std::vector<std::uint8_t>& out, const QcoNode& node)
{
    put_vec(out, node.min);
    put_vec(out, node.max);
    le_put_u32(out, static_cast<std::uint32_t>(node.triangles.size()));
    le_put_u32(out, 0);
    le_put_zeros(out, 6);
    le_put_u8(out,
              static_cast<std::uint8_t>(node.child_count >= 0 ? node.child_count : node.children.size()));
    le_put_u8(out, 0);
    // A child follows for each non-zero slot, in slot order.
    std::array<const QcoNode*, 8> by_slot{};
    for (std::size_t i = 0; i < node.children.size(); ++i)
        by_slot.at(i < node.slots.size() ? node.slots[i] : i) = &node.children[i];
    for (const QcoNode* child : by_slot)
        le_put_u32(out, child ? 1 : 0);
    for (std::uint32_t index : node.triangles)
        le_put_u32(out, index);
    for (const QcoNode* child : by_slot)
        if (child) put_node(out, *child);
}

struct Bounds {
    QcoVec min, max;
};

Bounds triangle_bounds(const QcoTriangle& t)
{
    return {
        {std::min({t.a.x, t.b.x, t.c.x}), std::min({t.a.y, t.b.y, t.c.y}), std::min({t.a.z, t.b.z, t.c.z})},
        {std::max({t.a.x, t.b.x, t.c.x}), std::max({t.a.y, t.b.y, t.c.y}), std::max({t.a.z, t.b.z, t.c.z})}};
}

bool touches(const Bounds& a, const Bounds& b)
{
    return a.min.x <= b.max.x && a.max.x >= b.min.x && a.min.y <= b.max.y && a.max.y >= b.min.y &&
           a.min.z <= b.max.z && a.max.z >= b.min.z;
}

QcoNode build_node(std::span<const QcoTriangle> triangles, const Bounds& box,
                   std::vector<std::uint32_t> inside, int depth, std::size_t leaf_size)
{
    QcoNode node{box.min, box.max, {}, {}, {}, -1};
    if (depth == 0 || inside.size() <= leaf_size) {
        node.triangles = std::move(inside);
        return node;
    }
    QcoVec mid = (box.min + box.max) * 0.5f;
    for (int octant = 0; octant < 8; ++octant) {
        Bounds child{
            {octant & 1 ? mid.x : box.min.x, octant & 2 ? mid.y : box.min.y, octant & 4 ? mid.z : box.min.z},
            {octant & 1 ? box.max.x : mid.x, octant & 2 ? box.max.y : mid.y, octant & 4 ? box.max.z : mid.z}};
        std::vector<std::uint32_t> touching;
        for (std::uint32_t index : inside)
            if (touches(triangle_bounds(triangles[index]), child)) touching.push_back(index);
        if (!touching.empty())
            node.children.push_back(build_node(triangles, child, std::move(touching), depth - 1, leaf_size));
    }
    return node;
}

} // namespace

std::vector<QcoTriangle> qco_quad(QcoVec a, QcoVec b, QcoVec c, QcoVec d, int cells)
{
    // Bilinear in the corners: u runs from a toward b, v from a toward d.
    auto at = [&](int i, int j) {
        float u = static_cast<float>(i) / static_cast<float>(cells);
        float v = static_cast<float>(j) / static_cast<float>(cells);
        return a * ((1 - u) * (1 - v)) + b * (u * (1 - v)) + c * (u * v) + d * ((1 - u) * v);
    };
    std::vector<QcoTriangle> triangles;
    for (int i = 0; i < cells; ++i) {
        for (int j = 0; j < cells; ++j) {
            triangles.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1), {}});
            triangles.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1), {}});
        }
    }
    return triangles;
}

std::vector<QcoTriangle> qco_box_room(QcoVec m, QcoVec n, int cells)
{
    const QcoVec faces[6][4] = {
        {{m.x, m.y, m.z}, {m.x, m.y, n.z}, {n.x, m.y, n.z}, {n.x, m.y, m.z}}, // floor
        {{m.x, n.y, m.z}, {n.x, n.y, m.z}, {n.x, n.y, n.z}, {m.x, n.y, n.z}}, // ceiling
        {{m.x, m.y, m.z}, {m.x, n.y, m.z}, {m.x, n.y, n.z}, {m.x, m.y, n.z}}, // -x wall
        {{n.x, m.y, m.z}, {n.x, m.y, n.z}, {n.x, n.y, n.z}, {n.x, n.y, m.z}}, // +x wall
        {{m.x, m.y, m.z}, {n.x, m.y, m.z}, {n.x, n.y, m.z}, {m.x, n.y, m.z}}, // -z wall
        {{m.x, m.y, n.z}, {m.x, n.y, n.z}, {n.x, n.y, n.z}, {n.x, m.y, n.z}}, // +z wall
    };
    std::vector<QcoTriangle> triangles;
    for (const auto& face : faces) {
        std::vector<QcoTriangle> quad = qco_quad(face[0], face[1], face[2], face[3], cells);
        triangles.insert(triangles.end(), quad.begin(), quad.end());
    }
    return triangles;
}

std::vector<QcoTriangle> qco_ramp(QcoVec low, float length, float width, float height)
{
    return qco_quad(low, low + QcoVec{0, 0, width}, low + QcoVec{length, height, width},
                    low + QcoVec{length, height, 0});
}

QcoNode qco_octree(std::span<const QcoTriangle> triangles, int depth, std::size_t leaf_size)
{
    Bounds box{{0, 0, 0}, {0, 0, 0}};
    std::vector<std::uint32_t> all(triangles.size());
    for (std::uint32_t i = 0; i < triangles.size(); ++i) {
        Bounds t = triangle_bounds(triangles[i]);
        box = i == 0 ? t
                     : Bounds{{std::min(box.min.x, t.min.x), std::min(box.min.y, t.min.y),
                               std::min(box.min.z, t.min.z)},
                              {std::max(box.max.x, t.max.x), std::max(box.max.y, t.max.y),
                               std::max(box.max.z, t.max.z)}};
        all[i] = i;
    }
    return build_node(triangles, box, std::move(all), depth, leaf_size);
}

QcoImage qco_image(std::vector<QcoTriangle> triangles, int depth, std::size_t leaf_size)
{
    QcoImage image;
    image.root = qco_octree(triangles, depth, leaf_size);
    image.triangles = std::move(triangles);
    return image;
}

std::vector<std::uint8_t> qco_bytes(const QcoImage& image)
{
    std::vector<std::uint8_t> out = {'Q', 'C', 'O', 0};
    le_put_u32(out, image.version);
    le_put_u32(out, static_cast<std::uint32_t>(image.triangles.size()));
    for (std::uint32_t word : image.kept)
        le_put_u32(out, word);
    for (const QcoTriangle& triangle : image.triangles)
        put_triangle(out, triangle);
    put_node(out, image.root);
    return out;
}

bool qco_write_file(const std::filesystem::path& path, const QcoImage& image)
{
    return tools_write_file(path, qco_bytes(image));
}
