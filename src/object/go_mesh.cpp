#include "object/go_mesh.h"

#include <algorithm>

GoMesh::GoMesh() : GoBase(go_next_object_id(GO_CLASS_MESH), GO_CLASS_MESH)
{
    D3DXMatrixIdentity(&anim_instance.model_to_world);
}

void GoMesh::UpdateWorldMatrix()
{
    combined = rotation * world;
    identity = D3DXMatrixIsIdentity(&combined);
    // A mesh scaled to nothing has no inverse and keeps its last one.
    D3DXMatrixInverse(&combined_inverse, nullptr, &combined);
}

void GoMesh::SetMoveTarget(const D3DXVECTOR3& point, float arrival, float speed)
{
    move_target = point;
    arrival_distance = std::max(arrival, speed);
    move_speed = speed;
}
