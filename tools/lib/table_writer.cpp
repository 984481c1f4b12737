#include "lib/table_writer.h"

#include "lib/le_bytes.h"

#include <algorithm>

namespace {

void put_field(std::vector<std::uint8_t>& out, std::size_t offset, std::size_t size, const std::string& text)
{
    std::copy_n(text.begin(), std::min(size, text.size()), out.begin() + offset);
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

std::vector<std::uint8_t> scene_list_build(std::span<const SceneListRecord> records, std::uint32_t version)
{
    std::vector<std::uint8_t> out;
    le_put_u32(out, version);
    le_put_u32(out, static_cast<std::uint32_t>(records.size()));
    for (std::size_t i = 0; i < records.size(); ++i) {
        std::size_t start = out.size();
        le_put_u32(out, static_cast<std::uint32_t>(i));
        le_put_zeros(out, SCENE_RECORD_SIZE - 4);
        put_field(out, start + SCENE_RECORD_PATH_OFFSET, SCENE_RECORD_PATH_SIZE, records[i].path);
        put_field(out, start + SCENE_RECORD_TITLE_OFFSET, SCENE_RECORD_TITLE_SIZE, records[i].title);
    }
    return out;
}
