#include "game/g_game.h"

#include "core/errors.h"
#include "core/timer.h"
#include "game/g_fade.h"
#include "game/g_image_table.h"
#include "game/g_play_state.h"
#include "game/g_region.h"
#include "game/g_rules.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "game/g_settings.h"
#include "game/g_sound.h"
#include "game/g_ta.h"
#include "game/g_tf.h"
#include "gfx/ani_dat.h"
#include "gfx/eft_new.h"
#include "gfx/g_gfx.h"
#include "gfx/text_bitmap.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/go_script.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "scenegraph/renderer.h"
#include "scenegraph/resrc_mgr.h"

std::uint32_t g_scene_pending = 0;
std::int32_t g_title_scene = 0;
std::int32_t g_first_scene = 0;
HFONT g_game_font = nullptr;
TextSurface g_game_text_surface;

namespace {

constexpr std::int32_t k_font_height = 20;
constexpr std::int32_t k_virtual_height = 480;
constexpr std::int32_t k_text_surface_width = 512;
constexpr std::int32_t k_text_surface_height = 30;
constexpr DWORD k_font_pitch_and_family = VARIABLE_PITCH | FF_MODERN;
constexpr const char* k_font_resource = "Release\\im02.fot";
constexpr const char* k_font_file = "im02.dt";
constexpr const char* k_font_folder = "Release\\";
constexpr const char* k_embedded_face = "Tarvolen";
constexpr const char* k_fallback_face = "MS PGothic";

// A new game's cloud layer: the scale of the cover texture over the world and its fourth value.
constexpr float k_cover_scale = 0.0125f;
constexpr float k_cover_w = 0.4f;

std::int32_t find_scene(const char* path)
{
    const SceneEntry* scene = scn_data_find_scene(path);
    if (!scene) err_raise_code(ERR_OBJECT_NOT_FOUND, path, ERR_HERE);
    return scene->number;
}

std::int32_t game_font_height()
{
    if (!g_high_reso_text) return k_font_height;
    return static_cast<std::int32_t>(g_device_settings.present.BackBufferHeight) * k_font_height /
           k_virtual_height;
}

// The game's own face when its font file could be added, else the system's Japanese face.
void create_game_font()
{
    const std::int32_t height = game_font_height();
    CreateScalableFontResourceA(0, k_font_resource, k_font_file, k_font_folder);
    const bool embedded = AddFontResourceA(k_font_resource) > 0;
    g_game_font = CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_TT_PRECIS,
                              embedded ? CLIP_EMBEDDED : CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                              k_font_pitch_and_family, embedded ? k_embedded_face : k_fallback_face);
    text_create_surface(g_high_reso_text != 0, k_text_surface_width, g_game_text_surface, g_game_font,
                        k_text_surface_height);
}

void clear_world()
{
    obj_destroy_all();
    renderer_reset_frame_state();
    g_play_state.sky_scroll[0] = g_play_state.sky_scroll[1] = 0.0f;
    FrameEffects& fx = g_frame_effects;
    fx.cover_scroll[0] = fx.cover_scroll[1] = 0.0f;
    fx.cover_mode = k_cover_scale;
    fx.cover_w = k_cover_w;
    renderer_reset_light_defaults();
    play_scene_lighting() = g_scene_lighting;
    g_menu_open = 0;
    g_skip_step = 1;
}

bool back_buffer_32bit()
{
    const D3DFORMAT format = g_device_settings.present.BackBufferFormat;
    return format == D3DFMT_X8R8G8B8 || format == D3DFMT_A8R8G8B8;
}

} // namespace

void game_init()
{
    script_install_commands();
    scn_data_load_tables();
    scn_data_load_scene_list();
    sound_load_bgm_table();
    sound_load_effect_table();
    sound_preload();
    g_title_scene = find_scene(GAME_TITLE_SCENE);
    ta_read_records();
    ta_read_records2();
    regions_alloc();
    play_state_init();
    g_first_scene = find_scene(GAME_FIRST_SCENE);
    fade_reset();
    hud_name_item_icons(back_buffer_32bit());
    eft_load_textures();
    hud_load_textures();
    eft_load_meshes();
    eft_load_list();
    text_build_large_font();
    text_build_small_font();
    create_game_font();
    gfx_load_sword_trails();
    tf_load(g_text_filter_dictionary, g_text_filter_delimiter);
    scene_request_change(g_first_scene, false);
}

void game_shutdown()
{
    if (g_pools_ready) obj_destroy_all();
    text_release_surface(g_game_text_surface);
    scn_data_free();
    sound_free_tables();
    regions_free();
    eft_free_list();
    ani_dat_release_script_sets();
    ani_dat_release_all_images();
    tf_clear();
    hud_release_textures();
    eft_release_meshes();
    if (g_game_font) DeleteObject(g_game_font);
    g_game_font = nullptr;
    ResrcMgr::PurgeCached();
}

int game_scene_step()
{
    if (g_scene_pending & SCENE_PENDING_CLEAR) {
        g_scene_pending &= ~SCENE_PENDING_CLEAR;
        clear_world();
    }
    if (g_scene_pending & SCENE_PENDING_ENTER) {
        g_scene_pending &= ~SCENE_PENDING_ENTER;
        scene_transition();
        g_skip_step = 1;
    }
    return 0;
}
