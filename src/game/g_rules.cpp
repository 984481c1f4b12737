#include "game/g_rules.h"

std::uint32_t g_menu_open;
