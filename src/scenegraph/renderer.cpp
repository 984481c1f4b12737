#include "scenegraph/renderer.h"

#include "core/errors.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/renderer_frame.h"
#include "scenegraph/renderer_camera.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>

TriangleBatch g_tri_batches[TRI_BATCH_COUNT];
RendererHook g_renderer_before_batches = nullptr;
RendererHook g_renderer_after_batches = nullptr;
ScreenVertex g_screen_quads[2][4];
GridDistortion g_grid_distortion;
ScreenScale g_screen_scale;
ScreenSize g_screen_size;
TextureSize g_screen_texture_size;
RendererSurfaces g_renderer_surfaces;
RenderTargetId g_render_target = RT_BACK_BUFFER;

namespace {

constexpr std::uint32_t BATCH_VERTEX_CAPACITIES[TRI_BATCH_COUNT] = {3072, 4096, 8192, 4096, 4096, 2048,
                                                                    2048, 2048, 2048, 4096, 4096};
constexpr int TRI_BATCH_SHADOW_DECALS = 4;
constexpr int TRI_BATCH_DECALS = 10;

// The second colour operation ADD, which model drawing uses for the cover texture.
constexpr std::uint32_t COVER_MODEL_BITS = 0x50000000;

constexpr D3DCOLOR OPAQUE_WHITE = 0xFFFFFFFF;
constexpr D3DCOLOR ZOOM_CENTRE_COLOR = 0x0FFFFFFF;
constexpr MaterialFlags MATERIAL_SCREEN_COPY = 0x1;
constexpr MaterialFlags MATERIAL_SCREEN_BLEND = 0x1041;
constexpr MaterialFlags MATERIAL_ZOOM = 0x5041;

// Layer k's four corners walked round the quad, with the degenerate joins to the next layer.
constexpr std::uint16_t ZOOM_FAN_INDICES[] = {0, 1, 2,  4,  3,  1, 0, 5,  6,  8,  7,  5,
                                              0, 9, 10, 12, 11, 9, 0, 13, 14, 16, 15, 13};
// A fan of 4n triangles reads 4n + 2 indices, so the list covers five layers of the eight the
// game may ask for.
constexpr UINT ZOOM_LAYERS_MAX = (std::size(ZOOM_FAN_INDICES) - 2) / 4;

constexpr std::int32_t GRID_PHASES[2][GRID_VERTEX_COUNT] = {
    {0,   120, 60,  360, 240, 180, 120, 60,  360, 240, 180, 0,   0,   180, 240, 360, 60,  120,
     180, 240, 360, 60,  120, 0,   0,   120, 60,  360, 240, 180, 120, 60,  360, 240, 180, 0},
    {360, 240, 180, 0,   120, 60,  360, 240, 180, 0, 120, 60, 60,  120, 0,   180, 240, 360,
     60,  120, 0,   180, 240, 360, 360, 240, 180, 0, 120, 60, 360, 240, 180, 0,   120, 60},
};

constexpr const char* TEXT_VERTEX_BUFFER = "Failed to create vertex buffer.\r\nVRAM may be insufficient.";
constexpr const char* TEXT_INDEX_BUFFER = "Failed to create index buffer.\r\nVRAM may be insufficient.";
constexpr const char* TEXT_BACK_BUFFER = "Failed to get backbuffer.";
constexpr const char* TEXT_DEPTH_BUFFER = "Failed to get Z buffer.";
constexpr const char* TEXT_DEPTH_TARGET =
    "Failed to create Z buffer rendering target.\r\nVRAM may be insufficient.";
constexpr const char* TEXT_RENDER_TEXTURE =
    "Failed to create render target texture.\r\nVRAM may be insufficient.";

// ---- Start-up ------------------------------------------------------------------------------------
bool create_batches()
{
    for (int i = 0; i < TRI_BATCH_COUNT; ++i) {
        TriangleBatch& batch = g_tri_batches[i];
        batch = {};
        batch.vertices.reset(new (std::nothrow) BatchVertex[BATCH_VERTEX_CAPACITIES[i]]);
        if (!batch.vertices) return false;
        batch.capacity = BATCH_VERTEX_CAPACITIES[i] / 3;
    }
    g_tri_batches[TRI_BATCH_SHADOW_DECALS].material = TRI_BATCH_DECAL_MATERIAL;
    g_tri_batches[TRI_BATCH_DECALS].material = TRI_BATCH_DECAL_MATERIAL;
    g_tri_batches[TRI_BATCH_UNLIT].material |= MAT_ADDITIVE;
    return true;
}

ScreenVertex screen_vertex(float x, float y, float u, float v)
{
    return {x, y, 0.0f, 1.0f, OPAQUE_WHITE, u, v};
}

void build_screen_quads()
{
    float w = static_cast<float>(g_screen_size.width), h = static_cast<float>(g_screen_size.height);
    float u = w / static_cast<float>(g_screen_texture_size.width);
    float v = h / static_cast<float>(g_screen_texture_size.height);
    const ScreenVertex quad[4] = {
        screen_vertex(-0.5f, -0.5f, 0.0f, 0.0f), screen_vertex(-0.5f, h - 0.5f, 0.0f, v),
        screen_vertex(w - 0.5f, -0.5f, u, 0.0f), screen_vertex(w - 0.5f, h - 0.5f, u, v)};
    for (ScreenVertex(&copy)[4] : g_screen_quads)
        std::copy(std::begin(quad), std::end(quad), copy);
}

// Three columns of five rows in one strip: down the first column, up the second, down the
// third. The nudged first vertices of the second and third columns keep the joins from
// collapsing onto the previous column's last edge.
void build_grid()
{
    float w = static_cast<float>(g_screen_size.width), h = static_cast<float>(g_screen_size.height);
    float column = (w - 0.5f) * 0.33334f, row = (h - 0.5f) * 0.2f;
    float du = 0.33334f * w / static_cast<float>(g_screen_texture_size.width);
    float dv = 0.2f * h / static_cast<float>(g_screen_texture_size.height);
    ScreenVertex* out = g_grid_distortion.vertices;
    auto put = [&](int c, int r, float y) {
        float x = c == 0 ? -0.5f : static_cast<float>(c) * column;
        *out++ = screen_vertex(x, y, static_cast<float>(c) * du, static_cast<float>(r) * dv);
    };
    for (int r = 0; r <= 5; ++r) {
        float y = r == 0 ? -0.5f : static_cast<float>(r) * row;
        put(0, r, y);
        put(1, r, y);
    }
    for (int r = 5; r >= 0; --r) {
        float y = static_cast<float>(r) * row;
        put(1, r, r == 5 ? y - 0.01f : y);
        put(2, r, y);
    }
    for (int r = 0; r <= 5; ++r) {
        float y = static_cast<float>(r) * row;
        put(2, r, r == 0 ? 0.01f : y);
        put(3, r, y);
    }
    std::copy(std::begin(g_grid_distortion.vertices), std::end(g_grid_distortion.vertices),
              g_grid_distortion.rest);
    std::memcpy(g_grid_distortion.phases, GRID_PHASES, sizeof GRID_PHASES);
}

// ---- Device objects -----------------------------------------------------------------------------
[[noreturn]] void raise_device_failure(const char* step, HRESULT result)
{
    char text[ERR_DETAIL_SIZE];
    int length = std::snprintf(text, sizeof text, "%s", step);
    std::size_t used = std::min<std::size_t>(static_cast<std::size_t>(std::max(length, 0)), sizeof text - 1);
    err_hresult_text(result, nullptr, text + used, sizeof text - used);
    err_raise(text, "renderer", RENDERER_LINE_DEVICE_OBJECTS);
}

void check(HRESULT result, const char* step)
{
    if (FAILED(result)) raise_device_failure(step, result);
}

// A failed call leaves no stale pointer for the release.
template <typename Object> void check_created(HRESULT result, Object*& object, const char* step)
{
    if (FAILED(result)) object = nullptr;
    check(result, step);
}

using IndexPattern = std::uint16_t (*)(UINT i);

void create_static_index_buffer(RendererIndexBuffer which, IndexPattern pattern)
{
    DynamicBuffer& buffer = g_renderer_ibs[which];
    UINT capacity = g_renderer_ib_capacities[which];
    check(renderer_create_index_buffer(buffer, capacity, false), TEXT_INDEX_BUFFER);
    BYTE* data = nullptr;
    check(buffer.indices->Lock(0, 0, &data, 0), TEXT_INDEX_BUFFER);
    auto* indices = reinterpret_cast<std::uint16_t*>(data);
    for (UINT i = 0; i < capacity; ++i)
        indices[i] = pattern(i);
    buffer.indices->Unlock();
}

void create_index_buffers()
{
    check(renderer_create_index_buffer(g_renderer_ibs[RIB_MESH], g_renderer_ib_capacities[RIB_MESH], true),
          TEXT_INDEX_BUFFER);
    create_static_index_buffer(RIB_SEQUENTIAL, [](UINT i) { return static_cast<std::uint16_t>(i); });
    create_static_index_buffer(RIB_QUADS, [](UINT i) {
        constexpr UINT corners[6] = {0, 1, 2, 2, 1, 3};
        return static_cast<std::uint16_t>(i / 6 * 4 + corners[i % 6]);
    });
    create_static_index_buffer(RIB_ZOOM_FAN, [](UINT i) {
        return i < std::size(ZOOM_FAN_INDICES) ? ZOOM_FAN_INDICES[i] : std::uint16_t{0};
    });
}

void create_render_texture(TextureSize size, D3DFORMAT format, IDirect3DTexture8*& texture,
                           IDirect3DSurface8*& surface)
{
    check_created(g_d3d_device->CreateTexture(size.width, size.height, 1, D3DUSAGE_RENDERTARGET, format,
                                              D3DPOOL_DEFAULT, &texture),
                  texture, TEXT_RENDER_TEXTURE);
    check_created(texture->GetSurfaceLevel(0, &surface), surface, TEXT_RENDER_TEXTURE);
}

template <typename Object> void release(Object*& object)
{
    if (object) object->Release();
    object = nullptr;
}

// ---- Passes ---------------------------------------------------------------------------------------
void draw_batch(const TriangleBatch& batch, DynamicBuffer& buffer)
{
    UINT triangles = std::min(batch.count, batch.capacity);
    if (triangles == 0) return;
    d3d_set_texture_cached(0, batch.texture);
    if (batch.material != g_current_material) renderer_set_material_state(batch.material);
    UINT start = 0;
    void* out = renderer_vb_lock_append(buffer, 3 * triangles, start);
    if (!out) return;
    std::memcpy(out, batch.vertices.get(), std::size_t{3} * triangles * sizeof(BatchVertex));
    renderer_buffer_unlock(buffer);
    d3d_draw_primitive(D3DPT_TRIANGLELIST, start, triangles);
}

// What the device holds now: the passes put these back when they are done.
DWORD current_render_state(D3DRENDERSTATETYPE state)
{
    DWORD value = 0;
    g_d3d_device->GetRenderState(state, &value);
    return value;
}

DWORD current_stage_state(DWORD stage, D3DTEXTURESTAGESTATETYPE type)
{
    DWORD value = 0;
    g_d3d_device->GetTextureStageState(stage, type, &value);
    return value;
}

constexpr D3DTEXTURESTAGESTATETYPE PASS_FILTERS[3] = {D3DTSS_MINFILTER, D3DTSS_MAGFILTER, D3DTSS_MIPFILTER};
constexpr DWORD PASS_FILTER_VALUES[3] = {D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_POINT};

struct PassStateSave {
    DWORD multisample;
    DWORD filters[3];
};

PassStateSave begin_screen_passes()
{
    d3d_set_texture_cached(1, nullptr);
    PassStateSave save{current_render_state(D3DRS_MULTISAMPLEANTIALIAS), {}};
    d3d_set_render_state_cached(D3DRS_MULTISAMPLEANTIALIAS, FALSE);
    for (int i = 0; i < 3; ++i) {
        save.filters[i] = current_stage_state(0, PASS_FILTERS[i]);
        d3d_set_stage_state_cached(0, PASS_FILTERS[i], PASS_FILTER_VALUES[i]);
    }
    return save;
}

void end_screen_passes(const PassStateSave& save)
{
    d3d_set_render_state_cached(D3DRS_MULTISAMPLEANTIALIAS, save.multisample);
    for (int i = 0; i < 3; ++i)
        d3d_set_stage_state_cached(0, PASS_FILTERS[i], save.filters[i]);
}

void set_screen_pass(MaterialFlags material, DWORD texture_factor)
{
    if (material != g_current_material) renderer_set_material_state(material);
    d3d_set_render_state_cached(D3DRS_TEXTUREFACTOR, texture_factor);
    d3d_set_texture_cached(0, g_renderer_surfaces.screen_texture);
}

void draw_strip(DynamicBuffer& buffer, const ScreenVertex* vertices, UINT count)
{
    UINT start = 0;
    if (!renderer_vb_upload(count, buffer, vertices, start)) return;
    d3d_draw_primitive(D3DPT_TRIANGLESTRIP, start, count - 2);
}

// Layer k scales the screen corners by 1 + k step about the centre; all layers fan out from one
// centre vertex.
void draw_zoom(DynamicBuffer& buffer)
{
    const FrameEffects& fx = g_frame_effects;
    set_screen_pass(MATERIAL_ZOOM, renderer_alpha_factor(fx.zoom_alpha));
    UINT layers = std::min(fx.zoom_layers, ZOOM_LAYERS_MAX);
    const D3DXVECTOR2& centre = fx.zoom_centre;
    ScreenVertex fan[1 + 4 * ZOOM_LAYERS_MAX];
    fan[0] = {centre.x,
              centre.y,
              0.0f,
              1.0f,
              ZOOM_CENTRE_COLOR,
              centre.x / static_cast<float>(g_screen_texture_size.width),
              centre.y / static_cast<float>(g_screen_texture_size.height)};
    for (UINT k = 1; k <= layers; ++k) {
        float scale = 1.0f + static_cast<float>(k) * fx.zoom_step;
        for (UINT corner = 0; corner < 4; ++corner) {
            ScreenVertex v = g_screen_quads[SCREEN_QUAD_ZOOM][corner];
            v.x = centre.x + (v.x - centre.x) * scale;
            v.y = centre.y + (v.y - centre.y) * scale;
            fan[4 * (k - 1) + 1 + corner] = v;
        }
    }
    UINT count = 4 * layers + 1;
    UINT start = 0;
    if (!renderer_vb_upload(count, buffer, fan, start)) return;
    g_d3d_device->SetIndices(g_renderer_ibs[RIB_ZOOM_FAN].indices, start);
    g_d3d_device->DrawIndexedPrimitive(D3DPT_TRIANGLEFAN, 0, count, 0, 4 * layers);
}

void draw_grid(DynamicBuffer& buffer)
{
    set_screen_pass(MATERIAL_SCREEN_BLEND, renderer_alpha_factor(g_frame_effects.grid_alpha));
    UINT start = 0;
    if (!renderer_vb_upload(GRID_VERTEX_COUNT, buffer, g_grid_distortion.vertices, start)) return;
    d3d_draw_primitive(D3DPT_TRIANGLESTRIP, start, GRID_TRIANGLES);
    g_frame_effects.grid_drawn = true;
}

} // namespace

// ---- Start-up and shutdown ------------------------------------------------------------------------
HRESULT Renderer::Initialize(std::span<const RenderQueueRowDef, RQ_ROW_COUNT> rows)
{
    if (!rq_create_rows(rows) || !create_batches()) return E_OUTOFMEMORY;
    renderer_update_screen_scale();
    renderer_update_viewport_transform();
    build_screen_quads();
    build_grid();
    g_frame_effects.zoom_centre = D3DXVECTOR2(static_cast<float>(g_screen_size.width) / 2.0f - 0.5f,
                                              static_cast<float>(g_screen_size.height) / 2.0f - 0.5f);
    return S_OK;
}

void renderer_shutdown()
{
    for (TriangleBatch& batch : g_tri_batches)
        batch = {};
    rq_free_rows();
}

HRESULT renderer_init_step(SysInitContext& context)
{
    if (!context.params.render_queue_rows) return E_INVALIDARG;
    HRESULT result = Renderer::Initialize(
        std::span<const RenderQueueRowDef, RQ_ROW_COUNT>(context.params.render_queue_rows, RQ_ROW_COUNT));
    if (FAILED(result)) return result;
    renderer_reset_transforms();
    return S_OK;
}

void renderer_create_device_objects()
{
    for (int i = 0; i < RVB_COUNT; ++i)
        check(renderer_create_vertex_buffer(g_renderer_vbs[i], g_renderer_vb_layouts[i]), TEXT_VERTEX_BUFFER);
    create_index_buffers();

    RendererSurfaces& s = g_renderer_surfaces;
    check_created(g_d3d_device->GetBackBuffer(0, D3DBACKBUFFER_TYPE_MONO, &s.back_buffer), s.back_buffer,
                  TEXT_BACK_BUFFER);
    check_created(g_d3d_device->GetDepthStencilSurface(&s.depth_buffer), s.depth_buffer, TEXT_DEPTH_BUFFER);

    TextureSize full = g_screen_texture_size;
    TextureSize half = {full.width / 2, full.height / 2};
    D3DFORMAT depth_format = g_device_settings.present.AutoDepthStencilFormat;
    check_created(g_d3d_device->CreateDepthStencilSurface(full.width, full.height, depth_format,
                                                          D3DMULTISAMPLE_NONE, &s.screen_depth),
                  s.screen_depth, TEXT_DEPTH_TARGET);
    check_created(g_d3d_device->CreateDepthStencilSurface(half.width, half.height, depth_format,
                                                          D3DMULTISAMPLE_NONE, &s.prepass_depth),
                  s.prepass_depth, TEXT_DEPTH_TARGET);

    D3DSURFACE_DESC back_buffer;
    s.back_buffer->GetDesc(&back_buffer);
    create_render_texture(full, back_buffer.Format, s.screen_texture, s.screen_surface);
    create_render_texture(half, back_buffer.Format, s.prepass_texture, s.prepass_surface);
}

void renderer_release_device_objects()
{
    for (DynamicBuffer& buffer : g_renderer_vbs)
        renderer_release_buffer(buffer);
    for (DynamicBuffer& buffer : g_renderer_ibs)
        renderer_release_buffer(buffer);
    renderer_reset_frame_state();
    RendererSurfaces& s = g_renderer_surfaces;
    release(s.screen_surface);
    release(s.prepass_surface);
    release(s.screen_depth);
    release(s.prepass_depth);
    release(s.back_buffer);
    release(s.depth_buffer);
    release(s.screen_texture);
    release(s.prepass_texture);
}

// ---- The frame ------------------------------------------------------------------------------------
void renderer_reset_frame_state()
{
    rq_clear_rows();
    for (TriangleBatch& batch : g_tri_batches)
        batch.count = 0;
    FrameEffects& fx = g_frame_effects;
    fx.prepass_active = fx.prepass_request;
    fx.cover_mode = 0.0f;
    g_rq_serial = RQ_SERIAL_START;
    g_render_target = RT_BACK_BUFFER;
    fx.shadow_lighting = false;
    fx.cover_quad_bits = 0;
    fx.cover_model_bits = COVER_MODEL_BITS;
    for (PointLight& light : fx.point_lights)
        light.params[0] = light.params[1] = 0.0f;
}

void renderer_begin_frame(DWORD clear_flags)
{
    renderer_select_target(g_frame_effects.screen_texture_mode ? RT_SCREEN_TEXTURE : RT_BACK_BUFFER);
    d3d_clear_black(clear_flags);
}

void renderer_select_target(RenderTargetId target)
{
    const RendererSurfaces& s = g_renderer_surfaces;
    g_render_target = target;
    switch (target) {
    case RT_BACK_BUFFER:
        g_d3d_device->SetRenderTarget(s.back_buffer, s.depth_buffer);
        g_d3d_device->SetViewport(&g_camera_state.viewport);
        break;
    case RT_SCREEN_TEXTURE: {
        // The frame covers the texture's top-left back-buffer-sized corner.
        const D3DVIEWPORT8 viewport = {
            0,    0,   static_cast<DWORD>(g_screen_size.width), static_cast<DWORD>(g_screen_size.height),
            0.0f, 1.0f};
        g_d3d_device->SetRenderTarget(s.screen_surface, s.screen_depth);
        g_d3d_device->SetViewport(&viewport);
        break;
    }
    case RT_PREPASS:
        g_d3d_device->SetRenderTarget(s.prepass_surface, s.prepass_depth);
        break;
    }
}

void renderer_restore_target()
{
    renderer_select_target(g_render_target);
}

void renderer_draw_frame()
{
    bool frame_in_screen_texture = g_frame_effects.screen_texture_mode;
    if (g_frame_effects.prepass_active) renderer_draw_prepass();
    for (int row = 0; row < RQ_ROW_COUNT; ++row) {
        rq_draw_row(row, false);
        if (row == RQ_ROW_WORLD_BATCHES) renderer_draw_triangle_batches();
        if (row == RQ_ROW_SCREEN_PASSES) renderer_draw_screen_passes(frame_in_screen_texture);
    }
    g_frame_effects.screen_texture_mode = false;
    g_frame_effects.prepass_request = false;
}

void renderer_draw_prepass()
{
    RenderTargetId frame_target = g_render_target;
    renderer_select_target(RT_PREPASS);
    g_d3d_device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    // With a multisample setting of 1 the material states leave multisampling off.
    std::uint32_t& multisample = g_device_settings.settings.multisample_type;
    std::uint32_t saved_multisample = multisample;
    multisample = 1;
    for (int row = 0; row <= RQ_ROW_PREPASS_LAST && g_frame_effects.prepass_active; ++row) {
        rq_draw_row(row, true);
        if (row == RQ_ROW_WORLD_BATCHES && g_frame_effects.prepass_active) renderer_draw_triangle_batches();
    }
    multisample = saved_multisample;
    g_render_target = frame_target;
    renderer_restore_target();
}

void renderer_draw_triangle_batches()
{
    if (g_renderer_before_batches) g_renderer_before_batches();
    renderer_select_batch_shader(true);
    DynamicBuffer& buffer = g_renderer_vbs[RVB_BATCH];
    d3d_set_stream_source_cached(0, buffer.vertices, buffer.stride);
    for (int i = 0; i < TRI_BATCH_COUNT; ++i) {
        if (i == TRI_BATCH_UNLIT) renderer_select_batch_shader(false);
        draw_batch(g_tri_batches[i], buffer);
    }
    if (g_renderer_after_batches) g_renderer_after_batches();
}

void renderer_draw_screen_passes(bool frame_in_screen_texture)
{
    PassStateSave save = begin_screen_passes();
    DynamicBuffer& buffer = renderer_use_vb_rhw_tex();
    const FrameEffects& fx = g_frame_effects;
    if (frame_in_screen_texture) {
        renderer_select_target(RT_BACK_BUFFER);
        set_screen_pass(MATERIAL_SCREEN_COPY, OPAQUE_WHITE);
        draw_strip(buffer, g_screen_quads[SCREEN_QUAD_COPY], 4);
    }
    if (fx.afterimage_alpha != 0.0f) {
        set_screen_pass(MATERIAL_SCREEN_BLEND, renderer_alpha_factor(fx.afterimage_alpha));
        draw_strip(buffer, g_screen_quads[SCREEN_QUAD_COPY], 4);
    }
    if (fx.zoom_alpha != 0.0f && fx.zoom_layers != 0) draw_zoom(buffer);
    if (fx.grid_enable && fx.grid_alpha != 0.0f) draw_grid(buffer);
    end_screen_passes(save);
}

DWORD renderer_alpha_factor(float alpha)
{
    if (alpha >= 1.0f) return 0xFFFFFFFF;
    DWORD byte = alpha > 0.0f ? static_cast<DWORD>(std::floor(alpha * 256.0f)) : 0;
    return byte << 24 | 0xFFFFFF;
}

void renderer_set_identity_world_constants(const D3DXMATRIX& view_proj_t, const D3DXMATRIX& proj_t)
{
    if (g_frame_effects.cover_mode != 0.0f) {
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        g_d3d_device->SetVertexShaderConstant(VSC_WORLD, &identity, 4);
    }
    g_d3d_device->SetVertexShaderConstant(VSC_WORLD_VIEW, &g_camera_state.view_t, 4);
    g_d3d_device->SetVertexShaderConstant(VSC_WORLD_VIEW_PROJ, &view_proj_t, 4);
    g_d3d_device->SetVertexShaderConstant(VSC_PROJECTION, &proj_t, 4);
}

// ---- 2-D and lighting -----------------------------------------------------------------------------
void renderer_update_screen_scale()
{
    const D3DPRESENT_PARAMETERS& present = g_device_settings.present;
    UINT width = present.BackBufferWidth, height = present.BackBufferHeight;
    float w = static_cast<float>(width), h = static_cast<float>(height);
    g_screen_scale = {w / 640.0f, h / 480.0f, 640.0f / w, 480.0f / h, !(width == 640 && height == 480)};
    g_screen_size = {static_cast<std::int32_t>(width), static_cast<std::int32_t>(height),
                     static_cast<std::int32_t>(width / 2), static_cast<std::int32_t>(height / 2)};
    g_screen_texture_size = {std::bit_ceil(width), std::bit_ceil(height)};
}

void renderer_scale_point_2d(D3DXVECTOR2& point)
{
    if (!g_screen_scale.stretched) return;
    point.x = std::floor((point.x + 0.5f) * g_screen_scale.sx) - 0.5f;
    point.y = std::floor((point.y + 0.5f) * g_screen_scale.sy) - 0.5f;
}

void renderer_scale_2d(void* vertices, std::size_t stride, std::size_t count)
{
    if (!g_screen_scale.stretched) return;
    auto* bytes = static_cast<std::byte*>(vertices);
    for (std::size_t i = 0; i < count; ++i, bytes += stride) {
        float xy[2];
        std::memcpy(xy, bytes, sizeof xy);
        xy[0] *= g_screen_scale.sx;
        xy[1] *= g_screen_scale.sy;
        std::memcpy(bytes, xy, sizeof xy);
    }
}

void renderer_reset_light_defaults()
{
    g_scene_lighting = g_scene_lighting_defaults;
}

void renderer_color_from_argb(std::uint32_t argb, float out[4])
{
    constexpr float scale = 1.0f / 255.0f;
    out[0] = static_cast<float>((argb >> 16) & 0xFF) * scale;
    out[1] = static_cast<float>((argb >> 8) & 0xFF) * scale;
    out[2] = static_cast<float>(argb & 0xFF) * scale;
    out[3] = static_cast<float>(argb >> 24) * scale;
}
