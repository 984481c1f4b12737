#include "core/image.h"

#include "core/bytes.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <span>

namespace {

Rect whole_image(const ImageHandler& image)
{
    return {0, 0, image.width, image.height};
}

std::uint8_t* pixel_at(const ImageHandler& image, std::int32_t x, std::int32_t y)
{
    return image.pixels + static_cast<std::ptrdiff_t>(y) * image.pitch +
           static_cast<std::ptrdiff_t>(x) * image.GetBytesPerPixel();
}

// Moves one side inward to a limit; returns how far it moved (0 when already inside).
std::int32_t pull_in(std::int32_t& side, std::int32_t limit, bool raise)
{
    std::int64_t amount = raise ? std::int64_t{limit} - side : std::int64_t{side} - limit;
    if (amount <= 0) return 0;
    side = limit;
    return static_cast<std::int32_t>(amount);
}

// end - start without overflow for extreme sides.
std::int32_t span(std::int32_t start, std::int32_t end)
{
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{end} - start, INT32_MIN, INT32_MAX));
}

void clear_area(ImageHandler& image, const Rect* rect)
{
    Rect area = rect ? *rect : whole_image(image);
    Rect bounds = whole_image(image);
    std::int32_t width, height;
    if (!image_clip_rect(area, &bounds, width, height, nullptr)) return;
    std::size_t row_bytes = static_cast<std::size_t>(width) * image.GetBytesPerPixel();
    for (std::int32_t y = 0; y < height; ++y)
        std::memset(pixel_at(image, area.left, area.top + y), 0, row_bytes);
}

// Copies the area of the source into the destination's top-left corner, limited to what both
// images hold.
void copy_area(ImageHandler& destination, const ImageHandler& source, const Rect* source_rect)
{
    Rect area = source_rect ? *source_rect : whole_image(source);
    Rect bounds = whole_image(source);
    std::int32_t width, height;
    if (!image_clip_rect(area, &bounds, width, height, nullptr)) return;
    width = std::min(width, destination.width);
    height = std::min(height, destination.height);
    if (width <= 0 || height <= 0) return;
    std::size_t row_bytes = static_cast<std::size_t>(width) * source.GetBytesPerPixel();
    for (std::int32_t y = 0; y < height; ++y)
        std::memcpy(pixel_at(destination, 0, y), pixel_at(source, area.left, area.top + y), row_bytes);
}

} // namespace

void ImageHandler::Free()
{
    owned_block.reset();
    pixels = nullptr;
    pitch = 0;
    width = 0;
    height = 0;
}

ImageHandler::~ImageHandler()
{
    ImageHandler::Free();
}

bool image_clip_rect(Rect& rect, const Rect* bounds, std::int32_t& width, std::int32_t& height,
                     Rect* companion)
{
    if (bounds) {
        std::int32_t left = pull_in(rect.left, bounds->left, true);
        std::int32_t top = pull_in(rect.top, bounds->top, true);
        std::int32_t right = pull_in(rect.right, bounds->right, false);
        std::int32_t bottom = pull_in(rect.bottom, bounds->bottom, false);
        if (companion) {
            companion->left += left;
            companion->top += top;
            companion->right -= right;
            companion->bottom -= bottom;
        }
    }
    width = span(rect.left, rect.right);
    height = span(rect.top, rect.bottom);
    return width > 0 && height > 0;
}

void image_clear32(Image32& image, const Rect* rect)
{
    clear_area(image, rect);
}

void image_clear16(Image16& image, const Rect* rect)
{
    clear_area(image, rect);
}

void image_blit32(Image32& destination, const Image32& source, const Rect* source_rect)
{
    copy_area(destination, source, source_rect);
}

void image_blit16(Image16& destination, const Image16& source)
{
    copy_area(destination, source, nullptr);
}

void image_convert32_to_565(const Image32& source, Image16& destination)
{
    std::int32_t width = std::max(0, std::min(source.width, destination.width));
    std::int32_t height = std::min(source.height, destination.height);
    for (std::int32_t y = 0; y < height; ++y) {
        const std::uint8_t* in = pixel_at(source, 0, y);
        std::span<std::uint8_t> out(pixel_at(destination, 0, y), std::size_t(width) * 2);
        for (std::int32_t x = 0; x < width; ++x, in += 4) {
            auto pixel = static_cast<std::uint16_t>((in[2] >> 3) << 11 | (in[1] >> 2) << 5 | in[0] >> 3);
            bytes_put_u16(out, std::size_t(x) * 2, pixel);
        }
    }
}
