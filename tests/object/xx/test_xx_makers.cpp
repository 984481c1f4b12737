#include "core/maths.h"
#include "game/g_settings.h"
#include "object/object_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <numbers>
#include <vector>

namespace {

constexpr float k_pi = std::numbers::pi_v<float>;

class XxMakers : public ObjectTest {
protected:
    void SetUp() override
    {
        ObjectTest::SetUp();
        math_rand_seed();
        m_bloody = g_bloody_effect_level;
    }
    void TearDown() override
    {
        g_bloody_effect_level = m_bloody;
        math_rand_seed();
        ObjectTest::TearDown();
        // Objects made here without a maker (a bare slot, a subtype set by hand) were never
        // counted but are counted off when deleted; with the pools gone none lives.
        std::fill(std::begin(g_goxx_live_count), std::end(g_goxx_live_count), 0);
    }

    // Leaves room for `free` more objects in the pool.
    static void FillPoolLeaving(std::int32_t free)
    {
        while (g_pool_xx.capacity - g_pool_xx.count > free)
            ASSERT_NE(obj_create<GoXx>(g_pool_xx), nullptr);
    }

    static std::vector<GoXx*> ObjectsOf(GoXxSubtype subtype)
    {
        std::vector<GoXx*> found;
        for (GoBase* object : pool_objects(g_pool_xx))
            if (object->role == subtype) found.push_back(static_cast<GoXx*>(object));
        return found;
    }

    std::uint8_t m_bloody = 0;
};

// What the spawner draws for one drop, in its order, replayed on the same generator.
struct DrawnDrop {
    float extra_life;
    float heading;
    float speed;
    float vertical;
};

DrawnDrop draw_drop(const DropThrow& how)
{
    DrawnDrop drawn{};
    drawn.extra_life = static_cast<float>(math_rand_u32() % static_cast<std::uint32_t>(how.life_spread + 1));
    drawn.heading = math_rand_range(how.heading_min, how.heading_max);
    drawn.speed = math_rand_range(how.speed_min, how.speed_max);
    drawn.vertical = math_rand_range(how.vertical_min, how.vertical_max);
    return drawn;
}

std::vector<std::int32_t> shuffled(std::vector<std::int32_t> list)
{
    for (std::size_t round = 0; round < list.size(); ++round)
        std::swap(list[math_rand_u32() % list.size()], list.front());
    return list;
}

DropThrow sample_throw()
{
    return {.texture_base = DROP_TEXTURES_DEBRIS,
            .delay_step = 3,
            .life_spread = 4,
            .flags = DROP_NO_EXPIRY,
            .size = 1.25f,
            .spin = 0.3f,
            .speed_min = 0.02f,
            .speed_max = 0.09f,
            .vertical_min = 0.04f,
            .vertical_max = 0.08f,
            .heading_min = -1.0f,
            .heading_max = 2.0f,
            .decal_colour = 0xFF112233};
}

} // namespace

TEST_F(XxMakers, IdsCountTheirOwnSerialAndWrapInTheLow24Bits)
{
    g_goxx_serial = 0xFFFFFE;
    EXPECT_EQ(obj_create<GoXx>(g_pool_xx)->object_id, 0x13FFFFFFu);
    EXPECT_EQ(obj_create<GoXx>(g_pool_xx)->object_id, 0x13000000u);
    EXPECT_EQ(obj_create<GoXx>(g_pool_xx)->object_id, 0x13000001u);
    EXPECT_EQ(g_goxx_serial, 0x1000001u);
}

// The list is shuffled afresh from its own order each time it runs out; every value comes from
// the one generator in a fixed order, so a seeded run is repeatable.
TEST_F(XxMakers, ItemDropsTakeAShuffledListInTurnWithDrawnThrows)
{
    const std::vector<std::int32_t> list = {5, 18, 7, 40};
    const DropThrow how = sample_throw();
    const D3DXVECTOR3 point(1.0f, 2.0f, 3.0f);
    g_bloody_effect_level = 2;

    std::vector<std::int32_t> items;
    std::vector<DrawnDrop> drawn;
    for (int i = 0; i < 6; ++i) {
        if (i % 4 == 0) {
            const std::vector<std::int32_t> order = shuffled(list);
            items.insert(items.end(), order.begin(), order.end());
        }
        drawn.push_back(draw_drop(how));
    }
    math_rand_seed();
    goxx_spawn_item_drops(list, 6, point, how);

    const std::vector<GoXx*> drops = ObjectsOf(GOXX_ITEM_DROP);
    ASSERT_EQ(drops.size(), 6u);
    EXPECT_EQ(g_goxx_live_count[GOXX_ITEM_DROP], 6);
    EXPECT_NE(std::vector<std::int32_t>(items.begin(), items.begin() + 4), list)
        << "the seed shuffles nothing";
    for (std::size_t i = 0; i < drops.size(); ++i) {
        SCOPED_TRACE(i);
        const DropParams& drop = drops[i]->area<DropParams>();
        EXPECT_EQ(drop.item_id, items[i]);
        EXPECT_EQ(drop.texture, DROP_TEXTURES_DEBRIS + items[i]);
        EXPECT_EQ(drop.motion, items[i] == 18 ? DROP_MOTION_FLUTTER : DROP_MOTION_BALLISTIC);
        EXPECT_EQ(drop.start_delay, static_cast<std::uint8_t>(3 * i));
        EXPECT_EQ(drop.lifetime, 105.0f + drawn[i].extra_life);
        EXPECT_EQ(drop.heading, drawn[i].heading);
        EXPECT_EQ(drop.speed, drawn[i].speed);
        EXPECT_EQ(drop.vertical_speed, drawn[i].vertical);
        EXPECT_EQ(drop.position, point);
        EXPECT_EQ(drop.spin_speed, 0.3f);
        EXPECT_EQ(drop.size, 1.25f);
        EXPECT_EQ(drop.flags, DROP_NO_EXPIRY);
        EXPECT_EQ(drop.material, DROP_MATERIAL);
        EXPECT_EQ(drop.colour, DROP_COLOUR);
        EXPECT_EQ(drop.decal_colour, 0xFF112233u);
    }
}

TEST_F(XxMakers, DropLifetimesFollowTheKindAndTheBloodSetting)
{
    struct Case {
        std::uint8_t flags;
        std::uint8_t bloody;
        float base;
    };
    const Case cases[] = {
        {DROP_PICKUP, 0, 690.0f}, {DROP_PICKUP, 2, 690.0f}, {0, 2, 105.0f}, {0, 3, 105.0f}, {0, 1, 90.0f}};
    const std::vector<std::int32_t> list = {1};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags " << int(c.flags) << " bloody " << int(c.bloody));
        obj_destroy_all();
        g_bloody_effect_level = c.bloody;
        DropThrow how = sample_throw();
        how.flags = c.flags;
        how.life_spread = 0;
        goxx_spawn_item_drops(list, 1, {}, how);
        ASSERT_EQ(ObjectsOf(GOXX_ITEM_DROP).size(), 1u);
        EXPECT_EQ(ObjectsOf(GOXX_ITEM_DROP)[0]->area<DropParams>().lifetime, c.base);
    }
}

// Only debris pieces flutter: the table is searched with the texture entry, so an item whose id
// is a fluttering piece's number falls as usual.
TEST_F(XxMakers, FlutteringPiecesAreFoundByTheirTextureEntry)
{
    const std::vector<std::int32_t> pieces = {18, 373, 17, 329, 0};
    for (std::int32_t piece : pieces) {
        obj_destroy_all();
        goxx_drop_items_short(0, {}, std::vector<std::int32_t>{piece}, 1, false, false, false);
        goxx_drop_items_long({}, 1, std::vector<std::int32_t>{piece}, false, false, false);
        const std::vector<GoXx*> drops = ObjectsOf(GOXX_ITEM_DROP);
        ASSERT_EQ(drops.size(), 2u);
        const bool flutters = piece == 18 || piece == 373 || piece == 329;
        EXPECT_EQ(drops[0]->area<DropParams>().motion, flutters ? DROP_MOTION_FLUTTER : DROP_MOTION_BALLISTIC)
            << piece;
        EXPECT_EQ(drops[1]->area<DropParams>().motion, DROP_MOTION_BALLISTIC) << piece;
    }
}

// Debris and pick-ups differ in texture, flags, size, speeds and decal; the three switches add
// spin, no expiry and rest.
TEST_F(XxMakers, ShortAndLongDropsThrowTheirOwnWay)
{
    struct Case {
        bool is_long;
        bool spin, no_expiry, at_rest;
        std::int32_t texture;
        std::uint8_t flags;
        float size, spin_speed;
        float speed_min, speed_max, vertical_min, vertical_max;
        std::uint32_t decal;
    };
    const Case cases[] = {
        {false, false, false, false, 49 + 9, 0, 1.0f, 0.0f, 0.02f, 0.09f, 0.04f, 0.09f, 0xFF804020},
        {false, true, true, true, 49 + 9, DROP_NO_EXPIRY | DROP_AT_REST, 1.0f, 0.45f, 0.02f, 0.09f, 0.04f,
         0.09f, 0xFF804020},
        {true, false, false, false, 624 + 9, DROP_GROUND_C | DROP_PICKUP, 0.9f, 0.0f, 0.01f, 0.045f, 0.04f,
         0.065f, 0},
        {true, true, true, false, 624 + 9, DROP_GROUND_C | DROP_PICKUP | DROP_NO_EXPIRY, 0.9f, 0.45f, 0.01f,
         0.045f, 0.04f, 0.065f, 0},
        {true, false, false, true, 624 + 9, DROP_GROUND_C | DROP_PICKUP | DROP_AT_REST, 0.9f, 0.0f, 0.01f,
         0.045f, 0.04f, 0.065f, 0},
    };
    const std::vector<std::int32_t> list = {9};
    const D3DXVECTOR3 point(-4.0f, 0.5f, 8.0f);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.is_long ? "long" : "short") << " spin " << c.spin
                                        << " no expiry " << c.no_expiry << " at rest " << c.at_rest);
        obj_destroy_all();
        math_rand_seed();
        DropThrow drawn_with = sample_throw();
        drawn_with.life_spread = 1;
        drawn_with.speed_min = c.speed_min;
        drawn_with.speed_max = c.speed_max;
        drawn_with.vertical_min = c.vertical_min;
        drawn_with.vertical_max = c.vertical_max;
        drawn_with.heading_min = -k_pi;
        drawn_with.heading_max = k_pi;
        std::vector<DrawnDrop> drawn;
        for (int i = 0; i < 3; ++i) {
            math_rand_u32(); // the list of one is shuffled before each drop
            drawn.push_back(draw_drop(drawn_with));
        }
        math_rand_seed();
        if (c.is_long)
            goxx_drop_items_long(point, 3, list, c.spin, c.no_expiry, c.at_rest);
        else
            goxx_drop_items_short(0xFF804020, point, list, 3, c.spin, c.no_expiry, c.at_rest);

        const std::vector<GoXx*> drops = ObjectsOf(GOXX_ITEM_DROP);
        ASSERT_EQ(drops.size(), 3u);
        for (std::size_t i = 0; i < drops.size(); ++i) {
            const DropParams& drop = drops[i]->area<DropParams>();
            EXPECT_EQ(drop.texture, c.texture);
            EXPECT_EQ(drop.flags, c.flags);
            EXPECT_EQ(drop.size, c.size);
            EXPECT_EQ(drop.spin_speed, c.spin_speed);
            EXPECT_EQ(drop.decal_colour, c.decal);
            EXPECT_EQ(drop.start_delay, static_cast<std::uint8_t>(2 * i));
            EXPECT_EQ(drop.heading, drawn[i].heading);
            EXPECT_EQ(drop.speed, drawn[i].speed);
            EXPECT_EQ(drop.vertical_speed, drawn[i].vertical);
            EXPECT_EQ(drop.position, point);
        }
    }
}

// The first allocation that fails ends the run: nothing more is drawn or counted.
TEST_F(XxMakers, AFullPoolEndsADropRun)
{
    FillPoolLeaving(3);
    const std::int32_t live = g_goxx_live_count[GOXX_ITEM_DROP];
    goxx_drop_items_short(0, {}, std::vector<std::int32_t>{1, 2}, 5, false, false, false);

    EXPECT_EQ(ObjectsOf(GOXX_ITEM_DROP).size(), 3u);
    EXPECT_EQ(g_goxx_live_count[GOXX_ITEM_DROP], live + 3);
    EXPECT_EQ(g_pool_xx.count, g_pool_xx.capacity);
}

TEST_F(XxMakers, AnEmptyListOrNoCountMakesNoDrop)
{
    goxx_drop_items_short(0, {}, {}, 4, false, false, false);
    goxx_drop_items_long({}, 0, std::vector<std::int32_t>{1}, false, false, false);
    goxx_drop_items_long({}, -2, std::vector<std::int32_t>{1}, false, false, false);
    EXPECT_EQ(g_pool_xx.count, 0);
}

TEST_F(XxMakers, AShotKeepsItsValuesWithAZeroedState)
{
    GoXx* owner = obj_create<GoXx>(g_pool_xx);
    ShotSpawn values{};
    values.owner = ObjHandle<GoBase>(owner);
    values.motion = 3;
    values.effect_id = 21;
    values.pos = {1, 2, 3};
    values.dir = {0, 0, -1};
    values.speed = 0.25f;
    values.accel = -0.01f;
    values.drop = 0.005f;
    values.effect_time = 4.0f;
    values.effect_speed = 1.5f;
    values.trail_effect_id = 73;
    values.trail_period = 6;
    values.homing_period = 2;
    values.turn_rate = 0.1f;
    values.motion_a = 1.0f;
    values.motion_b = 2.0f;
    values.motion_c = 3.0f;
    values.motion_d = 4.0f;

    GoXx* shot = goxx_spawn_shot(values);
    ASSERT_NE(shot, nullptr);
    EXPECT_EQ(shot->role, GOXX_SHOT);
    EXPECT_EQ(g_goxx_live_count[GOXX_SHOT], 1);
    const ShotParams& record = shot->area<ShotParams>();
    EXPECT_EQ(record.owner.get(), owner);
    EXPECT_EQ(record.motion, 3);
    EXPECT_EQ(record.effect_id, 21);
    EXPECT_EQ(record.pos, D3DXVECTOR3(1, 2, 3));
    EXPECT_EQ(record.dir, D3DXVECTOR3(0, 0, -1));
    EXPECT_EQ(record.speed, 0.25f);
    EXPECT_EQ(record.accel, -0.01f);
    EXPECT_EQ(record.drop, 0.005f);
    EXPECT_EQ(record.effect_time, 4.0f);
    EXPECT_EQ(record.effect_speed, 1.5f);
    EXPECT_EQ(record.trail_effect_id, 73);
    EXPECT_EQ(record.trail_period, 6);
    EXPECT_EQ(record.homing_period, 2);
    EXPECT_EQ(record.turn_rate, 0.1f);
    EXPECT_EQ(record.motion_a, 1.0f);
    EXPECT_EQ(record.motion_b, 2.0f);
    EXPECT_EQ(record.motion_c, 3.0f);
    EXPECT_EQ(record.motion_d, 4.0f);
    EXPECT_EQ(record.counter8, 0);
    EXPECT_EQ(record.hit_count, 0);
    EXPECT_EQ(record.ticks, 0u);
    EXPECT_FALSE(record.body_effect);
    EXPECT_EQ(record.phase, 0);
    EXPECT_EQ(record.enemy_side, 0);
    EXPECT_EQ(record.target, nullptr);
    EXPECT_EQ(record.aim_height, 0.0f);
    EXPECT_EQ(record.impact_done, 0);
    EXPECT_FALSE(record.light);
}

TEST_F(XxMakers, AFullPoolFiresNoShot)
{
    FillPoolLeaving(0);
    EXPECT_EQ(goxx_spawn_shot({}), nullptr);
    EXPECT_EQ(g_goxx_live_count[GOXX_SHOT], 0);
}

// Each script attack is its record and its subtype; the rest of the area stays zero, so a
// ribbon attack has no target until its set-up chooses them.
TEST_F(XxMakers, ScriptAttacksHoldTheirRecords)
{
    GoXx& wave = *obj_create<GoXx>(g_pool_xx);
    GoXx& ribbons = *obj_create<GoXx>(g_pool_xx);
    GoXx& attached = *obj_create<GoXx>(g_pool_xx);
    WaveParams wave_record{};
    wave_record.puff_count = 7;
    RibbonAttackParams ribbon_record{};
    ribbon_record.attack_id = 0x01000009;
    ribbon_record.heading = 0.5f;
    goxx_init_script_attack_wave(wave, wave_record);
    goxx_init_script_attack_ribbons(ribbons, ribbon_record);
    goxx_init_script_attack_attached(attached, {ObjHandle<GoActor>(spawn(g_pool_actor))});

    EXPECT_EQ(wave.role, GOXX_SCRIPT_ATTACK_WAVE);
    EXPECT_EQ(ribbons.role, GOXX_SCRIPT_ATTACK_RIBBONS);
    EXPECT_EQ(attached.role, GOXX_SCRIPT_ATTACK_ATTACHED);
    EXPECT_EQ(g_goxx_live_count[GOXX_SCRIPT_ATTACK_WAVE], 1);
    EXPECT_EQ(g_goxx_live_count[GOXX_SCRIPT_ATTACK_RIBBONS], 1);
    EXPECT_EQ(g_goxx_live_count[GOXX_SCRIPT_ATTACK_ATTACHED], 1);
    EXPECT_EQ(wave.area<WaveParams>().puff_count, 7u);
    const RibbonAttack& state = ribbons.area<RibbonAttack>();
    EXPECT_EQ(state.params.attack_id, 0x01000009u);
    EXPECT_EQ(state.target_count, 0u);
    EXPECT_EQ(state.targets, nullptr);
    EXPECT_EQ(attached.area<AttachedAttackParams>().actor.get(), pool_objects(g_pool_actor)[0]);
}

TEST_F(XxMakers, TheRibbonHeadingPointsAtTheCurrentTarget)
{
    RibbonTarget targets[2] = {};
    targets[0].point = {10.0f, 0.0f, 5.0f};
    targets[1].point = {1.0f, 7.0f, 3.0f};
    struct Case {
        const char* what;
        std::int32_t ground;
        std::uint32_t count;
        std::uint32_t index;
        bool with_list;
        float heading;
    };
    const Case cases[] = {
        {"the first target", 0, 2, 0, true, math_atan2f(5.0f - 2.0f, 10.0f - 1.0f)},
        {"the second target", 0, 2, 1, true, math_atan2f(3.0f - 2.0f, 1.0f - 1.0f)},
        {"ground mode keeps its own heading", 1, 2, 0, true, 0.75f},
        {"every target used", 0, 2, 2, true, 0.75f},
        {"no targets", 0, 0, 0, false, 0.75f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GoXx& object = *obj_create<GoXx>(g_pool_xx);
        RibbonAttackParams record{};
        record.heading = 0.75f;
        record.ground = c.ground;
        goxx_init_script_attack_ribbons(object, record);
        object.world._41 = 1.0f;
        object.world._43 = 2.0f;
        RibbonAttack& state = object.area<RibbonAttack>();
        state.target_count = c.count;
        state.target_index = c.index;
        state.targets = c.with_list ? targets : nullptr;
        EXPECT_EQ(actor_heading_to_waypoint(object), c.heading);
    }
}
