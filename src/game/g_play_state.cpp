#include "game/g_play_state.h"

#include "core/scramble.h"
#include "game/g_game.h"
#include "game/g_play_status.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "game/g_settings.h"
#include "game/g_tick.h"
#include "object/actor/go_actor.h"
#include "object/obj_pools.h"

#include <algorithm>
#include <cstring>
#include <span>

PlayState g_play_state;
std::uint8_t g_retry_snapshot[PLAY_STATE_SIZE];
std::uint8_t g_bonus_requests[PLAY_BONUS_KEYS] = {};

namespace {

// The snapshot never leaves memory, so any seed serves; an odd one keeps the keystream from
// running into zero keys.
constexpr std::uint32_t k_snapshot_seed = 0x5A3C96E1;

constexpr std::int32_t k_script_variable_unset = -1;
constexpr std::int32_t k_first_armour = 12;
constexpr std::int32_t k_first_shield = 6;
// The hero starts holding the first weapon, shield and armour and one magic item.
constexpr std::int32_t k_starting_items[] = {0, k_first_shield, k_first_armour, 77};
constexpr std::int32_t k_new_game_weapon_level = 3;
constexpr int k_open_gallery_pictures = 3;
constexpr std::uint32_t k_hud_white = 0xFFFFFF;

void set_title_choices(std::int32_t* flags)
{
    flags[GF_DIFFICULTY] = g_title_game_difficulty;
    flags[GF_CLEAR_COUNT] = g_game_clear_flag;
    if (g_title_easy) flags[GF_EASY] = 1;
    if (g_title_very_easy) flags[GF_VERY_EASY] = 1;
    if (g_title_inferno) flags[GF_INFERNO] = 1;
}

// No item was ever owned but the starting ones; one ring slot and one item slot are open.
void set_new_game_flags(std::int32_t* flags)
{
    std::fill(flags + GF_ITEM_COUNT, flags + GF_ITEM_COUNT_END, k_script_variable_unset);
    flags[GF_RING_SLOTS] = 1;
    flags[GF_ITEM_SLOTS] = 1;
    flags[GF_EQUIP_SET] = 0;
    for (std::int32_t item : k_starting_items)
        flags[GF_ITEM_COUNT + item] = 1;
    flags[GF_WEAPON] = 0;
    flags[GF_ARMOUR] = k_first_armour;
    flags[GF_SHIELD] = k_first_shield;
}

void set_time_attack_start(PlayState& ps)
{
    ps.game_flags[GF_TIME_ATTACK] = 1;
    ps.game_flags[GF_TA_STAGE] = g_title_time_attack_index == 0 ? 1 : g_title_time_attack_index;
    std::strcpy(ps.arrival.tag, "timeattack_init");
}

void reset_new_game_presentation(PlayState& ps)
{
    g_hud_alpha = 0.0f;
    g_hud_color = k_hud_white;
    g_timeattack_stage_ticks = 0;
    g_timeattack_total_ticks = 0;
    ps.status.hp = 1.0f;
    std::fill(std::begin(ps.ring_slots), std::end(ps.ring_slots), PLAY_SLOT_EMPTY);
    std::fill(std::begin(ps.item_list), std::end(ps.item_list), PLAY_SLOT_EMPTY);
    ps.selected_magic = PLAY_NO_MAGIC;
    ps.game_flags[GF_BOOST_RUNNING] = 0;
    ps.game_flags[GF_DASH] = 0;
    ps.game_flags[GF_DOUBLE_JUMP] = 0;
    ps.game_flags[GF_WEAPON_LEVEL] = k_new_game_weapon_level;
    std::fill_n(ps.gallery, k_open_gallery_pictures, std::uint8_t{1});
}

// Every equipment level is recomputed from zero, then the whole status once more.
void recompute_new_game_status(PlayState& ps)
{
    for (std::int32_t& level : ps.equip_levels) {
        level = 0;
        ps.recompute_bits |= PLAY_RECOMPUTE_NEW_GAME;
        play_update_status();
    }
    ps.recompute_bits = PLAY_RECOMPUTE_ALL;
    play_update_status();
}

} // namespace

PlayState& play_state_get()
{
    return g_play_state;
}

void play_state_init()
{
    PlayState& ps = g_play_state;
    std::memset(&ps, 0, sizeof ps);
    ps.new_game = 1;
    g_no_fall = 0;
    set_title_choices(ps.game_flags);
    set_new_game_flags(ps.game_flags);
    if (g_time_attack_mode) set_time_attack_start(ps);
    reset_new_game_presentation(ps);
    play_compute_exp_totals(g_gameinfo.start_level);
    recompute_new_game_status(ps);
    ps.status.hp = ps.status.max_hp;
    ps.status.mp = ps.status.max_mp;
    ps.status.status_element = STATUS_ELEMENT_NONE;

    const std::int32_t scene_id = ps.requested_scene_id;
    ps.requested_scene_id = g_title_scene;
    play_store_retry_snapshot();
    ps.requested_scene_id = scene_id;
}

void play_stop_enemies()
{
    constexpr float k_alive_hp = 1.0f;
    for (std::int32_t i = 0; i < g_pool_actor.count; ++i) {
        auto* actor = static_cast<GoActor*>(g_pool_actor.active[i]);
        const bool enemy = actor->hit_shape.class_bits & HIT_ENEMY;
        const bool exempt = actor->status_bits & ACTOR_STATUS_EXEMPT;
        if (actor == g_player || actor->status.hp < k_alive_hp || exempt || !enemy) continue;
        actor->status.hp = 0.0f;
        if (actor->script.current_action != ANI_ACTION_DEFEAT)
            actor->script.RequestAction(ANI_ACTION_DEFEAT, false);
    }
}

void play_store_retry_snapshot()
{
    std::memcpy(g_retry_snapshot, &g_play_state, PLAY_STATE_SIZE);
    save_scramble(g_retry_snapshot, k_snapshot_seed);
}

void play_restore_retry_snapshot()
{
    std::memcpy(&g_play_state, g_retry_snapshot, PLAY_STATE_SIZE);
    save_unscramble(std::span(reinterpret_cast<std::uint8_t*>(&g_play_state), PLAY_STATE_SIZE),
                    k_snapshot_seed);
}

SceneLighting& play_scene_lighting()
{
    // Made on first use: the renderer's defaults are not ready while globals are constructed.
    static SceneLighting lighting = g_scene_lighting_defaults;
    return lighting;
}
