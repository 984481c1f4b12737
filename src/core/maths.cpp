#include "core/maths.h"

#include "core/cpu.h"

#include <bit>
#include <cmath>
#include <utility>
#include <xmmintrin.h>

namespace {

constexpr float PI = 3.14159265f;
constexpr float TWO_PI = 6.28318531f;
constexpr float HEADING_STEPS_PER_RADIAN = 40.743664f; // 256 / 2 pi
constexpr float FIXED_STEPS_PER_RADIAN = 2607.5945f;   // 16384 / 2 pi
constexpr int FIXED_TURN = 16384;
constexpr int FIXED_MASK = FIXED_TURN - 1;
constexpr int FIXED_HALF_TURN = FIXED_TURN / 2;

// MT11213B.
constexpr int MT_N = 351;
constexpr int MT_M = 175;
constexpr std::uint32_t MT_MATRIX = 0xCCAB8EE7;
constexpr std::uint32_t MT_LOWER_MASK = 0x7FFFF;
constexpr std::uint32_t MT_UPPER_MASK = ~MT_LOWER_MASK;
constexpr std::uint32_t MT_DEFAULT_SEED = 5489;

struct MtState {
    std::uint32_t words[MT_N];
    int index; // MT_N: regenerate before the next draw
};

constexpr MtState mt_seeded(std::uint32_t seed)
{
    MtState state{};
    state.words[0] = seed;
    for (int i = 1; i < MT_N; ++i) {
        std::uint32_t previous = state.words[i - 1];
        state.words[i] = 1812433253u * (previous ^ (previous >> 30)) + static_cast<std::uint32_t>(i);
    }
    state.index = MT_N;
    return state;
}

// Seeded at compile time, so the generator is ready before any other static initialiser runs.
MtState g_rand = mt_seeded(MT_DEFAULT_SEED);

// Square-root tables. Built at compile time with a Newton root in double precision.
constexpr double const_sqrt(double v)
{
    double root = v;
    for (int i = 0; i < 64; ++i)
        root = 0.5 * (root + v / root);
    return root;
}

constexpr std::uint32_t round_to_u32(double v)
{
    return static_cast<std::uint32_t>(v + 0.5);
}

constexpr std::array<std::uint32_t, 256> make_exponent_table()
{
    std::array<std::uint32_t, 256> table{};
    for (int e = 1; e < 255; ++e)
        table[e] = static_cast<std::uint32_t>(((e - 127) >> 1) + 127) << 23;
    table[255] = 0x7F800000;
    return table;
}

// Index bits: the exponent's lowest bit, then the top 8 mantissa bits. An even biased exponent
// means an odd unbiased one, whose root is taken of 2 * 1.m.
constexpr double bucket_root(int index, int mantissa_step)
{
    double scale = (index & 0x100) ? 1.0 : 2.0;
    return const_sqrt(scale * (1.0 + mantissa_step / 256.0));
}

constexpr double MANTISSA_ONE = 8388608.0; // 2^23

constexpr std::array<std::uint32_t, 512> make_mantissa_table()
{
    std::array<std::uint32_t, 512> table{};
    for (int i = 0; i < 512; ++i)
        table[i] = round_to_u32((bucket_root(i, i & 0xFF) - 1.0) * MANTISSA_ONE);
    return table;
}

// Four times the change across the bucket: the low 15 input bits times the slope, shifted
// right by 17, spans exactly that change.
constexpr std::array<std::uint32_t, 512> make_slope_table()
{
    std::array<std::uint32_t, 512> table{};
    for (int i = 0; i < 512; ++i) {
        double change = bucket_root(i, (i & 0xFF) + 1) - bucket_root(i, i & 0xFF);
        table[i] = round_to_u32(4.0 * change * MANTISSA_ONE);
    }
    return table;
}

constexpr std::array<std::uint32_t, 256> k_sqrt_exponent = make_exponent_table();
constexpr std::array<std::uint32_t, 512> k_sqrt_mantissa = make_mantissa_table();
constexpr std::array<std::uint32_t, 512> k_sqrt_slope = make_slope_table();

constexpr double const_cos(double x)
{
    constexpr double pi = 3.14159265358979323846;
    if (x > pi) x -= 2.0 * pi;
    double term = 1.0, sum = 1.0;
    for (int n = 1; n < 40; ++n) {
        term *= -x * x / ((2 * n - 1) * (2 * n));
        sum += term;
    }
    return sum;
}

constexpr std::array<float, 256> make_cos_table()
{
    std::array<float, 256> table{};
    for (int k = 0; k < 256; ++k)
        table[k] = static_cast<float>(const_cos(2.0 * 3.14159265358979323846 * k / 256.0));
    return table;
}

float rand_unit()
{
    std::uint32_t bits = (math_rand_u32() & 0x7FFFFF) | 0x3F800000; // [1, 2)
    return std::bit_cast<float>(bits) - 1.0f;
}

float wrap_pi(float a)
{
    float wrapped = math_wrap_2pi(a);
    return wrapped > PI ? wrapped - TWO_PI : wrapped;
}

int to_fixed_angle(float wrapped)
{
    return static_cast<int>((static_cast<double>(wrapped) + PI) * FIXED_STEPS_PER_RADIAN) & FIXED_MASK;
}

Vec3 sub(const Vec3& a, const Vec3& b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
float dot(const Vec3& a, const Vec3& b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

bool inside_box(const Box3& box, const Vec3& p)
{
    return box.min.x <= p.x && p.x <= box.max.x && box.min.y <= p.y && p.y <= box.max.y && box.min.z <= p.z &&
           p.z <= box.max.z;
}

// Turns a point about the Y axis by a table step.
Vec3 rotate_y(const Vec3& p, int step)
{
    float c = math_table_cos(step);
    float s = math_table_sin(step);
    return {p.x * c - p.z * s, p.y, p.z * c + p.x * s};
}

} // namespace

constexpr std::array<float, 256> g_cos_table_256 = make_cos_table();

void math_rand_seed()
{
    g_rand = mt_seeded(MT_DEFAULT_SEED);
}

void math_rand_discard(std::uint32_t n)
{
    for (std::uint32_t i = n & 0x3FF; i > 0; --i)
        math_rand_u32();
}

void math_rand_regenerate()
{
    std::uint32_t* x = g_rand.words;
    for (int i = 0; i < MT_N; ++i) {
        std::uint32_t y = (x[i] & MT_UPPER_MASK) | (x[(i + 1) % MT_N] & MT_LOWER_MASK);
        x[i] = x[(i + MT_M) % MT_N] ^ (y >> 1) ^ ((y & 1) ? MT_MATRIX : 0);
    }
    g_rand.index = 0;
}

std::uint32_t math_rand_u32()
{
    if (g_rand.index >= MT_N) math_rand_regenerate();
    std::uint32_t y = g_rand.words[g_rand.index++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x31B6AB00;
    y ^= (y << 15) & 0xFFE50000;
    y ^= y >> 17;
    return y;
}

float math_rand_float(float x)
{
    return rand_unit() * x;
}

float math_rand_range(float lo, float hi)
{
    return lo + (hi - lo) * rand_unit();
}

float math_sqrt_fast(float x)
{
    std::uint32_t b = std::bit_cast<std::uint32_t>(x);
    if (b & 0x80000000u) b = 0;
    std::uint32_t i = (b >> 15) & 0x1FF;
    std::uint32_t root =
        (k_sqrt_exponent[(b >> 23) & 0xFF] | k_sqrt_mantissa[i]) + (((b & 0x7FFF) * k_sqrt_slope[i]) >> 17);
    return std::bit_cast<float>(root);
}

float vec3_length(const Vec3& v)
{
    return math_sqrt_fast(dot(v, v));
}

float vec3_normalize(Vec3& out, const Vec3& in)
{
    // The table root of 0 is not 0, so a zero vector is recognised by its squared length.
    float squared = dot(in, in);
    if (squared == 0.0f) {
        out = {0.0f, 0.0f, 0.0f};
        return 0.0f;
    }
    float length = math_sqrt_fast(squared);
    float inverse = 1.0f / length;
    out = {in.x * inverse, in.y * inverse, in.z * inverse};
    return length;
}

float math_rcp_sqrt(float x)
{
    return x == 0.0f ? 0.0f : 1.0f / std::sqrt(x);
}

float math_sqrt_x87(float x)
{
    return std::sqrt(x);
}

float math_rcp_sqrt_sse(float x)
{
    return _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(x)));
}

float math_sqrt_sse(float x)
{
    return 1.0f / math_rcp_sqrt_sse(x);
}

float (*g_math_sqrt)(float) = math_sqrt_choose;
float (*g_math_rcp_sqrt)(float) = math_rcp_sqrt_choose;

float math_sqrt_choose(float x)
{
    g_math_sqrt = g_cpu_info.sse ? math_sqrt_sse : math_sqrt_x87;
    return g_math_sqrt(x);
}

float math_rcp_sqrt_choose(float x)
{
    g_math_rcp_sqrt = g_cpu_info.sse ? math_rcp_sqrt_sse : math_rcp_sqrt;
    return g_math_rcp_sqrt(x);
}

// The product is truncated at double precision: in float a quarter turn would round up to
// step 64, where the game's headings land on step 63.
int math_heading_index(float heading)
{
    return static_cast<int>(static_cast<double>(heading) * HEADING_STEPS_PER_RADIAN);
}

float math_wrap_2pi(float a)
{
    if (a > TWO_PI) return std::fmod(a, TWO_PI);
    if (a < 0.0f) return std::fmod(a, TWO_PI) + TWO_PI;
    return a;
}

float math_angle_diff(float a, float b)
{
    float diff = math_wrap_2pi(b) - math_wrap_2pi(a);
    if (diff > PI) return diff - TWO_PI;
    if (diff < -PI) return diff + TWO_PI;
    return diff;
}

float math_turn_toward(float step, float current, float target)
{
    if (step >= PI || target == current) return wrap_pi(target);
    float ahead = std::fabs(math_angle_diff(target, current + step));
    float behind = std::fabs(math_angle_diff(target, current - step));
    float turned;
    if (behind > ahead)
        turned = step < ahead ? current + step : target;
    else
        turned = step < behind ? current - step : target;
    return wrap_pi(turned);
}

float math_turn_toward_fixed(float step, float current, float target)
{
    float cur = wrap_pi(current);
    float tgt = wrap_pi(target);
    if (step == 0.0f) return cur;
    int fixed_cur = to_fixed_angle(cur);
    int fixed_tgt = to_fixed_angle(tgt);
    float turned;
    // Exactly opposite headings turn one fixed way; the drawn facing relies on it.
    if (fixed_cur == 0 && fixed_tgt == FIXED_HALF_TURN) {
        turned = cur + step;
    } else {
        int gap = (fixed_cur - fixed_tgt) & FIXED_MASK;
        double fixed_step = static_cast<double>(step) * FIXED_STEPS_PER_RADIAN;
        if (gap <= FIXED_TURN - gap) {
            if (gap < fixed_step) return tgt;
            turned = cur - step;
        } else {
            if (FIXED_TURN - gap < fixed_step) return tgt;
            turned = cur + step;
        }
    }
    if (turned > PI) return turned - TWO_PI;
    if (turned < -PI) return turned + TWO_PI;
    return turned;
}

float math_fabsf(float x)
{
    return std::fabs(x);
}

float math_atan2f(float y, float x)
{
    return std::atan2(y, x);
}

bool math_approach(float& value, float target, float step)
{
    if (value == target) return true;
    if (value < target) {
        value += step;
        if (value < target) return false;
    } else {
        value -= step;
        if (value > target) return false;
    }
    value = target;
    return true;
}

void math_box_normalize(Box3& box)
{
    if (box.min.x > box.max.x) std::swap(box.min.x, box.max.x);
    if (box.min.y > box.max.y) std::swap(box.min.y, box.max.y);
    if (box.min.z > box.max.z) std::swap(box.min.z, box.max.z);
}

bool math_box_contains_point(const Vec3& point, const Vec3& corner1, const Vec3& corner2)
{
    Box3 box{corner1, corner2};
    math_box_normalize(box);
    return inside_box(box, point);
}

bool math_clamp_to_box(const Box3& box, Vec3& out, const Vec3& point)
{
    bool outside = false;
    auto clamp = [&outside](float v, float lo, float hi) {
        if (v < lo) {
            outside = true;
            return lo;
        }
        if (v > hi) {
            outside = true;
            return hi;
        }
        return v;
    };
    Vec3 clamped{clamp(point.x, box.min.x, box.max.x), clamp(point.y, box.min.y, box.max.y),
                 clamp(point.z, box.min.z, box.max.z)};
    out = clamped;
    return outside;
}

bool math_point_in_rotated_box(const Vec3& point, const Box3& box, float heading)
{
    if (heading == 0.0f) return inside_box(box, point);
    return inside_box(box, rotate_y(point, math_heading_index(heading)));
}

bool math_clamp_to_rotated_box(const Vec3& point, Vec3& out, const Box3& box, float heading)
{
    if (heading == 0.0f) return math_clamp_to_box(box, out, point);
    int step = math_heading_index(heading);
    Vec3 clamped;
    bool outside = math_clamp_to_box(box, clamped, rotate_y(point, step));
    out = rotate_y(clamped, -step);
    return outside;
}

bool math_ray_sphere(const Vec3& origin, const Vec3& direction, Vec3* out, const Vec3& centre, float radius)
{
    Vec3 to_centre = sub(centre, origin);
    float along = dot(to_centre, direction);
    float distance_sq = dot(to_centre, to_centre);
    float radius_sq = radius * radius;
    float miss_sq = distance_sq - along * along;
    if ((along < 0.0f && distance_sq > radius_sq) || miss_sq > radius_sq) return false;
    if (out) {
        float half_chord = math_sqrt_fast(radius_sq - miss_sq);
        float t = distance_sq > radius_sq ? along - half_chord : along + half_chord;
        *out = {origin.x + direction.x * t, origin.y + direction.y * t, origin.z + direction.z * t};
    }
    return true;
}

void math_random_cone_dir(Vec3& out, const Vec3& direction, float angle)
{
    int step = math_heading_index(angle);
    float c = math_table_cos(step);
    float s = math_table_sin(step);
    float chord = math_sqrt_fast(s * s + (1.0f - c) * (1.0f - c));
    int azimuth = static_cast<int>(math_rand_u32() >> 24);
    float ca = math_table_cos(azimuth);
    float sa = math_table_sin(azimuth);
    Vec3 offset{direction.x + chord * ca, direction.y + chord * sa * sa, direction.z + chord * sa * ca};
    vec3_normalize(out, offset);
}
