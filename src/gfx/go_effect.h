// A running effect: the world matrix its particles are placed with, the attack values they
// inherit, and the count of its living particles. The particles are GoParticle objects.
#pragma once

#include "object/go_base.h"

#include <cstdint>

class GoParticle;
struct EffectEmitter;

enum EffectFollow : std::uint8_t {
    EFFECT_FOLLOW_NONE = 0,
    EFFECT_FOLLOW_PARENT = 1,          // base matrix x parent matrix
    EFFECT_FOLLOW_PARENT_POSITION = 2, // base matrix moved by the parent's position
    EFFECT_FOLLOW_PLAYER_POSITION = 3, // base matrix moved by the player's position
};

constexpr std::uint8_t EFFECT_ROW = 11; // the render-queue row of its particles
constexpr std::uint8_t EFFECT_ROW_IN_WATER = 9;
// The row of the particles of an effect started in water or out of it.
constexpr std::uint8_t eft_row_for(bool in_water)
{
    return in_water ? EFFECT_ROW_IN_WATER : EFFECT_ROW;
}
constexpr std::int32_t EFFECT_DEFAULT_FADE_STEP = 6; // alpha lost a tick by a fading particle

class GoEffect : public GoBase {
public:
    // Power B 1, no strength class, no element; eft_spawn overwrites them.
    GoEffect();
    // Per tick: dies once its last particle is gone, follows its parent, moves along its line.
    void Update() override;

    const D3DXMATRIX* draw_matrix = nullptr;   // its own world matrix
    const D3DXMATRIX* parent_matrix = nullptr; // followed in follow modes 1 and 2
    D3DXVECTOR3 scale;
    std::int32_t live_particles = 0;
    std::int32_t attack_id = 0;
    std::int32_t ailment_mask = 0;
    float power_a = 0.0f;
    float power_b = 1.0f;
    std::int32_t fade_step = 0; // handed to the other particles by an impact
    std::uint8_t stop_request = 0;
    EffectFollow follow = EFFECT_FOLLOW_NONE;
    std::uint8_t element = ATTACK_ELEMENT_NONE;
    std::uint8_t side = 0; // 0 the player's, 1 the enemies'
    std::uint16_t effect_id = 0;
    std::uint8_t render_row = EFFECT_ROW;
    std::uint8_t strength = 0xFF;
    float motion_speed = 0.0f;    // progress a tick along the line
    float motion_position = 0.0f; // 0 to 1
    D3DXVECTOR3 motion_start;
    D3DXVECTOR3 motion_end;
    float camera_pull = 0.0f;
    D3DXVECTOR3 camera_offset;    // toward the effect from the camera eye, times the pull
    std::uint8_t stop_always = 0; // every stop by matrix stops it
    // Kept for the actors and multi-purpose objects that start it; the effect never reads them.
    ObjHandle<GoBase> owner;
    std::uint32_t value = 0;
};

// True while the particle pool has a free slot: an effect started without one would die at once.
bool eft_particle_pool_has_room();

// Starts an effect: null, with neither pool touched, when the particle pool is full or the id is
// outside 0-399; null when the effect pool is full. Any non-zero in_water selects row 9. The
// special ids take their status from the eex rows and ids 4, 18 and 23 light a point light.
GoEffect* eft_spawn(std::int32_t id, const D3DXVECTOR3& position, const D3DXVECTOR3& rotation,
                    const D3DXVECTOR3& scale, std::int32_t in_water, std::int32_t side,
                    const StatusBlock* status, float power_a, float power_b, std::uint8_t strength,
                    std::int32_t ailment_mask, std::uint8_t element);
// World = scaling x rotation (yaw y, pitch x, roll z) x translation; the effect is drawn with it.
void eft_set_transform(GoEffect& effect, const D3DXVECTOR3& scale, const D3DXVECTOR3& rotation,
                       const D3DXVECTOR3& position);
// World = identity, or a scaling by the vector (which also becomes the effect's scale).
void eft_set_scale(const D3DXVECTOR3* scale, GoEffect& effect);
// Base = translation(offset) x rotation x scaling; the effect follows the parent matrix by mode.
void eft_attach(const D3DXVECTOR3* offset, const D3DXVECTOR3* rotation, GoEffect& effect,
                const D3DXMATRIX* parent, const D3DXVECTOR3* scale, EffectFollow follow);
// A straight line from start to end at `speed` of its length per tick step; the effect dies at the end.
void eft_set_motion(GoEffect& effect, const D3DXVECTOR3& start, const D3DXVECTOR3& end, float speed);
// Requests the stop of every live effect drawn with or following the matrix, and of the
// stop-always ones.
void eft_stop_by_matrix(const D3DXMATRIX* matrix);
// Gives a constructed effect its id, status, side and row, and starts its start list.
void eft_start_from_list(std::int32_t id, const StatusBlock* status, GoEffect& effect, std::int32_t side,
                         std::uint8_t row);
// Starts emitter `emitter` of the effect's own entry: particles, or the effect its definition names.
// A hidden parent starts nothing; an index outside the entry starts nothing.
void eft_start_emitter(GoEffect& effect, std::int32_t emitter, std::uint8_t delay, GoParticle* parent);
// An effect attached to the matrix in follow mode 2 without offset, in the given row, taken only
// while the particle pool has room: the level-up, the auras and the save point's heal.
GoEffect* eft_start_attached(std::int32_t id, const D3DXMATRIX& parent, std::uint8_t row);
