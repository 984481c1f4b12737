#include "scenegraph/texture.h"

#include "core/errors.h"
#include "core/text.h"
#include "core/unpack.h"
#include "core/vfs.h"
#include "lowlv/d3d/d3d_core.h"

namespace {

constexpr std::size_t k_candidate_size = 1280;

// The candidate's packed form, then the candidate, when the archive holds it.
bool find_variant(const std::string& candidate, std::string& chosen)
{
    for (const std::string& path : {candidate + ".z", candidate})
        if (vfs_find(path.c_str())) {
            chosen = path;
            return true;
        }
    return false;
}

// What a loader needs besides the file: the device's view of the request.
struct LoadRequest {
    UINT levels;
    DWORD usage;
    D3DFORMAT format;          // for the DDS reader
    D3DFORMAT fallback_format; // for D3DX
    D3DPOOL pool;
};

// Gives the work block back however the load ends.
struct UnpackLoan {
    UnpackBuffer buffer;
    ~UnpackLoan() { unpack_release_buffer(buffer); }
};

HRESULT load_plain(const std::string& path, const LoadRequest& request, IDirect3DTexture8** texture,
                   D3DXIMAGE_INFO& image_info)
{
    DdsImage image;
    HRESULT hr = dds_load(image, path.c_str());
    if (SUCCEEDED(hr))
        hr = dds_create_texture(image, texture, &image_info, request.levels == 1, request.pool,
                                request.format);
    if (SUCCEEDED(hr)) return hr;
    return D3DXCreateTextureFromFileExA(g_d3d_device, path.c_str(), D3DX_DEFAULT, D3DX_DEFAULT,
                                        request.levels, request.usage, request.fallback_format, request.pool,
                                        D3DX_DEFAULT, D3DX_DEFAULT, 0, &image_info, nullptr, texture);
}

HRESULT load_packed(const std::string& path, const LoadRequest& request, IDirect3DTexture8** texture,
                    D3DXIMAGE_INFO& image_info)
{
    UnpackLoan loan;
    const std::uint8_t* data = unpack_load(loan.buffer, vfs_find(path.c_str()), path.c_str());
    if (!data) return ERR_OPEN_FILE;
    DdsImage image;
    HRESULT hr = dds_parse(image, {data, loan.buffer.size});
    if (SUCCEEDED(hr))
        hr = dds_create_texture(image, texture, &image_info, request.levels == 1, request.pool,
                                request.format);
    if (SUCCEEDED(hr)) return hr;
    return D3DXCreateTextureFromFileInMemoryEx(
        g_d3d_device, data, loan.buffer.size, D3DX_DEFAULT, D3DX_DEFAULT, request.levels, request.usage,
        request.fallback_format, request.pool, D3DX_DEFAULT, D3DX_DEFAULT, 0, &image_info, nullptr, texture);
}

} // namespace

std::string tex_choose_file(const char* name)
{
    const RendererSettings& settings = g_device_settings.settings;
    const char* prefixes[4];
    int count = 0;
    if (settings.low_reso_texture) {
        if (settings.compressed_texture) prefixes[count++] = "l\\_c_";
        prefixes[count++] = "l\\";
    }
    if (settings.compressed_texture) prefixes[count++] = "h\\_c_";
    prefixes[count++] = "h\\";

    std::string chosen;
    for (int i = 0; i < count; ++i) {
        char candidate[k_candidate_size];
        path_insert_name_prefix(candidate, sizeof candidate, prefixes[i], "%s", name);
        if (find_variant(candidate, chosen)) return chosen;
    }
    std::string packed = std::string(name) + ".z";
    return vfs_find(packed.c_str()) ? packed : name;
}

HRESULT tex_load(const TextureLoadParams& params, ResourceRecord& record)
{
    LoadRequest request{g_device_settings.settings.mipmap ? params.levels : 1, params.usage, params.format,
                        g_tex_x8r8g8b8_ok ? D3DFMT_UNKNOWN : params.format, params.pool};
    record.texture_info = {};
    if (!g_d3d_device) return D3DERR_INVALIDCALL;

    std::string path = tex_choose_file(record.name.c_str());
    IDirect3DTexture8* texture = nullptr;
    D3DXIMAGE_INFO image_info{};
    HRESULT hr = unpack_is_packed_path(path.c_str()) ? load_packed(path, request, &texture, image_info)
                                                     : load_plain(path, request, &texture, image_info);
    if (FAILED(hr)) return hr;

    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    record.texture_info = {desc.Width,
                           desc.Height,
                           texture->GetLevelCount(),
                           desc.Usage,
                           desc.Format,
                           desc.Pool,
                           static_cast<std::uint16_t>(image_info.Width),
                           static_cast<std::uint16_t>(image_info.Height)};
    record.object = texture;
    return S_OK;
}

IDirect3DTexture8* tex_load_by_name(const char* name, std::uint32_t mip_levels, D3DFORMAT format,
                                    std::uint8_t keep_mode, TextureInfo* info)
{
    ResrcLoadParams params;
    params.texture = {mip_levels, 0, format, D3DPOOL_MANAGED};
    ResourceHandle handle = ResrcMgr::Load(name, params, RESRC_POOL_TEXTURE, keep_mode);
    if (handle == 0 || resrc_handle_pool(handle) != RESRC_POOL_TEXTURE) return nullptr;
    const ResourceRecord* record = ResrcMgr::Get(handle);
    if (!record) return nullptr;
    if (info) *info = record->texture_info;
    return record->texture();
}
