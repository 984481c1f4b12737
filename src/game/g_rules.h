// The game rules that windows, menus, maps and scripts share.
#pragma once

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
