#include "game/g_region.h"

#include "scenegraph/model.h"

namespace {

Vec3 minus(const D3DXVECTOR3& point, const Vec3& centre)
{
    return {point.x - centre.x, point.y - centre.y, point.z - centre.z};
}

} // namespace

void region_shape_setup(RegionBase& region, const Vec3& centre, const Vec3& corner1, const Vec3& corner2,
                        float heading)
{
    region.shape = {{corner1, corner2}, centre, heading};
    math_box_normalize(region.shape.box);
}

bool region_shape_contains(const RegionShape& shape, const D3DXVECTOR3& point)
{
    return math_point_in_rotated_box(minus(point, shape.centre), shape.box, shape.heading);
}

float math_smooth01(float x)
{
    if (x <= 0.0f) return 0.0f;
    if (x >= 1.0f) return 1.0f;
    return math_ease(x);
}

void regions_alloc()
{
    region_entries_alloc();
    region_fogs_alloc();
    region_cameras_alloc();
}

void regions_free()
{
    region_camera_reset_all();
    region_entries_free();
    region_fogs_free();
    region_cameras_free();
}

void regions_reset_for_scene()
{
    region_camera_reset_all();
    if (RegionCamera* first = g_region_cameras.at(0); first && !first->used) {
        region_camera_alloc();
        first->Reset();
    }
    region_fogs_reset_all();
    if (RegionFog* first = g_region_fogs.at(0); first && !first->used) {
        region_fog_alloc();
        first->fog = k_fog_default;
    }
    region_entries_reset_all();
}
