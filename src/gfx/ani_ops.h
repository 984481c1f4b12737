// The animation-script functions that act on the owner (ids 1, 7-10, 22-29, 35-37 and 50). The
// interpreter's handler table calls them with the call's script, owner and arguments; an owner
// that is null does nothing.
#pragma once

#include "game/g_status_block.h"
#include "gfx/ani_script.h"
#include "platform/d3dx8.h"

#include <cstdint>

void ani_op_color_b(AniCall& call);         // 1 FUNCID_COLOR_B
void ani_op_color_a(AniCall& call);         // 7 FUNCID_COLOR_A
void ani_op_jump(AniCall& call);            // 8 FUNCID_JUMP
void ani_op_push(AniCall& call);            // 9 FUNCID_PUSH
void ani_op_spawn_xx(AniCall& call);        // 10 FUNCID_SPAWN_XX
void ani_op_land_event(AniCall& call);      // 22 FUNCID_LAND_EVENT
void ani_op_reg_on_ground(AniCall& call);   // 23 FUNCID_REG_ONGROUND
void ani_op_boost_add(AniCall& call);       // 24 FUNCID_BOOST_ADD
void ani_op_set_attack(AniCall& call);      // 25 FUNCID_ATTACK
void ani_op_sword_trail(AniCall& call);     // 26 FUNCID_SWORD_TRAIL
void ani_op_effect(AniCall& call);          // 27 FUNCID_EFFECT
void ani_op_drop_items(AniCall& call);      // 28 FUNCID_DROP_ITEMS
void ani_op_drop_items_long(AniCall& call); // 29 FUNCID_DROP_ITEMS_LONG
void ani_op_sound(AniCall& call);           // 35 FUNCID_SOUND
void ani_op_footstep(AniCall& call);        // 36 FUNCID_FOOTSTEP
void ani_op_spawn_shot(AniCall& call);      // 37 FUNCID_SHOT
void ani_op_reg_ai_byte(AniCall& call);     // 50 FUNCID_REG_AIBYTE

// The effect that FUNCID_EFFECT starts at or on its owner, as its ten words give it.
struct AniEffectRequest {
    std::int32_t effect_id;
    D3DXVECTOR3 position; // beside the owner in attach mode 0, else the origin
    D3DXVECTOR3 rotation; // radians
    D3DXVECTOR3 scale;
    std::uint8_t in_water;
    std::int32_t side; // COMBAT_SIDE_*
    const StatusBlock* status;
    float power_a;
    float power_b;
    std::uint8_t strength;
    std::uint8_t ailments;
    std::uint8_t element;
    // Attach mode non-zero: the effect follows the owner's world matrix from this offset.
    std::int32_t attach_mode;
    D3DXVECTOR3 attach_offset;
    D3DXVECTOR3 attach_rotation;
};
AniEffectRequest ani_effect_request(const AniCall& call, const GoActor& owner);

// The sword trail that FUNCID_SWORD_TRAIL starts for its owner, word by word.
struct AniSwordTrailRequest {
    std::int32_t value; // 256 + the curve's segment (300 + segment for cast 80)
    std::uint32_t reaction_id;
    float reaction_values[2]; // unsigned words, as floats
    std::int32_t attack_from; // the frame window in which the attack applies
    std::int32_t attack_to;
    float attack_values[2];
    std::int32_t strength;
    std::int32_t lifetime;
};
AniSwordTrailRequest ani_sword_trail_request(const AniCall& call);
