// The one record of game progress. It is byte for byte the image of a save slot, so every field
// sits at a fixed offset and the record holds no pointers. Unnamed bytes are reserved_NNN (NNN
// their offset) and stay zero until a field takes them.
#pragma once

#include "game/g_game_flags.h"
#include "game/g_status_block.h"
#include "lowlv/d3d/renderer_frame.h"

#include <cstddef>
#include <cstdint>

constexpr std::size_t PLAY_STATE_SIZE = 7208;
constexpr int PLAY_TOPIC_COUNT = 177; // one a cast number
constexpr int PLAY_GALLERY_COUNT = 12;
constexpr int PLAY_RING_SLOTS = 3;
constexpr int PLAY_ITEM_SLOTS = 3;
constexpr int PLAY_EQUIP_LEVELS = 18; // one an item id 0-17
constexpr int PLAY_WARP_POINTS = 21;
constexpr std::int32_t PLAY_SLOT_EMPTY = -1; // an empty ring or item slot
constexpr std::int32_t PLAY_NO_MAGIC = 255;  // the selected magic item when there is none

// The slot list's view of a save: what the slot list shows without reading the body.
struct SaveSummary {
    std::int32_t status; // after the header read: 1 valid, 0 no file, or a negative result code
    std::int32_t level;
    std::int32_t hp; // hit and magic points and experience as truncated integers
    std::int32_t mp;
    std::int32_t max_hp;
    std::int32_t max_mp;
    std::int32_t exp;
    std::int32_t gold;
    std::int32_t difficulty; // plus 1 in the file
    std::uint8_t reserved_36[4];
    std::int32_t easy;
    std::int32_t very_easy;
    std::int32_t inferno;
    std::int32_t play_ticks;
    char date[11]; // "%02d/%02d/%04d": month, day, year
    char time[9];  // "%02d:%02d:%02d"
    char location[48];
};
static_assert(sizeof(SaveSummary) == 124);
static_assert(offsetof(SaveSummary, reserved_36) == 36);
static_assert(offsetof(SaveSummary, play_ticks) == 52);
static_assert(offsetof(SaveSummary, date) == 56);
static_assert(offsetof(SaveSummary, time) == 67);
static_assert(offsetof(SaveSummary, location) == 76);

// The first bytes of a save slot. From the summary on they are scrambled with the header seed.
struct SaveHeader {
    char magic[4]; // "Ek3"
    std::uint32_t version;
    std::uint32_t total_size;
    std::uint32_t header_crc; // over bytes 48-95 as stored
    std::uint32_t header_seed;
    std::uint32_t random_words[3];
    std::uint8_t signature[16];
    SaveSummary summary;
    std::uint32_t body_seed;
    std::uint32_t body_crc; // over bytes 188-7207 as stored
    std::uint32_t zero_word;
    std::uint32_t random_word;
};
static_assert(sizeof(SaveHeader) == 188);
static_assert(offsetof(SaveHeader, random_words) == 20);
static_assert(offsetof(SaveHeader, signature) == 32);
static_assert(offsetof(SaveHeader, summary) == 48);
static_assert(offsetof(SaveHeader, body_seed) == 172);
static_assert(offsetof(SaveHeader, body_crc) == 176);
static_assert(offsetof(SaveHeader, zero_word) == 180);
static_assert(offsetof(SaveHeader, random_word) == 184);

// Where and how the next scene is entered.
struct ArrivalRecord {
    float position[3];
    float facing;             // radians
    std::int32_t entry_value; // becomes GF_ENTRY_VALUE at scene entry
    char tag[80];             // "continue", "load", "timeattack_init" or empty
};
static_assert(sizeof(ArrivalRecord) == 100);
static_assert(offsetof(ArrivalRecord, facing) == 12);
static_assert(offsetof(ArrivalRecord, entry_value) == 16);
static_assert(offsetof(ArrivalRecord, tag) == 20);

// The equipment's effect on the player, recomputed with the status.
struct EquipBonus {
    float unit; // always 1.0
    std::uint8_t reserved_4[4];
    float atk_bonus;
    float def_bonus;
    float third_bonus;
    float gold_rate;
    float exp_rate;
    float third_rate;
    float charge_rate;
    std::uint8_t reserved_36[24];
    float hp_per_defeat;
    std::uint32_t accessory_bits; // one bit a worn ring; 0x100 is the lamp
};
static_assert(sizeof(EquipBonus) == 68);
static_assert(offsetof(EquipBonus, reserved_4) == 4);
static_assert(offsetof(EquipBonus, atk_bonus) == 8);
static_assert(offsetof(EquipBonus, def_bonus) == 12);
static_assert(offsetof(EquipBonus, third_bonus) == 16);
static_assert(offsetof(EquipBonus, gold_rate) == 20);
static_assert(offsetof(EquipBonus, exp_rate) == 24);
static_assert(offsetof(EquipBonus, third_rate) == 28);
static_assert(offsetof(EquipBonus, charge_rate) == 32);
static_assert(offsetof(EquipBonus, reserved_36) == 36);
static_assert(offsetof(EquipBonus, hp_per_defeat) == 60);
static_assert(offsetof(EquipBonus, accessory_bits) == 64);

// What the player knows of one cast.
struct TopicRecord {
    std::uint8_t known;
    std::uint8_t reserved_1[23];
};
static_assert(sizeof(TopicRecord) == 24);

struct PlayState {
    SaveHeader save_header;
    ArrivalRecord arrival;
    std::int32_t scene_id;
    std::int32_t requested_scene_id; // 0: no change pending
    std::int32_t previous_scene_id;
    std::uint8_t reserved_300[4];
    std::int32_t title_demo; // the title or a demo runs
    // 0 no water, 1 a map mesh loaded a second collision set (water surfaces), 2 all under water.
    std::int32_t water_mode;

    // Screen effects, reset at scene entry.
    float afterimage_alpha;
    float afterimage_rate;
    float zoom_blur_alpha;
    float zoom_blur_rate;
    float fire_blur_alpha;
    float fire_blur_rate;
    float fire_blur_param;
    float flash_strength; // the full-screen flash and its change per tick
    float flash_rate;
    float shake_amplitude[3];
    float shake_offset[3];
    std::int32_t shake_ticks;
    std::uint32_t screen_tint;
    std::uint8_t screen_texture;
    std::uint8_t screen_texture_request; // copied to screen_texture every tick
    std::uint8_t wind_on;
    std::uint8_t dark_scene;  // lights the player's lamp, overrides the fog colour
    std::uint8_t countdown;   // counted down on whole ticks
    std::uint8_t screen_grey; // the screen fade draws the picture grey, then screen_tint over it
    std::uint8_t reserved_386[2];
    float flash_param; // the flash's third value, kept for its reader
    float effect_time; // the sum of the tick steps
    float wind_phase;
    float wind_offset;
    float lamp_phase;
    float lamp_intensity;
    float sky_scroll[2];
    std::int32_t sky_scroll_on;
    float sky_scroll_speed[2];   // per tick
    std::int32_t scene_word_432; // reset at scene entry; named by its first user
    std::uint8_t prepass_request;
    std::uint8_t reserved_437[3];

    // The player's allowed area.
    float area_min_x;
    float area_min_z;
    float area_max_x;
    float area_max_z;
    std::int32_t reverb_applied; // the reverb preset applied last

    // Equipment and status.
    EquipBonus equip_bonus;
    std::int32_t ring_slots[PLAY_RING_SLOTS]; // item ids 18-23 or PLAY_SLOT_EMPTY
    std::int32_t equip_levels[PLAY_EQUIP_LEVELS];
    StatusBlock status;
    TopicRecord topics[PLAY_TOPIC_COUNT];
    std::uint8_t gallery[PLAY_GALLERY_COUNT]; // pictures unlocked
    // The base values by level, before equipment.
    float base_max_hp;
    float base_max_mp;
    float base_atk;
    float base_def;
    float base_fourth;
    float max_hp_bonus; // from items
    float mp_factor;    // of power-up 0x10
    float atk_bonus;    // from power-ups
    float def_bonus;    // from power-ups
    float fourth_factor;
    float next_level_exp;
    std::uint32_t recompute_bits; // the status recompute steps still to run
    std::int32_t new_game;        // 1 once a new game was set up

    std::int32_t game_flags[GAME_FLAG_COUNT];

    std::int32_t item_list[PLAY_ITEM_SLOTS]; // item ids or PLAY_SLOT_EMPTY; entry 0 is the active item
    std::int32_t selected_magic;             // a magic item id or PLAY_NO_MAGIC
    float cover_strength;                    // the cover layer's strength; 0 switches it off
    std::int32_t cover_word;                 // the cover layer's fourth value, kept for its reader
    float magic_charge;
    std::int32_t charge_level;
    float saved_position[3];
    float saved_facing;
    std::uint32_t ailment_bits;
    std::int32_t ailment_ticks[4];
    float hud_hide;            // the HUD fades toward 1 minus this
    std::int32_t reverb_index; // the scene's reverb preset, its size and music
    float reverb_size;
    std::int32_t music_id;
    float level_start_exp; // the experience at which the level began
    std::int32_t hud_anim[3];
    float enemy_damage_factor; // by difficulty
    float mp_trail;
    std::uint32_t powerup_bits; // 0x1 strength, 0x8 defence, 0x10 magic speed
    std::int32_t powerup_ticks[3];
    std::int32_t combo_count;
    std::uint8_t reserved_7160[4];
    std::uint32_t combo_timer;
    float boost_gauge;
    float continue_counter; // cleared on "continue"
    std::uint8_t dash_carried;
    std::uint8_t reserved_7177[3];
    std::int32_t mirror_charges;
    std::uint8_t warp_points[PLAY_WARP_POINTS]; // the item-use unlocks
    std::uint8_t reserved_7205[3];
};
static_assert(sizeof(PlayState) == PLAY_STATE_SIZE);
static_assert(offsetof(PlayState, save_header) == 0);
static_assert(offsetof(PlayState, arrival) == 188);
static_assert(offsetof(PlayState, scene_id) == 288);
static_assert(offsetof(PlayState, requested_scene_id) == 292);
static_assert(offsetof(PlayState, previous_scene_id) == 296);
static_assert(offsetof(PlayState, reserved_300) == 300);
static_assert(offsetof(PlayState, title_demo) == 304);
static_assert(offsetof(PlayState, water_mode) == 308);
static_assert(offsetof(PlayState, afterimage_alpha) == 312);
static_assert(offsetof(PlayState, afterimage_rate) == 316);
static_assert(offsetof(PlayState, zoom_blur_alpha) == 320);
static_assert(offsetof(PlayState, zoom_blur_rate) == 324);
static_assert(offsetof(PlayState, fire_blur_alpha) == 328);
static_assert(offsetof(PlayState, fire_blur_rate) == 332);
static_assert(offsetof(PlayState, fire_blur_param) == 336);
static_assert(offsetof(PlayState, flash_strength) == 340);
static_assert(offsetof(PlayState, flash_rate) == 344);
static_assert(offsetof(PlayState, shake_amplitude) == 348);
static_assert(offsetof(PlayState, shake_offset) == 360);
static_assert(offsetof(PlayState, shake_ticks) == 372);
static_assert(offsetof(PlayState, screen_tint) == 376);
static_assert(offsetof(PlayState, screen_texture) == 380);
static_assert(offsetof(PlayState, screen_texture_request) == 381);
static_assert(offsetof(PlayState, wind_on) == 382);
static_assert(offsetof(PlayState, dark_scene) == 383);
static_assert(offsetof(PlayState, countdown) == 384);
static_assert(offsetof(PlayState, screen_grey) == 385);
static_assert(offsetof(PlayState, reserved_386) == 386);
static_assert(offsetof(PlayState, flash_param) == 388);
static_assert(offsetof(PlayState, effect_time) == 392);
static_assert(offsetof(PlayState, wind_phase) == 396);
static_assert(offsetof(PlayState, wind_offset) == 400);
static_assert(offsetof(PlayState, lamp_phase) == 404);
static_assert(offsetof(PlayState, lamp_intensity) == 408);
static_assert(offsetof(PlayState, sky_scroll) == 412);
static_assert(offsetof(PlayState, sky_scroll_on) == 420);
static_assert(offsetof(PlayState, sky_scroll_speed) == 424);
static_assert(offsetof(PlayState, scene_word_432) == 432);
static_assert(offsetof(PlayState, prepass_request) == 436);
static_assert(offsetof(PlayState, reserved_437) == 437);
static_assert(offsetof(PlayState, area_min_x) == 440);
static_assert(offsetof(PlayState, area_min_z) == 444);
static_assert(offsetof(PlayState, area_max_x) == 448);
static_assert(offsetof(PlayState, area_max_z) == 452);
static_assert(offsetof(PlayState, reverb_applied) == 456);
static_assert(offsetof(PlayState, equip_bonus) == 460);
static_assert(offsetof(PlayState, ring_slots) == 528);
static_assert(offsetof(PlayState, equip_levels) == 540);
static_assert(offsetof(PlayState, status) == 612);
static_assert(offsetof(PlayState, status) + offsetof(StatusBlock, gold) == 660);
static_assert(offsetof(PlayState, status) + offsetof(StatusBlock, level) == 664);
static_assert(offsetof(PlayState, status) + offsetof(StatusBlock, table_byte) == 668);
static_assert(offsetof(PlayState, status) + offsetof(StatusBlock, status_element) == 669);
static_assert(offsetof(PlayState, topics) == 672);
static_assert(offsetof(PlayState, gallery) == 4920);
static_assert(offsetof(PlayState, base_max_hp) == 4932);
static_assert(offsetof(PlayState, base_max_mp) == 4936);
static_assert(offsetof(PlayState, base_atk) == 4940);
static_assert(offsetof(PlayState, base_def) == 4944);
static_assert(offsetof(PlayState, base_fourth) == 4948);
static_assert(offsetof(PlayState, max_hp_bonus) == 4952);
static_assert(offsetof(PlayState, mp_factor) == 4956);
static_assert(offsetof(PlayState, atk_bonus) == 4960);
static_assert(offsetof(PlayState, def_bonus) == 4964);
static_assert(offsetof(PlayState, fourth_factor) == 4968);
static_assert(offsetof(PlayState, next_level_exp) == 4972);
static_assert(offsetof(PlayState, recompute_bits) == 4976);
static_assert(offsetof(PlayState, new_game) == 4980);
static_assert(offsetof(PlayState, game_flags) == 4984);
static_assert(offsetof(PlayState, item_list) == 7032);
static_assert(offsetof(PlayState, selected_magic) == 7044);
static_assert(offsetof(PlayState, cover_strength) == 7048);
static_assert(offsetof(PlayState, cover_word) == 7052);
static_assert(offsetof(PlayState, magic_charge) == 7056);
static_assert(offsetof(PlayState, charge_level) == 7060);
static_assert(offsetof(PlayState, saved_position) == 7064);
static_assert(offsetof(PlayState, saved_facing) == 7076);
static_assert(offsetof(PlayState, ailment_bits) == 7080);
static_assert(offsetof(PlayState, ailment_ticks) == 7084);
static_assert(offsetof(PlayState, hud_hide) == 7100);
static_assert(offsetof(PlayState, reverb_index) == 7104);
static_assert(offsetof(PlayState, reverb_size) == 7108);
static_assert(offsetof(PlayState, music_id) == 7112);
static_assert(offsetof(PlayState, level_start_exp) == 7116);
static_assert(offsetof(PlayState, hud_anim) == 7120);
static_assert(offsetof(PlayState, enemy_damage_factor) == 7132);
static_assert(offsetof(PlayState, mp_trail) == 7136);
static_assert(offsetof(PlayState, powerup_bits) == 7140);
static_assert(offsetof(PlayState, powerup_ticks) == 7144);
static_assert(offsetof(PlayState, combo_count) == 7156);
static_assert(offsetof(PlayState, reserved_7160) == 7160);
static_assert(offsetof(PlayState, combo_timer) == 7164);
static_assert(offsetof(PlayState, boost_gauge) == 7168);
static_assert(offsetof(PlayState, continue_counter) == 7172);
static_assert(offsetof(PlayState, dash_carried) == 7176);
static_assert(offsetof(PlayState, reserved_7177) == 7177);
static_assert(offsetof(PlayState, mirror_charges) == 7180);
static_assert(offsetof(PlayState, warp_points) == 7184);
static_assert(offsetof(PlayState, reserved_7205) == 7205);

extern PlayState g_play_state;
// The scrambled copy of the record that a retry restores; it never leaves memory.
extern std::uint8_t g_retry_snapshot[PLAY_STATE_SIZE];
// The clear bonuses' one-shot requests of the keys F2 to F5, one byte each; the player's control
// takes them.
constexpr int PLAY_BONUS_KEYS = 4;
extern std::uint8_t g_bonus_requests[PLAY_BONUS_KEYS];

PlayState& play_state_get();

// A new game from the title's choices: the record zeroed and filled with the new-game values,
// the status recomputed at the game data's starting level, and the retry snapshot taken with
// the title scene as its requested scene.
void play_state_init();

// Ends every ordinary enemy still standing (a fallen boss takes its followers with it): each
// living enemy actor but the player and the exempt ones loses its hit points and, unless it plays
// it already, starts its defeat action.
void play_stop_enemies();

// The record as it is now becomes the retry snapshot.
void play_store_retry_snapshot();
// The record becomes the retry snapshot's copy, byte for byte.
void play_restore_retry_snapshot();

// The scene's light, kept beside the record for the game tick to hand to the renderer. It starts
// as the renderer's defaults.
SceneLighting& play_scene_lighting();
