// Writer of sprite image archives (".aia"), stored packed under "data\ani\c_%03d.aia.z": a 32-byte
// header (a word not read, version 320, the paired-layers flag, palette, entry and frame-record
// counts, canvas width and height, scale), 16-byte entries (key, first record, directions,
// frames per direction), 32-byte frame records (RLE offset, palette, second-layer flag, height,
// canvas left and top from the hot spot, depth, rectangle), palettes of 256 A8R8G8B8 colours,
// then the RLE rows: big-endian run words, 0x8000 | n literal indices, 0x4000 | n (alpha, index)
// pairs, or a skip of up to 0x3FFF pixels.
//
// Archives are described by their ARGB frames; aia_build lays them out into an image whose every
// field a test may change (counts, offsets, rectangles, flags) before aia_bytes writes it as it
// stands, for corrupt fixtures.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

constexpr std::uint16_t AIA_VERSION = 320;
constexpr std::uint8_t AIA_PAIRED_LAYERS = 0x1; // header flags
constexpr std::uint8_t AIA_SECOND_LAYER = 0x1;  // frame flags: the next record is this frame's layer 1
constexpr std::uint32_t AIA_HEADER_SIZE = 32;
constexpr std::uint32_t AIA_ENTRY_SIZE = 16;
constexpr std::uint32_t AIA_FRAME_SIZE = 32;
constexpr std::uint32_t AIA_PALETTE_COLOURS = 256;
constexpr std::uint32_t AIA_PALETTE_SIZE = 4 * AIA_PALETTE_COLOURS;
constexpr std::uint16_t AIA_LITERAL_RUN = 0x8000;
constexpr std::uint16_t AIA_ALPHA_RUN = 0x4000;
constexpr std::uint32_t AIA_LITERAL_MAX = 4095; // pixels of one literal or alpha run word
constexpr std::uint32_t AIA_SKIP_MAX = 16383;   // pixels of one skip word

// x1 and y1 exclusive.
struct AiaRect {
    std::uint16_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// One layer of a frame, drawn on the whole canvas.
struct AiaLayer {
    // Canvas width x height colours 0xAARRGGBB, row by row; empty for a layer with nothing drawn.
    // Alpha 0 is a skip, alpha 255 a literal pixel, any other alpha an alpha run over the colour
    // made opaque, so the 32-bit decode gives back exactly these colours.
    std::vector<std::uint32_t> pixels;
    // When given (one byte a pixel): a pixel of byte 0 is a skip, every other one an alpha run
    // with this byte as its stored alpha over its colour as it stands, alpha included (the game
    // ANDs the two alphas on 32-bit textures and takes the stored one's top 4 bits on 16-bit).
    std::vector<std::uint8_t> run_alpha;
    // The rectangle to encode; by default the bounds of the drawn pixels.
    std::optional<AiaRect> rect;
    float height = 0;      // the sprite's vertical reference
    float canvas_left = 0; // of the canvas, from the hot spot, pixels
    float canvas_top = 0;  // y grows upward
    float depth = 0;
};

// The canvas edges of a hot spot at canvas pixel (x, y), y growing downward.
void aia_set_hot_spot(AiaLayer& layer, float x, float y);

struct AiaFrame : AiaLayer {
    std::optional<AiaLayer> second; // the second layer; only in archives with paired layers
};

// Frames direction by direction: frames_per_direction of direction 0, then of direction 1 ...
// Their number is directions x frames_per_direction, a count of 0 taken as 1.
struct AiaEntry {
    std::uint32_t key = 0; // 0: the default entry
    std::uint32_t directions = 1;
    std::uint32_t frames_per_direction = 1;
    std::vector<AiaFrame> frames;
};

struct AiaArchive {
    std::uint16_t canvas_width = 0;
    std::uint16_t canvas_height = 0;
    float scale = 1.0f;
    bool paired_layers = false; // every frame takes two records, the second its optional layer 1
    std::vector<AiaEntry> entries;
};

// The file as it will be written, field by field. aia_bytes writes the header's counts as they
// stand and then every record the vectors hold, whatever the counts say.
struct AiaHeaderImage {
    std::uint32_t word0 = 0;
    std::uint16_t version = AIA_VERSION;
    std::uint8_t flags = 0;
    std::uint8_t byte7 = 0;
    std::uint32_t palette_count = 0;
    std::uint32_t entry_count = 0;
    std::uint32_t frame_count = 0;
    std::uint16_t canvas_width = 0;
    std::uint16_t canvas_height = 0;
    float scale = 1.0f;
    std::uint32_t word28 = 0;
};

struct AiaEntryRecord {
    std::uint32_t key = 0;
    std::uint32_t first_frame = 0;
    std::uint32_t direction_count = 0;
    std::uint32_t frames_per_direction = 0;
};

struct AiaFrameRecord {
    std::uint32_t rle_offset = 0; // from the start of the RLE data
    std::uint16_t palette = 0;
    std::uint8_t flags = 0;
    std::uint8_t byte7 = 0;
    float height = 0, canvas_left = 0, canvas_top = 0, depth = 0;
    AiaRect rect;
};

using AiaPalette = std::array<std::uint32_t, AIA_PALETTE_COLOURS>;

struct AiaImage {
    AiaHeaderImage header;
    std::vector<AiaEntryRecord> entries;
    std::vector<AiaFrameRecord> frames;
    std::vector<AiaPalette> palettes;
    std::vector<std::uint8_t> rle;
};

// Run words appended to RLE rows, split into as many words as their limits need.
void aia_put_skip(std::vector<std::uint8_t>& rle, std::uint32_t count);
void aia_put_literal(std::vector<std::uint8_t>& rle, std::span<const std::uint8_t> indices);
// Pairs of (stored alpha, palette index).
struct AiaAlphaPixel {
    std::uint8_t alpha;
    std::uint8_t index;
};
void aia_put_alpha(std::vector<std::uint8_t>& rle, std::span<const AiaAlphaPixel> pixels);
// A run word as stored, high byte first.
void aia_put_word(std::vector<std::uint8_t>& rle, std::uint16_t word);

// Lays the archive out: records in entry order (two a frame with paired layers), the layers'
// colours gathered into palettes of at most 256 (a layer goes into the last palette while the
// colours fit, else starts a new one), each layer's rows encoded. Throws std::invalid_argument
// for a layer of more than 256 colours, pixels not of the canvas size, a frame count that does
// not match its entry or a second layer without paired layers.
AiaImage aia_build(const AiaArchive& archive);
std::vector<std::uint8_t> aia_bytes(const AiaImage& image);
// The archive's bytes packed (".z"), as the game reads them.
std::vector<std::uint8_t> aia_packed(const AiaArchive& archive);
std::vector<std::uint8_t> aia_packed(const AiaImage& image);

// "data\ani\c_%03d.aia.z", or "data\ani\l\c_%03d.aia.z" for the low-resolution variant.
std::string aia_archive_path(int number, bool low_resolution = false);
