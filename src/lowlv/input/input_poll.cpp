#include "lowlv/input/input_poll.h"

#include "core/timer.h"
#include "lowlv/d3d/d3d_settings.h"
#include "lowlv/input/input_device.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <numbers>
#include <utility>

namespace {

constexpr float k_pi = std::numbers::pi_v<float>;
constexpr float k_full_throw = 1024.0f;
constexpr int k_virtual_width = 640;
constexpr int k_virtual_height = 480;

// Left, down-left, down, down-right, right, up-right, up, up-left.
constexpr std::uint32_t k_octants[8] = {2, 3, 1, 5, 4, 12, 8, 10};
// The heading of each direction code; codes that name no direction have 0.
constexpr float k_direction_angles[16] = {
    0, -k_pi / 2, k_pi, -3 * k_pi / 4, 0, -k_pi / 4, 0, 0, k_pi / 2, 0, 3 * k_pi / 4, 0, k_pi / 4, 0, 0, 0,
};

// Slots KEY_UP ... KEY_DOWNRIGHT in order, and the arrow keys.
constexpr std::uint32_t k_slot_directions[8] = {8, 1, 2, 4, 10, 12, 3, 5};
struct ArrowKey {
    BYTE code;
    std::uint32_t direction;
};
constexpr ArrowKey k_arrow_keys[] = {{DIK_UP, 8}, {DIK_DOWN, 1}, {DIK_LEFT, 2}, {DIK_RIGHT, 4}};

struct ButtonGroup {
    int first;
    int count;
};
constexpr ButtonGroup k_button_groups[] = {{KEY_ACTION, 11}, {PAD_ACTION, 8}, {MOUSE_ACTION, 6}};

constexpr std::int32_t k_repeat_first = 1;
constexpr std::int32_t k_repeat_again = 28;
constexpr std::int32_t k_repeat_wrap = 33;

// The codes of the key-name table; every other code is no input.
bool code_named(std::int32_t code)
{
    static const auto named = [] {
        std::array<bool, INPUT_CODE_PAD_BUTTON + 16> table{};
        for (const KeyName& entry : g_key_name_table)
            table[entry.code] = true;
        return table;
    }();
    return code >= 0 && code < std::int32_t(named.size()) && named[code];
}

bool is_mouse_code(std::int32_t code)
{
    return code >= INPUT_CODE_MOUSE_BUTTON && code < INPUT_CODE_NO_INPUT;
}

// A key's byte, mouse buttons 0-2 or a controller button (with the game pad on).
bool input_down(std::int32_t code, const InputDeviceState& block)
{
    if (!code_named(code)) return false;
    if (code < INPUT_CODE_MOUSE_BUTTON) return block.keys[code] & 0x80;
    if (is_mouse_code(code)) return block.mouse.rgbButtons[code - INPUT_CODE_MOUSE_BUTTON] & 0x80;
    if (code >= INPUT_CODE_PAD_BUTTON)
        return g_input_game_pad && (block.controller.rgbButtons[code - INPUT_CODE_PAD_BUTTON] & 0x80);
    return false;
}

// MOUSE_DIR reads keys and mouse buttons 0-3, never the controller.
bool mouse_dir_down(std::int32_t code, const InputDeviceState& block)
{
    if (!code_named(code)) return false;
    if (code < INPUT_CODE_MOUSE_BUTTON) return block.keys[code] & 0x80;
    if (code <= INPUT_CODE_NO_INPUT) return block.mouse.rgbButtons[code - INPUT_CODE_MOUSE_BUTTON] & 0x80;
    return false;
}

struct Actions {
    std::uint32_t previous; // the previous record's held word
    std::uint32_t held = 0;
    std::uint32_t pressed = 0;

    void add(std::uint32_t bits)
    {
        held |= bits;
        if (!(previous & bits)) pressed |= bits;
    }
};

std::uint32_t read_directions(const InputDeviceState& block)
{
    std::uint32_t direction = 0;
    for (int slot = KEY_UP; slot <= KEY_DOWNRIGHT; ++slot)
        if (input_down(g_input_keys.codes[slot], block)) direction |= k_slot_directions[slot - KEY_UP];
    for (const ArrowKey& arrow : k_arrow_keys)
        if (block.keys[arrow.code] & 0x80) direction |= arrow.direction;
    return direction;
}

// Of two opposite directions the one that was not held alone before wins.
std::uint32_t resolve_opposites(std::uint32_t direction)
{
    struct Pair {
        std::uint32_t first, second, memory_bit;
    };
    constexpr Pair pairs[] = {{INPUT_DIR_UP, INPUT_DIR_DOWN, 1}, {INPUT_DIR_LEFT, INPUT_DIR_RIGHT, 2}};
    for (const Pair& pair : pairs) {
        if ((direction & pair.first) && (direction & pair.second)) {
            direction &= ~((g_input_direction_memory & pair.memory_bit) ? pair.first : pair.second);
        } else if (direction & pair.first) {
            g_input_direction_memory |= pair.memory_bit;
        } else {
            g_input_direction_memory &= ~pair.memory_bit;
        }
    }
    return direction;
}

// The throw beyond the dead zone mapped onto 0..1.
float beyond_dead_zone(float value)
{
    if (g_input_dead_zone > std::fabs(value)) return 0.0f;
    return value >= 0 ? (value - g_input_dead_zone) * g_input_dead_zone_scale
                      : (value + g_input_dead_zone) * g_input_dead_zone_scale;
}

void read_stick(const InputDeviceState& block, InputRecord& record)
{
    if (!g_input_game_pad || !g_input_controller) return;
    std::int32_t x = block.controller.lX;
    std::int32_t y = block.controller.lY;
    if (std::int64_t{x} * x + std::int64_t{y} * y < g_input_dead_zone_sq) x = y = 0;
    record.stick_x = x;
    record.stick_y = y;
    if (record.direction != 0 || (x == 0 && y == 0)) return;
    float fx = float(x), fy = float(y);
    input_stick_to_polar(record.angle, record.magnitude, record.direction, fx, fy, beyond_dead_zone(fx),
                         beyond_dead_zone(fy));
    if (g_input_pad_analog) {
        record.angle = FLT_MAX;
        record.magnitude = 1.0f;
    }
}

void read_cursor(const InputRecord& previous, InputRecord& record)
{
    POINT point{};
    const WindowOrigin& origin = g_window_origin;
    if (!GetCursorPos(&point) || origin.back_buffer_width <= 0 || origin.back_buffer_height <= 0) {
        record.cursor_x = previous.cursor_x;
        record.cursor_y = previous.cursor_y;
        return;
    }
    std::int32_t cx = origin.centre_x;
    record.cursor_x =
        ((point.x - origin.x - cx) * 368 / 320 + cx) * k_virtual_width / origin.back_buffer_width;
    record.cursor_y = (point.y - origin.y) * 288 / 240 * k_virtual_height / origin.back_buffer_height;
}

void read_button_groups(const InputDeviceState& block, Actions& actions)
{
    for (const ButtonGroup& group : k_button_groups) {
        for (int j = 0; j < group.count; ++j) {
            std::int32_t code = g_input_keys.codes[group.first + j];
            if (!input_down(code, block)) continue;
            std::uint32_t bit = 1u << j;
            actions.add(bit);
            bool mouse = is_mouse_code(code);
            std::uint32_t extra = 0;
            if (j == 0 && !mouse) extra = INPUT_DECIDE;
            if (j == 0 && mouse && !g_input_mouse_ok_cancel) extra = INPUT_CLICK;
            if (j == 1 && !(mouse && g_input_mouse_ok_cancel)) extra = INPUT_CANCEL;
            actions.held |= extra;
            if (actions.pressed & bit) actions.pressed |= extra;
        }
    }
}

void read_mouse_dir(const InputDeviceState& block, const InputRecord& previous, Actions& actions)
{
    if (mouse_dir_down(g_input_keys.codes[MOUSE_DIR], block)) actions.add(INPUT_MOUSE_DIR);
    bool new_press = !(previous.held & INPUT_MOUSE_DIR) && (actions.held & INPUT_MOUSE_DIR);
    if (new_press) {
        if (g_input_double_click_count <= g_input_double_click_limit) actions.pressed |= INPUT_DOUBLE_CLICK;
        g_input_double_click_count = 0;
    } else if (g_input_double_click_count < INT32_MAX) {
        ++g_input_double_click_count;
    }
}

void repeat_steps(InputRecord& record)
{
    record.step_x = record.step_y = 0;
    if (record.direction == 0) {
        g_input_repeat_count = 0;
        return;
    }
    if (++g_input_repeat_count == k_repeat_wrap) g_input_repeat_count = k_repeat_again;
    if (g_input_repeat_count != k_repeat_first && g_input_repeat_count != k_repeat_again) return;
    if (record.direction & INPUT_DIR_LEFT) record.step_x = -1;
    if (record.direction & INPUT_DIR_RIGHT) record.step_x = 1;
    if (record.direction & INPUT_DIR_DOWN) record.step_y = 1;
    if (record.direction & INPUT_DIR_UP) record.step_y = -1;
}

} // namespace

void input_set_dead_zone(float fraction)
{
    if (!(fraction >= 0.2f)) fraction = 0.2f; // NaN too
    if (fraction > 1.0f) fraction = 1.0f;
    std::int32_t units = static_cast<std::int32_t>(fraction * k_full_throw);
    g_input_dead_zone = float(units);
    g_input_dead_zone_sq = units * units;
    g_input_dead_zone_scale = units == 1024 ? 1.0f : 1.0f / (k_full_throw - g_input_dead_zone);
}

void input_refresh_swap_buttons()
{
    g_input_swap_buttons = GetSystemMetrics(SM_SWAPBUTTON) != 0;
}

HRESULT input_apply_settings(const InputSettings& settings)
{
    for (int slot = 0; slot < KEY_SLOT_COUNT; ++slot) {
        std::int32_t code = settings.keys.codes[slot];
        g_input_keys.codes[slot] = code_named(code) ? code : INPUT_CODE_NONE;
    }
    g_input_mouse_ok_cancel = settings.mouse_buttons_ok_cancel;
    g_input_pad_analog = settings.pad_analog;
    input_refresh_swap_buttons();
    g_input_double_click_limit = settings.double_click_polls;
    g_input_run_walk_threshold = settings.run_walk_threshold;
    input_set_dead_zone(settings.dead_zone);
    return S_OK;
}

void input_stick_to_polar(float& angle, float& magnitude, std::uint32_t& direction, float a, float b, float c,
                          float d)
{
    magnitude = std::sqrt((a * c) * (a * c) + (b * d) * (b * d)) / k_full_throw;
    angle = std::atan2(-b, a);
    int octant = static_cast<int>(std::floor((angle + k_pi + k_pi / 8) * 4 / k_pi)) & 7;
    direction = k_octants[octant];
}

HRESULT input_poll()
{
    std::uint32_t index = g_input_ring.current ^ 1;
    g_input_ring.current = index;
    InputRecord& record = g_input_ring.records[index];
    const InputRecord& previous = g_input_ring.records[index ^ 1];
    InputDeviceState& block = g_input_device_states[index];

    if (g_input_controller) input_read_controller(block);
    if (g_input_keyboard) input_read_keyboard(block);
    if (g_input_mouse) input_read_mouse(block);
    read_cursor(previous, record);
    if (g_input_swap_buttons) std::swap(block.mouse.rgbButtons[0], block.mouse.rgbButtons[1]);
    record.wheel = g_input_wheel;
    g_input_wheel = 0;

    record.direction = resolve_opposites(read_directions(block));
    record.angle = FLT_MAX;
    record.magnitude = record.direction ? 1.0f : 0.0f;
    record.stick_x = record.stick_y = 0;
    read_stick(block, record);
    if (record.angle == FLT_MAX) record.angle = k_direction_angles[record.direction & 15];

    Actions actions{previous.held};
    read_button_groups(block, actions);
    if (g_input_mouse_ok_cancel) {
        if (block.mouse.rgbButtons[0] & 0x80) actions.add(INPUT_CLICK);
        if (block.mouse.rgbButtons[1] & 0x80) actions.add(INPUT_CANCEL);
    }
    read_mouse_dir(block, previous, actions);
    if (block.keys[DIK_ESCAPE] & 0x80) actions.add(INPUT_MENU);
    record.held = actions.held;
    record.pressed = actions.pressed;
    repeat_steps(record);
    return S_OK;
}

void input_clear_record()
{
    InputRecord& record = g_input_ring.records[g_input_ring.current];
    record.direction = 0;
    record.magnitude = 0.0f;
    record.held = record.pressed = 0;
    record.step_x = record.step_y = 0;
}

void input_set_cursor(std::int32_t x, std::int32_t y)
{
    const WindowOrigin& origin = g_window_origin;
    std::int32_t cx = origin.centre_x;
    std::int32_t screen_x = (x * origin.back_buffer_width / k_virtual_width - cx) * 320 / 368 + origin.x + cx;
    std::int32_t screen_y = y * origin.back_buffer_height / k_virtual_height * 240 / 288 + origin.y;
    SetCursorPos(screen_x, screen_y);
    for (InputRecord& record : g_input_ring.records) {
        record.cursor_x = x;
        record.cursor_y = y;
    }
    for (InputDeviceState& block : g_input_device_states)
        block.mouse.lX = block.mouse.lY = 0;
}

HRESULT input_init_settings(SysInitContext& context)
{
    const EngineParams& params = context.params;
    if (params.input_settings) input_apply_settings(*params.input_settings);
    if (const RendererSettings* renderer = params.renderer_settings) {
        g_window_origin.back_buffer_width = std::int32_t(renderer->back_buffer_width);
        g_window_origin.back_buffer_height = std::int32_t(renderer->back_buffer_height);
    }
    input_update_client_origin(params.window);
    timer_set_stall_handler(input_reset);
    return S_OK;
}
