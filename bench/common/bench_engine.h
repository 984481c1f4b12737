// What the renderer benchmarks share: the game's shader set in an archive the engine opens as it
// opens the game's, and the device and renderer started and stopped as the game does it.
#pragma once

#include "platform/win_types.h"

#include <filesystem>

// A temporary folder holding the shader archive, mounted; empty when it cannot be made.
std::filesystem::path bench_mount_shaders(const char* folder_prefix);
// The device on the window (a handle no window layer knows gives one without a backend) with a
// width x height windowed back buffer, the renderer, its device objects and a camera.
bool bench_start_engine(HWND window, UINT width, UINT height);
// Undoes both; harmless after a failed start.
void bench_stop_engine(const std::filesystem::path& folder);
