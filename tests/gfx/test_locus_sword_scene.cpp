#include "game/g_image_table.h"
#include "gfx/ani_ops.h"
#include "gfx/g_gfx.h"
#include "gfx/go_locus_sword.h"
#include "gl_device_fixture.h"
#include "lib/demo_trails.h"
#include "lib/demo_writer.h"
#include "lowlv/d3d/d3d_core.h"
#include "lowlv/d3d/d3d_shader.h"
#include "object/xx/go_xx.h"
#include "platform/impl/d3d8_seams.h"
#include "temp_folder.h"
#include "test_popup_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr DWORD k_black = 0xFF000000;
constexpr DWORD k_trail_ink = 0xFFFF2020;
constexpr DWORD k_spark_ink = 0xFF20FF20;
constexpr DWORD k_burst_ink = 0xFF2020FF;
constexpr int k_trail_image = 16;    // locus0.dds
constexpr int k_burst_image = 428;   // effect texture 5
constexpr float k_swing_step = 0.2f; // radians a frame of the demo's swings
const D3DXVECTOR3 k_spark_point(-1.5f, 0.5f, 0.0f);

int channel(DWORD argb, int shift)
{
    return static_cast<int>(argb >> shift & 0xFF);
}

// Pixels where the channel stands well above the two others.
int pixels_led_by(const std::vector<DWORD>& pixels, int shift)
{
    return static_cast<int>(std::ranges::count_if(pixels, [shift](DWORD p) {
        const int lead = channel(p, shift);
        int others = 0;
        for (int s : {0, 8, 16})
            if (s != shift) others = std::max(others, channel(p, s));
        return lead > 0x60 && lead > others + 0x40;
    }));
}

// The game's shaders and the demo's six curves as the archive, the curves loaded.
void load_demo_curves(const TempFolder& data)
{
    std::vector<ArchiveSource> files = demo_shader_files(shader_file_names());
    for (ArchiveSource& file : demo_trail_files())
        files.push_back(std::move(file));
    ASSERT_TRUE(archive_write_set(data.path(), files, {}));
    vfs_close_all();
    ASSERT_EQ(vfs::Startup((data.windows() + "\\").c_str()), S_OK);
    gfx_load_sword_trails();
}

// The real tick and the queue's drawing on a device that draws for real (OpenGL), the demo's six
// curves mounted beside the shaders, and one-colour pictures for the trail, the sparks and the
// burst. The stand-in owner is the strong player at the origin.
class TrailSceneTest : public GlOverlayTickTest {
protected:
    void SetUp() override
    {
        GlOverlayTickTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_NO_FATAL_FAILURE(load_demo_curves(m_data));
        picture(k_trail_image, k_trail_ink);
        picture(STREAK_TEXTURE, k_spark_ink);
        picture(k_burst_image, k_burst_ink);

        D3DXMatrixIdentity(&m_actor->world);
        D3DXMatrixIdentity(&m_actor->billboard_matrix);
        m_actor->facing = -std::numbers::pi_v<float> / 2.0f; // the curve as it stands
        m_actor->status.hp = m_actor->status.max_hp = 100.0f;
        m_actor->cast = ACTOR_CAST_HERO;
        g_player = m_actor;
        g_play_state.powerup_bits = 0x1;     // strength: the swing bursts
        d3d_set_fog_range(1000.0f, 2000.0f); // far behind them all
    }
    void TearDown() override
    {
        for (TrailCurve& curve : g_sword_trail_curves)
            curve = {};
        g_fog_near = g_fog_far = 0.0f;
        g_fog_vs_constants[0] = g_fog_vs_constants[1] = 0.0f;
        GlOverlayTickTest::TearDown();
        std::fill(std::begin(g_goxx_live_count), std::end(g_goxx_live_count), 0);
    }

    void picture(int entry, DWORD colour)
    {
        IDirect3DTexture8*& texture = own_image(entry);
        ASSERT_EQ(g_d3d_device->CreateTexture(2, 2, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture),
                  D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (int row = 0; row < 2; ++row)
            for (int column = 0; column < 2; ++column)
                reinterpret_cast<DWORD*>(static_cast<BYTE*>(locked.pBits) + row * locked.Pitch)[column] =
                    colour;
        texture->UnlockRect(0);
    }

    std::vector<DWORD> cleared_frame()
    {
        g_d3d_device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, k_black, 1.0f, 0);
        return draw_frame();
    }

    TempFolder m_data;
};

// The demo's curves on the device without a backend: the drawn fade shows in the colours the
// curve's strip was last written with.
class LocusSwordDrawTest : public OverlayTickTest {
protected:
    void SetUp() override
    {
        OverlayTickTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(load_demo_curves(m_data));
        D3DXMatrixIdentity(&m_actor->billboard_matrix);
        m_actor->status.hp = 100.0f;
    }
    void TearDown() override
    {
        for (TrailCurve& curve : g_sword_trail_curves)
            curve = {};
        OverlayTickTest::TearDown();
    }

    TempFolder m_data;
};

} // namespace

// While the scene's second collision set is loaded the trail draws at 0.72 of its fade.
TEST_F(LocusSwordDrawTest, TheSecondCollisionSetDimsTheTrail)
{
    AniSwordTrailRequest request{};
    request.value = 256;
    GoLocusSword* trail = actor_spawn_sword_trail(request, *m_actor);
    ASSERT_NE(trail, nullptr);
    trail->fade = 0.5f;
    for (std::int32_t mode : {0, 1, 0}) {
        g_play_state.water_mode = mode;
        GoLocusSword::Draw(nullptr, trail);
        EXPECT_FLOAT_EQ(g_sword_trail_curves[0].written_fade, mode ? 0.36f : 0.5f) << mode;
    }
}

// Two whole ticks, then a drawn one: the trail stands at frame 3 of its swing, the sparks thrown
// at the start have left a streak, and the first burst particles show.
TEST_F(TrailSceneTest, TrailSparksAndBurstLeaveTheirInk)
{
    AniSwordTrailRequest request{};
    request.value = 256;
    request.attack_to = 16;
    GoLocusSword* trail = actor_spawn_sword_trail(request, *m_actor);
    ASSERT_NE(trail, nullptr);
    goxx_spawn_streak_sparks_at(k_spark_point, 0.11f, D3DXVECTOR3(0.0f, 1.0f, 0.0f), 0.26f, 0.1f, 0.12f);
    step(2);
    step(2);
    const std::vector<DWORD> pixels = cleared_frame();
    ASSERT_EQ(g_pool_locus_sword.count, 1);
    ASSERT_FLOAT_EQ(trail->frame_time, 3.0f);

    // Between the hilt and the tip of the newest pair of the strip.
    const float angle = 3.0f * k_swing_step - 0.05f;
    const D3DXVECTOR3 blade(std::cos(angle), 1.0f, std::sin(angle));
    const DWORD ink = projected_pixel(pixels, k_width, k_height, blade);
    EXPECT_GT(channel(ink, 16), 0xC0) << std::hex << ink;
    EXPECT_GT(channel(ink, 16) - channel(ink, 8), 0x40) << std::hex << ink;

    EXPECT_GT(pixels_led_by(pixels, 8), 0) << "the sparks' streaks";
    EXPECT_GT(pixels_led_by(pixels, 0), 0) << "the burst";
    EXPECT_TRUE(near_color(
        projected_pixel(pixels, k_width, k_height, D3DXVECTOR3(3.0f, 0.0f, -3.0f)) | k_black, k_black, 8))
        << "away from them all";
}

// The streak is a strip of two vertices a history point; a point whose segment has no length
// has no side and is left out, and a spark that has not moved draws nothing.
TEST_F(LocusSwordDrawTest, ASparkSegmentOfNoLengthDrawsNothingForItsPoint)
{
    struct Case {
        int repeated; // history point equal to the next one; -1 none, 10 all equal
        std::size_t draws;
        UINT triangles;
    };
    const Case cases[] = {{-1, 1, 18}, {3, 1, 16}, {10, 0, 0}};
    ASSERT_EQ(g_d3d_device->BeginScene(), D3D_OK);
    for (const Case& c : cases) {
        GoXx* object = obj_create<GoXx>(g_pool_xx);
        ASSERT_NE(object, nullptr);
        StreakParams params{};
        params.material = STREAK_MATERIAL;
        params.colour = 0xFFFFFFFF;
        params.width = 0.2f;
        params.lifetime = 100.0f;
        goxx_init_streak_spark(params, *object);
        StreakSpark& spark = object->area<StreakSpark>();
        for (int i = 0; i < STREAK_HISTORY; ++i)
            spark.history[i] =
                D3DXVECTOR3(c.repeated == 10 ? 0.0f : 0.1f * static_cast<float>(i), 0.0f, 0.0f);
        if (c.repeated >= 0 && c.repeated < STREAK_HISTORY - 1)
            spark.history[c.repeated] = spark.history[c.repeated + 1];
        const std::size_t before = d3d8_seam_draws().size();
        goxx_draw_streak_spark(nullptr, object);
        const auto& draws = d3d8_seam_draws();
        ASSERT_EQ(draws.size() - before, c.draws) << c.repeated;
        if (c.draws) {
            EXPECT_EQ(draws.back().call.type, D3DPT_TRIANGLESTRIP);
            EXPECT_EQ(draws.back().call.primitive_count, c.triangles) << c.repeated;
        }
    }
    g_d3d_device->EndScene();
}
