#include "lib/icon_writer.h"

#include <string>

std::vector<ArchiveSource> item_icon_files(std::string_view icon_name, const DdsPixels& pixels)
{
    const std::vector<std::uint8_t> file = dds_build(DdsFormat::A1R5G5B5, std::span(&pixels, 1));
    const std::string folder = "data\\menu\\icon\\";
    const std::string name(icon_name);
    return {{folder + name + ".dds", file}, {folder + "z_" + name + ".dds", file}};
}
