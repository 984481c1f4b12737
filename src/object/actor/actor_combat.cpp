#include "gfx/go_particle.h"
#include "object/actor/go_actor.h"
#include "object/go_mesh.h"
#include "object/obj_pools.h"

#include <cfloat>
#include <cmath>
#include <iterator>
#include <optional>

// A negative count is left alone: counting it down would run past the smallest int.
void combat_tick_hit_once_list(GoBase& object)
{
    if (!object.hit_once) return;
    for (std::uint32_t i = 0; i < object.hit_once_count; ++i)
        if (object.hit_once[i].ticks_left > 0) --object.hit_once[i].ticks_left;
}

void combat_init_attack(GoBase& object, std::int32_t active_ticks, std::int32_t side, std::int32_t hold,
                        float attack_bonus, float attack_factor, float radius, std::uint32_t attack_id,
                        std::uint8_t strength, std::uint8_t ailments, std::uint8_t element)
{
    AttackDesc& attack = object.attack;
    const bool player_side = side == COMBAT_SIDE_PLAYER;
    attack.shape.class_bits = player_side ? ATTACK_PLAYER_CLASS : ATTACK_ENEMY_CLASS;
    attack.shape.target_mask = player_side ? ATTACK_PLAYER_TARGETS : ATTACK_ENEMY_TARGETS;
    attack.shape.radius = radius;
    attack.shape.centre = {object.world._41, object.world._42, object.world._43};
    attack.shape.half_height = 0.0f;
    attack.shape.cylinder = 0;
    attack.shape.attack_id = attack_id;
    attack.shape.hold = hold;
    attack.attack_bonus = attack_bonus;
    attack.attack_factor = attack_factor;
    attack.strength = strength;
    attack.element = element;
    attack.ailments = ailments;
    attack.orbit_angle = 0.0f;
    attack.orbit_radius = COMBAT_ORBIT_RADIUS;
    attack.orbit_height = 0.0f;
    attack.active_ticks = active_ticks;
    attack.flags = 0;
}

std::int32_t player_attack_action_index()
{
    // The hero's magic actions 268-273 by their colour; every other action swings plainly.
    constexpr std::int32_t k_first_magic_action = 268;
    constexpr std::int32_t k_magic_indices[] = {2, 0, 1, 6, 4, 5};
    constexpr std::int32_t k_plain = ATTACK_ELEMENT_PLAIN;
    if (g_player == nullptr) return -1;
    const std::int32_t slot = g_player->script.current_action - k_first_magic_action;
    if (slot < 0 || slot >= static_cast<std::int32_t>(std::size(k_magic_indices))) return k_plain;
    return k_magic_indices[slot];
}

namespace {

// A vertical cylinder against a sphere, d running from the cylinder's centre to the sphere's.
// Past the cylinder's end the sphere reaches sideways by its cut at the end plane.
bool cylinder_meets_sphere(const HitShape& cylinder, const HitShape& sphere, float h2, float dy)
{
    const float reach = cylinder.radius + sphere.radius;
    if (h2 > reach * reach) return false;
    const float g = std::fabs(dy) - cylinder.half_height;
    if (g <= 0.0f) return true;
    if (g > sphere.radius) return false;
    const float side = cylinder.radius + std::sqrt(sphere.radius * sphere.radius - g * g);
    return side * side >= h2;
}

// The pair's distance when the two shapes overlap, d running from a's centre to b's.
std::optional<float> shapes_overlap(const HitShape& a, const HitShape& b, float dx, float dy, float dz)
{
    const float h2 = dx * dx + dz * dz;
    const float reach = a.radius + b.radius;
    const float r2 = reach * reach;
    if (!a.cylinder && !b.cylinder) {
        const float d2 = dx * dx + dy * dy + dz * dz;
        if (d2 <= r2) return d2;
        return std::nullopt;
    }
    bool meets = false;
    if (a.cylinder && b.cylinder)
        meets = h2 <= r2 && std::fabs(dy) <= a.half_height + b.half_height;
    else
        meets = a.cylinder ? cylinder_meets_sphere(a, b, h2, dy) : cylinder_meets_sphere(b, a, h2, dy);
    if (meets) return 0.0f;
    return std::nullopt;
}

} // namespace

bool combat_test_hit_shapes(HitResult& result, const HitShape& first, const HitShape& second)
{
    result.distance = FLT_MAX;
    result.first = &first;
    result.second = &second;
    for (const HitShape* a = &first; a; a = a->next)
        for (const HitShape* b = &second; b; b = b->next) {
            const float dx = b->centre.x - a->centre.x;
            const float dy = b->centre.y - a->centre.y;
            const float dz = b->centre.z - a->centre.z;
            const std::optional<float> distance = shapes_overlap(*a, *b, dx, dy, dz);
            if (!distance) continue;
            result.distance = *distance;
            result.angle = std::atan2(dz, dx);
            return true;
        }
    return false;
}

// An entry is live while its ticks left is non-zero; a negative count stays live as well.
bool combat_hit_once_check(GoBase& target, const HitShape& attack)
{
    if (!target.hit_once) return false;
    HitOnceEntry* free_entry = nullptr;
    for (std::uint32_t i = 0; i < target.hit_once_count; ++i) {
        HitOnceEntry& entry = target.hit_once[i];
        if (entry.ticks_left == 0) {
            if (!free_entry) free_entry = &entry;
        } else if (entry.attack_id == attack.attack_id) {
            return true;
        }
    }
    if (free_entry) *free_entry = {attack.attack_id, attack.hold};
    return false;
}

namespace {

// The sphere turns with the facing round the position; the table index i - 64 reads the sine.
void place_attack(AttackDesc& attack, const D3DXVECTOR3& position, float facing)
{
    const int step = math_heading_index(attack.orbit_angle + facing);
    attack.shape.centre.x = math_table_cos(step) * attack.orbit_radius + position.x;
    attack.shape.centre.z = math_table_sin(step) * attack.orbit_radius + position.z;
    attack.shape.centre.y = attack.orbit_height + position.y;
}

// Whether the attack lands on the target: a living target with an active body, met by the attack
// sphere, that the attack's id has not hit within its hold; the hit is recorded. No object is hit
// by its own attack. A particle's hit is its impact: a particle that ends there attacks no more.
bool try_hit(GoBase& target, GoBase& attacker)
{
    if (&target == &attacker) return false;
    if (!(target.hit_shape.class_bits & HIT_ACTIVE) || target.status.hp < 1.0f) return false;
    HitResult result{};
    if (!combat_test_hit_shapes(result, attacker.attack.shape, target.hit_shape)) return false;
    if (combat_hit_once_check(target, attacker.attack.shape)) return false;
    if (attacker.GetClassCode() == GO_CLASS_PARTICLE) {
        auto& particle = static_cast<GoParticle&>(attacker);
        if (eft_particle_impact(particle, false)) attacker.attack.active_ticks = 0;
    }
    return true;
}

// The hero after a hit, and any actor whose animation forbids it, are passed by enemy attacks.
bool shielded_from_enemies(const GoActor& target)
{
    if (target.script.switches[ANI_SWITCH_NO_HIT]) return true;
    return target.cast == ACTOR_CAST_HERO && target.invulnerability_ticks != 0;
}

// The player, then the companions; an enemy attack's mask chooses nothing here.
bool hit_player_side(GoBase& attacker)
{
    GoActor* const candidates[] = {g_player, g_ally_actors[0], g_ally_actors[1], g_ally_actors[2]};
    static_assert(std::size(candidates) == 1 + ACTOR_ALLY_COUNT);
    bool hit = false;
    for (GoActor* target : candidates)
        if (target && !shielded_from_enemies(*target)) hit |= try_hit(*target, attacker);
    return hit;
}

// Every object of the pool, in pool order, whose body class is in the attack's target mask.
template <typename T> bool hit_pool(const MemPool<T>& pool, GoBase& attacker)
{
    const std::uint32_t mask = attacker.attack.shape.target_mask;
    bool hit = false;
    for (std::int32_t i = 0; i < pool.count; ++i) {
        GoBase& target = *static_cast<T*>(pool.active[i]);
        if (target.hit_shape.class_bits & mask) hit |= try_hit(target, attacker);
    }
    return hit;
}

} // namespace

bool combat_apply_attack(const D3DXVECTOR3* position, std::int32_t side, GoBase& attacker, float facing)
{
    AttackDesc& attack = attacker.attack;
    if (attack.active_ticks == 0) return false;
    // Any negative count is endless: counting it down would run past the smallest int.
    if (attack.active_ticks > 0) --attack.active_ticks;
    if (position) place_attack(attack, *position, facing);
    if (side != COMBAT_SIDE_PLAYER) return hit_player_side(attacker);
    const bool actors_hit = hit_pool(g_pool_actor, attacker);
    const bool meshes_hit = hit_pool(g_pool_mesh, attacker);
    return actors_hit || meshes_hit;
}
