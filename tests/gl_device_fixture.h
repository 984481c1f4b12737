// Devices that draw for real: a top-level window of the window layer (an OpenGL window under the
// offscreen driver) gives the device the OpenGL backend, and a lockable back buffer gives the
// pixels back.
#pragma once

#include "platform/d3d8.h"
#include "platform/impl/d3d8_seams.h"
#include "platform/impl/win_window_sdl.h"
#include "platform/win_kernel.h"
#include "platform/win_window.h"

#include "d3d8_machines.h"
#include "test_window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

inline constexpr const char* GL_TEST_WINDOW_CLASS = "KroGlTest";

// False when the video driver gives no OpenGL: the caller skips.
inline bool gl_test_video()
{
    return video_start() && video_has_gl();
}

// A window of its own class with a client area of this size; null when it cannot be made.
inline HWND gl_test_window_create(UINT width, UINT height)
{
    return test_window_create(GL_TEST_WINDOW_CLASS, DefWindowProcA, int(width), int(height));
}

// Also unregisters the class; harmless for a null window.
inline void gl_test_window_destroy(HWND window)
{
    if (window) DestroyWindow(window);
    UnregisterClassA(GL_TEST_WINDOW_CLASS, GetModuleHandleA(nullptr));
}

// The back buffer (made with D3DPRESENTFLAG_LOCKABLE_BACKBUFFER) as 0xAARRGGBB rows.
inline std::vector<DWORD> back_buffer_pixels(IDirect3DDevice8& device, UINT width, UINT height)
{
    std::vector<DWORD> out(std::size_t{width} * height);
    IDirect3DSurface8* back = nullptr;
    EXPECT_EQ(device.GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back), D3D_OK);
    if (!back) return out;
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(back->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    if (locked.pBits)
        for (UINT y = 0; y < height; ++y)
            std::memcpy(&out[std::size_t{y} * width], static_cast<BYTE*>(locked.pBits) + y * locked.Pitch,
                        width * 4);
    back->UnlockRect();
    back->Release();
    return out;
}

// The top-left width x height pixels of the window's client area as the front buffer shows
// them (through the desktop-sized image surface a screenshot uses), as 0xAARRGGBB rows.
inline std::vector<DWORD> front_buffer_client_pixels(IDirect3DDevice8& device, HWND window, UINT width,
                                                     UINT height)
{
    std::vector<DWORD> out(std::size_t{width} * height);
    D3DDISPLAYMODE mode{};
    device.GetDisplayMode(&mode);
    IDirect3DSurface8* shot = nullptr;
    EXPECT_EQ(device.CreateImageSurface(mode.Width, mode.Height, D3DFMT_A8R8G8B8, &shot), D3D_OK);
    if (!shot) return out;
    EXPECT_EQ(device.GetFrontBuffer(shot), D3D_OK);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(shot->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    if (locked.pBits)
        for (UINT y = 0; y < height; ++y)
            std::memcpy(&out[std::size_t{y} * width],
                        static_cast<BYTE*>(locked.pBits) + (origin.y + LONG(y)) * locked.Pitch + origin.x * 4,
                        width * 4);
    shot->UnlockRect();
    shot->Release();
    return out;
}

// A managed vertex buffer holding these bytes (with this FVF, 0 for a shader's declaration);
// null when it cannot be made.
inline IDirect3DVertexBuffer8* gl_test_vertex_buffer(IDirect3DDevice8& device, const void* bytes, UINT size,
                                                     DWORD fvf = 0)
{
    IDirect3DVertexBuffer8* buffer = nullptr;
    EXPECT_EQ(device.CreateVertexBuffer(size, D3DUSAGE_WRITEONLY, fvf, D3DPOOL_MANAGED, &buffer), D3D_OK);
    if (!buffer) return nullptr;
    BYTE* data = nullptr;
    EXPECT_EQ(buffer->Lock(0, 0, &data, 0), D3D_OK);
    if (data) std::memcpy(data, bytes, size);
    buffer->Unlock();
    return buffer;
}

// Channels within `tolerance` of each other.
inline ::testing::AssertionResult near_color(DWORD actual, DWORD expected, int tolerance = 3)
{
    for (int shift = 0; shift < 32; shift += 8) {
        int a = int((actual >> shift) & 0xFF), e = int((expected >> shift) & 0xFF);
        if (std::abs(a - e) > tolerance)
            return ::testing::AssertionFailure()
                   << std::hex << "0x" << actual << " is not near 0x" << expected;
    }
    return ::testing::AssertionSuccess();
}

// A k_size square device on such a window, with a D24S8 depth buffer, lighting, culling and the
// depth test off, and stage 0 taking its second arguments from the diffuse colour (its alpha
// selected from there). Skipped without an OpenGL video driver.
class GlDeviceTest : public ::testing::Test {
public:
    static constexpr UINT k_size = 64;

protected:
    void SetUp() override
    {
        d3d8_seam_reset();
        if (!gl_test_video()) GTEST_SKIP() << "no OpenGL video driver";
        d3d8_seam_set_machine(machine_of({standard_adapter()}));
        m_window = gl_test_window_create(k_size, k_size);
        ASSERT_NE(m_window, nullptr);
        m_d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(m_d3d, nullptr);
        D3DPRESENT_PARAMETERS params = windowed_present_params(k_size, k_size);
        params.hDeviceWindow = m_window;
        params.AutoDepthStencilFormat = D3DFMT_D24S8;
        params.Flags = D3DPRESENTFLAG_LOCKABLE_BACKBUFFER;
        ASSERT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, m_window, D3DCREATE_HARDWARE_VERTEXPROCESSING,
                                      &params, &m_device),
                  D3D_OK);
        ASSERT_NE(d3d8_device_backend(*m_device), nullptr) << "an OpenGL window gives the device a backend";
        m_device->SetRenderState(D3DRS_LIGHTING, FALSE);
        m_device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        m_device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        m_device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        m_device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
        m_device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2);
    }

    void TearDown() override
    {
        if (m_device) {
            m_device->SetStreamSource(0, nullptr, 0);
            m_device->SetTexture(0, nullptr);
            EXPECT_EQ(m_device->Release(), 0u);
        }
        if (m_d3d) m_d3d->Release();
        gl_test_window_destroy(m_window);
        d3d8_seam_reset();
    }

    std::vector<DWORD> pixels() { return back_buffer_pixels(*m_device, k_size, k_size); }

    HWND m_window = nullptr;
    IDirect3D8* m_d3d = nullptr;
    IDirect3DDevice8* m_device = nullptr;
};
