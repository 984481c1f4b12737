#include "scenegraph/text_glyph.h"

#include "core/maths.h"
#include "core/text.h"
#include "lowlv/d3d/d3d_core.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr std::int32_t k_cell_units = 21; // a cell's side in 640x480 pixels
constexpr std::int32_t k_one = 0x10000;   // 1.0 in 16.16
constexpr std::int32_t k_line_start_indent = 10;
constexpr std::size_t k_tag_limit = 255;
// Pen coordinates are kept within this, so no markup can overflow them.
constexpr std::int64_t k_pen_limit = 0x40000000;

// ---- Glyph cache state -------------------------------------------------------------------------
std::int32_t g_glyph_cell_width = 0;
std::int32_t g_glyph_cell_height = 0;
std::int32_t g_glyph_cell_size = 0;
std::unique_ptr<std::uint8_t[]> g_glyph_cells;
std::unique_ptr<GlyphRecord[]> g_glyph_records;
std::int32_t g_glyph_used = 0;
std::int32_t g_glyph_too_large = -1;
// The bitmap of a glyph too large for a cell.
std::unique_ptr<std::uint8_t[]> g_glyph_temp;
std::int32_t g_glyph_temp_size = 0;

// The alpha part of each gray level for the current alpha nibble.
std::uint16_t g_blit_levels[17];
int g_blit_alpha = -1;

bool same_matrix(const MAT2& a, const MAT2& b)
{
    auto same = [](const FIXED& x, const FIXED& y) { return x.fract == y.fract && x.value == y.value; };
    return same(a.eM11, b.eM11) && same(a.eM12, b.eM12) && same(a.eM21, b.eM21) && same(a.eM22, b.eM22);
}

GlyphRecord* glyph_cache_find(const MAT2& matrix, HFONT font, std::uint32_t code, std::uint32_t hash)
{
    if (code == 0) return nullptr;
    GlyphRecord* end = g_glyph_records.get() + g_glyph_used;
    GlyphRecord* record =
        std::lower_bound(g_glyph_records.get(), end, hash,
                         [](const GlyphRecord& r, std::uint32_t key) { return r.hash < key; });
    for (; record != end && record->hash == hash; ++record)
        if (record->code == code && record->font == font && same_matrix(record->matrix, matrix))
            return record;
    return nullptr;
}

void glyph_cache_age()
{
    for (std::int32_t i = 0; i < g_glyph_used; ++i)
        if (g_glyph_records[i].age != 0xFFFF) ++g_glyph_records[i].age;
}

// The next free record while there is one, else the oldest (the first of equal ages).
GlyphRecord& glyph_cache_take()
{
    if (g_glyph_used < GLYPH_CACHE_RECORDS) return g_glyph_records[g_glyph_used++];
    GlyphRecord* oldest = &g_glyph_records[0];
    for (std::int32_t i = 1; i < GLYPH_CACHE_RECORDS; ++i)
        if (g_glyph_records[i].age > oldest->age) oldest = &g_glyph_records[i];
    return *oldest;
}

// Moves the used records to the front, keeping their order.
void glyph_cache_compact()
{
    GlyphRecord* records = g_glyph_records.get();
    GlyphRecord* end = std::stable_partition(records, records + GLYPH_CACHE_RECORDS,
                                             [](const GlyphRecord& r) { return r.code != 0; });
    g_glyph_used = static_cast<std::int32_t>(end - records);
}

void glyph_cache_sort()
{
    std::stable_sort(g_glyph_records.get(), g_glyph_records.get() + g_glyph_used,
                     [](const GlyphRecord& a, const GlyphRecord& b) { return a.hash < b.hash; });
}

// The bitmap of a glyph too large for a cell, in the temporary buffer; false when it cannot be
// rendered.
bool glyph_fetch_uncached(const MAT2& matrix, HDC dc, std::uint32_t code, GLYPHMETRICS& metrics, DWORD& size)
{
    if (g_glyph_temp_size < g_glyph_too_large) {
        std::int32_t grown = g_glyph_too_large + g_glyph_too_large / 2;
        g_glyph_temp.reset(new (std::nothrow) std::uint8_t[static_cast<std::size_t>(grown)]);
        g_glyph_temp_size = g_glyph_temp ? grown : 0;
        if (!g_glyph_temp) return false;
    }
    size = GetGlyphOutlineA(dc, code, GGO_GRAY4_BITMAP, &metrics, static_cast<DWORD>(g_glyph_temp_size),
                            g_glyph_temp.get(), &matrix);
    return size != GDI_ERROR;
}

FIXED fixed_of(std::int32_t value)
{
    return FIXED{static_cast<WORD>(value & 0xFFFF), static_cast<short>(value >> 16)};
}

std::uint16_t color_to_4444(std::uint32_t argb)
{
    return static_cast<std::uint16_t>((argb >> 16 & 0xF000) | (argb >> 12 & 0x0F00) | (argb >> 8 & 0x00F0) |
                                      (argb >> 4 & 0x000F));
}

std::int32_t next_power_of_two(std::int32_t value)
{
    std::int32_t power = 1;
    while (power < value && power < (1 << 30))
        power <<= 1;
    return power;
}

std::int32_t back_buffer_width()
{
    UINT width = g_device_settings.present.BackBufferWidth;
    return width ? static_cast<std::int32_t>(width) : 640;
}

std::int32_t back_buffer_height()
{
    UINT height = g_device_settings.present.BackBufferHeight;
    return height ? static_cast<std::int32_t>(height) : 480;
}

std::int32_t clamp_pen(std::int64_t value)
{
    return static_cast<std::int32_t>(std::clamp(value, -k_pen_limit, k_pen_limit));
}

// ---- Layout ----------------------------------------------------------------------------------

struct Pen {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// One pass over a text, shared by measuring (no image) and rendering (into the image).
struct TextLayout {
    TextLayout(TextSurface& s, TextRequest& r, Image16* i) : surface(s), request(r), image(i) {}

    TextSurface& surface;
    TextRequest& request;
    Image16* image;

    MAT2 matrix{};
    std::int32_t rotation = 0;
    std::int32_t scale = k_one;
    std::uint16_t color = 0;
    Pen pen;
    Pen saved_pen;
    Pen ruby_pen;
    std::int32_t ruby_scale = k_one;
    bool in_ruby = false;
    bool counting = true;
    Pen last_glyph; // left edge and top of the last glyph, for ruby
    std::int32_t line_height = 0;
    std::int32_t max_x = 0;
    std::int32_t max_top = 0;
    bool any_glyph = false;
    std::int32_t index = 0; // counted glyphs so far
    bool stopped = false;
    bool stopped_on_last = false;

    // Pixels of a 640x480 distance on a scaled surface.
    std::int32_t scaled_x(std::int32_t n) const
    {
        return surface.scaled ? clamp_pen(std::int64_t{n} * back_buffer_width() / 640) : n;
    }
    std::int32_t scaled_y(std::int32_t n) const
    {
        return surface.scaled ? clamp_pen(std::int64_t{n} * back_buffer_height() / 480) : n;
    }
    void move(std::int64_t dx, std::int64_t dy)
    {
        pen.x = clamp_pen(pen.x + dx);
        pen.y = clamp_pen(pen.y + dy);
    }
    void rebuild_matrix()
    {
        text_make_matrix(rotation, scale, matrix);
        text_measure_spaces(surface, matrix);
    }
};

void layout_start(TextLayout& layout)
{
    TextSurface& surface = layout.surface;
    text_make_matrix(0, k_one, layout.matrix);
    if (surface.font == surface.default_font)
        text_measure_spaces(surface, layout.matrix);
    else
        text_select_font(surface.default_font, surface, layout.matrix);
    layout.line_height = surface.metrics.tmHeight;
    layout.color = color_to_4444(layout.request.color);
}

// Draws the glyph's bitmap in the colour, faded by the reveal's fraction when it is the glyph
// at the visible count.
void layout_draw(TextLayout& layout, const GLYPHMETRICS& metrics, const std::uint8_t* bits, DWORD size)
{
    std::int32_t whole = layout.request.visible >> 16;
    std::uint16_t color = layout.color;
    if (layout.index == whole) {
        auto fraction = static_cast<std::uint32_t>(layout.request.visible & 0xFFFF);
        std::uint32_t alpha = (color >> 12) * fraction >> 16;
        color = static_cast<std::uint16_t>(alpha << 12 | (color & 0x0FFF));
    } else {
        layout.surface.last_full_glyph = layout.index;
    }
    if (size == 0) return; // no ink
    Image8 glyph;
    glyph.pixels = const_cast<std::uint8_t*>(bits);
    glyph.pitch = static_cast<std::int32_t>((metrics.gmBlackBoxX + 3) & ~3u);
    glyph.width = static_cast<std::int32_t>(metrics.gmBlackBoxX);
    glyph.height = static_cast<std::int32_t>(metrics.gmBlackBoxY);
    std::int64_t x = std::int64_t{layout.pen.x} + metrics.gmptGlyphOrigin.x;
    std::int64_t y = std::int64_t{layout.surface.metrics.tmAscent} + layout.request.y_offset + layout.pen.y -
                     metrics.gmptGlyphOrigin.y;
    glyph_blit4(*layout.image, glyph, color, clamp_pen(x), clamp_pen(y));
}

// One glyph of the text; false when the reveal stops the layout here. `next` is where the text
// goes on after the glyph's character.
bool layout_glyph(TextLayout& layout, std::uint32_t code, const char* next)
{
    bool counts = layout.counting && !layout.in_ruby;
    if (layout.image && layout.index > (layout.request.visible >> 16)) {
        layout.stopped = true;
        layout.stopped_on_last = *next == '\0';
        return false;
    }
    GLYPHMETRICS metrics{};
    const std::uint8_t* bits = nullptr;
    DWORD size = 0;
    if (const GlyphRecord* record =
            glyph_cache_get(layout.matrix, layout.surface.dc, layout.surface.font, code)) {
        metrics = record->metrics;
        bits = record->cell;
        size = record->size;
    } else if (g_glyph_too_large < 0 ||
               !glyph_fetch_uncached(layout.matrix, layout.surface.dc, code, metrics, size)) {
        return true; // the font cannot render it: nothing drawn, the pen stays
    } else {
        bits = g_glyph_temp.get();
    }
    layout.last_glyph = {clamp_pen(std::int64_t{layout.pen.x} + metrics.gmptGlyphOrigin.x),
                         clamp_pen(std::int64_t{layout.pen.y} - layout.line_height)};
    if (layout.image) layout_draw(layout, metrics, bits, size);
    layout.move(metrics.gmCellIncX, 0);
    layout.any_glyph = true;
    if (counts) ++layout.index;
    return true;
}

void layout_select_font(TextLayout& layout, std::int32_t index)
{
    const TextRequest& request = layout.request;
    if (!request.fonts || index < 0 || index >= request.font_count) return;
    text_select_font(request.fonts[index], layout.surface, layout.matrix);
    layout.line_height = std::max(layout.line_height, layout.surface.metrics.tmHeight);
}

// Carries out one tag; false when a code tag's glyph stops the layout.
bool layout_tag(TextLayout& layout, int tag, const std::int32_t numbers[2], int count, const char* next)
{
    switch (tag) {
    case TEXT_TAG_X:
        layout.move(layout.scaled_x(numbers[0]), 0);
        break;
    case TEXT_TAG_Y:
        layout.move(0, layout.scaled_y(numbers[0]));
        break;
    case TEXT_TAG_COLOR:
        layout.color =
            color_to_4444(count > 0 ? static_cast<std::uint32_t>(numbers[0]) : layout.request.color);
        break;
    case TEXT_TAG_ROT:
        layout.rotation = numbers[0];
        layout.rebuild_matrix();
        break;
    case TEXT_TAG_SCALE:
        layout.scale = text_parse_scale(numbers[0]);
        layout.rebuild_matrix();
        break;
    case TEXT_TAG_STPOS:
        layout.saved_pen = layout.pen;
        break;
    case TEXT_TAG_LDPOS:
        layout.pen = layout.saved_pen;
        break;
    case TEXT_TAG_CODE:
        // The cache keeps 16-bit codes with 0 meaning a free record: other values draw nothing.
        if (numbers[0] > 0 && numbers[0] <= 0xFFFF)
            return layout_glyph(layout, static_cast<std::uint32_t>(numbers[0]), next);
        break;
    case TEXT_TAG_FONT:
        layout_select_font(layout, numbers[0]);
        break;
    case TEXT_TAG_RUBY:
        layout.ruby_pen = layout.pen;
        layout.ruby_scale = layout.scale;
        layout.scale /= 2;
        layout.rebuild_matrix();
        layout.in_ruby = true;
        layout.pen = {clamp_pen(std::int64_t{layout.last_glyph.x} + layout.scaled_x(numbers[0])),
                      clamp_pen(std::int64_t{layout.last_glyph.y} +
                                layout.scaled_y(clamp_pen(numbers[1] + std::int64_t{1})))};
        break;
    case TEXT_TAG_ENDRUBY:
        layout.pen = layout.ruby_pen;
        layout.scale = layout.ruby_scale;
        layout.rebuild_matrix();
        layout.in_ruby = false;
        break;
    case TEXT_TAG_COUNT:
        layout.counting = true;
        break;
    case TEXT_TAG_NOCOUNT:
        layout.counting = false;
        break;
    default:
        break;
    }
    return true;
}

// The text after a tag that starts at `open` ('<') and ends at `close` ('>'); false when the
// tag stopped the layout.
bool layout_run_tag(TextLayout& layout, const char* open, const char* close)
{
    auto length = static_cast<std::size_t>(close - open - 1);
    if (length > k_tag_limit) return true; // skipped whole
    char tag[k_tag_limit + 1];
    std::memcpy(tag, open + 1, length);
    tag[length] = '\0';
    std::int32_t numbers[2];
    int count = 0;
    int id = text_parse_tag(tag, numbers, count);
    return layout_tag(layout, id, numbers, count, close + 1);
}

void layout_run(TextLayout& layout)
{
    const char* p = layout.request.text;
    while (p && *p) {
        auto c = static_cast<unsigned char>(*p);
        const char* next = p + 1;
        bool go_on = true;
        const char* close = c == '<' && p[1] != '<' ? std::strchr(p + 1, '>') : nullptr;
        if (close) {
            next = close + 1;
            go_on = layout_run_tag(layout, p, close);
        } else if (sys_is_lead_byte(*p)) {
            if (p[1] == '\0') break; // a lead byte without its partner ends the text
            next = p + 2;
            auto code = static_cast<std::uint32_t>(c << 8 | static_cast<unsigned char>(p[1]));
            if (code == 0x8140)
                layout.move(layout.surface.wide_space, 0);
            else
                go_on = layout_glyph(layout, code, next);
        } else if (c == ' ' || c == '\t') {
            if (layout.pen.x == 0)
                layout.pen.x = k_line_start_indent;
            else
                layout.move(layout.surface.space, 0);
        } else if (c == '\n') {
            layout.move(0, std::int64_t{layout.line_height} + layout.scaled_y(layout.request.line_spacing));
            layout.line_height = layout.surface.metrics.tmHeight;
            layout.pen.x = 0;
        } else if (c >= 0x20) {
            go_on = layout_glyph(layout, c, next);
        }
        layout.max_x = std::max(layout.max_x, layout.pen.x);
        layout.max_top = std::max(layout.max_top, layout.pen.y);
        if (!go_on) return;
        p = next;
    }
}

void layout_write_extents(TextLayout& layout)
{
    TextRequest& request = layout.request;
    std::int32_t height = layout.max_top;
    if (layout.any_glyph)
        height = std::max(clamp_pen(std::int64_t{layout.max_top} + layout.line_height), layout.pen.y);
    request.width = layout.max_x;
    request.height = height;
    if (layout.surface.scaled) {
        request.virtual_width =
            static_cast<std::int32_t>(std::int64_t{request.width} * 640 / back_buffer_width());
        request.virtual_height =
            static_cast<std::int32_t>(std::int64_t{request.height} * 480 / back_buffer_height());
    } else {
        request.virtual_width = request.width;
        request.virtual_height = request.height;
    }
}

bool lock_surface(TextSurface& surface, Image16& image)
{
    D3DLOCKED_RECT locked{};
    if (!surface.texture || FAILED(surface.texture->LockRect(0, &locked, nullptr, 0))) return false;
    image.pixels = static_cast<std::uint8_t*>(locked.pBits);
    image.pitch = locked.Pitch;
    image.width = surface.width;
    image.height = surface.height;
    return true;
}

} // namespace

// ---- Glyph cache ------------------------------------------------------------------------------

HRESULT glyph_cache_init(std::int32_t cell_width, std::int32_t cell_height)
{
    glyph_cache_shutdown();
    if (cell_width < 0 || cell_height < 0) return E_INVALIDARG;
    std::int32_t cell_size = cell_width * cell_height;
    g_glyph_cells.reset(new (std::nothrow)
                            std::uint8_t[static_cast<std::size_t>(cell_size) * GLYPH_CACHE_RECORDS]());
    g_glyph_records.reset(new (std::nothrow) GlyphRecord[GLYPH_CACHE_RECORDS]());
    if (!g_glyph_cells || !g_glyph_records) {
        glyph_cache_shutdown();
        return E_OUTOFMEMORY;
    }
    for (std::int32_t i = 0; i < GLYPH_CACHE_RECORDS; ++i)
        g_glyph_records[i].cell = g_glyph_cells.get() + static_cast<std::size_t>(i) * cell_size;
    g_glyph_cell_width = cell_width;
    g_glyph_cell_height = cell_height;
    g_glyph_cell_size = cell_size;
    return S_OK;
}

HRESULT glyph_cache_start(std::uint32_t back_buffer_width, std::uint32_t back_buffer_height)
{
    return glyph_cache_init(static_cast<std::int32_t>(back_buffer_width * k_cell_units / 640),
                            static_cast<std::int32_t>(back_buffer_height * k_cell_units / 480));
}

void glyph_cache_shutdown()
{
    g_glyph_cells.reset();
    g_glyph_records.reset();
    g_glyph_temp.reset();
    g_glyph_temp_size = 0;
    g_glyph_cell_width = g_glyph_cell_height = g_glyph_cell_size = 0;
    g_glyph_used = 0;
    g_glyph_too_large = -1;
}

std::int32_t glyph_cache_cell_width()
{
    return g_glyph_cell_width;
}

std::int32_t glyph_cache_cell_height()
{
    return g_glyph_cell_height;
}

std::int32_t glyph_cache_used()
{
    return g_glyph_used;
}

const GlyphRecord& glyph_cache_record(std::int32_t index)
{
    return g_glyph_records[index];
}

std::int32_t glyph_cache_too_large()
{
    return g_glyph_too_large;
}

std::uint32_t glyph_hash(const MAT2& matrix, std::uint32_t code)
{
    std::uint16_t w[8];
    static_assert(sizeof w == sizeof matrix);
    std::memcpy(w, &matrix, sizeof w);
    std::uint32_t hash = ((std::uint32_t{w[4]} << 1) ^ (std::uint32_t{w[3]} >> 2)) |
                         ((std::uint32_t{w[1]} >> 1) ^ (std::uint32_t{w[2]} << 2)) |
                         ((std::uint32_t{w[5]} >> 3) ^ w[6]) | (std::uint32_t{w[7]} >> 4) |
                         (std::uint32_t{w[0]} << 3);
    return hash ^ (code << 15);
}

const GlyphRecord* glyph_cache_get(const MAT2& matrix, HDC dc, HFONT font, std::uint32_t code)
{
    if (code == 0 || code > 0xFFFF) {
        g_glyph_too_large = -1;
        return nullptr;
    }
    std::uint32_t hash = glyph_hash(matrix, code);
    GlyphRecord* hit = g_glyph_records ? glyph_cache_find(matrix, font, code, hash) : nullptr;
    glyph_cache_age();
    if (hit) {
        hit->age = 0;
        return hit;
    }
    GLYPHMETRICS metrics;
    DWORD size = GetGlyphOutlineA(dc, code, GGO_GRAY4_BITMAP, &metrics, 0, nullptr, &matrix);
    if (size == GDI_ERROR) {
        g_glyph_too_large = -1;
        return nullptr;
    }
    if (!g_glyph_records || size >= static_cast<DWORD>(g_glyph_cell_size)) {
        g_glyph_too_large = static_cast<std::int32_t>(std::min<DWORD>(size, 0x7FFFFFFF));
        return nullptr;
    }
    GlyphRecord& record = glyph_cache_take();
    record.code = static_cast<std::uint16_t>(code);
    record.size = size;
    record.matrix = matrix;
    record.age = 0;
    record.font = font;
    if (GetGlyphOutlineA(dc, code, GGO_GRAY4_BITMAP, &record.metrics, static_cast<DWORD>(g_glyph_cell_size),
                         record.cell, &matrix) == GDI_ERROR) {
        record.code = 0;
        glyph_cache_compact();
        g_glyph_too_large = -1;
        return nullptr;
    }
    record.hash = hash;
    glyph_cache_sort();
    return glyph_cache_find(matrix, font, code, hash);
}

// ---- Surfaces ---------------------------------------------------------------------------------

HRESULT text_create_surface(bool scaled, std::int32_t width, TextSurface& surface, HFONT font,
                            std::int32_t height)
{
    if (scaled) {
        width = static_cast<std::int32_t>(std::int64_t{width} * back_buffer_width() / 640);
        height = static_cast<std::int32_t>(std::int64_t{height} * back_buffer_height() / 480);
    }
    std::int32_t texture_width = next_power_of_two(width);
    std::int32_t texture_height = next_power_of_two(height);
    IDirect3DTexture8* texture = nullptr;
    if (!g_d3d_device) return E_FAIL;
    HRESULT hr =
        g_d3d_device->CreateTexture(static_cast<UINT>(texture_width), static_cast<UINT>(texture_height), 1, 0,
                                    D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, &texture);
    if (FAILED(hr)) return hr;
    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) {
        texture->Release();
        return E_FAIL;
    }
    surface = TextSurface{};
    surface.texture = texture;
    surface.default_font = font;
    surface.width = texture_width;
    surface.height = texture_height;
    surface.bounds = {0, 0, texture_width, texture_height};
    surface.scaled = scaled ? 1 : 0;
    surface.dc = dc;
    GetTextMetricsA(dc, &surface.metrics); // the context's own font until the text selects one
    text_clear_surface(surface);
    return S_OK;
}

void text_release_surface(TextSurface& surface)
{
    if (surface.texture) surface.texture->Release();
    if (surface.dc) DeleteDC(surface.dc);
    surface = TextSurface{};
}

void text_clear_surface(TextSurface& surface)
{
    Image16 image;
    if (!lock_surface(surface, image)) return;
    image_clear16(image, nullptr);
    surface.texture->UnlockRect(0);
}

void text_select_font(HFONT font, TextSurface& surface, const MAT2& matrix)
{
    if (font == surface.font) return;
    SelectObject(surface.dc, font);
    GetTextMetricsA(surface.dc, &surface.metrics);
    surface.font = font;
    text_measure_spaces(surface, matrix);
}

void text_measure_spaces(TextSurface& surface, const MAT2& matrix)
{
    GLYPHMETRICS metrics{};
    surface.wide_space =
        GetGlyphOutlineA(surface.dc, 0x8140, GGO_METRICS, &metrics, 0, nullptr, &matrix) == GDI_ERROR
            ? 0
            : metrics.gmCellIncX;
    surface.space =
        GetGlyphOutlineA(surface.dc, 0x20, GGO_METRICS, &metrics, 0, nullptr, &matrix) == GDI_ERROR
            ? 0
            : metrics.gmCellIncX;
}

// ---- Markup -----------------------------------------------------------------------------------

void text_make_matrix(std::int32_t degrees, std::int32_t scale, MAT2& matrix)
{
    if (degrees == 0) {
        matrix = {fixed_of(scale), fixed_of(0), fixed_of(0), fixed_of(scale)};
        return;
    }
    auto index = static_cast<int>(std::int64_t{degrees} * 256 / 360);
    auto c = static_cast<std::int32_t>(static_cast<double>(math_table_cos(index)) * scale);
    auto s = static_cast<std::int32_t>(static_cast<double>(math_table_sin(index)) * scale);
    matrix = {fixed_of(c), fixed_of(-s), fixed_of(s), fixed_of(c)};
}

std::int32_t text_parse_scale(std::int32_t value)
{
    if (value <= 0) return k_one;
    if (value < 256) return value << 16;
    return value;
}

int text_parse_tag(const char* tag, std::int32_t numbers[2], int& count)
{
    static constexpr const char* k_names[] = {"color", "rot",  "scale",   "stpos", "ldpos",  "code",
                                              "font",  "ruby", "endruby", "count", "nocount"};
    count = 0;
    numbers[0] = numbers[1] = 0;
    const char* p = tag;
    while (*p == ' ' || *p == '\t')
        ++p;
    int id = TEXT_TAG_NONE;
    if (*p == 'x' || *p == 'X' || *p == 'y' || *p == 'Y') {
        id = (*p == 'x' || *p == 'X') ? TEXT_TAG_X : TEXT_TAG_Y;
        ++p;
    } else {
        for (int i = 0; i < static_cast<int>(std::size(k_names)) && id == TEXT_TAG_NONE; ++i)
            if (sys_prefix_compare_nocase(p, k_names[i]) == 0) {
                id = TEXT_TAG_COLOR + i;
                p += std::strlen(k_names[i]);
            }
    }
    if (id == TEXT_TAG_NONE) return TEXT_TAG_NONE;
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p == ':') ++p;
    count = sys_parse_numbers(p, numbers);
    return count < 0 ? TEXT_TAG_NONE : id;
}

// ---- Measuring and rendering ------------------------------------------------------------------

void glyph_blit4(Image16& image, const Image8& glyph, std::uint16_t color, std::int32_t x, std::int32_t y)
{
    Rect destination{x, y, x + glyph.width, y + glyph.height};
    Rect source{0, 0, glyph.width, glyph.height};
    Rect bounds{0, 0, image.width, image.height};
    std::int32_t width, height;
    if (!image_clip_rect(destination, &bounds, width, height, &source)) return;
    int alpha = color >> 12;
    if (alpha != g_blit_alpha) {
        for (int level = 2; level <= 16; ++level)
            g_blit_levels[level] = static_cast<std::uint16_t>((level - 1) * alpha / 15 << 12);
        g_blit_alpha = alpha;
    }
    auto rgb = static_cast<std::uint16_t>(color & 0x0FFF);
    for (std::int32_t row = 0; row < height; ++row) {
        const std::uint8_t* levels =
            glyph.pixels + static_cast<std::ptrdiff_t>(source.top + row) * glyph.pitch + source.left;
        auto* pixels = reinterpret_cast<std::uint16_t*>(
                           image.pixels + static_cast<std::ptrdiff_t>(destination.top + row) * image.pitch) +
                       destination.left;
        for (std::int32_t column = 0; column < width; ++column) {
            int level = std::min<int>(levels[column], 16);
            if (level >= 2) pixels[column] = g_blit_levels[level] | rgb;
        }
    }
}

void text_measure(TextSurface& surface, TextRequest& request)
{
    TextLayout layout{surface, request, nullptr};
    layout_start(layout);
    layout_run(layout);
    layout_write_extents(layout);
    request.counted =
        static_cast<std::int32_t>(std::min<std::int64_t>(std::int64_t{layout.index} << 16, 0x7FFFFFFF));
}

void text_render(TextSurface& surface, TextRequest& request)
{
    Image16 image;
    if (!lock_surface(surface, image)) return;
    if (request.clear) image_clear16(image, nullptr);
    request.width = request.height = request.virtual_width = request.virtual_height = 0;
    request.reserved = 0;
    TextLayout layout{surface, request, &image};
    layout_start(layout);
    layout_run(layout);
    bool all_shown = !layout.stopped && layout.index <= (request.visible >> 16);
    bool done = layout.stopped_on_last || all_shown;
    if (done) request.counted = 1;
    surface.done = done ? 1 : 0;
    surface.texture->UnlockRect(0);
    layout_write_extents(layout);
    surface.extent_width = request.width;
    surface.extent_height = request.height;
}
