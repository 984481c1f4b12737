#include "object/go_script_cmd_map.h"

#include "core/maths.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_region.h"
#include "game/g_scene_map.h"
#include "game/g_scn_data.h"
#include "gfx/go_effect.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"
#include "object/go_mesh.h"

#include <cstdint>

namespace {

// Scenes whose machinery keeps its full speed in Very Easy: their moves are timed against
// other events of the room.
constexpr const char* k_full_speed_folders[] = {
    "s_50\\s_5009\\", "s_50\\s_5109\\", "s_53\\s_5301\\", "s_54\\s_5401\\",
    "s_54\\s_5402\\", "s_54\\s_5403\\", "s_54\\s_5404\\", "s_61\\s_6101\\",
    "s_61\\s_6102\\", "s_61\\s_6104\\", "s_61\\s_6105\\", "s_61\\s_6106\\",
};

// How far the near tests take the mesh to be when no actor has the camera's focus.
constexpr float k_no_focus_distance = 99999.8984375f;

bool very_easy()
{
    return g_play_state.game_flags[GF_VERY_EASY] != 0;
}

bool in_full_speed_scene()
{
    for (const char* folder : k_full_speed_folders)
        if (scn_data_in_scene(folder)) return true;
    return false;
}

// The live map mesh a name operand names; null for none and for a missing operand.
GoMesh* named_mesh(const ScriptCall& call, std::size_t index)
{
    const char* name = call.text(index);
    return name ? scene_find_mesh(name) : nullptr;
}

D3DXVECTOR3 arg_point(const ScriptCall& call, std::size_t first)
{
    return {call.arg_float(first), call.arg_float(first + 1), call.arg_float(first + 2)};
}

Vec3 to_vec3(const D3DXVECTOR3& v)
{
    return {v.x, v.y, v.z};
}

ScriptFlow set_reg(ScriptCall& call, bool value)
{
    call.script.accumulator = value ? 1 : 0;
    return SCRIPT_NEXT;
}

// The camera-focus actor lies closer to the mesh than the radius.
bool focus_near(const GoMesh& mesh, float radius)
{
    float distance_sq = k_no_focus_distance * k_no_focus_distance;
    if (g_camera_focus) {
        const D3DXVECTOR3 between = matrix_position(g_camera_focus->world) - matrix_position(mesh.world);
        distance_sq = D3DXVec3LengthSq(&between);
    }
    return radius * radius > distance_sq;
}

// ---- Presence and place -----------------------------------------------------------------------
ScriptFlow cmd_mesh_remove(ScriptCall& call)
{
    if (GoMesh* mesh = named_mesh(call, 0)) go_kill(*mesh);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_mesh_active(ScriptCall& call)
{
    if (GoMesh* mesh = named_mesh(call, 0)) mesh->enabled = call.arg(1) != 0;
    return SCRIPT_NEXT;
}

ScriptFlow cmd_mesh_place(ScriptCall& call)
{
    if (GoMesh* mesh = named_mesh(call, 0)) {
        matrix_set_position(mesh->world, arg_point(call, 1));
        mesh->UpdateWorldMatrix();
    }
    return SCRIPT_NEXT;
}

// ---- Motion -----------------------------------------------------------------------------------
ScriptFlow cmd_mesh_spin(ScriptCall& call)
{
    if (GoMesh* mesh = named_mesh(call, 0))
        mesh->spin_speeds = arg_point(call, 1) * (very_easy() ? 0.5f : 1.0f);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_mesh_move(ScriptCall& call)
{
    GoMesh* mesh = named_mesh(call, 0);
    if (!mesh) return SCRIPT_NEXT;
    const float factor = very_easy() && !in_full_speed_scene() ? 0.5f : 1.0f;
    mesh->SetMoveTarget(arg_point(call, 1), call.arg_float(4) * factor, call.arg_float(5) * factor);
    return SCRIPT_NEXT;
}

// The mover clears the arrival distance once the mesh has arrived; a mesh never sent stands
// still. A missing mesh holds the script until the scene change clears it.
ScriptFlow cmd_wait_mesh_stopped(ScriptCall& call)
{
    const GoMesh* mesh = named_mesh(call, 0);
    return mesh && mesh->arrival_distance == 0.0f ? SCRIPT_NEXT : SCRIPT_WAIT;
}

// ---- Look -------------------------------------------------------------------------------------
ScriptFlow cmd_mesh_fade(ScriptCall& call)
{
    if (GoMesh* mesh = named_mesh(call, 0)) {
        mesh->alpha_target = call.arg_float(1);
        mesh->alpha_rate = region_rate_of_ticks(call.arg(2));
    }
    return SCRIPT_NEXT;
}

ScriptFlow cmd_mesh_opacity(ScriptCall& call)
{
    if (GoMesh* mesh = named_mesh(call, 0)) mesh->alpha = call.arg_float(1);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_mesh_cull(ScriptCall& call)
{
    if (GoMesh* mesh = named_mesh(call, 0)) {
        mesh->cull_radius = call.arg_float(2);
        mesh->frustum_test = call.arg(1) != 0;
    }
    return SCRIPT_NEXT;
}

// An index past the model's ranges leaves the running animation. A non-zero blend cross-fades
// from the current pose; a negative `a` shows the range's last frame at once.
void play_mesh_animation(ScriptCall& call, std::int32_t blend)
{
    GoMesh* mesh = named_mesh(call, 0);
    const std::int32_t index = call.arg(1);
    if (!mesh || !mesh->model || index < 0 || static_cast<std::size_t>(index) >= mesh->model->ranges.size())
        return;
    mesh->anim_range = index;
    model_anim_play(mesh->anim_instance, static_cast<std::uint32_t>(index), blend != 0, 0,
                    MODEL_END_OFFSET_NONE);
    if (call.arg(2) < 0) model_anim_set_time(mesh->anim_instance, mesh->anim_instance.range_end);
}

ScriptFlow cmd_mesh_anim(ScriptCall& call)
{
    play_mesh_animation(call, 0);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_mesh_anim_blend(ScriptCall& call)
{
    play_mesh_animation(call, call.arg(3));
    return SCRIPT_NEXT;
}

// The effect rides on the node: the mesh poses the node's matrix wherever it moves or turns.
ScriptFlow cmd_mesh_node_effect(ScriptCall& call)
{
    GoMesh* mesh = named_mesh(call, 0);
    const char* node_name = call.text(1);
    if (!mesh || !mesh->model || !node_name) return SCRIPT_NEXT;
    const D3DXMATRIX* node = model_find_node_matrix(*mesh->model, node_name);
    if (!node) return SCRIPT_NEXT;
    const D3DXVECTOR3 unit(1.0f, 1.0f, 1.0f);
    GoEffect* effect = eft_spawn(call.arg(2), matrix_position(*node), D3DXVECTOR3(), unit, 0, 0, nullptr,
                                 0.0f, 1.0f, 0xFF, 0, ATTACK_ELEMENT_NONE);
    if (effect) eft_attach(nullptr, nullptr, *effect, node, &unit, EFFECT_FOLLOW_PARENT);
    return SCRIPT_NEXT;
}

// ---- Hit points ---------------------------------------------------------------------------------
ScriptFlow cmd_mesh_set_hp(ScriptCall& call)
{
    if (GoMesh* mesh = named_mesh(call, 0)) mesh->status.hp = mesh->hp_copy = call.arg_float(1);
    return SCRIPT_NEXT;
}

// A missing mesh holds the script until the scene change clears it.
ScriptFlow cmd_wait_mesh_broken(ScriptCall& call)
{
    const GoMesh* mesh = named_mesh(call, 0);
    return mesh && mesh->status.hp <= 0.0f ? SCRIPT_NEXT : SCRIPT_WAIT;
}

// ---- Tests of the camera-focus actor --------------------------------------------------------------
ScriptFlow cmd_wait_near_mesh(ScriptCall& call)
{
    const GoMesh* mesh = named_mesh(call, 0);
    return !mesh || focus_near(*mesh, call.arg_float(1)) ? SCRIPT_NEXT : SCRIPT_WAIT;
}

ScriptFlow cmd_reg_near_mesh(ScriptCall& call)
{
    const GoMesh* mesh = named_mesh(call, 0);
    return set_reg(call, mesh && focus_near(*mesh, call.arg_float(1)));
}

// Without a camera-focus actor the origin is tested.
ScriptFlow cmd_reg_in_mesh_box(ScriptCall& call)
{
    const GoMesh* mesh = named_mesh(call, 0);
    if (!mesh) return set_reg(call, false);
    const D3DXVECTOR3 at = matrix_position(mesh->world);
    const D3DXVECTOR3 focus = g_camera_focus ? matrix_position(g_camera_focus->world) : D3DXVECTOR3();
    return set_reg(call, math_box_contains_point(to_vec3(focus), to_vec3(at + arg_point(call, 1)),
                                                 to_vec3(at + arg_point(call, 4))));
}

constexpr ScriptCommandRow k_rows[] = {
    {78, &cmd_mesh_spin},         {141, &cmd_mesh_remove},      {142, &cmd_mesh_fade},
    {143, &cmd_mesh_opacity},     {144, &cmd_mesh_anim},        {146, &cmd_mesh_cull},
    {147, &cmd_mesh_node_effect}, {148, &cmd_mesh_move},        {221, &cmd_wait_mesh_stopped},
    {222, &cmd_mesh_active},      {244, &cmd_mesh_place},       {253, &cmd_mesh_anim_blend},
    {262, &cmd_reg_in_mesh_box},  {280, &cmd_wait_mesh_broken}, {286, &cmd_mesh_set_hp},
    {287, &cmd_wait_near_mesh},   {288, &cmd_reg_near_mesh},
};

} // namespace

std::span<const ScriptCommandRow> script_cmd_map_commands()
{
    return k_rows;
}
