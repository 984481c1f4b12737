// The effect data: the lists that name the effect textures, meshes and the 400 effect ids, and
// one ".ef2" file per id holding the start state and the definition of each of its emitters.
// Loaded once at game start, read by effects and particles, freed at game shutdown.
#pragma once

#include "platform/d3dx8.h"
#include "platform/win_types.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

constexpr int EFFECT_ID_COUNT = 400;
constexpr int EFFECT_LIST_FIRST_COUNT = 256; // eftlist names ids 0-255, eftlist2 ids 256-399
constexpr int EFFECT_LIST_SECOND_COUNT = EFFECT_ID_COUNT - EFFECT_LIST_FIRST_COUNT;
constexpr std::size_t EFFECT_LIST_NAME_SIZE = 80;

constexpr const char* EFT_FOLDER = "data\\effect\\eft\\";
constexpr const char* EFT_TEXTURE_LIST_PATH = "data\\effect\\eft\\efttex.dat.z";
constexpr const char* EFT_MESH_LIST_PATH = "data\\effect\\eft\\eftmesh.dat.z";
constexpr const char* EFT_LIST_PATH = "data\\effect\\eft\\eftlist.dat.z";
constexpr const char* EFT_LIST2_PATH = "data\\effect\\eft\\eftlist2.dat.z";

// Where a bad list file is reported from: the texture and mesh lists, then the effect lists.
constexpr const char* EFT_SOURCE = "eft_new";
constexpr unsigned EFT_LINE_TEXTURES = 1638;
constexpr unsigned EFT_LINE_LIST = 1756;

// Definition flag bits.
constexpr std::uint16_t EFFECT_DEF_KEYFRAMED = 0x1;
constexpr std::uint16_t EFFECT_DEF_LINEAR = 0x2; // curves between their first two keys
constexpr std::uint16_t EFFECT_DEF_SIMPLE = 0x4;
constexpr std::uint16_t EFFECT_DEF_RING = 0x8;
constexpr std::uint16_t EFFECT_DEF_STARTS_EFFECT = 0x10;
constexpr std::uint16_t EFFECT_DEF_CAMERA_FACING = 0x100;
constexpr std::uint16_t EFFECT_DEF_MESH = 0x200;
constexpr std::uint16_t EFFECT_DEF_NO_DRAW = 0x400;
constexpr std::uint16_t EFFECT_DEF_CULLED_ENDLESS = 0x800; // view culling and endless life

// Bits of the definition's parent-link byte.
constexpr std::uint8_t EFFECT_LINK_PARENT_ALPHA = 0x1;
constexpr std::uint8_t EFFECT_LINK_PARENT_POSITION = 0x2;
constexpr std::uint8_t EFFECT_LINK_PARENT_VELOCITY = 0x4;
constexpr std::uint8_t EFFECT_LINK_PARENT_ROTATION = 0x8;
constexpr std::uint8_t EFFECT_LINK_WORLD_SPACE = 0x10; // parent's matrix position; no effect matrix

// Bits of the definition's collision byte.
constexpr std::uint8_t EFFECT_COLLIDE_MAP = 0x1;
constexpr std::uint8_t EFFECT_FADE_ON_STOP = 0x2;

constexpr int EFFECT_CURVE_KEYS = 8;
constexpr int EFFECT_CURVES = 17;
// The first curve of each group a particle drives from its age.
constexpr int EFFECT_CURVE_SPEED = 0;
constexpr int EFFECT_CURVE_ALPHA = 1;
constexpr int EFFECT_CURVE_COLOUR1 = 2; // red, green, blue
constexpr int EFFECT_CURVE_COLOUR2 = 5;
constexpr int EFFECT_CURVE_TURN = 8; // velocity turn about x, y, z
constexpr int EFFECT_CURVE_SPIN = 11;
constexpr int EFFECT_CURVE_SCALE = 14;
constexpr int EFFECT_FRAMES = 16;
constexpr int EFFECT_CHILDREN = 8;
constexpr int EFFECT_RING_SEGMENTS_MAX = 255;  // 2 x 255 + 2 vertices fill the world-quad buffer
constexpr std::int32_t EFFECT_NO_TEXTURE = -1; // a frame drawn untextured
constexpr std::int8_t EFFECT_NO_CHILD = -1;    // ends the child list

struct EffectCurveKey {
    float time; // 0 to 1
    float value;
    float inverse_span; // 1 / (next key's time - this key's time)
};
static_assert(sizeof(EffectCurveKey) == 12);

struct EffectCurve {
    std::uint32_t unread;
    std::uint32_t key_count; // 1-8 once loaded; 1 is a constant curve
    EffectCurveKey keys[EFFECT_CURVE_KEYS];
};
static_assert(sizeof(EffectCurve) == 104);

struct EffectVertex {
    D3DXVECTOR3 position;
    std::uint32_t colour1;
    std::uint32_t colour2;
    float u, v;
};
static_assert(sizeof(EffectVertex) == 28);

// The start state of one particle of an emitter. The four pointer slots of the stored record
// are 32 bits wide and kept as data (zero once loaded): a particle keeps its real links beside
// its copy of this record, which leaves every other offset where the file has it.
struct EffectEmitter {
    std::uint32_t effect_slot;
    std::uint32_t parent_slot;
    std::uint32_t definition_slot;
    std::uint32_t vertex_slot;
    float mesh_time;
    std::uint8_t fading;
    std::uint8_t hidden;
    std::uint8_t render_row;
    std::uint8_t hide_counter;
    std::uint8_t follow; // 0 none, 1 parent matrix, 2 parent position, 3 effect matrix position
    std::uint8_t frame_counter;
    std::uint8_t frame_index;
    std::uint8_t delay;
    std::int32_t total_life; // ticks
    std::int32_t life;
    D3DXVECTOR3 base_scale;
    D3DXVECTOR3 scale_factors;
    D3DXVECTOR3 velocity;
    D3DXVECTOR3 position; // relative to the effect's matrix
    D3DXVECTOR3 rotation; // radians
    std::uint32_t unread_96;
    float speed_spread; // a random speed factor once started
    std::int32_t fade_step;
    std::int32_t fade_amount;
    float uv_scroll[2];
    EffectVertex vertices[4];
    std::uint32_t unread_232[2];
};
static_assert(sizeof(EffectEmitter) == 240);

struct EffectFrameUv {
    float u0, v0, u1, v1;
};

struct EffectEmitterDef {
    std::uint16_t flags;
    std::int16_t effect_id; // started instead of particles with EFFECT_DEF_STARTS_EFFECT
    std::uint8_t count;     // particles per start
    std::uint8_t unread_5[3];
    std::uint32_t ring_material; // MaterialFlags of a ring
    float camera_pull;           // of the first emitter: how far its effect comes toward the eye
    float cull_radius;
    std::uint8_t cull_mode; // 0 the parent's hidden state; >= 2 no impact effect while hidden
    std::uint8_t unread_21;
    std::int16_t impact_effect; // 0 none; EFFECT_IMPACT_AT_POINT without offset
    std::uint8_t mesh;          // an emitter of a mesh number past the mesh table draws nothing
    std::uint8_t mesh_wrap;
    std::uint8_t unread_26[2];
    float mesh_anim_rate;
    float mesh_anim_start;
    float mesh_anim_end;
    std::int32_t extra_delay; // random extra start delay; 0 none
    D3DXVECTOR3 child_turn;
    std::int32_t child_period;
    std::uint8_t trigger; // as a child: 0 first tick, 1 parent's death, 2 at the period, 3 every period
    std::uint8_t parent_links;
    std::uint8_t unread_62[2];
    std::int32_t frames_loop;
    std::int32_t ticks_per_frame;
    std::int32_t frame_count;                   // 0-16 once loaded; 0 untextured
    std::int32_t frame_textures[EFFECT_FRAMES]; // effect texture numbers or EFFECT_NO_TEXTURE
    EffectFrameUv frame_uv[EFFECT_FRAMES];
    float scroll_speed[2];
    std::int8_t children[EFFECT_CHILDREN]; // emitter indices, EFFECT_NO_CHILD ends
    EffectCurve curves[EFFECT_CURVES];
    float attack_radius;
    float attack_height;
    float attack_half_height; // non-zero: a cylinder
    std::int32_t attack_active;
    std::uint8_t attacking; // 0 no, 1 attack, 2 attack and end at an impact
    std::uint8_t collision;
    std::uint8_t hit_hold;
    std::uint8_t unread_2199;
    float gravity;
    float gravity_growth;
    std::uint8_t kick_chance;
    std::uint8_t unread_2209;
    std::uint8_t kick_mask;
    std::uint8_t unread_2211;
    D3DXVECTOR3 kick_min;
    D3DXVECTOR3 kick_max;
    D3DXVECTOR3 kick_clamp;
    std::uint8_t light_mode;
    std::uint8_t homing_mode;
    std::uint8_t homing_period;
    std::uint8_t homing_chance;
    float homing_strength;
    std::int32_t homing_delay;
    std::int32_t life_jitter;
    D3DXVECTOR3 scale_spread;
    D3DXVECTOR3 spawn_spread;
    float offset_min;
    float offset_max;
    std::int32_t ring_segments; // 0 (no ring) to EFFECT_RING_SEGMENTS_MAX once loaded
    float ring_lower_radius;
    float ring_upper_radius;
    float ring_height;
    D3DXVECTOR3 rotation_jitter;
    float velocity_jitter[2];
    float light_size; // 0 none
    std::uint32_t light_colour;
};
static_assert(sizeof(EffectEmitterDef) == 2340);
static_assert(offsetof(EffectEmitterDef, curves) == 412);
static_assert(offsetof(EffectEmitterDef, attack_radius) == 2180);
static_assert(offsetof(EffectEmitterDef, kick_min) == 2212);
static_assert(offsetof(EffectEmitterDef, light_mode) == 2248);
static_assert(offsetof(EffectEmitterDef, light_colour) == 2336);
static_assert(std::is_trivially_copyable_v<EffectEmitter> && std::is_trivially_copyable_v<EffectEmitterDef>);

constexpr std::int16_t EFFECT_IMPACT_AT_POINT = 315;

struct EffectStart {
    std::int8_t emitter; // below the emitter count once loaded
    std::uint8_t delay;  // ticks
};
static_assert(sizeof(EffectStart) == 2);

// One effect id; empty (no emitters) when its file is missing or short. State i belongs to
// definition i.
struct EffectListEntry {
    std::vector<EffectEmitterDef> defs;
    std::vector<EffectEmitter> states;
    std::vector<EffectStart> starts;
};

// Indexed by effect id; empty until eft_load_list and after eft_free_list.
extern std::vector<EffectListEntry> g_effect_list;

// Names effect texture k in image-table entry 423 + k and fills the effect mesh names
// (game/g_image_table.h) from the two lists. A missing or malformed list is fatal (EFT_LINE_TEXTURES).
void eft_load_textures();
// Fills g_effect_list from the two effect lists and their ".ef2" files. A missing or malformed
// list is fatal (EFT_LINE_LIST); a missing or short ".ef2" leaves its id empty.
void eft_load_list();
// Loads one ".ef2" named after a list name into the entry: S_OK, ERR_OPEN_FILE when it is
// missing, ERR_BROKEN_DATA when it is shorter than its counts say (the entry stays empty).
HRESULT eft_load_ef2(EffectListEntry& entry, const char* name);
// The same from the unpacked bytes of an ".ef2": ERR_BROKEN_DATA when they are short.
HRESULT eft_parse_ef2(EffectListEntry& entry, std::span<const std::uint8_t> bytes);
void eft_free_list();

// The entry of an effect id, or null for an id outside 0-399 or before loading.
const EffectListEntry* eft_list_entry(int id);

// The curve's value at t (0 to 1): keyed, piecewise linear, never NaN.
float eft_curve_eval(const EffectCurve& curve, float t);
// The curve taken as a line from its first key's value to its second's over t.
float eft_curve_linear(const EffectCurve& curve, float t);
// Maps 0.5 to 1, 0 to 1 / (1 + (hi - lo) / 4) and 1 to 1 + (hi - lo) / 4.
float eft_curve_factor(float v, float lo, float hi);
// A colour channel: v clamped to 0-1, then floor(256 v), 255 at 1.
std::uint8_t eft_curve_byte(float v);
