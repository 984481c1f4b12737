// Models: a tree of named nodes, meshes in Direct3D vertex and index buffers with subsets and
// bone palettes, materials with three textures and texture-coordinate animation, keyframe tracks,
// named animation ranges and points that follow nodes. Loaded from ".qmo" files (nearly always
// packed as ".z" in the archive) and shared through the resource manager's model pool. Each user
// that animates a model owns a ModelInstance with its own animation state and, if asked, its own
// copies of the posed nodes, the points and the materials.
//
// The in-memory records differ from the file images where the file holds 32-bit pointer slots:
// bound textures, palettes, buffers, kept copies and centres live beside the records here.
#pragma once

#include "lowlv/d3d/d3d_state.h"
#include "platform/d3d8.h"
#include "platform/d3dx8.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_queue.h"
#include "scenegraph/resrc_mgr.h"

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

constexpr std::uint32_t QMO_VERSION = 9;
constexpr std::size_t MODEL_NAME_SIZE = 8; // 7 characters and a terminator, or 8 without one
constexpr int MODEL_TEXTURES = 3;
constexpr int MODEL_MAX_TREE_DEPTH = 256; // first-child links from the root
constexpr std::uint32_t MODEL_MAX_BONES_PER_VERTEX = 4;

// Load flags.
constexpr std::uint32_t MODEL_LOAD_WRITE_ONLY = 0x1;
constexpr std::uint32_t MODEL_LOAD_KEEP_VERTICES = 0x2;
constexpr std::uint32_t MODEL_LOAD_KEEP_INDICES = 0x4;
constexpr std::uint32_t MODEL_LOAD_CENTRES = 0x8; // needs both copies

// Material bits.
constexpr std::uint32_t MODEL_MAT_SORT = 0x1;
constexpr std::uint32_t MODEL_MAT_UV_ANIM = 0x2;
constexpr std::uint32_t MODEL_MAT_LATE = 0x4;
constexpr std::uint32_t MODEL_MAT_SORT_ALWAYS = 0x8; // sorted even with "SortAlphaTexture" off
constexpr std::uint32_t MODEL_MAT_HIDDEN = 0x10;
constexpr std::uint32_t MODEL_MAT_WATER = 0x20;
constexpr std::uint32_t MODEL_MAT_WIND = 0x40;
constexpr std::uint32_t MODEL_MAT_PLAIN = 0x80;
constexpr std::uint32_t MODEL_MAT_SPHERE = 0x100;
constexpr MaterialFlags MODEL_MATERIAL_FLAG = 0x100000; // model_set_material_flag

// Range `next` values.
constexpr std::int32_t MODEL_RANGE_HOLD = -1;
constexpr std::int32_t MODEL_RANGE_LOOP = -2;
constexpr std::uint32_t MODEL_END_OFFSET_NONE = 0xFFFFFFFF; // model_anim_play: play to the end

// Instance flags and state bits.
constexpr std::uint32_t MODEL_INST_RANGES = 0x1;
constexpr std::uint32_t MODEL_INST_POSES = 0x2;
constexpr std::uint32_t MODEL_INST_MATERIALS = 0x4;
constexpr std::uint32_t MODEL_INST_POINTS = 0x8;
constexpr std::uint32_t MODEL_STATE_ENDED = 0x1;
constexpr std::uint32_t MODEL_STATE_BLENDING = 0x2;

// Mesh vertex-format codes (shader choice in model drawing).
constexpr std::uint32_t MODEL_FORMAT_SKINNED = 106;

struct ModelHeader {
    char magic[4];
    std::uint32_t version;
    std::uint8_t unread0[12];
    std::uint32_t material_count;
    std::uint32_t range_count;
    std::uint32_t mesh_count;
    std::uint32_t node_count;
    std::uint32_t track_count;
    std::uint32_t unread1;
    std::uint32_t point_count;
    std::uint8_t unread2[8];
    std::uint32_t flags; // bit 0: two extra floats follow the points
    std::uint8_t unread3[64];
    char collision_names[3][80]; // companion collision models A, B, C; empty: none
    std::uint8_t unread4[4];
};
static_assert(sizeof(ModelHeader) == 368);

struct ModelRange {
    std::uint32_t start;
    std::uint32_t length;
    std::int32_t next; // MODEL_RANGE_HOLD, MODEL_RANGE_LOOP or a range index
    float speed;       // keys per tick
    float blend_rate;  // per tick
    std::uint8_t unread[44];
};
static_assert(sizeof(ModelRange) == 64);

// Kept as in the file so instances copy it whole; the bound textures are Model::textures.
struct ModelMaterial {
    std::uint32_t bits;
    D3DCOLOR color;
    MaterialFlags word;
    float alpha;
    std::uint8_t unread0[8];
    float values[4]; // written by the texture-coordinate animation; c2 at draw time
    struct {
        float base, phase;
    } channels[4];
    struct {
        float rate, amplitude, frequency, unused;
    } constants[4];
    std::uint32_t texture_slots[MODEL_TEXTURES]; // null in the file, never used
    char texture_names[MODEL_TEXTURES][80];
};
static_assert(sizeof(ModelMaterial) == 388);

// The animated part of a node, which instances snapshot.
struct ModelPose {
    D3DXMATRIX world;
    D3DXMATRIX local;
    D3DXVECTOR3 scale;
    D3DXVECTOR3 translation;
    D3DXQUATERNION rotation;
    D3DXVECTOR3 prev_scale;
    D3DXVECTOR3 prev_translation;
    D3DXQUATERNION prev_rotation;
};
static_assert(sizeof(ModelPose) == 208);

struct ModelMesh;

struct ModelNode {
    char name[MODEL_NAME_SIZE];
    char child_name[MODEL_NAME_SIZE];
    char sibling_name[MODEL_NAME_SIZE];
    char parent_name[MODEL_NAME_SIZE];
    char mesh_name[MODEL_NAME_SIZE];
    ModelPose pose;
    D3DXMATRIX inverse_bind;
    D3DXVECTOR3 default_translation;
    D3DXQUATERNION extra_rotation; // turned on top of the animation by its weight
    float extra_weight;
    ModelNode* child;
    ModelNode* sibling;
    ModelNode* parent;
    ModelMesh* mesh;
};

struct MeshSubset {
    std::uint32_t material;
    std::uint32_t first_triangle;
    std::uint32_t triangle_count;
    std::uint32_t lowest_vertex;
    std::uint32_t vertex_count;
    const std::int32_t* palette; // palette size bone indices, -1 unused
};

struct MeshVertexBuffer {
    IDirect3DVertexBuffer8* buffer; // null when creation failed
    std::uint32_t count;
    DWORD fvf;
    std::uint32_t stride;
    std::vector<std::uint8_t> copy; // load flag 0x2
};

struct MeshIndexBuffer {
    IDirect3DIndexBuffer8* buffer;
    std::uint32_t count;
    D3DFORMAT format;
    std::uint32_t element_size;
    std::vector<std::uint8_t> copy;   // load flag 0x4
    std::vector<D3DXVECTOR3> centres; // load flag 0x8: one per triangle
};

struct ModelMesh {
    D3DXVECTOR3 centre; // bounding sphere in node space
    float radius;
    float kept[6];
    std::uint32_t palette_size;
    std::uint32_t bones_per_vertex; // 1-4 for skinned meshes
    char name[MODEL_NAME_SIZE];
    std::uint32_t format;          // vertex-format code
    float alpha_factor;            // 1.0 after load
    std::vector<ModelNode*> bones; // null: a name not found, an unused palette slot
    std::vector<MeshSubset> subsets;
    std::vector<std::int32_t> palettes; // subset-major
    std::vector<MeshVertexBuffer> vertex_buffers;
    std::vector<MeshIndexBuffer> index_buffers;

    bool skinned() const { return !bones.empty(); }
};

struct SrtKey {
    float time;
    D3DXVECTOR3 scale;
    D3DXQUATERNION rotation;
    D3DXVECTOR3 translation;
};
static_assert(sizeof(SrtKey) == 44);
struct ScaleKey {
    D3DXVECTOR3 value;
    float time;
};
struct RotationKey {
    D3DXQUATERNION value;
    float time;
};
static_assert(sizeof(RotationKey) == 20);
struct TranslationKey {
    D3DXVECTOR3 value;
    float time;
};
struct MatrixKey {
    D3DXMATRIX matrix;
    float time;
    std::uint8_t unread[12];
};
static_assert(sizeof(MatrixKey) == 80);

// Exactly one layout holds keys: matrix, else SRT, else the separate kinds.
struct ModelTrack {
    char node_name[MODEL_NAME_SIZE];
    ModelNode* node; // null when not found: the track is not sampled
    std::vector<SrtKey> srt;
    std::vector<ScaleKey> scale;
    std::vector<RotationKey> rotation;
    std::vector<TranslationKey> translation;
    std::vector<MatrixKey> matrix;
};

struct ModelPoint {
    char node_name[MODEL_NAME_SIZE];
    std::uint32_t values[4]; // kept for the users
    float weight;            // pulls toward a neighbour node (signed)
    float radius;            // updated only while above 0
    std::uint32_t value;     // kept
    D3DXVECTOR3 position;
    ModelNode* node;
};

struct alignas(16) Model {
    D3DXMATRIX transform; // the model-to-world matrix of the last animation update
    ModelHeader header;
    std::vector<ModelRange> ranges;
    std::vector<ModelMaterial> materials;
    std::vector<IDirect3DTexture8*> textures; // MODEL_TEXTURES per material, null when unbound
    std::vector<ModelNode> nodes;             // the first is the root
    std::vector<ModelMesh> meshes;
    std::vector<ModelTrack> tracks;
    std::vector<ModelPoint> points;
    std::uint32_t load_flags;
    std::uint8_t keep_mode;
    float fade; // 1.0 after load
    float extra[2];
    // Per draw: set by model drawing and by the caller, cleared by model_draw_end.
    bool c2_set;
    bool stream_pair_set;
    std::uint32_t stream_pair[2];

    IDirect3DTexture8* texture(std::size_t material, int slot) const
    {
        return textures[material * MODEL_TEXTURES + static_cast<std::size_t>(slot)];
    }
};

struct ModelInstance {
    D3DXMATRIX model_to_world;
    Model* model;
    std::uint32_t flags;
    std::uint32_t range;
    float time;
    float range_start;
    float range_end;
    float stop_time;
    float blend_weight;
    std::uint32_t state;
    std::span<const ModelRange> ranges;   // flag 0x1
    D3DXMATRIX transform;                 // flag 0x2: the model's transform at the update
    std::vector<ModelPose> poses;         // flag 0x2
    std::vector<D3DXVECTOR3> points;      // flag 0x8
    std::vector<ModelMaterial> materials; // flag 0x4
};

// ---- Loading -----------------------------------------------------------------------------------
// The model pool's loader: "<name>.z" when the archive has it, else the name as given; the
// load flags are the parameters' model flags.
HRESULT model_load_resource(ResourceRecord& record, const ResrcLoadParams& params);
void model_destroy_resource(ResourceRecord& record);
// Installs the two above as the model pool's loader.
void model_register_loader();

// A ".z" path from the archive, else from disk; then the parse and the textures.
HRESULT model_load_file(Model& model, const char* path, std::uint8_t keep_mode, std::uint32_t load_flags);
// 0, ERR_UNKNOWN_FORMAT (magic), ERR_UNMATCHED_VERSION, or ERR_UNSUPPORTED_FORMAT for a count,
// size or index the data cannot hold, an animation range past the longest track's keys, or a
// vertex format with more texture-coordinate sets than a vertex may have; on failure the model
// is freed.
HRESULT model_parse(Model& model, std::span<const std::uint8_t> data, std::uint8_t keep_mode,
                    std::uint32_t load_flags);
// Loads the material's textures relative to the folder (which ends with its separator).
void model_bind_textures(Model& model, std::size_t material, std::string_view folder);
// Releases the textures, the buffers and the arrays, and zeroes the model.
void model_free(Model& model);

ModelNode* model_find_node(Model& model, std::string_view name);
ModelMesh* model_find_mesh(Model& model, std::string_view name);
const D3DXMATRIX* model_find_node_matrix(Model& model, std::string_view name);
void model_set_material_flag(Model& model);

// ---- Animation ---------------------------------------------------------------------------------
void model_instance_init(ModelInstance& instance, Model& model, std::uint32_t flags);
void model_instance_free(ModelInstance& instance);
// Returns the range's start key (0 without ranges, when nothing happens).
std::uint32_t model_anim_play(ModelInstance& instance, std::uint32_t range, bool blend,
                              std::uint32_t start_offset, std::uint32_t end_offset);
// Clamped to the current range.
void model_anim_set_time(ModelInstance& instance, float time);
void model_anim_advance(ModelInstance& instance, float ticks);
void model_instance_update(ModelInstance& instance, const D3DXMATRIX& model_to_world,
                           const D3DXMATRIX& root_local);
void model_save_prev_pose(Model& model);
// Samples every track at the time within keys [first_frame, first_frame + frame_count - 1],
// blends toward the previous pose by the weight, and poses the world matrices from the root.
void model_apply_animation(Model& model, std::uint32_t frame_count, std::uint32_t first_frame, float time,
                           float blend_weight, const D3DXMATRIX& model_to_world,
                           const D3DXMATRIX& root_local);
void model_update_points(Model& model);

// ---- Drawing ---------------------------------------------------------------------------------------
// Draw flags (the low byte travels in queue items).
constexpr std::uint32_t MODEL_DRAW_PLAIN = 0x2;        // force material bit 0x80
constexpr std::uint32_t MODEL_DRAW_CULL = 0x8;         // cull each mesh by its bounding sphere
constexpr std::uint32_t MODEL_DRAW_SPHERE = 0x100;     // force material bit 0x100
constexpr std::uint32_t MODEL_DRAW_BUMP = 0x200;       // the skinned "sb" variants
constexpr std::uint32_t MODEL_DRAW_STEALTH = 0x400;    // the pre-pass texture as the first texture
constexpr MaterialFlags MODEL_SORTED_WORD_BIT = 0x800; // set in the word of per-triangle items
constexpr DWORD MODEL_VSC_PALETTE = 24;                // three registers per palette slot
constexpr DWORD MODEL_VSC_WATER_WIND = 32;

// Renderer state model drawing reads that the scene change (textures from the game image table)
// and the game tick (effect time, wind) set. The cover texture is g_frame_effects.cover_texture.
struct ModelSceneState {
    IDirect3DTexture8* gloss_texture; // image-table entry 39
    IDirect3DTexture8* bump_texture;  // image-table entry 40
    float effect_time;
    D3DXVECTOR4 wind;
};
extern ModelSceneState g_model_scene;

// The node's mesh at its world matrix, then its first child and that child's siblings, deeper.
void model_draw_node_tree(Model& model, ModelNode* node, std::uint32_t draw_flags);
// The same walk, queueing what the queue should order.
void model_queue_node_tree(Model& model, ModelNode* node, std::uint32_t draw_flags);
void model_draw_mesh(Model& model, ModelMesh& mesh, const D3DXMATRIX& world, std::uint32_t draw_flags);
// Rigid meshes of models with materials go through the queue by their material bits; skinned
// meshes are drawn at once.
void model_queue_mesh(Model& model, ModelMesh& mesh, const D3DXMATRIX& world, std::uint32_t draw_flags);
// The render queue's callbacks: a type-1 item, and a run of type-3 items with one key0.
void model_draw_queued(const RqModelNodeItem& item);
void model_draw_triangles(std::span<RenderQueueItem* const> run);
// Streams, indices, shader, word, texture factor, textures and c2 of one subset.
void model_set_material_state(Model& model, const ModelMesh& mesh, const ModelMaterial* material,
                              std::uint32_t draw_flags, float alpha);
// c2 back to zero when the model set it; the per-draw stream pair is dropped.
void model_draw_end(Model& model);

struct QuadRect {
    float x, y, width, height;
};
// Four pre-transformed vertices in strip order (left-top, right-top, left-bottom, right-bottom)
// for a rectangle of the 640x480 virtual screen, scaled to the back buffer when stretched.
void renderer_quad_2d(const QuadRect& uv, const QuadRect& screen, D3DCOLOR color, ScreenVertex out[4]);
// Kept beside the animation blend, its only user; named with the maths it extends.
// 3x^2 - 2x^3 in the game's single-precision form; 0 at x <= 0 and 1 at x >= 1.
float math_ease(float x);
