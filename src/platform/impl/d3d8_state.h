// The Direct3D 8 stand-in's own records of a device, which its backend and tests read: the
// state a draw depends on, the draws and how often each call reached the device, the vertex
// shaders it made, and the interface of the backend that mirrors it all to real hardware.
#pragma once

#include "platform/d3d8.h"

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
