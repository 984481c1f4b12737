// Particles made straight from the pool, with the definition, state and matrix a test gives them,
// owned by one effect as the particle module would make them: what the draw side sees.
#pragma once

#include "gfx/eft_new.h"
#include "gfx/go_effect.h"
#include "gfx/go_particle.h"
#include "object/obj_pools.h"

#include <gtest/gtest.h>

#include <deque>

class ParticleMaker {
public:
    // A definition that lives as long as the maker: particles point at it.
    EffectEmitterDef& def(std::uint16_t flags = 0)
    {
        EffectEmitterDef& made = m_defs.emplace_back();
        made.flags = flags;
        return made;
    }

    // The effect every particle belongs to, at scale 1 and without a camera pull; made again
    // after a world clear.
    GoEffect& effect()
    {
        if (!m_effect) {
            GoEffect* made = obj_create<GoEffect>(g_pool_effect);
            EXPECT_NE(made, nullptr);
            made->scale = D3DXVECTOR3(1.0f, 1.0f, 1.0f);
            m_effect = ObjHandle<GoEffect>(made);
        }
        return *m_effect.get();
    }

    // A live particle of the definition at the world position, in row 11: base scale and scale
    // factors 1, the start state's unit quad in white, its own vertices drawn. It counts in its
    // effect as eft_emitter_init would count it.
    GoParticle& particle(const EffectEmitterDef& definition, const D3DXVECTOR3& at)
    {
        GoParticle* made = obj_create<GoParticle>(g_pool_particle);
        EXPECT_NE(made, nullptr);
        GoEffect& owner = effect();
        made->effect = ObjHandle<GoEffect>(&owner);
        owner.ref_count += 1;
        owner.live_particles += 1;
        made->def = &definition;
        EffectEmitter& state = made->state;
        state.render_row = EFFECT_ROW;
        state.total_life = state.life = 100;
        state.base_scale = state.scale_factors = D3DXVECTOR3(1.0f, 1.0f, 1.0f);
        const float corners[4][2] = {{-0.5f, 0.5f}, {0.5f, 0.5f}, {-0.5f, -0.5f}, {0.5f, -0.5f}};
        for (int i = 0; i < 4; ++i)
            state.vertices[i] = {D3DXVECTOR3(corners[i][0], corners[i][1], 0.0f), 0xFFFFFFFF, 0,
                                 corners[i][0] + 0.5f, 0.5f - corners[i][1]};
        made->vertices = state.vertices;
        D3DXMatrixTranslation(&made->matrix, at.x, at.y, at.z);
        state.position = at;
        return *made;
    }

    // Colour 1 (alpha in its top byte) and colour 2 in every vertex, as the simulation writes them.
    static void colour(GoParticle& particle, std::uint32_t colour1, std::uint32_t colour2 = 0)
    {
        for (EffectVertex& vertex : particle.state.vertices) {
            vertex.colour1 = colour1;
            vertex.colour2 = colour2;
        }
    }

    static void move(GoParticle& particle, const D3DXVECTOR3& at)
    {
        D3DXMatrixTranslation(&particle.matrix, at.x, at.y, at.z);
        particle.state.position = at;
    }

private:
    std::deque<EffectEmitterDef> m_defs;
    ObjHandle<GoEffect> m_effect;
};
