// The draw side of particles: view culling, the render-queue item of each visible particle and
// its light spot on the ground, and the callback that draws it as a quad, a camera-facing quad,
// a ring or an effect mesh.
#pragma once

#include "platform/d3dx8.h"

#include <cstdint>

class GoParticle;
struct RenderQueueItem;

constexpr int PARTICLE_CULL_PERIOD = 8; // ticks between two view tests of a visible particle

// Ground lights go to the additive light batch; a colour word of exactly this darkens instead.
constexpr std::uint32_t PARTICLE_LIGHT_DARK_COLOUR = 0xFF000000;
constexpr int PARTICLE_LIGHT_BATCH = 9;
constexpr int PARTICLE_LIGHT_BATCH_DARK = 3;

// The effect meshes whose light turns with the particle's remaining life.
constexpr int PARTICLE_TURNING_LIGHT_MESHES[] = {120, 122};
constexpr float PARTICLE_PLAIN_ALPHA = 0.8f; // below it those meshes draw plain (MODEL_DRAW_PLAIN)

// Key 0 of a textured particle names its texture in 32 bits: the image-table entry of a frame
// texture (423 + its number), or this plus the mesh number for an effect mesh's first texture.
constexpr std::uint32_t PARTICLE_MESH_TEXTURE_KEY = 717;

// The drawn-frame step of a particle whose life is not over.
void eft_particle_draw_step(GoParticle& particle);
// The render-queue callback; `user` is the particle.
void eft_particles_draw(RenderQueueItem* item, void* user);
// The depth key of an offset from the eye: 90000 x the sum of the squared 3-unit cells, each
// square taken modulo 2^28, all in unsigned 32-bit arithmetic.
std::uint32_t eft_depth_key(const D3DXVECTOR3& offset);
// Key 0 of the particle's item: its texture's identity, 0 when it draws untextured.
std::uint32_t eft_texture_key(const GoParticle& particle);
