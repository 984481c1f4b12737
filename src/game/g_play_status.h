// The player's level, experience and combat values, recomputed step by step as the recompute
// bits of the play state ask, and the values of enemies and allies by their level.
#pragma once

#include "game/g_play_state.h"
#include "game/g_status_block.h"

#include <cstdint>

class GoActor;

constexpr std::int32_t PLAY_LEVEL_MAX = 60;

// The status-recompute bits (PlayState::recompute_bits).
constexpr std::uint32_t PLAY_RECOMPUTE_LEVEL_UP = 0x01;  // check for level-ups
constexpr std::uint32_t PLAY_RECOMPUTE_BASE = 0x04;      // base values from the level
constexpr std::uint32_t PLAY_RECOMPUTE_NEW_GAME = 0x10;  // set by the new-game set-up
constexpr std::uint32_t PLAY_RECOMPUTE_EQUIP = 0x20;     // base values into the status, equipment
constexpr std::uint32_t PLAY_RECOMPUTE_TO_PLAYER = 0x40; // the status into the player object
constexpr std::uint32_t PLAY_RECOMPUTE_ALL = 0x75;       // everything, as after a load

// Sets the player's level (clamped to 1-60) with its experience at the level's threshold, and
// recomputes the status.
void play_compute_exp_totals(std::int32_t level);
// Runs the recompute steps whose bits are set, in bit order; each step sets the bits of the steps
// that follow it. A level-up heals a living player fully.
void play_update_status();
// Applies the equipment of `levels` (one per item id 0-17), the worn items of the game flags and
// the rings of the slots in use to `status`, writing the bonuses into `out`. A worn id outside
// 0-17 adds nothing. Maximum hit points are cut to 999 and maximum magic to 3000.
void play_equip_bonus(const std::int32_t (&levels)[PLAY_EQUIP_LEVELS], EquipBonus& out, StatusBlock& status);
// The player's status as it would be with other equipment levels, for the camp menu's preview:
// the play state's status with its base values and the equipment of `levels`. The play state is
// left as it is.
void play_equip_stats(StatusBlock& out, const std::int32_t (&levels)[PLAY_EQUIP_LEVELS], EquipBonus& bonus);
// An enemy's or an ally's values from its enemy-table row `type` (84 and above: type - 82) at
// `level`, 0 taking the row's own level, then the fixed adjustments and the difficulty rules.
// Nothing changes while the actor's values are fixed (ACTOR_EXTRA_FIXED_VALUES). A type outside the
// table throws ERR_OVERFLOW.
void play_apply_level_stats(std::int32_t type, GoActor& actor, std::int32_t level);
