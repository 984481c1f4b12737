// Item icons as the menus and the HUD load them: one picture stored under its plain name and
// under the "z_" name that a 32-bit back buffer asks for, in "data\menu\icon\".
#pragma once

#include "lib/archive_writer.h"
#include "lib/dds_writer.h"

#include <string_view>
#include <vector>

// The two archive files of the icon, A1R5G5B5 as the game loads icons.
std::vector<ArchiveSource> item_icon_files(std::string_view icon_name, const DdsPixels& pixels);
