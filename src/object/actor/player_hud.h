// What the player shows on the HUD: its gauges and the kind of its selected magic.
#pragma once

#include <cstdint>

// The magic kinds of the bracelets: items 72-74 and their upgrades 75-77.
constexpr std::int32_t PLAYER_MAGIC_NONE = 3;

// With a player, gauge 0 takes its hit points and gauge 1 its magic, both owned by the player;
// without one both gauges lose their owner.
void player_sync_hud_gauges();
// 0, 1 or 2 for the selected magic bracelet (items 72/75, 73/76, 74/77), else PLAYER_MAGIC_NONE.
std::int32_t player_magic_type();
