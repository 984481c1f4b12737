#include "game/g_overlay.h"

#include "game/g_image_table.h"
#include "game/g_play_state.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"

#include <cmath>

namespace {

constexpr std::uint32_t k_accessory_lamp = 0x100;

constexpr MaterialFlags k_darkness_material = 0x20041; // textured, blended, clamped at the edges
constexpr DWORD k_darkness_alpha_ref = 1;
constexpr D3DCOLOR k_white = 0xFFFFFFFF;

// The overlay's light: wide where the point-light shader lights the scene itself, narrow around a
// lamp, wider without one.
constexpr float k_size_with_shader = 0.8f;
constexpr float k_size_lamp_worn = 0.7f;
constexpr float k_size_no_lamp = 1.15f;
constexpr float k_size_pulse = 0.0175f;
// The image spans 4:3 around its centre.
constexpr float k_half_width_per_size = 0.6667f;
constexpr float k_half_height_per_size = 0.5f;
constexpr float k_u_per_unit = 0.0015625f;    // 1 / 640
constexpr float k_v_per_unit = 0.0020833334f; // 1 / 480
constexpr float k_screen_middle = 0.5f;       // texture units

// The texture point under the player's head. A head on the eye's plane has no place on the
// screen; the middle stands in for it.
D3DXVECTOR2 darkness_centre()
{
    if (!g_player) return D3DXVECTOR2(k_screen_middle, k_screen_middle);
    const GoActor& player = *g_player;
    const D3DXVECTOR3 head(player.world._41, player.world._42 + player.foot_offset, player.world._43);
    D3DXVECTOR3 pixel;
    D3DXVec3TransformCoord(&pixel, &head, &g_camera_state.screen);
    if (!std::isfinite(pixel.x) || !std::isfinite(pixel.y))
        return D3DXVECTOR2(k_screen_middle, k_screen_middle);
    if (g_screen_scale.stretched) {
        pixel.x *= g_screen_scale.inv_sx;
        pixel.y *= g_screen_scale.inv_sy;
    }
    return D3DXVECTOR2(1.0f - pixel.x * k_u_per_unit, 1.0f - pixel.y * k_v_per_unit);
}

float darkness_size()
{
    float size = k_size_with_shader;
    if (!g_device_settings.settings.point_light_vs)
        size = game_lamp_worn() ? k_size_lamp_worn : k_size_no_lamp;
    return size + std::sin(g_play_state.lamp_phase) * k_size_pulse;
}

} // namespace

void hud_queue_layer(std::uint32_t key, RqCallback callback, void* user)
{
    auto* item = reinterpret_cast<RqCallbackItem*>(rq_alloc(13, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK));
    if (!item) return;
    item->header.key0 = key;
    item->callback = callback;
    item->user = user;
}

void hud_draw_screen_quad(const ScreenVertex (&quad)[4], IDirect3DTexture8* texture, MaterialFlags material)
{
    if (material != g_current_material) renderer_set_material_state(material);
    d3d_set_texture_cached(0, texture);
    DynamicBuffer& buffer = renderer_use_vb_rhw_tex();
    UINT start = 0;
    if (!renderer_vb_upload(4, buffer, quad, start)) return;
    d3d_draw_primitive(D3DPT_TRIANGLESTRIP, start, 2);
}

bool game_lamp_worn()
{
    return (g_play_state.equip_bonus.accessory_bits & k_accessory_lamp) != 0;
}

void game_draw_screen_effect_cb(RenderQueueItem*, void*)
{
    if (k_darkness_material != g_current_material) renderer_set_material_state(k_darkness_material);
    // The material word chose the alpha reference; it is put back so the word stays true.
    DWORD alpha_ref = 0;
    g_d3d_device->GetRenderState(D3DRS_ALPHAREF, &alpha_ref);
    d3d_set_render_state_cached(D3DRS_ALPHAREF, k_darkness_alpha_ref);

    const D3DXVECTOR2 centre = darkness_centre();
    const float size = darkness_size();
    const float u0 = centre.x - size * k_half_width_per_size, u1 = centre.x + size * k_half_width_per_size;
    const float v0 = centre.y - size * k_half_height_per_size, v1 = centre.y + size * k_half_height_per_size;
    const float right = static_cast<float>(g_screen_size.width) - 0.5f;
    const float bottom = static_cast<float>(g_screen_size.height) - 0.5f;
    const ScreenVertex quad[4] = {
        {-0.5f, -0.5f, 0.0f, 1.0f, k_white, u0, v0},
        {right, -0.5f, 0.0f, 1.0f, k_white, u1, v0},
        {-0.5f, bottom, 0.0f, 1.0f, k_white, u0, v1},
        {right, bottom, 0.0f, 1.0f, k_white, u1, v1},
    };
    hud_draw_screen_quad(quad, g_texture_handles[IMAGE_TABLE_LIGHT0], k_darkness_material);
    d3d_set_render_state_cached(D3DRS_ALPHAREF, alpha_ref);
}
