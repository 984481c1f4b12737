// The actor: the player, companions, people and ordinary enemies, one class for all of them;
// its behaviour kind chooses what it does each step.
#pragma once

#include "core/maths.h"
#include "gfx/ani_script.h"
#include "object/go_base.h"
#include "scenegraph/renderer_queue.h"

#include <cstdint>

class GoEffect;
struct EnemyInfo;

constexpr std::int32_t ACTOR_CAST_HERO = 13;
constexpr std::int32_t ACTOR_CAST_OWN_TRAIL = 80; // swings along its own sword-trail curve
constexpr std::int32_t ACTOR_KEY_PLAYER = 13;
constexpr std::int32_t ACTOR_KEY_FREE = 177; // keys from here up are free for new actors

// Cast-flag bits that the event scripts set or read.
constexpr std::uint32_t ACTOR_CAST_NO_SHADOW = 0x1;
constexpr std::uint32_t ACTOR_CAST_WANDERS = 0x10;
constexpr std::uint32_t ACTOR_CAST_RUNS_TO_TARGET = 0x20;
constexpr std::uint32_t ACTOR_CAST_NEUTRAL = 0x40;
constexpr std::uint32_t ACTOR_CAST_NO_ANIMATION = 0x80; // set up without binding its animation
constexpr std::uint32_t ACTOR_CAST_ENEMY = 0x10000;
constexpr std::uint32_t ACTOR_CAST_UNTARGETABLE = 0x80000; // never surprised, never a script target
constexpr std::uint32_t ACTOR_CAST_IGNORES_LEDGES = 0x100000;
constexpr std::uint32_t ACTOR_CAST_IGNORES_BUMP = 0x2000000;
constexpr std::uint32_t ACTOR_EXTRA_FIXED_VALUES = 0x400; // scripts fixed its values: levels leave them

constexpr std::uint8_t ACTOR_STATUS_EXEMPT = 0x80; // stopping all enemies leaves the actor be
constexpr std::uint32_t ACTOR_MOVE_RUNNING = 0x20;
constexpr std::uint32_t ACTOR_EVENT_LANDED = 0x1;
constexpr std::int32_t ACTOR_CAST_ALLY_FIRST = 84; // 84-165: allies and people, on the player's side
constexpr std::int32_t ACTOR_CAST_ALLY_LAST = 165;
constexpr std::uint8_t ACTOR_SURFACE_LIQUID = 14; // the second liquid; floor surfaces run 0-14
constexpr int ACTOR_HIT_ONCE_ENTRIES = 10;
constexpr int ACTOR_WAYPOINTS = 8;
constexpr int ACTOR_TALK_SCRIPT_SIZE = 80;
constexpr int ACTOR_PARAMS = 9;
constexpr int ACTOR_AURA_SLOTS = 4;   // per set: ailment or power-up bits 0x01, 0x08, 0x10, 0x20
constexpr int ACTOR_SPRITE_QUADS = 4; // main layer, second layer, darkened copy, water reflection

// How the actor chooses its heading.
enum ActorFaceMode : std::uint8_t {
    ACTOR_FACE_MOTION = 0,
    ACTOR_FACE_ACTOR = 1, // the face-target actor
    ACTOR_FACE_POINT = 2,
    ACTOR_FACE_ANGLE = 3,
};

// The part of the AI block that the game's rules set on an enemy: an enemy put in its surprised
// state plays its surprise reaction until the command timer runs out.
constexpr std::int32_t ACTOR_AI_SURPRISED = 3;
struct ActorAi {
    std::int32_t state = 0;         // 0 initialise, 1 idle, 2 alert, 3 surprised, 4 and above by kind
    std::int32_t command_timer = 0; // counts down; -1 holds
    std::uint8_t surprised = 0;     // the surprise reaction runs
    std::uint8_t surprise_mark = 0; // the surprise mark's effect is on the actor
};

// A timed colour blend: from -> to by progress, which rises by rate a step; held `repeats`
// whole ticks at the end.
struct ActorColourBlend {
    float from[3];
    float to[3];
    float progress;
    float rate;
    std::int32_t repeats;
};
static_assert(sizeof(ActorColourBlend) == 36);

class GoActor : public GoBase {
public:
    GoActor();

    // Runs on every step, dead or alive: the player's place for the mouse pointer on drawn
    // frames, and the regions that follow the camera focus.
    void Update() override;

    std::int32_t kind = 0; // behaviour kind
    std::int32_t cast = 0; // cast number, the index of the cast record
    std::int32_t key = 0;  // the name by which scripts and sounds find the actor
    std::uint32_t cast_flags = 0;
    std::uint32_t extra_flags = 0;
    float view_radius = 0.0f; // of the draw step's visibility test
    float shadow_size = 0.0f;
    D3DCOLOR colour = 0;       // modulate colour of the sprite; its alpha is the fade
    D3DCOLOR added_colour = 0; // added to the sprite
    std::uint8_t status_bits = 0;
    std::uint8_t mute = 0;        // its sounds are not played
    std::uint8_t hidden = 0;      // its sword trail is not drawn
    std::uint8_t out_of_view = 0; // the draw step's visibility test failed: it makes no sound
    D3DXMATRIX billboard_matrix;  // model to world
    QuadVertex sprite_quads[ACTOR_SPRITE_QUADS][4] = {};
    float camera_height = 0.0f;      // eases toward the goal
    float camera_height_goal = 0.0f; // ground height plus foot offset
    float flash = 0.0f;              // the hit flash's strength
    float draw_height_offset = 0.0f; // the sprite's lift above the feet (hover bob)
    float draw_scale = 0.0f;
    std::int32_t script_set = 0; // the animation-script set of the cast
    std::uint8_t shadow_style = 0;
    ActorColourBlend colour_blend_a{}; // added to the sprite
    ActorColourBlend colour_blend_b{}; // replaces the modulate colour
    D3DCOLOR shadow_colour = 0;
    MaterialFlags material_flags = 0; // of the sprite
    float facing = 0.0f;              // radians
    float target_facing = 0.0f;
    float walk_speed = 0.0f;
    float attack_facing = 0.0f;
    float ground_height = 0.0f;
    float placement_ground = 0.0f; // the ground height where it was placed
    float water_height = 0.0f;     // of the water it wades in
    float foot_offset = 0.0f;      // height of the position above the feet
    float body_radius = 0.0f;
    float hit_shape_height = 0.0f; // height of the body's centre above the position
    float move_speed_x = 0.0f;
    float vertical_speed = 0.0f;
    float move_speed_z = 0.0f;
    D3DXVECTOR3 push_velocity;
    D3DXVECTOR3 bump_velocity;         // the push-out from other bodies
    float face_target_point[2] = {};   // x, z
    float turn_target_a_point[2] = {}; // x, z: the walk target
    float fixed_face_angle = 0.0f;
    float turn_target_a_radius_sq = 0.0f; // 0: no walk target
    float turn_target_speed_factor = 0.0f;
    float turn_factor = 0.0f; // multiplies the turn rate
    ObjHandle<GoActor> face_target_actor;
    D3DXVECTOR3 turn_target_b_point; // the 3-D move target
    float turn_target_b_radius_sq = 0.0f;
    float animation_speed = 0.0f; // factor of the animation's pace
    std::uint8_t on_ground = 0;
    std::uint8_t wading = 0;
    std::uint8_t submerged = 0; // in water: the vertical speed is held in -0.05..0.1
    std::uint8_t flying = 0;    // hovers without gravity
    std::uint8_t jump_started = 0;
    ActorFaceMode face_mode = ACTOR_FACE_MOTION;
    std::uint8_t footprint_side = 0;
    std::int32_t jump_phase = 0;
    std::uint32_t movement_bits = 0;
    std::uint8_t run_switch = 0; // the player's run/walk toggle
    std::uint32_t event_bits = 0;
    std::uint32_t attack_id = 0;            // the current swing's: a target is hit once per swing
    std::int32_t invulnerability_ticks = 0; // the player's: enemy attacks pass it by while non-zero
    D3DXVECTOR3 previous_position;
    std::int32_t defeat_counter = 0; // 0 alive; ticks of the defeat or death
    float jump_speed = 0.0f;         // the cast's take-off speed
    float jump_start_speed = 0.0f;
    float base_walk_speed = 0.0f;
    float second_speed = 0.0f;
    float hover_height = 0.0f;
    std::int32_t wander_mode = 0; // 1: stands still
    std::int32_t waypoint_state[3] = {};
    std::uint32_t waypoint_count = 0;
    D3DXVECTOR3 wander_box[2]; // y ignored; all zero: 3 units round the home point
    D3DXVECTOR3 waypoints[ACTOR_WAYPOINTS];
    std::uint8_t current_waypoint = 0;
    std::uint8_t standing_surface = 0;        // floor surface type 0-14
    std::uint8_t footstep_sounds = 0;         // its steps make sounds
    std::uint8_t footstep_repeat_counter = 0; // ticks until the next footstep may sound
    std::uint8_t variation_counter = 0;       // picks among a surface's footstep sounds
    std::uint8_t fall_guard_counter = 0;
    float alpha = 0.0f;
    float alpha_target = 0.0f;
    float alpha_rate = 0.0f;
    std::int32_t input_last_slot = 0; // the last control-input slot taken; -1 none
    D3DXVECTOR3 home_point;
    float home_facing = 0.0f;
    HitOnceEntry hit_once_entries[ACTOR_HIT_ONCE_ENTRIES] = {};
    char talk_script[ACTOR_TALK_SCRIPT_SIZE] = {};

    // The automatic walk of an arrival, which the player's control follows while the screen fades.
    float auto_walk_target[2] = {}; // x, z
    float auto_walk_speed = 0.0f;
    float auto_walk_factor = 0.0f;

    std::uint8_t stick_hold = 0; // ignore a held stick turned away from the facing until released
    std::uint8_t talk_request = 0;
    std::int32_t talk_state = 0;
    std::uint8_t script_byte = 0;
    std::uint8_t disable_byte = 0;
    float tuning_value = 0.0f;
    std::int32_t params[ACTOR_PARAMS] = {};
    std::int32_t quick_save = 0;
    D3DXVECTOR3 quick_save_position;
    ActorAi ai;
    std::uint8_t ai_byte = 0;      // the byte of the AI block that animation scripts read
    std::uint8_t random_start = 0; // its animation starts a few ticks off, out of step with its kind
    // The hero's aura effects of its ailments and power-ups, by bit.
    ObjHandle<GoEffect> ailment_auras[ACTOR_AURA_SLOTS];
    ObjHandle<GoEffect> powerup_auras[ACTOR_AURA_SLOTS];
    AniScript script{}; // its animation: frames, waits and the functions that act on the actor

protected:
    ~GoActor() override;
};

// The hero's actor and the actor the camera follows, or null.
extern GoActor* g_player;
extern GoActor* g_camera_focus;

// The companions of casts 87, 86 and 129, in that order, or null.
constexpr int ACTOR_ALLY_COUNT = 3;
extern GoActor* g_ally_actors[ACTOR_ALLY_COUNT];

// The spawn types of the cast records; any other value leaves the hit shape as constructed.
constexpr std::int32_t ACTOR_SPAWN_FRIEND = 2;
constexpr std::int32_t ACTOR_SPAWN_NEUTRAL = 4;
constexpr std::int32_t ACTOR_SPAWN_ENEMY = 16;

// Turns a constructed actor into a working character of its cast: key, body, hit shape, combat
// status, flags and, unless the cast has no animation, its animation and preloads.
void actor_setup(GoActor& actor, std::int32_t key, std::int32_t kind, std::int32_t spawn_type,
                 std::int32_t script_set, std::int32_t cast);
// Puts the actor at the point with every facing set: position, previous position, hit-shape
// centre and home point, and the camera height of its ground.
void actor_set_position(const D3DXVECTOR3& position, GoActor& actor, float facing);
// Up to 8 patrol waypoints (a larger count becomes 8); the start point, when given, is appended
// while fewer than 7 are given.
void actor_set_waypoints(std::int32_t count, const D3DXVECTOR3* points, GoActor& actor,
                         const D3DXVECTOR3* start);
// A waypoint drawn at random other than the current one, made current; null without waypoints.
const D3DXVECTOR3* actor_pick_random_waypoint(GoActor& actor);
// Binds the actor's animation script, loads its image archive and preloads its cast's effects.
void actor_init_animation(GoActor& actor);
// Loads the sound effects the cast will play, once while at most one of it lives.
void actor_preload_cast(std::int32_t cast);

// The enemy-table row of an enemy cast: 14-83 read row cast - 14, 166-176 row cast - 96. Null for
// any other cast and for a row past the table.
const EnemyInfo* actor_enemy_row(std::int32_t cast);

// The point the camera follows for the actor: its x and z, and the height of its ground plus its
// foot offset, kept within 5 below and the foot offset above its own height.
void actor_camera_target(const GoActor& actor, D3DXVECTOR3& out);

// The translation row of its world matrix.
D3DXVECTOR3 actor_position(const GoActor& actor);

// Removes the actor from play once: its cast's live count and, for an enemy, GF_LIVE_ENEMIES
// drop by 1; it is dead and not hittable. An actor already dead is left as it is.
void actor_kill(GoActor& actor);

// Starts a timed colour blend from colour P to colour Q: A is added to the sprite, B replaces its
// modulate colour. The actor's physics step advances it.
void actor_set_color_blend_a(GoActor& actor, const Vec3& q, const Vec3& p, float rate, std::int32_t hold);
void actor_set_color_blend_b(GoActor& actor, const Vec3& q, const Vec3& p, float rate, std::int32_t hold);

// Plays a sound effect at the actor, unless it is muted or out of view: pulled toward the player
// by a tenth of the distance per step of GF_ACTOR_SOUND_PULL (clamped to 0-10 in the flag).
void actor_play_sound(GoActor& actor, std::int32_t id);
// The footstep of the actor's surface (`override` 0: the one it stands on) on the ground and out
// of deep water; then the ticks until its next footstep.
void actor_play_footstep(std::int32_t override, GoActor& actor);

// ---- Combat (actor_combat.cpp) -------------------------------------------------------------------
constexpr std::int32_t COMBAT_SIDE_PLAYER = 0;
constexpr std::int32_t COMBAT_SIDE_ENEMY = 1;
constexpr float COMBAT_ORBIT_RADIUS = 0.75f;

// Arms the object's attack: an attack sphere of `radius` at the object's position, for
// `active_ticks` applications (-1 endless). The damage minimum and the next link stay as they are.
void combat_init_attack(GoBase& object, std::int32_t active_ticks, std::int32_t side, std::int32_t hold,
                        float attack_bonus, float attack_factor, float radius, std::uint32_t attack_id,
                        std::uint8_t strength, std::uint8_t ailments, std::uint8_t element);
// Every entry of the object's hit-once list with frames left counts down by one.
void combat_tick_hit_once_list(GoBase& object);

// Where two hit-shape chains first overlap.
struct HitResult {
    float distance; // squared, between two spheres; 0 when a cylinder takes part; FLT_MAX: no overlap
    float angle;    // heading from the first chain's overlapping shape to the second's: atan2(dz, dx)
    const HitShape* first;
    const HitShape* second;
};
// Tests every link of the first chain against every link of the second, in order, and stops at
// the first pair that overlaps. Reads neither class nor mask bits.
bool combat_test_hit_shapes(HitResult& result, const HitShape& first, const HitShape& second);
// True when a live entry of the target's hit-once list holds the attack's id. Otherwise the id
// takes the first free entry for the attack's hold (a full list records nothing) and the result
// is false.
bool combat_hit_once_check(GoBase& target, const HitShape& attack);
// Applies the attacker's armed attack once: counts its active ticks down (unless endless), places
// the sphere round the position by the orbit offsets (null: it stays where it is) and tests the
// targets of its side, each once per attack id. Enemy side: the player and the companions.
// Player side: the actors and meshes whose class is in the attack's mask. True when any was hit.
bool combat_apply_attack(const D3DXVECTOR3* position, std::int32_t side, GoBase& attacker, float facing);
// The attack index of the player's current action (its magic colour), 3 for a plain action; -1
// without a player.
std::int32_t player_attack_action_index();

// Adds to the player's hit points in the play state, clamped to 0..maximum, and mirrors them
// into the player object; a loss marks GF_DAMAGE_TAKEN. True when the hit points changed.
bool player_add_hp(float delta);

// Adds to the player's gold in the play state, clamped to 0..999999, and mirrors it into the
// player object. True when the gold changed.
bool player_add_gold(std::int32_t delta);
// Adds to the second currency (GF_DUSCA), clamped to 0..9999. True when it changed.
bool player_add_dusca(std::int32_t delta);

// ---- Respawn (actor_respawn.cpp) -----------------------------------------------------------------
// Brings the actor back to life: hittable, defeat counter 0, the hero fully healed, the drawing
// state opaque and untinted; with `return_home` it also stands at its home point facing the home
// facing, at rest.
void actor_respawn_reset(GoActor& actor, bool return_home);
// The rotation part of the actor's rotation matrix turned to the heading, from the 256-step
// cosine table; its translation row (the velocity) stays.
void actor_set_yaw_matrix(GoActor& actor, float angle);

// ---- Ailment and power-up auras (actor_auras.cpp) -------------------------------------------------
// The auras of the set ailment and power-up bits of the play state, on the player: detaching stops
// them (events), attaching makes the missing ones (the end of an event, scene entry). Nothing
// without a player.
void player_ailment_auras_detach();
void player_ailment_auras_attach();
void player_powerup_auras_detach();
void player_powerup_auras_attach();
