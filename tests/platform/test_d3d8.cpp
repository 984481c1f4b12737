#include "platform/d3d8.h"
#include "platform/impl/d3d8_seams.h"

#include "d3d8_machines.h"
#include "lib/vso_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const DWORD k_position_color_decl[] = {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3),
                                       D3DVSD_REG(1, D3DVSDT_D3DCOLOR), D3DVSD_END()};

class D3D8Test : public D3D8SeamTest {
protected:
    void SetUp() override
    {
        D3D8SeamTest::SetUp();
        d3d8_seam_set_machine(machine_of({standard_adapter()}));
        m_d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(m_d3d, nullptr);
    }
    void TearDown() override
    {
        if (m_device) {
            EXPECT_EQ(m_device->Release(), 0u) << "a test leaked a resource";
        }
        if (m_d3d) {
            EXPECT_EQ(m_d3d->Release(), 0u);
        }
        D3D8SeamTest::TearDown();
    }

    HRESULT create(D3DPRESENT_PARAMETERS params, DWORD flags = D3DCREATE_HARDWARE_VERTEXPROCESSING)
    {
        m_params = params;
        return m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, fake_window(), flags, &m_params, &m_device);
    }
    void create_windowed() { ASSERT_EQ(create(windowed_present_params(320, 240)), D3D_OK); }

    IDirect3D8* m_d3d = nullptr;
    IDirect3DDevice8* m_device = nullptr;
    D3DPRESENT_PARAMETERS m_params{};
};

} // namespace

// ---- The machine ---------------------------------------------------------------------------------
TEST_F(D3D8SeamTest, HostMachineOffersTheCommonSizesAndAStableIdentifier)
{
    D3D8Machine first = d3d8_host_machine();
    ASSERT_FALSE(first.adapters.empty());
    const D3D8AdapterProfile& adapter = first.adapters[0];
    auto has = [&](UINT w, UINT h, D3DFORMAT f) {
        for (const D3DDISPLAYMODE& m : adapter.modes)
            if (m.Width == w && m.Height == h && m.Format == f) return true;
        return false;
    };
    EXPECT_TRUE(has(640, 480, D3DFMT_X8R8G8B8));
    EXPECT_TRUE(has(640, 480, D3DFMT_R5G6B5));
    EXPECT_TRUE(has(adapter.desktop.Width, adapter.desktop.Height, adapter.desktop.Format));
    for (const D3DDISPLAYMODE& m : adapter.modes) {
        EXPECT_LE(m.Width, adapter.desktop.Width);
        EXPECT_LE(m.Height, adapter.desktop.Height);
    }
    ASSERT_TRUE(adapter.hal.has_value());
    EXPECT_EQ(adapter.hal->caps.VertexShaderVersion, D3DVS_VERSION(1, 1));

    D3D8Machine second = d3d8_host_machine();
    EXPECT_EQ(std::memcmp(&first.adapters[0].identifier.DeviceIdentifier,
                          &second.adapters[0].identifier.DeviceIdentifier, sizeof(GUID)),
              0);
    EXPECT_STRNE(adapter.identifier.Description, "");
}

TEST_F(D3D8SeamTest, IdentifierGuidDependsOnTheHostStrings)
{
    GUID a = d3d8_identifier_guid("drv", "GPU one", 0x10DE, 1);
    GUID b = d3d8_identifier_guid("drv", "GPU one", 0x10DE, 1);
    GUID c = d3d8_identifier_guid("drv", "GPU two", 0x10DE, 1);
    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
    EXPECT_NE(std::memcmp(&a, &c, sizeof a), 0);
}

TEST_F(D3D8SeamTest, CreateFailsForAnotherSdkOrAnInjectedFailure)
{
    EXPECT_EQ(Direct3DCreate8(120), nullptr);
    d3d8_seam_fail(D3D8Call::Create, E_FAIL);
    EXPECT_EQ(Direct3DCreate8(D3D_SDK_VERSION), nullptr);
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION); // the failure was used up
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->Release(), 0u);
}

TEST_F(D3D8Test, AdapterQueriesAnswerFromTheMachine)
{
    D3D8AdapterProfile ref_only = standard_adapter("Second");
    ref_only.hal.reset();
    ref_only.ref = d3d8_hardware_profile();
    d3d8_seam_set_machine(machine_of({standard_adapter(), ref_only}));
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    ASSERT_NE(d3d, nullptr);
    EXPECT_EQ(d3d->GetAdapterCount(), 2u);
    EXPECT_EQ(d3d->GetAdapterModeCount(0), 5u);
    D3DDISPLAYMODE mode;
    EXPECT_EQ(d3d->EnumAdapterModes(0, 4, &mode), D3D_OK);
    EXPECT_EQ(mode.Width, 1024u);
    EXPECT_EQ(d3d->EnumAdapterModes(0, 5, &mode), D3DERR_INVALIDCALL);
    D3DADAPTER_IDENTIFIER8 id;
    EXPECT_EQ(d3d->GetAdapterIdentifier(2, 0, &id), D3DERR_INVALIDCALL);
    D3DCAPS8 caps;
    EXPECT_EQ(d3d->GetDeviceCaps(1, D3DDEVTYPE_HAL, &caps), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->GetDeviceCaps(1, D3DDEVTYPE_REF, &caps), D3D_OK);
    EXPECT_EQ(caps.DeviceType, D3DDEVTYPE_REF);
    EXPECT_EQ(caps.AdapterOrdinal, 1u);

    struct Check {
        HRESULT result;
        HRESULT expected;
    } checks[] = {
        {d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, TRUE), D3D_OK},
        {d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, FALSE), D3D_OK},
        // A window renders in the desktop's format only.
        {d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_R5G6B5, D3DFMT_R5G6B5, TRUE), D3DERR_NOTAVAILABLE},
        {d3d->CheckDeviceType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_R5G6B5, FALSE), D3DERR_NOTAVAILABLE},
        {d3d->CheckDeviceType(0, D3DDEVTYPE_REF, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, FALSE),
         D3DERR_NOTAVAILABLE},
        {d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                D3DFMT_D24S8),
         D3D_OK},
        {d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_DEPTHSTENCIL, D3DRTYPE_SURFACE,
                                D3DFMT_D32),
         D3DERR_NOTAVAILABLE},
        {d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, 0, D3DRTYPE_TEXTURE, D3DFMT_DXT3),
         D3D_OK},
        {d3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE,
                                D3DFMT_DXT1),
         D3DERR_NOTAVAILABLE},
        {d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_4_SAMPLES),
         D3D_OK},
        {d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_3_SAMPLES),
         D3DERR_NOTAVAILABLE},
        {d3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, D3DFMT_D16),
         D3D_OK},
    };
    for (std::size_t i = 0; i < std::size(checks); ++i)
        EXPECT_EQ(checks[i].result, checks[i].expected) << i;
    EXPECT_EQ(d3d->Release(), 0u);
}

// ---- Device creation -----------------------------------------------------------------------------
TEST_F(D3D8Test, CreateDeviceChecksFlagsAndPresentParameters)
{
    D3D8AdapterProfile no_tnl = standard_adapter();
    no_tnl.hal->caps.DevCaps &= ~(D3DDEVCAPS_HWTRANSFORMANDLIGHT | D3DDEVCAPS_PUREDEVICE);
    D3DPRESENT_PARAMETERS fullscreen = windowed_present_params(800, 600);
    fullscreen.Windowed = FALSE;
    fullscreen.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_ONE;

    struct Case {
        const char* name;
        D3DPRESENT_PARAMETERS params;
        DWORD flags;
        HRESULT expected;
    };
    auto with = [](D3DPRESENT_PARAMETERS p, auto change) {
        change(p);
        return p;
    };
    const DWORD hw = D3DCREATE_HARDWARE_VERTEXPROCESSING;
    std::vector<Case> cases = {
        {"windowed", windowed_present_params(320, 240), hw, D3D_OK},
        {"pure hardware", windowed_present_params(320, 240), hw | D3DCREATE_PUREDEVICE, D3D_OK},
        {"full screen", fullscreen, D3DCREATE_SOFTWARE_VERTEXPROCESSING, D3D_OK},
        {"no processing kind", windowed_present_params(320, 240), 0, D3DERR_INVALIDCALL},
        {"two processing kinds", windowed_present_params(320, 240), hw | D3DCREATE_SOFTWARE_VERTEXPROCESSING,
         D3DERR_INVALIDCALL},
        {"pure without hardware", windowed_present_params(320, 240),
         D3DCREATE_MIXED_VERTEXPROCESSING | D3DCREATE_PUREDEVICE, D3DERR_INVALIDCALL},
        {"unlisted full-screen size", with(fullscreen, [](auto& p) { p.BackBufferWidth = 700; }), hw,
         D3DERR_INVALIDCALL},
        {"unlisted refresh", with(fullscreen, [](auto& p) { p.FullScreen_RefreshRateInHz = 85; }), hw,
         D3DERR_INVALIDCALL},
        {"windowed in another format",
         with(windowed_present_params(320, 240), [](auto& p) { p.BackBufferFormat = D3DFMT_R5G6B5; }), hw,
         D3DERR_INVALIDCALL},
        {"windowed with an interval",
         with(windowed_present_params(320, 240),
              [](auto& p) { p.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_ONE; }),
         hw, D3DERR_INVALIDCALL},
        {"unsupported samples",
         with(windowed_present_params(320, 240),
              [](auto& p) { p.MultiSampleType = D3DMULTISAMPLE_3_SAMPLES; }),
         hw, D3DERR_INVALIDCALL},
        {"samples need discard",
         with(windowed_present_params(320, 240),
              [](auto& p) {
                  p.MultiSampleType = D3DMULTISAMPLE_2_SAMPLES;
                  p.SwapEffect = D3DSWAPEFFECT_COPY;
              }),
         hw, D3DERR_INVALIDCALL},
        {"unsupported depth",
         with(windowed_present_params(320, 240), [](auto& p) { p.AutoDepthStencilFormat = D3DFMT_D32; }), hw,
         D3DERR_INVALIDCALL},
        // No window layer knows the fake window, so its client size cannot be taken.
        {"size from an unknown window", windowed_present_params(0, 0), hw, D3DERR_INVALIDCALL},
    };
    for (const Case& c : cases) {
        D3DPRESENT_PARAMETERS params = c.params;
        IDirect3DDevice8* device = nullptr;
        EXPECT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, fake_window(), c.flags, &params, &device),
                  c.expected)
            << c.name;
        if (device) {
            EXPECT_EQ(params.BackBufferCount, 1u) << c.name; // filled in as the platform does
            EXPECT_EQ(device->Release(), 0u);
        }
    }

    d3d8_seam_set_machine(machine_of({no_tnl}));
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS params = windowed_present_params(320, 240);
    IDirect3DDevice8* device = nullptr;
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fake_window(), hw, &params, &device), D3DERR_INVALIDCALL);
    EXPECT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_REF, fake_window(), hw, &params, &device), D3DERR_NOTAVAILABLE);
    EXPECT_EQ(d3d->Release(), 0u);
}

TEST_F(D3D8Test, InjectedCreationFailuresFailOnceAfterTheSkippedCalls)
{
    d3d8_seam_fail(D3D8Call::CreateDevice, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(create(windowed_present_params(320, 240)), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(m_device, nullptr);
    create_windowed();

    d3d8_seam_fail(D3D8Call::CreateVertexBuffer, D3DERR_OUTOFVIDEOMEMORY, 1);
    IDirect3DVertexBuffer8* first = nullptr;
    IDirect3DVertexBuffer8* second = nullptr;
    IDirect3DVertexBuffer8* third = nullptr;
    EXPECT_EQ(m_device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &first), D3D_OK);
    EXPECT_EQ(m_device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &second), D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(m_device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, &third), D3D_OK);
    first->Release();
    third->Release();
}

TEST_F(D3D8Test, NewDeviceHoldsThePlatformDefaults)
{
    create_windowed();
    const D3DDeviceState& s = d3d8_device_state(*m_device);
    EXPECT_EQ(s.render[D3DRS_ZENABLE], DWORD(D3DZB_TRUE));
    EXPECT_EQ(s.render[D3DRS_CULLMODE], DWORD(D3DCULL_CCW));
    EXPECT_EQ(s.render[D3DRS_SRCBLEND], DWORD(D3DBLEND_ONE));
    EXPECT_EQ(s.render[D3DRS_LIGHTING], DWORD(TRUE));
    EXPECT_EQ(s.render[D3DRS_COLORWRITEENABLE], 0xFu);
    EXPECT_EQ(s.render[D3DRS_TEXTUREFACTOR], 0xFFFFFFFFu);
    EXPECT_EQ(s.stage[0][D3DTSS_COLOROP], DWORD(D3DTOP_MODULATE));
    EXPECT_EQ(s.stage[0][D3DTSS_ALPHAOP], DWORD(D3DTOP_SELECTARG1));
    EXPECT_EQ(s.stage[1][D3DTSS_COLOROP], DWORD(D3DTOP_DISABLE));
    EXPECT_EQ(s.stage[3][D3DTSS_TEXCOORDINDEX], 3u);
    EXPECT_EQ(s.stage[2][D3DTSS_MAXANISOTROPY], 1u);
    EXPECT_EQ(s.viewport.Width, 320u);
    EXPECT_EQ(s.viewport.MaxZ, 1.0f);
    EXPECT_EQ(s.render_target, &d3d8_back_buffer(*m_device));
    EXPECT_EQ(s.gamma_ramp.red[255], 0xFFFFu);
    EXPECT_EQ(s.gamma_ramp.red[1], 0x101u);
}

// ---- Resources -----------------------------------------------------------------------------------
TEST_F(D3D8Test, ReferenceCountsFollowThePlatform)
{
    create_windowed();
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(m_device->CreateTexture(64, 32, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    EXPECT_EQ(texture->GetLevelCount(), 7u);  // 64x32 down to 1x1
    EXPECT_EQ(d3d8_ref_count(*m_device), 2u); // the texture holds the device
    IDirect3DSurface8* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(2, &level), D3D_OK);
    EXPECT_EQ(d3d8_ref_count(*texture), 2u); // levels count through their texture
    D3DSURFACE_DESC desc;
    level->GetDesc(&desc);
    EXPECT_EQ(desc.Width, 16u);
    EXPECT_EQ(desc.Height, 8u);
    EXPECT_EQ(level->Release(), 1u);

    // Bound, the texture outlives its last release until it is unbound.
    m_device->SetTexture(0, texture);
    EXPECT_EQ(texture->Release(), 0u);
    EXPECT_EQ(d3d8_ref_count(*m_device), 1u);
    EXPECT_EQ(d3d8_device_state(*m_device).textures[0], texture);
    m_device->SetTexture(0, nullptr);
}

TEST_F(D3D8Test, BufferLocksRecordTheirRangeAndKeepTheBytes)
{
    create_windowed();
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(m_device->CreateVertexBuffer(28 * 512, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
                                           D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1,
                                           D3DPOOL_DEFAULT, &vb),
              D3D_OK);
    D3DVERTEXBUFFER_DESC desc;
    vb->GetDesc(&desc);
    EXPECT_EQ(desc.Size, 28u * 512);
    EXPECT_EQ(desc.FVF, DWORD(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1));
    EXPECT_EQ(d3d8_fvf_stride(desc.FVF), 28u);

    BYTE* data = nullptr;
    ASSERT_EQ(vb->Lock(28 * 500, 28 * 11, &data, D3DLOCK_NOOVERWRITE), D3D_OK);
    std::memset(data, 0xAB, 28 * 11);
    EXPECT_TRUE(d3d8_lock_record(*vb).locked());
    EXPECT_EQ(d3d8_lock_record(*vb).offset, 28u * 500);
    EXPECT_EQ(d3d8_lock_record(*vb).size, 28u * 11);
    EXPECT_EQ(d3d8_lock_record(*vb).flags, D3DLOCK_NOOVERWRITE);
    EXPECT_EQ(vb->Unlock(), D3D_OK);
    EXPECT_EQ(d3d8_buffer_data(*vb)[28 * 500], 0xAB);
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL);

    EXPECT_EQ(vb->Lock(28 * 500, 28 * 12 + 1, &data, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(vb->Lock(0, 0, &data, D3DLOCK_DISCARD), D3D_OK);
    EXPECT_EQ(d3d8_lock_record(*vb).size, 28u * 512); // size 0: the whole buffer
    vb->Unlock();
    d3d8_seam_fail(D3D8Call::Lock, D3DERR_INVALIDCALL);
    EXPECT_EQ(vb->Lock(0, 28, &data, 0), D3DERR_INVALIDCALL);
    EXPECT_FALSE(d3d8_lock_record(*vb).locked());
    vb->Release();
}

TEST_F(D3D8Test, VertexFormatsBeyondEightTextureSetsAreRefused)
{
    create_windowed();
    // Eight sets of four floats after the position: 12 + 8 x 16 bytes.
    constexpr DWORD eight = D3DFVF_XYZ | 0x800 | 0xAAAA0000;
    EXPECT_EQ(d3d8_fvf_stride(eight), 140u);
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(m_device->CreateVertexBuffer(140, 0, eight, D3DPOOL_MANAGED, &vb), D3D_OK);
    EXPECT_EQ(m_device->SetVertexShader(eight), D3D_OK);
    vb->Release();
    for (DWORD sets : {9u, 15u}) {
        DWORD fvf = D3DFVF_XYZ | sets << D3DFVF_TEXCOUNT_SHIFT;
        EXPECT_EQ(d3d8_fvf_stride(fvf), 0u) << sets;
        IDirect3DVertexBuffer8* refused = nullptr;
        EXPECT_EQ(m_device->CreateVertexBuffer(4096, 0, fvf, D3DPOOL_MANAGED, &refused), D3DERR_INVALIDCALL)
            << sets;
        EXPECT_EQ(refused, nullptr);
        EXPECT_EQ(m_device->SetVertexShader(fvf), D3DERR_INVALIDCALL) << sets;
    }
    EXPECT_EQ(d3d8_device_state(*m_device).vertex_shader, eight);
}

TEST_F(D3D8Test, SurfaceLocksFollowPoolUsageAndFormat)
{
    create_windowed();
    IDirect3DTexture8* video = nullptr;
    IDirect3DTexture8* managed = nullptr;
    IDirect3DTexture8* dxt = nullptr;
    ASSERT_EQ(m_device->CreateTexture(16, 16, 1, 0, D3DFMT_R5G6B5, D3DPOOL_DEFAULT, &video), D3D_OK);
    ASSERT_EQ(m_device->CreateTexture(30, 16, 1, 0, D3DFMT_R8G8B8, D3DPOOL_SYSTEMMEM, &managed),
              D3DERR_INVALIDCALL); // the device has no R8G8B8 textures
    ASSERT_EQ(m_device->CreateTexture(30, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed), D3D_OK);
    ASSERT_EQ(m_device->CreateTexture(64, 64, 2, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &dxt), D3D_OK);

    D3DLOCKED_RECT locked;
    EXPECT_EQ(video->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL); // video memory needs DYNAMIC
    ASSERT_EQ(managed->LockRect(0, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 120);
    EXPECT_EQ(managed->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL); // already locked
    managed->UnlockRect(0);
    RECT part{4, 2, 8, 6};
    ASSERT_EQ(managed->LockRect(0, &locked, &part, D3DLOCK_READONLY), D3D_OK);
    EXPECT_EQ(static_cast<std::uint8_t*>(locked.pBits) - d3d8_surface_bits(d3d8_texture_level(*managed, 0)),
              2 * 120 + 4 * 4);
    managed->UnlockRect(0);
    ASSERT_EQ(dxt->LockRect(1, &locked, nullptr, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 8 * 8); // 32 pixels: eight 4x4 blocks of 8 bytes
    D3DSURFACE_DESC desc;
    dxt->GetLevelDesc(1, &desc);
    EXPECT_EQ(desc.Size, 8u * 8 * 8);
    dxt->UnlockRect(1);
    // Blocks with an alpha half take 16 bytes; a lock of a rectangle starts at its block.
    IDirect3DTexture8* dxt5 = nullptr;
    ASSERT_EQ(m_device->CreateTexture(16, 8, 1, 0, D3DFMT_DXT5, D3DPOOL_MANAGED, &dxt5), D3D_OK);
    dxt5->GetLevelDesc(0, &desc);
    EXPECT_EQ(desc.Size, 4u * 2 * 16);
    RECT second_row{8, 4, 12, 8};
    ASSERT_EQ(dxt5->LockRect(0, &locked, &second_row, 0), D3D_OK);
    EXPECT_EQ(locked.Pitch, 4 * 16);
    EXPECT_EQ(static_cast<std::uint8_t*>(locked.pBits) - d3d8_surface_bits(d3d8_texture_level(*dxt5, 0)),
              4 * 16 + 2 * 16);
    dxt5->UnlockRect(0);
    dxt5->Release();

    IDirect3DSurface8* back = nullptr;
    m_device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
    EXPECT_EQ(back->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL); // not made lockable
    back->Release();
    video->Release();
    managed->Release();
    dxt->Release();
}

// ---- Lost device and reset -------------------------------------------------------------------------
TEST_F(D3D8Test, ResetWaitsForDefaultPoolResourcesAndRestoresDefaults)
{
    create_windowed();
    IDirect3DVertexBuffer8* vb = nullptr;
    ASSERT_EQ(m_device->CreateVertexBuffer(64, D3DUSAGE_DYNAMIC, 0, D3DPOOL_DEFAULT, &vb), D3D_OK);
    IDirect3DTexture8* managed = nullptr;
    ASSERT_EQ(m_device->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &managed), D3D_OK);
    m_device->SetRenderState(D3DRS_LIGHTING, FALSE);
    m_device->SetStreamSource(0, vb, 16);
    float constant[4] = {1, 2, 3, 4};
    m_device->SetVertexShaderConstant(5, constant, 1);

    D3DPRESENT_PARAMETERS params = windowed_present_params(640, 480);
    EXPECT_EQ(m_device->Reset(&params), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(m_device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);

    IDirect3DSurface8* back = nullptr;
    m_device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &back);
    EXPECT_EQ(vb->Release(), 0u); // still bound: the device lets it go at the reset
    EXPECT_EQ(m_device->Reset(&params), D3DERR_INVALIDCALL); // the back buffer is still held
    EXPECT_EQ(back->Release(), 0u);

    ASSERT_EQ(m_device->Reset(&params), D3D_OK);
    EXPECT_EQ(m_device->TestCooperativeLevel(), D3D_OK);
    const D3DDeviceState& s = d3d8_device_state(*m_device);
    EXPECT_EQ(s.render[D3DRS_LIGHTING], DWORD(TRUE));
    EXPECT_EQ(s.streams[0].buffer, nullptr);
    EXPECT_EQ(s.vs_constants[5][0], 0.0f);
    EXPECT_EQ(s.viewport.Width, 640u);
    EXPECT_EQ(d3d8_surface_desc(d3d8_back_buffer(*m_device)).Width, 640u);
    EXPECT_EQ(m_device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    managed->Release(); // managed resources survive the reset
}

TEST_F(D3D8Test, ScriptedLossRunsLostThenNotResetUntilAResetSucceeds)
{
    create_windowed();
    d3d8_seam_script_cooperative({D3DERR_DEVICELOST, D3DERR_DEVICELOST});
    EXPECT_EQ(m_device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(m_device->Present(nullptr, nullptr, nullptr, nullptr), D3DERR_DEVICELOST);
    D3DPRESENT_PARAMETERS params = windowed_present_params(320, 240);
    EXPECT_EQ(m_device->Reset(&params), D3DERR_DEVICELOST);
    EXPECT_EQ(m_device->TestCooperativeLevel(), D3DERR_DEVICELOST);
    EXPECT_EQ(m_device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(m_device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);

    d3d8_seam_fail(D3D8Call::Reset, D3DERR_DRIVERINTERNALERROR);
    EXPECT_EQ(m_device->Reset(&params), D3DERR_DRIVERINTERNALERROR);
    EXPECT_EQ(m_device->TestCooperativeLevel(), D3DERR_DEVICENOTRESET);
    EXPECT_EQ(m_device->Reset(&params), D3D_OK);
    EXPECT_EQ(m_device->TestCooperativeLevel(), D3D_OK);
    EXPECT_EQ(m_device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    EXPECT_EQ(d3d8_call_counts(*m_device).presents, 1u);
}

// ---- Vertex shaders ------------------------------------------------------------------------------
TEST_F(D3D8Test, VertexShaderKeepsDeclarationCodeAndElements)
{
    create_windowed();
    const DWORD decl[] = {D3DVSD_STREAM(0),
                          D3DVSD_REG(0, D3DVSDT_FLOAT3),
                          D3DVSD_SKIP(1),
                          D3DVSD_REG(2, D3DVSDT_D3DCOLOR),
                          D3DVSD_STREAM(1),
                          D3DVSD_REG(5, D3DVSDT_FLOAT1),
                          D3DVSD_CONST(4, 1),
                          0,
                          0x3F800000,
                          0,
                          0,
                          D3DVSD_END()};
    std::vector<std::uint32_t> code = vso_minimal_program();
    DWORD handle = 0;
    ASSERT_EQ(m_device->CreateVertexShader(decl, code.data(), &handle, D3DUSAGE_SOFTWAREPROCESSING,
                                           code.size() * 4),
              D3D_OK);
    EXPECT_EQ(handle & 1, 1u); // never mistaken for an FVF code
    const D3DVertexShader* shader = d3d8_vertex_shader(*m_device, handle);
    ASSERT_NE(shader, nullptr);
    EXPECT_EQ(shader->usage, D3DUSAGE_SOFTWAREPROCESSING);
    EXPECT_EQ(shader->declaration.size(), std::size(decl));
    EXPECT_EQ(shader->function, std::vector<DWORD>(code.begin(), code.end()));
    ASSERT_EQ(shader->elements.size(), 3u);
    EXPECT_EQ(shader->elements[1].offset, 16u); // after FLOAT3 and one skipped DWORD
    EXPECT_EQ(shader->elements[2].stream, 1u);
    ASSERT_EQ(shader->declared_constants.size(), 1u);
    EXPECT_EQ(shader->declared_constants[0].first, 4u);
    EXPECT_EQ(shader->declared_constants[0].second[1], 1.0f);

    DWORD second = 0;
    ASSERT_EQ(m_device->CreateVertexShader(decl, code.data(), &second, 0), D3D_OK);
    EXPECT_NE(second, handle);
    const float overwritten[4] = {9, 9, 9, 9};
    m_device->SetVertexShaderConstant(4, overwritten, 1);
    EXPECT_EQ(m_device->SetVertexShader(handle), D3D_OK);
    EXPECT_EQ(d3d8_device_state(*m_device).vs_constants[4][1],
              1.0f); // selecting the shader loads its constants
    m_device->SetVertexShaderConstant(4, overwritten, 1);
    EXPECT_EQ(d3d8_device_state(*m_device).vs_constants[4][1], 9.0f);
    EXPECT_EQ(m_device->DeleteVertexShader(handle), D3D_OK);
    EXPECT_EQ(d3d8_device_state(*m_device).vertex_shader, 0u);
    EXPECT_EQ(m_device->DeleteVertexShader(handle), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_device->SetVertexShader(handle), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_device->SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE), D3D_OK);
    EXPECT_EQ(d3d8_vertex_shader_count(*m_device), 1u);
}

TEST_F(D3D8Test, CreateVertexShaderRejectsBadDeclarations)
{
    create_windowed();
    std::vector<std::uint32_t> code = vso_minimal_program();
    struct Case {
        const char* name;
        std::vector<DWORD> decl;
    } cases[] = {
        {"register before a stream", {D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_END()}},
        {"register 16", {D3DVSD_STREAM(0), D3DVSD_REG(16, D3DVSDT_FLOAT3), D3DVSD_END()}},
        {"unknown type", {D3DVSD_STREAM(0), D3DVSD_REG(0, 9), D3DVSD_END()}},
        {"register twice",
         {D3DVSD_STREAM(0), D3DVSD_REG(0, D3DVSDT_FLOAT3), D3DVSD_REG(0, D3DVSDT_FLOAT2), D3DVSD_END()}},
        {"stream twice", {D3DVSD_STREAM(0), D3DVSD_STREAM(0), D3DVSD_END()}},
        {"constants past c95", {D3DVSD_CONST(95, 2), 0, 0, 0, 0, 0, 0, 0, 0, D3DVSD_END()}},
        {"token type 6", {0xC0000000, D3DVSD_END()}},
        {"non-zero no-op", {0x00000001, D3DVSD_END()}},
    };
    for (const Case& c : cases) {
        DWORD handle = 0;
        EXPECT_EQ(m_device->CreateVertexShader(c.decl.data(), code.data(), &handle, 0, code.size() * 4),
                  D3DERR_INVALIDCALL)
            << c.name;
    }
    EXPECT_EQ(d3d8_vertex_shader_count(*m_device), 0u);
}

TEST_F(D3D8Test, CreateVertexShaderChecksTheByteCode)
{
    create_windowed();
    using R = VsoRegister;
    auto mov = [](std::uint32_t dst, std::uint32_t src) { return vso_instruction(VSO_OP_MOV, {dst, src}); };
    std::vector<std::uint32_t> no_end = vso_minimal_program();
    no_end.pop_back();
    std::vector<std::uint32_t> long_program{VSO_VERSION_11};
    for (int i = 0; i < 129; ++i) {
        std::vector<std::uint32_t> op = mov(vso_dst(R::Temp, 0), vso_src(R::Input, 0));
        long_program.insert(long_program.end(), op.begin(), op.end());
    }
    long_program.push_back(VSO_END);
    struct Case {
        const char* name;
        std::vector<std::uint32_t> code;
        HRESULT expected;
    } cases[] = {
        {"minimal", vso_minimal_program(), D3D_OK},
        {"vs.1.0", vso_program({mov(vso_dst(R::RasterOut, 0), vso_src(R::Input, 0))}, 0xFFFE0100), D3D_OK},
        {"comment skipped",
         vso_program({vso_comment(3), mov(vso_dst(R::RasterOut, 0), vso_src(R::Const, 95))}), D3D_OK},
        {"relative constant",
         vso_program({mov(vso_dst(R::Address, 0), vso_src(R::Input, 0)),
                      mov(vso_dst(R::RasterOut, 0), vso_src(R::Const, 10, VSO_SWIZZLE_XYZW, true, true))}),
         D3D_OK},
        {"pixel-shader version", vso_program({}, 0xFFFF0101), D3DERR_INVALIDCALL},
        {"vs.2.0", vso_program({}, 0xFFFE0200), D3DERR_INVALIDCALL},
        {"unknown opcode", vso_program({vso_instruction(18, {vso_dst(R::Temp, 0), vso_src(R::Input, 0)})}),
         D3DERR_INVALIDCALL},
        {"no end within the code", no_end, D3DERR_INVALIDCALL},
        {"r12", vso_program({mov(vso_dst(R::Temp, 12), vso_src(R::Input, 0))}), D3DERR_INVALIDCALL},
        {"c96", vso_program({mov(vso_dst(R::Temp, 0), vso_src(R::Const, 96))}), D3DERR_INVALIDCALL},
        {"v16", vso_program({mov(vso_dst(R::Temp, 0), vso_src(R::Input, 16))}), D3DERR_INVALIDCALL},
        {"write to an input", vso_program({mov(vso_dst(R::Input, 0), vso_src(R::Temp, 0))}),
         D3DERR_INVALIDCALL},
        {"empty write mask", vso_program({mov(vso_dst(R::Temp, 0, 0), vso_src(R::Input, 0))}),
         D3DERR_INVALIDCALL},
        {"a0 in vs.1.0", vso_program({mov(vso_dst(R::Address, 0), vso_src(R::Input, 0))}, 0xFFFE0100),
         D3DERR_INVALIDCALL},
        {"relative input",
         vso_program({mov(vso_dst(R::Temp, 0), vso_src(R::Input, 0, VSO_SWIZZLE_XYZW, false, true))}),
         D3DERR_INVALIDCALL},
        {"parameter as instruction", vso_program({{vso_dst(R::Temp, 0)}}), D3DERR_INVALIDCALL},
        {"too many instructions", long_program, D3DERR_INVALIDCALL},
    };
    for (const Case& c : cases) {
        DWORD handle = 0;
        EXPECT_EQ(
            m_device->CreateVertexShader(k_position_color_decl, c.code.data(), &handle, 0, c.code.size() * 4),
            c.expected)
            << c.name;
        if (SUCCEEDED(c.expected)) m_device->DeleteVertexShader(handle);
    }

    D3D8AdapterProfile vs10 = standard_adapter();
    vs10.hal->caps.VertexShaderVersion = D3DVS_VERSION(1, 0);
    d3d8_seam_set_machine(machine_of({vs10}));
    IDirect3D8* d3d = Direct3DCreate8(D3D_SDK_VERSION);
    D3DPRESENT_PARAMETERS params = windowed_present_params(320, 240);
    IDirect3DDevice8* device = nullptr;
    ASSERT_EQ(d3d->CreateDevice(0, D3DDEVTYPE_HAL, fake_window(), D3DCREATE_MIXED_VERTEXPROCESSING, &params,
                                &device),
              D3D_OK);
    std::vector<std::uint32_t> code = vso_minimal_program();
    DWORD handle = 0;
    EXPECT_EQ(device->CreateVertexShader(k_position_color_decl, code.data(), &handle, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(
        device->CreateVertexShader(k_position_color_decl, code.data(), &handle, D3DUSAGE_SOFTWAREPROCESSING),
        D3D_OK);
    device->DeleteVertexShader(handle);
    EXPECT_EQ(device->Release(), 0u);
    EXPECT_EQ(d3d->Release(), 0u);
}

// ---- Draws, clears, presents ---------------------------------------------------------------------
TEST_F(D3D8Test, DrawsAreCheckedCountedAndLoggedWithTheState)
{
    create_windowed();
    IDirect3DVertexBuffer8* vb = nullptr;
    IDirect3DIndexBuffer8* ib = nullptr;
    ASSERT_EQ(m_device->CreateVertexBuffer(16 * 8, 0, D3DFVF_XYZ | D3DFVF_DIFFUSE, D3DPOOL_MANAGED, &vb),
              D3D_OK);
    ASSERT_EQ(m_device->CreateIndexBuffer(2 * 12, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED, &ib), D3D_OK);
    m_device->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
    EXPECT_EQ(m_device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL); // no stream yet
    m_device->SetStreamSource(0, vb, 16);
    EXPECT_EQ(m_device->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3DERR_INVALIDCALL); // outside a scene

    d3d8_seam_log_draws(true);
    ASSERT_EQ(m_device->BeginScene(), D3D_OK);
    EXPECT_EQ(m_device->BeginScene(), D3DERR_INVALIDCALL);
    m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    EXPECT_EQ(m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 2, 4), D3D_OK);             // vertices 2..7
    EXPECT_EQ(m_device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 3, 4), D3DERR_INVALIDCALL); // reads vertex 8
    m_device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
    EXPECT_EQ(m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 8, 0, 4),
              D3DERR_INVALIDCALL); // no indices
    m_device->SetIndices(ib, 0);
    EXPECT_EQ(m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 8, 6, 2), D3D_OK);
    EXPECT_EQ(m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 8, 7, 2), D3DERR_INVALIDCALL); // index 12
    m_device->SetIndices(ib, 1);
    EXPECT_EQ(m_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 8, 0, 1), D3DERR_INVALIDCALL); // vertex 8
    ASSERT_EQ(m_device->EndScene(), D3D_OK);

    EXPECT_EQ(d3d8_call_counts(*m_device).draws, 2u);
    const std::vector<D3D8DrawRecord>& draws = d3d8_seam_draws();
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_EQ(draws[0].call.type, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(draws[0].call.start, 2u);
    EXPECT_EQ(draws[0].state.render[D3DRS_ALPHABLENDENABLE], DWORD(TRUE));
    EXPECT_TRUE(draws[1].call.indexed);
    EXPECT_EQ(draws[1].state.render[D3DRS_ALPHABLENDENABLE], DWORD(FALSE));
    EXPECT_EQ(draws[1].state.indices, ib);

    m_device->SetStreamSource(0, nullptr, 0);
    m_device->SetIndices(nullptr, 0);
    vb->Release();
    ib->Release();
}

TEST_F(D3D8Test, ClearOfRectsKeepsTheDepthOrStencilItDoesNotClear)
{
    create_windowed();
    D3DSURFACE_DESC back = d3d8_surface_desc(d3d8_back_buffer(*m_device));
    IDirect3DSurface8* depth = nullptr;
    ASSERT_EQ(m_device->CreateDepthStencilSurface(back.Width, back.Height, D3DFMT_D24S8, D3DMULTISAMPLE_NONE,
                                                  &depth),
              D3D_OK);
    ASSERT_EQ(m_device->SetRenderTarget(nullptr, depth), D3D_OK);
    ASSERT_EQ(m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF00FF00,
                              1.0f, 0x11),
              D3D_OK);
    const D3DRECT rects[] = {{4, 4, 8, 6}, {100, 100, 102, 101}};
    ASSERT_EQ(m_device->Clear(2, rects, D3DCLEAR_STENCIL, 0, 0.0f, 0x22), D3D_OK);
    ASSERT_EQ(m_device->Clear(1, rects, D3DCLEAR_ZBUFFER, 0, 0.5f, 0), D3D_OK);
    ASSERT_EQ(m_device->Clear(1, rects + 1, D3DCLEAR_TARGET, 0xFF0000FF, 0.0f, 0), D3D_OK);

    auto texel = [](const IDirect3DSurface8* surface, UINT x, UINT y) {
        DWORD value;
        std::memcpy(&value, d3d8_surface_bits(*surface) + y * d3d8_surface_pitch(*surface) + x * 4, 4);
        return value;
    };
    EXPECT_EQ(texel(depth, 4, 4), 0x80000022u); // depth 0.5 over stencil 0x22
    EXPECT_EQ(texel(depth, 7, 5), 0x80000022u);
    EXPECT_EQ(texel(depth, 8, 5), 0xFFFFFF11u);     // right of the first rect
    EXPECT_EQ(texel(depth, 101, 100), 0xFFFFFF22u); // stencil only: the depth stays
    EXPECT_EQ(texel(depth, 101, 101), 0xFFFFFF11u);
    const IDirect3DSurface8* target = &d3d8_back_buffer(*m_device);
    EXPECT_EQ(texel(target, 100, 100), 0xFF0000FFu);
    EXPECT_EQ(texel(target, 102, 100), 0xFF00FF00u);
    EXPECT_EQ(texel(target, 100, 101), 0xFF00FF00u);
    m_device->SetRenderTarget(nullptr, d3d8_auto_depth_stencil(*m_device));
    depth->Release();
}

TEST_F(D3D8Test, ClearPresentAndFrontBufferWorkOnMemoryWithoutABackend)
{
    create_windowed();
    D3DVIEWPORT8 viewport{10, 20, 100, 50, 0.0f, 1.0f};
    ASSERT_EQ(m_device->SetViewport(&viewport), D3D_OK);
    ASSERT_EQ(m_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFF0000, 0.5f, 0), D3D_OK);
    EXPECT_EQ(m_device->Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0),
              D3DERR_INVALIDCALL); // D16 has no stencil
    EXPECT_EQ(m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.5f, 0), D3DERR_INVALIDCALL);
    ASSERT_EQ(m_device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    RECT part{0, 0, 1, 1};
    EXPECT_EQ(m_device->Present(&part, nullptr, nullptr, nullptr), D3DERR_INVALIDCALL);

    const IDirect3DSurface8* depth = d3d8_auto_depth_stencil(*m_device);
    std::uint16_t z = 0;
    std::memcpy(&z, d3d8_surface_bits(*depth) + 20 * d3d8_surface_pitch(*depth) + 10 * 2, 2);
    EXPECT_EQ(z, 32768); // 0.5 of 65535, rounded
    std::memcpy(&z, d3d8_surface_bits(*depth), 2);
    EXPECT_EQ(z, 0); // outside the viewport

    D3DDISPLAYMODE desktop;
    m_device->GetDisplayMode(&desktop);
    IDirect3DSurface8* shot = nullptr;
    EXPECT_EQ(m_device->CreateImageSurface(16, 16, D3DFMT_A8R8G8B8, &shot), D3D_OK);
    EXPECT_EQ(m_device->GetFrontBuffer(shot), D3DERR_INVALIDCALL); // not the desktop's size
    shot->Release();
    ASSERT_EQ(m_device->CreateImageSurface(desktop.Width, desktop.Height, D3DFMT_A8R8G8B8, &shot), D3D_OK);
    ASSERT_EQ(m_device->GetFrontBuffer(shot), D3D_OK);
    auto pixel = [&](UINT x, UINT y) {
        DWORD value;
        std::memcpy(&value, d3d8_surface_bits(*shot) + y * d3d8_surface_pitch(*shot) + x * 4, 4);
        return value;
    };
    EXPECT_EQ(pixel(10, 20), 0xFFFF0000u);
    EXPECT_EQ(pixel(109, 69), 0xFFFF0000u);
    EXPECT_EQ(pixel(110, 20), 0xFF000000u);  // outside the cleared viewport
    EXPECT_EQ(pixel(500, 500), 0xFF000000u); // outside the window
    shot->Release();
}

TEST_F(D3D8Test, GammaRampAndStateCallsAreKeptAndCounted)
{
    create_windowed();
    D3DGAMMARAMP ramp{};
    ramp.red[128] = 1234;
    m_device->SetGammaRamp(D3DSGR_CALIBRATE, &ramp);
    D3DGAMMARAMP back;
    m_device->GetGammaRamp(&back);
    EXPECT_EQ(back.red[128], 1234);
    EXPECT_EQ(d3d8_device_state(*m_device).gamma_flags, D3DSGR_CALIBRATE);

    d3d8_reset_call_counts(*m_device);
    EXPECT_EQ(m_device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS), D3D_OK);
    EXPECT_EQ(m_device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(174), 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(m_device->SetTextureStageState(4, D3DTSS_COLOROP, D3DTOP_DISABLE), D3D_OK);
    EXPECT_EQ(m_device->SetTextureStageState(8, D3DTSS_COLOROP, D3DTOP_DISABLE), D3DERR_INVALIDCALL);
    float four[8] = {};
    EXPECT_EQ(m_device->SetVertexShaderConstant(94, four, 2), D3D_OK);
    EXPECT_EQ(m_device->SetVertexShaderConstant(95, four, 2), D3DERR_INVALIDCALL);
    const D3DCallCounts& counts = d3d8_call_counts(*m_device);
    EXPECT_EQ(counts.render_states, 1u);
    EXPECT_EQ(counts.stage_states, 1u);
    EXPECT_EQ(counts.vs_constants, 1u);
    EXPECT_EQ(d3d8_device_state(*m_device).stage[4][D3DTSS_COLOROP], DWORD(D3DTOP_DISABLE));
}
