// The boss command of the event scripts: the arena table that names each arena's boss, the
// boss's creation on request and the commands on its control block; and the boss that the
// scripts' two boss waits look at.
#pragma once

#include "gfx/script_ops.h"
#include "object/boss/go_boss.h"

#include <cstdint>
#include <span>

// The first argument word of a boss command.
constexpr std::int32_t BOSS_CMD_CREATE = 0;
constexpr std::int32_t BOSS_CMD_KILL = 1;
constexpr std::int32_t BOSS_CMD_SCRIPT_MODE = 2;
constexpr std::int32_t BOSS_CMD_ANIM = 3;
constexpr std::int32_t BOSS_CMD_ALPHA = 4;
constexpr std::int32_t BOSS_CMD_MOVE = 5;
constexpr std::int32_t BOSS_CMD_TURN = 6;
constexpr std::int32_t BOSS_CMD_SET_INT = 7;
constexpr std::int32_t BOSS_CMD_SET_FLOAT = 9;

// Takes the class's pool slot (the pool is empty), constructs the class there and runs its
// Init; the boss made.
using BossCreate = GoBoss* (*)();

// One arena: the first row whose folder is the current scene's decides.
struct BossArenaRow {
    const char* folder;         // as the scene list spells it, any case
    std::uint8_t class_code;    // the boss class; its pool holds the arena's boss
    BossCreate create;          // null while the class cannot be made: creation does nothing
    std::int32_t handover_flag; // once this game flag is set the arena belongs to the next row; -1 never
};

// The game's arena table.
std::span<const BossArenaRow> boss_arena_rows();
// Puts rows in place of the table the boss command walks (tests hand it rows whose classes they
// made); the rows must outlive their use. The game's table is in place from the start.
void boss_install_arena_rows(std::span<const BossArenaRow> rows);

// The live boss of a class: the first entry of its pool's active list, dead or not; null for none.
GoBoss* boss_of_class(std::uint8_t class_code);

// The event scripts' boss command: `count` is the call word's argument count, `words` the
// argument words the call holds; words the count does not reach, or the call does not hold, read
// as 0, and a count of 0 does nothing. Command 0 makes the current arena's boss when it has none
// and places it; every other command goes to the boss's control block. Nothing happens outside
// the arenas or when a command other than 0 finds no boss.
void boss_script_command(std::uint32_t count, std::span<const ScriptWord> words);
// Commands 1-9 on a control block of the boss (word 0 the code, read under the same rules);
// other codes do nothing.
void boss_control_command(GoBoss& boss, std::uint32_t count, BossControl& control,
                          std::span<const ScriptWord> words);

// The tests of the script waits live with the bosses, since every boss class keeps their
// contract. They look at the first live boss in the class order 1, 2, 3, 4, 5, 7, 8 and pass
// when there is none. The animation test passes once the boss's current range is the one the
// script asked for and has ended; the move test once the scripted move has arrived.
GoBoss* boss_waited_on();
bool script_boss_anim_done();
bool script_boss_move_done();
