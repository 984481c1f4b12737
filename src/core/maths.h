// The engine's one random generator (MT11213B, main thread only), the table square root,
// small vector, angle, box and ray helpers, and the renderer's colour conversion.
// Angles are radians; headings also index the 256-step cosine table (256 steps per turn).
#pragma once

#include <array>
#include <cstdint>
#include <numbers>

constexpr float MATH_DEGREE = std::numbers::pi_v<float> / 180.0f; // one degree in radians

struct Vec3 {
    float x, y, z;
};

// Axis-aligned box; every test treats both faces as inside (min <= p <= max).
struct Box3 {
    Vec3 min, max;
};

// Random numbers. The generator is seeded with 5489 before the program body runs.
void math_rand_seed();
// Draws and discards (n & 0x3FF) values; start-up passes the millisecond clock.
void math_rand_discard(std::uint32_t n);
void math_rand_regenerate();
std::uint32_t math_rand_u32();
// A float in [0, x) from the low 23 bits of one draw.
float math_rand_float(float x);
// lo + (hi - lo) * a float in [0, 1) from one draw.
float math_rand_range(float lo, float hi);

// Square root through three tables and one multiplication: relative error about 5e-7 for
// normal inputs. Meant for non-negative inputs; a negative one (also -0.0) counts as 0, and
// 0 itself gives a tiny positive value below 1e-38.
float math_sqrt_fast(float x);
float vec3_length(const Vec3& v);
// Writes the unit vector and returns the length; a zero vector gives (0, 0, 0) and 0.
float vec3_normalize(Vec3& out, const Vec3& in);

// Exact 1 / sqrt(x), 0 for 0.
float math_rcp_sqrt(float x);
// The processor-chosen square root and reciprocal square root: each pointer starts at a
// chooser that installs the SSE estimate (12 bits) or the exact x87 version on first use.
extern float (*g_math_sqrt)(float);
extern float (*g_math_rcp_sqrt)(float);
inline float math_sqrt(float x)
{
    return g_math_sqrt(x);
}
inline float math_rsqrt(float x)
{
    return g_math_rcp_sqrt(x);
}
float math_sqrt_choose(float x);
float math_rcp_sqrt_choose(float x);
float math_sqrt_sse(float x);
float math_rcp_sqrt_sse(float x);
float math_sqrt_x87(float x);

// cos(2 pi k / 256); the sine of step k is the entry at (k - 64) & 255.
extern const std::array<float, 256> g_cos_table_256;
// The table step of a heading, truncated toward zero; the lookups below wrap it with & 255,
// so negative steps count back from the end of the table.
int math_heading_index(float heading);
inline float math_table_cos(int index)
{
    return g_cos_table_256[index & 255];
}
inline float math_table_sin(int index)
{
    return g_cos_table_256[(index - 64) & 255];
}

// Angles.
float math_wrap_2pi(float a); // into [0, 2 pi)
// wrap(b) - wrap(a) in [-pi, pi]: the short way from a to b.
float math_angle_diff(float a, float b);
// The current heading turned toward the target by at most the step, the shorter way;
// the result lies in [-pi, pi].
float math_turn_toward(float step, float current, float target);
// The same turn decided on 14-bit fixed angles (16384 per turn), as the drawn facing uses it.
float math_turn_toward_fixed(float step, float current, float target);
// The runtime's float absolute value and arc tangent of y / x (the quadrant from both signs).
float math_fabsf(float x);
float math_atan2f(float y, float x);

// Moves value by step toward target; true once it has arrived (it never overshoots).
bool math_approach(float& value, float target, float step);

// Boxes, rays and directions.
void math_box_normalize(Box3& box); // swaps min and max per axis where min > max
// The point lies in the box of the two opposite corners, given in any order; faces count as inside.
bool math_box_contains_point(const Vec3& point, const Vec3& corner1, const Vec3& corner2);
// Clamps the point into the box; true when it was outside.
bool math_clamp_to_box(const Box3& box, Vec3& out, const Vec3& point);
// The point turned about Y by the heading's table step, then tested against the box.
bool math_point_in_rotated_box(const Vec3& point, const Box3& box, float heading);
// Clamps in the box's turned frame and turns the result back; true when it was outside.
bool math_clamp_to_rotated_box(const Vec3& point, Vec3& out, const Box3& box, float heading);
// First hit of a ray (unit direction) with a sphere; the hit point goes to `out` when given.
// A ray starting inside hits on its way out.
bool math_ray_sphere(const Vec3& origin, const Vec3& direction, Vec3* out, const Vec3& centre, float radius);
// The direction turned by about the angle toward a random azimuth, normalised.
void math_random_cone_dir(Vec3& out, const Vec3& direction, float angle);
