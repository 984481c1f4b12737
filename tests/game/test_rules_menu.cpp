#include "game/rules_fixture.h"

#include "game/g_rules.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wndmain2.h"
#include "object/wnd/go_wndshop2.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

namespace {

GoWndMain2* camp_menu()
{
    return g_pool_wndmain2.count ? static_cast<GoWndMain2*>(g_pool_wndmain2.active[0]) : nullptr;
}

GoWndShop2* shop()
{
    return g_pool_wndshop2.count ? static_cast<GoWndShop2*>(g_pool_wndshop2.active[0]) : nullptr;
}

// A pool that has no room, for one case.
class NoRoom {
public:
    explicit NoRoom(MemPoolDesc& pool) : m_pool(pool), m_capacity(pool.capacity)
    {
        pool.capacity = pool.count;
    }
    ~NoRoom() { m_pool.capacity = m_capacity; }
    NoRoom(const NoRoom&) = delete;
    NoRoom& operator=(const NoRoom&) = delete;

private:
    MemPoolDesc& m_pool;
    std::int32_t m_capacity;
};

class RulesMenu : public RulesTest {
protected:
    void SetUp() override
    {
        RulesTest::SetUp();
        set_player_hp(50.0f);
    }
    static GoWndMain2& open_menu(std::int32_t mode = MAIN2_MODE_CAMP)
    {
        game_toggle_main_menu(mode);
        EXPECT_NE(camp_menu(), nullptr);
        return *camp_menu();
    }
    static GoWndShop2& open_shop(std::int32_t kind)
    {
        game_toggle_shop(kind);
        EXPECT_NE(shop(), nullptr);
        return *shop();
    }
};

TEST_F(RulesMenu, TheCampMenuOpensOnTheStartPageOfItsMode)
{
    const struct {
        std::int32_t mode;
        std::int32_t page;
    } cases[] = {{0, 0}, {1, 4}, {2, 8}, {4, 17}, {3, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        g_menu_open = 0;
        const GoWndMain2& menu = open_menu(c.mode);
        EXPECT_EQ(menu.mode, c.mode);
        EXPECT_EQ(menu.page, c.page);
        EXPECT_EQ(menu.close_request, 0);
        EXPECT_EQ(menu.GetClassCode(), GO_CLASS_WNDMAIN2);
        EXPECT_EQ(g_menu_open, MENU_OPEN_CAMP);
        obj_destroy_all();
    }
}

// Opening unlocks the first three pictures while the first is still locked, and only then.
TEST_F(RulesMenu, OpeningUnlocksTheFirstPicturesOnce)
{
    open_menu();
    EXPECT_EQ(g_play_state.gallery[0], 1);
    EXPECT_EQ(g_play_state.gallery[1], 1);
    EXPECT_EQ(g_play_state.gallery[2], 1);
    EXPECT_EQ(g_play_state.gallery[3], 0);
    obj_destroy_all();
    g_menu_open = 0;
    g_play_state.gallery[1] = g_play_state.gallery[2] = 0;
    open_menu();
    EXPECT_EQ(g_play_state.gallery[1], 0);
    EXPECT_EQ(g_play_state.gallery[2], 0);
}

TEST_F(RulesMenu, TogglingAnOpenOrClosingMenuOnlyAsksItToClose)
{
    GoWndMain2& menu = open_menu();
    game_toggle_main_menu(0);
    EXPECT_EQ(menu.close_request, 1);
    EXPECT_EQ(g_menu_open, 0u);
    // Still there, closing: the request again, no second menu, the bit stays clear.
    menu.close_request = 0;
    game_toggle_main_menu(0);
    EXPECT_EQ(menu.close_request, 1);
    EXPECT_EQ(g_menu_open, 0u);
    EXPECT_EQ(g_pool_wndmain2.count, 1);
}

TEST_F(RulesMenu, ADeadPlayerGetsNoMenuAndNoShop)
{
    set_player_hp(0.5f);
    game_toggle_main_menu(0);
    game_toggle_shop(1);
    EXPECT_EQ(camp_menu(), nullptr);
    EXPECT_EQ(shop(), nullptr);
    EXPECT_EQ(g_menu_open, 0u);
}

// The bit is set all the same, so the world pauses as the menu asked for.
TEST_F(RulesMenu, AFullPoolOpensNoMenuButSetsTheBit)
{
    {
        const NoRoom full(g_pool_wndmain2);
        game_toggle_main_menu(0);
    }
    EXPECT_EQ(camp_menu(), nullptr);
    EXPECT_EQ(g_menu_open, MENU_OPEN_CAMP);
}

TEST_F(RulesMenu, TheShopClosesTheCampMenuAndTheCampMenuTheShop)
{
    GoWndMain2& menu = open_menu();
    const GoWndShop2& opened = open_shop(2);
    EXPECT_EQ(menu.close_request, 1);
    EXPECT_EQ(opened.kind, 2);
    EXPECT_EQ(opened.page, 1);
    EXPECT_EQ(opened.GetClassCode(), GO_CLASS_WNDSHOP2);
    EXPECT_EQ(g_menu_open, MENU_OPEN_SHOP);

    obj_destroy_all();
    g_menu_open = 0;
    GoWndShop2& open = open_shop(SHOP_KIND_BLACKSMITH);
    EXPECT_EQ(open.page, 4);
    open_menu();
    EXPECT_EQ(open.close_request, 1);
    EXPECT_EQ(g_menu_open, MENU_OPEN_CAMP);
}

TEST_F(RulesMenu, ShopToggleCases)
{
    const struct {
        const char* name;
        std::function<void()> before;
        std::int32_t kind;
        bool shop_after;
        std::uint32_t bits_after;
    } cases[] = {
        {"-1 with nothing open opens nothing", [] {}, -1, false, 0},
        {"an open shop is asked to close", [] { game_toggle_shop(0); }, 3, true, 0},
        {"-1 closes an open shop", [] { game_toggle_shop(0); }, -1, true, 0},
        {"a shop still closing blocks a new one",
         [] {
             game_toggle_shop(0);
             g_menu_open = 0;
         },
         1, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        obj_destroy_all();
        g_menu_open = 0;
        c.before();
        if (GoWndShop2* before = shop()) before->close_request = 0;
        game_toggle_shop(c.kind);
        EXPECT_EQ(shop() != nullptr, c.shop_after);
        EXPECT_EQ(g_menu_open, c.bits_after);
        if (c.shop_after) {
            EXPECT_EQ(g_pool_wndshop2.count, 1);
            EXPECT_EQ(shop()->kind, 0) << "the shop open before stays";
        }
    }
    // Asked to close only where the bit said it was open.
    obj_destroy_all();
    g_menu_open = 0;
    GoWndShop2& closing = open_shop(0);
    g_menu_open = 0;
    game_toggle_shop(1);
    EXPECT_EQ(closing.close_request, 0);
    g_menu_open = MENU_OPEN_SHOP;
    game_toggle_shop(-1);
    EXPECT_EQ(closing.close_request, 1);
}

TEST_F(RulesMenu, AFullShopPoolOpensNoShopButSetsTheBit)
{
    {
        const NoRoom full(g_pool_wndshop2);
        game_toggle_shop(0);
    }
    EXPECT_EQ(shop(), nullptr);
    EXPECT_EQ(g_menu_open, MENU_OPEN_SHOP);
}

} // namespace
