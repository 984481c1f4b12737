#include "game/g_tick.h"
#include "gfx/g_gfx.h"
#include "object/actor/go_actor.h"
#include "object/xx/go_xx.h"

#include <cmath>

namespace {

// How far the light is through its current phase, 0..1; a phase of no length is over at once.
float phase_progress(const PointLightState& light)
{
    const std::uint32_t length = light.phase_end[light.phase] - light.phase_start[light.phase];
    if (length == 0) return 1.0f;
    return static_cast<float>(light.counter - light.phase_start[light.phase]) / static_cast<float>(length);
}

// Moves the counter on a whole tick; false when the light has ended.
bool advance(PointLightState& light)
{
    ++light.counter;
    if (light.phase == 0 && light.counter >= light.phase_end[0]) light.phase = 1;
    if (light.phase == 1 && light.counter >= light.phase_end[1]) {
        if (!light.params.loop) return false;
        light.counter = 0;
        light.phase = 0;
    }
    return true;
}

void light_slot(const GoXx& object, const PointLightState& light)
{
    const LightParams& keys = light.params;
    const std::uint32_t from = light.phase;
    const std::uint32_t to = from + 1;
    const float t = phase_progress(light);
    const D3DXVECTOR4 colour(std::lerp(keys.colour[from][0], keys.colour[to][0], t),
                             std::lerp(keys.colour[from][1], keys.colour[to][1], t),
                             std::lerp(keys.colour[from][2], keys.colour[to][2], t), 0.0f);
    const D3DXVECTOR3 position(object.world._41, object.world._42, object.world._43);
    // A slot outside the table's four lights nothing (script and effect data can carry one).
    gfx_set_point_light(keys.slot, position, colour, std::lerp(keys.range[from], keys.range[to], t),
                        std::lerp(keys.attenuation[from], keys.attenuation[to], t));
}

} // namespace

void goxx_init_point_light(GoXx& object, const LightParams& params)
{
    goxx_set_subtype(object, GOXX_POINT_LIGHT);
    PointLightState& light = object.area<PointLightState>();
    light = PointLightState{};
    light.params = params;
    const auto first = static_cast<std::uint32_t>(params.phase_ticks[0]);
    const auto second = static_cast<std::uint32_t>(params.phase_ticks[1]);
    light.phase_start[1] = light.phase_end[0] = first;
    light.phase_end[1] = first + second;
}

void goxx_update_point_light(GoXx& object)
{
    PointLightState& light = object.area<PointLightState>();
    // No pause test: a light keeps animating under the camp menu.
    if (g_whole_tick) {
        if (light.follow_player && g_player != nullptr) {
            object.world._41 = g_player->world._41;
            object.world._42 = g_player->world._42;
            object.world._43 = g_player->world._43;
        }
        if (!advance(light)) {
            go_kill(object);
            return;
        }
    }
    if (g_draw_frame) light_slot(object, light);
}
