#include "gfx/go_particle.h"

#include "core/maths.h"
#include "core/timer.h"
#include "game/g_hit.h"
#include "game/g_sound.h"
#include "game/g_tick.h"
#include "gfx/eft_draw.h"
#include "object/actor/go_actor.h"
#include "object/obj_pools.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace {

// Turn and spin curves map 0-1 onto a range centred on 0.
constexpr float TURN_SCALE = 0.41887903f;
constexpr float TURN_BIAS = 0.20943952f;
constexpr float SPIN_SCALE = 1.2566371f;
constexpr float SPIN_BIAS = 0.62831855f;
constexpr float FACTOR_LOW = -10.0f;
constexpr float FACTOR_HIGH = 10.0f;

struct ImpactSound {
    std::int16_t effect;
    std::int32_t sound;
};
constexpr ImpactSound IMPACT_SOUNDS[] = {{60, 392}, {61, 392}, {133, 291}, {247, 291}, {319, 349}};

// A whole tick on which the game is not paused: lives, fades and children count in these.
bool whole_tick()
{
    return g_whole_tick && !g_paused;
}

const D3DXMATRIX& identity()
{
    static const D3DXMATRIX matrix(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1);
    return matrix;
}

const D3DXMATRIX& effect_matrix(const GoEffect& effect)
{
    return effect.draw_matrix ? *effect.draw_matrix : identity();
}

bool simple_mode(const EffectEmitterDef& def)
{
    return (def.flags & (EFFECT_DEF_KEYFRAMED | EFFECT_DEF_LINEAR | EFFECT_DEF_SIMPLE)) == EFFECT_DEF_SIMPLE;
}

// A follow mode is taken with the parent only for particles that do not home in on it.
GoParticle* followed_parent(const GoParticle& particle)
{
    if (particle.state.follow == EFFECT_FOLLOW_NONE || particle.def->homing_mode != 0) return nullptr;
    return particle.parent.get();
}

void release_attack(GoParticle& particle)
{
    ParticleAttack* record = particle.attack_record;
    if (!record) return;
    (record->side == COMBAT_SIDE_PLAYER ? g_pool_attack_player : g_pool_attack_enemy).Free(record);
    particle.attack_record = nullptr;
}

// The parent is read through the handle: a world clear may have deleted it already.
void release_parent(GoParticle& particle)
{
    if (GoParticle* parent = particle.parent.get()) --parent->ref_count;
    particle.parent = {};
}

// Without a step of its own the particle fades by the inherited one, or the default.
void begin_fade(GoParticle& particle, std::int32_t inherited_step)
{
    EffectEmitter& state = particle.state;
    if (state.fading) return;
    state.fading = 1;
    if (state.fade_step == 0)
        state.fade_step = inherited_step != 0 ? inherited_step : EFFECT_DEFAULT_FADE_STEP;
}

enum class LifeStep { waiting, ended, running };

// The whole-tick count of delay, life and fade-out. A negative fade step would never end the
// fade: it counts as the default step.
LifeStep count_life(GoParticle& particle, const GoEffect& effect)
{
    EffectEmitter& state = particle.state;
    if (!whole_tick()) return state.delay != 0 ? LifeStep::waiting : LifeStep::running;
    if (state.delay != 0) {
        --state.delay;
        return LifeStep::waiting;
    }
    --state.life;
    if (effect.stop_request && (particle.def->collision & EFFECT_FADE_ON_STOP)) eft_particle_stop(particle);
    if (!state.fading) return LifeStep::running;
    release_attack(particle);
    if (state.fade_step < 0) state.fade_step = EFFECT_DEFAULT_FADE_STEP;
    if (state.fade_step == 0) {
        state.life = 0;
        return LifeStep::ended;
    }
    if (state.fade_amount >= PARTICLE_FADE_END - state.fade_step) {
        state.fade_amount = PARTICLE_FADE_END - 1;
        state.life = 0;
        return LifeStep::ended;
    }
    state.fade_amount += state.fade_step;
    return LifeStep::running;
}

// What the curves drive at the particle's age; neutral without a curve mode.
struct CurveSample {
    float speed = 1.0f;
    D3DXVECTOR3 turn;
    D3DXVECTOR3 spin;
};

using CurveFunction = float (*)(const EffectCurve&, float);

std::uint8_t curve_byte(const EffectEmitterDef& def, CurveFunction curve, int index, float t)
{
    return eft_curve_byte(curve(def.curves[index], t));
}

float curve_factor(const EffectEmitterDef& def, CurveFunction curve, int index, float t)
{
    return eft_curve_factor(curve(def.curves[index], t), FACTOR_LOW, FACTOR_HIGH);
}

D3DXVECTOR3 curve_angles(const EffectEmitterDef& def, CurveFunction curve, int first, float t, float scale,
                         float bias)
{
    return {curve(def.curves[first], t) * scale - bias, curve(def.curves[first + 1], t) * scale - bias,
            curve(def.curves[first + 2], t) * scale - bias};
}

// Colour 1 with the fade taken off its alpha (or the parent's alpha), and colour 2.
void set_colours(GoParticle& particle, CurveFunction curve, float t)
{
    const EffectEmitterDef& def = *particle.def;
    EffectEmitter& state = particle.state;
    std::int64_t alpha = curve_byte(def, curve, EFFECT_CURVE_ALPHA, t);
    const GoParticle* parent = particle.parent.get();
    if ((def.parent_links & EFFECT_LINK_PARENT_ALPHA) && parent)
        alpha = parent->state.vertices[0].colour1 >> 24;
    // Wide enough for any fade amount a file may start with.
    alpha = std::clamp<std::int64_t>(alpha - state.fade_amount, 0, 255);
    auto rgb = [&](int first) {
        return std::uint32_t{curve_byte(def, curve, first, t)} << 16 |
               std::uint32_t{curve_byte(def, curve, first + 1, t)} << 8 |
               curve_byte(def, curve, first + 2, t);
    };
    const std::uint32_t colour1 = static_cast<std::uint32_t>(alpha) << 24 | rgb(EFFECT_CURVE_COLOUR1);
    const std::uint32_t colour2 = rgb(EFFECT_CURVE_COLOUR2);
    for (EffectVertex& vertex : state.vertices) {
        vertex.colour1 = colour1;
        vertex.colour2 = colour2;
    }
}

// Keyframed curves, or each curve as a line between its first two keys; simple mode takes the
// lines of speed, colours and scale only.
CurveSample sample_curves(GoParticle& particle)
{
    const EffectEmitterDef& def = *particle.def;
    EffectEmitter& state = particle.state;
    CurveSample sample;
    const bool keyframed = def.flags & EFFECT_DEF_KEYFRAMED;
    if (!keyframed && !(def.flags & (EFFECT_DEF_LINEAR | EFFECT_DEF_SIMPLE))) return sample;
    const CurveFunction curve = keyframed ? eft_curve_eval : eft_curve_linear;
    const float t = state.total_life > 0 ? static_cast<float>(state.total_life - state.life) /
                                               static_cast<float>(state.total_life)
                                         : 0.0f;
    sample.speed = curve_factor(def, curve, EFFECT_CURVE_SPEED, t);
    if (!simple_mode(def)) {
        sample.turn = curve_angles(def, curve, EFFECT_CURVE_TURN, t, TURN_SCALE, TURN_BIAS);
        sample.spin = curve_angles(def, curve, EFFECT_CURVE_SPIN, t, SPIN_SCALE, SPIN_BIAS);
    }
    set_colours(particle, curve, t);
    state.scale_factors = {curve_factor(def, curve, EFFECT_CURVE_SCALE, t),
                           curve_factor(def, curve, EFFECT_CURVE_SCALE + 1, t),
                           curve_factor(def, curve, EFFECT_CURVE_SCALE + 2, t)};
    return sample;
}

float kick_angle(float low, float high, float clamp)
{
    const float angle = math_rand_range(low, high);
    if (clamp == 0.0f) return angle;
    const float limit = std::fabs(clamp);
    return std::clamp(angle, -limit, limit);
}

// On whole ticks whose remaining life meets the kick mask, by chance out of 256.
void kick(GoParticle& particle)
{
    const EffectEmitterDef& def = *particle.def;
    EffectEmitter& state = particle.state;
    if (!whole_tick() || (def.kick_mask & (state.life & 0xFF)) == 0) return;
    if ((math_rand_u32() >> 24) >= def.kick_chance) return;
    D3DXVECTOR3 angles;
    angles.x = kick_angle(def.kick_min.x, def.kick_max.x, def.kick_clamp.x);
    angles.y = kick_angle(def.kick_min.y, def.kick_max.y, def.kick_clamp.y);
    angles.z = kick_angle(def.kick_min.z, def.kick_max.z, def.kick_clamp.z);
    state.velocity = eft_turn_by_angles(state.velocity, state.velocity, angles);
}

void move(GoParticle& particle, const CurveSample& sample)
{
    const EffectEmitterDef& def = *particle.def;
    EffectEmitter& state = particle.state;
    if (!simple_mode(def)) {
        state.rotation += sample.spin * g_frame_step;
        state.velocity = eft_turn_by_angles(state.velocity, state.velocity, sample.turn);
        kick(particle);
    }
    state.position += state.velocity * (sample.speed * state.speed_spread * g_frame_step);
    const float age = static_cast<float>(state.total_life - state.life);
    state.position.y -= (def.gravity + def.gravity_growth * age) * g_frame_step;
}

// The parent's end ends the follower; its fade-out starts the follower's. False when it ended.
bool watch_parent(GoParticle& particle)
{
    const GoParticle* parent = followed_parent(particle);
    if (!parent) return true;
    if (parent->state.life == 0 || (parent->flags & GO_FLAG_DEAD)) {
        particle.state.life = 0;
        particle.state.follow = EFFECT_FOLLOW_NONE;
        release_parent(particle);
        return false;
    }
    if (parent->state.fading) begin_fade(particle, parent->state.fade_step);
    return true;
}

// The matrix the particle's own placement is multiplied by: its parent's by the follow mode,
// none for a particle placed in the world, else the effect's.
D3DXMATRIX outer_matrix(const GoParticle& particle, const GoEffect& effect)
{
    const EffectEmitterDef& def = *particle.def;
    if (simple_mode(def)) return effect_matrix(effect);
    if (const GoParticle* parent = followed_parent(particle)) {
        D3DXMATRIX outer;
        switch (particle.state.follow) {
        case EFFECT_FOLLOW_PARENT:
            return parent->matrix;
        case EFFECT_FOLLOW_PARENT_POSITION:
            D3DXMatrixIdentity(&outer);
            matrix_set_position(outer, matrix_position(parent->matrix));
            return outer;
        case EFFECT_FOLLOW_PLAYER_POSITION: // a particle's mode 3: turned as its parent, at the effect
            outer = parent->matrix;
            matrix_set_position(outer, matrix_position(effect_matrix(effect)));
            return outer;
        default:
            break;
        }
    }
    const bool placed_in_world = particle.state.follow != EFFECT_FOLLOW_NONE && def.homing_mode != 0;
    if (placed_in_world || (def.parent_links & EFFECT_LINK_WORLD_SPACE)) return identity();
    return effect_matrix(effect);
}

void place(GoParticle& particle, const GoEffect& effect)
{
    const EffectEmitter& state = particle.state;
    D3DXMATRIX local;
    if (simple_mode(*particle.def)) {
        D3DXMatrixTranslation(&local, state.position.x, state.position.y, state.position.z);
    } else {
        D3DXMATRIX scaling;
        D3DXMATRIX rotation;
        D3DXMatrixScaling(&scaling, state.base_scale.x * state.scale_factors.x,
                          state.base_scale.y * state.scale_factors.y,
                          state.base_scale.z * state.scale_factors.z);
        D3DXMatrixRotationYawPitchRoll(&rotation, state.rotation.y, state.rotation.x, state.rotation.z);
        local = scaling * rotation;
        matrix_set_position(local, state.position);
    }
    particle.matrix = local * outer_matrix(particle, effect);
}

// Toward the parent's position, or the origin without one.
void home(GoParticle& particle, const CurveSample& sample)
{
    const EffectEmitterDef& def = *particle.def;
    EffectEmitter& state = particle.state;
    if (def.homing_mode < 1 || def.homing_mode > 3 || !whole_tick()) return;
    if (state.total_life - state.life < def.homing_delay) return;
    const std::int32_t period = std::max<std::int32_t>(def.homing_period, 1);
    if (state.life % period != 0) return;
    if ((math_rand_u32() >> 24) >= def.homing_chance) return;
    const GoParticle* parent = particle.parent.get();
    const D3DXVECTOR3 target = parent ? parent->state.position : D3DXVECTOR3();
    D3DXVECTOR3 direction = target - state.position;
    D3DXVec3Normalize(&direction, &direction);
    const float speed = D3DXVec3Length(&state.velocity);
    if (def.homing_mode == 1) {
        state.velocity = direction * speed;
    } else if (def.homing_mode == 2) {
        state.position +=
            direction * (speed * state.speed_spread * sample.speed * (1.0f + def.homing_strength));
    } else {
        const float a = state.total_life > 0
                            ? static_cast<float>(state.life) / static_cast<float>(state.total_life)
                            : 0.0f;
        D3DXVECTOR3 blend = direction * (1.0f - a) + state.velocity * a;
        D3DXVec3Normalize(&blend, &blend);
        state.velocity = blend * speed;
    }
}

void animate(GoParticle& particle)
{
    const EffectEmitterDef& def = *particle.def;
    EffectEmitter& state = particle.state;
    if (def.flags & EFFECT_DEF_MESH) {
        state.mesh_time += def.mesh_anim_rate * g_frame_step;
        if (state.mesh_time >= def.mesh_anim_end)
            state.mesh_time = def.mesh_wrap ? def.mesh_anim_start : def.mesh_anim_end;
        state.uv_scroll[0] += def.scroll_speed[0] * g_frame_step;
        state.uv_scroll[1] += def.scroll_speed[1] * g_frame_step;
    }
    if (def.frame_count < 2 || !whole_tick()) return;
    // The counter is a byte: a longer frame time holds at its top.
    if (++state.frame_counter < std::clamp(def.ticks_per_frame, 1, 255)) return;
    state.frame_counter = 0;
    if (state.frame_index + 1 < def.frame_count)
        ++state.frame_index;
    else if (def.frames_loop)
        state.frame_index = 0;
}

// Whether a child of this trigger starts now, from the parent's age after this tick's count. A
// period of 0 or less repeats nothing.
bool child_fires(const EffectEmitterDef& child, std::int32_t age, std::int32_t life)
{
    switch (child.trigger) {
    case 0:
        return age == 1;
    case 1:
        return life == 0;
    case 2:
        return age == child.child_period;
    case 3:
        return child.child_period > 0 ? (age - 1) % child.child_period == 0 : age == 1;
    default:
        return false;
    }
}

void start_children(GoParticle& particle, GoEffect& effect)
{
    const EffectListEntry* entry = eft_list_entry(effect.effect_id);
    if (!entry) return;
    const EffectEmitter& state = particle.state;
    const std::int32_t age = state.total_life - state.life;
    for (const std::int8_t child : particle.def->children) {
        if (child < 0) break;
        if (static_cast<std::size_t>(child) >= entry->defs.size()) continue;
        if (child_fires(entry->defs[static_cast<std::size_t>(child)], age, state.life))
            eft_start_emitter(effect, child, 0, &particle);
    }
}

void end_life(GoParticle& particle)
{
    particle.state.life = 0;
    go_kill(particle);
}

// Where the attack is this step; it hits on whole ticks while the world runs.
void apply_attack(GoParticle& particle)
{
    AttackDesc& attack = particle.attack;
    const D3DXVECTOR3 at = matrix_position(particle.world);
    attack.shape.centre = {at.x, at.y + attack.orbit_height, at.z};
    const D3DXVECTOR3 scale = particle.effect ? particle.effect.get()->scale : D3DXVECTOR3(1, 1, 1);
    const D3DXVECTOR3& factors = particle.state.scale_factors;
    attack.shape.radius = (scale.y * factors.y + scale.x * factors.x + scale.z * factors.z) / 3.0f *
                          particle.def->attack_radius;
    if (whole_tick() && !g_ai_paused)
        combat_apply_attack(nullptr, particle.attack_record->side, particle, 0.0f);
}

void play_impact_sound(std::int16_t effect, const D3DXVECTOR3& at)
{
    const auto* found = std::find_if(std::begin(IMPACT_SOUNDS), std::end(IMPACT_SOUNDS),
                                     [&](const ImpactSound& row) { return row.effect == effect; });
    if (found != std::end(IMPACT_SOUNDS)) sound_play_at(found->sound, at.x, at.y, at.z);
}

// A hidden particle of culling mode 2 or more makes no impact seen or heard.
void start_impact_effect(const GoParticle& particle, const GoEffect& effect)
{
    const EffectEmitterDef& def = *particle.def;
    const std::int16_t id = def.impact_effect;
    if (id == 0 || (particle.state.hidden && def.cull_mode >= 2)) return;
    const D3DXVECTOR3 at = matrix_position(particle.matrix);
    play_impact_sound(id, at);
    const D3DXVECTOR3 rotation = id == EFFECT_IMPACT_AT_POINT ? D3DXVECTOR3() : particle.state.rotation;
    eft_spawn(id, at, rotation, {1.0f, 1.0f, 1.0f}, effect.render_row == EFFECT_ROW_IN_WATER, effect.side,
              &effect.status, 0.0f, 1.0f, 0, 0, ATTACK_ELEMENT_NONE);
}

} // namespace

GoParticle::~GoParticle()
{
    release_attack(*this);
    if (GoEffect* owner = effect.get()) {
        --owner->live_particles;
        --owner->ref_count;
    }
    release_parent(*this);
}

void eft_particles_update(GoParticle& particle)
{
    EffectEmitter& state = particle.state;
    GoEffect* effect = particle.effect.get();
    if (state.life == 0 || !effect) {
        end_life(particle);
        return;
    }
    switch (count_life(particle, *effect)) {
    case LifeStep::waiting:
        return;
    case LifeStep::ended:
        end_life(particle);
        return;
    case LifeStep::running:
        break;
    }
    const CurveSample sample = sample_curves(particle);
    if (!g_paused) move(particle, sample);
    if (!watch_parent(particle)) {
        end_life(particle);
        return;
    }
    place(particle, *effect);
    home(particle, sample);
    animate(particle);
    if (whole_tick() && !state.fading) start_children(particle, *effect);
    if ((particle.def->flags & EFFECT_DEF_CULLED_ENDLESS) && state.life == 0 && whole_tick())
        state.life = state.total_life;
    if (state.life == 0) {
        end_life(particle);
        return;
    }
    if (g_draw_frame) eft_particle_draw_step(particle);
}

void GoParticle::Update()
{
    eft_particles_update(*this);
    if (state.life == 0 || state.delay != 0 || g_paused) return;
    world = matrix;
    if (collision_on && whole_tick()) MoveWithCollision();
    if (attack_record && attack.active_ticks != 0) apply_attack(*this);
}

void GoParticle::MoveWithCollision()
{
    const D3DXVECTOR3 at = matrix_position(matrix);
    if (!collision_started) {
        collision_started = 1;
        previous_position = at;
        return;
    }
    bool hit = false;
    D3DXVECTOR3 hit_point;
    if (collision_radius == 0.0f) {
        HitSegment segment;
        hit_segment_init_simple(previous_position, at, segment);
        hit = hit_segment_meshes_a(segment);
        hit_point = segment.hit_point;
    } else {
        HitSphere sphere;
        hit_sphere_init(previous_position, at, collision_radius, sphere);
        hit = !hit_sphere_meshes_a(sphere);
        hit_point = sphere.resolved;
    }
    if (hit) {
        // The state position is the one the next placement starts from: it moves so that the
        // particle's world position is the hit point.
        if (const GoEffect* owner = effect.get()) {
            const D3DXMATRIX outer = outer_matrix(*this, *owner);
            D3DXMATRIX inverse;
            if (D3DXMatrixInverse(&inverse, nullptr, &outer))
                D3DXVec3TransformCoord(&state.position, &hit_point, &inverse);
        }
        matrix_set_position(matrix, hit_point);
        matrix_set_position(world, hit_point);
        Impact(true);
    }
    previous_position = matrix_position(matrix);
}

bool GoParticle::Impact(bool forced)
{
    const bool ended = eft_particle_impact(*this, forced);
    if (ended) {
        collision_on = 0;
        attack.active_ticks = 0;
    }
    return ended;
}

bool eft_particle_impact(GoParticle& particle, bool forced)
{
    const EffectEmitterDef& def = *particle.def;
    if (!forced && def.attacking == 0) return false;
    const bool ends = forced || def.attacking == 2;
    GoEffect* effect = particle.effect.get();
    if (ends) {
        eft_particle_stop(particle);
        if (effect) {
            // The other fade-on-stop particles of the effect fade out with this one.
            effect->stop_request = 1;
            effect->fade_step = particle.state.fade_step;
        }
    }
    if (effect) start_impact_effect(particle, *effect);
    return ends;
}

void eft_particle_stop(GoParticle& particle)
{
    const GoEffect* effect = particle.effect.get();
    begin_fade(particle, effect ? effect->fade_step : 0);
}
