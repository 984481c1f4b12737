#include "platform/impl/mbcs.h"
#include "platform/impl/sjis.h"
#include "platform/impl/win_handles.h"
#include "platform/impl/window_internal.h"
#include "platform/impl/window_seams.h"
#include "platform/win_kernel.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <unistd.h>

std::mutex g_window_lock;

namespace {

std::map<std::string, std::shared_ptr<WindowClass>> g_classes; // by folded name; g_window_lock
ATOM g_next_class_atom = 0xC000;
std::map<HWND, std::shared_ptr<Window>> g_windows; // g_window_lock
HWND g_active = nullptr;                           // g_window_lock
std::atomic<std::uint32_t> g_next_serial{1};
thread_local HWND t_focus = nullptr;

std::mutex g_attach_lock;
std::set<std::pair<DWORD, DWORD>> g_attached_input;

constexpr POINT k_not_reported{INT_MIN, INT_MIN};
constexpr LONG k_iconic_position = -32000;
constexpr LONG k_iconic_width = 160;
constexpr LONG k_iconic_height = 28;

// Handles carry the process number, so a handle passed between processes means the same
// window everywhere and the transport knows where to deliver.
HWND new_handle()
{
    auto serial = static_cast<std::uintptr_t>(g_next_serial++ & 0x0FFFFFFF);
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(getpid()) << 32 | serial << 4);
}

std::shared_ptr<WindowClass> find_class_locked(const char* name)
{
    if (!name) return nullptr;
    if (IS_INTRESOURCE(name)) {
        auto atom = static_cast<ATOM>(reinterpret_cast<std::uintptr_t>(name));
        for (auto& [key, window_class] : g_classes)
            if (window_class->atom == atom) return window_class;
        return nullptr;
    }
    auto found = g_classes.find(mbcs_fold_case(name));
    return found == g_classes.end() ? nullptr : found->second;
}

bool same_name(std::string_view a, std::string_view b)
{
    return mbcs_fold_case(a) == mbcs_fold_case(b);
}

bool is_top_level(const Window& window)
{
    return !(window.style & WS_CHILD);
}

RECT frame_of(DWORD style, bool menu)
{
    int frame = 0;
    if (style & WS_THICKFRAME)
        frame = METRIC_SIZE_FRAME;
    else if (style & WS_DLGFRAME)
        frame = METRIC_FIXED_FRAME;
    else if (style & WS_BORDER)
        frame = METRIC_BORDER;
    RECT insets{frame, frame, frame, frame};
    if ((style & WS_CAPTION) == WS_CAPTION) insets.top += METRIC_CAPTION;
    if (menu) insets.top += METRIC_MENU;
    return insets;
}

RECT frame_of(const Window& window)
{
    return frame_of(window.style, false);
}

bool same_point(POINT a, POINT b)
{
    return a.x == b.x && a.y == b.y;
}

// What WM_MOVE reports: the client origin in screen coordinates, or in the parent's client
// coordinates for a child window.
POINT move_origin(const Window& window)
{
    if (window.iconic || !window.parent) return window_client_origin(window);
    RECT frame = frame_of(window);
    return {window.rect.left + frame.left, window.rect.top + frame.top};
}

// Sends WM_MOVE and WM_SIZE for whatever changed since they were last sent.
void report_placement(const std::shared_ptr<Window>& window)
{
    POINT origin = move_origin(*window);
    POINT size = window_client_size(*window);
    bool moved = !same_point(origin, window->reported_origin);
    bool sized = !same_point(size, window->reported_size);
    window->reported_origin = origin;
    window->reported_size = size;
    if (moved) SendMessageA(window->hwnd, WM_MOVE, 0, point_lparam(origin));
    if (sized) {
        WPARAM kind = window->iconic ? SIZE_MINIMIZED : window->maximized ? SIZE_MAXIMIZED : SIZE_RESTORED;
        SendMessageA(window->hwnd, WM_SIZE, kind, point_lparam(size));
        window->needs_paint = window->needs_erase = !window->iconic;
    }
}

void push_placement_to_host(const Window& window)
{
    if (!window.sdl || window.iconic) return;
    POINT origin = window_client_origin(window);
    POINT size = window_client_size(window);
    int x = 0, y = 0, width = 0, height = 0;
    SDL_GetWindowPosition(window.sdl, &x, &y);
    SDL_GetWindowSize(window.sdl, &width, &height);
    // Repeating a placement would make a window manager place the window anew.
    if (x != origin.x || y != origin.y) SDL_SetWindowPosition(window.sdl, origin.x, origin.y);
    if (width != std::max<LONG>(size.x, 1) || height != std::max<LONG>(size.y, 1))
        SDL_SetWindowSize(window.sdl, std::max<LONG>(size.x, 1), std::max<LONG>(size.y, 1));
}

void push_style_to_host(const Window& window)
{
    if (!window.sdl) return;
    bool framed = window.style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME);
    SDL_SetWindowBordered(window.sdl, framed ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowResizable(window.sdl, (window.style & WS_THICKFRAME) ? SDL_TRUE : SDL_FALSE);
    SDL_SetWindowAlwaysOnTop(window.sdl, (window.ex_style & WS_EX_TOPMOST) ? SDL_TRUE : SDL_FALSE);
}

void set_rect(const std::shared_ptr<Window>& window, const RECT& rect)
{
    std::lock_guard lock(g_window_lock);
    window->rect = rect;
}

// A screen filling placement whose client area starts below the caption.
RECT maximized_rect(const Window& window)
{
    RECT frame = frame_of(window);
    int width = GetSystemMetrics(SM_CXSCREEN);
    int height = GetSystemMetrics(SM_CYSCREEN);
    int caption = frame.top - frame.left;
    return {-frame.left, caption - frame.top, width + frame.right, height + frame.bottom};
}

// Asks for activation: granted at once without a window manager, else requested of it.
void request_activation(const std::shared_ptr<Window>& window)
{
    if (!is_top_level(*window)) return;
    if (!video_has_window_manager())
        window_activate(window);
    else if (window->sdl)
        SDL_RaiseWindow(window->sdl);
}

void set_visible(const std::shared_ptr<Window>& window, bool visible)
{
    if (bool(window->style & WS_VISIBLE) == visible) return;
    if (!visible && window_is_active(window->hwnd)) window_deactivate_app();
    SendMessageA(window->hwnd, WM_SHOWWINDOW, visible, 0);
    {
        std::lock_guard lock(g_window_lock);
        window->style = visible ? window->style | WS_VISIBLE : window->style & ~WS_VISIBLE;
    }
    if (window->sdl) visible ? SDL_ShowWindow(window->sdl) : SDL_HideWindow(window->sdl);
    if (visible) window->needs_paint = window->needs_erase = true;
}

void minimize(const std::shared_ptr<Window>& window)
{
    if (window->iconic) return;
    if (window_is_active(window->hwnd)) window_deactivate_app();
    {
        std::lock_guard lock(g_window_lock);
        window->iconic = true;
        window->style = (window->style | WS_MINIMIZE) & ~WS_MAXIMIZE;
    }
    if (window->sdl) SDL_MinimizeWindow(window->sdl);
    report_placement(window);
}

void maximize(const std::shared_ptr<Window>& window)
{
    if (window->maximized && !window->iconic) return;
    RECT screen = maximized_rect(*window);
    {
        std::lock_guard lock(g_window_lock);
        if (!window->maximized) window->restore_rect = window->rect;
        window->iconic = false;
        window->maximized = true;
        window->style = (window->style | WS_MAXIMIZE) & ~WS_MINIMIZE;
        window->rect = screen;
    }
    if (window->sdl) SDL_MaximizeWindow(window->sdl);
    report_placement(window);
}

void restore(const std::shared_ptr<Window>& window)
{
    if (window->iconic) {
        {
            std::lock_guard lock(g_window_lock);
            window->iconic = false;
            window->style &= ~WS_MINIMIZE;
        }
        if (window->sdl) SDL_RestoreWindow(window->sdl);
    } else if (window->maximized) {
        {
            std::lock_guard lock(g_window_lock);
            window->maximized = false;
            window->style &= ~WS_MAXIMIZE;
            window->rect = window->restore_rect;
        }
        if (window->sdl) SDL_RestoreWindow(window->sdl);
        push_placement_to_host(*window);
    }
    report_placement(window);
}

BOOL show_local(const std::shared_ptr<Window>& window, int command)
{
    BOOL was_visible = (window->style & WS_VISIBLE) ? TRUE : FALSE;
    switch (command) {
    case SW_HIDE:
        set_visible(window, false);
        break;
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
        set_visible(window, true);
        minimize(window);
        break;
    case SW_MAXIMIZE:
        set_visible(window, true);
        maximize(window);
        request_activation(window);
        break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
        set_visible(window, true);
        restore(window);
        request_activation(window);
        break;
    case SW_SHOWNOACTIVATE:
        set_visible(window, true);
        restore(window);
        break;
    case SW_SHOW:
        set_visible(window, true);
        if (!window->iconic) request_activation(window);
        break;
    case SW_SHOWNA:
        set_visible(window, true);
        break;
    default:
        return win_fail(ERROR_INVALID_PARAMETER);
    }
    return was_visible;
}

std::shared_ptr<Window> top_level_of(std::shared_ptr<Window> window)
{
    while (window->parent) {
        auto parent = window_find(window->parent);
        if (!parent) break;
        window = parent;
    }
    return window;
}

std::shared_ptr<Window> own_window(HWND handle)
{
    auto window = window_find(handle);
    if (!window)
        SetLastError(window_is_local_handle(handle) || !handle ? ERROR_INVALID_WINDOW_HANDLE
                                                               : ERROR_ACCESS_DENIED);
    return window;
}

void note_transport_failure(const char* class_name)
{
    static std::atomic<bool> noted{false};
    if (noted.exchange(true)) return;
    std::fprintf(stderr, "window class \"%s\" cannot be reached by other programs: %s\n", class_name,
                 std::strerror(errno));
}

bool create_host_window(const std::shared_ptr<Window>& window, bool default_position)
{
    if (!video_start()) return false;
    POINT origin = window_client_origin(*window);
    POINT size = window_client_size(*window);
    Uint32 flags = SDL_WINDOW_HIDDEN | (video_has_gl() ? SDL_WINDOW_OPENGL : 0);
    if (!(window->style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME))) flags |= SDL_WINDOW_BORDERLESS;
    if (window->style & WS_THICKFRAME) flags |= SDL_WINDOW_RESIZABLE;
    if (window->ex_style & WS_EX_TOPMOST) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    int x = default_position ? SDL_WINDOWPOS_UNDEFINED : origin.x;
    int y = default_position ? SDL_WINDOWPOS_UNDEFINED : origin.y;
    window->sdl = SDL_CreateWindow(sjis_to_utf8(window->title).c_str(), x, y, std::max<LONG>(size.x, 1),
                                   std::max<LONG>(size.y, 1), flags);
    if (!window->sdl) {
        std::fprintf(stderr, "window cannot be created: %s\n", SDL_GetError());
        return false;
    }
    window->sdl_id = SDL_GetWindowID(window->sdl);
    int width = 0, height = 0;
    const std::uint32_t* argb = nullptr;
    if (icon_pixels(window->window_class->info.hIcon, width, height, argb)) {
        SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(
            const_cast<std::uint32_t*>(argb), width, height, 32, width * 4, SDL_PIXELFORMAT_ARGB8888);
        if (icon) {
            SDL_SetWindowIcon(window->sdl, icon);
            SDL_FreeSurface(icon);
        }
    }
    if (default_position) {
        SDL_GetWindowPosition(window->sdl, &x, &y);
        RECT frame = frame_of(*window);
        LONG width_now = window->rect.right - window->rect.left;
        LONG height_now = window->rect.bottom - window->rect.top;
        set_rect(window,
                 {x - frame.left, y - frame.top, x - frame.left + width_now, y - frame.top + height_now});
    }
    return true;
}

// Removes a window that never finished its creation or has finished its destruction.
void forget_window(const std::shared_ptr<Window>& window)
{
    if (is_top_level(*window)) ipc_unpublish(window->hwnd);
    {
        std::lock_guard lock(g_window_lock);
        g_windows.erase(window->hwnd);
        --window->window_class->window_count;
        if (g_active == window->hwnd) g_active = nullptr;
    }
    if (t_focus == window->hwnd) t_focus = nullptr;
    if (window->sdl) SDL_DestroyWindow(window->sdl);
    window->sdl = nullptr;
}

} // namespace

// ---- Shared with the other sources of the window layer --------------------------------------

DWORD window_handle_process(HWND window)
{
    return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(window) >> 32);
}

bool window_is_local_handle(HWND window)
{
    return window && window_handle_process(window) == static_cast<DWORD>(getpid());
}

std::shared_ptr<Window> window_find(HWND window)
{
    std::lock_guard lock(g_window_lock);
    auto found = g_windows.find(window);
    return found == g_windows.end() ? nullptr : found->second;
}

std::shared_ptr<Window> window_from_sdl(std::uint32_t sdl_id)
{
    std::lock_guard lock(g_window_lock);
    for (auto& [handle, window] : g_windows)
        if (window->sdl && window->sdl_id == sdl_id) return window;
    return nullptr;
}

std::vector<std::shared_ptr<Window>> window_top_levels()
{
    std::lock_guard lock(g_window_lock);
    std::vector<std::shared_ptr<Window>> windows;
    for (auto& [handle, window] : g_windows)
        if (is_top_level(*window)) windows.push_back(window);
    return windows;
}

HWND window_needing_paint(DWORD thread_id, HWND filter)
{
    std::lock_guard lock(g_window_lock);
    for (auto& [handle, window] : g_windows)
        if (window->thread_id == thread_id && window->needs_paint && (window->style & WS_VISIBLE) &&
            (!filter || filter == handle))
            return handle;
    return nullptr;
}

HWND window_active()
{
    std::lock_guard lock(g_window_lock);
    return g_active;
}

bool window_is_active(HWND window)
{
    return window && window_active() == window;
}

POINT window_client_origin(const Window& window)
{
    if (window.iconic) return {k_iconic_position, k_iconic_position};
    RECT frame = frame_of(window);
    POINT origin{window.rect.left + frame.left, window.rect.top + frame.top};
    if (window.parent) {
        if (auto parent = window_find(window.parent)) {
            POINT parent_origin = window_client_origin(*parent);
            origin.x += parent_origin.x;
            origin.y += parent_origin.y;
        }
    }
    return origin;
}

POINT window_client_size(const Window& window)
{
    if (window.iconic) return {0, 0};
    RECT frame = frame_of(window);
    return {std::max<LONG>(0, window.rect.right - window.rect.left - frame.left - frame.right),
            std::max<LONG>(0, window.rect.bottom - window.rect.top - frame.top - frame.bottom)};
}

void window_placed_by_host(const std::shared_ptr<Window>& window, POINT origin, POINT size)
{
    if (window->iconic) return;
    RECT frame = frame_of(*window);
    set_rect(window, {origin.x - frame.left, origin.y - frame.top, origin.x + size.x + frame.right,
                      origin.y + size.y + frame.bottom});
    report_placement(window);
}

void window_activate(const std::shared_ptr<Window>& window)
{
    HWND previous = nullptr;
    {
        std::lock_guard lock(g_window_lock);
        if (g_active == window->hwnd || window->destroying) return;
        previous = g_active;
        g_active = window->hwnd;
    }
    if (previous)
        SendMessageA(previous, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(window->hwnd));
    else
        for (auto& top : window_top_levels())
            SendMessageA(top->hwnd, WM_ACTIVATEAPP, TRUE, 0);
    SendMessageA(window->hwnd, WM_ACTIVATE, WA_ACTIVE, reinterpret_cast<LPARAM>(previous));
    if (window->thread_id == GetCurrentThreadId()) t_focus = window->hwnd;
    events_update_text_input();
}

void window_deactivate_app()
{
    HWND previous = nullptr;
    {
        std::lock_guard lock(g_window_lock);
        previous = g_active;
        g_active = nullptr;
    }
    if (!previous) return;
    events_release_keys();
    SendMessageA(previous, WM_ACTIVATE, WA_INACTIVE, 0);
    for (auto& top : window_top_levels())
        SendMessageA(top->hwnd, WM_ACTIVATEAPP, FALSE, 0);
    t_focus = nullptr;
}

void window_fill_reply(const Window& window, IpcReply& reply)
{
    std::lock_guard lock(g_window_lock);
    reply.ok = 1;
    reply.process = static_cast<std::uint32_t>(getpid());
    reply.thread = window.thread_id;
    reply.style = window.style;
    reply.state = ((window.style & WS_VISIBLE) ? IPC_STATE_VISIBLE : 0) |
                  (window.iconic ? IPC_STATE_ICONIC : 0) | (g_active == window.hwnd ? IPC_STATE_ACTIVE : 0);
    std::snprintf(reply.class_name, sizeof reply.class_name, "%s", window.window_class->name.c_str());
    std::snprintf(reply.title, sizeof reply.title, "%s", window.title.c_str());
}

SDL_Window* window_sdl(HWND handle)
{
    auto window = window_find(handle);
    return window ? window->sdl : nullptr;
}

LRESULT window_run_on_owner(const Window& window, std::function<LRESULT()> fn)
{
    if (window.thread_id == GetCurrentThreadId()) return fn();
    return message_call_on_thread(window.thread_id, std::move(fn));
}

// ---- Classes --------------------------------------------------------------------------------

ATOM RegisterClassExA(const WNDCLASSEXA* window_class)
{
    if (!window_class || window_class->cbSize != sizeof(WNDCLASSEXA) || !window_class->lpfnWndProc ||
        !window_class->lpszClassName || IS_INTRESOURCE(window_class->lpszClassName))
        return win_fail(ERROR_INVALID_PARAMETER), 0;
    std::string name = window_class->lpszClassName;
    if (name.empty() || name.size() > ATOM_NAME_MAX) return win_fail(ERROR_INVALID_PARAMETER), 0;
    std::lock_guard lock(g_window_lock);
    std::string key = mbcs_fold_case(name);
    if (g_classes.count(key)) return win_fail(ERROR_CLASS_ALREADY_EXISTS), 0;
    auto entry = std::make_shared<WindowClass>();
    entry->name = name;
    entry->info = *window_class;
    entry->info.lpszClassName = nullptr;
    entry->info.lpszMenuName = nullptr;
    entry->atom = g_next_class_atom++;
    g_classes[key] = entry;
    return entry->atom;
}

BOOL UnregisterClassA(const char* class_name, HINSTANCE)
{
    std::lock_guard lock(g_window_lock);
    auto window_class = find_class_locked(class_name);
    if (!window_class) return win_fail(ERROR_CLASS_DOES_NOT_EXIST);
    if (window_class->window_count > 0) return win_fail(ERROR_CLASS_HAS_WINDOWS);
    g_classes.erase(mbcs_fold_case(window_class->name));
    return TRUE;
}

// ---- Windows --------------------------------------------------------------------------------

HWND CreateWindowExA(DWORD ex_style, const char* class_name, const char* title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance, void* param)
{
    auto window = std::make_shared<Window>();
    {
        std::lock_guard lock(g_window_lock);
        window->window_class = find_class_locked(class_name);
        if (!window->window_class) return win_fail(ERROR_CANNOT_FIND_WND_CLASS), nullptr;
        if (parent && !g_windows.count(parent)) return win_fail(ERROR_INVALID_WINDOW_HANDLE), nullptr;
    }
    if ((style & WS_CHILD) && !parent) return win_fail(ERROR_INVALID_PARAMETER), nullptr;
    bool child = style & WS_CHILD;
    bool default_position = x == CW_USEDEFAULT;
    if (width == CW_USEDEFAULT) {
        width = child ? 0 : GetSystemMetrics(SM_CXSCREEN) * 3 / 4;
        height = child ? 0 : GetSystemMetrics(SM_CYSCREEN) * 3 / 4;
    }
    if (default_position) x = y = 0;
    message_ensure_queue();
    window->hwnd = new_handle();
    window->proc = window->window_class->info.lpfnWndProc;
    window->thread_id = GetCurrentThreadId();
    window->parent = parent;
    window->title = title ? title : "";
    window->style = style & ~(WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE);
    window->ex_style = ex_style;
    window->rect = {x, y, x + width, y + height};
    window->reported_origin = window->reported_size = k_not_reported;
    window->input_context = reinterpret_cast<HIMC>(window->hwnd);
    {
        std::lock_guard lock(g_window_lock);
        g_windows[window->hwnd] = window;
        ++window->window_class->window_count;
    }
    if (!child) {
        if (!create_host_window(window, default_position)) {
            forget_window(window);
            return win_fail(ERROR_NOT_ENOUGH_MEMORY), nullptr;
        }
        if (!ipc_publish(window->hwnd, window->window_class->name))
            note_transport_failure(window->window_class->name.c_str());
    }

    CREATESTRUCTA create{param, instance,   menu,    parent, height, width, y, x, static_cast<LONG>(style),
                         title, class_name, ex_style};
    auto create_param = reinterpret_cast<LPARAM>(&create);
    if (!SendMessageA(window->hwnd, WM_NCCREATE, 0, create_param)) {
        SendMessageA(window->hwnd, WM_NCDESTROY, 0, 0);
        forget_window(window);
        return win_fail(ERROR_INVALID_PARAMETER), nullptr;
    }
    if (SendMessageA(window->hwnd, WM_CREATE, 0, create_param) == -1) {
        DestroyWindow(window->hwnd);
        return win_fail(ERROR_INVALID_PARAMETER), nullptr;
    }
    report_placement(window);
    if (style & WS_VISIBLE) show_local(window, SW_SHOW);
    return window->hwnd;
}

BOOL DestroyWindow(HWND handle)
{
    auto window = own_window(handle);
    if (!window) return FALSE;
    if (window->thread_id != GetCurrentThreadId()) return win_fail(ERROR_ACCESS_DENIED);
    {
        std::lock_guard lock(g_window_lock);
        if (window->destroying) return TRUE;
        window->destroying = true;
    }
    if (window_is_active(handle)) window_deactivate_app();
    if (window->style & WS_VISIBLE) {
        {
            std::lock_guard lock(g_window_lock);
            window->style &= ~WS_VISIBLE;
        }
        if (window->sdl) SDL_HideWindow(window->sdl);
    }
    std::vector<HWND> children;
    {
        std::lock_guard lock(g_window_lock);
        for (auto& [child, entry] : g_windows)
            if (entry->parent == handle) children.push_back(child);
    }
    for (HWND child : children)
        DestroyWindow(child);
    SendMessageA(handle, WM_DESTROY, 0, 0);
    SendMessageA(handle, WM_NCDESTROY, 0, 0);
    forget_window(window);
    return TRUE;
}

BOOL IsWindow(HWND window)
{
    if (!window) return FALSE;
    if (window_is_local_handle(window)) return window_find(window) ? TRUE : FALSE;
    auto reply = ipc_request(window, IpcKind::query);
    return reply && reply->ok ? TRUE : FALSE;
}

HWND FindWindowA(const char* class_name, const char* title)
{
    auto windows = window_top_levels();
    for (auto it = windows.rbegin(); it != windows.rend(); ++it) {
        const Window& window = **it;
        if (window.destroying) continue;
        if (class_name && !same_name(class_name, window.window_class->name)) continue;
        if (title && !same_name(title, window.title)) continue;
        return window.hwnd;
    }
    for (HWND window : ipc_list_windows(class_name)) {
        auto reply = ipc_request(window, IpcKind::query);
        if (!reply || !reply->ok) continue;
        if (class_name && !same_name(class_name, reply->class_name)) continue;
        if (title && !same_name(title, reply->title)) continue;
        return window;
    }
    return nullptr;
}

BOOL ShowWindow(HWND handle, int command)
{
    if (handle && !window_is_local_handle(handle)) {
        auto reply = ipc_request(handle, IpcKind::show, 0, 0, 0, command);
        if (!reply || !reply->ok) return win_fail(ERROR_INVALID_WINDOW_HANDLE);
        return reply->result ? TRUE : FALSE;
    }
    auto window = own_window(handle);
    if (!window) return FALSE;
    return static_cast<BOOL>(
        window_run_on_owner(*window, [window, command] { return show_local(window, command); }));
}

BOOL IsIconic(HWND handle)
{
    if (handle && !window_is_local_handle(handle)) {
        auto reply = ipc_request(handle, IpcKind::query);
        return reply && reply->ok && (reply->state & IPC_STATE_ICONIC) ? TRUE : FALSE;
    }
    auto window = own_window(handle);
    return window && window->iconic ? TRUE : FALSE;
}

// ---- Placement ------------------------------------------------------------------------------

BOOL AdjustWindowRect(RECT* rect, DWORD style, BOOL menu)
{
    if (!rect) return win_fail(ERROR_INVALID_PARAMETER);
    RECT frame = frame_of(style, menu);
    rect->left -= frame.left;
    rect->top -= frame.top;
    rect->right += frame.right;
    rect->bottom += frame.bottom;
    return TRUE;
}

BOOL GetWindowRect(HWND handle, RECT* rect)
{
    auto window = own_window(handle);
    if (!window) return FALSE;
    if (!rect) return win_fail(ERROR_INVALID_PARAMETER);
    if (window->iconic) {
        *rect = {k_iconic_position, k_iconic_position, k_iconic_position + k_iconic_width,
                 k_iconic_position + k_iconic_height};
        return TRUE;
    }
    RECT frame = frame_of(*window);
    POINT origin = window_client_origin(*window);
    LONG left = origin.x - frame.left;
    LONG top = origin.y - frame.top;
    *rect = {left, top, left + window->rect.right - window->rect.left,
             top + window->rect.bottom - window->rect.top};
    return TRUE;
}

BOOL GetClientRect(HWND handle, RECT* rect)
{
    auto window = own_window(handle);
    if (!window) return FALSE;
    if (!rect) return win_fail(ERROR_INVALID_PARAMETER);
    POINT size = window_client_size(*window);
    *rect = {0, 0, size.x, size.y};
    return TRUE;
}

BOOL ClientToScreen(HWND handle, POINT* point)
{
    auto window = own_window(handle);
    if (!window) return FALSE;
    if (!point) return win_fail(ERROR_INVALID_PARAMETER);
    POINT origin = window_client_origin(*window);
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

LONG GetWindowLongA(HWND handle, int index)
{
    auto window = own_window(handle);
    if (!window) return 0;
    std::lock_guard lock(g_window_lock);
    if (index == GWL_STYLE) return static_cast<LONG>(window->style);
    if (index == GWL_EXSTYLE) return static_cast<LONG>(window->ex_style);
    return win_fail(ERROR_INVALID_INDEX), 0;
}

LONG SetWindowLongA(HWND handle, int index, LONG value)
{
    auto window = own_window(handle);
    if (!window) return 0;
    if (index != GWL_STYLE && index != GWL_EXSTYLE) return win_fail(ERROR_INVALID_INDEX), 0;
    return static_cast<LONG>(window_run_on_owner(*window, [window, index, value]() -> LRESULT {
        auto bits = static_cast<DWORD>(value);
        DWORD previous = index == GWL_STYLE ? window->style : window->ex_style;
        if (index == GWL_STYLE) {
            set_visible(window, bits & WS_VISIBLE);
            std::lock_guard lock(g_window_lock);
            window->style = (bits & ~(WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE)) |
                            (window->style & (WS_VISIBLE | WS_MINIMIZE | WS_MAXIMIZE));
        } else {
            std::lock_guard lock(g_window_lock);
            window->ex_style = bits;
        }
        push_style_to_host(*window);
        push_placement_to_host(*window);
        report_placement(window);
        SetLastError(ERROR_SUCCESS);
        return static_cast<LONG>(previous);
    }));
}

BOOL SetWindowPos(HWND handle, HWND insert_after, int x, int y, int width, int height, UINT flags)
{
    auto window = own_window(handle);
    if (!window) return FALSE;
    return static_cast<BOOL>(window_run_on_owner(*window, [=]() -> LRESULT {
        RECT rect = window->rect;
        if (!(flags & SWP_NOMOVE)) rect = {x, y, x + rect.right - rect.left, y + rect.bottom - rect.top};
        if (!(flags & SWP_NOSIZE)) rect = {rect.left, rect.top, rect.left + width, rect.top + height};
        if (!(flags & SWP_NOZORDER) && (insert_after == HWND_TOPMOST || insert_after == HWND_NOTOPMOST)) {
            std::lock_guard lock(g_window_lock);
            window->ex_style = insert_after == HWND_TOPMOST ? window->ex_style | WS_EX_TOPMOST
                                                            : window->ex_style & ~WS_EX_TOPMOST;
        }
        set_rect(window, rect);
        push_style_to_host(*window);
        push_placement_to_host(*window);
        report_placement(window);
        if (flags & SWP_SHOWWINDOW) set_visible(window, true);
        if (flags & SWP_HIDEWINDOW) set_visible(window, false);
        if (!(flags & SWP_NOACTIVATE) && (window->style & WS_VISIBLE) && !window->iconic)
            request_activation(window);
        return TRUE;
    }));
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL)
{
    return SetWindowPos(window, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- Activation, focus and foreground -------------------------------------------------------

HWND GetActiveWindow()
{
    auto window = window_find(window_active());
    return window && window->thread_id == GetCurrentThreadId() ? window->hwnd : nullptr;
}

HWND SetFocus(HWND handle)
{
    HWND previous = t_focus;
    if (!handle) {
        t_focus = nullptr;
        return previous;
    }
    auto window = own_window(handle);
    if (!window) return nullptr;
    if (window->thread_id != GetCurrentThreadId()) return win_fail(ERROR_ACCESS_DENIED), nullptr;
    auto top = top_level_of(window);
    if (!window_is_active(top->hwnd)) request_activation(top);
    t_focus = handle;
    return previous;
}

HWND GetForegroundWindow()
{
    if (HWND active = window_active()) return active;
    for (HWND window : ipc_list_windows(nullptr)) {
        auto reply = ipc_request(window, IpcKind::query);
        if (reply && reply->ok && (reply->state & IPC_STATE_ACTIVE)) return window;
    }
    return nullptr;
}

BOOL SetForegroundWindow(HWND handle)
{
    if (handle && !window_is_local_handle(handle)) {
        auto reply = ipc_request(handle, IpcKind::activate);
        return reply && reply->ok ? TRUE : win_fail(ERROR_INVALID_WINDOW_HANDLE);
    }
    auto window = own_window(handle);
    if (!window) return FALSE;
    auto top = top_level_of(window);
    window_run_on_owner(*top, [top] {
        request_activation(top);
        return 0;
    });
    return TRUE;
}

DWORD GetWindowThreadProcessId(HWND handle, DWORD* process)
{
    if (handle && !window_is_local_handle(handle)) {
        auto reply = ipc_request(handle, IpcKind::query);
        if (!reply || !reply->ok) return win_fail(ERROR_INVALID_WINDOW_HANDLE), 0;
        if (process) *process = reply->process;
        return reply->thread;
    }
    auto window = own_window(handle);
    if (!window) return 0;
    if (process) *process = static_cast<DWORD>(getpid());
    return window->thread_id;
}

BOOL AttachThreadInput(DWORD thread, DWORD to_thread, BOOL attach)
{
    auto exists = [](DWORD id) { return id && access(("/proc/" + std::to_string(id)).c_str(), F_OK) == 0; };
    if (thread == to_thread || !exists(thread) || !exists(to_thread))
        return win_fail(ERROR_INVALID_PARAMETER);
    std::lock_guard lock(g_attach_lock);
    auto pair = std::make_pair(thread, to_thread);
    if (attach) {
        g_attached_input.insert(pair);
        return TRUE;
    }
    return g_attached_input.erase(pair) ? TRUE : win_fail(ERROR_INVALID_PARAMETER);
}

// ---- The default window procedure -----------------------------------------------------------

LRESULT DefWindowProcA(HWND handle, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(handle);
        return 0;
    case WM_SYSKEYDOWN:
        if (wparam == VK_F4 && (lparam & (1 << 29))) PostMessageA(handle, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSCOMMAND:
        switch (wparam & 0xFFF0) {
        case SC_CLOSE:
            SendMessageA(handle, WM_CLOSE, 0, 0);
            break;
        case SC_MINIMIZE:
            ShowWindow(handle, SW_MINIMIZE);
            break;
        case SC_MAXIMIZE:
            ShowWindow(handle, SW_MAXIMIZE);
            break;
        case SC_RESTORE:
            ShowWindow(handle, SW_RESTORE);
            break;
        }
        return 0;
    case WM_SETCURSOR: {
        auto window = window_find(handle);
        if (!window) return FALSE;
        if (LOWORD(lparam) != HTCLIENT) {
            SetCursor(icon_arrow());
            return TRUE;
        }
        if (!window->window_class->info.hCursor) return FALSE;
        SetCursor(window->window_class->info.hCursor);
        return TRUE;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (BeginPaint(handle, &paint)) EndPaint(handle, &paint);
        return 0;
    }
    case WM_ERASEBKGND: {
        auto window = window_find(handle);
        HBRUSH brush = window ? window->window_class->info.hbrBackground : nullptr;
        if (!brush || brush_is_hollow(brush)) return 0;
        RECT client;
        GetClientRect(handle, &client);
        return FillRect(reinterpret_cast<HDC>(wparam), &client, brush) ? 1 : 0;
    }
    default:
        return 0;
    }
}

// ---- Input method ---------------------------------------------------------------------------

HIMC ImmAssociateContext(HWND handle, HIMC context)
{
    auto window = own_window(handle);
    if (!window) return nullptr;
    HIMC previous = window->input_context;
    window->input_context = context;
    events_update_text_input();
    return previous;
}

bool window_wants_text_input()
{
    auto window = window_find(window_active());
    return !window || window->input_context;
}

// ---- Host state for tests -------------------------------------------------------------------

bool seam_host_window_state(HWND handle, HostWindowState& state)
{
    SDL_Window* host = window_sdl(handle);
    if (!host) return false;
    Uint32 flags = SDL_GetWindowFlags(host);
    state.opengl = flags & SDL_WINDOW_OPENGL;
    state.visible = flags & SDL_WINDOW_SHOWN;
    state.bordered = !(flags & SDL_WINDOW_BORDERLESS);
    SDL_GetWindowPosition(host, &state.x, &state.y);
    SDL_GetWindowSize(host, &state.width, &state.height);
    return true;
}
