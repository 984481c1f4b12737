// Shared between the Direct3D 8 stand-in's files; nothing outside src/platform/d3d8_*.cpp uses it.
#pragma once

#include "platform/d3d8.h"
#include "platform/impl/d3d8_seams.h"

#include <optional>

// The armed failure for this call, or D3D_OK when the call may go ahead.
HRESULT d3d8_injected_failure(D3D8Call call);
// Counts a presented frame toward d3d8_seam_close_after_presents.
void d3d8_seam_note_present(HWND window);
// The next scripted TestCooperativeLevel result, if the script has one left.
std::optional<HRESULT> d3d8_next_cooperative();
void d3d8_log_draw(const D3DDrawCall& call, const D3DDeviceState& state);
// The padding d3d8_seam_pad_texture_pitch set for texture rows.
UINT d3d8_texture_pitch_padding();
D3D8BackendFactory d3d8_backend_factory();

// Null for an adapter or device type the machine lacks.
const D3D8AdapterProfile* d3d8_adapter_profile(const IDirect3D8& d3d, UINT adapter);
const D3D8DeviceTypeProfile* d3d8_type_profile(const IDirect3D8& d3d, UINT adapter, D3DDEVTYPE type);

// Checks present parameters for a device of that adapter and type as CreateDevice and Reset
// do, completing what the platform fills in (a windowed back buffer of size 0 takes the
// window's client size, a back-buffer count of 0 becomes 1).
HRESULT d3d8_check_present_parameters(const IDirect3D8& d3d, UINT adapter, D3DDEVTYPE type, HWND window,
                                      D3DPRESENT_PARAMETERS& params);

// Declaration tokens up to and including the end token: the elements and constants into
// `shader`, D3DERR_INVALIDCALL for bad tokens.
HRESULT d3d8_parse_declaration(const DWORD* declaration, D3DVertexShader& shader);
// vs.1.0/1.1 byte code up to and including the end token into `shader.function`;
// `max_tokens` 0 means unbounded. D3DERR_INVALIDCALL for bad code.
HRESULT d3d8_check_shader_function(const DWORD* function, std::size_t max_tokens, D3DVertexShader& shader);

// The vertices a draw of `count` primitives reads.
UINT d3d8_primitive_vertices(D3DPRIMITIVETYPE type, UINT count);
// A pixel of an uncompressed colour format as 0xAARRGGBB (formats without alpha read opaque),
// and the reverse.
DWORD d3d8_read_argb(D3DFORMAT format, const std::uint8_t* pixel);
void d3d8_write_argb(D3DFORMAT format, std::uint8_t* pixel, DWORD argb);
