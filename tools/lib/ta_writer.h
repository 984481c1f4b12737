// Time-attack record files ("record.ta" with 48 time entries, "record.ta2" with 6 story
// entries) as the game writes them: a 40-byte header (magic, 13, two free words, a 16-byte
// signature, the scramble seed, the table's CRC-32), then the table; the CRC and the table
// are scrambled with the keystream of the seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

constexpr std::uint32_t RECORD_MAGIC = 0x006F724B; // "Kro" and a zero byte
constexpr std::size_t RECORD_HEADER_SIZE = 40;
constexpr std::size_t RECORD_TIME_ENTRY_COUNT = 48;
constexpr std::size_t RECORD_TIME_ENTRY_SIZE = 12;
constexpr std::size_t RECORD_STORY_ENTRY_COUNT = 6;

// Every time entry at its defaults: no time, -1, 0xFF, 0, no new-record flag, 0.
std::vector<std::uint8_t> record_time_table();
void record_put_time(std::vector<std::uint8_t>& table, std::size_t index, std::uint32_t best_ms,
                     std::uint8_t new_record);
// Six pairs of a best time and the word kept beside it.
std::vector<std::uint8_t>
record_story_table(std::span<const std::uint32_t, 2 * RECORD_STORY_ENTRY_COUNT> words);
// The whole file; seed 0 leaves the CRC and the table plain.
std::vector<std::uint8_t> record_file_bytes(std::span<const std::uint8_t> table, std::uint32_t seed,
                                            std::uint32_t magic = RECORD_MAGIC);
