#include "object/xx/go_xx.h"

#include "core/maths.h"
#include "game/g_settings.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/obj_pools.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <numbers>
#include <vector>

std::uint32_t g_goxx_serial = 0;
std::int32_t g_goxx_live_count[GOXX_SUBTYPE_COUNT] = {};

namespace {

std::uint32_t goxx_next_id()
{
    ++g_goxx_serial;
    return static_cast<std::uint32_t>(GO_CLASS_XX) << 24 | (g_goxx_serial & 0xFFFFFF);
}

// What a subtype does each step and what it gives back when deleted; either may be absent.
struct GoXxKind {
    void (*update)(GoXx& object);
    void (*release)(GoXx& object);
};

constexpr auto k_kinds = [] {
    std::array<GoXxKind, GOXX_SUBTYPE_COUNT> kinds{};
    kinds[GOXX_SPRITE_PARTICLE] = {goxx_update_sprite_particle, nullptr};
    kinds[GOXX_STREAK_SPARK] = {goxx_update_streak_spark, nullptr};
    kinds[GOXX_ANIM_SPRITE] = {goxx_update_anim_sprite, goxx_release_anim_sprite};
    kinds[GOXX_PICTURE_OVERLAY] = {goxx_update_picture_overlay, goxx_release_picture_overlay};
    kinds[GOXX_SAVE_POINT] = {goxx_update_save_point, nullptr};
    kinds[GOXX_POINT_LIGHT] = {goxx_update_point_light, nullptr};
    return kinds;
}();

} // namespace

GoXx::GoXx() : GoBase(goxx_next_id(), GO_CLASS_XX) {}

GoXx::~GoXx()
{
    if (role >= GOXX_SUBTYPE_COUNT) return;
    if (k_kinds[role].release) k_kinds[role].release(*this);
    --g_goxx_live_count[role];
}

void GoXx::Update()
{
    if (role >= GOXX_SUBTYPE_COUNT) return;
    if (k_kinds[role].update) k_kinds[role].update(*this);
}

void goxx_set_subtype(GoXx& object, GoXxSubtype subtype)
{
    object.role = subtype;
    ++g_goxx_live_count[subtype];
}

std::int32_t goxx_depth_key(const D3DXVECTOR3& point)
{
    const D3DXVECTOR3 d = point - g_camera_state.eye;
    const float x = std::trunc(d.x), y = std::trunc(d.y), z = std::trunc(d.z);
    return rq_depth_key(x * x + y * y + z * z);
}

D3DXVECTOR3 goxx_view_forward()
{
    const D3DXMATRIX& billboard = g_camera_state.billboard;
    return {billboard._31, billboard._32, billboard._33};
}

// ---- Item drops ----------------------------------------------------------------------------------

namespace {

constexpr float k_pickup_lifetime = 690.0f;
constexpr float k_bloody_debris_lifetime = 105.0f;
constexpr float k_debris_lifetime = 90.0f;
constexpr std::uint8_t k_bloody_level = 2;
constexpr std::uint8_t k_drop_delay_step = 2;
constexpr std::int32_t k_drop_life_spread = 1;
constexpr float k_drop_spin = 0.45f;
constexpr float k_pi = std::numbers::pi_v<float>;

// The debris pieces that flutter down instead of falling.
constexpr std::int32_t k_flutter_pieces[] = {
    18,  19,  82,  86,  87,  88,  96,  97,  99,  128, 129, 133, 134, 158, 159, 203, 206,
    208, 223, 236, 237, 261, 262, 269, 291, 293, 311, 329, 329, 340, 341, 342, 343, 344,
    348, 353, 355, 360, 361, 362, 363, 365, 366, 367, 368, 370, 371, 372, 373,
};
static_assert(std::size(k_flutter_pieces) == 49);

bool flutters(std::int32_t texture)
{
    return std::ranges::find(k_flutter_pieces, texture - DROP_TEXTURES_DEBRIS) != std::end(k_flutter_pieces);
}

float base_lifetime(std::uint8_t flags)
{
    if (flags & DROP_PICKUP) return k_pickup_lifetime;
    return g_bloody_effect_level >= k_bloody_level ? k_bloody_debris_lifetime : k_debris_lifetime;
}

// Every entry swaps with the first once per round, as many rounds as there are entries.
void shuffle(std::vector<std::int32_t>& list)
{
    const auto count = static_cast<std::uint32_t>(list.size());
    for (std::uint32_t round = 0; round < count; ++round)
        std::swap(list[math_rand_u32() % count], list.front());
}

DropParams make_drop(std::int32_t item, std::uint8_t delay, const D3DXVECTOR3& point, const DropThrow& how)
{
    DropParams drop{};
    drop.item_id = item;
    drop.texture = how.texture_base + item;
    drop.motion = flutters(drop.texture) ? DROP_MOTION_FLUTTER : DROP_MOTION_BALLISTIC;
    const std::uint32_t extra = math_rand_u32() % static_cast<std::uint32_t>(how.life_spread + 1);
    drop.lifetime = base_lifetime(how.flags) + static_cast<float>(extra);
    drop.position = point;
    drop.heading = math_rand_range(how.heading_min, how.heading_max);
    drop.speed = math_rand_range(how.speed_min, how.speed_max);
    drop.vertical_speed = math_rand_range(how.vertical_min, how.vertical_max);
    drop.spin_speed = how.spin;
    drop.size = how.size;
    drop.material = DROP_MATERIAL;
    drop.colour = DROP_COLOUR;
    drop.decal_colour = how.decal_colour;
    drop.flags = how.flags;
    drop.start_delay = delay;
    return drop;
}

// Debris pieces and pick-ups; the callers choose spin, expiry and rest.
constexpr DropThrow k_debris_throw{
    .texture_base = DROP_TEXTURES_DEBRIS,
    .delay_step = k_drop_delay_step,
    .life_spread = k_drop_life_spread,
    .flags = 0,
    .size = 1.0f,
    .spin = 0.0f,
    .speed_min = 0.02f,
    .speed_max = 0.09f,
    .vertical_min = 0.04f,
    .vertical_max = 0.09f,
    .heading_min = -k_pi,
    .heading_max = k_pi,
    .decal_colour = 0,
};
constexpr DropThrow k_pickup_throw{
    .texture_base = DROP_TEXTURES_PICKUP,
    .delay_step = k_drop_delay_step,
    .life_spread = k_drop_life_spread,
    .flags = DROP_GROUND_C | DROP_PICKUP,
    .size = 0.9f,
    .spin = 0.0f,
    .speed_min = 0.01f,
    .speed_max = 0.045f,
    .vertical_min = 0.04f,
    .vertical_max = 0.065f,
    .heading_min = -k_pi,
    .heading_max = k_pi,
    .decal_colour = 0,
};

void throw_drops(DropThrow how, const D3DXVECTOR3& point, std::span<const std::int32_t> list,
                 std::int32_t count, bool spin, bool no_expiry, bool at_rest)
{
    if (spin) how.spin = k_drop_spin;
    if (no_expiry) how.flags |= DROP_NO_EXPIRY;
    if (at_rest) how.flags |= DROP_AT_REST;
    goxx_spawn_item_drops(list, count, point, how);
}

} // namespace

void goxx_init_item_drop(GoXx& object, const DropParams& params)
{
    goxx_set_subtype(object, GOXX_ITEM_DROP);
    object.area<DropParams>() = params;
}

void goxx_spawn_item_drops(std::span<const std::int32_t> list, std::int32_t count, const D3DXVECTOR3& point,
                           const DropThrow& how)
{
    if (list.empty()) return;
    std::vector<std::int32_t> shuffled;
    std::size_t cursor = 0;
    std::uint8_t delay = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        GoXx* object = obj_create<GoXx>(g_pool_xx);
        if (object == nullptr) return;
        if (cursor == 0) {
            shuffled.assign(list.begin(), list.end());
            shuffle(shuffled);
        }
        const std::int32_t item = shuffled[cursor];
        cursor = (cursor + 1) % shuffled.size();
        goxx_init_item_drop(*object, make_drop(item, delay, point, how));
        delay += how.delay_step;
    }
}

void goxx_drop_items_short(std::uint32_t decal_colour, const D3DXVECTOR3& point,
                           std::span<const std::int32_t> list, std::int32_t count, bool spin, bool no_expiry,
                           bool at_rest)
{
    DropThrow how = k_debris_throw;
    how.decal_colour = decal_colour;
    throw_drops(how, point, list, count, spin, no_expiry, at_rest);
}

void goxx_drop_items_long(const D3DXVECTOR3& point, std::int32_t count, std::span<const std::int32_t> list,
                          bool spin, bool no_expiry, bool at_rest)
{
    throw_drops(k_pickup_throw, point, list, count, spin, no_expiry, at_rest);
}

// ---- Script attacks ------------------------------------------------------------------------------

void goxx_init_script_attack_wave(GoXx& object, const WaveParams& params)
{
    goxx_set_subtype(object, GOXX_SCRIPT_ATTACK_WAVE);
    object.area<WaveParams>() = params;
}

void goxx_init_script_attack_ribbons(GoXx& object, const RibbonAttackParams& params)
{
    goxx_set_subtype(object, GOXX_SCRIPT_ATTACK_RIBBONS);
    object.area<RibbonAttack>().params = params;
}

void goxx_init_script_attack_attached(GoXx& object, const AttachedAttackParams& params)
{
    goxx_set_subtype(object, GOXX_SCRIPT_ATTACK_ATTACHED);
    object.area<AttachedAttackParams>() = params;
}

float actor_heading_to_waypoint(GoXx& object)
{
    constexpr std::int32_t k_ground_mode = 0x1;
    const RibbonAttack& ribbons = object.area<RibbonAttack>();
    const bool has_target = ribbons.targets != nullptr && ribbons.target_index < ribbons.target_count;
    if ((ribbons.params.ground & k_ground_mode) || !has_target) return ribbons.params.heading;
    const D3DXVECTOR3& point = ribbons.targets[ribbons.target_index].point;
    return math_atan2f(point.z - object.world._43, point.x - object.world._41);
}

// ---- Shots ---------------------------------------------------------------------------------------

GoXx* goxx_spawn_shot(const ShotSpawn& values)
{
    GoXx* object = obj_create<GoXx>(g_pool_xx);
    if (object == nullptr) return nullptr;
    goxx_set_subtype(*object, GOXX_SHOT);
    ShotParams record{};
    static_cast<ShotSpawn&>(record) = values;
    object->area<ShotParams>() = record;
    return object;
}
