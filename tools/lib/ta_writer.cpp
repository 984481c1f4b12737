#include "lib/ta_writer.h"

#include "lib/archive_writer.h"
#include "lib/le_bytes.h"

#include <zlib.h>

#include <string_view>

std::vector<std::uint8_t> record_time_table()
{
    std::vector<std::uint8_t> table;
    for (std::size_t i = 0; i < RECORD_TIME_ENTRY_COUNT; ++i) {
        le_put_u32(table, 0);
        le_put_u32(table, 0xFFFFFFFF);
        le_put_u8(table, 0xFF);
        le_put_zeros(table, 3);
    }
    return table;
}

void record_put_time(std::vector<std::uint8_t>& table, std::size_t index, std::uint32_t best_ms,
                     std::uint8_t new_record)
{
    le_patch_u32(table, index * RECORD_TIME_ENTRY_SIZE, best_ms);
    table.at(index * RECORD_TIME_ENTRY_SIZE + 10) = new_record;
}

std::vector<std::uint8_t>
record_story_table(std::span<const std::uint32_t, 2 * RECORD_STORY_ENTRY_COUNT> words)
{
    std::vector<std::uint8_t> table;
    for (std::uint32_t word : words)
        le_put_u32(table, word);
    return table;
}

std::vector<std::uint8_t> record_file_bytes(std::span<const std::uint8_t> table, std::uint32_t seed,
                                            std::uint32_t magic)
{
    std::vector<std::uint8_t> file;
    le_put_u32(file, magic);
    le_put_u32(file, 13);
    le_put_u32(file, 0x123);
    le_put_u32(file, 0x45604560);
    for (char c : std::string_view("written by tools"))
        le_put_u8(file, static_cast<std::uint8_t>(c));
    le_put_u32(file, seed);
    le_put_u32(file, static_cast<std::uint32_t>(crc32(0, table.data(), static_cast<uInt>(table.size()))));
    file.insert(file.end(), table.begin(), table.end());
    archive_scramble(std::span(file).subspan(RECORD_HEADER_SIZE - 4), seed);
    return file;
}
