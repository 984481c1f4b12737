// Windows, window messages, cursor, icons and the window side of GDI, as the programs call them.
//
// Top-level windows are SDL2 windows created for OpenGL, which nothing here draws into through
// SDL, so the device stand-in can take them over. SDL's events become the messages a window
// procedure expects (see win_sdl_events.cpp for the table). Each thread that uses windows has
// its own message queue; other processes of the user reach top-level windows through the
// transport in platform/impl/win_ipc.h (find by class, send and post messages, restore, foreground).
// On SDL's headless drivers (offscreen, dummy) there is no window manager: a shown window
// becomes the active one at once, and hiding, minimising or destroying it deactivates it.
#pragma once

#include "platform/win_atom.h"
#include "platform/win_error.h"
#include "platform/win_types.h"

#include <cstdint>
#include <vector>

using SHORT = std::int16_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using COLORREF = DWORD;

using HICON = struct IconTag*;
using HCURSOR = HICON;
using HBRUSH = struct BrushTag*;
using HGDIOBJ = HBRUSH;
using HDC = struct DeviceContextTag*;
using HMENU = struct MenuTag*;
using HIMC = struct InputContextTag*;

using WNDPROC = LRESULT (*)(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

struct POINT {
    LONG x;
    LONG y;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

constexpr WORD LOWORD(std::uintptr_t value)
{
    return static_cast<WORD>(value & 0xFFFF);
}
constexpr WORD HIWORD(std::uintptr_t value)
{
    return static_cast<WORD>((value >> 16) & 0xFFFF);
}
constexpr LPARAM MAKELPARAM(WORD low, WORD high)
{
    return static_cast<LPARAM>(static_cast<DWORD>(low | high << 16));
}
constexpr WPARAM MAKEWPARAM(WORD low, WORD high)
{
    return static_cast<WPARAM>(static_cast<DWORD>(low | high << 16));
}
constexpr short GET_WHEEL_DELTA_WPARAM(WPARAM wparam)
{
    return static_cast<short>(HIWORD(wparam));
}
constexpr COLORREF RGB(BYTE red, BYTE green, BYTE blue)
{
    return red | green << 8 | blue << 16;
}

// A resource named by number rather than by text.
inline const char* MAKEINTRESOURCEA(WORD id)
{
    return reinterpret_cast<const char*>(std::uintptr_t{id});
}
inline bool IS_INTRESOURCE(const char* name)
{
    return reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF;
}

// Last-error codes of the window layer.
constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_INVALID_INDEX = 1413;
constexpr DWORD ERROR_CLASS_ALREADY_EXISTS = 1410;
constexpr DWORD ERROR_CLASS_DOES_NOT_EXIST = 1411;
constexpr DWORD ERROR_CLASS_HAS_WINDOWS = 1412;
constexpr DWORD ERROR_CANNOT_FIND_WND_CLASS = 1407;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr DWORD ERROR_INVALID_THREAD_ID = 1444;

// ---- Messages -------------------------------------------------------------------------------
constexpr UINT WM_NULL = 0x0000;
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_MOVE = 0x0003;
constexpr UINT WM_SIZE = 0x0005;
constexpr UINT WM_ACTIVATE = 0x0006;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_ERASEBKGND = 0x0014;
constexpr UINT WM_SHOWWINDOW = 0x0018;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_NCCREATE = 0x0081;
constexpr UINT WM_NCDESTROY = 0x0082;
constexpr UINT WM_NCMOUSEMOVE = 0x00A0;
constexpr UINT WM_KEYDOWN = 0x0100;
constexpr UINT WM_KEYUP = 0x0101;
constexpr UINT WM_CHAR = 0x0102;
constexpr UINT WM_SYSKEYDOWN = 0x0104;
constexpr UINT WM_SYSKEYUP = 0x0105;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_RBUTTONDOWN = 0x0204;
constexpr UINT WM_RBUTTONUP = 0x0205;
constexpr UINT WM_MBUTTONDOWN = 0x0207;
constexpr UINT WM_MBUTTONUP = 0x0208;
constexpr UINT WM_MOUSEWHEEL = 0x020A;
constexpr UINT WM_POWERBROADCAST = 0x0218;
constexpr UINT WM_DEVICECHANGE = 0x0219;
constexpr UINT WM_ENTERSIZEMOVE = 0x0231;
constexpr UINT WM_EXITSIZEMOVE = 0x0232;
constexpr UINT WM_USER = 0x0400;

// WM_ACTIVATE states.
constexpr WORD WA_INACTIVE = 0;
constexpr WORD WA_ACTIVE = 1;

// WM_SIZE kinds.
constexpr WPARAM SIZE_RESTORED = 0;
constexpr WPARAM SIZE_MINIMIZED = 1;
constexpr WPARAM SIZE_MAXIMIZED = 2;

// WM_SYSCOMMAND commands; the low four bits are the system's own and are masked off by receivers.
constexpr WPARAM SC_MINIMIZE = 0xF020;
constexpr WPARAM SC_MAXIMIZE = 0xF030;
constexpr WPARAM SC_CLOSE = 0xF060;
constexpr WPARAM SC_KEYMENU = 0xF100;
constexpr WPARAM SC_RESTORE = 0xF120;
constexpr WPARAM SC_SCREENSAVE = 0xF140;
constexpr WPARAM SC_MONITORPOWER = 0xF170;

// Hit-test codes (WM_SETCURSOR low word of lParam, WM_NCMOUSEMOVE wParam).
constexpr WORD HTNOWHERE = 0;
constexpr WORD HTCLIENT = 1;
constexpr WORD HTCAPTION = 2;

// WM_POWERBROADCAST events.
constexpr WPARAM PBT_APMQUERYSUSPEND = 0x0000;
constexpr WPARAM PBT_APMRESUMESUSPEND = 0x0007;

// Key-state flags of mouse messages.
constexpr WORD MK_LBUTTON = 0x0001;
constexpr WORD MK_RBUTTON = 0x0002;
constexpr WORD MK_SHIFT = 0x0004;
constexpr WORD MK_CONTROL = 0x0008;
constexpr WORD MK_MBUTTON = 0x0010;
constexpr short WHEEL_DELTA = 120;

// ---- Virtual keys ---------------------------------------------------------------------------
constexpr BYTE VK_LBUTTON = 0x01;
constexpr BYTE VK_RBUTTON = 0x02;
constexpr BYTE VK_MBUTTON = 0x04;
constexpr BYTE VK_BACK = 0x08;
constexpr BYTE VK_TAB = 0x09;
constexpr BYTE VK_CLEAR = 0x0C;
constexpr BYTE VK_RETURN = 0x0D;
constexpr BYTE VK_SHIFT = 0x10;
constexpr BYTE VK_CONTROL = 0x11;
constexpr BYTE VK_MENU = 0x12;
constexpr BYTE VK_PAUSE = 0x13;
constexpr BYTE VK_CAPITAL = 0x14;
constexpr BYTE VK_ESCAPE = 0x1B;
constexpr BYTE VK_SPACE = 0x20;
constexpr BYTE VK_PRIOR = 0x21;
constexpr BYTE VK_NEXT = 0x22;
constexpr BYTE VK_END = 0x23;
constexpr BYTE VK_HOME = 0x24;
constexpr BYTE VK_LEFT = 0x25;
constexpr BYTE VK_UP = 0x26;
constexpr BYTE VK_RIGHT = 0x27;
constexpr BYTE VK_DOWN = 0x28;
constexpr BYTE VK_SNAPSHOT = 0x2C;
constexpr BYTE VK_INSERT = 0x2D;
constexpr BYTE VK_DELETE = 0x2E;
// '0'..'9' and 'A'..'Z' are their own virtual keys.
constexpr BYTE VK_LWIN = 0x5B;
constexpr BYTE VK_RWIN = 0x5C;
constexpr BYTE VK_APPS = 0x5D;
constexpr BYTE VK_NUMPAD0 = 0x60;
constexpr BYTE VK_NUMPAD1 = 0x61;
constexpr BYTE VK_NUMPAD2 = 0x62;
constexpr BYTE VK_NUMPAD3 = 0x63;
constexpr BYTE VK_NUMPAD4 = 0x64;
constexpr BYTE VK_NUMPAD5 = 0x65;
constexpr BYTE VK_NUMPAD6 = 0x66;
constexpr BYTE VK_NUMPAD7 = 0x67;
constexpr BYTE VK_NUMPAD8 = 0x68;
constexpr BYTE VK_NUMPAD9 = 0x69;
constexpr BYTE VK_MULTIPLY = 0x6A;
constexpr BYTE VK_ADD = 0x6B;
constexpr BYTE VK_SUBTRACT = 0x6D;
constexpr BYTE VK_DECIMAL = 0x6E;
constexpr BYTE VK_DIVIDE = 0x6F;
constexpr BYTE VK_F1 = 0x70;
constexpr BYTE VK_F2 = 0x71;
constexpr BYTE VK_F3 = 0x72;
constexpr BYTE VK_F4 = 0x73;
constexpr BYTE VK_F5 = 0x74;
constexpr BYTE VK_F6 = 0x75;
constexpr BYTE VK_F7 = 0x76;
constexpr BYTE VK_F8 = 0x77;
constexpr BYTE VK_F9 = 0x78;
constexpr BYTE VK_F10 = 0x79;
constexpr BYTE VK_F11 = 0x7A;
constexpr BYTE VK_F12 = 0x7B;
constexpr BYTE VK_NUMLOCK = 0x90;
constexpr BYTE VK_SCROLL = 0x91;
constexpr BYTE VK_LSHIFT = 0xA0;
constexpr BYTE VK_RSHIFT = 0xA1;
constexpr BYTE VK_LCONTROL = 0xA2;
constexpr BYTE VK_RCONTROL = 0xA3;
constexpr BYTE VK_LMENU = 0xA4;
constexpr BYTE VK_RMENU = 0xA5;
constexpr BYTE VK_OEM_1 = 0xBA;
constexpr BYTE VK_OEM_PLUS = 0xBB;
constexpr BYTE VK_OEM_COMMA = 0xBC;
constexpr BYTE VK_OEM_MINUS = 0xBD;
constexpr BYTE VK_OEM_PERIOD = 0xBE;
constexpr BYTE VK_OEM_2 = 0xBF;
constexpr BYTE VK_OEM_3 = 0xC0;
constexpr BYTE VK_OEM_4 = 0xDB;
constexpr BYTE VK_OEM_5 = 0xDC;
constexpr BYTE VK_OEM_6 = 0xDD;
constexpr BYTE VK_OEM_7 = 0xDE;
constexpr BYTE VK_OEM_102 = 0xE2;

// ---- Styles ---------------------------------------------------------------------------------
constexpr DWORD WS_OVERLAPPED = 0x00000000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_MINIMIZE = 0x20000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_MAXIMIZE = 0x01000000;
constexpr DWORD WS_CAPTION = 0x00C00000; // a border and a dialog frame
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_DLGFRAME = 0x00400000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_THICKFRAME = 0x00040000;
constexpr DWORD WS_MINIMIZEBOX = 0x00020000;
constexpr DWORD WS_MAXIMIZEBOX = 0x00010000;
constexpr DWORD WS_OVERLAPPEDWINDOW =
    WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD WS_EX_TOPMOST = 0x00000008;

constexpr int CW_USEDEFAULT = static_cast<int>(0x80000000);

constexpr int GWL_STYLE = -16;
constexpr int GWL_EXSTYLE = -20;

// ---- Window classes -------------------------------------------------------------------------
struct WNDCLASSEXA {
    UINT cbSize; // sizeof(WNDCLASSEXA)
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground; // erases the background on WM_ERASEBKGND unless null or NULL_BRUSH
    const char* lpszMenuName;
    const char* lpszClassName;
    HICON hIconSm;
};

constexpr UINT CS_OWNDC = 0x0020;

// The class's atom, or 0: ERROR_CLASS_ALREADY_EXISTS, ERROR_INVALID_PARAMETER (wrong size,
// no procedure, no name or a name over 255 bytes). Names compare without regard to ASCII case.
ATOM RegisterClassExA(const WNDCLASSEXA* window_class);
// FALSE with ERROR_CLASS_DOES_NOT_EXIST, or ERROR_CLASS_HAS_WINDOWS while windows of it live.
BOOL UnregisterClassA(const char* class_name, HINSTANCE instance);

// ---- Windows --------------------------------------------------------------------------------
// Arrives as the lParam of WM_NCCREATE and WM_CREATE.
struct CREATESTRUCTA {
    void* lpCreateParams;
    HINSTANCE hInstance;
    HMENU hMenu;
    HWND hwndParent;
    int cy;
    int cx;
    int y;
    int x;
    LONG style;
    const char* lpszName;
    const char* lpszClass;
    DWORD dwExStyle;
};

// x, y, width and height give the window rectangle (frame included) in screen coordinates;
// CW_USEDEFAULT lets the system choose. Sends WM_NCCREATE (FALSE cancels), WM_CREATE (-1
// cancels); with WS_VISIBLE the window is shown as by ShowWindow(SW_SHOW). A top-level window
// gets an SDL window (hidden until shown) and is published for other processes. Fails with
// null: ERROR_CANNOT_FIND_WND_CLASS, ERROR_INVALID_WINDOW_HANDLE (bad parent), the SDL
// window's failure (ERROR_NOT_ENOUGH_MEMORY), or the creation messages' refusal.
HWND CreateWindowExA(DWORD ex_style, const char* class_name, const char* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param);
// Only the window's own thread may destroy it (else ERROR_ACCESS_DENIED). Deactivates the
// application when it was the active window, then sends WM_DESTROY and WM_NCDESTROY, children
// first having theirs.
BOOL DestroyWindow(HWND window);
// True for a live window of this process or of another process of the user.
BOOL IsWindow(HWND window);

// Finds a top-level window by class and/or title (null = any; both compare without regard to
// ASCII case): first this process's windows, newest first, then other processes' windows
// published in the runtime folder. Null when there is none.
HWND FindWindowA(const char* class_name, const char* title);

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOWMINIMIZED = 2;
constexpr int SW_MAXIMIZE = 3;
constexpr int SW_SHOWMAXIMIZED = 3;
constexpr int SW_SHOWNOACTIVATE = 4;
constexpr int SW_SHOW = 5;
constexpr int SW_MINIMIZE = 6;
constexpr int SW_SHOWMINNOACTIVE = 7;
constexpr int SW_SHOWNA = 8;
constexpr int SW_RESTORE = 9;
constexpr int SW_SHOWDEFAULT = 10;

// Non-zero when the window was visible before. Sends WM_SHOWWINDOW on a change of visibility
// and WM_MOVE/WM_SIZE on a change of placement (a minimised window reports its client origin
// at -32000, -32000 and a size of 0). On another process's window the command is carried out
// by that window's own thread, without waiting for it.
BOOL ShowWindow(HWND window, int command);
BOOL IsIconic(HWND window);

// The window rectangle for a client rectangle under the style: the frame of the system's
// metrics (GetSystemMetrics) is added around it.
BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu);
BOOL GetWindowRect(HWND window, RECT* rect);
BOOL GetClientRect(HWND window, RECT* rect); // left and top are 0
BOOL ClientToScreen(HWND window, POINT* point);

// GWL_STYLE and GWL_EXSTYLE only (else 0 with ERROR_INVALID_INDEX). A new style takes effect at
// once: the client area follows the new frame, and the SDL window its border and visibility.
// The previous value is returned.
LONG GetWindowLongA(HWND window, int index);
LONG SetWindowLongA(HWND window, int index, LONG value);

inline const HWND HWND_TOP = nullptr;
inline const HWND HWND_BOTTOM = reinterpret_cast<HWND>(std::intptr_t{1});
inline const HWND HWND_TOPMOST = reinterpret_cast<HWND>(std::intptr_t{-1});
inline const HWND HWND_NOTOPMOST = reinterpret_cast<HWND>(std::intptr_t{-2});
constexpr UINT SWP_NOSIZE = 0x0001;
constexpr UINT SWP_NOMOVE = 0x0002;
constexpr UINT SWP_NOZORDER = 0x0004;
constexpr UINT SWP_NOREDRAW = 0x0008;
constexpr UINT SWP_NOACTIVATE = 0x0010;
constexpr UINT SWP_FRAMECHANGED = 0x0020;
constexpr UINT SWP_SHOWWINDOW = 0x0040;
constexpr UINT SWP_HIDEWINDOW = 0x0080;
constexpr UINT SWP_NOOWNERZORDER = 0x0200;
// Sends WM_MOVE and WM_SIZE for what changed. HWND_TOPMOST/NOTOPMOST keep the window above
// others as far as the window manager allows; the other z-order requests raise or keep it.
BOOL SetWindowPos(HWND window, HWND insert_after, int x, int y, int width, int height, UINT flags);
BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);

// ---- Message queue --------------------------------------------------------------------------
// Every thread has its own queue. Retrieval order: messages sent from other threads and
// processes are delivered to their window procedures first, then the posted messages in order
// (SDL input included), then WM_QUIT once PostQuitMessage was called, then WM_PAINT for a
// window that needs painting. Only the thread that started SDL video reads SDL's events.
constexpr UINT PM_NOREMOVE = 0x0000;
constexpr UINT PM_REMOVE = 0x0001;
constexpr UINT PM_NOYIELD = 0x0002;

// window: null for every message of the thread, (HWND)-1 for messages without a window;
// first/last 0, 0 for every message.
BOOL PeekMessageA(MSG* message, HWND window, UINT first, UINT last, UINT remove);
// Waits for a message; 0 for WM_QUIT, -1 for an invalid window filter, else non-zero.
BOOL GetMessageA(MSG* message, HWND window, UINT first, UINT last);
// Waits until the queue holds a message (SDL events and messages from other threads and
// processes wake it alike); messages sent meanwhile are delivered while waiting.
BOOL WaitMessage();
// Key-downs of Return, Backspace, Tab and Esc post their WM_CHAR; typed text arrives as WM_CHAR
// (Shift-JIS bytes) from SDL's text input while the input method is enabled. TRUE for key messages.
BOOL TranslateMessage(const MSG* message);
// Calls the window procedure of a window of this thread; 0 otherwise.
LRESULT DispatchMessageA(const MSG* message);
// To a window of any thread or of another process (which must be WM_USER or above, or WM_NULL,
// WM_CLOSE, WM_COMMAND, WM_SYSCOMMAND: parameters cross as plain numbers). A null window
// posts to the calling thread. FALSE with ERROR_INVALID_WINDOW_HANDLE for a dead window.
BOOL PostMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Calls the procedure and returns its result; for a window of another thread or process the
// caller waits for that thread to run it, meanwhile delivering messages sent to its own windows.
// 0 when the window dies first.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void PostQuitMessage(int exit_code);
// What a window procedure passes on; the defaults follow the platform: WM_CLOSE destroys the
// window; Alt+F4 (WM_SYSKEYDOWN) posts WM_SYSCOMMAND SC_CLOSE; WM_SYSCOMMAND minimises,
// maximises, restores, or closes (WM_CLOSE); WM_SETCURSOR sets
// the class cursor over the client area and the arrow elsewhere; WM_PAINT validates;
// WM_ERASEBKGND fills with the class brush; WM_NCCREATE is TRUE; all others 0.
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

// ---- Activation, focus and foreground -------------------------------------------------------
// The active window belongs to this process and has the keyboard focus of the desktop.
HWND GetActiveWindow();
// Returns the previous focus window of the thread; a window of another top-level window than
// the active one activates that window.
HWND SetFocus(HWND window);
// The active window of this process, else of another process of the user; null when the
// focus is elsewhere.
HWND GetForegroundWindow();
// Activates the window (through its own process for another process's window). The window
// manager has the last word on a desktop; TRUE when the request was delivered.
BOOL SetForegroundWindow(HWND window);
// The window's thread and (when process is not null) process; 0 for an invalid window.
DWORD GetWindowThreadProcessId(HWND window, DWORD* process);
// Shares input state between two threads; the host has no such notion, so the call checks
// its arguments and keeps the attachment as the platform would (FALSE with
// ERROR_INVALID_PARAMETER for equal or unknown threads, or a detach without an attach).
BOOL AttachThreadInput(DWORD thread, DWORD to_thread, BOOL attach);

constexpr UINT SPI_GETFOREGROUNDLOCKTIMEOUT = 0x2000;
constexpr UINT SPI_SETFOREGROUNDLOCKTIMEOUT = 0x2001; // the value travels in the pointer
// The foreground lock time-out only (milliseconds, 200000 at start); others FALSE with
// ERROR_INVALID_PARAMETER.
BOOL SystemParametersInfoA(UINT action, UINT uint_param, void* param, UINT update);

// ---- Keyboard -------------------------------------------------------------------------------
// State of a virtual key as of the last key message retrieved from the queue: the high bit
// (negative value) when down, bit 0 when toggled (NumLock, CapsLock, ScrollLock).
SHORT GetKeyState(int virtual_key);

constexpr DWORD KEYEVENTF_EXTENDEDKEY = 0x0001;
constexpr DWORD KEYEVENTF_KEYUP = 0x0002;
// Feeds a key event into the program's own input (the host does not let a program type into
// the desktop): it arrives as the matching key message of the active window.
void keybd_event(BYTE virtual_key, BYTE scan_code, DWORD flags, std::uintptr_t extra_info);

constexpr UINT MAPVK_VK_TO_VSC = 0;
constexpr UINT MAPVK_VSC_TO_VK = 1;
// Between virtual keys and the scan codes of a PC keyboard (set 1); 0 when there is none.
UINT MapVirtualKeyA(UINT code, UINT map_type);

// Input method: text input (and with it WM_CHAR from typed text) is off for the program after
// ImmDisableIME, also for windows created later. A window without a context gets no text input.
BOOL ImmDisableIME(DWORD thread);
HIMC ImmAssociateContext(HWND window, HIMC context);

// ---- Cursor and icons -----------------------------------------------------------------------
// The display count starts at 0; the cursor shows while it is 0 or more. Returns the new count.
int ShowCursor(BOOL show);
// Null removes the cursor image; returns the previous cursor.
HCURSOR SetCursor(HCURSOR cursor);

inline const char* const IDC_ARROW = MAKEINTRESOURCEA(32512);
inline const char* const IDC_IBEAM = MAKEINTRESOURCEA(32513);
inline const char* const IDC_WAIT = MAKEINTRESOURCEA(32514);
inline const char* const IDC_CROSS = MAKEINTRESOURCEA(32515);
inline const char* const IDC_SIZEALL = MAKEINTRESOURCEA(32646);
inline const char* const IDC_NO = MAKEINTRESOURCEA(32648);
inline const char* const IDC_HAND = MAKEINTRESOURCEA(32649);
// The system's cursors (instance null); program cursors are not kept (ERROR_RESOURCE_NAME_NOT_FOUND).
HCURSOR LoadCursorA(HINSTANCE instance, const char* name);

// Icons are the program's resources, declared with resource_add_icon below.
constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT IMAGE_ICON = 1;
constexpr UINT IMAGE_CURSOR = 2;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_DEFAULTSIZE = 0x0040;
constexpr UINT LR_SHARED = 0x8000;
// The icon at the system's icon size (SM_CXICON). Handles are shared and live as long as the
// program.
HICON LoadIconA(HINSTANCE instance, const char* name);
// IMAGE_ICON only (else ERROR_RESOURCE_TYPE_NOT_FOUND); width and height 0 mean the resource's
// own size, or the system's with LR_DEFAULTSIZE. The nearest image is scaled when no image of
// the size exists.
HANDLE LoadImageA(HINSTANCE instance, const char* name, UINT type, int width, int height, UINT flags);

// One image of an icon resource: rows top-down, pixels 0xAARRGGBB.
struct IconImage {
    int width;
    int height;
    std::vector<std::uint32_t> argb;
};
// Declares the program's icon resource `id` (what a resource compiler would have bound into the
// executable). A later declaration of the same id replaces it for handles loaded afterwards.
void resource_add_icon(WORD id, std::vector<IconImage> images);

// ---- Device contexts, painting and brushes --------------------------------------------------
constexpr int WHITE_BRUSH = 0;
constexpr int LTGRAY_BRUSH = 1;
constexpr int GRAY_BRUSH = 2;
constexpr int DKGRAY_BRUSH = 3;
constexpr int BLACK_BRUSH = 4;
constexpr int NULL_BRUSH = 5;
constexpr int HOLLOW_BRUSH = NULL_BRUSH;
// The stock brushes above; null for other indices.
HGDIOBJ GetStockObject(int index);
HBRUSH CreateSolidBrush(COLORREF color);
// Stock objects ignore deletion, as on the platform.
BOOL DeleteObject(HGDIOBJ object);

// A device context of the window's client area, or of the screen for a null window.
HDC GetDC(HWND window);
int ReleaseDC(HWND window, HDC dc);

constexpr int HORZRES = 8;
constexpr int VERTRES = 10;
constexpr int BITSPIXEL = 12;
constexpr int PLANES = 14;
constexpr int LOGPIXELSX = 88;
constexpr int LOGPIXELSY = 90;
constexpr int VREFRESH = 116;
// The display the context's window is on (the first display for the screen): its desktop
// mode in pixels, bits and hertz, and its dots per inch (96 when the display does not say).
int GetDeviceCaps(HDC dc, int index);

// Fills the rectangle (client coordinates) with the brush. On a window created for OpenGL the
// fill is drawn and shown at once; elsewhere (the screen, a display without OpenGL) it is
// only recorded. A null brush draws nothing.
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
// Validates the window (no more WM_PAINT until it is exposed again) and, when the background
// needs erasing, sends WM_ERASEBKGND first.
HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);

// ---- System metrics -------------------------------------------------------------------------
constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXFIXEDFRAME = 7;
constexpr int SM_CYFIXEDFRAME = 8;
constexpr int SM_CXICON = 11;
constexpr int SM_CYICON = 12;
constexpr int SM_CYMENU = 15;
constexpr int SM_MOUSEPRESENT = 19;
constexpr int SM_SWAPBUTTON = 23;
constexpr int SM_CXSIZEFRAME = 32;
constexpr int SM_CYSIZEFRAME = 33;
constexpr int SM_CMOUSEBUTTONS = 43;
constexpr int SM_CXSMICON = 49;
constexpr int SM_CYSMICON = 50;
// Screen sizes come from the first display's desktop mode. SM_SWAPBUTTON is 0: the host swaps
// the buttons of a left-handed mouse before any program sees them.
int GetSystemMetrics(int index);
