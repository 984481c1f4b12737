#include "core/sstp.h"

#include "core/text.h"
#include "platform/win_kernel.h"
#include "platform/win_sock.h"
#include "platform/win_sync.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char k_sender[] = "Kro_win";
constexpr char k_script_start[] = "\\h\\s0";
constexpr char k_request_format[] = "SEND SSTP/1.1\r\nSender: %s\r\nScript: %s\\e\r\n%sCharset: SJIS\r\n\r\n";
constexpr std::size_t k_request_size = SSTP_SCRIPT_SIZE + 128;
constexpr int k_reply_piece = 200;

bool mascot_running()
{
    HANDLE mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "sakura");
    if (!mutex) mutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, "ssp");
    if (!mutex) return false;
    CloseHandle(mutex);
    return true;
}

// The escape of one single-byte character, or null when it is copied as it is.
const char* escape_of(char c)
{
    switch (c) {
    case '\\':
        return "\\\\";
    case '\n':
        return "\\n";
    case '\r':
        return "\\r";
    case '\t':
        return "\\t";
    default:
        return nullptr;
    }
}

std::uint32_t host_address()
{
    std::uint32_t address = inet_addr(SSTP_HOST);
    if (address != INADDR_NONE) return address;
    hostent* host = gethostbyname(SSTP_HOST);
    if (!host || !host->h_addr_list[0]) return INADDR_NONE;
    std::memcpy(&address, host->h_addr_list[0], sizeof address);
    return address;
}

bool set_timeouts(SOCKET s)
{
    const DWORD limit = SSTP_TIMEOUT_MS;
    const char* value = reinterpret_cast<const char*>(&limit);
    return setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, value, sizeof limit) == 0 &&
           setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, value, sizeof limit) == 0;
}

bool connect_to_mascot(SOCKET s)
{
    std::uint32_t address = host_address();
    if (address == INADDR_NONE) return false;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(SSTP_PORT);
    target.sin_addr.s_addr = address;
    return connect(s, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0;
}

// The reply means nothing to us; read it until the peer closes, an error or the time limit.
void discard_reply(SOCKET s)
{
    char piece[k_reply_piece];
    DWORD start = timeGetTime();
    while (recv(s, piece, sizeof piece, 0) > 0 && timeGetTime() - start < SSTP_TIMEOUT_MS) {
    }
}

} // namespace

void sstp_build_script(const char* text, char (&script)[SSTP_SCRIPT_SIZE])
{
    std::size_t length = std::strlen(k_script_start);
    std::memcpy(script, k_script_start, length);
    for (const char* c = text; *c;) {
        const char* escape = escape_of(*c);
        bool pair = sys_is_lead_byte(*c);
        if (pair && !c[1]) break;
        const char* piece = escape ? escape : c;
        std::size_t size = escape || pair ? 2 : 1;
        if (length + size >= SSTP_SCRIPT_SIZE) break;
        std::memcpy(script + length, piece, size);
        length += size;
        c += pair ? 2 : 1;
    }
    script[length] = '\0';
}

HRESULT sstp_send_request(const char* script)
{
    if (!mascot_running()) return E_FAIL;
    char request[k_request_size];
    int length = std::snprintf(request, sizeof request, k_request_format, k_sender, script, "");
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof request) return E_FAIL;

    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    if (s == INVALID_SOCKET) return E_FAIL;
    if (!set_timeouts(s) || !connect_to_mascot(s)) {
        closesocket(s);
        return E_FAIL;
    }
    HRESULT result = send(s, request, length, 0) == length ? S_OK : E_FAIL;
    discard_reply(s);
    shutdown(s, SD_BOTH);
    closesocket(s);
    return result;
}

HRESULT sstp_send_message(const char* text)
{
    WSADATA data;
    if (WSAStartup(0x0101, &data) != 0) return E_FAIL;
    char script[SSTP_SCRIPT_SIZE];
    sstp_build_script(text ? text : "", script);
    HRESULT result = sstp_send_request(script);
    WSACleanup();
    return result;
}
