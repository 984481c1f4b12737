#include "object/actor/go_actor.h"

#include "game/g_play_state.h"
#include "gfx/go_effect.h"

namespace {

struct AuraRow {
    std::uint32_t bit;
    std::int32_t effect; // 0: the bit has no aura
};

using AuraSlots = ObjHandle<GoEffect>[ACTOR_AURA_SLOTS];

constexpr AuraRow k_ailment_auras[ACTOR_AURA_SLOTS] = {{0x01, 137}, {0x08, 140}, {0x10, 138}, {0x20, 139}};
constexpr AuraRow k_powerup_auras[ACTOR_AURA_SLOTS] = {{0x01, 0}, {0x08, 265}, {0x10, 266}, {0x20, 267}};

void detach(const AuraRow (&rows)[ACTOR_AURA_SLOTS], std::uint32_t bits, AuraSlots& slots)
{
    for (int i = 0; i < ACTOR_AURA_SLOTS; ++i) {
        if (!(bits & rows[i].bit)) continue;
        if (GoEffect* aura = slots[i].get()) aura->stop_request = 1;
        slots[i] = {};
    }
}

// An aura follows the hero's position, in the water's effect row while the hero is submerged.
void attach(const AuraRow (&rows)[ACTOR_AURA_SLOTS], std::uint32_t bits, AuraSlots& slots,
            const GoActor& hero)
{
    const std::uint8_t row = eft_row_for(hero.submerged);
    for (int i = 0; i < ACTOR_AURA_SLOTS; ++i) {
        if (!(bits & rows[i].bit) || rows[i].effect == 0 || slots[i]) continue;
        slots[i] = ObjHandle<GoEffect>(eft_start_attached(rows[i].effect, hero.world, row));
    }
}

} // namespace

void player_ailment_auras_detach()
{
    if (g_player) detach(k_ailment_auras, g_play_state.ailment_bits, g_player->ailment_auras);
}

void player_ailment_auras_attach()
{
    if (g_player) attach(k_ailment_auras, g_play_state.ailment_bits, g_player->ailment_auras, *g_player);
}

void player_powerup_auras_detach()
{
    if (g_player) detach(k_powerup_auras, g_play_state.powerup_bits, g_player->powerup_auras);
}

void player_powerup_auras_attach()
{
    if (g_player) attach(k_powerup_auras, g_play_state.powerup_bits, g_player->powerup_auras, *g_player);
}
