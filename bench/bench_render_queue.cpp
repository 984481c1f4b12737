// One frame of the render queue through the Direct3D stand-in: the rows filled to their
// capacities in the game's row table, then sorted and drawn; model items are a box's subset.
// Queuing is part of the timed frame; the device has no backend, so draws are checked and
// counted, not rasterised.
#include "common/bench_engine.h"
#include "lib/qmo_writer.h"
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

std::uint64_t g_callbacks = 0;

void count_callback(RenderQueueItem*, void*)
{
    ++g_callbacks;
}

// Depth keys that look like a scene: a fixed pseudo-random spread.
std::int32_t depth(std::uint32_t& seed)
{
    seed = seed * 1664525u + 1013904223u;
    return static_cast<std::int32_t>(seed >> 8);
}

struct QuadSource {
    D3DXMATRIX world;
    QuadVertex vertices[4];
    IDirect3DTexture8* texture;
};

// A posed box whose one subset every model item and mesh-triangle item points at.
struct BoxSource {
    Model model{};
    D3DXMATRIX world;

    bool load()
    {
        D3DXMatrixIdentity(&world);
        constexpr std::uint32_t copies = MODEL_LOAD_KEEP_INDICES | MODEL_LOAD_CENTRES;
        if (FAILED(model_parse(model, qmo_bytes(qmo_box()), 0, copies))) return false;
        model_apply_animation(model, 1, 0, 0.0f, 0.0f, world, world);
        return true;
    }
    ModelMesh& mesh() { return model.meshes[0]; }
    MeshSubset& subset() { return mesh().subsets[0]; }
};

std::uint32_t fill_callbacks(int row, std::uint32_t& seed)
{
    std::uint32_t n = 0;
    for (; auto* item = reinterpret_cast<RqCallbackItem*>(rq_alloc(row, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK));
         ++n) {
        item->header.key0 = rq_next_serial();
        item->header.key1 = depth(seed);
        item->callback = count_callback;
    }
    return n;
}

// Particles: four quads share a serial and a depth, and so a draw call.
std::uint32_t fill_quads(int row, std::uint32_t limit, const QuadSource& source, std::uint32_t& seed)
{
    std::uint32_t key0 = 0;
    std::int32_t key1 = 0;
    std::uint32_t n = 0;
    for (; n < limit; ++n) {
        auto* item = reinterpret_cast<RqQuadItem*>(rq_alloc(row, RQ_TYPE_QUAD, RQ_SIZE_QUAD));
        if (!item) break;
        if (n % 4 == 0) {
            key0 = rq_next_serial();
            key1 = depth(seed);
        }
        item->header.key0 = key0;
        item->header.key1 = key1;
        item->material = 0x0C41;
        item->world = &source.world;
        item->texture = source.texture;
        item->vertices = source.vertices;
    }
    return n;
}

std::uint32_t fill_model_node(int row, BoxSource& box)
{
    auto* item = reinterpret_cast<RqModelNodeItem*>(rq_alloc(row, RQ_TYPE_MODEL_NODE, RQ_SIZE_MODEL_NODE));
    if (!item) return 0;
    item->header.key0 = rq_next_serial();
    item->model = &box.model;
    item->mesh = &box.mesh();
    item->material = &box.model.materials[0];
    item->subset = &box.subset();
    item->world = &box.world;
    return 1;
}

// Translucent mesh triangles: one serial per subset of 64 triangles, each a triangle of the box.
std::uint32_t fill_meshes(BoxSource& box, std::uint32_t& seed)
{
    std::uint32_t count = UINT32_MAX;
    RqMeshItem* items = rq_alloc_meshes(count);
    const std::uint8_t* indices = box.mesh().index_buffers[0].copy.data();
    const std::uint32_t triangles = box.subset().triangle_count;
    for (std::uint32_t i = 0; i < count; ++i) {
        RqMeshItem& item = items[i];
        item.header.key0 = i % 64 == 0 ? rq_next_serial() : items[i - 1].header.key0;
        item.header.key1 = depth(seed);
        item.material_word = box.model.materials[0].word;
        item.model = &box.model;
        item.mesh = &box.mesh();
        item.material = &box.model.materials[0];
        item.subset = &box.subset();
        item.world = &box.world;
        std::memcpy(item.indices, indices + 6 * std::size_t{i % triangles}, sizeof item.indices);
    }
    return count;
}

// Rows 0-3 and 7 hold a model node each, rows 6, 8 and 9 particle quads, row 11 mesh triangles
// (or, with `quads_in_row_11`, as many particle quads as a row draws), the others callbacks.
// Returns the number of items queued.
std::uint32_t queue_frame(const QuadSource& source, BoxSource& box, bool quads_in_row_11)
{
    std::uint32_t seed = 12345;
    std::uint32_t items = 0;
    for (int row : {0, 1, 2, 3, 7})
        items += fill_model_node(row, box);
    for (int row : {4, 5, 10, 12, 13})
        items += fill_callbacks(row, seed);
    for (int row : {6, 8, 9})
        items += fill_quads(row, UINT32_MAX, source, seed);
    return items +
           (quads_in_row_11 ? fill_quads(RQ_ROW_MESHES, RQ_MAX_ITEMS, source, seed) : fill_meshes(box, seed));
}

void run_frames(benchmark::State& state, bool quads_in_row_11)
{
    std::filesystem::path folder = bench_mount_shaders("kro_bench_rq_");
    // A window handle no window layer knows: the device has no backend.
    if (folder.empty() || !bench_start_engine(reinterpret_cast<HWND>(std::uintptr_t{0x5EED}), 640, 480) ||
        FAILED(g_d3d_device->BeginScene())) {
        state.SkipWithError("no device");
        bench_stop_engine(folder);
        return;
    }
    QuadSource source{};
    D3DXMatrixIdentity(&source.world);
    g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &source.texture);
    BoxSource box;
    if (!box.load()) {
        state.SkipWithError("no box model");
        source.texture->Release();
        g_d3d_device->EndScene();
        bench_stop_engine(folder);
        return;
    }

    std::uint64_t items = 0, draws = 0;
    g_callbacks = 0;
    for (auto _ : state) {
        renderer_reset_frame_state();
        items += queue_frame(source, box, quads_in_row_11);
        std::uint64_t draws_before = d3d8_call_counts(*g_d3d_device).draws;
        renderer_draw_frame();
        draws += d3d8_call_counts(*g_d3d_device).draws - draws_before;
    }
    state.counters["items/frame"] =
        benchmark::Counter(static_cast<double>(items), benchmark::Counter::kAvgIterations);
    state.counters["draws/frame"] =
        benchmark::Counter(static_cast<double>(draws), benchmark::Counter::kAvgIterations);
    state.counters["callbacks/frame"] =
        benchmark::Counter(static_cast<double>(g_callbacks), benchmark::Counter::kAvgIterations);

    model_free(box.model);
    source.texture->Release();
    g_d3d_device->EndScene();
    bench_stop_engine(folder);
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
