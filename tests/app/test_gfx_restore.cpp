#include "game/g_image_table.h"
#include "gfx/g_gfx.h"
#include "lowlv/d3d/d3d_core.h"
#include "scenegraph/renderer.h"

#include "app_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <iterator>

namespace {

// The image-table entry whose texture each triangle batch draws with.
constexpr std::array<int, TRI_BATCH_COUNT> k_batch_entries = {30, 31, 32, 14, 14, 33, 34, 35, 36, 15, 14};
constexpr int k_shadow_entry = 14; // shadow0.dds

// The started game whose image-table entries of the batches hold textures of the test's own, one
// for each entry, so every batch's texture tells which entry it came from.
class BatchTextures : public FramePass {
protected:
    void SetUp() override
    {
        FramePass::SetUp();
        std::copy(std::begin(g_texture_handles), std::end(g_texture_handles), m_saved.begin());
        for (int entry : k_batch_entries) {
            if (g_texture_handles[entry] && g_texture_handles[entry] != m_saved[entry]) continue;
            IDirect3DTexture8* texture = nullptr;
            ASSERT_EQ(g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, &texture),
                      D3D_OK);
            m_textures.push_back(texture);
            g_texture_handles[entry] = texture;
        }
    }
    void TearDown() override
    {
        std::copy(m_saved.begin(), m_saved.end(), std::begin(g_texture_handles));
        for (IDirect3DTexture8* texture : m_textures)
            texture->Release();
        for (TriangleBatch& batch : g_tri_batches)
            batch.texture = nullptr;
        FramePass::TearDown();
    }

    // The device objects made again, as after the device's creation, with the batches unbound first.
    static void recreate_device_objects()
    {
        unbind_batches();
        app_release_device_objects();
        app_restore_device_objects();
    }

    static void unbind_batches()
    {
        for (TriangleBatch& batch : g_tri_batches)
            batch.texture = nullptr;
    }

    static void expect_batches_bound()
    {
        for (int batch = 0; batch < TRI_BATCH_COUNT; ++batch) {
            SCOPED_TRACE(batch);
            IDirect3DTexture8* expected = g_texture_handles[k_batch_entries[batch]];
            EXPECT_NE(expected, nullptr);
            EXPECT_EQ(g_tri_batches[batch].texture, expected);
        }
    }

    std::array<IDirect3DTexture8*, IMAGE_TABLE_SIZE> m_saved{};
    std::vector<IDirect3DTexture8*> m_textures;
};

} // namespace

TEST_F(BatchTextures, EveryBatchHoldsItsEntrysTextureAfterCreationAndAfterAReset)
{
    recreate_device_objects();
    expect_batches_bound();

    // A reset the device asks for: the main loop resets it and binds the batches again.
    unbind_batches();
    d3d8_seam_script_cooperative({D3DERR_DEVICENOTRESET});
    const std::uint64_t resets = d3d8_call_counts(*g_d3d_device).resets;
    run_frame(k_tick);
    ASSERT_EQ(d3d8_call_counts(*g_d3d_device).resets, resets + 1);
    EXPECT_FALSE(g_d3d_reset_pending) << "the reset succeeded";
    expect_batches_bound();
}

TEST_F(BatchTextures, WithoutTheShadowImageItsThreeBatchesDrawUntextured)
{
    g_texture_handles[k_shadow_entry] = nullptr; // as when "shadow0.dds" is missing
    recreate_device_objects();
    for (int batch = 0; batch < TRI_BATCH_COUNT; ++batch) {
        SCOPED_TRACE(batch);
        const bool shadow = batch == 3 || batch == 4 || batch == 10;
        EXPECT_EQ(g_tri_batches[batch].texture == nullptr, shadow);
    }
}
