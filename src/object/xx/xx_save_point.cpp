#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_play_status.h"
#include "game/g_sound.h"
#include "game/g_tick.h"
#include "gfx/go_effect.h"
#include "object/actor/go_actor.h"
#include "object/actor/player_hud.h"
#include "object/xx/go_xx.h"

#include <cmath>

namespace {

constexpr float k_reach_sq = 1.96f;        // 1.4 units from the point, horizontally
constexpr float k_stand_height = 1.0f;     // where a player's position is when standing on it
constexpr float k_height_tolerance = 0.5f; // either way of that height
constexpr std::uint32_t k_heal_period = 15;
constexpr float k_full_heal = 999.0f;
constexpr float k_alive_hp = 1.0f;
constexpr std::int32_t k_arrival_sound = 18;
constexpr std::int32_t k_heal_sound = 102;
constexpr std::int32_t k_heal_effect = 100;
constexpr std::int32_t k_sound_level = 1024;

bool stands_on(const GoXx& point, const GoActor& player)
{
    const float dx = player.world._41 - point.world._41;
    const float dz = player.world._43 - point.world._43;
    if (dx * dx + dz * dz >= k_reach_sq) {
        // Stepping off sideways ends the visit; the next arrival sounds again.
        g_play_state.game_flags[GF_ON_SAVE_POINT] = 0;
        return false;
    }
    return std::fabs(player.world._42 - (point.world._42 + k_stand_height)) <= k_height_tolerance;
}

void heal_player(const GoActor& player)
{
    if (g_play_state.status.hp < k_alive_hp || !player_add_hp(k_full_heal)) return;
    player_sync_hud_gauges();
    g_play_state.recompute_bits |= PLAY_RECOMPUTE_ALL;
    play_update_status();
    sound_play(k_heal_sound, k_sound_level);
    eft_start_attached(k_heal_effect, player.world, eft_row_for(player.submerged));
}

void refill_companions()
{
    for (GoActor* ally : g_ally_actors)
        if (ally != nullptr && ally->status.hp >= k_alive_hp) ally->status.hp = ally->status.max_hp;
}

} // namespace

void goxx_init_save_point(GoXx& object, const D3DXVECTOR3& position)
{
    goxx_set_subtype(object, GOXX_SAVE_POINT);
    object.world._41 = position.x;
    object.world._42 = position.y;
    object.world._43 = position.z;
}

void goxx_update_save_point(GoXx& object)
{
    if (g_paused || !g_whole_tick) return;
    SavePoint& point = object.area<SavePoint>();
    if (point.cooldown > 0) {
        --point.cooldown;
        return;
    }
    if (g_player == nullptr || !stands_on(object, *g_player)) return;
    std::int32_t& visiting = g_play_state.game_flags[GF_ON_SAVE_POINT];
    if (visiting == 0) {
        visiting = 1;
        sound_play(k_arrival_sound, k_sound_level);
    }
    point.cooldown = k_heal_period;
    heal_player(*g_player);
    refill_companions();
}
