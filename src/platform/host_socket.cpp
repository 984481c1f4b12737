#include "platform/impl/host_socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

int host_socket_open_tcp()
{
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
}

bool host_socket_connect(int fd, std::uint32_t address, std::uint16_t port)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = port;
    target.sin_addr.s_addr = address;
    int result;
    do
        result = ::connect(fd, reinterpret_cast<const sockaddr*>(&target), sizeof target);
    while (result != 0 && errno == EINTR);
    return result == 0;
}

long host_socket_send(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        ssize_t sent = ::send(fd, bytes + done, size - done, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0) return done ? static_cast<long>(done) : -1;
        done += static_cast<std::size_t>(sent);
    }
    return static_cast<long>(done);
}

long host_socket_recv(int fd, void* data, std::size_t size)
{
    ssize_t got;
    do
        got = ::recv(fd, data, size, 0);
    while (got < 0 && errno == EINTR);
    return static_cast<long>(got);
}

bool host_socket_set_timeout(int fd, bool receive, std::uint32_t milliseconds)
{
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(milliseconds / 1000);
    limit.tv_usec = static_cast<suseconds_t>(milliseconds % 1000 * 1000);
    return setsockopt(fd, SOL_SOCKET, receive ? SO_RCVTIMEO : SO_SNDTIMEO, &limit, sizeof limit) == 0;
}

bool host_socket_shutdown(int fd, int how)
{
    static_assert(SHUT_RD == 0 && SHUT_WR == 1 && SHUT_RDWR == 2);
    return ::shutdown(fd, how) == 0;
}

bool host_socket_close(int fd)
{
    return ::close(fd) == 0;
}

std::optional<std::uint32_t> host_parse_ipv4(const char* text)
{
    in_addr address{};
    if (inet_aton(text, &address) == 0) return std::nullopt;
    return address.s_addr;
}

std::vector<std::uint32_t> host_resolve_ipv4(const char* name)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::vector<std::uint32_t> addresses;
    if (getaddrinfo(name, nullptr, &hints, &found) != 0) return addresses;
    for (addrinfo* entry = found; entry; entry = entry->ai_next)
        addresses.push_back(reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr.s_addr);
    freeaddrinfo(found);
    return addresses;
}
