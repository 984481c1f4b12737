#include "game/g_tick.h"

#include "core/timer.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "lowlv/input/input_state.h"
#include "scenegraph/renderer.h"

std::uint8_t g_draw_frame = 0;
std::uint8_t g_whole_tick = 0;
std::uint8_t g_tick_active = 0;
std::uint8_t g_paused = 0;
std::uint8_t g_ai_paused = 0;

void game_run_tick()
{
    InputRecord& current = g_input_ring.records[g_input_ring.current];
    const InputRecord kept = current;
    game_tick();
    current = kept;
}

void game_tick()
{
    g_paused = g_ai_paused = 0;
    g_draw_frame = g_tick_index == 1;
    g_tick_active = g_draw_frame || g_whole_tick;
    if (g_draw_frame) {
        g_d3d_device->BeginScene();
        renderer_reset_frame_state();
    }
    // The world covers the whole screen; only the title and demo screens clear the target too.
    if (g_draw_frame) renderer_begin_frame(D3DCLEAR_ZBUFFER);
    renderer_set_frame_constants();
}
