#include "tick_fixture.h"

#include "core/sys.h"
#include "game/g_image_table.h"
#include "game/g_pointer.h"
#include "input_records.h"
#include "lowlv/input/input_state.h"
#include "test_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

namespace {

constexpr float k_pi = std::numbers::pi_v<float>;

// A poll's record with the cursor here and these inputs.
InputRecord record_at(std::int32_t x, std::int32_t y, std::uint32_t held = 0, std::uint32_t direction = 0,
                      std::uint32_t pressed = 0)
{
    InputRecord record{};
    record.cursor_x = x;
    record.cursor_y = y;
    record.held = held;
    record.direction = direction;
    record.pressed = pressed;
    return record;
}

// The one layer queued in row 13, or null when the row holds none or more.
const RqCallbackItem* only_layer()
{
    const RenderQueueRow& row = g_rq_rows[13];
    if (row.used != RQ_SIZE_CALLBACK) return nullptr;
    return reinterpret_cast<const RqCallbackItem*>(row.buffer.get());
}

// The four vertices of the last draw, a strip of two triangles from the screen-vertex stream.
std::vector<ScreenVertex> last_quad()
{
    const std::vector<D3D8DrawRecord>& draws = d3d8_seam_draws();
    EXPECT_EQ(draws.size(), 1u);
    if (draws.empty()) return {};
    const D3D8DrawRecord& draw = draws.back();
    EXPECT_EQ(draw.call.type, D3DPT_TRIANGLESTRIP);
    EXPECT_EQ(draw.call.primitive_count, 2u);
    return drawn_screen_vertices(draw, 4);
}

// The pointer on the game tick's device, made fresh at the cursor (0, 0). Each step is a whole
// tick of length 1 unless a test says otherwise; only draw steps queue.
class MousePointerTest : public TickTest {
protected:
    void SetUp() override
    {
        TickTest::SetUp();
        g_input_ring = {};
        hud_pointer_init();
        g_draw_frame = 0;
    }

    void TearDown() override
    {
        release_image();
        g_device_settings.settings.window = nullptr;
        g_input_ring = {};
        hud_pointer_init();
        TickTest::TearDown();
    }

    // One logic step with this record as the current one; returns the record as the step left it.
    const InputRecord& step_with(const InputRecord& record, bool whole = true, float length = 1.0f)
    {
        current_record() = record;
        g_whole_tick = whole;
        g_frame_step = length;
        hud_update_mouse_cursor();
        return current_record();
    }

    // The hero at the world origin, seen straight on at the eye's height from 10 units away, so
    // that the point the pointer measures from (2 below its camera point) is the middle of the
    // back buffer.
    GoActor& hero_in_the_middle()
    {
        GoActor* hero = spawn(g_pool_actor);
        D3DXMatrixIdentity(&hero->world);
        g_player = hero;
        renderer_set_camera(D3DXVECTOR3(0.0f, -2.0f, -10.0f), D3DXVECTOR3(0.0f, -2.0f, 0.0f));
        renderer_update_camera();
        return *hero;
    }

    // A window of its own class whose client area has this size; null when it cannot be made.
    static HWND window_with_client(const char* class_name, LONG width, LONG height)
    {
        constexpr DWORD k_style = 0x10CB0000; // the test windows' style
        RECT rect{0, 0, width, height};
        AdjustWindowRect(&rect, k_style & ~WS_VISIBLE, FALSE);
        HWND window =
            test_window_create(class_name, DefWindowProcA, rect.right - rect.left, rect.bottom - rect.top);
        RECT client{};
        if (!window || !GetClientRect(window, &client) || client.right != width || client.bottom != height)
            ADD_FAILURE() << class_name << " has no client area of " << width << " x " << height;
        return window;
    }

    IDirect3DTexture8* pointer_image()
    {
        EXPECT_EQ(g_d3d_device->CreateTexture(16, 16, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &m_image),
                  D3D_OK);
        g_texture_handles[IMAGE_TABLE_CURSOR] = m_image;
        return m_image;
    }

    void release_image()
    {
        g_texture_handles[IMAGE_TABLE_CURSOR] = nullptr;
        if (m_image) m_image->Release();
        m_image = nullptr;
    }

    IDirect3DTexture8* m_image = nullptr;
};

} // namespace

// During play, moving the mouse alone shows nothing; with the button held, or with a window open,
// it shows the pointer. During an event the pointer stays hidden unless a window asks for it.
TEST_F(MousePointerTest, MovingShowsThePointerWithTheButtonOrAnOpenWindow)
{
    const struct {
        const char* name;
        std::uint32_t held;
        bool dialog;
        bool event;
        bool visible;
        float fade;
    } cases[] = {
        {"mouse alone", 0, false, false, false, 0.0f},
        {"button held", INPUT_MOUSE_DIR, false, false, true, 0.1f},
        {"dialog open", 0, true, false, true, 0.1f},
        {"event, button held", INPUT_MOUSE_DIR, false, true, true, 0.0f},
        {"event with a dialog", 0, true, true, true, 0.1f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        hud_pointer_init();
        GoBase* dialog = c.dialog ? spawn(g_pool_wnddialog) : nullptr;
        g_event_lock_count[EVENT_LOCK_EVENT] = c.event ? 1 : 0;
        step_with(record_at(200, 150, c.held));
        EXPECT_EQ(g_mouse_pointer.visible != 0, c.visible);
        EXPECT_FLOAT_EQ(g_mouse_pointer.pointer_fade, c.fade);
        EXPECT_EQ(g_mouse_pointer.moved, 1);
        if (dialog) obj_destroy_all();
    }
}

// A title movie hides the pointer, whatever opens or moves; the title screen itself does not.
TEST_F(MousePointerTest, AMovieNeverShowsThePointer)
{
    for (WndDemoMode mode : {WNDDEMO_MOVIE, WNDDEMO_TITLE}) {
        SCOPED_TRACE(mode);
        hud_pointer_init();
        spawn(g_pool_wnddemo)->mode = mode;
        spawn(g_pool_wnddialog);
        g_draw_frame = 1;
        for (std::int32_t i = 0; i < 5; ++i)
            step_with(record_at(100 + 10 * i, 100, INPUT_MOUSE_DIR));
        EXPECT_EQ(g_mouse_pointer.pointer_fade == 0.0f, mode == WNDDEMO_MOVIE);
        EXPECT_EQ(g_mouse_pointer.pointer_color == 0, mode == WNDDEMO_MOVIE);
        EXPECT_EQ(g_rq_rows[13].used == 0, mode == WNDDEMO_MOVIE);
        obj_destroy_all();
        rq_clear_rows();
    }
}

// Keys, the stick or a button other than the click hide a shown pointer 62 steps after they
// begin; the click alone does not. Once hidden it stays so until the mouse moves with the button.
TEST_F(MousePointerTest, OtherInputHidesThePointer62StepsLater)
{
    const struct {
        const char* name;
        std::uint32_t direction;
        float magnitude;
        std::uint32_t held;
        int hidden_at; // 0: never
    } cases[] = {
        {"direction", INPUT_DIR_LEFT, 0.0f, 0, 62},   {"magnitude", 0, 0.5f, 0, 62},
        {"attack button", 0, 0.0f, INPUT_ACTION, 62}, {"mouse button", 0, 0.0f, INPUT_MOUSE_DIR, 62},
        {"click", 0, 0.0f, INPUT_CLICK, 0},           {"nothing", 0, 0.0f, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        hud_pointer_init();
        step_with(record_at(300, 200, INPUT_MOUSE_DIR));
        ASSERT_EQ(g_mouse_pointer.visible, 1);
        // As a direction of the keys would leave it while the mouse rests.
        g_mouse_pointer.moved_with_button = 0;
        int hidden_at = 0;
        for (int i = 1; i <= 100 && hidden_at == 0; ++i) {
            InputRecord record = record_at(300, 200, c.held, c.direction);
            record.magnitude = c.magnitude;
            step_with(record);
            if (!g_mouse_pointer.visible) hidden_at = i;
        }
        EXPECT_EQ(hidden_at, c.hidden_at);
        if (c.hidden_at == 0) continue;

        for (int i = 0; i < 100; ++i)
            step_with(record_at(300, 200));
        step_with(record_at(340, 220));
        EXPECT_EQ(g_mouse_pointer.visible, 0) << "moving without the button";
        step_with(record_at(380, 240, INPUT_MOUSE_DIR));
        EXPECT_EQ(g_mouse_pointer.visible, 1) << "moving with the button";
        EXPECT_EQ(g_mouse_pointer.idle_count, 0);
    }
}

// The menus' two bytes change on whole ticks only: the cursor moved by more than one unit, and
// the pointer in use from a move with the button or a click until a direction while it rests.
TEST_F(MousePointerTest, MenuBytesFollowTheMouseOnWholeTicks)
{
    const struct {
        const char* name;
        InputRecord record;
        bool whole;
        std::uint8_t in_use, moved;
    } steps[] = {
        {"moved alone", record_at(100, 100), true, 0, 1},
        {"one unit is no move", record_at(101, 99), true, 0, 0},
        {"moved with the button", record_at(150, 100, INPUT_MOUSE_DIR), true, 1, 1},
        {"resting", record_at(150, 100), true, 1, 0},
        {"a direction while resting", record_at(150, 100, 0, INPUT_DIR_UP), true, 0, 0},
        {"a click", record_at(150, 100, INPUT_CLICK, 0, INPUT_CLICK), true, 1, 0},
        {"a held click", record_at(150, 100, INPUT_CLICK), true, 1, 0},
        {"a direction again", record_at(150, 100, 0, INPUT_DIR_DOWN), true, 0, 0},
        {"moved between whole ticks", record_at(200, 200, INPUT_MOUSE_DIR), false, 0, 0},
        {"the next whole tick", record_at(200, 200), true, 0, 1},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        step_with(s.record, s.whole);
        EXPECT_EQ(g_pointer_in_use, s.in_use);
        EXPECT_EQ(g_pointer_moved, s.moved);
    }
}

// The cursor is clamped so that its place on the 640x480 screen stays within 48 units of it, at
// any scale from the window's client area to the back buffer. A minimised window has no client
// area; the scale it had stays.
TEST_F(MousePointerTest, ClampBoundsFollowTheWindowsClientArea)
{
    HWND full = window_with_client("KroPointerFull", 640, 480);
    HWND half = window_with_client("KroPointerHalf", 320, 240);
    ASSERT_NE(full, nullptr);
    ASSERT_NE(half, nullptr);
    const struct {
        const char* name;
        HWND window;
        bool minimise;
        float scale;
    } cases[] = {
        {"client as the back buffer", full, false, 1.0f},
        {"half the back buffer", half, false, 2.0f},
        {"minimised", full, true, 2.0f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.minimise) ShowWindow(c.window, SW_MINIMIZE);
        g_device_settings.settings.window = c.window;
        hud_update_screen_scale();
        const MousePointer& p = g_mouse_pointer;
        EXPECT_EQ(p.scale_x, c.scale);
        EXPECT_EQ(p.scale_y, c.scale);
        EXPECT_EQ(p.clamp_bounds.left, -48.0f / c.scale);
        EXPECT_EQ(p.clamp_bounds.width, 736.0f / c.scale);

        step_with(record_at(-1000, 5000));
        EXPECT_EQ(p.x, -48.0f / c.scale);
        EXPECT_EQ(p.y, 528.0f / c.scale);
        EXPECT_EQ(p.scaled_x, -48.0f);
        EXPECT_EQ(p.scaled_y, 528.0f);
        EXPECT_EQ(p.draw_x, -48.5f);
        EXPECT_EQ(p.draw_y, 527.5f);
        step_with(record_at(5000, -1000));
        EXPECT_EQ(p.scaled_x, 688.0f);
        EXPECT_EQ(p.scaled_y, -48.0f);
        step_with(record_at(101, 77));
        EXPECT_EQ(p.x, 101.0f);
        EXPECT_EQ(p.scaled_x, 101.0f * c.scale);
        EXPECT_EQ(p.draw_x, std::floor(101.0f * c.scale) - 0.5f);
    }
    DestroyWindow(full);
    DestroyWindow(half);
    UnregisterClassA("KroPointerFull", GetModuleHandleA(nullptr));
    UnregisterClassA("KroPointerHalf", GetModuleHandleA(nullptr));
}

// The hero entering a scene puts the pointer on the circle of 96 around (320, 216) in its
// facing, truncated to whole units, with the system cursor moved there too.
TEST_F(MousePointerTest, PlacesThePointerOnTheSteeringCircle)
{
    const StandardWindowOrigin window;
    const struct {
        float facing;
        std::int32_t x, y;
        POINT screen; // (x - 320) * 320 / 368 + 320, y * 240 / 288
    } cases[] = {
        {0.0f, 416, 216, {403, 180}},
        {1.0f, 371, 135, {364, 112}},
        {k_pi, 224, 216, {237, 180}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.facing);
        hud_place_pointer_on_circle(c.facing);
        const MousePointer& p = g_mouse_pointer;
        EXPECT_EQ(p.x, static_cast<float>(c.x));
        EXPECT_EQ(p.y, static_cast<float>(c.y));
        EXPECT_EQ(p.screen_angle, c.facing);
        EXPECT_EQ(p.anchor_angle, c.facing);
        for (const InputRecord& record : g_input_ring.records) {
            EXPECT_EQ(record.cursor_x, c.x);
            EXPECT_EQ(record.cursor_y, c.y);
        }
        POINT cursor{};
        ASSERT_TRUE(GetCursorPos(&cursor));
        EXPECT_EQ(cursor.x, c.screen.x);
        EXPECT_EQ(cursor.y, c.screen.y);
    }
}

// With the button held the pointer's direction from the screen point steers the hero: the
// record's angle points from the hero to the pointer, its magnitude is 1 and its direction the
// octant. After the release the stick stays steered for two more steps.
TEST_F(MousePointerTest, SteeringHoldsForTwoStepsAfterTheButton)
{
    hero_in_the_middle();
    const struct {
        std::uint32_t held;
        std::int32_t hold;
        bool steered;
    } steps[] = {
        {INPUT_MOUSE_DIR, 3, true}, {0, 2, true}, {0, 1, true}, {0, 0, false}, {0, 0, false},
    };
    int index = 0;
    for (const auto& s : steps) {
        SCOPED_TRACE(index++);
        InputRecord poll = record_at(416, 216, s.held);
        poll.angle = 2.5f;
        const InputRecord& record = step_with(poll);
        EXPECT_EQ(g_mouse_pointer.steering_hold, s.hold);
        if (!s.steered) {
            EXPECT_EQ(record.direction, 0u);
            EXPECT_EQ(record.magnitude, 0.0f);
            EXPECT_EQ(record.angle, 2.5f);
            continue;
        }
        // From the hero at (320, 240) to the pointer at (416, 216), screen y pointing down.
        EXPECT_NEAR(record.angle, std::atan2(24.0f, 96.0f), 1e-5f);
        EXPECT_EQ(record.magnitude, 1.0f);
        EXPECT_EQ(record.direction, INPUT_DIR_RIGHT);
    }
}

// The steering's direction is the octant of the pointer around the screen point (320, 216), the
// vertical offset weighted more than the horizontal.
TEST_F(MousePointerTest, SteeringTakesTheOctantAroundTheScreenPoint)
{
    hero_in_the_middle();
    const struct {
        std::int32_t x, y;
        std::uint32_t direction;
    } cases[] = {
        {320, 100, INPUT_DIR_UP},   {420, 110, INPUT_DIR_UP | INPUT_DIR_RIGHT},  {200, 216, INPUT_DIR_LEFT},
        {320, 400, INPUT_DIR_DOWN}, {230, 300, INPUT_DIR_DOWN | INPUT_DIR_LEFT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        const InputRecord& record = step_with(record_at(c.x, c.y, INPUT_MOUSE_DIR));
        EXPECT_EQ(record.direction, c.direction);
    }
}

// Holding the button with the pointer within half a pixel of the hero leaves the stick alone and
// ends the hold, at either back-buffer size.
TEST_F(MousePointerTest, APointerOnTheHeroLeavesTheStickUnchanged)
{
    const struct {
        UINT width, height;
        std::int32_t x, y;
        bool steered;
    } cases[] = {
        {640, 480, 320, 240, false},
        {640, 480, 321, 240, true},
        {1280, 960, 320, 240, false},
        {1280, 960, 320, 241, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << ": " << c.x << "," << c.y);
        start(c.width, c.height);
        g_d3d_device->EndScene();
        hero_in_the_middle();
        hud_pointer_init();
        const InputRecord& record = step_with(record_at(c.x, c.y, INPUT_MOUSE_DIR));
        EXPECT_EQ(record.direction != 0, c.steered);
        EXPECT_EQ(record.magnitude, c.steered ? 1.0f : 0.0f);
        EXPECT_EQ(g_mouse_pointer.steering_hold, c.steered ? 3 : 0);
        obj_destroy_all();
        g_player = nullptr;
    }
}

// The pointer fades in by 0.1 a step and out by 0.08, each within 0..1; while it moves its
// colour is white with the fade's alpha (times 256, truncated), at full strength all ones.
TEST_F(MousePointerTest, FadesInAndOutWithThePackedColour)
{
    const struct {
        const char* name;
        bool shown;
        float fade, length, expected;
        std::uint32_t color;
    } cases[] = {
        {"in", true, 0.0f, 1.0f, 0.1f, 0x19FFFFFF},
        {"in, half a step", true, 0.0f, 0.5f, 0.05f, 0x0CFFFFFF},
        {"in to full", true, 0.95f, 1.0f, 1.0f, 0xFFFFFFFF},
        {"full", true, 1.0f, 1.0f, 1.0f, 0xFFFFFFFF},
        {"out", false, 1.0f, 1.0f, 0.92f, 0xEBFFFFFF},
        {"out, half a step", false, 0.5f, 0.5f, 0.46f, 0x75FFFFFF},
        {"out to nothing", false, 0.05f, 1.0f, 0.0f, 0x00FFFFFF},
        {"gone", false, 0.0f, 1.0f, 0.0f, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g_mouse_pointer.visible = c.shown;
        g_mouse_pointer.pointer_fade = c.fade;
        step_with(record_at(0, 0), true, c.length);
        EXPECT_FLOAT_EQ(g_mouse_pointer.pointer_fade, c.expected);
        EXPECT_EQ(g_mouse_pointer.pointer_color, c.color);
    }
}

// Pressing the button outside windows and events lights the ring for 37 steps; then it fades.
TEST_F(MousePointerTest, TheRingMarksAPressFor37Steps)
{
    step_with(record_at(0, 0, INPUT_MOUSE_DIR));
    EXPECT_EQ(g_mouse_pointer.click_window, 1);
    EXPECT_FLOAT_EQ(g_mouse_pointer.ring_fade, 0.1f);
    EXPECT_EQ(g_mouse_pointer.ring_color, 0x19FFFFFFu);
    for (int i = 1; i < 37; ++i)
        step_with(record_at(0, 0));
    EXPECT_EQ(g_mouse_pointer.click_window, 1);
    EXPECT_EQ(g_mouse_pointer.ring_color, 0xFFFFFFFFu);
    step_with(record_at(0, 0));
    EXPECT_EQ(g_mouse_pointer.click_window, 0);
    EXPECT_FLOAT_EQ(g_mouse_pointer.ring_fade, 0.92f);

    g_event_lock_count[EVENT_LOCK_EVENT_NO_AI] = 1;
    step_with(record_at(0, 0, INPUT_MOUSE_DIR));
    EXPECT_EQ(g_mouse_pointer.click_window, 0) << "the button does nothing during an event";
}

// On the draw step a shown pointer is queued as row 13's pointer layer and drawn as a 23-unit
// quad around its place, 15 units of it up and left: upright while a window is open, turned
// with the direction from the hero's place otherwise; stretched to the back buffer.
TEST_F(MousePointerTest, QueuedOnTheDrawStepAndDrawnAroundItsPlace)
{
    const float r = std::sqrt(0.5f); // cos and sin of the turn: the arrow points straight up
    const struct {
        const char* name;
        UINT width, height;
        bool dialog;
        float x[4], y[4];
    } cases[] = {
        {"upright", 640, 480, true, {84.5f, 107.5f, 84.5f, 107.5f}, {184.5f, 184.5f, 207.5f, 207.5f}},
        {"upright, stretched",
         1280,
         960,
         true,
         {169.0f, 215.0f, 169.0f, 215.0f},
         {369.0f, 369.0f, 415.0f, 415.0f}},
        {"turned",
         640,
         480,
         false,
         {99.5f - 30.0f * r, 99.5f - 7.0f * r, 99.5f - 7.0f * r, 99.5f + 16.0f * r},
         {199.5f, 199.5f - 23.0f * r, 199.5f + 23.0f * r, 199.5f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start(c.width, c.height);
        IDirect3DTexture8* image = pointer_image();
        if (c.dialog) spawn(g_pool_wnddialog);
        g_player = spawn(g_pool_actor);
        hud_pointer_init();
        // The hero right below the pointer: the angle around it is a quarter turn.
        g_mouse_pointer.anchor_x = 100.0f;
        g_mouse_pointer.anchor_y = 300.0f;

        step_with(record_at(100, 200, INPUT_MOUSE_DIR));
        EXPECT_EQ(g_rq_rows[13].used, 0u) << "not the draw step";
        g_draw_frame = 1;
        step_with(record_at(100, 200, INPUT_MOUSE_DIR));
        const RqCallbackItem* layer = only_layer();
        ASSERT_NE(layer, nullptr);
        EXPECT_EQ(layer->header.key0, RQ_LAYER_POINTER);
        EXPECT_EQ(layer->callback, &hud_draw_mouse_cursor);
        EXPECT_EQ(layer->user, &g_mouse_pointer);

        rq_draw_row(13, false);
        const std::vector<ScreenVertex> quad = last_quad();
        ASSERT_EQ(quad.size(), 4u);
        const D3DDeviceState& drawn = d3d8_seam_draws().back().state;
        EXPECT_EQ(drawn.textures[0], image);
        EXPECT_EQ(drawn.render[D3DRS_ALPHABLENDENABLE], static_cast<DWORD>(TRUE));
        const float u[4] = {0.0f, 1.0f, 0.0f, 1.0f}, v[4] = {0.0f, 0.0f, 1.0f, 1.0f};
        for (int i = 0; i < 4; ++i) {
            SCOPED_TRACE(i);
            EXPECT_NEAR(quad[i].x, c.x[i], 1e-4f);
            EXPECT_NEAR(quad[i].y, c.y[i], 1e-4f);
            EXPECT_EQ(quad[i].u, u[i]);
            EXPECT_EQ(quad[i].v, v[i]);
            EXPECT_EQ(quad[i].color, 0x33FFFFFFu);
        }
        release_image();
        obj_destroy_all();
        g_player = nullptr;
        g_draw_frame = 0;
    }
}

// Nothing is queued once both fades are out, and a queued pointer whose colour went out draws
// nothing.
TEST_F(MousePointerTest, AHiddenPointerIsNeitherQueuedNorDrawn)
{
    g_draw_frame = 1;
    step_with(record_at(0, 0));
    EXPECT_EQ(g_rq_rows[13].used, 0u);

    MousePointer out = g_mouse_pointer;
    hud_draw_mouse_cursor(nullptr, &out);
    EXPECT_TRUE(d3d8_seam_draws().empty());
}
