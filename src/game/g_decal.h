// Ground shadows and other decals: a square of half side `size` centred under an object, written
// as triangles into one of the renderer's triangle batches (g_tri_batches). Projected decals cut
// the collision triangles of set A out of every enabled map mesh, so they follow steps, slopes and
// walls; the quad is one flat square on the ground plane.
#pragma once

#include "game/g_hit.h"
#include "platform/d3dx8.h"
#include "platform/win_types.h"

#include <cstdint>
#include <span>

constexpr int DECAL_KIND_COUNT = 4;             // kind 2 has a narrow vertical window
constexpr float DECAL_PROBE_DEPTH = 6.0f;       // how far below the object the projection looks
constexpr float DECAL_QUAD_LIFT = 0.025f;       // above the ground, against depth fighting
constexpr std::uint32_t DECAL_GREY_BATCH = 0x8; // batch material bit: colour as opaque grey

// packed colour: bits 24-31 the strength (/255), bits 0-23 RGB. Unless quad_only, projects and
// falls back to the quad when the batch was full. 0 or E_OUTOFMEMORY; a size of 0 or less draws
// nothing and returns 0.
HRESULT decal_draw(const D3DXVECTOR3& position, int kind, int batch, std::uint32_t packed, float size,
                   float ground, const D3DXVECTOR3& normal, bool quad_only);
// E_OUTOFMEMORY when the batch has no free triangle at the start, else 0 (also when nothing was
// emitted); stops when the batch fills.
HRESULT decal_project(const D3DXVECTOR3& position, std::uint32_t packed, int batch, float size, float ground,
                      int kind);
// Two triangles on the ground plane at ground + DECAL_QUAD_LIFT; E_OUTOFMEMORY when fewer than two
// triangles are free.
HRESULT decal_draw_quad(int batch, const D3DXVECTOR3& normal, std::uint32_t packed,
                        const D3DXVECTOR3& position, float size, float ground, int kind);
// World start = working start = start, world end = start + direction; no hit.
void decal_probe_init(const D3DXVECTOR3& start, const D3DXVECTOR3& direction, HitProbe& probe, float radius,
                      HitProbeCallback callback, void* data);
// The projection's callback: each listed triangle once, inside the square and the vertical window.
void decal_triangle_cb(std::span<const CollisionList> lists, void* data);
