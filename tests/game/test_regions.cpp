#include "core/timer.h"
#include "game/g_fade.h"
#include "game/g_gameover.h"
#include "game/g_region.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "game/g_settings.h"
#include "game/g_tick.h"
#include "lowlv/audio/audio_dsound.h"
#include "lowlv/d3d/d3d_core.h"
#include "object/object_fixture.h"
#include "scenegraph/renderer_camera.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

namespace {

constexpr float k_pi = std::numbers::pi_v<float>;
constexpr float k_default_pitch = 0.6457718f;

// A fresh scene: pools, region tables reset as a scene change leaves them, no player, no fade.
class RegionTest : public ObjectTest {
protected:
    void SetUp() override
    {
        ObjectTest::SetUp();
        g_play_state = {};
        g_fade = {};
        for (std::int32_t& count : g_event_lock_count)
            count = 0;
        g_player = g_camera_focus = nullptr;
        g_no_fall = 0;
        g_game_over = 0;
        g_frame_step = 1.0f;
        g_draw_frame = 0;
        g_play_effect = 0;
        g_device_settings.settings.point_light_vs = 0;
        g_castinfo.clear();
        renderer_reset_transforms();
        regions_alloc();
        regions_reset_for_scene();
    }
    void TearDown() override
    {
        ObjectTest::TearDown();
        regions_free();
        g_castinfo.clear();
        g_player = g_camera_focus = nullptr;
        g_no_fall = 0;
    }

    // An actor in play (no flag set) at the point; the camera follows its position.
    static GoActor& actor_at(float x, float y, float z)
    {
        GoActor& actor = *spawn(g_pool_actor);
        actor.flags = 0;
        move(actor, x, y, z);
        return actor;
    }
    static void move(GoActor& actor, float x, float y, float z)
    {
        actor.world._41 = x;
        actor.world._42 = y;
        actor.world._43 = z;
        actor.camera_height = y;
    }
    static GoActor& focus_at(float x, float y, float z)
    {
        GoActor& actor = actor_at(x, y, z);
        g_player = g_camera_focus = &actor;
        return actor;
    }
};

// Boxes 10 wide along x, centred on x = 10 k + 5; two units high, 20 deep.
Vec3 lane_centre(int k)
{
    return {10.0f * static_cast<float>(k) + 5.0f, 0.0f, 0.0f};
}
constexpr Vec3 k_lane_min{-5.0f, -1.0f, -10.0f};
constexpr Vec3 k_lane_max{5.0f, 1.0f, 10.0f};

void expect_near(const D3DXVECTOR3& got, const D3DXVECTOR3& want, float tolerance = 1e-4f)
{
    EXPECT_NEAR(got.x, want.x, tolerance);
    EXPECT_NEAR(got.y, want.y, tolerance);
    EXPECT_NEAR(got.z, want.z, tolerance);
}

} // namespace

TEST(Regions, Smooth01ClampsTheEaseCurve)
{
    const struct {
        float x, want;
    } cases[] = {{-1.0f, 0.0f}, {0.0f, 0.0f}, {0.25f, 0.15625f}, {0.5f, 0.5f}, {1.0f, 1.0f}, {3.0f, 1.0f}};
    for (const auto& c : cases)
        EXPECT_NEAR(math_smooth01(c.x), c.want, 1e-6f) << c.x;
}

TEST(Regions, RotatedBoxHoldsPointsTurnedIntoItsFrame)
{
    RegionFog region;
    region_shape_setup(region, {10.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 4.0f}, {-1.0f, -1.0f, -4.0f}, 0.0f);
    EXPECT_EQ(region.shape.box.min.z, -4.0f); // the corners are ordered
    EXPECT_TRUE(region_shape_contains(region.shape, {10.5f, 0.0f, 3.5f}));
    EXPECT_FALSE(region_shape_contains(region.shape, {13.5f, 0.0f, 0.5f}));
    region.shape.heading = k_pi / 2.0f; // the long side now lies along x
    EXPECT_TRUE(region_shape_contains(region.shape, {13.5f, 0.0f, 0.5f}));
    EXPECT_FALSE(region_shape_contains(region.shape, {10.5f, 0.0f, 3.5f}));
}

TEST_F(RegionTest, SceneResetLeavesCameraRegionZeroForTheMapAndTheDefaultFogClaimed)
{
    EXPECT_EQ(g_region_cameras.count, 1);
    EXPECT_FALSE(g_region_cameras.at(0)->used);
    EXPECT_EQ(region_camera_alloc(), 0); // the first camera record becomes region 0
    EXPECT_EQ(g_region_fogs.count, 1);
    EXPECT_TRUE(g_region_fogs.at(0)->used);
    EXPECT_EQ(g_region_fogs.at(0)->fog.fog_far, 150.0f);
    EXPECT_EQ(g_region_entries.count, 0);
    EXPECT_EQ(g_region_camera.forced_index, CAMERA_FORCE_NONE);
    EXPECT_TRUE(g_region_camera.force_snap);

    regions_free();
    EXPECT_EQ(g_region_cameras.at(0), nullptr);
    EXPECT_EQ(region_entry_alloc(), -1);
    focus_at(0.0f, 0.0f, 0.0f);
    region_camera_update(); // without tables the updates do nothing
    region_fog_update();
    region_entry_update();
    EXPECT_FALSE(region_entry_contains(0.0f, 0.0f, 0.0f));
    regions_alloc();
}

// ---- Camera ---------------------------------------------------------------------------------------
namespace {

// A region whose target and eye are fixed points, so the blend between two regions is plain.
CameraBlock fixed_block(const Vec3& target, const Vec3& eye, float rate)
{
    RegionCamera defaults;
    defaults.Reset();
    CameraBlock block = defaults.block;
    block.target.mode = CAMERA_POINT_FIXED;
    block.target.fixed_point = target;
    block.eye.mode = CAMERA_POINT_FIXED;
    block.eye.fixed_point = eye;
    block.blend_rate = rate;
    return block;
}

int add_camera(const CameraBlock& block, int lane)
{
    return region_camera_add(block, k_lane_min, k_lane_max, lane_centre(lane), 0.0f);
}

// The default camera as region 0 (its box is never tested).
void add_default_camera()
{
    RegionCamera defaults;
    defaults.Reset();
    ASSERT_EQ(add_camera(defaults.block, 9), 0);
}

// Region 1 on lane 0 looks at x = 0, region 2 on lane 1 at x = 100.
void add_two_fixed_cameras(float rate)
{
    add_default_camera();
    ASSERT_EQ(add_camera(fixed_block({0, 0, 0}, {0, 10, -10}, rate), 0), 1);
    ASSERT_EQ(add_camera(fixed_block({100, 0, 0}, {100, 10, -10}, rate), 1), 2);
}

void ticks(int n)
{
    for (int i = 0; i < n; ++i)
        region_camera_update();
}

} // namespace

TEST_F(RegionTest, DefaultCameraOrbitsBehindAndAboveTheFocus)
{
    focus_at(5.0f, 2.0f, 7.0f);
    region_camera_update();
    const CameraValues& v = g_region_camera.values;
    expect_near(v.target, {5.0f, 2.0f, 7.0f});
    expect_near(v.eye,
                {5.0f, 2.0f + 34.0f * std::sin(k_default_pitch), 7.0f - 34.0f * std::cos(k_default_pitch)});
    EXPECT_EQ(v.view_angle, 0.31415927f);
    EXPECT_EQ(v.eye_pitch, k_default_pitch);
    EXPECT_FALSE(g_region_camera.force_snap);
}

TEST_F(RegionTest, CameraBlendsEasedOverFiftyTicksAndResumesLinearly)
{
    add_two_fixed_cameras(0.02f);
    GoActor& actor = focus_at(15.0f, 0.0f, 0.0f);
    region_camera_update(); // the scene's first step snaps
    EXPECT_EQ(g_region_camera.values.target.x, 100.0f);

    move(actor, 5.0f, 0.0f, 0.0f);
    ticks(10);
    EXPECT_NEAR(g_region_camera.values.target.x, 100.0f * (1.0f - math_smooth01(0.2f)), 1e-3f);
    ticks(40);
    EXPECT_NEAR(g_region_camera.values.target.x, 0.0f, 1e-3f);
    EXPECT_EQ(g_region_camera.previous, 2); // the fiftieth sum of 0.02 is just short of 1
    ticks(1);
    EXPECT_EQ(g_region_camera.values.target.x, 0.0f);
    EXPECT_EQ(g_region_camera.previous, 1);

    move(actor, 15.0f, 0.0f, 0.0f);
    ticks(25);
    EXPECT_NEAR(g_region_camera.values.target.x, 50.0f, 1e-2f);
    move(actor, 5.0f, 0.0f, 0.0f); // back half-way: on from the blended camera, not eased
    ticks(10);
    EXPECT_TRUE(g_region_camera.resume);
    EXPECT_NEAR(g_region_camera.values.target.x, 50.0f - 50.0f * 0.2f, 2e-2f);
}

// Camera and fog keep a sticky region after the focus actor has left it, until another is
// entered; a region that is not sticky gives way to region 0 at once.
TEST_F(RegionTest, StickyRegionsHoldAfterTheFocusLeaves)
{
    for (bool fog : {false, true})
        for (bool sticky : {false, true}) {
            SCOPED_TRACE(std::string(fog ? "fog" : "camera") + (sticky ? ", sticky" : ""));
            regions_reset_for_scene();
            CameraBlock block = fixed_block({0, 0, 0}, {0, 10, -10}, 1.0f);
            block.flags = sticky ? CAMERA_BLOCK_STICKY : 0;
            add_default_camera();
            ASSERT_EQ(add_camera(block, 0), 1);
            ASSERT_EQ(region_fog_add({1, 0, 0, 1, 20, 100, 1.0f}, k_lane_min, k_lane_max, lane_centre(0),
                                     0.0f, sticky),
                      1);
            auto update = fog ? region_fog_update : region_camera_update;
            const std::int32_t& current = fog ? g_region_fog.current : g_region_camera.current;
            GoActor& actor = focus_at(5.0f, 0.0f, 0.0f);
            update();
            EXPECT_EQ(current, 1);
            move(actor, 50.0f, 0.0f, 0.0f);
            update();
            EXPECT_EQ(current, sticky ? 1 : 0);
            move(actor, 15.0f, 0.0f, 0.0f); // no region there either
            update();
            EXPECT_EQ(current, sticky ? 1 : 0);
            obj_destroy_all();
        }
}

TEST_F(RegionTest, OverlappingCameraRegionsGiveTheLowerIndex)
{
    add_two_fixed_cameras(1.0f);
    ASSERT_EQ(region_camera_add(fixed_block({7, 7, 7}, {7, 9, 7}, 1.0f), {-50, -1, -1}, {50, 1, 1}, {0, 0, 0},
                                0.0f),
              3);
    focus_at(15.0f, 0.0f, 0.0f);
    ticks(1);
    EXPECT_EQ(g_region_camera.current, 2);
}

TEST_F(RegionTest, KeepTargetTakesOverTheRunningTargetWithoutABlend)
{
    add_two_fixed_cameras(0.02f);
    CameraBlock& keep = g_region_cameras.at(2)->block;
    keep.target.mode = CAMERA_POINT_KEEP;
    GoActor& actor = focus_at(5.0f, 0.0f, 0.0f);
    ticks(1);
    move(actor, 15.0f, 0.0f, 0.0f);
    ticks(1);
    EXPECT_EQ(g_region_camera.t, 1.0f);
    EXPECT_EQ(g_region_camera.current, 2);
    expect_near(g_region_camera.values.target, {0.0f, 0.0f, 0.0f});
    expect_near(g_region_camera.values.eye, {100.0f, 10.0f, -10.0f});
}

TEST_F(RegionTest, ZeroBlendRateBecomesTheDefaultRate)
{
    add_two_fixed_cameras(0.0f);
    GoActor& actor = focus_at(5.0f, 0.0f, 0.0f);
    ticks(1);
    move(actor, 15.0f, 0.0f, 0.0f);
    ticks(1);
    EXPECT_EQ(g_region_camera.rate, 0.015f);
    EXPECT_NEAR(g_region_camera.t, 0.015f, 1e-7f);
}

TEST_F(RegionTest, ForcedCameraRegionWinsAndRateOnlyClearsItselfAfterTheBlend)
{
    add_two_fixed_cameras(0.02f);
    focus_at(5.0f, 0.0f, 0.0f);
    ticks(1);
    region_camera_force(2, 0.5f);
    ticks(1);
    EXPECT_EQ(g_region_camera.current, 2);
    EXPECT_EQ(g_region_camera.rate, 0.5f);
    ticks(1);
    EXPECT_EQ(g_region_camera.t, 1.0f);

    region_camera_force(CAMERA_FORCE_RATE_ONLY, 0.25f);
    ticks(1);
    EXPECT_EQ(g_region_camera.current, 1); // back to the focus actor's region at the forced rate
    EXPECT_EQ(g_region_camera.rate, 0.25f);
    EXPECT_EQ(g_region_camera.forced_index, CAMERA_FORCE_RATE_ONLY);
    ticks(3);
    EXPECT_EQ(g_region_camera.t, 1.0f);
    ticks(1);
    EXPECT_EQ(g_region_camera.forced_index, CAMERA_FORCE_NONE);
}

TEST_F(RegionTest, ForcedIndexOutsideTheTableIsIgnored)
{
    region_camera_force(3, 0.5f);
    for (std::int32_t index : {64, -3, 1000, -100}) {
        region_camera_force(index, 0.1f);
        EXPECT_EQ(g_region_camera.forced_index, 3) << index;
        EXPECT_EQ(g_region_camera.forced_rate, 0.5f) << index;
    }
}

TEST_F(RegionTest, SnapAndRestartRunTheSwitchAgain)
{
    add_two_fixed_cameras(0.02f);
    GoActor& actor = focus_at(5.0f, 0.0f, 0.0f);
    ticks(1);
    move(actor, 15.0f, 0.0f, 0.0f);
    region_camera_force_snap();
    ticks(1);
    EXPECT_EQ(g_region_camera.t, 1.0f);
    EXPECT_EQ(g_region_camera.values.target.x, 100.0f);

    region_camera_restart();
    ticks(1);
    EXPECT_FALSE(g_region_camera.restart);
    EXPECT_NEAR(g_region_camera.t, 0.02f, 1e-7f); // a new blend into the same region
}

TEST_F(RegionTest, BossBattleGivesRegionZeroTheBossCameraEveryTick)
{
    add_default_camera();
    ASSERT_EQ(add_camera(fixed_block({0, 0, 0}, {0, 10, -10}, 1.0f), 0), 1);
    GoBoss5& boss = *spawn(g_pool_boss5);
    boss.camera_target = {1.0f, 2.0f, 3.0f};
    boss.camera_distance = 20.0f;
    boss.camera_pitch = 0.5f;
    boss.camera_view_angle = 0.7f;
    g_play_state.game_flags[GF_BATTLE] = 1;
    focus_at(5.0f, 0.0f, 0.0f); // inside region 1, which the battle ignores
    ticks(1);
    EXPECT_EQ(g_region_camera.current, 0);
    const CameraBlock& block = g_region_cameras.at(0)->block;
    EXPECT_EQ(block.eye.orbit_distance, 20.0f);
    EXPECT_EQ(g_region_camera.values.eye_pitch, 0.5f);
    EXPECT_EQ(g_region_camera.values.view_angle, 0.7f);
    boss.camera_distance = 25.0f;
    ticks(1);
    EXPECT_EQ(block.eye.orbit_distance, 25.0f);

    g_play_state.game_flags[GF_BATTLE] = 0;
    ticks(1);
    EXPECT_EQ(g_region_camera.current, 1);
}

TEST_F(RegionTest, ClampKeepsThePointInTheTurnedBox)
{
    CameraPoint desc{};
    desc.clamp = 1;
    desc.clamp_box = {{-1.0f, -1.0f, -4.0f}, {1.0f, 1.0f, 4.0f}};
    desc.clamp_centre = {10.0f, 0.0f, 0.0f};
    const struct {
        float heading;
        D3DXVECTOR3 point;
        D3DXVECTOR3 want;
    } cases[] = {
        {0.0f, {13.0f, 0.0f, 0.0f}, {11.0f, 0.0f, 0.0f}},
        {0.0f, {10.5f, 5.0f, 2.0f}, {10.5f, 1.0f, 2.0f}},
        {k_pi / 2.0f, {13.0f, 0.0f, 0.0f}, {13.0f, 0.0f, 0.0f}},
        {k_pi / 2.0f, {16.0f, 0.0f, 0.0f}, {14.0f, 0.0f, 0.0f}},
        {k_pi / 2.0f, {10.0f, 0.0f, 3.0f}, {10.0f, 0.0f, 1.0f}},
    };
    for (const auto& c : cases) {
        desc.clamp_heading = c.heading;
        D3DXVECTOR3 out;
        region_camera_clamp(c.point, desc, out);
        expect_near(out, c.want, 0.15f);
    }
    desc.mode = CAMERA_POINT_FIXED; // a computed point goes through the clamp too
    desc.fixed_point = {13.0f, 0.0f, 0.0f};
    desc.clamp_heading = 0.0f;
    D3DXVECTOR3 point;
    region_camera_point(desc, point, {});
    expect_near(point, {11.0f, 0.0f, 0.0f});
}

TEST_F(RegionTest, OrbitRelativeToTheReferenceLine)
{
    CameraPoint desc{};
    desc.mode = CAMERA_POINT_ORBIT;
    desc.orbit_distance = 10.0f;
    g_region_camera.focus_point = {0.0f, 0.0f, 10.0f};
    const struct {
        std::int32_t flags;
        D3DXVECTOR3 want;
    } cases[] = {
        {0, {0.0f, 0.0f, -10.0f}},                     // behind the reference in -z
        {CAMERA_ORBIT_KEEP_LINE, {0.0f, 0.0f, 20.0f}}, // past the focus, on the line from the reference
        {2, {0.0f, 0.0f, 0.0f}},                       // the line reversed: back toward the reference
    };
    for (const auto& c : cases) {
        desc.orbit_flags = c.flags;
        D3DXVECTOR3 point;
        region_camera_point(desc, point, {0.0f, 0.0f, 0.0f});
        expect_near(point, c.want, 1e-3f);
    }
}

TEST_F(RegionTest, ApplyTurnsTheOffsetAndTheShakeIntoWorldSpace)
{
    const D3DXVECTOR3 target(0.0f, 0.0f, 0.0f), eye(10.0f, 0.0f, 0.0f), offset(1.0f, 2.0f, 3.0f);
    region_camera_apply(target, eye, 0.6f, 0.5f, offset);
    // Looking down -x: camera right is +z, up is +y, forward is -x.
    expect_near(g_camera_state.eye, {7.0f, 2.0f, 1.0f});
    expect_near(g_camera_state.target, {-3.0f, 2.0f, 1.0f});
    EXPECT_EQ(g_camera_state.fov_y, 0.6f);
    EXPECT_NEAR(g_camera_state.second_angle, 0.6f * 0.7778175f, 1e-7f);
    EXPECT_NEAR(g_camera_state.zoom, std::sin(0.5f) * 0.4f, 1e-7f);

    g_play_state.shake_offset[2] = 0.5f; // ignored while the shake is off
    region_camera_apply(target, eye, 0.6f, 0.5f, offset);
    expect_near(g_camera_state.eye, {7.0f, 2.0f, 1.0f});
    g_play_state.shake_ticks = 3;
    region_camera_apply(target, eye, 0.6f, 0.5f, offset);
    expect_near(g_camera_state.eye, {6.5f, 2.0f, 1.0f});
    expect_near(g_camera_state.target, {-3.5f, 2.0f, 1.0f});
}

TEST_F(RegionTest, StraightDownViewStaysFinite)
{
    for (const D3DXVECTOR3& eye : {D3DXVECTOR3(3.0f, 30.0f, 4.0f), D3DXVECTOR3(3.0f, -30.0f, 4.0f),
                                   D3DXVECTOR3(3.00005f, 30.0f, 4.0f), D3DXVECTOR3(3.0f, 0.0f, 4.0f)}) {
        region_camera_apply({3.0f, 0.0f, 4.0f}, eye, 0.6f, 0.5f, {1.0f, 1.0f, 1.0f});
        for (float v :
             {g_camera_state.eye.x, g_camera_state.eye.z, g_camera_state.target.x, g_camera_state.target.y,
              g_camera_state.view._11, g_camera_state.view._33, g_camera_state.view._43, g_camera_heading})
            EXPECT_TRUE(std::isfinite(v)) << eye.y;
    }
}

TEST_F(RegionTest, DrawnFramesSetTheRendererAndWithEffectsTheListener)
{
    focus_at(0.0f, 0.0f, 0.0f);
    g_ds_listener_params.vPosition = {-1.0f, -1.0f, -1.0f};
    ticks(1); // not a drawn frame
    EXPECT_EQ(g_camera_state.fov_y, 0.62831855f);

    g_draw_frame = 1;
    ticks(1);
    EXPECT_EQ(g_camera_state.fov_y, 0.31415927f);
    EXPECT_EQ(g_ds_listener_params.vPosition.x, -1.0f); // "PlayEffect" off

    g_play_effect = 1;
    ticks(1);
    const CameraValues& v = g_region_camera.values;
    const D3DXVECTOR3 want = v.target + (v.eye - v.target) * 0.175f;
    expect_near(g_ds_listener_params.vPosition, want);
    // Looking down +z the camera heading is 0: the listener faces pi/2, along +z.
    EXPECT_NEAR(g_ds_listener_params.vOrientFront.z, 1.0f, 1e-3f);
}

TEST_F(RegionTest, ScriptCameraMovesToAPointAndBackOntoTheActor)
{
    GoActor& actor = focus_at(0.0f, 0.0f, 0.0f);
    ticks(1);
    region_camera_move_to({40.0f, 0.0f, 0.0f}, 4, 0);
    ticks(1);
    EXPECT_NEAR(region_camera_focus_in_use().x, 40.0f * math_smooth01(0.25f), 1e-4f);
    ticks(3);
    EXPECT_EQ(region_camera_focus_in_use().x, 40.0f);
    EXPECT_NEAR(g_region_camera.values.target.x, 40.0f, 1e-4f); // the follow target went there
    ticks(5);
    EXPECT_EQ(region_camera_focus_in_use().x, 40.0f); // and stays while the actor stands

    region_camera_move_back(2, 1); // linear
    move(actor, 10.0f, 0.0f, 0.0f);
    ticks(1);
    EXPECT_NEAR(region_camera_focus_in_use().x, 25.0f, 1e-4f); // half-way toward the moved actor
    move(actor, 12.0f, 0.0f, 0.0f);
    ticks(1);
    EXPECT_EQ(region_camera_focus_in_use().x, 12.0f);
    EXPECT_EQ(g_region_camera.focus.rate, 0.0f);
}

TEST_F(RegionTest, ScriptCameraTicksOfNoneOrOneMoveAtOnce)
{
    for (std::int32_t n : {0, 1, -5}) {
        region_camera_move_to({8.0f, 0.0f, 0.0f}, n, 0);
        EXPECT_EQ(g_region_camera.focus.rate, 1.0f) << n;
    }
    region_camera_move_to({8.0f, 0.0f, 0.0f}, 3, 0);
    EXPECT_NEAR(g_region_camera.focus.rate, 1.0f / 3.0f, 1e-7f);
}

TEST_F(RegionTest, CameraCommandsForceRegionsAndMoveTheScriptCamera)
{
    GoScript& script = *spawn(g_pool_script);
    auto run = [&script](std::int32_t id, std::vector<ScriptWord> words) {
        for (const ScriptCommandRow& row : region_camera_script_commands())
            if (row.id == id) {
                ScriptCall call{script, words};
                EXPECT_EQ(row.command(call), SCRIPT_NEXT);
                return;
            }
        ADD_FAILURE() << "no row " << id;
    };
    run(138, {5, 4});
    EXPECT_EQ(g_region_camera.forced_index, 5);
    EXPECT_EQ(g_region_camera.forced_rate, 0.25f);
    run(139, {0});
    EXPECT_EQ(g_region_camera.forced_index, CAMERA_FORCE_RATE_ONLY);
    EXPECT_EQ(g_region_camera.forced_rate, 1.0f);
    run(68, {std::bit_cast<ScriptWord>(3.0f), std::bit_cast<ScriptWord>(4.0f),
             std::bit_cast<ScriptWord>(5.0f), 2, 1});
    EXPECT_EQ(g_region_camera.focus.a, D3DXVECTOR3(3.0f, 4.0f, 5.0f));
    EXPECT_EQ(g_region_camera.focus.rate, 0.5f);
    EXPECT_TRUE(g_region_camera.focus.linear);
    run(69, {10, 0});
    EXPECT_EQ(g_region_camera.focus.target_progress, 0.0f);
    EXPECT_NEAR(g_region_camera.focus.rate, 0.1f, 1e-7f);
    EXPECT_FALSE(g_region_camera.focus.linear);
}

// ---- Entry regions ---------------------------------------------------------------------------------
namespace {

RegionEntry built_exit(std::int32_t scene, bool pit, std::int32_t kind, const char* tag = "")
{
    RegionEntry region;
    region_entry_build(region, {pit, scene, tag, "s_10\\s_1010\\", {1.0f, 2.0f, 3.0f}, 0.5f, 4, kind});
    return region;
}

bool add_exit(std::int32_t scene, int lane, bool pit = false, std::int32_t kind = 0)
{
    return region_entry_add(built_exit(scene, pit, kind), k_lane_min, k_lane_max, lane_centre(lane), 0.0f);
}

} // namespace

TEST_F(RegionTest, BuildCopiesTheTextsBoundedAndWhole)
{
    const std::string long_tag(300, 'a');
    RegionEntry region = built_exit(9, true, 1, long_tag.c_str());
    EXPECT_EQ(std::strlen(region.arrival.tag), 79u);
    EXPECT_STREQ(region.destination_path, "s_10\\s_1010\\");
    EXPECT_TRUE(region.pit);
    EXPECT_EQ(region.exit_kind, 1);
    EXPECT_EQ(region.arrival.entry_value, 4);
    EXPECT_EQ(region.arrival.facing, 0.5f);

    const std::string split = std::string(78, 'b') + "\x82\xA0";
    region = built_exit(9, false, 0, split.c_str());
    EXPECT_EQ(std::strlen(region.arrival.tag), 78u); // the double-byte character is not cut
}

TEST_F(RegionTest, ThirtyThreeExitsDoNotFit)
{
    for (int i = 0; i < REGION_ENTRY_COUNT; ++i)
        ASSERT_TRUE(add_exit(i + 1, i));
    EXPECT_FALSE(add_exit(99, 0));
    EXPECT_EQ(g_region_entries.count, REGION_ENTRY_COUNT);
}

TEST_F(RegionTest, PlayerInOverlappingExitsTakesTheLowerIndex)
{
    ASSERT_TRUE(
        region_entry_add(built_exit(5, false, 0, "continue"), {-50, -1, -1}, {50, 1, 1}, {0, 0, 0}, 0.0f));
    ASSERT_TRUE(add_exit(6, 0));
    focus_at(5.0f, 0.0f, 0.0f);
    g_fade.value = 0.7f;
    region_entry_update();
    EXPECT_EQ(g_fade.pending_scene, 5);
    EXPECT_EQ(g_play_state.requested_scene_id, 5);
    EXPECT_EQ(g_fade.value, 0.0f);
    EXPECT_EQ(g_fade.target, 1.0f);
    EXPECT_STREQ(g_fade.arrival.tag, "continue");
    EXPECT_EQ(g_fade.arrival.position[2], 3.0f);

    g_fade.value = 0.4f; // the exit under way keeps every other exit shut
    region_entry_update();
    EXPECT_EQ(g_fade.value, 0.4f);
}

TEST_F(RegionTest, ExitsDoNothingWhileShutOrInAnEvent)
{
    const struct {
        const char* name;
        int exits_off, game_over, lock_mode;
        bool starts;
    } cases[] = {
        {"open", 0, 0, -1, true},         {"GameFlags[95]", 1, 0, -1, false},
        {"game over", 0, 1, -1, false},   {"event lock 0", 0, 0, 0, false},
        {"event lock 1", 0, 0, 1, false}, {"counted lock 2", 0, 0, 2, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        regions_reset_for_scene();
        g_play_state.requested_scene_id = 0;
        g_fade = {};
        for (std::int32_t& count : g_event_lock_count)
            count = 0;
        g_play_state.game_flags[GF_EXITS_OFF] = c.exits_off;
        g_game_over = static_cast<std::uint8_t>(c.game_over);
        if (c.lock_mode >= 0) g_event_lock_count[c.lock_mode] = 1;
        ASSERT_TRUE(add_exit(8, 0));
        focus_at(5.0f, 0.0f, 0.0f);
        region_entry_update();
        EXPECT_EQ(g_fade.pending_scene, c.starts ? 8 : 0);
        obj_destroy_all();
    }
}

TEST_F(RegionTest, EasyNoFallPitRescuesToTheHomePointUnderALock)
{
    g_no_fall = 1;
    g_play_state.game_flags[GF_EASY] = 1;
    g_play_state.scene_id = 7;
    ASSERT_TRUE(add_exit(12, 0, true, 0));
    GoActor& player = focus_at(5.0f, 0.0f, 0.0f);
    player.home_point = {1.0f, 2.0f, 3.0f};
    region_entry_update();

    EXPECT_EQ(g_fade.pending_scene, 7);
    EXPECT_EQ(g_play_state.requested_scene_id, 0);
    EXPECT_EQ(g_fade.arrival.tag[0], '\0');
    EXPECT_EQ(g_play_state.saved_position[0], 1.0f);
    EXPECT_EQ(g_play_state.saved_position[2], 3.0f);
    EXPECT_EQ(g_play_state.saved_facing, -1.5707964f);
    EXPECT_EQ(g_no_fall, 2);
    EXPECT_EQ(g_region_entries.at(0)->exit_kind, EXIT_KIND_LOCK);
    EXPECT_FALSE(player.flags & GO_FLAG_DEAD); // a pit never removes the player

    ASSERT_EQ(g_pool_script.count, 1);
    auto& lock = *static_cast<GoScript*>(g_pool_script.active[0]);
    EXPECT_STREQ(lock.name, "dummy");
    EXPECT_EQ(lock.ref_count, 1u);
    EXPECT_TRUE(lock.flags & GO_FLAG_DEAD);
    EXPECT_EQ(lock.hit_shape.class_bits & HIT_ACTIVE, 0u);
    EXPECT_EQ(lock.event_lock, EVENT_LOCK_EVENT);
    EXPECT_EQ(g_event_lock_count[EVENT_LOCK_EVENT], 1);
    obj_sweep_dead();
    EXPECT_EQ(g_pool_script.count, 1); // kept until the world is cleared
    obj_destroy_all();
    EXPECT_EQ(g_event_lock_count[EVENT_LOCK_EVENT], 0);
}

TEST_F(RegionTest, NoFallRescueWithoutALockObjectStartsTheFadeOnce)
{
    while (spawn(g_pool_script)) {
    }
    g_no_fall = 1;
    g_play_state.game_flags[GF_EASY] = 1;
    ASSERT_TRUE(add_exit(12, 0, true, 0));
    focus_at(5.0f, 0.0f, 0.0f);
    region_entry_update();
    EXPECT_EQ(g_no_fall, 2);
    g_fade.value = 0.3f;
    region_entry_update();
    EXPECT_EQ(g_fade.value, 0.3f);
}

TEST_F(RegionTest, PitsOutsideEasyNoFallAreOrdinaryExits)
{
    const struct {
        int no_fall, easy;
    } cases[] = {{1, 0}, {0, 1}};
    for (const auto& c : cases) {
        regions_reset_for_scene();
        g_play_state.requested_scene_id = 0;
        g_no_fall = static_cast<std::uint8_t>(c.no_fall);
        g_play_state.game_flags[GF_EASY] = c.easy;
        ASSERT_TRUE(add_exit(12, 0, true, 0));
        focus_at(5.0f, 0.0f, 0.0f);
        region_entry_update();
        EXPECT_EQ(g_fade.pending_scene, 12);
        EXPECT_EQ(g_play_state.requested_scene_id, 12);
        EXPECT_EQ(g_no_fall, c.no_fall);
        obj_destroy_all();
    }
}

TEST_F(RegionTest, ExitWalksThePlayerOutAtItsOwnPace)
{
    for (std::uint8_t run : {0, 1}) {
        SCOPED_TRACE(static_cast<int>(run));
        regions_reset_for_scene();
        g_play_state.requested_scene_id = 0;
        ASSERT_TRUE(add_exit(3, 0));
        GoActor& player = focus_at(5.0f, 0.0f, 2.0f);
        player.facing = k_pi / 2.0f;
        player.run_switch = run;
        player.movement_bits = run ? 0x1 : 0x21;
        region_entry_update();
        EXPECT_NEAR(player.auto_walk_target[0], 5.0f, 1e-4f);
        EXPECT_NEAR(player.auto_walk_target[1], 102.0f, 1e-4f);
        EXPECT_EQ(player.auto_walk_speed, 0.1225f);
        EXPECT_EQ(player.auto_walk_factor, 1.0f);
        EXPECT_EQ(player.movement_bits, run ? 0x21u : 0x1u);
        EXPECT_EQ(g_pool_script.count, 0);
        obj_destroy_all();
    }
}

TEST_F(RegionTest, PitRemovesOtherActorsAndItemDropsInside)
{
    g_castinfo.resize(3);
    g_castinfo[2].live_count = 2;
    g_play_state.game_flags[GF_LIVE_ENEMIES] = 2;
    g_play_state.game_flags[GF_EXITS_OFF] = 1; // the pit still clears with its exit shut
    ASSERT_TRUE(add_exit(12, 0, true, 0));
    GoActor& player = focus_at(5.0f, 0.0f, 0.0f);
    GoActor& enemy = actor_at(4.0f, 0.0f, 1.0f);
    enemy.cast = 2;
    enemy.hit_shape.class_bits = HIT_ENEMY | HIT_ACTIVE;
    GoActor& outside = actor_at(40.0f, 0.0f, 0.0f);
    GoActor& newborn = actor_at(4.0f, 0.0f, 0.0f);
    newborn.flags = GO_FLAG_NEW;
    GoXx& drop = *spawn(g_pool_xx);
    goxx_set_subtype(drop, GOXX_ITEM_DROP);
    drop.flags = 0;
    drop.hit_shape.class_bits = HIT_ACTIVE;
    drop.world._41 = 6.0f;
    GoXx& spark = *spawn(g_pool_xx);
    goxx_set_subtype(spark, GOXX_STREAK_SPARK);
    spark.flags = 0;
    spark.world._41 = 6.0f;

    region_entry_update();
    EXPECT_EQ(player.flags, 0);
    EXPECT_EQ(enemy.flags, GO_FLAG_DEAD);
    EXPECT_EQ(enemy.hit_shape.class_bits, HIT_ENEMY);
    EXPECT_EQ(g_castinfo[2].live_count, 1);
    EXPECT_EQ(g_play_state.game_flags[GF_LIVE_ENEMIES], 1);
    EXPECT_EQ(outside.flags, 0);
    EXPECT_EQ(newborn.flags, GO_FLAG_NEW);
    EXPECT_EQ(drop.flags, GO_FLAG_DEAD);
    EXPECT_EQ(drop.hit_shape.class_bits, 0u);
    EXPECT_EQ(spark.flags, 0);
    EXPECT_EQ(g_fade.pending_scene, 0);
}

// The effects that follow an actor the pit removes, or are drawn with its matrix, are asked to
// stop; the effects of the actors it leaves, the player among them, go on.
TEST_F(RegionTest, APitStopsTheEffectsOfTheActorsItRemoves)
{
    ASSERT_TRUE(add_exit(12, 0, true, 0));
    GoActor& player = focus_at(5.0f, 0.0f, 0.0f);
    GoActor& enemy = actor_at(4.0f, 0.0f, 1.0f);
    GoActor& outside = actor_at(40.0f, 0.0f, 0.0f);
    auto effect = [] {
        GoEffect& made = *spawn(g_pool_effect);
        made.flags = 0;
        return &made;
    };
    auto follower = [&](GoActor& actor) {
        GoEffect* made = effect();
        eft_attach(nullptr, nullptr, *made, &actor.world, nullptr, EFFECT_FOLLOW_PARENT_POSITION);
        return made;
    };
    GoEffect* aura = follower(enemy);
    GoEffect* trail = effect();
    trail->draw_matrix = &enemy.world;
    GoEffect* kept_outside = follower(outside);
    GoEffect* kept_player = follower(player);

    region_entry_update();
    EXPECT_EQ(enemy.flags, GO_FLAG_DEAD);
    EXPECT_EQ(aura->stop_request, 1);
    EXPECT_EQ(trail->stop_request, 1);
    EXPECT_EQ(kept_outside->stop_request, 0);
    EXPECT_EQ(kept_player->stop_request, 0);
}

TEST_F(RegionTest, ActorKillCountsOnce)
{
    g_castinfo.resize(3);
    g_castinfo[1].live_count = 1;
    g_play_state.game_flags[GF_LIVE_ENEMIES] = 0;
    GoActor& enemy = actor_at(0.0f, 0.0f, 0.0f);
    enemy.cast = 1;
    enemy.hit_shape.class_bits = HIT_ENEMY | HIT_ACTIVE;
    actor_kill(enemy);
    actor_kill(enemy);
    EXPECT_EQ(g_castinfo[1].live_count, 0);
    EXPECT_EQ(g_play_state.game_flags[GF_LIVE_ENEMIES], 0); // never below 0
    EXPECT_EQ(enemy.flags, GO_FLAG_DEAD);

    g_play_state.game_flags[GF_LIVE_ENEMIES] = 3;
    GoActor& person = actor_at(0.0f, 0.0f, 0.0f);
    person.cast = 500; // outside the cast table
    person.hit_shape.class_bits = HIT_NEUTRAL | HIT_ACTIVE;
    actor_kill(person);
    EXPECT_EQ(g_play_state.game_flags[GF_LIVE_ENEMIES], 3);
    EXPECT_EQ(person.hit_shape.class_bits, HIT_NEUTRAL);
}

TEST_F(RegionTest, EntryContainsAnswersForUsedExitsOnly)
{
    EXPECT_FALSE(region_entry_contains(5.0f, 0.0f, 0.0f));
    ASSERT_TRUE(region_entry_add(built_exit(3, false, 0), {-1, -1, -4}, {1, 1, 4}, {10, 0, 0}, k_pi / 2.0f));
    EXPECT_TRUE(region_entry_contains(13.5f, 0.0f, 0.5f));
    EXPECT_FALSE(region_entry_contains(10.5f, 0.0f, 3.5f));
    EXPECT_FALSE(region_entry_contains(5.0f, 0.0f, 0.0f));
}

// ---- Fog ------------------------------------------------------------------------------------------
namespace {

FogValues fog_of(float r, float g, float b, float rate, float fog_near = 20.0f, float fog_far = 100.0f)
{
    return {r, g, b, 1.0f, fog_near, fog_far, rate};
}

int add_fog(const FogValues& fog, int lane, std::uint8_t sticky = 0)
{
    return region_fog_add(fog, k_lane_min, k_lane_max, lane_centre(lane), 0.0f, sticky);
}

void fog_ticks(int n)
{
    for (int i = 0; i < n; ++i)
        region_fog_update();
}

} // namespace

TEST_F(RegionTest, FogBlendsEasedFromTheDefaultOverFiftyTicks)
{
    ASSERT_EQ(add_fog(fog_of(1.0f, 0.0f, 0.0f, 0.02f), 1), 1);
    GoActor& actor = focus_at(50.0f, 0.0f, 0.0f);
    fog_ticks(1);
    EXPECT_EQ(g_fog_colors[FOG_COLOR_SCENE], 0xFF000000u);
    EXPECT_EQ(g_fog_near, 10.0f);
    EXPECT_EQ(g_fog_far, 150.0f);

    move(actor, 15.0f, 0.0f, 0.0f);
    fog_ticks(10);
    EXPECT_NEAR(g_region_fog.values.r, math_smooth01(0.2f), 1e-4f);
    fog_ticks(15);
    EXPECT_NEAR(g_region_fog.values.r, 0.5f, 1e-4f);
    EXPECT_NEAR(g_fog_near, 15.0f, 1e-3f);
    EXPECT_EQ(g_fog_colors[FOG_COLOR_SCENE], 0xFF7F0000u);
    fog_ticks(26);
    EXPECT_EQ(g_region_fog.values.r, 1.0f);
    EXPECT_EQ(g_fog_colors[FOG_COLOR_SCENE], 0xFFFF0000u);
    EXPECT_NEAR(g_fog_vs_constants[0], -1.0f / 80.0f, 1e-7f);
    EXPECT_NEAR(g_fog_vs_constants[1], 100.0f / 80.0f, 1e-6f);
}

TEST_F(RegionTest, FogEnteringAThirdRegionHalfWayStartsFromTheBlend)
{
    ASSERT_EQ(add_fog(fog_of(1.0f, 0.0f, 0.0f, 0.02f), 1), 1);
    ASSERT_EQ(add_fog(fog_of(0.0f, 1.0f, 0.0f, 0.02f), 2), 2);
    ASSERT_EQ(add_fog(fog_of(0.0f, 0.0f, 1.0f, 0.02f), 3), 3);
    GoActor& actor = focus_at(15.0f, 0.0f, 0.0f);
    fog_ticks(1);
    move(actor, 25.0f, 0.0f, 0.0f);
    fog_ticks(25);
    EXPECT_NEAR(g_region_fog.values.r, 0.5f, 1e-4f);
    EXPECT_NEAR(g_region_fog.values.g, 0.5f, 1e-4f);
    move(actor, 35.0f, 0.0f, 0.0f);
    fog_ticks(1);
    EXPECT_TRUE(g_region_fog.resume);
    EXPECT_NEAR(g_region_fog.values.r, 0.49f, 1e-4f);
    EXPECT_NEAR(g_region_fog.values.g, 0.5f + (1.0f - math_smooth01(0.02f) - 0.5f) * 0.02f, 1e-4f);
    EXPECT_NEAR(g_region_fog.values.b, math_smooth01(0.02f) * 0.02f, 1e-4f);
}

TEST_F(RegionTest, FogBlendStepIsTheMeanOfTheTwoRates)
{
    ASSERT_EQ(add_fog(fog_of(1.0f, 0.0f, 0.0f, 1.0f), 1), 1);
    ASSERT_EQ(add_fog(fog_of(0.0f, 1.0f, 0.0f, 0.02f), 2), 2);
    GoActor& actor = focus_at(15.0f, 0.0f, 0.0f);
    fog_ticks(1);
    move(actor, 25.0f, 0.0f, 0.0f);
    fog_ticks(1);
    EXPECT_NEAR(g_region_fog.step, 0.51f, 1e-6f);
    EXPECT_NEAR(g_region_fog.t, 0.51f, 1e-6f);
}

TEST_F(RegionTest, FogRateOneSwitchesAtOnceAndTheLowerIndexWins)
{
    ASSERT_EQ(add_fog(fog_of(0.2f, 0.0f, 0.0f, 1.0f), 1), 1);
    ASSERT_EQ(region_fog_add(fog_of(0.0f, 0.2f, 0.0f, 1.0f), {-50, -1, -1}, {50, 1, 1}, {0, 0, 0}, 0.0f, 0),
              2);
    GoActor& actor = focus_at(80.0f, 0.0f, 0.0f);
    fog_ticks(1);
    move(actor, 15.0f, 0.0f, 0.0f);
    fog_ticks(1);
    EXPECT_EQ(g_region_fog.current, 1);
    EXPECT_EQ(g_region_fog.values.r, 0.2f);
    EXPECT_EQ(g_fog_colors[FOG_COLOR_SCENE], 0xFF330000u);
}

TEST_F(RegionTest, DarkSceneDarkensTheFogColourWithThePointLightShader)
{
    ASSERT_EQ(add_fog(fog_of(1.0f, 0.5f, 0.2f, 1.0f), 1), 1);
    focus_at(15.0f, 0.0f, 0.0f);
    const struct {
        std::uint8_t dark, shader;
        std::uint32_t colour;
    } cases[] = {
        {0, 0, 0xFFFF7F33u},
        {1, 0, 0xFFFF7F33u},
        {0, 1, 0xFFFF7F33u},
        {1, 1, 0xFFA55221u}, // 165.75, 82.875, 33.15
    };
    for (const auto& c : cases) {
        g_play_state.dark_scene = c.dark;
        g_device_settings.settings.point_light_vs = c.shader;
        fog_ticks(1);
        EXPECT_EQ(g_fog_colors[FOG_COLOR_SCENE], c.colour) << int(c.dark) << int(c.shader);
    }
}

TEST_F(RegionTest, FogWithFarEqualToNearIsNoFog)
{
    ASSERT_EQ(add_fog(fog_of(0.0f, 0.0f, 0.0f, 1.0f, 40.0f, 40.0f), 1), 1);
    focus_at(15.0f, 0.0f, 0.0f);
    fog_ticks(1);
    EXPECT_EQ(g_fog_vs_constants[0], 0.0f);
    EXPECT_EQ(g_fog_vs_constants[1], 1.0f);
    EXPECT_EQ(g_fog_near, 40.0f);
    EXPECT_EQ(g_fog_far, 40.0f);
}

TEST_F(RegionTest, FogAddClaimsTheDefaultRegionFirst)
{
    region_fogs_reset_all();
    EXPECT_EQ(add_fog(fog_of(0.1f, 0.0f, 0.0f, 1.0f), 1), 1);
    EXPECT_TRUE(g_region_fogs.at(0)->used);
    for (int i = 2; i < REGION_FOG_COUNT; ++i)
        EXPECT_EQ(add_fog(fog_of(0.1f, 0.0f, 0.0f, 1.0f), i), i);
    EXPECT_EQ(add_fog(fog_of(0.1f, 0.0f, 0.0f, 1.0f), 1), -1);
}

TEST_F(RegionTest, FogColourWordTakesTruncatedBytes)
{
    region_fog_set_colour(1.0f, 0.999f, 0.5f);
    EXPECT_EQ(g_fog_colors[FOG_COLOR_SCENE], 0xFFFFFE7Fu);
    region_fog_set_colour(0.0f, 0.0f, 0.0f);
    EXPECT_EQ(g_fog_colors[FOG_COLOR_SCENE], 0xFF000000u);
}
