// Pixel buffers in system memory (8-, 16- and 32-bit) with rectangle clipping, clear, copy
// and 32-to-16-bit conversion. Allocating an image's pixels belongs to its owner, who points
// `pixels` into `owned_block` (or into memory that someone else keeps).
#pragma once

#include <cstdint>
#include <memory>

// Right and bottom are exclusive.
struct Rect {
    std::int32_t left, top, right, bottom;
};

class ImageHandler {
public:
    ImageHandler() = default;
    ImageHandler(const ImageHandler&) = delete;
    ImageHandler& operator=(const ImageHandler&) = delete;

    // Frees the owned block and empties the image.
    virtual void Free();
    virtual ~ImageHandler();
    virtual int GetBytesPerPixel() const = 0;

    std::uint8_t* pixels = nullptr; // the top row
    std::int32_t pitch = 0;         // bytes from one row to the next
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::unique_ptr<std::uint8_t[]> owned_block; // null when the pixels belong to someone else
};

class Image8 : public ImageHandler {
public:
    int GetBytesPerPixel() const override { return 1; }
};

// R5G6B5.
class Image16 : public ImageHandler {
public:
    int GetBytesPerPixel() const override { return 2; }
};

// Bytes B, G, R, X in memory.
class Image32 : public ImageHandler {
public:
    int GetBytesPerPixel() const override { return 4; }
};

// Limits the rect to the bounds (when given), moving the companion's sides (when given) by
// the same amounts; writes the remaining size and returns false when nothing remains.
bool image_clip_rect(Rect& rect, const Rect* bounds, std::int32_t& width, std::int32_t& height,
                     Rect* companion);

// Zeroes the rect's pixels (null = the whole image); the rect is first limited to the image.
void image_clear32(Image32& image, const Rect* rect);
void image_clear16(Image16& image, const Rect* rect);

// Copies the source rect (null = the whole source) into the destination's top-left corner;
// what does not fit in either image is left out.
void image_blit32(Image32& destination, const Image32& source, const Rect* source_rect);
void image_blit16(Image16& destination, const Image16& source);

// Converts the area both images cover to R5G6B5.
void image_convert32_to_565(const Image32& source, Image16& destination);
