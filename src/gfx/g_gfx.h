// The game's graphics glue: the vertex-shader constants that game drawing shares, the two
// draw hooks the game hands the renderer at start-up, and the frame's point lights.
#pragma once

#include "platform/d3dx8.h"
#include "scenegraph/locus_curve.h"

struct DynamicBuffer;
struct StatusBlock;

// The identity-world registers with the camera's own projection. The renderer's hook after the
// triangle batches; effects, windows and 2-D drawing call it before they draw.
void gfx_set_common_vs_constants();
// The same with the biased projection that lets ground decals win the depth test. It is the
// multi-purpose objects' upload, kept here because the renderer's hook before the batches is it.
void shader_set_common_constants();
// Installs both as the renderer's hooks around the triangle batches.
void gfx_install_renderer_hooks();

// The sword-trail curves "sword0" to "sword5": curve n of the sword trails.
constexpr int SWORD_TRAIL_CURVES = 6;
extern TrailCurve g_sword_trail_curves[SWORD_TRAIL_CURVES];
// Loads the six curves from "data\effect\<name>.sl2"; the first that fails is fatal, with the
// result's text and the path.
void gfx_load_sword_trails();

// renderer_vb_upload under the name the effect drawing uses, so the append rules of the shared
// dynamic buffers stay in one place: appends `count` vertices, writes the first one's index to
// `start`, and gives false, with nothing copied, when the lock fails.
bool gfx_dynvb_write(UINT count, DynamicBuffer& buffer, const void* vertices, UINT& start);

// After the device's creation and every reset: each triangle batch takes the texture of its
// image-table entry (batch 0 to 10: entries 30, 31, 32, 14, 14, 33, 34, 35, 36, 15, 14), null
// where the entry has none, so that batch draws untextured.
void gfx_restore_device_objects();

// Lights slot 0-3 of the renderer's point-light block for this frame only: the frame start
// clears the ranges, and a slot whose two ranges are both 0 is dark. Any other slot is ignored.
void gfx_set_point_light(int slot, const D3DXVECTOR3& position, const D3DXVECTOR4& color, float first_range,
                         float second_range);

// Gives a status block the timed element state of `channel` (0-3): its tint byte takes the channel,
// that element's resistance becomes -0.05 and the others 1.0. Channel -1, and any channel outside
// -1..3, ends the state: the tint byte becomes STATUS_ELEMENT_NONE and the resistances 0.
void gfx_set_tint_channel(StatusBlock& record, int channel);
