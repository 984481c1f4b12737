#include "game/g_hud.h"

#include "core/maths.h"
#include "core/timer.h"
#include "game/g_achievements.h"
#include "game/g_gameover.h"
#include "game/g_image_table.h"
#include "game/g_overlay.h"
#include "game/g_play_state.h"
#include "game/g_rules.h"
#include "game/g_scene.h"
#include "game/g_settings.h"
#include "game/g_ta.h"
#include "game/g_tick.h"
#include "gfx/text_bitmap.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_state.h"
#include "object/actor/go_actor.h"
#include "object/actor/player_hud.h"
#include "scenegraph/model.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

constexpr float k_gauge_rate = 0.02f;
constexpr float k_glide_per_step = 0.2f;
constexpr float k_player_bar_width = 162.0f; // 160 pixels and the frame's two
constexpr float k_enemy_bar_width = 206.0f;  // 204 pixels and the frame's two
constexpr D3DCOLOR k_gauge_colors[HUD_GAUGE_COUNT][3] = {
    {0xFF50E0F0, 0xFFD0F8F8, 0xFFE8F8F8},
    {0xFF50E0F0, 0xFFD0F8F8, 0xFFE8F8F8},
    {0xFF4040F0, 0xFFD0D0F8, 0xFFE8E8F8},
    {0xFF50E0F0, 0xFFD0F8F8, 0xFFE8F8F8},
};
// The pulse counters run in degrees; a whole turn changes no pulse, so they wrap there.
constexpr std::int32_t k_pulse_steps[3] = {3, 6, 16};
constexpr std::int32_t k_pulse_turn = 360;

constexpr float k_texels = 256.0f; // status_new.dds is addressed in texels
constexpr float k_hp_bar = 160.0f;
constexpr float k_exp_bar = 154.0f;
constexpr float k_exp_texels = 196.0f;
constexpr float k_timer_bar = 104.0f;
constexpr float k_powerup_ticks = 1800.0f;
constexpr float k_combo_ticks = 720.0f;
constexpr float k_boost_full = 30000.0f;
constexpr float k_boost_height = 52.0f;
constexpr float k_enemy_bar = 204.0f;
constexpr float k_icon = 24.0f;
constexpr float k_digit = 8.0f;
constexpr int k_gold_digits = 6;
constexpr int k_count_digits = 4;
constexpr std::int32_t k_gold_modulus = 1000000;
constexpr std::int32_t k_count_max = 9999;
constexpr std::int32_t k_magic_costs[3] = {300, 900, 600};
constexpr std::int32_t k_charged = 2; // the charge level of a fully charged cast
constexpr std::int32_t k_first_bracelet = 72;
constexpr std::int32_t k_last_bracelet = 74;

constexpr D3DCOLOR k_numbers_rgb = 0xA1E4C9;
constexpr D3DCOLOR k_combo_rgb = 0xF19040;
constexpr D3DCOLOR k_clock_color = 0xC000FFA0; // the play time and the frame rate
constexpr D3DCOLOR k_red_rgb = 0xFF0000;
constexpr D3DCOLOR k_white_rgb = 0xFFFFFF;
constexpr D3DCOLOR k_dim_mask = 0xFF303030;
constexpr std::int32_t k_level_max = 2;
constexpr float k_icon_sprite = 22.4f;

struct QuadList {
    std::array<ScreenVertex, 4 * HUD_MAX_QUADS> vertices;
    std::size_t count = 0;
};
QuadList g_hud_quads;

float clamp01(float x)
{
    return std::isfinite(x) ? std::clamp(x, 0.0f, 1.0f) : 0.0f;
}

// value / max held to 0-1; an empty maximum reads 0.
float ratio(float value, float max)
{
    return max > 0.0f ? clamp01(value / max) : 0.0f;
}

constexpr HudGauge initial_gauge(int i)
{
    HudGauge g{};
    g.kind = static_cast<std::uint32_t>(i);
    g.flags = i == 2 ? 0 : HUD_GAUGE_SHOW_NUMBERS;
    g.width = i == HUD_GAUGE_ENEMY ? k_enemy_bar_width : k_player_bar_width;
    g.color_empty = k_gauge_colors[i][0];
    g.color_full = k_gauge_colors[i][1];
    g.color_third = k_gauge_colors[i][2];
    g.rate = k_gauge_rate;
    g.color = g.color_empty;
    return g;
}

D3DCOLOR hud_alpha_byte()
{
    return g_hud_color >> 24;
}

// The RGB with the HUD's alpha scaled by `scale` / 256.
D3DCOLOR with_alpha(D3DCOLOR rgb, std::uint32_t scale = 256)
{
    return ((hud_alpha_byte() * scale / 256) << 24) | (rgb & 0xFFFFFF);
}

// The HUD colour with its alpha scaled by the pulse of counter `c`.
D3DCOLOR pulse_color(std::int32_t c, std::int32_t base, float amplitude)
{
    const auto step = static_cast<std::int32_t>(static_cast<float>(c) * -256.0f / 360.0f);
    const std::int32_t i = (-64 - step) & 255;
    const std::int32_t v = base - static_cast<std::int32_t>(-amplitude * g_cos_table_256[i]);
    return with_alpha(k_white_rgb, static_cast<std::uint32_t>(std::max(v, 0)));
}

// A quad whose texture rectangle is in texture coordinates; a full list drops it.
void add_uv_quad(const QuadRect& uv, const QuadRect& screen, D3DCOLOR color)
{
    if (g_hud_quads.count == HUD_MAX_QUADS) return;
    renderer_quad_2d(uv, screen, color, &g_hud_quads.vertices[4 * g_hud_quads.count]);
    ++g_hud_quads.count;
}

// A quad from texels of the status image.
void add_quad(const QuadRect& texels, const QuadRect& screen, D3DCOLOR color)
{
    add_uv_quad({texels.x / k_texels, texels.y / k_texels, texels.width / k_texels, texels.height / k_texels},
                screen, color);
}

// A bar from the left with its trail toward the shown value, both at texel row `v` and `trail_v`.
void add_bar_with_trail(float x, float y, float bar, float value, float shown, float v, float trail_v)
{
    add_quad({0.0f, v, bar * value, 4.0f}, {x, y, bar * value, 4.0f}, g_hud_color);
    if (shown == value) return;
    const float width = bar * (shown - value);
    add_quad({bar * value, trail_v, width, 4.0f}, {x + bar * value, y, width, 4.0f}, g_hud_color);
}

// Right-aligned digits without leading zeros, the last at `last_x`.
void add_digits(std::int32_t value, int digits, float last_x, float texel_x)
{
    float x = last_x;
    for (int i = 0; i < digits; ++i) {
        const std::int32_t d = value % 10;
        add_quad({texel_x + static_cast<float>(d) * k_digit, 16.0f, k_digit, k_digit},
                 {x, 471.5f, k_digit, k_digit}, g_hud_color);
        value /= 10;
        if (value == 0) return;
        x -= k_digit;
    }
}

// The texel row of the bracelet kind, or -1 without a bracelet of items 72-74.
std::int32_t selected_bracelet()
{
    const std::int32_t item = g_play_state.selected_magic;
    return item >= k_first_bracelet && item <= k_last_bracelet ? item - k_first_bracelet : -1;
}

void add_magic_bar(std::int32_t kind, D3DCOLOR color)
{
    const PlayState& ps = g_play_state;
    const float value = ratio(ps.status.mp, ps.status.max_mp);
    const float v = 24.0f + 4.0f * static_cast<float>(kind);
    add_quad({0.0f, v, k_hp_bar * value, 4.0f}, {31.5f, 463.5f, k_hp_bar * value, 4.0f}, color);
}

float timer_ratio(std::int64_t ticks, float full)
{
    return clamp01(static_cast<float>(std::max<std::int64_t>(ticks, 0)) / full);
}

// min(255, ticks) as an alpha scale; counters below 0 read 0.
std::uint32_t fade_scale(std::int64_t ticks)
{
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(ticks, 0, 255));
}

void draw_quads(std::size_t first, IDirect3DTexture8* texture, MaterialFlags material)
{
    const std::size_t quads = g_hud_quads.count - first;
    if (quads == 0) return;
    if (material != g_current_material) renderer_set_material_state(material);
    d3d_set_texture_cached(0, texture);
    DynamicBuffer& buffer = renderer_use_vb_rhw_tex();
    const auto vertices = static_cast<UINT>(4 * quads);
    UINT start = 0;
    if (!renderer_vb_upload(vertices, buffer, &g_hud_quads.vertices[4 * first], start)) return;
    g_d3d_device->SetIndices(g_renderer_ibs[RIB_QUADS].indices, start);
    g_d3d_device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, vertices, 0, static_cast<UINT>(2 * quads));
}

void draw_small_right(const char* text, float right, float y, D3DCOLOR color)
{
    float width = 0.0f, height = 0.0f;
    text_measure_small(text, width, height);
    text_draw_small(text, right - width, y, color);
}

// The equipment slots and the magic slot: their icon and, for equipment, its level.
void draw_slot(int slot, std::int32_t item, std::int32_t first, std::int32_t last, bool equipment)
{
    if (item < first || item > last) return;
    const float x = 61.0f + k_icon * static_cast<float>(slot);
    const float y = 431.0f;
    const bool dimmed = g_play_state.game_flags[item] == 0;
    const D3DCOLOR color = dimmed ? (g_hud_color & k_dim_mask) : g_hud_color;
    ScreenVertex quad[4];
    renderer_quad_2d({0.0f, 0.0f, 1.0f, 1.0f}, {x, y, k_icon_sprite, k_icon_sprite}, color, quad);
    hud_draw_screen_quad(quad, g_texture_handles[IMAGE_TABLE_ITEM_ICON_FIRST + item], HUD_MATERIAL_PULSE);
    if (!equipment) return;
    const std::int32_t level = g_play_state.equip_levels[item];
    char text[16];
    if (level >= k_level_max)
        std::snprintf(text, sizeof text, "Max");
    else
        std::snprintf(text, sizeof text, "Lv%d", level + 1);
    draw_small_right(text, x + 21.0f, y + 12.0f, with_alpha(dimmed ? k_red_rgb : k_white_rgb));
}

void draw_equipment()
{
    const std::int32_t* flags = g_play_state.game_flags;
    draw_slot(0, flags[GF_WEAPON], ITEM_WEAPON_FIRST, ITEM_SHIELD_FIRST - 1, true);
    draw_slot(1, flags[GF_ARMOUR], ITEM_ARMOUR_FIRST, ITEM_RING_FIRST - 1, true);
    draw_slot(2, flags[GF_SHIELD], ITEM_SHIELD_FIRST, ITEM_ARMOUR_FIRST - 1, true);
    draw_slot(3, g_play_state.selected_magic, k_first_bracelet, k_first_bracelet + 5, false);
}

void draw_powerups()
{
    const PlayState& ps = g_play_state;
    struct Powerup {
        std::uint32_t bit;
        int timer;
        const char* format;
        float value;
        float y;
        D3DCOLOR rgb;
    };
    const Powerup powerups[] = {
        {0x10, 2, "mp speed x %1.1f", ps.mp_factor, 408.0f, 0xFFFF60},
        {0x8, 1, "def add + %2.1f", ps.def_bonus, 400.0f, 0x6060FF},
        {0x1, 0, "str add + %2.1f", ps.atk_bonus, 392.0f, 0xFF6060},
    };
    char text[48];
    for (const Powerup& p : powerups) {
        if (!(ps.powerup_bits & p.bit)) continue;
        std::snprintf(text, sizeof text, p.format, static_cast<double>(p.value));
        text_draw_small(text, 0.0f, p.y, with_alpha(p.rgb, fade_scale(ps.powerup_ticks[p.timer])));
    }
}

void draw_combo()
{
    const PlayState& ps = g_play_state;
    if (!(g_hud_gauges[HUD_GAUGE_HP].flags & HUD_GAUGE_SHOW_NUMBERS) || !g_player || ps.combo_count <= 0)
        return;
    const D3DCOLOR color = with_alpha(k_combo_rgb, fade_scale(2 * static_cast<std::int64_t>(ps.combo_timer)));
    char text[48];
    std::snprintf(text, sizeof text, "HIT %d", ps.combo_count);
    hud_draw_text(color, text, 0.0f, 434.0f);
    std::snprintf(text, sizeof text, "exp rate x %1.2f", 1.0 + ps.combo_count * 0.01);
    text_draw_small(text, 0.0f, 416.0f, color);
}

void draw_play_time()
{
    const std::int32_t* flags = g_play_state.game_flags;
    const std::uint32_t ms = hud_ticks_to_ms(flags[GF_PLAY_FRAMES]);
    achv_update_play_time(ms);
    if (g_show_fps != 1 || flags[GF_TIME_ATTACK] != 0) return;
    char time[HUD_TIME_TEXT_SIZE];
    hud_format_time(ms, time, sizeof time);
    char text[HUD_TIME_TEXT_SIZE + 16];
    std::snprintf(text, sizeof text, "Play Time %s", time);
    text_draw_small(text, 50.0f, 0.0f, k_clock_color);
}

std::uint32_t best_ms(std::int32_t boss)
{
    const std::int32_t difficulty = g_play_state.game_flags[GF_DIFFICULTY];
    if (difficulty < 0 || difficulty >= TA_DIFFICULTY_COUNT || boss < 0 || boss >= TA_BOSS_COUNT) return 0;
    return g_ta_records.entries[ta_index(difficulty, boss)].best_ms;
}

// "--:--:---" in the large font; returns where it starts.
float draw_no_time(float x, float y, float scale)
{
    text_draw_large(x, y, g_hud_color, g_font_large, scale, "--:--:---");
    return x;
}

void draw_time_attack()
{
    const bool single_stage = g_title_time_attack_index != 0;
    float start = single_stage
                      ? draw_no_time(530.0f, 0.0f, 1.0f)
                      : hud_draw_time(static_cast<std::uint32_t>(std::max(g_timeattack_total_ticks, 0)),
                                      490.0f, 0.0f, 1.0f, true);
    text_draw_large(start - 14.0f, 0.0f, g_hud_color, g_font_large, 1.0f, "/");
    hud_draw_time(static_cast<std::uint32_t>(std::max(g_timeattack_stage_ticks, 0)), start - 14.0f - 160.0f,
                  0.0f, 1.0f, true);

    start = single_stage ? draw_no_time(563.0f, 20.0f, 0.7f)
                         : hud_draw_time(best_ms(0), 535.0f, 20.0f, 0.7f, false);
    text_draw_large(start - 9.8f, 20.0f, g_hud_color, g_font_large, 0.7f, "/");
    hud_draw_time(best_ms(g_play_state.game_flags[GF_TA_STAGE]), start - 9.8f - 112.0f, 20.0f, 0.7f, false);
}

void draw_easy_helpers()
{
    const std::int32_t* flags = g_play_state.game_flags;
    if (flags[GF_EASY] == 0) return;
    const D3DCOLOR save_color = with_alpha(0xAAAAFF);
    if (flags[GF_VERY_EASY] != 0 && g_player && flags[GF_QUICK_SAVE_OK] != 0) {
        text_draw_small("Quick Save (F12)", 500.0f, 8.0f, save_color);
        if (g_player->quick_save != 0) {
            text_draw_small("-LOAD-", 593.0f, 8.0f, save_color);
            text_draw_small("(F11) -DELETE-", 566.0f, 16.0f, with_alpha(0x8888FF));
        } else {
            text_draw_small("-SAVE-", 593.0f, 8.0f, save_color);
        }
    }
    if (flags[GF_BATTLE] == 0)
        text_draw_small(g_no_fall != 0 ? "No-Fall (F1): ON" : "No-Fall (F1): OFF", 534.0f, 0.0f,
                        with_alpha(0xFF8888));
}

} // namespace

HudGauge g_hud_gauges[HUD_GAUGE_COUNT] = {initial_gauge(0), initial_gauge(1), initial_gauge(2),
                                          initial_gauge(3)};

void hud_gauges_init()
{
    for (int i = 0; i < HUD_GAUGE_COUNT; ++i)
        g_hud_gauges[i] = initial_gauge(i);
}

void hud_gauge_set(std::uint32_t owner, int gauge, float value, float max)
{
    HudGauge& g = g_hud_gauges[gauge];
    // Every status recompute refreshes the player's gauges; an unchanged target keeps the glide
    // that is running instead of cutting it short.
    if (owner != g.owner)
        g.shown = value;
    else if (value != g.target)
        g.shown = g.target;
    g.target = value;
    g.owner = owner;
    g.flags = HUD_GAUGE_SET_FLAGS;
    g.counter = 0;
    g.max = max;
    g.pixels_per_unit = max > 0.0f ? (g.width - 2.0f) / max : 0.0f;
    hud_gauge_color(gauge);
}

void hud_gauge_bind(std::uint32_t owner, int gauge, float value, float max)
{
    hud_gauge_set(owner, gauge, value, max);
    g_hud_gauges[gauge].shown = value;
}

void hud_gauge_update(int gauge)
{
    HudGauge& g = g_hud_gauges[gauge];
    if (g.kind == HUD_GAUGE_HP && !g_world_frozen) {
        for (int i = 0; i < 3; ++i)
            g_play_state.hud_anim[i] = (g_play_state.hud_anim[i] + k_pulse_steps[i]) % k_pulse_turn;
    }
    if (g.shown == g.target) return;
    if (!(g.max > 0.0f)) {
        g.shown = g.target;
    } else {
        const float move = g.max * g.rate * (g_frame_step * k_glide_per_step);
        if (std::fabs(g.target - g.shown) <= move)
            g.shown = g.target;
        else
            g.shown += g.shown < g.target ? move : -move;
    }
    hud_gauge_color(gauge);
}

void hud_gauge_color(int gauge)
{
    HudGauge& g = g_hud_gauges[gauge];
    const float x = ratio(g.target, g.max);
    D3DCOLOR color = g.color_empty & 0xFF000000;
    for (int shift = 0; shift < 24; shift += 8) {
        const auto empty = static_cast<std::int32_t>((g.color_empty >> shift) & 0xFF);
        const auto full = static_cast<std::int32_t>((g.color_full >> shift) & 0xFF);
        const std::int32_t channel = empty + static_cast<std::int32_t>(static_cast<float>(full - empty) * x);
        color |= static_cast<D3DCOLOR>(channel & 0xFF) << shift;
    }
    g.color = color;
}

void hud_gauges_release()
{
    for (HudGauge& g : g_hud_gauges)
        g.owner = 0;
}

void hud_hide_now()
{
    g_hud_alpha = 0.0f;
    g_hud_color = k_white_rgb;
}

bool hud_gauge_active(int gauge)
{
    return g_hud_gauges[gauge].owner != 0;
}

std::span<const ScreenVertex> hud_vertices()
{
    return {g_hud_quads.vertices.data(), 4 * g_hud_quads.count};
}

std::size_t hud_quad_count()
{
    return g_hud_quads.count;
}

void hud_clear_quads()
{
    g_hud_quads.count = 0;
}

void hud_draw_status()
{
    const PlayState& ps = g_play_state;
    const HudGauge& hp = g_hud_gauges[HUD_GAUGE_HP];
    add_quad({0.0f, 120.0f, 60.0f, 57.0f}, {-0.5f, 423.5f, 60.0f, 57.0f}, g_hud_color);
    add_quad({0.0f, 176.0f, 144.0f, 17.0f}, {51.5f, 453.5f, 144.0f, 17.0f}, g_hud_color);
    add_bar_with_trail(31.5f, 457.5f, k_hp_bar, ratio(hp.target, hp.max), ratio(hp.shown, hp.max), 0.0f,
                       4.0f);

    const float span = ps.next_level_exp - ps.level_start_exp;
    const float exp = span != 0.0f ? clamp01((ps.status.exp - ps.level_start_exp) / span) : 0.0f;
    add_quad({0.0f, 12.0f, k_exp_texels * exp, 1.0f}, {33.5f, 453.5f, k_exp_bar * exp, 1.0f}, g_hud_color);

    const float timers[4] = {
        timer_ratio(ps.powerup_ticks[0], k_powerup_ticks), timer_ratio(ps.powerup_ticks[1], k_powerup_ticks),
        timer_ratio(ps.powerup_ticks[2], k_powerup_ticks), timer_ratio(ps.combo_timer, k_combo_ticks)};
    for (int i = 0; i < 4; ++i) {
        const float r = timers[i] * k_timer_bar;
        add_quad({0.0f, 196.0f + 8.0f * static_cast<float>(i), r, 8.0f},
                 {-0.5f, 393.5f + 8.0f * static_cast<float>(i), r, 8.0f}, g_hud_color);
    }

    const std::int32_t bracelet = selected_bracelet();
    if (bracelet >= 0)
        add_quad({0.0f, 48.0f + k_icon * static_cast<float>(bracelet), k_icon, k_icon},
                 {2.5f, 450.5f, k_icon, k_icon}, g_hud_color);

    add_quad({208.0f, 0.0f, 12.0f, 8.0f}, {114.5f, 471.5f, 12.0f, 8.0f}, g_hud_color);
    add_quad({220.0f, 0.0f, 12.0f, 8.0f}, {52.5f, 471.5f, 12.0f, 8.0f}, g_hud_color);
    for (int i = 0; i < 4; ++i)
        add_quad({232.0f, 0.0f, k_icon, k_icon},
                 {59.5f + k_icon * static_cast<float>(i), 429.5f, k_icon, k_icon}, g_hud_color);

    add_digits(std::max(ps.status.gold, 0) % k_gold_modulus, k_gold_digits, 173.75f, 0.25f);
    add_digits(std::clamp(ps.game_flags[GF_DUSCA], 0, k_count_max), k_count_digits, 95.75f, 96.25f);
}

void hud_draw_mp_bar()
{
    const std::int32_t kind = player_magic_type();
    if (!hud_gauge_active(HUD_GAUGE_MP) || kind == PLAYER_MAGIC_NONE) return;
    const PlayState& ps = g_play_state;
    const float v = 24.0f + 4.0f * static_cast<float>(kind);
    add_bar_with_trail(31.5f, 463.5f, k_hp_bar, ratio(ps.status.mp, ps.status.max_mp),
                       ratio(ps.mp_trail, ps.status.max_mp), v, 36.0f + 4.0f * static_cast<float>(kind));
}

void hud_draw_charge()
{
    const std::int32_t kind = player_magic_type();
    if (!hud_gauge_active(HUD_GAUGE_MP) || kind == PLAYER_MAGIC_NONE) return;
    const PlayState& ps = g_play_state;
    if (ps.status.mp < static_cast<float>(k_magic_costs[kind])) return;
    const bool charged = ps.charge_level == k_charged;
    const D3DCOLOR color = pulse_color(ps.hud_anim[charged ? 1 : 0], 204, 51.0f);
    add_magic_bar(kind, color);
    const std::int32_t bracelet = selected_bracelet();
    if (bracelet < 0) return;
    const float s = charged ? 1.0f : 0.0f;
    add_quad({k_icon + k_icon * s, 48.0f + k_icon * static_cast<float>(bracelet), k_icon, k_icon},
             {2.5f, 450.5f, k_icon, k_icon}, color);
}

void hud_draw_boost()
{
    const float b = std::isfinite(g_play_state.boost_gauge)
                        ? std::clamp(g_play_state.boost_gauge, 0.0f, k_boost_full)
                        : 0.0f;
    const float f = 1.0f - b / k_boost_full;
    const QuadRect texels{60.0f, 124.0f + k_boost_height * f, 48.0f, k_boost_height * (1.0f - f)};
    const QuadRect screen{-0.5f, 427.5f + k_boost_height * f, 48.0f, k_boost_height * (1.0f - f)};
    if (b < k_boost_full) {
        add_quad(texels, screen, with_alpha(k_white_rgb, 221));
        return;
    }
    const D3DCOLOR color = pulse_color(g_play_state.hud_anim[2], 153, 102.0f);
    add_quad(texels, screen, color);
    add_quad(texels, screen, color);
}

void hud_draw_texts()
{
    draw_equipment();
    const HudGauge& hp = g_hud_gauges[HUD_GAUGE_HP];
    char text[48];
    if (hp.flags & HUD_GAUGE_SHOW_NUMBERS) {
        std::snprintf(text, sizeof text, "%d/%d", static_cast<int>(hp.target), static_cast<int>(hp.max));
        hud_draw_text(with_alpha(k_numbers_rgb), text, 160.0f, 440.0f);
    }
    draw_powerups();
    draw_combo();
    draw_play_time();
    if (g_play_state.game_flags[GF_TIME_ATTACK] != 0) draw_time_attack();
    draw_easy_helpers();
}

void hud_draw_gauge()
{
    const HudGauge& g = g_hud_gauges[HUD_GAUGE_ENEMY];
    if (g.flags & HUD_GAUGE_SHOW_NUMBERS) {
        char text[48];
        std::snprintf(text, sizeof text, "%d/%d", static_cast<int>(g.target), static_cast<int>(g.max));
        hud_draw_text(with_alpha(k_numbers_rgb), text, 501.0f, 445.0f);
    }
    const float r = ratio(g.target, g.max);
    const float s = ratio(g.shown, g.max);
    const std::size_t first = g_hud_quads.count;
    add_uv_quad({0.0f, 0.25f, 1.0f, 1.0f}, {383.5f, 449.5f, 256.0f, 48.0f}, g_hud_color);
    if (s != r)
        add_uv_quad({k_enemy_bar * (1.0f - s) / 256.0f, 0.125f, k_enemy_bar * (s - r) / 256.0f, 0.0625f},
                    {409.5f + k_enemy_bar * (1.0f - s), 462.5f, k_enemy_bar * (s - r), 4.0f}, g_hud_color);
    add_uv_quad({k_enemy_bar * (1.0f - r) / 256.0f, 0.0625f, k_enemy_bar * r / 256.0f, 0.0625f},
                {409.5f + k_enemy_bar * (1.0f - r), 462.5f, k_enemy_bar * r, 4.0f}, g_hud_color);
    draw_quads(first, g_texture_handles[IMAGE_TABLE_HUD_ENEMY], HUD_MATERIAL_BARS);
}

void hud_draw_text(D3DCOLOR colour, const char* text, float x, float y)
{
    text_draw_large(x, y, colour, g_font_middle, 1.0f, text);
}

float hud_draw_time(std::uint32_t time, float x, float y, float scale, bool ticks)
{
    const std::uint32_t ms = ticks ? hud_ticks_to_ms(time) : time;
    const std::uint32_t hours = ms / 3600000u;
    const std::uint32_t minutes = ms / 60000u % 60u;
    const std::uint32_t seconds = ms / 1000u % 60u;
    char text[32];
    if (hours != 0) {
        std::snprintf(text, sizeof text, "%02u:%02u:%02u:%03u", hours, minutes, seconds, ms % 1000u);
    } else {
        std::snprintf(text, sizeof text, "%02u:%02u:%03u", minutes, seconds, ms % 1000u);
        x += 34.0f * scale;
    }
    text_draw_large(x, y, g_hud_color, g_font_large, scale, text);
    return x;
}

std::uint32_t hud_ticks_to_ms(std::int64_t ticks)
{
    constexpr std::int64_t k_max = std::numeric_limits<std::uint32_t>::max();
    if (ticks <= 0) return 0;
    if (ticks > k_max) return static_cast<std::uint32_t>(k_max);
    return static_cast<std::uint32_t>(std::min(ticks * 1000 / 60, k_max));
}

void hud_draw_cb(RenderQueueItem*, void*)
{
    hud_clear_quads();
    d3d_set_texture_cached(0, nullptr);
    if (HUD_MATERIAL_FLUSH != g_current_material) renderer_set_material_state(HUD_MATERIAL_FLUSH);

    IDirect3DTexture8* status = g_texture_handles[IMAGE_TABLE_HUD_STATUS];
    std::size_t first = hud_quad_count();
    if (hud_gauge_active(HUD_GAUGE_HP)) hud_draw_boost();
    draw_quads(first, status, HUD_MATERIAL_PULSE);

    first = hud_quad_count();
    if (hud_gauge_active(HUD_GAUGE_MP)) hud_draw_mp_bar();
    if (hud_gauge_active(HUD_GAUGE_HP)) hud_draw_status();
    draw_quads(first, status, HUD_MATERIAL_BARS);

    first = hud_quad_count();
    if (hud_gauge_active(HUD_GAUGE_MP)) hud_draw_charge();
    draw_quads(first, status, HUD_MATERIAL_PULSE);

    if (hud_gauge_active(HUD_GAUGE_HP)) hud_draw_texts();
    if (hud_gauge_active(HUD_GAUGE_ENEMY)) hud_draw_gauge();
}

void hud_draw_fps_cb(RenderQueueItem*, void*)
{
    char text[160];
    if (g_show_fps == 1) {
        std::snprintf(text, sizeof text, "fps:%d", g_fps);
    } else {
        char mode[128];
        d3d_mode_string(mode, sizeof mode);
        std::snprintf(text, sizeof text, "fps:%d %s", g_fps, mode);
    }
    text_draw_small(text, 0.0f, 0.0f, k_clock_color);
}

void hud_queue_overlays()
{
    if (hud_alpha_byte() != 0) hud_queue_layer(RQ_LAYER_HUD, hud_draw_cb, nullptr);
    if (g_show_fps != 0) hud_queue_layer(RQ_LAYER_FPS, hud_draw_fps_cb, nullptr);
}
