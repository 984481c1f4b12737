// A placed model of the world: the map's geometry, its props and machinery, and the pieces that
// bosses and windows place. It owns its model's animation and up to three collision models.
#pragma once

#include "object/go_base.h"
#include "scenegraph/coll_model.h"
#include "scenegraph/model.h"

#include <cstdint>

// Sized for what the map files carry, so a valid path or name is never cut.
constexpr int MESH_PATH_SIZE = 260;
constexpr int MESH_NAME_SIZE = 32;
constexpr int MESH_THIRD_NAME_SIZE = 256;
constexpr int MESH_HIT_ONCE_ENTRIES = 10;

// Where a failed load is reported from.
constexpr const char* MESH_SOURCE = "go_mesh";
constexpr unsigned MESH_LINE_MODEL = 39;
constexpr unsigned MESH_LINE_COLLISION_A = 140;

// Load options (the ".sob" record's option bits).
constexpr std::uint32_t MESH_OPT_RESIST_0 = 0x20;
constexpr std::uint32_t MESH_OPT_RESIST_1 = 0x40;
constexpr std::uint32_t MESH_OPT_RESIST_2 = 0x80;
constexpr std::uint32_t MESH_OPT_RESIST_3 = 0x200;
constexpr std::uint32_t MESH_OPT_NO_MINIMUM = 0x400;

// Material bits that make a model translucent, and the one that makes the wind blow.
constexpr std::uint32_t MESH_MAT_TRANSLUCENT = 0x80;
constexpr std::uint32_t MESH_MAT_DIFFUSE_ALPHA = 0x1000; // translucent when the colour's alpha is not 0xFF
constexpr std::uint32_t MESH_MAT_WIND = 0x40;

constexpr int MESH_ROW_TRANSLUCENT = 6;
constexpr std::uint32_t MESH_HIT_CLASS = 0xA0; // an active hittable object
constexpr std::uint32_t MESH_HIT_MASK = 0x29;

// Named map objects with a behaviour of their own, found from the model path.
constexpr std::uint32_t MESH_IRON_BALL = 0x1;
constexpr std::uint32_t MESH_BUCKET = 0x2;
constexpr std::uint32_t MESH_FOOTHOLD = 0x4;
constexpr std::uint32_t MESH_ROLLING_EDGE = 0x8;
constexpr std::uint32_t MESH_ROLLING_SPIKES = 0x10;

// The special bits of a model path, any case: "data\map\mapobj\<name>\<name>.qmo" of the iron
// ball, the buckets, the foothold and the rolling edges; 0 for every other path.
std::uint32_t mesh_special_bits(const char* path);

struct HitProbe;

class GoMesh : public GoBase {
public:
    GoMesh();

    // The model (required) with its collision sets A (required), B and C named by the model, the
    // matrices and the flags. Fatal when the model or set A is missing.
    void Load(const char* path, const D3DXVECTOR3& at, const D3DXVECTOR3& rotation,
              const D3DXVECTOR3& scaling, std::uint32_t options, std::int32_t mesh_kind, std::int32_t mode,
              const char* object_name, const char* second, const char* third);
    // The first hit shape, hittable, at the offset from the mesh.
    void SetHitShape(const D3DXVECTOR3& offset, std::int32_t cylinder, float radius, float half_height);
    // The probe's callback over the set-A triangles its sphere touches.
    void QueryCollision(HitProbe& probe);
    void Update() override;

    // combined = rotation x world, with its inverse; after every move. A changed matrix sets
    // `moved`, and `move_delta` takes the change of position; the mesh's update clears both
    // at the end of the tick, so every object that walks before it sees the tick's move.
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
    char third_name[MESH_THIRD_NAME_SIZE] = {};
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
    D3DXVECTOR3 move_delta;  // the position change of this tick's moves
    std::uint8_t moved = 0;  // the combined matrix changed this tick

protected:
    ~GoMesh() override;
};

// The radius of the model's bounds (its first mesh's), 0 without a model: the culling tests' size.
float mesh_bounding_radius(const GoMesh& mesh);
