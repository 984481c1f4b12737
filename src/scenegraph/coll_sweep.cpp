#include "scenegraph/coll_sweep.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

constexpr float MIN_MOTION = 0.00001f;
constexpr float INSIDE_TOLERANCE = 0.00001f;
constexpr float FACE_BEHIND_LIMIT = -0.00002f;
constexpr float TIE_TIME = 0.00001f;
constexpr float SAME_PLANE_DOT = 0.99999f;
// A path that passes an edge or a vertex at a squared distance of this or more only grazes it.
// Counting grazes would make every seam of a flat floor a contact, each restarting the slide.
constexpr float GRAZE_SQUARED = 0.999f;
// A body resting on a face after a push-out sits at distance 1 give or take rounding; without
// this margin it would count as overlapping again and spend every pass on pushes of nothing.
constexpr float OVERLAP_MARGIN = 0.00001f;
// Below this the motion counts as parallel to a plane or an edge, and divisions by it would
// only produce noise.
constexpr float PARALLEL_LIMIT = 1e-7f;
constexpr Vec3 RAY_DOWN{0, -510.0f, 0};

enum ContactKind : std::uint32_t {
    CONTACT_FACE = 1,
    CONTACT_EDGE = 2,
    CONTACT_VERTEX = 3,
    CONTACT_OVERLAP = 4,
};

struct CollisionContact {
    const CollisionTriangle* triangle; // the scaled copy
    Vec3 normal;                       // of the contact plane, toward the sphere's centre
    float t; // along the motion direction, unit-sphere space; the penetration (< 0) for an overlap
    ContactKind kind;
};

// The moving unit sphere of one pass.
struct Mover {
    Vec3 centre;
    Vec3 direction;
    float length;
};

std::vector<const CollisionTriangle*> g_coll_ignore_list;
std::vector<CollisionContact> g_coll_contacts;
std::vector<CollisionTriangle> g_coll_scaled;

Vec3 add(const Vec3& a, const Vec3& b)
{
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 sub(const Vec3& a, const Vec3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 mul(const Vec3& v, float s)
{
    return {v.x * s, v.y * s, v.z * s};
}
Vec3 mul_each(const Vec3& a, const Vec3& b)
{
    return {a.x * b.x, a.y * b.y, a.z * b.z};
}
float dot(const Vec3& a, const Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 cross(const Vec3& a, const Vec3& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float length(const Vec3& v)
{
    return math_sqrt_fast(dot(v, v));
}
bool finite(const Vec3& v)
{
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The unit vector, or the fallback where the vector is too short to give a direction.
Vec3 unit_or(const Vec3& v, const Vec3& fallback)
{
    float squared = dot(v, v);
    return squared > FLT_MIN ? mul(v, 1.0f / math_sqrt_fast(squared)) : fallback;
}

// Triangles without an area or with an unusable stored plane (a zero or corrupt normal,
// corners that are not finite) can only produce noise; the searches pass over them.
bool usable(const CollisionTriangle& triangle)
{
    float n2 = dot(triangle.normal, triangle.normal);
    Vec3 area = cross(sub(triangle.b, triangle.a), sub(triangle.c, triangle.a));
    return n2 > 0.99f && n2 < 1.01f && std::isfinite(triangle.d) && finite(triangle.a) &&
           finite(triangle.b) && finite(triangle.c) && dot(area, area) > FLT_MIN;
}

bool inside_triangle(const CollisionTriangle& triangle, const Vec3& p, float tolerance)
{
    const Vec3& n = triangle.normal;
    return dot(cross(sub(triangle.b, triangle.a), sub(p, triangle.a)), n) >= -tolerance &&
           dot(cross(sub(triangle.c, triangle.b), sub(p, triangle.b)), n) >= -tolerance &&
           dot(cross(sub(triangle.a, triangle.c), sub(p, triangle.c)), n) >= -tolerance;
}

// The point of the triangle's boundary nearest to p: a vertex, or a point inside an edge.
struct BoundaryPoint {
    Vec3 point;
    bool vertex;
    Vec3 edge_start; // for an edge point: the edge's start, unit direction and length
    Vec3 edge_unit;
    float edge_length;
};

BoundaryPoint nearest_boundary(const CollisionTriangle& triangle, const Vec3& p)
{
    const Vec3* edges[3][2] = {
        {&triangle.c, &triangle.a}, {&triangle.a, &triangle.b}, {&triangle.b, &triangle.c}};
    BoundaryPoint best{};
    float best_distance = FLT_MAX;
    for (const auto& edge : edges) {
        const Vec3& start = *edge[0];
        const Vec3& end = *edge[1];
        Vec3 along = sub(end, start);
        float edge_length = length(along);
        BoundaryPoint candidate{start, true, start, {}, edge_length};
        if (dot(along, along) > FLT_MIN) {
            candidate.edge_unit = mul(along, 1.0f / edge_length);
            float e = dot(sub(p, start), candidate.edge_unit);
            if (e > edge_length)
                candidate.point = end;
            else if (e >= 0)
                candidate = {add(start, mul(candidate.edge_unit, e)), false, start, candidate.edge_unit,
                             edge_length};
        }
        Vec3 gap = sub(p, candidate.point);
        float distance = dot(gap, gap);
        if (distance < best_distance) {
            best_distance = distance;
            best = candidate;
        }
    }
    return best;
}

Vec3 closest_point(const CollisionTriangle& triangle, const Vec3& p, float plane_distance)
{
    Vec3 on_plane = sub(p, mul(triangle.normal, plane_distance));
    return inside_triangle(triangle, on_plane, 0) ? on_plane : nearest_boundary(triangle, on_plane).point;
}

// The sphere reaches the vertex when the ray from the vertex back along the motion meets it.
bool vertex_contact(const Vec3& vertex, const Mover& mover, CollisionContact& contact)
{
    Vec3 w = sub(vertex, mover.centre);
    float b = dot(w, mover.direction);
    float closest_squared = dot(w, w) - b * b;
    if (closest_squared >= GRAZE_SQUARED) return false;
    float discriminant = 1 - closest_squared;
    float t = b - math_sqrt_fast(discriminant);
    Vec3 centre_at = add(mover.centre, mul(mover.direction, t));
    Vec3 normal = unit_or(sub(centre_at, vertex), mul(mover.direction, -1));
    if (dot(sub(mover.centre, vertex), normal) <= 0) return false;
    contact.normal = normal;
    contact.t = t;
    contact.kind = CONTACT_VERTEX;
    return true;
}

// The sphere's centre reaches distance 1 from the edge's line, touching it within the edge.
bool edge_contact(const BoundaryPoint& edge, const Mover& mover, CollisionContact& contact)
{
    Vec3 w = sub(mover.centre, edge.edge_start);
    Vec3 w_across = sub(w, mul(edge.edge_unit, dot(w, edge.edge_unit)));
    Vec3 d_across = sub(mover.direction, mul(edge.edge_unit, dot(mover.direction, edge.edge_unit)));
    float a = dot(d_across, d_across);
    if (a < PARALLEL_LIMIT) return false;
    float b = dot(w_across, d_across);
    float closest_squared = dot(w_across, w_across) - b * b / a;
    if (closest_squared >= GRAZE_SQUARED) return false;
    float discriminant = b * b - a * (dot(w_across, w_across) - 1);
    float t = (-b - math_sqrt_fast(std::max(discriminant, 0.0f))) / a;
    Vec3 centre_at = add(mover.centre, mul(mover.direction, t));
    float e = dot(sub(centre_at, edge.edge_start), edge.edge_unit);
    float along = e / edge.edge_length;
    if (along < -FLT_EPSILON || along > 1 + FLT_EPSILON) return false;
    Vec3 touch = add(edge.edge_start, mul(edge.edge_unit, e));
    contact.normal = unit_or(sub(centre_at, touch), mul(mover.direction, -1));
    contact.t = t;
    contact.kind = CONTACT_EDGE;
    return true;
}

bool test_triangle(const CollisionTriangle& triangle, const Mover& mover, CollisionContact& contact)
{
    contact.triangle = &triangle;
    float distance = dot(triangle.normal, mover.centre) + triangle.d;
    if (!(distance > 0)) return false;

    // An overlap is resolved whatever the motion, so it is looked for before the motion's
    // direction can end the test.
    Vec3 nearest = closest_point(triangle, mover.centre, distance);
    Vec3 away = sub(mover.centre, nearest);
    float gap = length(away);
    if (gap < 1 - OVERLAP_MARGIN) {
        contact.normal = unit_or(away, triangle.normal);
        contact.t = gap - 1;
        contact.kind = CONTACT_OVERLAP;
        return true;
    }

    float approach = dot(triangle.normal, mover.direction);
    if (std::fabs(approach) < PARALLEL_LIMIT) return false;
    Vec3 lowest = sub(mover.centre, triangle.normal);
    float s = -(dot(triangle.normal, lowest) + triangle.d) / approach;
    Vec3 hit = add(lowest, mul(mover.direction, s));
    if (inside_triangle(triangle, hit, INSIDE_TOLERANCE)) {
        // A hit behind the start is ignored, unless the body already rests on the triangle: a
        // touch as deep as a rounding error, met at a glancing angle, puts the hit far back
        // along the motion, and ignoring it would let the body sink into the face.
        if (s < FACE_BEHIND_LIMIT) {
            if (gap > 1) return false;
            s = 0;
        }
        contact.normal = triangle.normal;
        contact.t = s;
        contact.kind = CONTACT_FACE;
    } else {
        BoundaryPoint boundary = nearest_boundary(triangle, hit);
        bool touched = boundary.vertex ? vertex_contact(boundary.point, mover, contact)
                                       : edge_contact(boundary, mover, contact);
        // A touch behind the start lies on the way the body came, not on the one it takes:
        // taking it would move the body back into the geometry.
        if (!touched || contact.t < FACE_BEHIND_LIMIT) return false;
    }
    return contact.t <= mover.length && dot(contact.normal, mover.direction) < 0;
}

// Keeps the earliest contacts: a clearly earlier one replaces them, one within the tie time
// joins them unless a kept one lies in the same plane.
void keep_earliest(const CollisionContact& contact)
{
    if (!g_coll_contacts.empty()) {
        float first = g_coll_contacts.front().t;
        if (contact.t > first + TIE_TIME) return;
        if (contact.t < first - TIE_TIME) {
            g_coll_contacts.clear();
        } else {
            for (const CollisionContact& kept : g_coll_contacts)
                if (dot(kept.normal, contact.normal) > SAME_PLANE_DOT) return;
        }
    }
    g_coll_contacts.push_back(contact);
}

void find_contacts(const Mover& mover)
{
    g_coll_contacts.clear();
    for (const CollisionTriangle& triangle : g_coll_scaled) {
        if (std::find(g_coll_ignore_list.begin(), g_coll_ignore_list.end(), &triangle) !=
            g_coll_ignore_list.end())
            continue;
        CollisionContact contact;
        if (test_triangle(triangle, mover, contact)) keep_earliest(contact);
    }
}

template <typename Visit> void for_each_listed(const Visit& visit)
{
    for (const CollisionList& list : g_coll_work_list)
        for (std::uint32_t i = 0; i < list.count; ++i)
            visit(*list.triangles[i]);
}

void clear_collected_marks()
{
    for_each_listed([](CollisionTriangle& triangle) { triangle.attributes[COLL_ATTR_COLLECTED] = 0; });
}

// Whether the triangle is met for the first time in this search; marks it.
bool collect(CollisionTriangle& triangle)
{
    if (triangle.attributes[COLL_ATTR_COLLECTED]) return false;
    triangle.attributes[COLL_ATTR_COLLECTED] = 1;
    return true;
}

// Each listed triangle once, scaled uniformly into unit-sphere space.
void prepare_scaled_triangles(float scale)
{
    std::size_t listed = 0;
    for (const CollisionList& list : g_coll_work_list)
        listed += list.count;
    if (g_coll_scaled.capacity() < listed) g_coll_scaled.reserve(2 * listed);
    g_coll_scaled.clear();
    clear_collected_marks();
    for_each_listed([scale](CollisionTriangle& triangle) {
        if (!collect(triangle) || !usable(triangle)) return;
        CollisionTriangle scaled = triangle;
        scaled.a = mul(triangle.a, scale);
        scaled.b = mul(triangle.b, scale);
        scaled.c = mul(triangle.c, scale);
        scaled.d = triangle.d * scale;
        scaled.cross_length = triangle.cross_length * scale;
        scaled.centroid = mul(add(add(scaled.a, scaled.b), scaled.c), 1.0f / 3.0f);
        g_coll_scaled.push_back(scaled);
    });
}

const CollisionContact* most_opposed(const Vec3& direction, const CollisionContact* other)
{
    const CollisionContact* best = nullptr;
    float lowest = 2.0f;
    for (const CollisionContact& contact : g_coll_contacts) {
        float facing = dot(contact.normal, direction);
        if (&contact != other && facing < lowest) {
            lowest = facing;
            best = &contact;
        }
    }
    return best;
}

// The whole motion, slid on the plane: the difference of the projections of the position and
// of the position + motion is the motion less its part along the normal.
Vec3 slide_on_plane(const Vec3& motion, const Vec3& normal)
{
    return sub(motion, mul(normal, dot(normal, motion)));
}

// The motion taken along the crease of two planes: its components weighted by the crease's,
// kept to the part that goes along the old motion. A crease that leaves nothing turns the
// motion straight up.
Vec3 slide_on_crease(const Vec3& motion, float motion_length, const Vec3& n1, const Vec3& n2)
{
    Vec3 crease = cross(n1, n2);
    Vec3 weighted{std::fabs(crease.x) * motion.x, std::fabs(crease.y) * motion.y,
                  std::fabs(crease.z) * motion.z};
    if (dot(weighted, weighted) <= FLT_MIN) return {0, motion_length, 0};
    Vec3 along = unit_or(weighted, {0, 1, 0});
    return mul(along, dot(along, motion));
}

// Moves to the earliest contact and returns the next pass's motion.
Vec3 resolve_contacts(Vec3& position, const Vec3& motion, const Mover& mover)
{
    const CollisionContact& first = g_coll_contacts.front();
    if (first.kind == CONTACT_OVERLAP) {
        position = sub(position, mul(first.normal, first.t));
        return motion;
    }
    position = add(position, mul(mover.direction, first.t));
    if (g_coll_contacts.size() == 1) {
        g_coll_ignore_list.push_back(first.triangle);
        return slide_on_plane(motion, first.normal);
    }
    const CollisionContact* a = most_opposed(mover.direction, nullptr);
    const CollisionContact* b = most_opposed(mover.direction, a);
    g_coll_ignore_list.push_back(a->triangle);
    g_coll_ignore_list.push_back(b->triangle);
    return slide_on_crease(motion, mover.length, a->normal, b->normal);
}

} // namespace

void coll_alloc_work()
{
    g_coll_work_list.reserve(COLL_WORK_LIST_START);
    g_coll_ignore_list.reserve(COLL_IGNORE_LIST_START);
    g_coll_contacts.reserve(COLL_CONTACT_LIST_START);
}

void coll_free_work()
{
    g_coll_work_list = {};
    g_coll_ignore_list = {};
    g_coll_contacts = {};
    g_coll_scaled = {};
}

void coll_sweep_ellipsoid(Vec3& position, Vec3& motion, const SweepRecord& sweep, const Vec3& radii)
{
    position = sweep.position;
    motion = sweep.motion;
    if (!(radii.x > 0 && radii.y > 0 && radii.z > 0) || !finite(radii) || !finite(position) ||
        !finite(motion))
        return;

    const Vec3 to_unit{1.0f / radii.x, 1.0f / radii.y, 1.0f / radii.z};
    prepare_scaled_triangles(to_unit.x);
    Vec3 centre = mul_each(position, to_unit);
    Vec3 move = mul_each(motion, to_unit);
    const Vec3 initial = move;
    g_coll_ignore_list.clear();
    for (int pass = 0; pass < COLL_SWEEP_PASSES; ++pass) {
        float move_length = length(move);
        if (move_length < MIN_MOTION) break;
        const Mover mover{centre, mul(move, 1.0f / move_length), move_length};
        find_contacts(mover);
        if (g_coll_contacts.empty()) {
            centre = add(centre, move);
            break;
        }
        // The triangles the last pass resolved were skipped in this pass only.
        g_coll_ignore_list.clear();
        move = resolve_contacts(centre, move, mover);
        if (dot(move, initial) < 0) move = {0, 0, 0};
    }
    position = mul_each(centre, radii);
    motion = mul_each(move, radii);
}

void coll_segment_nearest_hit(Vec3& point, float& distance, CollisionTriangle*& triangle,
                              SweepRecord& segment)
{
    distance = FLT_MAX;
    triangle = nullptr;
    clear_collected_marks();
    const Vec3& direction = coll_sweep_direction(segment);
    const float segment_length = coll_sweep_length(segment);
    for_each_listed([&](CollisionTriangle& candidate) {
        if (!collect(candidate) || !usable(candidate)) return;
        float approach = dot(candidate.normal, direction);
        if (std::fabs(approach) < PARALLEL_LIMIT) return;
        float s = -(dot(candidate.normal, segment.position) + candidate.d) / approach;
        if (!(s > 0 && s <= segment_length && s < distance)) return;
        Vec3 hit = add(segment.position, mul(direction, s));
        if (!inside_triangle(candidate, hit, INSIDE_TOLERANCE)) return;
        distance = s;
        point = hit;
        triangle = &candidate;
    });
}

bool math_vertical_ray_triangle(const Vec3& point, const Vec3& a, const Vec3& b, const Vec3& c, float& t,
                                float& u, float& v)
{
    Vec3 edge1 = sub(b, a);
    Vec3 edge2 = sub(c, a);
    Vec3 p = cross(RAY_DOWN, edge2);
    float det = dot(edge1, p);
    if (det < FLT_EPSILON) return false;
    Vec3 from_a = sub(point, a);
    float uu = dot(from_a, p);
    if (uu < 0 || uu > det) return false;
    Vec3 q = cross(from_a, edge1);
    float vv = dot(RAY_DOWN, q);
    if (vv < 0 || uu + vv > det) return false;
    float inverse = 1.0f / det;
    t = dot(edge2, q) * inverse;
    u = uu * inverse;
    v = vv * inverse;
    return true;
}
