#include "app/app_loop.h"
#include "game/g_fade.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_play_status.h"
#include "game/g_rules.h"
#include "lowlv/input/input_state.h"
#include "object/go_script.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddemo.h"
#include "object/wnd/go_wndmain2.h"
#include "object/wnd/go_wndshop2.h"
#include "platform/dinput.h"
#include "platform/impl/dinput_seams.h"

#include "app_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

namespace {

// A window of the class that only stands there: the key looks for the class's objects.
template <typename Window> class StandingWindow final : public Window {
public:
    void Update() override {}
};

// The started game runs frames of one tick each over an empty world with a standing player
// record; the next frame's poll sees Esc newly down.
class MenuKey : public FramePass {
protected:
    void SetUp() override
    {
        FramePass::SetUp();
        PlayState& ps = g_play_state;
        ps.status.level = PLAY_LEVEL_MAX;
        ps.status.max_hp = 100.0f;
        ps.status.hp = 50.0f;
        g_fade = {};
        g_menu_open = 0;
    }
    void TearDown() override
    {
        obj_destroy_all();
        g_menu_open = 0;
        for (std::int32_t& count : g_event_lock_count)
            count = 0;
        g_play_state = {};
        FramePass::TearDown();
    }

    static void press_menu_key_next()
    {
        dinput_seam_reset();
        dinput_seam_script_input(true);
        input_reset();
        dinput_seam_queue_keys({DIK_ESCAPE});
        dinput_seam_queue_keys({});
    }
    void frame_with_menu_key()
    {
        press_menu_key_next();
        run_frame(k_tick);
    }
};

// Where the player is free the key opens the camp menu on its first page.
TEST_F(MenuKey, OpensTheCampMenu)
{
    frame_with_menu_key();
    ASSERT_EQ(g_pool_wndmain2.count, 1);
    const auto* menu = static_cast<const GoWndMain2*>(g_pool_wndmain2.active[0]);
    EXPECT_EQ(menu->mode, MAIN2_MODE_CAMP);
    EXPECT_EQ(g_menu_open, MENU_OPEN_CAMP);
}

// A time attack, a battle, an event of either world-holding lock or a fade leave the press as it
// is and open nothing.
TEST_F(MenuKey, EachBlockingConditionLeavesThePressAlone)
{
    const struct {
        const char* name;
        std::function<void()> block;
    } cases[] = {
        {"time attack", [] { g_play_state.game_flags[GF_TIME_ATTACK] = 1; }},
        {"battle", [] { g_play_state.game_flags[GF_BATTLE] = 1; }},
        {"event lock 0", [] { g_event_lock_count[EVENT_LOCK_EVENT] = 1; }},
        {"event lock 1", [] { g_event_lock_count[EVENT_LOCK_EVENT_NO_AI] = 1; }},
        {"a fade", [] { g_fade.value = g_fade.target = 0.5f; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.block();
        frame_with_menu_key();
        EXPECT_EQ(g_pool_wndmain2.count, 0);
        EXPECT_EQ(g_menu_open, 0u);
        EXPECT_EQ(current_record().pressed & (INPUT_MENU | INPUT_CANCEL), INPUT_MENU);
        g_play_state.game_flags[GF_TIME_ATTACK] = g_play_state.game_flags[GF_BATTLE] = 0;
        g_event_lock_count[EVENT_LOCK_EVENT] = g_event_lock_count[EVENT_LOCK_EVENT_NO_AI] = 0;
        g_fade = {};
    }
    // The counted lock does not hold the world.
    g_event_lock_count[EVENT_LOCK_COUNTED] = 1;
    frame_with_menu_key();
    EXPECT_EQ(g_pool_wndmain2.count, 1);
}

// Over the shop or the title the press becomes their cancel and opens nothing.
TEST_F(MenuKey, OverAnotherWindowThePressBecomesCancel)
{
    const struct {
        const char* name;
        std::function<void()> open;
    } cases[] = {
        {"shop", [] { obj_create<StandingWindow<GoWndShop2>>(g_pool_wndshop2); }},
        {"title", [] { obj_create<StandingWindow<GoWndDemo>>(g_pool_wnddemo); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.open();
        frame_with_menu_key();
        EXPECT_EQ(g_pool_wndmain2.count, 0);
        EXPECT_EQ(current_record().pressed & (INPUT_MENU | INPUT_CANCEL), INPUT_CANCEL);
        obj_destroy_all();
    }
}

// With the camp menu open the key is its cancel: the menu closes and is swept in the same frame.
TEST_F(MenuKey, WithTheCampMenuOpenTheKeyClosesIt)
{
    frame_with_menu_key();
    ASSERT_EQ(g_pool_wndmain2.count, 1);
    run_frame(k_tick);
    run_frame(k_tick);
    frame_with_menu_key();
    EXPECT_EQ(current_record().pressed & (INPUT_MENU | INPUT_CANCEL), INPUT_CANCEL);
    EXPECT_EQ(g_menu_open, 0u);
    EXPECT_EQ(g_pool_wndmain2.count, 0);
}

} // namespace
