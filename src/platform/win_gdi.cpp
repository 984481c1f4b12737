// Device contexts, brushes, painting, cursors, icons and system metrics of the window layer.
#include "platform/impl/test_seams.h"
#include "platform/impl/win_handles.h"
#include "platform/impl/window_internal.h"
#include "platform/impl/window_seams.h"
#include "platform/win_kernel.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <set>
#include <tuple>

struct IconTag {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> argb; // empty for a system cursor
    SDL_SystemCursor system = SDL_SYSTEM_CURSOR_ARROW;
    SDL_Cursor* sdl = nullptr; // made when first shown as the cursor
};

struct BrushTag {
    COLORREF color;
    bool hollow;
};

struct DeviceContextTag {
    HWND window; // null: the screen
};

namespace {

BrushTag g_stock_brushes[] = {
    {RGB(255, 255, 255), false}, {RGB(192, 192, 192), false}, {RGB(128, 128, 128), false},
    {RGB(64, 64, 64), false},    {RGB(0, 0, 0), false},       {0, true},
};

std::mutex g_gdi_lock;
std::set<BrushTag*> g_brushes;          // made by CreateSolidBrush
std::set<DeviceContextTag*> g_contexts; // handed out by GetDC and BeginPaint

// System cursors by resource number; they live as long as the program.
struct SystemCursor {
    WORD id;
    IconTag cursor;
};
SystemCursor g_system_cursors[] = {
    {32512, {0, 0, {}, SDL_SYSTEM_CURSOR_ARROW}},   {32513, {0, 0, {}, SDL_SYSTEM_CURSOR_IBEAM}},
    {32514, {0, 0, {}, SDL_SYSTEM_CURSOR_WAIT}},    {32515, {0, 0, {}, SDL_SYSTEM_CURSOR_CROSSHAIR}},
    {32646, {0, 0, {}, SDL_SYSTEM_CURSOR_SIZEALL}}, {32648, {0, 0, {}, SDL_SYSTEM_CURSOR_NO}},
    {32649, {0, 0, {}, SDL_SYSTEM_CURSOR_HAND}},
};

std::atomic<int> g_cursor_count{0};
std::atomic<HCURSOR> g_cursor{&g_system_cursors[0].cursor};
std::atomic<bool> g_cursor_dirty{true};

// The program's icon resources and the icons loaded from them (each kept for the program's life).
std::map<WORD, std::vector<IconImage>> g_icon_resources;
std::vector<std::unique_ptr<IconTag>> g_icons;
std::map<std::tuple<WORD, int, int>, IconTag*> g_icon_cache; // by id, width and height

std::atomic<DWORD> g_foreground_lock_timeout{200000};

bool is_stock(const BrushTag* brush)
{
    return brush >= std::begin(g_stock_brushes) && brush < std::end(g_stock_brushes);
}

bool valid_brush(HBRUSH brush)
{
    std::lock_guard lock(g_gdi_lock);
    return is_stock(brush) || g_brushes.count(brush);
}

bool valid_context(HDC dc)
{
    std::lock_guard lock(g_gdi_lock);
    return g_contexts.count(dc);
}

HDC new_context(HWND window)
{
    auto dc = new DeviceContextTag{window};
    std::lock_guard lock(g_gdi_lock);
    g_contexts.insert(dc);
    return dc;
}

// Nearest-neighbour scaling of an icon image to the asked size.
IconImage scaled(const IconImage& image, int width, int height)
{
    IconImage out{width, height, std::vector<std::uint32_t>(static_cast<std::size_t>(width) * height)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.argb[static_cast<std::size_t>(y) * width + x] =
                image.argb[static_cast<std::size_t>(y * image.height / height) * image.width +
                           x * image.width / width];
    return out;
}

// The image of the size, else the smallest larger one, else the largest.
const IconImage& best_image(const std::vector<IconImage>& images, int width, int height)
{
    const IconImage* best = &images.front();
    for (const IconImage& image : images) {
        if (image.width == width && image.height == height) return image;
        bool fits = image.width >= width && image.height >= height;
        bool best_fits = best->width >= width && best->height >= height;
        if ((fits && (!best_fits || image.width < best->width)) ||
            (!fits && !best_fits && image.width > best->width))
            best = &image;
    }
    return *best;
}

HICON load_icon(HINSTANCE instance, const char* name, int width, int height, bool own_size)
{
    if (!instance || !IS_INTRESOURCE(name)) return win_fail(ERROR_RESOURCE_NAME_NOT_FOUND), nullptr;
    auto id = static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name));
    std::lock_guard lock(g_gdi_lock);
    auto resource = g_icon_resources.find(id);
    if (resource == g_icon_resources.end()) return win_fail(ERROR_RESOURCE_NAME_NOT_FOUND), nullptr;
    if (own_size) {
        width = resource->second.front().width;
        height = resource->second.front().height;
    }
    IconTag*& cached = g_icon_cache[{id, width, height}];
    if (!cached) {
        IconImage image = scaled(best_image(resource->second, width, height), width, height);
        g_icons.push_back(std::make_unique<IconTag>(IconTag{width, height, std::move(image.argb)}));
        cached = g_icons.back().get();
    }
    return cached;
}

bool valid_icon(HICON icon)
{
    for (const SystemCursor& entry : g_system_cursors)
        if (icon == &entry.cursor) return true;
    std::lock_guard lock(g_gdi_lock);
    return std::any_of(g_icons.begin(), g_icons.end(),
                       [icon](const auto& loaded) { return loaded.get() == icon; });
}

SDL_Cursor* host_cursor(IconTag& cursor)
{
    if (cursor.sdl) return cursor.sdl;
    if (cursor.argb.empty()) {
        cursor.sdl = SDL_CreateSystemCursor(cursor.system);
    } else if (SDL_Surface* surface =
                   SDL_CreateRGBSurfaceWithFormatFrom(cursor.argb.data(), cursor.width, cursor.height, 32,
                                                      cursor.width * 4, SDL_PIXELFORMAT_ARGB8888)) {
        cursor.sdl = SDL_CreateColorCursor(surface, cursor.width / 2, cursor.height / 2);
        SDL_FreeSurface(surface);
    }
    return cursor.sdl;
}

SDL_DisplayMode display_mode(HWND window)
{
    SDL_DisplayMode mode{};
    if (!video_start()) return mode;
    int display = 0;
    if (auto entry = window_find(window); entry && entry->sdl)
        display = std::max(0, SDL_GetWindowDisplayIndex(entry->sdl));
    SDL_GetDesktopDisplayMode(display, &mode);
    return mode;
}

// Fills a rectangle of an OpenGL window with a context of its own that lives for the fill,
// leaving the context the caller had current as it was.
void fill_gl_window(SDL_Window* window, const RECT& rect, POINT client_size, COLORREF color)
{
    using ClearColor = void (*)(float, float, float, float);
    using Clear = void (*)(unsigned);
    using Scissor = void (*)(int, int, int, int);
    using Toggle = void (*)(unsigned);
    constexpr unsigned k_color_buffer_bit = 0x4000;
    constexpr unsigned k_scissor_test = 0x0C11;

    SDL_Window* previous_window = SDL_GL_GetCurrentWindow();
    SDL_GLContext previous = SDL_GL_GetCurrentContext();
    SDL_GLContext context = SDL_GL_CreateContext(window);
    if (!context) return;
    auto clear_color = reinterpret_cast<ClearColor>(SDL_GL_GetProcAddress("glClearColor"));
    auto clear = reinterpret_cast<Clear>(SDL_GL_GetProcAddress("glClear"));
    auto scissor = reinterpret_cast<Scissor>(SDL_GL_GetProcAddress("glScissor"));
    auto enable = reinterpret_cast<Toggle>(SDL_GL_GetProcAddress("glEnable"));
    auto disable = reinterpret_cast<Toggle>(SDL_GL_GetProcAddress("glDisable"));
    if (clear_color && clear && scissor && enable && disable) {
        enable(k_scissor_test);
        scissor(rect.left, client_size.y - rect.bottom, rect.right - rect.left, rect.bottom - rect.top);
        clear_color((color & 0xFF) / 255.0f, ((color >> 8) & 0xFF) / 255.0f, ((color >> 16) & 0xFF) / 255.0f,
                    1.0f);
        clear(k_color_buffer_bit);
        disable(k_scissor_test);
        SDL_GL_SwapWindow(window);
    }
    SDL_GL_DeleteContext(context);
    if (previous) SDL_GL_MakeCurrent(previous_window, previous);
}

} // namespace

// ---- Shared with the other sources of the window layer --------------------------------------

void cursor_apply()
{
    if (!video_thread_is_current()) {
        g_cursor_dirty = true;
        return;
    }
    if (!g_cursor_dirty.exchange(false)) return;
    HCURSOR cursor = g_cursor;
    // A driver that cannot make the image keeps its own arrow; the cursor still shows or hides.
    if (SDL_Cursor* image = cursor ? host_cursor(*cursor) : nullptr) SDL_SetCursor(image);
    SDL_ShowCursor(g_cursor_count >= 0 && cursor ? SDL_ENABLE : SDL_DISABLE);
}

HICON icon_arrow()
{
    return &g_system_cursors[0].cursor;
}

bool icon_pixels(HICON icon, int& width, int& height, const std::uint32_t*& argb)
{
    if (!icon || !valid_icon(icon) || icon->argb.empty()) return false;
    width = icon->width;
    height = icon->height;
    argb = icon->argb.data();
    return true;
}

bool brush_is_hollow(HBRUSH brush)
{
    return brush && brush->hollow;
}

// ---- Cursor and icons -----------------------------------------------------------------------

int ShowCursor(BOOL show)
{
    int count = show ? ++g_cursor_count : --g_cursor_count;
    g_cursor_dirty = true;
    cursor_apply();
    return count;
}

HCURSOR SetCursor(HCURSOR cursor)
{
    if (cursor && !valid_icon(cursor)) return win_fail(ERROR_INVALID_PARAMETER), g_cursor.load();
    HCURSOR previous = g_cursor.exchange(cursor);
    g_cursor_dirty = true;
    cursor_apply();
    return previous;
}

HCURSOR LoadCursorA(HINSTANCE instance, const char* name)
{
    if (!instance && IS_INTRESOURCE(name))
        for (SystemCursor& entry : g_system_cursors)
            if (reinterpret_cast<std::uintptr_t>(name) == entry.id) return &entry.cursor;
    return win_fail(ERROR_RESOURCE_NAME_NOT_FOUND), nullptr;
}

HICON LoadIconA(HINSTANCE instance, const char* name)
{
    return load_icon(instance, name, METRIC_ICON, METRIC_ICON, false);
}

HANDLE LoadImageA(HINSTANCE instance, const char* name, UINT type, int width, int height, UINT flags)
{
    if (type != IMAGE_ICON) return win_fail(ERROR_RESOURCE_TYPE_NOT_FOUND), nullptr;
    if (width < 0 || height < 0) return win_fail(ERROR_INVALID_PARAMETER), nullptr;
    bool own_size = (width == 0 || height == 0) && !(flags & LR_DEFAULTSIZE);
    if (width == 0) width = METRIC_ICON;
    if (height == 0) height = METRIC_ICON;
    return load_icon(instance, name, width, height, own_size);
}

void resource_add_icon(WORD id, std::vector<IconImage> images)
{
    std::erase_if(images, [](const IconImage& image) {
        return image.width <= 0 || image.height <= 0 ||
               image.argb.size() !=
                   static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
    });
    std::lock_guard lock(g_gdi_lock);
    // Handles given out stay valid; only later loads see the new images.
    std::erase_if(g_icon_cache, [id](const auto& entry) { return std::get<0>(entry.first) == id; });
    if (images.empty())
        g_icon_resources.erase(id);
    else
        g_icon_resources[id] = std::move(images);
}

// ---- Brushes, device contexts and painting --------------------------------------------------

HGDIOBJ GetStockObject(int index)
{
    if (index < 0 || index >= static_cast<int>(std::size(g_stock_brushes))) return nullptr;
    return &g_stock_brushes[index];
}

HBRUSH CreateSolidBrush(COLORREF color)
{
    auto brush = new BrushTag{color & 0xFFFFFF, false};
    std::lock_guard lock(g_gdi_lock);
    g_brushes.insert(brush);
    return brush;
}

BOOL DeleteObject(HGDIOBJ object)
{
    if (is_stock(object)) return TRUE;
    std::lock_guard lock(g_gdi_lock);
    if (!g_brushes.erase(object)) return win_fail(ERROR_INVALID_HANDLE);
    delete object;
    return TRUE;
}

HDC GetDC(HWND window)
{
    if (window && !window_find(window)) return win_fail(ERROR_INVALID_WINDOW_HANDLE), nullptr;
    return new_context(window);
}

int ReleaseDC(HWND, HDC dc)
{
    std::lock_guard lock(g_gdi_lock);
    if (!g_contexts.erase(dc)) return 0;
    delete dc;
    return 1;
}

int GetDeviceCaps(HDC dc, int index)
{
    if (!valid_context(dc)) return 0;
    SDL_DisplayMode mode = display_mode(dc->window);
    switch (index) {
    case HORZRES:
        return mode.w;
    case VERTRES:
        return mode.h;
    case BITSPIXEL:
        return mode.format ? static_cast<int>(SDL_BYTESPERPIXEL(mode.format)) * 8 : 0;
    case PLANES:
        return 1;
    case VREFRESH:
        return mode.refresh_rate;
    case LOGPIXELSX:
    case LOGPIXELSY: {
        float horizontal = 0, vertical = 0;
        if (SDL_GetDisplayDPI(0, nullptr, &horizontal, &vertical) != 0) return 96;
        return static_cast<int>(std::lround(index == LOGPIXELSX ? horizontal : vertical));
    }
    default:
        return 0;
    }
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush)
{
    if (!valid_context(dc) || !rect || !valid_brush(brush)) return win_fail(ERROR_INVALID_PARAMETER);
    if (brush->hollow) return TRUE;
    char line[96];
    std::snprintf(line, sizeof line, "FillRect %ld,%ld,%ld,%ld #%06X", static_cast<long>(rect->left),
                  static_cast<long>(rect->top), static_cast<long>(rect->right),
                  static_cast<long>(rect->bottom), static_cast<unsigned>(brush->color));
    seam_log_add(line);
    auto window = window_find(dc->window);
    if (window && window->sdl && video_has_gl() && video_thread_is_current())
        fill_gl_window(window->sdl, *rect, window_client_size(*window), brush->color);
    return TRUE;
}

HDC BeginPaint(HWND handle, PAINTSTRUCT* paint)
{
    auto window = window_find(handle);
    if (!window || window->thread_id != GetCurrentThreadId())
        return win_fail(ERROR_INVALID_WINDOW_HANDLE), nullptr;
    if (!paint) return win_fail(ERROR_INVALID_PARAMETER), nullptr;
    bool erase = window->needs_erase;
    window->needs_paint = window->needs_erase = false;
    *paint = {};
    paint->hdc = new_context(handle);
    POINT size = window_client_size(*window);
    paint->rcPaint = {0, 0, size.x, size.y};
    paint->fErase = erase && !SendMessageA(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(paint->hdc), 0);
    return paint->hdc;
}

BOOL EndPaint(HWND handle, const PAINTSTRUCT* paint)
{
    if (!paint) return win_fail(ERROR_INVALID_PARAMETER);
    ReleaseDC(handle, paint->hdc);
    return TRUE;
}

// ---- System metrics and parameters ----------------------------------------------------------

int GetSystemMetrics(int index)
{
    switch (index) {
    case SM_CXSCREEN:
        return display_mode(nullptr).w;
    case SM_CYSCREEN:
        return display_mode(nullptr).h;
    case SM_CYCAPTION:
        return METRIC_CAPTION;
    case SM_CXBORDER:
    case SM_CYBORDER:
        return METRIC_BORDER;
    case SM_CXFIXEDFRAME:
    case SM_CYFIXEDFRAME:
        return METRIC_FIXED_FRAME;
    case SM_CXSIZEFRAME:
    case SM_CYSIZEFRAME:
        return METRIC_SIZE_FRAME;
    case SM_CYMENU:
        return METRIC_MENU;
    case SM_CXICON:
    case SM_CYICON:
        return METRIC_ICON;
    case SM_CXSMICON:
    case SM_CYSMICON:
        return METRIC_SMALL_ICON;
    case SM_MOUSEPRESENT:
        return 1;
    case SM_CMOUSEBUTTONS:
        return 3;
    case SM_SWAPBUTTON:
        return 0;
    default:
        return 0;
    }
}

BOOL SystemParametersInfoA(UINT action, UINT, void* param, UINT)
{
    switch (action) {
    case SPI_GETFOREGROUNDLOCKTIMEOUT:
        if (!param) return win_fail(ERROR_INVALID_PARAMETER);
        *static_cast<DWORD*>(param) = g_foreground_lock_timeout;
        return TRUE;
    case SPI_SETFOREGROUNDLOCKTIMEOUT:
        g_foreground_lock_timeout = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(param));
        return TRUE;
    default:
        return win_fail(ERROR_INVALID_PARAMETER);
    }
}

bool seam_host_cursor_visible()
{
    return video_started() && SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE;
}
