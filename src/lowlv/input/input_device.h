// The DirectInput devices of the engine: the DirectInput object, the system keyboard and mouse,
// at most one game controller and its six prepared force-feedback sine effects. Both programs
// use them: the game with foreground cooperative levels and its force table, the settings
// program with background levels and the default effects.
#pragma once

#include "core/sys.h"
#include "lowlv/input/input_state.h"
#include "platform/dinput.h"

#include <cstdint>

constexpr int INPUT_FORCE_EFFECTS = 6;

// Magnitude (0..10000) and duration (microseconds) of one prepared effect.
struct ForceEffectParams {
    DWORD magnitude;
    DWORD duration_us;
};
// The game's effects: 5000 and 10000 at 0.2, 0.4 and 1.0 s.
extern const ForceEffectParams g_input_force_table[INPUT_FORCE_EFFECTS];
// What a slot holds before a table replaces it: 0.5 s at full magnitude.
extern const ForceEffectParams g_input_force_defaults[INPUT_FORCE_EFFECTS];

// One prepared effect: the effect description points into the slot itself.
struct ForceEffectSlot {
    DIEFFECT effect;
    LONG directions[2];
    DWORD axes[2];
    DIPERIODIC periodic;
    IDirectInputEffect* interface; // null when it was not created
};

// How the devices share the input with other programs, and the effects the controller gets.
struct InputDeviceSetup {
    DWORD focus; // DISCL_FOREGROUND (the game) or DISCL_BACKGROUND (the settings program)
    const ForceEffectParams (&forces)[INPUT_FORCE_EFFECTS];
};

extern IDirectInput8A* g_dinput;
extern IDirectInputDevice8A* g_input_keyboard;
extern IDirectInputDevice8A* g_input_mouse;
extern IDirectInputDevice8A* g_input_controller;
extern std::uint8_t g_input_controller_ff; // the controller was found among the force-feedback ones
extern DIDEVCAPS g_input_controller_caps;
extern DWORD g_input_ff_axes; // force-feedback axes of the controller, at most 2
extern ForceEffectSlot g_input_force_slots[INPUT_FORCE_EFFECTS];
extern std::int32_t g_input_last_force; // the effect started last, -1 before any

// DirectInput8Create for this program, into g_dinput.
HRESULT input_dinput_create();
// Creates, each only when not there yet, the mouse (flag bit 1, exclusive with bit 5), the
// controller (bit 2) and the keyboard (bit 0, exclusive with bit 4); a failing device is skipped.
// Returns 0.
HRESULT input_create_devices(std::uint32_t flags, HWND window, const InputDeviceSetup& setup);
HRESULT input_create_keyboard(HWND window, bool exclusive, DWORD focus);
HRESULT input_create_mouse(HWND window, bool exclusive, DWORD focus);
// The first attached force-feedback controller, else the first attached one; always exclusive.
HRESULT input_create_controller(HWND window, const InputDeviceSetup& setup);
// Fills a slot with the default sine effect on the controller's force-feedback axes.
void input_init_force_effect(ForceEffectSlot& slot);
// Creates the six effects; the result of the last creation.
HRESULT input_create_force_effects(const ForceEffectParams (&forces)[INPUT_FORCE_EFFECTS]);

// Each fills its part of the block. A lost or unacquired device reads as zero and is acquired
// again (then read once more); other failures leave the part as it was.
HRESULT input_read_keyboard(InputDeviceState& block);
HRESULT input_read_mouse(InputDeviceState& block);
HRESULT input_read_controller(InputDeviceState& block);

// Stops the effect started last, then starts effect n (0..5) once when the game pad and force
// feedback are on; n is remembered either way.
void input_play_force(std::int32_t n);

// Shutdown: the controller with its effects, the mouse, the keyboard, then DirectInput.
void input_release_devices();

// The engine's start-up step SUBSYS_DINPUT: DirectInput and the game's devices at foreground
// levels. Fails only when DirectInput cannot be made.
HRESULT input_init_devices(SysInitContext& context);
inline constexpr const char* INPUT_TEXT_DINPUT = "failed: Subsys DInput::Initialize";
