#include "game/g_tick.h"

#include "core/maths.h"
#include "core/timer.h"
#include "game/g_fade.h"
#include "game/g_game_flags.h"
#include "game/g_gameover.h"
#include "game/g_hud.h"
#include "game/g_play_state.h"
#include "game/g_play_status.h"
#include "game/g_pointer.h"
#include "game/g_rules.h"
#include "game/g_scene.h"
#include "game/g_screen_fx.h"
#include "gfx/g_ripple.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/renderer_frame.h"
#include "lowlv/input/input_state.h"
#include "object/actor/go_actor.h"
#include "object/go_mesh.h"
#include "object/go_script.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnd.h"
#include "object/wnd/go_wnddialog.h"
#include "scenegraph/renderer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <utility>

std::uint8_t g_draw_frame = 0;
std::uint8_t g_whole_tick = 0;
std::uint8_t g_tick_active = 0;
std::uint8_t g_paused = 0;
std::uint8_t g_ai_paused = 0;
float g_hud_alpha = 0.0f;
std::uint32_t g_hud_color = 0;

namespace {

constexpr std::int32_t k_stage_end_ticks = 180; // after the battle, before the stage ends
constexpr std::int32_t k_time_attack_finished = 2;
constexpr float k_hud_fade_rate = 0.1f;
constexpr std::int32_t k_dialog_slots = 2; // the dialog pool's capacity: ranking them is one swap

GoBase* entry(const MemPoolDesc& pool, std::int32_t index)
{
    return static_cast<GoBase*>(pool.active[index]);
}

// An object's first update comes with the step after its creation, NEW cleared just before.
void update_if_clear(GoBase& object)
{
    object.flags &= ~GO_FLAG_NEW;
    if (object.flags == 0) object.Update();
}

// Actors and dialogs run dead or alive: they play out their own ends.
void update_always(GoBase& object)
{
    object.flags &= ~GO_FLAG_NEW;
    object.Update();
}

// The count is read once, so objects made during the walk wait for the next step. A pool of one
// object is the same walk over its one entry.
void walk(const MemPoolDesc& pool)
{
    const std::int32_t count = pool.count;
    for (std::int32_t i = 0; i < count; ++i)
        update_if_clear(*entry(pool, i));
}

void walk_actors()
{
    const std::int32_t count = g_pool_actor.count;
    for (std::int32_t i = 0; i < count; ++i) {
        GoBase* actor = entry(g_pool_actor, i);
        if (actor != g_camera_focus) update_always(*actor);
    }
}

// The dialog opened most recently comes first; of two opened on the same millisecond, the one
// earlier in the list. The age is shifted in 64 bits: in 32 it would wrap after 4.7 hours.
std::uint64_t dialog_focus_key(DWORD now_ms, DWORD opened_ms, std::int32_t index)
{
    const std::uint64_t age =
        static_cast<std::uint64_t>(std::llabs(static_cast<std::int32_t>(now_ms - opened_ms)));
    return (age << 8) + static_cast<std::uint64_t>(index);
}

// Every dialog runs, the focused one first; the focus byte is written before each update.
void walk_dialogs()
{
    struct Ranked {
        std::uint64_t key;
        GoWndDialog* dialog;
    };
    std::array<Ranked, k_dialog_slots> ranked;
    const std::int32_t count = std::min(g_pool_wnddialog.count, k_dialog_slots);
    const DWORD now_ms = timer_frame_ms();
    for (std::int32_t i = 0; i < count; ++i) {
        auto* dialog = static_cast<GoWndDialog*>(g_pool_wnddialog.active[i]);
        if ((dialog->flags & (GO_FLAG_NEW | GO_FLAG_DEAD)) == GO_FLAG_NEW) dialog->flags &= ~GO_FLAG_NEW;
        ranked[i] = {dialog_focus_key(now_ms, dialog->show_time, i), dialog};
    }
    if (count == k_dialog_slots && ranked[1].key < ranked[0].key) std::swap(ranked[0], ranked[1]);
    for (std::int32_t i = 0; i < count; ++i) {
        ranked[i].dialog->focus = i == 0;
        ranked[i].dialog->Update();
    }
}

void walk_windows()
{
    walk(g_pool_wndzzz);
    walk_dialogs();
    walk(g_pool_wndtext);
    walk(g_pool_wndmain2);
    walk(g_pool_wndshop2);
    walk(g_pool_wnddemo);
}

void walk_bosses()
{
    walk(g_pool_boss1);
    walk(g_pool_boss2);
    walk(g_pool_boss3);
    walk(g_pool_boss4);
    walk(g_pool_boss5);
    walk(g_pool_boss7);
    walk(g_pool_boss8);
}

void walk_small_visuals()
{
    walk(g_pool_locus_sword);
    walk(g_pool_popup);
    walk(g_pool_emotion);
    walk(g_pool_effect);
    walk(g_pool_particle);
    ripple_update();
}

void move_meshes()
{
    const std::int32_t count = g_pool_mesh.count;
    for (std::int32_t i = 0; i < count; ++i)
        game_step_mesh_move(*static_cast<GoMesh*>(g_pool_mesh.active[i]));
}

void set_pause_flags()
{
    g_paused = g_ai_paused = g_menu_open != 0;
    if (g_event_lock_count[EVENT_LOCK_EVENT_NO_AI] > 0) g_ai_paused = 1;
}

void set_draw_flags()
{
    g_draw_frame = g_tick_index == 1;
    g_tick_active = g_draw_frame || g_whole_tick;
    g_frame_effects.prepass_request = g_play_state.prepass_request != 0;
}

void end_time_attack_stage()
{
    g_play_state.game_flags[GF_TIME_ATTACK] = 1;
    timeattack_stage_end();
    g_timeattack_after_ticks = 0;
}

// The stage clock runs while the boss battle does and the player stands; once the battle is
// over, the stage ends 180 ticks later.
void step_time_attack_clocks(std::int32_t* flags)
{
    const bool finished = flags[GF_TIME_ATTACK] == k_time_attack_finished;
    if (flags[GF_BATTLE] == 0) {
        if (g_timeattack_stage_ticks != 0 && ++g_timeattack_after_ticks > k_stage_end_ticks)
            end_time_attack_stage();
    } else if (flags[GF_TA_CLOCK_STARTED] == 0) {
        flags[GF_TA_CLOCK_STARTED] = 1;
    } else if (g_play_state.status.hp >= 1.0f) {
        ++g_timeattack_stage_ticks;
        ++g_timeattack_total_ticks;
    }
    if (finished && g_timeattack_after_ticks > k_stage_end_ticks) end_time_attack_stage();
}

void step_play_clock()
{
    if (g_paused || !g_whole_tick) return;
    std::int32_t* flags = g_play_state.game_flags;
    ++flags[GF_PLAY_FRAMES];
    if (flags[GF_TIME_ATTACK] != 0) step_time_attack_clocks(flags);
}

void begin_drawing()
{
    g_d3d_device->BeginScene();
    renderer_reset_frame_state();
}

void begin_renderer_frame()
{
    // The world covers the whole screen; only the title and demo screens clear the target too.
    const DWORD clear = g_play_state.title_demo ? D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER : D3DCLEAR_ZBUFFER;
    renderer_begin_frame(clear);
    g_frame_effects.prepass_request = g_play_state.prepass_request != 0;
}

void update_hud_gauges()
{
    for (int gauge = 0; gauge < HUD_GAUGE_COUNT; ++gauge)
        if (hud_gauge_active(gauge)) hud_gauge_update(gauge);
}

void step_hud_fade()
{
    const float target = g_play_state.game_flags[GF_HUD_SHOWN] == 0 ? 0.0f : 1.0f - g_play_state.hud_hide;
    math_approach(g_hud_alpha, target, k_hud_fade_rate * g_frame_step);
    g_hud_color = renderer_alpha_factor(g_hud_alpha);
}

void light_the_scene()
{
    if (g_play_state.dark_scene) game_step_lamp();
    game_step_clouds();
    game_apply_scene_light();
}

// A mesh's translation row is its position.
void move_mesh_toward_target(GoMesh& mesh)
{
    if (mesh.arrival_distance == 0.0f) {
        mesh.velocity = D3DXVECTOR3(0.0f, 0.0f, 0.0f);
        return;
    }
    D3DXVECTOR3 position(mesh.world._41, mesh.world._42, mesh.world._43);
    const D3DXVECTOR3 to_target = mesh.move_target - position;
    const float distance_sq = D3DXVec3LengthSq(&to_target);
    if (distance_sq <= mesh.arrival_distance) {
        // Arrived within the distance: it stays where it is, short of the target.
        mesh.arrival_distance = 0.0f;
    } else {
        mesh.velocity = to_target * (mesh.move_speed / std::sqrt(distance_sq));
        position += mesh.velocity * g_frame_step;
        mesh.world._41 = position.x;
        mesh.world._42 = position.y;
        mesh.world._43 = position.z;
    }
    mesh.UpdateWorldMatrix();
}

void spin_mesh(GoMesh& mesh)
{
    if (mesh.spin_speeds == D3DXVECTOR3(0.0f, 0.0f, 0.0f)) return;
    mesh.spin_angles += mesh.spin_speeds * (MATH_DEGREE * g_frame_step);
    D3DXMATRIX scaling, turn;
    D3DXMatrixScaling(&scaling, mesh.scale.x, mesh.scale.y, mesh.scale.z);
    D3DXMatrixRotationYawPitchRoll(&turn, mesh.spin_angles.y, mesh.spin_angles.x, mesh.spin_angles.z);
    mesh.rotation = scaling * turn;
    mesh.UpdateWorldMatrix();
}

} // namespace

void game_run_tick()
{
    InputRecord& current = g_input_ring.records[g_input_ring.current];
    const InputRecord kept = current;
    game_tick();
    fade_update();
    current = kept;
}

void game_tick()
{
    set_pause_flags();
    set_draw_flags();
    if (g_draw_frame) begin_drawing();
    step_play_clock();
    walk(g_pool_script);
    if (!g_paused) game_step_screen_effects();
    if (g_draw_frame) begin_renderer_frame();
    game_step_wind();
    hud_update_mouse_cursor();
    play_update_status();
    if (!g_paused && g_whole_tick) update_hud_gauges();
    walk_windows();

    // The camp menu and the shop hide the world while they are open.
    const std::uint8_t draw_frame = g_draw_frame;
    if (g_menu_open & (MENU_OPEN_CAMP | MENU_OPEN_SHOP)) g_draw_frame = 0;
    step_hud_fade();

    // A frozen world waits for the scene change; what is drawn over it runs on.
    const std::uint8_t paused = g_paused;
    const std::uint8_t ai_paused = g_ai_paused;
    if (g_world_frozen) g_paused = g_ai_paused = 1;
    move_meshes();
    if (g_camera_focus) update_always(*g_camera_focus);
    if (g_draw_frame) light_the_scene();
    walk_actors();
    walk(g_pool_xx);
    walk_bosses();
    renderer_set_frame_constants();
    walk(g_pool_mesh);
    walk(g_pool_skybox);
    g_paused = paused;
    g_ai_paused = ai_paused;
    walk_small_visuals();
    g_draw_frame = draw_frame;
    if (g_draw_frame) hud_queue_overlays();
}

void game_step_mesh_move(GoMesh& mesh)
{
    if (g_paused) return;
    move_mesh_toward_target(mesh);
    spin_mesh(mesh);
}
