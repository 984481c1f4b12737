// mkdemo DATA_FOLDER PROGRAM_FOLDER [USER_INI]
// Writes the demo data folder, points the program's "common.ini" at it, and writes a first
// "kro_win.ini" of the current version when a user ini is named and the user has none yet.
#include "lib/archive_writer.h"
#include "lib/demo_writer.h"
#include "lowlv/d3d/d3d_shader.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: mkdemo DATA_FOLDER PROGRAM_FOLDER [USER_INI]\n");
        return 2;
    }
    const std::filesystem::path data = std::filesystem::absolute(argv[1]);
    const std::filesystem::path program = argv[2];
    const std::filesystem::path user_ini = argc == 4 ? argv[3] : "";
    if (!demo_write_data(data, shader_file_names())) {
        std::fprintf(stderr, "mkdemo: cannot write the demo data into %s\n", data.c_str());
        return 1;
    }
    std::string common = demo_common_ini(data);
    if (!tools_write_file(program / "common.ini",
                          {reinterpret_cast<const std::uint8_t*>(common.data()), common.size()})) {
        std::fprintf(stderr, "mkdemo: cannot write %s\n", (program / "common.ini").c_str());
        return 1;
    }
    if (!user_ini.empty() && !std::filesystem::exists(user_ini)) {
        std::error_code error;
        std::filesystem::create_directories(user_ini.parent_path(), error);
        std::string ini = demo_game_ini();
        if (!tools_write_file(user_ini, {reinterpret_cast<const std::uint8_t*>(ini.data()), ini.size()})) {
            std::fprintf(stderr, "mkdemo: cannot write %s\n", user_ini.c_str());
            return 1;
        }
    }
    return 0;
}
