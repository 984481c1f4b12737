// The image side of the animation data: sprite image archives (".aia"), one slot per archive,
// loaded on first request, and the decoding of one frame's RLE rows into a frame texture.
#include "gfx/ani_dat.h"

#include "core/errors.h"
#include "core/vfs.h"
#include "lowlv/d3d/d3d_core.h"
#include "platform/win_file.h"
#include "platform/win_kernel.h"
#include "scenegraph/data_file.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

AniImageSet g_ani_image_sets[ANI_IMAGE_SET_COUNT];

namespace {

constexpr unsigned k_line_get_images = 453;
constexpr std::size_t k_path_size = 260;
constexpr std::uint16_t k_literal_run = 0x8000;
constexpr std::uint16_t k_alpha_run = 0x4000;
constexpr std::uint16_t k_run_length = 0x0FFF;

using BaseName = std::array<char, 8>;

// "c_%03d" of every slot number.
template <int Count> constexpr std::array<BaseName, Count> base_names()
{
    std::array<BaseName, Count> names{};
    for (int i = 0; i < Count; ++i)
        names[i] = {'c', '_', char('0' + i / 100), char('0' + i / 10 % 10), char('0' + i % 10), '\0'};
    return names;
}

constexpr std::array<BaseName, ANI_IMAGE_SET_COUNT> k_image_names = base_names<ANI_IMAGE_SET_COUNT>();
constexpr std::array<BaseName, ANI_SCRIPT_SET_COUNT> k_script_names = base_names<ANI_SCRIPT_SET_COUNT>();

// ---- Loading -----------------------------------------------------------------------------------

// Drops the file and everything that points into it.
void free_file(AniImageSet& slot)
{
    slot.file.reset();
    slot.file_size = 0;
    slot.header = nullptr;
    slot.entries = nullptr;
    slot.frames = nullptr;
    slot.palettes = nullptr;
    slot.rle = {};
    slot.default_entry = 0;
}

// The low-resolution variant is taken when it lies on disk below the working folder, as the
// option's users install it, and the archive holds it too: a loose file alone cannot be loaded.
void choose_path(char (&path)[k_path_size], const char* name)
{
    if (g_device_settings.settings.low_reso_texture) {
        std::snprintf(path, sizeof path, "data\\ani\\l\\%s.aia.z", name);
        HANDLE probe =
            CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe != INVALID_HANDLE_VALUE) {
            CloseHandle(probe);
            if (vfs_find(path)) return;
        }
    }
    std::snprintf(path, sizeof path, "data\\ani\\%s.aia.z", name);
}

// Where the palettes begin, and the RLE data.
std::uint64_t palettes_offset(const AniImageHeader& header)
{
    return sizeof(AniImageHeader) + std::uint64_t{header.entry_count} * sizeof(AniImageEntry) +
           std::uint64_t{header.frame_count} * sizeof(AniFrame);
}

std::uint64_t rle_offset(const AniImageHeader& header)
{
    return palettes_offset(header) +
           std::uint64_t{header.palette_count} * ANI_PALETTE_COLOURS * sizeof(std::uint32_t);
}

std::uint32_t count_or_one(std::uint32_t count)
{
    return std::max(count, 1u);
}

bool paired(const AniImageHeader& header)
{
    return header.flags & ANI_IMAGE_PAIRED_LAYERS;
}

// Every record of the entry lies below the frame count.
bool entry_fits(const AniImageHeader& header, const AniImageEntry& entry)
{
    const std::uint64_t frames =
        std::uint64_t{count_or_one(entry.direction_count)} * count_or_one(entry.frames_per_direction);
    const std::uint64_t records = paired(header) ? 2 * frames : frames;
    return records <= header.frame_count && entry.first_frame <= header.frame_count - records;
}

bool frame_fits(const AniImageHeader& header, const AniFrame& frame, std::uint32_t index,
                std::size_t rle_size)
{
    const bool empty = frame.x0 == frame.x1 || frame.y0 == frame.y1;
    if (frame.x0 > frame.x1 || frame.x1 > header.canvas_width) return false;
    if (frame.y0 > frame.y1 || frame.y1 > header.canvas_height) return false;
    if (frame.palette >= header.palette_count) return false;
    if (frame.rle_offset > rle_size || (frame.rle_offset == rle_size && !empty)) return false;
    return !(frame.flags & ANI_FRAME_SECOND_LAYER) || index + 1 < header.frame_count;
}

// Checks the copy in the slot and points the slot's records into it; the pointers stay null
// unless the whole file is sound, so the decoders and the frame index never test a range again.
HRESULT attach(AniImageSet& slot)
{
    std::uint8_t* const bytes = slot.file.get();
    if (slot.file_size < sizeof(AniImageHeader)) return ERR_BROKEN_DATA;
    AniImageHeader header;
    std::memcpy(&header, bytes, sizeof header);
    if (header.version != ANI_IMAGE_VERSION) return ERR_UNMATCHED_VERSION;
    const std::uint64_t rle_start = rle_offset(header);
    if (rle_start > slot.file_size || header.entry_count == 0) return ERR_BROKEN_DATA;

    // The file block comes from the allocator, aligned for every record, and every section
    // starts on a multiple of 4 bytes.
    const auto* entries = reinterpret_cast<const AniImageEntry*>(bytes + sizeof header);
    const auto* frames = reinterpret_cast<const AniFrame*>(entries + header.entry_count);
    const std::span<const std::uint8_t> rle{bytes + rle_start, slot.file_size - rle_start};
    for (std::uint32_t i = 0; i < header.entry_count; ++i)
        if (!entry_fits(header, entries[i])) return ERR_BROKEN_DATA;
    for (std::uint32_t i = 0; i < header.frame_count; ++i)
        if (!frame_fits(header, frames[i], i, rle.size())) return ERR_BROKEN_DATA;

    slot.header = reinterpret_cast<const AniImageHeader*>(bytes);
    slot.entries = entries;
    slot.frames = frames;
    slot.palettes = reinterpret_cast<std::uint32_t*>(bytes + palettes_offset(header));
    slot.rle = rle;
    for (std::uint32_t i = 0; i < header.entry_count; ++i)
        if (entries[i].key == 0) {
            slot.default_entry = static_cast<std::int32_t>(i);
            break;
        }
    return S_OK;
}

// Once at load, so that 16-bit decoding only copies: the colour's top four bits of each channel,
// alpha 15 (the alpha runs bring their own).
void convert_palettes_to_4444(AniImageSet& slot)
{
    const std::size_t colours = std::size_t{slot.header->palette_count} * ANI_PALETTE_COLOURS;
    for (std::uint32_t& colour : std::span<std::uint32_t>{slot.palettes, colours})
        colour = 0xF000 | (colour >> 20 & 0xF) << 8 | (colour >> 12 & 0xF) << 4 | (colour >> 4 & 0xF);
}

// ---- Decoding ----------------------------------------------------------------------------------

struct Pixels32 {
    using Pixel = std::uint32_t;
    static Pixel literal(std::uint32_t colour) { return colour; }
    static Pixel alpha(std::uint32_t colour, std::uint8_t alpha)
    {
        return colour & (std::uint32_t{alpha} << 24 | 0x00FFFFFF);
    }
};

// The palette holds A4R4G4B4 in its low 16 bits.
struct Pixels16 {
    using Pixel = std::uint16_t;
    static Pixel literal(std::uint32_t colour) { return static_cast<Pixel>(colour); }
    static Pixel alpha(std::uint32_t colour, std::uint8_t alpha)
    {
        return static_cast<Pixel>((colour & 0x0FFF) | (alpha & 0xF0) << 8);
    }
};

template <typename Pixels> void put(std::uint8_t* out, typename Pixels::Pixel pixel)
{
    std::memcpy(out, &pixel, sizeof pixel);
}

// Rows of runs into the view. A run longer than what is left of its row is cut there (its data
// still consumed); decoding ends where the data ends, also inside a run. Without a palette the
// runs are walked and nothing is written.
template <typename Pixels>
void decode_rows(ImageHandler& view, const std::uint32_t* palette, std::span<const std::uint8_t> rle)
{
    constexpr std::size_t bytes_per_pixel = sizeof(typename Pixels::Pixel);
    std::size_t pos = 0;
    for (std::int32_t y = 0; y < view.height; ++y) {
        std::uint8_t* const row = view.pixels + static_cast<std::ptrdiff_t>(y) * view.pitch;
        std::int64_t x = 0;
        while (x < view.width) {
            if (rle.size() - pos < 2) return;
            const std::uint16_t word = static_cast<std::uint16_t>(rle[pos] << 8 | rle[pos + 1]);
            pos += 2;
            if (!(word & (k_literal_run | k_alpha_run))) {
                x += word;
                continue;
            }
            const bool alpha_run = !(word & k_literal_run);
            const std::size_t stride = alpha_run ? 2 : 1;
            const std::size_t length = word & k_run_length;
            const std::size_t present = std::min(length, (rle.size() - pos) / stride);
            const std::size_t shown =
                std::min<std::size_t>(present, static_cast<std::size_t>(view.width - x));
            std::uint8_t* const out = row + x * bytes_per_pixel;
            const std::uint8_t* const in = rle.data() + pos;
            if (palette && alpha_run)
                for (std::size_t i = 0; i < shown; ++i)
                    put<Pixels>(out + i * bytes_per_pixel, Pixels::alpha(palette[in[2 * i + 1]], in[2 * i]));
            else if (palette)
                for (std::size_t i = 0; i < shown; ++i)
                    put<Pixels>(out + i * bytes_per_pixel, Pixels::literal(palette[in[i]]));
            if (present < length) return;
            pos += length * stride;
            x += static_cast<std::int64_t>(length);
        }
    }
}

// Clears the last rectangle and decodes the frame into its own through views of the locked
// level. A rectangle that does not lie inside the texture is not decoded.
template <typename Image>
void decode_frame(const D3DLOCKED_RECT& locked, const AniFrameTexture& texture, const std::uint32_t* palette,
                  std::span<const std::uint8_t> rle, const AniFrame& frame,
                  void (*clear)(Image&, const Rect*),
                  void (*decode)(Image&, const std::uint32_t*, std::span<const std::uint8_t>))
{
    Image surface;
    surface.pixels = static_cast<std::uint8_t*>(locked.pBits);
    surface.pitch = locked.Pitch;
    surface.width = texture.width;
    surface.height = texture.height;
    const Rect last{texture.x0, texture.y0, texture.x1, texture.y1};
    clear(surface, &last);
    if (frame.x1 > texture.width || frame.y1 > texture.height || frame.x0 >= frame.x1 || frame.y0 >= frame.y1)
        return;
    Image view;
    view.pixels = surface.pixels + static_cast<std::ptrdiff_t>(frame.y0) * surface.pitch +
                  static_cast<std::ptrdiff_t>(frame.x0) * surface.GetBytesPerPixel();
    view.pitch = surface.pitch;
    view.width = frame.x1 - frame.x0;
    view.height = frame.y1 - frame.y0;
    decode(view, palette, rle);
}

[[noreturn]] void raise_get_images(HRESULT code, const char* detail)
{
    err_raise_code(code, detail, "ani_dat", k_line_get_images);
}

} // namespace

const char* ani_image_name(int number)
{
    return number >= 0 && number < ANI_IMAGE_SET_COUNT ? k_image_names[number].data() : "";
}

const char* ani_script_name(int number)
{
    return number >= 0 && number < ANI_SCRIPT_SET_COUNT ? k_script_names[number].data() : "";
}

// A slot counts as loaded once its file passed the checks; a refused file stays in the slot
// (its pointers null) until the next load replaces it.
AniImageSet& ani_dat_get_images(int number)
{
    if (number < 0 || number >= ANI_IMAGE_SET_COUNT) {
        char detail[16];
        std::snprintf(detail, sizeof detail, "%d", number);
        raise_get_images(E_FAIL, detail);
    }
    AniImageSet& slot = g_ani_image_sets[number];
    if (!slot.header) {
        const HRESULT hr = ani_dat_load_images(slot, number);
        if (FAILED(hr)) raise_get_images(hr, ani_image_name(number));
    }
    slot.used = 1;
    return slot;
}

HRESULT ani_dat_read_file(const char* path, std::unique_ptr<std::uint8_t[]>& file, std::size_t& size)
{
    DataFile data;
    const HRESULT hr = data.Load(path);
    if (FAILED(hr)) return hr;
    const std::span<const std::uint8_t> bytes = data.Bytes();
    file = std::make_unique_for_overwrite<std::uint8_t[]>(bytes.size());
    size = bytes.size();
    std::copy(bytes.begin(), bytes.end(), file.get());
    return S_OK;
}

HRESULT ani_dat_load_images(AniImageSet& slot, int number)
{
    free_file(slot);
    slot.number = number;
    char path[k_path_size];
    choose_path(path, ani_image_name(number));
    const HRESULT hr = ani_dat_read_file(path, slot.file, slot.file_size);
    if (FAILED(hr)) return hr;
    const HRESULT attached = attach(slot);
    if (FAILED(attached)) return attached;
    if (ani_texture_format() != D3DFMT_A8R8G8B8) convert_palettes_to_4444(slot);
    return S_OK;
}

void ani_dat_clear_used_marks()
{
    for (AniImageSet& slot : g_ani_image_sets)
        slot.used = 0;
}

void ani_dat_release_unmarked_images()
{
    for (AniImageSet& slot : g_ani_image_sets)
        if (slot.file && !slot.used) free_file(slot);
}

void ani_dat_release_all_images()
{
    for (AniImageSet& slot : g_ani_image_sets) {
        free_file(slot);
        slot.used = 0;
    }
}

const AniImageEntry& ani_dat_entry(const AniImageSet& set, std::uint32_t key)
{
    const std::span<const AniImageEntry> entries{set.entries, set.header->entry_count};
    auto found = std::find_if(entries.begin(), entries.end(),
                              [key](const AniImageEntry& entry) { return entry.key == key; });
    return found != entries.end() ? *found : entries[set.default_entry];
}

std::uint32_t ani_dat_frame_index(const AniImageSet& set, std::uint32_t key, std::uint32_t direction,
                                  std::uint32_t frame)
{
    const AniImageEntry& entry = ani_dat_entry(set, key);
    const std::uint32_t directions = count_or_one(entry.direction_count);
    const std::uint32_t frames = count_or_one(entry.frames_per_direction);
    if (direction >= directions) direction %= directions;
    if (frame >= frames) frame = frames - 1;
    const std::uint32_t i = direction * frames + frame;
    return entry.first_frame + (paired(*set.header) ? 2 * i : i);
}

const std::uint32_t* ani_dat_palette(const AniImageSet& set, std::uint32_t number)
{
    if (number >= set.header->palette_count) return nullptr;
    return set.palettes + std::size_t{number} * ANI_PALETTE_COLOURS;
}

std::span<const std::uint8_t> ani_dat_frame_rle(const AniImageSet& set, const AniFrame& frame)
{
    if (frame.rle_offset >= set.rle.size()) return {};
    return set.rle.subspan(frame.rle_offset);
}

// ---- Frame textures ----------------------------------------------------------------------------

D3DFORMAT ani_texture_format()
{
    return g_tex_a8r8g8b8_ok ? D3DFMT_A8R8G8B8 : D3DFMT_A4R4G4B4;
}

HRESULT ani_texture_create(AniFrameTexture& texture, std::int32_t width, std::int32_t height, float scale,
                           D3DFORMAT format)
{
    ani_texture_release(texture);
    const HRESULT hr = d3d_create_texture(static_cast<UINT>(width), static_cast<UINT>(height), 1, 0, format,
                                          D3DPOOL_MANAGED, &texture.texture);
    if (FAILED(hr)) return hr;
    texture.width = width;
    texture.height = height;
    texture.scale = scale;
    texture.scaled_width = static_cast<float>(width) * scale;
    texture.scaled_height = static_cast<float>(height) * scale;
    texture.format = format;
    texture.x0 = 0;
    texture.y0 = 0;
    texture.x1 = width;
    texture.y1 = height;
    return S_OK;
}

void ani_texture_release(AniFrameTexture& texture)
{
    if (texture.texture) texture.texture->Release();
    texture.texture = nullptr;
}

HRESULT ani_texture_upload_frame(AniFrameTexture& texture, const std::uint32_t* palette,
                                 std::span<const std::uint8_t> rle, const AniFrame& frame)
{
    if (!texture.texture) return D3DERR_INVALIDCALL;
    D3DLOCKED_RECT locked{};
    const HRESULT hr = texture.texture->LockRect(0, &locked, nullptr, 0);
    if (FAILED(hr)) return hr;
    if (texture.format == D3DFMT_A8R8G8B8)
        decode_frame<Image32>(locked, texture, palette, rle, frame, image_clear32, ani_rle_decode32);
    else if (texture.format == D3DFMT_A4R4G4B4)
        decode_frame<Image16>(locked, texture, palette, rle, frame, image_clear16, ani_rle_decode16);
    texture.texture->UnlockRect(0);
    texture.x0 = frame.x0;
    texture.y0 = frame.y0;
    texture.x1 = frame.x1;
    texture.y1 = frame.y1;
    return S_OK;
}

void ani_rle_decode32(Image32& view, const std::uint32_t* palette, std::span<const std::uint8_t> rle)
{
    decode_rows<Pixels32>(view, palette, rle);
}

void ani_rle_decode16(Image16& view, const std::uint32_t* palette, std::span<const std::uint8_t> rle)
{
    decode_rows<Pixels16>(view, palette, rle);
}
