// The demo's sword trails: the six curves "sword0" to "sword5" the game loads at start, each a
// swing cut into segments, and the images the trails and their sparks draw with.
#pragma once

#include "lib/archive_writer.h"
#include "lib/sl2_writer.h"

#include <cstdint>
#include <vector>

inline constexpr int DEMO_TRAIL_CURVES = 6;
inline constexpr std::uint32_t DEMO_TRAIL_SEGMENTS = 4; // per curve, of equal length

// Curve n of the demo: a swing of the blade, longer for each later curve.
Sl2Image demo_trail_curve(int n);
// The curves as "data\effect\swordN.sl2" plain entries, and "locus0.dds", "locus1.dds",
// "locus_sp0.dds", "hmlzr1.dds" and "sparkle.dds" in "data\image\", as the archive holds them.
std::vector<ArchiveSource> demo_trail_files();
