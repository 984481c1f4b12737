// State and helpers shared by the window layer's sources (win_window.cpp, win_message.cpp,
// win_sdl_events.cpp, win_gdi.cpp). Not for use outside src/platform.
#pragma once

#include "platform/impl/win_ipc.h"
#include "platform/impl/win_window_sdl.h"
#include "platform/win_window.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct SDL_Window;

struct WindowClass {
    std::string name; // as registered
    WNDCLASSEXA info; // the text pointers are not kept
    ATOM atom = 0;
    int window_count = 0;
};

// Fields marked "shared" are written by the window's own thread under g_window_lock and read
// by other threads (the transport thread among them) under it; the rest never change after
// creation or are touched by the own thread only.
struct Window {
    HWND hwnd = nullptr;
    std::shared_ptr<WindowClass> window_class;
    WNDPROC proc = nullptr;
    DWORD thread_id = 0;
    HWND parent = nullptr;
    std::string title;
    DWORD style = 0;        // shared
    DWORD ex_style = 0;     // shared
    RECT rect{};            // shared; the placement (kept while minimised); children: in the
                            // parent's client coordinates
    RECT restore_rect{};    // the normal placement while maximised
    bool iconic = false;    // shared
    bool maximized = false; // shared
    bool needs_paint = false;
    bool needs_erase = false;
    bool destroying = false; // shared
    POINT reported_origin{}; // the client origin and size of the last WM_MOVE and WM_SIZE
    POINT reported_size{};
    HIMC input_context = nullptr;
    SDL_Window* sdl = nullptr;
    std::uint32_t sdl_id = 0;
};

extern std::mutex g_window_lock;

// The lParam of a message carrying a point (each coordinate as a signed 16-bit word).
inline LPARAM point_lparam(POINT point)
{
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(point.x)),
                      static_cast<WORD>(static_cast<short>(point.y)));
}

// ---- win_window.cpp ----
// The process a window handle belongs to (handles carry it, so every process reads them alike).
DWORD window_handle_process(HWND window);
bool window_is_local_handle(HWND window);
// A live window of this process, or null.
std::shared_ptr<Window> window_find(HWND window);
std::shared_ptr<Window> window_from_sdl(std::uint32_t sdl_id);
// Live top-level windows of this process, oldest first.
std::vector<std::shared_ptr<Window>> window_top_levels();
// A window of the thread that needs painting and passes the filter, or null.
HWND window_needing_paint(DWORD thread_id, HWND filter);
HWND window_active();
POINT window_client_origin(const Window& window); // screen coordinates
POINT window_client_size(const Window& window);
// The window's client area as SDL reports it after a move or resize by the window manager.
void window_placed_by_host(const std::shared_ptr<Window>& window, POINT origin, POINT size);
// Activation as the host reports focus, or as the window layer decides without a window manager.
void window_activate(const std::shared_ptr<Window>& window);
void window_deactivate_app();
// True when the window is the process's active window.
bool window_is_active(HWND window);
void window_fill_reply(const Window& window, IpcReply& reply);
// Whether text input may be on: no active window, or one with an input context.
bool window_wants_text_input();
// Runs fn on the window's own thread (at once when that is the calling thread) and returns its result.
LRESULT window_run_on_owner(const Window& window, std::function<LRESULT()> fn);

// The frame the window layer gives each style (also reported by GetSystemMetrics).
constexpr int METRIC_BORDER = 1;
constexpr int METRIC_FIXED_FRAME = 3;
constexpr int METRIC_SIZE_FRAME = 4;
constexpr int METRIC_CAPTION = 22;
constexpr int METRIC_MENU = 19;
constexpr int METRIC_ICON = 32;
constexpr int METRIC_SMALL_ICON = 16;

// ---- win_message.cpp ----
// The calling thread gets its message queue (as it does when it makes its first window).
void message_ensure_queue();
MSG message_make(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Queues a posted message for the thread; false when the thread has no queue.
bool message_post_to_thread(DWORD thread_id, const MSG& message);
// Runs call on the thread from its message retrieval, without waiting; reply_fd >= 0 receives
// the result (see ipc_answer_send). False when the thread has no queue.
bool message_queue_call(DWORD thread_id, std::function<LRESULT()> call, int reply_fd);
// Runs call on the thread and waits for its result, delivering messages sent to the calling
// thread meanwhile; 0 when the thread has no queue.
LRESULT message_call_on_thread(DWORD thread_id, std::function<LRESULT()> call);
// Calls the procedure of a live window of the calling thread; 0 when it is gone.
LRESULT message_deliver(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
// Messages whose parameters are plain numbers, the only ones that may cross processes.
bool message_may_cross_processes(UINT message);

// ---- win_sdl_events.cpp ----
bool video_started();
bool video_thread_is_current();
DWORD video_thread_id();
bool video_has_window_manager();
// Turns every waiting SDL event into messages (only on the video thread).
void events_pump();
// Waits for an SDL event or a wake-up for at most timeout_ms (only on the video thread).
void events_wait(int timeout_ms);
void events_wake_video_thread();
// The last cursor position seen, in screen coordinates.
POINT events_cursor_position();
// Keeps GetKeyState in step with a key or mouse message just taken from the queue.
void keys_note_retrieved(const MSG& message);
// Keys held while the program loses the focus are released elsewhere: forgets them (toggles stay).
void events_release_keys();
// Text input follows the input method: on unless ImmDisableIME was called or the active window
// has no input context.
void events_update_text_input();

// ---- win_gdi.cpp ----
// Applies the cursor image and display count to the host (video thread only; otherwise later).
void cursor_apply();
HICON icon_arrow();
// The icon's pixels for the SDL window, or false for an unknown handle.
bool icon_pixels(HICON icon, int& width, int& height, const std::uint32_t*& argb);
bool brush_is_hollow(HBRUSH brush);
