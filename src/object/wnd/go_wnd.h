// The windows' functions that the framework calls: the end of a time-attack stage and its
// records.
#pragma once

// The game tick calls it once the stage's boss has fallen and 180 more ticks have passed, with
// GF_TIME_ATTACK back at 1. Unless the player fell during the fight, it records the stage's time,
// and after the boss rush's last arena the whole run's, then writes the records.
void timeattack_stage_end();
// The stage clock as milliseconds under the entry of the difficulty and the stage, and on the
// stage board; nothing for a clock of 0.
void timeattack_record_stage_time();
// The total clock as milliseconds under the difficulty's boss-rush entry, and on the boss-rush
// board; nothing for a clock of 0.
void timeattack_record_boss_rush();
