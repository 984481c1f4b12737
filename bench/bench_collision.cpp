// The swept-ellipsoid solver against a closed room of 3072 triangles in an
// octree: random short moves from points inside, each collected with the swept
// query and solved, as the world queries run them; and the nearest hit of
// random segments through the room.
#include "lib/qco_writer.h"
#include "scenegraph/coll_sweep.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr float HALF = 20.0f;
constexpr float RADIUS = 0.5f;

struct Room {
    Room()
    {
        std::vector<std::uint8_t> bytes =
            qco_bytes(qco_image(qco_box_room({-HALF, -HALF, -HALF}, {HALF, HALF, HALF}, 16), 4, 16));
        coll_model_parse(model, bytes);
        coll_alloc_work();
        std::mt19937 random(7);
        std::uniform_real_distribution<float> inside(-HALF + 1, HALF - 1), step(-1.0f, 1.0f);
        for (int i = 0; i < 4096; ++i) {
            starts.push_back({inside(random), inside(random), inside(random)});
            motions.push_back({step(random), step(random), step(random)});
        }
    }
    CollisionModel model;
    std::vector<Vec3> starts, motions;
};

Room& room()
{
    static Room r;
    return r;
}

// One query and solve: where the ellipsoid ends.
Vec3 sweep_once(Room& r, const Vec3& start, const Vec3& motion)
{
    SweepRecord sweep;
    coll_sweep_set(sweep, start, motion);
    g_coll_work_list.clear();
    coll_query_swept(r.model.tree.root, sweep, RADIUS);
    Vec3 position, moved;
    coll_sweep_ellipsoid(position, moved, sweep, {RADIUS, RADIUS, RADIUS});
    return position;
}

void BM_SweepInRoom(benchmark::State& state)
{
    Room& r = room();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(sweep_once(r, r.starts[i], r.motions[i]));
        i = (i + 1) & 4095;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SweepInRoom);

// Moves that end against a wall: the solver's contact passes.
void BM_SweepIntoWall(benchmark::State& state)
{
    Room& r = room();
    std::size_t i = 0;
    for (auto _ : state) {
        Vec3 start{HALF - 1.2f, r.starts[i].y, r.starts[i].z};
        benchmark::DoNotOptimize(sweep_once(r, start, {1.0f, r.motions[i].y, r.motions[i].z}));
        i = (i + 1) & 4095;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SweepIntoWall);

void BM_SegmentNearestHit(benchmark::State& state)
{
    Room& r = room();
    std::size_t i = 0;
    for (auto _ : state) {
        SweepRecord segment;
        const Vec3& m = r.motions[i];
        coll_sweep_set(segment, r.starts[i], {m.x * 50, m.y * 50, m.z * 50});
        g_coll_work_list.clear();
        coll_query_segment(r.model.tree.root, segment);
        Vec3 point;
        float distance;
        CollisionTriangle* triangle;
        coll_segment_nearest_hit(point, distance, triangle, segment);
        benchmark::DoNotOptimize(distance);
        i = (i + 1) & 4095;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SegmentNearestHit);

} // namespace
