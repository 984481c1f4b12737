// The settings program's share of the engine, linked as that program will link it: the platform,
// core, the adapter enumeration of the device layer and the input module, nothing else. That this
// program links at all shows that choosing a mode and reading devices need no device, vertex
// shaders, archive or renderer; the symbol check beside it keeps it so.
#include "core/sys.h"
#include "lowlv/d3d/d3d_adapter.h"
#include "lowlv/input/input_device.h"
#include "lowlv/input/input_settings.h"
#include "lowlv/input/input_state.h"
#include "platform/win_window.h"
#include "test_window.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace {

LRESULT settings_window_proc(HWND window, UINT message, WPARAM w, LPARAM l)
{
    return DefWindowProcA(window, message, w, l);
}

class SettingsLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        sys_startup(0x100000);
        m_window = test_window_create("KroSettingsLink", settings_window_proc, 320, 240);
        ASSERT_NE(m_window, nullptr);
    }

    void TearDown() override
    {
        input_release_devices();
        DestroyWindow(m_window);
        UnregisterClassA("KroSettingsLink", GetModuleHandleA(nullptr));
        sys_release_work_block();
        timer_end_period();
    }

    HWND m_window = nullptr;
};

TEST_F(SettingsLink, EnumeratesTheAdaptersAndChoosesAWindowedMode)
{
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    auto enumeration = std::make_unique<AdapterEnumeration>();
    enumeration->min_depth_bits = 16;
    d3d_enumerate_adapters(*d3d, *enumeration);
    ASSERT_GT(enumeration->adapter_count, 0u) << "the offscreen display is an adapter";

    DeviceSettings device{};
    device.settings.window = m_window;
    device.settings.windowed = 1;
    d3d_default_settings(*enumeration, device.settings);
    device.settings.back_buffer_width = 640;
    device.settings.back_buffer_height = 480;
    ASSERT_EQ(d3d_choose_mode(*d3d, *enumeration, device), S_OK);
    EXPECT_EQ(device.present.hDeviceWindow, m_window);
    EXPECT_EQ(device.present.BackBufferWidth, 640u);
    EXPECT_TRUE(device.present.Windowed);
    d3d->Release();
}

TEST_F(SettingsLink, ReadsTheKeyboardInTheBackgroundAndNamesItsKeys)
{
    ASSERT_EQ(input_dinput_create(), DI_OK);
    ASSERT_EQ(input_create_keyboard(m_window, false, DISCL_BACKGROUND), DI_OK);
    InputDeviceState block{};
    EXPECT_EQ(input_read_keyboard(block), DI_OK);
    std::int32_t code = -1;
    ASSERT_TRUE(input_key_code_from_name(input_key_name(DIK_ESCAPE), code));
    EXPECT_EQ(code, DIK_ESCAPE);
}

} // namespace
