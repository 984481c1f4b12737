// Showing a fatal text to the user after the shutdown.
#pragma once

// An empty text shows nothing.
void app_show_error(const char* text);
