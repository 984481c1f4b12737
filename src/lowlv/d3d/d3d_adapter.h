// Adapter enumeration, the default settings of a device type and mode, and the choice of
// adapter, device type, mode and formats from the renderer settings. None of it creates a device:
// the settings program links this part alone, without the device, the shaders or the archive.
#pragma once

#include "lowlv/d3d/d3d_settings.h"
#include "platform/d3d8.h"

#include <cstdint>

// The vertex-shader version that counts as shader hardware.
constexpr DWORD D3D_VS_11 = 0xFFFE0101;

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
