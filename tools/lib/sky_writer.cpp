#include "lib/sky_writer.h"

#include "lib/le_bytes.h"
#include "lib/packed_writer.h"

#include <stdexcept>

std::string sky_file_path(std::string_view object_path)
{
    const std::size_t folder_end = object_path.find_last_of("\\/");
    const std::size_t dot = object_path.find_last_of('.');
    const bool has_extension =
        dot != std::string_view::npos && (folder_end == std::string_view::npos || dot > folder_end);
    return std::string(has_extension ? object_path.substr(0, dot) : object_path) + ".sbx";
}

std::vector<std::uint8_t> sky_bytes(const SkyFile& sky)
{
    std::vector<std::uint8_t> out(sky.unread.begin(), sky.unread.end());
    le_put_f32(out, sky.scale);
    le_put_u32(out, sky.diffuse);
    le_put_u32(out, sky.specular);
    le_put_u32(out, sky.reserved);
    for (const std::string& name : sky.textures) {
        if (name.size() > SKY_NAME_FIELD)
            throw std::invalid_argument("sky texture name longer than its field: " + name);
        out.insert(out.end(), name.begin(), name.end());
        le_put_zeros(out, SKY_NAME_FIELD - name.size());
    }
    return out;
}

ArchiveSource sky_archive_file(std::string_view sky_path, const SkyFile& sky)
{
    return {std::string(sky_path) + ".z", packed_build(sky_bytes(sky))};
}
