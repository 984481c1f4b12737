// Hands a fatal error's text to a desktop-mascot program on this machine, which listens for
// SSTP/1.1 requests. The error display calls it first when "SSTPEnable" is on.
#pragma once

#include "platform/win_types.h"

#include <cstddef>
#include <cstdint>

constexpr char SSTP_HOST[] = "127.0.0.1";
constexpr std::uint16_t SSTP_PORT = 9801;
constexpr std::size_t SSTP_SCRIPT_SIZE = 1024; // at most 1023 bytes and the terminator
// Bounds connecting, sending and waiting for the reply, so a mute listener cannot hold us up.
constexpr DWORD SSTP_TIMEOUT_MS = 3000;

// Starts Winsock, sends the (Shift-JIS) text as one "SEND" request and cleans up: 0 when the
// request was sent, else E_FAIL.
HRESULT sstp_send_message(const char* text);

// The script that shows a text: "\h\s0" followed by the text with '\', LF, CR and tab written
// as "\\", "\n", "\r" and "\t", cut to the buffer without splitting an escape or a
// double-byte character (whose trail byte may be '\' and is copied as it is).
void sstp_build_script(const char* text, char (&script)[SSTP_SCRIPT_SIZE]);

// Sends a script to the mascot program at 127.0.0.1:9801 and reads its reply away. E_FAIL
// without connecting when no mascot runs (neither the mutex "sakura" nor "ssp" exists), or when
// the connection or the send fails; a reply that never comes does not count as a failure.
// Winsock must be started.
HRESULT sstp_send_request(const char* script);
