#include "platform/impl/win_ipc.h"

#include "platform/impl/mbcs.h"
#include "platform/impl/runtime_dir.h"
#include "platform/impl/window_internal.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::uint32_t k_magic = 0x4B57494E; // "KWIN"
constexpr int k_io_timeout_ms = 5000;
constexpr char k_window_prefix[] = "kro.window.";

std::string handle_text(HWND window)
{
    char text[24];
    std::snprintf(text, sizeof text, "%016" PRIxPTR, reinterpret_cast<std::uintptr_t>(window));
    return text;
}

// The socket of a window of the class: the class part is escaped by runtime_object_path, and the
// handle is joined with '.', which escaping never produces, so no class can pose as another.
std::string socket_path(std::string_view class_name, HWND window)
{
    std::string base = runtime_object_path("window", mbcs_fold_case(class_name));
    if (base.empty()) return {};
    return base + '.' + handle_text(window);
}

bool fill_address(const std::string& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

void set_timeouts(int fd, int milliseconds)
{
    timeval limit{milliseconds / 1000, (milliseconds % 1000) * 1000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

bool send_all(int fd, const void* data, std::size_t size)
{
    auto bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t sent = send(fd, bytes, size, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes += sent;
        size -= static_cast<std::size_t>(sent);
    }
    return true;
}

bool receive_all(int fd, void* data, std::size_t size)
{
    auto bytes = static_cast<char*>(data);
    while (size > 0) {
        ssize_t got = recv(fd, bytes, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

bool peer_is_same_user(int fd)
{
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) == 0 && credentials.uid == getuid();
}

// Accepts requests for every published window of the process on one thread, started with the
// first window and stopped (sockets removed) when the process ends.
class TransportServer {
public:
    ~TransportServer()
    {
        {
            std::lock_guard lock(m_lock);
            m_stopping = true;
        }
        wake();
        if (m_thread.joinable()) m_thread.join();
        for (auto& [window, listener] : m_listeners) {
            close(listener.fd);
            unlink(listener.path.c_str());
        }
        for (int fd : m_closing)
            close(fd);
        if (m_control >= 0) close(m_control);
    }

    bool publish(HWND window, std::string path)
    {
        // Bound and listening under a name no caller looks for, then renamed into place: a
        // caller that found the socket before it listened would take it for a dead one.
        std::string unready = path + ".new";
        sockaddr_un address;
        if (!fill_address(unready, address)) return false;
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) return false;
        unlink(unready.c_str());
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            chmod(unready.c_str(), 0600) != 0 || listen(fd, 16) != 0 ||
            rename(unready.c_str(), path.c_str()) != 0) {
            int error = errno;
            close(fd);
            unlink(unready.c_str());
            errno = error;
            return false;
        }
        std::lock_guard lock(m_lock);
        if (!start_locked()) {
            close(fd);
            unlink(path.c_str());
            return false;
        }
        m_listeners[window] = {fd, std::move(path)};
        wake();
        return true;
    }

    void unpublish(HWND window)
    {
        std::lock_guard lock(m_lock);
        auto found = m_listeners.find(window);
        if (found == m_listeners.end()) return;
        unlink(found->second.path.c_str());
        // The thread may be polling the socket: it closes it itself once it has let go.
        m_closing.push_back(found->second.fd);
        m_listeners.erase(found);
        wake();
    }

private:
    struct Listener {
        int fd;
        std::string path;
    };

    bool start_locked()
    {
        if (m_thread.joinable()) return true;
        m_control = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (m_control < 0) return false;
        m_thread = std::thread([this] { run(); });
        return true;
    }

    void wake()
    {
        std::uint64_t one = 1;
        if (m_control >= 0) (void)!write(m_control, &one, sizeof one);
    }

    void run()
    {
        std::vector<pollfd> fds;
        std::vector<HWND> windows;
        for (;;) {
            {
                std::lock_guard lock(m_lock);
                if (m_stopping) return;
                for (int fd : m_closing)
                    close(fd);
                m_closing.clear();
                fds.assign(1, pollfd{m_control, POLLIN, 0});
                windows.assign(1, nullptr);
                for (auto& [window, listener] : m_listeners) {
                    fds.push_back({listener.fd, POLLIN, 0});
                    windows.push_back(window);
                }
            }
            if (poll(fds.data(), fds.size(), -1) < 0) continue;
            if (fds[0].revents) {
                std::uint64_t count;
                (void)!read(m_control, &count, sizeof count);
            }
            for (std::size_t i = 1; i < fds.size(); ++i)
                if (fds[i].revents & POLLIN) accept_from(fds[i].fd, windows[i]);
        }
    }

    static void accept_from(int listener, HWND window)
    {
        int connection = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) return;
        set_timeouts(connection, k_io_timeout_ms);
        IpcRequest request{};
        bool taken = false;
        if (peer_is_same_user(connection) && receive_all(connection, &request, sizeof request) &&
            request.magic == k_magic)
            taken = window_serve_request(window, request, connection);
        if (!taken) close(connection);
    }

    std::mutex m_lock;
    std::map<HWND, Listener> m_listeners;
    std::vector<int> m_closing;
    int m_control = -1;
    bool m_stopping = false;
    std::thread m_thread;
};

// Constructed on first use, so it is destroyed before the window layer's tables it calls into.
TransportServer& transport_server()
{
    static TransportServer server;
    return server;
}

// Where other processes' windows were last seen, so a handle finds its socket again.
std::mutex g_known_lock;
std::map<HWND, std::string> g_known_sockets;

void remember_socket(HWND window, std::string path)
{
    std::lock_guard lock(g_known_lock);
    g_known_sockets[window] = std::move(path);
}

void forget_socket(HWND window)
{
    std::lock_guard lock(g_known_lock);
    g_known_sockets.erase(window);
}

// Calls visit(file name, handle) for every window socket in the runtime folder.
template <class Visit> void scan_window_sockets(const std::string& folder, Visit visit)
{
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (dirent* entry = readdir(dir)) {
        std::string_view name = entry->d_name;
        if (!name.starts_with(k_window_prefix)) continue;
        std::size_t dot = name.rfind('.');
        std::string_view hex = name.substr(dot + 1);
        if (hex.size() != 16) continue;
        std::uintptr_t value = 0;
        if (std::sscanf(std::string(hex).c_str(), "%" SCNxPTR, &value) != 1 || value == 0) continue;
        visit(name, reinterpret_cast<HWND>(value));
    }
    closedir(dir);
}

std::string find_socket(HWND window)
{
    {
        std::lock_guard lock(g_known_lock);
        auto found = g_known_sockets.find(window);
        if (found != g_known_sockets.end()) return found->second;
    }
    std::string folder = runtime_dir();
    if (folder.empty()) return {};
    std::string path;
    scan_window_sockets(folder, [&](std::string_view name, HWND handle) {
        if (handle == window) path = folder + '/' + std::string(name);
    });
    if (!path.empty()) remember_socket(window, path);
    return path;
}

// A connected socket to the window, or -1; a socket nobody listens on any more is removed.
int connect_window(HWND window)
{
    std::string path = find_socket(window);
    sockaddr_un address;
    if (!fill_address(path, address)) return -1;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    set_timeouts(fd, k_io_timeout_ms);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    if (errno == ECONNREFUSED) unlink(path.c_str());
    close(fd);
    forget_socket(window);
    return -1;
}

IpcRequest make_request(HWND window, IpcKind kind, UINT message, WPARAM wparam, LPARAM lparam,
                        int show_command)
{
    IpcRequest request{};
    request.magic = k_magic;
    request.kind = static_cast<std::uint32_t>(kind);
    request.window = reinterpret_cast<std::uintptr_t>(window);
    request.message = message;
    request.show_command = show_command;
    request.wparam = wparam;
    request.lparam = lparam;
    return request;
}

bool read_reply(int fd, IpcReply& reply)
{
    if (!receive_all(fd, &reply, sizeof reply) || reply.magic != k_magic) return false;
    reply.class_name[sizeof reply.class_name - 1] = '\0';
    reply.title[sizeof reply.title - 1] = '\0';
    return true;
}

} // namespace

IpcReply ipc_reply_refused()
{
    IpcReply reply{};
    reply.magic = k_magic;
    return reply;
}

bool ipc_publish(HWND window, std::string_view class_name)
{
    std::string path = socket_path(class_name, window);
    if (path.empty()) return false;
    return transport_server().publish(window, std::move(path));
}

void ipc_unpublish(HWND window)
{
    transport_server().unpublish(window);
}

bool ipc_answer(int connection, const IpcReply& reply)
{
    return send_all(connection, &reply, sizeof reply);
}

void ipc_answer_send(int connection, LRESULT result)
{
    IpcReply reply = ipc_reply_refused();
    reply.ok = 1;
    reply.result = result;
    ipc_answer(connection, reply);
    close(connection);
}

std::vector<HWND> ipc_list_windows(const char* class_name)
{
    std::string folder = runtime_dir();
    if (folder.empty()) return {};
    std::string prefix = k_window_prefix;
    if (class_name) {
        std::string base = runtime_object_path("window", mbcs_fold_case(class_name));
        if (base.empty()) return {};
        prefix = base.substr(folder.size() + 1) + '.';
    }
    std::vector<HWND> windows;
    scan_window_sockets(folder, [&](std::string_view name, HWND window) {
        if (!name.starts_with(prefix) || (class_name && name.size() != prefix.size() + 16)) return;
        if (window_handle_process(window) == static_cast<DWORD>(getpid())) return;
        remember_socket(window, folder + '/' + std::string(name));
        windows.push_back(window);
    });
    // Handles grow with the process number and the window's serial: newest first.
    std::sort(windows.begin(), windows.end(), std::greater<>());
    return windows;
}

std::optional<IpcReply> ipc_request(HWND window, IpcKind kind, UINT message, WPARAM wparam, LPARAM lparam,
                                    int show_command)
{
    int fd = connect_window(window);
    if (fd < 0) return std::nullopt;
    IpcRequest request = make_request(window, kind, message, wparam, lparam, show_command);
    IpcReply reply;
    bool answered = send_all(fd, &request, sizeof request) && read_reply(fd, reply);
    close(fd);
    if (!answered) return std::nullopt;
    return reply;
}

std::optional<LRESULT> ipc_send(HWND window, UINT message, WPARAM wparam, LPARAM lparam, int wake_fd,
                                const std::function<void()>& on_wake)
{
    int fd = connect_window(window);
    if (fd < 0) return std::nullopt;
    IpcRequest request = make_request(window, IpcKind::send, message, wparam, lparam, 0);
    if (!send_all(fd, &request, sizeof request)) {
        close(fd);
        return std::nullopt;
    }
    // The receiver answers when its thread gets to it: wait as long as it takes, serving our
    // own windows meanwhile so two programs sending to each other cannot lock up.
    pollfd fds[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (fds[1].revents & POLLIN) on_wake();
        if (fds[0].revents) break;
    }
    IpcReply reply;
    bool answered = read_reply(fd, reply);
    close(fd);
    return answered && reply.ok ? reply.result : 0;
}
