// Sizes of the Direct3D 8 formats. Not a call of the platform: the engine's own DDS reader lays
// out a file's levels with them, as the D3DX loaders do, and the two must agree.
#pragma once

#include "platform/d3d8.h"

// Bytes per pixel of an uncompressed format, 0 for block-compressed and unknown ones.
UINT d3d8_format_bytes(D3DFORMAT format);
// Bytes of one 4x4 block of a block-compressed format, 0 for the others.
UINT d3d8_format_block_bytes(D3DFORMAT format);
bool d3d8_format_is_compressed(D3DFORMAT format);
