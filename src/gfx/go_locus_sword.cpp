#include "gfx/go_locus_sword.h"

#include "core/maths.h"
#include "core/timer.h"
#include "game/g_gameover.h"
#include "game/g_hit.h"
#include "game/g_image_table.h"
#include "game/g_play_state.h"
#include "game/g_tick.h"
#include "gfx/ani_ops.h"
#include "gfx/g_gfx.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"
#include "object/obj_pools.h"
#include "object/xx/go_xx.h"
#include "scenegraph/renderer_queue.h"

#include <climits>
#include <cmath>
#include <numbers>

namespace {

constexpr float k_pi = std::numbers::pi_v<float>;
constexpr std::int32_t k_value_base = 256;
constexpr std::int32_t k_own_curve_value_base = 300;
constexpr std::int32_t k_own_curve = 1;
constexpr int k_image_locus0 = 16;
constexpr int k_image_locus1 = 17;
constexpr int k_image_locus_sp0 = 22;
constexpr int k_image_hmlzr1 = 23;
constexpr int k_image_burst = IMAGE_TABLE_EFFECT_FIRST + 5;
constexpr std::int32_t k_special_values[] = {269, 270}; // the hero's special swings
constexpr std::uint32_t k_element_none = ATTACK_ELEMENT_NONE;

// Where the spheres lie along the blade, in attack radii short of the tip.
constexpr float k_near_radii = 2.5f;
constexpr float k_tip_radii = 0.2f;
constexpr float k_spark_near_radii = -2.05f;
constexpr float k_spark_tip_radii = 0.0f;

constexpr float k_spark_width = 0.11f;
constexpr float k_spark_cone = 0.2617994f;
constexpr float k_spark_speed_min = 0.04f;
constexpr float k_spark_speed_max = 0.155f;
constexpr float k_push_heading = 2.2619467f;
constexpr float k_push = 0.09f;

constexpr std::uint32_t k_strength_powerup = 0x1;
constexpr std::int32_t k_arena_burst_level = 1; // GF_ARENA_SETUP above this: cast 80 bursts
constexpr float k_burst_reaction_end = 500.0f;
constexpr float k_burst_pull = 0.22f; // of the blade, back from the tip
constexpr int k_burst_particles = 4;
constexpr MaterialFlags k_burst_material = 0x46C1;
constexpr D3DCOLOR k_burst_colour = 0xFFFFFFFF;
constexpr int k_row_in_water = 9;

constexpr float k_camera_pull = 0.25f;
constexpr std::int32_t k_second_set_loaded = 1;
constexpr float k_second_set_fade = 0.72f;

D3DXVECTOR3 vec(const D3DVECTOR& v)
{
    return {v.x, v.y, v.z};
}

const TrailCurve& curve_of(const GoLocusSword& trail)
{
    return g_sword_trail_curves[trail.curve];
}

// The frame of the curve that the frame time lies in, or -1 for a curve without frames.
int frame_index(const TrailCurve& curve, float frame_time)
{
    if (curve.frames.empty()) return -1;
    const int last = static_cast<int>(curve.frames.size()) - 1;
    if (!(frame_time > 0.0f)) return 0;
    return frame_time >= static_cast<float>(last) ? last : static_cast<int>(frame_time);
}

float frame_speed(const TrailCurve& curve, int index)
{
    return index < 0 ? 0.0f : curve.frames[static_cast<std::size_t>(index)].speed;
}

// The frame time runs at the current frame's speed; past the next frame the rest of the step
// runs at that frame's speed. The hold stands the frame time, counting down on whole ticks.
void advance(GoLocusSword& trail)
{
    const TrailCurve& curve = curve_of(trail);
    const int index = frame_index(curve, trail.frame_time);
    const float s = frame_speed(curve, index) * g_frame_step;
    if (trail.hold != 0) {
        if (g_whole_tick) --trail.hold;
        return;
    }
    trail.frame_time += s;
    const int next = index + 1;
    const auto n = static_cast<float>(next);
    if (index < 0 || next >= static_cast<int>(curve.frames.size()) || trail.frame_time <= n || s <= 0.0f)
        return;
    trail.frame_time = n + frame_speed(curve, next) * g_frame_step * (trail.frame_time - n) / s;
}

bool ended(GoLocusSword& trail)
{
    if (trail.frame_time >= trail.end_frame) return true;
    if (trail.fade_rate == 0.0f) return false;
    trail.fade -= trail.fade_rate * g_frame_step;
    return trail.fade <= 0.0f;
}

D3DXMATRIX blade_turn(const GoLocusSword& trail, const GoActor& owner)
{
    D3DXMATRIX turn;
    D3DXMatrixRotationY(&turn, -owner.facing - k_pi / 2.0f - g_camera_heading);
    return trail.rotation * turn;
}

// The three spheres along the blade vector b from the owner's feet: 2.5 radii short of the tip,
// 0.2 short of it, and halfway between. A blade of no length leaves them where they were.
void place_spheres(GoLocusSword& trail, const GoActor& owner, const D3DXVECTOR3& b)
{
    const float length_sq = D3DXVec3LengthSq(&b);
    if (!(length_sq > 0.0f)) return;
    const float k = trail.attack.shape.radius * math_rcp_sqrt(length_sq);
    D3DXVECTOR3 origin = actor_position(owner);
    origin.y -= owner.foot_offset;
    const float near_radii = trail.spark_mode ? k_spark_near_radii : k_near_radii;
    const float tip_radii = trail.spark_mode ? k_spark_tip_radii : k_tip_radii;
    const D3DXVECTOR3 near_centre = origin + b * (1.0f - near_radii * k);
    const D3DXVECTOR3 tip = origin + b * (1.0f - tip_radii * k);
    trail.attack.shape.centre = near_centre;
    trail.hit_shapes[0].centre = (near_centre + tip) * 0.5f;
    trail.hit_shapes[1].centre = tip;
}

float heading_gap(float a, float b)
{
    return std::fabs(math_angle_diff(a, b));
}

// The tip cutting into a wall throws sparks off it; the first cut facing the wall pushes the
// owner back out once.
void cut_walls(GoLocusSword& trail, GoActor& owner, const D3DXVECTOR3& tip)
{
    const D3DXVECTOR3 from = actor_position(owner);
    HitSegment hit;
    hit_segment_init_simple(from, tip, hit);
    if (!hit_segment_meshes_a(hit)) return;
    const Vec3& n3 = hit.triangle.normal;
    const D3DXVECTOR3 normal(n3.x, n3.y, n3.z);
    D3DXVECTOR3 direction = tip - from;
    D3DXVec3Normalize(&direction, &direction);
    const float dot = D3DXVec3Dot(&direction, &normal);
    if (!(dot < 0.0f)) return;
    const D3DXVECTOR3 reflected = direction - normal * (2.0f * dot);
    goxx_spawn_streak_sparks_at(hit.hit_point, k_spark_width, reflected, k_spark_cone, k_spark_speed_min,
                                k_spark_speed_max);
    if (trail.impact_done || heading_gap(math_atan2f(normal.z, normal.x), owner.facing) <= k_push_heading)
        return;
    owner.world._41 += k_push * normal.x;
    owner.world._43 += k_push * normal.z;
    trail.impact_done = 1;
}

bool cast80_burst(const GoActor& owner)
{
    return owner.cast == ACTOR_CAST_OWN_TRAIL &&
           g_play_state.game_flags[GF_ARENA_SETUP] > k_arena_burst_level;
}

bool bursts(const GoActor& owner)
{
    const bool strong_player = &owner == g_player && (g_play_state.powerup_bits & k_strength_powerup);
    return strong_player || cast80_burst(owner);
}

SpriteParticleParams burst_particle(const GoLocusSword& trail, const GoActor& owner, const D3DXVECTOR3& p1,
                                    int k)
{
    const bool own_curve = cast80_burst(owner);
    const D3DXVECTOR3 burst = vec(trail.burst_point);
    const D3DXVECTOR3 start = vec(trail.origin);
    const float share = static_cast<float>(k) / k_burst_particles;
    const D3DXVECTOR3 along = burst + (p1 - burst) * share;
    const float spread = 1.0f + 0.2f * std::sin(static_cast<float>(k) * k_pi / 4.0f) + math_rand_float(0.1f);
    const D3DXVECTOR3 centre = start + (along - start) * spread;
    const float size = math_rand_float(0.25f) + 0.05f;
    const int heading = math_heading_index(static_cast<float>(k) * k_pi / 3.0f);
    const float c = math_table_cos(heading);
    const float s = math_table_sin(heading);
    const float r = math_rand_range(0.0f, 0.18f);

    SpriteParticleParams params{};
    params.texture = g_texture_handles[own_curve ? k_image_hmlzr1 : k_image_burst];
    params.material = k_burst_material;
    params.row = owner.submerged ? k_row_in_water : RQ_ROW_MESHES;
    params.colour = k_burst_colour;
    params.start_delay = 2 * k;
    params.position = centre + D3DXVECTOR3(c, 0.0f, s) * r;
    params.velocity = {0.005f * c, 0.02f, 0.005f * s};
    params.camera_offset = -0.25f * size;
    params.lifetime = static_cast<float>(20 + (math_rand_u32() / 2) % 3);
    params.phase1_end = 5.0f;
    params.phase2_end = 14.0f;
    const float alpha_keys[4] = {0.5f, 1.0f, 0.5f, 0.0f};
    const float scale_keys[4] = {0.5f * size, (own_curve ? 2.5f : 5.0f) * size, 0.75f * size, 0.5f * size};
    for (int i = 0; i < 4; ++i) {
        params.alpha_keys[i] = alpha_keys[i];
        params.scale_keys[i] = scale_keys[i];
    }
    return params;
}

void spray_burst(GoLocusSword& trail, const GoActor& owner, const D3DXVECTOR3& tip, const D3DXVECTOR3& b)
{
    trail.reaction_id = LOCUS_SWORD_BURST_REACTION;
    trail.reaction_values[0] = 0.0f;
    trail.reaction_values[1] = k_burst_reaction_end;
    const D3DXVECTOR3 p1 = tip - b * k_burst_pull;
    const TrailCurve& curve = curve_of(trail);
    const float speed = frame_speed(curve, frame_index(curve, trail.frame_time));
    if (trail.frame_time >= 0.0f && trail.frame_time <= k_burst_reaction_end * speed) {
        for (int k = 0; k < k_burst_particles; ++k) {
            GoXx* particle = obj_create<GoXx>(g_pool_xx);
            if (!particle) break;
            goxx_init_sprite_particle(burst_particle(trail, owner, p1, k), *particle);
        }
    }
    trail.burst_point = p1;
}

bool second_set_loaded()
{
    return g_play_state.water_mode == k_second_set_loaded;
}

void queue_trail(GoLocusSword& trail, const GoActor& owner)
{
    const D3DXVECTOR3 at = actor_position(owner) - goxx_view_forward() * k_camera_pull;
    const D3DXVECTOR3 to_eye = at - g_camera_state.eye;
    const std::int32_t depth = rq_depth_key(D3DXVec3LengthSq(&to_eye));
    const auto add = [&](int row, std::int32_t key1) {
        auto* item = reinterpret_cast<RqCallbackItem*>(rq_alloc(row, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK));
        if (!item) return;
        item->header.key0 = rq_next_serial();
        item->header.key1 = key1;
        item->callback = GoLocusSword::Draw;
        item->user = &trail;
    };
    add(LOCUS_SWORD_ROW, depth);
    if (second_set_loaded()) add(LOCUS_SWORD_MASK_ROW, INT_MAX);
}

void end_trail(GoLocusSword& trail)
{
    go_kill(trail);
    trail.attack.shape.class_bits &= ~HIT_ACTIVE;
}

} // namespace

bool locus_sword_segment_valid(std::int32_t curve_index, std::int32_t segment)
{
    if (curve_index < 0 || curve_index >= SWORD_TRAIL_CURVES || segment < 0) return false;
    return static_cast<std::size_t>(segment) < g_sword_trail_curves[curve_index].segments.size();
}

bool GoLocusSword::Attach(GoActor& actor, int image_entry, std::uint32_t attack_id, float attack_bonus,
                          float attack_factor, std::int32_t from, std::int32_t to, std::int32_t strength,
                          std::int32_t lifetime, std::int32_t colour, std::int32_t curve_index,
                          std::int32_t segment)
{
    if (!locus_sword_segment_valid(curve_index, segment)) return false;
    const TrailCurve& trail_curve = g_sword_trail_curves[curve_index];
    const TrailSegment& part = trail_curve.segments[static_cast<std::size_t>(segment)];
    curve = curve_index;
    frame_time = static_cast<float>(part.first_frame);
    end_frame = static_cast<float>(part.end_frame) - 1.0f;
    scale = part.scale;
    fade = 1.0f;
    texture = g_texture_handles[image_entry];
    D3DXMatrixScaling(&rotation, trail_curve.header.scale, trail_curve.header.scale,
                      trail_curve.header.scale);
    ++actor.ref_count;
    owner = ObjHandle<GoActor>(&actor);
    status = actor.status;
    const D3DXVECTOR3 position = actor_position(actor);
    D3DXMatrixIdentity(&world);
    matrix_set_position(world, position);
    origin = position;
    burst_point = position;
    side = (actor.hit_shape.class_bits & HIT_ENEMY) ? COMBAT_SIDE_ENEMY : COMBAT_SIDE_PLAYER;
    if (lifetime == 0) lifetime = LOCUS_SWORD_DEFAULT_LIFETIME;
    if (strength == 0) strength = lifetime;
    const auto element = colour < 0 ? k_element_none : static_cast<std::uint32_t>(colour);
    combat_init_attack(*this, strength, static_cast<std::int32_t>(side), lifetime, attack_bonus,
                       attack_factor, LOCUS_SWORD_RADIUS, attack_id, 0, 0,
                       static_cast<std::uint8_t>(element));
    hit_shapes[0] = attack.shape;
    hit_shapes[1] = attack.shape;
    attack.shape.next = &hit_shapes[0];
    hit_shapes[0].next = &hit_shapes[1];
    hit_shapes[1].next = nullptr;
    attack_from = from;
    attack_to = to;
    spark_mode = 0;
    return true;
}

void GoLocusSword::Update()
{
    if (g_world_frozen) return;
    GoActor* actor = owner.get();
    advance(*this);
    // A trail whose owner is gone has nothing left to follow.
    if (!actor || ended(*this)) {
        end_trail(*this);
        return;
    }
    if (actor->status.hp < 1.0f) fade_rate = LOCUS_SWORD_DYING_FADE;

    Vec3 sampled{};
    renderer_trail_sample(sampled, curve_of(*this), frame_time, scale);
    blade_point = {sampled.x, sampled.y, sampled.z};
    const D3DXMATRIX turn = blade_turn(*this, *actor);
    world = turn * actor->billboard_matrix;
    D3DXVECTOR3 b;
    const D3DXVECTOR3 point = vec(blade_point);
    D3DXVec3TransformNormal(&b, &point, &turn);
    place_spheres(*this, *actor, b);
    const D3DXVECTOR3 tip = vec(hit_shapes[1].centre);

    if (g_whole_tick) {
        combat_apply_attack(nullptr, static_cast<std::int32_t>(side), *this, 0.0f);
        const auto frame = static_cast<std::int32_t>(frame_time);
        if (frame >= attack_from && frame < attack_to) cut_walls(*this, *actor, tip);
        if (bursts(*actor)) spray_burst(*this, *actor, tip, b);
    }
    if (g_draw_frame && !actor->hidden) queue_trail(*this, *actor);
}

void GoLocusSword::Draw(RenderQueueItem*, void* user)
{
    GoLocusSword& trail = *static_cast<GoLocusSword*>(user);
    renderer_set_world_constants(trail.world);
    const float fade = second_set_loaded() ? trail.fade * k_second_set_fade : trail.fade;
    renderer_trail_draw(trail.frame_time, trail.texture, fade, trail.scale,
                        g_sword_trail_curves[trail.curve]);
}

GoLocusSword::~GoLocusSword()
{
    if (GoActor* actor = owner.get()) --actor->ref_count;
}

GoLocusSword* actor_spawn_sword_trail(const AniSwordTrailRequest& request, GoActor& owner)
{
    std::int32_t curve = 0;
    std::int32_t segment = request.value - k_value_base;
    int image = k_image_locus0;
    if (owner.cast == ACTOR_CAST_HERO &&
        (request.value == k_special_values[0] || request.value == k_special_values[1]))
        image = k_image_locus_sp0;
    if (owner.cast == ACTOR_CAST_OWN_TRAIL) {
        curve = k_own_curve;
        segment = request.value - k_own_curve_value_base;
        image = k_image_locus1;
    }
    if (!locus_sword_segment_valid(curve, segment)) return nullptr;
    GoLocusSword* trail = obj_create<GoLocusSword>(g_pool_locus_sword);
    if (!trail) return nullptr;
    const std::int32_t colour = owner.cast == ACTOR_CAST_HERO ? player_attack_action_index() : -1;
    trail->Attach(owner, image, owner.attack_id, request.attack_values[0], request.attack_values[1],
                  request.attack_from, request.attack_to, request.strength, request.lifetime, colour, curve,
                  segment);
    trail->reaction_id = request.reaction_id;
    trail->reaction_values[0] = request.reaction_values[0];
    trail->reaction_values[1] = request.reaction_values[1];
    return trail;
}
