// Scene changes as the game makes them: the tick's device, renderer and pools, the resource
// manager, the work block, an archive of the demo's tables and sprites with the test's own scene
// set (its start scripts and music table), the regions and the program's command table.
#pragma once

#include "core/sys.h"
#include "core/text.h"
#include "core/vfs.h"
#include "game/g_game.h"
#include "game/g_region.h"
#include "game/g_scn_data.h"
#include "game/g_sound.h"
#include "gfx/ani_dat.h"
#include "lib/archive_writer.h"
#include "lib/demo_game_data.h"
#include "lib/demo_sprites.h"
#include "lib/demo_writer.h"
#include "lib/qmo_writer.h"
#include "lib/scene_set_writer.h"
#include "lowlv/input/input_state.h"
#include "object/go_script.h"
#include "scenegraph/model.h"
#include "scenegraph/resrc_mgr.h"
#include "temp_folder.h"
#include "tick_fixture.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

// The scenes the tests enter, by id.
constexpr std::int32_t SCENE_TEST_TITLE = 1;
constexpr std::int32_t SCENE_TEST_DEMO6 = 2;
constexpr std::int32_t SCENE_TEST_ROOM = 3;       // counts its entries in SCENE_TEST_ENTRY_FLAG
constexpr std::int32_t SCENE_TEST_QUICK_SAVE = 4; // a Very Easy quick-save scene
constexpr std::int32_t SCENE_TEST_CHAIN = 5;      // goes on to 6, which goes on to 7
constexpr std::int32_t SCENE_TEST_CYCLE = 8;      // goes on to 9, which goes back to 8
constexpr std::int32_t SCENE_TEST_LOCKED = 10;    // its script holds an event lock and waits
constexpr std::uint32_t SCENE_TEST_MUSIC = 1;
constexpr std::uint32_t SCENE_TEST_TITLE_MUSIC = 2;
constexpr int SCENE_TEST_ENTRY_FLAG = 300;
constexpr int SCENE_TEST_CHAIN_FLAG = 301; // 301-303: the chain's three scripts ran

inline std::string scene_test_script(const std::string& body)
{
    return "action 0\n" + body;
}

inline SceneSet scene_test_set()
{
    SceneSet set;
    set.scenes = {
        {.path = "s_00\\s_0000\\"},
        {.path = "title\\", .music = SCENE_TEST_TITLE_MUSIC},
        {.path = "demo6\\"},
        {.path = "s_10\\s_1010\\",
         .music = SCENE_TEST_MUSIC,
         .reverb = 3,
         .start_script = scene_test_script("call FUNCID_FLAG_ADDINT flag:300 1\n")},
        {.path = "s_54\\s_5403\\", .start_script = scene_test_script("")},
        {.path = "s_20\\s_2001\\",
         .start_script = scene_test_script(
             "call FUNCID_FLAG_SETINT flag:301 1\ncall FUNCID_SCENE_NEXT \"s_20\\s_2002\\\"\n")},
        {.path = "s_20\\s_2002\\",
         .start_script = scene_test_script(
             "call FUNCID_FLAG_SETINT flag:302 1\ncall FUNCID_SCENE_NEXT \"s_20/s_2003\"\n")},
        {.path = "s_20\\s_2003\\", .start_script = scene_test_script("call FUNCID_FLAG_SETINT flag:303 1\n")},
        {.path = "s_30\\s_3001\\",
         .start_script = scene_test_script("call FUNCID_SCENE_NEXT \"s_30\\s_3002\\\"\n")},
        {.path = "s_30\\s_3002\\",
         .start_script = scene_test_script("call FUNCID_SCENE_NEXT \"s_30\\s_3001\\\"\n")},
        {.path = "s_40\\s_4001\\",
         .start_script = scene_test_script("call FUNCID_EVENT_BEGIN 0\ncall FUNCID_WAIT_TICKS 100\n")},
    };
    set.music = {{SCENE_TEST_MUSIC, "field"}, {SCENE_TEST_TITLE_MUSIC, "title"}};
    return set;
}

class SceneTest : public TickTest {
protected:
    void SetUp() override
    {
        TickTest::SetUp();
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        ASSERT_EQ(ResrcMgr::Initialize(RESRC_RESERVE[0], RESRC_RESERVE[1]), S_OK);
        std::filesystem::current_path(m_work.path());
        // The title's map is a loose file beside the game, as installed.
        model_register_loader();
        ASSERT_TRUE(
            qmo_write_file(m_work.path() / "data" / "map" / "s_00" / "s_0000" / "s_0000.qmo", qmo_box()));
        m_saved_switches = {g_play_bgm, g_reverb};
        g_play_bgm = 1;
        g_reverb = 0;
        reset_scene_state();
        regions_alloc();
        script_install_commands();
    }
    void TearDown() override
    {
        obj_destroy_all();
        regions_free();
        scn_data_free();
        sound_free_tables();
        ani_dat_release_script_sets();
        ani_dat_release_all_images();
        ResrcMgr::Shutdown();
        resrc_set_loader(RESRC_POOL_MODEL, {nullptr, nullptr});
        TickTest::TearDown();
        vfs_close_all();
        vfs::Startup((s_folder->windows() + "\\").c_str());
        g_work_block = m_saved_block;
        g_play_bgm = m_saved_switches.first;
        g_reverb = m_saved_switches.second;
        reset_scene_state();
    }

    static void reset_scene_state()
    {
        g_scene_pending = 0;
        g_scene_change_busy = 0;
        g_scene_override = -1;
        g_scene_fade_in = 0;
        g_bgm_playing = 0;
        g_no_fall = 0;
        g_time_attack_mode = 0;
        g_input_ring = {};
    }

    // The demo's tables and sprites with this scene set in place of the demo's scenes, and the
    // set's music table; the tables are read as game_init reads them.
    void mount(const SceneSet& set, std::vector<ArchiveSource> extra = {})
    {
        std::vector<ArchiveSource> files = demo_shader_files(shader_file_names());
        for (ArchiveSource& file : demo_game_files())
            if (sys_prefix_compare_nocase(file.path.c_str(), "data\\map\\") != 0)
                files.push_back(std::move(file));
        for (ArchiveSource& file : demo_sprite_files())
            files.push_back(std::move(file));
        for (ArchiveSource& file : scene_set_archive_files(set))
            files.push_back(std::move(file));
        for (ArchiveSource& file : extra)
            files.push_back(std::move(file));
        ASSERT_TRUE(scene_set_write_music(m_work.path(), set));
        vfs_close_all();
        ASSERT_TRUE(archive_write_set(m_data.path(), files, {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
        scn_data_load_tables();
        scn_data_load_scene_list();
        sound_load_bgm_table();
    }

    // The next frame's scene step after a forced request for the scene.
    void enter(std::int32_t scene_id)
    {
        ASSERT_EQ(scene_request_change(scene_id, true), 0);
        game_scene_step();
    }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    std::pair<std::uint8_t, std::uint8_t> m_saved_switches;
    WorkingDirectoryGuard m_directory;
    TempFolder m_data;
    TempFolder m_work;
};
