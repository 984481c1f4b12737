// Actors set up from cast records: a device for their frame textures, the object pools, a cast
// table of 177 plain records, an enemy table of 81 rows, and an archive holding the script sets
// the tests bind (each shows one 8x8 frame of image archive 20) and an effect table.
#pragma once

#include "core/sys.h"
#include "game/g_play_state.h"
#include "game/g_scn_data.h"
#include "game/g_settings.h"
#include "game/g_sound.h"
#include "gfx/ani_dat.h"
#include "lib/aia_writer.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"
#include "lib/sound_table_writer.h"
#include "object/object_fixture.h"
#include "scenegraph/renderer_fixture.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

constexpr int ACTOR_TEST_SCRIPT_SET = 12;
constexpr int ACTOR_TEST_VARIANT_SCRIPT_SET = 173; // the rare variant's
constexpr int ACTOR_TEST_IMAGES = 20;
constexpr std::uint16_t ACTOR_TEST_CANVAS = 8;
constexpr std::size_t ACTOR_TEST_CASTS = 177;
constexpr std::size_t ACTOR_TEST_ENEMY_ROWS = 81;
// The effects of the enemy casts' preload list, and one no list names.
constexpr std::int32_t ACTOR_TEST_ENEMY_EFFECTS[] = {72, 73, 110};
constexpr std::int32_t ACTOR_TEST_OTHER_EFFECT = 5;

// The record every cast starts from; tests change what they look at.
inline CastInfo actor_test_record()
{
    CastInfo record{};
    record.hit_radius = 0.4f;
    record.body_radius = 0.5f;
    record.foot_height = 0.425f;
    record.shadow_size = 1.5f;
    record.view_radius = 2.0f;
    record.walk_speed = 0.05f;
    record.second_speed = 0.08f;
    record.jump_speed = 0.2f;
    record.hit_height = 0.6f;
    record.hit_half_height = 0.3f;
    record.hit_cylinder = 1;
    record.hit_points = 100;
    return record;
}

inline std::string actor_test_set_path(int number)
{
    char path[64];
    std::snprintf(path, sizeof path, "data\\ani\\c_%03d.aso.z", number);
    return path;
}

// The archive files actor setup reads: the script sets, their images and the effect table.
inline std::vector<ArchiveSource> actor_test_files()
{
    const std::vector<std::uint8_t> script = packed_build(
        sasm_assemble_or_throw("images " + std::to_string(ACTOR_TEST_IMAGES) +
                               "\naction 0 1\nloop: call FUNCID_WAIT 9\nSCRIPT_OP_JUMP @loop\n"));
    AiaFrame frame;
    frame.pixels.assign(std::size_t{ACTOR_TEST_CANVAS} * ACTOR_TEST_CANVAS, 0);
    frame.pixels[0] = 0xFFFFFFFF;
    AiaArchive archive;
    archive.canvas_width = archive.canvas_height = ACTOR_TEST_CANVAS;
    archive.entries = {AiaEntry{0, 1, 1, {frame}}};
    SoundTableWriter effects;
    for (std::int32_t id : ACTOR_TEST_ENEMY_EFFECTS)
        effects.Effect({.id = static_cast<std::uint32_t>(id), .name = "e" + std::to_string(id)});
    effects.Effect({.id = ACTOR_TEST_OTHER_EFFECT, .name = "other"});
    return {
        {actor_test_set_path(ACTOR_TEST_SCRIPT_SET), script},
        {actor_test_set_path(ACTOR_TEST_VARIANT_SCRIPT_SET), script},
        {aia_archive_path(ACTOR_TEST_IMAGES), aia_packed(archive)},
        {SOUND_EFFECT_TABLE_PATH, effects.Bytes()},
    };
}

class ActorSetupTest : public RendererTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        m_saved_play_effect = g_play_effect;
        g_play_effect = 1;
        reset_state();
        mount();
        ASSERT_EQ(obj_create_pools(), S_OK);
        g_castinfo.assign(ACTOR_TEST_CASTS, actor_test_record());
        g_enemyinfo.assign(ACTOR_TEST_ENEMY_ROWS, EnemyInfo{});
    }
    void TearDown() override
    {
        obj_destroy_all();
        obj_destroy_pools();
        ani_dat_release_script_sets();
        ani_dat_release_all_images();
        sound_free_tables();
        scn_data_free();
        vfs_close_all();
        vfs::Startup((s_folder->windows() + "\\").c_str());
        reset_state();
        g_play_effect = m_saved_play_effect;
        g_work_block = m_saved_block;
        RendererTest::TearDown();
    }

    static void reset_state()
    {
        g_play_state = {};
        for (std::int32_t& count : g_event_lock_count)
            count = 0;
        for (GoActor*& ally : g_ally_actors)
            ally = nullptr;
        g_player = g_camera_focus = nullptr;
        math_rand_seed();
    }

    // A constructed actor of the cast set up with the test's script set.
    static GoActor& set_up(std::int32_t cast, std::int32_t spawn_type, std::int32_t key = 300,
                           std::int32_t kind = 1)
    {
        GoActor* actor = obj_create<GoActor>(g_pool_actor);
        EXPECT_NE(actor, nullptr);
        actor_setup(*actor, key, kind, spawn_type, ACTOR_TEST_SCRIPT_SET, cast);
        return *actor;
    }

    // The scene list holds one scene at id 1, the current one.
    static void enter_scene(const char* path)
    {
        g_scene_list.assign(2, SceneEntry{});
        std::snprintf(g_scene_list[1].path, sizeof g_scene_list[1].path, "%s", path);
        g_play_state.scene_id = 1;
    }

    // Whether a load of the effect was tried: without an audio device it fails, which marks it.
    static bool effect_tried(std::int32_t id)
    {
        return (g_sound_table[id].flags & (SOUND_GROUP_LOADED | SOUND_GROUP_FAILED)) != 0;
    }

    static std::string set_path(int number) { return actor_test_set_path(number); }

private:
    void mount()
    {
        const std::vector<ArchiveSource> files = actor_test_files();
        vfs_close_all();
        ASSERT_TRUE(archive_write_set(m_data.path(), files, {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
        sound_load_effect_table();
    }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    std::uint8_t m_saved_play_effect = 0;
    TempFolder m_data;
};
