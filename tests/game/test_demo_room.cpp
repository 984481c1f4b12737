#include "core/vfs.h"
#include "game/g_image_table.h"
#include "game/g_region.h"
#include "lib/demo_game_data.h"
#include "lib/demo_room.h"
#include "lib/demo_writer.h"
#include "lib/map_writer.h"
#include "scenegraph/coll_fixture.h"
#include "scenegraph/model.h"
#include "temp_folder.h"
#include "tick_fixture.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

namespace {

// ---- The room's collision: where one stands and what one walks into ----------------------------

class DemoRoomCollision : public CollisionTest {
protected:
    void SetUp() override
    {
        CollisionTest::SetUp();
        parse(qco_image(demo_room_collision()));
    }

    // The nearest hit of the segment, or FLT_MAX.
    float hit_distance(const Vec3& start, const Vec3& end)
    {
        g_coll_work_list.clear();
        SweepRecord segment = sweep_of(start, {end.x - start.x, end.y - start.y, end.z - start.z});
        coll_query_segment(root(), segment);
        Vec3 point{};
        float distance = FLT_MAX;
        CollisionTriangle* triangle = nullptr;
        coll_segment_nearest_hit(point, distance, triangle, segment);
        return triangle ? distance : FLT_MAX;
    }
    // The ground height below (x, z) looking down from 10 units up; NaN when there is none.
    float ground(float x, float z)
    {
        const float distance = hit_distance({x, 10.0f, z}, {x, -10.0f, z});
        return distance == FLT_MAX ? NAN : 10.0f - distance;
    }
};

TEST_F(DemoRoomCollision, TheFloorRampAndLedgeCarryOneWhereTheRoomPutsThem)
{
    const struct {
        const char* where;
        float x, z, height;
    } cases[] = {
        {"the arrival", DEMO_ARRIVAL[0], DEMO_ARRIVAL[2], 0.0f},
        {"the bucket", DEMO_BUCKET_POSITION[0], DEMO_BUCKET_POSITION[2], 0.0f},
        {"the save point", DEMO_SAVE_POSITION[0], DEMO_SAVE_POSITION[2], 0.0f},
        {"half way up the ramp", 5.0f, -10.0f, DEMO_LEDGE_HEIGHT / 2},
        {"the ledge", 10.0f, -8.0f, DEMO_LEDGE_HEIGHT},
        {"the doorway's step outside", 0.0f, DEMO_ROOM_HALF + 1.0f, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        EXPECT_NEAR(ground(c.x, c.z), c.height, 1e-4f);
    }
    EXPECT_TRUE(std::isnan(ground(0.0f, DEMO_ROOM_HALF + 5.0f))) << "nothing beyond the doorway";
}

TEST_F(DemoRoomCollision, WallsStopAWalkerExceptInTheDoorway)
{
    const float from_z = DEMO_ARRIVAL[2];
    const float to_wall = DEMO_ROOM_HALF - from_z;
    const struct {
        const char* where;
        Vec3 start, end;
        float distance; // FLT_MAX: passes
    } cases[] = {
        {"north beside the doorway", {5.0f, 1.0f, from_z}, {5.0f, 1.0f, 20.0f}, to_wall},
        {"north through the doorway", {0.0f, 1.0f, from_z}, {0.0f, 1.0f, 20.0f}, FLT_MAX},
        {"north under the lintel's top", {0.0f, 2.7f, from_z}, {0.0f, 2.7f, 20.0f}, to_wall},
        {"east", {0.0f, 1.0f, 0.0f}, {20.0f, 1.0f, 0.0f}, DEMO_ROOM_HALF},
        {"west", {0.0f, 1.0f, 0.0f}, {-20.0f, 1.0f, 0.0f}, DEMO_ROOM_HALF},
        {"south", {0.0f, 1.0f, 0.0f}, {0.0f, 1.0f, -20.0f}, DEMO_ROOM_HALF},
        {"into the ledge's face", {10.0f, 1.0f, 0.0f}, {10.0f, 1.0f, -20.0f}, 4.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        const float distance = hit_distance(c.start, c.end);
        if (c.distance == FLT_MAX)
            EXPECT_EQ(distance, FLT_MAX);
        else
            EXPECT_NEAR(distance, c.distance, 1e-4f);
    }
}

// ---- The camera records as the game's camera reads them ----------------------------------------

void expect_vec(const Vec3& got, const Vec3& want)
{
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.z, want.z);
}

CameraBlock camera_block_of(const MapCameraDesc& camera)
{
    const std::vector<std::uint8_t> bytes = map_camera_block(camera);
    CameraBlock block;
    EXPECT_EQ(bytes.size(), sizeof block);
    std::memcpy(&block, bytes.data(), sizeof block);
    return block;
}

// The eye of an orbit descriptor around the reference, as the camera places it.
D3DXVECTOR3 orbit_eye(const MapCameraPoint& eye, const D3DXVECTOR3& reference)
{
    const float yaw = -1.5707964f - eye.orbit_yaw;
    const float across = eye.orbit_distance * std::cos(eye.orbit_pitch);
    return {reference.x - std::cos(yaw) * across,
            reference.y + std::sin(eye.orbit_pitch) * eye.orbit_distance,
            reference.z + std::sin(yaw) * across};
}

// The writer's two point descriptors lie where the game's camera reads them: every field that
// the block carries comes back, and the eye is placed by the orbit it describes.
TEST(DemoRoomCameras, BlocksCarryTheirPointDescriptorsWhereTheCameraReadsThem)
{
    MapCameraDesc clamped;
    clamped.target = {.clamp_corner1 = {-1, -2, -3},
                      .clamp_corner2 = {4, 5, 6},
                      .clamp_centre = {7, 8, 9},
                      .clamp_heading = 0.25f,
                      .clamp = 1,
                      .mode = 0,
                      .fixed_point = {1.5f, 2.5f, 3.5f}};
    clamped.eye = {
        .mode = 3, .orbit_yaw = 0.75f, .orbit_pitch = 0.5f, .orbit_distance = 7.0f, .orbit_flags = 1};
    clamped.sticky = true;
    clamped.offset = {0.1f, 0.2f, 0.3f};
    clamped.view_angle = 0.8f;
    clamped.blend_rate = 0.04f;
    const CameraBlock block = camera_block_of(clamped);
    expect_vec(block.target.clamp_box.min, {-1, -2, -3});
    expect_vec(block.target.clamp_box.max, {4, 5, 6});
    expect_vec(block.target.clamp_centre, {7, 8, 9});
    EXPECT_EQ(block.target.clamp_heading, 0.25f);
    EXPECT_EQ(block.target.clamp, 1);
    EXPECT_EQ(block.target.mode, CAMERA_POINT_FIXED);
    expect_vec(block.target.fixed_point, {1.5f, 2.5f, 3.5f});
    EXPECT_EQ(block.eye.mode, CAMERA_POINT_ORBIT);
    EXPECT_EQ(block.eye.orbit_yaw, 0.75f);
    EXPECT_EQ(block.eye.orbit_pitch, 0.5f);
    EXPECT_EQ(block.eye.orbit_distance, 7.0f);
    EXPECT_EQ(block.eye.orbit_flags, 1);
    EXPECT_EQ(block.flags, 1u);
    expect_vec(block.offset, {0.1f, 0.2f, 0.3f});
    EXPECT_EQ(block.view_angle, 0.8f);
    EXPECT_EQ(block.blend_rate, 0.04f);
}

TEST(DemoRoomCameras, TheRampRegionLooksFromHigherThanTheOrbitBehindThePlayer)
{
    const std::vector<MapCameraDesc> cameras = *demo_room_map(demo_room_first_style()).cameras;
    ASSERT_EQ(cameras.size(), 2u);
    const D3DXVECTOR3 focus(DEMO_ARRIVAL[0], 1.0f, DEMO_ARRIVAL[2]);
    D3DXVECTOR3 eyes[2];
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const CameraBlock block = camera_block_of(cameras[i]);
        EXPECT_EQ(block.target.mode, CAMERA_POINT_FOLLOW);
        ASSERT_EQ(block.eye.mode, CAMERA_POINT_ORBIT);
        region_camera_point(block.eye, eyes[i], focus);
        const D3DXVECTOR3 expected = orbit_eye(cameras[i].eye, focus);
        EXPECT_NEAR(eyes[i].x, expected.x, 1e-4f);
        EXPECT_NEAR(eyes[i].y, expected.y, 1e-4f);
        EXPECT_NEAR(eyes[i].z, expected.z, 1e-4f);
    }
    EXPECT_LT(eyes[0].z, focus.z) << "region 0's eye is behind a player facing the doorway";
    EXPECT_NEAR(eyes[0].x, focus.x, 1e-4f);
    EXPECT_GT(eyes[1].y, eyes[0].y + 2.0f) << "region 1 looks from higher";
}

// ---- Which files a map set writes -------------------------------------------------------------

// Loaders tell a missing file from an empty one, so the writer keeps them apart: a list left
// unset writes no file, a list given (even with no records) a file with its header.
TEST(MapWriter, WritesAFileForEachListGivenAndNoneForTheOthers)
{
    MapSet map{.scene_path = "s_11\\s_1112\\", .stem = "s_1112"};
    map.objects = {{.model_path = "data\\map\\a.qmo"}};
    map.fog = std::vector<MapFogDesc>{};
    std::vector<ArchiveSource> files;
    map_set_archive_files(map, files);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0].path, "data\\map\\s_11\\s_1112\\s_1112.sob.z");
    EXPECT_EQ(files[1].path, "data\\map\\s_11\\s_1112\\s_1112.sfo.z");
    EXPECT_EQ(map_fog_bytes({}).size(), MAP_HEADER_SIZE);
    EXPECT_EQ(map_objects_bytes(*map.objects).size(), MAP_HEADER_SIZE + MAP_OBJECT_SIZE);
    EXPECT_EQ(map_sbe_bytes(2).size(), MAP_HEADER_SIZE + 2 * MAP_SBE_SIZE);
}

// ---- The files as the game's loaders take them -------------------------------------------------

class DemoRoomFiles : public TickTest {
protected:
    void SetUp() override
    {
        TickTest::SetUp();
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), std::uint32_t(m_block.size()), nullptr, 0};
        std::vector<ArchiveSource> files = demo_game_files();
        for (ArchiveSource& shader : demo_shader_files(shader_file_names()))
            files.push_back(std::move(shader));
        vfs_close_all();
        ASSERT_TRUE(archive_write_set(m_data.path(), files, {}));
        vfs::Startup((m_data.windows() + "\\").c_str());
    }
    void TearDown() override
    {
        vfs_close_all();
        vfs::Startup((s_folder->windows() + "\\").c_str());
        g_work_block = m_saved_block;
        TickTest::TearDown();
    }

    // The model loads as the resource manager loads it and names its collision files, which load too.
    static void expect_model_with_collision(const std::string& path, bool set_c)
    {
        SCOPED_TRACE(path);
        Model model;
        ASSERT_EQ(model_load_file(model, path.c_str(), 0, 0), S_OK);
        EXPECT_FALSE(model.meshes.empty());
        const std::string folder = path.substr(0, path.rfind('\\') + 1);
        ASSERT_NE(model.header.collision_names[0][0], '\0') << "set A";
        EXPECT_EQ(model.header.collision_names[1][0], '\0') << "no set B";
        EXPECT_EQ(model.header.collision_names[2][0] != '\0', set_c) << "set C";
        for (const char* name : {model.header.collision_names[0], model.header.collision_names[2]}) {
            if (!*name) continue;
            CollisionModel collision;
            EXPECT_EQ(coll_model_load((folder + name + ".z").c_str(), collision), S_OK) << name;
            EXPECT_FALSE(collision.triangles.empty()) << name;
            coll_model_free(collision);
        }
        model_free(model);
    }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 22);
    WorkBlock m_saved_block{};
    WorkingDirectoryGuard m_directory;
    TempFolder m_data;
};

TEST_F(DemoRoomFiles, TheRoomAndItsPropsLoadWithTheirCollisionSets)
{
    expect_model_with_collision(std::string(DEMO_ROOM_MODEL) + ".z", true);
    expect_model_with_collision(std::string(DEMO_BUCKET_MODEL) + ".z", true);
    expect_model_with_collision(std::string(MAP_SAVE_POINT_MODEL) + ".z", true);
}

TEST_F(DemoRoomFiles, BothMapScenesHoldAllSevenMapFiles)
{
    for (const DemoRoomStyle& style : {demo_room_first_style(), demo_room_second_style()})
        for (const char* ext : {MAP_EXT_OBJECTS, MAP_EXT_EFFECTS, MAP_EXT_FOG, MAP_EXT_CAMERAS, MAP_EXT_EXITS,
                                MAP_EXT_CAST, MAP_EXT_SBE})
            EXPECT_NE(vfs_find(map_file_path(style.scene_path, style.stem, ext).c_str()), nullptr)
                << style.scene_path << ext;
}

// The props' ground shadows draw with the image of image-table entry 14, which the demo holds.
TEST_F(DemoRoomFiles, TheShadowImageIsTheOneTheImageTableNames)
{
    EXPECT_STREQ(g_texture_names[14].name, DEMO_SHADOW_IMAGE);
    EXPECT_NE(vfs_find(DEMO_SHADOW_IMAGE), nullptr);
}

// The title loads its map from disk by the path without ".z", its collision from the archive.
TEST_F(DemoRoomFiles, TheTitleMapIsALooseFileUnderTheDataFolder)
{
    TempFolder folder;
    ASSERT_TRUE(demo_write_title_map(folder.path()));
    std::filesystem::current_path(folder.path());
    EXPECT_EQ(vfs_find((std::string(DEMO_TITLE_MAP) + ".z").c_str()), nullptr) << "not in the archive";
    expect_model_with_collision(DEMO_TITLE_MAP, true);
}

} // namespace
