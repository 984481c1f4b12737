#include "game/g_play_status.h"

#include "game/g_achievements.h"
#include "game/g_scn_data.h"
#include "game/g_sound.h"
#include "gfx/go_effect.h"
#include "gfx/go_popup.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"
#include "object/actor/player_hud.h"
#include "object/obj_pools.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>

namespace {

constexpr float k_level_span = static_cast<float>(PLAY_LEVEL_MAX - 1);
constexpr float k_max_mp = 3000.0f;
constexpr float k_equip_max_hp = 999.0f;
constexpr float k_level_up_heal = 9999.0f;
constexpr float k_alive_hp = 1.0f;
constexpr std::int32_t k_level_up_sound = 5;
constexpr std::int32_t k_level_up_effect = 99;
constexpr std::int32_t k_full_volume = 1024;
constexpr D3DCOLOR k_level_up_colour = 0xFF00;
constexpr float k_level_up_size = 0.65f;
constexpr float k_level_up_lift = 0.5f;

constexpr std::int32_t k_first_ring = 18;
constexpr std::uint32_t k_ring_bits[] = {0x100, 0x2000, 0x4000, 0x400, 0x8000, 0x1000}; // items 18-23

// Types from 84 up share the rows after the first two.
constexpr std::int32_t k_shared_row_types = 84;
constexpr std::int32_t k_shared_row_offset = 82;
// The types with hand-set values and their own Easy relief.
constexpr std::int32_t k_tuned_first = 57;
constexpr std::int32_t k_tuned_last = 68;
constexpr std::int32_t k_battle_boosted_type = 48;
constexpr std::int32_t k_gold_linear_from = 31;

float curve_at(const LevelCurve& curve, float t)
{
    return curve.first + (curve.last - curve.first) * t;
}

float level_fraction(std::int32_t level)
{
    return static_cast<float>(level - 1) / k_level_span;
}

// The experience of the first `steps` level steps: reaching level L takes L - 1 of them.
float exp_for_steps(std::int32_t steps)
{
    const LevelCurve& step = g_gameinfo.player_exp_step;
    const float growth = step.last - step.first;
    float sum = 0.0f;
    for (std::int32_t k = 1; k <= steps; ++k)
        sum += step.first + growth * static_cast<float>(k - 1) / k_level_span;
    return sum;
}

std::int32_t game_flag(int entry)
{
    return g_play_state.game_flags[entry];
}

bool is_alive(const StatusBlock& status)
{
    return status.hp >= k_alive_hp;
}

// "Level Up" over the player; a full popup pool shows none.
void show_level_up_popup()
{
    if (!g_player) return;
    GoPopup* popup = obj_create<GoPopup>(g_pool_popup);
    if (!popup) return;
    popup->SetText("Level Up", k_level_up_colour, k_level_up_size);
    D3DXVECTOR3 at = matrix_position(g_player->world);
    at.y += k_level_up_lift;
    matrix_set_position(popup->world, at);
}

// A player already falling keeps falling; without a player nothing stops the heal.
bool player_defeated()
{
    return g_player != nullptr && g_player->script.current_action == ANI_ACTION_DEFEAT;
}

void celebrate_level_up()
{
    show_level_up_popup();
    if (g_player) eft_start_attached(k_level_up_effect, g_player->world, eft_row_for(g_player->submerged));
    sound_play(k_level_up_sound, k_full_volume);
}

// True when at least one level was gained.
bool run_level_ups()
{
    PlayState& ps = g_play_state;
    StatusBlock& status = ps.status;
    bool gained = false;
    // A defeated player keeps its experience; the check runs again when next asked while alive.
    while (is_alive(status) && status.level < PLAY_LEVEL_MAX) {
        ps.next_level_exp = exp_for_steps(status.level);
        ps.level_start_exp = exp_for_steps(status.level - 1);
        if (status.exp < ps.next_level_exp) break;
        ps.recompute_bits |= PLAY_RECOMPUTE_BASE;
        ++status.level;
        gained = true;
        achv_count_stop_now(status.level);
        celebrate_level_up();
    }
    if (status.level >= PLAY_LEVEL_MAX) {
        ps.next_level_exp = 0.0f;
        ps.level_start_exp = 0.0f;
    }
    return gained;
}

void compute_base_values()
{
    PlayState& ps = g_play_state;
    const float t = level_fraction(ps.status.level);
    const float previous_max_hp = ps.base_max_hp;
    ps.base_max_hp = std::floor(curve_at(g_gameinfo.player_hp, t)) + ps.max_hp_bonus;
    ps.status.hp += ps.base_max_hp - previous_max_hp;
    ps.base_max_mp = k_max_mp;
    ps.base_atk = std::floor(curve_at(g_gameinfo.player_attack, t)) + ps.atk_bonus;
    ps.base_def = std::floor(curve_at(g_gameinfo.player_defence, t)) + ps.def_bonus;
    ps.base_fourth = ps.fourth_factor * g_gameinfo.fourth_factor + g_gameinfo.fourth_addend;
}

// Hit points and magic are held to the maxima after the equipment clamp, so a maximum cut to 999
// never leaves more hit points than it.
void apply_base_and_equipment(StatusBlock& status, const std::int32_t (&levels)[PLAY_EQUIP_LEVELS],
                              EquipBonus& bonus)
{
    const PlayState& ps = g_play_state;
    status.max_hp = ps.base_max_hp;
    status.max_mp = ps.base_max_mp;
    status.atk = ps.base_atk;
    status.def = ps.base_def;
    status.luck = ps.base_fourth;
    play_equip_bonus(levels, bonus, status);
    status.hp = std::min(status.hp, status.max_hp);
    status.mp = std::min(status.mp, status.max_mp);
}

void copy_status_to_player()
{
    if (g_player == nullptr || g_player->cast != ACTOR_CAST_HERO) return;
    g_player->status = g_play_state.status;
    g_play_state.recompute_bits &= ~PLAY_RECOMPUTE_TO_PLAYER;
}

// The worn item's level and power, or 0 when the game flag holds no equipment id (-1 is none;
// scripts may write anything else).
float equipment_bonus(std::int32_t item, const std::int32_t (&levels)[PLAY_EQUIP_LEVELS],
                      std::int32_t level_weight)
{
    if (item < 0 || item >= PLAY_EQUIP_LEVELS) return 0.0f;
    return static_cast<float>(level_weight * levels[item] + scn_data_item(item).power);
}

std::uint32_t ring_bits(const std::int32_t (&slots)[PLAY_RING_SLOTS], std::int32_t slots_in_use)
{
    const std::int32_t count = std::clamp(slots_in_use, 0, PLAY_RING_SLOTS);
    std::uint32_t bits = 0;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::int32_t ring = slots[i] - k_first_ring;
        if (ring >= 0 && ring < static_cast<std::int32_t>(std::size(k_ring_bits))) bits |= k_ring_bits[ring];
    }
    return bits;
}

float level_scale(float scale)
{
    return std::pow(2.0f, (scale - 50.0f) / 20.0f);
}

float scaled_curve(float scale, const LevelCurve& curve, float t)
{
    return std::floor(level_scale(scale) * curve_at(curve, t));
}

float gold_base(std::int32_t level)
{
    if (level >= k_gold_linear_from) return static_cast<float>(level * 10 - 200);
    return 4.0f * std::pow(5.0f, static_cast<float>(level / 15));
}

bool is_tuned_type(std::int32_t type)
{
    return type >= k_tuned_first && type <= k_tuned_last;
}

void apply_tuned_values(std::int32_t type, StatusBlock& status)
{
    switch (type) {
    case 57:
    case 58:
    case 59:
        status.def -= 3.0f;
        break;
    case 64:
        status.atk -= 1.0f;
        break;
    case 65:
        status.max_hp = 3300.0f;
        status.def -= 5.0f;
        break;
    case 66:
        if (game_flag(GF_ARENA_SETUP) <= 1) {
            status.max_hp = 700.0f;
            status.atk += 3.0f;
            status.def += 4.0f;
        } else {
            status.max_hp = 3500.0f;
            status.def -= 5.0f;
        }
        break;
    case 68:
        status.max_hp = 4000.0f;
        status.atk -= 2.0f;
        status.def -= 5.0f;
        break;
    default:
        break;
    }
}

void apply_difficulty(std::int32_t type, StatusBlock& status)
{
    const std::int32_t difficulty = game_flag(GF_DIFFICULTY);
    if (difficulty < 1) return;
    if (game_flag(GF_BATTLE) != 0 && type == k_battle_boosted_type) {
        status.atk += 5.0f;
        status.def += 5.0f;
    }
    status.max_hp *= difficulty == 1 ? 1.25f : 1.5f;
}

void lower_combat_values(StatusBlock& status, float amount)
{
    status.atk -= amount;
    status.def -= amount;
}

// The tuned types grow milder the more often the player retried.
void apply_easy_tuned(std::int32_t type, StatusBlock& status)
{
    constexpr float k_weak_element = -0.5f;
    switch (type) {
    case 61:
        status.def -= 13.0f;
        status.resist[0] = k_weak_element;
        break;
    case 62:
    case 63:
        status.def -= 12.5f;
        status.resist[0] = k_weak_element;
        break;
    case 64:
        status.def -= 9.0f;
        break;
    case 66:
        if (game_flag(GF_ARENA_SETUP) >= 1) lower_combat_values(status, 5.0f);
        break;
    default:
        break;
    }
    if (game_flag(GF_TIME_ATTACK) != 0) return;
    const std::int32_t retries = game_flag(GF_RETRY_COUNT);
    if (retries >= 50)
        lower_combat_values(status, 10.0f);
    else if (retries >= 20)
        lower_combat_values(status, 5.0f);
}

void apply_easy(std::int32_t type, StatusBlock& status)
{
    if (game_flag(GF_EASY) == 0) return;
    if (is_tuned_type(type))
        apply_easy_tuned(type, status);
    else
        lower_combat_values(status, 10.0f);
}

} // namespace

void play_compute_exp_totals(std::int32_t level)
{
    PlayState& ps = g_play_state;
    const std::int32_t clamped = std::clamp(level, 1, PLAY_LEVEL_MAX);
    ps.status.level = clamped;
    ps.next_level_exp = exp_for_steps(clamped - 1);
    ps.level_start_exp = exp_for_steps(clamped - 2);
    ps.status.exp = ps.next_level_exp;
    ps.recompute_bits |= PLAY_RECOMPUTE_LEVEL_UP | PLAY_RECOMPUTE_BASE;
    play_update_status();
}

void play_update_status()
{
    PlayState& ps = g_play_state;
    std::uint32_t& bits = ps.recompute_bits;
    bool levelled_up = false;
    if (bits & PLAY_RECOMPUTE_LEVEL_UP) {
        bits = (bits & ~PLAY_RECOMPUTE_LEVEL_UP) | PLAY_RECOMPUTE_TO_PLAYER;
        levelled_up = run_level_ups();
    }
    if (bits & PLAY_RECOMPUTE_BASE) {
        bits = (bits & ~PLAY_RECOMPUTE_BASE) | PLAY_RECOMPUTE_EQUIP | PLAY_RECOMPUTE_TO_PLAYER;
        compute_base_values();
    }
    if (bits & PLAY_RECOMPUTE_EQUIP) {
        bits = (bits & ~PLAY_RECOMPUTE_EQUIP) | PLAY_RECOMPUTE_TO_PLAYER;
        apply_base_and_equipment(ps.status, ps.equip_levels, ps.equip_bonus);
        if (levelled_up && is_alive(ps.status) && !player_defeated()) player_add_hp(k_level_up_heal);
    }
    if (bits & PLAY_RECOMPUTE_TO_PLAYER) {
        copy_status_to_player();
        player_sync_hud_gauges();
    }
}

void play_equip_bonus(const std::int32_t (&levels)[PLAY_EQUIP_LEVELS], EquipBonus& out, StatusBlock& status)
{
    out = {};
    out.unit = 1.0f;
    out.gold_rate = out.exp_rate = out.third_rate = out.charge_rate = 1.0f;
    out.atk_bonus = equipment_bonus(game_flag(GF_WEAPON), levels, 2);
    out.def_bonus =
        equipment_bonus(game_flag(GF_ARMOUR), levels, 1) + equipment_bonus(game_flag(GF_SHIELD), levels, 1);
    out.accessory_bits = ring_bits(g_play_state.ring_slots, game_flag(GF_RING_SLOTS));

    status.max_hp = std::min(status.max_hp, k_equip_max_hp);
    status.max_mp = std::min(status.max_mp, k_max_mp);
    status.atk += out.atk_bonus;
    status.def += out.def_bonus;
    status.luck += out.third_bonus;
}

void play_equip_stats(StatusBlock& out, const std::int32_t (&levels)[PLAY_EQUIP_LEVELS], EquipBonus& bonus)
{
    out = g_play_state.status;
    apply_base_and_equipment(out, levels, bonus);
}

void play_apply_level_stats(std::int32_t type, GoActor& actor, std::int32_t level)
{
    // Scripts fix an actor's values with this bit.
    if (actor.extra_flags & ACTOR_EXTRA_FIXED_VALUES) return;
    const EnemyInfo& row = scn_data_enemy(type >= k_shared_row_types ? type - k_shared_row_offset : type);
    if (level == 0) level = row.default_level;

    StatusBlock& status = actor.status;
    status.level = level;
    const float t = level_fraction(level);
    status.max_hp = scaled_curve(row.hp_scale, g_gameinfo.enemy_hp, t);
    status.atk = scaled_curve(row.attack_scale, g_gameinfo.enemy_attack, t);
    status.def = scaled_curve(row.defence_scale, g_gameinfo.enemy_defence, t);
    status.exp = scaled_curve(row.exp_scale, g_gameinfo.enemy_exp, t);
    status.luck = static_cast<float>(level) * row.fourth_per_level + row.fourth_base;
    std::copy(std::begin(row.resistances), std::end(row.resistances), status.resist);
    status.table_byte = row.status_byte;
    status.gold = static_cast<std::int32_t>(std::floor(level_scale(row.gold_scale) * gold_base(level)));

    apply_tuned_values(type, status);
    apply_difficulty(type, status);
    apply_easy(type, status);
    if (game_flag(GF_VERY_EASY) != 0) status.max_hp *= 0.75f;
    status.hp = status.max_hp;
}
