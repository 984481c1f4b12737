#include "game/g_scene.h"

#include "game/g_game.h"
#include "game/g_play_state.h"

std::uint8_t g_time_attack_mode = 0;
std::uint8_t g_no_fall = 0;
std::uint8_t g_scene_change_busy = 0;

std::int32_t g_timeattack_stage_ticks;
std::int32_t g_timeattack_total_ticks;
std::int32_t g_timeattack_after_ticks;

HRESULT scene_request_change(std::int32_t scene_id, bool force)
{
    PlayState& ps = g_play_state;
    if (!force && ps.requested_scene_id != 0) return E_FAIL;
    g_scene_pending |= SCENE_PENDING_CLEAR | SCENE_PENDING_ENTER;
    ps.requested_scene_id = scene_id;
    g_scene_change_busy = 1;
    ps.arrival.tag[0] = '\0';
    return 0;
}
