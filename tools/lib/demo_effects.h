// The demo's effects, all placed in the demo room by its ".sef" file: a torch whose endless
// flame sends up sparks and casts a warm light spot on the floor, a fountain whose sparks attack
// for the enemies' side, fall, hit the floor and splash there, a slowly turning ring with a
// band that scrolls through its texture frames, and a spinning crystal drawn from an animated
// effect mesh. The effect ids keep clear of every id the game starts by number.
#pragma once

#include "lib/archive_writer.h"
#include "lib/effect_writer.h"
#include "lib/map_writer.h"
#include "lib/qmo_writer.h"

#include <cstdint>
#include <vector>

inline constexpr std::int32_t DEMO_EFFECT_TORCH = 200;
inline constexpr std::int32_t DEMO_EFFECT_FOUNTAIN = 201;
inline constexpr std::int32_t DEMO_EFFECT_SPLASH = 202; // where a fountain spark hits
inline constexpr std::int32_t DEMO_EFFECT_RING = 203;
inline constexpr std::int32_t DEMO_EFFECT_CRYSTAL = 204;

// Where the room places them (y is the floor). The fountain stands well away from the hero's
// arrival, as its sparks are the enemies' attacks.
inline constexpr MapVec DEMO_TORCH_POSITION{-5.5f, 0.0f, 10.0f};
inline constexpr MapVec DEMO_FOUNTAIN_POSITION{5.0f, 0.0f, 9.5f};
inline constexpr MapVec DEMO_RING_POSITION{-1.5f, 0.0f, 10.8f};
inline constexpr MapVec DEMO_CRYSTAL_POSITION{1.8f, 0.0f, 11.0f};

// Heights of the torch's flame and the crystal above their placements.
inline constexpr float DEMO_TORCH_FLAME_HEIGHT = 0.55f;
inline constexpr float DEMO_CRYSTAL_HEIGHT = 1.3f;
// The torch's light spot on the floor, ARGB.
inline constexpr std::uint32_t DEMO_TORCH_LIGHT = 0xC0FF9040;

// The four lists and the ".ef2" files of the five effects.
EftDataSet demo_effect_data();
// The crystal: one node turning about y and swelling through 32 keys, in one textured material.
QmoImage demo_effect_mesh();
// The packed lists and effect files, the effect textures and the effect mesh, as the archive
// holds them.
std::vector<ArchiveSource> demo_effect_files();
// The room's ".sef" records.
std::vector<MapEffectDesc> demo_room_effects();
