// A placed model of the world: the map's geometry, its props and machinery, and the pieces that
// bosses and windows place. It owns its model's animation and up to three collision models.
#pragma once

#include "object/go_base.h"
#include "scenegraph/coll_model.h"
#include "scenegraph/model.h"

#include <cstdint>

constexpr int MESH_PATH_SIZE = 80;
constexpr int MESH_NAME_SIZE = 32;
constexpr int MESH_HIT_ONCE_ENTRIES = 10;

// Named map objects with a behaviour of their own, found from the model path.
constexpr std::uint32_t MESH_IRON_BALL = 0x1;
constexpr std::uint32_t MESH_BUCKET = 0x2;
constexpr std::uint32_t MESH_FOOTHOLD = 0x4;
constexpr std::uint32_t MESH_ROLLING_EDGE = 0x8;
constexpr std::uint32_t MESH_ROLLING_SPIKES = 0x10;

class GoMesh : public GoBase {
public:
    GoMesh();

    // combined = rotation x world, with its inverse; after every move.
    void UpdateWorldMatrix();
    // A move to the point at `speed` a tick. The mover stops within the arrival distance (a
    // squared distance), which is at least the speed.
    void SetMoveTarget(const D3DXVECTOR3& point, float arrival, float speed);

    D3DXMATRIX combined;
    D3DXMATRIX combined_inverse;
    Model* model = nullptr; // a reference held through the resource manager
    std::int32_t kind = 0;  // 0 map mesh, 1 drawn in the model's row, 2 and above not drawn by itself
    D3DXVECTOR3 position;
    D3DXVECTOR3 angles; // pitch, yaw, roll as loaded
    D3DXVECTOR3 scale;
    char model_path[MESH_PATH_SIZE] = {};
    char name[MESH_NAME_SIZE] = {};
    char second_name[MESH_NAME_SIZE] = {};
    char third_name[MESH_NAME_SIZE] = {};
    std::uint8_t enabled = 0; // a disabled mesh neither updates, draws nor collides
    std::uint8_t frustum_test = 1;
    std::uint8_t culled = 0;
    std::uint8_t opaque = 0;
    std::uint8_t has_collision_a = 0;
    std::uint8_t has_collision_b = 0;
    std::uint8_t has_collision_c = 0;
    std::uint8_t identity = 0; // combined is exactly the identity: queries skip the transforms
    std::uint8_t anim_on = 0;
    std::int32_t mode_value = 0;
    ModelInstance anim_instance{};
    std::int32_t anim_range = 0;
    float alpha = 0.0f;
    float alpha_target = 0.0f;
    float alpha_rate = 0.0f; // per tick
    float hp_copy = 0.0f;
    D3DXVECTOR3 hit_offset;
    HitOnceEntry hit_once_entries[MESH_HIT_ONCE_ENTRIES] = {};
    std::int32_t render_row = 0;
    std::uint32_t special_bits = 0;
    float cull_radius = 0.0f; // added to the model's radius
    CollisionModel collision_c;
    CollisionModel collision_b;
    CollisionModel collision_a;

    // The mover of the game tick: a move toward a target, then a spin.
    D3DXVECTOR3 move_target;
    float arrival_distance = 0.0f; // squared; 0: no move
    float move_speed = 0.0f;
    D3DXVECTOR3 velocity;
    D3DXVECTOR3 spin_angles; // radians: pitch, yaw, roll
    D3DXVECTOR3 spin_speeds; // degrees a tick
};
