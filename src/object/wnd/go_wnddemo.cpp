#include "object/wnd/go_wnddemo.h"

#include "core/file.h"
#include "core/sys.h"
#include "core/text.h"
#include "game/g_achievements.h"
#include "game/g_fade.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "game/g_settings.h"
#include "lowlv/audio/audio_mgr.h"
#include "object/obj_pools.h"
#include "platform/win_file.h"
#include "scenegraph/resrc_mgr.h"
#include "scenegraph/texture.h"

#include <string>

std::uint8_t g_title_demo_active;
std::uint8_t g_title_page;
std::uint8_t g_title_view_only;
std::uint8_t g_title_records_shown;
std::uint8_t g_title_leaderboard_shown;
float g_title_records_alpha;
float g_title_leaderboard_alpha;

namespace {

constexpr const char* k_first_map_scene = "s_11\\s_1112\\";
constexpr const char* k_white_fade_scene = "s_00\\s_0000\\";
constexpr const char* k_title_picture = "data\\image\\title_000.dds";
constexpr const char* k_title_map = "data\\map\\s_00\\s_0000\\s_0000.qmo"; // a loose file on disk
constexpr const char* k_extra_difficulties_marker = "Release\\data.no";
constexpr std::uint32_t k_picture_mip_levels = 1;
constexpr std::uint32_t k_white = 0xFFFFFF;
constexpr std::uint32_t k_black = 0;
constexpr std::uint8_t k_main_row_time_attack = 2;
constexpr std::int32_t k_music_fade_ms = 1500;

// The marker is looked for beside the program, wherever the game was started from.
bool extra_difficulties_offered()
{
    char program[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const char* last = sys_find_last_char(program, '\\');
    if (!last) return false;
    const std::string marker_path =
        std::string(program, static_cast<std::size_t>(last + 1 - program)) + k_extra_difficulties_marker;
    File marker;
    return SUCCEEDED(marker.OpenRead(marker_path.c_str(), 0));
}

// Back from a time attack the arena list opens again, time attack still chosen and no story
// variant left over.
void restore_title_page()
{
    if (g_title_page != TITLE_PAGE_ARENA_AGAIN) {
        g_title_page = TITLE_PAGE_MAIN;
        return;
    }
    g_title_view_only = 0;
    g_title_easy = 0;
    g_title_very_easy = 0;
    g_title_leaderboard_shown = 1;
    g_title_cursor_index = k_main_row_time_attack;
    g_time_attack_mode = 1;
    std::int32_t* flags = g_play_state.game_flags;
    flags[GF_EASY] = flags[GF_VERY_EASY] = flags[GF_INFERNO] = 0;
    g_title_page = TITLE_PAGE_ARENA;
}

// The screen covers from `from`, and the scene is entered as a new arrival once it has.
void fade_to_scene(float from, std::int32_t scene_id)
{
    g_fade.value = from;
    g_fade.target = 1.0f;
    g_fade.pending_scene = scene_id;
    g_fade.arrival = {};
}

// The mesh of the title's scenery at the origin; none when the mesh pool is full.
ObjHandle<GoMesh> create_title_map()
{
    GoMesh* mesh = obj_create<GoMesh>(g_pool_mesh);
    if (!mesh) return {};
    const D3DXVECTOR3 origin(0.0f, 0.0f, 0.0f);
    mesh->Load(k_title_map, origin, origin, D3DXVECTOR3(1.0f, 1.0f, 1.0f), 0, 0, 0, nullptr, nullptr,
               nullptr);
    return ObjHandle<GoMesh>(mesh);
}

} // namespace

GoWndDemo::GoWndDemo() : GoBase(go_next_object_id(GO_CLASS_WNDDEMO), GO_CLASS_WNDDEMO)
{
    g_play_state.title_demo = 1;
    g_title_demo_active = 1;
    audio_stop_groups(true);
    g_title_records_alpha = g_title_leaderboard_alpha = 0.0f;
    g_title_records_shown = g_title_leaderboard_shown = 0;
}

GoWndDemo::~GoWndDemo()
{
    if (title_picture) ResrcMgr::Release(RESRC_POOL_TEXTURE, title_picture);
    title_picture = nullptr;
    if (GoMesh* mesh = title_map.get()) go_kill(*mesh);
    g_title_demo_active = 0;
}

void GoWndDemo::InitTitle()
{
    mode = WNDDEMO_TITLE;
    SetNextScene(k_first_map_scene);
    title_picture = tex_load_by_name(k_title_picture, k_picture_mip_levels, D3DFMT_R5G6B5, 0, nullptr);
    restore_title_page();
    extra_difficulties = extra_difficulties_offered() ? 1 : 0;
    sys_trim_memory();
    title_map = create_title_map();
}

// No movie can be played here, so the window hands over at once: the screen stays covered and
// the next scene follows on the fade's next step.
void GoWndDemo::InitDemo(const char* next_path, std::int32_t movie_index)
{
    mode = WNDDEMO_MOVIE;
    movie = movie_index;
    SetNextScene(next_path);
    fade_to_scene(1.0f, next_scene);
    go_kill(*this);
}

void GoWndDemo::LeaveTitle()
{
    if (leaving) return;
    leaving = 1;
    const SceneEntry* white = scn_data_find_scene(k_white_fade_scene);
    if (white && white->number == next_scene) fade_set_colors(k_white, k_black);
    fade_to_scene(0.0f, next_scene);
}

void GoWndDemo::SetNextScene(const char* path)
{
    if (const SceneEntry* scene = scn_data_find_scene(path)) next_scene = scene->number;
}

// The window holds the title's state for its menus; a step has nothing of its own to do.
void GoWndDemo::Update() {}

void title_start_game()
{
    if (g_title_game_difficulty == 0 && g_title_easy && g_title_very_easy && !g_title_inferno)
        achv_unlock(ACHV_BRAM_THE_YELLOW);
    play_state_init();
    if (g_pool_wnddemo.count > 0) static_cast<GoWndDemo*>(g_pool_wnddemo.active[0])->LeaveTitle();
    audio_music_fade_out(k_music_fade_ms);
}
