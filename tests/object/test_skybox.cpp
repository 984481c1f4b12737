#include "game/g_region.h"
#include "game/g_scene_map.h"
#include "game/tick_fixture.h"
#include "lib/dds_writer.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"
#include "lib/sky_writer.h"
#include "lowlv/d3d/d3d_shader.h"
#include "scenegraph/resrc_mgr.h"
#include "scenegraph/texture.h"
#include "thrown_text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace {

using ::testing::HasSubstr;

constexpr const char* k_folder = "data\\map\\s_11\\s_1112\\";
constexpr float k_scale = 50.0f;
constexpr D3DCOLOR k_diffuse = 0xFF8090A0;
constexpr D3DCOLOR k_specular = 0xFF102030;
constexpr const char* k_script_path = "data\\map\\test\\sky.xso";
// The box, a count of 9, a word the command skips, then the six speeds.
constexpr const char* k_script = "action 0\n call FUNCID_SKY_LAYERS 1 9 77 0.5 0.25 0.0 0.0 0.0 0.125\n";

std::string in_folder(const std::string& name)
{
    return k_folder + name;
}

// A texture name that fills its 80-byte field, with no room for its end.
std::string full_field_name()
{
    return std::string(80 - 4, 't') + ".dds";
}

// A map object path that fills its 260-byte field without a terminator.
std::string full_field_object_path()
{
    const std::string stem = in_folder(std::string(260 - std::strlen(k_folder) - 2, 'k'));
    return stem + ".q";
}

SkyFile sky_with(std::array<std::string, SKYBOX_LAYERS> textures)
{
    SkyFile sky;
    sky.scale = k_scale;
    sky.diffuse = k_diffuse;
    sky.specular = k_specular;
    sky.unread = {'S', 'B', 'X'};
    sky.reserved = 0xDEADBEEF;
    sky.textures = std::move(textures);
    return sky;
}

std::array<std::string, SKYBOX_LAYERS> face_names()
{
    return {"face0.dds", "face1.dds", "face2.dds", "face3.dds", "face4.dds", "face5.dds"};
}

MapObjectRecord sky_record(const std::string& path)
{
    MapObjectRecord record{};
    std::memcpy(record.model_path, path.data(), std::min(path.size(), sizeof record.model_path));
    record.kind = 2;
    record.position = D3DXVECTOR3(1.1f, 2.2f, 3.3f); // no zero byte to end an overlong path
    return record;
}

// The four world-quad vertices of an indexed strip.
std::array<QuadVertex, 4> strip_of(const D3D8DrawRecord& draw)
{
    std::array<QuadVertex, 4> strip;
    std::memcpy(strip.data(),
                d3d8_buffer_data(*draw.state.streams[0].buffer) + draw.state.base_vertex * sizeof(QuadVertex),
                sizeof strip);
    return strip;
}

bool same_matrix_registers(const D3DDeviceState& state, DWORD reg, const D3DXMATRIX& transposed)
{
    return std::memcmp(state.vs_constants[reg], &transposed, sizeof transposed) == 0;
}

// Sky boxes on the tick's device, with the resource manager and the work block over an archive
// holding the test's sky files and their faces.
class SkyBoxTest : public TickTest {
protected:
    static void SetUpTestSuite()
    {
        s_folder = std::make_unique<TempFolder>();
        std::vector<ArchiveSource> files = demo_shader_files(shader_file_names());
        const DdsPixels face = dds_solid(8, 8, 0xFF4080C0);
        const std::array<std::string, SKYBOX_LAYERS> faces = face_names();
        std::vector<std::string> textures(faces.begin(), faces.end());
        textures.push_back(full_field_name());
        for (const std::string& name : textures)
            files.push_back({in_folder(name), dds_build(DdsFormat::A1R5G5B5, std::span(&face, 1))});

        files.push_back(sky_archive_file(in_folder("sky.sbx"), sky_with(face_names())));
        std::array<std::string, SKYBOX_LAYERS> gap = face_names();
        gap[1] = "absent.dds";
        files.push_back(sky_archive_file(in_folder("gap.sbx"), sky_with(gap)));
        std::array<std::string, SKYBOX_LAYERS> full = face_names();
        full[0] = full_field_name();
        files.push_back(sky_archive_file(in_folder("full.sbx"), sky_with(full)));
        std::vector<std::uint8_t> cut = sky_bytes(sky_with(face_names()));
        cut.resize(SKYBOX_FILE_SIZE - 1);
        files.push_back({in_folder("short.sbx.z"), packed_build(cut)});
        files.push_back({std::string(k_script_path) + ".z", packed_build(sasm_assemble_or_throw(k_script))});
        ASSERT_TRUE(archive_write_set(s_folder->path(), files, {}));
        vfs::Startup((s_folder->windows() + "\\").c_str());
    }

    void SetUp() override
    {
        TickTest::SetUp();
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), static_cast<std::uint32_t>(m_block.size()), nullptr, 0};
        ResrcMgr::Initialize(RESRC_RESERVE[0], RESRC_RESERVE[1]);
        g_region_camera = {};
        rq_clear_rows();
    }

    void TearDown() override
    {
        obj_destroy_all();
        ResrcMgr::Shutdown();
        g_work_block = m_saved_block;
        g_region_camera = {};
        TickTest::TearDown();
    }

    static GoSkyBox& load(const std::string& object_path)
    {
        GoSkyBox* sky = obj_create<GoSkyBox>(g_pool_skybox);
        EXPECT_NE(sky, nullptr);
        sky->Load(sky_record(object_path));
        return *sky;
    }

    static std::string load_error(const std::string& object_path)
    {
        return thrown_text([&] { load(object_path); });
    }

    // One update of the sky alone: a whole tick or not, a drawn frame or not. Its draws when drawn.
    static std::vector<D3D8DrawRecord> update(GoSkyBox& sky, bool whole = true, bool drawn = false)
    {
        g_whole_tick = whole ? 1 : 0;
        g_draw_frame = drawn ? 1 : 0;
        d3d8_seam_log_draws(false);
        d3d8_seam_log_draws(true);
        EXPECT_EQ(g_d3d_device->BeginScene(), D3D_OK);
        sky.Update();
        g_d3d_device->EndScene();
        return d3d8_seam_draws();
    }

    static IDirect3DTexture8* face_texture(int i)
    {
        return tex_load_by_name(in_folder(face_names()[static_cast<std::size_t>(i)]).c_str(), 1,
                                D3DFMT_A1R5G5B5, RESRC_KEEP_CACHED, nullptr);
    }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 20);
    WorkBlock m_saved_block{};
};

} // namespace

// ---- Loading ------------------------------------------------------------------------------------

TEST_F(SkyBoxTest, LoadTakesTheFileValuesTwoCloudLayersAndTheSixFaces)
{
    GoSkyBox& sky = load(in_folder("sky.qmo"));
    EXPECT_STREQ(sky.name, in_folder("sky.sbx").c_str());
    EXPECT_EQ(sky.scale, k_scale);
    EXPECT_EQ(sky.diffuse, k_diffuse);
    EXPECT_EQ(sky.specular, k_specular);
    EXPECT_EQ(sky.layer_count, 2u);
    EXPECT_EQ(sky.box, 0u);
    EXPECT_TRUE(
        std::equal(std::begin(sky.scroll_speeds), std::end(sky.scroll_speeds), SKYBOX_DEFAULT_SPEEDS));
    for (int i = 0; i < SKYBOX_LAYERS; ++i) {
        SCOPED_TRACE(i);
        ASSERT_NE(sky.textures[i], nullptr);
        IDirect3DTexture8* shared = face_texture(i);
        EXPECT_EQ(sky.textures[i], shared) << "the sky's texture is the resource manager's";
        ResrcMgr::Release(RESRC_POOL_TEXTURE, shared);
    }
    // The cloud layers are squares at the scale, one behind the other.
    EXPECT_EQ(sky.layer_vertices[0][0].x, -k_scale);
    EXPECT_EQ(sky.layer_vertices[0][3].y, -k_scale);
    EXPECT_EQ(sky.layer_vertices[0][0].z, k_scale);
    EXPECT_FLOAT_EQ(sky.layer_vertices[5][0].z, 0.935f * k_scale);
}

TEST_F(SkyBoxTest, AnExtensionlessPathGetsTheSkyExtensionAppended)
{
    EXPECT_STREQ(load(in_folder("sky")).name, in_folder("sky.sbx").c_str());
}

TEST_F(SkyBoxTest, DeletingTheSkyGivesItsTexturesBack)
{
    GoSkyBox& sky = load(in_folder("sky.qmo"));
    ResrcLoadParams params;
    params.texture = {1, 0, D3DFMT_A1R5G5B5, D3DPOOL_MANAGED};
    const ResourceHandle face =
        ResrcMgr::Load(in_folder("face0.dds").c_str(), params, RESRC_POOL_TEXTURE, RESRC_KEEP_CACHED);
    ASSERT_NE(ResrcMgr::Get(face), nullptr);
    const std::int32_t held = ResrcMgr::Get(face)->refcount;
    go_kill(sky);
    obj_sweep_dead();
    ASSERT_NE(ResrcMgr::Get(face), nullptr);
    EXPECT_EQ(ResrcMgr::Get(face)->refcount, held - 1);
}

TEST_F(SkyBoxTest, MissingAndShortFilesAreFatal)
{
    const struct {
        const char* object;
        const char* code;
        const char* path;
    } cases[] = {
        {"none.qmo", "80ff0009", "none.sbx.z"},
        {"short.qmo", "80ff0006", "short.sbx.z"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.object);
        const std::string text = load_error(in_folder(c.object));
        EXPECT_THAT(text, HasSubstr(c.code));
        EXPECT_THAT(text, HasSubstr(in_folder(c.path)));
        EXPECT_THAT(text, HasSubstr("go_skybox(101)"));
        EXPECT_EQ(g_work_block.owner, nullptr) << "the work block is given back";
    }
}

TEST_F(SkyBoxTest, AMissingTextureLeavesOnlyItsLayerEmpty)
{
    GoSkyBox& sky = load(in_folder("gap.qmo"));
    for (int i = 0; i < SKYBOX_LAYERS; ++i)
        EXPECT_EQ(sky.textures[i] == nullptr, i == 1) << i;
}

TEST_F(SkyBoxTest, FieldsWithoutTerminatorsAreReadWhole)
{
    // A texture name of 80 characters names its file in full.
    GoSkyBox& full = load(in_folder("full.qmo"));
    EXPECT_NE(full.textures[0], nullptr);

    // A record path of 260 characters: the sky looks for its whole stem with ".sbx" (the archive
    // takes no path that long, so the search fails, naming it).
    const std::string sky_path = sky_file_path(full_field_object_path());
    EXPECT_EQ(sky_path.size(), 258u + 4u);
    EXPECT_THAT(load_error(full_field_object_path()), HasSubstr("->" + sky_path + ".z\n"));
}

// ---- Layers and scrolling ------------------------------------------------------------------------

TEST_F(SkyBoxTest, AFreshSkyDriftsItsTwoLayersOnWholeTicks)
{
    GoSkyBox& sky = load(in_folder("sky.qmo"));
    for (int i = 0; i < 4; ++i)
        update(sky);
    update(sky, false);
    EXPECT_FLOAT_EQ(sky.scroll_offsets[0], 4 * 0.000075f);
    EXPECT_FLOAT_EQ(sky.scroll_offsets[1], 4 * 0.000125f);

    const std::vector<D3D8DrawRecord> draws = update(sky, false, true);
    ASSERT_EQ(draws.size(), 2u);
    for (std::size_t layer = 0; layer < 2; ++layer) {
        SCOPED_TRACE(layer);
        const std::array<QuadVertex, 4> strip = strip_of(draws[layer]);
        const float u = sky.scroll_offsets[layer];
        EXPECT_EQ(strip[0].u, u);
        EXPECT_EQ(strip[0].v, 0.0f);
        EXPECT_EQ(strip[1].u, u);
        EXPECT_EQ(strip[1].v, 1.0f);
        EXPECT_EQ(strip[2].u, u + 1.0f);
        EXPECT_EQ(strip[3].v, 1.0f);
        EXPECT_EQ(strip[0].diffuse, k_diffuse);
        EXPECT_EQ(strip[0].specular, k_specular);
        EXPECT_EQ(draws[layer].state.textures[0], sky.textures[layer]);
    }
}

TEST_F(SkyBoxTest, SetLayersKeepsAtMostSixAndBuildsTheBoxAtTheScale)
{
    GoSkyBox& sky = load(in_folder("sky.qmo"));
    const float still[SKYBOX_LAYERS] = {};
    sky.SetLayers(9, 1, still);
    EXPECT_EQ(sky.layer_count, 6u);
    EXPECT_EQ(sky.box, 1u);
    // Face 1 is the z = -1 side, face 4 the top.
    EXPECT_EQ(sky.layer_vertices[1][0].x, k_scale);
    EXPECT_EQ(sky.layer_vertices[1][0].z, -k_scale);
    EXPECT_EQ(sky.layer_vertices[4][1].y, k_scale);
    EXPECT_EQ(sky.layer_vertices[4][1].z, k_scale);

    sky.SetLayers(2, 0, SKYBOX_DEFAULT_SPEEDS);
    EXPECT_FLOAT_EQ(sky.layer_vertices[1][0].z, 0.975f * k_scale) << "the clouds again";
}

TEST_F(SkyBoxTest, BoxFacesWithSpeedZeroStayUnscrolled)
{
    GoSkyBox& sky = load(in_folder("sky.qmo"));
    const float still[SKYBOX_LAYERS] = {};
    sky.SetLayers(6, 1, still);
    for (int i = 0; i < 10; ++i)
        update(sky);
    const std::vector<D3D8DrawRecord> draws = update(sky, true, true);
    ASSERT_EQ(draws.size(), 6u);
    for (std::size_t face = 0; face < draws.size(); ++face) {
        SCOPED_TRACE(face);
        const D3D8DrawRecord& draw = draws[face];
        EXPECT_EQ(draw.state.textures[0], sky.textures[face]);
        EXPECT_TRUE(draw.call.indexed);
        EXPECT_EQ(draw.call.type, D3DPT_TRIANGLESTRIP);
        EXPECT_EQ(draw.call.primitive_count, 2u);
        EXPECT_EQ(draw.state.indices, g_renderer_ibs[RIB_SEQUENTIAL].indices);
        const std::array<QuadVertex, 4> strip = strip_of(draw);
        EXPECT_EQ(strip[0].u, 0.0f);
        EXPECT_EQ(strip[2].u, 1.0f);
        EXPECT_EQ(strip[0].x, sky.layer_vertices[face][0].x);
        EXPECT_EQ(strip[3].z, sky.layer_vertices[face][3].z);
    }
    EXPECT_EQ(g_current_material, SKYBOX_MATERIAL);
}

TEST_F(SkyBoxTest, AMissingTextureIsDrawnUntextured)
{
    GoSkyBox& sky = load(in_folder("gap.qmo"));
    const std::vector<D3D8DrawRecord> draws = update(sky, false, true);
    ASSERT_EQ(draws.size(), 2u);
    EXPECT_NE(draws[0].state.textures[0], nullptr);
    EXPECT_EQ(draws[1].state.textures[0], nullptr);
}

TEST_F(SkyBoxTest, GameFlag155HidesTheSkyAndStopsItsScroll)
{
    GoSkyBox& sky = load(in_folder("sky.qmo"));
    g_play_state.game_flags[GF_SKY_HIDDEN] = 1;
    EXPECT_TRUE(update(sky, true, true).empty());
    EXPECT_EQ(sky.scroll_offsets[0], 0.0f);
}

// ---- Position and the pre-pass --------------------------------------------------------------------

TEST_F(SkyBoxTest, TheSkyStaysCentredOnTheFocusPoint)
{
    GoSkyBox& sky = load(in_folder("sky.qmo"));
    for (const D3DXVECTOR3 focus : {D3DXVECTOR3(10.0f, 2.0f, -5.0f), D3DXVECTOR3(-40.0f, 7.5f, 120.0f)}) {
        SCOPED_TRACE(focus.x);
        g_region_camera.focus_point = focus;
        const std::vector<D3D8DrawRecord> draws = update(sky, true, true);
        ASSERT_FALSE(draws.empty());
        EXPECT_EQ(D3DXVECTOR3(sky.world._41, sky.world._42, sky.world._43), focus);
        D3DXMATRIX world, product, transposed;
        D3DXMatrixTranslation(&world, focus.x, focus.y, focus.z);
        D3DXMatrixMultiply(&product, &world, &g_camera_state.view_proj);
        EXPECT_TRUE(same_matrix_registers(draws[0].state, VSC_WORLD_VIEW_PROJ,
                                          *D3DXMatrixTranspose(&transposed, &product)));
    }
}

TEST_F(SkyBoxTest, UnderThePrePassTheSkyIsACallbackInRowFive)
{
    GoSkyBox& sky = load(in_folder("sky.qmo"));
    g_region_camera.focus_point = D3DXVECTOR3(0.0f, 0.0f, 10.0f);
    g_frame_effects.prepass_active = 1;
    EXPECT_TRUE(update(sky, true, true).empty()) << "nothing is drawn at once";
    ASSERT_EQ(g_rq_rows[5].used, RQ_SIZE_CALLBACK);
    auto& item = *reinterpret_cast<RqCallbackItem*>(g_rq_rows[5].buffer.get());
    const D3DXVECTOR3 to_eye = g_camera_state.eye - g_region_camera.focus_point;
    EXPECT_EQ(item.header.key1, rq_depth_key(D3DXVec3LengthSq(&to_eye)));
    EXPECT_EQ(item.user, &sky);

    d3d8_seam_log_draws(false);
    d3d8_seam_log_draws(true);
    ASSERT_EQ(g_d3d_device->BeginScene(), D3D_OK);
    item.callback(&item.header, item.user);
    g_d3d_device->EndScene();
    EXPECT_EQ(d3d8_seam_draws().size(), 2u);
    g_frame_effects.prepass_active = 0;
}

// ---- The script command ---------------------------------------------------------------------------

TEST_F(SkyBoxTest, Command281SetsEveryLiveSky)
{
    GoSkyBox& first = load(in_folder("sky.qmo"));
    GoSkyBox& second = load(in_folder("gap.qmo"));
    script_install_commands();
    GoScript* script = obj_create<GoScript>(g_pool_script);
    ASSERT_NE(script, nullptr);
    script->Load(k_script_path, "sky", {});
    script->Run();

    for (GoSkyBox* sky : {&first, &second}) {
        EXPECT_EQ(sky->layer_count, 6u);
        EXPECT_EQ(sky->box, 1u);
        const float expected[SKYBOX_LAYERS] = {0.5f, 0.25f, 0.0f, 0.0f, 0.0f, 0.125f};
        EXPECT_TRUE(std::equal(std::begin(sky->scroll_speeds), std::end(sky->scroll_speeds), expected));
    }
}

// ---- The sky file writer ----------------------------------------------------------------------------

TEST(SkyWriter, NamesTheSkyFileAfterTheObjectAndRefusesOverlongTextureNames)
{
    const struct {
        const char* object;
        const char* sky;
    } paths[] = {
        {"data\\map\\s_11\\sky.qmo", "data\\map\\s_11\\sky.sbx"},
        {"data\\map\\s.11\\sky", "data\\map\\s.11\\sky.sbx"}, // a dot in a folder is no extension
        {"sky.a.qmo", "sky.a.sbx"},
    };
    for (const auto& p : paths)
        EXPECT_EQ(sky_file_path(p.object), p.sky) << p.object;

    SkyFile sky;
    EXPECT_EQ(sky_bytes(sky).size(), SKYBOX_FILE_SIZE);
    sky.textures[2] = std::string(81, 'x');
    EXPECT_THROW(sky_bytes(sky), std::invalid_argument);
}
