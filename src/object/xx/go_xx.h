// The multi-purpose object: one class behind 38 kinds of small world things (shots, drops,
// sprite particles, decals, lights, floors, event tasks ...). The subtype lives in the role tag;
// its record lives in the subtype area.
#pragma once

#include "object/go_base.h"

#include <cstddef>
#include <cstdint>

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

    // The subtypes' own updates come with the code that makes them.
    void Update() override {}

    // The subtype's record, zeroed at construction.
    template <typename Record> Record& area()
    {
        static_assert(sizeof(Record) <= GOXX_AREA_SIZE && alignof(Record) <= alignof(std::max_align_t));
        return *reinterpret_cast<Record*>(subtype_area);
    }

    alignas(std::max_align_t) std::byte subtype_area[GOXX_AREA_SIZE] = {};
};

// Live objects per subtype; some behaviours and the event scripts read their own entry.
extern std::int32_t g_goxx_live_count[GOXX_SUBTYPE_COUNT];

// Every maker of a GoXx gives it its subtype through this, which counts it as live until the
// object is deleted.
void goxx_set_subtype(GoXx& object, GoXxSubtype subtype);
