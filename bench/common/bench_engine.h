// What the renderer benchmarks share: the game's shader set in an archive the engine opens as it
// opens the game's, and the device and renderer started and stopped as the game does it.
#pragma once

#include "lib/archive_writer.h"
#include "platform/win_types.h"

#include <filesystem>
#include <span>

// Writes the files as the archive of the folder and opens it as the game's; false on failure.
bool bench_mount_archive(const std::filesystem::path& folder, std::span<const ArchiveSource> files);
// The same in a new temporary folder, which it returns; empty when it cannot be made.
std::filesystem::path bench_mount_files(const char* folder_prefix, std::span<const ArchiveSource> files);

// A temporary folder holding the shader archive, mounted; empty when it cannot be made.
std::filesystem::path bench_mount_shaders(const char* folder_prefix);
// The device on the window (a handle no window layer knows gives one without a backend) with a
// width x height windowed back buffer, the renderer, its device objects and a camera.
bool bench_start_engine(HWND window, UINT width, UINT height);
// Undoes both; harmless after a failed start.
void bench_stop_engine(const std::filesystem::path& folder);
// On the mounted folder: a 640 x 480 device without a backend (a window handle no window layer
// knows, so draws are checked and counted, not rasterised), its renderer and a begun scene.
// False, with everything undone, when any of it fails.
bool bench_begin_state_only(const std::filesystem::path& folder);
// Ends the scene and undoes the start.
void bench_end_state_only(const std::filesystem::path& folder);

// An OpenGL window of the window layer (the offscreen driver unless SDL_VIDEODRIVER names
// another), whose device then gets the OpenGL backend; null without an OpenGL video driver.
HWND bench_gl_window(UINT width, UINT height);
// Destroys the window and unregisters its class; harmless for a null window.
void bench_destroy_gl_window(HWND window);
