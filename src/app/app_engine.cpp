#include "app/app_engine.h"

#include "app/app_settings.h"
#include "app/app_window.h"
#include "lowlv/audio/audio_dsound.h"
#include "lowlv/audio/audio_mgr.h"

namespace {

constexpr std::uint32_t k_resource_reserve[2] = {1024, 256};

HRESULT init_client_origin(SysInitContext& context)
{
    input_update_client_origin(context.params.window);
    return S_OK;
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

// The engine's subsystems in the order they come up; a module joins this list when it exists.
const SysInitStep k_engine_steps[] = {
    {0, nullptr, sys_init_window},
    {0, nullptr, init_client_origin},
    {0, nullptr, sys_init_priority},
    {0, nullptr, sys_init_affinity},
    {0, SYS_TEXT_ARCHIVE, sys_init_archive},
    {0, SYS_TEXT_ARCHIVE_OVERLAY, sys_init_archive_overlay},
    {0, nullptr, init_sound_wanted},
    {SUBSYS_DSOUND, "failed: Subsys DSound::Initialize", init_dsound},
    {SUBSYS_AUDIOMGR, "failed: Subsys AudioMgr::Initialize", init_audio_manager},
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
    sys_release_work_block();
    timer_end_period();
}

HRESULT app_init_engine(IniFile& ini, char* text, std::size_t text_size)
{
    EngineParams params{};
    params.subsystems = APP_ENGINE_SUBSYSTEMS;
    app_read_engine_settings(ini, g_hwnd, params);
    params.resource_reserve = k_resource_reserve;
    params.archive_folder = APP_ARCHIVE_FOLDER;
    return sys_initialize(params, text, text_size);
}
