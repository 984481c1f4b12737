// The graphics settings record both programs hold: the game fills it from the [renderer] section
// of "kro_win.ini" before the device is made, the settings program edits it and writes the ini.
// A value-initialised record holds the ini defaults (what a missing key leaves).
#pragma once

#include "platform/win_shell.h"
#include "platform/win_types.h"

#include <cstdint>

// Packed in 4-byte units so the record keeps its 100-byte size with the 8-byte window handle.
#pragma pack(push, 4)
struct RendererSettings {
    HWND window = nullptr;                  // device and focus window
    std::uint32_t behaviour_flags = 0;      // D3DCREATE_*, from the chosen mode
    std::int32_t device_type = -1;          // "Device": 0 HAL, 1 REF; -1 not chosen yet (derive defaults)
    std::uint32_t adapter = 0;              // "Adapter"
    std::uint32_t back_buffer_width = 640;  // "BackBufferWidth"; also the windowed client width
    std::uint32_t back_buffer_height = 480; // "BackBufferHeight"
    std::uint32_t refresh_rate = 0;         // "RefreshRate" in Hz; 0 = the adapter's default
    std::uint32_t multisample_type = 0;     // "MultiSampleType": 0 none, 2-16 samples
    std::uint32_t texture_filter = 2;       // "TextureFilter"
    std::uint32_t anisotropy = 1;           // "Anisotropy"
    float gamma = 1.0f;                     // "GammaValue"
    std::uint8_t back_buffer_32bit = 0;     // "BackBufferFormat32"
    std::uint8_t windowed = 0;              // "Windowed"
    std::uint8_t wait_vsync = 0;            // "WaitVSync"
    std::uint8_t force_software_vp = 0;     // "ForceSoftwareVP"
    std::uint8_t triple_buffer = 0;         // "TripleBuffer": two back buffers
    std::uint8_t compressed_texture = 0;    // "CompressedTexture": prefer the compressed variants
    std::uint8_t low_reso_texture = 0;      // "LowResoTexture": prefer the low-resolution variants
    std::uint8_t sort_alpha_texture = 1;    // "SortAlphaTexture"
    std::uint8_t gamma_enable = 0;          // "GammaEnable"
    std::uint8_t old_driver = 0;            // set by the mode choice; the settings program advises an update
    std::uint8_t water_vs = 0;              // "WaterVS"
    std::uint8_t wind_vs = 0;               // "WindVS"
    std::uint8_t cloud_vs = 0;              // "CloudVS"
    std::uint8_t point_light_vs = 0;        // "PointLightVS"
    std::uint8_t fire_blur = 0;             // "FireBlur": the settings program's; the game keeps its own copy
    std::uint8_t force_multithreaded = 0;   // "ForceMultiThreaded"
    std::uint8_t mipmap = 1;                // "Mipmap"

    // Capabilities of the device, never read from the ini.
    std::uint32_t max_anisotropy = 0;
    std::uint8_t caps_32bit_display_mode = 0;
    std::uint8_t caps_multisampling = 0;
    std::uint8_t caps_x8r8g8b8_textures = 0;
    std::uint8_t caps_a8r8g8b8_textures = 0;
    std::uint8_t caps_dxt1_textures = 0;
    std::uint8_t caps_dxt3_textures = 0;
    std::uint8_t caps_v8u8_textures = 0;
    std::uint8_t caps_trilinear_filtering = 0;
    std::uint8_t caps_blend_operations = 0;
    std::uint8_t caps_dot_product_bump = 0;
    std::uint8_t caps_environment_bump = 0;
    std::uint8_t caps_fullscreen_gamma = 0;

    GUID device_identifier{}; // "DeviceIdentifier": the adapter the settings were made for
};
#pragma pack(pop)
static_assert(sizeof(RendererSettings) == 100);
