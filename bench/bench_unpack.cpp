// Unpacking packed files as the game does during play: a texture-like and a text-like file of
// 1 MiB and 16 MiB loaded from the archive into the work block, each iteration also inflating
// the same stream with raw zlib and raw libdeflate, so the counters give the load's time as a
// multiple of both floors measured in the same run.
#include "common/bench_engine.h"
#include "core/sys.h"
#include "core/unpack.h"
#include "core/vfs.h"
#include "lib/packed_writer.h"

#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t k_block_size = 17 << 20;

// 16-bit pixels of smooth gradients with a little noise, as the game's textures are.
std::vector<std::uint8_t> texture_like(std::size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    std::uint32_t noise = 1;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        noise = noise * 1103515245 + 12345;
        const std::size_t pixel = i / 2;
        const auto value = static_cast<std::uint16_t>((pixel % 256) / 8 << 11 | (pixel / 256 % 64) << 5 |
                                                      ((noise >> 16) & 3));
        bytes[i] = static_cast<std::uint8_t>(value);
        bytes[i + 1] = static_cast<std::uint8_t>(value >> 8);
    }
    return bytes;
}

// Words from a small vocabulary, as the scripts and message tables are.
std::vector<std::uint8_t> text_like(std::size_t size)
{
    static const char* const words[] = {"the ",   "hero ",  "opens ", "door ", "\r\n",   "of ",   "stone ",
                                        "light ", "falls ", "on ",    "a ",    "quiet ", "room ", ", "};
    std::vector<std::uint8_t> bytes;
    bytes.reserve(size);
    std::uint32_t state = 7;
    while (bytes.size() < size) {
        state = state * 1103515245 + 12345;
        for (const char* c = words[(state >> 16) % std::size(words)]; *c && bytes.size() < size; ++c)
            bytes.push_back(static_cast<std::uint8_t>(*c));
    }
    return bytes;
}

double seconds_of(auto&& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void bench_unpack(benchmark::State& state, std::vector<std::uint8_t> (*make)(std::size_t))
{
    const std::vector<std::uint8_t> content = make(static_cast<std::size_t>(state.range(0)) << 20);
    const std::vector<std::uint8_t> packed = packed_build(content);
    const ArchiveSource file{"data\\bench.bin.z", packed};
    const std::filesystem::path folder = bench_mount_files("kro_bench_unpack_", {&file, 1});
    if (folder.empty()) return state.SkipWithError("cannot mount the archive");
    std::vector<std::uint8_t> block(k_block_size);
    const WorkBlock saved = g_work_block;
    g_work_block = WorkBlock{block.data(), k_block_size, nullptr, 0};
    libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
    std::vector<std::uint8_t> out(content.size());
    const VfsEntry* entry = vfs_find("data\\bench.bin.z");
    const std::span<const std::uint8_t> stream(packed.data() + PACKED_HEADER_SIZE,
                                               packed.size() - PACKED_HEADER_SIZE);

    double load = 0.0, zlib = 0.0, deflate = 0.0;
    for (auto _ : state) {
        UnpackBuffer buffer;
        const double one = seconds_of([&] { benchmark::DoNotOptimize(unpack_load(buffer, entry, "bench")); });
        unpack_release_buffer(buffer);
        state.SetIterationTime(one);
        load += one;
        zlib += seconds_of([&] {
            uLongf size = static_cast<uLongf>(out.size());
            benchmark::DoNotOptimize(
                uncompress(out.data(), &size, stream.data(), static_cast<uLong>(stream.size())));
        });
        deflate += seconds_of([&] {
            benchmark::DoNotOptimize(libdeflate_zlib_decompress(inflater, stream.data(), stream.size(),
                                                                out.data(), out.size(), nullptr));
        });
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * content.size()));
    state.counters["x_libdeflate"] = load / deflate;
    state.counters["x_zlib"] = load / zlib;

    libdeflate_free_decompressor(inflater);
    g_work_block = saved;
    vfs_close_all();
    std::filesystem::remove_all(folder);
}

void BM_UnpackTexture(benchmark::State& state)
{
    bench_unpack(state, texture_like);
}
void BM_UnpackText(benchmark::State& state)
{
    bench_unpack(state, text_like);
}

} // namespace

BENCHMARK(BM_UnpackTexture)->Arg(1)->Arg(16)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnpackText)->Arg(1)->Arg(16)->UseManualTime()->Unit(benchmark::kMicrosecond);
