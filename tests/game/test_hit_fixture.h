// Map meshes made straight from the pool with collision models written by tools/lib/qco_writer,
// placed with a scale, a rotation and a position, for the world queries and the decals.
#pragma once

#include "game/g_hit.h"
#include "lib/qco_writer.h"
#include "object/object_fixture.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

struct Placement {
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 angles{0.0f, 0.0f, 0.0f}; // pitch, yaw, roll
    float scale = 1.0f;
};

// A square of half side h at height y, facing up.
inline std::vector<QcoTriangle> floor_at(float y, float h = 10.0f)
{
    return qco_quad({-h, y, -h}, {-h, y, h}, {h, y, h}, {h, y, -h});
}

// A wall across x at the given x, facing -x, from y -h to h and z -h to h.
inline std::vector<QcoTriangle> wall_x(float x, float h = 10.0f)
{
    return qco_quad({x, -h, -h}, {x, -h, h}, {x, h, h}, {x, h, -h});
}

// A wall across z at the given z, facing -z.
inline std::vector<QcoTriangle> wall_z(float z, float h = 10.0f)
{
    return qco_quad({-h, -h, z}, {-h, h, z}, {h, h, z}, {h, -h, z});
}

class WorldTest : public ObjectTest {
protected:
    // A mesh holding the triangles as each named set ("A", "AC" ...), collision on.
    GoMesh* add_mesh(const std::vector<QcoTriangle>& triangles, std::string_view sets = "ABC",
                     const Placement& at = {})
    {
        GoMesh* mesh = spawn(g_pool_mesh);
        EXPECT_NE(mesh, nullptr);
        const std::vector<std::uint8_t> bytes = qco_bytes(qco_image(triangles));
        for (char set : sets) {
            CollisionModel& model = set == 'A'   ? mesh->collision_a
                                    : set == 'B' ? mesh->collision_b
                                                 : mesh->collision_c;
            std::uint8_t& present = set == 'A'   ? mesh->has_collision_a
                                    : set == 'B' ? mesh->has_collision_b
                                                 : mesh->has_collision_c;
            EXPECT_EQ(coll_model_parse(model, bytes), S_OK);
            present = 1;
        }
        mesh->enabled = 1;
        place(*mesh, at);
        return mesh;
    }

    static void place(GoMesh& mesh, const Placement& at)
    {
        D3DXMATRIX scale;
        D3DXMATRIX spin;
        D3DXMatrixScaling(&scale, at.scale, at.scale, at.scale);
        D3DXMatrixRotationYawPitchRoll(&spin, at.angles.y, at.angles.x, at.angles.z);
        mesh.rotation = scale * spin;
        D3DXMatrixTranslation(&mesh.world, at.position.x, at.position.y, at.position.z);
        mesh.position = at.position;
        mesh.UpdateWorldMatrix();
    }
};
