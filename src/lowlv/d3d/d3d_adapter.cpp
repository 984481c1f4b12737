#include "lowlv/d3d/d3d_adapter.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// ---- Enumeration ---------------------------------------------------------------------------------
struct Resolution {
    std::uint32_t width, height;
    D3DFORMAT format; // of the first mode seen at this size
    bool display_32bit;
    std::vector<std::uint32_t> rates;
};

// What a device type can do with one display format.
struct FormatResult {
    bool usable = false;
    DWORD behaviour_flags = 0;
    D3DFORMAT depth_format = D3DFMT_UNKNOWN;
    std::uint8_t depth_d24s8 = 0;
    std::uint8_t multisample_fullscreen[D3D_ENUM_MULTISAMPLE] = {};
    std::uint8_t multisample_windowed[D3D_ENUM_MULTISAMPLE] = {};
    std::uint8_t textures[5] = {}; // X8R8G8B8, A8R8G8B8, DXT1, DXT3, V8U8
};

// What the default choice needs to know about every adapter's HAL.
struct HalNotes {
    bool exists = false;
    bool windowed = false;
    bool windowed_in_current_format = false;
    bool has_mode = false;
};

struct DepthCandidate {
    D3DFORMAT format;
    std::uint32_t depth_bits, stencil_bits;
};
constexpr DepthCandidate k_depth_candidates[] = {
    {D3DFMT_D16, 16, 0},   {D3DFMT_D15S1, 15, 1},   {D3DFMT_D24X8, 24, 0},
    {D3DFMT_D24S8, 24, 8}, {D3DFMT_D24X4S4, 24, 4}, {D3DFMT_D32, 32, 0},
};
constexpr D3DFORMAT k_texture_checks[5] = {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8, D3DFMT_DXT1, D3DFMT_DXT3,
                                           D3DFMT_V8U8};

std::vector<Resolution> collect_resolutions(IDirect3D8& d3d, UINT ordinal, std::vector<D3DFORMAT>& formats)
{
    std::vector<Resolution> list;
    for (UINT m = 0, count = d3d.GetAdapterModeCount(ordinal); m < count; ++m) {
        D3DDISPLAYMODE mode;
        if (FAILED(d3d.EnumAdapterModes(ordinal, m, &mode))) continue;
        auto known = std::find_if(list.begin(), list.end(), [&](const Resolution& r) {
            return r.width == mode.Width && r.height == mode.Height;
        });
        if (known != list.end()) {
            if (mode.Format == D3DFMT_X8R8G8B8) known->display_32bit = true;
            bool listed =
                std::find(known->rates.begin(), known->rates.end(), mode.RefreshRate) != known->rates.end();
            if (mode.RefreshRate != 0 && !listed && known->rates.size() < D3D_ENUM_REFRESH_RATES)
                known->rates.push_back(mode.RefreshRate);
            continue;
        }
        if (list.size() >= D3D_ENUM_RESOLUTIONS) continue;
        list.push_back(
            {mode.Width, mode.Height, mode.Format, mode.Format == D3DFMT_X8R8G8B8, {mode.RefreshRate}});
        // Every display format gets its own results, however many the adapter reports.
        if (std::find(formats.begin(), formats.end(), mode.Format) == formats.end())
            formats.push_back(mode.Format);
    }
    std::stable_sort(list.begin(), list.end(), [](const Resolution& a, const Resolution& b) {
        if (a.format != b.format) return a.format > b.format;
        if (a.width != b.width) return a.width < b.width;
        return a.height < b.height;
    });
    return list;
}

bool depth_fits(IDirect3D8& d3d, UINT ordinal, D3DDEVTYPE type, D3DFORMAT display, D3DFORMAT depth)
{
    return SUCCEEDED(d3d.CheckDeviceFormat(ordinal, type, display, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                           depth)) &&
           SUCCEEDED(d3d.CheckDepthStencilMatch(ordinal, type, display, display, depth));
}

FormatResult check_format(IDirect3D8& d3d, UINT ordinal, const DeviceTypeInfo& info, D3DFORMAT f,
                          const AdapterEnumeration& enumeration)
{
    FormatResult result;
    if (FAILED(d3d.CheckDeviceType(ordinal, info.type, f, f, FALSE))) return result;
    result.usable = true;
    if (info.caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT)
        result.behaviour_flags = (info.caps.DevCaps & D3DDEVCAPS_PUREDEVICE)
                                     ? D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE
                                     : D3DCREATE_MIXED_VERTEXPROCESSING;
    else
        result.behaviour_flags = D3DCREATE_SOFTWARE_VERTEXPROCESSING;
    for (const DepthCandidate& candidate : k_depth_candidates) {
        if (enumeration.min_depth_bits > candidate.depth_bits ||
            enumeration.min_stencil_bits > candidate.stencil_bits)
            continue;
        if (depth_fits(d3d, ordinal, info.type, f, candidate.format)) {
            result.depth_format = candidate.format;
            break;
        }
    }
    result.depth_d24s8 = depth_fits(d3d, ordinal, info.type, f, D3DFMT_D24S8);
    for (DWORD k = 2; k < D3D_ENUM_MULTISAMPLE; ++k) {
        auto samples = static_cast<D3DMULTISAMPLE_TYPE>(k);
        result.multisample_fullscreen[k] =
            SUCCEEDED(d3d.CheckDeviceMultiSampleType(ordinal, info.type, f, FALSE, samples));
        result.multisample_windowed[k] =
            SUCCEEDED(d3d.CheckDeviceMultiSampleType(ordinal, info.type, f, TRUE, samples));
    }
    for (int t = 0; t < 5; ++t)
        result.textures[t] =
            SUCCEEDED(d3d.CheckDeviceFormat(ordinal, info.type, f, 0, D3DRTYPE_TEXTURE, k_texture_checks[t]));
    return result;
}

DisplayModeInfo make_mode(const Resolution& entry, const FormatResult& result)
{
    DisplayModeInfo mode{};
    mode.width = entry.width;
    mode.height = entry.height;
    mode.display_32bit = entry.display_32bit;
    mode.depth_d24s8 = result.depth_d24s8;
    mode.tex_x8r8g8b8 = result.textures[0];
    mode.tex_a8r8g8b8 = result.textures[1];
    mode.tex_dxt1 = result.textures[2];
    mode.tex_dxt3 = result.textures[3];
    mode.tex_v8u8 = result.textures[4];
    mode.behaviour_flags = result.behaviour_flags;
    mode.depth_format = result.depth_format;
    std::memcpy(mode.multisample_fullscreen, result.multisample_fullscreen, D3D_ENUM_MULTISAMPLE);
    std::memcpy(mode.multisample_windowed, result.multisample_windowed, D3D_ENUM_MULTISAMPLE);
    std::vector<std::uint32_t> rates = entry.rates;
    std::sort(rates.begin(), rates.end());
    mode.refresh_count = static_cast<std::uint32_t>(rates.size());
    std::copy(rates.begin(), rates.end(), mode.refresh_rates);
    return mode;
}

// One device type of an adapter; false when it got no mode (its slot is then reused).
bool enumerate_device_type(IDirect3D8& d3d, UINT ordinal, D3DDEVTYPE type,
                           const AdapterEnumeration& enumeration, const std::vector<Resolution>& resolutions,
                           const std::vector<D3DFORMAT>& formats, DeviceTypeInfo& info, HalNotes& hal)
{
    info = DeviceTypeInfo{};
    info.type = type;
    if (FAILED(d3d.GetDeviceCaps(ordinal, type, &info.caps))) return false;
    std::snprintf(info.name, sizeof info.name, "%s", type == D3DDEVTYPE_HAL ? "HAL" : "REF");
    bool windowed_caps = info.caps.Caps2 & D3DCAPS2_CANRENDERWINDOWED;

    std::vector<FormatResult> results;
    for (std::size_t f = 0; f < formats.size(); ++f) {
        results.push_back(check_format(d3d, ordinal, info, formats[f], enumeration));
        if (type == D3DDEVTYPE_HAL && results.back().usable) {
            hal.exists = true;
            hal.windowed |= windowed_caps;
            hal.windowed_in_current_format |= windowed_caps && f == 0;
        }
    }
    for (const Resolution& entry : resolutions) {
        auto format = std::find(formats.begin(), formats.end(), entry.format);
        const FormatResult& result = results[format - formats.begin()];
        if (!result.usable || info.mode_count >= D3D_ENUM_MODES) continue;
        info.modes[info.mode_count++] = make_mode(entry, result);
    }
    if (type == D3DDEVTYPE_HAL && info.mode_count > 0) hal.has_mode = true;
    for (std::uint32_t m = 0; m < info.mode_count; ++m) {
        if (info.modes[m].width == 640 && info.modes[m].height == 480) {
            info.default_mode = m;
            break;
        }
    }
    info.can_render_windowed = results[0].usable && windowed_caps;
    info.vs_11 = info.caps.VertexShaderVersion >= D3D_VS_11;
    info.hw_tnl = (info.caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) != 0;
    return info.mode_count > 0;
}

HRESULT choose_default(AdapterEnumeration& e, const HalNotes& hal)
{
    if (e.adapter_count == 0) return D3D_ENUM_NO_ADAPTER;
    for (std::uint32_t a = 0; a < e.adapter_count; ++a) {
        AdapterInfo& adapter = e.adapters[a];
        for (std::uint32_t t = 0; t < adapter.device_type_count; ++t) {
            if (!adapter.device_types[t].can_render_windowed) continue;
            e.default_adapter = a;
            adapter.default_device_type = t;
            if (adapter.device_types[t].type == D3DDEVTYPE_HAL) return S_OK;
            if (!hal.exists) return D3D_ENUM_REF_NO_HAL;
            if (!hal.has_mode) return D3D_ENUM_REF_HAL_NO_MODE;
            if (!hal.windowed) return D3D_ENUM_REF_HAL_NOT_WINDOWED;
            return hal.windowed_in_current_format ? D3D_ENUM_REF_HAL_CURRENT_FORMAT
                                                  : D3D_ENUM_REF_HAL_OTHER_FORMAT;
        }
    }
    return D3D_ENUM_NO_WINDOWED;
}

// ---- Mode choice ---------------------------------------------------------------------------------
// The mode of that size among the device type's modes, or -1.
int find_mode(const DeviceTypeInfo& type, std::uint32_t width, std::uint32_t height)
{
    for (std::uint32_t m = 0; m < type.mode_count; ++m)
        if (type.modes[m].width == width && type.modes[m].height == height) return static_cast<int>(m);
    return -1;
}

bool rate_listed(const DisplayModeInfo& mode, std::uint32_t rate)
{
    return std::find(mode.refresh_rates, mode.refresh_rates + mode.refresh_count, rate) !=
           mode.refresh_rates + mode.refresh_count;
}

bool guid_is_zero(const GUID& guid)
{
    static const GUID zero{};
    return std::memcmp(&guid, &zero, sizeof guid) == 0;
}

// The driver that gets a driver-update recommendation: vendor 0x10DE, 6.13.10.x below build 2832.
bool old_driver(const D3DADAPTER_IDENTIFIER8& id)
{
    auto part = [&](int shift) { return static_cast<std::uint32_t>((id.DriverVersion >> shift) & 0xFFFF); };
    return id.VendorId == 0x10DE && part(48) == 6 && part(32) == 13 && part(16) == 10 && part(0) < 2832;
}

} // namespace

// ---- Enumeration ---------------------------------------------------------------------------------
HRESULT d3d_enumerate_adapters(IDirect3D8& d3d, AdapterEnumeration& e)
{
    HalNotes hal;
    UINT ordinals = std::min<UINT>(d3d.GetAdapterCount(), D3D_ENUM_ADAPTERS);
    for (UINT ordinal = 0; ordinal < ordinals; ++ordinal) {
        AdapterInfo& adapter = e.adapters[e.adapter_count];
        adapter = AdapterInfo{};
        adapter.ordinal = ordinal;
        d3d.GetAdapterIdentifier(ordinal, D3DENUM_NO_WHQL_LEVEL, &adapter.identifier);
        d3d.GetAdapterDisplayMode(ordinal, &adapter.current_mode);
        std::vector<D3DFORMAT> formats{adapter.current_mode.Format};
        std::vector<Resolution> resolutions = collect_resolutions(d3d, ordinal, formats);
        for (D3DDEVTYPE type : {D3DDEVTYPE_HAL, D3DDEVTYPE_REF}) {
            DeviceTypeInfo& info = adapter.device_types[adapter.device_type_count];
            if (enumerate_device_type(d3d, ordinal, type, e, resolutions, formats, info, hal))
                ++adapter.device_type_count;
        }
        if (adapter.device_type_count > 0) ++e.adapter_count;
    }
    HRESULT result = choose_default(e, hal);
    e.current_adapter = e.default_adapter;
    e.current_device_type = e.adapters[e.default_adapter].default_device_type;
    e.current_mode = e.adapters[e.default_adapter].device_types[e.current_device_type].default_mode;
    return result;
}

// ---- Settings ------------------------------------------------------------------------------------
void d3d_settings_from_caps(const DeviceTypeInfo& type, RendererSettings& s, const DisplayModeInfo& mode,
                            const D3DCAPS8& caps)
{
    if (mode.display_32bit) s.caps_32bit_display_mode = 1;
    const std::uint8_t* table =
        type.can_render_windowed ? mode.multisample_windowed : mode.multisample_fullscreen;
    if (std::any_of(table + 1, table + D3D_ENUM_MULTISAMPLE, [](std::uint8_t marked) { return marked != 0; }))
        s.caps_multisampling = 1;
    if (mode.tex_x8r8g8b8) s.caps_x8r8g8b8_textures = 1;
    if (mode.tex_a8r8g8b8) s.caps_a8r8g8b8_textures = 1;
    if (mode.tex_dxt1) s.caps_dxt1_textures = 1;
    if (mode.tex_dxt3) s.caps_dxt3_textures = 1;
    if (mode.tex_v8u8) s.caps_v8u8_textures = 1;
    s.max_anisotropy = caps.MaxAnisotropy >= 2 && (caps.TextureFilterCaps & D3DPTFILTERCAPS_MINFANISOTROPIC)
                           ? caps.MaxAnisotropy
                           : 1;
    if (caps.TextureFilterCaps & D3DPTFILTERCAPS_MIPFLINEAR) s.caps_trilinear_filtering = 1;
    if (caps.PrimitiveMiscCaps & D3DPMISCCAPS_BLENDOP) s.caps_blend_operations = 1;
    if (caps.MaxTextureBlendStages >= 2 && (caps.TextureOpCaps & D3DTEXOPCAPS_DOTPRODUCT3))
        s.caps_dot_product_bump = 1;
    if ((caps.TextureOpCaps & D3DTEXOPCAPS_BUMPENVMAP) && mode.tex_v8u8) s.caps_environment_bump = 1;
    if (caps.Caps2 & D3DCAPS2_FULLSCREENGAMMA) s.caps_fullscreen_gamma = 1;
}

void d3d_default_settings(const AdapterEnumeration& e, RendererSettings& s)
{
    // The windowed switch is the game's own choice (its ini key and Alt+Enter), not the device's.
    RendererSettings cleared{};
    cleared.window = s.window;
    cleared.windowed = s.windowed;
    s = cleared;
    const AdapterInfo& adapter = e.adapters[e.current_adapter];
    const DeviceTypeInfo& type = adapter.device_types[e.current_device_type];
    const DisplayModeInfo& mode = type.modes[e.current_mode];
    s.adapter = e.current_adapter;
    s.device_type = static_cast<std::int32_t>(e.current_device_type);
    s.gamma = 1.0f;
    s.back_buffer_width = mode.width;
    s.back_buffer_height = mode.height;
    s.sort_alpha_texture = 1;
    s.mipmap = 1;
    s.wait_vsync = 1;
    s.device_identifier = adapter.identifier.DeviceIdentifier;
    d3d_settings_from_caps(type, s, mode, type.caps);
    s.back_buffer_32bit = mode.display_32bit;
    s.texture_filter = s.caps_trilinear_filtering ? 2 : 1;
    s.anisotropy = std::min<std::uint32_t>(s.max_anisotropy, 4);
    s.compressed_texture = s.caps_dxt1_textures && s.caps_dxt3_textures;
    s.gamma_enable = !type.can_render_windowed && s.caps_fullscreen_gamma;
    std::uint8_t shaders = type.vs_11;
    s.water_vs = s.wind_vs = s.cloud_vs = s.point_light_vs = shaders;
}

HRESULT d3d_choose_mode(IDirect3D8& d3d, AdapterEnumeration& e, DeviceSettings& device)
{
    d3d_enumerate_adapters(d3d, e);
    if (e.adapter_count == 0) return D3D_ENUM_NO_ADAPTER;
    RendererSettings& s = device.settings;

    int mode_index = -1;
    if (s.device_type != -1) {
        s.adapter = std::min(s.adapter, e.adapter_count - 1);
        const AdapterInfo& adapter = e.adapters[s.adapter];
        s.device_type =
            std::clamp<std::int32_t>(s.device_type, 0, std::int32_t(adapter.device_type_count) - 1);
        bool other_adapter =
            !guid_is_zero(s.device_identifier) &&
            std::memcmp(&s.device_identifier, &adapter.identifier.DeviceIdentifier, sizeof(GUID)) != 0;
        if (!other_adapter)
            mode_index =
                find_mode(adapter.device_types[s.device_type], s.back_buffer_width, s.back_buffer_height);
        if (mode_index >= 0) {
            const DisplayModeInfo& mode = adapter.device_types[s.device_type].modes[mode_index];
            if (!rate_listed(mode, s.refresh_rate)) s.refresh_rate = 0;
        }
    }
    if (mode_index < 0) {
        d3d_default_settings(e, s);
        mode_index = find_mode(e.adapters[s.adapter].device_types[s.device_type], s.back_buffer_width,
                               s.back_buffer_height);
        if (mode_index < 0) return D3D_ENUM_NO_ADAPTER;
    }

    const AdapterInfo& adapter = e.adapters[s.adapter];
    const DeviceTypeInfo& type = adapter.device_types[s.device_type];
    const DisplayModeInfo& mode = type.modes[mode_index];
    s.behaviour_flags = mode.behaviour_flags;
    D3DPRESENT_PARAMETERS& p = device.present;
    p = D3DPRESENT_PARAMETERS{};
    p.hDeviceWindow = s.window;
    p.BackBufferWidth = mode.width;
    p.BackBufferHeight = mode.height;
    p.BackBufferCount = s.triple_buffer ? 2 : 1;
    p.SwapEffect = D3DSWAPEFFECT_DISCARD;
    p.EnableAutoDepthStencil = TRUE;
    p.Windowed = s.windowed;
    p.AutoDepthStencilFormat = D3DFMT_D16;
    p.Flags = 0;
    d3d_settings_from_caps(type, s, mode, type.caps);

    if (s.windowed) {
        p.BackBufferFormat = e.adapters[0].current_mode.Format;
        p.BackBufferWidth = s.back_buffer_width;
        p.BackBufferHeight = s.back_buffer_height;
        s.back_buffer_32bit = p.BackBufferFormat == D3DFMT_X8R8G8B8;
        if (s.back_buffer_32bit && mode.depth_d24s8) p.AutoDepthStencilFormat = D3DFMT_D24S8;
        p.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    } else {
        p.FullScreen_PresentationInterval =
            s.wait_vsync ? D3DPRESENT_INTERVAL_ONE : D3DPRESENT_INTERVAL_IMMEDIATE;
        p.BackBufferFormat = s.back_buffer_32bit ? D3DFMT_X8R8G8B8 : D3DFMT_R5G6B5;
        p.AutoDepthStencilFormat = s.back_buffer_32bit && mode.depth_d24s8 ? D3DFMT_D24S8 : mode.depth_format;
        if (!rate_listed(mode, s.refresh_rate)) s.refresh_rate = 0;
        p.FullScreen_RefreshRateInHz = s.refresh_rate;
    }

    const std::uint8_t* table =
        type.can_render_windowed ? mode.multisample_windowed : mode.multisample_fullscreen;
    bool samples_ok =
        s.multisample_type >= 2 && s.multisample_type < D3D_ENUM_MULTISAMPLE && table[s.multisample_type];
    p.MultiSampleType =
        samples_ok ? static_cast<D3DMULTISAMPLE_TYPE>(s.multisample_type) : D3DMULTISAMPLE_NONE;
    if (s.anisotropy < 1) s.anisotropy = 1;
    // The filter table has three rows; the settings dialog offers no more.
    s.texture_filter = std::min<std::uint32_t>(s.texture_filter, 2);
    s.old_driver = old_driver(adapter.identifier);
    return S_OK;
}
