// Every Direct3D state change of the game goes through the caches here, so that a state reaches
// the device only when it changes. Draw code sets whole MaterialFlags words. Also the device's
// default states and the shared dynamic buffers, appended with NOOVERWRITE and restarted with
// DISCARD so the CPU never waits for vertices in flight.
// The renderer_ names are the renderer's state layer; it sits here, below the renderer, because
// the vertex shaders and the device reset of this layer use it too.
#pragma once

#include "platform/d3d8.h"

#include <cstdint>

constexpr DWORD RS_CACHE_SIZE = 174; // indexed by the D3DRS number
constexpr DWORD RS_CACHE_INVALID = 0x7F7FFFFF;
constexpr DWORD TSS_CACHE_STAGES = 4;
constexpr DWORD TSS_CACHE_SIZE = 29; // indexed by the D3DTSS number
constexpr DWORD TSS_CACHE_INVALID = 0x7FFFFFFF;
constexpr DWORD VS_CACHE_INVALID = 0x7FFFFFFF;

// The packed render-state word of every draw call.
using MaterialFlags = std::uint32_t;
constexpr MaterialFlags MAT_COMBINE_MASK = 0x7; // combine modes 0-7
constexpr MaterialFlags MAT_DARKEN = 1u << 3;   // source ZERO, destination INVSRCCOLOR
constexpr int MAT_ALPHA_REF_SHIFT = 4;          // 2 bits: alpha reference 8, 96, 160, 248
constexpr MaterialFlags MAT_ALPHA_BLEND = 1u << 6;
// Source SRCALPHA, destination ONE; the additive fog colour, the unlit quad shader, no MSAA.
constexpr MaterialFlags MAT_ADDITIVE = 1u << 7;
constexpr MaterialFlags MAT_CULL_CCW = 1u << 8;
constexpr MaterialFlags MAT_FOG = 1u << 9;
constexpr MaterialFlags MAT_Z_TEST = 1u << 10;
constexpr MaterialFlags MAT_Z_WRITE = 1u << 11;
constexpr MaterialFlags MAT_ALPHA_ARG_TFACTOR = 1u << 12; // stage 0 alpha argument 2
constexpr MaterialFlags MAT_COLOR_ARG_TFACTOR = 1u << 13; // stage 0 colour argument 2
constexpr MaterialFlags MAT_ALPHA_TEST = 1u << 14;
constexpr MaterialFlags MAT_CULL_CW = 1u << 15; // wins over MAT_CULL_CCW
constexpr MaterialFlags MAT_ADDRESS_MIRROR = 1u << 16;
constexpr MaterialFlags MAT_ADDRESS_CLAMP = 1u << 17;   // wins over mirror
constexpr MaterialFlags MAT_ADDRESS1_MIRROR = 1u << 18; // stage 1 in combine mode 2
constexpr MaterialFlags MAT_ADDRESS1_CLAMP = 1u << 19;
constexpr MaterialFlags MAT_ANISOTROPY = 1u << 20;
constexpr int MAT_OP1_SHIFT = 24; // 4 bits: index into the operation table
constexpr int MAT_OP2_SHIFT = 28;

constexpr std::uint32_t MATERIAL_INVALID = 0xFFFFFFFF;
// The word last applied; callers compare before they call renderer_set_material_state.
extern std::uint32_t g_current_material;

// Every cache entry invalid and the textures of stages 0-3 unbound on the device; the material
// becomes invalid too.
void renderer_invalidate_state_cache();
// The device defaults after every creation and reset. The caches are invalidated first, since
// the device has just taken its own defaults.
void renderer_default_states();
void renderer_set_material_state(MaterialFlags word);

void d3d_set_render_state_cached(D3DRENDERSTATETYPE state, DWORD value);
void d3d_set_stage_state_cached(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value);
void d3d_set_texture_cached(DWORD stage, IDirect3DBaseTexture8* texture);
// Only stream 0 is cached; other streams go straight to the device.
void d3d_set_stream_source_cached(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride);
// A shader handle or an FVF code.
void d3d_set_vertex_shader_cached(DWORD handle);
void d3d_draw_primitive(D3DPRIMITIVETYPE type, UINT start, UINT count);

// The six combine states (colour op, args 1 and 2, alpha op, args 1 and 2) of up to 4 stages.
struct StageStateSave {
    DWORD states[TSS_CACHE_STAGES][6];
};
void renderer_save_stage_states(DWORD highest_stage, StageStateSave& save);
void renderer_restore_stage_states(DWORD highest_stage, const StageStateSave& save);

// A shared dynamic vertex or index buffer with its append position.
struct BufferDesc {
    D3DFORMAT format;
    D3DRESOURCETYPE type;
    DWORD usage;
    D3DPOOL pool;
    UINT size; // bytes
    DWORD fvf; // vertex buffers only
};
struct DynamicBuffer {
    IDirect3DVertexBuffer8* vertices; // one of the two is set
    IDirect3DIndexBuffer8* indices;
    BufferDesc desc;
    UINT stride;   // bytes per element
    UINT capacity; // elements (vertices or 16-bit indices)
    UINT position; // elements
    bool locked;
    bool discard_next; // set at creation, so the first lock discards
};

struct VertexBufferLayout {
    DWORD fvf;
    UINT stride;
    UINT capacity;
};

// The renderer's shared buffers, created with the device objects.
enum RendererVertexBuffer {
    RVB_WORLD_COLOR,     // XYZ | DIFFUSE
    RVB_BATCH,           // XYZ | DIFFUSE | TEX1: the world-space triangle batches
    RVB_WORLD_QUAD,      // XYZ | DIFFUSE | SPECULAR | TEX1
    RVB_WORLD_NORMAL,    // XYZ | NORMAL | DIFFUSE | SPECULAR | TEX1
    RVB_SCREEN_COLOR,    // XYZRHW | DIFFUSE | SPECULAR
    RVB_SCREEN_TEX,      // XYZRHW | DIFFUSE | TEX1
    RVB_SCREEN_SPEC_TEX, // XYZRHW | DIFFUSE | SPECULAR | TEX1
    RVB_SCREEN_TEX2,     // XYZRHW | DIFFUSE | SPECULAR | TEX2
    RVB_COUNT
};
enum RendererIndexBuffer {
    RIB_MESH,       // dynamic
    RIB_SEQUENTIAL, // 0 .. 2047
    RIB_QUADS,      // 512 quads of 4j, 4j+1, 4j+2, 4j+2, 4j+1, 4j+3
    RIB_ZOOM_FAN,
    RIB_COUNT
};
extern const VertexBufferLayout g_renderer_vb_layouts[RVB_COUNT];
extern const UINT g_renderer_ib_capacities[RIB_COUNT];
extern DynamicBuffer g_renderer_vbs[RVB_COUNT];
extern DynamicBuffer g_renderer_ibs[RIB_COUNT];

// DYNAMIC | WRITEONLY; for software vertex processing also SOFTWAREPROCESSING in system memory,
// else in the default pool. The record is cleared first; on failure it stays empty.
HRESULT renderer_create_vertex_buffer(DynamicBuffer& buffer, const VertexBufferLayout& layout);
// 16-bit indices. Dynamic ones as vertex buffers; static ones write-only in the managed pool
// (system memory for software vertex processing).
HRESULT renderer_create_index_buffer(DynamicBuffer& buffer, UINT capacity, bool dynamic);
// Unlocks when locked, releases, and clears the record.
void renderer_release_buffer(DynamicBuffer& buffer);

// Lock room for `count` elements: restarts at 0 with DISCARD when the discard-next flag is set
// or the elements would reach the capacity, else NOOVERWRITE at the position. Returns the
// write pointer and the first element's index, or null when the lock fails or `count` exceeds
// the capacity; then nothing changes and the caller skips its draw.
void* renderer_vb_lock_append(DynamicBuffer& buffer, UINT count, UINT& start);
std::uint16_t* renderer_ib_lock_append(DynamicBuffer& buffer, UINT count, UINT& start);
void renderer_buffer_unlock(DynamicBuffer& buffer);
// Appends `count` vertices of the buffer's own stride: lock, copy, unlock. False when nothing
// was appended.
bool renderer_vb_upload(UINT count, DynamicBuffer& buffer, const void* vertices, UINT& start);

// Each selects a buffer as stream 0 and its vertex shader (a handle or an FVF code) through the
// caches, and returns the buffer.
DynamicBuffer& renderer_use_vb_shader24(); // the batch buffer, plain textured shader
DynamicBuffer& renderer_use_vb_shader28(); // the world-quad buffer, specular textured shader
DynamicBuffer& renderer_use_vb_rhw_color();
DynamicBuffer& renderer_use_vb_rhw_tex();
DynamicBuffer& renderer_use_vb_rhw_tex2(); // the screen textured specular buffer
