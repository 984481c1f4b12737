// Writer of small Ogg Vorbis files (libvorbisenc), with user comments such as the loop tags
// "LOOPSTART=" and "LOOPLENGTH=" (in samples) that the music streams read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

struct OggSource {
    int channels = 2;
    long rate = 44100;
    std::vector<std::uint8_t> samples; // interleaved 16-bit little-endian (wav_tone gives them)
    std::vector<std::string> comments; // "NAME=value" each
    float quality = 0.1f;              // the encoder's VBR quality, -0.1 .. 1.0
};

// Throws std::runtime_error when the encoder refuses the format.
std::vector<std::uint8_t> ogg_build(const OggSource& source);
bool ogg_write_file(const std::filesystem::path& path, const OggSource& source);
