// One frame of a full ripple pool on a device without a backend: the tick's ageing, which frees
// the ripples at the end of their life (the frame spawns as many again, as the game's spawners
// keep the pool full in a busy scene), the queued item and its one lock, copy and draw.
#include "common/bench_engine.h"
#include "core/timer.h"
#include "game/g_tick.h"
#include "gfx/g_ripple.h"
#include "lowlv/d3d/d3d_core.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "platform/impl/d3d8_state.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_queue.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

// Rings and wakes in turn, spread over the water, until the pool is full; the first fill spreads
// their ages over the whole life, so about five end in every frame from then on.
void fill_ripples(std::uint32_t& spawned)
{
    const bool first_fill = spawned == 0;
    while (g_pool_ripple.count < RIPPLE_POOL_SIZE) {
        const float x = static_cast<float>(spawned % 16), z = static_cast<float>(spawned / 16 % 16);
        const D3DXVECTOR3 at(x, 0.0f, z);
        Ripple* ripple = spawned % 2 ? ripple_spawn_wake(at, 1.5f, 0.1f * static_cast<float>(spawned), 200)
                                     : ripple_spawn_ring(at, 2.0f);
        if (first_fill) ripple->age = static_cast<float>(spawned % 50);
        ++spawned;
    }
}

} // namespace

static void BM_RippleFullPoolFrame(benchmark::State& state)
{
    std::filesystem::path folder = bench_mount_shaders("kro_bench_ripple_");
    if (!bench_begin_state_only(folder)) return state.SkipWithError("no device");
    obj_create_pools();
    g_paused = 0;
    g_draw_frame = 1;
    g_frame_step = 1.0f;
    std::uint32_t spawned = 0;
    std::uint64_t drawn = 0, draws = 0;
    for (auto _ : state) {
        fill_ripples(spawned);
        renderer_reset_frame_state();
        ripple_update();
        drawn += static_cast<std::uint64_t>(g_pool_ripple.count);
        const std::uint64_t draws_before = d3d8_call_counts(*g_d3d_device).draws;
        renderer_draw_frame();
        draws += d3d8_call_counts(*g_d3d_device).draws - draws_before;
    }
    state.counters["ripples/frame"] =
        benchmark::Counter(static_cast<double>(drawn), benchmark::Counter::kAvgIterations);
    state.counters["draws/frame"] =
        benchmark::Counter(static_cast<double>(draws), benchmark::Counter::kAvgIterations);

    g_draw_frame = 0;
    obj_destroy_all();
    obj_destroy_pools();
    bench_end_state_only(folder);
}
BENCHMARK(BM_RippleFullPoolFrame)->Unit(benchmark::kMicrosecond);
