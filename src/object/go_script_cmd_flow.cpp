#include "object/go_script_cmd_flow.h"

#include "core/maths.h"
#include "core/timer.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_rules.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "game/g_settings.h"
#include "game/g_sound.h"
#include "lowlv/audio/audio_mgr.h"
#include "lowlv/audio/audio_sound.h"
#include "lowlv/input/input_device.h"
#include "object/boss/boss_command.h"

#include <cstdint>
#include <iterator>

namespace {

// The story's return points, picked by GF_WARP_POINT.
constexpr const char* k_return_scenes[] = {
    "s_10\\s_1000", "s_10\\s_1001", "s_10\\s_1002", "s_10\\s_1003", "s_10\\s_1004", "s_20\\s_2003",
    "s_20\\s_2013", "s_33\\s_3399", "s_35\\s_3506", "s_35\\s_3514", "s_25\\s_2511", "s_40\\s_4005",
    "s_45\\s_4514", "s_50\\s_5011", "s_50\\s_5111", "s_53\\s_5303", "s_55\\s_5502", "s_60\\s_6000",
    "s_61\\s_6110", "s_35\\s_3500", "s_45\\s_4505",
};

constexpr std::uint32_t k_chance_shift = 17;
constexpr std::uint32_t k_chance_range = 100;

ScriptFlow set_reg(ScriptCall& call, bool value)
{
    call.script.accumulator = value ? 1 : 0;
    return SCRIPT_NEXT;
}

// ---- Waits and tests ------------------------------------------------------------------------------
// A group past the manager's count, or no manager at all, has nothing playing.
ScriptFlow cmd_wait_sound_group(ScriptCall& call)
{
    if (!g_play_effect) return SCRIPT_NEXT;
    const SoundGroup* group = audio_group(static_cast<std::uint32_t>(call.arg(0)));
    const bool playing = group && audio_group_is_playing(*group, static_cast<DWORD>(call.arg(1)));
    return playing ? SCRIPT_WAIT : SCRIPT_NEXT;
}

ScriptFlow cmd_wait_clock(ScriptCall& call)
{
    return timer_elapsed_ms() >= static_cast<DWORD>(call.arg(0)) ? SCRIPT_NEXT : SCRIPT_WAIT;
}

ScriptFlow cmd_wait_boss_anim(ScriptCall&)
{
    return script_boss_anim_done() ? SCRIPT_NEXT : SCRIPT_WAIT;
}

ScriptFlow cmd_wait_boss_move(ScriptCall&)
{
    return script_boss_move_done() ? SCRIPT_NEXT : SCRIPT_WAIT;
}

ScriptFlow cmd_reg_chance(ScriptCall& call)
{
    const std::uint32_t roll = (math_rand_u32() >> k_chance_shift) % k_chance_range;
    return set_reg(call, roll < static_cast<std::uint32_t>(call.arg(0)));
}

ScriptFlow cmd_reg_prev_scene(ScriptCall& call)
{
    const char* path = call.text(0);
    const SceneEntry* scene = path ? scn_data_find_scene(path) : nullptr;
    return set_reg(call, scene && scene->number == g_play_state.previous_scene_id);
}

ScriptFlow cmd_reg_scene_text(ScriptCall& call)
{
    return set_reg(call, scn_data_scene(g_play_state.scene_id).info_text[0] != '\0');
}

ScriptFlow cmd_reg_flag_ge_diff(ScriptCall& call)
{
    return set_reg(call, call.var(0) >= scene_item_count_cap());
}

// ---- Scenes and the world -------------------------------------------------------------------------
// An index outside the table requests nothing.
ScriptFlow cmd_scene_change_table(ScriptCall&)
{
    const std::int32_t index = g_play_state.game_flags[GF_WARP_POINT];
    if (index < 0 || index >= static_cast<std::int32_t>(std::size(k_return_scenes))) return SCRIPT_NEXT;
    if (const SceneEntry* scene = scn_data_find_scene(k_return_scenes[index]))
        scene_request_change(scene->number, false);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_enemies_stop(ScriptCall&)
{
    play_stop_enemies();
    return SCRIPT_NEXT;
}

ScriptFlow cmd_boss(ScriptCall& call)
{
    boss_script_command(call.argc, call.args);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_pad_force(ScriptCall& call)
{
    input_play_force(call.arg(0));
    return SCRIPT_NEXT;
}

// ---- Sound and music -------------------------------------------------------------------------------
ScriptFlow cmd_sound_play(ScriptCall& call)
{
    sound_play(call.arg(0), call.arg(1));
    return SCRIPT_NEXT;
}

ScriptFlow cmd_sound_play_at(ScriptCall& call)
{
    sound_play_at(call.arg(0), call.arg_float(1), call.arg_float(2), call.arg_float(3));
    return SCRIPT_NEXT;
}

ScriptFlow cmd_sound_play_actor(ScriptCall& call)
{
    sound_play_from_actor(call.arg(0), call.arg(1), 0.0f);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_sound_group_fade(ScriptCall& call)
{
    sound_stop(call.arg(0), call.arg(1));
    return SCRIPT_NEXT;
}

ScriptFlow cmd_bgm_fade(ScriptCall& call)
{
    if (g_play_bgm) audio_music_fade(call.arg(0), call.arg(1));
    return SCRIPT_NEXT;
}

ScriptFlow cmd_sound_group_fade_to(ScriptCall& call)
{
    if (g_play_effect) audio_group_fade_to(static_cast<std::uint32_t>(call.arg(0)), call.arg(1), call.arg(2));
    return SCRIPT_NEXT;
}

ScriptFlow cmd_snapshot_store(ScriptCall&)
{
    save_store_snapshot();
    return SCRIPT_NEXT;
}

ScriptFlow cmd_sound_reload(ScriptCall& call)
{
    sound_reload_effect(call.arg(0));
    return SCRIPT_NEXT;
}

constexpr ScriptCommandRow k_rows[] = {
    {62, &cmd_sound_play},
    {63, &cmd_sound_play_at},
    {64, &cmd_sound_play_actor},
    {65, &cmd_sound_group_fade},
    {66, &cmd_bgm_fade},
    {67, &cmd_sound_group_fade_to},
    {104, &cmd_wait_sound_group},
    {108, &cmd_wait_boss_anim},
    {109, &cmd_wait_boss_move},
    {149, &cmd_boss},
    {226, &cmd_reg_prev_scene},
    {245, &cmd_reg_scene_text},
    {246, &cmd_scene_change_table},
    {249, &cmd_reg_chance},
    {252, &cmd_snapshot_store},
    {260, &cmd_wait_clock},
    {263, &cmd_sound_reload},
    {266, &cmd_pad_force},
    {271, &cmd_reg_flag_ge_diff},
    {279, &cmd_enemies_stop},
};

} // namespace

std::span<const ScriptCommandRow> script_cmd_flow_commands()
{
    return k_rows;
}
