// Writer of RIFF WAVE files: "RIFF", the size of what follows, "WAVE", then chunks of a 4-byte
// identifier, a 32-bit size and the data padded to an even length. The chunks are given one by
// one so tests can reorder, shorten or add them; the plain case is one "fmt " and one "data".
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

constexpr std::uint16_t WAV_FORMAT_PCM = 1;

struct WavFormat {
    std::uint16_t channels = 1;
    std::uint32_t rate = 22050;
    std::uint16_t bits = 16;
};

struct WavChunk {
    std::string id; // four characters
    std::vector<std::uint8_t> data;
};

// The "fmt " body of a PCM format: 16 bytes; 18 adds a zero extra-size word; 14 stops before
// the bits per sample (the oldest form); any other size is cut or zero-padded to it.
std::vector<std::uint8_t> wav_format_bytes(const WavFormat& format, std::size_t size = 16);
// The whole file: the header with the right RIFF size, then the chunks, each padded to even.
std::vector<std::uint8_t> wav_build(std::span<const WavChunk> chunks);
// A plain PCM file: "fmt " (16 bytes) then "data".
std::vector<std::uint8_t> wav_build_pcm(const WavFormat& format, std::span<const std::uint8_t> samples);
// Interleaved 16-bit little-endian samples of a sine tone at `hz`, every channel alike.
std::vector<std::uint8_t> wav_tone(const WavFormat& format, std::uint32_t frames, double hz);
bool wav_write_file(const std::filesystem::path& path, const WavFormat& format,
                    std::span<const std::uint8_t> samples);
