#include "core/text.h"
#include "game/g_fade.h"
#include "game/g_gameover.h"
#include "game/g_region.h"
#include "game/g_scene.h"
#include "gfx/go_effect.h"
#include "object/actor/go_actor.h"
#include "object/go_script.h"
#include "object/obj_pools.h"
#include "object/xx/go_xx.h"

#include <cmath>

RegionTable<RegionEntry, REGION_ENTRY_COUNT> g_region_entries;

namespace {

// The name the exit's lock-holding script object bears; it runs no script.
constexpr const char* k_lock_name = "dummy";

// An object nobody has removed yet: not new, not dead.
bool in_play(const GoBase& object)
{
    return object.flags == 0;
}

D3DXVECTOR3 position_of(const GoBase& object)
{
    return {object.world._41, object.world._42, object.world._43};
}

// Everything that falls into a pit leaves play, but the player: its fall ends in the exit.
void clear_pit(const RegionEntry& pit)
{
    for (std::int32_t i = 0; i < g_pool_actor.count; ++i) {
        auto& actor = *static_cast<GoActor*>(g_pool_actor.active[i]);
        if (&actor == g_player || !in_play(actor) || !region_shape_contains(pit.shape, position_of(actor)))
            continue;
        // What follows it ends with it instead of hanging on where it fell.
        eft_stop_by_matrix(&actor.world);
        actor_kill(actor);
    }
    for (std::int32_t i = 0; i < g_pool_xx.count; ++i) {
        auto& drop = *static_cast<GoXx*>(g_pool_xx.active[i]);
        if (drop.role != GOXX_ITEM_DROP || !in_play(drop) ||
            !region_shape_contains(pit.shape, position_of(drop)))
            continue;
        go_kill(drop);
    }
}

// Easy mode's No-Fall: the scene is entered again with the player where it came in.
void start_rescue(RegionEntry& pit)
{
    g_fade.pending_scene = g_play_state.scene_id;
    if (g_player) {
        const D3DXVECTOR3& home = g_player->home_point;
        g_play_state.saved_position[0] = home.x;
        g_play_state.saved_position[1] = home.y;
        g_play_state.saved_position[2] = home.z;
    }
    g_play_state.saved_facing = EXIT_RESCUE_FACING;
    pit.exit_kind = EXIT_KIND_LOCK;
    g_no_fall = 2;
}

// A script object that only holds an event lock until the scene is cleared: the player stops
// and the scripts see an event running. The reference keeps the sweep from it.
void take_exit_lock()
{
    GoScript* lock = obj_create<GoScript>(g_pool_script);
    if (!lock) return;
    sys_copy_string(lock->name, k_lock_name, sizeof lock->name);
    ++lock->ref_count;
    go_kill(*lock);
    lock->BeginEvent(EVENT_LOCK_EVENT);
}

// The player walks on through the exit while the screen fades.
void walk_out(GoActor& player)
{
    const D3DXVECTOR3 position = actor_position(player);
    player.auto_walk_target[0] = position.x + EXIT_WALK_DISTANCE * std::cos(player.facing);
    player.auto_walk_target[1] = position.z + EXIT_WALK_DISTANCE * std::sin(player.facing);
    player.auto_walk_speed = EXIT_WALK_SPEED;
    player.auto_walk_factor = 1.0f;
    if (player.run_switch)
        player.movement_bits |= ACTOR_MOVE_RUNNING;
    else
        player.movement_bits &= ~ACTOR_MOVE_RUNNING;
}

} // namespace

void RegionEntry::Reset()
{
    used = 0;
    pit = 0;
    destination_scene = 0;
    arrival = {};
    destination_path[0] = '\0';
}

void region_entries_alloc()
{
    g_region_entries.Create();
}

void region_entries_free()
{
    g_region_entries.Destroy();
}

void region_entries_reset_all()
{
    g_region_entries.ResetAll();
}

int region_entry_alloc()
{
    return g_region_entries.Claim();
}

void region_entry_build(RegionEntry& region, const RegionEntryDesc& desc)
{
    region.Reset();
    region.pit = desc.pit;
    region.destination_scene = desc.destination_scene;
    sys_copy_string(region.arrival.tag, desc.tag ? desc.tag : "", sizeof region.arrival.tag);
    sys_copy_string(region.destination_path, desc.path ? desc.path : "", sizeof region.destination_path);
    region.arrival.position[0] = desc.position.x;
    region.arrival.position[1] = desc.position.y;
    region.arrival.position[2] = desc.position.z;
    region.arrival.facing = desc.facing;
    region.arrival.entry_value = desc.entry_value;
    region.exit_kind = desc.exit_kind;
}

bool region_entry_add(const RegionEntry& built, const Vec3& corner1, const Vec3& corner2, const Vec3& centre,
                      float heading)
{
    const int index = region_entry_alloc();
    if (index < 0) return false;
    RegionEntry& added = *g_region_entries.at(index);
    added = built;
    added.used = 1;
    region_shape_setup(added, centre, corner1, corner2, heading);
    return true;
}

void region_entry_update()
{
    for (RegionEntry& region : g_region_entries.in_use()) {
        if (!region.used) continue;
        if (g_player && region_shape_contains(region.shape, actor_position(*g_player)) && !g_game_over &&
            !script_event_running())
            region_entry_start_exit(region);
        if (region.pit) clear_pit(region);
    }
}

bool region_entry_contains(float x, float y, float z)
{
    const D3DXVECTOR3 point(x, y, z);
    for (const RegionEntry& region : g_region_entries.in_use())
        if (region.used && region_shape_contains(region.shape, point)) return true;
    return false;
}

void region_entry_start_exit(RegionEntry& region)
{
    // A rescue does not set the requested scene, so its own state keeps it from starting again.
    if (g_play_state.requested_scene_id != 0 || g_play_state.game_flags[GF_EXITS_OFF] != 0 || g_no_fall == 2)
        return;
    g_fade.value = 0.0f;
    g_fade.target = 1.0f;
    if (g_no_fall && region.pit && g_play_state.game_flags[GF_EASY] == 1) {
        start_rescue(region);
    } else {
        g_fade.pending_scene = region.destination_scene;
        g_fade.arrival = region.arrival;
        g_play_state.requested_scene_id = region.destination_scene;
    }
    if (!g_player) return;
    if (region.exit_kind == EXIT_KIND_LOCK)
        take_exit_lock();
    else
        walk_out(*g_player);
}
