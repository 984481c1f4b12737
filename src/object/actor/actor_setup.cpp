#include "core/maths.h"
#include "core/text.h"
#include "game/g_game_flags.h"
#include "game/g_hit.h"
#include "game/g_play_state.h"
#include "game/g_scn_data.h"
#include "game/g_sound.h"
#include "gfx/ani_dat.h"
#include "object/actor/go_actor.h"
#include "object/go_script.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>

namespace {

constexpr std::int32_t k_rare_cast = 166;
constexpr std::int32_t k_rare_variant_cast = 174;
constexpr std::int32_t k_rare_variant_script_set = 173;

constexpr float k_body_radius_factor = 0.9f;
constexpr float k_foot_clearance = 0.075f;
constexpr float k_atk_per_hp = 1.13f;
constexpr float k_def_per_hp = 0.615f;
constexpr std::int32_t k_level_hp_base = 15;
constexpr std::int32_t k_hp_per_level = 8;
constexpr std::uint32_t k_level_max = 60;
constexpr MaterialFlags k_sprite_material = 0x24541;
constexpr D3DCOLOR k_opaque_white = 0xFFFFFFFF;
constexpr std::uint8_t k_shadow_style = 3;
constexpr std::int32_t k_jump_phase_idle = 3;
constexpr std::uint8_t k_footprint_side_none = 2;
constexpr std::int32_t k_water_everywhere = 2; // the water mode of a scene wholly under water

constexpr std::uint32_t k_friend_class = HIT_ACTIVE | HIT_PLAYER_BODY;
constexpr std::uint32_t k_friend_targets = 0x3C;
constexpr std::uint32_t k_neutral_class = HIT_ACTIVE | HIT_NEUTRAL;
constexpr std::uint32_t k_neutral_targets = 0x3F;
constexpr std::uint32_t k_enemy_class = HIT_ACTIVE | HIT_ENEMY;
constexpr std::uint32_t k_enemy_targets = 0x2F;

// The enemy casts and their rows of the enemy table.
constexpr std::int32_t k_enemy_casts_first = 14;
constexpr std::int32_t k_enemy_casts_last = 83;
constexpr std::int32_t k_late_enemy_casts_first = 166;
constexpr std::int32_t k_late_enemy_casts_last = 176;
constexpr std::int32_t k_late_row_offset = 96;

// ---- The casts that differ from their record -----------------------------------------------------
enum CastTrait : std::uint8_t {
    TRAIT_NOT_HITTABLE = 0x1,
    TRAIT_LARGE = 0x2, // drawn and shadowed larger
    TRAIT_RANDOM_START = 0x4,
    TRAIT_FOOTSTEPS = 0x8,
    TRAIT_ONE_HP = 0x10,
};
constexpr float k_large_scale = 1.2f;

struct CastSetupRow {
    std::int32_t first, last;
    std::uint32_t flags;
    std::uint32_t cleared; // taken off after the flags
    std::uint32_t extra;
    std::uint8_t traits;
    float animation_speed; // 0: the default pace
};

constexpr CastSetupRow k_cast_rows[] = {
    {1, 1, ACTOR_CAST_NO_ANIMATION, 0, 0, TRAIT_NOT_HITTABLE, 0.0f},
    {13, 13, 0x20000, 0, 0, 0, 0.0f},
    {14, 15, 0x4, ACTOR_CAST_IGNORES_LEDGES, 0, 0, 0.0f},
    {16, 16, 0x400000, ACTOR_CAST_IGNORES_LEDGES, 0, 0, 0.0f},
    {17, 17, 0x4, 0, 0, 0, 0.0f},
    {18, 18, 0x10200000, 0, 0, 0, 0.0f},
    {19, 19, 0x2204040, 0, 0, 0, 0.0f},
    {20, 20, 0x400000, ACTOR_CAST_IGNORES_LEDGES, 0, 0, 0.0f},
    {21, 21, 0x1200004, 0, 0, 0, 0.0f},
    {22, 22, 0, ACTOR_CAST_IGNORES_LEDGES, 0, 0, 0.0f},
    {23, 23, 0x400040, 0, 0, 0, 0.0f},
    {28, 28, 0xC, 0, 0, 0, 0.0f},
    {34, 34, 0x100000C, 0, 0, 0, 0.0f},
    {35, 35, 0x220004E, 0, 0, 0, 0.0f},
    {36, 36, 0x1200004, 0, 0, 0, 0.0f},
    {37, 37, 0x10000004, 0, 0, 0, 0.0f},
    {40, 40, 0x200040, 0, 0, TRAIT_ONE_HP, 0.0f},
    {42, 42, 0x10000004, 0, 0, 0, 0.0f},
    {43, 43, 0x90000000, 0, 0, 0, 0.0f},
    {44, 44, 0x4, 0, 0, 0, 0.0f},
    {48, 48, 0x40, 0, 0x2, 0, 0.0f},
    {49, 49, 0x500040, 0, 0, 0, 0.0f},
    {53, 53, 0x2204040, 0, 0, 0, 0.0f},
    {56, 56, 0x1400000, 0, 0, 0, 0.0f},
    {60, 60, 0x10000000, 0, 0, 0, 0.0f},
    {61, 61, 0x90000000, 0, 0, 0, 0.0f},
    {62, 62, 0x4000000, 0, 0, 0, 0.0f},
    {64, 64, 0x2A1C41, 0, 0, 0, 0.0f},
    {69, 69, 0x20000000, 0, 0, 0, 0.0f},
    {71, 73, 0x80000, 0, 0, 0, 0.0f},
    {74, 74, 0x1080000, ACTOR_CAST_WANDERS, 0, 0, 0.0f},
    {75, 77, 0x308E040, 0, 0, 0, 0.0f},
    {78, 78, 0x9080000, 0, 0, TRAIT_LARGE, 0.0f},
    {79, 79, 0x43080040, 0, 0, TRAIT_NOT_HITTABLE | TRAIT_LARGE, 0.0f},
    {80, 80, 0x1080000, ACTOR_CAST_WANDERS, 0, 0, 0.0f},
    {81, 81, 0x1080000, 0, 0, TRAIT_NOT_HITTABLE, 0.0f},
    {82, 82, 0x1080000, ACTOR_CAST_WANDERS, 0, 0, 0.0f},
    {87, 87, 0, 0, 0, 0, 1.1f},
    {107, 107, 0, 0, 0, 0, 0.55f},
    {110, 110, 0, 0, 0, 0, 0.55f},
    {126, 126, 0, 0, 0, TRAIT_FOOTSTEPS, 0.0f},
    {128, 129, 0, 0, 0, 0, 0.55f},
    {146, 153, 0x10C01, 0, 0, TRAIT_RANDOM_START, 0.0f},
    {166, 166, 0x20000000, 0, 0, 0, 0.0f},
    {171, 171, 0x80000, 0, 0, 0, 0.0f},
    {174, 174, 0x20000000, 0, 0, 0, 0.0f},
    {176, 176, 0x1080000, ACTOR_CAST_WANDERS, 0, 0, 0.0f},
};

// Casts whose set-up depends on the scene or on the fight.
constexpr std::int32_t k_cast_no_drops_in_scene = 46;
constexpr const char* k_no_drops_scene = "s_02\\s_0200\\";
constexpr std::uint32_t k_extra_no_drops = 0x1;
constexpr std::int32_t k_cast_hard_battle = 62;
constexpr std::int32_t k_cast_enemy_class = 64;
constexpr std::int32_t k_casts_battle_first = 71;
constexpr std::int32_t k_casts_battle_last = 73;
constexpr std::uint32_t k_flag_always_active = 0x1000000;
constexpr std::int32_t k_cast_guardian = 87;
constexpr const char* k_guardian_scene = "s_45\\s_4505\\";
constexpr std::uint32_t k_guardian_flags = 0x2000040;
constexpr float k_guardian_stat = 999.0f;
constexpr std::int32_t k_cast_boss_actor = 123;
constexpr std::int32_t k_boss_actor_kind = 84;
constexpr std::uint32_t k_extra_boss_actor = 0x4;
constexpr std::int32_t k_boss_actor_row = 80;
constexpr std::uint32_t k_boss_actor_flags = 0x1080000; // and the enemy flag of every enemy
constexpr float k_boss_actor_hp = 10000.0f;
constexpr std::int32_t k_boss_actor_level = 60;
constexpr float k_boss_actor_atk = 285.0f;
constexpr float k_boss_actor_def = 210.0f;

// The companions that g_ally_actors names, in its order.
constexpr std::int32_t k_ally_casts[ACTOR_ALLY_COUNT] = {87, 86, 129};

// ---- Preloads ---------------------------------------------------------------------------------------
// Every enemy hits, is guarded against and is defeated.
constexpr std::int32_t k_enemy_effects[] = {72, 73, 110};

bool is_enemy_cast(std::int32_t cast)
{
    return (cast >= k_enemy_casts_first && cast <= k_enemy_casts_last) ||
           (cast >= k_late_enemy_casts_first && cast <= k_late_enemy_casts_last);
}

float row_hover(const EnemyInfo& row)
{
    return row.hover_params[0];
}

float row_speed(const EnemyInfo& row)
{
    return row.move_params[2] * row.move_params[1]; // the speed times its factor
}

std::int32_t& game_flag(int entry)
{
    return g_play_state.game_flags[entry];
}

std::int32_t level_of_hp(std::int32_t hp)
{
    const std::int32_t level = (hp - k_level_hp_base) / k_hp_per_level + 1;
    // Unsigned on purpose: a negative level from a negative record becomes the highest too.
    return static_cast<std::uint32_t>(level) > k_level_max ? static_cast<std::int32_t>(k_level_max) : level;
}

void set_hit_class(GoActor& actor, std::uint32_t class_bits, std::uint32_t targets)
{
    actor.hit_shape.class_bits = class_bits;
    actor.hit_shape.target_mask = targets;
}

void make_enemy(GoActor& actor)
{
    set_hit_class(actor, k_enemy_class, k_enemy_targets);
    actor.footstep_sounds = 0;
    ++game_flag(GF_LIVE_ENEMIES);
    actor.cast_flags |= ACTOR_CAST_ENEMY;
}

void set_body(GoActor& actor, const CastInfo& record)
{
    actor.body_radius = record.body_radius * k_body_radius_factor;
    actor.foot_offset = record.foot_height + k_foot_clearance;
    actor.shadow_size = record.shadow_size;
    actor.view_radius = record.view_radius;
    actor.hit_shape_height = record.hit_height;
    actor.draw_scale = 1.0f;
    HitShape& shape = actor.hit_shape;
    shape.radius = record.hit_radius;
    shape.half_height = record.hit_half_height;
    shape.cylinder = record.hit_cylinder;
    shape.attack_id = actor.object_id;
    shape.hold = 1;
    actor.alpha = actor.alpha_target = 1.0f;
    actor.material_flags = k_sprite_material;
    actor.status.status_element = STATUS_ELEMENT_NONE;
}

void set_side(GoActor& actor, std::int32_t spawn_type)
{
    switch (spawn_type) {
    case ACTOR_SPAWN_FRIEND:
        set_hit_class(actor, k_friend_class, k_friend_targets);
        actor.footstep_sounds = 1;
        break;
    case ACTOR_SPAWN_NEUTRAL:
        actor.cast_flags |= ACTOR_CAST_NEUTRAL;
        set_hit_class(actor, k_neutral_class, k_neutral_targets);
        break;
    case ACTOR_SPAWN_ENEMY:
        make_enemy(actor);
        break;
    default:
        break;
    }
}

void set_status(GoActor& actor, std::int32_t hp)
{
    StatusBlock& status = actor.status;
    status.max_hp = status.hp = static_cast<float>(hp);
    status.atk = static_cast<float>(hp) * k_atk_per_hp;
    status.def = static_cast<float>(hp) * k_def_per_hp;
    status.level = level_of_hp(hp);
}

void set_motion(GoActor& actor, const CastInfo& record)
{
    const EnemyInfo* row = actor_enemy_row(actor.cast);
    actor.flying = record.hover_height > 0.0f || (row && row_hover(*row) != 0.0f);
    actor.hover_height = record.hover_height;
    actor.walk_speed = actor.base_walk_speed = record.walk_speed;
    actor.second_speed = record.second_speed;
    actor.jump_speed = record.jump_speed;
}

void set_defaults(GoActor& actor)
{
    actor.colour = k_opaque_white;
    actor.shadow_colour = k_opaque_white;
    actor.shadow_style = k_shadow_style;
    actor.attack.attack_bonus = 0.0f;
    actor.attack.attack_factor = 1.0f;
    actor.turn_factor = 1.0f;
    D3DXMatrixIdentity(&actor.billboard_matrix);
    actor.input_last_slot = -1;
    actor.jump_phase = k_jump_phase_idle;
    actor.fall_guard_counter = 0;
    actor.on_ground = 1;
    actor.animation_speed = 1.0f;
    actor.footprint_side = k_footprint_side_none;
}

void apply_row(GoActor& actor, const CastSetupRow& row)
{
    actor.cast_flags = (actor.cast_flags | row.flags) & ~row.cleared;
    actor.extra_flags |= row.extra;
    if (row.traits & TRAIT_NOT_HITTABLE) actor.hit_shape.class_bits &= ~HIT_ACTIVE;
    if (row.traits & TRAIT_LARGE) {
        actor.draw_scale = k_large_scale;
        actor.shadow_size *= k_large_scale;
    }
    if (row.traits & TRAIT_RANDOM_START) actor.random_start = 1;
    if (row.traits & TRAIT_FOOTSTEPS) actor.footstep_sounds = 1;
    if (row.traits & TRAIT_ONE_HP) actor.status.max_hp = actor.status.hp = 1.0f;
    if (row.animation_speed != 0.0f) actor.animation_speed = row.animation_speed;
}

// The actor of cast 123 stands in for the boss of its fight, with the boss's row and values.
void make_boss_actor(GoActor& actor)
{
    actor.kind = k_boss_actor_kind;
    actor.extra_flags |= k_extra_boss_actor;
    if (static_cast<std::size_t>(k_boss_actor_row) < g_enemyinfo.size()) {
        const EnemyInfo& row = g_enemyinfo[k_boss_actor_row];
        actor.walk_speed = row_speed(row);
        if (row_hover(row) != 0.0f) actor.flying = 1;
    }
    actor.cast_flags |= k_boss_actor_flags;
    make_enemy(actor);
    StatusBlock& status = actor.status;
    status.max_hp = status.hp = k_boss_actor_hp;
    status.level = k_boss_actor_level;
    status.atk = k_boss_actor_atk;
    status.def = k_boss_actor_def;
}

void make_guardian(GoActor& actor)
{
    actor.cast_flags |= k_guardian_flags;
    StatusBlock& status = actor.status;
    for (float& resistance : status.resist)
        resistance = 1.0f;
    status.max_hp = status.hp = status.atk = status.def = k_guardian_stat;
}

void apply_conditions(GoActor& actor)
{
    const std::int32_t cast = actor.cast;
    const bool battle = game_flag(GF_BATTLE) != 0;
    if (cast == k_cast_no_drops_in_scene && scn_data_in_scene(k_no_drops_scene))
        actor.extra_flags |= k_extra_no_drops;
    if (cast == k_cast_hard_battle && game_flag(GF_DIFFICULTY) >= 1 && battle)
        actor.cast_flags |= k_flag_always_active;
    if (cast == k_cast_enemy_class) set_hit_class(actor, HIT_ENEMY, k_enemy_targets);
    if (cast >= k_casts_battle_first && cast <= k_casts_battle_last && battle)
        actor.cast_flags |= k_flag_always_active;
    if (cast == k_cast_guardian && scn_data_in_scene(k_guardian_scene)) make_guardian(actor);
    if (cast == k_cast_boss_actor) make_boss_actor(actor);
}

void apply_cast_table(GoActor& actor)
{
    for (const CastSetupRow& row : k_cast_rows)
        if (actor.cast >= row.first && actor.cast <= row.last) apply_row(actor, row);
    apply_conditions(actor);
}

std::span<const std::int32_t> preload_effects(std::int32_t cast)
{
    if (is_enemy_cast(cast)) return k_enemy_effects;
    return {};
}

// ---- Placement ----------------------------------------------------------------------------------
constexpr float k_ground_probe_depth = 510.0f;
constexpr float k_ground_snap = 1.5f;
constexpr float k_enemy_ground_snap = 0.25f; // an enemy keeps its given height unless just above ground
constexpr float k_water_probe_below = 0.05f;
constexpr float k_water_probe_above = 50.0f;
// The start point is appended only to a patrol of fewer than 7 given points.
constexpr std::uint32_t k_waypoints_with_start = 7;

D3DXVECTOR3 point_at_height(const D3DXVECTOR3& point, float y)
{
    return D3DXVECTOR3(point.x, y, point.z);
}

// The ground of collision set C below the point when it lies near the given height.
void snap_to_ground(const D3DXVECTOR3& position, GoActor& actor)
{
    const D3DXVECTOR3 start = point_at_height(position, position.y + actor.hover_height + actor.foot_offset);
    HitSegment segment;
    hit_segment_init_simple(start, point_at_height(start, start.y - k_ground_probe_depth), segment);
    if (!hit_segment_meshes_c(segment)) return;
    const float reach = (actor.hit_shape.class_bits & HIT_ENEMY) ? k_enemy_ground_snap : k_ground_snap;
    if (std::fabs(segment.hit_point.y - position.y) <= reach) actor.ground_height = segment.hit_point.y;
}

// A water surface (set B) between the position and the ground makes the actor wade; the water's
// height is then the highest surface up to 50 above the position, under which it is submerged.
void find_water(const D3DXVECTOR3& placed, GoActor& actor)
{
    const D3DXVECTOR3 below = point_at_height(placed, actor.ground_height - k_water_probe_below);
    HitSegment shallow;
    hit_segment_init_simple(placed, below, shallow);
    if (!hit_segment_meshes_b(shallow)) return;
    actor.wading = 1;
    actor.water_height = shallow.hit_point.y;
    HitSegment deep;
    hit_segment_init_simple(point_at_height(placed, placed.y + k_water_probe_above), below, deep);
    if (!hit_segment_meshes_b(deep)) return;
    actor.water_height = deep.hit_point.y;
    actor.submerged = 1;
}

} // namespace

const EnemyInfo* actor_enemy_row(std::int32_t cast)
{
    if (!is_enemy_cast(cast)) return nullptr;
    const std::int32_t row =
        cast >= k_late_enemy_casts_first ? cast - k_late_row_offset : cast - k_enemy_casts_first;
    return static_cast<std::size_t>(row) < g_enemyinfo.size() ? &g_enemyinfo[static_cast<std::size_t>(row)]
                                                              : nullptr;
}

void actor_setup(GoActor& actor, std::int32_t key, std::int32_t kind, std::int32_t spawn_type,
                 std::int32_t script_set, std::int32_t cast)
{
    if (cast == k_rare_cast && ((math_rand_u32() >> 17) & 0xFF) == 0) {
        cast = k_rare_variant_cast;
        script_set = k_rare_variant_script_set;
    }
    const CastInfo& record = scn_data_cast(cast);
    actor.cast = cast;
    actor.key = key;
    actor.kind = kind;
    actor.script_set = script_set;
    ++g_castinfo[static_cast<std::size_t>(cast)].live_count;

    set_body(actor, record);
    set_side(actor, spawn_type);
    actor.hit_once = actor.hit_once_entries;
    actor.hit_once_count = ACTOR_HIT_ONCE_ENTRIES;
    set_status(actor, record.hit_points);
    for (int i = 0; i < ACTOR_ALLY_COUNT; ++i)
        if (cast == k_ally_casts[i]) g_ally_actors[i] = &actor;
    set_motion(actor, record);
    set_defaults(actor);
    actor.wading = actor.submerged = g_play_state.water_mode == k_water_everywhere;
    actor.cast_flags |= ACTOR_CAST_WANDERS;
    actor.attack_id = go_next_object_id(GO_CLASS_ACTOR);
    actor.random_start = !script_event_running() && spawn_type == ACTOR_SPAWN_ENEMY;
    actor.cast_flags |= ACTOR_CAST_IGNORES_LEDGES;
    apply_cast_table(actor);

    if (actor.cast_flags & ACTOR_CAST_NO_ANIMATION) return;
    actor_init_animation(actor);
    if (actor.random_start) actor.script.wait += static_cast<std::int32_t>((math_rand_u32() >> 17) & 7);
}

void actor_set_position(const D3DXVECTOR3& position, GoActor& actor, float facing)
{
    actor.ground_height = actor.placement_ground = position.y;
    snap_to_ground(position, actor);
    const D3DXVECTOR3 placed(position.x, actor.ground_height + actor.hover_height + actor.foot_offset,
                             position.z);
    actor.world._41 = placed.x;
    actor.world._42 = placed.y;
    actor.world._43 = placed.z;
    actor.previous_position = placed;
    actor.hit_shape.centre = placed;
    actor.home_point = placed;
    actor.facing = actor.attack_facing = actor.home_facing = facing;
    actor.camera_height = actor.camera_height_goal = actor.ground_height + actor.foot_offset;
    find_water(placed, actor);
}

void actor_set_waypoints(std::int32_t count, const D3DXVECTOR3* points, GoActor& actor,
                         const D3DXVECTOR3* start)
{
    const auto given = static_cast<std::uint32_t>(std::clamp(count, 0, ACTOR_WAYPOINTS));
    std::copy_n(points, given, actor.waypoints);
    actor.waypoint_count = given;
    if (start != nullptr && given < k_waypoints_with_start) actor.waypoints[actor.waypoint_count++] = *start;
}

const D3DXVECTOR3* actor_pick_random_waypoint(GoActor& actor)
{
    const std::uint32_t count = actor.waypoint_count;
    if (count == 0) return nullptr;
    std::uint32_t index = 0;
    if (count > 1) {
        do
            index = (math_rand_u32() >> 17) % count;
        while (index == actor.current_waypoint);
    }
    actor.current_waypoint = static_cast<std::uint8_t>(index);
    return &actor.waypoints[index];
}

void actor_init_animation(GoActor& actor)
{
    AniScript& script = actor.script;
    if (!script.set && SUCCEEDED(script.Bind(actor.script_set)))
        script.BuildQuad(actor.sprite_quads[0], 0.0f, actor.colour, 0, 0, 1.0f);
    ani_dat_get_images(static_cast<int>(ani_dat_get_script_set(actor.script_set).header->image_archive));
    actor_preload_cast(actor.cast);
}

void actor_preload_cast(std::int32_t cast)
{
    if (scn_data_cast(cast).live_count > 1) return;
    for (std::int32_t effect : preload_effects(cast))
        sound_reload_effect(effect);
}
