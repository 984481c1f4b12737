// The render queue. Nothing draws while the world updates: each object's update queues draw items
// in one of 14 rows, and once per frame the renderer sorts every row by its two keys and draws
// the rows 0 to 13 in order. Consecutive quads with the same first key go out in one draw call.
// The world-space triangle batches are drawn after row 5 and the full-screen passes after row 12,
// so row 13 is the 2-D layer on top. An optional pre-pass draws rows 0 to 11 a first time into
// the pre-pass target.
//
// Row capacities count every item at its size in the 32-bit layout the game was made for
// (callback 36, model node 32, quad 28, mesh triangle 52 bytes), so a row holds the same number
// of items whatever the pointer size; the row buffer stores the items in their native layout.
#pragma once

#include "lowlv/d3d/d3d_state.h"
#include "platform/d3d8.h"
#include "platform/d3dx8.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

constexpr int RQ_ROW_COUNT = 14;
constexpr int RQ_ROW_WORLD_BATCHES = 5;  // the triangle batches follow this row
constexpr int RQ_ROW_MESHES = 11;        // translucent mesh triangles, sorted by depth
constexpr int RQ_ROW_SCREEN_PASSES = 12; // the full-screen passes follow this row
constexpr int RQ_ROW_PREPASS_LAST = 11;
constexpr std::uint32_t RQ_MAX_ITEMS = 4096; // per row and frame, in walking order
constexpr std::uint32_t RQ_QUAD_BATCH_MAX = 128;
constexpr std::uint32_t RQ_MESH_BATCH_MAX = 682;
constexpr std::uint32_t RQ_SERIAL_START = 273;

// Row 13's layers in the top byte of key0.
constexpr std::uint32_t RQ_LAYER_FPS = 0x01000000;
constexpr std::uint32_t RQ_LAYER_POINTER = 0x02000000;
constexpr std::uint32_t RQ_LAYER_HUD = 0x07000001;
constexpr std::uint32_t RQ_LAYER_DARKNESS = 0x0E000000;

enum RqSortMode : std::uint32_t {
    RQ_SORT_KEY0 = 0, // key0 descending, ties by key1 descending
    RQ_SORT_KEY1 = 1, // key1 descending, ties by key0 descending
};

// One row of the start-up table (EngineParams field 10).
struct RenderQueueRowDef {
    std::uint32_t sort_mode;
    std::uint32_t capacity; // bytes of the 32-bit layout
};
static_assert(sizeof(RenderQueueRowDef) == 8);

// The rows the game starts the renderer with.
inline constexpr RenderQueueRowDef RQ_GAME_ROWS[RQ_ROW_COUNT] = {
    {0, 32}, {0, 32},   {0, 32},    {0, 32},   {1, 40},     {0, 16384}, {1, 16384},
    {0, 32}, {0, 8192}, {1, 20480}, {1, 2048}, {1, 245760}, {1, 1280},  {0, 5120},
};

enum RqItemType : std::uint8_t {
    RQ_TYPE_CALLBACK = 0,
    RQ_TYPE_MODEL_NODE = 1,
    RQ_TYPE_QUAD = 2,
    RQ_TYPE_MESH = 3,
    RQ_TYPE_COUNT
};

// Sizes in the 32-bit layout; an item may be asked for larger, the rest is the caller's.
constexpr std::uint8_t RQ_SIZE_CALLBACK = 36;
constexpr std::uint8_t RQ_SIZE_MODEL_NODE = 32;
constexpr std::uint8_t RQ_SIZE_QUAD = 28;
constexpr std::uint8_t RQ_SIZE_MESH = 52;

// Every item starts with this header. The typed records below begin with it, so a header
// pointer converts to its record with reinterpret_cast.
struct RenderQueueItem {
    std::uint32_t key0; // the low 24 bits of a draw serial, or a row-13 layer
    std::int32_t key1;  // the depth key of depth-sorted items
    std::uint8_t size;  // the whole item in the 32-bit layout
    std::uint8_t type;  // RqItemType
    std::uint8_t reserved;
    std::uint8_t draw_flags; // model items: the low byte of the model draw flags
};
static_assert(sizeof(RenderQueueItem) == 12);

using RqCallback = void (*)(RenderQueueItem* item, void* user);

struct RqCallbackItem {
    RenderQueueItem header;
    RqCallback callback;
    void* user; // as a rule the game object
    std::uint8_t extra[16];
};

struct Model;
struct ModelMesh;
struct ModelMaterial;
struct MeshSubset;

struct RqModelNodeItem {
    RenderQueueItem header;
    Model* model;
    ModelMesh* mesh;
    ModelMaterial* material;
    MeshSubset* subset;
    const D3DXMATRIX* world;
};

// Position, diffuse, specular, u, v: the world-quad buffer's layout.
struct QuadVertex {
    float x, y, z;
    D3DCOLOR diffuse;
    D3DCOLOR specular;
    float u, v;
};
static_assert(sizeof(QuadVertex) == 28);

// Four vertices in strip order: two corners of one edge, then the two of the opposite edge.
struct RqQuadItem {
    RenderQueueItem header;
    MaterialFlags material;
    const D3DXMATRIX* world;    // never null
    IDirect3DTexture8* texture; // may be null
    const QuadVertex* vertices; // four, never null
};

// One triangle of a model mesh.
struct RqMeshItem {
    RenderQueueItem header;
    MaterialFlags material_word; // written by model drawing, not read by the queue
    Model* model;
    ModelMesh* mesh;
    ModelMaterial* material; // its fourth float is the alpha
    MeshSubset* subset;
    const D3DXMATRIX* world;
    std::uint16_t indices[3];
};

struct RenderQueueRow {
    std::unique_ptr<std::byte[]> buffer; // the items back to back in their native layout
    std::uint32_t capacity;              // bytes of the 32-bit layout
    std::uint32_t used;                  // bytes of the 32-bit layout
    std::uint32_t sort_mode;             // RqSortMode
    std::size_t buffer_used;             // bytes of the buffer
};

extern RenderQueueRow g_rq_rows[RQ_ROW_COUNT];
extern std::uint32_t g_rq_serial; // the running draw serial; RQ_SERIAL_START at each frame start

// Allocates every row's buffer from the table; false when memory runs out (nothing is kept).
bool rq_create_rows(std::span<const RenderQueueRowDef, RQ_ROW_COUNT> rows);
void rq_free_rows();
// Empties every row.
void rq_clear_rows();

// Reserves `size` bytes (32-bit layout) at the end of the row and returns the item with its
// size and type written and the rest zero, or null when the row has no room (the caller drops
// the draw for this frame), for a row out of range, an unknown type, or a size below the
// type's or above 255.
RenderQueueItem* rq_alloc(int row, RqItemType type, std::uint32_t size);
// Reserves up to `count` consecutive mesh-triangle items in row 11, lowering `count` to what
// fits; null when none fits.
RqMeshItem* rq_alloc_meshes(std::uint32_t& count);

// The next draw serial for key0 (its low 24 bits); the serial advances.
std::uint32_t rq_next_serial();
// A float truncated to a 32-bit key as the x86 conversion does it: out of range or NaN gives
// INT32_MIN.
std::int32_t rq_float_to_key(float value);
// key1 of a depth-sorted item: the squared eye distance times 10000, truncated.
std::int32_t rq_depth_key(float squared_distance);

// Sorts by the row's mode, larger items first; a key is larger when the wrap-around difference
// of the two 32-bit keys is positive. Quicksort with the middle element as pivot, parts of 8 or
// fewer finished by an insertion sort that keeps equal items in their order.
void rq_sort(std::span<RenderQueueItem*> items, std::uint32_t sort_mode);

// Sorts the row and draws its items, batching runs of quads and mesh triangles. In the pre-pass
// the walk stops as soon as g_frame_effects.prepass_active is cleared (a queued callback may do
// so); the items stay for the main pass.
void rq_draw_row(int row, bool prepass);

// The world-quad path's shared setup: the material's quad shader, a white texture factor, the
// world matrix and the world-quad buffer on stream 0. Returns that buffer for the caller's
// vertices.
DynamicBuffer& rq_begin_world_quads(std::uint32_t material, const D3DXMATRIX& world);
