// Sword trails on the six curves of an archive the test writes, with a stand-in owner (a logging
// actor that runs no behaviour of its own), the render queue's rows and a seeded generator.
#pragma once

#include "core/maths.h"
#include "core/timer.h"
#include "core/vfs.h"
#include "game/g_gameover.h"
#include "game/g_image_table.h"
#include "game/g_play_state.h"
#include "game/g_tick.h"
#include "game/test_hit_fixture.h"
#include "gfx/ani_ops.h"
#include "gfx/g_gfx.h"
#include "gfx/go_locus_sword.h"
#include "lib/archive_writer.h"
#include "lib/sl2_writer.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/xx/go_xx.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

constexpr std::uint32_t TRAIL_TEST_FRAMES = 40;
constexpr std::uint32_t TRAIL_TEST_SEGMENTS = 15; // the hero's special swings 269 and 270 are 13 and 14
constexpr std::int32_t TRAIL_SEGMENT_SHORT = 1;   // first frame = end frame - 1
constexpr std::int32_t TRAIL_ZERO_BLADE_CURVE = 2;
constexpr float TRAIL_BLADE = 2.0f; // the blade point's distance, curve space

// A swing whose blade point stands still at (TRAIL_BLADE, 0, 0), the rest of the strip swinging
// as the writer makes it; segments over all frames but one short segment. The zero-blade curve
// has its blade point at the origin.
inline Sl2Image trail_test_curve(int n)
{
    Sl2Image image = sl2_swing(TRAIL_TEST_FRAMES, 8);
    const float blade = n == TRAIL_ZERO_BLADE_CURVE ? 0.0f : TRAIL_BLADE;
    for (Sl2Frame& frame : image.frames)
        frame.points[0] = {blade, 0.0f, 0.0f};
    image.segments.assign(TRAIL_TEST_SEGMENTS, {0, TRAIL_TEST_FRAMES, 1.0f});
    image.segments[TRAIL_SEGMENT_SHORT] = {3, 4, 1.0f};
    return image;
}

inline std::vector<ArchiveSource> trail_test_files()
{
    std::vector<ArchiveSource> files;
    for (int n = 0; n < SWORD_TRAIL_CURVES; ++n)
        files.push_back({"data\\effect\\sword" + std::to_string(n) + ".sl2", sl2_bytes(trail_test_curve(n))});
    return files;
}

class TrailTest : public WorldTest {
protected:
    void SetUp() override
    {
        WorldTest::SetUp();
        math_rand_seed();
        ASSERT_TRUE(rq_create_rows(RQ_GAME_ROWS));
        mount(trail_test_files());
        gfx_load_sword_trails();
        m_owner = spawn(g_pool_actor);
        ASSERT_NE(m_owner, nullptr);
        D3DXMatrixIdentity(&m_owner->world);
        D3DXMatrixIdentity(&m_owner->billboard_matrix);
        m_owner->status.hp = m_owner->status.max_hp = 100.0f;
        m_owner->cast = 20;
        m_owner->hit_shape.class_bits = HIT_ENEMY | HIT_ACTIVE;
        set_steps(true, false);
    }
    void TearDown() override
    {
        WorldTest::TearDown();
        vfs_close_all();
        rq_free_rows();
        for (TrailCurve& curve : g_sword_trail_curves)
            curve = {};
        std::fill(std::begin(g_goxx_live_count), std::end(g_goxx_live_count), 0);
        g_player = nullptr;
        g_play_state = {};
        g_world_frozen = 0;
        g_paused = 0;
        g_camera_heading = 0.0f;
        g_camera_state = {};
        set_steps(false, false);
        math_rand_seed();
    }

    void mount(const std::vector<ArchiveSource>& files)
    {
        vfs_close_all();
        ASSERT_TRUE(archive_write_set(m_folder.path(), files, {}));
        ASSERT_EQ(vfs::Startup((m_folder.windows() + "\\").c_str()), S_OK);
    }

    static void set_steps(bool whole, bool drawn, float length = 1.0f)
    {
        g_whole_tick = whole;
        g_draw_frame = drawn;
        g_frame_step = length;
    }

    // A request as FUNCID_SWORD_TRAIL gives it.
    static AniSwordTrailRequest request(std::int32_t value)
    {
        AniSwordTrailRequest r{};
        r.value = value;
        r.reaction_id = 7;
        r.reaction_values[0] = 1.0f;
        r.reaction_values[1] = 2.0f;
        r.attack_from = 0;
        r.attack_to = static_cast<std::int32_t>(TRAIL_TEST_FRAMES);
        r.attack_values[0] = 3.0f;
        r.attack_values[1] = 1.5f;
        r.strength = 0;
        r.lifetime = 0;
        return r;
    }

    GoLocusSword* start(std::int32_t value = 256)
    {
        GoLocusSword* trail = actor_spawn_sword_trail(request(value), *m_owner);
        EXPECT_NE(trail, nullptr);
        return trail;
    }

    static std::vector<GoXx*> objects_of(GoXxSubtype subtype)
    {
        std::vector<GoXx*> found;
        for (GoBase* object : pool_objects(g_pool_xx))
            if (object->role == subtype) found.push_back(static_cast<GoXx*>(object));
        return found;
    }

    static D3DXVECTOR3 velocity(const GoXx& object)
    {
        return {object.rotation._41, object.rotation._42, object.rotation._43};
    }

    TempFolder m_folder;
    GoActor* m_owner = nullptr;
};
