#include "core/timer.h"
#include "game/g_region.h"
#include "game/g_settings.h"
#include "game/g_tick.h"
#include "lowlv/audio/audio_dsound.h"
#include "object/actor/go_actor.h"
#include "object/boss/go_boss.h"
#include "object/obj_pools.h"
#include "scenegraph/model.h"
#include "scenegraph/renderer_camera.h"

#include <cmath>
#include <numbers>

RegionTable<RegionCamera, REGION_CAMERA_COUNT> g_region_cameras;
RegionCameraState g_region_camera{};

namespace {

constexpr float k_pi = std::numbers::pi_v<float>;
constexpr float k_reset_rate = 0.025f;
constexpr float k_default_rate = 0.015f; // a region's rate of 0 (or below the float epsilon)
constexpr float k_rate_epsilon = 1.1920929e-7f;
constexpr float k_height_ease = 0.15f; // of the smoothed target's height, a tick
constexpr float k_second_angle = 0.7778175f;
constexpr float k_zoom_per_pitch = 0.4f;
constexpr float k_listener_pull = 0.175f; // from the target toward the eye
constexpr float k_vertical_nudge = 1e-4f;

D3DXVECTOR3 to_d3d(const Vec3& v)
{
    return {v.x, v.y, v.z};
}

Vec3 to_vec3(const D3DXVECTOR3& v)
{
    return {v.x, v.y, v.z};
}

CameraValues region_values(const RegionCamera& region)
{
    return {region.target, region.eye, to_d3d(region.block.offset), region.block.view_angle,
            region.block.eye.orbit_pitch};
}

D3DXVECTOR3 mix(const D3DXVECTOR3& from, const D3DXVECTOR3& to, float f)
{
    return from + (to - from) * f;
}

float mix(float from, float to, float f)
{
    return from + (to - from) * f;
}

CameraValues mix(const CameraValues& from, const CameraValues& to, float f)
{
    return {mix(from.target, to.target, f), mix(from.eye, to.eye, f), mix(from.offset, to.offset, f),
            mix(from.view_angle, to.view_angle, f), mix(from.eye_pitch, to.eye_pitch, f)};
}

RegionCamera& region(std::int32_t index)
{
    return *g_region_cameras.at(index);
}

void step_focus_blend()
{
    CameraFocusBlend& focus = g_region_camera.focus;
    if (focus.rate == 0.0f) return;
    const float step = focus.rate >= 1.0f ? 1.0f : focus.rate * g_frame_step;
    if (math_approach(focus.progress, focus.target_progress, step)) focus.rate = 0.0f;
}

// A point in CAMERA_POINT_KEEP takes over the running camera: no blend for it.
bool take_over_running_camera(RegionCamera& next)
{
    const CameraValues& now = g_region_camera.values;
    bool taken = false;
    if (next.block.target.mode == CAMERA_POINT_KEEP) {
        next.target = next.smoothed_target = now.target;
        taken = true;
    }
    if (next.block.eye.mode == CAMERA_POINT_KEEP) {
        next.eye = now.eye;
        next.block.eye.orbit_pitch = now.eye_pitch;
        next.block.offset = to_vec3(now.offset);
        next.block.view_angle = now.view_angle;
        taken = true;
    }
    return taken;
}

void switch_to(std::int32_t chosen)
{
    RegionCameraState& s = g_region_camera;
    s.saved = s.values;
    s.current = chosen;
    s.restart = 0;
    RegionCamera& next = region(chosen);
    const bool taken = take_over_running_camera(next);
    if (!taken && !s.force_snap && next.block.blend_rate < 1.0f) {
        s.resume = s.t != 1.0f;
        s.t = 0.0f;
        s.rate = s.forced_index != CAMERA_FORCE_NONE ? s.forced_rate : next.block.blend_rate;
        if (s.rate < k_rate_epsilon) s.rate = k_default_rate;
        return;
    }
    s.t = 1.0f;
    s.rate = 1.0f;
    s.force_snap = 0;
    next.fresh = 1;
}

void blend()
{
    RegionCameraState& s = g_region_camera;
    if (s.t != 1.0f) s.t += s.rate >= 1.0f ? 1.0f : s.rate * g_frame_step;
    if (s.t >= 1.0f) {
        s.t = 1.0f;
        s.values = region_values(region(s.current));
        s.previous = s.current;
        return;
    }
    const float eased = s.t <= 0.0f ? 0.0f : math_ease(s.t);
    const CameraValues blended =
        mix(region_values(region(s.previous)), region_values(region(s.current)), eased);
    s.values = s.resume ? mix(s.saved, blended, s.t) : blended;
}

void set_listener()
{
    const CameraValues& v = g_region_camera.values;
    audio_set_listener(v.target + (v.eye - v.target) * k_listener_pull, k_pi / 2.0f - g_camera_heading);
}

ScriptFlow camera_move_to(ScriptCall& call)
{
    region_camera_move_to({call.arg_float(0), call.arg_float(1), call.arg_float(2)}, call.arg(3),
                          call.arg(4));
    return SCRIPT_NEXT;
}

ScriptFlow camera_move_back(ScriptCall& call)
{
    region_camera_move_back(call.arg(0), call.arg(1));
    return SCRIPT_NEXT;
}

ScriptFlow camera_force_region(ScriptCall& call)
{
    region_camera_force(call.arg(0), region_rate_of_ticks(call.arg(1)));
    return SCRIPT_NEXT;
}

ScriptFlow camera_free_region(ScriptCall& call)
{
    region_camera_force(CAMERA_FORCE_RATE_ONLY, region_rate_of_ticks(call.arg(0)));
    return SCRIPT_NEXT;
}

constexpr ScriptCommandRow k_commands[] = {
    {68, camera_move_to},
    {69, camera_move_back},
    {138, camera_force_region},
    {139, camera_free_region},
};

} // namespace

// A negative count has no meaning and would move a blend away from its goal for ever, so it is
// at once too.
float region_rate_of_ticks(std::int32_t n)
{
    return n > 1 ? 1.0f / static_cast<float>(n) : 1.0f;
}

void RegionCamera::Reset()
{
    used = 0;
    sticky = 0;
    target = {0.0f, 0.0f, 0.0f};
    eye = {0.0f, 15.0f, -30.0f};
    smoothed_target = {0.0f, 0.0f, 0.0f};
    fresh = 1;
    block = {};
    block.target.mode = CAMERA_POINT_FOLLOW;
    block.target.fixed_point = {-17.0f, 1.0f, 1.0f};
    block.eye.mode = CAMERA_POINT_ORBIT;
    block.eye.orbit_pitch = 0.6457718f;
    block.eye.orbit_distance = 34.0f;
    block.view_angle = 0.31415927f;
    block.blend_rate = k_default_rate;
}

void region_cameras_alloc()
{
    g_region_cameras.Create();
    region_camera_reset_all();
}

void region_cameras_free()
{
    g_region_cameras.Destroy();
}

void region_camera_reset_all()
{
    g_region_cameras.ResetAll();
    RegionCameraState& s = g_region_camera;
    s = {};
    if (const RegionCamera* first = g_region_cameras.at(0)) s.values = region_values(*first);
    s.saved = s.values;
    s.rate = k_reset_rate;
    s.t = 1.0f;
    s.force_snap = 1;
    s.forced_index = CAMERA_FORCE_NONE;
}

int region_camera_alloc()
{
    return g_region_cameras.Claim();
}

int region_camera_add(const CameraBlock& block, const Vec3& corner1, const Vec3& corner2, const Vec3& centre,
                      float heading)
{
    const int index = region_camera_alloc();
    if (index < 0) return -1;
    RegionCamera& added = region(index);
    added.block = block;
    math_box_normalize(added.block.target.clamp_box);
    math_box_normalize(added.block.eye.clamp_box);
    added.sticky = (block.flags & CAMERA_BLOCK_STICKY) != 0;
    region_shape_setup(added, centre, corner1, corner2, heading);
    return index;
}

void region_camera_update()
{
    if (!g_region_cameras.at(0)) return;
    RegionCameraState& s = g_region_camera;
    if (g_camera_focus) actor_camera_target(*g_camera_focus, s.focus_point);
    // On the way back the script camera's far end rides on the actor, so the return lands on it.
    if (s.focus.target_progress == 0.0f) s.focus.b = s.focus_point;

    std::int32_t chosen = s.current;
    if (!region_camera_boss_override(chosen) && g_camera_focus)
        chosen = g_region_cameras.Choose(s.current, actor_position(*g_camera_focus));
    if (s.forced_index >= 0) chosen = s.forced_index;
    if (chosen != s.current || s.force_snap || s.restart) switch_to(chosen);
    if (s.forced_index == CAMERA_FORCE_RATE_ONLY) {
        if (s.t == 1.0f)
            s.forced_index = CAMERA_FORCE_NONE;
        else
            s.rate = s.forced_rate;
    }

    region_camera_points(region(s.current));
    if (s.previous != s.current) region_camera_points(region(s.previous));
    blend();

    if (!g_draw_frame) return;
    const CameraValues& v = s.values;
    region_camera_apply(v.target, v.eye, v.view_angle, v.eye_pitch, v.offset);
    if (g_play_effect) set_listener();
}

void region_camera_points(RegionCamera& region)
{
    const CameraBlock& block = region.block;
    region_camera_point(block.target, region.target, to_d3d(block.target.fixed_point));
    region_camera_point(block.eye, region.eye, region.target);
    if (block.target.mode == CAMERA_POINT_KEEP) return;
    if (block.eye.orbit_flags > CAMERA_ORBIT_TARGET_FOCUS) region.target = region_camera_focus_in_use();
    if (region.fresh) {
        region.smoothed_target = region.target;
        region.fresh = 0;
    } else {
        D3DXVECTOR3& smoothed = region.smoothed_target;
        smoothed.y += (region.target.y - smoothed.y) * (g_frame_step * k_height_ease);
        smoothed.x = region.target.x;
        smoothed.z = region.target.z;
    }
    region.target = region.smoothed_target;
}

void region_camera_point(const CameraPoint& desc, D3DXVECTOR3& point, const D3DXVECTOR3& reference)
{
    const D3DXVECTOR3 focus = region_camera_focus_in_use();
    switch (desc.mode) {
    case CAMERA_POINT_FIXED:
        point = to_d3d(desc.fixed_point);
        break;
    case CAMERA_POINT_FOLLOW:
        point = focus;
        break;
    case CAMERA_POINT_ORBIT: {
        float yaw = -k_pi / 2.0f - desc.orbit_yaw;
        D3DXVECTOR3 centre = reference;
        if (desc.orbit_flags != 0) {
            const float sign = (desc.orbit_flags & CAMERA_ORBIT_KEEP_LINE) ? 1.0f : -1.0f;
            yaw -= math_atan2f(sign * (focus.z - centre.z), sign * (focus.x - centre.x)) + k_pi / 2.0f;
            centre = focus;
        }
        const float across = desc.orbit_distance * std::cos(desc.orbit_pitch);
        point = {centre.x - std::cos(yaw) * across,
                 centre.y + std::sin(desc.orbit_pitch) * desc.orbit_distance,
                 centre.z + std::sin(yaw) * across};
        break;
    }
    default: // CAMERA_POINT_KEEP and unknown modes leave the point
        break;
    }
    if (desc.clamp) region_camera_clamp(point, desc, point);
}

void region_camera_clamp(const D3DXVECTOR3& point, const CameraPoint& desc, D3DXVECTOR3& out)
{
    const Vec3 centre = desc.clamp_centre;
    Vec3 clamped;
    math_clamp_to_rotated_box({point.x - centre.x, point.y - centre.y, point.z - centre.z}, clamped,
                              desc.clamp_box, desc.clamp_heading);
    out = {clamped.x + centre.x, clamped.y + centre.y, clamped.z + centre.z};
}

bool region_camera_boss_override(std::int32_t& chosen)
{
    step_focus_blend();
    if (g_play_state.game_flags[GF_BATTLE] == 0 || g_region_camera.current != 0 || g_pool_boss5.count == 0)
        return false;
    const auto& boss = *static_cast<const GoBoss5*>(g_pool_boss5.active[0]);
    CameraBlock& block = region(0).block;
    block.eye.fixed_point = {boss.camera_eye.x, boss.camera_eye.y, boss.camera_eye.z};
    block.target.fixed_point = {boss.camera_target.x, boss.camera_target.y, boss.camera_target.z};
    block.eye.orbit_distance = boss.camera_distance;
    block.eye.orbit_pitch = boss.camera_pitch;
    block.view_angle = boss.camera_view_angle;
    chosen = 0;
    return true;
}

void region_camera_apply(const D3DXVECTOR3& target, const D3DXVECTOR3& eye, float view_angle, float eye_pitch,
                         const D3DXVECTOR3& offset)
{
    // Straight up or down the look-at has no sideways direction: the eye steps aside a little.
    D3DXVECTOR3 eye_used = eye;
    const float dx = target.x - eye.x;
    const float dz = target.z - eye.z;
    if (dx * dx + dz * dz < k_vertical_nudge * k_vertical_nudge)
        eye_used.x -= dx < 0.0f ? -k_vertical_nudge : k_vertical_nudge;

    const D3DXVECTOR3 world_up(0.0f, 1.0f, 0.0f);
    D3DXVECTOR3 forward = target - eye_used;
    D3DXVec3Normalize(&forward, &forward);
    D3DXVECTOR3 right;
    D3DXVec3Cross(&right, &world_up, &forward);
    D3DXVec3Normalize(&right, &right);
    D3DXVECTOR3 up;
    D3DXVec3Cross(&up, &forward, &right);

    D3DXVECTOR3 shift = offset;
    if (g_play_state.shake_ticks != 0)
        shift += {g_play_state.shake_offset[0], g_play_state.shake_offset[1], g_play_state.shake_offset[2]};
    const D3DXVECTOR3 world_shift = right * shift.x + up * shift.y + forward * shift.z;

    CameraState& camera = g_camera_state;
    camera.fov_y = view_angle;
    camera.second_angle = view_angle * k_second_angle;
    camera.zoom = std::sin(eye_pitch) * k_zoom_per_pitch;
    renderer_set_camera(eye_used + world_shift, target + world_shift);
    renderer_update_camera();
}

void region_camera_force(std::int32_t index, float rate)
{
    if (index < CAMERA_FORCE_RATE_ONLY || index >= REGION_CAMERA_COUNT) return;
    g_region_camera.forced_index = index;
    g_region_camera.forced_rate = rate;
}

void region_camera_force_snap()
{
    g_region_camera.force_snap = 1;
}

void region_camera_restart()
{
    g_region_camera.restart = 1;
}

D3DXVECTOR3 region_camera_focus_in_use()
{
    const RegionCameraState& s = g_region_camera;
    if (s.focus.progress == 0.0f) return s.focus_point;
    const float f = s.focus.linear ? s.focus.progress : math_smooth01(s.focus.progress);
    return mix(s.focus.b, s.focus.a, f);
}

void region_camera_move_to(const D3DXVECTOR3& point, std::int32_t n, std::int32_t mode)
{
    CameraFocusBlend& focus = g_region_camera.focus;
    focus.b = region_camera_focus_in_use();
    focus.a = point;
    focus.progress = 0.0f;
    focus.target_progress = 1.0f;
    focus.rate = region_rate_of_ticks(n);
    focus.linear = mode != 0;
}

void region_camera_move_back(std::int32_t n, std::int32_t mode)
{
    CameraFocusBlend& focus = g_region_camera.focus;
    focus.a = region_camera_focus_in_use();
    focus.b = g_region_camera.focus_point;
    focus.progress = 1.0f;
    focus.target_progress = 0.0f;
    focus.rate = region_rate_of_ticks(n);
    focus.linear = mode != 0;
}

std::span<const ScriptCommandRow> region_camera_script_commands()
{
    return k_commands;
}
