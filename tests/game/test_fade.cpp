#include "game/g_fade.h"

#include "gl_device_fixture.h"
#include "tick_fixture.h"

#include "game/g_game.h"
#include "game/g_image_table.h"
#include "game/g_overlay.h"
#include "game/g_play_status.h"
#include "game/g_scn_data.h"
#include "game/sound_fixture.h"
#include "lib/wav_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

constexpr float k_nan = std::numeric_limits<float>::quiet_NaN();
constexpr float k_infinity = std::numeric_limits<float>::infinity();

void reset_scene_change()
{
    g_scene_pending = 0;
    g_scene_change_busy = 0;
}

void reset_fade()
{
    g_fade = {};
    g_fade_layer = FADE_LAYER_BEHIND_HUD;
}

ArrivalRecord arrival(const char* tag)
{
    ArrivalRecord record{{1.0f, 2.0f, 3.0f}, 0.5f, 4, {}};
    std::strcpy(record.tag, tag);
    return record;
}

bool same_arrival(const ArrivalRecord& a, const ArrivalRecord& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct QueuedLayer {
    std::uint32_t key;
    RqCallback callback;
    void* user;
    bool operator==(const QueuedLayer&) const = default;
};

// Row 13's items in queueing order; the row holds callback items only.
std::vector<QueuedLayer> row13_layers()
{
    const RenderQueueRow& row = g_rq_rows[13];
    const auto* items = reinterpret_cast<const RqCallbackItem*>(row.buffer.get());
    std::vector<QueuedLayer> layers;
    for (std::uint32_t i = 0; i < row.used / RQ_SIZE_CALLBACK; ++i)
        layers.push_back({items[i].header.key0, items[i].callback, items[i].user});
    return layers;
}

// The fade and the scene request on the tick's device, with nothing pending, the player alive and
// the fade at rest and clear.
class FadeTest : public TickTest {
protected:
    static constexpr std::size_t k_scene_count = 64; // room for every scene id the cases request

    void SetUp() override
    {
        TickTest::SetUp();
        reset_fade();
        reset_scene_change();
        g_scene_list.assign(k_scene_count, SceneEntry{});
        g_draw_frame = 0;
        g_play_state.status.hp = 10.0f;
    }
    void TearDown() override
    {
        reset_fade();
        reset_scene_change();
        g_scene_list.clear();
        g_draw_frame = 0;
        TickTest::TearDown();
    }

    // The vertices of a logged draw, from its stream at the draw's first vertex.
    template <typename Vertex> static std::vector<Vertex> drawn_vertices(const D3D8DrawRecord& draw)
    {
        const D3DStreamBinding& stream = draw.state.streams[0];
        EXPECT_EQ(stream.stride, sizeof(Vertex));
        std::vector<Vertex> vertices(4);
        std::memcpy(vertices.data(), d3d8_buffer_data(*stream.buffer) + draw.call.start * stream.stride,
                    sizeof(Vertex) * vertices.size());
        return vertices;
    }

    // The draws a callback makes.
    template <typename Draw> static std::vector<D3D8DrawRecord> draws_of(Draw draw)
    {
        const std::size_t before = d3d8_seam_draws().size();
        draw();
        const std::vector<D3D8DrawRecord>& all = d3d8_seam_draws();
        return {all.begin() + static_cast<std::ptrdiff_t>(before), all.end()};
    }

    // The fade quad's draw: coloured, pre-transformed, blended, without a texture, two triangles.
    static void expect_fade_quad_draw(const D3D8DrawRecord& draw)
    {
        EXPECT_EQ(draw.call.type, D3DPT_TRIANGLESTRIP);
        EXPECT_EQ(draw.call.primitive_count, 2u);
        EXPECT_EQ(draw.state.vertex_shader, 196u);
        EXPECT_EQ(draw.state.textures[0], nullptr);
        EXPECT_EQ(draw.state.render[D3DRS_ALPHABLENDENABLE], static_cast<DWORD>(TRUE));
    }
};

// ---- The scene request ------------------------------------------------------------------------

// A request stands unless another is pending and it is not forced; a refused one changes nothing.
TEST_F(FadeTest, ASceneRequestIsRefusedWhileAnotherIsPendingUnlessForced)
{
    const struct {
        const char* name;
        std::int32_t pending_id;
        bool force;
        HRESULT result;
        std::int32_t requested_id;
        std::uint32_t pending_bits;
        std::uint8_t busy;
        const char* tag;
    } cases[] = {
        {"nothing pending", 0, false, S_OK, 12, 3, 1, ""},
        {"nothing pending, forced", 0, true, S_OK, 12, 3, 1, ""},
        {"one pending", 40, false, E_FAIL, 40, 0, 0, "continue"},
        {"one pending, forced", 40, true, S_OK, 12, 3, 1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset_scene_change();
        g_play_state.requested_scene_id = c.pending_id;
        std::strcpy(g_play_state.arrival.tag, "continue");
        EXPECT_EQ(scene_request_change(12, c.force), c.result);
        EXPECT_EQ(g_play_state.requested_scene_id, c.requested_id);
        EXPECT_EQ(g_scene_pending, c.pending_bits);
        EXPECT_EQ(g_scene_change_busy, c.busy);
        EXPECT_STREQ(g_play_state.arrival.tag, c.tag);
    }
}

TEST_F(FadeTest, ASceneRequestAddsToTheBitsAlreadyPending)
{
    g_scene_pending = SCENE_PENDING_ENTER;
    ASSERT_EQ(scene_request_change(5, false), S_OK);
    EXPECT_EQ(g_scene_pending, SCENE_PENDING_CLEAR | SCENE_PENDING_ENTER);
}

// ---- The record ---------------------------------------------------------------------------------

// Covered, fading in at 0.05, black, behind the HUD, nothing pending; the quad over the back
// buffer, which a device reset measures again.
TEST_F(FadeTest, ResetCoversTheScreenAndFadesInOverTheBackBuffer)
{
    g_fade.color = g_fade.second_color = 0xFFFFFF;
    g_fade.pending_scene = 9;
    g_fade.arrival = arrival("load");
    g_fade.quad[2].diffuse = 0x80FF0000;
    g_fade_layer = FADE_LAYER_FRONT;
    g_device_settings.present.BackBufferWidth = 800;
    g_device_settings.present.BackBufferHeight = 600;
    fade_reset();

    EXPECT_EQ(g_fade.value, 1.0f);
    EXPECT_EQ(g_fade.target, 0.0f);
    EXPECT_EQ(g_fade.rate, 0.05f);
    EXPECT_EQ(g_fade.color, 0u);
    EXPECT_EQ(g_fade.second_color, 0u);
    EXPECT_EQ(g_fade.pending_scene, 0);
    EXPECT_TRUE(same_arrival(g_fade.arrival, ArrivalRecord{}));
    EXPECT_EQ(g_fade_layer, 0x09000000u);
    const float x[4] = {-0.5f, 799.5f, -0.5f, 799.5f}, y[4] = {-0.5f, -0.5f, 599.5f, 599.5f};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(g_fade.quad[i].x, x[i]);
        EXPECT_EQ(g_fade.quad[i].y, y[i]);
        EXPECT_EQ(g_fade.quad[i].z, 0.0f);
        EXPECT_EQ(g_fade.quad[i].rhw, 1.0f);
        EXPECT_EQ(g_fade.quad[i].diffuse, 0u);
    }

    g_fade.value = 0.3f;
    g_device_settings.present.BackBufferWidth = 1024;
    g_device_settings.present.BackBufferHeight = 768;
    fade_init_geometry();
    EXPECT_EQ(g_fade.quad[3].x, 1023.5f);
    EXPECT_EQ(g_fade.quad[3].y, 767.5f);
    EXPECT_EQ(g_fade.quad[0].x, -0.5f);
    EXPECT_EQ(g_fade.quad[3].rhw, 1.0f);
    EXPECT_EQ(g_fade.value, 0.3f) << "only the geometry";
}

TEST_F(FadeTest, ColorsKeepTheirLow24Bits)
{
    fade_set_colors(0xFF123456, 0x80ABCDEF);
    EXPECT_EQ(g_fade.color, 0x123456u);
    EXPECT_EQ(g_fade.second_color, 0xABCDEFu);
}

// ---- The step -----------------------------------------------------------------------------------

TEST_F(FadeTest, TheValueMovesTowardTheTargetByTheRateTimesTheStep)
{
    const struct {
        float value, target, rate, step, expected;
    } cases[] = {
        {1.0f, 0.0f, 0.05f, 1.0f, 0.95f},     {1.0f, 0.0f, 0.05f, 0.5f, 0.975f},
        {0.2f, 1.0f, 0.5f, 1.0f, 0.7f},       {0.9f, 1.0f, 0.5f, 1.0f, 1.0f},
        {0.1f, 0.0f, 0.3f, 1.0f, 0.0f},       {0.4f, 0.4f, 0.3f, 1.0f, 0.4f},
        {0.0f, 1.0f, k_infinity, 1.0f, 1.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.value << " to " << c.target << " by " << c.rate << " x " << c.step);
        g_fade.value = c.value;
        g_fade.target = c.target;
        g_fade.rate = c.rate;
        g_frame_step = c.step;
        fade_update();
        EXPECT_FLOAT_EQ(g_fade.value, c.expected);
        EXPECT_EQ(script_fade_done(), c.expected == c.target);
    }
}

// The exit is requested by the first call that begins with the value at the target: the one
// after the approach arrived, or the very next when the fade already stood there. The arrival
// record reaches the play state after the request, which empties the tag there.
TEST_F(FadeTest, APendingExitFiresOnTheCallThatBeginsAtTheTarget)
{
    const ArrivalRecord load = arrival("load");
    g_fade.value = 0.5f;
    g_fade.target = 1.0f;
    g_fade.rate = 0.5f;
    g_fade.pending_scene = 33;
    g_fade.arrival = load;

    fade_update();
    EXPECT_EQ(g_fade.value, 1.0f);
    EXPECT_EQ(g_fade.pending_scene, 33) << "not on the call that arrives";
    EXPECT_EQ(g_play_state.requested_scene_id, 0);
    EXPECT_EQ(g_scene_pending, 0u);

    fade_update();
    EXPECT_EQ(g_fade.pending_scene, 0);
    EXPECT_EQ(g_play_state.requested_scene_id, 33);
    EXPECT_EQ(g_scene_pending, SCENE_PENDING_CLEAR | SCENE_PENDING_ENTER);
    EXPECT_EQ(g_scene_change_busy, 1);
    EXPECT_TRUE(same_arrival(g_play_state.arrival, load));

    // Standing at the target already: the next call.
    g_play_state.requested_scene_id = 0;
    g_play_state.arrival = {};
    g_fade.pending_scene = 34;
    fade_update();
    EXPECT_EQ(g_play_state.requested_scene_id, 34);
    EXPECT_TRUE(same_arrival(g_play_state.arrival, load));
    EXPECT_EQ(g_fade.value, 1.0f);

    // The fade requests forced: it replaces a request that stands.
    g_fade.pending_scene = 35;
    fade_update();
    EXPECT_EQ(g_play_state.requested_scene_id, 35);
}

// A dead player or a running game over forgets the exit, unless the world is frozen for the
// change; the play state's arrival record stays as it was.
TEST_F(FadeTest, ADeadPlayerOrAGameOverDropsTheExitUnlessTheWorldIsFrozen)
{
    const struct {
        const char* name;
        float hp;
        std::uint8_t game_over, frozen;
        bool requested;
    } cases[] = {
        {"alive", 10.0f, 0, 0, true},
        {"one hit point", 1.0f, 0, 0, true},
        {"dead", 0.5f, 0, 0, false},
        {"game over", 10.0f, 1, 0, false},
        {"dead, world frozen", 0.0f, 0, 1, true},
        {"game over, world frozen", 10.0f, 1, 1, true},
    };
    const ArrivalRecord kept = arrival("kept");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        reset_scene_change();
        g_play_state.requested_scene_id = 0;
        g_play_state.arrival = kept;
        g_play_state.status.hp = c.hp;
        g_game_over = c.game_over;
        g_world_frozen = c.frozen;
        g_fade.value = g_fade.target = 1.0f;
        g_fade.pending_scene = 21;
        g_fade.arrival = arrival("continue");
        fade_update();
        EXPECT_EQ(g_fade.pending_scene, 0) << "forgotten either way";
        EXPECT_EQ(g_play_state.requested_scene_id, c.requested ? 21 : 0);
        EXPECT_EQ(g_scene_pending, c.requested ? 3u : 0u);
        EXPECT_STREQ(g_play_state.arrival.tag, c.requested ? "continue" : "kept");
    }
}

// ---- Queueing -------------------------------------------------------------------------------------

// On drawn frames: the grey overlay at the key + 1 while its switch is on, then the fade at the
// key while it is not clear.
TEST_F(FadeTest, DrawnFramesQueueTheOverlayByItsSwitchAndTheFadeUnlessClear)
{
    const QueuedLayer overlay{0x09000001, &fade_draw_overlay_cb, &g_fade};
    const QueuedLayer fade{0x09000000, &fade_draw_cb, &g_fade};
    const struct {
        const char* name;
        float value;
        std::uint8_t grey, draw_frame;
        std::vector<QueuedLayer> layers;
    } cases[] = {
        {"covered", 0.5f, 0, 1, {fade}},        {"clear", 0.0f, 0, 1, {}},
        {"clear, grey", 0.0f, 1, 1, {overlay}}, {"covered, grey", 1.0f, 1, 1, {overlay, fade}},
        {"not drawn", 1.0f, 1, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rq_clear_rows();
        g_fade.value = g_fade.target = c.value;
        g_play_state.screen_grey = c.grey;
        g_draw_frame = c.draw_frame;
        fade_update();
        EXPECT_EQ(row13_layers(), c.layers);
    }

    rq_clear_rows();
    g_fade_layer = FADE_LAYER_FRONT;
    g_fade.value = g_fade.target = 1.0f;
    g_draw_frame = 1;
    fade_update();
    EXPECT_EQ(row13_layers(), (std::vector<QueuedLayer>{{0x01000002, &fade_draw_overlay_cb, &g_fade},
                                                        {0x01000001, &fade_draw_cb, &g_fade}}));
}

TEST_F(FadeTest, AFullRowDropsTheFadeForTheFrame)
{
    while (g_rq_rows[13].used + RQ_SIZE_CALLBACK <= g_rq_rows[13].capacity)
        hud_queue_layer(RQ_LAYER_HUD, &game_draw_screen_effect_cb, nullptr);
    const std::uint32_t used = g_rq_rows[13].used;
    g_fade.value = g_fade.target = 1.0f;
    g_play_state.screen_grey = 1;
    g_draw_frame = 1;
    fade_update();
    EXPECT_EQ(g_rq_rows[13].used, used);
}

// The fade moves once the objects have run, and its item is queued into the frame the tick began.
TEST_F(FadeTest, TheTickMovesTheFadeAfterTheObjectsAndQueuesItOnTheDrawnStep)
{
    fade_reset();
    GoActor* actor = spawn(g_pool_actor);
    float seen = 0.0f;
    m_on_update = [&](GoBase& object) {
        if (&object == actor) seen = g_fade.value;
    };
    step(1);
    EXPECT_EQ(seen, 1.0f);
    EXPECT_FLOAT_EQ(g_fade.value, 0.95f);
    EXPECT_EQ(row13_layers(), (std::vector<QueuedLayer>{{0x09000000, &fade_draw_cb, &g_fade}}));
    step(2, true, 0.5f);
    EXPECT_FLOAT_EQ(g_fade.value, 0.925f);
    EXPECT_EQ(row13_layers().size(), 1u) << "queued on the drawn step only";
}

// ---- Drawing ------------------------------------------------------------------------------------

// The alpha byte is floor(value x 256) held to 0-255, NaN 0; both colours take it.
TEST_F(FadeTest, TheFadeQuadTakesTheValuesAlphaOverBothColours)
{
    ASSERT_EQ(g_d3d_device->BeginScene(), D3D_OK);
    fade_reset();
    fade_set_colors(0x123456, 0x654321);
    const struct {
        float value;
        std::uint32_t alpha;
    } cases[] = {
        {0.5f, 0x80}, {0.25f, 0x40}, {1.0f / 256.0f, 0x01}, {0.999f, 0xFF}, {1.0f, 0xFF},
        {1.5f, 0xFF}, {0.0f, 0x00},  {-0.5f, 0x00},         {k_nan, 0x00},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "value " << c.value);
        g_fade.value = c.value;
        const std::vector<D3D8DrawRecord> draws = draws_of([] { fade_draw_cb(nullptr, &g_fade); });
        ASSERT_EQ(draws.size(), 1u);
        expect_fade_quad_draw(draws[0]);
        const std::vector<FadeVertex> quad = drawn_vertices<FadeVertex>(draws[0]);
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(quad[i].diffuse, c.alpha << 24 | 0x123456);
            EXPECT_EQ(quad[i].specular, c.alpha << 24 | 0x654321);
            EXPECT_EQ(quad[i].x, g_fade.quad[i].x);
            EXPECT_EQ(quad[i].y, g_fade.quad[i].y);
            EXPECT_EQ(quad[i].rhw, 1.0f);
        }
    }
}

// The overlay: the screen copy through the grey stages with two coordinate sets over the
// template's quad; then the fade quad in the play state's tint. The stage states are as before.
TEST_F(FadeTest, TheOverlayDrawsTheScreenCopyGreyThenTheTint)
{
    ASSERT_EQ(g_d3d_device->BeginScene(), D3D_OK);
    IDirect3DTexture8* white = nullptr;
    ASSERT_EQ(g_d3d_device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &white), D3D_OK);
    g_texture_handles[1] = white;
    fade_reset();
    g_play_state.screen_tint = 0x40102030;
    renderer_set_material_state(0x1041);
    const D3DDeviceState before = state();

    const std::vector<D3D8DrawRecord> draws = draws_of([] { fade_draw_overlay_cb(nullptr, &g_fade); });
    g_texture_handles[1] = nullptr;
    white->Release();
    ASSERT_EQ(draws.size(), 2u);

    const D3D8DrawRecord& grey = draws[0];
    EXPECT_EQ(grey.call.type, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(grey.call.primitive_count, 2u);
    EXPECT_EQ(grey.state.vertex_shader, 0x2C4u);
    EXPECT_EQ(grey.state.textures[0], g_renderer_surfaces.screen_texture);
    EXPECT_EQ(grey.state.textures[1], white);
    EXPECT_EQ(grey.state.render[D3DRS_TEXTUREFACTOR], 0x00A6CA8Du);
    EXPECT_EQ(grey.state.render[D3DRS_ALPHABLENDENABLE], static_cast<DWORD>(FALSE));
    const struct {
        DWORD stage;
        D3DTEXTURESTAGESTATETYPE type;
        DWORD value;
    } stages[] = {
        {0, D3DTSS_COLOROP, D3DTOP_BLENDDIFFUSEALPHA}, {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
        {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},          {0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},
        {0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR},          {1, D3DTSS_COLOROP, D3DTOP_DOTPRODUCT3},
        {1, D3DTSS_COLORARG1, D3DTA_CURRENT},          {1, D3DTSS_COLORARG2, D3DTA_TFACTOR},
        {1, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1},        {1, D3DTSS_ALPHAARG1, D3DTA_CURRENT},
        {2, D3DTSS_COLOROP, D3DTOP_DISABLE},           {2, D3DTSS_ALPHAOP, D3DTOP_DISABLE},
    };
    for (const auto& s : stages)
        EXPECT_EQ(grey.state.stage[s.stage][s.type], s.value) << "stage " << s.stage << " state " << s.type;

    struct GreyVertex {
        float x, y, z, rhw;
        D3DCOLOR diffuse, specular;
        float u0, v0, u1, v1;
    };
    const std::vector<GreyVertex> quad = drawn_vertices<GreyVertex>(grey);
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const ScreenVertex& from = g_screen_quads[SCREEN_QUAD_COPY][i];
        EXPECT_EQ(quad[i].x, from.x);
        EXPECT_EQ(quad[i].y, from.y);
        EXPECT_EQ(quad[i].rhw, 1.0f);
        EXPECT_EQ(quad[i].diffuse, 0x80FFFFFFu);
        EXPECT_EQ(quad[i].specular, 0u);
        EXPECT_EQ(quad[i].u0, from.u);
        EXPECT_EQ(quad[i].v0, from.v);
        EXPECT_EQ(quad[i].u1, from.u);
        EXPECT_EQ(quad[i].v1, from.v);
    }

    expect_fade_quad_draw(draws[1]);
    for (const FadeVertex& vertex : drawn_vertices<FadeVertex>(draws[1])) {
        EXPECT_EQ(vertex.diffuse, 0x40102030u);
        EXPECT_EQ(vertex.specular, 0u);
    }

    // The grey pass's material changed stage 0 again for the tint; the stages beyond it are back.
    for (DWORD stage = 1; stage <= 2; ++stage)
        for (D3DTEXTURESTAGESTATETYPE type : {D3DTSS_COLOROP, D3DTSS_COLORARG1, D3DTSS_COLORARG2,
                                              D3DTSS_ALPHAOP, D3DTSS_ALPHAARG1, D3DTSS_ALPHAARG2})
            EXPECT_EQ(state().stage[stage][type], before.stage[stage][type])
                << "stage " << stage << " state " << type;
}

// ---- Commands -----------------------------------------------------------------------------------

ScriptCommand fade_command(std::int32_t id)
{
    for (const ScriptCommandRow& row : fade_script_commands())
        if (row.id == id) return row.command;
    return nullptr;
}

TEST_F(FadeTest, TheFadeCommandsAreIds70To74)
{
    std::vector<std::int32_t> ids;
    for (const ScriptCommandRow& row : fade_script_commands())
        ids.push_back(row.id);
    EXPECT_EQ(ids, (std::vector<std::int32_t>{70, 71, 72, 73, 74}));
}

// Value and target are held to 0-1, the colours lose their top byte, the layer is the front key
// for any non-zero word, and the rate is 1 / n with n unsigned (0: an endless rate).
TEST_F(FadeTest, CommandsSetTheFade)
{
    GoScript* script = spawn(g_pool_script);
    ASSERT_NE(script, nullptr);
    const auto word = [](float f) { return std::bit_cast<ScriptWord>(f); };
    const auto run = [&](std::int32_t id, std::vector<ScriptWord> args) {
        ScriptCommand command = fade_command(id);
        EXPECT_NE(command, nullptr) << id;
        if (!command) return;
        ScriptCall call{*script, args};
        EXPECT_EQ(command(call), SCRIPT_NEXT) << id;
    };
    const struct {
        float argument, stored;
    } clamped[] = {{1.5f, 1.0f}, {-0.2f, 0.0f}, {0.25f, 0.25f}, {1.0f, 1.0f}};
    for (const auto& c : clamped) {
        SCOPED_TRACE(c.argument);
        run(70, {word(c.argument)});
        EXPECT_EQ(g_fade.value, c.stored);
        run(71, {word(c.argument)});
        EXPECT_EQ(g_fade.target, c.stored);
    }

    run(72, {0xFF123456, 0xAB000001});
    EXPECT_EQ(g_fade.color, 0x123456u);
    EXPECT_EQ(g_fade.second_color, 0x000001u);

    const struct {
        ScriptWord front;
        std::uint32_t key;
    } layers[] = {{1, 0x01000001}, {0, 0x09000000}, {0xFFFFFFFF, 0x01000001}};
    for (const auto& c : layers) {
        run(73, {c.front});
        EXPECT_EQ(g_fade_layer, c.key) << c.front;
    }

    const struct {
        ScriptWord n;
        float rate;
    } rates[] = {{4, 0.25f}, {30, 1.0f / 30.0f}, {0xFFFFFFFF, 1.0f / 4294967296.0f}, {0, k_infinity}};
    for (const auto& c : rates) {
        run(74, {c.n});
        EXPECT_EQ(g_fade.rate, c.rate) << c.n;
    }
    // The endless rate arrives in one step, without a NaN.
    g_fade.value = 0.3f;
    g_fade.target = 0.8f;
    fade_update();
    EXPECT_EQ(g_fade.value, 0.8f);
}

// ---- Pixels ------------------------------------------------------------------------------------

// The renderer on a device with the OpenGL backend, its back buffer lockable.
class FadePixelTest : public RendererTest {
protected:
    static constexpr UINT k_size = 64;

    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(start_gl(k_size, k_size));
        if (IsSkipped()) return;
        ASSERT_EQ(g_d3d_device->CreateTexture(1, 1, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_white),
                  D3D_OK);
        D3DLOCKED_RECT locked{};
        ASSERT_EQ(m_white->LockRect(0, &locked, nullptr, 0), D3D_OK);
        *static_cast<DWORD*>(locked.pBits) = 0xFFFFFFFF;
        m_white->UnlockRect(0);
        g_texture_handles[1] = m_white;
        g_play_state = {};
        fade_reset();
        g_draw_frame = 1;
    }
    void TearDown() override
    {
        g_texture_handles[1] = nullptr;
        if (m_white) m_white->Release();
        g_draw_frame = 0;
        g_play_state = {};
        reset_fade();
        RendererTest::TearDown();
    }

    // A frame of the fade alone over the back buffer cleared to `background`.
    std::vector<DWORD> draw_frame(D3DCOLOR background)
    {
        renderer_reset_frame_state();
        renderer_select_target(RT_BACK_BUFFER);
        g_d3d_device->Clear(0, nullptr, D3DCLEAR_TARGET, background, 1.0f, 0);
        fade_update();
        renderer_draw_frame();
        return back_buffer_pixels(*g_d3d_device, k_size, k_size);
    }

    // Every pixel's colour within 4 of `expected` per channel, alpha aside.
    static ::testing::AssertionResult all_near(const std::vector<DWORD>& pixels, DWORD expected)
    {
        for (DWORD pixel : pixels)
            if (::testing::AssertionResult near = near_color(pixel | 0xFF000000, expected | 0xFF000000, 4);
                !near)
                return near;
        return ::testing::AssertionSuccess();
    }

    IDirect3DTexture8* m_white = nullptr;
};

int channel(DWORD color, int shift)
{
    return static_cast<int>((color >> shift) & 0xFF);
}

DWORD rgb(double r, double g, double b)
{
    const auto byte = [](double v) { return static_cast<DWORD>(std::lround(std::clamp(v, 0.0, 255.0))); };
    return byte(r) << 16 | byte(g) << 8 | byte(b);
}

// `top` with alpha a (0-255) over `under`.
DWORD blend(DWORD top, int alpha, DWORD under)
{
    const double a = alpha / 255.0;
    const auto mix = [&](int shift) { return channel(top, shift) * a + channel(under, shift) * (1.0 - a); };
    return rgb(mix(16), mix(8), mix(0));
}

TEST_F(FadePixelTest, TheFadeCoversTheBackBufferAtItsAlpha)
{
    const struct {
        float value;
        std::uint32_t color;
        DWORD background;
        DWORD expected;
    } cases[] = {
        {1.0f, 0xFF0000, 0x0000FF, 0xFF0000},
        {0.5f, 0xFF0000, 0x000000, blend(0xFF0000, 128, 0)},
        {0.25f, 0xFFFFFF, 0x0000FF, blend(0xFFFFFF, 64, 0x0000FF)},
        {0.0f, 0xFFFFFF, 0x00FF00, 0x00FF00},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "value " << c.value);
        fade_set_colors(c.color, 0);
        g_fade.value = g_fade.target = c.value;
        EXPECT_TRUE(all_near(draw_frame(c.background), c.expected));
    }
}

// The grey value of a screen copy: about 0.30 R + 0.59 G + 0.11 B in every channel.
DWORD grey_of(DWORD color)
{
    const double grey = 0.30 * channel(color, 16) + 0.59 * channel(color, 8) + 0.11 * channel(color, 0);
    return rgb(grey, grey, grey);
}

// The overlay replaces the picture with the screen copy in grey; the tint word then covers it
// by its alpha (a word of 0 leaves the grey as it is).
TEST_F(FadePixelTest, TheOverlayTurnsTheScreenCopyGreyUnderTheTint)
{
    const struct {
        const char* name;
        DWORD screen;
        std::uint32_t tint;
        DWORD expected;
    } cases[] = {
        {"orange", 0xFF8020, 0, grey_of(0xFF8020)},
        {"teal", 0x20C0A0, 0, grey_of(0x20C0A0)},
        {"white", 0xFFFFFF, 0, grey_of(0xFFFFFF)},
        {"orange under red", 0xFF8020, 0x80FF0000, blend(0xFF0000, 0x80, grey_of(0xFF8020))},
        {"teal under blue", 0x20C0A0, 0x400000FF, blend(0x0000FF, 0x40, grey_of(0x20C0A0))},
    };
    g_play_state.screen_grey = 1;
    g_fade.value = g_fade.target = 0.0f;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        renderer_select_target(RT_SCREEN_TEXTURE);
        g_d3d_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000 | c.screen, 1.0f, 0);
        g_play_state.screen_tint = c.tint;
        EXPECT_TRUE(all_near(draw_frame(0xFF00FF), c.expected));
    }
}

// ---- The level-up celebration ---------------------------------------------------------------------

const WavFormat k_mono{1, 22050, 16};

// The player's status on a level curve whose steps are 100, 110, 120, ..., with no equipment,
// over the sound table holding effect 5.
class LevelUpSoundTest : public SoundTableTest {
protected:
    void SetUp() override
    {
        SoundTableTest::SetUp();
        Start(Params());
        LoadEffects(
            SoundTableWriter().Effect({.id = 5, .name = "levelup"}),
            {{"data\\wave\\effect\\levelup.wav", wav_build_pcm(k_mono, wav_tone(k_mono, 2205, 440.0))}});
        g_gameinfo.player_exp_step = {100.0f, 690.0f};
        g_gameinfo.player_hp = {50.0f, 640.0f};
        g_play_state = {};
        int* flags = g_play_state.game_flags;
        flags[GF_WEAPON] = flags[GF_ARMOUR] = flags[GF_SHIELD] = -1;
        play_compute_exp_totals(1);
    }
    void TearDown() override
    {
        g_play_state = {};
        g_gameinfo = {};
        SoundTableTest::TearDown();
    }

    // Experience for three levels at once: 100 + 110 + 120.
    static void gain_three_levels()
    {
        g_play_state.status.hp = 10.0f;
        g_play_state.status.exp = 330.0f;
        g_play_state.recompute_bits |= PLAY_RECOMPUTE_LEVEL_UP;
        play_update_status();
        EXPECT_EQ(g_play_state.status.level, 4);
    }

    static int level_up_plays()
    {
        int plays = 0;
        for (const AudioCommand& command : posted_commands())
            if (command.type == AUDIO_CMD_PLAY && command.target == 5 && command.param2 == 1024) ++plays;
        return plays;
    }
};

TEST_F(LevelUpSoundTest, EachLevelGainedPlaysTheLevelUpSound)
{
    gain_three_levels();
    EXPECT_EQ(level_up_plays(), 3);
    EXPECT_EQ(posted_commands().size(), 3u);
}

TEST_F(LevelUpSoundTest, WithEffectsOffAnUnloadedSoundStaysSilent)
{
    g_play_effect = 0;
    gain_three_levels();
    EXPECT_TRUE(posted_commands().empty());
}

} // namespace
