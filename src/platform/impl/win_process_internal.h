// What the process stand-in shares with its tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Splits a command line into arguments by the platform's rules: the program name ends at the
// first blank or tab outside quotes, and its quotes are dropped; in the arguments, blanks and
// tabs outside quotes separate (line breaks do not), quotes are removed, "" inside quotes is a
// quote, 2n backslashes before a quote are n backslashes and 2n+1 are n and a literal quote,
// other backslashes are themselves. Double-byte (Shift-JIS) characters are taken whole, so a
// trail byte 0x5C is never a backslash.
std::vector<std::string> cmdline_split(std::string_view command_line);
