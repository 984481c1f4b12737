// The menu layer's building blocks: animated rectangles of the 640x480 virtual screen that glide
// toward a target place and size, ease or blink their colour and pulse their added colour, and
// draw as a textured quad or as a block of proportional text; the menu image sets of each
// screen in a fixed slot array, and the menu text surface the text rectangles draw through.
#pragma once

#include "lowlv/d3d/d3d_state.h"
#include "platform/d3d8.h"
#include "scenegraph/text_glyph.h"

#include <cstdint>

// A level swinging between two bounds by its step: up while `direction` is 1, down while 0.
struct SpriteCycle {
    std::uint8_t on = 0;
    std::uint8_t direction = 0;
    std::uint8_t level = 0;
    std::uint8_t step = 0;
};

// The defaults are the initial state: off the virtual screen until placed, white, untextured.
struct SpriteRect {
    float x = 1280.0f, y = 960.0f, w = 1.0f, h = 1.0f; // virtual-screen units
    float target_x = 1280.0f, target_y = 960.0f, target_w = 1.0f, target_h = 1.0f;
    float move_speed = 0.0f; // the largest step per update
    float size_speed = 0.0f;
    D3DCOLOR color = 0xFFFFFFFF;
    D3DCOLOR second_color = 0; // specular, added to the texture
    D3DCOLOR target_color = 0xFFFFFFFF;
    D3DCOLOR target_second_color = 0;
    float color_speed = 0.0f;
    std::uint8_t text_mode = 0; // draw `text` instead of the quad
    SpriteCycle pulse;          // the second colour's grey level, 0-160
    SpriteCycle blink;          // the colour's alpha, 32-255
    float u0 = 0.0f, v0 = 0.0f, u1 = 1.0f, v1 = 1.0f;
    IDirect3DTexture8* texture = nullptr;
    MaterialFlags material = 1;
    TextRequest text;
};

// Pre-transformed with a specular colour: the vertices of a rectangle's quad.
struct SpriteVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    D3DCOLOR specular;
    float u, v;
};
static_assert(sizeof(SpriteVertex) == 32);

void sprite_rect_init(SpriteRect& rect);
// Places the rectangle and its targets at once, without gliding.
void sprite_rect_set(SpriteRect& rect, float x, float y, float w, float h);
// One tick of gliding, easing, blinking and pulsing. True when the place, the size or an eased
// colour changed; a running blink or pulse alone gives false.
bool sprite_rect_animate(SpriteRect& rect);
// During the frame's drawing: the quad with its texture and material, or in text mode the text
// rendered into the menu text surface and drawn at the rectangle with a shadow.
void sprite_rect_draw(SpriteRect& rect);
// The cursor point (x, y) lies in [x, x + w) by [y, y + h).
bool sprite_rect_contains(const SpriteRect& rect, std::int32_t x, std::int32_t y);
// Text mode with the whole text shown in the game font, lines 4 apart, in `color` where the text
// sets none; the surface is cleared before each render.
void text_window_start(SpriteRect& rect, D3DCOLOR color, const char* text);

// ---- The menu text surface ----------------------------------------------------------------------
constexpr std::int32_t MENU_TEXT_WIDTH = 384; // virtual-screen units
constexpr std::int32_t MENU_TEXT_HEIGHT = 90;
extern TextSurface g_menu_text_surface;
// Makes the menu text surface in the game font, at back-buffer resolution with "HighResoText";
// a surface made before is released first. Throws RuntimeError when it cannot be made.
void sprite_create_font_buffer();
// Releases the surface's texture and memory context.
void sprite_font_dc_release(TextSurface& surface);

// ---- Menu images --------------------------------------------------------------------------------
enum MenuScreen {
    MENU_SCREEN_CAMP = 0,
    MENU_SCREEN_SAVE = 1,
    MENU_SCREEN_LOAD = 2,
    MENU_SCREEN_SHOP = 3,
    MENU_SCREEN_OPTIONS = 4,
};
constexpr std::uint8_t menu_screen_bit(MenuScreen screen)
{
    return static_cast<std::uint8_t>(1u << screen);
}

// One image of a set: row i loads into slot i on the screens its bits name.
struct MenuImage {
    const char* name;
    std::uint8_t screens; // menu_screen_bit of each screen that loads it
    D3DFORMAT format;
};
constexpr int MENU_IMAGE_SLOTS = 48;
constexpr int MENU_SHOP_IMAGES = 13;
extern const MenuImage g_menu_camp_images[MENU_IMAGE_SLOTS]; // camp menu, save, load, options
extern const MenuImage g_menu_shop_images[MENU_SHOP_IMAGES];

// Loaded by the last sprite_load_menu_images; the menus release them.
extern IDirect3DTexture8* g_menu_images[MENU_IMAGE_SLOTS];
extern bool g_menu_images_ready;

// Loads the set of a MenuScreen into its slots, leaving the others as they were; another type
// loads nothing. The first image that cannot be loaded throws RuntimeError (E_FAIL, its name)
// with the ready flag clear.
void sprite_load_menu_images(std::int32_t type);
