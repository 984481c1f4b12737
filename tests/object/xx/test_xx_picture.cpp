#include "game/tick_fixture.h"
#include "lib/dds_writer.h"
#include "scenegraph/resrc_mgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr const char* k_picture_path = "data\\image\\gameover.dds";
constexpr std::uint32_t k_picture_layer = 0x06800000;

// A picture whose path fills the whole 80-byte field, with no room for its end.
std::string full_field_path()
{
    const std::string folder = "data\\image\\", extension = ".dds";
    return folder + std::string(80 - folder.size() - extension.size(), 'p') + extension;
}

PictureOverlayParams overlay_params(const char* path, std::int32_t hold, std::int32_t centred)
{
    PictureOverlayParams params{};
    std::strncpy(params.path, path, sizeof params.path);
    params.hold = hold;
    params.centred = centred;
    return params;
}

// The one row-13 item, or null when the row holds none or more.
const RqCallbackItem* only_layer()
{
    const RenderQueueRow& row = g_rq_rows[13];
    if (row.used != RQ_SIZE_CALLBACK) return nullptr;
    return reinterpret_cast<const RqCallbackItem*>(row.buffer.get());
}

std::vector<ScreenVertex> strip_of(const D3D8DrawRecord& draw)
{
    return drawn_screen_vertices(draw, 4);
}

// Multi-purpose objects on the tick's device, with the resource manager started over an archive
// that holds the game-over picture.
class PictureOverlayTest : public TickTest {
protected:
    static void SetUpTestSuite()
    {
        s_folder = std::make_unique<TempFolder>();
        std::vector<ArchiveSource> files = demo_shader_files(shader_file_names());
        const DdsPixels picture = dds_solid(16, 16, 0xFF808080);
        for (const std::string& path : {std::string(k_picture_path), full_field_path()})
            files.push_back({path, dds_build(DdsFormat::A4R4G4B4, std::span(&picture, 1))});
        ASSERT_TRUE(archive_write_set(s_folder->path(), files, {}));
        vfs::Startup((s_folder->windows() + "\\").c_str());
    }

    void SetUp() override
    {
        TickTest::SetUp();
        ResrcMgr::Initialize(RESRC_RESERVE[0], RESRC_RESERVE[1]);
        rq_clear_rows();
    }

    void TearDown() override
    {
        obj_destroy_all();
        ResrcMgr::Shutdown();
        TickTest::TearDown();
        // Objects made here without a maker (a bare slot, a subtype set by hand) were never
        // counted but are counted off when deleted; with the pools gone none lives.
        std::fill(std::begin(g_goxx_live_count), std::end(g_goxx_live_count), 0);
    }

    static GoXx& make_overlay(const char* path = k_picture_path, std::int32_t hold = 0,
                              std::int32_t centred = 1)
    {
        GoXx* object = obj_create<GoXx>(g_pool_xx);
        EXPECT_NE(object, nullptr);
        goxx_init_picture_overlay(overlay_params(path, hold, centred), *object);
        return *object;
    }

    // One step of the object alone: whole or not, drawn or not, paused or not.
    static void tick(GoXx& object, bool whole = true, bool draw = false, bool paused = false)
    {
        g_whole_tick = whole ? 1 : 0;
        g_draw_frame = draw ? 1 : 0;
        g_paused = paused ? 1 : 0;
        object.flags &= static_cast<std::uint8_t>(~GO_FLAG_NEW);
        object.Update();
    }

    static std::uint32_t life(GoXx& object) { return object.area<PictureOverlay>().life; }

    // The overlay's draws alone, inside a scene.
    static std::vector<D3D8DrawRecord> draw(GoXx& object)
    {
        d3d8_seam_log_draws(false);
        d3d8_seam_log_draws(true);
        EXPECT_EQ(g_d3d_device->BeginScene(), D3D_OK);
        goxx_draw_picture_overlay(nullptr, &object);
        g_d3d_device->EndScene();
        return d3d8_seam_draws();
    }

    static std::uint32_t drawn_alpha(GoXx& object)
    {
        const std::vector<D3D8DrawRecord> draws = draw(object);
        if (draws.size() != 1) return 0xFFFFFFFF;
        return strip_of(draws[0])[0].color >> 24;
    }
};

} // namespace

// ---- The subtype dispatch -----------------------------------------------------------------------------

// Only a subtype with its behaviour built does anything on a step; every other subtype, and a
// word past the table, leaves the object, its record and the render queue alone.
static bool goxx_subtype_has_update(std::uint16_t subtype)
{
    return subtype == GOXX_SPRITE_PARTICLE || subtype == GOXX_STREAK_SPARK || subtype == GOXX_ANIM_SPRITE ||
           subtype == GOXX_PICTURE_OVERLAY || subtype == GOXX_SAVE_POINT || subtype == GOXX_POINT_LIGHT;
}

TEST_F(PictureOverlayTest, OnlyTheSubtypesInTheTableAreUpdated)
{
    for (std::uint16_t subtype = 0; subtype <= GOXX_SUBTYPE_COUNT; ++subtype) {
        if (goxx_subtype_has_update(subtype)) continue;
        SCOPED_TRACE(subtype);
        GoXx* object = obj_create<GoXx>(g_pool_xx);
        ASSERT_NE(object, nullptr);
        object->role = subtype;
        std::fill(std::begin(object->subtype_area), std::end(object->subtype_area), std::byte{0x5A});
        tick(*object, true, true);
        EXPECT_EQ(object->flags, 0);
        EXPECT_TRUE(std::all_of(std::begin(object->subtype_area), std::end(object->subtype_area),
                                [](std::byte b) { return b == std::byte{0x5A}; }));
        EXPECT_EQ(g_rq_rows[13].used, 0u);
    }

    GoXx& overlay = make_overlay();
    tick(overlay, true, true);
    EXPECT_EQ(life(overlay), 149u);
    EXPECT_NE(only_layer(), nullptr);
}

// ---- Life, hold and alpha -------------------------------------------------------------------------------

// Made: subtype 14, counted, life 150, the picture loaded.
TEST_F(PictureOverlayTest, InitCountsTheOverlayAndLoadsItsPicture)
{
    const std::int32_t before = g_goxx_live_count[GOXX_PICTURE_OVERLAY];
    GoXx& object = make_overlay(k_picture_path, 1, 0);
    EXPECT_EQ(object.role, GOXX_PICTURE_OVERLAY);
    EXPECT_EQ(g_goxx_live_count[GOXX_PICTURE_OVERLAY], before + 1);
    const PictureOverlay& overlay = object.area<PictureOverlay>();
    EXPECT_EQ(overlay.life, 150u);
    EXPECT_EQ(overlay.hold, 1);
    EXPECT_EQ(overlay.centred, 0);
    EXPECT_NE(overlay.texture, nullptr);
}

// An unheld overlay fades in, stays and fades out, and dies on its 151st whole tick; steps
// without a whole tick do not age it.
TEST_F(PictureOverlayTest, AnUnheldOverlayFadesInAndOutAndDiesAfter151WholeTicks)
{
    GoXx& object = make_overlay();
    const struct {
        std::uint32_t ticks; // whole ticks so far
        std::uint32_t alpha;
    } checkpoints[] = {
        {0, 0},     {1, 5},     {22, 125},  {44, 250}, {45, 255},
        {100, 255}, {105, 255}, {106, 250}, {149, 5},  {150, 0},
    };
    std::uint32_t ticks = 0;
    for (const auto& c : checkpoints) {
        SCOPED_TRACE(c.ticks);
        for (; ticks < c.ticks; ++ticks) {
            tick(object, false);
            tick(object);
        }
        EXPECT_EQ(life(object), 150u - c.ticks);
        EXPECT_EQ(drawn_alpha(object), c.alpha);
        EXPECT_EQ(object.flags & GO_FLAG_DEAD, 0);
    }
    tick(object);
    EXPECT_NE(object.flags & GO_FLAG_DEAD, 0);
}

// A held overlay stops at life 45 and stays opaque for good.
TEST_F(PictureOverlayTest, AHeldOverlayStaysOpaqueOnceFadedIn)
{
    GoXx& object = make_overlay(k_picture_path, 1, 1);
    for (int i = 0; i < 1000; ++i)
        tick(object);
    EXPECT_EQ(life(object), 45u);
    EXPECT_EQ(drawn_alpha(object), 255u);
    EXPECT_EQ(object.flags & GO_FLAG_DEAD, 0);
}

// While the world is paused the overlay keeps its life, so its alpha, and still queues its draw:
// row 13, its layer key, depth 0, its callback and itself.
TEST_F(PictureOverlayTest, PausedItKeepsItsAlphaAndStillQueuesItsDraw)
{
    GoXx& object = make_overlay();
    for (int i = 0; i < 10; ++i)
        tick(object);
    const std::uint32_t alpha = drawn_alpha(object);
    tick(object, true, true, true);
    EXPECT_EQ(life(object), 140u);
    EXPECT_EQ(drawn_alpha(object), alpha);
    const RqCallbackItem* item = only_layer();
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->header.key0, k_picture_layer);
    EXPECT_EQ(item->header.key1, 0);
    EXPECT_EQ(item->callback, &goxx_draw_picture_overlay);
    EXPECT_EQ(item->user, &object);

    rq_clear_rows();
    tick(object, true, false);
    EXPECT_EQ(g_rq_rows[13].used, 0u) << "queued on draw frames only";
}

// ---- Drawing ----------------------------------------------------------------------------------------------

// One strip of two triangles over the 512 x 128 rectangle, corners in the order (x0, y0), (x0,
// y1), (x1, y0), (x1, y1) with their texture corners, white, the picture on stage 0.
TEST_F(PictureOverlayTest, DrawsOneStripOverItsRectangle)
{
    const struct {
        std::int32_t centred;
        float x0, y0, x1, y1;
    } cases[] = {
        {1, 63.5f, 111.5f, 575.5f, 239.5f},
        {0, 15.5f, 15.5f, 527.5f, 143.5f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.centred);
        GoXx& object = make_overlay(k_picture_path, 0, c.centred);
        const std::vector<D3D8DrawRecord> draws = draw(object);
        ASSERT_EQ(draws.size(), 1u);
        EXPECT_EQ(draws[0].call.type, D3DPT_TRIANGLESTRIP);
        EXPECT_EQ(draws[0].call.primitive_count, 2u);
        EXPECT_EQ(draws[0].state.textures[0], object.area<PictureOverlay>().texture);
        const std::vector<ScreenVertex> quad = strip_of(draws[0]);
        const float xs[4] = {c.x0, c.x0, c.x1, c.x1}, ys[4] = {c.y0, c.y1, c.y0, c.y1};
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(quad[i].x, xs[i]);
            EXPECT_EQ(quad[i].y, ys[i]);
            EXPECT_EQ(quad[i].z, 0.0f);
            EXPECT_EQ(quad[i].rhw, 1.0f);
            EXPECT_EQ(quad[i].u, i < 2 ? 0.0f : 1.0f);
            EXPECT_EQ(quad[i].v, i % 2 ? 1.0f : 0.0f);
            EXPECT_EQ(quad[i].color & 0xFFFFFFu, 0xFFFFFFu);
        }
    }
}

// A picture that is not there leaves the overlay living and drawing untextured.
TEST_F(PictureOverlayTest, AMissingPictureDrawsUntextured)
{
    GoXx& object = make_overlay("data\\image\\nothing.dds");
    EXPECT_EQ(object.area<PictureOverlay>().texture, nullptr);
    tick(object, true, true);
    EXPECT_NE(only_layer(), nullptr);
    const std::vector<D3D8DrawRecord> draws = draw(object);
    ASSERT_EQ(draws.size(), 1u);
    EXPECT_EQ(draws[0].state.textures[0], nullptr);
}

// A path that fills its whole field without an end is read no further than the field.
TEST_F(PictureOverlayTest, APathWithoutAnEndIsReadNoFurtherThanItsField)
{
    GoXx* object = obj_create<GoXx>(g_pool_xx);
    ASSERT_NE(object, nullptr);
    PictureOverlayParams params{};
    const std::string path = full_field_path();
    ASSERT_EQ(path.size(), sizeof params.path);
    std::memcpy(params.path, path.data(), path.size());
    params.hold = 0x78787878; // read as text, "xxxx" would follow the path
    goxx_init_picture_overlay(params, *object);
    EXPECT_NE(object->area<PictureOverlay>().texture, nullptr);
}

// ---- Deletion ---------------------------------------------------------------------------------------------

// Deleting the overlay gives its picture back to the resource manager, so the scene-change purge
// destroys it, and the live count returns.
TEST_F(PictureOverlayTest, DeletionReleasesThePicture)
{
    const std::int32_t before = g_goxx_live_count[GOXX_PICTURE_OVERLAY];
    GoXx& object = make_overlay();
    IDirect3DTexture8* texture = object.area<PictureOverlay>().texture;
    ASSERT_NE(texture, nullptr);
    texture->AddRef();

    ResrcMgr::PurgeCached();
    EXPECT_EQ(texture->AddRef(), 3u) << "the live overlay's picture survives the purge";
    texture->Release();

    go_kill(object);
    obj_sweep_dead();
    EXPECT_EQ(g_goxx_live_count[GOXX_PICTURE_OVERLAY], before);
    ResrcMgr::PurgeCached();
    EXPECT_EQ(texture->Release(), 0u);
}
