#include "bench_engine.h"

#include "core/errors.h"
#include "core/vfs.h"
#include "lib/archive_writer.h"
#include "lib/demo_writer.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/d3d_state.h"
#include "platform/impl/d3d8_seams.h"
#include "platform/impl/win_window_sdl.h"
#include "platform/win_kernel.h"
#include "platform/win_window.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_camera.h"
#include "scenegraph/renderer_queue.h"

#include <stdlib.h>

#include <algorithm>
#include <string>

bool bench_mount_archive(const std::filesystem::path& folder, std::span<const ArchiveSource> files)
{
    vfs_close_all();
    if (!archive_write_set(folder, files, {})) return false;
    std::string windows = folder.string() + "\\";
    std::replace(windows.begin(), windows.end(), '/', '\\');
    vfs::Startup(windows.c_str());
    return true;
}

std::filesystem::path bench_mount_files(const char* folder_prefix, std::span<const ArchiveSource> files)
{
    std::string pattern = (std::filesystem::temp_directory_path() / folder_prefix).string() + "XXXXXX";
    if (!mkdtemp(pattern.data())) return {};
    if (!bench_mount_archive(pattern, files)) {
        std::filesystem::remove_all(pattern);
        return {};
    }
    return pattern;
}

std::filesystem::path bench_mount_shaders(const char* folder_prefix)
{
    return bench_mount_files(folder_prefix, demo_shader_files(shader_file_names()));
}

bool bench_start_engine(HWND window, UINT width, UINT height)
{
    D3D8AdapterProfile adapter;
    adapter.desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
    adapter.modes = {{width, height, 60, D3DFMT_X8R8G8B8}};
    adapter.hal = d3d8_hardware_profile();
    d3d8_seam_set_machine(D3D8Machine{{adapter}});
    RendererSettings settings;
    settings.window = window;
    settings.device_type = 0;
    settings.windowed = 1;
    settings.back_buffer_32bit = 1;
    settings.back_buffer_width = width;
    settings.back_buffer_height = height;
    try {
        if (FAILED(D3D::Initialize(settings)) || FAILED(Renderer::Initialize(RQ_GAME_ROWS))) return false;
        renderer_reset_transforms();
        renderer_set_camera(D3DXVECTOR3(0.0f, 5.0f, -10.0f), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        renderer_update_camera();
        renderer_create_device_objects();
    } catch (const RuntimeError&) {
        return false;
    }
    return true;
}

void bench_stop_engine(const std::filesystem::path& folder)
{
    if (g_d3d_device) {
        d3d_set_texture_cached(0, nullptr);
        renderer_release_device_objects();
    }
    renderer_shutdown();
    D3D::Shutdown();
    d3d8_seam_reset();
    vfs_close_all();
    if (!folder.empty()) std::filesystem::remove_all(folder);
}

bool bench_begin_state_only(const std::filesystem::path& folder)
{
    const HWND no_window = reinterpret_cast<HWND>(std::uintptr_t{0x5EED});
    if (!folder.empty() && bench_start_engine(no_window, 640, 480) && SUCCEEDED(g_d3d_device->BeginScene()))
        return true;
    bench_stop_engine(folder);
    return false;
}

void bench_end_state_only(const std::filesystem::path& folder)
{
    g_d3d_device->EndScene();
    bench_stop_engine(folder);
}

namespace {
constexpr const char* k_gl_window_class = "KroBenchGl";
}

HWND bench_gl_window(UINT width, UINT height)
{
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (!video_start() || !video_has_gl()) return nullptr;
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = k_gl_window_class;
    if (!RegisterClassExA(&window_class)) return nullptr;
    HWND window = CreateWindowExA(0, k_gl_window_class, "bench", 0x10CB0000, 0, 0, int(width), int(height),
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window) UnregisterClassA(k_gl_window_class, GetModuleHandleA(nullptr));
    return window;
}

void bench_destroy_gl_window(HWND window)
{
    if (!window) return;
    DestroyWindow(window);
    UnregisterClassA(k_gl_window_class, GetModuleHandleA(nullptr));
}
