#include "lib/scene_set_writer.h"

#include "lib/ogg_writer.h"
#include "lib/packed_writer.h"
#include "lib/script_assembler.h"
#include "lib/sound_table_writer.h"
#include "lib/table_writer.h"
#include "lib/wav_writer.h"

namespace {

constexpr std::uint32_t k_piece_frames = 88200;

// The last folder name of a scene path, its trailing backslash skipped.
std::string_view last_folder(std::string_view path)
{
    while (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    const std::size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::vector<std::uint8_t> scene_list(const SceneSet& set)
{
    std::vector<SceneListRecord> records;
    for (const SceneSetScene& scene : set.scenes)
        records.push_back(
            {scene.path, scene.title, scene.reverb, scene.music, scene.info_text, scene.map_x, scene.map_y});
    return scene_list_build(records);
}

// Two seconds of the tone, looping over its second half.
OggSource piece(const SceneSetMusic& music)
{
    const WavFormat stereo{2, 44100, 16};
    OggSource source;
    source.samples = wav_tone(stereo, k_piece_frames, music.tone);
    source.comments = {"LOOPSTART=" + std::to_string(k_piece_frames / 2),
                       "LOOPLENGTH=" + std::to_string(k_piece_frames / 2)};
    return source;
}

} // namespace

std::string scene_set_script_path(std::string_view scene_path)
{
    return "data\\map\\" + std::string(scene_path) + std::string(last_folder(scene_path)) + ".xso";
}

std::vector<ArchiveSource> scene_set_archive_files(const SceneSet& set)
{
    std::vector<ArchiveSource> files = {{SCENE_SET_LIST_PATH, packed_build(scene_list(set))}};
    for (const SceneSetScene& scene : set.scenes) {
        if (!scene.start_script.empty())
            files.push_back({scene_set_script_path(scene.path) + ".z",
                             packed_build(sasm_assemble_or_throw(scene.start_script))});
        for (const SceneSetScript& script : scene.scripts)
            files.push_back({"data\\map\\" + scene.path + script.name + ".xso.z",
                             packed_build(sasm_assemble_or_throw(script.source))});
    }
    return files;
}

std::string scene_set_music_table(const SceneSet& set)
{
    SoundTableWriter table;
    for (const SceneSetMusic& music : set.music)
        table.Music({.id = music.id, .name = music.name});
    return table.Text();
}

bool scene_set_write_music(const std::filesystem::path& folder, const SceneSet& set)
{
    const std::filesystem::path music_folder = folder / "release" / "music";
    for (const SceneSetMusic& music : set.music)
        if (!ogg_write_file(music_folder / (music.name + ".ogg"), piece(music))) return false;
    const std::string table = scene_set_music_table(set);
    return tools_write_file(music_folder / "bgmdef.txt",
                            {reinterpret_cast<const std::uint8_t*>(table.data()), table.size()});
}

bool scene_set_write(const SceneSet& set, std::vector<ArchiveSource>& archive,
                     const std::filesystem::path& folder)
{
    for (ArchiveSource& file : scene_set_archive_files(set))
        archive.push_back(std::move(file));
    return scene_set_write_music(folder, set);
}
