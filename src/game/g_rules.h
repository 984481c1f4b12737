// The game rules that windows, menus, maps and scripts share.
#pragma once

#include "core/maths.h"

#include <cstddef>
#include <cstdint>

constexpr std::uint32_t MENU_OPEN_CAMP = 0x1;
constexpr std::uint32_t MENU_OPEN_SHOP = 0x2;

// Item ids by kind.
constexpr std::int32_t ITEM_WEAPON_FIRST = 0;
constexpr std::int32_t ITEM_SHIELD_FIRST = 6;  // worn in GF_SHIELD
constexpr std::int32_t ITEM_ARMOUR_FIRST = 12; // worn in GF_ARMOUR
constexpr std::int32_t ITEM_RING_FIRST = 18;
constexpr std::int32_t ITEM_CARRIED_FIRST = 24; // 24-63: the items kept in the item list
constexpr std::int32_t ITEM_CARRIED_LAST = 63;

extern std::uint32_t g_menu_open; // MENU_OPEN_ bits; non-zero pauses and hides the world

// Whether the player owns the item: a ring in a ring slot in use, a carried item in an item-list
// entry in use, a weapon, shield or armour piece being worn. Other ids (-1 among them) are false.
bool game_has_item(std::int32_t id);

// Opens the camp menu in a Main2Mode, or closes it: an open menu (MENU_OPEN_CAMP set) or one
// still closing is asked to close and the bit cleared. A player below 1 hit point gets no menu.
// Opening asks a shop to close first; the bit is set even when the pool had no room.
void game_toggle_main_menu(std::int32_t mode);
// Opens the shop of a ShopKind, or closes an open one (MENU_OPEN_SHOP set). It opens only while
// no shop exists and the player has at least 1 hit point, asking the camp menu to close; a
// negative kind only closes.
void game_toggle_shop(std::int32_t kind);
// The player uses an item from the camp menu: its aura on the player, its effect by id, the
// status recomputed and a popup over the player telling what happened.
void game_use_item(std::int32_t id);
// The scene's main light: its colour and its direction made unit length (a zero vector stays
// zero). Kept with the play state and handed to the renderer at once.
void game_set_light_main(std::uint32_t colour, const Vec3& direction);
// The second light's colour, the ambient colour and the up vector, kept and handed on alike.
void game_set_light_extra(std::uint32_t colour_a, std::uint32_t colour_b, const Vec3& up);

// Prices never pass this: the shops show six digits.
constexpr std::int32_t GAME_PRICE_MAX = 999999;
// The shop price of an item: its table price, doubled once per purchase for the items whose
// price rises (23, 60, 61, 63) unless in Very Easy, and then at most GAME_PRICE_MAX. An id
// outside the item table throws RuntimeError ERR_OVERFLOW.
std::int32_t game_item_price(std::int32_t id);
// A defeated player (below 1 hit point) stands up again where it fell, healed, as the screen
// fades in; dialogs are asked to close and the full-screen pictures end.
void game_revive_player();

// The retry snapshot of the play state as it stands, with the player's position and facing as
// the saved position and the current scene as the one to re-enter.
void save_store_snapshot();

// The facing in radians of a compass angle in degrees: 90 - degrees, wrapped into -180..179 (so 90
// gives 0 and 0 gives pi/2). -1 and 360 ask for a random multiple of 45 degrees from 0 to 270.
float scene_angle_from_compass(std::int32_t degrees);
// Radians of an angle in degrees, wrapped below 180.
float scene_angle_wrap(float degrees);

// The clear-time text: hours, then minutes and seconds in two digits and milliseconds in three,
// joined by colons; 0 gives the placeholder of a time not yet made. 40 bytes hold any of them.
constexpr std::size_t HUD_TIME_TEXT_SIZE = 40;
void hud_format_time(std::uint32_t ms, char* out, std::size_t size);
