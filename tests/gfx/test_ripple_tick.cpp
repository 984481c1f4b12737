#include "gfx/g_ripple.h"

#include "game/tick_fixture.h"

#include <gtest/gtest.h>

namespace {

using RippleTick = TickTest;

} // namespace

// The ripples age after the particles' walk and queue their item on the drawn step; an open camp
// menu pauses and hides the world, so they neither age nor show.
TEST_F(RippleTick, RipplesAgeAfterTheParticlesAndHideBehindTheCampMenu)
{
    Ripple* ring = ripple_spawn_ring(D3DXVECTOR3(0.0f, 0.0f, 0.0f), 1.0f);
    ASSERT_NE(ring, nullptr);
    spawn(g_pool_particle);
    float age_seen_by_particle = -1.0f;
    m_on_update = [&](GoBase& object) {
        if (object.class_code == GO_CLASS_PARTICLE) age_seen_by_particle = ring->age;
    };
    step();
    EXPECT_EQ(age_seen_by_particle, 0.0f);
    EXPECT_EQ(ring->age, 1.0f);
    ASSERT_EQ(g_rq_rows[RIPPLE_ROW].used, RQ_SIZE_CALLBACK);
    EXPECT_EQ(reinterpret_cast<const RqCallbackItem*>(g_rq_rows[RIPPLE_ROW].buffer.get())->callback,
              &ripple_draw_cb);

    step(2);
    EXPECT_EQ(ring->age, 2.0f);
    EXPECT_EQ(g_rq_rows[RIPPLE_ROW].used, RQ_SIZE_CALLBACK) << "only the frame's first step queues";

    g_menu_open = MENU_OPEN_CAMP;
    step();
    EXPECT_EQ(ring->age, 2.0f);
    EXPECT_EQ(g_rq_rows[RIPPLE_ROW].used, 0u);
}
