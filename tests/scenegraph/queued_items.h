// Reads back what the render queue holds: a row keeps its items back to back in their native
// records, each rounded up to the model-node item's alignment and grown by what its size asks
// beyond its type's.
#pragma once

#include "scenegraph/renderer_queue.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// The items of one type in a row, in queue order.
template <typename Item> std::vector<const Item*> queued_items(int row, RqItemType type)
{
    const std::size_t records[RQ_TYPE_COUNT] = {sizeof(RqCallbackItem), sizeof(RqModelNodeItem),
                                                sizeof(RqQuadItem), sizeof(RqMeshItem)};
    const std::uint8_t sizes[RQ_TYPE_COUNT] = {RQ_SIZE_CALLBACK, RQ_SIZE_MODEL_NODE, RQ_SIZE_QUAD,
                                               RQ_SIZE_MESH};
    constexpr std::size_t alignment = alignof(RqModelNodeItem);
    std::vector<const Item*> items;
    const RenderQueueRow& r = g_rq_rows[row];
    for (std::size_t at = 0; at < r.buffer_used;) {
        const auto* item = reinterpret_cast<const RenderQueueItem*>(r.buffer.get() + at);
        if (item->type >= RQ_TYPE_COUNT) {
            ADD_FAILURE() << "row " << row << " holds an item of type " << int(item->type);
            break;
        }
        if (item->type == type) items.push_back(reinterpret_cast<const Item*>(item));
        const std::size_t bytes = records[item->type] + (item->size - sizes[item->type]);
        at += (bytes + alignment - 1) / alignment * alignment;
    }
    return items;
}
