#include "platform/win_crt.h"

#include "platform/impl/host_path.h"
#include "platform/impl/sjis.h"

#include <cerrno>
#include <string>
#include <vector>

int g_crt_argc = 0;
char** g_crt_argv = nullptr;

namespace {
std::vector<std::string> g_arguments;
std::vector<char*> g_argument_pointers;
} // namespace

void crt_set_arguments(int argc, char** argv)
{
    g_arguments.clear();
    for (int i = 0; i < argc; ++i) {
        // An argument Shift-JIS cannot express keeps its bytes; the program then refuses it by name.
        std::string host = argv[i];
        g_arguments.push_back(utf8_to_sjis(host).value_or(host));
    }
    g_argument_pointers.clear();
    for (std::string& argument : g_arguments)
        g_argument_pointers.push_back(argument.data());
    g_argument_pointers.push_back(nullptr);
    g_crt_argc = argc;
    g_crt_argv = g_argument_pointers.data();
}

errno_t fopen_s(FILE** file, const char* path, const char* mode)
{
    if (!file) return EINVAL;
    *file = nullptr;
    if (!path || !mode) return EINVAL;
    *file = std::fopen(host_path_from_windows(path).c_str(), mode);
    return *file ? 0 : errno;
}
