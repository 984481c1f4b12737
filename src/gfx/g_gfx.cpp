#include "gfx/g_gfx.h"

#include "core/errors.h"
#include "game/g_image_table.h"
#include "game/g_status_block.h"
#include "lowlv/d3d/d3d_state.h"
#include "lowlv/d3d/renderer_frame.h"
#include "scenegraph/renderer.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

void gfx_set_common_vs_constants()
{
    renderer_set_identity_world_constants(g_camera_state.view_proj_t, g_camera_state.proj_t);
}

void shader_set_common_constants()
{
    renderer_set_identity_world_constants(g_camera_state.biased_view_proj_t, g_camera_state.biased_proj_t);
}

void gfx_install_renderer_hooks()
{
    g_renderer_before_batches = shader_set_common_constants;
    g_renderer_after_batches = gfx_set_common_vs_constants;
}

TrailCurve g_sword_trail_curves[SWORD_TRAIL_CURVES];

void gfx_load_sword_trails()
{
    constexpr const char* k_source = "g_gfx";
    constexpr unsigned k_line = 36;
    for (int n = 0; n < SWORD_TRAIL_CURVES; ++n) {
        char path[64];
        std::snprintf(path, sizeof path, "data\\effect\\sword%d.sl2", n);
        const HRESULT result = renderer_trail_load(g_sword_trail_curves[n], path);
        if (FAILED(result)) err_raise_code(result, path, k_source, k_line);
    }
}

bool gfx_dynvb_write(UINT count, DynamicBuffer& buffer, const void* vertices, UINT& start)
{
    return renderer_vb_upload(count, buffer, vertices, start);
}

void gfx_restore_device_objects()
{
    constexpr int k_shadow = 14; // shadow0.dds
    constexpr int k_light = IMAGE_TABLE_LIGHT0;
    constexpr int k_batch_images[TRI_BATCH_COUNT] = {30, 31, 32, k_shadow, k_shadow, 33,
                                                     34, 35, 36, k_light,  k_shadow};
    for (int batch = 0; batch < TRI_BATCH_COUNT; ++batch)
        g_tri_batches[batch].texture = g_texture_handles[k_batch_images[batch]];
}

void gfx_set_point_light(int slot, const D3DXVECTOR3& position, const D3DXVECTOR4& color, float first_range,
                         float second_range)
{
    if (slot < 0 || slot >= RENDERER_POINT_LIGHTS) return;
    PointLight& light = g_frame_effects.point_lights[slot];
    light.position = position;
    light.color = color;
    light.params[0] = first_range;
    light.params[1] = second_range;
}

void gfx_set_tint_channel(StatusBlock& record, int channel)
{
    constexpr int k_no_channel = -1;
    constexpr int k_channels = 4;
    constexpr float k_weak_channel = -0.05f;
    if (channel < k_no_channel || channel >= k_channels) channel = k_no_channel;
    record.status_element = static_cast<std::uint8_t>(channel);
    if (channel == k_no_channel) {
        std::fill(std::begin(record.resist), std::end(record.resist), 0.0f);
        return;
    }
    std::fill(std::begin(record.resist), std::end(record.resist), 1.0f);
    record.resist[channel] = k_weak_channel;
}
