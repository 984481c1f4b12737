// Event-script commands that set the screen and the scene's state: afterimage, zoom blur, shake,
// tint, darkness, the cover layer, the flash, the player's area, the damage factor, the music id,
// rings, items, unlock bytes and the map position.
#pragma once

#include "object/go_script.h"

#include <span>

std::span<const ScriptCommandRow> script_cmd_screen_commands();
