// The animation-script functions that act on the owning actor: its colour, motion and attack,
// and the objects, sounds and drops it makes.
#include "gfx/ani_ops.h"

#include "core/maths.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_scn_data.h"
#include "game/g_sound.h"
#include "lowlv/audio/audio_params.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"
#include "object/obj_pools.h"
#include "object/xx/go_xx.h"
#include "platform/dsound.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

namespace {

constexpr std::int32_t k_enemy_casts_first = 14; // 14-83 and 166-176 are enemies
constexpr std::int32_t k_enemy_casts_last = 83;
constexpr std::int32_t k_late_enemy_casts_first = 166;
constexpr std::int32_t k_late_enemy_casts_last = 176;
constexpr std::int32_t k_first_table_rows_last_cast = 97; // casts up to here read row cast - 14
constexpr std::int32_t k_late_row_offset = 96;
constexpr std::uint32_t k_opaque = 0xFF000000;
constexpr std::uint32_t k_default_blood = 0xFF550A00;
// Casts 54 and 55 drop nothing unless the player wears the ring of accessory bit 0x8000.
constexpr std::int32_t k_ring_drop_casts[] = {54, 55};
constexpr std::uint32_t k_ring_drop_bit = 0x8000;
constexpr std::size_t k_drop_list_first = 7;

constexpr std::uint32_t k_boost_powerup = 0x20;
constexpr float k_boost_scale = 0.8f;
constexpr float k_boost_max = 30000.0f;

constexpr std::int32_t k_spawn_wave = 1;
constexpr std::int32_t k_spawn_ribbons = 2;
constexpr std::int32_t k_spawn_attached = 3;
constexpr float k_ribbon_lead = 1.5f; // the ground sweep starts this far ahead
constexpr float k_ribbon_word_3 = 0.45f;

constexpr std::int32_t k_shot_along_attack_facing = 27;
constexpr std::int32_t k_shot_jittered_effect = 11;
constexpr float k_shot_jitter = 0.03f;

constexpr float k_quarter_turn = 1.5707964f;

Vec3 arg_colour(const AniCall& call, std::size_t first)
{
    return {call.arg_float(first), call.arg_float(first + 1), call.arg_float(first + 2)};
}

// A point at a distance and height from the owner along a heading.
D3DXVECTOR3 beside(const GoActor& owner, float heading, float distance, float height)
{
    return actor_position(owner) +
           D3DXVECTOR3(std::cos(heading) * distance, height, std::sin(heading) * distance);
}

bool player_side(std::int32_t cast)
{
    return cast == ACTOR_CAST_HERO || (cast >= ACTOR_CAST_ALLY_FIRST && cast <= ACTOR_CAST_ALLY_LAST);
}

std::int32_t attack_side(const GoActor& owner)
{
    return player_side(owner.cast) ? COMBAT_SIDE_PLAYER : COMBAT_SIDE_ENEMY;
}

// The hero's attacks take the colour of the player's magic action (none without a player); nobody
// else's have an element.
std::uint8_t attack_element(const GoActor& owner)
{
    if (owner.cast != ACTOR_CAST_HERO) return ATTACK_ELEMENT_NONE;
    return static_cast<std::uint8_t>(player_attack_action_index());
}

bool is_enemy_cast(std::int32_t cast)
{
    return (cast >= k_enemy_casts_first && cast <= k_enemy_casts_last) ||
           (cast >= k_late_enemy_casts_first && cast <= k_late_enemy_casts_last);
}

std::uint32_t debris_colour(std::int32_t cast)
{
    if (!is_enemy_cast(cast)) return k_default_blood;
    const std::int32_t row =
        cast <= k_first_table_rows_last_cast ? cast - k_enemy_casts_first : cast - k_late_row_offset;
    const std::uint32_t colour = scn_data_enemy(row).blood_colour;
    return colour == 0 ? 0 : colour | k_opaque;
}

bool drops_withheld(std::int32_t cast)
{
    const bool ring_cast = std::ranges::find(k_ring_drop_casts, cast) != std::end(k_ring_drop_casts);
    return ring_cast && !(g_play_state.equip_bonus.accessory_bits & k_ring_drop_bit);
}

// The item list runs from the eighth word to the last.
std::vector<std::int32_t> drop_list(const AniCall& call)
{
    std::vector<std::int32_t> list;
    for (std::size_t i = k_drop_list_first; i < call.args.size(); ++i)
        list.push_back(call.arg(i));
    return list;
}

void spawn_wave(GoXx& object, GoActor& owner, const AniCall& call, std::uint32_t attack_id)
{
    WaveParams wave{};
    wave.position = actor_position(owner);
    wave.speed = call.arg_float(6);
    wave.heading = owner.facing - g_camera_heading;
    wave.effect_time = call.arg_float(1);
    wave.unread_6 = call.arg_float(2);
    wave.size = call.arg_float(3);
    wave.source = ObjHandle<GoActor>(&owner);
    wave.puff_value = static_cast<std::int32_t>(attack_id);
    wave.puff_count = static_cast<std::uint32_t>(call.arg(4));
    wave.puff_effect_id = call.arg(5);
    wave.puff_period = static_cast<std::uint32_t>(call.arg(7));
    goxx_init_script_attack_wave(object, wave);
}

void spawn_ribbons(GoXx& object, GoActor& owner, const AniCall& call, std::uint32_t attack_id)
{
    const float heading = owner.facing;
    const bool ground = call.arg(4) != 0;
    RibbonAttackParams ribbons{};
    ribbons.position = beside(owner, heading, ground ? k_ribbon_lead : 0.0f, 0.0f);
    ribbons.unread_3 = k_ribbon_word_3;
    ribbons.heading = heading;
    ribbons.attack_bonus = call.arg_float(1);
    ribbons.unread_6 = call.arg_float(2);
    ribbons.source = ObjHandle<GoBase>(&owner);
    ribbons.attack_id = attack_id;
    ribbons.value = call.arg(3);
    ribbons.ground = call.arg(4);
    ribbons.start_delay = static_cast<std::uint32_t>(call.arg(5));
    goxx_init_script_attack_ribbons(object, ribbons);
    if (object.area<RibbonAttack>().target_count != 0) owner.facing = actor_heading_to_waypoint(object);
}

} // namespace

AniEffectRequest ani_effect_request(const AniCall& call, const GoActor& owner)
{
    constexpr std::int32_t k_placed = 0;
    const float distance = call.arg_float(1);
    const float angle = call.arg_float(2) * MATH_DEGREE;
    const float height = call.arg_float(3);
    const float scale = call.arg_float(4);
    AniEffectRequest request{};
    request.effect_id = call.arg(0);
    request.scale = {scale, scale, scale};
    request.in_water = owner.submerged;
    request.side = attack_side(owner);
    request.status = &owner.status;
    request.power_a = call.arg_float(8);
    request.power_b = call.arg_float(9);
    request.strength = static_cast<std::uint8_t>(call.arg(6));
    request.ailments = static_cast<std::uint8_t>(call.arg(7));
    request.element = attack_element(owner);
    request.attach_mode = call.arg(5);
    if (request.attach_mode == k_placed) {
        request.position = beside(owner, angle + owner.attack_facing, distance, height);
        request.rotation = {0.0f, angle - (owner.attack_facing + k_quarter_turn), 0.0f};
    } else {
        request.attach_offset = {0.0f, height, -distance};
        request.attach_rotation = {0.0f, angle, 0.0f};
    }
    return request;
}

AniSwordTrailRequest ani_sword_trail_request(const AniCall& call)
{
    AniSwordTrailRequest request{};
    request.value = call.arg(0);
    request.reaction_id = static_cast<std::uint32_t>(call.arg(1));
    request.reaction_values[0] = static_cast<float>(static_cast<std::uint32_t>(call.arg(2)));
    request.reaction_values[1] = static_cast<float>(static_cast<std::uint32_t>(call.arg(3)));
    request.attack_from = call.arg(4);
    request.attack_to = call.arg(5);
    request.attack_values[0] = call.arg_float(6);
    request.attack_values[1] = call.arg_float(7);
    request.strength = call.arg(8);
    request.lifetime = call.arg(9);
    return request;
}

void ani_op_color_b(AniCall& call)
{
    if (call.owner == nullptr) return;
    actor_set_color_blend_b(*call.owner, arg_colour(call, 0), arg_colour(call, 3), call.arg_float(6),
                            call.arg(7));
}

void ani_op_color_a(AniCall& call)
{
    if (call.owner == nullptr) return;
    actor_set_color_blend_a(*call.owner, arg_colour(call, 0), arg_colour(call, 3), call.arg_float(6),
                            call.arg(7));
}

void ani_op_jump(AniCall& call)
{
    GoActor* owner = call.owner;
    if (owner == nullptr || !owner->on_ground) return;
    const float asked = call.arg_float(0);
    const float speed = asked == 0.0f ? owner->jump_speed : asked;
    owner->vertical_speed = speed;
    owner->jump_start_speed = speed;
    owner->world._42 += speed;
    owner->on_ground = 0;
    call.script.switches[ANI_SWITCH_JUMPED] = 1;
}

void ani_op_push(AniCall& call)
{
    GoActor* owner = call.owner;
    if (owner == nullptr) return;
    // The player's facing is kept relative to the camera.
    const float heading = owner == g_player ? owner->facing - g_camera_heading : owner->facing;
    const float speed = call.arg_float(0);
    owner->push_velocity.x = std::cos(heading) * speed;
    owner->push_velocity.z = std::sin(heading) * speed;
}

// An unknown kind makes nothing, so it takes no slot of the pool and no attack id.
void ani_op_spawn_xx(AniCall& call)
{
    GoActor* owner = call.owner;
    const std::int32_t kind = call.arg(0);
    if (owner == nullptr || kind < k_spawn_wave || kind > k_spawn_attached) return;
    GoXx* object = obj_create<GoXx>(g_pool_xx);
    if (object == nullptr) return;
    const std::uint32_t attack_id = go_next_object_id(GO_CLASS_ACTOR);
    if (kind == k_spawn_wave) spawn_wave(*object, *owner, call, attack_id);
    if (kind == k_spawn_ribbons) spawn_ribbons(*object, *owner, call, attack_id);
    if (kind == k_spawn_attached) goxx_init_script_attack_attached(*object, {ObjHandle<GoActor>(owner)});
}

void ani_op_land_event(AniCall& call)
{
    if (call.owner != nullptr && call.owner->on_ground) call.owner->event_bits |= ACTOR_EVENT_LANDED;
}

void ani_op_reg_on_ground(AniCall& call)
{
    if (call.owner != nullptr) call.script.reg = call.owner->on_ground;
}

void ani_op_boost_add(AniCall& call)
{
    PlayState& ps = g_play_state;
    if (call.owner == nullptr || !(ps.powerup_bits & k_boost_powerup)) return;
    ps.boost_gauge = std::min(ps.boost_gauge + call.arg_float(0) * k_boost_scale, k_boost_max);
}

void ani_op_set_attack(AniCall& call)
{
    GoActor* owner = call.owner;
    if (owner == nullptr) return;
    combat_init_attack(*owner, call.arg(6), attack_side(*owner), call.arg(7), call.arg_float(11),
                       call.arg_float(12), call.arg_float(1), owner->attack_id,
                       static_cast<std::uint8_t>(call.arg(9)), static_cast<std::uint8_t>(call.arg(10)),
                       attack_element(*owner));
    AttackDesc& attack = owner->attack;
    attack.orbit_height = call.arg_float(4);
    attack.orbit_radius = call.arg_float(2);
    attack.orbit_angle = call.arg_float(3) * MATH_DEGREE;
    attack.shape.cylinder = call.arg(0);
    attack.shape.half_height = call.arg_float(5);
    if (call.arg(8) != 0) attack.flags |= ATTACK_ENDS_ON_HIT;
}

// The request is whole; no trail object exists yet to take it.
void ani_op_sword_trail(AniCall& call)
{
    if (call.owner == nullptr) return;
    [[maybe_unused]] const AniSwordTrailRequest request = ani_sword_trail_request(call);
}

// The request is whole; no effect object exists yet to take it.
void ani_op_effect(AniCall& call)
{
    if (call.owner == nullptr) return;
    [[maybe_unused]] const AniEffectRequest request = ani_effect_request(call, *call.owner);
}

void ani_op_drop_items(AniCall& call)
{
    GoActor* owner = call.owner;
    if (owner == nullptr || drops_withheld(owner->cast)) return;
    const std::vector<std::int32_t> list = drop_list(call);
    goxx_drop_items_short(debris_colour(owner->cast), actor_position(*owner), list, call.arg(0),
                          call.arg(1) != 0, call.arg(2) != 0, call.arg(3) != 0);
}

void ani_op_drop_items_long(AniCall& call)
{
    GoActor* owner = call.owner;
    if (owner == nullptr) return;
    const std::vector<std::int32_t> list = drop_list(call);
    goxx_drop_items_long(actor_position(*owner), call.arg(0), list, call.arg(1) != 0, call.arg(2) != 0,
                         call.arg(3) != 0);
}

// Ids past the table are ignored.
void ani_op_sound(AniCall& call)
{
    const std::int32_t id = call.arg(0);
    if (call.owner == nullptr || id < 0 || id >= g_sound_count) return;
    if (g_sound_table[id].buffer_flags & DSBCAPS_CTRL3D)
        actor_play_sound(*call.owner, id);
    else
        sound_play(id, AUDIO_VOLUME_MAX);
}

void ani_op_footstep(AniCall& call)
{
    if (call.owner != nullptr) actor_play_footstep(call.arg(0), *call.owner);
}

void ani_op_spawn_shot(AniCall& call)
{
    GoActor* owner = call.owner;
    if (owner == nullptr) return;
    const float heading = call.arg_float(4) * MATH_DEGREE + owner->attack_facing;
    ShotSpawn shot{};
    shot.owner = ObjHandle<GoBase>(owner);
    shot.motion = call.arg(0);
    shot.effect_id = call.arg(1);
    shot.pos = beside(*owner, heading, call.arg_float(2), call.arg_float(3));
    Vec3 dir{call.arg_float(5), call.arg_float(6), call.arg_float(7)};
    if (dir.x * dir.x + dir.y * dir.y + dir.z * dir.z == 0.0f)
        dir = {std::cos(heading), 0.0f, std::sin(heading)};
    if (shot.motion == k_shot_along_attack_facing)
        dir = {std::cos(owner->attack_facing), 0.0f, std::sin(owner->attack_facing)};
    shot.accel = call.arg_float(9);
    if (shot.effect_id == k_shot_jittered_effect && g_play_state.game_flags[GF_DIFFICULTY] > 0)
        shot.accel += math_rand_range(0.0f, k_shot_jitter);
    Vec3 unit;
    vec3_normalize(unit, dir);
    shot.dir = {unit.x, unit.y, unit.z};
    shot.speed = call.arg_float(8);
    shot.drop = call.arg_float(10);
    shot.effect_time = call.arg_float(11);
    shot.effect_speed = call.arg_float(12);
    shot.trail_effect_id = call.arg(13);
    shot.trail_period = call.arg(14);
    shot.homing_period = call.arg(15);
    shot.turn_rate = call.arg_float(16) * MATH_DEGREE;
    shot.motion_a = call.arg_float(17);
    shot.motion_b = call.arg_float(18);
    shot.motion_c = call.arg_float(19);
    shot.motion_d = call.arg_float(20);
    goxx_spawn_shot(shot);
}

void ani_op_reg_ai_byte(AniCall& call)
{
    if (call.owner != nullptr) call.script.reg = call.owner->ai_byte;
}
