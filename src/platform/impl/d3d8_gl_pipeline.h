// The fixed-function pipeline of the Direct3D 8 backend as generated GLSL: the device states a
// program depends on, reduced to a compact key, and the programs' sources.
#pragma once

#include "platform/impl/d3d8_state.h"

#include <compare>
#include <string>

constexpr DWORD D3D8_GL_STAGES = 4; // stages the engine enables; a fifth is always disabled
constexpr DWORD D3D8_GL_TEXCOORD_SETS = 4;

// Vertex attribute locations of the fixed-function layouts.
constexpr unsigned D3D8_GL_ATTRIB_POSITION = 0;
constexpr unsigned D3D8_GL_ATTRIB_NORMAL = 1;
constexpr unsigned D3D8_GL_ATTRIB_DIFFUSE = 2;
constexpr unsigned D3D8_GL_ATTRIB_SPECULAR = 3;
constexpr unsigned D3D8_GL_ATTRIB_TEXCOORD = 4; // one location per set from here

struct D3D8GlStageKey {
    DWORD color_op = 0;
    DWORD color_args[3]{}; // arg1, arg2, arg0
    DWORD alpha_op = 0;
    DWORD alpha_args[3]{};
    DWORD coord_index = 0;
    DWORD result = 0;
    bool textured = false;
    auto operator<=>(const D3D8GlStageKey&) const = default;
};

struct D3D8GlProgramKey {
    DWORD shader_or_fvf = 0; // the vertex shader's handle (bit 0 set) or the flexible vertex format
    bool programmable = false;
    DWORD alpha_func = 0; // D3DCMP_ALWAYS when the alpha test is off
    bool specular = false;
    bool fog =
        false; // vertex fog: the vertex shader's fog output, or a pre-transformed vertex's specular alpha
    DWORD stage_count = 0; // stages before the first disabled one
    D3D8GlStageKey stages[D3D8_GL_STAGES];
    auto operator<=>(const D3D8GlProgramKey&) const = default;
};

// What a draw with a flexible vertex format needs of the states.
D3D8GlProgramKey d3d8_gl_program_key(const D3DDeviceState& state);

// Uniforms: u_viewport (x, y, 2/width, 2/height), u_half_pixel (1/width, 1/height, -, -),
// u_tfactor, u_alpha_ref (0..255), u_bump[stage] (the bump matrix 00, 01, 10, 11),
// u_fog_color, u_tex0.. (texture units by stage). Vertex programs write v_fog (1 = no fog).
std::string d3d8_gl_vertex_source(const D3D8GlProgramKey& key);
std::string d3d8_gl_fragment_source(const D3D8GlProgramKey& key);
