// The input record: once a frame input_poll reads the devices and builds the next record of the
// ring (cursor on the 640x480 virtual screen, directions, stick, action bits, double click, menu
// repeat steps), from the assignments and options that input_apply_settings took. Main thread only.
#pragma once

#include "core/sys.h"
#include "lowlv/input/input_settings.h"
#include "lowlv/input/input_state.h"

#include <cstdint>

// Takes the assignments (codes without a key name become -1), the two option bytes, the
// system's button swap, the double-click limit, the run/walk threshold and the dead zone.
// Returns 0.
HRESULT input_apply_settings(const InputSettings& settings);
// The dead zone as a fraction of the full throw, clamped to 0.2..1.0.
void input_set_dead_zone(float fraction);
// Reads whether the system swaps the mouse buttons (on activation and after a device reset).
void input_refresh_swap_buttons();

// Builds the next record and makes it current. Returns 0.
HRESULT input_poll();
// In the current record: direction, magnitude, held, pressed and both steps become 0.
void input_clear_record();
// Puts the system cursor at the virtual position and writes it into both records; the mouse
// movement of both device blocks is cleared.
void input_set_cursor(std::int32_t x, std::int32_t y);
// magnitude = |(a*c, b*d)| / 1024; angle = atan2(-b, a); direction = the octant of the angle.
void input_stick_to_polar(float& angle, float& magnitude, std::uint32_t& direction, float a, float b, float c,
                          float d);

// The engine's start-up step SUBSYS_INPUT_SETTINGS, after the devices: the settings above, the
// configured back-buffer size as the mouse's screen, and input_reset for the frame timer's
// stalls. Cannot fail.
HRESULT input_init_settings(SysInitContext& context);
