#include "doubles/world_fixture.h"

#include "lib/demo_writer.h"
#include "lib/packed_writer.h"
#include "lowlv/d3d/d3d_shader.h"
#include "object/actor/go_actor.h"

namespace {

constexpr std::int32_t WORLD_ACTOR_KIND = 1;

} // namespace

ArchiveSource world_model_file(const std::string& path, const QmoImage& image)
{
    return {path + ".z", packed_build(qmo_bytes(image))};
}

std::vector<ArchiveSource> world_map_mesh_files(std::vector<MapObjectDesc> records)
{
    for (MapObjectDesc& record : records)
        if (record.model_path.empty()) record.model_path = WORLD_MESH_MODEL;
    MapSet map{.scene_path = scn_data_scene(g_play_state.scene_id).path, .stem = WORLD_MAP_STEM};
    map.objects = std::move(records);
    std::vector<ArchiveSource> files;
    map_set_archive_files(map, files);
    return files;
}

std::vector<ArchiveSource> world_archive_files(std::span<const ArchiveSource> test_files)
{
    std::vector<ArchiveSource> files = demo_shader_files(shader_file_names());
    const std::vector<ArchiveSource> actor_files = actor_test_files();
    files.insert(files.end(), actor_files.begin(), actor_files.end());
    files.insert(files.end(), test_files.begin(), test_files.end());
    return files;
}

GoActor& world_add_actor(const WorldActor& desc)
{
    GoActor* actor = obj_create<GoActor>(g_pool_actor);
    EXPECT_NE(actor, nullptr);
    actor_setup(*actor, desc.key, WORLD_ACTOR_KIND, desc.spawn_type, ACTOR_TEST_SCRIPT_SET, desc.cast);
    actor_set_position(desc.position, *actor, 0.0f);
    if (desc.player) g_player = g_camera_focus = actor;
    return *actor;
}
