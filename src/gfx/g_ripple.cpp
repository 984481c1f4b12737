#include "gfx/g_ripple.h"

#include "core/maths.h"
#include "core/timer.h"
#include "game/g_image_table.h"
#include "game/g_tick.h"
#include "gfx/g_gfx.h"
#include "lowlv/d3d/d3d_core.h"
#include "object/obj_pools.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_queue.h"

#include <algorithm>
#include <new>
#include <numbers>

namespace {

constexpr float k_growth_per_tick = 0.02f; // of the half size, from half the size across at age 0
constexpr float k_fade_per_tick = 17.0f;   // alpha lost per tick after the opaque age
constexpr float k_wake_turn = std::numbers::pi_v<float> / 2.0f;
constexpr D3DCOLOR k_white = 0xFFFFFF;
constexpr float k_wake_v = 0.5f; // wakes use the lower half of the picture

Ripple& ripple_at(std::int32_t index)
{
    return *static_cast<Ripple*>(g_pool_ripple.active[index]);
}

Ripple* spawn(const D3DXVECTOR3& position, float size, RippleKind kind, std::uint16_t alpha_scale)
{
    void* slot = g_pool_ripple.Alloc();
    if (!slot) return nullptr;
    return new (slot) Ripple{position, 0.0f, size * 0.5f, 0.0f, 0.0f, alpha_scale, kind};
}

float half_extent(const Ripple& ripple)
{
    return (ripple.age * k_growth_per_tick + 0.5f) * ripple.half_size;
}

// A scale above 256 would carry the alpha out of its byte; it stays opaque instead.
D3DCOLOR color_of(const Ripple& ripple)
{
    std::uint32_t alpha = 255;
    if (ripple.age >= RIPPLE_OPAQUE_AGE)
        alpha = static_cast<std::uint32_t>(
            std::clamp((RIPPLE_LIFE - ripple.age) * k_fade_per_tick, 0.0f, 255.0f));
    if (ripple.alpha_scale != RIPPLE_ALPHA_UNSCALED)
        alpha = std::min((alpha * ripple.alpha_scale) >> 8, 255u);
    return alpha << 24 | k_white;
}

// The quad's corners in the quad indices' order, turned so that the picture's u runs along
// (c, n); a ring is the wake along (1, 0).
void write_quad(const Ripple& ripple, BatchVertex* out)
{
    const bool wake = ripple.kind == RIPPLE_WAKE;
    const float c = wake ? ripple.direction_x : 1.0f;
    const float n = wake ? ripple.direction_z : 0.0f;
    const float v = wake ? k_wake_v : 0.0f;
    const float e = half_extent(ripple);
    const D3DCOLOR color = color_of(ripple);
    const D3DXVECTOR3& p = ripple.position;
    out[0] = {p.x + e * (n - c), p.y, p.z + e * (-c - n), color, 0.0f, v};
    out[1] = {p.x + e * (-c - n), p.y, p.z + e * (c - n), color, 0.0f, v + 0.5f};
    out[2] = {p.x + e * (c + n), p.y, p.z + e * (n - c), color, 1.0f, v};
    out[3] = {p.x + e * (c - n), p.y, p.z + e * (n + c), color, 1.0f, v + 0.5f};
}

void age_ripples()
{
    // A freed ripple closes the gap in the list, so the same index is looked at again.
    for (std::int32_t i = 0; i < g_pool_ripple.count;) {
        Ripple& ripple = ripple_at(i);
        ripple.age += g_frame_step;
        if (ripple.age >= RIPPLE_LIFE)
            g_pool_ripple.Free(&ripple);
        else
            ++i;
    }
}

void queue_draw()
{
    auto* item = reinterpret_cast<RqCallbackItem*>(rq_alloc(RIPPLE_ROW, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK));
    if (!item) return;
    item->callback = ripple_draw_cb;
}

} // namespace

Ripple* ripple_spawn_ring(const D3DXVECTOR3& position, float size)
{
    return spawn(position, size, RIPPLE_RING, RIPPLE_ALPHA_UNSCALED);
}

Ripple* ripple_spawn_wake(const D3DXVECTOR3& position, float size, float heading, std::uint16_t alpha_scale)
{
    Ripple* ripple = spawn(position, size, RIPPLE_WAKE, alpha_scale);
    if (!ripple) return nullptr;
    const int step = math_heading_index(heading + k_wake_turn);
    ripple->direction_x = math_table_cos(step);
    ripple->direction_z = math_table_sin(step);
    return ripple;
}

void ripple_update()
{
    if (g_pool_ripple.count == 0) return;
    if (!g_paused) {
        age_ripples();
        if (g_pool_ripple.count == 0) return;
    }
    if (g_draw_frame) queue_draw();
}

void ripple_draw_cb(RenderQueueItem*, void*)
{
    const auto count = static_cast<UINT>(std::clamp(g_pool_ripple.count, 0, RIPPLE_POOL_SIZE));
    if (count == 0) return;
    BatchVertex staging[RIPPLE_POOL_SIZE * 4];
    for (UINT i = 0; i < count; ++i)
        write_quad(ripple_at(static_cast<std::int32_t>(i)), &staging[4 * i]);

    gfx_set_common_vs_constants();
    if (RIPPLE_MATERIAL != g_current_material) renderer_set_material_state(RIPPLE_MATERIAL);
    DynamicBuffer& buffer = renderer_use_vb_shader24();
    d3d_set_texture_cached(0, g_texture_handles[RIPPLE_IMAGE]);
    const UINT vertices = 4 * count;
    UINT start = 0;
    if (!gfx_dynvb_write(vertices, buffer, staging, start)) return;
    g_d3d_device->SetIndices(g_renderer_ibs[RIB_QUADS].indices, start);
    g_d3d_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertices, 0, 2 * count);
}
