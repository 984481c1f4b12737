// Double-byte awareness of the ANSI code page (Shift-JIS) for the platform's own text handling.
#pragma once

#include <string>
#include <string_view>

// True for the first byte of a two-byte Shift-JIS character: its partner may be any byte from
// 0x40 on, including '\\' and letters, so it must never be read on its own.
constexpr bool mbcs_is_lead_byte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// The text with ASCII letters in lower case and double-byte characters untouched, for the
// platform's case-insensitive names (window classes, titles, atoms).
inline std::string mbcs_fold_case(std::string_view text)
{
    std::string out(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        auto c = static_cast<unsigned char>(out[i]);
        if (mbcs_is_lead_byte(c))
            ++i;
        else if (c >= 'A' && c <= 'Z')
            out[i] = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}
