// The game's engine: which modules serve the engine's start-up and shutdown steps, in order.
#pragma once

#include "core/sys.h"

// Brings the engine's subsystems up from the parameters; 0, or the failing step's code with
// its text written (at least 40 bytes of room).
HRESULT sys_initialize(const EngineParams& params, char* text, std::size_t text_size);
// Takes them down again; tolerates what was never created.
void sys_shutdown();
