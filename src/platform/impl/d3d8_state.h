// The Direct3D 8 stand-in's own records of a device, which its backend and tests read: the
// state a draw depends on, the draws and how often each call reached the device, the vertex
// shaders it made, the interface of the backend that mirrors it all to real hardware, and the
// stand-in's view of the platform's objects.
#pragma once

#include "platform/d3d8.h"
#include "platform/d3d8_format.h"

#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

struct D3DStreamBinding {
    IDirect3DVertexBuffer8* buffer = nullptr;
    UINT stride = 0;
};

// One vertex register fed by a declaration: its stream, type and byte offset in the stream.
struct D3DVertexElement {
    DWORD stream;
    DWORD vertex_register;
    DWORD type; // D3DVSDT_*
    DWORD offset;
};

// A created vertex shader: the declaration through its end token, the byte code through its
// end token, the elements the declaration feeds, the constants it loads.
struct D3DVertexShader {
    DWORD handle = 0;
    DWORD usage = 0;
    std::vector<DWORD> declaration;
    std::vector<DWORD> function;
    std::vector<D3DVertexElement> elements;
    std::vector<std::pair<DWORD, std::array<float, 4>>> declared_constants;
};

// Everything a draw depends on; a backend reads it, tests inspect it.
struct D3DDeviceState {
    DWORD render[D3D_RENDER_STATE_COUNT];
    DWORD stage[D3D_MAX_TEXTURE_STAGES][D3D_STAGE_STATE_COUNT];
    IDirect3DBaseTexture8* textures[D3D_MAX_TEXTURE_STAGES];
    D3DStreamBinding streams[D3D_MAX_STREAMS];
    IDirect3DIndexBuffer8* indices;
    UINT base_vertex;
    DWORD vertex_shader; // a handle (bit 0 set) or an FVF code; 0 = none
    float vs_constants[D3D_VS_CONSTANT_REGISTERS][4];
    D3DVIEWPORT8 viewport;
    IDirect3DSurface8* render_target;
    IDirect3DSurface8* depth_stencil;
    D3DGAMMARAMP gamma_ramp;
    DWORD gamma_flags;
    BOOL cursor_shown; // the device's own cursor; the game never sets one, it only hides it
    bool in_scene;
};

struct D3DDrawCall {
    D3DPRIMITIVETYPE type;
    bool indexed;
    UINT start; // first vertex, or first index when indexed
    UINT primitive_count;
    UINT min_index;    // indexed only
    UINT vertex_count; // indexed only
};

// How often each device call reached the device (tests count redundant state changes).
struct D3DCallCounts {
    std::uint64_t render_states = 0;
    std::uint64_t stage_states = 0;
    std::uint64_t textures = 0;
    std::uint64_t vertex_shaders = 0;
    std::uint64_t stream_sources = 0;
    std::uint64_t indices = 0;
    std::uint64_t vs_constants = 0;
    std::uint64_t draws = 0;
    std::uint64_t clears = 0;
    std::uint64_t scenes = 0;
    std::uint64_t presents = 0;
    std::uint64_t locks = 0;
    std::uint64_t resets = 0;
    std::uint64_t render_targets = 0;
    std::uint64_t gamma_ramps = 0;
};

// What a lock covers, kept until the unlock hands it to the backend.
struct D3DLockRecord {
    UINT depth = 0; // buffers may be locked again before they are unlocked
    DWORD flags = 0;
    UINT offset = 0; // buffers: bytes
    UINT size = 0;
    RECT rect{};    // surfaces: pixels
    UINT count = 0; // locks so far
    bool locked() const { return depth > 0; }
};

// What IDirect3DDevice8 keeps of these.
struct D3D8DeviceRecord {
    D3DDeviceState state{};
    D3DCallCounts counts;
};

// ---- Backend -----------------------------------------------------------------------------------
// Mirrors the device to real hardware. The device calls it after its own bookkeeping; results
// of the HRESULT calls are passed to the caller.
class D3D8Backend {
public:
    virtual ~D3D8Backend() = default;
    // After creation's and every Reset's checks. The swap chain's surfaces (back_buffer,
    // front_buffer, auto_depth_stencil) exist already; they are not announced as resources.
    virtual HRESULT reset(IDirect3DDevice8& device, const D3DPRESENT_PARAMETERS& params) = 0;
    virtual void resource_created(IDirect3DResource8& resource) = 0;
    virtual void resource_destroyed(IDirect3DResource8& resource) = 0;
    // Buffers report their byte range, surfaces their rectangle, in the lock record.
    virtual void resource_unlocked(IDirect3DResource8& resource, const D3DLockRecord& lock) = 0;
    // Before a lock of a surface the GPU may have drawn into: brings its pixels into memory.
    virtual void read_back(IDirect3DSurface8& surface) = 0;
    virtual void shader_created(const D3DVertexShader& shader) = 0;
    virtual void shader_deleted(const D3DVertexShader& shader) = 0;
    virtual void clear(const D3DDeviceState& state, DWORD count, const D3DRECT* rects, DWORD flags,
                       D3DCOLOR color, float z, DWORD stencil) = 0;
    virtual void draw(const D3DDeviceState& state, const D3DDrawCall& call) = 0;
    virtual HRESULT present(const D3DDeviceState& state) = 0;
    virtual void gamma_changed(const D3DGAMMARAMP& ramp, DWORD flags) = 0;
};

// Makes the backend of a new device (null: state only). Set by the backend's module.
using D3D8BackendFactory = std::unique_ptr<D3D8Backend> (*)(IDirect3DDevice8& device);
void d3d8_set_backend_factory(D3D8BackendFactory factory);

// ---- The objects as the stand-in sees them -----------------------------------------------------
// Friends of the platform's classes: what the backend mirrors and tests inspect.
inline IDirect3DDevice8& d3d8_resource_device(const IDirect3DResource8& resource)
{
    return *resource.m_device;
}
inline D3DPOOL d3d8_resource_pool(const IDirect3DResource8& resource)
{
    return resource.m_pool;
}
// The application's references; a texture's levels count through their texture.
ULONG d3d8_ref_count(const IDirect3DResource8& resource);
// The backend's mirror of the resource.
inline void* d3d8_backend_object(const IDirect3DResource8& resource)
{
    return resource.m_backend_object;
}
inline void d3d8_set_backend_object(IDirect3DResource8& resource, void* object)
{
    resource.m_backend_object = object;
}

inline const D3DSURFACE_DESC& d3d8_surface_desc(const IDirect3DSurface8& surface)
{
    return surface.m_desc;
}
inline UINT d3d8_surface_pitch(const IDirect3DSurface8& surface)
{
    return surface.m_pitch;
}
inline std::uint8_t* d3d8_surface_bits(IDirect3DSurface8& surface)
{
    return surface.m_bits.data();
}
inline const std::uint8_t* d3d8_surface_bits(const IDirect3DSurface8& surface)
{
    return surface.m_bits.data();
}
inline const D3DLockRecord& d3d8_lock_record(const IDirect3DSurface8& surface)
{
    return surface.m_lock;
}
// The texture a level belongs to, null for a surface of its own.
inline IDirect3DTexture8* d3d8_surface_container(const IDirect3DSurface8& surface)
{
    return surface.m_texture;
}
inline UINT d3d8_surface_level(const IDirect3DSurface8& surface)
{
    return surface.m_level;
}

inline IDirect3DSurface8& d3d8_texture_level(const IDirect3DTexture8& texture, UINT level)
{
    return *texture.m_levels[level];
}
inline D3DFORMAT d3d8_texture_format(const IDirect3DTexture8& texture)
{
    return texture.m_format;
}

template <typename Desc> const Desc& d3d8_buffer_desc(const D3DBuffer8<Desc>& buffer)
{
    return buffer.m_desc;
}
template <typename Desc> const std::uint8_t* d3d8_buffer_data(const D3DBuffer8<Desc>& buffer)
{
    return buffer.m_data.data();
}
template <typename Desc> const D3DLockRecord& d3d8_lock_record(const D3DBuffer8<Desc>& buffer)
{
    return buffer.m_lock;
}

inline const D3DDeviceState& d3d8_device_state(const IDirect3DDevice8& device)
{
    return device.m_state;
}
inline const D3DPRESENT_PARAMETERS& d3d8_present_parameters(const IDirect3DDevice8& device)
{
    return device.m_params;
}
inline DWORD d3d8_behavior_flags(const IDirect3DDevice8& device)
{
    return device.m_flags;
}
inline IDirect3D8& d3d8_device_direct3d(const IDirect3DDevice8& device)
{
    return *device.m_d3d;
}
inline UINT d3d8_device_adapter(const IDirect3DDevice8& device)
{
    return device.m_adapter;
}
inline D3DDEVTYPE d3d8_device_type(const IDirect3DDevice8& device)
{
    return device.m_type;
}
inline HWND d3d8_device_window(const IDirect3DDevice8& device)
{
    return device.m_window;
}
inline const D3DCallCounts& d3d8_call_counts(const IDirect3DDevice8& device)
{
    return device.m_counts;
}
void d3d8_reset_call_counts(IDirect3DDevice8& device);
// Null for a handle that names no shader.
const D3DVertexShader* d3d8_vertex_shader(const IDirect3DDevice8& device, DWORD handle);
std::size_t d3d8_vertex_shader_count(const IDirect3DDevice8& device);
inline IDirect3DSurface8& d3d8_back_buffer(const IDirect3DDevice8& device)
{
    return *device.m_back_buffer;
}
inline IDirect3DSurface8* d3d8_front_buffer(const IDirect3DDevice8& device)
{
    return device.m_front_buffer;
}
inline IDirect3DSurface8* d3d8_auto_depth_stencil(const IDirect3DDevice8& device)
{
    return device.m_auto_depth;
}
inline D3D8Backend* d3d8_device_backend(const IDirect3DDevice8& device)
{
    return device.m_backend.get();
}
// DEFAULT-pool resources the application holds, and its references to the back buffer and the
// automatic depth buffer: what a Reset waits for.
inline std::size_t d3d8_default_pool_holds(const IDirect3DDevice8& device)
{
    return device.default_pool_holds();
}
inline ULONG d3d8_ref_count(const IDirect3DDevice8& device)
{
    return device.m_refs;
}

// ---- Format helpers ----------------------------------------------------------------------------
bool d3d8_format_is_depth(D3DFORMAT format);
// Row pitch in bytes of a level of that width (a row of 4x4 blocks for compressed formats),
// and the level's whole size.
UINT d3d8_format_pitch(D3DFORMAT format, UINT width);
UINT d3d8_format_size(D3DFORMAT format, UINT width, UINT height);
// Bytes of one vertex of a flexible vertex format; 0 for a format with more than
// D3DDP_MAXTEXCOORD texture-coordinate sets, which the platform refuses.
UINT d3d8_fvf_stride(DWORD fvf);
