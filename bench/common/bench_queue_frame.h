// The render queue's full frame, shared by the renderer benchmarks: the rows filled to their
// capacities in the game's row table; model items are a box's subset.
#pragma once

#include "scenegraph/model.h"
#include "scenegraph/renderer_queue.h"

#include <cstdint>

// Callbacks the frame's callback items ran.
extern std::uint64_t g_bench_callbacks;

struct QuadSource {
    D3DXMATRIX world;
    QuadVertex vertices[4];
    IDirect3DTexture8* texture;
};

// A posed box whose one subset every model item and mesh-triangle item points at.
struct BoxSource {
    Model model{};
    D3DXMATRIX world;

    bool load();
    ModelMesh& mesh() { return model.meshes[0]; }
    MeshSubset& subset() { return mesh().subsets[0]; }
};

// Rows 0-3 and 7 hold a model node each, rows 6, 8 and 9 particle quads, row 11 mesh triangles
// (or, with `quads_in_row_11`, as many particle quads as a row draws), the others callbacks.
// Returns the number of items queued.
std::uint32_t bench_queue_frame(const QuadSource& source, BoxSource& box, bool quads_in_row_11);
