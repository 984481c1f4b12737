#include "object/actor/actor_setup_fixture.h"

#include "core/maths.h"
#include "game/g_game_flags.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

constexpr std::int32_t k_plain_cast = 100; // a person without a row of the per-cast table

// Index of the first draw after seeding for which the test holds, below 1024 draws.
template <typename Test> std::uint32_t first_draw_where(Test test)
{
    math_rand_seed();
    for (std::uint32_t i = 0; i < 1024; ++i)
        if (test(math_rand_u32())) {
            math_rand_seed();
            return i;
        }
    ADD_FAILURE() << "no such draw";
    return 0;
}

bool rare_draw(std::uint32_t value)
{
    return ((value >> 17) & 0xFF) == 0;
}

} // namespace

// Everything the record and the defaults give an actor that no spawn type or cast row changes.
TEST_F(ActorSetupTest, TheRecordGivesTheBodyHitShapeSpeedsAndDefaults)
{
    CastInfo& record = g_castinfo[k_plain_cast];
    record.hover_height = 0.25f;
    g_castinfo[k_plain_cast].live_count = 2;
    GoActor& actor = set_up(k_plain_cast, ACTOR_SPAWN_FRIEND, 345, 7);

    EXPECT_EQ(actor.cast, k_plain_cast);
    EXPECT_EQ(actor.key, 345);
    EXPECT_EQ(actor.kind, 7);
    EXPECT_EQ(actor.script_set, ACTOR_TEST_SCRIPT_SET);
    EXPECT_EQ(g_castinfo[k_plain_cast].live_count, 3);

    EXPECT_FLOAT_EQ(actor.body_radius, 0.45f);
    EXPECT_FLOAT_EQ(actor.foot_offset, 0.5f);
    EXPECT_EQ(actor.shadow_size, 1.5f);
    EXPECT_EQ(actor.view_radius, 2.0f);
    EXPECT_EQ(actor.hit_shape_height, 0.6f);
    EXPECT_EQ(actor.draw_scale, 1.0f);
    EXPECT_EQ(actor.hit_shape.radius, 0.4f);
    EXPECT_EQ(actor.hit_shape.half_height, 0.3f);
    EXPECT_EQ(actor.hit_shape.cylinder, 1);
    EXPECT_EQ(actor.hit_shape.attack_id, actor.object_id);
    EXPECT_EQ(actor.hit_shape.hold, 1);
    EXPECT_EQ(actor.alpha, 1.0f);
    EXPECT_EQ(actor.alpha_target, 1.0f);
    EXPECT_EQ(actor.material_flags, 0x24541u);
    EXPECT_EQ(actor.status.status_element, STATUS_ELEMENT_NONE);
    EXPECT_EQ(actor.hit_once, actor.hit_once_entries);
    EXPECT_EQ(actor.hit_once_count, 10u);

    EXPECT_EQ(actor.hover_height, 0.25f);
    EXPECT_EQ(actor.flying, 1);
    EXPECT_EQ(actor.walk_speed, 0.05f);
    EXPECT_EQ(actor.base_walk_speed, 0.05f);
    EXPECT_EQ(actor.second_speed, 0.08f);
    EXPECT_EQ(actor.jump_speed, 0.2f);

    EXPECT_EQ(actor.colour, 0xFFFFFFFFu);
    EXPECT_EQ(actor.shadow_colour, 0xFFFFFFFFu);
    EXPECT_EQ(actor.shadow_style, 3);
    EXPECT_EQ(actor.attack.attack_bonus, 0.0f);
    EXPECT_EQ(actor.attack.attack_factor, 1.0f);
    EXPECT_EQ(actor.turn_factor, 1.0f);
    D3DXMATRIX identity;
    D3DXMatrixIdentity(&identity);
    EXPECT_EQ(std::memcmp(&actor.billboard_matrix, &identity, sizeof identity), 0);
    EXPECT_EQ(actor.input_last_slot, -1);
    EXPECT_EQ(actor.jump_phase, 3);
    EXPECT_EQ(actor.on_ground, 1);
    EXPECT_EQ(actor.animation_speed, 1.0f);
    EXPECT_EQ(actor.footprint_side, 2);
    EXPECT_EQ(actor.cast_flags, ACTOR_CAST_WANDERS | ACTOR_CAST_IGNORES_LEDGES);
    // The attack id is the actor counter's next number after the actor's own id.
    EXPECT_EQ(actor.attack_id, actor.object_id + 1);

    // The animation is bound and its quad built: the 8-pixel canvas at scale 1 is 0.25 wide.
    EXPECT_NE(actor.script.set, nullptr);
    EXPECT_EQ(actor.script.set_number, ACTOR_TEST_SCRIPT_SET);
    EXPECT_NE(actor.script.textures[0].texture, nullptr);
    EXPECT_FLOAT_EQ(actor.sprite_quads[0][1].x - actor.sprite_quads[0][0].x, 0.25f);
    EXPECT_EQ(actor.sprite_quads[0][0].diffuse, 0xFFFFFFFFu);
}

// Level = (HP - 15) / 8 + 1, truncated toward zero and compared with 60 unsigned: a negative
// level becomes 60 too, and 0-14 hit points give level 0 or 1 as the division falls.
TEST_F(ActorSetupTest, HitPointsGiveTheLevelAttackAndDefence)
{
    const struct {
        std::int32_t hp;
        std::int32_t level;
    } cases[] = {{15, 1}, {22, 1}, {23, 2}, {486, 59}, {487, 60}, {495, 60}, {5000, 60},
                 {0, 0},  {6, 0},  {7, 0},  {8, 1},    {-1, 60},  {-9, 60}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hp);
        g_castinfo[k_plain_cast].hit_points = c.hp;
        const GoActor& actor = set_up(k_plain_cast, ACTOR_SPAWN_FRIEND);
        EXPECT_EQ(actor.status.level, c.level);
        EXPECT_EQ(actor.status.hp, static_cast<float>(c.hp));
        EXPECT_EQ(actor.status.max_hp, static_cast<float>(c.hp));
        EXPECT_FLOAT_EQ(actor.status.atk, static_cast<float>(c.hp) * 1.13f);
        EXPECT_FLOAT_EQ(actor.status.def, static_cast<float>(c.hp) * 0.615f);
    }
}

// The spawn type makes a friend, a neutral or an enemy; any other value keeps the constructed
// hit shape. Only enemies count in GF_LIVE_ENEMIES.
TEST_F(ActorSetupTest, TheSpawnTypeSetsTheSideOfTheHitShape)
{
    const struct {
        std::int32_t spawn_type;
        std::uint32_t class_bits;
        std::uint32_t mask;
        std::uint32_t flags; // besides those of every actor
        std::uint8_t footsteps;
        std::int32_t live_enemies;
    } cases[] = {
        {ACTOR_SPAWN_FRIEND, 0x81, 0x3C, 0, 1, 3},
        {ACTOR_SPAWN_NEUTRAL, 0x84, 0x3F, 0x40, 0, 3},
        {ACTOR_SPAWN_ENEMY, 0x88, 0x2F, 0x10000, 0, 4},
        {8, 0, 0, 0, 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spawn_type);
        g_play_state.game_flags[GF_LIVE_ENEMIES] = 3;
        const GoActor& actor = set_up(k_plain_cast, c.spawn_type);
        EXPECT_EQ(actor.hit_shape.class_bits, c.class_bits);
        EXPECT_EQ(actor.hit_shape.target_mask, c.mask);
        EXPECT_EQ(actor.cast_flags, c.flags | ACTOR_CAST_WANDERS | ACTOR_CAST_IGNORES_LEDGES);
        EXPECT_EQ(actor.footstep_sounds, c.footsteps);
        EXPECT_EQ(g_play_state.game_flags[GF_LIVE_ENEMIES], c.live_enemies);
    }
}

// The rows of the per-cast table apply after the spawn type, the conditions after the rows.
TEST_F(ActorSetupTest, TheCastTableChangesFlagsShapesAndValues)
{
    constexpr std::uint32_t k_base = ACTOR_CAST_WANDERS | ACTOR_CAST_IGNORES_LEDGES;
    constexpr std::uint32_t k_enemy = 0x10000;
    const float k_record_atk = 100.0f * 1.13f;
    const float k_record_def = 100.0f * 0.615f;
    const struct {
        const char* name;
        std::int32_t cast;
        std::int32_t spawn_type;
        const char* scene;
        std::uint32_t flags;
        std::uint32_t extra;
        std::uint32_t class_bits;
        std::uint32_t mask;
        float hp, atk, def;
        std::int32_t level;
        std::int32_t kind;
        float animation_speed;
        float draw_scale;
        std::int32_t ally; // -1: none
        bool bound;
    } cases[] = {
        {"40: one hit point", 40, ACTOR_SPAWN_ENEMY, "s_10\\s_1010\\", k_base | k_enemy | 0x200040, 0, 0x88,
         0x2F, 1.0f, k_record_atk, k_record_def, 11, 1, 1.0f, 1.0f, -1, true},
        {"87 elsewhere", 87, ACTOR_SPAWN_FRIEND, "s_45\\s_4504\\", k_base, 0, 0x81, 0x3C, 100.0f,
         k_record_atk, k_record_def, 11, 1, 1.1f, 1.0f, 0, true},
        {"87 in s_45\\s_4505\\", 87, ACTOR_SPAWN_FRIEND, "s_45\\s_4505\\", k_base | 0x2000040, 0, 0x81, 0x3C,
         999.0f, 999.0f, 999.0f, 11, 1, 1.1f, 1.0f, 0, true},
        {"86", 86, ACTOR_SPAWN_FRIEND, "", k_base, 0, 0x81, 0x3C, 100.0f, k_record_atk, k_record_def, 11, 1,
         1.0f, 1.0f, 1, true},
        {"129", 129, ACTOR_SPAWN_FRIEND, "", k_base, 0, 0x81, 0x3C, 100.0f, k_record_atk, k_record_def, 11, 1,
         0.55f, 1.0f, 2, true},
        {"123: the boss's stand-in", 123, ACTOR_SPAWN_NEUTRAL, "", k_base | 0x40 | 0x1080000 | k_enemy, 0x4,
         0x88, 0x2F, 10000.0f, 285.0f, 210.0f, 60, 84, 1.0f, 1.0f, -1, true},
        {"14: ledges count", 14, ACTOR_SPAWN_ENEMY, "", ACTOR_CAST_WANDERS | k_enemy | 0x4, 0, 0x88, 0x2F,
         100.0f, k_record_atk, k_record_def, 11, 1, 1.0f, 1.0f, -1, true},
        {"74: no wandering", 74, ACTOR_SPAWN_ENEMY, "", ACTOR_CAST_IGNORES_LEDGES | k_enemy | 0x1080000, 0,
         0x88, 0x2F, 100.0f, k_record_atk, k_record_def, 11, 1, 1.0f, 1.0f, -1, true},
        {"79: large, not hittable", 79, ACTOR_SPAWN_ENEMY, "", k_base | k_enemy | 0x43080040, 0, 0x08, 0x2F,
         100.0f, k_record_atk, k_record_def, 11, 1, 1.0f, 1.2f, -1, true},
        {"64: enemy class without the active bit", 64, ACTOR_SPAWN_NEUTRAL, "", k_base | 0x40 | 0x2A1C41, 0,
         0x08, 0x2F, 100.0f, k_record_atk, k_record_def, 11, 1, 1.0f, 1.0f, -1, true},
        {"46 in s_02\\s_0200\\", 46, ACTOR_SPAWN_ENEMY, "s_02\\s_0200\\", k_base | k_enemy, 0x1, 0x88, 0x2F,
         100.0f, k_record_atk, k_record_def, 11, 1, 1.0f, 1.0f, -1, true},
        {"1: no animation", 1, ACTOR_SPAWN_NEUTRAL, "", k_base | 0x40 | 0x80, 0, 0x04, 0x3F, 100.0f,
         k_record_atk, k_record_def, 11, 1, 1.0f, 1.0f, -1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        enter_scene(c.scene);
        g_play_state.game_flags[GF_LIVE_ENEMIES] = 0;
        std::fill(std::begin(g_ally_actors), std::end(g_ally_actors), nullptr);
        const GoActor& actor = set_up(c.cast, c.spawn_type);
        EXPECT_EQ(actor.cast_flags, c.flags);
        EXPECT_EQ(actor.extra_flags, c.extra);
        EXPECT_EQ(actor.hit_shape.class_bits, c.class_bits);
        EXPECT_EQ(actor.hit_shape.target_mask, c.mask);
        EXPECT_EQ(actor.status.hp, c.hp);
        EXPECT_EQ(actor.status.max_hp, c.hp);
        EXPECT_FLOAT_EQ(actor.status.atk, c.atk);
        EXPECT_FLOAT_EQ(actor.status.def, c.def);
        EXPECT_EQ(actor.status.level, c.level);
        EXPECT_EQ(actor.kind, c.kind);
        EXPECT_EQ(actor.animation_speed, c.animation_speed);
        EXPECT_EQ(actor.draw_scale, c.draw_scale);
        EXPECT_FLOAT_EQ(actor.shadow_size, 1.5f * c.draw_scale);
        EXPECT_EQ(g_play_state.game_flags[GF_LIVE_ENEMIES], (c.flags & k_enemy) ? 1 : 0);
        for (int i = 0; i < ACTOR_ALLY_COUNT; ++i)
            EXPECT_EQ(g_ally_actors[i], i == c.ally ? &actor : nullptr) << "ally " << i;
        EXPECT_EQ(actor.script.set != nullptr, c.bound);
    }
}

// The guardian's scene makes it immune to every element; elsewhere it keeps the record's.
TEST_F(ActorSetupTest, TheGuardianResistsEverythingInItsScene)
{
    const struct {
        const char* scene;
        float resistance;
    } cases[] = {{"s_45\\s_4505\\", 1.0f}, {"S_45\\S_4505\\", 1.0f}, {"s_45\\s_4506\\", 0.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scene);
        enter_scene(c.scene);
        const GoActor& actor = set_up(87, ACTOR_SPAWN_FRIEND);
        for (float resistance : actor.status.resist)
            EXPECT_EQ(resistance, c.resistance);
    }
}

// Cast 123 walks at its enemy row's speed times the row's factor and flies when the row hovers.
TEST_F(ActorSetupTest, TheBossStandInMovesByEnemyRow80)
{
    EnemyInfo& row = g_enemyinfo[80];
    row.move_params[1] = 1.5f; // the speed factor
    row.move_params[2] = 0.04f;
    for (float hover : {0.0f, 0.3f}) {
        SCOPED_TRACE(hover);
        row.hover_params[0] = hover;
        const GoActor& actor = set_up(123, ACTOR_SPAWN_NEUTRAL);
        EXPECT_FLOAT_EQ(actor.walk_speed, 0.06f);
        EXPECT_EQ(actor.base_walk_speed, 0.05f);
        EXPECT_EQ(actor.flying, hover != 0.0f ? 1 : 0);
    }
}

// An enemy flies when its record or its enemy row hovers: casts 14-83 read row cast - 14, casts
// 166-176 row cast - 96; any other cast reads no row, and a row past the table is none.
TEST_F(ActorSetupTest, EnemiesFlyByTheirRecordOrTheirRow)
{
    g_enemyinfo[6].hover_params[0] = 1.0f;  // cast 20
    g_enemyinfo[74].hover_params[0] = 1.0f; // cast 170, and cast 88 if it read rows like 14-83
    const struct {
        std::int32_t cast;
        float record_hover;
        std::size_t rows;
        std::uint8_t flying;
    } cases[] = {
        {20, 0.0f, ACTOR_TEST_ENEMY_ROWS, 1},  {21, 0.0f, ACTOR_TEST_ENEMY_ROWS, 0},
        {170, 0.0f, ACTOR_TEST_ENEMY_ROWS, 1}, {88, 0.0f, ACTOR_TEST_ENEMY_ROWS, 0},
        {21, 0.5f, ACTOR_TEST_ENEMY_ROWS, 1},  {170, 0.0f, 74, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cast);
        g_enemyinfo.resize(c.rows);
        g_castinfo[static_cast<std::size_t>(c.cast)].hover_height = c.record_hover;
        EXPECT_EQ(set_up(c.cast, ACTOR_SPAWN_ENEMY).flying, c.flying);
        g_castinfo[static_cast<std::size_t>(c.cast)].hover_height = 0.0f;
        g_enemyinfo.resize(ACTOR_TEST_ENEMY_ROWS);
    }
}

// A scene wholly under water starts every actor wading and submerged.
TEST_F(ActorSetupTest, AllUnderWaterStartsActorsSubmerged)
{
    for (std::int32_t mode : {0, 1, 2}) {
        SCOPED_TRACE(mode);
        g_play_state.water_mode = mode;
        const GoActor& actor = set_up(k_plain_cast, ACTOR_SPAWN_FRIEND);
        EXPECT_EQ(actor.wading, mode == 2 ? 1 : 0);
        EXPECT_EQ(actor.submerged, mode == 2 ? 1 : 0);
    }
}

// Enemies set up outside an event, and casts 146-153, start their animation up to 7 ticks late,
// drawn after everything else of the set-up.
TEST_F(ActorSetupTest, EnemiesOutsideEventsStartTheirAnimationOutOfStep)
{
    const std::int32_t settled_wait = set_up(k_plain_cast, ACTOR_SPAWN_FRIEND).script.wait;
    const struct {
        const char* name;
        std::int32_t cast;
        std::int32_t spawn_type;
        int lock; // -1 none
        bool offset;
    } cases[] = {
        {"enemy", k_plain_cast, ACTOR_SPAWN_ENEMY, -1, true},
        {"enemy in an event", k_plain_cast, ACTOR_SPAWN_ENEMY, EVENT_LOCK_EVENT, false},
        {"enemy in an event without AI", k_plain_cast, ACTOR_SPAWN_ENEMY, EVENT_LOCK_EVENT_NO_AI, false},
        {"enemy under a counted lock", k_plain_cast, ACTOR_SPAWN_ENEMY, EVENT_LOCK_COUNTED, true},
        {"neutral", k_plain_cast, ACTOR_SPAWN_NEUTRAL, -1, false},
        {"cast 150", 150, ACTOR_SPAWN_NEUTRAL, EVENT_LOCK_EVENT, true},
    };
    // The first draw that moves the start, so that a missing offset shows.
    const std::uint32_t skip = first_draw_where([](std::uint32_t v) { return ((v >> 17) & 7) != 0; });
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (std::int32_t& count : g_event_lock_count)
            count = 0;
        if (c.lock >= 0) g_event_lock_count[c.lock] = 1;
        math_rand_seed();
        math_rand_discard(skip);
        const std::uint32_t draw = math_rand_u32();
        math_rand_seed();
        math_rand_discard(skip);
        const GoActor& actor = set_up(c.cast, c.spawn_type);
        EXPECT_EQ(actor.random_start, c.offset ? 1 : 0);
        EXPECT_EQ(actor.script.wait,
                  settled_wait + (c.offset ? static_cast<std::int32_t>((draw >> 17) & 7) : 0));
    }
}

// About once in 256 set-ups cast 166 comes out as its rare variant, cast 174 with script set 173,
// counted as a 174.
TEST_F(ActorSetupTest, Cast166SometimesBecomesItsRareVariant)
{
    const std::uint32_t rare = first_draw_where(rare_draw);
    const std::uint32_t common = first_draw_where([](std::uint32_t v) { return !rare_draw(v); });
    const struct {
        std::uint32_t skip;
        std::int32_t cast;
        std::int32_t script_set;
    } cases[] = {{rare, 174, ACTOR_TEST_VARIANT_SCRIPT_SET}, {common, 166, ACTOR_TEST_SCRIPT_SET}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cast);
        g_castinfo[166].live_count = g_castinfo[174].live_count = 0;
        math_rand_seed();
        math_rand_discard(c.skip);
        const GoActor& actor = set_up(166, ACTOR_SPAWN_ENEMY, 321);
        EXPECT_EQ(actor.cast, c.cast);
        EXPECT_EQ(actor.script_set, c.script_set);
        EXPECT_EQ(actor.script.set_number, c.script_set);
        EXPECT_EQ(actor.key, 321);
        EXPECT_EQ(actor.cast_flags & 0x20000000u, 0x20000000u);
        EXPECT_EQ(g_castinfo[static_cast<std::size_t>(c.cast)].live_count, 1);
        EXPECT_EQ(g_castinfo[c.cast == 166 ? 174 : 166].live_count, 0);
    }
}

// A cast's effects are loaded for its first live actor only: a second actor does not try again,
// and once the cast has died out the next one does.
TEST_F(ActorSetupTest, TheFirstLiveActorOfACastPreloadsItsEffects)
{
    auto tried = [] {
        std::vector<bool> result;
        for (std::int32_t id : ACTOR_TEST_ENEMY_EFFECTS)
            result.push_back(effect_tried(id));
        return result;
    };
    const std::vector<bool> all(std::size(ACTOR_TEST_ENEMY_EFFECTS), true);
    const std::vector<bool> none(std::size(ACTOR_TEST_ENEMY_EFFECTS), false);

    GoActor& first = set_up(30, ACTOR_SPAWN_ENEMY);
    EXPECT_EQ(tried(), all);
    EXPECT_FALSE(effect_tried(ACTOR_TEST_OTHER_EFFECT));

    sound_load_effect_table(); // every effect untried again
    GoActor& second = set_up(30, ACTOR_SPAWN_ENEMY);
    EXPECT_EQ(tried(), none);

    actor_kill(first);
    GoActor& third = set_up(30, ACTOR_SPAWN_ENEMY);
    EXPECT_EQ(tried(), none) << "one of the cast still lives";

    actor_kill(second);
    actor_kill(third);
    set_up(30, ACTOR_SPAWN_ENEMY);
    EXPECT_EQ(tried(), all);

    // A person's cast has no list, and with effects off nothing loads.
    sound_load_effect_table();
    set_up(k_plain_cast, ACTOR_SPAWN_FRIEND);
    g_play_effect = 0;
    set_up(31, ACTOR_SPAWN_ENEMY);
    EXPECT_EQ(tried(), none);
    EXPECT_FALSE(effect_tried(ACTOR_TEST_OTHER_EFFECT));
}

// Placing puts the feet on the given ground: the position is raised by the hover height and the
// foot offset, and every place and facing the actor keeps starts there.
TEST_F(ActorSetupTest, PlacingSetsEveryPositionFacingAndTheCameraHeight)
{
    CastInfo& record = g_castinfo[k_plain_cast];
    record.hover_height = 0.75f;
    record.foot_height = 0.425f; // foot offset 0.5
    GoActor& actor = set_up(k_plain_cast, ACTOR_SPAWN_FRIEND);
    actor.target_facing = 2.0f;

    actor_set_position(D3DXVECTOR3(4.0f, 2.0f, -3.0f), actor, 0.7f);

    const D3DXVECTOR3 placed(4.0f, 3.25f, -3.0f);
    EXPECT_EQ(actor_position(actor), placed);
    EXPECT_EQ(actor.previous_position, placed);
    EXPECT_EQ(D3DXVECTOR3(actor.hit_shape.centre), placed);
    EXPECT_EQ(actor.home_point, placed);
    EXPECT_EQ(actor.facing, 0.7f);
    EXPECT_EQ(actor.attack_facing, 0.7f);
    EXPECT_EQ(actor.home_facing, 0.7f);
    EXPECT_EQ(actor.target_facing, 2.0f);
    EXPECT_EQ(actor.ground_height, 2.0f);
    EXPECT_EQ(actor.placement_ground, 2.0f);
    EXPECT_EQ(actor.camera_height, 2.5f);
    EXPECT_EQ(actor.camera_height_goal, 2.5f);

    // The camera follows the camera height plus the foot offset, which lies within the limits
    // of the position.
    D3DXVECTOR3 target;
    actor_camera_target(actor, target);
    EXPECT_EQ(target, D3DXVECTOR3(4.0f, 3.0f, -3.0f));
}
