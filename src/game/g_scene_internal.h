// What the scene change and the scene entry share.
#pragma once

#include <cstdint>

// The difficulty levels the per-difficulty tables hold: Normal, Hard and Nightmare.
constexpr int SCENE_DIFFICULTY_COUNT = 3;

// GF_DIFFICULTY clamped into the tables: a save may hold any value.
std::int32_t scene_difficulty_index();
