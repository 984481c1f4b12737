#include "object/go_skybox.h"

#include "core/bytes.h"
#include "core/errors.h"
#include "core/text.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_region.h"
#include "game/g_scene_map.h"
#include "game/g_tick.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/d3d_state.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/obj_pools.h"
#include "scenegraph/data_file.h"
#include "scenegraph/renderer_queue.h"
#include "scenegraph/resrc_mgr.h"
#include "scenegraph/texture.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* k_source = "go_skybox";
constexpr unsigned k_line_load = 101;

constexpr std::size_t k_texture_name_size = 80;

// The sky file (".sbx"), little-endian.
struct SkyFileImage {
    std::uint8_t unread[16];
    float scale;
    std::uint32_t diffuse;
    std::uint32_t specular;
    std::uint32_t reserved;
    char texture_names[SKYBOX_LAYERS][k_texture_name_size]; // relative to the sky's folder
};
static_assert(sizeof(SkyFileImage) == SKYBOX_FILE_SIZE);
static_assert(offsetof(SkyFileImage, scale) == 16);
static_assert(offsetof(SkyFileImage, texture_names) == 32);

constexpr std::uint32_t k_texture_levels = 1;
constexpr std::uint32_t k_load_layers = 2;
constexpr int k_sky_row = 5;

// Each layer is a strip of four corners, multiplied by the scale when built.
constexpr D3DVECTOR k_cloud_corners[SKYBOX_LAYERS][4] = {
    {{-1, 1, 1.0f}, {-1, -1, 1.0f}, {1, 1, 1.0f}, {1, -1, 1.0f}},
    {{-1, 1, 0.975f}, {-1, -1, 0.975f}, {1, 1, 0.975f}, {1, -1, 0.975f}},
    {{-1, 1, 0.965f}, {-1, -1, 0.965f}, {1, 1, 0.965f}, {1, -1, 0.965f}},
    {{-1, 1, 0.955f}, {-1, -1, 0.955f}, {1, 1, 0.955f}, {1, -1, 0.955f}},
    {{-1, 1, 0.945f}, {-1, -1, 0.945f}, {1, 1, 0.945f}, {1, -1, 0.945f}},
    {{-1, 1, 0.935f}, {-1, -1, 0.935f}, {1, 1, 0.935f}, {1, -1, 0.935f}},
};
constexpr D3DVECTOR k_box_corners[SKYBOX_LAYERS][4] = {
    {{-1, 1, 1}, {-1, -1, 1}, {1, 1, 1}, {1, -1, 1}},     // z = 1
    {{1, 1, -1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, -1}}, // z = -1
    {{1, 1, 1}, {1, -1, 1}, {1, 1, -1}, {1, -1, -1}},     // x = 1
    {{-1, 1, -1}, {-1, -1, -1}, {-1, 1, 1}, {-1, -1, 1}}, // x = -1
    {{-1, 1, -1}, {-1, 1, 1}, {1, 1, -1}, {1, 1, 1}},     // y = 1
    {{-1, -1, 1}, {-1, -1, -1}, {1, -1, 1}, {1, -1, -1}}, // y = -1
};

// A fixed text field copied whole even when it fills the field without a terminator.
template <std::size_t N> void copy_field(char (&out)[N], const char* field, std::size_t field_size)
{
    static_assert(N > 0);
    const std::size_t length = std::min(strnlen(field, field_size), N - 1);
    std::memcpy(out, field, length);
    out[length] = '\0';
}

// The path with the extension of its last part replaced by ".sbx" (appended when it has none).
void sky_file_name(const char* path, char (&out)[SKYBOX_NAME_SIZE])
{
    const char* file = path_file_name(path);
    const char* dot = sys_find_last_char(file, '.');
    const int stem = static_cast<int>(dot ? dot - path : std::strlen(path));
    std::snprintf(out, sizeof out, "%.*s.sbx", stem, path);
}

// The folder the texture names are relative to: the path up to and including its last
// backslash, or the whole path followed by one.
void sky_folder(const char* path, char (&out)[MAP_PATH_SIZE + 2])
{
    copy_field(out, path, MAP_PATH_SIZE);
    path_to_backslashes(out);
    const char* slash = sys_find_last_char(out, '\\');
    if (slash)
        out[slash - out + 1] = '\0';
    else
        path_make_dir(out, sizeof out);
}

void draw_sky_cb(RenderQueueItem*, void* user)
{
    static_cast<const GoSkyBox*>(user)->Draw();
}

void queue_sky(GoSkyBox& sky, const D3DXVECTOR3& position)
{
    auto* item = reinterpret_cast<RqCallbackItem*>(rq_alloc(k_sky_row, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK));
    if (!item) return;
    const D3DXVECTOR3 to_eye = g_camera_state.eye - position;
    item->header.key0 = rq_next_serial();
    item->header.key1 = rq_depth_key(D3DXVec3LengthSq(&to_eye));
    item->callback = draw_sky_cb;
    item->user = &sky;
}

ScriptFlow command_sky_layers(ScriptCall& call)
{
    float speeds[SKYBOX_LAYERS];
    for (int i = 0; i < SKYBOX_LAYERS; ++i)
        speeds[i] = call.arg_float(3 + static_cast<std::size_t>(i));
    script_sky_layers(call.arg(0), call.arg(1), speeds);
    return SCRIPT_NEXT;
}

constexpr ScriptCommandRow k_commands[] = {
    {281, command_sky_layers},
};

} // namespace

void GoSkyBox::Load(const MapObjectRecord& record)
{
    char path[MAP_PATH_SIZE + 1];
    copy_field(path, record.model_path, MAP_PATH_SIZE);
    sky_file_name(path, name);
    char packed[SKYBOX_NAME_SIZE + 2];
    std::snprintf(packed, sizeof packed, "%s.z", name);

    SkyFileImage image;
    {
        DataFile file;
        const HRESULT hr = file.Load(packed);
        if (FAILED(hr)) err_raise_code(hr, packed, k_source, k_line_load);
        if (!ByteReader(file.Bytes()).Read(image))
            err_raise_code(ERR_BROKEN_DATA, packed, k_source, k_line_load);
    } // the work block goes back before the textures need it
    scale = image.scale;
    diffuse = image.diffuse;
    specular = image.specular;
    SetLayers(k_load_layers, 0, SKYBOX_DEFAULT_SPEEDS);

    char folder[MAP_PATH_SIZE + 2];
    sky_folder(path, folder);
    for (int i = 0; i < SKYBOX_LAYERS; ++i) {
        char texture_name[k_texture_name_size + 1];
        copy_field(texture_name, image.texture_names[i], k_texture_name_size);
        if (texture_name[0] == '\0') continue;
        char texture_path[sizeof folder + k_texture_name_size];
        std::snprintf(texture_path, sizeof texture_path, "%s%s", folder, texture_name);
        textures[i] =
            tex_load_by_name(texture_path, k_texture_levels, D3DFMT_A1R5G5B5, RESRC_KEEP_CACHED, nullptr);
    }
}

void GoSkyBox::SetLayers(std::uint32_t count, std::uint32_t box_flag, const float* speeds)
{
    layer_count = std::min<std::uint32_t>(count, SKYBOX_LAYERS);
    box = box_flag;
    std::copy(speeds, speeds + SKYBOX_LAYERS, scroll_speeds);
    const D3DVECTOR(&corners)[SKYBOX_LAYERS][4] = box ? k_box_corners : k_cloud_corners;
    for (int layer = 0; layer < SKYBOX_LAYERS; ++layer)
        for (int corner = 0; corner < 4; ++corner) {
            const D3DVECTOR& unit = corners[layer][corner];
            layer_vertices[layer][corner] = {unit.x * scale, unit.y * scale, unit.z * scale};
        }
}

void GoSkyBox::Update()
{
    if (g_play_state.game_flags[GF_SKY_HIDDEN] != 0) return;
    if (g_whole_tick)
        for (int i = 0; i < SKYBOX_LAYERS; ++i)
            scroll_offsets[i] += scroll_speeds[i];
    if (!g_draw_frame) return;

    const D3DXVECTOR3 focus = region_camera_focus_in_use();
    D3DXMatrixTranslation(&world, focus.x, focus.y, focus.z);
    if (g_frame_effects.prepass_active)
        queue_sky(*this, focus);
    else
        Draw();
}

// On the quad path: the quad shader of the material, the world-quad buffer and one strip of two
// triangles per layer through the sequential indices.
void GoSkyBox::Draw() const
{
    DynamicBuffer& buffer = rq_begin_world_quads(SKYBOX_MATERIAL, world);

    for (std::uint32_t layer = 0; layer < layer_count; ++layer) {
        d3d_set_texture_cached(0, textures[layer]);
        const float u = scroll_offsets[layer];
        const float uv[4][2] = {{u, 0.0f}, {u, 1.0f}, {u + 1.0f, 0.0f}, {u + 1.0f, 1.0f}};
        QuadVertex strip[4];
        for (int corner = 0; corner < 4; ++corner) {
            const D3DVECTOR& p = layer_vertices[layer][corner];
            strip[corner] = {p.x, p.y, p.z, diffuse, specular, uv[corner][0], uv[corner][1]};
        }
        UINT start = 0;
        if (!renderer_vb_upload(4, buffer, strip, start)) continue;
        g_d3d_device->SetIndices(g_renderer_ibs[RIB_SEQUENTIAL].indices, start);
        g_d3d_device->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, 0, 4, 0, 2);
    }
}

GoSkyBox::~GoSkyBox()
{
    for (IDirect3DTexture8*& texture : textures) {
        ResrcMgr::Release(RESRC_POOL_TEXTURE, texture);
        texture = nullptr;
    }
}

void script_sky_layers(std::int32_t box_flag, std::int32_t count, const float* speeds)
{
    for (std::int32_t i = 0; i < g_pool_skybox.count; ++i) {
        auto* sky = static_cast<GoSkyBox*>(g_pool_skybox.active[i]);
        if (sky->flags & GO_FLAG_DEAD) continue;
        sky->SetLayers(static_cast<std::uint32_t>(count), static_cast<std::uint32_t>(box_flag), speeds);
    }
}

std::span<const ScriptCommandRow> skybox_script_commands()
{
    return k_commands;
}
