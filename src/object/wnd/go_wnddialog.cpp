#include "object/wnd/go_wnddialog.h"

#include "core/errors.h"
#include "core/text.h"
#include "core/timer.h"
#include "game/g_game.h"
#include "game/g_image_table.h"
#include "game/g_overlay.h"
#include "game/g_pointer.h"
#include "game/g_settings.h"
#include "game/g_sound.h"
#include "game/g_tick.h"
#include "lowlv/input/input_poll.h"
#include "lowlv/input/input_state.h"
#include "object/obj_pools.h"
#include "scenegraph/renderer.h"

#include <cmath>
#include <cstdlib>

char g_last_dialog_label[DIALOG_SCRIPT_LABEL_SIZE] = {};

namespace {

constexpr const char* k_source = "go_wnddialog";
constexpr unsigned k_line_surface = 206;

constexpr std::int32_t k_surface_width = 256;
constexpr std::int32_t k_surface_height = 28;
constexpr std::int32_t k_reveal_all = 0x7FFF0000;
constexpr std::int32_t k_reveal_step = 0x7000; // 0.4375 characters a tick
constexpr std::int32_t k_reveal_fast_step = 0x30000;
constexpr std::int32_t k_ticks_per_typewriter_sound = 5;
constexpr float k_fade_step = 0.075f;

constexpr float k_box_margin = 32.0f;
constexpr float k_box_bottom_margin = 8.0f;
constexpr float k_row_gap = 4.0f;
constexpr float k_row_height = 24.0f;
constexpr float k_title_row_y = -28.0f;
constexpr std::int32_t k_pointer_offset = 16; // the hover rule measures from here

constexpr std::int32_t k_sound_decide = 0;
constexpr std::int32_t k_sound_cancel = 1;
constexpr std::int32_t k_sound_cursor = 3;
constexpr std::int32_t k_sound_typewriter = 12;
constexpr std::int32_t k_sound_level = 1024;

constexpr std::uint32_t k_draw_layer = 0x03000001;
constexpr MaterialFlags k_skin_material = 0x20041; // textured, blended, clamped at the edges
constexpr MaterialFlags k_cursor_bar_material = 0x40C1;
constexpr D3DCOLOR k_rgb_focused = 0xFFFFFF;
constexpr D3DCOLOR k_rgb_unfocused = 0x7F7F7F;
constexpr D3DCOLOR k_rgb_row_focused = 0xB0D0D0;
constexpr D3DCOLOR k_rgb_row_unfocused = 0x586868;
constexpr D3DCOLOR k_white = 0xFFFFFFFF;
constexpr D3DCOLOR k_rgb_mask = 0xFFFFFF;
const D3DXVECTOR2 k_text_scale(1.0f, 1.0f); // also the shadow's offset

// The skin's three columns and three rows: the caps and the stretched middle, as offsets from the
// inner area's left or right edge and its top or bottom.
constexpr float k_skin_left[2] = {-56.0f, -24.0f};
constexpr float k_skin_right[2] = {24.0f, 56.0f};
constexpr float k_skin_u[4] = {0.0f, 0.125f, 0.875f, 1.0f};
constexpr float k_skin_top[2] = {-48.0f, 0.0f};
constexpr float k_skin_bottom[2] = {0.0f, 16.0f};
constexpr float k_skin_v[4] = {0.0f, 0.375f, 0.875f, 1.0f};

constexpr float k_cursor_bar_overhang = 32.0f;
constexpr float k_cursor_bar_height = 20.0f;

InputRecord& current_record()
{
    return g_input_ring.records[g_input_ring.current];
}

// A rectangle of the 640x480 screen as a strip-ordered quad scaled to the back buffer.
void draw_rect(float left, float top, float right, float bottom, float u0, float v0, float u1, float v1,
               D3DCOLOR color, int image, MaterialFlags material)
{
    ScreenVertex quad[4] = {
        {left, top, 0.0f, 1.0f, color, u0, v0},
        {right, top, 0.0f, 1.0f, color, u1, v0},
        {left, bottom, 0.0f, 1.0f, color, u0, v1},
        {right, bottom, 0.0f, 1.0f, color, u1, v1},
    };
    renderer_scale_2d(quad, sizeof(ScreenVertex), 4);
    hud_draw_screen_quad(quad, g_texture_handles[image], material);
}

D3DCOLOR with_alpha(D3DCOLOR rgb, D3DCOLOR alpha_byte)
{
    return alpha_byte | (rgb & k_rgb_mask);
}

} // namespace

GoWndDialog::GoWndDialog() : GoBase(go_next_object_id(GO_CLASS_WNDDIALOG), GO_CLASS_WNDDIALOG) {}

GoWndDialog::~GoWndDialog()
{
    for (TextSurface& surface : surfaces)
        text_release_surface(surface);
}

void GoWndDialog::Setup(const char* title, D3DXVECTOR2 at, bool with_typewriter_sound)
{
    sys_copy_string(items[0].label, title ? title : "", sizeof items[0].label);
    position = at;
    typewriter_sound = with_typewriter_sound ? 1 : 0;
    count = 1;
}

void GoWndDialog::AddItem(const char* label, DialogCallback on_choose)
{
    if (count >= DIALOG_ITEMS) return;
    DialogItem& item = items[count++];
    sys_copy_string(item.label, label, sizeof item.label);
    item.callback = on_choose;
    item.script_label[0] = '\0';
}

void GoWndDialog::Layout()
{
    box_size.y = 0.0f;
    widest = 0.0f;
    for (std::int32_t i = 0; i < count; ++i) {
        TextSurface& surface = surfaces[i];
        text_release_surface(surface);
        const HRESULT hr = text_create_surface(g_high_reso_text != 0, k_surface_width, surface, g_game_font,
                                               k_surface_height);
        if (FAILED(hr)) err_raise_code(hr, nullptr, k_source, k_line_surface);
        TextRequest measured;
        measured.text = items[i].label;
        text_measure(surface, measured);
        const auto width = static_cast<float>(measured.virtual_width);
        if (i == 0)
            reveal_end = measured.counted;
        else
            box_size.y += static_cast<float>(measured.virtual_height) + k_row_gap;
        items[i].row_x = -0.5f * width;
        items[i].row_y = i == 0 ? k_title_row_y : k_row_gap + k_row_height * static_cast<float>(i - 1);
        if (width > widest) widest = width;
    }
    if (items[0].label[0] == '\0') reveal_end = k_reveal_all;
    box_size.x = widest + k_box_margin;
    box_size.y += k_box_bottom_margin;
}

void GoWndDialog::Activate()
{
    if (active) return;
    active = 1;
    show_time = timer_frame_ms();
}

void GoWndDialog::SetCancelByLabel(const char* label)
{
    for (std::int32_t i = 1; i < count; ++i) {
        if (sys_names_equal(items[i].script_label, label)) {
            cancel_item = i;
            return;
        }
    }
}

// An empty list wraps its cursor to 0 and a cancel entry may be set from outside: only a choice
// that exists runs.
void GoWndDialog::RunItem(std::int32_t index)
{
    if (!IsChoice(index)) return;
    if (items[index].callback) items[index].callback(*this);
}

// ---- Update ---------------------------------------------------------------------------------------

void GoWndDialog::Update()
{
    if (!g_whole_tick) return EndTick();
    if (decided) {
        ticks_shown = 0;
        alpha -= k_fade_step;
        if (alpha > 0.0f) return EndTick();
        go_kill(*this);
        return;
    }
    bool has_input = active && focus;
    if (has_input && !had_focus && g_pointer_in_use) HoverRow();
    had_focus = has_input ? 1 : 0;
    if (alpha < 1.0f) {
        alpha += k_fade_step;
        if (alpha < 1.0f) return EndTick();
        alpha = 1.0f;
    }
    const InputRecord& input = current_record();
    if (has_input) {
        std::uint32_t release_first = INPUT_DECIDE | INPUT_CLICK;
        if (cancel_item >= 0) release_first |= INPUT_CANCEL;
        if (!(input.held & release_first)) armed = 1;
    } else {
        armed = 0;
    }
    if (!TitleRevealed()) {
        RevealTitle(has_input);
        return EndTick();
    }
    title_shown = 1;
    if (has_input) ++ticks_shown;
    if (close_request) {
        active = 0;
        decided = 1;
        return EndTick();
    }
    if (!armed) has_input = false;
    if (Choose(has_input)) return EndTick();
    if (has_input) {
        MoveCursor(input.step_y);
        if (g_pointer_moved) {
            mouse_on_row = 0;
            HoverRow();
        }
    }
    EndTick();
}

// The choice under the pointer becomes the cursor.
void GoWndDialog::HoverRow()
{
    const InputRecord& input = current_record();
    const std::int32_t dy =
        static_cast<std::int32_t>(static_cast<float>(input.cursor_y) - position.y) - k_pointer_offset;
    const std::int32_t dx =
        std::abs(static_cast<std::int32_t>(static_cast<float>(input.cursor_x) - position.x) -
                 k_pointer_offset) *
        2;
    if (dy < 0 || dy >= static_cast<std::int32_t>(box_size.y) || dx >= static_cast<std::int32_t>(box_size.x))
        return;
    const std::int32_t row =
        (dy + static_cast<std::int32_t>(k_row_gap)) / static_cast<std::int32_t>(k_row_height) + 1;
    if (!IsChoice(row)) return;
    if (row != cursor) sound_play(k_sound_cursor, k_sound_level);
    cursor = row;
    mouse_on_row = 1;
}

void GoWndDialog::MoveCursor(std::int32_t step)
{
    if (step == 0) return;
    sound_play(k_sound_cursor, k_sound_level);
    cursor += step;
    if (cursor < 1) cursor = count - 1;
    if (cursor >= count) cursor = 1;
}

bool GoWndDialog::TitleRevealed() const
{
    // An empty title has nothing to wait for, though its end stands for every character.
    return items[0].label[0] == '\0' || (reveal_position & ~0xFFFF) >= reveal_end;
}

void GoWndDialog::RevealTitle(bool has_input)
{
    if (++tick_sound_count >= k_ticks_per_typewriter_sound) {
        tick_sound_count = 0;
        if (typewriter_sound) sound_play(k_sound_typewriter, k_sound_level);
    }
    reveal_position += fast_reveal ? k_reveal_fast_step : k_reveal_step;
    if (close_request || (has_input && (current_record().held & INPUT_ACTION))) fast_reveal = 1;
}

// Decide takes the cursor's choice, cancel the cancel entry; true when one was made.
bool GoWndDialog::Choose(bool has_input)
{
    if (!has_input) return false;
    const InputRecord& input = current_record();
    const bool decide = (input.pressed & INPUT_DECIDE) || ((input.pressed & INPUT_CLICK) && mouse_on_row);
    if (decide) {
        decided = 1;
        sound_play(k_sound_decide, k_sound_level);
        if (IsChoice(cursor) && items[cursor].script_label[0] != '\0')
            sys_copy_string(g_last_dialog_label, items[cursor].script_label, sizeof g_last_dialog_label);
        RunItem(cursor);
        return true;
    }
    if ((input.pressed & INPUT_CANCEL) && cancel_item >= 0) {
        decided = 1;
        sound_play(k_sound_cancel, k_sound_level);
        RunItem(cancel_item);
        return true;
    }
    return false;
}

// What the dialog has seen is used up; it is drawn on the frame's drawing step.
void GoWndDialog::EndTick()
{
    input_clear_record();
    if (g_draw_frame) hud_queue_layer(k_draw_layer, &GoWndDialog::Draw, this);
}

// ---- Draw -------------------------------------------------------------------------------------------

void GoWndDialog::Draw(RenderQueueItem*, void* user)
{
    GoWndDialog& dialog = *static_cast<GoWndDialog*>(user);
    const D3DCOLOR alpha_byte = renderer_alpha_factor(dialog.alpha) & ~k_rgb_mask;
    const D3DCOLOR color = with_alpha(dialog.focus ? k_rgb_focused : k_rgb_unfocused, alpha_byte);
    if (!dialog.no_box) dialog.DrawSkin(color);
    dialog.DrawItems(color);
    if (dialog.title_shown && dialog.active) dialog.DrawCursorBar(color);
}

// Three by three pieces: the corners keep their size, the edges and the middle stretch.
void GoWndDialog::DrawSkin(D3DCOLOR color) const
{
    const float cx = position.x - 0.5f;
    const float top = position.y - 0.5f;
    const float left = cx - std::floor(box_size.x / 2.0f);
    const float right = left + box_size.x;
    const float bottom = top + box_size.y;
    const float xs[4] = {left + k_skin_left[0], left + k_skin_left[1], right + k_skin_right[0],
                         right + k_skin_right[1]};
    const float ys[4] = {top + k_skin_top[0], top + k_skin_top[1], bottom + k_skin_bottom[0],
                         bottom + k_skin_bottom[1]};
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            draw_rect(xs[column], ys[row], xs[column + 1], ys[row + 1], k_skin_u[column], k_skin_v[row],
                      k_skin_u[column + 1], k_skin_v[row + 1], color, IMAGE_TABLE_DIALOG, k_skin_material);
}

// The title with its reveal, then the choices once it is shown; the rows off the cursor are
// tinted while the list takes part.
void GoWndDialog::DrawItems(D3DCOLOR color)
{
    const float origin = position.x - 0.5f;
    const float top = position.y - 0.5f;
    const bool tint = title_shown && active;
    const D3DCOLOR alpha_byte = color & ~k_rgb_mask;
    const D3DCOLOR row_tint = with_alpha(focus ? k_rgb_row_focused : k_rgb_row_unfocused, alpha_byte);
    const std::int32_t shown = title_shown ? count : 1;
    for (std::int32_t i = 0; i < shown; ++i) {
        const DialogItem& item = items[i];
        if (item.label[0] == '\0') continue;
        TextRequest request;
        request.text = item.label;
        request.visible = i == 0 ? reveal_position : k_reveal_all;
        request.color = k_white;
        request.clear = 1;
        text_render(surfaces[i], request);
        const D3DCOLOR item_color = tint && i != 0 && i != cursor ? row_tint : color;
        text_draw(D3DXVECTOR2(origin + item.row_x, top + item.row_y),
                  D3DXVECTOR2(static_cast<float>(request.width), static_cast<float>(request.height)),
                  k_text_scale, surfaces[i], alpha_byte, item_color);
    }
}

void GoWndDialog::DrawCursorBar(D3DCOLOR color) const
{
    if (!IsChoice(cursor)) return;
    const float origin = position.x - 0.5f;
    const float left = origin - k_cursor_bar_overhang - widest / 2.0f;
    const float top = position.y - 0.5f + items[cursor].row_y;
    draw_rect(left, top, left + widest + 2.0f * k_cursor_bar_overhang, top + k_cursor_bar_height, 0.0f, 0.0f,
              1.0f, 1.0f, color, IMAGE_TABLE_MENU_CURSOR, k_cursor_bar_material);
}

GoWndDialog* dialog_open(const char* title, D3DXVECTOR2 at, std::initializer_list<DialogChoice> choices)
{
    GoWndDialog* dialog = obj_create<GoWndDialog>(g_pool_wnddialog);
    if (!dialog) return nullptr;
    try {
        dialog->Setup(title, at, false);
        for (const DialogChoice& choice : choices)
            dialog->AddItem(choice.label, choice.on_choose);
        dialog->Layout();
    } catch (...) {
        dialog->DeletingDestructor();
        throw;
    }
    dialog->Activate();
    return dialog;
}
