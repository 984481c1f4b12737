#include "game/g_screen_fx.h"

#include "core/maths.h"
#include "core/timer.h"
#include "game/g_overlay.h"
#include "game/g_play_state.h"
#include "game/g_settings.h"
#include "game/g_tick.h"
#include "gfx/g_gfx.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"
#include "scenegraph/model.h"
#include "scenegraph/renderer.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

constexpr std::uint32_t k_zoom_layers = 4;
constexpr float k_zoom_step = 0.02f;

// The fire blur's grid points sway by these amplitudes (pixels), one row of the strip after
// another; the vertical sway is a quarter wider.
constexpr float k_grid_amplitudes[12] = {7.0f, 7.0f, 5.25f, 5.25f, 4.0f, 4.0f,
                                         4.0f, 4.0f, 5.25f, 5.25f, 7.0f, 7.0f};
constexpr float k_grid_vertical_factor = 1.25f;
constexpr std::int32_t k_grid_x_phase_step = 1; // degrees a move
constexpr std::int32_t k_grid_y_phase_step = 6;

constexpr float k_wind_phase_rate = 0.011f;
constexpr float k_wind_table_steps = 40.743664f;   // 256 table steps a turn
constexpr float k_wind_to_renderer = 0.024543693f; // pi / 128

constexpr int k_lamp_light = 3;
constexpr float k_lamp_phase_rate = 0.055f;
constexpr float k_lamp_fade_rate = 0.05f;

// Adds rate x step to a running effect's strength; false when the effect is off.
bool advance_strength(float& strength, float rate)
{
    if (strength == 0.0f) return false;
    strength += rate * g_frame_step;
    return true;
}

void step_afterimage(PlayState& ps)
{
    if (!advance_strength(ps.afterimage_alpha, ps.afterimage_rate)) return;
    ps.afterimage_alpha = std::clamp(ps.afterimage_alpha, 0.0f, 1.0f);
    g_frame_effects.afterimage_alpha = ps.afterimage_alpha;
}

void step_zoom_blur(PlayState& ps)
{
    if (!advance_strength(ps.zoom_blur_alpha, ps.zoom_blur_rate)) return;
    FrameEffects& fx = g_frame_effects;
    if (ps.zoom_blur_alpha <= 0.0f) {
        ps.zoom_blur_alpha = 0.0f;
        fx.zoom_alpha = 0.0f;
        fx.zoom_layers = 0;
        fx.zoom_step = 0.0f;
        fx.zoom_centre = D3DXVECTOR2(static_cast<float>(g_screen_size.half_width),
                                     static_cast<float>(g_screen_size.half_height));
        return;
    }
    ps.zoom_blur_alpha = std::min(ps.zoom_blur_alpha, 1.0f);
    fx.zoom_alpha = ps.zoom_blur_alpha;
    fx.zoom_layers = k_zoom_layers;
    fx.zoom_step = k_zoom_step;
    fx.screen_texture_mode = true;
}

// Each point back at its rest position, swayed by the sines of its two phases, which then move
// on. The phases stay within one turn, so they never overflow, whatever the game's length.
void move_fire_blur_grid()
{
    GridDistortion& grid = g_grid_distortion;
    for (int i = 0; i < GRID_VERTEX_COUNT; ++i) {
        const float amplitude = k_grid_amplitudes[i % std::size(k_grid_amplitudes)];
        std::int32_t& phase_x = grid.phases[0][i];
        std::int32_t& phase_y = grid.phases[1][i];
        ScreenVertex& point = grid.vertices[i];
        point = grid.rest[i];
        point.x += std::sin(static_cast<float>(phase_x) * MATH_DEGREE) * amplitude;
        point.y += std::sin(static_cast<float>(phase_y) * MATH_DEGREE) * amplitude * k_grid_vertical_factor;
        phase_x = (phase_x + k_grid_x_phase_step) % 360;
        phase_y = (phase_y + k_grid_y_phase_step) % 360;
    }
}

void step_fire_blur(PlayState& ps)
{
    if (!g_fire_blur) return;
    FrameEffects& fx = g_frame_effects;
    fx.grid_enable = true;
    if (advance_strength(ps.fire_blur_alpha, ps.fire_blur_rate)) {
        if (ps.fire_blur_alpha <= 0.0f) {
            ps.fire_blur_alpha = 0.0f;
            fx.grid_alpha = 0.0f;
        } else {
            fx.screen_texture_mode = true;
            ps.fire_blur_alpha = std::min(ps.fire_blur_alpha, 1.0f);
            fx.grid_alpha = ps.fire_blur_param;
        }
    }
    // The grid moves once for each time the renderer drew it.
    if (g_whole_tick && fx.grid_drawn) {
        fx.grid_drawn = false;
        move_fire_blur_grid();
    }
}

void step_shake_and_countdown(PlayState& ps)
{
    if (!g_whole_tick) return;
    if (ps.shake_ticks != 0) {
        for (int axis = 0; axis < 3; ++axis)
            ps.shake_offset[axis] = ps.shake_amplitude[axis] * math_rand_range(-1.0f, 1.0f);
        --ps.shake_ticks;
    }
    if (ps.countdown != 0) --ps.countdown;
}

struct LampShape {
    D3DXVECTOR4 color;
    float first_range;
    float second_range;
    float forward; // ahead of the player's feet
};

// The lamp ring glows green and pulses; without it the player's own faint light reaches less far.
LampShape lamp_shape(float pulse, bool worn)
{
    if (!worn) return {D3DXVECTOR4(0.0f, 0.0f, 0.0f, 0.0f), 35.5f + 0.25f * pulse, 30.0f, 0.35f};
    const float red_blue = pulse * 0.03f + 0.02f;
    return {D3DXVECTOR4(red_blue, pulse * 0.08f + 0.07f, red_blue, 0.0f), 2.0f * pulse + 48.0f,
            31.5f + 0.5f * pulse, 0.9f};
}

void light_player_lamp(const GoActor& player)
{
    PlayState& ps = g_play_state;
    LampShape lamp = lamp_shape(std::sin(ps.lamp_phase), game_lamp_worn());
    math_approach(ps.lamp_intensity, 1.0f, k_lamp_fade_rate * g_frame_step);
    lamp.color.x *= ps.lamp_intensity;
    lamp.color.y *= ps.lamp_intensity;
    lamp.color.z *= ps.lamp_intensity;
    const int heading = math_heading_index(player.facing);
    const D3DXVECTOR3 position(player.world._41 + math_table_cos(heading) * lamp.forward,
                               (player.world._42 + player.foot_offset) * 0.5f,
                               player.world._43 + math_table_sin(heading) * lamp.forward);
    gfx_set_point_light(k_lamp_light, position, lamp.color, lamp.first_range, lamp.second_range);
}

} // namespace

void game_step_screen_effects()
{
    PlayState& ps = g_play_state;
    step_afterimage(ps);
    step_zoom_blur(ps);
    step_fire_blur(ps);
    step_shake_and_countdown(ps);
    ps.screen_texture = ps.screen_texture_request;
    if (ps.screen_texture) g_frame_effects.screen_texture_mode = true;
    ps.effect_time += g_frame_step;
    g_model_scene.effect_time = ps.effect_time;
}

void camera_set_shake(std::int32_t ticks, float amplitude_x, float amplitude_y, float amplitude_z)
{
    PlayState& ps = g_play_state;
    ps.shake_ticks = ticks;
    ps.shake_amplitude[0] = amplitude_x;
    ps.shake_amplitude[1] = amplitude_y;
    ps.shake_amplitude[2] = amplitude_z;
}

void game_step_wind()
{
    PlayState& ps = g_play_state;
    if (ps.wind_on && !g_paused) {
        ps.wind_phase += k_wind_phase_rate * g_frame_step;
        const int k = static_cast<int>(std::lrint(ps.wind_phase * k_wind_table_steps));
        ps.wind_offset += g_frame_step * ((math_table_cos(3 * k) + math_table_cos(k)) * 0.2f + 0.5f);
    }
    // Every lane holds the sway, whichever one a wind shader reads.
    const float sway = ps.wind_offset * k_wind_to_renderer;
    g_model_scene.wind = D3DXVECTOR4(sway, sway, sway, sway);
}

void game_step_lamp()
{
    PlayState& ps = g_play_state;
    ps.lamp_phase += k_lamp_phase_rate * g_frame_step;
    const bool shader = g_device_settings.settings.point_light_vs != 0;
    g_frame_effects.shadow_lighting = shader;
    if (!shader)
        ps.lamp_intensity = 0.0f;
    else if (g_player)
        light_player_lamp(*g_player);
    // Only the shader's lamp light lifts the darkness.
    if (!shader || !g_player || !game_lamp_worn())
        hud_queue_layer(RQ_LAYER_DARKNESS, game_draw_screen_effect_cb, nullptr);
}

void game_step_clouds()
{
    PlayState& ps = g_play_state;
    if (!ps.sky_scroll_on || !g_device_settings.settings.cloud_vs) return;
    FrameEffects& fx = g_frame_effects;
    for (int axis = 0; axis < 2; ++axis) {
        if (!g_paused) ps.sky_scroll[axis] += g_frame_step * ps.sky_scroll_speed[axis];
        fx.cover_scroll[axis] = ps.sky_scroll[axis];
    }
    fx.cover_mode = static_cast<float>(ps.sky_scroll_on);
}

void game_apply_scene_light()
{
    g_scene_lighting = play_scene_lighting();
    D3DXVECTOR4& direction = g_scene_lighting.light_direction;
    D3DXVECTOR3 unit(direction.x, direction.y, direction.z);
    D3DXVec3Normalize(&unit, &unit);
    direction = D3DXVECTOR4(unit.x, unit.y, unit.z, direction.w);
}
