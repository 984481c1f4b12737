#include "renderer_fixture.h"

#include "scenegraph/renderer_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

namespace {

// ---- Rows without a device --------------------------------------------------------------------
class RenderQueueRows : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(rq_create_rows(RQ_GAME_ROWS)); }
    void TearDown() override { rq_free_rows(); }
};

// How many items of one kind fit into an empty row.
int fill(int row, RqItemType type, std::uint32_t size)
{
    int count = 0;
    while (rq_alloc(row, type, size))
        ++count;
    return count;
}

TEST_F(RenderQueueRows, HoldTheItemsTheirCapacityCountsInTheGameLayout)
{
    struct Case {
        int row;
        RqItemType type;
        std::uint32_t size;
        int fits;
    };
    const Case cases[] = {
        {0, RQ_TYPE_MODEL_NODE, RQ_SIZE_MODEL_NODE, 1},
        {0, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK, 0},
        {3, RQ_TYPE_MODEL_NODE, RQ_SIZE_MODEL_NODE, 1},
        {7, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK, 0},
        {4, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK, 1},
        {5, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK, 455},
        {9, RQ_TYPE_QUAD, RQ_SIZE_QUAD, 731},
        {11, RQ_TYPE_MESH, RQ_SIZE_MESH, 4726},
        {11, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK, 6826},
        {13, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK, 142},
        {12, RQ_TYPE_MODEL_NODE, 40, 32},
    };
    for (const Case& c : cases) {
        rq_clear_rows();
        EXPECT_EQ(fill(c.row, c.type, c.size), c.fits) << "row " << c.row << " type " << int(c.type);
    }
}

// Fills the row with model nodes of chosen sizes until exactly `room` bytes are left.
void leave_room(int row, std::uint32_t room)
{
    auto left = [row] { return g_rq_rows[row].capacity - g_rq_rows[row].used; };
    while (left() - room >= 255 + RQ_SIZE_MODEL_NODE)
        ASSERT_NE(rq_alloc(row, RQ_TYPE_MODEL_NODE, 255), nullptr);
    std::uint32_t rest = left() - room;
    if (rest > 255) {
        ASSERT_NE(rq_alloc(row, RQ_TYPE_MODEL_NODE, rest - RQ_SIZE_MODEL_NODE), nullptr);
        rest = RQ_SIZE_MODEL_NODE;
    }
    if (rest > 0) {
        ASSERT_NE(rq_alloc(row, RQ_TYPE_MODEL_NODE, rest), nullptr);
    }
    ASSERT_EQ(left(), room);
}

TEST_F(RenderQueueRows, TakeAnItemOnlyWhenItsWholeSizeIsLeft)
{
    leave_room(8, 36);
    EXPECT_NE(rq_alloc(8, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK), nullptr) << "exactly 36 left";
    EXPECT_EQ(g_rq_rows[8].used, g_rq_rows[8].capacity);

    rq_clear_rows();
    leave_room(8, 32);
    EXPECT_EQ(rq_alloc(8, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK), nullptr) << "32 left";
    EXPECT_EQ(g_rq_rows[8].used, g_rq_rows[8].capacity - 32) << "a refused item takes nothing";
    EXPECT_NE(rq_alloc(8, RQ_TYPE_MODEL_NODE, RQ_SIZE_MODEL_NODE), nullptr);
}

TEST_F(RenderQueueRows, AllocWritesTheHeaderAndZeroesTheRest)
{
    auto* item = reinterpret_cast<RqCallbackItem*>(rq_alloc(13, RQ_TYPE_CALLBACK, 40));
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->header.size, 40);
    EXPECT_EQ(item->header.type, RQ_TYPE_CALLBACK);
    EXPECT_EQ(item->header.reserved, 0);
    EXPECT_EQ(item->header.draw_flags, 0);
    EXPECT_EQ(item->callback, nullptr);
    const std::uint8_t zeros[4 + sizeof item->extra] = {};
    EXPECT_EQ(std::memcmp(item->extra, zeros, sizeof item->extra), 0);
    // The four bytes past the record are the caller's too.
    EXPECT_EQ(std::memcmp(item + 1, zeros, 4), 0);
    EXPECT_EQ(g_rq_rows[13].used, 40u);
}

TEST_F(RenderQueueRows, AllocRefusesWhatIsNoItem)
{
    struct Case {
        int row;
        int type;
        std::uint32_t size;
    };
    const Case cases[] = {
        {-1, RQ_TYPE_CALLBACK, 36},  {14, RQ_TYPE_CALLBACK, 36},
        {13, RQ_TYPE_CALLBACK, 0},   {13, RQ_TYPE_CALLBACK, 11},
        {13, RQ_TYPE_CALLBACK, 35},  {13, RQ_TYPE_QUAD, 27},
        {13, RQ_TYPE_MESH, 51},      {13, RQ_TYPE_CALLBACK, 256},
        {13, RQ_TYPE_CALLBACK, 292}, {13, 4, 36},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rq_alloc(c.row, static_cast<RqItemType>(c.type), c.size), nullptr)
            << "row " << c.row << " type " << c.type << " size " << c.size;
    EXPECT_EQ(g_rq_rows[13].used, 0u);
}

TEST_F(RenderQueueRows, MeshRequestsShrinkToWhatFitsInRow11)
{
    std::uint32_t all = 5000;
    RqMeshItem* items = rq_alloc_meshes(all);
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(all, 245760u / 52u);
    EXPECT_EQ(g_rq_rows[RQ_ROW_MESHES].used, all * 52);

    rq_clear_rows();
    while (g_rq_rows[RQ_ROW_MESHES].capacity - g_rq_rows[RQ_ROW_MESHES].used >= 36 + 3 * 52)
        ASSERT_NE(rq_alloc(RQ_ROW_MESHES, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK), nullptr);
    std::uint32_t count = 5;
    items = rq_alloc_meshes(count);
    ASSERT_NE(items, nullptr);
    EXPECT_EQ(count, 3u);
    for (std::uint32_t i = 0; i < count; ++i) {
        EXPECT_EQ(items[i].header.size, RQ_SIZE_MESH);
        EXPECT_EQ(items[i].header.type, RQ_TYPE_MESH);
    }

    count = 1;
    while (rq_alloc_meshes(count))
        count = 1;
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(rq_alloc_meshes(count), nullptr);
}

TEST(RenderQueueKeys, SerialTakesTheLow24BitsAndAdvances)
{
    g_rq_serial = RQ_SERIAL_START;
    EXPECT_EQ(rq_next_serial(), 273u);
    EXPECT_EQ(rq_next_serial(), 274u);
    g_rq_serial = 0x1FFFFFF;
    EXPECT_EQ(rq_next_serial(), 0xFFFFFFu);
    EXPECT_EQ(rq_next_serial(), 0u);
    g_rq_serial = RQ_SERIAL_START;
}

TEST(RenderQueueKeys, DepthKeysTruncateAndSaturateAsX86Does)
{
    const std::pair<float, std::int32_t> cases[] = {
        {0.0f, 0},
        {1.0f, 10000},
        {2.5f, 25000},
        {0.00019f, 1},
        {214748.3f, 2147483008},
        {463.5f * 463.5f, INT32_MIN},
        {std::numeric_limits<float>::infinity(), INT32_MIN},
        {std::numeric_limits<float>::quiet_NaN(), INT32_MIN},
        {-1.0f, -10000},
    };
    for (const auto& [d2, key] : cases)
        EXPECT_EQ(rq_depth_key(d2), key) << d2;
    EXPECT_EQ(rq_float_to_key(-2147483648.0f), INT32_MIN);
    EXPECT_EQ(rq_float_to_key(2147483520.0f), 2147483520);
    EXPECT_EQ(rq_float_to_key(-1.9f), -1);
}

// ---- Sorting -------------------------------------------------------------------------------------
std::vector<RenderQueueItem> items_of(std::initializer_list<std::pair<std::int32_t, std::uint32_t>> keys)
{
    std::vector<RenderQueueItem> items;
    for (const auto& [key1, key0] : keys)
        items.push_back({key0, key1, RQ_SIZE_CALLBACK, RQ_TYPE_CALLBACK, 0, 0});
    return items;
}

std::vector<std::pair<std::int32_t, std::uint32_t>> sorted_keys(std::vector<RenderQueueItem>& items,
                                                                std::uint32_t mode)
{
    std::vector<RenderQueueItem*> pointers;
    for (RenderQueueItem& item : items)
        pointers.push_back(&item);
    rq_sort(pointers, mode);
    std::vector<std::pair<std::int32_t, std::uint32_t>> keys;
    for (const RenderQueueItem* item : pointers)
        keys.emplace_back(item->key1, item->key0);
    return keys;
}

using Keys = std::vector<std::pair<std::int32_t, std::uint32_t>>; // (key1, key0)

TEST(RenderQueueSort, OrdersEachModeDescendingWithWrapAroundKeys)
{
    auto items = items_of({{5, 1}, {5, 3}, {9, 0}});
    EXPECT_EQ(sorted_keys(items, RQ_SORT_KEY1), (Keys{{9, 0}, {5, 3}, {5, 1}}));
    items = items_of({{5, 1}, {5, 3}, {9, 0}});
    EXPECT_EQ(sorted_keys(items, RQ_SORT_KEY0), (Keys{{5, 3}, {5, 1}, {9, 0}}));
    items = items_of({{1, 7}, {3, 7}, {2, 7}});
    EXPECT_EQ(sorted_keys(items, RQ_SORT_KEY0), (Keys{{3, 7}, {2, 7}, {1, 7}})) << "ties by key1";
    // 1 - 0xFFFFFFFF wraps to 2: the key just past the wrap is the larger.
    items = items_of({{0, 0xFFFFFFFF}, {0, 1}});
    EXPECT_EQ(sorted_keys(items, RQ_SORT_KEY0), (Keys{{0, 1}, {0, 0xFFFFFFFF}}));
    // INT32_MIN - 1 wraps to INT32_MAX.
    items = items_of({{1, 0}, {INT32_MIN, 0}});
    EXPECT_EQ(sorted_keys(items, RQ_SORT_KEY1), (Keys{{INT32_MIN, 0}, {1, 0}}));
}

TEST(RenderQueueSort, SmallPartsKeepEqualItemsInTheirOrder)
{
    auto items = items_of({{4, 0}, {4, 0}, {9, 0}, {4, 0}, {4, 0}, {4, 0}, {4, 0}, {4, 0}});
    std::vector<RenderQueueItem*> pointers;
    for (RenderQueueItem& item : items)
        pointers.push_back(&item);
    rq_sort(pointers, RQ_SORT_KEY1);
    const std::vector<RenderQueueItem*> expected = {&items[2], &items[0], &items[1], &items[3],
                                                    &items[4], &items[5], &items[6], &items[7]};
    EXPECT_EQ(pointers, expected);
}

TEST(RenderQueueSort, LargeRowsMatchAReferenceOrder)
{
    std::mt19937 random(7);
    for (std::uint32_t mode : {RQ_SORT_KEY0, RQ_SORT_KEY1}) {
        std::vector<RenderQueueItem> items(RQ_MAX_ITEMS);
        for (RenderQueueItem& item : items) {
            item.key0 = random() % 64; // many ties
            item.key1 = static_cast<std::int32_t>(random() % 1000000);
        }
        std::vector<RenderQueueItem*> pointers;
        for (RenderQueueItem& item : items)
            pointers.push_back(&item);
        rq_sort(pointers, mode);
        auto key = [mode](const RenderQueueItem* item) {
            return mode == RQ_SORT_KEY0 ? std::pair<std::int64_t, std::int64_t>(item->key0, item->key1)
                                        : std::pair<std::int64_t, std::int64_t>(item->key1, item->key0);
        };
        EXPECT_TRUE(std::is_sorted(
            pointers.begin(), pointers.end(),
            [&](const RenderQueueItem* a, const RenderQueueItem* b) { return key(a) > key(b); }))
            << "mode " << mode;
        std::sort(pointers.begin(), pointers.end());
        EXPECT_EQ(std::adjacent_find(pointers.begin(), pointers.end()), pointers.end()) << "an item got lost";
    }
}

// Keys spread over the whole range order inconsistently under the wrap-around rule; the sort
// still only permutes the items.
TEST(RenderQueueSort, InconsistentKeysOnlyPermuteTheItems)
{
    std::mt19937 random(11);
    std::vector<RenderQueueItem> items(RQ_MAX_ITEMS);
    for (RenderQueueItem& item : items) {
        item.key0 = random();
        item.key1 = static_cast<std::int32_t>(random());
    }
    std::vector<RenderQueueItem*> pointers;
    for (RenderQueueItem& item : items)
        pointers.push_back(&item);
    rq_sort(pointers, RQ_SORT_KEY1);
    std::sort(pointers.begin(), pointers.end());
    EXPECT_EQ(std::adjacent_find(pointers.begin(), pointers.end()), pointers.end());
    EXPECT_EQ(pointers.front(), &items.front());
    EXPECT_EQ(pointers.back(), &items.back());
}

// ---- Drawing through the device ---------------------------------------------------------------
struct Call {
    int row;
    std::uint32_t key0;
    std::int32_t key1;
    IDirect3DSurface8* target;
    std::size_t draws_before;
};
std::vector<Call> g_calls;

void record_call(RenderQueueItem* item, void* user)
{
    g_calls.push_back({static_cast<int>(reinterpret_cast<std::intptr_t>(user)), item->key0, item->key1,
                       d3d8_device_state(*g_d3d_device).render_target, d3d8_seam_draws().size()});
}

void end_prepass(RenderQueueItem* item, void* user)
{
    record_call(item, user);
    g_frame_effects.prepass_active = false;
}

RqCallbackItem* queue_callback(int row, std::uint32_t key0, std::int32_t key1,
                               RqCallback callback = record_call)
{
    auto* item = reinterpret_cast<RqCallbackItem*>(rq_alloc(row, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK));
    if (!item) return nullptr;
    item->header.key0 = key0;
    item->header.key1 = key1;
    item->callback = callback;
    item->user = reinterpret_cast<void*>(static_cast<std::intptr_t>(row));
    return item;
}

// A managed 4x4 texture, released when the test ends.
struct TestTexture {
    IDirect3DTexture8* texture = nullptr;
    TestTexture()
    {
        EXPECT_EQ(g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture),
                  D3D_OK);
    }
    ~TestTexture()
    {
        if (texture) texture->Release();
    }
};

class RenderQueueDraw : public RendererTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        g_calls.clear();
        D3DXMatrixIdentity(&m_world);
    }

    // A quad of four distinct vertices whose x tells which quad it is.
    RqQuadItem* queue_quad(int row, std::uint32_t key0, std::int32_t key1, IDirect3DTexture8* texture)
    {
        auto* item = reinterpret_cast<RqQuadItem*>(rq_alloc(row, RQ_TYPE_QUAD, RQ_SIZE_QUAD));
        if (!item) return nullptr;
        std::vector<QuadVertex>& v = m_vertices.emplace_back(4);
        float x = static_cast<float>(m_vertices.size());
        for (int i = 0; i < 4; ++i)
            v[i] = {x, static_cast<float>(i), 0.0f, 0xFFFFFFFF, 0, 0.0f, 0.0f};
        item->header.key0 = key0;
        item->header.key1 = key1;
        item->material = 0x0C41;
        item->world = &m_world;
        item->texture = texture;
        item->vertices = v.data();
        return item;
    }

    // The x of the first vertex a draw of the world-quad buffer used.
    static float first_quad_x(const D3D8DrawRecord& draw)
    {
        const IDirect3DVertexBuffer8* buffer = draw.state.streams[0].buffer;
        QuadVertex vertex;
        std::memcpy(&vertex, d3d8_buffer_data(*buffer) + draw.state.base_vertex * sizeof(QuadVertex),
                    sizeof vertex);
        return vertex.x;
    }

    D3DXMATRIX m_world;
    std::vector<std::vector<QuadVertex>> m_vertices;
};

TEST_F(RenderQueueDraw, RowsDrawInOrderEachSortedByItsMode)
{
    ASSERT_NE(queue_callback(13, RQ_LAYER_FPS, 0), nullptr);
    ASSERT_NE(queue_callback(13, RQ_LAYER_HUD, 0), nullptr);
    ASSERT_NE(queue_callback(6, 1, 5), nullptr);
    ASSERT_NE(queue_callback(6, 3, 5), nullptr);
    ASSERT_NE(queue_callback(6, 0, 9), nullptr);
    ASSERT_NE(queue_callback(4, 0, 0), nullptr);
    renderer_draw_frame();

    std::vector<std::tuple<int, std::uint32_t, std::int32_t>> order;
    for (const Call& call : g_calls)
        order.emplace_back(call.row, call.key0, call.key1);
    const std::vector<std::tuple<int, std::uint32_t, std::int32_t>> expected = {
        {4, 0, 0}, {6, 0, 9}, {6, 3, 5}, {6, 1, 5}, {13, RQ_LAYER_HUD, 0}, {13, RQ_LAYER_FPS, 0}};
    EXPECT_EQ(order, expected);
}

TEST_F(RenderQueueDraw, TriangleBatchesGoBetweenRows5And6AndScreenPassesBetween12And13)
{
    BatchVertex* v = g_tri_batches[0].vertices.get();
    for (int i = 0; i < 3; ++i)
        v[i] = {static_cast<float>(i), 0.0f, 0.0f, 0xFFFFFFFF, 0.0f, 0.0f};
    g_tri_batches[0].count = 1;
    g_frame_effects.afterimage_alpha = 0.5f;
    queue_callback(5, 0, 0);
    queue_callback(6, 0, 0);
    queue_callback(12, 0, 0);
    queue_callback(13, 0, 0);
    renderer_draw_frame();

    ASSERT_EQ(g_calls.size(), 4u);
    EXPECT_EQ(g_calls[1].draws_before - g_calls[0].draws_before, 1u) << "the batch after row 5";
    EXPECT_EQ(g_calls[2].draws_before, g_calls[1].draws_before);
    EXPECT_EQ(g_calls[3].draws_before - g_calls[2].draws_before, 1u) << "the afterimage after row 12";
}

TEST_F(RenderQueueDraw, QuadsOfOneKeyDrawAsBatchesOf128WithTheFirstQuadsTexture)
{
    TestTexture first, others;
    for (int i = 0; i < 130; ++i)
        ASSERT_NE(queue_quad(9, 42, 1000 - i, i == 0 || i == 128 ? first.texture : others.texture), nullptr);
    renderer_draw_frame();

    ASSERT_EQ(draws().size(), 2u);
    const UINT batch_quads[] = {128, 2};
    for (std::size_t d = 0; d < 2; ++d) {
        const D3D8DrawRecord& draw = draws()[d];
        UINT quads = batch_quads[d];
        EXPECT_EQ(draw.call.type, D3DPT_TRIANGLELIST);
        EXPECT_TRUE(draw.call.indexed);
        EXPECT_EQ(draw.call.min_index, 0u);
        EXPECT_EQ(draw.call.vertex_count, 4 * quads);
        EXPECT_EQ(draw.call.start, 0u);
        EXPECT_EQ(draw.call.primitive_count, 2 * quads);
        EXPECT_EQ(draw.state.textures[0], first.texture);
        EXPECT_EQ(draw.state.indices, g_renderer_ibs[RIB_QUADS].indices);
        EXPECT_EQ(draw.state.streams[0].buffer, g_renderer_vbs[RVB_WORLD_QUAD].vertices);
        EXPECT_EQ(draw.state.streams[0].stride, 28u);
        EXPECT_EQ(draw.state.render[D3DRS_TEXTUREFACTOR], 0xFFFFFFFFu);
        EXPECT_EQ(draw.state.base_vertex, 0u) << "512 vertices, then 512 + 8, restart the buffer";
    }
    EXPECT_EQ(first_quad_x(draws()[1]), 129.0f) << "the second batch starts at quad 129";
}

TEST_F(RenderQueueDraw, AQuadBatchStopsAtAnotherKeyOrAnotherType)
{
    TestTexture a, b;
    queue_quad(13, 9, 0, a.texture);
    queue_quad(13, 9, 0, b.texture); // same key: drawn with a's texture
    queue_callback(13, 9, 0);        // same key, another type
    queue_quad(13, 9, 0, b.texture);
    queue_quad(13, 8, 0, a.texture);
    renderer_draw_frame();

    ASSERT_EQ(draws().size(), 3u);
    EXPECT_EQ(draws()[0].call.primitive_count, 4u);
    EXPECT_EQ(draws()[0].state.textures[0], a.texture);
    EXPECT_EQ(draws()[1].call.primitive_count, 2u);
    EXPECT_EQ(draws()[1].state.textures[0], b.texture);
    EXPECT_EQ(draws()[2].state.textures[0], a.texture);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].draws_before, 1u);
}

TEST_F(RenderQueueDraw, AFailedQuadLockSkipsOnlyThatBatch)
{
    TestTexture texture;
    queue_quad(13, 2, 0, texture.texture);
    queue_quad(13, 1, 0, texture.texture);
    d3d8_seam_fail(D3D8Call::Lock, D3DERR_INVALIDCALL);
    renderer_draw_frame();
    ASSERT_EQ(draws().size(), 1u);
    EXPECT_EQ(first_quad_x(draws()[0]), 2.0f);
    EXPECT_FALSE(g_renderer_vbs[RVB_WORLD_QUAD].locked);
}

TEST_F(RenderQueueDraw, OnlyTheFirst4096ItemsOfARowAreDrawn)
{
    for (int i = 0; i < 5000; ++i)
        ASSERT_NE(queue_callback(11, 0, i), nullptr);
    renderer_draw_frame();
    ASSERT_EQ(g_calls.size(), RQ_MAX_ITEMS);
    std::int32_t highest = 0;
    for (const Call& call : g_calls)
        highest = std::max(highest, call.key1);
    EXPECT_EQ(highest, 4095) << "the first items in walking order";
    EXPECT_EQ(g_calls.front().key1, 4095) << "sorted by depth";
}

TEST_F(RenderQueueDraw, APrepassCallbackEndsThePrepassButNotTheMainPass)
{
    g_frame_effects.prepass_request = true;
    renderer_reset_frame_state();
    renderer_begin_frame(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER);
    g_device_settings.settings.multisample_type = 4;
    queue_callback(5, 0, 0);
    queue_callback(6, 0, 0, end_prepass);
    queue_callback(6, 0, 0); // same row, after the one that ends the pre-pass
    queue_callback(8, 0, 0);
    queue_callback(13, 0, 0);
    renderer_draw_frame();

    std::vector<std::pair<int, IDirect3DSurface8*>> seen;
    for (const Call& call : g_calls)
        seen.emplace_back(call.row, call.target);
    IDirect3DSurface8* prepass = g_renderer_surfaces.prepass_surface;
    IDirect3DSurface8* back = g_renderer_surfaces.back_buffer;
    const std::vector<std::pair<int, IDirect3DSurface8*>> expected = {
        {5, prepass}, {6, prepass}, {5, back}, {6, back}, {6, back}, {8, back}, {13, back}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(state().render_target, back);
    EXPECT_EQ(g_render_target, RT_BACK_BUFFER);
    EXPECT_EQ(g_device_settings.settings.multisample_type, 4u);
    EXPECT_FALSE(g_frame_effects.prepass_request) << "the game asks again for the next frame";
}

TEST_F(RenderQueueDraw, ThePrepassDrawsIntoItsTargetWithMultisamplingOff)
{
    g_frame_effects.prepass_request = true;
    renderer_reset_frame_state();
    g_device_settings.settings.multisample_type = 4;
    g_device_settings.settings.caps_multisampling = 1;
    TestTexture texture;
    queue_quad(1, 0, 0, texture.texture)->material = 0x0C01; // opaque: multisampled when allowed
    renderer_draw_frame();

    ASSERT_EQ(draws().size(), 2u);
    EXPECT_EQ(draws()[0].state.render_target, g_renderer_surfaces.prepass_surface);
    EXPECT_EQ(draws()[0].state.depth_stencil, g_renderer_surfaces.prepass_depth);
    EXPECT_EQ(draws()[0].state.render[D3DRS_MULTISAMPLEANTIALIAS], FALSE);
    EXPECT_EQ(draws()[1].state.render_target, g_renderer_surfaces.back_buffer);
}

} // namespace
