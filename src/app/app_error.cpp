#include "app/app_error.h"

#include "app/app_entry.h"
#include "app/app_settings.h"
#include "core/sstp.h"
#include "core/sys.h"
#include "core/text.h"
#include "platform/win_atom.h"
#include "platform/win_process.h"
#include "platform/win_user.h"
#include "platform/win_window.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* k_config_class = "ClassKroConfig";
constexpr const char* k_config_programs[] = {"config.exe", "prefs_dx9.exe"};
constexpr std::size_t k_command_line_max = 255;

bool send_to_config_window(HWND window, const char* text)
{
    sys_force_foreground(window);
    // An atom holds at most 255 characters: the text is cut there, never inside a character.
    char atom_text[ATOM_NAME_MAX + 1];
    std::size_t length = sys_copy_string(atom_text, text, sizeof atom_text);
    ATOM atom = GlobalAddAtomA(atom_text);
    SendMessageA(window, APP_MSG_ERROR_TEXT, atom, static_cast<LPARAM>(length + 1));
    GlobalDeleteAtom(atom);
    return true;
}

// "<program> -o -v"<text>"" within the platform's 255 characters: the text is cut so the
// closing quote always stays and no character is split.
void format_config_command(char (&command)[k_command_line_max + 1], const char* program, const char* text)
{
    int prefix = std::snprintf(command, sizeof command, "%s -o -v\"", program);
    std::size_t room = sizeof command - static_cast<std::size_t>(prefix) - 1; // the closing quote
    std::size_t length = sys_copy_string(command + prefix, text, room);
    std::strcpy(command + prefix + length, "\"");
}

bool start_config_program(const char* text)
{
    for (const char* program : k_config_programs) {
        char command[k_command_line_max + 1];
        format_config_command(command, program, text);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &process))
            continue;
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        return true;
    }
    return false;
}

} // namespace

bool app_send_to_config(const char* text)
{
    if (HWND window = FindWindowA(k_config_class, nullptr)) return send_to_config_window(window, text);
    return start_config_program(text);
}

void app_show_error(const char* text)
{
    if (!text || !text[0]) return;
    if (g_sstp_target.host[0] && SUCCEEDED(sstp_send_message(text))) return;
    if (app_send_to_config(text)) return;
    MessageBoxA(nullptr, text, APP_TITLE, MB_OK);
}
