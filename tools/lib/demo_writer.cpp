#include "lib/demo_writer.h"

#include "lib/archive_writer.h"
#include "lib/demo_game_data.h"
#include "lib/demo_room.h"
#include "lib/demo_scenes.h"
#include "lib/demo_shaders.h"
#include "lib/demo_sprites.h"
#include "lib/ini_writer.h"
#include "lib/vso_writer.h"
#include "lib/wav_writer.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<std::uint8_t> bytes_of(std::string_view text)
{
    return {text.begin(), text.end()};
}

// The game speaks Windows paths: the folder goes in with backslashes.
std::string windows_path(const std::filesystem::path& folder)
{
    std::string text = folder.string();
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

} // namespace

std::vector<ArchiveSource> demo_shader_files(std::span<const std::string> names)
{
    std::vector<ArchiveSource> files;
    for (const std::string& name : names)
        files.push_back({"data\\vs_dx8\\" + name + ".vso", vso_bytes(demo_shader_program(name))});
    return files;
}

std::vector<ArchiveSource> demo_archive_files(std::span<const std::string> vertex_shaders)
{
    const WavFormat mono{1, 22050, 16};
    std::vector<ArchiveSource> main_files = {
        {"data\\demo\\readme.txt", bytes_of("Demo data of the engine.\r\n")},
        {"data\\wave\\effect\\demo.wav", wav_build_pcm(mono, wav_tone(mono, 11025, 440.0))},
    };
    for (ArchiveSource& shader : demo_shader_files(vertex_shaders))
        main_files.push_back(std::move(shader));
    for (ArchiveSource& file : demo_game_files())
        main_files.push_back(std::move(file));
    for (ArchiveSource& file : demo_sprite_files())
        main_files.push_back(std::move(file));
    for (ArchiveSource& file : demo_sound_files())
        main_files.push_back(std::move(file));
    for (ArchiveSource& file : demo_event_files())
        main_files.push_back(std::move(file));
    return main_files;
}

bool demo_write_data(const std::filesystem::path& folder, std::span<const std::string> vertex_shaders)
{
    const std::vector<ArchiveSource> main_files = demo_archive_files(vertex_shaders);
    const ArchiveSource overlay_files[] = {
        {"data\\demo\\overlay.txt", bytes_of("Overlay of the demo data.\r\n")}};
    return archive_write_set(folder / "release", main_files, overlay_files) &&
           scene_set_write_music(folder, demo_scene_set()) && demo_write_title_map(folder) &&
           demo_copy_game_font(folder);
}

std::string demo_common_ini(const std::filesystem::path& data_folder)
{
    IniWriter ini;
    ini.String("BaseDir", windows_path(data_folder));
    ini.Int("UserProfileHere", 0);
    return ini.Text("\r\n");
}

std::string demo_game_ini()
{
    IniWriter ini;
    ini.Hex("IniVersion", 0x103);
    ini.Section("renderer");
    ini.Int("Windowed", 1);
    return ini.Text("\r\n");
}
