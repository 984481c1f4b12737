#include "core/maths.h"
#include "core/timer.h"
#include "game/g_tick.h"
#include "gfx/g_gfx.h"
#include "lowlv/d3d/d3d_state.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/xx/go_xx.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float k_whole_texture[4] = {0.0f, 0.0f, 1.0f, 1.0f};
constexpr std::uint32_t k_rgb_mask = 0xFFFFFF;
constexpr float k_alpha_byte_max = 255.0f;

D3DXVECTOR3& velocity_of(GoXx& object)
{
    return *reinterpret_cast<D3DXVECTOR3*>(&object.rotation._41);
}

// Strip order: vertex 0 (u0, v0), 1 (u0, v1), 2 (u1, v0), 3 (u1, v1).
void set_quad_uvs(QuadVertex (&quad)[4], const float* rect)
{
    quad[0].u = quad[1].u = rect[0];
    quad[2].u = quad[3].u = rect[2];
    quad[0].v = quad[2].v = rect[1];
    quad[1].v = quad[3].v = rect[3];
}

// A phase that has no length is already over: it shows its end key.
float phase_fraction(float age, float start, float end)
{
    const float length = end - start;
    return length > 0.0f ? (age - start) / length : 1.0f;
}

void queue_particle(GoXx& object, const SpriteParticle& particle)
{
    auto* item = reinterpret_cast<RqCallbackItem*>(
        rq_alloc(static_cast<int>(particle.row), RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK));
    if (!item) return;
    // The texture's address keys the row, so one texture's particles stay together.
    item->header.key0 = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(particle.texture));
    item->header.key1 = goxx_depth_key(matrix_position(object.world));
    item->callback = goxx_draw_sprite_particle;
    item->user = &object;
}

} // namespace

void goxx_init_sprite_particle(const SpriteParticleParams& params, GoXx& object)
{
    goxx_set_subtype(object, GOXX_SPRITE_PARTICLE);
    SpriteParticle& particle = object.area<SpriteParticle>();
    particle.texture = params.texture;
    particle.material = params.material;
    particle.row = params.row;
    particle.rgb = params.colour & k_rgb_mask;
    particle.start_delay = params.start_delay;
    particle.upright = params.upright;
    particle.age = 0.0f;
    particle.damping = params.damping;
    particle.camera_offset = params.camera_offset;
    const int step = math_heading_index(params.angle);
    particle.cos_angle = math_table_cos(step);
    particle.sin_angle = math_table_sin(step);
    particle.lifetime = params.lifetime;
    particle.phase1_end = params.phase1_end;
    particle.phase2_end = params.phase2_end;
    const float alpha_byte = static_cast<float>(params.colour >> 24);
    for (int k = 0; k < 4; ++k) {
        particle.alpha_keys[k] = params.alpha_keys[k] * alpha_byte;
        particle.scale_keys[k] = params.scale_keys[k];
    }
    set_quad_uvs(particle.quad, params.texture_rect ? params.texture_rect : k_whole_texture);
    D3DXMatrixIdentity(&object.world);
    matrix_set_position(object.world, params.position);
    velocity_of(object) = params.velocity;
}

void goxx_update_sprite_particle(GoXx& object)
{
    SpriteParticle& particle = object.area<SpriteParticle>();
    if (particle.start_delay != 0) {
        if (g_whole_tick && !g_paused) --particle.start_delay;
        return;
    }
    if (!g_paused) {
        particle.age += g_frame_step;
        if (particle.age >= particle.lifetime) {
            go_kill(object);
            return;
        }
        D3DXVECTOR3& velocity = velocity_of(object);
        matrix_set_position(object.world, matrix_position(object.world) + velocity * g_frame_step);
        if (g_whole_tick && particle.damping != 0.0f) velocity *= 1.0f - particle.damping;
    }
    if (g_draw_frame) queue_particle(object, particle);
}

SpriteKeys goxx_sprite_particle_keys(const SpriteParticle& particle)
{
    const float age = particle.age;
    int phase = 2;
    float t = phase_fraction(age, particle.phase2_end, particle.lifetime);
    if (age < particle.phase1_end) {
        phase = 0;
        t = phase_fraction(age, 0.0f, particle.phase1_end);
    } else if (age < particle.phase2_end) {
        phase = 1;
        t = phase_fraction(age, particle.phase1_end, particle.phase2_end);
    }
    const auto lerp = [&](const float(&keys)[4]) {
        return keys[phase] + (keys[phase + 1] - keys[phase]) * t;
    };
    return {lerp(particle.alpha_keys), lerp(particle.scale_keys)};
}

void goxx_sprite_quad(GoXx& object, float alpha, float scale)
{
    SpriteParticle& particle = object.area<SpriteParticle>();
    const auto alpha_byte = static_cast<std::uint32_t>(std::clamp(std::floor(alpha), 0.0f, k_alpha_byte_max));
    const D3DCOLOR colour = alpha_byte << 24 | particle.rgb;
    const float c = particle.cos_angle * scale;
    const float n = particle.sin_angle * scale;
    const float corners[4][2] = {{n - c, c + n}, {-c - n, n - c}, {c + n, c - n}, {c - n, -c - n}};
    for (int i = 0; i < 4; ++i) {
        QuadVertex& vertex = particle.quad[i];
        vertex.x = corners[i][0];
        vertex.y = corners[i][1];
        vertex.z = 0.0f;
        vertex.diffuse = colour;
    }
}

void goxx_draw_sprite_particle(RenderQueueItem*, void* user)
{
    GoXx& object = *static_cast<GoXx*>(user);
    const SpriteParticle& particle = object.area<SpriteParticle>();
    const SpriteKeys keys = goxx_sprite_particle_keys(particle);
    goxx_sprite_quad(object, keys.alpha, keys.scale);
    const D3DXVECTOR3 centre = matrix_position(object.world) + goxx_view_forward() * particle.camera_offset;
    D3DXMATRIX world = particle.upright ? g_camera_state.heading_rotation : g_camera_state.billboard;
    matrix_set_position(world, centre);
    DynamicBuffer& buffer = rq_begin_world_quads(particle.material, world);
    d3d_set_texture_cached(0, particle.texture);
    UINT start = 0;
    if (!gfx_dynvb_write(4, buffer, particle.quad, start)) return;
    d3d_draw_primitive(D3DPT_TRIANGLESTRIP, start, 2);
}
