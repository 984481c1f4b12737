// The user's private runtime folder, where the platform's named objects live (mutex lock
// files, the window-message transport). Tests point XDG_RUNTIME_DIR at a folder of their own,
// so parallel runs never see each other's objects.
#pragma once

#include <string>
#include <string_view>

// $XDG_RUNTIME_DIR when it is set to an absolute path; else "/tmp/kro-runtime-<uid>", created
// with mode 0700 and accepted only when it is a real folder owned by the user and closed to
// everyone else. Empty when no such folder can be had (errno tells why). The environment is
// read on every call.
std::string runtime_dir();

// The file of a named object of one kind ("mutex", "window" ...) in the runtime folder:
// "<dir>/kro.<kind>.<name>", the name kept case-sensitive with every byte outside [A-Za-z0-9_-]
// written as "%XX", so any object name gives one safe, distinct file name. Empty when there is
// no runtime folder or the file name would exceed the host's limit (errno ENAMETOOLONG).
std::string runtime_object_path(std::string_view kind, std::string_view name);
