// Translation of vs.1.x byte code to GLSL: one statement per instruction, the registers as
// vec4 variables, relative constant addressing through a0.x.
#include "platform/impl/d3d8_gl_vs.h"

#include <set>

namespace {

constexpr DWORD k_outputs_read = 4; // texture coordinate sets the fragment programs read

DWORD register_type(DWORD token)
{
    return (token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT;
}

DWORD register_number(DWORD token)
{
    return token & D3DSP_REGNUM_MASK;
}

// A source register, `offset` rows on for the matrix instructions, swizzled and negated.
std::string source(DWORD token, DWORD offset = 0, bool swizzle = true)
{
    DWORD n = register_number(token) + offset;
    std::string name;
    switch (register_type(token)) {
    case D3DSPR_TEMP:
        name = "r" + std::to_string(n);
        break;
    case D3DSPR_INPUT:
        name = "v" + std::to_string(n);
        break;
    default: // constants; a relative index out of range reads zero, as the hardware does
        name = (token & D3DVS_ADDRMODE_RELATIVE) ? "constant(a0 + " + std::to_string(n) + ")"
                                                 : "c[" + std::to_string(n) + "]";
        break;
    }
    if (swizzle) {
        static constexpr char k_components[] = "xyzw";
        DWORD bits = (token >> D3DSP_SWIZZLE_SHIFT) & 0xFF;
        name += '.';
        for (int i = 0; i < 4; ++i)
            name += k_components[(bits >> (2 * i)) & 3];
    }
    if ((token & 0x0F000000) == D3DSPSM_NEG) name = "(-" + name + ")";
    return name;
}

std::string destination(DWORD token)
{
    DWORD n = register_number(token);
    switch (register_type(token)) {
    case D3DSPR_TEMP:
        return "r" + std::to_string(n);
    case D3DSPR_RASTOUT:
        return n == D3DSRO_POSITION ? "o_pos" : n == D3DSRO_FOG ? "o_fog" : "o_pts";
    case D3DSPR_ATTROUT:
        return "o_d" + std::to_string(n);
    case D3DSPR_TEXCRDOUT:
        return "o_t" + std::to_string(n);
    default:
        return "a0_value";
    }
}

std::string mask(DWORD token)
{
    std::string out = ".";
    static constexpr char k_components[] = "xyzw";
    for (int i = 0; i < 4; ++i)
        if (token & (1u << (16 + i))) out += k_components[i];
    return out;
}

// The instruction's result as a vec4.
std::string result(DWORD opcode, const DWORD* src)
{
    auto s = [&](int i) { return source(src[i]); };
    auto rows = [&](int count, bool three) {
        std::string out = "vec4(";
        for (int row = 0; row < 4; ++row) {
            if (row > 0) out += ", ";
            if (row >= count) {
                out += "0.0";
                continue;
            }
            std::string vector = source(src[0]);
            std::string matrix = source(src[1], DWORD(row), false);
            out += three ? "dot((" + vector + ").xyz, " + matrix + ".xyz)"
                         : "dot(" + vector + ", " + matrix + ")";
        }
        return out + ")";
    };
    std::string scalar = "(" + s(0) + ").w";
    switch (opcode) {
    case D3DSIO_MOV:
        return s(0);
    case D3DSIO_ADD:
        return s(0) + " + " + s(1);
    case D3DSIO_SUB:
        return s(0) + " - " + s(1);
    case D3DSIO_MAD:
        return s(0) + " * " + s(1) + " + " + s(2);
    case D3DSIO_MUL:
        return s(0) + " * " + s(1);
    case D3DSIO_RCP:
        return "vec4(1.0 / " + scalar + ")";
    case D3DSIO_RSQ:
        return "vec4(inversesqrt(abs(" + scalar + ")))";
    case D3DSIO_DP3:
        return "vec4(dot((" + s(0) + ").xyz, (" + s(1) + ").xyz))";
    case D3DSIO_DP4:
        return "vec4(dot(" + s(0) + ", " + s(1) + "))";
    case D3DSIO_MIN:
        return "min(" + s(0) + ", " + s(1) + ")";
    case D3DSIO_MAX:
        return "max(" + s(0) + ", " + s(1) + ")";
    case D3DSIO_SLT:
        return "vec4(lessThan(" + s(0) + ", " + s(1) + "))";
    case D3DSIO_SGE:
        return "vec4(greaterThanEqual(" + s(0) + ", " + s(1) + "))";
    case D3DSIO_EXP:
        return "vec4(exp2(" + scalar + "))";
    case D3DSIO_LOG:
        return "vec4(log2(abs(" + scalar + ")))";
    case D3DSIO_EXPP:
        return "expp(" + scalar + ")";
    case D3DSIO_LOGP:
        return "logp(" + scalar + ")";
    case D3DSIO_LIT:
        return "lit(" + s(0) + ")";
    case D3DSIO_DST:
        return "vec4(1.0, (" + s(0) + ").y * (" + s(1) + ").y, (" + s(0) + ").z, (" + s(1) + ").w)";
    case D3DSIO_FRC:
        return "fract(" + s(0) + ")";
    case D3DSIO_M4x4:
        return rows(4, false);
    case D3DSIO_M4x3:
        return rows(3, false);
    case D3DSIO_M3x4:
        return rows(4, true);
    case D3DSIO_M3x3:
        return rows(3, true);
    default: // M3x2
        return rows(2, true);
    }
}

int source_count(DWORD opcode)
{
    switch (opcode) {
    case D3DSIO_MOV:
    case D3DSIO_RCP:
    case D3DSIO_RSQ:
    case D3DSIO_EXP:
    case D3DSIO_LOG:
    case D3DSIO_LIT:
    case D3DSIO_FRC:
    case D3DSIO_EXPP:
    case D3DSIO_LOGP:
        return 1;
    case D3DSIO_MAD:
        return 3;
    default:
        return 2;
    }
}

std::string body(const std::vector<DWORD>& function)
{
    std::string code;
    for (std::size_t i = 1; i < function.size() && function[i] != D3DVS_END();) {
        DWORD opcode = function[i] & D3DSI_OPCODE_MASK;
        if (opcode == D3DSIO_COMMENT) {
            i += 1 + ((function[i] & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT);
            continue;
        }
        if (opcode == D3DSIO_NOP) {
            ++i;
            continue;
        }
        DWORD dst = function[i + 1];
        const DWORD* src = &function[i + 2];
        if (register_type(dst) == D3DSPR_ADDR) // vs.1.1 loads the address register rounding down
            code += "    a0 = int(floor((" + source(src[0]) + ").x));\n";
        else
            code += "    " + destination(dst) + mask(dst) + " = (" + result(opcode, src) + ")" + mask(dst) +
                    ";\n";
        i += 2 + std::size_t(source_count(opcode));
    }
    return code;
}

} // namespace

std::string d3d8_gl_translate_vertex_shader(const D3DVertexShader& shader)
{
    std::set<DWORD> declared;
    for (const D3DVertexElement& element : shader.elements)
        declared.insert(element.vertex_register);
    std::string s = "#version 330\n";
    for (DWORD n = 0; n < 16; ++n)
        s += declared.count(n)
                 ? "layout(location = " + std::to_string(n) + ") in vec4 v" + std::to_string(n) + ";\n"
                 : "const vec4 v" + std::to_string(n) + " = vec4(0.0, 0.0, 0.0, 1.0);\n";
    s += "uniform vec4 c[" + std::to_string(D3D_VS_CONSTANT_REGISTERS) + "];\nuniform vec4 u_half_pixel;\n";
    s += "out vec4 v_diffuse;\nout vec4 v_specular;\nout float v_fog;\n";
    for (DWORD t = 0; t < k_outputs_read; ++t)
        s += "out vec4 v_tex" + std::to_string(t) + ";\n";
    s += "vec4 constant(int index)\n{\n    return index >= 0 && index < " +
         std::to_string(D3D_VS_CONSTANT_REGISTERS) + " ? c[index] : vec4(0.0);\n}\n";
    s +=
        "vec4 expp(float x)\n{\n    float f = floor(x);\n    return vec4(exp2(f), x - f, exp2(x), 1.0);\n}\n";
    s += "vec4 logp(float x)\n{\n    float a = abs(x);\n    float e = floor(log2(a));\n"
         "    return vec4(e, a / exp2(e), log2(a), 1.0);\n}\n";
    s += "vec4 lit(vec4 s)\n{\n    float power = clamp(s.w, -128.0, 128.0);\n"
         "    float specular = s.x > 0.0 && s.y > 0.0 ? pow(s.y, power) : 0.0;\n"
         "    return vec4(1.0, max(s.x, 0.0), s.x > 0.0 ? specular : 0.0, 1.0);\n}\n";
    s += "void main()\n{\n";
    for (int r = 0; r < 12; ++r)
        s += "    vec4 r" + std::to_string(r) + " = vec4(0.0);\n";
    s += "    int a0 = 0;\n    vec4 a0_value = vec4(0.0);\n";
    s += "    vec4 o_pos = vec4(0.0, 0.0, 0.0, 1.0);\n    vec4 o_fog = vec4(1.0);\n    vec4 o_pts = "
         "vec4(1.0);\n";
    s += "    vec4 o_d0 = vec4(1.0);\n    vec4 o_d1 = vec4(0.0);\n";
    for (int t = 0; t < 8; ++t)
        s += "    vec4 o_t" + std::to_string(t) + " = vec4(0.0, 0.0, 0.0, 1.0);\n";
    if (shader.function.empty()) {
        // Fixed-function processing of declared registers: position, colours, coordinates.
        s += "    o_pos = vec4(v0.xyz, 1.0);\n";
        if (declared.count(5)) s += "    o_d0 = v5;\n";
        if (declared.count(6)) s += "    o_d1 = v6;\n";
        for (DWORD t = 0; t < k_outputs_read; ++t)
            if (declared.count(7 + t))
                s += "    o_t" + std::to_string(t) + " = v" + std::to_string(7 + t) + ";\n";
    }
    s += body(shader.function);
    s += "    v_diffuse = clamp(o_d0, 0.0, 1.0);\n    v_specular = clamp(o_d1, 0.0, 1.0);\n";
    s += "    v_fog = clamp(o_fog.x, 0.0, 1.0);\n";
    for (DWORD t = 0; t < k_outputs_read; ++t)
        s += "    v_tex" + std::to_string(t) + " = o_t" + std::to_string(t) + ";\n";
    // Direct3D's pixel centres and row order, as for the fixed-function programs.
    s += "    gl_Position = vec4(o_pos.x + u_half_pixel.x * o_pos.w, -o_pos.y + u_half_pixel.y * o_pos.w, "
         "o_pos.z, "
         "o_pos.w);\n";
    s += "}\n";
    return s;
}
