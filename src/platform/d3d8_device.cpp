// The device of the Direct3D 8 stand-in: its state, resource creation, scenes, clears, draws,
// presents, the lost-device cycle and resets.
#include "platform/impl/d3d8_internal.h"
#include "platform/impl/win_window_sdl.h"

#include <SDL.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <set>

namespace {

DWORD float_bits(float value)
{
    return std::bit_cast<DWORD>(value);
}

UINT max_levels(UINT width, UINT height)
{
    UINT levels = 1;
    for (UINT size = std::max(width, height); size > 1; size >>= 1)
        ++levels;
    return levels;
}

UINT index_bytes(const IDirect3DIndexBuffer8& buffer)
{
    return d3d8_buffer_desc(buffer).Format == D3DFMT_INDEX32 ? 4 : 2;
}

UINT stencil_bits(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_D15S1:
        return 1;
    case D3DFMT_D24S8:
        return 8;
    case D3DFMT_D24X4S4:
        return 4;
    default:
        return 0;
    }
}

// What a clear does to each depth-buffer texel: the bits it keeps and the bits it sets (depth in
// the high bits, stencil in the low bits, as the formats are laid out). Worked out once a clear.
struct DepthClear {
    std::uint64_t keep = ~std::uint64_t{0};
    std::uint64_t set = 0;
};

DepthClear depth_clear(D3DFORMAT format, DWORD flags, float z, DWORD stencil)
{
    UINT bytes = d3d8_format_bytes(format);
    UINT s_bits = stencil_bits(format);
    UINT d_bits = format == D3DFMT_D24X8 || format == D3DFMT_D24S8 || format == D3DFMT_D24X4S4
                      ? 24
                      : (format == D3DFMT_D15S1 ? 15 : bytes * 8);
    UINT d_shift = bytes * 8 - d_bits;
    DepthClear clear;
    if (flags & D3DCLEAR_ZBUFFER) {
        std::uint64_t max = (std::uint64_t{1} << d_bits) - 1;
        std::uint64_t depth = static_cast<std::uint64_t>(std::lround(double(z) * double(max)));
        clear.keep &= ~(max << d_shift);
        clear.set |= depth << d_shift;
    }
    if ((flags & D3DCLEAR_STENCIL) && s_bits) {
        std::uint64_t mask = (std::uint64_t{1} << s_bits) - 1;
        clear.keep &= ~mask;
        clear.set |= stencil & mask;
    }
    return clear;
}

template <class Word> void apply_depth_clear(std::uint8_t* texel, const DepthClear& clear)
{
    Word value;
    std::memcpy(&value, texel, sizeof value);
    value = static_cast<Word>((value & clear.keep) | clear.set);
    std::memcpy(texel, &value, sizeof value);
}

// Each texel of the area (clipped to the surface) keeps what the clear leaves of it.
template <class Word> void write_depth_rows(IDirect3DSurface8& surface, RECT area, const DepthClear& clear)
{
    const D3DSURFACE_DESC& desc = d3d8_surface_desc(surface);
    for (LONG y = area.top; y < std::min(area.bottom, LONG(desc.Height)); ++y) {
        std::uint8_t* row = d3d8_surface_bits(surface) + std::size_t(y) * d3d8_surface_pitch(surface);
        for (LONG x = area.left; x < std::min(area.right, LONG(desc.Width)); ++x)
            apply_depth_clear<Word>(row + std::size_t(x) * sizeof(Word), clear);
    }
}

void write_depth_texels(IDirect3DSurface8& surface, RECT area, const DepthClear& clear)
{
    if (d3d8_format_bytes(d3d8_surface_desc(surface).Format) == 2)
        write_depth_rows<std::uint16_t>(surface, area, clear);
    else
        write_depth_rows<std::uint32_t>(surface, area, clear);
}

// Repeats the first pixel of a run over the whole run, by doubling copies.
void repeat_first_pixel(std::uint8_t* run, std::size_t pixels, std::size_t bytes)
{
    for (std::size_t done = 1; done < pixels;) {
        std::size_t n = std::min(done, pixels - done);
        std::memcpy(run + done * bytes, run, n * bytes);
        done += n;
    }
}

// Writes the area's first texel with `write`, then copies it over the area; the area is clipped
// to the surface.
template <class Write> void fill_area(IDirect3DSurface8& surface, RECT area, Write write)
{
    const D3DSURFACE_DESC& desc = d3d8_surface_desc(surface);
    area.right = std::min(area.right, LONG(desc.Width));
    area.bottom = std::min(area.bottom, LONG(desc.Height));
    if (area.left >= area.right || area.top >= area.bottom) return;
    const std::size_t bytes = d3d8_format_bytes(desc.Format);
    const std::size_t pixels = std::size_t(area.right - area.left);
    std::uint8_t* first = d3d8_surface_bits(surface) + std::size_t(area.top) * d3d8_surface_pitch(surface) +
                          std::size_t(area.left) * bytes;
    write(first);
    repeat_first_pixel(first, pixels, bytes);
    for (LONG y = area.top + 1; y < area.bottom; ++y)
        std::memcpy(first + std::size_t(y - area.top) * d3d8_surface_pitch(surface), first, pixels * bytes);
}

bool intersect(RECT& a, const RECT& b)
{
    a.left = std::max(a.left, b.left);
    a.top = std::max(a.top, b.top);
    a.right = std::min(a.right, b.right);
    a.bottom = std::min(a.bottom, b.bottom);
    return a.left < a.right && a.top < a.bottom;
}

} // namespace

UINT d3d8_fvf_stride(DWORD fvf)
{
    UINT sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (sets > D3DDP_MAXTEXCOORD) return 0;
    UINT stride = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ:
        stride = 12;
        break;
    case D3DFVF_XYZRHW:
        stride = 16;
        break;
    case 0:
        break;
    default: // XYZ with 1 to 5 blend weights
        stride = 12 + 4 * (((fvf & D3DFVF_POSITION_MASK) - 4) / 2);
        break;
    }
    if (fvf & D3DFVF_NORMAL) stride += 12;
    if (fvf & D3DFVF_PSIZE) stride += 4;
    if (fvf & D3DFVF_DIFFUSE) stride += 4;
    if (fvf & D3DFVF_SPECULAR) stride += 4;
    for (UINT set = 0; set < sets; ++set) {
        // Two bits per set from bit 16: 0 two floats, 1 three, 2 four, 3 one.
        static constexpr UINT k_floats[4] = {2, 3, 4, 1};
        stride += 4 * k_floats[(fvf >> (16 + 2 * set)) & 3];
    }
    return stride;
}

UINT d3d8_primitive_vertices(D3DPRIMITIVETYPE type, UINT count)
{
    switch (type) {
    case D3DPT_POINTLIST:
        return count;
    case D3DPT_LINELIST:
        return 2 * count;
    case D3DPT_LINESTRIP:
        return count + 1;
    case D3DPT_TRIANGLELIST:
        return 3 * count;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
        return count + 2;
    }
    return 0;
}

// ---- Life ----------------------------------------------------------------------------------------
IDirect3DDevice8::IDirect3DDevice8(IDirect3D8& d3d, UINT adapter, D3DDEVTYPE type, HWND window, DWORD flags,
                                   const D3DPRESENT_PARAMETERS& params, const D3DCAPS8& caps)
    : m_d3d(&d3d), m_adapter(adapter), m_type(type), m_window(window), m_flags(flags), m_caps(caps),
      m_params(params), m_record(std::make_unique<D3D8DeviceRecord>()), m_state(m_record->state),
      m_counts(m_record->counts)
{
    d3d.AddRef();
    for (int i = 0; i < 256; ++i) {
        WORD value = static_cast<WORD>(i * 0x101);
        m_state.gamma_ramp.red[i] = m_state.gamma_ramp.green[i] = m_state.gamma_ramp.blue[i] = value;
    }
}

IDirect3DDevice8::~IDirect3DDevice8()
{
    release_bindings();
    release_swap_chain();
    for (auto& shader : m_shaders)
        if (shader && m_backend) m_backend->shader_deleted(*shader);
    m_shaders.clear();
    m_backend.reset();
    m_d3d->Release();
}

ULONG IDirect3DDevice8::AddRef()
{
    return ++m_refs;
}

ULONG IDirect3DDevice8::Release()
{
    if (m_refs == 0) return 0;
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
}

HRESULT IDirect3DDevice8::create_swap_chain(const D3DPRESENT_PARAMETERS& params)
{
    D3DSURFACE_DESC desc{
        params.BackBufferFormat, D3DRTYPE_SURFACE,       D3DUSAGE_RENDERTARGET,  D3DPOOL_DEFAULT, 0,
        params.MultiSampleType,  params.BackBufferWidth, params.BackBufferHeight};
    auto implicit = [this](const D3DSURFACE_DESC& surface_desc) {
        auto* surface = new IDirect3DSurface8(*this, surface_desc, nullptr, 0);
        surface->m_implicit = true;
        surface->m_refs = 0;
        return surface;
    };
    m_back_buffer = implicit(desc);
    m_back_buffer->m_lockable = params.Flags & D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
    desc.MultiSampleType = D3DMULTISAMPLE_NONE;
    m_front_buffer = implicit(desc);
    if (params.EnableAutoDepthStencil) {
        D3DSURFACE_DESC depth{
            params.AutoDepthStencilFormat, D3DRTYPE_SURFACE,       D3DUSAGE_DEPTHSTENCIL,  D3DPOOL_DEFAULT, 0,
            params.MultiSampleType,        params.BackBufferWidth, params.BackBufferHeight};
        m_auto_depth = implicit(depth);
    }
    set_default_state();
    return apply_window_mode(params);
}

void IDirect3DDevice8::release_swap_chain()
{
    for (IDirect3DSurface8** surface : {&m_back_buffer, &m_front_buffer, &m_auto_depth}) {
        delete *surface;
        *surface = nullptr;
    }
}

// Full screen covers the desktop of the window's display; the host's display mode is never
// changed, the backend scales the back buffer instead.
HRESULT IDirect3DDevice8::apply_window_mode(const D3DPRESENT_PARAMETERS& params)
{
    SDL_Window* sdl = window_sdl(m_window);
    if (!sdl) return D3D_OK;
    Uint32 wanted = params.Windowed ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP;
    if ((SDL_GetWindowFlags(sdl) & SDL_WINDOW_FULLSCREEN_DESKTOP) == wanted) return D3D_OK;
    return SDL_SetWindowFullscreen(sdl, wanted) == 0 ? D3D_OK : D3DERR_NOTAVAILABLE;
}

void IDirect3DDevice8::set_default_state()
{
    D3DDeviceState& s = m_state;
    std::fill(std::begin(s.render), std::end(s.render), 0u);
    DWORD* rs = s.render;
    rs[D3DRS_ZENABLE] = m_params.EnableAutoDepthStencil ? D3DZB_TRUE : D3DZB_FALSE;
    rs[D3DRS_FILLMODE] = D3DFILL_SOLID;
    rs[D3DRS_SHADEMODE] = D3DSHADE_GOURAUD;
    rs[D3DRS_ZWRITEENABLE] = TRUE;
    rs[D3DRS_LASTPIXEL] = TRUE;
    rs[D3DRS_SRCBLEND] = D3DBLEND_ONE;
    rs[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
    rs[D3DRS_CULLMODE] = D3DCULL_CCW;
    rs[D3DRS_ZFUNC] = D3DCMP_LESSEQUAL;
    rs[D3DRS_ALPHAFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_FOGEND] = float_bits(1.0f);
    rs[D3DRS_FOGDENSITY] = float_bits(1.0f);
    rs[D3DRS_STENCILFAIL] = rs[D3DRS_STENCILZFAIL] = rs[D3DRS_STENCILPASS] = D3DSTENCILOP_KEEP;
    rs[D3DRS_STENCILFUNC] = D3DCMP_ALWAYS;
    rs[D3DRS_STENCILMASK] = rs[D3DRS_STENCILWRITEMASK] = 0xFFFFFFFF;
    rs[D3DRS_TEXTUREFACTOR] = 0xFFFFFFFF;
    rs[D3DRS_CLIPPING] = TRUE;
    rs[D3DRS_LIGHTING] = TRUE;
    rs[D3DRS_COLORVERTEX] = TRUE;
    rs[D3DRS_LOCALVIEWER] = TRUE;
    rs[D3DRS_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
    rs[D3DRS_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
    rs[D3DRS_SOFTWAREVERTEXPROCESSING] = (m_flags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) ? TRUE : FALSE;
    rs[D3DRS_POINTSIZE] = float_bits(1.0f);
    rs[D3DRS_POINTSCALE_A] = float_bits(1.0f);
    rs[D3DRS_MULTISAMPLEANTIALIAS] = TRUE;
    rs[D3DRS_MULTISAMPLEMASK] = 0xFFFFFFFF;
    rs[D3DRS_PATCHSEGMENTS] = float_bits(1.0f);
    rs[D3DRS_POINTSIZE_MAX] = float_bits(m_caps.MaxPointSize);
    rs[D3DRS_COLORWRITEENABLE] = 0xF;
    rs[D3DRS_BLENDOP] = D3DBLENDOP_ADD;
    rs[D3DRS_POSITIONORDER] = D3DORDER_CUBIC;
    rs[D3DRS_NORMALORDER] = D3DORDER_LINEAR;

    for (DWORD stage = 0; stage < D3D_MAX_TEXTURE_STAGES; ++stage) {
        DWORD* ts = s.stage[stage];
        std::fill(ts, ts + D3D_STAGE_STATE_COUNT, 0u);
        ts[D3DTSS_COLOROP] = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        ts[D3DTSS_ALPHAOP] = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        ts[D3DTSS_COLORARG1] = ts[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        ts[D3DTSS_COLORARG2] = ts[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        ts[D3DTSS_COLORARG0] = ts[D3DTSS_ALPHAARG0] = ts[D3DTSS_RESULTARG] = D3DTA_CURRENT;
        ts[D3DTSS_TEXCOORDINDEX] = stage;
        ts[D3DTSS_ADDRESSU] = ts[D3DTSS_ADDRESSV] = ts[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
        ts[D3DTSS_MAGFILTER] = ts[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        ts[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        ts[D3DTSS_MAXANISOTROPY] = 1;
        ts[D3DTSS_TEXTURETRANSFORMFLAGS] = D3DTTFF_DISABLE;
    }
    std::fill(std::begin(s.textures), std::end(s.textures), nullptr);
    std::fill(std::begin(s.streams), std::end(s.streams), D3DStreamBinding{});
    s.indices = nullptr;
    s.base_vertex = 0;
    s.vertex_shader = 0;
    std::memset(s.vs_constants, 0, sizeof s.vs_constants);
    s.viewport = {0, 0, m_params.BackBufferWidth, m_params.BackBufferHeight, 0.0f, 1.0f};
    s.render_target = m_back_buffer;
    m_back_buffer->bind();
    s.depth_stencil = m_auto_depth;
    if (m_auto_depth) m_auto_depth->bind();
    s.in_scene = false;
}

void IDirect3DDevice8::release_bindings()
{
    D3DDeviceState& s = m_state;
    auto drop = [](auto*& resource) {
        auto* held = resource;
        resource = nullptr;
        if (held) held->unbind();
    };
    for (auto*& texture : s.textures)
        drop(texture);
    for (D3DStreamBinding& stream : s.streams)
        drop(stream.buffer);
    drop(s.indices);
    drop(s.render_target);
    drop(s.depth_stencil);
}

void IDirect3DDevice8::track(IDirect3DResource8& resource)
{
    m_resources.push_back(&resource);
    if (m_backend) m_backend->resource_created(resource);
}

void IDirect3DDevice8::forget(IDirect3DResource8& resource)
{
    std::erase(m_resources, &resource);
}

std::size_t IDirect3DDevice8::default_pool_holds() const
{
    std::size_t holds =
        std::count_if(m_resources.begin(), m_resources.end(), [](const IDirect3DResource8* r) {
            return r->m_pool == D3DPOOL_DEFAULT && r->m_refs > 0;
        });
    if (m_back_buffer && m_back_buffer->m_refs > 0) ++holds;
    if (m_auto_depth && m_auto_depth->m_refs > 0) ++holds;
    return holds;
}

D3DFORMAT IDirect3DDevice8::adapter_format() const
{
    return m_params.Windowed ? d3d8_adapter_profile(*m_d3d, m_adapter)->desktop.Format
                             : m_params.BackBufferFormat;
}

// ---- Lost device and reset -------------------------------------------------------------------------
HRESULT IDirect3DDevice8::TestCooperativeLevel()
{
    if (std::optional<HRESULT> next = d3d8_next_cooperative()) {
        if (*next == D3D_OK || *next == D3DERR_DEVICELOST || *next == D3DERR_DEVICENOTRESET)
            m_cooperative = *next;
        return *next;
    }
    if (m_cooperative == D3DERR_DEVICELOST) m_cooperative = D3DERR_DEVICENOTRESET;
    return m_cooperative;
}

HRESULT IDirect3DDevice8::Reset(D3DPRESENT_PARAMETERS* params)
{
    ++m_counts.resets;
    if (!params) return D3DERR_INVALIDCALL;
    if (m_cooperative == D3DERR_DEVICELOST) return D3DERR_DEVICELOST;
    HRESULT hr = d3d8_injected_failure(D3D8Call::Reset);
    D3DPRESENT_PARAMETERS checked = *params;
    if (SUCCEEDED(hr) && default_pool_holds() > 0) hr = D3DERR_INVALIDCALL;
    HWND window = checked.hDeviceWindow ? checked.hDeviceWindow : m_window;
    if (SUCCEEDED(hr)) hr = d3d8_check_present_parameters(*m_d3d, m_adapter, m_type, window, checked);
    if (SUCCEEDED(hr)) {
        release_bindings();
        release_swap_chain();
        m_params = checked;
        hr = create_swap_chain(checked);
    }
    if (SUCCEEDED(hr) && m_backend) hr = m_backend->reset(*this, checked);
    // A failed reset leaves the device waiting for the next one.
    if (FAILED(hr)) {
        m_cooperative = D3DERR_DEVICENOTRESET;
        return hr;
    }
    m_cooperative = D3D_OK;
    *params = checked;
    return D3D_OK;
}

// ---- Presentation ------------------------------------------------------------------------------
HRESULT IDirect3DDevice8::Present(const RECT* source, const RECT* dest, HWND override_window,
                                  const RGNDATA* dirty)
{
    // Partial presents exist for the copy swap effects only; the stand-in offers whole frames.
    if (source || dest || dirty || (override_window && override_window != m_window))
        return D3DERR_INVALIDCALL;
    HRESULT hr = d3d8_injected_failure(D3D8Call::Present);
    if (FAILED(hr)) return hr;
    if (m_cooperative != D3D_OK) return D3DERR_DEVICELOST;
    ++m_counts.presents;
    d3d8_seam_note_present(m_window);
    if (m_backend) return m_backend->present(m_state);
    std::memcpy(d3d8_surface_bits(*m_front_buffer), d3d8_surface_bits(*m_back_buffer),
                d3d8_surface_desc(*m_back_buffer).Size);
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** surface)
{
    if (!surface || type != D3DBACKBUFFER_TYPE_MONO || index >= m_params.BackBufferCount)
        return D3DERR_INVALIDCALL;
    // With a discarding swap chain the buffers behind the first are never seen apart: one
    // surface serves every index.
    m_back_buffer->AddRef();
    *surface = m_back_buffer;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetDepthStencilSurface(IDirect3DSurface8** surface)
{
    if (!surface) return D3DERR_INVALIDCALL;
    *surface = m_state.depth_stencil;
    if (!*surface) return D3DERR_NOTFOUND;
    (*surface)->AddRef();
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetRenderTarget(IDirect3DSurface8** surface)
{
    if (!surface) return D3DERR_INVALIDCALL;
    m_state.render_target->AddRef();
    *surface = m_state.render_target;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::SetRenderTarget(IDirect3DSurface8* target, IDirect3DSurface8* depth_stencil)
{
    IDirect3DSurface8* new_target = target ? target : m_state.render_target;
    const D3DSURFACE_DESC& desc = d3d8_surface_desc(*new_target);
    if (!(desc.Usage & D3DUSAGE_RENDERTARGET)) return D3DERR_INVALIDCALL;
    if (depth_stencil && (!(d3d8_surface_desc(*depth_stencil).Usage & D3DUSAGE_DEPTHSTENCIL) ||
                          d3d8_surface_desc(*depth_stencil).Width < desc.Width ||
                          d3d8_surface_desc(*depth_stencil).Height < desc.Height))
        return D3DERR_INVALIDCALL;
    ++m_counts.render_targets;
    new_target->bind();
    if (depth_stencil) depth_stencil->bind();
    IDirect3DSurface8* old_target = m_state.render_target;
    IDirect3DSurface8* old_depth = m_state.depth_stencil;
    m_state.render_target = new_target;
    m_state.depth_stencil = depth_stencil;
    m_state.viewport = {0, 0, desc.Width, desc.Height, 0.0f, 1.0f};
    if (old_target) old_target->unbind();
    if (old_depth) old_depth->unbind();
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetFrontBuffer(IDirect3DSurface8* dest)
{
    D3DDISPLAYMODE mode;
    GetDisplayMode(&mode);
    if (!dest || d3d8_lock_record(*dest).locked()) return D3DERR_INVALIDCALL;
    const D3DSURFACE_DESC& desc = d3d8_surface_desc(*dest);
    if (desc.Format != D3DFMT_A8R8G8B8 || desc.Width != mode.Width || desc.Height != mode.Height)
        return D3DERR_INVALIDCALL;
    if (m_backend) m_backend->read_back(*m_front_buffer);

    POINT origin{0, 0};
    if (m_params.Windowed) ClientToScreen(m_window, &origin);
    const D3DSURFACE_DESC& front = d3d8_surface_desc(*m_front_buffer);
    RECT area{origin.x, origin.y, origin.x + LONG(front.Width), origin.y + LONG(front.Height)};
    bool visible = intersect(area, RECT{0, 0, LONG(desc.Width), LONG(desc.Height)});
    for (UINT y = 0; y < desc.Height; ++y) {
        std::uint8_t* row = d3d8_surface_bits(*dest) + std::size_t(y) * d3d8_surface_pitch(*dest);
        for (UINT x = 0; x < desc.Width; ++x) {
            DWORD pixel = 0xFF000000;
            if (visible && LONG(x) >= area.left && LONG(x) < area.right && LONG(y) >= area.top &&
                LONG(y) < area.bottom)
                pixel = d3d8_read_argb(front.Format,
                                       d3d8_surface_bits(*m_front_buffer) +
                                           std::size_t(y - origin.y) * d3d8_surface_pitch(*m_front_buffer) +
                                           std::size_t(x - origin.x) * d3d8_format_bytes(front.Format));
            d3d8_write_argb(D3DFMT_A8R8G8B8, row + std::size_t(x) * 4, pixel | 0xFF000000);
        }
    }
    return D3D_OK;
}

void IDirect3DDevice8::SetGammaRamp(DWORD flags, const D3DGAMMARAMP* ramp)
{
    if (!ramp) return;
    ++m_counts.gamma_ramps;
    m_state.gamma_ramp = *ramp;
    m_state.gamma_flags = flags;
    if (m_backend) m_backend->gamma_changed(*ramp, flags);
}

void IDirect3DDevice8::GetGammaRamp(D3DGAMMARAMP* ramp) const
{
    if (ramp) *ramp = m_state.gamma_ramp;
}

BOOL IDirect3DDevice8::ShowCursor(BOOL show)
{
    BOOL was_shown = m_state.cursor_shown;
    m_state.cursor_shown = show ? TRUE : FALSE;
    return was_shown;
}

HRESULT IDirect3DDevice8::GetDeviceCaps(D3DCAPS8* caps) const
{
    if (!caps) return D3DERR_INVALIDCALL;
    *caps = m_caps;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetDisplayMode(D3DDISPLAYMODE* mode) const
{
    if (!mode) return D3DERR_INVALIDCALL;
    if (m_params.Windowed) return m_d3d->GetAdapterDisplayMode(m_adapter, mode);
    *mode = {m_params.BackBufferWidth, m_params.BackBufferHeight, m_params.FullScreen_RefreshRateInHz,
             m_params.BackBufferFormat};
    return D3D_OK;
}

// ---- Resource creation -------------------------------------------------------------------------
IDirect3DSurface8* IDirect3DDevice8::new_surface(const D3DSURFACE_DESC& desc, bool lockable)
{
    auto* surface = new IDirect3DSurface8(*this, desc, nullptr, 0);
    surface->m_lockable = lockable;
    AddRef();
    track(*surface);
    return surface;
}

HRESULT IDirect3DDevice8::CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                        D3DPOOL pool, IDirect3DTexture8** texture)
{
    if (!texture || width == 0 || height == 0 || pool > D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
    *texture = nullptr;
    if (usage & ~(D3DUSAGE_RENDERTARGET | D3DUSAGE_DYNAMIC)) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_RENDERTARGET) && pool != D3DPOOL_DEFAULT) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if (width > m_caps.MaxTextureWidth || height > m_caps.MaxTextureHeight) return D3DERR_INVALIDCALL;
    if (FAILED(m_d3d->CheckDeviceFormat(m_adapter, m_type, adapter_format(), usage & D3DUSAGE_RENDERTARGET,
                                        D3DRTYPE_TEXTURE, format)))
        return D3DERR_INVALIDCALL;
    UINT most = max_levels(width, height);
    if (levels == 0) levels = most;
    if (levels > most) return D3DERR_INVALIDCALL;
    HRESULT hr = d3d8_injected_failure(D3D8Call::CreateTexture);
    if (FAILED(hr)) return hr;
    auto* created = new IDirect3DTexture8(*this, width, height, levels, usage, format, pool);
    AddRef();
    track(*created);
    *texture = created;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                                             IDirect3DVertexBuffer8** buffer)
{
    if (!buffer || length == 0 || pool > D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
    // A format must describe a vertex the platform can hold, and the buffer at least one of them.
    UINT stride = d3d8_fvf_stride(fvf);
    if (fvf && (stride == 0 || length < stride)) return D3DERR_INVALIDCALL;
    HRESULT hr = d3d8_injected_failure(D3D8Call::CreateVertexBuffer);
    if (FAILED(hr)) return hr;
    auto* created = new IDirect3DVertexBuffer8(
        *this, {D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage, pool, length, fvf});
    AddRef();
    track(*created);
    *buffer = created;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                            IDirect3DIndexBuffer8** buffer)
{
    if (!buffer || pool > D3DPOOL_SYSTEMMEM) return D3DERR_INVALIDCALL;
    *buffer = nullptr;
    if (format != D3DFMT_INDEX16 && format != D3DFMT_INDEX32) return D3DERR_INVALIDCALL;
    if (length < d3d8_format_bytes(format)) return D3DERR_INVALIDCALL;
    if ((usage & D3DUSAGE_DYNAMIC) && pool == D3DPOOL_MANAGED) return D3DERR_INVALIDCALL;
    if (usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL)) return D3DERR_INVALIDCALL;
    HRESULT hr = d3d8_injected_failure(D3D8Call::CreateIndexBuffer);
    if (FAILED(hr)) return hr;
    auto* created = new IDirect3DIndexBuffer8(*this, {format, D3DRTYPE_INDEXBUFFER, usage, pool, length});
    AddRef();
    track(*created);
    *buffer = created;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::CreateRenderTarget(UINT width, UINT height, D3DFORMAT format,
                                             D3DMULTISAMPLE_TYPE samples, BOOL lockable,
                                             IDirect3DSurface8** surface)
{
    if (!surface || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (lockable && samples != D3DMULTISAMPLE_NONE) return D3DERR_INVALIDCALL;
    if (FAILED(m_d3d->CheckDeviceFormat(m_adapter, m_type, adapter_format(), D3DUSAGE_RENDERTARGET,
                                        D3DRTYPE_SURFACE, format)) ||
        FAILED(m_d3d->CheckDeviceMultiSampleType(m_adapter, m_type, format, m_params.Windowed, samples)))
        return D3DERR_INVALIDCALL;
    HRESULT hr = d3d8_injected_failure(D3D8Call::CreateRenderTarget);
    if (FAILED(hr)) return hr;
    *surface = new_surface(
        {format, D3DRTYPE_SURFACE, D3DUSAGE_RENDERTARGET, D3DPOOL_DEFAULT, 0, samples, width, height},
        lockable);
    return D3D_OK;
}

HRESULT IDirect3DDevice8::CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format,
                                                    D3DMULTISAMPLE_TYPE samples, IDirect3DSurface8** surface)
{
    if (!surface || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    if (FAILED(m_d3d->CheckDeviceFormat(m_adapter, m_type, adapter_format(), D3DUSAGE_DEPTHSTENCIL,
                                        D3DRTYPE_SURFACE, format)) ||
        FAILED(m_d3d->CheckDeviceMultiSampleType(m_adapter, m_type, format, m_params.Windowed, samples)))
        return D3DERR_INVALIDCALL;
    HRESULT hr = d3d8_injected_failure(D3D8Call::CreateDepthStencilSurface);
    if (FAILED(hr)) return hr;
    *surface = new_surface(
        {format, D3DRTYPE_SURFACE, D3DUSAGE_DEPTHSTENCIL, D3DPOOL_DEFAULT, 0, samples, width, height}, false);
    return D3D_OK;
}

HRESULT IDirect3DDevice8::CreateImageSurface(UINT width, UINT height, D3DFORMAT format,
                                             IDirect3DSurface8** surface)
{
    if (!surface || width == 0 || height == 0) return D3DERR_INVALIDCALL;
    *surface = nullptr;
    bool known = d3d8_format_bytes(format) > 0 || d3d8_format_is_compressed(format);
    if (!known || d3d8_format_is_depth(format) || format == D3DFMT_INDEX16 || format == D3DFMT_INDEX32)
        return D3DERR_INVALIDCALL;
    HRESULT hr = d3d8_injected_failure(D3D8Call::CreateImageSurface);
    if (FAILED(hr)) return hr;
    *surface = new_surface(
        {format, D3DRTYPE_SURFACE, 0, D3DPOOL_SYSTEMMEM, 0, D3DMULTISAMPLE_NONE, width, height}, true);
    return D3D_OK;
}

// ---- Scenes and clears -------------------------------------------------------------------------
HRESULT IDirect3DDevice8::BeginScene()
{
    if (m_state.in_scene) return D3DERR_INVALIDCALL;
    m_state.in_scene = true;
    ++m_counts.scenes;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::EndScene()
{
    if (!m_state.in_scene) return D3DERR_INVALIDCALL;
    m_state.in_scene = false;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                                DWORD stencil)
{
    if ((count > 0 && !rects) || flags == 0 ||
        (flags & ~(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)))
        return D3DERR_INVALIDCALL;
    if (!(z >= 0.0f && z <= 1.0f)) return D3DERR_INVALIDCALL;
    IDirect3DSurface8* depth = m_state.depth_stencil;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && !depth) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) && stencil_bits(d3d8_surface_desc(*depth).Format) == 0)
        return D3DERR_INVALIDCALL;
    ++m_counts.clears;
    if (m_backend)
        m_backend->clear(m_state, count, rects, flags, color, z, stencil);
    else
        clear_in_memory(count, rects, flags, color, z, stencil);
    return D3D_OK;
}

void IDirect3DDevice8::clear_in_memory(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color,
                                       float z, DWORD stencil)
{
    const D3DVIEWPORT8& vp = m_state.viewport;
    RECT viewport{LONG(vp.X), LONG(vp.Y), LONG(vp.X + vp.Width), LONG(vp.Y + vp.Height)};
    std::vector<RECT> areas;
    if (count == 0) areas.push_back(viewport);
    for (DWORD i = 0; i < count; ++i)
        areas.push_back({rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2});

    IDirect3DSurface8* target = m_state.render_target;
    IDirect3DSurface8* depth = m_state.depth_stencil;
    const D3DFORMAT target_format = d3d8_surface_desc(*target).Format;
    for (RECT area : areas) {
        if (!intersect(area, viewport)) continue;
        if (flags & D3DCLEAR_TARGET)
            fill_area(*target, area,
                      [&](std::uint8_t* texel) { d3d8_write_argb(target_format, texel, color); });
        if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && depth) {
            const D3DFORMAT depth_format = d3d8_surface_desc(*depth).Format;
            // A clear of only the depth or only the stencil keeps the other part of each texel,
            // so it cannot copy one texel over the area.
            bool whole =
                (flags & D3DCLEAR_ZBUFFER) && (!stencil_bits(depth_format) || (flags & D3DCLEAR_STENCIL));
            const DepthClear clear = depth_clear(depth_format, flags, z, stencil);
            if (whole)
                fill_area(*depth, area, [&](std::uint8_t* texel) {
                    if (d3d8_format_bytes(depth_format) == 2)
                        apply_depth_clear<std::uint16_t>(texel, clear);
                    else
                        apply_depth_clear<std::uint32_t>(texel, clear);
                });
            else
                write_depth_texels(*depth, area, clear);
        }
    }
}

// ---- States ------------------------------------------------------------------------------------
HRESULT IDirect3DDevice8::SetViewport(const D3DVIEWPORT8* viewport)
{
    if (!viewport) return D3DERR_INVALIDCALL;
    const D3DSURFACE_DESC& target = d3d8_surface_desc(*m_state.render_target);
    if (std::uint64_t(viewport->X) + viewport->Width > target.Width ||
        std::uint64_t(viewport->Y) + viewport->Height > target.Height)
        return D3DERR_INVALIDCALL;
    m_state.viewport = *viewport;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetViewport(D3DVIEWPORT8* viewport) const
{
    if (!viewport) return D3DERR_INVALIDCALL;
    *viewport = m_state.viewport;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::SetRenderState(D3DRENDERSTATETYPE state, DWORD value)
{
    if (state >= D3D_RENDER_STATE_COUNT) return D3DERR_INVALIDCALL;
    ++m_counts.render_states;
    m_state.render[state] = value;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) const
{
    if (state >= D3D_RENDER_STATE_COUNT || !value) return D3DERR_INVALIDCALL;
    *value = m_state.render[state];
    return D3D_OK;
}

HRESULT IDirect3DDevice8::SetTexture(DWORD stage, IDirect3DBaseTexture8* texture)
{
    if (stage >= D3D_MAX_TEXTURE_STAGES) return D3DERR_INVALIDCALL;
    ++m_counts.textures;
    if (texture) texture->bind();
    IDirect3DBaseTexture8* old = m_state.textures[stage];
    m_state.textures[stage] = texture;
    if (old) old->unbind();
    return D3D_OK;
}

HRESULT IDirect3DDevice8::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value)
{
    if (stage >= D3D_MAX_TEXTURE_STAGES || state == 0 || state >= D3D_STAGE_STATE_COUNT)
        return D3DERR_INVALIDCALL;
    ++m_counts.stage_states;
    m_state.stage[stage][state] = value;
    return D3D_OK;
}

HRESULT IDirect3DDevice8::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state,
                                               DWORD* value) const
{
    if (stage >= D3D_MAX_TEXTURE_STAGES || state == 0 || state >= D3D_STAGE_STATE_COUNT || !value)
        return D3DERR_INVALIDCALL;
    *value = m_state.stage[stage][state];
    return D3D_OK;
}

HRESULT IDirect3DDevice8::SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride)
{
    if (stream >= D3D_MAX_STREAMS || stride > m_caps.MaxStreamStride) return D3DERR_INVALIDCALL;
    ++m_counts.stream_sources;
    if (buffer) buffer->bind();
    IDirect3DVertexBuffer8* old = m_state.streams[stream].buffer;
    m_state.streams[stream] = {buffer, stride};
    if (old) old->unbind();
    return D3D_OK;
}

HRESULT IDirect3DDevice8::SetIndices(IDirect3DIndexBuffer8* buffer, UINT base_vertex)
{
    ++m_counts.indices;
    if (buffer) buffer->bind();
    IDirect3DIndexBuffer8* old = m_state.indices;
    m_state.indices = buffer;
    m_state.base_vertex = base_vertex;
    if (old) old->unbind();
    return D3D_OK;
}

// ---- Draws -------------------------------------------------------------------------------------
HRESULT IDirect3DDevice8::check_draw(const D3DDrawCall& call) const
{
    if (!m_state.in_scene || call.type < D3DPT_POINTLIST || call.type > D3DPT_TRIANGLEFAN)
        return D3DERR_INVALIDCALL;
    DWORD shader = m_state.vertex_shader;
    if (shader == 0) return D3DERR_INVALIDCALL;
    std::set<DWORD> streams;
    if (const D3DVertexShader* declared = d3d8_vertex_shader(*this, shader)) {
        for (const D3DVertexElement& element : declared->elements)
            streams.insert(element.stream);
    } else {
        streams.insert(0);
    }
    UINT vertices = d3d8_primitive_vertices(call.type, call.primitive_count);
    std::uint64_t first = call.indexed ? std::uint64_t(m_state.base_vertex) + call.min_index : call.start;
    std::uint64_t end = call.indexed ? first + call.vertex_count : first + vertices;
    for (DWORD stream : streams) {
        const D3DStreamBinding& binding = m_state.streams[stream];
        if (!binding.buffer || binding.stride == 0) return D3DERR_INVALIDCALL;
        if (end * binding.stride > d3d8_buffer_desc(*binding.buffer).Size) return D3DERR_INVALIDCALL;
    }
    if (call.indexed) {
        if (!m_state.indices) return D3DERR_INVALIDCALL;
        std::uint64_t index_end = (std::uint64_t(call.start) + vertices) * index_bytes(*m_state.indices);
        if (index_end > d3d8_buffer_desc(*m_state.indices).Size) return D3DERR_INVALIDCALL;
    }
    return D3D_OK;
}

void IDirect3DDevice8::record_draw(const D3DDrawCall& call)
{
    ++m_counts.draws;
    d3d8_log_draw(call, m_state);
    if (m_backend) m_backend->draw(m_state, call);
}

HRESULT IDirect3DDevice8::DrawPrimitive(D3DPRIMITIVETYPE type, UINT start_vertex, UINT primitive_count)
{
    D3DDrawCall call{type, false, start_vertex, primitive_count, 0, 0};
    HRESULT hr = check_draw(call);
    if (FAILED(hr)) return hr;
    if (primitive_count > 0) record_draw(call);
    return D3D_OK;
}

HRESULT IDirect3DDevice8::DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT min_index, UINT vertex_count,
                                               UINT start_index, UINT primitive_count)
{
    D3DDrawCall call{type, true, start_index, primitive_count, min_index, vertex_count};
    HRESULT hr = check_draw(call);
    if (FAILED(hr)) return hr;
    if (primitive_count > 0) record_draw(call);
    return D3D_OK;
}

// ---- Vertex shaders ----------------------------------------------------------------------------
HRESULT IDirect3DDevice8::CreateVertexShader(const DWORD* declaration, const DWORD* function, DWORD* handle,
                                             DWORD usage, std::size_t function_size)
{
    if (!declaration || !handle || (usage & ~D3DUSAGE_SOFTWAREPROCESSING)) return D3DERR_INVALIDCALL;
    HRESULT hr = d3d8_injected_failure(D3D8Call::CreateVertexShader);
    if (FAILED(hr)) return hr;
    auto shader = std::make_unique<D3DVertexShader>();
    shader->usage = usage;
    hr = d3d8_parse_declaration(declaration, *shader);
    if (SUCCEEDED(hr) && function) hr = d3d8_check_shader_function(function, function_size / 4, *shader);
    if (FAILED(hr)) return hr;
    // Hardware runs only the versions its caps name; software processing runs them all.
    bool software = (m_flags & D3DCREATE_SOFTWARE_VERTEXPROCESSING) || (usage & D3DUSAGE_SOFTWAREPROCESSING);
    if (function && !software && shader->function[0] > m_caps.VertexShaderVersion) return D3DERR_INVALIDCALL;

    auto free_slot = std::find(m_shaders.begin(), m_shaders.end(), nullptr);
    std::size_t slot = free_slot - m_shaders.begin();
    if (free_slot == m_shaders.end()) m_shaders.emplace_back();
    shader->handle = static_cast<DWORD>(slot << 1 | 1);
    if (m_backend) m_backend->shader_created(*shader);
    *handle = shader->handle;
    m_shaders[slot] = std::move(shader);
    return D3D_OK;
}

const D3DVertexShader* d3d8_vertex_shader(const IDirect3DDevice8& device, DWORD handle)
{
    std::size_t slot = handle >> 1;
    if (!(handle & 1) || slot >= device.m_shaders.size()) return nullptr;
    return device.m_shaders[slot].get();
}

std::size_t d3d8_vertex_shader_count(const IDirect3DDevice8& device)
{
    return std::count_if(device.m_shaders.begin(), device.m_shaders.end(),
                         [](const auto& shader) { return shader != nullptr; });
}

HRESULT IDirect3DDevice8::SetVertexShader(DWORD handle)
{
    const D3DVertexShader* shader = (handle & 1) ? d3d8_vertex_shader(*this, handle) : nullptr;
    if ((handle & 1) && !shader) return D3DERR_INVALIDCALL;
    if (!(handle & 1) && handle && d3d8_fvf_stride(handle) == 0) return D3DERR_INVALIDCALL;
    ++m_counts.vertex_shaders;
    m_state.vertex_shader = handle;
    // Constants a declaration carries are loaded into the registers when its shader is selected;
    // later SetVertexShaderConstant calls may overwrite them.
    if (shader)
        for (const auto& [index, values] : shader->declared_constants)
            std::memcpy(m_state.vs_constants[index], values.data(), sizeof m_state.vs_constants[index]);
    return D3D_OK;
}

HRESULT IDirect3DDevice8::DeleteVertexShader(DWORD handle)
{
    const D3DVertexShader* shader = d3d8_vertex_shader(*this, handle);
    if (!shader) return D3DERR_INVALIDCALL;
    if (m_backend) m_backend->shader_deleted(*shader);
    if (m_state.vertex_shader == handle) m_state.vertex_shader = 0;
    m_shaders[handle >> 1].reset();
    return D3D_OK;
}

HRESULT IDirect3DDevice8::SetVertexShaderConstant(DWORD first_register, const void* data, DWORD count)
{
    if (!data || first_register >= D3D_VS_CONSTANT_REGISTERS ||
        count > D3D_VS_CONSTANT_REGISTERS - first_register)
        return D3DERR_INVALIDCALL;
    ++m_counts.vs_constants;
    std::memcpy(m_state.vs_constants[first_register], data,
                std::size_t(count) * sizeof m_state.vs_constants[0]);
    return D3D_OK;
}
