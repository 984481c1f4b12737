#include "game/g_play_state.h"

#include "core/scramble.h"

#include <cstring>
#include <span>

PlayState g_play_state;
std::uint8_t g_retry_snapshot[PLAY_STATE_SIZE];

namespace {

// The snapshot never leaves memory, so any seed serves; an odd one keeps the keystream from
// running into zero keys.
constexpr std::uint32_t k_snapshot_seed = 0x5A3C96E1;

} // namespace

PlayState& play_state_get()
{
    return g_play_state;
}

void play_store_retry_snapshot()
{
    std::memcpy(g_retry_snapshot, &g_play_state, PLAY_STATE_SIZE);
    save_scramble(g_retry_snapshot, k_snapshot_seed);
}

void play_restore_retry_snapshot()
{
    std::memcpy(&g_play_state, g_retry_snapshot, PLAY_STATE_SIZE);
    save_unscramble(std::span(reinterpret_cast<std::uint8_t*>(&g_play_state), PLAY_STATE_SIZE),
                    k_snapshot_seed);
}

SceneLighting& play_scene_lighting()
{
    // Made on first use: the renderer's defaults are not ready while globals are constructed.
    static SceneLighting lighting = g_scene_lighting_defaults;
    return lighting;
}
