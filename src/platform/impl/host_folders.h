// The host's per-user folders, as the known-folder stand-ins and the local store find them.
#pragma once

#include <optional>
#include <string>

// $HOME when absolute, else the password database's home.
std::optional<std::string> host_home_folder();
// The XDG folder in `variable` when it is absolute (the base-directory rules ignore a relative
// one), else the home folder followed by `below_home`.
std::optional<std::string> host_xdg_folder(const char* variable, const char* below_home);
// $XDG_DATA_HOME, else ~/.local/share.
std::optional<std::string> host_data_home();
