// Conversion between the program's Shift-JIS texts and the host's UTF-8.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// Never fails: bytes that are not valid Shift-JIS come out as U+FFFD.
std::string sjis_to_utf8(std::string_view text);
// Empty when the text holds a character that Shift-JIS cannot express.
std::optional<std::string> utf8_to_sjis(std::string_view text);
