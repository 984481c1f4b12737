#include "object/go_mesh.h"

#include "core/errors.h"
#include "core/maths.h"
#include "core/text.h"
#include "core/timer.h"
#include "core/vfs.h"
#include "game/g_decal.h"
#include "game/g_hit.h"
#include "game/g_play_state.h"
#include "game/g_scn_data.h"
#include "game/g_tick.h"
#include "gfx/go_effect.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"
#include "object/obj_pools.h"
#include "scenegraph/renderer_camera.h"
#include "scenegraph/renderer_queue.h"
#include "scenegraph/resrc_mgr.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

namespace {

constexpr std::size_t k_collision_name_size = sizeof(ModelHeader::collision_names[0]);

// The shadows of the special objects: a segment this far down finds the ground under them.
constexpr float k_shadow_probe_depth = 100.0f;
constexpr int k_shadow_batch = 3;
constexpr std::uint32_t k_shadow_colour = 0x99000000;
constexpr float k_ball_shadow_size = 2.2f;
constexpr int k_ball_shadow_kind = 1;
constexpr float k_prop_shadow_size = 1.0f;
constexpr int k_prop_shadow_kind = 0;
constexpr float k_prop_shadow_raise = 0.3f; // of the height above the ground
constexpr float k_foothold_shadow_step = 9.0f;
constexpr int k_foothold_shadows = 4;
constexpr const char* k_trap_node = "f_0002";

// The traps hurt through an effect started at their nodes on every whole tick: its particles
// strike with the mesh's attack, the effect's own status comes from its eex row.
struct TrapEffect {
    std::uint32_t bit;
    std::int32_t effect;
    float attack;
    float easy_attack;
    int eex_row;
    std::span<const char* const> nodes;
};
constexpr const char* k_ball_nodes[] = {k_trap_node};
constexpr const char* k_spike_nodes[] = {"f_0003", "f_0005", "f_0007", "f_0009", "f_0011"};
constexpr TrapEffect k_trap_effects[] = {
    {MESH_IRON_BALL, 121, 195.0f, 185.0f, 11, k_ball_nodes},
    {MESH_ROLLING_EDGE, 125, 230.0f, 220.0f, 12, k_ball_nodes},
    {MESH_ROLLING_SPIKES, 126, 230.0f, 220.0f, 12, k_spike_nodes},
};
constexpr std::int32_t k_trap_side = 1;         // the enemies'
constexpr float k_trap_easy_effect_drop = 5.0f; // of the effect's own attack

struct SpecialModel {
    const char* name;
    std::uint32_t bits;
};
constexpr SpecialModel k_special_models[] = {
    {"ironball_00", MESH_IRON_BALL},  {"bucket_00", MESH_BUCKET},          {"bucket_16", MESH_BUCKET},
    {"bucket_24", MESH_BUCKET},       {"bucket_32", MESH_BUCKET},          {"foothold_01", MESH_FOOTHOLD},
    {"roll_edge", MESH_ROLLING_EDGE}, {"roll_edge2", MESH_ROLLING_SPIKES},
};

// The bounding sphere of the model's first mesh stands for the model, as in the world queries.
D3DXVECTOR3 model_centre(const Model& model)
{
    return model.meshes.empty() ? D3DXVECTOR3() : model.meshes[0].centre;
}

bool material_translucent(const ModelMaterial& material)
{
    return material.alpha < 1.0f || (material.bits & MESH_MAT_TRANSLUCENT) ||
           ((material.bits & MESH_MAT_DIFFUSE_ALPHA) && (material.color >> 24) != 0xFF);
}

// The whole text or a fatal error: a cut path would name another file.
void copy_path(char (&out)[MESH_PATH_SIZE], const char* path)
{
    const std::size_t length = strnlen(path, MESH_PATH_SIZE);
    if (length == MESH_PATH_SIZE) err_raise_code(ERR_OVERFLOW, "model path", MESH_SOURCE, MESH_LINE_MODEL);
    std::memcpy(out, path, length);
    out[length] = '\0';
}

void load_model(GoMesh& mesh, const char* path)
{
    copy_path(mesh.model_path, path);
    const ResourceHandle handle =
        ResrcMgr::Load(mesh.model_path, ResrcLoadParams{}, RESRC_POOL_MODEL, RESRC_KEEP_CACHED);
    const ResourceRecord* record = ResrcMgr::Get(handle);
    if (!record || !record->object) {
        const HRESULT code = FAILED(g_resrc_last_result) ? g_resrc_last_result : ERR_OPEN_FILE;
        err_raise_code(code, mesh.model_path, MESH_SOURCE, MESH_LINE_MODEL);
    }
    mesh.model = static_cast<Model*>(record->object);
}

void apply_materials(GoMesh& mesh)
{
    Model& model = *mesh.model;
    if (mesh.kind == 0 || mesh.kind == 1) model_set_material_flag(model);
    // The model format carries no render row of its own, so only the materials decide.
    mesh.opaque = 1;
    for (const ModelMaterial& material : model.materials) {
        if (material_translucent(material)) mesh.opaque = 0;
        if (material.bits & MESH_MAT_WIND) g_play_state.wind_on = 1;
    }
}

void place(GoMesh& mesh, const D3DXVECTOR3& at, const D3DXVECTOR3& angles, const D3DXVECTOR3& scaling)
{
    D3DXMATRIX scale_matrix, turn;
    D3DXMatrixScaling(&scale_matrix, scaling.x, scaling.y, scaling.z);
    D3DXMatrixRotationYawPitchRoll(&turn, angles.y, angles.x, angles.z);
    mesh.rotation = scale_matrix * turn;
    D3DXMatrixTranslation(&mesh.world, at.x, at.y, at.z);
    mesh.position = at;
    mesh.angles = angles;
    mesh.scale = scaling;
}

void set_combat_values(GoMesh& mesh)
{
    mesh.hit_once = mesh.hit_once_entries;
    mesh.hit_once_count = MESH_HIT_ONCE_ENTRIES;
    mesh.render_row = RQ_ROW_MESHES;
    StatusBlock& status = mesh.status;
    status.level = 1;
    const float value = mesh.kind == 1 ? 999.0f : 0.0f;
    status.atk = status.def = value;
    if (mesh.kind != 1) status.hp = status.max_hp = 0.0f;
}

void copy_names(GoMesh& mesh, std::int32_t mode, const char* object_name, const char* second,
                const char* third)
{
    mesh.mode_value = mode;
    if (object_name) sys_copy_string(mesh.name, object_name, sizeof(mesh.name));
    if (second) sys_copy_string(mesh.second_name, second, sizeof(mesh.second_name));
    if (third) sys_copy_string(mesh.third_name, third, sizeof(mesh.third_name));
    if (mesh.second_name[0] != '\0' && mesh.mode_value == 0) mesh.mode_value = 1;
}

// "<folder><name>.z" from the archive; a model read from disk finds its collision beside it.
HRESULT load_collision(CollisionModel& collision, const std::string& packed)
{
    if (vfs_find(packed.c_str())) return coll_model_load(packed.c_str(), collision);
    const std::string loose = packed.substr(0, packed.size() - 2);
    return coll_model_load(loose.c_str(), collision);
}

void load_collision_sets(GoMesh& mesh)
{
    const char* last = sys_find_last_char(mesh.model_path, '\\');
    const std::string folder(mesh.model_path,
                             last ? static_cast<std::size_t>(last + 1 - mesh.model_path) : 0);
    CollisionModel* sets[] = {&mesh.collision_a, &mesh.collision_b, &mesh.collision_c};
    std::uint8_t* present[] = {&mesh.has_collision_a, &mesh.has_collision_b, &mesh.has_collision_c};
    for (int i = 0; i < 3; ++i) {
        const char* name = mesh.model->header.collision_names[i];
        const std::size_t length = strnlen(name, k_collision_name_size);
        if (length == 0) continue;
        const std::string path = folder + std::string(name, length) + ".z";
        const HRESULT result = load_collision(*sets[i], path);
        if (i == 0 && FAILED(result))
            err_raise_code(result, path.c_str(), MESH_SOURCE, MESH_LINE_COLLISION_A);
        *present[i] = SUCCEEDED(result) ? 1 : 0;
    }
    if (mesh.has_collision_b) g_play_state.water_mode = 1;
}

void start_animation(GoMesh& mesh)
{
    Model& model = *mesh.model;
    mesh.alpha = mesh.alpha_target = 1.0f;
    mesh.anim_range = 0;
    const std::uint32_t flags = MODEL_INST_MATERIALS | (model.tracks.empty() ? 0 : MODEL_INST_RANGES);
    model_instance_init(mesh.anim_instance, model, flags);
    if (!model.ranges.empty()) model_anim_play(mesh.anim_instance, 0, false, 0, MODEL_END_OFFSET_NONE);
}

void apply_options(GoMesh& mesh, std::uint32_t options)
{
    const std::uint32_t resist_bits[] = {MESH_OPT_RESIST_0, MESH_OPT_RESIST_1, MESH_OPT_RESIST_2,
                                         MESH_OPT_RESIST_3};
    for (int i = 0; i < 4; ++i)
        if (options & resist_bits[i]) mesh.status.resist[i] = 1.0f;
    if (options & MESH_OPT_NO_MINIMUM) mesh.status.no_minimum = 1;
}

// The model is shared by every mesh placed from it, so its nodes take this mesh's place before
// each use.
void pose_nodes(GoMesh& mesh)
{
    D3DXMATRIX root_local;
    D3DXMatrixIdentity(&root_local);
    model_instance_update(mesh.anim_instance, mesh.combined, root_local);
}

ModelNode* root_node(Model& model)
{
    return model.nodes.empty() ? nullptr : &model.nodes[0];
}

void place_hit_shape(GoMesh& mesh)
{
    const D3DXVECTOR3 centre = matrix_position(mesh.world) + mesh.hit_offset + model_centre(*mesh.model);
    mesh.hit_shape.centre = centre;
}

// A full particle or effect pool skips this tick's effect; a model without the node neither
// starts one nor sets the attack.
void start_trap_effect(GoMesh& mesh, const TrapEffect& trap, const char* node_name)
{
    const D3DXMATRIX* node = model_find_node_matrix(*mesh.model, node_name);
    if (!node || !eft_particle_pool_has_room()) return;
    const bool easy = g_play_state.game_flags[GF_EASY] != 0;
    mesh.status.atk = easy ? trap.easy_attack : trap.attack;
    GoEffect* effect = obj_create<GoEffect>(g_pool_effect);
    if (!effect) return;
    eft_set_transform(*effect, D3DXVECTOR3(1.0f, 1.0f, 1.0f), D3DXVECTOR3(), matrix_position(*node));
    eft_start_from_list(trap.effect, &mesh.status, *effect, k_trap_side, EFFECT_ROW);
    scn_data_eex_params(effect->status, trap.eex_row);
    if (easy) effect->status.atk -= k_trap_easy_effect_drop;
}

void start_trap_effects(GoMesh& mesh)
{
    if (!(mesh.special_bits & (MESH_IRON_BALL | MESH_ROLLING_EDGE | MESH_ROLLING_SPIKES))) return;
    // Another mesh of the model, or the last frame, may have posed the shared nodes.
    pose_nodes(mesh);
    for (const TrapEffect& trap : k_trap_effects) {
        if (!(mesh.special_bits & trap.bit)) continue;
        for (const char* node : trap.nodes)
            start_trap_effect(mesh, trap, node);
    }
}

void simulate(GoMesh& mesh)
{
    if (mesh.anim_on) model_anim_advance(mesh.anim_instance, g_frame_step);
    if (g_whole_tick) {
        if (mesh.hit_shape.class_bits & HIT_ACTIVE) place_hit_shape(mesh);
        combat_tick_hit_once_list(mesh);
        start_trap_effects(mesh);
    }
    if (!mesh.model->tracks.empty()) mesh.hp_copy = mesh.status.hp;
    if (mesh.alpha != mesh.alpha_target)
        math_approach(mesh.alpha, mesh.alpha_target, mesh.alpha_rate * g_frame_step);
}

void draw_now(GoMesh& mesh)
{
    Model& model = *mesh.model;
    ModelNode* root = root_node(model);
    if (!root) return;
    pose_nodes(mesh);
    model.fade = mesh.alpha;
    model_draw_node_tree(model, root, 0);
    model_draw_end(model);
    model.fade = 1.0f; // the next user of the shared model starts unfaded
}

void draw_queued_mesh(RenderQueueItem*, void* user)
{
    draw_now(*static_cast<GoMesh*>(user));
}

void queue_callback(GoMesh& mesh, int row)
{
    auto* item = reinterpret_cast<RqCallbackItem*>(rq_alloc(row, RQ_TYPE_CALLBACK, RQ_SIZE_CALLBACK));
    if (!item) return;
    const D3DXVECTOR3 to_eye = matrix_position(mesh.world) - g_camera_state.eye;
    item->header.key0 = rq_next_serial();
    item->header.key1 = rq_depth_key(D3DXVec3LengthSq(&to_eye));
    item->callback = draw_queued_mesh;
    item->user = &mesh;
}

// The ground below the point: the hit of a segment down against set A.
bool ground_below(const D3DXVECTOR3& from, float& ground)
{
    HitSegment segment;
    hit_segment_init_simple(from, from - D3DXVECTOR3(0.0f, k_shadow_probe_depth, 0.0f), segment);
    if (!hit_segment_meshes_a(segment)) return false;
    ground = segment.hit_point.y;
    return true;
}

// `raise` places the shadow's centre between the ground (0) and the object (1).
void cast_shadow(const D3DXVECTOR3& from, float size, int kind, float raise)
{
    float ground = 0.0f;
    if (!ground_below(from, ground)) return;
    const D3DXVECTOR3 at(from.x, ground + raise * (from.y - ground), from.z);
    decal_draw(at, kind, k_shadow_batch, k_shadow_colour, size, ground, D3DXVECTOR3(0.0f, 1.0f, 0.0f), false);
}

void cast_special_shadows(GoMesh& mesh)
{
    const D3DXVECTOR3 position = matrix_position(mesh.world);
    if (mesh.special_bits & MESH_IRON_BALL) {
        if (const D3DXMATRIX* node = model_find_node_matrix(*mesh.model, k_trap_node))
            cast_shadow(matrix_position(*node), k_ball_shadow_size, k_ball_shadow_kind, 1.0f);
    }
    if (mesh.special_bits & MESH_BUCKET)
        cast_shadow(position, k_prop_shadow_size, k_prop_shadow_kind, k_prop_shadow_raise);
    if (mesh.special_bits & MESH_FOOTHOLD) {
        for (int i = 0; i < k_foothold_shadows; ++i) {
            const D3DXVECTOR3 from =
                position + D3DXVECTOR3(k_foothold_shadow_step * static_cast<float>(i), 0.0f, 0.0f);
            cast_shadow(from, k_prop_shadow_size, k_prop_shadow_kind, k_prop_shadow_raise);
        }
    }
}

bool in_view(GoMesh& mesh)
{
    if (!mesh.frustum_test) return true;
    const Model& model = *mesh.model;
    const D3DXVECTOR3 centre = matrix_position(mesh.world) + model_centre(model);
    mesh.culled = gfx_sphere_in_view(centre, mesh_bounding_radius(mesh) + mesh.cull_radius) ? 0 : 1;
    return mesh.culled == 0;
}

void draw(GoMesh& mesh)
{
    if (!in_view(mesh)) return;
    pose_nodes(mesh);
    if (mesh.kind == 0) {
        ModelNode* root = root_node(*mesh.model);
        if (mesh.alpha < 1.0f)
            queue_callback(mesh, MESH_ROW_TRANSLUCENT);
        else if (root)
            model_queue_node_tree(*mesh.model, root, 0);
    } else if (mesh.kind == 1) {
        if (mesh.opaque && mesh.alpha >= 1.0f && !g_frame_effects.prepass_active)
            draw_now(mesh);
        else
            queue_callback(mesh, mesh.render_row);
    }
    cast_special_shadows(mesh);
}

} // namespace

std::uint32_t mesh_special_bits(const char* path)
{
    for (const SpecialModel& special : k_special_models) {
        const std::string name(special.name);
        const std::string expected = "data\\map\\mapobj\\" + name + "\\" + name + ".qmo";
        if (sys_names_equal(path, expected.c_str())) return special.bits;
    }
    return 0;
}

GoMesh::GoMesh() : GoBase(go_next_object_id(GO_CLASS_MESH), GO_CLASS_MESH)
{
    D3DXMatrixIdentity(&anim_instance.model_to_world);
}

// The collision models and the animation instance free themselves with the members.
GoMesh::~GoMesh()
{
    if (model) ResrcMgr::Release(RESRC_POOL_MODEL, model);
}

void GoMesh::Load(const char* path, const D3DXVECTOR3& at, const D3DXVECTOR3& rotation_angles,
                  const D3DXVECTOR3& scaling, std::uint32_t options, std::int32_t mesh_kind,
                  std::int32_t mode, const char* object_name, const char* second, const char* third)
{
    anim_on = 1;
    if (!model) load_model(*this, path);
    kind = mesh_kind;
    apply_materials(*this);
    place(*this, at, rotation_angles, scaling);
    set_combat_values(*this);
    copy_names(*this, mode, object_name, second, third);
    load_collision_sets(*this);
    start_animation(*this);
    apply_options(*this, options);
    enabled = 1;
    UpdateWorldMatrix();
    pose_nodes(*this);
    // Being placed is no move.
    moved = 0;
    move_delta = D3DXVECTOR3();
}

void GoMesh::SetHitShape(const D3DXVECTOR3& offset, std::int32_t cylinder, float radius, float half_height)
{
    hit_shape.class_bits = MESH_HIT_CLASS;
    hit_shape.target_mask = MESH_HIT_MASK;
    hit_shape.radius = radius;
    hit_shape.half_height = half_height;
    hit_shape.cylinder = cylinder;
    hit_offset = offset;
    if (model) place_hit_shape(*this);
}

void GoMesh::QueryCollision(HitProbe& probe)
{
    if (!has_collision_a || !enabled) return;
    g_coll_work_list.clear();
    const SweepRecord& working = probe.segment.working;
    const Vec3 end{working.position.x + working.motion.x, working.position.y + working.motion.y,
                   working.position.z + working.motion.z};
    coll_query_sphere(collision_a.tree.root, working.position, end, probe.radius);
    if (probe.callback) probe.callback(g_coll_work_list, probe.callback_data);
}

void GoMesh::Update()
{
    if (enabled && model) {
        if (!g_paused) simulate(*this);
        if (g_draw_frame) draw(*this);
    }
    moved = 0;
    move_delta = D3DXVECTOR3();
}

void GoMesh::UpdateWorldMatrix()
{
    const D3DXMATRIX previous = combined;
    combined = rotation * world;
    identity = D3DXMatrixIsIdentity(&combined);
    // A mesh scaled to nothing has no inverse and keeps its last one.
    D3DXMatrixInverse(&combined_inverse, nullptr, &combined);
    if (combined == previous) return;
    moved = 1;
    move_delta += matrix_position(combined) - matrix_position(previous);
}

void GoMesh::SetMoveTarget(const D3DXVECTOR3& point, float arrival, float speed)
{
    move_target = point;
    arrival_distance = std::max(arrival, speed);
    move_speed = speed;
}

float mesh_bounding_radius(const GoMesh& mesh)
{
    return mesh.model && !mesh.model->meshes.empty() ? mesh.model->meshes[0].radius : 0.0f;
}
