#include "object/go_script_cmd_screen.h"

#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_rules.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "game/g_screen_fx.h"

#include <cstdint>
#include <limits>

namespace {

PlayState& ps()
{
    return g_play_state;
}

// ---- Screen effects ---------------------------------------------------------------------------
// A strength of 0 only stores the values. With a path of a listed scene the next entry keeps the
// current fade and the change to it is asked for; an unlisted path asks for nothing.
ScriptFlow cmd_screen_afterimage(ScriptCall& call)
{
    ps().afterimage_alpha = call.arg_float(0);
    ps().afterimage_rate = call.arg_float(1);
    if (ps().afterimage_alpha == 0.0f) return SCRIPT_NEXT;
    ps().prepass_request = 1;
    const char* path = call.text(2);
    if (const SceneEntry* scene = path ? scn_data_find_scene(path) : nullptr) {
        g_scene_fade_in = 0;
        scene_request_change(scene->number, false);
    }
    return SCRIPT_NEXT;
}

ScriptFlow cmd_screen_zoom_blur(ScriptCall& call)
{
    ps().zoom_blur_alpha = call.arg_float(0);
    ps().zoom_blur_rate = call.arg_float(1);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_camera_shake(ScriptCall& call)
{
    camera_set_shake(call.arg(3), call.arg_float(0), call.arg_float(1), call.arg_float(2));
    return SCRIPT_NEXT;
}

ScriptFlow cmd_screen_flash(ScriptCall& call)
{
    ps().flash_strength = call.arg_float(0);
    ps().flash_rate = call.arg_float(1);
    ps().flash_param = call.arg_float(2);
    return SCRIPT_NEXT;
}

// Switching the tint off keeps its colour.
ScriptFlow cmd_screen_tint(ScriptCall& call)
{
    ps().screen_grey = call.arg(0) != 0;
    if (ps().screen_grey) ps().screen_tint = static_cast<std::uint32_t>(call.arg(1));
    return SCRIPT_NEXT;
}

// The cover layer scrolls at the two speeds while its strength is not 0.
ScriptFlow cmd_screen_scroll(ScriptCall& call)
{
    ps().sky_scroll_speed[0] = call.arg_float(0);
    ps().sky_scroll_speed[1] = call.arg_float(1);
    ps().cover_strength = call.arg_float(2);
    ps().sky_scroll_on = ps().cover_strength != 0.0f;
    ps().cover_word = call.arg(3);
    return SCRIPT_NEXT;
}

// Only 1 darkens the scene; scene entry lights it again.
ScriptFlow cmd_screen_player_overlay(ScriptCall& call)
{
    if (call.arg(0) == 1) ps().dark_scene = 1;
    return SCRIPT_NEXT;
}

// ---- The scene's light ----------------------------------------------------------------------
ScriptFlow cmd_light_main(ScriptCall& call)
{
    game_set_light_main(static_cast<std::uint32_t>(call.arg(0)),
                        {call.arg_float(1), call.arg_float(2), call.arg_float(3)});
    return SCRIPT_NEXT;
}

ScriptFlow cmd_light_extra(ScriptCall& call)
{
    game_set_light_extra(static_cast<std::uint32_t>(call.arg(0)), static_cast<std::uint32_t>(call.arg(1)),
                         {call.arg_float(2), call.arg_float(3), call.arg_float(4)});
    return SCRIPT_NEXT;
}

// ---- Scene state ------------------------------------------------------------------------------
ScriptFlow cmd_player_bounds(ScriptCall& call)
{
    ps().area_min_x = call.arg_float(0);
    ps().area_min_z = call.arg_float(1);
    ps().area_max_x = call.arg_float(2);
    ps().area_max_z = call.arg_float(3);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_damage_scale(ScriptCall& call)
{
    ps().enemy_damage_factor = call.arg_float(0);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_bgm_set(ScriptCall& call)
{
    if (call.arg(0) != -1) ps().music_id = call.arg(0);
    return SCRIPT_NEXT;
}

// A map coordinate beyond the 16-bit field stops at its ends; NaN gives 0.
std::uint16_t map_coordinate(float value)
{
    if (!(value > 0.0f)) return 0;
    constexpr float top = std::numeric_limits<std::uint16_t>::max();
    return value >= top ? std::numeric_limits<std::uint16_t>::max() : static_cast<std::uint16_t>(value);
}

// Without a current scene in the list there is no entry to mark.
ScriptFlow cmd_scene_map_position(ScriptCall& call)
{
    const std::int32_t id = ps().scene_id;
    if (id < 0 || id >= static_cast<std::int32_t>(g_scene_list.size())) return SCRIPT_NEXT;
    g_scene_list[id].map_x = map_coordinate(call.arg_float(0));
    g_scene_list[id].map_y = map_coordinate(call.arg_float(1));
    return SCRIPT_NEXT;
}

// ---- Rings, items and unlocks -----------------------------------------------------------------
ScriptFlow cmd_ring_set(ScriptCall& call)
{
    if (ps().game_flags[GF_RING_SLOTS] >= 1) ps().ring_slots[0] = call.arg(0);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_item_set(ScriptCall& call)
{
    ps().item_list[0] = call.arg(0);
    return SCRIPT_NEXT;
}

// An index outside the list unlocks nothing.
template <std::size_t N> void unlock(std::uint8_t (&list)[N], std::int32_t index)
{
    if (index >= 0 && static_cast<std::size_t>(index) < N) list[index] = 1;
}

ScriptFlow cmd_item_use_unlock(ScriptCall& call)
{
    unlock(ps().warp_points, call.arg(0));
    return SCRIPT_NEXT;
}

ScriptFlow cmd_gallery_unlock(ScriptCall& call)
{
    unlock(ps().gallery, call.arg(0));
    return SCRIPT_NEXT;
}

constexpr ScriptCommandRow k_screen_rows[] = {
    {38, &cmd_ring_set},          {39, &cmd_scene_map_position}, {48, &cmd_screen_player_overlay},
    {52, &cmd_bgm_set},           {53, &cmd_light_main},         {54, &cmd_light_extra},
    {75, &cmd_screen_afterimage}, {76, &cmd_screen_zoom_blur},   {77, &cmd_camera_shake},
    {225, &cmd_screen_tint},      {228, &cmd_screen_scroll},     {264, &cmd_player_bounds},
    {272, &cmd_item_set},         {276, &cmd_damage_scale},      {285, &cmd_screen_flash},
    {290, &cmd_item_use_unlock},  {294, &cmd_gallery_unlock},
};

} // namespace

std::span<const ScriptCommandRow> script_cmd_screen_commands()
{
    return k_screen_rows;
}
