// The one Direct3D 8 device: its creation from the chosen mode (start-up step D3D), the reset
// between windowed and full-screen mode, the black clear, the gamma ramp, the mode description
// and plain texture creation.
#pragma once

#include "lowlv/d3d/d3d_adapter.h"
#include "platform/d3d8.h"

#include <cstddef>
#include <cstdint>

// Copies the settings into g_device_settings and runs d3d_choose_mode on them with g_d3d.
HRESULT d3d_resolve_settings(const RendererSettings& settings, AdapterEnumeration& enumeration);

// ---- The device ----------------------------------------------------------------------------------
extern IDirect3D8* g_d3d;
extern IDirect3DDevice8* g_d3d_device;
extern DeviceSettings g_device_settings;
extern D3DCAPS8 g_device_caps;
extern bool g_vp_software;        // software or mixed vertex processing
extern bool g_vs_software;        // vertex shaders run in software
extern bool g_tex_x8r8g8b8_ok;    // 32-bit back buffer and X8R8G8B8 textures
extern bool g_tex_a8r8g8b8_ok;    // 32-bit back buffer and A8R8G8B8 textures
extern bool g_requested_windowed; // the mode wanted at the next reset
// A reset failed: nothing may be drawn or restored until d3d_reset_device succeeds.
extern bool g_d3d_reset_pending;
extern float g_fog_near;
extern float g_fog_far;
extern float g_fog_vs_constants[2]; // -1/(far - near), far/(far - near)

// Where a failed CreateDevice is reported from.
constexpr unsigned D3D_CORE_LINE_CREATE_DEVICE = 394;
constexpr std::size_t D3D_MODE_TEXT_SIZE = 128;

namespace D3D {
// Start-up step D3D: creates g_d3d (ERR_D3D_CREATE when that fails) and g_d3d_device from the
// settings, then the default states, the vertex shaders and the gamma ramp. A failed
// CreateDevice throws RuntimeError with the mode description. D3D_ENUM_NO_ADAPTER when there
// is no adapter or mode to create the device on.
HRESULT Initialize(const RendererSettings& settings);
// Releases the vertex shaders, the device and g_d3d.
void Shutdown();
} // namespace D3D

// fog near and far and their vertex-shader constants.
void d3d_set_fog_range(float fog_near, float fog_far);
// Switches to g_requested_windowed: shaders deleted, mode chosen again, the device reset, the
// window restyled and placed, default states and shaders set up again. Returns the Reset's
// result (E_FAIL when no mode can be chosen); on failure g_d3d_reset_pending stays set.
HRESULT d3d_reset_device();
// TestCooperativeLevel, then a clear of the whole target to opaque black, z 1, stencil 0.
HRESULT d3d_clear_black(DWORD clear_flags);
// With "GammaEnable" only: the ramp of GammaValue (clamped to 0.25..5) when `apply`, else the
// identity ramp.
void d3d_set_gamma(bool apply);
// "640x480x32(X888)(D16)(4 samples) HWVP(pure) DX8.1" for g_device_settings.
void d3d_mode_string(char* text, std::size_t size);
// A texture of the device; D3DERR_INVALIDCALL without a device, else the device's result.
HRESULT d3d_create_texture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                           IDirect3DTexture8** texture);
