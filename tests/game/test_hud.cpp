#include "hud_fixture.h"

#include "temp_folder.h"

#include "game/g_game_flags.h"
#include "game/g_image_table.h"
#include "game/g_rules.h"
#include "game/g_scene.h"
#include "game/g_ta.h"
#include "gfx/text_bitmap.h"
#include "object/actor/player_hud.h"
#include "platform/impl/steam_api_seams.h"
#include "platform/steam_api.h"
#include "scenegraph/queued_items.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t k_enemy = 0x05000001;
constexpr std::uint32_t k_other_enemy = 0x05000002;

void expect_rect(const HudQuad& q, float x, float y, float w, float h, float u, float v, float uw, float vh)
{
    EXPECT_NEAR(q.x, x, 1e-3f);
    EXPECT_NEAR(q.y, y, 1e-3f);
    EXPECT_NEAR(q.width, w, 1e-3f);
    EXPECT_NEAR(q.height, h, 1e-3f);
    EXPECT_NEAR(q.u, u, 1e-3f);
    EXPECT_NEAR(q.v, v, 1e-3f);
    EXPECT_NEAR(q.u_width, uw, 1e-3f);
    EXPECT_NEAR(q.v_height, vh, 1e-3f);
}

// The quads whose screen rectangle starts at (x, y).
std::vector<HudQuad> quads_at(const std::vector<HudQuad>& quads, float x, float y)
{
    std::vector<HudQuad> found;
    for (const HudQuad& q : quads)
        if (std::fabs(q.x - x) < 1e-3f && std::fabs(q.y - y) < 1e-3f) found.push_back(q);
    return found;
}

// The digits drawn at y 471.5 between two x limits, read from their texels.
std::string digits_between(const std::vector<HudQuad>& quads, float from, float to, float texel_x)
{
    std::string text;
    for (const HudQuad& q : quads)
        if (q.y == 471.5f && q.width == 8.0f && q.x >= from && q.x <= to)
            text.insert(text.begin(), static_cast<char>('0' + std::lround((q.u - texel_x) / 8.0f)));
    return text;
}

// The colours of the vertices of every draw made since `first`.
std::vector<D3DCOLOR> drawn_colors(std::size_t first)
{
    std::vector<D3DCOLOR> colors;
    const std::vector<D3D8DrawRecord>& draws = d3d8_seam_draws();
    for (std::size_t i = first; i < draws.size(); ++i) {
        if (draws[i].call.indexed || !draws[i].state.streams[0].buffer) continue;
        for (const ScreenVertex& v : drawn_screen_vertices(draws[i], 3))
            colors.push_back(v.color);
    }
    return colors;
}

bool drew_color(std::size_t first, D3DCOLOR color)
{
    for (D3DCOLOR c : drawn_colors(first))
        if (c == color) return true;
    return false;
}

} // namespace

// ---- Gauges ---------------------------------------------------------------------------------------

TEST_F(HudTest, GaugesStartWithTheirKindsFlagsColoursAndRate)
{
    for (int i = 0; i < HUD_GAUGE_COUNT; ++i) {
        SCOPED_TRACE(i);
        const HudGauge& g = g_hud_gauges[i];
        EXPECT_EQ(g.kind, static_cast<std::uint32_t>(i));
        EXPECT_EQ(g.owner, 0u);
        EXPECT_EQ(g.flags, i == 2 ? 0u : HUD_GAUGE_SHOW_NUMBERS);
        EXPECT_FLOAT_EQ(g.rate, 0.02f);
        EXPECT_EQ(g.color_empty, i == 2 ? 0xFF4040F0u : 0xFF50E0F0u);
        EXPECT_EQ(g.color_full, i == 2 ? 0xFFD0D0F8u : 0xFFD0F8F8u);
        EXPECT_EQ(g.color_third, i == 2 ? 0xFFE8E8F8u : 0xFFE8F8F8u);
    }
}

// Two quick hits on an enemy: the first (a new owner) jumps, the second glides from the first's
// value; a maximum of 1000 glides 4 a tick and snaps onto the target.
TEST_F(HudTest, TheSameOwnerGlidesAndANewOneJumps)
{
    hud_gauge_set(k_enemy, HUD_GAUGE_ENEMY, 900.0f, 1000.0f);
    const HudGauge& g = g_hud_gauges[HUD_GAUGE_ENEMY];
    EXPECT_EQ(g.shown, 900.0f);
    EXPECT_EQ(g.flags, HUD_GAUGE_SET_FLAGS);
    hud_gauge_set(k_enemy, HUD_GAUGE_ENEMY, 890.0f, 1000.0f);
    EXPECT_EQ(g.shown, 900.0f);
    EXPECT_EQ(g.target, 890.0f);
    hud_gauge_update(HUD_GAUGE_ENEMY);
    EXPECT_FLOAT_EQ(g.shown, 896.0f);
    hud_gauge_update(HUD_GAUGE_ENEMY);
    hud_gauge_update(HUD_GAUGE_ENEMY);
    EXPECT_EQ(g.shown, 890.0f);
    // A refresh of the same value keeps a glide that is running.
    hud_gauge_set(k_enemy, HUD_GAUGE_ENEMY, 850.0f, 1000.0f);
    hud_gauge_update(HUD_GAUGE_ENEMY);
    hud_gauge_set(k_enemy, HUD_GAUGE_ENEMY, 850.0f, 1000.0f);
    EXPECT_FLOAT_EQ(g.shown, 886.0f);
    // Another enemy jumps.
    hud_gauge_set(k_other_enemy, HUD_GAUGE_ENEMY, 300.0f, 1000.0f);
    EXPECT_EQ(g.shown, 300.0f);
    EXPECT_FLOAT_EQ(g.pixels_per_unit, 204.0f / 1000.0f);
}

// A maximum of 0 or less is an empty gauge: no pixels per unit, the empty colour, the shown value
// on the target at once, and an empty bar.
TEST_F(HudTest, AMaximumOfZeroOrLessIsAnEmptyGauge)
{
    for (float max : {0.0f, -5.0f}) {
        SCOPED_TRACE(max);
        hud_gauge_set(k_enemy, HUD_GAUGE_ENEMY, 100.0f, 1000.0f);
        hud_gauge_set(k_enemy, HUD_GAUGE_ENEMY, 50.0f, max);
        const HudGauge& g = g_hud_gauges[HUD_GAUGE_ENEMY];
        EXPECT_EQ(g.pixels_per_unit, 0.0f);
        EXPECT_EQ(g.color, g.color_empty);
        hud_gauge_update(HUD_GAUGE_ENEMY);
        EXPECT_EQ(g.shown, 50.0f);
        const std::vector<HudQuad> quads = build([] { hud_draw_gauge(); });
        ASSERT_EQ(quads.size(), 2u); // the frame and an empty bar
        EXPECT_EQ(quads[1].width, 0.0f);
        for (const HudQuad& q : quads)
            EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.u));
    }
}

TEST_F(HudTest, TheColourRunsFromEmptyToFullByTheTarget)
{
    const struct {
        float value;
        D3DCOLOR color;
    } cases[] = {
        {0.0f, 0xFF50E0F0},
        {500.0f, 0xFF90ECF4}, // 0x50 + trunc(0x80 / 2), 0xE0 + 0x0C, 0xF0 + 0x04
        {1000.0f, 0xFFD0F8F8},
        {2000.0f, 0xFFD0F8F8}, // held at full
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        hud_gauge_set(k_enemy, HUD_GAUGE_HP, c.value, 1000.0f);
        EXPECT_EQ(g_hud_gauges[HUD_GAUGE_HP].color, c.color);
    }
}

// Only the player's gauge runs the pulse counters (3, 6 and 16 a tick), and not while the world
// is frozen.
TEST_F(HudTest, ThePulseCountersRunWithThePlayersGaugeUnlessFrozen)
{
    hud_gauge_update(HUD_GAUGE_ENEMY);
    EXPECT_EQ(g_play_state.hud_anim[0], 0);
    hud_gauge_update(HUD_GAUGE_HP);
    hud_gauge_update(HUD_GAUGE_HP);
    EXPECT_EQ(g_play_state.hud_anim[0], 6);
    EXPECT_EQ(g_play_state.hud_anim[1], 12);
    EXPECT_EQ(g_play_state.hud_anim[2], 32);
    g_world_frozen = 1;
    hud_gauge_update(HUD_GAUGE_HP);
    EXPECT_EQ(g_play_state.hud_anim[2], 32);
}

// The tick updates the gauges with an owner on whole ticks while not paused.
TEST_F(HudTest, TheTickGlidesOwnedGaugesOnWholeTicksUnlessPaused)
{
    hud_gauge_set(k_enemy, HUD_GAUGE_ENEMY, 900.0f, 1000.0f);
    hud_gauge_set(k_enemy, HUD_GAUGE_ENEMY, 800.0f, 1000.0f);
    g_hud_gauges[2].shown = 5.0f; // no owner: left alone
    step(1, true);
    EXPECT_FLOAT_EQ(g_hud_gauges[HUD_GAUGE_ENEMY].shown, 896.0f);
    step(2, false, 0.5f);
    EXPECT_FLOAT_EQ(g_hud_gauges[HUD_GAUGE_ENEMY].shown, 896.0f);
    g_menu_open = MENU_OPEN_CAMP;
    step(1, true);
    EXPECT_FLOAT_EQ(g_hud_gauges[HUD_GAUGE_ENEMY].shown, 896.0f);
    EXPECT_EQ(g_hud_gauges[2].shown, 5.0f);
    EXPECT_EQ(g_play_state.hud_anim[0], 0); // the player's gauge has no owner
}

// ---- hud_format_time --------------------------------------------------------------------------------

TEST(HudFormatTime, HoursThenTwoDigitMinutesAndSecondsAndThreeDigitMilliseconds)
{
    const struct {
        std::uint32_t ms;
        const char* text;
    } cases[] = {
        {3723004, "1:02:03:004"},
        {0, "-#>3-#>1:#>2-#>3-#>1:#>2-#>3-#>3-#>1"},
        {std::numeric_limits<std::uint32_t>::max(), "1193:02:47:295"},
        {59999, "0:00:59:999"},
    };
    for (const auto& c : cases) {
        char text[HUD_TIME_TEXT_SIZE];
        hud_format_time(c.ms, text, sizeof text);
        EXPECT_STREQ(text, c.text);
    }
}

TEST(HudFormatTime, PlayTicksBecomeMillisecondsHeldAtTheLargestCount)
{
    EXPECT_EQ(hud_ticks_to_ms(60), 1000u);
    EXPECT_EQ(hud_ticks_to_ms(-5), 0u);
    // Ten hours and more: past what 32-bit tick arithmetic could hold.
    EXPECT_EQ(hud_ticks_to_ms(std::int64_t{11} * 3600 * 60), 11u * 3600u * 1000u);
    EXPECT_EQ(hud_ticks_to_ms(std::int64_t{1} << 40), std::numeric_limits<std::uint32_t>::max());
}

// ---- Player functions ------------------------------------------------------------------------------

TEST_F(HudTest, PlayerSyncBindsHitPointsAndMagicToThePlayer)
{
    PlayState& ps = g_play_state;
    ps.status.hp = 80.0f;
    ps.status.max_hp = 100.0f;
    ps.status.mp = 1500.0f;
    ps.status.max_mp = 3000.0f;
    GoActor* player = spawn(g_pool_actor);
    g_player = player;
    player_sync_hud_gauges();
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_HP].owner, player->object_id);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_HP].shown, 80.0f);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_HP].max, 100.0f);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_MP].owner, player->object_id);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_MP].target, 1500.0f);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_MP].max, 3000.0f);

    ps.status.hp = 60.0f; // the same owner glides down from 80
    player_sync_hud_gauges();
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_HP].shown, 80.0f);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_HP].target, 60.0f);

    g_player = nullptr;
    player_sync_hud_gauges();
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_HP].owner, 0u);
    EXPECT_EQ(g_hud_gauges[HUD_GAUGE_MP].owner, 0u);
}

TEST(PlayerMagicType, BraceletsAndTheirUpgradesByKind)
{
    const std::int32_t saved = g_play_state.selected_magic;
    const struct {
        std::int32_t item;
        std::int32_t type;
    } cases[] = {{72, 0}, {73, 1}, {74, 2}, {75, 0},  {76, 1}, {77, 2},
                 {71, 3}, {78, 3}, {-1, 3}, {255, 3}, {0, 3}};
    for (const auto& c : cases) {
        g_play_state.selected_magic = c.item;
        EXPECT_EQ(player_magic_type(), c.type) << c.item;
    }
    g_play_state.selected_magic = saved;
}

// ---- Builders ----------------------------------------------------------------------------------------

// The status part: the frame pieces, the hit-point bar with the damage trail toward the shown
// value, experience, the four timers, the slot frames and the digits.
TEST_F(HudTest, TheStatusQuadsStandAtTheirRectangles)
{
    PlayState& ps = g_play_state;
    hud_gauge_set(1, HUD_GAUGE_HP, 80.0f, 100.0f);
    hud_gauge_set(1, HUD_GAUGE_HP, 50.0f, 100.0f); // shown 80, a trail of 30
    ps.level_start_exp = 100.0f;
    ps.next_level_exp = 300.0f;
    ps.status.exp = 150.0f;
    ps.powerup_ticks[0] = 900;
    ps.powerup_ticks[1] = -20;
    ps.powerup_ticks[2] = 5000;
    ps.combo_timer = 360;
    ps.selected_magic = 73;
    const std::vector<HudQuad> quads = build([] { hud_draw_status(); });

    expect_rect(quads_at(quads, -0.5f, 423.5f).at(0), -0.5f, 423.5f, 60, 57, 0, 120, 60, 57);
    expect_rect(quads_at(quads, 51.5f, 453.5f).at(0), 51.5f, 453.5f, 144, 17, 0, 176, 144, 17);
    expect_rect(quads_at(quads, 31.5f, 457.5f).at(0), 31.5f, 457.5f, 80, 4, 0, 0, 80, 4);
    expect_rect(quads_at(quads, 111.5f, 457.5f).at(0), 111.5f, 457.5f, 48, 4, 80, 4, 48, 4);
    expect_rect(quads_at(quads, 33.5f, 453.5f).at(0), 33.5f, 453.5f, 154 * 0.25f, 1, 0, 12, 196 * 0.25f, 1);
    const float timers[4] = {52.0f, 0.0f, 104.0f, 52.0f};
    for (int i = 0; i < 4; ++i)
        expect_rect(quads_at(quads, -0.5f, 393.5f + 8.0f * i).at(0), -0.5f, 393.5f + 8.0f * i, timers[i], 8,
                    0, 196.0f + 8.0f * i, timers[i], 8);
    expect_rect(quads_at(quads, 2.5f, 450.5f).at(0), 2.5f, 450.5f, 24, 24, 0, 72, 24, 24);
    expect_rect(quads_at(quads, 114.5f, 471.5f).at(0), 114.5f, 471.5f, 12, 8, 208, 0, 12, 8);
    expect_rect(quads_at(quads, 52.5f, 471.5f).at(0), 52.5f, 471.5f, 12, 8, 220, 0, 12, 8);
    for (int i = 0; i < 4; ++i)
        expect_rect(quads_at(quads, 59.5f + 24.0f * i, 429.5f).at(0), 59.5f + 24.0f * i, 429.5f, 24, 24, 232,
                    0, 24, 24);
    for (const HudQuad& q : quads)
        EXPECT_EQ(q.color, 0xFFFFFFFFu);
}

// Gold shows its last six digits and the second currency four, right-aligned without leading
// zeros but with at least one digit.
TEST_F(HudTest, GoldAndTheItemCountAsDigits)
{
    const struct {
        std::int32_t gold, count;
        const char *gold_text, *count_text;
    } cases[] = {
        {1234567, 42, "234567", "42"},
        {0, 0, "0", "0"},
        {-3, 12345, "0", "9999"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gold);
        g_play_state.status.gold = c.gold;
        g_play_state.game_flags[GF_DUSCA] = c.count;
        const std::vector<HudQuad> quads = build([] { hud_draw_status(); });
        EXPECT_EQ(digits_between(quads, 130.0f, 174.0f, 0.25f), c.gold_text);
        EXPECT_EQ(digits_between(quads, 60.0f, 96.0f, 96.25f), c.count_text);
        EXPECT_EQ(quads_at(quads, 173.75f, 471.5f).size(), 1u);
    }
}

// The magic bar comes from the play state's magic and its trail from the magic trail, in the
// bracelet's texel rows; nothing without a bracelet or without an owner of gauge 1.
TEST_F(HudTest, TheMagicBarAndItsTrail)
{
    PlayState& ps = g_play_state;
    ps.status.mp = 1500.0f;
    ps.status.max_mp = 3000.0f;
    ps.mp_trail = 2400.0f;
    ps.selected_magic = 76; // kind 1
    EXPECT_TRUE(build([] { hud_draw_mp_bar(); }).empty()) << "no owner";
    hud_gauge_set(1, HUD_GAUGE_MP, 0.0f, 0.0f);
    std::vector<HudQuad> quads = build([] { hud_draw_mp_bar(); });
    ASSERT_EQ(quads.size(), 2u);
    expect_rect(quads[0], 31.5f, 463.5f, 80, 4, 0, 28, 80, 4);
    expect_rect(quads[1], 111.5f, 463.5f, 48, 4, 80, 40, 48, 4);
    ps.mp_trail = 9000.0f; // the trail never leaves the bar
    quads = build([] { hud_draw_mp_bar(); });
    EXPECT_FLOAT_EQ(quads[1].x + quads[1].width, 191.5f);
    ps.selected_magic = -1;
    EXPECT_TRUE(build([] { hud_draw_mp_bar(); }).empty());
}

// With magic for the cast, the bar and the bracelet icon are drawn again pulsing; the charged
// state takes the second counter and the lit icon.
TEST_F(HudTest, TheChargePulse)
{
    PlayState& ps = g_play_state;
    hud_gauge_set(1, HUD_GAUGE_MP, 0.0f, 0.0f);
    ps.status.max_mp = 3000.0f;
    ps.selected_magic = 73; // cost 900
    ps.status.mp = 899.0f;
    EXPECT_TRUE(build([] { hud_draw_charge(); }).empty());
    ps.status.mp = 900.0f;
    ps.hud_anim[0] = 90; // i = (-64 + 64) & 255 = 0: v = 204 + 51
    ps.hud_anim[1] = 0;  // i = 192: cos 0, v = 204
    std::vector<HudQuad> quads = build([] { hud_draw_charge(); });
    ASSERT_EQ(quads.size(), 2u);
    expect_rect(quads[0], 31.5f, 463.5f, 48, 4, 0, 28, 48, 4);
    expect_rect(quads[1], 2.5f, 450.5f, 24, 24, 24, 72, 24, 24);
    EXPECT_EQ(quads[0].color, (0xFFu * 255 / 256) << 24 | 0xFFFFFF);
    ps.charge_level = 2;
    quads = build([] { hud_draw_charge(); });
    EXPECT_EQ(quads[1].u, 48.0f);
    EXPECT_EQ(quads[0].color, (0xFFu * 204 / 256) << 24 | 0xFFFFFF);
}

// The boost gauge fills upward; full, it pulses and is drawn twice.
TEST_F(HudTest, TheBoostGaugePulsesOnlyWhenFull)
{
    PlayState& ps = g_play_state;
    ps.boost_gauge = 15000.0f;
    std::vector<HudQuad> quads = build([] { hud_draw_boost(); });
    ASSERT_EQ(quads.size(), 1u);
    expect_rect(quads[0], -0.5f, 453.5f, 48, 26, 60, 150, 48, 26);
    EXPECT_EQ(quads[0].color, (0xFFu * 221 / 256) << 24 | 0xFFFFFF);
    ps.boost_gauge = 29999.0f;
    EXPECT_EQ(build([] { hud_draw_boost(); }).size(), 1u);
    ps.boost_gauge = 30000.0f;
    ps.hud_anim[2] = 90; // v = 153 + 102
    quads = build([] { hud_draw_boost(); });
    ASSERT_EQ(quads.size(), 2u);
    expect_rect(quads[1], -0.5f, 427.5f, 48, 52, 60, 124, 48, 52);
    EXPECT_EQ(quads[1].color, (0xFFu * 255 / 256) << 24 | 0xFFFFFF);
}

// The enemy gauge: the frame, the trail and the right-aligned bar in hp2's texture coordinates,
// drawn at once as one indexed list.
TEST_F(HudTest, TheEnemyGaugeIsOneIndexedList)
{
    begin_scene();
    hud_gauge_set(k_enemy, HUD_GAUGE_ENEMY, 75.0f, 100.0f);
    hud_gauge_set(k_enemy, HUD_GAUGE_ENEMY, 50.0f, 100.0f);
    const std::size_t before = d3d8_seam_draws().size();
    hud_draw_gauge();
    ASSERT_EQ(hud_quad_count(), 3u);
    const HudQuad frame = hud_quad(0), trail = hud_quad(1), bar = hud_quad(2);
    expect_rect(frame, 383.5f, 449.5f, 256, 48, 0, 64, 256, 256);
    expect_rect(trail, 409.5f + 51.0f, 462.5f, 51, 4, 51, 32, 51, 16);
    expect_rect(bar, 409.5f + 102.0f, 462.5f, 102, 4, 102, 16, 102, 16);
    EXPECT_FLOAT_EQ(bar.x + bar.width, 613.5f);

    const std::vector<D3D8DrawRecord>& draws = d3d8_seam_draws();
    const D3D8DrawRecord* list = nullptr;
    for (std::size_t i = before; i < draws.size(); ++i)
        if (draws[i].call.indexed) list = &draws[i];
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->call.type, D3DPT_TRIANGLELIST);
    EXPECT_EQ(list->call.primitive_count, 6u);
    EXPECT_EQ(list->state.textures[0], g_texture_handles[IMAGE_TABLE_HUD_ENEMY]);
    EXPECT_EQ(g_current_material, HUD_MATERIAL_BARS);
}

// Power-up texts fade over their last 255 ticks; the combo texts over the last 128 ticks of the
// combo timer; the hit points in their own colour.
TEST_F(HudTest, TextsTakeTheHudAlphaScaledByTheirTimers)
{
    begin_scene();
    PlayState& ps = g_play_state;
    GoActor* player = spawn(g_pool_actor);
    g_player = player;
    hud_gauge_set(player->object_id, HUD_GAUGE_HP, 50.0f, 100.0f);
    ps.powerup_bits = 0x1 | 0x8;
    ps.powerup_ticks[0] = 100;
    ps.powerup_ticks[1] = 300;
    ps.combo_count = 3;
    ps.combo_timer = 20;
    const std::size_t before = d3d8_seam_draws().size();
    hud_draw_texts();
    EXPECT_TRUE(drew_color(before, (0xFFu * 100 / 256) << 24 | 0xFF6060));
    EXPECT_TRUE(drew_color(before, (0xFFu * 255 / 256) << 24 | 0x6060FF));
    EXPECT_FALSE(drew_color(before, (0xFFu * 255 / 256) << 24 | 0xFFFF60)) << "magic speed is off";
    EXPECT_TRUE(drew_color(before, (0xFFu * 40 / 256) << 24 | 0xF19040));
    EXPECT_TRUE(drew_color(before, 0xFFA1E4C9));
}

// Icons: lit for owned items, dimmed for items the flags do not hold, absent for ids out of their
// slot's range.
TEST_F(HudTest, EquipmentIconsLitDimmedOrAbsent)
{
    begin_scene();
    IDirect3DTexture8* icons[3] = {};
    const std::int32_t items[3] = {2, 13, 75};
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &icons[i]),
                  D3D_OK);
        g_texture_handles[IMAGE_TABLE_ITEM_ICON_FIRST + items[i]] = icons[i];
    }
    std::int32_t* flags = g_play_state.game_flags;
    const struct {
        const char* what;
        std::int32_t weapon, armour, shield, magic;
        std::int32_t owned_armour;
        int icons;
    } cases[] = {
        {"all in range", 2, 13, -1, 75, 1, 3},
        {"armour not owned", 2, 13, -1, 75, 0, 3},
        {"out of range", 13, 2, 255, 71, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        flags[GF_WEAPON] = c.weapon;
        flags[GF_ARMOUR] = c.armour;
        flags[GF_SHIELD] = c.shield;
        g_play_state.selected_magic = c.magic;
        flags[2] = flags[75] = 1;
        flags[13] = c.owned_armour;
        const std::size_t before = d3d8_seam_draws().size();
        hud_draw_texts();
        int drawn = 0;
        const std::vector<D3D8DrawRecord>& draws = d3d8_seam_draws();
        for (std::size_t i = before; i < draws.size(); ++i) {
            for (int k = 0; k < 3; ++k) {
                if (draws[i].state.textures[0] != icons[k]) continue;
                ++drawn;
                const ScreenVertex v = drawn_screen_vertices(draws[i], 1)[0];
                EXPECT_FLOAT_EQ(v.x, 61.0f + 24.0f * (k == 0 ? 0 : k == 1 ? 1 : 3));
                EXPECT_EQ(v.color, k == 1 && c.owned_armour == 0 ? 0xFF303030u : 0xFFFFFFFFu);
            }
        }
        EXPECT_EQ(drawn, c.icons);
    }
    for (int i = 0; i < 3; ++i) {
        g_texture_handles[IMAGE_TABLE_ITEM_ICON_FIRST + items[i]] = nullptr;
        icons[i]->Release();
    }
}

// Without hours the time starts 34 x scale further right, and the start is returned.
TEST_F(HudTest, TheTimeStartsFurtherRightWithoutHours)
{
    EXPECT_FLOAT_EQ(hud_draw_time(61000, 100.0f, 0.0f, 0.5f, false), 117.0f);
    EXPECT_FLOAT_EQ(hud_draw_time(3600000, 100.0f, 0.0f, 0.5f, false), 100.0f);
    EXPECT_FLOAT_EQ(hud_draw_time(60 * 3600, 100.0f, 0.0f, 1.0f, true), 100.0f); // an hour of ticks
}

// The HUD pass draws by the gauges in use: the boost, the bars and the charge from the status
// image, then the texts and the enemy gauge.
TEST_F(HudTest, TheHudPassDrawsThePartsOfTheGaugesInUse)
{
    begin_scene();
    IDirect3DTexture8* status = nullptr;
    ASSERT_EQ(g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &status), D3D_OK);
    g_texture_handles[IMAGE_TABLE_HUD_STATUS] = status;
    g_play_state.selected_magic = 72;
    g_play_state.status.mp = g_play_state.status.max_mp = 3000.0f;
    const struct {
        const char* what;
        bool hp, mp, enemy;
        std::vector<UINT> status_lists; // the triangles of each indexed list on the status image
        bool enemy_list;
    } cases[] = {
        {"nothing", false, false, false, {}, false},
        {"player", true, false, false, {2, 34}, false},
        {"player and magic", true, true, false, {2, 38, 4}, false},
        {"enemy alone", false, false, true, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        hud_gauges_init();
        if (c.hp) hud_gauge_set(1, HUD_GAUGE_HP, 10.0f, 10.0f);
        if (c.mp) hud_gauge_set(1, HUD_GAUGE_MP, 10.0f, 10.0f);
        if (c.enemy) hud_gauge_set(2, HUD_GAUGE_ENEMY, 10.0f, 10.0f);
        const std::size_t before = d3d8_seam_draws().size();
        const ScreenVertex* list = hud_vertices().data();
        hud_draw_cb(nullptr, nullptr);
        EXPECT_EQ(hud_vertices().data(), list) << "the vertex list is made once";
        std::vector<UINT> lists;
        bool enemy_list = false;
        const std::vector<D3D8DrawRecord>& draws = d3d8_seam_draws();
        for (std::size_t i = before; i < draws.size(); ++i) {
            if (!draws[i].call.indexed) continue;
            if (draws[i].state.textures[0] == status)
                lists.push_back(draws[i].call.primitive_count);
            else
                enemy_list = true;
        }
        EXPECT_EQ(lists, c.status_lists);
        EXPECT_EQ(enemy_list, c.enemy_list);
    }
    g_texture_handles[IMAGE_TABLE_HUD_STATUS] = nullptr;
    status->Release();
}

// The frame-rate line: the number alone, or with the device's mode description.
TEST_F(HudTest, TheFrameRateLineInBothModes)
{
    begin_scene();
    g_fps = 57;
    UINT fps_alone = 0;
    for (std::uint8_t mode : {1, 2}) {
        SCOPED_TRACE(mode);
        g_show_fps = mode;
        const std::size_t before = d3d8_seam_draws().size();
        hud_draw_fps_cb(nullptr, nullptr);
        const std::vector<D3D8DrawRecord>& draws = d3d8_seam_draws();
        ASSERT_GT(draws.size(), before);
        UINT triangles = 0;
        for (std::size_t i = before; i < draws.size(); ++i)
            triangles += draws[i].call.primitive_count;
        char mode_text[128];
        d3d_mode_string(mode_text, sizeof mode_text);
        if (mode == 1)
            fps_alone = triangles;
        else
            EXPECT_GT(triangles, fps_alone) << "the mode description " << mode_text << " is missing";
        EXPECT_TRUE(drew_color(before, 0xC000FFA0));
    }
}

// A frame of three steps queues the HUD and the frame-rate line once, on its drawn step; a HUD
// faded out queues nothing.
TEST_F(HudTest, TheTickQueuesTheLayersOnceAFrame)
{
    const auto layers = [](RqCallback callback) {
        int count = 0;
        for (const RqCallbackItem* item : queued_items<RqCallbackItem>(13, RQ_TYPE_CALLBACK))
            count += item->callback == callback;
        return count;
    };
    g_play_state.game_flags[GF_HUD_SHOWN] = 1;
    g_show_fps = 1;
    step(1, true);
    step(2, true);
    step(3, true);
    EXPECT_EQ(layers(hud_draw_cb), 1);
    EXPECT_EQ(layers(hud_draw_fps_cb), 1);

    g_play_state.game_flags[GF_HUD_SHOWN] = 0;
    g_show_fps = 0;
    g_hud_alpha = 0.05f;
    step(1, true);
    EXPECT_EQ(g_hud_alpha, 0.0f);
    EXPECT_EQ(layers(hud_draw_cb), 0);
    EXPECT_EQ(layers(hud_draw_fps_cb), 0);
}

// Each build of the texts hands the play time to its statistic in milliseconds, counted in 64
// bits: eleven hours of ticks overflow a 32-bit product of ticks and 1000.
TEST_F(HudTest, TheTextsHandThePlayTimeInMillisecondsToItsStatistic)
{
    begin_scene();
    TempFolder temp;
    seam_set_store_folder(temp.host("store"));
    ASSERT_TRUE(SteamAPI_Init());
    constexpr std::int32_t k_hour_ticks = 60 * 3600;
    const struct {
        std::int32_t ticks;
        std::int32_t hours;
    } cases[] = {{3 * k_hour_ticks + 59, 3}, {11 * k_hour_ticks, 11}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hours);
        ASSERT_TRUE(SteamUserStats()->ResetAllStats(true));
        g_play_state.game_flags[GF_PLAY_FRAMES] = c.ticks;
        hud_draw_texts();
        std::int32_t hours = -1;
        ASSERT_TRUE(SteamUserStats()->GetStat("Wanderer From Ek Stat", &hours));
        EXPECT_EQ(hours, c.hours);
    }
    SteamAPI_Shutdown();
    seam_set_store_folder("");
}

namespace {

// Where each text drawn since `first` starts: the first vertex of every non-indexed draw.
std::vector<std::pair<float, float>> text_starts(std::size_t first)
{
    std::vector<std::pair<float, float>> starts;
    const std::vector<D3D8DrawRecord>& draws = d3d8_seam_draws();
    for (std::size_t i = first; i < draws.size(); ++i) {
        if (draws[i].call.indexed) continue;
        const ScreenVertex v = drawn_screen_vertices(draws[i], 1)[0];
        starts.emplace_back(v.x, v.y);
    }
    return starts;
}

// The fonts lay glyphs out on pixel centres, half a unit up and left of the given point.
bool starts_at(const std::vector<std::pair<float, float>>& starts, float x, float y)
{
    for (const auto& [sx, sy] : starts)
        if (std::fabs(sx - (x - 0.5f)) < 0.01f && std::fabs(sy - (y - 0.5f)) < 0.01f) return true;
    return false;
}

} // namespace

// The time-attack rows are built from their right ends: the boss rush (or "--:--:---" for a single
// stage), "/" to its left and the stage's time further left; the second row holds the records of
// the table at 0.7 of the size.
TEST_F(HudTest, TheTimeAttackRowsFromTheirRightEnds)
{
    begin_scene();
    text_build_large_font();
    GoActor* player = spawn(g_pool_actor);
    g_player = player;
    hud_gauge_set(player->object_id, HUD_GAUGE_HP, 1.0f, 1.0f);
    std::int32_t* flags = g_play_state.game_flags;
    flags[GF_TIME_ATTACK] = 1;
    flags[GF_DIFFICULTY] = 1;
    flags[GF_TA_STAGE] = 4;
    g_timeattack_total_ticks = 600;
    g_timeattack_stage_ticks = 120;
    const TimeAttackTable saved = g_ta_records;
    g_ta_records.entries[ta_index(1, 0)].best_ms = 2 * 3600000u; // with hours: no shift
    g_ta_records.entries[ta_index(1, 4)].best_ms = 5000;
    const std::uint8_t saved_index = g_title_time_attack_index;
    const struct {
        const char* what;
        std::uint8_t index;
        float rush, rush_best; // where the right-hand texts start
        bool rush_has_hours;
    } cases[] = {
        {"boss rush", 0, 490.0f + 34.0f, 535.0f, true},
        {"single stage", 3, 530.0f, 563.0f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        g_title_time_attack_index = c.index;
        const std::size_t before = d3d8_seam_draws().size();
        hud_draw_texts();
        const auto starts = text_starts(before);
        EXPECT_TRUE(starts_at(starts, c.rush, 0.0f));
        EXPECT_TRUE(starts_at(starts, c.rush - 14.0f, 0.0f)) << "/";
        EXPECT_TRUE(starts_at(starts, c.rush - 14.0f - 160.0f + 34.0f, 0.0f)) << "the stage";
        EXPECT_TRUE(starts_at(starts, c.rush_best, 20.0f));
        EXPECT_TRUE(starts_at(starts, c.rush_best - 9.8f, 20.0f)) << "/";
        EXPECT_TRUE(starts_at(starts, c.rush_best - 9.8f - 112.0f + 34.0f * 0.7f, 20.0f))
            << "the stage's record";
    }
    g_ta_records = saved;
    g_title_time_attack_index = saved_index;
    g_font_large = {};
}

// The Easy helper lines: the quick save with its load and delete in Very Easy where allowed, and
// No-Fall outside boss battles.
TEST_F(HudTest, TheEasyHelperLines)
{
    begin_scene();
    GoActor* player = spawn(g_pool_actor);
    g_player = player;
    hud_gauge_set(player->object_id, HUD_GAUGE_HP, 1.0f, 1.0f);
    std::int32_t* flags = g_play_state.game_flags;
    const struct {
        const char* what;
        std::int32_t very_easy, battle, quick_save;
        bool save, load, no_fall;
    } cases[] = {
        {"Very Easy with a quick save", 1, 0, 1, false, true, true},
        {"Very Easy without one", 1, 0, 0, true, false, true},
        {"Easy in a battle", 0, 1, 0, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        flags[GF_EASY] = 1;
        flags[GF_VERY_EASY] = c.very_easy;
        flags[GF_QUICK_SAVE_OK] = 1;
        flags[GF_BATTLE] = c.battle;
        player->quick_save = c.quick_save;
        const std::size_t before = d3d8_seam_draws().size();
        hud_draw_texts();
        const auto starts = text_starts(before);
        EXPECT_EQ(starts_at(starts, 500.0f, 8.0f), c.very_easy != 0) << "Quick Save (F12)";
        EXPECT_EQ(starts_at(starts, 593.0f, 8.0f), c.save || c.load);
        EXPECT_EQ(starts_at(starts, 566.0f, 16.0f), c.load) << "(F11) -DELETE-";
        EXPECT_EQ(starts_at(starts, 534.0f, 0.0f), c.no_fall) << "No-Fall";
    }
}
