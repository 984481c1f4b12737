// Particles started straight from their emitters: an effect taken from its pool and placed with a
// translation, whose particles are made one by one and counted in it as the effect's own start
// counts them. Definitions start from `plain_def`, whose curves keep a particle white, opaque,
// unscaled, unturned and at its own speed.
#pragma once

#include "gfx/effect_fixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

// Linear curves: speed factor 1, white and opaque, no turn, no spin, scale factors 1.
inline EftDefinition plain_def(std::uint16_t flags = EFFECT_DEF_LINEAR)
{
    EftDefinition def;
    def.flags = flags;
    for (int curve = 0; curve < EFT_CURVES; ++curve)
        def.curves[curve] = eft_constant(curve >= EFFECT_CURVE_ALPHA && curve <= 7 ? 1.0f : 0.5f);
    return def;
}

inline EftEmitter emitter(const EftDefinition& def, const EftStartState& state = {})
{
    EftEmitter out;
    out.def = def;
    out.state = state;
    return out;
}

inline std::uint32_t alpha(const GoParticle& particle)
{
    return particle.state.vertices[0].colour1 >> 24;
}

inline void expect_near(const D3DXVECTOR3& actual, const D3DXVECTOR3& expected, float tolerance = 1e-5f)
{
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

class ParticleTest : public EffectTest {
protected:
    // A constructed effect of the id at the point, as eft_set_transform would place it.
    static GoEffect& make_effect(int id, const D3DXVECTOR3& at = {})
    {
        GoEffect* effect = obj_create<GoEffect>(g_pool_effect);
        EXPECT_NE(effect, nullptr);
        effect->effect_id = static_cast<std::uint16_t>(id);
        effect->scale = {1.0f, 1.0f, 1.0f};
        D3DXMatrixTranslation(&effect->world, at.x, at.y, at.z);
        effect->draw_matrix = &effect->world;
        return *effect;
    }

    // One particle of the effect's emitter, counted in the effect.
    static GoParticle* start_one(GoEffect& effect, int emitter = 0, std::uint8_t delay = 0,
                                 GoParticle* parent = nullptr)
    {
        const EffectListEntry& entry = g_effect_list.at(effect.effect_id);
        GoParticle* particle =
            eft_particle_create(effect, entry.states.at(static_cast<std::size_t>(emitter)),
                                entry.defs.at(static_cast<std::size_t>(emitter)), delay, parent);
        if (particle) ++effect.live_particles;
        return particle;
    }

    // Places the emitters as effect `id` and starts emitter 0 of a new effect at the point.
    static GoParticle& put_and_start(int id, const std::vector<EftEmitter>& emitters,
                                     const D3DXVECTOR3& at = {})
    {
        eft_fixture_put(id, {{{0, 0}}, emitters});
        GoParticle* particle = start_one(make_effect(id, at));
        EXPECT_NE(particle, nullptr);
        return *particle;
    }

    // Effect `id`: emitter 0 a parent of 10 ticks whose child is emitter 1, a particle of 100
    // ticks started by the trigger and period given; the parent is started.
    static void put_parent_and_child(int id, std::uint8_t trigger, std::int32_t period)
    {
        EftStartState parent_start;
        parent_start.life = 10;
        EftDefinition parent_def = plain_def();
        parent_def.children = {1};
        EftStartState child_start;
        child_start.life = 100;
        EftDefinition child_def = plain_def();
        child_def.trigger = trigger;
        child_def.child_period = period;
        put_and_start(id, {emitter(parent_def, parent_start), emitter(child_def, child_start)});
    }
    // How many particles of emitter 1 of effect `id` the pool holds.
    static std::int32_t count_of_second_emitter(int id)
    {
        const EffectEmitterDef* kind = &g_effect_list.at(static_cast<std::size_t>(id)).defs.at(1);
        std::int32_t count = 0;
        for (const GoParticle* particle : live(g_pool_particle))
            if (particle->def == kind) ++count;
        return count;
    }

    static bool alive(const GoParticle& particle) { return particle.flags == 0 && particle.state.life != 0; }
};
