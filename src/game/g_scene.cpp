#include "game/g_scene.h"

#include "core/text.h"
#include "core/timer.h"
#include "game/g_game.h"
#include "game/g_gameover.h"
#include "game/g_hud.h"
#include "game/g_leaderboards.h"
#include "game/g_play_state.h"
#include "game/g_region.h"
#include "game/g_rules.h"
#include "game/g_scene_internal.h"
#include "game/g_scn_data.h"
#include "gfx/ani_dat.h"
#include "lowlv/audio/audio_mgr.h"
#include "object/wnd/go_wnddialog.h"
#include "platform/steam_api.h"
#include "scenegraph/renderer_camera.h"
#include "scenegraph/resrc_mgr.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

std::uint8_t g_time_attack_mode = 0;
std::uint8_t g_no_fall = 0;
std::uint8_t g_scene_change_busy = 0;
std::int32_t g_scene_override = -1;
std::uint8_t g_scene_fade_in = 0;

std::int32_t g_timeattack_stage_ticks;
std::int32_t g_timeattack_total_ticks;
std::int32_t g_timeattack_after_ticks;

namespace {

// Scenes whose leaderboards are not looked up.
constexpr std::int32_t k_sceneless_boards[] = {1, 5, 7, 41};

struct StageBoss {
    std::int32_t scene_id;
    const char* name;
};
constexpr StageBoss k_stage_bosses[] = {
    {67, "Brisanne"},      {69, "Pomrel 1"},
    {83, "Quenhallo"},     {108, "Oswinde 1"},
    {128, "Fesker"},       {130, "Tormol"},
    {142, "Bexwan"},       {159, "Ormundy"},
    {174, "Death Wyvorn"}, {188, "Drummet Ozz Brennakolt"},
    {196, "Kelmathe"},     {206, "Oswinde 2"},
    {213, "Pomrel 2"},     {226, "Vestrel"},
    {229, "Morthane"},
};
constexpr const char* k_unknown_name = "Unknown";
constexpr const char* k_difficulty_names[SCENE_DIFFICULTY_COUNT] = {"Normal", "Hard", "Nightmare"};

// By difficulty level.
constexpr float k_enemy_damage_factors[SCENE_DIFFICULTY_COUNT] = {1.0f, 1.5f, 2.0f};

// Very Easy allows the quick save in these scenes.
constexpr const char* k_quick_save_scenes[] = {
    "s_25\\s_2502\\", "s_25\\s_2509\\", "s_25\\s_2510\\", "s_31\\s_3101\\", "s_31\\s_3106\\",
    "s_50\\s_5005\\", "s_50\\s_5105\\", "s_50\\s_5010\\", "s_50\\s_5110\\", "s_53\\s_5301\\",
    "s_53\\s_5302\\", "s_54\\s_5401\\", "s_54\\s_5402\\", "s_54\\s_5403\\", "s_54\\s_5404\\",
    "s_61\\s_6101\\", "s_61\\s_6105\\", "s_61\\s_6106\\",
};

constexpr const char* k_tag_continue = "continue";
constexpr const char* k_tag_load = "load";
constexpr const char* k_tag_timeattack_init = "timeattack_init";

constexpr std::uint32_t k_scene_tint = 0x30FF9000;
constexpr float k_sky_scroll_speeds[2] = {0.0005f, 0.00015f};
constexpr int k_gf_transition_cleared = 290;

// Round to nearest, every exception masked, denormals kept: the state the scene's arithmetic was
// tuned under. The x87 precision and infinity settings have no counterpart here.
void fpu_set_scene_mode()
{
#if defined(__SSE__) || defined(__x86_64__)
    _mm_setcsr(0x1F80);
#endif
}

const char* difficulty_name(std::int32_t level)
{
    return level >= 0 && level < SCENE_DIFFICULTY_COUNT ? k_difficulty_names[level] : k_unknown_name;
}

const char* stage_boss_name(std::int32_t scene_id)
{
    for (const StageBoss& boss : k_stage_bosses)
        if (boss.scene_id == scene_id) return boss.name;
    return k_unknown_name;
}

const char* story_mode_name()
{
    const std::int32_t* flags = g_play_state.game_flags;
    if (flags[GF_VERY_EASY]) return "Very Easy";
    if (flags[GF_EASY]) return "Easy";
    if (flags[GF_INFERNO]) return "Inferno";
    return difficulty_name(flags[GF_DIFFICULTY]);
}

void find_leaderboards(std::int32_t scene_id)
{
    if (!g_leaderboards || std::ranges::find(k_sceneless_boards, scene_id) != std::end(k_sceneless_boards))
        return;
    const char* difficulty = difficulty_name(g_play_state.game_flags[GF_DIFFICULTY]);
    char name[k_cchLeaderboardNameMax];
    if (g_time_attack_mode == 1) {
        std::snprintf(name, sizeof name, "%s - %s", "Boss Rush", difficulty);
        g_leaderboards->FindBossRushBoard(name);
        std::snprintf(name, sizeof name, "%s - %s - %s", "Time Attack", difficulty,
                      stage_boss_name(scene_id));
    } else {
        std::snprintf(name, sizeof name, "%s - %s", "Story Mode", story_mode_name());
    }
    g_leaderboards->FindStageBoard(name);
}

// ---- Transition ---------------------------------------------------------------------------------
void restore_retry_snapshot()
{
    PlayState& ps = g_play_state;
    const std::int32_t kept = ps.game_flags[GF_BOSS_DEATHS];
    play_restore_retry_snapshot();
    ps.game_flags[GF_BOSS_DEATHS] = kept;
    ps.continue_counter = 0.0f;
    ++ps.game_flags[GF_RETRY_COUNT];
    std::copy(std::begin(ps.saved_position), std::end(ps.saved_position), ps.arrival.position);
    ps.arrival.facing = ps.saved_facing;
    ps.arrival.entry_value = ps.game_flags[GF_ENTRY_VALUE];
    // The snapshot carries the tag of its own time; the player arrives where it was saved.
    sys_copy_string(ps.arrival.tag, k_tag_continue, sizeof ps.arrival.tag);
}

// Returns whether a new retry snapshot is due at the end of the transition.
bool apply_arrival_tag()
{
    PlayState& ps = g_play_state;
    const char* tag = ps.arrival.tag;
    if (sys_names_equal(tag, k_tag_continue)) {
        restore_retry_snapshot();
        return false;
    }
    ps.game_flags[GF_RETRY_COUNT] = 0;
    if (sys_names_equal(tag, k_tag_timeattack_init)) g_timeattack_stage_ticks = g_timeattack_total_ticks = 0;
    if (!sys_names_equal(tag, k_tag_load)) return false;
    audio_stop_groups(false);
    return true;
}

void set_quick_save_flag()
{
    PlayState& ps = g_play_state;
    ps.game_flags[GF_QUICK_SAVE_OK] = 0;
    if (ps.game_flags[GF_VERY_EASY] <= 0) return;
    const SceneEntry& scene = scn_data_scene(ps.requested_scene_id);
    for (const char* path : k_quick_save_scenes)
        if (sys_names_equal(scene.path, path)) ps.game_flags[GF_QUICK_SAVE_OK] = 1;
}

void reset_scene_values()
{
    PlayState& ps = g_play_state;
    ps.water_mode = 0;
    ps.shake_ticks = 0;
    ps.effect_time = 0.0f;
    ps.lamp_intensity = 0.0f;
    ps.sky_scroll_on = 0;
    ps.scene_word_432 = 0;
    ps.screen_tint = k_scene_tint;
    ps.screen_texture = ps.screen_texture_request = ps.wind_on = ps.dark_scene = ps.countdown = 0;
    ps.prepass_request = 0;
    ps.sky_scroll[0] = ps.sky_scroll[1] = 0.0f;
    ps.sky_scroll_speed[0] = k_sky_scroll_speeds[0];
    ps.sky_scroll_speed[1] = k_sky_scroll_speeds[1];
    ps.enemy_damage_factor = k_enemy_damage_factors[scene_difficulty_index()];
    ps.game_flags[GF_AI_FROZEN] = 0;
    ps.game_flags[k_gf_transition_cleared] = 0;
}

void advance_scene_ids()
{
    PlayState& ps = g_play_state;
    ps.previous_scene_id = ps.scene_id;
    ps.scene_id = ps.requested_scene_id;
    ps.requested_scene_id = 0;
    g_scene_change_busy = 0;
    ps.title_demo = 0;
}

} // namespace

std::int32_t scene_difficulty_index()
{
    return std::clamp(g_play_state.game_flags[GF_DIFFICULTY], 0, SCENE_DIFFICULTY_COUNT - 1);
}

HRESULT scene_request_change(std::int32_t scene_id, bool force)
{
    PlayState& ps = g_play_state;
    if (scene_id < 1 || scene_id >= static_cast<std::int32_t>(g_scene_list.size())) return E_FAIL;
    if (ISteamUserStats* stats = SteamUserStats()) stats->StoreStats();
    if (!force && ps.requested_scene_id != 0) return E_FAIL;
    find_leaderboards(scene_id);
    g_scene_pending |= SCENE_PENDING_CLEAR | SCENE_PENDING_ENTER;
    ps.requested_scene_id = scene_id;
    g_scene_change_busy = 1;
    ps.arrival.tag[0] = '\0';
    return 0;
}

HRESULT scene_transition()
{
    PlayState& ps = g_play_state;
    const bool store_snapshot = apply_arrival_tag();
    if (g_world_frozen) audio_stop_groups(false);
    set_quick_save_flag();
    reset_scene_values();
    advance_scene_ids();
    renderer_update_camera();
    regions_reset_for_scene();
    g_last_dialog_label[0] = '\0';
    ani_dat_release_script_sets();
    ani_dat_clear_used_marks();
    hud_gauges_release();
    fpu_set_scene_mode();
    timer_frame();
    const HRESULT hr = scene_enter();
    ani_dat_release_unmarked_images();
    ResrcMgr::PurgeCached();
    fpu_set_scene_mode();
    ps.previous_scene_id = 0;
    ps.arrival = {};
    g_scene_fade_in = 1;
    if (store_snapshot) save_store_snapshot();
    return hr;
}
