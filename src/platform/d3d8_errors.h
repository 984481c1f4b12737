// Result codes of the Direct3D 8 stand-in.
#pragma once

#include "platform/win_types.h"

constexpr HRESULT make_d3dhresult(std::uint32_t code)
{
    return make_hresult(0x88760000u | code);
}

constexpr HRESULT D3DERR_WRONGTEXTUREFORMAT = make_d3dhresult(2072);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLOROPERATION = make_d3dhresult(2073);
constexpr HRESULT D3DERR_UNSUPPORTEDCOLORARG = make_d3dhresult(2074);
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAOPERATION = make_d3dhresult(2075);
constexpr HRESULT D3DERR_UNSUPPORTEDALPHAARG = make_d3dhresult(2076);
constexpr HRESULT D3DERR_TOOMANYOPERATIONS = make_d3dhresult(2077);
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREFILTER = make_d3dhresult(2078);
constexpr HRESULT D3DERR_UNSUPPORTEDFACTORVALUE = make_d3dhresult(2079);
constexpr HRESULT D3DERR_CONFLICTINGRENDERSTATE = make_d3dhresult(2081);
constexpr HRESULT D3DERR_UNSUPPORTEDTEXTUREFILTER = make_d3dhresult(2082);
constexpr HRESULT D3DERR_CONFLICTINGTEXTUREPALETTE = make_d3dhresult(2086);
constexpr HRESULT D3DERR_DRIVERINTERNALERROR = make_d3dhresult(2087);
constexpr HRESULT D3DERR_NOTFOUND = make_d3dhresult(2150);
constexpr HRESULT D3DERR_MOREDATA = make_d3dhresult(2151);
constexpr HRESULT D3DERR_DEVICELOST = make_d3dhresult(2152);
constexpr HRESULT D3DERR_DEVICENOTRESET = make_d3dhresult(2153);
constexpr HRESULT D3DERR_NOTAVAILABLE = make_d3dhresult(2154);
constexpr HRESULT D3DERR_OUTOFVIDEOMEMORY = make_d3dhresult(380);
constexpr HRESULT D3DERR_INVALIDDEVICE = make_d3dhresult(2155);
constexpr HRESULT D3DERR_INVALIDCALL = make_d3dhresult(2156);
constexpr HRESULT D3DERR_DRIVERINVALIDCALL = make_d3dhresult(2157);
