#include "lib/table_writer.h"

#include "lib/le_bytes.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {

void put_field(std::vector<std::uint8_t>& out, std::size_t offset, std::size_t size, const std::string& text)
{
    std::copy_n(text.begin(), std::min(size, text.size()), out.begin() + offset);
}

// Writes little-endian 32-bit values one after another from `offset`.
template <typename Value>
void put_values(std::vector<std::uint8_t>& out, std::size_t offset, std::span<const Value> values)
{
    static_assert(sizeof(Value) == 4);
    for (Value value : values) {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        for (int i = 0; i < 4; ++i)
            out[offset++] = static_cast<std::uint8_t>(bits >> (8 * i));
    }
}

void put_floats(std::vector<std::uint8_t>& out, std::size_t offset, std::initializer_list<float> values)
{
    put_values<float>(out, offset, values);
}

void put_ints(std::vector<std::uint8_t>& out, std::size_t offset, std::initializer_list<std::int32_t> values)
{
    put_values<std::int32_t>(out, offset, values);
}

void put_curves(std::vector<std::uint8_t>& out, std::size_t offset,
                std::initializer_list<LevelCurveValues> curves)
{
    for (const LevelCurveValues& curve : curves) {
        put_floats(out, offset, {curve.first, curve.last});
        offset += 8;
    }
}

std::vector<std::uint8_t> cast_bytes(const CastRecord& r)
{
    std::vector<std::uint8_t> out(512, 0);
    put_field(out, 0, 16, r.name);
    put_field(out, 16, 32, r.display_name);
    put_floats(out, 48,
               {r.hit_radius, r.body_radius, r.foot_height, r.shadow_size, r.view_radius, r.hover_height,
                r.walk_speed, r.second_speed, r.jump_speed, r.hit_height, r.hit_half_height});
    put_ints(out, 92,
             {r.hit_cylinder, r.cast_number, r.behaviour_kind, r.script_set, r.spawn_type, r.live_count,
              r.hit_points});
    return out;
}

std::vector<std::uint8_t> enemy_bytes(const EnemyRecord& r)
{
    std::vector<std::uint8_t> out(264, 0);
    put_floats(out, 32, {r.fourth_per_level, r.fourth_base});
    put_values<float>(out, 60, r.resistances);
    out[79] = r.status_byte;
    put_values<std::int32_t>(out, 80, r.drop_items);
    put_values<float>(out, 112, r.drop_chances);
    put_values<float>(out, 144, r.move_params);
    put_values<float>(out, 176, r.hover_params);
    put_floats(out, 200, {r.hp_scale, r.attack_scale, r.defence_scale});
    put_floats(out, 216, {r.gold_scale, r.exp_scale});
    put_values<std::uint32_t>(out, 224, std::span<const std::uint32_t>(&r.blood_colour, 1));
    put_ints(out, 232, {r.default_level});
    return out;
}

std::vector<std::uint8_t> item_bytes(const ItemRecord& r)
{
    std::vector<std::uint8_t> out(184, 0);
    put_field(out, 0, 32, r.name);
    put_ints(out, 32, {r.price, r.value, r.power});
    put_field(out, 52, 24, r.icon_name);
    put_field(out, 76, 108, r.description);
    return out;
}

std::vector<std::uint8_t> game_bytes(const GameRecord& r)
{
    std::vector<std::uint8_t> out(336, 0);
    out[0] = static_cast<std::uint8_t>(r.start_level);
    put_floats(out, 12, {r.fourth_factor});
    put_floats(out, 20, {r.fourth_addend, r.exp_divisor_base, r.exp_bonus_base});
    put_curves(out, 32, {r.enemy_hp, r.enemy_attack, r.enemy_defence});
    put_curves(out, 64, {r.enemy_exp});
    put_curves(out, 80, {r.player_hp, r.player_attack, r.player_defence});
    put_curves(out, 112, {r.player_exp_step});
    return out;
}

std::vector<std::uint8_t> eex_bytes(const EexRecord& r)
{
    std::vector<std::uint8_t> out(64, 0);
    put_floats(out, 0, {r.max_hp, r.attack, r.defence, r.fourth, r.gold, r.exp_scale});
    put_ints(out, 24, {r.level});
    return out;
}

template <typename Record>
std::vector<std::uint8_t> build_from(std::uint32_t record_size, std::span<const Record> records,
                                     std::vector<std::uint8_t> (*bytes)(const Record&))
{
    std::vector<std::vector<std::uint8_t>> images;
    for (const Record& record : records)
        images.push_back(bytes(record));
    return table_build(record_size, images);
}

} // namespace

std::vector<std::uint8_t> table_build(std::uint32_t record_size,
                                      std::span<const std::vector<std::uint8_t>> records)
{
    std::vector<std::uint8_t> out;
    le_put_u32(out, 0x12345678);
    le_put_u32(out, 0x9ABCDEF0);
    le_put_u32(out, record_size);
    le_put_u32(out, static_cast<std::uint32_t>(records.size()));
    for (const std::vector<std::uint8_t>& record : records) {
        std::size_t start = out.size();
        out.resize(start + record_size, 0);
        std::copy_n(record.begin(), std::min<std::size_t>(record_size, record.size()), out.begin() + start);
    }
    return out;
}

std::vector<std::uint8_t> cast_table_build(std::span<const CastRecord> records)
{
    return build_from(512, records, cast_bytes);
}

std::vector<std::uint8_t> enemy_table_build(std::span<const EnemyRecord> records)
{
    return build_from(264, records, enemy_bytes);
}

std::vector<std::uint8_t> item_table_build(std::span<const ItemRecord> records)
{
    return build_from(184, records, item_bytes);
}

std::vector<std::uint8_t> game_table_build(const GameRecord& record)
{
    return build_from(336, std::span<const GameRecord>(&record, 1), game_bytes);
}

std::vector<std::uint8_t> eex_table_build(std::span<const EexRecord> records)
{
    return build_from(64, records, eex_bytes);
}

std::vector<std::uint8_t> scene_list_build(std::span<const SceneListRecord> records, std::uint32_t version)
{
    std::vector<std::uint8_t> out;
    le_put_u32(out, version);
    le_put_u32(out, static_cast<std::uint32_t>(records.size()));
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::size_t start = out.size();
        const SceneListRecord& record = records[i];
        le_put_u16(out, static_cast<std::uint16_t>(i));
        le_put_u8(out, record.reverb);
        le_put_u8(out, record.music);
        le_put_zeros(out, SCENE_RECORD_SIZE - 4);
        put_field(out, start + SCENE_RECORD_PATH_OFFSET, SCENE_RECORD_PATH_SIZE, record.path);
        put_field(out, start + SCENE_RECORD_TITLE_OFFSET, SCENE_RECORD_TITLE_SIZE, record.title);
        put_field(out, start + 132, 94, record.info_text);
        le_patch_u32(out, start + 226, record.map_x | std::uint32_t(record.map_y) << 16);
    }
    return out;
}
