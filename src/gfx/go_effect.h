// A running effect: the world matrix its particles are placed with, the attack values they
// inherit, and the count of its living particles. The particles are GoParticle objects.
#pragma once

#include "object/go_base.h"

#include <cstdint>

enum EffectFollow : std::uint8_t {
    EFFECT_FOLLOW_NONE = 0,
    EFFECT_FOLLOW_PARENT = 1,          // base matrix x parent matrix
    EFFECT_FOLLOW_PARENT_POSITION = 2, // base matrix moved by the parent's position
    EFFECT_FOLLOW_PLAYER_POSITION = 3, // base matrix moved by the player's position
};

constexpr std::uint8_t EFFECT_ROW = 11; // the render-queue row of its particles
constexpr std::uint8_t EFFECT_ROW_IN_WATER = 9;

class GoEffect : public GoBase {
public:
    GoEffect() : GoBase(go_next_object_id(GO_CLASS_EFFECT), GO_CLASS_EFFECT) {}

    const D3DXMATRIX* draw_matrix = nullptr;   // its own world matrix
    const D3DXMATRIX* parent_matrix = nullptr; // followed in follow modes 1 and 2
    D3DXVECTOR3 scale;
    std::int32_t live_particles = 0;
    std::int32_t attack_id = 0;
    std::int32_t ailment_mask = 0;
    float power_a = 0.0f;
    float power_b = 0.0f;
    std::int32_t fade_step = 0; // handed to the other particles by an impact
    std::uint8_t stop_request = 0;
    EffectFollow follow = EFFECT_FOLLOW_NONE;
    std::uint8_t element = 0;
    std::uint8_t side = 0; // 0 the player's, 1 the enemies'
    std::uint16_t effect_id = 0;
    std::uint8_t render_row = 0;
    std::uint8_t strength = 0;
    float motion_speed = 0.0f;    // progress a tick along the line
    float motion_position = 0.0f; // 0 to 1
    D3DXVECTOR3 motion_start;
    D3DXVECTOR3 motion_end;
    float camera_pull = 0.0f;
    D3DXVECTOR3 camera_offset;    // toward the effect from the camera eye, times the pull
    std::uint8_t stop_always = 0; // every stop by matrix stops it
};
