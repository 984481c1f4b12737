#include "scenegraph/model.h"

#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/renderer_frame.h"
#include "scenegraph/renderer_camera.h"

#include <algorithm>
#include <cmath>
#include <cstring>

ModelSceneState g_model_scene;

namespace {

// The second colour operation ADD that puts the gloss texture over the base.
constexpr MaterialFlags SECOND_TEXTURE_BITS = 0x50000000;
constexpr MaterialFlags PLAIN_WORD = 0x3D00;
constexpr D3DCOLOR WHITE = 0xFFFFFFFF;
constexpr int ROW_DECALS = 10; // subsets of one model keep their order there

using ShaderRow = int[5]; // by the active point-light count

// Skinned rows: without and with the stream pair.
constexpr ShaderRow SKIN_SPHERE[2] = {{118, 122, 126, 126, 126}, {178, 182, 186, 186, 186}};
constexpr ShaderRow SKIN_SPHERE_STEALTH[2] = {{130, 134, 138, 138, 138}, {190, 194, 198, 198, 198}};
constexpr ShaderRow SKIN_STEALTH[2] = {{142, 146, 150, 150, 150}, {202, 206, 210, 210, 210}};
constexpr ShaderRow SKIN_BASE[2] = {{106, 110, 114, 114, 114}, {166, 170, 174, 174, 174}};

// Vertex-format code 26.
constexpr ShaderRow C26_SHADOW = {26, 36, 37, 38, 39};
constexpr ShaderRow C26_SPHERE = {40, 41, 42, 43, 44};
constexpr ShaderRow C26_COVER = {27, 28, 29, 30, 31};
constexpr ShaderRow C26_BASE = {26, 32, 33, 34, 35};
constexpr ShaderRow WATER_SPHERE = {54, 55, 56, 57, 58};
constexpr ShaderRow WATER_SHADOW = {45, 50, 51, 52, 53};
constexpr ShaderRow WATER_BASE = {45, 46, 47, 48, 49};
constexpr ShaderRow WIND_SHADOW = {59, 69, 70, 71, 72};
constexpr ShaderRow WIND_COVER = {60, 61, 62, 63, 64};
constexpr ShaderRow WIND_BASE = {59, 65, 66, 67, 68};

// Vertex-format code 73.
constexpr ShaderRow C73_SHADOW = {73, 83, 84, 85, 86};
constexpr ShaderRow C73_SPHERE = {87, 88, 89, 90, 91};
constexpr ShaderRow C73_SPHERE_STEALTH = {92, 93, 94, 95, 96};
constexpr ShaderRow C73_STEALTH = {97, 98, 99, 100, 101};
constexpr ShaderRow C73_BASE = {73, 79, 80, 81, 82};

constexpr std::uint32_t CODE_WATER_WIND = 26;
constexpr std::uint32_t CODE_LIT = 73;

// What the shader rules decide for one subset.
struct SubsetState {
    std::uint32_t bits;
    MaterialFlags word;
    D3DCOLOR color;
    IDirect3DBaseTexture8* textures[MODEL_TEXTURES];
    int slot;
};

int lights()
{
    return std::clamp(g_active_point_lights, 0, RENDERER_POINT_LIGHTS);
}

int pick(const ShaderRow& row)
{
    return row[lights()];
}

void set_constant(DWORD reg, const void* data, DWORD count = 1)
{
    g_d3d_device->SetVertexShaderConstant(reg, data, count);
}

void cover_setup(SubsetState& s)
{
    const FrameEffects& fx = g_frame_effects;
    s.word = (s.word & 0xFFF3FFFA) | fx.cover_model_bits | 0x2;
    s.textures[2] = fx.cover_texture;
    const float cover[4] = {fx.cover_scroll[0], fx.cover_scroll[1], fx.cover_mode, fx.cover_w};
    set_constant(VSC_COVER, cover);
}

bool cover_on()
{
    return g_frame_effects.cover_mode != 0.0f;
}

IDirect3DBaseTexture8* prepass_texture()
{
    return g_renderer_surfaces.prepass_texture;
}

void select_skinned(const Model& model, const ModelMesh& mesh, std::uint32_t draw_flags, SubsetState& s)
{
    int w = static_cast<int>(mesh.bones_per_vertex) - 1;
    int pair = model.stream_pair_set ? 1 : 0;
    if (s.bits & MODEL_MAT_PLAIN) {
        s.slot = (pair ? 162 : 102) + w;
        s.word = (s.word & ~0x300u) | 0x8000;
    } else if ((draw_flags & MODEL_DRAW_BUMP) && !(draw_flags & MODEL_DRAW_STEALTH)) {
        bool sphere = s.bits & MODEL_MAT_SPHERE;
        s.slot = (pair ? (sphere ? 218 : 214) : (sphere ? 158 : 154)) + w;
        if (!s.textures[2]) s.textures[2] = g_model_scene.bump_texture;
        s.color = (s.color & 0xFF000000) | g_ambient_packed;
        s.word = (s.word & ~0x3u) | 0x4;
        if (sphere) {
            s.word = (s.word & ~0x2u) | SECOND_TEXTURE_BITS | 0x5;
            s.textures[1] = g_model_scene.gloss_texture;
        }
    } else if (s.bits & MODEL_MAT_SPHERE) {
        bool stealth = draw_flags & MODEL_DRAW_STEALTH;
        s.slot = pick(stealth ? SKIN_SPHERE_STEALTH[pair] : SKIN_SPHERE[pair]) + w;
        if (stealth) s.textures[0] = prepass_texture();
        s.textures[1] = g_model_scene.gloss_texture;
    } else if (draw_flags & MODEL_DRAW_STEALTH) {
        s.slot = pick(SKIN_STEALTH[pair]) + w;
        s.textures[0] = prepass_texture();
    } else {
        s.slot = pick(SKIN_BASE[pair]) + w;
    }
}

void select_water_wind_code(const Model& model, SubsetState& s)
{
    const RendererSettings& settings = g_device_settings.settings;
    bool shadow = g_frame_effects.shadow_lighting;
    if ((s.bits & MODEL_MAT_WATER) && settings.water_vs) {
        s.slot = (s.bits & MODEL_MAT_SPHERE) ? pick(WATER_SPHERE)
                 : shadow                    ? pick(WATER_SHADOW)
                 : (s.word & MAT_Z_WRITE)    ? pick(WATER_BASE)
                                             : WATER_BASE[0];
        const float water[4] = {g_model_scene.effect_time * 0.05f, model.extra[0], model.extra[1] * 0.75f,
                                0.0f};
        set_constant(MODEL_VSC_WATER_WIND, water);
    } else if ((s.bits & MODEL_MAT_WIND) && settings.wind_vs) {
        s.slot = shadow ? pick(WIND_SHADOW) : cover_on() ? pick(WIND_COVER) : pick(WIND_BASE);
        set_constant(MODEL_VSC_WATER_WIND, &g_model_scene.wind);
    } else if (shadow) {
        s.slot = pick(C26_SHADOW);
    } else if (s.bits & MODEL_MAT_SPHERE) {
        s.slot = pick(C26_SPHERE);
        s.textures[1] = g_model_scene.gloss_texture;
    } else if (s.word & MAT_ADDITIVE) {
        s.slot = C26_BASE[0];
    } else if (cover_on()) {
        s.slot = pick(C26_COVER);
        cover_setup(s);
    } else {
        s.slot = pick(C26_BASE);
    }
}

void select_lit_code(std::uint32_t draw_flags, SubsetState& s)
{
    bool stealth = draw_flags & MODEL_DRAW_STEALTH;
    if (s.bits & MODEL_MAT_PLAIN) {
        s.slot = SHADER_SLOT_B_NDT1;
    } else if (g_frame_effects.shadow_lighting && !(s.word & MAT_ADDITIVE)) {
        s.slot = pick(C73_SHADOW);
    } else if (s.bits & MODEL_MAT_SPHERE) {
        s.slot = pick(stealth ? C73_SPHERE_STEALTH : C73_SPHERE);
        s.textures[1] = g_model_scene.gloss_texture;
        if (stealth) s.textures[0] = prepass_texture();
    } else if (stealth) {
        s.slot = pick(C73_STEALTH);
        s.textures[0] = prepass_texture();
    } else if (!(s.word & MAT_ADDITIVE)) {
        s.slot = pick(C73_BASE);
        if (cover_on()) cover_setup(s);
    } else {
        s.slot = CODE_LIT;
    }
}

void select_rigid(const Model& model, const ModelMesh& mesh, std::uint32_t draw_flags, SubsetState& s)
{
    if (s.bits & MODEL_MAT_PLAIN) s.word &= ~MAT_FOG;
    if (mesh.format == CODE_WATER_WIND)
        select_water_wind_code(model, s);
    else if (mesh.format == CODE_LIT)
        select_lit_code(draw_flags, s);
    else
        s.slot = static_cast<int>(mesh.format);
}

void set_streams(const Model& model, const ModelMesh& mesh)
{
    const MeshVertexBuffer& vb = mesh.vertex_buffers[0];
    d3d_set_stream_source_cached(0, vb.buffer, vb.stride);
    g_d3d_device->SetIndices(mesh.index_buffers[0].buffer, 0);
    if (!mesh.skinned()) return;
    auto stream = [&](UINT index, std::size_t buffer) {
        if (buffer < mesh.vertex_buffers.size())
            g_d3d_device->SetStreamSource(index, mesh.vertex_buffers[buffer].buffer,
                                          mesh.vertex_buffers[buffer].stride);
    };
    if (model.stream_pair_set) {
        stream(1, std::size_t{model.stream_pair[0]} + 1);
        stream(2, std::size_t{model.stream_pair[1]} + 1);
    } else {
        stream(1, 1);
    }
}

// A slot of 0 (a format the table has no shader for) draws with the buffer's own FVF.
void apply_shader(const ModelMesh& mesh, int slot)
{
    d3d_set_vertex_shader_cached(slot > 0 ? shader_handle(slot) : mesh.vertex_buffers[0].fvf);
}

void apply_word(MaterialFlags word)
{
    if (word != g_current_material) renderer_set_material_state(word);
}

void set_textures(const SubsetState& s)
{
    IDirect3DBaseTexture8* const* t = s.textures;
    switch (s.word & MAT_COMBINE_MASK) {
    case 1:
    case 3:
    case 6:
        d3d_set_texture_cached(0, t[0]);
        break;
    case 2:
        d3d_set_texture_cached(0, t[0]);
        d3d_set_texture_cached(1, t[1]);
        break;
    case 4:
        d3d_set_texture_cached(0, t[2]);
        d3d_set_texture_cached(1, t[0]);
        break;
    case 5:
        d3d_set_texture_cached(0, t[2]);
        d3d_set_texture_cached(1, t[0]);
        d3d_set_texture_cached(2, t[1]);
        break;
    default:
        break;
    }
}

void set_model_constant(Model& model, const ModelMaterial& material)
{
    if (material.bits & MODEL_MAT_UV_ANIM) {
        set_constant(VSC_MODEL, material.values);
        model.c2_set = true;
    } else if (model.c2_set) {
        const float zero[4] = {};
        set_constant(VSC_MODEL, zero);
        model.c2_set = false;
    }
}

void set_plain_state(Model& model, const ModelMesh& mesh)
{
    d3d_set_texture_cached(0, nullptr);
    int slot;
    if (mesh.skinned())
        slot = (model.stream_pair_set ? SHADER_SLOT_ST_BASE : SHADER_SLOT_S_BASE) +
               static_cast<int>(mesh.bones_per_vertex);
    else if (mesh.vertex_buffers[0].fvf == 0x152)
        slot = SHADER_SLOT_B_NDT1;
    else if (mesh.vertex_buffers[0].fvf == 0x1C2)
        slot = SHADER_SLOT_B_DST1;
    else
        slot = SHADER_SLOT_B_DT1;
    apply_word(PLAIN_WORD);
    d3d_set_render_state_cached(D3DRS_TEXTUREFACTOR, WHITE);
    apply_shader(mesh, slot);
}

bool drawable(const ModelMesh& mesh)
{
    return !mesh.vertex_buffers.empty() && !mesh.index_buffers.empty() && mesh.vertex_buffers[0].buffer &&
           mesh.index_buffers[0].buffer;
}

// Palettes beyond the constant file cannot be uploaded: such a mesh is not drawn.
bool palette_fits(const ModelMesh& mesh)
{
    return MODEL_VSC_PALETTE + 3 * std::uint64_t{mesh.palette_size} <= VSC_REGISTER_COUNT;
}

const ModelMaterial* material_of(const Model& model, const MeshSubset& subset)
{
    return model.materials.empty() ? nullptr : &model.materials[subset.material];
}

// 0 for a hidden material; a subset of a model without materials draws at the model's alpha.
float subset_alpha(const Model& model, const ModelMesh& mesh, const ModelMaterial* material)
{
    if (material && (material->bits & MODEL_MAT_HIDDEN)) return 0.0f;
    return model.fade * mesh.alpha_factor * (material ? material->alpha : 1.0f);
}

void draw_subset(const MeshSubset& subset)
{
    g_d3d_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, subset.lowest_vertex, subset.vertex_count,
                                       3 * subset.first_triangle, subset.triangle_count);
}

void upload_palette(const ModelMesh& mesh, const MeshSubset& subset)
{
    for (std::uint32_t i = 0; i < mesh.palette_size; ++i) {
        std::int32_t bone = subset.palette[i];
        if (bone < 0 || !mesh.bones[static_cast<std::size_t>(bone)]) continue;
        const ModelNode& node = *mesh.bones[static_cast<std::size_t>(bone)];
        D3DXMATRIX m = node.inverse_bind * node.pose.world * g_camera_state.view;
        D3DXMatrixTranspose(&m, &m);
        set_constant(MODEL_VSC_PALETTE + 3 * i, &m, 3);
    }
}

bool culled(const ModelMesh& mesh, const D3DXMATRIX& world, std::uint32_t draw_flags)
{
    if (!(draw_flags & MODEL_DRAW_CULL)) return false;
    D3DXVECTOR3 centre;
    D3DXVec3TransformCoord(&centre, &mesh.centre, &world);
    return !gfx_sphere_in_view(centre, mesh.radius);
}

RqModelNodeItem* queue_node_item(int row, std::int32_t key1, Model& model, ModelMesh& mesh,
                                 const ModelMaterial* material, const MeshSubset& subset,
                                 const D3DXMATRIX& world, std::uint32_t draw_flags)
{
    RenderQueueItem* header = rq_alloc(row, RQ_TYPE_MODEL_NODE, RQ_SIZE_MODEL_NODE);
    if (!header) return nullptr;
    auto* item = reinterpret_cast<RqModelNodeItem*>(header);
    header->key0 = rq_next_serial();
    header->key1 = key1;
    header->draw_flags = static_cast<std::uint8_t>(draw_flags);
    item->model = &model;
    item->mesh = &mesh;
    item->material = const_cast<ModelMaterial*>(material);
    item->subset = const_cast<MeshSubset*>(&subset);
    item->world = &world;
    return item;
}

// One item per triangle, keyed by the squared eye distance of its centre; false when the copies
// it needs were not kept or the row has no room.
bool queue_triangles(Model& model, ModelMesh& mesh, const ModelMaterial& material, const MeshSubset& subset,
                     const D3DXMATRIX& world, std::uint32_t draw_flags)
{
    const MeshIndexBuffer& ib = mesh.index_buffers[0];
    if (ib.element_size != 2 || ib.centres.empty() || subset.triangle_count == 0) return false;
    std::uint32_t count = subset.triangle_count;
    RqMeshItem* items = rq_alloc_meshes(count);
    if (!items) return false;
    std::uint32_t serial = rq_next_serial();
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint32_t triangle = subset.first_triangle + i;
        RqMeshItem& item = items[i];
        D3DXVECTOR3 centre;
        D3DXVec3TransformCoord(&centre, &ib.centres[triangle], &world);
        D3DXVECTOR3 to_eye = centre - g_camera_state.eye;
        item.header.key0 = serial;
        item.header.key1 = rq_depth_key(D3DXVec3LengthSq(&to_eye));
        item.header.draw_flags = static_cast<std::uint8_t>(draw_flags);
        item.material_word = material.word | MODEL_SORTED_WORD_BIT;
        item.model = &model;
        item.mesh = &mesh;
        item.material = const_cast<ModelMaterial*>(&material);
        item.subset = const_cast<MeshSubset*>(&subset);
        item.world = &world;
        std::memcpy(item.indices, ib.copy.data() + 6 * std::size_t{triangle}, sizeof item.indices);
    }
    return true;
}

bool sorted_by_triangle(const ModelMaterial& material)
{
    return (material.bits & MODEL_MAT_SORT_ALWAYS) ||
           ((material.bits & MODEL_MAT_SORT) && g_device_settings.settings.sort_alpha_texture);
}

void queue_subset(Model& model, ModelMesh& mesh, const ModelMaterial& material, const MeshSubset& subset,
                  std::int32_t remaining, const D3DXMATRIX& world, std::uint32_t draw_flags, float alpha)
{
    const bool sorted = material.bits & (MODEL_MAT_SORT | MODEL_MAT_SORT_ALWAYS);
    if (material.bits & MODEL_MAT_LATE) {
        if (queue_node_item(RQ_ROW_MESHES, 0, model, mesh, &material, subset, world, draw_flags)) return;
    } else if (sorted && sorted_by_triangle(material)) {
        // Without the kept indices and centres the subset goes late as a whole.
        if (queue_triangles(model, mesh, material, subset, world, draw_flags) ||
            queue_node_item(RQ_ROW_MESHES, 0, model, mesh, &material, subset, world, draw_flags))
            return;
    } else if (material.word & MAT_ALPHA_BLEND) {
        if (queue_node_item(ROW_DECALS, remaining, model, mesh, &material, subset, world, draw_flags)) return;
    }
    const FrameEffects& fx = g_frame_effects;
    if ((fx.prepass_request || fx.screen_texture_mode) &&
        queue_node_item(RQ_ROW_WORLD_BATCHES, 0, model, mesh, &material, subset, world, draw_flags))
        return;
    model_set_material_state(model, mesh, &material, draw_flags, alpha);
    draw_subset(subset);
}

void set_mesh_constants(const D3DXMATRIX& world)
{
    renderer_set_light_constants(world);
    renderer_set_world_constants(world);
}

} // namespace

void model_set_material_state(Model& model, const ModelMesh& mesh, const ModelMaterial* material,
                              std::uint32_t draw_flags, float alpha)
{
    set_streams(model, mesh);
    if (!material) {
        set_plain_state(model, mesh);
        return;
    }
    const std::size_t index = static_cast<std::size_t>(material - model.materials.data());
    SubsetState s{material->bits, material->word, material->color, {}, 0};
    if (draw_flags & MODEL_DRAW_PLAIN) s.bits |= MODEL_MAT_PLAIN;
    if (draw_flags & MODEL_DRAW_SPHERE) s.bits |= MODEL_MAT_SPHERE;
    for (int t = 0; t < MODEL_TEXTURES; ++t)
        s.textures[t] = model.texture(index, t);
    if (mesh.skinned())
        select_skinned(model, mesh, draw_flags, s);
    else
        select_rigid(model, mesh, draw_flags, s);

    bool translucent = alpha != 1.0f;
    D3DCOLOR factor;
    if (translucent) {
        s.word |= MAT_ALPHA_ARG_TFACTOR;
        factor = (static_cast<D3DCOLOR>(std::min(255.0f, std::floor(alpha * 256.0f))) << 24) | 0x00FFFFFF;
    } else {
        factor = s.color | 0xFF000000;
    }
    if (s.bits & (MODEL_MAT_SORT | MODEL_MAT_SORT_ALWAYS)) {
        if ((s.bits & MODEL_MAT_SORT_ALWAYS) || g_device_settings.settings.sort_alpha_texture)
            translucent = true;
        if (mesh.skinned())
            s.word |= 0x4800;
        else if (s.bits & MODEL_MAT_PLAIN)
            s.word &= ~MAT_Z_WRITE;
    }
    if (translucent || (s.bits & MODEL_MAT_PLAIN))
        s.word = (s.word & ~0x30u) | MAT_ALPHA_BLEND;
    else
        s.word = (s.word & ~0x50u) | 0x820;
    set_textures(s);
    apply_word(s.word);
    d3d_set_render_state_cached(D3DRS_TEXTUREFACTOR, factor);
    apply_shader(mesh, s.slot);
    set_model_constant(model, *material);
}

void model_draw_end(Model& model)
{
    if (model.c2_set) {
        const float zero[4] = {};
        set_constant(VSC_MODEL, zero);
        model.c2_set = false;
    }
    model.stream_pair_set = false;
}

void model_draw_mesh(Model& model, ModelMesh& mesh, const D3DXMATRIX& world, std::uint32_t draw_flags)
{
    if (!drawable(mesh) || !palette_fits(mesh) || culled(mesh, world, draw_flags)) return;
    if (!mesh.skinned())
        set_mesh_constants(world);
    else if (draw_flags & MODEL_DRAW_BUMP)
        renderer_set_light_constants_identity();
    else
        renderer_set_light_constants(world);
    for (const MeshSubset& subset : mesh.subsets) {
        const ModelMaterial* material = material_of(model, subset);
        float alpha = subset_alpha(model, mesh, material);
        if (alpha == 0.0f) continue;
        if (mesh.skinned()) upload_palette(mesh, subset);
        model_set_material_state(model, mesh, material, draw_flags, alpha);
        draw_subset(subset);
    }
}

void model_queue_mesh(Model& model, ModelMesh& mesh, const D3DXMATRIX& world, std::uint32_t draw_flags)
{
    if (mesh.skinned()) {
        model_draw_mesh(model, mesh, world, draw_flags);
        return;
    }
    if (model.materials.empty() || !drawable(mesh)) return;
    set_mesh_constants(world);
    auto remaining = static_cast<std::int32_t>(mesh.subsets.size());
    for (const MeshSubset& subset : mesh.subsets) {
        const ModelMaterial& material = model.materials[subset.material];
        float alpha = subset_alpha(model, mesh, &material);
        if (alpha != 0.0f) queue_subset(model, mesh, material, subset, remaining, world, draw_flags, alpha);
        --remaining;
    }
    model_draw_end(model);
}

void model_draw_node_tree(Model& model, ModelNode* node, std::uint32_t draw_flags)
{
    if (!node) return;
    if (node->mesh) model_draw_mesh(model, *node->mesh, node->pose.world, draw_flags);
    for (ModelNode* child = node->child; child; child = child->sibling)
        model_draw_node_tree(model, child, draw_flags);
}

void model_queue_node_tree(Model& model, ModelNode* node, std::uint32_t draw_flags)
{
    if (!node) return;
    if (node->mesh) model_queue_mesh(model, *node->mesh, node->pose.world, draw_flags);
    for (ModelNode* child = node->child; child; child = child->sibling)
        model_queue_node_tree(model, child, draw_flags);
}

void model_draw_queued(const RqModelNodeItem& item)
{
    set_mesh_constants(*item.world);
    model_set_material_state(*item.model, *item.mesh, item.material, item.header.draw_flags,
                             item.material ? item.material->alpha : 1.0f);
    draw_subset(*item.subset);
    model_draw_end(*item.model);
}

void model_draw_triangles(std::span<RenderQueueItem* const> run)
{
    const auto& first = reinterpret_cast<const RqMeshItem&>(*run[0]);
    set_mesh_constants(*first.world);
    model_set_material_state(*first.model, *first.mesh, first.material, first.header.draw_flags,
                             first.material->alpha);
    DynamicBuffer& buffer = g_renderer_ibs[RIB_MESH];
    UINT count = static_cast<UINT>(3 * run.size());
    UINT start = 0;
    std::uint16_t* out = renderer_ib_lock_append(buffer, count, start);
    if (!out) return;
    for (RenderQueueItem* item : run)
        out = std::copy_n(reinterpret_cast<const RqMeshItem*>(item)->indices, 3, out);
    renderer_buffer_unlock(buffer);
    g_d3d_device->SetIndices(buffer.indices, 0);
    g_d3d_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, first.mesh->vertex_buffers[0].count, start,
                                       static_cast<UINT>(run.size()));
    model_draw_end(*first.model);
}

void renderer_quad_2d(const QuadRect& uv, const QuadRect& screen, D3DCOLOR color, ScreenVertex out[4])
{
    float x0 = screen.x, y0 = screen.y;
    float x1 = screen.x + screen.width, y1 = screen.y + screen.height;
    if (g_screen_scale.stretched) {
        x0 *= g_screen_scale.sx;
        x1 *= g_screen_scale.sx;
        y0 *= g_screen_scale.sy;
        y1 *= g_screen_scale.sy;
    }
    float u0 = uv.x, v0 = uv.y, u1 = uv.x + uv.width, v1 = uv.y + uv.height;
    out[0] = {x0, y0, 0.0f, 1.0f, color, u0, v0};
    out[1] = {x1, y0, 0.0f, 1.0f, color, u1, v0};
    out[2] = {x0, y1, 0.0f, 1.0f, color, u0, v1};
    out[3] = {x1, y1, 0.0f, 1.0f, color, u1, v1};
}

float math_ease(float x)
{
    if (x <= 0.0f) return 0.0f;
    if (x >= 1.0f) return 1.0f;
    float c = 1.0f / (1.0f - x);
    float d = 1.0f / x;
    return x * x * x * (c - 2.0f + d) + x * x * (3.0f - 2.0f * c - d) + x * c;
}
