// The adapter object of the Direct3D 8 stand-in and the host machine it answers from.
#include "platform/impl/d3d8_internal.h"
#include "platform/impl/win_window_sdl.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

std::optional<D3D8Machine> g_machine_override;

template <typename T> bool contains(const std::vector<T>& list, T value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Sizes a windowed game may ask for, offered where the host lists fewer.
constexpr struct {
    UINT width, height;
} k_common_sizes[] = {
    {640, 480},   {800, 600},   {1024, 768},  {1152, 864},  {1280, 720},  {1280, 768},  {1280, 800},
    {1280, 960},  {1280, 1024}, {1360, 768},  {1366, 768},  {1440, 900},  {1600, 900},  {1600, 1200},
    {1680, 1050}, {1920, 1080}, {1920, 1200}, {2560, 1440}, {2560, 1600}, {3840, 2160},
};

D3DFORMAT display_format(std::uint32_t sdl_format)
{
    switch (sdl_format) {
    case SDL_PIXELFORMAT_RGB565:
        return D3DFMT_R5G6B5;
    case SDL_PIXELFORMAT_RGB555:
        return D3DFMT_X1R5G5B5;
    default:
        return SDL_BITSPERPIXEL(sdl_format) >= 24 ? D3DFMT_X8R8G8B8 : D3DFMT_UNKNOWN;
    }
}

bool has_mode(const std::vector<D3DDISPLAYMODE>& modes, const D3DDISPLAYMODE& mode)
{
    return std::any_of(modes.begin(), modes.end(), [&](const D3DDISPLAYMODE& m) {
        return m.Width == mode.Width && m.Height == mode.Height && m.Format == mode.Format &&
               m.RefreshRate == mode.RefreshRate;
    });
}

bool has_size(const std::vector<D3DDISPLAYMODE>& modes, UINT width, UINT height, D3DFORMAT format)
{
    return std::any_of(modes.begin(), modes.end(), [&](const D3DDISPLAYMODE& m) {
        return m.Width == width && m.Height == height && m.Format == format;
    });
}

// A file's first line, or empty.
std::string read_line(const char* path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// The first display GPU the kernel lists: its PCI vendor, device and revision.
void host_gpu(DWORD& vendor, DWORD& device, DWORD& revision)
{
    vendor = device = revision = 0;
    for (int card = 0; card < 8; ++card) {
        std::string base = "/sys/class/drm/card" + std::to_string(card) + "/device/";
        std::string vendor_text = read_line((base + "vendor").c_str());
        if (vendor_text.empty()) continue;
        vendor = static_cast<DWORD>(std::strtoul(vendor_text.c_str(), nullptr, 16));
        device = static_cast<DWORD>(std::strtoul(read_line((base + "device").c_str()).c_str(), nullptr, 16));
        revision =
            static_cast<DWORD>(std::strtoul(read_line((base + "revision").c_str()).c_str(), nullptr, 16));
        return;
    }
}

struct HostGpu {
    std::string vendor;
    std::string renderer;
};

std::string gl_text(const unsigned char* text)
{
    return text ? reinterpret_cast<const char*>(text) : "";
}

// The GPU's vendor and renderer strings as OpenGL reports them, read once through the context
// of a hidden window; empty without OpenGL.
const HostGpu& host_gpu_strings()
{
    static const HostGpu gpu = [] {
        HostGpu found;
        if (!video_has_gl()) return found;
        SDL_Window* window = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!window) return found;
        if (SDL_GLContext context = SDL_GL_CreateContext(window)) {
            using GetString = const unsigned char* (*)(unsigned name);
            constexpr unsigned k_gl_vendor = 0x1F00, k_gl_renderer = 0x1F01;
            if (auto get_string = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"))) {
                found.vendor = gl_text(get_string(k_gl_vendor));
                found.renderer = gl_text(get_string(k_gl_renderer));
            }
            SDL_GL_DeleteContext(context);
        }
        SDL_DestroyWindow(window);
        return found;
    }();
    return gpu;
}

// The PCI vendor of a GPU vendor string, for hosts that do not list their PCI devices.
DWORD vendor_id_of(const std::string& vendor)
{
    static constexpr struct {
        const char* word;
        DWORD id;
    } k_vendors[] = {{"NVIDIA", 0x10DE}, {"AMD", 0x1002}, {"ATI", 0x1002}, {"Intel", 0x8086}};
    for (const auto& entry : k_vendors)
        if (vendor.find(entry.word) != std::string::npos) return entry.id;
    return 0;
}

std::uint64_t fnv1a(const void* data, std::size_t size, std::uint64_t hash)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 0x100000001B3ull;
    return hash;
}

D3D8AdapterProfile host_adapter(int display, const char* driver)
{
    D3D8AdapterProfile adapter;
    SDL_DisplayMode desktop{};
    SDL_GetDesktopDisplayMode(display, &desktop);
    adapter.desktop = {static_cast<UINT>(desktop.w), static_cast<UINT>(desktop.h),
                       static_cast<UINT>(desktop.refresh_rate), display_format(desktop.format)};
    if (adapter.desktop.Format == D3DFMT_UNKNOWN) adapter.desktop.Format = D3DFMT_X8R8G8B8;

    for (int i = 0, count = SDL_GetNumDisplayModes(display); i < count; ++i) {
        SDL_DisplayMode sdl_mode{};
        if (SDL_GetDisplayMode(display, i, &sdl_mode) != 0) continue;
        D3DDISPLAYMODE mode{static_cast<UINT>(sdl_mode.w), static_cast<UINT>(sdl_mode.h),
                            static_cast<UINT>(sdl_mode.refresh_rate), display_format(sdl_mode.format)};
        if (mode.Format != D3DFMT_UNKNOWN && !has_mode(adapter.modes, mode)) adapter.modes.push_back(mode);
    }
    if (!has_size(adapter.modes, adapter.desktop.Width, adapter.desktop.Height, adapter.desktop.Format))
        adapter.modes.push_back(adapter.desktop);
    // The display mode is never changed on the host (full screen covers the desktop and the
    // backend scales), so every smaller common size works in both depths.
    for (const auto& size : k_common_sizes) {
        if (size.width > adapter.desktop.Width || size.height > adapter.desktop.Height) continue;
        for (D3DFORMAT format : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5})
            if (!has_size(adapter.modes, size.width, size.height, format))
                adapter.modes.push_back({size.width, size.height, adapter.desktop.RefreshRate, format});
    }

    D3DADAPTER_IDENTIFIER8& id = adapter.identifier;
    const HostGpu& gpu = host_gpu_strings();
    host_gpu(id.VendorId, id.DeviceId, id.Revision);
    if (id.VendorId == 0) id.VendorId = vendor_id_of(gpu.vendor);
    const char* name = SDL_GetDisplayName(display);
    std::snprintf(id.Driver, sizeof id.Driver, "sdl_%s", driver ? driver : "video");
    if (gpu.renderer.empty())
        std::snprintf(id.Description, sizeof id.Description, "%s", name ? name : "Display");
    else
        std::snprintf(id.Description, sizeof id.Description, "%s %s", gpu.vendor.c_str(),
                      gpu.renderer.c_str());
    SDL_version version;
    SDL_GetVersion(&version);
    id.DriverVersion = std::int64_t{6} << 48 | std::int64_t{14} << 32 | std::int64_t{10} << 16 |
                       (version.major * 1000 + version.minor * 10 + version.patch % 10);
    id.DeviceIdentifier = d3d8_identifier_guid(id.Driver, id.Description, id.VendorId, id.DeviceId);
    adapter.hal = d3d8_hardware_profile();
    return adapter;
}

// A mode of that size in that format, at that rate unless the rate is 0.
bool adapter_has_mode(const D3D8AdapterProfile& adapter, UINT width, UINT height, D3DFORMAT format, UINT rate)
{
    return std::any_of(adapter.modes.begin(), adapter.modes.end(), [&](const D3DDISPLAYMODE& m) {
        return m.Width == width && m.Height == height && m.Format == format &&
               (rate == 0 || m.RefreshRate == rate);
    });
}

bool valid_interval(UINT interval, DWORD supported)
{
    if (interval == D3DPRESENT_INTERVAL_DEFAULT) return true;
    bool known = interval == D3DPRESENT_INTERVAL_ONE || interval == D3DPRESENT_INTERVAL_TWO ||
                 interval == D3DPRESENT_INTERVAL_THREE || interval == D3DPRESENT_INTERVAL_FOUR ||
                 interval == D3DPRESENT_INTERVAL_IMMEDIATE;
    return known && (supported & interval);
}

} // namespace

// ---- Machines ----------------------------------------------------------------------------------
D3D8DeviceTypeProfile d3d8_hardware_profile()
{
    D3D8DeviceTypeProfile profile;
    D3DCAPS8& caps = profile.caps;
    caps.DeviceType = D3DDEVTYPE_HAL;
    caps.Caps2 = D3DCAPS2_FULLSCREENGAMMA | D3DCAPS2_CANRENDERWINDOWED | D3DCAPS2_CANMANAGERESOURCE |
                 D3DCAPS2_DYNAMICTEXTURES;
    caps.PresentationIntervals =
        D3DPRESENT_INTERVAL_IMMEDIATE | D3DPRESENT_INTERVAL_ONE | D3DPRESENT_INTERVAL_TWO;
    caps.DevCaps = D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE | D3DDEVCAPS_HWRASTERIZATION;
    caps.PrimitiveMiscCaps = D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW |
                             D3DPMISCCAPS_COLORWRITEENABLE | D3DPMISCCAPS_BLENDOP;
    caps.ZCmpCaps = caps.AlphaCmpCaps = 0xFF;        // every comparison
    caps.SrcBlendCaps = caps.DestBlendCaps = 0x1FFF; // every blend factor
    caps.TextureFilterCaps = D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR |
                             D3DPTFILTERCAPS_MINFANISOTROPIC | D3DPTFILTERCAPS_MIPFPOINT |
                             D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT |
                             D3DPTFILTERCAPS_MAGFLINEAR | D3DPTFILTERCAPS_MAGFANISOTROPIC;
    caps.TextureAddressCaps = 0x3F; // wrap, mirror, clamp, border, independent u/v, mirror once
    caps.MaxTextureWidth = caps.MaxTextureHeight = 4096;
    caps.MaxTextureRepeat = 8192;
    caps.MaxTextureAspectRatio = 4096;
    caps.MaxAnisotropy = 16;
    caps.MaxVertexW = 1e10f;
    caps.GuardBandLeft = caps.GuardBandTop = -8192.0f;
    caps.GuardBandRight = caps.GuardBandBottom = 8192.0f;
    caps.StencilCaps = 0xFF;
    caps.FVFCaps = 8; // texture coordinate sets
    caps.TextureOpCaps = 0x03FFFFFF;
    caps.MaxTextureBlendStages = caps.MaxSimultaneousTextures = D3D_MAX_TEXTURE_STAGES;
    caps.MaxActiveLights = 8;
    caps.MaxUserClipPlanes = 6;
    caps.MaxVertexBlendMatrices = 4;
    caps.MaxPointSize = 64.0f;
    caps.MaxPrimitiveCount = 0xFFFFF;
    caps.MaxVertexIndex = 0xFFFFFF;
    caps.MaxStreams = D3D_MAX_STREAMS;
    caps.MaxStreamStride = 255;
    caps.VertexShaderVersion = D3DVS_VERSION(1, 1);
    caps.MaxVertexShaderConst = D3D_VS_CONSTANT_REGISTERS;
    profile.display_formats = {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5};
    profile.depth_formats = {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D24S8};
    profile.texture_formats = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5,
                               D3DFMT_A1R5G5B5, D3DFMT_A4R4G4B4, D3DFMT_V8U8,   D3DFMT_DXT1,
                               D3DFMT_DXT3,     D3DFMT_DXT5};
    profile.render_target_formats = {D3DFMT_A8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, D3DFMT_X1R5G5B5,
                                     D3DFMT_A1R5G5B5};
    profile.multisample_fullscreen =
        profile.multisample_windowed = {D3DMULTISAMPLE_2_SAMPLES, D3DMULTISAMPLE_4_SAMPLES};
    return profile;
}

GUID d3d8_identifier_guid(const char* driver, const char* description, DWORD vendor, DWORD device)
{
    std::uint64_t halves[2] = {0xCBF29CE484222325ull, 0x84222325CBF29CE4ull};
    for (std::uint64_t& hash : halves) {
        hash = fnv1a(driver, std::strlen(driver) + 1, hash);
        hash = fnv1a(description, std::strlen(description) + 1, hash);
        hash = fnv1a(&vendor, sizeof vendor, hash);
        hash = fnv1a(&device, sizeof device, hash);
    }
    GUID guid;
    guid.Data1 = static_cast<std::uint32_t>(halves[0] >> 32);
    guid.Data2 = static_cast<std::uint16_t>(halves[0] >> 16);
    guid.Data3 = static_cast<std::uint16_t>((halves[0] & 0x0FFF) | 0x5000); // a name-based GUID
    for (int i = 0; i < 8; ++i)
        guid.Data4[i] = static_cast<std::uint8_t>(halves[1] >> (56 - 8 * i));
    guid.Data4[0] = static_cast<std::uint8_t>((guid.Data4[0] & 0x3F) | 0x80);
    return guid;
}

D3D8Machine d3d8_host_machine()
{
    D3D8Machine machine;
    video_start();
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return machine;
    const char* driver = SDL_GetCurrentVideoDriver();
    for (int display = 0, count = SDL_GetNumVideoDisplays(); display < count; ++display)
        machine.adapters.push_back(host_adapter(display, driver));
    return machine;
}

void d3d8_seam_set_machine(std::optional<D3D8Machine> machine)
{
    g_machine_override = std::move(machine);
}

D3D8Machine d3d8_current_machine()
{
    return g_machine_override ? *g_machine_override : d3d8_host_machine();
}

// ---- IDirect3D8 --------------------------------------------------------------------------------
IDirect3D8* Direct3DCreate8(UINT sdk_version)
{
    if (sdk_version != D3D_SDK_VERSION) return nullptr;
    if (FAILED(d3d8_injected_failure(D3D8Call::Create))) return nullptr;
    if (!g_machine_override) {
        video_start();
        if (!SDL_WasInit(SDL_INIT_VIDEO)) return nullptr;
    }
    return new IDirect3D8(d3d8_current_machine());
}

IDirect3D8::IDirect3D8(D3D8Machine machine) : m_machine(std::make_unique<D3D8Machine>(std::move(machine))) {}

IDirect3D8::~IDirect3D8() = default;

ULONG IDirect3D8::AddRef()
{
    return ++m_refs;
}

ULONG IDirect3D8::Release()
{
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
}

const D3D8Machine& d3d8_machine(const IDirect3D8& d3d)
{
    return *d3d.m_machine;
}

const D3D8AdapterProfile* d3d8_adapter_profile(const IDirect3D8& d3d, UINT adapter)
{
    const D3D8Machine& machine = d3d8_machine(d3d);
    return adapter < machine.adapters.size() ? &machine.adapters[adapter] : nullptr;
}

const D3D8DeviceTypeProfile* d3d8_type_profile(const IDirect3D8& d3d, UINT adapter, D3DDEVTYPE type)
{
    const D3D8AdapterProfile* profile = d3d8_adapter_profile(d3d, adapter);
    if (!profile) return nullptr;
    if (type == D3DDEVTYPE_HAL && profile->hal) return &*profile->hal;
    if (type == D3DDEVTYPE_REF && profile->ref) return &*profile->ref;
    return nullptr;
}

UINT IDirect3D8::GetAdapterCount() const
{
    return static_cast<UINT>(m_machine->adapters.size());
}

HRESULT IDirect3D8::GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER8* identifier) const
{
    const D3D8AdapterProfile* profile = d3d8_adapter_profile(*this, adapter);
    if (!profile || !identifier || (flags & ~D3DENUM_NO_WHQL_LEVEL)) return D3DERR_INVALIDCALL;
    *identifier = profile->identifier;
    // Without the flag the platform looks the driver's certification up; ours is never certified.
    identifier->WHQLLevel = 0;
    return D3D_OK;
}

UINT IDirect3D8::GetAdapterModeCount(UINT adapter) const
{
    const D3D8AdapterProfile* profile = d3d8_adapter_profile(*this, adapter);
    return profile ? static_cast<UINT>(profile->modes.size()) : 0;
}

HRESULT IDirect3D8::EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* display_mode) const
{
    const D3D8AdapterProfile* profile = d3d8_adapter_profile(*this, adapter);
    if (!profile || !display_mode || mode >= profile->modes.size()) return D3DERR_INVALIDCALL;
    *display_mode = profile->modes[mode];
    return D3D_OK;
}

HRESULT IDirect3D8::GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) const
{
    const D3D8AdapterProfile* profile = d3d8_adapter_profile(*this, adapter);
    if (!profile || !mode) return D3DERR_INVALIDCALL;
    *mode = profile->desktop;
    return D3D_OK;
}

HRESULT IDirect3D8::CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT display_format,
                                    D3DFORMAT back_buffer_format, BOOL windowed) const
{
    if (!d3d8_adapter_profile(*this, adapter)) return D3DERR_INVALIDCALL;
    const D3D8DeviceTypeProfile* profile = d3d8_type_profile(*this, adapter, type);
    if (!profile || !contains(profile->display_formats, display_format)) return D3DERR_NOTAVAILABLE;
    bool alpha_variant = display_format == D3DFMT_X8R8G8B8 && back_buffer_format == D3DFMT_A8R8G8B8;
    if (back_buffer_format != display_format && !alpha_variant) return D3DERR_NOTAVAILABLE;
    if (windowed) {
        if (!(profile->caps.Caps2 & D3DCAPS2_CANRENDERWINDOWED)) return D3DERR_NOTAVAILABLE;
        if (display_format != d3d8_adapter_profile(*this, adapter)->desktop.Format)
            return D3DERR_NOTAVAILABLE;
    }
    return D3D_OK;
}

HRESULT IDirect3D8::CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format, DWORD usage,
                                      D3DRESOURCETYPE resource_type, D3DFORMAT check_format) const
{
    if (!d3d8_adapter_profile(*this, adapter)) return D3DERR_INVALIDCALL;
    const D3D8DeviceTypeProfile* profile = d3d8_type_profile(*this, adapter, type);
    if (!profile || !contains(profile->display_formats, adapter_format)) return D3DERR_NOTAVAILABLE;
    bool supported;
    if (usage & D3DUSAGE_DEPTHSTENCIL)
        supported = resource_type == D3DRTYPE_SURFACE && contains(profile->depth_formats, check_format);
    else if (usage & D3DUSAGE_RENDERTARGET)
        supported = contains(profile->render_target_formats, check_format);
    else if (resource_type == D3DRTYPE_TEXTURE)
        supported = contains(profile->texture_formats, check_format);
    else if (resource_type == D3DRTYPE_SURFACE)
        supported = contains(profile->texture_formats, check_format) ||
                    contains(profile->display_formats, check_format);
    else
        supported = false;
    return supported ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT IDirect3D8::CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surface_format,
                                               BOOL windowed, D3DMULTISAMPLE_TYPE samples) const
{
    if (!d3d8_adapter_profile(*this, adapter)) return D3DERR_INVALIDCALL;
    const D3D8DeviceTypeProfile* profile = d3d8_type_profile(*this, adapter, type);
    if (!profile) return D3DERR_NOTAVAILABLE;
    if (samples == D3DMULTISAMPLE_NONE) return D3D_OK;
    bool format_ok = contains(profile->display_formats, surface_format) ||
                     contains(profile->render_target_formats, surface_format) ||
                     contains(profile->depth_formats, surface_format);
    const auto& table = windowed ? profile->multisample_windowed : profile->multisample_fullscreen;
    return format_ok && contains(table, samples) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT IDirect3D8::CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format,
                                           D3DFORMAT render_target_format,
                                           D3DFORMAT depth_stencil_format) const
{
    if (!d3d8_adapter_profile(*this, adapter)) return D3DERR_INVALIDCALL;
    const D3D8DeviceTypeProfile* profile = d3d8_type_profile(*this, adapter, type);
    if (!profile || !contains(profile->display_formats, adapter_format)) return D3DERR_NOTAVAILABLE;
    bool target_ok = contains(profile->display_formats, render_target_format) ||
                     contains(profile->render_target_formats, render_target_format);
    return target_ok && contains(profile->depth_formats, depth_stencil_format) ? D3D_OK : D3DERR_NOTAVAILABLE;
}

HRESULT IDirect3D8::GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) const
{
    if (!d3d8_adapter_profile(*this, adapter) || !caps) return D3DERR_INVALIDCALL;
    const D3D8DeviceTypeProfile* profile = d3d8_type_profile(*this, adapter, type);
    if (!profile) return D3DERR_NOTAVAILABLE;
    *caps = profile->caps;
    caps->DeviceType = type;
    caps->AdapterOrdinal = adapter;
    return D3D_OK;
}

HRESULT d3d8_check_present_parameters(const IDirect3D8& d3d, UINT adapter, D3DDEVTYPE type, HWND window,
                                      D3DPRESENT_PARAMETERS& params)
{
    const D3D8AdapterProfile* profile = d3d8_adapter_profile(d3d, adapter);
    const D3D8DeviceTypeProfile* device = d3d8_type_profile(d3d, adapter, type);
    if (!profile || !device) return D3DERR_INVALIDCALL;
    if (params.BackBufferCount > D3DPRESENT_BACK_BUFFERS_MAX) return D3DERR_INVALIDCALL;
    if (params.SwapEffect < D3DSWAPEFFECT_DISCARD || params.SwapEffect > D3DSWAPEFFECT_COPY_VSYNC)
        return D3DERR_INVALIDCALL;
    if (params.MultiSampleType != D3DMULTISAMPLE_NONE &&
        (params.SwapEffect != D3DSWAPEFFECT_DISCARD || (params.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER)))
        return D3DERR_INVALIDCALL;
    if (params.Windowed) {
        if (params.FullScreen_RefreshRateInHz != 0 ||
            params.FullScreen_PresentationInterval != D3DPRESENT_INTERVAL_DEFAULT)
            return D3DERR_INVALIDCALL;
        if (FAILED(
                d3d.CheckDeviceType(adapter, type, profile->desktop.Format, params.BackBufferFormat, TRUE)))
            return D3DERR_INVALIDCALL;
        if (params.BackBufferWidth == 0 || params.BackBufferHeight == 0) {
            RECT client{};
            if (!GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0)
                return D3DERR_INVALIDCALL;
            if (params.BackBufferWidth == 0) params.BackBufferWidth = static_cast<UINT>(client.right);
            if (params.BackBufferHeight == 0) params.BackBufferHeight = static_cast<UINT>(client.bottom);
        }
        if (params.BackBufferWidth > device->caps.MaxTextureWidth ||
            params.BackBufferHeight > device->caps.MaxTextureHeight)
            return D3DERR_INVALIDCALL;
    } else {
        if (FAILED(
                d3d.CheckDeviceType(adapter, type, params.BackBufferFormat, params.BackBufferFormat, FALSE)))
            return D3DERR_INVALIDCALL;
        if (!adapter_has_mode(*profile, params.BackBufferWidth, params.BackBufferHeight,
                              params.BackBufferFormat, params.FullScreen_RefreshRateInHz))
            return D3DERR_INVALIDCALL;
        if (!valid_interval(params.FullScreen_PresentationInterval, device->caps.PresentationIntervals))
            return D3DERR_INVALIDCALL;
    }
    D3DFORMAT display = params.Windowed ? profile->desktop.Format : params.BackBufferFormat;
    if (FAILED(d3d.CheckDeviceMultiSampleType(adapter, type, params.BackBufferFormat, params.Windowed,
                                              params.MultiSampleType)))
        return D3DERR_INVALIDCALL;
    if (params.EnableAutoDepthStencil &&
        (FAILED(d3d.CheckDeviceFormat(adapter, type, display, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                      params.AutoDepthStencilFormat)) ||
         FAILED(d3d.CheckDepthStencilMatch(adapter, type, display, params.BackBufferFormat,
                                           params.AutoDepthStencilFormat))))
        return D3DERR_INVALIDCALL;
    if (params.BackBufferCount == 0) params.BackBufferCount = 1;
    return D3D_OK;
}

HRESULT IDirect3D8::CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus_window, DWORD behavior_flags,
                                 D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** device)
{
    if (!device || !params || !d3d8_adapter_profile(*this, adapter)) return D3DERR_INVALIDCALL;
    *device = nullptr;
    const D3D8DeviceTypeProfile* profile = d3d8_type_profile(*this, adapter, type);
    if (!profile) return D3DERR_NOTAVAILABLE;
    HWND window = params->hDeviceWindow ? params->hDeviceWindow : focus_window;
    if (!window) return D3DERR_INVALIDCALL;

    DWORD processing =
        behavior_flags & (D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_HARDWARE_VERTEXPROCESSING |
                          D3DCREATE_MIXED_VERTEXPROCESSING);
    bool one_kind = processing == D3DCREATE_SOFTWARE_VERTEXPROCESSING ||
                    processing == D3DCREATE_HARDWARE_VERTEXPROCESSING ||
                    processing == D3DCREATE_MIXED_VERTEXPROCESSING;
    if (!one_kind) return D3DERR_INVALIDCALL;
    bool hardware_tnl = profile->caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    if (processing != D3DCREATE_SOFTWARE_VERTEXPROCESSING && !hardware_tnl) return D3DERR_INVALIDCALL;
    if ((behavior_flags & D3DCREATE_PUREDEVICE) && (processing != D3DCREATE_HARDWARE_VERTEXPROCESSING ||
                                                    !(profile->caps.DevCaps & D3DDEVCAPS_PUREDEVICE)))
        return D3DERR_INVALIDCALL;

    HRESULT hr = d3d8_injected_failure(D3D8Call::CreateDevice);
    if (FAILED(hr)) return hr;
    D3DPRESENT_PARAMETERS checked = *params;
    hr = d3d8_check_present_parameters(*this, adapter, type, window, checked);
    if (FAILED(hr)) return hr;

    D3DCAPS8 caps;
    GetDeviceCaps(adapter, type, &caps);
    auto* created = new IDirect3DDevice8(*this, adapter, type, window, behavior_flags, checked, caps);
    hr = created->create_swap_chain(checked);
    if (SUCCEEDED(hr)) {
        if (D3D8BackendFactory factory = d3d8_backend_factory()) created->m_backend = factory(*created);
        if (created->m_backend) hr = created->m_backend->reset(*created, checked);
    }
    if (FAILED(hr)) {
        created->Release();
        return hr;
    }
    *params = checked;
    *device = created;
    return D3D_OK;
}
