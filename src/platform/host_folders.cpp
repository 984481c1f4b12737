#include "platform/impl/host_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

std::optional<std::string> host_home_folder()
{
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home);
    if (const passwd* entry = getpwuid(geteuid()); entry && entry->pw_dir) return std::string(entry->pw_dir);
    return std::nullopt;
}

std::optional<std::string> host_xdg_folder(const char* variable, const char* below_home)
{
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return std::string(value);
    auto home = host_home_folder();
    if (!home) return std::nullopt;
    return *home + below_home;
}

std::optional<std::string> host_data_home()
{
    return host_xdg_folder("XDG_DATA_HOME", "/.local/share");
}
