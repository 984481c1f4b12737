// Numbers the effect data may hold that would crash, divide by zero, loop for ever or overflow:
// each case gives the sound result (under the sanitizers, with no undefined behaviour).
#include "test_particle_fixture.h"

#include "gfx/eft_draw.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

namespace {

class EffectMends : public ParticleTest {
protected:
    static void spawn_refused(std::int32_t id)
    {
        eft_fixture_put(0, eft_fixture_single(emitter(plain_def())));
        EXPECT_EQ(eft_spawn(id, {}, {}, {1, 1, 1}, 0, 0, nullptr, 0.0f, 1.0f, 0, 0, ATTACK_ELEMENT_NONE),
                  nullptr);
        EXPECT_EQ(g_pool_effect.count, 0);
        EXPECT_EQ(g_pool_particle.count, 0);
    }

    // A life of -100 jittered by at most 49 either way lives one tick instead of counting down for
    // ever.
    static void life_below_zero()
    {
        EftStartState start;
        start.life = -100;
        EftDefinition def = plain_def();
        def.life_jitter = 50;
        GoParticle& p = put_and_start(1, {emitter(def, start)});
        EXPECT_EQ(p.state.life, 1);
        EXPECT_EQ(p.state.total_life, 1);
        step();
        EXPECT_EQ(g_pool_particle.count, 0);
    }

    // A negative fade step would raise the alpha for ever: it fades by the default step.
    static void negative_fade_step()
    {
        EftStartState start;
        start.life = 1000;
        start.fade_step = -1;
        GoParticle& p = put_and_start(1, {emitter(plain_def(), start)});
        eft_particle_stop(p);
        steps(42);
        EXPECT_EQ(p.state.fade_amount, 42 * EFFECT_DEFAULT_FADE_STEP);
        EXPECT_EQ(alpha(p), 255u - 42 * EFFECT_DEFAULT_FADE_STEP);
        step();
        EXPECT_EQ(g_pool_particle.count, 0);
    }

    // Every period of 0 ticks would divide by 0: the child starts on the first tick only.
    static void trigger_three_without_period()
    {
        put_parent_and_child(1, 3, 0);
        step();
        EXPECT_EQ(count_of_second_emitter(1), 1);
        steps(9);
        EXPECT_EQ(count_of_second_emitter(1), 1);
    }

    // A homing period of 0 would divide by 0: it homes every tick.
    static void homing_without_period()
    {
        EftStartState start;
        start.life = 10;
        start.velocity = {1, 0, 0};
        EftDefinition def = plain_def();
        def.homing_mode = 1;
        def.homing_period = 0;
        def.homing_chance = 255;
        GoParticle& p = put_and_start(1, {emitter(def, start)});
        step();
        expect_near(p.state.velocity, {-1, 0, 0}); // toward the origin from (1, 0, 0)
    }

    // Two keys at one time: the later one is taken, never 0 x infinity.
    static void curve_with_zero_span()
    {
        EftStartState start;
        start.life = 10;
        EftDefinition def = plain_def(EFFECT_DEF_KEYFRAMED);
        def.curves[EFFECT_CURVE_ALPHA] = {{0.0f, 0.0f}, {0.5f, 0.2f}, {0.5f, 0.8f}, {1.0f, 1.0f}};
        GoParticle& p = put_and_start(1, {emitter(def, start)});
        EXPECT_FALSE(std::isnan(eft_curve_eval(p.def->curves[EFFECT_CURVE_ALPHA], 0.5f)));
        steps(5);
        EXPECT_EQ(alpha(p), eft_curve_byte(0.8f));
    }

    // No segments: no vertices and nothing to draw. 300 is cut to 255 at load, which fills the
    // world-quad buffer exactly.
    static void ring_of(std::int32_t segments, std::size_t vertices)
    {
        EftDefinition def = plain_def(EFFECT_DEF_LINEAR | EFFECT_DEF_RING);
        def.ring_segments = segments;
        def.ring_lower_radius = def.ring_upper_radius = 1.0f;
        GoParticle& p = put_and_start(1, {emitter(def)});
        EXPECT_EQ(p.ring.size(), vertices);
        EXPECT_EQ(p.vertices, vertices ? p.ring.data() : nullptr);
        for (const EffectVertex& vertex : p.ring)
            EXPECT_TRUE(std::isfinite(vertex.position.x) && std::isfinite(vertex.position.z));
        step();
    }

    // Far behind the eye on every axis: the squares wrap in unsigned arithmetic.
    static void negative_depth_offset()
    {
        const D3DXVECTOR3 behind(-1.0e6f, -3.2f, -5.9e5f);
        const D3DXVECTOR3 ahead(1.0e6f, 3.2f, 5.9e5f);
        EXPECT_EQ(eft_depth_key(behind), eft_depth_key(ahead));
    }
};

} // namespace

TEST_F(EffectMends, NumbersThatWouldBreakTheEffectsGiveTheSoundResult)
{
    const struct {
        const char* what;
        std::function<void()> run;
    } cases[] = {
        {"effect id -1", [] { spawn_refused(-1); }},
        {"effect id 400", [] { spawn_refused(400); }},
        {"a life that jitters to 0 or below", life_below_zero},
        {"a fade step of -1", negative_fade_step},
        {"trigger 3 with a period of 0", trigger_three_without_period},
        {"a homing period of 0", homing_without_period},
        {"a curve with a zero span", curve_with_zero_span},
        {"a ring of 0 segments", [] { ring_of(0, 0); }},
        {"a ring of 300 segments", [] { ring_of(300, 2 * (EFFECT_RING_SEGMENTS_MAX + 1)); }},
        {"a negative depth offset", negative_depth_offset},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.run();
        obj_destroy_all();
    }
}
