#include "game/g_fade.h"

#include "core/maths.h"
#include "core/timer.h"
#include "game/g_gameover.h"
#include "game/g_image_table.h"
#include "game/g_overlay.h"
#include "game/g_scene.h"
#include "game/g_tick.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_state.h"
#include "scenegraph/renderer.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>

FadeState g_fade;
std::uint32_t g_fade_layer = FADE_LAYER_BEHIND_HUD;

namespace {

constexpr float k_reset_rate = 0.05f;
constexpr std::uint32_t k_rgb_mask = 0x00FFFFFF;
constexpr std::uint32_t k_alpha_mask = 0xFF000000;
constexpr float k_alive_hp = 1.0f;

constexpr MaterialFlags k_fade_material = MAT_ALPHA_BLEND;

// The grey pass: stage 0 blends the screen copy halfway toward white, stage 1 takes the dot
// product with the factor's weights, which comes to about 0.30 R + 0.59 G + 0.11 B.
constexpr MaterialFlags k_grey_material = 2;
constexpr D3DCOLOR k_grey_diffuse = 0x80FFFFFF;
constexpr DWORD k_grey_weights = 0x00A6CA8D;

// Pre-transformed with two texture-coordinate sets.
struct GreyVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    D3DCOLOR specular;
    float u0, v0;
    float u1, v1;
};
static_assert(sizeof(GreyVertex) == 40);

struct StageSetting {
    DWORD stage;
    D3DTEXTURESTAGESTATETYPE type;
    DWORD value;
};
constexpr StageSetting k_grey_stages[] = {
    {0, D3DTSS_COLOROP, D3DTOP_BLENDDIFFUSEALPHA}, {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
    {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},          {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
    {0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR},          {1, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3},
    {1, D3DTSS_COLORARG1, D3DTA_CURRENT},          {1, D3DTSS_COLORARG2, D3DTA_TFACTOR},
    {1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},        {1, D3DTSS_ALPHAARG1, D3DTA_CURRENT},
    {2, D3DTSS_COLOROP, D3DTOP_DISABLE},           {2, D3DTSS_ALPHAOP, D3DTOP_DISABLE},
};
constexpr DWORD k_grey_last_stage = 2;

// A fade in front of everything but the frame counter, or behind the HUD.
constexpr std::uint32_t k_layer_keys[2] = {FADE_LAYER_BEHIND_HUD, FADE_LAYER_FRONT};

bool may_leave_scene()
{
    const bool alive = g_play_state.status.hp >= k_alive_hp && !g_game_over;
    return alive || g_world_frozen;
}

// A refused or dropped exit is forgotten all the same.
void request_pending_scene(FadeState& fade)
{
    if (may_leave_scene() && scene_request_change(fade.pending_scene, true) == S_OK)
        g_play_state.arrival = fade.arrival;
    fade.pending_scene = 0;
}

// Four vertices as two triangles; a failed lock skips the draw.
template <typename Vertex> void draw_quad(DynamicBuffer& buffer, const Vertex (&quad)[4])
{
    if (buffer.stride != sizeof(Vertex)) return;
    UINT start = 0;
    void* data = renderer_vb_lock_append(buffer, std::size(quad), start);
    if (!data) return;
    std::memcpy(data, quad, sizeof quad);
    renderer_buffer_unlock(buffer);
    d3d_draw_primitive(D3DPT_TRIANGLESTRIP, start, 2);
}

void draw_fade_quad(FadeState& fade, D3DCOLOR diffuse, D3DCOLOR specular)
{
    for (FadeVertex& vertex : fade.quad) {
        vertex.diffuse = diffuse;
        vertex.specular = specular;
    }
    if (k_fade_material != g_current_material) renderer_set_material_state(k_fade_material);
    d3d_set_texture_cached(0, nullptr);
    draw_quad(renderer_use_vb_rhw_color(), fade.quad);
}

void build_grey_quad(GreyVertex (&quad)[4])
{
    const ScreenVertex(&copy)[4] = g_screen_quads[SCREEN_QUAD_COPY];
    for (std::size_t i = 0; i < std::size(quad); ++i) {
        const ScreenVertex& from = copy[i];
        quad[i] = {from.x, from.y, from.z, from.rhw, k_grey_diffuse, 0, from.u, from.v, from.u, from.v};
    }
}

void draw_grey_pass()
{
    StageStateSave saved;
    renderer_save_stage_states(k_grey_last_stage, saved);
    if (k_grey_material != g_current_material) renderer_set_material_state(k_grey_material);
    d3d_set_texture_cached(0, g_renderer_surfaces.screen_texture);
    d3d_set_texture_cached(1, g_texture_handles[IMAGE_TABLE_WHITE]);
    d3d_set_render_state_cached(D3DRS_TEXTUREFACTOR, k_grey_weights);
    for (const StageSetting& setting : k_grey_stages)
        d3d_set_stage_state_cached(setting.stage, setting.type, setting.value);

    DynamicBuffer& buffer = g_renderer_vbs[RVB_SCREEN_TEX2];
    d3d_set_vertex_shader_cached(g_renderer_vb_layouts[RVB_SCREEN_TEX2].fvf);
    d3d_set_stream_source_cached(0, buffer.vertices, g_renderer_vb_layouts[RVB_SCREEN_TEX2].stride);
    GreyVertex quad[4];
    build_grey_quad(quad);
    draw_quad(buffer, quad);
    renderer_restore_stage_states(k_grey_last_stage, saved);
}

// ---- Commands -------------------------------------------------------------------------------
ScriptFlow fade_set(ScriptCall& call)
{
    g_fade.value = std::clamp(call.arg_float(0), 0.0f, 1.0f);
    return SCRIPT_NEXT;
}

ScriptFlow fade_to(ScriptCall& call)
{
    g_fade.target = std::clamp(call.arg_float(0), 0.0f, 1.0f);
    return SCRIPT_NEXT;
}

ScriptFlow fade_colors(ScriptCall& call)
{
    fade_set_colors(static_cast<std::uint32_t>(call.arg(0)), static_cast<std::uint32_t>(call.arg(1)));
    return SCRIPT_NEXT;
}

ScriptFlow fade_layer(ScriptCall& call)
{
    g_fade_layer = k_layer_keys[call.arg(0) != 0];
    return SCRIPT_NEXT;
}

// n 0 gives an endless rate, which reaches the target on the next step.
ScriptFlow fade_speed(ScriptCall& call)
{
    const std::uint32_t n = static_cast<std::uint32_t>(call.arg(0));
    g_fade.rate = n == 0 ? std::numeric_limits<float>::infinity() : 1.0f / static_cast<float>(n);
    return SCRIPT_NEXT;
}

constexpr ScriptCommandRow k_commands[] = {
    {70, fade_set}, {71, fade_to}, {72, fade_colors}, {73, fade_layer}, {74, fade_speed},
};

} // namespace

void fade_reset()
{
    g_fade = {};
    g_fade.value = 1.0f;
    g_fade.target = 0.0f;
    g_fade.rate = k_reset_rate;
    for (FadeVertex& vertex : g_fade.quad)
        vertex.rhw = 1.0f;
    g_fade_layer = FADE_LAYER_BEHIND_HUD;
    fade_init_geometry();
}

void fade_init_geometry()
{
    const float right = static_cast<float>(g_device_settings.present.BackBufferWidth) - 0.5f;
    const float bottom = static_cast<float>(g_device_settings.present.BackBufferHeight) - 0.5f;
    constexpr float left = -0.5f, top = -0.5f;
    const float corners[4][2] = {{left, top}, {right, top}, {left, bottom}, {right, bottom}};
    for (std::size_t i = 0; i < std::size(g_fade.quad); ++i) {
        g_fade.quad[i].x = corners[i][0];
        g_fade.quad[i].y = corners[i][1];
    }
}

void fade_set_colors(std::uint32_t color, std::uint32_t second_color)
{
    g_fade.color = color & k_rgb_mask;
    g_fade.second_color = second_color & k_rgb_mask;
}

void fade_update()
{
    FadeState& fade = g_fade;
    if (fade.value != fade.target)
        math_approach(fade.value, fade.target, fade.rate * g_frame_step);
    else if (fade.pending_scene != 0)
        request_pending_scene(fade);
    if (!g_draw_frame) return;
    if (g_play_state.screen_grey) hud_queue_layer(g_fade_layer + 1, fade_draw_overlay_cb, &fade);
    if (fade.value != 0.0f) hud_queue_layer(g_fade_layer, fade_draw_cb, &fade);
}

// The alpha byte is the value's: floor(value x 256), held to 0-255; a NaN value gives 0.
void fade_draw_cb(RenderQueueItem*, void* user)
{
    FadeState& fade = *static_cast<FadeState*>(user);
    const std::uint32_t alpha = renderer_alpha_factor(fade.value) & k_alpha_mask;
    draw_fade_quad(fade, fade.color | alpha, fade.second_color | alpha);
}

// The picture goes grey, then the play state's tint word covers it.
void fade_draw_overlay_cb(RenderQueueItem*, void* user)
{
    draw_grey_pass();
    draw_fade_quad(*static_cast<FadeState*>(user), g_play_state.screen_tint, 0);
}

bool script_fade_done()
{
    return g_fade.value == g_fade.target;
}

std::span<const ScriptCommandRow> fade_script_commands()
{
    return k_commands;
}
