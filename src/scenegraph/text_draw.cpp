// The renderer's screen quad of a text surface.
#include "lowlv/d3d/d3d_state.h"
#include "scenegraph/renderer.h"
#include "scenegraph/text_glyph.h"

#include <algorithm>

namespace {

constexpr MaterialFlags k_text_material = 0x4041; // modulated by the vertex colour, blended, alpha-tested

// Two triangles over the rectangle, clockwise on the screen.
void quad(ScreenVertex* out, float left, float top, float right, float bottom, float u, float v,
          D3DCOLOR color)
{
    const ScreenVertex lt{left, top, 0.0f, 1.0f, color, 0.0f, 0.0f};
    const ScreenVertex rt{right, top, 0.0f, 1.0f, color, u, 0.0f};
    const ScreenVertex lb{left, bottom, 0.0f, 1.0f, color, 0.0f, v};
    const ScreenVertex rb{right, bottom, 0.0f, 1.0f, color, u, v};
    const ScreenVertex corners[6] = {lt, rt, lb, rt, rb, lb};
    std::copy(std::begin(corners), std::end(corners), out);
}

} // namespace

void text_draw(const D3DXVECTOR2& position, const D3DXVECTOR2& size, const D3DXVECTOR2& offset,
               const TextSurface& surface, D3DCOLOR shadow_color, D3DCOLOR text_color)
{
    if (!surface.texture || surface.width <= 0 || surface.height <= 0) return;
    float w = std::min(size.x, static_cast<float>(surface.width));
    float h = std::min(size.y, static_cast<float>(surface.height));
    float u = w / static_cast<float>(surface.width);
    float v = h / static_cast<float>(surface.height);

    D3DXVECTOR2 origin(position.x, position.y + offset.y);
    float right, bottom;
    if (surface.scaled) {
        renderer_scale_point_2d(origin);
        right = origin.x + w;
        bottom = origin.y + h;
    } else {
        right = origin.x + w * offset.x;
        bottom = origin.y + h * offset.y;
    }
    ScreenVertex vertices[12];
    quad(vertices, origin.x - offset.x, origin.y + offset.y, right - offset.x, bottom + offset.y, u, v,
         shadow_color);
    quad(vertices + 6, origin.x, origin.y, right, bottom, u, v, text_color);
    if (!surface.scaled) renderer_scale_2d(vertices, sizeof(ScreenVertex), std::size(vertices));

    if (g_current_material != k_text_material) renderer_set_material_state(k_text_material);
    d3d_set_texture_cached(0, surface.texture);
    DynamicBuffer& buffer = renderer_use_vb_rhw_tex();
    UINT start = 0;
    if (!renderer_vb_upload(std::size(vertices), buffer, vertices, start)) return;
    d3d_draw_primitive(D3DPT_TRIANGLELIST, start, 4);
}
