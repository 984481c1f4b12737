#include "object_fixture.h"

#include "core/timer.h"
#include "game/g_tick.h"

#include <gtest/gtest.h>

namespace {

using MapMesh = ObjectTest;

void expect_identity(const D3DXMATRIX& m)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(m(r, c), r == c ? 1.0f : 0.0f, 1e-5f) << r << "," << c;
}

} // namespace

// The identity flag lets the world queries skip the mesh's transforms, so it must hold only
// while the combined matrix is exactly the identity.
TEST_F(MapMesh, WorldMatrixCombinesRotationAndPositionAndKnowsTheIdentity)
{
    GoMesh* mesh = spawn(g_pool_mesh);
    mesh->UpdateWorldMatrix();
    EXPECT_EQ(mesh->identity, 1);

    D3DXMatrixTranslation(&mesh->world, 4.0f, -2.0f, 7.5f);
    D3DXMATRIX spin;
    D3DXMatrixRotationYawPitchRoll(&spin, 0.5f, 0.25f, -1.0f);
    D3DXMATRIX scale;
    D3DXMatrixScaling(&scale, 2.0f, 2.0f, 2.0f);
    mesh->rotation = scale * spin;
    mesh->UpdateWorldMatrix();
    EXPECT_EQ(mesh->identity, 0);
    EXPECT_TRUE(mesh->combined == mesh->rotation * mesh->world);
    expect_identity(mesh->combined * mesh->combined_inverse);

    D3DXMatrixIdentity(&mesh->world);
    D3DXMatrixIdentity(&mesh->rotation);
    mesh->UpdateWorldMatrix();
    EXPECT_EQ(mesh->identity, 1);
}

// The arrival distance is never below the speed, so a move cannot step over its target.
TEST_F(MapMesh, MoveTargetKeepsTheLargerOfArrivalAndSpeed)
{
    const struct {
        float arrival;
        float speed;
        float kept;
    } cases[] = {{0.5f, 0.1f, 0.5f}, {0.01f, 0.3f, 0.3f}, {0.0f, 0.0f, 0.0f}};
    GoMesh* mesh = spawn(g_pool_mesh);
    for (const auto& c : cases) {
        mesh->SetMoveTarget(D3DXVECTOR3(1.0f, 2.0f, 3.0f), c.arrival, c.speed);
        EXPECT_EQ(mesh->arrival_distance, c.kept);
        EXPECT_EQ(mesh->move_speed, c.speed);
        EXPECT_EQ(mesh->move_target.z, 3.0f);
    }
}

// Bosses and the actors standing on a platform read how far a mesh went this tick; a mesh that
// was only placed has not moved, and its own update ends the tick's move.
TEST_F(MapMesh, TheMoverLeavesTheMoveDeltaAndTheMovedFlagForTheRestOfTheTick)
{
    GoMesh* mesh = obj_create<GoMesh>(g_pool_mesh);
    ASSERT_NE(mesh, nullptr);
    mesh->UpdateWorldMatrix();
    mesh->Update();
    EXPECT_EQ(mesh->moved, 0);
    EXPECT_EQ(mesh->identity, 1);

    const std::uint8_t saved_paused = g_paused;
    const float saved_step = g_frame_step;
    g_paused = 0;
    g_frame_step = 1.0f;
    mesh->SetMoveTarget(D3DXVECTOR3(3.0f, 0.0f, 4.0f), 0.01f, 1.0f);
    game_step_mesh_move(*mesh);
    EXPECT_EQ(mesh->moved, 1);
    EXPECT_EQ(mesh->identity, 0);
    EXPECT_NEAR(mesh->move_delta.x, 0.6f, 1e-6f);
    EXPECT_NEAR(mesh->move_delta.z, 0.8f, 1e-6f);

    // A second move in the same tick (a boss placing it) adds to the delta.
    mesh->world._42 += 2.0f;
    mesh->UpdateWorldMatrix();
    EXPECT_NEAR(mesh->move_delta.y, 2.0f, 1e-6f);
    EXPECT_NEAR(mesh->move_delta.x, 0.6f, 1e-6f);

    mesh->Update();
    EXPECT_EQ(mesh->moved, 0);
    EXPECT_TRUE(mesh->move_delta == D3DXVECTOR3(0.0f, 0.0f, 0.0f));

    // Only a turn: moved, with no change of position.
    mesh->spin_speeds = D3DXVECTOR3(0.0f, 10.0f, 0.0f);
    mesh->arrival_distance = 0.0f;
    game_step_mesh_move(*mesh);
    EXPECT_EQ(mesh->moved, 1);
    EXPECT_TRUE(mesh->move_delta == D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    g_paused = saved_paused;
    g_frame_step = saved_step;
}

// Live entries count down to 0 and stay there; a negative count is never run past the
// smallest int.
TEST_F(MapMesh, TheHitOnceListCountsDownAndStopsAtZero)
{
    GoMesh* mesh = spawn(g_pool_mesh);
    mesh->hit_once = mesh->hit_once_entries;
    mesh->hit_once_count = MESH_HIT_ONCE_ENTRIES;
    mesh->hit_once_entries[0] = {7, 2};
    mesh->hit_once_entries[1] = {8, 1};
    mesh->hit_once_entries[2] = {9, -3};
    const std::int32_t expected[][3] = {{1, 0, -3}, {0, 0, -3}, {0, 0, -3}};
    for (const auto& left : expected) {
        combat_tick_hit_once_list(*mesh);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(mesh->hit_once_entries[i].ticks_left, left[i]) << i;
    }
    EXPECT_EQ(mesh->hit_once_entries[0].attack_id, 7u);
    for (int i = 3; i < MESH_HIT_ONCE_ENTRIES; ++i)
        EXPECT_EQ(mesh->hit_once_entries[i].ticks_left, 0);

    // Without a list nothing is touched.
    mesh->hit_once = nullptr;
    combat_tick_hit_once_list(*mesh);
}

TEST(MapMeshSpecialBits, TheNamedMapObjectsAreFoundInAnyCase)
{
    const struct {
        const char* path;
        std::uint32_t bits;
    } cases[] = {
        {"data\\map\\mapobj\\ironball_00\\ironball_00.qmo", MESH_IRON_BALL},
        {"DATA\\Map\\MapObj\\IRONBALL_00\\IronBall_00.QMO", MESH_IRON_BALL},
        {"data\\map\\mapobj\\bucket_00\\bucket_00.qmo", MESH_BUCKET},
        {"data\\map\\mapobj\\Bucket_16\\bucket_16.qmo", MESH_BUCKET},
        {"data\\map\\mapobj\\bucket_24\\BUCKET_24.qmo", MESH_BUCKET},
        {"data\\map\\mapobj\\bucket_32\\bucket_32.qmo", MESH_BUCKET},
        {"data\\map\\mapobj\\foothold_01\\foothold_01.qmo", MESH_FOOTHOLD},
        {"data\\map\\mapobj\\roll_edge\\roll_edge.qmo", MESH_ROLLING_EDGE},
        {"data\\map\\mapobj\\ROLL_EDGE2\\roll_edge2.qmo", MESH_ROLLING_SPIKES},
        {"data\\map\\mapobj\\bucket_01\\bucket_01.qmo", 0},
        {"data\\map\\mapobj\\foothold_00\\foothold_00.qmo", 0},
        {"data\\map\\mapobj\\save_00\\save_00.qmo", 0},
        {"data\\map\\s_11\\s_1112\\bucket_00.qmo", 0},
        {"data\\map\\mapobj\\bucket_00\\bucket_00.qmo.z", 0},
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mesh_special_bits(c.path), c.bits) << c.path;
}
