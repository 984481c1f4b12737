#include "object/actor/actor_setup_fixture.h"

#include "game/g_tick.h"
#include "lowlv/d3d/renderer_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

namespace {

constexpr int k_slot = 2;
constexpr int k_slots = 4;

// Keys that differ in every component, so a wrong key or a wrong fraction shows.
LightParams light_params(std::int32_t first, std::int32_t second, std::int32_t loop,
                         std::int32_t slot = k_slot)
{
    LightParams params{};
    const float colours[3][3] = {{0.0f, 0.0f, 0.0f}, {1.0f, 0.5f, 0.25f}, {0.0f, 1.0f, 0.0f}};
    std::copy(&colours[0][0], &colours[0][0] + 9, &params.colour[0][0]);
    const float ranges[3] = {2.0f, 4.0f, 10.0f};
    const float attenuations[3] = {1.0f, 3.0f, 5.0f};
    std::copy(std::begin(ranges), std::end(ranges), params.range);
    std::copy(std::begin(attenuations), std::end(attenuations), params.attenuation);
    params.phase_ticks[0] = first;
    params.phase_ticks[1] = second;
    params.slot = slot;
    params.loop = loop;
    return params;
}

// A slot as a light sets it, for comparing.
struct SlotValues {
    float range, attenuation;
    D3DXVECTOR3 position;
    D3DXVECTOR4 colour;
};

SlotValues slot_values(int slot)
{
    const PointLight& light = g_frame_effects.point_lights[slot];
    return {light.params[0], light.params[1], light.position, light.color};
}

void expect_slot(int slot, const SlotValues& expected)
{
    const SlotValues seen = slot_values(slot);
    EXPECT_FLOAT_EQ(seen.range, expected.range);
    EXPECT_FLOAT_EQ(seen.attenuation, expected.attenuation);
    EXPECT_EQ(seen.position, expected.position);
    EXPECT_FLOAT_EQ(seen.colour.x, expected.colour.x);
    EXPECT_FLOAT_EQ(seen.colour.y, expected.colour.y);
    EXPECT_FLOAT_EQ(seen.colour.z, expected.colour.z);
    EXPECT_EQ(seen.colour.w, 0.0f);
}

const D3DXVECTOR3 k_at(3.0f, 1.0f, -2.0f);

class PointLightTest : public ActorSetupTest {
protected:
    void SetUp() override
    {
        ActorSetupTest::SetUp();
        m_saved = {g_whole_tick, g_draw_frame, g_paused};
        set_step(1, 0, 0);
        clear_slots();
    }
    void TearDown() override
    {
        g_whole_tick = m_saved[0];
        g_draw_frame = m_saved[1];
        g_paused = m_saved[2];
        ActorSetupTest::TearDown();
    }

    static void set_step(std::uint8_t whole_tick, std::uint8_t draw_frame, std::uint8_t paused)
    {
        g_whole_tick = whole_tick;
        g_draw_frame = draw_frame;
        g_paused = paused;
    }
    static void clear_slots()
    {
        for (PointLight& light : g_frame_effects.point_lights)
            light = PointLight{};
    }

    static GoXx& make_light(const LightParams& params)
    {
        GoXx* object = obj_create<GoXx>(g_pool_xx);
        EXPECT_NE(object, nullptr);
        object->world._41 = k_at.x;
        object->world._42 = k_at.y;
        object->world._43 = k_at.z;
        goxx_init_point_light(*object, params);
        return *object;
    }

    // Whole ticks without drawing; stops at the light's death.
    static void run_ticks(GoXx& light, int ticks)
    {
        for (int i = 0; i < ticks && !dead(light); ++i)
            light.Update();
    }
    static void draw(GoXx& light)
    {
        set_step(0, 1, 0);
        light.Update();
        set_step(1, 0, 0);
    }
    static bool dead(const GoXx& light) { return (light.flags & GO_FLAG_DEAD) != 0; }

private:
    std::array<std::uint8_t, 3> m_saved{};
};

} // namespace

// The maker counts the light and starts it at the beginning of phase 0, not following the player.
TEST_F(PointLightTest, AMadeLightStartsAtItsFirstKey)
{
    const std::int32_t before = g_goxx_live_count[GOXX_POINT_LIGHT];
    GoXx& light = make_light(light_params(20, 40, 0));
    EXPECT_EQ(light.role, GOXX_POINT_LIGHT);
    EXPECT_EQ(g_goxx_live_count[GOXX_POINT_LIGHT], before + 1);
    const PointLightState& state = light.area<PointLightState>();
    EXPECT_EQ(state.counter, 0u);
    EXPECT_EQ(state.phase, 0u);
    EXPECT_EQ(state.follow_player, 0);
    EXPECT_EQ(state.params.slot, k_slot);

    draw(light);
    expect_slot(k_slot, {2.0f, 1.0f, k_at, {0.0f, 0.0f, 0.0f, 0.0f}});
}

// Phases of 30 and 30 ticks: the light turns to phase 1 on its 30th whole tick and dies on its
// 60th; with loop set it starts over instead, for ever.
TEST_F(PointLightTest, PhasesOf30And30LiveSixtyTicksOrLoop)
{
    GoXx& once = make_light(light_params(30, 30, 0));
    run_ticks(once, 29);
    EXPECT_EQ(once.area<PointLightState>().phase, 0u);
    run_ticks(once, 1);
    EXPECT_EQ(once.area<PointLightState>().phase, 1u);
    run_ticks(once, 29);
    EXPECT_FALSE(dead(once));
    run_ticks(once, 1);
    EXPECT_TRUE(dead(once));

    GoXx& looping = make_light(light_params(30, 30, 1));
    run_ticks(looping, 60);
    EXPECT_FALSE(dead(looping));
    EXPECT_EQ(looping.area<PointLightState>().counter, 0u);
    EXPECT_EQ(looping.area<PointLightState>().phase, 0u);
    run_ticks(looping, 6000);
    EXPECT_FALSE(dead(looping));
    EXPECT_EQ(looping.area<PointLightState>().counter, 0u);
}

// The counter moves on whole ticks only, and the pause does not stop it; the slot is lit on drawn
// frames only, paused or not.
TEST_F(PointLightTest, APausedGameKeepsTheLightRunning)
{
    GoXx& light = make_light(light_params(30, 30, 0));
    set_step(1, 0, 1);
    light.Update();
    EXPECT_EQ(light.area<PointLightState>().counter, 1u);
    EXPECT_EQ(slot_values(k_slot).range, 0.0f) << "lit without a drawn frame";

    set_step(0, 1, 1);
    light.Update();
    EXPECT_EQ(light.area<PointLightState>().counter, 1u) << "counted without a whole tick";
    EXPECT_GT(slot_values(k_slot).range, 0.0f);

    set_step(1, 0, 1);
    for (int i = 0; i < 59; ++i)
        light.Update();
    EXPECT_TRUE(dead(light));
}

// Colour, range and attenuation go from the phase's first key to its next by the fraction of the
// phase gone.
TEST_F(PointLightTest, TheSlotHoldsTheKeysInterpolatedInThePhase)
{
    GoXx& light = make_light(light_params(20, 40, 0));
    run_ticks(light, 10); // half of phase 0
    draw(light);
    expect_slot(k_slot, {3.0f, 2.0f, k_at, {0.5f, 0.25f, 0.125f, 0.0f}});

    run_ticks(light, 20); // a quarter of phase 1
    draw(light);
    expect_slot(k_slot, {5.5f, 3.5f, k_at, {0.75f, 0.625f, 0.1875f, 0.0f}});
    for (int other : {0, 1, 3})
        EXPECT_EQ(slot_values(other).range, 0.0f) << other;
}

// A phase of no length is over at once: its end key is lit instead of a division by zero, and the
// light goes on to the next phase, or starts over, on the next tick.
TEST_F(PointLightTest, APhaseOfNoLengthTakesItsEndKeyAtOnce)
{
    GoXx& first_empty = make_light(light_params(0, 10, 0));
    draw(first_empty);
    expect_slot(k_slot, {4.0f, 3.0f, k_at, {1.0f, 0.5f, 0.25f, 0.0f}});
    run_ticks(first_empty, 5);
    EXPECT_EQ(first_empty.area<PointLightState>().phase, 1u);
    draw(first_empty);
    expect_slot(k_slot, {7.0f, 4.0f, k_at, {0.5f, 0.75f, 0.125f, 0.0f}});
    go_kill(first_empty);

    GoXx& both_empty = make_light(light_params(0, 0, 1));
    for (int tick = 0; tick < 3; ++tick) {
        run_ticks(both_empty, 1);
        EXPECT_FALSE(dead(both_empty));
        draw(both_empty);
        const SlotValues seen = slot_values(k_slot);
        EXPECT_TRUE(std::isfinite(seen.range) && std::isfinite(seen.attenuation) &&
                    std::isfinite(seen.colour.x));
        expect_slot(k_slot, {4.0f, 3.0f, k_at, {1.0f, 0.5f, 0.25f, 0.0f}});
    }

    GoXx& second_empty = make_light(light_params(10, 0, 0));
    run_ticks(second_empty, 9);
    EXPECT_FALSE(dead(second_empty));
    run_ticks(second_empty, 1);
    EXPECT_TRUE(dead(second_empty));
}

// A slot outside 0-3 lights nothing and leaves the four slots as they were.
TEST_F(PointLightTest, ASlotOutsideTheTableLightsNothing)
{
    for (int slot : {4, -1, 100}) {
        SCOPED_TRACE(slot);
        clear_slots();
        GoXx& light = make_light(light_params(20, 20, 0, slot));
        run_ticks(light, 5);
        draw(light);
        for (int other = 0; other < k_slots; ++other)
            expect_slot(other, {0.0f, 0.0f, D3DXVECTOR3(0.0f, 0.0f, 0.0f), {0.0f, 0.0f, 0.0f, 0.0f}});
        go_kill(light);
    }
}

// A light that follows the player takes the player's position on every whole tick; without a
// player it stays where it is.
TEST_F(PointLightTest, AFollowingLightStaysOnThePlayer)
{
    GoXx& light = make_light(light_params(30, 30, 1));
    light.area<PointLightState>().follow_player = 1;
    run_ticks(light, 1);
    EXPECT_EQ(D3DXVECTOR3(light.world._41, light.world._42, light.world._43), k_at);

    GoActor& player = set_up(ACTOR_CAST_HERO, ACTOR_SPAWN_FRIEND, ACTOR_KEY_PLAYER);
    g_player = &player;
    actor_set_position(D3DXVECTOR3(-4.0f, 2.0f, 6.0f), player, 0.0f);
    run_ticks(light, 1);
    draw(light);
    EXPECT_EQ(slot_values(k_slot).position, actor_position(player));

    GoXx& fixed = make_light(light_params(30, 30, 1));
    run_ticks(fixed, 1);
    EXPECT_EQ(D3DXVECTOR3(fixed.world._41, fixed.world._42, fixed.world._43), k_at);
}
