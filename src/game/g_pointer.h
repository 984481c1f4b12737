// The game's own mouse pointer over the 3-D view, and steering the hero with the mouse: while the
// mouse-direction button is held, a direction from the pointer's place on the screen replaces the
// stick of the input record. The pointer fades in when the mouse is used or a window needs it and
// fades out when idle; it is drawn as an arrow turned away from the hero. A second fade, the
// ring, marks a recent press of the button and draws nothing. The system cursor stays hidden.
#pragma once

#include "scenegraph/renderer_queue.h"

#include <cstdint>

struct PointerRect {
    float left, top, width, height;
};

struct MousePointer {
    float anchor_x, anchor_y; // the player's place on the 640x480 screen; its draw phase writes it
    std::int32_t moved_with_button;
    std::int32_t moved; // the cursor moved since the last whole tick
    std::int32_t visible;
    std::int32_t click_window; // the button was pressed lately
    std::int32_t window_open;  // a camp menu, shop, dialog or time-attack board exists
    std::int32_t script_busy;  // an event holds the world, or the message window is up
    std::uint32_t ring_color;  // white with the fades' alpha
    std::uint32_t pointer_color;
    float ring_fade; // 0..1
    float pointer_fade;
    float screen_angle;         // radians around the screen point, counter-clockwise from right
    float anchor_angle;         // around the anchor
    std::int32_t steering_hold; // steps the stick stays steered after the button
    std::int32_t idle_count;    // up to 62
    std::int32_t click_count;   // up to 37
    float x, y;                 // the input record's cursor, clamped
    float scaled_x, scaled_y;   // the place on the 640x480 screen: the cursor times the scale
    float draw_x, draw_y;       // the scaled place rounded down, minus half a pixel
    float scale_x, scale_y;     // back buffer / window client
    PointerRect bounds;         // on the 640x480 screen
    PointerRect clamp_bounds;   // the bounds divided by the scale: what the cursor is clamped to
    std::int32_t last_cursor_x, last_cursor_y; // the cursor at the last whole tick
};

extern MousePointer g_mouse_pointer;
// What the menus read, written on whole ticks: the pointer is in use (moved with the button or a
// window open, or clicked), and the cursor moved since the last whole tick.
extern std::uint8_t g_pointer_in_use;
extern std::uint8_t g_pointer_moved;

// The pointer hidden and still, unscaled, at the cursor of the current input record. Run once at
// program start, before the window exists.
void hud_pointer_init();
// The scale from the window's client area to the back buffer, after start-up and every device
// reset. A client area without width or height (a minimised window) keeps the previous scale.
void hud_update_screen_scale();
// Once a logic step: the pointer's flags, fades and angles, the mouse steering of the current
// input record, and on the draw step the pointer's row-13 layer.
void hud_update_mouse_cursor();
// Puts the pointer, and the system cursor, on the steering circle around the screen point in the
// direction of the facing, as a hero entering a scene faces.
void hud_place_pointer_on_circle(float facing);
// The row-13 callback; `user` is the MousePointer.
void hud_draw_mouse_cursor(RenderQueueItem* item, void* user);
