#include "object/go_script_cmd_window.h"

std::span<const ScriptCommandRow> script_cmd_window_commands()
{
    return {};
}
