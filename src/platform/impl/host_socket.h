// The host's BSD sockets behind the Winsock stand-in. The two share names (socket, inet_addr,
// hostent ...), so the stand-in never sees the host's declarations and calls these instead.
// Addresses and ports are in network byte order; failures return -1 or false with errno set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

int host_socket_open_tcp();
bool host_socket_connect(int fd, std::uint32_t address, std::uint16_t port);
// Sends everything unless an error or the send time-out stops it; never raises SIGPIPE.
long host_socket_send(int fd, const void* data, std::size_t size);
long host_socket_recv(int fd, void* data, std::size_t size);
// The time-out of blocking receives (or sends and connects) in milliseconds; 0 waits forever.
bool host_socket_set_timeout(int fd, bool receive, std::uint32_t milliseconds);
// how: 0 receiving, 1 sending, 2 both.
bool host_socket_shutdown(int fd, int how);
bool host_socket_close(int fd);

// An IPv4 address in the dotted forms the platform's inet_addr takes ("127.0.0.1", "127.1",
// "0x7f.1"), or nothing.
std::optional<std::uint32_t> host_parse_ipv4(const char* text);
// The IPv4 addresses of a host name; empty when it has none or the lookup fails.
std::vector<std::uint32_t> host_resolve_ipv4(const char* name);
