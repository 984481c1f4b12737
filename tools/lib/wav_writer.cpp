#include "lib/wav_writer.h"

#include "lib/archive_writer.h"
#include "lib/le_bytes.h"

#include <cmath>
#include <numbers>

namespace {

void put_id(std::vector<std::uint8_t>& out, const std::string& id)
{
    for (std::size_t i = 0; i < 4; ++i)
        out.push_back(i < id.size() ? static_cast<std::uint8_t>(id[i]) : ' ');
}

} // namespace

std::vector<std::uint8_t> wav_format_bytes(const WavFormat& format, std::size_t size)
{
    std::uint32_t block_align = format.channels * format.bits / 8u;
    std::vector<std::uint8_t> out;
    le_put_u16(out, WAV_FORMAT_PCM);
    le_put_u16(out, format.channels);
    le_put_u32(out, format.rate);
    le_put_u32(out, format.rate * block_align);
    le_put_u16(out, block_align);
    le_put_u16(out, format.bits);
    out.resize(size, 0);
    return out;
}

std::vector<std::uint8_t> wav_build(std::span<const WavChunk> chunks)
{
    std::vector<std::uint8_t> out;
    put_id(out, "RIFF");
    le_put_u32(out, 0);
    put_id(out, "WAVE");
    for (const WavChunk& chunk : chunks) {
        put_id(out, chunk.id);
        le_put_u32(out, static_cast<std::uint32_t>(chunk.data.size()));
        out.insert(out.end(), chunk.data.begin(), chunk.data.end());
        if (chunk.data.size() % 2) out.push_back(0);
    }
    std::uint32_t riff_size = static_cast<std::uint32_t>(out.size() - 8);
    for (int i = 0; i < 4; ++i)
        out[4 + i] = static_cast<std::uint8_t>(riff_size >> (8 * i));
    return out;
}

std::vector<std::uint8_t> wav_build_pcm(const WavFormat& format, std::span<const std::uint8_t> samples)
{
    const WavChunk chunks[] = {{"fmt ", wav_format_bytes(format)},
                               {"data", std::vector<std::uint8_t>(samples.begin(), samples.end())}};
    return wav_build(chunks);
}

std::vector<std::uint8_t> wav_tone(const WavFormat& format, std::uint32_t frames, double hz)
{
    std::vector<std::uint8_t> out;
    out.reserve(std::size_t{frames} * format.channels * 2);
    for (std::uint32_t i = 0; i < frames; ++i) {
        double phase = 2.0 * std::numbers::pi * hz * i / format.rate;
        auto sample = static_cast<std::int16_t>(std::lround(std::sin(phase) * 12000.0));
        for (std::uint16_t c = 0; c < format.channels; ++c)
            le_put_u16(out, static_cast<std::uint16_t>(sample));
    }
    return out;
}

bool wav_write_file(const std::filesystem::path& path, const WavFormat& format,
                    std::span<const std::uint8_t> samples)
{
    return tools_write_file(path, wav_build_pcm(format, samples));
}
