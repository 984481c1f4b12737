// The music table ("release\music\bgmdef.txt", a loose file) and the sound-effect table
// ("data\wave\effect\effectdef.txt", a plain archive entry), read at game start, and playing
// effects by id. The effect id is also the index of the effect's sound group in the audio
// manager. An effect loads on its first play (or at start when marked for preloading); one that
// failed to load, or whose id has no group, stays silent for the rest of the run.
//
// Both tables are text cut into columns at blanks, tabs, CR, ':', '/', '.', ',' and '-'. A line
// feed is no delimiter: only a token that begins with one starts a new line, so a line must end
// with CR LF (or another delimiter before the LF). A token beginning with ';' comments out the
// rest of its line. Lines beyond the tables' limits (a 41st music entry, effect ids above 511,
// names longer than 15 or 58 characters) are skipped whole.
#pragma once

#include "lowlv/audio/audio_sound.h"

#include <cstddef>
#include <cstdint>

inline constexpr const char* SOUND_BGM_TABLE_PATH = "release\\music\\bgmdef.txt";
inline constexpr const char* SOUND_EFFECT_TABLE_PATH = "data\\wave\\effect\\effectdef.txt";

constexpr int SOUND_BGM_CAPACITY = 40;
constexpr std::size_t SOUND_BGM_NAME_SIZE = 16; // 15 characters and the terminator
constexpr int SOUND_EFFECT_CAPACITY = 512;
// The longest WAV name whose archive path "data\wave\effect\<name>.wav" fits the record.
constexpr std::size_t SOUND_WAV_NAME_MAX = 58;

// Music lines: column 0 the id, column 1 the name; further columns are ignored.
struct BgmEntry {
    char name[SOUND_BGM_NAME_SIZE]; // the Ogg file's name without ".ogg"
    std::uint32_t id;
};
static_assert(sizeof(BgmEntry) == 20);

// In file order; a lookup takes the first entry with the id.
extern BgmEntry g_bgm_table[SOUND_BGM_CAPACITY];
extern std::int32_t g_bgm_count;
// Indexed by effect id; g_sound_count is the highest id + 1, and ids no line names stay zero.
// Effect lines: id, WAV name, 3-D, loop, single voice, voices, preload, keep over scene changes,
// minimum play time (ms), minimum and maximum distance, software buffer, try a hardware buffer.
// A later line with the same id writes over the earlier one column by column. Until the effect
// loads, wav_path holds the bare name.
extern SoundGroupDef g_sound_table[SOUND_EFFECT_CAPACITY];
extern std::int32_t g_sound_count;

// Read the tables, each replacing what it held; a missing file throws RuntimeError naming it.
void sound_load_bgm_table();
void sound_load_effect_table();
// Empties both tables (game shutdown).
void sound_free_tables();
// Loads one effect into its group; S_OK when it is loaded already. E_FAIL for an id outside the
// table, an effect that failed before or one without a group; a failed load marks it failed.
HRESULT sound_load_effect(std::int32_t id);
// At game start after the tables: without DirectSound the effects switch goes off; else, with
// effects on, no record asks for effects processing and the marked effects load.
void sound_preload();
// Loads the effect ahead of its use when effects are on.
void sound_reload_effect(std::int32_t id);
// Volume 0..1024; the record's loop flag goes with the play. Nothing for an id outside the
// table, with effects off and the effect not loaded, or when it cannot load.
void sound_play(std::int32_t id, std::int32_t volume);
// The same as a 3-D play at a world position.
void sound_play_at(std::int32_t id, float x, float y, float z);
// From the first live actor (in creation order) with the key: a 3-D effect at the actor through
// its own sound play, any other at full volume. Nothing without such an actor or when the effect
// cannot load. The angle offset (degrees) does not change the sound.
void sound_play_from_actor(std::int32_t id, std::int32_t actor_key, float angle_offset);
// Fades the effect's voices out, with effects on.
void sound_stop(std::int32_t id, std::int32_t time_ms);

// The float cosine that many modules use.
float math_cosf(float angle);
