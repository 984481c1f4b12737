#include "gfx/go_particle.h"

#include "core/maths.h"
#include "object/actor/go_actor.h"
#include "object/obj_pools.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <new>
#include <numbers>

namespace {

// The signed difference of two 15-bit parts of one draw: -32767 to 32767, most often near 0.
std::int32_t rand_triangular_int()
{
    const std::uint32_t r = math_rand_u32();
    return static_cast<std::int32_t>(r >> 17) - static_cast<std::int32_t>(r & 0x7FFF);
}

// amount x a triangular value; nothing is drawn for no amount.
float jitter(float amount)
{
    return amount != 0.0f ? amount * eft_rand_triangular() : 0.0f;
}

// A random angle within half the spread either side; nothing is drawn for no spread.
float half_spread(float spread)
{
    return spread != 0.0f ? math_rand_range(-0.5f * spread, 0.5f * spread) : 0.0f;
}

D3DXVECTOR3 effect_position(const GoEffect& effect)
{
    return effect.draw_matrix ? matrix_position(*effect.draw_matrix) : D3DXVECTOR3();
}

// A random offset of the spawn: along z, or along x when only the z spread turns it (a turn
// about z leaves z itself in place), turned within the spread angles, of a random length.
D3DXVECTOR3 eft_random_in_cone(const EffectEmitterDef& def)
{
    const D3DXVECTOR3& spread = def.spawn_spread;
    const bool only_z = spread.x == 0.0f && spread.y == 0.0f && spread.z != 0.0f;
    const D3DXVECTOR3 direction = only_z ? D3DXVECTOR3(1.0f, 0.0f, 0.0f) : D3DXVECTOR3(0.0f, 0.0f, 1.0f);
    D3DXVECTOR3 angles;
    angles.x = half_spread(spread.x);
    angles.y = half_spread(spread.y);
    angles.z = half_spread(spread.z);
    const D3DXVECTOR3 turned = eft_turn_by_angles(direction, {0.0f, 0.0f, 1.0f}, angles);
    return turned * math_rand_range(def.offset_min, def.offset_max);
}

// n + 1 pairs of an upper and a lower vertex round the y axis, textured by the current frame;
// a ring of no segments has no vertices and draws nothing.
void eft_build_ring(GoParticle& particle, const EffectEmitterDef& def)
{
    const std::int32_t n = def.ring_segments;
    particle.ring.clear();
    if (n < 1) {
        particle.vertices = nullptr;
        return;
    }
    const EffectFrameUv& frame = def.frame_uv[std::min<int>(particle.state.frame_index, EFFECT_FRAMES - 1)];
    const float half_height = def.ring_height * 0.5f;
    particle.ring.reserve(2 * static_cast<std::size_t>(n + 1));
    for (std::int32_t i = 0; i <= n; ++i) {
        const float theta = 2.0f * std::numbers::pi_v<float> * static_cast<float>(i) / static_cast<float>(n);
        const float a = std::cos(theta) - std::sin(theta);
        const float b = std::cos(theta) + std::sin(theta);
        const float u = frame.u0 + static_cast<float>(i);
        const float r1 = def.ring_upper_radius;
        const float r2 = def.ring_lower_radius;
        particle.ring.push_back({{r1 * a, half_height, r1 * b}, 0xFFFFFFFF, 0, u, frame.v0});
        particle.ring.push_back({{r2 * a, -half_height, r2 * b}, 0xFFFFFFFF, 0, u, frame.v1});
    }
    particle.vertices = particle.ring.data();
}

// A life that jitters to 0 or below would count down past 0 for ever: it lives one tick.
void jitter_life(EffectEmitter& state, const EffectEmitterDef& def)
{
    std::int64_t life = state.life;
    if (def.life_jitter != 0) life += rand_triangular_int() % def.life_jitter;
    state.life = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(life, 1, std::numeric_limits<std::int32_t>::max()));
    state.total_life = state.life;
}

// The delay is a byte: a longer random extra delay stops at its top.
void add_extra_delay(EffectEmitter& state, std::int32_t extra)
{
    if (extra == 0) return;
    const std::uint32_t range =
        extra < 0 ? 0u - static_cast<std::uint32_t>(extra) : static_cast<std::uint32_t>(extra);
    const std::uint32_t delay = state.delay + math_rand_u32() % range;
    state.delay = static_cast<std::uint8_t>(std::min<std::uint32_t>(delay, 255));
}

// A negative y or z spread takes the factor of the axis before it.
void spread_scale(EffectEmitter& state, const D3DXVECTOR3& spread)
{
    const float fx = eft_rand_factor(spread.x);
    const float fy = spread.y < 0.0f ? fx : eft_rand_factor(spread.y);
    const float fz = spread.z < 0.0f ? fy : eft_rand_factor(spread.z);
    state.base_scale.x *= fx;
    state.base_scale.y *= fy;
    state.base_scale.z *= fz;
}

void link_parent(GoParticle& particle, GoParticle& parent, const EffectEmitterDef& def,
                 const D3DXVECTOR3& jitter_angles)
{
    EffectEmitter& state = particle.state;
    particle.parent = ObjHandle<GoParticle>(&parent);
    ++parent.ref_count;
    const std::uint8_t links = def.parent_links;
    const D3DXVECTOR3 parent_position =
        (links & EFFECT_LINK_WORLD_SPACE) ? matrix_position(parent.matrix) : parent.state.position;
    if (links & EFFECT_LINK_PARENT_POSITION) {
        state.position += parent_position;
        if (def.offset_max != 0.0f) state.position += eft_random_in_cone(def);
    }
    if (links & EFFECT_LINK_PARENT_VELOCITY) {
        state.velocity += parent.state.velocity;
        state.velocity = eft_turn_by_angles(state.velocity, state.velocity, def.child_turn);
        state.velocity = eft_turn_by_angles(state.velocity, state.velocity, jitter_angles);
    }
    if (links & EFFECT_LINK_PARENT_ROTATION) {
        D3DXMATRIX spin;
        D3DXMatrixRotationYawPitchRoll(&spin, parent.state.rotation.y, parent.state.rotation.x,
                                       parent.state.rotation.z);
        D3DXVec3TransformNormal(&state.velocity, &state.velocity, &spin);
    }
}

// The effect's attack values go to the particle; the attack's size follows the emitter's mean
// base scale before its random spread. A full record pool leaves the particle harmless.
void arm_attack(GoEffect& effect, GoParticle& particle, const EffectEmitter& start,
                const EffectEmitterDef& def)
{
    particle.status = effect.status;
    const std::int32_t side = effect.side == COMBAT_SIDE_PLAYER ? COMBAT_SIDE_PLAYER : COMBAT_SIDE_ENEMY;
    MemPool<ParticleAttack>& pool = side == COMBAT_SIDE_PLAYER ? g_pool_attack_player : g_pool_attack_enemy;
    if (void* slot = pool.Alloc())
        particle.attack_record = new (slot) ParticleAttack{ObjHandle<GoParticle>(&particle), side};
    if (def.collision & EFFECT_COLLIDE_MAP) {
        particle.collision_on = 1;
        particle.collision_radius = 0.0f;
    }
    const float m = (start.base_scale.x + start.base_scale.y + start.base_scale.z) / 3.0f;
    combat_init_attack(particle, def.attack_active, side, def.hit_hold, effect.power_a, effect.power_b,
                       def.attack_radius * m, static_cast<std::uint32_t>(effect.attack_id), effect.strength,
                       static_cast<std::uint8_t>(effect.ailment_mask), effect.element);
    particle.attack.orbit_height = def.attack_height * m;
    if (def.attack_half_height != 0.0f) {
        particle.attack.shape.cylinder = 1;
        particle.attack.shape.half_height = def.attack_half_height * m;
    }
}

} // namespace

float eft_rand_triangular()
{
    return static_cast<float>(rand_triangular_int()) / 32767.0f;
}

float eft_rand_factor(float spread)
{
    if (spread == 0.0f) return 1.0f;
    const float r = 1.0f + spread * eft_rand_triangular();
    return r < 0.0f ? 1.0f / r : r;
}

D3DXVECTOR3 eft_turn_by_angles(const D3DXVECTOR3& v, const D3DXVECTOR3& forward, const D3DXVECTOR3& angles)
{
    if (angles.x == 0.0f && angles.y == 0.0f && angles.z == 0.0f) return v;
    D3DXVECTOR3 f;
    D3DXVec3Normalize(&f, &forward);
    if (f == D3DXVECTOR3()) return v;
    // Straight up or down, the up reference would be parallel: the basis takes z instead.
    const D3DXVECTOR3 reference = std::fabs(f.y) > 0.99f ? D3DXVECTOR3(0, 0, 1) : D3DXVECTOR3(0, 1, 0);
    D3DXVECTOR3 side;
    D3DXVec3Cross(&side, &reference, &f);
    D3DXVec3Normalize(&side, &side);
    D3DXVECTOR3 up;
    D3DXVec3Cross(&up, &f, &side);
    D3DXMATRIX about_side;
    D3DXMATRIX about_up;
    D3DXMATRIX about_forward;
    D3DXMatrixRotationAxis(&about_side, &side, angles.x);
    D3DXMatrixRotationAxis(&about_up, &up, angles.y);
    D3DXMatrixRotationAxis(&about_forward, &f, angles.z);
    const D3DXMATRIX turn = about_side * about_up * about_forward;
    D3DXVECTOR3 out;
    D3DXVec3TransformNormal(&out, &v, &turn);
    return out;
}

GoParticle* eft_particle_create(GoEffect& effect, const EffectEmitter& start, const EffectEmitterDef& def,
                                std::uint8_t delay, GoParticle* parent)
{
    GoParticle* particle = obj_create<GoParticle>(g_pool_particle);
    if (!particle) return nullptr;
    D3DXMatrixIdentity(&particle->matrix);
    matrix_set_position(particle->matrix, effect_position(effect));
    particle->world = particle->matrix;
    eft_emitter_init(effect, *particle, start, def, delay, parent);
    return particle;
}

void eft_emitter_init(GoEffect& effect, GoParticle& particle, const EffectEmitter& start,
                      const EffectEmitterDef& def, std::uint8_t delay, GoParticle* parent)
{
    EffectEmitter& state = particle.state;
    state = start;
    state.effect_slot = state.parent_slot = state.definition_slot = state.vertex_slot = 0;
    state.delay = delay;
    state.render_row = effect.render_row;
    particle.def = &def;
    particle.effect = ObjHandle<GoEffect>(&effect);
    ++effect.ref_count;
    particle.vertices = state.vertices;
    if (def.flags & EFFECT_DEF_RING) eft_build_ring(particle, def);

    jitter_life(state, def);
    add_extra_delay(state, def.extra_delay);
    state.speed_spread = eft_rand_factor(start.speed_spread);
    state.rotation.x += jitter(def.rotation_jitter.x);
    state.rotation.y += jitter(def.rotation_jitter.y);
    state.rotation.z += jitter(def.rotation_jitter.z);
    spread_scale(state, def.scale_spread);
    D3DXVECTOR3 jitter_angles;
    jitter_angles.x = jitter(def.velocity_jitter[0]);
    jitter_angles.y = jitter(def.velocity_jitter[1]);
    state.velocity = eft_turn_by_angles(state.velocity, state.velocity, jitter_angles);
    if (def.offset_max != 0.0f) state.position += eft_random_in_cone(def);
    // A homing particle that follows is placed in the world once: its matrix is not the effect's.
    if (def.homing_mode != 0 && state.follow != 0) state.position += effect_position(effect);
    if (parent) link_parent(particle, *parent, def, jitter_angles);
    if (def.attacking != 0) arm_attack(effect, particle, start, def);
}

GoParticle* go_particle_find_by_emitter(const GoEffect& effect)
{
    for (std::int32_t i = 0; i < g_pool_particle.count; ++i) {
        auto* particle = static_cast<GoParticle*>(g_pool_particle.active[i]);
        if (particle->effect.get() == &effect) return particle;
    }
    return nullptr;
}
