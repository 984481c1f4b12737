#include "scenegraph/model.h"

#include "core/archive_fixture.h"
#include "core/errors.h"
#include "core/sys.h"
#include "lib/le_bytes.h"
#include "lib/packed_writer.h"
#include "lib/qmo_writer.h"
#include "texture_device.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr float EPS = 1e-5f;
constexpr float DEG = 3.14159265f / 180.0f;

struct ParsedModel {
    Model model;
    HRESULT result;
    ParsedModel(const QmoImage& image, std::uint32_t flags = 0)
    {
        result = model_parse(model, qmo_bytes(image), 0, flags);
    }
    ~ParsedModel() { model_free(model); }
};

D3DXMATRIX identity()
{
    D3DXMATRIX m;
    D3DXMatrixIdentity(&m);
    return m;
}

D3DXVECTOR3 row(const D3DXMATRIX& m, int r)
{
    return {m.m[r][0], m.m[r][1], m.m[r][2]};
}

void expect_near(const D3DXVECTOR3& actual, const D3DXVECTOR3& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-4f);
    EXPECT_NEAR(actual.y, expected.y, 1e-4f);
    EXPECT_NEAR(actual.z, expected.z, 1e-4f);
}

// The keys turn bone2 about z; the stored quaternion's w is negated when it is sampled, so the
// pose turns the other way: x goes to (cos a, -sin a).
void expect_bone2_turned(const Model& model, float degrees)
{
    const ModelNode& bone2 = model.nodes[2];
    expect_near(row(bone2.pose.world, 0), {std::cos(degrees * DEG), -std::sin(degrees * DEG), 0});
    expect_near(row(bone2.pose.world, 3), {0, 1, 0});
}

} // namespace

// ---- Parsing ---------------------------------------------------------------------------------------

TEST(ModelParse, ReadsTheBoxWithItsLinksAndFormatCode)
{
    QmoImage image = qmo_box();
    image.collision_names[1] = "set_b.qco";
    image.has_extra = true;
    image.extra = {0.25f, 4.0f};
    ParsedModel parsed(image);
    ASSERT_EQ(parsed.result, S_OK);
    const Model& model = parsed.model;
    ASSERT_EQ(model.nodes.size(), 1u);
    ASSERT_EQ(model.meshes.size(), 1u);
    EXPECT_EQ(model.nodes[0].mesh, &model.meshes[0]);
    EXPECT_EQ(model.meshes[0].format, 73u);
    EXPECT_EQ(model.meshes[0].alpha_factor, 1.0f);
    EXPECT_EQ(model.meshes[0].subsets[0].triangle_count, 12u);
    EXPECT_EQ(model.fade, 1.0f);
    EXPECT_EQ(model.extra[0], 0.25f);
    EXPECT_EQ(model.extra[1], 4.0f);
    EXPECT_STREQ(model.header.collision_names[1], "set_b.qco");
    EXPECT_EQ(model.textures.size(), 3u);
    // No device: the buffers could not be made, the data was still stepped over.
    EXPECT_EQ(model.meshes[0].vertex_buffers[0].buffer, nullptr);
}

TEST(ModelParse, VertexFormatCodeFollowsTheFirstBufferOrTheBones)
{
    const std::pair<std::uint32_t, std::uint32_t> cases[] = {{0x42, 1},  {0x142, 17}, {0x152, 73},
                                                             {0x1C2, 3}, {0x1D2, 26}, {0x102, 0}};
    for (auto [fvf, code] : cases) {
        QmoImage image = qmo_box();
        image.meshes[0].vertex_buffers[0].format = fvf;
        ParsedModel parsed(image);
        ASSERT_EQ(parsed.result, S_OK);
        EXPECT_EQ(parsed.model.meshes[0].format, code) << std::hex << fvf;
    }
    ParsedModel skinned(qmo_two_bone_skinned());
    ASSERT_EQ(skinned.result, S_OK);
    EXPECT_EQ(skinned.model.meshes[0].format, MODEL_FORMAT_SKINNED);
    EXPECT_EQ(skinned.model.meshes[0].bones[1], &skinned.model.nodes[2]);
}

TEST(ModelParse, KeepsCopiesAndComputesTriangleCentres)
{
    ParsedModel parsed(qmo_box(2.0f),
                       MODEL_LOAD_KEEP_VERTICES | MODEL_LOAD_KEEP_INDICES | MODEL_LOAD_CENTRES);
    ASSERT_EQ(parsed.result, S_OK);
    const ModelMesh& mesh = parsed.model.meshes[0];
    EXPECT_EQ(mesh.vertex_buffers[0].copy.size(), 8u * QMO_BOX_STRIDE);
    EXPECT_EQ(mesh.index_buffers[0].copy.size(), 72u);
    ASSERT_EQ(mesh.index_buffers[0].centres.size(), 12u);
    // Triangle 0 is corners 0 (-2,-2,-2), 2 (-2,2,-2), 1 (2,-2,-2).
    expect_near(mesh.index_buffers[0].centres[0], {-2.0f / 3.0f, -2.0f / 3.0f, -2.0f});

    ParsedModel without_vertices(qmo_box(), MODEL_LOAD_KEEP_INDICES | MODEL_LOAD_CENTRES);
    EXPECT_TRUE(without_vertices.model.meshes[0].index_buffers[0].centres.empty());
}

TEST(ModelParse, NamesAreEightByteFieldsComparedExactly)
{
    QmoImage image = qmo_box();
    image.nodes[0].child = "seven_7";
    image.nodes.push_back({.name = "seven_7", .sibling = "eight_88"});
    image.nodes.push_back({.name = "eight_888"}); // cut to "eight_88", stored without a terminator
    ParsedModel parsed(image);
    ASSERT_EQ(parsed.result, S_OK);
    Model& model = parsed.model;
    EXPECT_EQ(model.nodes[0].child, &model.nodes[1]);
    EXPECT_EQ(model.nodes[1].sibling, &model.nodes[2]);
    EXPECT_EQ(model_find_node(model, "eight_88"), &model.nodes[2]);
    EXPECT_EQ(model_find_node(model, "Seven_7"), nullptr);
    EXPECT_EQ(model_find_node(model, "seven_"), nullptr);
    EXPECT_EQ(model_find_mesh(model, "box"), &model.meshes[0]);
    EXPECT_EQ(model_find_node_matrix(model, "nothing"), nullptr);
    EXPECT_EQ(model_find_node_matrix(model, "box"), &model.nodes[0].pose.world);
}

TEST(ModelParse, AMissingBoneNameIsAnUnusedSlot)
{
    QmoImage image = qmo_two_bone_skinned();
    image.meshes[0].bones[1] = "nobody";
    ParsedModel parsed(image);
    ASSERT_EQ(parsed.result, S_OK);
    EXPECT_EQ(parsed.model.meshes[0].bones[1], nullptr);
}

TEST(ModelParse, SetMaterialFlagMarksEveryMaterial)
{
    QmoImage image = qmo_box();
    image.materials.push_back({.word = 0x41});
    image.meshes[0].subsets[0].material = 1;
    ParsedModel parsed(image);
    ASSERT_EQ(parsed.result, S_OK);
    model_set_material_flag(parsed.model);
    EXPECT_EQ(parsed.model.materials[0].word, MODEL_MATERIAL_FLAG);
    EXPECT_EQ(parsed.model.materials[1].word, 0x41u | MODEL_MATERIAL_FLAG);
}

TEST(ModelParse, RejectsWrongMagicAndVersion)
{
    std::vector<std::uint8_t> bytes = qmo_bytes(qmo_box());
    Model model;
    bytes[0] = 'X';
    EXPECT_EQ(model_parse(model, bytes, 0, 0), ERR_UNKNOWN_FORMAT);
    QmoImage old = qmo_box();
    old.version = 8;
    EXPECT_EQ(model_parse(model, qmo_bytes(old), 0, 0), ERR_UNMATCHED_VERSION);
    model_free(model);
}

TEST(ModelParse, EveryTruncationFailsCleanly)
{
    QmoImage image = qmo_two_bone_skinned();
    image.points.push_back({.node = "bone1"});
    image.has_extra = true;
    const std::vector<std::uint8_t> bytes = qmo_bytes(image);
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        Model model;
        HRESULT result = model_parse(model, std::span(bytes.data(), size), 0,
                                     MODEL_LOAD_KEEP_VERTICES | MODEL_LOAD_KEEP_INDICES | MODEL_LOAD_CENTRES);
        ASSERT_EQ(result, ERR_UNSUPPORTED_FORMAT) << size;
        EXPECT_TRUE(model.nodes.empty() && model.meshes.empty() && model.tracks.empty());
    }
}

TEST(ModelParse, RejectsCountsAndIndicesTheFileCannotHold)
{
    struct Case {
        const char* what;
        void (*damage)(QmoImage&);
    };
    const Case cases[] = {
        {"material index", [](QmoImage& m) { m.meshes[0].subsets[0].material = 1; }},
        {"palette bone", [](QmoImage& m) { m.meshes[0].subsets[0].palette[1] = 2; }},
        {"negative palette bone", [](QmoImage& m) { m.meshes[0].subsets[0].palette[0] = -5; }},
        {"triangle range", [](QmoImage& m) { m.meshes[0].subsets[0].first_triangle = 1; }},
        {"range next", [](QmoImage& m) { m.ranges[0].next = 2; }},
        {"range start near 2^32", [](QmoImage& m) { m.ranges[1].start = 0xFFFFFFF0; }},
        {"range length near 2^32", [](QmoImage& m) { m.ranges[0].length = 0xFFFFFFFF; }},
        {"range past the keys", [](QmoImage& m) { m.ranges[1].length = 2; }},
        {"ranges without keys", [](QmoImage& m) { m.tracks.clear(); }},
        {"nine texture sets", [](QmoImage& m) { m.meshes[0].vertex_buffers[1].format = 0x902; }},
        {"fifteen texture sets", [](QmoImage& m) { m.meshes[0].vertex_buffers[0].format = 0xF52; }},
        {"bones per vertex", [](QmoImage& m) { m.meshes[0].bones_per_vertex = 5; }},
        {"index size", [](QmoImage& m) { m.meshes[0].index_buffers[0].element_size = 3; }},
        {"index value",
         [](QmoImage& m) {
             m.meshes[0].index_buffers[0] = qmo_index_buffer({0, 2, 1, 1, 2, 4});
         }},
        {"node cycle", [](QmoImage& m) { m.nodes[2].child = "bone1"; }},
        {"sibling loop", [](QmoImage& m) { m.nodes[2].sibling = "bone2"; }},
        {"detached cycle",
         [](QmoImage& m) {
             m.nodes.push_back({.name = "a", .child = "b"});
             m.nodes.push_back({.name = "b", .sibling = "a"});
         }},
        {"huge vertex count", [](QmoImage& m) { m.meshes[0].vertex_buffers[0].count = 0x40000000; }},
        {"huge stride", [](QmoImage& m) { m.meshes[0].vertex_buffers[0].element_size = 0xFFFFFFFF; }},
    };
    for (const Case& c : cases) {
        QmoImage image = qmo_two_bone_skinned();
        c.damage(image);
        ParsedModel parsed(image, MODEL_LOAD_KEEP_VERTICES | MODEL_LOAD_KEEP_INDICES | MODEL_LOAD_CENTRES);
        EXPECT_EQ(parsed.result, ERR_UNSUPPORTED_FORMAT) << c.what;
        EXPECT_TRUE(parsed.model.meshes.empty()) << c.what;
    }
    // Counts in the header far beyond the data.
    std::vector<std::uint8_t> bytes = qmo_bytes(qmo_two_bone_skinned());
    for (std::size_t offset : {0x14u, 0x18u, 0x1Cu, 0x20u, 0x24u, 0x2Cu}) {
        std::vector<std::uint8_t> damaged = bytes;
        le_patch_u32(damaged, offset, 0x7FFFFFFF);
        Model model;
        EXPECT_EQ(model_parse(model, damaged, 0, 0), ERR_UNSUPPORTED_FORMAT) << offset;
    }
}

TEST(ModelParse, ARangeMayEndOnTheLastKey)
{
    QmoImage image = qmo_two_bone_skinned();
    image.ranges.push_back({.start = 4, .length = 0}); // length 0 plays one key
    ParsedModel parsed(image);
    ASSERT_EQ(parsed.result, S_OK);
    ModelInstance instance{};
    model_instance_init(instance, parsed.model, MODEL_INST_RANGES);
    EXPECT_EQ(model_anim_play(instance, 2, false, 0, MODEL_END_OFFSET_NONE), 4u);
    EXPECT_EQ(instance.range_end, 4.0f);
    model_instance_update(instance, identity(), identity());
    expect_bone2_turned(parsed.model, 90.0f);
    model_instance_free(instance);
}

TEST(ModelParse, ATreeDeeperThanTheWalksAllowIsRejected)
{
    QmoImage image;
    for (int i = 0; i <= MODEL_MAX_TREE_DEPTH + 1; ++i)
        image.nodes.push_back({.name = "n" + std::to_string(i), .child = "n" + std::to_string(i + 1)});
    ParsedModel deep(image);
    EXPECT_EQ(deep.result, ERR_UNSUPPORTED_FORMAT);
    image.nodes.resize(MODEL_MAX_TREE_DEPTH);
    ParsedModel fits(image);
    EXPECT_EQ(fits.result, S_OK);
}

// ---- Animation ---------------------------------------------------------------------------------------

class ModelAnimTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(model_parse(m_model, qmo_bytes(image()), 0, 0), S_OK);
        model_instance_init(m_inst, m_model, MODEL_INST_RANGES | MODEL_INST_POSES | MODEL_INST_POINTS);
    }
    void TearDown() override
    {
        model_instance_free(m_inst);
        model_free(m_model);
    }
    virtual QmoImage image() { return qmo_two_bone_skinned(); }
    void update() { model_instance_update(m_inst, identity(), identity()); }

    Model m_model;
    ModelInstance m_inst;
};

TEST_F(ModelAnimTest, PlaySetsStartStopAndClampsItsOffsets)
{
    struct Case {
        std::uint32_t range, start_offset, end_offset;
        float time, stop;
    };
    const Case cases[] = {
        {0, 0, MODEL_END_OFFSET_NONE, 0, 4},
        {0, 2, 3, 2, 3},
        {0, 9, MODEL_END_OFFSET_NONE, 4, 4},
        {0, 3, 1, 3, 3},
        {0, 1, 99, 1, 4},
        {1, 0, MODEL_END_OFFSET_NONE, 4, 4},
        {1, 5, 5, 4, 4},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(model_anim_play(m_inst, c.range, false, c.start_offset, c.end_offset),
                  m_model.ranges[c.range].start);
        EXPECT_EQ(m_inst.time, c.time) << c.range << " " << c.start_offset;
        EXPECT_EQ(m_inst.stop_time, c.stop) << c.range << " " << c.end_offset;
        EXPECT_EQ(m_inst.range_end, 4.0f);
    }
    ModelInstance bare;
    model_instance_init(bare, m_model, 0);
    EXPECT_EQ(model_anim_play(bare, 0, false, 0, 0), 0u);
    EXPECT_EQ(bare.time, 0.0f);
}

TEST_F(ModelAnimTest, UpdateKeepsTimesOutsideTheKeysOnTheKeys)
{
    // Range times a caller set by hand: beyond the 32-bit range, below zero, or not a number.
    struct Case {
        float start, end, time, degrees;
    };
    const Case cases[] = {
        {0.0f, 4294967296.0f, 4.0f, 90.0f}, {4294967296.0f, 4294967296.0f, 2.0f, 90.0f},
        {1e30f, 0.0f, 2.0f, 45.0f},         {-3.0f, 2.0f, 2.0f, 45.0f},
        {std::nanf(""), 4.0f, 1.0f, 0.0f},
    };
    for (const Case& c : cases) {
        model_anim_play(m_inst, 0, false, 0, MODEL_END_OFFSET_NONE);
        m_inst.range_start = c.start;
        m_inst.range_end = c.end;
        m_inst.time = c.time;
        update();
        SCOPED_TRACE(c.start);
        expect_bone2_turned(m_model, c.degrees);
    }
}

TEST_F(ModelAnimTest, SamplesSrtKeysAtIntegralAndFractionalTimes)
{
    for (auto [time, degrees] :
         {std::pair{0.0f, 0.0f}, {2.0f, 45.0f}, {1.5f, 33.75f}, {4.0f, 90.0f}, {7.0f, 90.0f}}) {
        model_anim_play(m_inst, 0, false, 0, MODEL_END_OFFSET_NONE);
        m_inst.time = time;
        update();
        expect_bone2_turned(m_model, degrees);
        EXPECT_EQ(m_inst.poses[2].world, m_model.nodes[2].pose.world);
    }
}

TEST_F(ModelAnimTest, AdvanceHoldsLoopsAndChains)
{
    // Range 0 loops: from 3.5 by one tick it passes the stop and restarts at the start.
    model_anim_play(m_inst, 0, false, 3, MODEL_END_OFFSET_NONE);
    model_anim_advance(m_inst, 0.5f);
    EXPECT_EQ(m_inst.time, 3.5f);
    EXPECT_FALSE(m_inst.state & MODEL_STATE_ENDED);
    model_anim_advance(m_inst, 0.5f);
    EXPECT_EQ(m_inst.time, 0.0f);
    EXPECT_TRUE(m_inst.state & MODEL_STATE_ENDED);

    // Range 1 (a single key) holds at once.
    model_anim_play(m_inst, 1, false, 0, MODEL_END_OFFSET_NONE);
    model_anim_advance(m_inst, 1.0f);
    EXPECT_EQ(m_inst.time, 4.0f);
    EXPECT_TRUE(m_inst.state & MODEL_STATE_ENDED);

    // A chain plays the next range from its start.
    m_model.ranges[0].next = 1;
    m_inst.ranges = m_model.ranges;
    model_anim_play(m_inst, 0, false, 0, 2);
    model_anim_advance(m_inst, 2.0f);
    EXPECT_EQ(m_inst.range, 1u);
    EXPECT_EQ(m_inst.time, 4.0f);
}

TEST_F(ModelAnimTest, ABackwardLoopRestartsFromItsEnd)
{
    model_anim_play(m_inst, 0, false, 0, MODEL_END_OFFSET_NONE);
    m_inst.range_start = 4.0f;
    m_inst.range_end = 0.0f;
    m_inst.time = 1.0f;
    m_inst.stop_time = 0.5f;
    model_anim_advance(m_inst, 0.25f);
    EXPECT_EQ(m_inst.time, 0.75f);
    model_anim_advance(m_inst, 0.5f);
    EXPECT_EQ(m_inst.time, 0.0f);
    EXPECT_TRUE(m_inst.state & MODEL_STATE_ENDED);
    model_anim_set_time(m_inst, 9.0f);
    EXPECT_EQ(m_inst.time, 4.0f);
    model_anim_set_time(m_inst, -1.0f);
    EXPECT_EQ(m_inst.time, 0.0f);
}

TEST_F(ModelAnimTest, BlendingStartsFromThePreviousPoseAndFades)
{
    m_model.ranges[1].blend_rate = 0.25f;
    m_inst.ranges = m_model.ranges;
    model_anim_play(m_inst, 0, false, 0, MODEL_END_OFFSET_NONE);
    update(); // bone2 at 0 degrees
    model_anim_play(m_inst, 1, true, 0, MODEL_END_OFFSET_NONE);
    EXPECT_EQ(m_inst.blend_weight, 1.0f);
    EXPECT_TRUE(m_inst.state & MODEL_STATE_BLENDING);
    update();
    expect_bone2_turned(m_model, 0.0f); // the whole previous pose
    model_anim_advance(m_inst, 2.0f);
    EXPECT_EQ(m_inst.blend_weight, 0.5f);
    update();
    expect_bone2_turned(m_model, 45.0f);
    model_anim_advance(m_inst, 3.0f);
    EXPECT_EQ(m_inst.blend_weight, 0.0f);
    EXPECT_FALSE(m_inst.state & MODEL_STATE_BLENDING);
    update();
    expect_bone2_turned(m_model, 90.0f);
}

TEST_F(ModelAnimTest, ExtraRotationTurnsOnTopOfTheAnimation)
{
    model_anim_play(m_inst, 0, false, 0, MODEL_END_OFFSET_NONE);
    ModelNode& bone2 = m_model.nodes[2];
    D3DXVECTOR3 z(0, 0, 1);
    D3DXQuaternionRotationAxis(&bone2.extra_rotation, &z, -90.0f * DEG);
    bone2.extra_weight = 0.5f;
    update();
    expect_bone2_turned(m_model, 45.0f);
}

TEST_F(ModelAnimTest, ModelToWorldAndRootLocalPlaceTheTree)
{
    D3DXMATRIX world, root_local;
    D3DXMatrixTranslation(&world, 10, 0, 0);
    D3DXMatrixTranslation(&root_local, 0, 0, 5);
    model_instance_update(m_inst, world, root_local);
    expect_near(row(m_model.nodes[2].pose.world, 3), {10, 1, 5});
    EXPECT_EQ(m_model.transform, world);
    EXPECT_EQ(m_inst.transform, world);
}

TEST_F(ModelAnimTest, UvAnimationRunsOnTheInstanceCopies)
{
    m_model.materials[0].bits = MODEL_MAT_UV_ANIM;
    m_model.materials[0].constants[0] = {0.5f, 0.0f, 0.0f, 0.0f};
    m_model.materials[0].constants[1] = {0.0f, 2.0f, 0.25f, 0.0f};
    m_model.materials[0].channels[1] = {1.0f, 0.0f};
    model_instance_init(m_inst, m_model, MODEL_INST_MATERIALS);
    model_anim_advance(m_inst, 2.0f);
    EXPECT_EQ(m_inst.materials[0].values[0], 1.0f);
    EXPECT_FLOAT_EQ(m_inst.materials[0].values[1], 1.0f + 2.0f * std::sin(0.5f));
    EXPECT_EQ(m_model.materials[0].values[0], 0.0f); // the shared model is untouched until the update
    update();
    EXPECT_EQ(m_model.materials[0].values[0], 1.0f);
}

class SeparateKeysTest : public ModelAnimTest {
protected:
    QmoImage image() override
    {
        QmoImage image = qmo_two_bone_skinned();
        QmoTrack& track = image.tracks[0];
        track.srt.clear();
        track.scale = {{{1, 1, 1}, 0}, {{3, 3, 3}, 2}};
        image.ranges = {{.start = 0, .length = 2, .next = MODEL_RANGE_LOOP}};
        image.nodes[2].default_translation = {0, 7, 0};
        QmoTrack matrix{.node = "bone1"};
        QmoMatrix a = QMO_IDENTITY, b = QMO_IDENTITY;
        a[12] = 1;
        b[12] = 2;
        matrix.matrix = {{a, 0}, {b, 1}};
        image.tracks.push_back(matrix);
        return image;
    }
};

TEST_F(SeparateKeysTest, MissingKindsUseIdentityAndTheDefaultTranslation)
{
    model_anim_play(m_inst, 0, false, 0, MODEL_END_OFFSET_NONE);
    m_inst.time = 1.0f;
    update();
    const D3DXMATRIX& local = m_model.nodes[2].pose.local;
    expect_near(row(local, 0), {2, 0, 0});
    expect_near(row(local, 1), {0, 2, 0});
    expect_near(row(local, 3), {0, 7, 0});
}

TEST_F(SeparateKeysTest, MatrixKeysTakeTheEarlierKeyUpToHalfway)
{
    model_anim_play(m_inst, 0, false, 0, MODEL_END_OFFSET_NONE);
    for (auto [time, x] : {std::pair{0.5f, 1.0f}, {0.6f, 2.0f}, {0.0f, 1.0f}}) {
        m_inst.time = time;
        update();
        EXPECT_EQ(m_model.nodes[1].pose.local._41, x) << time;
    }
}

TEST_F(ModelAnimTest, EqualKeyTimesGiveTheEarlierKey)
{
    m_model.tracks[0].srt[4].time = 3.0f; // keys 3 and 4 at the same time
    model_anim_play(m_inst, 0, false, 0, MODEL_END_OFFSET_NONE);
    m_inst.time = 3.5f;
    update();
    expect_bone2_turned(m_model, 67.5f);
}

TEST_F(ModelAnimTest, PointsFollowNodesAndLeanByTheirWeight)
{
    m_model.points.resize(4);
    auto point = [&](std::size_t i, std::size_t node, float weight, float radius) {
        m_model.points[i] = {};
        m_model.points[i].node = &m_model.nodes[node];
        m_model.points[i].weight = weight;
        m_model.points[i].radius = radius;
        m_model.points[i].position = D3DXVECTOR3(9, 9, 9);
    };
    point(0, 1, 0.5f, 1.0f);   // toward its child bone2 (0, 1, 0)
    point(1, 2, 0.5f, 1.0f);   // no child: toward its parent by -w, away from it
    point(2, 2, -0.25f, 1.0f); // toward the parent bone1 (0, 0, 0)
    point(3, 1, 0.0f, 0.0f);   // radius 0: not updated
    model_instance_init(m_inst, m_model, MODEL_INST_RANGES | MODEL_INST_POINTS);
    update();
    expect_near(m_inst.points[0], {0, 0.5f, 0});
    expect_near(m_inst.points[1], {0, 1.5f, 0});
    expect_near(m_inst.points[2], {0, 0.75f, 0});
    expect_near(m_inst.points[3], {9, 9, 9});
}

// ---- Loading through the resource manager ---------------------------------------------------------

namespace {

std::vector<std::string> g_texture_loads;

HRESULT texture_load(ResourceRecord& record, const ResrcLoadParams& params)
{
    g_texture_loads.push_back(record.name);
    EXPECT_EQ(params.texture.format, D3DFMT_A1R5G5B5);
    EXPECT_EQ(params.texture.pool, D3DPOOL_MANAGED);
    if (record.name.find("missing") != std::string::npos) return E_FAIL;
    IDirect3DTexture8* texture = nullptr;
    HRESULT hr = g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A1R5G5B5, D3DPOOL_MANAGED, &texture);
    record.object = texture;
    return hr;
}

class ModelLoadTest : public ArchiveTest {
protected:
    void SetUp() override
    {
        g_texture_loads.clear();
        m_saved_block = g_work_block;
        m_block.assign(0x10000, 0);
        g_work_block = WorkBlock{m_block.data(), static_cast<std::uint32_t>(m_block.size()), nullptr, 0};
        m_real = resrc_set_loader(RESRC_POOL_TEXTURE, {texture_load, nullptr});
        resrc_set_loader(RESRC_POOL_TEXTURE, {texture_load, m_real.destroy});
        model_register_loader();

        QmoImage box = qmo_box();
        box.materials[0].textures = {"..\\shared\\wood.dds", "skins\\tex\\metal.dds", "missing.dds"};
        const std::vector<std::uint8_t> bytes = qmo_bytes(box);
        std::vector<std::uint8_t> broken = bytes;
        broken.resize(bytes.size() - 10);
        const std::vector<ArchiveSource> files = {{"model\\box.qmo.z", packed_build(bytes)},
                                                  {"model\\broken.qmo.z", packed_build(broken)}};
        mount(files, {});
        ASSERT_TRUE(qmo_write_file(m_folder.path() / "loose.qmo", box));
    }
    void TearDown() override
    {
        ResrcMgr::Shutdown();
        resrc_set_loader(RESRC_POOL_TEXTURE, m_real);
        resrc_set_loader(RESRC_POOL_MODEL, {nullptr, nullptr});
        ArchiveTest::TearDown();
        g_work_block = m_saved_block;
    }

    Model* load(const std::string& name, std::uint32_t flags = 0)
    {
        ResrcLoadParams params;
        params.model_flags = flags;
        ResourceHandle handle = ResrcMgr::Load(name.c_str(), params, RESRC_POOL_MODEL, 0);
        ResourceRecord* record = ResrcMgr::Get(handle);
        return record ? static_cast<Model*>(record->object) : nullptr;
    }

    TextureDevice m_device;
    ResrcLoader m_real{};
    WorkBlock m_saved_block;
    std::vector<std::uint8_t> m_block;
};

} // namespace

TEST_F(ModelLoadTest, PackedModelsBindTheirTexturesBesideThemselves)
{
    Model* model = load("model\\box.qmo", MODEL_LOAD_WRITE_ONLY);
    ASSERT_NE(model, nullptr);
    // A name starting with "." keeps its path; any other keeps only its file name.
    EXPECT_EQ(g_texture_loads, (std::vector<std::string>{"model\\..\\shared\\wood.dds", "model\\metal.dds",
                                                         "model\\missing.dds"}));
    EXPECT_NE(model->textures[0], nullptr);
    EXPECT_NE(model->textures[1], nullptr);
    EXPECT_EQ(model->textures[2], nullptr);
    EXPECT_EQ(model->load_flags, MODEL_LOAD_WRITE_ONLY);
    ASSERT_NE(model->meshes[0].vertex_buffers[0].buffer, nullptr);
    ASSERT_NE(model->meshes[0].index_buffers[0].buffer, nullptr);
    EXPECT_EQ(g_work_block.owner, nullptr) << "the work block was given back";
    ResrcMgr::Release(RESRC_POOL_MODEL, model);
}

TEST_F(ModelLoadTest, LoosePathsAndFailures)
{
    EXPECT_NE(load(m_folder.windows("loose.qmo")), nullptr);
    EXPECT_EQ(load("model\\broken.qmo"), nullptr);
    EXPECT_EQ(g_resrc_last_result, ERR_UNSUPPORTED_FORMAT);
    EXPECT_EQ(load("model\\absent.qmo"), nullptr);
    EXPECT_EQ(g_resrc_last_result, ERR_OPEN_FILE);
    Model direct;
    EXPECT_EQ(model_load_file(direct, "model\\absent.qmo.z", 0, 0), ERR_OPEN_FILE);
}
