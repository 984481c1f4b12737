#include "scenegraph/resrc_mgr.h"

#include "platform/d3dx8_tex.h"
#include "platform/impl/d3d8_state.h"

#include "texture_device.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Stands in for the texture loader: notes each call and makes a 4x4 texture in the requested
// pool, or fails with the armed result.
struct LoaderLog {
    std::vector<std::string> names;
    std::vector<TextureLoadParams> params;
    HRESULT failure = S_OK;
};
LoaderLog g_loads;

HRESULT recording_load(ResourceRecord& record, const ResrcLoadParams& params)
{
    g_loads.names.push_back(record.name);
    g_loads.params.push_back(params.texture);
    if (FAILED(g_loads.failure)) return g_loads.failure;
    IDirect3DTexture8* texture = nullptr;
    HRESULT hr = g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, params.texture.pool, &texture);
    if (FAILED(hr)) return hr;
    record.object = texture;
    record.texture_info = {4, 4, 1, 0, D3DFMT_A8R8G8B8, params.texture.pool, 4, 4};
    return S_OK;
}

ResrcLoadParams texture_params(D3DPOOL pool = D3DPOOL_MANAGED)
{
    ResrcLoadParams params;
    params.texture = {1, 0, D3DFMT_A8R8G8B8, pool};
    return params;
}

class ResrcMgrTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_loads = {};
        // The real destroy stays: its release rule is part of what is tested.
        m_real = resrc_set_loader(RESRC_POOL_TEXTURE, {recording_load, nullptr});
        resrc_set_loader(RESRC_POOL_TEXTURE, {recording_load, m_real.destroy});
    }
    void TearDown() override
    {
        ResrcMgr::Shutdown();
        resrc_set_loader(RESRC_POOL_TEXTURE, m_real);
    }

    ResourceHandle load(const char* name, std::uint8_t keep = 0, D3DPOOL pool = D3DPOOL_MANAGED)
    {
        return ResrcMgr::Load(name, texture_params(pool), RESRC_POOL_TEXTURE, keep);
    }
    IDirect3DTexture8* texture_of(ResourceHandle handle)
    {
        ResourceRecord* record = ResrcMgr::Get(handle);
        return record ? record->texture() : nullptr;
    }

    TextureDevice m_device;
    ResrcLoader m_real{};
};

} // namespace

TEST_F(ResrcMgrTest, SharesOneRecordPerNameWhateverItsCase)
{
    ResourceHandle first = load("data\\tex\\Stone.dds");
    ResourceHandle second = ResrcMgr::Load("DATA\\TEX\\stone.DDS", texture_params(D3DPOOL_DEFAULT), 0, 0);
    EXPECT_EQ(first, 0x40000000u);
    EXPECT_EQ(second, first);
    ASSERT_NE(ResrcMgr::Get(first), nullptr);
    EXPECT_EQ(ResrcMgr::Get(first)->refcount, 2);
    ASSERT_EQ(g_loads.names.size(), 1u) << "a shared name never reaches the loader again";
    EXPECT_EQ(g_loads.params[0].pool, D3DPOOL_MANAGED);

    // Only single-byte letters fold: 0x83 0x41 and 0x83 0x61 are two different characters.
    ResourceHandle upper = load("data\\\x83\x41.dds");
    ResourceHandle lower = load("data\\\x83\x61.dds");
    EXPECT_NE(upper, lower);
    // A name past 79 characters is kept whole: loading it again shares it.
    std::string long_name = "data\\" + std::string(120, 'x') + ".dds";
    EXPECT_EQ(load(long_name.c_str()), load(long_name.c_str()));
    EXPECT_EQ(g_loads.names.size(), 4u);
}

TEST_F(ResrcMgrTest, HandsOutHandlesFromThePoolCounter)
{
    ResourceHandle a = load("a.dds");
    ResourceHandle b = load("b.dds");
    EXPECT_EQ(a, 0x40000000u);
    EXPECT_EQ(b, 0x40000001u);

    // The counter rests on the last value handed out, so a freed value right there comes again.
    ResrcMgr::Release(RESRC_POOL_TEXTURE, texture_of(b));
    EXPECT_EQ(ResrcMgr::Get(b), nullptr);
    EXPECT_EQ(load("c.dds"), 0x40000001u);
    EXPECT_EQ(load("d.dds"), 0x40000002u);

    EXPECT_EQ(ResrcMgr::NewHandle(RESRC_POOL_MODEL), 0x41000000u);
    EXPECT_EQ(ResrcMgr::Get(0x41000000), nullptr) << "no models";
    EXPECT_EQ(ResrcMgr::Get(0x42000000), nullptr) << "no third pool";
    EXPECT_EQ(ResrcMgr::Get(0x7F000000), nullptr);
    EXPECT_EQ(ResrcMgr::Get(0), nullptr);
    EXPECT_EQ(ResrcMgr::NewHandle(2), 0u);
}

TEST_F(ResrcMgrTest, PlainRecordsGoAtTheirLastReleaseCachedOnesAtThePurge)
{
    struct Case {
        const char* what;
        std::uint8_t keep;
        int loads;
        int releases;
        bool after_release;
        bool after_purge;
    };
    const Case cases[] = {
        {"plain, released once", 0, 1, 1, false, false},
        {"plain, still held", 0, 2, 1, true, true},
        {"cached, released once", RESRC_KEEP_CACHED, 1, 1, true, false},
        {"cached, never released", RESRC_KEEP_CACHED, 1, 0, true, true},
        {"cached, held by a second user", RESRC_KEEP_CACHED, 2, 1, true, true},
        {"cached, released twice", RESRC_KEEP_CACHED, 1, 2, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ULONG device_refs = d3d8_ref_count(*g_d3d_device);
        ResourceHandle handle = 0;
        for (int i = 0; i < c.loads; ++i)
            handle = load("shared.dds", c.keep);
        IDirect3DTexture8* texture = texture_of(handle);
        for (int i = 0; i < c.releases; ++i)
            ResrcMgr::Release(RESRC_POOL_TEXTURE, texture);
        EXPECT_EQ(ResrcMgr::Get(handle) != nullptr, c.after_release);
        ResrcMgr::PurgeCached();
        EXPECT_EQ(ResrcMgr::Get(handle) != nullptr, c.after_purge);
        if (!c.after_purge) {
            EXPECT_EQ(d3d8_ref_count(*g_d3d_device), device_refs) << "the texture was not released";
        }
        ResrcMgr::ReleasePool(RESRC_POOL_TEXTURE);
    }
}

TEST_F(ResrcMgrTest, RefusesWhatItCannotLoad)
{
    g_loads.failure = D3DXERR_INVALIDDATA;
    EXPECT_EQ(load("missing.dds"), 0u);
    EXPECT_EQ(g_resrc_last_result, D3DXERR_INVALIDDATA);
    EXPECT_EQ(load("missing.dds"), 0u);
    EXPECT_EQ(g_loads.names.size(), 2u) << "a failed load leaves no record behind";

    EXPECT_EQ(load(""), 0u);
    EXPECT_EQ(ResrcMgr::Load(nullptr, texture_params(), 0, 0), 0u);
    EXPECT_EQ(g_loads.names.size(), 2u) << "an empty name never reaches the loader";

    g_loads.failure = S_OK;
    EXPECT_EQ(ResrcMgr::Load("a.qmo", texture_params(), RESRC_POOL_MODEL, 0), 0u) << "no model loader yet";
    EXPECT_EQ(g_resrc_last_result, E_FAIL);
    EXPECT_EQ(ResrcMgr::Load("a.dds", texture_params(), 2, 0), 0u);
    EXPECT_EQ(g_resrc_last_result, E_FAIL);
}

TEST_F(ResrcMgrTest, ReleaseIgnoresObjectsItDoesNotHold)
{
    ResourceHandle handle = load("a.dds");
    IDirect3DTexture8* texture = texture_of(handle);
    int stranger = 0;
    ResrcMgr::Release(RESRC_POOL_TEXTURE, nullptr);
    ResrcMgr::Release(RESRC_POOL_TEXTURE, &stranger);
    ResrcMgr::Release(RESRC_POOL_MODEL, texture);
    ResrcMgr::Release(7, texture);
    ASSERT_NE(ResrcMgr::Get(handle), nullptr);
    EXPECT_EQ(ResrcMgr::Get(handle)->refcount, 1);
}

TEST_F(ResrcMgrTest, DefaultPoolTexturesComeBackAfterAResetWithTheirReferences)
{
    ResourceHandle shared = 0;
    for (int i = 0; i < 3; ++i)
        shared = load("target.dds", 0, D3DPOOL_DEFAULT);
    ResourceHandle managed = load("managed.dds");
    IDirect3DTexture8* managed_texture = texture_of(managed);

    ResrcMgr::ReleaseDeviceObjects();
    EXPECT_EQ(texture_of(shared), nullptr);
    EXPECT_EQ(texture_of(managed), managed_texture) << "managed textures survive a reset";
    D3DPRESENT_PARAMETERS params = d3d8_present_parameters(*g_d3d_device);
    ASSERT_EQ(g_d3d_device->Reset(&params), D3D_OK) << "a default-pool texture is still held";

    ResrcMgr::RestoreDeviceObjects();
    ASSERT_EQ(g_loads.params.size(), 3u);
    const TextureLoadParams& again = g_loads.params.back();
    EXPECT_EQ(again.levels, 1u);
    EXPECT_EQ(again.usage, 0u);
    EXPECT_EQ(again.format, D3DFMT_A8R8G8B8);
    EXPECT_EQ(again.pool, D3DPOOL_DEFAULT);
    IDirect3DTexture8* restored = texture_of(shared);
    ASSERT_NE(restored, nullptr);
    EXPECT_EQ(d3d8_ref_count(*restored), 3u);

    // Each release drops a record reference; the last one releases every Direct3D reference.
    for (int i = 0; i < 3; ++i)
        ResrcMgr::Release(RESRC_POOL_TEXTURE, restored);
    EXPECT_EQ(ResrcMgr::Get(shared), nullptr);
    EXPECT_EQ(d3d8_default_pool_holds(*g_d3d_device), 0u);
}

TEST_F(ResrcMgrTest, AFailedRestoreKeepsTheRecordWithoutATexture)
{
    ResourceHandle handle = load("target.dds", 0, D3DPOOL_DEFAULT);
    load("target.dds", 0, D3DPOOL_DEFAULT);
    ResrcMgr::ReleaseDeviceObjects();
    g_loads.failure = D3DERR_OUTOFVIDEOMEMORY;
    ResrcMgr::RestoreDeviceObjects();
    EXPECT_EQ(g_resrc_last_result, D3DERR_OUTOFVIDEOMEMORY);
    ASSERT_NE(ResrcMgr::Get(handle), nullptr);
    EXPECT_EQ(ResrcMgr::Get(handle)->object, nullptr);

    // The next restore tries again; shutting down with a restored record leaves nothing held.
    g_loads.failure = S_OK;
    ResrcMgr::RestoreDeviceObjects();
    ASSERT_NE(texture_of(handle), nullptr);
    EXPECT_EQ(d3d8_ref_count(*texture_of(handle)), 2u);
    ResrcMgr::Shutdown();
    EXPECT_EQ(d3d8_default_pool_holds(*g_d3d_device), 0u);
}
