#include "core/timer.h"
#include "game/g_pointer.h"
#include "game/g_region.h"
#include "game/g_tick.h"
#include "lowlv/input/input_state.h"
#include "object/object_fixture.h"
#include "scenegraph/renderer_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr float k_pi = std::numbers::pi_v<float>;
constexpr float k_foot_offset = 0.5f;

// Real actors, not the logging stand-ins, on a renderer whose camera looks from 10 units before
// the origin straight at it, with the three region tables made.
class ActorUpdateTest : public RendererTest {
protected:
    void SetUp() override
    {
        RendererTest::SetUp();
        ASSERT_EQ(obj_create_pools(), S_OK);
        region_cameras_alloc();
        region_camera_reset_all();
        region_entries_alloc();
        region_fogs_alloc();
        look_at_origin();
        reset_state();
    }
    void TearDown() override
    {
        obj_destroy_all();
        obj_destroy_pools();
        region_cameras_free();
        region_entries_free();
        region_fogs_free();
        reset_state();
        RendererTest::TearDown();
    }

    static void reset_state()
    {
        g_player = g_camera_focus = nullptr;
        g_draw_frame = g_whole_tick = g_paused = 0;
        g_input_ring = {};
        hud_pointer_init();
    }

    static void look_at_origin()
    {
        renderer_set_camera(D3DXVECTOR3(0.0f, 0.0f, -10.0f), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        renderer_update_camera();
    }

    // An actor whose feet are at the point.
    static GoActor& actor_standing_at(const D3DXVECTOR3& feet)
    {
        GoActor* actor = obj_create<GoActor>(g_pool_actor);
        EXPECT_NE(actor, nullptr);
        actor->flags = 0;
        actor->foot_offset = k_foot_offset;
        actor->world._41 = feet.x;
        actor->world._42 = feet.y + k_foot_offset;
        actor->world._43 = feet.z;
        return *actor;
    }

    static void step(GoActor& actor, bool draw, bool whole)
    {
        g_draw_frame = draw;
        g_whole_tick = whole;
        actor.Update();
    }

    // One pointer step with the cursor here and the mouse-direction button held.
    static void move_pointer(std::int32_t x, std::int32_t y)
    {
        InputRecord& record = g_input_ring.records[g_input_ring.current];
        record = {};
        record.cursor_x = x;
        record.cursor_y = y;
        record.held = INPUT_MOUSE_DIR;
        g_whole_tick = 1;
        g_frame_step = 1.0f;
        hud_update_mouse_cursor();
    }
};

} // namespace

// The player's feet, as drawn, go onto the 640x480 screen on drawn frames only: the middle of the
// screen for feet at the origin, whatever the size of the back buffer; the hover bob lifts them.
TEST_F(ActorUpdateTest, ThePlayersDrawnFramesAnchorThePointer)
{
    const struct {
        UINT width, height;
    } sizes[] = {{640, 480}, {1280, 960}};
    std::vector<D3DXVECTOR2> off_centre;
    for (const auto& size : sizes) {
        SCOPED_TRACE(size.width);
        start(size.width, size.height);
        look_at_origin();
        GoActor& player = actor_standing_at(D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        g_player = &player;
        g_mouse_pointer.anchor_x = g_mouse_pointer.anchor_y = -7.0f;

        step(player, false, true);
        EXPECT_EQ(g_mouse_pointer.anchor_x, -7.0f) << "not a drawn frame";
        step(player, true, false);
        EXPECT_NEAR(g_mouse_pointer.anchor_x, 320.0f, 1e-3f);
        EXPECT_NEAR(g_mouse_pointer.anchor_y, 240.0f, 1e-3f);

        player.draw_height_offset = 1.0f;
        step(player, true, false);
        EXPECT_NEAR(g_mouse_pointer.anchor_x, 320.0f, 1e-3f);
        EXPECT_LT(g_mouse_pointer.anchor_y, 239.0f);
        player.draw_height_offset = 0.0f;

        player.world._41 = 2.0f;
        player.world._42 = 1.0f + k_foot_offset;
        step(player, true, false);
        EXPECT_GT(g_mouse_pointer.anchor_x, 321.0f);
        EXPECT_LT(g_mouse_pointer.anchor_y, 239.0f);
        off_centre.emplace_back(g_mouse_pointer.anchor_x, g_mouse_pointer.anchor_y);

        // Another actor's draw leaves the anchor be.
        GoActor& other = actor_standing_at(D3DXVECTOR3(-3.0f, 0.0f, 0.0f));
        step(other, true, true);
        EXPECT_EQ(g_mouse_pointer.anchor_x, off_centre.back().x);
        obj_destroy_all();
    }
    EXPECT_NEAR(off_centre[0].x, off_centre[1].x, 1e-3f);
    EXPECT_NEAR(off_centre[0].y, off_centre[1].y, 1e-3f);
}

// With the anchor in place the pointer turns toward the player: a pointer straight above the
// player's feet faces a quarter turn, on a back buffer twice the screen's size too.
TEST_F(ActorUpdateTest, ThePointerTurnsTowardTheAnchoredPlayer)
{
    start(1280, 960);
    look_at_origin();
    GoActor& player = actor_standing_at(D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    g_player = &player;
    step(player, true, true);

    move_pointer(320, 140);
    EXPECT_NEAR(g_mouse_pointer.anchor_angle, k_pi / 2.0f, 1e-5f);
    move_pointer(420, 240);
    EXPECT_NEAR(g_mouse_pointer.anchor_angle, 0.0f, 1e-5f);

    // Drawn, the arrow's quad is turned by the angle less the eighth turn the image has.
    move_pointer(320, 140);
    rq_draw_row(13, false);
    ASSERT_FALSE(draws().empty());
    const std::vector<ScreenVertex> quad = drawn_screen_vertices(draws().back(), 4);
    const float c = std::cos(k_pi / 4.0f), s = std::sin(k_pi / 4.0f);
    const float corners[4][2] = {{-15.0f, -15.0f}, {8.0f, -15.0f}, {-15.0f, 8.0f}, {8.0f, 8.0f}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const float dx = corners[i][0], dy = corners[i][1];
        EXPECT_NEAR(quad[static_cast<std::size_t>(i)].x, (319.5f + dx * c + dy * s) * 2.0f, 1e-3f);
        EXPECT_NEAR(quad[static_cast<std::size_t>(i)].y, (139.5f - dx * s + dy * c) * 2.0f, 1e-3f);
    }
}

// The regions follow the camera focus while the world runs: the camera on every step, exits and
// pits (and the fog) on whole ticks only. A paused world or another actor moves none of them.
TEST_F(ActorUpdateTest, TheCameraFocusDrivesTheRegions)
{
    const struct {
        const char* name;
        bool focus;
        bool paused;
        bool whole;
        bool camera;
        bool pit;
    } cases[] = {
        {"focus, whole tick", true, false, true, true, true},
        {"focus, part of a tick", true, false, false, true, false},
        {"focus, paused", true, true, true, false, false},
        {"another actor", false, false, true, false, false},
    };
    const D3DXVECTOR3 nowhere(-99.0f, -99.0f, -99.0f);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        region_entries_reset_all();
        RegionEntry pit;
        region_entry_build(pit, {true, 0, "", "", {0.0f, 0.0f, 0.0f}, 0.0f, 0, 0});
        ASSERT_TRUE(region_entry_add(pit, {-1, -1, -1}, {1, 1, 1}, {20, 0, 0}, 0.0f));
        GoActor& fallen = actor_standing_at(D3DXVECTOR3(20.0f, -0.5f, 0.0f));
        GoActor& actor = actor_standing_at(D3DXVECTOR3(5.0f, 1.0f, 7.0f));
        actor.camera_height = 1.5f;
        g_camera_focus = c.focus ? &actor : nullptr;
        g_paused = c.paused;
        g_region_camera.focus_point = nowhere;

        step(actor, false, c.whole);

        D3DXVECTOR3 followed;
        actor_camera_target(actor, followed);
        EXPECT_EQ(g_region_camera.focus_point, c.camera ? followed : nowhere);
        EXPECT_EQ((fallen.flags & GO_FLAG_DEAD) != 0, c.pit);
        obj_destroy_all();
    }
}
