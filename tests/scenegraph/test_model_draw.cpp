#include "scenegraph/model.h"

#include "lib/qmo_writer.h"
#include "renderer_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr std::uint32_t ALL_COPIES = MODEL_LOAD_KEEP_VERTICES | MODEL_LOAD_KEEP_INDICES | MODEL_LOAD_CENTRES;

D3DXMATRIX identity()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

class ModelDrawTest : public RendererTest {
protected:
    void TearDown() override
    {
        for (Model& model : m_models)
            model_free(model);
        g_model_scene = {};
        g_active_point_lights = 0;
        RendererTest::TearDown();
    }

    Model& parse(const QmoImage& image, std::uint32_t flags = ALL_COPIES)
    {
        Model& model = m_models.emplace_back();
        EXPECT_EQ(model_parse(model, qmo_bytes(image), 0, flags), S_OK);
        model_apply_animation(model, 1, 0, 0.0f, 0.0f, identity(), identity());
        return model;
    }

    // A box whose one material has these bits and word, its first buffer of this FVF.
    Model& box(std::uint32_t bits, std::uint32_t word = 0, float alpha = 1.0f,
               std::uint32_t fvf = QMO_FVF_BOX, std::uint32_t flags = ALL_COPIES)
    {
        QmoImage image = qmo_box();
        image.materials[0].bits = bits;
        image.materials[0].word = word;
        image.materials[0].alpha = alpha;
        image.materials[0].color = 0x00123456;
        image.meshes[0].vertex_buffers[0].format = fvf;
        return parse(image, flags);
    }

    Model& skinned(std::uint32_t bits = 0)
    {
        QmoImage image = qmo_two_bone_skinned();
        image.materials[0].bits = bits;
        return parse(image);
    }

    static std::uint32_t row_bytes(int row) { return g_rq_rows[row].used; }
    static RenderQueueItem& first_item(int row)
    {
        return *reinterpret_cast<RenderQueueItem*>(g_rq_rows[row].buffer.get());
    }
    static std::size_t queued_bytes()
    {
        std::size_t total = 0;
        for (const RenderQueueRow& row : g_rq_rows)
            total += row.used;
        return total;
    }

    std::vector<Model> m_models;

    // std::vector may move models; reserve so the queue's pointers stay valid within a test.
    void SetUp() override
    {
        RendererTest::SetUp();
        m_models.reserve(16);
    }
};

DWORD shader_of(int slot)
{
    return shader_handle(slot);
}

} // namespace

// ---- Shader selection ---------------------------------------------------------------------------

TEST_F(ModelDrawTest, RigidShaderFollowsFormatMaterialAndLighting)
{
    struct Case {
        std::uint32_t fvf, bits, word, draw_flags;
        int lights;
        bool shadow, cover, water_vs, wind_vs;
        int slot;
    };
    const Case cases[] = {
        {0x152, 0, 0, 0, 0, false, false, false, false, 73},
        {0x152, 0, 0, 0, 2, false, false, false, false, 80},
        {0x152, MODEL_MAT_PLAIN, 0, 0, 2, false, false, false, false, 2},
        {0x152, 0, 0, MODEL_DRAW_PLAIN, 0, false, false, false, false, 2},
        {0x152, 0, 0, 0, 1, true, false, false, false, 83},
        {0x152, MODEL_MAT_SPHERE, 0, 0, 0, false, false, false, false, 87},
        {0x152, 0, 0, MODEL_DRAW_SPHERE | MODEL_DRAW_STEALTH, 1, false, false, false, false, 93},
        {0x152, 0, 0, MODEL_DRAW_STEALTH, 3, false, false, false, false, 100},
        {0x152, 0, MAT_ADDITIVE, 0, 0, true, false, false, false, 73},
        {0x152, 0, 0, 0, 4, false, true, false, false, 82},
        {0x1D2, 0, 0, 0, 0, false, false, false, false, 26},
        {0x1D2, 0, 0, 0, 1, false, false, false, false, 32},
        {0x1D2, 0, 0, 0, 2, true, false, false, false, 37},
        {0x1D2, MODEL_MAT_SPHERE, 0, 0, 3, false, false, false, false, 43},
        {0x1D2, 0, MAT_ADDITIVE, 0, 3, false, false, false, false, 26},
        {0x1D2, 0, 0, 0, 1, false, true, false, false, 28},
        {0x1D2, MODEL_MAT_WATER, 0, 0, 1, false, false, false, false, 32},
        {0x1D2, MODEL_MAT_WATER, 0, 0, 1, false, false, true, false, 45},
        {0x1D2, MODEL_MAT_WATER, MAT_Z_WRITE, 0, 1, false, false, true, false, 46},
        {0x1D2, MODEL_MAT_WATER, 0, 0, 1, true, false, true, false, 50},
        {0x1D2, MODEL_MAT_WATER | MODEL_MAT_SPHERE, 0, 0, 4, false, false, true, false, 58},
        {0x1D2, MODEL_MAT_WIND, 0, 0, 1, false, false, false, true, 65},
        {0x1D2, MODEL_MAT_WIND, 0, 0, 1, true, false, false, true, 69},
        {0x1D2, MODEL_MAT_WIND, 0, 0, 1, false, true, false, true, 61},
        {0x142, 0, 0, 0, 2, false, false, false, false, 17},
        {0x1C2, MODEL_MAT_SPHERE, 0, 0, 2, false, false, false, false, 3},
    };
    for (const Case& c : cases) {
        Model& model = box(c.bits, c.word, 1.0f, c.fvf);
        g_active_point_lights = c.lights;
        g_frame_effects.shadow_lighting = c.shadow;
        g_frame_effects.cover_mode = c.cover ? 1.0f : 0.0f;
        g_device_settings.settings.water_vs = c.water_vs;
        g_device_settings.settings.wind_vs = c.wind_vs;
        model_set_material_state(model, model.meshes[0], &model.materials[0], c.draw_flags, 1.0f);
        EXPECT_EQ(state().vertex_shader, shader_of(c.slot))
            << std::hex << "fvf " << c.fvf << " bits " << c.bits << " word " << c.word << " flags "
            << c.draw_flags << std::dec << " lights " << c.lights << " expected " << c.slot;
        model_free(model);
        m_models.pop_back();
    }
}

TEST_F(ModelDrawTest, SkinnedShaderFollowsBonesFlagsAndTheStreamPair)
{
    struct Case {
        std::uint32_t bits, draw_flags;
        int lights;
        bool pair;
        int slot;
    };
    // Two bones per vertex: + 1.
    const Case cases[] = {
        {0, 0, 0, false, 107},
        {0, 0, 2, false, 115},
        {0, 0, 1, true, 171},
        {MODEL_MAT_PLAIN, 0, 2, false, 103},
        {MODEL_MAT_PLAIN, 0, 2, true, 163},
        {0, MODEL_DRAW_BUMP, 1, false, 155},
        {MODEL_MAT_SPHERE, MODEL_DRAW_BUMP, 1, true, 219},
        {MODEL_MAT_SPHERE, 0, 1, false, 123},
        {MODEL_MAT_SPHERE, MODEL_DRAW_STEALTH | MODEL_DRAW_BUMP, 0, false, 131},
        {0, MODEL_DRAW_STEALTH, 4, true, 211},
    };
    for (const Case& c : cases) {
        Model& model = skinned(c.bits);
        g_active_point_lights = c.lights;
        model.stream_pair_set = c.pair;
        model.stream_pair[0] = 0;
        model.stream_pair[1] = 0;
        model_set_material_state(model, model.meshes[0], &model.materials[0], c.draw_flags, 1.0f);
        EXPECT_EQ(state().vertex_shader, shader_of(c.slot)) << c.bits << " " << c.draw_flags << " " << c.slot;
        EXPECT_EQ(state().streams[1].buffer, model.meshes[0].vertex_buffers[1].buffer);
        model_draw_end(model);
        EXPECT_FALSE(model.stream_pair_set);
        model_free(model);
        m_models.pop_back();
    }
}

TEST_F(ModelDrawTest, AlphaGoesThroughTheTextureFactor)
{
    Model& model = box(0, 0x1, 1.0f);
    model_set_material_state(model, model.meshes[0], &model.materials[0], 0, 1.0f);
    EXPECT_EQ(state().render[D3DRS_TEXTUREFACTOR], 0xFF123456u);
    EXPECT_EQ(g_current_material, 0x1u | 0x820);

    model_set_material_state(model, model.meshes[0], &model.materials[0], 0, 0.5f);
    EXPECT_EQ(state().render[D3DRS_TEXTUREFACTOR], 0x80FFFFFFu);
    EXPECT_EQ(g_current_material, 0x1u | MAT_ALPHA_ARG_TFACTOR | MAT_ALPHA_BLEND);

    model_set_material_state(model, model.meshes[0], &model.materials[0], 0, 1.5f);
    EXPECT_EQ(state().render[D3DRS_TEXTUREFACTOR], 0xFFFFFFFFu);

    // A model without materials draws plain and untextured.
    QmoImage bare = qmo_box();
    bare.materials.clear();
    Model& plain = parse(bare);
    model_set_material_state(plain, plain.meshes[0], nullptr, 0, 1.0f);
    EXPECT_EQ(g_current_material, 0x3D00u);
    EXPECT_EQ(state().vertex_shader, shader_of(SHADER_SLOT_B_NDT1));
}

TEST_F(ModelDrawTest, UvAnimationSetsC2UntilTheDrawEnds)
{
    Model& model = box(MODEL_MAT_UV_ANIM);
    model.materials[0].values[0] = 0.25f;
    model.materials[0].values[3] = 2.0f;
    model_set_material_state(model, model.meshes[0], &model.materials[0], 0, 1.0f);
    EXPECT_EQ(state().vs_constants[VSC_MODEL][0], 0.25f);
    EXPECT_EQ(state().vs_constants[VSC_MODEL][3], 2.0f);
    model_draw_end(model);
    EXPECT_EQ(state().vs_constants[VSC_MODEL][3], 0.0f);
    EXPECT_FALSE(model.c2_set);
}

TEST_F(ModelDrawTest, CoverModeLoadsItsTextureAndConstant)
{
    Model& model = box(0);
    IDirect3DTexture8* cover = nullptr;
    ASSERT_EQ(g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &cover), D3D_OK);
    g_frame_effects.cover_texture = cover;
    g_frame_effects.cover_mode = 0.75f;
    g_frame_effects.cover_model_bits = 0x50000000;
    model_set_material_state(model, model.meshes[0], &model.materials[0], 0, 1.0f);
    EXPECT_EQ(g_current_material & 0x50000007u, 0x50000002u);
    EXPECT_EQ(state().vs_constants[VSC_COVER][2], 0.75f);
    model_set_material_state(model, model.meshes[0], &model.materials[0], 0, 1.0f);
    g_frame_effects.cover_texture = nullptr;
    d3d_set_texture_cached(0, nullptr);
    d3d_set_texture_cached(1, nullptr);
    d3d_set_texture_cached(2, nullptr);
    cover->Release();
}

// ---- Immediate drawing -----------------------------------------------------------------------

TEST_F(ModelDrawTest, SkinnedPaletteGoesToThreeRegistersPerBone)
{
    QmoImage image = qmo_two_bone_skinned();
    image.meshes[0].subsets[0].palette = {-1, 1};
    Model& model = parse(image);
    const float sentinel[4] = {7, 7, 7, 7};
    g_d3d_device->SetVertexShaderConstant(MODEL_VSC_PALETTE, sentinel, 1);
    model_draw_node_tree(model, &model.nodes[0], 0);
    ASSERT_EQ(draws().size(), 1u);
    const auto& constants = draws()[0].state.vs_constants;
    EXPECT_EQ(constants[MODEL_VSC_PALETTE][0], 7.0f) << "slot -1 is left alone";
    // Bone2: inverse bind (up -1) x world (up 1) = identity, so the slot holds the view, transposed.
    const D3DXMATRIX& view = g_camera_state.view;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(constants[MODEL_VSC_PALETTE + 3 + r][c], view.m[c][r], 1e-5f);
    EXPECT_EQ(draws()[0].call.primitive_count, 2u);
    EXPECT_EQ(draws()[0].call.vertex_count, 4u);
}

TEST_F(ModelDrawTest, OversizedPalettesAndCulledOrHiddenMeshesDrawNothing)
{
    QmoImage big = qmo_two_bone_skinned();
    big.meshes[0].palette_size = 25;
    Model& oversized = parse(big);
    model_draw_node_tree(oversized, &oversized.nodes[0], 0);
    EXPECT_TRUE(draws().empty());
    EXPECT_EQ(g_d3d_device->SetVertexShaderConstant(MODEL_VSC_PALETTE + 3 * 24, &big, 3), D3DERR_INVALIDCALL);

    Model& behind = box(0);
    D3DXMATRIX far_behind;
    D3DXMatrixTranslation(&far_behind, 0, 0, -100);
    model_apply_animation(behind, 1, 0, 0, 0, far_behind, identity());
    model_draw_node_tree(behind, &behind.nodes[0], MODEL_DRAW_CULL);
    EXPECT_TRUE(draws().empty());
    model_draw_node_tree(behind, &behind.nodes[0], 0);
    EXPECT_EQ(draws().size(), 1u);

    Model& hidden = box(MODEL_MAT_HIDDEN);
    model_draw_node_tree(hidden, &hidden.nodes[0], 0);
    model_queue_node_tree(hidden, &hidden.nodes[0], 0);
    Model& faded = box(MODEL_MAT_LATE);
    faded.fade = 0.0f;
    model_draw_node_tree(faded, &faded.nodes[0], 0);
    model_queue_node_tree(faded, &faded.nodes[0], 0);
    EXPECT_EQ(draws().size(), 1u);
    EXPECT_EQ(queued_bytes(), 0u);
}

// ---- Queueing ------------------------------------------------------------------------------------

TEST_F(ModelDrawTest, MaterialBitsRouteSubsetsToTheirRows)
{
    struct Case {
        std::uint32_t bits, word;
        bool sort_setting, prepass, copies;
        int row; // -1: drawn at once
        RqItemType type;
        std::uint32_t bytes;
    };
    const Case cases[] = {
        {MODEL_MAT_LATE, 0, true, false, true, RQ_ROW_MESHES, RQ_TYPE_MODEL_NODE, RQ_SIZE_MODEL_NODE},
        {MODEL_MAT_SORT, 0, true, false, true, RQ_ROW_MESHES, RQ_TYPE_MESH, 12 * RQ_SIZE_MESH},
        {MODEL_MAT_SORT_ALWAYS, 0, false, false, true, RQ_ROW_MESHES, RQ_TYPE_MESH, 12 * RQ_SIZE_MESH},
        {MODEL_MAT_SORT, 0, true, false, false, RQ_ROW_MESHES, RQ_TYPE_MODEL_NODE, RQ_SIZE_MODEL_NODE},
        {MODEL_MAT_SORT, 0, false, false, true, -1, RQ_TYPE_MODEL_NODE, 0},
        {0, MAT_ALPHA_BLEND, true, false, true, 10, RQ_TYPE_MODEL_NODE, RQ_SIZE_MODEL_NODE},
        {0, 0, true, true, true, RQ_ROW_WORLD_BATCHES, RQ_TYPE_MODEL_NODE, RQ_SIZE_MODEL_NODE},
        {0, 0, true, false, true, -1, RQ_TYPE_MODEL_NODE, 0},
    };
    for (const Case& c : cases) {
        rq_clear_rows();
        d3d8_seam_log_draws(true);
        g_device_settings.settings.sort_alpha_texture = c.sort_setting;
        g_frame_effects.prepass_request = c.prepass;
        Model& model = box(c.bits, c.word, 1.0f, QMO_FVF_BOX, c.copies ? ALL_COPIES : 0);
        model_queue_node_tree(model, &model.nodes[0], 0x108);
        if (c.row < 0) {
            EXPECT_EQ(queued_bytes(), 0u) << c.bits;
            EXPECT_EQ(draws().size(), 1u) << c.bits;
        } else {
            EXPECT_EQ(row_bytes(c.row), c.bytes) << c.bits << " " << c.word;
            EXPECT_EQ(queued_bytes(), c.bytes) << c.bits << " " << c.word;
            EXPECT_EQ(first_item(c.row).type, c.type);
            EXPECT_EQ(first_item(c.row).draw_flags, 0x08);
            EXPECT_TRUE(draws().empty());
        }
    }
    g_frame_effects.prepass_request = false;
}

TEST_F(ModelDrawTest, DecalSubsetsKeepTheirOrderAndTrianglesSortByDepth)
{
    QmoImage image = qmo_box();
    image.materials[0].word = MAT_ALPHA_BLEND;
    image.meshes[0].subsets = {{0, 0, 6, 0, 8, {}}, {0, 6, 6, 0, 8, {}}};
    Model& decal = parse(image);
    model_queue_node_tree(decal, &decal.nodes[0], 0);
    auto* items = reinterpret_cast<RqModelNodeItem*>(g_rq_rows[10].buffer.get());
    EXPECT_EQ(items[0].header.key1, 2);
    EXPECT_EQ(items[1].header.key1, 1);
    EXPECT_EQ(items[1].subset, &decal.meshes[0].subsets[1]);

    Model& sorted = box(MODEL_MAT_SORT, 0x5);
    model_queue_node_tree(sorted, &sorted.nodes[0], 0);
    auto* triangles = reinterpret_cast<RqMeshItem*>(g_rq_rows[RQ_ROW_MESHES].buffer.get());
    // Triangle 0 lies on the face z = -1, nearest the eye at (0, 5, -10).
    const D3DXVECTOR3& centre = sorted.meshes[0].index_buffers[0].centres[0];
    D3DXVECTOR3 to_eye = centre - g_camera_state.eye;
    EXPECT_EQ(triangles[0].header.key1, rq_depth_key(D3DXVec3LengthSq(&to_eye)));
    EXPECT_EQ(triangles[0].material_word, 0x5u | MODEL_SORTED_WORD_BIT);
    EXPECT_EQ(triangles[0].indices[0], 0);
    EXPECT_EQ(triangles[0].indices[1], 2);
    EXPECT_EQ(triangles[11].indices[2], 5);
    EXPECT_EQ(triangles[0].header.key0, triangles[11].header.key0);
}

TEST_F(ModelDrawTest, TheQueueDrawsModelItemsUnfadedAndTrianglesInOneCall)
{
    Model& late = box(MODEL_MAT_LATE, 0, 0.5f);
    late.fade = 0.5f;
    model_queue_node_tree(late, &late.nodes[0], 0);
    Model& sorted = box(MODEL_MAT_SORT);
    model_queue_node_tree(sorted, &sorted.nodes[0], 0);
    ASSERT_TRUE(draws().empty());
    renderer_draw_frame();
    std::vector<D3D8DrawRecord> model_draws;
    for (const D3D8DrawRecord& draw : draws())
        if (draw.call.indexed && draw.state.streams[0].buffer == late.meshes[0].vertex_buffers[0].buffer)
            model_draws.push_back(draw);
        else if (draw.call.indexed &&
                 draw.state.streams[0].buffer == sorted.meshes[0].vertex_buffers[0].buffer)
            model_draws.push_back(draw);
    ASSERT_EQ(model_draws.size(), 2u);
    std::size_t late_draw = model_draws[0].call.primitive_count == 12 &&
                                    model_draws[0].state.indices == late.meshes[0].index_buffers[0].buffer
                                ? 0
                                : 1;
    // The material's own alpha 0.5, not 0.25.
    EXPECT_EQ(model_draws[late_draw].state.render[D3DRS_TEXTUREFACTOR], 0x80FFFFFFu);
    const D3D8DrawRecord& triangles = model_draws[1 - late_draw];
    EXPECT_EQ(triangles.call.primitive_count, 12u);
    EXPECT_EQ(triangles.state.indices, g_renderer_ibs[RIB_MESH].indices);
}

// ---- 2-D quads and the ease curve -----------------------------------------------------------------

TEST_F(ModelDrawTest, Quad2dIsAStripScaledWithTheBackBuffer)
{
    ScreenVertex v[4];
    renderer_quad_2d({0, 0, 1, 0.5f}, {10, 20, 100, 50}, 0x80FF0000, v);
    EXPECT_EQ(v[0].x, 10.0f);
    EXPECT_EQ(v[1].x, 110.0f);
    EXPECT_EQ(v[2].y, 70.0f);
    EXPECT_EQ(v[3].u, 1.0f);
    EXPECT_EQ(v[3].v, 0.5f);
    EXPECT_EQ(v[2].rhw, 1.0f);
    EXPECT_EQ(v[1].color, 0x80FF0000u);
    start(1280, 960);
    renderer_quad_2d({0, 0, 1, 1}, {10, 20, 100, 50}, 0, v);
    EXPECT_EQ(v[3].x, 220.0f);
    EXPECT_EQ(v[3].y, 140.0f);
}

TEST(MathEase, IsSmoothstepInsideAndClampedOutside)
{
    for (float x : {0.1f, 0.25f, 0.5f, 0.9f})
        EXPECT_NEAR(math_ease(x), 3 * x * x - 2 * x * x * x, 1e-5f) << x;
    for (auto [x, y] : {std::pair{0.0f, 0.0f}, {-1.0f, 0.0f}, {1.0f, 1.0f}, {2.0f, 1.0f}})
        EXPECT_EQ(math_ease(x), y) << x;
}
