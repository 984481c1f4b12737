#include "game/g_pointer.h"

#include "core/maths.h"
#include "core/timer.h"
#include "game/g_image_table.h"
#include "game/g_overlay.h"
#include "game/g_tick.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/renderer_frame.h"
#include "lowlv/input/input_poll.h"
#include "lowlv/input/input_state.h"
#include "object/actor/go_actor.h"
#include "object/go_script.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddemo.h"
#include "platform/win_window.h"
#include "scenegraph/renderer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

MousePointer g_mouse_pointer{};
std::uint8_t g_pointer_in_use = 0;
std::uint8_t g_pointer_moved = 0;

namespace {

// The pointer may leave the 640x480 screen by 48 units on every side.
constexpr PointerRect k_pointer_bounds = {-48.0f, -48.0f, 736.0f, 576.0f};
// The steering circle's centre: the hero's usual place on the screen.
constexpr float k_screen_point_x = 320.0f;
constexpr float k_screen_point_y = 216.0f;
constexpr float k_circle_radius = 96.0f;
constexpr float k_virtual_width = 640.0f;
constexpr float k_virtual_height = 480.0f;

constexpr std::int32_t k_idle_steps = 62;  // hidden this long after other input began
constexpr std::int32_t k_click_steps = 37; // the ring's hold after the button
constexpr std::int32_t k_steering_steps = 3;
constexpr float k_fade_in_rate = 0.1f;
constexpr float k_fade_out_rate = 0.08f;

// Offsets on the 640x480 screen into stick units (the stick's full throw of 1024 spans 320 by
// 235 units), and the weights the steering gives the two axes.
constexpr float k_stick_per_unit_x = 3.2f;
constexpr float k_stick_per_unit_y = 4.353741f;
constexpr float k_steer_weight_x = 1.68f;
constexpr float k_steer_weight_y = 2.1f;
// The hero's camera point lies this far above the place the pointer is measured from.
constexpr float k_hero_point_drop = 2.0f;
// Closer than half a pixel to the hero, the pointer gives no direction.
constexpr float k_dead_centre_sq = 0.25f;

constexpr MaterialFlags k_pointer_material = 0x41; // textured and blended
// The image's arrow points to its top-right corner, a quarter turn's half from the right.
constexpr float k_arrow_angle = std::numbers::pi_v<float> / 4.0f;
// The quad spans 23 units, the pointer's place 15 in from its left and top.
constexpr float k_quad_near = -15.0f;
constexpr float k_quad_far = 8.0f;

void hud_pointer_bounds(MousePointer& p)
{
    const PointerRect& b = p.bounds;
    p.clamp_bounds = {b.left / p.scale_x, b.top / p.scale_y, b.width / p.scale_x, b.height / p.scale_y};
}

void hud_pointer_clamp(MousePointer& p)
{
    const PointerRect& c = p.clamp_bounds;
    p.x = std::clamp(p.x, c.left, c.left + c.width);
    p.y = std::clamp(p.y, c.top, c.top + c.height);
    p.scaled_x = p.x * p.scale_x;
    p.scaled_y = p.y * p.scale_y;
    p.draw_x = std::floor(p.scaled_x) - 0.5f;
    p.draw_y = std::floor(p.scaled_y) - 0.5f;
}

InputRecord& current_record()
{
    return g_input_ring.records[g_input_ring.current];
}

bool window_open()
{
    return g_pool_wndmain2.count > 0 || g_pool_wndshop2.count > 0 || g_pool_wnddialog.count > 0 ||
           g_pool_wndzzz.count > 0;
}

bool script_busy()
{
    return script_event_running() || g_pool_wndtext.count > 0;
}

bool movie_playing()
{
    return g_pool_wnddemo.count > 0 &&
           static_cast<GoWndDemo*>(g_pool_wnddemo.active[0])->mode == WNDDEMO_MOVIE;
}

bool cursor_still(const MousePointer& p, const InputRecord& record)
{
    return std::llabs(std::int64_t{record.cursor_x} - p.last_cursor_x) <= 1 &&
           std::llabs(std::int64_t{record.cursor_y} - p.last_cursor_y) <= 1;
}

// Moving the mouse shows the pointer only with the button held or a window open; a direction
// from the keys or the stick while the mouse rests gives the hero back to them.
void take_cursor(MousePointer& p, const InputRecord& record)
{
    p.x = static_cast<float>(record.cursor_x);
    p.y = static_cast<float>(record.cursor_y);
    hud_pointer_clamp(p);
    if (cursor_still(p, record)) {
        p.moved = 0;
        if (record.direction != 0) {
            p.moved_with_button = 0;
            g_pointer_in_use = 0;
        }
    } else {
        if (p.window_open) p.visible = 1;
        if (p.window_open || (record.held & INPUT_MOUSE_DIR)) {
            p.moved_with_button = 1;
            g_pointer_in_use = 1;
        }
        p.moved = 1;
    }
    if (record.pressed & INPUT_CLICK) g_pointer_in_use = 1;
    g_pointer_moved = static_cast<std::uint8_t>(p.moved);
    p.last_cursor_x = record.cursor_x;
    p.last_cursor_y = record.cursor_y;
}

void step_idle(MousePointer& p, const InputRecord& record)
{
    if (p.idle_count != 0) {
        if (p.idle_count < k_idle_steps) ++p.idle_count;
        if (p.idle_count == k_idle_steps) p.visible = 0;
    } else if (record.direction != 0 || record.magnitude != 0.0f || (record.held & ~INPUT_CLICK) != 0) {
        p.idle_count = 1;
    }
    if (p.moved_with_button && !p.visible) {
        p.visible = 1;
        p.idle_count = 0;
    }
}

void step_click_window(MousePointer& p, const InputRecord& record)
{
    if (!p.window_open && !p.script_busy && (record.held & INPUT_MOUSE_DIR)) {
        p.click_window = 1;
        p.click_count = 0;
        return;
    }
    if (p.click_count < k_click_steps) ++p.click_count;
    if (p.click_count == k_click_steps) p.click_window = 0;
}

// Full colour while shown and none while hidden; while the fade moves, its own alpha over white.
void step_fade(float& fade, std::uint32_t& color, bool shown)
{
    if (shown) {
        color = 0xFFFFFFFF;
        if (fade >= 1.0f) return;
        fade = std::clamp(fade + k_fade_in_rate * g_frame_step, 0.0f, 1.0f);
    } else {
        color = 0;
        if (fade <= 0.0f) return;
        fade = std::clamp(fade - k_fade_out_rate * g_frame_step, 0.0f, 1.0f);
    }
    color = renderer_alpha_factor(fade);
}

void turn_pointer(MousePointer& p)
{
    if (p.scaled_x != k_screen_point_x || p.scaled_y != k_screen_point_y)
        p.screen_angle = math_atan2f(k_screen_point_y - p.scaled_y, p.scaled_x - k_screen_point_x);
    if (!g_player) return;
    const float dx = p.scaled_x - p.anchor_x;
    const float dy = p.scaled_y - p.anchor_y;
    if (dx != 0.0f || dy != 0.0f)
        p.anchor_angle = math_atan2f(-dy * k_stick_per_unit_y, dx * k_stick_per_unit_x);
}

// The direction from the hero's place on the screen to the pointer becomes the stick.
void steer_hero(MousePointer& p, const GoActor& player, InputRecord& record)
{
    D3DXVECTOR3 hero;
    actor_camera_target(player, hero);
    hero.y -= k_hero_point_drop;
    D3DXVec3TransformCoord(&hero, &hero, &g_camera_state.screen);
    if (std::isnan(hero.x) || std::isnan(hero.y) || std::isnan(hero.z)) return;
    const float vx = p.scaled_x * static_cast<float>(g_screen_size.width) / k_virtual_width - hero.x;
    const float vy = p.scaled_y * static_cast<float>(g_screen_size.height) / k_virtual_height - hero.y;
    const float length_sq = vx * vx + vy * vy;
    if (length_sq != 0.0f && p.pointer_color != 0) p.screen_angle = math_atan2f(-vy, vx);
    if (length_sq < k_dead_centre_sq) {
        p.steering_hold = 0;
        return;
    }
    if (p.steering_hold <= 0) return;
    float angle = 0.0f, magnitude = 0.0f;
    std::uint32_t direction = 0;
    input_stick_to_polar(angle, magnitude, direction, (p.scaled_x - k_screen_point_x) * k_stick_per_unit_x,
                         (p.scaled_y - k_screen_point_y) * k_stick_per_unit_y, k_steer_weight_x,
                         k_steer_weight_y);
    record.angle = p.screen_angle;
    record.magnitude = 1.0f;
    record.direction = direction;
}

void step_steering(MousePointer& p, InputRecord& record)
{
    if (g_whole_tick) turn_pointer(p);
    if (record.held & INPUT_MOUSE_DIR)
        p.steering_hold = k_steering_steps;
    else if (p.steering_hold > 0)
        --p.steering_hold;
    if (g_player) steer_hero(p, *g_player, record);
}

} // namespace

void hud_pointer_init()
{
    MousePointer& p = g_mouse_pointer;
    p = MousePointer{};
    p.scale_x = p.scale_y = 1.0f;
    p.bounds = k_pointer_bounds;
    hud_pointer_bounds(p);
    const InputRecord& record = current_record();
    p.x = static_cast<float>(record.cursor_x);
    p.y = static_cast<float>(record.cursor_y);
    hud_pointer_clamp(p);
    g_pointer_in_use = g_pointer_moved = 0;
}

void hud_update_screen_scale()
{
    MousePointer& p = g_mouse_pointer;
    RECT client{};
    const bool sized = GetClientRect(g_device_settings.settings.window, &client) &&
                       client.right > client.left && client.bottom > client.top && g_screen_size.width > 0 &&
                       g_screen_size.height > 0;
    if (sized) {
        p.scale_x = static_cast<float>(g_screen_size.width) / static_cast<float>(client.right - client.left);
        p.scale_y = static_cast<float>(g_screen_size.height) / static_cast<float>(client.bottom - client.top);
    }
    hud_pointer_bounds(p);
}

void hud_update_mouse_cursor()
{
    MousePointer& p = g_mouse_pointer;
    InputRecord& record = current_record();
    p.window_open = window_open();
    p.script_busy = script_busy();
    if (g_whole_tick) take_cursor(p, record);
    step_idle(p, record);
    if (movie_playing()) p.visible = 0;
    step_click_window(p, record);
    // During an event the pointer shows only for a window to click in.
    step_fade(p.pointer_fade, p.pointer_color, p.visible && (p.window_open || !p.script_busy));
    step_fade(p.ring_fade, p.ring_color, p.click_window != 0);
    if (p.pointer_fade != 0.0f) step_steering(p, record);
    if ((p.ring_color != 0 || p.pointer_color != 0) && g_draw_frame)
        hud_queue_layer(RQ_LAYER_POINTER, hud_draw_mouse_cursor, &p);
}

void hud_place_pointer_on_circle(float facing)
{
    MousePointer& p = g_mouse_pointer;
    const auto x = static_cast<std::int32_t>(k_screen_point_x + std::cos(-facing) * k_circle_radius);
    const auto y = static_cast<std::int32_t>(k_screen_point_y + std::sin(-facing) * k_circle_radius);
    p.screen_angle = p.anchor_angle = facing;
    input_set_cursor(x, y);
    p.x = static_cast<float>(x);
    p.y = static_cast<float>(y);
    hud_pointer_clamp(p);
}

void hud_draw_mouse_cursor(RenderQueueItem*, void* user)
{
    const MousePointer& p = *static_cast<const MousePointer*>(user);
    if (p.pointer_color == 0) return;
    // Turned the way the angles turn: counter-clockwise on the screen as they grow.
    float c = 1.0f, s = 0.0f;
    if (!p.window_open && g_player) {
        const float turn = p.anchor_angle - k_arrow_angle;
        c = std::cos(turn);
        s = std::sin(turn);
    }
    struct Corner {
        float dx, dy, u, v;
    };
    constexpr Corner k_corners[4] = {
        {k_quad_near, k_quad_near, 0.0f, 0.0f},
        {k_quad_far, k_quad_near, 1.0f, 0.0f},
        {k_quad_near, k_quad_far, 0.0f, 1.0f},
        {k_quad_far, k_quad_far, 1.0f, 1.0f},
    };
    ScreenVertex quad[4];
    for (int i = 0; i < 4; ++i) {
        const Corner& k = k_corners[i];
        quad[i] = {p.draw_x + k.dx * c + k.dy * s,
                   p.draw_y - k.dx * s + k.dy * c,
                   0.0f,
                   1.0f,
                   p.pointer_color,
                   k.u,
                   k.v};
    }
    renderer_scale_2d(quad, sizeof(ScreenVertex), 4);
    hud_draw_screen_quad(quad, g_texture_handles[IMAGE_TABLE_CURSOR], k_pointer_material);
}
