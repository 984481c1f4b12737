#include "core/errors.h"
#include "core/sys.h"
#include "core/vfs.h"
#include "game/g_game.h"
#include "game/g_game_flags.h"
#include "game/g_region.h"
#include "game/g_scn_data.h"
#include "game/g_sound.h"
#include "gfx/ani_dat.h"
#include "lib/demo_game_data.h"
#include "lib/demo_images.h"
#include "lib/demo_room.h"
#include "lib/demo_scenes.h"
#include "lib/demo_sprites.h"
#include "lib/scene_set_writer.h"
#include "object/go_script.h"
#include "object/obj_pools.h"
#include "scenegraph/model.h"
#include "scenegraph/resrc_mgr.h"
#include "scenegraph/texture.h"
#include "temp_folder.h"
#include "tick_fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;

constexpr int k_marked_flag = 230;

// A set with a scene of each kind: the unused scene 0, the title, and two maps with scripts that
// mark which of them ran, one with a title and reverb of its own.
SceneSet mixed_set()
{
    SceneSet set;
    set.scenes = {
        {.path = "s_00\\s_0000\\"},
        {.path = "title\\", .music = 2, .title = "Title"},
        {.path = "s_11\\s_1112\\",
         .music = 1,
         .reverb = 3,
         .start_script = "action 0\ncall FUNCID_FLAG_SETINT flag:230 1\n"},
        {.path = "s_11\\s_1113\\",
         .music = 3,
         .start_script = "action 0\ncall FUNCID_FLAG_SETINT flag:230 2\n",
         .title = "Cave"},
        {.path = "demo6\\", .title = "Logo"},
    };
    set.music = {{1, "field"}, {2, "title", 330.0}, {3, "cave", 110.0}};
    return set;
}

// The path the game's scene entry builds for a scene's start script, from the loaded entry.
std::string game_script_path(const SceneEntry& scene)
{
    char name[SCENE_PATH_SIZE];
    scene_script_path(scene.path, name, sizeof name);
    return std::string("data\\map\\") + scene.path + name + ".xso";
}

std::string host_file_start(const std::filesystem::path& path, std::size_t size)
{
    return read_host_file(path).substr(0, size);
}

// A scene set written into an archive and a working folder, read back by the game's own
// readers: the scene list, the archive, the script loader and the music table.
class SceneSetFiles : public TickTest {
protected:
    void SetUp() override
    {
        TickTest::SetUp();
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        std::filesystem::current_path(m_work.path());
        script_install_commands();
    }
    void TearDown() override
    {
        g_scene_pending = 0;
        g_scene_change_busy = 0;
        scn_data_free();
        sound_free_tables();
        vfs_close_all();
        vfs::Startup((s_folder->windows() + "\\").c_str());
        g_work_block = m_saved_block;
        TickTest::TearDown();
    }

    // The shaders the device needs and the archive files given.
    void mount(std::vector<ArchiveSource> files)
    {
        for (ArchiveSource& shader : demo_shader_files(shader_file_names()))
            files.push_back(std::move(shader));
        vfs_close_all();
        ASSERT_TRUE(archive_write_set(m_data.path(), files, {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
    }
    void mount_set(const SceneSet& set)
    {
        std::vector<ArchiveSource> files;
        ASSERT_TRUE(scene_set_write(set, files, m_work.path()));
        mount(std::move(files));
        scn_data_load_scene_list();
        sound_load_bgm_table();
    }

    // The scene's start script, loaded from where scene entry loads it and run once.
    static GoScript* start(const SceneEntry& scene)
    {
        char name[SCENE_PATH_SIZE];
        scene_script_path(scene.path, name, sizeof name);
        GoScript* script = obj_create<GoScript>(g_pool_script);
        script->Load(game_script_path(scene).c_str(), name, {});
        script->Run();
        return script;
    }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    WorkingDirectoryGuard m_directory;
    TempFolder m_data;
    TempFolder m_work;
};

TEST_F(SceneSetFiles, TheListHoldsEachSceneAtItsIndexWithItsMusicAndReverb)
{
    const SceneSet set = mixed_set();
    mount_set(set);
    ASSERT_EQ(g_scene_list.size(), set.scenes.size());
    for (std::size_t i = 0; i < set.scenes.size(); ++i) {
        const SceneEntry& scene = scn_data_scene(static_cast<int>(i));
        SCOPED_TRACE(scene.path);
        EXPECT_EQ(std::size_t{scene.number}, i);
        EXPECT_EQ(scene.path, set.scenes[i].path);
        EXPECT_EQ(scene.music, set.scenes[i].music);
        EXPECT_EQ(scene.reverb, set.scenes[i].reverb);
        EXPECT_EQ(scn_data_find_scene(set.scenes[i].path.c_str()), &scene);
    }
    EXPECT_STREQ(scn_data_scene(3).text, "s_11/s_1113/: Cave");
}

TEST_F(SceneSetFiles, StartScriptsLieWhereSceneEntryLooksForThemAndOnlyThere)
{
    const SceneSet set = mixed_set();
    mount_set(set);
    for (std::size_t i = 0; i < set.scenes.size(); ++i) {
        const SceneEntry& scene = scn_data_scene(static_cast<int>(i));
        const std::string packed = game_script_path(scene) + ".z";
        EXPECT_EQ(scene_set_script_path(scene.path), game_script_path(scene));
        EXPECT_EQ(vfs_find(packed.c_str()) != nullptr, !set.scenes[i].start_script.empty()) << packed;
    }
}

TEST_F(SceneSetFiles, EachStartScriptRunsItsOwnCode)
{
    mount_set(mixed_set());
    for (int id : {2, 3}) {
        g_play_state.game_flags[k_marked_flag] = 0;
        GoScript* script = start(scn_data_scene(id));
        EXPECT_EQ(g_play_state.game_flags[k_marked_flag], id - 1) << scn_data_scene(id).path;
        EXPECT_STREQ(script->name, id == 2 ? "s_1112" : "s_1113");
    }
}

TEST_F(SceneSetFiles, TheMusicTableNamesEachPieceAndEachPieceIsAnOggFile)
{
    const SceneSet set = mixed_set();
    mount_set(set);
    ASSERT_EQ(g_bgm_count, static_cast<std::int32_t>(set.music.size()));
    for (const SceneSetMusic& music : set.music) {
        const BgmEntry* entry = std::find_if(g_bgm_table, g_bgm_table + g_bgm_count,
                                             [&](const BgmEntry& e) { return e.id == music.id; });
        ASSERT_NE(entry, g_bgm_table + g_bgm_count) << music.id;
        EXPECT_EQ(entry->name, music.name);
        const std::filesystem::path file = m_work.path() / "release" / "music" / (music.name + ".ogg");
        EXPECT_EQ(host_file_start(file, 4), "OggS") << file;
        EXPECT_THAT(read_host_file(file), HasSubstr("LOOPSTART=44100")) << "the tone loops its second half";
    }
}

TEST(SceneSetWriter, AStartScriptThatDoesNotAssembleIsRefusedWithItsLine)
{
    SceneSet set;
    set.scenes = {{.path = "s_11\\s_1112\\", .start_script = "action 0\ncall FUNCID_NO_SUCH_THING\n"}};
    try {
        scene_set_archive_files(set);
        ADD_FAILURE() << "no error";
    } catch (const std::logic_error& error) {
        EXPECT_THAT(error.what(), HasSubstr("line 2"));
    }
}

// ---- The demo data ------------------------------------------------------------------------------

class DemoScenes : public SceneSetFiles {
protected:
    void SetUp() override
    {
        SceneSetFiles::SetUp();
        mount(demo_game_files());
        scn_data_load_scene_list();
        ASSERT_TRUE(scene_set_write_music(m_work.path(), demo_scene_set()));
        sound_load_bgm_table();
    }

    static bool music_listed(std::uint32_t id)
    {
        return std::any_of(g_bgm_table, g_bgm_table + g_bgm_count,
                           [&](const BgmEntry& e) { return e.id == id; });
    }
};

TEST_F(DemoScenes, TheLogoTitleAndBothMapsAreListedWithTheirScriptsAndMusic)
{
    const struct {
        const char* path;
        int id;
        bool has_script;
    } scenes[] = {
        {"demo6\\", DEMO_LOGO_SCENE, false},
        {"title\\", DEMO_TITLE_SCENE, false},
        {"s_11\\s_1112\\", DEMO_FIRST_MAP_SCENE, true},
        {"s_10\\s_1010\\", DEMO_SECOND_MAP_SCENE, true},
    };
    for (const auto& s : scenes) {
        SCOPED_TRACE(s.path);
        const SceneEntry* scene = scn_data_find_scene(s.path);
        ASSERT_NE(scene, nullptr);
        EXPECT_EQ(scene, &scn_data_scene(s.id));
        EXPECT_EQ(scene->number, s.id);
        EXPECT_EQ(vfs_find((game_script_path(*scene) + ".z").c_str()) != nullptr, s.has_script);
        if (s.id != DEMO_LOGO_SCENE) {
            EXPECT_NE(scene->music, 0);
            EXPECT_TRUE(music_listed(scene->music));
        }
    }
    for (std::size_t i = 0; i < g_scene_list.size(); ++i)
        EXPECT_EQ(std::size_t{g_scene_list[i].number}, i) << "a scene's number is its index";
    EXPECT_EQ(std::uint32_t{scn_data_scene(DEMO_TITLE_SCENE).music}, DEMO_TITLE_MUSIC);
    EXPECT_NE(std::uint32_t{scn_data_scene(DEMO_FIRST_MAP_SCENE).music}, DEMO_TITLE_MUSIC)
        << "the title has its own";
    EXPECT_TRUE(music_listed(DEMO_GAMEOVER_MUSIC)) << "the game over plays it";
}

// The maps' start scripts with what their map files need: the hero's sprites, the cast table,
// the resource manager and the regions.
class DemoMaps : public DemoScenes {
protected:
    void SetUp() override
    {
        DemoScenes::SetUp();
        std::vector<ArchiveSource> files = demo_game_files();
        for (ArchiveSource& file : demo_sprite_files())
            files.push_back(std::move(file));
        mount(std::move(files));
        scn_data_load_tables();
        scn_data_load_scene_list();
        ASSERT_EQ(ResrcMgr::Initialize(RESRC_RESERVE[0], RESRC_RESERVE[1]), S_OK);
        model_register_loader();
        regions_alloc();
    }
    void TearDown() override
    {
        obj_destroy_all();
        regions_free();
        ani_dat_release_script_sets();
        ani_dat_release_all_images();
        ResrcMgr::Shutdown();
        resrc_set_loader(RESRC_POOL_MODEL, {nullptr, nullptr});
        DemoScenes::TearDown();
    }

    // The scene's start script, its error text reported as a failure.
    GoScript* start_map(int scene_id)
    {
        g_play_state.scene_id = scene_id;
        try {
            return start(scn_data_scene(scene_id));
        } catch (const RuntimeError& error) {
            ADD_FAILURE() << error.text;
            return nullptr;
        }
    }
};

// The first map loads its room, marks its entry, tours the camera over the ramp and back, and
// goes on to the second map only once its flag is set; the second loads its own room.
TEST_F(DemoMaps, TheFirstMapLoadsItsRoomToursTheCameraAndGoesOnOnlyWhenItsFlagIsSet)
{
    const std::int32_t* flags = g_play_state.game_flags;
    ASSERT_NE(start_map(DEMO_FIRST_MAP_SCENE), nullptr);
    EXPECT_EQ(flags[DEMO_MAP_ENTERED_FLAG], 1);
    EXPECT_EQ(g_pool_mesh.count, 5) << "the room, the bucket, the save point, the pillar and the platform";
    EXPECT_EQ(g_pool_skybox.count, 1);
    EXPECT_EQ(g_pool_xx.count, 2) << "the save point and its light";
    ASSERT_NE(g_player, nullptr) << "placed from its cast record";
    EXPECT_NEAR(g_player->world._41, DEMO_ARRIVAL[0], 1e-4f);
    EXPECT_EQ(g_player->ground_height, 0.0f) << "on the floor below its arrival point";
    EXPECT_NEAR(g_player->world._43, DEMO_ARRIVAL[2], 1e-4f);
    EXPECT_EQ(g_region_cameras.count, 2);
    EXPECT_EQ(g_region_fogs.count, 2) << "the default fog and the ledge's";
    EXPECT_EQ(g_region_entries.count, 1);
    EXPECT_EQ(g_region_camera.forced_index, 1) << "the tour starts over the ramp";

    int ticks = 0;
    for (; ticks < 200 && g_region_camera.forced_index == 1; ++ticks)
        step();
    EXPECT_NE(g_region_camera.forced_index, 1) << "and comes back";
    EXPECT_GE(ticks, 59) << "after a while over the ramp";
    for (int tick = 0; tick < 10; ++tick)
        step();
    EXPECT_EQ(g_play_state.requested_scene_id, 0) << "no change on its own";

    g_play_state.game_flags[DEMO_NEXT_MAP_FLAG] = 1;
    step();
    EXPECT_EQ(g_play_state.requested_scene_id, DEMO_SECOND_MAP_SCENE);
    EXPECT_EQ(flags[DEMO_NEXT_MAP_FLAG], 0) << "cleared as it goes on";
    obj_destroy_all(); // as the change does before the second map's script runs
    regions_free();
    regions_alloc();
    g_scene_change_busy = 0;
    ASSERT_NE(start_map(DEMO_SECOND_MAP_SCENE), nullptr);
    EXPECT_EQ(flags[DEMO_MAP_ENTERED_FLAG], 2);
    EXPECT_EQ(g_pool_mesh.count, 5);
}

// The pixels of an archive image with 16-bit pixels, row by row.
struct Image16 {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint16_t> pixels;
    std::uint16_t at(std::uint32_t x, std::uint32_t y) const { return pixels[std::size_t(y) * width + x]; }
};

Image16 load_image16(const char* path)
{
    DdsImage dds;
    EXPECT_EQ(dds_load(dds, path), S_OK) << path;
    Image16 image;
    if (dds.levels.empty()) return image;
    const DdsLevel& level = dds.levels[0];
    image.width = level.width;
    image.height = level.height;
    for (std::uint32_t y = 0; y < level.height; ++y)
        for (std::uint32_t x = 0; x < level.width; ++x) {
            const std::size_t at = std::size_t(y) * level.pitch_or_size + 2 * x;
            image.pixels.push_back(static_cast<std::uint16_t>(level.data[at] | level.data[at + 1] << 8));
        }
    return image;
}

TEST_F(DemoScenes, TheWindowPicturesHaveTheSizesAndFormatsTheGameDrawsThemWith)
{
    const struct {
        const char* path;
        std::uint32_t width, height;
        D3DFORMAT format;
    } images[] = {
        {"data\\image\\title_000.dds", 1024, 512, D3DFMT_R5G6B5},
        {"data\\image\\dialog0.dds", 256, 128, D3DFMT_A4R4G4B4},
        {"data\\image\\menucursor.dds", 128, 32, D3DFMT_A1R5G5B5},
        {"data\\image\\gameover.dds", 512, 128, D3DFMT_A1R5G5B5},
    };
    for (const auto& image : images) {
        DdsImage dds;
        ASSERT_EQ(dds_load(dds, image.path), S_OK) << image.path;
        EXPECT_EQ(dds.header.width, image.width) << image.path;
        EXPECT_EQ(dds.header.height, image.height) << image.path;
        EXPECT_EQ(dds.format, image.format) << image.path;
    }
    const Image16 title = load_image16("data\\image\\title_000.dds");
    EXPECT_NE(title.at(DEMO_TITLE_PICTURE_WIDTH - 1, DEMO_TITLE_PICTURE_HEIGHT - 1), 0) << "the picture";
    EXPECT_EQ(title.at(DEMO_TITLE_PICTURE_WIDTH, 0), 0) << "black past 640";
    EXPECT_EQ(title.at(0, DEMO_TITLE_PICTURE_HEIGHT), 0) << "black past 480";
}

// The dialog stretches the skin's middle cells (u 0.125-0.875, v 0.375-0.875): every row is one
// colour across the middle columns and every column one colour down the middle rows, so the rim
// and the corners stay in the outer cells, and the middle cell is an opaque-enough panel.
TEST_F(DemoScenes, TheDialogSkinKeepsItsRimInTheOuterCellsOfTheGrid)
{
    const Image16 skin = load_image16("data\\image\\dialog0.dds");
    ASSERT_EQ(skin.width, 256u);
    const std::uint32_t u1 = 32, u2 = 224, v1 = 48, v2 = 112;
    for (std::uint32_t y = 0; y < skin.height; ++y)
        for (std::uint32_t x = u1; x < u2; ++x)
            ASSERT_EQ(skin.at(x, y), skin.at(u1, y)) << x << ", " << y;
    for (std::uint32_t x = 0; x < skin.width; ++x)
        for (std::uint32_t y = v1; y < v2; ++y)
            ASSERT_EQ(skin.at(x, y), skin.at(x, v1)) << x << ", " << y;
    EXPECT_GE(skin.at(128, 64) >> 12, 8) << "the panel's alpha";
    EXPECT_EQ(skin.at(0, 0), 0) << "a clear corner";
    EXPECT_NE(skin.at(0, 64), skin.at(128, 64)) << "a rim or margin beside the panel";
}

} // namespace
