#include "test_hit_fixture.h"

#include "game/g_decal.h"
#include "scenegraph/renderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

constexpr int kBatch = 3;
constexpr std::uint32_t kCapacity = 64;

// Decals into small batches of the test's own; the renderer's are put back afterwards.
class Decal : public WorldTest {
protected:
    void SetUp() override
    {
        WorldTest::SetUp();
        for (int i = 0; i < TRI_BATCH_COUNT; ++i) {
            saved_[i] = std::move(g_tri_batches[i]);
            g_tri_batches[i] = {std::make_unique<BatchVertex[]>(kCapacity * 3), kCapacity, 0, 0, nullptr};
        }
    }
    void TearDown() override
    {
        for (int i = 0; i < TRI_BATCH_COUNT; ++i)
            g_tri_batches[i] = std::move(saved_[i]);
        WorldTest::TearDown();
    }

    static TriangleBatch& batch() { return g_tri_batches[kBatch]; }
    static const BatchVertex& vertex(std::uint32_t i) { return batch().vertices[i]; }
    static void make_grey(bool grey) { batch().material = grey ? DECAL_GREY_BATCH : 0; }

private:
    std::array<TriangleBatch, TRI_BATCH_COUNT> saved_;
};

const D3DXVECTOR3 kUp{0.0f, 1.0f, 0.0f};

QcoTriangle triangle(QcoVec a, QcoVec b, QcoVec c)
{
    return {a, b, c, {}};
}

} // namespace

// No free triangle: the projection gives up at once and the quad cannot fit either. One free
// triangle is enough for the projection, not for the quad.
TEST_F(Decal, FullBatchRefusesTheDecal)
{
    add_mesh(floor_at(0.0f), "A");
    const struct {
        std::uint32_t used;
        HRESULT project;
        HRESULT draw;
        HRESULT quad;
        std::uint32_t after_draw;
    } cases[] = {
        {kCapacity, E_OUTOFMEMORY, E_OUTOFMEMORY, E_OUTOFMEMORY, kCapacity},
        {kCapacity - 1, S_OK, S_OK, E_OUTOFMEMORY, kCapacity},
        {kCapacity - 2, S_OK, S_OK, S_OK, kCapacity},
    };
    for (const auto& c : cases) {
        batch().count = c.used;
        EXPECT_EQ(decal_draw_quad(kBatch, kUp, 0xFF000000, {0.0f, 1.0f, 0.0f}, 1.0f, 0.0f, 0), c.quad)
            << c.used;
        batch().count = c.used;
        EXPECT_EQ(decal_project({0.0f, 1.0f, 0.0f}, 0xFF000000, kBatch, 1.0f, 0.0f, 0), c.project) << c.used;
        batch().count = c.used;
        EXPECT_EQ(decal_draw({0.0f, 1.0f, 0.0f}, 0, kBatch, 0xFF000000, 1.0f, 0.0f, kUp, false), c.draw)
            << c.used;
        EXPECT_EQ(batch().count, c.after_draw) << c.used;
    }
}

// The projection stops as soon as the batch is full.
TEST_F(Decal, ProjectionStopsWhenTheBatchFills)
{
    add_mesh(qco_quad({-1.0f, 0.0f, -1.0f}, {-1.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 1.0f}, {1.0f, 0.0f, -1.0f}, 4),
             "A");
    batch().count = kCapacity - 5;
    EXPECT_EQ(decal_project({0.0f, 1.0f, 0.0f}, 0xFF000000, kBatch, 2.0f, 0.0f, 0), S_OK);
    EXPECT_EQ(batch().count, kCapacity);
}

// Corner colour b = (fade - (ground - y)) x strength, folded above 1, with the fade clamped to
// 0..1 for projections (10 units up with kind 0 gives 0) and to 0.25..1 for quads.
TEST_F(Decal, ColoursFollowTheHeightFade)
{
    const struct {
        int kind;
        float above; // position above the given ground
        float floor; // the floor's height above the given ground
        std::uint32_t strength;
        std::uint32_t projected; // grey byte of the projected corners
        std::uint32_t quad;      // grey byte of the quad
    } cases[] = {
        {0, 10.0f, 4.0f, 51, 204, 12},   // fade 0 / 0.25: (0 + 4) x 0.2, 0.2 x 0.25
        {0, 2.0f, 0.0f, 255, 174, 174},  // fade 0.68
        {2, 0.5f, 0.0f, 255, 248, 248},  // fade 1 - 0.5 x 0.058181818
        {0, 1.0f, 0.5f, 255, 168, 215},  // (0.84 + 0.5) folds to 0.66
        {1, -1.0f, 0.0f, 255, 255, 255}, // below the ground: fade 1
    };
    make_grey(true);
    for (const auto& c : cases) {
        obj_destroy_all();
        add_mesh(floor_at(c.floor, 1.0f), "A");
        const std::uint32_t packed = c.strength << 24;
        const D3DXVECTOR3 at{0.0f, c.above, 0.0f};
        batch().count = 0;
        ASSERT_EQ(decal_project(at, packed, kBatch, 1.0f, 0.0f, c.kind), S_OK);
        ASSERT_EQ(batch().count, 2u) << c.kind << " " << c.above;
        for (std::uint32_t i = 0; i < 6; ++i)
            EXPECT_EQ(vertex(i).diffuse, 0xFF000000u + c.projected * 0x010101u) << c.kind << " " << c.above;
        batch().count = 0;
        ASSERT_EQ(decal_draw_quad(kBatch, kUp, packed, at, 1.0f, 0.0f, c.kind), S_OK);
        EXPECT_EQ(vertex(0).diffuse, 0xFF000000u + c.quad * 0x010101u) << c.kind << " " << c.above;
    }
}

// Without the grey bit the colour keeps its RGB under the alpha byte; the quad takes the
// strength twice.
TEST_F(Decal, ColouredBatchesKeepTheRgb)
{
    add_mesh(floor_at(0.0f, 1.0f), "A");
    const D3DXVECTOR3 at{0.0f, 2.0f, 0.0f};
    ASSERT_EQ(decal_project(at, 0xFF123456, kBatch, 1.0f, 0.0f, 0), S_OK);
    EXPECT_EQ(vertex(0).diffuse, 0xAE123456u); // 0.68 x 256 = 174
    batch().count = 0;
    ASSERT_EQ(decal_draw_quad(kBatch, kUp, 0x80FF0000, {0.0f, 0.0f, 0.0f}, 1.0f, 0.0f, 0), S_OK);
    EXPECT_EQ(vertex(0).diffuse, 0x40FF0000u); // (128 / 255)^2 x 256 = 64.5
    make_grey(true);
    batch().count = 0;
    ASSERT_EQ(decal_draw_quad(kBatch, kUp, 0x80FF0000, {0.0f, 0.0f, 0.0f}, 1.0f, 0.0f, 0), S_OK);
    EXPECT_EQ(vertex(0).diffuse, 0xFF808080u);
}

// Triangles wholly outside the square in x or z stay out, one straddling an edge comes whole,
// one in several octree leaves comes once, and the vertical window depends on the kind; the same
// with the triangles in one leaf and spread over many.
TEST_F(Decal, ProjectionPicksTrianglesOfTheSquareOnce)
{
    const std::vector<QcoTriangle> triangles = {
        triangle({-0.5f, 0.0f, -0.5f}, {-0.5f, 0.0f, 0.5f}, {0.5f, 0.0f, 0.5f}),   // inside
        triangle({0.5f, 0.0f, -4.0f}, {0.5f, 0.0f, 4.0f}, {3.0f, 0.0f, 0.0f}),     // straddles x = 1
        triangle({2.0f, 0.0f, -0.5f}, {2.0f, 0.0f, 0.5f}, {4.0f, 0.0f, 0.0f}),     // beyond x
        triangle({-0.5f, 0.0f, -4.0f}, {-0.5f, 0.0f, -2.0f}, {0.5f, 0.0f, -3.0f}), // beyond z
        triangle({-0.5f, -1.0f, 0.6f}, {-0.5f, -1.0f, 0.9f}, {0.5f, -1.0f, 0.9f}), // 1.5 below the decal
    };
    const struct {
        int depth;
        std::size_t leaf_size;
    } trees[] = {{0, 64}, {4, 1}};
    const struct {
        int kind;
        std::uint32_t emitted;
    } kinds[] = {{0, 3}, {2, 2}};
    for (const auto& tree : trees) {
        obj_destroy_all();
        GoMesh* mesh = spawn(g_pool_mesh);
        ASSERT_EQ(
            coll_model_parse(mesh->collision_a, qco_bytes(qco_image(triangles, tree.depth, tree.leaf_size))),
            S_OK);
        mesh->has_collision_a = 1;
        mesh->enabled = 1;
        place(*mesh, {});
        for (const auto& c : kinds) {
            batch().count = 0;
            ASSERT_EQ(decal_project({0.0f, 0.5f, 0.0f}, 0xFF000000, kBatch, 1.0f, 0.0f, c.kind), S_OK);
            EXPECT_EQ(batch().count, c.emitted) << "depth " << tree.depth << " kind " << c.kind;
        }
        const auto emitted = [](float x, float z) {
            for (std::uint32_t i = 0; i < batch().count * 3; ++i)
                if (vertex(i).x == x && vertex(i).z == z) return true;
            return false;
        };
        EXPECT_TRUE(emitted(3.0f, 0.0f));
        EXPECT_TRUE(emitted(0.5f, 4.0f));
        EXPECT_FALSE(emitted(4.0f, 0.0f));
        EXPECT_FALSE(emitted(0.5f, -3.0f));
    }
    // The spread tree lists the straddling triangle in several leaves.
    const CollisionTriangle* straddling =
        &static_cast<GoMesh*>(g_pool_mesh.active[0])->collision_a.triangles[1];
    std::size_t lists_holding = 0;
    for (const CollisionList& list : g_coll_work_list)
        lists_holding +=
            static_cast<std::size_t>(std::count(list.triangles, list.triangles + list.count, straddling));
    EXPECT_GT(lists_holding, 1u);
}

// u and v span the square from its corner (-size, -size) to (+size, +size).
TEST_F(Decal, ProjectionMapsTheSquareOntoTexture)
{
    add_mesh(floor_at(0.0f, 1.0f), "A");
    ASSERT_EQ(decal_project({0.5f, 1.0f, 0.0f}, 0xFF000000, kBatch, 2.0f, 0.0f, 0), S_OK);
    ASSERT_EQ(batch().count, 2u);
    for (std::uint32_t i = 0; i < 6; ++i) {
        EXPECT_FLOAT_EQ(vertex(i).u, (vertex(i).x + 1.5f) * 0.25f);
        EXPECT_FLOAT_EQ(vertex(i).v, (vertex(i).z + 2.0f) * 0.25f);
    }
}

// A moved mesh gives its triangles in world space.
TEST_F(Decal, ProjectionOntoAMovedMeshEmitsWorldCorners)
{
    add_mesh(floor_at(0.0f, 1.0f), "A", {.position = {10.0f, 3.0f, 0.0f}});
    ASSERT_EQ(decal_project({10.0f, 4.0f, 0.0f}, 0xFF000000, kBatch, 1.0f, 3.0f, 0), S_OK);
    ASSERT_EQ(batch().count, 2u);
    for (std::uint32_t i = 0; i < 6; ++i) {
        EXPECT_FLOAT_EQ(vertex(i).y, 3.0f);
        EXPECT_NEAR(std::fabs(vertex(i).x - 10.0f), 1.0f, 1e-5f);
        EXPECT_NEAR(vertex(i).u, vertex(i).x > 10.0f ? 1.0f : 0.0f, 1e-5f);
    }
}

// The quad's corners for each kind of ground normal: the exact up vector and the normals with
// no direction across z (along z, zero) give the axis-aligned square; any other normal builds
// the square from n x z and n x (n x z), which for a normal just off up puts q0 at the mirror
// image in x of the exact case's q0 (the corners come in another order).
TEST_F(Decal, QuadCornersFollowTheGroundNormal)
{
    const float s = 2.0f;
    const D3DXVECTOR3 at{5.0f, 3.0f, -1.0f};
    const float h = 1.0f + DECAL_QUAD_LIFT;
    const D3DXVECTOR3 axis[4] = {{3.0f, h, 1.0f}, {7.0f, h, 1.0f}, {3.0f, h, -3.0f}, {7.0f, h, -3.0f}};
    const D3DXVECTOR3 general[4] = {axis[1], axis[3], axis[0], axis[2]};
    const struct {
        D3DXVECTOR3 normal;
        const D3DXVECTOR3* corners;
    } cases[] = {
        {{0.0f, 1.0f, 0.0f}, axis}, {{0.0f, 0.0f, 1.0f}, axis},           {{0.0f, 0.0f, -1.0f}, axis},
        {{0.0f, 0.0f, 0.0f}, axis}, {{0.0f, 0.99999994f, 0.0f}, general},
    };
    const float uv[4][2] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    const int order[6] = {0, 1, 2, 3, 2, 1};
    for (const auto& c : cases) {
        batch().count = 0;
        ASSERT_EQ(decal_draw_quad(kBatch, c.normal, 0xFF000000, at, s, 1.0f, 0), S_OK);
        ASSERT_EQ(batch().count, 2u);
        for (int i = 0; i < 6; ++i) {
            const D3DXVECTOR3& want = c.corners[order[i]];
            EXPECT_NEAR(vertex(i).x, want.x, 1e-5f) << c.normal.y << " " << c.normal.z << " vertex " << i;
            EXPECT_NEAR(vertex(i).y, want.y, 1e-5f);
            EXPECT_NEAR(vertex(i).z, want.z, 1e-5f);
            EXPECT_EQ(vertex(i).u, uv[order[i]][0]);
            EXPECT_EQ(vertex(i).v, uv[order[i]][1]);
        }
    }
}

// A slope's normal (0, 0.9, 0.1) tilts the square about x: it lies in the slope's plane with
// sides of 2 x size, x still spanning the position +- size.
TEST_F(Decal, QuadOnASlopeLiesInItsPlane)
{
    const D3DXVECTOR3 n{0.0f, 0.9f, 0.1f};
    const D3DXVECTOR3 at{5.0f, 3.0f, -1.0f};
    const D3DXVECTOR3 centre{5.0f, 1.0f + DECAL_QUAD_LIFT, -1.0f};
    ASSERT_EQ(decal_draw_quad(kBatch, n, 0xFF000000, at, 2.0f, 1.0f, 0), S_OK);
    D3DXVECTOR3 q[4];
    for (std::uint32_t k = 0; k < 4; ++k)
        q[k] = {vertex(k).x, vertex(k).y, vertex(k).z};
    for (const D3DXVECTOR3& corner : q) {
        const D3DXVECTOR3 offset = corner - centre;
        EXPECT_NEAR(D3DXVec3Dot(&offset, &n), 0.0f, 1e-5f);
        EXPECT_NEAR(std::fabs(corner.x - 5.0f), 2.0f, 1e-5f);
    }
    const D3DXVECTOR3 side01 = q[1] - q[0];
    const D3DXVECTOR3 side02 = q[2] - q[0];
    EXPECT_NEAR(D3DXVec3Length(&side01), 4.0f, 1e-5f);
    EXPECT_NEAR(D3DXVec3Length(&side02), 4.0f, 1e-5f);
    EXPECT_NE(q[0].y, q[1].y);
}

// A decal of no size draws nothing and succeeds, even into a full batch; quad-only skips the
// projection; a projection over no mesh succeeds with nothing drawn.
TEST_F(Decal, SizeAndQuadOnlyDecideWhatIsDrawn)
{
    add_mesh(floor_at(0.0f), "A");
    const struct {
        float size;
        bool quad_only;
        std::uint32_t used;
        std::uint32_t after;
    } cases[] = {
        {0.0f, false, 0, 0}, {-1.0f, true, 0, 0}, {0.0f, false, kCapacity, kCapacity}, {1.0f, true, 0, 2}};
    for (const auto& c : cases) {
        batch().count = c.used;
        EXPECT_EQ(decal_draw({0.0f, 0.5f, 0.0f}, 0, kBatch, 0xFF000000, c.size, 0.0f, kUp, c.quad_only),
                  S_OK);
        EXPECT_EQ(batch().count, c.after) << c.size << " " << c.quad_only;
    }
    obj_destroy_all();
    batch().count = 0;
    EXPECT_EQ(decal_draw({0.0f, 0.5f, 0.0f}, 0, kBatch, 0xFF000000, 1.0f, 0.0f, kUp, false), S_OK);
    EXPECT_EQ(batch().count, 0u);
    EXPECT_EQ(decal_draw_quad(TRI_BATCH_COUNT, kUp, 0xFF000000, {}, 1.0f, 0.0f, 0), E_INVALIDARG);
    EXPECT_EQ(decal_project({}, 0xFF000000, kBatch, 1.0f, 0.0f, DECAL_KIND_COUNT), E_INVALIDARG);
}

TEST_F(Decal, ProbeStartsAtItsPointAndLooksAlongItsDirection)
{
    HitProbe probe;
    int data = 0;
    decal_probe_init({1.0f, 2.0f, 3.0f}, {0.0f, -6.0f, 0.0f}, probe, 0.75f, decal_triangle_cb, &data);
    EXPECT_EQ(probe.segment.world_start, D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    EXPECT_EQ(probe.segment.world_end, D3DXVECTOR3(1.0f, -4.0f, 3.0f));
    EXPECT_EQ(probe.segment.working.position.y, 2.0f);
    EXPECT_EQ(probe.radius, 0.75f);
    EXPECT_EQ(probe.callback, &decal_triangle_cb);
    EXPECT_EQ(probe.callback_data, &data);
}
