// Resources of the Direct3D 8 stand-in: reference counts, memory and locks.
#include "platform/impl/d3d8_internal.h"

#include <algorithm>

// ---- Formats -----------------------------------------------------------------------------------
UINT d3d8_format_bytes(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_R8G8B8:
        return 3;
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
    case D3DFMT_D32:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_INDEX32:
        return 4;
    case D3DFMT_R5G6B5:
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
    case D3DFMT_A4R4G4B4:
    case D3DFMT_V8U8:
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D16:
    case D3DFMT_D15S1:
    case D3DFMT_INDEX16:
        return 2;
    default:
        return 0;
    }
}

UINT d3d8_format_block_bytes(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_DXT1:
        return 8;
    case D3DFMT_DXT2:
    case D3DFMT_DXT3:
    case D3DFMT_DXT4:
    case D3DFMT_DXT5:
        return 16;
    default:
        return 0;
    }
}

bool d3d8_format_is_compressed(D3DFORMAT format)
{
    return d3d8_format_block_bytes(format) != 0;
}

bool d3d8_format_is_depth(D3DFORMAT format)
{
    switch (format) {
    case D3DFMT_D16_LOCKABLE:
    case D3DFMT_D32:
    case D3DFMT_D15S1:
    case D3DFMT_D24S8:
    case D3DFMT_D24X8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D16:
        return true;
    default:
        return false;
    }
}

UINT d3d8_format_pitch(D3DFORMAT format, UINT width)
{
    if (d3d8_format_is_compressed(format))
        return std::max(1u, (width + 3) / 4) * d3d8_format_block_bytes(format);
    // Rows start on 4-byte boundaries, as drivers lay them out.
    return (width * d3d8_format_bytes(format) + 3) & ~3u;
}

namespace {

// Rows of pixels, or of 4x4 blocks for compressed formats.
UINT format_rows(D3DFORMAT format, UINT height)
{
    return d3d8_format_is_compressed(format) ? std::max(1u, (height + 3) / 4) : height;
}

// Texture levels take the seam's padding; other surfaces and blocks keep tight rows.
UINT surface_pitch(const D3DSURFACE_DESC& desc, const IDirect3DTexture8* texture)
{
    UINT padding = texture && !d3d8_format_is_compressed(desc.Format) ? d3d8_texture_pitch_padding() : 0;
    return d3d8_format_pitch(desc.Format, desc.Width) + padding;
}

// A channel of 4 to 8 bits widened to 8, its top bits repeated below.
DWORD expand(DWORD value, int bits)
{
    return (value << (8 - bits)) | (value >> (2 * bits - 8));
}

} // namespace

UINT d3d8_format_size(D3DFORMAT format, UINT width, UINT height)
{
    return d3d8_format_pitch(format, width) * format_rows(format, height);
}

DWORD d3d8_read_argb(D3DFORMAT format, const std::uint8_t* p)
{
    DWORD v16 = p[0] | p[1] << 8;
    switch (format) {
    case D3DFMT_A8R8G8B8:
        return p[0] | p[1] << 8 | p[2] << 16 | DWORD(p[3]) << 24;
    case D3DFMT_X8R8G8B8:
        return p[0] | p[1] << 8 | p[2] << 16 | 0xFF000000u;
    case D3DFMT_R8G8B8:
        return p[0] | p[1] << 8 | p[2] << 16 | 0xFF000000u;
    case D3DFMT_R5G6B5:
        return 0xFF000000u | expand(v16 >> 11, 5) << 16 | expand((v16 >> 5) & 0x3F, 6) << 8 |
               expand(v16 & 0x1F, 5);
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5: {
        DWORD alpha = format == D3DFMT_X1R5G5B5 || (v16 & 0x8000) ? 0xFF : 0;
        return alpha << 24 | expand((v16 >> 10) & 0x1F, 5) << 16 | expand((v16 >> 5) & 0x1F, 5) << 8 |
               expand(v16 & 0x1F, 5);
    }
    case D3DFMT_A4R4G4B4:
        return expand(v16 >> 12, 4) << 24 | expand((v16 >> 8) & 0xF, 4) << 16 |
               expand((v16 >> 4) & 0xF, 4) << 8 | expand(v16 & 0xF, 4);
    default:
        return 0;
    }
}

void d3d8_write_argb(D3DFORMAT format, std::uint8_t* p, DWORD argb)
{
    DWORD a = argb >> 24, r = (argb >> 16) & 0xFF, g = (argb >> 8) & 0xFF, b = argb & 0xFF;
    DWORD v16 = 0;
    switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_X8R8G8B8:
        p[0] = BYTE(b), p[1] = BYTE(g), p[2] = BYTE(r), p[3] = BYTE(a);
        return;
    case D3DFMT_R8G8B8:
        p[0] = BYTE(b), p[1] = BYTE(g), p[2] = BYTE(r);
        return;
    case D3DFMT_R5G6B5:
        v16 = (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
        break;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
        v16 = (a >> 7) << 15 | (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
        break;
    case D3DFMT_A4R4G4B4:
        v16 = (a >> 4) << 12 | (r >> 4) << 8 | (g >> 4) << 4 | b >> 4;
        break;
    default:
        return;
    }
    p[0] = BYTE(v16), p[1] = BYTE(v16 >> 8);
}

// ---- Reference counts --------------------------------------------------------------------------
IDirect3DResource8::IDirect3DResource8(IDirect3DDevice8& device, D3DRESOURCETYPE type, D3DPOOL pool,
                                       IDirect3DResource8* container)
    : m_device(&device), m_type(type), m_pool(pool), m_container(container)
{
}

IDirect3DResource8::~IDirect3DResource8() = default;

ULONG IDirect3DResource8::AddRef()
{
    if (m_container) return m_container->AddRef();
    return ++m_refs;
}

ULONG IDirect3DResource8::Release()
{
    if (m_container) return m_container->Release();
    if (m_refs == 0) return 0;
    ULONG left = --m_refs;
    if (left == 0 && !m_implicit) {
        // The device reference goes last: dropping it may end the device, which unbinds
        // (and so frees) this resource when it is still bound.
        IDirect3DDevice8& device = *m_device;
        destroy_if_unused();
        device.Release();
    }
    return left;
}

ULONG d3d8_ref_count(const IDirect3DResource8& resource)
{
    return resource.m_container ? d3d8_ref_count(*resource.m_container) : resource.m_refs;
}

HRESULT IDirect3DResource8::GetDevice(IDirect3DDevice8** device)
{
    if (!device) return D3DERR_INVALIDCALL;
    m_device->AddRef();
    *device = m_device;
    return D3D_OK;
}

void IDirect3DResource8::bind()
{
    if (m_container) return m_container->bind();
    ++m_binds;
}

void IDirect3DResource8::unbind()
{
    if (m_container) return m_container->unbind();
    if (m_binds > 0) --m_binds;
    destroy_if_unused();
}

void IDirect3DResource8::destroy_if_unused()
{
    if (m_refs > 0 || m_binds > 0 || m_implicit) return;
    if (m_device->m_backend) m_device->m_backend->resource_destroyed(*this);
    m_device->forget(*this);
    delete this;
}

// ---- Surfaces ----------------------------------------------------------------------------------
IDirect3DSurface8::IDirect3DSurface8(IDirect3DDevice8& device, const D3DSURFACE_DESC& desc,
                                     IDirect3DTexture8* texture, UINT level)
    : IDirect3DResource8(device, D3DRTYPE_SURFACE, desc.Pool, texture), m_desc(desc),
      m_pitch(surface_pitch(desc, texture)), m_lock_record(std::make_unique<D3DLockRecord>()),
      m_lock(*m_lock_record), m_texture(texture), m_level(level), m_lockable(false)
{
    m_desc.Size = m_pitch * format_rows(desc.Format, desc.Height);
    m_bits.assign(m_desc.Size, 0);
}

IDirect3DSurface8::~IDirect3DSurface8() = default;

HRESULT IDirect3DSurface8::GetDesc(D3DSURFACE_DESC* desc) const
{
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = m_desc;
    return D3D_OK;
}

HRESULT IDirect3DSurface8::LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags)
{
    if (!locked || m_lock.locked()) return D3DERR_INVALIDCALL;
    bool target = m_desc.Usage & (D3DUSAGE_RENDERTARGET | D3DUSAGE_DEPTHSTENCIL);
    if (target && !m_lockable && m_desc.Format != D3DFMT_D16_LOCKABLE) return D3DERR_INVALIDCALL;
    // Textures in video memory are written through DYNAMIC usage only.
    if (m_texture && m_desc.Pool == D3DPOOL_DEFAULT && !(m_desc.Usage & D3DUSAGE_DYNAMIC) && !target)
        return D3DERR_INVALIDCALL;
    RECT whole{0, 0, LONG(m_desc.Width), LONG(m_desc.Height)};
    RECT area = rect ? *rect : whole;
    if (area.left < 0 || area.top < 0 || area.right > whole.right || area.bottom > whole.bottom ||
        area.left >= area.right || area.top >= area.bottom)
        return D3DERR_INVALIDCALL;
    HRESULT hr = d3d8_injected_failure(D3D8Call::Lock);
    if (FAILED(hr)) return hr;

    IDirect3DDevice8& dev = d3d8_resource_device(*this);
    if (target && dev.m_backend) dev.m_backend->read_back(*this);
    std::size_t offset;
    if (d3d8_format_is_compressed(m_desc.Format))
        offset = std::size_t(area.top / 4) * m_pitch +
                 std::size_t(area.left / 4) * d3d8_format_block_bytes(m_desc.Format);
    else
        offset = std::size_t(area.top) * m_pitch + std::size_t(area.left) * d3d8_format_bytes(m_desc.Format);
    locked->Pitch = static_cast<INT>(m_pitch);
    locked->pBits = m_bits.data() + offset;
    m_lock.depth = 1;
    m_lock.flags = flags;
    m_lock.rect = area;
    ++m_lock.count;
    ++dev.m_counts.locks;
    return D3D_OK;
}

HRESULT IDirect3DSurface8::UnlockRect()
{
    if (!m_lock.locked()) return D3DERR_INVALIDCALL;
    m_lock.depth = 0;
    IDirect3DDevice8& dev = d3d8_resource_device(*this);
    if (dev.m_backend) dev.m_backend->resource_unlocked(*this, m_lock);
    return D3D_OK;
}

// ---- Textures ----------------------------------------------------------------------------------
IDirect3DTexture8::IDirect3DTexture8(IDirect3DDevice8& device, UINT width, UINT height, UINT levels,
                                     DWORD usage, D3DFORMAT format, D3DPOOL pool)
    : IDirect3DBaseTexture8(device, D3DRTYPE_TEXTURE, pool, nullptr), m_format(format)
{
    for (UINT level = 0; level < levels; ++level) {
        D3DSURFACE_DESC desc{format,
                             D3DRTYPE_SURFACE,
                             usage,
                             pool,
                             0,
                             D3DMULTISAMPLE_NONE,
                             std::max(1u, width >> level),
                             std::max(1u, height >> level)};
        m_levels.push_back(new IDirect3DSurface8(device, desc, this, level));
    }
}

IDirect3DTexture8::~IDirect3DTexture8()
{
    for (IDirect3DSurface8* level : m_levels)
        delete level;
}

HRESULT IDirect3DTexture8::GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) const
{
    if (level >= m_levels.size()) return D3DERR_INVALIDCALL;
    return m_levels[level]->GetDesc(desc);
}

HRESULT IDirect3DTexture8::GetSurfaceLevel(UINT level, IDirect3DSurface8** surface)
{
    if (level >= m_levels.size() || !surface) return D3DERR_INVALIDCALL;
    AddRef();
    *surface = m_levels[level];
    return D3D_OK;
}

HRESULT IDirect3DTexture8::LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags)
{
    if (level >= m_levels.size()) return D3DERR_INVALIDCALL;
    return m_levels[level]->LockRect(locked, rect, flags);
}

HRESULT IDirect3DTexture8::UnlockRect(UINT level)
{
    if (level >= m_levels.size()) return D3DERR_INVALIDCALL;
    return m_levels[level]->UnlockRect();
}

// ---- Buffers -----------------------------------------------------------------------------------
template <typename Desc>
D3DBuffer8<Desc>::D3DBuffer8(IDirect3DDevice8& device, D3DRESOURCETYPE type, const Desc& desc)
    : IDirect3DResource8(device, type, desc.Pool, nullptr), m_desc(desc), m_data(desc.Size, 0),
      m_lock_record(std::make_unique<D3DLockRecord>()), m_lock(*m_lock_record)
{
}

template <typename Desc> D3DBuffer8<Desc>::~D3DBuffer8() = default;

template <typename Desc> HRESULT D3DBuffer8<Desc>::Lock(UINT offset, UINT size, BYTE** data, DWORD flags)
{
    if (!data) return D3DERR_INVALIDCALL;
    UINT total = static_cast<UINT>(m_data.size());
    if (offset > total || (size != 0 && size > total - offset)) return D3DERR_INVALIDCALL;
    HRESULT hr = d3d8_injected_failure(D3D8Call::Lock);
    if (FAILED(hr)) return hr;
    *data = m_data.data() + offset;
    ++m_lock.depth;
    m_lock.flags = flags;
    m_lock.offset = offset;
    m_lock.size = size == 0 ? total - offset : size;
    ++m_lock.count;
    ++d3d8_resource_device(*this).m_counts.locks;
    return D3D_OK;
}

template <typename Desc> HRESULT D3DBuffer8<Desc>::Unlock()
{
    if (!m_lock.locked()) return D3DERR_INVALIDCALL;
    --m_lock.depth;
    if (d3d8_resource_device(*this).m_backend)
        d3d8_resource_device(*this).m_backend->resource_unlocked(*this, m_lock);
    return D3D_OK;
}

template <typename Desc> HRESULT D3DBuffer8<Desc>::GetDesc(Desc* desc) const
{
    if (!desc) return D3DERR_INVALIDCALL;
    *desc = m_desc;
    return D3D_OK;
}

template class D3DBuffer8<D3DVERTEXBUFFER_DESC>;
template class D3DBuffer8<D3DINDEXBUFFER_DESC>;
