// Save slots ("kro_NN.nacci") as the game writes them, from a 7,208-byte play-state image. The
// file is the image with its first 188 bytes replaced by the header: "Ek3" and a zero byte, the
// version 1, the size 7208, the CRC-32 of bytes 48-95, the header seed, three free words, a
// 16-byte signature, the 124-byte summary, the body seed, the CRC-32 of the body, a zero word
// and a free word. From the summary on the header is scrambled with the header seed, the body
// (bytes 188-7207) with the body seed, and each CRC covers its bytes as stored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

constexpr std::size_t SAVE_SLOT_SIZE = 7208;
constexpr std::size_t SAVE_SLOT_HEADER_SIZE = 188;
constexpr std::size_t SAVE_SLOT_SUMMARY_OFFSET = 48;
constexpr std::size_t SAVE_SLOT_BODY_CRC_OFFSET = 176;

// What the game takes from the clock and the event scripts when it saves. A text is cut to its
// field and has no terminator when it fills the field (the game's own always have one).
struct SaveSlotStamp {
    std::string date = "06/15/2026"; // month/day/year
    std::string time = "18:30:05";
    std::string location;
};

// Seed 0 leaves its part plain.
struct SaveSlotSeeds {
    std::uint32_t header = 0x0F1E2D3C;
    std::uint32_t body = 0x5A6B7C8D;
};

// The slot's bytes; the summary is taken from the image as the game takes it from the play
// state (the difficulty stored plus 1). Another version only serves to test the check.
std::vector<std::uint8_t> save_slot_bytes(std::span<const std::uint8_t> play_state,
                                          const SaveSlotStamp& stamp, SaveSlotSeeds seeds = {},
                                          std::uint32_t version = 1);

// The play state back from a slot's bytes when its identity and both CRCs hold; false otherwise.
// The image keeps the header as stored up to the summary, restored from there on.
bool save_slot_restore(std::span<const std::uint8_t> file, std::vector<std::uint8_t>& play_state);

// A small game in progress, for the command line and the demo.
struct SaveSlotDescription {
    std::int32_t level = 1;
    float hp = 100.0f;
    float max_hp = 100.0f;
    std::int32_t gold = 0;
    std::int32_t difficulty = 0; // 0 Normal, 1 Hard, 2 Nightmare
    bool easy = false;
    bool very_easy = false;
    bool inferno = false;
    std::int32_t play_ticks = 0; // 60 a second
    std::int32_t scene_id = 1;
};
// A play-state image of the description: its fields in place, no rings or items held, no
// magic chosen, and the rest zero.
std::vector<std::uint8_t> save_play_state_image(const SaveSlotDescription& description);
