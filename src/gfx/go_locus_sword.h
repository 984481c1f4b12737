// The glowing arc behind a swung sword, which also carries the swing's attack along the blade.
#pragma once

#include "object/go_base.h"
#include "platform/d3d8.h"

#include <cstdint>

class GoActor;

class GoLocusSword : public GoBase {
public:
    GoLocusSword() : GoBase(go_next_object_id(GO_CLASS_LOCUS_SWORD), GO_CLASS_LOCUS_SWORD) {}

    ObjHandle<GoActor> owner; // its reference count is raised while the trail lives
    std::int32_t curve = 0;   // 0-5
    float frame_time = 0.0f;
    float end_frame = 0.0f;
    IDirect3DTexture8* texture = nullptr; // of the game image table
    float fade = 0.0f;
    float fade_rate = 0.0f;
    float scale = 0.0f;
    D3DVECTOR blade_point{}; // in curve space
    D3DVECTOR burst_point{}; // where the last spark burst ended
    std::uint32_t reaction_id = 0;
    float reaction_values[2] = {};
    std::uint32_t spark_mode = 0;
    std::uint32_t impact_done = 0;
    std::uint32_t side = 0;       // 1 for an enemy owner
    std::int32_t attack_from = 0; // the frame window of the attack
    std::int32_t attack_to = 0;
    std::int32_t hold = 0;       // ticks the frame time stands
    HitShape hit_shapes[2] = {}; // chained from the attack
};
