#include "lib/save_writer.h"

#include "lib/archive_writer.h"
#include "lib/le_bytes.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <string_view>

namespace {

// The header.
constexpr std::size_t k_version_at = 4;
constexpr std::size_t k_size_at = 8;
constexpr std::size_t k_header_crc_at = 12;
constexpr std::size_t k_header_seed_at = 16;
constexpr std::size_t k_free_words_at = 20;
constexpr std::size_t k_signature_at = 32;
constexpr std::size_t k_header_crc_end = 96;
constexpr std::size_t k_body_seed_at = 172;
constexpr std::size_t k_zero_word_at = 180;
constexpr std::size_t k_free_word_at = 184;
constexpr std::string_view k_magic("Ek3\0", 4);
constexpr std::string_view k_signature = "KRO_WIN SAVEDATA";

// The summary, from its start.
constexpr std::size_t k_sum_level = 4;
constexpr std::size_t k_sum_hp = 8;
constexpr std::size_t k_sum_mp = 12;
constexpr std::size_t k_sum_max_hp = 16;
constexpr std::size_t k_sum_max_mp = 20;
constexpr std::size_t k_sum_exp = 24;
constexpr std::size_t k_sum_gold = 28;
constexpr std::size_t k_sum_difficulty = 32;
constexpr std::size_t k_sum_easy = 40;
constexpr std::size_t k_sum_very_easy = 44;
constexpr std::size_t k_sum_inferno = 48;
constexpr std::size_t k_sum_play_ticks = 52;
constexpr std::size_t k_sum_date = 56;
constexpr std::size_t k_sum_time = 67;
constexpr std::size_t k_sum_location = 76;
constexpr std::size_t k_sum_location_size = 48;

// The play state.
constexpr std::size_t k_ps_scene_id = 288;
constexpr std::size_t k_ps_ring_slots = 528;
constexpr std::size_t k_ps_max_hp = 612;
constexpr std::size_t k_ps_hp = 616;
constexpr std::size_t k_ps_max_mp = 620;
constexpr std::size_t k_ps_mp = 624;
constexpr std::size_t k_ps_exp = 640;
constexpr std::size_t k_ps_gold = 660;
constexpr std::size_t k_ps_level = 664;
constexpr std::size_t k_ps_element = 669;
constexpr std::size_t k_ps_flags = 4984;
constexpr std::size_t k_ps_item_list = 7032;
constexpr std::size_t k_ps_magic = 7044;
constexpr int k_flag_easy = 109;
constexpr int k_flag_difficulty = 110;
constexpr int k_flag_play_ticks = 166;
constexpr int k_flag_inferno = 168;
constexpr int k_flag_very_easy = 170;
constexpr std::uint32_t k_empty_slot = 0xFFFFFFFF;
constexpr std::uint32_t k_no_magic = 255;
constexpr std::uint8_t k_no_element = 0xFF;
constexpr float k_player_max_mp = 3000.0f;

std::uint32_t get_u32(std::span<const std::uint8_t> bytes, std::size_t offset)
{
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | bytes[offset + i];
    return value;
}

std::uint32_t flag_at(std::span<const std::uint8_t> image, int flag)
{
    return get_u32(image, k_ps_flags + 4 * flag);
}

std::uint32_t whole_at(std::span<const std::uint8_t> image, std::size_t offset)
{
    return static_cast<std::uint32_t>(
        static_cast<std::int32_t>(std::bit_cast<float>(get_u32(image, offset))));
}

void put_text(std::vector<std::uint8_t>& bytes, std::size_t offset, std::size_t size, std::string_view text)
{
    std::fill_n(bytes.begin() + offset, size, 0);
    std::copy_n(text.begin(), std::min(text.size(), size), bytes.begin() + offset);
}

std::uint32_t crc_of(std::span<const std::uint8_t> bytes)
{
    return static_cast<std::uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

// The keystream's keys of a seed, as scrambling adds them.
std::vector<std::uint8_t> keys_of(std::uint32_t seed, std::size_t count)
{
    std::vector<std::uint8_t> keys(count, 0);
    archive_scramble(keys, seed);
    return keys;
}

void unscramble(std::span<std::uint8_t> bytes, std::uint32_t seed)
{
    const std::vector<std::uint8_t> keys = keys_of(seed, bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(bytes[i] - keys[i]);
}

void put_summary(std::vector<std::uint8_t>& file, std::span<const std::uint8_t> image,
                 const SaveSlotStamp& stamp)
{
    const auto put = [&](std::size_t field, std::uint32_t value) {
        le_patch_u32(file, SAVE_SLOT_SUMMARY_OFFSET + field, value);
    };
    file[SAVE_SLOT_SUMMARY_OFFSET] = 0;
    put(k_sum_level, get_u32(image, k_ps_level));
    put(k_sum_hp, whole_at(image, k_ps_hp));
    put(k_sum_mp, whole_at(image, k_ps_mp));
    put(k_sum_max_hp, whole_at(image, k_ps_max_hp));
    put(k_sum_max_mp, whole_at(image, k_ps_max_mp));
    put(k_sum_exp, whole_at(image, k_ps_exp));
    put(k_sum_gold, get_u32(image, k_ps_gold));
    put(k_sum_difficulty, flag_at(image, k_flag_difficulty) + 1);
    put(k_sum_easy, flag_at(image, k_flag_easy));
    put(k_sum_very_easy, flag_at(image, k_flag_very_easy));
    put(k_sum_inferno, flag_at(image, k_flag_inferno));
    put(k_sum_play_ticks, flag_at(image, k_flag_play_ticks));
    put_text(file, SAVE_SLOT_SUMMARY_OFFSET + k_sum_date, k_sum_time - k_sum_date, stamp.date);
    put_text(file, SAVE_SLOT_SUMMARY_OFFSET + k_sum_time, k_sum_location - k_sum_time, stamp.time);
    put_text(file, SAVE_SLOT_SUMMARY_OFFSET + k_sum_location, k_sum_location_size, stamp.location);
}

} // namespace

std::vector<std::uint8_t> save_slot_bytes(std::span<const std::uint8_t> play_state,
                                          const SaveSlotStamp& stamp, SaveSlotSeeds seeds,
                                          std::uint32_t version)
{
    if (play_state.size() != SAVE_SLOT_SIZE) throw std::invalid_argument("a play state is 7208 bytes");
    std::vector<std::uint8_t> file(play_state.begin(), play_state.end());
    std::copy(k_magic.begin(), k_magic.end(), file.begin());
    le_patch_u32(file, k_version_at, version);
    le_patch_u32(file, k_size_at, SAVE_SLOT_SIZE);
    for (std::uint32_t i = 0; i < 3; ++i)
        le_patch_u32(file, k_free_words_at + 4 * i, 0x13572468 + i);
    std::copy(k_signature.begin(), k_signature.end(), file.begin() + k_signature_at);
    put_summary(file, play_state, stamp);
    le_patch_u32(file, k_free_word_at, 0x2468ACE0);

    const std::span<std::uint8_t> body = std::span(file).subspan(SAVE_SLOT_HEADER_SIZE);
    archive_scramble(body, seeds.body);
    le_patch_u32(file, k_body_seed_at, seeds.body);
    le_patch_u32(file, SAVE_SLOT_BODY_CRC_OFFSET, crc_of(body));
    le_patch_u32(file, k_zero_word_at, 0);

    le_patch_u32(file, k_header_seed_at, seeds.header);
    const std::span<std::uint8_t> header = std::span(file).first(SAVE_SLOT_HEADER_SIZE);
    archive_scramble(header.subspan(SAVE_SLOT_SUMMARY_OFFSET), seeds.header);
    le_patch_u32(
        file, k_header_crc_at,
        crc_of(header.subspan(SAVE_SLOT_SUMMARY_OFFSET, k_header_crc_end - SAVE_SLOT_SUMMARY_OFFSET)));
    return file;
}

bool save_slot_restore(std::span<const std::uint8_t> file, std::vector<std::uint8_t>& play_state)
{
    if (file.size() != SAVE_SLOT_SIZE || !std::equal(k_magic.begin(), k_magic.end(), file.begin()) ||
        get_u32(file, k_version_at) != 1 || get_u32(file, k_size_at) != SAVE_SLOT_SIZE)
        return false;
    std::vector<std::uint8_t> image(file.begin(), file.end());
    const std::span<std::uint8_t> header = std::span(image).first(SAVE_SLOT_HEADER_SIZE);
    if (crc_of(header.subspan(SAVE_SLOT_SUMMARY_OFFSET, k_header_crc_end - SAVE_SLOT_SUMMARY_OFFSET)) !=
        get_u32(image, k_header_crc_at))
        return false;
    unscramble(header.subspan(SAVE_SLOT_SUMMARY_OFFSET), get_u32(image, k_header_seed_at));
    const std::span<std::uint8_t> body = std::span(image).subspan(SAVE_SLOT_HEADER_SIZE);
    if (crc_of(body) != get_u32(image, SAVE_SLOT_BODY_CRC_OFFSET)) return false;
    unscramble(body, get_u32(image, k_body_seed_at));
    play_state = std::move(image);
    return true;
}

std::vector<std::uint8_t> save_play_state_image(const SaveSlotDescription& description)
{
    std::vector<std::uint8_t> image(SAVE_SLOT_SIZE, 0);
    const auto put = [&](std::size_t offset, std::uint32_t value) { le_patch_u32(image, offset, value); };
    const auto put_float = [&](std::size_t offset, float value) {
        put(offset, std::bit_cast<std::uint32_t>(value));
    };
    const auto put_flag = [&](int flag, std::uint32_t value) { put(k_ps_flags + 4 * flag, value); };
    put(k_ps_scene_id, static_cast<std::uint32_t>(description.scene_id));
    put_float(k_ps_max_hp, description.max_hp);
    put_float(k_ps_hp, description.hp);
    put_float(k_ps_max_mp, k_player_max_mp);
    put_float(k_ps_mp, k_player_max_mp);
    put(k_ps_gold, static_cast<std::uint32_t>(description.gold));
    put(k_ps_level, static_cast<std::uint32_t>(description.level));
    image[k_ps_element] = k_no_element;
    put_flag(k_flag_difficulty, static_cast<std::uint32_t>(description.difficulty));
    put_flag(k_flag_easy, description.easy);
    put_flag(k_flag_very_easy, description.very_easy);
    put_flag(k_flag_inferno, description.inferno);
    put_flag(k_flag_play_ticks, static_cast<std::uint32_t>(description.play_ticks));
    for (std::size_t i = 0; i < 3; ++i) {
        put(k_ps_ring_slots + 4 * i, k_empty_slot);
        put(k_ps_item_list + 4 * i, k_empty_slot);
    }
    put(k_ps_magic, k_no_magic);
    return image;
}
