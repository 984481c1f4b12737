// The fixed meanings of the game flags: entries of PlayState::game_flags, which the event and
// animation scripts also address by number. An entry gets its name here when code first uses it.
#pragma once

constexpr int GAME_FLAG_COUNT = 512;

// Entries GF_ITEM_COUNT + item id, for items 0-89: an item's stock (-1 never owned, 0 not held,
// n held). The scripts read and write these entries as their variables.
constexpr int GF_ITEM_COUNT = 0;
constexpr int GF_ITEM_COUNT_END = 90;

constexpr int GF_EXITS_OFF = 95;        // a script switched the exit regions off
constexpr int GF_SEALED_FOES_OPEN = 96; // the story opened the mid-boss fights
constexpr int GF_AI_FROZEN = 97;        // enemy AI frozen
constexpr int GF_LIVE_ENEMIES = 98;     // living enemy actors, 0 at scene entry
constexpr int GF_CLEAR_COUNT = 102;     // game clears, taken at a new game
constexpr int GF_WARP_POINT = 103;      // the return-table index
constexpr int GF_BOOST_RUNNING = 107;
constexpr int GF_EASY = 109;
constexpr int GF_DIFFICULTY = 110;   // 0 Normal, 1 Hard, 2 Nightmare
constexpr int GF_LOCKED_FIGHT = 113; // scripts hold a fight: its enemies stay alert
constexpr int GF_EQUIP_SET = 116;    // the complete matching equipment set, also the hero's look
constexpr int GF_WEAPON = 117;       // item id of the weapon worn, -1 none
constexpr int GF_ARMOUR = 118;       // items 12-17, -1 none
constexpr int GF_SHIELD = 119;       // items 6-11, -1 none
constexpr int GF_RING_SLOTS = 120;   // ring slots in use
constexpr int GF_ITEM_SLOTS = 121;   // entries of the item list in use
constexpr int GF_BATTLE = 122;       // a boss battle is running
constexpr int GF_ARENA_SETUP = 123;  // chooses the values of the type-66 enemy
constexpr int GF_ENTRY_VALUE = 126;  // the arrival record's entry value at scene entry
constexpr int GF_DUSCA = 128;        // the second currency, 0-9999
constexpr int GF_DOUBLE_JUMP = 129;
constexpr int GF_WEAPON_LEVEL = 130; // 0-3
constexpr int GF_DASH = 147;
constexpr int GF_MAGIC_LEVEL_0 = 148; // 148-150: the levels of the three magic types
constexpr int GF_MAGIC_LEVEL_1 = 149;
constexpr int GF_MAGIC_LEVEL_2 = 150;
constexpr int GF_HUD_SHOWN = 151;
constexpr int GF_EVENT_RUNNING = 152;
constexpr int GF_SKY_HIDDEN = 155;       // a script hides the map's sky
constexpr int GF_SCENE_BOUNDS = 156;     // the scene's bounds hold the player
constexpr int GF_ON_SAVE_POINT = 157;    // the player stands on a save point; its arrival has sounded
constexpr int GF_ACTOR_SOUND_PULL = 158; // 0-10: sounds pulled toward the hero
constexpr int GF_TIME_ATTACK = 159;      // 0 off, 1 running, 2 stage finished
constexpr int GF_TA_CLOCK_STARTED = 160; // set on the first tick of a time-attack battle
constexpr int GF_TA_STAGE = 161;         // the stage chosen on the title, at least 1
constexpr int GF_RETRY_COUNT = 162;
constexpr int GF_CLEAR_BONUS_USED = 165; // a bonus key (F2 to F5) was used
constexpr int GF_PLAY_FRAMES = 166;      // play time in ticks
constexpr int GF_HITS_LANDED = 167;
constexpr int GF_INFERNO = 168;
constexpr int GF_QUICK_SAVE_OK = 169; // the quick save is allowed in this scene
constexpr int GF_VERY_EASY = 170;
constexpr int GF_SHOWOFF_COUNT = 464;
constexpr int GF_BOSS_DEATHS = 465; // the failure counter kept across a retry
constexpr int GF_DAMAGE_TAKEN = 466;
constexpr int GF_SHOWOFF_START = 467; // the play time in ms that opened the one-second window
