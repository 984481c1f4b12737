// Scene entry: the title and demo windows or the scene's start scripts, the hero's arrival, and
// the scene's music, clip distances, reverb and image preloads.
#include "core/errors.h"
#include "core/text.h"
#include "game/g_fade.h"
#include "game/g_game.h"
#include "game/g_gameover.h"
#include "game/g_hud.h"
#include "game/g_play_state.h"
#include "game/g_play_status.h"
#include "game/g_scene.h"
#include "game/g_scene_internal.h"
#include "game/g_scn_data.h"
#include "game/g_settings.h"
#include "gfx/ani_dat.h"
#include "lowlv/audio/audio_dsound.h"
#include "lowlv/audio/audio_mgr.h"
#include "object/actor/go_actor.h"
#include "object/go_script.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddemo.h"
#include "platform/win_kernel.h"
#include "scenegraph/renderer_camera.h"

#include <algorithm>
#include <cfloat>
#include <iterator>
#include <numbers>

namespace {

struct DemoScene {
    const char* path;
    const char* next_path;
    std::int32_t movie;
};
constexpr DemoScene k_demo_scenes[] = {
    {"demo1\\", "s_10\\s_1010\\", 0}, {"demo2\\", "s_60\\s_6001\\", 1}, {"demo3\\", "s_60\\s_6001\\", 2},
    {"demo4\\", "s_10\\s_1005\\", 3}, {"demo5\\", "s_00\\s_0000\\", 4}, {"demo6\\", "title\\", 5},
};

constexpr float k_default_near = 1.0f;
constexpr float k_default_far = 500.0f;
constexpr std::int32_t k_level_cap = 2;
// Game flags of the scripts and the battles that every scene starts with cleared, besides the
// run from first to last.
constexpr int k_gf_entry_cleared[] = {
    GF_SEALED_FOES_OPEN, GF_LIVE_ENEMIES, 101, GF_BATTLE, 127, 155, 156, GF_TA_CLOCK_STARTED, 164,
    GF_HITS_LANDED};
constexpr int k_gf_entry_cleared_first = 131;
constexpr int k_gf_entry_cleared_last = 146;
constexpr std::int32_t k_chain_limit = 64; // start scripts naming further scenes in one entry
constexpr const char* k_source = "g_scene";
constexpr unsigned k_line_chain = 795;

// The player's image sets, preloaded so the scene change keeps them.
constexpr int k_player_images[] = {13, 14};
constexpr int k_equip_images[5] = {6, 7, 8, 9, 10};
constexpr int k_equip_extra_images[5] = {15, 16, 17, 11, 12};
constexpr std::int32_t k_item_count_caps[SCENE_DIFFICULTY_COUNT] = {9, 9, 9};

bool scene_path_is(const SceneEntry& scene, const char* path)
{
    return sys_names_equal(scene.path, path);
}

const DemoScene* find_demo_scene(const SceneEntry& scene)
{
    for (const DemoScene& demo : k_demo_scenes)
        if (scene_path_is(scene, demo.path)) return &demo;
    return nullptr;
}

// The scene's clip distances: set at entry, changed by its scripts.
float g_scene_near = k_default_near;
float g_scene_far = k_default_far;

void reset_entry_values(const SceneEntry& scene)
{
    PlayState& ps = g_play_state;
    ps.dark_scene = 0;
    ps.water_mode = 0;
    ps.reverb_index = scene.reverb;
    ps.reverb_size = 1.0f;
    ps.music_id = scene.music;
    ps.wind_phase = math_rand_float(1.0f) * 2.0f * std::numbers::pi_v<float>;
    ps.wind_offset = math_rand_float(1.0f) * 2.0f * std::numbers::pi_v<float>;
    ps.wind_on = 0;
    ps.prepass_request = 0;
    ps.lamp_intensity = 0.0f;
    ps.area_min_x = ps.area_min_z = -FLT_MAX;
    ps.area_max_x = ps.area_max_z = FLT_MAX;

    std::int32_t* flags = ps.game_flags;
    flags[GF_ENTRY_VALUE] = ps.arrival.entry_value;
    for (int i : k_gf_entry_cleared)
        flags[i] = 0;
    std::fill(flags + k_gf_entry_cleared_first, flags + k_gf_entry_cleared_last + 1, 0);
    flags[GF_HUD_SHOWN] = 1;
    // In time attack the power-ups never run out.
    if (flags[GF_TIME_ATTACK]) std::fill(std::begin(ps.powerup_ticks), std::end(ps.powerup_ticks), INT32_MAX);
    g_timeattack_stage_ticks = 0;
    for (CastInfo& cast : g_castinfo)
        cast.live_count = 0;

    g_scene_near = k_default_near;
    g_scene_far = k_default_far;
}

void open_demo_window(const DemoScene* demo)
{
    g_play_state.title_demo = 1;
    GoWndDemo* window = obj_create<GoWndDemo>(g_pool_wnddemo);
    if (!window) return;
    if (demo)
        window->InitDemo(demo->next_path, demo->movie);
    else
        window->InitTitle();
}

void run_start_script(const SceneEntry& scene)
{
    audio_stop_groups(false);
    char name[SCRIPT_NAME_SIZE];
    scene_script_path(scene.path, name, sizeof name);
    StartScript(name, false, 0, nullptr, false);
}

// Returns whether a start script ran (not the title or a demo).
bool open_scene()
{
    PlayState& ps = g_play_state;
    for (std::int32_t chained = 0;; ++chained) {
        const SceneEntry& scene = scn_data_scene(ps.scene_id);
        reset_entry_values(scene);
        const DemoScene* demo = find_demo_scene(scene);
        if (demo || scene_path_is(scene, GAME_TITLE_SCENE)) {
            open_demo_window(demo);
            return false;
        }
        run_start_script(scene);
        if (g_scene_override == -1) return true;
        if (chained == k_chain_limit)
            err_raise_code(E_FAIL, scn_data_scene(g_scene_override).path, k_source, k_line_chain);
        ps.scene_id = g_scene_override;
        g_scene_override = -1;
    }
}

// The No-Fall rescue puts the player back where it entered the scene.
void return_fallen_player()
{
    PlayState& ps = g_play_state;
    if (!g_player || g_no_fall != 2) return;
    g_no_fall = 0;
    const D3DXVECTOR3 saved(ps.saved_position[0], ps.saved_position[1], ps.saved_position[2]);
    actor_set_position(saved, *g_player, ps.saved_facing);
    std::fill(std::begin(ps.saved_position), std::end(ps.saved_position), 0.0f);
    ps.saved_facing = 0.0f;
}

void cap_progress()
{
    PlayState& ps = g_play_state;
    const std::int32_t cap = scene_item_count_cap();
    for (int i = GF_ITEM_COUNT; i < GF_ITEM_COUNT_END; ++i)
        ps.game_flags[i] = std::min(ps.game_flags[i], cap);
    for (std::int32_t& level : ps.equip_levels) {
        if (level <= k_level_cap) continue;
        level = k_level_cap;
        ps.recompute_bits |= PLAY_RECOMPUTE_NEW_GAME;
        play_update_status();
    }
}

// A player the start script made arrives with its gauges full at once.
void bind_player_gauges()
{
    const StatusBlock& status = g_player->status;
    hud_gauge_bind(g_player->object_id, HUD_GAUGE_HP, status.hp, status.max_hp);
    hud_gauge_bind(g_player->object_id, HUD_GAUGE_MP, status.mp, status.max_mp);
}

void settle_player()
{
    const PlayState& ps = g_play_state;
    if (ps.game_flags[GF_HUD_SHOWN] == 0) hud_hide_now();
    const bool made_by_script = g_player != nullptr;
    if (!g_player && !script_event_running()) {
        const D3DXVECTOR3 at(ps.arrival.position[0], ps.arrival.position[1], ps.arrival.position[2]);
        scene_create_player(at, ps.arrival.facing);
    }
    return_fallen_player();
    cap_progress();
    player_ailment_auras_attach();
    player_powerup_auras_attach();
    if (made_by_script) bind_player_gauges();
}

void apply_reverb()
{
    PlayState& ps = g_play_state;
    if (!g_reverb || !g_eax_listener.property_set) return;
    const EaxPreset preset{static_cast<std::uint32_t>(ps.reverb_index), ps.reverb_size};
    audio_eax_apply_preset(preset, g_eax_listener);
    ps.reverb_applied = ps.reverb_index;
}

void preload_player_images()
{
    if (scene_path_is(scn_data_scene(g_play_state.scene_id), GAME_FIRST_SCENE)) return;
    for (int number : k_player_images)
        ani_dat_get_images(number);
    const std::int32_t set = g_play_state.game_flags[GF_EQUIP_SET];
    if (set < 1 || set > 5) return;
    ani_dat_get_images(k_equip_images[set - 1]);
    ani_dat_get_images(k_equip_extra_images[set - 1]);
}

void scene_apply_clip()
{
    CameraState& camera = g_camera_state;
    camera.near_plane = g_scene_near;
    camera.far_plane = g_scene_far;
    camera.limit = g_scene_far - g_scene_near;
    camera.biased_near = g_scene_near + 0.005f;
    camera.biased_far = g_scene_far + 0.015f;
    renderer_update_camera();
}

} // namespace

std::int32_t scene_item_count_cap()
{
    return k_item_count_caps[scene_difficulty_index()];
}

void scene_set_clip(float near_plane, float far_plane)
{
    if (!(near_plane > 0.0f) || !(far_plane > near_plane)) return;
    g_scene_near = near_plane;
    g_scene_far = far_plane;
    scene_apply_clip();
}

HRESULT scene_enter()
{
    PlayState& ps = g_play_state;
    g_scene_override = -1;
    if (g_scene_fade_in) {
        fade_reset();
        g_fade.value = 1.0f;
        g_fade.target = 0.0f;
    }
    g_game_over = 0;
    g_world_frozen = 0;
    if (ps.status.hp < 1.0f) {
        ps.status.hp = ps.status.max_hp;
        ps.status.mp = ps.status.max_mp;
    }
    if (open_scene()) settle_player();
    if (ps.music_id != g_bgm_playing) Bgm_Play(ps.music_id, 1);
    SleepEx(1, TRUE);
    ps.recompute_bits |= PLAY_RECOMPUTE_ALL;
    play_update_status();
    scene_apply_clip();
    apply_reverb();
    preload_player_images();
    return 0;
}
