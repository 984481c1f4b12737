// Scripted machines for the Direct3D 8 stand-in: adapters with chosen modes, device types and
// identifiers, so tests of the device and of the enumeration see the same hardware every run.
#pragma once

#include "platform/impl/d3d8_seams.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>

inline D3DDISPLAYMODE display_mode(UINT width, UINT height, UINT rate, D3DFORMAT format = D3DFMT_X8R8G8B8)
{
    return {width, height, rate, format};
}

// One adapter with a hardware device type and the given modes; the desktop is 1024x768x32.
inline D3D8AdapterProfile scripted_adapter(std::initializer_list<D3DDISPLAYMODE> modes,
                                           const char* name = "Scripted GPU")
{
    D3D8AdapterProfile adapter;
    std::snprintf(adapter.identifier.Driver, sizeof adapter.identifier.Driver, "scripted.drv");
    std::snprintf(adapter.identifier.Description, sizeof adapter.identifier.Description, "%s", name);
    adapter.identifier.VendorId = 0x1234;
    adapter.identifier.DeviceId = 0x0042;
    adapter.identifier.DriverVersion =
        std::int64_t{6} << 48 | std::int64_t{14} << 32 | std::int64_t{10} << 16 | 100;
    adapter.identifier.DeviceIdentifier = d3d8_identifier_guid("scripted.drv", name, 0x1234, 0x0042);
    adapter.desktop = display_mode(1024, 768, 60);
    adapter.modes = modes;
    adapter.hal = d3d8_hardware_profile();
    return adapter;
}

// The usual machine: 640x480 in 16 and 32 bits at 60 and 75 Hz, 800x600 and 1024x768 in 32 bits at 60 Hz.
inline D3D8AdapterProfile standard_adapter(const char* name = "Scripted GPU")
{
    return scripted_adapter({display_mode(640, 480, 60, D3DFMT_R5G6B5), display_mode(640, 480, 60),
                             display_mode(640, 480, 75), display_mode(800, 600, 60),
                             display_mode(1024, 768, 60)},
                            name);
}

inline D3D8Machine machine_of(std::initializer_list<D3D8AdapterProfile> adapters)
{
    D3D8Machine machine;
    machine.adapters = adapters;
    return machine;
}

// Puts every seam of the stand-in back after each test.
class D3D8SeamTest : public ::testing::Test {
protected:
    void SetUp() override { d3d8_seam_reset(); }
    void TearDown() override { d3d8_seam_reset(); }
};

// A windowed device's parameters: X8R8G8B8 back buffer, discard swap, 16-bit depth.
inline D3DPRESENT_PARAMETERS windowed_present_params(UINT width, UINT height)
{
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = width;
    params.BackBufferHeight = height;
    params.BackBufferFormat = D3DFMT_X8R8G8B8;
    params.BackBufferCount = 1;
    params.SwapEffect = D3DSWAPEFFECT_DISCARD;
    params.Windowed = TRUE;
    params.EnableAutoDepthStencil = TRUE;
    params.AutoDepthStencilFormat = D3DFMT_D16;
    return params;
}

// A window handle no window layer knows: the device keeps it and takes over nothing.
inline HWND fake_window()
{
    return reinterpret_cast<HWND>(std::uintptr_t{0x5EED});
}
