#include "object/go_script_cmd_player.h"

#include "game/g_play_state.h"
#include "game/g_play_status.h"
#include "object/actor/go_actor.h"
#include "object/actor/player_hud.h"

#include <cstdint>

namespace {

constexpr float k_heal = 999.0f;
constexpr std::uint32_t k_equipment_changed = 0x10;

PlayState& ps()
{
    return g_play_state;
}

void copy_status_to_player()
{
    if (g_player) g_player->status = ps().status;
}

// A heal that changed the hit points also stands a fallen player up again where it is.
ScriptFlow cmd_player_heal(ScriptCall&)
{
    if (!player_add_hp(k_heal)) return SCRIPT_NEXT;
    player_sync_hud_gauges();
    ps().recompute_bits |= PLAY_RECOMPUTE_ALL;
    play_update_status();
    if (g_player) actor_respawn_reset(*g_player, false);
    return SCRIPT_NEXT;
}

// Events take the auras off the player and put them back at their end.
ScriptFlow cmd_player_auras(ScriptCall& call)
{
    if (call.arg(0) != 0) {
        player_ailment_auras_attach();
        player_powerup_auras_attach();
    } else {
        player_ailment_auras_detach();
        player_powerup_auras_detach();
    }
    return SCRIPT_NEXT;
}

// The level is clamped to 1-60 by the level rule.
ScriptFlow cmd_player_level(ScriptCall& call)
{
    play_compute_exp_totals(call.arg(0));
    ps().status.hp = ps().status.max_hp;
    copy_status_to_player();
    return SCRIPT_NEXT;
}

// An item outside the equipment changes nothing.
ScriptFlow cmd_equip_level(ScriptCall& call)
{
    const std::int32_t item = call.arg(0);
    if (item < 0 || item >= PLAY_EQUIP_LEVELS) return SCRIPT_NEXT;
    ps().equip_levels[item] = call.arg(1);
    ps().recompute_bits |= k_equipment_changed;
    play_update_status();
    copy_status_to_player();
    return SCRIPT_NEXT;
}

ScriptFlow cmd_gold_add(ScriptCall& call)
{
    player_add_gold(call.arg(0));
    return SCRIPT_NEXT;
}

// A slot outside the three ring slots changes nothing.
ScriptFlow cmd_ring_set_at(ScriptCall& call)
{
    const std::int32_t index = call.arg(0);
    if (index >= 0 && index < PLAY_RING_SLOTS) ps().ring_slots[index] = call.arg(1);
    return SCRIPT_NEXT;
}

constexpr ScriptCommandRow k_rows[] = {
    {232, &cmd_player_heal}, {233, &cmd_player_auras}, {240, &cmd_player_level},
    {241, &cmd_equip_level}, {242, &cmd_gold_add},     {243, &cmd_ring_set_at},
};

} // namespace

std::span<const ScriptCommandRow> script_cmd_player_commands()
{
    return k_rows;
}
