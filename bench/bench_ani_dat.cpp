// Sprite frame decoding: one frame of a round figure (opaque literal runs, a soft edge of alpha
// runs, skips around it) decoded from its RLE rows into a 32-bit and a 16-bit image in system
// memory, as a character's texture is each time its frame changes. Counts the frame rectangle's
// pixels per second.
#include "gfx/ani_dat.h"
#include "lib/aia_writer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace {

constexpr float k_edge = 3.0f; // pixels of the soft edge

// A disc of 192 colours whose outer pixels fade out.
AiaImage figure(int size)
{
    AiaFrame frame;
    frame.pixels.assign(std::size_t(size) * size, 0);
    const float centre = 0.5f * static_cast<float>(size);
    const float radius = 0.45f * static_cast<float>(size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float r =
                std::hypot(static_cast<float>(x) + 0.5f - centre, static_cast<float>(y) + 0.5f - centre);
            if (r > radius) continue;
            const std::uint32_t colour = 0x203040 + std::uint32_t((x + 2 * y) % 192) * 0x010101;
            const float fade = std::clamp((radius - r) / k_edge, 0.0f, 1.0f);
            const std::uint32_t alpha =
                fade >= 1.0f ? 0xFF : std::clamp(std::uint32_t(fade * 255.0f), 1u, 254u);
            frame.pixels[std::size_t(y) * size + x] = alpha << 24 | colour;
        }
    AiaArchive archive{static_cast<std::uint16_t>(size), static_cast<std::uint16_t>(size), 1.0f, false, {}};
    archive.entries.push_back({0, 1, 1, {frame}});
    return aia_build(archive);
}

template <typename Image>
void bench_decode(benchmark::State& state, int bytes_per_pixel,
                  void (*decode)(Image&, const std::uint32_t*, std::span<const std::uint8_t>))
{
    const AiaImage image = figure(static_cast<int>(state.range(0)));
    const AiaFrameRecord& frame = image.frames[0];
    const int width = frame.rect.x1 - frame.rect.x0;
    const int height = frame.rect.y1 - frame.rect.y0;
    Image view;
    view.owned_block = std::make_unique<std::uint8_t[]>(std::size_t(width) * height * bytes_per_pixel);
    view.pixels = view.owned_block.get();
    view.pitch = width * bytes_per_pixel;
    view.width = width;
    view.height = height;
    // The colours' values do not change the work, so the 16-bit decode reads the same palette.
    const std::uint32_t* palette = image.palettes[0].data();
    for (auto _ : state) {
        decode(view, palette, image.rle);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * width * height);
    state.counters["rle_bytes"] = static_cast<double>(image.rle.size());
}

void BM_AniRleDecode32(benchmark::State& state)
{
    bench_decode<Image32>(state, 4, ani_rle_decode32);
}
BENCHMARK(BM_AniRleDecode32)->Arg(64)->Arg(256);

void BM_AniRleDecode16(benchmark::State& state)
{
    bench_decode<Image16>(state, 2, ani_rle_decode16);
}
BENCHMARK(BM_AniRleDecode16)->Arg(64)->Arg(256);

} // namespace
