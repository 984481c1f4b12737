// The machine behind the Direct3D 8 stand-in, and the seams through which tests script it.
// Game code never calls these.
#pragma once

#include "platform/impl/d3d8_state.h"

#include <optional>
#include <vector>

// What one device type (HAL or REF) of an adapter can do.
struct D3D8DeviceTypeProfile {
    D3DCAPS8 caps{};                        // DeviceType and AdapterOrdinal are filled in when answered
    std::vector<D3DFORMAT> display_formats; // CheckDeviceType passes for these (in a window only
                                            // with D3DCAPS2_CANRENDERWINDOWED)
    std::vector<D3DFORMAT> depth_formats;   // depth-stencil surfaces, matching every display format
    std::vector<D3DFORMAT> texture_formats;
    std::vector<D3DFORMAT> render_target_formats; // textures with D3DUSAGE_RENDERTARGET
    std::vector<D3DMULTISAMPLE_TYPE> multisample_fullscreen;
    std::vector<D3DMULTISAMPLE_TYPE> multisample_windowed;
};

struct D3D8AdapterProfile {
    D3DADAPTER_IDENTIFIER8 identifier{};
    D3DDISPLAYMODE desktop{}; // the current display mode
    std::vector<D3DDISPLAYMODE> modes;
    std::optional<D3D8DeviceTypeProfile> hal;
    std::optional<D3D8DeviceTypeProfile> ref;
};

struct D3D8Machine {
    std::vector<D3D8AdapterProfile> adapters;
};
// The machine an IDirect3D8 answers from.
const D3D8Machine& d3d8_machine(const IDirect3D8& d3d);

// A hardware device type with what a current GPU offers through OpenGL: hardware transform
// and lighting on a pure device, vs.1.1, rendering in a window, full-screen gamma, 16x
// anisotropy, every texture format the engine uses, 2x and 4x multisampling.
D3D8DeviceTypeProfile d3d8_hardware_profile();
// The host: one adapter per SDL display, its modes (plus the common sizes from 640x480 up to
// the desktop in 16 and 32 bits where the host lists fewer), a HAL device type, and an
// identifier derived from the host's GPU and display strings, the same from run to run.
// An empty machine when SDL has no video.
D3D8Machine d3d8_host_machine();
// The identifier's GUID for these host strings (a stable hash).
GUID d3d8_identifier_guid(const char* driver, const char* description, DWORD vendor, DWORD device);

// Replaces the machine that IDirect3D8 objects created from now on answer from; nullopt
// returns to the host.
void d3d8_seam_set_machine(std::optional<D3D8Machine> machine);
// The machine a new IDirect3D8 would answer from.
D3D8Machine d3d8_current_machine();

// Creation calls that a test can make fail.
enum class D3D8Call {
    Create, // Direct3DCreate8 returns null
    CreateDevice,
    CreateTexture,
    CreateVertexBuffer,
    CreateIndexBuffer,
    CreateRenderTarget,
    CreateDepthStencilSurface,
    CreateImageSurface,
    CreateVertexShader,
    Lock, // buffer and surface locks
    Reset,
    Present,
};
// The call fails with `result` after `skip` successful calls of its kind; each arming fails
// one call. Cleared by d3d8_seam_reset.
void d3d8_seam_fail(D3D8Call call, HRESULT result, int skip = 0);

// TestCooperativeLevel answers these results in order, one per call. A DEVICELOST entry
// loses the device (Present then fails with D3DERR_DEVICELOST and Reset with it too); a
// DEVICENOTRESET entry makes it resettable; D3D_OK restores it. When the script runs out a
// lost device becomes resettable, and stays so until a Reset succeeds.
void d3d8_seam_script_cooperative(std::vector<HRESULT> results);

// Draws are counted always; with the log on each is kept with a copy of the device state.
struct D3D8DrawRecord {
    D3DDrawCall call;
    D3DDeviceState state;
};
void d3d8_seam_log_draws(bool on);
const std::vector<D3D8DrawRecord>& d3d8_seam_draws();

// After that many more presented frames the device posts WM_CLOSE to its window, so a test can
// run the real main loop for a fixed number of frames; 0 turns it off.
void d3d8_seam_close_after_presents(int presents);

// The rows of every texture level created from now on lie this many bytes further apart than
// their pixels need (rounded up to a multiple of 4, as drivers keep rows aligned), so code that
// steps by the locked pitch is told apart from code that assumes tight rows. Compressed levels
// keep their rows of blocks. 0 returns to tight rows.
void d3d8_seam_pad_texture_pitch(UINT bytes);

// Every seam back to its default: the host machine, no failures, no script, no draw log, tight
// texture rows.
void d3d8_seam_reset();
