#include "bench_queue_frame.h"

#include "lib/qmo_writer.h"

#include <cstring>

std::uint64_t g_bench_callbacks = 0;

bool BoxSource::load()
{
    D3DXMatrixIdentity(&world);
    constexpr std::uint32_t copies = MODEL_LOAD_KEEP_INDICES | MODEL_LOAD_CENTRES;
    if (FAILED(model_parse(model, qmo_bytes(qmo_box()), 0, copies))) return false;
    model_apply_animation(model, 1, 0, 0.0f, 0.0f, world, world);
    return true;
}

namespace {

void count_callback(RenderQueueItem*, void*)
{
    ++g_bench_callbacks;
}

// Depth keys that look like a scene: a fixed pseudo-random spread.
std::int32_t depth(std::uint32_t& seed)
{
    seed = seed * 1664525u + 1013904223u;
    return static_cast<std::int32_t>(seed >> 8);
}

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

} // namespace

// Rows 0-3 and 7 hold a model node each, rows 6, 8 and 9 particle quads, row 11 mesh triangles
// (or, with `quads_in_row_11`, as many particle quads as a row draws), the others callbacks.
// Returns the number of items queued.
std::uint32_t bench_queue_frame(const QuadSource& source, BoxSource& box, bool quads_in_row_11)
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
