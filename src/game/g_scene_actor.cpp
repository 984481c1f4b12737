// The hero's arrival in a scene, and finding the scene's actors and cast records.
#include "core/errors.h"
#include "core/text.h"
#include "game/g_play_state.h"
#include "game/g_play_status.h"
#include "game/g_pointer.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "lowlv/input/input_state.h"
#include "object/actor/go_actor.h"
#include "object/actor/player_hud.h"
#include "object/obj_pools.h"

#include <cmath>
#include <cstring>

namespace {

constexpr const char* k_hero_cast = "CAST_BRAM";
// A stick turned further than this from the arrival facing is held against it: 4 pi / 7.
constexpr float k_stick_hold_angle = 1.7951958f;

const InputRecord& current_input()
{
    return g_input_ring.records[g_input_ring.current];
}

bool stick_against(float facing)
{
    const InputRecord& input = current_input();
    return input.direction != 0 && std::fabs(math_angle_diff(facing, input.angle)) > k_stick_hold_angle;
}

} // namespace

void scene_create_player(const D3DXVECTOR3& position, float facing)
{
    const CastInfo* cast = scene_find_cast(k_hero_cast);
    if (!cast) err_raise_code(ERR_OBJECT_NOT_FOUND, k_hero_cast, ERR_HERE);
    GoActor* actor = obj_create<GoActor>(g_pool_actor);
    if (!actor) return;
    const std::int32_t key = scene_alloc_actor_key(ACTOR_KEY_PLAYER);
    actor_setup(*actor, key, cast->behaviour_kind, cast->spawn_type, cast->script_set, cast->cast_number);

    const ArrivalRecord& arrival = g_play_state.arrival;
    D3DXVECTOR3 at = position;
    if (arrival.tag[0] != '\0') {
        at = D3DXVECTOR3(arrival.position[0], arrival.position[1], arrival.position[2]);
        facing = arrival.facing;
    }
    actor_set_position(at, *actor, facing);
    hud_place_pointer_on_circle(facing);
    if (stick_against(facing)) actor->stick_hold = 1;

    g_play_state.recompute_bits |= PLAY_RECOMPUTE_ALL;
    g_player = g_camera_focus = actor;
    play_update_status();
    player_sync_hud_gauges();
}

GoActor* scene_find_actor(std::int32_t key)
{
    for (std::int32_t i = 0; i < g_pool_actor.count; ++i) {
        auto* actor = static_cast<GoActor*>(g_pool_actor.active[i]);
        if (!(actor->flags & GO_FLAG_DEAD) && actor->key == key) return actor;
    }
    return nullptr;
}

std::int32_t scene_alloc_actor_key(std::int32_t wanted)
{
    if (wanted != 0 && !scene_find_actor(wanted)) return wanted;
    std::int32_t key = ACTOR_KEY_FREE;
    while (scene_find_actor(key))
        ++key;
    return key;
}

const CastInfo* scene_find_cast(const char* name)
{
    for (const CastInfo& cast : g_castinfo)
        if (std::strcmp(cast.name, name) == 0) return &cast;
    return nullptr;
}
