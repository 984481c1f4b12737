#include "gfx/go_emotion.h"

#include "game/g_image_table.h"
#include "test_popup_fixture.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

class EmotionTest : public OverlayTickTest {
protected:
    GoEmotion& make_icon(std::uint32_t kind, float height_offset = 0.5f)
    {
        GoEmotion* icon = obj_create<GoEmotion>(g_pool_emotion);
        EXPECT_NE(icon, nullptr);
        icon->owner = ObjHandle<GoActor>(m_actor);
        icon->kind = kind;
        icon->height_offset = height_offset;
        return *icon;
    }

    void run_ticks(std::uint32_t count)
    {
        for (std::uint32_t i = 0; i < count; ++i)
            step();
    }

    // Whole ticks until the icon is dead; 0 when it still lives after `limit`.
    std::uint32_t ticks_to_death(const GoEmotion& icon, std::uint32_t limit = 200)
    {
        for (std::uint32_t tick = 1; tick <= limit; ++tick) {
            step();
            if (icon.flags & GO_FLAG_DEAD) return tick;
        }
        return 0;
    }
};

} // namespace

// Each kind plays its frame list, the last entry held: the cell shown at a whole tick, and the
// quad cut from that cell of the 8 x 2 grid. A kind past the table plays as the last one.
TEST_F(EmotionTest, PlaysItsKindsFrames)
{
    struct Case {
        std::uint32_t kind;
        std::uint32_t tick;
        int cell;
    };
    const Case cases[] = {
        {0, 1, 2},   {0, 9, 2},   {0, 10, 3},  {0, 14, 3},  {0, 15, 4},  {0, 19, 4},  {0, 20, 5},
        {0, 84, 5},  {1, 11, 0},  {1, 12, 1},  {1, 24, 0},  {1, 83, 0},  {1, 84, 1},  {2, 9, 8},
        {2, 10, 9},  {2, 74, 9},  {3, 4, 10},  {3, 5, 11},  {3, 15, 13}, {3, 24, 13}, {3, 25, 10},
        {3, 59, 11}, {3, 60, 12}, {3, 65, 13}, {7, 24, 13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "kind " << c.kind << " tick " << c.tick);
        GoEmotion& icon = make_icon(c.kind);
        icon.tick_counter = c.tick - 1;
        step();
        ASSERT_EQ(icon.tick_counter, c.tick);
        EXPECT_EQ(icon.Cell(), c.cell);
        const float left = static_cast<float>(c.cell % 8) * 0.125f;
        const float top = static_cast<float>(c.cell / 8) * 0.5f;
        EXPECT_EQ(icon.quad[0].u, left);
        EXPECT_EQ(icon.quad[0].v, top);
        EXPECT_EQ(icon.quad[3].u, left + 0.125f);
        EXPECT_EQ(icon.quad[3].v, top + 0.5f);
        kill(icon);
        obj_sweep_dead();
    }
}

// The quad is 0.75 square standing on the icon's position, its centre at the kind's x offset, in
// strip order (the left edge top to bottom, then the right edge) with the cell's top at the top.
TEST_F(EmotionTest, BuildsItsQuadAtTheKindsOffset)
{
    for (const auto& [kind, centre] :
         {std::pair{0u, 0.375f}, std::pair{1u, 0.375f}, std::pair{2u, 0.0f}, std::pair{3u, 0.0f}}) {
        SCOPED_TRACE(kind);
        GoEmotion& icon = make_icon(kind);
        step();
        const float left = centre - 0.375f;
        const float right = centre + 0.375f;
        const float corners[4][2] = {{left, 0.75f}, {left, 0.0f}, {right, 0.75f}, {right, 0.0f}};
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(icon.quad[i].x, corners[i][0]);
            EXPECT_EQ(icon.quad[i].y, corners[i][1]);
            EXPECT_EQ(icon.quad[i].z, 0.0f);
        }
        EXPECT_LT(icon.quad[0].v, icon.quad[1].v);
        EXPECT_EQ(icon.quad[0].u, icon.quad[1].u);
        EXPECT_LT(icon.quad[0].u, icon.quad[2].u);
    }
}

// An icon fades in over 15 ticks, holds, fades out over 25 ticks after its hold time and dies at
// the hold time + 25: kind 2 at tick 75, the others at 85.
TEST_F(EmotionTest, FadesAndDiesAfterItsHoldTime)
{
    for (const auto& [kind, death] : {std::pair{0u, 85u}, std::pair{1u, 85u}, std::pair{2u, 75u},
                                      std::pair{3u, 85u}, std::pair{9u, 85u}}) {
        SCOPED_TRACE(kind);
        GoEmotion& icon = make_icon(kind);
        EXPECT_EQ(icon.FullDuration(), death);
        step();
        EXPECT_FLOAT_EQ(icon.fade, 1.0f / 15);
        run_ticks(13);
        EXPECT_FLOAT_EQ(icon.fade, 14.0f / 15);
        run_ticks(1);
        EXPECT_EQ(icon.fade, 1.0f);
        run_ticks(death - 25 - 15);
        EXPECT_EQ(icon.fade, 1.0f) << "the last tick of the hold";
        run_ticks(1);
        EXPECT_FLOAT_EQ(icon.fade, 24.0f / 25);
        run_ticks(23);
        EXPECT_FLOAT_EQ(icon.fade, 1.0f / 25);
        EXPECT_FALSE(icon.flags & GO_FLAG_DEAD);
        run_ticks(1);
        EXPECT_EQ(icon.tick_counter, death);
        EXPECT_TRUE(icon.flags & GO_FLAG_DEAD);
        EXPECT_EQ(icon.hit_shape.class_bits & HIT_ACTIVE, 0u);
        obj_sweep_dead();
    }
}

// A bubble replaced by a new one of its owner has its counter set to the full duration or past
// it: the next whole tick ends it, whatever the kind, and nothing of it is queued.
TEST_F(EmotionTest, ACounterAtOrPastTheEndEndsTheIcon)
{
    for (std::uint32_t past : {0u, 1u, 500u}) {
        GoEmotion& icon = make_icon(2);
        step();
        icon.tick_counter = icon.FullDuration() + past;
        step();
        EXPECT_TRUE(icon.flags & GO_FLAG_DEAD) << past;
        EXPECT_TRUE(queued_quads().empty());
        obj_sweep_dead();
    }
}

// On drawn steps the icon faces the camera 0.75 + its height offset above its owner and queues
// its quad in row 13: the draw serial as key0, the squared eye distance x 10000 as key1,
// material 65, the emotion image and its four vertices in white under the fade's alpha.
TEST_F(EmotionTest, QueuesItsQuadInRow13)
{
    IDirect3DTexture8* image = nullptr;
    ASSERT_EQ(g_d3d_device->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &image), D3D_OK);
    g_texture_handles[EMOTION_IMAGE] = image;
    GoEmotion& first = make_icon(0, 0.5f);
    GoEmotion& second = make_icon(2, 1.0f);
    step();
    g_texture_handles[EMOTION_IMAGE] = nullptr;

    const std::vector<const RqQuadItem*> items = queued_quads();
    ASSERT_EQ(items.size(), 2u);
    for (const auto& [icon, item, lift] :
         {std::tuple{&first, items[0], 1.25f}, std::tuple{&second, items[1], 1.75f}}) {
        const D3DXVECTOR3 at(1.0f, 2.0f + lift, 3.0f);
        const D3DXVECTOR3 to_eye = g_camera_state.eye - at;
        EXPECT_TRUE(same_matrix(icon->world, billboard_at(at)));
        EXPECT_EQ(item->header.key1, rq_depth_key(D3DXVec3LengthSq(&to_eye)));
        EXPECT_EQ(item->material, 65u);
        EXPECT_EQ(item->world, &icon->world);
        EXPECT_EQ(item->texture, image);
        EXPECT_EQ(item->vertices, icon->quad);
        for (const QuadVertex& vertex : icon->quad)
            EXPECT_EQ(vertex.diffuse, 17u << 24 | 0xFFFFFF) << "1/15 of 256";
    }
    EXPECT_EQ(items[0]->header.key0, RQ_SERIAL_START);
    EXPECT_EQ(items[1]->header.key0, RQ_SERIAL_START + 1);
    image->Release();

    step(2);
    EXPECT_EQ(queued_quads().size(), 2u) << "only the frame's first step queues";
}

// The owner is followed while its handle holds it, dead or not; once the sweep has deleted it
// the icon stays where it was, also when a new actor takes the freed slot.
TEST_F(EmotionTest, FollowsItsOwnerUntilTheSweepDeletesIt)
{
    GoEmotion& icon = make_icon(1, 0.25f);
    step();
    EXPECT_EQ(position(icon), D3DXVECTOR3(1.0f, 3.0f, 3.0f));

    kill(*m_actor);
    place(*m_actor, D3DXVECTOR3(-4.0f, 0.0f, 5.0f));
    step();
    EXPECT_EQ(position(icon), D3DXVECTOR3(-4.0f, 1.0f, 5.0f));

    obj_sweep_dead();
    ASSERT_FALSE(icon.owner);
    GoActor* reuser = spawn(g_pool_actor);
    ASSERT_EQ(reuser, m_actor);
    place(*reuser, D3DXVECTOR3(9.0f, 9.0f, 9.0f));
    step();
    EXPECT_EQ(position(icon), D3DXVECTOR3(-4.0f, 1.0f, 5.0f));
}

// While the world is paused the icon neither follows, counts, animates nor fades, but it is still
// queued on drawn steps; with the camp menu open it is hidden with the world, and after it closes
// the icon goes on from where it stood.
TEST_F(EmotionTest, PausesWithTheWorldAndHidesBehindTheCampMenu)
{
    GoEmotion& icon = make_icon(0, 0.0f);
    run_ticks(9);
    place(*m_actor, D3DXVECTOR3(7.0f, 7.0f, 7.0f));

    update_paused_and_drawn(icon);
    EXPECT_EQ(position(icon), D3DXVECTOR3(1.0f, 2.75f, 3.0f));
    EXPECT_EQ(icon.tick_counter, 9u);
    EXPECT_EQ(icon.Cell(), 2);
    EXPECT_FLOAT_EQ(icon.fade, 9.0f / 15);
    EXPECT_EQ(queued_quads().size(), 1u);

    g_menu_open = MENU_OPEN_CAMP;
    run_ticks(3);
    EXPECT_EQ(icon.tick_counter, 9u);
    EXPECT_TRUE(queued_quads().empty());

    g_menu_open = 0;
    step();
    EXPECT_EQ(icon.tick_counter, 10u);
    EXPECT_EQ(icon.Cell(), 3);
    EXPECT_EQ(position(icon), D3DXVECTOR3(7.0f, 7.75f, 7.0f));
    EXPECT_EQ(queued_quads().size(), 1u);
}
