#include "object/wnd/go_wnddemo.h"

#include "core/sys.h"
#include "game/g_fade.h"
#include "game/g_game.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "game/g_settings.h"
#include "game/g_sound.h"
#include "game/sound_fixture.h"
#include "game/tick_fixture.h"
#include "lib/dds_writer.h"
#include "lib/packed_writer.h"
#include "lib/qmo_writer.h"
#include "lib/sound_table_writer.h"
#include "lib/table_writer.h"
#include "lib/wav_writer.h"
#include "scenegraph/resrc_mgr.h"
#include "scenegraph/texture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* k_title_picture = "data\\image\\title_000.dds";
constexpr std::int32_t k_title_scene = 1;
constexpr std::int32_t k_white_scene = 2; // "s_00\s_0000\"
constexpr std::int32_t k_first_map = 3;   // "s_11\s_1112\"
constexpr std::int32_t k_effect = 40;     // a looping effect that survives scene changes
constexpr std::uint32_t k_scene_colour = 0x123456;

// The archive of a test: the renderer's shaders, the scene list of these scenes, the title
// picture and one looping effect that is kept over scene changes.
void write_archive(const std::filesystem::path& folder, const std::vector<SceneListRecord>& scenes)
{
    std::vector<ArchiveSource> files = demo_shader_files(shader_file_names());
    files.push_back({SCN_SCENE_LIST_PATH, packed_build(scene_list_build(scenes))});
    const DdsPixels picture = dds_solid(16, 16, 0xFF808080);
    files.push_back({k_title_picture, dds_build(DdsFormat::A4R4G4B4, std::span(&picture, 1))});
    SoundTableWriter table;
    table.Effect({.id = k_effect, .name = "hum", .loop = true, .keep = true});
    files.push_back({SOUND_EFFECT_TABLE_PATH, table.Bytes()});
    const WavFormat mono{1, 22050, 16};
    files.push_back({"data\\wave\\effect\\hum.wav", wav_build_pcm(mono, wav_tone(mono, 2205, 440.0))});
    ASSERT_TRUE(archive_write_set(folder, files, {}));
}

// The posted commands of the music streams; a new game's status may post its level-up sounds.
std::vector<AudioCommand> music_commands()
{
    std::vector<AudioCommand> music = posted_commands();
    std::erase_if(music, [](const AudioCommand& command) {
        return command.type < AUDIO_CMD_STREAM_START || command.type > AUDIO_CMD_STREAM_FADE;
    });
    return music;
}

ArrivalRecord stale_arrival()
{
    ArrivalRecord arrival{{1.0f, 2.0f, 3.0f}, 0.5f, 4, {}};
    std::strcpy(arrival.tag, "load");
    return arrival;
}

bool is_empty(const ArrivalRecord& arrival)
{
    static const ArrivalRecord empty{};
    return std::memcmp(&arrival, &empty, sizeof empty) == 0;
}

// The references the resource manager counts on the texture of the name, this look-up's own
// taken off again.
std::int32_t texture_references(const char* name)
{
    ResrcLoadParams params;
    params.texture = {1, 0, D3DFMT_R5G6B5, D3DPOOL_MANAGED};
    const ResourceHandle handle = ResrcMgr::Load(name, params, RESRC_POOL_TEXTURE, 0);
    const ResourceRecord* record = ResrcMgr::Get(handle);
    if (!record) return -1;
    const std::int32_t references = record->refcount - 1;
    ResrcMgr::Release(RESRC_POOL_TEXTURE, record->object);
    return references;
}

// The title window on the tick's device with the resource manager and the audio manager over a
// loopback device, on a scene list of the logo, the title, the white-fade scene and the first
// map; a second archive has no first map.
class TitleTest : public TickTest {
protected:
    static void SetUpTestSuite()
    {
        s_folder = std::make_unique<TempFolder>();
        write_archive(s_folder->path(), {{"demo6\\", "Logo"},
                                         {"title\\", "Title"},
                                         {"s_00\\s_0000\\", "Prologue"},
                                         {"s_11\\s_1112\\", "Map"}});
        s_without_first_map = std::make_unique<TempFolder>();
        write_archive(s_without_first_map->path(),
                      {{"demo6\\", "Logo"}, {"title\\", "Title"}, {"s_00\\s_0000\\", "Prologue"}});
        vfs::Startup((s_folder->windows() + "\\").c_str());
    }
    static void TearDownTestSuite()
    {
        s_without_first_map.reset();
        TickTest::TearDownTestSuite();
    }

    void SetUp() override
    {
        TickTest::SetUp();
        ResrcMgr::Initialize(RESRC_RESERVE[0], RESRC_RESERVE[1]);
        // The title's scenery is a loose model beside the program's working folder.
        model_register_loader();
        std::filesystem::current_path(m_disk.path());
        ASSERT_TRUE(
            qmo_write_file(m_disk.path() / "data" / "map" / "s_00" / "s_0000" / "s_0000.qmo", qmo_box()));
        sound_effects_start(m_saved_play_effect);
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        scn_data_load_scene_list();
        ASSERT_EQ(g_scene_list.size(), 4u);
        g_title_scene = k_title_scene;
        g_title_demo_active = 0;
        g_title_page = TITLE_PAGE_MAIN;
        g_title_view_only = 0;
        g_title_easy = g_title_very_easy = g_title_inferno = 0;
        g_title_game_difficulty = 0;
        g_title_cursor_index = 0;
        g_time_attack_mode = 0;
        g_scene_pending = 0;
        g_scene_change_busy = 0;
        fade_set_colors(k_scene_colour, k_scene_colour);
        g_fade.rate = 0.05f;
    }

    void TearDown() override
    {
        obj_destroy_all();
        sound_effects_stop(m_saved_play_effect);
        ResrcMgr::Shutdown();
        resrc_set_loader(RESRC_POOL_MODEL, {nullptr, nullptr});
        scn_data_free();
        g_work_block = m_saved_block;
        vfs_close_all();
        vfs::Startup((s_folder->windows() + "\\").c_str());
        g_title_demo_active = 0;
        g_title_page = TITLE_PAGE_MAIN;
        g_title_records_shown = g_title_leaderboard_shown = 0;
        g_title_records_alpha = g_title_leaderboard_alpha = 0.0f;
        g_time_attack_mode = 0;
        g_scene_pending = 0;
        g_scene_change_busy = 0;
        TickTest::TearDown();
    }

    static void use_list_without_first_map()
    {
        vfs_close_all();
        vfs::Startup((s_without_first_map->windows() + "\\").c_str());
        scn_data_load_scene_list();
        ASSERT_EQ(g_scene_list.size(), 3u);
    }

    static GoWndDemo& make_window()
    {
        GoWndDemo* window = obj_create<GoWndDemo>(g_pool_wnddemo);
        EXPECT_NE(window, nullptr);
        return *window;
    }
    static GoWndDemo& make_title()
    {
        GoWndDemo& window = make_window();
        window.InitTitle();
        return window;
    }

    inline static std::unique_ptr<TempFolder> s_without_first_map;
    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 16); // unpacks the scene list
    WorkBlock m_saved_block{};
    std::uint8_t m_saved_play_effect = 0;
    WorkingDirectoryGuard m_directory;
    TempFolder m_disk;
};

} // namespace

// ---- Construction ---------------------------------------------------------------------------------

// The window marks the title or demo as running, fades every sound group out, even those kept over
// scene changes, and starts with both title overlays hidden; deleting it clears the mark.
TEST_F(TitleTest, ConstructionMarksTheTitleAndFadesEverySoundGroup)
{
    sound_play(k_effect, 1024);
    dsound_seam_advance_ms(AUDIO_THREAD_PERIOD_MS);
    audio_thread_pass();
    SoundVoice& voice = audio_group(k_effect)->voices[0];
    ASSERT_EQ(voice.state.load(), VOICE_STARTED);
    g_title_records_shown = g_title_leaderboard_shown = 1;
    g_title_records_alpha = g_title_leaderboard_alpha = 0.5f;

    GoWndDemo& window = make_window();
    EXPECT_EQ(window.GetClassCode(), GO_CLASS_WNDDEMO);
    EXPECT_EQ(window.object_id >> 24, GO_CLASS_WNDDEMO);
    EXPECT_EQ(window.mode, WNDDEMO_TITLE);
    EXPECT_EQ(window.leaving, 0);
    EXPECT_EQ(window.next_scene, 0);
    EXPECT_EQ(window.title_picture, nullptr);
    EXPECT_EQ(g_title_demo_active, 1);
    EXPECT_EQ(g_play_state.title_demo, 1);
    EXPECT_EQ(g_title_records_shown, 0);
    EXPECT_EQ(g_title_leaderboard_shown, 0);
    EXPECT_EQ(g_title_records_alpha, 0.0f);
    EXPECT_EQ(g_title_leaderboard_alpha, 0.0f);
    EXPECT_EQ(voice.target.load(), 0) << "fading out";
    EXPECT_TRUE(voice.stop_at_fade_end.load());

    obj_destroy_all();
    EXPECT_EQ(g_title_demo_active, 0);
}

// ---- The title's set-up ---------------------------------------------------------------------------

// The title goes on to the first map when the list has it; its picture is held while it lives.
TEST_F(TitleTest, InitTitleLeadsToTheFirstMapAndHoldsThePicture)
{
    GoWndDemo& title = make_title();
    EXPECT_EQ(title.mode, WNDDEMO_TITLE);
    EXPECT_EQ(title.next_scene, k_first_map);
    ASSERT_NE(title.title_picture, nullptr);
    EXPECT_EQ(texture_references(k_title_picture), 1);
    EXPECT_EQ(title.extra_difficulties, 0) << "no marker beside the test program";

    obj_destroy_all();
    EXPECT_EQ(texture_references(k_title_picture), 0) << "released with the window";
}

// Without the first map in the list the next scene stays what it was; so does an unknown path.
TEST_F(TitleTest, AMissingSceneLeavesTheNextSceneUnchanged)
{
    use_list_without_first_map();
    GoWndDemo& title = make_window();
    title.next_scene = k_white_scene;
    title.InitTitle();
    EXPECT_EQ(title.next_scene, k_white_scene);
    title.SetNextScene("s_99\\s_9999\\");
    EXPECT_EQ(title.next_scene, k_white_scene);
    title.SetNextScene("TITLE/");
    EXPECT_EQ(title.next_scene, k_title_scene) << "the list's path rules";
}

// Back from a time attack the arena list opens again with time attack on and the story variants
// cleared; any other page starts over at the main menu and touches nothing else.
TEST_F(TitleTest, InitTitleReopensTheArenaListAfterATimeAttack)
{
    std::int32_t* flags = g_play_state.game_flags;
    const auto set_before = [&](std::uint8_t page) {
        g_title_page = page;
        g_title_view_only = 1;
        g_title_easy = g_title_very_easy = 1;
        g_title_leaderboard_shown = 0;
        g_title_cursor_index = 5;
        g_time_attack_mode = 0;
        flags[GF_EASY] = flags[GF_VERY_EASY] = flags[GF_INFERNO] = 1;
    };

    set_before(TITLE_PAGE_ARENA_AGAIN);
    make_title();
    EXPECT_EQ(g_title_page, TITLE_PAGE_ARENA);
    EXPECT_EQ(g_title_view_only, 0);
    EXPECT_EQ(g_title_easy, 0);
    EXPECT_EQ(g_title_very_easy, 0);
    EXPECT_EQ(g_title_leaderboard_shown, 1);
    EXPECT_EQ(g_title_cursor_index, 2);
    EXPECT_EQ(g_time_attack_mode, 1);
    EXPECT_EQ(flags[GF_EASY], 0);
    EXPECT_EQ(flags[GF_VERY_EASY], 0);
    EXPECT_EQ(flags[GF_INFERNO], 0);

    for (const std::uint8_t page : {TITLE_PAGE_MAIN, TITLE_PAGE_DIFFICULTY, TITLE_PAGE_ARENA}) {
        SCOPED_TRACE(page);
        obj_destroy_all();
        set_before(page);
        make_title();
        EXPECT_EQ(g_title_page, TITLE_PAGE_MAIN);
        EXPECT_EQ(g_title_view_only, 1);
        EXPECT_EQ(g_title_easy, 1);
        EXPECT_EQ(g_title_cursor_index, 5);
        EXPECT_EQ(g_time_attack_mode, 0);
        EXPECT_EQ(flags[GF_INFERNO], 1);
    }
}

// The marker file beside the program (not in the working folder) offers the extra difficulties.
TEST_F(TitleTest, TheMarkerBesideTheProgramOffersTheExtraDifficulties)
{
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
    const std::filesystem::path folder = program.parent_path() / "Release";
    const bool made_folder = std::filesystem::create_directories(folder);
    write_host_file(folder / "data.no", "");
    GoWndDemo& title = make_title();
    EXPECT_EQ(title.extra_difficulties, 1);
    std::filesystem::remove(folder / "data.no");
    if (made_folder) std::filesystem::remove(folder);
}

// ---- The movie scenes -----------------------------------------------------------------------------

// No movie can be opened: the window stays covered, hands the next scene to the fade and dies; the
// fade's next step requests that scene.
TEST_F(TitleTest, InitDemoHandsOverToTheNextSceneAtOnce)
{
    g_play_state.status.hp = 1.0f;
    g_fade.arrival = stale_arrival();
    GoWndDemo& demo = make_window();
    demo.InitDemo("title\\", 5);
    EXPECT_EQ(demo.mode, WNDDEMO_MOVIE);
    EXPECT_EQ(demo.movie, 5);
    EXPECT_EQ(demo.next_scene, k_title_scene);
    EXPECT_EQ(g_fade.value, 1.0f);
    EXPECT_EQ(g_fade.target, 1.0f);
    EXPECT_EQ(g_fade.pending_scene, k_title_scene);
    EXPECT_TRUE(is_empty(g_fade.arrival));
    EXPECT_NE(demo.flags & GO_FLAG_DEAD, 0);

    fade_update();
    EXPECT_EQ(g_fade.pending_scene, 0);
    EXPECT_EQ(g_play_state.requested_scene_id, k_title_scene);
}

// ---- Leaving and starting -------------------------------------------------------------------------

// Leaving fades from clear to the next scene with an empty arrival, white only toward the
// prologue's scene; a second call changes nothing.
TEST_F(TitleTest, LeaveTitleFadesOnceWhiteOnlyTowardThePrologue)
{
    const struct {
        std::int32_t next_scene;
        std::uint32_t color;
        std::uint32_t second_color;
    } cases[] = {
        {k_white_scene, 0xFFFFFF, 0},
        {k_first_map, k_scene_colour, k_scene_colour},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.next_scene);
        obj_destroy_all();
        fade_set_colors(k_scene_colour, k_scene_colour);
        g_fade.value = 0.5f;
        g_fade.arrival = stale_arrival();
        GoWndDemo& title = make_title();
        title.next_scene = c.next_scene;
        title.LeaveTitle();
        EXPECT_EQ(title.leaving, 1);
        EXPECT_EQ(g_fade.value, 0.0f);
        EXPECT_EQ(g_fade.target, 1.0f);
        EXPECT_EQ(g_fade.pending_scene, c.next_scene);
        EXPECT_TRUE(is_empty(g_fade.arrival));
        EXPECT_EQ(g_fade.color, c.color);
        EXPECT_EQ(g_fade.second_color, c.second_color);

        const FadeState before = g_fade;
        g_fade.value = 0.25f;
        title.next_scene = k_title_scene;
        title.LeaveTitle();
        EXPECT_EQ(g_fade.value, 0.25f);
        EXPECT_EQ(g_fade.pending_scene, before.pending_scene);
        EXPECT_EQ(g_fade.color, before.color);
    }
}

// A new game from the title: the new-game play state from the title's choices, the title left
// once toward its next scene, and the music fading out over 1.5 s.
TEST_F(TitleTest, StartGameBuildsTheNewGameLeavesAndFadesTheMusic)
{
    GoWndDemo& title = make_title();
    title.next_scene = k_white_scene;
    g_title_game_difficulty = 1;
    g_play_state.status.hp = 0.0f;
    ASSERT_TRUE(music_commands().empty());

    title_start_game();
    EXPECT_EQ(g_play_state.new_game, 1);
    EXPECT_EQ(g_play_state.game_flags[GF_DIFFICULTY], 1);
    EXPECT_EQ(g_play_state.status.hp, g_play_state.status.max_hp);
    EXPECT_EQ(title.leaving, 1);
    EXPECT_EQ(g_fade.value, 0.0f);
    EXPECT_EQ(g_fade.target, 1.0f);
    EXPECT_EQ(g_fade.pending_scene, k_white_scene);
    EXPECT_EQ(g_fade.color, 0xFFFFFFu);

    const std::vector<AudioCommand> posted = music_commands();
    ASSERT_EQ(posted.size(), 2u);
    EXPECT_EQ(posted[0].type, AUDIO_CMD_STREAM_FADE);
    EXPECT_EQ(posted[0].param1, 0);
    EXPECT_EQ(posted[0].param2, 1500);
    EXPECT_EQ(posted[1].type, AUDIO_CMD_STREAM_STOP);
    EXPECT_EQ(posted[1].delay, 1500u);
}

// Without a title window the game still starts and the music fades, but no fade is begun.
TEST_F(TitleTest, StartGameWithoutATitleLeavesTheFadeAlone)
{
    g_fade.value = 0.0f;
    g_fade.target = 0.0f;
    title_start_game();
    EXPECT_EQ(g_play_state.new_game, 1);
    EXPECT_EQ(g_fade.target, 0.0f);
    EXPECT_EQ(g_fade.pending_scene, 0);
    const std::vector<AudioCommand> posted = music_commands();
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted.back().type, AUDIO_CMD_STREAM_STOP);
    EXPECT_EQ(posted.back().delay, 1500u);
}
