// The main loop: the message pump and, while the game is active, one frame per pass.
#pragma once

#include <cstdint>

extern std::uint32_t g_frame_counter; // frames run; reset on every activation change

// Returns 0 when the quit message arrives.
int app_message_loop();
