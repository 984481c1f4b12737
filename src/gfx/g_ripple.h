// Water ripples: flat rings and wakes on water surfaces. A ripple is a record in a pool of its
// own, not a game object; a world clear empties the pool.
#pragma once

#include "platform/d3dx8.h"

#include <cstdint>

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
