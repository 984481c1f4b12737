#include "game/g_scene.h"

#include "core/sys.h"
#include "game/g_pointer.h"
#include "game/g_sound.h"
#include "input_records.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"
#include "lowlv/audio/audio_dsound.h"
#include "object/actor/go_actor.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddemo.h"
#include "platform/impl/dsound_seams.h"
#include "scene_fixture.h"
#include "thrown_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numbers>
#include <set>
#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;

constexpr const char* k_room_folder = "data\\map\\s_10\\s_1010\\";
constexpr int k_after_flag = 310; // set by a script's word after the one under test

std::string fatal_text(const char* code, const std::string& detail, const char* source, unsigned line)
{
    return std::string(code) + "\r\n->" + detail + "\n" + source + "(" + std::to_string(line) + ")\n";
}

// An event script of the room's folder, as the archive holds it.
ArchiveSource room_script(const std::string& name, const std::string& body)
{
    return {std::string(k_room_folder) + name + ".xso.z",
            packed_build(sasm_assemble_or_throw(scene_test_script(body)))};
}

std::set<int> used_image_sets()
{
    std::set<int> used;
    for (int i = 0; i < ANI_IMAGE_SET_COUNT; ++i)
        if (g_ani_image_sets[i].used) used.insert(i);
    return used;
}

GoWndDemo* demo_window()
{
    return g_pool_wnddemo.count == 1 ? static_cast<GoWndDemo*>(g_pool_wnddemo.active[0]) : nullptr;
}

class SceneEnter : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        mount(scene_test_set(),
              {room_script("wait", "call FUNCID_WAIT_TICKS 100\n"),
               room_script("next",
                           "call FUNCID_SCENE_NEXT \"s_20\\s_2003\\\"\ncall FUNCID_FLAG_SETINT flag:310 1\n"),
               room_script("commands", "call FUNCID_MAP_CLIP 3.0 400.0\ncall FUNCID_BGM_PLAY 1\n"
                                       "call FUNCID_SCENE_CHANGE \"s_99\\s_9999\\\"\n"
                                       "call FUNCID_SCRIPT_START \"wait\" 5 6 7\n"),
               room_script("change", "call FUNCID_SCENE_CHANGE \"S_20/S_2003\"\ncall FUNCID_BGM_STOP 500\n"),
               room_script("many",
                           "call FUNCID_SCRIPT_START \"wait\" 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17\n"),
               {"data\\map\\common\\shared.xso.z",
                packed_build(sasm_assemble_or_throw(scene_test_script("")))}});
        play_state_init();
        g_play_state.scene_id = SCENE_TEST_ROOM;
    }
};

// "demo6\" hands over to the title through its window and the fade; the title opens its own.
// Neither runs a script or preloads the hero's images.
TEST_F(SceneEnter, TheDemoAndTitleScenesOpenTheirWindowAndPreloadNothing)
{
    enter(SCENE_TEST_DEMO6);
    EXPECT_EQ(g_play_state.title_demo, 1);
    GoWndDemo* window = demo_window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->mode, WNDDEMO_MOVIE);
    EXPECT_EQ(window->movie, 5);
    EXPECT_EQ(window->next_scene, SCENE_TEST_TITLE);
    EXPECT_EQ(g_fade.pending_scene, SCENE_TEST_TITLE);
    EXPECT_EQ(used_image_sets(), std::set<int>{});
    EXPECT_EQ(g_player, nullptr);
    EXPECT_EQ(g_scene_fade_in, 1);

    enter(SCENE_TEST_TITLE);
    window = demo_window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->mode, WNDDEMO_TITLE);
    EXPECT_EQ(g_play_state.title_demo, 1);
    EXPECT_EQ(g_bgm_playing, static_cast<std::int32_t>(SCENE_TEST_TITLE_MUSIC));
    EXPECT_EQ(g_player, nullptr);
    EXPECT_EQ(g_fade.value, 1.0f) << "the second scene fades in";
    EXPECT_EQ(g_fade.target, 0.0f);
}

// A map scene keeps the hero's images, 13 and 14, and those of its equipment set.
TEST_F(SceneEnter, MapScenesPreloadTheHeroAndEquipmentImages)
{
    const struct {
        std::int32_t equip_set;
        std::set<int> used;
    } cases[] = {
        {0, {13, 14}}, {1, {13, 14, 6, 15}}, {3, {13, 14, 8, 17}}, {5, {13, 14, 10, 12}}, {6, {13, 14}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.equip_set);
        g_play_state.game_flags[GF_EQUIP_SET] = c.equip_set;
        enter(SCENE_TEST_LOCKED);
        EXPECT_EQ(g_player, nullptr) << "the script holds a lock: it places the hero itself";
        EXPECT_EQ(used_image_sets(), c.used);
        std::fill(std::begin(g_event_lock_count), std::end(g_event_lock_count), 0);
    }
}

TEST_F(SceneEnter, ChainedStartScriptsRunInOneFrame)
{
    enter(SCENE_TEST_CHAIN);
    for (int flag = SCENE_TEST_CHAIN_FLAG; flag < SCENE_TEST_CHAIN_FLAG + 3; ++flag)
        EXPECT_EQ(g_play_state.game_flags[flag], 1) << flag;
    EXPECT_EQ(g_play_state.scene_id, SCENE_TEST_CHAIN + 2);
    EXPECT_EQ(g_scene_override, -1);
    EXPECT_EQ(g_scene_pending, 0u);
    EXPECT_NE(g_player, nullptr);
}

TEST_F(SceneEnter, ACycleOfStartScriptsEndsWithTheChainError)
{
    const std::string text = thrown_text([this] { enter(SCENE_TEST_CYCLE); });
    EXPECT_THAT(text, HasSubstr("(80004005h)\r\n->s_30\\s_300"));
    EXPECT_THAT(text, HasSubstr("g_scene(795)"));
}

TEST_F(SceneEnter, StartScriptRunsAScriptOnceAndOnlyOnce)
{
    const std::int32_t args[] = {7, -8};
    GoScript* script = StartScript("wait", false, 2, args, false);
    ASSERT_NE(script, nullptr);
    EXPECT_STREQ(script->name, "wait");
    EXPECT_EQ(script->locals[0], 7);
    EXPECT_EQ(script->locals[1], -8);
    EXPECT_EQ(script->wait, 99) << "it ran at once";
    EXPECT_EQ(StartScript("WAIT", false, 0, nullptr, false), nullptr) << "one of that name runs";
    EXPECT_EQ(g_pool_script.count, 1);

    EXPECT_EQ(StartScript("missing", true, 0, nullptr, false), nullptr);
    GoScript* shared = StartScript("data\\map\\common\\shared.xso", false, 0, nullptr, true);
    ASSERT_NE(shared, nullptr);
    EXPECT_TRUE(shared->flags & GO_FLAG_DEAD) << "an empty script ends in its first run";

    const char* e_fail = "E_FAIL(80004005h)";
    EXPECT_EQ(thrown_text([] { StartScript("missing", false, 0, nullptr, false); }),
              fatal_text(e_fail, "StartScript target doesn't exist: data\\map\\s_10\\s_1010\\missing.xso",
                         "g_scene", 1321));
    EXPECT_EQ(thrown_text([] { StartScript("other.bin", false, 0, nullptr, false); }),
              fatal_text(e_fail, "StartScript target doesn't exist: data\\map\\s_10\\s_1010\\other.bin",
                         "g_scene", 1321));
    const std::string long_name(SCRIPT_NAME_SIZE, 'n');
    EXPECT_EQ(thrown_text([&] { StartScript(long_name.c_str(), true, 0, nullptr, false); }),
              fatal_text(e_fail, "StartScript name too long: " + long_name, "g_scene", 1321));
}

TEST_F(SceneEnter, AFullScriptPoolStartsNothing)
{
    while (obj_create<GoScript>(g_pool_script)) {
    }
    EXPECT_EQ(StartScript("wait", false, 0, nullptr, false), nullptr);
}

TEST_F(SceneEnter, TheSceneMusic)
{
    g_play_state.music_id = SCENE_TEST_MUSIC;
    Bgm_Play(-1, 1);
    EXPECT_EQ(g_bgm_playing, static_cast<std::int32_t>(SCENE_TEST_MUSIC)) << "-1: the scene's own";
    ASSERT_NE(bgm_find(SCENE_TEST_TITLE_MUSIC), nullptr);
    EXPECT_STREQ(bgm_find(SCENE_TEST_TITLE_MUSIC)->name, "title");
    EXPECT_EQ(bgm_find(9), nullptr);
    Bgm_Play(0, 1);
    EXPECT_EQ(g_bgm_playing, 0);
    Bgm_Play(SCENE_TEST_TITLE_MUSIC, 1);
    bgm_stop(1000);
    EXPECT_EQ(g_bgm_playing, 0);

    for (std::uint8_t music_on : {1, 0}) {
        SCOPED_TRACE(music_on);
        g_play_bgm = music_on;
        EXPECT_EQ(thrown_text([] { Bgm_Play(9, 1); }),
                  fatal_text("E_FAIL(80004005h)", "Bgm_Play", "g_scene", 764));
        Bgm_Play(SCENE_TEST_MUSIC, 0);
        EXPECT_EQ(g_bgm_playing, static_cast<std::int32_t>(SCENE_TEST_MUSIC)) << "kept also with music off";
    }
}

// The hero takes key 13 while it is free, then the first free key from 177.
TEST_F(SceneEnter, ThePlayerTakesKey13ThenTheFirstFreeKeyFrom177)
{
    for (std::int32_t expected : {13, 177, 178}) {
        scene_create_player(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 0.0f);
        ASSERT_NE(g_player, nullptr);
        EXPECT_EQ(g_player->key, expected);
        EXPECT_EQ(g_camera_focus, g_player);
        EXPECT_EQ(scene_find_actor(expected), g_player);
    }
    EXPECT_EQ(scene_alloc_actor_key(200), 200);
    EXPECT_EQ(scene_alloc_actor_key(13), 179);
    EXPECT_EQ(scene_alloc_actor_key(0), 179);
    EXPECT_EQ(scene_find_actor(5), nullptr);
    ASSERT_NE(scene_find_cast("CAST_BRAM"), nullptr);
    EXPECT_EQ(scene_find_cast("cast_bram"), nullptr) << "cast names are exact";
}

TEST_F(SceneEnter, TheArrivalRecordWinsOverTheGivenPlace)
{
    const struct {
        const char* tag;
        float x, z, facing;
    } cases[] = {{"", 1.0f, 2.0f, 0.3f}, {"exit", 5.0f, -7.0f, 1.25f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tag);
        obj_destroy_all();
        ArrivalRecord& arrival = g_play_state.arrival;
        sys_copy_string(arrival.tag, c.tag, sizeof arrival.tag);
        arrival.position[0] = 5.0f;
        arrival.position[2] = -7.0f;
        arrival.facing = 1.25f;
        scene_create_player(D3DXVECTOR3(1.0f, 0.0f, 2.0f), 0.3f);
        ASSERT_NE(g_player, nullptr);
        EXPECT_EQ(g_player->world._41, c.x);
        EXPECT_EQ(g_player->world._43, c.z);
        EXPECT_EQ(g_player->facing, c.facing);
        EXPECT_EQ(g_mouse_pointer.anchor_angle, c.facing);
    }
}

// A stick held more than 4 pi / 7 away from the arrival facing is ignored until released.
TEST_F(SceneEnter, AStickHeldAgainstTheFacingIsHeld)
{
    constexpr float facing = 0.5f;
    const struct {
        std::uint32_t direction;
        float angle;
        std::uint8_t held;
    } cases[] = {
        {0, facing + std::numbers::pi_v<float>, 0},
        {INPUT_DIR_LEFT, facing + std::numbers::pi_v<float>, 1},
        {INPUT_DIR_UP, facing - 2.0f, 1},
        {INPUT_DIR_UP, facing + 1.7f, 0},
        {INPUT_DIR_UP, facing + 2.0f * std::numbers::pi_v<float> - 1.0f, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.angle);
        obj_destroy_all();
        InputRecord& input = current_record();
        input.direction = c.direction;
        input.angle = c.angle;
        input.magnitude = c.direction ? 1.0f : 0.0f;
        scene_create_player(D3DXVECTOR3(0.0f, 0.0f, 0.0f), facing);
        ASSERT_NE(g_player, nullptr);
        EXPECT_EQ(g_player->stick_hold, c.held);
    }
}

TEST_F(SceneEnter, FacingZeroPutsThePointerRightOfTheHero)
{
    const StandardWindowOrigin window;
    hud_pointer_init();
    scene_create_player(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 0.0f);
    EXPECT_EQ(g_mouse_pointer.x, 416.0f);
    EXPECT_EQ(g_mouse_pointer.y, 216.0f);
    POINT cursor{};
    ASSERT_TRUE(GetCursorPos(&cursor));
    EXPECT_EQ(cursor.x, 403);
    EXPECT_EQ(cursor.y, 180);
}

TEST_F(SceneEnter, ACastTableWithoutTheHeroIsFatal)
{
    CastInfo* hero = const_cast<CastInfo*>(scene_find_cast("CAST_BRAM"));
    ASSERT_NE(hero, nullptr);
    hero->name[0] = 'c';
    EXPECT_THAT(thrown_text([] { scene_create_player(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 0.0f); }),
                HasSubstr("(80ff000fh)\r\n->CAST_BRAM\n"));
    EXPECT_EQ(g_pool_actor.count, 0);
}

TEST_F(SceneEnter, AFullActorPoolCreatesNoPlayer)
{
    while (obj_create<GoActor>(g_pool_actor)) {
    }
    scene_create_player(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 0.0f);
    EXPECT_EQ(g_player, nullptr);
}

// The No-Fall rescue re-enters the scene with the hero where it entered it.
TEST_F(SceneEnter, TheNoFallRescueReturnsTheHeroToItsSavedPlace)
{
    PlayState& ps = g_play_state;
    g_no_fall = 2;
    ps.saved_position[0] = 7.0f;
    ps.saved_position[2] = 8.0f;
    ps.saved_facing = -1.5707964f;
    enter(SCENE_TEST_ROOM);
    ASSERT_NE(g_player, nullptr);
    EXPECT_EQ(g_no_fall, 0);
    EXPECT_EQ(g_player->world._41, 7.0f);
    EXPECT_EQ(g_player->world._43, 8.0f);
    EXPECT_EQ(g_player->home_point.x, 7.0f);
    EXPECT_EQ(g_player->facing, -1.5707964f);
    EXPECT_EQ(ps.saved_position[0] + ps.saved_position[2] + ps.saved_facing, 0.0f);
}

TEST_F(SceneEnter, TheEntryPlaysTheSceneMusicAndAppliesTheClip)
{
    g_camera_state.near_plane = 9.0f;
    enter(SCENE_TEST_ROOM);
    EXPECT_EQ(g_play_state.game_flags[SCENE_TEST_ENTRY_FLAG], 1);
    EXPECT_EQ(g_bgm_playing, static_cast<std::int32_t>(SCENE_TEST_MUSIC));
    EXPECT_EQ(g_play_state.music_id, static_cast<std::int32_t>(SCENE_TEST_MUSIC));
    EXPECT_EQ(g_play_state.reverb_index, 3);
    EXPECT_EQ(g_camera_state.near_plane, 1.0f);
    EXPECT_EQ(g_camera_state.far_plane, 500.0f);
}

// The scene's reverb goes to the EAX listener when the "Reverb" switch is on.
TEST_F(SceneEnter, TheReverbPresetFollowsTheReverbSwitch)
{
    dsound_seam_reset();
    dsound_seam_use_loopback(true);
    AudioParams params;
    params.window = reinterpret_cast<HWND>(std::uintptr_t{0x10});
    params.reverb = 1;
    ASSERT_EQ(DSound::Initialize(params), S_OK);
    ASSERT_NE(g_eax_listener.property_set, nullptr);
    for (std::uint8_t reverb : {0, 1}) {
        SCOPED_TRACE(reverb);
        g_reverb = reverb;
        g_play_state.reverb_applied = -1;
        enter(SCENE_TEST_ROOM);
        EXPECT_EQ(g_play_state.reverb_size, 1.0f);
        EXPECT_EQ(g_eax_listener.last_preset.environment, reverb ? 3u : 0u);
        EXPECT_EQ(g_play_state.reverb_applied, reverb ? 3 : -1);
    }
    DSound::Shutdown();
    dsound_seam_reset();
}

TEST_F(SceneEnter, TheClipKeepsItsPlanesForAPairThatIsNoRange)
{
    scene_set_clip(2.0f, 300.0f);
    const CameraState& camera = g_camera_state;
    EXPECT_EQ(camera.near_plane, 2.0f);
    EXPECT_EQ(camera.far_plane, 300.0f);
    EXPECT_EQ(camera.limit, 298.0f);
    EXPECT_EQ(camera.biased_near, 2.005f);
    EXPECT_EQ(camera.biased_far, 300.015f);
    const D3DXMATRIX proj = camera.proj;

    const std::pair<float, float> refused[] = {
        {0.0f, 100.0f}, {-1.0f, 100.0f}, {5.0f, 5.0f}, {5.0f, 4.0f}, {std::nanf(""), 100.0f}};
    for (const auto& [near_plane, far_plane] : refused) {
        SCOPED_TRACE(near_plane);
        scene_set_clip(near_plane, far_plane);
        EXPECT_EQ(camera.near_plane, 2.0f);
        EXPECT_EQ(camera.far_plane, 300.0f);
        EXPECT_EQ(std::memcmp(&camera.proj, &proj, sizeof proj), 0);
    }
}

TEST_F(SceneEnter, TheSceneCommands)
{
    StartScript("commands", false, 0, nullptr, false);
    EXPECT_EQ(g_camera_state.near_plane, 3.0f);
    EXPECT_EQ(g_camera_state.far_plane, 400.0f);
    EXPECT_EQ(g_bgm_playing, static_cast<std::int32_t>(SCENE_TEST_MUSIC));
    EXPECT_EQ(g_play_state.requested_scene_id, 0) << "an unknown path changes nothing";
    const GoScript* started = script_find_running("wait");
    ASSERT_NE(started, nullptr);
    EXPECT_EQ(started->locals[0], 5);
    EXPECT_EQ(started->locals[2], 7);

    GoScript* next = StartScript("next", false, 0, nullptr, false);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(g_scene_override, SCENE_TEST_CHAIN + 2);
    EXPECT_TRUE(next->flags & GO_FLAG_DEAD) << "the command ends the script";
    EXPECT_EQ(g_play_state.game_flags[k_after_flag], 0);

    g_play_state.requested_scene_id = SCENE_TEST_ROOM;
    StartScript("change", false, 0, nullptr, false);
    EXPECT_EQ(g_play_state.requested_scene_id, SCENE_TEST_ROOM) << "not forced";
    EXPECT_EQ(g_bgm_playing, 0);
    g_play_state.requested_scene_id = 0;
    StartScript("change", false, 0, nullptr, false);
    EXPECT_EQ(g_play_state.requested_scene_id, SCENE_TEST_CHAIN + 2);

    go_kill(*script_find_running("wait"));
    g_scene_change_busy = 0;
    EXPECT_EQ(thrown_text([] { StartScript("many", false, 0, nullptr, false); }),
              fatal_text("E_FAIL(80004005h)", "data\\map\\s_10\\s_1010\\wait.xso", "go_script", 80));
}

} // namespace
