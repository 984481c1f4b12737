#include "platform/win_process.h"

#include "platform/impl/host_path.h"
#include "platform/impl/mbcs.h"
#include "platform/impl/sjis.h"
#include "platform/impl/win_handles.h"
#include "platform/impl/win_process_internal.h"
#include "platform/impl/window_seams.h"
#include "platform/win_file.h"

#include <cerrno>
#include <dirent.h>
#include <memory>
#include <mutex>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

std::mutex g_folder_lock;
std::string g_program_folder; // set by tests

// A started program; whoever lets go of it last makes sure it is reaped once it ends.
class ChildProcess {
public:
    explicit ChildProcess(pid_t pid) : m_pid(pid) {}
    ~ChildProcess()
    {
        if (waitpid(m_pid, nullptr, WNOHANG) == 0)
            std::thread([pid = m_pid] { waitpid(pid, nullptr, 0); }).detach();
    }

private:
    pid_t m_pid;
};

struct ProcessHandle : HandleObject {
    std::shared_ptr<ChildProcess> child;
};

struct ThreadHandle : HandleObject {
    std::shared_ptr<ChildProcess> child;
};

bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// Appends one character at p (two bytes for a double-byte one) and returns what follows it.
std::size_t take_character(std::string_view text, std::size_t p, std::string& out)
{
    std::size_t length =
        mbcs_is_lead_byte(static_cast<unsigned char>(text[p])) && p + 1 < text.size() ? 2 : 1;
    out.append(text.substr(p, length));
    return p + length;
}

std::string program_folder()
{
    {
        std::lock_guard lock(g_folder_lock);
        if (!g_program_folder.empty()) return g_program_folder;
    }
    char path[4096];
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) return {};
    std::string host = host_path_from_windows(path);
    return host.substr(0, host.rfind('/'));
}

std::string without_exe(std::string name)
{
    if (name.size() > 4 && mbcs_fold_case(name.substr(name.size() - 4)) == ".exe")
        name.resize(name.size() - 4);
    return name;
}

bool is_regular_file(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The host file of a program name: beside the running program for a bare name, else where the
// path says; empty when there is none.
std::string program_file(const std::string& module)
{
    if (module.find_first_of("\\/") != std::string::npos) {
        std::string path = host_path_from_windows(without_exe(module));
        return is_regular_file(path) ? path : std::string();
    }
    std::string folder = program_folder();
    std::string wanted = mbcs_fold_case(without_exe(module));
    DIR* dir = folder.empty() ? nullptr : opendir(folder.c_str());
    if (!dir) return {};
    std::string found;
    while (dirent* entry = readdir(dir)) {
        std::string path = folder + '/' + entry->d_name;
        if (mbcs_fold_case(entry->d_name) == wanted && is_regular_file(path)) {
            found = path;
            break;
        }
    }
    closedir(dir);
    return found;
}

// posix_spawn with the arguments, the current folder, and no open file but the standard streams.
int spawn(const std::string& file, const std::vector<std::string>& arguments, const char* current_dir,
          pid_t& pid)
{
    std::vector<std::string> host_arguments;
    for (const std::string& argument : arguments)
        host_arguments.push_back(sjis_to_utf8(argument));
    std::vector<char*> argv;
    for (std::string& argument : host_arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    std::string folder;
    if (current_dir) {
        folder = host_path_from_windows(current_dir);
        posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    }
    int error = posix_spawn(&pid, file.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error;
}

} // namespace

std::vector<std::string> cmdline_split(std::string_view line)
{
    std::vector<std::string> arguments;
    std::size_t p = 0;
    std::string program;
    bool quoted = false;
    while (p < line.size() && (quoted || !is_blank(line[p]))) {
        if (line[p] == '"') {
            quoted = !quoted;
            ++p;
        } else {
            p = take_character(line, p, program);
        }
    }
    arguments.push_back(program);

    for (;;) {
        while (p < line.size() && is_blank(line[p]))
            ++p;
        if (p >= line.size()) break;
        std::string argument;
        quoted = false;
        while (p < line.size() && (quoted || !is_blank(line[p]))) {
            std::size_t slashes = 0;
            while (p < line.size() && line[p] == '\\') {
                ++slashes;
                ++p;
            }
            if (p < line.size() && line[p] == '"') {
                argument.append(slashes / 2, '\\');
                if (slashes % 2) {
                    argument += '"';
                } else if (quoted && p + 1 < line.size() && line[p + 1] == '"') {
                    argument += '"';
                    ++p;
                } else {
                    quoted = !quoted;
                }
                ++p;
            } else {
                argument.append(slashes, '\\');
                if (p < line.size() && (quoted || !is_blank(line[p]))) p = take_character(line, p, argument);
            }
        }
        arguments.push_back(std::move(argument));
    }
    return arguments;
}

BOOL CreateProcessA(const char* application, char* command_line, void*, void*, BOOL, DWORD creation_flags,
                    void* environment, const char* current_dir, STARTUPINFOA* startup,
                    PROCESS_INFORMATION* info)
{
    if (!startup || !info || (!application && !command_line) || creation_flags || environment)
        return win_fail(ERROR_INVALID_PARAMETER);
    std::vector<std::string> arguments = cmdline_split(command_line ? command_line : application);
    std::string file = program_file(application ? application : arguments.front());
    if (file.empty()) return win_fail(ERROR_FILE_NOT_FOUND);

    pid_t pid = 0;
    if (int error = spawn(file, arguments, current_dir, pid)) return win_fail(win_error_from_errno(error));
    auto child = std::make_shared<ChildProcess>(pid);
    auto process = std::make_shared<ProcessHandle>();
    process->child = child;
    auto thread = std::make_shared<ThreadHandle>();
    thread->child = child;
    HANDLE process_handle = handle_add(process);
    HANDLE thread_handle = process_handle ? handle_add(thread) : nullptr;
    if (!thread_handle) {
        if (process_handle) handle_close(process_handle);
        return FALSE; // the child runs on; the caller learns the table is full
    }
    *info = {process_handle, thread_handle, static_cast<DWORD>(pid), static_cast<DWORD>(pid)};
    return TRUE;
}

void seam_set_program_folder(std::string host_folder)
{
    std::lock_guard lock(g_folder_lock);
    g_program_folder = std::move(host_folder);
}
