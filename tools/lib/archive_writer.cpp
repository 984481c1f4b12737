#include "lib/archive_writer.h"

#include "lib/le_bytes.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <stdexcept>

namespace {

constexpr std::uint32_t k_key_multiplier = 12085;
constexpr std::uint32_t k_max_data_size = 0x40000000;

bool is_sjis_lead(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFB);
}

} // namespace

std::string archive_entry_name(std::string_view path)
{
    std::string name;
    for (std::size_t i = 0; i < path.size(); ++i) {
        auto c = static_cast<unsigned char>(path[i]);
        if (is_sjis_lead(c) && i + 1 < path.size()) {
            name += path.substr(i, 2);
            ++i;
        } else if (c == '/') {
            name += '\\';
        } else {
            name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
    }
    if (name.starts_with("DATA\\")) name.erase(0, 5);
    return name;
}

std::uint32_t archive_name_hash(std::string_view name)
{
    std::uint32_t sum = 0;
    int shift = 0;
    for (char c : name) {
        sum += static_cast<std::uint32_t>(static_cast<std::uint8_t>(c - 32)) << shift;
        shift = shift == 20 ? 0 : shift + 5;
    }
    return sum % 65521;
}

void archive_scramble(std::span<std::uint8_t> bytes, std::uint32_t seed)
{
    std::uint32_t state = seed;
    for (std::uint8_t& b : bytes) {
        state *= k_key_multiplier;
        b = static_cast<std::uint8_t>(b + (state >> 16));
    }
}

ArchivePairImage archive_build(std::span<const ArchiveSource> files)
{
    ArchivePairImage image;
    std::set<std::string> seen;
    for (const ArchiveSource& file : files) {
        std::string name = archive_entry_name(file.path);
        if (!seen.insert(name).second) throw std::invalid_argument("archive name given twice: " + name);
        if (image.data.size() + file.bytes.size() > k_max_data_size)
            throw std::invalid_argument("archive data beyond 1 GiB");
        ArchiveIndexRecord record{archive_name_hash(name), static_cast<std::uint32_t>(file.bytes.size()),
                                  static_cast<std::uint32_t>(image.data.size()),
                                  static_cast<std::uint32_t>(image.index.names.size())};
        image.index.entries.push_back(record);
        image.index.names.insert(image.index.names.end(), name.begin(), name.end());
        image.index.names.push_back(0);
        image.data.insert(image.data.end(), file.bytes.begin(), file.bytes.end());
    }
    std::stable_sort(
        image.index.entries.begin(), image.index.entries.end(),
        [](const ArchiveIndexRecord& a, const ArchiveIndexRecord& b) { return a.hash < b.hash; });
    return image;
}

std::vector<std::uint8_t> archive_index_bytes(const ArchiveIndexImage& index)
{
    std::vector<std::uint8_t> out;
    le_put_u32(out, 0);
    le_put_u32(out, static_cast<std::uint32_t>(index.entries.size()));
    le_put_u32(out, static_cast<std::uint32_t>(index.names.size()));
    le_put_u32(out, index.flags);
    std::vector<std::uint8_t> entries;
    for (const ArchiveIndexRecord& e : index.entries) {
        le_put_u32(entries, e.hash);
        le_put_u32(entries, e.size);
        le_put_u32(entries, e.offset);
        le_put_u32(entries, e.name_offset);
    }
    archive_scramble(entries, ARCHIVE_KEY_SEED);
    std::vector<std::uint8_t> names = index.names;
    archive_scramble(names, ARCHIVE_KEY_SEED);
    out.insert(out.end(), entries.begin(), entries.end());
    out.insert(out.end(), names.begin(), names.end());
    return out;
}

bool archive_write_pair(const std::filesystem::path& folder, std::string_view pair,
                        const ArchivePairImage& image)
{
    std::string base(pair);
    return tools_write_file(folder / (base + ".ni"), archive_index_bytes(image.index)) &&
           tools_write_file(folder / (base + ".na"), image.data);
}

bool archive_write_set(const std::filesystem::path& folder, std::span<const ArchiveSource> main_files,
                       std::span<const ArchiveSource> overlay_files)
{
    return archive_write_pair(folder, "data", archive_build(main_files)) &&
           archive_write_pair(folder, "data_us", archive_build(overlay_files));
}

bool tools_write_file(const std::filesystem::path& path, std::span<const std::uint8_t> bytes)
{
    std::error_code error;
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}
