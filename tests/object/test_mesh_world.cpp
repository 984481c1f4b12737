// Map meshes loaded from models and collision models the tools write, drawn into the render queue
// and the triangle batches of a renderer on the test device.
#include "object/go_mesh.h"

#include "core/errors.h"
#include "game/g_hit.h"
#include "game/g_scn_data.h"
#include "game/tick_fixture.h"
#include "gfx/eft_new.h"
#include "gfx/go_effect.h"
#include "lib/packed_writer.h"
#include "lib/qco_writer.h"
#include "lib/qmo_writer.h"
#include "object/wnd/go_wnddemo.h"
#include "scenegraph/resrc_mgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr const char* k_folder = "data\\map\\test\\";
constexpr const char* k_floor = "data\\map\\test\\floor.qmo";       // sets A, B and C
constexpr const char* k_box = "data\\map\\test\\box.qmo";           // no collision
constexpr const char* k_no_set_a = "data\\map\\test\\no_set_a.qmo"; // names a missing set A
constexpr const char* k_sets_missing = "data\\map\\test\\sets_missing.qmo";
constexpr const char* k_iron_ball = "data\\map\\mapobj\\ironball_00\\ironball_00.qmo";
constexpr const char* k_bucket = "data\\map\\mapobj\\bucket_00\\bucket_00.qmo";
constexpr const char* k_foothold = "data\\map\\mapobj\\foothold_01\\foothold_01.qmo";

constexpr float k_floor_half = 40.0f;
constexpr float k_water_height = 1.0f;

// The traps' own eex rows: 11 the iron ball's effect, 12 the rolling edges'.
constexpr float k_ball_eex_attack = 60.0f;
constexpr float k_edge_eex_attack = 80.0f;
constexpr float k_eex_hp = 30.0f;

std::vector<EexInfo> trap_eex_rows()
{
    std::vector<EexInfo> rows(13, EexInfo{});
    rows[11] = {k_eex_hp, k_ball_eex_attack, 5.0f, 0.0f, 0.0f, 0.0f, 1, {}};
    rows[12] = {k_eex_hp, k_edge_eex_attack, 5.0f, 0.0f, 0.0f, 0.0f, 1, {}};
    return rows;
}

// Materials and whether a model of them alone is opaque.
struct MaterialCase {
    const char* label;
    QmoMaterial material;
    bool opaque;
};
const MaterialCase k_material_cases[] = {
    {"plain", qmo_material(0), true},
    {"alpha below 1", qmo_material(0, 0.99f), false},
    {"alpha above 1", qmo_material(0, 1.5f), true},
    {"bit 7", qmo_material(0x80), false},
    {"bit 12, diffuse alpha 0x80", qmo_material(0x1000, 1.0f, 0x80FFFFFF), false},
    {"bit 12, diffuse alpha 0xFF", qmo_material(0x1000, 1.0f, 0xFFFFFFFF), true},
    {"diffuse alpha 0x80 without bit 12", qmo_material(0, 1.0f, 0x80FFFFFF), true},
    {"wind bit", qmo_material(0x40), true},
};

std::string material_model_path(std::size_t index)
{
    return std::string(k_folder) + "mat_" + std::to_string(index) + ".qmo";
}

QmoImage box_named(const std::string& a, const std::string& b = {}, const std::string& c = {})
{
    QmoImage image = qmo_box();
    qmo_set_collision_names(image, a, b, c);
    return image;
}

ArchiveSource packed_model(const std::string& path, const QmoImage& image)
{
    return {path + ".z", packed_build(qmo_bytes(image))};
}

ArchiveSource packed_collision(const std::string& name, const std::vector<QcoTriangle>& triangles)
{
    return {std::string(k_folder) + name + ".z", packed_build(qco_bytes(qco_image(triangles, 4, 8)))};
}

// A floor of 4 x 4 cells, so a decal takes only the cells under it.
std::vector<QcoTriangle> level_quad(float y)
{
    const float h = k_floor_half;
    return qco_quad({-h, y, -h}, {-h, y, h}, {h, y, h}, {h, y, -h}, 20);
}

std::vector<ArchiveSource> mesh_files()
{
    std::vector<ArchiveSource> files = demo_shader_files(shader_file_names());
    files.push_back(packed_model(k_floor, box_named("floor_a", "water", "floor_c")));
    files.push_back(packed_model(k_box, qmo_box()));
    files.push_back(packed_model(k_no_set_a, box_named("nothing")));
    files.push_back(packed_model(k_sets_missing, box_named("floor_a", "nothing", "nothing")));
    QmoImage ball = qmo_box();
    qmo_add_named_nodes(ball, {{"f_0002", {0.0f, 1.0f, 0.0f}}});
    qmo_add_named_nodes(ball, {{"f_0003", {1.0f, 0.0f, 0.0f}}, {"f_0005", {2.0f, 0.0f, 0.0f}}});
    files.push_back(packed_model(k_iron_ball, ball));
    files.push_back(packed_model(k_bucket, qmo_box(0.5f)));
    files.push_back(packed_model(k_foothold, qmo_box(0.5f)));
    for (std::size_t i = 0; i < std::size(k_material_cases); ++i) {
        QmoImage image = qmo_box();
        qmo_set_materials(image, {qmo_material(0), k_material_cases[i].material});
        files.push_back(packed_model(material_model_path(i), image));
    }
    files.push_back(packed_collision("floor_a", level_quad(0.0f)));
    files.push_back(packed_collision("water", level_quad(k_water_height)));
    files.push_back(packed_collision("floor_c", level_quad(0.0f)));
    return files;
}

std::string error_text(HRESULT code, const std::string& detail, unsigned line)
{
    char text[ERR_DETAIL_SIZE];
    err_hresult_text(code, detail.c_str(), text, sizeof text);
    return std::string(text) + "\ngo_mesh(" + std::to_string(line) + ")\n";
}

class MeshWorldTest : public TickTest {
protected:
    static void SetUpTestSuite()
    {
        s_folder = std::make_unique<TempFolder>();
        ASSERT_TRUE(archive_write_set(s_folder->path(), mesh_files(), {}));
        vfs::Startup((s_folder->windows() + "\\").c_str());
    }

    void SetUp() override
    {
        TickTest::SetUp();
        m_saved_block = g_work_block;
        g_work_block = WorkBlock{m_block.data(), static_cast<std::uint32_t>(m_block.size()), nullptr, 0};
        ResrcMgr::Initialize(RESRC_RESERVE[0], RESRC_RESERVE[1]);
        model_register_loader();
        renderer_set_camera(D3DXVECTOR3(0.0f, 5.0f, -20.0f), D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        renderer_update_camera();
        g_draw_frame = 1;
        g_whole_tick = 1;
        // The trap meshes start listed effects with the eex rows' status on every whole tick.
        g_eexinfo = trap_eex_rows();
        g_effect_list.assign(EFFECT_ID_COUNT, {});
    }

    void TearDown() override
    {
        obj_destroy_all();
        eft_free_list();
        g_eexinfo.clear();
        ResrcMgr::Shutdown();
        resrc_set_loader(RESRC_POOL_MODEL, {nullptr, nullptr});
        g_work_block = m_saved_block;
        g_draw_frame = g_whole_tick = 0;
        TickTest::TearDown();
    }

    static GoMesh& load(const char* path, D3DXVECTOR3 at = {}, std::int32_t kind = 0)
    {
        GoMesh* mesh = obj_create<GoMesh>(g_pool_mesh);
        EXPECT_NE(mesh, nullptr);
        mesh->Load(path, at, D3DXVECTOR3(), D3DXVECTOR3(1.0f, 1.0f, 1.0f), 0, kind, 0, "mesh", nullptr,
                   nullptr);
        return *mesh;
    }

    static std::string load_error(const char* path)
    {
        try {
            load(path);
        } catch (const RuntimeError& error) {
            return error.text;
        }
        return "no error";
    }

    // One frame's drawing: rows and batches emptied, then the meshes' updates.
    static void draw(std::initializer_list<GoMesh*> meshes)
    {
        renderer_reset_frame_state();
        for (GoMesh* mesh : meshes)
            mesh->Update();
    }

    static std::vector<RqCallbackItem*> callbacks_in_row(int row)
    {
        RenderQueueRow& r = g_rq_rows[row];
        std::vector<RqCallbackItem*> items;
        const std::size_t count = r.used / RQ_SIZE_CALLBACK;
        for (std::size_t i = 0; i < count; ++i)
            items.push_back(reinterpret_cast<RqCallbackItem*>(r.buffer.get() + i * (r.buffer_used / count)));
        return items;
    }

    static std::vector<BatchVertex> shadow_vertices()
    {
        const TriangleBatch& batch = g_tri_batches[3];
        return {batch.vertices.get(), batch.vertices.get() + batch.count * 3};
    }

    std::vector<std::uint8_t> m_block = std::vector<std::uint8_t>(1 << 22);
    WorkBlock m_saved_block{};
};

} // namespace

// ---- Loading ------------------------------------------------------------------------------------

// The model names its collision files; they are found beside it. Water (set B) turns on the
// play state's water mode.
TEST_F(MeshWorldTest, LoadTakesTheThreeCollisionSetsNamedByTheModel)
{
    ASSERT_EQ(load_error(k_floor), "no error");
    GoMesh& mesh = load(k_floor, D3DXVECTOR3(1.0f, 2.0f, 3.0f), 1);
    EXPECT_EQ(mesh.has_collision_a, 1);
    EXPECT_EQ(mesh.has_collision_b, 1);
    EXPECT_EQ(mesh.has_collision_c, 1);
    EXPECT_EQ(g_play_state.water_mode, 1);
    EXPECT_EQ(mesh.collision_b.triangles.front().a.y, k_water_height);
    EXPECT_EQ(mesh.enabled, 1);
    EXPECT_EQ(mesh.anim_on, 1);
    EXPECT_EQ(mesh.alpha, 1.0f);
    EXPECT_EQ(mesh.render_row, RQ_ROW_MESHES);
    EXPECT_EQ(mesh.status.level, 1);
    EXPECT_EQ(mesh.status.atk, 999.0f); // kind 1
    EXPECT_EQ(mesh.status.def, 999.0f);
    EXPECT_EQ(mesh.hit_once, mesh.hit_once_entries);
    EXPECT_EQ(mesh.hit_once_count, static_cast<std::uint32_t>(MESH_HIT_ONCE_ENTRIES));
    EXPECT_STREQ(mesh.model_path, k_floor);
    EXPECT_STREQ(mesh.name, "mesh");
    EXPECT_EQ(mesh.identity, 0);
    EXPECT_EQ(mesh.combined._42, 2.0f);
    EXPECT_EQ(mesh.moved, 0); // being placed is no move
    for (const ModelMaterial& material : mesh.model->materials)
        EXPECT_TRUE(material.word & MODEL_MATERIAL_FLAG);
}

TEST_F(MeshWorldTest, SetsBAndCMayBeMissingButNotSetA)
{
    GoMesh& mesh = load(k_sets_missing);
    EXPECT_EQ(mesh.has_collision_a, 1);
    EXPECT_EQ(mesh.has_collision_b, 0);
    EXPECT_EQ(mesh.has_collision_c, 0);
    EXPECT_EQ(g_play_state.water_mode, 0);

    GoMesh& plain = load(k_box);
    EXPECT_EQ(plain.has_collision_a, 0); // a model naming no set has none

    const std::string folder = k_folder;
    EXPECT_EQ(load_error(k_no_set_a), error_text(ERR_OPEN_FILE, folder + "nothing.z", MESH_LINE_COLLISION_A));
    EXPECT_EQ(load_error("data\\map\\test\\absent.qmo"),
              error_text(ERR_OPEN_FILE, "data\\map\\test\\absent.qmo", MESH_LINE_MODEL));
}

// A path that would not fit whole is refused, not cut into the name of another file.
TEST_F(MeshWorldTest, AnOverlongModelPathIsRefused)
{
    const std::string longest(MESH_PATH_SIZE - 1, 'a');
    EXPECT_EQ(load_error(longest.c_str()), error_text(ERR_OPEN_FILE, longest, MESH_LINE_MODEL));
    char unterminated[MESH_PATH_SIZE + 8];
    std::fill(std::begin(unterminated), std::end(unterminated), 'a');
    unterminated[MESH_PATH_SIZE + 7] = '\0';
    EXPECT_EQ(load_error(unterminated), error_text(ERR_OVERFLOW, "model path", MESH_LINE_MODEL));
}

TEST_F(MeshWorldTest, NamesAreCopiedBoundedAndASecondNameSetsTheMode)
{
    const std::string long_name(300, 'n');
    GoMesh* mesh = obj_create<GoMesh>(g_pool_mesh);
    ASSERT_NE(mesh, nullptr);
    mesh->Load(k_box, {}, {}, D3DXVECTOR3(1, 1, 1), 0, 0, 0, long_name.c_str(), "statue", long_name.c_str());
    EXPECT_EQ(std::string(mesh->name), long_name.substr(0, MESH_NAME_SIZE - 1));
    EXPECT_EQ(std::string(mesh->third_name), long_name.substr(0, MESH_THIRD_NAME_SIZE - 1));
    EXPECT_STREQ(mesh->second_name, "statue");
    EXPECT_EQ(mesh->mode_value, 1);
    EXPECT_EQ(mesh->status.atk, 0.0f); // kind 0

    GoMesh* moded = obj_create<GoMesh>(g_pool_mesh);
    moded->Load(k_box, {}, {}, D3DXVECTOR3(1, 1, 1), 0, 0, 5, nullptr, "statue", nullptr);
    EXPECT_EQ(moded->mode_value, 5);
}

TEST_F(MeshWorldTest, OptionBitsGiveResistancesAndTheNoMinimumByte)
{
    GoMesh* mesh = obj_create<GoMesh>(g_pool_mesh);
    ASSERT_NE(mesh, nullptr);
    mesh->Load(k_box, {}, {}, D3DXVECTOR3(1, 1, 1),
               MESH_OPT_RESIST_1 | MESH_OPT_RESIST_3 | MESH_OPT_NO_MINIMUM, 0, 0, nullptr, nullptr, nullptr);
    EXPECT_EQ(mesh->status.resist[0], 0.0f);
    EXPECT_EQ(mesh->status.resist[1], 1.0f);
    EXPECT_EQ(mesh->status.resist[2], 0.0f);
    EXPECT_EQ(mesh->status.resist[3], 1.0f);
    EXPECT_EQ(mesh->status.no_minimum, 1);
}

// One translucent material makes the whole model translucent; the wind bit starts the wind.
TEST_F(MeshWorldTest, TheOpaqueFlagFollowsEveryMaterial)
{
    for (std::size_t i = 0; i < std::size(k_material_cases); ++i) {
        const MaterialCase& c = k_material_cases[i];
        g_play_state.wind_on = 0;
        GoMesh& mesh = load(material_model_path(i).c_str());
        EXPECT_EQ(mesh.opaque, c.opaque ? 1 : 0) << c.label;
        EXPECT_EQ(g_play_state.wind_on, (c.material.bits & MESH_MAT_WIND) ? 1 : 0) << c.label;
    }
}

TEST_F(MeshWorldTest, TheMeshReleasesItsModelWhenDeleted)
{
    GoMesh& mesh = load(k_box);
    const ResourceHandle handle = ResrcMgr::Load(k_box, {}, RESRC_POOL_MODEL, RESRC_KEEP_CACHED);
    const ResourceRecord* record = ResrcMgr::Get(handle);
    ASSERT_NE(record, nullptr);
    const std::int32_t held = record->refcount;
    go_kill(mesh);
    obj_sweep_dead();
    EXPECT_EQ(record->refcount, held - 1);
    ResrcMgr::Release(RESRC_POOL_MODEL, record->object);
}

// The writer's named nodes hang under the model's first node where the mesh's pose puts them.
TEST_F(MeshWorldTest, NamedNodesFollowTheMesh)
{
    GoMesh& ball = load(k_iron_ball, D3DXVECTOR3(10.0f, 0.0f, 0.0f));
    const struct {
        const char* node;
        D3DXVECTOR3 at;
    } cases[] = {
        {"f_0002", {10.0f, 1.0f, 0.0f}}, {"f_0003", {11.0f, 0.0f, 0.0f}}, {"f_0005", {12.0f, 0.0f, 0.0f}}};
    for (const auto& c : cases) {
        const D3DXMATRIX* node = model_find_node_matrix(*ball.model, c.node);
        ASSERT_NE(node, nullptr) << c.node;
        EXPECT_NEAR(node->_41, c.at.x, 1e-5f) << c.node;
        EXPECT_NEAR(node->_42, c.at.y, 1e-5f) << c.node;
        EXPECT_NEAR(node->_43, c.at.z, 1e-5f) << c.node;
    }
    EXPECT_EQ(model_find_node_matrix(*ball.model, "f_0007"), nullptr);
}

// ---- Moves and queries --------------------------------------------------------------------------

TEST_F(MeshWorldTest, AMovedMeshIsHitWhereItIsNowAndADisabledOneNeverIs)
{
    GoMesh& floor = load(k_floor);
    EXPECT_EQ(floor.identity, 1);
    HitSegment segment;
    hit_segment_init_simple(D3DXVECTOR3(0, 5, 0), D3DXVECTOR3(0, -5, 0), segment);
    ASSERT_TRUE(hit_segment_meshes_a(segment));
    EXPECT_NEAR(segment.hit_point.y, 0.0f, 1e-5f);

    floor.SetMoveTarget(D3DXVECTOR3(0.0f, 2.0f, 0.0f), 0.0f, 2.0f);
    g_paused = 0;
    game_step_mesh_move(floor);
    EXPECT_EQ(floor.identity, 0);
    hit_segment_init_simple(D3DXVECTOR3(0, 5, 0), D3DXVECTOR3(0, -5, 0), segment);
    ASSERT_TRUE(hit_segment_meshes_a(segment));
    EXPECT_NEAR(segment.hit_point.y, 2.0f, 1e-5f);

    floor.enabled = 0;
    hit_segment_init_simple(D3DXVECTOR3(0, 5, 0), D3DXVECTOR3(0, -5, 0), segment);
    EXPECT_FALSE(hit_segment_meshes_a(segment));
    draw({&floor});
    for (int row = 0; row < RQ_ROW_COUNT; ++row)
        EXPECT_EQ(g_rq_rows[row].used, 0u) << row;
}

struct ProbeSeen {
    std::size_t lists = 0;
    std::size_t triangles = 0;
};

void count_probe(std::span<const CollisionList> lists, void* data)
{
    auto& seen = *static_cast<ProbeSeen*>(data);
    seen.lists += lists.size();
    for (const CollisionList& list : lists)
        seen.triangles += list.count;
}

TEST_F(MeshWorldTest, QueryCollisionHandsTheTouchedSetATrianglesToTheProbe)
{
    GoMesh& floor = load(k_floor);
    ProbeSeen seen;
    HitProbe probe;
    hit_segment_init_simple(D3DXVECTOR3(0, 1, 0), D3DXVECTOR3(0, -1, 0), probe.segment);
    probe.radius = 1.0f;
    probe.callback = count_probe;
    probe.callback_data = &seen;
    floor.QueryCollision(probe);
    EXPECT_GT(seen.triangles, 0u);

    ProbeSeen far_above;
    hit_segment_init_simple(D3DXVECTOR3(0, 50, 0), D3DXVECTOR3(0, 49, 0), probe.segment);
    probe.callback_data = &far_above;
    floor.QueryCollision(probe);
    EXPECT_EQ(far_above.triangles, 0u);

    ProbeSeen disabled;
    probe.callback_data = &disabled;
    floor.enabled = 0;
    floor.QueryCollision(probe);
    EXPECT_EQ(disabled.lists, 0u);
}

// ---- Drawing ------------------------------------------------------------------------------------

// Translucent meshes are drawn after the opaque scene, the farthest first, so nearer ones blend
// over them.
TEST_F(MeshWorldTest, TranslucentMeshesGoToRowSixFarthestFirst)
{
    GoMesh& near_mesh = load(k_box, D3DXVECTOR3(0.0f, 0.0f, -5.0f));
    GoMesh& far_mesh = load(k_box, D3DXVECTOR3(0.0f, 0.0f, 10.0f));
    GoMesh& opaque = load(k_box);
    near_mesh.alpha = near_mesh.alpha_target = 0.5f;
    far_mesh.alpha = far_mesh.alpha_target = 0.5f;
    draw({&near_mesh, &far_mesh, &opaque});

    std::vector<RqCallbackItem*> items = callbacks_in_row(MESH_ROW_TRANSLUCENT);
    ASSERT_EQ(items.size(), 2u);
    std::vector<RenderQueueItem*> headers = {&items[0]->header, &items[1]->header};
    rq_sort(headers, g_rq_rows[MESH_ROW_TRANSLUCENT].sort_mode);
    EXPECT_EQ(reinterpret_cast<RqCallbackItem*>(headers[0])->user, &far_mesh);
    EXPECT_EQ(reinterpret_cast<RqCallbackItem*>(headers[1])->user, &near_mesh);
    const D3DXVECTOR3 to_near = D3DXVECTOR3(0.0f, 0.0f, -5.0f) - g_camera_state.eye;
    EXPECT_EQ(items[0]->header.key1, rq_depth_key(D3DXVec3LengthSq(&to_near)));

    // The queued callback draws the mesh with its alpha and leaves the shared model unfaded.
    items[0]->callback(&items[0]->header, items[0]->user);
    EXPECT_EQ(near_mesh.model->fade, 1.0f);
}

TEST_F(MeshWorldTest, MeshesOutsideTheViewAreCulledUnlessTheTestIsOff)
{
    GoMesh& behind = load(k_box, D3DXVECTOR3(0.0f, 5.0f, -40.0f));
    GoMesh& ahead = load(k_box, D3DXVECTOR3(0.0f, 0.0f, 10.0f));
    behind.alpha = ahead.alpha = behind.alpha_target = ahead.alpha_target = 0.5f;
    draw({&behind, &ahead});
    EXPECT_EQ(behind.culled, 1);
    EXPECT_EQ(ahead.culled, 0);
    ASSERT_EQ(callbacks_in_row(MESH_ROW_TRANSLUCENT).size(), 1u);
    EXPECT_EQ(callbacks_in_row(MESH_ROW_TRANSLUCENT)[0]->user, &ahead);

    behind.frustum_test = 0;
    draw({&behind});
    EXPECT_EQ(callbacks_in_row(MESH_ROW_TRANSLUCENT).size(), 1u);
}

// Kind 1 is drawn in its own row when it cannot be drawn at once; kinds 2 and above draw nothing.
TEST_F(MeshWorldTest, KindOneUsesItsOwnRowAndOtherKindsDrawNothing)
{
    GoMesh& translucent = load(k_box, {}, 1);
    translucent.alpha = translucent.alpha_target = 0.5f;
    GoMesh& hidden = load(k_box, {}, 2);
    hidden.alpha = hidden.alpha_target = 0.5f;
    draw({&translucent, &hidden});
    ASSERT_EQ(callbacks_in_row(RQ_ROW_MESHES).size(), 1u);
    EXPECT_EQ(callbacks_in_row(RQ_ROW_MESHES)[0]->user, &translucent);
    EXPECT_EQ(g_rq_rows[MESH_ROW_TRANSLUCENT].used, 0u);

    GoMesh& opaque = load(k_box, {}, 1);
    g_frame_effects.prepass_request = true;
    draw({&opaque});
    EXPECT_EQ(callbacks_in_row(RQ_ROW_MESHES).size(), 1u);
    g_frame_effects.prepass_request = false;
    draw({&opaque}); // at once
    for (int row = 0; row < RQ_ROW_COUNT; ++row)
        EXPECT_EQ(g_rq_rows[row].used, 0u) << row;
}

// ---- Update -------------------------------------------------------------------------------------

TEST_F(MeshWorldTest, WholeTicksPlaceTheHitShapeAndCountTheHitOnceListDown)
{
    GoMesh& mesh = load(k_box, D3DXVECTOR3(1.0f, 2.0f, 3.0f));
    mesh.SetHitShape(D3DXVECTOR3(0.0f, 1.5f, 0.0f), 1, 2.0f, 3.0f);
    EXPECT_EQ(mesh.hit_shape.class_bits, MESH_HIT_CLASS);
    EXPECT_EQ(mesh.hit_shape.target_mask, MESH_HIT_MASK);
    EXPECT_EQ(mesh.hit_shape.cylinder, 1);
    mesh.hit_once_entries[0] = {5, 2};
    mesh.world._41 = 4.0f; // moved by a script
    g_whole_tick = 0;
    mesh.Update();
    EXPECT_EQ(mesh.hit_once_entries[0].ticks_left, 2);
    EXPECT_EQ(mesh.hit_shape.centre.x, 1.0f);
    g_whole_tick = 1;
    mesh.Update();
    EXPECT_EQ(mesh.hit_once_entries[0].ticks_left, 1);
    EXPECT_EQ(mesh.hit_shape.centre.x, 4.0f);
    EXPECT_EQ(mesh.hit_shape.centre.y, 3.5f);

    // Paused: no countdown, no fade.
    mesh.alpha_target = 0.0f;
    mesh.alpha_rate = 0.25f;
    g_paused = 1;
    mesh.Update();
    EXPECT_EQ(mesh.hit_once_entries[0].ticks_left, 1);
    EXPECT_EQ(mesh.alpha, 1.0f);
    g_paused = 0;
    for (float expected : {0.75f, 0.5f, 0.25f, 0.0f, 0.0f}) {
        mesh.Update();
        EXPECT_FLOAT_EQ(mesh.alpha, expected);
    }
    EXPECT_EQ(mesh.hit_once_entries[0].ticks_left, 0);
}

// ---- Trap effects -------------------------------------------------------------------------------

// On each whole tick a trap sets its mesh's attack and starts its effect at each of its nodes that
// the model has (the test model has "f_0002", "f_0003" and "f_0005"): the effect is placed at the
// node on the enemies' side in row 11, and takes its own status from its eex row. Easy lowers
// both attacks.
TEST_F(MeshWorldTest, TrapsStartTheirEffectsAtTheirNodesOnWholeTicks)
{
    const struct {
        const char* what;
        std::uint32_t bits;
        std::int32_t effect;
        float attack, easy_attack, eex_attack;
        std::vector<D3DXVECTOR3> at;
    } cases[] = {
        {"iron ball", MESH_IRON_BALL, 121, 195.0f, 185.0f, k_ball_eex_attack, {{10.0f, 1.0f, 0.0f}}},
        {"rolling edge", MESH_ROLLING_EDGE, 125, 230.0f, 220.0f, k_edge_eex_attack, {{10.0f, 1.0f, 0.0f}}},
        {"rolling spikes",
         MESH_ROLLING_SPIKES,
         126,
         230.0f,
         220.0f,
         k_edge_eex_attack,
         {{11.0f, 0.0f, 0.0f}, {12.0f, 0.0f, 0.0f}}},
    };
    for (const auto& c : cases) {
        for (const bool easy : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (easy ? ", Easy" : ""));
            g_play_state.game_flags[GF_EASY] = easy ? 1 : 0;
            GoMesh& mesh = load(k_iron_ball, D3DXVECTOR3(10.0f, 0.0f, 0.0f));
            mesh.special_bits = c.bits;
            g_draw_frame = 0;
            g_whole_tick = 0;
            mesh.Update();
            EXPECT_EQ(g_pool_effect.count, 0) << "a part tick starts nothing";

            g_whole_tick = 1;
            for (int tick = 1; tick <= 2; ++tick) {
                mesh.Update();
                ASSERT_EQ(g_pool_effect.count, static_cast<std::int32_t>(c.at.size() * tick));
            }
            EXPECT_EQ(mesh.status.atk, easy ? c.easy_attack : c.attack);
            for (std::size_t i = 0; i < c.at.size(); ++i) {
                const auto& effect = *static_cast<GoEffect*>(g_pool_effect.active[i]);
                EXPECT_EQ(effect.effect_id, c.effect);
                EXPECT_EQ(effect.side, 1);
                EXPECT_EQ(effect.render_row, EFFECT_ROW);
                EXPECT_EQ(effect.draw_matrix, &effect.world);
                EXPECT_NEAR(effect.world._41, c.at[i].x, 1e-5f);
                EXPECT_NEAR(effect.world._42, c.at[i].y, 1e-5f);
                EXPECT_NEAR(effect.world._43, c.at[i].z, 1e-5f);
                EXPECT_NEAR(effect.world._11, 1.0f, 1e-6f) << "scale 1, no rotation";
                EXPECT_EQ(effect.status.max_hp, k_eex_hp);
                EXPECT_EQ(effect.status.atk, c.eex_attack - (easy ? 5.0f : 0.0f));
            }
            obj_destroy_all();
        }
    }
}

// A full particle pool (or effect pool) skips the tick's trap effect; the model's node decides
// whether the trap hurts at all.
TEST_F(MeshWorldTest, NoTrapEffectIntoAFullPoolOrWithoutTheNode)
{
    GoMesh& plain = load(k_box);
    plain.special_bits = MESH_IRON_BALL; // a model without the node "f_0002"
    g_draw_frame = 0;
    plain.Update();
    EXPECT_EQ(g_pool_effect.count, 0);
    EXPECT_EQ(plain.status.atk, 0.0f);

    GoMesh& ball = load(k_iron_ball);
    ball.special_bits = MESH_IRON_BALL;
    while (obj_create<GoEffect>(g_pool_effect)) {
    }
    const std::int32_t effects = g_pool_effect.count;
    ball.Update();
    EXPECT_EQ(g_pool_effect.count, effects);
    EXPECT_EQ(ball.status.atk, 195.0f) << "the attack does not wait for the effect pool";
    obj_destroy_all();

    GoMesh& starved = load(k_iron_ball);
    starved.special_bits = MESH_IRON_BALL;
    while (obj_create<GoParticle>(g_pool_particle)) {
    }
    starved.Update();
    EXPECT_EQ(g_pool_effect.count, 0);
    EXPECT_EQ(starved.status.atk, 0.0f);
}

// ---- Shadows ------------------------------------------------------------------------------------

// Batch 3 takes each special object's shadow under it; the colour's strength is 0x99 at most.
TEST_F(MeshWorldTest, TheSpecialObjectsCastTheirShadowsIntoBatchThree)
{
    load(k_floor);
    const struct {
        const char* path;
        D3DXVECTOR3 at;
        float min_x, max_x; // where the shadow's triangles lie
    } cases[] = {
        {k_bucket, {2.0f, 1.0f, 0.0f}, -3.0f, 7.0f},
        {k_iron_ball, {-6.0f, 3.0f, 0.0f}, -12.5f, 0.5f},
        {k_foothold, {-10.0f, 0.5f, 0.0f}, -15.0f, 22.0f},
    };
    for (const auto& c : cases) {
        GoMesh& mesh = load(c.path, c.at);
        mesh.special_bits = mesh_special_bits(c.path);
        mesh.frustum_test = 0;
        draw({&mesh});
        const std::vector<BatchVertex> vertices = shadow_vertices();
        ASSERT_FALSE(vertices.empty()) << c.path;
        float min_x = vertices[0].x, max_x = vertices[0].x;
        for (const BatchVertex& v : vertices) {
            min_x = std::min(min_x, v.x);
            max_x = std::max(max_x, v.x);
            EXPECT_LE(v.diffuse >> 24, 0x99u) << c.path;
            EXPECT_NEAR(v.y, 0.0f, 0.05f) << c.path;
        }
        EXPECT_GE(min_x, c.min_x) << c.path;
        EXPECT_LE(max_x, c.max_x) << c.path;
        if (c.path == k_foothold) {
            EXPECT_GT(max_x - min_x, 25.0f); // four shadows, 9 apart
        }
        for (int batch = 0; batch < TRI_BATCH_COUNT; ++batch) {
            if (batch != 3) {
                EXPECT_EQ(g_tri_batches[batch].count, 0u) << batch;
            }
        }
        go_kill(mesh);
        obj_sweep_dead();
    }
}

TEST_F(MeshWorldTest, NoShadowWithoutItsNodeOrGroundAndNoneIntoAFullBatch)
{
    GoMesh& ball = load(k_box, D3DXVECTOR3(0.0f, 3.0f, 0.0f));
    ball.special_bits = MESH_IRON_BALL; // a model without the node "f_0002"
    load(k_floor);
    draw({&ball});
    EXPECT_EQ(g_tri_batches[3].count, 0u);

    GoMesh& bucket = load(k_bucket, D3DXVECTOR3(0.0f, 3.0f, 0.0f));
    bucket.special_bits = MESH_BUCKET;
    renderer_reset_frame_state();
    g_tri_batches[3].count = g_tri_batches[3].capacity;
    bucket.Update();
    EXPECT_EQ(g_tri_batches[3].count, g_tri_batches[3].capacity);

    // Off the floor's edge nothing lies below.
    GoMesh& off = load(k_bucket, D3DXVECTOR3(k_floor_half + 5.0f, 3.0f, 0.0f));
    off.special_bits = MESH_BUCKET;
    off.frustum_test = 0;
    draw({&off});
    EXPECT_EQ(g_tri_batches[3].count, 0u);
}

// ---- The title map ------------------------------------------------------------------------------

class TitleMapTest : public MeshWorldTest {
protected:
    void SetUp() override
    {
        MeshWorldTest::SetUp();
        std::filesystem::current_path(m_disk.path());
        const std::filesystem::path folder = m_disk.path() / "data" / "map" / "s_00" / "s_0000";
        ASSERT_TRUE(qmo_write_file(folder / "s_0000.qmo", box_named("title_a")));
        ASSERT_TRUE(qco_write_file(folder / "title_a", qco_image(level_quad(0.0f))));
    }

    WorkingDirectoryGuard m_directory;
    TempFolder m_disk;
};

// The title loads its scenery from a loose file and takes it away with it.
TEST_F(TitleMapTest, TheTitleCreatesItsMapFromDiskAndKillsItWhenDeleted)
{
    GoWndDemo* title = obj_create<GoWndDemo>(g_pool_wnddemo);
    ASSERT_NE(title, nullptr);
    title->InitTitle();
    GoMesh* map = title->title_map.get();
    ASSERT_NE(map, nullptr);
    EXPECT_NE(map->model, nullptr);
    EXPECT_STREQ(map->model_path, "data\\map\\s_00\\s_0000\\s_0000.qmo");
    EXPECT_EQ(map->identity, 1);
    EXPECT_EQ(map->kind, 0);
    EXPECT_EQ(map->has_collision_a, 1); // found beside the loose model

    const ObjHandle<GoMesh> handle(map);
    go_kill(*title);
    obj_sweep_dead();
    obj_sweep_dead(); // the map dies with the title, in the same sweep or the next
    EXPECT_FALSE(handle);
    EXPECT_EQ(g_pool_mesh.count, 0);
}

TEST_F(TitleMapTest, AFullMeshPoolLeavesTheTitleMapOut)
{
    while (obj_create<GoMesh>(g_pool_mesh)) {
    }
    const std::int32_t full = g_pool_mesh.count;
    GoWndDemo* title = obj_create<GoWndDemo>(g_pool_wnddemo);
    ASSERT_NE(title, nullptr);
    title->InitTitle();
    EXPECT_FALSE(title->title_map);
    EXPECT_EQ(g_pool_mesh.count, full);
}
