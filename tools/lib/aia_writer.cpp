#include "lib/aia_writer.h"

#include "lib/le_bytes.h"
#include "lib/packed_writer.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

enum class PixelKind { Skip, Literal, Alpha };

// One pixel as the layer asks to store it.
struct EncodedPixel {
    PixelKind kind;
    std::uint32_t colour; // the palette colour
    std::uint8_t alpha;   // the stored alpha of an alpha run
};

std::size_t pixel_count(const AiaArchive& archive)
{
    return std::size_t(archive.canvas_width) * archive.canvas_height;
}

EncodedPixel encode_pixel(const AiaLayer& layer, std::size_t i)
{
    const std::uint32_t colour = layer.pixels[i];
    const std::uint8_t alpha = static_cast<std::uint8_t>(colour >> 24);
    if (!layer.run_alpha.empty())
        return layer.run_alpha[i] == 0 ? EncodedPixel{PixelKind::Skip, 0, 0}
                                       : EncodedPixel{PixelKind::Alpha, colour, layer.run_alpha[i]};
    if (alpha == 0) return {PixelKind::Skip, 0, 0};
    if (alpha == 0xFF) return {PixelKind::Literal, colour, 0};
    return {PixelKind::Alpha, colour | 0xFF000000u, alpha};
}

void check_layer(const AiaArchive& archive, const AiaLayer& layer)
{
    if (!layer.pixels.empty() && layer.pixels.size() != pixel_count(archive))
        throw std::invalid_argument("aia: a layer's pixels are not of the canvas size");
    if (!layer.run_alpha.empty() && layer.run_alpha.size() != layer.pixels.size())
        throw std::invalid_argument("aia: a layer's run alphas do not match its pixels");
}

// The bounds of the pixels that are not skips; empty when there are none.
AiaRect drawn_bounds(const AiaArchive& archive, const AiaLayer& layer)
{
    const int width = archive.canvas_width;
    const int height = archive.canvas_height;
    int x0 = width, y0 = height, x1 = 0, y1 = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (encode_pixel(layer, std::size_t(y) * width + x).kind != PixelKind::Skip) {
                x0 = std::min(x0, x);
                y0 = std::min(y0, y);
                x1 = std::max(x1, x + 1);
                y1 = std::max(y1, y + 1);
            }
    if (x1 == 0) return {};
    return {std::uint16_t(x0), std::uint16_t(y0), std::uint16_t(x1), std::uint16_t(y1)};
}

AiaRect layer_rect(const AiaArchive& archive, const AiaLayer& layer)
{
    if (layer.rect) return *layer.rect;
    return layer.pixels.empty() ? AiaRect{} : drawn_bounds(archive, layer);
}

// A pixel of the rectangle; outside the canvas, or in a layer with no pixels, a skip.
EncodedPixel pixel_at(const AiaArchive& archive, const AiaLayer& layer, int x, int y)
{
    if (layer.pixels.empty() || x >= archive.canvas_width || y >= archive.canvas_height)
        return {PixelKind::Skip, 0, 0};
    return encode_pixel(layer, std::size_t(y) * archive.canvas_width + x);
}

// Palettes filled layer by layer.
class PaletteBuilder {
public:
    explicit PaletteBuilder(std::vector<AiaPalette>& palettes) : m_palettes(palettes) {}

    // The palette the colours go into, each colour added where it is missing.
    std::uint16_t place(const std::vector<std::uint32_t>& colours)
    {
        if (colours.size() > AIA_PALETTE_COLOURS)
            throw std::invalid_argument("aia: a layer has more than 256 colours");
        if (m_palettes.empty() || missing(colours) > AIA_PALETTE_COLOURS - m_used) {
            m_palettes.emplace_back();
            m_palettes.back().fill(0);
            m_used = 0;
        }
        AiaPalette& palette = m_palettes.back();
        for (std::uint32_t colour : colours)
            if (index_of(colour) < 0) palette[m_used++] = colour;
        return static_cast<std::uint16_t>(m_palettes.size() - 1);
    }

    std::uint8_t index(std::uint32_t colour) const { return static_cast<std::uint8_t>(index_of(colour)); }

private:
    int index_of(std::uint32_t colour) const
    {
        const AiaPalette& palette = m_palettes.back();
        auto found = std::find(palette.begin(), palette.begin() + m_used, colour);
        return found == palette.begin() + m_used ? -1 : static_cast<int>(found - palette.begin());
    }
    std::uint32_t missing(const std::vector<std::uint32_t>& colours) const
    {
        return static_cast<std::uint32_t>(
            std::count_if(colours.begin(), colours.end(), [&](std::uint32_t c) { return index_of(c) < 0; }));
    }

    std::vector<AiaPalette>& m_palettes;
    std::uint32_t m_used = 0;
};

std::vector<std::uint32_t> layer_colours(const AiaArchive& archive, const AiaLayer& layer, AiaRect rect)
{
    std::vector<std::uint32_t> colours;
    for (int y = rect.y0; y < rect.y1; ++y)
        for (int x = rect.x0; x < rect.x1; ++x) {
            EncodedPixel pixel = pixel_at(archive, layer, x, y);
            if (pixel.kind != PixelKind::Skip &&
                std::find(colours.begin(), colours.end(), pixel.colour) == colours.end())
                colours.push_back(pixel.colour);
        }
    return colours;
}

// One row: each stretch of pixels of one kind becomes that kind's runs.
void encode_row(std::vector<std::uint8_t>& rle, const AiaArchive& archive, const AiaLayer& layer,
                AiaRect rect, int y, const PaletteBuilder& palette)
{
    int x = rect.x0;
    while (x < rect.x1) {
        const PixelKind kind = pixel_at(archive, layer, x, y).kind;
        std::vector<std::uint8_t> indices;
        std::vector<AiaAlphaPixel> pairs;
        int end = x;
        for (; end < rect.x1; ++end) {
            EncodedPixel pixel = pixel_at(archive, layer, end, y);
            if (pixel.kind != kind) break;
            if (kind == PixelKind::Literal) indices.push_back(palette.index(pixel.colour));
            if (kind == PixelKind::Alpha) pairs.push_back({pixel.alpha, palette.index(pixel.colour)});
        }
        if (kind == PixelKind::Skip) aia_put_skip(rle, static_cast<std::uint32_t>(end - x));
        if (kind == PixelKind::Literal) aia_put_literal(rle, indices);
        if (kind == PixelKind::Alpha) aia_put_alpha(rle, pairs);
        x = end;
    }
}

AiaFrameRecord build_layer(AiaImage& image, PaletteBuilder& palettes, const AiaArchive& archive,
                           const AiaLayer& layer)
{
    check_layer(archive, layer);
    AiaFrameRecord record;
    record.rect = layer_rect(archive, layer);
    record.rle_offset = static_cast<std::uint32_t>(image.rle.size());
    record.height = layer.height;
    record.canvas_left = layer.canvas_left;
    record.canvas_top = layer.canvas_top;
    record.depth = layer.depth;
    record.palette = palettes.place(layer_colours(archive, layer, record.rect));
    for (int y = record.rect.y0; y < record.rect.y1; ++y)
        encode_row(image.rle, archive, layer, record.rect, y, palettes);
    return record;
}

void put_header(std::vector<std::uint8_t>& out, const AiaHeaderImage& header)
{
    le_put_u32(out, header.word0);
    le_put_u16(out, header.version);
    le_put_u8(out, header.flags);
    le_put_u8(out, header.byte7);
    le_put_u32(out, header.palette_count);
    le_put_u32(out, header.entry_count);
    le_put_u32(out, header.frame_count);
    le_put_u16(out, header.canvas_width);
    le_put_u16(out, header.canvas_height);
    le_put_f32(out, header.scale);
    le_put_u32(out, header.word28);
}

void put_frame(std::vector<std::uint8_t>& out, const AiaFrameRecord& frame)
{
    le_put_u32(out, frame.rle_offset);
    le_put_u16(out, frame.palette);
    le_put_u8(out, frame.flags);
    le_put_u8(out, frame.byte7);
    le_put_f32(out, frame.height);
    le_put_f32(out, frame.canvas_left);
    le_put_f32(out, frame.canvas_top);
    le_put_f32(out, frame.depth);
    le_put_u16(out, frame.rect.x0);
    le_put_u16(out, frame.rect.y0);
    le_put_u16(out, frame.rect.x1);
    le_put_u16(out, frame.rect.y1);
}

// Words of at most AIA_LITERAL_MAX pixels, each followed by its pixels' bytes.
template <typename PutPixel>
void put_runs(std::vector<std::uint8_t>& rle, std::uint16_t kind, std::size_t count, PutPixel put_pixel)
{
    for (std::size_t done = 0; done < count;) {
        const std::size_t n = std::min<std::size_t>(count - done, AIA_LITERAL_MAX);
        aia_put_word(rle, static_cast<std::uint16_t>(kind | n));
        for (std::size_t i = done; i < done + n; ++i)
            put_pixel(i);
        done += n;
    }
}

} // namespace

void aia_set_hot_spot(AiaLayer& layer, float x, float y)
{
    layer.canvas_left = -x;
    layer.canvas_top = y;
}

void aia_put_word(std::vector<std::uint8_t>& rle, std::uint16_t word)
{
    rle.push_back(static_cast<std::uint8_t>(word >> 8));
    rle.push_back(static_cast<std::uint8_t>(word));
}

void aia_put_skip(std::vector<std::uint8_t>& rle, std::uint32_t count)
{
    for (; count > 0; count -= std::min(count, AIA_SKIP_MAX))
        aia_put_word(rle, static_cast<std::uint16_t>(std::min(count, AIA_SKIP_MAX)));
}

void aia_put_literal(std::vector<std::uint8_t>& rle, std::span<const std::uint8_t> indices)
{
    put_runs(rle, AIA_LITERAL_RUN, indices.size(), [&](std::size_t i) { rle.push_back(indices[i]); });
}

void aia_put_alpha(std::vector<std::uint8_t>& rle, std::span<const AiaAlphaPixel> pixels)
{
    put_runs(rle, AIA_ALPHA_RUN, pixels.size(), [&](std::size_t i) {
        rle.push_back(pixels[i].alpha);
        rle.push_back(pixels[i].index);
    });
}

AiaImage aia_build(const AiaArchive& archive)
{
    AiaImage image;
    PaletteBuilder palettes(image.palettes);
    for (const AiaEntry& entry : archive.entries) {
        const std::size_t count =
            std::size_t(std::max(entry.directions, 1u)) * std::max(entry.frames_per_direction, 1u);
        if (entry.frames.size() != count)
            throw std::invalid_argument("aia: an entry's frames do not match its directions and frames");
        image.entries.push_back({entry.key, static_cast<std::uint32_t>(image.frames.size()), entry.directions,
                                 entry.frames_per_direction});
        for (const AiaFrame& frame : entry.frames) {
            if (frame.second && !archive.paired_layers)
                throw std::invalid_argument("aia: a second layer needs paired layers");
            image.frames.push_back(build_layer(image, palettes, archive, frame));
            if (!archive.paired_layers) continue;
            if (frame.second) {
                image.frames.back().flags |= AIA_SECOND_LAYER;
                image.frames.push_back(build_layer(image, palettes, archive, *frame.second));
            } else {
                image.frames.push_back(build_layer(image, palettes, archive, AiaLayer{}));
            }
        }
    }
    AiaHeaderImage& header = image.header;
    header.flags = archive.paired_layers ? AIA_PAIRED_LAYERS : 0;
    header.palette_count = static_cast<std::uint32_t>(image.palettes.size());
    header.entry_count = static_cast<std::uint32_t>(image.entries.size());
    header.frame_count = static_cast<std::uint32_t>(image.frames.size());
    header.canvas_width = archive.canvas_width;
    header.canvas_height = archive.canvas_height;
    header.scale = archive.scale;
    return image;
}

std::vector<std::uint8_t> aia_bytes(const AiaImage& image)
{
    std::vector<std::uint8_t> out;
    put_header(out, image.header);
    for (const AiaEntryRecord& entry : image.entries) {
        le_put_u32(out, entry.key);
        le_put_u32(out, entry.first_frame);
        le_put_u32(out, entry.direction_count);
        le_put_u32(out, entry.frames_per_direction);
    }
    for (const AiaFrameRecord& frame : image.frames)
        put_frame(out, frame);
    for (const AiaPalette& palette : image.palettes)
        for (std::uint32_t colour : palette)
            le_put_u32(out, colour);
    out.insert(out.end(), image.rle.begin(), image.rle.end());
    return out;
}

std::vector<std::uint8_t> aia_packed(const AiaImage& image)
{
    return packed_build(aia_bytes(image));
}

std::vector<std::uint8_t> aia_packed(const AiaArchive& archive)
{
    return aia_packed(aia_build(archive));
}

std::string aia_archive_path(int number, bool low_resolution)
{
    char path[64];
    std::snprintf(path, sizeof path, "data\\ani\\%sc_%03d.aia.z", low_resolution ? "l\\" : "", number);
    return path;
}
