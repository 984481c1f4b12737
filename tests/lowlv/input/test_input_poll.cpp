#include "input_fixture.h"
#include "lowlv/d3d/d3d_settings.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <map>
#include <numbers>
#include <string>

namespace {

constexpr float k_pi = std::numbers::pi_v<float>;

class InputPollTest : public InputTest {
protected:
    void SetUp() override
    {
        InputTest::SetUp();
        attach_pad();
        create_devices();
    }

    // A window whose client area has this size, made the mouse's screen.
    HWND screen_of_size(int width, int height)
    {
        HWND& window = m_screens[width];
        if (!window) {
            constexpr DWORD k_style = 0x10CB0000;
            RECT rect{0, 0, width, height};
            AdjustWindowRect(&rect, k_style & ~WS_VISIBLE, FALSE);
            window = width == 640 ? m_window
                                  : create(k_style, 40, 30, rect.right - rect.left, rect.bottom - rect.top);
            drain();
        }
        use_screen(window, width, height);
        return window;
    }

    std::map<int, HWND> m_screens;
};

// Equal as headings: pi and -pi are one direction.
::testing::AssertionResult same_heading(float actual, float expected)
{
    float difference = std::remainder(actual - expected, 2 * k_pi);
    if (std::fabs(difference) < 1e-5f) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " is not the heading " << expected;
}

} // namespace

TEST_F(InputPollTest, LaterPressedOfTwoOppositeDirectionsWins)
{
    struct Step {
        std::vector<BYTE> keys;
        std::uint32_t direction;
    };
    const std::vector<std::vector<Step>> sequences = {
        {{{DIK_UP}, 8}, {{DIK_UP, DIK_DOWN}, 1}, {{DIK_UP}, 8}},
        {{{DIK_UP, DIK_DOWN}, 8}},
        {{{DIK_DOWN}, 1}, {{DIK_DOWN, DIK_UP}, 8}, {{DIK_DOWN}, 1}},
        {{{DIK_LEFT}, 2}, {{DIK_LEFT, DIK_RIGHT}, 4}, {{DIK_RIGHT}, 4}, {{DIK_LEFT, DIK_RIGHT}, 2}},
        {{{DIK_LEFT, DIK_RIGHT}, 2}},
        {{{DIK_NUMPAD8, DIK_NUMPAD2}, 8}, {{DIK_NUMPAD2}, 1}},
        {{{DIK_NUMPAD7}, 10}, {{DIK_NUMPAD7, DIK_RIGHT}, 12}, {{DIK_NUMPAD3, DIK_NUMPAD9}, 5}},
    };
    for (std::size_t s = 0; s < sequences.size(); ++s) {
        poll();
        for (std::size_t i = 0; i < sequences[s].size(); ++i) {
            const Step& step = sequences[s][i];
            const InputRecord& record = poll(PollInput().keys(step.keys));
            EXPECT_EQ(record.direction, step.direction) << "sequence " << s << " step " << i;
            EXPECT_EQ(record.magnitude, 1.0f);
        }
    }
}

TEST_F(InputPollTest, DigitalDirectionsGiveTheirHeading)
{
    const struct {
        std::vector<BYTE> keys;
        float angle;
    } cases[] = {
        {{DIK_RIGHT}, 0},
        {{DIK_UP}, k_pi / 2},
        {{DIK_LEFT}, k_pi},
        {{DIK_DOWN}, -k_pi / 2},
        {{DIK_NUMPAD9}, k_pi / 4},
        {{DIK_NUMPAD7}, 3 * k_pi / 4},
        {{DIK_NUMPAD1}, -3 * k_pi / 4},
        {{DIK_NUMPAD3}, -k_pi / 4},
    };
    for (const auto& c : cases) {
        poll();
        EXPECT_TRUE(same_heading(poll(PollInput().keys(c.keys)).angle, c.angle)) << int(c.keys[0]);
    }
    const InputRecord& idle = poll();
    EXPECT_EQ(idle.direction, 0u);
    EXPECT_EQ(idle.angle, 0.0f);
    EXPECT_EQ(idle.magnitude, 0.0f);
}

TEST_F(InputPollTest, HeldDirectionStepsAtPolls1_28_33AndEvery5)
{
    std::vector<int> steps;
    for (int count = 1; count <= 45; ++count) {
        const InputRecord& record = poll(PollInput().keys({DIK_RIGHT}));
        EXPECT_EQ(record.step_y, 0);
        if (record.step_x != 0) {
            EXPECT_EQ(record.step_x, 1);
            steps.push_back(count);
        }
    }
    EXPECT_EQ(steps, (std::vector<int>{1, 28, 33, 38, 43}));
    EXPECT_EQ(poll().step_x, 0);
    const InputRecord& again = poll(PollInput().keys({DIK_NUMPAD7}));
    EXPECT_EQ(again.step_x, -1) << "releasing restarts the count";
    EXPECT_EQ(again.step_y, -1);
    EXPECT_EQ(poll(PollInput().keys({DIK_NUMPAD2})).step_y, 0) << "the direction is still held";
    poll();
    EXPECT_EQ(poll(PollInput().keys({DIK_NUMPAD2})).step_y, 1);
}

TEST_F(InputPollTest, StickHasACircularDeadZoneAndEightOctants)
{
    const struct {
        LONG x, y;
        std::uint32_t direction;
        float angle, magnitude;
        LONG stored_x, stored_y;
    } cases[] = {
        {0, 0, 0, 0, 0, 0, 0},
        {200, 200, 0, 0, 0, 0, 0},
        {357, 0, 0, 0, 0, 0, 0},
        {358, 0, 4, 0, 0, 358, 0},             // on the circle: kept, nothing beyond the axis zone
        {300, 300, 5, -k_pi / 4, 0, 300, 300}, // outside the circle, inside both axis zones
        {1024, 0, 4, 0, 1.0f, 1024, 0},
        {0, -1024, 8, k_pi / 2, 1.0f, 0, -1024},
        {-1024, 0, 2, k_pi, 1.0f, -1024, 0},
        {0, 1024, 1, -k_pi / 2, 1.0f, 0, 1024},
        {1024, 1024, 5, -k_pi / 4, std::numbers::sqrt2_v<float>, 1024, 1024},
        {724, -724, 12, k_pi / 4, 0.54949f, 724, -724},
        {-724, 724, 3, -3 * k_pi / 4, 0.54949f, -724, 724},
    };
    for (const auto& c : cases) {
        std::string what = std::to_string(c.x) + "," + std::to_string(c.y);
        poll();
        const InputRecord& record = poll(PollInput().stick(c.x, c.y));
        EXPECT_EQ(record.direction, c.direction) << what;
        EXPECT_TRUE(same_heading(record.angle, c.angle)) << what;
        EXPECT_NEAR(record.magnitude, c.magnitude, 1e-4f) << what;
        EXPECT_EQ(record.stick_x, c.stored_x) << what;
        EXPECT_EQ(record.stick_y, c.stored_y) << what;
    }
}

TEST_F(InputPollTest, DigitisedStickMovesLikeAnEightWayPad)
{
    g_input_pad_analog = 1;
    const struct {
        LONG x, y;
        std::uint32_t direction;
        float angle;
    } cases[] = {
        {724, -724, 12, k_pi / 4},
        {300, 300, 5, -k_pi / 4},
        {1024, 0, 4, 0},
        {-1000, -20, 2, k_pi},
    };
    for (const auto& c : cases) {
        poll();
        const InputRecord& record = poll(PollInput().stick(c.x, c.y));
        EXPECT_EQ(record.direction, c.direction) << c.x << "," << c.y;
        EXPECT_TRUE(same_heading(record.angle, c.angle)) << c.x << "," << c.y;
        EXPECT_EQ(record.magnitude, 1.0f) << c.x << "," << c.y;
    }
}

TEST_F(InputPollTest, DigitalDirectionBeatsTheStickWhichIsStillStored)
{
    const InputRecord& record = poll(PollInput().keys({DIK_RIGHT}).stick(0, -1024));
    EXPECT_EQ(record.direction, 4u);
    EXPECT_EQ(record.angle, 0.0f);
    EXPECT_EQ(record.magnitude, 1.0f);
    EXPECT_EQ(record.stick_x, 0);
    EXPECT_EQ(record.stick_y, -1024);
}

TEST_F(InputPollTest, GamePadOffIgnoresStickAndButtons)
{
    g_input_game_pad = 0;
    const InputRecord& record = poll(PollInput().stick(1024, 0).pad({0, 1}));
    EXPECT_EQ(record.direction, 0u);
    EXPECT_EQ(record.stick_x, 0);
    EXPECT_EQ(record.held, 0u);
}

TEST_F(InputPollTest, ButtonGroupsSetActionBitsWithDecideCancelAndClick)
{
    const struct Case {
        const char* what;
        std::uint8_t ok_cancel;
        KeySlot slot; // KEY_SLOT_COUNT: defaults only
        std::int32_t code;
        PollInput input;
        std::uint32_t held;
    } cases[] = {
        {"Z", 1, KEY_SLOT_COUNT, 0, PollInput().keys({DIK_Z}), INPUT_ACTION | INPUT_DECIDE},
        {"X", 1, KEY_SLOT_COUNT, 0, PollInput().keys({DIK_X}), INPUT_JUMP | INPUT_CANCEL},
        {"C", 1, KEY_SLOT_COUNT, 0, PollInput().keys({DIK_C}), INPUT_SHOT},
        {"Space", 1, KEY_SLOT_COUNT, 0, PollInput().keys({DIK_SPACE}), INPUT_MENU},
        {"Esc", 1, KEY_SLOT_COUNT, 0, PollInput().keys({DIK_ESCAPE}), INPUT_MENU},
        {"3", 1, KEY_SLOT_COUNT, 0, PollInput().keys({DIK_3}), INPUT_SWORD2},
        {"pad button 1", 1, KEY_SLOT_COUNT, 0, PollInput().pad({0}), INPUT_ACTION | INPUT_DECIDE},
        {"pad button 2", 1, KEY_SLOT_COUNT, 0, PollInput().pad({1}), INPUT_JUMP | INPUT_CANCEL},
        {"pad button 10", 1, KEY_SLOT_COUNT, 0, PollInput().pad({9}), INPUT_MENU},
        {"left, always ok/cancel", 1, KEY_SLOT_COUNT, 0, PollInput().mouse(mouse_buttons({0})),
         INPUT_CLICK | INPUT_MOUSE_DIR},
        {"right, always ok/cancel", 1, KEY_SLOT_COUNT, 0, PollInput().mouse(mouse_buttons({1})),
         INPUT_JUMP | INPUT_CANCEL},
        {"middle, always ok/cancel", 1, KEY_SLOT_COUNT, 0, PollInput().mouse(mouse_buttons({2})), INPUT_USE},
        {"left", 0, KEY_SLOT_COUNT, 0, PollInput().mouse(mouse_buttons({0})), INPUT_MOUSE_DIR},
        {"right", 0, KEY_SLOT_COUNT, 0, PollInput().mouse(mouse_buttons({1})), INPUT_JUMP | INPUT_CANCEL},
        {"left on MOUSE_ACTION", 0, MOUSE_ACTION, 256, PollInput().mouse(mouse_buttons({0})),
         INPUT_ACTION | INPUT_CLICK | INPUT_MOUSE_DIR},
        {"left on MOUSE_ACTION, always ok/cancel", 1, MOUSE_ACTION, 256,
         PollInput().mouse(mouse_buttons({0})), INPUT_ACTION | INPUT_CLICK | INPUT_MOUSE_DIR},
        {"middle on KEY_ACTION, always ok/cancel", 1, KEY_ACTION, 258, PollInput().mouse(mouse_buttons({2})),
         INPUT_ACTION | INPUT_USE},
        {"middle on KEY_ACTION", 0, KEY_ACTION, 258, PollInput().mouse(mouse_buttons({2})),
         INPUT_ACTION | INPUT_CLICK | INPUT_USE},
        {"Z on PAD_JUMP", 1, PAD_JUMP, DIK_Z, PollInput().keys({DIK_Z}),
         INPUT_ACTION | INPUT_DECIDE | INPUT_JUMP | INPUT_CANCEL},
    };
    for (const Case& c : cases) {
        InputSettings settings{};
        settings.mouse_buttons_ok_cancel = c.ok_cancel;
        if (c.slot != KEY_SLOT_COUNT) settings.keys.codes[c.slot] = c.code;
        input_apply_settings(settings);
        g_input_double_click_count = INT32_MAX;
        poll();
        const InputRecord& record = poll(c.input);
        EXPECT_EQ(record.held, c.held) << c.what;
        EXPECT_EQ(record.pressed, c.held) << c.what;
    }
}

TEST_F(InputPollTest, PressedHoldsOnlyWhatWentDownSinceThePreviousPoll)
{
    EXPECT_EQ(poll(PollInput().keys({DIK_Z})).pressed, INPUT_ACTION | INPUT_DECIDE);
    const InputRecord& held = poll(PollInput().keys({DIK_Z}));
    EXPECT_EQ(held.held, INPUT_ACTION | INPUT_DECIDE);
    EXPECT_EQ(held.pressed, 0u);

    // Decide joins the pressed word only with a fresh press of the action bit.
    InputSettings settings{};
    settings.mouse_buttons_ok_cancel = 0;
    settings.keys.codes[MOUSE_ACTION] = 256;
    input_apply_settings(settings);
    poll();
    poll(PollInput().mouse(mouse_buttons({0})));
    const InputRecord& both = poll(PollInput().keys({DIK_Z}).mouse(mouse_buttons({0})));
    EXPECT_EQ(both.held, INPUT_ACTION | INPUT_DECIDE | INPUT_CLICK | INPUT_MOUSE_DIR);
    EXPECT_EQ(both.pressed, 0u);
}

TEST_F(InputPollTest, DoubleClickCountsThePollsBetweenTwoPresses)
{
    const struct {
        int held_after; // polls the first press stays down after its own poll
        int released;   // polls with the button up before the second press
        bool double_click;
    } cases[] = {{0, 1, true}, {0, 12, true}, {0, 13, false}, {5, 7, true}, {5, 8, false}};
    for (const auto& c : cases) {
        for (int i = 0; i < 20; ++i)
            poll();
        const InputRecord& first = poll(PollInput().mouse(mouse_buttons({0})));
        EXPECT_EQ(first.pressed & INPUT_DOUBLE_CLICK, 0u);
        for (int i = 0; i < c.held_after; ++i)
            poll(PollInput().mouse(mouse_buttons({0})));
        for (int i = 0; i < c.released; ++i)
            poll();
        const InputRecord& second = poll(PollInput().mouse(mouse_buttons({0})));
        EXPECT_EQ((second.pressed & INPUT_DOUBLE_CLICK) != 0, c.double_click)
            << c.held_after << "+" << c.released;
        EXPECT_EQ(second.held & INPUT_DOUBLE_CLICK, 0u);
        EXPECT_TRUE(second.pressed & INPUT_MOUSE_DIR);
    }
}

TEST_F(InputPollTest, CursorMapsOntoTheVirtualScreenAtTwoWindowSizes)
{
    const struct {
        int width, height;
        int client_x, client_y;
        std::int32_t x, y;
    } cases[] = {
        {640, 480, 320, 0, 320, 0},      {640, 480, 320, 240, 320, 288}, {640, 480, 0, 0, -48, 0},
        {640, 480, 640, 480, 688, 576},  {640, 480, 100, 50, 67, 60},    {1280, 960, 640, 0, 320, 0},
        {1280, 960, 640, 480, 320, 288}, {1280, 960, 0, 0, -48, 0},      {1280, 960, 100, 50, 9, 30},
    };
    for (const auto& c : cases) {
        HWND window = screen_of_size(c.width, c.height);
        seam_host_mouse_motion(window, c.client_x, c.client_y);
        drain();
        const InputRecord& record = poll();
        EXPECT_EQ(record.cursor_x, c.x) << c.width << ": " << c.client_x << "," << c.client_y;
        EXPECT_EQ(record.cursor_y, c.y) << c.width << ": " << c.client_x << "," << c.client_y;
    }
}

TEST_F(InputPollTest, SetCursorPutsTheSystemCursorAtTwoWindowSizes)
{
    const struct {
        int width, height;
        std::int32_t x, y;
        int client_x, client_y;
    } cases[] = {
        {640, 480, 320, 288, 320, 240}, {640, 480, 0, 0, 42, 0},         {640, 480, 100, 50, 129, 41},
        {640, 480, 640, 480, 598, 400}, {1280, 960, 320, 288, 640, 480}, {1280, 960, 100, 50, 258, 83},
        {1280, 960, 0, 0, 84, 0},
    };
    for (const auto& c : cases) {
        HWND window = screen_of_size(c.width, c.height);
        for (InputDeviceState& block : g_input_device_states)
            block.mouse.lX = block.mouse.lY = 9;
        input_set_cursor(c.x, c.y);
        POINT origin{0, 0};
        ClientToScreen(window, &origin);
        POINT cursor{};
        ASSERT_TRUE(GetCursorPos(&cursor));
        EXPECT_EQ(cursor.x - origin.x, c.client_x) << c.width << ": " << c.x << "," << c.y;
        EXPECT_EQ(cursor.y - origin.y, c.client_y) << c.width << ": " << c.x << "," << c.y;
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(g_input_ring.records[i].cursor_x, c.x);
            EXPECT_EQ(g_input_ring.records[i].cursor_y, c.y);
            EXPECT_EQ(g_input_device_states[i].mouse.lX, 0);
            EXPECT_EQ(g_input_device_states[i].mouse.lY, 0);
        }
        drain();
    }
}

TEST_F(InputPollTest, LostDevicesReadAsReleasedUntilAcquiredAgain)
{
    EXPECT_EQ(poll(PollInput().keys({DIK_Z}).pad({1})).held,
              INPUT_ACTION | INPUT_DECIDE | INPUT_JUMP | INPUT_CANCEL);

    seam_host_window_event(m_window, HostWindowEvent::focus_lost);
    drain();
    const InputRecord& away = poll(PollInput().keys({DIK_Z}).mouse(mouse_buttons({1})).pad({1}));
    EXPECT_EQ(away.held & (INPUT_ACTION | INPUT_CANCEL), 0u) << "the keyboard and mouse read as zero";
    const InputDeviceState& block = g_input_device_states[g_input_ring.current];
    for (BYTE key : block.keys)
        EXPECT_EQ(key, 0);
    EXPECT_EQ(block.mouse.rgbButtons[1], 0);

    seam_host_window_event(m_window, HostWindowEvent::focus_gained);
    drain();
    const InputRecord& back = poll(PollInput().keys({DIK_Z}).pad({1}));
    EXPECT_EQ(back.held, INPUT_ACTION | INPUT_DECIDE | INPUT_JUMP | INPUT_CANCEL);
    EXPECT_EQ(back.pressed, back.held);

    // Lost while the window keeps the focus: acquired again and read at once.
    dinput_seam_lose_devices();
    const InputRecord& again = poll(PollInput().keys({DIK_Z}).pad({1}));
    EXPECT_EQ(again.held, INPUT_ACTION | INPUT_DECIDE | INPUT_JUMP | INPUT_CANCEL);
    EXPECT_EQ(again.pressed, 0u);
}

TEST_F(InputPollTest, WheelOfTheLastMessageIsTakenOnce)
{
    g_input_wheel = -240;
    EXPECT_EQ(poll().wheel, -240);
    EXPECT_EQ(poll().wheel, 0);
}

TEST_F(InputPollTest, SwappedButtonsExchangeLeftAndRight)
{
    g_input_swap_buttons = 1;
    EXPECT_EQ(poll(PollInput().mouse(mouse_buttons({0}))).held, INPUT_JUMP | INPUT_CANCEL);
    input_refresh_swap_buttons();
    EXPECT_EQ(g_input_swap_buttons, 0) << "the host swaps a left-handed mouse itself";
}

TEST_F(InputPollTest, AssignmentsWithoutAKeyNameReadAsNothing)
{
    InputSettings settings{};
    settings.keys.codes[KEY_ACTION] = 84;
    settings.keys.codes[KEY_JUMP] = 300;
    settings.keys.codes[KEY_SHOT] = -7;
    settings.keys.codes[KEY_USE] = INPUT_CODE_NO_INPUT;
    input_apply_settings(settings);
    EXPECT_EQ(g_input_keys.codes[KEY_ACTION], INPUT_CODE_NONE);
    EXPECT_EQ(g_input_keys.codes[KEY_JUMP], INPUT_CODE_NONE);
    EXPECT_EQ(g_input_keys.codes[KEY_SHOT], INPUT_CODE_NONE);
    EXPECT_EQ(g_input_keys.codes[KEY_USE], INPUT_CODE_NO_INPUT);

    // Codes put into the engine's table directly are checked by the poll as well.
    g_input_keys.codes[KEY_ACTION] = 100000;
    g_input_keys.codes[KEY_UP] = -5;
    g_input_keys.codes[PAD_ACTION] = 290;
    std::vector<BYTE> every_key;
    for (int code = 1; code < 256; ++code)
        if (code != DIK_ESCAPE && code != DIK_UP && code != DIK_DOWN && code != DIK_LEFT && code != DIK_RIGHT)
            every_key.push_back(BYTE(code));
    std::vector<int> every_button;
    for (int button = 0; button < 32; ++button)
        every_button.push_back(button);
    const InputRecord& record = poll(PollInput().keys(every_key).pad(every_button));
    EXPECT_EQ(record.held & INPUT_ACTION, 0u);
}

TEST_F(InputPollTest, DirectionSlotsOnButtonsReadTheButtons)
{
    InputSettings settings{};
    settings.keys.codes[KEY_UP] = 256;
    settings.keys.codes[KEY_LEFT] = 263;
    input_apply_settings(settings);
    DIMOUSESTATE moving{1000, 1000, 0, {}};
    EXPECT_EQ(poll(PollInput().mouse(moving)).direction, 0u) << "mouse movement presses nothing";
    EXPECT_EQ(poll(PollInput().mouse(mouse_buttons({0}))).direction, 8u);
    EXPECT_EQ(poll(PollInput().pad({0})).direction, 2u);
    g_input_game_pad = 0;
    EXPECT_EQ(poll(PollInput().pad({0})).direction, 0u);
}

TEST_F(InputPollTest, MouseDirCode259FollowsMouseButton3)
{
    InputSettings settings{};
    settings.keys.codes[MOUSE_DIR] = INPUT_CODE_NO_INPUT;
    input_apply_settings(settings);
    EXPECT_EQ(poll(PollInput().mouse(mouse_buttons({3}))).held, INPUT_MOUSE_DIR);
    settings.keys.codes[MOUSE_DIR] = 263;
    input_apply_settings(settings);
    poll();
    EXPECT_EQ(poll(PollInput().pad({0})).held & INPUT_MOUSE_DIR, 0u) << "a controller button never counts";
}

TEST_F(InputPollTest, ClearRecordKeepsCursorWheelStickAndAngle)
{
    g_input_wheel = 120;
    seam_host_mouse_motion(m_window, 320, 0);
    drain();
    poll(PollInput().keys({DIK_RIGHT, DIK_Z}).stick(0, -1024));
    input_clear_record();
    const InputRecord& record = g_input_ring.records[g_input_ring.current];
    EXPECT_EQ(record.cursor_x, 320);
    EXPECT_EQ(record.wheel, 120);
    EXPECT_EQ(record.stick_y, -1024);
    EXPECT_EQ(record.angle, 0.0f);
    EXPECT_EQ(record.direction, 0u);
    EXPECT_EQ(record.magnitude, 0.0f);
    EXPECT_EQ(record.held, 0u);
    EXPECT_EQ(record.pressed, 0u);
    EXPECT_EQ(record.step_x, 0);
    EXPECT_EQ(record.step_y, 0);
}

TEST(InputDeadZone, IsClampedAndTruncatedToAxisUnits)
{
    const struct {
        float fraction;
        float units;
        float scale;
    } cases[] = {
        {0.35f, 358, 1.0f / 666}, {0.1f, 204, 1.0f / 820}, {0.2f, 204, 1.0f / 820},
        {1.0f, 1024, 1.0f},       {1.5f, 1024, 1.0f},      {NAN, 204, 1.0f / 820},
    };
    for (const auto& c : cases) {
        input_set_dead_zone(c.fraction);
        EXPECT_EQ(g_input_dead_zone, c.units) << c.fraction;
        EXPECT_EQ(g_input_dead_zone_sq, std::int32_t(c.units * c.units)) << c.fraction;
        EXPECT_FLOAT_EQ(g_input_dead_zone_scale, c.scale) << c.fraction;
    }
}

TEST(InputStickToPolar, GivesTheOctantOfEachHeading)
{
    const struct {
        float a, b;
        std::uint32_t direction;
    } cases[] = {
        {1, 0, 4},  {1, -1, 12}, {0, -1, 8}, {-1, -1, 10},   {-1, 0, 2},
        {-1, 1, 3}, {0, 1, 1},   {1, 1, 5},  {1, -0.41f, 4}, {1, -0.42f, 12},
    };
    for (const auto& c : cases) {
        float angle = 0, magnitude = 0;
        std::uint32_t direction = 0;
        input_stick_to_polar(angle, magnitude, direction, c.a * 1024, c.b * 1024, 1, 1);
        EXPECT_EQ(direction, c.direction) << c.a << "," << c.b;
        EXPECT_FLOAT_EQ(angle, std::atan2(-c.b, c.a));
        EXPECT_FLOAT_EQ(magnitude, std::hypot(c.a, c.b));
    }
}

TEST_F(InputTest, SettingsStepTakesTheBackBufferAsTheMousesScreen)
{
    RendererSettings renderer{};
    renderer.back_buffer_width = 800;
    renderer.back_buffer_height = 600;
    InputSettings settings{};
    settings.double_click_polls = 7;
    settings.dead_zone = 0.5f;
    EngineParams params{};
    params.window = m_window;
    params.windowed = 1;
    params.renderer_settings = &renderer;
    params.input_settings = &settings;
    g_window_origin = WindowOrigin{};
    g_window_origin.windowed = true;
    SysInitContext context{params, SUBSYS_INPUT_SETTINGS, 0};
    EXPECT_EQ(input_init_settings(context), S_OK);
    EXPECT_EQ(g_window_origin.back_buffer_width, 800);
    EXPECT_EQ(g_window_origin.back_buffer_height, 600);
    EXPECT_EQ(g_window_origin.centre_x, 400);
    EXPECT_EQ(g_window_origin.centre_y, 300);
    EXPECT_EQ(g_input_double_click_limit, 7);
    EXPECT_EQ(g_input_dead_zone, 512.0f);
}
