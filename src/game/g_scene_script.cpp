// The scene's start scripts and music, and the event-script commands that change scenes.
#include "core/errors.h"
#include "core/text.h"
#include "core/vfs.h"
#include "game/g_play_state.h"
#include "game/g_scene.h"
#include "game/g_scn_data.h"
#include "game/g_settings.h"
#include "game/g_sound.h"
#include "lowlv/audio/audio_mgr.h"
#include "object/go_script.h"
#include "object/obj_pools.h"

#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

std::int32_t g_bgm_playing = 0;

namespace {

constexpr const char* k_source = "g_scene";
constexpr unsigned k_line_bgm_play = 764;
constexpr unsigned k_line_next_scene = 795;
constexpr unsigned k_line_start_script = 1321;
constexpr std::int32_t k_bgm_fade_ms = 3500;
constexpr std::size_t k_script_path_size = 260;
constexpr const char* k_map_folder = "data\\map\\";
constexpr const char* k_script_extension = ".xso";
// The name is bounded before the path is built, and scene paths are bounded by their record, so
// every path fits.
static_assert(std::char_traits<char>::length(k_map_folder) + SCENE_PATH_SIZE + SCRIPT_NAME_SIZE +
                  std::char_traits<char>::length(k_script_extension) <=
              k_script_path_size);
constexpr std::uint32_t k_bgm_loop = 0x1;

[[noreturn]] void fail_start_script(const char* format, const char* text)
{
    char detail[ERR_DETAIL_SIZE];
    std::snprintf(detail, sizeof detail, format, text);
    err_raise_code(E_FAIL, detail, k_source, k_line_start_script);
}

// The script's file path without ".z": the name itself, or the current scene's folder with the
// name and, when it has no extension, ".xso".
void start_script_path(const char* name, bool full_path, char (&path)[k_script_path_size])
{
    if (full_path) {
        sys_copy_string(path, name, sizeof path);
        return;
    }
    const char* extension = std::strchr(name, '.') ? "" : k_script_extension;
    const SceneEntry& scene = scn_data_scene(g_play_state.scene_id);
    std::snprintf(path, sizeof path, "%s%s%s%s", k_map_folder, scene.path, name, extension);
}

// ---- Commands -------------------------------------------------------------------------------------
ScriptFlow cmd_set_clip(ScriptCall& call)
{
    scene_set_clip(call.arg_float(0), call.arg_float(1));
    return SCRIPT_NEXT;
}

ScriptFlow cmd_scene_next(ScriptCall& call)
{
    const char* path = call.text(0);
    scene_set_next_by_path(path ? path : "");
    return SCRIPT_END;
}

// The name, then the start arguments; too many of them is the loader's error.
ScriptFlow cmd_script_start(ScriptCall& call)
{
    const char* name = call.text(0);
    std::vector<std::int32_t> args;
    for (std::size_t i = 1; i < call.args.size(); ++i)
        args.push_back(call.arg(i));
    StartScript(name ? name : "", false, static_cast<int>(args.size()), args.data(), false);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_scene_change(ScriptCall& call)
{
    const char* path = call.text(0);
    if (const SceneEntry* scene = path ? scn_data_find_scene(path) : nullptr)
        scene_request_change(scene->number, false);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_bgm_play(ScriptCall& call)
{
    Bgm_Play(call.arg(0), k_bgm_loop);
    return SCRIPT_NEXT;
}

ScriptFlow cmd_bgm_stop(ScriptCall& call)
{
    bgm_stop(call.arg(0));
    return SCRIPT_NEXT;
}

constexpr ScriptCommandRow k_commands[] = {
    {47, &cmd_set_clip},     {49, &cmd_scene_next}, {55, &cmd_script_start},
    {56, &cmd_scene_change}, {60, &cmd_bgm_play},   {61, &cmd_bgm_stop},
};

} // namespace

GoScript* StartScript(const char* name, bool optional, int argc, const std::int32_t* args, bool full_path)
{
    if (!name || script_find_running(name)) return nullptr;
    if (std::strlen(name) >= SCRIPT_NAME_SIZE) fail_start_script("StartScript name too long: %s", name);
    char path[k_script_path_size];
    start_script_path(name, full_path, path);
    char packed[k_script_path_size + 2];
    std::snprintf(packed, sizeof packed, "%s.z", path);
    if (!vfs_find(packed)) {
        if (optional) return nullptr;
        fail_start_script("StartScript target doesn't exist: %s", path);
    }
    GoScript* script = obj_create<GoScript>(g_pool_script);
    if (!script) return nullptr;
    const std::span<const std::int32_t> start_args =
        argc > 0 && args ? std::span(args, static_cast<std::size_t>(argc)) : std::span<const std::int32_t>();
    script->Load(path, name, start_args);
    script->Run();
    return script;
}

void scene_set_next_by_path(const char* path)
{
    const SceneEntry* scene = scn_data_find_scene(path);
    if (!scene) err_raise_code(ERR_OBJECT_NOT_FOUND, path, k_source, k_line_next_scene);
    g_scene_override = scene->number;
}

void Bgm_Play(std::int32_t id, std::uint32_t flags)
{
    if (id == -1) id = g_play_state.music_id;
    g_bgm_playing = 0;
    if (g_play_bgm) audio_music_fade_out(k_bgm_fade_ms);
    if (id == 0) return;
    const BgmEntry* entry = bgm_find(id);
    if (!entry) err_raise_code(E_FAIL, "Bgm_Play", k_source, k_line_bgm_play);
    if (g_play_bgm) audio_music_play(entry->name, flags);
    g_bgm_playing = id;
}

void bgm_stop(std::int32_t fade_ms)
{
    g_bgm_playing = 0;
    if (g_play_bgm) audio_music_fade_out(fade_ms);
}

const BgmEntry* bgm_find(std::int32_t id)
{
    for (const BgmEntry& entry : std::span(g_bgm_table, static_cast<std::size_t>(g_bgm_count)))
        if (entry.id == static_cast<std::uint32_t>(id)) return &entry;
    return nullptr;
}

std::span<const ScriptCommandRow> scene_script_commands()
{
    return k_commands;
}
