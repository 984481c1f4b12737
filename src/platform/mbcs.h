// Double-byte awareness of the ANSI code page (Shift-JIS) for the platform's own text handling.
#pragma once

// True for the first byte of a two-byte Shift-JIS character: its partner may be any byte from
// 0x40 on, including '\\' and letters, so it must never be read on its own.
constexpr bool mbcs_is_lead_byte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
