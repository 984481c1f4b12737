// Event-script commands of the player: healing, auras, level, equipment, gold and rings.
#pragma once

#include "object/go_script.h"

#include <span>

std::span<const ScriptCommandRow> script_cmd_player_commands();
