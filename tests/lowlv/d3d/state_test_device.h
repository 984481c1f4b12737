// A windowed 640x480 device on a scripted one-adapter machine, installed as g_d3d_device with the
// settings the state and shader code read, for the render-state, buffer and shader tests.
#pragma once

#include "d3d8_machines.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/d3d_state.h"
#include "lowlv/d3d/renderer_frame.h"
#include "platform/impl/d3d8_seams.h"
#include "platform/win_kernel.h"
#include "platform/win_window.h"
#include "test_window.h"

#include <gtest/gtest.h>

class StateDeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        D3D8AdapterProfile adapter;
        adapter.desktop = {1024, 768, 60, D3DFMT_X8R8G8B8};
        adapter.modes = {{640, 480, 60, D3DFMT_X8R8G8B8}, {1024, 768, 60, D3DFMT_X8R8G8B8}};
        adapter.hal = d3d8_hardware_profile();
        d3d8_seam_set_machine(D3D8Machine{{adapter}});

        m_window = test_window_create("KroStateTest", DefWindowProcA, 640, 480);
        ASSERT_NE(m_window, nullptr);

        g_d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(g_d3d, nullptr);
        create_device(D3DCREATE_HARDWARE_VERTEXPROCESSING);
    }

    void TearDown() override
    {
        shader_release_all();
        for (DynamicBuffer& buffer : g_renderer_vbs)
            renderer_release_buffer(buffer);
        for (DynamicBuffer& buffer : g_renderer_ibs)
            renderer_release_buffer(buffer);
        release_device();
        if (g_d3d) g_d3d->Release();
        g_d3d = nullptr;
        g_frame_effects = {};
        g_scene_lighting = g_scene_lighting_defaults;
        g_vs_software = false;
        d3d8_seam_reset();
        DestroyWindow(m_window);
        UnregisterClassA("KroStateTest", GetModuleHandleA(nullptr));
    }

    // Replaces the device; software vertex processing also makes the shaders and buffers
    // software ones, as device creation decides.
    void create_device(DWORD behaviour)
    {
        release_device();
        D3DPRESENT_PARAMETERS params = windowed_present_params(640, 480);
        params.hDeviceWindow = m_window;
        ASSERT_EQ(g_d3d->CreateDevice(0, D3DDEVTYPE_HAL, m_window, behaviour, &params, &g_d3d_device),
                  D3D_OK);
        g_device_settings = {};
        g_device_settings.present = params;
        g_device_settings.settings.window = m_window;
        g_d3d_device->GetDeviceCaps(&g_device_caps);
        g_vs_software = behaviour & D3DCREATE_SOFTWARE_VERTEXPROCESSING;
        renderer_default_states();
    }

    IDirect3DDevice8& device() const { return *g_d3d_device; }
    const D3DDeviceState& state() const { return d3d8_device_state(*g_d3d_device); }
    RendererSettings& settings() { return g_device_settings.settings; }

private:
    void release_device()
    {
        if (g_d3d_device) g_d3d_device->Release();
        g_d3d_device = nullptr;
    }

    HWND m_window = nullptr;
};
