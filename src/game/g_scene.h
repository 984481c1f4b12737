// Scene change and scene entry.
#pragma once

#include "platform/d3dx8.h"
#include "platform/win_types.h"

#include <cstdint>
#include <span>

class GoActor;
class GoScript;
struct BgmEntry;
struct CastInfo;
struct ScriptCommandRow;

extern std::uint8_t g_time_attack_mode; // 1 while the title's Time Attack choice is in force
extern std::uint8_t g_no_fall;          // Easy mode's No-Fall: 0 off, 1 on, 2 a fall was caught
// Set by a scene request, cleared when the scene has changed: no event script runs meanwhile.
extern std::uint8_t g_scene_change_busy;

// The time-attack clocks in ticks, counted by the game tick while a battle runs.
extern std::int32_t g_timeattack_stage_ticks; // this stage's fight
extern std::int32_t g_timeattack_total_ticks; // the whole boss rush
extern std::int32_t g_timeattack_after_ticks; // since the stage's battle ended

// Asks for a change to `scene_id` at the start of the next frame, with an empty arrival tag.
// E_FAIL, changing nothing, when a request is pending and `force` is false; a forced request
// replaces a pending one. 0 when the request stands.
HRESULT scene_request_change(std::int32_t scene_id, bool force);

// A scene the running start script asked to go on to (-1: none).
extern std::int32_t g_scene_override;
// The next entry starts fully faded and fades in; the first scene of a run does not.
extern std::uint8_t g_scene_fade_in;
// The scene music playing (0: none).
extern std::int32_t g_bgm_playing;

// Applies the arrival, resets the per-scene state and enters the requested scene.
HRESULT scene_transition();
// Opens the title or demo window or runs the scene's start script, then places the player and
// starts the scene's music and reverb.
HRESULT scene_enter();
// The hero's actor at the point, or at the arrival record's when its tag is set.
void scene_create_player(const D3DXVECTOR3& position, float facing);
// The running start script goes on to the scene of the path; an unknown path is fatal.
void scene_set_next_by_path(const char* path);
// The scene's near and far clip distances, applied at once.
void scene_set_clip(float near_plane, float far_plane);

// Loads and runs once the event script of the name: none when one of that name runs, when the
// pool is full, or when an optional file is missing; a required missing file is fatal.
GoScript* StartScript(const char* name, bool optional, int argc, const std::int32_t* args, bool full_path);

// The scene music: id -1 is the scene's, 0 silence; flag bit 0 loops.
void Bgm_Play(std::int32_t id, std::uint32_t flags);
void bgm_stop(std::int32_t fade_ms);
const BgmEntry* bgm_find(std::int32_t id);

// The most of one item the player may hold at the current difficulty (the shop, the drops and
// the scripts' test read it).
std::int32_t scene_item_count_cap();

// The live actor of the key, or null.
GoActor* scene_find_actor(std::int32_t key);
// The wanted key when it is non-zero and free, else the first free key from 177 up.
std::int32_t scene_alloc_actor_key(std::int32_t wanted);
// The cast record of the exact name, or null.
const CastInfo* scene_find_cast(const char* name);

// The rows of the scene, start-script and music commands.
std::span<const ScriptCommandRow> scene_script_commands();
