// Seams through which tests and end-to-end runs steer the DirectInput stand-in. Game code never
// calls these. dinput_seam_reset restores every default.
#pragma once

#include "platform/dinput.h"

#include <string>
#include <vector>

// While on, the system keyboard and mouse report scripted states instead of the host's. Each
// read of the device takes the next queued state; with the queue empty the last one stays (the
// mouse without movement). Starts with nothing held.
void dinput_seam_script_input(bool on);
// Queues a keyboard state with these scan codes down.
void dinput_seam_queue_keys(const std::vector<BYTE>& keys_down);
// Queues a mouse state: movement, wheel and the four buttons (0x80 = down).
void dinput_seam_queue_mouse(const DIMOUSESTATE& state);

// A scripted game controller. It reports the queued states as they are (axes already in the
// range the program asked for: the range, dead-zone and saturation properties are kept but only
// SDL's joysticks apply them) and records the effects it plays.
struct DinputSeamPad {
    std::string name = "Scripted Pad";
    int axes = 2;
    int buttons = 12;
    int povs = 1;
    bool force_feedback = false; // plays sine effects
    int force_axes = 2;
};
// Attaches the pad after those already attached; returns its id.
int dinput_seam_attach_pad(const DinputSeamPad& pad);
// Unplugs it: devices on it report DIERR_INPUTLOST once, then Acquire fails with DIERR_UNPLUGGED.
void dinput_seam_detach_pad(int pad);
// Queues a state, taken by the next read of a device on the pad.
void dinput_seam_queue_pad(int pad, const DIJOYSTATE& state);

// An effect as the scripted pad holds it.
struct DinputSeamEffect {
    DWORD magnitude; // the gain applied
    DWORD duration_us;
    DWORD period_us;
    bool playing;
    DWORD iterations; // of the last start
    int starts;
    int stops;
};
// The pad's loaded effects in the order they were loaded.
std::vector<DinputSeamEffect> dinput_seam_pad_effects(int pad);

// SDL virtual joysticks: the real SDL joystick path, driven by the test. Returns the id (SDL's
// instance id of the joystick), -1 on failure. Needs a live DirectInput object.
int dinput_seam_attach_virtual_pad(int axes, int buttons, int hats);
void dinput_seam_detach_virtual_pad(int pad);
// A state of a virtual joystick in SDL's units (axes -32768..32767, buttons 0/1, hats as
// SDL's hat bits), given to SDL by the next read of a device on it; states queue up.
struct DinputSeamVirtualState {
    std::vector<int> axes;
    std::vector<int> buttons;
    std::vector<int> hats;
};
void dinput_seam_queue_virtual_pad(int pad, const DinputSeamVirtualState& state);
// Whether SDL's joysticks other than virtual ones are listed (on by default), so a test does
// not see the pads of the machine it runs on.
void dinput_seam_show_host_pads(bool on);

// The next `times` calls of the named stand-in call fail with `code`: "DirectInput8Create",
// "CreateDevice", "EnumDevices", "SetDataFormat", "SetCooperativeLevel", "SetProperty",
// "GetCapabilities", "Acquire", "Poll", "GetDeviceState", "CreateEffect", "Start", "Stop".
void dinput_seam_fail(const char* call, HRESULT code, int times = 1);
// Every acquired device loses its acquisition, as when the program loses the foreground.
void dinput_seam_lose_devices();

void dinput_seam_reset();

// The script of an end-to-end run, named by the environment variable KRO_INPUT_SCRIPT and read
// by the first DirectInput8Create of the process. One directive per line ('#' starts a comment):
//   pad <axes> <buttons> <hats>   attaches a virtual SDL joystick (scripted below)
//   poll [keys=<scan>,...] [mouse=<dx>,<dy>,<wheel>] [buttons=<n>,...] [stick=<x>,<y>]
//        [pad=<n>,...] [hat=<bits>]
// Each poll line queues one state of the keyboard, the mouse (buttons 0-3 down) and the first
// virtual joystick (axes 0 and 1 in SDL's units, buttons down, hat 0); what a line leaves out is
// released. Turns the scripted keyboard and mouse on.
constexpr const char* DINPUT_SCRIPT_VARIABLE = "KRO_INPUT_SCRIPT";
// The same from a text; false, with `error` set, when a line does not parse.
bool dinput_seam_load_script(const std::string& text, std::string& error);
