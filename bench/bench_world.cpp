// The world queries and ground shadows against the demo room (one mesh at the identity, sets A
// and C) with 320 placed props, half of them built in place (identity) and half placed by a
// turned, scaled and moved matrix: segments down to the ground and across the room, short sphere
// moves as actors make them each tick, and a frame of 100 projected shadows.
#include "game/g_decal.h"
#include "game/g_hit.h"
#include "lib/demo_room.h"
#include "lib/qco_writer.h"
#include "object/go_mesh.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "scenegraph/coll_sweep.h"
#include "scenegraph/model.h"
#include "scenegraph/renderer.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

namespace {

constexpr int PROP_ROWS = 16;
constexpr int PROP_COLUMNS = 20;
constexpr float PROP_HALF = 0.35f;
constexpr float PROP_HEIGHT = 0.7f;
constexpr int SHADOW_BATCH = 3;
constexpr std::uint32_t SHADOW_BATCH_TRIANGLES = 4096 / 3;
constexpr int SHADOWS_PER_FRAME = 100;
constexpr std::size_t SAMPLES = 4096;

// A box standing on y = 0 around (x, z), its top and sides facing out.
std::vector<QcoTriangle> prop_box(float x, float z)
{
    const float a = x - PROP_HALF, b = x + PROP_HALF, c = z - PROP_HALF, d = z + PROP_HALF, h = PROP_HEIGHT;
    std::vector<QcoTriangle> faces;
    for (const auto& quad : {qco_quad({a, h, c}, {a, h, d}, {b, h, d}, {b, h, c}),
                             qco_quad({a, 0, c}, {a, h, c}, {b, h, c}, {b, 0, c}),
                             qco_quad({b, 0, d}, {b, h, d}, {a, h, d}, {a, 0, d}),
                             qco_quad({a, 0, d}, {a, h, d}, {a, h, c}, {a, 0, c}),
                             qco_quad({b, 0, c}, {b, h, c}, {b, h, d}, {b, 0, d})})
        faces.insert(faces.end(), quad.begin(), quad.end());
    return faces;
}

class World {
public:
    World()
    {
        obj_create_pools();
        coll_alloc_work();
        m_bounds.meshes.resize(1);
        m_bounds.meshes[0].radius = 1.2f;
        add_mesh(qco_bytes(qco_image(demo_room_collision())), D3DXVECTOR3(0, 0, 0), 0.0f, 1.0f, nullptr);

        const std::vector<std::uint8_t> centred = qco_bytes(qco_image(prop_box(0.0f, 0.0f)));
        std::mt19937 random(19);
        std::uniform_real_distribution<float> turn(0.0f, 6.2831853f), size(0.8f, 1.5f);
        for (int row = 0; row < PROP_ROWS; ++row) {
            for (int column = 0; column < PROP_COLUMNS; ++column) {
                const D3DXVECTOR3 at{-11.0f + column * 1.15f, 0.0f, -11.0f + row * 1.4f};
                if ((row + column) % 2 == 0)
                    add_mesh(qco_bytes(qco_image(prop_box(at.x, at.z))), at, 0.0f, 1.0f, &m_bounds);
                else
                    add_mesh(centred, at, turn(random), size(random), &m_bounds);
                m_props.push_back(at);
            }
        }

        std::uniform_real_distribution<float> inside(-11.5f, 11.5f), height(0.2f, 2.5f), step(-0.3f, 0.3f);
        for (std::size_t i = 0; i < SAMPLES; ++i) {
            m_points.push_back({inside(random), height(random), inside(random)});
            m_steps.push_back({step(random), step(random) - 0.1f, step(random)});
        }

        TriangleBatch& shadows = g_tri_batches[SHADOW_BATCH];
        m_saved_batch = std::move(shadows);
        shadows = {std::make_unique<BatchVertex[]>(SHADOW_BATCH_TRIANGLES * 3), SHADOW_BATCH_TRIANGLES, 0, 0,
                   nullptr};
    }
    ~World()
    {
        // The shared bounds are no model of the resource manager's.
        for (std::int32_t i = 0; i < g_pool_mesh.count; ++i)
            static_cast<GoMesh*>(g_pool_mesh.active[i])->model = nullptr;
        obj_destroy_all();
        obj_destroy_pools();
        g_tri_batches[SHADOW_BATCH] = std::move(m_saved_batch);
    }
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    const D3DXVECTOR3& point(std::size_t i) const { return m_points[i % SAMPLES]; }
    const D3DXVECTOR3& step(std::size_t i) const { return m_steps[i % SAMPLES]; }
    const std::vector<D3DXVECTOR3>& props() const { return m_props; }

private:
    void add_mesh(const std::vector<std::uint8_t>& collision, const D3DXVECTOR3& at, float yaw, float scale,
                  Model* bounds)
    {
        GoMesh* mesh = obj_create<GoMesh>(g_pool_mesh);
        if (!mesh) return;
        coll_model_parse(mesh->collision_a, collision);
        coll_model_parse(mesh->collision_c, collision);
        mesh->has_collision_a = 1;
        mesh->has_collision_c = 1;
        mesh->enabled = 1;
        mesh->model = bounds;
        mesh->position = at;
        const bool placed = yaw != 0.0f || scale != 1.0f;
        if (placed) {
            D3DXMATRIX scaling;
            D3DXMATRIX spin;
            D3DXMatrixScaling(&scaling, scale, scale, scale);
            D3DXMatrixRotationY(&spin, yaw);
            mesh->rotation = scaling * spin;
            D3DXMatrixTranslation(&mesh->world, at.x, at.y, at.z);
        }
        mesh->UpdateWorldMatrix();
    }

    Model m_bounds{};
    std::vector<D3DXVECTOR3> m_props;
    std::vector<D3DXVECTOR3> m_points;
    std::vector<D3DXVECTOR3> m_steps;
    TriangleBatch m_saved_batch{};
};

World& world()
{
    static World w;
    return w;
}

// Segments from the sample points, each `delta(i)` long, against one set.
template <typename Delta> void run_segments(benchmark::State& state, bool (*query)(HitSegment&), Delta delta)
{
    World& w = world();
    std::size_t i = 0;
    for (auto _ : state) {
        HitSegment record;
        hit_segment_query_init(w.point(i), delta(w, i), record);
        benchmark::DoNotOptimize(query(record));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
}

// The ground under a point: 510 units straight down against set C, as actors are placed.
void BM_SegmentGround(benchmark::State& state)
{
    run_segments(state, hit_segment_meshes_c,
                 [](World&, std::size_t) { return D3DXVECTOR3(0.0f, -510.0f, 0.0f); });
}
BENCHMARK(BM_SegmentGround);

// Lines of sight of up to 14 units across the room against set A.
void BM_SegmentAcross(benchmark::State& state)
{
    run_segments(state, hit_segment_meshes_a, [](World& w, std::size_t i) {
        const D3DXVECTOR3& s = w.step(i);
        return D3DXVECTOR3(s.x * 33.0f, 0.0f, s.z * 33.0f);
    });
}
BENCHMARK(BM_SegmentAcross);

// A tick's move of a body of radius 0.5 against set C.
void BM_SphereMove(benchmark::State& state)
{
    World& w = world();
    std::size_t i = 0;
    for (auto _ : state) {
        const D3DXVECTOR3& from = w.point(i);
        HitSphere record;
        hit_sphere_init(from, from + w.step(i++), 0.5f, record);
        benchmark::DoNotOptimize(hit_sphere_meshes_c(record));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SphereMove);

// One frame's ground shadows: 100 props' shadows projected into batch 3, whose capacity in
// triangles is the argument (the renderer's own, then one that holds them all).
void BM_ShadowFrame(benchmark::State& state)
{
    World& w = world();
    const auto capacity = static_cast<std::uint32_t>(state.range(0));
    TriangleBatch& shadows = g_tri_batches[SHADOW_BATCH];
    shadows = {std::make_unique<BatchVertex[]>(capacity * 3), capacity, 0, 0, nullptr};
    int fitting = 0;
    for (auto _ : state) {
        shadows.count = 0;
        fitting = 0;
        for (int k = 0; k < SHADOWS_PER_FRAME; ++k) {
            const D3DXVECTOR3& at = w.props()[static_cast<std::size_t>(k) * 3 % w.props().size()];
            decal_draw({at.x, 1.0f, at.z}, 0, SHADOW_BATCH, 0x99000000, 1.0f, 0.0f, {0.0f, 1.0f, 0.0f},
                       false);
            if (shadows.count < shadows.capacity) ++fitting;
        }
        benchmark::DoNotOptimize(shadows.count);
    }
    state.counters["triangles"] = static_cast<double>(shadows.count);
    state.counters["shadows_whole"] = fitting;
    state.SetItemsProcessed(state.iterations() * SHADOWS_PER_FRAME);
}
BENCHMARK(BM_ShadowFrame)->Arg(SHADOW_BATCH_TRIANGLES)->Arg(8192);

} // namespace
