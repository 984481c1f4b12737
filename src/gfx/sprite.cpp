#include "gfx/sprite.h"

#include "core/errors.h"
#include "game/g_game.h"
#include "game/g_settings.h"
#include "scenegraph/renderer.h"
#include "scenegraph/texture.h"

#include <cmath>
#include <iterator>
#include <span>

namespace {

constexpr int k_blink_low = 32;
constexpr int k_blink_high = 255;
constexpr int k_pulse_low = 0;
constexpr int k_pulse_high = 160;
constexpr D3DCOLOR k_white_rgb = 0xFFFFFF;
constexpr D3DCOLOR k_grey_step = 0x010101;
constexpr D3DCOLOR k_alpha_mask = 0xFF000000;

constexpr std::int32_t k_text_line_spacing = 4;
constexpr std::int32_t k_text_everything = 0x7FFF0000;
constexpr std::uint32_t k_menu_mip_levels = 1; // drawn 1:1 on the virtual screen

constexpr std::uint8_t k_camp = menu_screen_bit(MENU_SCREEN_CAMP);
constexpr std::uint8_t k_save = menu_screen_bit(MENU_SCREEN_SAVE);
constexpr std::uint8_t k_load = menu_screen_bit(MENU_SCREEN_LOAD);
constexpr std::uint8_t k_options = menu_screen_bit(MENU_SCREEN_OPTIONS);
constexpr std::uint8_t k_shop = menu_screen_bit(MENU_SCREEN_SHOP);

constexpr D3DFORMAT k_565 = D3DFMT_R5G6B5;
constexpr D3DFORMAT k_8888 = D3DFMT_A8R8G8B8;
constexpr D3DFORMAT k_4444 = D3DFMT_A4R4G4B4;
constexpr D3DFORMAT k_1555 = D3DFMT_A1R5G5B5;

// The font table of every text rectangle; both entries are the game font of the moment.
HFONT g_text_window_fonts[2] = {};

// Moves (x, y) toward the target by at most `speed`, snapping when within reach.
bool glide(float& x, float& y, float target_x, float target_y, float speed)
{
    const float dx = target_x - x;
    const float dy = target_y - y;
    if (dx == 0.0f && dy == 0.0f) return false;
    const float before_x = x, before_y = y;
    const float length2 = dx * dx + dy * dy;
    if (length2 <= speed * speed) {
        x = target_x;
        y = target_y;
    } else {
        const float length = std::sqrt(length2);
        x += dx * speed / length;
        y += dy * speed / length;
    }
    return x != before_x || y != before_y;
}

int channel(D3DCOLOR color, int shift)
{
    return static_cast<int>((color >> shift) & 0xFF);
}

float channel_distance2(D3DCOLOR a, D3DCOLOR b)
{
    float sum = 0.0f;
    for (int shift = 0; shift < 32; shift += 8) {
        const auto d = static_cast<float>(channel(b, shift) - channel(a, shift));
        sum += d * d;
    }
    return sum;
}

// Moves the four channels toward the target: the colour snaps when `measure` (a function of the
// channel distance, never 0 here) is within the speed squared, else each channel moves by its
// difference x speed / sqrt(measure), truncated. The speed stays below sqrt(measure) on that
// path, so no channel passes its target.
bool ease_color(D3DCOLOR& color, D3DCOLOR target, float speed, float measure)
{
    if (color == target) return false;
    const D3DCOLOR before = color;
    if (measure <= speed * speed) {
        color = target;
        return true;
    }
    const float root = std::sqrt(measure);
    D3DCOLOR moved = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int from = channel(color, shift);
        const auto difference = static_cast<float>(channel(target, shift) - from);
        const int value = from + static_cast<int>(difference * speed / root);
        moved |= static_cast<D3DCOLOR>(value & 0xFF) << shift;
    }
    color = moved;
    return color != before;
}

// One step of the cycle, turning back at a bound it would pass; a level outside the bounds
// (a cycle started from 0) is brought inside them.
void cycle_step(SpriteCycle& cycle, int low, int high)
{
    int level = cycle.direction ? cycle.level + cycle.step : cycle.level - cycle.step;
    if (level > high) {
        level = high;
        cycle.direction = 0;
    } else if (level < low) {
        level = low;
        cycle.direction = 1;
    }
    cycle.level = static_cast<std::uint8_t>(level);
}

void draw_text(SpriteRect& rect)
{
    text_render(g_menu_text_surface, rect.text);
    const D3DXVECTOR2 position(rect.x - 0.5f, rect.y - 0.5f);
    const D3DXVECTOR2 size(rect.w, rect.h);
    const D3DXVECTOR2 offset(1.0f, 1.0f);
    text_draw(position, size, offset, g_menu_text_surface, rect.color & k_alpha_mask, rect.color);
}

void draw_quad(const SpriteRect& rect)
{
    const float left = rect.x - 0.5f, top = rect.y - 0.5f;
    const float right = left + rect.w, bottom = top + rect.h;
    const D3DCOLOR diffuse = rect.color, specular = rect.second_color;
    SpriteVertex strip[4] = {
        {left, top, 0.0f, 1.0f, diffuse, specular, rect.u0, rect.v0},
        {left, bottom, 0.0f, 1.0f, diffuse, specular, rect.u0, rect.v1},
        {right, top, 0.0f, 1.0f, diffuse, specular, rect.u1, rect.v0},
        {right, bottom, 0.0f, 1.0f, diffuse, specular, rect.u1, rect.v1},
    };
    renderer_scale_2d(strip, sizeof(SpriteVertex), std::size(strip));
    if (rect.material != g_current_material) renderer_set_material_state(rect.material);
    d3d_set_texture_cached(0, rect.texture);
    DynamicBuffer& buffer = renderer_use_vb_rhw_tex2();
    UINT start = 0;
    if (!renderer_vb_upload(std::size(strip), buffer, strip, start)) return;
    d3d_draw_primitive(D3DPT_TRIANGLESTRIP, start, 2);
}

// Every row flagged for the screen into its slot.
void load_images(std::span<const MenuImage> table, std::uint8_t screen)
{
    for (std::size_t slot = 0; slot < table.size(); ++slot) {
        const MenuImage& image = table[slot];
        if (!(image.screens & screen)) continue;
        IDirect3DTexture8* texture =
            tex_load_by_name(image.name, k_menu_mip_levels, image.format, 0, nullptr);
        if (!texture) err_raise_code(E_FAIL, image.name, ERR_HERE);
        g_menu_images[slot] = texture;
    }
}

} // namespace

const MenuImage g_menu_camp_images[MENU_IMAGE_SLOTS] = {
    {"data\\menu\\Back00.dds", k_camp | k_save | k_load | k_options, k_565},
    {"data\\menu\\Equip.dds", k_camp, k_1555},
    {"data\\menu\\Inventory.dds", k_camp, k_1555},
    {"data\\menu\\Load.dds", k_camp, k_1555},
    {"data\\menu\\Save.dds", k_save, k_1555},
    {"data\\menu\\LoadStart.dds", k_load, k_1555},
    {"data\\menu\\Option.dds", k_camp, k_1555},
    {"data\\menu\\Quit.dds", k_camp | k_save | k_load, k_1555},
    {"data\\menu\\Cur00.dds", k_camp, k_4444},
    {"data\\menu\\w_Equip.dds", k_camp, k_565},
    {"data\\menu\\SQUARE.dds", k_camp, k_4444},
    {"data\\menu\\w_Status.dds", k_camp, k_1555},
    {"data\\menu\\w_Invent.dds", k_camp, k_565},
    {"data\\menu\\w_AskUse.dds", k_camp, k_4444},
    {"data\\menu\\w_SvLd.dds", k_camp | k_save | k_load, k_1555},
    {"data\\menu\\w_AskLoad.dds", k_camp | k_load, k_4444},
    {"data\\menu\\w_AskSave.dds", k_save, k_4444},
    {"data\\menu\\w_AskDel.dds", k_camp | k_save | k_load, k_4444},
    {"data\\menu\\w_Option.dds", k_camp | k_options, k_565},
    {"data\\menu\\OpBtn.dds", k_camp | k_options, k_4444},
    {"data\\menu\\w_MsgBox.dds", k_camp | k_options, k_4444},
    {"data\\menu\\hint1.dds", k_camp | k_options, k_565},
    {"data\\menu\\hint2.dds", k_camp | k_options, k_565},
    {"data\\menu\\MAP_POINT.dds", k_camp, k_4444},
    {"data\\menu\\OptionStart.dds", k_options, k_1555},
    {"data\\menu\\Topic.dds", k_camp, k_1555},
    {"data\\menu\\Topic_Btn0.dds", k_camp, k_8888},
    {"data\\menu\\Topic_Btn1.dds", k_camp, k_8888},
    {"data\\menu\\Topic_Btn2.dds", k_camp, k_8888},
    {"data\\menu\\Topic_Cur.dds", k_camp, k_1555},
    {"data\\menu\\w_fs_msg.dds", k_camp, k_4444},
    {"data\\menu\\ring_stone00.dds", k_camp, k_1555},
    {"data\\menu\\ring_stone01.dds", k_camp, k_1555},
    {"data\\menu\\ring_stone02.dds", k_camp, k_1555},
    {"data\\menu\\option_r.dds", k_camp | k_options, k_565},
    {"data\\menu\\option_l.dds", k_camp | k_options, k_565},
    {"data\\menu\\MAP.dds", k_camp, k_8888},
    {"data\\menu\\Topic\\DC_000.dds", k_camp, k_1555},
    {"data\\menu\\Topic\\DC_001.dds", k_camp, k_565},
    {"data\\menu\\Topic\\DC_002.dds", k_camp, k_565},
    {"data\\menu\\Topic\\DC_003.dds", k_camp, k_565},
    {"data\\menu\\Topic\\DC_004.dds", k_camp, k_565},
    {"data\\menu\\Topic\\DC_010.dds", k_camp, k_1555},
    {"data\\menu\\Topic\\DC_011.dds", k_camp, k_1555},
    {"data\\menu\\Topic\\DC_012.dds", k_camp, k_1555},
    {"data\\menu\\Topic\\DC_999.dds", k_camp, k_1555},
    {"data\\menu\\Topic\\BRAM_000.dds", k_camp, k_1555},
    {"data\\menu\\Topic\\tab.dds", k_camp, k_1555},
};

const MenuImage g_menu_shop_images[MENU_SHOP_IMAGES] = {
    {"data\\menu\\w_Status.dds", k_shop, k_1555},    {"data\\menu\\Cur01.dds", k_shop, k_1555},
    {"data\\menu\\w_AskEmPr.dds", k_shop, k_4444},   {"data\\menu\\NotEnough.dds", k_shop, k_4444},
    {"data\\menu\\w_ShopTop.dds", k_shop, k_1555},   {"data\\menu\\w_ShopInv.dds", k_shop, k_1555},
    {"data\\menu\\w_AskSell.dds", k_shop, k_4444},   {"data\\menu\\BuyList.dds", k_shop, k_4444},
    {"data\\menu\\w_AskBuy.dds", k_shop, k_4444},    {"data\\menu\\w_fs_msg.dds", k_shop, k_4444},
    {"data\\menu\\w_DuscaEquip.dds", k_shop, k_565}, {"data\\menu\\SQUARE.dds", k_shop, k_4444},
    {"data\\menu\\w_AskUse02.dds", k_shop, k_4444},
};

TextSurface g_menu_text_surface;
IDirect3DTexture8* g_menu_images[MENU_IMAGE_SLOTS];
bool g_menu_images_ready = false;

void sprite_rect_init(SpriteRect& rect)
{
    rect = SpriteRect{};
}

void sprite_rect_set(SpriteRect& rect, float x, float y, float w, float h)
{
    rect.x = rect.target_x = x;
    rect.y = rect.target_y = y;
    rect.w = rect.target_w = w;
    rect.h = rect.target_h = h;
}

bool sprite_rect_animate(SpriteRect& rect)
{
    bool changed = glide(rect.x, rect.y, rect.target_x, rect.target_y, rect.move_speed);
    changed |= glide(rect.w, rect.h, rect.target_w, rect.target_h, rect.size_speed);
    if (rect.blink.on) {
        cycle_step(rect.blink, k_blink_low, k_blink_high);
        rect.color = static_cast<D3DCOLOR>(rect.blink.level) << 24 | k_white_rgb;
    } else {
        // The root of the distance is rooted again, so the easing slows as the colour nears.
        const float q = std::sqrt(channel_distance2(rect.color, rect.target_color));
        changed |= ease_color(rect.color, rect.target_color, rect.color_speed, q);
    }
    if (rect.pulse.on) {
        cycle_step(rect.pulse, k_pulse_low, k_pulse_high);
        rect.second_color = rect.pulse.level * k_grey_step;
    } else {
        const float d2 = channel_distance2(rect.second_color, rect.target_second_color);
        changed |= ease_color(rect.second_color, rect.target_second_color, rect.color_speed, d2);
    }
    return changed;
}

void sprite_rect_draw(SpriteRect& rect)
{
    if (rect.text_mode)
        draw_text(rect);
    else
        draw_quad(rect);
}

bool sprite_rect_contains(const SpriteRect& rect, std::int32_t x, std::int32_t y)
{
    const auto px = static_cast<float>(x), py = static_cast<float>(y);
    return rect.x <= px && px < rect.x + rect.w && rect.y <= py && py < rect.y + rect.h;
}

void text_window_start(SpriteRect& rect, D3DCOLOR color, const char* text)
{
    g_text_window_fonts[0] = g_text_window_fonts[1] = g_game_font;
    rect.text_mode = 1;
    rect.text.text = text;
    rect.text.color = color;
    rect.text.line_spacing = k_text_line_spacing;
    rect.text.fonts = g_text_window_fonts;
    rect.text.font_count = static_cast<std::int32_t>(std::size(g_text_window_fonts));
    rect.text.visible = k_text_everything;
    rect.text.clear = 1;
}

void sprite_create_font_buffer()
{
    text_release_surface(g_menu_text_surface);
    const HRESULT hr = text_create_surface(g_high_reso_text != 0, MENU_TEXT_WIDTH, g_menu_text_surface,
                                           g_game_font, MENU_TEXT_HEIGHT);
    if (FAILED(hr)) err_raise_code(hr, "Font buffer generation failed.", ERR_HERE);
}

void sprite_font_dc_release(TextSurface& surface)
{
    text_release_surface(surface);
}

void sprite_load_menu_images(std::int32_t type)
{
    g_menu_images_ready = false;
    switch (type) {
    case MENU_SCREEN_CAMP:
    case MENU_SCREEN_SAVE:
    case MENU_SCREEN_LOAD:
    case MENU_SCREEN_OPTIONS:
        load_images(g_menu_camp_images, menu_screen_bit(static_cast<MenuScreen>(type)));
        break;
    case MENU_SCREEN_SHOP:
        load_images(g_menu_shop_images, menu_screen_bit(MENU_SCREEN_SHOP));
        break;
    default:
        break;
    }
    g_menu_images_ready = true;
}
