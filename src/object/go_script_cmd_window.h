// Event-script commands of windows: the message window, choice dialogs and message boxes, the waits on them,
// and the menus scripts open.
#pragma once

#include "object/go_script.h"

#include <span>

std::span<const ScriptCommandRow> script_cmd_window_commands();
