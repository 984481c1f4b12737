// Animation data: sprite-character image archives (".aia") and compiled script sets (".aso",
// and the event scripts' ".xso" through the same file loader). Both live in global slot tables,
// load on first use and stay whole in memory, addressed in place; one frame at a time is decoded
// from its RLE rows into the texture of the character that shows it.
#pragma once

#include "core/image.h"
#include "platform/d3d8.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

constexpr int ANI_IMAGE_SET_COUNT = 252;
constexpr int ANI_SCRIPT_SET_COUNT = 176;
constexpr std::uint16_t ANI_IMAGE_VERSION = 320;
constexpr std::uint16_t ANI_SCRIPT_HEADER_SIZE = 16;
constexpr std::uint8_t ANI_IMAGE_PAIRED_LAYERS = 0x1; // AniImageHeader::flags
constexpr std::uint8_t ANI_FRAME_SECOND_LAYER = 0x1;  // AniFrame::flags: the next record is its layer 1
constexpr int ANI_PALETTE_COLOURS = 256;

// ---- File images -------------------------------------------------------------------------------
struct AniImageHeader {
    std::uint32_t unread0;
    std::uint16_t version;
    std::uint8_t flags;
    std::uint8_t unread7;
    std::uint32_t palette_count;
    std::uint32_t entry_count;
    std::uint32_t frame_count;
    std::uint16_t canvas_width;
    std::uint16_t canvas_height;
    float scale;
    std::uint32_t unread28;
};
static_assert(sizeof(AniImageHeader) == 32);

// One animation of an archive; key 0 is the default. Its frames lie direction by direction.
struct AniImageEntry {
    std::uint32_t key;
    std::uint32_t first_frame;
    std::uint32_t direction_count;
    std::uint32_t frames_per_direction;
};
static_assert(sizeof(AniImageEntry) == 16);

struct AniFrame {
    std::uint32_t rle_offset; // from the start of the RLE data
    std::uint16_t palette;
    std::uint8_t flags;
    std::uint8_t unread7;
    float height;      // the sprite's vertical reference
    float canvas_left; // relative to the hot spot, pixels
    float canvas_top;  // y grows upward
    float depth;
    std::uint16_t x0, y0, x1, y1; // the frame's rectangle in the canvas, x1 and y1 exclusive
};
static_assert(sizeof(AniFrame) == 32);

struct AniScriptHeader {
    std::uint32_t unread0;
    std::uint16_t header_size; // 16
    std::uint16_t unread6;
    std::uint32_t action_count;
    std::uint32_t image_archive; // the archive the frames come from
};
static_assert(sizeof(AniScriptHeader) == 16);

struct AniAction {
    std::int32_t id;
    std::uint32_t priority;
    std::uint32_t code_offset;  // bytes from the start of the code
    std::uint32_t length;       // words
    std::uint32_t string_count; // event scripts: entries of the string table after the code
};
static_assert(sizeof(AniAction) == 20);

// ---- Slots ---------------------------------------------------------------------------------------
// One image archive. The slot owns its file; the pointers address it in place.
struct AniImageSet {
    std::int32_t number = -1; // -1 until first loaded
    std::unique_ptr<std::uint8_t[]> file;
    std::size_t file_size = 0;
    const AniImageHeader* header = nullptr;
    const AniImageEntry* entries = nullptr;
    const AniFrame* frames = nullptr;
    std::uint32_t* palettes = nullptr; // converted in place to A4R4G4B4 without 32-bit textures
    std::span<const std::uint8_t> rle;
    std::int32_t default_entry = 0;
    std::uint8_t used = 0; // requested since the marks were last cleared
};

// One compiled script file.
struct AniScriptSet {
    std::int32_t number = -1;
    std::unique_ptr<std::uint8_t[]> file;
    std::size_t file_size = 0;
    const AniScriptHeader* header = nullptr;
    const AniAction* actions = nullptr;
    const std::uint32_t* code = nullptr;
    std::uint32_t code_words = 0;
};

// A character's frame texture, of the canvas size, reused for every frame.
struct AniFrameTexture {
    IDirect3DTexture8* texture;
    std::int32_t width, height;
    float scale;
    float scaled_width, scaled_height;
    std::int32_t format;         // a D3DFORMAT
    std::int32_t x0, y0, x1, y1; // the rectangle decoded last
};

extern AniImageSet g_ani_image_sets[ANI_IMAGE_SET_COUNT];
extern AniScriptSet g_ani_script_sets[ANI_SCRIPT_SET_COUNT];

// The base names, "c_%03d" of the slot number.
const char* ani_image_name(int number);
const char* ani_script_name(int number);

// ---- Loading and releasing --------------------------------------------------------------------------
// The archive, loaded on first request; marks it used. A number outside the table or a failed load
// throws RuntimeError (ani_dat line 453) with the code's text and the base name.
AniImageSet& ani_dat_get_images(int number);
// The script set, loaded on first request. Failures throw as above from line 500.
AniScriptSet& ani_dat_get_script_set(int number);
// 0x80FF0009 when the file cannot be opened, 0x80FF0003 for another version, 0x80FF0006 when its
// counts do not fit the file, it has no entry, an entry's frames lie past the records, a frame's
// rectangle leaves the canvas, its palette or RLE offset lies past the archive's, or a second-layer
// flag points past the last record. A refused file stays in the slot, its pointers null. With
// "LowResoTexture" on, the "data\ani\l\" variant is read when it lies on disk and in the archive.
HRESULT ani_dat_load_images(AniImageSet& slot, int number);
HRESULT ani_dat_load_script_set(AniScriptSet& slot, int number);
// Reads a file of the archive whole (through the unpacking of ".z" names) into a heap block of its
// own, the block a slot keeps; the work block is lent for the read only. DataFile's codes.
HRESULT ani_dat_read_file(const char* path, std::unique_ptr<std::uint8_t[]>& file, std::size_t& size);
// Loads "<path>.z" into the slot: 0x80FF0009 when missing, 0x80FF0003 for a header size other
// than 16, 0x80FF0006 when an action's code lies outside the code area (the event-script object
// checks its string tables itself).
HRESULT ani_dat_load_script_file(const char* path, AniScriptSet& slot);

void ani_dat_release_script_sets();
// A scene change clears the marks, enters the new scene (whose requests mark what it uses) and then
// frees the archives left unmarked.
void ani_dat_clear_used_marks();
void ani_dat_release_unmarked_images();
// Frees every archive and clears its mark (game shutdown).
void ani_dat_release_all_images();

// The key's entry, else the default entry, of a loaded archive.
const AniImageEntry& ani_dat_entry(const AniImageSet& set, std::uint32_t key);
// The frame record of the key's entry (else the default entry) at the direction and frame. A
// direction past the entry's count wraps, a frame past it shows the last; a count of 0 counts as
// 1. With paired layers frame i is record 2i and its second layer 2i + 1.
std::uint32_t ani_dat_frame_index(const AniImageSet& set, std::uint32_t key, std::uint32_t direction,
                                  std::uint32_t frame);
// The 256 colours of a loaded archive's palette, or null for a number the archive lacks.
const std::uint32_t* ani_dat_palette(const AniImageSet& set, std::uint32_t number);
// A loaded archive's RLE data from the frame's offset to the end (empty past the end).
std::span<const std::uint8_t> ani_dat_frame_rle(const AniImageSet& set, const AniFrame& frame);

// ---- Frame textures -----------------------------------------------------------------------------------
// A8R8G8B8 when the device has 32-bit textures, else A4R4G4B4: archives loaded without them
// hold their palettes converted to A4R4G4B4.
D3DFORMAT ani_texture_format();
// Releases the record's old texture and creates a managed one-level texture of the size; its
// last rectangle is then the whole canvas. The device's error is returned unchanged.
HRESULT ani_texture_create(AniFrameTexture& texture, std::int32_t width, std::int32_t height, float scale,
                           D3DFORMAT format);
void ani_texture_release(AniFrameTexture& texture);
// Clears the previous frame's rectangle and decodes the frame into its own. `palette` is null for
// a palette the archive lacks (its pixels stay clear); `rle` runs from the frame's data to the end
// of the archive. A failed lock returns its code and changes nothing.
HRESULT ani_texture_upload_frame(AniFrameTexture& texture, const std::uint32_t* palette,
                                 std::span<const std::uint8_t> rle, const AniFrame& frame);
// Decode the frame's rows into a view whose bits point at the rectangle's first pixel; runs are
// clipped to the rows and decoding stops at the end of the data.
void ani_rle_decode32(Image32& view, const std::uint32_t* palette, std::span<const std::uint8_t> rle);
void ani_rle_decode16(Image16& view, const std::uint32_t* palette, std::span<const std::uint8_t> rle);
