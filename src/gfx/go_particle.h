// Every visible piece of an effect: one instance of one emitter. It copies its emitter's start
// state, lives, fades, moves, follows or homes in on its parent, starts children, collides with
// the map and, for attacking emitters, carries an attack record from one of the two record
// pools, by its effect's side.
#pragma once

#include "gfx/eft_new.h"
#include "gfx/go_effect.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/go_base.h"

#include <cstdint>
#include <vector>

class GoParticle;

// Marks a particle that attacks; a full record pool leaves the particle harmless.
struct ParticleAttack {
    ObjHandle<GoParticle> particle;
    std::int32_t side; // 0 the player's, 1 the enemies'
};

constexpr int PARTICLE_ATTACK_PLAYER_RECORDS = 32;
constexpr int PARTICLE_ATTACK_ENEMY_RECORDS = 256;
constexpr std::int32_t PARTICLE_FADE_END = 256; // a fade amount that ends the particle

class GoParticle : public GoBase {
public:
    GoParticle() : GoBase(go_next_object_id(GO_CLASS_PARTICLE), GO_CLASS_PARTICLE) {}
    // Gives back the attack record, leaves its effect's live count and lets go of its effect
    // and parent, which only then may be swept.
    ~GoParticle() override;
    void Update() override;
    // Collision set A between the last two positions (a swept sphere for a collision radius);
    // a hit moves the particle to the hit point and runs a forced impact.
    void MoveWithCollision();
    // The impact; when it ends the particle, collision is off and the attack is over.
    bool Impact(bool forced);

    // The emitter's start state, then the running state. Its pointer slots stay zero: the real
    // links are the members below. speed_spread holds the random speed factor once started.
    EffectEmitter state{};
    ObjHandle<GoEffect> effect;   // the owner; this particle counts in its ref_count
    ObjHandle<GoParticle> parent; // the particle that started it; counts in its ref_count
    const EffectEmitterDef* def = nullptr;
    EffectVertex* vertices = nullptr; // state.vertices, or the ring's (none without segments)
    std::vector<EffectVertex> ring;   // 2 x (segments + 1) vertices of a ring emitter
    D3DXMATRIX matrix;                // where it is drawn; GoParticle::Update copies it to the world
    std::uint8_t collision_on = 0;
    std::uint8_t collision_started = 0;
    float collision_radius = 0.0f;
    D3DXVECTOR3 previous_position;
    ParticleAttack* attack_record = nullptr; // null: the particle does not attack
};

// A random value in (-1, 1), most often near 0: the high 15 bits of one draw less 15 others.
float eft_rand_triangular();
// 1 + spread x a triangular random value, 1 for spread 0; a negative result r gives 1 / r.
float eft_rand_factor(float spread);
// v turned about the axes of a basis built from `forward`: by angles.x about its side axis, .y
// about its up axis, .z about forward itself. A zero forward leaves v as it is.
D3DXVECTOR3 eft_turn_by_angles(const D3DXVECTOR3& v, const D3DXVECTOR3& forward, const D3DXVECTOR3& angles);

// Takes a particle slot for the effect's emitter (the definition belongs to the start state)
// and starts it: null, nothing made, when the pool is full.
GoParticle* eft_particle_create(GoEffect& effect, const EffectEmitter& start, const EffectEmitterDef& def,
                                std::uint8_t delay, GoParticle* parent);
// The creation steps after the slot is taken: state, ring, every randomised value, the attack.
void eft_emitter_init(GoEffect& effect, GoParticle& particle, const EffectEmitter& start,
                      const EffectEmitterDef& def, std::uint8_t delay, GoParticle* parent);
// One tick step of the particle's life: fading, curves, motion, matrix, homing, frames,
// children; on drawn frames its culling, draw item and ground light.
void eft_particles_update(GoParticle& particle);
// The particle met something. Unless forced, only an emitter that ends on impact ends; an ending
// particle fades and makes its effect stop. Then the impact sound and effect. True when it ended.
bool eft_particle_impact(GoParticle& particle, bool forced);
// Starts the particle's fade-out as its effect's stop request would.
void eft_particle_stop(GoParticle& particle);
// The first particle of the effect in the pool's active list, dead ones not yet swept included.
GoParticle* go_particle_find_by_emitter(const GoEffect& effect);
