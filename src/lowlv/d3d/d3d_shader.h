// The game's 221 vertex shaders, shipped as compiled objects in the archive: loaded with their
// vertex declarations after every device creation and reset, released before a reset and at
// shutdown. Also the constant registers the program fills for them, and the shader choice for
// quads and triangle batches. Rows are addressed by slot = row + 1; slot 0 is never used.
// The renderer_ constant and shader-choice calls live here, with the shader table they index.
#pragma once

#include <string>
#include <vector>

#include "platform/d3d8.h"
#include "platform/d3dx8.h"

#include <cstdint>

constexpr int SHADER_COUNT = 221;
constexpr int SHADER_SLOT_B_NDT1 = 2;         // models with FVF 0x152
constexpr int SHADER_SLOT_B_DST1 = 3;         // quads, and models with FVF 0x1C2
constexpr int SHADER_SLOT_B_DST1_COVER = 4;   // + the active point-light count
constexpr int SHADER_SLOT_B_DST1_LIT = 8;     // + the active point-light count (1-4)
constexpr int SHADER_SLOT_B_DST1_SHADOW = 12; // + the active point-light count (1-4)
constexpr int SHADER_SLOT_B_DT1 = 17;         // + the active point-light count
constexpr int SHADER_SLOT_B_DT1_SHADOW = 21;  // + the active point-light count (1-4)
constexpr int SHADER_SLOT_S_BASE = 101;       // + the blend-weight count (1-4)
constexpr int SHADER_SLOT_ST_BASE = 161;      // + the blend-weight count (1-4)

// The constant registers: the contract between the program and the shader objects.
constexpr DWORD VSC_COMMON = 0;        // (0, 0.5, 1, 2)
constexpr DWORD VSC_FOG = 1;           // fog scale, fog offset, 0.004, 765.01
constexpr DWORD VSC_MODEL = 2;         // per model
constexpr DWORD VSC_COVER = 3;         // scroll offsets, cover mode, fourth value
constexpr DWORD VSC_PROJECTION = 4;    // 4 registers, transposed
constexpr DWORD VSC_LIGHT_PARAMS = 8;  // 2 registers: a lane per active point light
constexpr DWORD VSC_POINT_LIGHTS = 10; // 2 per active light: view-space position, colour
constexpr DWORD VSC_AMBIENT = 18;
constexpr DWORD VSC_LIGHT_DIRECTION = 19; // object space
constexpr DWORD VSC_LIGHT_COLORS = 20;    // 2 registers
constexpr DWORD VSC_UP = 22;              // object space
constexpr DWORD VSC_GLOW = 23;
constexpr DWORD VSC_WORLD_VIEW_PROJ = 24; // 4 registers, transposed
constexpr DWORD VSC_WORLD_VIEW = 28;      // 4 registers, transposed
constexpr DWORD VSC_WORLD = 36;           // 4 registers, transposed; cover mode only
constexpr DWORD VSC_REGISTER_COUNT = 96;

// The source of a missing shader file in the fatal error.
constexpr unsigned SHADER_LINE_MISSING = 774;
constexpr unsigned SHADER_LINE_REJECTED = 789;

extern int g_active_point_lights;      // packed by the last frame constants, 0-4
extern std::uint32_t g_ambient_packed; // the ambient as 0x00RRGGBB, for fixed-function drawing

const char* shader_name(int slot);
// The distinct names of the shader files the table loads, in table order.
std::vector<std::string> shader_file_names();
const DWORD* shader_declaration(int slot); // D3DVSD tokens ending with D3DVSD_END
DWORD shader_handle(int slot);             // 0 while not loaded

// Creates every row's shader from "data\vs_dx8\<name>.vso", then zeroes all constant
// registers. A missing or rejected file throws RuntimeError naming its path.
void shader_load_all();
// Deletes every created shader and frees the loaded code.
void shader_release_all();

// Per frame: c0, c1, the projection, the light colours, the ambient and the point lights.
void renderer_set_frame_constants();
// Per world matrix: world-view-projection, world-view, and the world itself in cover mode.
void renderer_set_world_constants(const D3DXMATRIX& world);
// The light direction and the up vector in the world matrix's object space.
void renderer_set_light_constants(const D3DXMATRIX& world);
// The light direction alone, for the identity world.
void renderer_set_light_constants_identity();
// The glow colour of an intensity; 0 clears it.
void renderer_set_vs_constant23(float intensity);

// Sets the quad shader for the lighting mode and returns the material word to apply, which
// cover mode changes to put the cover texture on stage 1.
std::uint32_t renderer_select_vertex_shader(std::uint32_t word);
// Sets the triangle-batch shader: lit by the active point lights, or plain (batch 9).
void renderer_select_batch_shader(bool lit);
