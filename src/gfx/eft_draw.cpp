#include "gfx/eft_draw.h"

#include "core/maths.h"
#include "game/g_decal.h"
#include "game/g_hit.h"
#include "game/g_image_table.h"
#include "gfx/g_gfx.h"
#include "gfx/go_particle.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/d3d_state.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"
#include "scenegraph/model.h"
#include "scenegraph/renderer_camera.h"
#include "scenegraph/renderer_queue.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

static_assert(PARTICLE_MESH_TEXTURE_KEY == IMAGE_TABLE_SIZE, "mesh keys follow the image-table keys");
static_assert(sizeof(EffectVertex) == sizeof(QuadVertex), "particles draw from the world-quad buffer");

namespace {

constexpr float k_depth_cell = 3.0f;
constexpr std::uint32_t k_depth_scale = 90000;
constexpr std::uint32_t k_depth_square_mask = 0x0FFFFFFF; // each square modulo 2^28

constexpr float k_light_drop = 0.35f;         // the light spot's centre below the particle
constexpr float k_light_ground_below = 0.75f; // mode 0: the ground assumed below that centre
constexpr float k_light_probe_depth = 10.0f;  // other modes look this far down for a surface
constexpr int k_light_last_kind = DECAL_KIND_COUNT - 1;
constexpr float k_light_near_player = 10.0f; // nearer than this a cast light is projected
constexpr float k_light_near_eye = 35.0f;    // the same without a player
const D3DXVECTOR3 k_up(0.0f, 1.0f, 0.0f);

constexpr float k_light_turn_per_tick = 1.0185916f; // table steps per tick of remaining life
constexpr float k_half = 0.5f;
constexpr float k_last_key_time = 16777216.0f; // 2^24

D3DXVECTOR3 world_position(const GoParticle& particle)
{
    return {particle.matrix._41, particle.matrix._42, particle.matrix._43};
}

// Toward the eye by the effect's camera pull; nothing once the effect is gone.
D3DXVECTOR3 camera_offset(const GoParticle& particle)
{
    const GoEffect* effect = particle.effect.get();
    return effect ? effect->camera_offset : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
}

std::uint32_t alpha_byte(const GoParticle& particle)
{
    return particle.state.vertices[0].colour1 >> 24;
}

// The frame being shown, or -1 for an emitter without texture frames.
int frame_of(const GoParticle& particle)
{
    const int frames = std::min(particle.def->frame_count, EFFECT_FRAMES);
    if (frames <= 0) return -1;
    return std::min<int>(particle.state.frame_index, frames - 1);
}

const EffectFrameUv* frame_uv(const GoParticle& particle)
{
    const int frame = frame_of(particle);
    return frame < 0 ? nullptr : &particle.def->frame_uv[frame];
}

// The image-table entry of the frame's texture; -1 when the frame draws untextured.
int frame_image(const GoParticle& particle)
{
    const int frame = frame_of(particle);
    if (frame < 0) return -1;
    const std::int32_t number = particle.def->frame_textures[frame];
    if (number < 0 || number >= IMAGE_TABLE_EFFECT_COUNT) return -1;
    return IMAGE_TABLE_EFFECT_FIRST + number;
}

IDirect3DTexture8* frame_texture(const GoParticle& particle)
{
    const int image = frame_image(particle);
    return image < 0 ? nullptr : g_texture_handles[image];
}

Model* effect_mesh(const EffectEmitterDef& def)
{
    return def.mesh < EFFECT_MESH_TABLE_SIZE ? g_effect_meshes[def.mesh] : nullptr;
}

std::uint32_t cell_square(float offset)
{
    const auto cell = static_cast<std::uint32_t>(rq_float_to_key(offset / k_depth_cell));
    return cell * cell & k_depth_square_mask;
}

// ---- Culling -------------------------------------------------------------------------------------

// A visible particle is looked at again only every PARTICLE_CULL_PERIOD ticks; a hidden one on
// every tick, so it shows on the first frame it is back in view.
void update_culling(GoParticle& particle, const EffectEmitterDef& def)
{
    EffectEmitter& state = particle.state;
    if (def.cull_mode == 0) {
        if (const GoParticle* parent = particle.parent.get()) state.hidden = parent->state.hidden;
        return;
    }
    if (!state.hidden && state.hide_counter > 0) {
        --state.hide_counter;
        return;
    }
    state.hidden = gfx_sphere_in_view(world_position(particle), def.cull_radius) ? 0 : 1;
    if (!state.hidden) state.hide_counter = PARTICLE_CULL_PERIOD - 1;
}

void queue_item(GoParticle& particle)
{
    const int row = particle.state.render_row == EFFECT_ROW_IN_WATER ? EFFECT_ROW_IN_WATER : EFFECT_ROW;
    auto* item = reinterpret_cast<RqCallbackItem*>(rq_alloc(row, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK));
    if (!item) return;
    const D3DXVECTOR3 offset = world_position(particle) - g_camera_state.eye - camera_offset(particle);
    item->header.key0 = eft_texture_key(particle);
    item->header.key1 = static_cast<std::int32_t>(eft_depth_key(offset));
    item->callback = eft_particles_draw;
    item->user = &particle;
}

// ---- Ground light --------------------------------------------------------------------------------

bool near_viewer(const D3DXVECTOR3& point)
{
    if (g_player) {
        const D3DXVECTOR3 to_player =
            point - D3DXVECTOR3(g_player->world._41, g_player->world._42, g_player->world._43);
        return D3DXVec3Length(&to_player) < k_light_near_player;
    }
    const D3DXVECTOR3 to_eye = point - g_camera_state.eye;
    return D3DXVec3Length(&to_eye) < k_light_near_eye;
}

// The two alpha tables of the light are linear: the particle's alpha weighs the colour's own.
std::uint32_t light_colour(const GoParticle& particle, std::uint32_t colour)
{
    const std::uint32_t alpha = alpha_byte(particle) * (colour >> 24) / 255;
    return alpha << 24 | (colour & 0xFFFFFF);
}

void cast_light(const GoParticle& particle, const EffectEmitterDef& def)
{
    const GoEffect* effect = particle.effect.get();
    const float size = particle.state.base_scale.x * def.light_size * particle.state.scale_factors.x *
                       (effect ? effect->scale.x : 1.0f);
    const int batch =
        def.light_colour == PARTICLE_LIGHT_DARK_COLOUR ? PARTICLE_LIGHT_BATCH_DARK : PARTICLE_LIGHT_BATCH;
    const std::uint32_t packed = light_colour(particle, def.light_colour);
    const D3DXVECTOR3 at = world_position(particle) - D3DXVECTOR3(0.0f, k_light_drop, 0.0f);
    if (def.light_mode == 0) {
        decal_draw(at, 0, batch, packed, size, at.y - k_light_ground_below, k_up, false);
        return;
    }
    HitSegment segment;
    hit_segment_init_simple(at, at - D3DXVECTOR3(0.0f, k_light_probe_depth, 0.0f), segment);
    if (!hit_segment_meshes_a(segment) || !(segment.triangle.normal.y > 0.0f)) return;
    const Vec3& n = segment.triangle.normal;
    const D3DXVECTOR3& hit = segment.hit_point;
    decal_draw(hit, std::min<int>(def.light_mode, k_light_last_kind), batch, packed, size, hit.y,
               D3DXVECTOR3(n.x, n.y, n.z), !near_viewer(hit));
}

// ---- Quads and rings -----------------------------------------------------------------------------

// The vertices as one triangle strip in the world-quad buffer, with the definition's material.
void draw_strip(const D3DXMATRIX& world, MaterialFlags material, const EffectVertex* vertices, UINT count)
{
    DynamicBuffer& buffer = rq_begin_world_quads(material, world);
    UINT start = 0;
    if (!gfx_dynvb_write(count, buffer, vertices, start)) return;
    d3d_draw_primitive(D3DPT_TRIANGLESTRIP, start, count - 2);
}

// Strip order: the top edge left to right, then the bottom edge.
void set_frame_uv(EffectVertex (&quad)[4], const EffectFrameUv& frame)
{
    quad[0].u = quad[2].u = frame.u0;
    quad[1].u = quad[3].u = frame.u1;
    quad[0].v = quad[1].v = frame.v0;
    quad[2].v = quad[3].v = frame.v1;
}

void set_colours(EffectVertex& vertex, const GoParticle& particle)
{
    vertex.colour1 = particle.state.vertices[0].colour1;
    vertex.colour2 = particle.state.vertices[0].colour2;
}

// A ring that was never built (no segments, or no curve mode at creation) draws nothing.
void draw_ring(GoParticle& particle, const EffectEmitterDef& def)
{
    if (particle.ring.size() < 3) return;
    for (EffectVertex& vertex : particle.ring)
        set_colours(vertex, particle);
    draw_strip(particle.matrix, def.ring_material, particle.ring.data(),
               static_cast<UINT>(particle.ring.size()));
}

// A square facing the camera, turned by the particle's z angle on the 256-step table.
void draw_facing_quad(const GoParticle& particle, const EffectEmitterDef& def)
{
    const float half = particle.state.scale_factors.x * particle.state.base_scale.x * k_half;
    const int step = math_heading_index(particle.state.rotation.z);
    const float c = math_table_cos(step);
    const float s = math_table_sin(step);
    constexpr float corners[4][2] = {{-1.0f, 1.0f}, {1.0f, 1.0f}, {-1.0f, -1.0f}, {1.0f, -1.0f}};
    EffectVertex quad[4];
    for (int i = 0; i < 4; ++i) {
        const float x = corners[i][0] * half;
        const float y = corners[i][1] * half;
        quad[i] = particle.state.vertices[i];
        quad[i].position = D3DXVECTOR3(x * c - y * s, x * s + y * c, 0.0f);
    }
    if (const EffectFrameUv* frame = frame_uv(particle)) set_frame_uv(quad, *frame);
    D3DXMATRIX world = g_camera_state.billboard;
    const D3DXVECTOR3 at = world_position(particle) - camera_offset(particle);
    world._41 = at.x;
    world._42 = at.y;
    world._43 = at.z;
    draw_strip(world, def.ring_material, quad, 4);
}

void draw_plain_quad(const GoParticle& particle, const EffectEmitterDef& def)
{
    EffectVertex quad[4];
    std::copy(std::begin(particle.state.vertices), std::end(particle.state.vertices), quad);
    if (const EffectFrameUv* frame = frame_uv(particle)) set_frame_uv(quad, *frame);
    D3DXMATRIX world = particle.matrix;
    const D3DXVECTOR3 offset = camera_offset(particle);
    world._41 -= offset.x;
    world._42 -= offset.y;
    world._43 -= offset.z;
    draw_strip(world, def.ring_material, quad, 4);
}

// ---- Effect meshes -------------------------------------------------------------------------------

// What a mesh draw changes on the shared effect mesh and the scene light, to give back after it.
// The UV offsets of every material are kept in one buffer that grows to the largest effect mesh
// once, so steady frames allocate nothing.
struct MeshDrawChanges {
    std::vector<std::array<float, 2>> uv_offsets;
    IDirect3DTexture8* first_texture = nullptr;
    float fade = 1.0f;
    D3DXVECTOR4 light_direction;
};
MeshDrawChanges g_mesh_changes;

void keep_mesh_state(const Model& model)
{
    g_mesh_changes.uv_offsets.resize(model.materials.size());
    for (std::size_t i = 0; i < model.materials.size(); ++i)
        g_mesh_changes.uv_offsets[i] = {model.materials[i].values[0], model.materials[i].values[1]};
    g_mesh_changes.first_texture = model.textures.empty() ? nullptr : model.textures[0];
    g_mesh_changes.fade = model.fade;
    g_mesh_changes.light_direction = g_scene_lighting.light_direction;
}

void restore_mesh_state(Model& model)
{
    for (std::size_t i = 0; i < model.materials.size(); ++i) {
        model.materials[i].values[0] = g_mesh_changes.uv_offsets[i][0];
        model.materials[i].values[1] = g_mesh_changes.uv_offsets[i][1];
    }
    if (!model.textures.empty()) model.textures[0] = g_mesh_changes.first_texture;
    model.fade = g_mesh_changes.fade;
    g_scene_lighting.light_direction = g_mesh_changes.light_direction;
}

bool has_turning_light(const EffectEmitterDef& def)
{
    return std::ranges::find(PARTICLE_TURNING_LIGHT_MESHES, def.mesh) !=
           std::end(PARTICLE_TURNING_LIGHT_MESHES);
}

// About the vertical axis by the table angle of the remaining life.
void turn_light(std::int32_t life)
{
    const int step = rq_float_to_key(static_cast<float>(life) * k_light_turn_per_tick);
    const float c = math_table_cos(step);
    const float s = math_table_sin(step);
    D3DXVECTOR4& d = g_scene_lighting.light_direction;
    const float x = d.x;
    d.x = x * c - d.z * s;
    d.z = x * s + d.z * c;
}

// The animation between the definition's start time and the particle's own time. Times the
// data puts past any key count are held at the last whole key a float counts exactly.
void pose_mesh(Model& model, const GoParticle& particle, const EffectEmitterDef& def)
{
    const float start = std::clamp(def.mesh_anim_start, 0.0f, k_last_key_time);
    const float time = std::clamp(particle.state.mesh_time, start, k_last_key_time);
    const auto first = static_cast<std::uint32_t>(start);
    const auto last = static_cast<std::uint32_t>(std::ceil(time));
    D3DXMATRIX root;
    D3DXMatrixIdentity(&root);
    model_apply_animation(model, last - first + 1, first, time, 0.0f, particle.matrix, root);
}

void draw_mesh(const GoParticle& particle, const EffectEmitterDef& def)
{
    Model* model = effect_mesh(def);
    if (!model || model->nodes.empty()) return;
    keep_mesh_state(*model);

    const EffectFrameUv* frame = frame_uv(particle);
    for (ModelMaterial& material : model->materials) {
        material.values[0] = particle.state.uv_scroll[0] + (frame ? frame->u0 : 0.0f);
        material.values[1] = particle.state.uv_scroll[1] + (frame ? frame->v0 : 0.0f);
    }
    if (frame && !model->textures.empty()) model->textures[0] = frame_texture(particle);
    const float alpha = static_cast<float>(alpha_byte(particle)) / 255.0f;
    model->fade = alpha;
    std::uint32_t draw_flags = 0;
    if (has_turning_light(def)) {
        turn_light(particle.state.life);
        if (alpha < PARTICLE_PLAIN_ALPHA) draw_flags |= MODEL_DRAW_PLAIN;
    }

    pose_mesh(*model, particle, def);
    model_draw_node_tree(*model, &model->nodes.front(), draw_flags);
    model_draw_end(*model);
    restore_mesh_state(*model);
}

} // namespace

void eft_particle_draw_step(GoParticle& particle)
{
    if (!particle.def) return;
    const EffectEmitterDef& def = *particle.def;
    if (def.flags & EFFECT_DEF_CULLED_ENDLESS) update_culling(particle, def);
    if (particle.state.hidden) return;
    if (!(def.flags & EFFECT_DEF_NO_DRAW)) queue_item(particle);
    if (def.light_size != 0.0f) cast_light(particle, def);
}

void eft_particles_draw(RenderQueueItem*, void* user)
{
    GoParticle& particle = *static_cast<GoParticle*>(user);
    if (!particle.def) return;
    const EffectEmitterDef& def = *particle.def;
    if (def.flags & EFFECT_DEF_MESH) {
        draw_mesh(particle, def);
        return;
    }
    d3d_set_texture_cached(0, frame_texture(particle));
    if (def.flags & EFFECT_DEF_RING)
        draw_ring(particle, def);
    else if (def.flags & EFFECT_DEF_CAMERA_FACING)
        draw_facing_quad(particle, def);
    else
        draw_plain_quad(particle, def);
}

std::uint32_t eft_depth_key(const D3DXVECTOR3& offset)
{
    return k_depth_scale * (cell_square(offset.x) + cell_square(offset.y) + cell_square(offset.z));
}

std::uint32_t eft_texture_key(const GoParticle& particle)
{
    if (!particle.def) return 0;
    const EffectEmitterDef& def = *particle.def;
    if (def.flags & EFFECT_DEF_MESH) {
        const Model* model = effect_mesh(def);
        const bool textured = model && !model->textures.empty() && model->textures[0];
        return textured ? PARTICLE_MESH_TEXTURE_KEY + def.mesh : 0;
    }
    const int image = frame_image(particle);
    return image >= 0 && g_texture_handles[image] ? static_cast<std::uint32_t>(image) : 0;
}
