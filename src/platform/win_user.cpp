#include "platform/win_user.h"

#include "platform/sjis.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// SDL's headless drivers have no screen to show a dialog on.
bool is_headless_driver(const char* driver)
{
    return driver && (!std::strcmp(driver, "dummy") || !std::strcmp(driver, "offscreen"));
}

bool show_dialog(const std::string& text, const std::string& caption, UINT type)
{
    if (is_headless_driver(std::getenv("SDL_VIDEODRIVER"))) return false;
    bool started_video = false;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
        started_video = true;
    }
    bool shown = false;
    if (!is_headless_driver(SDL_GetCurrentVideoDriver())) {
        Uint32 flags = (type & MB_ICONERROR) ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION;
        shown = SDL_ShowSimpleMessageBox(flags, caption.c_str(), text.c_str(), nullptr) == 0;
    }
    if (started_video) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return shown;
}

} // namespace

int MessageBoxA(HWND, const char* text, const char* caption, UINT type)
{
    std::string utf8_text = sjis_to_utf8(text ? text : "");
    std::string utf8_caption = sjis_to_utf8(caption ? caption : "");
    if (!show_dialog(utf8_text, utf8_caption, type)) {
        std::fprintf(stderr, "%s: %s\n", utf8_caption.c_str(), utf8_text.c_str());
        std::fflush(stderr);
    }
    return IDOK;
}
