#include "object/actor/go_actor.h"

#include <iterator>

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
