#include "gfx/g_ripple.h"

#include "core/maths.h"
#include "core/timer.h"
#include "game/g_image_table.h"
#include "game/g_tick.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "scenegraph/renderer_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

constexpr float k_pi = std::numbers::pi_v<float>;

// The renderer on a state-only device with every pool made and a texture as image 29. Each
// frame clears the queue, runs the ripples' tick on a drawn step and draws the queue.
class RippleTest : public RendererTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        ASSERT_EQ(obj_create_pools(), S_OK);
        ASSERT_EQ(g_d3d_device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_texture),
                  D3D_OK);
        g_texture_handles[RIPPLE_IMAGE] = m_texture;
        g_paused = 0;
        g_draw_frame = 1;
        g_frame_step = 1.0f;
    }
    void TearDown() override
    {
        obj_destroy_all();
        obj_destroy_pools();
        g_texture_handles[RIPPLE_IMAGE] = nullptr;
        if (m_texture) m_texture->Release();
        g_paused = g_draw_frame = 0;
        RendererTest::TearDown();
    }

    // One tick of `step` and the frame it queues; the draws of that frame alone.
    void frame(float step = 0.0f)
    {
        renderer_reset_frame_state();
        d3d8_seam_log_draws(true); // empties the log
        g_frame_step = step;
        ripple_update();
        renderer_draw_frame();
    }

    static UINT batch_locks() { return d3d8_lock_record(*g_renderer_vbs[RVB_BATCH].vertices).count; }

    // The vertices an indexed ripple draw read, from its base vertex on.
    static std::vector<BatchVertex> drawn_vertices(const D3D8DrawRecord& draw)
    {
        std::vector<BatchVertex> vertices(draw.call.vertex_count);
        const std::uint8_t* data = d3d8_buffer_data(*draw.state.streams[0].buffer);
        std::memcpy(vertices.data(), data + draw.state.base_vertex * sizeof(BatchVertex),
                    vertices.size() * sizeof(BatchVertex));
        return vertices;
    }

    // The one ripple drawn this frame.
    static std::vector<BatchVertex> only_quad()
    {
        EXPECT_EQ(draws().size(), 1u);
        if (draws().size() != 1) return std::vector<BatchVertex>(4);
        return drawn_vertices(draws()[0]);
    }

    IDirect3DTexture8* m_texture = nullptr;
};

std::uint8_t alpha_of(const BatchVertex& vertex)
{
    return static_cast<std::uint8_t>(vertex.diffuse >> 24);
}

float across(const std::vector<BatchVertex>& quad)
{
    return quad[2].x - quad[0].x;
}

} // namespace

// A ring of 2.0 is 1.0 across at birth and grows by 0.02 of its half size per tick: 2.0 at 25.
// At 50 it is freed instead of drawn 3.0 across.
TEST_F(RippleTest, ARingGrowsFromHalfItsSizeAndIsFreedAtFiftyTicks)
{
    ASSERT_NE(ripple_spawn_ring(D3DXVECTOR3(1.0f, 2.0f, 3.0f), 2.0f), nullptr);
    frame();
    std::vector<BatchVertex> quad = only_quad();
    EXPECT_FLOAT_EQ(across(quad), 1.0f);
    EXPECT_FLOAT_EQ(quad[1].z - quad[0].z, 1.0f);
    for (const BatchVertex& v : quad)
        EXPECT_EQ(v.y, 2.0f) << "flat at the water height";

    frame(25.0f);
    quad = only_quad();
    EXPECT_FLOAT_EQ(across(quad), 2.0f);
    EXPECT_FLOAT_EQ(quad[0].x, 0.0f);
    EXPECT_FLOAT_EQ(quad[0].z, 2.0f);

    frame(25.0f);
    EXPECT_EQ(g_pool_ripple.count, 0);
    EXPECT_EQ(g_rq_rows[RIPPLE_ROW].used, 0u) << "nothing left to queue";
    EXPECT_TRUE(draws().empty());
}

// Opaque until 35 ticks, then 17 less per tick; a scale other than 256 weighs the alpha, and a
// scale above 256 cannot carry it past opaque.
TEST_F(RippleTest, AlphaFadesAfterThirtyFiveTicksAndTakesTheScale)
{
    const struct {
        float age;
        std::uint16_t scale;
        std::uint8_t alpha;
    } cases[] = {
        {0.0f, 256, 255}, {34.5f, 256, 255}, {35.0f, 256, 255}, {36.0f, 256, 238},
        {49.0f, 256, 17}, {49.5f, 256, 8},   {0.0f, 128, 127},  {49.0f, 128, 8},
        {0.0f, 0, 0},     {0.0f, 512, 255},  {40.0f, 300, 199},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "age " << c.age << " scale " << c.scale);
        Ripple* wake = ripple_spawn_wake(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 1.0f, 0.0f, c.scale);
        ASSERT_NE(wake, nullptr);
        wake->age = c.age;
        frame();
        for (const BatchVertex& v : only_quad()) {
            EXPECT_EQ(alpha_of(v), c.alpha);
            EXPECT_EQ(v.diffuse & 0xFFFFFF, 0xFFFFFFu);
        }
        obj_destroy_all();
    }
}

// Freeing closes the gap in the list: two neighbours at the end of life both go in one tick and
// the one after them still ages.
TEST_F(RippleTest, NeighboursEndingInOneTickAreBothFreedAndTheNextStillAges)
{
    Ripple* first = ripple_spawn_ring(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 1.0f);
    Ripple* second = ripple_spawn_ring(D3DXVECTOR3(1.0f, 0.0f, 0.0f), 1.0f);
    Ripple* third = ripple_spawn_ring(D3DXVECTOR3(2.0f, 0.0f, 0.0f), 1.0f);
    first->age = 49.5f;
    second->age = 49.0f;
    frame(1.0f);
    ASSERT_EQ(g_pool_ripple.count, 1);
    EXPECT_EQ(g_pool_ripple.active[0], third);
    EXPECT_EQ(third->age, 1.0f);
    ASSERT_EQ(draws().size(), 1u);
    EXPECT_EQ(draws()[0].call.primitive_count, 2u);
}

// While the world is paused the ripples keep their age, and so their size and alpha, and are
// still drawn; a step that is not drawn ages them without queueing.
TEST_F(RippleTest, PausedRipplesKeepTheirLookAndStayDrawn)
{
    Ripple* ring = ripple_spawn_ring(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 2.0f);
    ring->age = 40.0f;
    frame(1.0f);
    const std::vector<BatchVertex> before = only_quad();

    g_paused = 1;
    for (int i = 0; i < 3; ++i) {
        frame(1.0f);
        const std::vector<BatchVertex> quad = only_quad();
        EXPECT_EQ(std::memcmp(quad.data(), before.data(), sizeof(BatchVertex) * 4), 0);
    }
    EXPECT_EQ(ring->age, 41.0f);

    g_paused = 0;
    g_draw_frame = 0;
    frame(1.0f);
    EXPECT_EQ(ring->age, 42.0f);
    EXPECT_TRUE(draws().empty());
}

// The direction is the quarter-turned heading's table step, read with its non-negative residue:
// heading 0 lands on step 63 (just short of 64), negative headings count back from the table's end.
TEST_F(RippleTest, WakeDirectionsComeFromTheTableForAnyHeading)
{
    const struct {
        float heading;
        int cos_entry;
        int sin_entry;
    } cases[] = {
        {0.0f, 63, 255},   {k_pi / 2.0f, 127, 63}, {-k_pi / 2.0f, 0, 192}, {-k_pi, 193, 129},
        {-3.0f, 198, 134}, {-2.0f * k_pi, 65, 1},  {-10.0f, 169, 105},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.heading);
        Ripple* wake = ripple_spawn_wake(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 1.0f, c.heading, 256);
        ASSERT_NE(wake, nullptr);
        EXPECT_EQ(wake->kind, RIPPLE_WAKE);
        EXPECT_EQ(wake->direction_x, g_cos_table_256[c.cos_entry]);
        EXPECT_EQ(wake->direction_z, g_cos_table_256[c.sin_entry]);
        obj_destroy_all();
    }
    Ripple* wake = ripple_spawn_wake(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 1.0f, 0.0f, 256);
    EXPECT_NEAR(wake->direction_x, 0.024541f, 1e-6f);
    EXPECT_NEAR(wake->direction_z, 0.999699f, 1e-6f);
}

// The wake's corners turn with its direction (c, n) and take the picture's lower half; the ring
// is the same quad along (1, 0) from the upper half.
TEST_F(RippleTest, CornersFollowTheDirectionAndTheTextureHalfOfTheKind)
{
    const D3DXVECTOR3 at(10.0f, 1.0f, -4.0f);
    Ripple* wake = ripple_spawn_wake(at, 4.0f, -k_pi / 4.0f, 256);
    Ripple* ring = ripple_spawn_ring(at, 4.0f);
    frame();
    ASSERT_EQ(draws().size(), 1u);
    const std::vector<BatchVertex> drawn = drawn_vertices(draws()[0]);
    ASSERT_EQ(drawn.size(), 8u);

    const struct {
        const Ripple* ripple;
        float c, n, v;
    } quads[] = {{wake, wake->direction_x, wake->direction_z, 0.5f}, {ring, 1.0f, 0.0f, 0.0f}};
    for (int q = 0; q < 2; ++q) {
        SCOPED_TRACE(q);
        const float c = quads[q].c, n = quads[q].n, v = quads[q].v, e = 1.0f;
        const float expected[4][4] = {{n - c, -c - n, 0.0f, v},
                                      {-c - n, c - n, 0.0f, v + 0.5f},
                                      {c + n, n - c, 1.0f, v},
                                      {c - n, n + c, 1.0f, v + 0.5f}};
        for (int i = 0; i < 4; ++i) {
            const BatchVertex& vertex = drawn[4 * q + i];
            EXPECT_FLOAT_EQ(vertex.x, at.x + e * expected[i][0]) << i;
            EXPECT_FLOAT_EQ(vertex.z, at.z + e * expected[i][1]) << i;
            EXPECT_EQ(vertex.y, at.y) << i;
            EXPECT_EQ(vertex.u, expected[i][2]) << i;
            EXPECT_EQ(vertex.v, expected[i][3]) << i;
        }
    }
}

// Every live ripple goes out in one lock of the batch buffer and one indexed draw over the quad
// indices, with the ripple picture, the plain textured shader and the ripples' material.
TEST_F(RippleTest, AllRipplesDrawInOneLockAndOneIndexedDraw)
{
    for (int n : {1, 3, RIPPLE_POOL_SIZE}) {
        SCOPED_TRACE(n);
        for (int i = 0; i < n; ++i)
            ASSERT_NE(ripple_spawn_wake(D3DXVECTOR3(float(i), 0.0f, 0.0f), 1.0f, float(i), 256), nullptr);
        const UINT locks = batch_locks();
        frame();
        EXPECT_EQ(batch_locks(), locks + 1);
        ASSERT_EQ(draws().size(), 1u);
        const D3D8DrawRecord& draw = draws()[0];
        EXPECT_TRUE(draw.call.indexed);
        EXPECT_EQ(draw.call.type, D3DPT_TRIANGLELIST);
        EXPECT_EQ(draw.call.start, 0u);
        EXPECT_EQ(draw.call.min_index, 0u);
        EXPECT_EQ(draw.call.vertex_count, UINT(4 * n));
        EXPECT_EQ(draw.call.primitive_count, UINT(2 * n));
        EXPECT_EQ(draw.state.indices, g_renderer_ibs[RIB_QUADS].indices);
        EXPECT_EQ(draw.state.base_vertex + UINT(4 * n), g_renderer_vbs[RVB_BATCH].position);
        EXPECT_EQ(draw.state.streams[0].buffer, g_renderer_vbs[RVB_BATCH].vertices);
        EXPECT_EQ(draw.state.streams[0].stride, sizeof(BatchVertex));
        EXPECT_EQ(draw.state.textures[0], m_texture);
        EXPECT_EQ(draw.state.vertex_shader, shader_handle(SHADER_SLOT_B_DT1));
        EXPECT_EQ(draw.state.render[D3DRS_ALPHABLENDENABLE], TRUE);
        EXPECT_EQ(draw.state.render[D3DRS_ZWRITEENABLE], FALSE);
        EXPECT_EQ(g_current_material, RIPPLE_MATERIAL);
        const std::vector<BatchVertex> drawn = drawn_vertices(draw);
        EXPECT_FLOAT_EQ(drawn[4 * (n - 1)].y, 0.0f);
        EXPECT_FLOAT_EQ((drawn[4 * (n - 1)].x + drawn[4 * (n - 1) + 3].x) / 2.0f, float(n - 1))
            << "the last ripple's quad is centred on it";
        obj_destroy_all();
    }
}

// The frame's item: one callback in row 10 with keys 0 and no user value, whatever the count.
TEST_F(RippleTest, OneCallbackItemInRowTenPerDrawnFrame)
{
    renderer_reset_frame_state();
    ripple_update();
    EXPECT_EQ(g_rq_rows[RIPPLE_ROW].used, 0u) << "no ripple, no item";

    ripple_spawn_ring(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 1.0f);
    ripple_spawn_ring(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 1.0f);
    ripple_update();
    ASSERT_EQ(g_rq_rows[RIPPLE_ROW].used, RQ_SIZE_CALLBACK);
    const auto& item = *reinterpret_cast<const RqCallbackItem*>(g_rq_rows[RIPPLE_ROW].buffer.get());
    EXPECT_EQ(item.header.type, RQ_TYPE_CALLBACK);
    EXPECT_EQ(item.header.key0, 0u);
    EXPECT_EQ(item.header.key1, 0);
    EXPECT_EQ(item.callback, &ripple_draw_cb);
    EXPECT_EQ(item.user, nullptr);
}

// A full row 10 or a failed lock skips the frame's drawing; the ripples age on.
TEST_F(RippleTest, AFullRowOrAFailedLockDrawsNoneThatFrame)
{
    Ripple* ring = ripple_spawn_ring(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 1.0f);
    renderer_reset_frame_state();
    while (rq_alloc(RIPPLE_ROW, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK)) {
    }
    const std::uint32_t full = g_rq_rows[RIPPLE_ROW].used;
    g_frame_step = 1.0f;
    ripple_update();
    EXPECT_EQ(g_rq_rows[RIPPLE_ROW].used, full);
    EXPECT_EQ(ring->age, 1.0f);
    renderer_draw_frame();
    EXPECT_TRUE(draws().empty()) << "the filler items have no callback";

    d3d8_seam_fail(D3D8Call::Lock, D3DERR_INVALIDCALL);
    frame(1.0f);
    EXPECT_TRUE(draws().empty());
    EXPECT_EQ(ring->age, 2.0f);
    frame(1.0f);
    EXPECT_EQ(draws().size(), 1u) << "the next frame draws again";
}

// The 257th ripple is not made; the 256 keep their places and looks.
TEST_F(RippleTest, TheFullPoolMakesNoMoreRipples)
{
    for (int i = 0; i < RIPPLE_POOL_SIZE; ++i)
        ASSERT_NE(ripple_spawn_ring(D3DXVECTOR3(float(i), 0.0f, 0.0f), 1.0f), nullptr) << i;
    Ripple* last = static_cast<Ripple*>(g_pool_ripple.active[RIPPLE_POOL_SIZE - 1]);
    const Ripple kept = *last;
    EXPECT_EQ(ripple_spawn_ring(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 1.0f), nullptr);
    EXPECT_EQ(ripple_spawn_wake(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 1.0f, 0.0f, 256), nullptr);
    EXPECT_EQ(g_pool_ripple.count, RIPPLE_POOL_SIZE);
    EXPECT_EQ(std::memcmp(last, &kept, sizeof kept), 0);
}

// A spawn fills the whole record: a ring at age 0 and scale 256, a wake with the scale given.
TEST_F(RippleTest, SpawnsFillTheRecord)
{
    const Ripple* ring = ripple_spawn_ring(D3DXVECTOR3(1.0f, 2.0f, 3.0f), 5.0f);
    ASSERT_NE(ring, nullptr);
    EXPECT_TRUE(ring->position == D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(ring->age, 0.0f);
    EXPECT_EQ(ring->half_size, 2.5f);
    EXPECT_EQ(ring->alpha_scale, 256);
    EXPECT_EQ(ring->kind, RIPPLE_RING);
    const Ripple* wake = ripple_spawn_wake(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 3.0f, 0.0f, 77);
    ASSERT_NE(wake, nullptr);
    EXPECT_EQ(wake->half_size, 1.5f);
    EXPECT_EQ(wake->alpha_scale, 77);
    EXPECT_EQ(wake->kind, RIPPLE_WAKE);
}
