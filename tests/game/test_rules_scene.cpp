#include "game/rules_fixture.h"

#include "core/errors.h"
#include "game/g_fade.h"
#include "game/g_game_flags.h"
#include "game/g_gameover.h"
#include "game/g_rules.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddialog.h"
#include "object/xx/go_xx.h"
#include "scenegraph/renderer.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

D3DXVECTOR4 colour_of(std::uint32_t argb)
{
    float rgba[4];
    renderer_color_from_argb(argb, rgba);
    return {rgba[0], rgba[1], rgba[2], rgba[3]};
}

void expect_vec4(const D3DXVECTOR4& got, const D3DXVECTOR4& want)
{
    EXPECT_FLOAT_EQ(got.x, want.x);
    EXPECT_FLOAT_EQ(got.y, want.y);
    EXPECT_FLOAT_EQ(got.z, want.z);
    EXPECT_FLOAT_EQ(got.w, want.w);
}

// ---- Lights -----------------------------------------------------------------------------------------

using RulesLight = RulesTest;

// The renderer's light block takes the values at once, and the scene keeps them for the frames to
// come: the direction unit length with its w kept, the colours as floats.
TEST_F(RulesLight, TheMainLightReachesTheRenderer)
{
    g_scene_lighting.light_direction.w = 0.25f;
    play_scene_lighting().light_direction.w = 0.25f;
    game_set_light_main(0x80FF4020u, {3.0f, 0.0f, -4.0f});
    expect_vec4(g_scene_lighting.light_colors[0], colour_of(0x80FF4020u));
    expect_vec4(g_scene_lighting.light_direction, {0.6f, 0.0f, -0.8f, 0.25f});
    expect_vec4(play_scene_lighting().light_direction, g_scene_lighting.light_direction);
    expect_vec4(g_scene_lighting.light_colors[1], g_scene_lighting_defaults.light_colors[1]);

    game_set_light_main(0xFF000000u, {0.0f, 0.0f, 0.0f});
    expect_vec4(g_scene_lighting.light_direction, {0.0f, 0.0f, 0.0f, 0.25f});
    expect_vec4(g_scene_lighting.light_colors[0], {0.0f, 0.0f, 0.0f, 1.0f});
}

TEST_F(RulesLight, TheExtraLightSetsTheSecondColourTheAmbientAndTheUpVector)
{
    game_set_light_extra(0x11223344u, 0xFF808080u, {0.0f, 2.0f, 0.5f});
    expect_vec4(g_scene_lighting.light_colors[1], colour_of(0x11223344u));
    expect_vec4(g_scene_lighting.ambient, colour_of(0xFF808080u));
    expect_vec4(g_scene_lighting.up, {0.0f, 2.0f, 0.5f, g_scene_lighting_defaults.up.w});
    expect_vec4(g_scene_lighting.light_colors[0], g_scene_lighting_defaults.light_colors[0]);
    expect_vec4(play_scene_lighting().up, g_scene_lighting.up);
}

// ---- Prices -----------------------------------------------------------------------------------------

using RulesPrice = RulesTest;

TEST_F(RulesPrice, RisingPricesDoubleOncePerPurchaseAndStopAtTheCap)
{
    const struct {
        const char* name;
        std::int32_t item;
        int counter;
        std::int32_t bought;
        std::int32_t very_easy;
        std::int32_t price;
    } cases[] = {
        {"never bought", 60, 115, 0, 0, 1000},
        {"three times", 60, 115, 3, 0, 8000},
        {"20 times", 60, 115, 20, 0, 999999},
        {"40 times is never negative", 60, 115, 40, 0, 999999},
        {"a huge count", 60, 115, 0x7FFFFFFF, 0, 999999},
        {"a count below 0 counts as 0", 60, 115, -5, 0, 1000},
        {"Very Easy keeps the price", 60, 115, 20, 1, 1000},
        {"item 23 by its counter", 23, 154, 2, 0, 4000},
        {"item 61 by its counter", 61, 114, 1, 0, 2000},
        {"item 63 by its counter", 63, 153, 4, 0, 16000},
        {"another item keeps its price", 24, 115, 5, 0, 1000},
        {"another counter does not count", 60, 114, 5, 0, 1000},
    };
    for (std::int32_t item : {23, 24, 60, 61, 63})
        g_invinfo[item].price = 1000;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::int32_t* flags = g_play_state.game_flags;
        flags[154] = flags[115] = flags[114] = flags[153] = 0;
        flags[c.counter] = c.bought;
        flags[GF_VERY_EASY] = c.very_easy;
        EXPECT_EQ(game_item_price(c.item), c.price);
    }
}

TEST_F(RulesPrice, ATablePriceAboveTheCapIsCutAndAnIdOutsideTheTableIsAnError)
{
    g_invinfo[60].price = 2000000;
    EXPECT_EQ(game_item_price(60), 999999);
    g_invinfo[24].price = 2000000;
    EXPECT_EQ(game_item_price(24), 2000000) << "only the rising prices are capped";
    EXPECT_THROW(game_item_price(SCN_ITEM_CAPACITY), RuntimeError);
    EXPECT_THROW(game_item_price(-1), RuntimeError);
}

// ---- Revival ----------------------------------------------------------------------------------------

class RulesRevive : public RulesTest {
protected:
    // A fallen player over a game over: frozen, faded out, a dialog and a full-screen picture up.
    GoActor& fallen_world()
    {
        GoActor& player = add_player(0.0f, 200.0f);
        player.defeat_counter = 100;
        player.hit_shape.class_bits &= ~HIT_ACTIVE;
        player.alpha = 0.0f;
        g_fade.value = g_fade.target = 1.0f;
        g_game_over = g_world_frozen = 1;
        m_dialog = obj_create<GoWndDialog>(g_pool_wnddialog);
        m_picture = obj_create<GoXx>(g_pool_xx);
        goxx_set_subtype(*m_picture, GOXX_PICTURE_OVERLAY);
        m_picture->area<PictureOverlay>().life = 150;
        m_other = obj_create<GoXx>(g_pool_xx);
        goxx_set_subtype(*m_other, GOXX_PICTURE);
        *reinterpret_cast<std::uint32_t*>(m_other->subtype_area) = 150;
        return player;
    }

    GoWndDialog* m_dialog = nullptr;
    GoXx* m_picture = nullptr;
    GoXx* m_other = nullptr;
};

TEST_F(RulesRevive, AFallenPlayerStandsUpAndTheGameOverEnds)
{
    GoActor& player = fallen_world();
    const D3DXVECTOR3 where = matrix_position(player.world);
    game_revive_player();
    EXPECT_EQ(g_play_state.status.hp, 200.0f) << "9999 healed, to the maximum";
    EXPECT_EQ(player.status.hp, 200.0f);
    EXPECT_EQ(player.defeat_counter, 0);
    EXPECT_TRUE(player.hit_shape.class_bits & HIT_ACTIVE);
    EXPECT_EQ(player.alpha, 1.0f);
    EXPECT_EQ(matrix_position(player.world), where) << "it stands up where it fell";
    EXPECT_EQ(player.script.current_action, 4);
    EXPECT_EQ(g_fade.target, 0.0f);
    EXPECT_EQ(g_game_over, 0);
    EXPECT_EQ(g_world_frozen, 0);
    EXPECT_EQ(m_dialog->close_request, 1);
    EXPECT_EQ(m_picture->area<PictureOverlay>().life, 0u);
    EXPECT_EQ(*reinterpret_cast<std::uint32_t*>(m_other->subtype_area), 150u) << "other subtypes stay";
}

TEST_F(RulesRevive, ALivingPlayerOrNoPlayerChangesNothing)
{
    GoActor& player = fallen_world();
    set_player_hp(1.0f, 200.0f);
    game_revive_player();
    EXPECT_EQ(g_play_state.status.hp, 1.0f);
    EXPECT_EQ(player.defeat_counter, 100);
    EXPECT_EQ(g_game_over, 1);
    EXPECT_EQ(g_fade.target, 1.0f);
    EXPECT_EQ(m_dialog->close_request, 0);
    EXPECT_EQ(m_picture->area<PictureOverlay>().life, 150u);

    g_player = nullptr;
    g_play_state.status.hp = 0.0f;
    game_revive_player();
    EXPECT_EQ(g_world_frozen, 1);
    EXPECT_EQ(m_dialog->close_request, 0);
}

} // namespace
