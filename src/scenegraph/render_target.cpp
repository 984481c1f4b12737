#include "scenegraph/render_target.h"

#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/renderer_frame.h"
#include "scenegraph/model.h"
#include "scenegraph/renderer.h"

RenderTextureOptions g_render_texture_options;

namespace {

constexpr D3DFORMAT PREFERRED_FORMATS[] = {D3DFMT_A1R5G5B5, D3DFMT_R5G6B5, D3DFMT_A8R8G8B8};
constexpr D3DCOLOR CLEAR_TRANSPARENT = 0x00000000;
constexpr D3DCOLOR CLEAR_OPAQUE = 0xFF000000;
constexpr int DECAL_BATCHES[] = {4, 10};
constexpr std::uint32_t DRAW_FLAGS = 0x2; // plain shading: a silhouette needs no lighting

void choose_format(RenderTexture& record)
{
    for (D3DFORMAT format : PREFERRED_FORMATS)
        if (renderer_check_render_format(format)) {
            record.format = format;
            record.transparent_clear = true;
            return;
        }
    record.format = g_device_settings.present.BackBufferFormat;
    record.transparent_clear = false;
}

// Transparent shadows need the decals to drop their empty texels.
void set_decal_alpha_test(bool on)
{
    for (int batch : DECAL_BATCHES) {
        MaterialFlags& word = g_tri_batches[batch].material;
        word = on ? (word | MAT_ALPHA_TEST) : (word & ~MAT_ALPHA_TEST);
    }
}

void set_camera(const D3DXMATRIX& view, const D3DXMATRIX& projection)
{
    CameraState& camera = g_camera_state;
    camera.view = view;
    camera.proj = projection;
    D3DXMatrixMultiply(&camera.view_proj, &view, &projection);
    D3DXMatrixTranspose(&camera.view_t, &camera.view);
    D3DXMatrixTranspose(&camera.proj_t, &camera.proj);
    D3DXMatrixTranspose(&camera.view_proj_t, &camera.view_proj);
    g_d3d_device->SetVertexShaderConstant(VSC_PROJECTION, &camera.proj_t, 4);
}

} // namespace

bool renderer_check_render_format(D3DFORMAT format)
{
    const DeviceSettings& device = g_device_settings;
    auto type = device.settings.device_type == 1 ? D3DDEVTYPE_REF : D3DDEVTYPE_HAL;
    return g_d3d &&
           SUCCEEDED(g_d3d->CheckDeviceFormat(device.settings.adapter, type, device.present.BackBufferFormat,
                                              D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, format));
}

HRESULT renderer_create_render_texture(RenderTexture& record, UINT width, UINT height, float ortho_width,
                                       float ortho_height, float near_plane, float far_plane)
{
    record.texture = nullptr;
    record.surface = nullptr;
    if (!g_render_texture_options.render_shadow) return E_FAIL;
    choose_format(record);
    set_decal_alpha_test(record.transparent_clear);
    if (g_render_texture_options.low_reso_shadow) {
        width /= 2;
        height /= 2;
    }
    HRESULT hr = g_d3d_device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, record.format,
                                             D3DPOOL_DEFAULT, &record.texture);
    if (SUCCEEDED(hr)) hr = record.texture->GetSurfaceLevel(0, &record.surface);
    if (FAILED(hr)) {
        renderer_release_render_texture(record);
        return hr;
    }
    D3DXMatrixOrthoLH(&record.projection, ortho_width, ortho_height, near_plane, far_plane);
    return hr;
}

HRESULT renderer_set_render_texture(const RenderTexture& record)
{
    if (!record.surface) return E_FAIL;
    HRESULT hr = g_d3d_device->SetRenderTarget(record.surface, nullptr);
    if (FAILED(hr)) return hr;
    return g_d3d_device->Clear(0, nullptr, D3DCLEAR_TARGET,
                               record.transparent_clear ? CLEAR_TRANSPARENT : CLEAR_OPAQUE, 1.0f, 0);
}

void renderer_release_render_texture(RenderTexture& record)
{
    if (record.surface) record.surface->Release();
    if (record.texture) record.texture->Release();
    record.surface = nullptr;
    record.texture = nullptr;
}

void renderer_draw_model_with_view(const D3DXVECTOR3& position, const D3DXMATRIX& projection,
                                   const ModelInstance& instance, float distance)
{
    if (!instance.model || instance.model->nodes.empty()) return;
    const D3DXMATRIX saved_view = g_camera_state.view;
    const D3DXMATRIX saved_proj = g_camera_state.proj;
    const D3DXVECTOR3 eye(position.x, position.y - distance, position.z);
    const D3DXVECTOR3 up(0.0f, 0.0f, -1.0f);
    D3DXMATRIX view;
    D3DXMatrixLookAtLH(&view, &eye, &position, &up);
    set_camera(view, projection);
    Model& model = *instance.model;
    model_draw_node_tree(model, &model.nodes.front(), DRAW_FLAGS);
    model_draw_end(model);
    set_camera(saved_view, saved_proj);
}
