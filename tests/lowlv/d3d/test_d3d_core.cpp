#include "lowlv/d3d/d3d_core.h"

#include "core/errors.h"
#include "core/sys.h"
#include "core/vfs.h"
#include "lowlv/d3d/d3d_shader.h"
#include "platform/impl/d3d8_state.h"
#include "platform/win_window.h"

#include "d3d8_machines.h"
#include "lib/archive_writer.h"
#include "lib/vso_writer.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

// ---- Helpers -------------------------------------------------------------------------------------
struct Enumerated {
    HRESULT result;
    std::unique_ptr<AdapterEnumeration> record;
};

Enumerated enumerate(const D3D8Machine& machine, std::uint32_t min_depth = 16, std::uint32_t min_stencil = 0)
{
    d3d8_seam_set_machine(machine);
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    auto record = std::make_unique<AdapterEnumeration>();
    record->min_depth_bits = min_depth;
    record->min_stencil_bits = min_stencil;
    HRESULT result = d3d_enumerate_adapters(*d3d, *record);
    d3d->Release();
    return {result, std::move(record)};
}

struct Chosen {
    HRESULT result;
    DeviceSettings device;
};

Chosen choose(const D3D8Machine& machine, const RendererSettings& settings)
{
    d3d8_seam_set_machine(machine);
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    auto record = std::make_unique<AdapterEnumeration>();
    record->min_depth_bits = 16;
    Chosen chosen{};
    chosen.device.settings = settings;
    chosen.result = d3d_choose_mode(*d3d, *record, chosen.device);
    d3d->Release();
    return chosen;
}

RendererSettings chosen_settings(std::uint32_t width, std::uint32_t height)
{
    RendererSettings s;
    s.window = fake_window();
    s.device_type = 0;
    s.back_buffer_width = width;
    s.back_buffer_height = height;
    return s;
}

D3D8DeviceTypeProfile windowless(D3D8DeviceTypeProfile profile)
{
    profile.caps.Caps2 &= ~D3DCAPS2_CANRENDERWINDOWED;
    return profile;
}

const DisplayModeInfo& mode_of(const AdapterEnumeration& e, std::uint32_t adapter, std::uint32_t type,
                               std::uint32_t mode)
{
    return e.adapters[adapter].device_types[type].modes[mode];
}

} // namespace

// ---- Enumeration ---------------------------------------------------------------------------------
class AdapterEnumerationTest : public D3D8SeamTest {};

TEST_F(AdapterEnumerationTest, MergesSizesAndKeepsTheFirst19RatesAscending)
{
    const UINT rates[] = {85, 60, 60, 0,   100, 75, 72, 70, 56, 120, 144, 50, 30,
                          47, 48, 90, 110, 119, 59, 61, 62, 63, 64,  65,  66};
    D3D8AdapterProfile adapter =
        scripted_adapter({display_mode(640, 480, 60, D3DFMT_R5G6B5), display_mode(640, 480, 60)});
    for (UINT rate : rates)
        adapter.modes.push_back(display_mode(800, 600, rate));
    Enumerated e = enumerate(machine_of({adapter}));
    ASSERT_EQ(e.result, S_OK);
    const DeviceTypeInfo& hal = e.record->adapters[0].device_types[0];
    ASSERT_EQ(hal.mode_count, 2u);
    // Sorted by the first format seen, descending: R5G6B5 (23) before X8R8G8B8 (22).
    const DisplayModeInfo& small = hal.modes[0];
    EXPECT_EQ(small.width, 640u);
    EXPECT_EQ(small.display_32bit, 1); // also listed in 32 bits
    EXPECT_EQ(hal.default_mode, 0u);
    const DisplayModeInfo& large = hal.modes[1];
    std::vector<std::uint32_t> kept(large.refresh_rates, large.refresh_rates + large.refresh_count);
    EXPECT_EQ(kept, (std::vector<std::uint32_t>{30, 47, 48, 50, 56, 59, 60, 61, 62, 70, 72, 75, 85, 90, 100,
                                                110, 119, 120, 144}));
    EXPECT_STREQ(hal.name, "HAL");
    EXPECT_EQ(large.behaviour_flags, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE);
    EXPECT_EQ(large.depth_format, D3DFMT_D16);
    EXPECT_EQ(large.depth_d24s8, 1);
    EXPECT_EQ(large.multisample_windowed[4], 1);
    EXPECT_EQ(large.multisample_windowed[3], 0);
    EXPECT_EQ(large.tex_dxt3, 1);
}

TEST_F(AdapterEnumerationTest, WithoutA640x480ModeTheFirstSortedModeIsTheDefault)
{
    Enumerated e =
        enumerate(machine_of({scripted_adapter({display_mode(1024, 768, 60), display_mode(800, 600, 60)})}));
    EXPECT_EQ(e.record->current_mode, 0u);
    EXPECT_EQ(mode_of(*e.record, 0, 0, 0).width, 800u);
}

TEST_F(AdapterEnumerationTest, AThirdDisplayFormatGetsItsOwnResults)
{
    D3D8AdapterProfile adapter =
        scripted_adapter({display_mode(640, 480, 60, D3DFMT_X1R5G5B5),
                          display_mode(800, 600, 60, D3DFMT_R5G6B5), display_mode(1024, 768, 60)});
    adapter.hal->display_formats = {D3DFMT_X8R8G8B8, D3DFMT_X1R5G5B5}; // no 16-bit 565 on this device
    Enumerated e = enumerate(machine_of({adapter}));
    const DeviceTypeInfo& hal = e.record->adapters[0].device_types[0];
    ASSERT_EQ(hal.mode_count, 2u);
    EXPECT_EQ(hal.modes[0].width, 640u); // X1R5G5B5 (24) sorts first
    EXPECT_EQ(hal.modes[0].depth_format, D3DFMT_D16);
    EXPECT_EQ(hal.modes[0].behaviour_flags, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE);
    EXPECT_EQ(hal.modes[1].width, 1024u);
}

TEST_F(AdapterEnumerationTest, DepthFormatIsTheFirstThatFitsTheMinimumBits)
{
    D3D8AdapterProfile adapter = standard_adapter();
    adapter.hal->depth_formats = {D3DFMT_D24X8, D3DFMT_D24S8};
    EXPECT_EQ(mode_of(*enumerate(machine_of({adapter})).record, 0, 0, 0).depth_format, D3DFMT_D24X8);
    EXPECT_EQ(mode_of(*enumerate(machine_of({adapter}), 16, 1).record, 0, 0, 0).depth_format, D3DFMT_D24S8);
    adapter.hal->depth_formats = {D3DFMT_D16};
    EXPECT_EQ(mode_of(*enumerate(machine_of({adapter}), 24, 0).record, 0, 0, 0).depth_format, D3DFMT_UNKNOWN);
    EXPECT_EQ(mode_of(*enumerate(machine_of({adapter}), 24, 0).record, 0, 0, 0).depth_d24s8, 0);
}

TEST_F(AdapterEnumerationTest, DefaultChoiceTellsWhyNoHalWasTaken)
{
    D3D8AdapterProfile ref_only = standard_adapter();
    ref_only.ref = ref_only.hal;
    ref_only.hal.reset();

    D3D8AdapterProfile hal_windowless = standard_adapter();
    hal_windowless.ref = hal_windowless.hal;
    hal_windowless.hal = windowless(*hal_windowless.hal);

    // The HAL works in the desktop's 555 format, but the adapter lists no mode in it.
    D3D8AdapterProfile hal_modeless = standard_adapter();
    hal_modeless.desktop.Format = D3DFMT_X1R5G5B5;
    hal_modeless.ref = hal_modeless.hal;
    hal_modeless.ref->display_formats.push_back(D3DFMT_X1R5G5B5);
    hal_modeless.hal->display_formats = {D3DFMT_X1R5G5B5};

    // The HAL renders in a window, but only in 16 bits while the desktop has 32.
    D3D8AdapterProfile hal_other_format = standard_adapter();
    hal_other_format.ref = hal_other_format.hal;
    hal_other_format.hal->display_formats = {D3DFMT_R5G6B5};

    D3D8AdapterProfile hal_current_no_modes = standard_adapter();
    hal_current_no_modes.modes = {display_mode(640, 480, 60, D3DFMT_R5G6B5)};
    hal_current_no_modes.ref = hal_current_no_modes.hal;
    hal_current_no_modes.hal->display_formats = {D3DFMT_X8R8G8B8};

    D3D8AdapterProfile no_window = standard_adapter();
    no_window.hal = windowless(*no_window.hal);

    struct Case {
        const char* name;
        D3D8Machine machine;
        HRESULT result;
        std::uint32_t adapter;
        D3DDEVTYPE type;
    } cases[] = {
        {"a windowed HAL", machine_of({standard_adapter()}), S_OK, 0, D3DDEVTYPE_HAL},
        {"no HAL at all", machine_of({ref_only}), D3D_ENUM_REF_NO_HAL, 0, D3DDEVTYPE_REF},
        {"HAL without modes", machine_of({hal_modeless}), D3D_ENUM_REF_HAL_NO_MODE, 0, D3DDEVTYPE_REF},
        {"HAL not windowed", machine_of({hal_windowless}), D3D_ENUM_REF_HAL_NOT_WINDOWED, 0, D3DDEVTYPE_REF},
        {"HAL windowed in another format", machine_of({hal_other_format}), D3D_ENUM_REF_HAL_OTHER_FORMAT, 0,
         D3DDEVTYPE_REF},
        {"HAL windowed in the desktop format elsewhere",
         machine_of({hal_current_no_modes, standard_adapter()}), D3D_ENUM_REF_HAL_CURRENT_FORMAT, 0,
         D3DDEVTYPE_REF},
        {"nothing renders in a window", machine_of({no_window}), D3D_ENUM_NO_WINDOWED, 0, D3DDEVTYPE_HAL},
    };
    for (const Case& c : cases) {
        Enumerated e = enumerate(c.machine);
        EXPECT_EQ(e.result, c.result) << c.name;
        EXPECT_EQ(e.record->current_adapter, c.adapter) << c.name;
        const AdapterInfo& adapter = e.record->adapters[e.record->current_adapter];
        EXPECT_EQ(adapter.device_types[e.record->current_device_type].type, c.type) << c.name;
    }
    Enumerated empty = enumerate(D3D8Machine{});
    EXPECT_EQ(empty.result, D3D_ENUM_NO_ADAPTER);
    EXPECT_EQ(empty.record->adapter_count, 0u);
}

TEST_F(AdapterEnumerationTest, AnAdapterWithoutUsableFormatsGivesItsSlotAway)
{
    D3D8AdapterProfile unusable = standard_adapter("First");
    unusable.hal->display_formats.clear();
    Enumerated e = enumerate(machine_of({unusable, standard_adapter("Second")}));
    ASSERT_EQ(e.record->adapter_count, 1u);
    EXPECT_STREQ(e.record->adapters[0].identifier.Description, "Second");
    EXPECT_EQ(e.record->adapters[0].ordinal, 1u);
    EXPECT_EQ(e.result, S_OK);
}

// ---- Settings resolution -------------------------------------------------------------------------
class ModeChoiceTest : public D3D8SeamTest {};

TEST_F(ModeChoiceTest, SettingsAreCheckedClampedOrDefaulted)
{
    D3D8AdapterProfile standard = standard_adapter();
    D3D8AdapterProfile no_800 = scripted_adapter({display_mode(640, 480, 60), display_mode(1024, 768, 60)});
    GUID standard_id = standard.identifier.DeviceIdentifier;

    struct Case {
        const char* name;
        D3D8AdapterProfile adapter;
        std::function<void(RendererSettings&)> set;
        std::function<void(const DeviceSettings&)> check;
    };
    std::vector<Case> cases = {
        {"Device -1 takes the defaults", standard,
         [](RendererSettings& s) {
             s.device_type = -1;
             s.back_buffer_width = 1024, s.back_buffer_height = 768;
             s.refresh_rate = 60;
             s.multisample_type = 4;
             s.force_software_vp = 1;
         },
         [&](const DeviceSettings& d) {
             const RendererSettings& s = d.settings;
             EXPECT_EQ(s.device_type, 0);
             EXPECT_EQ(s.adapter, 0u);
             EXPECT_EQ(s.back_buffer_width, 640u);
             EXPECT_EQ(s.back_buffer_height, 480u);
             EXPECT_EQ(s.refresh_rate, 0u);
             EXPECT_EQ(s.multisample_type, 0u);
             EXPECT_EQ(s.wait_vsync, 1);
             EXPECT_EQ(s.force_software_vp, 0);
             EXPECT_EQ(s.sort_alpha_texture, 1);
             EXPECT_EQ(s.mipmap, 1);
             EXPECT_EQ(s.gamma, 1.0f);
             EXPECT_EQ(std::memcmp(&s.device_identifier, &standard_id, sizeof(GUID)), 0);
             EXPECT_EQ(s.back_buffer_32bit, 1);
             EXPECT_EQ(s.texture_filter, 2u);
             EXPECT_EQ(s.anisotropy, 4u); // the device's 16, at most 4
             EXPECT_EQ(s.compressed_texture, 1);
             EXPECT_EQ(s.gamma_enable, 0); // it renders in a window
             EXPECT_EQ(s.water_vs + s.wind_vs + s.cloud_vs + s.point_light_vs, 4);
             EXPECT_EQ(d.present.FullScreen_PresentationInterval, D3DPRESENT_INTERVAL_ONE);
             EXPECT_EQ(d.present.BackBufferFormat, D3DFMT_X8R8G8B8);
             EXPECT_EQ(d.present.AutoDepthStencilFormat, D3DFMT_D24S8);
             EXPECT_EQ(d.present.MultiSampleType, D3DMULTISAMPLE_NONE);
             EXPECT_EQ(s.behaviour_flags, D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE);
         }},
        {"adapter 5 on a one-adapter machine is adapter 0", standard,
         [](RendererSettings& s) { s.adapter = 5; },
         [](const DeviceSettings& d) {
             EXPECT_EQ(d.settings.adapter, 0u);
             EXPECT_EQ(d.present.BackBufferWidth, 800u); // the mode is kept
         }},
        {"a device type past the count is clamped", standard, [](RendererSettings& s) { s.device_type = 3; },
         [](const DeviceSettings& d) { EXPECT_EQ(d.settings.device_type, 0); }},
        {"another adapter's identifier takes the defaults", standard,
         [](RendererSettings& s) {
             s.device_identifier = GUID{1, 2, 3, {4}};
         },
         [&](const DeviceSettings& d) {
             EXPECT_EQ(d.present.BackBufferWidth, 640u);
             EXPECT_EQ(std::memcmp(&d.settings.device_identifier, &standard_id, sizeof(GUID)), 0);
         }},
        {"a zero identifier keeps the settings", standard, [](RendererSettings&) {},
         [](const DeviceSettings& d) {
             EXPECT_EQ(d.present.BackBufferWidth, 800u);
             EXPECT_EQ(d.settings.wait_vsync, 0);
         }},
        {"a missing 800x600 takes the defaults, windowed too", no_800,
         [](RendererSettings& s) { s.windowed = 1; },
         [](const DeviceSettings& d) {
             EXPECT_EQ(d.settings.windowed, 1);
             EXPECT_TRUE(d.present.Windowed);
             EXPECT_EQ(d.present.BackBufferWidth, 640u);
             EXPECT_EQ(d.present.BackBufferHeight, 480u);
             EXPECT_EQ(d.present.BackBufferFormat, D3DFMT_X8R8G8B8); // the desktop's format
             EXPECT_EQ(d.present.AutoDepthStencilFormat, D3DFMT_D24S8);
             EXPECT_EQ(d.present.FullScreen_PresentationInterval, D3DPRESENT_INTERVAL_DEFAULT);
         }},
        {"refresh 75 on a 60-only mode becomes 0", standard, [](RendererSettings& s) { s.refresh_rate = 75; },
         [](const DeviceSettings& d) {
             EXPECT_EQ(d.settings.refresh_rate, 0u);
             EXPECT_EQ(d.present.FullScreen_RefreshRateInHz, 0u);
         }},
        {"a listed refresh rate is kept", standard,
         [](RendererSettings& s) {
             s.back_buffer_width = 640, s.back_buffer_height = 480;
             s.refresh_rate = 75;
         },
         [](const DeviceSettings& d) { EXPECT_EQ(d.present.FullScreen_RefreshRateInHz, 75u); }},
        {"full screen in 16 bits", standard, [](RendererSettings& s) { s.wait_vsync = 0; },
         [](const DeviceSettings& d) {
             EXPECT_EQ(d.present.BackBufferFormat, D3DFMT_R5G6B5);
             EXPECT_EQ(d.present.AutoDepthStencilFormat, D3DFMT_D16);
             EXPECT_EQ(d.present.FullScreen_PresentationInterval, D3DPRESENT_INTERVAL_IMMEDIATE);
             EXPECT_EQ(d.present.BackBufferCount, 1u);
             EXPECT_EQ(d.present.SwapEffect, D3DSWAPEFFECT_DISCARD);
             EXPECT_TRUE(d.present.EnableAutoDepthStencil);
         }},
        {"samples the mode offers are used", standard, [](RendererSettings& s) { s.multisample_type = 4; },
         [](const DeviceSettings& d) { EXPECT_EQ(d.present.MultiSampleType, D3DMULTISAMPLE_4_SAMPLES); }},
        {"samples it lacks leave none", standard, [](RendererSettings& s) { s.multisample_type = 3; },
         [](const DeviceSettings& d) { EXPECT_EQ(d.present.MultiSampleType, D3DMULTISAMPLE_NONE); }},
        {"anisotropy 0 becomes 1, filter 7 becomes 2, triple buffering two buffers", standard,
         [](RendererSettings& s) {
             s.anisotropy = 0;
             s.texture_filter = 7;
             s.triple_buffer = 1;
         },
         [](const DeviceSettings& d) {
             EXPECT_EQ(d.settings.anisotropy, 1u);
             EXPECT_EQ(d.settings.texture_filter, 2u);
             EXPECT_EQ(d.present.BackBufferCount, 2u);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RendererSettings settings = chosen_settings(800, 600);
        c.set(settings);
        Chosen chosen = choose(machine_of({c.adapter}), settings);
        ASSERT_EQ(chosen.result, S_OK);
        EXPECT_EQ(chosen.device.present.hDeviceWindow, fake_window());
        c.check(chosen.device);
    }
}

TEST_F(ModeChoiceTest, OldDriverFlagMarksTheOneDriverLine)
{
    auto version = [](std::int64_t product, std::int64_t v, std::int64_t sub, std::int64_t build) {
        return product << 48 | v << 32 | sub << 16 | build;
    };
    struct Case {
        DWORD vendor;
        std::int64_t version;
        std::uint8_t old;
    } cases[] = {
        {0x10DE, version(6, 13, 10, 2831), 1},
        {0x10DE, version(6, 13, 10, 2832), 0},
        {0x10DE, version(6, 14, 10, 100), 0},
        {0x1002, version(6, 13, 10, 100), 0},
    };
    for (const Case& c : cases) {
        D3D8AdapterProfile adapter = standard_adapter();
        adapter.identifier.VendorId = c.vendor;
        adapter.identifier.DriverVersion = c.version;
        RendererSettings settings = chosen_settings(800, 600);
        settings.old_driver = 1; // cleared before it is judged
        EXPECT_EQ(choose(machine_of({adapter}), settings).device.settings.old_driver, c.old) << c.version;
    }
}

TEST_F(ModeChoiceTest, NothingToChooseFailsWithTheNoAdapterCode)
{
    EXPECT_EQ(choose(D3D8Machine{}, chosen_settings(640, 480)).result, D3D_ENUM_NO_ADAPTER);
}

TEST_F(ModeChoiceTest, DefaultsFollowTheDeviceTypesCaps)
{
    D3D8AdapterProfile adapter = standard_adapter();
    D3D8DeviceTypeProfile& hal = *adapter.hal;
    hal = windowless(hal);
    hal.caps.VertexShaderVersion = D3DVS_VERSION(1, 0);
    hal.caps.TextureFilterCaps &= ~D3DPTFILTERCAPS_MIPFLINEAR;
    hal.caps.MaxAnisotropy = 2;
    hal.texture_formats = {D3DFMT_A8R8G8B8, D3DFMT_DXT1};
    hal.multisample_windowed.clear();
    Enumerated e = enumerate(machine_of({adapter}));
    RendererSettings s;
    s.window = fake_window();
    s.windowed = 1;
    d3d_default_settings(*e.record, s);
    EXPECT_EQ(s.window, fake_window());
    EXPECT_EQ(s.windowed, 1);
    EXPECT_EQ(s.texture_filter, 1u);
    EXPECT_EQ(s.anisotropy, 2u);
    EXPECT_EQ(s.compressed_texture, 0);
    EXPECT_EQ(s.gamma_enable, 1); // no window rendering, full-screen gamma
    EXPECT_EQ(s.water_vs + s.wind_vs + s.cloud_vs + s.point_light_vs, 0);
    EXPECT_EQ(s.caps_multisampling, 1); // the full-screen table counts for a windowless type
    EXPECT_EQ(s.caps_a8r8g8b8_textures, 1);
    EXPECT_EQ(s.caps_x8r8g8b8_textures, 0);
    EXPECT_EQ(s.caps_environment_bump, 0); // no V8U8 textures
    EXPECT_EQ(s.caps_dot_product_bump, 1);
    EXPECT_EQ(s.caps_blend_operations, 1);
}

// ---- Mode text -----------------------------------------------------------------------------------
TEST(D3DModeString, NamesSizeFormatsSamplesAndFlagsInOrder)
{
    struct Case {
        UINT width, height;
        D3DFORMAT format, depth;
        D3DMULTISAMPLE_TYPE samples;
        DWORD flags;
        const char* text;
    } cases[] = {
        {640, 480, D3DFMT_X8R8G8B8, D3DFMT_D16, D3DMULTISAMPLE_4_SAMPLES,
         D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE,
         "640x480x32(X888)(D16)(4 samples) HWVP(pure) DX8.1"},
        {800, 600, D3DFMT_R5G6B5, D3DFMT_D24S8, D3DMULTISAMPLE_NONE,
         D3DCREATE_PUREDEVICE | D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_FPU_PRESERVE |
             D3DCREATE_MULTITHREADED,
         "800x600x16(565)(D24S8) MultiThreaded Fpu_Preserve SWVP(pure) DX8.1"},
        {1024, 768, D3DFMT_X1R5G5B5, D3DFMT_D15S1, D3DMULTISAMPLE_NONE, D3DCREATE_MIXED_VERTEXPROCESSING,
         "1024x768x16(555)(D15S1) MixedVP DX8.1"},
        {320, 200, D3DFMT_A8R8G8B8, D3DFMT_D24X4S4, D3DMULTISAMPLE_2_SAMPLES, 0,
         "320x200x32(8888)(D24X4S4)(2 samples) DX8.1"},
        {1, 2, D3DFMT_R8G8B8, D3DFMT_D32, D3DMULTISAMPLE_NONE, 0, "1x2x24(888)(D32) DX8.1"},
        {3, 4, D3DFMT_A1R5G5B5, D3DFMT_D16_LOCKABLE, D3DMULTISAMPLE_NONE, 0, "3x4xother DX8.1"},
        {5, 6, D3DFMT_X8R8G8B8, D3DFMT_D24X8, D3DMULTISAMPLE_NONE, 0, "5x6x32(X888)(D24X8) DX8.1"},
    };
    DeviceSettings saved = g_device_settings;
    for (const Case& c : cases) {
        g_device_settings.present.BackBufferWidth = c.width;
        g_device_settings.present.BackBufferHeight = c.height;
        g_device_settings.present.BackBufferFormat = c.format;
        g_device_settings.present.AutoDepthStencilFormat = c.depth;
        g_device_settings.present.MultiSampleType = c.samples;
        g_device_settings.settings.behaviour_flags = c.flags;
        char text[D3D_MODE_TEXT_SIZE];
        d3d_mode_string(text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
    g_device_settings = saved;
}

// ---- The device ----------------------------------------------------------------------------------
namespace {

// The archive with every vertex-shader object the table names, so the device's start-up loads
// them all, and the engine globals put back after each test.
class D3DDeviceTest : public D3D8SeamTest {
protected:
    void SetUp() override
    {
        D3D8SeamTest::SetUp();
        std::set<std::string> names;
        std::vector<ArchiveSource> files;
        std::vector<std::uint8_t> program = vso_bytes(vso_minimal_program());
        for (int slot = 1; slot <= SHADER_COUNT; ++slot)
            if (names.insert(shader_name(slot)).second)
                files.push_back({std::string("data\\vs_dx8\\") + shader_name(slot) + ".vso", program});
        ASSERT_TRUE(archive_write_pair(m_folder.path(), "data", archive_build(files)));
        ASSERT_EQ(vfs::Startup((m_folder.windows() + "\\").c_str()), S_OK);
        d3d8_seam_set_machine(machine_of({standard_adapter()}));
        m_saved_origin = g_window_origin;
    }
    void TearDown() override
    {
        D3D::Shutdown();
        vfs_close_all();
        g_device_settings = DeviceSettings{};
        g_tex_x8r8g8b8_ok = g_tex_a8r8g8b8_ok = false;
        g_window_origin = m_saved_origin;
        D3D8SeamTest::TearDown();
    }

    static RendererSettings windowed_settings(HWND window = fake_window())
    {
        RendererSettings s = chosen_settings(640, 480);
        s.window = window;
        s.windowed = 1;
        return s;
    }

    TempFolder m_folder;
    WindowOrigin m_saved_origin;
};

int count_software_shaders()
{
    int count = 0;
    for (int slot = 1; slot <= SHADER_COUNT; ++slot) {
        const D3DVertexShader* shader = d3d8_vertex_shader(*g_d3d_device, shader_handle(slot));
        if (shader && shader->usage == D3DUSAGE_SOFTWAREPROCESSING) ++count;
    }
    return count;
}

} // namespace

TEST_F(D3DDeviceTest, InitializeCreatesTheDeviceWithStatesShadersFogAndGamma)
{
    RendererSettings s = windowed_settings();
    s.gamma_enable = 1;
    s.gamma = 2.0f;
    ASSERT_EQ(D3D::Initialize(s), S_OK);
    ASSERT_NE(g_d3d_device, nullptr);
    EXPECT_TRUE(g_requested_windowed);
    EXPECT_EQ(d3d8_behavior_flags(*g_d3d_device), D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_PUREDEVICE);
    EXPECT_FALSE(g_vp_software);
    EXPECT_FALSE(g_vs_software);
    EXPECT_TRUE(g_tex_x8r8g8b8_ok);
    EXPECT_TRUE(g_tex_a8r8g8b8_ok);
    EXPECT_EQ(g_device_caps.VertexShaderVersion, D3DVS_VERSION(1, 1));
    EXPECT_EQ(g_fog_near, 5.0f);
    EXPECT_EQ(g_fog_far, 300.0f);
    EXPECT_FLOAT_EQ(g_fog_vs_constants[0], -1.0f / 295.0f);
    EXPECT_FLOAT_EQ(g_fog_vs_constants[1], 300.0f / 295.0f);
    EXPECT_EQ(d3d8_vertex_shader_count(*g_d3d_device), std::size_t(SHADER_COUNT));
    EXPECT_EQ(count_software_shaders(), 0);
    EXPECT_EQ(d3d8_present_parameters(*g_d3d_device).BackBufferFormat, D3DFMT_X8R8G8B8);
    // The renderer's defaults reached the device.
    EXPECT_EQ(d3d8_device_state(*g_d3d_device).render[D3DRS_LIGHTING], DWORD(FALSE));
    const D3DGAMMARAMP& ramp = d3d8_device_state(*g_d3d_device).gamma_ramp;
    EXPECT_EQ(ramp.green[64], WORD(std::pow(64 * 0.003921569f, 0.5f) * 65535.0f));
    EXPECT_EQ(d3d8_device_state(*g_d3d_device).gamma_flags, D3DSGR_NO_CALIBRATION);
}

TEST_F(D3DDeviceTest, SoftwareProcessingIsForcedBySettingOrMissingHardware)
{
    RendererSettings s = windowed_settings();
    s.force_software_vp = 1;
    ASSERT_EQ(D3D::Initialize(s), S_OK);
    EXPECT_EQ(d3d8_behavior_flags(*g_d3d_device), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    EXPECT_TRUE(g_vp_software);
    EXPECT_TRUE(g_vs_software);
    EXPECT_EQ(count_software_shaders(), SHADER_COUNT);
    D3D::Shutdown();

    D3D8AdapterProfile vs10 = standard_adapter();
    vs10.hal->caps.VertexShaderVersion = D3DVS_VERSION(1, 0);
    d3d8_seam_set_machine(machine_of({vs10}));
    ASSERT_EQ(D3D::Initialize(windowed_settings()), S_OK);
    EXPECT_EQ(d3d8_behavior_flags(*g_d3d_device), D3DCREATE_SOFTWARE_VERTEXPROCESSING);
    EXPECT_EQ(count_software_shaders(), SHADER_COUNT);
}

TEST_F(D3DDeviceTest, MultithreadedOnlyWhenForcedSinceTheRegistryHasNoDebugRuntime)
{
    ASSERT_EQ(D3D::Initialize(windowed_settings()), S_OK);
    EXPECT_FALSE(d3d8_behavior_flags(*g_d3d_device) & D3DCREATE_MULTITHREADED);
    D3D::Shutdown();
    RendererSettings s = windowed_settings();
    s.force_multithreaded = 1;
    ASSERT_EQ(D3D::Initialize(s), S_OK);
    EXPECT_TRUE(d3d8_behavior_flags(*g_d3d_device) & D3DCREATE_MULTITHREADED);
    char text[D3D_MODE_TEXT_SIZE];
    d3d_mode_string(text, sizeof text);
    EXPECT_STREQ(text, "640x480x32(X888)(D24S8) MultiThreaded HWVP(pure) DX8.1");
}

TEST_F(D3DDeviceTest, InitializeFailsWithoutCreatingADeviceWhenNothingCanBeChosen)
{
    d3d8_seam_set_machine(D3D8Machine{});
    EXPECT_EQ(D3D::Initialize(windowed_settings()), D3D_ENUM_NO_ADAPTER);
    EXPECT_EQ(g_d3d_device, nullptr);
    D3D::Shutdown();
    d3d8_seam_fail(D3D8Call::Create, E_FAIL);
    EXPECT_EQ(D3D::Initialize(windowed_settings()), ERR_D3D_CREATE);
    EXPECT_EQ(g_d3d, nullptr);
}

TEST_F(D3DDeviceTest, FailedCreateDeviceThrowsWithTheModeDescription)
{
    d3d8_seam_fail(D3D8Call::CreateDevice, D3DERR_NOTAVAILABLE);
    std::string text;
    try {
        D3D::Initialize(windowed_settings());
    } catch (const RuntimeError& error) {
        text = error.text;
    }
    char expected[ERR_DETAIL_SIZE];
    err_hresult_text(D3DERR_NOTAVAILABLE,
                     "Failed to create D3D device.\r\nYour hardware may not\r\nmeet the requirements.\r\n"
                     "640x480x32(X888)(D24S8) HWVP(pure) DX8.1",
                     expected, sizeof expected);
    EXPECT_EQ(text, std::string(expected) + "\nd3d_core(394)\n");
    EXPECT_EQ(g_d3d_device, nullptr);
}

TEST_F(D3DDeviceTest, GammaRampFollowsTheClampedValue)
{
    D3D8AdapterProfile calibrating = standard_adapter();
    calibrating.hal->caps.Caps2 |= D3DCAPS2_CANCALIBRATEGAMMA;
    d3d8_seam_set_machine(machine_of({calibrating}));
    ASSERT_EQ(D3D::Initialize(windowed_settings()), S_OK);
    RendererSettings& s = g_device_settings.settings;
    auto ramp_for = [&](float gamma, bool apply) {
        s.gamma = gamma;
        d3d_set_gamma(apply);
        return d3d8_device_state(*g_d3d_device).gamma_ramp;
    };
    s.gamma_enable = 0;
    std::uint64_t calls = d3d8_call_counts(*g_d3d_device).gamma_ramps;
    ramp_for(2.0f, true);
    EXPECT_EQ(d3d8_call_counts(*g_d3d_device).gamma_ramps, calls); // nothing without GammaEnable

    s.gamma_enable = 1;
    D3DGAMMARAMP identity = ramp_for(3.0f, false);
    for (int i : {0, 1, 128, 255})
        EXPECT_EQ(identity.red[i], WORD(i * 257)) << i;
    EXPECT_EQ(d3d8_device_state(*g_d3d_device).gamma_flags, D3DSGR_CALIBRATE);
    D3DGAMMARAMP two = ramp_for(2.0f, true);
    for (int i : {0, 1, 100, 254, 255})
        EXPECT_EQ(two.blue[i], WORD(std::pow(i * 0.003921569f, 0.5f) * 65535.0f)) << i;
    D3DGAMMARAMP low = ramp_for(0.1f, true), quarter = ramp_for(0.25f, true);
    D3DGAMMARAMP high = ramp_for(9.0f, true), five = ramp_for(5.0f, true);
    EXPECT_EQ(std::memcmp(&low, &quarter, sizeof low), 0);
    EXPECT_EQ(std::memcmp(&high, &five, sizeof high), 0);
    EXPECT_NE(std::memcmp(&quarter, &five, sizeof five), 0);
}

TEST_F(D3DDeviceTest, ClearBlackReportsALostDeviceAndClearsOtherwise)
{
    ASSERT_EQ(D3D::Initialize(windowed_settings()), S_OK);
    std::uint64_t clears = d3d8_call_counts(*g_d3d_device).clears;
    d3d8_seam_script_cooperative({D3DERR_DEVICELOST, D3D_OK});
    EXPECT_EQ(d3d_clear_black(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), D3DERR_DEVICELOST);
    EXPECT_EQ(d3d8_call_counts(*g_d3d_device).clears, clears);
    EXPECT_EQ(d3d_clear_black(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER), D3D_OK);
    EXPECT_EQ(d3d8_call_counts(*g_d3d_device).clears, clears + 1);
    DWORD pixel;
    std::memcpy(&pixel, d3d8_surface_bits(d3d8_back_buffer(*g_d3d_device)), 4);
    EXPECT_EQ(pixel, 0xFF000000u);
}

TEST_F(D3DDeviceTest, FailedResetStaysPendingUntilARetrySucceeds)
{
    ASSERT_EQ(D3D::Initialize(windowed_settings()), S_OK);
    g_requested_windowed = true;
    d3d8_seam_fail(D3D8Call::Reset, D3DERR_DRIVERINTERNALERROR);
    EXPECT_EQ(d3d_reset_device(), D3DERR_DRIVERINTERNALERROR);
    EXPECT_TRUE(g_d3d_reset_pending);
    EXPECT_EQ(d3d8_vertex_shader_count(*g_d3d_device), 0u); // deleted before the reset, not restored
    EXPECT_EQ(g_d3d_device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);

    EXPECT_EQ(d3d_reset_device(), S_OK);
    EXPECT_FALSE(g_d3d_reset_pending);
    EXPECT_EQ(d3d8_vertex_shader_count(*g_d3d_device), std::size_t(SHADER_COUNT));
    EXPECT_EQ(g_d3d_device->TestCooperativeLevel(), D3D_OK);

    // A machine that offers nothing any more fails the reset before the device is touched.
    IDirect3D8* working = g_d3d;
    d3d8_seam_set_machine(D3D8Machine{});
    g_d3d = Direct3DCreate8(D3D_SDK_VERSION);
    std::uint64_t resets = d3d8_call_counts(*g_d3d_device).resets;
    EXPECT_EQ(d3d_reset_device(), E_FAIL);
    EXPECT_TRUE(g_d3d_reset_pending);
    EXPECT_EQ(d3d8_call_counts(*g_d3d_device).resets, resets);
    g_d3d->Release();
    g_d3d = working;
}

TEST_F(D3DDeviceTest, ResetRestylesAndPlacesTheWindow)
{
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.lpszClassName = "D3DCoreTestWindow";
    ASSERT_NE(RegisterClassExA(&window_class), 0);
    HWND window = CreateWindowExA(0, "D3DCoreTestWindow", "device", 0x10CB0000, 10, 10, 660, 520, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(D3D::Initialize(windowed_settings(window)), S_OK);

    g_window_origin.remembered_x = 900;
    g_window_origin.remembered_y = 700;
    g_requested_windowed = false;
    ASSERT_EQ(d3d_reset_device(), S_OK);
    EXPECT_FALSE(d3d8_present_parameters(*g_d3d_device).Windowed);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), 0x90000000u);
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.right - rect.left, 640);
    EXPECT_EQ(rect.bottom - rect.top, 480);

    g_requested_windowed = true;
    ASSERT_EQ(d3d_reset_device(), S_OK);
    EXPECT_TRUE(d3d8_present_parameters(*g_d3d_device).Windowed);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE)), 0x10CB0000u);
    // Back from full screen the position is pulled onto the back buffer's area.
    EXPECT_EQ(g_window_origin.remembered_x, 639);
    EXPECT_EQ(g_window_origin.remembered_y, 479);
    RECT expected{0, 0, 640, 480};
    AdjustWindowRect(&expected, 0x10CB0000, FALSE);
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, expected.left + 639);
    EXPECT_EQ(rect.top, expected.top + 479);
    EXPECT_EQ(rect.right - rect.left, expected.right - expected.left);
    EXPECT_EQ(d3d8_vertex_shader_count(*g_d3d_device), std::size_t(SHADER_COUNT));

    D3D::Shutdown();
    DestroyWindow(window);
    UnregisterClassA("D3DCoreTestWindow", nullptr);
}
