// Seams through which tests steer the window layer, message boxes and process creation.
// Game code never calls these.
#pragma once

#include "platform/win_window.h"

#include <string>
#include <vector>

// One MessageBoxA call as it was made (texts in Shift-JIS).
struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};

// The next MessageBoxA call shows nothing and answers `answer`; answers queue up in order.
void seam_message_box_answer(int answer);
// Every MessageBoxA call since the last clear, answered by script or not.
std::vector<MessageBoxCall> seam_message_boxes();
// Forgets the calls and any answers not used yet.
void seam_message_boxes_clear();

// CreateProcessA looks for programs in this host folder instead of the running program's
// own; empty restores the program's folder.
void seam_set_program_folder(std::string host_folder);

// Host events, pushed into SDL's queue as the desktop would deliver them; they become messages
// at the next PeekMessageA, GetMessageA or WaitMessage of the thread that reads SDL's events.
enum class HostWindowEvent {
    exposed,
    moved,        // data: the client origin
    size_changed, // data: the client size
    minimized,
    maximized,
    restored,
    mouse_left,
    focus_gained,
    focus_lost,
    close,
};
void seam_host_window_event(HWND window, HostWindowEvent event, int data1 = 0, int data2 = 0);
// A key by its virtual key (extended: the right-hand or cursor-block key); the modifiers held
// through earlier calls go with it, as the host reports them.
void seam_host_key(HWND window, BYTE virtual_key, bool down, bool repeat = false, bool extended = false);
void seam_host_text(HWND window, const char* utf8);
void seam_host_mouse_motion(HWND window, int x, int y);
void seam_host_mouse_button(HWND window, int button, bool down, int x, int y); // 1 left, 2 middle, 3 right
void seam_host_mouse_wheel(HWND window, float notches);

// The host window behind a top-level window as SDL has it.
struct HostWindowState {
    bool opengl;
    bool visible;
    bool bordered;
    int x; // client origin
    int y;
    int width; // client size
    int height;
};
bool seam_host_window_state(HWND window, HostWindowState& state);
bool seam_host_cursor_visible();
