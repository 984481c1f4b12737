// Water ripples: flat rings and wakes on water surfaces. A ripple is a record in a pool of its
// own, not a game object; a world clear empties the pool. All live ripples age in one update per
// tick and draw in one indexed draw per frame.
#pragma once

#include "lowlv/d3d/d3d_state.h"
#include "platform/d3dx8.h"

#include <cstdint>

struct RenderQueueItem;

enum RippleKind : std::uint8_t {
    RIPPLE_RING = 0,
    RIPPLE_WAKE = 1,
};

struct Ripple {
    D3DXVECTOR3 position; // y is the water height
    float age;            // ticks
    float half_size;
    float direction_x; // wakes only
    float direction_z;
    std::uint16_t alpha_scale; // 256 leaves the alpha as it is
    RippleKind kind;
};
static_assert(sizeof(Ripple) == 32);

constexpr int RIPPLE_POOL_SIZE = 256;      // the pool table's capacity, which bounds the staging array
constexpr float RIPPLE_LIFE = 50.0f;       // ticks
constexpr float RIPPLE_OPAQUE_AGE = 35.0f; // from here the alpha falls to 0 at the end of life
constexpr std::uint16_t RIPPLE_ALPHA_UNSCALED = 256;
constexpr int RIPPLE_ROW = 10;
constexpr int RIPPLE_IMAGE = 29; // "ripple.dds": rings in its upper half, wakes in its lower half
// Combine mode 1, alpha blended additively, fogged, depth tested but not written, alpha tested.
constexpr MaterialFlags RIPPLE_MATERIAL =
    1u | MAT_ALPHA_BLEND | MAT_ADDITIVE | MAT_FOG | MAT_Z_TEST | MAT_ALPHA_TEST;
static_assert(RIPPLE_MATERIAL == 0x46C1);

// A ring of `size` across at age 0, growing to three times that at the end of its life; null,
// and nothing made, when the pool is full.
Ripple* ripple_spawn_ring(const D3DXVECTOR3& position, float size);
// A wake lying along `heading` (radians, turned by a quarter on the 256-step table), its alpha
// scaled by alpha_scale / 256; null when the pool is full.
Ripple* ripple_spawn_wake(const D3DXVECTOR3& position, float size, float heading, std::uint16_t alpha_scale);
// The per-tick step: unless paused, ages every ripple by the step and frees those at the end of
// their life; on drawn frames queues one callback item in row 10 while any ripple lives (a full
// row draws none this frame).
void ripple_update();
// The callback of that item: every live ripple as one textured quad, in one lock, one copy and
// one indexed draw over the quad indices. A failed lock draws nothing.
void ripple_draw_cb(RenderQueueItem* item, void* user);
