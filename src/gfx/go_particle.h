// Every visible piece of an effect: one instance of one emitter. Attacking particles carry an
// attack record from one of the two record pools, by their effect's side.
#pragma once

#include "object/go_base.h"

#include <cstdint>

class GoParticle;

// Marks a particle that attacks; a full record pool leaves the particle harmless.
struct ParticleAttack {
    ObjHandle<GoParticle> particle;
    std::int32_t side; // 0 the player's, 1 the enemies'
};

constexpr int PARTICLE_ATTACK_PLAYER_RECORDS = 32;
constexpr int PARTICLE_ATTACK_ENEMY_RECORDS = 256;

class GoParticle : public GoBase {
public:
    GoParticle() : GoBase(go_next_object_id(GO_CLASS_PARTICLE), GO_CLASS_PARTICLE) {}

    std::uint8_t collision_on = 0;
    std::uint8_t collision_started = 0;
    float collision_radius = 0.0f;
    D3DXVECTOR3 previous_position;
    ParticleAttack* attack_record = nullptr; // null: the particle does not attack
};
