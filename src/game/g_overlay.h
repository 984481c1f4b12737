// What is drawn over the 3-D view as layers of render-queue row 13, after the world and in key
// order: the queueing and the screen quad the layers share, and the darkness of dark scenes.
#pragma once

#include "lowlv/d3d/d3d_state.h"
#include "platform/d3d8.h"
#include "scenegraph/renderer.h"
#include "scenegraph/renderer_queue.h"

#include <cstdint>

// Queues the callback with its object as the row-13 layer `key` (RQ_LAYER_*); a full row drops
// it for this frame.
void hud_queue_layer(std::uint32_t key, RqCallback callback, void* user);
// Four pre-transformed vertices in strip order, drawn as two triangles with the texture on
// stage 0 and the material.
void hud_draw_screen_quad(const ScreenVertex (&quad)[4], IDirect3DTexture8* texture, MaterialFlags material);

// The player wears the lamp (item 18).
bool game_lamp_worn();
// The darkness of a dark scene: the overlay image stretched over the whole back buffer, its
// light centred on the player's head (the middle of the screen without a player) and pulsing
// with the lamp. A row-13 callback; the item and the object are not used.
void game_draw_screen_effect_cb(RenderQueueItem* item, void* user);
