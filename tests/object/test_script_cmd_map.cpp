#include "doubles/script_harness.h"

#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_scene_map.h"
#include "gfx/effect_fixture.h"
#include "gfx/go_effect.h"
#include "lowlv/d3d/renderer_frame.h"
#include "object/actor/go_actor.h"
#include "object/go_mesh.h"

#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <string>

namespace {

constexpr std::int32_t k_plain_scene = 0;
constexpr std::int32_t k_full_speed_scene = 1; // one of the scenes whose moves keep their speed
constexpr const char* k_lift_model = "data\\map\\world\\lift.qmo";
constexpr std::int32_t k_node_effect = 40;
constexpr std::int32_t k_player_key = 13;
const D3DXVECTOR3 k_gate_at(1.0f, 2.0f, 3.0f);

// A box with the node "tip" one unit above it and two holding ranges: keys 0-3 and 4-9.
QmoImage lift_image()
{
    QmoImage image = qmo_box(0.5f);
    qmo_add_named_nodes(image, {{"tip", {0.0f, 1.0f, 0.0f}}});
    QmoTrack track{.node = "box"};
    for (int key = 0; key < 10; ++key)
        track.translation.push_back({{0.0f, 0.0f, 0.0f}, static_cast<float>(key)});
    image.tracks = {track};
    image.ranges = {{.start = 0, .length = 4}, {.start = 4, .length = 6}};
    return image;
}

EftFile lasting_effect()
{
    EftEmitter emitter;
    emitter.state.life = 100;
    return eft_fixture_single(emitter);
}

struct RowCase {
    const char* name;
    std::string body;
    std::function<void(const ScriptState&)> check;
    std::function<void()> before = [] {};
    int ticks = 1;
};

// Two meshes of the scene's map: "Gate", a plain box, and "Lift", animated with a node.
class ScriptCmdMapTest : public ScriptHarnessTest {
protected:
    void SetUp() override
    {
        ScriptHarnessTest::SetUp();
        const SceneListRecord scenes[] = {{.path = "s_10\\s_1000\\"}, {.path = "S_54\\s_5402\\"}};
        set_scenes(scenes, k_plain_scene);
        g_effect_list.assign(EFFECT_ID_COUNT, {});
        eft_fixture_put(k_node_effect, lasting_effect());
        place_meshes({{.position = {k_gate_at.x, k_gate_at.y, k_gate_at.z}, .name = "Gate"},
                      {.model_path = k_lift_model, .name = "Lift"}},
                     {world_model_file(k_lift_model, lift_image())});
    }
    void TearDown() override
    {
        ScriptHarnessTest::TearDown();
        eft_free_list();
    }

    // The meshes as the map loads them, no actor, the plain scene current and the play state clear.
    static void start_case()
    {
        obj_destroy_all();
        g_player = g_camera_focus = nullptr;
        g_play_state = {};
        g_play_state.scene_id = k_plain_scene;
        scene_load_objects(WORLD_MAP_STEM);
    }

    static GoMesh& mesh(const char* name)
    {
        GoMesh* found = scene_find_mesh(name);
        EXPECT_NE(found, nullptr) << name;
        return *found;
    }

    // Each case on a fresh world: its own set-up, then its script for its ticks.
    void run_cases(std::span<const RowCase> cases)
    {
        for (const RowCase& c : cases) {
            SCOPED_TRACE(c.name);
            start_case();
            c.before();
            c.check(run_script(c.body, c.ticks));
        }
    }

    // The player, and so the camera's focus, standing at the point.
    static void focus_at(const D3DXVECTOR3& at)
    {
        add_actor({.key = k_player_key, .position = at, .player = true});
    }
};

void expect_vec(const D3DXVECTOR3& got, const D3DXVECTOR3& want)
{
    EXPECT_FLOAT_EQ(got.x, want.x);
    EXPECT_FLOAT_EQ(got.y, want.y);
    EXPECT_FLOAT_EQ(got.z, want.z);
}

std::string call(std::int32_t id, const std::string& words)
{
    return script_call(id, words) + "\n";
}

} // namespace

// Each case runs on meshes fresh from the map for one whole tick, in which the script runs before
// the mover and the meshes' own update.
TEST_F(ScriptCmdMapTest, RowsChangeTheNamedMesh)
{
    const auto very_easy = [] { g_play_state.game_flags[GF_VERY_EASY] = 1; };
    const RowCase cases[] = {
        {"remove: dead, not hittable, no longer found", call(141, R"("gATE")"),
         [](const ScriptState& s) {
             EXPECT_TRUE(s.ended);
             EXPECT_EQ(scene_find_mesh("Gate"), nullptr);
         }},
        {"active off", call(222, R"("Gate" 0)"),
         [](const ScriptState&) { EXPECT_EQ(mesh("Gate").enabled, 0); }},
        {"active on with any non-zero word", call(222, R"("Gate" 5)"),
         [](const ScriptState&) { EXPECT_EQ(mesh("Gate").enabled, 1); }, [] { mesh("Gate").enabled = 0; }},
        {"place moves the world matrix", call(244, R"("Gate" 4.0 5.0 6.0)"),
         [](const ScriptState&) {
             expect_vec(matrix_position(mesh("Gate").world), {4.0f, 5.0f, 6.0f});
             expect_vec(matrix_position(mesh("Gate").combined), {4.0f, 5.0f, 6.0f});
         }},
        {"spin", call(78, R"("Gate" 2.0 4.0 -6.0)"),
         [](const ScriptState&) {
             expect_vec(mesh("Gate").spin_speeds, {2.0f, 4.0f, -6.0f});
         }},
        {"spin halved in Very Easy", call(78, R"("Gate" 2.0 4.0 -6.0)"),
         [](const ScriptState&) {
             expect_vec(mesh("Gate").spin_speeds, {1.0f, 2.0f, -3.0f});
         },
         very_easy},
        {"spin in Very Easy is halved in the listed scenes too", call(78, R"("Gate" 2.0 4.0 -6.0)"),
         [](const ScriptState&) {
             expect_vec(mesh("Gate").spin_speeds, {1.0f, 2.0f, -3.0f});
         },
         [&] {
             very_easy();
             g_play_state.scene_id = k_full_speed_scene;
         }},
        {"move", call(148, R"("Gate" 1.0 100.0 3.0 4.0 1.0)"),
         [](const ScriptState&) {
             expect_vec(mesh("Gate").move_target, {1.0f, 100.0f, 3.0f});
             EXPECT_FLOAT_EQ(mesh("Gate").arrival_distance, 4.0f);
             EXPECT_FLOAT_EQ(mesh("Gate").move_speed, 1.0f);
             EXPECT_FLOAT_EQ(matrix_position(mesh("Gate").world).y, 3.0f) << "the mover took one step";
         }},
        {"move halved in Very Easy", call(148, R"("Gate" 1.0 100.0 3.0 4.0 1.0)"),
         [](const ScriptState&) {
             expect_vec(mesh("Gate").move_target, {1.0f, 100.0f, 3.0f});
             EXPECT_FLOAT_EQ(mesh("Gate").arrival_distance, 2.0f);
             EXPECT_FLOAT_EQ(mesh("Gate").move_speed, 0.5f);
         },
         very_easy},
        {"move in Very Easy keeps its values in a listed scene, any case",
         call(148, R"("Gate" 1.0 100.0 3.0 4.0 1.0)"),
         [](const ScriptState&) {
             EXPECT_FLOAT_EQ(mesh("Gate").arrival_distance, 4.0f);
             EXPECT_FLOAT_EQ(mesh("Gate").move_speed, 1.0f);
         },
         [&] {
             very_easy();
             g_play_state.scene_id = k_full_speed_scene;
         }},
        {"wait for the move passes for a mesh never sent", call(221, R"("Gate")"),
         [](const ScriptState& s) { EXPECT_TRUE(s.ended); }},
        {"fade: 1/n a tick toward the target", call(142, R"("Gate" 0.25 4)"),
         [](const ScriptState&) {
             EXPECT_FLOAT_EQ(mesh("Gate").alpha_target, 0.25f);
             EXPECT_FLOAT_EQ(mesh("Gate").alpha_rate, 0.25f);
             EXPECT_FLOAT_EQ(mesh("Gate").alpha, 0.75f);
         }},
        {"fade over 0 ticks is at once", call(142, R"("Gate" 0.0 0)"),
         [](const ScriptState&) { EXPECT_FLOAT_EQ(mesh("Gate").alpha, 0.0f); }},
        {"opacity now", call(143, R"("Gate" 0.5)"),
         [](const ScriptState&) { EXPECT_FLOAT_EQ(mesh("Gate").alpha, 0.5f); }},
        {"cull off with a radius", call(146, R"("Gate" 0 2.5)"),
         [](const ScriptState&) {
             EXPECT_EQ(mesh("Gate").frustum_test, 0);
             EXPECT_FLOAT_EQ(mesh("Gate").cull_radius, 2.5f);
         }},
        {"cull on with any non-zero word", call(146, R"("Gate" 3 0.0)"),
         [](const ScriptState&) { EXPECT_EQ(mesh("Gate").frustum_test, 1); },
         [] { mesh("Gate").frustum_test = 0; }},
        {"hit points and their copy", call(286, R"("Gate" 12.5)"),
         [](const ScriptState&) {
             EXPECT_FLOAT_EQ(mesh("Gate").status.hp, 12.5f);
             EXPECT_FLOAT_EQ(mesh("Gate").hp_copy, 12.5f);
         }},
        {"wait for the break passes at 0", call(286, R"("Gate" 0.0)") + call(280, R"("Gate")"),
         [](const ScriptState& s) { EXPECT_TRUE(s.ended); }},
        {"wait for the break holds above 0", call(286, R"("Gate" 0.5)") + call(280, R"("Gate")"),
         [](const ScriptState& s) { EXPECT_TRUE(s.waits); }, [] {}, 3},
        // ---- Animation: the script plays the range, the mesh's update then advances it a key
        {"anim2 plays the range from its first key", call(253, R"("Lift" 1 0 0)"),
         [](const ScriptState&) {
             EXPECT_EQ(mesh("Lift").anim_range, 1);
             EXPECT_EQ(mesh("Lift").anim_instance.range, 1u);
             EXPECT_FLOAT_EQ(mesh("Lift").anim_instance.time, 5.0f);
             EXPECT_EQ(mesh("Lift").anim_instance.state & MODEL_STATE_BLENDING, 0u);
         }},
        {"anim2 cross-fades with b", call(253, R"("Lift" 1 0 1)"),
         [](const ScriptState&) { EXPECT_NE(mesh("Lift").anim_instance.state & MODEL_STATE_BLENDING, 0u); }},
        {"anim2 with a < 0 shows the last frame", call(253, R"("Lift" 1 -1 0)"),
         [](const ScriptState&) { EXPECT_FLOAT_EQ(mesh("Lift").anim_instance.time, 9.0f); }},
        {"anim2 past the count keeps the running range", call(253, R"("Lift" 2 -1 1)"),
         [](const ScriptState&) {
             EXPECT_EQ(mesh("Lift").anim_range, 0);
             EXPECT_EQ(mesh("Lift").anim_instance.range, 0u);
             EXPECT_FLOAT_EQ(mesh("Lift").anim_instance.time, 1.0f);
             EXPECT_EQ(mesh("Lift").anim_instance.state & MODEL_STATE_BLENDING, 0u);
         }},
        {"anim2 of a negative index", call(253, R"("Lift" -1 -1 0)"),
         [](const ScriptState&) { EXPECT_EQ(mesh("Lift").anim_instance.range, 0u); }},
        {"anim is anim2 without the blend word", call(144, R"("Lift" 1 -1 1)"),
         [](const ScriptState&) {
             EXPECT_EQ(mesh("Lift").anim_instance.range, 1u);
             EXPECT_FLOAT_EQ(mesh("Lift").anim_instance.time, 9.0f);
             EXPECT_EQ(mesh("Lift").anim_instance.state & MODEL_STATE_BLENDING, 0u);
         }},
        {"anim2 on a model without ranges", call(253, R"("Gate" 0 -1 1)"),
         [](const ScriptState& s) { EXPECT_TRUE(s.ended); }},
    };
    run_cases(cases);
}

TEST_F(ScriptCmdMapTest, WaitForTheMoveHoldsUntilTheMoverArrives)
{
    start_case();
    // Two units at half a unit a tick, stopping within a squared distance of 0.5.
    load_script(call(148, R"("Gate" 1.0 4.0 3.0 0.0 0.5)") + call(221, R"("Gate")"));
    ScriptState state = run_ticks(4);
    EXPECT_TRUE(state.waits);
    EXPECT_FLOAT_EQ(matrix_position(mesh("Gate").world).y, 3.5f) << "arrived short of the target";
    EXPECT_EQ(mesh("Gate").arrival_distance, 0.0f);
    state = run_ticks(1);
    EXPECT_TRUE(state.ended);
}

// A name that finds no mesh: the waits hold, every other row does nothing and a test gives 0.
TEST_F(ScriptCmdMapTest, ANameFindingNothing)
{
    for (std::int32_t id : {221, 280}) {
        SCOPED_TRACE(id);
        start_case();
        EXPECT_TRUE(run_script(call(id, R"("Nothing")"), 3).waits);
        EXPECT_TRUE(run_script(call(id, "-1"), 3).waits) << "no name operand";
    }
    const struct {
        const char* body;
        bool test; // sets REG
    } cases[] = {
        {R"(call 141 "Nothing")", false},
        {"call 141 -1", false},
        {R"(call 222 "Nothing" 0)", false},
        {R"(call 244 "Nothing" 4.0 5.0 6.0)", false},
        {R"(call 78 "Nothing" 2.0 4.0 -6.0)", false},
        {R"(call 148 "Nothing" 1.0 100.0 3.0 4.0 1.0)", false},
        {R"(call 142 "Nothing" 0.0 0)", false},
        {R"(call 143 "Nothing" 0.0)", false},
        {R"(call 146 "Nothing" 0 2.5)", false},
        {R"(call 144 "Nothing" 1 -1)", false},
        {R"(call 253 "Nothing" 1 -1 1)", false},
        {R"(call 147 "Nothing" "tip" 40)", false},
        {R"(call 147 "Lift" "nowhere" 40)", false},
        {R"(call 147 "Lift" -1 40)", false},
        {R"(call 286 "Nothing" 0.0)", false},
        {R"(call 287 "Nothing" 0.0)", false},
        {R"(call 288 "Nothing" 100000.0)", true},
        {R"(call 262 "Nothing" -9.0 -9.0 -9.0 9.0 9.0 9.0)", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        start_case();
        const ScriptState state = run_script(std::string("SCRIPT_OP_SETINT 1\n") + c.body + "\n");
        EXPECT_TRUE(state.ended);
        EXPECT_EQ(state.reg, c.test ? 0 : 1);
        const GoMesh& gate = mesh("Gate");
        EXPECT_EQ(gate.enabled, 1);
        expect_vec(matrix_position(gate.world), k_gate_at);
        EXPECT_EQ(gate.spin_speeds, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        EXPECT_EQ(gate.arrival_distance, 0.0f);
        EXPECT_FLOAT_EQ(gate.alpha, 1.0f);
        EXPECT_EQ(mesh("Lift").anim_instance.range, 0u);
        EXPECT_EQ(g_pool_effect.count, 0);
    }
}

TEST_F(ScriptCmdMapTest, NodeEffectStartsAtUnitScaleAndFollowsTheNode)
{
    start_case();
    // Drawn wherever the camera looks, so its nodes are posed each frame.
    run_script(call(146, R"("Lift" 0 0.0)") + call(147, R"("LIFT" "tip" 40)"));
    ASSERT_EQ(g_pool_effect.count, 1);
    auto* effect = static_cast<GoEffect*>(g_pool_effect.active[0]);
    EXPECT_EQ(effect->effect_id, k_node_effect);
    EXPECT_EQ(effect->parent_matrix, model_find_node_matrix(*mesh("Lift").model, "tip"));
    EXPECT_EQ(effect->follow, EFFECT_FOLLOW_PARENT);
    expect_vec(effect->scale, {1.0f, 1.0f, 1.0f});
    expect_vec(matrix_position(effect->world), {0.0f, 1.0f, 0.0f});

    run_script(call(244, R"("Lift" 5.0 0.0 -2.0)"));
    expect_vec(matrix_position(effect->world), {5.0f, 1.0f, -2.0f});
}

// The gate stands at (1, 2, 3); the player three units along x and four along z from it.
TEST_F(ScriptCmdMapTest, NearAndBoxTestsMeasureFromTheCameraFocus)
{
    const auto focus_beside = [] { focus_at(k_gate_at + D3DXVECTOR3(3.0f, 0.0f, 4.0f)); };
    const auto focus_on_face = [] { focus_at(k_gate_at + D3DXVECTOR3(1.0f, 0.0f, 0.5f)); };
    const RowCase cases[] = {
        {"near: within the radius", call(288, R"("Gate" 5.5)"),
         [](const ScriptState& s) { EXPECT_EQ(s.reg, 1); }, focus_beside},
        {"near: at the radius is not nearer", call(288, R"("Gate" 5.0)"),
         [](const ScriptState& s) { EXPECT_EQ(s.reg, 0); }, focus_beside},
        {"near without a focus: the far distance", call(288, R"("Gate" 100000.0)"),
         [](const ScriptState& s) { EXPECT_EQ(s.reg, 1); }},
        {"near without a focus: short of it", call(288, R"("Gate" 99999.0)"),
         [](const ScriptState& s) { EXPECT_EQ(s.reg, 0); }},
        {"near with a focus ignores the far distance", call(288, R"("Gate" 99999.0)"),
         [](const ScriptState& s) { EXPECT_EQ(s.reg, 1); }, focus_beside},
        {"wait near holds outside the radius", call(287, R"("Gate" 4.5)"),
         [](const ScriptState& s) { EXPECT_TRUE(s.waits); }, focus_beside, 3},
        {"wait near goes on inside it", call(287, R"("Gate" 5.5)"),
         [](const ScriptState& s) { EXPECT_TRUE(s.ended); }, focus_beside},
        {"wait near without a focus holds", call(287, R"("Gate" 99999.0)"),
         [](const ScriptState& s) { EXPECT_TRUE(s.waits); }, [] {}, 3},
        {"wait near without a focus, past the far distance", call(287, R"("Gate" 100000.0)"),
         [](const ScriptState& s) { EXPECT_TRUE(s.ended); }},
        {"box: a point on the x face", call(262, R"("Gate" -1.0 0.0 -1.0 1.0 1.0 1.0)"),
         [](const ScriptState& s) { EXPECT_EQ(s.reg, 1); }, focus_on_face},
        {"box: the corners in the other order", call(262, R"("Gate" 1.0 1.0 1.0 -1.0 0.0 -1.0)"),
         [](const ScriptState& s) { EXPECT_EQ(s.reg, 1); }, focus_on_face},
        {"box: the corners mixed", call(262, R"("Gate" 1.0 0.0 -1.0 -1.0 1.0 1.0)"),
         [](const ScriptState& s) { EXPECT_EQ(s.reg, 1); }, focus_on_face},
        {"box: just short of the face", call(262, R"("Gate" -1.0 0.0 -1.0 0.99 1.0 1.0)"),
         [](const ScriptState& s) { EXPECT_EQ(s.reg, 0); }, focus_on_face},
        {"box without a focus tests the origin", call(262, R"("Gate" -1.0 -2.0 -3.0 -2.0 -3.0 -4.0)"),
         [](const ScriptState& s) { EXPECT_EQ(s.reg, 1); }},
        {"box without a focus, the origin outside", call(262, R"("Gate" -1.5 -2.0 -3.0 -2.0 -3.0 -4.0)"),
         [](const ScriptState& s) { EXPECT_EQ(s.reg, 0); }},
    };
    run_cases(cases);
}
