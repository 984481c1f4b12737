// The fixed-function pipeline of the Direct3D 8 backend: texture-stage blending, specular,
// alpha test and pre-transformed vertices, written out as GLSL for one state key.
#include "platform/impl/d3d8_gl_pipeline.h"

#include <algorithm>
#include <string>

namespace {

DWORD texcoord_sets(DWORD fvf)
{
    return (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
}

// Coordinate sets the fragment program reads: a vertex shader may write any of them.
DWORD fragment_sets(const D3D8GlProgramKey& key)
{
    return key.programmable ? D3D8_GL_TEXCOORD_SETS
                            : std::min<DWORD>(texcoord_sets(key.shader_or_fvf), D3D8_GL_TEXCOORD_SETS);
}

DWORD texcoord_floats(DWORD fvf, DWORD set)
{
    static constexpr DWORD k_floats[4] = {2, 3, 4, 1};
    return k_floats[(fvf >> (16 + 2 * set)) & 3];
}

std::string number(DWORD value)
{
    return std::to_string(value);
}

// One argument as a vec4: its source, complemented and alpha-replicated as asked.
std::string argument(DWORD arg, DWORD stage)
{
    std::string source;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE:
        source = "diffuse";
        break;
    case D3DTA_TEXTURE:
        source = "tex" + number(stage);
        break;
    case D3DTA_TFACTOR:
        source = "u_tfactor";
        break;
    case D3DTA_SPECULAR:
        source = "specular";
        break;
    case D3DTA_TEMP:
        source = "temp";
        break;
    default:
        source = "current";
        break;
    }
    if (arg & D3DTA_COMPLEMENT) source = "(vec4(1.0) - " + source + ")";
    if (arg & D3DTA_ALPHAREPLICATE) source = source + ".aaaa";
    return source;
}

// The operation over vec4 arguments; the caller keeps the colour or the alpha of the result.
std::string operation(DWORD op, const std::string& a1, const std::string& a2, const std::string& a0,
                      DWORD stage)
{
    std::string tex = "tex" + number(stage);
    switch (op) {
    case D3DTOP_SELECTARG1:
        return a1;
    case D3DTOP_SELECTARG2:
        return a2;
    case D3DTOP_MODULATE:
        return a1 + " * " + a2;
    case D3DTOP_MODULATE2X:
        return a1 + " * " + a2 + " * 2.0";
    case D3DTOP_MODULATE4X:
        return a1 + " * " + a2 + " * 4.0";
    case D3DTOP_ADD:
        return a1 + " + " + a2;
    case D3DTOP_ADDSIGNED:
        return a1 + " + " + a2 + " - vec4(0.5)";
    case D3DTOP_ADDSIGNED2X:
        return "(" + a1 + " + " + a2 + " - vec4(0.5)) * 2.0";
    case D3DTOP_SUBTRACT:
        return a1 + " - " + a2;
    case D3DTOP_ADDSMOOTH:
        return a1 + " + " + a2 + " - " + a1 + " * " + a2;
    case D3DTOP_BLENDDIFFUSEALPHA:
        return "mix(" + a2 + ", " + a1 + ", diffuse.a)";
    case D3DTOP_BLENDTEXTUREALPHA:
        return "mix(" + a2 + ", " + a1 + ", " + tex + ".a)";
    case D3DTOP_BLENDFACTORALPHA:
        return "mix(" + a2 + ", " + a1 + ", u_tfactor.a)";
    case D3DTOP_BLENDCURRENTALPHA:
        return "mix(" + a2 + ", " + a1 + ", current.a)";
    case D3DTOP_BLENDTEXTUREALPHAPM:
        return a1 + " + " + a2 + " * (1.0 - " + tex + ".a)";
    case D3DTOP_MODULATEALPHA_ADDCOLOR:
        return a1 + " + " + a1 + ".a * " + a2;
    case D3DTOP_MODULATECOLOR_ADDALPHA:
        return a1 + " * " + a2 + " + " + a1 + ".aaaa";
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR:
        return "(1.0 - " + a1 + ".a) * " + a2 + " + " + a1;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA:
        return "(vec4(1.0) - " + a1 + ") * " + a2 + " + " + a1 + ".aaaa";
    case D3DTOP_DOTPRODUCT3:
        return "vec4(4.0 * dot(" + a1 + ".rgb - vec3(0.5), " + a2 + ".rgb - vec3(0.5)))";
    case D3DTOP_MULTIPLYADD:
        return a0 + " + " + a1 + " * " + a2;
    case D3DTOP_LERP:
        return "mix(" + a2 + ", " + a1 + ", " + a0 + ")";
    default: // PREMODULATE and the bump operations pass their first argument on
        return a1;
    }
}

std::string comparison(DWORD func)
{
    switch (func) {
    case D3DCMP_NEVER:
        return "false";
    case D3DCMP_LESS:
        return "a < r";
    case D3DCMP_EQUAL:
        return "a == r";
    case D3DCMP_LESSEQUAL:
        return "a <= r";
    case D3DCMP_GREATER:
        return "a > r";
    case D3DCMP_NOTEQUAL:
        return "a != r";
    case D3DCMP_GREATEREQUAL:
        return "a >= r";
    default:
        return "true";
    }
}

bool is_bump(DWORD op)
{
    return op == D3DTOP_BUMPENVMAP || op == D3DTOP_BUMPENVMAPLUMINANCE;
}

std::string stage_code(const D3D8GlProgramKey& key, DWORD index)
{
    const D3D8GlStageKey& stage = key.stages[index];
    std::string n = number(index);
    std::string code;
    DWORD sets = fragment_sets(key);
    std::string coord =
        stage.coord_index < sets ? "v_tex" + number(stage.coord_index) : "vec4(0.0, 0.0, 0.0, 1.0)";
    code += "    vec4 tex" + n + " = " +
            (stage.textured ? "texture(u_tex" + n + ", " + coord + ".xy + bump)" : std::string("vec4(1.0)")) +
            ";\n";
    if (is_bump(stage.color_op)) {
        code += "    bump = vec2(dot(u_bump[" + n + "].xz, tex" + n + ".rg), dot(u_bump[" + n + "].yw, tex" +
                n + ".rg));\n";
        return code;
    }
    code += "    bump = vec2(0.0);\n";
    std::string c1 = argument(stage.color_args[0], index), c2 = argument(stage.color_args[1], index),
                c0 = argument(stage.color_args[2], index);
    std::string color = operation(stage.color_op, c1, c2, c0, index);
    std::string alpha;
    if (stage.color_op == D3DTOP_DOTPRODUCT3)
        alpha = "(" + color + ").a";
    else if (stage.alpha_op == D3DTOP_DISABLE)
        alpha = "current.a";
    else
        alpha = "(" +
                operation(stage.alpha_op, argument(stage.alpha_args[0], index),
                          argument(stage.alpha_args[1], index), argument(stage.alpha_args[2], index), index) +
                ").a";
    std::string target = stage.result == D3DTA_TEMP ? "temp" : "current";
    code += "    " + target + " = clamp(vec4((" + color + ").rgb, " + alpha + "), 0.0, 1.0);\n";
    return code;
}

} // namespace

D3D8GlProgramKey d3d8_gl_program_key(const D3DDeviceState& state)
{
    D3D8GlProgramKey key;
    key.shader_or_fvf = state.vertex_shader;
    key.programmable = state.vertex_shader & 1;
    key.alpha_func = state.render[D3DRS_ALPHATESTENABLE] ? state.render[D3DRS_ALPHAFUNC] : D3DCMP_ALWAYS;
    key.specular = state.render[D3DRS_SPECULARENABLE] != 0;
    key.fog = state.render[D3DRS_FOGENABLE] && state.render[D3DRS_FOGTABLEMODE] == D3DFOG_NONE;
    for (DWORD i = 0; i < D3D8_GL_STAGES; ++i) {
        const DWORD* ts = state.stage[i];
        if (ts[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
        D3D8GlStageKey& stage = key.stages[i];
        stage.color_op = ts[D3DTSS_COLOROP];
        stage.color_args[0] = ts[D3DTSS_COLORARG1];
        stage.color_args[1] = ts[D3DTSS_COLORARG2];
        stage.color_args[2] = ts[D3DTSS_COLORARG0];
        stage.alpha_op = ts[D3DTSS_ALPHAOP];
        stage.alpha_args[0] = ts[D3DTSS_ALPHAARG1];
        stage.alpha_args[1] = ts[D3DTSS_ALPHAARG2];
        stage.alpha_args[2] = ts[D3DTSS_ALPHAARG0];
        stage.coord_index = ts[D3DTSS_TEXCOORDINDEX] & 0xFFFF;
        stage.result = ts[D3DTSS_RESULTARG];
        stage.textured = state.textures[i] != nullptr;
        key.stage_count = i + 1;
    }
    return key;
}

std::string d3d8_gl_vertex_source(const D3D8GlProgramKey& key)
{
    const DWORD fvf = key.shader_or_fvf; // this program serves fixed-function draws only
    DWORD sets = std::min<DWORD>(texcoord_sets(fvf), D3D8_GL_TEXCOORD_SETS);
    bool pretransformed = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
    std::string s = "#version 330\n";
    s += "layout(location = 0) in vec4 a_position;\n";
    s += "layout(location = 2) in vec4 a_diffuse;\n";
    s += "layout(location = 3) in vec4 a_specular;\n";
    for (DWORD set = 0; set < sets; ++set)
        s += "layout(location = " + number(D3D8_GL_ATTRIB_TEXCOORD + set) + ") in vec4 a_tex" + number(set) +
             ";\nout vec4 v_tex" + number(set) + ";\n";
    s += "uniform vec4 u_viewport;\nuniform vec4 u_half_pixel;\n";
    s += "out vec4 v_diffuse;\nout vec4 v_specular;\nout float v_fog;\n";
    s += "void main()\n{\n";
    if (pretransformed) {
        // Screen pixels back to clip space, with w from the reciprocal for perspective-correct
        // interpolation.
        s += "    float w = a_position.w != 0.0 ? 1.0 / a_position.w : 1.0;\n";
        s += "    vec4 p = vec4(((a_position.x - u_viewport.x) * u_viewport.z - 1.0) * w,\n"
             "                  (1.0 - (a_position.y - u_viewport.y) * u_viewport.w) * w, a_position.z * w, "
             "w);\n";
    } else {
        s += "    vec4 p = vec4(a_position.xyz, 1.0);\n";
    }
    s += std::string("    v_diffuse = ") + ((fvf & D3DFVF_DIFFUSE) ? "a_diffuse" : "vec4(1.0)") + ";\n";
    s += std::string("    v_specular = ") + ((fvf & D3DFVF_SPECULAR) ? "a_specular" : "vec4(0.0)") + ";\n";
    bool fog_in_specular = pretransformed && (fvf & D3DFVF_SPECULAR);
    s += std::string("    v_fog = ") + (fog_in_specular ? "a_specular.a" : "1.0") + ";\n";
    for (DWORD set = 0; set < sets; ++set) {
        DWORD floats = texcoord_floats(fvf, set);
        std::string v = "a_tex" + number(set);
        s += "    v_tex" + number(set) + " = " + (floats == 1 ? "vec4(" + v + ".x, 0.0, 0.0, 1.0)" : v) +
             ";\n";
    }
    // Pixel centres lie on integer coordinates and rows run down the target: shift by half a
    // pixel and mirror y (the target's first row is OpenGL's row 0).
    s += "    gl_Position = vec4(p.x + u_half_pixel.x * p.w, -p.y + u_half_pixel.y * p.w, p.z, p.w);\n";
    s += "}\n";
    return s;
}

std::string d3d8_gl_fragment_source(const D3D8GlProgramKey& key)
{
    DWORD sets = fragment_sets(key);
    std::string s = "#version 330\n";
    for (DWORD set = 0; set < sets; ++set)
        s += "in vec4 v_tex" + number(set) + ";\n";
    s += "in vec4 v_diffuse;\nin vec4 v_specular;\nin float v_fog;\nuniform vec4 u_fog_color;\n";
    for (DWORD i = 0; i < key.stage_count; ++i)
        if (key.stages[i].textured) s += "uniform sampler2D u_tex" + number(i) + ";\n";
    s += "uniform vec4 u_tfactor;\nuniform float u_alpha_ref;\nuniform vec4 u_bump[" +
         number(D3D8_GL_STAGES) + "];\n";
    s += "out vec4 o_color;\n";
    s += "void main()\n{\n";
    s += "    vec4 diffuse = v_diffuse;\n    vec4 specular = v_specular;\n";
    s += "    vec4 current = diffuse;\n    vec4 temp = vec4(0.0);\n    vec2 bump = vec2(0.0);\n";
    for (DWORD i = 0; i < key.stage_count; ++i)
        s += stage_code(key, i);
    if (key.specular) s += "    current.rgb = clamp(current.rgb + specular.rgb, 0.0, 1.0);\n";
    if (key.fog) s += "    current.rgb = mix(u_fog_color.rgb, current.rgb, clamp(v_fog, 0.0, 1.0));\n";
    if (key.alpha_func != D3DCMP_ALWAYS) {
        // The test compares 8-bit values, as the hardware does.
        s += "    float a = floor(current.a * 255.0 + 0.5);\n    float r = u_alpha_ref;\n";
        s += "    if (!(" + comparison(key.alpha_func) + ")) discard;\n";
    }
    s += "    o_color = current;\n}\n";
    return s;
}
