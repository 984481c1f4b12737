// The multi-purpose object: one class behind 38 kinds of small world things (shots, drops,
// sprite particles, decals, lights, floors, event tasks ...). The subtype lives in the role tag;
// its record lives in the subtype area.
#pragma once

#include "object/go_base.h"
#include "scenegraph/renderer_queue.h"

#include <cstddef>
#include <cstdint>
#include <span>

class AniScript;
class GoActor;
class GoEffect;

enum GoXxSubtype : std::uint16_t {
    GOXX_SPRITE_PARTICLE = 0,
    GOXX_ITEM_DROP = 1,
    GOXX_SEEKER_RIBBON = 2,
    GOXX_STREAK_SPARK = 3,
    GOXX_GROUND_DECAL = 4,
    GOXX_LENS_FLARE = 5,
    GOXX_ANIM_SPRITE = 6,
    GOXX_NODE_SPRITE = 7,
    GOXX_PICTURE = 8,
    GOXX_GLOW_SPRITE = 9,
    GOXX_SCRIPT_ATTACK_WAVE = 10,
    GOXX_SCRIPT_ATTACK_RIBBONS = 11,
    GOXX_SCRIPT_ATTACK_ATTACHED = 12,
    GOXX_RIBBON_SEGMENT = 13,
    GOXX_PICTURE_OVERLAY = 14,
    GOXX_EMITTER = 15,
    GOXX_HIT_CHAIN = 16,
    GOXX_SHOT = 17,
    GOXX_SAVE_POINT = 18,
    GOXX_BURST_PARTICLE = 19,
    GOXX_POINT_LIGHT = 20,
    GOXX_NODE_TRAIL = 21,
    GOXX_MOVER = 22,
    GOXX_RIPPLE_FIELD = 23,
    GOXX_RIPPLE_LINE = 24,
    GOXX_FLOOR_SHADOW = 25,
    GOXX_MIRROR_FLOOR = 26,
    GOXX_FALLING_BLOB = 27,
    GOXX_SCRIPT_EFFECT = 28, // 28-32: rain, fog bank, rising cloud, falling flakes, rising motes
    GOXX_ACTOR_LIGHT = 33,
    GOXX_MESH_GHOST = 34,
    GOXX_AIR_TRAIL = 35,
    GOXX_ICE_FLOOR = 36,
    GOXX_EVENT_TASK = 37,
    GOXX_SUBTYPE_COUNT = 38,
};

// Room for the largest subtype record; each record asserts that it fits.
constexpr std::size_t GOXX_AREA_SIZE = 256;

class GoXx : public GoBase {
public:
    GoXx();
    ~GoXx() override;

    // The subtype's update; a subtype whose behaviour is not here yet does nothing.
    void Update() override;

    // The subtype's record, zeroed at construction.
    template <typename Record> Record& area()
    {
        static_assert(sizeof(Record) <= GOXX_AREA_SIZE && alignof(Record) <= alignof(std::max_align_t));
        return *reinterpret_cast<Record*>(subtype_area);
    }

    alignas(std::max_align_t) std::byte subtype_area[GOXX_AREA_SIZE] = {};
};

// The running serial of the objects' ids: a new object's id is 0x13 << 24 | (serial + 1), the
// low 24 bits wrapping.
extern std::uint32_t g_goxx_serial;
// Live objects per subtype; some behaviours and the event scripts read their own entry.
extern std::int32_t g_goxx_live_count[GOXX_SUBTYPE_COUNT];

// Every maker of a GoXx gives it its subtype through this, which counts it as live until the
// object is deleted.
void goxx_set_subtype(GoXx& object, GoXxSubtype subtype);

// The key1 of a row item at the point: the squared eye distance of the point, each axis
// truncated to whole units first, times 10000.
std::int32_t goxx_depth_key(const D3DXVECTOR3& point);
// The camera's forward unit vector (eye toward target); adding a negative multiple of it moves
// toward the camera.
D3DXVECTOR3 goxx_view_forward();

// ---- Sprite particles (subtype 0) -------------------------------------------------------------------
// A sprite particle as its spawner makes it (zero-filled first). The phases need
// phase1_end <= phase2_end < lifetime; a phase of zero length shows its end key at once.
struct SpriteParticleParams {
    IDirect3DTexture8* texture; // of the game image table
    MaterialFlags material;
    std::uint32_t row;
    D3DCOLOR colour;          // RGB the vertex colour; the alpha byte scales the alpha keys
    std::int32_t start_delay; // ticks before it lives
    std::int32_t upright;     // non-zero: turns only about the vertical axis
    D3DXVECTOR3 position;
    D3DXVECTOR3 velocity;      // per tick
    const float* texture_rect; // u0, v0, u1, v1; null: the whole texture
    float angle;               // radians, in the quad's plane
    float damping;             // velocity part lost per whole tick
    float camera_offset;       // along the view direction at draw time; negative: toward the eye
    float lifetime;            // ticks
    float phase1_end;
    float phase2_end;
    float alpha_keys[4]; // at birth, the two phase ends and death
    float scale_keys[4]; // half-extents at the same moments
};

// The particle's record; its velocity lives in the translation row of the rotation matrix.
struct SpriteParticle {
    IDirect3DTexture8* texture;
    MaterialFlags material;
    std::uint32_t row;
    std::uint32_t rgb;
    std::int32_t start_delay;
    std::int32_t upright;
    float age;
    float damping;
    float camera_offset;
    float cos_angle, sin_angle;
    float lifetime, phase1_end, phase2_end;
    float alpha_keys[4]; // already times the alpha byte
    float scale_keys[4];
    QuadVertex quad[4]; // UVs set once
};
static_assert(sizeof(SpriteParticle) <= GOXX_AREA_SIZE);

struct SpriteKeys {
    float alpha; // 0-255
    float scale;
};

void goxx_init_sprite_particle(const SpriteParticleParams& params, GoXx& object);
// Start delay on whole ticks; ageing, motion and damping unless paused; the row item on drawn
// frames.
void goxx_update_sprite_particle(GoXx& object);
// Alpha and scale at the particle's age, linear within its phase.
SpriteKeys goxx_sprite_particle_keys(const SpriteParticle& particle);
// The quad's colour and corners for the alpha and half-extent, turned by the particle's angle.
void goxx_sprite_quad(GoXx& object, float alpha, float scale);
// The row callback; `object` is the particle.
void goxx_draw_sprite_particle(RenderQueueItem* item, void* object);

// ---- Streak sparks (subtype 3) ----------------------------------------------------------------------
constexpr int STREAK_HISTORY = 10;
constexpr int STREAK_TEXTURE = 25; // sparkle.dds
constexpr MaterialFlags STREAK_MATERIAL = 0x146C1;

struct StreakParams {
    IDirect3DTexture8* texture;
    MaterialFlags material;
    D3DCOLOR colour;
    std::uint32_t start_delay;
    D3DXVECTOR3 position;
    const D3DXVECTOR3* velocity; // null: from the heading and the two speeds
    float heading;
    float horizontal_speed;
    float vertical_speed;
    float width;
    float lifetime;
};

// The spark's record; its velocity lives in the translation row of the rotation matrix.
struct StreakSpark {
    IDirect3DTexture8* texture;
    MaterialFlags material;
    std::uint32_t rgb;
    std::uint32_t start_delay;
    float age;
    float lifetime;
    float half_width;
    std::uint32_t probe_countdown; // whole ticks until the next wall probe
    D3DXVECTOR3 previous;
    D3DXVECTOR3 history[STREAK_HISTORY]; // newest first
};
static_assert(sizeof(StreakSpark) <= GOXX_AREA_SIZE);

void goxx_init_streak_spark(const StreakParams& params, GoXx& object);
// Two sparks thrown within the cone round the direction at speeds in [speed_min, speed_max),
// living 35-55 ticks, the second a tick later. A full pool shortens the run.
void goxx_spawn_streak_sparks_at(const D3DXVECTOR3& point, float width, const D3DXVECTOR3& direction,
                                 float cone, float speed_min, float speed_max);
// Falls and bounces off collision set A; the probes thin out while many sparks fly.
void goxx_update_streak_spark(GoXx& object);
// The row callback: a strip through the history; `object` is the spark.
void goxx_draw_streak_spark(RenderQueueItem* item, void* object);

// ---- Item drops (subtype 1) -------------------------------------------------------------------------
constexpr std::uint8_t DROP_GROUND_C = 0x01; // collides with collision set C, not A
constexpr std::uint8_t DROP_NO_SHADOW_PROBE = 0x02;
constexpr std::uint8_t DROP_PICKUP = 0x04;     // collectable, sparkles, long life
constexpr std::uint8_t DROP_NO_EXPIRY = 0x08;  // no age limit, no fade
constexpr std::uint8_t DROP_AT_REST = 0x10;    // starts resting
constexpr std::uint8_t DROP_EVENT_HOLD = 0x20; // a hovering icon stays up while an event runs
constexpr std::uint8_t DROP_MOTION_BALLISTIC = 0;
constexpr std::uint8_t DROP_MOTION_FLUTTER = 1;
constexpr std::uint8_t DROP_MOTION_HOVER = 2;
constexpr std::int32_t DROP_TEXTURES_PICKUP = 624; // game texture entry of item 0
constexpr std::int32_t DROP_TEXTURES_DEBRIS = 49;  // entry of debris piece 0 ("debris000")
constexpr std::uint32_t DROP_MATERIAL = 0x14641;
constexpr std::uint32_t DROP_COLOUR = 0xFFFFFF;

// One drop as its spawner makes it.
struct DropParams {
    std::int32_t texture;   // the entry of the game texture table
    std::uint32_t material; // render material flags
    std::uint32_t colour;
    std::uint32_t decal_colour; // of the blood decal a bounce leaves; 0 none
    std::int32_t item_id;       // what is collected; for debris the piece number
    std::uint8_t start_delay;   // ticks before it shows and moves
    std::uint8_t flags;         // DROP_*
    std::uint8_t motion;        // DROP_MOTION_*
    D3DXVECTOR3 position;
    float heading;        // radians, of the throw
    float speed;          // horizontal, per tick
    float vertical_speed; // up positive
    float spin_speed;     // radians a tick
    float size;           // the sprite's half-extent is size x 0.315
    float lifetime;       // ticks
};
static_assert(sizeof(DropParams) <= GOXX_AREA_SIZE);

// How a run of drops is thrown: from the point, with speeds and headings drawn from the ranges.
struct DropThrow {
    std::int32_t texture_base; // DROP_TEXTURES_*
    std::uint8_t delay_step;   // added to each next drop's start delay
    std::int32_t life_spread;  // up to this many ticks added to the lifetime
    std::uint8_t flags;
    float size;
    float spin;
    float speed_min, speed_max;
    float vertical_min, vertical_max;
    float heading_min, heading_max;
    std::uint32_t decal_colour;
};

void goxx_init_item_drop(GoXx& object, const DropParams& params);
// `count` drops of items taken in turn from a shuffled copy of `list` (shuffled afresh each time
// it runs out). A full pool ends the run; an empty list makes nothing.
void goxx_spawn_item_drops(std::span<const std::int32_t> list, std::int32_t count, const D3DXVECTOR3& point,
                           const DropThrow& how);
// Debris pieces that leave decals of the colour on their bounces.
void goxx_drop_items_short(std::uint32_t decal_colour, const D3DXVECTOR3& point,
                           std::span<const std::int32_t> list, std::int32_t count, bool spin, bool no_expiry,
                           bool at_rest);
// Pick-ups with the long lifetime.
void goxx_drop_items_long(const D3DXVECTOR3& point, std::int32_t count, std::span<const std::int32_t> list,
                          bool spin, bool no_expiry, bool at_rest);

// ---- Script attacks (subtypes 10, 11 and 12) ------------------------------------------------------
// A wave that runs along the ground leaving effect puffs.
struct WaveParams {
    D3DXVECTOR3 position;
    float speed;       // per tick
    float heading;     // radians
    float effect_time; // of every puff effect
    float unread_6;
    float size;
    ObjHandle<GoActor> source;
    std::int32_t puff_value; // handed to every puff effect
    std::uint32_t puff_count;
    std::int32_t puff_effect_id;
    std::uint32_t puff_period; // ticks
};
static_assert(sizeof(WaveParams) <= GOXX_AREA_SIZE);

// A ribbon attack: ribbons that strike toward targets, or sweep the ground ahead.
struct RibbonAttackParams {
    D3DXVECTOR3 position;
    float unread_3;
    float heading;
    float attack_bonus;
    float unread_6;
    ObjHandle<GoBase> source;
    std::uint32_t attack_id;
    std::int32_t value;  // the script's fourth argument word
    std::int32_t single; // more ribbons become one
    std::int32_t ground; // bit 0: sweep the ground
    std::uint32_t start_delay;
    std::int32_t lane; // 0-4
};

// One target of a ribbon attack.
struct RibbonTarget {
    ObjHandle<GoBase> object;
    D3DXVECTOR3 point;
    std::uint32_t id;
    std::int32_t use_counter;
    std::int32_t done;
};

// The ribbon attack's record and its targets, which its set-up chooses.
struct RibbonAttack {
    RibbonAttackParams params;
    std::uint32_t target_count;
    std::uint32_t target_index; // the current target
    RibbonTarget* targets;      // one a ribbon, listed by the set-up
};
static_assert(sizeof(RibbonAttack) <= GOXX_AREA_SIZE);

// An object that stays with its actor for a while.
struct AttachedAttackParams {
    ObjHandle<GoActor> actor;
};
static_assert(sizeof(AttachedAttackParams) <= GOXX_AREA_SIZE);

void goxx_init_script_attack_wave(GoXx& object, const WaveParams& params);
void goxx_init_script_attack_ribbons(GoXx& object, const RibbonAttackParams& params);
void goxx_init_script_attack_attached(GoXx& object, const AttachedAttackParams& params);
// The ribbon attack's heading: its own in ground mode, else toward its current target (its own
// while it has none). The script that starts it turns its actor this way.
float actor_heading_to_waypoint(GoXx& object);

// ---- Shots (subtype 17) ---------------------------------------------------------------------------
struct ShotTarget;

// The values a shot is fired with.
struct ShotSpawn {
    ObjHandle<GoBase> owner; // its status goes into the body effect
    std::int32_t motion;     // the motion rule 0-39
    std::int32_t effect_id;  // the body effect
    D3DXVECTOR3 pos;
    D3DXVECTOR3 dir;
    float speed;        // per tick
    float accel;        // added to the speed every tick
    float drop;         // taken off the step's y every tick by the ballistic motions
    float effect_time;  // the body effect's start time
    float effect_speed; // its time scale
    std::int32_t trail_effect_id;
    std::int32_t trail_period;  // ticks between trail effects; 0 none
    std::int32_t homing_period; // ticks between steering steps; 0 none
    float turn_rate;            // radians a steering step
    float motion_a, motion_b, motion_c, motion_d;
};

// A shot's record: the spawn values, then its run-time state.
struct ShotParams : ShotSpawn {
    std::uint8_t counter8;
    std::uint8_t hit_count;
    std::uint32_t ticks;
    ObjHandle<GoEffect> body_effect;
    std::int32_t phase;
    std::int32_t enemy_side;
    ShotTarget* target;
    float aim_height;
    std::int32_t impact_done;
    ObjHandle<GoXx> light;
};
static_assert(sizeof(ShotParams) <= GOXX_AREA_SIZE);

// A shot with the values and a zeroed state; null when the pool is full.
GoXx* goxx_spawn_shot(const ShotSpawn& values);

// ---- Animated sprite (subtype 6) ---------------------------------------------------------------------
// A sprite character standing free, shown with its own animation script held at the action it
// was made with (the quick-save marker is a copy of the player's pose).
struct AnimSpriteParams {
    D3DXVECTOR3 position;
    float facing; // radians
    std::int32_t script_set;
    std::int32_t image_archive;
    std::int32_t action;
    float frame_value;   // the script's own vertical offset of the frame
    float offset;        // added to the centre's x and y
    float height_offset; // added to the frame's offset in the pull toward the camera
    float foot_drop;     // the feet below the position
    float shadow_height; // the ground the shadow lies on
    float shadow_radius;
};

struct AnimSpriteQuad {
    QuadVertex vertices[4];
};

// The record and the two blocks the object owns; its deletion frees them.
struct AnimSprite {
    AnimSpriteParams params;
    AniScript* script;
    AnimSpriteQuad* quad;
};
static_assert(sizeof(AnimSprite) <= GOXX_AREA_SIZE);

constexpr MaterialFlags ANIM_SPRITE_MATERIAL = 0x47C1;
constexpr int ANIM_SPRITE_ROW = 11;
constexpr int ANIM_SPRITE_SHADOW_BATCH = 3;
constexpr float ANIM_SPRITE_VIEW_RADIUS = 3.0f;

void goxx_init_anim_sprite(GoXx& object, const AnimSpriteParams& params);
// On drawn frames: the sprite item facing the camera's heading, and its shadow.
void goxx_update_anim_sprite(GoXx& object);
void goxx_release_anim_sprite(GoXx& object);

// ---- Picture overlay (subtype 14) -----------------------------------------------------------------
// A 512 x 128 picture over the screen for 150 ticks: 45 to fade in, 45 to fade out, or held once
// faded in.
struct PictureOverlayParams {
    char path[80]; // zero-terminated
    std::int32_t hold;
    std::int32_t centred; // the large centred place, else the top-left corner
};

struct PictureOverlay {
    std::uint32_t life; // ticks
    std::int32_t hold;
    std::int32_t centred;
    IDirect3DTexture8* texture; // null draws untextured
};
static_assert(sizeof(PictureOverlay) <= GOXX_AREA_SIZE);

void goxx_init_picture_overlay(const PictureOverlayParams& params, GoXx& object);
void goxx_update_picture_overlay(GoXx& object);
// The row-13 callback; `object` is the overlay.
void goxx_draw_picture_overlay(RenderQueueItem* item, void* object);
void goxx_release_picture_overlay(GoXx& object);

// ---- Save point (subtype 18) and point light (subtype 20) -------------------------------------------
// A save point at the position: it heals the player standing on it and refills the companions.
void goxx_init_save_point(GoXx& object, const D3DXVECTOR3& position);
// On whole ticks that are not paused: the player's arrival on it sounds once; a living player
// standing on it is healed fully and the living companions refilled, then it rests 15 ticks.
void goxx_update_save_point(GoXx& object);

struct SavePoint {
    std::uint32_t cooldown; // ticks until the next heal
};
static_assert(sizeof(SavePoint) <= GOXX_AREA_SIZE);

// A point light's two phases of keys: colour, range and attenuation go from key 0 to key 1 over
// phase 0, then to key 2 over phase 1; the light dies after phase 1 unless it loops.
struct LightParams {
    float colour[3][3]; // r, g, b of keys 0-2
    float range[3];
    float attenuation[3];
    std::int32_t phase_ticks[2];
    std::int32_t slot; // the renderer's light slot 0-3
    std::int32_t loop;
};
static_assert(sizeof(LightParams) == 76);

// The light's record: its parameters and where it stands in its phases.
struct PointLightState {
    LightParams params;
    std::uint32_t counter;        // whole ticks since the start of the cycle
    std::uint32_t phase;          // 0 or 1
    std::uint32_t phase_start[2]; // counter values
    std::uint32_t phase_end[2];
    std::uint8_t follow_player; // set by its maker: the light stays on the player
};
static_assert(sizeof(PointLightState) <= GOXX_AREA_SIZE);

// A point light at the object's position, which the caller has set.
void goxx_init_point_light(GoXx& object, const LightParams& params);
// On whole ticks, paused or not, the light moves through its phases; on drawn frames it lights
// its slot of the renderer's light table with the keys interpolated in the current phase.
void goxx_update_point_light(GoXx& object);
