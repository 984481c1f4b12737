#include "gfx/go_effect.h"

#include "core/text.h"
#include "core/timer.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_scn_data.h"
#include "game/g_tick.h"
#include "gfx/eft_new.h"
#include "gfx/go_particle.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"
#include "object/obj_pools.h"
#include "object/xx/go_xx.h"

#include <cstddef>
#include <cstdint>

namespace {

// Effects whose attacks take their status from an eex row instead of their starter's.
struct EexEffect {
    std::int32_t id;
    int row;
};
constexpr EexEffect k_eex_effects[] = {
    {369, 8}, {286, 8}, {120, 9}, {122, 9}, {123, 10}, {121, 11}, {125, 12}, {126, 12},
};
constexpr std::int32_t k_scene_weakened_effect = 123;
constexpr const char* k_scene_weakened_folder = "s_45\\s_4513\\";
constexpr float k_scene_attack_drop = 35.0f;
constexpr float k_easy_attack_drop = 5.0f;

// Effects that light their surroundings. The records begin at the range keys; their colour keys
// stay zero.
struct EffectLight {
    std::int32_t id;
    LightParams params;
    bool on_player; // stays on the player instead of where the effect started
};
constexpr LightParams light_record(const float (&range)[3], const float (&attenuation)[3], std::int32_t rise,
                                   std::int32_t fall)
{
    return {.colour = {},
            .range = {range[0], range[1], range[2]},
            .attenuation = {attenuation[0], attenuation[1], attenuation[2]},
            .phase_ticks = {rise, fall},
            .slot = 0,
            .loop = 0};
}
constexpr EffectLight k_effect_lights[] = {
    {4, light_record({8.0f, 16.0f, 0.0f}, {8.0f, 16.0f, 0.0f}, 30, 30), false},
    {23, light_record({7.5f, 8.5f, 7.5f}, {7.5f, 8.5f, 7.5f}, 20, 80), true},
    {18, light_record({6.0f, 7.0f, 6.0f}, {6.0f, 7.0f, 6.0f}, 10, 40), true},
};

// Yaw about y, pitch about x, roll about z, as the effect data gives its angles.
D3DXMATRIX rotation_of(const D3DXVECTOR3& angles)
{
    D3DXMATRIX m;
    D3DXMatrixRotationYawPitchRoll(&m, angles.y, angles.x, angles.z);
    return m;
}

D3DXMATRIX scaling_of(const D3DXVECTOR3& scale)
{
    D3DXMATRIX m;
    D3DXMatrixScaling(&m, scale.x, scale.y, scale.z);
    return m;
}

bool effect_id_valid(std::int32_t id)
{
    return id >= 0 && id < EFFECT_ID_COUNT;
}

// The status of an effect with an eex row; false for the others.
bool eex_status(std::int32_t id, StatusBlock& status)
{
    for (const EexEffect& effect : k_eex_effects) {
        if (effect.id != id) continue;
        scn_data_eex_params(status, effect.row);
        if (id == k_scene_weakened_effect && scn_data_in_scene(k_scene_weakened_folder))
            status.atk -= k_scene_attack_drop;
        if (g_play_state.game_flags[GF_EASY] != 0) status.atk -= k_easy_attack_drop;
        return true;
    }
    return false;
}

// A full object pool leaves the effect without its light.
void start_light(std::int32_t id, const D3DXVECTOR3& position)
{
    for (const EffectLight& light : k_effect_lights) {
        if (light.id != id) continue;
        GoXx* object = obj_create<GoXx>(g_pool_xx);
        if (!object) return;
        D3DXVECTOR3 at = position;
        if (light.on_player) at = g_player ? matrix_position(g_player->world) : D3DXVECTOR3();
        matrix_set_position(object->world, at);
        goxx_init_point_light(*object, light.params);
        object->area<PointLightState>().follow_player = light.on_player;
        return;
    }
}

// The world matrix from the base matrix and what the effect follows. Mode 3 without a player
// keeps the base position.
void follow_parent(GoEffect& effect)
{
    if (!effect.parent_matrix) return;
    switch (effect.follow) {
    case EFFECT_FOLLOW_PARENT:
        effect.world = effect.rotation * *effect.parent_matrix;
        break;
    case EFFECT_FOLLOW_PARENT_POSITION:
        effect.world = effect.rotation;
        matrix_set_position(effect.world,
                            matrix_position(effect.world) + matrix_position(*effect.parent_matrix));
        break;
    case EFFECT_FOLLOW_PLAYER_POSITION:
        effect.world = effect.rotation;
        if (g_player) {
            const D3DXVECTOR3 player(g_player->world._41, g_player->camera_height, g_player->world._43);
            matrix_set_position(effect.world, matrix_position(effect.world) + player);
        }
        break;
    case EFFECT_FOLLOW_NONE:
        break;
    }
}

// False once the effect has reached the end of its line, where it stays where the last step put it.
bool advance_motion(GoEffect& effect)
{
    effect.motion_position += effect.motion_speed * g_frame_step;
    if (effect.motion_position >= 1.0f) return false;
    matrix_set_position(effect.world, effect.motion_start +
                                          (effect.motion_end - effect.motion_start) * effect.motion_position);
    return true;
}

// The particles' depth sort sees the effect this much nearer the eye (or farther, for a negative pull).
void pull_toward_camera(GoEffect& effect)
{
    const D3DXVECTOR3 from_eye = matrix_position(effect.world) - g_camera_state.eye;
    D3DXVec3Normalize(&effect.camera_offset, &from_eye);
    effect.camera_offset *= effect.camera_pull;
}

// The emitter's definition names another effect, started where the parent particle is.
void spawn_named_effect(GoEffect& effect, const EffectEmitter& start, const EffectEmitterDef& def,
                        const GoParticle* parent)
{
    D3DXVECTOR3 position, rotation, scale(1.0f, 1.0f, 1.0f);
    if (parent) {
        position = matrix_position(parent->matrix);
        rotation = parent->state.rotation;
        scale = start.base_scale;
    }
    eft_spawn(def.effect_id, position, rotation, scale, effect.render_row == EFFECT_ROW_IN_WATER, effect.side,
              &effect.status, 0.0f, 1.0f, 0, 0, ATTACK_ELEMENT_NONE);
}

} // namespace

GoEffect::GoEffect() : GoBase(go_next_object_id(GO_CLASS_EFFECT), GO_CLASS_EFFECT)
{
    draw_matrix = &world;
}

void GoEffect::Update()
{
    if (live_particles <= 0) {
        go_kill(*this);
        return;
    }
    follow_parent(*this);
    // Under the camp menu the particles stand still, so the line waits for them.
    if (motion_speed != 0.0f && !g_paused && !advance_motion(*this)) {
        go_kill(*this);
        return;
    }
    if (camera_pull != 0.0f) pull_toward_camera(*this);
}

bool eft_particle_pool_has_room()
{
    return g_pool_particle.count < g_pool_particle.capacity;
}

GoEffect* eft_spawn(std::int32_t id, const D3DXVECTOR3& position, const D3DXVECTOR3& rotation,
                    const D3DXVECTOR3& scale, std::int32_t in_water, std::int32_t side,
                    const StatusBlock* status, float power_a, float power_b, std::uint8_t strength,
                    std::int32_t ailment_mask, std::uint8_t element)
{
    if (!effect_id_valid(id) || !eft_particle_pool_has_room()) return nullptr;
    GoEffect* effect = obj_create<GoEffect>(g_pool_effect);
    if (!effect) return nullptr;
    effect->power_a = power_a;
    effect->power_b = power_b;
    effect->strength = strength;
    effect->ailment_mask = ailment_mask;
    effect->element = element;
    eft_set_transform(*effect, scale, rotation, position);
    // An eex status is in place before the emitters start: attacking particles copy it when made.
    StatusBlock eex;
    const StatusBlock* start_status = eex_status(id, eex) ? &eex : status;
    eft_start_from_list(id, start_status, *effect, side, eft_row_for(in_water));
    start_light(id, position);
    return effect;
}

void eft_set_transform(GoEffect& effect, const D3DXVECTOR3& scale, const D3DXVECTOR3& rotation,
                       const D3DXVECTOR3& position)
{
    D3DXMATRIX translation;
    D3DXMatrixTranslation(&translation, position.x, position.y, position.z);
    effect.world = scaling_of(scale) * rotation_of(rotation) * translation;
    effect.draw_matrix = &effect.world;
    effect.scale = scale;
}

void eft_set_scale(const D3DXVECTOR3* scale, GoEffect& effect)
{
    D3DXMatrixIdentity(&effect.world);
    if (scale) {
        effect.scale = *scale;
        effect.world = scaling_of(*scale);
    }
    effect.draw_matrix = &effect.world;
}

void eft_attach(const D3DXVECTOR3* offset, const D3DXVECTOR3* rotation, GoEffect& effect,
                const D3DXMATRIX* parent, const D3DXVECTOR3* scale, EffectFollow follow)
{
    D3DXMATRIX base;
    D3DXMatrixIdentity(&base);
    if (offset) matrix_set_position(base, *offset);
    if (rotation) base = base * rotation_of(*rotation);
    if (scale) base = base * scaling_of(*scale);
    effect.rotation = base;
    effect.parent_matrix = parent;
    effect.follow = follow;
    effect.draw_matrix = &effect.world;
    // Particles started right after are placed where the effect already stands.
    follow_parent(effect);
}

void eft_set_motion(GoEffect& effect, const D3DXVECTOR3& start, const D3DXVECTOR3& end, float speed)
{
    effect.motion_speed = speed;
    effect.motion_position = 0.0f;
    effect.motion_start = start;
    effect.motion_end = end;
}

void eft_stop_by_matrix(const D3DXMATRIX* matrix)
{
    for (std::int32_t i = 0; i < g_pool_effect.count; ++i) {
        auto& effect = *static_cast<GoEffect*>(g_pool_effect.active[i]);
        // An effect without a parent follows nothing, whatever matrix is asked for.
        const bool follows = effect.parent_matrix && effect.parent_matrix == matrix;
        if ((effect.flags == 0 && (effect.draw_matrix == matrix || follows)) || effect.stop_always == 1)
            effect.stop_request = 1;
    }
}

void eft_start_from_list(std::int32_t id, const StatusBlock* status, GoEffect& effect, std::int32_t side,
                         std::uint8_t row)
{
    if (status) effect.status = *status;
    effect.effect_id = static_cast<std::uint16_t>(id);
    effect.scale = D3DXVECTOR3(1.0f, 1.0f, 1.0f);
    effect.side = static_cast<std::uint8_t>(side);
    effect.render_row = row;
    const EffectListEntry* entry = eft_list_entry(id);
    effect.camera_pull = entry && !entry->defs.empty() ? entry->defs.front().camera_pull : 0.0f;
    if (!entry) return;
    for (const EffectStart& start : entry->starts)
        eft_start_emitter(effect, start.emitter, start.delay, nullptr);
}

void eft_start_emitter(GoEffect& effect, std::int32_t emitter, std::uint8_t delay, GoParticle* parent)
{
    if (parent && parent->state.hidden) return;
    const EffectListEntry* entry = eft_list_entry(effect.effect_id);
    if (!entry || emitter < 0 || static_cast<std::size_t>(emitter) >= entry->defs.size()) return;
    const EffectEmitter& start = entry->states[static_cast<std::size_t>(emitter)];
    const EffectEmitterDef& def = entry->defs[static_cast<std::size_t>(emitter)];
    if (def.flags & EFFECT_DEF_STARTS_EFFECT) {
        spawn_named_effect(effect, start, def, parent);
        return;
    }
    for (int i = 0; i < def.count; ++i)
        if (eft_particle_create(effect, start, def, delay, parent)) ++effect.live_particles;
}

GoEffect* eft_start_attached(std::int32_t id, const D3DXMATRIX& parent, std::uint8_t row)
{
    if (!effect_id_valid(id) || !eft_particle_pool_has_room()) return nullptr;
    GoEffect* effect = obj_create<GoEffect>(g_pool_effect);
    if (!effect) return nullptr;
    eft_attach(nullptr, nullptr, *effect, &parent, nullptr, EFFECT_FOLLOW_PARENT_POSITION);
    eft_start_from_list(id, nullptr, *effect, 0, row);
    return effect;
}
