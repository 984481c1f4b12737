#include "test_particle_fixture.h"

#include "game/sound_fixture.h"
#include "game/test_hit_fixture.h"
#include "lib/sound_table_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

const WavFormat MONO{1, 22050, 16};

// The effect fixture's world (pools, effect list, generator) and steps, for a fixture on the
// sound tables' base.
struct EffectWorld : EffectTest {
    void TestBody() override {}
    using EffectTest::SetUp;
    using EffectTest::step;
    using EffectTest::TearDown;
};

// Particles over a floor of collision set A at height 0, with the impact sounds 392, 291 and
// 349 in the effect table of the loopback audio device.
class ParticleImpact : public SoundTableTest {
protected:
    void SetUp() override
    {
        SoundTableTest::SetUp();
        fake_ogg::register_vorbisfile();
        Start(Params());
        SoundTableWriter table;
        for (std::uint32_t id : {291u, 349u, 392u})
            table.Effect({.id = id, .name = "tap", .is_3d = true});
        LoadEffects(table,
                    {{"data\\wave\\effect\\tap.wav", wav_build_pcm(MONO, wav_tone(MONO, 2205, 440.0))}});
        m_world.SetUp();
    }
    void TearDown() override
    {
        m_world.TearDown();
        SoundTableTest::TearDown();
    }

    static void add_floor()
    {
        GoMesh* mesh = obj_create<GoMesh>(g_pool_mesh);
        ASSERT_NE(mesh, nullptr);
        ASSERT_EQ(coll_model_parse(mesh->collision_a, qco_bytes(qco_image(floor_at(0.0f)))), S_OK);
        mesh->has_collision_a = 1;
        mesh->enabled = 1;
        D3DXMatrixIdentity(&mesh->world);
        D3DXMatrixIdentity(&mesh->rotation);
        mesh->UpdateWorldMatrix();
    }

    // Over a new floor, an attacking, colliding particle falling 1 a tick from 2.5 above it, in an
    // effect at height 1; its impact starts `impact`, which has one long-lived particle.
    static GoParticle& faller(std::int16_t impact, std::uint8_t cull_mode = 0)
    {
        add_floor();
        EftStartState start;
        start.life = 100;
        start.velocity = {0, -1, 0};
        start.position = {0, 1.5f, 0};
        EftDefinition def = plain_def();
        def.attacking = 1;
        def.collision = EFFECT_COLLIDE_MAP;
        def.impact_effect = impact;
        def.cull_mode = cull_mode;
        eft_fixture_put(1, eft_fixture_single(emitter(def, start)));
        EftStartState lasting;
        lasting.life = 1000;
        eft_fixture_put(impact, eft_fixture_single(emitter(plain_def(), lasting)));
        GoEffect* effect = obj_create<GoEffect>(g_pool_effect);
        effect->effect_id = 1;
        effect->scale = {1, 1, 1};
        D3DXMatrixTranslation(&effect->world, 0, 1, 0);
        effect->draw_matrix = &effect->world;
        GoParticle* particle =
            eft_particle_create(*effect, g_effect_list[1].states[0], g_effect_list[1].defs[0], 0, nullptr);
        ++effect->live_particles;
        return *particle;
    }

    static void step() { EffectWorld::step(); }

    static std::vector<AudioCommand> sounds()
    {
        std::vector<AudioCommand> played;
        for (const AudioCommand& command : posted_commands())
            if (command.type == AUDIO_CMD_PLAY_AT) played.push_back(command);
        return played;
    }

    // The effects started since the particle's own: their ids.
    static std::vector<int> impacts()
    {
        std::vector<int> ids;
        for (std::int32_t i = 1; i < g_pool_effect.count; ++i)
            ids.push_back(static_cast<GoEffect*>(g_pool_effect.active[i])->effect_id);
        return ids;
    }

    EffectWorld m_world;
};

} // namespace

// The first whole tick marks the start; the third crosses the floor between the last two world
// positions, and the particle stops at the hit point and ends there.
TEST_F(ParticleImpact, FallingParticleHitsTheFloorAndStartsItsImpact)
{
    const struct {
        std::int16_t impact;
        std::int32_t sound; // 0: none
    } cases[] = {{60, 392}, {61, 392}, {133, 291}, {247, 291}, {319, 349}, {77, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.impact);
        GoParticle& p = faller(c.impact);
        step();
        step();
        EXPECT_EQ(p.collision_started, 1);
        EXPECT_TRUE(sounds().empty());
        EXPECT_TRUE(impacts().empty());
        step();

        expect_near(matrix_position(p.world), {0, 0, 0});
        expect_near(p.state.position, {0, -1, 0});
        EXPECT_EQ(p.state.fading, 1);
        EXPECT_EQ(p.collision_on, 0);
        EXPECT_EQ(p.attack.active_ticks, 0);
        EXPECT_EQ(p.effect.get()->stop_request, 1);
        const std::vector<AudioCommand> played = sounds();
        if (c.sound) {
            ASSERT_EQ(played.size(), 1u);
            EXPECT_EQ(played[0].target, static_cast<std::uint32_t>(c.sound));
            EXPECT_NEAR(played[0].position[1], 0.0f, 1e-5f);
        } else {
            EXPECT_TRUE(played.empty());
        }
        ASSERT_EQ(impacts(), std::vector<int>{c.impact});
        const auto& impact = *static_cast<GoEffect*>(g_pool_effect.active[1]);
        expect_near(matrix_position(impact.world), {0, 0, 0});
        EXPECT_EQ(impact.live_particles, 1);
        obj_destroy_all();
        Pass();
    }
}

// A collision radius sweeps a sphere, which stops a radius above the floor: resting on it at the
// end of the second tick's move, it is held back by it on the third.
TEST_F(ParticleImpact, ACollisionRadiusStopsTheSphereOnTheFloor)
{
    GoParticle& p = faller(60);
    p.collision_radius = 0.5f;
    step();
    step();
    EXPECT_EQ(p.state.fading, 0);
    step();
    expect_near(matrix_position(p.world), {0, 0.5f, 0});
    expect_near(p.state.position, {0, -0.5f, 0});
    EXPECT_EQ(p.state.fading, 1);
    EXPECT_EQ(impacts(), std::vector<int>{60});
}

// Only a hidden particle of culling mode 2 or more keeps its impact unseen and unheard; it ends all
// the same.
TEST_F(ParticleImpact, HiddenCullModeTwoParticleStartsNoImpact)
{
    const struct {
        std::uint8_t cull_mode;
        bool hidden;
        bool starts;
    } cases[] = {{2, true, false}, {3, true, false}, {1, true, true}, {2, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.cull_mode} << " hidden " << c.hidden);
        GoParticle& p = faller(60, c.cull_mode);
        p.state.hidden = c.hidden;
        step();
        step();
        step();
        EXPECT_EQ(p.state.fading, 1);
        EXPECT_EQ(sounds().size(), c.starts ? 1u : 0u);
        EXPECT_EQ(impacts().size(), c.starts ? 1u : 0u);
        obj_destroy_all();
        Pass();
    }
}
