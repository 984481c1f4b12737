// Direct3D 8 as the engine calls it: the adapter object, the device, textures and surfaces,
// vertex and index buffers, vertex shaders, and the types and values they use, with the
// platform's public numbering (formats, states and flags are stored and compared as numbers).
//
// The device keeps its whole state itself, as the platform would: render and texture-stage
// states, bound textures and streams, vertex-shader handles with their declarations and byte
// code, the constant registers, the gamma ramp, the present parameters. Resources live in real
// memory with their lock state. A backend (platform/impl/d3d8_state.h) mirrors that state to the
// GPU; without one, draws are counted and clears and presents work on the surfaces' memory.
// What the backend and tests read of the objects is there too, in functions the classes befriend.
// Adapters, display modes and device capabilities come from a machine description
// (D3D8Machine): the host's, built through SDL, or one a test scripts
// (platform/impl/d3d8_seams.h).
#pragma once

#include "platform/d3d8_errors.h"
#include "platform/d3d8types.h"
#include "platform/win_types.h"
#include "platform/win_window.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

using D3DCOLOR = DWORD;

constexpr HRESULT D3D_OK = S_OK;
constexpr UINT D3D_SDK_VERSION = 220;

constexpr D3DCOLOR D3DCOLOR_ARGB(DWORD a, DWORD r, DWORD g, DWORD b)
{
    return ((a & 0xFF) << 24) | ((r & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
}
constexpr DWORD MAKEFOURCC(char a, char b, char c, char d)
{
    return DWORD(BYTE(a)) | DWORD(BYTE(b)) << 8 | DWORD(BYTE(c)) << 16 | DWORD(BYTE(d)) << 24;
}

// ---- Enumerated values -------------------------------------------------------------------------
enum D3DFORMAT : DWORD {
    D3DFMT_UNKNOWN = 0,
    D3DFMT_R8G8B8 = 20,
    D3DFMT_A8R8G8B8 = 21,
    D3DFMT_X8R8G8B8 = 22,
    D3DFMT_R5G6B5 = 23,
    D3DFMT_X1R5G5B5 = 24,
    D3DFMT_A1R5G5B5 = 25,
    D3DFMT_A4R4G4B4 = 26,
    D3DFMT_V8U8 = 60,
    D3DFMT_DXT1 = MAKEFOURCC('D', 'X', 'T', '1'),
    D3DFMT_DXT2 = MAKEFOURCC('D', 'X', 'T', '2'), // DXT3 blocks with premultiplied colour
    D3DFMT_DXT3 = MAKEFOURCC('D', 'X', 'T', '3'),
    D3DFMT_DXT4 = MAKEFOURCC('D', 'X', 'T', '4'), // DXT5 blocks with premultiplied colour
    D3DFMT_DXT5 = MAKEFOURCC('D', 'X', 'T', '5'),
    D3DFMT_D16_LOCKABLE = 70,
    D3DFMT_D32 = 71,
    D3DFMT_D15S1 = 73,
    D3DFMT_D24S8 = 75,
    D3DFMT_D24X8 = 77,
    D3DFMT_D24X4S4 = 79,
    D3DFMT_D16 = 80,
    D3DFMT_VERTEXDATA = 100,
    D3DFMT_INDEX16 = 101,
    D3DFMT_INDEX32 = 102,
};

enum D3DDEVTYPE : DWORD { D3DDEVTYPE_HAL = 1, D3DDEVTYPE_REF = 2, D3DDEVTYPE_SW = 3 };

enum D3DRESOURCETYPE : DWORD {
    D3DRTYPE_SURFACE = 1,
    D3DRTYPE_VOLUME = 2,
    D3DRTYPE_TEXTURE = 3,
    D3DRTYPE_VOLUMETEXTURE = 4,
    D3DRTYPE_CUBETEXTURE = 5,
    D3DRTYPE_VERTEXBUFFER = 6,
    D3DRTYPE_INDEXBUFFER = 7,
};

enum D3DPOOL : DWORD { D3DPOOL_DEFAULT = 0, D3DPOOL_MANAGED = 1, D3DPOOL_SYSTEMMEM = 2 };

enum D3DMULTISAMPLE_TYPE : DWORD {
    D3DMULTISAMPLE_NONE = 0,
    D3DMULTISAMPLE_2_SAMPLES = 2,
    D3DMULTISAMPLE_3_SAMPLES = 3,
    D3DMULTISAMPLE_4_SAMPLES = 4,
    D3DMULTISAMPLE_5_SAMPLES = 5,
    D3DMULTISAMPLE_6_SAMPLES = 6,
    D3DMULTISAMPLE_7_SAMPLES = 7,
    D3DMULTISAMPLE_8_SAMPLES = 8,
    D3DMULTISAMPLE_9_SAMPLES = 9,
    D3DMULTISAMPLE_10_SAMPLES = 10,
    D3DMULTISAMPLE_11_SAMPLES = 11,
    D3DMULTISAMPLE_12_SAMPLES = 12,
    D3DMULTISAMPLE_13_SAMPLES = 13,
    D3DMULTISAMPLE_14_SAMPLES = 14,
    D3DMULTISAMPLE_15_SAMPLES = 15,
    D3DMULTISAMPLE_16_SAMPLES = 16,
};

enum D3DSWAPEFFECT : DWORD {
    D3DSWAPEFFECT_DISCARD = 1,
    D3DSWAPEFFECT_FLIP = 2,
    D3DSWAPEFFECT_COPY = 3,
    D3DSWAPEFFECT_COPY_VSYNC = 4,
};

enum D3DBACKBUFFER_TYPE : DWORD { D3DBACKBUFFER_TYPE_MONO = 0 };

enum D3DPRIMITIVETYPE : DWORD {
    D3DPT_POINTLIST = 1,
    D3DPT_LINELIST = 2,
    D3DPT_LINESTRIP = 3,
    D3DPT_TRIANGLELIST = 4,
    D3DPT_TRIANGLESTRIP = 5,
    D3DPT_TRIANGLEFAN = 6,
};

enum D3DRENDERSTATETYPE : DWORD {
    D3DRS_ZENABLE = 7,
    D3DRS_FILLMODE = 8,
    D3DRS_SHADEMODE = 9,
    D3DRS_LINEPATTERN = 10,
    D3DRS_ZWRITEENABLE = 14,
    D3DRS_ALPHATESTENABLE = 15,
    D3DRS_LASTPIXEL = 16,
    D3DRS_SRCBLEND = 19,
    D3DRS_DESTBLEND = 20,
    D3DRS_CULLMODE = 22,
    D3DRS_ZFUNC = 23,
    D3DRS_ALPHAREF = 24,
    D3DRS_ALPHAFUNC = 25,
    D3DRS_DITHERENABLE = 26,
    D3DRS_ALPHABLENDENABLE = 27,
    D3DRS_FOGENABLE = 28,
    D3DRS_SPECULARENABLE = 29,
    D3DRS_ZVISIBLE = 30,
    D3DRS_FOGCOLOR = 34,
    D3DRS_FOGTABLEMODE = 35,
    D3DRS_FOGSTART = 36,
    D3DRS_FOGEND = 37,
    D3DRS_FOGDENSITY = 38,
    D3DRS_EDGEANTIALIAS = 40,
    D3DRS_ZBIAS = 47,
    D3DRS_RANGEFOGENABLE = 48,
    D3DRS_STENCILENABLE = 52,
    D3DRS_STENCILFAIL = 53,
    D3DRS_STENCILZFAIL = 54,
    D3DRS_STENCILPASS = 55,
    D3DRS_STENCILFUNC = 56,
    D3DRS_STENCILREF = 57,
    D3DRS_STENCILMASK = 58,
    D3DRS_STENCILWRITEMASK = 59,
    D3DRS_TEXTUREFACTOR = 60,
    D3DRS_WRAP0 = 128,
    D3DRS_WRAP1 = 129,
    D3DRS_WRAP2 = 130,
    D3DRS_WRAP3 = 131,
    D3DRS_WRAP4 = 132,
    D3DRS_WRAP5 = 133,
    D3DRS_WRAP6 = 134,
    D3DRS_WRAP7 = 135,
    D3DRS_CLIPPING = 136,
    D3DRS_LIGHTING = 137,
    D3DRS_AMBIENT = 139,
    D3DRS_FOGVERTEXMODE = 140,
    D3DRS_COLORVERTEX = 141,
    D3DRS_LOCALVIEWER = 142,
    D3DRS_NORMALIZENORMALS = 143,
    D3DRS_DIFFUSEMATERIALSOURCE = 145,
    D3DRS_SPECULARMATERIALSOURCE = 146,
    D3DRS_AMBIENTMATERIALSOURCE = 147,
    D3DRS_EMISSIVEMATERIALSOURCE = 148,
    D3DRS_VERTEXBLEND = 151,
    D3DRS_CLIPPLANEENABLE = 152,
    D3DRS_SOFTWAREVERTEXPROCESSING = 153,
    D3DRS_POINTSIZE = 154,
    D3DRS_POINTSIZE_MIN = 155,
    D3DRS_POINTSPRITEENABLE = 156,
    D3DRS_POINTSCALEENABLE = 157,
    D3DRS_POINTSCALE_A = 158,
    D3DRS_POINTSCALE_B = 159,
    D3DRS_POINTSCALE_C = 160,
    D3DRS_MULTISAMPLEANTIALIAS = 161,
    D3DRS_MULTISAMPLEMASK = 162,
    D3DRS_PATCHEDGESTYLE = 163,
    D3DRS_PATCHSEGMENTS = 164,
    D3DRS_DEBUGMONITORTOKEN = 165,
    D3DRS_POINTSIZE_MAX = 166,
    D3DRS_INDEXEDVERTEXBLENDENABLE = 167,
    D3DRS_COLORWRITEENABLE = 168,
    D3DRS_TWEENFACTOR = 170,
    D3DRS_BLENDOP = 171,
    D3DRS_POSITIONORDER = 172,
    D3DRS_NORMALORDER = 173,
};
constexpr DWORD D3D_RENDER_STATE_COUNT = 174; // one past the highest state number

enum D3DTEXTURESTAGESTATETYPE : DWORD {
    D3DTSS_COLOROP = 1,
    D3DTSS_COLORARG1 = 2,
    D3DTSS_COLORARG2 = 3,
    D3DTSS_ALPHAOP = 4,
    D3DTSS_ALPHAARG1 = 5,
    D3DTSS_ALPHAARG2 = 6,
    D3DTSS_BUMPENVMAT00 = 7,
    D3DTSS_BUMPENVMAT01 = 8,
    D3DTSS_BUMPENVMAT10 = 9,
    D3DTSS_BUMPENVMAT11 = 10,
    D3DTSS_TEXCOORDINDEX = 11,
    D3DTSS_ADDRESSU = 13,
    D3DTSS_ADDRESSV = 14,
    D3DTSS_BORDERCOLOR = 15,
    D3DTSS_MAGFILTER = 16,
    D3DTSS_MINFILTER = 17,
    D3DTSS_MIPFILTER = 18,
    D3DTSS_MIPMAPLODBIAS = 19,
    D3DTSS_MAXMIPLEVEL = 20,
    D3DTSS_MAXANISOTROPY = 21,
    D3DTSS_BUMPENVLSCALE = 22,
    D3DTSS_BUMPENVLOFFSET = 23,
    D3DTSS_TEXTURETRANSFORMFLAGS = 24,
    D3DTSS_ADDRESSW = 25,
    D3DTSS_COLORARG0 = 26,
    D3DTSS_ALPHAARG0 = 27,
    D3DTSS_RESULTARG = 28,
};
constexpr DWORD D3D_STAGE_STATE_COUNT = 29; // one past the highest state number
constexpr DWORD D3D_MAX_TEXTURE_STAGES = 8;
constexpr DWORD D3D_MAX_STREAMS = 16;
constexpr DWORD D3D_VS_CONSTANT_REGISTERS = 96;

enum D3DTEXTUREOP : DWORD {
    D3DTOP_DISABLE = 1,
    D3DTOP_SELECTARG1 = 2,
    D3DTOP_SELECTARG2 = 3,
    D3DTOP_MODULATE = 4,
    D3DTOP_MODULATE2X = 5,
    D3DTOP_MODULATE4X = 6,
    D3DTOP_ADD = 7,
    D3DTOP_ADDSIGNED = 8,
    D3DTOP_ADDSIGNED2X = 9,
    D3DTOP_SUBTRACT = 10,
    D3DTOP_ADDSMOOTH = 11,
    D3DTOP_BLENDDIFFUSEALPHA = 12,
    D3DTOP_BLENDTEXTUREALPHA = 13,
    D3DTOP_BLENDFACTORALPHA = 14,
    D3DTOP_BLENDTEXTUREALPHAPM = 15,
    D3DTOP_BLENDCURRENTALPHA = 16,
    D3DTOP_PREMODULATE = 17,
    D3DTOP_MODULATEALPHA_ADDCOLOR = 18,
    D3DTOP_MODULATECOLOR_ADDALPHA = 19,
    D3DTOP_MODULATEINVALPHA_ADDCOLOR = 20,
    D3DTOP_MODULATEINVCOLOR_ADDALPHA = 21,
    D3DTOP_BUMPENVMAP = 22,
    D3DTOP_BUMPENVMAPLUMINANCE = 23,
    D3DTOP_DOTPRODUCT3 = 24,
    D3DTOP_MULTIPLYADD = 25,
    D3DTOP_LERP = 26,
};

// Texture-stage arguments: a source in the low bits, modifiers above.
constexpr DWORD D3DTA_SELECTMASK = 0x0F;
constexpr DWORD D3DTA_DIFFUSE = 0x00;
constexpr DWORD D3DTA_CURRENT = 0x01;
constexpr DWORD D3DTA_TEXTURE = 0x02;
constexpr DWORD D3DTA_TFACTOR = 0x03;
constexpr DWORD D3DTA_SPECULAR = 0x04;
constexpr DWORD D3DTA_TEMP = 0x05;
constexpr DWORD D3DTA_COMPLEMENT = 0x10;
constexpr DWORD D3DTA_ALPHAREPLICATE = 0x20;

enum D3DTEXTUREFILTERTYPE : DWORD {
    D3DTEXF_NONE = 0,
    D3DTEXF_POINT = 1,
    D3DTEXF_LINEAR = 2,
    D3DTEXF_ANISOTROPIC = 3,
};
enum D3DTEXTUREADDRESS : DWORD {
    D3DTADDRESS_WRAP = 1,
    D3DTADDRESS_MIRROR = 2,
    D3DTADDRESS_CLAMP = 3,
    D3DTADDRESS_BORDER = 4,
    D3DTADDRESS_MIRRORONCE = 5,
};
enum D3DBLEND : DWORD {
    D3DBLEND_ZERO = 1,
    D3DBLEND_ONE = 2,
    D3DBLEND_SRCCOLOR = 3,
    D3DBLEND_INVSRCCOLOR = 4,
    D3DBLEND_SRCALPHA = 5,
    D3DBLEND_INVSRCALPHA = 6,
    D3DBLEND_DESTALPHA = 7,
    D3DBLEND_INVDESTALPHA = 8,
    D3DBLEND_DESTCOLOR = 9,
    D3DBLEND_INVDESTCOLOR = 10,
    D3DBLEND_SRCALPHASAT = 11,
    D3DBLEND_BOTHSRCALPHA = 12,
    D3DBLEND_BOTHINVSRCALPHA = 13,
};
enum D3DBLENDOP : DWORD {
    D3DBLENDOP_ADD = 1,
    D3DBLENDOP_SUBTRACT = 2,
    D3DBLENDOP_REVSUBTRACT = 3,
    D3DBLENDOP_MIN = 4,
    D3DBLENDOP_MAX = 5,
};
enum D3DCMPFUNC : DWORD {
    D3DCMP_NEVER = 1,
    D3DCMP_LESS = 2,
    D3DCMP_EQUAL = 3,
    D3DCMP_LESSEQUAL = 4,
    D3DCMP_GREATER = 5,
    D3DCMP_NOTEQUAL = 6,
    D3DCMP_GREATEREQUAL = 7,
    D3DCMP_ALWAYS = 8,
};
enum D3DCULL : DWORD { D3DCULL_NONE = 1, D3DCULL_CW = 2, D3DCULL_CCW = 3 };
enum D3DSHADEMODE : DWORD { D3DSHADE_FLAT = 1, D3DSHADE_GOURAUD = 2, D3DSHADE_PHONG = 3 };
enum D3DFILLMODE : DWORD { D3DFILL_POINT = 1, D3DFILL_WIREFRAME = 2, D3DFILL_SOLID = 3 };
enum D3DFOGMODE : DWORD { D3DFOG_NONE = 0, D3DFOG_EXP = 1, D3DFOG_EXP2 = 2, D3DFOG_LINEAR = 3 };
enum D3DSTENCILOP : DWORD {
    D3DSTENCILOP_KEEP = 1,
    D3DSTENCILOP_ZERO = 2,
    D3DSTENCILOP_REPLACE = 3,
    D3DSTENCILOP_INCRSAT = 4,
    D3DSTENCILOP_DECRSAT = 5,
    D3DSTENCILOP_INVERT = 6,
    D3DSTENCILOP_INCR = 7,
    D3DSTENCILOP_DECR = 8,
};
enum D3DZBUFFERTYPE : DWORD { D3DZB_FALSE = 0, D3DZB_TRUE = 1, D3DZB_USEW = 2 };
enum D3DMATERIALCOLORSOURCE : DWORD { D3DMCS_MATERIAL = 0, D3DMCS_COLOR1 = 1, D3DMCS_COLOR2 = 2 };
enum D3DVERTEXBLENDFLAGS : DWORD { D3DVBF_DISABLE = 0 };
enum D3DTEXTURETRANSFORMFLAGS : DWORD { D3DTTFF_DISABLE = 0 };
enum D3DPATCHEDGESTYLE : DWORD { D3DPATCHEDGE_DISCRETE = 0 };
enum D3DORDERTYPE : DWORD { D3DORDER_LINEAR = 1, D3DORDER_CUBIC = 3 };

// Colour write channels (D3DRS_COLORWRITEENABLE).
constexpr DWORD D3DCOLORWRITEENABLE_RED = 0x1;
constexpr DWORD D3DCOLORWRITEENABLE_GREEN = 0x2;
constexpr DWORD D3DCOLORWRITEENABLE_BLUE = 0x4;
constexpr DWORD D3DCOLORWRITEENABLE_ALPHA = 0x8;

// ---- Flags -------------------------------------------------------------------------------------
constexpr DWORD D3DUSAGE_RENDERTARGET = 0x001;
constexpr DWORD D3DUSAGE_DEPTHSTENCIL = 0x002;
constexpr DWORD D3DUSAGE_WRITEONLY = 0x008;
constexpr DWORD D3DUSAGE_SOFTWAREPROCESSING = 0x010;
constexpr DWORD D3DUSAGE_DONOTCLIP = 0x020;
constexpr DWORD D3DUSAGE_POINTS = 0x040;
constexpr DWORD D3DUSAGE_DYNAMIC = 0x200;

constexpr DWORD D3DLOCK_READONLY = 0x0010;
constexpr DWORD D3DLOCK_NOSYSLOCK = 0x0800;
constexpr DWORD D3DLOCK_NOOVERWRITE = 0x1000;
constexpr DWORD D3DLOCK_DISCARD = 0x2000;
constexpr DWORD D3DLOCK_NO_DIRTY_UPDATE = 0x8000;

constexpr DWORD D3DCREATE_FPU_PRESERVE = 0x02;
constexpr DWORD D3DCREATE_MULTITHREADED = 0x04;
constexpr DWORD D3DCREATE_PUREDEVICE = 0x10;
constexpr DWORD D3DCREATE_SOFTWARE_VERTEXPROCESSING = 0x20;
constexpr DWORD D3DCREATE_HARDWARE_VERTEXPROCESSING = 0x40;
constexpr DWORD D3DCREATE_MIXED_VERTEXPROCESSING = 0x80;

constexpr DWORD D3DENUM_NO_WHQL_LEVEL = 0x2;

constexpr DWORD D3DCLEAR_TARGET = 0x1;
constexpr DWORD D3DCLEAR_ZBUFFER = 0x2;
constexpr DWORD D3DCLEAR_STENCIL = 0x4;

constexpr UINT D3DPRESENT_RATE_DEFAULT = 0;
constexpr UINT D3DPRESENT_INTERVAL_DEFAULT = 0x00000000;
constexpr UINT D3DPRESENT_INTERVAL_ONE = 0x00000001;
constexpr UINT D3DPRESENT_INTERVAL_TWO = 0x00000002;
constexpr UINT D3DPRESENT_INTERVAL_THREE = 0x00000004;
constexpr UINT D3DPRESENT_INTERVAL_FOUR = 0x00000008;
constexpr UINT D3DPRESENT_INTERVAL_IMMEDIATE = 0x80000000;
constexpr DWORD D3DPRESENTFLAG_LOCKABLE_BACKBUFFER = 0x1;
constexpr UINT D3DPRESENT_BACK_BUFFERS_MAX = 3;

constexpr DWORD D3DSGR_NO_CALIBRATION = 0x0;
constexpr DWORD D3DSGR_CALIBRATE = 0x1;

// Flexible vertex formats.
constexpr DWORD D3DFVF_POSITION_MASK = 0x00E;
constexpr DWORD D3DFVF_XYZ = 0x002;
constexpr DWORD D3DFVF_XYZRHW = 0x004;
constexpr DWORD D3DFVF_NORMAL = 0x010;
constexpr DWORD D3DFVF_PSIZE = 0x020;
constexpr DWORD D3DFVF_DIFFUSE = 0x040;
constexpr DWORD D3DFVF_SPECULAR = 0x080;
constexpr DWORD D3DFVF_TEXCOUNT_MASK = 0xF00;
constexpr DWORD D3DFVF_TEXCOUNT_SHIFT = 8;
constexpr DWORD D3DFVF_TEX0 = 0x000;
constexpr DWORD D3DFVF_TEX1 = 0x100;
constexpr DWORD D3DFVF_TEX2 = 0x200;
constexpr DWORD D3DDP_MAXTEXCOORD = 8; // texture-coordinate sets a vertex may have

// ---- Capability bits ---------------------------------------------------------------------------
constexpr DWORD D3DCAPS2_FULLSCREENGAMMA = 0x00020000;
constexpr DWORD D3DCAPS2_CANRENDERWINDOWED = 0x00080000;
constexpr DWORD D3DCAPS2_CANCALIBRATEGAMMA = 0x00100000;
constexpr DWORD D3DCAPS2_CANMANAGERESOURCE = 0x10000000;
constexpr DWORD D3DCAPS2_DYNAMICTEXTURES = 0x20000000;

constexpr DWORD D3DDEVCAPS_HWTRANSFORMANDLIGHT = 0x00010000;
constexpr DWORD D3DDEVCAPS_HWRASTERIZATION = 0x00080000;
constexpr DWORD D3DDEVCAPS_PUREDEVICE = 0x00100000;

constexpr DWORD D3DPMISCCAPS_CULLNONE = 0x00000010;
constexpr DWORD D3DPMISCCAPS_CULLCW = 0x00000020;
constexpr DWORD D3DPMISCCAPS_CULLCCW = 0x00000040;
constexpr DWORD D3DPMISCCAPS_COLORWRITEENABLE = 0x00000080;
constexpr DWORD D3DPMISCCAPS_BLENDOP = 0x00000800;

constexpr DWORD D3DPTFILTERCAPS_MINFPOINT = 0x00000100;
constexpr DWORD D3DPTFILTERCAPS_MINFLINEAR = 0x00000200;
constexpr DWORD D3DPTFILTERCAPS_MINFANISOTROPIC = 0x00000400;
constexpr DWORD D3DPTFILTERCAPS_MIPFPOINT = 0x00010000;
constexpr DWORD D3DPTFILTERCAPS_MIPFLINEAR = 0x00020000;
constexpr DWORD D3DPTFILTERCAPS_MAGFPOINT = 0x01000000;
constexpr DWORD D3DPTFILTERCAPS_MAGFLINEAR = 0x02000000;
constexpr DWORD D3DPTFILTERCAPS_MAGFANISOTROPIC = 0x04000000;

constexpr DWORD D3DTEXOPCAPS_DISABLE = 0x00000001;
constexpr DWORD D3DTEXOPCAPS_SELECTARG1 = 0x00000002;
constexpr DWORD D3DTEXOPCAPS_SELECTARG2 = 0x00000004;
constexpr DWORD D3DTEXOPCAPS_MODULATE = 0x00000008;
constexpr DWORD D3DTEXOPCAPS_MODULATE2X = 0x00000010;
constexpr DWORD D3DTEXOPCAPS_MODULATE4X = 0x00000020;
constexpr DWORD D3DTEXOPCAPS_ADD = 0x00000040;
constexpr DWORD D3DTEXOPCAPS_ADDSIGNED = 0x00000080;
constexpr DWORD D3DTEXOPCAPS_ADDSIGNED2X = 0x00000100;
constexpr DWORD D3DTEXOPCAPS_SUBTRACT = 0x00000200;
constexpr DWORD D3DTEXOPCAPS_ADDSMOOTH = 0x00000400;
constexpr DWORD D3DTEXOPCAPS_BLENDDIFFUSEALPHA = 0x00000800;
constexpr DWORD D3DTEXOPCAPS_BLENDTEXTUREALPHA = 0x00001000;
constexpr DWORD D3DTEXOPCAPS_BLENDFACTORALPHA = 0x00002000;
constexpr DWORD D3DTEXOPCAPS_BLENDCURRENTALPHA = 0x00008000;
constexpr DWORD D3DTEXOPCAPS_BUMPENVMAP = 0x00200000;
constexpr DWORD D3DTEXOPCAPS_DOTPRODUCT3 = 0x00800000;

constexpr DWORD D3DVS_VERSION(DWORD major, DWORD minor)
{
    return 0xFFFE0000 | major << 8 | minor;
}
constexpr DWORD D3DPS_VERSION(DWORD major, DWORD minor)
{
    return 0xFFFF0000 | major << 8 | minor;
}

// ---- Vertex-shader declarations and byte code --------------------------------------------------
// Declaration tokens: a type in bits 29-31, then the type's fields.
constexpr DWORD D3DVSD_TOKEN_NOP = 0;
constexpr DWORD D3DVSD_TOKEN_STREAM = 1;
constexpr DWORD D3DVSD_TOKEN_STREAMDATA = 2;
constexpr DWORD D3DVSD_TOKEN_TESSELLATOR = 3;
constexpr DWORD D3DVSD_TOKEN_CONSTMEM = 4;
constexpr DWORD D3DVSD_TOKEN_EXT = 5;
constexpr DWORD D3DVSD_TOKEN_END = 7;
constexpr DWORD D3DVSD_TOKENTYPESHIFT = 29;
constexpr DWORD D3DVSD_DATATYPESHIFT = 16;
constexpr DWORD D3DVSD_SKIPCOUNTSHIFT = 16;
constexpr DWORD D3DVSD_CONSTCOUNTSHIFT = 25;
constexpr DWORD D3DVSD_EXTCOUNTSHIFT = 24;
constexpr DWORD D3DVSD_DATALOADTYPESHIFT = 28;
constexpr DWORD D3DVSD_STREAMTESSSHIFT = 28;

constexpr DWORD D3DVSDT_FLOAT1 = 0;
constexpr DWORD D3DVSDT_FLOAT2 = 1;
constexpr DWORD D3DVSDT_FLOAT3 = 2;
constexpr DWORD D3DVSDT_FLOAT4 = 3;
constexpr DWORD D3DVSDT_D3DCOLOR = 4;
constexpr DWORD D3DVSDT_UBYTE4 = 5;
constexpr DWORD D3DVSDT_SHORT2 = 6;
constexpr DWORD D3DVSDT_SHORT4 = 7;

constexpr DWORD D3DVSD_MAKETOKENTYPE(DWORD type)
{
    return type << D3DVSD_TOKENTYPESHIFT;
}
constexpr DWORD D3DVSD_STREAM(DWORD stream)
{
    return D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_STREAM) | stream;
}
constexpr DWORD D3DVSD_REG(DWORD vertex_register, DWORD type)
{
    return D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_STREAMDATA) | type << D3DVSD_DATATYPESHIFT | vertex_register;
}
constexpr DWORD D3DVSD_SKIP(DWORD dword_count)
{
    return D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_STREAMDATA) | 0x10000000 | dword_count << D3DVSD_SKIPCOUNTSHIFT;
}
// Followed by count x 4 DWORDs of constant data.
constexpr DWORD D3DVSD_CONST(DWORD address, DWORD count)
{
    return D3DVSD_MAKETOKENTYPE(D3DVSD_TOKEN_CONSTMEM) | count << D3DVSD_CONSTCOUNTSHIFT | address;
}
constexpr DWORD D3DVSD_NOP()
{
    return 0x00000000;
}
constexpr DWORD D3DVSD_END()
{
    return 0xFFFFFFFF;
}

// Shader byte code: the version token, instructions, the end token.
constexpr DWORD D3DSIO_NOP = 0;
constexpr DWORD D3DSIO_MOV = 1;
constexpr DWORD D3DSIO_ADD = 2;
constexpr DWORD D3DSIO_SUB = 3;
constexpr DWORD D3DSIO_MAD = 4;
constexpr DWORD D3DSIO_MUL = 5;
constexpr DWORD D3DSIO_RCP = 6;
constexpr DWORD D3DSIO_RSQ = 7;
constexpr DWORD D3DSIO_DP3 = 8;
constexpr DWORD D3DSIO_DP4 = 9;
constexpr DWORD D3DSIO_MIN = 10;
constexpr DWORD D3DSIO_MAX = 11;
constexpr DWORD D3DSIO_SLT = 12;
constexpr DWORD D3DSIO_SGE = 13;
constexpr DWORD D3DSIO_EXP = 14;
constexpr DWORD D3DSIO_LOG = 15;
constexpr DWORD D3DSIO_LIT = 16;
constexpr DWORD D3DSIO_DST = 17;
constexpr DWORD D3DSIO_FRC = 19;
constexpr DWORD D3DSIO_M4x4 = 20;
constexpr DWORD D3DSIO_M4x3 = 21;
constexpr DWORD D3DSIO_M3x4 = 22;
constexpr DWORD D3DSIO_M3x3 = 23;
constexpr DWORD D3DSIO_M3x2 = 24;
constexpr DWORD D3DSIO_EXPP = 78;
constexpr DWORD D3DSIO_LOGP = 79;
constexpr DWORD D3DSIO_COMMENT = 0xFFFE;
constexpr DWORD D3DSIO_END = 0xFFFF;
constexpr DWORD D3DSI_OPCODE_MASK = 0x0000FFFF;
constexpr DWORD D3DSI_COMMENTSIZE_SHIFT = 16;
constexpr DWORD D3DSI_COMMENTSIZE_MASK = 0x7FFF0000;
constexpr DWORD D3DVS_END()
{
    return 0x0000FFFF;
}

// Parameter tokens (bit 31 set): register number, type, and the swizzle or write mask.
constexpr DWORD D3DSP_REGNUM_MASK = 0x00001FFF;
constexpr DWORD D3DSP_REGTYPE_SHIFT = 28;
constexpr DWORD D3DSP_REGTYPE_MASK = 0x70000000;
constexpr DWORD D3DVS_ADDRESSMODE_SHIFT = 13;
constexpr DWORD D3DVS_ADDRMODE_RELATIVE = 1u << D3DVS_ADDRESSMODE_SHIFT;
constexpr DWORD D3DSP_WRITEMASK_ALL = 0x000F0000;
constexpr DWORD D3DSP_SWIZZLE_SHIFT = 16;
constexpr DWORD D3DSP_NOSWIZZLE = 0x00E40000; // x, y, z, w
constexpr DWORD D3DSP_SRCMOD_SHIFT = 24;
constexpr DWORD D3DSPSM_NONE = 0;
constexpr DWORD D3DSPSM_NEG = 1u << D3DSP_SRCMOD_SHIFT;
constexpr DWORD D3DSPR_TEMP = 0;
constexpr DWORD D3DSPR_INPUT = 1;
constexpr DWORD D3DSPR_CONST = 2;
constexpr DWORD D3DSPR_ADDR = 3;
constexpr DWORD D3DSPR_RASTOUT = 4;
constexpr DWORD D3DSPR_ATTROUT = 5;
constexpr DWORD D3DSPR_TEXCRDOUT = 6;
constexpr DWORD D3DSRO_POSITION = 0;
constexpr DWORD D3DSRO_FOG = 1;
constexpr DWORD D3DSRO_POINT_SIZE = 2;

// ---- Records -----------------------------------------------------------------------------------
struct D3DMATRIX {
    union {
        struct {
            float _11, _12, _13, _14;
            float _21, _22, _23, _24;
            float _31, _32, _33, _34;
            float _41, _42, _43, _44;
        };
        float m[4][4];
    };
};

struct D3DRECT {
    LONG x1, y1, x2, y2;
};

struct D3DVIEWPORT8 {
    DWORD X, Y, Width, Height;
    float MinZ, MaxZ;
};

struct D3DDISPLAYMODE {
    UINT Width;
    UINT Height;
    UINT RefreshRate; // 0 = the adapter's default
    D3DFORMAT Format;
};

constexpr std::size_t MAX_DEVICE_IDENTIFIER_STRING = 512;
struct D3DADAPTER_IDENTIFIER8 {
    char Driver[MAX_DEVICE_IDENTIFIER_STRING];
    char Description[MAX_DEVICE_IDENTIFIER_STRING];
    std::int64_t DriverVersion; // product, version, sub-version, build: 16 bits each, high to low
    DWORD VendorId;
    DWORD DeviceId;
    DWORD SubSysId;
    DWORD Revision;
    GUID DeviceIdentifier;
    DWORD WHQLLevel; // 0 with D3DENUM_NO_WHQL_LEVEL
};

struct D3DPRESENT_PARAMETERS {
    UINT BackBufferWidth; // windowed: 0 takes the window's client size
    UINT BackBufferHeight;
    D3DFORMAT BackBufferFormat;
    UINT BackBufferCount; // 0 counts as 1
    D3DMULTISAMPLE_TYPE MultiSampleType;
    D3DSWAPEFFECT SwapEffect;
    HWND hDeviceWindow; // null: the focus window
    BOOL Windowed;
    BOOL EnableAutoDepthStencil;
    D3DFORMAT AutoDepthStencilFormat;
    DWORD Flags;
    UINT FullScreen_RefreshRateInHz;      // 0 in a window
    UINT FullScreen_PresentationInterval; // DEFAULT in a window
};

struct D3DCAPS8 {
    D3DDEVTYPE DeviceType;
    UINT AdapterOrdinal;
    DWORD Caps;
    DWORD Caps2;
    DWORD Caps3;
    DWORD PresentationIntervals;
    DWORD CursorCaps;
    DWORD DevCaps;
    DWORD PrimitiveMiscCaps;
    DWORD RasterCaps;
    DWORD ZCmpCaps;
    DWORD SrcBlendCaps;
    DWORD DestBlendCaps;
    DWORD AlphaCmpCaps;
    DWORD ShadeCaps;
    DWORD TextureCaps;
    DWORD TextureFilterCaps;
    DWORD CubeTextureFilterCaps;
    DWORD VolumeTextureFilterCaps;
    DWORD TextureAddressCaps;
    DWORD VolumeTextureAddressCaps;
    DWORD LineCaps;
    DWORD MaxTextureWidth;
    DWORD MaxTextureHeight;
    DWORD MaxVolumeExtent;
    DWORD MaxTextureRepeat;
    DWORD MaxTextureAspectRatio;
    DWORD MaxAnisotropy;
    float MaxVertexW;
    float GuardBandLeft;
    float GuardBandTop;
    float GuardBandRight;
    float GuardBandBottom;
    float ExtentsAdjust;
    DWORD StencilCaps;
    DWORD FVFCaps;
    DWORD TextureOpCaps;
    DWORD MaxTextureBlendStages;
    DWORD MaxSimultaneousTextures;
    DWORD VertexProcessingCaps;
    DWORD MaxActiveLights;
    DWORD MaxUserClipPlanes;
    DWORD MaxVertexBlendMatrices;
    DWORD MaxVertexBlendMatrixIndex;
    float MaxPointSize;
    DWORD MaxPrimitiveCount;
    DWORD MaxVertexIndex;
    DWORD MaxStreams;
    DWORD MaxStreamStride;
    DWORD VertexShaderVersion;
    DWORD MaxVertexShaderConst;
    DWORD PixelShaderVersion;
    float MaxPixelShaderValue;
};

struct D3DSURFACE_DESC {
    D3DFORMAT Format;
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    UINT Size;
    D3DMULTISAMPLE_TYPE MultiSampleType;
    UINT Width;
    UINT Height;
};

struct D3DVERTEXBUFFER_DESC {
    D3DFORMAT Format;
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    UINT Size;
    DWORD FVF;
};

struct D3DINDEXBUFFER_DESC {
    D3DFORMAT Format;
    D3DRESOURCETYPE Type;
    DWORD Usage;
    D3DPOOL Pool;
    UINT Size;
};

struct D3DLOCKED_RECT {
    INT Pitch;
    void* pBits;
};

struct D3DGAMMARAMP {
    WORD red[256];
    WORD green[256];
    WORD blue[256];
};

struct RGNDATA;

class IDirect3D8;
class IDirect3DDevice8;
class IDirect3DTexture8;
class IDirect3DSurface8;
class IDirect3DVertexBuffer8;
class IDirect3DIndexBuffer8;
class D3D8Backend;
// The stand-in's own records of a device (platform/impl/d3d8_state.h).
struct D3DDeviceState;
struct D3DCallCounts;
struct D3DDrawCall;
struct D3DVertexShader;
struct D3D8DeviceRecord;
struct D3DLockRecord;
struct D3D8Machine;

// ---- Resources ---------------------------------------------------------------------------------
// Reference counts are the application's: Release returns what is left and destroys the object
// at 0. Binding a resource to the device (SetTexture, SetStreamSource, SetIndices,
// SetRenderTarget) does not show in the count, but keeps the memory alive until it is unbound.
// A resource holds a reference to its device while the application holds it.
class IDirect3DResource8 {
public:
    ULONG AddRef();
    ULONG Release();
    HRESULT GetDevice(IDirect3DDevice8** device);
    D3DRESOURCETYPE GetType() const { return m_type; }

protected:
    IDirect3DResource8(IDirect3DDevice8& device, D3DRESOURCETYPE type, D3DPOOL pool,
                       IDirect3DResource8* container);
    virtual ~IDirect3DResource8();

private:
    void bind();
    void unbind();
    void destroy_if_unused();

    IDirect3DDevice8* m_device;
    D3DRESOURCETYPE m_type;
    D3DPOOL m_pool;
    IDirect3DResource8* m_container; // a texture's levels count through their texture
    ULONG m_refs = 1;
    ULONG m_binds = 0;
    bool m_implicit = false;          // the device's own back buffer and depth buffer
    void* m_backend_object = nullptr; // the backend's mirror of this resource
    friend class IDirect3DDevice8;
    // The stand-in's own view of its objects (platform/impl/d3d8_state.h).
    friend IDirect3DDevice8& d3d8_resource_device(const IDirect3DResource8& resource);
    friend D3DPOOL d3d8_resource_pool(const IDirect3DResource8& resource);
    friend ULONG d3d8_ref_count(const IDirect3DResource8& resource);
    friend void* d3d8_backend_object(const IDirect3DResource8& resource);
    friend void d3d8_set_backend_object(IDirect3DResource8& resource, void* object);
};

class IDirect3DSurface8 : public IDirect3DResource8 {
public:
    HRESULT GetDesc(D3DSURFACE_DESC* desc) const;
    // A null rectangle locks the whole surface. Render targets and depth buffers cannot be
    // locked (D3DERR_INVALIDCALL), except a back buffer made with D3DPRESENTFLAG_LOCKABLE_BACKBUFFER.
    HRESULT LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
    HRESULT UnlockRect();

private:
    IDirect3DSurface8(IDirect3DDevice8& device, const D3DSURFACE_DESC& desc, IDirect3DTexture8* texture,
                      UINT level);
    ~IDirect3DSurface8() override;

    D3DSURFACE_DESC m_desc;
    UINT m_pitch;
    std::vector<std::uint8_t> m_bits;
    std::unique_ptr<D3DLockRecord> m_lock_record; // the stand-in's own, outside the platform's surface
    D3DLockRecord& m_lock;
    IDirect3DTexture8* m_texture;
    UINT m_level;
    bool m_lockable;
    friend class IDirect3DDevice8;
    friend class IDirect3DTexture8;
    friend class IDirect3DResource8;
    friend const D3DSURFACE_DESC& d3d8_surface_desc(const IDirect3DSurface8& surface);
    friend UINT d3d8_surface_pitch(const IDirect3DSurface8& surface);
    friend std::uint8_t* d3d8_surface_bits(IDirect3DSurface8& surface);
    friend const std::uint8_t* d3d8_surface_bits(const IDirect3DSurface8& surface);
    friend const D3DLockRecord& d3d8_lock_record(const IDirect3DSurface8& surface);
    friend IDirect3DTexture8* d3d8_surface_container(const IDirect3DSurface8& surface);
    friend UINT d3d8_surface_level(const IDirect3DSurface8& surface);
};

class IDirect3DBaseTexture8 : public IDirect3DResource8 {
protected:
    using IDirect3DResource8::IDirect3DResource8;
};

class IDirect3DTexture8 : public IDirect3DBaseTexture8 {
public:
    DWORD GetLevelCount() const { return static_cast<DWORD>(m_levels.size()); }
    HRESULT GetLevelDesc(UINT level, D3DSURFACE_DESC* desc) const;
    // The level shares the texture's reference count: the texture lives while it is held.
    HRESULT GetSurfaceLevel(UINT level, IDirect3DSurface8** surface);
    HRESULT LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags);
    HRESULT UnlockRect(UINT level);

private:
    IDirect3DTexture8(IDirect3DDevice8& device, UINT width, UINT height, UINT levels, DWORD usage,
                      D3DFORMAT format, D3DPOOL pool);
    ~IDirect3DTexture8() override;

    std::vector<IDirect3DSurface8*> m_levels;
    D3DFORMAT m_format;
    friend class IDirect3DDevice8;
    friend IDirect3DSurface8& d3d8_texture_level(const IDirect3DTexture8& texture, UINT level);
    friend D3DFORMAT d3d8_texture_format(const IDirect3DTexture8& texture);
};

// Vertex and index buffers: memory of the described size, locked by byte ranges. A buffer may
// be locked again before it is unlocked, as on the platform.
template <typename Desc> class D3DBuffer8 : public IDirect3DResource8 {
public:
    // size 0 locks from the offset to the end; a range past the end is D3DERR_INVALIDCALL.
    HRESULT Lock(UINT offset, UINT size, BYTE** data, DWORD flags);
    HRESULT Unlock();
    HRESULT GetDesc(Desc* desc) const;

protected:
    D3DBuffer8(IDirect3DDevice8& device, D3DRESOURCETYPE type, const Desc& desc);
    ~D3DBuffer8() override;

private:
    Desc m_desc;
    std::vector<std::uint8_t> m_data;
    std::unique_ptr<D3DLockRecord> m_lock_record; // the stand-in's own, outside the platform's surface
    D3DLockRecord& m_lock;
    template <typename D> friend const D& d3d8_buffer_desc(const D3DBuffer8<D>& buffer);
    template <typename D> friend const std::uint8_t* d3d8_buffer_data(const D3DBuffer8<D>& buffer);
    template <typename D> friend const D3DLockRecord& d3d8_lock_record(const D3DBuffer8<D>& buffer);
};

class IDirect3DVertexBuffer8 : public D3DBuffer8<D3DVERTEXBUFFER_DESC> {
    IDirect3DVertexBuffer8(IDirect3DDevice8& device, const D3DVERTEXBUFFER_DESC& desc)
        : D3DBuffer8(device, D3DRTYPE_VERTEXBUFFER, desc)
    {
    }
    friend class IDirect3DDevice8;
};

class IDirect3DIndexBuffer8 : public D3DBuffer8<D3DINDEXBUFFER_DESC> {
    IDirect3DIndexBuffer8(IDirect3DDevice8& device, const D3DINDEXBUFFER_DESC& desc)
        : D3DBuffer8(device, D3DRTYPE_INDEXBUFFER, desc)
    {
    }
    friend class IDirect3DDevice8;
};

// ---- The device --------------------------------------------------------------------------------
class IDirect3DDevice8 {
public:
    ULONG AddRef();
    ULONG Release();

    // D3D_OK, D3DERR_DEVICELOST (lost, cannot be reset yet) or D3DERR_DEVICENOTRESET.
    HRESULT TestCooperativeLevel();
    HRESULT GetDeviceCaps(D3DCAPS8* caps) const;
    HRESULT GetDisplayMode(D3DDISPLAYMODE* mode) const;
    // Fails with D3DERR_INVALIDCALL while DEFAULT-pool resources or back-buffer references are
    // held, D3DERR_DEVICELOST while the device is lost; on success every state, binding and
    // shader constant returns to its default and the device is no longer lost.
    HRESULT Reset(D3DPRESENT_PARAMETERS* params);
    HRESULT Present(const RECT* source, const RECT* dest, HWND override_window, const RGNDATA* dirty);
    HRESULT GetBackBuffer(UINT index, D3DBACKBUFFER_TYPE type, IDirect3DSurface8** surface);
    HRESULT GetDepthStencilSurface(IDirect3DSurface8** surface);
    HRESULT GetRenderTarget(IDirect3DSurface8** surface);
    // A null depth buffer renders without one. The viewport becomes the whole target.
    HRESULT SetRenderTarget(IDirect3DSurface8* target, IDirect3DSurface8* depth_stencil);
    // Copies the window's front buffer into an A8R8G8B8 system-memory surface of the
    // desktop's size, at the window's place on the desktop; the rest is black.
    HRESULT GetFrontBuffer(IDirect3DSurface8* dest);
    void SetGammaRamp(DWORD flags, const D3DGAMMARAMP* ramp);
    void GetGammaRamp(D3DGAMMARAMP* ramp) const;
    // Shows or hides the device cursor; returns whether it was shown.
    BOOL ShowCursor(BOOL show);

    HRESULT CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                          IDirect3DTexture8** texture);
    HRESULT CreateVertexBuffer(UINT length, DWORD usage, DWORD fvf, D3DPOOL pool,
                               IDirect3DVertexBuffer8** buffer);
    HRESULT CreateIndexBuffer(UINT length, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                              IDirect3DIndexBuffer8** buffer);
    HRESULT CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE samples,
                               BOOL lockable, IDirect3DSurface8** surface);
    HRESULT CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE samples,
                                      IDirect3DSurface8** surface);
    HRESULT CreateImageSurface(UINT width, UINT height, D3DFORMAT format, IDirect3DSurface8** surface);

    HRESULT BeginScene();
    HRESULT EndScene();
    // Clears the viewport (or the given rectangles within it) of the render target and depth
    // buffer.
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil);
    HRESULT SetViewport(const D3DVIEWPORT8* viewport);
    HRESULT GetViewport(D3DVIEWPORT8* viewport) const;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value);
    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) const;
    HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture8* texture);
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value);
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD* value) const;

    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, UINT start_vertex, UINT primitive_count);
    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, UINT min_index, UINT vertex_count, UINT start_index,
                                 UINT primitive_count);

    // Checks the declaration tokens and the vs.1.0/1.1 byte code; D3DERR_INVALIDCALL on bad
    // ones. `function_size` bounds the byte code in bytes (0: it is read up to its end token,
    // as the platform does).
    HRESULT CreateVertexShader(const DWORD* declaration, const DWORD* function, DWORD* handle, DWORD usage,
                               std::size_t function_size = 0);
    HRESULT SetVertexShader(DWORD handle); // a shader handle or an FVF code
    HRESULT DeleteVertexShader(DWORD handle);
    HRESULT SetVertexShaderConstant(DWORD first_register, const void* data, DWORD count);
    HRESULT SetStreamSource(UINT stream, IDirect3DVertexBuffer8* buffer, UINT stride);
    HRESULT SetIndices(IDirect3DIndexBuffer8* buffer, UINT base_vertex);

private:
    IDirect3DDevice8(IDirect3D8& d3d, UINT adapter, D3DDEVTYPE type, HWND window, DWORD flags,
                     const D3DPRESENT_PARAMETERS& params, const D3DCAPS8& caps);
    ~IDirect3DDevice8();

    HRESULT create_swap_chain(const D3DPRESENT_PARAMETERS& params);
    void release_swap_chain();
    HRESULT apply_window_mode(const D3DPRESENT_PARAMETERS& params);
    D3DFORMAT adapter_format() const;
    std::size_t default_pool_holds() const;
    IDirect3DSurface8* new_surface(const D3DSURFACE_DESC& desc, bool lockable);
    void set_default_state();
    void release_bindings();
    void track(IDirect3DResource8& resource);
    void forget(IDirect3DResource8& resource);
    HRESULT check_draw(const D3DDrawCall& call) const;
    void record_draw(const D3DDrawCall& call);
    void clear_in_memory(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                         DWORD stencil);

    IDirect3D8* m_d3d;
    UINT m_adapter;
    D3DDEVTYPE m_type;
    HWND m_window;
    DWORD m_flags;
    D3DCAPS8 m_caps;
    D3DPRESENT_PARAMETERS m_params{};
    // The state and counts live in a record of the stand-in's own, outside the platform's surface.
    std::unique_ptr<D3D8DeviceRecord> m_record;
    D3DDeviceState& m_state;
    D3DCallCounts& m_counts;
    ULONG m_refs = 1;
    HRESULT m_cooperative = D3D_OK; // D3DERR_DEVICELOST or D3DERR_DEVICENOTRESET when lost
    IDirect3DSurface8* m_back_buffer = nullptr;
    IDirect3DSurface8* m_front_buffer = nullptr;
    IDirect3DSurface8* m_auto_depth = nullptr;
    std::vector<IDirect3DResource8*> m_resources;
    std::vector<std::unique_ptr<D3DVertexShader>> m_shaders; // slot = handle >> 1
    std::unique_ptr<D3D8Backend> m_backend;
    friend class IDirect3D8;
    friend class IDirect3DResource8;
    friend class IDirect3DSurface8;
    template <typename Desc> friend class D3DBuffer8;
    friend class IDirect3DTexture8;
    // The stand-in's own view of the device (platform/impl/d3d8_state.h).
    friend const D3DDeviceState& d3d8_device_state(const IDirect3DDevice8& device);
    friend const D3DPRESENT_PARAMETERS& d3d8_present_parameters(const IDirect3DDevice8& device);
    friend DWORD d3d8_behavior_flags(const IDirect3DDevice8& device);
    friend IDirect3D8& d3d8_device_direct3d(const IDirect3DDevice8& device);
    friend UINT d3d8_device_adapter(const IDirect3DDevice8& device);
    friend D3DDEVTYPE d3d8_device_type(const IDirect3DDevice8& device);
    friend HWND d3d8_device_window(const IDirect3DDevice8& device);
    friend const D3DCallCounts& d3d8_call_counts(const IDirect3DDevice8& device);
    friend void d3d8_reset_call_counts(IDirect3DDevice8& device);
    friend const D3DVertexShader* d3d8_vertex_shader(const IDirect3DDevice8& device, DWORD handle);
    friend std::size_t d3d8_vertex_shader_count(const IDirect3DDevice8& device);
    friend IDirect3DSurface8& d3d8_back_buffer(const IDirect3DDevice8& device);
    friend IDirect3DSurface8* d3d8_front_buffer(const IDirect3DDevice8& device);
    friend IDirect3DSurface8* d3d8_auto_depth_stencil(const IDirect3DDevice8& device);
    friend D3D8Backend* d3d8_device_backend(const IDirect3DDevice8& device);
    friend std::size_t d3d8_default_pool_holds(const IDirect3DDevice8& device);
    friend ULONG d3d8_ref_count(const IDirect3DDevice8& device);
};

// ---- The adapter object ------------------------------------------------------------------------
// Answers from the machine description taken when it was created (see platform/impl/d3d8_seams.h).
class IDirect3D8 {
public:
    ULONG AddRef();
    ULONG Release();

    UINT GetAdapterCount() const;
    // D3DERR_INVALIDCALL for an adapter that does not exist.
    HRESULT GetAdapterIdentifier(UINT adapter, DWORD flags, D3DADAPTER_IDENTIFIER8* identifier) const;
    UINT GetAdapterModeCount(UINT adapter) const;
    HRESULT EnumAdapterModes(UINT adapter, UINT mode, D3DDISPLAYMODE* display_mode) const;
    HRESULT GetAdapterDisplayMode(UINT adapter, D3DDISPLAYMODE* mode) const;
    // D3DERR_NOTAVAILABLE when the device type cannot run with these formats.
    HRESULT CheckDeviceType(UINT adapter, D3DDEVTYPE type, D3DFORMAT display_format,
                            D3DFORMAT back_buffer_format, BOOL windowed) const;
    HRESULT CheckDeviceFormat(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format, DWORD usage,
                              D3DRESOURCETYPE resource_type, D3DFORMAT check_format) const;
    HRESULT CheckDeviceMultiSampleType(UINT adapter, D3DDEVTYPE type, D3DFORMAT surface_format, BOOL windowed,
                                       D3DMULTISAMPLE_TYPE samples) const;
    HRESULT CheckDepthStencilMatch(UINT adapter, D3DDEVTYPE type, D3DFORMAT adapter_format,
                                   D3DFORMAT render_target_format, D3DFORMAT depth_stencil_format) const;
    // D3DERR_NOTAVAILABLE for a device type the adapter lacks.
    HRESULT GetDeviceCaps(UINT adapter, D3DDEVTYPE type, D3DCAPS8* caps) const;
    // Checks the flags and present parameters as the platform does (D3DERR_INVALIDCALL,
    // D3DERR_NOTAVAILABLE) and takes over the window.
    HRESULT CreateDevice(UINT adapter, D3DDEVTYPE type, HWND focus_window, DWORD behavior_flags,
                         D3DPRESENT_PARAMETERS* params, IDirect3DDevice8** device);

private:
    explicit IDirect3D8(D3D8Machine machine);
    ~IDirect3D8();

    ULONG m_refs = 1;
    std::unique_ptr<D3D8Machine> m_machine;
    friend IDirect3D8* Direct3DCreate8(UINT sdk_version);
    friend const D3D8Machine& d3d8_machine(const IDirect3D8& d3d);
};

// Null when the SDK version is not 220 or the host has no video (or a test injected a failure).
IDirect3D8* Direct3DCreate8(UINT sdk_version);
