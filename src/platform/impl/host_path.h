// The boundary between the program's paths and the host's. The program speaks Windows paths
// (Shift-JIS, '\' or '/', any case); the host file system speaks UTF-8 with '/'.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The host path of a program path: separators become '/', a leading separator is the root,
// and each component that does not exist as spelled is matched case-insensitively (ASCII)
// against its folder; from the first component that matches nothing on, the spelling is kept,
// so new files and folders get the case the program gives.
std::string host_path_from_windows(std::string_view path);

// The program's form of a host path: '/' becomes '\', UTF-8 becomes Shift-JIS. Empty, with a
// line on standard error naming the path, when Shift-JIS cannot express a character.
std::optional<std::string> host_path_to_windows(std::string_view host_path);

// The line on standard error for a host text (UTF-8) refused at the boundary.
void host_path_report_refused(std::string_view text);
