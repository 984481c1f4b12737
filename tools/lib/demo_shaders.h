// The demo data's vertex shaders: one vs.1.1 program for each name of the engine's shader table,
// written for its constant registers (c0 (0, 0.5, 1, 2), c1 fog, c2 model, c3 cover, c4-c7
// projection, c8-c17 point lights, c18 ambient, c19 light direction, c20-c21 light colours,
// c22 up, c23 glow, c24-c27 world-view-projection, c28-c31 world-view, c32 water or wind,
// c36-c39 world) and, for skinned meshes, the bone palette from c24 and the stream layout of
// skin_layout.h. Names are a prefix ("b" rigid; "s", "sb", "st", "stb" skinned), a component
// group for rigid ones ("_d", "_dt1", "_dst1", "_ndt1", "_ndst1") and variants ("_cover",
// "_sphere", "_stealth", "_water", "_wind", "_l1"-"_l4", "_s1"-"_s4", "_1w"-"_4w"; "s__base"
// is the plain, unlit base).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The program's assembler text; throws std::invalid_argument for a name outside that scheme.
std::string demo_shader_text(std::string_view name);
// The assembled tokens of demo_shader_text.
std::vector<std::uint32_t> demo_shader_program(std::string_view name);
