#include "platform/impl/runtime_dir.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

// The fallback lives in a shared /tmp, so anyone could have made it first: trust it only when
// it is our own folder and nobody else can reach into it.
static bool private_folder_ok(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return false;
    if (!S_ISDIR(info.st_mode) || info.st_uid != getuid() || (info.st_mode & 077) != 0) {
        errno = EACCES;
        return false;
    }
    return true;
}

std::string runtime_dir()
{
    const char* xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && xdg[0] == '/') return xdg;

    std::string path = "/tmp/kro-runtime-" + std::to_string(getuid());
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return {};
    if (!private_folder_ok(path)) return {};
    return path;
}

static void append_escaped(std::string& out, std::string_view name)
{
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned char c : name) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
                     c == '-';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        }
    }
}

std::string runtime_object_path(std::string_view kind, std::string_view name)
{
    std::string dir = runtime_dir();
    if (dir.empty()) return {};
    std::string file = "kro.";
    file += kind;
    file += '.';
    append_escaped(file, name);
    if (file.size() > NAME_MAX) {
        errno = ENAMETOOLONG;
        return {};
    }
    return dir + '/' + file;
}
