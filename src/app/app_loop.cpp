#include "app/app_loop.h"

#include "app/app_engine.h"
#include "app/app_settings.h"
#include "app/app_window.h"
#include "core/timer.h"
#include "game/g_fade.h"
#include "game/g_game.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_pointer.h"
#include "game/g_rules.h"
#include "game/g_tick.h"
#include "gfx/g_gfx.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/input/input_poll.h"
#include "lowlv/input/input_state.h"
#include "object/go_script.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wndmain2.h"
#include "platform/steam_api.h"
#include "platform/win_kernel.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_queue.h"
#include "scenegraph/resrc_mgr.h"

std::uint32_t g_frame_counter = 0;
float g_tick_accum = 0.0f;

namespace {

// Removes and dispatches every pending message; false on the quit message.
bool pump_messages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return false;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return true;
}

// The stats' "Showoff" window closes once the play time is more than a second past its start.
void close_showoff_window()
{
    std::int32_t* flags = g_play_state.game_flags;
    if (flags[GF_SHOWOFF_COUNT] <= 0) return;
    const std::int64_t play_ms = std::int64_t{flags[GF_PLAY_FRAMES]} * 1000 / 60;
    if (play_ms - flags[GF_SHOWOFF_START] <= 1000) return;
    flags[GF_SHOWOFF_COUNT] = 0;
    flags[GF_SHOWOFF_START] = 0;
}

// The menu key opens the camp menu where the player walks free; over the camp menu, the shop or
// the title it is their cancel. A time attack, a battle, an event or a fade leave it as it is.
void apply_menu_key()
{
    InputRecord& input = g_input_ring.records[g_input_ring.current];
    if (!(input.pressed & INPUT_MENU)) return;
    const std::int32_t* flags = g_play_state.game_flags;
    if (flags[GF_TIME_ATTACK] != 0 || flags[GF_BATTLE] != 0 || script_event_running() || g_fade.value != 0.0f)
        return;
    if (g_pool_wndmain2.count == 0 && g_pool_wndshop2.count == 0 && g_pool_wnddemo.count == 0) {
        game_toggle_main_menu(MAIN2_MODE_CAMP);
        return;
    }
    input.pressed = (input.pressed & ~INPUT_MENU) | INPUT_CANCEL;
}

void run_steps()
{
    bool first_whole_tick = true;
    while (timer_next_tick()) {
        g_whole_tick = 0;
        g_tick_accum += g_frame_step;
        if (g_tick_accum >= 1.0f) {
            g_tick_accum -= 1.0f;
            g_whole_tick = 1;
        }
        if (g_whole_tick) {
            // A press counts once per frame, however many whole ticks the frame holds.
            if (first_whole_tick) {
                input_poll();
                apply_menu_key();
            } else {
                app_clear_pressed_input();
            }
            first_whole_tick = false;
        }
        game_run_tick();
        close_showoff_window();
        SteamAPI_RunCallbacks();
        if (g_draw_frame) {
            renderer_draw_frame();
            obj_sweep_dead();
            g_d3d_device->EndScene();
            app_present();
            ++g_fps_frames;
        }
    }
}

} // namespace

int app_message_loop()
{
    while (app_run_pass()) {
    }
    return 0;
}

bool app_run_pass()
{
    if (!pump_messages()) {
        g_app_active = 0;
        return false;
    }
    if (!g_app_active) {
        WaitMessage();
    } else if (g_app_request & APP_REQUEST_RESET) {
        g_app_request &= ~APP_REQUEST_RESET;
        app_reset_device();
    } else if (FAILED(app_run_frame())) {
        return false;
    }
    return true;
}

HRESULT app_run_frame()
{
    if (g_d3d_reset_pending) {
        app_reset_device();
        return S_OK;
    }
    HRESULT hr = g_d3d_device->TestCooperativeLevel();
    if (hr == D3DERR_DEVICELOST) return S_OK;
    if (hr == D3DERR_DEVICENOTRESET) {
        app_reset_device();
        return S_OK;
    }
    if (FAILED(hr)) return hr;
    game_scene_step();
    if (timer_frame()) input_reset();
    if ((g_frame_counter & 0xF) == 0) SleepEx(g_device_settings.settings.wait_vsync ? 1 : 0, TRUE);
    ++g_frame_counter;
    run_steps();
    return S_OK;
}

void app_release_device_objects()
{
    renderer_release_device_objects();
    ResrcMgr::ReleaseDeviceObjects();
}

void app_restore_device_objects()
{
    ResrcMgr::RestoreDeviceObjects();
    renderer_create_device_objects();
    gfx_restore_device_objects();
    fade_init_geometry();
}

void app_reset_device()
{
    if (!g_d3d_device) return;
    app_release_device_objects();
    g_requested_windowed = g_app_windowed != 0;
    if (FAILED(d3d_reset_device())) return; // retried on the next pass; nothing is drawn meanwhile
    timer_set_refresh_step(g_app_windowed != 0);
    app_note_back_buffer();
    input_refresh_swap_buttons();
    app_restore_device_objects();
    renderer_update_screen_scale();
    hud_update_screen_scale();
}

HRESULT app_present()
{
    return g_d3d_device->Present(nullptr, nullptr, nullptr, nullptr);
}
