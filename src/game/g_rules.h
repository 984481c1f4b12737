// The game rules that windows, menus, maps and scripts share.
#pragma once

#include <cstdint>

constexpr std::uint32_t MENU_OPEN_CAMP = 0x1;
constexpr std::uint32_t MENU_OPEN_SHOP = 0x2;

extern std::uint32_t g_menu_open; // MENU_OPEN_ bits; non-zero pauses and hides the world
