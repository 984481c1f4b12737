// Effects and particles without the rest of the game: the object pools, an effect list of 400
// empty ids in which a test places its own effects from the effect writer's descriptions, and
// the random generator restarted, so a run is the same every time. step() walks effects, then
// particles, as the game tick's object step does, then sweeps the dead.
#pragma once

#include "core/maths.h"
#include "core/timer.h"
#include "game/g_tick.h"
#include "gfx/eft_new.h"
#include "gfx/go_effect.h"
#include "gfx/go_particle.h"
#include "lib/effect_writer.h"
#include "object/obj_manager.h"
#include "object/obj_pools.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

// Places the described effect at `id` of the loaded list, as the loader would read its file.
inline void eft_fixture_put(int id, const EftFile& file)
{
    const std::vector<std::uint8_t> bytes = eft_ef2_bytes(file);
    ASSERT_EQ(eft_parse_ef2(g_effect_list.at(static_cast<std::size_t>(id)), bytes), S_OK);
}

// One emitter started once at delay 0.
inline EftFile eft_fixture_single(const EftEmitter& emitter)
{
    return {{{0, 0}}, {emitter}};
}

struct EffectStep {
    bool whole = true;  // a whole tick passed
    bool drawn = false; // the frame's drawing step
    bool paused = false;
};

class EffectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(obj_create_pools(), S_OK);
        g_effect_list.assign(EFFECT_ID_COUNT, {});
        math_rand_seed();
        g_frame_step = 1.0f;
        g_paused = g_ai_paused = 0;
    }
    void TearDown() override
    {
        obj_destroy_all();
        obj_destroy_pools();
        eft_free_list();
        g_whole_tick = g_draw_frame = g_tick_active = 0;
        g_paused = g_ai_paused = 0;
    }

    // One object step of the tick: every effect, then every particle, made before it began.
    static void step(EffectStep how = {})
    {
        g_whole_tick = how.whole;
        g_draw_frame = how.drawn;
        g_tick_active = how.whole || how.drawn;
        g_paused = g_ai_paused = how.paused;
        walk(g_pool_effect);
        walk(g_pool_particle);
        obj_sweep_dead();
    }
    static void steps(int n, EffectStep how = {})
    {
        for (int i = 0; i < n; ++i)
            step(how);
    }

    template <typename T> static std::vector<T*> live(const MemPool<T>& pool)
    {
        std::vector<T*> objects;
        for (std::int32_t i = 0; i < pool.count; ++i)
            objects.push_back(static_cast<T*>(pool.active[i]));
        return objects;
    }

private:
    static void walk(const MemPoolDesc& pool)
    {
        const std::int32_t count = pool.count;
        for (std::int32_t i = 0; i < count; ++i) {
            auto& object = *static_cast<GoBase*>(pool.active[i]);
            object.flags &= ~GO_FLAG_NEW;
            if (object.flags == 0) object.Update();
        }
    }
};
