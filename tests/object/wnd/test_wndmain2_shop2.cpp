#include "game/rules_fixture.h"

#include "game/g_game_flags.h"
#include "game/g_scene.h"
#include "lowlv/input/input_state.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wndmain2.h"
#include "object/wnd/go_wndshop2.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

InputRecord& current_input()
{
    return g_input_ring.records[g_input_ring.current];
}

// The camp menu and the shop over a standing player, run tick by tick with the input the test
// sets for each tick.
class MenuWindows : public RulesTest {
protected:
    void SetUp() override
    {
        RulesTest::SetUp();
        add_player(50.0f);
        current_input() = {};
    }
    void TearDown() override
    {
        current_input() = {};
        RulesTest::TearDown();
    }
    // One whole tick with the buttons newly pressed.
    void tick(std::uint32_t pressed = 0)
    {
        current_input().pressed = pressed;
        step();
        current_input().pressed = 0;
    }
};

// Cancel on the third tick closes the camp menu as its page -1 does: the matching equipment set
// is noted, the time-attack clocks restart, the bit is cleared and the window dies; in the first
// two ticks the same press does nothing.
TEST_F(MenuWindows, CancelAfterTwoTicksClosesTheCampMenu)
{
    std::int32_t* flags = g_play_state.game_flags;
    flags[GF_WEAPON] = 3;
    flags[GF_SHIELD] = 9;
    flags[GF_ARMOUR] = 15;
    g_timeattack_stage_ticks = 40;
    g_timeattack_total_ticks = 400;
    game_toggle_main_menu(MAIN2_MODE_CAMP);
    auto* menu = static_cast<GoWndMain2*>(g_pool_wndmain2.active[0]);
    const std::size_t sounds_before = sounds_played().size();
    tick(INPUT_CANCEL);
    tick(INPUT_CANCEL);
    EXPECT_FALSE(menu->flags & GO_FLAG_DEAD);
    EXPECT_EQ(g_menu_open, MENU_OPEN_CAMP);
    EXPECT_TRUE(sounds_since(sounds_before).empty());
    EXPECT_EQ(g_timeattack_stage_ticks, 40);

    tick(INPUT_CANCEL);
    EXPECT_TRUE(menu->flags & GO_FLAG_DEAD);
    EXPECT_FALSE(menu->hit_shape.class_bits & HIT_ACTIVE);
    EXPECT_EQ(menu->page, MENU_PAGE_CLOSE);
    EXPECT_EQ(g_menu_open, 0u);
    EXPECT_EQ(flags[GF_EQUIP_SET], 3);
    EXPECT_EQ(g_timeattack_stage_ticks, 0);
    EXPECT_EQ(g_timeattack_total_ticks, 0);
    EXPECT_EQ(sounds_since(sounds_before), std::vector<std::int32_t>{MENU_SOUND_CANCEL});
}

TEST_F(MenuWindows, TheEquipmentSetNeedsAllThreePiecesOfOneWeapon)
{
    const struct {
        std::int32_t weapon, shield, armour, set;
    } cases[] = {{3, 9, 15, 3}, {1, 7, 13, 1}, {5, 11, 17, 5}, {3, 9, 14, 0},
                 {3, 8, 15, 0}, {0, 6, 12, 0}, {-1, 5, 11, 0}};
    std::int32_t* flags = g_play_state.game_flags;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.weapon);
        flags[GF_WEAPON] = c.weapon;
        flags[GF_SHIELD] = c.shield;
        flags[GF_ARMOUR] = c.armour;
        flags[GF_EQUIP_SET] = 99;
        game_toggle_main_menu(MAIN2_MODE_CAMP);
        auto* menu = static_cast<GoWndMain2*>(g_pool_wndmain2.active[0]);
        menu->tick_count = MENU_DEAF_TICKS;
        menu->page = MENU_PAGE_CLOSE;
        EXPECT_FALSE(menu->RunPanels());
        EXPECT_EQ(flags[GF_EQUIP_SET], c.set);
        obj_destroy_all();
    }
}

TEST_F(MenuWindows, CancelAfterTwoTicksClosesTheShop)
{
    game_toggle_shop(1);
    auto* shop = static_cast<GoWndShop2*>(g_pool_wndshop2.active[0]);
    const std::size_t sounds_before = sounds_played().size();
    tick(INPUT_CANCEL);
    tick(INPUT_CANCEL);
    EXPECT_FALSE(shop->flags & GO_FLAG_DEAD);
    EXPECT_EQ(g_menu_open, MENU_OPEN_SHOP);
    tick(INPUT_CANCEL);
    EXPECT_TRUE(shop->flags & GO_FLAG_DEAD);
    EXPECT_EQ(g_menu_open, 0u);
    EXPECT_EQ(sounds_since(sounds_before), std::vector<std::int32_t>{MENU_SOUND_CANCEL});
}

// Without a cancel the windows stay; a close request kills them on their next update, with no
// sound and without touching the bits (the toggle cleared them).
TEST_F(MenuWindows, ACloseRequestKillsBothWindows)
{
    game_toggle_main_menu(MAIN2_MODE_SAVE);
    auto* menu = static_cast<GoWndMain2*>(g_pool_wndmain2.active[0]);
    for (int i = 0; i < 5; ++i)
        tick();
    EXPECT_FALSE(menu->flags & GO_FLAG_DEAD);
    const std::size_t sounds_before = sounds_played().size();
    menu->close_request = 1;
    tick();
    EXPECT_TRUE(menu->flags & GO_FLAG_DEAD);
    EXPECT_EQ(g_menu_open, MENU_OPEN_CAMP);

    obj_destroy_all();
    g_menu_open = 0;
    game_toggle_shop(0);
    auto* shop = static_cast<GoWndShop2*>(g_pool_wndshop2.active[0]);
    shop->close_request = 1;
    tick(INPUT_CANCEL);
    EXPECT_TRUE(shop->flags & GO_FLAG_DEAD);
    EXPECT_EQ(g_menu_open, MENU_OPEN_SHOP);
    EXPECT_TRUE(sounds_since(sounds_before).empty());
}

// While a window stays open, what runs after it in the tick sees no direction, buttons or steps;
// the record is whole again after the tick.
TEST_F(MenuWindows, AnOpenMenuTakesTheInputFromTheWorld)
{
    game_toggle_main_menu(MAIN2_MODE_CAMP);
    const GoActor* behind = spawn(g_pool_actor);
    InputRecord seen{};
    m_on_update = [&](GoBase& object) {
        if (&object == behind) seen = current_input();
    };
    current_input().cursor_x = 7;
    current_input().direction = INPUT_DIR_UP;
    current_input().held = INPUT_ACTION;
    current_input().step_y = -1;
    tick(INPUT_JUMP);
    EXPECT_EQ(seen.cursor_x, 7);
    EXPECT_EQ(seen.direction, 0u);
    EXPECT_EQ(seen.held, 0u);
    EXPECT_EQ(seen.pressed, 0u);
    EXPECT_EQ(seen.step_y, 0);
    EXPECT_EQ(current_input().held, INPUT_ACTION);
}

} // namespace
