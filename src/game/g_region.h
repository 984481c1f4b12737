// Map regions: boxes in a scene that steer the camera (64 camera regions), lead to other scenes
// (32 exits and pits) and colour the fog (16 fog regions). The tables are made once at start-up
// and emptied by every scene change; the map loaders fill them. The per-tick updates run at the
// end of the camera-focus actor's update while the world is not paused: exits and fog on whole
// ticks, then the camera on every step.
#pragma once

#include "core/maths.h"
#include "game/g_play_state.h"
#include "object/go_script.h"
#include "platform/d3dx8.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

constexpr int REGION_CAMERA_COUNT = 64;
constexpr int REGION_ENTRY_COUNT = 32;
constexpr int REGION_FOG_COUNT = 16;

// A box turned about the vertical axis: a point p is inside when p - centre, turned by the
// heading, lies between the corners (both faces inside).
struct RegionShape {
    Box3 box; // corners relative to the centre, ordered into min and max
    Vec3 centre;
    float heading; // radians
};

// The common head of every region; Reset gives the region its empty state.
class RegionBase {
public:
    virtual ~RegionBase() = default;
    virtual void Reset() = 0;

    std::uint8_t used = 0;
    RegionShape shape{};
};

void region_shape_setup(RegionBase& region, const Vec3& centre, const Vec3& corner1, const Vec3& corner2,
                        float heading);
bool region_shape_contains(const RegionShape& shape, const D3DXVECTOR3& point);

// 0 for x <= 0, 1 for x >= 1, else the engine's ease curve 3x^2 - 2x^3. Kept with the regions,
// its only users besides the script camera.
float math_smooth01(float x);

// A fixed table of regions; count = the highest used index + 1. Without the table (before
// start-up, after shutdown) it holds no region and claims none.
template <typename Region, int Capacity> class RegionTable {
public:
    void Create()
    {
        m_regions = std::make_unique<Region[]>(Capacity);
        ResetAll();
    }
    void Destroy()
    {
        m_regions.reset();
        count = 0;
    }
    void ResetAll()
    {
        for (Region& region : all())
            region.Reset();
        count = 0;
    }
    // The first unused region, marked used; -1 when all are used.
    int Claim()
    {
        std::span<Region> regions = all();
        for (int i = 0; i < static_cast<int>(regions.size()); ++i) {
            if (regions[i].used) continue;
            regions[i].used = 1;
            if (count < i + 1) count = i + 1;
            return i;
        }
        return -1;
    }
    // The region at `index`; null outside the table.
    Region* at(int index) const
    {
        return m_regions && index >= 0 && index < Capacity ? &m_regions[index] : nullptr;
    }
    std::span<Region> all() const
    {
        return m_regions ? std::span<Region>(m_regions.get(), Capacity) : std::span<Region>();
    }
    // The regions up to the count.
    std::span<Region> in_use() const { return all().first(m_regions ? count : 0); }
    // The region for a point from the current one: the first used region from 1 up whose box
    // holds it; else the current one when it is sticky, region 0 when not.
    std::int32_t Choose(std::int32_t current, const D3DXVECTOR3& point) const
    {
        std::span<Region> regions = in_use();
        for (std::size_t i = 1; i < regions.size(); ++i)
            if (regions[i].used && region_shape_contains(regions[i].shape, point))
                return static_cast<std::int32_t>(i);
        const Region* now = at(current);
        return now && now->sticky ? current : 0;
    }

    int count = 0;

private:
    std::unique_ptr<Region[]> m_regions;
};

// Game start-up: the entry, fog and camera tables. Shutdown: the camera regions are reset, then
// the three tables freed.
void regions_alloc();
void regions_free();
// Scene change: every table reset; camera region 0 claimed and reset once more, so the first
// map record takes it; fog region 0 claimed with the default fog.
void regions_reset_for_scene();

// ---- Camera regions (g_region_camera.cpp) --------------------------------------------------------
enum CameraPointMode : std::int32_t {
    CAMERA_POINT_FIXED = 0,
    CAMERA_POINT_FOLLOW = 1, // the focus point
    CAMERA_POINT_KEEP = 2,   // takes over the running camera
    CAMERA_POINT_ORBIT = 3,
};
constexpr std::int32_t CAMERA_ORBIT_KEEP_LINE = 0x1;  // the reference-to-focus line is not reversed
constexpr std::int32_t CAMERA_ORBIT_TARGET_FOCUS = 2; // eye flags above this: the target is the focus
constexpr std::int32_t CAMERA_FORCE_NONE = -1;
constexpr std::int32_t CAMERA_FORCE_RATE_ONLY = -2; // the forced rate until the running blend ends
constexpr std::uint32_t CAMERA_BLOCK_STICKY = 0x1;

// How one camera point (the target or the eye) is found; a file image of the map's camera file.
struct CameraPoint {
    Box3 clamp_box; // relative to the clamp centre
    Vec3 clamp_centre;
    std::uint8_t unread_36[4];
    float clamp_heading;
    std::uint8_t unread_44[4];
    std::int32_t clamp; // non-zero: the point is kept inside the clamp box
    std::int32_t mode;  // CameraPointMode
    float orbit_yaw;
    float orbit_pitch; // of the eye: also the camera's eye pitch
    float orbit_distance;
    // Non-zero: the yaw is relative to the line from the reference point to the focus
    // (CAMERA_ORBIT_*).
    std::int32_t orbit_flags;
    std::uint8_t unread_72[12];
    Vec3 fixed_point; // of the target: also its orbit reference
    std::uint8_t unread_96[372];
};
static_assert(sizeof(CameraPoint) == 468);
static_assert(offsetof(CameraPoint, clamp_centre) == 24);
static_assert(offsetof(CameraPoint, clamp_heading) == 40);
static_assert(offsetof(CameraPoint, clamp) == 48);
static_assert(offsetof(CameraPoint, mode) == 52);
static_assert(offsetof(CameraPoint, orbit_yaw) == 56);
static_assert(offsetof(CameraPoint, orbit_flags) == 68);
static_assert(offsetof(CameraPoint, fixed_point) == 84);

// A region's camera set-up, copied whole from the map's camera record.
struct CameraBlock {
    CameraPoint target;
    CameraPoint eye;
    std::uint32_t flags; // CAMERA_BLOCK_STICKY
    Vec3 offset;         // camera space, added to eye and target
    float view_angle;
    float blend_rate; // progress a tick; 1.0 or more switches at once
    std::uint8_t unread_960[32];
};
static_assert(sizeof(CameraBlock) == 992);
static_assert(offsetof(CameraBlock, eye) == 468);
static_assert(offsetof(CameraBlock, flags) == 936);
static_assert(offsetof(CameraBlock, offset) == 940);
static_assert(offsetof(CameraBlock, view_angle) == 952);
static_assert(offsetof(CameraBlock, blend_rate) == 956);

struct CameraValues {
    D3DXVECTOR3 target; // the look-at point
    D3DXVECTOR3 eye;
    D3DXVECTOR3 offset; // camera space
    float view_angle;
    float eye_pitch;
};

class RegionCamera : public RegionBase {
public:
    void Reset() override;

    std::uint8_t sticky = 0; // keeps the camera after the focus actor has left
    D3DXVECTOR3 target;
    D3DXVECTOR3 eye;
    D3DXVECTOR3 smoothed_target; // the target with its height eased
    std::uint8_t fresh = 1;      // the next points take the target's height at once
    CameraBlock block{};
};

// The script camera: the focus point is drawn from B toward A by the progress.
struct CameraFocusBlend {
    D3DXVECTOR3 a;
    D3DXVECTOR3 b;
    float progress;
    float target_progress;
    float rate; // a tick; 0 stands still
    std::uint8_t linear;
};

struct RegionCameraState {
    std::int32_t current;
    std::int32_t previous; // the region blended from; the current one once the blend ends
    CameraValues values;
    CameraValues saved; // where an interrupted blend resumes from
    float t;            // blend progress, 1 finished
    float rate;
    std::uint8_t force_snap;
    std::uint8_t resume;
    std::uint8_t restart; // the next update switches into the chosen region even when unchanged
    D3DXVECTOR3 focus_point;
    CameraFocusBlend focus;
    std::int32_t forced_index; // CAMERA_FORCE_NONE, a region, or CAMERA_FORCE_RATE_ONLY
    float forced_rate;
};

extern RegionTable<RegionCamera, REGION_CAMERA_COUNT> g_region_cameras;
extern RegionCameraState g_region_camera;

void region_cameras_alloc();
void region_cameras_free();
// Every region reset, the camera values region 0's, no blend, force-snap, nothing forced.
void region_camera_reset_all();
int region_camera_alloc();
// A region from a map record: the block, its sticky bit, the box. -1 when the table is full.
int region_camera_add(const CameraBlock& block, const Vec3& corner1, const Vec3& corner2, const Vec3& centre,
                      float heading);
// The per-step update; on drawn frames it also sets the renderer camera and the listener.
void region_camera_update();
// The region's target and eye from its two camera points.
void region_camera_points(RegionCamera& region);
// One camera point from its descriptor; `point` keeps its value in CAMERA_POINT_KEEP.
void region_camera_point(const CameraPoint& desc, D3DXVECTOR3& point, const D3DXVECTOR3& reference);
void region_camera_clamp(const D3DXVECTOR3& point, const CameraPoint& desc, D3DXVECTOR3& out);
// Steps the script camera's focus blend, then, in a GoBoss5 battle with the camera in region 0,
// gives region 0 the boss's camera: true when that decides the region.
bool region_camera_boss_override(std::int32_t& chosen);
// The renderer camera from camera values: the offset (and the screen shake) turned into world
// space and added to eye and target.
void region_camera_apply(const D3DXVECTOR3& target, const D3DXVECTOR3& eye, float view_angle, float eye_pitch,
                         const D3DXVECTOR3& offset);
// Forces a region (0-63) or CAMERA_FORCE_RATE_ONLY / CAMERA_FORCE_NONE, with the blend rate;
// other indices are ignored.
void region_camera_force(std::int32_t index, float rate);
// The next update switches without a blend.
void region_camera_force_snap();
// The progress a tick of a script command's speed given in ticks: 1/n; one tick or none is at once.
float region_rate_of_ticks(std::int32_t n);
// The next update runs the switch into the chosen region even when its index is unchanged.
void region_camera_restart();
// The focus point in use: the script camera's blended point while it is away from the actor.
D3DXVECTOR3 region_camera_focus_in_use();
// The script camera: to a point, or back to the actor, at 1/n a tick (1.0 for n of 0 or 1); a
// non-zero mode moves linearly.
void region_camera_move_to(const D3DXVECTOR3& point, std::int32_t n, std::int32_t mode);
void region_camera_move_back(std::int32_t n, std::int32_t mode);
// The event-script commands of the camera, ids 68, 69, 138 and 139.
std::span<const ScriptCommandRow> region_camera_script_commands();

// ---- Entry regions: exits and pits (g_region_entry.cpp) -----------------------------------------
constexpr std::int32_t EXIT_KIND_LOCK = 1; // the exit holds an event lock while the screen fades
constexpr float EXIT_RESCUE_FACING = -1.5707964f;
constexpr float EXIT_WALK_DISTANCE = 100.0f;
constexpr float EXIT_WALK_SPEED = 0.1225f;

class RegionEntry : public RegionBase {
public:
    void Reset() override;

    std::uint8_t pit = 0; // also removes the other actors and the item drops inside
    std::int32_t destination_scene = 0;
    std::int32_t exit_kind = 0;
    ArrivalRecord arrival{};
    char destination_path[80] = {};
};

// The values of one exit record.
struct RegionEntryDesc {
    bool pit;
    std::int32_t destination_scene;
    const char* tag;  // copied with at most 79 bytes
    const char* path; // the same
    Vec3 position;
    float facing;
    std::int32_t entry_value;
    std::int32_t exit_kind;
};

extern RegionTable<RegionEntry, REGION_ENTRY_COUNT> g_region_entries;

void region_entries_alloc();
void region_entries_free();
void region_entries_reset_all();
int region_entry_alloc();
void region_entry_build(RegionEntry& region, const RegionEntryDesc& desc);
// Claims a region for the built one with the box; false when all are used.
bool region_entry_add(const RegionEntry& built, const Vec3& corner1, const Vec3& corner2, const Vec3& centre,
                      float heading);
// On whole ticks: the player in an exit starts it (the lowest index first); pits remove the other
// actors and the item drops inside.
void region_entry_update();
// True when the point lies in a used exit's box.
bool region_entry_contains(float x, float y, float z);
// Fades out toward the destination, or with Easy's No-Fall back to where the player entered;
// nothing while a change is pending, exits are off or a rescue is under way.
void region_entry_start_exit(RegionEntry& region);

// ---- Fog regions (g_region_fog.cpp) -------------------------------------------------------------
constexpr float FOG_DARK_SCENE_FACTOR = 0.65f;

struct FogValues {
    float r, g, b; // 0-1
    float alpha;   // always 1.0
    float fog_near;
    float fog_far;
    float rate; // blend progress a tick; 1.0 or more switches at once
};

class RegionFog : public RegionBase {
public:
    void Reset() override;

    std::uint8_t sticky = 0; // keeps its fog after the focus actor has left
    FogValues fog{};
};

struct RegionFogState {
    std::int32_t current;
    std::int32_t previous;
    float t; // blend progress, 1 finished
    float step;
    std::uint8_t force_snap;
    std::uint8_t resume;
    FogValues values;
    FogValues saved; // where an interrupted blend resumes from
};

extern const FogValues k_fog_default;
extern RegionTable<RegionFog, REGION_FOG_COUNT> g_region_fogs;
extern RegionFogState g_region_fog;

void region_fogs_alloc();
void region_fogs_free();
// Every region reset; the next update snaps to the chosen fog.
void region_fogs_reset_all();
int region_fog_alloc();
// Claims region 0 first when it is unused, then a region: -1 when none is free.
int region_fog_add(const FogValues& fog, const Vec3& corner1, const Vec3& corner2, const Vec3& centre,
                   float heading, std::uint8_t sticky);
// On whole ticks: the fog of the focus actor's region, blended, into the renderer.
void region_fog_update();
// The renderer's scene fog colour from 0-1 components.
void region_fog_set_colour(float r, float g, float b);
