#include "game/g_rules.h"

#include "core/text.h"
#include "game/g_play_state.h"
#include "object/actor/go_actor.h"

#include "core/maths.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <span>

std::uint32_t g_menu_open;

namespace {

// The slots in use come from a game flag that scripts write; a count beyond the list reads
// only the list.
bool in_first_slots(std::span<const std::int32_t> slots, std::int32_t in_use, std::int32_t id)
{
    const auto count =
        static_cast<std::size_t>(std::clamp(in_use, 0, static_cast<std::int32_t>(slots.size())));
    return std::ranges::find(slots.first(count), id) != slots.first(count).end();
}

// The angle step of the engine's degree conversions, as stored data was made with it.
constexpr float k_degree = 0.017453292f;
constexpr std::int64_t k_random_compass_low = -1;
constexpr std::int64_t k_random_compass_high = 360;
constexpr std::uint32_t k_random_compass_steps = 7; // 0 to 270 degrees in steps of 45

} // namespace

bool game_has_item(std::int32_t id)
{
    const std::int32_t* flags = g_play_state.game_flags;
    if (id < ITEM_WEAPON_FIRST || id > ITEM_CARRIED_LAST) return false;
    if (id < ITEM_SHIELD_FIRST) return flags[GF_WEAPON] == id;
    if (id < ITEM_ARMOUR_FIRST) return flags[GF_SHIELD] == id;
    if (id < ITEM_RING_FIRST) return flags[GF_ARMOUR] == id;
    if (id < ITEM_CARRIED_FIRST) return in_first_slots(g_play_state.ring_slots, flags[GF_RING_SLOTS], id);
    return in_first_slots(g_play_state.item_list, flags[GF_ITEM_SLOTS], id);
}

// A "load" arrival takes its snapshot at the end of the transition, once the new scene stands.
void save_store_snapshot()
{
    PlayState& ps = g_play_state;
    if (sys_names_equal(ps.arrival.tag, "load")) return;
    if (g_player) {
        const D3DXMATRIX& world = g_player->world;
        ps.saved_position[0] = world._41;
        ps.saved_position[1] = world._42 - g_player->hover_height - g_player->foot_offset;
        ps.saved_position[2] = world._43;
        ps.saved_facing = g_player->attack_facing;
    }
    ps.requested_scene_id = ps.scene_id;
    play_store_retry_snapshot();
    ps.requested_scene_id = 0;
}

float scene_angle_from_compass(std::int32_t degrees)
{
    const std::int64_t a = degrees;
    if (a == k_random_compass_low || a == k_random_compass_high)
        return static_cast<float>(((math_rand_u32() >> 17) % k_random_compass_steps) * 45) * k_degree;
    // In 64 bits, so no stored value overflows on its way into 0..359.
    std::int64_t b = 90 - a;
    b = b >= 0 ? b % 360 : 360 - (a - 90) % 360;
    if (b >= 180) b -= 360;
    return static_cast<float>(b) * k_degree;
}

float scene_angle_wrap(float degrees)
{
    float r = std::fmod(degrees, 360.0f);
    if (r >= 180.0f) r -= 360.0f;
    return r * k_degree;
}

void hud_format_time(std::uint32_t ms, char* out, std::size_t size)
{
    // The placeholder's escapes lay out dashes where the digits stand.
    static constexpr char k_no_time[] = "-#>3-#>1:#>2-#>3-#>1:#>2-#>3-#>3-#>1";
    static_assert(sizeof k_no_time == 37 && sizeof k_no_time <= HUD_TIME_TEXT_SIZE);
    if (ms == 0) {
        sys_copy_string(out, k_no_time, size);
        return;
    }
    std::snprintf(out, size, "%u:%02u:%02u:%03u", ms / 3600000u, ms / 60000u % 60u, ms / 1000u % 60u,
                  ms % 1000u);
}
