#include "scenegraph/locus_curve.h"

#include "core/errors.h"
#include "core/vfs.h"
#include "lib/archive_writer.h"
#include "lib/demo_writer.h"
#include "lib/le_bytes.h"
#include "lib/sl2_writer.h"
#include "lowlv/d3d/state_test_device.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

// F frames of P points; point j of frame f lies at (f + 10j, 2f + 10j, 3f + 10j), and the
// frames fade by the given values (1.0 for every frame when none are given).
Sl2Image numbered_curve(std::uint32_t frames, std::uint32_t points, std::vector<float> fades = {})
{
    Sl2Image image = sl2_swing(frames, points);
    for (std::uint32_t f = 0; f < frames; ++f) {
        Sl2Frame& frame = image.frames[f];
        frame.fade = f < fades.size() ? fades[f] : 1.0f;
        for (std::uint32_t j = 0; j < points; ++j) {
            float base = static_cast<float>(10 * j);
            frame.points[j] = {f + base, 2.0f * f + base, 3.0f * f + base};
        }
    }
    return image;
}

void expect_vec(const Vec3& actual, const Vec3& expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// Curves in an archive, opened as the game opens it.
class TrailCurveTest : public ::testing::Test {
protected:
    void TearDown() override { vfs_close_all(); }

    void mount(std::vector<ArchiveSource> files)
    {
        ASSERT_TRUE(archive_write_set(m_folder.path(), files, {}));
        vfs::Startup((m_folder.windows() + "\\").c_str());
    }

    TempFolder m_folder;
};

} // namespace

TEST_F(TrailCurveTest, LoadsTheHeaderTemplateSegmentsAndFrames)
{
    Sl2Image image = numbered_curve(5, 4, {1, 1, 0.5f, 0.25f, 0});
    image.scale = 1.5f;
    image.vertices[1].unscaled = 1;
    image.vertices[2].color = 0x12345678;
    image.segments = {{0, 3, 2.0f}, {3, 5, 0.5f}};
    image.frames[2].speed = 0.75f;
    mount({{"data\\effect\\sword0.sl2", sl2_bytes(image)}});

    TrailCurve curve;
    ASSERT_EQ(renderer_trail_load(curve, "data\\effect\\sword0.sl2"), S_OK);
    EXPECT_EQ(curve.header.frame_count, 5u);
    EXPECT_EQ(curve.header.point_count, 4u);
    EXPECT_EQ(curve.header.triangle_count, 2u);
    EXPECT_EQ(curve.header.segment_count, 2u);
    EXPECT_FLOAT_EQ(curve.header.scale, 1.5f);
    ASSERT_EQ(curve.vertices.size(), 4u);
    EXPECT_EQ(curve.vertices[1].unscaled, 1.0f);
    EXPECT_EQ(curve.vertices[2].color, 0x12345678u);
    EXPECT_EQ(curve.vertices[3].u, image.vertices[3].u);
    EXPECT_EQ(curve.vertices[3].v, image.vertices[3].v);
    ASSERT_EQ(curve.segments.size(), 2u);
    EXPECT_EQ(curve.segments[1].first_frame, 3u);
    EXPECT_EQ(curve.segments[1].end_frame, 5u);
    EXPECT_FLOAT_EQ(curve.segments[0].scale, 2.0f);
    ASSERT_EQ(curve.frames.size(), 5u);
    EXPECT_FLOAT_EQ(curve.frames[2].speed, 0.75f);
    EXPECT_FLOAT_EQ(curve.frames[3].fade, 0.25f);
    ASSERT_EQ(curve.points.size(), 20u);
    expect_vec(curve.points[4 * 3 + 2], {23, 26, 29}, 0);
    EXPECT_EQ(curve.written_fade, -1.0f);
}

TEST_F(TrailCurveTest, RejectsCurvesItCannotReadOrDraw)
{
    std::vector<std::uint8_t> good = sl2_bytes(numbered_curve(3, 4));
    std::vector<std::uint8_t> short_by_one(good.begin(), good.end() - 1);
    std::vector<std::uint8_t> header_cut(good.begin(), good.begin() + 20);
    std::vector<std::uint8_t> huge_frames = good;
    le_patch_u32(huge_frames, SL2_OFFSET_FRAMES, 0xFFFFFFFF);
    std::vector<std::uint8_t> huge_segments = good;
    le_patch_u32(huge_segments, SL2_OFFSET_SEGMENTS, 0x10000000);
    Sl2Image one_point = numbered_curve(3, 1);
    Sl2Image too_many_points = numbered_curve(1, 513);
    Sl2Image widest = numbered_curve(1, 512);
    Sl2Image too_many_triangles = numbered_curve(3, 4);
    too_many_triangles.triangle_count = 3;
    Sl2Image no_triangles = numbered_curve(3, 4);
    no_triangles.triangle_count = 0;
    Sl2Image segment_past_end = numbered_curve(3, 4);
    segment_past_end.segments = {{0, 4, 1}};
    Sl2Image segment_backward = numbered_curve(3, 4);
    segment_backward.segments = {{2, 1, 1}};
    Sl2Image segment_to_end = numbered_curve(3, 4);
    segment_to_end.segments = {{1, 3, 1}, {3, 3, 1}};

    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        HRESULT result;
    };
    const std::vector<Case> cases = {
        {"whole", good, S_OK},
        {"one byte short", short_by_one, ERR_READ_FILE},
        {"a cut header", header_cut, ERR_READ_FILE},
        {"frame count past the entry", huge_frames, ERR_READ_FILE},
        {"segment count past the entry", huge_segments, ERR_READ_FILE},
        {"one point", sl2_bytes(one_point), ERR_UNSUPPORTED_FORMAT},
        {"more points than the buffer", sl2_bytes(too_many_points), ERR_UNSUPPORTED_FORMAT},
        {"as many points as the buffer", sl2_bytes(widest), S_OK},
        {"more triangles than P - 2", sl2_bytes(too_many_triangles), ERR_UNSUPPORTED_FORMAT},
        {"no triangles", sl2_bytes(no_triangles), S_OK},
        {"a segment past the last frame", sl2_bytes(segment_past_end), ERR_UNSUPPORTED_FORMAT},
        {"a segment ending before it starts", sl2_bytes(segment_backward), ERR_UNSUPPORTED_FORMAT},
        {"segments up to the last frame", sl2_bytes(segment_to_end), S_OK},
    };
    std::vector<ArchiveSource> files;
    for (std::size_t i = 0; i < cases.size(); ++i)
        files.push_back({"effect\\case" + std::to_string(i) + ".sl2", cases[i].bytes});
    mount(files);

    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        TrailCurve curve;
        curve.frames.resize(2);
        EXPECT_EQ(renderer_trail_load(curve, files[i].path.c_str()), cases[i].result);
        if (cases[i].result != S_OK) {
            EXPECT_TRUE(curve.frames.empty());
            EXPECT_TRUE(curve.vertices.empty());
            EXPECT_EQ(curve.header.frame_count, 0u);
        }
    }
    TrailCurve curve;
    EXPECT_EQ(renderer_trail_load(curve, "data\\effect\\missing.sl2"), ERR_OPEN_FILE);
}

TEST_F(TrailCurveTest, SamplesTheBladePointBetweenFramesAndClampsToTheCurve)
{
    mount({{"effect\\a.sl2", sl2_bytes(numbered_curve(4, 4))},
           {"effect\\none.sl2", sl2_bytes(numbered_curve(0, 4))}});
    TrailCurve curve;
    ASSERT_EQ(renderer_trail_load(curve, "effect\\a.sl2"), S_OK);
    const float NaN = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float t, s;
        Vec3 expected;
    };
    const Case cases[] = {
        {0, 1, {0, 0, 0}},          {2, 1, {2, 4, 6}},
        {1.5f, 1, {1.5f, 3, 4.5f}}, {2.25f, 2, {4.5f, 6.75f, 13.5f}}, // y times (s + 1) / 2
        {1, 0, {0, 1, 0}},                                            // scale 0 halves y
        {3, 1, {3, 6, 9}},                                            // the last frame
        {3.5f, 1, {3, 6, 9}},                                         // no frame after the last
        {100, 1, {3, 6, 9}},        {-2.5f, 1, {0, 0, 0}},
        {NaN, 1, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "t " << c.t << " s " << c.s);
        Vec3 out{-1, -1, -1};
        renderer_trail_sample(out, curve, c.t, c.s);
        expect_vec(out, c.expected);
    }
    // An integral time gives the frame's point exactly.
    Vec3 exact;
    renderer_trail_sample(exact, curve, 2, 1);
    EXPECT_EQ(exact.y, 4.0f);

    TrailCurve empty;
    ASSERT_EQ(renderer_trail_load(empty, "effect\\none.sl2"), S_OK);
    Vec3 out{-1, -1, -1};
    renderer_trail_sample(out, empty, 1, 1);
    expect_vec(out, {0, 0, 0}, 0);
}

// ---- Drawing ---------------------------------------------------------------------------------------

namespace {

// A device with the game's shaders and the world-quad dynamic buffer, inside a scene, with
// curves in the archive and the draws logged.
class TrailDrawTest : public StateDeviceTest {
protected:
    void SetUp() override
    {
        StateDeviceTest::SetUp();
        std::vector<ArchiveSource> files = demo_shader_files(shader_file_names());
        Sl2Image curve = numbered_curve(3, 4, {1, 0, 0.5f});
        curve.vertices[1].unscaled = 1;
        curve.vertices[2].u = 0.25f;
        curve.vertices[2].v = 0.75f;
        files.push_back({"effect\\strip.sl2", sl2_bytes(curve)});
        files.push_back({"effect\\still.sl2", sl2_bytes(numbered_curve(0, 4))});
        Sl2Image flat = numbered_curve(3, 4);
        flat.triangle_count = 0;
        files.push_back({"effect\\flat.sl2", sl2_bytes(flat)});
        ASSERT_TRUE(archive_write_set(m_folder.path(), files, {}));
        vfs::Startup((m_folder.windows() + "\\").c_str());
        shader_load_all();
        ASSERT_EQ(renderer_create_vertex_buffer(g_renderer_vbs[RVB_WORLD_QUAD],
                                                g_renderer_vb_layouts[RVB_WORLD_QUAD]),
                  D3D_OK);
        ASSERT_EQ(device().CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_texture), D3D_OK);
        ASSERT_EQ(device().BeginScene(), D3D_OK);
        d3d8_seam_log_draws(true);
        ASSERT_EQ(renderer_trail_load(m_curve, "effect\\strip.sl2"), S_OK);
    }

    void TearDown() override
    {
        device().EndScene();
        d3d8_seam_log_draws(false);
        device().SetTexture(0, nullptr);
        if (m_texture) m_texture->Release();
        StateDeviceTest::TearDown();
        vfs_close_all();
    }

    DynamicBuffer& buffer() const { return g_renderer_vbs[RVB_WORLD_QUAD]; }

    // The vertex as it stands in the dynamic buffer.
    TrailVertex uploaded(UINT index) const
    {
        TrailVertex vertex;
        std::memcpy(&vertex, d3d8_buffer_data(*buffer().vertices) + index * sizeof(TrailVertex),
                    sizeof vertex);
        return vertex;
    }

    static Vec3 position(const TrailVertex& vertex) { return {vertex.x, vertex.y, vertex.z}; }

    TempFolder m_folder;
    IDirect3DTexture8* m_texture = nullptr;
    TrailCurve m_curve;
};

} // namespace

TEST_F(TrailDrawTest, DrawsTheInterpolatedStripFromTheDynamicBuffer)
{
    // Half way from frame 0 to frame 1, scale 2, the frames' fades 1 and 0 and a given fade 1:
    // fade 0.5.
    renderer_trail_draw(0.5f, m_texture, 1.0f, 2.0f, m_curve);
    const std::vector<D3D8DrawRecord>& draws = d3d8_seam_draws();
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].call.type, D3DPT_TRIANGLESTRIP);
    EXPECT_FALSE(draws[0].call.indexed);
    EXPECT_EQ(draws[0].call.start, 0u);
    EXPECT_EQ(draws[0].call.primitive_count, 2u);
    EXPECT_EQ(draws[0].state.textures[0], m_texture);
    EXPECT_EQ(draws[0].state.vertex_shader, shader_handle(SHADER_SLOT_B_DST1));
    EXPECT_EQ(draws[0].state.streams[0].buffer, buffer().vertices);
    EXPECT_EQ(draws[0].state.streams[0].stride, 28u);
    EXPECT_EQ(g_current_material, TRAIL_MATERIAL);
    EXPECT_EQ(d3d8_lock_record(*buffer().vertices).flags, static_cast<DWORD>(D3DLOCK_DISCARD));

    // Point j lies at (0.5 + 10j, 1 + 10j, 1.5 + 10j); scaled points take (2, 1.5, 2).
    expect_vec(position(uploaded(0)), {1, 1.5f, 3});
    expect_vec(position(uploaded(1)), {10.5f, 11, 11.5f}); // marked unscaled
    expect_vec(position(uploaded(3)), {61, 46.5f, 63});
    for (UINT j = 0; j < 4; ++j)
        EXPECT_EQ(uploaded(j).color, 0x80FFFFFFu) << j;
    EXPECT_EQ(uploaded(2).u, 0.25f);
    EXPECT_EQ(uploaded(2).v, 0.75f);
    EXPECT_EQ(uploaded(1).unscaled, 1.0f);

    // The next strip goes after it without waiting for the first.
    renderer_trail_draw(2, m_texture, 1.0f, 1.0f, m_curve);
    ASSERT_EQ(d3d8_seam_draws().size(), 2u);
    EXPECT_EQ(d3d8_seam_draws()[1].call.start, 4u);
    EXPECT_EQ(d3d8_lock_record(*buffer().vertices).flags, static_cast<DWORD>(D3DLOCK_NOOVERWRITE));
    expect_vec(position(uploaded(4)), {2, 4, 6});
}

TEST_F(TrailDrawTest, TheFadeBecomesTheTemplateAlpha)
{
    struct Case {
        float t;
        float fade;
        std::uint32_t color;
    };
    const Case cases[] = {
        {0, 1.0f, 0xFFFFFFFF},   // frame fade 1
        {0, 2.0f, 0xFFFFFFFF},   // saturates
        {0, 0.5f, 0x80FFFFFF},   //
        {2, 0.5f, 0x40FFFFFF},   // frame fade 0.5
        {0, 0.0f, 0x00FFFFFF},   //
        {1, 1.0f, 0x00FFFFFF},   // frame fade 0
        {0, -1.0f, 0x00FFFFFF},  // below 0
        {0.25f, 1, 0xC0FFFFFF},  // interpolated: 0.75
        {100, 0.5f, 0x40FFFFFF}, // clamped to the last frame
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "t " << c.t << " fade " << c.fade);
        renderer_trail_draw(c.t, m_texture, c.fade, 1.0f, m_curve);
        UINT first = d3d8_seam_draws().back().call.start;
        EXPECT_EQ(uploaded(first).color, c.color);
        EXPECT_EQ(uploaded(first + 3).color, c.color);
    }
}

TEST_F(TrailDrawTest, DrawsNothingWithoutFramesTrianglesOrALock)
{
    TrailCurve still, flat;
    ASSERT_EQ(renderer_trail_load(still, "effect\\still.sl2"), S_OK);
    ASSERT_EQ(renderer_trail_load(flat, "effect\\flat.sl2"), S_OK);
    renderer_trail_draw(0, m_texture, 1, 1, still);
    renderer_trail_draw(0, m_texture, 1, 1, flat);
    d3d8_seam_fail(D3D8Call::Lock, D3DERR_INVALIDCALL);
    renderer_trail_draw(0, m_texture, 1, 1, m_curve);
    EXPECT_TRUE(d3d8_seam_draws().empty());
    renderer_trail_draw(0, m_texture, 1, 1, m_curve);
    EXPECT_EQ(d3d8_seam_draws().size(), 1u);
}
