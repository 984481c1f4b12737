// Render textures: a model drawn into a texture of its own, seen from below, which bosses and a
// few objects then lay on the ground as a projected shadow. Made only with the "RenderShadow"
// option, at half size with "LowResoShadow". The textures live in the default pool: their owners
// release them before a device reset and create them again after it.
#pragma once

#include "platform/d3d8.h"
#include "platform/d3dx8.h"

struct ModelInstance;

struct RenderTexture {
    D3DXMATRIX projection; // orthographic
    IDirect3DTexture8* texture;
    IDirect3DSurface8* surface; // level 0
    D3DFORMAT format;
    bool transparent_clear; // one of the preferred formats: cleared to transparent black
};

// The two game options, set by the program from its settings before any render texture is made.
struct RenderTextureOptions {
    bool render_shadow;   // "RenderShadow"
    bool low_reso_shadow; // "LowResoShadow"
};
extern RenderTextureOptions g_render_texture_options;

// E_FAIL with "RenderShadow" off; else the texture (halved with "LowResoShadow") in the first
// renderable of A1R5G5B5, R5G6B5 and A8R8G8B8, else the back-buffer format, its surface and
// the projection. Also the alpha test of the decal triangle batches follows the clear kind. A
// Direct3D failure is returned with nothing kept.
HRESULT renderer_create_render_texture(RenderTexture& record, UINT width, UINT height, float ortho_width,
                                       float ortho_height, float near_plane, float far_plane);
// Whether the device renders into textures of the format with the current back buffer.
bool renderer_check_render_format(D3DFORMAT format);
// Makes the record's surface the target (no depth buffer) and clears it; E_FAIL without one.
HRESULT renderer_set_render_texture(const RenderTexture& record);
// Releases the surface and the texture; harmless on a record without them.
void renderer_release_render_texture(RenderTexture& record);
// Draws the instance's model into the current target as seen from `distance` below `position`
// with the projection, then puts the camera back. The caller selects the frame target again
// with renderer_restore_target.
void renderer_draw_model_with_view(const D3DXVECTOR3& position, const D3DXMATRIX& projection,
                                   const ModelInstance& instance, float distance);
