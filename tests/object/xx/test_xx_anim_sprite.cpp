#include "core/sys.h"
#include "game/g_decal.h"
#include "game/tick_fixture.h"
#include "gfx/ani_dat.h"
#include "lib/aia_writer.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"
#include "scenegraph/renderer_camera.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr int k_set = 40;
constexpr int k_set_images = 41;
constexpr int k_other_images = 42; // the archive the record names instead of the set's
constexpr std::int32_t k_held_action = 7;
constexpr std::uint16_t k_canvas = 8;
constexpr float k_frame_height = 2.0f;
constexpr float k_frame_value = 0.5f;

std::string set_path(int number)
{
    char path[64];
    std::snprintf(path, sizeof path, "data\\ani\\c_%03d.aso.z", number);
    return path;
}

// One frame in each of 8 directions: direction d lights pixel (d, 0) in a colour naming the
// archive and the direction, and its canvas starts d pixels further right.
AiaArchive eight_directions(std::uint32_t tag)
{
    AiaEntry entry{0, 8, 1, {}};
    for (std::uint32_t d = 0; d < 8; ++d) {
        AiaFrame frame;
        frame.pixels.assign(std::size_t{k_canvas} * k_canvas, 0);
        frame.pixels[d] = 0xFF000000u | tag << 8 | d;
        frame.canvas_left = static_cast<float>(d);
        frame.canvas_top = 4.0f;
        frame.height = k_frame_height;
        entry.frames.push_back(frame);
    }
    AiaArchive archive;
    archive.canvas_width = archive.canvas_height = k_canvas;
    archive.entries = {entry};
    return archive;
}

std::uint32_t texel(IDirect3DTexture8* texture, int x)
{
    D3DLOCKED_RECT locked{};
    EXPECT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::uint32_t value = 0;
    std::memcpy(&value, static_cast<const std::uint8_t*>(locked.pBits) + x * 4, sizeof value);
    texture->UnlockRect(0);
    return value;
}

D3DXVECTOR3 translation(const D3DXMATRIX& m)
{
    return {m._41, m._42, m._43};
}

// Animated sprites on the tick's device, over an archive with a script set whose first action
// runs and whose held action would move on if it were ever stepped.
class AnimSpriteTest : public TickTest {
protected:
    void SetUp() override
    {
        TickTest::SetUp();
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        m_saved_32bit = g_tex_a8r8g8b8_ok;
        g_tex_a8r8g8b8_ok = true;
        mount();
        rq_clear_rows();
        g_tri_batches[ANIM_SPRITE_SHADOW_BATCH].count = 0;
        // The camera looks along +z from behind the origin.
        renderer_set_camera(D3DXVECTOR3(0.0f, 2.0f, -10.0f), D3DXVECTOR3(0.0f, 2.0f, 0.0f));
        renderer_update_camera();
    }
    void TearDown() override
    {
        obj_destroy_all();
        ani_dat_release_script_sets();
        ani_dat_release_all_images();
        vfs_close_all();
        vfs::Startup((s_folder->windows() + "\\").c_str());
        g_tex_a8r8g8b8_ok = m_saved_32bit;
        g_work_block = m_saved_block;
        g_draw_frame = 0;
        TickTest::TearDown();
        std::fill(std::begin(g_goxx_live_count), std::end(g_goxx_live_count), 0);
    }

    void mount()
    {
        const std::string script = "images " + std::to_string(k_set_images) +
                                   "\naction 2 1\n SCRIPT_OP_YIELD\naction 7 1\n call FUNCID_MARK 3\n"
                                   " call FUNCID_GOTO_ACTION 2\n";
        const std::vector<ArchiveSource> files = {
            {set_path(k_set), packed_build(sasm_assemble_or_throw(script))},
            {aia_archive_path(k_set_images), aia_packed(eight_directions(1))},
            {aia_archive_path(k_other_images), aia_packed(eight_directions(2))},
        };
        vfs_close_all();
        ASSERT_TRUE(archive_write_set(m_data.path(), files, {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
    }

    static AnimSpriteParams params()
    {
        AnimSpriteParams p{};
        p.position = D3DXVECTOR3(1.0f, 1.5f, 4.0f);
        p.facing = 0.0f;
        p.script_set = k_set;
        p.image_archive = k_other_images;
        p.action = k_held_action;
        p.frame_value = k_frame_value;
        p.offset = 0.25f;
        p.height_offset = 0.75f;
        p.foot_drop = 0.5f;
        p.shadow_height = 0.9f;
        p.shadow_radius = 0.6f;
        return p;
    }

    static GoXx& make(const AnimSpriteParams& p = params())
    {
        GoXx* object = obj_create<GoXx>(g_pool_xx);
        EXPECT_NE(object, nullptr);
        goxx_init_anim_sprite(*object, p);
        return *object;
    }

    static void draw(GoXx& object)
    {
        g_draw_frame = 1;
        object.Update();
        g_draw_frame = 0;
    }

    static std::vector<const RqQuadItem*> row_quads()
    {
        const RenderQueueRow& row = g_rq_rows[ANIM_SPRITE_ROW];
        std::vector<const RqQuadItem*> quads;
        for (std::size_t at = 0; at < row.buffer_used; at += sizeof(RqQuadItem)) {
            const auto* item = reinterpret_cast<const RqQuadItem*>(row.buffer.get() + at);
            EXPECT_EQ(item->header.type, RQ_TYPE_QUAD);
            quads.push_back(item);
        }
        return quads;
    }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
    bool m_saved_32bit = false;
    TempFolder m_data;
};

TEST_F(AnimSpriteTest, MakingBindsItsOwnScriptHeldAtTheRecordsActionArchiveAndFrameValue)
{
    const std::int32_t live = g_goxx_live_count[GOXX_ANIM_SPRITE];
    GoXx& object = make();
    EXPECT_EQ(object.role, GOXX_ANIM_SPRITE);
    EXPECT_EQ(g_goxx_live_count[GOXX_ANIM_SPRITE], live + 1);
    const AnimSprite& sprite = object.area<AnimSprite>();
    ASSERT_NE(sprite.script, nullptr);
    ASSERT_NE(sprite.quad, nullptr);
    EXPECT_EQ(sprite.params.shadow_radius, params().shadow_radius);
    const AniScript& script = *sprite.script;
    EXPECT_EQ(script.set_number, k_set);
    EXPECT_EQ(script.current_action, k_held_action);
    EXPECT_EQ(script.image_archive, k_other_images);
    EXPECT_FLOAT_EQ(script.height_offset, k_frame_value);
    EXPECT_FLOAT_EQ(script.FrameOffsetY(), k_frame_height + k_frame_value);
    // The first quad is built at once: the frame's canvas edges at the archive's scale.
    const QuadVertex& top_left = sprite.quad->vertices[0];
    EXPECT_FLOAT_EQ(top_left.y, 4.0f * 0.03125f);
    EXPECT_EQ(top_left.diffuse, 0xFFFFFFFFu);

    // Whole ticks and drawn frames never step the script: the held action neither marks nor moves on.
    for (int i = 0; i < 5; ++i) {
        g_whole_tick = 1;
        draw(object);
    }
    g_whole_tick = 0;
    EXPECT_EQ(script.current_action, k_held_action);
    EXPECT_EQ(script.mark, 0);
    EXPECT_EQ(script.pc, 0u);
}

// The drawn sprite: one quad item in row 11 with the material, the depth key and the heading
// matrix at the centre pulled toward the eye; the texture holds the frame of the record's
// archive in the facing's direction; the shadow lies in batch 3 under the feet.
TEST_F(AnimSpriteTest, ADrawnFrameQueuesTheSpriteFacingTheCameraAndItsShadow)
{
    AnimSpriteParams p = params();
    GoXx& object = make(p);
    draw(object);

    const std::vector<const RqQuadItem*> quads = row_quads();
    ASSERT_EQ(quads.size(), 1u);
    const RqQuadItem& item = *quads[0];
    const AnimSprite& sprite = object.area<AnimSprite>();
    EXPECT_EQ(item.header.size, RQ_SIZE_QUAD);
    EXPECT_EQ(item.header.key0, 0u);
    EXPECT_EQ(item.material, ANIM_SPRITE_MATERIAL);
    EXPECT_EQ(item.world, &object.world);
    EXPECT_EQ(item.vertices, sprite.quad->vertices);
    ASSERT_NE(item.texture, nullptr);
    EXPECT_EQ(item.texture, sprite.script->textures[0].texture);

    const float pull = k_frame_height + k_frame_value + p.height_offset;
    const D3DXVECTOR3 centre =
        p.position + D3DXVECTOR3(p.offset, p.offset - p.foot_drop, 0.0f) + g_camera_state.direction * pull;
    const D3DXVECTOR3 drawn = translation(object.world);
    EXPECT_NEAR(drawn.x, centre.x, 1e-5f);
    EXPECT_NEAR(drawn.y, centre.y, 1e-5f);
    EXPECT_NEAR(drawn.z, centre.z, 1e-5f);
    EXPECT_LT(drawn.z, p.position.z) << "pulled toward the eye";
    const D3DXVECTOR3 to_eye = centre - g_camera_state.eye;
    EXPECT_EQ(item.header.key1, rq_depth_key(D3DXVec3LengthSq(&to_eye)));
    for (float D3DXMATRIX::*cell : {&D3DXMATRIX::_11, &D3DXMATRIX::_13, &D3DXMATRIX::_31, &D3DXMATRIX::_33})
        EXPECT_FLOAT_EQ(object.world.*cell, g_camera_state.heading_rotation.*cell);

    const std::int32_t direction = sprite.script->direction;
    EXPECT_EQ(texel(item.texture, direction), 0xFF000200u | static_cast<std::uint32_t>(direction))
        << "the frame of the record's archive";
    EXPECT_FLOAT_EQ(item.vertices[0].x, static_cast<float>(direction) * 0.03125f);

    const TriangleBatch& shadow = g_tri_batches[ANIM_SPRITE_SHADOW_BATCH];
    ASSERT_EQ(shadow.count, 2u);
    float min_x = 1e9f, max_x = -1e9f;
    for (std::uint32_t v = 0; v < 6; ++v) {
        const BatchVertex& corner = shadow.vertices[v];
        EXPECT_FLOAT_EQ(corner.y, p.shadow_height + DECAL_QUAD_LIFT);
        min_x = std::min(min_x, corner.x);
        max_x = std::max(max_x, corner.x);
    }
    EXPECT_FLOAT_EQ(min_x, p.position.x - p.shadow_radius);
    EXPECT_FLOAT_EQ(max_x, p.position.x + p.shadow_radius);
}

TEST_F(AnimSpriteTest, TheFacingChoosesTheDirectionSeenFromTheCamerasHeading)
{
    AnimSpriteParams p = params();
    std::vector<std::int32_t> directions;
    for (float facing : {0.0f, 1.5707964f, 3.1415927f}) {
        p.facing = facing;
        GoXx& object = make(p);
        draw(object);
        AniScript expected{};
        expected.image_archive = k_other_images;
        expected.SetFacing(facing);
        EXPECT_EQ(object.area<AnimSprite>().script->direction, expected.direction) << facing;
        directions.push_back(expected.direction);
    }
    std::sort(directions.begin(), directions.end());
    EXPECT_EQ(std::unique(directions.begin(), directions.end()), directions.end()) << "three directions";
}

TEST_F(AnimSpriteTest, OnlyDrawnFramesInViewQueueAnything)
{
    GoXx& shown = make();
    shown.Update(); // not a drawn frame
    EXPECT_TRUE(row_quads().empty());

    AnimSpriteParams behind = params();
    behind.position = D3DXVECTOR3(0.0f, 2.0f, -20.0f); // past the eye
    draw(make(behind));
    EXPECT_TRUE(row_quads().empty());
    EXPECT_EQ(g_tri_batches[ANIM_SPRITE_SHADOW_BATCH].count, 0u);

    // A sphere of radius 3 reaches into view from just behind the eye (the frame's height pulls
    // the centre 2 back from the position).
    AnimSpriteParams edge = params();
    edge.position = D3DXVECTOR3(0.0f, 2.0f, -9.0f);
    edge.offset = edge.height_offset = edge.foot_drop = edge.frame_value = 0.0f;
    draw(make(edge));
    EXPECT_EQ(row_quads().size(), 1u);
}

// A full shadow batch loses the shadow, not the sprite.
TEST_F(AnimSpriteTest, AFullShadowBatchStillDrawsTheSprite)
{
    TriangleBatch& shadow = g_tri_batches[ANIM_SPRITE_SHADOW_BATCH];
    shadow.count = shadow.capacity - 1;
    draw(make());
    EXPECT_EQ(row_quads().size(), 1u);
    EXPECT_EQ(shadow.count, shadow.capacity - 1);
    shadow.count = 0;
}

// Deleting the sprite frees its script, its frame textures and its quad block (the sanitiser
// reports a leak otherwise) and counts it off.
TEST_F(AnimSpriteTest, DeletionFreesItsBlocksAndCountsItOff)
{
    const std::int32_t live = g_goxx_live_count[GOXX_ANIM_SPRITE];
    for (int i = 0; i < 3; ++i)
        draw(make());
    EXPECT_EQ(g_goxx_live_count[GOXX_ANIM_SPRITE], live + 3);
    for (GoBase* object : pool_objects(g_pool_xx))
        go_kill(*object);
    obj_sweep_dead();
    EXPECT_EQ(g_pool_xx.count, 0);
    EXPECT_EQ(g_goxx_live_count[GOXX_ANIM_SPRITE], live);
}

} // namespace
