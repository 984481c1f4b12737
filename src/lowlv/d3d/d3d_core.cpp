#include "lowlv/d3d/d3d_core.h"

#include "core/errors.h"
#include "core/sys.h"
#include "core/userdir.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/d3d_state.h"
#include "platform/win_shell.h"
#include "platform/win_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

IDirect3D8* g_d3d = nullptr;
IDirect3DDevice8* g_d3d_device = nullptr;
DeviceSettings g_device_settings{};
D3DCAPS8 g_device_caps{};
bool g_vp_software = false;
bool g_vs_software = false;
bool g_tex_x8r8g8b8_ok = false;
bool g_tex_a8r8g8b8_ok = false;
bool g_requested_windowed = false;
bool g_d3d_reset_pending = false;
float g_fog_near = 0.0f;
float g_fog_far = 0.0f;
float g_fog_vs_constants[2] = {0.0f, 0.0f};

namespace {

constexpr DWORD k_vertex_processing =
    D3DCREATE_PUREDEVICE | D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING;
constexpr DWORD k_style_fullscreen = 0x90000000; // pop-up, visible
constexpr DWORD k_style_windowed = 0x10CB0000;   // visible, caption, system menu, minimise and maximise boxes

const char* format_name(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_R8G8B8:
        return "24(888)";
    case D3DFMT_A8R8G8B8:
        return "32(8888)";
    case D3DFMT_X8R8G8B8:
        return "32(X888)";
    case D3DFMT_R5G6B5:
        return "16(565)";
    case D3DFMT_X1R5G5B5:
        return "16(555)";
    default:
        return "other";
    }
}

const char* depth_name(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_D32:
        return "(D32)";
    case D3DFMT_D15S1:
        return "(D15S1)";
    case D3DFMT_D24S8:
        return "(D24S8)";
    case D3DFMT_D24X8:
        return "(D24X8)";
    case D3DFMT_D24X4S4:
        return "(D24X4S4)";
    case D3DFMT_D16:
        return "(D16)";
    default:
        return "";
    }
}

std::unique_ptr<AdapterEnumeration> new_enumeration()
{
    auto enumeration = std::make_unique<AdapterEnumeration>();
    enumeration->min_depth_bits = 16;
    enumeration->min_stencil_bits = 0;
    return enumeration;
}

DWORD creation_flags(const AdapterEnumeration& enumeration, const RendererSettings& settings)
{
    DWORD flags = settings.behaviour_flags;
    const AdapterInfo& adapter = enumeration.adapters[enumeration.default_adapter];
    const DeviceTypeInfo& type = adapter.device_types[adapter.default_device_type];
    if (!type.hw_tnl || !type.vs_11 || settings.force_software_vp)
        flags = (flags & ~k_vertex_processing) | D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    bool multithreaded = settings.force_multithreaded;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Direct3D\\", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        DWORD debug_runtime = 0;
        if (SUCCEEDED(sys_read_registry_dword(key, &debug_runtime)) && debug_runtime) multithreaded = true;
        RegCloseKey(key);
    }
    if (multithreaded) flags |= D3DCREATE_MULTITHREADED;
    return flags;
}

// The game window's style and placement for the mode just reset to.
void place_window(bool was_windowed)
{
    const RendererSettings& s = g_device_settings.settings;
    HWND window = s.window;
    if (!s.windowed) {
        SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(k_style_fullscreen));
        SetWindowPos(window, nullptr, 0, 0, static_cast<int>(s.back_buffer_width),
                     static_cast<int>(s.back_buffer_height), SWP_NOZORDER | SWP_FRAMECHANGED);
        return;
    }
    SetWindowLongA(window, GWL_STYLE, static_cast<LONG>(k_style_windowed));
    if (!was_windowed) {
        // Back from full screen: a remembered position off the back buffer's area is pulled in.
        g_window_origin.remembered_x =
            std::clamp<std::int32_t>(g_window_origin.remembered_x, 0, std::int32_t(s.back_buffer_width) - 1);
        g_window_origin.remembered_y =
            std::clamp<std::int32_t>(g_window_origin.remembered_y, 0, std::int32_t(s.back_buffer_height) - 1);
    }
    RECT rect{0, 0, LONG(s.back_buffer_width), LONG(s.back_buffer_height)};
    AdjustWindowRect(&rect, k_style_windowed, FALSE);
    SetWindowPos(window, HWND_NOTOPMOST, rect.left + g_window_origin.remembered_x,
                 rect.top + g_window_origin.remembered_y, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_FRAMECHANGED);
}

void set_up_device_state()
{
    renderer_default_states();
    shader_load_all();
}

} // namespace

HRESULT d3d_resolve_settings(const RendererSettings& settings, AdapterEnumeration& enumeration)
{
    g_device_settings.settings = settings;
    return d3d_choose_mode(*g_d3d, enumeration, g_device_settings);
}

// ---- The device ----------------------------------------------------------------------------------
void d3d_set_fog_range(float fog_near, float fog_far)
{
    g_fog_near = fog_near;
    g_fog_far = fog_far;
    g_fog_vs_constants[0] = -1.0f / (fog_far - fog_near);
    g_fog_vs_constants[1] = fog_far / (fog_far - fog_near);
}

HRESULT D3D::Initialize(const RendererSettings& settings)
{
    if (!g_d3d) g_d3d = Direct3DCreate8(D3D_SDK_VERSION);
    if (!g_d3d) return ERR_D3D_CREATE;
    g_requested_windowed = settings.windowed;
    std::unique_ptr<AdapterEnumeration> enumeration = new_enumeration();
    HRESULT hr = d3d_resolve_settings(settings, *enumeration);
    if (FAILED(hr)) return hr;

    RendererSettings& s = g_device_settings.settings;
    s.behaviour_flags = creation_flags(*enumeration, s);
    g_vp_software =
        s.behaviour_flags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MIXED_VERTEXPROCESSING);
    char mode_text[D3D_MODE_TEXT_SIZE];
    d3d_mode_string(mode_text, sizeof mode_text);

    UINT ordinal = enumeration->adapters[s.adapter].ordinal;
    auto type = static_cast<D3DDEVTYPE>(s.device_type + 1);
    hr = g_d3d->CreateDevice(ordinal, type, s.window, s.behaviour_flags, &g_device_settings.present,
                             &g_d3d_device);
    if (FAILED(hr)) {
        g_d3d_device = nullptr;
        char context[ERR_DETAIL_SIZE];
        std::snprintf(context, sizeof context,
                      "Failed to create D3D device.\r\nYour hardware may not\r\nmeet the requirements.\r\n%s",
                      mode_text);
        err_raise_code(hr, context, "d3d_core", D3D_CORE_LINE_CREATE_DEVICE);
    }

    g_d3d_device->GetDeviceCaps(&g_device_caps);
    g_vs_software = g_vp_software || g_device_caps.VertexShaderVersion < D3D_VS_11;
    g_tex_x8r8g8b8_ok = s.back_buffer_32bit && s.caps_x8r8g8b8_textures;
    g_tex_a8r8g8b8_ok = s.back_buffer_32bit && s.caps_a8r8g8b8_textures;
    d3d_set_fog_range(5.0f, 300.0f);
    set_up_device_state();
    d3d_set_gamma(true);
    return S_OK;
}

void D3D::Shutdown()
{
    shader_release_all();
    if (g_d3d_device) g_d3d_device->Release();
    g_d3d_device = nullptr;
    if (g_d3d) g_d3d->Release();
    g_d3d = nullptr;
    g_d3d_reset_pending = false;
}

HRESULT d3d_reset_device()
{
    g_d3d_reset_pending = true;
    shader_release_all();
    RendererSettings& s = g_device_settings.settings;
    bool was_windowed = s.windowed;
    s.windowed = g_requested_windowed;
    g_current_material = MATERIAL_INVALID;

    std::unique_ptr<AdapterEnumeration> enumeration = new_enumeration();
    if (FAILED(d3d_choose_mode(*g_d3d, *enumeration, g_device_settings))) return E_FAIL;
    HRESULT hr = g_d3d_device->Reset(&g_device_settings.present);
    if (FAILED(hr)) return hr;

    place_window(was_windowed);
    set_up_device_state();
    g_d3d_reset_pending = false;
    return S_OK;
}

HRESULT d3d_create_texture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                           IDirect3DTexture8** texture)
{
    if (!g_d3d_device) return D3DERR_INVALIDCALL;
    return g_d3d_device->CreateTexture(width, height, levels, usage, format, pool, texture);
}

HRESULT d3d_clear_black(DWORD clear_flags)
{
    HRESULT hr = g_d3d_device->TestCooperativeLevel();
    if (FAILED(hr)) return hr;
    return g_d3d_device->Clear(0, nullptr, clear_flags, 0xFF000000, 1.0f, 0);
}

void d3d_set_gamma(bool apply)
{
    const RendererSettings& s = g_device_settings.settings;
    if (!s.gamma_enable || !g_d3d_device) return;
    D3DGAMMARAMP ramp;
    float gamma = std::clamp(s.gamma, 0.25f, 5.0f);
    for (int i = 0; i < 256; ++i) {
        float level = apply ? std::pow(i * 0.003921569f, 1.0f / gamma) * 65535.0f : i * 65535 * 0.003921569f;
        auto value = static_cast<WORD>(std::min(level, 65535.0f));
        ramp.red[i] = ramp.green[i] = ramp.blue[i] = value;
    }
    bool calibrate = g_device_caps.Caps2 & D3DCAPS2_CANCALIBRATEGAMMA;
    g_d3d_device->SetGammaRamp(calibrate ? D3DSGR_CALIBRATE : D3DSGR_NO_CALIBRATION, &ramp);
}

void d3d_mode_string(char* text, std::size_t size)
{
    const D3DPRESENT_PARAMETERS& p = g_device_settings.present;
    DWORD flags = g_device_settings.settings.behaviour_flags;
    int length = std::snprintf(text, size, "%ux%ux%s%s", p.BackBufferWidth, p.BackBufferHeight,
                               format_name(p.BackBufferFormat), depth_name(p.AutoDepthStencilFormat));
    auto append = [&](const char* part) {
        if (length >= 0 && static_cast<std::size_t>(length) < size)
            length += std::snprintf(text + length, size - length, "%s", part);
    };
    if (p.MultiSampleType != D3DMULTISAMPLE_NONE) {
        char samples[24];
        std::snprintf(samples, sizeof samples, "(%d samples)", static_cast<int>(p.MultiSampleType));
        append(samples);
    }
    static constexpr struct {
        DWORD flag;
        const char* word;
    } k_words[] = {
        {D3DCREATE_MULTITHREADED, " MultiThreaded"},    {D3DCREATE_FPU_PRESERVE, " Fpu_Preserve"},
        {D3DCREATE_HARDWARE_VERTEXPROCESSING, " HWVP"}, {D3DCREATE_MIXED_VERTEXPROCESSING, " MixedVP"},
        {D3DCREATE_SOFTWARE_VERTEXPROCESSING, " SWVP"}, {D3DCREATE_PUREDEVICE, "(pure)"},
    };
    for (const auto& entry : k_words)
        if (flags & entry.flag) append(entry.word);
    append(" DX8.1");
}
