#include "tick_fixture.h"

#include "core/maths.h"
#include "game/g_screen_fx.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <numbers>

namespace {

constexpr double k_pi = std::numbers::pi;

using ScreenEffects = TickTest;

// The sway of one grid point at these phases (degrees, however large).
struct GridPoint {
    double x, y;
};
GridPoint grid_point(int i, double phase_x, double phase_y)
{
    const float amplitudes[12] = {7.0f, 7.0f, 5.25f, 5.25f, 4.0f, 4.0f, 4.0f, 4.0f, 5.25f, 5.25f, 7.0f, 7.0f};
    const double a = amplitudes[i % 12];
    const ScreenVertex& rest = g_grid_distortion.rest[i];
    return {rest.x + std::sin(phase_x * k_pi / 180.0) * a,
            rest.y + std::sin(phase_y * k_pi / 180.0) * a * 1.25};
}

// A shake offset's factor from one draw of the generator: the low 23 bits as the mantissa of a
// float in [1, 2), mapped onto [-1, 1).
float shake_factor(std::uint32_t draw)
{
    const float r = std::bit_cast<float>((draw & 0x7FFFFFu) | 0x3F800000u);
    return 2.0f * (r - 1.0f) - 1.0f;
}

} // namespace

// A running afterimage changes by its rate a step and stays within 0..1; the renderer gets the
// strength. An afterimage that is off stays off and leaves the renderer alone.
TEST_F(ScreenEffects, AfterimageMovesByItsRateWithinZeroAndOne)
{
    const struct {
        const char* name;
        float strength, rate, length, expected, renderer;
    } cases[] = {
        {"rises", 0.5f, 0.1f, 1.0f, 0.6f, 0.6f},        {"half a step", 0.5f, 0.1f, 0.5f, 0.55f, 0.55f},
        {"held at one", 0.95f, 0.1f, 1.0f, 1.0f, 1.0f}, {"fades out", 0.05f, -0.1f, 1.0f, 0.0f, 0.0f},
        {"off", 0.0f, 0.3f, 1.0f, 0.0f, 0.25f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_play_state.afterimage_alpha = c.strength;
        g_play_state.afterimage_rate = c.rate;
        g_frame_effects.afterimage_alpha = 0.25f;
        g_frame_step = c.length;
        game_step_screen_effects();
        EXPECT_FLOAT_EQ(g_play_state.afterimage_alpha, c.expected);
        EXPECT_FLOAT_EQ(g_frame_effects.afterimage_alpha, c.renderer);
    }
}

// A running zoom blur draws four layers 0.02 apart from the screen texture; at its end the
// renderer's zoom is off and its centre back in the middle of the screen.
TEST_F(ScreenEffects, ZoomBlurRunsInFourLayersAndEndsCentred)
{
    const struct {
        const char* name;
        float strength, rate, expected;
        std::uint32_t layers;
        float zoom_step;
        bool screen_texture;
    } cases[] = {
        {"rises", 0.5f, 0.1f, 0.6f, 4, 0.02f, true},
        {"held at one", 0.95f, 0.1f, 1.0f, 4, 0.02f, true},
        {"ends", 0.05f, -0.1f, 0.0f, 0, 0.0f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_play_state.zoom_blur_alpha = c.strength;
        g_play_state.zoom_blur_rate = c.rate;
        g_frame_effects.zoom_centre = D3DXVECTOR2(10.0f, 20.0f);
        g_frame_effects.screen_texture_mode = false;
        game_step_screen_effects();
        EXPECT_FLOAT_EQ(g_play_state.zoom_blur_alpha, c.expected);
        EXPECT_FLOAT_EQ(g_frame_effects.zoom_alpha, c.expected);
        EXPECT_EQ(g_frame_effects.zoom_layers, c.layers);
        EXPECT_FLOAT_EQ(g_frame_effects.zoom_step, c.zoom_step);
        EXPECT_EQ(g_frame_effects.screen_texture_mode, c.screen_texture);
        const D3DXVECTOR2 centre = c.layers ? D3DXVECTOR2(10.0f, 20.0f) : D3DXVECTOR2(320.0f, 240.0f);
        EXPECT_EQ(g_frame_effects.zoom_centre.x, centre.x);
        EXPECT_EQ(g_frame_effects.zoom_centre.y, centre.y);
    }
}

// The fire blur exists only with the "FireBlur" setting. While it runs the renderer draws the
// grid from the screen texture at the fire-blur parameter's strength.
TEST_F(ScreenEffects, FireBlurRunsOnlyWithItsSetting)
{
    const struct {
        const char* name;
        std::uint8_t setting;
        float strength, rate, expected;
        bool enabled;
        float grid_alpha;
        bool screen_texture;
    } cases[] = {
        {"setting off", 0, 0.5f, 0.1f, 0.5f, false, 0.25f, false},
        {"rises", 1, 0.5f, 0.1f, 0.6f, true, 0.7f, true},
        {"held at one", 1, 0.95f, 0.1f, 1.0f, true, 0.7f, true},
        {"ends", 1, 0.05f, -0.1f, 0.0f, true, 0.0f, false},
        {"off", 1, 0.0f, 0.1f, 0.0f, true, 0.25f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_fire_blur = c.setting;
        g_play_state.fire_blur_alpha = c.strength;
        g_play_state.fire_blur_rate = c.rate;
        g_play_state.fire_blur_param = 0.7f;
        g_frame_effects = {};
        g_frame_effects.grid_alpha = 0.25f;
        game_step_screen_effects();
        EXPECT_FLOAT_EQ(g_play_state.fire_blur_alpha, c.expected);
        EXPECT_EQ(g_frame_effects.grid_enable, c.enabled);
        EXPECT_FLOAT_EQ(g_frame_effects.grid_alpha, c.grid_alpha);
        EXPECT_EQ(g_frame_effects.screen_texture_mode, c.screen_texture);
    }
}

// After the renderer drew the grid, the next whole tick sets every point back to its rest
// position swayed by the sines of its two phases, which then move on by 1 and 6 degrees.
TEST_F(ScreenEffects, TheGridMovesOnceAfterEachDrawnGrid)
{
    g_fire_blur = 1;
    const GridDistortion before = g_grid_distortion;
    const struct {
        const char* name;
        bool whole;
        bool drawn;
        bool moves;
    } cases[] = {
        {"not drawn", true, false, false},
        {"between whole ticks", false, true, false},
        {"drawn", true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_whole_tick = c.whole;
        g_frame_effects.grid_drawn = c.drawn;
        game_step_screen_effects();
        EXPECT_EQ(g_frame_effects.grid_drawn, c.drawn && !c.moves);
        EXPECT_EQ(g_grid_distortion.phases[0][1] != before.phases[0][1], c.moves);
    }
    for (int i = 0; i < GRID_VERTEX_COUNT; ++i) {
        SCOPED_TRACE(i);
        const GridPoint expected = grid_point(i, before.phases[0][i], before.phases[1][i]);
        EXPECT_NEAR(g_grid_distortion.vertices[i].x, expected.x, 1e-4);
        EXPECT_NEAR(g_grid_distortion.vertices[i].y, expected.y, 1e-4);
        EXPECT_EQ(g_grid_distortion.vertices[i].u, before.rest[i].u);
        EXPECT_EQ(g_grid_distortion.phases[0][i], (before.phases[0][i] + 1) % 360);
        EXPECT_EQ(g_grid_distortion.phases[1][i], (before.phases[1][i] + 6) % 360);
    }
}

// However long the fire blur runs, its phases stay within one turn, and the points are those of
// phases that would have grown without end.
TEST_F(ScreenEffects, GridPhasesStayWithinOneTurnAndGiveTheUnwrappedPoints)
{
    g_fire_blur = 1;
    g_whole_tick = 1;
    const GridDistortion before = g_grid_distortion;
    constexpr int k_moves = 400;
    for (int move = 0; move < k_moves; ++move) {
        g_frame_effects.grid_drawn = true;
        game_step_screen_effects();
    }
    for (int i = 0; i < GRID_VERTEX_COUNT; ++i) {
        SCOPED_TRACE(i);
        for (int table = 0; table < 2; ++table) {
            EXPECT_GE(g_grid_distortion.phases[table][i], 0);
            EXPECT_LT(g_grid_distortion.phases[table][i], 360);
        }
        // The last move used the phases of 399 moves.
        const GridPoint expected = grid_point(i, before.phases[0][i] + (k_moves - 1) * 1.0,
                                              before.phases[1][i] + (k_moves - 1) * 6.0);
        EXPECT_NEAR(g_grid_distortion.vertices[i].x, expected.x, 1e-4);
        EXPECT_NEAR(g_grid_distortion.vertices[i].y, expected.y, 1e-4);
    }
}

// A shake draws new offsets from the one generator on each whole tick while it lasts; a new
// request replaces it, and a request of 0 ticks ends it without drawing again.
TEST_F(ScreenEffects, CameraShakeDrawsOffsetsWhileItsTicksLast)
{
    PlayState& ps = g_play_state;
    math_rand_seed();
    std::uint32_t draws[7];
    for (std::uint32_t& draw : draws)
        draw = math_rand_u32();
    math_rand_seed();

    camera_set_shake(5, 1.0f, 2.0f, 3.0f);
    camera_set_shake(2, 0.5f, 0.0f, 4.0f); // replaces the first
    EXPECT_EQ(ps.shake_ticks, 2);
    g_whole_tick = 1;
    for (int tick = 0; tick < 2; ++tick) {
        game_step_screen_effects();
        EXPECT_FLOAT_EQ(ps.shake_offset[0], 0.5f * shake_factor(draws[3 * tick]));
        EXPECT_FLOAT_EQ(ps.shake_offset[1], 0.0f);
        EXPECT_FLOAT_EQ(ps.shake_offset[2], 4.0f * shake_factor(draws[3 * tick + 2]));
    }
    EXPECT_EQ(ps.shake_ticks, 0);
    const float last_x = ps.shake_offset[0];
    game_step_screen_effects();
    EXPECT_EQ(ps.shake_offset[0], last_x);

    camera_set_shake(10, 1.0f, 1.0f, 1.0f);
    g_whole_tick = 0;
    game_step_screen_effects();
    EXPECT_EQ(ps.shake_ticks, 10) << "only whole ticks shake";
    camera_set_shake(0, 1.0f, 1.0f, 1.0f);
    g_whole_tick = 1;
    game_step_screen_effects();
    EXPECT_EQ(ps.shake_offset[0], last_x);
    EXPECT_EQ(ps.shake_ticks, 0);
    EXPECT_EQ(math_rand_u32(), draws[6]) << "nothing more was drawn";
}

// The countdown runs down on whole ticks and rests at 0; the effect time sums the steps for the
// renderer; the screen-texture flag follows its request and asks the renderer for the texture.
TEST_F(ScreenEffects, CountdownEffectTimeAndScreenTexture)
{
    PlayState& ps = g_play_state;
    const struct {
        const char* name;
        bool whole;
        float length;
        std::uint8_t countdown, expected_countdown;
        std::uint8_t request;
    } cases[] = {
        {"whole tick", true, 1.0f, 3, 2, 1},
        {"between whole ticks", false, 0.25f, 3, 3, 0},
        {"run down", true, 1.0f, 0, 0, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_whole_tick = c.whole;
        g_frame_step = c.length;
        ps.countdown = c.countdown;
        ps.screen_texture_request = c.request;
        ps.screen_texture = 1 - c.request;
        ps.effect_time = 10.0f;
        g_frame_effects.screen_texture_mode = false;
        game_step_screen_effects();
        EXPECT_EQ(ps.countdown, c.expected_countdown);
        EXPECT_EQ(ps.screen_texture, c.request);
        EXPECT_EQ(g_frame_effects.screen_texture_mode, c.request != 0);
        EXPECT_FLOAT_EQ(ps.effect_time, 10.0f + c.length);
        EXPECT_FLOAT_EQ(g_model_scene.effect_time, 10.0f + c.length);
    }
}

// The wind's phase turns 0.011 a step and its offset grows by the sway of two table cosines;
// the renderer always gets the offset as an angle of pi / 128 a unit.
TEST_F(ScreenEffects, WindSwaysWhileItBlowsAndTheWorldRuns)
{
    const struct {
        const char* name;
        std::uint8_t on;
        std::uint8_t paused;
        float length;
    } cases[] = {
        {"blows", 1, 0, 1.0f},
        {"half a step", 1, 0, 0.5f},
        {"paused", 1, 1, 1.0f},
        {"calm", 0, 0, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlayState& ps = g_play_state;
        ps.wind_on = c.on;
        ps.wind_phase = 1.0f;
        ps.wind_offset = 2.0f;
        g_paused = c.paused;
        g_frame_step = c.length;
        game_step_wind();
        float phase = 1.0f, offset = 2.0f;
        if (c.on && !c.paused) {
            phase += 0.011f * c.length;
            const long k = std::lround(phase * 40.743664);
            offset +=
                c.length * ((std::cos(2 * k_pi * (3 * k) / 256) + std::cos(2 * k_pi * k / 256)) * 0.2 + 0.5);
        }
        EXPECT_FLOAT_EQ(ps.wind_phase, phase);
        EXPECT_NEAR(ps.wind_offset, offset, 1e-5);
        EXPECT_NEAR(g_model_scene.wind.x, offset * k_pi / 128, 1e-6);
        EXPECT_EQ(g_model_scene.wind.w, g_model_scene.wind.x);
    }
}

// The player's lamp is point light 3 for one frame: a pulsing green light with the lamp worn,
// a faint dark one without; it brightens toward full, and the next frame start puts it out.
// Without the point-light shader there is no lamp, and without a player no light.
TEST_F(ScreenEffects, ThePlayersLampIsPointLight3ForOneFrame)
{
    GoActor* player = spawn(g_pool_actor);
    D3DXMatrixTranslation(&player->world, 4.0f, 2.0f, -6.0f);
    player->foot_offset = 1.5f;
    const struct {
        const char* name;
        std::uint8_t shader;
        bool has_player;
        bool worn;
        float facing;
        bool lit;
    } cases[] = {
        {"lamp worn", 1, true, true, 1.58f, true},
        {"no lamp", 1, true, false, 0.0f, true},
        {"no player", 1, false, false, 0.0f, false},
        {"no shader", 0, true, true, 0.0f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlayState& ps = g_play_state;
        g_device_settings.settings.point_light_vs = c.shader;
        g_player = c.has_player ? player : nullptr;
        player->facing = c.facing;
        ps.equip_bonus.accessory_bits = c.worn ? 0x100 : 0;
        ps.lamp_phase = 0.3f;
        ps.lamp_intensity = 0.5f;
        renderer_reset_frame_state();
        game_step_lamp();
        EXPECT_FLOAT_EQ(ps.lamp_phase, 0.355f);
        EXPECT_EQ(g_frame_effects.shadow_lighting, c.shader != 0);
        const PointLight& light = g_frame_effects.point_lights[3];
        if (!c.shader) {
            EXPECT_EQ(ps.lamp_intensity, 0.0f);
        }
        if (!c.lit) {
            EXPECT_EQ(light.params[0], 0.0f);
            EXPECT_EQ(light.params[1], 0.0f);
            continue;
        }
        const float s = std::sin(0.355f);
        EXPECT_FLOAT_EQ(ps.lamp_intensity, 0.55f);
        const float forward = c.worn ? 0.9f : 0.35f;
        // The facing goes by the 256-step table: a little past a quarter turn is step 64.
        const double table_angle = c.facing == 0.0f ? 0.0 : k_pi / 2;
        EXPECT_NEAR(light.position.x, 4.0 + std::cos(table_angle) * forward, 1e-5);
        EXPECT_FLOAT_EQ(light.position.y, 1.75f);
        EXPECT_NEAR(light.position.z, -6.0 + std::sin(table_angle) * forward, 1e-5);
        const D3DXVECTOR4 color = c.worn
                                      ? D3DXVECTOR4((s * 0.03f + 0.02f) * 0.55f, (s * 0.08f + 0.07f) * 0.55f,
                                                    (s * 0.03f + 0.02f) * 0.55f, 0.0f)
                                      : D3DXVECTOR4(0.0f, 0.0f, 0.0f, 0.0f);
        EXPECT_FLOAT_EQ(light.color.x, color.x);
        EXPECT_FLOAT_EQ(light.color.y, color.y);
        EXPECT_FLOAT_EQ(light.color.z, color.z);
        EXPECT_EQ(light.color.w, 0.0f);
        EXPECT_FLOAT_EQ(light.params[0], c.worn ? 2.0f * s + 48.0f : 35.5f + 0.25f * s);
        EXPECT_FLOAT_EQ(light.params[1], c.worn ? 31.5f + 0.5f * s : 30.0f);
        for (int other = 0; other < 3; ++other)
            EXPECT_EQ(g_frame_effects.point_lights[other].params[0], 0.0f);

        renderer_reset_frame_state();
        EXPECT_EQ(light.params[0], 0.0f);
        EXPECT_EQ(light.params[1], 0.0f);
    }
}

// The lamp comes up to full brightness and stays there.
TEST_F(ScreenEffects, TheLampBrightensTowardFullWithoutPassingIt)
{
    g_device_settings.settings.point_light_vs = 1;
    g_player = spawn(g_pool_actor);
    g_play_state.lamp_intensity = 0.98f;
    game_step_lamp();
    EXPECT_EQ(g_play_state.lamp_intensity, 1.0f);
}

// The clouds scroll only with the cloud shader, and only while the world runs; the renderer gets
// the offsets and the switch as its cover mode.
TEST_F(ScreenEffects, CloudsScrollOnlyWithTheCloudShader)
{
    const struct {
        const char* name;
        std::int32_t on;
        std::uint8_t shader;
        std::uint8_t paused;
        float expected_x;
        float cover;
    } cases[] = {
        {"scrolling", 1, 1, 0, 1.5f, 1.0f},
        {"paused", 1, 1, 1, 1.0f, 1.0f},
        {"no shader", 1, 0, 0, 1.0f, 0.0f},
        {"off", 0, 1, 0, 1.0f, 0.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PlayState& ps = g_play_state;
        ps.sky_scroll_on = c.on;
        ps.sky_scroll[0] = 1.0f;
        ps.sky_scroll[1] = -2.0f;
        ps.sky_scroll_speed[0] = 0.25f;
        ps.sky_scroll_speed[1] = -0.5f;
        g_device_settings.settings.cloud_vs = c.shader;
        g_paused = c.paused;
        g_frame_step = 2.0f;
        renderer_reset_frame_state();
        g_frame_effects.cover_scroll[0] = g_frame_effects.cover_scroll[1] = 0.0f;
        game_step_clouds();
        EXPECT_FLOAT_EQ(ps.sky_scroll[0], c.expected_x);
        EXPECT_FLOAT_EQ(ps.sky_scroll[1], c.expected_x == 1.0f ? -2.0f : -3.0f);
        EXPECT_EQ(g_frame_effects.cover_mode, c.cover);
        EXPECT_FLOAT_EQ(g_frame_effects.cover_scroll[0], c.cover != 0.0f ? c.expected_x : 0.0f);
    }
}

// The scene's light reaches the renderer with its direction made a unit vector.
TEST_F(ScreenEffects, SceneLightReachesTheRendererNormalised)
{
    SceneLighting& scene = play_scene_lighting();
    scene.light_direction = D3DXVECTOR4(3.0f, 0.0f, -4.0f, 0.25f);
    scene.ambient = D3DXVECTOR4(0.5f, 0.25f, 0.125f, 1.0f);
    game_apply_scene_light();
    EXPECT_FLOAT_EQ(g_scene_lighting.light_direction.x, 0.6f);
    EXPECT_FLOAT_EQ(g_scene_lighting.light_direction.z, -0.8f);
    EXPECT_EQ(g_scene_lighting.light_direction.w, 0.25f);
    EXPECT_TRUE(g_scene_lighting.ambient == scene.ambient);
    EXPECT_TRUE(scene.light_direction == D3DXVECTOR4(3.0f, 0.0f, -4.0f, 0.25f)) << "the scene keeps its own";
}
