#include "scenegraph/renderer_queue.h"

#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/renderer_frame.h"
#include "scenegraph/model.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

RenderQueueRow g_rq_rows[RQ_ROW_COUNT];
std::uint32_t g_rq_serial = RQ_SERIAL_START;

namespace {

// Each item is constructed as its typed record in the row buffer; callers fill named fields, never
// byte offsets of the 32-bit layout.
using ItemMaker = RenderQueueItem* (*)(std::byte* at);
template <typename Item> RenderQueueItem* make_item(std::byte* at)
{
    return &(new (at) Item{})->header;
}

struct ItemLayout {
    std::uint32_t size; // the smallest item of the type, in the 32-bit layout
    std::size_t bytes;  // its native record
    ItemMaker make;
};
constexpr ItemLayout ITEM_LAYOUTS[RQ_TYPE_COUNT] = {
    {RQ_SIZE_CALLBACK, sizeof(RqCallbackItem), make_item<RqCallbackItem>},
    {RQ_SIZE_MODEL_NODE, sizeof(RqModelNodeItem), make_item<RqModelNodeItem>},
    {RQ_SIZE_QUAD, sizeof(RqQuadItem), make_item<RqQuadItem>},
    {RQ_SIZE_MESH, sizeof(RqMeshItem), make_item<RqMeshItem>},
};
constexpr std::size_t ITEM_ALIGNMENT = alignof(RqModelNodeItem);

// Bytes an item takes in the row buffer: its record plus the caller's bytes beyond the type's
// size, aligned for the next item. 0 for what rq_alloc refuses: an unknown type, a size below
// the type's (it would not hold the record) or above what the size byte holds.
constexpr std::size_t native_bytes(std::uint8_t type, std::uint32_t size)
{
    if (type >= RQ_TYPE_COUNT || size < ITEM_LAYOUTS[type].size || size > 255) return 0;
    std::size_t bytes = ITEM_LAYOUTS[type].bytes + (size - ITEM_LAYOUTS[type].size);
    return (bytes + ITEM_ALIGNMENT - 1) / ITEM_ALIGNMENT * ITEM_ALIGNMENT;
}

// A row's buffer is this many times its capacity, which holds any mix of items that fits the
// capacity.
constexpr std::size_t BUFFER_PER_CAPACITY_BYTE = 2;
constexpr bool every_item_fits_buffer()
{
    for (std::uint8_t type = 0; type < RQ_TYPE_COUNT; ++type)
        for (std::uint32_t size = ITEM_LAYOUTS[type].size; size <= 255; ++size)
            if (native_bytes(type, size) > BUFFER_PER_CAPACITY_BYTE * size) return false;
    return true;
}
static_assert(every_item_fits_buffer());
static_assert(sizeof(RqMeshItem) == native_bytes(RQ_TYPE_MESH, RQ_SIZE_MESH),
              "mesh items of one request lie back to back as an array");

RenderQueueItem* g_rq_items[RQ_MAX_ITEMS]; // the row being drawn, in sorted order

std::int32_t wrapped_difference(std::uint32_t a, std::uint32_t b)
{
    return static_cast<std::int32_t>(a - b);
}

bool larger(const RenderQueueItem& a, const RenderQueueItem& b, std::uint32_t sort_mode)
{
    std::int32_t key0 = wrapped_difference(a.key0, b.key0);
    std::int32_t key1 =
        wrapped_difference(static_cast<std::uint32_t>(a.key1), static_cast<std::uint32_t>(b.key1));
    std::int32_t first = sort_mode == RQ_SORT_KEY0 ? key0 : key1;
    std::int32_t second = sort_mode == RQ_SORT_KEY0 ? key1 : key0;
    return first != 0 ? first > 0 : second > 0;
}

void insertion_sort(std::span<RenderQueueItem*> items, std::uint32_t sort_mode)
{
    for (std::size_t i = 1; i < items.size(); ++i) {
        RenderQueueItem* item = items[i];
        std::size_t j = i;
        for (; j > 0 && larger(*item, *items[j - 1], sort_mode); --j)
            items[j] = items[j - 1];
        items[j] = item;
    }
}

// Walks the row by item sizes, at most RQ_MAX_ITEMS items; a size that is not an item's, or one
// running past the used bytes, ends the walk.
std::span<RenderQueueItem*> collect(const RenderQueueRow& row)
{
    std::size_t count = 0;
    std::size_t offset = 0;
    while (offset < row.buffer_used && count < RQ_MAX_ITEMS) {
        auto* item = reinterpret_cast<RenderQueueItem*>(row.buffer.get() + offset);
        std::size_t bytes = native_bytes(item->type, item->size);
        if (bytes == 0 || offset + bytes > row.buffer_used) break;
        g_rq_items[count++] = item;
        offset += bytes;
    }
    return {g_rq_items, count};
}

// A batch runs over the following items of the same type with the same key0.
std::size_t run_length(std::span<RenderQueueItem* const> items, std::size_t max)
{
    const RenderQueueItem& first = *items[0];
    std::size_t n = 1;
    while (n < items.size() && n < max && items[n]->type == first.type && items[n]->key0 == first.key0)
        ++n;
    return n;
}

template <typename Item> const Item& record(const RenderQueueItem& item)
{
    return reinterpret_cast<const Item&>(item);
}

// The run's quads with the first one's material, world and texture, in one indexed draw.
std::size_t draw_quad_batch(std::span<RenderQueueItem* const> items)
{
    std::size_t count = run_length(items, RQ_QUAD_BATCH_MAX);
    const RqQuadItem& first = record<RqQuadItem>(*items[0]);
    DynamicBuffer& buffer = rq_begin_world_quads(first.material, *first.world);
    d3d_set_texture_cached(0, first.texture);
    UINT vertices = static_cast<UINT>(4 * count);
    UINT start = 0;
    auto* out = static_cast<QuadVertex*>(renderer_vb_lock_append(buffer, vertices, start));
    if (!out) return count;
    for (std::size_t i = 0; i < count; ++i)
        std::memcpy(out + 4 * i, record<RqQuadItem>(*items[i]).vertices, 4 * sizeof(QuadVertex));
    renderer_buffer_unlock(buffer);
    g_d3d_device->SetIndices(g_renderer_ibs[RIB_QUADS].indices, start);
    g_d3d_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertices, 0, static_cast<UINT>(2 * count));
    return count;
}

// Draws the item at `first`, or the batch it starts, and returns the index past it.
std::size_t dispatch(std::span<RenderQueueItem* const> items, std::size_t first)
{
    RenderQueueItem& item = *items[first];
    switch (item.type) {
    case RQ_TYPE_CALLBACK: {
        const RqCallbackItem& callback = record<RqCallbackItem>(item);
        if (callback.callback) callback.callback(&item, callback.user);
        return first + 1;
    }
    case RQ_TYPE_QUAD:
        return first + draw_quad_batch(items.subspan(first));
    case RQ_TYPE_MESH: {
        std::size_t count = run_length(items.subspan(first), RQ_MESH_BATCH_MAX);
        model_draw_triangles(items.subspan(first, count));
        return first + count;
    }
    default: // RQ_TYPE_MODEL_NODE
        model_draw_queued(record<RqModelNodeItem>(item));
        return first + 1;
    }
}

} // namespace

DynamicBuffer& rq_begin_world_quads(std::uint32_t material, const D3DXMATRIX& world)
{
    const MaterialFlags word = renderer_select_vertex_shader(material);
    if (word != g_current_material) renderer_set_material_state(word);
    d3d_set_render_state_cached(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    renderer_set_world_constants(world);
    DynamicBuffer& buffer = g_renderer_vbs[RVB_WORLD_QUAD];
    d3d_set_stream_source_cached(0, buffer.vertices, buffer.stride);
    return buffer;
}

void rq_draw_row(int row, bool prepass)
{
    std::span<RenderQueueItem*> items = collect(g_rq_rows[row]);
    if (items.size() >= 2) rq_sort(items, g_rq_rows[row].sort_mode);
    for (std::size_t i = 0; i < items.size() && (!prepass || g_frame_effects.prepass_active);)
        i = dispatch(items, i);
}

bool rq_create_rows(std::span<const RenderQueueRowDef, RQ_ROW_COUNT> rows)
{
    for (int row = 0; row < RQ_ROW_COUNT; ++row) {
        std::size_t bytes = BUFFER_PER_CAPACITY_BYTE * std::size_t{rows[row].capacity};
        g_rq_rows[row].buffer.reset(new (std::nothrow) std::byte[bytes]);
        if (!g_rq_rows[row].buffer) {
            rq_free_rows();
            return false;
        }
        g_rq_rows[row].capacity = rows[row].capacity;
        g_rq_rows[row].sort_mode = rows[row].sort_mode;
    }
    rq_clear_rows();
    return true;
}

void rq_free_rows()
{
    for (RenderQueueRow& row : g_rq_rows)
        row = {};
}

void rq_clear_rows()
{
    for (RenderQueueRow& row : g_rq_rows) {
        row.used = 0;
        row.buffer_used = 0;
    }
}

RenderQueueItem* rq_alloc(int row, RqItemType type, std::uint32_t size)
{
    std::size_t bytes = native_bytes(type, size);
    if (row < 0 || row >= RQ_ROW_COUNT || bytes == 0) return nullptr;
    RenderQueueRow& r = g_rq_rows[row];
    if (std::uint64_t{r.capacity} < std::uint64_t{r.used} + size) return nullptr;
    std::byte* at = r.buffer.get() + r.buffer_used;
    r.used += size;
    r.buffer_used += bytes;
    std::size_t record_bytes = ITEM_LAYOUTS[type].bytes;
    std::memset(at + record_bytes, 0, bytes - record_bytes);
    RenderQueueItem* item = ITEM_LAYOUTS[type].make(at);
    item->size = static_cast<std::uint8_t>(size);
    item->type = type;
    return item;
}

RqMeshItem* rq_alloc_meshes(std::uint32_t& count)
{
    RenderQueueRow& row = g_rq_rows[RQ_ROW_MESHES];
    std::uint32_t room = row.capacity > row.used ? (row.capacity - row.used) / RQ_SIZE_MESH : 0;
    count = std::min(count, room);
    if (count == 0) return nullptr;
    auto* first = reinterpret_cast<RqMeshItem*>(row.buffer.get() + row.buffer_used);
    for (std::uint32_t i = 0; i < count; ++i)
        rq_alloc(RQ_ROW_MESHES, RQ_TYPE_MESH, RQ_SIZE_MESH);
    return first;
}

std::uint32_t rq_next_serial()
{
    return g_rq_serial++ & 0xFFFFFF;
}

std::int32_t rq_float_to_key(float value)
{
    // The truncating conversion's range is [-2^31, 2^31); x86 answers everything else with
    // the "integer indefinite" value.
    if (!(value >= -2147483648.0f && value < 2147483648.0f)) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

std::int32_t rq_depth_key(float squared_distance)
{
    return rq_float_to_key(squared_distance * 10000.0f);
}

void rq_sort(std::span<RenderQueueItem*> items, std::uint32_t sort_mode)
{
    while (items.size() > 8) {
        std::swap(items[0], items[items.size() / 2]);
        std::size_t last = 0;
        for (std::size_t i = 1; i < items.size(); ++i)
            if (larger(*items[i], *items[0], sort_mode)) std::swap(items[++last], items[i]);
        std::swap(items[0], items[last]);
        rq_sort(items.first(last), sort_mode);
        items = items.subspan(last + 1);
    }
    insertion_sort(items, sort_mode);
}
