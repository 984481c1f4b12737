#include "object/actor/player_hud.h"

#include "game/g_hud.h"
#include "game/g_play_state.h"
#include "object/actor/go_actor.h"

namespace {

constexpr std::int32_t k_first_bracelet = 72;
constexpr std::int32_t k_bracelet_kinds = 3;
constexpr std::int32_t k_bracelet_items = 2 * k_bracelet_kinds; // each kind and its upgrade

} // namespace

void player_sync_hud_gauges()
{
    if (!g_player) {
        g_hud_gauges[HUD_GAUGE_HP].owner = 0;
        g_hud_gauges[HUD_GAUGE_MP].owner = 0;
        return;
    }
    const StatusBlock& status = g_play_state.status;
    hud_gauge_set(g_player->object_id, HUD_GAUGE_HP, status.hp, status.max_hp);
    hud_gauge_set(g_player->object_id, HUD_GAUGE_MP, status.mp, status.max_mp);
}

std::int32_t player_magic_type()
{
    const std::int32_t slot = g_play_state.selected_magic - k_first_bracelet;
    if (slot < 0 || slot >= k_bracelet_items) return PLAYER_MAGIC_NONE;
    return slot % k_bracelet_kinds;
}
