#include "game/g_scene_map.h"

#include "core/sys.h"
#include "game/g_rules.h"
#include "game/g_scene.h"
#include "gfx/eft_new.h"
#include "gfx/go_effect.h"
#include "lib/le_bytes.h"
#include "lib/map_writer.h"
#include "lib/packed_writer.h"
#include "lib/qmo_writer.h"
#include "lib/script_assembler.h"
#include "lib/sky_writer.h"
#include "object/actor/go_actor.h"
#include "object/go_mesh.h"
#include "object/go_skybox.h"
#include "object/obj_pools.h"
#include "object/xx/go_xx.h"
#include "scene_fixture.h"
#include "scenegraph/model.h"
#include "thrown_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;

constexpr const char* k_scene = "s_10\\s_1010\\"; // SCENE_TEST_ROOM
constexpr const char* k_stem = "room";
constexpr const char* k_box_model = "data\\map\\s_10\\s_1010\\box.qmo";
constexpr const char* k_sky_object = "data\\map\\s_10\\s_1010\\sky.qmo";
constexpr const char* k_bucket_model = "DATA\\Map\\MapObj\\Bucket_16\\BUCKET_16.QMO";
constexpr std::int32_t k_person_cast = 25; // a cast the test adds to the demo's table
constexpr std::int32_t k_enemy_cast = 14;
constexpr float k_pi = std::numbers::pi_v<float>;

ArchiveSource model_file(const std::string& path)
{
    return {path + ".z", packed_build(qmo_bytes(qmo_box(0.5f)))};
}

MapObjectDesc mesh_at(const std::string& name, float x, const std::string& path = k_box_model)
{
    return {.model_path = path, .position = {x, 0.0f, 2.0f}, .name = name};
}

MapCastDesc cast_at(const std::string& name, float x)
{
    return {.cast_name = name, .position = {x, 0.0f, 1.0f}};
}

// Three fog records with a header field changed, or cut to a size.
std::vector<std::uint8_t> fog_image_patched(std::size_t offset, std::uint32_t value)
{
    std::vector<std::uint8_t> image = map_fog_bytes(std::vector<MapFogDesc>(3));
    le_patch_u32(image, offset, value);
    return image;
}

std::vector<std::uint8_t> fog_image_cut(std::size_t size)
{
    std::vector<std::uint8_t> image = map_fog_bytes(std::vector<MapFogDesc>(3));
    image.resize(size);
    return image;
}

std::vector<GoActor*> actors_of_cast(std::int32_t cast)
{
    std::vector<GoActor*> found;
    for (std::int32_t i = 0; i < g_pool_actor.count; ++i) {
        auto* actor = static_cast<GoActor*>(g_pool_actor.active[i]);
        if (actor->cast == cast) found.push_back(actor);
    }
    return found;
}

class MapLoad : public SceneTest {
protected:
    void SetUp() override
    {
        SceneTest::SetUp();
        model_register_loader();
        play_state_init();
    }
    // The models go before the device does.
    void TearDown() override
    {
        obj_destroy_all();
        eft_free_list();
        ResrcMgr::Shutdown();
        resrc_set_loader(RESRC_POOL_MODEL, {nullptr, nullptr});
        SceneTest::TearDown();
    }

    // The map's files with the box and bucket models into the archive, the scene current and its
    // regions reset as a scene change leaves them.
    void load(const MapSet& map, std::vector<ArchiveSource> extra = {})
    {
        std::vector<ArchiveSource> files = {model_file(k_box_model), model_file(k_bucket_model),
                                            model_file(MAP_SAVE_POINT_MODEL)};
        map_set_archive_files(map, files);
        for (ArchiveSource& file : extra)
            files.push_back(std::move(file));
        mount(scene_test_set(), files);
        g_play_state.scene_id = SCENE_TEST_ROOM;
        regions_reset_for_scene();
        add_person_cast();
    }

    static MapSet map() { return {.scene_path = k_scene, .stem = k_stem}; }

    // Cast 25 (a person) and an enemy cast whose spawn type makes its hit shape an enemy's; all
    // animate with the hero's script set, the one the demo's sprites hold.
    static void add_person_cast()
    {
        for (CastInfo& cast : g_castinfo)
            cast.script_set = g_castinfo.at(ACTOR_CAST_HERO).script_set;
        CastInfo person = g_castinfo.at(0);
        std::snprintf(person.name, sizeof person.name, "CAST_P%02d", k_person_cast);
        person.cast_number = k_person_cast;
        g_castinfo.resize(k_person_cast);
        g_castinfo.push_back(person);
        g_castinfo.at(k_enemy_cast).spawn_type = ACTOR_SPAWN_ENEMY;
    }

    static bool work_block_free() { return g_work_block.owner == nullptr; }
};

} // namespace

// ---- Angles -----------------------------------------------------------------------------------------
TEST(SceneAngles, CompassDegreesBecomeFacingsInSixtyFourBits)
{
    const auto expected = [](std::int64_t a) {
        std::int64_t b = ((90 - a) % 360 + 360) % 360;
        if (b >= 180) b -= 360;
        return static_cast<float>(b) * 0.017453292f;
    };
    const struct {
        std::int32_t degrees;
        float facing;
    } cases[] = {{90, 0.0f}, {0, k_pi / 2}, {180, -k_pi / 2}, {270, -k_pi}, {450, 0.0f}, {-90, -k_pi}};
    for (const auto& c : cases)
        EXPECT_EQ(scene_angle_from_compass(c.degrees), c.facing) << c.degrees;
    for (std::int32_t degrees : {INT_MIN, INT_MIN + 1, INT_MAX, INT_MAX - 89, -361, 359})
        EXPECT_EQ(scene_angle_from_compass(degrees), expected(degrees)) << degrees;
}

TEST(SceneAngles, MinusOneAndThreeSixtyDrawAMultipleOfFortyFiveUpTo270)
{
    for (std::int32_t degrees : {-1, 360})
        for (int i = 0; i < 50; ++i) {
            const float facing = scene_angle_from_compass(degrees);
            const float steps = facing / (45.0f * 0.017453292f);
            EXPECT_NEAR(steps, std::round(steps), 1e-4f);
            EXPECT_GE(steps, -0.001f);
            EXPECT_LE(steps, 6.001f);
        }
}

TEST(SceneAngles, WrapKeepsAnglesBelowOneEighty)
{
    const struct {
        float degrees;
        float wrapped;
    } cases[] = {{90.0f, 90.0f}, {180.0f, -180.0f}, {190.0f, -170.0f}, {720.0f, 0.0f}, {-190.0f, -190.0f}};
    for (const auto& c : cases)
        EXPECT_FLOAT_EQ(scene_angle_wrap(c.degrees), c.wrapped * 0.017453292f) << c.degrees;
}

// ---- Opening ----------------------------------------------------------------------------------------
TEST_F(MapLoad, HeaderFaultsAreFatalWithTheirCodeLineAndPath)
{
    const struct {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* text;
    } cases[] = {
        {"magic", fog_image_patched(0, map_magic("SOB")),
         "(80ff0001h)\r\n->data\\map\\s_10\\s_1010\\room.sfo.z\ng_scene(723)"},
        {"version", fog_image_patched(4, 1),
         "(80ff0003h)\r\n->data\\map\\s_10\\s_1010\\room.sfo.z\ng_scene(726)"},
        {"record size", fog_image_patched(8, 63),
         "(80ff0002h)\r\n->data\\map\\s_10\\s_1010\\room.sfo.z\ng_scene(729)"},
        {"records short", fog_image_cut(MAP_HEADER_SIZE + 3 * MAP_FOG_SIZE - 1), "(80ff0006h)"},
        {"count past the data", fog_image_patched(12, 0x80000000u),
         "(80ff0006h)\r\n->data\\map\\s_10\\s_1010\\room.sfo.z"},
        {"header short", fog_image_cut(10), "(80ff0006h)"},
    };
    for (const auto& c : cases) {
        load(map(), {map_file(k_scene, k_stem, MAP_EXT_FOG, c.bytes)});
        EXPECT_THAT(thrown_text([] { scene_load_fog(k_stem); }), HasSubstr(c.text)) << c.name;
        EXPECT_TRUE(work_block_free()) << c.name;
    }
}

TEST_F(MapLoad, OnlyTheObjectsAndCamerasAreRequired)
{
    load(map());
    EXPECT_THAT(thrown_text([] { scene_load_objects(k_stem); }),
                HasSubstr("(80ff0009h)\r\n->data\\map\\s_10\\s_1010\\room.sob.z\ng_scene(717)"));
    EXPECT_THAT(thrown_text([] { scene_load_cameras(k_stem); }), HasSubstr("room.scm.z\ng_scene(717)"));
    for (auto loader :
         {scene_load_effects, scene_load_fog, scene_load_exits, scene_load_cast, scene_load_sbe})
        EXPECT_EQ(loader(k_stem), S_OK);
    EXPECT_EQ(g_region_fogs.count, 1);
    EXPECT_EQ(g_region_entries.count, 0);
    EXPECT_EQ(g_pool_actor.count, 0);
    EXPECT_TRUE(work_block_free());
}

// Every file through its writer and its loader, run by the script commands 40-46.
TEST_F(MapLoad, TheScriptCommandsLoadEveryFile)
{
    MapSet set = map();
    set.objects = {{.model_path = k_box_model,
                    .position = {1.0f, 2.0f, 3.0f},
                    .rotation = {0.0f, 0.5f, 0.0f},
                    .scale = {1.0f, 2.0f, 3.0f},
                    .name = "crate",
                    .options = 0x4,
                    .hp = 40,
                    .attack = 7,
                    .hit_radius = 0.5f,
                    .hit_offset = {0.0f, 1.0f, 0.0f},
                    .hit_half_height = 0.25f,
                    .hit_cylinder = 1,
                    .second_name = "lid"},
                   {.model_path = k_sky_object, .kind = 2}};
    set.effects = {{.effect_id = 3, .position = {1.0f, 0.0f, 0.0f}}};
    set.fog = {{.colour = 0x00FF8000, .region_flag = 1}, {.centre = {4.0f, 0.0f, 0.0f}, .fog_near = 5.0f}};
    set.cameras = {{.sticky = true, .centre = {0.0f, 0.0f, 9.0f}, .heading = 0.25f}};
    set.exits = {{.arrival_tag = "west",
                  .centre = {0.0f, 0.0f, -6.0f},
                  .destination = "s_20/s_2003",
                  .arrival_position = {3.0f, 0.0f, 4.0f},
                  .arrival_facing = 0,
                  .box_heading = 90,
                  .entry_value = 2,
                  .pit = 1,
                  .exit_kind = 1}};
    set.cast = {{.cast_name = "CAST_P01",
                 .facing = 180,
                 .position = {5.0f, 0.0f, 5.0f},
                 .actor_key = 300,
                 .wander_z_min = -1,
                 .wander_x_min = -2,
                 .wander_x_max = 3,
                 .wander_z_max = 4,
                 .stand_still = 1}};
    set.sbe_records = 2;
    std::string script;
    for (const char* command :
         {"FUNCID_MAP_OBJECTS", "FUNCID_MAP_EFFECTS", "FUNCID_MAP_FOG", "FUNCID_MAP_CAMERAS",
          "FUNCID_MAP_EXITS", "FUNCID_MAP_CAST", "FUNCID_MAP_SBE"})
        script += std::string("call ") + command + " \"" + k_stem + "\"\n";
    SkyFile sky;
    sky.scale = 321.0f;
    load(set, {{std::string("data\\map\\") + k_scene + "maps.xso.z",
                packed_build(sasm_assemble_or_throw(scene_test_script(script)))},
               sky_archive_file(sky_file_path(k_sky_object), sky)});
    ASSERT_NE(StartScript("maps", false, 0, nullptr, false), nullptr);

    GoMesh* mesh = scene_find_mesh("CRATE");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(mesh->position, D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    EXPECT_STREQ(mesh->second_name, "lid");
    EXPECT_EQ(mesh->status.max_hp, 40.0f);
    EXPECT_EQ(mesh->status.hp, 40.0f);
    EXPECT_EQ(mesh->status.atk, 7.0f);
    EXPECT_FLOAT_EQ(mesh->hit_shape.radius, 1.0f); // times the mean scale 2
    EXPECT_FLOAT_EQ(mesh->hit_shape.half_height, 0.5f);
    EXPECT_EQ(mesh->hit_shape.cylinder, 1);
    EXPECT_FLOAT_EQ(mesh->hit_offset.y, 2.0f);
    EXPECT_EQ(g_play_state.title_demo, 0);
    ASSERT_EQ(g_pool_skybox.count, 1);
    EXPECT_EQ(static_cast<GoSkyBox*>(g_pool_skybox.active[0])->scale, 321.0f);
    EXPECT_EQ(g_pool_mesh.count, 1);

    const RegionFog& fog0 = *g_region_fogs.at(0);
    EXPECT_FLOAT_EQ(fog0.fog.r, 1.0f);
    EXPECT_FLOAT_EQ(fog0.fog.g, 128.0f * 0.003921569f);
    EXPECT_EQ(fog0.fog.b, 0.0f);
    EXPECT_EQ(fog0.fog.rate, 0.02f);
    ASSERT_EQ(g_region_fogs.count, 2);
    EXPECT_EQ(g_region_fogs.at(1)->fog.fog_near, 5.0f);
    EXPECT_EQ(g_region_fogs.at(1)->sticky, 1); // record 0's flag
    EXPECT_EQ(g_region_fogs.at(1)->shape.centre.x, 4.0f);

    ASSERT_EQ(g_region_cameras.count, 1); // the scene change left region 0 to the first record
    EXPECT_EQ(g_region_cameras.at(0)->sticky, 1);
    EXPECT_EQ(g_region_cameras.at(0)->shape.centre.z, 9.0f);
    EXPECT_EQ(g_region_cameras.at(0)->shape.heading, 0.25f);

    ASSERT_EQ(g_region_entries.count, 1);
    const RegionEntry& exit = *g_region_entries.at(0);
    EXPECT_STREQ(exit.arrival.tag, "west");
    EXPECT_EQ(exit.destination_scene, scn_data_find_scene("s_20\\s_2003\\")->number);
    EXPECT_EQ(exit.arrival.position[2], 4.0f);
    EXPECT_EQ(exit.arrival.facing, k_pi / 2);
    EXPECT_EQ(exit.arrival.entry_value, 2);
    EXPECT_EQ(exit.pit, 1);
    EXPECT_EQ(exit.exit_kind, 1);
    EXPECT_FLOAT_EQ(exit.shape.heading, 90.0f * 0.017453292f);

    GoActor* person = scene_find_actor(300);
    ASSERT_NE(person, nullptr);
    EXPECT_EQ(person->cast, 1);
    EXPECT_EQ(person->facing, -k_pi / 2);
    EXPECT_EQ(person->wander_mode, 1);
    EXPECT_EQ(person->wander_box[0], D3DXVECTOR3(-2.0f, 0.0f, -1.0f));
    EXPECT_EQ(person->wander_box[1], D3DXVECTOR3(3.0f, 0.0f, 4.0f));
    EXPECT_TRUE(work_block_free());
}

TEST_F(MapLoad, TheFirstRecordsOptionMarksATitleScene)
{
    MapSet set = map();
    MapObjectDesc first = mesh_at("a", 0.0f);
    first.options = 0x100;
    set.objects = {first};
    load(set);
    EXPECT_EQ(thrown_text([] { scene_load_objects(k_stem); }), "no error");
    EXPECT_EQ(g_play_state.title_demo, 1);
}

TEST_F(MapLoad, MeshNamesMatchInAnyCaseAndSpecialPathsSetTheirBits)
{
    MapSet set = map();
    set.objects = {mesh_at("Gate", 0.0f), mesh_at("bucket", 1.0f, k_bucket_model)};
    load(set);
    scene_load_objects(k_stem);
    ASSERT_NE(scene_find_mesh("gATE"), nullptr);
    EXPECT_EQ(scene_find_mesh("gATE")->special_bits, 0u);
    EXPECT_EQ(scene_find_mesh("BUCKET")->special_bits, MESH_BUCKET);
    EXPECT_EQ(scene_find_mesh("Gate "), nullptr);
}

TEST_F(MapLoad, EverySavePointRecordMakesASavePointAndItsLight)
{
    MapSet set = map();
    set.objects = {mesh_at("s1", 1.0f, MAP_SAVE_POINT_MODEL),
                   mesh_at("s2", -3.0f, "Data\\Map\\MapObj\\SAVE_00\\save_00.qmo")};
    load(set);
    scene_load_objects(k_stem);
    EXPECT_EQ(g_pool_mesh.count, 2);
    EXPECT_EQ(g_goxx_live_count[GOXX_SAVE_POINT], 2);
    EXPECT_EQ(g_goxx_live_count[GOXX_POINT_LIGHT], 2);
    std::vector<float> light_x;
    for (std::int32_t i = 0; i < g_pool_xx.count; ++i) {
        auto* object = static_cast<GoXx*>(g_pool_xx.active[i]);
        if (object->role != GOXX_POINT_LIGHT) continue;
        light_x.push_back(object->world._41);
        const LightParams& light = object->area<PointLightState>().params;
        EXPECT_EQ(light.colour[0][2], 0.3f);
        EXPECT_EQ(light.colour[1][0], 0.34f);
        EXPECT_EQ(light.colour[1][2], 0.5f);
        EXPECT_EQ(light.colour[2][2], 0.3f);
        EXPECT_EQ(light.range[1], 5.0f);
        EXPECT_EQ(light.attenuation[1], 2.5f);
        EXPECT_EQ(light.phase_ticks[0], 70);
        EXPECT_EQ(light.phase_ticks[1], 60);
        EXPECT_EQ(light.slot, 2);
        EXPECT_EQ(light.loop, 1);
    }
    EXPECT_THAT(light_x, ::testing::UnorderedElementsAre(1.0f, -3.0f));
}

TEST_F(MapLoad, AFullObjectPoolLeavesTheSavePointOutAndGoesOn)
{
    MapSet set = map();
    set.objects = {mesh_at("s1", 1.0f, MAP_SAVE_POINT_MODEL), mesh_at("after", 2.0f)};
    load(set);
    while (obj_create<GoXx>(g_pool_xx)) {
    }
    EXPECT_EQ(thrown_text([] { scene_load_objects(k_stem); }), "no error");
    EXPECT_EQ(g_goxx_live_count[GOXX_SAVE_POINT], 0);
    EXPECT_EQ(g_goxx_live_count[GOXX_POINT_LIGHT], 0);
    EXPECT_NE(scene_find_mesh("after"), nullptr);
}

TEST_F(MapLoad, AMissingModelOrSkyLeavesNoHalfMadeObjectAndTheWorkBlockFree)
{
    const struct {
        MapObjectDesc record;
        const char* text;
    } cases[] = {
        {mesh_at("ghost", 0.0f, "data\\map\\s_10\\s_1010\\none.qmo"), "none.qmo\ngo_mesh(39)"},
        {{.model_path = k_sky_object, .kind = 2}, "(80ff0009h)\r\n->data\\map\\s_10\\s_1010\\sky.sbx.z"},
    };
    for (const auto& c : cases) {
        MapSet set = map();
        set.objects = {mesh_at("first", 0.0f), c.record};
        load(set);
        EXPECT_THAT(thrown_text([] { scene_load_objects(k_stem); }), HasSubstr(c.text));
        EXPECT_EQ(g_pool_mesh.count, 1);
        EXPECT_EQ(g_pool_skybox.count, 0);
        EXPECT_TRUE(work_block_free());
        obj_destroy_all();
    }
}

// ---- Fog, cameras, exits ----------------------------------------------------------------------------
// Each placed effect starts where its record puts it, turned by its angles in degrees (x pitch,
// y yaw, z roll), unscaled, on the enemies' side in row 11 with no status, power A 0, power B 1,
// strength 0, no ailments and no element.
TEST_F(MapLoad, EffectRecordsStartTheirEffectsWhereTheyArePlaced)
{
    MapSet set = map();
    set.effects = {
        {.effect_id = 7, .position = {1.0f, 2.0f, 3.0f}, .rotation_degrees = {10.0f, 20.0f, 30.0f}},
        {.effect_id = 399, .position = {-4.0f, 0.5f, 6.0f}, .rotation_degrees = {0.0f, -90.0f, 0.0f}}};
    load(set);
    g_effect_list.assign(EFFECT_ID_COUNT, {});
    EXPECT_EQ(scene_load_effects(k_stem), S_OK);
    ASSERT_EQ(g_pool_effect.count, 2);
    for (std::int32_t i = 0; i < 2; ++i) {
        const MapEffectDesc& record = (*set.effects)[static_cast<std::size_t>(i)];
        SCOPED_TRACE(record.effect_id);
        const auto& effect = *static_cast<GoEffect*>(g_pool_effect.active[i]);
        EXPECT_EQ(effect.effect_id, record.effect_id);
        EXPECT_EQ(effect.side, 1);
        EXPECT_EQ(effect.render_row, EFFECT_ROW);
        EXPECT_EQ(effect.power_a, 0.0f);
        EXPECT_EQ(effect.power_b, 1.0f);
        EXPECT_EQ(effect.strength, 0);
        EXPECT_EQ(effect.ailment_mask, 0);
        EXPECT_EQ(effect.element, ATTACK_ELEMENT_NONE);
        EXPECT_EQ(effect.scale, D3DXVECTOR3(1.0f, 1.0f, 1.0f));
        const MapVec& degrees = record.rotation_degrees;
        D3DXMATRIX turn, at;
        D3DXMatrixRotationYawPitchRoll(&turn, degrees[1] * 0.017453292f, degrees[0] * 0.017453292f,
                                       degrees[2] * 0.017453292f);
        D3DXMatrixTranslation(&at, record.position[0], record.position[1], record.position[2]);
        const D3DXMATRIX expected = turn * at;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(effect.world(r, c), expected(r, c), 1e-5f) << r << "," << c;
    }
    EXPECT_TRUE(work_block_free());
}

TEST_F(MapLoad, TwentyFogRecordsGiveTheDefaultAndFifteenRegions)
{
    MapSet set = map();
    set.fog = std::vector<MapFogDesc>(20);
    for (int i = 0; i < 20; ++i)
        (*set.fog)[static_cast<std::size_t>(i)].fog_near = static_cast<float>(i);
    load(set);
    EXPECT_EQ(scene_load_fog(k_stem), S_OK);
    ASSERT_EQ(g_region_fogs.count, 16);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(g_region_fogs.at(i)->fog.fog_near, static_cast<float>(i));
}

TEST_F(MapLoad, SixtyFiveCamerasFillTheTableAndFail)
{
    MapSet set = map();
    set.cameras = std::vector<MapCameraDesc>(65);
    for (int i = 0; i < 65; ++i)
        (*set.cameras)[static_cast<std::size_t>(i)].centre = {static_cast<float>(i), 0.0f, 0.0f};
    load(set);
    EXPECT_EQ(scene_load_cameras(k_stem), E_FAIL);
    EXPECT_EQ(g_region_cameras.count, REGION_CAMERA_COUNT);
    for (int i = 0; i < REGION_CAMERA_COUNT; ++i)
        EXPECT_EQ(g_region_cameras.at(i)->shape.centre.x, static_cast<float>(i));
}

TEST_F(MapLoad, ExitsSkipEmptyDestinationsAndStopWhenTheTableIsFull)
{
    MapSet set = map();
    set.exits = std::vector<MapExitDesc>(34, MapExitDesc{.destination = "s_20\\s_2003\\"});
    (*set.exits)[0].destination.clear();
    for (int i = 0; i < 34; ++i)
        (*set.exits)[static_cast<std::size_t>(i)].entry_value = i;
    load(set);
    EXPECT_EQ(scene_load_exits(k_stem), E_FAIL);
    ASSERT_EQ(g_region_entries.count, REGION_ENTRY_COUNT);
    EXPECT_EQ(g_region_entries.at(0)->arrival.entry_value, 1);
    EXPECT_EQ(g_region_entries.at(31)->arrival.entry_value, 32);
}

TEST_F(MapLoad, AnExitToAnUnknownSceneIsFatal)
{
    MapSet set = map();
    set.exits = {{.destination = "s_99\\s_9999\\"}};
    load(set);
    EXPECT_THAT(thrown_text([] { scene_load_exits(k_stem); }),
                HasSubstr("(80ff000fh)\r\n->s_99\\s_9999\\\ng_scene(1091)"));
    EXPECT_TRUE(work_block_free());
}

// A text that fills its field has no terminator in the file.
TEST_F(MapLoad, RecordTextsThatFillTheirFieldsAreReadBounded)
{
    MapSet set = map();
    set.exits = {{.arrival_tag = std::string(MAP_PATH_SIZE, 't'), .destination = "s_20\\s_2003\\"},
                 {.destination = std::string(MAP_PATH_SIZE, 'd')}};
    set.cast = {cast_at(std::string(MAP_CAST_NAME_SIZE, 'C'), 0.0f)};
    MapObjectDesc full = mesh_at(std::string(MAP_NAME_SIZE, 'n'), 0.0f);
    full.second_name = std::string(MAP_NAME_SIZE, 's');
    full.third_name = std::string(MAP_THIRD_NAME_SIZE, 'h');
    set.objects = {full};
    load(set);
    scene_load_objects(k_stem);
    EXPECT_EQ(g_pool_mesh.count, 1);
    EXPECT_EQ(scene_load_cast(k_stem), S_OK);
    EXPECT_EQ(g_pool_actor.count, 0);
    EXPECT_THAT(thrown_text([] { scene_load_exits(k_stem); }), HasSubstr("(80ff000fh)\r\n->ddd"));
    EXPECT_EQ(g_region_entries.at(0)->arrival.tag, std::string(79, 't'));
}

// ---- Cast -------------------------------------------------------------------------------------------
TEST_F(MapLoad, ThePlayersCastIgnoresTheEntryFilter)
{
    MapSet set = map();
    MapCastDesc hero = cast_at("CAST_BRAM", 2.0f);
    hero.entry_filter = 7.0f;
    hero.facing = 90;
    set.cast = {hero};
    load(set);
    scene_load_cast(k_stem);
    ASSERT_NE(g_player, nullptr);
    EXPECT_EQ(g_player->cast, ACTOR_CAST_HERO);
    EXPECT_EQ(g_player->world._41, 2.0f);
    EXPECT_EQ(g_player->facing, 0.0f);
}

TEST_F(MapLoad, TheEntryFilterPlacesOnlyOnItsEntryValue)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float filter;
        std::int32_t entry;
        bool placed;
    } cases[] = {{1.0f, 1, true}, {1.0f, 0, false}, {1.9f, 1, true},         {-0.5f, 0, true},
                 {nan, 0, false}, {3e9f, 0, false}, {-3e9f, INT_MIN, false}, {-2147483648.0f, INT_MIN, true}};
    for (const auto& c : cases) {
        MapSet set = map();
        MapCastDesc person = cast_at("CAST_P02", 0.0f);
        person.entry_filter = c.filter;
        set.cast = {person};
        load(set);
        g_play_state.arrival.entry_value = c.entry;
        EXPECT_EQ(thrown_text([] { scene_load_cast(k_stem); }), "no error");
        EXPECT_EQ(actors_of_cast(2).size(), c.placed ? 1u : 0u) << c.filter << " " << c.entry;
        obj_destroy_all();
    }
}

TEST_F(MapLoad, KeyZeroTakesTheCastNumberWhenFreeElseTheFirstFreeFrom177)
{
    MapSet set = map();
    set.cast = {cast_at("CAST_P25", 0.0f), cast_at("CAST_P25", 1.0f), cast_at("CAST_P25", 2.0f)};
    load(set);
    scene_load_cast(k_stem);
    std::vector<std::int32_t> keys;
    for (GoActor* actor : actors_of_cast(k_person_cast))
        keys.push_back(actor->key);
    EXPECT_THAT(keys, ::testing::ElementsAre(25, 177, 178));
}

TEST_F(MapLoad, CastNamesMatchExactlyAndUnknownCastsAreSkipped)
{
    MapSet set = map();
    set.cast = {cast_at("cast_p01", 0.0f), cast_at("CAST_NOBODY", 0.0f), cast_at("CAST_P01", 3.0f)};
    load(set);
    scene_load_cast(k_stem);
    ASSERT_EQ(g_pool_actor.count, 1);
    EXPECT_EQ(static_cast<GoActor*>(g_pool_actor.active[0])->cast, 1);
}

TEST_F(MapLoad, WaypointsBeyondEightAreDroppedAndTheActorStartsOnOne)
{
    MapSet set = map();
    MapCastDesc walker = cast_at("CAST_P03", 50.0f);
    for (int i = 0; i < 8; ++i)
        walker.waypoints.push_back({static_cast<float>(i), 0.0f, 0.0f});
    walker.waypoint_count = 9;
    set.cast = {walker};
    load(set);
    scene_load_cast(k_stem);
    ASSERT_EQ(g_pool_actor.count, 1);
    const GoActor& actor = *static_cast<GoActor*>(g_pool_actor.active[0]);
    EXPECT_EQ(actor.waypoint_count, 8u);
    EXPECT_EQ(actor.world._41, static_cast<float>(actor.current_waypoint));
}

TEST_F(MapLoad, EnemiesGetTheirLevelStats)
{
    MapSet set = map();
    set.cast = {cast_at("CAST_SLIME", 0.0f)};
    load(set);
    scene_load_cast(k_stem);
    ASSERT_EQ(g_pool_actor.count, 1);
    const GoActor& enemy = *static_cast<GoActor*>(g_pool_actor.active[0]);
    ASSERT_TRUE(enemy.hit_shape.class_bits & HIT_ENEMY);
    EXPECT_EQ(enemy.status.level, scn_data_enemy(0).default_level);
    EXPECT_GT(enemy.status.max_hp, 0.0f);
    EXPECT_EQ(enemy.status.hp, enemy.status.max_hp);
}

TEST_F(MapLoad, AFullActorPoolSkipsTheRecord)
{
    MapSet set = map();
    set.cast = {cast_at("CAST_P01", 0.0f)};
    load(set);
    std::int32_t filled = 0;
    while (obj_create<GoActor>(g_pool_actor))
        ++filled;
    EXPECT_EQ(scene_load_cast(k_stem), S_OK);
    EXPECT_EQ(g_pool_actor.count, filled);
}
