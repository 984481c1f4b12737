// vs.1.0/1.1 byte code of the Direct3D 8 stand-in translated to a GLSL vertex shader.
#pragma once

#include "platform/impl/d3d8_state.h"

#include <string>

// The GLSL of a created shader (its byte code already checked by CreateVertexShader): input
// register N at attribute location N, the constants in uniform `c`, and the outputs the
// fixed-function fragment programs read (v_diffuse, v_specular, v_tex0..3). Shaders without
// byte code pass their inputs through as the fixed-function position, colours and coordinates.
std::string d3d8_gl_translate_vertex_shader(const D3DVertexShader& shader);
