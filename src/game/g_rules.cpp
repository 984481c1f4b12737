#include "game/g_rules.h"

#include "core/maths.h"
#include "core/text.h"
#include "game/g_fade.h"
#include "game/g_gameover.h"
#include "game/g_play_state.h"
#include "game/g_play_status.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "game/g_sound.h"
#include "gfx/go_effect.h"
#include "gfx/go_popup.h"
#include "lowlv/audio/audio_params.h"
#include "object/actor/go_actor.h"
#include "object/actor/player_hud.h"
#include "object/obj_pools.h"
#include "object/wnd/go_wnddialog.h"
#include "object/wnd/go_wndmain2.h"
#include "object/wnd/go_wndshop2.h"
#include "object/xx/go_xx.h"
#include "scenegraph/renderer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
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

constexpr float k_alive_hp = 1.0f;
constexpr std::int32_t k_revive_action = 4; // getting up

// The pools of the camp menu and the shop hold one object each; a dead one still counts until
// the sweep, as it is still closing.
template <typename Window> Window* only_window(const MemPool<Window>& pool)
{
    return pool.count > 0 ? static_cast<Window*>(pool.active[0]) : nullptr;
}

bool player_alive()
{
    return g_play_state.status.hp >= k_alive_hp;
}

// ---- Item use -------------------------------------------------------------------------------------
constexpr std::int32_t k_recovery_first = 24;
constexpr std::int32_t k_recovery_last = 39;
constexpr std::int32_t k_item_dash = 46;
constexpr std::int32_t k_item_mirror = 60;
constexpr std::int32_t k_item_freeze = 61;
constexpr std::int32_t k_item_max_hp = 63;
constexpr std::int32_t k_aura_mirror = 357;
constexpr std::int32_t k_aura_freeze = 356;
constexpr std::int32_t k_aura_other = 100;
constexpr std::int32_t k_sound_recovery = 102;
constexpr std::int32_t k_sound_item = 104;
constexpr std::int32_t k_sound_frozen = 110;
constexpr std::int32_t k_mirror_charges = 3;
constexpr std::int32_t k_freeze_ticks = 297;
constexpr std::int32_t k_freeze_action = 315;
constexpr std::int32_t k_freeze_effect = 0;
constexpr std::int32_t k_freeze_mark_effect = 37;
constexpr D3DCOLOR k_popup_colour = 0xFF00;
constexpr float k_popup_lift = 0.5f;
constexpr float k_popup_text_scale = 0.65f;
constexpr float k_popup_plain_scale = 1.0f;
constexpr const char* k_dash_scene = "s_00\\s_0000\\";
constexpr const char* k_dash_script = "s_quilmar.xso";
constexpr const char* k_map_folder = "data\\map\\";
constexpr float k_easy_max_hp_gain = 10.0f;
constexpr float k_max_hp_gain[] = {3.0f, 2.0f, 1.0f}; // by GF_DIFFICULTY

// What the popup says; a scale of 0 shows nothing.
struct ItemText {
    char text[POPUP_TEXT_SIZE] = {};
    float scale = 0.0f;
};

ItemText item_text(const char* text, float scale)
{
    ItemText out;
    sys_copy_string(out.text, text, sizeof out.text);
    out.scale = scale;
    return out;
}

// The aura follows the player's position; the plain one stands a unit lower.
void start_item_aura(std::int32_t id, GoActor& player)
{
    const std::int32_t effect_id = id == k_item_mirror   ? k_aura_mirror
                                   : id == k_item_freeze ? k_aura_freeze
                                                         : k_aura_other;
    const D3DXVECTOR3 offset(0.0f, effect_id == k_aura_other ? -1.0f : 0.0f, 0.0f);
    const D3DXVECTOR3 unit(1.0f, 1.0f, 1.0f);
    GoEffect* aura =
        eft_spawn(effect_id, matrix_position(player.world) + offset, D3DXVECTOR3(), unit, player.submerged,
                  COMBAT_SIDE_PLAYER, nullptr, 0.0f, 1.0f, 0, 0, ATTACK_ELEMENT_NONE);
    if (aura) eft_attach(&offset, nullptr, *aura, &player.world, nullptr, EFFECT_FOLLOW_PARENT_POSITION);
}

// A falling player heals nothing; what the item did not add shows as 0.
ItemText use_recovery(std::int32_t id)
{
    std::int32_t value = scn_data_item(id).value;
    const bool falling = g_player && g_player->script.current_action == ANI_ACTION_DEFEAT;
    if (!player_alive() || falling || !player_add_hp(static_cast<float>(value))) value = 0;
    sound_play(k_sound_recovery, AUDIO_VOLUME_MAX);
    // The amount shows at the popup's plain size.
    ItemText out;
    std::snprintf(out.text, sizeof out.text, "%d", value);
    out.scale = k_popup_plain_scale;
    return out;
}

// The dash always opens; the story script runs only where the game's first scene is listed. Its
// full path is also its name, which must fit; a longer one starts nothing.
ItemText use_dash()
{
    g_play_state.game_flags[GF_DASH] = 1;
    if (const SceneEntry* scene = scn_data_find_scene(k_dash_scene)) {
        char path[SCRIPT_NAME_SIZE];
        const int length =
            std::snprintf(path, sizeof path, "%s%s%s", k_map_folder, scene->path, k_dash_script);
        if (length > 0 && length < static_cast<int>(sizeof path)) StartScript(path, false, 0, nullptr, true);
    }
    sound_play(k_sound_item, AUDIO_VOLUME_MAX);
    return item_text("dash enable", 0.0f);
}

// Every enemy that can be targeted and stands is held in its surprise for a while.
void freeze_enemy(GoActor& enemy)
{
    const D3DXVECTOR3 at = matrix_position(enemy.world);
    eft_spawn(k_freeze_effect, at, D3DXVECTOR3(), D3DXVECTOR3(1.0f, 1.0f, 1.0f), enemy.submerged,
              COMBAT_SIDE_PLAYER, nullptr, 0.0f, 1.0f, 0, 0, ATTACK_ELEMENT_NONE);
    if (!enemy.ai.surprise_mark) {
        eft_start_attached(k_freeze_mark_effect, enemy.world, eft_row_for(enemy.submerged));
        enemy.ai.surprise_mark = 1;
    }
    enemy.ai.state = ACTOR_AI_SURPRISED;
    enemy.ai.command_timer = k_freeze_ticks;
    enemy.ai.surprised = 1;
    enemy.script.RequestAction(k_freeze_action, false);
    sound_play_at(k_sound_frozen, at.x, at.y, at.z);
}

ItemText use_freeze()
{
    const std::int32_t count = g_pool_actor.count;
    for (std::int32_t i = 0; i < count; ++i) {
        auto& actor = *static_cast<GoActor*>(g_pool_actor.active[i]);
        const bool targetable = !(actor.cast_flags & ACTOR_CAST_UNTARGETABLE);
        if (targetable && (actor.hit_shape.class_bits & HIT_ENEMY) && actor.status.hp >= k_alive_hp)
            freeze_enemy(actor);
    }
    sound_play(k_sound_item, AUDIO_VOLUME_MAX);
    return {};
}

// The gain goes into the items' share of the maximum, which the status recompute adds in. A
// difficulty outside the table gains nothing.
ItemText use_max_hp()
{
    const std::int32_t* flags = g_play_state.game_flags;
    const std::int32_t difficulty = flags[GF_DIFFICULTY];
    if (flags[GF_EASY])
        g_play_state.max_hp_bonus += k_easy_max_hp_gain;
    else if (difficulty >= 0 && difficulty < static_cast<std::int32_t>(std::size(k_max_hp_gain)))
        g_play_state.max_hp_bonus += k_max_hp_gain[difficulty];
    sound_play(k_sound_item, AUDIO_VOLUME_MAX);
    return item_text("MAXHP UP", k_popup_text_scale);
}

ItemText apply_item(std::int32_t id)
{
    if (id >= k_recovery_first && id <= k_recovery_last) return use_recovery(id);
    switch (id) {
    case k_item_dash:
        return use_dash();
    case k_item_mirror:
        g_play_state.mirror_charges = k_mirror_charges;
        sound_play(k_sound_item, AUDIO_VOLUME_MAX);
        return {};
    case k_item_freeze:
        return use_freeze();
    case k_item_max_hp:
        return use_max_hp();
    default:
        return item_text("now making", k_popup_text_scale);
    }
}

// ---- Lights ---------------------------------------------------------------------------------------
void set_colour(D3DXVECTOR4& out, std::uint32_t argb)
{
    float rgba[4];
    renderer_color_from_argb(argb, rgba);
    out = D3DXVECTOR4(rgba[0], rgba[1], rgba[2], rgba[3]);
}

// The renderer draws with what the scene keeps.
void hand_light_to_renderer()
{
    g_scene_lighting = play_scene_lighting();
}

// ---- Prices ---------------------------------------------------------------------------------------
struct PriceCounter {
    std::int32_t item;
    int flag; // counts the purchases
};
constexpr PriceCounter k_price_counters[] = {{23, 154}, {60, 115}, {61, 114}, {63, 153}};

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

void game_toggle_main_menu(std::int32_t mode)
{
    GoWndMain2* menu = only_window(g_pool_wndmain2);
    if ((g_menu_open & MENU_OPEN_CAMP) || menu) {
        if (menu) menu->close_request = 1;
        g_menu_open &= ~MENU_OPEN_CAMP;
        return;
    }
    if (!player_alive()) return;
    if (GoWndShop2* shop = only_window(g_pool_wndshop2)) {
        shop->close_request = 1;
        g_menu_open &= ~MENU_OPEN_SHOP;
    }
    if (GoWndMain2* opened = obj_create<GoWndMain2>(g_pool_wndmain2)) opened->Open(mode);
    g_menu_open |= MENU_OPEN_CAMP;
}

void game_toggle_shop(std::int32_t kind)
{
    GoWndShop2* shop = only_window(g_pool_wndshop2);
    if (g_menu_open & MENU_OPEN_SHOP) {
        if (shop) shop->close_request = 1;
        g_menu_open &= ~MENU_OPEN_SHOP;
        return;
    }
    if (shop || kind < 0 || !player_alive()) return;
    if (GoWndMain2* menu = only_window(g_pool_wndmain2)) menu->close_request = 1;
    g_menu_open &= ~MENU_OPEN_CAMP;
    if (GoWndShop2* opened = obj_create<GoWndShop2>(g_pool_wndshop2)) opened->Open(kind);
    g_menu_open |= MENU_OPEN_SHOP;
}

void game_use_item(std::int32_t id)
{
    GoPopup* popup = obj_create<GoPopup>(g_pool_popup);
    if (g_player) start_item_aura(id, *g_player);
    const ItemText said = apply_item(id);
    player_sync_hud_gauges();
    g_play_state.recompute_bits |= PLAY_RECOMPUTE_ALL;
    play_update_status();
    if (!popup || !g_player) return;
    D3DXVECTOR3 at = matrix_position(g_player->world);
    at.y += k_popup_lift;
    matrix_set_position(popup->world, at);
    popup->SetText(said.text, k_popup_colour, said.scale);
}

void game_set_light_main(std::uint32_t colour, const Vec3& direction)
{
    SceneLighting& light = play_scene_lighting();
    set_colour(light.light_colors[0], colour);
    Vec3 unit;
    vec3_normalize(unit, direction);
    light.light_direction.x = unit.x;
    light.light_direction.y = unit.y;
    light.light_direction.z = unit.z;
    hand_light_to_renderer();
}

void game_set_light_extra(std::uint32_t colour_a, std::uint32_t colour_b, const Vec3& up)
{
    SceneLighting& light = play_scene_lighting();
    set_colour(light.light_colors[1], colour_a);
    set_colour(light.ambient, colour_b);
    light.up.x = up.x;
    light.up.y = up.y;
    light.up.z = up.z;
    hand_light_to_renderer();
}

// The doubling runs in 64 bits and stops once past the cap, so no count of purchases wraps the
// price round to a small or negative one. A price of 0 or below is left as it is.
std::int32_t game_item_price(std::int32_t id)
{
    std::int64_t price = scn_data_item(id).price;
    const std::int32_t* flags = g_play_state.game_flags;
    if (flags[GF_VERY_EASY]) return static_cast<std::int32_t>(price);
    const auto counter = std::ranges::find(k_price_counters, id, &PriceCounter::item);
    if (counter == std::end(k_price_counters)) return static_cast<std::int32_t>(price);
    for (std::int32_t bought = std::max(flags[counter->flag], 0);
         bought > 0 && price > 0 && price <= GAME_PRICE_MAX; --bought)
        price *= 2;
    return static_cast<std::int32_t>(std::min<std::int64_t>(price, GAME_PRICE_MAX));
}

void game_revive_player()
{
    if (!g_player || g_player->status.hp >= k_alive_hp) return;
    actor_respawn_reset(*g_player, false);
    g_player->script.RequestAction(k_revive_action, false);
    g_fade.target = 0.0f;
    g_game_over = 0;
    g_world_frozen = 0;
    for (std::int32_t i = 0; i < g_pool_wnddialog.count; ++i)
        static_cast<GoWndDialog*>(g_pool_wnddialog.active[i])->close_request = 1;
    for (std::int32_t i = 0; i < g_pool_xx.count; ++i) {
        auto& object = *static_cast<GoXx*>(g_pool_xx.active[i]);
        if (object.role == GOXX_PICTURE_OVERLAY) object.area<PictureOverlay>().life = 0;
    }
}
