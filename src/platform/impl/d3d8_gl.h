// The OpenGL backend of the Direct3D 8 stand-in: a context of the device's own on the game
// window, resources mirrored as GL objects, the fixed-function pipeline as generated programs.
#pragma once

#include "platform/impl/d3d8_state.h"

#include <memory>
#include <optional>

// The backend for this device, or null (the device then works on state alone) when its window
// is not an OpenGL window of the window layer or no suitable context can be made.
std::unique_ptr<D3D8Backend> d3d8_gl_backend(IDirect3DDevice8& device);

// Test seam: the window's pixel at (x, y), rows counted from the bottom (where any surface
// starts, whatever size the window takes), as the last present shows it (0xAARRGGBB, drawn
// again without a swap); nullopt when the device has no OpenGL backend.
std::optional<DWORD> d3d8_gl_seam_window_pixel(IDirect3DDevice8& device, int x, int y);
