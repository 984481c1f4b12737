#include "doubles/script_harness.h"

#include "game/g_game.h"
#include "game/g_game_flags.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "lowlv/d3d/renderer_frame.h"
#include "scenegraph/renderer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t k_current_scene = 1;
constexpr std::int32_t k_other_scene = 2;

class ScriptCmdScreenTest : public ScriptHarnessTest {
protected:
    void SetUp() override
    {
        ScriptHarnessTest::SetUp();
        const SceneListRecord scenes[] = {{.path = "s_00\\s_0000\\"},
                                          {.path = "s_10\\s_1000\\", .map_x = 5, .map_y = 6},
                                          {.path = "s_10\\s_1001\\"}};
        set_scenes(scenes, k_current_scene);
    }
    void TearDown() override
    {
        start_case();
        g_scene_fade_in = 0;
        ScriptHarnessTest::TearDown();
    }

    // No scene change is pending and the next scene entry fades in.
    static void start_case()
    {
        g_play_state = {};
        g_play_state.scene_id = k_current_scene;
        g_scene_lighting = play_scene_lighting() = g_scene_lighting_defaults;
        g_scene_change_busy = 0;
        g_scene_pending = 0;
        g_scene_fade_in = 1;
    }
};

struct RowCase {
    const char* name;
    std::string body;
    std::function<void()> check;
    std::function<void()> before = [] {};
};

template <typename T> void expect_at(std::size_t offset, T value)
{
    EXPECT_EQ(play_state_at<T>(offset), value) << "at +" << offset;
}

// The light vectors in their order, read from the renderer's light block and from the scene's
// light state alike.
enum class Light { main_colour, extra_colour, up, ambient, direction };

const D3DXVECTOR4& light_vector(const SceneLighting& light, Light which)
{
    switch (which) {
    case Light::main_colour:
        return light.light_colors[0];
    case Light::extra_colour:
        return light.light_colors[1];
    case Light::up:
        return light.up;
    case Light::ambient:
        return light.ambient;
    case Light::direction:
        break;
    }
    return light.light_direction;
}

void expect_light(Light which, const D3DXVECTOR4& want)
{
    for (const SceneLighting* light : {&g_scene_lighting, &play_scene_lighting()}) {
        const D3DXVECTOR4& v = light_vector(*light, which);
        EXPECT_FLOAT_EQ(v.x, want.x);
        EXPECT_FLOAT_EQ(v.y, want.y);
        EXPECT_FLOAT_EQ(v.z, want.z);
        EXPECT_FLOAT_EQ(v.w, want.w);
    }
}

D3DXVECTOR4 colour_of(std::uint32_t argb)
{
    float rgba[4];
    renderer_color_from_argb(argb, rgba);
    return {rgba[0], rgba[1], rgba[2], rgba[3]};
}

// Each case runs its row on one whole tick of the world and reads the play state at the offsets
// the save file and the renderer's steps know. Rates of 0 keep the tick's own steps from moving
// the strengths that the rows set.
TEST_F(ScriptCmdScreenTest, RowsWriteThePlayStateFields)
{
    const RowCase cases[] = {
        // ---- Screen effects
        {"afterimage without a path", script_call(75, "0.5 0.0 -1"),
         [] {
             expect_at<float>(312, 0.5f);
             expect_at<float>(316, 0.0f);
             expect_at<std::uint8_t>(436, 1);
             EXPECT_EQ(g_scene_fade_in, 1);
             EXPECT_EQ(g_play_state.requested_scene_id, 0);
         }},
        {"afterimage with a path keeps the fade and requests the scene",
         script_call(75, R"(0.5 0.0 "s_10\s_1001\")"),
         [] {
             expect_at<std::uint8_t>(436, 1);
             EXPECT_EQ(g_scene_fade_in, 0);
             EXPECT_EQ(g_play_state.requested_scene_id, k_other_scene);
         }},
        {"afterimage with an unlisted path requests nothing", script_call(75, R"(0.5 0.0 "s_99\s_9999\")"),
         [] {
             expect_at<std::uint8_t>(436, 1);
             EXPECT_EQ(g_scene_fade_in, 1);
             EXPECT_EQ(g_play_state.requested_scene_id, 0);
         }},
        {"afterimage of 0 only stores", script_call(75, R"(0.0 0.25 "s_10\s_1001\")"),
         [] {
             expect_at<float>(316, 0.25f);
             expect_at<std::uint8_t>(436, 0);
             EXPECT_EQ(g_scene_fade_in, 1);
             EXPECT_EQ(g_play_state.requested_scene_id, 0);
         }},
        {"afterimage rate moves the strength on the tick", script_call(75, "0.5 0.125 -1"),
         [] {
             expect_at<float>(312, 0.625f);
             expect_at<float>(316, 0.125f);
         }},
        {"zoom blur", script_call(76, "0.75 0.0"),
         [] {
             expect_at<float>(320, 0.75f);
             expect_at<float>(324, 0.0f);
         }},
        {"shake: amplitudes, then ticks, counted down by the tick", script_call(77, "0.25 0.5 0.75 10"),
         [] {
             expect_at<float>(348, 0.25f);
             expect_at<float>(352, 0.5f);
             expect_at<float>(356, 0.75f);
             expect_at<std::int32_t>(372, 9);
         }},
        {"flash keeps its three values", script_call(285, "0.5 -0.25 3.0"),
         [] {
             expect_at<float>(340, 0.5f);
             expect_at<float>(344, -0.25f);
             expect_at<float>(388, 3.0f);
         }},
        {"tint on sets the colour", script_call(225, "7 0x00FF8040"),
         [] {
             expect_at<std::uint8_t>(385, 1);
             expect_at<std::uint32_t>(376, 0x00FF8040u);
         }},
        {"tint off keeps the colour", script_call(225, "0 0x00FF8040"),
         [] {
             expect_at<std::uint8_t>(385, 0);
             expect_at<std::uint32_t>(376, 0x11223344u);
         },
         [] {
             g_play_state.screen_grey = 1;
             g_play_state.screen_tint = 0x11223344u;
         }},
        {"cover layer on", script_call(228, "0.125 -0.5 0.75 9"),
         [] {
             expect_at<float>(424, 0.125f);
             expect_at<float>(428, -0.5f);
             expect_at<std::int32_t>(420, 1);
             expect_at<float>(7048, 0.75f);
             expect_at<std::int32_t>(7052, 9);
         }},
        {"cover layer strength 0 switches it off", script_call(228, "0.125 0.25 0.0 -3"),
         [] {
             expect_at<std::int32_t>(420, 0);
             expect_at<float>(7048, 0.0f);
             expect_at<std::int32_t>(7052, -3);
         },
         [] { g_play_state.sky_scroll_on = 1; }},
        {"dark scene with 1", script_call(48, "1"), [] { expect_at<std::uint8_t>(383, 1); }},
        {"dark scene not with 2", script_call(48, "2"), [] { expect_at<std::uint8_t>(383, 0); }},
        // ---- The scene's light
        {"main light: colour and unit direction", script_call(53, "0x80FF4020 3.0 0.0 -4.0"),
         [] {
             expect_light(Light::main_colour, colour_of(0x80FF4020u));
             expect_light(Light::direction, {0.6f, 0.0f, -0.8f, g_scene_lighting_defaults.light_direction.w});
             expect_light(Light::extra_colour, g_scene_lighting_defaults.light_colors[1]);
         }},
        {"main light: a zero direction stays zero", script_call(53, "0xFF000000 0.0 0.0 0.0"),
         [] {
             expect_light(Light::main_colour, {0.0f, 0.0f, 0.0f, 1.0f});
             expect_light(Light::direction, {0.0f, 0.0f, 0.0f, g_scene_lighting_defaults.light_direction.w});
         }},
        {"extra light: second colour, ambient and up vector",
         script_call(54, "0x11223344 0xFF808080 0.0 2.0 0.5"),
         [] {
             expect_light(Light::extra_colour, colour_of(0x11223344u));
             expect_light(Light::ambient, colour_of(0xFF808080u));
             expect_light(Light::up, {0.0f, 2.0f, 0.5f, g_scene_lighting_defaults.up.w});
             expect_light(Light::main_colour, g_scene_lighting_defaults.light_colors[0]);
         }},
        // ---- Scene state
        {"player area", script_call(264, "-1.5 -2.5 3.5 4.5"),
         [] {
             expect_at<float>(440, -1.5f);
             expect_at<float>(444, -2.5f);
             expect_at<float>(448, 3.5f);
             expect_at<float>(452, 4.5f);
         }},
        {"damage factor", script_call(276, "1.25"), [] { expect_at<float>(7132, 1.25f); }},
        {"music id", script_call(52, "17"), [] { expect_at<std::int32_t>(7112, 17); }},
        {"music id -1 keeps it", script_call(52, "-1"), [] { expect_at<std::int32_t>(7112, 4); },
         [] { g_play_state.music_id = 4; }},
        {"map position truncated", script_call(39, "123.75 0.5"),
         [] {
             EXPECT_EQ(g_scene_list[k_current_scene].map_x, 123);
             EXPECT_EQ(g_scene_list[k_current_scene].map_y, 0);
         }},
        {"map position saturates, NaN gives 0", script_call(39, "70000.0 0x7FC00000"),
         [] {
             EXPECT_EQ(g_scene_list[k_current_scene].map_x, 65535);
             EXPECT_EQ(g_scene_list[k_current_scene].map_y, 0);
             EXPECT_EQ(g_scene_list[k_other_scene].map_x, 0);
         }},
        {"map position below 0 gives 0", script_call(39, "-5.0 -1e9"),
         [] {
             EXPECT_EQ(g_scene_list[k_current_scene].map_x, 0);
             EXPECT_EQ(g_scene_list[k_current_scene].map_y, 0);
         }},
        {"map position without a listed scene", script_call(39, "1.0 2.0"),
         [] { EXPECT_EQ(g_scene_list[k_current_scene].map_x, 5); },
         [] {
             g_scene_list[k_current_scene].map_x = 5;
             g_play_state.scene_id = 3;
         }},
        // ---- Rings, items and unlocks
        {"ring with one slot in use", script_call(38, "21"), [] { expect_at<std::int32_t>(528, 21); },
         [] { g_play_state.game_flags[GF_RING_SLOTS] = 1; }},
        {"ring with no slot in use", script_call(38, "21"), [] { expect_at<std::int32_t>(528, 0); }},
        {"item entry 0", script_call(272, "30"), [] { expect_at<std::int32_t>(7032, 30); }},
        {"item-use unlock 20", script_call(290, "20"), [] { expect_at<std::uint8_t>(7184 + 20, 1); }},
        {"gallery unlock 11", script_call(294, "11"), [] { expect_at<std::uint8_t>(4920 + 11, 1); }},
    };
    for (const RowCase& c : cases) {
        SCOPED_TRACE(c.name);
        start_case();
        c.before();
        const ScriptState state = run_script(c.body);
        EXPECT_TRUE(state.ended);
        c.check();
    }
}

// Unlock indices outside their lists write nothing, neither in the list nor beside it.
TEST_F(ScriptCmdScreenTest, UnlocksOutsideTheirListsChangeNothing)
{
    const struct {
        const char* name;
        std::int32_t id;
        std::int32_t index;
    } cases[] = {
        {"item use 21", 290, 21}, {"item use -1", 290, -1}, {"gallery 12", 294, 12}, {"gallery -1", 294, -1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start_case();
        const PlayState before = g_play_state;
        run_script(script_call(c.id, std::to_string(c.index)));
        EXPECT_EQ(std::memcmp(&before.gallery, &g_play_state.gallery, sizeof before.gallery), 0);
        EXPECT_EQ(std::memcmp(&before.warp_points, &g_play_state.warp_points, sizeof before.warp_points), 0);
        EXPECT_EQ(
            std::memcmp(&before.reserved_7205, &g_play_state.reserved_7205, sizeof before.reserved_7205), 0);
        EXPECT_EQ(before.base_max_hp, g_play_state.base_max_hp);
    }
}

// The harness itself: a wait holds the script at its call, REG and the end are handed back.
TEST_F(ScriptCmdScreenTest, HarnessReportsWaitsRegAndTheEnd)
{
    const ScriptState waiting = run_script("SCRIPT_OP_SETINT 7\ncall FUNCID_WAIT_TICKS 5\n", 2);
    EXPECT_EQ(waiting.reg, 7);
    EXPECT_TRUE(waiting.waits);
    EXPECT_FALSE(waiting.ended);
    const ScriptState ended = run_ticks(10);
    EXPECT_TRUE(ended.ended);
    EXPECT_FALSE(ended.waits);
}

} // namespace
