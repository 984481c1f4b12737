#include "game/g_game.h"

#include "core/errors.h"
#include "core/sys.h"
#include "core/timer.h"
#include "game/g_image_table.h"
#include "game/g_play_state.h"
#include "game/g_rules.h"
#include "game/g_scn_data.h"
#include "game/g_settings.h"
#include "game/g_sound.h"
#include "game/g_tf.h"
#include "gfx/eft_new.h"
#include "lib/dds_writer.h"
#include "lib/demo_game_data.h"
#include "lib/demo_sprites.h"
#include "lib/effect_writer.h"
#include "lib/packed_writer.h"
#include "lib/table_writer.h"
#include "object/object_fixture.h"
#include "platform/impl/gdi_font_seams.h"
#include "scenegraph/renderer_fixture.h"
#include "scenegraph/resrc_mgr.h"
#include "thrown_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

namespace {

using ::testing::HasSubstr;

// What the game reads from the archive at start and at a scene entry: the tables, images and
// icons, the sounds and the hero's sprites.
std::vector<ArchiveSource> game_files()
{
    std::vector<ArchiveSource> files = demo_game_files();
    for (auto&& more : {demo_sound_files(), demo_sprite_files()})
        files.insert(files.end(), more.begin(), more.end());
    return files;
}

std::vector<ArchiveSource> without(std::vector<ArchiveSource> files, const std::string& path)
{
    std::erase_if(files, [&](const ArchiveSource& file) { return file.path == path; });
    return files;
}

// The demo's game files with the scene list replaced by these scenes.
std::vector<ArchiveSource> with_scenes(const std::vector<SceneListRecord>& scenes)
{
    std::vector<ArchiveSource> files = without(game_files(), SCN_SCENE_LIST_PATH);
    files.push_back({SCN_SCENE_LIST_PATH, packed_build(scene_list_build(scenes))});
    return files;
}

void write_host_file_in(const std::filesystem::path& folder, const char* name, const std::string& text)
{
    std::filesystem::create_directories(folder);
    write_host_file(folder / name, text);
}

FontCreation game_font_creation()
{
    FontCreation creation;
    EXPECT_TRUE(seam_font_creation(g_game_font, creation));
    return creation;
}

// The game started on a device and renderer with the resource manager and the object pools, in
// a working folder of its own, on an archive of the game files a test chooses.
class GameInit : public RendererTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        ASSERT_EQ(ResrcMgr::Initialize(RESRC_RESERVE[0], RESRC_RESERVE[1]), S_OK);
        ASSERT_EQ(obj_create_pools(), S_OK);
        std::filesystem::current_path(m_work.path());
        write_host_file_in(m_work.path() / "release" / "music", "bgmdef.txt", demo_music_table());
        g_high_reso_text = 0;
        m_saved_play_effect = g_play_effect;
        g_text_filter_dictionary[0] = '\0';
        std::strcpy(g_text_filter_delimiter, ",");
    }
    void TearDown() override
    {
        game_shutdown();
        obj_destroy_pools();
        // The device then must hold nothing: every image went back with the game.
        RendererTest::TearDown();
        ResrcMgr::Shutdown();
        vfs_close_all();
        vfs::Startup((s_folder->windows() + "\\").c_str());
        g_scene_pending = 0;
        g_work_block = m_saved_block;
        // Without DirectSound the start turns the effects off.
        g_play_effect = m_saved_play_effect;
    }

    void mount(const std::vector<ArchiveSource>& game_archive)
    {
        std::vector<ArchiveSource> files = demo_shader_files(shader_file_names());
        files.insert(files.end(), game_archive.begin(), game_archive.end());
        vfs_close_all();
        ASSERT_TRUE(archive_write_set(m_data.path(), files, {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
    }

    void init(const std::vector<ArchiveSource>& game_archive = game_files())
    {
        mount(game_archive);
        game_init();
    }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    std::uint8_t m_saved_play_effect = 0;
    WorkingDirectoryGuard m_directory;
    TempFolder m_data;
    TempFolder m_work;
};

TEST_F(GameInit, LoadsTheTablesFindsTheScenesAndLoadsTheNamedImages)
{
    init();
    EXPECT_EQ(g_castinfo.size(), 18u);
    EXPECT_STREQ(scn_data_cast(DEMO_HERO_CAST).name, "CAST_BRAM");
    EXPECT_EQ(g_bgm_count, 4);
    EXPECT_EQ(g_sound_count, 10);
    EXPECT_EQ(g_title_scene, 1);
    EXPECT_EQ(g_first_scene, 7);
    EXPECT_STREQ(scn_data_scene(g_first_scene).path, "demo6\\");
    EXPECT_NE(g_texture_handles[IMAGE_TABLE_CURSOR], nullptr);
    EXPECT_NE(g_texture_handles[IMAGE_TABLE_LIGHT0], nullptr);
    EXPECT_NE(g_texture_handles[IMAGE_TABLE_ITEM_ICON_FIRST], nullptr) << "item 0 has an icon";
    EXPECT_EQ(g_texture_handles[IMAGE_TABLE_ITEM_ICON_FIRST + 1], nullptr) << "item 1 has none";
    EXPECT_EQ(g_texture_handles[0], nullptr) << "the demo has no black1x1.dds";
    EXPECT_EQ(g_play_state.new_game, 1);
    EXPECT_EQ(g_play_state.status.level, 1);
    EXPECT_NE(g_game_text_surface.texture, nullptr);
}

TEST_F(GameInit, AListWithoutTheTitleOrTheFirstSceneStopsWithItsPath)
{
    const struct {
        std::vector<SceneListRecord> scenes;
        const char* missing;
    } cases[] = {
        {{{"none\\"}, {"demo6\\"}}, "title\\"},
        {{{"none\\"}, {"title\\"}}, "demo6\\"},
        {{}, "title\\"},
    };
    for (const auto& c : cases) {
        const std::string text = thrown_text([&] { init(with_scenes(c.scenes)); });
        EXPECT_THAT(text, HasSubstr("Object not found.")) << c.missing;
        EXPECT_THAT(text, HasSubstr(std::string("->") + c.missing));
        game_shutdown();
    }
    // A missing list loads as empty, so the title is what is missing.
    EXPECT_THAT(thrown_text([&] { init(without(game_files(), SCN_SCENE_LIST_PATH)); }),
                HasSubstr("->title\\"));
}

TEST_F(GameInit, ABrokenTableStopsWithItsOwnText)
{
    std::vector<ArchiveSource> files = without(game_files(), SCN_CASTINFO_PATH);
    std::vector<std::uint8_t> casts = cast_table_build(std::vector<CastRecord>(3));
    casts.resize(casts.size() - 100);
    files.push_back({SCN_CASTINFO_PATH, packed_build(casts)});
    EXPECT_THAT(thrown_text([&] { init(files); }), HasSubstr(SCN_CASTINFO_PATH));
}

TEST_F(GameInit, AMissingSwordTrailCurveStopsTheStart)
{
    const std::string text = thrown_text([&] { init(without(game_files(), "data\\effect\\sword3.sl2")); });
    EXPECT_THAT(text, HasSubstr("->data\\effect\\sword3.sl2"));
    EXPECT_THAT(text, HasSubstr("g_gfx(36)"));
}

TEST_F(GameInit, NamesTheItemIconsWithThePrefixOfA32BitBackBuffer)
{
    const struct {
        D3DFORMAT format;
        const char* folder;
    } cases[] = {
        {D3DFMT_R5G6B5, "data\\menu\\icon\\"},
        {D3DFMT_X8R8G8B8, "data\\menu\\icon\\z_"},
        {D3DFMT_A8R8G8B8, "data\\menu\\icon\\z_"},
    };
    for (const auto& c : cases) {
        g_device_settings.present.BackBufferFormat = c.format;
        init();
        const std::string folder = c.folder;
        EXPECT_EQ(g_texture_names[623].name, folder + "icon_00.dds");
        EXPECT_EQ(g_texture_names[712].name, folder + "icon_89.dds");
        EXPECT_EQ(g_texture_names[713].name, folder + "dusca.dds");
        EXPECT_EQ(g_texture_names[714].name, folder + "jewel_00.dds");
        EXPECT_EQ(g_texture_names[716].name, folder + "jewel_02.dds");
        EXPECT_EQ(g_texture_names[716].format, static_cast<std::uint32_t>(D3DFMT_A1R5G5B5));
        EXPECT_NE(g_texture_handles[713], nullptr) << "the demo writes both names of an icon";
        game_shutdown();
    }
}

TEST_F(GameInit, TheFontHeightFollowsTheBackBufferWithHighResolutionText)
{
    const struct {
        UINT width, height;
        std::uint8_t high_reso;
        int font_height;
    } cases[] = {{640, 480, 0, 20}, {640, 480, 1, 20}, {1280, 960, 0, 20}, {1280, 960, 1, 40}};
    for (const auto& c : cases) {
        start(c.width, c.height);
        g_high_reso_text = c.high_reso;
        init();
        EXPECT_EQ(game_font_creation().height, c.font_height) << c.width << " " << int(c.high_reso);
        EXPECT_EQ(g_game_text_surface.scaled, c.high_reso);
        game_shutdown();
    }
}

TEST_F(GameInit, TheGameFaceNeedsItsFontResource)
{
    init();
    EXPECT_EQ(game_font_creation().face, "MS PGothic");
    EXPECT_EQ(game_font_creation().clip_precision, CLIP_DEFAULT_PRECIS);
    game_shutdown();

    ASSERT_TRUE(demo_copy_game_font(m_work.path()));
    init();
    EXPECT_EQ(game_font_creation().face, "Tarvolen");
    EXPECT_EQ(game_font_creation().clip_precision, CLIP_EMBEDDED);
    EXPECT_TRUE(std::filesystem::exists(m_work.path() / "release" / "im02.fot"));
}

TEST_F(GameInit, LoadsTheTextFilterNamedInTheSettings)
{
    init();
    EXPECT_FALSE(g_tf.on) << "no dictionary named";
    game_shutdown();

    // Only double-byte text is filtered.
    write_host_file(m_work.path() / "words.txt", "\x82\xA0,\x82\xA2\r\n");
    std::strcpy(g_text_filter_dictionary, "words.txt");
    init();
    char text[16] = "\x82\xA0";
    EXPECT_TRUE(tf_filter_text(text, sizeof text));
    EXPECT_STREQ(text, "\x82\xA2");
    game_shutdown();

    std::strcpy(g_text_filter_dictionary, "missing.txt");
    EXPECT_THAT(thrown_text([&] { init(); }), HasSubstr("missing.txt"));
}

TEST_F(GameInit, ShutdownFreesEverythingAndTheGameStartsAgain)
{
    init();
    spawn(g_pool_actor);
    HFONT font = g_game_font;
    game_shutdown();
    EXPECT_EQ(g_pool_actor.count, 0);
    EXPECT_TRUE(g_castinfo.empty());
    EXPECT_TRUE(g_scene_list.empty());
    EXPECT_EQ(g_bgm_count + g_sound_count, 0);
    EXPECT_EQ(g_invinfo[0].price, 0);
    EXPECT_EQ(g_gameinfo.player_hp.first, 0.0f);
    for (IDirect3DTexture8* texture : g_texture_handles)
        EXPECT_EQ(texture, nullptr);
    FontCreation creation;
    EXPECT_FALSE(seam_font_creation(font, creation)) << "the font is deleted";
    EXPECT_EQ(g_game_text_surface.texture, nullptr);

    init();
    EXPECT_EQ(g_castinfo.size(), 18u);
    EXPECT_NE(g_texture_handles[IMAGE_TABLE_CURSOR], nullptr);
}

// The game files with the effect data replaced by this set.
std::vector<ArchiveSource> with_effects(std::vector<ArchiveSource> files, const EftDataSet& effects)
{
    std::erase_if(files, [](const ArchiveSource& file) { return file.path.starts_with(eft_path("")); });
    for (ArchiveSource& file : eft_archive_files(effects))
        files.push_back(std::move(file));
    return files;
}

// The debris images, all but number 100, and effect textures 2, 3 and 34, two of which load as
// 4-bit alpha.
std::vector<ArchiveSource> debris_and_effect_files()
{
    EftDataSet effects;
    effects.textures = {{2, "e2.dds"}, {34, "e34.dds"}, {3, "e3.dds"}};
    std::vector<ArchiveSource> files = with_effects(game_files(), effects);
    const DdsPixels pixels = dds_solid(4, 4, 0xFF808080);
    const std::vector<std::uint8_t> image = dds_build(DdsFormat::A8R8G8B8, std::span(&pixels, 1));
    for (int k = 0; k < IMAGE_TABLE_DEBRIS_COUNT; ++k) {
        char name[64];
        std::snprintf(name, sizeof name, "data\\image\\debris\\debris%03d.dds", k);
        if (k != 100) files.push_back({name, image});
    }
    for (const char* name : {"e2.dds", "e34.dds", "e3.dds"})
        files.push_back({eft_path(name), image});
    return files;
}

D3DFORMAT texture_format(IDirect3DTexture8* texture)
{
    D3DSURFACE_DESC desc{};
    texture->GetLevelDesc(0, &desc);
    return desc.Format;
}

TEST_F(GameInit, TheImageTableLoadsWhatItNamesAndSkipsWhatIsMissing)
{
    mount(debris_and_effect_files());
    game_init();
    for (int k = 0; k < IMAGE_TABLE_DEBRIS_COUNT; ++k)
        EXPECT_EQ(g_texture_handles[IMAGE_TABLE_DEBRIS_FIRST + k] == nullptr, k == 100) << "debris " << k;
    EXPECT_STREQ(g_texture_names[IMAGE_TABLE_DEBRIS_FIRST + 100].name, "data\\image\\debris\\debris100.dds");
    EXPECT_EQ(texture_format(g_texture_handles[425]), D3DFMT_A4R4G4B4);
    EXPECT_EQ(texture_format(g_texture_handles[457]), D3DFMT_A4R4G4B4);
    EXPECT_EQ(texture_format(g_texture_handles[426]), D3DFMT_A1R5G5B5);
    EXPECT_STREQ(g_texture_names[457].name, "data\\effect\\eft\\e34.dds");
    for (int entry : {425, 426, 457})
        g_texture_names[entry] = {};
}

// The start loads the effect list with its emitters and forgets a mesh that cannot be loaded;
// the shutdown frees the list.
TEST_F(GameInit, LoadsTheEffectDataAndShutdownFreesIt)
{
    EftDataSet effects;
    effects.meshes = {{0, "missing"}};
    effects.list = {{0, "none.eft"}, {1, "spark.eft"}};
    EftFile spark;
    spark.starts = {{0, 0}};
    spark.emitters.resize(1);
    effects.files = {{"spark.eft", spark}};
    init(with_effects(game_files(), effects));
    ASSERT_NE(eft_list_entry(1), nullptr);
    EXPECT_EQ(eft_list_entry(1)->defs.size(), 1u);
    EXPECT_TRUE(eft_list_entry(0)->defs.empty()) << "no file: an empty effect";
    EXPECT_STREQ(g_effect_mesh_names[0], "") << "a mesh that failed to load";

    game_shutdown();
    EXPECT_EQ(eft_list_entry(1), nullptr);
    for (Model* mesh : g_effect_meshes)
        EXPECT_EQ(mesh, nullptr);
}

TEST_F(GameInit, TheSceneStepClearsTheWorldAndMakesTheNextFrameOneStep)
{
    init();
    spawn(g_pool_actor);
    spawn(g_pool_effect);
    ASSERT_NE(rq_alloc(13, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK), nullptr);
    g_play_state.sky_scroll[0] = 0.5f;
    g_frame_effects.cover_w = 0.0f;
    g_scene_lighting.ambient = D3DXVECTOR4(1.0f, 0.0f, 0.0f, 1.0f);
    play_scene_lighting().ambient = D3DXVECTOR4(0.0f, 1.0f, 0.0f, 1.0f);
    g_menu_open = MENU_OPEN_CAMP;
    g_skip_step = 0;

    g_scene_pending = SCENE_PENDING_CLEAR | SCENE_PENDING_ENTER;
    EXPECT_EQ(game_scene_step(), 0);
    EXPECT_EQ(g_scene_pending, 0u);
    EXPECT_EQ(g_pool_actor.count + g_pool_effect.count, 0);
    EXPECT_EQ(g_rq_rows[13].used, 0u);
    EXPECT_EQ(g_play_state.sky_scroll[0], 0.0f);
    EXPECT_EQ(g_frame_effects.cover_mode, 0.0125f);
    EXPECT_EQ(g_frame_effects.cover_w, 0.4f);
    EXPECT_EQ(std::memcmp(&play_scene_lighting(), &g_scene_lighting_defaults, sizeof(SceneLighting)), 0);
    EXPECT_EQ(std::memcmp(&g_scene_lighting, &g_scene_lighting_defaults, sizeof(SceneLighting)), 0);
    EXPECT_EQ(g_menu_open, 0u);
    EXPECT_EQ(g_skip_step, 1);

    // The next frame is then a single step of 1.0.
    EXPECT_TRUE(timer_frame());
    EXPECT_TRUE(timer_next_tick());
    EXPECT_EQ(g_frame_step, 1.0f);
    EXPECT_FALSE(timer_next_tick());

    // Entering alone also takes the frame's one step; with nothing pending nothing happens.
    g_scene_pending = SCENE_PENDING_ENTER;
    g_play_state.requested_scene_id = g_title_scene;
    spawn(g_pool_actor);
    game_scene_step();
    EXPECT_EQ(g_scene_pending, 0u);
    EXPECT_EQ(g_skip_step, 1);
    EXPECT_EQ(g_pool_actor.count, 1) << "entering does not clear the world";
    g_skip_step = 0;
    game_scene_step();
    EXPECT_EQ(g_skip_step, 0);
}

} // namespace
