#include "game/g_ta.h"

#include "core/bytes.h"
#include "core/crc32.h"
#include "core/file.h"
#include "core/ini.h"
#include "core/maths.h"
#include "core/scramble.h"
#include "core/userdir.h"

#include <algorithm>
#include <array>
#include <span>
#include <string>
#include <vector>

TimeAttackTable g_ta_records = {};
StoryTimeTable g_ta_story_times = {};

namespace {

constexpr char k_records_name[] = "record.ta";
constexpr char k_story_name[] = "record.ta2";

constexpr std::uint32_t k_magic = 0x006F724B; // "Kro" and a zero byte
constexpr std::uint32_t k_version = 13;
constexpr std::size_t k_signature_offset = 16;
constexpr std::size_t k_seed_offset = 32;
constexpr std::size_t k_crc_offset = 36; // scrambling starts here
constexpr std::size_t k_header_size = 40;

// The signature is kept scrambled (seed, then the bytes) so its text is not in the program.
constexpr std::array<std::uint8_t, 20> k_signature_block = {0x17, 0x9E, 0x5C, 0x3A, 0x7D, 0x9F, 0xDB,
                                                            0x50, 0xA5, 0xF3, 0x92, 0xA0, 0x10, 0xCD,
                                                            0x5B, 0xD7, 0x18, 0xDD, 0xE0, 0x5D};

template <typename T> std::span<std::uint8_t> table_bytes(T& table)
{
    return {reinterpret_cast<std::uint8_t*>(&table), sizeof table};
}

// A remote copy of another size is of no use to anyone: it goes, and the defaults are used.
bool load_remote(const char* name, std::span<std::uint8_t> image)
{
    const auto size = static_cast<std::int32_t>(image.size());
    if (g_remote_storage->GetFileSize(name) != size) {
        g_remote_storage->FileDelete(name);
        return false;
    }
    return g_remote_storage->FileRead(name, image.data(), size) == size;
}

bool load_local(const char* name, std::span<std::uint8_t> image)
{
    File file;
    if (FAILED(file.OpenRead(sys_user_file_path(name).c_str(), 0))) return false;
    const auto size = static_cast<DWORD>(image.size());
    DWORD done = 0;
    return SUCCEEDED(file.Read(image.data(), size, &done)) && done == size;
}

// The table is changed only when the whole file was read and its CRC holds.
bool load_table(const char* name, std::span<std::uint8_t> table)
{
    std::vector<std::uint8_t> image(k_header_size + table.size());
    const bool read = ini_remote_available() && g_remote_storage->FileExists(name) ? load_remote(name, image)
                                                                                   : load_local(name, image);
    std::uint32_t seed = 0, crc = 0;
    if (!read || !bytes_get_u32(image, k_seed_offset, seed)) return false;
    if (seed != 0) save_unscramble(std::span(image).subspan(k_crc_offset), seed);
    const auto stored = std::span(image).subspan(k_header_size);
    if (!bytes_get_u32(image, k_crc_offset, crc) || sys_crc32(stored.size(), stored.data()) != crc)
        return false;
    std::copy(stored.begin(), stored.end(), table.begin());
    return true;
}

void put_signature(std::span<std::uint8_t> image)
{
    std::array<std::uint8_t, 20> signature;
    save_unscramble_block16(k_signature_block, signature);
    std::copy_n(signature.begin(), 16, image.begin() + k_signature_offset);
}

// Whole-file writes keep the old file when a write fails; nothing is reported either way.
void store_image(const char* name, std::span<const std::uint8_t> image)
{
    if (ini_remote_available()) {
        g_remote_storage->FileWrite(name, image.data(), static_cast<std::int32_t>(image.size()));
        return;
    }
    File file;
    if (FAILED(file.OpenWrite(sys_user_file_path(name).c_str(), 0))) return;
    file.Write(image.data(), static_cast<DWORD>(image.size()), nullptr);
    file.Close();
}

void store_table(const char* name, std::span<const std::uint8_t> table)
{
    std::vector<std::uint8_t> image(k_header_size + table.size());
    put_signature(image);
    std::copy(table.begin(), table.end(), image.begin() + k_header_size);
    bytes_put_u32(image, k_crc_offset, sys_crc32(table.size(), table.data()));
    const std::uint32_t seed = save_make_seed();
    bytes_put_u32(image, k_seed_offset, seed);
    save_scramble(std::span(image).subspan(k_crc_offset), seed);
    bytes_put_u32(image, 0, k_magic);
    bytes_put_u32(image, 4, k_version);
    bytes_put_u32(image, 8, (math_rand_u32() >> 17) & 0xFFF);
    bytes_put_u32(image, 12, math_rand_u32() & 0xFFF0FFF0);
    store_image(name, image);
}

void set_record_defaults(TimeAttackTable& table)
{
    for (TimeAttackEntry& entry : table.entries) {
        entry.best_ms = 0;
        entry.reserved_word = -1;
        entry.reserved_byte = 0xFF;
    }
}

} // namespace

void ta_read_records()
{
    if (!load_table(k_records_name, table_bytes(g_ta_records))) set_record_defaults(g_ta_records);
    for (TimeAttackEntry& entry : g_ta_records.entries)
        entry.new_record = 0;
}

void ta_read_records2()
{
    if (load_table(k_story_name, table_bytes(g_ta_story_times))) return;
    for (StoryTimeEntry& entry : g_ta_story_times.entries)
        entry.best_ms = 0;
}

void ta_write_records()
{
    store_table(k_records_name, table_bytes(g_ta_records));
}

void ta_write_records2()
{
    store_table(k_story_name, table_bytes(g_ta_story_times));
}

std::uint32_t ta_stage_time_ms(std::uint64_t frames)
{
    return static_cast<std::uint32_t>(frames * 1000 / 60);
}

bool ta_keep_time(std::uint32_t& best_ms, std::uint32_t time_ms)
{
    if (best_ms != 0 && time_ms >= best_ms) return false;
    best_ms = time_ms;
    return true;
}
