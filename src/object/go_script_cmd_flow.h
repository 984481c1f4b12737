// Event-script commands of flow, waits, tests and sound: the scene list tests, the chance and
// clock tests, the sound-group wait, the boss command and its waits, music and sound effects,
// and the enemies' stop.
#pragma once

#include "object/go_script.h"

#include <span>

std::span<const ScriptCommandRow> script_cmd_flow_commands();
