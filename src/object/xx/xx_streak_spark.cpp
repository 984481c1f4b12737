#include "core/maths.h"
#include "core/timer.h"
#include "game/g_hit.h"
#include "game/g_image_table.h"
#include "game/g_tick.h"
#include "gfx/g_gfx.h"
#include "lowlv/d3d/d3d_state.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/obj_pools.h"
#include "object/xx/go_xx.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint32_t k_rgb_mask = 0xFFFFFF;
constexpr D3DCOLOR k_white = 0xFFFFFFFF;
constexpr float k_gravity = 0.0075f; // per tick, per tick
constexpr float k_bounce_back = 0.995f;
constexpr float k_bounce_vertical = 0.55f;
constexpr float k_bounce_vertical_spread = 0.2f;
constexpr float k_bounce_horizontal = 0.8f;
constexpr float k_floor_normal_y = 0.5f;
constexpr std::int32_t k_thin_every_second = 12; // live sparks above which probes thin out
constexpr std::int32_t k_thin_every_third = 20;
constexpr float k_fade_ticks = 20.0f;
constexpr std::uint32_t k_life_base = 35;
constexpr std::uint32_t k_life_spread = 21; // 0..20 more
constexpr int k_sparks_at = 2;

D3DXVECTOR3& velocity_of(GoXx& object)
{
    return *reinterpret_cast<D3DXVECTOR3*>(&object.rotation._41);
}

std::uint32_t probe_period()
{
    const std::int32_t live = g_goxx_live_count[GOXX_STREAK_SPARK];
    if (live > k_thin_every_third) return 3;
    if (live > k_thin_every_second) return 2;
    return 1;
}

// Back to just short of the face, mirrored off it and slowed: less on the floor's horizontal
// when the face is a floor.
void bounce(GoXx& object, const HitSegment& hit, const D3DXVECTOR3& previous)
{
    D3DXVECTOR3& velocity = velocity_of(object);
    const Vec3& n3 = hit.triangle.normal;
    const D3DXVECTOR3 normal(n3.x, n3.y, n3.z);
    const float dot = D3DXVec3Dot(&velocity, &normal);
    if (dot >= 0.0f) return;
    matrix_set_position(object.world, previous + (hit.hit_point - previous) * k_bounce_back);
    velocity -= normal * (2.0f * dot);
    const float vertical = k_bounce_vertical + math_rand_float(k_bounce_vertical_spread);
    const float horizontal =
        normal.y >= k_floor_normal_y ? k_bounce_horizontal * vertical : k_bounce_horizontal;
    velocity.y *= vertical;
    velocity.x *= horizontal;
    velocity.z *= horizontal;
}

void whole_tick_step(GoXx& object, StreakSpark& spark)
{
    if (spark.probe_countdown > 0) {
        --spark.probe_countdown;
    } else {
        spark.probe_countdown = probe_period() - 1;
        HitSegment hit;
        hit_segment_init_simple(spark.previous, matrix_position(object.world), hit);
        if (hit_segment_meshes_a(hit)) bounce(object, hit, spark.previous);
    }
    spark.previous = matrix_position(object.world);
    std::copy_backward(spark.history, spark.history + STREAK_HISTORY - 1, spark.history + STREAK_HISTORY);
    spark.history[0] = spark.previous;
}

void queue_spark(GoXx& object, const StreakSpark& spark)
{
    auto* item =
        reinterpret_cast<RqCallbackItem*>(rq_alloc(RQ_ROW_MESHES, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK));
    if (!item) return;
    item->header.key0 = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(spark.texture));
    item->header.key1 = goxx_depth_key(matrix_position(object.world));
    item->callback = goxx_draw_streak_spark;
    item->user = &object;
}

// The two strip vertices of history point i, or none where its segment has no length.
bool streak_edge(const StreakSpark& spark, int i, const D3DXVECTOR3& forward, D3DXVECTOR3& side)
{
    const int other = i + 1 < STREAK_HISTORY ? i + 1 : i - 1;
    D3DXVECTOR3 segment = spark.history[std::min(i, other)] - spark.history[std::max(i, other)];
    D3DXVECTOR3 cross;
    D3DXVec3Cross(&cross, &segment, &forward);
    const float length = D3DXVec3Length(&cross);
    if (length <= 0.0f) return false;
    side = cross * (spark.half_width / length);
    return true;
}

} // namespace

void goxx_init_streak_spark(const StreakParams& params, GoXx& object)
{
    goxx_set_subtype(object, GOXX_STREAK_SPARK);
    StreakSpark& spark = object.area<StreakSpark>();
    spark.texture = params.texture;
    spark.material = params.material;
    spark.rgb = params.colour & k_rgb_mask;
    spark.start_delay = params.start_delay;
    spark.age = 0.0f;
    spark.lifetime = params.lifetime;
    spark.half_width = params.width * 0.5f;
    spark.probe_countdown = 0;
    spark.previous = params.position;
    std::fill(std::begin(spark.history), std::end(spark.history), params.position);
    D3DXMatrixIdentity(&object.world);
    matrix_set_position(object.world, params.position);
    if (params.velocity) {
        velocity_of(object) = *params.velocity;
    } else {
        velocity_of(object) = {std::cos(params.heading) * params.horizontal_speed, params.vertical_speed,
                               std::sin(params.heading) * params.horizontal_speed};
    }
}

void goxx_spawn_streak_sparks_at(const D3DXVECTOR3& point, float width, const D3DXVECTOR3& direction,
                                 float cone, float speed_min, float speed_max)
{
    for (int i = 0; i < k_sparks_at; ++i) {
        GoXx* object = obj_create<GoXx>(g_pool_xx);
        if (!object) return;
        Vec3 turned{};
        math_random_cone_dir(turned, {direction.x, direction.y, direction.z}, cone);
        const D3DXVECTOR3 velocity =
            D3DXVECTOR3(turned.x, turned.y, turned.z) * math_rand_range(speed_min, speed_max);
        StreakParams params{};
        params.texture = g_texture_handles[STREAK_TEXTURE];
        params.material = STREAK_MATERIAL;
        params.colour = k_white;
        params.start_delay = static_cast<std::uint32_t>(i);
        params.position = point;
        params.velocity = &velocity;
        params.width = width;
        params.lifetime = static_cast<float>(k_life_base + math_rand_u32() % k_life_spread);
        goxx_init_streak_spark(params, *object);
    }
}

void goxx_update_streak_spark(GoXx& object)
{
    StreakSpark& spark = object.area<StreakSpark>();
    if (spark.start_delay != 0) {
        if (g_whole_tick && !g_paused) --spark.start_delay;
        return;
    }
    if (!g_paused) {
        spark.age += g_frame_step;
        if (spark.age >= spark.lifetime) {
            go_kill(object);
            return;
        }
        if (g_whole_tick) whole_tick_step(object, spark);
        D3DXVECTOR3& velocity = velocity_of(object);
        matrix_set_position(object.world, matrix_position(object.world) + velocity * g_frame_step);
        velocity.y -= k_gravity * g_frame_step;
    }
    if (g_draw_frame) queue_spark(object, spark);
}

void goxx_draw_streak_spark(RenderQueueItem*, void* user)
{
    GoXx& object = *static_cast<GoXx*>(user);
    const StreakSpark& spark = object.area<StreakSpark>();
    const float left = spark.lifetime - spark.age;
    const float alpha = left < k_fade_ticks ? std::max(left, 0.0f) / k_fade_ticks : 1.0f;
    const D3DCOLOR colour = static_cast<std::uint32_t>(alpha * 255.0f) << 24 | spark.rgb;
    const D3DXVECTOR3 forward = goxx_view_forward();
    QuadVertex strip[2 * STREAK_HISTORY];
    UINT count = 0;
    for (int i = 0; i < STREAK_HISTORY; ++i) {
        D3DXVECTOR3 side;
        if (!streak_edge(spark, i, forward, side)) continue;
        const float u = static_cast<float>(i) / (STREAK_HISTORY - 1);
        const D3DXVECTOR3 a = spark.history[i] + side;
        const D3DXVECTOR3 b = spark.history[i] - side;
        strip[count++] = {a.x, a.y, a.z, colour, 0, u, 0.0f};
        strip[count++] = {b.x, b.y, b.z, colour, 0, u, 1.0f};
    }
    if (count < 4) return;
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    DynamicBuffer& buffer = rq_begin_world_quads(spark.material, identity);
    d3d_set_texture_cached(0, spark.texture);
    UINT start = 0;
    if (!gfx_dynvb_write(count, buffer, strip, start)) return;
    d3d_draw_primitive(D3DPT_TRIANGLESTRIP, start, count - 2);
}
