#include "lowlv/d3d/d3d_state.h"

#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/d3d/renderer_frame.h"

#include <algorithm>
#include <cstring>
#include <iterator>

static_assert(RS_CACHE_SIZE == D3D_RENDER_STATE_COUNT && TSS_CACHE_SIZE == D3D_STAGE_STATE_COUNT);

std::uint32_t g_current_material = MATERIAL_INVALID;

const VertexBufferLayout g_renderer_vb_layouts[RVB_COUNT] = {
    {D3DFVF_XYZ | D3DFVF_DIFFUSE, 16, 512},
    {D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1, 24, 8192},
    {D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1, 28, 512},
    {D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1, 40, 512},
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR, 24, 32},
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1, 28, 512},
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1, 32, 128},
    {D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX2, 40, 128},
};
const UINT g_renderer_ib_capacities[RIB_COUNT] = {2048, 2048, 3072, 24};
DynamicBuffer g_renderer_vbs[RVB_COUNT] = {};
DynamicBuffer g_renderer_ibs[RIB_COUNT] = {};

namespace {

DWORD g_rs_cache[RS_CACHE_SIZE];
DWORD g_tss_cache[TSS_CACHE_STAGES][TSS_CACHE_SIZE];
IDirect3DBaseTexture8* g_texture_cache[TSS_CACHE_STAGES] = {};
DWORD g_vs_cache = VS_CACHE_INVALID;
IDirect3DVertexBuffer8* g_stream0_buffer = nullptr;
UINT g_stream0_stride = VS_CACHE_INVALID;

constexpr D3DTEXTUREOP OPERATIONS[16] = {
    D3DTOP_MODULATE,          D3DTOP_SELECTARG1,        D3DTOP_SELECTARG2,
    D3DTOP_MODULATE2X,        D3DTOP_MODULATE4X,        D3DTOP_ADD,
    D3DTOP_ADDSIGNED,         D3DTOP_ADDSIGNED2X,       D3DTOP_ADDSMOOTH,
    D3DTOP_SUBTRACT,          D3DTOP_BLENDDIFFUSEALPHA, D3DTOP_BLENDFACTORALPHA,
    D3DTOP_BLENDTEXTUREALPHA, D3DTOP_BLENDCURRENTALPHA, D3DTOP_BUMPENVMAP,
    D3DTOP_DOTPRODUCT3,
};

struct FilterRow {
    D3DTEXTUREFILTERTYPE min, mag, mip;
};
constexpr FilterRow FILTERS[3] = {
    {D3DTEXF_POINT, D3DTEXF_POINT, D3DTEXF_POINT},
    {D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_POINT},
    {D3DTEXF_LINEAR, D3DTEXF_LINEAR, D3DTEXF_LINEAR},
};

// Stage values in the combine table that the word decides, and fields a mode leaves alone.
constexpr DWORD OP1 = 0x10000;
constexpr DWORD OP2 = 0x10001;
constexpr DWORD ARG_C = 0x10002; // colour argument 2: TFACTOR with bit 13, else DIFFUSE
constexpr DWORD ARG_A = 0x10003; // alpha argument 2: TFACTOR with bit 12, else DIFFUSE
constexpr DWORD KEEP = 0xFFFFFFFF;

constexpr D3DTEXTURESTAGESTATETYPE COMBINE_STATES[6] = {D3DTSS_COLOROP, D3DTSS_COLORARG1, D3DTSS_COLORARG2,
                                                        D3DTSS_ALPHAOP, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2};

struct StageCombine {
    DWORD values[6]; // in COMBINE_STATES order
};

struct CombineMode {
    StageCombine stages[4];
    DWORD stage_count;
    DWORD addressed_stages;  // stages addressed from bits 16-17
    bool stage1_own_address; // stage 1 from bits 18-19
    bool disable_stage4;     // a fifth stage that has no cache entry
    bool multisample;        // the mode allows multisampling
};

constexpr StageCombine DISABLED = {{D3DTOP_DISABLE, KEEP, KEEP, KEEP, KEEP, KEEP}};
constexpr StageCombine TEXTURED = {{OP1, D3DTA_TEXTURE, ARG_C, D3DTOP_MODULATE, D3DTA_TEXTURE, ARG_A}};
constexpr StageCombine DOT3 = {
    {D3DTOP_DOTPRODUCT3, D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE}};
constexpr StageCombine DOT3_LAYER = {
    {OP1, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_SELECTARG1, D3DTA_TEXTURE, D3DTA_CURRENT}};
constexpr StageCombine SECOND_LAYER = {
    {OP2, D3DTA_TEXTURE, D3DTA_CURRENT, D3DTOP_MODULATE, D3DTA_TEXTURE, D3DTA_CURRENT}};
constexpr StageCombine TINT = {
    {D3DTOP_MODULATE, D3DTA_TFACTOR, D3DTA_CURRENT, D3DTOP_MODULATE, D3DTA_TFACTOR, D3DTA_CURRENT}};

constexpr CombineMode COMBINE_MODES[8] = {
    {{DISABLED}, 1, 1, false, false, false},
    {{TEXTURED, DISABLED}, 2, 1, false, false, true},
    {{TEXTURED, SECOND_LAYER, DISABLED}, 3, 1, true, false, true},
    {{{{OP1, D3DTA_TEXTURE, ARG_C, D3DTOP_MODULATE, D3DTA_DIFFUSE, D3DTA_TFACTOR}}, DISABLED},
     2,
     1,
     false,
     false,
     true},
    {{DOT3, DOT3_LAYER, TINT, DISABLED}, 4, 3, false, false, true},
    {{DOT3, DOT3_LAYER, SECOND_LAYER, TINT}, 4, 4, false, true, true},
    {{{{D3DTOP_SELECTARG2, D3DTA_TEXTURE, ARG_C, D3DTOP_MODULATE, D3DTA_TEXTURE, ARG_A}}, DISABLED},
     2,
     1,
     false,
     false,
     false},
    {{{{OP1, D3DTA_TEXTURE | D3DTA_ALPHAREPLICATE, ARG_C, D3DTOP_MODULATE, D3DTA_TEXTURE, ARG_A}}, DISABLED},
     2,
     1,
     false,
     false,
     true},
};

constexpr DWORD ALPHA_REFS[4] = {8, 96, 160, 248};

struct RenderStateDefault {
    D3DRENDERSTATETYPE state;
    DWORD value;
};
constexpr RenderStateDefault RENDER_STATE_DEFAULTS[] = {
    {D3DRS_ALPHABLENDENABLE, FALSE},
    {D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL},
    {D3DRS_ALPHAREF, 8},
    {D3DRS_ALPHATESTENABLE, FALSE},
    {D3DRS_COLORWRITEENABLE, 0xF},
    {D3DRS_SHADEMODE, D3DSHADE_GOURAUD},
    {D3DRS_TEXTUREFACTOR, 0xFFFFFFFF},
    {D3DRS_ZENABLE, D3DZB_FALSE},
    {D3DRS_ZFUNC, D3DCMP_LESSEQUAL},
    {D3DRS_ZWRITEENABLE, FALSE},
    {D3DRS_STENCILREF, 1},
    {D3DRS_STENCILENABLE, FALSE},
    {D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP},
    {D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP},
    {D3DRS_STENCILMASK, 0xFFFFFFFF},
    {D3DRS_STENCILWRITEMASK, 0xFFFFFFFF},
    {D3DRS_AMBIENT, 0},
    {D3DRS_CLIPPING, TRUE},
    {D3DRS_COLORVERTEX, TRUE},
    {D3DRS_CULLMODE, D3DCULL_CCW},
    {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
    {D3DRS_LIGHTING, FALSE},
    {D3DRS_LOCALVIEWER, FALSE},
    {D3DRS_NORMALIZENORMALS, FALSE},
    {D3DRS_SPECULARENABLE, TRUE},
    {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
    {D3DRS_VERTEXBLEND, D3DVBF_DISABLE},
    {D3DRS_FOGVERTEXMODE, D3DFOG_NONE},
    {D3DRS_FOGTABLEMODE, D3DFOG_NONE},
    {D3DRS_RANGEFOGENABLE, FALSE},
};

const RendererSettings& settings()
{
    return g_device_settings.settings;
}

// An ini value past the table's three rows uses the last one.
const FilterRow& filter_row()
{
    return FILTERS[std::min<DWORD>(settings().texture_filter, 2)];
}

DWORD upgraded_filter(D3DTEXTUREFILTERTYPE filter, DWORD cap)
{
    return filter == D3DTEXF_LINEAR && (g_device_caps.TextureFilterCaps & cap) ? D3DTEXF_ANISOTROPIC : filter;
}

// With an "Anisotropy" setting of 2 or more, linear filters become anisotropic where the
// device can.
void apply_filters(bool anisotropy_allowed)
{
    const FilterRow& row = filter_row();
    DWORD max_anisotropy = 1;
    DWORD min = row.min, mag = row.mag;
    if (anisotropy_allowed && settings().anisotropy >= 2) {
        max_anisotropy = settings().anisotropy;
        min = upgraded_filter(row.min, D3DPTFILTERCAPS_MINFANISOTROPIC);
        mag = upgraded_filter(row.mag, D3DPTFILTERCAPS_MAGFANISOTROPIC);
    }
    for (DWORD stage = 0; stage < TSS_CACHE_STAGES; ++stage) {
        d3d_set_stage_state_cached(stage, D3DTSS_MAXANISOTROPY, max_anisotropy);
        d3d_set_stage_state_cached(stage, D3DTSS_MINFILTER, min);
        d3d_set_stage_state_cached(stage, D3DTSS_MAGFILTER, mag);
    }
}

DWORD address_mode(MaterialFlags word, MaterialFlags mirror, MaterialFlags clamp)
{
    if (word & clamp) return D3DTADDRESS_CLAMP;
    return (word & mirror) ? D3DTADDRESS_MIRROR : D3DTADDRESS_WRAP;
}

void set_address(DWORD stage, DWORD mode)
{
    d3d_set_stage_state_cached(stage, D3DTSS_ADDRESSU, mode);
    d3d_set_stage_state_cached(stage, D3DTSS_ADDRESSV, mode);
}

DWORD resolve(DWORD value, MaterialFlags word)
{
    switch (value) {
    case OP1:
        return OPERATIONS[(word >> MAT_OP1_SHIFT) & 0xF];
    case OP2:
        return OPERATIONS[(word >> MAT_OP2_SHIFT) & 0xF];
    case ARG_C:
        return (word & MAT_COLOR_ARG_TFACTOR) ? D3DTA_TFACTOR : D3DTA_DIFFUSE;
    case ARG_A:
        return (word & MAT_ALPHA_ARG_TFACTOR) ? D3DTA_TFACTOR : D3DTA_DIFFUSE;
    default:
        return value;
    }
}

void apply_combine(const CombineMode& mode, MaterialFlags word)
{
    for (DWORD stage = 0; stage < mode.stage_count; ++stage)
        for (int i = 0; i < 6; ++i)
            if (mode.stages[stage].values[i] != KEEP)
                d3d_set_stage_state_cached(stage, COMBINE_STATES[i],
                                           resolve(mode.stages[stage].values[i], word));
    if (mode.disable_stage4) g_d3d_device->SetTextureStageState(4, D3DTSS_COLOROP, D3DTOP_DISABLE);

    DWORD address = address_mode(word, MAT_ADDRESS_MIRROR, MAT_ADDRESS_CLAMP);
    for (DWORD stage = 0; stage < mode.addressed_stages; ++stage)
        set_address(stage, address);
    if (mode.stage1_own_address) set_address(1, address_mode(word, MAT_ADDRESS1_MIRROR, MAT_ADDRESS1_CLAMP));
}

DWORD cull_mode(MaterialFlags word)
{
    if (word & MAT_CULL_CW) return D3DCULL_CW;
    return (word & MAT_CULL_CCW) ? D3DCULL_CCW : D3DCULL_NONE;
}

void set_blend(MaterialFlags word)
{
    DWORD dest = D3DBLEND_INVSRCALPHA, source = D3DBLEND_SRCALPHA;
    if (word & MAT_ADDITIVE) {
        dest = D3DBLEND_ONE;
    } else if (word & MAT_DARKEN) {
        source = D3DBLEND_ZERO;
        dest = D3DBLEND_INVSRCCOLOR;
    }
    d3d_set_render_state_cached(D3DRS_SRCBLEND, source);
    d3d_set_render_state_cached(D3DRS_DESTBLEND, dest);
}

DWORD flag(MaterialFlags word, MaterialFlags bit)
{
    return (word & bit) ? TRUE : FALSE;
}

void set_stage_defaults()
{
    DWORD mip = settings().mipmap ? filter_row().mip : D3DTEXF_NONE;
    for (DWORD stage = 0; stage < TSS_CACHE_STAGES; ++stage) {
        d3d_set_texture_cached(stage, nullptr);
        bool first = stage == 0;
        d3d_set_stage_state_cached(stage, D3DTSS_COLOROP, first ? D3DTOP_MODULATE : D3DTOP_DISABLE);
        d3d_set_stage_state_cached(stage, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        d3d_set_stage_state_cached(stage, D3DTSS_COLORARG2, first ? D3DTA_DIFFUSE : D3DTA_CURRENT);
        d3d_set_stage_state_cached(stage, D3DTSS_ALPHAOP, first ? D3DTOP_MODULATE : D3DTOP_DISABLE);
        d3d_set_stage_state_cached(stage, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        d3d_set_stage_state_cached(stage, D3DTSS_ALPHAARG2, first ? D3DTA_DIFFUSE : D3DTA_CURRENT);
        d3d_set_stage_state_cached(stage, D3DTSS_MIPFILTER, mip);
        set_address(stage, D3DTADDRESS_MIRROR);
    }
    apply_filters(true);
}

// The pool and usage of shared buffers: system memory when vertices are processed in software.
void buffer_placement(DWORD& usage, D3DPOOL& pool, D3DPOOL hardware_pool)
{
    pool = hardware_pool;
    if (g_vs_software) {
        usage |= D3DUSAGE_SOFTWAREPROCESSING;
        pool = D3DPOOL_SYSTEMMEM;
    }
}

BYTE* lock_append(DynamicBuffer& buffer, UINT count, UINT& start)
{
    if (count > buffer.capacity || (!buffer.vertices && !buffer.indices)) return nullptr;
    bool restart = buffer.discard_next || buffer.position + count >= buffer.capacity;
    UINT first = restart ? 0 : buffer.position;
    DWORD flags = restart ? D3DLOCK_DISCARD : D3DLOCK_NOOVERWRITE;
    BYTE* data = nullptr;
    HRESULT result = buffer.vertices
                         ? buffer.vertices->Lock(first * buffer.stride, count * buffer.stride, &data, flags)
                         : buffer.indices->Lock(first * buffer.stride, count * buffer.stride, &data, flags);
    if (FAILED(result) || !data) return nullptr;
    buffer.discard_next = false;
    buffer.locked = true;
    start = first;
    buffer.position = first + count;
    return data;
}

DynamicBuffer& use_buffer(RendererVertexBuffer which, DWORD shader)
{
    DynamicBuffer& buffer = g_renderer_vbs[which];
    d3d_set_vertex_shader_cached(shader);
    d3d_set_stream_source_cached(0, buffer.vertices, g_renderer_vb_layouts[which].stride);
    return buffer;
}

} // namespace

void d3d_set_render_state_cached(D3DRENDERSTATETYPE state, DWORD value)
{
    if (state < RS_CACHE_SIZE) {
        if (g_rs_cache[state] == value) return;
        g_rs_cache[state] = value;
    }
    g_d3d_device->SetRenderState(state, value);
}

void d3d_set_stage_state_cached(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value)
{
    if (stage < TSS_CACHE_STAGES && type < TSS_CACHE_SIZE) {
        if (g_tss_cache[stage][type] == value) return;
        g_tss_cache[stage][type] = value;
    }
    g_d3d_device->SetTextureStageState(stage, type, value);
}

void d3d_set_texture_cached(DWORD stage, IDirect3DBaseTexture8* texture)
{
    if (stage < TSS_CACHE_STAGES) {
        if (g_texture_cache[stage] == texture) return;
        g_texture_cache[stage] = texture;
    }
    g_d3d_device->SetTexture(stage, texture);
}

void d3d_set_stream_source_cached(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride)
{
    if (stream == 0) {
        if (g_stream0_buffer == buffer && g_stream0_stride == stride) return;
        g_stream0_buffer = buffer;
        g_stream0_stride = stride;
    }
    g_d3d_device->SetStreamSource(stream, buffer, stride);
}

void d3d_set_vertex_shader_cached(DWORD handle)
{
    if (g_vs_cache == handle) return;
    g_vs_cache = handle;
    g_d3d_device->SetVertexShader(handle);
}

void d3d_draw_primitive(D3DPRIMITIVETYPE type, UINT start, UINT count)
{
    g_d3d_device->DrawPrimitive(type, start, count);
}

void renderer_invalidate_state_cache()
{
    std::fill(std::begin(g_rs_cache), std::end(g_rs_cache), RS_CACHE_INVALID);
    for (auto& stage : g_tss_cache)
        std::fill(std::begin(stage), std::end(stage), TSS_CACHE_INVALID);
    for (DWORD stage = 0; stage < TSS_CACHE_STAGES; ++stage) {
        g_d3d_device->SetTexture(stage, nullptr);
        g_texture_cache[stage] = nullptr;
    }
    g_vs_cache = VS_CACHE_INVALID;
    g_stream0_buffer = nullptr;
    g_stream0_stride = VS_CACHE_INVALID;
    g_current_material = MATERIAL_INVALID;
}

void renderer_default_states()
{
    renderer_invalidate_state_cache();
    for (const RenderStateDefault& entry : RENDER_STATE_DEFAULTS)
        d3d_set_render_state_cached(entry.state, entry.value);
    d3d_set_render_state_cached(D3DRS_MULTISAMPLEANTIALIAS, settings().caps_multisampling ? TRUE : FALSE);
    bool dither = g_device_settings.present.BackBufferFormat == D3DFMT_R5G6B5;
    d3d_set_render_state_cached(D3DRS_DITHERENABLE, dither ? TRUE : FALSE);
    g_current_material = MATERIAL_INVALID;
    set_stage_defaults();
    g_current_material = MATERIAL_INVALID;
}

void renderer_set_material_state(MaterialFlags word)
{
    const CombineMode& mode = COMBINE_MODES[word & MAT_COMBINE_MASK];
    apply_filters((word & MAT_ANISOTROPY) != 0);
    apply_combine(mode, word);
    d3d_set_render_state_cached(D3DRS_CULLMODE, cull_mode(word));
    bool multisample = settings().caps_multisampling && settings().multisample_type > 1 &&
                       !(word & (MAT_ALPHA_BLEND | MAT_ADDITIVE)) && mode.multisample;
    d3d_set_render_state_cached(D3DRS_MULTISAMPLEANTIALIAS, multisample ? TRUE : FALSE);
    d3d_set_render_state_cached(D3DRS_ZENABLE, (word & MAT_Z_TEST) ? D3DZB_TRUE : D3DZB_FALSE);
    d3d_set_render_state_cached(D3DRS_ZWRITEENABLE, flag(word, MAT_Z_WRITE));
    d3d_set_render_state_cached(D3DRS_ALPHABLENDENABLE, flag(word, MAT_ALPHA_BLEND));
    d3d_set_render_state_cached(D3DRS_ALPHATESTENABLE, flag(word, MAT_ALPHA_TEST));
    set_blend(word);
    d3d_set_render_state_cached(D3DRS_ALPHAREF, ALPHA_REFS[(word >> MAT_ALPHA_REF_SHIFT) & 3]);
    d3d_set_render_state_cached(D3DRS_FOGENABLE, flag(word, MAT_FOG));
    if (word & MAT_FOG)
        d3d_set_render_state_cached(
            D3DRS_FOGCOLOR, g_fog_colors[(word & MAT_ADDITIVE) ? FOG_COLOR_ADDITIVE : FOG_COLOR_SCENE]);
    g_current_material = word;
}

void renderer_save_stage_states(DWORD highest_stage, StageStateSave& save)
{
    for (DWORD stage = 0; stage <= highest_stage && stage < TSS_CACHE_STAGES; ++stage)
        for (int i = 0; i < 6; ++i)
            save.states[stage][i] = g_tss_cache[stage][COMBINE_STATES[i]];
}

void renderer_restore_stage_states(DWORD highest_stage, const StageStateSave& save)
{
    for (DWORD stage = 0; stage <= highest_stage && stage < TSS_CACHE_STAGES; ++stage)
        for (int i = 0; i < 6; ++i)
            d3d_set_stage_state_cached(stage, COMBINE_STATES[i], save.states[stage][i]);
}

HRESULT renderer_create_vertex_buffer(DynamicBuffer& buffer, const VertexBufferLayout& layout)
{
    buffer = {};
    DWORD usage = D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY;
    D3DPOOL pool;
    buffer_placement(usage, pool, D3DPOOL_DEFAULT);
    HRESULT result = g_d3d_device->CreateVertexBuffer(layout.stride * layout.capacity, usage, layout.fvf,
                                                      pool, &buffer.vertices);
    if (FAILED(result)) {
        buffer.vertices = nullptr;
        return result;
    }
    D3DVERTEXBUFFER_DESC desc;
    buffer.vertices->GetDesc(&desc);
    buffer.desc = {desc.Format, desc.Type, desc.Usage, desc.Pool, desc.Size, desc.FVF};
    buffer.stride = layout.stride;
    buffer.capacity = layout.capacity;
    buffer.discard_next = true;
    return S_OK;
}

HRESULT renderer_create_index_buffer(DynamicBuffer& buffer, UINT capacity, bool dynamic)
{
    buffer = {};
    DWORD usage = dynamic ? D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY : D3DUSAGE_WRITEONLY;
    D3DPOOL pool;
    buffer_placement(usage, pool, dynamic ? D3DPOOL_DEFAULT : D3DPOOL_MANAGED);
    HRESULT result =
        g_d3d_device->CreateIndexBuffer(capacity * 2, usage, D3DFMT_INDEX16, pool, &buffer.indices);
    if (FAILED(result)) {
        buffer.indices = nullptr;
        return result;
    }
    D3DINDEXBUFFER_DESC desc;
    buffer.indices->GetDesc(&desc);
    buffer.desc = {desc.Format, desc.Type, desc.Usage, desc.Pool, desc.Size, 0};
    buffer.stride = 2;
    buffer.capacity = capacity;
    buffer.discard_next = true;
    return S_OK;
}

void renderer_release_buffer(DynamicBuffer& buffer)
{
    renderer_buffer_unlock(buffer);
    if (buffer.vertices) buffer.vertices->Release();
    if (buffer.indices) buffer.indices->Release();
    buffer = {};
}

void* renderer_vb_lock_append(DynamicBuffer& buffer, UINT count, UINT& start)
{
    return lock_append(buffer, count, start);
}

std::uint16_t* renderer_ib_lock_append(DynamicBuffer& buffer, UINT count, UINT& start)
{
    return reinterpret_cast<std::uint16_t*>(lock_append(buffer, count, start));
}

void renderer_buffer_unlock(DynamicBuffer& buffer)
{
    if (!buffer.locked) return;
    if (buffer.vertices) buffer.vertices->Unlock();
    if (buffer.indices) buffer.indices->Unlock();
    buffer.locked = false;
}

bool renderer_vb_upload(UINT count, DynamicBuffer& buffer, const void* vertices, UINT& start)
{
    void* data = lock_append(buffer, count, start);
    if (!data) return false;
    std::memcpy(data, vertices, static_cast<std::size_t>(count) * buffer.stride);
    renderer_buffer_unlock(buffer);
    return true;
}

DynamicBuffer& renderer_use_vb_shader24()
{
    return use_buffer(RVB_BATCH, shader_handle(SHADER_SLOT_B_DT1));
}

DynamicBuffer& renderer_use_vb_shader28()
{
    return use_buffer(RVB_WORLD_QUAD, shader_handle(SHADER_SLOT_B_DST1));
}

DynamicBuffer& renderer_use_vb_rhw_color()
{
    return use_buffer(RVB_SCREEN_COLOR, g_renderer_vb_layouts[RVB_SCREEN_COLOR].fvf);
}

DynamicBuffer& renderer_use_vb_rhw_tex()
{
    return use_buffer(RVB_SCREEN_TEX, g_renderer_vb_layouts[RVB_SCREEN_TEX].fvf);
}

DynamicBuffer& renderer_use_vb_rhw_tex2()
{
    return use_buffer(RVB_SCREEN_SPEC_TEX, g_renderer_vb_layouts[RVB_SCREEN_SPEC_TEX].fvf);
}
