#include "game/g_sound.h"

#include "core/errors.h"
#include "core/file.h"
#include "core/vfs.h"
#include "game/g_scene.h"
#include "game/g_settings.h"
#include "lowlv/audio/audio_dsound.h"
#include "lowlv/audio/audio_mgr.h"
#include "object/actor/go_actor.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

BgmEntry g_bgm_table[SOUND_BGM_CAPACITY];
std::int32_t g_bgm_count = 0;
SoundGroupDef g_sound_table[SOUND_EFFECT_CAPACITY];
std::int32_t g_sound_count = 0;

namespace {

constexpr std::string_view k_delimiters = " \t\r:/.,-";
constexpr std::size_t k_effect_columns = 13;

using SoundTableLine = std::vector<std::string_view>;

// The text up to its first NUL, cut into lines of columns. A line feed is no delimiter: a token
// that begins with one ends the line, as does a token beginning with ';' (a comment to the line
// feed), while a token that merely holds a line feed stays one column.
std::vector<SoundTableLine> sound_table_lines(const std::vector<std::uint8_t>& bytes)
{
    std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    text = text.substr(0, text.find('\0'));
    std::vector<SoundTableLine> lines(1);
    std::size_t position = 0;
    while ((position = text.find_first_not_of(k_delimiters, position)) != std::string_view::npos) {
        if (text[position] == '\n' || text[position] == ';') {
            std::size_t line_end = text.find('\n', position);
            if (line_end == std::string_view::npos) break;
            lines.emplace_back();
            position = line_end + 1;
            continue;
        }
        std::size_t end = std::min(text.find_first_of(k_delimiters, position), text.size());
        lines.back().push_back(text.substr(position, end - position));
        position = end;
    }
    return lines;
}

// Leading blanks and a sign accepted, stops at the first non-digit; no digits give 0.
std::int32_t sound_column_int(std::string_view column)
{
    long long value = std::strtoll(std::string(column).c_str(), nullptr, 10);
    return static_cast<std::int32_t>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

// Stops at the first character that cannot continue the number; none gives 0.
float sound_column_float(std::string_view column)
{
    return static_cast<float>(std::strtod(std::string(column).c_str(), nullptr));
}

void sound_copy_name(char* out, std::size_t size, std::string_view name)
{
    std::memset(out, 0, size);
    std::memcpy(out, name.data(), name.size());
}

// Flag columns are true when their integer is not 0.
void sound_set_flag(std::uint32_t& flags, std::uint32_t flag, std::string_view text)
{
    flags = sound_column_int(text) != 0 ? flags | flag : flags & ~flag;
}

void sound_set_effect_column(SoundGroupDef& def, std::size_t column, std::string_view text)
{
    switch (column) {
    case 1:
        sound_copy_name(def.wav_path, sizeof def.wav_path, text);
        break;
    case 2:
        def.buffer_flags = sound_column_int(text) != 0 ? SOUND_BUFFER_3D : SOUND_BUFFER_PLAIN;
        break;
    case 3:
        sound_set_flag(def.flags, SOUND_GROUP_LOOP, text);
        break;
    case 4:
        sound_set_flag(def.flags, SOUND_GROUP_SINGLE, text);
        break;
    case 5:
        def.voice_count = static_cast<std::uint32_t>(sound_column_int(text));
        break;
    case 6:
        sound_set_flag(def.flags, SOUND_GROUP_PRELOAD, text);
        break;
    case 7:
        sound_set_flag(def.flags, SOUND_GROUP_KEEP, text);
        break;
    case 8:
        def.min_play_ms = static_cast<std::uint32_t>(sound_column_int(text));
        break;
    case 9:
        def.min_distance = sound_column_float(text);
        break;
    case 10:
        def.max_distance = sound_column_float(text);
        break;
    case 11:
        sound_set_flag(def.flags, SOUND_GROUP_SOFTWARE, text);
        break;
    case 12:
        sound_set_flag(def.flags, SOUND_GROUP_TRY_HARDWARE, text);
        break;
    default:
        break;
    }
}

void sound_add_bgm_line(const SoundTableLine& columns)
{
    if (columns.size() < 2 || g_bgm_count == SOUND_BGM_CAPACITY) return;
    if (columns[1].size() >= SOUND_BGM_NAME_SIZE) return;
    BgmEntry& entry = g_bgm_table[g_bgm_count++];
    entry.id = static_cast<std::uint32_t>(sound_column_int(columns[0]));
    sound_copy_name(entry.name, sizeof entry.name, columns[1]);
}

void sound_add_effect_line(const SoundTableLine& columns)
{
    if (columns.empty()) return;
    std::int32_t id = sound_column_int(columns[0]);
    if (id < 0 || id >= SOUND_EFFECT_CAPACITY) return;
    if (columns.size() > 1 && columns[1].size() > SOUND_WAV_NAME_MAX) return;
    SoundGroupDef& def = g_sound_table[id];
    def.index = static_cast<std::uint32_t>(id);
    g_sound_count = std::max(g_sound_count, id + 1);
    for (std::size_t column = 1; column < std::min(columns.size(), k_effect_columns); ++column)
        sound_set_effect_column(def, column, columns[column]);
}

void sound_clear_bgm_table()
{
    std::fill(std::begin(g_bgm_table), std::end(g_bgm_table), BgmEntry{});
    g_bgm_count = 0;
}

void sound_clear_effect_table()
{
    std::fill(std::begin(g_sound_table), std::end(g_sound_table), SoundGroupDef{});
    g_sound_count = 0;
}

// True when the effect is loaded, or effects are on and it loads now.
bool sound_ready(std::int32_t id)
{
    if (id < 0 || id >= g_sound_count) return false;
    if (g_sound_table[id].flags & SOUND_GROUP_LOADED) return true;
    return g_play_effect && SUCCEEDED(sound_load_effect(id));
}

bool sound_loops(std::int32_t id)
{
    return (g_sound_table[id].flags & SOUND_GROUP_LOOP) != 0;
}

} // namespace

void sound_load_bgm_table()
{
    std::vector<std::uint8_t> bytes;
    HRESULT result = file_read_whole(SOUND_BGM_TABLE_PATH, bytes);
    if (FAILED(result)) err_raise_code(result, SOUND_BGM_TABLE_PATH, ERR_HERE);
    sound_clear_bgm_table();
    for (const SoundTableLine& columns : sound_table_lines(bytes))
        sound_add_bgm_line(columns);
}

void sound_load_effect_table()
{
    std::vector<std::uint8_t> bytes;
    HRESULT result = vfs_read_entry(SOUND_EFFECT_TABLE_PATH, bytes);
    if (FAILED(result)) err_raise_code(result, SOUND_EFFECT_TABLE_PATH, ERR_HERE);
    sound_clear_effect_table();
    for (const SoundTableLine& columns : sound_table_lines(bytes))
        sound_add_effect_line(columns);
}

void sound_free_tables()
{
    sound_clear_bgm_table();
    sound_clear_effect_table();
}

HRESULT sound_load_effect(std::int32_t id)
{
    if (id < 0 || id >= g_sound_count) return E_FAIL;
    SoundGroupDef& def = g_sound_table[id];
    if (def.flags & SOUND_GROUP_FAILED) return E_FAIL;
    // The name becomes the path only once.
    if (def.flags & SOUND_GROUP_LOADED) return S_OK;
    char name[sizeof def.wav_path];
    std::memcpy(name, def.wav_path, sizeof name);
    std::snprintf(def.wav_path, sizeof def.wav_path, "data\\wave\\effect\\%.*s.wav",
                  static_cast<int>(SOUND_WAV_NAME_MAX), name);
    if (g_reverb) def.flags |= SOUND_GROUP_EAX;
    // Ids at or above the manager's group count have no group and never play.
    SoundGroup* group = audio_group(static_cast<std::uint32_t>(id));
    if (!group) {
        def.flags |= SOUND_GROUP_FAILED;
        return E_FAIL;
    }
    HRESULT result = audio_group_load(*group, g_ds, def);
    if (FAILED(result)) {
        def.flags |= SOUND_GROUP_FAILED;
        return result;
    }
    def.flags |= SOUND_GROUP_LOADED;
    return S_OK;
}

void sound_preload()
{
    if (!g_ds) {
        g_play_effect = 0;
        return;
    }
    if (!g_play_effect) return;
    for (std::int32_t id = 0; id < g_sound_count; ++id) {
        g_sound_table[id].buffer_flags &= ~DSBCAPS_CTRLFX;
        if (g_sound_table[id].flags & SOUND_GROUP_PRELOAD) sound_load_effect(id);
    }
}

void sound_reload_effect(std::int32_t id)
{
    sound_ready(id);
}

void sound_play(std::int32_t id, std::int32_t volume)
{
    if (!sound_ready(id)) return;
    audio_play_effect(static_cast<std::uint32_t>(id), sound_loops(id), volume);
}

void sound_play_at(std::int32_t id, float x, float y, float z)
{
    if (!sound_ready(id)) return;
    audio_play_effect_at(D3DVECTOR{x, y, z}, static_cast<std::uint32_t>(id), sound_loops(id));
}

void sound_play_from_actor(std::int32_t id, std::int32_t actor_key, float /*angle_offset*/)
{
    if (!sound_ready(id)) return;
    GoActor* actor = scene_find_actor(actor_key);
    if (!actor) return;
    if (g_sound_table[id].buffer_flags & DSBCAPS_CTRL3D)
        actor_play_sound(*actor, id);
    else
        sound_play(id, AUDIO_VOLUME_MAX);
}

void sound_stop(std::int32_t id, std::int32_t time_ms)
{
    if (g_play_effect) audio_fade_group(static_cast<std::uint32_t>(id), time_ms);
}

float math_cosf(float angle)
{
    return std::cos(angle);
}
