// The status of one object: hit points, magic, combat values and rewards. Every object carries
// one, and the player's also lives in the play state in the same layout, copied into the player
// object when it changes.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::uint8_t STATUS_ELEMENT_NONE = 0xFF;

struct StatusBlock {
    float max_hp;
    float hp;     // below 1.0 the object is defeated and cannot be hit
    float max_mp; // the player's is 3000
    float mp;
    float atk;
    float def;         // 999 or more: the object takes no minimum damage
    float luck;        // added to the drop chances of a defeat
    float exp;         // given when defeated; the player's is the total experience
    float resist[4];   // per element 0-3: 0 none, 1.0 immune
    std::int32_t gold; // given when defeated; the player's is the gold carried
    std::int32_t level;
    std::uint8_t table_byte;     // copied from the enemy table by the level stats; combat ignores it
    std::uint8_t status_element; // the element of a timed element state, STATUS_ELEMENT_NONE without
    std::uint8_t no_minimum;     // non-zero: no damage minimum and no one-point minimum
    std::uint8_t reserved_59;
};
static_assert(sizeof(StatusBlock) == 60);
static_assert(offsetof(StatusBlock, resist) == 32);
static_assert(offsetof(StatusBlock, gold) == 48);
static_assert(offsetof(StatusBlock, level) == 52);
static_assert(offsetof(StatusBlock, table_byte) == 56);
static_assert(offsetof(StatusBlock, status_element) == 57);
static_assert(offsetof(StatusBlock, no_minimum) == 58);
