// mkdds OUTPUT FORMAT WIDTH HEIGHT [--mips N] [--color AARRGGBB | --checker AARRGGBB AARRGGBB CELL]
// Writes a DDS texture of a pattern: a colour gradient unless a solid colour or a checker board
// is asked for. FORMAT is a8r8g8b8, x8r8g8b8, r8g8b8, r5g6b5, a1r5g5b5, a4r4g4b4, dxt1 or dxt3;
// --mips 0 writes the whole chain, the default is one level.
#include "lib/dds_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>

namespace {

int usage()
{
    std::fprintf(stderr, "usage: mkdds OUTPUT FORMAT WIDTH HEIGHT [--mips N] "
                         "[--color AARRGGBB | --checker AARRGGBB AARRGGBB CELL]\n");
    return 2;
}

std::optional<std::uint32_t> number(const char* text, int base)
{
    char* end = nullptr;
    unsigned long value = std::strtoul(text, &end, base);
    if (*text == 0 || *end != 0 || value > 0xFFFFFFFFul) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5) return usage();
    std::optional<DdsFormat> format = dds_format_from_name(argv[2]);
    std::optional<std::uint32_t> width = number(argv[3], 10), height = number(argv[4], 10);
    if (!format || !width || !height || *width == 0 || *height == 0 || *width > 8192 || *height > 8192)
        return usage();

    std::uint32_t mips = 1;
    std::optional<std::uint32_t> solid, dark, light, cell;
    for (int i = 5; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mips") == 0 && i + 1 < argc) {
            std::optional<std::uint32_t> count = number(argv[++i], 10);
            if (!count || *count > 32) return usage();
            mips = *count;
        } else if (std::strcmp(argv[i], "--color") == 0 && i + 1 < argc) {
            if (!(solid = number(argv[++i], 16))) return usage();
        } else if (std::strcmp(argv[i], "--checker") == 0 && i + 3 < argc) {
            dark = number(argv[i + 1], 16), light = number(argv[i + 2], 16), cell = number(argv[i + 3], 10);
            i += 3;
            if (!dark || !light || !cell || *cell == 0) return usage();
        } else {
            return usage();
        }
    }

    DdsPixels top;
    if (solid)
        top = dds_solid(*width, *height, *solid);
    else if (cell)
        top = dds_pattern(*width, *height, [&](std::uint32_t x, std::uint32_t y) {
            return ((x / *cell + y / *cell) & 1) ? *light : *dark;
        });
    else
        top = dds_pattern(*width, *height, [&](std::uint32_t x, std::uint32_t y) {
            return 0xFF000000u | (x * 255 / *width) << 16 | (y * 255 / *height) << 8 | 0x80;
        });
    try {
        if (!dds_write_file(argv[1], *format, dds_mip_chain(top, mips))) {
            std::fprintf(stderr, "mkdds: cannot write %s\n", argv[1]);
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "mkdds: %s\n", error.what());
        return 1;
    }
    return 0;
}
