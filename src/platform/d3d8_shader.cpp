// Checks of vertex-shader declarations and vs.1.0/1.1 byte code, as CreateVertexShader makes them.
#include "platform/impl/d3d8_internal.h"

#include <algorithm>
#include <cstring>

namespace {

// Tokens a declaration may run to before it must have ended.
constexpr std::size_t k_max_declaration_tokens = 4096;
// Instruction slots of a vs.1.x program.
constexpr int k_max_instruction_slots = 128;
constexpr DWORD k_temp_registers = 12;
constexpr DWORD k_input_registers = 16;

DWORD element_bytes(DWORD type)
{
    static constexpr DWORD k_bytes[] = {4, 8, 12, 16, 4, 4, 4, 8}; // FLOAT1 .. SHORT4
    return k_bytes[type];
}

struct Opcode {
    DWORD code;
    int sources; // every instruction but NOP writes one destination
    int slots;
};

constexpr Opcode k_opcodes[] = {
    {D3DSIO_MOV, 1, 1},  {D3DSIO_ADD, 2, 1},  {D3DSIO_SUB, 2, 1},  {D3DSIO_MAD, 3, 1},  {D3DSIO_MUL, 2, 1},
    {D3DSIO_RCP, 1, 1},  {D3DSIO_RSQ, 1, 1},  {D3DSIO_DP3, 2, 1},  {D3DSIO_DP4, 2, 1},  {D3DSIO_MIN, 2, 1},
    {D3DSIO_MAX, 2, 1},  {D3DSIO_SLT, 2, 1},  {D3DSIO_SGE, 2, 1},  {D3DSIO_EXP, 1, 10}, {D3DSIO_LOG, 1, 10},
    {D3DSIO_LIT, 1, 3},  {D3DSIO_DST, 2, 1},  {D3DSIO_FRC, 1, 3},  {D3DSIO_M4x4, 2, 4}, {D3DSIO_M4x3, 2, 3},
    {D3DSIO_M3x4, 2, 4}, {D3DSIO_M3x3, 2, 3}, {D3DSIO_M3x2, 2, 2}, {D3DSIO_EXPP, 1, 1}, {D3DSIO_LOGP, 1, 1},
};

const Opcode* find_opcode(DWORD code)
{
    auto found = std::find_if(std::begin(k_opcodes), std::end(k_opcodes),
                              [code](const Opcode& op) { return op.code == code; });
    return found == std::end(k_opcodes) ? nullptr : found;
}

DWORD register_type(DWORD token)
{
    return (token & D3DSP_REGTYPE_MASK) >> D3DSP_REGTYPE_SHIFT;
}

DWORD register_number(DWORD token)
{
    return token & D3DSP_REGNUM_MASK;
}

bool valid_destination(DWORD token, bool version_11, DWORD opcode)
{
    if (!(token & 0x80000000) || (token & D3DVS_ADDRMODE_RELATIVE)) return false;
    if (!(token & D3DSP_WRITEMASK_ALL) || (token & 0x0FF00000))
        return false; // modifiers are for pixel shaders
    DWORD n = register_number(token);
    switch (register_type(token)) {
    case D3DSPR_TEMP:
        return n < k_temp_registers;
    case D3DSPR_ADDR:
        return version_11 && n == 0 && opcode == D3DSIO_MOV;
    case D3DSPR_RASTOUT:
        return n <= D3DSRO_POINT_SIZE;
    case D3DSPR_ATTROUT:
        return n < 2;
    case D3DSPR_TEXCRDOUT:
        return n < 8;
    default:
        return false;
    }
}

bool valid_source(DWORD token, bool version_11)
{
    if (!(token & 0x80000000)) return false;
    DWORD modifier = token & 0x0F000000;
    if (modifier != D3DSPSM_NONE && modifier != D3DSPSM_NEG) return false;
    bool relative = token & D3DVS_ADDRMODE_RELATIVE;
    DWORD n = register_number(token);
    switch (register_type(token)) {
    case D3DSPR_TEMP:
        return !relative && n < k_temp_registers;
    case D3DSPR_INPUT:
        return !relative && n < k_input_registers;
    case D3DSPR_CONST:
        return (!relative || version_11) && n < D3D_VS_CONSTANT_REGISTERS;
    default:
        return false;
    }
}

} // namespace

HRESULT d3d8_parse_declaration(const DWORD* declaration, D3DVertexShader& shader)
{
    bool in_stream = false;
    DWORD stream = 0, offset = 0;
    std::vector<DWORD> streams_seen;
    for (std::size_t i = 0; i < k_max_declaration_tokens; ++i) {
        DWORD token = declaration[i];
        if (token == D3DVSD_END()) {
            shader.declaration.assign(declaration, declaration + i + 1);
            return D3D_OK;
        }
        switch (token >> D3DVSD_TOKENTYPESHIFT) {
        case D3DVSD_TOKEN_NOP:
            if (token != 0) return D3DERR_INVALIDCALL;
            break;
        case D3DVSD_TOKEN_STREAM:
            stream = token & 0xF;
            if ((token & 0x1FFFFFF0) ||
                std::find(streams_seen.begin(), streams_seen.end(), stream) != streams_seen.end())
                return D3DERR_INVALIDCALL;
            streams_seen.push_back(stream);
            in_stream = true;
            offset = 0;
            break;
        case D3DVSD_TOKEN_STREAMDATA: {
            if (!in_stream) return D3DERR_INVALIDCALL;
            if (token & 0x10000000) { // skipped DWORDs
                if (token & 0x0FF0FFFF) return D3DERR_INVALIDCALL;
                offset += 4 * ((token >> D3DVSD_SKIPCOUNTSHIFT) & 0xF);
                break;
            }
            DWORD reg = token & 0x1F, type = (token >> D3DVSD_DATATYPESHIFT) & 0xF;
            if ((token & 0x0FF0FFE0) || reg >= k_input_registers || type > D3DVSDT_SHORT4)
                return D3DERR_INVALIDCALL;
            bool taken = std::any_of(shader.elements.begin(), shader.elements.end(),
                                     [reg](const D3DVertexElement& e) { return e.vertex_register == reg; });
            if (taken) return D3DERR_INVALIDCALL;
            shader.elements.push_back({stream, reg, type, offset});
            offset += element_bytes(type);
            break;
        }
        case D3DVSD_TOKEN_TESSELLATOR:
            // Tessellator outputs feed registers of their own; the engine draws no patches.
            break;
        case D3DVSD_TOKEN_CONSTMEM: {
            DWORD count = (token >> D3DVSD_CONSTCOUNTSHIFT) & 0xF, address = token & 0x7F;
            if (count == 0 || address + count > D3D_VS_CONSTANT_REGISTERS) return D3DERR_INVALIDCALL;
            for (DWORD c = 0; c < count; ++c) {
                std::array<float, 4> values;
                std::memcpy(values.data(), declaration + i + 1 + 4 * c, sizeof values);
                shader.declared_constants.emplace_back(address + c, values);
            }
            i += 4 * count;
            break;
        }
        case D3DVSD_TOKEN_EXT:
            i += (token >> D3DVSD_EXTCOUNTSHIFT) & 0x1F;
            break;
        default:
            return D3DERR_INVALIDCALL;
        }
    }
    return D3DERR_INVALIDCALL;
}

HRESULT d3d8_check_shader_function(const DWORD* function, std::size_t max_tokens, D3DVertexShader& shader)
{
    auto available = [&](std::size_t index) { return max_tokens == 0 || index < max_tokens; };
    if (!available(0)) return D3DERR_INVALIDCALL;
    DWORD version = function[0];
    if (version != D3DVS_VERSION(1, 0) && version != D3DVS_VERSION(1, 1)) return D3DERR_INVALIDCALL;
    bool version_11 = version == D3DVS_VERSION(1, 1);
    int slots = 0;
    std::size_t i = 1;
    while (available(i)) {
        DWORD token = function[i];
        if (token == D3DVS_END()) {
            shader.function.assign(function, function + i + 1);
            return D3D_OK;
        }
        DWORD opcode = token & D3DSI_OPCODE_MASK;
        if (opcode == D3DSIO_COMMENT) {
            if (token & 0x80000000) return D3DERR_INVALIDCALL;
            i += 1 + ((token & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT);
            continue;
        }
        if (token & 0xFFFF0000) return D3DERR_INVALIDCALL;
        if (opcode == D3DSIO_NOP) {
            ++i;
            continue;
        }
        const Opcode* op = find_opcode(opcode);
        if (!op || !available(i + 1 + op->sources)) return D3DERR_INVALIDCALL;
        if (!valid_destination(function[i + 1], version_11, opcode)) return D3DERR_INVALIDCALL;
        for (int s = 0; s < op->sources; ++s)
            if (!valid_source(function[i + 2 + s], version_11)) return D3DERR_INVALIDCALL;
        slots += op->slots;
        if (slots > k_max_instruction_slots) return D3DERR_INVALIDCALL;
        i += 2 + op->sources;
    }
    return D3DERR_INVALIDCALL;
}
