#include "state_test_device.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int RS = -1; // an expectation on a render state rather than a stage state

struct Expect {
    int stage;
    DWORD state;
    DWORD value;
};

struct MaterialCase {
    std::string name;
    MaterialFlags word;
    std::vector<Expect> expects;
};

std::string describe(const Expect& e)
{
    return (e.stage == RS ? "render state " : "stage " + std::to_string(e.stage) + " state ") +
           std::to_string(e.state);
}

using StateTest = StateDeviceTest;

} // namespace

TEST_F(StateTest, MaterialWordsSetTheirCombineModesAndRenderStates)
{
    const DWORD TEX_ALPHA = D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE;
    const std::vector<MaterialCase> cases = {
        {"the example word 0x1041",
         0x1041,
         {{0, D3DTSS_COLOROP, D3DTOP_MODULATE},
          {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
          {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},
          {0, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
          {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
          {0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR},
          {1, D3DTSS_COLOROP, D3DTOP_DISABLE},
          {RS, D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
          {RS, D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
          {RS, D3DRS_ALPHABLENDENABLE, TRUE},
          {RS, D3DRS_ZENABLE, D3DZB_FALSE},
          {RS, D3DRS_ZWRITEENABLE, FALSE},
          {RS, D3DRS_ALPHATESTENABLE, FALSE},
          {RS, D3DRS_CULLMODE, D3DCULL_NONE},
          {RS, D3DRS_FOGENABLE, FALSE},
          {RS, D3DRS_ALPHAREF, 8},
          {RS, D3DRS_MULTISAMPLEANTIALIAS, FALSE}}},
        {"mode 0 disables colour, with depth test and write",
         MAT_Z_TEST | MAT_Z_WRITE,
         {{0, D3DTSS_COLOROP, D3DTOP_DISABLE},
          {0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP},
          {0, D3DTSS_ADDRESSV, D3DTADDRESS_WRAP},
          {RS, D3DRS_ZENABLE, D3DZB_TRUE},
          {RS, D3DRS_ZWRITEENABLE, TRUE},
          {RS, D3DRS_MULTISAMPLEANTIALIAS, FALSE}}},
        {"mode 1 with op1 ADD, colour argument TFACTOR, mirror",
         1 | 5u << MAT_OP1_SHIFT | MAT_COLOR_ARG_TFACTOR | MAT_ADDRESS_MIRROR,
         {{0, D3DTSS_COLOROP, D3DTOP_ADD},
          {0, D3DTSS_COLORARG2, D3DTA_TFACTOR},
          {0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},
          {0, D3DTSS_ADDRESSU, D3DTADDRESS_MIRROR},
          {1, D3DTSS_COLOROP, D3DTOP_DISABLE},
          {RS, D3DRS_MULTISAMPLEANTIALIAS, TRUE}}},
        {"mode 2 with op2 SUBTRACT, both clamp bits on stage 0, stage 1 clamp",
         2 | 9u << MAT_OP2_SHIFT | MAT_ADDRESS_MIRROR | MAT_ADDRESS_CLAMP | MAT_ADDRESS1_CLAMP,
         {{0, D3DTSS_COLOROP, D3DTOP_MODULATE},
          {1, D3DTSS_COLOROP, D3DTOP_SUBTRACT},
          {1, D3DTSS_COLORARG1, D3DTA_TEXTURE},
          {1, D3DTSS_COLORARG2, D3DTA_CURRENT},
          {1, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
          {1, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
          {1, D3DTSS_ALPHAARG2, D3DTA_CURRENT},
          {2, D3DTSS_COLOROP, D3DTOP_DISABLE},
          {0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP},
          {1, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP}}},
        {"mode 2 addresses stage 1 from its own bits",
         2 | MAT_ADDRESS1_MIRROR,
         {{0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP},
          {1, D3DTSS_ADDRESSU, D3DTADDRESS_MIRROR},
          {1, D3DTSS_ADDRESSV, D3DTADDRESS_MIRROR}}},
        {"mode 3 takes alpha from the diffuse colour and the factor",
         3 | MAT_ALPHA_ARG_TFACTOR,
         {{0, D3DTSS_COLOROP, D3DTOP_MODULATE},
          {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},
          {0, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
          {0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE},
          {0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR},
          {1, D3DTSS_COLOROP, D3DTOP_DISABLE}}},
        {"mode 4 is DOT3 over three stages",
         4 | 3u << MAT_OP1_SHIFT | MAT_ADDRESS_CLAMP,
         {{0, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3},
          {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
          {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},
          {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG2},
          {1, D3DTSS_COLOROP, D3DTOP_MODULATE2X},
          {1, D3DTSS_COLORARG2, D3DTA_CURRENT},
          {1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
          {2, D3DTSS_COLOROP, D3DTOP_MODULATE},
          {2, D3DTSS_COLORARG1, D3DTA_TFACTOR},
          {2, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
          {2, D3DTSS_ALPHAARG1, D3DTA_TFACTOR},
          {3, D3DTSS_COLOROP, D3DTOP_DISABLE},
          {0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP},
          {2, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP},
          {3, D3DTSS_ADDRESSU, D3DTADDRESS_MIRROR}}},
        {"mode 5 uses four stages and disables the fifth",
         5 | 11u << MAT_OP2_SHIFT | MAT_ADDRESS_CLAMP,
         {{0, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3},
          {1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
          {2, D3DTSS_COLOROP, D3DTOP_BLENDFACTORALPHA},
          {2, D3DTSS_COLORARG1, D3DTA_TEXTURE},
          {2, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
          {2, D3DTSS_ALPHAARG2, D3DTA_CURRENT},
          {3, D3DTSS_COLOROP, D3DTOP_MODULATE},
          {3, D3DTSS_COLORARG1, D3DTA_TFACTOR},
          {3, D3DTSS_ALPHAARG1, D3DTA_TFACTOR},
          {4, D3DTSS_COLOROP, D3DTOP_DISABLE},
          {3, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP}}},
        {"mode 6 selects the second argument and keeps multisampling off",
         6 | MAT_COLOR_ARG_TFACTOR | MAT_ALPHA_ARG_TFACTOR,
         {{0, D3DTSS_COLOROP, D3DTOP_SELECTARG2},
          {0, D3DTSS_COLORARG2, D3DTA_TFACTOR},
          {0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR},
          {RS, D3DRS_MULTISAMPLEANTIALIAS, FALSE}}},
        {"mode 7 replicates the texture's alpha",
         7 | 15u << MAT_OP1_SHIFT,
         {{0, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3},
          {0, D3DTSS_COLORARG1, TEX_ALPHA},
          {0, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
          {RS, D3DRS_MULTISAMPLEANTIALIAS, TRUE}}},
        {"clockwise culling wins", 1 | MAT_CULL_CW | MAT_CULL_CCW, {{RS, D3DRS_CULLMODE, D3DCULL_CW}}},
        {"counter-clockwise culling", 1 | MAT_CULL_CCW, {{RS, D3DRS_CULLMODE, D3DCULL_CCW}}},
        {"additive wins over darken and takes the second fog colour",
         1 | MAT_ADDITIVE | MAT_DARKEN | MAT_FOG,
         {{RS, D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
          {RS, D3DRS_DESTBLEND, D3DBLEND_ONE},
          {RS, D3DRS_FOGENABLE, TRUE},
          {RS, D3DRS_FOGCOLOR, 0xFF000000},
          {RS, D3DRS_MULTISAMPLEANTIALIAS, FALSE}}},
        {"darken with the scene's fog colour",
         1 | MAT_DARKEN | MAT_FOG,
         {{RS, D3DRS_SRCBLEND, D3DBLEND_ZERO},
          {RS, D3DRS_DESTBLEND, D3DBLEND_INVSRCCOLOR},
          {RS, D3DRS_FOGCOLOR, 0xFF336699}}},
        {"alpha test with the highest reference",
         1 | MAT_ALPHA_TEST | 3u << MAT_ALPHA_REF_SHIFT,
         {{RS, D3DRS_ALPHATESTENABLE, TRUE},
          {RS, D3DRS_ALPHAREF, 248},
          {RS, D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL}}},
        {"alpha reference 96", 1 | 1u << MAT_ALPHA_REF_SHIFT, {{RS, D3DRS_ALPHAREF, 96}}},
        {"alpha reference 160", 1 | 2u << MAT_ALPHA_REF_SHIFT, {{RS, D3DRS_ALPHAREF, 160}}},
    };
    settings().caps_multisampling = 1;
    settings().multisample_type = 4;
    g_fog_colors[FOG_COLOR_SCENE] = 0xFF336699;
    g_fog_colors[FOG_COLOR_ADDITIVE] = 0xFF000000;
    for (const MaterialCase& c : cases) {
        SCOPED_TRACE(c.name);
        renderer_default_states();
        device().SetTextureStageState(4, D3DTSS_COLOROP, D3DTOP_MODULATE);
        renderer_set_material_state(c.word);
        EXPECT_EQ(g_current_material, c.word);
        for (const Expect& e : c.expects) {
            DWORD actual = e.stage == RS ? state().render[e.state] : state().stage[e.stage][e.state];
            EXPECT_EQ(actual, e.value) << describe(e);
        }
    }
}

TEST_F(StateTest, MultisamplingNeedsTheDeviceTheSettingAndAnOpaqueMode)
{
    struct Case {
        std::uint8_t available;
        std::uint32_t type;
        MaterialFlags word;
        BOOL expected;
    };
    const Case cases[] = {
        {1, 4, 1, TRUE},
        {1, 4, 1 | MAT_ALPHA_BLEND, FALSE},
        {1, 4, 1 | MAT_ADDITIVE, FALSE},
        {1, 4, 0, FALSE},
        {1, 4, 6, FALSE},
        {1, 4, 7, TRUE},
        {1, 1, 1, FALSE},
        {0, 4, 1, FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "available " << int(c.available) << " type " << c.type << " word " << c.word);
        settings().caps_multisampling = c.available;
        settings().multisample_type = c.type;
        renderer_default_states();
        renderer_set_material_state(c.word);
        EXPECT_EQ(state().render[D3DRS_MULTISAMPLEANTIALIAS], DWORD(c.expected));
    }
}

TEST_F(StateTest, OnlyLinearFiltersBecomeAnisotropic)
{
    struct Case {
        std::uint32_t filter;
        std::uint32_t anisotropy;
        MaterialFlags word;
        DWORD caps_removed;
        DWORD min, mag, max_anisotropy;
    };
    const DWORD P = D3DTEXF_POINT, L = D3DTEXF_LINEAR, A = D3DTEXF_ANISOTROPIC;
    const Case cases[] = {
        {0, 8, 1 | MAT_ANISOTROPY, 0, P, P, 8},
        {2, 8, 1 | MAT_ANISOTROPY, 0, A, A, 8},
        {2, 8, 1, 0, L, L, 1},
        {1, 1, 1 | MAT_ANISOTROPY, 0, L, L, 1},
        {2, 8, 1 | MAT_ANISOTROPY, D3DPTFILTERCAPS_MAGFANISOTROPIC, A, L, 8},
        {9, 1, 1, 0, L, L, 1}, // an ini value past the table uses its last row
    };
    D3DCAPS8 caps = g_device_caps;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "filter " << c.filter << " anisotropy " << c.anisotropy);
        settings().texture_filter = c.filter;
        settings().anisotropy = c.anisotropy;
        g_device_caps.TextureFilterCaps = caps.TextureFilterCaps & ~c.caps_removed;
        renderer_default_states();
        renderer_set_material_state(c.word);
        for (DWORD stage = 0; stage < 4; ++stage) {
            EXPECT_EQ(state().stage[stage][D3DTSS_MINFILTER], c.min);
            EXPECT_EQ(state().stage[stage][D3DTSS_MAGFILTER], c.mag);
            EXPECT_EQ(state().stage[stage][D3DTSS_MAXANISOTROPY], c.max_anisotropy);
        }
    }
    g_device_caps = caps;
}

TEST_F(StateTest, DefaultsReachTheDevice)
{
    settings().caps_multisampling = 1;
    settings().texture_filter = 1;
    settings().anisotropy = 4;
    g_device_settings.present.BackBufferFormat = D3DFMT_R5G6B5;
    device().SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE); // a foreign change the defaults undo
    renderer_default_states();
    const std::pair<D3DRENDERSTATETYPE, DWORD> render[] = {
        {D3DRS_ALPHABLENDENABLE, FALSE},
        {D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL},
        {D3DRS_ALPHAREF, 8},
        {D3DRS_COLORWRITEENABLE, 0xF},
        {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
        {D3DRS_ZENABLE, D3DZB_FALSE},
        {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
        {D3DRS_ZWRITEENABLE, FALSE},
        {D3DRS_STENCILREF, 1},
        {D3DRS_CULLMODE, D3DCULL_CCW},
        {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
        {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
        {D3DRS_LIGHTING, FALSE},
        {D3DRS_SPECULARENABLE, TRUE},
        {D3DRS_CLIPPING, TRUE},
        {D3DRS_COLORVERTEX, TRUE},
        {D3DRS_FOGTABLEMODE, D3DFOG_NONE},
        {D3DRS_MULTISAMPLEANTIALIAS, TRUE},
        {D3DRS_DITHERENABLE, TRUE},
    };
    for (auto [rs, value] : render)
        EXPECT_EQ(state().render[rs], value) << "render state " << rs;
    EXPECT_EQ(state().stage[0][D3DTSS_COLOROP], DWORD(D3DTOP_MODULATE));
    EXPECT_EQ(state().stage[0][D3DTSS_ALPHAARG2], D3DTA_DIFFUSE);
    for (DWORD stage = 0; stage < 4; ++stage) {
        EXPECT_EQ(state().textures[stage], nullptr);
        EXPECT_EQ(state().stage[stage][D3DTSS_ADDRESSU], DWORD(D3DTADDRESS_MIRROR));
        EXPECT_EQ(state().stage[stage][D3DTSS_MIPFILTER], DWORD(D3DTEXF_POINT)); // filter row 1
        EXPECT_EQ(state().stage[stage][D3DTSS_MINFILTER], DWORD(D3DTEXF_ANISOTROPIC));
        EXPECT_EQ(state().stage[stage][D3DTSS_MAXANISOTROPY], 4u);
    }
    for (DWORD stage = 1; stage < 4; ++stage) {
        EXPECT_EQ(state().stage[stage][D3DTSS_COLOROP], DWORD(D3DTOP_DISABLE));
        EXPECT_EQ(state().stage[stage][D3DTSS_COLORARG2], D3DTA_CURRENT);
    }
    EXPECT_EQ(g_current_material, MATERIAL_INVALID);

    settings().mipmap = 0;
    g_device_settings.present.BackBufferFormat = D3DFMT_X8R8G8B8;
    renderer_default_states();
    EXPECT_EQ(state().stage[2][D3DTSS_MIPFILTER], DWORD(D3DTEXF_NONE));
    EXPECT_EQ(state().render[D3DRS_DITHERENABLE], DWORD(FALSE));
}

TEST_F(StateTest, CachesSendOnlyChanges)
{
    const MaterialFlags word = 2 | 5u << MAT_OP2_SHIFT | MAT_ALPHA_BLEND | MAT_FOG | MAT_ANISOTROPY;
    renderer_set_material_state(word);
    d3d8_reset_call_counts(device());
    renderer_set_material_state(word);
    EXPECT_EQ(d3d8_call_counts(device()).render_states, 0u);
    EXPECT_EQ(d3d8_call_counts(device()).stage_states, 0u);

    renderer_set_material_state(word | MAT_Z_TEST);
    EXPECT_EQ(d3d8_call_counts(device()).render_states, 1u);
    EXPECT_EQ(d3d8_call_counts(device()).stage_states, 0u);

    renderer_invalidate_state_cache();
    EXPECT_EQ(g_current_material, MATERIAL_INVALID);
    d3d8_reset_call_counts(device());
    renderer_set_material_state(word | MAT_Z_TEST);
    EXPECT_GT(d3d8_call_counts(device()).render_states, 0u);
    EXPECT_GT(d3d8_call_counts(device()).stage_states, 0u);
}

TEST_F(StateTest, TexturesShadersAndStreamsAreCached)
{
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(device().CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture), D3D_OK);
    d3d8_reset_call_counts(device());
    d3d_set_texture_cached(0, texture);
    d3d_set_texture_cached(0, texture);
    EXPECT_EQ(state().textures[0], texture);
    EXPECT_EQ(d3d8_call_counts(device()).textures, 1u);

    renderer_use_vb_rhw_tex();
    renderer_use_vb_rhw_tex();
    EXPECT_EQ(state().vertex_shader, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    EXPECT_EQ(state().streams[0].stride, 28u);
    EXPECT_EQ(d3d8_call_counts(device()).vertex_shaders, 1u);
    EXPECT_EQ(d3d8_call_counts(device()).stream_sources, 1u);
    renderer_use_vb_rhw_color();
    EXPECT_EQ(state().vertex_shader, D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR);
    EXPECT_EQ(state().streams[0].stride, 24u);

    renderer_invalidate_state_cache();
    EXPECT_EQ(state().textures[0], nullptr);
    texture->Release();
}

TEST_F(StateTest, StageStatesAreSavedAndRestored)
{
    renderer_set_material_state(2 | 7u << MAT_OP2_SHIFT);
    StageStateSave save{};
    renderer_save_stage_states(1, save);
    renderer_set_material_state(0);
    d3d_set_stage_state_cached(1, D3DTSS_COLOROP, D3DTOP_ADD);
    renderer_restore_stage_states(1, save);
    EXPECT_EQ(state().stage[0][D3DTSS_COLOROP], DWORD(D3DTOP_MODULATE));
    EXPECT_EQ(state().stage[1][D3DTSS_COLOROP], DWORD(D3DTOP_ADDSIGNED2X));
    EXPECT_EQ(state().stage[1][D3DTSS_ALPHAARG2], D3DTA_CURRENT);
}

// ---- Dynamic buffers -----------------------------------------------------------------------------

namespace {

class BufferTest : public StateDeviceTest {
protected:
    void TearDown() override
    {
        renderer_release_buffer(m_buffer);
        StateDeviceTest::TearDown();
    }

    DynamicBuffer& quads()
    {
        EXPECT_EQ(renderer_create_vertex_buffer(m_buffer, g_renderer_vb_layouts[RVB_WORLD_QUAD]), D3D_OK);
        return m_buffer;
    }

    DynamicBuffer m_buffer{};
};

} // namespace

TEST_F(BufferTest, AppendsWithNoOverwriteAndRestartsWithDiscard)
{
    struct Case {
        UINT position;
        bool discard_next;
        UINT count;
        UINT start;
        DWORD flags;
        UINT new_position;
    };
    const Case cases[] = {
        {0, true, 4, 0, D3DLOCK_DISCARD, 4},      // the first lock after creation
        {500, false, 12, 0, D3DLOCK_DISCARD, 12}, // 500 + 12 reaches the capacity
        {500, false, 11, 500, D3DLOCK_NOOVERWRITE, 511},
        {100, false, 512, 0, D3DLOCK_DISCARD, 512}, // the whole buffer
    };
    DynamicBuffer& buffer = quads();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.count << " at " << c.position);
        buffer.position = c.position;
        buffer.discard_next = c.discard_next;
        UINT start = 999;
        ASSERT_NE(renderer_vb_lock_append(buffer, c.count, start), nullptr);
        const D3DLockRecord& lock = d3d8_lock_record(*buffer.vertices);
        EXPECT_EQ(start, c.start);
        EXPECT_EQ(lock.flags, c.flags);
        EXPECT_EQ(lock.offset, c.start * 28);
        EXPECT_EQ(lock.size, c.count * 28);
        EXPECT_EQ(buffer.position, c.new_position);
        EXPECT_FALSE(buffer.discard_next);
        EXPECT_TRUE(buffer.locked);
        renderer_buffer_unlock(buffer);
        EXPECT_FALSE(buffer.locked);
        EXPECT_FALSE(d3d8_lock_record(*buffer.vertices).locked());
    }
}

TEST_F(BufferTest, AnAppendThatCannotBeMadeChangesNothing)
{
    DynamicBuffer& buffer = quads();
    UINT locks = d3d8_lock_record(*buffer.vertices).count;
    UINT start = 7;
    EXPECT_EQ(renderer_vb_lock_append(buffer, 513, start), nullptr);
    EXPECT_EQ(d3d8_lock_record(*buffer.vertices).count, locks);

    d3d8_seam_fail(D3D8Call::Lock, D3DERR_INVALIDCALL);
    EXPECT_EQ(renderer_vb_lock_append(buffer, 10, start), nullptr);
    EXPECT_EQ(buffer.position, 0u);
    EXPECT_TRUE(buffer.discard_next);
    EXPECT_FALSE(buffer.locked);
    EXPECT_EQ(start, 7u);
}

TEST_F(BufferTest, UploadCopiesAndUnlocks)
{
    DynamicBuffer& buffer = quads();
    std::vector<std::uint8_t> vertices(3 * 28);
    for (std::size_t i = 0; i < vertices.size(); ++i)
        vertices[i] = static_cast<std::uint8_t>(i + 1);
    UINT start = 0;
    ASSERT_TRUE(renderer_vb_upload(2, buffer, vertices.data(), start));
    ASSERT_TRUE(renderer_vb_upload(2, buffer, vertices.data(), start));
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(std::memcmp(d3d8_buffer_data(*buffer.vertices) + 2 * 28, vertices.data(), 2 * 28), 0);
    EXPECT_FALSE(buffer.locked);
    EXPECT_FALSE(d3d8_lock_record(*buffer.vertices).locked());

    // A buffer of 24-byte vertices takes 24 bytes a vertex.
    DynamicBuffer batch{};
    ASSERT_EQ(renderer_create_vertex_buffer(batch, g_renderer_vb_layouts[RVB_BATCH]), D3D_OK);
    ASSERT_TRUE(renderer_vb_upload(2, batch, vertices.data(), start));
    ASSERT_TRUE(renderer_vb_upload(1, batch, vertices.data() + 2 * 24, start));
    EXPECT_EQ(start, 2u);
    EXPECT_EQ(std::memcmp(d3d8_buffer_data(*batch.vertices), vertices.data(), 3 * 24), 0);
    renderer_release_buffer(batch);
}

TEST_F(BufferTest, IndexAppendsCountSixteenBitIndices)
{
    DynamicBuffer indices{};
    ASSERT_EQ(renderer_create_index_buffer(indices, 2048, true), D3D_OK);
    UINT start = 0;
    ASSERT_NE(renderer_ib_lock_append(indices, 30, start), nullptr);
    renderer_buffer_unlock(indices);
    std::uint16_t* data = renderer_ib_lock_append(indices, 6, start);
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(start, 30u);
    EXPECT_EQ(d3d8_lock_record(*indices.indices).offset, 60u);
    EXPECT_EQ(d3d8_lock_record(*indices.indices).flags, D3DLOCK_NOOVERWRITE);
    renderer_release_buffer(indices);
    EXPECT_EQ(indices.indices, nullptr);
}

TEST_F(BufferTest, SoftwareProcessingPutsBuffersInSystemMemory)
{
    struct Case {
        DWORD behaviour;
        DWORD dynamic_usage;
        D3DPOOL dynamic_pool;
        DWORD static_usage;
        D3DPOOL static_pool;
    };
    const DWORD DW = D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, SW = D3DUSAGE_SOFTWAREPROCESSING;
    const Case cases[] = {
        {D3DCREATE_HARDWARE_VERTEXPROCESSING, DW, D3DPOOL_DEFAULT, D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED},
        {D3DCREATE_SOFTWARE_VERTEXPROCESSING, DW | SW, D3DPOOL_SYSTEMMEM, D3DUSAGE_WRITEONLY | SW,
         D3DPOOL_SYSTEMMEM},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "behaviour " << c.behaviour);
        create_device(c.behaviour);
        DynamicBuffer vertices{}, indices{};
        ASSERT_EQ(renderer_create_vertex_buffer(vertices, g_renderer_vb_layouts[RVB_WORLD_NORMAL]), D3D_OK);
        ASSERT_EQ(renderer_create_index_buffer(indices, 3072, false), D3D_OK);
        EXPECT_EQ(vertices.desc.usage, c.dynamic_usage);
        EXPECT_EQ(vertices.desc.pool, c.dynamic_pool);
        EXPECT_EQ(vertices.desc.size, 40u * 512u);
        EXPECT_EQ(vertices.desc.fvf,
                  D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1);
        EXPECT_EQ(vertices.capacity, 512u);
        EXPECT_TRUE(vertices.discard_next);
        EXPECT_EQ(indices.desc.usage, c.static_usage);
        EXPECT_EQ(indices.desc.pool, c.static_pool);
        EXPECT_EQ(indices.desc.format, D3DFMT_INDEX16);
        EXPECT_EQ(indices.desc.size, 6144u);
        renderer_release_buffer(vertices);
        renderer_release_buffer(indices);
    }
}

TEST_F(BufferTest, AFailedCreationLeavesAnEmptyRecord)
{
    d3d8_seam_fail(D3D8Call::CreateVertexBuffer, D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(renderer_create_vertex_buffer(m_buffer, g_renderer_vb_layouts[RVB_SCREEN_TEX]),
              D3DERR_OUTOFVIDEOMEMORY);
    EXPECT_EQ(m_buffer.vertices, nullptr);
    UINT start = 0;
    EXPECT_EQ(renderer_vb_lock_append(m_buffer, 1, start), nullptr);
}
