// A windowed device of a chosen size on a scripted one-adapter machine, with the game's vertex
// shaders (minimal programs from an archive written by tools/), the renderer started from the
// game's row table and its device objects made, inside a scene: what the queue and the passes
// draw with. Draws are logged with the device state of each.
#pragma once

#include "core/vfs.h"
#include "d3d8_machines.h"
#include "gl_device_fixture.h"
#include "lib/archive_writer.h"
#include "lib/demo_writer.h"
#include "lib/vso_writer.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/d3d_state.h"
#include "lowlv/d3d/renderer_frame.h"
#include "platform/impl/d3d8_seams.h"
#include "platform/impl/d3d8_state.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_camera.h"
#include "scenegraph/renderer_queue.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

// The pixel of a width x height frame (0xAARRGGBB rows) at the screen point (x, y), rounded; a
// point outside the frame fails the test and reads the nearest edge pixel.
inline DWORD frame_pixel(const std::vector<DWORD>& pixels, UINT width, UINT height, float x, float y)
{
    const long px = std::lround(x);
    const long py = std::lround(y);
    EXPECT_TRUE(px >= 0 && px < long(width) && py >= 0 && py < long(height)) << px << ", " << py;
    return pixels[std::size_t(std::clamp(py, 0L, long(height) - 1)) * width +
                  std::size_t(std::clamp(px, 0L, long(width) - 1))];
}

// The pixel of the frame where a world point projects through the camera.
inline DWORD projected_pixel(const std::vector<DWORD>& pixels, UINT width, UINT height,
                             const D3DXVECTOR3& world)
{
    D3DXVECTOR3 clip;
    D3DXVec3TransformCoord(&clip, &world, &g_camera_state.view_proj);
    return frame_pixel(pixels, width, height, (clip.x + 1.0f) / 2.0f * float(width),
                       (1.0f - clip.y) / 2.0f * float(height));
}

// The pre-transformed vertices a non-indexed draw read from its stream 0.
inline std::vector<ScreenVertex> drawn_screen_vertices(const D3D8DrawRecord& draw, std::size_t count)
{
    std::vector<ScreenVertex> vertices(count);
    std::memcpy(vertices.data(),
                d3d8_buffer_data(*draw.state.streams[0].buffer) + draw.call.start * sizeof(ScreenVertex),
                sizeof(ScreenVertex) * count);
    return vertices;
}

class RendererTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_folder = std::make_unique<TempFolder>();
        ASSERT_TRUE(archive_write_set(s_folder->path(), demo_shader_files(shader_file_names()), {}));
        vfs::Startup((s_folder->windows() + "\\").c_str());
    }

    static void TearDownTestSuite()
    {
        vfs_close_all();
        s_folder.reset();
    }

    void SetUp() override { start(640, 480); }

    void TearDown() override
    {
        stop();
        if (m_gl_window) gl_test_window_destroy(m_gl_window);
        m_gl_window = nullptr;
    }

    // A fresh device and renderer at this back-buffer size, on the given window (the default
    // one no window layer knows gives a device without a backend).
    void start(UINT width, UINT height, HWND window = fake_window(), DWORD present_flags = 0)
    {
        stop();
        d3d8_seam_set_machine(machine_of({scripted_adapter(
            {display_mode(640, 480, 60), display_mode(800, 600, 60), display_mode(1024, 768, 60)})}));
        g_d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(g_d3d, nullptr);
        D3DPRESENT_PARAMETERS params = windowed_present_params(width, height);
        params.Flags = present_flags;
        ASSERT_EQ(g_d3d->CreateDevice(0, D3DDEVTYPE_HAL, window, D3DCREATE_HARDWARE_VERTEXPROCESSING, &params,
                                      &g_d3d_device),
                  D3D_OK);
        g_device_settings = {};
        g_device_settings.present = params;
        g_device_caps = {};
        g_d3d_device->GetDeviceCaps(&g_device_caps);
        g_frame_effects = {};
        renderer_default_states();
        shader_load_all();
        ASSERT_EQ(Renderer::Initialize(RQ_GAME_ROWS), S_OK);
        renderer_reset_transforms();
        renderer_set_camera(D3DXVECTOR3(0.0f, 5.0f, -10.0f), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        renderer_update_camera();
        renderer_create_device_objects();
        ASSERT_EQ(g_d3d_device->BeginScene(), D3D_OK);
        renderer_reset_frame_state();
        renderer_set_frame_constants();
        renderer_begin_frame(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
        d3d8_seam_log_draws(true);
    }

    // The same on an OpenGL window of this client size, so the device draws for real and gives
    // its back buffer back; skips the test without an OpenGL video driver (the caller returns
    // when IsSkipped()). The window goes when the test ends.
    void start_gl(UINT width, UINT height)
    {
        if (!gl_test_video()) GTEST_SKIP() << "no OpenGL video driver";
        m_gl_window = gl_test_window_create(width, height);
        ASSERT_NE(m_gl_window, nullptr);
        start(width, height, m_gl_window, D3DPRESENTFLAG_LOCKABLE_BACKBUFFER);
        ASSERT_NE(d3d8_device_backend(*g_d3d_device), nullptr);
    }

    // Everything the renderer made is released: the device must then hold nothing more.
    void stop()
    {
        if (!g_d3d_device) return;
        d3d8_seam_reset();
        g_d3d_device->EndScene();
        renderer_release_device_objects();
        renderer_shutdown();
        shader_release_all();
        EXPECT_EQ(g_d3d_device->Release(), 0u) << "the renderer leaked a device object";
        g_d3d_device = nullptr;
        g_d3d->Release();
        g_d3d = nullptr;
        g_frame_effects = {};
        g_scene_lighting = g_scene_lighting_defaults;
    }

    static const std::vector<D3D8DrawRecord>& draws() { return d3d8_seam_draws(); }
    static const D3DDeviceState& state() { return d3d8_device_state(*g_d3d_device); }

    inline static std::unique_ptr<TempFolder> s_folder;
    HWND m_gl_window = nullptr;
};
