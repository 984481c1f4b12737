#include "game/g_decal.h"

#include "core/maths.h"
#include "object/go_mesh.h"
#include "object/obj_pools.h"
#include "scenegraph/renderer.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float FADE_SCALE[DECAL_KIND_COUNT] = {0.16f, 0.058181818f, 0.058181818f, 0.16f};
constexpr int KIND_NARROW = 2;
constexpr float NARROW_BELOW = -0.75f;
constexpr float NARROW_ABOVE = 0.75f;
constexpr float WIDE_BELOW = -3.5f;
constexpr float WIDE_ABOVE = 7.0f;
constexpr float QUAD_MIN_FADE = 0.25f;
// Below this |n x z| the ground normal gives the quad no direction of its own.
constexpr float QUAD_AXIS_EPSILON = 1.0e-6f;

// What the projection's callback needs for one mesh.
struct DecalProjection {
    TriangleBatch* batch;
    std::uint32_t budget;    // free triangles left
    const D3DXMATRIX* world; // null for meshes at the identity
    float position_y;
    float ground;
    int kind;
    float fade;
    float strength;
    std::uint32_t rgb;
    float uv_scale;
    float u_offset;
    float v_offset;
};

bool valid(int batch, int kind)
{
    return batch >= 0 && batch < TRI_BATCH_COUNT && kind >= 0 && kind < DECAL_KIND_COUNT;
}

float strength_of(std::uint32_t packed)
{
    return static_cast<float>(packed >> 24) / 255.0f;
}

float fade_of(const D3DXVECTOR3& position, float ground, int kind, float lowest)
{
    return std::clamp(1.0f - (position.y - ground) * FADE_SCALE[kind], lowest, 1.0f);
}

// floor(b x 256) within 0..255.
std::uint32_t colour_byte(float b)
{
    if (!(b > 0.0f)) return 0;
    return static_cast<std::uint32_t>(std::min(std::floor(b * 256.0f), 255.0f));
}

D3DCOLOR batch_colour(const TriangleBatch& batch, std::uint32_t byte, std::uint32_t rgb)
{
    if (batch.material & DECAL_GREY_BATCH) return 0xFF000000u + byte * 0x010101u;
    return byte << 24 | rgb;
}

BatchVertex* append_triangles(TriangleBatch& batch, std::uint32_t triangles)
{
    BatchVertex* vertices = &batch.vertices[static_cast<std::size_t>(batch.count) * 3];
    batch.count += triangles;
    return vertices;
}

// All three below 0 or all three above 1.
bool outside_unit(float a, float b, float c)
{
    return (a < 0.0f && b < 0.0f && c < 0.0f) || (a > 1.0f && b > 1.0f && c > 1.0f);
}

void emit_triangle(DecalProjection& projection, const CollisionTriangle& triangle, const float (&u)[3],
                   const float (&v)[3])
{
    const Vec3* corners[3] = {&triangle.a, &triangle.b, &triangle.c};
    BatchVertex* out = append_triangles(*projection.batch, 1);
    for (int i = 0; i < 3; ++i) {
        D3DXVECTOR3 corner{corners[i]->x, corners[i]->y, corners[i]->z};
        if (projection.world) D3DXVec3TransformCoord(&corner, &corner, projection.world);
        float b = (projection.fade - (projection.ground - corner.y)) * projection.strength;
        if (b > 1.0f) b = 2.0f - b;
        out[i] = {corner.x, corner.y,
                  corner.z, batch_colour(*projection.batch, colour_byte(b), projection.rgb),
                  u[i],     v[i]};
    }
}

void quad_corners(D3DXVECTOR3 (&q)[4], const D3DXVECTOR3& normal, const D3DXVECTOR3& p, float s, float h)
{
    const Vec3 n{normal.x, normal.y, normal.z};
    Vec3 a{n.y, -n.x, 0.0f}; // n x (0, 0, 1)
    const bool exact_up = normal.x == 0.0f && normal.y == 1.0f && normal.z == 0.0f;
    if (exact_up || vec3_length(a) < QUAD_AXIS_EPSILON) {
        q[0] = {p.x - s, h, p.z + s};
        q[1] = {p.x + s, h, p.z + s};
        q[2] = {p.x - s, h, p.z - s};
        q[3] = {p.x + s, h, p.z - s};
        return;
    }
    Vec3 b{n.y * a.z - n.z * a.y, n.z * a.x - n.x * a.z, n.x * a.y - n.y * a.x}; // n x a
    vec3_normalize(a, a);
    vec3_normalize(b, b);
    a = {a.x * s, a.y * s, a.z * s};
    b = {b.x * s, b.y * s, b.z * s};
    q[0] = {p.x + a.x, h + a.y - b.y, p.z - b.z};
    q[1] = {p.x + a.x, h + a.y + b.y, p.z + b.z};
    q[2] = {p.x - a.x, h - a.y - b.y, p.z - b.z};
    q[3] = {p.x - a.x, h - a.y + b.y, p.z + b.z};
}

} // namespace

HRESULT decal_draw(const D3DXVECTOR3& position, int kind, int batch, std::uint32_t packed, float size,
                   float ground, const D3DXVECTOR3& normal, bool quad_only)
{
    if (!quad_only) {
        const HRESULT projected = decal_project(position, packed, batch, size, ground, kind);
        if (SUCCEEDED(projected)) return projected;
    }
    return decal_draw_quad(batch, normal, packed, position, size, ground, kind);
}

HRESULT decal_project(const D3DXVECTOR3& position, std::uint32_t packed, int batch, float size, float ground,
                      int kind)
{
    if (!valid(batch, kind)) return E_INVALIDARG;
    if (!(size > 0.0f)) return S_OK;
    TriangleBatch& target = g_tri_batches[batch];
    if (target.count >= target.capacity) return E_OUTOFMEMORY;

    DecalProjection projection{.batch = &target,
                               .budget = target.capacity - target.count,
                               .world = nullptr,
                               .position_y = position.y,
                               .ground = ground,
                               .kind = kind,
                               .fade = fade_of(position, ground, kind, 0.0f),
                               .strength = strength_of(packed),
                               .rgb = packed & 0xFFFFFFu,
                               .uv_scale = 0.5f / size,
                               .u_offset = 0.0f,
                               .v_offset = 0.0f};
    HitProbe probe;
    decal_probe_init(position, {0.0f, -DECAL_PROBE_DEPTH, 0.0f}, probe, size, decal_triangle_cb, &projection);
    for (std::int32_t i = 0; i < g_pool_mesh.count && projection.budget > 0; ++i) {
        GoMesh& mesh = *static_cast<GoMesh*>(g_pool_mesh.active[i]);
        if (!mesh.enabled || !mesh.has_collision_a) continue;
        HitSegment& segment = probe.segment;
        if (mesh.identity)
            coll_record_set_world(segment.world_end, segment.world_start, segment);
        else
            coll_record_to_mesh_space(segment.world_start, segment, segment.world_end, mesh.combined_inverse);
        projection.world = mesh.identity ? nullptr : &mesh.combined;
        projection.u_offset = size - segment.working.position.x;
        projection.v_offset = size - segment.working.position.z;
        mesh.QueryCollision(probe);
    }
    return S_OK;
}

void decal_triangle_cb(std::span<const CollisionList> lists, void* data)
{
    DecalProjection& projection = *static_cast<DecalProjection*>(data);
    if (projection.budget == 0) return;
    for (const CollisionList& list : lists)
        for (std::uint32_t i = 0; i < list.count; ++i)
            list.triangles[i]->attributes[COLL_ATTR_COLLECTED] = 0;

    const float reference = projection.position_y - (projection.world ? projection.world->_42 : 0.0f);
    const bool narrow = projection.kind == KIND_NARROW;
    const float below = narrow ? NARROW_BELOW : WIDE_BELOW;
    const float above = narrow ? NARROW_ABOVE : WIDE_ABOVE;
    for (const CollisionList& list : lists) {
        for (std::uint32_t i = 0; i < list.count; ++i) {
            CollisionTriangle& triangle = *list.triangles[i];
            if (triangle.attributes[COLL_ATTR_COLLECTED]) continue;
            triangle.attributes[COLL_ATTR_COLLECTED] = 1;
            const float d = reference - triangle.centroid.y;
            if (!(d >= below && d <= above)) continue;
            const float s = projection.uv_scale;
            const float u[3] = {(triangle.a.x + projection.u_offset) * s,
                                (triangle.b.x + projection.u_offset) * s,
                                (triangle.c.x + projection.u_offset) * s};
            if (outside_unit(u[0], u[1], u[2])) continue;
            const float v[3] = {(triangle.a.z + projection.v_offset) * s,
                                (triangle.b.z + projection.v_offset) * s,
                                (triangle.c.z + projection.v_offset) * s};
            if (outside_unit(v[0], v[1], v[2])) continue;
            emit_triangle(projection, triangle, u, v);
            if (--projection.budget == 0) return;
        }
    }
}

HRESULT decal_draw_quad(int batch, const D3DXVECTOR3& normal, std::uint32_t packed,
                        const D3DXVECTOR3& position, float size, float ground, int kind)
{
    if (!valid(batch, kind)) return E_INVALIDARG;
    if (!(size > 0.0f)) return S_OK;
    TriangleBatch& target = g_tri_batches[batch];
    if (target.count + 2 > target.capacity) return E_OUTOFMEMORY;

    const float fade = fade_of(position, ground, kind, QUAD_MIN_FADE);
    D3DXVECTOR3 q[4];
    quad_corners(q, normal, position, size, ground + DECAL_QUAD_LIFT);
    const float strength = strength_of(packed);
    const float a = strength * fade;
    // The coloured form takes the strength a second time.
    const std::uint32_t byte = colour_byte((target.material & DECAL_GREY_BATCH) ? a : strength * a);
    const D3DCOLOR colour = batch_colour(target, byte, packed & 0xFFFFFFu);
    const float uv[4][2] = {{0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}};
    constexpr int ORDER[6] = {0, 1, 2, 3, 2, 1};
    BatchVertex* out = append_triangles(target, 2);
    for (int i = 0; i < 6; ++i) {
        const int k = ORDER[i];
        out[i] = {q[k].x, q[k].y, q[k].z, colour, uv[k][0], uv[k][1]};
    }
    return S_OK;
}

void decal_probe_init(const D3DXVECTOR3& start, const D3DXVECTOR3& direction, HitProbe& probe, float radius,
                      HitProbeCallback callback, void* data)
{
    probe = HitProbe{};
    hit_segment_query_init(start, direction, probe.segment);
    probe.radius = radius;
    probe.callback = callback;
    probe.callback_data = data;
}
