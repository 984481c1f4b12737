// The base of every game object and window: class code, flags, id, reference count, the two
// matrices and the combat records. Objects live in the fixed pools of obj_pools.h and are
// deleted only by the object manager (obj_manager.h).
#pragma once

#include "game/g_status_block.h"
#include "platform/d3dx8.h"

#include <cstddef>
#include <cstdint>

// Class codes: the run-time type test, and the top byte of every object id. 12 and 17 are unused.
constexpr std::uint8_t GO_CLASS_ACTOR = 1;
constexpr std::uint8_t GO_CLASS_BOSS1 = 2;
constexpr std::uint8_t GO_CLASS_BOSS2 = 3;
constexpr std::uint8_t GO_CLASS_BOSS3 = 4;
constexpr std::uint8_t GO_CLASS_BOSS4 = 5;
constexpr std::uint8_t GO_CLASS_BOSS5 = 6;
constexpr std::uint8_t GO_CLASS_BOSS7 = 7;
constexpr std::uint8_t GO_CLASS_BOSS8 = 8;
constexpr std::uint8_t GO_CLASS_EFFECT = 9;
constexpr std::uint8_t GO_CLASS_EMOTION = 10;
constexpr std::uint8_t GO_CLASS_LOCUS_SWORD = 11;
constexpr std::uint8_t GO_CLASS_MESH = 13;
constexpr std::uint8_t GO_CLASS_PARTICLE = 14;
constexpr std::uint8_t GO_CLASS_POPUP = 15;
constexpr std::uint8_t GO_CLASS_SCRIPT = 16;
constexpr std::uint8_t GO_CLASS_SKYBOX = 18;
constexpr std::uint8_t GO_CLASS_XX = 19;
constexpr std::uint8_t GO_CLASS_WNDDEMO = 20;
constexpr std::uint8_t GO_CLASS_WNDDIALOG = 21;
constexpr std::uint8_t GO_CLASS_WNDTEXT = 22;
constexpr std::uint8_t GO_CLASS_WNDMAIN2 = 23;
constexpr std::uint8_t GO_CLASS_WNDSHOP2 = 24;
constexpr std::uint8_t GO_CLASS_WNDZZZ = 25;
constexpr std::uint8_t GO_CLASS_LIMIT = 26; // above every code

constexpr std::uint8_t GO_FLAG_NEW = 0x1;  // constructed; cleared by the tick just before the first update
constexpr std::uint8_t GO_FLAG_DEAD = 0x2; // to be deleted by the sweep

// ---- Combat records ------------------------------------------------------------------------------
// Class bits of a hit shape; a shape meets the shapes whose class is in its target mask.
constexpr std::uint32_t HIT_PLAYER_BODY = 0x01;
constexpr std::uint32_t HIT_PLAYER_ATTACK = 0x02;
constexpr std::uint32_t HIT_NEUTRAL = 0x04;
constexpr std::uint32_t HIT_ENEMY = 0x08;
constexpr std::uint32_t HIT_ENEMY_ATTACK = 0x10;
constexpr std::uint32_t HIT_OBJECT = 0x20; // a boss part or hittable object
constexpr std::uint32_t HIT_ACTIVE = 0x80; // clear: the shape takes part in no test

// One link of an object's hit-shape chain: a sphere, or a vertical cylinder.
struct HitShape {
    std::uint32_t class_bits;
    std::uint32_t target_mask;
    float radius;
    D3DVECTOR centre;
    float half_height;
    std::int32_t cylinder;
    std::uint32_t attack_id; // attack shapes only
    std::int32_t hold;       // attack shapes only: ticks a target keeps the id in its hit-once list
    HitShape* next;          // further links belong to the object that chains them
};
static_assert(sizeof(HitShape) == 48);
static_assert(offsetof(HitShape, centre) == 12);
static_assert(offsetof(HitShape, attack_id) == 32);
static_assert(offsetof(HitShape, next) == 40);

// An attack id that hit the object recently; live while ticks_left is non-zero.
struct HitOnceEntry {
    std::uint32_t attack_id;
    std::int32_t ticks_left;
};
static_assert(sizeof(HitOnceEntry) == 8);

constexpr std::uint32_t ATTACK_PLAYER_CLASS = HIT_PLAYER_ATTACK | HIT_ACTIVE;
constexpr std::uint32_t ATTACK_PLAYER_TARGETS = HIT_ENEMY | HIT_ENEMY_ATTACK | HIT_OBJECT;
constexpr std::uint32_t ATTACK_ENEMY_CLASS = HIT_ENEMY_ATTACK | HIT_ACTIVE;
constexpr std::uint32_t ATTACK_ENEMY_TARGETS = HIT_PLAYER_BODY | HIT_PLAYER_ATTACK | HIT_NEUTRAL;
constexpr std::uint8_t ATTACK_ELEMENT_PLAIN = 3; // the player's weapon; 4-6 are the charged 0-2
constexpr std::uint8_t ATTACK_ELEMENT_NONE = 0xFF;
constexpr std::uint32_t ATTACK_ENDS_ON_HIT = 0x4;

// The one attack an object can deal at a time. It starts with a whole hit shape, so it goes
// wherever a shape chain does.
struct AttackDesc {
    HitShape shape;
    float attack_bonus;
    float damage_minimum;
    float attack_factor;   // knockback multiplier
    std::uint8_t strength; // 0 light, 1 strong, 2 heavy (breaks an ordinary guard)
    std::uint8_t element;
    std::uint8_t ailments;
    float orbit_angle; // radians added to the attacker's facing
    float orbit_radius;
    float orbit_height;
    std::int32_t active_ticks; // 0 inactive, -1 endless
    std::uint32_t flags;
};
static_assert(sizeof(AttackDesc) == 88);
static_assert(offsetof(AttackDesc, attack_bonus) == 48);
static_assert(offsetof(AttackDesc, strength) == 60);
static_assert(offsetof(AttackDesc, orbit_angle) == 64);
static_assert(offsetof(AttackDesc, flags) == 80);

// ---- Objects -------------------------------------------------------------------------------------
class GoBase {
public:
    GoBase(const GoBase&) = delete;
    GoBase& operator=(const GoBase&) = delete;

    std::uint8_t GetClassCode() const { return class_code; }
    // Runs the destructor chain and gives the slot back to its class's pool. The freed slot's
    // id reads 0, so every handle to the object reads as gone. Only the object manager calls it.
    void DeletingDestructor();
    // One logic step; queues the object's drawing on the draw step.
    virtual void Update() = 0;

    std::uint8_t class_code;
    std::uint8_t flags = GO_FLAG_NEW;
    std::uint16_t role = 0; // free for the class: the GoXx subtype
    std::uint32_t object_id;
    std::uint32_t ref_count = 0; // holders that keep the object from the sweep
    D3DXMATRIX world;            // its translation row is the position
    D3DXMATRIX rotation;
    HitShape hit_shape{};
    std::uint32_t hit_once_count = 0;
    HitOnceEntry* hit_once = nullptr; // storage of the class's own
    StatusBlock status{};
    AttackDesc attack{};

protected:
    GoBase(std::uint32_t id, std::uint8_t code);
    virtual ~GoBase() = default;
};

// Marks the object dead and out of every hit test; the sweep deletes it once nothing holds it.
void go_kill(GoBase& object);

// The class's next object id: code << 24 | its running counter. The actor counter also numbers
// the actors' attacks.
std::uint32_t go_next_object_id(std::uint8_t class_code);

// The id word of an object's slot, read as the bytes it holds: the slot may hold a deleted
// object, which is not touched as an object.
std::uint32_t go_slot_id(const void* slot);

// A reference to an object that knows when the object is gone: it holds the object's id and
// gives the object only while its slot still holds a live object with that id.
template <typename T> class ObjHandle {
public:
    ObjHandle() = default;
    explicit ObjHandle(T* object) : m_object(object), m_id(object ? object->object_id : 0) {}

    T* get() const
    {
        return m_object && go_slot_id(static_cast<const void*>(m_object)) == m_id ? m_object : nullptr;
    }
    explicit operator bool() const { return get() != nullptr; }

private:
    T* m_object = nullptr;
    std::uint32_t m_id = 0;
};
