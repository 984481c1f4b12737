#include "gfx/go_popup.h"

#include "core/text.h"
#include "core/timer.h"
#include "game/g_tick.h"
#include "gfx/text_bitmap.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/d3d_state.h"
#include "lowlv/d3d/renderer_frame.h"
#include "scenegraph/renderer_queue.h"

#include <cmath>
#include <numbers>

namespace {

constexpr UINT k_vertices_per_glyph = 6;
constexpr float k_units_per_size = 0.02f; // world units per font unit at size 1
constexpr float k_fade_out_ticks = static_cast<float>(POPUP_LIFE_EXTRA - POPUP_FADE_OUT_START);

// The wave: each glyph starts its rise two steps after the one before it and stands at 1 after
// 16 steps of its own; from the triangle count + 30 on, it rises on toward 3.
constexpr float k_glyph_delay = 2.0f;
constexpr float k_first_rise_end = 16.0f;
constexpr float k_first_rise_period = 32.0f;
constexpr float k_last_rise_start = 30.0f;
constexpr float k_last_rise_period = 24.0f;

float glyph_lift(const GoPopup& popup, std::uint32_t glyph)
{
    const float local_age = popup.age - k_glyph_delay * static_cast<float>(glyph);
    const float last_rise_age = local_age - static_cast<float>(popup.triangle_count) - k_last_rise_start;
    if (last_rise_age >= 0.0f)
        return 2.0f - std::cos(last_rise_age * std::numbers::pi_v<float> / k_last_rise_period);
    if (local_age < k_first_rise_end)
        return std::sin(local_age * std::numbers::pi_v<float> / k_first_rise_period);
    return 1.0f;
}

// Counts the whole tick and fades; false once the popup has died.
bool count_tick(GoPopup& popup)
{
    const std::uint32_t counter = ++popup.tick_counter;
    const std::uint32_t end = popup.triangle_count + POPUP_LIFE_EXTRA;
    // "Or later": a counter pushed past the end still ends the popup.
    if (counter >= end) {
        popup.fade = 0.0f;
        go_kill(popup);
        return false;
    }
    if (counter < POPUP_FADE_IN_TICKS)
        popup.fade = static_cast<float>(counter) / static_cast<float>(POPUP_FADE_IN_TICKS);
    else if (counter >= popup.triangle_count + POPUP_FADE_OUT_START)
        popup.fade = static_cast<float>(end - counter) / k_fade_out_ticks;
    return true;
}

void follow(GoPopup& popup)
{
    const GoBase* followed = popup.target.get();
    if (!followed) return;
    popup.world._41 = followed->world._41;
    popup.world._42 = followed->world._42 + POPUP_TARGET_LIFT;
    popup.world._43 = followed->world._43;
}

void queue_draw(GoPopup& popup)
{
    camera_face(popup.world);
    auto* item = reinterpret_cast<RqCallbackItem*>(rq_alloc(POPUP_ROW, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK));
    if (!item) return;
    const D3DXVECTOR3 to_eye =
        g_camera_state.eye - D3DXVECTOR3(popup.world._41, popup.world._42, popup.world._43);
    item->header.key0 = POPUP_KEY0;
    item->header.key1 = rq_depth_key(D3DXVec3LengthSq(&to_eye));
    item->callback = popup_draw_cb;
    item->user = &popup;
}

} // namespace

void GoPopup::SetText(const char* source, D3DCOLOR argb, float size)
{
    colour = argb & 0xFFFFFF;
    target = {};
    const std::size_t length = sys_copy_string(text, source, sizeof text);
    vertices = std::make_unique<BatchVertex[]>(k_vertices_per_glyph * length);
    D3DXVECTOR2 extent(0.0f, 0.0f);
    triangle_count =
        text_layout_quads(vertices.get(), text, 0.0f, 0.0f, argb, g_font_large, &extent, false, 1.0f);
    const float unit = size * k_units_per_size;
    for (UINT i = 0; i < triangle_count * 3; ++i) {
        BatchVertex& vertex = vertices[i];
        vertex.x = (vertex.x - extent.x / 2.0f) * unit;
        vertex.y = (-vertex.y - extent.y / 2.0f) * unit;
        vertex.z = 0.0f;
    }
}

void GoPopup::Update()
{
    if (!g_paused) {
        follow(*this);
        if (g_whole_tick && !count_tick(*this)) return;
        age += g_frame_step;
    }
    if (g_draw_frame && triangle_count > 0) queue_draw(*this);
}

void GoPopup::Draw() const
{
    const UINT count = triangle_count * 3;
    if (count == 0) return;
    if (POPUP_MATERIAL != g_current_material) renderer_set_material_state(POPUP_MATERIAL);
    DynamicBuffer& buffer = renderer_use_vb_shader24();
    renderer_set_world_constants(world);
    d3d_set_texture_cached(0, g_font_large.texture);
    UINT start = 0;
    auto* out = static_cast<BatchVertex*>(renderer_vb_lock_append(buffer, count, start));
    if (!out) return;
    const D3DCOLOR diffuse = (renderer_alpha_factor(fade) & 0xFF000000) | colour;
    for (UINT first = 0; first < count; first += k_vertices_per_glyph) {
        const float lift = glyph_lift(*this, first / k_vertices_per_glyph);
        for (UINT i = first; i < first + k_vertices_per_glyph; ++i) {
            out[i] = vertices[i];
            out[i].y += lift;
            out[i].diffuse = diffuse;
        }
    }
    renderer_buffer_unlock(buffer);
    d3d_draw_primitive(D3DPT_TRIANGLELIST, start, triangle_count);
}

void popup_draw_cb(RenderQueueItem*, void* user)
{
    static_cast<const GoPopup*>(user)->Draw();
}
