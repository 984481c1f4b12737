// The screen fade: one colour over the whole screen whose opacity moves toward a target by a rate
// each logic step. It carries the pending exit, requesting the scene change once the fade has
// arrived, and draws the grey overlay that the play state switches on.
#pragma once

#include "game/g_play_state.h"
#include "object/go_script.h"
#include "scenegraph/renderer_queue.h"

#include <cstdint>
#include <span>

// Pre-transformed, coloured: x, y, z, rhw, diffuse, specular.
struct FadeVertex {
    float x, y, z, rhw;
    std::uint32_t diffuse;
    std::uint32_t specular;
};
static_assert(sizeof(FadeVertex) == 24);

struct FadeState {
    float value;                // 0 clear .. 1 covered
    float target;               // where the value moves to
    float rate;                 // per logic step
    std::uint32_t color;        // RGB
    std::uint32_t second_color; // RGB, the quad's specular
    FadeVertex quad[4];         // strip order
    std::int32_t pending_scene; // requested once the fade has arrived; 0 none
    ArrivalRecord arrival;      // handed to the play state with the request
};
static_assert(sizeof(FadeState) == 220);

constexpr std::uint32_t FADE_LAYER_BEHIND_HUD = 0x09000000;
constexpr std::uint32_t FADE_LAYER_FRONT = 0x01000001; // over every row-13 layer but the FPS

extern FadeState g_fade;
extern std::uint32_t g_fade_layer; // the fade's row-13 key; the grey overlay is drawn at key + 1

// Covered, fading in at 0.05 a step, black, nothing pending, behind the HUD; then the geometry.
void fade_reset();
// The quad over the device's back buffer; again after every device reset.
void fade_init_geometry();
void fade_set_colors(std::uint32_t color, std::uint32_t second_color);
// Once a logic step after the game tick: moves the value, or, once the fade stands at its target,
// requests the pending scene; on drawn frames queues the overlay and the fade.
void fade_update();
// Row-13 callbacks; `user` is the fade record.
void fade_draw_cb(RenderQueueItem* item, void* user);
void fade_draw_overlay_cb(RenderQueueItem* item, void* user);

// The fade has arrived at its target.
bool script_fade_done();
// The event-script commands of the fade, ids 70-74.
std::span<const ScriptCommandRow> fade_script_commands();
