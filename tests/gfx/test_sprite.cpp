#include "gfx/sprite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// A rect placed at (x, y) with the given size, its targets on it.
SpriteRect placed(float x, float y, float w = 10.0f, float h = 10.0f)
{
    SpriteRect rect;
    sprite_rect_init(rect);
    sprite_rect_set(rect, x, y, w, h);
    return rect;
}

// The levels a cycle shows over `updates` animations.
std::vector<int> blink_levels(SpriteCycle start, int updates)
{
    SpriteRect rect = placed(0.0f, 0.0f);
    rect.blink = start;
    rect.blink.on = 1;
    std::vector<int> levels;
    for (int i = 0; i < updates; ++i) {
        sprite_rect_animate(rect);
        EXPECT_EQ(rect.color & 0xFFFFFF, 0xFFFFFFu) << "white under the blinking alpha";
        EXPECT_EQ(rect.color >> 24, rect.blink.level);
        levels.push_back(rect.blink.level);
    }
    return levels;
}

} // namespace

TEST(SpriteRect, InitPutsTheRectOffTheVirtualScreenWhiteAndUntextured)
{
    SpriteRect rect = placed(5.0f, 6.0f, 7.0f, 8.0f);
    rect.color = rect.target_color = 0x12345678;
    rect.second_color = rect.target_second_color = 0x00808080;
    rect.text_mode = 1;
    rect.blink = {1, 1, 100, 4};
    rect.pulse = {1, 0, 50, 8};
    rect.u0 = 0.5f;
    rect.material = 0x24041;
    rect.texture = reinterpret_cast<IDirect3DTexture8*>(&rect);

    sprite_rect_init(rect);
    EXPECT_EQ(rect.x, 1280.0f);
    EXPECT_EQ(rect.y, 960.0f);
    EXPECT_EQ(rect.target_x, 1280.0f);
    EXPECT_EQ(rect.target_y, 960.0f);
    EXPECT_EQ(rect.w, 1.0f);
    EXPECT_EQ(rect.h, 1.0f);
    EXPECT_EQ(rect.target_w, 1.0f);
    EXPECT_EQ(rect.target_h, 1.0f);
    EXPECT_EQ(rect.color, 0xFFFFFFFFu);
    EXPECT_EQ(rect.target_color, 0xFFFFFFFFu);
    EXPECT_EQ(rect.second_color, 0u);
    EXPECT_EQ(rect.target_second_color, 0u);
    EXPECT_EQ(rect.text_mode, 0);
    EXPECT_EQ(rect.blink.on, 0);
    EXPECT_EQ(rect.pulse.on, 0);
    EXPECT_EQ(rect.u0, 0.0f);
    EXPECT_EQ(rect.v0, 0.0f);
    EXPECT_EQ(rect.u1, 1.0f);
    EXPECT_EQ(rect.v1, 1.0f);
    EXPECT_EQ(rect.texture, nullptr);
    EXPECT_EQ(rect.material, 1u);
    EXPECT_FALSE(sprite_rect_animate(rect)) << "a fresh rect rests";
}

// Each update moves the place (and the size) by the speed along the line to the target, and
// the last one, within reach, lands on it.
TEST(SpriteRect, GlidesByItsSpeedAndSnapsWithinReach)
{
    const struct {
        float dx, dy, speed;
        int updates; // to arrive
    } cases[] = {
        {100.0f, 0.0f, 10.0f, 10}, {0.0f, -100.0f, 10.0f, 10}, {60.0f, 80.0f, 10.0f, 10},
        {100.0f, 0.0f, 30.0f, 4},  {5.0f, 0.0f, 10.0f, 1},     {3.0f, 4.0f, 5.0f, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "(" << c.dx << ", " << c.dy << ") at " << c.speed);
        SpriteRect move = placed(20.0f, 30.0f);
        move.target_x += c.dx;
        move.target_y += c.dy;
        move.move_speed = c.speed;
        SpriteRect grow = placed(20.0f, 30.0f, 40.0f, 50.0f);
        grow.target_w += c.dx;
        grow.target_h += c.dy;
        grow.size_speed = c.speed;
        for (int i = 1; i <= c.updates; ++i) {
            EXPECT_TRUE(sprite_rect_animate(move)) << "update " << i;
            EXPECT_TRUE(sprite_rect_animate(grow)) << "update " << i;
            if (i == 1 && c.updates > 1) {
                const float length = std::sqrt(c.dx * c.dx + c.dy * c.dy);
                EXPECT_FLOAT_EQ(move.x, 20.0f + c.dx * c.speed / length);
                EXPECT_FLOAT_EQ(move.y, 30.0f + c.dy * c.speed / length);
                EXPECT_FLOAT_EQ(grow.w, 40.0f + c.dx * c.speed / length);
            }
            if (i < c.updates) {
                EXPECT_NE(move.x + move.y, move.target_x + move.target_y) << "update " << i;
            }
        }
        EXPECT_EQ(move.x, move.target_x);
        EXPECT_EQ(move.y, move.target_y);
        EXPECT_EQ(grow.w, grow.target_w);
        EXPECT_EQ(grow.h, grow.target_h);
        EXPECT_EQ(move.w, 10.0f) << "gliding leaves the size";
        EXPECT_EQ(grow.x, 20.0f) << "growing leaves the place";
        EXPECT_FALSE(sprite_rect_animate(move)) << "arrived";
        EXPECT_FALSE(sprite_rect_animate(grow)) << "arrived";
    }
}

TEST(SpriteRect, SpeedZeroNeverMovesAndReportsNoChange)
{
    SpriteRect rect = placed(0.0f, 0.0f);
    rect.target_x = 100.0f;
    rect.target_w = 50.0f;
    for (int i = 0; i < 50; ++i)
        EXPECT_FALSE(sprite_rect_animate(rect));
    EXPECT_EQ(rect.x, 0.0f);
    EXPECT_EQ(rect.w, 10.0f);
}

TEST(SpriteRect, SetPlacesWithoutGliding)
{
    SpriteRect rect = placed(0.0f, 0.0f);
    rect.move_speed = rect.size_speed = 1.0f;
    sprite_rect_set(rect, 300.0f, 200.0f, 64.0f, 32.0f);
    EXPECT_EQ(rect.target_x, 300.0f);
    EXPECT_EQ(rect.target_y, 200.0f);
    EXPECT_EQ(rect.target_w, 64.0f);
    EXPECT_EQ(rect.target_h, 32.0f);
    EXPECT_FALSE(sprite_rect_animate(rect));
    EXPECT_EQ(rect.x, 300.0f);
    EXPECT_EQ(rect.h, 32.0f);
}

// The alpha climbs by the step to 255 and falls back to 32. A step that would pass a bound
// stops on it and turns, so a bound the steps land on exactly is shown twice.
TEST(SpriteRect, BlinkSwingsTheAlphaBetween32And255)
{
    EXPECT_EQ(blink_levels({0, 1, 32, 50}, 12),
              (std::vector<int>{82, 132, 182, 232, 255, 205, 155, 105, 55, 32, 82, 132}));
    EXPECT_EQ(blink_levels({0, 0, 100, 34}, 8), (std::vector<int>{66, 32, 32, 66, 100, 134, 168, 202}));
    EXPECT_EQ(blink_levels({0, 1, 200, 55}, 3), (std::vector<int>{255, 255, 200}));

    // Whatever the start, the alpha stays inside the bounds: a blink started on a fresh rect's
    // level 0 begins at 32.
    EXPECT_EQ(blink_levels({0, 1, 0, 8}, 2), (std::vector<int>{32, 40}));
    for (int step : {1, 7, 31, 100, 223, 255})
        for (SpriteCycle start :
             {SpriteCycle{0, 1, 0, 0}, SpriteCycle{0, 0, 0, 0}, SpriteCycle{0, 0, 255, 0}}) {
            start.step = static_cast<std::uint8_t>(step);
            for (int level : blink_levels(start, 300)) {
                ASSERT_GE(level, 32) << "step " << step;
                ASSERT_LE(level, 255) << "step " << step;
            }
        }
}

// The added colour is the grey of the level, 0 to 160, alpha 0.
TEST(SpriteRect, PulseSwingsTheSecondColourGreyBetween0And160)
{
    SpriteRect rect = placed(0.0f, 0.0f);
    rect.pulse = {1, 1, 0, 48};
    rect.second_color = rect.target_second_color = 0x00FF0000;
    const int expected[] = {48, 96, 144, 160, 112, 64, 16, 0, 48};
    for (int level : expected) {
        EXPECT_FALSE(sprite_rect_animate(rect));
        EXPECT_EQ(rect.pulse.level, level);
        EXPECT_EQ(rect.second_color, static_cast<D3DCOLOR>(level) * 0x010101u);
    }
    EXPECT_EQ(rect.target_second_color, 0x00FF0000u) << "the target is kept for when the pulse stops";
    EXPECT_EQ(rect.color, 0xFFFFFFFFu);
}

// With q the root of the squared channel distance, each channel moves by its difference x speed
// / sqrt(q): big steps far away, small ones near, and a snap once q is within the speed squared.
TEST(SpriteRect, ColourEasesByTheDoubleRootAndSnapsWithinTheSpeedSquared)
{
    SpriteRect rect = placed(0.0f, 0.0f);
    rect.color = 0xFF000000;
    rect.target_color = 0xFF0000FF;
    rect.color_speed = 4.0f;
    // One channel 255 away: it moves by 4 x sqrt(difference) until the difference is 16 or less.
    for (int blue : {63, 118, 164, 202, 231, 250, 255}) {
        EXPECT_TRUE(sprite_rect_animate(rect));
        EXPECT_EQ(rect.color, 0xFF000000u | static_cast<D3DCOLOR>(blue));
    }
    EXPECT_FALSE(sprite_rect_animate(rect));

    // Channels moving down truncate toward their start.
    rect.color = 0x80FF0000;
    rect.target_color = 0x8000FF00;
    EXPECT_TRUE(sprite_rect_animate(rect));
    EXPECT_EQ(rect.color, 0x80CA3500u) << "255 - 53 red, 53 green";

    // A colour on its target does not move, at any speed.
    for (float speed : {0.0f, 4.0f}) {
        rect.color = rect.target_color = 0x40302010;
        rect.color_speed = speed;
        EXPECT_FALSE(sprite_rect_animate(rect));
        EXPECT_EQ(rect.color, 0x40302010u);
    }
    // Speed 0 never moves it.
    rect.target_color = 0xFFFFFFFF;
    rect.color_speed = 0.0f;
    EXPECT_FALSE(sprite_rect_animate(rect));
    EXPECT_EQ(rect.color, 0x40302010u);
}

// The second colour eases linearly: difference x speed / the channel distance.
TEST(SpriteRect, SecondColourEasesByTheSpeedAlongTheDistance)
{
    SpriteRect rect = placed(0.0f, 0.0f);
    rect.target_second_color = 0x00A0A0A0;
    rect.color_speed = 16.0f;
    EXPECT_TRUE(sprite_rect_animate(rect));
    EXPECT_EQ(rect.second_color, 0x00090909u) << "160 x 16 / 277.1 per channel";
    EXPECT_EQ(rect.color, 0xFFFFFFFFu);

    rect.second_color = 0x0000000A;
    rect.target_second_color = 0x00000000;
    EXPECT_TRUE(sprite_rect_animate(rect)) << "10 away, within 16";
    EXPECT_EQ(rect.second_color, 0u);
}

TEST(SpriteRect, ResultTellsAMoveOrAnEasedColourButNotARunningBlinkOrPulse)
{
    const struct {
        const char* what;
        bool blink, pulse, moving, color_differs, second_differs;
        bool result;
    } cases[] = {
        {"at rest", false, false, false, false, false, false},
        {"blink alone", true, false, false, false, false, false},
        {"pulse alone", false, true, false, false, false, false},
        {"blink and pulse", true, true, false, false, false, false},
        {"blink over a different target colour", true, false, false, true, false, false},
        {"pulse over a different target glow", false, true, false, false, true, false},
        {"blink while gliding", true, false, true, false, false, true},
        {"colour easing", false, false, false, true, false, true},
        {"second colour easing", false, false, false, false, true, true},
        {"pulse while the colour eases", false, true, false, true, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SpriteRect rect = placed(0.0f, 0.0f);
        rect.move_speed = 1.0f;
        rect.color_speed = 8.0f;
        rect.blink = {c.blink, 1, 32, 8};
        rect.pulse = {c.pulse, 1, 0, 8};
        if (c.moving) rect.target_x = 50.0f;
        if (c.color_differs) rect.target_color = 0xFF000000;
        if (c.second_differs) rect.target_second_color = 0x00FFFFFF;
        EXPECT_EQ(sprite_rect_animate(rect), c.result);
    }
}

TEST(SpriteRect, ContainsIncludesTheTopLeftEdgesAndExcludesTheBottomRight)
{
    const SpriteRect rect = placed(10.0f, 20.0f, 30.0f, 40.0f);
    const struct {
        std::int32_t x, y;
        bool inside;
    } cases[] = {
        {10, 20, true}, {40, 20, false}, {39, 20, true},  {10, 60, false}, {10, 59, true},
        {39, 59, true}, {9, 20, false},  {10, 19, false}, {25, 40, true},  {-10, -20, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sprite_rect_contains(rect, c.x, c.y), c.inside) << "(" << c.x << ", " << c.y << ")";

    const SpriteRect half = placed(10.5f, 0.0f, 2.0f, 1.0f);
    EXPECT_FALSE(sprite_rect_contains(half, 10, 0));
    EXPECT_TRUE(sprite_rect_contains(half, 11, 0));
    EXPECT_TRUE(sprite_rect_contains(half, 12, 0));
    EXPECT_FALSE(sprite_rect_contains(half, 13, 0));
}
