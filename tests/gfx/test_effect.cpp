#include "effect_fixture.h"

#include "game/g_play_state.h"
#include "game/g_scn_data.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"
#include "object/xx/go_xx.h"

#include <cmath>
#include <cstdint>
#include <numbers>

namespace {

constexpr float k_quarter_turn = std::numbers::pi_v<float> / 2.0f;
const D3DXVECTOR3 k_unit_scale(1.0f, 1.0f, 1.0f);
constexpr std::int32_t k_empty_id = 7; // no file: an effect without emitters
constexpr std::int32_t k_named_id = 12;

D3DXVECTOR3 position_of(const D3DXMATRIX& m)
{
    return {m._41, m._42, m._43};
}

D3DXVECTOR3 transformed(const D3DXVECTOR3& point, const D3DXMATRIX& m)
{
    D3DXVECTOR3 out;
    D3DXVec3TransformCoord(&out, &point, &m);
    return out;
}

void expect_near(const D3DXVECTOR3& actual, const D3DXVECTOR3& expected)
{
    EXPECT_NEAR(actual.x, expected.x, 1e-5f);
    EXPECT_NEAR(actual.y, expected.y, 1e-5f);
    EXPECT_NEAR(actual.z, expected.z, 1e-5f);
}

void expect_near(const D3DXMATRIX& actual, const D3DXMATRIX& expected)
{
    for (int row = 0; row < 4; ++row)
        for (int column = 0; column < 4; ++column)
            EXPECT_NEAR(actual.m[row][column], expected.m[row][column], 1e-5f) << row << ", " << column;
}

// The arguments a map's effect record starts with, at the point.
GoEffect* spawn(std::int32_t id, const D3DXVECTOR3& at = {})
{
    return eft_spawn(id, at, D3DXVECTOR3(), k_unit_scale, 0, 0, nullptr, 0.0f, 1.0f, 0, 0,
                     ATTACK_ELEMENT_NONE);
}

// Takes every free slot of the pool.
template <typename T, typename Pooled> void fill(MemPool<Pooled>& pool)
{
    while (obj_create<T>(pool)) {
    }
}

// An effect with one emitter whose definition starts effect `named` instead of particles.
EftFile starter_of(std::int16_t named, const EftVec3& base_scale = {1, 1, 1})
{
    EftEmitter emitter;
    emitter.def.flags = EFFECT_DEF_STARTS_EFFECT;
    emitter.def.effect_id = named;
    emitter.state.base_scale = base_scale;
    return eft_fixture_single(emitter);
}

GoEffect& effect_at(std::int32_t index)
{
    return *static_cast<GoEffect*>(g_pool_effect.active[index]);
}

} // namespace

// ---- Starting ----------------------------------------------------------------------------------------
using EffectSpawn = EffectTest;

TEST_F(EffectSpawn, IdsOutsideTheListReturnNullWithBothPoolsUntouched)
{
    for (std::int32_t id : {-1, EFFECT_ID_COUNT, 1000, INT32_MIN}) {
        EXPECT_EQ(spawn(id), nullptr) << id;
        EXPECT_EQ(g_pool_effect.count, 0) << id;
        EXPECT_EQ(g_pool_particle.count, 0) << id;
    }
    EXPECT_NE(spawn(EFFECT_ID_COUNT - 1), nullptr);
}

TEST_F(EffectSpawn, FullParticlePoolReturnsNullWithoutTakingAnEffect)
{
    fill<GoParticle>(g_pool_particle);
    EXPECT_FALSE(eft_particle_pool_has_room());
    EXPECT_EQ(spawn(k_empty_id), nullptr);
    EXPECT_EQ(g_pool_effect.count, 0);
}

TEST_F(EffectSpawn, FullEffectPoolReturnsNull)
{
    fill<GoEffect>(g_pool_effect);
    EXPECT_TRUE(eft_particle_pool_has_room());
    EXPECT_EQ(spawn(k_empty_id), nullptr);
}

TEST_F(EffectSpawn, KeepsItsAttackValuesAndStartsInItsRow)
{
    struct Case {
        std::int32_t in_water;
        std::uint8_t row;
    };
    const Case cases[] = {
        {0, EFFECT_ROW}, {1, EFFECT_ROW_IN_WATER}, {-1, EFFECT_ROW_IN_WATER}, {9, EFFECT_ROW_IN_WATER}};
    for (const Case c : cases) {
        StatusBlock status{};
        status.atk = 42.0f;
        GoEffect* effect = eft_spawn(k_named_id, D3DXVECTOR3(), D3DXVECTOR3(), D3DXVECTOR3(2.0f, 3.0f, 4.0f),
                                     c.in_water, 1, &status, 0.5f, 1.5f, 2, 0x11, 4);
        ASSERT_NE(effect, nullptr);
        EXPECT_EQ(effect->render_row, c.row) << c.in_water;
        EXPECT_EQ(effect->effect_id, k_named_id);
        EXPECT_EQ(effect->side, 1);
        EXPECT_EQ(effect->status.atk, 42.0f);
        EXPECT_EQ(effect->power_a, 0.5f);
        EXPECT_EQ(effect->power_b, 1.5f);
        EXPECT_EQ(effect->strength, 2);
        EXPECT_EQ(effect->ailment_mask, 0x11);
        EXPECT_EQ(effect->element, 4);
        EXPECT_EQ(effect->scale, k_unit_scale); // the start list sets it back, the matrix keeps it
        EXPECT_EQ(effect->draw_matrix, &effect->world);
        EXPECT_EQ(effect->attack_id, 0);
    }
}

TEST_F(EffectSpawn, EmptyIdMakesAnEffectThatDiesOnItsFirstUpdate)
{
    GoEffect* effect = spawn(k_empty_id);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->live_particles, 0);
    EXPECT_EQ(effect->camera_pull, 0.0f);
    step();
    EXPECT_EQ(g_pool_effect.count, 0);
}

TEST_F(EffectSpawn, CameraPullComesFromTheFirstEmittersDefinition)
{
    EftFile file = starter_of(k_empty_id);
    file.emitters.push_back(file.emitters[0]);
    file.emitters[0].def.camera_pull = 2.5f;
    file.emitters[1].def.camera_pull = 7.0f;
    eft_fixture_put(k_named_id, file);
    GoEffect* effect = spawn(k_named_id);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->camera_pull, 2.5f);
}

TEST_F(EffectSpawn, WorldIsScaledThenTurnedThenMoved)
{
    struct Case {
        D3DXVECTOR3 rotation; // x pitch, y yaw, z roll
        D3DXVECTOR3 point;
        D3DXVECTOR3 expected;
    };
    const D3DXVECTOR3 at(1.0f, 2.0f, 3.0f);
    const Case cases[] = {
        {{0, 0, 0}, {1, 0, 0}, {3, 2, 3}},
        {{0, k_quarter_turn, 0}, {1, 0, 0}, {1, 2, 1}}, // x turns to -z
        {{k_quarter_turn, 0, 0}, {0, 1, 0}, {1, 2, 5}}, // y turns to z
        {{0, 0, k_quarter_turn}, {1, 0, 0}, {1, 4, 3}}, // x turns to y
    };
    for (const Case& c : cases) {
        GoEffect* effect = eft_spawn(k_empty_id, at, c.rotation, D3DXVECTOR3(2.0f, 2.0f, 2.0f), 0, 0, nullptr,
                                     0.0f, 1.0f, 0, 0, ATTACK_ELEMENT_NONE);
        ASSERT_NE(effect, nullptr);
        expect_near(transformed(c.point, effect->world), c.expected);
    }
}

// ---- Effects with an eex status --------------------------------------------------------------------
// Every eex row has its own values: row r attacks with 100 + 10 r.
class EffectEexStatus : public EffectTest {
protected:
    void SetUp() override
    {
        EffectTest::SetUp();
        g_play_state = {};
        g_eexinfo.assign(13, EexInfo{});
        for (std::size_t row = 0; row < g_eexinfo.size(); ++row) {
            g_eexinfo[row].max_hp = 50.0f + static_cast<float>(row);
            g_eexinfo[row].attack = 100.0f + 10.0f * static_cast<float>(row);
            g_eexinfo[row].defence = 3.0f;
            g_eexinfo[row].level = 1;
        }
    }
    void TearDown() override
    {
        scn_data_free();
        g_play_state = {};
        EffectTest::TearDown();
    }

    static StatusBlock row_status(int row)
    {
        StatusBlock status{};
        scn_data_eex_params(status, row);
        return status;
    }
    static void enter_scene(const char* path)
    {
        g_scene_list.assign(2, SceneEntry{});
        std::snprintf(g_scene_list[1].path, sizeof g_scene_list[1].path, "%s", path);
        g_play_state.scene_id = 1;
    }
    static float attack_of(std::int32_t id)
    {
        StatusBlock starter{};
        starter.atk = 1.0f;
        GoEffect* effect = eft_spawn(id, D3DXVECTOR3(), D3DXVECTOR3(), k_unit_scale, 0, 1, &starter, 0.0f,
                                     1.0f, 0, 0, ATTACK_ELEMENT_NONE);
        EXPECT_NE(effect, nullptr);
        return effect ? effect->status.atk : 0.0f;
    }
};

TEST_F(EffectEexStatus, StatusComesFromTheRowOfTheIdAndEasyLowersTheAttack)
{
    struct Case {
        std::int32_t id;
        int row;
    };
    const Case cases[] = {{369, 8}, {286, 8}, {120, 9}, {122, 9}, {123, 10}, {121, 11}, {125, 12}, {126, 12}};
    for (const Case c : cases) {
        g_play_state.game_flags[GF_EASY] = 0;
        GoEffect* effect = eft_spawn(c.id, D3DXVECTOR3(), D3DXVECTOR3(), k_unit_scale, 0, 1, nullptr, 0.0f,
                                     1.0f, 0, 0, ATTACK_ELEMENT_NONE);
        ASSERT_NE(effect, nullptr);
        const StatusBlock expected = row_status(c.row);
        EXPECT_EQ(effect->status.max_hp, expected.max_hp) << c.id;
        EXPECT_EQ(effect->status.hp, expected.hp) << c.id;
        EXPECT_EQ(effect->status.atk, expected.atk) << c.id;
        EXPECT_EQ(effect->status.level, expected.level) << c.id;
        g_play_state.game_flags[GF_EASY] = 1;
        EXPECT_EQ(attack_of(c.id), expected.atk - 5.0f) << c.id;
    }
}

TEST_F(EffectEexStatus, Id123InTheBonusSceneLosesThirtyFiveMoreWhateverTheCase)
{
    const float row_attack = row_status(10).atk;
    enter_scene("S_45\\s_4513\\");
    EXPECT_EQ(attack_of(123), row_attack - 35.0f);
    g_play_state.game_flags[GF_EASY] = 1;
    EXPECT_EQ(attack_of(123), row_attack - 40.0f);
    EXPECT_EQ(attack_of(121), row_status(11).atk - 5.0f); // the scene weakens 123 alone

    enter_scene("s_45\\s_4512\\");
    EXPECT_EQ(attack_of(123), row_attack - 5.0f);
}

TEST_F(EffectEexStatus, OtherIdsKeepTheStartersStatus)
{
    g_play_state.game_flags[GF_EASY] = 1;
    EXPECT_EQ(attack_of(124), 1.0f);
    GoEffect* effect = spawn(124);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->status.max_hp, 1.0f); // a new object's
}

// ---- Point lights ----------------------------------------------------------------------------------
class EffectLights : public EffectTest {
protected:
    void TearDown() override
    {
        g_player = nullptr;
        EffectTest::TearDown();
    }

    static GoActor& make_player(const D3DXVECTOR3& at)
    {
        GoActor* player = obj_create<GoActor>(g_pool_actor);
        EXPECT_NE(player, nullptr);
        D3DXMatrixTranslation(&player->world, at.x, at.y, at.z);
        g_player = player;
        return *player;
    }
    static GoXx& light_at(std::int32_t index) { return *static_cast<GoXx*>(g_pool_xx.active[index]); }
};

namespace {

struct LightCase {
    std::int32_t id;
    float range[3];
    std::int32_t phase_ticks[2];
    bool on_player;
};
const LightCase k_light_cases[] = {
    {4, {8.0f, 16.0f, 0.0f}, {30, 30}, false},
    {23, {7.5f, 8.5f, 7.5f}, {20, 80}, true},
    {18, {6.0f, 7.0f, 6.0f}, {10, 40}, true},
};

void expect_light_record(GoXx& light, const LightCase& c)
{
    EXPECT_EQ(light.role, GOXX_POINT_LIGHT);
    const PointLightState& state = light.area<PointLightState>();
    const LightParams& params = state.params;
    for (int key = 0; key < 3; ++key) {
        EXPECT_EQ(params.range[key], c.range[key]) << c.id << " key " << key;
        EXPECT_EQ(params.attenuation[key], c.range[key]) << c.id << " key " << key;
        for (float channel : params.colour[key])
            EXPECT_EQ(channel, 0.0f) << c.id;
    }
    EXPECT_EQ(params.phase_ticks[0], c.phase_ticks[0]) << c.id;
    EXPECT_EQ(params.phase_ticks[1], c.phase_ticks[1]) << c.id;
    EXPECT_EQ(params.slot, 0) << c.id;
    EXPECT_EQ(params.loop, 0) << c.id;
    EXPECT_EQ(state.follow_player, c.on_player ? 1 : 0) << c.id;
}

} // namespace

TEST_F(EffectLights, EachLightIdLightsItsRecordAtTheEffectOrThePlayer)
{
    const D3DXVECTOR3 effect_at(1.0f, 2.0f, 3.0f);
    const D3DXVECTOR3 player_at(-4.0f, 5.0f, 6.0f);
    for (const LightCase& c : k_light_cases) {
        obj_destroy_all();
        make_player(player_at);
        ASSERT_NE(spawn(c.id, effect_at), nullptr);
        ASSERT_EQ(g_pool_xx.count, 1) << c.id;
        expect_light_record(light_at(0), c);
        expect_near(position_of(light_at(0).world), c.on_player ? player_at : effect_at);
    }
}

TEST_F(EffectLights, PlayerLightsWithoutAPlayerStandAtTheOrigin)
{
    for (std::int32_t id : {18, 23}) {
        obj_destroy_all();
        ASSERT_NE(spawn(id, D3DXVECTOR3(1.0f, 2.0f, 3.0f)), nullptr);
        ASSERT_EQ(g_pool_xx.count, 1) << id;
        expect_near(position_of(light_at(0).world), D3DXVECTOR3());
    }
}

TEST_F(EffectLights, Id18TwiceMakesTwoLightsFromTheOneRecord)
{
    ASSERT_NE(spawn(18), nullptr);
    ASSERT_NE(spawn(18), nullptr);
    ASSERT_EQ(g_pool_xx.count, 2);
    expect_light_record(light_at(0), k_light_cases[2]);
    expect_light_record(light_at(1), k_light_cases[2]);
}

TEST_F(EffectLights, OtherIdsLightNothing)
{
    for (std::int32_t id : {0, 3, 5, 17, 19, 22, 24, 399})
        ASSERT_NE(spawn(id), nullptr);
    EXPECT_EQ(g_pool_xx.count, 0);
}

TEST_F(EffectLights, FullObjectPoolMakesNoLightAndTheEffectStillStarts)
{
    fill<GoXx>(g_pool_xx);
    const std::int32_t full = g_pool_xx.count;
    GoEffect* effect = spawn(18);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->effect_id, 18);
    EXPECT_EQ(g_pool_xx.count, full);
}

// ---- The per-tick update ---------------------------------------------------------------------------
// Effects that stand for ones with living particles: their count is set by hand.
class EffectUpdate : public EffectTest {
protected:
    void TearDown() override
    {
        g_player = nullptr;
        g_camera_state.eye = D3DXVECTOR3();
        EffectTest::TearDown();
    }

    static GoEffect& running(const D3DXVECTOR3& at = {})
    {
        GoEffect* effect = spawn(k_empty_id, at);
        EXPECT_NE(effect, nullptr);
        effect->live_particles = 1;
        return *effect;
    }
};

TEST_F(EffectUpdate, DiesOnceItsLastParticleIsGone)
{
    GoEffect& effect = running();
    steps(3);
    ASSERT_EQ(g_pool_effect.count, 1);
    effect.live_particles = 0;
    step();
    EXPECT_EQ(g_pool_effect.count, 0);
}

TEST_F(EffectUpdate, MotionCoversAQuarterOfTheLineEachStepAndEndsOnTheFourth)
{
    GoEffect& effect = running();
    const D3DXVECTOR3 start(0.0f, 0.0f, 0.0f), end(4.0f, 8.0f, -4.0f);
    eft_set_motion(effect, start, end, 0.25f);
    for (float fraction : {0.25f, 0.5f, 0.75f}) {
        effect.Update();
        ASSERT_EQ(effect.flags & GO_FLAG_DEAD, 0) << fraction;
        expect_near(position_of(effect.world), start + (end - start) * fraction);
    }
    effect.Update();
    EXPECT_NE(effect.flags & GO_FLAG_DEAD, 0);
    EXPECT_EQ(effect.hit_shape.class_bits & HIT_ACTIVE, 0u);
    expect_near(position_of(effect.world), start + (end - start) * 0.75f); // never at the end point
}

TEST_F(EffectUpdate, MotionScalesWithTheTickStep)
{
    GoEffect& effect = running();
    eft_set_motion(effect, D3DXVECTOR3(), D3DXVECTOR3(8.0f, 0.0f, 0.0f), 0.25f);
    g_frame_step = 0.5f;
    effect.Update();
    expect_near(position_of(effect.world), D3DXVECTOR3(1.0f, 0.0f, 0.0f));
}

TEST_F(EffectUpdate, PausedMotionWaitsAtItsStart)
{
    const D3DXVECTOR3 start(2.0f, 0.0f, 0.0f), end(6.0f, 0.0f, 0.0f);
    GoEffect& effect = running(start);
    eft_set_motion(effect, start, end, 0.25f);
    steps(4, {.paused = true});
    ASSERT_EQ(g_pool_effect.count, 1);
    EXPECT_EQ(effect.motion_position, 0.0f);
    expect_near(position_of(effect.world), start);
    step();
    expect_near(position_of(effect.world), D3DXVECTOR3(3.0f, 0.0f, 0.0f));
}

TEST_F(EffectUpdate, FollowModesPlaceTheBaseOnWhatTheyFollow)
{
    GoActor* player = obj_create<GoActor>(g_pool_actor);
    ASSERT_NE(player, nullptr);
    D3DXMatrixTranslation(&player->world, 10.0f, 20.0f, 30.0f);
    player->camera_height = 21.5f;
    g_player = player;

    D3DXMATRIX parent;
    D3DXMatrixRotationY(&parent, k_quarter_turn);
    parent._41 = 5.0f;
    parent._42 = 6.0f;
    parent._43 = 7.0f;
    const D3DXVECTOR3 offset(1.0f, 0.0f, 0.0f);
    struct Case {
        EffectFollow follow;
        D3DXVECTOR3 position; // of the effect's origin
        D3DXVECTOR3 moved;    // once the parent went 2 along z and the player 2 along x
    };
    const Case cases[] = {
        {EFFECT_FOLLOW_PARENT, {5.0f, 6.0f, 6.0f}, {5.0f, 6.0f, 8.0f}}, // offset turned to -z, then moved
        {EFFECT_FOLLOW_PARENT_POSITION, {6.0f, 6.0f, 7.0f}, {6.0f, 6.0f, 9.0f}},
        {EFFECT_FOLLOW_PLAYER_POSITION, {11.0f, 21.5f, 30.0f}, {13.0f, 21.5f, 30.0f}}, // its x, z and height
    };
    for (const Case& c : cases) {
        parent._43 = 7.0f;
        player->world._41 = 10.0f;
        GoEffect& effect = running(D3DXVECTOR3(-50.0f, -50.0f, -50.0f));
        eft_attach(&offset, nullptr, effect, &parent, nullptr, c.follow);
        effect.Update();
        expect_near(position_of(effect.world), c.position);
        parent._43 = 9.0f;
        player->world._41 = 12.0f;
        effect.Update();
        expect_near(position_of(effect.world), c.moved);
    }
}

TEST_F(EffectUpdate, PlayerFollowWithoutAPlayerKeepsTheBasePosition)
{
    D3DXMATRIX parent;
    D3DXMatrixTranslation(&parent, 5.0f, 6.0f, 7.0f);
    const D3DXVECTOR3 offset(1.0f, 2.0f, 3.0f);
    g_player = nullptr;
    GoEffect& effect = running(D3DXVECTOR3(-50.0f, 0.0f, 0.0f));
    eft_attach(&offset, nullptr, effect, &parent, nullptr, EFFECT_FOLLOW_PLAYER_POSITION);
    effect.Update();
    expect_near(position_of(effect.world), offset);
}

TEST_F(EffectUpdate, NoFollowModeOrNoParentLeavesTheWorld)
{
    D3DXMATRIX parent;
    D3DXMatrixTranslation(&parent, 5.0f, 6.0f, 7.0f);
    const D3DXVECTOR3 at(-50.0f, 1.0f, 2.0f), offset(1.0f, 0.0f, 0.0f);
    GoEffect& unmoved = running(at);
    eft_attach(&offset, nullptr, unmoved, &parent, nullptr, EFFECT_FOLLOW_NONE);
    GoEffect& orphan = running(at);
    eft_attach(&offset, nullptr, orphan, nullptr, nullptr, EFFECT_FOLLOW_PARENT_POSITION);
    unmoved.Update();
    orphan.Update();
    expect_near(position_of(unmoved.world), at);
    expect_near(position_of(orphan.world), at);
}

TEST_F(EffectUpdate, FollowingGoesOnWhilePaused)
{
    D3DXMATRIX parent;
    D3DXMatrixTranslation(&parent, 5.0f, 6.0f, 7.0f);
    GoEffect& effect = running();
    eft_attach(nullptr, nullptr, effect, &parent, nullptr, EFFECT_FOLLOW_PARENT_POSITION);
    parent._41 = 9.0f;
    step({.paused = true});
    expect_near(position_of(effect.world), D3DXVECTOR3(9.0f, 6.0f, 7.0f));
}

TEST_F(EffectUpdate, CameraOffsetPointsFromTheEyeTimesThePull)
{
    struct Case {
        D3DXVECTOR3 at;
        float pull;
        D3DXVECTOR3 offset;
    };
    g_camera_state.eye = D3DXVECTOR3(0.0f, 0.0f, -10.0f);
    const Case cases[] = {
        {{0.0f, 0.0f, 10.0f}, 2.0f, {0.0f, 0.0f, 2.0f}},
        {{3.0f, 0.0f, -6.0f}, -5.0f, {-3.0f, 0.0f, -4.0f}},
        {{0.0f, 0.0f, 10.0f}, 0.0f, {0.0f, 0.0f, 0.0f}},  // no pull: untouched
        {{0.0f, 0.0f, -10.0f}, 2.0f, {0.0f, 0.0f, 0.0f}}, // at the eye: no direction, no NaN
    };
    for (const Case& c : cases) {
        GoEffect& effect = running(c.at);
        effect.camera_pull = c.pull;
        effect.Update();
        expect_near(effect.camera_offset, c.offset);
    }
}

// ---- Matrices --------------------------------------------------------------------------------------
using EffectMatrices = EffectTest;

TEST_F(EffectMatrices, SetScaleDropsThePosition)
{
    GoEffect* effect =
        eft_spawn(k_empty_id, D3DXVECTOR3(1.0f, 2.0f, 3.0f), D3DXVECTOR3(0.0f, k_quarter_turn, 0.0f),
                  k_unit_scale, 0, 0, nullptr, 0.0f, 1.0f, 0, 0, ATTACK_ELEMENT_NONE);
    ASSERT_NE(effect, nullptr);
    const D3DXVECTOR3 scale(2.0f, 3.0f, 4.0f);
    eft_set_scale(&scale, *effect);
    D3DXMATRIX expected;
    D3DXMatrixScaling(&expected, 2.0f, 3.0f, 4.0f);
    expect_near(effect->world, expected);
    EXPECT_EQ(effect->scale, scale);
    EXPECT_EQ(effect->draw_matrix, &effect->world);

    eft_set_scale(nullptr, *effect);
    D3DXMatrixIdentity(&expected);
    expect_near(effect->world, expected);
    EXPECT_EQ(effect->scale, scale);
}

TEST_F(EffectMatrices, AttachMovesThenTurnsThenScalesTheBase)
{
    GoEffect* effect = spawn(k_empty_id);
    ASSERT_NE(effect, nullptr);
    D3DXMATRIX parent;
    D3DXMatrixIdentity(&parent);
    const D3DXVECTOR3 offset(1.0f, 0.0f, 0.0f), rotation(0.0f, k_quarter_turn, 0.0f), scale(2.0f, 3.0f, 4.0f);
    eft_attach(&offset, &rotation, *effect, &parent, &scale, EFFECT_FOLLOW_PARENT);
    expect_near(transformed(D3DXVECTOR3(), effect->rotation), D3DXVECTOR3(0.0f, 0.0f, -4.0f));
    expect_near(transformed(D3DXVECTOR3(0.0f, 1.0f, 0.0f), effect->rotation), D3DXVECTOR3(0.0f, 3.0f, -4.0f));
    EXPECT_EQ(effect->parent_matrix, &parent);
    EXPECT_EQ(effect->follow, EFFECT_FOLLOW_PARENT);
    EXPECT_EQ(effect->draw_matrix, &effect->world);

    eft_attach(nullptr, nullptr, *effect, &parent, nullptr, EFFECT_FOLLOW_PARENT_POSITION);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    expect_near(effect->rotation, identity);
}

TEST_F(EffectMatrices, AttachPlacesTheEffectOnItsParentAtOnce)
{
    GoEffect* effect = spawn(k_empty_id, D3DXVECTOR3(-9.0f, -9.0f, -9.0f));
    ASSERT_NE(effect, nullptr);
    D3DXMATRIX parent;
    D3DXMatrixTranslation(&parent, 5.0f, 6.0f, 7.0f);
    eft_attach(nullptr, nullptr, *effect, &parent, nullptr, EFFECT_FOLLOW_PARENT_POSITION);
    expect_near(position_of(effect->world), D3DXVECTOR3(5.0f, 6.0f, 7.0f));
}

// ---- Stopping by matrix ----------------------------------------------------------------------------
class EffectStop : public EffectTest {
protected:
    // A running effect past its first tick.
    static GoEffect& settled()
    {
        GoEffect* effect = spawn(k_empty_id);
        EXPECT_NE(effect, nullptr);
        effect->flags = 0;
        return *effect;
    }
};

TEST_F(EffectStop, StopsTheEffectsDrawnWithOrFollowingTheMatrixAndTheStopAlwaysOnes)
{
    D3DXMATRIX actor;
    D3DXMatrixIdentity(&actor);
    GoEffect& drawn_with = settled();
    GoEffect& follower = settled();
    eft_attach(nullptr, nullptr, follower, &actor, nullptr, EFFECT_FOLLOW_PARENT_POSITION);
    GoEffect& always = settled();
    always.stop_always = 1;
    GoEffect& other = settled();
    D3DXMATRIX elsewhere;
    eft_attach(nullptr, nullptr, other, &elsewhere, nullptr, EFFECT_FOLLOW_PARENT);

    eft_stop_by_matrix(&actor);
    EXPECT_EQ(follower.stop_request, 1);
    EXPECT_EQ(always.stop_request, 1);
    EXPECT_EQ(drawn_with.stop_request, 0);
    EXPECT_EQ(other.stop_request, 0);

    eft_stop_by_matrix(&drawn_with.world);
    EXPECT_EQ(drawn_with.stop_request, 1);
    EXPECT_EQ(other.stop_request, 0);
}

TEST_F(EffectStop, NewAndDeadEffectsAreLeftButStopAlwaysStopsAnyway)
{
    GoEffect& fresh = *spawn(k_empty_id);
    GoEffect& dead = settled();
    dead.flags = GO_FLAG_DEAD;
    GoEffect& fresh_always = *spawn(k_empty_id);
    fresh_always.stop_always = 1;
    eft_stop_by_matrix(&fresh.world);
    eft_stop_by_matrix(&dead.world);
    EXPECT_EQ(fresh.stop_request, 0);
    EXPECT_EQ(dead.stop_request, 0);
    EXPECT_EQ(fresh_always.stop_request, 1);
}

TEST_F(EffectStop, NoMatrixStopsNoEffectThatFollowsNothing)
{
    GoEffect& plain = settled();
    eft_stop_by_matrix(nullptr);
    EXPECT_EQ(plain.stop_request, 0);
}

// ---- Emitters that start effects -------------------------------------------------------------------
class EffectEmitters : public EffectTest {
protected:
    void SetUp() override
    {
        EffectTest::SetUp();
        eft_fixture_put(k_named_id, starter_of(k_empty_id, {2, 3, 4}));
    }

    // An effect of the starting id whose start list has not run, for starting its emitter by hand.
    static GoEffect& idle_starter()
    {
        GoEffect* effect = spawn(k_empty_id);
        EXPECT_NE(effect, nullptr);
        effect->effect_id = k_named_id;
        return *effect;
    }
    static GoParticle& particle()
    {
        GoParticle* particle = obj_create<GoParticle>(g_pool_particle);
        EXPECT_NE(particle, nullptr);
        return *particle;
    }
};

TEST_F(EffectEmitters, DefinitionWithFlagBit4StartsTheNamedEffectWithTheStartersSideAndStatus)
{
    StatusBlock status{};
    status.atk = 77.0f;
    GoEffect* starter = eft_spawn(k_named_id, D3DXVECTOR3(5.0f, 5.0f, 5.0f), D3DXVECTOR3(), k_unit_scale, 1,
                                  1, &status, 3.0f, 4.0f, 2, 0x8, 1);
    ASSERT_NE(starter, nullptr);
    ASSERT_EQ(g_pool_effect.count, 2);
    EXPECT_EQ(starter->live_particles, 0);
    EXPECT_EQ(g_pool_particle.count, 0);
    const GoEffect& named = effect_at(1);
    EXPECT_EQ(named.effect_id, k_empty_id);
    EXPECT_EQ(named.render_row, EFFECT_ROW_IN_WATER);
    EXPECT_EQ(named.side, 1);
    EXPECT_EQ(named.status.atk, 77.0f);
    EXPECT_EQ(named.power_a, 0.0f);
    EXPECT_EQ(named.power_b, 1.0f);
    EXPECT_EQ(named.strength, 0);
    EXPECT_EQ(named.ailment_mask, 0);
    EXPECT_EQ(named.element, ATTACK_ELEMENT_NONE);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    expect_near(named.world, identity); // no parent: the origin, unturned, unscaled
}

TEST_F(EffectEmitters, NamedEffectStartsAtTheParentParticleWithTheStartStatesScale)
{
    GoParticle& parent = particle();
    D3DXMatrixTranslation(&parent.matrix, 1.0f, 2.0f, 3.0f);
    parent.state.rotation = D3DXVECTOR3(0.0f, k_quarter_turn, 0.0f);
    eft_start_emitter(idle_starter(), 0, 0, &parent);
    ASSERT_EQ(g_pool_effect.count, 2);
    const GoEffect& named = effect_at(1);
    expect_near(position_of(named.world), D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    expect_near(transformed(D3DXVECTOR3(1.0f, 1.0f, 1.0f), named.world), D3DXVECTOR3(5.0f, 5.0f, 1.0f));
}

TEST_F(EffectEmitters, HiddenParentStartsNothing)
{
    GoParticle& parent = particle();
    parent.state.hidden = 1;
    eft_start_emitter(idle_starter(), 0, 0, &parent);
    EXPECT_EQ(g_pool_effect.count, 1);
}

TEST_F(EffectEmitters, EmitterOutsideTheEntryStartsNothing)
{
    GoEffect& starter = idle_starter();
    for (std::int32_t emitter : {-1, 1, 127, INT32_MAX})
        eft_start_emitter(starter, emitter, 0, nullptr);
    EXPECT_EQ(g_pool_effect.count, 1);
    eft_start_emitter(starter, 0, 0, nullptr);
    EXPECT_EQ(g_pool_effect.count, 2);
}

TEST_F(EffectEmitters, AnEffectThatStartsItselfStopsAtTheFullPool)
{
    eft_fixture_put(k_named_id, starter_of(k_named_id));
    ASSERT_NE(spawn(k_named_id), nullptr);
    EXPECT_EQ(g_pool_effect.count, g_pool_effect.capacity);
}

// ---- Effects attached to an actor ------------------------------------------------------------------
using EffectAttached = EffectTest;

TEST_F(EffectAttached, FollowsThePositionOfTheMatrixInItsRow)
{
    eft_fixture_put(k_named_id, starter_of(k_empty_id));
    D3DXMATRIX actor;
    D3DXMatrixTranslation(&actor, 5.0f, 6.0f, 7.0f);
    GoEffect* effect = eft_start_attached(k_named_id, actor, EFFECT_ROW_IN_WATER);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->parent_matrix, &actor);
    EXPECT_EQ(effect->follow, EFFECT_FOLLOW_PARENT_POSITION);
    EXPECT_EQ(effect->draw_matrix, &effect->world);
    EXPECT_EQ(effect->effect_id, k_named_id);
    EXPECT_EQ(effect->render_row, EFFECT_ROW_IN_WATER);
    EXPECT_EQ(effect->side, 0);
    EXPECT_EQ(effect->power_b, 1.0f);
    EXPECT_EQ(effect->strength, 0xFF);
    EXPECT_EQ(effect->element, ATTACK_ELEMENT_NONE);
    expect_near(position_of(effect->world), D3DXVECTOR3(5.0f, 6.0f, 7.0f));
    EXPECT_EQ(g_pool_effect.count, 2); // its start list ran
}

TEST_F(EffectAttached, NoneStartsWithoutParticleRoomOrForAnIdOutsideTheList)
{
    D3DXMATRIX actor;
    D3DXMatrixIdentity(&actor);
    EXPECT_EQ(eft_start_attached(-1, actor, EFFECT_ROW), nullptr);
    EXPECT_EQ(eft_start_attached(EFFECT_ID_COUNT, actor, EFFECT_ROW), nullptr);
    fill<GoParticle>(g_pool_particle);
    EXPECT_EQ(eft_start_attached(k_empty_id, actor, EFFECT_ROW), nullptr);
    EXPECT_EQ(g_pool_effect.count, 0);
}

// ---- With particles --------------------------------------------------------------------------------
using EffectParticles = EffectTest;

namespace {

EftEmitter emitter_of(std::uint8_t count, std::int32_t life)
{
    EftEmitter emitter;
    emitter.def.count = count;
    emitter.state.life = life;
    return emitter;
}

} // namespace

TEST_F(EffectParticles, EachEmitterMakesItsCountAndTheEffectCountsThem)
{
    eft_fixture_put(k_named_id, {{{0, 0}, {1, 4}}, {emitter_of(3, 30), emitter_of(2, 30)}});
    GoEffect* effect = spawn(k_named_id);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->live_particles, 5);
    ASSERT_EQ(g_pool_particle.count, 5);
    const std::vector<GoParticle*> particles = live(g_pool_particle);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(particles[i]->state.delay, i < 3 ? 0 : 4) << i; // the start list's delay
}

TEST_F(EffectParticles, FullParticlePoolSkipsOnlyTheParticlesWithoutRoom)
{
    eft_fixture_put(k_named_id, eft_fixture_single(emitter_of(5, 30)));
    while (g_pool_particle.count < g_pool_particle.capacity - 2)
        ASSERT_NE(obj_create<GoParticle>(g_pool_particle), nullptr);
    GoEffect* effect = spawn(k_named_id);
    ASSERT_NE(effect, nullptr);
    EXPECT_EQ(effect->live_particles, 2);
    EXPECT_EQ(g_pool_particle.count, g_pool_particle.capacity);
}

TEST_F(EffectParticles, EffectLivesUntilItsLastParticleIsGone)
{
    eft_fixture_put(k_named_id, eft_fixture_single(emitter_of(1, 3)));
    ASSERT_NE(spawn(k_named_id), nullptr);
    step();
    EXPECT_EQ(g_pool_effect.count, 1);
    steps(10);
    EXPECT_EQ(g_pool_particle.count, 0);
    EXPECT_EQ(g_pool_effect.count, 0);
}

TEST_F(EffectParticles, EffectAtTheEndOfItsLineIsKeptForItsParticles)
{
    eft_fixture_put(k_named_id, eft_fixture_single(emitter_of(1, 10)));
    GoEffect* effect = spawn(k_named_id);
    ASSERT_NE(effect, nullptr);
    eft_set_motion(*effect, D3DXVECTOR3(), D3DXVECTOR3(1.0f, 0.0f, 0.0f), 0.5f);
    steps(2);
    ASSERT_EQ(g_pool_effect.count, 1);
    EXPECT_NE(effect->flags & GO_FLAG_DEAD, 0);
    steps(15);
    EXPECT_EQ(g_pool_particle.count, 0);
    EXPECT_EQ(g_pool_effect.count, 0);
}

TEST_F(EffectParticles, StopByMatrixFadesOnlyTheFadeOnStopParticles)
{
    EftEmitter fading = emitter_of(1, 100);
    fading.def.collision = EFFECT_FADE_ON_STOP;
    eft_fixture_put(k_named_id, {{{0, 0}, {1, 0}}, {fading, emitter_of(1, 100)}});
    GoEffect* effect = spawn(k_named_id);
    ASSERT_NE(effect, nullptr);
    step();
    eft_stop_by_matrix(&effect->world);
    EXPECT_EQ(effect->stop_request, 1);
    step();
    const std::vector<GoParticle*> particles = live(g_pool_particle);
    ASSERT_EQ(particles.size(), 2u);
    EXPECT_NE(particles[0]->state.fading, 0);
    EXPECT_EQ(particles[1]->state.fading, 0);
}

TEST_F(EffectEexStatus, AttackingParticlesMadeAtTheStartCarryTheEexStatus)
{
    EftEmitter attacking = emitter_of(1, 30);
    attacking.def.attacking = 1;
    attacking.def.attack_active = -1;
    attacking.def.attack_radius = 1.0f;
    eft_fixture_put(121, eft_fixture_single(attacking));
    g_play_state.game_flags[GF_EASY] = 1;
    ASSERT_NE(attack_of(121), 0.0f);
    ASSERT_EQ(g_pool_particle.count, 1);
    EXPECT_EQ(live(g_pool_particle)[0]->status.atk, row_status(11).atk - 5.0f);
}
