// A small world for tests that run the game's own code over it: the tick on a renderer, an
// archive of the test's files (the renderer's shaders and the actors' script sets and effect
// table among them), a scene list written and loaded as the game loads it, a cast table of plain
// records, actors set up at chosen keys, casts and positions, map meshes of chosen names loaded
// as the scene's map loads them, and observers of what the world's code changed.
#pragma once

#include "core/sys.h"
#include "core/vfs.h"
#include "game/g_scene_map.h"
#include "game/g_scn_data.h"
#include "game/g_sound.h"
#include "game/tick_fixture.h"
#include "gfx/ani_dat.h"
#include "lib/archive_writer.h"
#include "lib/map_writer.h"
#include "lib/qmo_writer.h"
#include "lib/table_writer.h"
#include "object/actor/actor_setup_fixture.h"
#include "scenegraph/resrc_mgr.h"
#include "temp_folder.h"

#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

// An actor to set up: the player among them or not.
struct WorldActor {
    std::int32_t key = 300;
    std::int32_t cast = 1;
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    bool player = false;
    std::int32_t spawn_type = 0;
};

// The model a map mesh is placed from when its record names none: a box of half size 0.5.
constexpr const char* WORLD_MESH_MODEL = "data\\map\\world\\box.qmo";
constexpr const char* WORLD_MAP_STEM = "world";

// The model image packed under the path, as the resource manager finds it in the archive.
ArchiveSource world_model_file(const std::string& path, const QmoImage& image);
// The current scene's map-object file (set_scenes first) of the records; a record without a model
// path takes WORLD_MESH_MODEL.
std::vector<ArchiveSource> world_map_mesh_files(std::vector<MapObjectDesc> records);

// Every file the world's archive holds: the shaders, the actors' files, then the test's.
std::vector<ArchiveSource> world_archive_files(std::span<const ArchiveSource> test_files);
// An actor of the cast set up with the actors' script set and placed; the player becomes
// `g_player` and the camera's focus.
GoActor& world_add_actor(const WorldActor& desc);

class ScriptWorldTest : public TickTest {
protected:
    void SetUp() override
    {
        TickTest::SetUp();
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        m_saved_play_effect = g_play_effect;
        g_play_effect = 1;
        g_scene_change_busy = 0;
        math_rand_seed();
        g_castinfo.assign(ACTOR_TEST_CASTS, actor_test_record());
        g_enemyinfo.assign(ACTOR_TEST_ENEMY_ROWS, EnemyInfo{});
        mount();
        sound_load_effect_table();
    }
    void TearDown() override
    {
        obj_destroy_all();
        // The meshes' models go while the device that holds their buffers still stands.
        if (m_models_loaded) {
            ResrcMgr::Shutdown();
            resrc_set_loader(RESRC_POOL_MODEL, {nullptr, nullptr});
        }
        ani_dat_release_script_sets();
        ani_dat_release_all_images();
        sound_free_tables();
        scn_data_free();
        vfs_close_all();
        vfs::Startup((s_folder->windows() + "\\").c_str());
        g_play_effect = m_saved_play_effect;
        g_work_block = m_saved_block;
        g_scene_change_busy = 0;
        g_whole_tick = 0;
        TickTest::TearDown();
    }

    // A file for the archive, in place of one of the same path; `mount` writes it.
    void add_file(ArchiveSource file)
    {
        std::erase_if(m_files, [&](const ArchiveSource& held) { return held.path == file.path; });
        m_files.push_back(std::move(file));
    }
    // Writes the archive with every file added and opens it.
    void mount()
    {
        vfs_close_all();
        ASSERT_TRUE(archive_write_set(m_data.path(), world_archive_files(m_files), {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
    }
    // Writes the scene list (record i is scene i), loads it as the game does and makes `current`
    // the current scene.
    void set_scenes(std::span<const SceneListRecord> records, std::int32_t current)
    {
        add_file({SCN_SCENE_LIST_PATH, packed_build(scene_list_build(records))});
        mount();
        scn_data_load_scene_list();
        g_play_state.scene_id = current;
    }

    static GoActor& add_actor(const WorldActor& desc) { return world_add_actor(desc); }

    // Map meshes placed as the current scene's ".sob" loading places them, named and placed by
    // their records; `models` holds the models they name beside the fixture's box.
    void place_meshes(std::vector<MapObjectDesc> records, std::vector<ArchiveSource> models = {})
    {
        add_file(world_model_file(WORLD_MESH_MODEL, qmo_box(0.5f)));
        for (ArchiveSource& file : models)
            add_file(std::move(file));
        for (ArchiveSource& file : world_map_mesh_files(std::move(records)))
            add_file(std::move(file));
        mount();
        if (!m_models_loaded) {
            ASSERT_EQ(ResrcMgr::Initialize(RESRC_RESERVE[0], RESRC_RESERVE[1]), S_OK);
            model_register_loader();
            m_models_loaded = true;
        }
        scene_load_objects(WORLD_MAP_STEM);
    }

    std::vector<ArchiveSource> m_files;

private:
    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    std::uint8_t m_saved_play_effect = 0;
    bool m_models_loaded = false;
    TempFolder m_data;
};

// The value of type T at a byte offset of the play state, as the save file and the scripts
// know it.
template <typename T> T play_state_at(std::size_t offset)
{
    T value;
    std::memcpy(&value, reinterpret_cast<const std::uint8_t*>(&g_play_state) + offset, sizeof value);
    return value;
}
