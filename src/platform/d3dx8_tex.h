// D3DX 8 texture loaders: a texture from an image file on disk or in memory. They read DDS
// (uncompressed RGB of any masks, DXT1 to DXT5) and BMP (run-length ones too), PNG, TGA and
// JPEG files, choose the closest format the device takes (DXT blocks are decompressed when it
// takes none), scale to the requested size, build the missing mip levels with a box filter and
// fill every level.
#pragma once

#include "platform/d3d8.h"

constexpr UINT D3DX_DEFAULT = 0xFFFFFFFF;

constexpr DWORD D3DX_FILTER_NONE = 1;
constexpr DWORD D3DX_FILTER_POINT = 2;
constexpr DWORD D3DX_FILTER_LINEAR = 3;
constexpr DWORD D3DX_FILTER_TRIANGLE = 4;
constexpr DWORD D3DX_FILTER_BOX = 5;

constexpr HRESULT D3DXERR_INVALIDDATA = make_d3dhresult(2905);

enum D3DXIMAGE_FILEFORMAT : DWORD {
    D3DXIFF_BMP = 0,
    D3DXIFF_JPG = 1,
    D3DXIFF_TGA = 2,
    D3DXIFF_PNG = 3,
    D3DXIFF_DDS = 4,
};

// What the file held, before any conversion.
struct D3DXIMAGE_INFO {
    UINT Width;
    UINT Height;
    UINT Depth;
    UINT MipLevels;
    D3DFORMAT Format;
    D3DRESOURCETYPE ResourceType;
    D3DXIMAGE_FILEFORMAT ImageFileFormat;
};

struct PALETTEENTRY {
    BYTE peRed, peGreen, peBlue, peFlags;
};

// Width and height D3DX_DEFAULT (or 0) take the file's; mip levels 0 or D3DX_DEFAULT make the
// whole chain; format D3DFMT_UNKNOWN takes the file's. A pixel equal to the non-zero colour
// key (0xAARRGGBB) becomes transparent black. The filters are accepted and a box filter is
// used. `info` and `palette` may be null (no palettised format is made). D3DXERR_INVALIDDATA
// for a missing or unreadable file or an image larger than the device's largest texture,
// D3DERR_NOTAVAILABLE when the device takes no close format.
HRESULT D3DXCreateTextureFromFileExA(IDirect3DDevice8* device, const char* file, UINT width, UINT height,
                                     UINT mip_levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
                                     DWORD filter, DWORD mip_filter, D3DCOLOR color_key, D3DXIMAGE_INFO* info,
                                     PALETTEENTRY* palette, IDirect3DTexture8** texture);
HRESULT D3DXCreateTextureFromFileInMemoryEx(IDirect3DDevice8* device, const void* data, UINT size, UINT width,
                                            UINT height, UINT mip_levels, DWORD usage, D3DFORMAT format,
                                            D3DPOOL pool, DWORD filter, DWORD mip_filter, D3DCOLOR color_key,
                                            D3DXIMAGE_INFO* info, PALETTEENTRY* palette,
                                            IDirect3DTexture8** texture);
