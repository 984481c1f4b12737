// One frame of the render queue through the Direct3D stand-in: the rows filled to their
// capacities in the game's row table, then sorted and drawn; model items are a box's subset.
// Queuing is part of the timed frame; the device has no backend, so draws are checked and
// counted, not rasterised.
#include "common/bench_engine.h"
#include "common/bench_queue_frame.h"
#include "lowlv/d3d/d3d_core.h"
#include "platform/impl/d3d8_state.h"
#include "scenegraph/model.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_queue.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

void run_frames(benchmark::State& state, bool quads_in_row_11)
{
    std::filesystem::path folder = bench_mount_shaders("kro_bench_rq_");
    if (!bench_begin_state_only(folder)) return state.SkipWithError("no device");
    QuadSource source{};
    D3DXMatrixIdentity(&source.world);
    g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &source.texture);
    BoxSource box;
    if (!box.load()) {
        state.SkipWithError("no box model");
        source.texture->Release();
        bench_end_state_only(folder);
        return;
    }

    std::uint64_t items = 0, draws = 0;
    g_bench_callbacks = 0;
    for (auto _ : state) {
        renderer_reset_frame_state();
        items += bench_queue_frame(source, box, quads_in_row_11);
        std::uint64_t draws_before = d3d8_call_counts(*g_d3d_device).draws;
        renderer_draw_frame();
        draws += d3d8_call_counts(*g_d3d_device).draws - draws_before;
    }
    state.counters["items/frame"] =
        benchmark::Counter(static_cast<double>(items), benchmark::Counter::kAvgIterations);
    state.counters["draws/frame"] =
        benchmark::Counter(static_cast<double>(draws), benchmark::Counter::kAvgIterations);
    state.counters["callbacks/frame"] =
        benchmark::Counter(static_cast<double>(g_bench_callbacks), benchmark::Counter::kAvgIterations);

    model_free(box.model);
    source.texture->Release();
    bench_end_state_only(folder);
}

} // namespace

static void BM_RenderQueueFullFrame(benchmark::State& state)
{
    run_frames(state, false);
}
BENCHMARK(BM_RenderQueueFullFrame)->Unit(benchmark::kMicrosecond);

static void BM_RenderQueueFullFrameQuadsInRow11(benchmark::State& state)
{
    run_frames(state, true);
}
BENCHMARK(BM_RenderQueueFullFrameQuadsInRow11)->Unit(benchmark::kMicrosecond);
