// A whole scene set in one description: the scene list, each map scene's start script in its
// folder and the music the scenes play. Nothing new is written here: the scene list is
// `scene_list_build`'s, the scripts are the assembler's ".xso" files packed as the game reads
// ".z" files, the music table is `SoundTableWriter`'s and the pieces are Ogg files.
//
// A test describes its scenes and writes them beside its other archive files:
//   SceneSet set;
//   set.scenes = {{.path = "title\\", .music = 2},
//                 {.path = "s_11\\s_1112\\", .music = 1, .start_script = "action 0\nSCRIPT_OP_YIELD\n"}};
//   set.music = {{1, "field"}, {2, "title"}};
//   scene_set_write(set, archive_files, working_folder); // then archive_write_set(...)
#pragma once

#include "lib/archive_writer.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

inline constexpr const char* SCENE_SET_LIST_PATH = "data\\map\\scenelist.sl.z";

// A script the scene's scripts start by name (FUNCID_SCRIPT_START "name").
struct SceneSetScript {
    std::string name{};   // without the ".xso" the game adds
    std::string source{}; // assembler source
};

struct SceneSetScene {
    std::string path{};                    // the folder under "data\map\": "s_11\s_1112\", "title\"
    std::uint8_t music = 0;                // the music id the scene plays; 0 silence
    std::uint8_t reverb = 0;               // the reverb preset
    std::string start_script{};            // assembler source; empty: the scene has no start script
    std::string title{};                   // the scene list's title text
    std::string info_text{};               // the scene list's second text
    std::uint16_t map_x = 0, map_y = 0;    // the region map's marker
    std::vector<SceneSetScript> scripts{}; // the scene folder's other scripts
};

struct SceneSetMusic {
    std::uint32_t id = 0;
    std::string name{};  // the Ogg file's name without ".ogg"
    double tone = 220.0; // the pitch in Hz of the piece's looping tone
};

// Scene i gets the scene id i: the list is written in this order.
struct SceneSet {
    std::vector<SceneSetScene> scenes;
    std::vector<SceneSetMusic> music;
};

// Where the game looks for a scene's start script: "data\map\<path><last folder>.xso"
// ("s_11\s_1112\" gives "data\map\s_11\s_1112\s_1112.xso"); stored with ".z" appended.
std::string scene_set_script_path(std::string_view scene_path);

// The archive's share: the packed scene list, the packed start scripts and the scenes' other
// scripts. Throws
// std::logic_error with the assembler's message when a start script does not assemble.
std::vector<ArchiveSource> scene_set_archive_files(const SceneSet& set);
// The music table's text: one "<id> <name>" line for each piece.
std::string scene_set_music_table(const SceneSet& set);
// "release\music\bgmdef.txt" and "release\music\<name>.ogg" under the folder (the game reads them
// from its working folder); false when a file cannot be written.
bool scene_set_write_music(const std::filesystem::path& folder, const SceneSet& set);

// The whole set: its archive files appended to `archive`, which the caller writes with its other
// files, and its music written under the folder as above.
bool scene_set_write(const SceneSet& set, std::vector<ArchiveSource>& archive,
                     const std::filesystem::path& folder);
