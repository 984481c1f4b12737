// Writers of the common image files the D3DX loaders read besides DDS, for the loader tests:
// 24-bit BMP (bottom-up rows padded to 4 bytes) and 8-bit RGB or RGBA PNG.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

// Pixels are 0xAARRGGBB, rows top to bottom; the BMP drops the alpha.
std::vector<std::uint8_t> image_build_bmp(std::uint32_t width, std::uint32_t height,
                                          std::span<const std::uint32_t> argb);
// Throws std::runtime_error when zlib fails (it does not for valid input).
std::vector<std::uint8_t> image_build_png(std::uint32_t width, std::uint32_t height,
                                          std::span<const std::uint32_t> argb, bool alpha);
