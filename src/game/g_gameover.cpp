#include "game/g_gameover.h"

#include "core/text.h"
#include "game/g_fade.h"
#include "game/g_game.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddialog.h"
#include "object/xx/go_xx.h"

std::uint8_t g_game_over;
std::uint8_t g_world_frozen;

namespace {

constexpr float k_dim_rate = 0.01f;
constexpr float k_dim_target = 0.3333333f; // a third of full cover
constexpr std::uint32_t k_black = 0;
constexpr const char* k_picture = "data\\image\\gameover.dds";
const D3DXVECTOR2 k_dialog_at(320.0f, 320.0f);
constexpr const char* k_dialog_title = " ";
constexpr std::int32_t k_music = 14;
constexpr std::uint32_t k_music_loop = 1;
constexpr const char* k_arrival_continue = "continue";

bool in_time_attack()
{
    return g_play_state.game_flags[GF_TIME_ATTACK] != 0;
}

void show_picture()
{
    GoXx* overlay = obj_create<GoXx>(g_pool_xx);
    if (!overlay) return;
    PictureOverlayParams params{};
    sys_copy_string(params.path, k_picture, sizeof params.path);
    params.hold = 1;
    params.centred = 1;
    goxx_init_picture_overlay(params, *overlay);
}

// False when the pool has no dialog to give.
bool open_dialog()
{
    return dialog_open(k_dialog_title, k_dialog_at,
                       {{"Retry", &gameover_cb_retry}, {"Return to Title", &gameover_cb_title}}) != nullptr;
}

// The fade covers the screen, then the scene of `scene_id` is entered with the tag; the world
// stands still meanwhile, so the fallen player does not cancel the change.
void leave_by_fade(std::int32_t scene_id, const char* tag)
{
    g_fade.target = 1.0f;
    g_fade.pending_scene = scene_id;
    g_fade.arrival = {};
    sys_copy_string(g_fade.arrival.tag, tag, sizeof g_fade.arrival.tag);
    g_world_frozen = 1;
}

} // namespace

void gameover_open()
{
    if (g_game_over) return;
    g_fade.rate = k_dim_rate;
    g_fade.target = k_dim_target;
    fade_set_colors(k_black, k_black);
    g_game_over = 1;
    const bool time_attack = in_time_attack();
    if (!time_attack) show_picture();
    if (!open_dialog()) return;
    if (!time_attack) Bgm_Play(k_music, k_music_loop);
}

// The screen clears first, then covers again toward the retry.
void gameover_cb_retry(GoWndDialog&)
{
    g_fade.value = 0.0f;
    leave_by_fade(g_play_state.scene_id, k_arrival_continue);
}

void gameover_cb_title(GoWndDialog&)
{
    fade_set_colors(k_black, k_black);
    leave_by_fade(g_title_scene, "");
    g_timeattack_stage_ticks = 0;
    g_timeattack_total_ticks = 0;
}
