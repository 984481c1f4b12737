// The one Direct3D 8 device: adapter enumeration, the choice of adapter, device type, mode and
// formats from the renderer settings, device creation (start-up step D3D), the reset between
// windowed and full-screen mode, the black clear, the gamma ramp and the mode description.
// The settings program reuses the enumeration, d3d_default_settings, d3d_settings_from_caps and
// d3d_choose_mode, which never create a device.
#pragma once

#include "lowlv/d3d/d3d_settings.h"
#include "platform/d3d8.h"

#include <cstddef>
#include <cstdint>

// ---- Adapter enumeration -------------------------------------------------------------------------
constexpr std::uint32_t D3D_ENUM_ADAPTERS = 4;
constexpr std::uint32_t D3D_ENUM_DEVICE_TYPES = 5; // HAL and REF are used
constexpr std::uint32_t D3D_ENUM_MODES = 150;
constexpr std::uint32_t D3D_ENUM_RESOLUTIONS = 149; // sizes collected per adapter
constexpr std::uint32_t D3D_ENUM_REFRESH_SLOTS = 20;
constexpr std::uint32_t D3D_ENUM_REFRESH_RATES = 19; // used of the slots
constexpr std::uint32_t D3D_ENUM_MULTISAMPLE = 17;   // entries 2..16

// Results of the default choice. REF chosen: why no HAL was.
constexpr HRESULT D3D_ENUM_NO_ADAPTER = make_hresult(0x82000003);
constexpr HRESULT D3D_ENUM_NO_WINDOWED = make_hresult(0x82000004);
constexpr HRESULT D3D_ENUM_REF_NO_HAL = make_hresult(0x82000005);
constexpr HRESULT D3D_ENUM_REF_HAL_NO_MODE = make_hresult(0x82000006);
constexpr HRESULT D3D_ENUM_REF_HAL_NOT_WINDOWED = make_hresult(0x82000007);
constexpr HRESULT D3D_ENUM_REF_HAL_OTHER_FORMAT =
    make_hresult(0x82000008); // HAL windowed, not in the desktop format
constexpr HRESULT D3D_ENUM_REF_HAL_CURRENT_FORMAT =
    make_hresult(0x82000009); // HAL windowed in the desktop format

// What a device type can do at one resolution.
struct DisplayModeInfo {
    std::uint32_t width;
    std::uint32_t height;
    std::uint8_t display_32bit; // the adapter lists this size in X8R8G8B8
    std::uint8_t depth_d24s8;
    std::uint8_t tex_x8r8g8b8;
    std::uint8_t tex_a8r8g8b8;
    std::uint8_t tex_dxt1;
    std::uint8_t tex_dxt3;
    std::uint8_t tex_v8u8;
    std::uint32_t behaviour_flags; // D3DCREATE_* vertex processing
    D3DFORMAT depth_format;
    std::uint8_t multisample_fullscreen[D3D_ENUM_MULTISAMPLE]; // entry k: k samples
    std::uint8_t multisample_windowed[D3D_ENUM_MULTISAMPLE];
    std::uint32_t refresh_count;
    std::uint32_t refresh_rates[D3D_ENUM_REFRESH_SLOTS]; // ascending
};

struct DeviceTypeInfo {
    D3DDEVTYPE type; // HAL or REF
    D3DCAPS8 caps;
    char name[4]; // "HAL" or "REF"
    std::uint8_t can_render_windowed;
    std::uint8_t vs_11;  // vertex shaders 1.1 or higher
    std::uint8_t hw_tnl; // hardware transform and lighting
    std::uint32_t mode_count;
    DisplayModeInfo modes[D3D_ENUM_MODES];
    std::uint32_t default_mode; // the first 640x480, else 0
};

struct AdapterInfo {
    D3DADAPTER_IDENTIFIER8 identifier;
    D3DDISPLAYMODE current_mode;
    std::uint32_t device_type_count;
    DeviceTypeInfo device_types[D3D_ENUM_DEVICE_TYPES];
    std::uint32_t default_device_type;
    std::uint32_t ordinal; // the Direct3D adapter this slot describes
};

// Several hundred kilobytes: keep it on the heap. The caller value-initialises it and sets the
// minimum depth and stencil bits (the game uses 16 and 0).
struct AdapterEnumeration {
    AdapterInfo adapters[D3D_ENUM_ADAPTERS];
    std::uint32_t adapter_count; // adapters with at least one device type
    std::uint32_t default_adapter;
    std::uint32_t min_depth_bits;
    std::uint32_t min_stencil_bits;
    std::uint32_t current_adapter; // the defaults, for d3d_default_settings
    std::uint32_t current_device_type;
    std::uint32_t current_mode;
};

// Fills the record and picks the default adapter, device type and mode; returns the default
// choice's result (0 when the default is a HAL).
HRESULT d3d_enumerate_adapters(IDirect3D8& d3d, AdapterEnumeration& enumeration);

// ---- Settings ------------------------------------------------------------------------------------
// The live present parameters followed by the working copy of the settings; every drawing
// module reads the back-buffer size, the windowed flag and the settings here.
struct DeviceSettings {
    D3DPRESENT_PARAMETERS present;
    RendererSettings settings;
};

// The defaults of the enumeration's current adapter, device type and mode. Everything is
// cleared first except the window handle and the windowed switch.
void d3d_default_settings(const AdapterEnumeration& enumeration, RendererSettings& settings);
// Sets the capability fields from the device type, its caps and the mode (each only ever to 1).
void d3d_settings_from_caps(const DeviceTypeInfo& type, RendererSettings& settings,
                            const DisplayModeInfo& mode, const D3DCAPS8& caps);
// Enumerates into `enumeration`, checks `device.settings` against it (clamping, or falling back
// to the defaults) and fills `device.present`. D3D_ENUM_NO_ADAPTER when nothing can be chosen:
// no adapter, or no mode on the chosen device type.
HRESULT d3d_choose_mode(IDirect3D8& d3d, AdapterEnumeration& enumeration, DeviceSettings& device);
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
