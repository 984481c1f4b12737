// Event-script commands of map objects: spin, move, fade, animate, hide, test and wait on the scene's named
// meshes.
#pragma once

#include "object/go_script.h"

#include <span>

std::span<const ScriptCommandRow> script_cmd_map_commands();
