// The cursor position calls, over the window layer's view of the mouse.
#include "platform/dinput.h"
#include "platform/impl/window_internal.h"

#include <SDL.h>

#include <mutex>

namespace {

// A move asked for stays the answer until the window layer has seen the mouse move: the host
// reports the warp as a motion event that arrives with the next messages.
struct PendingWarp {
    bool pending = false;
    POINT target{};
    POINT seen_before{};
};

std::mutex g_warp_lock;
PendingWarp g_warp;

bool same_point(POINT a, POINT b)
{
    return a.x == b.x && a.y == b.y;
}

} // namespace

BOOL GetCursorPos(POINT* point)
{
    if (!point) return FALSE;
    std::lock_guard lock(g_warp_lock);
    POINT seen = events_cursor_position();
    if (g_warp.pending && same_point(seen, g_warp.seen_before)) {
        *point = g_warp.target;
        return TRUE;
    }
    g_warp.pending = false;
    *point = seen;
    return TRUE;
}

BOOL SetCursorPos(int x, int y)
{
    if (!video_start()) return FALSE;
    std::shared_ptr<Window> window = window_find(window_active());
    if (!window) {
        auto windows = window_top_levels();
        if (!windows.empty()) window = windows.front();
    }
    if (window && window->sdl) {
        POINT origin = window_client_origin(*window);
        SDL_WarpMouseInWindow(window->sdl, x - origin.x, y - origin.y);
    } else {
        SDL_WarpMouseGlobal(x, y);
    }
    std::lock_guard lock(g_warp_lock);
    g_warp = {true, {x, y}, events_cursor_position()};
    return TRUE;
}
