#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_scn_data.h"
#include "object/actor/go_actor.h"

void actor_kill(GoActor& actor)
{
    if (actor.flags & GO_FLAG_DEAD) return;
    // An actor made outside the cast table (a test, a script's bare actor) counts in no record.
    if (actor.cast >= 0 && static_cast<std::size_t>(actor.cast) < g_castinfo.size())
        --g_castinfo[static_cast<std::size_t>(actor.cast)].live_count;
    std::int32_t& live_enemies = g_play_state.game_flags[GF_LIVE_ENEMIES];
    if ((actor.hit_shape.class_bits & HIT_ENEMY) && live_enemies > 0) --live_enemies;
    go_kill(actor);
}
