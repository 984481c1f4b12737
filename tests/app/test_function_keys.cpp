#include "app/app_window.h"
#include "game/g_achievements.h"
#include "game/g_fade.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "game/g_settings.h"
#include "lib/demo_scenes.h"
#include "object/actor/go_actor.h"
#include "object/go_script.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddemo.h"
#include "object/wnd/go_wndmain2.h"
#include "object/wnd/go_wndshop2.h"
#include "object/xx/go_xx.h"
#include "platform/impl/d3d8_seams.h"
#include "platform/impl/steam_api_seams.h"
#include "platform/win_window.h"

#include "app_fixture.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace {

// The game started in this process and played into the first map, where the player stands free:
// no event holds the world and the fade has cleared. The store lives in a folder of the test's.
class FunctionKeys : public FramePass {
protected:
    void SetUp() override
    {
        seam_set_store_folder(m_store.host("store"));
        FramePass::SetUp();
        g_scene_pending = SCENE_PENDING_CLEAR | SCENE_PENDING_ENTER;
        ASSERT_TRUE(
            run_until([] { return g_play_state.scene_id == DEMO_TITLE_SCENE && !g_scene_pending; }, 3));
        title_start_game();
        ASSERT_TRUE(run_until(
            [] {
                return g_play_state.scene_id == DEMO_FIRST_MAP_SCENE && !g_scene_pending && g_player &&
                       !script_event_running() && g_fade.value == 0.0f;
            },
            600));
        g_no_fall = 0;
    }
    void TearDown() override
    {
        FramePass::TearDown();
        seam_set_store_folder("");
        g_game_clear_flag = g_game_clear_flag_nightmare = 0;
        std::fill(std::begin(g_bonus_requests), std::end(g_bonus_requests), std::uint8_t{0});
    }

    // Runs frames of one tick each until the condition holds; false when it did not within `frames`.
    bool run_until(const std::function<bool()>& condition, int frames)
    {
        for (int i = 0; i < frames; ++i) {
            run_frame(k_tick);
            if (condition()) return true;
        }
        return false;
    }

    // The key as the window procedure receives it.
    static void press(WPARAM key) { SendMessageA(g_hwnd, WM_KEYDOWN, key, 0); }

    static std::int32_t* flags() { return g_play_state.game_flags; }

    static bool unlocked(int achievement)
    {
        bool achieved = false;
        SteamUserStats()->GetAchievement(achv_name(achievement), &achieved);
        return achieved;
    }

    // The live animated sprites; with `dead_too` also those the sweep has not deleted yet.
    static std::vector<GoXx*> anim_sprites(bool dead_too = false)
    {
        std::vector<GoXx*> found;
        for (std::int32_t i = 0; i < g_pool_xx.count; ++i) {
            auto* object = static_cast<GoXx*>(g_pool_xx.active[i]);
            const bool listed = dead_too || !(object->flags & GO_FLAG_DEAD);
            if (object->role == GOXX_ANIM_SPRITE && listed) found.push_back(object);
        }
        return found;
    }

    TempFolder m_store;
};

// ---- F1 -------------------------------------------------------------------------------------------

TEST_F(FunctionKeys, F1InEasySwitchesNoFallAndUnlocksBadAtPlatformers)
{
    flags()[GF_EASY] = 1;
    ASSERT_FALSE(unlocked(ACHV_BAD_AT_PLATFORMERS));
    press(VK_F1);
    EXPECT_EQ(g_no_fall, 1);
    EXPECT_TRUE(unlocked(ACHV_BAD_AT_PLATFORMERS));
    const StoreStatsCall set{"SetAchievement", achv_name(ACHV_BAD_AT_PLATFORMERS), 1, 0};
    EXPECT_NE(std::ranges::find(seam_stats_call_log(), set), seam_stats_call_log().end());
    press(VK_F1);
    EXPECT_EQ(g_no_fall, 0);
    press(VK_F1);
    EXPECT_EQ(g_no_fall, 1);

    // A caught fall (2) switches off.
    g_no_fall = 2;
    press(VK_F1);
    EXPECT_EQ(g_no_fall, 0);
}

TEST_F(FunctionKeys, F1DoesNothingOutsideEasyOrWhileAnEventHoldsTheWorld)
{
    for (std::int32_t easy : {0, 2}) {
        flags()[GF_EASY] = easy;
        press(VK_F1);
        EXPECT_EQ(g_no_fall, 0) << "Easy " << easy;
    }
    flags()[GF_EASY] = 1;
    for (int mode : {0, 1}) {
        ++g_event_lock_count[mode];
        press(VK_F1);
        --g_event_lock_count[mode];
        EXPECT_EQ(g_no_fall, 0) << "lock " << mode;
    }
    EXPECT_FALSE(unlocked(ACHV_BAD_AT_PLATFORMERS));
    // A lock of another mode leaves the player free.
    ++g_event_lock_count[2];
    press(VK_F1);
    --g_event_lock_count[2];
    EXPECT_EQ(g_no_fall, 1);
}

// ---- F2 to F5 -------------------------------------------------------------------------------------

TEST_F(FunctionKeys, F2ToF5RequestTheirBonusOnlyAfterThreeClearsWithNightmare)
{
    const struct {
        const char* name;
        std::uint8_t clears;
        std::uint8_t nightmare;
        std::int32_t time_attack;
        bool requested;
    } cases[] = {
        {"three clears, Nightmare cleared", 3, 1, 0, true},
        {"Nightmare cleared twice", 3, 2, 0, true},
        {"Nightmare never cleared", 3, 0, 0, false},
        {"two clears", 2, 1, 0, false},
        {"time attack", 3, 1, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_game_clear_flag = c.clears;
        g_game_clear_flag_nightmare = c.nightmare;
        flags()[GF_TIME_ATTACK] = c.time_attack;
        for (int key = 0; key < PLAY_BONUS_KEYS; ++key) {
            std::fill(std::begin(g_bonus_requests), std::end(g_bonus_requests), std::uint8_t{0});
            press(static_cast<WPARAM>(VK_F2 + key));
            for (int byte = 0; byte < PLAY_BONUS_KEYS; ++byte)
                EXPECT_EQ(g_bonus_requests[byte], c.requested && byte == key ? 1 : 0) << "F" << key + 2;
        }
    }
}

// ---- F11 and F12 ----------------------------------------------------------------------------------

// A window of the class that only stands there: the keys look for the class's objects, not for
// what they do.
template <typename Window> class StandingWindow final : public Window {
public:
    void Update() override {}
};

class QuickSave : public FunctionKeys {
protected:
    void SetUp() override
    {
        FunctionKeys::SetUp();
        flags()[GF_EASY] = flags()[GF_VERY_EASY] = flags()[GF_QUICK_SAVE_OK] = 1;
    }

    static D3DXVECTOR3 player_position() { return actor_position(*g_player); }
    // The player walks away: it stands elsewhere and its home point is there too.
    static void move_player_to(const D3DXVECTOR3& to)
    {
        g_player->world._41 = to.x;
        g_player->world._42 = to.y;
        g_player->world._43 = to.z;
        g_player->home_point = to;
    }

    // A window of the class stands for the time of one case.
    template <typename Window> void open_window(MemPool<Window>& pool)
    {
        m_window = obj_create<StandingWindow<Window>>(pool);
    }
    void close_window()
    {
        go_kill(*m_window);
        obj_sweep_dead();
    }

    // The last frame drew with the marker's frame texture.
    static bool drawn(GoXx& marker)
    {
        IDirect3DTexture8* texture = marker.area<AnimSprite>().script->textures[0].texture;
        return texture && std::ranges::any_of(d3d8_seam_draws(), [&](const D3D8DrawRecord& draw) {
                   return draw.state.textures[0] == texture;
               });
    }

    GoBase* m_window = nullptr;
    GoActor* m_player = nullptr;
};

TEST_F(QuickSave, F12SavesWithAMarkerF12LoadsBackAndF11Deletes)
{
    const D3DXVECTOR3 saved = player_position();
    press(VK_F12);
    EXPECT_EQ(g_player->quick_save, 1);
    EXPECT_EQ(g_player->quick_save_position, saved);
    std::vector<GoXx*> sprites = anim_sprites();
    ASSERT_EQ(sprites.size(), 1u);
    GoXx* marker = sprites[0];
    EXPECT_EQ(g_quick_save_marker.get(), marker);
    const AnimSprite& pose = marker->area<AnimSprite>();
    EXPECT_EQ(pose.params.position, saved);
    EXPECT_EQ(pose.params.script_set, g_player->script_set);
    EXPECT_EQ(pose.params.action, g_player->script.current_action);
    EXPECT_EQ(pose.params.image_archive, g_player->script.image_archive);
    EXPECT_FLOAT_EQ(pose.params.facing, g_player->facing);
    EXPECT_FLOAT_EQ(pose.params.frame_value, g_player->script.height_offset);
    EXPECT_FLOAT_EQ(pose.params.foot_drop, g_player->foot_offset);
    EXPECT_FLOAT_EQ(pose.params.shadow_height, g_player->ground_height);
    EXPECT_FLOAT_EQ(pose.params.shadow_radius, g_player->shadow_size);

    // The marker stands in the world while the player goes on.
    const D3DXVECTOR3 away = saved + D3DXVECTOR3(2.0f, 0.0f, 1.0f);
    move_player_to(away);
    d3d8_seam_log_draws(true);
    run_frame(k_tick);
    EXPECT_EQ(g_quick_save_marker.get(), marker);
    EXPECT_TRUE(drawn(*marker)) << "the frame shows it";

    // Load: back at the saved place, home point too; the marker goes.
    move_player_to(away);
    press(VK_F12);
    EXPECT_EQ(g_player->quick_save, 0);
    EXPECT_EQ(player_position(), saved);
    EXPECT_EQ(g_player->home_point, saved);
    EXPECT_TRUE(anim_sprites().empty());
    EXPECT_FALSE(g_quick_save_marker);
    run_frame(k_tick);
    EXPECT_TRUE(anim_sprites(true).empty()) << "swept";

    // Save again, then delete: the player stays where it is.
    press(VK_F12);
    ASSERT_EQ(anim_sprites().size(), 1u);
    move_player_to(away);
    press(VK_F11);
    EXPECT_EQ(g_player->quick_save, 0);
    EXPECT_EQ(player_position(), away);
    EXPECT_TRUE(anim_sprites().empty());

    // F11 without a quick save does nothing; the next F12 saves afresh.
    press(VK_F11);
    EXPECT_EQ(g_player->quick_save, 0);
    press(VK_F12);
    EXPECT_EQ(g_player->quick_save_position, away);
}

// A sprite of the same subtype made after the marker (an event's figure) is left standing: the
// load kills the marker it made, by its id.
TEST_F(QuickSave, TheLoadKillsItsOwnMarkerNotALaterSpriteOfTheSameKind)
{
    press(VK_F12);
    GoXx* marker = g_quick_save_marker.get();
    ASSERT_NE(marker, nullptr);
    GoXx* figure = obj_create<GoXx>(g_pool_xx);
    ASSERT_NE(figure, nullptr);
    AnimSpriteParams params = marker->area<AnimSprite>().params;
    params.position.x += 3.0f;
    goxx_init_anim_sprite(*figure, params);

    press(VK_F12);
    EXPECT_TRUE(marker->flags & GO_FLAG_DEAD);
    EXPECT_FALSE(figure->flags & GO_FLAG_DEAD);
    EXPECT_EQ(anim_sprites(), std::vector<GoXx*>{figure});
}

TEST_F(QuickSave, AFullPoolSavesThePlaceWithoutAMarker)
{
    std::vector<GoXx*> fillers;
    while (GoXx* filler = obj_create<GoXx>(g_pool_xx))
        fillers.push_back(filler);
    const D3DXVECTOR3 saved = player_position();
    press(VK_F12);
    EXPECT_EQ(g_player->quick_save, 1);
    EXPECT_FALSE(g_quick_save_marker);
    for (GoXx* filler : fillers)
        go_kill(*filler);
    run_frame(k_tick);

    move_player_to(saved + D3DXVECTOR3(0.0f, 0.0f, 2.0f));
    press(VK_F12);
    EXPECT_EQ(g_player->quick_save, 0);
    EXPECT_EQ(player_position(), saved);
}

TEST_F(QuickSave, EveryUnmetConditionLeavesAllThreeKeysDoingNothing)
{
    const struct {
        const char* name;
        std::function<void()> spoil;
        std::function<void()> mend;
    } cases[] = {
        {"not Easy", [] { flags()[GF_EASY] = 0; }, [] { flags()[GF_EASY] = 1; }},
        {"not Very Easy", [] { flags()[GF_VERY_EASY] = 0; }, [] { flags()[GF_VERY_EASY] = 1; }},
        {"not a quick-save scene", [] { flags()[GF_QUICK_SAVE_OK] = 0; },
         [] { flags()[GF_QUICK_SAVE_OK] = 1; }},
        {"time attack", [] { flags()[GF_TIME_ATTACK] = 1; }, [] { flags()[GF_TIME_ATTACK] = 0; }},
        {"a locked fight", [] { flags()[GF_LOCKED_FIGHT] = 1; }, [] { flags()[GF_LOCKED_FIGHT] = 0; }},
        {"scene bounds", [] { flags()[GF_SCENE_BOUNDS] = 1; }, [] { flags()[GF_SCENE_BOUNDS] = 0; }},
        {"a boss battle", [] { flags()[GF_BATTLE] = 1; }, [] { flags()[GF_BATTLE] = 0; }},
        {"event lock 0", [] { ++g_event_lock_count[0]; }, [] { --g_event_lock_count[0]; }},
        {"event lock 1", [] { ++g_event_lock_count[1]; }, [] { --g_event_lock_count[1]; }},
        {"the fade", [] { g_fade.value = 0.01f; }, [] { g_fade.value = 0.0f; }},
        {"the camp menu", [this] { open_window(g_pool_wndmain2); }, [this] { close_window(); }},
        {"the shop", [this] { open_window(g_pool_wndshop2); }, [this] { close_window(); }},
        {"the title", [this] { open_window(g_pool_wnddemo); }, [this] { close_window(); }},
        {"no player", [this] { m_player = std::exchange(g_player, nullptr); },
         [this] { g_player = m_player; }},
    };
    const D3DXVECTOR3 saved = player_position();
    const D3DXVECTOR3 away = saved + D3DXVECTOR3(1.0f, 0.0f, 0.0f);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // Without a quick save F12 makes none.
        c.spoil();
        press(VK_F12);
        c.mend();
        EXPECT_EQ(g_player->quick_save, 0);
        EXPECT_TRUE(anim_sprites().empty());

        // With one, neither F12 loads nor F11 deletes.
        press(VK_F12);
        ASSERT_EQ(g_player->quick_save, 1);
        move_player_to(away);
        c.spoil();
        press(VK_F12);
        press(VK_F11);
        c.mend();
        EXPECT_EQ(g_player->quick_save, 1);
        EXPECT_EQ(player_position(), away);
        EXPECT_EQ(anim_sprites().size(), 1u);
        press(VK_F11);
        ASSERT_EQ(g_player->quick_save, 0);
        move_player_to(saved);
    }
}

} // namespace
