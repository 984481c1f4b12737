#include "object/xx/go_xx.h"

#include "game/g_overlay.h"
#include "game/g_tick.h"
#include "gfx/g_gfx.h"
#include "scenegraph/renderer.h"
#include "scenegraph/resrc_mgr.h"
#include "scenegraph/texture.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr std::uint32_t k_life = 150;
constexpr std::uint32_t k_fade_ticks = 45;
constexpr std::uint32_t k_fade_in_end = k_life - k_fade_ticks;
constexpr std::uint32_t k_layer = 0x06800000; // above the HUD, below the pointer
constexpr MaterialFlags k_material = 0x40C1;
constexpr std::uint32_t k_mip_levels = 1;
constexpr D3DCOLOR k_white = 0xFFFFFF;

struct Rect {
    float x0, y0, x1, y1;
};
// On pixel centres of the 640 x 480 layout: 512 x 128 pixels.
constexpr Rect k_centred{63.5f, 111.5f, 575.5f, 239.5f};
constexpr Rect k_corner{15.5f, 15.5f, 527.5f, 143.5f};

float overlay_alpha(std::uint32_t life)
{
    if (life <= k_fade_ticks) return static_cast<float>(life) / k_fade_ticks;
    if (life >= k_fade_in_end) return static_cast<float>(k_life - life) / k_fade_ticks;
    return 1.0f;
}

D3DCOLOR alpha_byte(float alpha)
{
    return static_cast<D3DCOLOR>(std::min(255, static_cast<int>(alpha * 256.0f))) << 24;
}

} // namespace

void goxx_init_picture_overlay(const PictureOverlayParams& params, GoXx& object)
{
    goxx_set_subtype(object, GOXX_PICTURE_OVERLAY);
    PictureOverlay& overlay = object.area<PictureOverlay>();
    overlay.life = k_life;
    overlay.hold = params.hold;
    overlay.centred = params.centred;
    // A path that fills its field without an end is read no further than the field.
    const std::string path(params.path, strnlen(params.path, sizeof params.path));
    overlay.texture =
        tex_load_by_name(path.c_str(), k_mip_levels, D3DFMT_A4R4G4B4, RESRC_KEEP_CACHED, nullptr);
}

void goxx_update_picture_overlay(GoXx& object)
{
    PictureOverlay& overlay = object.area<PictureOverlay>();
    if (!g_paused && g_whole_tick) {
        if (overlay.life == 0) {
            go_kill(object);
            return;
        }
        if (!overlay.hold || overlay.life > k_fade_ticks) --overlay.life;
    }
    if (g_draw_frame) hud_queue_layer(k_layer, goxx_draw_picture_overlay, &object);
}

void goxx_draw_picture_overlay(RenderQueueItem*, void* object)
{
    const PictureOverlay& overlay = static_cast<GoXx*>(object)->area<PictureOverlay>();
    gfx_set_common_vs_constants();
    const Rect& r = overlay.centred ? k_centred : k_corner;
    const D3DCOLOR color = alpha_byte(overlay_alpha(overlay.life)) | k_white;
    ScreenVertex quad[4] = {
        {r.x0, r.y0, 0.0f, 1.0f, color, 0.0f, 0.0f},
        {r.x0, r.y1, 0.0f, 1.0f, color, 0.0f, 1.0f},
        {r.x1, r.y0, 0.0f, 1.0f, color, 1.0f, 0.0f},
        {r.x1, r.y1, 0.0f, 1.0f, color, 1.0f, 1.0f},
    };
    renderer_scale_2d(quad, sizeof(ScreenVertex), 4);
    hud_draw_screen_quad(quad, overlay.texture, k_material);
}

void goxx_release_picture_overlay(GoXx& object)
{
    PictureOverlay& overlay = object.area<PictureOverlay>();
    if (!overlay.texture) return;
    ResrcMgr::Release(RESRC_POOL_TEXTURE, overlay.texture);
    overlay.texture = nullptr;
}
