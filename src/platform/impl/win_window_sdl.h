// What the other SDL-backed stand-ins (the device, input, the dialogs) need of the window layer.
// Not for game code.
#pragma once

#include "platform/win_window.h"

struct SDL_Window;

// Starts SDL video once; the calling thread becomes the one that reads SDL's events (through
// the message queue functions). False, with a line on standard error, when there is no display.
bool video_start();
// Whether the video driver gives OpenGL: top-level windows are then created for OpenGL.
bool video_has_gl();
// The SDL window behind a top-level window of this process, or null.
SDL_Window* window_sdl(HWND window);
