// The Winsock 1.1 calls the program makes, over the host's sockets: TCP over IPv4 with blocking
// calls. Errors come back as the platform reports them (SOCKET_ERROR or INVALID_SOCKET, the
// code in WSAGetLastError). Every call but inet_addr and htons needs WSAStartup first.
#pragma once

#include "platform/win_types.h"

#include <cstdint>

using SOCKET = std::uintptr_t;

constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
constexpr int SOCKET_ERROR = -1;

constexpr int AF_INET = 2;
constexpr int SOCK_STREAM = 1;
constexpr int IPPROTO_TCP = 6;
constexpr std::uint32_t INADDR_NONE = 0xFFFFFFFF;

// Time-outs are DWORD milliseconds, 0 = none. On this host the send time-out also bounds connect.
constexpr int SOL_SOCKET = 0xFFFF;
constexpr int SO_SNDTIMEO = 0x1005;
constexpr int SO_RCVTIMEO = 0x1006;

constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

constexpr int WSAEINTR = 10004;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;

constexpr int WSADESCRIPTION_LEN = 256;
constexpr int WSASYS_STATUS_LEN = 128;

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[WSADESCRIPTION_LEN + 1];
    char szSystemStatus[WSASYS_STATUS_LEN + 1];
    unsigned short iMaxSockets;
    unsigned short iMaxUdpDg;
    char* lpVendorInfo;
};

struct in_addr {
    std::uint32_t s_addr; // network byte order
};

struct sockaddr {
    std::uint16_t sa_family;
    char sa_data[14];
};

struct sockaddr_in {
    short sin_family;
    std::uint16_t sin_port; // network byte order
    in_addr sin_addr;
    char sin_zero[8];
};

struct hostent {
    char* h_name;
    char** h_aliases;
    short h_addrtype;
    short h_length;
    char** h_addr_list; // null-terminated list of h_length-byte addresses
};

using SOCKADDR = sockaddr;
using SOCKADDR_IN = sockaddr_in;
using HOSTENT = hostent;

// version: major in the low byte, minor in the high byte. Returns 0 or the error code itself.
int WSAStartup(WORD version, WSADATA* data);
// The last cleanup of the process closes the sockets still open.
int WSACleanup();
int WSAGetLastError();

SOCKET socket(int family, int type, int protocol);
// The address of a dotted text in network byte order; INADDR_NONE when it is not one.
std::uint32_t inet_addr(const char* text);
// A record that stays valid on this thread until its next call; null (WSAHOST_NOT_FOUND) when
// the name has no IPv4 address.
hostent* gethostbyname(const char* name);
std::uint16_t htons(std::uint16_t value);
int connect(SOCKET s, const sockaddr* name, int name_length);
// Blocks until the whole buffer is sent, or fails (WSAETIMEDOUT after the send time-out).
int send(SOCKET s, const char* buffer, int length, int flags);
// 0 when the peer closed the connection; WSAETIMEDOUT after the receive time-out.
int recv(SOCKET s, char* buffer, int length, int flags);
int setsockopt(SOCKET s, int level, int option, const char* value, int value_length);
int shutdown(SOCKET s, int how);
int closesocket(SOCKET s);
