// The main loop: the message pump and, while the game is active, one frame per pass; and the
// device reset that a mode switch or a lost device asks for between frames.
#pragma once

#include "platform/win_types.h"

#include <cstdint>

extern std::uint32_t g_frame_counter; // frames run; reset on every activation change
extern float g_tick_accum;            // step lengths summed toward the next whole tick

// Returns 0 when the quit message arrives or a frame fails.
int app_message_loop();
// One pass of the loop: the pending messages, then a device reset when one was asked for, else a
// frame while active, else a wait for the next message. False when the loop ends.
bool app_run_pass();
// 0, or a negative code that ends the loop.
HRESULT app_run_frame();
// Switches the device to g_app_windowed and rebuilds what depends on it.
void app_reset_device();
// Re-creates the device-dependent objects (at start-up and after a reset).
void app_restore_device_objects();
// Releases them (before a reset and at shutdown).
void app_release_device_objects();
// Presents the back buffer into the device's window.
HRESULT app_present();
