#include "object_fixture.h"

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
