#include "core/maths.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_sound.h"
#include "object/actor/go_actor.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::int32_t k_max_pull = 10;
constexpr float k_pull_step = 0.1f;

// The footstep of one floor surface: its first sound (0: silent), the ticks until the next step
// while walking (action 1) and otherwise, a random extra of up to `extra` - 1 ticks, and the
// mask that picks among the surface's variants.
struct FootstepRow {
    std::int32_t sound;
    std::uint8_t walk_interval;
    std::uint8_t other_interval;
    std::uint32_t extra;
    std::uint32_t mask;
};

constexpr FootstepRow k_footsteps[] = {
    {0, 10, 10, 0, 0},  {44, 13, 20, 0, 3}, {28, 13, 20, 1, 3}, {48, 13, 20, 2, 3}, {60, 13, 20, 0, 3},
    {24, 13, 20, 0, 3}, {32, 13, 20, 2, 3}, {36, 13, 20, 0, 3}, {40, 13, 20, 1, 3}, {20, 13, 20, 0, 3},
    {28, 13, 20, 0, 3}, {52, 13, 20, 0, 3}, {56, 13, 20, 2, 3}, {40, 13, 20, 0, 3}, {64, 13, 20, 0, 3},
};
static_assert(std::size(k_footsteps) == ACTOR_SURFACE_LIQUID + 1);

constexpr std::uint8_t k_shallow_water_surface = 3; // wading anywhere but in the second liquid
constexpr std::int32_t k_walk_action = 1;
constexpr std::int32_t k_hero_dash_action = 266;      // the hero steps twice as fast
constexpr std::int32_t k_own_trail_walk_action = 267; // cast 80's second walk

// The clamped pull is kept in the flag, so a script that overshot reads it back in range.
std::int32_t sound_pull()
{
    std::int32_t& pull = g_play_state.game_flags[GF_ACTOR_SOUND_PULL];
    pull = std::clamp(pull, 0, k_max_pull);
    return pull;
}

std::uint32_t footstep_surface(std::int32_t override, const GoActor& actor)
{
    if (actor.wading)
        return actor.standing_surface == ACTOR_SURFACE_LIQUID ? ACTOR_SURFACE_LIQUID
                                                              : k_shallow_water_surface;
    const std::uint32_t surface =
        static_cast<std::uint32_t>(override != 0 ? override : actor.standing_surface);
    return surface > ACTOR_SURFACE_LIQUID ? 0 : surface;
}

std::uint8_t footstep_interval(const FootstepRow& row, const GoActor& actor)
{
    const std::int32_t action = actor.script.current_action;
    if (actor.cast == ACTOR_CAST_HERO && action == k_hero_dash_action) return row.walk_interval / 2;
    if (actor.cast == ACTOR_CAST_OWN_TRAIL && action == k_own_trail_walk_action) return row.walk_interval;
    return action == k_walk_action ? row.walk_interval : row.other_interval;
}

} // namespace

void actor_play_sound(GoActor& actor, std::int32_t id)
{
    if (actor.mute || actor.out_of_view) return;
    D3DXVECTOR3 at = actor_position(actor);
    const std::int32_t pull = sound_pull();
    if (pull > 0 && g_player != nullptr)
        at += (actor_position(*g_player) - at) * (static_cast<float>(pull) * k_pull_step);
    sound_play_at(id, at.x, at.y, at.z);
}

void actor_play_footstep(std::int32_t override, GoActor& actor)
{
    if (actor.out_of_view || actor.flying || !actor.on_ground || actor.submerged) return;
    const FootstepRow& row = k_footsteps[footstep_surface(override, actor)];
    if (row.sound != 0) {
        const std::uint32_t variation = actor.variation_counter++;
        actor_play_sound(actor, row.sound + static_cast<std::int32_t>(row.mask & variation));
    }
    actor.footstep_repeat_counter = footstep_interval(row, actor);
    if (row.extra > 0)
        actor.footstep_repeat_counter += static_cast<std::uint8_t>((math_rand_u32() >> 26) % row.extra);
}
