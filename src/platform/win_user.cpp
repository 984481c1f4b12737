#include "platform/win_user.h"

#include "platform/impl/sjis.h"
#include "platform/impl/win_window_sdl.h"
#include "platform/impl/window_seams.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

std::mutex g_seam_lock;
std::deque<int> g_scripted_answers;
std::vector<MessageBoxCall> g_calls;

struct Buttons {
    SDL_MessageBoxButtonData buttons[3];
    int count;
    int dismissed; // the answer when the box is closed
};

Buttons buttons_for(UINT type)
{
    constexpr Uint32 enter = SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    constexpr Uint32 escape = SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    switch (type & 0xF) {
    case MB_OKCANCEL:
        return {{{enter, IDOK, "OK"}, {escape, IDCANCEL, "Cancel"}}, 2, IDCANCEL};
    case MB_ABORTRETRYIGNORE:
        return {
            {{enter, IDABORT, "Abort"}, {0, IDRETRY, "Retry"}, {escape, IDIGNORE, "Ignore"}}, 3, IDIGNORE};
    case MB_YESNOCANCEL:
        return {{{enter, IDYES, "Yes"}, {0, IDNO, "No"}, {escape, IDCANCEL, "Cancel"}}, 3, IDCANCEL};
    case MB_YESNO:
        return {{{enter, IDYES, "Yes"}, {escape, IDNO, "No"}}, 2, IDNO};
    case MB_RETRYCANCEL:
        return {{{enter, IDRETRY, "Retry"}, {escape, IDCANCEL, "Cancel"}}, 2, IDCANCEL};
    default:
        return {{{enter | escape, IDOK, "OK"}}, 1, IDOK};
    }
}

Uint32 icon_flags(UINT type)
{
    switch (type & 0xF0) {
    case MB_ICONERROR:
        return SDL_MESSAGEBOX_ERROR;
    case MB_ICONWARNING:
        return SDL_MESSAGEBOX_WARNING;
    default:
        return SDL_MESSAGEBOX_INFORMATION;
    }
}

// SDL's headless drivers have no screen to show a dialog on.
bool is_headless_driver(const char* driver)
{
    return driver && (!std::strcmp(driver, "dummy") || !std::strcmp(driver, "offscreen"));
}

// The answer of a dialog on the display, or 0 when none could be shown.
int show_dialog(HWND owner, const std::string& text, const std::string& caption, UINT type)
{
    if (is_headless_driver(std::getenv("SDL_VIDEODRIVER"))) return 0;
    bool started_video = false;
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return 0;
        started_video = true;
    }
    int answer = 0;
    if (!is_headless_driver(SDL_GetCurrentVideoDriver())) {
        Buttons buttons = buttons_for(type);
        SDL_MessageBoxData data{icon_flags(type), window_sdl(owner), caption.c_str(), text.c_str(),
                                buttons.count,    buttons.buttons,   nullptr};
        int pressed = -1;
        if (SDL_ShowMessageBox(&data, &pressed) == 0) answer = pressed < 0 ? buttons.dismissed : pressed;
    }
    if (started_video) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return answer;
}

// Takes the next scripted answer and records the call; 0 when nothing is scripted.
int record_call(HWND owner, const char* text, const char* caption, UINT type)
{
    std::lock_guard lock(g_seam_lock);
    g_calls.push_back({owner, text ? text : "", caption ? caption : "", type});
    if (g_scripted_answers.empty()) return 0;
    int answer = g_scripted_answers.front();
    g_scripted_answers.pop_front();
    return answer;
}

} // namespace

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type)
{
    if (int scripted = record_call(owner, text, caption, type)) return scripted;
    std::string utf8_text = sjis_to_utf8(text ? text : "");
    std::string utf8_caption = sjis_to_utf8(caption ? caption : "");
    if (int answer = show_dialog(owner, utf8_text, utf8_caption, type)) return answer;
    std::fprintf(stderr, "%s: %s\n", utf8_caption.c_str(), utf8_text.c_str());
    std::fflush(stderr);
    return buttons_for(type).buttons[0].buttonid;
}

void seam_message_box_answer(int answer)
{
    std::lock_guard lock(g_seam_lock);
    g_scripted_answers.push_back(answer);
}

std::vector<MessageBoxCall> seam_message_boxes()
{
    std::lock_guard lock(g_seam_lock);
    return g_calls;
}

void seam_message_boxes_clear()
{
    std::lock_guard lock(g_seam_lock);
    g_calls.clear();
    g_scripted_answers.clear();
}
