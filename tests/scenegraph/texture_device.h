// A windowed device on a scripted machine, installed as g_d3d_device with the settings the
// texture loader reads (32-bit textures, DXT1 and DXT3, mipmaps on), and a started resource
// manager. Its end shuts the manager down and checks that no resource outlived it.
#pragma once

#include "d3d8_machines.h"
#include "lowlv/d3d/d3d_core.h"
#include "scenegraph/resrc_mgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>

class TextureDevice {
public:
    TextureDevice() { start({}); }
    ~TextureDevice() { stop(); }
    TextureDevice(const TextureDevice&) = delete;
    TextureDevice& operator=(const TextureDevice&) = delete;

    // A new device whose hardware lacks these texture formats.
    void restart_without(std::initializer_list<D3DFORMAT> missing)
    {
        stop();
        start(missing);
    }

    IDirect3DDevice8& device() const { return *g_d3d_device; }
    RendererSettings& settings() const { return g_device_settings.settings; }

private:
    void start(std::initializer_list<D3DFORMAT> missing)
    {
        d3d8_seam_reset();
        D3D8AdapterProfile adapter = standard_adapter();
        std::erase_if(adapter.hal->texture_formats, [&](D3DFORMAT format) {
            return std::find(missing.begin(), missing.end(), format) != missing.end();
        });
        d3d8_seam_set_machine(machine_of({adapter}));
        g_d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(g_d3d, nullptr);
        D3DPRESENT_PARAMETERS params = windowed_present_params(640, 480);
        ASSERT_EQ(g_d3d->CreateDevice(0, D3DDEVTYPE_HAL, fake_window(), D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                      &params, &g_d3d_device),
                  D3D_OK);
        g_device_settings = {};
        g_device_settings.present = params;
        g_device_settings.settings.back_buffer_32bit = 1;
        g_device_settings.settings.caps_dxt1_textures = 1;
        g_device_settings.settings.caps_dxt3_textures = 1;
        g_tex_x8r8g8b8_ok = true;
        g_tex_a8r8g8b8_ok = true;
        ResrcMgr::Initialize(RESRC_RESERVE[0], RESRC_RESERVE[1]);
    }

    void stop()
    {
        ResrcMgr::Shutdown();
        if (g_d3d_device) {
            EXPECT_EQ(g_d3d_device->Release(), 0u) << "a texture outlived the resource manager";
        }
        if (g_d3d) g_d3d->Release();
        g_d3d_device = nullptr;
        g_d3d = nullptr;
        g_device_settings = {};
        g_tex_x8r8g8b8_ok = false;
        g_tex_a8r8g8b8_ok = false;
        d3d8_seam_reset();
    }
};
