// The renderer's frame: its memory from start-up (the render-queue rows, the world-space triangle
// batches, the screen templates), its device objects after every device creation and reset (the
// dynamic buffers, the back buffer, the screen and pre-pass render targets with their depth
// buffers), choosing and clearing the frame target, the triangle batches after queue row 5, the
// full-screen passes after row 12 (screen-texture copy, afterimage, zoom layers, grid
// distortion), and the 2-D scaling from the 640x480 virtual screen to the back buffer.
// The frame's effects, lighting and camera records are in lowlv/d3d/renderer_frame.h.
#pragma once

#include "core/sys.h"
#include "lowlv/d3d/d3d_state.h"
#include "platform/d3d8.h"
#include "platform/d3dx8.h"
#include "scenegraph/renderer_queue.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

// ---- World-space triangle batches ----------------------------------------------------------------
constexpr int TRI_BATCH_COUNT = 11;
constexpr int TRI_BATCH_UNLIT = 9; // from this batch on the shader has no point lights
constexpr MaterialFlags TRI_BATCH_DECAL_MATERIAL = 0x20449; // batches 4 and 10 at start-up

// Position, diffuse, u, v: the triangle-batch buffer's layout.
struct BatchVertex {
    float x, y, z;
    D3DCOLOR diffuse;
    float u, v;
};
static_assert(sizeof(BatchVertex) == 24);

// Game code fills the batches each frame (ground shadows and decals); the frame start empties them.
struct TriangleBatch {
    std::unique_ptr<BatchVertex[]> vertices; // 3 per triangle
    std::uint32_t capacity;                  // triangles
    MaterialFlags material;
    std::uint32_t count; // triangles
    IDirect3DTexture8* texture;
};
extern TriangleBatch g_tri_batches[TRI_BATCH_COUNT];

// ---- Screen templates ------------------------------------------------------------------------------
// Pre-transformed: x, y, z 0, rhw 1, colour, u, v.
struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
static_assert(sizeof(ScreenVertex) == 28);

// The full-screen quad in strip order; one copy for the screen-texture copy and the afterimage,
// one as the zoom source. The screen fade reads it too.
constexpr int SCREEN_QUAD_COPY = 0;
constexpr int SCREEN_QUAD_ZOOM = 1;
extern ScreenVertex g_screen_quads[2][4];

// The fire blur: one triangle strip over the screen in three columns of five rows. The game tick
// moves the working vertices from the rest copy with the two phase tables (degrees).
constexpr int GRID_VERTEX_COUNT = 36;
constexpr UINT GRID_TRIANGLES = 34;
struct GridDistortion {
    ScreenVertex vertices[GRID_VERTEX_COUNT];
    ScreenVertex rest[GRID_VERTEX_COUNT];
    std::int32_t phases[2][GRID_VERTEX_COUNT];
};
extern GridDistortion g_grid_distortion;

// ---- Screen sizes and the 2-D scale ------------------------------------------------------------
struct ScreenScale {
    float sx, sy;         // back buffer / 640x480
    float inv_sx, inv_sy; // 640x480 / back buffer
    bool stretched;       // clear only at exactly 640x480
};
struct ScreenSize {
    std::int32_t width, height;
    std::int32_t half_width, half_height;
};
struct TextureSize {
    UINT width, height;
};
extern ScreenScale g_screen_scale;
extern ScreenSize g_screen_size;
extern TextureSize g_screen_texture_size; // the smallest powers of two holding the back buffer

// ---- Render targets -------------------------------------------------------------------------------
enum RenderTargetId { RT_BACK_BUFFER, RT_SCREEN_TEXTURE, RT_PREPASS };

// The device objects of the frame targets, recreated with the device.
struct RendererSurfaces {
    IDirect3DSurface8* back_buffer;
    IDirect3DSurface8* depth_buffer;
    IDirect3DTexture8* screen_texture; // the screen fade samples it too
    IDirect3DSurface8* screen_surface;
    IDirect3DSurface8* screen_depth;
    IDirect3DTexture8* prepass_texture; // half size; model drawing's stealth variants sample it
    IDirect3DSurface8* prepass_surface;
    IDirect3DSurface8* prepass_depth;
};
extern RendererSurfaces g_renderer_surfaces;
extern RenderTargetId g_render_target; // the identity of the frame's target

// ---- Start-up, shutdown and device objects ---------------------------------------------------
namespace Renderer {
// The queue rows from the table, the screen scale and sizes, the viewport matrix, the templates
// and the triangle batches. E_OUTOFMEMORY when an allocation fails.
HRESULT Initialize(std::span<const RenderQueueRowDef, RQ_ROW_COUNT> rows);
} // namespace Renderer
// Frees the batches and the rows; safe when never initialised.
void renderer_shutdown();

// Start-up step Renderer (SUBSYS_RENDERER): Renderer::Initialize from the parameters' row
// table, then the camera and transform defaults.
HRESULT renderer_init_step(SysInitContext& context);
inline constexpr const char* SYS_TEXT_RENDERER = "failed: Subsys Renderer::Initialize";

// Where a failed device object is reported from.
constexpr unsigned RENDERER_LINE_DEVICE_OBJECTS = 661;
// After device creation and every reset: the dynamic buffers, the index buffers, the back and
// depth buffers, the two depth surfaces and the two render-target textures. A failure throws
// RuntimeError with the step's text and the result's.
void renderer_create_device_objects();
// Before a reset and at shutdown; tolerates objects never made.
void renderer_release_device_objects();

// ---- The frame -----------------------------------------------------------------------------------
// Draws the whole queue, the pre-pass first when it is active, with the triangle batches after row
// 5 and the full-screen passes after row 12; then the screen-texture mode and the pre-pass request
// are cleared for the next frame.
void renderer_draw_frame();
// Rows 0 to 11 and the triangle batches into the pre-pass target, stopping as soon as
// g_frame_effects.prepass_active is cleared; the items stay for the main pass.
void renderer_draw_prepass();
// At the start of the frame's drawing and at scene reset: rows and batches emptied, the pre-pass
// active as requested, cover mode and the shadow-lighting mode off, the draw serial 273, the
// frame target the back buffer, the cover bits reset and the point lights cleared.
void renderer_reset_frame_state();
// Selects the frame target (the screen texture in screen-texture mode, else the back buffer) and
// clears it to opaque black, z 1, when the device is not lost.
void renderer_begin_frame(DWORD clear_flags);
// Makes `target` the render target with its depth buffer and viewport, and the frame's identity.
void renderer_select_target(RenderTargetId target);
// Selects the frame target again after drawing into another one.
void renderer_restore_target();

// After queue row 5 (main pass and pre-pass): the triangle batches between the biased and the
// normal camera constants.
void renderer_draw_triangle_batches();
// After queue row 12: the screen-texture copy when the frame was drawn into the screen texture,
// then the afterimage, zoom and grid passes that are on.
void renderer_draw_screen_passes(bool frame_in_screen_texture);
// The texture factor of an effect alpha: its byte in the top 8 bits over white, all ones at 1.
DWORD renderer_alpha_factor(float alpha);

// The game's two draw hooks around the world-space triangle batches, set at start-up: before them
// the identity world with the biased projection, after them the normal camera again. The renderer
// calls up into the game only through these and the callback items; an unset hook does nothing.
using RendererHook = void (*)();
extern RendererHook g_renderer_before_batches;
extern RendererHook g_renderer_after_batches;
// The vertex-shader registers of an identity world: the identity world itself in cover mode only,
// the camera's view, and the given view-projection and projection (all transposed).
void renderer_set_identity_world_constants(const D3DXMATRIX& view_proj_t, const D3DXMATRIX& proj_t);

// ---- 2-D and lighting -----------------------------------------------------------------------------
// The scale, its inverse, the stretched flag and the screen sizes from the back buffer.
void renderer_update_screen_scale();
// When stretched: x = floor((x + 0.5) sx) - 0.5, and y likewise.
void renderer_scale_point_2d(D3DXVECTOR2& point);
// When stretched: x *= sx and y *= sy of `count` vertices that start with x and y.
void renderer_scale_2d(void* vertices, std::size_t stride, std::size_t count);
void renderer_reset_light_defaults();
// An ARGB word as r, g, b, a floats in [0, 1], as the light and colour constants take them.
void renderer_color_from_argb(std::uint32_t argb, float out[4]);
