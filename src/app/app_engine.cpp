#include "app/app_engine.h"

#include "app/app_settings.h"
#include "app/app_window.h"
#include "core/timer.h"
#include "gfx/g_gfx.h"
#include "lowlv/audio/audio_dsound.h"
#include "lowlv/audio/audio_mgr.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_state.h"
#include "lowlv/input/input_device.h"
#include "lowlv/input/input_poll.h"
#include "scenegraph/coll_sweep.h"
#include "scenegraph/model.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_queue.h"
#include "scenegraph/resrc_mgr.h"
#include "scenegraph/text_glyph.h"

namespace {

HRESULT init_client_origin(SysInitContext& context)
{
    input_update_client_origin(context.params.window);
    return S_OK;
}

HRESULT init_d3d(SysInitContext& context)
{
    HRESULT hr = D3D::Initialize(*context.params.renderer_settings);
    if (SUCCEEDED(hr)) app_note_back_buffer();
    return hr;
}

// With music and effects both off the game runs without DirectSound at all.
HRESULT init_sound_wanted(SysInitContext& context)
{
    if (context.params.audio_settings->no_sound) context.subsystems &= ~(SUBSYS_DSOUND | SUBSYS_AUDIOMGR);
    return S_OK;
}

HRESULT init_dsound(SysInitContext& context)
{
    return DSound::Initialize(*context.params.audio_settings);
}

HRESULT init_audio_manager(SysInitContext& context)
{
    return AudioMgr::Initialize(*context.params.audio_settings, context.audio_thread_affinity);
}

HRESULT init_timer(SysInitContext& context)
{
    timer_init(context.params.frame_rate_max, context.params.frame_rate_min);
    timer_set_refresh_step(context.params.windowed != 0);
    return S_OK;
}

// Models are the resource manager's second pool.
HRESULT init_model_loader(SysInitContext&)
{
    model_register_loader();
    return S_OK;
}

// The renderer reaches the game's constant uploads around its triangle batches through hooks.
HRESULT init_renderer_hooks(SysInitContext&)
{
    gfx_install_renderer_hooks();
    return S_OK;
}

// The renderer's step goes on with the glyph cache, whose cells follow the back buffer.
HRESULT init_glyph_cache(SysInitContext&)
{
    glyph_cache_start(g_device_settings.present.BackBufferWidth, g_device_settings.present.BackBufferHeight);
    return S_OK;
}

// The engine's subsystems in the order they come up; a module joins this list when it exists.
const SysInitStep k_engine_steps[] = {
    {0, nullptr, sys_init_window},
    {0, nullptr, init_client_origin},
    {0, nullptr, sys_init_priority},
    {0, nullptr, sys_init_affinity},
    {0, SYS_TEXT_ARCHIVE, sys_init_archive},
    {0, SYS_TEXT_ARCHIVE_OVERLAY, sys_init_archive_overlay},
    {SUBSYS_D3D, "failed: Subsys D3D::Initialize", init_d3d},
    {SUBSYS_DINPUT, INPUT_TEXT_DINPUT, input_init_devices},
    {SUBSYS_INPUT_SETTINGS, "failed: Subsys OS version", input_init_settings},
    {0, nullptr, init_sound_wanted},
    {SUBSYS_DSOUND, "failed: Subsys DSound::Initialize", init_dsound},
    {SUBSYS_AUDIOMGR, "failed: Subsys AudioMgr::Initialize", init_audio_manager},
    {SUBSYS_RESRCMGR, RESRC_TEXT_INIT, resrc_init_subsystem},
    {SUBSYS_RESRCMGR, nullptr, init_model_loader},
    {SUBSYS_TIMER, nullptr, init_timer},
    {SUBSYS_RENDERER, SYS_TEXT_RENDERER, renderer_init_step},
    {SUBSYS_RENDERER, nullptr, init_renderer_hooks},
    {SUBSYS_RENDERER, nullptr, init_glyph_cache},
};

} // namespace

HRESULT sys_initialize(const EngineParams& params, char* text, std::size_t text_size)
{
    return sys_run_init_steps(params, k_engine_steps, text, text_size);
}

void sys_shutdown()
{
    audio_shutdown();
    DSound::Shutdown();
    glyph_cache_shutdown();
    renderer_shutdown();
    ResrcMgr::Shutdown();
    input_release_devices();
    g_current_material = MATERIAL_INVALID;
    D3D::Shutdown();
    sys_release_work_block();
    timer_end_period();
}

void timer_set_refresh_step(bool windowed)
{
    const UINT refresh = g_device_settings.present.FullScreen_RefreshRateInHz;
    g_fixed_step = !windowed && g_device_settings.settings.wait_vsync && refresh ? 60.0f / refresh : 0.0f;
}

void app_note_back_buffer()
{
    g_window_origin.back_buffer_width = static_cast<std::int32_t>(g_device_settings.present.BackBufferWidth);
    g_window_origin.back_buffer_height =
        static_cast<std::int32_t>(g_device_settings.present.BackBufferHeight);
    input_update_client_origin(g_hwnd);
}

HRESULT app_init_engine(IniFile& ini, char* text, std::size_t text_size)
{
    EngineParams params{};
    params.subsystems = APP_ENGINE_SUBSYSTEMS;
    app_read_engine_settings(ini, g_hwnd, params);
    params.resource_reserve = RESRC_RESERVE;
    params.render_queue_rows = RQ_GAME_ROWS;
    params.archive_folder = APP_ARCHIVE_FOLDER;
    HRESULT hr = sys_initialize(params, text, text_size);
    if (SUCCEEDED(hr)) coll_alloc_work();
    return hr;
}
