#include "object/object_fixture.h"

#include <gtest/gtest.h>

namespace {

using ActorCombat = ObjectTest;

} // namespace

TEST_F(ActorCombat, ThePlayersActionGivesTheAttackIndex)
{
    const struct {
        std::int32_t action;
        std::int32_t index;
    } cases[] = {{268, 2}, {269, 0}, {270, 1}, {271, 6}, {272, 4},
                 {273, 5}, {267, 3}, {274, 3}, {0, 3},   {-268, 3}};
    GoActor* player = spawn(g_pool_actor);
    g_player = player;
    for (const auto& c : cases) {
        player->script.current_action = c.action;
        EXPECT_EQ(player_attack_action_index(), c.index) << "action " << c.action;
    }
    g_player = nullptr;
    EXPECT_EQ(player_attack_action_index(), -1);
}

// Every field is set but the damage minimum and the next link, which belong to the caller.
TEST_F(ActorCombat, InitAttackArmsTheAttackOfTheSide)
{
    const struct {
        std::int32_t side;
        std::uint32_t class_bits;
        std::uint32_t mask;
    } cases[] = {{COMBAT_SIDE_PLAYER, 0x82, 0x38}, {COMBAT_SIDE_ENEMY, 0x90, 0x07}, {7, 0x90, 0x07}};
    HitShape link{};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.side);
        GoActor& object = *spawn(g_pool_actor);
        object.world._41 = 1.0f;
        object.world._42 = 2.0f;
        object.world._43 = 3.0f;
        AttackDesc& attack = object.attack;
        attack.shape.half_height = 9.0f;
        attack.shape.cylinder = 1;
        attack.shape.next = &link;
        attack.damage_minimum = 1.0f;
        attack.orbit_angle = attack.orbit_height = 5.0f;
        attack.flags = ATTACK_ENDS_ON_HIT;

        combat_init_attack(object, 14, c.side, 12, 1.5f, 0.25f, 0.6f, 0x01000077, 2, 0x9, 4);

        EXPECT_EQ(attack.shape.class_bits, c.class_bits);
        EXPECT_EQ(attack.shape.target_mask, c.mask);
        EXPECT_EQ(attack.shape.radius, 0.6f);
        EXPECT_EQ(D3DXVECTOR3(attack.shape.centre), D3DXVECTOR3(1, 2, 3));
        EXPECT_EQ(attack.shape.half_height, 0.0f);
        EXPECT_EQ(attack.shape.cylinder, 0);
        EXPECT_EQ(attack.shape.attack_id, 0x01000077u);
        EXPECT_EQ(attack.shape.hold, 12);
        EXPECT_EQ(attack.shape.next, &link);
        EXPECT_EQ(attack.attack_bonus, 1.5f);
        EXPECT_EQ(attack.damage_minimum, 1.0f);
        EXPECT_EQ(attack.attack_factor, 0.25f);
        EXPECT_EQ(attack.strength, 2);
        EXPECT_EQ(attack.element, 4);
        EXPECT_EQ(attack.ailments, 0x9);
        EXPECT_EQ(attack.orbit_angle, 0.0f);
        EXPECT_EQ(attack.orbit_radius, 0.75f);
        EXPECT_EQ(attack.orbit_height, 0.0f);
        EXPECT_EQ(attack.active_ticks, 14);
        EXPECT_EQ(attack.flags, 0u);
    }
}
