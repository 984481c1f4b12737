#include "platform/win_sock.h"

#include "platform/impl/host_socket.h"
#include "platform/impl/seams_internal.h"
#include "platform/impl/win_handles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr WORD k_highest_version = 0x0202;
constexpr std::uint32_t k_loopback = 0x0100007F; // 127.0.0.1 in network byte order

std::mutex g_sock_lock;
int g_startups = 0;
std::set<int> g_sockets;

// The record gethostbyname returns, one per thread as on the platform.
struct HostRecord {
    hostent entry{};
    std::string name;
    std::vector<std::uint32_t> addresses;
    std::vector<char*> address_list;
    char* no_aliases[1] = {nullptr};
};
thread_local HostRecord t_host;

int wsa_error_from_errno(int error)
{
    switch (error) {
    case EINTR:
        return WSAEINTR;
    case EACCES:
    case EPERM:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EBADF:
    case ENOTSOCK:
        return WSAENOTSOCK;
    // A blocking call that ran into its time-out; connect reports it as still in progress.
    case EAGAIN:
    case EINPROGRESS:
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
        return WSAECONNRESET;
    case EPIPE:
        return WSAESHUTDOWN;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    default:
        return WSAEINVAL;
    }
}

template <class T = int> T fail_errno(T failure = SOCKET_ERROR)
{
    return win_fail(wsa_error_from_errno(errno), failure);
}

bool started()
{
    std::lock_guard lock(g_sock_lock);
    return g_startups > 0;
}

// The host descriptor of a socket this process opened, or -1 with the error set.
int descriptor_of(SOCKET s)
{
    std::lock_guard lock(g_sock_lock);
    if (g_startups == 0) {
        SetLastError(WSANOTINITIALISED);
        return -1;
    }
    int fd = s <= 0x7FFFFFFF ? static_cast<int>(s) : -1;
    if (!g_sockets.contains(fd)) {
        SetLastError(WSAENOTSOCK);
        return -1;
    }
    return fd;
}

std::uint16_t redirected_port(std::uint32_t address, std::uint16_t port)
{
    if (g_seam_port_from == 0 || address != k_loopback || port != htons(g_seam_port_from)) return port;
    return htons(g_seam_port_to);
}

} // namespace

int WSAStartup(WORD version, WSADATA* data)
{
    if ((version & 0xFF) == 0) return WSAVERNOTSUPPORTED;
    if (!data) return WSAEFAULT;
    *data = WSADATA{};
    WORD requested = static_cast<WORD>((version & 0xFF) << 8 | version >> 8);
    WORD highest = static_cast<WORD>((k_highest_version & 0xFF) << 8 | k_highest_version >> 8);
    data->wVersion = requested < highest ? version : k_highest_version;
    data->wHighVersion = k_highest_version;
    std::snprintf(data->szDescription, sizeof data->szDescription, "WinSock 2.0");
    std::snprintf(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
    std::lock_guard lock(g_sock_lock);
    ++g_startups;
    return 0;
}

int WSACleanup()
{
    std::set<int> closing;
    {
        std::lock_guard lock(g_sock_lock);
        if (g_startups == 0) return win_fail(WSANOTINITIALISED, SOCKET_ERROR);
        if (--g_startups == 0) closing.swap(g_sockets);
    }
    for (int fd : closing)
        host_socket_close(fd);
    return 0;
}

int WSAGetLastError()
{
    return static_cast<int>(GetLastError());
}

SOCKET socket(int family, int type, int protocol)
{
    if (!started()) return win_fail(WSANOTINITIALISED, INVALID_SOCKET);
    if (family != AF_INET) return win_fail(WSAEAFNOSUPPORT, INVALID_SOCKET);
    if (type != SOCK_STREAM) return win_fail(WSAESOCKTNOSUPPORT, INVALID_SOCKET);
    if (protocol != 0 && protocol != IPPROTO_TCP) return win_fail(WSAEPROTONOSUPPORT, INVALID_SOCKET);
    int fd = host_socket_open_tcp();
    if (fd < 0) return fail_errno(INVALID_SOCKET);
    std::lock_guard lock(g_sock_lock);
    g_sockets.insert(fd);
    return static_cast<SOCKET>(fd);
}

std::uint32_t inet_addr(const char* text)
{
    if (!text) return INADDR_NONE;
    return host_parse_ipv4(text).value_or(INADDR_NONE);
}

hostent* gethostbyname(const char* name)
{
    if (!started()) return win_fail<hostent*>(WSANOTINITIALISED, nullptr);
    if (!name) return win_fail<hostent*>(WSAEFAULT, nullptr);
    std::vector<std::uint32_t> found = host_resolve_ipv4(name);
    if (found.empty()) return win_fail<hostent*>(WSAHOST_NOT_FOUND, nullptr);
    HostRecord& record = t_host;
    record.name = name;
    record.addresses.assign(found.begin(), found.end());
    record.address_list.clear();
    for (std::uint32_t& address : record.addresses)
        record.address_list.push_back(reinterpret_cast<char*>(&address));
    record.address_list.push_back(nullptr);
    record.entry = hostent{record.name.data(), record.no_aliases, AF_INET, sizeof(std::uint32_t),
                           record.address_list.data()};
    return &record.entry;
}

std::uint16_t htons(std::uint16_t value)
{
    return static_cast<std::uint16_t>(value >> 8 | value << 8);
}

int connect(SOCKET s, const sockaddr* name, int name_length)
{
    int fd = descriptor_of(s);
    if (fd < 0) return SOCKET_ERROR;
    if (!name || name_length < static_cast<int>(sizeof(sockaddr_in)))
        return win_fail(WSAEFAULT, SOCKET_ERROR);
    if (name->sa_family != AF_INET) return win_fail(WSAEAFNOSUPPORT, SOCKET_ERROR);
    sockaddr_in target;
    std::memcpy(&target, name, sizeof target);
    std::uint16_t port = redirected_port(target.sin_addr.s_addr, target.sin_port);
    return host_socket_connect(fd, target.sin_addr.s_addr, port) ? 0 : fail_errno();
}

int send(SOCKET s, const char* buffer, int length, int flags)
{
    int fd = descriptor_of(s);
    if (fd < 0) return SOCKET_ERROR;
    if (length < 0 || (length > 0 && !buffer)) return win_fail(WSAEFAULT, SOCKET_ERROR);
    if (flags != 0) return win_fail(WSAEOPNOTSUPP, SOCKET_ERROR);
    long sent = host_socket_send(fd, buffer, static_cast<std::size_t>(length));
    return sent < 0 ? fail_errno() : static_cast<int>(sent);
}

int recv(SOCKET s, char* buffer, int length, int flags)
{
    int fd = descriptor_of(s);
    if (fd < 0) return SOCKET_ERROR;
    if (length < 0 || (length > 0 && !buffer)) return win_fail(WSAEFAULT, SOCKET_ERROR);
    if (flags != 0) return win_fail(WSAEOPNOTSUPP, SOCKET_ERROR);
    long got = host_socket_recv(fd, buffer, static_cast<std::size_t>(length));
    return got < 0 ? fail_errno() : static_cast<int>(got);
}

int setsockopt(SOCKET s, int level, int option, const char* value, int value_length)
{
    int fd = descriptor_of(s);
    if (fd < 0) return SOCKET_ERROR;
    if (level != SOL_SOCKET || (option != SO_RCVTIMEO && option != SO_SNDTIMEO))
        return win_fail(WSAENOPROTOOPT, SOCKET_ERROR);
    if (!value || value_length < static_cast<int>(sizeof(DWORD))) return win_fail(WSAEFAULT, SOCKET_ERROR);
    DWORD milliseconds;
    std::memcpy(&milliseconds, value, sizeof milliseconds);
    return host_socket_set_timeout(fd, option == SO_RCVTIMEO, milliseconds) ? 0 : fail_errno();
}

int shutdown(SOCKET s, int how)
{
    int fd = descriptor_of(s);
    if (fd < 0) return SOCKET_ERROR;
    if (how != SD_RECEIVE && how != SD_SEND && how != SD_BOTH) return win_fail(WSAEINVAL, SOCKET_ERROR);
    return host_socket_shutdown(fd, how) ? 0 : fail_errno();
}

int closesocket(SOCKET s)
{
    int fd = descriptor_of(s);
    if (fd < 0) return SOCKET_ERROR;
    {
        std::lock_guard lock(g_sock_lock);
        g_sockets.erase(fd);
    }
    return host_socket_close(fd) ? 0 : fail_errno();
}
