// The glowing arc behind a swung sword, which also carries the swing's attack along the blade.
#pragma once

#include "object/go_base.h"
#include "platform/d3d8.h"

#include <cstdint>

class GoActor;
struct AniSwordTrailRequest;
struct RenderQueueItem;

constexpr int LOCUS_SWORD_ROW = 11;
constexpr int LOCUS_SWORD_MASK_ROW = 10; // the second collision set's pass
constexpr int LOCUS_SWORD_DEFAULT_LIFETIME = 15;
constexpr float LOCUS_SWORD_RADIUS = 0.45f;     // of the attack spheres
constexpr float LOCUS_SWORD_DYING_FADE = 0.15f; // per tick once the owner is defeated
constexpr std::uint32_t LOCUS_SWORD_BURST_REACTION = 142;

class GoLocusSword : public GoBase {
public:
    GoLocusSword() : GoBase(go_next_object_id(GO_CLASS_LOCUS_SWORD), GO_CLASS_LOCUS_SWORD) {}

    // Takes the segment of the curve and the owner's attack; false, with nothing changed, for a
    // segment the curve does not have. `colour` is the attack's element, -1 none.
    bool Attach(GoActor& actor, int image_entry, std::uint32_t attack_id, float attack_bonus,
                float attack_factor, std::int32_t from, std::int32_t to, std::int32_t strength,
                std::int32_t lifetime, std::int32_t colour, std::int32_t curve_index, std::int32_t segment);
    // Skipped while the world is frozen: plays the segment, fades, moves the attack along the
    // blade, sparks off walls, sprays the power-up burst and queues the drawing.
    void Update() override;
    // The row callback; `trail` is the trail.
    static void Draw(RenderQueueItem* item, void* trail);

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
    D3DVECTOR origin{};          // the owner's position when the trail started

protected:
    // Lowers the owner's reference count while the owner still lives.
    ~GoLocusSword() override;
};

// Whether curve `curve_index` has segment `segment`.
bool locus_sword_segment_valid(std::int32_t curve_index, std::int32_t segment);

// The trail an animation script starts for its owner; null when the pool is full or the
// request names a segment its curve does not have.
GoLocusSword* actor_spawn_sword_trail(const AniSwordTrailRequest& request, GoActor& owner);
