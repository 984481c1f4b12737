// Showing a fatal text to the user after the shutdown, by the first road that works: a
// desktop-mascot program over SSTP, the configuration program, or a message box.
#pragma once

// An empty text shows nothing.
void app_show_error(const char* text);
// Hands the text to a running configuration program's window, or starts one with it; false
// when no configuration program could be reached.
bool app_send_to_config(const char* text);

// Message to the configuration program's window: an atom holding the error text, and the
// length of that text with its terminator.
constexpr unsigned APP_MSG_ERROR_TEXT = 0x0400 + 1;
